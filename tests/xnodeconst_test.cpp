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
#include <type_traits>
#include <utility>
#include <vector>

#include "qvcmnasrt.h"
#include "qvcmnexpr/qvcmnexprglobal.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnodeconst.h"
#include "xrecordtext.h"

// The constructor is private (creators only); the tests reach it as a friend.
class XNodeConstTestAccess {
public:
    template <class T>
    static std::unique_ptr<XNodeConst<T>> make(T value) {
        return std::unique_ptr<XNodeConst<T>>(
            new XNodeConst<T>(std::move(value), 0, 1, std::make_unique<XMetadata>()));
    }
};

namespace {

using xtestsupport::answers;
using ConstPtr = std::unique_ptr<XNodeConstBase>;
using Maker = std::function<ConstPtr()>;

// A maker of a constant holding `value` (a null one when `null`).
template <class T>
Maker of(T value, bool null = false) {
    return [value, null] {
        auto node = XNodeConstTestAccess::make<T>(value);
        if (null) node->getIndRef() = -1;
        return ConstPtr(node.release());
    };
}

QvtStr<char> str8(const char* text) { return QvtStr<char>(text, static_cast<int>(strlen(text))); }

QvtStr<unsigned short> str16(const char* text) {
    const QvUString u = qvU(text);
    return QvtStr<unsigned short>(u.getBuffer(), static_cast<int>(u.length()));
}

QvDecimal<3> dec28(long long value, int negateIt = 0) {
    QvDecimal<3> d;
    QvDecimalImpl<3>::convertFrom(d, value);
    if (negateIt) QvDecimalImpl<3>::negate(d);
    return d;
}

template <class T>
std::string readText(int status, T out) {
    if (status == -1) return out == T(9) ? "x" : "x(target changed)";
    if (status != 0) return "?" + std::to_string(status);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", static_cast<double>(out));
    return std::is_same_v<T, double> ? std::string(buffer) : std::to_string(out);
}

// Runs `ops` on `node`: i, b, d read as int, long long, double; n negates.
// Each gives its letter and the value read, "x" for a refusal (which must
// leave the target alone) or "!id" for a thrown message id.
std::string reads(XNodeConstBase& node, const std::string& ops) {
    std::string out;
    for (char op : ops) {
        std::string result;
        try {
            int i = 9;
            long long b = 9;
            double d = 9;
            if (op == 'i') {
                const int status = node.getIntValueV(i);
                result = readText(status, i);
            } else if (op == 'b') {
                const int status = node.getBigIntValueV(b);
                result = readText(status, b);
            } else if (op == 'd') {
                const int status = node.getDoubleValueV(d);
                result = readText(status, d);
            }
            if (op == 'n') result = std::to_string(node.negateNumericValue());
        } catch (int id) {
            result = "!" + std::to_string(id);
        }
        out += std::string(out.empty() ? "" : " ") + op + result;
    }
    return out;
}

struct ReadCase {
    Maker make;
    const char* ops;
    const char* expected;
};

const ReadCase kReadCases[] = {
    // Doubles to int round half away from zero within the range.
    {of(2.5), "i", "i3"},
    {of(-2.5), "ib", "i-3 b-3"},
    {of(2.4), "i", "i2"},
    {of(0.49999999999999994), "i", "i0"},  // adding 0.5 would round up to 1.0
    {of(-0.49999999999999994), "i", "i0"},
    {of(-0.5), "i", "i-1"},
    {of(2147483647.4), "i", "i2147483647"},
    {of(2147483646.5), "i", "i2147483647"},
    {of(2147483647.0), "i", "i2147483647"},
    {of(-2147483648.0), "i", "i-2147483648"},
    {of(-2147483648.4), "i", "i-2147483648"},
    {of(2147483647.5), "i", "ix"},
    {of(2147483648.0), "i", "ix"},
    {of(-2147483648.5), "i", "ix"},
    {of(__builtin_nan("")), "i", "ix"},
    {of(__builtin_inf()), "i", "ix"},
    {of(-1e300), "i", "ix"},
    {of(1e30), "b", "bx"},
    // Integers and decimals.
    {of(2147483648LL), "i", "ix"},
    {of(-2147483648LL), "i", "i-2147483648"},
    {of(-2147483649LL), "i", "ix"},
    {of(-5), "bd", "b-5 d-5"},
    {of(LLONG_MAX), "b", "b9223372036854775807"},
    {of(1LL << 40), "d", "d1099511627776"},
    {of(dec28(123456789012LL)), "b", "b123456789012"},
    {of(dec28(42, 1)), "d", "d-42"},
    {of(dec28(-17)), "i", "i-17"},
    {of(dec28(2147483648LL)), "i", "ix"},
    {of(dec28(2147483649LL, 1)), "i", "ix"},
    {of(dec28(2147483648LL, 1)), "i", "i-2147483648"},
    // Strings, dates and binary values are no integers; a date reads as 0.
    {of(str8("12")), "i", "ix"},
    {of(str16("12")), "b", "bx"},
    {of(QvDate()), "id", "ix d0"},
    {of(binary_t("ab", 2)), "bd", "bx dx"},
    // Negation; the most negative integers have no positive counterpart:
    // they stay, and the negation says so instead of wrapping silently.
    {of(5), "ni", "n0 i-5"},
    {of(0.25), "nd", "n0 d-0.25"},
    {of(dec28(8)), "nd", "n0 d-8"},
    {of(INT_MIN), "ni", "n-1 i-2147483648"},
    {of(INT_MIN + 1), "ni", "n0 i2147483647"},
    {of(INT_MAX), "ni", "n0 i-2147483647"},
    {of(LLONG_MIN), "nb", "n-1 b-9223372036854775808"},
    {of(LLONG_MAX), "nb", "n0 b-9223372036854775807"},
    {of(2147483648LL), "ni", "n0 i-2147483648"},  // the long long literal whose negation is an int
    {of(str8("12")), "nd", "n-1 d12"},
    {of(QvDate()), "n", "n-1"},
    {of(binary_t("x", 1)), "n", "n-1"},
    // A null value refuses everything, strings without throwing.
    {of(5, true), "ibdnd", "ix bx dx n-1 dx"},
    {of(str8("abc"), true), "d", "dx"},
    {of(2.5, true), "n", "n-1"},
};

TEST(XNodeConstTest, ReadsAndNegation) {
    for (size_t i = 0; i < std::size(kReadCases); ++i) {
        ConstPtr node = kReadCases[i].make();
        EXPECT_EQ(reads(*node, kReadCases[i].ops), kReadCases[i].expected) << "row " << i;
    }
    auto null = XNodeConstTestAccess::make(5);
    null->getIndRef() = -1;
    null->negateNumericValue();
    EXPECT_EQ(null->getDataRef(), 5);
    EXPECT_EQ(null->isValueAvailable(), 0);
    EXPECT_EQ(XNodeConstTestAccess::make(42)->getId(), eXNI_CONST);
}

// A string reads as a double only when it is a number from end to end,
// unless the 8.x conversion is on; anything else throws message 20050.
TEST(XNodeConstTest, StringReadsAsDoubleOnlyWhenNumeric) {
    const int previous = QvUtilGlobal::set8xConvertStrToNum(0);
    const std::pair<const char*, const char*> cases[] = {
        {"12  ", "d12"}, {"  -1.5", "d-1.5"}, {"+.5", "d0.5"}, {"1e3", "d1000"}, {"12a", "d!20050"},
        {"", "d!20050"}, {"-", "d!20050"}, {"1e", "d!20050"}, {"1 2", "d!20050"}, {".", "d!20050"}};
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(reads(*of(str8(text))(), "d"), expected) << text;
        EXPECT_EQ(reads(*of(str16(text))(), "d"), expected) << text;
    }
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
// character mode for one test and restores them afterwards.
class ModeScope {
public:
    ModeScope(int highPrecision, int decMax, int ascii)
        : m_highPrecision(QvCmnExprGlobal::getIsHighPrecisionMode()),
          m_decMax(XType::cls_xdtDecMax),
          m_ascii(qvSetServerModeASCII(ascii)) {
        QvCmnExprGlobal::changeHighPrecisionMode(highPrecision);
        XType::cls_xdtDecMax = XType(decMax);
    }
    ~ModeScope() {
        QvCmnExprGlobal::changeHighPrecisionMode(m_highPrecision);
        XType::cls_xdtDecMax = m_decMax;
        qvSetServerModeASCII(m_ascii);
    }
    ModeScope(const ModeScope&) = delete;
    ModeScope& operator=(const ModeScope&) = delete;

private:
    int m_highPrecision;
    XType m_decMax;
    int m_ascii;
};

// A stand-in for the host's 38-digit decimal type "Dec38rt": the value is a
// QvDecimal<4>, and texts it cannot hold exactly are refused.
QvDecimal<4> decimalAt(const void* value) {
    QvDecimal<4> d;
    std::memcpy(&d, value, sizeof d);
    return d;
}

int dec38rtFromText(const unsigned short* text, size_t length, void* out) {
    QvDecimal<4> d;
    try {
        if (QvDecStringConvert::stringToQvDec(d, text, text + length) != text + length || d.isInexact()) return 0;
    } catch (const QvDecException&) {
        return 0;
    }
    std::memcpy(out, &d, sizeof d);
    return 1;
}

QvCustomTypeDef dec38rtDef() {
    QvCustomTypeDef def;
    def.name = "Dec38rt";
    def.traits = eQvTRT_NUMERIC | eQvTRT_DECIMAL | eQvTRT_COMPARABLE;
    def.valueSize = sizeof(QvDecimal<4>);
    def.textWidth = 40;
    def.precision = 38;
    def.fromText = dec38rtFromText;
    def.toInteger = [](const void* v, int& out) { return QvDecimalImpl<4>::toInt32(decimalAt(v), out) == 0 ? 1 : 0; };
    def.toBigInt = [](const void* v, long long& out) {
        return QvDecimalImpl<4>::toInt64(decimalAt(v), out) == 0 ? 1 : 0;
    };
    def.toFloat = [](const void* v, double& out) { return out = QvDecimalImpl<4>::toDouble(decimalAt(v)), 1; };
    def.negate = [](void* v) {
        QvDecimal<4> d = decimalAt(v);
        QvDecimalImpl<4>::negate(d);
        std::memcpy(v, &d, sizeof d);
        return 1;
    };
    return def;
}

// Registers "Dec38rt" when asked; forgets every custom type afterwards.
class CustomTypeScope {
public:
    explicit CustomTypeScope(int registerIt) {
        CustomSDKMgr::getInstance()->unregisterAll();
        if (registerIt) m_id = CustomSDKMgr::getInstance()->registerCustomType(dec38rtDef());
    }
    ~CustomTypeScope() { CustomSDKMgr::getInstance()->unregisterAll(); }
    CustomTypeScope(const CustomTypeScope&) = delete;
    CustomTypeScope& operator=(const CustomTypeScope&) = delete;
    int id() const { return m_id; }

private:
    int m_id = -1;
};

std::unique_ptr<XNodeConstBase> own(XNodeConstBase* node) { return std::unique_ptr<XNodeConstBase>(node); }

template <class T>
const XNodeConst<T>* as(const std::unique_ptr<XNodeConstBase>& node) {
    return static_cast<const XNodeConst<T>*>(node.get());
}

template <class T>
XNodeConst<T>* asMutable(const std::unique_ptr<XNodeConstBase>& node) {
    return static_cast<XNodeConst<T>*>(node.get());
}

std::string decimalText(const void* decimal, int type) {
    char buffer[QvDecStringConvert::kBufferSize];
    int n = -1;
    if (type == eXDT_DEC18) n = QvDecStringConvert::toString(*static_cast<const QvDecimal<2>*>(decimal), buffer, sizeof buffer);
    if (type == eXDT_DEC28) n = QvDecStringConvert::toString(*static_cast<const QvDecimal<3>*>(decimal), buffer, sizeof buffer);
    if (type == eXDT_DEC38) n = QvDecStringConvert::toString(*static_cast<const QvDecimal<4>*>(decimal), buffer, sizeof buffer);
    return n < 0 ? std::string("?") : std::string(buffer, static_cast<size_t>(n));
}

// "kind type scale begin-end value|null" of a constant; a scale that is
// the dummy sentinel reads "dummy".
std::string shape(const XNodeConstBase& node) {
    const int scale = node.getScale().toInteger();
    return std::string(node.getId() == eXNI_CONST ? "CONST " : "KIND ") +
           std::to_string(node.getDataType().toInteger()) + " " +
           (scale == eXMINT_DUMMY ? "dummy" : std::to_string(scale)) + " " +
           std::to_string(node.getPosBegin().toInteger()) + "-" + std::to_string(node.getPosEnd().toInteger()) +
           (node.isValueAvailable() ? " value" : " null");
}

TEST(XNodeConstCreateTest, NumbersGetTheirClassTypeAndPositions) {
    QvDate date;
    ASSERT_EQ(date.setDate(2024, 2, 29), 0);
    const struct {
        ConstPtr node;
        int type;
        const char* read;
    } cases[] = {
        {own(XNodeConstBase::createConstInt(INT_MAX, 3, 9)), eXDT_INT, "i2147483647"},
        {own(XNodeConstBase::createConstBigInt(LLONG_MIN, 3, 9)), eXDT_BIGINT, "b-9223372036854775808"},
        {own(XNodeConstBase::createConstFloat(-0.5, 3, 9)), eXDT_FLOAT, "d-0.5"},
        {own(XNodeConstBase::createConstDec18(QvDecimal<2>(), 3, 9)), eXDT_DEC18, "i0"},
        {own(XNodeConstBase::createConstDec28(dec28(-7), 3, 9)), eXDT_DEC28, "i-7"},
        {own(XNodeConstBase::createConstDec38(QvDecimal<4>(), 3, 9)), eXDT_DEC38, "i0"},
        {own(XNodeConstBase::createConstDate(date, 3, 9)), eXDT_DATE, "ix"},
    };
    for (const auto& [node, type, read] : cases) {
        EXPECT_EQ(shape(*node), "CONST " + std::to_string(type) + " dummy 3-9 value");
        EXPECT_EQ(reads(*node, std::string(1, read[0])), read);
    }
    EXPECT_EQ(as<QvDate>(cases[6].node)->getDataRef(), date);
}

struct PredefinedCase {
    EXNodeId kind;
    int value;
};

TEST(XNodeConstCreateTest, PredefinedIntegersKeepTheirKind) {
    const PredefinedCase cases[] = {
        {eXNI_TRUE, 1}, {eXNI_FALSE, 0}, {eXNI_DD_REJECT, 3}, {eXNI_ABORTED, 107}, {eXNI_TC_ROLLBACK_AFTER, 4},
    };
    for (const PredefinedCase& c : cases) {
        auto node = own(XNodeConstBase::createConstIntPredefined(c.kind, c.value, 0, 4));
        EXPECT_EQ(node->getId(), c.kind);
        EXPECT_TRUE(node->isConstNode());
        EXPECT_EQ(shape(*node), "KIND " + std::to_string(eXDT_INT) + " dummy 0-4 value");
        EXPECT_EQ(node->getIntValue(), c.value);
    }
}

struct DecTextCase {
    const char* text;
    int precision;  // 18, 28 or 38
    int force;
    const char* expected;  // null: no node; "throw": QvDecException
};

XNodeConstBase* createDecOfText(int precision, const QvUString& text, int force) {
    if (precision == 18) return XNodeConstBase::createConstDec18(text, 0, 1, force);
    if (precision == 28) return XNodeConstBase::createConstDec28(text, 0, 1, force);
    return XNodeConstBase::createConstDec38(text, 0, 1, force);
}

int decTypeOf(int precision) {
    return precision == 18 ? eXDT_DEC18 : precision == 28 ? eXDT_DEC28 : eXDT_DEC38;
}

const char* const k18 = "123456789012345678";
const char* const k28 = "1234567890123456789012345678";
const char* const k38 = "12345678901234567890123456789012345678";

TEST(XNodeConstCreateTest, DecimalFromTextIsExactUnlessForced) {
    const std::string frac18 = std::string("0.") + k18;         // 18 digits, all fractional
    const std::string frac19 = std::string("1.") + k18;         // 19 significant digits
    const std::string frac29 = std::string("9.") + k28;
    const std::string frac39 = std::string("0.9") + k38;
    const DecTextCase cases[] = {
        {"12.50", 18, 0, "12.50"}, {"-0.001", 18, 0, "-0.001"}, {k18, 18, 0, k18},
        {frac18.c_str(), 18, 0, frac18.c_str()}, {frac19.c_str(), 18, 0, nullptr},
        {frac19.c_str(), 18, 1, "1.12345678901234568"}, {frac19.c_str(), 28, 0, frac19.c_str()},
        {"1234567890123456789", 18, 0, "throw"}, {"1234567890123456789", 18, 1, "throw"}, {k28, 28, 0, k28},
        {frac29.c_str(), 28, 0, nullptr}, {frac29.c_str(), 28, 1, "9.123456789012345678901234568"},
        {"12345678901234567890123456789", 28, 1, "throw"}, {k38, 38, 0, k38}, {frac39.c_str(), 38, 0, nullptr},
        {"123456789012345678901234567890123456789", 38, 1, "throw"},
        // Not a decimal number from end to end: never a node, forced or not.
        {"", 18, 1, nullptr}, {"abc", 28, 1, nullptr}, {"1.5e3", 38, 1, nullptr}, {"12 ", 18, 1, nullptr},
    };
    for (const DecTextCase& c : cases) {
        const QvUString text = qvU(c.text);
        const std::string label = std::string(c.text) + " at " + std::to_string(c.precision);
        if (c.expected && std::string(c.expected) == "throw") {
            EXPECT_THROW(createDecOfText(c.precision, text, c.force), QvDecException) << label;
            continue;
        }
        auto node = own(createDecOfText(c.precision, text, c.force));
        if (!c.expected) {
            EXPECT_EQ(node, nullptr) << label;
            continue;
        }
        ASSERT_NE(node, nullptr) << label;
        EXPECT_EQ(node->getDataType().toInteger(), decTypeOf(c.precision)) << label;
        EXPECT_EQ(decimalText(node->getDataPtr(), decTypeOf(c.precision)), c.expected) << label;
    }
}

struct LadderCase {
    const char* text;
    int highPrecision;
    int decMax;
    int dec38rt;     // "Dec38rt" registered
    int expected;    // data type; -1 custom; 0 QvDecException
};

constexpr int kCustom = -1;
constexpr int kThrows = 0;

// Both sides of every rung: 18, 28 and 38 digits, in both precision modes,
// under both decimal maxima, with and without the custom decimal.
TEST(XNodeConstCreateTest, DecimalLadderTakesTheNarrowestExactRepresentation) {
    const std::string d19 = std::string("1") + k18;
    const std::string d29 = std::string("1") + k28;
    const std::string d39 = std::string("1") + k38;
    const std::string f29 = std::string("1.") + k28;  // 29 digits, integer part 1
    const std::string f39 = std::string("1.") + k38;
    const LadderCase cases[] = {
        {"2147483648", 0, eXDT_DEC28, 1, eXDT_FLOAT}, {k38, 0, eXDT_DEC28, 1, eXDT_FLOAT},
        {d39.c_str(), 0, eXDT_DEC18, 0, eXDT_FLOAT}, {"0.5", 0, eXDT_DEC18, 0, eXDT_FLOAT},

        {"0.5", 1, eXDT_DEC28, 0, eXDT_DEC18}, {k18, 1, eXDT_DEC28, 0, eXDT_DEC18},
        {d19.c_str(), 1, eXDT_DEC28, 0, eXDT_DEC28}, {k28, 1, eXDT_DEC28, 0, eXDT_DEC28},
        {d29.c_str(), 1, eXDT_DEC28, 1, kCustom}, {d29.c_str(), 1, eXDT_DEC28, 0, kThrows},
        {f29.c_str(), 1, eXDT_DEC28, 1, kCustom},
        {f29.c_str(), 1, eXDT_DEC28, 0, eXDT_DEC28},  // rounded to the maximum
        {k38, 1, eXDT_DEC28, 1, kCustom}, {d39.c_str(), 1, eXDT_DEC28, 1, kThrows},
        {f39.c_str(), 1, eXDT_DEC28, 1, eXDT_DEC28},

        {k18, 1, eXDT_DEC18, 0, eXDT_DEC18}, {d19.c_str(), 1, eXDT_DEC18, 1, kCustom},
        {d19.c_str(), 1, eXDT_DEC18, 0, kThrows}, {"0.1234567890123456789", 1, eXDT_DEC18, 0, eXDT_DEC18},
        {"0.1234567890123456789", 1, eXDT_DEC18, 1, kCustom}, {k28, 1, eXDT_DEC18, 1, kCustom},

        {k38, 1, eXDT_DEC38, 0, eXDT_DEC38}, {d39.c_str(), 1, eXDT_DEC38, 1, kThrows},
        {f39.c_str(), 1, eXDT_DEC38, 0, eXDT_DEC38},
    };
    for (const LadderCase& c : cases) {
        const ModeScope mode(c.highPrecision, c.decMax, 0);
        const CustomTypeScope custom(c.dec38rt);
        const std::string label = std::string(c.text) + " hp " + std::to_string(c.highPrecision) +
                                  " max " + std::to_string(c.decMax) + " custom " +
                                  std::to_string(c.dec38rt);
        const QvUString text = qvU(c.text);
        if (c.expected == kThrows) {
            EXPECT_THROW(XNodeConstBase::createConstDecimal(text, 0, 1), QvDecException) << label;
            continue;
        }
        auto node = own(XNodeConstBase::createConstDecimal(text, 0, 1));
        ASSERT_NE(node, nullptr) << label;
        const int expected = c.expected == kCustom ? custom.id() : c.expected;
        EXPECT_EQ(node->getDataType().toInteger(), expected) << label;
        EXPECT_EQ(node->isValueAvailable(), 1) << label;
    }
}

TEST(XNodeConstCreateTest, LowPrecisionDecimalIsTheDoubleOfTheText) {
    const ModeScope mode(0, eXDT_DEC28, 0);
    auto node = own(XNodeConstBase::createConstDecimal(qvU("123.25"), 0, 6));
    double out = 0;
    EXPECT_EQ(node->getDoubleValueV(out), 0);
    EXPECT_EQ(out, 123.25);
}

TEST(XNodeConstCreateTest, DecMaxInexactRoundsAtTheConfiguredMaximum) {
    const std::string f19 = std::string("1.") + k18;
    for (int max : {eXDT_DEC18, eXDT_DEC28, eXDT_DEC38}) {
        const ModeScope mode(1, max, 0);
        auto node = own(XNodeConstBase::createConstDecMaxInexact(qvU(f19), 0, 1));
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->getDataType().toInteger(), max);
    }
    const ModeScope mode(1, eXDT_DEC18, 0);
    auto node = own(XNodeConstBase::createConstDecMaxInexact(qvU(f19), 0, 1));
    EXPECT_EQ(decimalText(node->getDataPtr(), eXDT_DEC18), "1.12345678901234568");
    EXPECT_TRUE(static_cast<const QvDecimal<2>*>(node->getDataPtr())->isInexact());
}

TEST(XNodeConstCreateTest, Dec38rtNeedsTheRegisteredType) {
    {
        const CustomTypeScope none(0);
        EXPECT_EQ(XNodeConstBase::createConstDec38Fixed(qvU("1.5"), 0, 3, 0), nullptr);
    }
    const CustomTypeScope custom(1);
    ASSERT_GT(custom.id(), 0);
    const std::string d29 = std::string("-1") + k28;
    auto node = own(XNodeConstBase::createConstDec38Fixed(qvU(d29), 2, 32, 0));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(shape(*node), "CONST " + std::to_string(custom.id()) + " dummy 2-32 value");
    EXPECT_EQ(node->getMetadataConstPtr()->getZevaTypeMetadataV(),
              CustomSDKMgr::getInstance()->getZEVATypeMetadata(custom.id()));
    EXPECT_EQ(node->getMetadataConstPtr()->getTrtInfoV(),
              CustomSDKMgr::getInstance()->getTrtInfoFromDT(custom.id()));
    EXPECT_TRUE(XType(node->getDataType()).isNumeric(1));
    // A text the type cannot read gives no node.
    EXPECT_EQ(XNodeConstBase::createConstDec38Fixed(qvU(std::string("1") + k38), 0, 1, 0), nullptr);
}

TEST(XNodeConstCreateTest, CustomConstantsConvertAndNegateThroughTheHost) {
    const CustomTypeScope custom(1);
    auto node = own(XNodeConstBase::createConstDec38Fixed(qvU("-2.5"), 0, 4, 0));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(reads(*node, "ibdnd"), "i-3 b-3 d-2.5 n0 d2.5");
    auto big38 = own(XNodeConstBase::createConstDec38Fixed(qvU(k38), 0, 38, 0));
    EXPECT_EQ(reads(*big38, "b"), "bx");  // the host conversion fails
    // A null custom value refuses everything.
    *static_cast<XNodeConstCustom*>(node.get())->getIndRef() = -1;
    EXPECT_EQ(node->isValueAvailable(), 0);
    EXPECT_EQ(reads(*node, "idn"), "ix dx n-1");
}

TEST(XNodeConstCreateTest, CreateConstCustomCopiesTheValue) {
    const CustomTypeScope custom(1);
    QvDecimal<4> value;
    QvDecimalImpl<4>::convertFrom(value, -42LL);
    XMetadata md;
    md.setDataType(XType(custom.id()));
    auto node = own(XNodeConstBase::createConstCustom(&value, &md, 0, 2));
    ASSERT_NE(node, nullptr);
    QvDecimalImpl<4>::convertFrom(value, 7LL);  // the node holds its own copy
    EXPECT_EQ(answers({node->getDataType().toInteger(), node->getIntValue(), node->getDataPtr() == &value}),
              answers({custom.id(), -42, 0}));
    XMetadata unknown;
    unknown.setDataType(XType(XType::cls_lastCustomType));
    EXPECT_EQ(XNodeConstBase::createConstCustom(&value, &unknown, 0, 2), nullptr);
    EXPECT_THROW(XNodeConstBase::createConstCustom(nullptr, &md, 0, 2), QvAssertFailure);
}

TEST(XNodeConstCreateTest, BinaryCopiesBytesAndMetadata) {
    const unsigned char bytes[] = {0, 1, 0xFF};
    XMetadata md;
    md.setDataType(XType(eXDT_BINARY));
    md.setNumCharsMax(100);
    auto node = own(XNodeConstBase::createConstBinary(bytes, 3, &md, 1, 5));
    auto empty = own(XNodeConstBase::createConstBinary(nullptr, 0, nullptr, 1, 1));
    EXPECT_EQ(answers({node->getDataType().toInteger(), node->getNumCharsMax().toInteger(),
                       empty->getDataType().toInteger(), empty->getNumCharsMax().toInteger()}),
              answers({eXDT_BINARY, 3, eXDT_BINARY, 0}));
    EXPECT_EQ(as<binary_t>(node)->getDataRef(), binary_t(bytes, 3));
    EXPECT_THROW(XNodeConstBase::createConstBinary(bytes, -1, &md, 0, 1), QvAssertFailure);
}

struct StringCase {
    const char* utf8;
    int ascii;   // server mode
    int holds;   // 0: XInvalidConstStrException
};

TEST(XNodeConstCreateTest, StringRuleFollowsTheServerMode) {
    const StringCase cases[] = {
        {"abc", 0, 1}, {"", 0, 1}, {"\xC3\xA9t\xC4\x80", 0, 1}, {"\xF0\x9F\x98\x80", 0, 1}, {"abc", 1, 1}, {"", 1, 1},
        {"a\xC4\x80", 1, 0},  // U+0100, above 0xFF
        {"\xE2\x82\xAC", 1, 0},  // U+20AC
        {"\xF0\x9F\x98\x80", 1, 0},  // outside the BMP
        {"caf\xC3\xA9", 1, 0},  // U+00E9 is two bytes in the host's 8-bit form
    };
    for (const StringCase& c : cases) {
        const ModeScope mode(1, eXDT_DEC28, c.ascii);
        const QvUString text = qvU(c.utf8);
        const std::string label = std::string(c.utf8) + (c.ascii ? " 8-bit" : " Unicode");
        if (!c.holds) {
            EXPECT_THROW(XNodeConstBase::createConstString(text, 0, 1), XInvalidConstStrException) << label;
            continue;
        }
        auto node = own(XNodeConstBase::createConstString(text, 0, 1));
        const int n = static_cast<int>(text.length());
        EXPECT_EQ(answers({node->getDataType().toInteger(), node->getNumCharsMax().toInteger(),
                           node->getScale().toInteger()}),
                  answers({c.ascii ? eXDT_STRING : eXDT_UNISTRING, n, eXMINT_DUMMY}))
            << label;
        if (c.ascii) {
            const QvtStr<char>& held = as<QvtStr<char>>(node)->getDataRef();
            EXPECT_EQ(held.getLength(), n) << label;
            EXPECT_EQ(std::string(held.getBuffer()), c.utf8) << label;
        } else {
            const QvtStr<unsigned short>& held = as<QvtStr<unsigned short>>(node)->getDataRef();
            EXPECT_EQ(held.getLength(), n) << label;
            EXPECT_EQ(QvUString(held.getBuffer(), static_cast<size_t>(n)).compare(text), 0) << label;
        }
    }
}

// The creators keep a string's text in the node's own block; the value
// handed out must still be a complete, independent string.
TEST(XNodeConstCreateTest, StringTextOutlivesItsNodeOnlyInCopies) {
    const ModeScope mode(1, eXDT_DEC28, 0);
    const QvUString text = qvU("O'Brien & Sons");
    auto node = own(XNodeConstBase::createConstString(text, 0, 1));
    const QvtStr<unsigned short>& held = as<QvtStr<unsigned short>>(node)->getDataRef();
    EXPECT_EQ(held.getBuffer()[held.getLength()], 0);  // terminated in place
    QvtStr<unsigned short> copy = held;
    EXPECT_NE(copy.getBuffer(), held.getBuffer());
    QvtStr<unsigned short> moved = std::move(asMutable<QvtStr<unsigned short>>(node)->getDataRef());
    node.reset();
    for (const QvtStr<unsigned short>* value : {&copy, &moved}) {
        const QvUString read(value->getBuffer(), static_cast<size_t>(value->getLength()));
        EXPECT_EQ(read.compare(text), 0);
    }
}

TEST(XNodeConstCreateTest, AssigningANewStringValueReplacesTheViewedText) {
    const ModeScope mode(1, eXDT_DEC28, 1);
    auto node = own(XNodeConstBase::createConstString(qvU("abc"), 0, 1));
    QvtStr<char>& held = asMutable<QvtStr<char>>(node)->getDataRef();
    held = str8("longer text");
    EXPECT_STREQ(held.getBuffer(), "longer text");
    QvtStr<char> taken = std::move(held);
    EXPECT_EQ(held.getLength(), 0);
    EXPECT_STREQ(taken.getBuffer(), "longer text");
}

// Texts of every size, up to one too big to share a slab with other nodes.
TEST(XNodeConstCreateTest, StringsOfAnyLengthKeepTheirText) {
    const ModeScope mode(1, eXDT_DEC28, 0);
    std::vector<std::unique_ptr<XNodeConstBase>> nodes;
    std::vector<std::string> texts;
    for (size_t length : {0, 1, 7, 8, 9, 4000, 8191, 8192, 20000}) {
        texts.push_back(std::string(length, static_cast<char>('a' + length % 26)));
        nodes.push_back(own(XNodeConstBase::createConstString(qvU(texts.back().c_str()), 0, 1)));
    }
    for (size_t i = 0; i < nodes.size(); ++i) {
        const QvtStr<unsigned short>& held = as<QvtStr<unsigned short>>(nodes[i])->getDataRef();
        ASSERT_EQ(held.getLength(), static_cast<int>(texts[i].size()));
        EXPECT_EQ(QvUString(held.getBuffer(), texts[i].size()).toUtf8(), texts[i]);
        EXPECT_EQ(nodes[i]->getNumCharsMax().toInteger(), static_cast<int>(texts[i].size()));
    }
}

// Decimals hold 128-bit integers: their nodes must be aligned for them
// whatever was carved before them.
TEST(XNodeConstCreateTest, DecimalValuesAreAlignedForTheirIntegers) {
    const ModeScope mode(1, eXDT_DEC38, 0);
    std::vector<std::unique_ptr<XNodeConstBase>> nodes;
    for (int i = 0; i < 50; ++i) {
        nodes.push_back(own(XNodeConstBase::createConstInt(i, 0, 1)));
        const std::string text(static_cast<size_t>(i % 5), 'x');
        nodes.push_back(own(XNodeConstBase::createConstString(qvU(text.c_str()), 0, 1)));
        nodes.push_back(own(XNodeConstBase::createConstDec38(QvDecimal<4>(), 0, 1)));
        const auto address = reinterpret_cast<uintptr_t>(nodes.back()->getDataPtr());
        ASSERT_EQ(address % alignof(QvDecimal<4>), 0u) << i;
    }
}

TEST(XNodeConstCreateTest, StringConstantReadsAsANumber) {
    const ModeScope mode(1, eXDT_DEC28, 1);
    EXPECT_EQ(reads(*own(XNodeConstBase::createConstString(qvU("12  "), 0, 6)), "dn"), "d12 n-1");
}

TEST(XNodeConstCreateTest, NegationOfTheLargestDecimals) {
    const std::string nines38(38, '9');
    auto d38 = own(XNodeConstBase::createConstDec38(qvU(nines38), 0, 38, 0));
    ASSERT_NE(d38, nullptr);
    EXPECT_EQ(d38->negateNumericValue(), 0);
    EXPECT_EQ(decimalText(d38->getDataPtr(), eXDT_DEC38), "-" + nines38);
    EXPECT_EQ(d38->negateNumericValue(), 0);
    EXPECT_EQ(decimalText(d38->getDataPtr(), eXDT_DEC38), nines38);
    const std::string nines18(18, '9');
    auto d18 = own(XNodeConstBase::createConstDec18(qvU("-" + nines18), 0, 19, 0));
    EXPECT_EQ(d18->negateNumericValue(), 0);
    EXPECT_EQ(decimalText(d18->getDataPtr(), eXDT_DEC18), nines18);
}

}  // namespace
