// Number parsing from UTF-16 text and integer-to-text for the host.
//
// qvUStrtod leaves the grammar of floating-point text to the C library: it
// copies the candidate run of ASCII units to 8-bit and lets strtod decide how
// much of it is a number. The run is a superset of anything strtod accepts,
// so the end pointer is exact, and it is only as long as the token, so
// parsing stays linear however long the rest of the text is.
#include <locale.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "qvcmnasrt.h"
#include "qvi18n.h"

namespace {

// The white space strtod skips in the "C" locale.
bool isCSpace(unsigned short c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool isAsciiAlnum(unsigned short c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isExponentMark(unsigned short c) { return c == 'e' || c == 'E' || c == 'p' || c == 'P'; }

// Units that can belong to a strtod number: a sign at the start or after an
// exponent mark; digits, letters (hex digits, exponents, "inf", "nan"), ".",
// and "(" ")" "_" (the "nan(...)" form).
size_t numberCandidateLength(const unsigned short* s) {
    size_t n = 0;
    if (s[n] == '+' || s[n] == '-') ++n;
    while (true) {
        unsigned short c = s[n];
        bool signAfterExponent = (c == '+' || c == '-') && n > 0 && isExponentMark(s[n - 1]);
        if (!(isAsciiAlnum(c) || c == '.' || c == '(' || c == ')' || c == '_' || signAfterExponent)) break;
        ++n;
    }
    return n;
}

locale_t cLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    return c;
}

}  // namespace

double qvUStrtod(const unsigned short* s, unsigned short** end) {
    QV_ASSERT(s != nullptr, "qvi18n");
    size_t start = 0;
    while (isCSpace(s[start])) ++start;
    size_t length = numberCandidateLength(s + start);
    std::string ascii(length, '\0');
    for (size_t i = 0; i < length; ++i) ascii[i] = static_cast<char>(s[start + i]);
    char* stop = nullptr;
    double value = strtod_l(ascii.c_str(), &stop, cLocale());
    size_t used = static_cast<size_t>(stop - ascii.c_str());
    if (end != nullptr) *end = const_cast<unsigned short*>(used == 0 ? s : s + start + used);
    return value;
}

int64_t qvUToI64(const unsigned short* s, unsigned short** end) {
    QV_ASSERT(s != nullptr, "qvi18n");
    size_t i = 0;
    while (isCSpace(s[i])) ++i;
    bool negative = s[i] == '-';
    if (s[i] == '+' || s[i] == '-') ++i;
    size_t firstDigit = i;
    // The magnitude is gathered unsigned; the limit differs by one between
    // the two signs.
    const uint64_t limit = negative ? static_cast<uint64_t>(INT64_MAX) + 1 : static_cast<uint64_t>(INT64_MAX);
    uint64_t magnitude = 0;
    bool overflow = false;
    for (; s[i] >= '0' && s[i] <= '9'; ++i) {
        unsigned digit = s[i] - '0';
        if (overflow || magnitude > (limit - digit) / 10) {
            overflow = true;
            continue;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (i == firstDigit) {
        if (end != nullptr) *end = const_cast<unsigned short*>(s);
        return 0;
    }
    if (end != nullptr) *end = const_cast<unsigned short*>(s + i);
    if (overflow) {
        errno = ERANGE;
        return negative ? INT64_MIN : INT64_MAX;
    }
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

int QvN2s::u64ToStringX(unsigned short* dst, uint64_t value) {
    unsigned short digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<unsigned short>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = 0; i < n; ++i) dst[i] = digits[n - 1 - i];
    dst[n] = 0;
    return n;
}

int QvN2s::i64ToStringX(unsigned short* dst, int64_t value) {
    if (value >= 0) return u64ToStringX(dst, static_cast<uint64_t>(value));
    dst[0] = '-';
    // Negating in unsigned arithmetic keeps INT64_MIN exact.
    return 1 + u64ToStringX(dst + 1, 0 - static_cast<uint64_t>(value));
}

int QvN2s::i32ToStringX(unsigned short* dst, int32_t value) { return i64ToStringX(dst, value); }
