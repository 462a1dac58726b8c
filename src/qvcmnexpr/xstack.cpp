// The parser's node stack: an array whose capacity steps up by a fixed
// amount as callers see it, backed by storage that doubles.
#include "qvcmnexpr/xstack.h"

#include <algorithm>

#include "qvi18n.h"
#include "qvutils.h"

XStack::XStack()
    : m_capacity(cInitialCapacity), m_count(0), m_storageSize(cInlineEntries),
      m_pushLimit(cInlineEntries), m_entries(m_inlineEntries) {}

XStack::~XStack() = default;

uint32_t XStack::stc_grownCapacity(uint32_t capacity) {
    if (capacity > cMaxGrowableCapacity) throw QvUString(qvGetMsg(eQvMSG_NODE_STACK_CANNOT_GROW));
    return capacity + cGrowBy;
}

// Doubles the array whatever the capacity step: capping it at the step
// would copy the whole stack once per 128 pushes. Only called with
// m_count < m_capacity <= UINT32_MAX, so the new size has room for one more.
void XStack::growStorage() {
    const uint64_t doubled = std::max<uint64_t>(2ull * m_storageSize, 256);
    const uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(doubled, UINT32_MAX));
    std::unique_ptr<XNode*[]> entries(new XNode*[size]);
    std::copy(m_entries, m_entries + m_count, entries.get());
    m_heapEntries = std::move(entries);
    m_entries = m_heapEntries.get();
    m_storageSize = size;
}

// The push that meets a full stack: the next 128-entry step first (which
// may throw), then room in the array.
XNode* XStack::pushGrowing(XNode* node) {
    if (m_count == m_capacity) m_capacity = stc_grownCapacity(m_capacity);
    if (m_count == m_storageSize) growStorage();
    m_pushLimit = std::min(m_capacity, m_storageSize);
    m_entries[m_count++] = node;
    return node;
}
