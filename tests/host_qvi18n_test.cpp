// Tests of the host text library: QvUString storage and editing, formatting,
// case handling, character classes, number parsing and UTF-8 conversion.
#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "hosttest_util.h"
#include "qvcmnasrt.h"
#include "qvi18n.h"

namespace {

using U16 = std::u16string;

const unsigned short* us(const char16_t* s) { return reinterpret_cast<const unsigned short*>(s); }
const unsigned short* us(const U16& s) { return us(s.c_str()); }
U16 toU16(const QvUString& s) { return U16(reinterpret_cast<const char16_t*>(s.getBuffer()), s.length()); }

// Every QvUString must keep a 0 unit right after its content.
void expectTerminated(const QvUString& s) {
    EXPECT_EQ(s.getBuffer()[s.length()], 0u);
    EXPECT_GE(s.capacity(), s.length());
}

QvUString repeated(unsigned short unit, size_t count) { return QvUString(QvUString().replace(0, 0, unit, count)); }

// ---- storage and value semantics ----

TEST(QvUStringTest, CopyMoveAndSelfAssignmentAroundInlineCapacity) {
    for (size_t n : {0, 1, 14, 15, 16, 17, 31, 32, 33, 1000}) {
        const QvUString s = repeated('x', n);
        QvUString copy(s), moved(std::move(copy)), assigned("zz");
        EXPECT_EQ(answers({s.length(), moved == s, copy.isEmpty()}), answers({n, 1, 1}));  // NOLINT(bugprone-use-after-move)
        expectTerminated(s);
        expectTerminated(copy);  // NOLINT(bugprone-use-after-move): moved-from is empty by contract
        assigned = moved;
        EXPECT_EQ(assigned, s);
        assigned = std::move(moved);
        QvUString& alias = assigned;
        assigned = alias;
        assigned = std::move(alias);
        assigned.assign(assigned.getBuffer(), assigned.length());
        EXPECT_EQ(assigned, s);
        expectTerminated(assigned);
    }
}

// Texts that fit the inline room are copied in pieces of fixed sizes; every
// length copies exactly its units, from a source with no room after them
// (the address sanitizer sees a read past it), into a string that still
// edits and grows like any other.
TEST(QvUStringTest, FromPointerAndLengthAtEveryShortLength) {
    for (size_t n = 0; n <= 40; ++n) {
        std::unique_ptr<unsigned short[]> source(new unsigned short[n + 1]);  // no terminator
        for (size_t i = 0; i <= n; ++i) source[i] = static_cast<unsigned short>(0x4E00 + i);
        QvUString s(source.get(), n);
        ASSERT_EQ(s.length(), n);
        expectTerminated(s);
        s.append(source[n]);
        const QvUString moved(std::move(s));
        ASSERT_EQ(toU16(moved), U16(reinterpret_cast<const char16_t*>(source.get()), n + 1)) << n;
        expectTerminated(moved);
    }
}

// The form for a text inside a longer buffer copies a fixed block when the
// buffer goes on far enough: only the text's own units may show.
TEST(QvUStringTest, FromUnitsInsideALongerBuffer) {
    std::vector<unsigned short> buffer(64);
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<unsigned short>('A' + i % 26);
    for (size_t readable : {1, 15, 16, 17, 64}) {
        for (size_t n = 0; n <= 20 && n <= readable; ++n) {
            const unsigned short* text = buffer.data() + buffer.size() - readable;
            QvUString made(text, n, readable);
            EXPECT_EQ(made, QvUString(text, n)) << readable << " " << n;
            expectTerminated(made);
        }
    }
}

TEST(QvUStringTest, EmbeddedZerosNullTextsAllocAndAscii) {
    QvUString s = repeated('q', 40);
    s.assign(s.getBuffer() + 1, 2);
    EXPECT_EQ(s.toUtf8(), "qq");
    const unsigned short text[] = {'a', 0, 'b', 0};
    QvUString zeros(text, 3), copy = zeros;
    std::unique_ptr<unsigned short[]> buffer(copy.getBufferCopy());
    EXPECT_EQ(answers({zeros.at(1), zeros.at(2), zeros.at(3), zeros.at(100), copy.length(), copy == QvUString("a"),
                       copy.compare(QvUString("a")) > 0, buffer[2], buffer[3]}), "0 98 0 0 3 0 1 98 0");
    EXPECT_EQ(answers({QvUString(static_cast<const unsigned short*>(nullptr)).isEmpty(),
                       QvUString(static_cast<const unsigned short*>(nullptr), 0).isEmpty(),
                       QvUString(static_cast<const char*>(nullptr)).isEmpty(), copy.assignNative(nullptr).isEmpty()}),
              "1 1 1 1");
    s = QvUString("abc");
    s.alloc(1000);
    EXPECT_GE(s.capacity(), 1000u);
    s.alloc(2);  // never shrinks below content
    EXPECT_EQ(s.toUtf8(), "abc");
    s.assignASCII("h\xE9llo", 3);
    EXPECT_EQ(toU16(s), U16(u"h\u00E9l"));
    s.assignASCII("xyz");
    EXPECT_EQ(answers({s.equalsASCII("xyz"), s.equalsASCII("xy"), s.equalsASCII("xyzz")}), "1 0 0");
}

// ---- editing ----

TEST(QvUStringTest, ReplaceTable) {
    const struct { const char *start; size_t pos, count; const char *with, *expected; } cases[] = {
        {"abcdef", 100, 5, "XY", "abcdefXY"},  // pos past end clamps to the end
        {"abcdef", 2, 2, "XY", "abXYef"},
        {"abcdef", 2, 100, "XY", "abXY"},  // count clamps to the end
        {"abcdef", 2, QvUString::npos, "", "ab"},
        {"abcdef", 1, 4, "0123456789abcdefghij", "a0123456789abcdefghijf"},  // grows past inline
        {"0123456789abcdefghij", 1, 18, "x", "0xj"},
        {"", 5, 5, "abc", "abc"},
    };
    for (const auto& c : cases) {
        QvUString s = qvU(c.start);
        s.replace(c.pos, c.count, qvU(c.with));
        EXPECT_EQ(s.toUtf8(), c.expected) << c.start << " @" << c.pos << "+" << c.count;
        expectTerminated(s);
    }
}

TEST(QvUStringTest, RepeatedUnitsInsertAndEraseAtBoundaries) {
    QvUString s("abc");
    s.replace(1, 1, static_cast<unsigned short>('-'), 20);
    EXPECT_EQ(s.toUtf8(), "a" + std::string(20, '-') + "c");
    s = QvUString("bc");
    s.insert(0, qvU("a"));
    s.insert(1000, qvU("d"));
    EXPECT_EQ(s.toUtf8(), "abcd");
    s.erase(1, 1);
    s.erase(1000, 3);
    s.erase(2);
    EXPECT_EQ(s.toUtf8(), "ac");
}

// Sources inside the string being edited, before and after reallocation;
// each edit is compared with the same edit from a separate copy.
TEST(QvUStringTest, AliasedSourcesAreSafe) {
    using Edit = void (*)(QvUString& s, const QvUString& source);
    const std::pair<Edit, Edit> edits[] = {
        {[](QvUString& s, const QvUString&) { s.append(s); }, [](QvUString& s, const QvUString& c) { s.append(c); }},
        {[](QvUString& s, const QvUString&) { s.append(s.getBuffer(), s.length()); },
         [](QvUString& s, const QvUString& c) { s.append(c); }},
        {[](QvUString& s, const QvUString&) { s.replace(1, 0, s.getBuffer(), s.length()); },
         [](QvUString& s, const QvUString& c) { s.insert(1, c); }},
        {[](QvUString& s, const QvUString&) { s.insert(0, s); }, [](QvUString& s, const QvUString& c) { s.insert(0, c); }},
        {[](QvUString& s, const QvUString&) { s.replace(0, 2, s.getBuffer() + 1, s.length() - 1); },
         [](QvUString& s, const QvUString& c) { (s = c.substr(1)).append(c.substr(2)); }},
    };
    for (size_t n : {4, 15, 16, 100}) {
        QvUString base = repeated('a', n);
        base.replace(0, 1, static_cast<unsigned short>('b'), 1);
        for (const auto& [aliased, separate] : edits) {
            QvUString s = base, expected = base;
            aliased(s, base);
            separate(expected, QvUString(base));
            EXPECT_EQ(s, expected) << n;
            expectTerminated(s);
        }
    }
}

// A borrowed string reads the lender's units in place; whatever changes it
// must copy them first and leave the lender's buffer as it was, and nothing
// may free that buffer.
TEST(QvUStringTest, BorrowedUnitsAreNeverWrittenOrFreed) {
    static const U16 other = u"other";
    const std::pair<void (*)(QvUString&), const char16_t*> cases[] = {  // the lender is "hello world"
        {[](QvUString& s) { s.append(us(u"!"), 1); }, u"hello world!"},
        {[](QvUString& s) { s.append(s); }, u"hello worldhello world"},
        {[](QvUString& s) { s.erase(5); }, u"hello"},
        {[](QvUString& s) { s.assign(s.getBuffer() + 6, 5); }, u"world"},
        {[](QvUString& s) { s.makeEmpty(); }, u""},
        {[](QvUString& s) { s.alloc(100); }, u"hello world"},
        {[](QvUString& s) { s = QvUString("moved"); }, u"moved"},
        {[](QvUString& s) { s.assignBorrowed(us(other), other.size()); }, u"other"},
    };
    for (const auto& [change, expected] : cases) {
        SCOPED_TRACE(QvUString(us(expected)).toUtf8());
        const U16 lender = u"hello world";
        QvUString s;
        s.assignBorrowed(us(lender), lender.size());
        EXPECT_TRUE(s.getBuffer() == us(lender) && s.capacity() == 0);
        change(s);
        EXPECT_EQ(toU16(s), U16(expected));
        EXPECT_EQ(lender, u"hello world");
        EXPECT_EQ(s.getBuffer()[s.length()], 0u);
    }
}

TEST(QvUStringTest, CopiesOfABorrowedStringOwnTheirUnitsAndBorrowingNeedsATerminator) {
    const U16 lender = u"a text longer than the inline room";
    QvUString borrowed;
    borrowed.assignBorrowed(us(lender), lender.size());
    QvUString copy(borrowed);
    EXPECT_TRUE(copy.getBuffer() != borrowed.getBuffer() && copy == borrowed);
    expectTerminated(copy);
    QvUString moved(std::move(borrowed));  // passes the borrow on
    EXPECT_EQ(moved.getBuffer(), us(lender));
    EXPECT_TRUE(borrowed.isEmpty());  // NOLINT(bugprone-use-after-move)
    QvUString grown = repeated('x', 100);  // borrowing over a heap buffer frees it (ASan: no leak)
    grown.assignBorrowed(us(lender), lender.size());
    EXPECT_EQ(toU16(grown), lender);
    EXPECT_THROW(grown.assignBorrowed(us(lender), 2), QvAssertFailure);
    EXPECT_THROW(grown.assignBorrowed(nullptr, 0), QvAssertFailure);
}

int g_refusals = 0;
void countRefusal(const char*, int) { ++g_refusals; }

// With a handler that returns, a refused text leaves the string empty, not
// pointing at units it may not read.
TEST(QvUStringTest, RefusedBorrowingLeavesAnEmptyString) {
    for (const unsigned short* text : {us(u"abc"), static_cast<const unsigned short*>(nullptr)}) {
        QvUString s = repeated('x', 40);
        g_refusals = 0;
        const QvAssertHandlerFn previous = qvSetAssertHandler(countRefusal);
        s.assignBorrowed(text, 2);
        qvSetAssertHandler(previous);
        EXPECT_TRUE(g_refusals == 1 && s.isEmpty());
        expectTerminated(s);
    }
}

TEST(QvUStringTest, SubstrAndFind) {
    QvUString s = qvU("hello world hello");
    EXPECT_EQ(s.substr(6, 5).toUtf8() + s.substr(12).toUtf8() + s.substr(100).toUtf8() + s.substr(15, 100).toUtf8(),
              "worldhellolo");
    EXPECT_EQ(answers({s.find('o'), s.find('o', 5), s.find('z'), s.find('h', 100), s.find(qvU("hello")),
                       s.find(qvU("hello"), 1), s.find(qvU("hellp")), s.find(QvUString(), 3),
                       s.find(QvUString(), s.length()), s.find(QvUString(), s.length() + 1)}),
              "4 7 -1 -1 0 12 -1 3 17 -1");
}

// Callers only test the sign (and operator<), so only the sign is checked.
TEST(QvUStringTest, CompareIsCodeUnitOrder) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {  // a < b
        {u"", u"a"},
        {u"abc", u"abd"},
        {u"ab", u"abc"},
    };
    auto sign = [](int r) { return (r > 0) - (r < 0); };
    for (const auto& [a, b] : cases) {
        const QvUString qa(us(a)), qb(us(b));
        EXPECT_EQ(answers({sign(qa.compare(qb)), sign(qa.compare(us(b))), sign(qvUStrcmp(us(a), us(b))),
                           sign(qb.compare(qa)), sign(qb.compare(us(a))), sign(qvUStrcmp(us(b), us(a))), qa < qb,
                           qa.compare(qa), qvUStrcmp(us(a), us(a))}), "-1 -1 -1 1 1 1 1 0 0");
    }
}

// ---- case ----

TEST(QvUStringTest, MakeUpperFullMapping) {
    const std::pair<const char*, const char*> cases[] = {
        {"select if", "SELECT IF"},
        {"straße", "STRASSE"},  // U+00DF grows to two units
        {"ıi", "II"},  // dotless i, and i does not become U+0130
        {"", ""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(qvU(in).makeUpper().toUtf8(), out) << in;
    EXPECT_EQ(repeated(0xDF, 40).makeUpper().length(), 80u);  // past the first guess of the length
    EXPECT_EQ(qvU("ABC\u00C9").makeLower().toUtf8(), "abc\u00E9");
}

TEST(QvUStringTest, CaseInsensitiveCompare) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"abc", "ABC", true},
        {"Straße", "STRASSE", true},  // full folding
        {"abc", "ab", false},
    };
    for (const auto& [a, b, equal] : cases) {
        EXPECT_EQ(qvU(a).caseCompare(qvU(b)) == 0, equal) << a << " / " << b;
        EXPECT_EQ(qvUStricmp(qvU(a).getBuffer(), qvU(b).getBuffer()) == 0, equal) << a << " / " << b;
    }
    EXPECT_TRUE(qvU("abc").caseCompare(qvU("ABD")) < 0 && qvU("abd").caseCompare(qvU("ABC")) > 0);
}

TEST(QvUStringTest, BoundedCaseInsensitiveCompare) {
    const QvUString a = qvU("HelloWorld"), b = qvU("helloThere");
    const unsigned short *pa = a.getBuffer(), *pb = b.getBuffer();
    EXPECT_EQ(answers({qvUStrnicmp(pa, pb, 5) == 0, qvUStrnicmp(pa, pb, 6) == 0, qvUStrnicmp(us(u"a"), us(u"b"), 0),
                       qvUAStrnicmp(pa, "HELLOworld", 100) == 0, qvUAStrnicmp(pa, "HELLOx", 5) == 0,
                       qvUAStrnicmp(pa, "HELLOx", 6) == 0, qvUAStrnicmp(pa, "HELLO", 100) == 0}), "1 0 0 1 1 0 0");
    // One unit never matches two bytes: U+FB02 folds to "fl" in full case
    // folding, yet ":\uFB02D" (3 units) must not match ":FLD" (4 bytes).
    const unsigned short* ligature = us(u":\uFB02D");
    EXPECT_TRUE(qvUAStrnicmp(ligature, ":FLD", 4) != 0 && qvUAStrnicmp(ligature, ":FL", 3) != 0);
    EXPECT_TRUE(qvUStrncmp(pa, us(u"Help"), 3) == 0 && qvUStrncmp(pa, us(u"Help"), 4) < 0);
    const unsigned short x[] = {'a', 0, 'x'}, y[] = {'a', 0, 'y'};  // nothing past a terminator is read
    EXPECT_EQ(answers({qvUStrcmp(x, y), qvUStrncmp(x, y, 3)}), "0 0");
}

// ---- formatting ----

template <class... A> std::string sprinted(const char* format, A... args) {
    QvUString s;
    const int n = s.sprint(format, args...);
    EXPECT_EQ(static_cast<size_t>(n), s.length()) << format;
    expectTerminated(s);
    return s.toUtf8();
}

TEST(QvUStringTest, SprintConversions) {
    const U16 abc = u"abc", abcdef = u"abcdef";
    const unsigned short* const noText = nullptr;
    const std::pair<std::string, const char*> cases[] = {
        {sprinted("%d|%i", -42, 7), "-42|7"},
        {sprinted("%5d|%-5d|%05d", 42, 42, 42), "   42|42   |00042"},
        {sprinted("%lld", LLONG_MIN), "-9223372036854775808"},
        {sprinted("%llu", ULLONG_MAX), "18446744073709551615"},
        {sprinted("%x %X %o %#x", 255u, 255u, 15u, 31u), "ff FF 17 0x1f"},
        {sprinted("%zu %ld", static_cast<size_t>(12345), -7L), "12345 -7"},
        {sprinted("%%"), "%"},
        {sprinted("%+.2f", 3.14159), "+3.14"},
        {sprinted("[%3c|%-3c]", 'a', 'b'), "[  a|b  ]"},
        {sprinted("%hd %hhu", 65535, 511), "-1 255"},
        {sprinted("%Lg", 2.5L), "2.5"},
        {sprinted("[%*d][%-*d][%.*f]", 4, 7, 3, 7, 2, 1.0), "[   7][7  ][1.00]"},
        {sprinted("[%*d]", -4, 7), "[7   ]"},  // a negative width means left-aligned
        {sprinted("[%.*s][%.*s]", 2, us(abcdef), -1, us(abcdef)), "[ab][abcdef]"},  // negative precision: none
        {sprinted("%s|%S", us(abc), us(abc)), "abc|abc"},
        {sprinted("%.2s|%.0s|%2s", us(abc), us(abc), us(abc)), "ab||abc"},
        {sprinted("%-6hs|%.3hs", "ab", "abcdef"), "ab    |abc"},
        {sprinted("%s %hs", noText, static_cast<const char*>(nullptr)), "(null) (null)"},
        {sprinted("a%qb%"), "a%qb%"},  // unknown conversions are copied
        {sprinted("x%ny", 1), "x%ny"},
    };
    for (const auto& [got, expected] : cases) EXPECT_EQ(got, expected);
}

TEST(QvUStringTest, SprintArgumentsOfAnyLengthAndFromTheTargetItself) {
    for (size_t n : {0, 1, 10000, 1000000}) {
        const QvUString arg = repeated(0x4E2D, n);
        QvUString s;
        ASSERT_EQ(answers({s.sprint("[%s|%d]", arg.getBuffer(), 5), s.length()}), answers({n + 4, n + 4}));
        EXPECT_EQ(s.substr(1, n), arg);
        EXPECT_TRUE(s.at(0) == '[' && s.substr(n + 1).toUtf8() == "|5]");
        expectTerminated(s);
    }
    QvUString s;
    EXPECT_EQ(answers({s.sprint("%hs", std::string(200000, 'k').c_str()), s.sprint("%1000000d", 1), s.length()}),
              "200000 1000000 1000000");
    s = repeated('w', 50);
    s.sprint("<%s><%s>", s.getBuffer(), s.getBuffer());
    EXPECT_EQ(answers({s.length(), s.at(51)}), "104 62");
}

TEST(QvUStringTest, SprintFromUtf16Format) {
    QvUString s;
    const int n = s.sprint(us(u"\u00C4rger: %s (%d) %hs %%"), us(u"\u4E2D"), 12, "x");
    EXPECT_EQ(s.toUtf8(), "\u00C4rger: \u4E2D (12) x %");
    EXPECT_EQ(static_cast<size_t>(n), s.length());
    s.sprint(us(u"%\u4E2D"));  // a non-ASCII unit is no conversion
    EXPECT_EQ(toU16(s), u"%\u4E2D");
}

TEST(QvUStringTest, SprintIgnoresProcessLocale) {
    const std::string saved = setlocale(LC_NUMERIC, nullptr) ? setlocale(LC_NUMERIC, nullptr) : "C";
    bool switched = setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    QvUString s;
    s.sprint("%.2f", 1.5);
    double d = qvUStrtod(us(u"2.5"), nullptr);
    setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_TRUE(s.toUtf8() == "1.50" && d == 2.5) << s.toUtf8() << " " << d;
    if (!switched) GTEST_SKIP() << "no de_DE locale installed";
}

// ---- character classes ----

// The classes answer ASCII units from a table of their own and the rest
// from ICU; every unit must get ICU's answer either way.
TEST(QvUCharClassTest, EveryUnitAgreesWithIcu) {
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        const auto c = static_cast<unsigned short>(u);
        ASSERT_EQ(answers({qvUIsASCII(c) != 0, qvUIsDigit(c) != 0, qvUIsCntrl(c) != 0, qvUIsAnyDigit(c) != 0,
                           qvUIsPunct(c) != 0, qvUIsSpace(c) != 0, qvUIsAlpha(c) != 0, qvUIsAlnum(c) != 0}),
                  answers({u < 0x80, u >= '0' && u <= '9', u_iscntrl(c) != 0, u_isdigit(c) != 0, u_ispunct(c) != 0,
                           u_isspace(c) != 0, u_isalpha(c) != 0, u_isalnum(c) != 0})) << std::hex << u;
    }
    EXPECT_EQ(answers({qvUCheckAll(us(u"plain_name"), &qvUIsASCII), qvUCheckAll(us(u"na\u00EFve"), &qvUIsASCII),
                       qvUCheckAll(us(u""), &qvUIsDigit), qvUCheckAll(us(u"01a3"), &qvUIsDigit)}), "1 0 1 0");
}

// The ASCII shortcut of qvUAStrnicmp must order and equate exactly as ICU's
// simple case folding does, for every unit against every byte.
TEST(QvUStringTest, BoundedAsciiCompareAgreesWithIcuFolding) {
    for (unsigned u = 1; u <= 0xFFFF; ++u) {
        const unsigned short unit[] = {static_cast<unsigned short>(u), 0};
        for (unsigned b = 1; b <= 0xFF; ++b) {
            const char byte[] = {static_cast<char>(b), 0};
            const UChar32 fu = u_foldCase(static_cast<UChar32>(u), U_FOLD_CASE_DEFAULT);
            const UChar32 fb = u_foldCase(static_cast<UChar32>(b), U_FOLD_CASE_DEFAULT);
            if (qvUAStrnicmp(unit, byte, 2) != (fu == fb ? 0 : (fu < fb ? -1 : 1))) FAIL() << std::hex << u << " " << b;
        }
    }
}

// ---- number parsing ----

// consumed: units read (0: nothing); range: errno is ERANGE.
TEST(QvUStrtodTest, Table) {
    const struct { const char16_t* text; double value; size_t consumed; bool range; } cases[] = {
        {u"  -2.5e3xyz", -2500.0, 8, false},
        {u"1e+", 1.0, 1, false},
        {u"1E-2)", 0.01, 4, false},
        {u"  ", 0.0, 0, false},
        {u"12\u0660", 12.0, 2, false},  // an Arabic-Indic digit ends the number
        {u"1e400", HUGE_VAL, 5, true},
    };
    for (const auto& c : cases) {
        unsigned short* end = nullptr;
        errno = 0;
        EXPECT_EQ(qvUStrtod(us(c.text), &end), c.value) << QvUString(us(c.text)).toUtf8();
        EXPECT_EQ(static_cast<size_t>(end - us(c.text)), c.consumed);
        EXPECT_EQ(errno == ERANGE, c.range);
    }
    const U16 digits = U16(100000, u'1') + u".5e-99999 tail";  // no length limit
    unsigned short* end = nullptr;
    EXPECT_NEAR(qvUStrtod(us(digits), &end), 1.1111111111111111, 1e-12);
    EXPECT_EQ(static_cast<size_t>(end - us(digits)), digits.size() - 5);
}

TEST(QvUToI64Test, Table) {
    const struct { const char16_t* text; int64_t value; size_t consumed; bool range; } cases[] = {
        {u"  42x", 42, 4, false},
        {u"+17", 17, 3, false},
        {u"9223372036854775807", INT64_MAX, 19, false},
        {u"-9223372036854775808", INT64_MIN, 20, false},
        {u"9223372036854775808", INT64_MAX, 19, true},
        {u"-9223372036854775809", INT64_MIN, 20, true},
        {u"99999999999999999999999 ", INT64_MAX, 23, true},
        {u"-", 0, 0, false},
    };
    for (const auto& c : cases) {
        unsigned short* end = nullptr;
        errno = 0;
        EXPECT_EQ(qvUToI64(us(c.text), &end), c.value);
        EXPECT_EQ(static_cast<size_t>(end - us(c.text)), c.consumed);
        EXPECT_EQ(errno == ERANGE, c.range);
        EXPECT_EQ(qvUToI64(us(c.text)), c.value);
    }
}

TEST(QvN2sTest, Table) {
    unsigned short buffer[24];
    auto text = [&](int n) { return std::to_string(n) + " " + QvUString(buffer).toUtf8(); };
    EXPECT_EQ(text(QvN2s::i64ToStringX(buffer, 0)), "1 0");
    EXPECT_EQ(text(QvN2s::i64ToStringX(buffer, INT64_MAX)), "19 9223372036854775807");
    EXPECT_EQ(text(QvN2s::i64ToStringX(buffer, INT64_MIN)), "20 -9223372036854775808");
    EXPECT_EQ(text(QvN2s::u64ToStringX(buffer, UINT64_MAX)), "20 18446744073709551615");
    EXPECT_EQ(text(QvN2s::i32ToStringX(buffer, INT32_MIN)), "11 -2147483648");
}

// ---- conversions ----

// Well-formed UTF-8 comes back unchanged through every conversion; malformed
// bytes and lone surrogates become U+FFFD.
TEST(QvUtf8Test, RoundTripsAndReplacementCharacters) {
    const std::pair<std::string, U16> cases[] = {
        {"", u""},
        {"\u4E2D\u6587", u"\u4E2D\u6587"},
        {"\U0001F600 and \U00010400", u"\U0001F600 and \U00010400"},
        {std::string("a\0b", 3), U16(u"a\0b", 3)},
        {"a\xFF" "b", u"a\uFFFDb"},
    };
    for (const auto& [in, out] : cases) {
        QvUString s;
        s.assignNative(in.c_str(), in.size());
        EXPECT_EQ(toU16(s), out) << in;
        EXPECT_EQ(toU16(QvUString::fromUtf8(in)), out) << in;
        if (out.find(u'\uFFFD') != U16::npos || in.find('\0') != std::string::npos) continue;
        std::unique_ptr<char[]> copy(s.getMBCSCopy());
        EXPECT_EQ(s.toUtf8() + "|" + copy.get(), in + "|" + in);
        EXPECT_EQ(QvUString().assignNative(copy.get()), s) << in;
    }
    EXPECT_EQ(QvUString::fromUtf8(std::string_view("a\0b", 3)).toUtf8(), std::string("a\0b", 3));
    const unsigned short lone[] = {'x', 0xD800, 'y', 0xDC00, 0};
    EXPECT_EQ(QvUString(lone).toUtf8(), "x\uFFFDy\uFFFD");
}

TEST(QvU2MFixedWidthTest, NeverSplitsACharacter) {
    const U16 text = u"ab\u00E9\u4E2D\U0001F600";  // 1+1+2+3+4 bytes
    const std::pair<size_t, const char*> cases[] = {
        {0, ""},
        {3, "ab"},
        {4, "ab\u00E9"},
        {10, "ab\u00E9\u4E2D"},
        {11, "ab\u00E9\u4E2D\U0001F600"},
    };
    for (const auto& [maxBytes, expected] : cases) {
        std::vector<char> buffer(maxBytes + 1, '#');
        EXPECT_EQ(qvU2MFixedWidth(buffer.data(), us(text), maxBytes), std::strlen(expected)) << maxBytes;
        EXPECT_STREQ(buffer.data(), expected) << maxBytes;
    }
    const unsigned short lone[] = {0xDC00, 'z', 0xD800, 0};
    char buffer[16];
    EXPECT_EQ(qvU2MFixedWidth(buffer, lone, 15), 7u);
    EXPECT_STREQ(buffer, "\uFFFDz\uFFFD");
    std::vector<char> out(4096);
    EXPECT_EQ(qvU2MFixedWidth(out.data(), us(U16(5000, u'\u4E2D')), 4095), 4095u);  // 1365 whole characters
}

TEST(QvBareStringTest, EightBitConversions) {
    unsigned short wide[8];
    EXPECT_EQ(answers({qvA2U(wide, "abc\xE9", 8), wide[3], wide[4], qvA2U(wide, "abcdefghij", 4), wide[3],
                       qvA2U(wide, "x", 0)}), "4 233 0 3 0 0");
    char narrow[8];
    EXPECT_EQ(qvUnicodeToASCII(narrow, us(u"a\u00E9\u4E2Dbcdefgh"), 8), 7u);
    EXPECT_STREQ(narrow, "a\xE9?bcde");
    EXPECT_EQ(qvUnicodeToASCII(narrow, us(u"abc"), 1), 0u);
    EXPECT_STREQ(narrow, "");
    unsigned short copy[8];
    EXPECT_EQ(qvUStrcpy(copy, us(u"hey")), copy);
    EXPECT_EQ(answers({qvUStrlen(copy), qvUStrlen(nullptr)}), "3 0");
}

TEST(QvUStringTest, BrokenArgumentsTripInvariants) {
    QvUString s("abc");
    EXPECT_THROW(s.replace(0, 0, static_cast<const unsigned short*>(nullptr), 3), QvAssertFailure);
    EXPECT_EQ(s.toUtf8(), "abc");
    EXPECT_THROW(qvUStrtod(nullptr, nullptr), QvAssertFailure);
    EXPECT_THROW(qvUToI64(nullptr), QvAssertFailure);
}

}  // namespace
