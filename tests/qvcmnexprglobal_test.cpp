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

namespace {

class QvCmnExprGlobalTest : public testing::Test {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        m_saved = *QvCmnExprGlobal::getQvCmnExprGlobal();
    }
    void TearDown() override { *QvCmnExprGlobal::getQvCmnExprGlobal() = m_saved; }

    static QvCmnExprGlobal* process() { return QvCmnExprGlobal::getQvCmnExprGlobal(); }

private:
    QvCmnExprGlobal m_saved{QvCmnExprGlobal::kModePerThread};
};

// Runs `check` on a new thread and returns its result.
template <class F>
auto onThread(F check) {
    decltype(check()) result{};
    std::thread t([&] { result = check(); });
    t.join();
    return result;
}

// Ends a death-test child: 0 when `ok`, 1 otherwise.
[[noreturn]] void finish(bool ok) { std::exit(ok ? 0 : 1); }

// Until set, the process object reads high precision as on and carries the
// application's printer; set refuses the other value, change overrides.
TEST_F(QvCmnExprGlobalTest, SetRefusesTheOtherValueAndChangeOverrides) {
    EXPECT_EQ(QvCmnExprGlobal::isMultipleDTMSupported(), 0);
    EXPECT_EQ(QvCmnExprGlobal::getIsHighPrecisionMode(), 1);
    EXPECT_EQ(process()->isMeProcessGlobal(), 1);
    ASSERT_NE(QvCmnExprGlobal::getDbgPrinter(), nullptr);
    EXPECT_EQ(QvCmnExprGlobal::getDbgPrinter()->isUsedByApplication(), 1);
    EXPECT_EQ(QvCmnExprGlobal::setIsHighPrecisionMode(0), process());
    EXPECT_EQ(QvCmnExprGlobal::getIsHighPrecisionMode(), 0);
    EXPECT_EQ(QvCmnExprGlobal::setIsHighPrecisionMode(1), nullptr);
    EXPECT_EQ(QvCmnExprGlobal::getIsHighPrecisionMode(), 0);
    // The same value again is accepted.
    EXPECT_EQ(QvCmnExprGlobal::setIsHighPrecisionMode(0), process());
    EXPECT_EQ(QvCmnExprGlobal::changeHighPrecisionMode(1), process());
    EXPECT_EQ(QvCmnExprGlobal::getIsHighPrecisionMode(), 1);
    EXPECT_EQ(QvCmnExprGlobal::setIsHighPrecisionMode(0), nullptr);
}

TEST_F(QvCmnExprGlobalTest, AnyValueOtherThanOneMeansOff) {
    for (int off : {0, -1, 2, 99}) {
        QvCmnExprGlobal::changeHighPrecisionMode(1);
        QvCmnExprGlobal::changeHighPrecisionMode(off);
        EXPECT_EQ(QvCmnExprGlobal::getIsHighPrecisionMode(), 0) << off;
    }
    // Set once to "off" through a value other than 0; 0 is then the same value.
    QvCmnExprGlobal fresh(QvCmnExprGlobal::kModeProcess);
    *process() = fresh;
    EXPECT_NE(QvCmnExprGlobal::setIsHighPrecisionMode(7), nullptr);
    EXPECT_NE(QvCmnExprGlobal::setIsHighPrecisionMode(0), nullptr);
    EXPECT_EQ(QvCmnExprGlobal::setIsHighPrecisionMode(1), nullptr);
}

TEST_F(QvCmnExprGlobalTest, ProcessModeSettingsAreSharedByThreads) {
    QvCmnExprGlobal::changeHighPrecisionMode(0);
    EXPECT_EQ(onThread([] { return QvCmnExprGlobal::getIsHighPrecisionMode(); }), 0);
    EXPECT_EQ(onThread([] { return QvCmnExprGlobal::getQvCmnExprGlobal(); }), process());
    // A write on another thread reaches the process object in mode 0.
    onThread([] { return QvCmnExprGlobal::changeHighPrecisionMode(1); });
    EXPECT_EQ(QvCmnExprGlobal::getIsHighPrecisionMode(), 1);
}

TEST_F(QvCmnExprGlobalTest, DeleteInProcessModeDropsOnlyThePrinter) {
    XDbgPrinter* before = QvCmnExprGlobal::getDbgPrinter();
    EXPECT_EQ(QvCmnExprGlobal::setDbgPrinter(qvU("dbg.log"), 0), process());
    EXPECT_EQ(QvCmnExprGlobal::getDbgPrinter(), before);  // an existing printer is kept
    QvCmnExprGlobal::changeHighPrecisionMode(0);
    QvCmnExprGlobal::deleteQvCmnExprGlobal();
    EXPECT_EQ(QvCmnExprGlobal::getDbgPrinter(), nullptr);
    EXPECT_EQ(QvCmnExprGlobal::getIsHighPrecisionMode(), 0);
    EXPECT_EQ(QvCmnExprGlobal::setDbgPrinter(qvU("dbg.log"), 0), process());
    XDbgPrinter* created = QvCmnExprGlobal::getDbgPrinter();
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->isUsedByApplication(), 0);
}

TEST_F(QvCmnExprGlobalTest, MemberOperations) {
    QvCmnExprGlobal g(QvCmnExprGlobal::kModePerThread);
    EXPECT_EQ(g.getMyDbgPrinter(), nullptr);
    EXPECT_EQ(g.getIsHighPrecisionModeForMyself(), 1);
    g.setIsHighPrecisionModeForMyself(0);
    EXPECT_EQ(g.getIsHighPrecisionModeForMyself(), 0);
    g.setIsHighPrecisionModeForMyself(1);  // replaces, unlike the static form
    EXPECT_EQ(g.getIsHighPrecisionModeForMyself(), 1);
    g.changeHighPrecisionModeForMyself(3);
    EXPECT_EQ(g.getIsHighPrecisionModeForMyself(), 0);

    g.setDbgPrinterForMyself(qvU("mine.log"));
    XDbgPrinter* mine = g.getMyDbgPrinter();
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(mine->isUsedByApplication(), 0);
    g.setDbgPrinterForMyself(qvU("other.log"));
    EXPECT_EQ(g.getMyDbgPrinter(), mine);
    g.deleteMe();
    EXPECT_EQ(g.getMyDbgPrinter(), nullptr);
    // The process object's printer is untouched by a member of another object.
    EXPECT_NE(QvCmnExprGlobal::getDbgPrinter(), nullptr);
    QvCmnExprGlobal modeZero(QvCmnExprGlobal::kModeProcess);  // brings the application's printer
    ASSERT_NE(modeZero.getMyDbgPrinter(), nullptr);
    EXPECT_EQ(modeZero.getMyDbgPrinter()->isUsedByApplication(), 1);
    EXPECT_EQ(modeZero.isMeProcessGlobal(), 0);
}

TEST_F(QvCmnExprGlobalTest, CopyClearsCountersAndSharesPrinter) {
    QvCmnExprGlobal counted(*process());  // zero counters
    *process() = counted;
    QvCmnExprGlobal::getIsHighPrecisionMode();
    QvCmnExprGlobal::getIsHighPrecisionMode();
    QvCmnExprGlobal::getDbgPrinter();

    QvUString usage = qvU("> ");
    process()->printUsage(usage);
    EXPECT_EQ(usage.toUtf8(),
              "> Times to get global data \"HighPrecisionMode\" : 2\n"
              "Times to get global data \"DebugPrinter\" : 1\n");

    QvCmnExprGlobal copy(*process());
    QvUString copyUsage;
    copy.printUsage(copyUsage);
    EXPECT_EQ(copyUsage.toUtf8(),
              "Times to get global data \"HighPrecisionMode\" : 0\n"
              "Times to get global data \"DebugPrinter\" : 0\n");
    EXPECT_EQ(copy.getMyDbgPrinter(), process()->getMyDbgPrinter());

    QvCmnExprGlobal assigned(QvCmnExprGlobal::kModePerThread);
    assigned = *process();
    QvUString assignedUsage;
    assigned.printUsage(assignedUsage);
    EXPECT_EQ(assignedUsage.toUtf8(), usage.toUtf8().substr(2));
    EXPECT_EQ(assigned.getMode(), 0);

    // The printer lives while any holder does.
    copy.deleteMe();
    assigned.deleteMe();
    ASSERT_NE(process()->getMyDbgPrinter(), nullptr);
    EXPECT_EQ(process()->getMyDbgPrinter()->getDbgLevel(), 1);
}

TEST_F(QvCmnExprGlobalTest, SetQvCmnExprGlobalTakesOwnership) {
    // In mode 0 readers ignore the slot, but it still owns what it is given.
    QvCmnExprGlobal* g = new QvCmnExprGlobal(QvCmnExprGlobal::kModePerThread);
    QvCmnExprGlobal::setQvCmnExprGlobal(g);
    EXPECT_EQ(g, nullptr);
    QvCmnExprGlobal* second = new QvCmnExprGlobal(QvCmnExprGlobal::kModePerThread);
    QvCmnExprGlobal::setQvCmnExprGlobal(second);  // deletes the first (ASan)
    EXPECT_EQ(QvCmnExprGlobal::getQvCmnExprGlobal(), process());
    QvCmnExprGlobal::setQvCmnExprGlobal(g);  // null: empties the slot
}

// ---- scenarios that fix the multiple-DTM mode (child processes) ----

// Unsupported modes are refused without fixing the mode; once fixed, the
// other mode is refused.
TEST_F(QvCmnExprGlobalTest, InitRefusesUnsupportedAndSecondModes) {
    for (int mode : {0, 1}) {
        EXPECT_EXIT(
            {
                bool ok = QvCmnExprGlobal::initQvCmnExprGlobal(2) == nullptr;
                ok = ok && QvCmnExprGlobal::initQvCmnExprGlobal(-1) == nullptr;
                ok = ok && QvCmnExprGlobal::isMultipleDTMSupported() == 0;
                QvCmnExprGlobal* first = QvCmnExprGlobal::initQvCmnExprGlobal(mode);
                ok = ok && first != nullptr && first->isMeProcessGlobal() == 1;
                ok = ok && QvCmnExprGlobal::isMultipleDTMSupported() == mode;
                ok = ok && QvCmnExprGlobal::initQvCmnExprGlobal(1 - mode) == nullptr;
                ok = ok && QvCmnExprGlobal::initQvCmnExprGlobal(mode) == first;
                finish(ok);
            },
            testing::ExitedWithCode(0), "")
            << mode;
    }
}

TEST_F(QvCmnExprGlobalTest, PerThreadModeReadsProcessUntilFirstWrite) {
    EXPECT_EXIT(
        {
            QvCmnExprGlobal* proc = QvCmnExprGlobal::initQvCmnExprGlobal(1);
            bool ok = proc != nullptr && QvCmnExprGlobal::isMultipleDTMSupported() == 1;
            proc->changeHighPrecisionModeForMyself(0);
            ok = ok && onThread([proc] {
                     bool t = QvCmnExprGlobal::getIsHighPrecisionMode() == 0;
                     t = t && QvCmnExprGlobal::getQvCmnExprGlobal() == proc;
                     t = t && QvCmnExprGlobal::getDbgPrinter() == proc->getMyDbgPrinter();
                     QvCmnExprGlobal* own = QvCmnExprGlobal::changeHighPrecisionMode(1);
                     t = t && own != nullptr && own != proc && own->isMeProcessGlobal() == 0;
                     t = t && own->getMode() == 1 && QvCmnExprGlobal::getQvCmnExprGlobal() == own;
                     t = t && QvCmnExprGlobal::getIsHighPrecisionMode() == 1;
                     // The thread's object has no printer until one is set.
                     t = t && QvCmnExprGlobal::getDbgPrinter() == nullptr;
                     t = t && QvCmnExprGlobal::setDbgPrinter(qvU("t.log"), 0) == own;
                     t = t && QvCmnExprGlobal::getDbgPrinter() != proc->getMyDbgPrinter();
                     return t;  // the object and its printer die with the thread (ASan)
                 });
            // Nothing leaked into the process object or this thread.
            ok = ok && QvCmnExprGlobal::getIsHighPrecisionMode() == 0;
            ok = ok && QvCmnExprGlobal::getQvCmnExprGlobal() == proc;
            finish(ok);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(QvCmnExprGlobalTest, PerThreadSetIsRefusedPerThread) {
    EXPECT_EXIT(
        {
            QvCmnExprGlobal::initQvCmnExprGlobal(1);
            bool ok = onThread([] {
                bool t = QvCmnExprGlobal::setIsHighPrecisionMode(0) != nullptr;
                return t && QvCmnExprGlobal::setIsHighPrecisionMode(1) == nullptr;
            });
            // Another thread starts unset and may choose the other value.
            ok = ok && onThread([] { return QvCmnExprGlobal::setIsHighPrecisionMode(1) != nullptr; });
            ok = ok && QvCmnExprGlobal::getIsHighPrecisionMode() == 1;
            finish(ok);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(QvCmnExprGlobalTest, PerThreadHandOverResetAndDelete) {
    EXPECT_EXIT(
        {
            QvCmnExprGlobal* proc = QvCmnExprGlobal::initQvCmnExprGlobal(1);
            QvCmnExprGlobal* g = new QvCmnExprGlobal(QvCmnExprGlobal::kModePerThread);
            QvCmnExprGlobal* handed = g;
            g->setIsHighPrecisionModeForMyself(0);
            QvCmnExprGlobal::setQvCmnExprGlobal(g);
            bool ok = g == nullptr && QvCmnExprGlobal::getQvCmnExprGlobal() == handed;
            ok = ok && QvCmnExprGlobal::getIsHighPrecisionMode() == 0;

            // Handing in the object already held keeps it alive.
            QvCmnExprGlobal* again = handed;
            QvCmnExprGlobal::setQvCmnExprGlobal(again);
            ok = ok && again == nullptr && QvCmnExprGlobal::getIsHighPrecisionMode() == 0;

            // Reset forgets without deleting: the caller owns it again.
            QvCmnExprGlobal::resetQvCmnExprGlobal();
            ok = ok && QvCmnExprGlobal::getQvCmnExprGlobal() == proc;
            delete handed;

            // Delete removes the thread's object and its printer.
            QvCmnExprGlobal::setDbgPrinter(qvU("x.log"), 0);
            ok = ok && QvCmnExprGlobal::getQvCmnExprGlobal() != proc;
            QvCmnExprGlobal::deleteQvCmnExprGlobal();
            ok = ok && QvCmnExprGlobal::getQvCmnExprGlobal() == proc;
            ok = ok && proc->getMyDbgPrinter() != nullptr;

            // A thread handed an object that it never releases frees it at exit.
            ok = ok && onThread([] {
                QvCmnExprGlobal* mine = new QvCmnExprGlobal(QvCmnExprGlobal::kModePerThread);
                mine->setDbgPrinterForMyself(qvU("m.log"));
                QvCmnExprGlobal::setQvCmnExprGlobal(mine);
                return QvCmnExprGlobal::getDbgPrinter() != nullptr;
            });
            finish(ok);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
