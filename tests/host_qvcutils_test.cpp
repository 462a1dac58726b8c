// Tests of the common-utilities library: value containers and
// thread-specific storage.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <new>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qvcmnasrt.h"
#include "qvcutils.h"
#include "qvi18n.h"
#include "qvutils.h"

namespace {

// ---------------------------------------------------------------------------
// Ordered vector

std::vector<int> contents(const QVTValOrderedVector<int>& v) { return std::vector<int>(v.begin(), v.end()); }

// A size hint is reserved on the first insertion, unless an explicit
// reservation came first.
TEST(OrderedVectorTest, CapacityHintsAndReservations) {
    QVTValOrderedVector<int> v(64);
    EXPECT_EQ(v.capacity(), QVTValOrderedVector<int>::cInlineEntries);  // only its own room
    v.append(1);
    EXPECT_GE(v.capacity(), 64u);
    QVTValOrderedVector<void*> reserved(64);
    reserved.reserve(1);
    reserved.append(nullptr);
    EXPECT_LT(reserved.capacity(), 64u);
    QVTValOrderedVector<void*> noHint(0);
    noHint.append(nullptr);
    EXPECT_EQ(noHint.capacity(), QVTValOrderedVector<void*>::cInlineEntries);
}

// Every operation across the switch from the vector's own room to the
// heap: a table of inserts at the front, middle and end, checked against
// std::vector after each step.
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
        EXPECT_EQ(v[0], last);
        EXPECT_EQ(v[1], last);
        EXPECT_EQ(v.last(), last);
        EXPECT_EQ(v[2], qvU("0"));
    }
    QVTValOrderedVector<QvUString> v(4);  // entries are held by value
    QvUString s = qvU("abc");
    v.append(s);
    s.append(static_cast<unsigned short>('d'));
    EXPECT_EQ(v.removeLast(), qvU("abc"));
}

TEST(OrderedVectorTest, CopiesAreDeepAndMovesEmptyTheSource) {
    for (int count : {0, 2, 3, 4, 20}) {
        QVTValOrderedVector<QvUString> v(0);
        std::vector<QvUString> expected;
        for (int i = 0; i < count; ++i) {
            v.append(QvUString(std::to_string(i).c_str()));
            expected.push_back(v.last());
        }
        QVTValOrderedVector<QvUString> copy(v);
        EXPECT_EQ(std::vector<QvUString>(copy.begin(), copy.end()), expected);
        if (count > 0) copy[0] = qvU("changed");
        EXPECT_EQ(std::vector<QvUString>(v.begin(), v.end()), expected);

        QVTValOrderedVector<QvUString> moved(std::move(v));
        EXPECT_EQ(std::vector<QvUString>(moved.begin(), moved.end()), expected);
        EXPECT_TRUE(v.isEmpty());  // NOLINT(bugprone-use-after-move): moved-from state is specified
        v.append(qvU("again"));
        EXPECT_EQ(v.entries(), 1u);

        QVTValOrderedVector<QvUString> assigned(0);
        assigned.append(qvU("old"));
        assigned = moved;
        EXPECT_EQ(std::vector<QvUString>(assigned.begin(), assigned.end()), expected);
        assigned = std::move(moved);
        EXPECT_EQ(std::vector<QvUString>(assigned.begin(), assigned.end()), expected);
        assigned = assigned;  // self-assignment keeps the entries
        EXPECT_EQ(assigned.entries(), expected.size());
    }
}

TEST(OrderedVectorTest, EditsSearchesAndClear) {
    QVTValOrderedVector<int> v;
    v.append(2);
    v.append(4);
    v.prepend(1);
    v.insertAt(2, 3);
    v.insertAt(v.entries(), 5);  // at the end appends
    v.insert(6);
    EXPECT_EQ(contents(v), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ((std::vector<int>{v.first(), v.last(), v[2], v.at(3)}), (std::vector<int>{1, 6, 3, 4}));
    EXPECT_EQ(v.removeLast(), 6);
    EXPECT_EQ(v.removeFirst(), 1);
    EXPECT_EQ(v.removeAt(1), 3);
    EXPECT_TRUE(v.remove(4));
    EXPECT_FALSE(v.remove(4));
    EXPECT_EQ(contents(v), (std::vector<int>{2, 5}));
    for (int x : {7, 2}) v.append(x);
    EXPECT_EQ(v.index(2), 0u);  // the first equal entry
    EXPECT_EQ(v.index(7), 2u);
    EXPECT_EQ(v.index(9), QVTValOrderedVector<int>::npos);
    EXPECT_TRUE(v.contains(5));
    EXPECT_FALSE(v.contains(9));
    for (int i = 0; i < 10; ++i) v.append(i);
    const size_t room = v.capacity();
    v.clear();  // keeps the room and the vector usable
    EXPECT_TRUE(v.isEmpty());
    EXPECT_EQ(v.capacity(), room);
    v.append(7);
    EXPECT_EQ(contents(v), (std::vector<int>{7}));
}

TEST(OrderedVectorTest, IndexOutOfRangeIsAnInvariant) {
    QVTValOrderedVector<int> v;
    EXPECT_THROW(v.removeLast(), QvAssertFailure);
    EXPECT_THROW(v.at(0), QvAssertFailure);
    EXPECT_THROW(v.first(), QvAssertFailure);
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
        EXPECT_TRUE(d.insertKeyAndValue(1002, 10));
        EXPECT_TRUE(d.insertKeyAndValue(1017, 17));
        EXPECT_FALSE(d.insertKeyAndValue(1002, 11));  // replaces
        EXPECT_EQ(d.entries(), 2u);
        int value = -1;
        EXPECT_TRUE(d.findValue(1002, value));
        EXPECT_EQ(value, 11);
        value = -1;
        EXPECT_FALSE(d.findValue(1003, value));
        EXPECT_EQ(value, -1);
        ASSERT_NE(d.find(1017), nullptr);
        EXPECT_EQ(*d.find(1017), 17);
        EXPECT_EQ(d.find(1003), nullptr);
        EXPECT_TRUE(d.remove(1017));
        EXPECT_FALSE(d.remove(1017));
        EXPECT_FALSE(d.contains(1017));
        d.clear();
        EXPECT_TRUE(d.isEmpty());
    }
}

TEST(HashDictionaryTest, StringKeysWithAndWithoutTheHostHash) {
    QVTValHashDictionary<QvUString, int> hashed(&CustomSDKMgr::hashKeyStr, 64), unhashed;
    for (auto* d : {&hashed, &unhashed}) {
        d->insertKeyAndValue(qvU("INT"), 1002);
        d->insertKeyAndValue(qvU("HIPRECDECIMAL"), 1012);
        int value = 0;
        EXPECT_TRUE(d->findValue(qvU("HIPRECDECIMAL"), value));
        EXPECT_EQ(value, 1012);
        EXPECT_FALSE(d->contains(qvU("int")));
    }
}

TEST(HashSetTest, PointersByIdentityAndCopiesAreIndependent) {
    int a = 0, b = 0;
    QVTValHashSet<int*> visited(64);
    EXPECT_TRUE(visited.insert(&a));
    EXPECT_FALSE(visited.insert(&a));
    QVTValHashSet<int*> copy = visited;
    copy.insert(&b);
    EXPECT_TRUE(copy.contains(&b));
    EXPECT_FALSE(visited.contains(&b));
    EXPECT_EQ(visited.entries(), 1u);
    EXPECT_TRUE(visited.remove(&a));
    EXPECT_TRUE(visited.isEmpty());
}

// ---------------------------------------------------------------------------
// Thread-specific storage

// Records every value cleaned, and on which thread.
class RecordingSlot : public QVTssImplBase {
public:
    void cleanup(void* value) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cleaned.push_back(*static_cast<int*>(value));
        m_threads.push_back(std::this_thread::get_id());
        delete static_cast<int*>(value);
    }
    std::vector<int> cleaned() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<int> sorted = m_cleaned;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }
    std::vector<std::thread::id> threads() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threads;
    }

private:
    std::mutex m_mutex;
    std::vector<int> m_cleaned;
    std::vector<std::thread::id> m_threads;
};

TEST(TssTest, EachThreadSeesItsOwnValue) {
    EXPECT_EQ(QVTSS_Manager::getTSSManager()->registerTss(nullptr), -1);
    RecordingSlot slot;
    int mine = 1;
    slot.set(&mine);
    std::atomic<int> sawNull{0};
    std::thread other([&] {
        if (slot.get() == nullptr) ++sawNull;
        int theirs = 2;
        slot.set(&theirs);
        if (slot.get() == &theirs) ++sawNull;
        slot.set(nullptr);
    });
    other.join();
    EXPECT_EQ(sawNull.load(), 2);
    EXPECT_EQ(slot.get(), &mine);
    slot.set(nullptr);
    EXPECT_EQ(slot.get(), nullptr);
}

TEST(TssTest, CleanupRunsOnExitOfEachThreadWithItsOwnValue) {
    RecordingSlot slot;
    ASSERT_EQ(QVTSS_Manager::getTSSManager()->registerTss(&slot), 0);
    std::vector<std::thread> threads;
    std::vector<std::thread::id> ids(4);
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&slot, &ids, i] {
            ids[i] = std::this_thread::get_id();
            slot.set(new int(100 + i));
        });
    }
    threads.emplace_back([] {});  // never sets a value: nothing to clean
    for (auto& t : threads) t.join();
    EXPECT_EQ(slot.cleaned(), (std::vector<int>{100, 101, 102, 103}));
    for (std::thread::id id : slot.threads()) {
        EXPECT_NE(std::find(ids.begin(), ids.end(), id), ids.end());  // cleaned on the exiting thread
    }
}

TEST(TssTest, ClearedOrReplacedValuesAreNotCleaned) {
    RecordingSlot slot;
    QVTSS_Manager::getTSSManager()->registerTss(&slot);
    std::thread t([&slot] {
        int local = 5;
        slot.set(&local);
        slot.set(nullptr);
        slot.set(new int(6));
    });
    t.join();
    EXPECT_EQ(slot.cleaned(), (std::vector<int>{6}));
}

TEST(TssTest, UnregisteredSlotIsNotCleaned) {
    RecordingSlot slot;
    QVTSS_Manager* mgr = QVTSS_Manager::getTSSManager();
    mgr->registerTss(&slot);
    EXPECT_EQ(mgr->isRegistered(&slot), 1);
    EXPECT_EQ(mgr->unregisterTss(&slot), 0);
    EXPECT_EQ(mgr->unregisterTss(&slot), -1);
    EXPECT_EQ(mgr->isRegistered(&slot), 0);
    int value = 9;
    std::thread t([&slot, &value] { slot.set(&value); });
    t.join();
    EXPECT_TRUE(slot.cleaned().empty());
}

// Counts its cleanups and frees nothing.
class CountingSlot : public QVTssImplBase {
public:
    void cleanup(void*) override { ++calls; }
    std::atomic<int> calls{0};
};

// A slot destroyed while another thread holds a value for it is forgotten:
// that thread's exit cleans nothing, even with a new slot in its place.
TEST(TssTest, DestroyedSlotIsNotCleanedLater) {
    alignas(CountingSlot) unsigned char storage[sizeof(CountingSlot)];
    auto* first = new (storage) CountingSlot();
    QVTSS_Manager::getTSSManager()->registerTss(first);
    static int value = 3;
    std::promise<void> isSet, go;
    std::thread t([&] {
        first->set(&value);
        isSet.set_value();
        go.get_future().wait();
    });
    isSet.get_future().wait();
    first->~CountingSlot();
    auto* second = new (storage) CountingSlot();
    go.set_value();
    t.join();
    EXPECT_EQ(second->calls.load(), 0);
    second->~CountingSlot();
}

// A slot whose cleanup stores a value in a second slot, as a per-thread
// object might when it is torn down.
class ChainingSlot : public QVTssImplBase {
public:
    explicit ChainingSlot(QVTssImplBase* next) : m_next(next) {}
    void cleanup(void* value) override {
        m_next->set(value);
        ++m_count;
    }
    std::atomic<int> m_count{0};

private:
    QVTssImplBase* m_next;
};

TEST(TssTest, ValuesStoredDuringCleanupAreCleanedToo) {
    RecordingSlot last;
    ChainingSlot first(&last);
    QVTSS_Manager* mgr = QVTSS_Manager::getTSSManager();
    mgr->registerTss(&last);
    mgr->registerTss(&first);
    std::thread t([&first] { first.set(new int(42)); });
    t.join();
    EXPECT_EQ(first.m_count.load(), 1);
    EXPECT_EQ(last.cleaned(), (std::vector<int>{42}));
}

TEST(TssTest, CleanupOfTheCurrentThreadOnRequest) {
    RecordingSlot slot;
    QVTSS_Manager::getTSSManager()->registerTss(&slot);
    slot.set(new int(7));
    QVTSS_Manager::getTSSManager()->cleanupCurrentThread();
    EXPECT_EQ(slot.get(), nullptr);
    EXPECT_EQ(slot.cleaned(), (std::vector<int>{7}));
}

struct Counted {
    static std::atomic<int> destroyed;
    ~Counted() { ++destroyed; }
};
std::atomic<int> Counted::destroyed{0};

TEST(TssTest, TypedSlotDeletesItsObjects) {
    QVTssImpl<Counted> slot;
    QVTSS_Manager::getTSSManager()->registerTss(&slot);
    Counted::destroyed = 0;
    std::thread a([&slot] { slot.setValue(new Counted()); });
    std::thread b([&slot] { slot.setValue(new Counted()); });
    a.join();
    b.join();
    EXPECT_EQ(Counted::destroyed.load(), 2);
}

// A registered slot that lives until the process exits, holding a value of
// the main thread: the exit must clean it without crashing.
QVTssImpl<Counted> gProcessSlot;

TEST(TssTest, MainThreadValueOfAStaticSlotIsLeftForProcessExit) {
    QVTSS_Manager::getTSSManager()->registerTss(&gProcessSlot);
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

TEST(TssDeathTest, ProcessExitCleansTheExitingThreadsValue) {
    EXPECT_EXIT(
        {
            static int value = 31;
            QVTSS_Manager::getTSSManager()->registerTss(&gAnnouncingSlot);
            gAnnouncingSlot.set(&value);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "cleaned 31");
}

}  // namespace
