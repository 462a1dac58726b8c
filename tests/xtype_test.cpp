// Data types and node attributes: the type rules as tables over type pairs,
// the decimal maximum and widening in both precision modes, the type maps,
// custom types from the host registry, the attribute sentinels and the
// enumeration names.
//
// The decimal maximum, the character mode, the precision mode and the type
// maps are process-wide; every fixture sets what it relies on and puts back
// what it changed, so the tests do not depend on their order.
//
// Most tables are rows of {input, "answers"}: the answers (as
// xtestsupport::answers prints them) that one function gives for the input.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <typeinfo>
#include <utility>

#include "qvcmnexpr/qvcmnexprglobal.h"
#include "qvcmnexpr/xenum.h"
#include "qvcmnexpr/xtype.h"
#include "qvutils.h"
#include "xrecordtext.h"
#include "xtestsupport.h"
#include "xtypenames.h"

namespace {

using xtestsupport::answers;
using Row = std::pair<int, std::string>;

constexpr int kInvalid = eXMINT_INVALID;
constexpr int kBool = eXDT_BOOLEAN, kInt = eXDT_INT, kBig = eXDT_BIGINT, kD18 = eXDT_DEC18, kD28 = eXDT_DEC28,
              kD38 = eXDT_DEC38, kFlt = eXDT_FLOAT, kNull = eXDT_NULL, kStr = eXDT_STRING, kUni = eXDT_UNISTRING,
              kBin = eXDT_BINARY, kDate = eXDT_DATE, kF18 = eXDT_DEC18_FIXED, kF28 = eXDT_DEC28_FIXED,
              kF38 = eXDT_DEC38_FIXED;

// Each row's input through `f` gives the row's answers.
template <class F, size_t N> void expectRows(const Row (&rows)[N], F f) {
    for (const auto& [in, expected] : rows) EXPECT_EQ(f(in), expected) << "input " << in;
}

// The width the type map holds for `type`, or -99 when it holds none.
int mappedWidth(int type) { int width = -99; return XType::m_typeWidthMap.findValue(type, width), width; }

// Pins the process-wide settings the type rules read: 8-bit character mode,
// a decimal maximum of DEC28 and the given precision mode.
class XTypeRules : public ::testing::Test {
protected:
    void SetUp() override { XType::cls_xdtDecMax = XType(); ASSERT_EQ(0, XType::initDecMax(28)); setHighPrecision(1); }
    void TearDown() override { XType::cls_xdtDecMax = m_oldDecMax; setHighPrecision(1); }
    static void setHighPrecision(int on) { QvCmnExprGlobal::changeHighPrecisionMode(on); }
    static int oneUp(int t, int preferFloat) { return XType(t).getResultTypeOneLevelWider(preferFloat).toInteger(); }
    // f's answer in high precision, then in low precision.
    template <class F> static std::string inBothModes(F f) {
        setHighPrecision(1);
        const std::string high = answers({f()});
        setHighPrecision(0);
        return high + " " + answers({f()});
    }
    xtestsupport::ServerMode m_ascii{1};
    XType m_oldDecMax = XType::cls_xdtDecMax;
};

// ===== compatibility and widening =====

// Rows: the wanted type; columns: the offered type, in the order of the rows.
// One type of each family: the other numbers share INT's row and column.
// 8-bit mode, decimal maximum DEC28: DEC38 is not a type an expression may
// have, so it is accepted nowhere and accepts nothing.
const Row kCompatAscii[] = {
    {kInt, "1000101"},
    {kStr, "1101101"},
    {kBin, "0010001"},
    {kDate, "0001001"},
    {kD28, "1000101"},
    {kD38, "0000000"},
    {kNull, "0000001"},
};

TEST_F(XTypeRules, CompatibilityMatrix) {
    expectRows(kCompatAscii, [](int wanted) {
        std::string row;
        for (const auto& [offered, unused] : kCompatAscii) row += XType(wanted).isCompatible(offered) ? '1' : '0';
        return row;
    });
    EXPECT_FALSE(XType(kInt).isCompatible(-2) || XType(-2).isCompatible(kInt) || XType(-2).isCompatible(-2));
    EXPECT_FALSE(XType(kD18).isCompatible(kF18));
    qvSetServerModeASCII(0);  // Unicode mode swaps the string types
    const int unicode[][3] = {
        {kUni, kInt, 1},
        {kUni, kBin, 0},
        {kStr, kStr, 0},
    };
    for (const auto& [target, offered, ok] : unicode) EXPECT_EQ(ok, XType(target).isCompatible(offered));
}

// The numbers widen along one chain, and NULL gives way to every type.
TEST_F(XTypeRules, WidestOf) {
    const int chain[] = {kBool, kInt, kBig, kD18, kD28, kD38, kFlt};
    auto widest = [](int a, int b) { return XType::getWidestOf(a, b).toInteger(); };
    for (int a = 0; a < 7; ++a) {
        for (int b = 0; b < 7; ++b) EXPECT_EQ(chain[std::max(a, b)], widest(chain[a], chain[b]));
        EXPECT_EQ(answers({widest(chain[a], kNull), widest(kNull, chain[a])}), answers({chain[a], chain[a]}));
    }
    const int others[][3] = {
        {kStr, kInt, kInvalid},
        {kInt, kStr, kInvalid},
        {kStr, kStr, kStr},
        {kF18, kD18, kInvalid},
    };
    for (const auto& [a, b, expected] : others) EXPECT_EQ(expected, widest(a, b)) << a << ", " << b;
}

TEST_F(XTypeRules, WiderThanPredicates) {
    // a, b, isWiderThan, isWiderThanOrSameAs, isWiderThanNoCheck
    const int cases[][5] = {
        {kInt, kBool, 1, 1, 1},
        {kBool, kInt, 0, 0, 0},
        {kInt, kInt, 0, 1, 0},
        {kFlt, kD38, 1, 0, 1},
        {kBool, kNull, 1, 1, 1},
        {kStr, kInt, 0, 0, 0},
        {kD38, kD28, 1, 0, 1},  // DEC38 is past the maximum: not a number once the maximum is checked
        {kInt, kDate, 0, 0, 1},
    };
    for (const auto& [a, b, wider, widerOrSame, noCheck] : cases)
        EXPECT_EQ(answers({wider, widerOrSame, noCheck}),
                  answers({XType(a).isWiderThan(b), XType(a).isWiderThanOrSameAs(b), XType(a).isWiderThanNoCheck(b)}));
}

// ===== decimal maximum =====

TEST_F(XTypeRules, DecimalOfPrecisionAndTheMaximum) {
    auto dec = [](int precision) { return XType::getDec(precision).toInteger(); };
    EXPECT_EQ(answers({dec(-1), dec(0), dec(18), dec(19), dec(28), dec(29)}),
              answers({kInvalid, kD18, kD18, kD28, kD28, kInvalid}));
    EXPECT_EQ(answers({XType::getDecPrecision(kD18), XType::getDecPrecision(kD28), XType::getDecPrecision(kD38),
                       XType::getDecPrecision(kFlt)}), "18 28 38 -2");
    EXPECT_EQ(answers({XType(kD38).isDec(1), XType(kD38).isDec(0), XType(kD28).isDec(1), XType(kD38).isNumeric(1),
                       XType(kD38).isNumeric(0), XType(kF28).isDec(0), XType(kFlt).isDec(0)}), "0 1 1 0 1 0 0");
    // The first maximum set wins.
    EXPECT_EQ(answers({XType::initDecMax(18), XType::getDecMax().toInteger(), XType::getDecMaxPrecision()}),
              answers({0, kD28, 28}));
}

TEST_F(XTypeRules, UnusableDecimalMaximumIsRefusedAndUnsetDefaultsToDec28) {
    XType::cls_xdtDecMax = XType();
    EXPECT_EQ(answers({XType::initDecMax(29), XType::initDecMax(-5), XType::cls_xdtDecMax.isInitialized(),
                       XType::initDecMax(18), XType::getDecMax().toInteger()}), answers({-1, -1, 0, 0, kD18}));
    XType::cls_xdtDecMax = XType();
    EXPECT_EQ(answers({XType::getDecMax().toInteger(), XType::cls_xdtDecMax.isInitialized()}), answers({kD28, 1}));
}

// ===== one level wider =====

TEST_F(XTypeRules, OneLevelWiderInBothPrecisionModes) {
    // operand, preferFloat, high precision result, low precision result; decimal maximum DEC28
    const int cases[][4] = {
        {kInt, 0, kD18, kBig},
        {kInt, 1, kD18, kFlt},
        {kBig, 0, kD28, kD28},
        {kD18, 0, kD28, kD28},
        {kD28, 0, kD28, kD28},
        {kD38, 0, kD38, kD38},
        {kFlt, 0, kFlt, kFlt},
        {kStr, 0, kInvalid, kInvalid},
        {1022, 0, 1022, kInvalid},
        {1032, 1, 1032, kInvalid},
        {1033, 0, kInvalid, kInvalid},
    };
    for (const auto& [operand, preferFloat, high, low] : cases)
        EXPECT_EQ(inBothModes([o = operand, p = preferFloat] { return oneUp(o, p); }), answers({high, low})) << operand;
    // A real stays; anything else becomes the real one level above INT.
    EXPECT_EQ(inBothModes([] { return XType(kInt).toReal().toInteger(); }) + " " +
                  inBothModes([] { return XType(kD28).toReal().toInteger(); }), answers({kD18, kFlt, kD28, kD28}));
}

TEST_F(XTypeRules, OneLevelWiderUnderOtherMaximums) {
    XType::cls_xdtDecMax = XType();
    ASSERT_EQ(0, XType::initDecMax(10));
    // BIGINT is not capped.
    EXPECT_EQ(answers({oneUp(kD18, 0), oneUp(kD28, 0), oneUp(kBig, 0)}), answers({kD18, kD18, kD28}));
    setHighPrecision(0);
    EXPECT_EQ(kD18, oneUp(kD18, 1));
    // In low precision a BIGINT settles an unset maximum, and so do the
    // decimals whose answer is capped at it; the others leave it unset.
    const int settles[][2] = {  // operand, the maximum after (-1: still unset)
        {kInt, -1},
        {kBig, kD28},
        {kD18, kD28},
        {kD38, -1},
    };
    for (const auto& [operand, settled] : settles)
        EXPECT_EQ((XType::cls_xdtDecMax = XType(), oneUp(operand, 0), XType::cls_xdtDecMax.toInteger()), settled);
}

// ===== equivalence, families, sizes =====

TEST_F(XTypeRules, EquivalentTypes) {
    const int cases[][4] = {  // type, strict, high precision, equivalent
        {kF18, 0, 0, kD18},
        {kF18, 1, 0, kInvalid},
        {kF18, 1, 1, kD18},
        {kD38, 0, 0, kD38},      // a type of the expression is its own equivalent
        {kD38, 1, 1, kInvalid},  // ... unless it is past the decimal maximum
        {1033, 0, 0, kInvalid},
        {1022, 1, 0, 1022},
    };
    for (const auto& [type, strict, highPrec, expected] : cases)
        EXPECT_EQ(expected, (setHighPrecision(highPrec), XType(type).getEquivType(strict).toInteger())) << type;
}

TEST_F(XTypeRules, SetFromHostTypeUsesTheEquivalent) {
    XType t;
    auto setFixed28 = [&t](int equivalent) { return t.set(unsigned(kF28), equivalent), t.toInteger(); };
    EXPECT_EQ(answers({setFixed28(1), setFixed28(0)}), answers({kD28, kF28}));
    setHighPrecision(0);
    EXPECT_EQ(answers({setFixed28(1), XType(kBool).toCDataType(1), XType(kBool).toCDataType(0),
                       XType(kD18).toCDataType(1)}), answers({kInvalid, kInt, kBool, kD18}));
}

// The string type of the expression follows the server's character mode.
TEST_F(XTypeRules, StringTypeFollowsTheCharacterMode) {
    EXPECT_EQ(answers({XType::getIsModeAscii(), XType::getXdtString().toInteger()}), answers({1, kStr}));
    qvSetServerModeASCII(0);
    EXPECT_EQ(answers({XType::getIsModeAscii(), XType::getXdtString().toInteger(), XType(kUni).isString(1),
                       XType(kUni).isPointerType(), XType(kStr).isString(1), XType(kStr).isPointerType()}),
              answers({0, kUni, 1, 1, 0, 0}));
    // The host's mode is not overridden.
    EXPECT_EQ(answers({XType::initIsModeAscii(1), XType::getIsModeAscii()}), "0 0");
}

TEST_F(XTypeRules, FamilyPredicatesOfBuiltInTypes) {
    // numeric, real, eval, validated, comparable, external, known; string (of the mode), pointer, vector
    const Row cases[] = {
        {kInt, "1 0 1 1 1 1 1 0 0 0"},
        {kFlt, "1 1 1 1 1 1 1 0 0 0"},
        {kD38, "0 1 0 0 1 0 1 0 0 0"},
        {kNull, "1 0 1 1 1 0 1 0 0 0"},
        {kDate, "0 0 1 1 1 1 1 0 0 0"},
        {kBin, "0 0 1 1 1 1 1 0 1 1"},
        {kStr, "0 0 1 1 1 1 1 1 1 1"},
        {kUni, "0 0 0 0 1 0 1 0 0 1"},
        {kF18, "0 0 0 0 1 1 1 0 0 0"},  // external through its equivalent, in high precision only
        {-1, "0 0 0 0 1 0 1 0 0 0"},
        {-3, "0 0 0 0 1 0 1 0 0 0"},
        {-4, "0 0 0 0 1 0 0 0 0 0"},
        {1033, "0 0 0 0 1 0 0 0 0 0"},
    };
    expectRows(cases, [](XType t) {
        return answers({t.isNumeric(1), t.isReal(), t.isEvalDataType(1), t.isValidatedDataType(1), t.isComparable(),
                        t.isValidExternalDataType(0), t.isKnownDataType(), t.isString(1), t.isPointerType(),
                        t.isVector()});
    });
    EXPECT_TRUE(!XType(kF18).isValidDataTypeForValidation(1) && XType(kD18).isValidDataTypeForValidation(1));
    setHighPrecision(0);
    EXPECT_EQ(answers({XType(kF18).isValidExternalDataType(0), XType(kF18).isKnownDataType()}), "0 0");
}

TEST_F(XTypeRules, SizeInBytes) {
    const int cases[][3] = {  // type, length, bytes
        {kInt, 10, 4},
        {kStr, 10, 11},
        {kD28, 0, 20},
        {kUni, 10, 22},
        {kNull, 10, -2},
        {-1, 10, -2},
    };
    for (const auto& [type, length, bytes] : cases) EXPECT_EQ(bytes, XType(type).getSizeInBytes(length)) << type;
}

TEST_F(XTypeRules, HighPrecisionForwarding) {
    // Each call's answer, then the mode it leaves; a per-thread setting
    // leaves the process setting untouched.
    EXPECT_EQ(answers({XType::changeIsHighPrecisionMode(0), XType::getIsHighPrecisionMode(),
                       XType::initIsHighPrecisionMode(1, 1, nullptr), XType::getIsHighPrecisionMode()}), "0 0 0 1");
    QvCmnExprGlobal own(QvCmnExprGlobal::kModePerThread);
    EXPECT_EQ(answers({XType::initIsHighPrecisionMode(0, 0, &own), own.getIsHighPrecisionModeForMyself(),
                       XType::getIsHighPrecisionMode(), XType::initIsHighPrecisionMode(1, 1, &own),
                       own.getIsHighPrecisionModeForMyself()}), "0 0 1 0 1");
}

// ===== type maps =====

TEST(XTypeMaps, NameToIdIsExactAndMissesGive1040) {
    const std::pair<const char*, int> cases[] = {
        {"INT", kInt},
        {"HIPRECDECIMAL", kD18},
        {"int", 1040},
        {"", 1040},
    };
    for (const auto& [name, id] : cases) EXPECT_EQ(id, XType::getTypeId(QvUString(name))) << name;
    // Filling the built-in maps again succeeds and changes no lookup.
    const XType::TypeNameIdMap names = XType::m_typeNameToTypeIDMap;
    const XType::TypeWidthMap widths = XType::m_typeWidthMap;
    EXPECT_EQ(answers({XType::initTypeNameIDMap(), XType::initTypeWidthMap(), XType::getTypeId(QvUString("DATE")),
                       mappedWidth(kD18)}), answers({0, 0, kDate, 18}));
    XType::m_typeNameToTypeIDMap = names;
    XType::m_typeWidthMap = widths;
}

// ===== custom types =====

// Registers custom types with the host for one test and removes them, and
// whatever they added to the type maps, afterwards.
class XTypeCustom : public XTypeRules {
protected:
    void SetUp() override {
        XTypeRules::SetUp(), CustomSDKMgr::getInstance()->unregisterAll(), XType::cls_xdtCustomDecMax = XType();
    }
    void TearDown() override {
        CustomSDKMgr::getInstance()->unregisterAll(), XType::cls_xdtCustomDecMax = m_customDecMax;
        XType::m_typeWidthMap = m_widths, XType::m_typeNameToTypeIDMap = m_names;
        XTypeRules::TearDown();
    }
    static int add(const char* name, unsigned int traits, unsigned int id) {
        QvCustomTypeDef def;
        def.name = name, def.traits = traits, def.valueSize = 16, def.textWidth = 40;
        return CustomSDKMgr::getInstance()->registerCustomType(def, id);
    }
    static std::string customDecMax() {
        const int init = XType::initCustomDecMax();
        return answers({init, XType::getCustomDecMax().toInteger(), XType::getCustomDecMaxPrecision()});
    }
    static constexpr unsigned int kDecimalTraits = eQvTRT_NUMERIC | eQvTRT_DECIMAL | eQvTRT_COMPARABLE;
    XType::TypeWidthMap m_widths = XType::m_typeWidthMap;
    XType::TypeNameIdMap m_names = XType::m_typeNameToTypeIDMap;
    XType m_customDecMax = XType::cls_xdtCustomDecMax;
};

TEST_F(XTypeCustom, NothingRegistered) {
    EXPECT_EQ(customDecMax(), "0 -2 -2");
    const XType custom(1022);
    EXPECT_TRUE(custom.isCustom());
    EXPECT_FALSE(custom.isNumeric(0) || custom.isComparable() || custom.isCustomVector() || custom.isHType());
    EXPECT_FALSE(XType(0).isStructType());  // the registry's answer for an unknown kind
    unsigned int ids[] = {1022, 1023};
    EXPECT_EQ(answers({XType::initCustomTypeNameIDMap(ids, 2), XType::m_typeNameToTypeIDMap.entries() - m_names.entries(),
                       XType::initCustomTypeWidthMap(ids, 2), mappedWidth(1022),
                       XType::initCustomTypeNameIDMap(nullptr, 3), XType::initCustomTypeWidthMap(nullptr, 3)}),
              "0 0 0 38 0 0");
}

TEST_F(XTypeCustom, TraitsDecideTheFamiliesAndTheRules) {
    ASSERT_EQ(1022, add("Dec38rt", kDecimalTraits, 1022));
    ASSERT_EQ(1023, add("GeoShape", eQvTRT_VECTOR, 1023));
    ASSERT_EQ(1024, add("Money", eQvTRT_NUMERIC | eQvTRT_COMPARABLE, 1024));
    // The hierarchical kinds are found by their identifier in the host's namespace.
    const std::string ns = gsQvTypeNamespace;
    ASSERT_EQ(1027, add((ns + "datatype.htype.struct").c_str(), eQvTRT_VECTOR, 1027));
    ASSERT_EQ(1028, add((ns + "datatype.htype.array").c_str(), eQvTRT_VECTOR, 1028));
    ASSERT_EQ(1029, add((ns + "datatype.htype.map").c_str(), eQvTRT_VECTOR, 1029));
    ASSERT_EQ(1030, add("datatype.htype.struct", eQvTRT_VECTOR, 1030));  // no namespace
    // isDec(1), isNumeric(1), isReal, isComparable, isVector, isCustomVector, isPointerType; struct, array, map, any
    const Row cases[] = {
        {1022, "1 1 0 1 0 0 0 0 0 0 0"},
        {1023, "0 0 0 0 1 1 1 0 0 0 0"},
        {1024, "0 1 0 1 0 0 0 0 0 0 0"},
        {1027, "0 0 0 0 1 1 1 1 0 0 1"},
        {1028, "0 0 0 0 1 1 1 0 1 0 1"},
        {1029, "0 0 0 0 1 1 1 0 0 1 1"},
        {1030, "0 0 0 0 1 1 1 0 0 0 0"},
    };
    expectRows(cases, [](XType t) {
        return answers({t.isDec(1), t.isNumeric(1), t.isReal(), t.isComparable(), t.isVector(), t.isCustomVector(),
                        t.isPointerType(), t.isStructType(), t.isArrayType(), t.isMapType(), t.isHType()});
    });
    const int compatible[][3] = {
        {kInt, 1022, 1},
        {1023, kInt, 0},
        {1023, kNull, 1},
        {kStr, 1023, 1},
    };
    for (const auto& [target, offered, ok] : compatible) EXPECT_EQ(ok, XType(target).isCompatible(offered)) << target;
}

TEST_F(XTypeCustom, InitialisersFillTheTypeMaps) {
    ASSERT_EQ(1022, add("Dec38rt", kDecimalTraits, 1022));
    ASSERT_EQ(1023, add("Gr\xC3\xB6\xC3\x9F" "e", eQvTRT_NUMERIC, 1023));  // not ASCII
    unsigned int ids[] = {1022, 1023, 1030};
    // Names map exactly (a non-ASCII name is left out); registered widths put
    // custom numbers beside DEC38 in the widening order.
    EXPECT_EQ(answers({XType::initCustomTypeNameIDMap(ids, 3), XType::getTypeId(QvUString("Dec38rt")),
                       XType::getTypeId(QvUString("DEC38RT")), XType::m_typeNameToTypeIDMap.entries() - m_names.entries(),
                       XType::initCustomTypeWidthMap(ids, 2), mappedWidth(1022), mappedWidth(1023), mappedWidth(1030)}),
              "0 1022 1040 1 0 38 38 -99");
    EXPECT_EQ(answers({XType::getWidestOf(1022, kFlt).toInteger(), XType::getWidestOf(1022, kD28).toInteger(),
                       XType::getWidestOf(kD38, 1022).toInteger()}), answers({kFlt, 1022, kD38}));
}

TEST_F(XTypeCustom, CustomDecimalMaximum) {
    EXPECT_EQ(kInvalid, XType::getCustomDecMax().toInteger());
    ASSERT_EQ(1022, add("Dec38rt", kDecimalTraits, 1022));
    EXPECT_EQ(kInvalid, XType::getCustomDecMax().toInteger());  // an invalid maximum is not recomputed
    XType::cls_xdtCustomDecMax = XType();
    CustomSDKMgr::getInstance()->unregisterAll();
    ASSERT_EQ(1023, add("Money", eQvTRT_NUMERIC, 1023));
    ASSERT_EQ(1024, add("DecA", kDecimalTraits, 1024));
    ASSERT_EQ(1026, add("DecB", kDecimalTraits, 1026));
    EXPECT_EQ(customDecMax(), "0 1024 -2");  // widths not registered yet: the first, without a precision
    unsigned int ids[] = {1026};
    XType::initCustomTypeWidthMap(ids, 1);
    EXPECT_EQ(customDecMax(), "0 1026 38");  // the one with a width wins
}

// ===== attribute values =====

// Every class starts uninitialised (-1); a sentinel is initialised but not valid.
TEST(XAttributes, EveryClassStartsUninitialised) {
    EXPECT_EQ(answers({XType().isInitialized(), XOp().isInitialized(), XAggLevel().isInitialized(),
                       XResultTypeIndicator().isInitialized(), XTypeParentExpectsIndicator().isInitialized(),
                       XBooleanInt().isInitialized(), XNonNegInt().isInitialized(), XNonNegInt().toInteger()}),
              "0 0 0 0 0 0 0 -1");
    EXPECT_TRUE(XType(-2).isInitialized() && XAggLevel(-2).isInitialized() && XNonNegInt(-2).isInitialized());
    EXPECT_FALSE(XType(-2).isValid() || XAggLevel(-2).isValid() || XNonNegInt(-2).isValid());
}

TEST(XAttributes, OperationVariants) {
    const Row cases[] = {  // valid (member and static), dummy, to_char variant
        {4, "0 0 0 0"},
        {5, "1 1 0 0"},
        {108, "1 1 0 0"},
        {109, "0 0 0 0"},
        {-4, "1 1 1 0"},
        {-1, "0 0 0 0"},
        {64, "1 1 0 0"},
        {65, "1 1 0 1"},
        {72, "1 1 0 1"},
        {73, "1 1 0 0"},
    };
    expectRows(cases, [](int value) {
        const XOp op(value);
        return answers({op.isValid(), XOp::isValid(value), op.isDummy(), op.isTo_charX()});
    });
    EXPECT_STREQ("eXOP_ORX_CUST", XOp(eXOP_ORX_CUST).toString());
    EXPECT_TRUE(XEnum::isUnknownEnumStr(XOp(6).toString()) && XEnum::isUnknownEnumStr(XOp(-4).toString()));  // unnamed
}

TEST(XAttributes, AggregationLevels) {
    XAggLevel row = XAggLevel::cls_row, group = XAggLevel::cls_group, nested = XAggLevel::cls_nested;
    EXPECT_TRUE(row.isRow() && group.isGroup() && nested.isNested());
    EXPECT_EQ(answers({nested.isHigherThan(group), group.isHigherThan(group), group.isHigherThanOrSameAs(group),
                       XAggLevel::getHighestOf(row, group).isGroup(), XAggLevel::getHighestOf(nested, group).isNested(),
                       row.getOneLevelHigher().isSame(group)}), "1 0 1 1 1 1");
    // The arithmetic leaves the range without clamping; callers check.
    EXPECT_EQ(answers({nested.getOneLevelHigher().toInteger(), nested.getOneLevelHigher().isValid(),
                       row.getOneLevelLower().toInteger()}), "3 0 -1");
    EXPECT_EQ(std::string(nested.toString()) + " " + XAggLevel(-4).toString(), "eXAL_NESTED eXMINT_DUMMY");
    EXPECT_TRUE(XEnum::isUnknownEnumStr(XAggLevel(3).toString()));
}

TEST(XAttributes, BooleanIntKeepsSentinelsAndRefusesOtherValues) {
    const Row cases[] = {  // stored (constructed, set), valid, true (both forms), false
        {0, "0 0 1 0 0 1"},
        {1, "1 1 1 1 1 0"},
        {2, "-2 -2 0 0 0 0"},
        {-1, "-1 -1 0 0 0 0"},
    };
    expectRows(cases, [](int in) {
        XBooleanInt viaCtor(in), viaSet;
        viaSet.set(in);
        return answers({viaCtor.toInteger(), viaSet.toInteger(), viaCtor.isValid(), viaCtor.isTrue(), viaCtor.toBoolean(),
                        viaCtor.isFalse()});
    });
    XBooleanInt b, f;
    b.setQvBoolean(42), f.setQvBoolean(0);
    // unknown equals nothing
    EXPECT_EQ(answers({b.isTrue(), b.isSame(7), b.isSame(0), f.isSame(0), XBooleanInt().isSame(0),
                       XBooleanInt::cls_true.isTrue(), XBooleanInt::cls_false.isFalse()}), "1 1 0 1 0 1 1");
}

TEST(XAttributes, NonNegativeIntegers) {
    XNonNegInt high(0xFFFF'FFFF'FFFF'FFFEULL), s;
    const size_t length = 12;
    EXPECT_EQ(answers({XNonNegInt(0).isValid(), XNonNegInt(0x1'0000'0007ULL).toInteger(), high.toInteger(),
                       high.isValid(), static_cast<int>(XNonNegInt(length))}), "1 7 -2 0 12");
    s.set(4000000000u);
    EXPECT_EQ(answers({s.isValid(), s.toUnsigned()}), "0 4000000000");
    s.set(XNonNegInt(9));
    s.getRefAsInteger() += 1;
    EXPECT_EQ(answers({s.toInteger(), s + 1}), "10 11");
}

TEST_F(XTypeRules, ParentExpectations) {
    const int cases[][5] = {  // indicator, parent, augmented, child, expected; 8-bit mode, DEC28
        {kInt, kStr, kStr, kDate, kInt},  // a fixed type wins over everything
        {eXTPE_ALPHA, kInt, kInt, kInt, kStr},
        {eXTPE_SAME_AS_PARENT, kD18, kFlt, kInt, kD18},
        {eXTPE_SAME_AS_AUGTYPE, kD18, kFlt, kInt, kFlt},
        {eXTPE_ANY, kInt, kInt, kBin, kInvalid},
        {eXTPE_ANY, kInt, kInt, kNull, kInt},
        {eXTPE_ANY_PLUS_BINARY, kInt, kInt, kBin, kBin},
        {eXTPE_ANY_ALPHA_NUMERIC, kInt, kInt, kNull, kInt},
        {eXTPE_ANY_ALPHA_NUMERIC, kInt, kInt, kStr, kStr},
        {eXTPE_ANY_ALPHA_NUMERIC, kInt, kInt, kDate, kInvalid},
        {eXTPE_ANY_NUMERIC, kInt, kInt, kD18, kD18},
        {eXTPE_ANY_NUMERIC, kInt, kInt, kD38, kInt},  // past the maximum: not a number here
        {kF18, kInt, kInt, kInt, kInvalid},
        {1041, kInt, kInt, kInt, kInvalid},
    };
    using Tpe = XTypeParentExpectsIndicator;
    for (const auto& [indicator, parent, aug, child, expected] : cases)
        EXPECT_EQ(expected, Tpe(indicator).getExpectedType(parent, aug, child, kFlt).toInteger()) << indicator << child;
    EXPECT_EQ(answers({Tpe(eXTPE_ALPHA).getSpecificType().toInteger(), Tpe(eXTPE_ALPHA).toXDataType().toInteger(),
                       Tpe(eXTPE_ANY).toXDataType().toInteger(), Tpe(eXTPE_ANY).getSpecificType().toInteger(),
                       Tpe(eXTPE_SAME_AS_AUGTYPE).isSameAsAugType()}), answers({kStr, kStr, eXTPE_ANY, kInvalid, 1}));
    qvSetServerModeASCII(0);
    EXPECT_EQ(answers({Tpe::getXtpeString().toInteger(), Tpe(eXTPE_ALPHA).getExpectedType(1, 1, 1, 1).toInteger()}),
              answers({kUni, kUni}));
}

TEST_F(XTypeRules, ResultTypeIndicatorsAndValidity) {
    const Row cases[] = {  // floating, one level up, with fraction; valid as a result type, as a parent expectation
        {kBool, "1 0 0 1 1"},
        {kInt, "0 0 0 1 1"},
        {kUni, "1 0 0 1 1"},  // not a type of this mode: decided by the operand
        {kF18, "1 0 0 0 0"},
        {1034, "1 0 0 0 1"},
        {1040, "1 0 0 0 1"},
        {1041, "1 0 0 0 0"},
        {eXRT_SAME_AS_OPD, "1 0 0 1 0"},
        {eXRT_ONE_LEVEL_UP, "1 1 0 1 0"},
        {eXRT_ONE_LEVEL_UP_WITH_FRACTION, "1 1 1 1 0"},
        {eXRT_SAME_AS_OPD_FIXED, "0 0 0 1 0"},
        {eXRT_REAL, "1 0 0 1 0"},
        {1048, "1 0 0 0 0"},
    };
    expectRows(cases, [](int value) {
        const XResultTypeIndicator rt(value);
        return answers({rt.isFloating(), rt.isOneLevelUp(), rt.isOneLevelUpWithFraction(), rt.isValid(),
                        XTypeParentExpectsIndicator(value).isValid()});
    });
    using Rt = XResultTypeIndicator;
    EXPECT_EQ(answers({Rt(kBool).isBoolean(), Rt(eXRT_REAL).isReal(), Rt(eXRT_SAME_AS_OPD).isSameAsOpd(),
                       Rt(eXRT_SAME_AS_OPD_FIXED).isSameAsOpdFixed(), Rt(eXRT_SAME_AS_OPD).isSameAsOpdFixed(),
                       Rt::getXrtString().toInteger(), Rt(eXRT_REAL).toXDataType().toInteger(),
                       Rt(XType(kBool)).isValid()}), answers({1, 1, 1, 1, 0, kStr, eXRT_REAL, 1}));
    // Indicators that are types are named as types.
    using Tpe = XTypeParentExpectsIndicator;
    EXPECT_EQ(std::string(Tpe(1040).toString()) + " " + Tpe(kBig).toString() + " " + Rt(1047).toString() + " " +
                  Rt(kDate).toString(), "eXTPE_ANY_NUMERIC eXDT_BIGINT eXRT_REAL eXDT_DATE");
    EXPECT_TRUE(XEnum::isUnknownEnumStr(Rt(1042).toString()));
}

// ===== enumeration names =====

// The name lookups search by value: every table must be sorted without repeats.
TEST(XEnumNames, TablesAreSortedAndNamesFound) {
    auto fallsOrRepeats = [](const auto& a, const auto& b) { return a.value >= b.value; };
    auto sorted = [&](const auto& table) { return std::ranges::adjacent_find(table, fallsOrRepeats) == std::end(table); };
    EXPECT_EQ(answers({sorted(gXDataTypeNames), sorted(gXAggLevelNames), sorted(gXTypeParentExpectsNames),
                       sorted(gXResultTypeNames), sorted(gXOpNames)}), "1 1 1 1 1");
    // The first and last names, and the sentinels below them.
    const std::pair<int, const char*> names[] = {
        {kInt, "eXDT_INT"},
        {eXDT_MAX, "eXDT_MAX"},
        {-4, "eXMINT_DUMMY"},
    };
    for (const auto& [type, name] : names) EXPECT_STREQ(name, XType(type).toString()) << type;
    for (int unnamed : {1004, 1022, -5, 0}) EXPECT_TRUE(XEnum::isUnknownEnumStr(XType(unnamed).toString())) << unnamed;
}

TEST(XEnumNames, UnknownTextFallbackAndHostStrings) {
    const QvUString one("one"), three("three");
    XEnumStrPair table[] = {{3, "three", &three}, {1, "one", &one}, {2, nullptr, nullptr}, {1, "uno"}};
    EXPECT_EQ(-4, XEnum::sortEnumStrPairs(table, 4, 0, 0, 0));
    EXPECT_EQ(std::string(table[0].str) + table[1].str + table[3].str, "oneunothree");  // equal values keep their order
    const XEnumStrPair sorted[] = {{1, "one", &one}, {2, nullptr, nullptr}, {3, "three", &three}};
    EXPECT_EQ(std::string(XEnum::enumToString(3, sorted, 3)) + XEnum::enumToString(4, sorted, 3, "fb") +
                  XEnum::enumToString(2, sorted, 3, "fb"), "threefbfb");
    const char* unknown = XEnum::getUnknownEnumStr();
    EXPECT_TRUE(XEnum::enumToString(0, sorted, 3) == unknown && XEnum::enumToString(1, sorted, 0) == unknown &&
                XEnum::enumToString(1, nullptr, 3) == unknown);
    std::string copy = unknown;
    EXPECT_FALSE(XEnum::isUnknownEnumStr(copy.c_str()));  // identity, not text
    EXPECT_TRUE(XEnum::enumToUString(1, sorted, 3) == &one && XEnum::enumToUString(2, sorted, 3) == nullptr);
    const QvUString* miss = XEnum::enumToUString(9, sorted, 3);
    EXPECT_TRUE(miss && miss->equalsASCII("?:"));
    EXPECT_EQ(-4, XEnum::sortEnumStrPairs(nullptr, 3, 1, 2, 3));  // no table: nothing to sort
}

}  // namespace
