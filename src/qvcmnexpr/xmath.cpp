// Math helpers for evaluators: the C library's functions with its errno
// reports of domain and range errors turned into XErrorEvalError.
#include "qvcmnexpr/xmath.h"

#include <cerrno>
#include <cmath>

#include "qvutils.h"

namespace {

// Runs `compute` with errno cleared and raises the math error when the C
// library reported one through it.
template <class Compute>
double checked(Compute compute) {
    errno = 0;
    const double result = compute();
    if (errno != 0) XMath::handleError(-1);
    return result;
}

}  // namespace

XError::~XError() = default;

XErrorEvalError::XErrorEvalError(int msgId, int evalCode)
    : m_msgId(msgId), m_evalCode(evalCode), m_msg(qvGetMsg(msgId)) {}

double XMath::ceil(double x) { return std::ceil(x); }
double XMath::floor(double x) { return std::floor(x); }
double XMath::cos(double x) { return std::cos(x); }
double XMath::sin(double x) { return std::sin(x); }
double XMath::tan(double x) { return std::tan(x); }

double XMath::cosh(double x) {
    return checked([x] { return std::cosh(x); });
}
double XMath::exp(double x) {
    return checked([x] { return std::exp(x); });
}
double XMath::fmod(double x, double y) {
    return checked([x, y] { return std::fmod(x, y); });
}
double XMath::log(double x) {
    return checked([x] { return std::log(x); });
}
double XMath::pow(double x, double y) {
    return checked([x, y] { return std::pow(x, y); });
}
double XMath::sinh(double x) {
    return checked([x] { return std::sinh(x); });
}
double XMath::sqrt(double x) {
    return checked([x] { return std::sqrt(x); });
}
double XMath::tanh(double x) {
    return checked([x] { return std::tanh(x); });
}

void XMath::handleError(int id) {
    throw XErrorEvalError(id == -1 ? eQvMSG_MATH_ERROR : id,
                          XErrorEvalError::cls_evalCode);
}
