// Constant nodes: reading a value as int, long long and double, and negating
// it, for every value type; null values refuse everything; the creators pick
// the type, the decimal width and the string form. Reads are rows of one
// table: a constant, the operations, what each gave.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "qvcmnasrt.h"
#include "qvcmnexpr/qvcmnexprglobal.h"
#include "typetest_const.h"
#include "xrecordtext.h"
#include "xtestsupport.h"

namespace {

using xtestsupport::answers;
using ConstPtr = std::unique_ptr<XNodeConstBase>;
using Maker = std::function<ConstPtr()>;

// A maker of a constant holding `value` (a null one when `null`).
template <class T> Maker of(T value, bool null = false) {
    return [value, null] { return ConstPtr(XNodeConstTestAccess::make<T>(value, 0, 1, -1, -1, null).release()); };
}

QvtStr<char> str8(const char* text) { return QvtStr<char>(text, static_cast<int>(strlen(text))); }

QvtStr<unsigned short> str16(const char* text) {
    const QvUString u = qvU(text);
    return QvtStr<unsigned short>(u.getBuffer(), static_cast<int>(u.length()));
}

QvDecimal<3> dec28(long long value) { QvDecimal<3> d; return QvDecimalImpl<3>::convertFrom(d, value), d; }

// A refusal ("x") must leave the target (preset to 9) alone.
template <class T> std::string readText(int status, const T& out) {
    if (status != 0) return status != -1 ? "?" + std::to_string(status) : out == T(9) ? "x" : "x(target changed)";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", static_cast<double>(out));
    return std::is_same_v<T, double> ? std::string(buffer) : std::to_string(out);
}

// Runs `ops` on `node`: i, b, d read as int, long long, double; n negates.
// Each gives its letter and the value read, "x" for a refusal or "!id" for
// a thrown message id.
std::string reads(XNodeConstBase& node, const std::string& ops) {
    std::string out;
    for (char op : ops) {
        std::string r;
        int i = 9;
        long long b = 9;
        double d = 9;
        try {
            if (op == 'i') r = readText(node.getIntValueV(i), i);
            if (op == 'b') r = readText(node.getBigIntValueV(b), b);
            if (op == 'd') r = readText(node.getDoubleValueV(d), d);
            if (op == 'n') r = std::to_string(node.negateNumericValue());
        } catch (int id) {
            r = "!" + std::to_string(id);
        }
        out += std::string(out.empty() ? "" : " ") + op + r;
    }
    return out;
}

struct ReadCase { Maker make; const char* ops; const char* expected; };

const ReadCase kReadCases[] = {
    // Doubles to int round half away from zero within the range; adding 0.5 to 0.49999999999999994 gives 1.0.
    {of(2.5), "i", "i3"},
    {of(-2.5), "ib", "i-3 b-3"},
    {of(0.49999999999999994), "i", "i0"},
    {of(2147483647.4), "i", "i2147483647"},
    {of(2147483647.5), "i", "ix"},
    {of(-2147483648.4), "i", "i-2147483648"},
    {of(-2147483648.5), "i", "ix"},
    {of(__builtin_nan("")), "i", "ix"},
    {of(1e30), "b", "bx"},
    // Integers and decimals.
    {of(2147483648LL), "i", "ix"},
    {of(-2147483648LL), "i", "i-2147483648"},
    {of(-2147483649LL), "i", "ix"},
    {of(-5), "bd", "b-5 d-5"},
    {of(dec28(-17)), "ibd", "i-17 b-17 d-17"},
    {of(dec28(2147483648LL)), "i", "ix"},
    // Strings, dates and binary values are no integers; a date reads as 0.
    {of(str16("12")), "ib", "ix bx"},
    {of(QvDate()), "id", "ix d0"},
    {of(binary_t("ab", 2)), "bd", "bx dx"},
    // Negation; the most negative integers have no positive counterpart:
    // they stay, and the negation says so instead of wrapping silently.
    {of(5), "ni", "n0 i-5"},
    {of(0.25), "nd", "n0 d-0.25"},
    {of(dec28(8)), "nd", "n0 d-8"},
    {of(INT_MIN), "ni", "n-1 i-2147483648"},
    {of(LLONG_MIN), "nb", "n-1 b-9223372036854775808"},
    {of(2147483648LL), "ni", "n0 i-2147483648"},  // the long long literal whose negation is an int
    {of(str8("12")), "nd", "n-1 d12"},
    // A null value refuses everything, strings without throwing.
    {of(5, true), "ibdnd", "ix bx dx n-1 dx"},
    {of(str8("abc"), true), "d", "dx"},
};

TEST(XNodeConstTest, ReadsAndNegation) {
    for (const ReadCase& c : kReadCases) EXPECT_EQ(reads(*c.make(), c.ops), c.expected);
    auto null = XNodeConstTestAccess::make(5, 0, 1, -1, -1, true);
    null->negateNumericValue();
    EXPECT_EQ(answers({null->getDataRef(), null->isValueAvailable(), null->getId()}), answers({5, 0, eXNI_CONST}));
}

// A string reads as a double only when it is a number from end to end,
// unless the 8.x conversion is on; anything else throws message 20050.
TEST(XNodeConstTest, StringReadsAsDoubleOnlyWhenNumeric) {
    const int previous = QvUtilGlobal::set8xConvertStrToNum(0);
    const std::pair<const char*, const char*> cases[] = {
        {"12  ", "d12"},
        {"  -1.5", "d-1.5"},
        {"1e-3", "d0.001"},
        {"12a", "d!20050"},
        {"", "d!20050"},
        {"1e", "d!20050"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(reads(*of(str8(text))(), "d") + reads(*of(str16(text))(), "d"), std::string(expected) + expected)
            << text;
    QvUtilGlobal::set8xConvertStrToNum(1);
    EXPECT_EQ(reads(*of(str8("12a"))(), "d"), "d12");
    QvUtilGlobal::set8xConvertStrToNum(previous);
}

TEST(XNodeConstTest, NonVirtualAccessTreatsFailureAsAnInvariant) {
    EXPECT_EQ(XNodeConstTestAccess::make(2147483647LL)->getIntValue(), INT_MAX);
    EXPECT_THROW(XNodeConstTestAccess::make(2147483648LL)->getIntValue(), QvAssertFailure);
    EXPECT_EQ(XNodeConstTestAccess::make(-2.5)->getBigIntValue(), -3);
    EXPECT_THROW(XNodeConstTestAccess::make(str8("1"))->getBigIntValue(), QvAssertFailure);
}

// ===== creators =====

// Sets the high-precision mode, the decimal maximum and the server's
// character mode for one scope and restores them afterwards.
struct ModeScope {
    int highPrecision = QvCmnExprGlobal::getIsHighPrecisionMode();
    XType decMax = XType::cls_xdtDecMax;
    xtestsupport::ServerMode ascii;
    ModeScope(int hp, int max, int asciiMode) : ascii(asciiMode) {
        QvCmnExprGlobal::changeHighPrecisionMode(hp), XType::cls_xdtDecMax = max;
    }
    ~ModeScope() { QvCmnExprGlobal::changeHighPrecisionMode(highPrecision); XType::cls_xdtDecMax = decMax; }
};

// A stand-in for the host's 38-digit decimal type "Dec38rt": the value is a
// QvDecimal<4>, and texts it cannot hold exactly are refused.
QvDecimal<4> decimalAt(const void* value) { return *static_cast<const QvDecimal<4>*>(value); }

int dec38rtFromText(const unsigned short* text, size_t length, void* out) {
    QvDecimal<4> d;
    try {
        if (QvDecStringConvert::stringToQvDec(d, text, text + length) != text + length || d.isInexact()) return 0;
    } catch (const QvDecException&) {
        return 0;
    }
    return std::memcpy(out, &d, sizeof d), 1;
}

QvCustomTypeDef dec38rtDef() {
    QvCustomTypeDef def;
    def.name = "Dec38rt", def.traits = eQvTRT_NUMERIC | eQvTRT_DECIMAL | eQvTRT_COMPARABLE;
    def.valueSize = sizeof(QvDecimal<4>), def.textWidth = 40, def.precision = 38, def.fromText = dec38rtFromText;
    def.toInteger = [](const void* v, int& out) { return QvDecimalImpl<4>::toInt32(decimalAt(v), out) == 0 ? 1 : 0; };
    def.toBigInt = [](const void* v, long long& out) { return QvDecimalImpl<4>::toInt64(decimalAt(v), out) ? 0 : 1; };
    def.toFloat = [](const void* v, double& out) { return out = QvDecimalImpl<4>::toDouble(decimalAt(v)), 1; };
    def.negate = [](void* v) { return QvDecimalImpl<4>::negate(*static_cast<QvDecimal<4>*>(v)), 1; };
    return def;
}

// Registers "Dec38rt" when asked; forgets every custom type afterwards.
struct CustomTypeScope {
    int id = -1;
    explicit CustomTypeScope(int registerIt) {
        CustomSDKMgr::getInstance()->unregisterAll();
        if (registerIt) id = CustomSDKMgr::getInstance()->registerCustomType(dec38rtDef());
    }
    ~CustomTypeScope() { CustomSDKMgr::getInstance()->unregisterAll(); }
};

ConstPtr own(XNodeConstBase* node) { return ConstPtr(node); }

template <class T> XNodeConst<T>* as(const ConstPtr& node) { return static_cast<XNodeConst<T>*>(node.get()); }

template <int N> std::string decText(const void* decimal) {
    char b[QvDecStringConvert::kBufferSize];
    const int n = QvDecStringConvert::toString(*static_cast<const QvDecimal<N>*>(decimal), b, sizeof b);
    return n < 0 ? std::string("?") : std::string(b, static_cast<size_t>(n));
}

std::string decimalText(const void* d, int type) {
    return type == eXDT_DEC18 ? decText<2>(d) : type == eXDT_DEC28 ? decText<3>(d) : decText<4>(d);
}

// "kind type scale begin-end value|null" of a constant; a scale that is
// the dummy sentinel reads "dummy".
std::string shape(const XNodeConstBase& node) {
    const int scale = node.getScale().toInteger();
    const std::string kind = node.getId() == eXNI_CONST ? "CONST " : "KIND ";
    return kind + std::to_string(node.getDataType().toInteger()) + " " + (scale == eXMINT_DUMMY ? "dummy" : "?") + " " +
           std::to_string(node.getPosBegin().toInteger()) + "-" + std::to_string(node.getPosEnd().toInteger()) +
           (node.isValueAvailable() ? " value" : " null");
}

TEST(XNodeConstCreateTest, NumbersGetTheirClassTypeAndPositions) {
    QvDate date;
    ASSERT_EQ(date.setDate(2024, 2, 29), 0);
    const struct { ConstPtr node; int type; const char* read; } cases[] = {
        {own(XNodeConstBase::createConstInt(INT_MAX, 3, 9)), eXDT_INT, "i2147483647"},
        {own(XNodeConstBase::createConstBigInt(LLONG_MIN, 3, 9)), eXDT_BIGINT, "b-9223372036854775808"},
        {own(XNodeConstBase::createConstFloat(-0.5, 3, 9)), eXDT_FLOAT, "d-0.5"},
        {own(XNodeConstBase::createConstDec18(QvDecimal<2>(), 3, 9)), eXDT_DEC18, "i0"},
        {own(XNodeConstBase::createConstDec28(dec28(-7), 3, 9)), eXDT_DEC28, "i-7"},
        {own(XNodeConstBase::createConstDec38(QvDecimal<4>(), 3, 9)), eXDT_DEC38, "i0"},
        {own(XNodeConstBase::createConstDate(date, 3, 9)), eXDT_DATE, "ix"},
    };
    for (const auto& [node, type, read] : cases) {
        const std::string expected = "CONST " + std::to_string(type) + " dummy 3-9 value " + read;
        EXPECT_EQ(shape(*node) + " " + reads(*node, std::string(1, read[0])), expected);
    }
    EXPECT_EQ(as<QvDate>(cases[6].node)->getDataRef(), date);
}

TEST(XNodeConstCreateTest, PredefinedIntegersKeepTheirKind) {
    auto node = own(XNodeConstBase::createConstIntPredefined(eXNI_ABORTED, 107, 0, 4));
    EXPECT_EQ(answers({node->getId(), node->isConstNode(), node->getIntValue()}), answers({eXNI_ABORTED, 1, 107}));
    EXPECT_EQ(shape(*node), "KIND " + std::to_string(eXDT_INT) + " dummy 0-4 value");
}

XNodeConstBase* createDecOfText(int precision, const QvUString& text, int force) {
    if (precision == 18) return XNodeConstBase::createConstDec18(text, 0, 1, force);
    if (precision == 28) return XNodeConstBase::createConstDec28(text, 0, 1, force);
    return XNodeConstBase::createConstDec38(text, 0, 1, force);
}

int decTypeOf(int precision) { return precision == 18 ? eXDT_DEC18 : precision == 28 ? eXDT_DEC28 : eXDT_DEC38; }

const std::string k18 = "123456789012345678";
const std::string k28 = "1234567890123456789012345678";
const std::string k38 = "12345678901234567890123456789012345678";

// Expected: the decimal's text, "" for no node, "throw" for QvDecException.
TEST(XNodeConstCreateTest, DecimalFromTextIsExactUnlessForced) {
    const std::string frac19 = "1." + k18;
    const struct { std::string text; int precision, force; std::string expected; } cases[] = {
        {k18, 18, 0, k18},
        {frac19, 18, 0, ""},
        {frac19, 18, 1, "1.12345678901234568"},
        {"1234567890123456789", 18, 0, "throw"},
        {k28, 28, 0, k28},
        {k38, 38, 0, k38},
        // Not a decimal number from end to end: never a node, forced or not.
        {"", 18, 1, ""},
        {"12 ", 18, 1, ""},
    };
    for (const auto& c : cases) {
        std::string got = "throw";
        try {
            auto node = own(createDecOfText(c.precision, qvU(c.text), c.force));
            got = !node ? "" : node->getDataType().toInteger() != decTypeOf(c.precision) ? "type?"
                             : decimalText(node->getDataPtr(), decTypeOf(c.precision));
        } catch (const QvDecException&) {}
        EXPECT_EQ(got, c.expected) << c.text << " at " << c.precision;
    }
}

constexpr int kCustom = -1;
constexpr int kThrows = 0;

// Both sides of every rung: 18, 28 and 38 digits, in both precision modes,
// under both decimal maxima, with and without the custom decimal.
TEST(XNodeConstCreateTest, DecimalLadderTakesTheNarrowestExactRepresentation) {
    const std::string d19 = "1" + k18, d29 = "1" + k28, d39 = "1" + k38, f29 = "1." + k28, f39 = "1." + k38;
    // text, high precision, decimal maximum, "Dec38rt" registered, data type (kCustom, kThrows)
    const struct { std::string text; int highPrecision, decMax, dec38rt, expected; } cases[] = {
        {k38, 0, eXDT_DEC28, 1, eXDT_FLOAT},
        {"0.5", 1, eXDT_DEC28, 0, eXDT_DEC18},
        {d19, 1, eXDT_DEC28, 0, eXDT_DEC28},
        {d29, 1, eXDT_DEC28, 1, kCustom},
        {d29, 1, eXDT_DEC28, 0, kThrows},
        {f29, 1, eXDT_DEC28, 1, kCustom},
        {f29, 1, eXDT_DEC28, 0, eXDT_DEC28},  // rounded to the maximum
        {d39, 1, eXDT_DEC28, 1, kThrows},
        {f39, 1, eXDT_DEC28, 1, eXDT_DEC28},
        {d19, 1, eXDT_DEC18, 1, kCustom},
        {d19, 1, eXDT_DEC18, 0, kThrows},
        {k38, 1, eXDT_DEC38, 0, eXDT_DEC38},
        {d39, 1, eXDT_DEC38, 1, kThrows},
    };
    for (const auto& c : cases) {
        const ModeScope mode(c.highPrecision, c.decMax, 0);
        const CustomTypeScope custom(c.dec38rt);
        int got = kThrows;
        try {
            auto node = own(XNodeConstBase::createConstDecimal(qvU(c.text), 0, 1));
            got = !node ? -99 : !node->isValueAvailable() ? -98 : node->getDataType().toInteger();
        } catch (const QvDecException&) {}
        EXPECT_EQ(got, c.expected == kCustom ? custom.id : c.expected)
            << c.text << " hp " << c.highPrecision << " max " << c.decMax << " custom " << c.dec38rt;
    }
}

// A low-precision decimal is the double of its text; a string constant reads as a number.
TEST(XNodeConstCreateTest, CreatedConstantsRead) {
    const ModeScope mode(0, eXDT_DEC28, 1);
    EXPECT_EQ(reads(*own(XNodeConstBase::createConstDecimal(qvU("123.25"), 0, 6)), "d") + " " +
                  reads(*own(XNodeConstBase::createConstString(qvU("12  "), 0, 6)), "dn"), "d123.25 d12 n-1");
}

TEST(XNodeConstCreateTest, DecMaxInexactRoundsAtTheConfiguredMaximum) {
    for (int max : {eXDT_DEC38, eXDT_DEC28, eXDT_DEC18}) {
        const ModeScope mode(1, max, 0);
        auto node = own(XNodeConstBase::createConstDecMaxInexact(qvU("1." + k18), 0, 1));
        ASSERT_TRUE(node && node->getDataType().toInteger() == max) << max;
        EXPECT_EQ(decimalText(node->getDataPtr(), max), max == eXDT_DEC18 ? "1.12345678901234568" : "1." + k18);
    }
}

TEST(XNodeConstCreateTest, Dec38rtNeedsTheRegisteredType) {
    {
        const CustomTypeScope none(0);
        EXPECT_EQ(XNodeConstBase::createConstDec38Fixed(qvU("1.5"), 0, 3, 0), nullptr);
    }
    const CustomTypeScope custom(1);
    ASSERT_GT(custom.id, 0);
    auto node = own(XNodeConstBase::createConstDec38Fixed(qvU("-1" + k28), 2, 32, 0));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(shape(*node), "CONST " + std::to_string(custom.id) + " dummy 2-32 value");
    const XMetadata* md = node->getMetadataConstPtr();
    EXPECT_EQ(md->getZevaTypeMetadataV(), CustomSDKMgr::getInstance()->getZEVATypeMetadata(custom.id));
    EXPECT_EQ(md->getTrtInfoV(), CustomSDKMgr::getInstance()->getTrtInfoFromDT(custom.id));
    EXPECT_TRUE(XType(node->getDataType()).isNumeric(1));
    // A text the type cannot read gives no node.
    EXPECT_EQ(XNodeConstBase::createConstDec38Fixed(qvU("1" + k38), 0, 1, 0), nullptr);
}

TEST(XNodeConstCreateTest, CustomConstantsConvertAndNegateThroughTheHost) {
    const CustomTypeScope custom(1);
    auto node = own(XNodeConstBase::createConstDec38Fixed(qvU("-2.5"), 0, 4, 0));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(reads(*node, "ibdnd"), "i-3 b-3 d-2.5 n0 d2.5");
    EXPECT_EQ(reads(*own(XNodeConstBase::createConstDec38Fixed(qvU(k38), 0, 38, 0)), "b"), "bx");  // the host fails
    // A null custom value refuses everything.
    *static_cast<XNodeConstCustom*>(node.get())->getIndRef() = -1;
    EXPECT_EQ(answers({node->isValueAvailable()}) + " " + reads(*node, "idn"), "0 ix dx n-1");
}

TEST(XNodeConstCreateTest, CreateConstCustomCopiesTheValue) {
    const CustomTypeScope custom(1);
    QvDecimal<4> value;
    QvDecimalImpl<4>::convertFrom(value, -42LL);
    XMetadata md, unknown;
    md.setDataType(XType(custom.id));
    auto node = own(XNodeConstBase::createConstCustom(&value, &md, 0, 2));
    ASSERT_NE(node, nullptr);
    QvDecimalImpl<4>::convertFrom(value, 7LL);  // the node holds its own copy
    EXPECT_EQ(answers({node->getDataType().toInteger(), node->getIntValue(), node->getDataPtr() == &value}),
              answers({custom.id, -42, 0}));
    unknown.setDataType(XType(XType::cls_lastCustomType));
    EXPECT_EQ(XNodeConstBase::createConstCustom(&value, &unknown, 0, 2), nullptr);
    EXPECT_THROW(XNodeConstBase::createConstCustom(nullptr, &md, 0, 2), QvAssertFailure);
}

TEST(XNodeConstCreateTest, BinaryCopiesBytesAndMetadata) {
    const unsigned char bytes[] = {0, 1, 0xFF};
    XMetadata md;
    md.setDataType(XType(eXDT_BINARY)), md.setNumCharsMax(100);
    auto node = own(XNodeConstBase::createConstBinary(bytes, 3, &md, 1, 5));
    auto empty = own(XNodeConstBase::createConstBinary(nullptr, 0, nullptr, 1, 1));
    EXPECT_EQ(answers({node->getDataType().toInteger(), node->getNumCharsMax().toInteger(),
                       empty->getDataType().toInteger(), empty->getNumCharsMax().toInteger()}),
              answers({eXDT_BINARY, 3, eXDT_BINARY, 0}));
    EXPECT_EQ(as<binary_t>(node)->getDataRef(), binary_t(bytes, 3));
    EXPECT_THROW(XNodeConstBase::createConstBinary(bytes, -1, &md, 0, 1), QvAssertFailure);
}

// The text a string constant holds, "?" when its length or end is off.
std::string heldText(const ConstPtr& node, int ascii) {
    if (ascii) {
        const QvtStr<char>& held = as<QvtStr<char>>(node)->getDataRef();
        return held.getLength() == static_cast<int>(strlen(held.getBuffer())) ? held.getBuffer() : "?";
    }
    const QvtStr<unsigned short>& held = as<QvtStr<unsigned short>>(node)->getDataRef();
    if (held.getBuffer()[held.getLength()] != 0) return "?";
    return QvUString(held.getBuffer(), static_cast<size_t>(held.getLength())).toUtf8();
}

TEST(XNodeConstCreateTest, StringRuleFollowsTheServerMode) {
    const std::tuple<const char*, int, int> cases[] = {  // text, 8-bit server mode, held (or thrown)
        {"abc", 0, 1},
        {"", 0, 1},
        {"\xF0\x9F\x98\x80", 0, 1},
        {"abc", 1, 1},
        {"caf\xC3\xA9", 1, 0},       // U+00E9 is two bytes in the host's 8-bit form
    };
    for (const auto& [utf8, ascii, holds] : cases) {
        const ModeScope mode(1, eXDT_DEC28, ascii);
        const QvUString text = qvU(utf8);
        std::string got = "throw";
        try {
            auto node = own(XNodeConstBase::createConstString(text, 0, 1));
            got = answers({node->getDataType().toInteger(), node->getNumCharsMax().toInteger(),
                           node->getScale().toInteger()}) + " " + heldText(node, ascii);
        } catch (const XInvalidConstStrException&) {}
        const int type = ascii ? eXDT_STRING : eXDT_UNISTRING, n = static_cast<int>(text.length());
        EXPECT_EQ(got, !holds ? "throw" : answers({type, n, eXMINT_DUMMY}) + " " + utf8) << utf8 << ascii;
    }
}

// The creators keep a string's text in the node's own block; the value
// handed out must still be a complete, independent string.
TEST(XNodeConstCreateTest, StringTextOutlivesItsNodeOnlyInCopies) {
    const ModeScope mode(1, eXDT_DEC28, 0);
    const QvUString text = qvU("O'Brien & Sons");
    auto node = own(XNodeConstBase::createConstString(text, 0, 1));
    QvtStr<unsigned short>& held = as<QvtStr<unsigned short>>(node)->getDataRef();
    QvtStr<unsigned short> copy = held;
    EXPECT_NE(copy.getBuffer(), held.getBuffer());
    QvtStr<unsigned short> moved = std::move(held);
    node.reset();
    for (const auto* value : {&copy, &moved}) EXPECT_EQ(QvUString(value->getBuffer(), value->getLength()), text);
    // A new value assigned to a node's string replaces the viewed text.
    const ModeScope ascii(1, eXDT_DEC28, 1);
    auto narrow = own(XNodeConstBase::createConstString(qvU("abc"), 0, 1));
    QvtStr<char>& held8 = as<QvtStr<char>>(narrow)->getDataRef();
    held8 = str8("longer text");
    QvtStr<char> taken = std::move(held8);
    EXPECT_EQ(held8.getLength(), 0);
    EXPECT_STREQ(taken.getBuffer(), "longer text");
}

// Texts of every size, up to one too big to share a slab with other nodes.
TEST(XNodeConstCreateTest, StringsOfAnyLengthKeepTheirText) {
    const ModeScope mode(1, eXDT_DEC28, 0);
    std::vector<ConstPtr> nodes;
    std::vector<std::string> texts;
    for (size_t length : {0, 1, 7, 8, 9, 4000, 8191, 8192, 20000}) {
        texts.push_back(std::string(length, static_cast<char>('a' + length % 26)));
        nodes.push_back(own(XNodeConstBase::createConstString(qvU(texts.back().c_str()), 0, 1)));
    }
    for (size_t i = 0; i < nodes.size(); ++i) EXPECT_EQ(heldText(nodes[i], 0), texts[i]);
}

// Decimals hold 128-bit integers: their nodes must be aligned for them
// whatever was carved before them.
TEST(XNodeConstCreateTest, DecimalValuesAreAlignedForTheirIntegers) {
    const ModeScope mode(1, eXDT_DEC38, 0);
    std::vector<ConstPtr> nodes;
    for (int i = 0; i < 50; ++i) {
        nodes.push_back(own(XNodeConstBase::createConstInt(i, 0, 1)));
        nodes.push_back(own(XNodeConstBase::createConstString(qvU(std::string(i % 5u, 'x')), 0, 1)));
        nodes.push_back(own(XNodeConstBase::createConstDec38(QvDecimal<4>(), 0, 1)));
        ASSERT_EQ(reinterpret_cast<uintptr_t>(nodes.back()->getDataPtr()) % alignof(QvDecimal<4>), 0u) << i;
    }
}

TEST(XNodeConstCreateTest, NegationOfTheLargestDecimals) {
    const std::string nines38(38, '9'), nines18(18, '9');
    auto d38 = own(XNodeConstBase::createConstDec38(qvU(nines38), 0, 38, 0));
    auto d18 = own(XNodeConstBase::createConstDec18(qvU("-" + nines18), 0, 19, 0));
    ASSERT_TRUE(d38 && d18);
    EXPECT_EQ(answers({d38->negateNumericValue(), d18->negateNumericValue()}), "0 0");
    EXPECT_EQ(decimalText(d38->getDataPtr(), eXDT_DEC38) + decimalText(d18->getDataPtr(), eXDT_DEC18),
              "-" + nines38 + nines18);
}

}  // namespace
