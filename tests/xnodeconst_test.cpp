// Constant nodes: reading a value as int, long long and double, and negating
// it, for every value type; null values refuse everything.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>

#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnodeconst.h"

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

template <class T>
std::unique_ptr<XNodeConst<T>> constant(T value) {
    return XNodeConstTestAccess::make<T>(std::move(value));
}

template <class T>
std::unique_ptr<XNodeConst<T>> nullConstant(T value) {
    auto node = constant<T>(std::move(value));
    node->getIndRef() = -1;
    return node;
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

TEST(XNodeConstTest, IsAConstantLeafExposingValueAndIndicator) {
    auto node = constant(42);
    EXPECT_EQ(node->getId(), eXNI_CONST);
    EXPECT_EQ(node->getChildrenV(), nullptr);
    ASSERT_NE(node->getDataPtr(), nullptr);
    EXPECT_EQ(*static_cast<const int*>(node->getDataPtr()), 42);
    EXPECT_EQ(*node->getIndPtr(), 0);
    EXPECT_EQ(node->isValueAvailable(), 1);
    node->getIndRef() = -1;
    EXPECT_EQ(node->isValueAvailable(), 0);
}

struct DoubleToIntCase {
    double value;
    int status;
    int expected;
};

TEST(XNodeConstTest, DoubleToIntRoundsHalfAwayFromZeroWithinRange) {
    const DoubleToIntCase cases[] = {
        {2.5, 0, 3},
        {-2.5, 0, -3},
        {2.4, 0, 2},
        {2147483647.4, 0, 2147483647},
        {2147483647.0, 0, 2147483647},
        {-2147483648.0, 0, INT_MIN},
        {-2147483648.4, 0, INT_MIN},
        {2147483647.5, -1, 0},
        {2147483648.0, -1, 0},
        {-2147483648.5, -1, 0},
        {__builtin_nan(""), -1, 0},
    };
    for (const DoubleToIntCase& c : cases) {
        int out = 0;
        EXPECT_EQ(constant(c.value)->getIntValueV(out), c.status) << c.value;
        EXPECT_EQ(out, c.expected) << c.value;
    }
}

TEST(XNodeConstTest, BigIntToIntChecksTheRange) {
    int out = 7;
    EXPECT_EQ(constant(2147483648LL)->getIntValueV(out), -1);
    EXPECT_EQ(out, 7);
    EXPECT_EQ(constant(-2147483648LL)->getIntValueV(out), 0);
    EXPECT_EQ(out, INT_MIN);
    EXPECT_EQ(constant(-2147483649LL)->getIntValueV(out), -1);
}

TEST(XNodeConstTest, BigIntAndDoubleOfEveryNumber) {
    long long big = 0;
    EXPECT_EQ(constant(-5)->getBigIntValueV(big), 0);
    EXPECT_EQ(big, -5);
    EXPECT_EQ(constant(LLONG_MAX)->getBigIntValueV(big), 0);
    EXPECT_EQ(big, LLONG_MAX);
    EXPECT_EQ(constant(-2.5)->getBigIntValueV(big), 0);
    EXPECT_EQ(big, -3);
    EXPECT_EQ(constant(1e30)->getBigIntValueV(big), -1);
    EXPECT_EQ(constant(dec28(123456789012LL))->getBigIntValueV(big), 0);
    EXPECT_EQ(big, 123456789012LL);

    double d = 0;
    EXPECT_EQ(constant(3)->getDoubleValueV(d), 0);
    EXPECT_EQ(d, 3.0);
    EXPECT_EQ(constant(1LL << 40)->getDoubleValueV(d), 0);
    EXPECT_EQ(d, 1099511627776.0);
    EXPECT_EQ(constant(dec28(42, 1))->getDoubleValueV(d), 0);
    EXPECT_EQ(d, -42.0);
    EXPECT_EQ(constant(QvDate())->getDoubleValueV(d), 0);
    EXPECT_EQ(d, 0.0);

    int i = 0;
    EXPECT_EQ(constant(dec28(-17))->getIntValueV(i), 0);
    EXPECT_EQ(i, -17);
}

TEST(XNodeConstTest, StringsDatesAndBinaryDoNotConvertToIntegers) {
    int i = 9;
    long long big = 9;
    double d = 9;
    EXPECT_EQ(constant(str8("12"))->getIntValueV(i), -1);
    EXPECT_EQ(constant(str16("12"))->getBigIntValueV(big), -1);
    EXPECT_EQ(constant(QvDate())->getIntValueV(i), -1);
    EXPECT_EQ(constant(binary_t("ab", 2))->getBigIntValueV(big), -1);
    EXPECT_EQ(constant(binary_t("ab", 2))->getDoubleValueV(d), -1);
    EXPECT_EQ(i, 9);
    EXPECT_EQ(big, 9);
    EXPECT_EQ(d, 9);
}

struct NumericTextCase {
    const char* text;
    int numeric;
    double value;
};

TEST(XNodeConstTest, StringReadsAsDoubleOnlyWhenNumeric) {
    const int previous = QvUtilGlobal::set8xConvertStrToNum(0);
    const NumericTextCase cases[] = {
        {"12  ", 1, 12.0}, {"  -1.5", 1, -1.5}, {"+.5", 1, 0.5},  {"1e3", 1, 1000.0},
        {"12a", 0, 0},     {"", 0, 0},         {"-", 0, 0},      {"1e", 0, 0},
        {"1 2", 0, 0},     {".", 0, 0},
    };
    for (const NumericTextCase& c : cases) {
        for (int wide = 0; wide < 2; ++wide) {
            double out = 0;
            auto read = [&] {
                return wide ? constant(str16(c.text))->getDoubleValueV(out)
                            : constant(str8(c.text))->getDoubleValueV(out);
            };
            if (c.numeric) {
                EXPECT_EQ(read(), 0) << c.text;
                EXPECT_EQ(out, c.value) << c.text;
            } else {
                EXPECT_THROW(read(), int) << c.text;
                try {
                    read();
                } catch (int id) {
                    EXPECT_EQ(id, 20050);
                }
            }
        }
    }
    QvUtilGlobal::set8xConvertStrToNum(1);
    double out = 0;
    EXPECT_EQ(constant(str8("12a"))->getDoubleValueV(out), 0);
    EXPECT_EQ(out, 12.0);
    QvUtilGlobal::set8xConvertStrToNum(previous);
}

TEST(XNodeConstTest, NegationOfNumbers) {
    auto i = constant(5);
    EXPECT_EQ(i->negateNumericValue(), 0);
    EXPECT_EQ(i->getDataRef(), -5);
    auto min = constant(INT_MIN);
    EXPECT_EQ(min->negateNumericValue(), 0);
    EXPECT_EQ(min->getDataRef(), INT_MIN);  // two's complement wraps
    auto big = constant(LLONG_MIN);
    EXPECT_EQ(big->negateNumericValue(), 0);
    EXPECT_EQ(big->getDataRef(), LLONG_MIN);
    auto d = constant(0.25);
    EXPECT_EQ(d->negateNumericValue(), 0);
    EXPECT_EQ(d->getDataRef(), -0.25);
    auto dec = constant(dec28(8));
    EXPECT_EQ(dec->negateNumericValue(), 0);
    EXPECT_TRUE(dec->getDataRef().isNegative());
}

TEST(XNodeConstTest, NegationLeavesOtherValuesAlone) {
    auto s = constant(str8("12"));
    EXPECT_EQ(s->negateNumericValue(), -1);
    EXPECT_STREQ(s->getDataRef().getBuffer(), "12");
    EXPECT_EQ(constant(QvDate())->negateNumericValue(), -1);
    EXPECT_EQ(constant(binary_t("x", 1))->negateNumericValue(), -1);
}

TEST(XNodeConstTest, NullValueRefusesEverything) {
    int i = 1;
    long long big = 1;
    double d = 1;
    auto n = nullConstant(5);
    EXPECT_EQ(n->getIntValueV(i), -1);
    EXPECT_EQ(n->getBigIntValueV(big), -1);
    EXPECT_EQ(n->getDoubleValueV(d), -1);
    EXPECT_EQ(n->negateNumericValue(), -1);
    EXPECT_EQ(n->getDataRef(), 5);
    EXPECT_EQ(nullConstant(str8("abc"))->getDoubleValueV(d), -1);  // no throw for null
    EXPECT_EQ(nullConstant(2.5)->negateNumericValue(), -1);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(big, 1);
    EXPECT_EQ(d, 1);
}

TEST(XNodeConstTest, StringValueIsADeepCopy) {
    char text[] = "abc";
    QvtStr<char> held(text, 3);
    text[0] = 'x';
    QvtStr<char> copy = held;
    EXPECT_STREQ(held.getBuffer(), "abc");
    EXPECT_NE(copy.getBuffer(), held.getBuffer());
    EXPECT_EQ(copy.getLength(), 3);
    QvtStr<unsigned short> empty;
    EXPECT_EQ(empty.getLength(), 0);
    EXPECT_EQ(empty.getBuffer()[0], 0);
}

}  // namespace
