// Common-utilities library of the host: the value containers the expression
// library keeps its lists, maps and sets in, and thread-specific storage.
//
// The containers are thin wrappers over the standard containers with the
// vocabulary the library is written in (entries, append, insertAt,
// removeLast, insertKeyAndValue, ...). Index errors are internal invariants
// (QvAssertHandler, source unit "qvcutils"), not exceptions.
#pragma once

#include <cstddef>
#include <functional>
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
template <class T>
class QVTValOrderedVector {
public:
    static constexpr size_t npos = static_cast<size_t>(-1);
    using iterator = typename std::vector<T>::iterator;
    using const_iterator = typename std::vector<T>::const_iterator;

    explicit QVTValOrderedVector(size_t capacity = 64) : m_capacityHint(capacity) {}

    size_t entries() const { return m_items.size(); }
    bool isEmpty() const { return m_items.empty(); }
    size_t capacity() const { return m_items.capacity(); }
    // Reserves room for `capacity` entries now.
    void reserve(size_t capacity) { m_items.reserve(capacity); }

    T& operator[](size_t i) { return at(i); }
    const T& operator[](size_t i) const { return at(i); }
    T& at(size_t i) {
        checkIndex(i, m_items.size(), __LINE__);
        return m_items[i];
    }
    const T& at(size_t i) const {
        checkIndex(i, m_items.size(), __LINE__);
        return m_items[i];
    }
    T& first() { return at(0); }
    T& last() { return at(m_items.size() - 1); }
    const T& first() const { return at(0); }
    const T& last() const { return at(m_items.size() - 1); }

    void append(const T& value) { insertAt(m_items.size(), value); }
    void append(T&& value) { insertAt(m_items.size(), std::move(value)); }
    void insert(const T& value) { append(value); }
    void prepend(const T& value) { insertAt(0, value); }
    // Inserts before entry `i`; `i` == entries() appends.
    void insertAt(size_t i, const T& value) { insertAt(i, T(value)); }
    void insertAt(size_t i, T&& value) {
        checkIndex(i, m_items.size() + 1, __LINE__);
        reserveHint();
        m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(i), std::move(value));
    }

    // Removes entry `i` and returns it.
    T removeAt(size_t i) {
        checkIndex(i, m_items.size(), __LINE__);
        // An assertion handler that returns must not lead into erasing
        // outside the vector.
        if (i >= m_items.size()) return T{};
        T value = std::move(m_items[i]);
        m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(i));
        return value;
    }
    T removeFirst() { return removeAt(0); }
    T removeLast() { return removeAt(m_items.size() - 1); }
    // Removes the first entry equal to `value`; false when there is none.
    bool remove(const T& value) {
        const size_t i = index(value);
        if (i == npos) return false;
        removeAt(i);
        return true;
    }
    void clear() { m_items.clear(); }

    // Index of the first entry equal to `value`, or npos.
    size_t index(const T& value) const {
        for (size_t i = 0; i < m_items.size(); ++i) {
            if (m_items[i] == value) return i;
        }
        return npos;
    }
    bool contains(const T& value) const { return index(value) != npos; }

    T* data() { return m_items.data(); }
    const T* data() const { return m_items.data(); }
    iterator begin() { return m_items.begin(); }
    iterator end() { return m_items.end(); }
    const_iterator begin() const { return m_items.begin(); }
    const_iterator end() const { return m_items.end(); }

private:
    static void checkIndex(size_t i, size_t limit, int line) {
        if (i >= limit) QvAssertHandler("qvcutils", line);
    }
    void reserveHint() {
        if (m_items.capacity() == 0 && m_capacityHint > 0) m_items.reserve(m_capacityHint);
    }

    std::vector<T> m_items;
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
