// Tests of the host decimal library: text conversion at and around 18, 28
// and 38 digits, rounding, integer and double conversions, comparison across
// scales and negation. Cases name the precision by its digit count.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "qvdec.h"

namespace {

constexpr int kAsWritten = QvDecStringConvert::kScaleAsWritten;
constexpr EQvDecRounding kHalfAway = eQvDecRoundHalfAwayFromZero;
constexpr EQvDecRounding kTrunc = eQvDecRoundTruncate;
constexpr EQvDecRounding kHalfEven = eQvDecRoundHalfEven;
constexpr EQvDecRounding kFloor = eQvDecRoundFloor;
constexpr EQvDecRounding kCeil = eQvDecRoundCeiling;

// Marks an expected exception in the tables; `kNoRead` a text that holds no
// number (the result keeps its earlier value, 42).
const char* const kOverflow = "<overflow>";
const char* const kInvalid = "<invalid>";
const char* const kNoRead = "<noread>";

std::string rep(char c, size_t n) { return std::string(n, c); }
std::string nines(size_t n) { return rep('9', n); }

// What an operation produced: the value's text or the exception's marker.
struct Outcome {
    std::string text;
    bool inexact = false;
    long consumed = 0;
};

template <int N>
std::string textOf(const QvDecimal<N>& d) {
    char narrow[QvDecStringConvert::kBufferSize];
    unsigned short wide[QvDecStringConvert::kBufferSize];
    const int len = QvDecStringConvert::toString(d, narrow, sizeof narrow);
    const int wlen = QvDecStringConvert::toString(d, wide, QvDecStringConvert::kBufferSize);
    EXPECT_EQ(len, wlen);
    std::string widened;
    for (int i = 0; i < wlen; ++i) widened.push_back(static_cast<char>(wide[i]));
    EXPECT_EQ(std::string(narrow, static_cast<size_t>(len)), widened);
    EXPECT_EQ(wide[wlen], 0);
    return std::string(narrow, static_cast<size_t>(len));
}

template <class F>
Outcome capture(F&& run) {
    try {
        return run();
    } catch (const QvDecException& e) {
        return Outcome{e.reason() == eQvDecOverflow ? kOverflow : kInvalid};
    }
}

// Parses through both text forms and checks that they agree.
template <int N>
struct Parse {
    template <class CharT>
    static Outcome one(const std::string& text, int scale, EQvDecRounding rounding, int exponent) {
        std::vector<CharT> units(text.begin(), text.end());
        units.push_back(0);
        return capture([&] {
            QvDecimal<N> d;
            QvDecimalImpl<N>::convertFrom(d, 42);
            const CharT* begin = units.data();
            const CharT* end = QvDecStringConvert::stringToQvDec(d, begin, begin + text.size(), scale, rounding,
                                                                 exponent);
            Outcome o{textOf(d), d.isInexact(), static_cast<long>(end - begin)};
            if (end == begin) o.text = textOf(d) == "42" ? kNoRead : "<changed on no read>";
            return o;
        });
    }
    static Outcome run(const std::string& text, int scale, EQvDecRounding rounding, int exponent) {
        const Outcome wide = one<unsigned short>(text, scale, rounding, exponent);
        const Outcome narrow = one<char>(text, scale, rounding, exponent);
        EXPECT_EQ(wide.text, narrow.text) << text;
        EXPECT_EQ(wide.consumed, narrow.consumed) << text;
        return wide;
    }
};

template <int N>
QvDecimal<N> dec(const std::string& text) {
    QvDecimal<N> d;
    const char* end = QvDecStringConvert::stringToQvDec(d, text.c_str(), text.c_str() + text.size());
    EXPECT_EQ(end, text.c_str() + text.size()) << text;
    return d;
}

// Runs Op<N>::run for the precision of `digits` (18, 28 or 38).
template <template <int> class Op, class... A>
auto onDigits(int digits, A&&... args) {
    switch (digits) {
    case 18: return Op<2>::run(std::forward<A>(args)...);
    case 28: return Op<3>::run(std::forward<A>(args)...);
    default: return Op<4>::run(std::forward<A>(args)...);
    }
}

Outcome parse(int digits, const std::string& text, int scale = kAsWritten, EQvDecRounding r = kHalfAway,
              int exponent = 0) {
    return onDigits<Parse>(digits, text, scale, r, exponent);
}

struct ParseCase {
    int digits;
    std::string text;
    std::string expected;  // or kOverflow / kInvalid / kNoRead
    bool inexact = false;
    long consumed = -1;  // -1: the whole text
};

void checkParse(const ParseCase& c, const Outcome& got) {
    SCOPED_TRACE(std::to_string(c.digits) + " digits: \"" + c.text + "\"");
    EXPECT_EQ(got.text, c.expected);
    if (c.expected[0] == '<') return;
    EXPECT_EQ(got.inexact, c.inexact);
    EXPECT_EQ(got.consumed, c.consumed < 0 ? static_cast<long>(c.text.size()) : c.consumed);
}

// ---- text to decimal and back ----

TEST(QvDecParseTest, ReadsTextAtAndAroundEachPrecision) {
    const std::vector<ParseCase> cases = {
        {18, "0", "0"},
        {18, "-0", "0"},
        {18, "+7", "7"},
        {18, ".5", "0.5"},
        {18, "-.5", "-0.5"},
        {18, "5.", "5", false, 2},
        {18, "-0.00", "0.00"},
        {18, "000000000000000000000000000000001.5", "1.5"},
        {18, nines(18), nines(18)},
        {18, "-" + nines(18), "-" + nines(18)},
        {18, "1" + rep('0', 18), kOverflow},
        {18, "-1" + rep('0', 18), kOverflow},
        {18, "0." + nines(18), "0." + nines(18)},
        {18, "0." + nines(19), "1." + rep('0', 17), true},
        {18, nines(18) + ".4", nines(18), true},
        {18, nines(18) + ".5", kOverflow},
        {18, "123456789.1234567891", "123456789.123456789", true},
        {18, "123456789.1234567895", "123456789.123456790", true},
        {18, "-123456789.1234567895", "-123456789.123456790", true},
        {18, "1.5" + rep('0', 25), "1.5" + rep('0', 16)},
        {18, "0.0000000000000000005", "0.000000000000000001", true},
        {18, "0.0000000000000000004999", "0.000000000000000000", true},
        {18, "12ab", "12", false, 2},
        {18, "1e5", "1", false, 1},
        {18, "1.2.3", "1.2", false, 3},
        {18, "", kNoRead},
        {18, "-", kNoRead},
        {18, ".", kNoRead},
        {18, "-.", kNoRead},
        {18, "--1", kNoRead},
        {18, " 1", kNoRead},
        {18, "abc", kNoRead},
        {28, nines(28), nines(28)},
        {28, "1" + rep('0', 28), kOverflow},
        {28, "-9223372036854775808", "-9223372036854775808"},
        {28, "0.1234567890123456789012345678", "0.1234567890123456789012345678"},
        {28, "0.12345678901234567890123456789", "0.1234567890123456789012345679", true},
        {28, "1." + nines(27) + "5", "2." + rep('0', 27), true},
        {38, nines(38), nines(38)},
        {38, "-" + nines(38), "-" + nines(38)},
        {38, "1" + rep('0', 38), kOverflow},
        {38, "0.12345678901234567890123456789012345678", "0.12345678901234567890123456789012345678"},
        {38, "0.123456789012345678901234567890123456785", "0.12345678901234567890123456789012345679", true},
        {38, "9." + nines(38), "10." + rep('0', 36), true},
    };
    for (const ParseCase& c : cases) checkParse(c, parse(c.digits, c.text));
}

TEST(QvDecParseTest, EveryScaleUpToThePrecisionRoundTrips) {
    for (int digits : {18, 28, 38}) {
        for (int scale = 0; scale <= digits; ++scale) {
            const std::string fraction = scale == 0 ? "" : "." + nines(static_cast<size_t>(scale));
            const std::string intPart = scale == digits ? "0" : nines(static_cast<size_t>(digits - scale));
            checkParse({digits, intPart + fraction, intPart + fraction}, parse(digits, intPart + fraction));
            checkParse({digits, "-" + intPart + fraction, "-" + intPart + fraction},
                       parse(digits, "-" + intPart + fraction));
            // One more integer digit than the scale leaves room for: at that
            // scale it overflows; as written the last fractional digit goes.
            const std::string wider = scale == digits ? "1" + fraction : "1" + intPart + fraction;
            checkParse({digits, wider, kOverflow}, parse(digits, wider, scale));
            if (scale > 0) {
                const std::string carried = "2" + rep('0', static_cast<size_t>(digits - scale)) +
                                            (scale > 1 ? "." + rep('0', static_cast<size_t>(scale - 1)) : "");
                checkParse({digits, wider, carried, true}, parse(digits, wider));
            }
            const std::string small = "0." + rep('0', static_cast<size_t>(std::max(scale - 1, 0))) + "7";
            if (scale > 0) checkParse({digits, small, small}, parse(digits, small));
        }
        // A scale beyond the precision: the last digit is rounded away.
        const std::string tooFine = "0." + rep('0', static_cast<size_t>(digits)) + "7";
        checkParse({digits, tooFine, "0." + rep('0', static_cast<size_t>(digits - 1)) + "1", true},
                   parse(digits, tooFine));
    }
}

TEST(QvDecParseTest, ThousandsOfDigitsAreReadExactly) {
    for (int digits : {18, 28, 38}) {
        const size_t p = static_cast<size_t>(digits);
        const std::vector<ParseCase> cases = {
            {digits, "1" + rep('0', 2000), kOverflow},
            {digits, "0." + rep('0', 2000) + "1", "0." + rep('0', p), true},
            {digits, "1." + rep('3', 3000), "1." + rep('3', p - 1), true},
            {digits, "0.5" + rep('0', 3000), "0.5" + rep('0', p - 1)},
            {digits, "0.5" + rep('0', 3000) + "1", "0.5" + rep('0', p - 1), true},
            {digits, rep('0', 3000) + "7.25", "7.25"},
            {digits, "0.4" + nines(3000), "0.5" + rep('0', p - 1), true},
            {digits, "0.4" + nines(3000), "0.4" + nines(p - 1), true, -1},
        };
        for (size_t i = 0; i + 1 < cases.size(); ++i) checkParse(cases[i], parse(digits, cases[i].text));
        checkParse(cases.back(), parse(digits, cases.back().text, kAsWritten, kTrunc));
    }
}

TEST(QvDecParseTest, ReadsExponentsOnlyWhenAsked) {
    const std::vector<ParseCase> cases = {
        {38, "1e5", "100000"},
        {38, "1.5e-3", "0.0015"},
        {38, "2.5E+2", "250"},
        {38, "12.5e1", "125"},
        {38, "-1.25e1", "-12.5"},
        {38, "0e5", "0"},
        {38, "0.00e1", "0.0"},
        {38, "1e", "1", false, 1},
        {38, "1e+", "1", false, 1},
        {38, "1E-x", "1", false, 1},
        {38, "1e-40", "0." + rep('0', 38), true},
        {38, "1e38", kOverflow},
        {38, "9." + nines(37) + "e37", nines(38)},
        {38, "1e99999999999999999999", kOverflow},
        {38, "1e-99999999999999999999", "0." + rep('0', 38), true},
        {18, "1e17", "1" + rep('0', 17)},
        {18, "1e18", kOverflow},
        {18, "123456789012345678901e-20", "1.23456789012345679", true},
    };
    for (const ParseCase& c : cases) checkParse(c, parse(c.digits, c.text, kAsWritten, kHalfAway, 1));
}

struct ScaledCase {
    int digits;
    std::string text;
    int scale;
    EQvDecRounding rounding;
    std::string expected;
    bool inexact;
};

TEST(QvDecParseTest, RoundsOrPadsToARequestedScale) {
    const std::vector<ScaledCase> cases = {
        {18, "1.255", 2, kHalfAway, "1.26", true},
        {18, "1.255", 2, kTrunc, "1.25", true},
        {18, "1.245", 2, kHalfEven, "1.24", true},
        {18, "1.255", 2, kHalfEven, "1.26", true},
        {18, "1.2451", 2, kHalfEven, "1.25", true},
        {18, "-1.251", 2, kFloor, "-1.26", true},
        {18, "-1.259", 2, kCeil, "-1.25", true},
        {18, "1.2", 5, kHalfAway, "1.20000", false},
        {18, "0.5", 18, kHalfAway, "0.500000000000000000", false},
        {18, "-0", 18, kHalfAway, "0.000000000000000000", false},
        {18, "1", 18, kHalfAway, kOverflow, false},
        {18, "99999999999999999.96", 1, kHalfAway, kOverflow, false},
        {18, "1", 19, kHalfAway, kInvalid, false},
        {18, "1", -2, kHalfAway, kInvalid, false},
        {38, nines(37) + ".4", 0, kHalfAway, nines(37), true},
        {38, "-0.5", 0, kHalfAway, "-1", true},
    };
    for (const ScaledCase& c : cases) {
        SCOPED_TRACE(c.text + " at scale " + std::to_string(c.scale));
        const Outcome got = parse(c.digits, c.text, c.scale, c.rounding);
        EXPECT_EQ(got.text, c.expected);
        if (c.expected[0] != '<') {
            EXPECT_EQ(got.inexact, c.inexact);
        }
    }
}

TEST(QvDecParseTest, NullEndReadsUpToTheTerminator) {
    const unsigned short text[] = {'1', '2', '.', '5', 0, '7'};
    QvDecimal<3> d;
    EXPECT_EQ(QvDecStringConvert::stringToQvDec(d, text, nullptr), text + 4);
    EXPECT_EQ(textOf(d), "12.5");
    const char stop[] = "-3.25x";
    EXPECT_EQ(QvDecStringConvert::stringToQvDec(d, stop, nullptr), stop + 5);
    EXPECT_EQ(textOf(d), "-3.25");
}

TEST(QvDecParseTest, AnExactReadClearsAnEarlierInexactFlag) {
    QvDecimal<2> d = dec<2>("0." + nines(19));
    EXPECT_TRUE(d.isInexact());
    EXPECT_EQ(d.getFlags(), QvDecimal<2>::kFlagInexact);
    d = dec<2>("1.5");
    EXPECT_EQ(d.getFlags(), 0u);
}

// ---- decimal to text ----

TEST(QvDecToStringTest, ReportsABufferTooSmallWithoutWriting) {
    const QvDecimal<4> d = dec<4>("-0." + nines(38));
    unsigned short wide[QvDecStringConvert::kBufferSize];
    EXPECT_EQ(QvDecStringConvert::toString(d, wide, QvDecStringConvert::kBufferSize), 41);
    char narrow[42];
    narrow[0] = 'x';
    EXPECT_EQ(QvDecStringConvert::toString(d, narrow, 41), -1);
    EXPECT_EQ(narrow[0], 'x');
    EXPECT_EQ(QvDecStringConvert::toString(d, narrow, 42), 41);
    EXPECT_EQ(std::string(narrow), "-0." + nines(38));
    EXPECT_EQ(QvDecStringConvert::toString(d, static_cast<char*>(nullptr), 100), -1);
}

TEST(QvDecToStringTest, SetPartsValidatesMagnitudeAndScale) {
    QvDecimal<2> d;
    QvDecimalImpl<2>::setParts(d, false, 1250, 2);
    EXPECT_EQ(textOf(d), "12.50");
    QvDecimalImpl<2>::setParts(d, true, 0, 3);
    EXPECT_FALSE(d.isNegative());
    EXPECT_EQ(textOf(d), "0.000");
    unsigned __int128 tenTo18 = 1;
    for (int i = 0; i < 18; ++i) tenTo18 *= 10;
    QvDecimalImpl<2>::setParts(d, true, tenTo18 - 1, 18);
    EXPECT_EQ(textOf(d), "-0." + nines(18));
    EXPECT_EQ(capture([&] { QvDecimalImpl<2>::setParts(d, false, tenTo18, 0); return Outcome{}; }).text, kOverflow);
    EXPECT_EQ(capture([&] { QvDecimalImpl<2>::setParts(d, false, 1, 19); return Outcome{}; }).text, kInvalid);
    EXPECT_EQ(capture([&] { QvDecimalImpl<2>::setParts(d, false, 1, -1); return Outcome{}; }).text, kInvalid);
}

// ---- rounding ----

template <int N>
struct Round {
    static Outcome run(const std::string& text, int scale, EQvDecRounding method) {
        return capture([&] {
            const QvDecimal<N> source = dec<N>(text);
            QvDecimal<N> result;
            QvDecimalImpl<N>::round(source, result, scale, method);
            QvDecimal<N> inPlace = source;
            QvDecimalImpl<N>::round(inPlace, inPlace, scale, method);
            EXPECT_EQ(textOf(inPlace), textOf(result));
            return Outcome{textOf(result), result.isInexact()};
        });
    }
};

TEST(QvDecRoundTest, RoundsWithEachMethod) {
    const std::vector<ScaledCase> cases = {
        {18, "2.5", 0, kHalfAway, "3", false},
        {18, "-2.5", 0, kHalfAway, "-3", false},
        {18, "2.4", 0, kHalfAway, "2", false},
        {28, "0.5", 0, kHalfAway, "1", false},
        {28, "-0.05", 1, kHalfAway, "-0.1", false},
        {38, "-0.5", 0, kHalfAway, "-1", false},
        {28, "123456789012345678901234567.5", 0, kHalfAway, "123456789012345678901234568", false},
        {38, "-1234567890123456789012345678901234567.5", 0, kHalfAway, "-1234567890123456789012345678901234568", false},
        {38, "0." + rep('0', 37) + "5", 37, kHalfAway, "0." + rep('0', 36) + "1", false},
        {18, "0." + nines(18), 17, kHalfAway, "1." + rep('0', 17), false},
        {18, "-2.9", 0, kTrunc, "-2", false},
        {18, "2.5", 0, kHalfEven, "2", false},
        {18, "3.5", 0, kHalfEven, "4", false},
        {18, "2.51", 0, kHalfEven, "3", false},
        {18, "-2.1", 0, kFloor, "-3", false},
        {18, "2.1", 0, kFloor, "2", false},
        {18, "2.1", 0, kCeil, "3", false},
        {18, "-2.1", 0, kCeil, "-2", false},
        {18, "1234.5", -2, kHalfAway, "1200", false},
        {18, "1250", -2, kHalfAway, "1300", false},
        {18, "1250", -2, kHalfEven, "1200", false},
        {18, "1.5", 3, kHalfAway, "1.5", false},
        {18, nines(18), 0, kHalfAway, nines(18), false},
        {18, nines(18), -1, kHalfAway, kOverflow, false},
        {38, nines(38), -1, kTrunc, nines(37) + "0", false},
        {38, "5", -100, kHalfAway, "0", false},
        {38, "5", -100, kCeil, kOverflow, false},
        {38, "-5", -100, kCeil, "0", false},
        {38, "5", INT_MIN, kHalfAway, "0", false},
        {38, "5", INT_MAX, kHalfAway, "5", false},
    };
    for (const ScaledCase& c : cases) {
        SCOPED_TRACE(c.text + " to scale " + std::to_string(c.scale));
        EXPECT_EQ(onDigits<Round>(c.digits, c.text, c.scale, c.rounding).text, c.expected);
    }
}

TEST(QvDecRoundTest, ClearsTheInexactFlag) {
    const QvDecimal<2> source = dec<2>("0." + nines(19));
    ASSERT_TRUE(source.isInexact());
    QvDecimal<2> result;
    QvDecimalImpl<2>::round(source, result, 30, kHalfAway);
    EXPECT_FALSE(result.isInexact());
    QvDecimalImpl<2>::round(source, result, 2, kHalfAway);
    EXPECT_FALSE(result.isInexact());
}

// ---- integers ----

struct IntCase {
    int digits;
    std::string text;
    bool ok32;
    int v32;
    bool ok64;
    long long v64;
};

template <int N>
struct ToInt {
    static void run(const IntCase& c) {
        SCOPED_TRACE(c.text);
        const QvDecimal<N> d = dec<N>(c.text);
        int i32 = 77;
        long long i64 = 77;
        EXPECT_EQ(QvDecimalImpl<N>::toInt32(d, i32), c.ok32 ? 0 : -1);
        EXPECT_EQ(i32, c.ok32 ? c.v32 : 77);
        EXPECT_EQ(QvDecimalImpl<N>::toInt64(d, i64), c.ok64 ? 0 : -1);
        EXPECT_EQ(i64, c.ok64 ? c.v64 : 77);
    }
};

TEST(QvDecIntTest, ConvertsToIntegersWithinTheirRange) {
    const std::vector<IntCase> cases = {
        {28, "2147483647", true, INT_MAX, true, INT_MAX},
        {28, "2147483648", false, 0, true, 2147483648LL},
        {28, "-2147483648", true, INT_MIN, true, INT_MIN},
        {28, "-2147483649", false, 0, true, -2147483649LL},
        {28, "2147483647.4", true, INT_MAX, true, INT_MAX},
        {28, "2147483647.5", false, 0, true, 2147483648LL},
        {28, "-2147483648.4", true, INT_MIN, true, INT_MIN},
        {28, "-2147483648.5", false, 0, true, -2147483649LL},
        {18, "2.5", true, 3, true, 3},
        {18, "-2.5", true, -3, true, -3},
        {18, "0.49", true, 0, true, 0},
        {18, "-0." + nines(18), true, -1, true, -1},
        {28, "9223372036854775807", false, 0, true, LLONG_MAX},
        {28, "9223372036854775808", false, 0, false, 0},
        {28, "-9223372036854775808", false, 0, true, LLONG_MIN},
        {28, "-9223372036854775809", false, 0, false, 0},
        {38, "9223372036854775807.5", false, 0, false, 0},
        {38, "-9223372036854775808.4", false, 0, true, LLONG_MIN},
        {38, nines(38), false, 0, false, 0},
        {38, "-0.5", true, -1, true, -1},
    };
    for (const IntCase& c : cases) onDigits<ToInt>(c.digits, c);
}

template <int N>
struct FromInt {
    static Outcome run(long long v) {
        return capture([&] {
            QvDecimal<N> d;
            QvDecimalImpl<N>::convertFrom(d, v);
            EXPECT_EQ(d.getScale(), 0);
            return Outcome{textOf(d)};
        });
    }
};

TEST(QvDecIntTest, ConvertsFromSixtyFourBitIntegers) {
    struct Case {
        int digits;
        long long value;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {18, LLONG_MIN, kOverflow},
        {18, LLONG_MAX, kOverflow},
        {18, 999999999999999999LL, nines(18)},
        {18, -999999999999999999LL, "-" + nines(18)},
        {18, 1000000000000000000LL, kOverflow},
        {18, 0, "0"},
        {28, LLONG_MIN, "-9223372036854775808"},
        {28, LLONG_MAX, "9223372036854775807"},
        {38, LLONG_MIN, "-9223372036854775808"},
        {38, -1, "-1"},
    };
    for (const Case& c : cases) EXPECT_EQ(onDigits<FromInt>(c.digits, c.value).text, c.expected) << c.value;
    QvDecimal<4> d;
    QvDecimalImpl<4>::convertFrom(d, INT_MIN);
    EXPECT_EQ(textOf(d), "-2147483648");
    QvDecimalImpl<4>::convertFrom(d, static_cast<int64_t>(INT64_MIN));
    EXPECT_EQ(textOf(d), "-9223372036854775808");
}

// The range check of integer literals: a 28-digit read compared with the
// 64-bit limits.
TEST(QvDecIntTest, RangeChecksIntegerLiteralsAgainstSixtyFourBits) {
    QvDecimal<3> lo;
    QvDecimal<3> hi;
    QvDecimalImpl<3>::convertFrom(lo, LLONG_MIN);
    QvDecimalImpl<3>::convertFrom(hi, LLONG_MAX);
    EXPECT_EQ(QvDecimalImpl<3>::compare(dec<3>("9223372036854775807"), hi), 0);
    EXPECT_EQ(QvDecimalImpl<3>::compare(dec<3>("9223372036854775808"), hi), 1);
    EXPECT_EQ(QvDecimalImpl<3>::compare(dec<3>("-9223372036854775808"), lo), 0);
    EXPECT_EQ(QvDecimalImpl<3>::compare(dec<3>("-9223372036854775809"), lo), -1);
    EXPECT_EQ(parse(28, "1" + rep('0', 29)).text, kOverflow);
}

// ---- comparison and negation ----

template <int N>
struct Compare {
    static int run(const std::string& a, const std::string& b) {
        const int ab = QvDecimalImpl<N>::compare(dec<N>(a), dec<N>(b));
        EXPECT_EQ(QvDecimalImpl<N>::compare(dec<N>(b), dec<N>(a)), -ab) << a << " vs " << b;
        return ab;
    }
};

TEST(QvDecCompareTest, ComparesAcrossScales) {
    struct Case {
        int digits;
        std::string a;
        std::string b;
        int expected;
    };
    const std::vector<Case> cases = {
        {18, "1.0", "1", 0},
        {18, "1.01", "1.1", -1},
        {18, "-1", "-1.00", 0},
        {18, "0", "-0.000", 0},
        {18, "1.5", "-2", 1},
        {18, "-1.5", "-1.49", -1},
        {18, nines(18), "0." + rep('0', 17) + "1", 1},
        {38, nines(38), "0." + rep('0', 37) + "1", 1},
        {38, "-" + nines(38), "0." + rep('0', 37) + "1", -1},
        {38, "-" + nines(38), "-0." + rep('0', 37) + "1", -1},
        {38, "0." + nines(38), "1", -1},
        {38, "9." + nines(37), "10", -1},
        {38, "1." + rep('0', 37), "1", 0},
        {38, nines(38), nines(38), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(onDigits<Compare>(c.digits, c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

template <int N>
struct Negate {
    static std::string run(const std::string& text) {
        QvDecimal<N> d = dec<N>(text);
        const unsigned int flags = d.getFlags();
        QvDecimalImpl<N>::negate(d);
        EXPECT_EQ(d.getFlags(), flags);
        const std::string negated = textOf(d);
        QvDecimalImpl<N>::negate(d);
        EXPECT_EQ(QvDecimalImpl<N>::compare(d, dec<N>(text)), 0) << text;
        return negated;
    }
};

TEST(QvDecNegateTest, NegatesUpToTheMaximum) {
    for (int digits : {18, 28, 38}) {
        const size_t p = static_cast<size_t>(digits);
        EXPECT_EQ(onDigits<Negate>(digits, nines(p)), "-" + nines(p));
        EXPECT_EQ(onDigits<Negate>(digits, "-" + nines(p)), nines(p));
        EXPECT_EQ(onDigits<Negate>(digits, "1.50"), "-1.50");
        EXPECT_EQ(onDigits<Negate>(digits, "0.00"), "0.00");
        EXPECT_EQ(onDigits<Negate>(digits, "0." + nines(p + 1)), "-1." + rep('0', p - 1));
    }
}

// ---- doubles ----

template <int N>
struct ToDouble {
    static double run(const std::string& text) { return QvDecimalImpl<N>::toDouble(dec<N>(text)); }
};

TEST(QvDecDoubleTest, ConvertsToTheNearestDouble) {
    struct Case {
        int digits;
        std::string text;
        double expected;
    };
    const std::vector<Case> cases = {
        {18, "0", 0.0},
        {18, "0.1", 0.1},
        {18, "0.3", 0.3},
        {18, "-123.456", -123.456},
        {18, "9007199254740993", 9007199254740992.0},
        {18, "9007199254740995", 9007199254740996.0},
        {18, "0.9007199254740993", 0.9007199254740993},
        {28, "123456789012345678901234567.8", 123456789012345678901234567.8},
        {38, nines(38), 1e38},
        {38, "0." + rep('0', 37) + "1", 1e-38},
        {38, "-0.12345678901234567890123456789012345678", -0.12345678901234567890123456789012345678},
    };
    for (const Case& c : cases) EXPECT_EQ(onDigits<ToDouble>(c.digits, c.text), c.expected) << c.text;
}

template <int N>
struct FromDouble {
    static Outcome run(double v) {
        return capture([&] {
            QvDecimal<N> d;
            QvDecimalImpl<N>::convertFrom(d, v);
            return Outcome{textOf(d), d.isInexact()};
        });
    }
};

TEST(QvDecDoubleTest, ConvertsFromTheShortestTextOfADouble) {
    struct Case {
        int digits;
        double value;
        std::string expected;
        bool inexact;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Case> cases = {
        {18, 0.1, "0.1", false},
        {18, -2.5, "-2.5", false},
        {18, -0.0, "0", false},
        {18, 1e20, kOverflow, false},
        {38, 1e20, "1" + rep('0', 20), false},
        {18, 1e-30, "0." + rep('0', 18), true},
        {18, 123456.789e-10, "0.0000123456789", false},
        {18, 1.5e-17, "0.000000000000000015", false},
        {18, 2.5e-18, "0.000000000000000003", true},
        {38, 1.7976931348623157e308, kOverflow, false},
        {38, std::nan(""), kInvalid, false},
        {38, inf, kInvalid, false},
        {38, -inf, kInvalid, false},
    };
    for (const Case& c : cases) {
        const Outcome got = onDigits<FromDouble>(c.digits, c.value);
        EXPECT_EQ(got.text, c.expected) << c.value;
        EXPECT_EQ(got.inexact, c.inexact) << c.value;
    }
}

// ---- between precisions ----

template <int N, int M>
Outcome convertBetween(const std::string& text, EQvDecRounding method) {
    return capture([&] {
        QvDecimal<N> d;
        QvDecimalImpl<N>::convertFrom(d, dec<M>(text), method);
        return Outcome{textOf(d), d.isInexact()};
    });
}

TEST(QvDecConvertTest, ConvertsBetweenPrecisions) {
    using Fn = Outcome (*)(const std::string&, EQvDecRounding);
    // [to][from], 0 = 18 digits, 1 = 28, 2 = 38.
    const Fn table[3][3] = {
        {&convertBetween<2, 2>, &convertBetween<2, 3>, &convertBetween<2, 4>},
        {&convertBetween<3, 2>, &convertBetween<3, 3>, &convertBetween<3, 4>},
        {&convertBetween<4, 2>, &convertBetween<4, 3>, &convertBetween<4, 4>},
    };
    struct Case {
        int to;
        int from;
        std::string text;
        EQvDecRounding method;
        std::string expected;
        bool inexact;
    };
    const std::vector<Case> cases = {
        {0, 2, nines(38), kHalfAway, kOverflow, false},
        {0, 2, nines(18), kHalfAway, nines(18), false},
        {0, 2, "1.2345678901234567890123", kHalfAway, "1.23456789012345679", true},
        {0, 2, "1.2345678901234567890123", kTrunc, "1.23456789012345678", true},
        {0, 2, "0." + nines(20), kHalfAway, "1." + rep('0', 17), true},
        {0, 2, nines(18) + ".5", kHalfAway, kOverflow, false},
        {0, 2, "1.5" + rep('0', 30), kHalfAway, "1.5" + rep('0', 16), false},
        {2, 0, "0." + nines(18), kHalfAway, "0." + nines(18), false},
        {0, 1, "-12.5", kHalfAway, "-12.5", false},
        {1, 2, "-0." + rep('0', 28) + "5", kHalfAway, "-0." + rep('0', 27) + "1", true},
        {1, 1, "3.25", kHalfAway, "3.25", false},
    };
    for (const Case& c : cases) {
        const Outcome got = table[c.to][c.from](c.text, c.method);
        EXPECT_EQ(got.text, c.expected) << c.text;
        EXPECT_EQ(got.inexact, c.inexact) << c.text;
    }
}

TEST(QvDecConvertTest, AssignFromCopiesValueScaleAndFlags) {
    const QvDecimal<4> source = dec<4>("0." + rep('1', 40));
    QvDecimal<4> copy;
    QvDecimalImpl<4>::assignFrom(copy, source);
    EXPECT_EQ(textOf(copy), textOf(source));
    EXPECT_EQ(copy.getScale(), 38);
    EXPECT_TRUE(copy.isInexact());
}

TEST(QvDecExceptionTest, CarriesItsReason) {
    try {
        QvDecimal<2> d;
        QvDecimalImpl<2>::convertFrom(d, LLONG_MAX);
        FAIL() << "no exception";
    } catch (const std::exception& e) {
        const auto* decError = dynamic_cast<const QvDecException*>(&e);
        ASSERT_NE(decError, nullptr);
        EXPECT_EQ(decError->reason(), eQvDecOverflow);
        EXPECT_STRNE(e.what(), "");
    }
    EXPECT_STRNE(QvDecException(eQvDecInvalidValue).what(), QvDecException(eQvDecOverflow).what());
}

}  // namespace
