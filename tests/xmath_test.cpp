// Math helpers: results of the C library on good input, XErrorEvalError
// (the math error message, eval code 21010) on domain and range errors.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <limits>
#include <tuple>

#include "qvcmnexpr/xmath.h"
#include "qvutils.h"
#include "xanswers.h"

namespace {

using xtestsupport::answers;

constexpr int kMathError = eQvMSG_MATH_ERROR;

// Calls `fn`, expecting the math error (or `thrown`) with the catalogue's text.
template <class F> void expectEvalError(F&& fn, const std::string& what, int thrown = kMathError) {
    try {
        fn();
        ADD_FAILURE() << what << " did not throw";
    } catch (const XErrorEvalError& e) {  // any other error fails the test as it leaves
        EXPECT_TRUE(e.getMsgId() == thrown && e.getEvalCode() == 21010 && e.getMsg() == qvGetMsg(thrown)) << what;
    }
}

// A NaN result marks the error expected.
TEST(XMathTest, CheckedFunctionsRaiseTheMathErrorWhenErrnoIsSet) {
    const double kFails = std::numeric_limits<double>::quiet_NaN();
    const std::tuple<const char*, double (*)(), double> cases[] = {
        {"sqrt 4", [] { return XMath::sqrt(4); }, 2},
        {"sqrt -1", [] { return XMath::sqrt(-1); }, kFails},
        {"log e", [] { return XMath::log(std::exp(1.0)); }, 1},
        {"log 0", [] { return XMath::log(0); }, kFails},
        {"exp 0", [] { return XMath::exp(0); }, 1},
        {"exp 710", [] { return XMath::exp(710); }, kFails},
        {"cosh 711", [] { return XMath::cosh(711); }, kFails},
        {"cosh 1", [] { return XMath::cosh(1); }, std::cosh(1.0)},
        {"sinh -711", [] { return XMath::sinh(-711); }, kFails},
        {"sinh 1", [] { return XMath::sinh(1); }, std::sinh(1.0)},
        {"tanh 1000", [] { return XMath::tanh(1000); }, 1},
        {"pow 2 10", [] { return XMath::pow(2, 10); }, 1024},
        {"pow 0 -1", [] { return XMath::pow(0, -1); }, kFails},
        {"fmod 7 3", [] { return XMath::fmod(7, 3); }, 1},
        {"fmod 7 0", [] { return XMath::fmod(7, 0); }, kFails},
    };
    for (const auto& [name, fn, expected] : cases)
        if (std::isnan(expected)) expectEvalError(fn, name);
        else EXPECT_DOUBLE_EQ(fn(), expected) << name;
}

TEST(XMathTest, UncheckedFunctionsAndAStaleErrno) {
    errno = ERANGE;
    EXPECT_EQ(XMath::sqrt(9), 3);
    errno = EDOM;
    EXPECT_EQ(answers({XMath::pow(3, 2), XMath::ceil(-1.5), XMath::floor(-1.5), XMath::cos(0), XMath::sin(0)}),
              "9 -1 -2 1 0");
    EXPECT_DOUBLE_EQ(XMath::tan(1), std::tan(1.0));
}

// The given message, or the math error for -1.
TEST(XMathTest, HandleErrorThrowsTheGivenMessageOrTheMathError) {
    expectEvalError([] { XMath::handleError(eQvMSG_VALUE_OUT_OF_RANGE); }, "given", eQvMSG_VALUE_OUT_OF_RANGE);
    expectEvalError([] { XMath::handleError(-1); }, "-1");
}

}  // namespace
