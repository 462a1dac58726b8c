// Data types and node attributes: the type rules as tables over type pairs,
// the decimal maximum and widening in both precision modes, the type maps,
// custom types from the host registry, the attribute sentinels and the
// enumeration names.
//
// The decimal maximum, the character mode, the precision mode and the type
// maps are process-wide; every fixture sets what it relies on and puts back
// what it changed, so the tests do not depend on their order.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <typeinfo>
#include <vector>

#include "qvcmnexpr/qvcmnexprglobal.h"
#include "qvcmnexpr/xenum.h"
#include "qvcmnexpr/xtype.h"
#include "qvutils.h"
#include "xtypenames.h"

namespace {

constexpr int kInvalid = eXMINT_INVALID;
constexpr int kBool = eXDT_BOOLEAN, kInt = eXDT_INT, kBig = eXDT_BIGINT, kD18 = eXDT_DEC18,
              kD28 = eXDT_DEC28, kD38 = eXDT_DEC38, kFlt = eXDT_FLOAT, kNull = eXDT_NULL,
              kStr = eXDT_STRING, kUni = eXDT_UNISTRING, kBin = eXDT_BINARY, kDate = eXDT_DATE;

// The width the type map holds for `type`, or -99 when it holds none.
int mappedWidth(int type) {
    int width = -99;
    XType::m_typeWidthMap.findValue(type, width);
    return width;
}

// Pins the process-wide settings the type rules read: 8-bit character mode,
// a decimal maximum of DEC28 and the given precision mode.
class XTypeRules : public ::testing::Test {
protected:
    void SetUp() override {
        m_oldAscii = qvSetServerModeASCII(1);
        m_oldDecMax = XType::cls_xdtDecMax;
        XType::cls_xdtDecMax = XType();
        ASSERT_EQ(0, XType::initDecMax(28));
        setHighPrecision(1);
    }
    void TearDown() override {
        qvSetServerModeASCII(m_oldAscii);
        XType::cls_xdtDecMax = m_oldDecMax;
        QvCmnExprGlobal::changeHighPrecisionMode(1);
    }
    static void setHighPrecision(int on) { QvCmnExprGlobal::changeHighPrecisionMode(on); }

private:
    int m_oldAscii = 0;
    XType m_oldDecMax;
};

// ===== compatibility =====

// Rows: the wanted type; columns: the offered type, both in this order.
const int kGridTypes[] = {kInt, kStr, kFlt, kBin, kDate, kD18, kD28, kUni, kD38, kBig, kNull, kBool};

struct CompatRow {
    int target;
    const char* accepts;  // '1' per column of kGridTypes that is accepted
};

// 8-bit mode, decimal maximum DEC28: DEC38 and UNISTRING are not types an
// expression may have, so they are accepted nowhere and accept nothing.
const CompatRow kCompatAscii[] = {
    {kInt, "101001100111"},  {kStr, "111011100111"}, {kFlt, "101001100111"},
    {kBin, "000100000010"},  {kDate, "000010000010"}, {kD18, "101001100111"},
    {kD28, "101001100111"},  {kUni, "000000000000"}, {kD38, "000000000000"},
    {kBig, "101001100111"},  {kNull, "000000000010"}, {kBool, "101001100111"},
};

TEST_F(XTypeRules, CompatibilityMatrixIn8BitMode) {
    for (const CompatRow& row : kCompatAscii) {
        for (size_t c = 0; c < std::size(kGridTypes); ++c) {
            EXPECT_EQ(row.accepts[c] == '1', XType(row.target).isCompatible(kGridTypes[c]) != 0)
                << XType(row.target).toString() << " <- " << XType(kGridTypes[c]).toString();
        }
    }
}

TEST_F(XTypeRules, CompatibilityInUnicodeModeSwapsTheStringTypes) {
    qvSetServerModeASCII(0);
    EXPECT_TRUE(XType(kUni).isCompatible(kInt));
    EXPECT_TRUE(XType(kUni).isCompatible(kDate));
    EXPECT_FALSE(XType(kUni).isCompatible(kBin));
    EXPECT_FALSE(XType(kStr).isCompatible(kStr));
    EXPECT_FALSE(XType(kInt).isCompatible(kStr));
}

TEST_F(XTypeRules, CompatibilityRefusesSentinels) {
    for (int sentinel : {-1, -2, -3, -4}) {
        EXPECT_FALSE(XType(kInt).isCompatible(sentinel));
        EXPECT_FALSE(XType(sentinel).isCompatible(kInt));
        EXPECT_FALSE(XType(sentinel).isCompatible(sentinel));
    }
    EXPECT_FALSE(XType(kD18).isCompatible(eXDT_DEC18_FIXED));
}

// ===== widening =====

const int kWideTypes[] = {kBool, kInt, kBig, kD18, kD28, kD38, kFlt, kNull};

// getWidestOf(row, column) over kWideTypes.
const int kWidest[8][8] = {
    /* BOOL */ {kBool, kInt, kBig, kD18, kD28, kD38, kFlt, kBool},
    /* INT  */ {kInt, kInt, kBig, kD18, kD28, kD38, kFlt, kInt},
    /* BIG  */ {kBig, kBig, kBig, kD18, kD28, kD38, kFlt, kBig},
    /* D18  */ {kD18, kD18, kD18, kD18, kD28, kD38, kFlt, kD18},
    /* D28  */ {kD28, kD28, kD28, kD28, kD28, kD38, kFlt, kD28},
    /* D38  */ {kD38, kD38, kD38, kD38, kD38, kD38, kFlt, kD38},
    /* FLT  */ {kFlt, kFlt, kFlt, kFlt, kFlt, kFlt, kFlt, kFlt},
    /* NULL */ {kBool, kInt, kBig, kD18, kD28, kD38, kFlt, kNull},
};

TEST_F(XTypeRules, WidestOfNumbersFollowsTheWidthOrder) {
    for (int a = 0; a < 8; ++a) {
        for (int b = 0; b < 8; ++b) {
            EXPECT_EQ(kWidest[a][b], XType::getWidestOf(kWideTypes[a], kWideTypes[b]).toInteger())
                << XType(kWideTypes[a]).toString() << ", " << XType(kWideTypes[b]).toString();
        }
    }
}

TEST_F(XTypeRules, WidestOfOtherFamilies) {
    struct Case {
        int a, b, expected;
    };
    const Case cases[] = {
        {kStr, kInt, kInvalid},  {kInt, kStr, kInvalid},  {kStr, kStr, kStr},
        {kDate, kNull, kDate},   {kNull, kBin, kBin},     {kDate, kStr, kInvalid},
        {kBin, kBin, kBin},      {kDate, kInt, kInvalid}, {-2, kInt, kInvalid},
        {eXDT_DEC18_FIXED, kD18, kInvalid},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, XType::getWidestOf(c.a, c.b).toInteger()) << c.a << ", " << c.b;
    }
}

TEST_F(XTypeRules, WiderThanPredicates) {
    struct Case {
        int a, b, wider, widerOrSame, noCheck;
    };
    const Case cases[] = {
        {kInt, kBool, 1, 1, 1},  {kBool, kInt, 0, 0, 0},   {kInt, kInt, 0, 1, 0},
        {kFlt, kD38, 1, 0, 1},   {kD38, kFlt, 0, 0, 0},  {kFlt, kD28, 1, 1, 1},    {kBool, kNull, 1, 1, 1},
        {kStr, kInt, 0, 0, 0},   {kStr, kStr, 0, 1, 0},    {kNull, kInt, 0, 0, 0},
        // DEC38 is past the maximum: not a number once the maximum is checked
        {kD38, kD28, 1, 0, 1},
        {kDate, kBool, 0, 0, 0}, {kInt, kDate, 0, 0, 1},
    };
    for (const Case& c : cases) {
        XType a(c.a);
        EXPECT_EQ(c.wider, a.isWiderThan(c.b)) << a.toString() << " " << c.b;
        EXPECT_EQ(c.widerOrSame, a.isWiderThanOrSameAs(c.b)) << a.toString() << " " << c.b;
        EXPECT_EQ(c.noCheck, a.isWiderThanNoCheck(c.b)) << a.toString() << " " << c.b;
    }
}

// ===== decimal maximum =====

TEST_F(XTypeRules, DecimalOfPrecision) {
    struct Case {
        int precision, expected;
    };
    const Case cases[] = {{-1, kInvalid}, {0, kD18},  {1, kD18},      {18, kD18},
                          {19, kD28},     {28, kD28}, {29, kInvalid}, {38, kInvalid}};
    for (const Case& c : cases) EXPECT_EQ(c.expected, XType::getDec(c.precision).toInteger()) << c.precision;
    EXPECT_EQ(18, XType::getDecPrecision(kD18));
    EXPECT_EQ(28, XType::getDecPrecision(kD28));
    EXPECT_EQ(38, XType::getDecPrecision(kD38));
    EXPECT_EQ(-2, XType::getDecPrecision(kFlt));
    EXPECT_EQ(-2, XType::getDecPrecision(eXDT_DEC18_FIXED));
}

TEST_F(XTypeRules, FirstDecimalMaximumWins) {
    EXPECT_EQ(kD28, XType::getDecMax().toInteger());
    EXPECT_EQ(0, XType::initDecMax(18));
    EXPECT_EQ(kD28, XType::getDecMax().toInteger());
    EXPECT_EQ(28, XType::getDecMaxPrecision());
}

TEST_F(XTypeRules, UnusableDecimalMaximumIsRefusedAndChangesNothing) {
    XType::cls_xdtDecMax = XType();
    EXPECT_EQ(-1, XType::initDecMax(29));
    EXPECT_EQ(-1, XType::initDecMax(-5));
    EXPECT_FALSE(XType::cls_xdtDecMax.isInitialized());
    EXPECT_EQ(0, XType::initDecMax(18));
    EXPECT_EQ(kD18, XType::getDecMax().toInteger());
}

TEST_F(XTypeRules, DecimalMaximumDefaultsToDec28) {
    XType::cls_xdtDecMax = XType();
    EXPECT_EQ(kD28, XType::getDecMax().toInteger());
    EXPECT_TRUE(XType::cls_xdtDecMax.isInitialized());
}

TEST_F(XTypeRules, DecimalFamilyRespectsTheMaximum) {
    EXPECT_FALSE(XType(kD38).isDec(1));
    EXPECT_TRUE(XType(kD38).isDec(0));
    EXPECT_TRUE(XType(kD28).isDec(1));
    EXPECT_FALSE(XType(kD38).isNumeric(1));
    EXPECT_TRUE(XType(kD38).isNumeric(0));
    EXPECT_FALSE(XType(eXDT_DEC28_FIXED).isDec(0));
    EXPECT_FALSE(XType(kFlt).isDec(0));
}

// ===== one level wider =====

struct WiderCase {
    int operand, preferFloat, highPrec, lowPrec;
};

// Decimal maximum DEC28.
const WiderCase kWiderDec28[] = {
    {kInt, 0, kD18, kBig},         {kInt, 1, kD18, kFlt},         {kBig, 0, kD28, kD28},
    {kBig, 1, kD28, kFlt},         {kD18, 0, kD28, kD28},         {kD18, 1, kD28, kD28},
    {kD28, 0, kD28, kD28},         {kD28, 1, kD28, kD28},         {kD38, 0, kD38, kD38},
    {kFlt, 0, kFlt, kFlt},         {kFlt, 1, kFlt, kFlt},         {kStr, 0, kInvalid, kInvalid},
    {kBool, 0, kInvalid, kInvalid}, {kNull, 1, kInvalid, kInvalid}, {kDate, 0, kInvalid, kInvalid},
    {1022, 0, 1022, kInvalid},     {1032, 1, 1032, kInvalid},     {1033, 0, kInvalid, kInvalid},
    {-1, 0, kInvalid, kInvalid},
};

TEST_F(XTypeRules, OneLevelWiderInBothPrecisionModes) {
    for (const WiderCase& c : kWiderDec28) {
        setHighPrecision(1);
        EXPECT_EQ(c.highPrec, XType(c.operand).getResultTypeOneLevelWider(c.preferFloat).toInteger())
            << "high precision " << c.operand << " preferFloat " << c.preferFloat;
        setHighPrecision(0);
        EXPECT_EQ(c.lowPrec, XType(c.operand).getResultTypeOneLevelWider(c.preferFloat).toInteger())
            << "low precision " << c.operand << " preferFloat " << c.preferFloat;
    }
}

TEST_F(XTypeRules, OneLevelWiderUnderADec18Maximum) {
    XType::cls_xdtDecMax = XType();
    ASSERT_EQ(0, XType::initDecMax(10));
    EXPECT_EQ(kD18, XType(kD18).getResultTypeOneLevelWider(0).toInteger());
    EXPECT_EQ(kD18, XType(kD28).getResultTypeOneLevelWider(0).toInteger());
    EXPECT_EQ(kD28, XType(kBig).getResultTypeOneLevelWider(0).toInteger());  // not capped
    setHighPrecision(0);
    EXPECT_EQ(kD18, XType(kD18).getResultTypeOneLevelWider(1).toInteger());
}

TEST_F(XTypeRules, LowPrecisionBigIntSettlesTheDecimalMaximum) {
    setHighPrecision(0);
    XType::cls_xdtDecMax = XType();
    EXPECT_EQ(kD28, XType(kBig).getResultTypeOneLevelWider(0).toInteger());
    EXPECT_EQ(kD28, XType::cls_xdtDecMax.toInteger());
}

TEST_F(XTypeRules, ToReal) {
    EXPECT_EQ(kD18, XType(kInt).toReal().toInteger());
    EXPECT_EQ(kD18, XType(kStr).toReal().toInteger());
    EXPECT_EQ(kD28, XType(kD28).toReal().toInteger());
    EXPECT_EQ(kD38, XType(kD38).toReal().toInteger());
    setHighPrecision(0);
    EXPECT_EQ(kFlt, XType(kInt).toReal().toInteger());
    EXPECT_EQ(kFlt, XType(kBig).toReal().toInteger());
    EXPECT_EQ(kD18, XType(kD18).toReal().toInteger());
}

// ===== equivalence, families, sizes =====

struct EquivCase {
    int type, strict, highPrec, expected;
};
const EquivCase kEquiv[] = {
    {eXDT_DEC18_FIXED, 0, 0, kD18}, {eXDT_DEC28_FIXED, 0, 0, kD28}, {eXDT_DEC38_FIXED, 0, 0, kD38},
    {eXDT_DEC18_FIXED, 1, 0, kInvalid}, {eXDT_DEC38_FIXED, 1, 0, kInvalid},
    {eXDT_DEC18_FIXED, 1, 1, kD18}, {eXDT_DEC38_FIXED, 1, 1, kD38},
    {kD38, 0, 0, kD38},  // a type of the expression is its own equivalent
    {kD38, 1, 1, kInvalid},  // ... unless it is past the decimal maximum
    {kUni, 1, 1, kInvalid}, {kUni, 0, 0, kUni}, {kBool, 1, 0, kBool}, {kNull, 1, 0, kNull},
    {1000, 0, 1, kInvalid}, {-1, 0, 1, kInvalid}, {1033, 0, 0, kInvalid}, {1022, 1, 0, 1022},
};

TEST_F(XTypeRules, EquivalentTypes) {
    for (const EquivCase& c : kEquiv) {
        setHighPrecision(c.highPrec);
        EXPECT_EQ(c.expected, XType(c.type).getEquivType(c.strict).toInteger())
            << c.type << " strict " << c.strict << " hp " << c.highPrec;
    }
}

TEST_F(XTypeRules, SetFromHostTypeUsesTheEquivalent) {
    XType t;
    t.set(static_cast<unsigned int>(eXDT_DEC28_FIXED), 1);
    EXPECT_EQ(kD28, t.toInteger());
    t.set(static_cast<unsigned int>(eXDT_DEC28_FIXED), 0);
    EXPECT_EQ(eXDT_DEC28_FIXED, t.toInteger());
    setHighPrecision(0);
    t.set(static_cast<unsigned int>(eXDT_DEC28_FIXED), 1);
    EXPECT_EQ(kInvalid, t.toInteger());
    EXPECT_EQ(kInt, XType(kBool).toCDataType(1));
    EXPECT_EQ(kBool, XType(kBool).toCDataType(0));
    EXPECT_EQ(kD18, XType(kD18).toCDataType(1));
}

TEST_F(XTypeRules, ExternalAndKnownTypes) {
    struct Case {
        int type, highPrec, external, known;
    };
    const Case cases[] = {
        {eXDT_DEC18_FIXED, 1, 1, 1}, {eXDT_DEC18_FIXED, 0, 0, 0}, {kNull, 1, 0, 1},
        {kBool, 1, 0, 1},            {kStr, 1, 1, 1},             {kUni, 1, 0, 1},
        {-1, 1, 0, 1},               {-2, 1, 0, 1},               {-3, 1, 0, 1},
        {-4, 1, 0, 0},               {1004, 1, 0, 0},             {1033, 1, 0, 0},
    };
    for (const Case& c : cases) {
        setHighPrecision(c.highPrec);
        EXPECT_EQ(c.external, XType(c.type).isValidExternalDataType(0)) << c.type;
        EXPECT_EQ(c.known, XType(c.type).isKnownDataType()) << c.type;
    }
}

TEST_F(XTypeRules, StringTypeFollowsTheCharacterMode) {
    EXPECT_EQ(1, XType::getIsModeAscii());
    EXPECT_EQ(kStr, XType::getXdtString().toInteger());
    EXPECT_TRUE(XType(kUni).isString(0));
    EXPECT_FALSE(XType(kUni).isString(1));
    EXPECT_TRUE(XType(kUni).isVector());
    EXPECT_FALSE(XType(kUni).isPointerType());
    EXPECT_TRUE(XType(kStr).isPointerType());
    EXPECT_TRUE(XType(kBin).isPointerType());
    EXPECT_FALSE(XType(kDate).isVector());
    qvSetServerModeASCII(0);
    EXPECT_EQ(0, XType::getIsModeAscii());
    EXPECT_EQ(kUni, XType::getXdtString().toInteger());
    EXPECT_TRUE(XType(kUni).isString(1));
    EXPECT_TRUE(XType(kUni).isPointerType());
    EXPECT_FALSE(XType(kStr).isPointerType());
    EXPECT_EQ(0, XType::initIsModeAscii(1));
    EXPECT_EQ(0, XType::getIsModeAscii());
}

TEST_F(XTypeRules, FamilyPredicatesOfBuiltInTypes) {
    struct Case {
        int type, numeric, real, eval, validated, comparable;
    };
    const Case cases[] = {
        {kInt, 1, 0, 1, 1, 1},  {kBig, 1, 0, 1, 1, 1},  {kFlt, 1, 1, 1, 1, 1},
        {kD18, 1, 1, 1, 1, 1},  {kD38, 0, 1, 0, 0, 1},  {kNull, 1, 0, 1, 1, 1},
        {kBool, 1, 0, 1, 1, 1}, {kDate, 0, 0, 1, 1, 1}, {kBin, 0, 0, 1, 1, 1},
        {kStr, 0, 0, 1, 1, 1},  {kUni, 0, 0, 0, 0, 1},  {eXDT_DEC18_FIXED, 0, 0, 0, 0, 1},
        {-2, 0, 0, 0, 0, 1},
    };
    for (const Case& c : cases) {
        XType t(c.type);
        EXPECT_EQ(c.numeric, t.isNumeric(1)) << t.toString();
        EXPECT_EQ(c.real, t.isReal()) << t.toString();
        EXPECT_EQ(c.eval, t.isEvalDataType(1)) << t.toString();
        EXPECT_EQ(c.validated, t.isValidatedDataType(1)) << t.toString();
        EXPECT_EQ(c.validated, t.isValidDataTypeForValidation(1)) << t.toString();
        EXPECT_EQ(c.comparable, t.isComparable()) << t.toString();
    }
}

TEST_F(XTypeRules, SizeInBytes) {
    struct Case {
        int type, length, bytes;
    };
    const Case cases[] = {
        {kInt, 10, 4},     {kStr, 10, 11},     {kStr, 0, 1},    {kFlt, 10, 8},
        {kBin, 10, 10},    {kDate, 3, 16},     {kD18, 0, 16},   {kD28, 0, 20},
        {kUni, 10, 22},    {kUni, 0, 2},       {kD38, 5, 24},   {kBig, 1, 8},
        {kNull, 10, -2},   {kBool, 10, -2},    {eXDT_DEC18_FIXED, 10, -2},
        {1022, 10, -2},    {-1, 10, -2},       {1004, 10, -2},  {eXDT_MAX, 10, -2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.bytes, XType(c.type).getSizeInBytes(c.length)) << c.type << " of " << c.length;
    }
}

TEST_F(XTypeRules, HighPrecisionForwarding) {
    EXPECT_EQ(0, XType::changeIsHighPrecisionMode(0));
    EXPECT_EQ(0, XType::getIsHighPrecisionMode());
    EXPECT_EQ(0, XType::initIsHighPrecisionMode(1, 1, nullptr));
    EXPECT_EQ(1, XType::getIsHighPrecisionMode());

    QvCmnExprGlobal own(QvCmnExprGlobal::kModePerThread);
    EXPECT_EQ(0, XType::initIsHighPrecisionMode(0, 0, &own));
    EXPECT_EQ(0, own.getIsHighPrecisionModeForMyself());
    EXPECT_EQ(1, XType::getIsHighPrecisionMode());  // the process setting is untouched
    EXPECT_EQ(0, XType::initIsHighPrecisionMode(1, 1, &own));
    EXPECT_EQ(1, own.getIsHighPrecisionModeForMyself());
}

// ===== type maps =====

TEST(XTypeMaps, NameToIdIsExactAndMissesGive1040) {
    struct Case {
        const char* name;
        int id;
    };
    const Case cases[] = {
        {"INT", kInt},       {"FLOAT", kFlt},         {"HIPRECDECIMAL", kD18}, {"DATE", kDate},
        {"STRING", kStr},    {"UNISTRING", kUni},     {"BINARY", kBin},        {"BIGINT", kBig},
        {"BOOLEAN", kBool},  {"NULL", kNull},         {"DEC28", 1040},         {"int", 1040},
        {"Int", 1040},       {"", 1040},              {"INT ", 1040},          {"DECIMAL", 1040},
    };
    for (const Case& c : cases) EXPECT_EQ(c.id, XType::getTypeId(QvUString(c.name))) << c.name;
}

TEST(XTypeMaps, WidthMapHoldsTheSevenNumbers) {
    const std::pair<int, int> widths[] = {{kBool, 1},  {kInt, 10},  {kBig, 17},  {kD18, 18},
                                          {kD28, 28},  {kD38, 38},  {kFlt, 308}};
    for (const auto& [type, width] : widths) {
        ASSERT_TRUE(XType::m_typeWidthMap.contains(type)) << type;
        EXPECT_EQ(width, mappedWidth(type));
    }
    for (int type : {kStr, kUni, kBin, kDate, kNull, int(eXDT_DEC18_FIXED)}) {
        EXPECT_FALSE(XType::m_typeWidthMap.contains(type)) << type;
    }
    const size_t before = XType::m_typeWidthMap.entries();
    EXPECT_EQ(0, XType::initTypeWidthMap());  // rebuilding is harmless
    EXPECT_EQ(before, XType::m_typeWidthMap.entries());
    EXPECT_EQ(1234u, XType::intHash(1234));
}

// ===== custom types =====

// Registers custom types with the host for one test and removes them, and
// whatever they added to the type maps, afterwards.
class XTypeCustom : public XTypeRules {
protected:
    void SetUp() override {
        XTypeRules::SetUp();
        m_widths = XType::m_typeWidthMap;
        m_names = XType::m_typeNameToTypeIDMap;
        m_customDecMax = XType::cls_xdtCustomDecMax;
        CustomSDKMgr::getInstance()->unregisterAll();
        XType::cls_xdtCustomDecMax = XType();
    }
    void TearDown() override {
        CustomSDKMgr::getInstance()->unregisterAll();
        XType::m_typeWidthMap = m_widths;
        XType::m_typeNameToTypeIDMap = m_names;
        XType::cls_xdtCustomDecMax = m_customDecMax;
        XTypeRules::TearDown();
    }
    static int add(const char* name, unsigned int traits, unsigned int id) {
        QvCustomTypeDef def;
        def.name = name;
        def.traits = traits;
        def.valueSize = 16;
        def.textWidth = 40;
        return CustomSDKMgr::getInstance()->registerCustomType(def, id);
    }
    static constexpr unsigned int kDecimalTraits = eQvTRT_NUMERIC | eQvTRT_DECIMAL | eQvTRT_COMPARABLE;

    XType::TypeWidthMap m_widths;
    XType::TypeNameIdMap m_names;
    XType m_customDecMax;
};

TEST_F(XTypeCustom, NothingRegistered) {
    EXPECT_EQ(0, XType::initCustomDecMax());
    EXPECT_EQ(kInvalid, XType::getCustomDecMax().toInteger());
    EXPECT_EQ(-2, XType::getCustomDecMaxPrecision());
    XType custom(1022);
    EXPECT_TRUE(custom.isCustom());
    EXPECT_FALSE(custom.isNumeric(0));
    EXPECT_FALSE(custom.isComparable());
    EXPECT_FALSE(custom.isCustomVector());
    EXPECT_FALSE(custom.isHType());
    EXPECT_FALSE(XType(0).isStructType());  // the registry's answer for an unknown kind
    unsigned int ids[] = {1022, 1023};
    EXPECT_EQ(0, XType::initCustomTypeNameIDMap(ids, 2));
    EXPECT_EQ(m_names.entries(), XType::m_typeNameToTypeIDMap.entries());
    EXPECT_EQ(0, XType::initCustomTypeWidthMap(ids, 2));
    EXPECT_EQ(38, mappedWidth(1022));
    EXPECT_EQ(0, XType::initCustomTypeNameIDMap(nullptr, 3));
    EXPECT_EQ(0, XType::initCustomTypeWidthMap(nullptr, 3));
}

TEST_F(XTypeCustom, TraitsDecideTheFamilies) {
    ASSERT_EQ(1022, add("Dec38rt", kDecimalTraits, 1022));
    ASSERT_EQ(1023, add("GeoShape", eQvTRT_VECTOR, 1023));
    ASSERT_EQ(1024, add("Money", eQvTRT_NUMERIC | eQvTRT_COMPARABLE, 1024));
    XType dec(1022), shape(1023), money(1024);
    EXPECT_TRUE(dec.isDec(1));
    EXPECT_TRUE(dec.isNumeric(1));
    EXPECT_FALSE(dec.isReal());
    EXPECT_TRUE(dec.isComparable());
    EXPECT_FALSE(dec.isVector());
    EXPECT_TRUE(shape.isCustomVector());
    EXPECT_TRUE(shape.isVector());
    EXPECT_TRUE(shape.isPointerType());
    EXPECT_FALSE(shape.isComparable());
    EXPECT_FALSE(shape.isNumeric(0));
    EXPECT_TRUE(money.isNumeric(1));
    EXPECT_FALSE(money.isDec(0));
    // Custom types take part in the rules by their traits.
    EXPECT_TRUE(XType(kInt).isCompatible(dec));
    EXPECT_TRUE(dec.isCompatible(kFlt));
    EXPECT_FALSE(XType(kInt).isCompatible(shape));
    EXPECT_FALSE(shape.isCompatible(kInt));
    EXPECT_TRUE(shape.isCompatible(kNull));
    EXPECT_TRUE(shape.isCompatible(shape));
    EXPECT_TRUE(XType(kStr).isCompatible(shape));
}

TEST_F(XTypeCustom, InitialisersFillTheTypeMaps) {
    ASSERT_EQ(1022, add("Dec38rt", kDecimalTraits, 1022));
    ASSERT_EQ(1023, add("Gr\xC3\xB6\xC3\x9F" "e", eQvTRT_NUMERIC, 1023));  // not ASCII
    unsigned int ids[] = {1022, 1023, 1030};
    EXPECT_EQ(0, XType::initCustomTypeNameIDMap(ids, 3));
    EXPECT_EQ(1022, XType::getTypeId(QvUString("Dec38rt")));
    EXPECT_EQ(1040, XType::getTypeId(QvUString("DEC38RT")));
    EXPECT_EQ(m_names.entries() + 1, XType::m_typeNameToTypeIDMap.entries());
    EXPECT_EQ(0, XType::initCustomTypeWidthMap(ids, 2));
    EXPECT_EQ(38, mappedWidth(1022));
    EXPECT_EQ(38, mappedWidth(1023));
    EXPECT_FALSE(XType::m_typeWidthMap.contains(1030));
    // Registered widths put custom numbers beside DEC38 in the widening order.
    EXPECT_EQ(kFlt, XType::getWidestOf(1022, kFlt).toInteger());
    EXPECT_EQ(1022, XType::getWidestOf(1022, kD28).toInteger());
    EXPECT_EQ(kD38, XType::getWidestOf(kD38, 1022).toInteger());
}

TEST_F(XTypeCustom, CustomDecimalMaximum) {
    ASSERT_EQ(1023, add("Money", eQvTRT_NUMERIC, 1023));
    ASSERT_EQ(1024, add("DecA", kDecimalTraits, 1024));
    ASSERT_EQ(1026, add("DecB", kDecimalTraits, 1026));
    EXPECT_EQ(0, XType::initCustomDecMax());
    EXPECT_EQ(1024, XType::getCustomDecMax().toInteger());
    EXPECT_EQ(-2, XType::getCustomDecMaxPrecision());  // widths not registered yet

    unsigned int ids[] = {1026};
    XType::initCustomTypeWidthMap(ids, 1);
    EXPECT_EQ(0, XType::initCustomDecMax());
    EXPECT_EQ(1026, XType::getCustomDecMax().toInteger());  // the one with a width wins
    EXPECT_EQ(38, XType::getCustomDecMaxPrecision());
}

TEST_F(XTypeCustom, InvalidCustomDecimalMaximumIsNotRecomputed) {
    EXPECT_EQ(kInvalid, XType::getCustomDecMax().toInteger());
    ASSERT_EQ(1022, add("Dec38rt", kDecimalTraits, 1022));
    EXPECT_EQ(kInvalid, XType::getCustomDecMax().toInteger());
}

TEST_F(XTypeCustom, HierarchicalKindsAreFoundByIdentifier) {
    const std::string ns = gsQvTypeNamespace;
    ASSERT_EQ(1027, add((ns + "datatype.htype.struct").c_str(), eQvTRT_VECTOR, 1027));
    ASSERT_EQ(1028, add((ns + "datatype.htype.array").c_str(), eQvTRT_VECTOR, 1028));
    ASSERT_EQ(1029, add((ns + "datatype.htype.map").c_str(), eQvTRT_VECTOR, 1029));
    ASSERT_EQ(1030, add("datatype.htype.struct", eQvTRT_VECTOR, 1030));  // no namespace
    struct Case {
        int type, isStruct, isArray, isMap;
    };
    const Case cases[] = {{1027, 1, 0, 0}, {1028, 0, 1, 0}, {1029, 0, 0, 1},
                          {1030, 0, 0, 0}, {kStr, 0, 0, 0}, {0, 0, 0, 0}};
    for (const Case& c : cases) {
        XType t(c.type);
        EXPECT_EQ(c.isStruct, t.isStructType()) << c.type;
        EXPECT_EQ(c.isArray, t.isArrayType()) << c.type;
        EXPECT_EQ(c.isMap, t.isMapType()) << c.type;
        EXPECT_EQ(c.isStruct || c.isArray || c.isMap, t.isHType()) << c.type;
    }
}

// ===== attribute values =====

template <class... Attributes>
void expectUninitialised() {
    auto check = [](const auto& attribute) {
        EXPECT_EQ(-1, attribute.toInteger()) << typeid(attribute).name();
        EXPECT_FALSE(attribute.isInitialized()) << typeid(attribute).name();
    };
    (check(Attributes()), ...);
}

TEST(XAttributes, EveryClassStartsUninitialised) {
    expectUninitialised<XType, XOp, XAggLevel, XResultTypeIndicator, XTypeParentExpectsIndicator,
                        XBooleanInt, XNonNegInt>();
    for (int sentinel : {-2, -3, -4}) {
        EXPECT_TRUE(XType(sentinel).isInitialized());
        EXPECT_FALSE(XType(sentinel).isValid());
        EXPECT_TRUE(XAggLevel(sentinel).isInitialized());
        EXPECT_FALSE(XAggLevel(sentinel).isValid());
        EXPECT_TRUE(XNonNegInt(sentinel).isInitialized());
        EXPECT_FALSE(XNonNegInt(sentinel).isValid());
        EXPECT_EQ(sentinel, XBooleanInt(sentinel).toInteger());
    }
}

TEST(XAttributes, OperationVariants) {
    struct Case {
        int op, valid, dummy, toCharX;
    };
    const Case cases[] = {{4, 0, 0, 0},  {5, 1, 0, 0},   {108, 1, 0, 0}, {109, 0, 0, 0},
                          {-4, 1, 1, 0}, {-1, 0, 0, 0},  {-2, 0, 0, 0},  {64, 1, 0, 0},
                          {65, 1, 0, 1}, {72, 1, 0, 1},  {73, 1, 0, 0},  {0, 0, 0, 0}};
    for (const Case& c : cases) {
        XOp op(c.op);
        EXPECT_EQ(c.valid, op.isValid()) << c.op;
        EXPECT_EQ(c.valid, XOp::isValid(c.op)) << c.op;
        EXPECT_EQ(c.dummy, op.isDummy()) << c.op;
        EXPECT_EQ(c.toCharX, op.isTo_charX()) << c.op;
    }
    XOp op;
    op.set(XOp(eXOP_ORX_CUST));
    EXPECT_STREQ("eXOP_ORX_CUST", op.toString());
    EXPECT_STREQ("eXOP_DUMMY_MIN", XOp(4).toString());
    EXPECT_TRUE(XEnum::isUnknownEnumStr(XOp(6).toString()));  // unnamed variant
    EXPECT_TRUE(XEnum::isUnknownEnumStr(XOp(-4).toString()));
}

TEST(XAttributes, AggregationLevels) {
    XAggLevel row = XAggLevel::cls_row, group = XAggLevel::cls_group, nested = XAggLevel::cls_nested;
    EXPECT_TRUE(row.isRow());
    EXPECT_TRUE(group.isGroup());
    EXPECT_TRUE(nested.isNested());
    EXPECT_TRUE(nested.isHigherThan(group));
    EXPECT_FALSE(group.isHigherThan(group));
    EXPECT_TRUE(group.isHigherThanOrSameAs(group));
    EXPECT_TRUE(XAggLevel::getHighestOf(row, group).isGroup());
    EXPECT_TRUE(XAggLevel::getHighestOf(nested, group).isNested());
    EXPECT_TRUE(row.getOneLevelHigher().isSame(group));
    // The arithmetic leaves the range without clamping; callers check.
    EXPECT_EQ(3, nested.getOneLevelHigher().toInteger());
    EXPECT_FALSE(nested.getOneLevelHigher().isValid());
    EXPECT_EQ(-1, row.getOneLevelLower().toInteger());
    EXPECT_FALSE(row.getOneLevelLower().isInitialized());
    EXPECT_FALSE(XAggLevel(3).isValid());
    EXPECT_STREQ("eXAL_NESTED", nested.toString());
    EXPECT_STREQ("eXMINT_UNINIT", XAggLevel().toString());
    EXPECT_STREQ("eXMINT_DUMMY", XAggLevel(-4).toString());
    EXPECT_TRUE(XEnum::isUnknownEnumStr(XAggLevel(3).toString()));
}

TEST(XAttributes, BooleanIntKeepsSentinelsAndRefusesOtherValues) {
    struct Case {
        int in, stored, valid, isTrue, isFalse;
    };
    const Case cases[] = {{0, 0, 1, 0, 1},   {1, 1, 1, 1, 0},   {2, -2, 0, 0, 0}, {5, -2, 0, 0, 0},
                          {-1, -1, 0, 0, 0}, {-3, -3, 0, 0, 0}, {-4, -4, 0, 0, 0}, {-7, -7, 0, 0, 0}};
    for (const Case& c : cases) {
        XBooleanInt viaCtor(c.in), viaSet;
        viaSet.set(c.in);
        EXPECT_EQ(c.stored, viaCtor.toInteger()) << c.in;
        EXPECT_EQ(c.stored, viaSet.toInteger()) << c.in;
        EXPECT_EQ(c.valid, viaCtor.isValid()) << c.in;
        EXPECT_EQ(c.isTrue, viaCtor.isTrue()) << c.in;
        EXPECT_EQ(c.isTrue, viaCtor.toBoolean()) << c.in;
        EXPECT_EQ(c.isFalse, viaCtor.isFalse()) << c.in;
    }
    XBooleanInt b;
    b.setQvBoolean(42);
    EXPECT_TRUE(b.isTrue());
    EXPECT_TRUE(b.isSame(7));
    EXPECT_FALSE(b.isSame(0));
    b.setQvBoolean(0);
    EXPECT_TRUE(b.isSame(0));
    EXPECT_FALSE(XBooleanInt().isSame(0));  // unknown equals nothing
    EXPECT_TRUE(XBooleanInt::cls_true.isTrue());
    EXPECT_TRUE(XBooleanInt::cls_false.isFalse());
}

TEST(XAttributes, NonNegativeIntegers) {
    XNonNegInt n(0);
    EXPECT_TRUE(n.isValid());
    EXPECT_EQ(0u, n.toUnsigned());
    XNonNegInt wide(0x1'0000'0007ULL);
    EXPECT_EQ(7, wide.toInteger());
    XNonNegInt high(0xFFFF'FFFF'FFFF'FFFEULL);
    EXPECT_EQ(-2, high.toInteger());
    EXPECT_FALSE(high.isValid());
    size_t length = 12;
    XNonNegInt fromSize(length);
    EXPECT_EQ(12, static_cast<int>(fromSize));
    XNonNegInt s;
    s.set(4000000000u);
    EXPECT_FALSE(s.isValid());
    EXPECT_EQ(4000000000u, s.toUnsigned());
    s.set(XNonNegInt(9));
    s.getRefAsInteger() += 1;
    EXPECT_EQ(10, s.toInteger());
    EXPECT_EQ(11, s + 1);
}

struct ExpectCase {
    int tpe, parent, aug, child, expected;
};
// 8-bit mode, decimal maximum DEC28.
const ExpectCase kExpect[] = {
    {kInt, kStr, kStr, kDate, kInt},  // a fixed type wins over everything
    {kBool, kStr, kStr, kDate, kBool},
    {eXTPE_ALPHA, kInt, kInt, kInt, kStr},
    {eXTPE_SAME_AS_PARENT, kD18, kFlt, kInt, kD18},
    {eXTPE_SAME_AS_AUGTYPE, kD18, kFlt, kInt, kFlt},
    {eXTPE_ANY, kInt, kInt, kBin, kInvalid},
    {eXTPE_ANY, kInt, kInt, kNull, kInt},
    {eXTPE_ANY, kInt, kInt, kDate, kDate},
    {eXTPE_ANY_PLUS_BINARY, kInt, kInt, kBin, kBin},
    {eXTPE_ANY_PLUS_BINARY, kInt, kInt, kNull, kNull},
    {eXTPE_ANY_ALPHA_NUMERIC, kInt, kInt, kNull, kInt},
    {eXTPE_ANY_ALPHA_NUMERIC, kInt, kInt, kStr, kStr},
    {eXTPE_ANY_ALPHA_NUMERIC, kInt, kInt, kBig, kBig},
    {eXTPE_ANY_ALPHA_NUMERIC, kInt, kInt, kDate, kInvalid},
    {eXTPE_ANY_ALPHA_NUMERIC, kInt, kInt, kUni, kInvalid},
    {eXTPE_ANY_NUMERIC, kInt, kInt, kD18, kD18},
    {eXTPE_ANY_NUMERIC, kInt, kInt, kStr, kInt},
    {eXTPE_ANY_NUMERIC, kInt, kInt, kD38, kInt},  // past the maximum: not a number here
    {eXDT_DEC18_FIXED, kInt, kInt, kInt, kInvalid},
    {-1, kInt, kInt, kInt, kInvalid},
    {1041, kInt, kInt, kInt, kInvalid},
};

TEST_F(XTypeRules, ParentExpectations) {
    for (const ExpectCase& c : kExpect) {
        XTypeParentExpectsIndicator tpe(c.tpe);
        EXPECT_EQ(c.expected, tpe.getExpectedType(c.parent, c.aug, c.child, kFlt).toInteger())
            << tpe.toString() << " child " << c.child;
    }
    EXPECT_EQ(kStr, XTypeParentExpectsIndicator(eXTPE_ALPHA).getSpecificType().toInteger());
    EXPECT_EQ(kStr, XTypeParentExpectsIndicator(eXTPE_ALPHA).toXDataType().toInteger());
    EXPECT_EQ(eXTPE_ANY, XTypeParentExpectsIndicator(eXTPE_ANY).toXDataType().toInteger());
    EXPECT_EQ(kInvalid, XTypeParentExpectsIndicator(eXTPE_ANY).getSpecificType().toInteger());
    EXPECT_EQ(kStr, XTypeParentExpectsIndicator::getXtpeString().toInteger());
    EXPECT_TRUE(XTypeParentExpectsIndicator(eXTPE_SAME_AS_AUGTYPE).isSameAsAugType());
    qvSetServerModeASCII(0);
    EXPECT_EQ(kUni, XTypeParentExpectsIndicator(eXTPE_ALPHA)
                        .getExpectedType(kInt, kInt, kInt, kInt).toInteger());
}

TEST_F(XTypeRules, IndicatorValidityAndNames) {
    for (int v = 1034; v <= 1040; ++v) EXPECT_TRUE(XTypeParentExpectsIndicator(v).isValid()) << v;
    for (int v = 1043; v <= 1047; ++v) EXPECT_TRUE(XResultTypeIndicator(v).isValid()) << v;
    EXPECT_FALSE(XTypeParentExpectsIndicator(1041).isValid());
    EXPECT_FALSE(XResultTypeIndicator(1042).isValid());
    EXPECT_FALSE(XResultTypeIndicator(1048).isValid());
    EXPECT_TRUE(XResultTypeIndicator(XType(kBool)).isValid());
    EXPECT_TRUE(XResultTypeIndicator(kUni).isValid());  // checked without the mode
    EXPECT_FALSE(XResultTypeIndicator(eXDT_DEC18_FIXED).isValid());
    EXPECT_TRUE(XTypeParentExpectsIndicator(kBool).isValid());
    EXPECT_FALSE(XTypeParentExpectsIndicator(-1).isValid());

    EXPECT_STREQ("eXTPE_ANY_NUMERIC", XTypeParentExpectsIndicator(1040).toString());
    EXPECT_STREQ("eXDT_BIGINT", XTypeParentExpectsIndicator(kBig).toString());
    EXPECT_STREQ("eXMINT_NOCHANGE", XTypeParentExpectsIndicator(-3).toString());
    EXPECT_STREQ("eXRT_REAL", XResultTypeIndicator(1047).toString());
    EXPECT_STREQ("eXDT_DATE", XResultTypeIndicator(kDate).toString());
    EXPECT_TRUE(XEnum::isUnknownEnumStr(XResultTypeIndicator(1042).toString()));
}

TEST_F(XTypeRules, ResultTypeIndicators) {
    struct Case {
        int rt, floating, oneLevelUp, withFraction;
    };
    const Case cases[] = {
        {kBool, 1, 0, 0},   {eXRT_REAL, 1, 0, 0}, {eXRT_SAME_AS_OPD_FIXED, 0, 0, 0},
        {kInt, 0, 0, 0},    {kFlt, 0, 0, 0},      {kStr, 0, 0, 0},
        {kUni, 1, 0, 0},  // not a type of this mode: decided by the operand
        {eXRT_SAME_AS_OPD, 1, 0, 0}, {eXRT_ONE_LEVEL_UP, 1, 1, 0},
        {eXRT_ONE_LEVEL_UP_WITH_FRACTION, 1, 1, 1}, {-1, 1, 0, 0}, {1042, 1, 0, 0},
    };
    for (const Case& c : cases) {
        XResultTypeIndicator rt(c.rt);
        EXPECT_EQ(c.floating, rt.isFloating()) << c.rt;
        EXPECT_EQ(c.oneLevelUp, rt.isOneLevelUp()) << c.rt;
        EXPECT_EQ(c.withFraction, rt.isOneLevelUpWithFraction()) << c.rt;
    }
    EXPECT_TRUE(XResultTypeIndicator(kBool).isBoolean());
    EXPECT_TRUE(XResultTypeIndicator(eXRT_REAL).isReal());
    EXPECT_TRUE(XResultTypeIndicator(eXRT_SAME_AS_OPD).isSameAsOpd());
    EXPECT_TRUE(XResultTypeIndicator(eXRT_SAME_AS_OPD_FIXED).isSameAsOpdFixed());
    EXPECT_EQ(kStr, XResultTypeIndicator::getXrtString().toInteger());
    EXPECT_EQ(eXRT_REAL, XResultTypeIndicator(eXRT_REAL).toXDataType().toInteger());
}

// ===== enumeration names =====

TEST(XEnumNames, TablesAreSortedAndComplete) {
    auto sorted = [](const auto& table) {
        return std::is_sorted(std::begin(table), std::end(table),
                              [](const auto& a, const auto& b) { return a.value < b.value; }) &&
               std::adjacent_find(std::begin(table), std::end(table), [](const auto& a, const auto& b) {
                   return a.value == b.value;
               }) == std::end(table);
    };
    EXPECT_TRUE(sorted(gXDataTypeNames));
    EXPECT_TRUE(sorted(gXAggLevelNames));
    EXPECT_TRUE(sorted(gXTypeParentExpectsNames));
    EXPECT_TRUE(sorted(gXResultTypeNames));
    EXPECT_TRUE(sorted(gXOpNames));
    EXPECT_EQ(20u, std::size(gXDataTypeNames));
    EXPECT_EQ(7u, std::size(gXAggLevelNames));
    EXPECT_EQ(73u, std::size(gXOpNames));
    EXPECT_EQ(11u, std::size(gXTypeParentExpectsNames));
    EXPECT_EQ(9u, std::size(gXResultTypeNames));
    for (const XEnumStrPair& row : gXOpNames) {
        EXPECT_STREQ(row.str, XEnum::enumToString(row.value, gXOpNames, xRowCount(gXOpNames)));
    }
}

TEST(XEnumNames, DataTypeNames) {
    struct Case {
        int type;
        const char* name;
    };
    const Case cases[] = {{kInt, "eXDT_INT"},           {kDate, "eXDT_DATE"},
                          {kBool, "eXDT_BOOLEAN"},      {eXDT_DEC38_FIXED, "eXDT_DEC38_FIXED"},
                          {eXDT_MAX, "eXDT_MAX"},       {-1, "eXMINT_UNINIT"},
                          {-2, "eXMINT_INVALID"},       {-4, "eXMINT_DUMMY"}};
    for (const Case& c : cases) EXPECT_STREQ(c.name, XType(c.type).toString()) << c.type;
    for (int unnamed : {1004, 1008, 1022, -5, 0, 1034}) {
        EXPECT_STREQ("XEnumUnknown", XType(unnamed).toString()) << unnamed;
        EXPECT_TRUE(XEnum::isUnknownEnumStr(XType(unnamed).toString()));
    }
}

TEST(XEnumNames, UnknownTextFallbackAndHostStrings) {
    const QvUString one("one"), three("three");
    XEnumStrPair table[] = {{3, "three", &three}, {1, "one", &one}, {2, nullptr, nullptr}, {1, "uno"}};
    EXPECT_EQ(-4, XEnum::sortEnumStrPairs(table, 4, 0, 0, 0));
    EXPECT_EQ(1, table[0].value);
    EXPECT_STREQ("one", table[0].str);  // equal values keep their order
    EXPECT_STREQ("uno", table[1].str);
    EXPECT_EQ(3, table[3].value);

    const XEnumStrPair sorted[] = {{1, "one", &one}, {2, nullptr, nullptr}, {3, "three", &three}};
    EXPECT_STREQ("three", XEnum::enumToString(3, sorted, 3));
    EXPECT_STREQ("fb", XEnum::enumToString(4, sorted, 3, "fb"));
    EXPECT_STREQ("fb", XEnum::enumToString(2, sorted, 3, "fb"));
    EXPECT_EQ(XEnum::getUnknownEnumStr(), XEnum::enumToString(0, sorted, 3));
    EXPECT_EQ(XEnum::getUnknownEnumStr(), XEnum::enumToString(1, sorted, 0));
    EXPECT_EQ(XEnum::getUnknownEnumStr(), XEnum::enumToString(1, nullptr, 3));
    std::string copy = XEnum::getUnknownEnumStr();
    EXPECT_FALSE(XEnum::isUnknownEnumStr(copy.c_str()));  // identity, not text

    EXPECT_EQ(&one, XEnum::enumToUString(1, sorted, 3));
    EXPECT_EQ(nullptr, XEnum::enumToUString(2, sorted, 3));
    const QvUString* miss = XEnum::enumToUString(9, sorted, 3);
    ASSERT_NE(nullptr, miss);
    EXPECT_TRUE(miss->equalsASCII("?:"));
    EXPECT_EQ(-4, XEnum::sortEnumStrPairs(nullptr, 0, 1, 2, 3));
}

}  // namespace
