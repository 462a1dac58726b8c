// XStack: the node stack of the parser. The grammar actions push and pop the
// nodes they build on it, and every tree walk borrows it as its work stack, so
// one array serves a whole parse without reallocating per walk.
#pragma once

#include <cstdint>
#include <memory>

#include "qvcmnexpr/qvcmnexpr_export.h"

class XNode;

class QVCMNEXPR_API XStack {
public:
    XStack();
    ~XStack();  // frees the array, never the nodes on it
    XStack(const XStack&) = delete;
    XStack& operator=(const XStack&) = delete;

    // Pushes `node` (null is allowed) and returns it. A full stack grows by
    // cGrowBy entries; when it cannot grow any further the text of message
    // 19014 is thrown as a QvUString.
    XNode* push(XNode* node) {
        // m_pushLimit is the nearer of the capacity and the end of the array,
        // so one test covers both.
        if (m_count == m_pushLimit) return pushGrowing(node);
        m_entries[m_count++] = node;
        return node;
    }
    // The top entry, removed; null when empty.
    XNode* pop() { return m_count == 0 ? nullptr : m_entries[--m_count]; }
    // The top entry; null when empty.
    XNode* top() const { return m_count == 0 ? nullptr : m_entries[m_count - 1]; }
    int isEmpty() const { return m_count == 0 ? 1 : 0; }
    void clear() { m_count = 0; }
    uint32_t getCount() const { return m_count; }
    uint32_t getCapacity() const { return m_capacity; }
    // The top `n` entries, lowest first (n <= getCount()), valid until the
    // next push; dropTop(n) then removes them. An operator adopts its
    // operands from here without popping them one by one.
    XNode* const* topEntries(uint32_t n) const { return m_entries + (m_count - n); }
    void dropTop(uint32_t n) { m_count -= n; }

    static constexpr uint32_t cInitialCapacity = 128;
    static constexpr uint32_t cGrowBy = 128;
    // Above this capacity one more growth step would overflow the 32-bit count.
    static constexpr uint32_t cMaxGrowableCapacity = UINT32_MAX - cGrowBy;

protected:
    // The capacity after one growth step from `capacity`; throws the QvUString
    // of message 19014 when `capacity` is above cMaxGrowableCapacity.
    static uint32_t stc_grownCapacity(uint32_t capacity);

private:
    // Entries held in the object itself: tree walks use short-lived stacks
    // that then never touch the heap.
    static constexpr uint32_t cInlineEntries = 32;

    void growStorage();
    XNode* pushGrowing(XNode* node);

    // The capacity callers see follows the fixed 128-entry steps (and their
    // limit); the array behind it doubles independently of those steps and
    // may run ahead of them, so a deep tree costs linear time to build, walk
    // and delete rather than one copy of the stack per 128 levels.
    uint32_t m_capacity;
    uint32_t m_count;
    uint32_t m_storageSize;
    uint32_t m_pushLimit;  // min(m_capacity, m_storageSize)
    XNode** m_entries;
    std::unique_ptr<XNode*[]> m_heapEntries;
    XNode* m_inlineEntries[cInlineEntries];
};
