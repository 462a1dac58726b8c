// Helpers that tests of every area share: checking that an operation fails
// a given invariant, and scoping the process-wide server character mode.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "qvcmnasrt.h"
#include "qvutils.h"

namespace xtestsupport {

// Runs `f` and checks that it fails an invariant of `unit` (at `line`, when
// one is given) rather than returning.
template <class F>
void expectInvariant(const char* unit, F&& f, int line = -1) {
    try {
        f();
        ADD_FAILURE() << "no invariant failure in " << unit;
    } catch (const QvAssertFailure& failure) {
        EXPECT_EQ(failure.sourceUnit(), std::string(unit));
        if (line >= 0) {
            EXPECT_EQ(failure.line(), line);
        }
    }
}

// Sets the server's character mode for a scope and restores the old one.
class ServerMode {
public:
    explicit ServerMode(int ascii) : m_previous(qvSetServerModeASCII(ascii)) {}
    ~ServerMode() { qvSetServerModeASCII(m_previous); }
    ServerMode(const ServerMode&) = delete;
    ServerMode& operator=(const ServerMode&) = delete;

private:
    int m_previous;
};

}  // namespace xtestsupport
