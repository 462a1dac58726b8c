// Unicode text library of the host: QvUString, functions on bare UTF-16
// strings, character classes and number parsing.
//
// Every text the expression library handles is UTF-16 held in 16-bit units
// (`unsigned short`), always followed by a 0 unit. The multibyte encoding of
// the platform ("native", "MBCS") is UTF-8. Character classes, upper-casing
// and case-insensitive comparison are ICU's.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "qvhost_export.h"

// Opaque host locale handle; the library always passes none (default locale).
class QvLocale;

// A growable UTF-16 string with value semantics. Always 0-terminated: the
// buffer returned by getBuffer() holds length() units followed by a 0 unit.
// Embedded 0 units are allowed inside the length.
class QVHOST_API QvUString {
public:
    static constexpr size_t npos = static_cast<size_t>(-1);
    // The longest text a string holds without a heap buffer.
    static constexpr size_t kInlineLength = 15;

    QvUString() : m_data(m_inline), m_length(0), m_capacity(kInline) { m_inline[0] = 0; }
    QvUString(const QvUString& other);
    QvUString(QvUString&& other) noexcept;
    // From a 0-terminated UTF-16 string (null gives the empty string).
    explicit QvUString(const unsigned short* text);
    // From `length` units (null with length 0 gives the empty string).
    // Lexers make one string per name and literal, nearly all short, so a
    // text that fits the inline room is copied here without a call into the
    // host library.
    QvUString(const unsigned short* text, size_t length) : m_data(m_inline), m_length(0), m_capacity(kInline) {
        if (text != nullptr && length <= kInline) {
            copyShort(m_inline, text, length);
            m_inline[length] = 0;
            m_length = length;
        } else {
            m_inline[0] = 0;
            assign(text, length);
        }
    }
    // The same for a text inside a longer buffer, of which `readable` units
    // from `text` on may be read. A short text is then copied as one block of
    // the inline room's size: a branch on its length would go either way from
    // name to name.
    QvUString(const unsigned short* text, size_t length, size_t readable)
        : m_data(m_inline), m_length(0), m_capacity(kInline) {
        if (text != nullptr && length <= kInline && readable > kInline) {
            std::memcpy(m_inline, text, sizeof m_inline);
            m_inline[length] = 0;
            m_length = length;
        } else {
            m_inline[0] = 0;
            assign(text, length);
        }
    }
    // From 8-bit ASCII/Latin-1 text: each byte becomes one unit.
    explicit QvUString(const char* ascii);
    // Only a string that outgrew its inline room has anything to free.
    ~QvUString() {
        // A borrowed buffer (capacity 0) stays with its lender.
        if (m_data != m_inline && m_capacity != 0) releaseHeap();
    }

    QvUString& operator=(const QvUString& other);
    QvUString& operator=(QvUString&& other) noexcept;

    QvUString& assign(const QvUString& other);
    QvUString& assign(const unsigned short* text);  // 0-terminated
    // A short text from outside the string is copied in place, into the
    // inline room or a buffer already grown (never into a borrowed one, whose
    // capacity is 0): lexers assign names at a high rate.
    QvUString& assign(const unsigned short* text, size_t length) {
        const auto at = reinterpret_cast<uintptr_t>(text);
        const auto dataAt = reinterpret_cast<uintptr_t>(m_data);
        const size_t room = (m_capacity + 1) * sizeof(unsigned short);
        const bool outside = at >= dataAt + room || at + length * sizeof(unsigned short) <= dataAt;
        if (text == nullptr || length > kInline || length > m_capacity || isBorrowed() || !outside)
            return assignAny(text, length);
        copyShort(m_data, text, length);
        m_data[length] = 0;
        m_length = length;
        return *this;
    }
    // Each byte becomes one unit; `length` npos means up to the first 0 byte.
    QvUString& assignASCII(const char* text, size_t length = npos);
    // From the platform multibyte encoding (UTF-8); malformed sequences become
    // U+FFFD. `length` npos means up to the first 0 byte.
    QvUString& assignNative(const char* text, size_t length = npos);
    QvUString& assignMBCS(const char* text, size_t length = npos);

    void makeEmpty();
    // Upper-cases in place with ICU's full case mapping in the default locale
    // (the string may grow, e.g. U+00DF becomes "SS").
    QvUString& makeUpper(const QvLocale* locale = nullptr);
    QvUString& makeLower(const QvLocale* locale = nullptr);

    // Replaces `count` units at `pos` (clamped to the string) by `with`.
    QvUString& replace(size_t pos, size_t count, const unsigned short* with, size_t withLength);
    QvUString& replace(size_t pos, size_t count, const QvUString& with);
    // Replaces `count` units at `pos` by `repeat` copies of `unit`.
    QvUString& replace(size_t pos, size_t count, unsigned short unit, size_t repeat);
    QvUString& insert(size_t pos, const QvUString& text);
    QvUString& insert(size_t pos, const unsigned short* text, size_t length);
    QvUString& erase(size_t pos, size_t count = npos);

    QvUString& append(const QvUString& text);
    QvUString& append(const unsigned short* text);  // 0-terminated
    QvUString& append(const unsigned short* text, size_t length);
    QvUString& append(unsigned short unit);
    QvUString& appendASCII(const char* text, size_t length = npos);
    QvUString& operator+=(const QvUString& text) { return append(text); }
    QvUString& operator+=(unsigned short unit) { return append(unit); }

    // Reserves room for at least `capacity` units (plus the terminator).
    void alloc(size_t capacity);
    // Refers to the `length` units at `text` instead of copying them;
    // `text[length]` must be 0. The units must stay unchanged and alive while
    // this string refers to them: until it is changed, assigned or destroyed
    // (its first change copies them; a copy of it has units of its own). A
    // borrowed string answers capacity() 0. Lets a reader of a long text
    // that outlives it do without a copy.
    void assignBorrowed(const unsigned short* text, size_t length) {
        if (text == nullptr || text[length] != 0) return refuseBorrowing();
        if (m_data != m_inline && m_capacity != 0) releaseHeap();
        m_data = const_cast<unsigned short*>(text);
        m_length = length;
        m_capacity = 0;
    }

    // Newly allocated copies that the caller frees with delete[].
    unsigned short* getBufferCopy() const;  // 0-terminated UTF-16
    char* getMBCSCopy() const;              // 0-terminated UTF-8

    const unsigned short* getBuffer() const { return m_data; }
    const unsigned short* c_str() const { return m_data; }
    size_t length() const { return m_length; }
    size_t capacity() const { return m_capacity; }
    bool isEmpty() const { return m_length == 0; }
    unsigned short operator[](size_t i) const { return m_data[i]; }
    unsigned short at(size_t i) const;  // 0 past the end

    QvUString substr(size_t pos, size_t count = npos) const;
    size_t find(unsigned short unit, size_t from = 0) const;
    size_t find(const QvUString& text, size_t from = 0) const;

    // Code-unit order; 0 when equal.
    int compare(const QvUString& other) const;
    int compare(const unsigned short* text) const;  // 0-terminated
    // Case-insensitive (ICU case folding); 0 when equal.
    int caseCompare(const QvUString& other) const;
    bool equalsASCII(const char* text) const;

    friend bool operator==(const QvUString& a, const QvUString& b) { return a.compare(b) == 0; }
    friend bool operator!=(const QvUString& a, const QvUString& b) { return a.compare(b) != 0; }
    friend bool operator<(const QvUString& a, const QvUString& b) { return a.compare(b) < 0; }

    // printf-style formatting into this string (replacing its content).
    // Conversions: %d %i %u %x %X %o %c %e %f %g %E %G %p %% with flags, width,
    // precision (also `*`) and the length modifiers h hh l ll z j t L;
    // %s takes a 0-terminated UTF-16 string (`const unsigned short*`), %hs an
    // 8-bit string (`const char*`), %S is the same as %s. A null string prints
    // "(null)". Any argument length is safe. Returns the resulting length.
    int sprint(const char* format, ...);
    int sprint(const unsigned short* format, ...);
    int vsprint(const char* format, va_list args);
    int vsprint(const unsigned short* format, va_list args);

    std::string toUtf8() const;
    static QvUString fromUtf8(std::string_view utf8);

private:
    void reserveExact(size_t capacity);
    QvUString& assignAny(const unsigned short* text, size_t length);
    // Frees the heap buffer; the host library allocated it, so it frees it.
    // A borrowed buffer is left to its lender.
    void releaseHeap();
    bool isBorrowed() const { return m_capacity == 0; }
    // Only a 0-terminated text can be borrowed: an assertion, after which
    // (if the handler returns) the string is empty.
    void refuseBorrowing();
    // Copies borrowed units into a buffer of the string's own.
    void ownUnits();
    // Back to the empty inline buffer, freeing or leaving what was there.
    void dropUnits();
    // Back to the empty inline buffer, whatever was there (freed elsewhere
    // or not the string's own).
    void resetToInline() {
        m_data = m_inline;
        m_capacity = kInline;
        m_length = 0;
        m_inline[0] = 0;
    }
    // Copies `count` units, at most kInline, as two copies of a fixed size
    // that overlap in the middle: no call, and nothing outside the `count`
    // units of `from` is read.
    static void copyShort(unsigned short* to, const unsigned short* from, size_t count) {
        static_assert(kInline < 16, "two copies of 8 units cover the inline room");
        if (count >= 8) {
            std::memcpy(to, from, 8 * sizeof(unsigned short));
            std::memcpy(to + count - 8, from + count - 8, 8 * sizeof(unsigned short));
        } else if (count >= 4) {
            std::memcpy(to, from, 4 * sizeof(unsigned short));
            std::memcpy(to + count - 4, from + count - 4, 4 * sizeof(unsigned short));
        } else if (count >= 2) {
            std::memcpy(to, from, 2 * sizeof(unsigned short));
            std::memcpy(to + count - 2, from + count - 2, 2 * sizeof(unsigned short));
        } else if (count == 1) {
            to[0] = from[0];
        }
    }

    static constexpr size_t kInline = kInlineLength;
    unsigned short* m_data;
    size_t m_length;
    size_t m_capacity;
    unsigned short m_inline[kInline + 1];
};

// ---- bare UTF-16 strings (0-terminated) ----
QVHOST_API size_t qvUStrlen(const unsigned short* s);
QVHOST_API unsigned short* qvUStrcpy(unsigned short* dst, const unsigned short* src);
QVHOST_API int qvUStrcmp(const unsigned short* a, const unsigned short* b);
QVHOST_API int qvUStrncmp(const unsigned short* a, const unsigned short* b, size_t n);
// Case-insensitive through ICU case folding; 0 when equal.
QVHOST_API int qvUStricmp(const unsigned short* a, const unsigned short* b);
QVHOST_API int qvUStrnicmp(const unsigned short* a, const unsigned short* b, size_t n);
// UTF-16 `u` against 8-bit `a`, case-insensitive, at most `n` units.
QVHOST_API int qvUAStrnicmp(const unsigned short* u, const char* a, size_t n);
// 8-bit to UTF-16 (each byte one unit) into `dst` with room for `dstSize`
// units including the terminator; returns the number of units written
// (without the terminator).
QVHOST_API size_t qvA2U(unsigned short* dst, const char* src, size_t dstSize);
// UTF-16 to 8-bit into `dst` with room for `dstSize` bytes including the
// terminator; units above 0xFF become '?'. Returns the bytes written.
QVHOST_API size_t qvUnicodeToASCII(char* dst, const unsigned short* src, size_t dstSize);
// UTF-16 to UTF-8 into a fixed buffer of at most `maxBytes` bytes (without
// the terminator, which is always written at dst[result]); never splits a
// character. Returns the bytes written.
QVHOST_API size_t qvU2MFixedWidth(char* dst, const unsigned short* src, size_t maxBytes);

// ---- character classes on one UTF-16 unit (non-zero for a member) ----
QVHOST_API int qvUIsASCII(unsigned short c);
QVHOST_API int qvUIsCntrl(unsigned short c);
QVHOST_API int qvUIsDigit(unsigned short c);     // '0'..'9'
QVHOST_API int qvUIsAnyDigit(unsigned short c);  // any Unicode decimal digit
QVHOST_API int qvUIsPunct(unsigned short c);
QVHOST_API int qvUIsSpace(unsigned short c);
QVHOST_API int qvUIsAlpha(unsigned short c);
QVHOST_API int qvUIsAlnum(unsigned short c);
using QvUCharClassFn = int (*)(unsigned short);
// Non-zero when every unit of the 0-terminated `s` is in the class.
QVHOST_API int qvUCheckAll(const unsigned short* s, QvUCharClassFn cls);

// ---- number parsing ----
// Like strtod on UTF-16 text (ASCII digits, sign, '.', exponent, leading
// white space); `end` receives the first unit not read (or `s` when nothing
// was read). Sets errno to ERANGE on overflow/underflow like strtod.
QVHOST_API double qvUStrtod(const unsigned short* s, unsigned short** end);
// Like strtoll in base 10 on UTF-16 text; saturates and sets errno to ERANGE
// when out of range. `end` may be null.
QVHOST_API int64_t qvUToI64(const unsigned short* s, unsigned short** end = nullptr);

// ---- integers to text ----
struct QVHOST_API QvN2s {
    // Writes the digits of `value` into `dst` (room for at least 21 units)
    // and returns the number of units written (0-terminated).
    static int u64ToStringX(unsigned short* dst, uint64_t value);
    static int i64ToStringX(unsigned short* dst, int64_t value);
    static int i32ToStringX(unsigned short* dst, int32_t value);
};

// Convenience for tests and tools: a UTF-16 string from a UTF-8 literal.
inline QvUString qvU(std::string_view utf8) { return QvUString::fromUtf8(utf8); }
