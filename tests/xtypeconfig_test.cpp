// Hierarchical type descriptions: when two are the same type, when one is
// valid or cyclic, and how members are found by name, including over deep,
// wide and recursive descriptions that must not exhaust the stack.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "qvcmnexpr/xtypeconfig.h"
#include "xhtypebuild.h"
#include "xrecordtext.h"

using namespace htest;
using xtestsupport::answers;

namespace {

// A hierarchical feature that lacks its description.
Feature untyped() { return std::make_shared<XStructuralFeature>(us(u"h"), structId(), nullptr, 0, 0); }
Config intMap() { return mapOf(scalar("k", eXDT_INT), scalar("v", eXDT_INT)); }

struct XTypeConfigTest : ::testing::Test {
    static void SetUpTestSuite() { ASSERT_EQ(XTypeConfig::registerHierarchicalTypes(), 0); }
};

// A structure with a feature that refers back to the structure itself.
struct Recursive {
    std::shared_ptr<XComplexType> structure = std::make_shared<XComplexType>(QvUString("Node").getBuffer());
    Config config;
    explicit Recursive(const char* self = "next") {
        structure->addFeature(std::make_unique<XStructuralFeature>(*scalar("value", eXDT_INT)));
        structure->addFeature(std::make_unique<XStructuralFeature>(
            *nested(self, XStructTypeConfig::referTo(structure.get()))));
        config = std::make_shared<XStructTypeConfig>(structure);
    }
};

struct SameRow { const char* what; Config a, b; int checkNames, same; };

TEST_F(XTypeConfigTest, SamenessComparesShapeTypesAndOnlyTheDigitsThatMatter) {
    Recursive r1;
    Recursive r2("other");
    auto s = [](Feature feature) { return structOf("S", {feature}); };  // a structure of one feature
    auto arr = [](int type) { return arrayOf(scalar("x", type)); };
    auto map = [](const char* k, const char* v, int type) { return mapOf(scalar(k, eXDT_STRING), scalar(v, type)); };
    auto in = [&s](int type) { return s(nested("in", s(scalar("a", type)))); };
    const SameRow rows[] = {
        {"string lengths are ignored", s(scalar("a", eXDT_STRING, 10)), s(scalar("a", eXDT_STRING, 99)), 1, 1},
        {"decimal precision counts", s(scalar("a", eXDT_DEC18, 10)), s(scalar("a", eXDT_DEC18, 12)), 0, 0},
        {"decimal scale counts", s(scalar("a", eXDT_DEC18, 10, 2)), s(scalar("a", eXDT_DEC18, 10, 3)), 0, 0},
        {"feature names without checkNames", s(scalar("a", eXDT_INT)), s(scalar("b", eXDT_INT)), 0, 1},
        {"feature names with checkNames", s(scalar("a", eXDT_INT)), s(scalar("b", eXDT_INT)), 1, 0},
        {"structure names with checkNames", s(scalar("a", eXDT_INT)), structOf("T", {scalar("a", eXDT_INT)}), 1, 0},
        {"feature count", s(scalar("a", eXDT_INT)), structOf("S", {scalar("a", eXDT_INT), scalar("b", eXDT_INT)}), 0, 0},
        {"array element names never matter", arr(eXDT_INT), arrayOf(scalar("y", eXDT_INT)), 1, 1},
        {"array element types", arr(eXDT_INT), arr(eXDT_BIGINT), 0, 0},
        {"array against struct", arr(eXDT_INT), s(scalar("x", eXDT_INT)), 0, 0},
        {"maps of one shape", map("k", "v", eXDT_INT), map("key", "val", eXDT_INT), 1, 1},
        {"map values differ", map("k", "v", eXDT_INT), map("k", "v", eXDT_DATE), 0, 0},
        {"nested structs compared inside", in(eXDT_INT), in(eXDT_DATE), 0, 0},
        {"two recursive descriptions of one shape", r1.config, r2.config, 0, 1},
        {"a struct without a structure", std::make_shared<XStructTypeConfig>(), s(scalar("a", eXDT_INT)), 1, 0},
    };
    for (const auto& [what, a, b, checkNames, same] : rows)
        EXPECT_EQ(answers({a->isSame(b.get(), checkNames), b->isSame(a.get(), checkNames)}), answers({same, same}))
            << what;
}

TEST_F(XTypeConfigTest, AMapEqualsOnlyItselfWhileStructsAndArraysEqualByShape) {
    const Config m1 = intMap(), m2 = intMap();
    const Config a1 = arrayOf(scalar("x", eXDT_INT)), a2 = arrayOf(scalar("y", eXDT_INT));
    EXPECT_EQ(answers({*m1 == *m1, *m1 == *m2, *a1 == *a2, *a1 != *a2, a1->isSame(nullptr, 0)}), "1 0 1 0 0");
}

struct ShapeRow { const char* what; Config config; const char* expected; };  // valid, cyclic, map

TEST_F(XTypeConfigTest, ValidityCyclesAndMapsFollowTheWholeDescription) {
    Recursive recursive;
    const Config shared = structOf("A", {scalar("x", eXDT_INT)});
    const ShapeRow rows[] = {
        {"flat struct", structOf("S", {scalar("a", eXDT_INT)}), "1 0 0"},
        {"self reference is valid but cyclic", recursive.config, "1 1 0"},
        {"siblings sharing one: no cycle", structOf("S", {nested("home", shared), nested("work", shared)}), "1 0 0"},
        {"empty structure", structOf("S", {}), "0 0 0"},
        {"struct without a structure", std::make_shared<XStructTypeConfig>(), "0 0 0"},
        {"half a map", std::make_shared<XMapTypeConfig>(scalar("k", eXDT_INT), nullptr), "0 0 1"},
        {"array without element", std::make_shared<XArrayTypeConfig>(), "0 0 0"},
        {"hierarchical feature without description", structOf("S", {untyped()}), "0 0 0"},
        {"empty struct deep inside", arrayOf(nested("e", structOf("S", {nested("in", structOf("I", {}))}))), "0 0 0"},
        {"map in array in struct", structOf("S", {nested("a", arrayOf(nested("m", intMap())))}), "1 0 1"},
    };
    for (const auto& [what, c, expected] : rows)
        EXPECT_EQ(answers({c->isValid(nullptr), c->isCyclic(nullptr), c->containsMap()}), expected) << what;
}

TEST_F(XTypeConfigTest, ResultsAreKeptByTheObjectThatComputedThem) {
    auto structure = htest::structure("S", {scalar("a", eXDT_INT)});
    const Config config = std::make_shared<XStructTypeConfig>(structure);
    ASSERT_EQ(config->isValid(nullptr), 1);
    // A description is not changed after it was checked; if it is, the
    // object keeps its answer while a fresh configuration sees the change.
    structure->addFeature(std::make_unique<XStructuralFeature>(*untyped()));
    const Config fresh = std::make_shared<XStructTypeConfig>(structure);
    EXPECT_EQ(answers({config->isValid(nullptr), fresh->isValid(nullptr)}), "1 0");
    // Re-initialising a feature forgets what it had found.
    Recursive recursive;
    XStructuralFeature feature(*untyped()), cyclic(*nested("next", recursive.config));
    XVisitedStructures visited;
    // Asked twice: the second answer is the kept one.
    const std::string before = answers({feature.isValidFeature(nullptr), feature.isValidFeature(nullptr),
                                        cyclic.isCyclic(&visited), cyclic.isCyclic(&visited)});
    feature.initSF(us(u"h"), XType(eXDT_INT), nullptr, 10, 0, 0);
    cyclic.initSF(us(u"next"), XType(eXDT_INT), nullptr, 10, 0, 0);
    EXPECT_EQ(before + " " + answers({feature.isValidFeature(nullptr), cyclic.isCyclic(&visited)}), "0 0 1 1 1 0");
    // A nested description already known to be acyclic keeps its answer inside another.
    const Config inner = structOf("I", {scalar("x", eXDT_INT)}), outer = structOf("O", {nested("in", inner)});
    EXPECT_EQ(answers({inner->isCyclic(nullptr), outer->isCyclic(nullptr)}), "0 0");
}

TEST_F(XTypeConfigTest, FindChildIgnoresCaseAndSelectsThroughArraysAndMaps) {
    const Config address = structOf("Address", {scalar("street", eXDT_STRING, 40), scalar("zip", eXDT_INT)});
    const auto* s = static_cast<XStructTypeConfig*>(address.get());
    ASSERT_TRUE(s->findChild(us(u"STREET")) && !s->findChild(us(u"city")));
    EXPECT_EQ(s->findChild(us(u"STREET"))->getPrecision(), 40);

    const Config addresses = arrayOf(nested("item", address, 5));
    const auto* a = static_cast<XArrayTypeConfig*>(addresses.get());
    const auto zips = a->findChild(us(u"Zip"));
    ASSERT_TRUE(zips);
    EXPECT_EQ(answers({zips->getArrayDefinition()->getType().toInteger(), zips->getArrayDefinition()->getUpper()}),
              answers({eXDT_INT, 5}));
    const Config ints = arrayOf(scalar("i", eXDT_INT));
    EXPECT_TRUE(!a->findChild(us(u"city")) && !static_cast<XArrayTypeConfig*>(ints.get())->findChild(us(u"i")));

    const Config m = mapOf(scalar("k", eXDT_STRING, 10), scalar("v", eXDT_DATE));
    const auto* mc = static_cast<XMapTypeConfig*>(m.get());
    EXPECT_EQ(mc->findChild(us(u"KEY"))->getArrayDefinition(), mc->getKeyDefinition());
    EXPECT_EQ(mc->findChild(us(u"value"))->getArrayDefinition(), mc->getValueDefinition());
    EXPECT_EQ(mc->findChild(us(u"k")), nullptr);
    // A selected definition outlives its map: releasing the map level by
    // level leaves what another holder still uses.
    std::unique_ptr<XArrayTypeConfig> values;
    {
        const Feature holder = nested("m", mapOf(scalar("k", eXDT_STRING), nested("v", intMap())));
        values = static_cast<XMapTypeConfig*>(holder->getTypeConfig())->findChild(us(u"value"));
    }
    EXPECT_NE(values->getArrayDefinition()->getTypeConfig(), nullptr);
}

TEST_F(XTypeConfigTest, NestedSearchLooksAtEveryFeatureOnceDepthFirst) {
    Recursive recursive;
    const Config a = structOf("S", {nested("a", structOf("I", {scalar("x", eXDT_INT), scalar("dup", eXDT_DATE)})),
                                    scalar("b", eXDT_INT), scalar("dup", eXDT_STRING, 5)});
    const auto* s = static_cast<XStructTypeConfig*>(a.get());
    const auto* r = static_cast<XStructTypeConfig*>(recursive.config.get());
    const struct { const char* what; const XStructTypeConfig* config; const char* name; int found, type; } rows[] = {
        {"a direct member after a nested struct", s, "b", 1, eXDT_INT},
        {"a member of the nested struct", s, "X", 1, eXDT_INT},
        {"depth first: the nested one comes first", s, "dup", 1, eXDT_DATE},
        {"missing member of a recursive type ends", r, "missing", 0, 0},
        {"member of a recursive type", r, "value", 1, eXDT_INT},
    };
    for (const auto& row : rows) {
        const XStructuralFeature* found = row.config->findNestedChild(us(u16(row.name)));
        EXPECT_EQ(found ? found->getType().toInteger() : 0, row.found ? row.type : 0) << row.what;
    }
}

TEST_F(XTypeConfigTest, DeepWideAndRecursiveGraphsAreWalkedWithoutRecursion) {
    constexpr int kDepth = 10000;
    // struct L0 { next: struct L1 { ... next: struct Ln { leaf: int } } }, owned all the way.
    Config inner = structOf("L", {scalar("leaf", eXDT_INT)});
    for (int i = 0; i < kDepth; ++i) inner = structOf("L", {nested("next", inner)});
    const auto* deep = static_cast<XStructTypeConfig*>(inner.get());
    Config twin = structOf("L", {scalar("leaf", eXDT_INT)});
    for (int i = 0; i < kDepth; ++i) twin = structOf("L", {nested("next", twin)});
    EXPECT_EQ(answers({deep->isValid(nullptr), deep->isCyclic(nullptr), deep->containsMap(), deep->isSame(twin.get(), 1),
                       deep->findNestedChild(us(u"leaf")) != nullptr, deep->findNestedChild(us(u"nothing")) != nullptr}),
              "1 0 0 1 1 0");

    // A ring of kDepth structures, each referring to the next.
    std::vector<std::shared_ptr<XComplexType>> ring;
    for (int i = 0; i < kDepth; ++i) ring.push_back(std::make_shared<XComplexType>(QvUString("R").getBuffer()));
    for (int i = 0; i < kDepth; ++i)
        ring[i]->addFeature(std::make_unique<XStructuralFeature>(
            *nested("next", XStructTypeConfig::referTo(ring[(i + 1) % kDepth].get()))));
    const XStructTypeConfig ringConfig(std::shared_ptr<XComplexType>(std::shared_ptr<void>(), ring[0].get()));
    EXPECT_EQ(answers({ringConfig.isValid(nullptr), ringConfig.isCyclic(nullptr),
                       ringConfig.findNestedChild(us(u"missing")) != nullptr}), "1 1 0");

    // One structure of 100 000 features.
    auto wide = std::make_shared<XComplexType>(QvUString("W").getBuffer());
    for (int i = 0; i < 100000; ++i)
        wide->addFeature(std::make_unique<XStructuralFeature>(*scalar(("f" + std::to_string(i)).c_str(), eXDT_INT)));
    const XStructTypeConfig wideConfig(wide);
    EXPECT_EQ(answers({wideConfig.isValid(nullptr), wideConfig.findChild(us(u"F99999")) != nullptr,
                       wideConfig.findNestedChild(us(u"none")) != nullptr}), "1 1 0");
}

}  // namespace
