// Tests of the host date class: compiling formats, strict reading, writing,
// round trips and date-part arithmetic, through both the 8-bit and the UTF-16
// entry points.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "qvcmnasrt.h"
#include "qvutils.h"

namespace {

using Units = std::vector<unsigned short>;

// ASCII text as 0-terminated UTF-16 units.
Units u16(std::string_view text) {
    Units out(text.begin(), text.end());
    out.push_back(0);
    return out;
}

struct Fields {
    int year, month, day, hour, minute, second, nanosecond;
};

QvDate makeDate(const Fields& f) {
    QvDate d;
    EXPECT_EQ(d.setDate(f.year, f.month, f.day), 0);
    EXPECT_EQ(d.setTime(f.hour, f.minute, f.second, f.nanosecond), 0);
    return d;
}

Fields fieldsOf(const QvDate& d) {
    return {d.getYear(), d.getMonth(), d.getDay(), d.getHour(), d.getMinute(), d.getSecond(), d.getNanosecond()};
}

bool operator==(const Fields& a, const Fields& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
           a.second == b.second && a.nanosecond == b.nanosecond;
}

std::ostream& operator<<(std::ostream& os, const Fields& f) {
    return os << f.year << "-" << f.month << "-" << f.day << " " << f.hour << ":" << f.minute << ":" << f.second
              << "." << f.nanosecond;
}

QvDateCompiledFormatPtr<char> compileA(const char* format) {
    QvDateCompiledFormatA* compiled = nullptr;
    if (QvDate::compileFormatSet(format, &compiled) != 0) return nullptr;
    return QvDateCompiledFormatPtr<char>(compiled);
}

QvDateCompiledFormatPtr<unsigned short> compileU(const char* format) {
    QvDateCompiledFormatU* compiled = nullptr;
    if (QvDate::compileFormatSet(u16(format).data(), &compiled) != 0) return nullptr;
    return QvDateCompiledFormatPtr<unsigned short>(compiled);
}

std::string getA(const QvDate& d, const QvDateCompiledFormatA* format) {
    char buffer[256];
    const int n = d.Get(buffer, sizeof buffer, format);
    EXPECT_GE(n, 0);
    return std::string(buffer, n < 0 ? 0 : n);
}

std::string getU(const QvDate& d, const QvDateCompiledFormatU* format) {
    unsigned short buffer[256];
    const int n = d.Get(buffer, 256, format);
    EXPECT_GE(n, 0);
    return std::string(buffer, buffer + (n < 0 ? 0 : n));
}

// ---- compiling ----

struct FormatCase {
    const char* format;
    bool valid;
};

const FormatCase kFormats[] = {
    {"MM/DD/YYYY HH24:MI:SS", true},
    {"MM/DD/YYYY HH24:MI:SS.NS", true},
    {"mm/dd/yyyy hh24:mi:ss.us", true},
    {"YYYY-MM-DD\"T\"HH24:MI:SS.MS", true},
    {"YYYYMMDDHH24MISS", true},
    {"DY DD MON YYYY", true},
    {"DAY, MONTH DD, YYYY", true},
    {"D DDD J SSSSS", true},
    {"Y YY YYY RR", true},
    {"HH:MI AM", true},
    {"HH12:MI pm", true},
    {"HH:MI a.m.", true},
    {"HH:MI P.M.", true},
    {"YYYY;MM,DD", true},
    {"\"\"YYYY", true},
    {"\"literal only\"", true},
    {"SSSS", true},  // SS SS: the same field twice
    {"", false},
    {"QQ", false},
    {"YYYYX", false},
    {"HH25", false},
    {"MM/DD/YYYY \"unterminated", false},
    {"A", false},
    {"A.M", false},
    {"MM_DD", false},
    {"MM DD'", false},
    {"\t", false},
    {"MM/DD/YYYY HH24:MI:SS.XS", false},
};

TEST(QvDateFormatTest, CompilesValidAndRejectsInvalidFormats) {
    for (const FormatCase& c : kFormats) {
        SCOPED_TRACE(c.format);
        QvDateCompiledFormatA* compiledA = reinterpret_cast<QvDateCompiledFormatA*>(1);
        EXPECT_EQ(QvDate::compileFormatSet(c.format, &compiledA) == 0, c.valid);
        EXPECT_EQ(compiledA != nullptr, c.valid);
        QvDate::deleteCompiledFormat(compiledA);

        QvDateCompiledFormatU* compiledU = reinterpret_cast<QvDateCompiledFormatU*>(1);
        EXPECT_EQ(QvDate::compileFormatSet(u16(c.format).data(), &compiledU) == 0, c.valid);
        EXPECT_EQ(compiledU != nullptr, c.valid);
        QvDate::deleteCompiledFormat(compiledU);
    }
}

TEST(QvDateFormatTest, NullArgumentsAreInvariants) {
    QvDateCompiledFormatA* compiled = nullptr;
    EXPECT_THROW(QvDate::compileFormatSet(static_cast<const char*>(nullptr), &compiled), QvAssertFailure);
    EXPECT_THROW(QvDate::compileFormatSet("YYYY", nullptr), QvAssertFailure);
    QvDate d;
    EXPECT_THROW(d.Set(static_cast<const char*>(nullptr), nullptr), QvAssertFailure);
    EXPECT_THROW(d.AddToPart(static_cast<const unsigned short*>(nullptr), 1), QvAssertFailure);
    EXPECT_THROW(d.Get(static_cast<char*>(nullptr), 10), QvAssertFailure);
}

TEST(QvDateFormatTest, DeletingNullIsAllowed) {
    QvDate::deleteCompiledFormat(static_cast<QvDateCompiledFormatA*>(nullptr));
    QvDate::deleteCompiledFormat(static_cast<QvDateCompiledFormatU*>(nullptr));
}

// ---- reading ----

struct ParseCase {
    const char* format;
    const char* text;
    bool ok;
    Fields expected;  // when ok
};

constexpr Fields kNone{};

const ParseCase kParses[] = {
    // leap years and days of the month
    {"MM/DD/YYYY", "02/29/2020", true, {2020, 2, 29, 0, 0, 0, 0}},
    {"MM/DD/YYYY", "02/29/2019", false, kNone},
    {"MM/DD/YYYY", "02/29/1900", false, kNone},
    {"MM/DD/YYYY", "02/29/2000", true, {2000, 2, 29, 0, 0, 0, 0}},
    {"MM/DD/YYYY", "02/29/2400", true, {2400, 2, 29, 0, 0, 0, 0}},
    {"MM/DD/YYYY", "02/30/2020", false, kNone},
    {"MM/DD/YYYY", "04/31/2021", false, kNone},
    {"MM/DD/YYYY", "06/31/2021", false, kNone},
    {"MM/DD/YYYY", "09/31/2021", false, kNone},
    {"MM/DD/YYYY", "11/31/2021", false, kNone},
    {"MM/DD/YYYY", "04/30/2021", true, {2021, 4, 30, 0, 0, 0, 0}},
    {"MM/DD/YYYY", "12/31/2021", true, {2021, 12, 31, 0, 0, 0, 0}},
    {"MM/DD/YYYY", "13/01/2021", false, kNone},
    {"MM/DD/YYYY", "00/10/2021", false, kNone},
    {"MM/DD/YYYY", "01/00/2021", false, kNone},
    {"MM/DD/YYYY", "01/32/2021", false, kNone},
    {"MM/DD/YYYY", "01/01/0000", false, kNone},
    {"MM/DD/YYYY", "01/01/0001", true, {1, 1, 1, 0, 0, 0, 0}},
    {"MM/DD/YYYY", "12/31/9999", true, {9999, 12, 31, 0, 0, 0, 0}},
    // digit counts, missing and extra text, separators
    {"MM/DD/YYYY", "1/2/2021", true, {2021, 1, 2, 0, 0, 0, 0}},
    {"MM/DD/YYYY", "01/02/21", true, {21, 1, 2, 0, 0, 0, 0}},
    {"MM/DD/YYYY", "01/02/20211", false, kNone},
    {"MM/DD/YYYY", "001/02/2021", false, kNone},
    {"MM/DD/YYYY", "01/02/2021 ", false, kNone},
    {"MM/DD/YYYY", " 01/02/2021", false, kNone},
    {"MM/DD/YYYY", "01/02", false, kNone},
    {"MM/DD/YYYY", "01/02/", false, kNone},
    {"MM/DD/YYYY", "", false, kNone},
    {"MM/DD/YYYY", "01-02-2021", false, kNone},
    {"MM/DD/YYYY", "+1/02/2021", false, kNone},
    {"YYYYMMDD", "20200229", true, {2020, 2, 29, 0, 0, 0, 0}},
    {"yyyy-mm-dd", "2021-07-04", true, {2021, 7, 4, 0, 0, 0, 0}},
    // time of day
    {"HH24:MI:SS", "23:59:59", true, {1, 1, 1, 23, 59, 59, 0}},
    {"HH24:MI:SS", "00:00:00", true, {1, 1, 1, 0, 0, 0, 0}},
    {"HH24:MI:SS", "24:00:00", false, kNone},
    {"HH24:MI:SS", "12:60:00", false, kNone},
    {"HH24:MI:SS", "12:00:60", false, kNone},
    {"HH24MISS", "235959", true, {1, 1, 1, 23, 59, 59, 0}},
    {"HH:MI AM", "12:30 AM", true, {1, 1, 1, 0, 30, 0, 0}},
    {"HH:MI AM", "12:30 pm", true, {1, 1, 1, 12, 30, 0, 0}},
    {"HH:MI PM", "01:00 PM", true, {1, 1, 1, 13, 0, 0, 0}},
    {"HH12:MI AM", "11:59 PM", true, {1, 1, 1, 23, 59, 0, 0}},
    {"HH:MI AM", "13:00 PM", false, kNone},
    {"HH:MI AM", "00:10 AM", false, kNone},
    {"HH:MI AM", "10:10 XM", false, kNone},
    {"HH12:MI", "10:00", false, kNone},  // 12-hour clock without a meridian
    {"HH24:MI AM", "13:00 PM", true, {1, 1, 1, 13, 0, 0, 0}},
    {"HH24:MI AM", "13:00 AM", false, kNone},
    {"HH:MI A.M.", "11:15 p.m.", true, {1, 1, 1, 23, 15, 0, 0}},
    {"HH:MI A.M.", "11:15 PM", false, kNone},
    {"HH24 HH:MI AM", "13 01:00 PM", true, {1, 1, 1, 13, 0, 0, 0}},
    {"HH24 HH:MI AM", "14 01:00 PM", false, kNone},
    {"SSSSS", "86399", true, {1, 1, 1, 23, 59, 59, 0}},
    {"SSSSS", "86400", false, kNone},
    {"HH24 SSSSS", "01 3600", true, {1, 1, 1, 1, 0, 0, 0}},
    {"HH24 SSSSS", "02 3600", false, kNone},
    // fractions of a second
    {"SS.MS", "05.123", true, {1, 1, 1, 0, 0, 5, 123000000}},
    {"SS.MS", "05.1234", false, kNone},
    {"SS.US", "05.5", true, {1, 1, 1, 0, 0, 5, 500000000}},
    {"SS.US", "05.000001", true, {1, 1, 1, 0, 0, 5, 1000}},
    {"SS.NS", "05.000000001", true, {1, 1, 1, 0, 0, 5, 1}},
    {"SS.NS", "05.999999999", true, {1, 1, 1, 0, 0, 5, 999999999}},
    {"MS NS", "123 123000000", true, {1, 1, 1, 0, 0, 0, 123000000}},
    {"MS NS", "123 123000001", false, kNone},
    // literals
    {"YYYY-MM-DD\"T\"HH24:MI:SS", "2021-03-04T05:06:07", true, {2021, 3, 4, 5, 6, 7, 0}},
    {"YYYY-MM-DD\"T\"HH24:MI:SS", "2021-03-04t05:06:07", false, kNone},
    {"\"on \"DD\" of \"MONTH", "on 05 of june", true, {1, 6, 5, 0, 0, 0, 0}},
    {"\"on \"DD\" of \"MONTH", "on 05 of", false, kNone},
    {"\"\"YYYY", "2021", true, {2021, 1, 1, 0, 0, 0, 0}},
    // month and day names
    {"DD MON YYYY", "05 jan 2021", true, {2021, 1, 5, 0, 0, 0, 0}},
    {"DD MON YYYY", "05 SEP 2021", true, {2021, 9, 5, 0, 0, 0, 0}},
    {"DD MON YYYY", "05 JANUARY 2021", false, kNone},
    {"DD MON YYYY", "05 JNA 2021", false, kNone},
    {"DD MONTH YYYY", "05 January 2021", true, {2021, 1, 5, 0, 0, 0, 0}},
    {"DD MONTH YYYY", "31 MAY 2021", true, {2021, 5, 31, 0, 0, 0, 0}},
    {"DD MONTH YYYY", "05 Jan 2021", false, kNone},
    {"MONTHDD", "MAY05", true, {1, 5, 5, 0, 0, 0, 0}},
    {"DY MM/DD/YYYY", "TUE 01/05/2021", true, {2021, 1, 5, 0, 0, 0, 0}},
    {"DY MM/DD/YYYY", "wed 01/05/2021", false, kNone},
    {"DAY, MM/DD/YYYY", "Tuesday, 01/05/2021", true, {2021, 1, 5, 0, 0, 0, 0}},
    {"DAY, MM/DD/YYYY", "TUE, 01/05/2021", false, kNone},
    {"D MM/DD/YYYY", "3 01/05/2021", true, {2021, 1, 5, 0, 0, 0, 0}},
    {"D MM/DD/YYYY", "4 01/05/2021", false, kNone},
    {"D MM/DD/YYYY", "8 01/05/2021", false, kNone},
    {"DY MM/DD/YYYY", "MON 01/01/0001", true, {1, 1, 1, 0, 0, 0, 0}},
    // day of the year and Julian days
    {"DDD YYYY", "060 2020", true, {2020, 2, 29, 0, 0, 0, 0}},
    {"DDD YYYY", "060 2021", true, {2021, 3, 1, 0, 0, 0, 0}},
    {"DDD YYYY", "366 2020", true, {2020, 12, 31, 0, 0, 0, 0}},
    {"DDD YYYY", "366 2021", false, kNone},
    {"DDD YYYY", "000 2020", false, kNone},
    {"DDD MM/DD/YYYY", "032 02/01/2021", true, {2021, 2, 1, 0, 0, 0, 0}},
    {"DDD MM/DD/YYYY", "033 02/01/2021", false, kNone},
    {"J", "2459216", true, {2021, 1, 1, 0, 0, 0, 0}},
    {"J", "1721426", true, {1, 1, 1, 0, 0, 0, 0}},
    {"J", "1721425", false, kNone},
    {"J", "5373484", true, {9999, 12, 31, 0, 0, 0, 0}},
    {"J", "5373485", false, kNone},
    {"J YYYY", "2459216 2020", false, kNone},
    // two-digit and shortened years
    {"MM/DD/RR", "01/01/49", true, {2049, 1, 1, 0, 0, 0, 0}},
    {"MM/DD/RR", "01/01/50", true, {1950, 1, 1, 0, 0, 0, 0}},
    {"MM/DD/RR", "01/01/99", true, {1999, 1, 1, 0, 0, 0, 0}},
    {"MM/DD/RR", "01/01/00", true, {2000, 1, 1, 0, 0, 0, 0}},
    {"MM/DD/YY", "01/01/98", true, {2098, 1, 1, 0, 0, 0, 0}},
    {"YYY", "999", true, {2999, 1, 1, 0, 0, 0, 0}},
    {"Y", "7", true, {2007, 1, 1, 0, 0, 0, 0}},
    {"YYYY RR", "2049 49", true, {2049, 1, 1, 0, 0, 0, 0}},
    {"YYYY RR", "1949 49", false, kNone},
    // fields the format does not name come from 01/01/0001
    {"MM/DD", "03/01", true, {1, 3, 1, 0, 0, 0, 0}},
    {"MM/DD", "02/29", false, kNone},
    {"PM", "PM", false, kNone},  // PM at hour 0
    {"AM", "am", true, {1, 1, 1, 0, 0, 0, 0}},
};

TEST(QvDateSetTest, ReadsStrictlyThroughBothTextForms) {
    for (const ParseCase& c : kParses) {
        SCOPED_TRACE(std::string(c.format) + " <- " + c.text);
        auto formatA = compileA(c.format);
        auto formatU = compileU(c.format);
        ASSERT_TRUE(formatA && formatU);
        QvDate a, u;
        EXPECT_EQ(a.Set(c.text, formatA.get()) == 0, c.ok);
        EXPECT_EQ(u.Set(u16(c.text).data(), formatU.get()) == 0, c.ok);
        if (c.ok) {
            EXPECT_EQ(fieldsOf(a), c.expected);
            EXPECT_EQ(fieldsOf(u), c.expected);
        }
    }
}

TEST(QvDateSetTest, FailureLeavesTheDateUnchanged) {
    const QvDate before = makeDate({2021, 6, 7, 8, 9, 10, 11});
    QvDate d = before;
    auto format = compileA("MM/DD/YYYY");
    EXPECT_NE(d.Set("02/30/2021", format.get()), 0);
    EXPECT_EQ(d, before);
}

TEST(QvDateSetTest, UnnamedFieldsDoNotKeepEarlierValues) {
    QvDate d = makeDate({2021, 6, 7, 8, 9, 10, 11});
    auto format = compileA("HH24:MI");
    ASSERT_EQ(d.Set("10:20", format.get()), 0);
    EXPECT_EQ(fieldsOf(d), (Fields{1, 1, 1, 10, 20, 0, 0}));
}

TEST(QvDateSetTest, NullFormatReadsTheDefaultFormat) {
    QvDate d;
    ASSERT_EQ(d.Set("12/31/1999 23:59:58.5", nullptr), 0);
    EXPECT_EQ(fieldsOf(d), (Fields{1999, 12, 31, 23, 59, 58, 500000000}));
    EXPECT_NE(d.Set("12/31/1999", nullptr), 0);
    EXPECT_NE(d.Set(u16("12/31/1999").data(), nullptr), 0);
}

TEST(QvDateSetTest, NonAsciiLiteralsMatchInTheirOwnForm) {
    // "DD<e-acute>MM": U+00E9 in UTF-16, its two UTF-8 bytes in 8-bit text.
    const unsigned short formatU[] = {'D', 'D', '"', 0xE9, '"', 'M', 'M', 0};
    const unsigned short textU[] = {'0', '5', 0xE9, '0', '6', 0};
    const unsigned short wrongU[] = {'0', '5', 0xE8, '0', '6', 0};
    QvDateCompiledFormatU* cu = nullptr;
    ASSERT_EQ(QvDate::compileFormatSet(formatU, &cu), 0);
    QvDateCompiledFormatPtr<unsigned short> fu(cu);
    QvDate d;
    EXPECT_EQ(d.Set(textU, fu.get()), 0);
    EXPECT_EQ(d.getDay(), 5);
    EXPECT_EQ(d.getMonth(), 6);
    EXPECT_NE(d.Set(wrongU, fu.get()), 0);
    unsigned short out[16];
    ASSERT_EQ(d.Get(out, 16, fu.get()), 5);
    EXPECT_EQ(out[2], 0xE9);

    auto fa = compileA("DD\"\xC3\xA9\"MM");
    ASSERT_TRUE(fa);
    EXPECT_EQ(d.Set("07\xC3\xA9" "08", fa.get()), 0);
    EXPECT_EQ(d.getDay(), 7);
    EXPECT_EQ(getA(d, fa.get()), "07\xC3\xA9" "08");
}

// ---- writing ----

struct WriteCase {
    Fields date;
    const char* format;
    const char* text;
};

const WriteCase kWrites[] = {
    {{9999, 12, 31, 23, 59, 59, 999999999}, "MM/DD/YYYY HH24:MI:SS.NS", "12/31/9999 23:59:59.999999999"},
    {{1, 1, 1, 0, 0, 0, 0}, "MM/DD/YYYY HH24:MI:SS", "01/01/0001 00:00:00"},
    {{2000, 1, 1, 0, 0, 0, 0}, "DAY, MONTH DD YYYY", "SATURDAY, JANUARY 01 2000"},
    {{2021, 5, 3, 0, 0, 0, 0}, "DY MON dd", "MON MAY 03"},
    {{2021, 5, 3, 0, 0, 0, 0}, "MONTH\"|\"", "MAY|"},
    {{2021, 5, 3, 0, 0, 0, 0}, "Y YY YYY YYYY RR", "1 21 021 2021 21"},
    {{5, 1, 1, 0, 0, 0, 0}, "Y YY YYY YYYY RR", "5 05 005 0005 05"},
    {{2021, 1, 1, 0, 5, 0, 0}, "HH HH12 HH24 AM A.M.", "12 12 00 AM A.M."},
    {{2021, 1, 1, 12, 5, 0, 0}, "HH HH12 HH24 PM P.M.", "12 12 12 PM P.M."},
    {{2021, 1, 1, 23, 5, 0, 0}, "HH:MI am", "11:05 PM"},
    {{1, 1, 1, 0, 0, 0, 0}, "J D DDD", "1721426 2 001"},
    {{2020, 12, 31, 0, 0, 0, 0}, "J D DDD", "2459215 5 366"},
    {{2020, 12, 31, 23, 59, 59, 0}, "SSSSS", "86399"},
    {{2020, 12, 31, 0, 0, 1, 0}, "SSSSS", "00001"},
    {{2020, 1, 1, 0, 0, 0, 123456789}, "MS US NS", "123 123456 123456789"},
    {{2020, 1, 1, 0, 0, 0, 1000}, "MS.US", "000.000001"},
    {{2020, 1, 1, 0, 0, 0, 0}, "\"literal only\"", "literal only"},
};

TEST(QvDateGetTest, WritesEachElement) {
    for (const WriteCase& c : kWrites) {
        SCOPED_TRACE(c.format);
        const QvDate d = makeDate(c.date);
        auto formatA = compileA(c.format);
        auto formatU = compileU(c.format);
        ASSERT_TRUE(formatA && formatU);
        EXPECT_EQ(getA(d, formatA.get()), c.text);
        EXPECT_EQ(getU(d, formatU.get()), c.text);
    }
}

TEST(QvDateGetTest, DefaultFormatIsTwentyNineCharacters) {
    const QvDate d = makeDate({2021, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(getA(d, nullptr), "02/03/2021 04:05:06.000000007");
    EXPECT_EQ(getU(d, nullptr), "02/03/2021 04:05:06.000000007");
    EXPECT_EQ(getA(QvDate(), nullptr), "01/01/0001 00:00:00.000000000");
}

TEST(QvDateGetTest, ReportsABufferThatIsTooSmall) {
    const QvDate d;
    char small[29];
    EXPECT_EQ(d.Get(small, sizeof small), -1);
    EXPECT_EQ(small[0], '\0');
    char exact[30];
    EXPECT_EQ(d.Get(exact, sizeof exact), 29);
    EXPECT_EQ(exact[29], '\0');
    unsigned short units[29];
    EXPECT_EQ(d.Get(units, 29), -1);
    EXPECT_EQ(units[0], 0);
    EXPECT_EQ(d.Get(static_cast<char*>(nullptr), 0), -1);
}

TEST(QvDateGetTest, WritesIntoAString) {
    const QvDate d = makeDate({2021, 2, 3, 4, 5, 6, 0});
    QvUString out(qvU("old text"));
    auto format = compileU("YYYY-MM-DD");
    EXPECT_EQ(d.Get(out, format.get()), 10);
    EXPECT_EQ(out.toUtf8(), "2021-02-03");
    EXPECT_EQ(d.Get(out), 29);
    EXPECT_EQ(out.toUtf8(), "02/03/2021 04:05:06.000000000");
}

// ---- round trips ----

const char* const kRoundTripFormats[] = {
    "MM/DD/YYYY HH24:MI:SS.NS",
    "YYYY-MM-DD\"T\"HH24:MI:SS.US",
    "DY DD MON YYYY HH12:MI:SS.MS AM",
    "DAY MONTH DD YYYY HH:MI:SS.NS P.M.",
    "J SSSSS.US",
    "YYYYDDDHH24MISSMS",
    "D DDD YYYY MM DD HH24 MI SS NS",
};

const Fields kRoundTripDates[] = {
    {1, 1, 1, 0, 0, 0, 0},
    {9999, 12, 31, 23, 59, 59, 999000000},
    {2000, 2, 29, 12, 0, 0, 1000000},
    {1900, 2, 28, 0, 0, 1, 0},
    {2021, 7, 4, 11, 59, 59, 500000000},
    {1582, 10, 10, 13, 30, 0, 0},
};

TEST(QvDateRoundTripTest, SetOfGetGivesTheSameDate) {
    for (const char* format : kRoundTripFormats) {
        auto formatA = compileA(format);
        auto formatU = compileU(format);
        ASSERT_TRUE(formatA && formatU) << format;
        for (const Fields& f : kRoundTripDates) {
            const QvDate d = makeDate(f);
            const std::string text = getA(d, formatA.get());
            SCOPED_TRACE(std::string(format) + " : " + text);
            QvDate a, u;
            EXPECT_EQ(a.Set(text.c_str(), formatA.get()), 0);
            EXPECT_EQ(a, d);
            EXPECT_EQ(u.Set(u16(getU(d, formatU.get())).data(), formatU.get()), 0);
            EXPECT_EQ(u, d);
        }
    }
}

// ---- arithmetic ----

struct AddCase {
    Fields start;
    const char* part;
    long long amount;
    int rc;
    Fields expected;  // when rc is 0
};

const AddCase kAdds[] = {
    // months clamp to the end of the month
    {{2021, 1, 31, 0, 0, 0, 0}, "MM", 1, 0, {2021, 2, 28, 0, 0, 0, 0}},
    {{2020, 1, 31, 0, 0, 0, 0}, "MON", 1, 0, {2020, 2, 29, 0, 0, 0, 0}},
    {{2021, 3, 31, 0, 0, 0, 0}, "MONTH", -1, 0, {2021, 2, 28, 0, 0, 0, 0}},
    {{2021, 3, 31, 5, 6, 7, 8}, "mm", 1, 0, {2021, 4, 30, 5, 6, 7, 8}},
    {{2021, 12, 15, 0, 0, 0, 0}, "MM", 1, 0, {2022, 1, 15, 0, 0, 0, 0}},
    {{2021, 1, 15, 0, 0, 0, 0}, "MM", -13, 0, {2019, 12, 15, 0, 0, 0, 0}},
    {{2021, 1, 15, 0, 0, 0, 0}, "MM", 0, 0, {2021, 1, 15, 0, 0, 0, 0}},
    // years keep the day unless it is a leap day
    {{2020, 2, 29, 0, 0, 0, 0}, "YYYY", 1, 0, {2021, 2, 28, 0, 0, 0, 0}},
    {{2020, 2, 29, 0, 0, 0, 0}, "YY", 4, 0, {2024, 2, 29, 0, 0, 0, 0}},
    {{2000, 2, 29, 0, 0, 0, 0}, "Y", -100, 0, {1900, 2, 28, 0, 0, 0, 0}},
    {{2000, 2, 29, 0, 0, 0, 0}, "YYY", 400, 0, {2400, 2, 29, 0, 0, 0, 0}},
    // days
    {{2021, 12, 31, 0, 0, 0, 0}, "DD", 1, 0, {2022, 1, 1, 0, 0, 0, 0}},
    {{2020, 2, 28, 0, 0, 0, 0}, "D", 1, 0, {2020, 2, 29, 0, 0, 0, 0}},
    {{2021, 2, 28, 0, 0, 0, 0}, "DDD", 1, 0, {2021, 3, 1, 0, 0, 0, 0}},
    {{1900, 2, 28, 0, 0, 0, 0}, "DY", 1, 0, {1900, 3, 1, 0, 0, 0, 0}},
    {{2021, 3, 1, 0, 0, 0, 0}, "DAY", -365, 0, {2020, 3, 1, 0, 0, 0, 0}},
    // times carry into days
    {{2021, 12, 31, 23, 59, 59, 0}, "SS", 1, 0, {2022, 1, 1, 0, 0, 0, 0}},
    {{2021, 1, 1, 0, 0, 0, 0}, "NS", -1, 0, {2020, 12, 31, 23, 59, 59, 999999999}},
    {{2021, 1, 1, 10, 0, 0, 0}, "HH24", 25, 0, {2021, 1, 2, 11, 0, 0, 0}},
    {{2021, 1, 1, 10, 0, 0, 0}, "HH", -11, 0, {2020, 12, 31, 23, 0, 0, 0}},
    {{2021, 1, 1, 10, 0, 0, 0}, "HH12", 48, 0, {2021, 1, 3, 10, 0, 0, 0}},
    {{2021, 1, 1, 0, 0, 30, 0}, "MI", -61, 0, {2020, 12, 31, 22, 59, 30, 0}},
    {{2021, 1, 1, 0, 0, 0, 0}, "MS", 1500, 0, {2021, 1, 1, 0, 0, 1, 500000000}},
    {{2021, 1, 1, 0, 0, 0, 0}, "US", -1, 0, {2020, 12, 31, 23, 59, 59, 999999000}},
    {{2021, 1, 1, 0, 0, 0, 0}, "ns", 86400LL * 1000000000LL, 0, {2021, 1, 2, 0, 0, 0, 0}},
    {{2021, 1, 1, 0, 0, 0, 0}, "SS", -86400LL * 366, 0, {2020, 1, 1, 0, 0, 0, 0}},
    // out of the years 1 to 9999
    {{9999, 12, 31, 0, 0, 0, 0}, "DD", 1, -2, kNone},
    {{9999, 12, 31, 23, 59, 59, 999999999}, "NS", 1, -2, kNone},
    {{1, 1, 1, 0, 0, 0, 0}, "SS", -1, -2, kNone},
    {{1, 1, 1, 0, 0, 0, 0}, "MM", -1, -2, kNone},
    {{1, 1, 1, 0, 0, 0, 0}, "YYYY", 9999, -2, kNone},
    {{1, 1, 1, 0, 0, 0, 0}, "YYYY", 9998, 0, {9999, 1, 1, 0, 0, 0, 0}},
    {{5000, 1, 1, 0, 0, 0, 0}, "MM", LLONG_MAX, -2, kNone},
    {{5000, 1, 1, 0, 0, 0, 0}, "YY", LLONG_MIN, -2, kNone},
    {{5000, 1, 1, 0, 0, 0, 0}, "DD", LLONG_MAX, -2, kNone},
    {{5000, 1, 1, 0, 0, 0, 0}, "DD", LLONG_MIN, -2, kNone},
    {{5000, 1, 1, 0, 0, 0, 0}, "NS", LLONG_MAX, 0, {5292, 4, 10, 23, 47, 16, 854775807}},
    {{5000, 1, 1, 0, 0, 0, 0}, "HH", LLONG_MAX, -2, kNone},
    {{5000, 1, 1, 0, 0, 0, 0}, "HH", LLONG_MIN, -2, kNone},
    // unknown part names
    {{2021, 1, 1, 0, 0, 0, 0}, "QQ", 0, -1, kNone},
    {{2021, 1, 1, 0, 0, 0, 0}, "", 0, -1, kNone},
    {{2021, 1, 1, 0, 0, 0, 0}, "RR", 1, -1, kNone},
    {{2021, 1, 1, 0, 0, 0, 0}, "J", 1, -1, kNone},
    {{2021, 1, 1, 0, 0, 0, 0}, "SSSSS", 1, -1, kNone},
    {{2021, 1, 1, 0, 0, 0, 0}, "AM", 1, -1, kNone},
    {{2021, 1, 1, 0, 0, 0, 0}, "MM ", 1, -1, kNone},
    {{2021, 1, 1, 0, 0, 0, 0}, "MMM", 1, -1, kNone},
    {{2021, 1, 1, 0, 0, 0, 0}, "YEAR", 1, -1, kNone},
};

TEST(QvDateAddToPartTest, AddsToEachPart) {
    for (const AddCase& c : kAdds) {
        SCOPED_TRACE(std::string(c.part) + " += " + std::to_string(c.amount));
        const QvDate start = makeDate(c.start);
        QvDate a = start, u = start;
        EXPECT_EQ(a.AddToPart(c.part, c.amount), c.rc);
        EXPECT_EQ(u.AddToPart(u16(c.part).data(), c.amount), c.rc);
        const Fields expected = c.rc == 0 ? c.expected : c.start;
        EXPECT_EQ(fieldsOf(a), expected);
        EXPECT_EQ(fieldsOf(u), expected);
    }
}

// ---- fields, calendar and comparisons ----

TEST(QvDateTest, NewDateIsTheFirstDayOfYearOne) {
    EXPECT_EQ(fieldsOf(QvDate()), (Fields{1, 1, 1, 0, 0, 0, 0}));
}

TEST(QvDateTest, SettersRejectValuesOutOfRange) {
    struct {
        int y, m, d;
        int rc;
    } const dates[] = {{2021, 2, 29, -1}, {2020, 2, 29, 0}, {0, 1, 1, -1}, {10000, 1, 1, -1}, {2021, 0, 1, -1},
                       {2021, 13, 1, -1}, {2021, 1, 0, -1},  {2021, 4, 31, -1}, {9999, 12, 31, 0}};
    for (const auto& c : dates) {
        QvDate d;
        EXPECT_EQ(d.setDate(c.y, c.m, c.d), c.rc) << c.y << "-" << c.m << "-" << c.d;
        if (c.rc != 0) {
            EXPECT_EQ(d, QvDate());
        }
    }
    struct {
        int h, mi, s, ns;
        int rc;
    } const times[] = {{24, 0, 0, 0, -1}, {23, 60, 0, 0, -1}, {23, 59, 60, 0, -1}, {0, 0, 0, 1000000000, -1},
                       {-1, 0, 0, 0, -1}, {0, 0, 0, -1, -1},  {23, 59, 59, 999999999, 0}};
    for (const auto& c : times) {
        QvDate d;
        EXPECT_EQ(d.setTime(c.h, c.mi, c.s, c.ns), c.rc) << c.h << ":" << c.mi << ":" << c.s << "." << c.ns;
    }
}

TEST(QvDateTest, CalendarQueries) {
    EXPECT_TRUE(QvDate::isLeapYear(2000));
    EXPECT_TRUE(QvDate::isLeapYear(2024));
    EXPECT_FALSE(QvDate::isLeapYear(1900));
    EXPECT_FALSE(QvDate::isLeapYear(2021));
    EXPECT_EQ(QvDate::getDaysInMonth(1900, 2), 28);
    EXPECT_EQ(QvDate::getDaysInMonth(2000, 2), 29);
    EXPECT_EQ(QvDate::getDaysInMonth(2021, 13), 0);
    const QvDate thursday = makeDate({1970, 1, 1, 0, 0, 0, 0});
    EXPECT_EQ(thursday.getDayOfWeek(), 5);
    EXPECT_EQ(thursday.getJulianDay(), 2440588);
    EXPECT_EQ(QvDate().getDayOfWeek(), 2);  // 01/01/0001 was a Monday
    EXPECT_EQ(makeDate({2020, 12, 31, 0, 0, 0, 0}).getDayOfYear(), 366);
}

// Walks every day from 01/01/0001 to 12/31/9999 by the month lengths alone,
// so the day numbers are checked against a count that shares no arithmetic
// with the conversion.
TEST(QvDateTest, JulianDaysCountEveryDayOfTheRange) {
    auto format = compileA("J");
    long long expected = 1721426;
    QvDate read;
    for (int y = 1; y <= 9999; ++y) {
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= QvDate::getDaysInMonth(y, m); ++d, ++expected) {
                QvDate walk;
                ASSERT_EQ(walk.setDate(y, m, d), 0);
                ASSERT_EQ(walk.getJulianDay(), expected) << y << "-" << m << "-" << d;
                if (d == 1 || d == 28 || d > 28) {
                    ASSERT_EQ(read.Set(std::to_string(expected).c_str(), format.get()), 0);
                    ASSERT_EQ(read, walk);
                }
            }
        }
    }
    EXPECT_EQ(expected, 5373485);
}

TEST(QvDateTest, ComparesInTimeOrder) {
    const QvDate earlier = makeDate({2021, 5, 6, 7, 8, 9, 10});
    const QvDate later = makeDate({2021, 5, 6, 7, 8, 9, 11});
    const QvDate nextYear = makeDate({2022, 1, 1, 0, 0, 0, 0});
    EXPECT_LT(earlier, later);
    EXPECT_LT(later, nextYear);
    EXPECT_GT(nextYear, earlier);
    EXPECT_NE(earlier, later);
    EXPECT_EQ(earlier, makeDate({2021, 5, 6, 7, 8, 9, 10}));
    EXPECT_LE(earlier, earlier);
}

}  // namespace
