// Tests of the host date class: compiling formats, strict reading, writing,
// round trips and date-part arithmetic, through both the 8-bit and the UTF-16
// entry points. Dates are written "Y-M-D h:m:s.ns" in the tables, without
// the time when it is midnight.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "hosttest_util.h"
#include "qvcmnasrt.h"
#include "qvutils.h"

namespace {

// "Y-M-D", and " h:m:s.ns" unless the time is midnight.
std::string show(const QvDate& d) {
    auto n = [](int v) { return std::to_string(v); };
    const std::string date = n(d.getYear()) + "-" + n(d.getMonth()) + "-" + n(d.getDay());
    if (!d.getHour() && !d.getMinute() && !d.getSecond() && !d.getNanosecond()) return date;
    return date + " " + n(d.getHour()) + ":" + n(d.getMinute()) + ":" + n(d.getSecond()) + "." + n(d.getNanosecond());
}

QvDate makeDate(const char* fields) {
    int y, mo, d, h = 0, mi = 0, s = 0, ns = 0;
    EXPECT_GE(std::sscanf(fields, "%d-%d-%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &s, &ns), 3) << fields;
    QvDate date;
    EXPECT_EQ(date.setDate(y, mo, d), 0) << fields;
    EXPECT_EQ(date.setTime(h, mi, s, ns), 0) << fields;
    return date;
}

// A compiled format for 8-bit (T = char) or UTF-16 (T = unsigned short) text.
template <class T> QvDateCompiledFormatPtr<T> compile(const char* format) {
    const std::vector<T> text(format, format + std::strlen(format) + 1);
    QvDateCompiledFormat<T>* compiled = nullptr;
    EXPECT_EQ(QvDate::compileFormatSet(text.data(), &compiled), 0) << format;
    return QvDateCompiledFormatPtr<T>(compiled);
}

template <class T> std::string get(const QvDate& d, const QvDateCompiledFormat<T>* format) {
    T buffer[256];
    const int n = d.Get(buffer, 256, format);
    EXPECT_GE(n, 0);
    return std::string(buffer, buffer + std::max(n, 0));
}

// Formats that compile are in the reading and writing tables below.
TEST(QvDateFormatTest, RefusesInvalidFormatsInBothForms) {
    for (const char* format : {"", "QQ", "YYYYX", "HH25", "MM/DD/YYYY \"unterminated", "A", "A.M", "MM_DD",
                               "MM DD'", "\t", "SS.XS"}) {
        auto* a = reinterpret_cast<QvDateCompiledFormatA*>(1);
        auto* u = reinterpret_cast<QvDateCompiledFormatU*>(1);
        EXPECT_EQ(answers({QvDate::compileFormatSet(format, &a) != 0, a == nullptr,
                           QvDate::compileFormatSet(units(format).data(), &u) != 0, u == nullptr}),
                  "1 1 1 1") << format;
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

// ---- reading: format, text, the date read (null: refused) ----
// Texts every element reads back are in the round trip test further down;
// these are the refusals, the agreement between fields and the odd forms.

const char* const kParses[][3] = {
    {"MM/DD/YYYY", "02/29/2019", nullptr},
    {"MM/DD/YYYY", "13/01/2021", nullptr},
    {"MM/DD/YYYY", "00/10/2021", nullptr},
    {"MM/DD/YYYY", "01/00/2021", nullptr},
    {"MM/DD/YYYY", "01/32/2021", nullptr},
    {"MM/DD/YYYY", "01/01/0000", nullptr},
    {"MM/DD/YYYY", "01/02/21", "21-1-2"},
    {"MM/DD/YYYY", "01/02/20211", nullptr},
    {"MM/DD/YYYY", "", nullptr},
    {"MM/DD/YYYY", "01-02-2021", nullptr},
    {"yyyy-mm-dd", "2021-07-04", "2021-7-4"},
    {"HH24:MI:SS", "24:00:00", nullptr},
    {"HH24:MI:SS", "12:60:00", nullptr},
    {"HH24:MI:SS", "12:00:60", nullptr},
    {"SSSS", "0505", "1-1-1 0:0:5.0"},
    {"SSSS", "0506", nullptr},
    {"HH:MI AM", "13:00 PM", nullptr},
    {"HH:MI AM", "00:10 AM", nullptr},
    {"HH:MI AM", "10:10 XM", nullptr},
    {"HH12:MI", "10:00", nullptr},  // 12-hour clock without a meridian
    {"HH24:MI AM", "13:00 PM", "1-1-1 13:0:0.0"},
    {"HH24:MI AM", "13:00 AM", nullptr},
    {"HH24 HH:MI AM", "13 01:00 PM", "1-1-1 13:0:0.0"},
    {"HH24 HH:MI AM", "14 01:00 PM", nullptr},
    {"SSSSS", "86400", nullptr},
    {"SSSSSDD", "0000105", "1-1-5 0:0:1.0"},
    {"HH24 SSSSS", "02 3600", nullptr},
    {"SS.MS", "05.1234", nullptr},
    {"SS.US", "05.5", "1-1-1 0:0:5.500000000"},
    {"MS NS", "123 123000001", nullptr},
    {"\"on \"DD\" of \"MONTH", "on 05 of june", "1-6-5"},
    {"\"\"YYYY", "2021", "2021-1-1"},
    {"DD MON YYYY", "05 jan 2021", "2021-1-5"},
    {"DD MON YYYY", "05 JANUARY 2021", nullptr},
    {"DD MONTH YYYY", "05 Jan 2021", nullptr},
    {"MONTHDD", "MAY05", "1-5-5"},
    {"DY MM/DD/YYYY", "wed 01/05/2021", nullptr},
    {"D MM/DD/YYYY", "8 01/05/2021", nullptr},
    {"DDD YYYY", "366 2021", nullptr},
    {"DDD YYYY", "000 2020", nullptr},
    {"DDD MM/DD/YYYY", "033 02/01/2021", nullptr},
    {"J", "1721425", nullptr},
    {"J", "5373485", nullptr},
    {"J YYYY", "2459216 2020", nullptr},
    {"MM/DD/RR", "01/01/49", "2049-1-1"},
    {"MM/DD/RR", "01/01/50", "1950-1-1"},
    {"MM/DD/YY", "01/01/98", "2098-1-1"},
    {"YYYY RR", "1949 49", nullptr},
    // fields the format does not name come from 01/01/0001
    {"MM/DD", "02/29", nullptr},
    {"PM", "PM", nullptr},  // PM at hour 0
    {"AM", "am", "1-1-1"},
};

TEST(QvDateSetTest, ReadsStrictlyThroughBothTextForms) {
    for (const auto& [format, text, date] : kParses) {
        SCOPED_TRACE(std::string(format) + " <- " + text);
        auto formatA = compile<char>(format);
        auto formatU = compile<unsigned short>(format);
        // A refused text leaves the date as it was; an accepted one sets every field.
        QvDate a = makeDate("2021-6-7 8:9:10.11"), u = a;
        EXPECT_EQ(answers({a.Set(text, formatA.get()) == 0, u.Set(units(text).data(), formatU.get()) == 0}),
                  answers({date != nullptr, date != nullptr}));
        const std::string expected = date ? date : "2021-6-7 8:9:10.11";
        EXPECT_EQ(show(a) + " | " + show(u), expected + " | " + expected);
    }
}

TEST(QvDateSetTest, NullFormatReadsTheDefaultFormat) {
    QvDate d;
    ASSERT_EQ(d.Set("12/31/1999 23:59:58.5", nullptr), 0);
    EXPECT_EQ(show(d), "1999-12-31 23:59:58.500000000");
    EXPECT_NE(d.Set("12/31/1999", nullptr), 0);
    EXPECT_NE(d.Set(units("12/31/1999").data(), nullptr), 0);
}

TEST(QvDateSetTest, NonAsciiLiteralsMatchInTheirOwnForm) {
    // "DD<e-acute>MM": U+00E9 in UTF-16, its two UTF-8 bytes in 8-bit text.
    const unsigned short formatU[] = {'D', 'D', '"', 0xE9, '"', 'M', 'M', 0}, textU[] = {'0', '5', 0xE9, '0', '6', 0},
                         wrongU[] = {'0', '5', 0xE8, '0', '6', 0};
    QvDateCompiledFormatU* cu = nullptr;
    ASSERT_EQ(QvDate::compileFormatSet(formatU, &cu), 0);
    QvDateCompiledFormatPtr<unsigned short> fu(cu);
    QvDate d;
    unsigned short out[16];
    EXPECT_EQ(answers({d.Set(textU, fu.get()), d.Set(wrongU, fu.get()) != 0, d.Get(out, 16, fu.get()), out[2]}),
              "0 1 5 233");
    EXPECT_EQ(show(d), "1-6-5");
    auto fa = compile<char>("DD\"\xC3\xA9\"MM");
    EXPECT_EQ(d.Set("07\xC3\xA9" "08", fa.get()), 0);
    EXPECT_EQ(get(d, fa.get()), "07\xC3\xA9" "08");
}

// ---- writing: date, format, text ----

const char* const kWrites[][3] = {
    {"9999-12-31 23:59:59.999999999", "MM/DD/YYYY HH24:MI:SS.NS", "12/31/9999 23:59:59.999999999"},
    {"2000-1-1", "DAY, MONTH DD YYYY", "SATURDAY, JANUARY 01 2000"},
    {"2021-5-3", "DY MON dd", "MON MAY 03"},
    {"2021-5-3", "Y YY YYY YYYY RR", "1 21 021 2021 21"},
    {"5-1-1", "Y YY YYY YYYY RR", "5 05 005 0005 05"},
    {"2021-1-1 0:5:0.0", "HH HH12 HH24 AM A.M.", "12 12 00 AM A.M."},
    {"2021-1-1 12:5:0.0", "HH HH12 HH24 PM P.M.", "12 12 12 PM P.M."},
    {"2021-1-1 23:5:0.0", "HH:MI am", "11:05 PM"},
    {"2020-12-31", "J D DDD", "2459215 5 366"},
    {"2020-12-31 23:59:59.0", "SSSSS", "86399"},
    {"2020-1-1 0:0:0.123456789", "MS US NS", "123 123456 123456789"},
    {"2020-1-1", "\"literal only\"", "literal only"},
};

TEST(QvDateGetTest, WritesEachElement) {
    for (const auto& [date, format, text] : kWrites) {
        const QvDate d = makeDate(date);
        EXPECT_EQ(get(d, compile<char>(format).get()), text);
        EXPECT_EQ(get(d, compile<unsigned short>(format).get()), text);
    }
    EXPECT_EQ(get<char>(makeDate("2021-2-3 4:5:6.7"), nullptr), "02/03/2021 04:05:06.000000007");
    QvUString out(qvU("old text"));  // replaced by the text written
    EXPECT_EQ(QvDate().Get(out, compile<unsigned short>("YYYY-MM-DD").get()), 10);
    EXPECT_EQ(out.toUtf8(), "0001-01-01");
    EXPECT_EQ(QvDate().Get(out), 29);
    EXPECT_EQ(out.toUtf8(), "01/01/0001 00:00:00.000000000");
}

TEST(QvDateGetTest, ReportsABufferThatIsTooSmall) {
    const QvDate d;
    char small[29], exact[30];
    unsigned short wide[29];
    EXPECT_EQ(answers({d.Get(small, sizeof small), small[0], d.Get(exact, sizeof exact), exact[29], d.Get(wide, 29),
                       wide[0], d.Get(static_cast<char*>(nullptr), 0)}), "-1 0 29 0 -1 0 -1");
}

TEST(QvDateRoundTripTest, SetOfGetGivesTheSameDate) {
    for (const char* format : {"YYYY-MM-DD\"T\"HH24:MI:SS.US", "DY DD MON YYYY HH12:MI:SS.MS AM",
                               "DAY MONTH DD YYYY HH:MI:SS.NS P.M.", "J SSSSS.US", "YYYYDDDHH24MISSMS",
                               "D DDD YYYY MM DD HH24 MI SS NS"}) {
        auto formatA = compile<char>(format);
        auto formatU = compile<unsigned short>(format);
        for (const char* fields : {"1-1-1", "9999-12-31 23:59:59.999000000", "2000-2-29 12:0:0.1000000",
                                   "1900-2-28 0:0:1.0", "2021-7-4 11:59:59.500000000"}) {
            const QvDate d = makeDate(fields);
            const std::string text = get(d, formatA.get());
            SCOPED_TRACE(std::string(format) + " : " + text);
            QvDate a, u;
            const std::vector<unsigned short> textU = units(get(d, formatU.get()));
            EXPECT_EQ(answers({a.Set(text.c_str(), formatA.get()), u.Set(textU.data(), formatU.get()), a == d, u == d}),
                      "0 0 1 1");
        }
    }
}

// ---- arithmetic: start, part, amount, result (null: refused, -1 unknown part, -2 out of range) ----

const std::tuple<const char*, const char*, long long, int, const char*> kAdds[] = {
    {"2021-1-31", "MM", 1, 0, "2021-2-28"},  // months clamp to the end of the month
    {"2021-3-31 5:6:7.8", "mm", 1, 0, "2021-4-30 5:6:7.8"},
    {"2021-12-15", "MM", 1, 0, "2022-1-15"},
    {"2021-1-15", "MM", -13, 0, "2019-12-15"},
    {"2020-2-29", "YYYY", 1, 0, "2021-2-28"},  // years keep the day unless it is a leap day
    {"2021-12-31", "DD", 1, 0, "2022-1-1"},
    {"2021-12-31 23:59:59.0", "SS", 1, 0, "2022-1-1"},  // times carry into days
    {"2021-1-1", "NS", -1, 0, "2020-12-31 23:59:59.999999999"},
    {"2021-1-1 10:0:0.0", "HH24", 25, 0, "2021-1-2 11:0:0.0"},
    {"2021-1-1 0:0:30.0", "MI", -61, 0, "2020-12-31 22:59:30.0"},
    {"2021-1-1", "MS", 1500, 0, "2021-1-1 0:0:1.500000000"},
    {"2021-1-1", "US", -1, 0, "2020-12-31 23:59:59.999999000"},
    {"9999-12-31", "DD", 1, -2, nullptr},
    {"1-1-2", "DD", -1, 0, "1-1-1"},
    {"1-1-1", "SS", -1, -2, nullptr},
    {"1-1-1", "MM", -1, -2, nullptr},
    {"1-1-1", "YYYY", 9999, -2, nullptr},
    {"1-1-1", "YYYY", 9998, 0, "9999-1-1"},
    {"5000-1-1", "MM", LLONG_MAX, -2, nullptr},
    {"5000-1-1", "YY", LLONG_MIN, -2, nullptr},
    {"5000-1-1", "NS", LLONG_MAX, 0, "5292-4-10 23:47:16.854775807"},
    {"5000-1-1", "HH", LLONG_MAX, -2, nullptr},
};

TEST(QvDateAddToPartTest, AddsToEachPart) {
    for (const auto& [start, part, amount, rc, result] : kAdds) {
        SCOPED_TRACE(std::string(part) + " += " + std::to_string(amount));
        QvDate a = makeDate(start), u = a;
        EXPECT_EQ(answers({a.AddToPart(part, amount), u.AddToPart(units(part).data(), amount)}), answers({rc, rc}));
        EXPECT_EQ(show(a) + " | " + show(u), std::string(result ? result : start) + " | " + (result ? result : start));
    }
    for (const char* part : {"QQ", "", "RR", "J", "SSSSS", "AM", "MM ", "MMM", "YEAR"}) {
        QvDate a = makeDate("2021-1-1"), u = a;
        EXPECT_EQ(answers({a.AddToPart(part, 1), u.AddToPart(units(part).data(), 1), a == makeDate("2021-1-1")}),
                  "-1 -1 1") << part;
    }
}

// ---- fields, calendar and comparisons ----

TEST(QvDateTest, SettersRejectValuesOutOfRangeAndChangeNothing) {
    QvDate d;
    EXPECT_EQ(answers({d.setDate(2021, 2, 29), d.setDate(0, 1, 1), d.setDate(10000, 1, 1), d.setDate(2021, 13, 1),
                       d.setDate(2021, 1, 0), d.setTime(24, 0, 0, 0), d.setTime(23, 60, 0, 0), d.setTime(23, 59, 60, 0),
                       d.setTime(0, 0, 0, 1000000000), d.setTime(-1, 0, 0, 0), d.setTime(0, 0, 0, -1)}),
              "-1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1");
    EXPECT_EQ(show(d), "1-1-1");
    EXPECT_EQ(answers({d.setDate(9999, 12, 31), d.setTime(23, 59, 59, 999999999)}), "0 0");
    EXPECT_EQ(show(d), "9999-12-31 23:59:59.999999999");
}

TEST(QvDateTest, CalendarQueries) {
    const QvDate thursday = makeDate("1970-1-1");
    EXPECT_EQ(answers({QvDate::isLeapYear(2000), QvDate::isLeapYear(2024), QvDate::isLeapYear(1900),
                       QvDate::isLeapYear(2021), QvDate::getDaysInMonth(2021, 13), QvDate::getDaysInMonth(2021, 0),
                       thursday.getDayOfWeek(), thursday.getJulianDay()}), "1 1 0 0 0 0 5 2440588");
    // Comparison is time order: the year first, the nanosecond last.
    EXPECT_LT(makeDate("2021-5-6 7:8:9.10"), makeDate("2021-5-6 7:8:9.11"));
    EXPECT_LT(makeDate("2021-12-31 23:59:59.0"), makeDate("2022-1-1"));
}

// Walks every day from 01/01/0001 to 12/31/9999 by the month lengths alone,
// so Julian days, days of the year and weekdays are checked against counts
// that share no arithmetic with the conversions.
TEST(QvDateTest, EveryDayOfTheRangeCountsInSequence) {
    auto julian = compile<char>("J");
    auto dayOfYear = compile<char>("DDD YYYY");
    long long expected = 1721426;
    int weekday = 2;  // 01/01/0001 was a Monday
    QvDate read;
    for (int y = 1; y <= 9999; ++y) {
        int yearDay = 1;
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= QvDate::getDaysInMonth(y, m); ++d, ++expected, ++yearDay, weekday = weekday % 7 + 1) {
                QvDate walk;
                ASSERT_EQ(walk.setDate(y, m, d), 0);
                ASSERT_EQ(walk.getJulianDay(), expected) << y << "-" << m << "-" << d;
                ASSERT_EQ(walk.getDayOfYear(), yearDay) << y << "-" << m << "-" << d;
                ASSERT_EQ(walk.getDayOfWeek(), weekday) << y << "-" << m << "-" << d;
                if (y % 97 == 0 || y < 5 || y > 9995) {
                    ASSERT_EQ(read.Set(std::to_string(expected).c_str(), julian.get()), 0);
                    ASSERT_EQ(read, walk);
                    char text[16];
                    std::snprintf(text, sizeof text, "%03d %04d", yearDay, y);
                    ASSERT_EQ(read.Set(text, dayOfYear.get()), 0) << text;
                    ASSERT_EQ(read, walk) << text;
                }
            }
        }
    }
    EXPECT_EQ(expected, 5373485);
}

}  // namespace
