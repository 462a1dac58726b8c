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

    // Pushes `node` (null is allowed) and returns it. A full array grows by
    // cGrowBy entries; when it cannot grow any further the text of message
    // 19014 is thrown as a QvUString.
    XNode* push(XNode* node);
    XNode* pop();        // the top entry, removed; null when empty
    XNode* top() const;  // the top entry; null when empty
    int isEmpty() const { return m_count == 0 ? 1 : 0; }
    void clear() { m_count = 0; }
    uint32_t getCount() const { return m_count; }
    uint32_t getCapacity() const { return m_capacity; }

    static constexpr uint32_t cInitialCapacity = 128;
    static constexpr uint32_t cGrowBy = 128;
    // Above this capacity one more growth step would overflow the 32-bit count.
    static constexpr uint32_t cMaxGrowableCapacity = UINT32_MAX - cGrowBy;

protected:
    // The capacity after one growth step from `capacity`; throws the QvUString
    // of message 19014 when `capacity` is above cMaxGrowableCapacity.
    static uint32_t stc_grownCapacity(uint32_t capacity);

private:
    void grow();

    std::unique_ptr<XNode*[]> m_entries;
    uint32_t m_capacity;
    uint32_t m_count;
};
