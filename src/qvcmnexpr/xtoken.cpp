// Vocabulary lookups and the name chains of qualified references.
//
// The tables themselves are constant data (xtokentables.h and its .def
// files); what is built here at load time are the UTF-16 forms that callers
// receive by reference, so a lookup never allocates.
#include "qvcmnexpr/xtoken.h"

#include <algorithm>
#include <array>
#include <new>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xtype.h"
#include "xtokentables.h"

namespace {

// ---- type annotations ----

using AnnotationStrings = std::array<QvUString, gTypeAnnotationCount>;

const AnnotationStrings& annotationStrings() {
    static const AnnotationStrings strings = [] {
        AnnotationStrings built;
        for (int i = 0; i < gTypeAnnotationCount; ++i) built[i].assignASCII(gTypeAnnotationTable[i].annotation);
        return built;
    }();
    return strings;
}

// Index of the row of `type`, or -1.
constexpr int findAnnotationRow(int type) {
    const XTypeAnnotationRow* begin = std::begin(gTypeAnnotationTable);
    const XTypeAnnotationRow* end = std::end(gTypeAnnotationTable);
    const XTypeAnnotationRow* row =
        std::lower_bound(begin, end, type, [](const XTypeAnnotationRow& r, int t) { return r.type < t; });
    return (row != end && row->type == type) ? static_cast<int>(row - begin) : -1;
}

constexpr int s_invalidTypeRow = findAnnotationRow(eXMINT_INVALID);

// Tables are built when the library is loaded, never by a parsing thread.
[[maybe_unused]] const bool s_builtAtLoad = (annotationStrings(), true);

}  // namespace

const QvUString& XToken::getTypeAnnotation(XType type) {
    const int row = findAnnotationRow(type.toInteger());
    return annotationStrings()[row >= 0 ? row : s_invalidTypeRow];
}

// ---- XTokName ----

XTokName::XTokName(const QvUString& name, int level, XTokName* next) : m_name(name), m_level(level), m_next(next) {}

XTokName::XTokName(XTokName* other) : m_name(other->m_name), m_level(other->m_level), m_next(other->m_next) {}

XTokName::~XTokName() = default;

XTokName* XTokName::prepend(XTokName* first) {
    first->m_level = m_level + 1;
    first->m_next = this;
    return first;
}

XTokName* XTokName::getLast() {
    XTokName* last = this;
    while (last->m_next) last = last->m_next;
    return last;
}

XTokName* XTokName::getSecondFromLast() {
    if (!m_next) return nullptr;
    XTokName* before = this;
    while (before->m_next->m_next) before = before->m_next;
    return before;
}

XTokName* XTokName::removeLast() {
    XTokName* before = getSecondFromLast();
    if (!before) return nullptr;
    XTokName* last = before->m_next;
    before->m_next = nullptr;
    decrementLevel();
    return last;
}

int XTokName::decrementLevel() {
    for (XTokName* t = this; t; t = t->m_next)
        if (t->m_level > 0) --t->m_level;
    return m_level;
}

const unsigned short** XTokName::getNameQualifiers() {
    QV_ASSERT(m_level >= 1, "xtoken");
    m_qualifiers.reset();
    m_qualifiers = std::make_unique<const unsigned short*[]>(static_cast<size_t>(m_level));
    m_qualifiers[m_level - 1] = nullptr;
    XTokName* t = this;
    for (int i = m_level - 2; i >= 0 && t; --i, t = t->m_next) m_qualifiers[i] = t->m_name.getBuffer();
    return m_qualifiers.get();
}

int XTokName::isSame(XTokName* other) {
    if (!other || m_level != other->m_level) return 0;
    XTokName* a = this;
    XTokName* b = other;
    for (; a && b; a = a->m_next, b = b->m_next)
        if (a->m_name != b->m_name) return 0;
    return (a == nullptr && b == nullptr) ? 1 : 0;
}

// ---- XTokNameAllocator ----

XTokName* XTokNameAllocator::allocToken(const QvUString* name, int level) {
    XTokName* token = new (std::nothrow) XTokName(name ? *name : QvUString(), level, nullptr);
    if (!token) return nullptr;
    token->setNextInFreeList(m_head);
    m_head = token;
    return token;
}

XTokNameAllocator::~XTokNameAllocator() {
    while (m_head) {
        XTokName* next = m_head->getNextInFreeList();
        delete m_head;
        m_head = next;
    }
}
