// Math helpers and the evaluation error for callers that evaluate
// expressions. The C library reports domain and range errors only through
// errno, which an evaluator would otherwise have to remember to check after
// every call; these wrappers turn them into an XErrorEvalError instead.
#pragma once

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvi18n.h"

// Base of the errors raised while evaluating constants.
class QVCMNEXPR_API XError {
public:
    XError() = default;
    XError(const XError&) = default;
    XError& operator=(const XError&) = default;
    virtual ~XError();
};

// An evaluation failure: the catalogue text of message `msgId` and the
// evaluator's error code (21010 for everything the library raises).
class QVCMNEXPR_API XErrorEvalError : public XError {
public:
    static constexpr int cls_evalCode = 21010;

    XErrorEvalError(int msgId, int evalCode);

    int getMsgId() const { return m_msgId; }
    int getEvalCode() const { return m_evalCode; }
    const QvUString& getMsg() const { return m_msg; }

private:
    int m_msgId;
    int m_evalCode;
    QvUString m_msg;
};

class QVCMNEXPR_API XMath {
public:
    // These cannot fail on finite input; they return the C library's result.
    static double ceil(double x);
    static double floor(double x);
    static double cos(double x);
    static double sin(double x);
    static double tan(double x);

    // These throw XErrorEvalError(eQvMSG_MATH_ERROR, 21010) when the C library reports a
    // domain or range error (errno set), e.g. sqrt(-1), log(0), exp(1000).
    static double cosh(double x);
    static double exp(double x);
    static double fmod(double x, double y);
    static double log(double x);
    static double pow(double x, double y);
    static double sinh(double x);
    static double sqrt(double x);
    static double tanh(double x);

    // Throws XErrorEvalError(id, 21010); id -1 stands for eQvMSG_MATH_ERROR.
    [[noreturn]] static void handleError(int id);
};
