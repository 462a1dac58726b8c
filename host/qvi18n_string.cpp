// QvUString storage: the value semantics, growth and editing of the host
// UTF-16 string. Short strings live in the object itself; longer ones on the
// heap with geometric growth so that appending in a loop stays linear.
// Every edit funnels through replace(), which also copes with source text
// that lies inside the string being edited.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#include "qvcmnasrt.h"
#include "qvi18n.h"

namespace {

constexpr size_t kMaxUnits = static_cast<size_t>(-1) / sizeof(unsigned short) / 2;

// Whether `p` points into the `units` units starting at `base`. std::less
// gives a total order even for pointers into unrelated objects.
bool pointsInto(const unsigned short* p, const unsigned short* base, size_t units) {
    std::less<const unsigned short*> before;
    return !before(p, base) && before(p, base + units);
}

size_t clampCount(size_t pos, size_t count, size_t length) {
    return std::min(count, length - pos);
}

// Whether `length` units from `text` fit into `room` units and come from
// outside the buffer of `capacity` units at `data` (plus its terminator):
// the case that append copies straight in.
bool fitsUnaliased(const unsigned short* text, size_t length, size_t room, const unsigned short* data,
                   size_t capacity) {
    return text != nullptr && length <= room && !pointsInto(text, data, capacity + 1);
}

// Copies the units to `at` and terminates them there; returns the new length.
size_t copyIn(unsigned short* data, size_t at, const unsigned short* text, size_t length) {
    std::memcpy(data + at, text, length * sizeof(unsigned short));
    data[at + length] = 0;
    return at + length;
}

}  // namespace

QvUString::QvUString(const QvUString& other) : QvUString() { append(other.m_data, other.m_length); }

QvUString::QvUString(QvUString&& other) noexcept : QvUString() { *this = std::move(other); }

QvUString::QvUString(const unsigned short* text) : QvUString() { append(text); }

QvUString::QvUString(const char* ascii) : QvUString() { appendASCII(ascii); }

void QvUString::releaseHeap() {
    if (!isBorrowed()) delete[] m_data;
}

void QvUString::refuseBorrowing() {
    QvAssertHandler("qvi18n", __LINE__);
    makeEmpty();
}

// A borrowed string takes a copy of its units before it changes: they are
// the lender's. (Only a borrowed string comes here, and it owns no buffer:
// the string goes back to its inline room without freeing anything, which
// also leaves the compiler no path on which the lender's units are freed
// before they are read.)
void QvUString::ownUnits() {
    const unsigned short* text = m_data;
    const size_t length = m_length;
    resetToInline();
    assign(text, length);
}

void QvUString::dropUnits() {
    if (m_data != m_inline) releaseHeap();
    resetToInline();
}

QvUString& QvUString::operator=(const QvUString& other) { return assign(other); }

// A heap buffer changes hands; an inline one has to be copied because its
// address belongs to the other object.
QvUString& QvUString::operator=(QvUString&& other) noexcept {
    if (this == &other) return *this;
    if (m_data != m_inline) releaseHeap();
    // A borrowed buffer changes hands as it is: it stays borrowed.
    if (other.m_data == other.m_inline) {
        std::memcpy(m_inline, other.m_inline, (other.m_length + 1) * sizeof(unsigned short));
        m_data = m_inline;
        m_capacity = kInline;
    } else {
        m_data = other.m_data;
        m_capacity = other.m_capacity;
    }
    m_length = other.m_length;
    other.m_data = other.m_inline;
    other.m_capacity = kInline;
    other.m_length = 0;
    other.m_inline[0] = 0;
    return *this;
}

QvUString& QvUString::assign(const QvUString& other) {
    if (this == &other) return *this;
    return assign(other.m_data, other.m_length);
}

QvUString& QvUString::assign(const unsigned short* text) { return assign(text, qvUStrlen(text)); }

// Lexers and parsers assign and append texts at a high rate: a source from
// outside the string is copied straight in (once, without the zero fill of
// replace()), and only a source inside it takes the general path.
QvUString& QvUString::assignAny(const unsigned short* text, size_t length) {
    // The lender's units stay where they are, so `text` may point into them.
    if (isBorrowed()) dropUnits();
    if (text == nullptr || pointsInto(text, m_data, m_capacity + 1)) return replace(0, m_length, text, length);
    // The old content is dropped first, so that growing copies none of it
    // and the new units are written once.
    m_length = 0;
    if (length > m_capacity) reserveExact(std::max(length, m_capacity * 2));
    m_length = copyIn(m_data, 0, text, length);
    return *this;
}

QvUString& QvUString::assignASCII(const char* text, size_t length) {
    makeEmpty();
    return appendASCII(text, length);
}

void QvUString::makeEmpty() {
    if (isBorrowed()) dropUnits();
    m_length = 0;
    m_data[0] = 0;
}

// Exactly `capacity` units plus the terminator; never shrinks below the
// current content or back into the inline buffer.
void QvUString::reserveExact(size_t capacity) {
    if (isBorrowed()) ownUnits();
    if (capacity <= m_capacity) return;
    QV_ASSERT(capacity < kMaxUnits, "qvi18n");
    auto grown = std::make_unique_for_overwrite<unsigned short[]>(capacity + 1);
    std::memcpy(grown.get(), m_data, (m_length + 1) * sizeof(unsigned short));
    if (m_data != m_inline) releaseHeap();
    m_data = grown.release();
    m_capacity = capacity;
}

// Geometric as well, so that callers reserving one more unit at a time stay
// linear.
void QvUString::alloc(size_t capacity) {
    if (capacity > m_capacity) reserveExact(std::max(capacity, m_capacity * 2));
}

QvUString& QvUString::replace(size_t pos, size_t count, const unsigned short* with, size_t withLength) {
    QV_ASSERT(with != nullptr || withLength == 0, "qvi18n");
    if (withLength > 0 && pointsInto(with, m_data, m_capacity + 1)) {
        // The source would move or be overwritten while we edit: copy it first.
        QvUString copy(with, withLength);
        return replace(pos, count, copy.m_data, copy.m_length);
    }
    pos = std::min(pos, m_length);
    replace(pos, count, static_cast<unsigned short>(0), withLength);
    if (withLength > 0) std::memcpy(m_data + pos, with, withLength * sizeof(unsigned short));
    return *this;
}

QvUString& QvUString::replace(size_t pos, size_t count, const QvUString& with) {
    return replace(pos, count, with.m_data, with.m_length);
}

// The one place that resizes content: opens (or closes) the gap at `pos` and
// fills it with `unit`.
QvUString& QvUString::replace(size_t pos, size_t count, unsigned short unit, size_t repeat) {
    if (isBorrowed()) ownUnits();
    pos = std::min(pos, m_length);
    count = clampCount(pos, count, m_length);
    QV_ASSERT(repeat < kMaxUnits - (m_length - count), "qvi18n");
    size_t newLength = m_length - count + repeat;
    if (newLength > m_capacity) reserveExact(std::max(newLength, m_capacity * 2));
    size_t tail = m_length - pos - count;
    std::memmove(m_data + pos + repeat, m_data + pos + count, (tail + 1) * sizeof(unsigned short));
    std::fill_n(m_data + pos, repeat, unit);
    m_length = newLength;
    return *this;
}

QvUString& QvUString::insert(size_t pos, const QvUString& text) { return replace(pos, 0, text); }

QvUString& QvUString::insert(size_t pos, const unsigned short* text, size_t length) {
    return replace(pos, 0, text, length);
}

QvUString& QvUString::erase(size_t pos, size_t count) { return replace(pos, count, nullptr, 0); }

QvUString& QvUString::append(const QvUString& text) { return replace(m_length, 0, text.m_data, text.m_length); }

QvUString& QvUString::append(const unsigned short* text) { return append(text, qvUStrlen(text)); }

QvUString& QvUString::append(const unsigned short* text, size_t length) {
    if (isBorrowed()) ownUnits();
    if (!fitsUnaliased(text, length, m_capacity - m_length, m_data, m_capacity))
        return replace(m_length, 0, text, length);
    m_length = copyIn(m_data, m_length, text, length);
    return *this;
}

QvUString& QvUString::append(unsigned short unit) { return replace(m_length, 0, unit, 1); }

QvUString& QvUString::appendASCII(const char* text, size_t length) {
    if (text == nullptr) return *this;
    if (length == npos) length = std::strlen(text);
    size_t start = m_length;
    replace(start, 0, static_cast<unsigned short>(0), length);
    for (size_t i = 0; i < length; ++i) m_data[start + i] = static_cast<unsigned char>(text[i]);
    return *this;
}

unsigned short* QvUString::getBufferCopy() const {
    auto copy = std::make_unique_for_overwrite<unsigned short[]>(m_length + 1);
    std::memcpy(copy.get(), m_data, (m_length + 1) * sizeof(unsigned short));
    return copy.release();
}

unsigned short QvUString::at(size_t i) const { return i < m_length ? m_data[i] : 0; }

QvUString QvUString::substr(size_t pos, size_t count) const {
    pos = std::min(pos, m_length);
    return QvUString(m_data + pos, clampCount(pos, count, m_length));
}

size_t QvUString::find(unsigned short unit, size_t from) const {
    if (from >= m_length) return npos;
    const unsigned short* hit = std::find(m_data + from, m_data + m_length, unit);
    return hit == m_data + m_length ? npos : static_cast<size_t>(hit - m_data);
}

size_t QvUString::find(const QvUString& text, size_t from) const {
    if (from > m_length) return npos;
    const unsigned short* end = m_data + m_length;
    const unsigned short* begin = m_data + from;
    const unsigned short* hit = std::search(begin, end, text.m_data, text.m_data + text.m_length);
    if (hit == end && text.m_length > 0) return npos;
    return static_cast<size_t>(hit - m_data);
}

namespace {

int compareUnits(const unsigned short* a, size_t aLength, const unsigned short* b, size_t bLength) {
    size_t common = std::min(aLength, bLength);
    for (size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    if (aLength == bLength) return 0;
    return aLength < bLength ? -1 : 1;
}

}  // namespace

int QvUString::compare(const QvUString& other) const {
    return compareUnits(m_data, m_length, other.m_data, other.m_length);
}

int QvUString::compare(const unsigned short* text) const {
    static const unsigned short empty = 0;
    if (text == nullptr) text = &empty;
    return compareUnits(m_data, m_length, text, qvUStrlen(text));
}

bool QvUString::equalsASCII(const char* text) const {
    if (text == nullptr) return m_length == 0;
    size_t length = std::strlen(text);
    if (length != m_length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (m_data[i] != static_cast<unsigned char>(text[i])) return false;
    }
    return true;
}
