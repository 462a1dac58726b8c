// Assertion handler of the host layer.
#include "qvcmnasrt.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

void defaultAssertHandler(const char* sourceUnit, int line) {
    std::fprintf(stderr, "qvcmnexpr: internal invariant failed in %s, line %d\n",
                 sourceUnit ? sourceUnit : "?", line);
    std::fflush(stderr);
    std::abort();
}

std::atomic<QvAssertHandlerFn> g_handler{&defaultAssertHandler};

} // namespace

void QvAssertHandler(const char* sourceUnit, int line) {
    g_handler.load()(sourceUnit, line);
}

QvAssertHandlerFn qvSetAssertHandler(QvAssertHandlerFn fn) {
    return g_handler.exchange(fn ? fn : &defaultAssertHandler);
}

QvAssertFailure::QvAssertFailure(const char* sourceUnit, int line)
    : m_unit(sourceUnit ? sourceUnit : "?"), m_line(line),
      m_what("assertion failed in " + m_unit + " line " + std::to_string(line)) {}

void qvThrowingAssertHandler(const char* sourceUnit, int line) {
    throw QvAssertFailure(sourceUnit, line);
}
