// Display text of typed values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xdata.h"
#include "qvdec.h"
#include "qvutils.h"
#include "xtestsupport.h"

namespace {

// The text as UTF-8; frees the returned buffer.
std::string text(XType type, void* value, short* ind = nullptr, int numCharsMax = kXDataNoCharsMax, int annotate = 0) {
    std::unique_ptr<unsigned short[]> buf(xdataToUString(type, value, ind, numCharsMax, annotate));
    return buf ? QvUString(buf.get()).toUtf8() : "<null>";
}

template <int N> QvDecimal<N> dec(const char* s) {
    QvDecimal<N> d;
    return QvDecStringConvert::stringToQvDec(d, s, static_cast<const char*>(nullptr)), d;
}

// Each row: type, value, null indicator, annotated, the text written.
TEST(XDataTest, TextOfEachType) {
    int32_t i = 42;
    int64_t bigMax = std::numeric_limits<int64_t>::max();
    double inf = std::numeric_limits<double>::infinity();
    QvDecimal<2> d18 = dec<2>("-12.50");
    QvDecimal<3> d28 = dec<3>("1234567890123456789012345.678");
    QvDecimal<4> d38 = dec<4>("-0.00000000000000000000000000000000000001");
    QvDecimal<4> big = dec<4>("12345678901234567890123456789012345678");
    char abc[] = "abc", quoted[] = "it's", latin1[] = "\xE9", empty[] = "";
    QvUString u = qvU("\xE2\x82\xAC x");
    unsigned char bytes[] = {1, 2, 3};
    QvDate date;
    ASSERT_EQ(date.setDate(2024, 2, 29), 0);
    ASSERT_EQ(date.setTime(13, 5, 9, 7), 0);
    short isNull = -1, notNull = 0;
    const struct { int type; void* value; short* indicator; int annotate; const char* expected; } cases[] = {
        {eXDT_INT, &i, nullptr, 1, "i:42"},
        {eXDT_BIGINT, &bigMax, nullptr, 1, "bi:9223372036854775807"},
        {eXDT_FLOAT, &inf, nullptr, 1, "f:inf"},
        {eXDT_DEC18, &d18, nullptr, 1, "d1:-12.50"},
        {eXDT_DEC18_FIXED, &d18, nullptr, 0, "-12.50"},
        {eXDT_DEC28, &d28, nullptr, 1, "d2:1234567890123456789012345.678"},
        {eXDT_DEC28_FIXED, &d28, nullptr, 0, "1234567890123456789012345.678"},
        {eXDT_DEC38, &d38, nullptr, 1, "d3:-0.00000000000000000000000000000000000001"},
        {eXDT_DEC38_FIXED, &big, nullptr, 0, "12345678901234567890123456789012345678"},
        {eXDT_STRING, abc, nullptr, 1, "s:'abc'"},
        {eXDT_STRING, quoted, nullptr, 0, "'it's'"},          // inner apostrophes are not doubled
        {eXDT_STRING, latin1, nullptr, 0, "'\xC3\xA9'"},      // 8-bit text is widened byte by byte
        {eXDT_STRING, empty, nullptr, 0, "''"},
        {eXDT_UNISTRING, const_cast<unsigned short*>(u.getBuffer()), nullptr, 1, "u:'\xE2\x82\xAC x'"},
        {eXDT_BINARY, bytes, nullptr, 1, "b:{BinaryValue}"},
        {eXDT_DATE, &date, nullptr, 0, "<02/29/2024 13:05:09.000000007>"},
        {eXDT_INT, &i, &isNull, 0, "{NULL}"},  // a null indicator wins over the value
        {eXDT_BOOLEAN, nullptr, &isNull, 1, "bl:{NULL}"},  // ... and needs no value or printable type
        {eXDT_INT, &i, &notNull, 0, "42"},
        {eXDT_INT, nullptr, nullptr, 0, "{ValueNotAvailable}"},
        {eXDT_DATE, nullptr, &notNull, 1, "t:{ValueNotAvailable}"},
    };
    for (const auto& c : cases) EXPECT_EQ(text(c.type, c.value, c.indicator, kXDataNoCharsMax, c.annotate), c.expected);
    // %.15lg, except plain decimals from the host in [1e-15, 1e-4)
    const std::pair<double, const char*> floats[] = {
        {0.0, "0"},
        {1e20, "1e+20"},
        {1.0 / 3, "0.333333333333333"},
        {1e-16, "1e-16"},
        {1e-15, "0.000000000000001"},
        {-0.00005, "-0.00005"},
    };
    for (auto [value, expected] : floats) EXPECT_EQ(text(eXDT_FLOAT, &value), expected);
}

// Every value is three characters long; a bound applies to strings only.
TEST(XDataTest, NumCharsMaxBoundsStrings) {
    char narrow[] = "abc";
    QvUString wide = qvU("abc");
    for (int numCharsMax : {3, 2, -3, -1}) {
        for (void* value : {static_cast<void*>(narrow), static_cast<void*>(const_cast<unsigned short*>(wide.getBuffer()))}) {
            const int type = value == narrow ? eXDT_STRING : eXDT_UNISTRING;
            if (numCharsMax == 3 || numCharsMax == -3) EXPECT_EQ(text(type, value, nullptr, numCharsMax), "'abc'");
            else EXPECT_THROW(text(type, value, nullptr, numCharsMax), QvAssertFailure) << numCharsMax;
        }
    }
    int32_t i = 123456;
    EXPECT_EQ(text(eXDT_INT, &i, nullptr, 2), "123456");
}

TEST(XDataTest, TypesWithoutTextAreInvariants) {
    int32_t b = 1;
    for (int type : {static_cast<int>(eXDT_BOOLEAN), -1, 1004, 1033})
        xtestsupport::expectInvariant("xdata", [&] { text(type, &b); });
}

TEST(XDataTest, OutStringReceivesTextAndNullIsReturned) {
    int32_t i = 7;
    QvUString out = qvU("old");
    EXPECT_EQ(xdataToUString(&out, eXDT_INT, &i, nullptr, kXDataNoCharsMax, 1), nullptr);
    EXPECT_EQ(out.toUtf8(), "i:7");
    std::unique_ptr<unsigned short[]> buf(xdataToUString(nullptr, eXDT_INT, &i, nullptr, kXDataNoCharsMax, 0));
    EXPECT_EQ(buf ? QvUString(buf.get()).toUtf8() : "", "7");
}

// ---- custom types ----

// The value of the test type is an int; its text form shows which format
// the printer passed.
int customToText(const void* value, QvUString& out, const char* format) {
    const int v = *static_cast<const int*>(value);
    if (v < 10) out.sprint("%d", v);  // one digit prints alone, to fill a width of one
    else out.sprint("%d|%hs", v, format ? format : "default");
    return 1;
}

class XDataCustomTest : public testing::Test {
protected:
    void TearDown() override { CustomSDKMgr::getInstance()->unregisterAll(); }

    static int registerType(std::string name, int textWidth) {
        QvCustomTypeDef def;
        def.name = name.c_str(), def.valueSize = sizeof(int), def.textWidth = textWidth, def.toText = customToText;
        return CustomSDKMgr::getInstance()->registerCustomType(def);
    }
};

// Custom types have no annotation of their own; a timestamp with time zone
// gets its format; text longer than the declared width is left out.
TEST_F(XDataCustomTest, PrintsThroughTheRegistry) {
    const int money = registerType("Money", 40);
    const int zoned = registerType(std::string(gsQvTypeNamespace) + "datatype.timestamptimezone", 60);
    const int narrow = registerType("Narrow", 3), one = registerType("One", 1), none = registerType("None", 0);
    ASSERT_TRUE(money >= 1022 && zoned >= 1022 && narrow >= 1022 && one >= 1022 && none >= 1022);
    int v = 12, digit = 7;
    EXPECT_EQ(text(one, &digit) + "," + text(none, &digit), "7,");
    EXPECT_EQ(text(money, &v) + "," + text(money, &v, nullptr, kXDataNoCharsMax, 1) + "," + text(zoned, &v) + "," +
                  text(narrow, &v),
              "12|default,?:12|default,12|MM/DD/YYYY HH24:MI:SS,");
    EXPECT_THROW(text(1030, &v), QvAssertFailure);  // not registered
}

}  // namespace
