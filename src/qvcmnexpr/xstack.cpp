// The parser's node stack: a plain array that grows in fixed steps.
#include "qvcmnexpr/xstack.h"

#include <algorithm>

#include "qvi18n.h"
#include "qvutils.h"

namespace {
constexpr int kMsgStackCannotGrow = 19014;
}

XStack::XStack()
    : m_entries(new XNode*[cInitialCapacity]), m_capacity(cInitialCapacity), m_count(0) {}

XStack::~XStack() = default;

uint32_t XStack::stc_grownCapacity(uint32_t capacity) {
    if (capacity > cMaxGrowableCapacity) throw QvUString(qvGetMsg(kMsgStackCannotGrow));
    return capacity + cGrowBy;
}

void XStack::grow() {
    const uint32_t capacity = stc_grownCapacity(m_capacity);
    std::unique_ptr<XNode*[]> entries(new XNode*[capacity]);
    std::copy(m_entries.get(), m_entries.get() + m_count, entries.get());
    m_entries = std::move(entries);
    m_capacity = capacity;
}

XNode* XStack::push(XNode* node) {
    if (m_count == m_capacity) grow();
    m_entries[m_count++] = node;
    return node;
}

XNode* XStack::pop() {
    if (m_count == 0) return nullptr;
    return m_entries[--m_count];
}

XNode* XStack::top() const {
    if (m_count == 0) return nullptr;
    return m_entries[m_count - 1];
}
