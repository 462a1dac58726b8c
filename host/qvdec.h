// Decimal library of the host: fixed-point decimals of 18, 28 and 38
// significant digits, their conversions to and from text, integers and
// doubles, rounding, comparison and negation.
//
// A value is an unscaled coefficient and a scale: coefficient 1250 with scale
// 2 is 12.50. The coefficient is held exactly in a 128-bit integer (10^38 - 1
// fits), so no conversion between text and decimal ever passes through a
// double. The scale runs from 0 to the precision, so a QvDecimal<2> can hold
// 0.000000000000000001 but not 1e-19.
//
// Results that cannot be held at all (an integer part wider than the
// precision) raise QvDecException; results that can be held only by dropping
// digits are rounded, and the conversions from text, doubles and other
// precisions then set QvDecimal<N>::kFlagInexact in the value's flag word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>

#include "qvhost_export.h"

// Why a decimal operation gave up.
enum EQvDecReason {
    eQvDecOverflow = 1,      // the integer part needs more digits than the precision
    eQvDecInvalidValue = 2,  // no decimal can stand for the operand (NaN, infinity, a scale out of range)
};

class QVHOST_API QvDecException : public std::exception {
public:
    explicit QvDecException(EQvDecReason reason) : m_reason(reason) {}
    ~QvDecException() override;
    const char* what() const noexcept override;
    EQvDecReason reason() const { return m_reason; }

private:
    EQvDecReason m_reason;
};

// How digits beyond the kept scale are disposed of.
enum EQvDecRounding {
    eQvDecRoundHalfAwayFromZero = 0,  // 2.5 -> 3, -2.5 -> -3 (the default everywhere)
    eQvDecRoundTruncate = 1,          // toward zero: 2.9 -> 2, -2.9 -> -2
    eQvDecRoundHalfEven = 2,          // 2.5 -> 2, 3.5 -> 4
    eQvDecRoundFloor = 3,             // toward minus infinity: -2.1 -> -3
    eQvDecRoundCeiling = 4,           // toward plus infinity: 2.1 -> 3
};

// Significant digits of each decimal class.
template <int N>
struct QvDecDigits;
template <>
struct QvDecDigits<2> {
    static constexpr int value = 18;
};
template <>
struct QvDecDigits<3> {
    static constexpr int value = 28;
};
template <>
struct QvDecDigits<4> {
    static constexpr int value = 38;
};

template <int N>
class QvDecimal;

// The arithmetic behind QvDecimal<N>: holds the signed coefficient and
// provides every operation as a static function over QvDecimal<N> values.
// Defined for N = 2, 3 and 4 only.
template <int N>
class QVHOST_API QvDecimalImpl {
public:
    static constexpr int kPrecision = QvDecDigits<N>::value;

    __int128 getCoefficient() const { return m_coefficient; }

    // The value rounded half away from zero to an integer. 0 on success; -1
    // when the rounded value is out of range, `out` then unchanged.
    static int toInt32(const QvDecimal<N>& value, int& out);
    static int toInt64(const QvDecimal<N>& value, long long& out);
    // The double nearest to the value (correctly rounded).
    static double toDouble(const QvDecimal<N>& value);

    // Copies value, scale and flag word.
    static void assignFrom(QvDecimal<N>& result, const QvDecimal<N>& source);

    // `result` = `source` with `scale` fractional digits at most. A negative
    // scale rounds to tens, hundreds...; the result then has scale 0. When
    // `scale` is not below the source's scale the value is copied unchanged.
    // The result's flag word is cleared (the rounding was asked for).
    // `source` and `result` may be the same object. Throws eQvDecOverflow
    // when rounding up carries beyond the precision.
    static void round(const QvDecimal<N>& source, QvDecimal<N>& result, int scale,
                      EQvDecRounding method);

    // -1, 0 or 1 as a is below, equal to or above b; scales need not agree.
    static int compare(const QvDecimal<N>& a, const QvDecimal<N>& b);

    // Exact conversion of an integer with scale 0; eQvDecOverflow when it has
    // more digits than the precision (INT64_MIN does not fit QvDecimal<2>).
    static void convertFrom(QvDecimal<N>& result, long long value);
    static void convertFrom(QvDecimal<N>& result, long value) { convertFrom(result, static_cast<long long>(value)); }
    static void convertFrom(QvDecimal<N>& result, int value) { convertFrom(result, static_cast<long long>(value)); }
    // The shortest decimal text that reads back as `value` (0.1 gives 0.1),
    // rounded half away from zero to the precision when longer (flag set).
    // eQvDecInvalidValue for NaN and infinities, eQvDecOverflow when too large.
    static void convertFrom(QvDecimal<N>& result, double value);
    // From another precision: keeps as many fractional digits as fit, rounds
    // the rest away with `method` (flag set when a non-zero digit was lost);
    // eQvDecOverflow when the integer part does not fit.
    template <int M>
    static void convertFrom(QvDecimal<N>& result, const QvDecimal<M>& source,
                            EQvDecRounding method = eQvDecRoundHalfAwayFromZero);

    // Changes the sign in place; scale and flags stay. Never overflows (the
    // range is symmetric); zero stays zero.
    static void negate(QvDecimal<N>& value);

    // Stores sign, magnitude and scale into `result` with a cleared flag word.
    // eQvDecInvalidValue when `scale` is outside 0..kPrecision, eQvDecOverflow
    // when `magnitude` has more than kPrecision digits.
    static void setParts(QvDecimal<N>& result, bool negative, unsigned __int128 magnitude, int scale);

private:
    __int128 m_coefficient = 0;
};

// A decimal value of QvDecDigits<N>::value significant digits: flag word,
// scale and coefficient. Trivially copyable; the default value is 0 with
// scale 0.
template <int N>
class QvDecimal {
public:
    static constexpr int kPrecision = QvDecDigits<N>::value;
    // Bit 1 of the flag word: a conversion had to drop non-zero digits.
    static constexpr unsigned int kFlagInexact = 0x2;

    unsigned int getFlags() const { return m_flags; }
    void setFlags(unsigned int flags) { m_flags = flags; }
    bool isInexact() const { return (m_flags & kFlagInexact) != 0; }
    int getScale() const { return m_scale; }
    __int128 getCoefficient() const { return m_impl.getCoefficient(); }
    bool isNegative() const { return m_impl.getCoefficient() < 0; }
    bool isZero() const { return m_impl.getCoefficient() == 0; }

private:
    friend class QvDecimalImpl<N>;
    unsigned int m_flags = 0;
    int m_scale = 0;
    QvDecimalImpl<N> m_impl;
};

// Text forms of decimals, in UTF-16 (`unsigned short`) and 8-bit form.
class QVHOST_API QvDecStringConvert {
public:
    // Pass as `scale` to keep the scale the text was written with.
    static constexpr int kScaleAsWritten = -1;
    // Units (or bytes) that always hold the text of any decimal with its
    // terminator ("-0." and 38 digits need 42).
    static constexpr size_t kBufferSize = 54;

    // Reads an optional "+" or "-", digits with at most one "." (at least one
    // digit on either side) and, when `allowExponent` is non-zero, an
    // exponent ("e" or "E", optional sign, digits; without digits the
    // exponent is not read). `end` bounds the text; null means it ends at a 0
    // unit. Returns the end of what was read; when no number starts at
    // `begin`, returns `begin` and leaves `result` unchanged.
    //
    // `scale`: kScaleAsWritten keeps the text's scale, reduced only as far as
    // the precision demands; 0..precision rounds or pads to that scale.
    // Digits that do not fit are rounded away with `rounding`, and the flag
    // word gets kFlagInexact when a non-zero digit was lost (it is cleared
    // otherwise). Leading zeros do not count; "-0" is zero.
    // Throws eQvDecOverflow when the integer part has more digits than the
    // precision (or than the precision less `scale`), eQvDecInvalidValue for
    // a `scale` outside kScaleAsWritten and 0..precision.
    template <int N>
    static const unsigned short* stringToQvDec(QvDecimal<N>& result, const unsigned short* begin,
                                               const unsigned short* end, int scale = kScaleAsWritten,
                                               EQvDecRounding rounding = eQvDecRoundHalfAwayFromZero,
                                               int allowExponent = 0);
    template <int N>
    static const char* stringToQvDec(QvDecimal<N>& result, const char* begin, const char* end,
                                     int scale = kScaleAsWritten,
                                     EQvDecRounding rounding = eQvDecRoundHalfAwayFromZero,
                                     int allowExponent = 0);

    // Writes the value as "-" for negatives, the integer digits (at least
    // "0"), and when the scale is positive "." with exactly scale digits;
    // no grouping, no exponent. Writes a terminator; returns the length
    // without it, or -1 (nothing written) when `bufferSize` is too small.
    template <int N>
    static int toString(const QvDecimal<N>& value, unsigned short* buffer, size_t bufferSize);
    template <int N>
    static int toString(const QvDecimal<N>& value, char* buffer, size_t bufferSize);
};
