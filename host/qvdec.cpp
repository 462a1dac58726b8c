// Decimal library of the host: the fixed-point arithmetic behind
// QvDecimal<2>, <3> and <4> and their text forms.
//
// All work is done on a sign and an unsigned 128-bit magnitude; the
// precision only enters as the bound 10^p on the magnitude. Digits are
// dropped in exactly one place (dropDigits), so every operation rounds the
// same way. Text is read digit by digit, never through a double, so a text
// of thousands of digits is read exactly and rounded once.
#include "qvdec.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

using u128 = unsigned __int128;

constexpr int kMaxDigits = 38;

constexpr std::array<u128, kMaxDigits + 1> makePow10() {
    std::array<u128, kMaxDigits + 1> table{};
    table[0] = 1;
    for (int i = 1; i <= kMaxDigits; ++i) table[i] = table[i - 1] * 10;
    return table;
}
constexpr std::array<u128, kMaxDigits + 1> kPow10 = makePow10();

// A decimal taken apart: value = (negative ? -1 : 1) * magnitude / 10^scale.
struct DecParts {
    bool negative = false;
    u128 magnitude = 0;
    int scale = 0;
};

int digitCount(u128 v) {
    int n = 0;
    while (v != 0) {
        v /= 10;
        ++n;
    }
    return n;
}

// Whether a rounding that drops digits moves the kept part one step away
// from zero. `firstDropped` is the most significant dropped digit, `rest`
// whether any later dropped digit is non-zero.
bool roundsAway(EQvDecRounding method, bool negative, int firstDropped, bool rest, bool lastKeptOdd) {
    const bool anyDropped = firstDropped != 0 || rest;
    switch (method) {
    case eQvDecRoundTruncate: return false;
    case eQvDecRoundHalfEven: return firstDropped > 5 || (firstDropped == 5 && (rest || lastKeptOdd));
    case eQvDecRoundFloor: return negative && anyDropped;
    case eQvDecRoundCeiling: return !negative && anyDropped;
    case eQvDecRoundHalfAwayFromZero: break;
    }
    return firstDropped >= 5;
}

// magnitude / 10^digits rounded with `method`; `lost` tells whether a
// non-zero digit was dropped. `digits` may exceed 38 (all digits go).
u128 dropDigits(u128 magnitude, int digits, bool negative, EQvDecRounding method, bool& lost) {
    if (digits <= 0) {
        lost = false;
        return magnitude;
    }
    u128 kept = 0;
    int firstDropped = 0;
    bool rest = magnitude != 0;
    if (digits <= kMaxDigits) {
        kept = magnitude / kPow10[digits];
        const u128 dropped = magnitude % kPow10[digits];
        firstDropped = static_cast<int>(dropped / kPow10[digits - 1]);
        rest = dropped % kPow10[digits - 1] != 0;
    }
    lost = firstDropped != 0 || rest;
    if (roundsAway(method, negative, firstDropped, rest, (kept % 2) != 0)) ++kept;
    return kept;
}

// A digit count of a shift, capped where every digit has gone anyway, so
// that scales near INT_MIN or INT_MAX cannot overflow an int.
int cappedDigits(long long digits) { return static_cast<int>(std::min<long long>(digits, 2 * kMaxDigits + 1)); }

[[noreturn]] void throwDec(EQvDecReason reason) { throw QvDecException(reason); }

// magnitude * 10^digits, which must stay below `limit`.
u128 addDigits(u128 magnitude, int digits, u128 limit) {
    if (magnitude == 0 || digits <= 0) return magnitude;
    if (digits > kMaxDigits || magnitude >= (limit + kPow10[digits] - 1) / kPow10[digits]) throwDec(eQvDecOverflow);
    return magnitude * kPow10[digits];
}

// Fits `parts` into `precision` digits, dropping fractional digits with
// `method` when the value is too long. Throws when the integer part alone
// is too long, also after a rounding carry.
DecParts fitPrecision(DecParts parts, int precision, EQvDecRounding method, bool& lost) {
    lost = false;
    const int intDigits = digitCount(parts.magnitude) - parts.scale;
    if (intDigits > precision) throwDec(eQvDecOverflow);
    int keep = parts.scale;
    if (keep > precision - std::max(intDigits, 0)) keep = precision - std::max(intDigits, 0);
    parts.magnitude = dropDigits(parts.magnitude, parts.scale - keep, parts.negative, method, lost);
    parts.scale = keep;
    if (parts.magnitude == kPow10[precision]) {
        // 9.99... rounded up to 10.0...: one fractional digit less holds it.
        if (keep == 0) throwDec(eQvDecOverflow);
        parts.magnitude /= 10;
        parts.scale = keep - 1;
    }
    return parts;
}

// ---- text scanning ----

template <class CharT>
bool isDigitAt(const CharT* p, const CharT* end) {
    return p != end && *p >= '0' && *p <= '9';
}

template <class CharT>
bool isCharAt(const CharT* p, const CharT* end, char c) {
    return p != end && *p == c;
}

// Where the parts of a number lie in a text.
template <class CharT>
struct DecText {
    bool negative = false;
    const CharT* intBegin = nullptr;
    size_t intLen = 0;
    const CharT* fracBegin = nullptr;
    size_t fracLen = 0;
    long long exponent = 0;
    const CharT* end = nullptr;  // null: no number

    size_t digitTotal() const { return intLen + fracLen; }
    int digitAt(size_t i) const {
        return (i < intLen ? intBegin[i] : fracBegin[i - intLen]) - '0';
    }
};

template <class CharT>
const CharT* skipDigits(const CharT* p, const CharT* end) {
    while (isDigitAt(p, end)) ++p;
    return p;
}

// Reads "e", an optional sign and digits after `p`; returns `p` itself when
// they are not all there. Huge exponents saturate: any of them over- or
// underflows every precision anyway.
template <class CharT>
const CharT* scanExponent(const CharT* p, const CharT* end, long long& exponent) {
    if (!isCharAt(p, end, 'e') && !isCharAt(p, end, 'E')) return p;
    const CharT* q = p + 1;
    const bool negative = isCharAt(q, end, '-');
    if (negative || isCharAt(q, end, '+')) ++q;
    if (!isDigitAt(q, end)) return p;
    constexpr long long kSaturated = 1000000000LL;
    long long value = 0;
    for (; isDigitAt(q, end); ++q) value = std::min(kSaturated, value * 10 + (*q - '0'));
    exponent = negative ? -value : value;
    return q;
}

template <class CharT>
DecText<CharT> scanDecText(const CharT* begin, const CharT* end, bool allowExponent) {
    DecText<CharT> text;
    const CharT* p = begin;
    text.negative = isCharAt(p, end, '-');
    if (text.negative || isCharAt(p, end, '+')) ++p;
    text.intBegin = p;
    p = skipDigits(p, end);
    text.intLen = static_cast<size_t>(p - text.intBegin);
    if (isCharAt(p, end, '.')) {
        text.fracBegin = p + 1;
        const CharT* fracEnd = skipDigits(text.fracBegin, end);
        text.fracLen = static_cast<size_t>(fracEnd - text.fracBegin);
        if (text.intLen + text.fracLen > 0) p = fracEnd;  // a lone "." is no number
    }
    if (text.intLen + text.fracLen == 0) return text;
    if (allowExponent) p = scanExponent(p, end, text.exponent);
    text.end = p;
    return text;
}

// Whether any digit from index `from` on is non-zero.
template <class CharT>
bool anyNonZeroFrom(const DecText<CharT>& text, size_t from) {
    for (size_t i = from; i < text.digitTotal(); ++i) {
        if (text.digitAt(i) != 0) return true;
    }
    return false;
}

long long clampLL(long long v, long long lo, long long hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The decimal a scanned text stands for, with `precision` digits and the
// requested scale (kScaleAsWritten or 0..precision).
template <class CharT>
DecParts textToParts(const DecText<CharT>& text, int precision, int scale, EQvDecRounding rounding,
                     bool& lost) {
    const bool asWritten = scale == QvDecStringConvert::kScaleAsWritten;
    const long long writtenScale = static_cast<long long>(text.fracLen) - text.exponent;
    size_t first = 0;
    while (first < text.digitTotal() && text.digitAt(first) == 0) ++first;
    DecParts parts;
    lost = false;
    if (first == text.digitTotal()) {  // zero, whatever sign it was written with
        parts.scale = asWritten ? static_cast<int>(clampLL(writtenScale, 0, precision)) : scale;
        return parts;
    }
    parts.negative = text.negative;
    // Significant digits before the point (zero or less for 0.00x).
    const long long pointPos = static_cast<long long>(text.intLen) + text.exponent - static_cast<long long>(first);
    const long long intDigits = std::max(pointPos, 0LL);
    if (intDigits > precision) throwDec(eQvDecOverflow);
    if (asWritten) scale = static_cast<int>(clampLL(writtenScale, 0, precision - intDigits));
    if (scale > precision - intDigits) throwDec(eQvDecOverflow);
    parts.scale = scale;
    // The kept digits: those at or above the last kept fractional place.
    const long long kept = pointPos + scale;
    for (long long j = 0; j < kept; ++j) {
        const size_t i = first + static_cast<size_t>(j);
        parts.magnitude = parts.magnitude * 10 + (i < text.digitTotal() ? text.digitAt(i) : 0);
    }
    int firstDropped = 0;
    bool rest = true;
    if (kept >= 0) {
        const size_t i = first + static_cast<size_t>(kept);
        firstDropped = i < text.digitTotal() ? text.digitAt(i) : 0;
        rest = anyNonZeroFrom(text, i + 1);
    }
    lost = firstDropped != 0 || rest;
    if (roundsAway(rounding, parts.negative, firstDropped, rest, parts.magnitude % 2 != 0)) ++parts.magnitude;
    if (parts.magnitude == kPow10[precision]) {
        if (!asWritten || parts.scale == 0) throwDec(eQvDecOverflow);
        parts.magnitude /= 10;
        --parts.scale;
    }
    return parts;
}

template <class CharT>
int partsToText(const DecParts& parts, CharT* buffer, size_t bufferSize) {
    const int digits = std::max(digitCount(parts.magnitude), parts.scale + 1);
    const int length = (parts.negative ? 1 : 0) + digits + (parts.scale > 0 ? 1 : 0);
    if (buffer == nullptr || bufferSize < static_cast<size_t>(length) + 1) return -1;
    CharT* p = buffer + length;
    *p = 0;
    u128 rest = parts.magnitude;
    for (int written = 0; written < digits; ++written) {
        if (written == parts.scale && parts.scale > 0) *--p = '.';
        *--p = static_cast<CharT>('0' + static_cast<int>(rest % 10));
        rest /= 10;
    }
    if (parts.negative) *--p = '-';
    return length;
}

u128 magnitudeOf(__int128 coefficient) {
    return coefficient < 0 ? -static_cast<u128>(coefficient) : static_cast<u128>(coefficient);
}

template <int N>
DecParts partsOf(const QvDecimal<N>& value) {
    DecParts parts;
    parts.negative = value.isNegative();
    parts.magnitude = magnitudeOf(value.getCoefficient());
    parts.scale = value.getScale();
    return parts;
}

template <int N>
void storeParts(QvDecimal<N>& result, const DecParts& parts, bool inexact) {
    QvDecimalImpl<N>::setParts(result, parts.negative, parts.magnitude, parts.scale);
    if (inexact) result.setFlags(QvDecimal<N>::kFlagInexact);
}

}  // namespace

QvDecException::~QvDecException() = default;

const char* QvDecException::what() const noexcept {
    return m_reason == eQvDecOverflow ? "decimal overflow: the value has too many integer digits"
                                      : "invalid decimal operand";
}

// ---- QvDecimalImpl ----

template <int N>
void QvDecimalImpl<N>::setParts(QvDecimal<N>& result, bool negative, unsigned __int128 magnitude, int scale) {
    if (scale < 0 || scale > kPrecision) throwDec(eQvDecInvalidValue);
    if (magnitude >= kPow10[kPrecision]) throwDec(eQvDecOverflow);
    const __int128 signedMagnitude = static_cast<__int128>(magnitude);
    result.m_impl.m_coefficient = negative ? -signedMagnitude : signedMagnitude;
    result.m_scale = scale;
    result.m_flags = 0;
}

template <int N>
void QvDecimalImpl<N>::assignFrom(QvDecimal<N>& result, const QvDecimal<N>& source) {
    result = source;
}

namespace {

// Shared body of toInt32 and toInt64: rounds half away from zero and checks
// the magnitude against the type's limits.
template <class Int, int N>
int decimalToInt(const QvDecimal<N>& value, Int& out) {
    const DecParts parts = partsOf(value);
    bool lost = false;
    const u128 rounded = dropDigits(parts.magnitude, parts.scale, parts.negative, eQvDecRoundHalfAwayFromZero, lost);
    const u128 limit = parts.negative ? static_cast<u128>(std::numeric_limits<Int>::max()) + 1
                                      : static_cast<u128>(std::numeric_limits<Int>::max());
    if (rounded > limit) return -1;
    out = parts.negative ? static_cast<Int>(-static_cast<__int128>(rounded)) : static_cast<Int>(rounded);
    return 0;
}

}  // namespace

template <int N>
int QvDecimalImpl<N>::toInt32(const QvDecimal<N>& value, int& out) {
    return decimalToInt(value, out);
}

template <int N>
int QvDecimalImpl<N>::toInt64(const QvDecimal<N>& value, long long& out) {
    return decimalToInt(value, out);
}

template <int N>
double QvDecimalImpl<N>::toDouble(const QvDecimal<N>& value) {
    // from_chars rounds correctly and ignores the locale, unlike dividing
    // the coefficient by a power of ten (two roundings) or strtod.
    char text[QvDecStringConvert::kBufferSize];
    const int length = partsToText(partsOf(value), text, sizeof text);
    double result = 0.0;
    std::from_chars(text, text + length, result);
    return result;
}

template <int N>
void QvDecimalImpl<N>::round(const QvDecimal<N>& source, QvDecimal<N>& result, int scale, EQvDecRounding method) {
    DecParts parts = partsOf(source);
    if (scale >= parts.scale) {
        result = source;
        result.m_flags = 0;
        return;
    }
    bool lost = false;
    const long long wanted = scale;
    const u128 kept = dropDigits(parts.magnitude, cappedDigits(parts.scale - wanted), parts.negative, method, lost);
    parts.magnitude = scale < 0 ? addDigits(kept, cappedDigits(-wanted), kPow10[kPrecision]) : kept;
    parts.scale = std::max(scale, 0);
    setParts(result, parts.negative, parts.magnitude, parts.scale);
}

template <int N>
int QvDecimalImpl<N>::compare(const QvDecimal<N>& a, const QvDecimal<N>& b) {
    const DecParts pa = partsOf(a);
    const DecParts pb = partsOf(b);
    const int signA = pa.magnitude == 0 ? 0 : (pa.negative ? -1 : 1);
    const int signB = pb.magnitude == 0 ? 0 : (pb.negative ? -1 : 1);
    if (signA != signB) return signA < signB ? -1 : 1;
    // Align on the larger scale; an aligned magnitude that would pass 2^128
    // is certainly the larger, as the other stays below 10^38.
    u128 ma = pa.magnitude;
    u128 mb = pb.magnitude;
    const int shift = pa.scale - pb.scale;
    const u128 maxValue = ~static_cast<u128>(0);
    int order = 0;
    if (shift > 0 && mb > maxValue / kPow10[shift]) order = -1;
    else if (shift < 0 && ma > maxValue / kPow10[-shift]) order = 1;
    else {
        if (shift > 0) mb *= kPow10[shift];
        if (shift < 0) ma *= kPow10[-shift];
        order = ma < mb ? -1 : (ma > mb ? 1 : 0);
    }
    return signA < 0 ? -order : order;
}

template <int N>
void QvDecimalImpl<N>::convertFrom(QvDecimal<N>& result, long long value) {
    const bool negative = value < 0;
    // -(value + 1) + 1 keeps LLONG_MIN from overflowing.
    const u128 magnitude = negative ? static_cast<u128>(-(value + 1)) + 1 : static_cast<u128>(value);
    setParts(result, negative, magnitude, 0);
}

template <int N>
void QvDecimalImpl<N>::convertFrom(QvDecimal<N>& result, double value) {
    if (!std::isfinite(value)) throwDec(eQvDecInvalidValue);
    char text[64];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, value);
    QvDecStringConvert::stringToQvDec(result, static_cast<const char*>(text), static_cast<const char*>(written.ptr),
                                      QvDecStringConvert::kScaleAsWritten, eQvDecRoundHalfAwayFromZero, 1);
}

template <int N>
template <int M>
void QvDecimalImpl<N>::convertFrom(QvDecimal<N>& result, const QvDecimal<M>& source, EQvDecRounding method) {
    bool lost = false;
    const DecParts parts = fitPrecision(partsOf(source), kPrecision, method, lost);
    storeParts(result, parts, lost);
}

template <int N>
void QvDecimalImpl<N>::negate(QvDecimal<N>& value) {
    value.m_impl.m_coefficient = -value.m_impl.m_coefficient;
}

// ---- QvDecStringConvert ----

namespace {

template <int N, class CharT>
const CharT* readDecimal(QvDecimal<N>& result, const CharT* begin, const CharT* end, int scale,
                         EQvDecRounding rounding, int allowExponent) {
    if (scale != QvDecStringConvert::kScaleAsWritten && (scale < 0 || scale > QvDecimal<N>::kPrecision)) {
        throwDec(eQvDecInvalidValue);
    }
    const DecText<CharT> text = scanDecText(begin, end, allowExponent != 0);
    if (text.end == nullptr) return begin;
    bool lost = false;
    const DecParts parts = textToParts(text, QvDecimal<N>::kPrecision, scale, rounding, lost);
    storeParts(result, parts, lost);
    return text.end;
}

}  // namespace

template <int N>
const unsigned short* QvDecStringConvert::stringToQvDec(QvDecimal<N>& result, const unsigned short* begin,
                                                        const unsigned short* end, int scale,
                                                        EQvDecRounding rounding, int allowExponent) {
    return readDecimal(result, begin, end, scale, rounding, allowExponent);
}

template <int N>
const char* QvDecStringConvert::stringToQvDec(QvDecimal<N>& result, const char* begin, const char* end, int scale,
                                              EQvDecRounding rounding, int allowExponent) {
    return readDecimal(result, begin, end, scale, rounding, allowExponent);
}

template <int N>
int QvDecStringConvert::toString(const QvDecimal<N>& value, unsigned short* buffer, size_t bufferSize) {
    return partsToText(partsOf(value), buffer, bufferSize);
}

template <int N>
int QvDecStringConvert::toString(const QvDecimal<N>& value, char* buffer, size_t bufferSize) {
    return partsToText(partsOf(value), buffer, bufferSize);
}

// ---- the instances the host provides ----

#define QVDEC_INSTANTIATE(N)                                                                                    \
    template class QvDecimalImpl<N>;                                                                            \
    template void QvDecimalImpl<N>::convertFrom<2>(QvDecimal<N>&, const QvDecimal<2>&, EQvDecRounding);          \
    template void QvDecimalImpl<N>::convertFrom<3>(QvDecimal<N>&, const QvDecimal<3>&, EQvDecRounding);          \
    template void QvDecimalImpl<N>::convertFrom<4>(QvDecimal<N>&, const QvDecimal<4>&, EQvDecRounding);          \
    template const unsigned short* QvDecStringConvert::stringToQvDec<N>(                                        \
        QvDecimal<N>&, const unsigned short*, const unsigned short*, int, EQvDecRounding, int);                  \
    template const char* QvDecStringConvert::stringToQvDec<N>(QvDecimal<N>&, const char*, const char*, int,    \
                                                              EQvDecRounding, int);                              \
    template int QvDecStringConvert::toString<N>(const QvDecimal<N>&, unsigned short*, size_t);                 \
    template int QvDecStringConvert::toString<N>(const QvDecimal<N>&, char*, size_t);

QVDEC_INSTANTIATE(2)
QVDEC_INSTANTIATE(3)
QVDEC_INSTANTIATE(4)

#undef QVDEC_INSTANTIATE
