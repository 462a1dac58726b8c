// Common-utilities library of the host: the value containers the expression
// library keeps its lists, maps and sets in, and thread-specific storage.
//
// The containers are thin wrappers over the standard containers with the
// vocabulary the library is written in (entries, append, insertAt,
// removeLast, insertKeyAndValue, ...). Index errors are internal invariants
// (QvAssertHandler, source unit "qvcutils"), not exceptions.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "qvcmnasrt.h"
#include "qvhost_export.h"

// ===== Ordered vector =====

// A vector of values in insertion order. The initial capacity is a hint that
// is reserved on the first insertion, so an empty vector allocates nothing.
//
// The first few entries (as many as fit in three pointers) are kept in the
// vector itself: the library keeps a child list in every operator node, and
// nearly all of them hold one to three entries, so most lists never touch
// the heap. Past that room the entries move to the heap and grow
// geometrically. Moving a vector moves entries that live in its own room,
// so pointers to entries do not survive a move; copies are deep.
template <class T>
class QVTValOrderedVector {
public:
    static constexpr size_t npos = static_cast<size_t>(-1);
    using iterator = T*;
    using const_iterator = const T*;

    // Entries held without a heap block.
    static constexpr size_t cInlineEntries = sizeof(T) <= 3 * sizeof(void*) ? 3 * sizeof(void*) / sizeof(T) : 0;

    explicit QVTValOrderedVector(size_t capacity = 64) : m_capacityHint(capacity) {}
    QVTValOrderedVector(const QVTValOrderedVector& other) : m_capacityHint(other.m_capacityHint) {
        copyFrom(other);
    }
    QVTValOrderedVector(QVTValOrderedVector&& other) noexcept(std::is_nothrow_move_constructible_v<T>)
        : m_capacityHint(other.m_capacityHint) {
        takeFrom(other);
    }
    QVTValOrderedVector& operator=(const QVTValOrderedVector& other) {
        if (this != &other) {
            QVTValOrderedVector copy(other);
            releaseAll();
            m_capacityHint = copy.m_capacityHint;
            takeFrom(copy);
        }
        return *this;
    }
    QVTValOrderedVector& operator=(QVTValOrderedVector&& other) noexcept(std::is_nothrow_move_constructible_v<T>) {
        if (this != &other) {
            releaseAll();
            m_capacityHint = other.m_capacityHint;
            takeFrom(other);
        }
        return *this;
    }
    ~QVTValOrderedVector() { releaseAll(); }

    size_t entries() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // Entries the vector holds before it must allocate (its own room
    // included).
    size_t capacity() const { return m_capacity; }
    // Reserves room for `capacity` entries now.
    void reserve(size_t capacity) {
        if (capacity > 0) m_capacityHint = 0;
        if (capacity > m_capacity) reallocate(capacity);
    }

    T& operator[](size_t i) { return at(i); }
    const T& operator[](size_t i) const { return at(i); }
    T& at(size_t i) {
        checkIndex(i, m_size, __LINE__);
        return items()[i];
    }
    const T& at(size_t i) const {
        checkIndex(i, m_size, __LINE__);
        return items()[i];
    }
    T& first() { return at(0); }
    T& last() { return at(m_size - 1); }
    const T& first() const { return at(0); }
    const T& last() const { return at(m_size - 1); }

    // Appending where there is room is the common case, kept short.
    void append(const T& value) {
        if (hasRoomAtEnd()) {
            new (items() + m_size) T(value);
            ++m_size;
        } else {
            insertAt(m_size, value);
        }
    }
    void append(T&& value) {
        if (hasRoomAtEnd()) {
            new (items() + m_size) T(std::move(value));
            ++m_size;
        } else {
            insertAt(m_size, std::move(value));
        }
    }
    // Appends `count` entries copied from `values`, which must not lie in
    // this vector.
    void appendRange(const T* values, size_t count) {
        if (m_capacityHint != 0) reserveHint();
        if (count > m_capacity - m_size) reallocate(grownCapacity(m_size + count));
        std::uninitialized_copy_n(values, count, items() + m_size);
        m_size += static_cast<uint32_t>(count);
    }
    void insert(const T& value) { append(value); }
    void prepend(const T& value) { insertAt(0, value); }
    // Inserts before entry `i`; `i` == entries() appends.
    void insertAt(size_t i, const T& value) { insertAt(i, T(value)); }
    void insertAt(size_t i, T&& value) {
        checkIndex(i, static_cast<size_t>(m_size) + 1, __LINE__);
        if (m_capacityHint != 0) reserveHint();
        if (m_size == m_capacity) {
            insertGrowing(i, std::move(value));
        } else if (i == m_size) {
            new (items() + i) T(std::move(value));
            ++m_size;
        } else {
            insertShifting(i, std::move(value));
        }
    }

    // Removes entry `i` and returns it.
    T removeAt(size_t i) {
        checkIndex(i, m_size, __LINE__);
        // An assertion handler that returns must not lead into erasing
        // outside the vector.
        if (i >= m_size) return T{};
        T* at = items();
        T value = std::move(at[i]);
        std::move(at + i + 1, at + m_size, at + i);
        at[m_size - 1].~T();
        --m_size;
        return value;
    }
    T removeFirst() { return removeAt(0); }
    T removeLast() { return removeAt(m_size - 1); }
    // Removes the first entry equal to `value`; false when there is none.
    bool remove(const T& value) {
        const size_t i = index(value);
        if (i == npos) return false;
        removeAt(i);
        return true;
    }
    // Keeps the room the vector has.
    void clear() {
        std::destroy_n(items(), m_size);
        m_size = 0;
    }

    // Index of the first entry equal to `value`, or npos.
    size_t index(const T& value) const {
        const T* at = items();
        for (size_t i = 0; i < m_size; ++i) {
            if (at[i] == value) return i;
        }
        return npos;
    }
    bool contains(const T& value) const { return index(value) != npos; }

    T* data() { return items(); }
    const T* data() const { return items(); }
    iterator begin() { return items(); }
    iterator end() { return items() + m_size; }
    const_iterator begin() const { return items(); }
    const_iterator end() const { return items() + m_size; }

private:
    // The most entries a vector holds; a 32-bit count keeps the vector small.
    static constexpr size_t cMaxEntries = UINT32_MAX;

    static void checkIndex(size_t i, size_t limit, int line) {
        if (i >= limit) QvAssertHandler("qvcutils", line);
    }
    bool onHeap() const { return m_capacity > cInlineEntries; }
    // Room for one more entry, with no capacity hint still to apply.
    bool hasRoomAtEnd() const { return m_size < m_capacity && m_capacityHint == 0; }
    T* inlineItems() { return reinterpret_cast<T*>(m_room.local); }
    const T* inlineItems() const { return reinterpret_cast<const T*>(m_room.local); }
    T* items() { return onHeap() ? m_room.heap : inlineItems(); }
    const T* items() const { return onHeap() ? m_room.heap : inlineItems(); }

    // The hint counts once, at the first insertion, as a vector that has
    // never held room reserves it then.
    void reserveHint() {
        const size_t hint = m_capacityHint;
        m_capacityHint = 0;
        if (hint > m_capacity) reallocate(hint);
    }
    size_t grownCapacity(size_t needed) const {
        if (needed > cMaxEntries) throw std::length_error("QVTValOrderedVector");
        const size_t doubled = 2 * static_cast<size_t>(m_capacity);
        return std::min(std::max(doubled, needed), cMaxEntries);
    }
    // Moves the entries into a heap block of exactly `capacity` entries.
    void reallocate(size_t capacity) {
        if (capacity > cMaxEntries) throw std::length_error("QVTValOrderedVector");
        T* fresh = std::allocator<T>().allocate(capacity);
        T* old = items();
        if constexpr (std::is_nothrow_move_constructible_v<T>) {
            std::uninitialized_move_n(old, m_size, fresh);
        } else {
            try {
                std::uninitialized_copy_n(old, m_size, fresh);
            } catch (...) {
                std::allocator<T>().deallocate(fresh, capacity);
                throw;
            }
        }
        std::destroy_n(old, m_size);
        freeHeap();
        m_room.heap = fresh;
        m_capacity = static_cast<uint32_t>(capacity);
    }
    // A full vector: the new entry goes straight into its place in the
    // bigger block, so `value` may be one of the entries being moved.
    void insertGrowing(size_t i, T&& value) {
        const size_t capacity = grownCapacity(static_cast<size_t>(m_size) + 1);
        T* fresh = std::allocator<T>().allocate(capacity);
        T* old = items();
        try {
            new (fresh + i) T(std::move(value));
        } catch (...) {
            std::allocator<T>().deallocate(fresh, capacity);
            throw;
        }
        std::uninitialized_move_n(old, i, fresh);
        std::uninitialized_move_n(old + i, m_size - i, fresh + i + 1);
        std::destroy_n(old, m_size);
        freeHeap();
        m_room.heap = fresh;
        m_capacity = static_cast<uint32_t>(capacity);
        ++m_size;
    }
    void insertShifting(size_t i, T&& value) {
        T held(std::move(value));  // `value` may be one of the entries that move
        T* at = items();
        new (at + m_size) T(std::move(at[m_size - 1]));
        ++m_size;
        std::move_backward(at + i, at + m_size - 2, at + m_size - 1);
        at[i] = std::move(held);
    }
    void freeHeap() {
        if (onHeap()) std::allocator<T>().deallocate(m_room.heap, m_capacity);
    }
    void releaseAll() {
        std::destroy_n(items(), m_size);
        freeHeap();
        m_size = 0;
        m_capacity = static_cast<uint32_t>(cInlineEntries);
    }
    void copyFrom(const QVTValOrderedVector& other) {
        if (other.m_size > cInlineEntries) {
            m_room.heap = std::allocator<T>().allocate(other.m_size);
            m_capacity = other.m_size;
            try {
                std::uninitialized_copy_n(other.items(), other.m_size, m_room.heap);
            } catch (...) {
                freeHeap();
                m_capacity = static_cast<uint32_t>(cInlineEntries);
                throw;
            }
        } else {
            std::uninitialized_copy_n(other.items(), other.m_size, inlineItems());
        }
        m_size = other.m_size;
    }
    // Takes the entries of `other`, which is left empty; this one is empty.
    void takeFrom(QVTValOrderedVector& other) {
        if (other.onHeap()) {
            m_room.heap = other.m_room.heap;
            m_capacity = other.m_capacity;
            m_size = other.m_size;
            other.m_capacity = static_cast<uint32_t>(cInlineEntries);
            other.m_size = 0;
            return;
        }
        std::uninitialized_move_n(other.inlineItems(), other.m_size, inlineItems());
        m_size = other.m_size;
        other.clear();
    }

    // The entries live in `local` while they fit, else in the heap block.
    union Room {
        Room() : heap(nullptr) {}
        ~Room() {}
        T* heap;
        alignas(T) unsigned char local[cInlineEntries > 0 ? cInlineEntries * sizeof(T) : 1];
    } m_room;
    uint32_t m_size = 0;
    uint32_t m_capacity = static_cast<uint32_t>(cInlineEntries);
    size_t m_capacityHint;
};

// ===== Hash containers =====

namespace qvcutils_detail {

// The hash of a key: the container's function when one was given, else the
// standard hash. Keys without a standard hash must be given a function;
// without one they all share a bucket (correct, but slow).
template <class K>
struct Hasher {
    unsigned int (*fn)(const K&) = nullptr;
    size_t operator()(const K& key) const {
        if (fn != nullptr) return fn(key);
        if constexpr (std::is_default_constructible_v<std::hash<K>>) {
            return std::hash<K>{}(key);
        } else {
            return 0;
        }
    }
};

}  // namespace qvcutils_detail

// A map from keys to values with a caller-chosen hash function.
template <class K, class V>
class QVTValHashDictionary {
public:
    using HashFn = unsigned int (*)(const K&);
    using Map = std::unordered_map<K, V, qvcutils_detail::Hasher<K>>;

    explicit QVTValHashDictionary(HashFn hash = nullptr, size_t buckets = 64)
        : m_map(buckets, qvcutils_detail::Hasher<K>{hash}) {}

    // Stores `value` under `key`, replacing an earlier value; true when the
    // key was new.
    bool insertKeyAndValue(const K& key, const V& value) {
        auto [it, inserted] = m_map.insert_or_assign(key, value);
        (void)it;
        return inserted;
    }
    bool contains(const K& key) const { return m_map.find(key) != m_map.end(); }
    // Copies the value stored under `key` into `value`; false (and `value`
    // unchanged) when there is none.
    bool findValue(const K& key, V& value) const {
        auto it = m_map.find(key);
        if (it == m_map.end()) return false;
        value = it->second;
        return true;
    }
    // The stored value, or null.
    V* find(const K& key) {
        auto it = m_map.find(key);
        return it == m_map.end() ? nullptr : &it->second;
    }
    const V* find(const K& key) const {
        auto it = m_map.find(key);
        return it == m_map.end() ? nullptr : &it->second;
    }
    bool remove(const K& key) { return m_map.erase(key) != 0; }
    size_t entries() const { return m_map.size(); }
    bool isEmpty() const { return m_map.empty(); }
    void clear() { m_map.clear(); }

    typename Map::iterator begin() { return m_map.begin(); }
    typename Map::iterator end() { return m_map.end(); }
    typename Map::const_iterator begin() const { return m_map.begin(); }
    typename Map::const_iterator end() const { return m_map.end(); }

private:
    Map m_map;
};

// A set of values with a caller-chosen hash function (the standard hash when
// none is given, e.g. for pointers).
template <class T>
class QVTValHashSet {
public:
    using HashFn = unsigned int (*)(const T&);
    using Set = std::unordered_set<T, qvcutils_detail::Hasher<T>>;

    explicit QVTValHashSet(HashFn hash = nullptr, size_t buckets = 64)
        : m_set(buckets, qvcutils_detail::Hasher<T>{hash}) {}
    explicit QVTValHashSet(size_t buckets) : QVTValHashSet(nullptr, buckets) {}

    // True when `value` was not yet in the set.
    bool insert(const T& value) { return m_set.insert(value).second; }
    bool contains(const T& value) const { return m_set.find(value) != m_set.end(); }
    bool remove(const T& value) { return m_set.erase(value) != 0; }
    size_t entries() const { return m_set.size(); }
    bool isEmpty() const { return m_set.empty(); }
    void clear() { m_set.clear(); }

    typename Set::const_iterator begin() const { return m_set.begin(); }
    typename Set::const_iterator end() const { return m_set.end(); }

private:
    Set m_set;
};

// ===== Thread-specific storage =====
//
// A slot (QVTssImplBase) holds one pointer per thread. A slot registered with
// the manager has its cleanup run on every thread that exits while its value
// in the slot is set, on that thread, after the value has been cleared. The
// main thread's values are cleaned when the process exits normally, before
// static objects are destroyed. Values set while a thread's storage is being
// cleaned are cleaned too (up to four rounds); a value set after that is not
// kept. Destroying a slot unregisters it; values other threads still hold in
// it are then no longer cleaned, so destroy a slot only after the threads
// that used it have ended or cleared their values.

class QVHOST_API QVTssImplBase {
public:
    QVTssImplBase();
    QVTssImplBase(const QVTssImplBase&) = delete;
    QVTssImplBase& operator=(const QVTssImplBase&) = delete;
    virtual ~QVTssImplBase();

    // The calling thread's value; null until it sets one.
    virtual void* get() const;
    // Sets the calling thread's value (null clears it; nothing is cleaned).
    virtual void set(void* value);
    // Releases `value`, a thread's non-null value, when that thread exits.
    virtual void cleanup(void* value) = 0;

    unsigned long long getSerial() const { return m_serial; }

private:
    unsigned long long m_serial;  // tells a slot from a later one at the same address
};

// A slot whose values are objects of type T, deleted on thread exit.
template <class T>
class QVTssImpl : public QVTssImplBase {
public:
    T* getValue() const { return static_cast<T*>(get()); }
    void setValue(T* value) { set(value); }
    void cleanup(void* value) override { delete static_cast<T*>(value); }
};

class QVHOST_API QVTSS_Manager {
public:
    // The process-wide manager; never null, never destroyed.
    static QVTSS_Manager* getTSSManager();

    // Registers `slot` so that its cleanup runs on thread exit; 0 on success
    // (also when it was registered already), -1 for null.
    int registerTss(QVTssImplBase* slot);
    // 0 when `slot` was registered, -1 otherwise.
    int unregisterTss(QVTssImplBase* slot);
    int isRegistered(const QVTssImplBase* slot) const;
    // Runs now, on the calling thread, what its exit would run (for threads
    // of a pool that outlive their work).
    void cleanupCurrentThread();

private:
    QVTSS_Manager() = default;
};
