// Tests of the common-utilities library: value containers and
// thread-specific storage.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "hosttest_util.h"
#include "qvcmnasrt.h"
#include "qvcutils.h"
#include "qvi18n.h"
#include "qvutils.h"

namespace {

// ---------------------------------------------------------------------------
// Ordered vector

template <class T>
std::vector<T> contents(const QVTValOrderedVector<T>& v) { return std::vector<T>(v.begin(), v.end()); }

// A size hint is reserved on the first insertion, unless an explicit
// reservation came first.
TEST(OrderedVectorTest, CapacityHintsAndReservations) {
    QVTValOrderedVector<int> v(64);
    QVTValOrderedVector<void*> reserved(64), noHint(0);
    EXPECT_EQ(v.capacity(), QVTValOrderedVector<int>::cInlineEntries);  // only its own room
    v.append(1);
    reserved.reserve(1);
    reserved.append(nullptr);
    noHint.append(nullptr);
    EXPECT_EQ(answers({v.capacity() >= 64, reserved.capacity() < 64, noHint.capacity()}),
              answers({1, 1, QVTValOrderedVector<void*>::cInlineEntries}));
}

// Every operation across the switch from the vector's own room to the
// heap: inserts at the front, middle and end, checked against std::vector
// after each step.
TEST(OrderedVectorTest, InsertionsAndRemovalsAcrossTheInlineBoundary) {
    QVTValOrderedVector<int> v(0);
    std::vector<int> expected;
    for (int i = 0; i < 40; ++i) {
        const size_t at = i % 3 == 0 ? 0 : i % 3 == 1 ? expected.size() : expected.size() / 2;
        v.insertAt(at, i);
        expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(at), i);
        ASSERT_EQ(contents(v), expected) << "after inserting " << i;
    }
    while (!expected.empty()) {
        const size_t at = expected.size() / 2;
        EXPECT_EQ(v.removeAt(at), expected[at]);
        expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(at));
        ASSERT_EQ(contents(v), expected);
    }
    EXPECT_TRUE(v.isEmpty());
}

// A range lands after the entries already there, whether it fits the
// vector's own room, takes up a pending hint, or makes the vector grow.
TEST(OrderedVectorTest, RangesAppendInOrderAcrossRoomHintAndGrowth) {
    const int values[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    QVTValOrderedVector<int> inRoom(0), hinted(16), grown(0);
    inRoom.appendRange(values, 2);
    hinted.append(0);
    hinted.appendRange(values, 10);
    grown.appendRange(values, 3);
    grown.appendRange(values + 3, 7);
    grown.appendRange(values, 0);
    EXPECT_EQ(contents(inRoom), std::vector<int>({1, 2}));
    EXPECT_EQ(contents(hinted), std::vector<int>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(hinted.capacity(), 16u);
    EXPECT_EQ(contents(grown), std::vector<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

// An entry of the vector itself may be inserted, also when the insertion
// makes the vector move to a bigger block or shifts that entry.
TEST(OrderedVectorTest, InsertingAnOwnEntryCopiesItFirst) {
    for (int count : {1, 2, 5, 6, 7, 12}) {
        QVTValOrderedVector<QvUString> v(0);
        for (int i = 0; i < count; ++i) v.append(QvUString(std::to_string(i).c_str()));
        const QvUString last = v.last();
        v.prepend(v.last());
        v.insertAt(1, v[0]);
        v.append(v.first());
        EXPECT_EQ(v.entries(), static_cast<size_t>(count) + 3) << count;
        EXPECT_TRUE(v[0] == last && v[1] == last && v.last() == last && v[2] == qvU("0")) << count;
    }
}

TEST(OrderedVectorTest, CopiesAreDeepAndMovesEmptyTheSource) {
    for (int count : {0, 2, 3, 4, 20}) {
        QVTValOrderedVector<QvUString> v(0);
        for (int i = 0; i < count; ++i) v.append(QvUString(std::to_string(i).c_str()));
        const std::vector<QvUString> expected = contents(v);
        QVTValOrderedVector<QvUString> copy(v);
        EXPECT_EQ(contents(copy), expected);
        if (count > 0) copy[0] = qvU("changed");
        EXPECT_EQ(contents(v), expected);
        QVTValOrderedVector<QvUString> moved(std::move(v));
        EXPECT_EQ(contents(moved), expected);
        EXPECT_TRUE(v.isEmpty());  // NOLINT(bugprone-use-after-move): moved-from state is specified
        v.append(qvU("again"));
        EXPECT_EQ(v.entries(), 1u);
        QVTValOrderedVector<QvUString> assigned(0);
        assigned.append(qvU("old"));
        assigned = moved;
        EXPECT_EQ(contents(assigned), expected);
        assigned = std::move(moved);
        assigned = assigned;  // self-assignment keeps the entries
        EXPECT_EQ(contents(assigned), expected);
    }
}

TEST(OrderedVectorTest, EditsSearchesAndClear) {
    QVTValOrderedVector<int> v;
    for (int x : {1, 2, 3, 4, 5, 6}) v.insert(x);
    // a removed last entry is no longer found, though its slot still holds it
    EXPECT_EQ(answers({v.first(), v.last(), v[2], v.at(3), v.removeLast(), v.contains(6), v.removeFirst(), v.removeAt(1),
                       v.remove(4), v.remove(4)}), "1 6 3 4 6 0 1 3 1 0");
    EXPECT_EQ(contents(v), (std::vector<int>{2, 5}));
    for (int x : {7, 2}) v.append(x);
    EXPECT_EQ(answers({v.index(2), v.index(7), v.index(9) == QVTValOrderedVector<int>::npos, v.contains(5),
                       v.contains(9)}), "0 2 1 1 0");  // index: the first equal entry
    for (int i = 0; i < 10; ++i) v.append(i);
    const size_t room = v.capacity();
    v.clear();  // keeps the room and the vector usable
    EXPECT_EQ(answers({v.isEmpty(), v.capacity() == room}), "1 1");
    v.append(7);
    EXPECT_EQ(contents(v), (std::vector<int>{7}));
}

TEST(OrderedVectorTest, IndexOutOfRangeIsAnInvariant) {
    QVTValOrderedVector<int> v;
    EXPECT_THROW(v.removeLast(), QvAssertFailure);
    EXPECT_THROW(v.at(0), QvAssertFailure);
    v.append(1);
    EXPECT_THROW(v[1], QvAssertFailure);
    EXPECT_THROW(v.removeAt(1), QvAssertFailure);
    EXPECT_THROW(v.insertAt(2, 0), QvAssertFailure);
    EXPECT_EQ(contents(v), (std::vector<int>{1}));
}

// ---------------------------------------------------------------------------
// Hash dictionary and set

unsigned int identityHash(const int& key) { return static_cast<unsigned int>(key); }
unsigned int collidingHash(const int&) { return 7; }

TEST(HashDictionaryTest, InsertFindReplaceRemove) {
    for (auto hash : {&identityHash, &collidingHash}) {
        QVTValHashDictionary<int, int> d(hash, 64);
        int value = -1, missing = -1;
        EXPECT_EQ(answers({d.insertKeyAndValue(1002, 10), d.insertKeyAndValue(1017, 17),
                           d.insertKeyAndValue(1002, 11) /* replaces */, d.entries(), d.findValue(1002, value), value,
                           d.findValue(1003, missing), missing, *d.find(1017), d.find(1003) == nullptr,
                           d.remove(1017), d.remove(1017), d.contains(1017)}), "1 1 0 2 1 11 0 -1 17 1 1 0 0");
        d.clear();
        EXPECT_TRUE(d.isEmpty());
    }
    QVTValHashDictionary<QvUString, int> hashed(&CustomSDKMgr::hashKeyStr, 64), unhashed;
    for (auto* d : {&hashed, &unhashed}) {
        d->insertKeyAndValue(qvU("INT"), 1002);
        d->insertKeyAndValue(qvU("HIPRECDECIMAL"), 1012);
        int value = 0;
        EXPECT_EQ(answers({d->findValue(qvU("HIPRECDECIMAL"), value), value, d->contains(qvU("int"))}), "1 1012 0");
    }
}

TEST(HashSetTest, PointersByIdentityAndCopiesAreIndependent) {
    int a = 0, b = 0;
    QVTValHashSet<int*> visited(64);
    EXPECT_EQ(answers({visited.insert(&a), visited.insert(&a)}), "1 0");
    QVTValHashSet<int*> copy = visited;
    copy.insert(&b);
    EXPECT_EQ(answers({copy.contains(&b), visited.contains(&b), visited.entries(), visited.remove(&a),
                       visited.isEmpty()}), "1 0 1 1 1");
}

// ---------------------------------------------------------------------------
// Thread-specific storage

// Records every value cleaned (sorted), and on which threads; read after
// the threads are joined.
class RecordingSlot : public QVTssImplBase {
public:
    void cleanup(void* value) override {
        std::lock_guard<std::mutex> lock(mutex);
        cleaned.insert(std::upper_bound(cleaned.begin(), cleaned.end(), *static_cast<int*>(value)),
                       *static_cast<int*>(value));
        threads.push_back(std::this_thread::get_id());
        delete static_cast<int*>(value);
    }
    std::mutex mutex;
    std::vector<int> cleaned;
    std::vector<std::thread::id> threads;
};

QVTSS_Manager* tss() { return QVTSS_Manager::getTSSManager(); }

TEST(TssTest, EachThreadSeesItsOwnValue) {
    EXPECT_EQ(tss()->registerTss(nullptr), -1);
    RecordingSlot slot;
    int mine = 1;
    slot.set(&mine);
    std::atomic<int> sawNull{0};
    std::thread([&] {
        if (slot.get() == nullptr) ++sawNull;
        int theirs = 2;
        slot.set(&theirs);
        if (slot.get() == &theirs) ++sawNull;
        slot.set(nullptr);
    }).join();
    EXPECT_EQ(sawNull.load(), 2);
    EXPECT_EQ(slot.get(), &mine);
}

// Each exiting thread cleans its own value; one that never set a value, or
// cleared or replaced it, cleans nothing for that value.
TEST(TssTest, CleanupRunsOnExitOfEachThreadWithItsOwnValue) {
    RecordingSlot slot;
    ASSERT_EQ(tss()->registerTss(&slot), 0);
    std::vector<std::thread> threads;
    std::vector<std::thread::id> ids(4);
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&slot, &ids, i] {
            ids[i] = std::this_thread::get_id();
            int local = 5;
            if (i == 3) { slot.set(&local); slot.set(nullptr); }  // a cleared value is not cleaned
            slot.set(new int(100 + i));
        });
    }
    threads.emplace_back([] {});
    for (auto& t : threads) t.join();
    EXPECT_EQ(slot.cleaned, (std::vector<int>{100, 101, 102, 103}));
    for (std::thread::id id : slot.threads) EXPECT_NE(std::find(ids.begin(), ids.end(), id), ids.end());
}

TEST(TssTest, UnregisteredSlotIsNotCleaned) {
    RecordingSlot slot;
    tss()->registerTss(&slot);
    EXPECT_EQ(answers({tss()->isRegistered(&slot), tss()->unregisterTss(&slot), tss()->unregisterTss(&slot),
                       tss()->isRegistered(&slot)}), "1 0 -1 0");
    int value = 9;
    std::thread([&slot, &value] { slot.set(&value); }).join();
    EXPECT_TRUE(slot.cleaned.empty());
}

// Counts its cleanups and frees nothing.
class CountingSlot : public QVTssImplBase {
public:
    void cleanup(void*) override { ++calls; }
    std::atomic<int> calls{0};
};

// A slot destroyed while another thread holds a value for it is forgotten:
// that thread's exit cleans nothing, even with a new slot in its place,
// whether or not the new one is registered at the same address. Answers the
// new slot's cleanups.
int cleanupsAfterReplacing(bool registerSecond) {
    alignas(CountingSlot) unsigned char storage[sizeof(CountingSlot)];
    auto* first = new (storage) CountingSlot();
    tss()->registerTss(first);
    static int value = 3;
    std::promise<void> isSet, go;
    std::thread t([&] { first->set(&value); isSet.set_value(); go.get_future().wait(); });
    isSet.get_future().wait();
    first->~CountingSlot();
    auto* second = new (storage) CountingSlot();
    if (registerSecond) tss()->registerTss(second);
    go.set_value();
    t.join();
    const int calls = second->calls.load();
    second->~CountingSlot();
    return calls;
}

TEST(TssTest, DestroyedSlotIsNotCleanedLater) {
    EXPECT_EQ(answers({cleanupsAfterReplacing(false), cleanupsAfterReplacing(true)}), "0 0");
}

// A slot whose cleanup stores a value in a second slot, as a per-thread
// object might when it is torn down.
class ChainingSlot : public QVTssImplBase {
public:
    explicit ChainingSlot(QVTssImplBase* next) : m_next(next) {}
    void cleanup(void* value) override { m_next->set(value); ++count; }
    QVTssImplBase* m_next;
    std::atomic<int> count{0};
};

TEST(TssTest, ValuesStoredDuringCleanupAreCleanedToo) {
    RecordingSlot last;
    ChainingSlot first(&last);
    tss()->registerTss(&last);
    tss()->registerTss(&first);
    std::thread([&first] { first.set(new int(42)); }).join();
    EXPECT_EQ(first.count.load(), 1);
    EXPECT_EQ(last.cleaned, (std::vector<int>{42}));
}

TEST(TssTest, CleanupOfTheCurrentThreadOnRequest) {
    RecordingSlot slot;
    tss()->registerTss(&slot);
    slot.set(new int(7));
    tss()->cleanupCurrentThread();
    EXPECT_EQ(slot.get(), nullptr);
    EXPECT_EQ(slot.cleaned, (std::vector<int>{7}));
}

struct Counted {
    static std::atomic<int> destroyed;
    ~Counted() { ++destroyed; }
};
std::atomic<int> Counted::destroyed{0};

TEST(TssTest, TypedSlotDeletesItsObjects) {
    QVTssImpl<Counted> slot;
    tss()->registerTss(&slot);
    Counted::destroyed = 0;
    std::thread([&slot] { slot.setValue(new Counted()); }).join();
    EXPECT_EQ(Counted::destroyed.load(), 1);
}

// A registered slot that lives until the process exits, holding a value of
// the main thread: the exit must clean it without crashing.
QVTssImpl<Counted> gProcessSlot;

TEST(TssTest, MainThreadValueOfAStaticSlotIsLeftForProcessExit) {
    tss()->registerTss(&gProcessSlot);
    gProcessSlot.setValue(new Counted());
    EXPECT_NE(gProcessSlot.getValue(), nullptr);
}

// Writes to stderr when cleaned, so a child process can show that its exit
// cleaned the exiting thread's value.
class AnnouncingSlot : public QVTssImplBase {
public:
    void cleanup(void* value) override { std::fprintf(stderr, "cleaned %d\n", *static_cast<int*>(value)); }
};
AnnouncingSlot gAnnouncingSlot;

void setAndExit() {
    static int value = 31;
    tss()->registerTss(&gAnnouncingSlot);
    gAnnouncingSlot.set(&value);
    std::exit(0);
}

TEST(TssDeathTest, ProcessExitCleansTheExitingThreadsValue) {
    EXPECT_EXIT(setAndExit(), ::testing::ExitedWithCode(0), "cleaned 31");
}

}  // namespace
