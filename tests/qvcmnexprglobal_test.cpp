// Library settings per process and per thread.
//
// The process object is shared by every test in this executable, so each test
// restores it afterwards. The multiple-DTM mode can be fixed only once per
// process; scenarios that fix it run in a child process (a death-test fork)
// whose exit code says whether every check held.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "qvcmnexpr/qvcmnexprglobal.h"
#include "qvcmnexpr/xdbg.h"
#include "xrecordtext.h"

namespace {

using xtestsupport::answers;
using G = QvCmnExprGlobal;

class QvCmnExprGlobalTest : public testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); m_saved = *G::getQvCmnExprGlobal(); }
    void TearDown() override { *G::getQvCmnExprGlobal() = m_saved; }
    static G* process() { return G::getQvCmnExprGlobal(); }
    G m_saved{G::kModePerThread};
};

// Runs `check` on a new thread and returns its result.
template <class F> auto onThread(F check) {
    decltype(check()) result{};
    std::thread([&] { result = check(); }).join();
    return result;
}

// Ends a death-test child: 0 when `ok`, 1 otherwise.
[[noreturn]] void finish(bool ok) { std::exit(ok ? 0 : 1); }

// Until set, the process object reads high precision as on and carries the
// application's printer; set refuses the other value, change overrides.
TEST_F(QvCmnExprGlobalTest, SetRefusesTheOtherValueAndChangeOverrides) {
    ASSERT_NE(G::getDbgPrinter(), nullptr);
    EXPECT_EQ(answers({G::isMultipleDTMSupported(), G::getIsHighPrecisionMode(), process()->isMeProcessGlobal(),
                       G::getDbgPrinter()->isUsedByApplication()}), "0 1 1 1");
    // Each call's answer (1: the process object, 0: refused) and the mode it leaves; the same value is accepted again.
    EXPECT_EQ(answers({G::setIsHighPrecisionMode(0) == process(), G::getIsHighPrecisionMode(),
                       G::setIsHighPrecisionMode(1) == process(), G::getIsHighPrecisionMode(),
                       G::setIsHighPrecisionMode(0) == process(), G::changeHighPrecisionMode(1) == process(),
                       G::getIsHighPrecisionMode(),
                       G::setIsHighPrecisionMode(0) == nullptr}), "1 0 0 0 1 1 1 1");
}

TEST_F(QvCmnExprGlobalTest, AnyValueOtherThanOneMeansOff) {
    for (int off : {0, -1, 2})
        EXPECT_EQ((G::changeHighPrecisionMode(1), G::changeHighPrecisionMode(off), G::getIsHighPrecisionMode()), 0);
    // Set once to "off" through a value other than 0; 0 is then the same value.
    *process() = G(G::kModeProcess);
    EXPECT_EQ(answers({G::setIsHighPrecisionMode(7) != nullptr, G::setIsHighPrecisionMode(0) != nullptr,
                       G::setIsHighPrecisionMode(1) != nullptr}), "1 1 0");
    *process() = G(G::kModeProcess);  // set once to "on": "off" is then refused
    EXPECT_EQ(answers({G::setIsHighPrecisionMode(1) != nullptr, G::setIsHighPrecisionMode(0) != nullptr}), "1 0");
}

TEST_F(QvCmnExprGlobalTest, ProcessModeSettingsAreSharedByThreads) {
    G::changeHighPrecisionMode(0);
    EXPECT_EQ(onThread([] { return G::getIsHighPrecisionMode(); }), 0);
    EXPECT_EQ(onThread([] { return G::getQvCmnExprGlobal(); }), process());
    // A write on another thread reaches the process object in mode 0.
    onThread([] { return G::changeHighPrecisionMode(1); });
    EXPECT_EQ(G::getIsHighPrecisionMode(), 1);
}

TEST_F(QvCmnExprGlobalTest, DeleteInProcessModeDropsOnlyThePrinter) {
    XDbgPrinter* before = G::getDbgPrinter();
    EXPECT_EQ(G::setDbgPrinter(qvU("dbg.log"), 0), process());
    EXPECT_EQ(G::getDbgPrinter(), before);  // an existing printer is kept
    G::changeHighPrecisionMode(0), G::deleteQvCmnExprGlobal();
    EXPECT_TRUE(G::getDbgPrinter() == nullptr && G::getIsHighPrecisionMode() == 0);
    EXPECT_EQ(G::setDbgPrinter(qvU("dbg.log"), 0), process());
    ASSERT_TRUE(G::getDbgPrinter() && !G::getDbgPrinter()->isUsedByApplication());
}

TEST_F(QvCmnExprGlobalTest, MemberOperations) {
    G g(G::kModePerThread);
    EXPECT_EQ(g.getMyDbgPrinter(), nullptr);
    auto mode = [&g](void (G::*f)(int), int value) { return (g.*f)(value), g.getIsHighPrecisionModeForMyself(); };
    // The member set replaces, unlike the static form.
    EXPECT_EQ(answers({g.getIsHighPrecisionModeForMyself(), mode(&G::setIsHighPrecisionModeForMyself, 0),
                       mode(&G::setIsHighPrecisionModeForMyself, 1), mode(&G::changeHighPrecisionModeForMyself, 3)}),
              "1 0 1 0");
    g.setDbgPrinterForMyself(qvU("mine.log"));
    XDbgPrinter* mine = g.getMyDbgPrinter();
    ASSERT_TRUE(mine && !mine->isUsedByApplication());
    g.setDbgPrinterForMyself(qvU("other.log"));
    EXPECT_EQ(g.getMyDbgPrinter(), mine);
    g.deleteMe();
    // The process object's printer is untouched by a member of another object.
    EXPECT_TRUE(g.getMyDbgPrinter() == nullptr && G::getDbgPrinter() != nullptr);
    G modeZero(G::kModeProcess);  // brings the application's printer
    ASSERT_TRUE(modeZero.getMyDbgPrinter() && modeZero.getMyDbgPrinter()->isUsedByApplication());
    EXPECT_EQ(modeZero.isMeProcessGlobal(), 0);
}

TEST_F(QvCmnExprGlobalTest, CopyClearsCountersAndSharesPrinter) {
    *process() = G(*process());  // zero counters
    G::getIsHighPrecisionMode(), G::getIsHighPrecisionMode(), G::getDbgPrinter();
    auto usage = [](const G& g, const char* prefix) { QvUString t = qvU(prefix); return g.printUsage(t), t.toUtf8(); };
    const std::string counted = "Times to get global data \"HighPrecisionMode\" : 2\n"
                                "Times to get global data \"DebugPrinter\" : 1\n";
    EXPECT_EQ(usage(*process(), "> "), "> " + counted);
    G copy(*process()), assigned(G::kModePerThread);
    EXPECT_EQ(usage(copy, ""), "Times to get global data \"HighPrecisionMode\" : 0\n"
                               "Times to get global data \"DebugPrinter\" : 0\n");
    EXPECT_EQ(copy.getMyDbgPrinter(), process()->getMyDbgPrinter());
    assigned = *process();
    EXPECT_EQ(usage(assigned, ""), counted);
    EXPECT_EQ(assigned.getMode(), 0);

    // The printer lives while any holder does.
    copy.deleteMe(), assigned.deleteMe();
    ASSERT_NE(process()->getMyDbgPrinter(), nullptr);
    EXPECT_EQ(process()->getMyDbgPrinter()->getDbgLevel(), 1);
}

TEST_F(QvCmnExprGlobalTest, SetQvCmnExprGlobalTakesOwnership) {
    // In mode 0 readers ignore the slot, but it still owns what it is given.
    G* g = new G(G::kModePerThread);
    G::setQvCmnExprGlobal(g);
    EXPECT_EQ(g, nullptr);
    G* second = new G(G::kModePerThread);
    G::setQvCmnExprGlobal(second);  // deletes the first (ASan)
    EXPECT_EQ(G::getQvCmnExprGlobal(), process());
    G::setQvCmnExprGlobal(g);  // null: empties the slot
}

// ---- scenarios that fix the multiple-DTM mode (child processes) ----

// Unsupported modes are refused without fixing the mode; once fixed, the
// other mode is refused.
TEST_F(QvCmnExprGlobalTest, InitRefusesUnsupportedAndSecondModes) {
    for (int mode : {0, 1}) {
        EXPECT_EXIT({
            bool ok = !G::initQvCmnExprGlobal(2) && !G::initQvCmnExprGlobal(-1) && G::isMultipleDTMSupported() == 0;
            G* first = G::initQvCmnExprGlobal(mode);
            ok = ok && first && first->isMeProcessGlobal() == 1 && G::isMultipleDTMSupported() == mode;
            finish(ok && !G::initQvCmnExprGlobal(1 - mode) && G::initQvCmnExprGlobal(mode) == first);
        }, testing::ExitedWithCode(0), "") << mode;
    }
}

TEST_F(QvCmnExprGlobalTest, PerThreadModeReadsProcessUntilFirstWrite) {
    EXPECT_EXIT({
        G* proc = G::initQvCmnExprGlobal(1);
        bool ok = proc != nullptr && G::isMultipleDTMSupported() == 1;
        proc->changeHighPrecisionModeForMyself(0);
        ok = ok && onThread([proc] {
                 bool t = G::getIsHighPrecisionMode() == 0 && G::getQvCmnExprGlobal() == proc &&
                          G::getDbgPrinter() == proc->getMyDbgPrinter();
                 G* own = G::changeHighPrecisionMode(1);
                 t = t && own && own != proc && own->isMeProcessGlobal() == 0 && own->getMode() == 1 &&
                     G::getQvCmnExprGlobal() == own && G::getIsHighPrecisionMode() == 1;
                 // The thread's object has no printer until one is set.
                 return t && G::getDbgPrinter() == nullptr && G::setDbgPrinter(qvU("t.log"), 0) == own &&
                        G::getDbgPrinter() != proc->getMyDbgPrinter();  // both die with the thread (ASan)
             });
        // Nothing leaked into the process object or this thread.
        finish(ok && G::getIsHighPrecisionMode() == 0 && G::getQvCmnExprGlobal() == proc);
    }, testing::ExitedWithCode(0), "");
}

TEST_F(QvCmnExprGlobalTest, PerThreadSetIsRefusedPerThread) {
    EXPECT_EXIT({
        G::initQvCmnExprGlobal(1);
        bool ok = onThread([] { return G::setIsHighPrecisionMode(0) && !G::setIsHighPrecisionMode(1); });
        // Another thread starts unset and may choose the other value.
        ok = ok && onThread([] { return G::setIsHighPrecisionMode(1) != nullptr; });
        finish(ok && G::getIsHighPrecisionMode() == 1);
    }, testing::ExitedWithCode(0), "");
}

TEST_F(QvCmnExprGlobalTest, PerThreadHandOverResetAndDelete) {
    EXPECT_EXIT({
        G* proc = G::initQvCmnExprGlobal(1);
        G* g = new G(G::kModePerThread);
        G* handed = g;
        G* again = g;
        g->setIsHighPrecisionModeForMyself(0);
        G::setQvCmnExprGlobal(g);
        bool ok = g == nullptr && G::getQvCmnExprGlobal() == handed && G::getIsHighPrecisionMode() == 0;
        // Handing in the object already held keeps it alive.
        G::setQvCmnExprGlobal(again);
        ok = ok && again == nullptr && G::getIsHighPrecisionMode() == 0;
        // Reset forgets without deleting: the caller owns it again.
        G::resetQvCmnExprGlobal();
        ok = ok && G::getQvCmnExprGlobal() == proc;
        delete handed;
        // Delete removes the thread's object and its printer.
        G::setDbgPrinter(qvU("x.log"), 0);
        ok = ok && G::getQvCmnExprGlobal() != proc;
        G::deleteQvCmnExprGlobal();
        ok = ok && G::getQvCmnExprGlobal() == proc && proc->getMyDbgPrinter() != nullptr;
        // A thread handed an object that it never releases frees it at exit.
        finish(ok && onThread([] {
                   G* mine = new G(G::kModePerThread);
                   mine->setDbgPrinterForMyself(qvU("m.log"));
                   G::setQvCmnExprGlobal(mine);
                   return G::getDbgPrinter() != nullptr;
               }));
    }, testing::ExitedWithCode(0), "");
}

}  // namespace
