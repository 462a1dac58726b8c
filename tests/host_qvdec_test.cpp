// Tests of the host decimal library: text conversion at and around 18, 28
// and 38 digits, rounding, integer and double conversions, comparison across
// scales, negation and conversion between precisions. Most cases are lines
// of data/qvdec_cases.txt; cases made by a loop and the checks of single
// entry points follow below.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "hosttest_util.h"
#include "qvdec.h"

namespace {

constexpr int kAsWritten = QvDecStringConvert::kScaleAsWritten;
constexpr EQvDecRounding kHalfAway = eQvDecRoundHalfAwayFromZero;
constexpr EQvDecRounding kTrunc = eQvDecRoundTruncate;

const char* const kCaseLines =
#include "data/qvdec_cases.txt"
    ;

// Marks an expected exception; `kNoRead` a text that holds no number (the
// result keeps its earlier value, 42).
const char* const kOverflow = "<overflow>";
const char* const kInvalid = "<invalid>";
const char* const kNoRead = "<noread>";

std::string rep(char c, size_t n) { return std::string(n, c); }
std::string nines(size_t n) { return rep('9', n); }

// What an operation produced: the value's text (or the exception's marker),
// its inexact flag and the units read.
struct Outcome { std::string text; bool inexact = false; long consumed = 0; };

// One line of the case file, its fields expanded.
struct Case {
    std::string line, op, expected;
    int digits = 0, scale = kAsWritten, exponent = 0;
    std::vector<std::string> args;
    EQvDecRounding rounding = kHalfAway;
    bool inexact = false;
    long consumed = -1;  // -1: the whole text
};

// X{n} is n copies of X, ~ a space, a lone _ the empty text.
std::string expand(const std::string& field) {
    if (field == "_") return "";
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '{' && !out.empty()) {
            const size_t close = field.find('}', i);
            out.append(std::stoul(field.substr(i + 1, close - i - 1)) - 1, out.back());
            i = close;
        } else {
            out += field[i] == '~' ? ' ' : field[i];
        }
    }
    return out;
}

std::vector<Case> loadCases() {
    const std::map<std::string, EQvDecRounding> roundings = {{"away", kHalfAway}, {"trunc", kTrunc},
        {"even", eQvDecRoundHalfEven}, {"floor", eQvDecRoundFloor}, {"ceil", eQvDecRoundCeiling}};
    std::vector<Case> cases;
    std::istringstream in(kCaseLines);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#' || line.find("=>") == std::string::npos) continue;
        Case c;
        c.line = line;
        std::istringstream fields(line);
        fields >> c.op >> c.digits;
        bool result = false;
        for (std::string f; fields >> f;) {
            if (f == "=>") result = true;
            else if (result && f == "inexact") c.inexact = true;
            else if (result && f.rfind("consumed=", 0) == 0) c.consumed = std::stol(f.substr(9));
            else if (result) c.expected += (c.expected.empty() ? "" : " ") + expand(f);
            else if (roundings.count(f) != 0) c.rounding = roundings.at(f);
            else if (f.rfind("scale=", 0) == 0) c.scale = std::stoi(f.substr(6));
            else if (f == "exponent") c.exponent = 1;
            else c.args.push_back(expand(f));
        }
        cases.push_back(c);
    }
    return cases;
}

// The text through both forms, which must agree and end in a terminator.
template <int N> std::string textOf(const QvDecimal<N>& d) {
    char narrow[QvDecStringConvert::kBufferSize];
    unsigned short wide[QvDecStringConvert::kBufferSize];
    const int len = QvDecStringConvert::toString(d, narrow, sizeof narrow);
    const int wlen = QvDecStringConvert::toString(d, wide, QvDecStringConvert::kBufferSize);
    EXPECT_EQ(std::string(narrow, static_cast<size_t>(len)), std::string(wide, wide + wlen));
    EXPECT_EQ(wide[wlen], 0);
    return std::string(narrow, static_cast<size_t>(len));
}

template <class F> Outcome capture(F&& run) try {
    return run();
} catch (const QvDecException& e) {
    return Outcome{e.reason() == eQvDecOverflow ? kOverflow : kInvalid};
}

template <int N> QvDecimal<N> dec(const std::string& text) {
    QvDecimal<N> d;
    const char* end = QvDecStringConvert::stringToQvDec(d, text.c_str(), text.c_str() + text.size());
    EXPECT_EQ(end, text.c_str() + text.size()) << text;
    return d;
}

// Reads through both text forms, which must agree, starting from the value 42.
template <int N> Outcome read(const std::string& text, int scale, EQvDecRounding rounding, int exponent) {
    auto readAs = [&]<class CharT>(CharT) {
        std::vector<CharT> units(text.begin(), text.end());
        units.push_back(0);
        return capture([&] {
            QvDecimal<N> d;
            QvDecimalImpl<N>::convertFrom(d, 42);
            const CharT* end = QvDecStringConvert::stringToQvDec(d, units.data(), units.data() + text.size(), scale,
                                                                 rounding, exponent);
            Outcome o{textOf(d), d.isInexact(), static_cast<long>(end - units.data())};
            if (o.consumed == 0) o.text = o.text == "42" ? kNoRead : "<changed on no read>";
            return o;
        });
    };
    const Outcome wide = readAs(static_cast<unsigned short>(0)), narrow = readAs('\0');
    EXPECT_EQ(wide.text + " " + std::to_string(wide.consumed), narrow.text + " " + std::to_string(narrow.consumed));
    return wide;
}

template <int N, int M> Outcome convert(const Case& c) {
    return capture([&] {
        QvDecimal<N> d;
        QvDecimalImpl<N>::convertFrom(d, dec<M>(c.args[1]), c.rounding);
        return Outcome{textOf(d), d.isInexact()};
    });
}

// Runs a case on decimals of N words.
template <int N> Outcome run(const Case& c) {
    using Impl = QvDecimalImpl<N>;
    const std::string& a = c.args.at(0);
    if (c.op == "read") return read<N>(a, c.scale, c.rounding, c.exponent);
    if (c.op == "round") {
        return capture([&] {
            const QvDecimal<N> source = dec<N>(a);
            QvDecimal<N> result, inPlace = source;
            Impl::round(source, result, std::stoi(c.args.at(1)), c.rounding);
            Impl::round(inPlace, inPlace, std::stoi(c.args.at(1)), c.rounding);
            EXPECT_EQ(textOf(inPlace), textOf(result));
            return Outcome{textOf(result)};
        });
    }
    if (c.op == "int") {  // a refused conversion keeps the target
        int i32 = 77;
        long long i64 = 77;
        const bool ok32 = Impl::toInt32(dec<N>(a), i32) == 0, ok64 = Impl::toInt64(dec<N>(a), i64) == 0;
        EXPECT_TRUE((ok32 || i32 == 77) && (ok64 || i64 == 77));
        return {(ok32 ? std::to_string(i32) : "-") + " " + (ok64 ? std::to_string(i64) : "-")};
    }
    if (c.op == "fromint" || c.op == "fromdouble") {
        return capture([&] {
            QvDecimal<N> d;
            if (c.op == "fromint") Impl::convertFrom(d, std::stoll(a));
            else Impl::convertFrom(d, std::strtod(a.c_str(), nullptr));
            return Outcome{textOf(d), d.isInexact()};
        });
    }
    if (c.op == "compare") {
        const int ab = Impl::compare(dec<N>(a), dec<N>(c.args.at(1)));
        EXPECT_EQ(Impl::compare(dec<N>(c.args.at(1)), dec<N>(a)), -ab);
        return {std::to_string(ab)};
    }
    if (c.op == "negate") {
        QvDecimal<N> d = dec<N>(a);
        Impl::negate(d);
        return {textOf(d), d.isInexact()};
    }
    if (c.op == "todouble") {
        const double got = Impl::toDouble(dec<N>(a));
        return {got == std::strtod(c.expected.c_str(), nullptr) ? c.expected : std::to_string(got)};
    }
    if (c.op == "convert") return a == "18" ? convert<N, 2>(c) : a == "28" ? convert<N, 3>(c) : convert<N, 4>(c);
    ADD_FAILURE() << "unknown operation";
    return {};
}

Outcome onDigits(const Case& c) { return c.digits == 18 ? run<2>(c) : c.digits == 28 ? run<3>(c) : run<4>(c); }

// The flag is checked in every case, the units read where text is read;
// neither for an exception.
TEST(QvDecCasesTest, EveryCaseOfTheCaseFile) {
    const std::vector<Case> cases = loadCases();
    ASSERT_GE(cases.size(), 80u);  // the file was read whole
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const Outcome got = onDigits(c);
        EXPECT_EQ(got.text, c.expected);
        if (c.expected[0] == '<') continue;
        EXPECT_EQ(got.inexact, c.inexact);  // never set by operations that cannot lose digits
        if (c.op != "read") continue;
        EXPECT_EQ(got.consumed, c.consumed < 0 ? static_cast<long>(c.args[0].size()) : c.consumed);
    }
}

// Reads `text` at `digits` as written (or at `scale`), expecting `expected`
// and the whole text read.
void checkRead(int digits, const std::string& text, const std::string& expected, bool inexact = false,
               int scale = kAsWritten, EQvDecRounding rounding = kHalfAway) {
    Case c{"", "read", "", digits, scale, 0, {text}, rounding};
    SCOPED_TRACE(std::to_string(digits) + " digits: \"" + text.substr(0, 60) + "\"");
    const Outcome got = onDigits(c);
    EXPECT_EQ(got.text, expected);
    EXPECT_EQ(answers({got.inexact, got.consumed}), expected[0] == '<' ? answers({0, 0}) : answers({inexact, text.size()}));
}

TEST(QvDecParseTest, EveryScaleUpToThePrecisionRoundTrips) {
    for (int digits : {18, 28, 38}) {
        const auto p = static_cast<size_t>(digits);
        for (size_t scale = 0; scale <= p; ++scale) {
            const std::string fraction = scale == 0 ? "" : "." + nines(scale);
            const std::string intPart = scale == p ? "0" : nines(p - scale);
            checkRead(digits, intPart + fraction, intPart + fraction);
            checkRead(digits, "-" + intPart + fraction, "-" + intPart + fraction);
            // One more integer digit than the scale leaves room for: at that
            // scale it overflows; as written the last fractional digit goes.
            const std::string wider = scale == p ? "1" + fraction : "1" + intPart + fraction;
            checkRead(digits, wider, kOverflow, false, static_cast<int>(scale));
            if (scale > 0) {
                checkRead(digits, wider, "2" + rep('0', p - scale) + (scale > 1 ? "." + rep('0', scale - 1) : ""), true);
                checkRead(digits, "0." + rep('0', scale - 1) + "7", "0." + rep('0', scale - 1) + "7");
            }
        }
        // A scale beyond the precision: the last digit is rounded away.
        checkRead(digits, "0." + rep('0', p) + "7", "0." + rep('0', p - 1) + "1", true);
    }
}

TEST(QvDecParseTest, ThousandsOfDigitsAreReadExactly) {
    for (int digits : {18, 28, 38}) {
        const size_t p = static_cast<size_t>(digits);
        checkRead(digits, "1" + rep('0', 2000), kOverflow);
        checkRead(digits, "0." + rep('0', 2000) + "1", "0." + rep('0', p), true);
        checkRead(digits, "1." + rep('3', 3000), "1." + rep('3', p - 1), true);
        checkRead(digits, "0.5" + rep('0', 3000), "0.5" + rep('0', p - 1));
        checkRead(digits, "0.5" + rep('0', 3000) + "1", "0.5" + rep('0', p - 1), true);
        checkRead(digits, rep('0', 3000) + "7.25", "7.25");
        checkRead(digits, "0.4" + nines(3000), "0.5" + rep('0', p - 1), true);
        checkRead(digits, "0.4" + nines(3000), "0.4" + nines(p - 1), true, kAsWritten, kTrunc);
    }
}

TEST(QvDecParseTest, NullEndReadsUpToTheTerminatorAndAnExactReadClearsTheFlag) {
    const unsigned short text[] = {'1', '2', '.', '5', 0, '7'};
    const char stop[] = "-3.25x";
    QvDecimal<3> d = dec<3>("0." + nines(29));
    ASSERT_EQ(d.getFlags(), QvDecimal<3>::kFlagInexact);
    EXPECT_EQ(QvDecStringConvert::stringToQvDec(d, stop, nullptr), stop + 5);
    EXPECT_EQ(textOf(d) + (d.isInexact() ? " inexact" : ""), "-3.25");
    EXPECT_EQ(QvDecStringConvert::stringToQvDec(d, text, nullptr), text + 4);
    EXPECT_EQ(textOf(d), "12.5");
}

TEST(QvDecToStringTest, ReportsABufferTooSmallWithoutWriting) {
    const QvDecimal<4> d = dec<4>("-0." + nines(38));
    unsigned short wide[QvDecStringConvert::kBufferSize];
    char narrow[42] = "x";
    EXPECT_EQ(answers({QvDecStringConvert::toString(d, wide, QvDecStringConvert::kBufferSize),
                       QvDecStringConvert::toString(d, narrow, 41), narrow[0] == 'x',
                       QvDecStringConvert::toString(d, static_cast<char*>(nullptr), 100)}), "41 -1 1 -1");
    EXPECT_EQ(QvDecStringConvert::toString(d, narrow, 42), 41);
    EXPECT_EQ(std::string(narrow), "-0." + nines(38));
}

TEST(QvDecToStringTest, SetPartsValidatesMagnitudeAndScale) {
    QvDecimal<2> d;
    QvDecimalImpl<2>::setParts(d, true, 0, 3);
    EXPECT_FALSE(d.isNegative());
    EXPECT_EQ(textOf(d), "0.000");
    const unsigned __int128 tenTo18 = 1000000000000000000ULL;
    QvDecimalImpl<2>::setParts(d, true, tenTo18 - 1, 18);
    EXPECT_EQ(textOf(d), "-0." + nines(18));
    EXPECT_EQ(capture([&] { QvDecimalImpl<2>::setParts(d, false, tenTo18, 0); return Outcome{}; }).text, kOverflow);
    EXPECT_EQ(capture([&] { QvDecimalImpl<2>::setParts(d, false, 1, 19); return Outcome{}; }).text, kInvalid);
    EXPECT_EQ(capture([&] { QvDecimalImpl<2>::setParts(d, false, 1, -1); return Outcome{}; }).text, kInvalid);
}

// Rounding clears the inexact flag; copying keeps value, scale and flag.
TEST(QvDecRoundTest, RoundingClearsTheInexactFlagAndAssignmentCopiesIt) {
    const QvDecimal<2> source = dec<2>("0." + nines(19));
    QvDecimal<2> result, other;
    QvDecimalImpl<2>::round(source, result, 30, kHalfAway);
    QvDecimalImpl<2>::round(source, other, 2, kHalfAway);
    EXPECT_EQ(answers({source.isInexact(), result.isInexact(), other.isInexact()}), "1 0 0");
    QvDecimal<4> copy;
    QvDecimalImpl<4>::assignFrom(copy, dec<4>("0." + rep('1', 40)));
    EXPECT_EQ(textOf(copy) + " " + answers({copy.getScale(), copy.isInexact()}), "0." + rep('1', 38) + " 38 1");
}

// The reason itself is read in every <overflow> and <invalid> case.
TEST(QvDecExceptionTest, IsAStandardExceptionWithTheTextOfItsReason) {
    QvDecimal<2> d;
    EXPECT_THROW(QvDecimalImpl<2>::convertFrom(d, LLONG_MAX), std::exception);
    EXPECT_EQ(answers({std::string(QvDecException(eQvDecOverflow).what()).find("overflow") != std::string::npos,
                       std::string(QvDecException(eQvDecInvalidValue).what()).find("overflow") != std::string::npos}),
              "1 0");
}

}  // namespace
