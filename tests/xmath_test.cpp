// Math helpers: results of the C library on good input, XErrorEvalError
// (message 19017, code 21010) on domain and range errors.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <limits>

#include "qvcmnexpr/xmath.h"
#include "qvutils.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct MathCase {
    const char* name;
    double (*fn)(double, double);
    double x;
    double y;
    int fails;
    double expected;  // when it does not fail
};

// One-argument helpers take the case's x only.
const MathCase kCases[] = {
    {"sqrt 4", [](double x, double) { return XMath::sqrt(x); }, 4, 0, 0, 2},
    {"sqrt 0", [](double x, double) { return XMath::sqrt(x); }, 0, 0, 0, 0},
    {"sqrt -1", [](double x, double) { return XMath::sqrt(x); }, -1, 0, 1, 0},
    {"log e", [](double x, double) { return XMath::log(x); }, std::exp(1.0), 0, 0, 1},
    {"log 0", [](double x, double) { return XMath::log(x); }, 0, 0, 1, 0},
    {"log -1", [](double x, double) { return XMath::log(x); }, -1, 0, 1, 0},
    {"exp 0", [](double x, double) { return XMath::exp(x); }, 0, 0, 0, 1},
    {"exp 709", [](double x, double) { return XMath::exp(x); }, 709, 0, 0, std::exp(709.0)},
    {"exp 710", [](double x, double) { return XMath::exp(x); }, 710, 0, 1, 0},
    {"cosh 711", [](double x, double) { return XMath::cosh(x); }, 711, 0, 1, 0},
    {"cosh 1", [](double x, double) { return XMath::cosh(x); }, 1, 0, 0, std::cosh(1.0)},
    {"sinh -711", [](double x, double) { return XMath::sinh(x); }, -711, 0, 1, 0},
    {"sinh 1", [](double x, double) { return XMath::sinh(x); }, 1, 0, 0, std::sinh(1.0)},
    {"tanh 1000", [](double x, double) { return XMath::tanh(x); }, 1000, 0, 0, 1},
    {"pow 2 10", XMath::pow, 2, 10, 0, 1024},
    {"pow 0 -1", XMath::pow, 0, -1, 1, 0},
    {"pow -8 1/3", XMath::pow, -8, 1.0 / 3, 1, 0},
    {"pow 10 400", XMath::pow, 10, 400, 1, 0},
    {"fmod 7 3", XMath::fmod, 7, 3, 0, 1},
    {"fmod 7 0", XMath::fmod, 7, 0, 1, 0},
    {"fmod inf 1", XMath::fmod, kInf, 1, 1, 0},
};

TEST(XMathTest, CheckedFunctionsRaiseTheMathErrorWhenErrnoIsSet) {
    for (const MathCase& c : kCases) {
        if (!c.fails) {
            EXPECT_DOUBLE_EQ(c.fn(c.x, c.y), c.expected) << c.name;
            continue;
        }
        try {
            c.fn(c.x, c.y);
            ADD_FAILURE() << c.name << " did not throw";
        } catch (const XErrorEvalError& e) {
            EXPECT_EQ(e.getMsgId(), 19017) << c.name;
            EXPECT_EQ(e.getEvalCode(), 21010) << c.name;
            EXPECT_EQ(e.getMsg().compare(qvGetMsg(19017)), 0) << c.name;
        }
    }
}

TEST(XMathTest, AStaleErrnoDoesNotFailAGoodCall) {
    errno = ERANGE;
    EXPECT_EQ(XMath::sqrt(9), 3);
    errno = EDOM;
    EXPECT_EQ(XMath::pow(3, 2), 9);
}

TEST(XMathTest, UncheckedFunctionsReturnTheLibraryResult) {
    EXPECT_EQ(XMath::ceil(-1.5), -1);
    EXPECT_EQ(XMath::floor(-1.5), -2);
    EXPECT_DOUBLE_EQ(XMath::cos(0), 1);
    EXPECT_DOUBLE_EQ(XMath::sin(0), 0);
    EXPECT_DOUBLE_EQ(XMath::tan(1), std::tan(1.0));
    EXPECT_TRUE(std::isnan(XMath::cos(kNaN)));
}

// The given message, or the math error for -1, with the catalogue's text.
TEST(XMathTest, HandleErrorThrowsTheGivenMessageOrTheMathError) {
    for (const auto& [given, thrown] : {std::pair{19115, 19115}, std::pair{-1, 19017}}) {
        try {
            XMath::handleError(given);
            ADD_FAILURE() << given;
        } catch (const XError& error) {
            const auto* e = dynamic_cast<const XErrorEvalError*>(&error);
            ASSERT_NE(e, nullptr) << given;
            const XErrorEvalError copy = *e;
            EXPECT_EQ(copy.getMsgId(), thrown);
            EXPECT_EQ(copy.getEvalCode(), 21010);
            EXPECT_EQ(copy.getMsg().compare(qvGetMsg(thrown)), 0);
        }
    }
}

}  // namespace
