// Math helpers: results of the C library on good input, XErrorEvalError
// (the math error message, eval code 21010) on domain and range errors.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <limits>

#include "qvcmnexpr/xmath.h"
#include "qvutils.h"
#include "xanswers.h"

namespace {

using xtestsupport::answers;

constexpr int kMathError = eQvMSG_MATH_ERROR;

double sqrt1(double x, double) { return XMath::sqrt(x); }
double log1(double x, double) { return XMath::log(x); }
double exp1(double x, double) { return XMath::exp(x); }
double cosh1(double x, double) { return XMath::cosh(x); }
double sinh1(double x, double) { return XMath::sinh(x); }
double tanh1(double x, double) { return XMath::tanh(x); }

// Calls `fn`, expecting the math error (or `thrown`) with the catalogue's text.
template <class F>
void expectEvalError(F&& fn, const std::string& what, int thrown = kMathError) {
    try {
        fn();
        ADD_FAILURE() << what << " did not throw";
    } catch (const XError& error) {
        const auto* e = dynamic_cast<const XErrorEvalError*>(&error);
        ASSERT_NE(e, nullptr) << what;
        EXPECT_TRUE(e->getMsgId() == thrown && e->getEvalCode() == 21010 && e->getMsg() == qvGetMsg(thrown)) << what;
    }
}

// One-argument helpers take x only; a NaN result marks the error expected.
TEST(XMathTest, CheckedFunctionsRaiseTheMathErrorWhenErrnoIsSet) {
    const double kFails = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* name;
        double (*fn)(double, double);
        double x, y, expected;
    } cases[] = {
        {"sqrt 4", sqrt1, 4, 0, 2},
        {"sqrt -1", sqrt1, -1, 0, kFails},
        {"log e", log1, std::exp(1.0), 0, 1},
        {"log 0", log1, 0, 0, kFails},
        {"exp 0", exp1, 0, 0, 1},
        {"exp 710", exp1, 710, 0, kFails},
        {"cosh 711", cosh1, 711, 0, kFails},
        {"cosh 1", cosh1, 1, 0, std::cosh(1.0)},
        {"sinh -711", sinh1, -711, 0, kFails},
        {"sinh 1", sinh1, 1, 0, std::sinh(1.0)},
        {"tanh 1000", tanh1, 1000, 0, 1},
        {"pow 2 10", XMath::pow, 2, 10, 1024},
        {"pow 0 -1", XMath::pow, 0, -1, kFails},
        {"fmod 7 3", XMath::fmod, 7, 3, 1},
        {"fmod 7 0", XMath::fmod, 7, 0, kFails},
    };
    for (const auto& c : cases) {
        if (std::isnan(c.expected)) {
            expectEvalError([&] { c.fn(c.x, c.y); }, c.name);
        } else {
            EXPECT_DOUBLE_EQ(c.fn(c.x, c.y), c.expected) << c.name;
        }
    }
}

TEST(XMathTest, UncheckedFunctionsAndAStaleErrno) {
    errno = ERANGE;
    EXPECT_EQ(XMath::sqrt(9), 3);
    errno = EDOM;
    EXPECT_EQ(answers({XMath::pow(3, 2), XMath::ceil(-1.5), XMath::floor(-1.5), XMath::cos(0), XMath::sin(0)}),
              "9 -1 -2 1 0");
    EXPECT_DOUBLE_EQ(XMath::tan(1), std::tan(1.0));
    EXPECT_TRUE(std::isnan(XMath::cos(std::numeric_limits<double>::quiet_NaN())));
}

// The given message, or the math error for -1.
TEST(XMathTest, HandleErrorThrowsTheGivenMessageOrTheMathError) {
    expectEvalError([] { XMath::handleError(eQvMSG_VALUE_OUT_OF_RANGE); }, "given", eQvMSG_VALUE_OUT_OF_RANGE);
    expectEvalError([] { XMath::handleError(-1); }, "-1");
}

}  // namespace
