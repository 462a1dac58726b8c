// Assertion library of the host: the handler called when an internal
// invariant fails.
//
// Library code calls QvAssertHandler("xnode", __LINE__) (or QV_ASSERT) where a
// null that may not be null, a negative position or a failed allocation is
// found. The default handler prints the source unit and line to stderr and
// aborts. An embedding application may install its own; tests install one
// that throws QvAssertFailure so that invariants can be checked without
// killing the test process. Code after a failed invariant is not relied on.
#pragma once

#include <exception>
#include <string>

#include "qvhost_export.h"

// Reports a failed internal invariant in `sourceUnit` at `line`.
QVHOST_API void QvAssertHandler(const char* sourceUnit, int line);

using QvAssertHandlerFn = void (*)(const char* sourceUnit, int line);

// Installs `fn` as the handler (null restores the default) and returns the
// handler that was installed before.
QVHOST_API QvAssertHandlerFn qvSetAssertHandler(QvAssertHandlerFn fn);

// What the throwing handler of qvThrowingAssertHandler raises.
class QVHOST_API QvAssertFailure : public std::exception {
public:
    QvAssertFailure(const char* sourceUnit, int line);
    const char* what() const noexcept override { return m_what.c_str(); }
    const std::string& sourceUnit() const { return m_unit; }
    int line() const { return m_line; }

private:
    std::string m_unit;
    int m_line;
    std::string m_what;
};

// A ready-made handler that throws QvAssertFailure (for tests).
QVHOST_API void qvThrowingAssertHandler(const char* sourceUnit, int line);

#define QV_ASSERT(cond, unit)                                                  \
    do {                                                                       \
        if (!(cond)) QvAssertHandler((unit), __LINE__);                        \
    } while (0)
