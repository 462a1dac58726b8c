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
std::string text(XType type, void* value, short* indicator = nullptr, int numCharsMax = kXDataNoCharsMax,
                 int annotate = 0) {
    std::unique_ptr<unsigned short[]> buf(xdataToUString(type, value, indicator, numCharsMax, annotate));
    if (!buf) return "<null>";
    return QvUString(buf.get()).toUtf8();
}

template <int N>
QvDecimal<N> dec(const char* s) {
    QvDecimal<N> d;
    QvDecStringConvert::stringToQvDec(d, s, static_cast<const char*>(nullptr));
    return d;
}

TEST(XDataTest, Integers) {
    int32_t i = 42;
    EXPECT_EQ(text(eXDT_INT, &i), "42");
    EXPECT_EQ(text(eXDT_INT, &i, nullptr, kXDataNoCharsMax, 1), "i:42");
    int32_t lo = std::numeric_limits<int32_t>::min();
    EXPECT_EQ(text(eXDT_INT, &lo), "-2147483648");
    int64_t big = std::numeric_limits<int64_t>::min();
    EXPECT_EQ(text(eXDT_BIGINT, &big), "-9223372036854775808");
    int64_t bigMax = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(text(eXDT_BIGINT, &bigMax, nullptr, kXDataNoCharsMax, 1), "bi:9223372036854775807");
}

struct FloatCase {
    double value;
    const char* expected;
};

class XDataFloatTest : public testing::TestWithParam<FloatCase> {};

TEST_P(XDataFloatTest, FloatText) {
    double v = GetParam().value;
    EXPECT_EQ(text(eXDT_FLOAT, &v), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XDataFloatTest,
    testing::Values(
        // %.15lg outside the small range
        FloatCase{0.5, "0.5"}, FloatCase{0.0, "0"}, FloatCase{-0.25, "-0.25"}, FloatCase{0.0001, "0.0001"},
        FloatCase{1e20, "1e+20"}, FloatCase{123456789.125, "123456789.125"}, FloatCase{1.0 / 3, "0.333333333333333"},
        FloatCase{1e-16, "1e-16"},
        // plain decimals from the host in [1e-15, 1e-4)
        FloatCase{0.00005, "0.00005"}, FloatCase{-0.00005, "-0.00005"}, FloatCase{1e-15, "0.000000000000001"},
        FloatCase{0.0000999, "0.0000999"}));

TEST(XDataTest, FloatSpecialValues) {
    double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(text(eXDT_FLOAT, &inf), "inf");
    double nan = std::nan("");
    EXPECT_EQ(text(eXDT_FLOAT, &nan, nullptr, kXDataNoCharsMax, 1).substr(0, 2), "f:");
}

TEST(XDataTest, Decimals) {
    QvDecimal<2> d18 = dec<2>("-12.50");
    EXPECT_EQ(text(eXDT_DEC18, &d18, nullptr, kXDataNoCharsMax, 1), "d1:-12.50");
    EXPECT_EQ(text(eXDT_DEC18_FIXED, &d18), "-12.50");
    QvDecimal<3> d28 = dec<3>("1234567890123456789012345.678");
    EXPECT_EQ(text(eXDT_DEC28, &d28, nullptr, kXDataNoCharsMax, 1), "d2:1234567890123456789012345.678");
    EXPECT_EQ(text(eXDT_DEC28_FIXED, &d28), "1234567890123456789012345.678");
    QvDecimal<4> d38 = dec<4>("-0.00000000000000000000000000000000000001");
    EXPECT_EQ(text(eXDT_DEC38, &d38, nullptr, kXDataNoCharsMax, 1), "d3:-0.00000000000000000000000000000000000001");
    QvDecimal<4> big = dec<4>("12345678901234567890123456789012345678");
    EXPECT_EQ(text(eXDT_DEC38_FIXED, &big), "12345678901234567890123456789012345678");
}

TEST(XDataTest, Strings) {
    char abc[] = "abc";
    EXPECT_EQ(text(eXDT_STRING, abc), "'abc'");
    EXPECT_EQ(text(eXDT_STRING, abc, nullptr, kXDataNoCharsMax, 1), "s:'abc'");
    // Inner apostrophes are not doubled.
    char quoted[] = "it's";
    EXPECT_EQ(text(eXDT_STRING, quoted), "'it's'");
    // 8-bit text is widened byte by byte.
    char latin1[] = "\xE9";
    EXPECT_EQ(text(eXDT_STRING, latin1), "'\xC3\xA9'");
    char empty[] = "";
    EXPECT_EQ(text(eXDT_STRING, empty), "''");

    QvUString u = qvU("\xE2\x82\xAC x");
    EXPECT_EQ(text(eXDT_UNISTRING, const_cast<unsigned short*>(u.getBuffer()), nullptr, kXDataNoCharsMax, 1),
              "u:'\xE2\x82\xAC x'");
}

struct BoundCase {
    XType type;
    int numCharsMax;
    bool accepted;
};

class XDataBoundTest : public testing::TestWithParam<BoundCase> {};

// Every value is three characters long ("abc").
TEST_P(XDataBoundTest, NumCharsMaxBoundsStrings) {
    char narrow[] = "abc";
    QvUString wide = qvU("abc");
    void* value = GetParam().type.toInteger() == eXDT_STRING ? static_cast<void*>(narrow)
                                                               : const_cast<unsigned short*>(wide.getBuffer());
    if (GetParam().accepted)
        EXPECT_EQ(text(GetParam().type, value, nullptr, GetParam().numCharsMax), "'abc'");
    else
        EXPECT_THROW(text(GetParam().type, value, nullptr, GetParam().numCharsMax), QvAssertFailure);
}

INSTANTIATE_TEST_SUITE_P(Bounds, XDataBoundTest,
                         testing::Values(BoundCase{eXDT_STRING, 3, true}, BoundCase{eXDT_STRING, 100, true},
                                         BoundCase{eXDT_STRING, 2, false}, BoundCase{eXDT_STRING, 0, false},
                                         BoundCase{eXDT_STRING, -3, true}, BoundCase{eXDT_STRING, -1, false},
                                         BoundCase{eXDT_UNISTRING, 3, true}, BoundCase{eXDT_UNISTRING, 2, false},
                                         BoundCase{eXDT_UNISTRING, -3, true}));

TEST(XDataTest, NumCharsMaxIgnoredForOtherTypes) {
    int32_t i = 123456;
    EXPECT_EQ(text(eXDT_INT, &i, nullptr, 2), "123456");
}

TEST(XDataTest, BinaryAndDate) {
    unsigned char bytes[] = {1, 2, 3};
    EXPECT_EQ(text(eXDT_BINARY, bytes), "{BinaryValue}");
    EXPECT_EQ(text(eXDT_BINARY, bytes, nullptr, kXDataNoCharsMax, 1), "b:{BinaryValue}");

    QvDate date;
    ASSERT_EQ(date.setDate(2024, 2, 29), 0);
    ASSERT_EQ(date.setTime(13, 5, 9, 7), 0);
    EXPECT_EQ(text(eXDT_DATE, &date), "<02/29/2024 13:05:09.000000007>");
    EXPECT_EQ(text(eXDT_DATE, &date, nullptr, kXDataNoCharsMax, 1), "t:<02/29/2024 13:05:09.000000007>");
}

TEST(XDataTest, NullIndicatorWinsOverValue) {
    int32_t i = 42;
    short isNull = -1;
    EXPECT_EQ(text(eXDT_INT, &i, &isNull), "{NULL}");
    EXPECT_EQ(text(eXDT_INT, &i, &isNull, kXDataNoCharsMax, 1), "i:{NULL}");
    // A null indicator needs no value and no printable type.
    EXPECT_EQ(text(eXDT_BOOLEAN, nullptr, &isNull, kXDataNoCharsMax, 1), "bl:{NULL}");
    short notNull = 0;
    EXPECT_EQ(text(eXDT_INT, &i, &notNull), "42");
    short other = 1;
    EXPECT_EQ(text(eXDT_INT, &i, &other), "42");
}

TEST(XDataTest, MissingValue) {
    EXPECT_EQ(text(eXDT_INT, nullptr), "{ValueNotAvailable}");
    short notNull = 0;
    EXPECT_EQ(text(eXDT_DATE, nullptr, &notNull, kXDataNoCharsMax, 1), "t:{ValueNotAvailable}");
}

TEST(XDataTest, TypesWithoutTextAreInvariants) {
    int32_t b = 1;
    for (int type : {static_cast<int>(eXDT_BOOLEAN), static_cast<int>(eXDT_NULL), -1, -2, 0, 1004, 1033}) {
        SCOPED_TRACE(type);
        xtestsupport::expectInvariant("xdata", [&] { text(type, &b); });
    }
}

TEST(XDataTest, OutStringReceivesTextAndNullIsReturned) {
    int32_t i = 7;
    QvUString out = qvU("old");
    EXPECT_EQ(xdataToUString(&out, eXDT_INT, &i, nullptr, kXDataNoCharsMax, 1), nullptr);
    EXPECT_EQ(out.toUtf8(), "i:7");
    std::unique_ptr<unsigned short[]> buf(xdataToUString(nullptr, eXDT_INT, &i, nullptr, kXDataNoCharsMax, 0));
    ASSERT_NE(buf, nullptr);
    EXPECT_EQ(QvUString(buf.get()).toUtf8(), "7");
}

// ---- custom types ----

// The value of the test type is an int; its text form shows which format
// the printer passed.
int customToText(const void* value, QvUString& out, const char* format) {
    out.sprint("%d|%hs", *static_cast<const int*>(value), format ? format : "default");
    return 1;
}

class XDataCustomTest : public testing::Test {
protected:
    void TearDown() override { CustomSDKMgr::getInstance()->unregisterAll(); }

    static int registerType(const char* name, int textWidth) {
        QvCustomTypeDef def;
        def.name = name;
        def.valueSize = sizeof(int);
        def.textWidth = textWidth;
        def.toText = customToText;
        return CustomSDKMgr::getInstance()->registerCustomType(def);
    }
};

TEST_F(XDataCustomTest, PrintsThroughTheRegistry) {
    const int id = registerType("Money", 40);
    ASSERT_GE(id, 1022);
    int v = 12;
    EXPECT_EQ(text(id, &v), "12|default");
    // Custom types have no annotation of their own.
    EXPECT_EQ(text(id, &v, nullptr, kXDataNoCharsMax, 1), "?:12|default");
}

TEST_F(XDataCustomTest, TimestampWithTimeZoneGetsItsFormat) {
    const std::string name = std::string(gsQvTypeNamespace) + "datatype.timestamptimezone";
    const int id = registerType(name.c_str(), 60);
    ASSERT_GE(id, 1022);
    int v = 3;
    EXPECT_EQ(text(id, &v), "3|MM/DD/YYYY HH24:MI:SS");
}

TEST_F(XDataCustomTest, TextLongerThanDeclaredWidthIsEmpty) {
    const int id = registerType("Narrow", 3);
    int v = 12;  // "12|default" does not fit three characters
    EXPECT_EQ(text(id, &v), "");
}

TEST_F(XDataCustomTest, UnregisteredCustomTypeIsInvariant) {
    int v = 1;
    EXPECT_THROW(text(1025, &v), QvAssertFailure);
}

}  // namespace
