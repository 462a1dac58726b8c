// Entry point of every test executable: invariants throw instead of abort,
// so a test can check that an operation reports a broken invariant.
#include <gtest/gtest.h>

#include "qvcmnasrt.h"

int main(int argc, char** argv) {
    qvSetAssertHandler(&qvThrowingAssertHandler);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
