// The ICU-backed half of the text library: case mapping, case-insensitive
// comparison, UTF-8 conversion, character classes and the plain functions on
// bare 0-terminated UTF-16 strings.
//
// Case mapping uses ICU's root locale rather than the process default: the
// expression library upper-cases keywords and names with it, and a Turkish
// or Lithuanian process locale must not turn "if" into something that no
// longer matches "IF".
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "qvcmnasrt.h"
#include "qvi18n.h"

namespace {

const char* const kCaseLocale = "";

const UChar* asUChar(const unsigned short* p) { return reinterpret_cast<const UChar*>(p); }
UChar* asUChar(unsigned short* p) { return reinterpret_cast<UChar*>(p); }

int32_t toInt32Length(size_t length) {
    QV_ASSERT(length <= static_cast<size_t>(INT32_MAX), "qvi18n");
    return static_cast<int32_t>(length);
}

int sign(int32_t v) { return (v > 0) - (v < 0); }

// ICU's classes of the 128 ASCII units, restated so that an ASCII unit costs
// one table read instead of a call into ICU (the tests hold every unit of
// the table against ICU). ICU puts $ + < = > ^ ` | ~ among the symbols, not
// the punctuation, and counts U+001C..U+001F as white space.
enum AsciiClass : unsigned char {
    kAsciiCntrl = 1,
    kAsciiDigit = 2,
    kAsciiPunct = 4,
    kAsciiSpace = 8,
    kAsciiAlpha = 16,
};

constexpr bool isAsciiSymbol(unsigned c) {
    for (const char* s = "$+<=>^`|~"; *s != 0; ++s)
        if (c == static_cast<unsigned>(*s)) return true;
    return false;
}

constexpr unsigned char asciiClassOf(unsigned c) {
    const bool cntrl = c < 0x20 || c == 0x7F;
    const bool digit = c >= '0' && c <= '9';
    const bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    const bool space = (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x20);
    const bool punct = !cntrl && !digit && !alpha && c != ' ' && !isAsciiSymbol(c);
    return static_cast<unsigned char>((cntrl ? kAsciiCntrl : 0) | (digit ? kAsciiDigit : 0) |
                                      (punct ? kAsciiPunct : 0) | (space ? kAsciiSpace : 0) |
                                      (alpha ? kAsciiAlpha : 0));
}

struct AsciiClassTable {
    unsigned char classes[0x80];
};

constexpr AsciiClassTable makeAsciiClassTable() {
    AsciiClassTable table{};
    for (unsigned c = 0; c < 0x80; ++c) table.classes[c] = asciiClassOf(c);
    return table;
}

constexpr AsciiClassTable kAsciiClasses = makeAsciiClassTable();

// `c` must be below 0x80.
int asciiIs(unsigned short c, unsigned mask) { return (kAsciiClasses.classes[c] & mask) != 0 ? 1 : 0; }

// ICU's simple case folding of an ASCII unit.
UChar32 asciiFold(unsigned c) { return static_cast<UChar32>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); }

// Case-insensitive order of two counted UTF-16 texts by full case folding.
int foldCompare(const unsigned short* a, size_t aLength, const unsigned short* b, size_t bLength) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t r = u_strCaseCompare(asUChar(a), toInt32Length(aLength), asUChar(b), toInt32Length(bLength),
                                 U_FOLD_CASE_DEFAULT, &status);
    QV_ASSERT(U_SUCCESS(status), "qvi18n");
    return sign(r);
}

size_t boundedLength(const unsigned short* s, size_t n) {
    size_t length = 0;
    while (length < n && s[length] != 0) ++length;
    return length;
}

using CaseMapFn = int32_t (*)(UChar*, int32_t, const UChar*, int32_t, const char*, UErrorCode*);

// Runs an ICU full case mapping over `text`; the result may be longer than
// the source, so the first call only measures when the guess is too small.
QvUString mapCase(const QvUString& text, CaseMapFn fn) {
    QvUString out;
    int32_t srcLength = toInt32Length(text.length());
    int32_t capacity = srcLength + 8;
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto buffer = std::make_unique_for_overwrite<unsigned short[]>(static_cast<size_t>(capacity) + 1);
        UErrorCode status = U_ZERO_ERROR;
        int32_t written = fn(asUChar(buffer.get()), capacity, asUChar(text.getBuffer()), srcLength, kCaseLocale,
                             &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            capacity = written;
            continue;
        }
        QV_ASSERT(U_SUCCESS(status), "qvi18n");
        out.assign(buffer.get(), static_cast<size_t>(written));
        return out;
    }
    QvAssertHandler("qvi18n", __LINE__);
    return out;
}

// UTF-8 into UTF-16 with U+FFFD for every malformed sequence.
QvUString decodeUtf8(const char* text, size_t length) {
    QvUString out;
    if (text == nullptr || length == 0) return out;
    int32_t srcLength = toInt32Length(length);
    // A UTF-8 byte never yields more than one UTF-16 unit.
    auto buffer = std::make_unique_for_overwrite<unsigned short[]>(length + 1);
    int32_t written = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(asUChar(buffer.get()), srcLength + 1, &written, text, srcLength, 0xFFFD, nullptr,
                         &status);
    QV_ASSERT(U_SUCCESS(status), "qvi18n");
    out.assign(buffer.get(), static_cast<size_t>(written));
    return out;
}

// UTF-16 into UTF-8 with U+FFFD for every lone surrogate.
std::string encodeUtf8(const unsigned short* text, size_t length) {
    std::string out;
    if (length == 0) return out;
    int32_t srcLength = toInt32Length(length);
    // At most three bytes per unit (a pair gives four bytes for two units).
    out.resize(length * 3);
    int32_t written = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), toInt32Length(out.size()), &written, asUChar(text), srcLength, 0xFFFD,
                       nullptr, &status);
    QV_ASSERT(U_SUCCESS(status) || status == U_STRING_NOT_TERMINATED_WARNING, "qvi18n");
    out.resize(static_cast<size_t>(written));
    return out;
}

}  // namespace

// ---- QvUString members that need ICU ----

QvUString& QvUString::assignNative(const char* text, size_t length) {
    if (text != nullptr && length == npos) length = std::strlen(text);
    return *this = decodeUtf8(text, length);
}

QvUString& QvUString::assignMBCS(const char* text, size_t length) { return assignNative(text, length); }

// The locale handle is opaque and this host creates none, so every mapping
// is the locale-independent one.
QvUString& QvUString::makeUpper(const QvLocale*) { return *this = mapCase(*this, &u_strToUpper); }

QvUString& QvUString::makeLower(const QvLocale*) { return *this = mapCase(*this, &u_strToLower); }

int QvUString::caseCompare(const QvUString& other) const {
    return foldCompare(m_data, m_length, other.m_data, other.m_length);
}

char* QvUString::getMBCSCopy() const {
    std::string utf8 = encodeUtf8(m_data, m_length);
    auto copy = std::make_unique<char[]>(utf8.size() + 1);
    std::memcpy(copy.get(), utf8.data(), utf8.size());
    copy[utf8.size()] = 0;
    return copy.release();
}

std::string QvUString::toUtf8() const { return encodeUtf8(m_data, m_length); }

QvUString QvUString::fromUtf8(std::string_view utf8) { return decodeUtf8(utf8.data(), utf8.size()); }

// ---- bare UTF-16 strings ----

// A plain loop: reading past the terminator in whole words would be faster
// but is undefined behaviour and hides real overruns from the sanitizers.
size_t qvUStrlen(const unsigned short* s) {
    if (s == nullptr) return 0;
    const unsigned short* p = s;
    while (*p != 0) ++p;
    return static_cast<size_t>(p - s);
}

unsigned short* qvUStrcpy(unsigned short* dst, const unsigned short* src) {
    size_t length = qvUStrlen(src);
    if (length > 0) std::memmove(dst, src, length * sizeof(unsigned short));
    dst[length] = 0;
    return dst;
}

int qvUStrcmp(const unsigned short* a, const unsigned short* b) {
    return qvUStrncmp(a, b, static_cast<size_t>(-1));
}

int qvUStrncmp(const unsigned short* a, const unsigned short* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
        if (a[i] == 0) return 0;
    }
    return 0;
}

int qvUStricmp(const unsigned short* a, const unsigned short* b) {
    return foldCompare(a, qvUStrlen(a), b, qvUStrlen(b));
}

int qvUStrnicmp(const unsigned short* a, const unsigned short* b, size_t n) {
    return foldCompare(a, boundedLength(a, n), b, boundedLength(b, n));
}

// Unit by unit with simple case folding: an 8-bit text of n bytes can only
// match exactly n units (full folding would let one unit such as U+FB02 match
// two bytes, and a caller advancing by n would run past the text). It is
// also allocation-free, and two ASCII units fold by the ASCII rule without
// ICU; anything else (U+212A KELVIN SIGN folds to "k") asks ICU.
int qvUAStrnicmp(const unsigned short* u, const char* a, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const unsigned char byte = static_cast<unsigned char>(a[i]);
        const bool ascii = u[i] < 0x80 && byte < 0x80;
        UChar32 cu = ascii ? asciiFold(u[i]) : u_foldCase(u[i], U_FOLD_CASE_DEFAULT);
        UChar32 ca = ascii ? asciiFold(byte) : u_foldCase(byte, U_FOLD_CASE_DEFAULT);
        if (cu != ca) return cu < ca ? -1 : 1;
        if (u[i] == 0) return 0;
    }
    return 0;
}

size_t qvA2U(unsigned short* dst, const char* src, size_t dstSize) {
    if (dstSize == 0) return 0;
    size_t i = 0;
    for (; i + 1 < dstSize && src[i] != 0; ++i) dst[i] = static_cast<unsigned char>(src[i]);
    dst[i] = 0;
    return i;
}

size_t qvUnicodeToASCII(char* dst, const unsigned short* src, size_t dstSize) {
    if (dstSize == 0) return 0;
    size_t i = 0;
    for (; i + 1 < dstSize && src[i] != 0; ++i) dst[i] = src[i] > 0xFF ? '?' : static_cast<char>(src[i]);
    dst[i] = 0;
    return i;
}

size_t qvU2MFixedWidth(char* dst, const unsigned short* src, size_t maxBytes) {
    size_t written = 0;
    size_t i = 0;
    size_t length = qvUStrlen(src);
    while (i < length) {
        UChar32 c;
        U16_NEXT(src, i, length, c);
        if (U_IS_SURROGATE(c)) c = 0xFFFD;
        size_t need = static_cast<size_t>(U8_LENGTH(c));
        if (need > maxBytes - written) break;
        uint8_t bytes[4];
        int32_t n = 0;
        UBool error = false;
        U8_APPEND(bytes, n, 4, c, error);
        (void)error;
        std::memcpy(dst + written, bytes, static_cast<size_t>(n));
        written += static_cast<size_t>(n);
    }
    dst[written] = 0;
    return written;
}

// ---- character classes ----

// Each class answers an ASCII unit from kAsciiClasses and asks ICU only
// above U+007F: lexers call these once per unit of every text.

int qvUIsASCII(unsigned short c) { return c < 0x80; }
int qvUIsCntrl(unsigned short c) { return c < 0x80 ? asciiIs(c, kAsciiCntrl) : (u_iscntrl(c) ? 1 : 0); }
int qvUIsDigit(unsigned short c) { return c >= '0' && c <= '9'; }
int qvUIsAnyDigit(unsigned short c) { return c < 0x80 ? asciiIs(c, kAsciiDigit) : (u_isdigit(c) ? 1 : 0); }
int qvUIsPunct(unsigned short c) { return c < 0x80 ? asciiIs(c, kAsciiPunct) : (u_ispunct(c) ? 1 : 0); }
int qvUIsSpace(unsigned short c) { return c < 0x80 ? asciiIs(c, kAsciiSpace) : (u_isspace(c) ? 1 : 0); }
int qvUIsAlpha(unsigned short c) { return c < 0x80 ? asciiIs(c, kAsciiAlpha) : (u_isalpha(c) ? 1 : 0); }
int qvUIsAlnum(unsigned short c) {
    return c < 0x80 ? asciiIs(c, kAsciiAlpha | kAsciiDigit) : (u_isalnum(c) ? 1 : 0);
}

int qvUCheckAll(const unsigned short* s, QvUCharClassFn cls) {
    for (size_t i = 0; s != nullptr && s[i] != 0; ++i) {
        if (!cls(s[i])) return 0;
    }
    return 1;
}
