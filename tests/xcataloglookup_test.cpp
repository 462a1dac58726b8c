// The lexer's questions to the context: the longest declared variable that
// ends where a name does, and whether a word before "(" is a function. ASCII
// names are answered without ICU; these rows hold those answers to ICU's case
// mapping: mixed case, prefixes of other names, names past the lengths the
// index tells apart, and the letters that fold onto ASCII ones (ß, long s,
// the Kelvin sign) or do not.
#include <gtest/gtest.h>

#include "cattest_support.h"

namespace {

using namespace cattest;

const std::string kLong = "EXT_" + std::string(80, 'X'), kLongLower = "ext_" + std::string(80, 'x');

std::shared_ptr<XCatalog> variables() {
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    for (std::string name : {"$$A", "$$AB", "$$ABC_D", "$$Größe", "ÄRGER", "KB", "$$K1", "$$SS", "$$ÉTÉ", "Été_X"})
        EXPECT_EQ(catalog->addMappingVariable({name, XCatalogType::integer()}, error), 0) << error;
    EXPECT_EQ(catalog->addMappingVariable({"$$A_" + kLong, XCatalogType::integer()}, error), 0);
    for (const char* name : {"$s_load", "$s_load.Status", "$$RUN_MODE"})
        EXPECT_EQ(catalog->addWorkflowVariable({name, XCatalogType::integer(), name[1] == 's'}, error), 0);
    return catalog;
}

// Each row: the text, where the match starts, the declared name it finds
// (empty: none) and whether the exact lookup finds it from the matched text
// too (the Kelvin sign is upper case already, so it is found only by folding).
TEST(XCatalogLookup, MappingVariablesMatchTheLongestDeclaredName) {
    const struct { std::string text; size_t pos; std::string name; bool exact = true; } rows[] = {
        {"$$A", 0, "$$A"},
        {"$$ab + 1", 0, "$$AB"},
        {"$$abc_d--c", 0, "$$ABC_D"},
        {"x + $$aB", 4, "$$AB"},
        {"$$ABC", 0, ""},
        {"$$A1", 0, ""},
        {"$$AB@", 0, ""},
        {"$$", 0, ""},
        {"$$A.B", 0, "$$A"},
        {"$$A\x1f", 0, "$$A"},
        {"$$A\x7f", 0, "$$A"},
        {"A$$A", 0, ""},
        {"$$A", 1, ""},
        {"$$A", 3, ""},
        {"$$RUN_MODE", 0, ""},
        {"$$GRÖßE", 0, "$$Größe"},
        {"$$GROSSE", 0, ""},
        {"$$étés", 0, ""},
        {"éT\u00C9_x", 0, "Été_X"},
        {"$$\u017F\u017F", 0, "$$SS"},
        {"\u212Ab ", 0, "KB", false},
        {"$$\u212A1", 0, "$$K1", false},
        {"$$a_" + kLongLower, 0, "$$A_" + kLong},
    };
    auto catalog = variables();
    XCatalogContext context(catalog);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text + " at " + std::to_string(row.pos));
        size_t length = 99, matched = 99;
        const XCatalogMapVar* var = catalog->matchMappingVariable(qvU(row.text), row.pos, length);
        EXPECT_EQ(context.containsValidTokenMapVar(qvU(row.text), row.pos, matched), row.name.empty() ? 0 : 1);
        EXPECT_EQ(var ? var->name : "", row.name);
        EXPECT_EQ(matched, var ? qvU(row.name).length() : 99u);
        if (!var) continue;
        const QvUString found(qvU(row.text).getBuffer() + row.pos, length);
        EXPECT_EQ(catalog->findMappingVariable(found.getBuffer()), row.exact ? var : nullptr);
    }
    // Names of any length are found, also past the lengths the index tells apart.
    for (size_t length : {62, 63, 64, 100}) {
        const std::string name = "$$" + std::string(length - 2, 'L');
        std::string error;
        ASSERT_EQ(catalog->addMappingVariable({name, XCatalogType::integer()}, error), 0);
        EXPECT_NE(catalog->findMappingVariable(qvU(name).getBuffer()), nullptr) << length;
        EXPECT_EQ(catalog->findMappingVariable(qvU(name + "L").getBuffer()), nullptr) << length;
    }
}

TEST(XCatalogLookup, WorkflowVariablesMatchLongestAndTellPredefined) {
    const struct { const char* text; size_t length; int pre; } rows[] = {  // length 0: no match
        {"$s_load.Status = 1", 14, 1},
        {"$S_LOAD.Other", 7, 1},
        {"$$run_mode='X'", 10, 0},
        {"$s_loader", 0, -1},
        {"$$A", 0, -1}};
    XCatalogContext context(variables());
    for (const auto& row : rows) {
        size_t length = 0;
        int preDefined = -1;
        const int rc = context.containsValidTokenWflowVar(qvU(row.text), 0, length, preDefined);
        EXPECT_EQ(answers({rc, length, preDefined}), answers({row.length ? 1 : 0, row.length, row.pre})) << row.text;
    }
}

// Each row: the name written, the declared one found (empty: none), whether
// it is an aggregate.
TEST(XCatalogLookup, FunctionNamesAgreeWithIcuUpperCasing) {
    const struct { std::string name, found; int aggregate = 0; } rows[] = {
        {"iif_ext", "IIF_EXT"},
        {"iif_ex", ""},
        {"iif_extä", ""},
        {kLongLower, kLong},
        {"strasse", "straße"},
        {"STRAßE", "straße"},
        {"strip", "\u017Ftrip"},
        {"\u212AELVIN", ""},
        {"kelvin", "Kelvin"},
        {":udf.net", "NET"},
        {":UDF.", ""},
        {":UD", ""},
        {"net", ""},
        {":UDF.IIF_EXT", ""},
        {"w_avg", "W_AVG", 1},
    };
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    for (std::string name : {"IIF_EXT", "straße", "\u017Ftrip", "Kelvin", ":UDF.NET", kLong.c_str(), "W_AVG"})
        ASSERT_EQ(catalog->addFunction({name, name[0] == ':', {}, XCatalogType::integer(), false, name[0] == 'W'},
                                       error), 0) << error;
    XCatalogContext context(catalog);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const XCatalogFunction* function = catalog->findFunction(qvU(row.name).getBuffer());
        EXPECT_EQ(function ? function->name : "", row.found);
        EXPECT_EQ(context.containsValidExtFunc(qvU(row.name)), row.found.empty() ? 0 : 1);
        EXPECT_EQ(context.isExtAggFunc(qvU(row.name)), row.aggregate);
    }
}

// Thousands of ports make the index grow many times over and put several
// names on the probe path of others: every port is still found by its own
// name in any case, a port declared again under qualifiers stays found
// through its newest declaration, and names that share a first letter and a
// length with declared ones are not found.
TEST(XCatalogLookup, EachOfThousandsOfPortsIsFoundByItsOwnName) {
    constexpr int kPorts = 3000;
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    for (int i = 0; i < kPorts; ++i)
        ASSERT_EQ(catalog->addPort({"P" + std::to_string(i), {}, XCatalogType::integer()}, error), 0) << error;
    ASSERT_EQ(catalog->addPort({"p7", {"SRC"}, XCatalogType::integer()}, error), 0) << error;
    for (int i = 0; i < kPorts; ++i) {
        const std::string name = (i % 2 ? "p" : "P") + std::to_string(i);
        SCOPED_TRACE(name);
        int ordinal = 0;
        std::string why;
        const XCatalogPort* port = catalog->findPort(nullptr, qvU(name).getBuffer(), why, &ordinal);
        ASSERT_NE(port, nullptr) << why;
        EXPECT_EQ(port->name, "P" + std::to_string(i));
        EXPECT_EQ(ordinal, i + 1);
    }
    const QvUString src = qvU("src");
    const unsigned short* source[] = {src.getBuffer(), nullptr};
    int ordinal = 0;
    std::string why;
    ASSERT_NE(catalog->findPort(source, qvU("P7").getBuffer(), why, &ordinal), nullptr) << why;
    EXPECT_EQ(ordinal, kPorts + 1);
    for (const char* missing : {"P3000", "P9999", "Q1", "P", "P12345", "P0X"}) {
        SCOPED_TRACE(missing);
        EXPECT_EQ(catalog->findPort(nullptr, qvU(missing).getBuffer(), why), nullptr);
    }
}

}  // namespace
