// Tests of the utilities library: message catalogue, custom-type registry,
// conversion matrix, metadata bases and number helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <tuple>

#include "hosttest_util.h"
#include "qvcmnasrt.h"
#include "qvutils.h"

namespace {

// ---------------------------------------------------------------------------
// Message catalogue

// Every id the expression library raises or formats.
constexpr int kRequiredIds[] = {
    1081,  19002, 19004, 19009, 19012, 19014, 19017, 19020, 19022, 19023, 19024, 19025, 19027,
    19028, 19031, 19032, 19033, 19035, 19043, 19045, 19046, 19048, 19049, 19050, 19052, 19054,
    19055, 19058, 19060, 19063, 19064, 19065, 19066, 19067, 19075, 19080, 19081, 19082, 19083,
    19085, 19090, 19091, 19092, 19094, 19106, 19107, 19108, 19109, 19110, 19112, 19114, 19115,
    19117, 19136, 19138, 19145, 19149, 19153, 19154, 19196, 19197, 19199, 20010, 20030, 20031,
    20032, 20035, 20036, 20044, 20045, 20046, 20047, 20048, 20049, 20050,
};

// The conversions (in order) of the ids that are formatted with arguments;
// every other id takes none.
const std::map<int, std::string> kArguments = {
    {19002, "d"},
    {19075, "ss"},
    {19080, "ss"},
    {19108, "s"},
    {19110, "ss"},
    {19138, "s"},
    {19145, "s"},
    {19149, "g"},
    {19197, "s"},
    {20010, "s"},
    {20047, "s"},
};

// The conversion letters of a printf format, "%%" skipped.
std::string conversionsOf(const std::string& format) {
    std::string letters;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        size_t j = i + 1;
        while (j < format.size() && std::strchr("-+ #0123456789.*hlLzjt", format[j]) != nullptr) ++j;
        if (j < format.size() && format[j] != '%') letters += format[j];
        i = j;
    }
    return letters;
}

std::string utf8(const QvUString& s) { return s.toUtf8(); }

// Every listed text is non-empty and takes its documented arguments; the ids
// are listed in ascending order.
TEST(MessageCatalogueTest, EveryRequiredIdIsCataloguedWithItsArguments) {
    for (int id : kRequiredIds) EXPECT_TRUE(qvIsCataloguedMsg(id)) << id;
    size_t count = 0;
    const int* ids = qvGetMsgIds(&count);
    ASSERT_GE(count, std::size(kRequiredIds));
    for (size_t i = 0; i < count; ++i) {
        const std::string text = utf8(qvGetMsg(ids[i]));
        EXPECT_FALSE(text.empty()) << ids[i];
        auto expected = kArguments.find(ids[i]);
        EXPECT_EQ(conversionsOf(text), expected == kArguments.end() ? "" : expected->second) << ids[i];
        EXPECT_TRUE(i == 0 || ids[i - 1] < ids[i]) << ids[i];
    }
    EXPECT_FALSE(qvIsCataloguedMsg(12345));
    EXPECT_EQ(utf8(qvGetMsg(12345)), "Unknown message id 12345.");
    EXPECT_EQ(utf8(qvGetMsg(-7)), "Unknown message id -7.");
}

// The two line formats end in their one newline, the others have none; the
// message comes before the expression.
TEST(MessageCatalogueTest, LineFormats) {
    for (int id : {19075, 19080, 19083, 19109, 19110, 20047}) {
        const std::string text = utf8(qvGetMsg(id));
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), id == 19075 || id == 19080 ? 1 : 0) << id;
        EXPECT_TRUE(text.find('\n') == std::string::npos || text.back() == '\n') << id;
    }
    QvUString line;
    line.sprint(qvGetMsg(19075).getBuffer(), qvU("MSG-TEXT").getBuffer(), qvU("EXPR-TEXT").getBuffer());
    const std::string out = utf8(line);
    ASSERT_NE(out.find("EXPR-TEXT"), std::string::npos);
    EXPECT_LT(out.find("MSG-TEXT"), out.find("EXPR-TEXT"));
    EXPECT_NE(qvGetMsg(19083), qvGetMsg(19109));
}

// ---------------------------------------------------------------------------
// Custom types

// A test type: an amount in cents held in a long long.
long long& cents(void* value) { return *static_cast<long long*>(value); }
long long cents(const void* value) { return *static_cast<const long long*>(value); }
int moneyToText(const void* value, QvUString& text, const char* format) {
    const long long magnitude = cents(value) < 0 ? -cents(value) : cents(value);
    text.sprint("%hs%hs%lld.%02lld", format != nullptr ? format : "", cents(value) < 0 ? "-" : "", magnitude / 100,
                magnitude % 100);
    return 1;
}
int moneyFromText(const unsigned short* text, size_t length, void* value) {
    const std::string digits = QvUString(text, length).toUtf8();
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    cents(value) = std::stoll(digits);
    return 1;
}
int moneyToInt(const void* value, int& out) { out = static_cast<int>(cents(value) / 100); return 1; }
int moneyToFloat(const void* value, double& out) { out = static_cast<double>(cents(value)) / 100.0; return 1; }
int moneyNegate(void* value) { cents(value) = -cents(value); return 1; }

QvCustomTypeDef moneyType(const char* name = "Money") {
    return {.name = name, .traits = eQvTRT_NUMERIC | eQvTRT_COMPARABLE, .valueSize = sizeof(long long),
            .textWidth = 24, .precision = 19, .scale = 2, .toText = moneyToText, .fromText = moneyFromText,
            .toInteger = moneyToInt, .toFloat = moneyToFloat, .negate = moneyNegate};
}

class CustomTypeTest : public ::testing::Test {
protected:
    void SetUp() override { mgr->unregisterAll(); }
    void TearDown() override { mgr->unregisterAll(); }
    CustomSDKMgr* mgr = CustomSDKMgr::getInstance();
};

TEST_F(CustomTypeTest, WithNothingRegisteredEveryLookupFails) {
    const int id = mgr->getCustomTypeId("Dec38rt");
    EXPECT_FALSE((id >= 1002 && id <= 1040) || (id >= -4 && id <= -1)) << id;
    EXPECT_EQ(mgr->getCustomTypeId(qvU("com.qv.datatype.htype.struct")), id);
    unsigned int ids[11] = {};
    EXPECT_EQ(mgr->getCustomTypeIds(ids, 11), 0u);
    for (unsigned int dt = 1022; dt <= 1032; ++dt) {
        EXPECT_EQ(answers({mgr->getCustomTypeName(dt) != nullptr, mgr->getCustomTypeFromDT(dt) != nullptr,
                           mgr->getTrtInfoFromDT(dt) != nullptr, mgr->getZEVATypeMetadata(dt) != nullptr,
                           QvCData::cdt2trtInfo(dt)->has(eQvTRT_COMPARABLE)}), "0 0 0 0 0") << dt;
    }
    long long value = 5, asBig = 77;
    int asInt = 77;
    double asFloat = 7.5;
    unsigned short buffer[8] = {'x', 0};
    EXPECT_EQ(answers({mgr->to_integer(1022, &value, asInt), mgr->to_bigint(1022, &value, asBig),
                       mgr->to_float(1022, &value, asFloat), mgr->negate(1022, &value), asInt, asBig, asFloat == 7.5,
                       value, mgr->qvZevaTypeToString(1022, &value, buffer, 8), buffer[0],
                       mgr->qvStringToZevaType(1022, qvU("12").getBuffer(), 2, &value)}), "0 0 0 0 77 77 1 5 0 0 0");
}

TEST_F(CustomTypeTest, RegisteredTypeIsFoundByNameAndId) {
    ASSERT_EQ(mgr->registerCustomType(moneyType()), 1022);
    unsigned int ids[11] = {};
    // by name (identifiers are exact), the registered ids and their count
    EXPECT_EQ(answers({mgr->getCustomTypeId(qvU("Money")), mgr->getCustomTypeId(qvU("Money").getBuffer()),
                       mgr->getCustomTypeId("money"), mgr->getCustomTypeIds(ids, 11), ids[0]}), "1022 1022 0 1 1022");
    ASSERT_NE(mgr->getCustomTypeName(1022), nullptr);
    EXPECT_EQ(*mgr->getCustomTypeName(1022), qvU("Money"));
    const ZEVA_TYPE_HANDLE_struct* handle = mgr->getCustomTypeFromDT(1022);
    zeva_type_opd_metadata_struct* md = mgr->getZEVATypeMetadata(1022);
    ASSERT_TRUE(handle && md);
    EXPECT_EQ(answers({handle->getValueSize(), handle->getTextWidth(), md->typeId, md->precision, md->scale}),
              answers({sizeof(long long), 24, 1022, 19, 2}));
    EXPECT_EQ(mgr->getCustomTypeFromDT(md), handle);
    EXPECT_EQ(mgr->getCustomTypeFromDT(static_cast<const zeva_type_opd_metadata_struct*>(nullptr)), nullptr);
}

TEST_F(CustomTypeTest, TraitsAndConversionsGoThroughTheRegisteredFunctions) {
    ASSERT_EQ(mgr->registerCustomType(moneyType()), 1022);
    TrtInfo* trt = mgr->getTrtInfoFromDT(1022);
    ASSERT_NE(trt, nullptr);
    EXPECT_EQ(QvCData::cdt2trtInfo(1022), trt);
    EXPECT_EQ(answers({(trt->flags & eQvTRT_FILLED) != 0, trt->has(eQvTRT_NUMERIC), trt->has(eQvTRT_COMPARABLE),
                       trt->has(eQvTRT_DECIMAL), trt->has(eQvTRT_VECTOR)}), "1 1 1 0 0");
    long long cents = 12345, asBig = 99;
    int asInt = 0;
    double asFloat = 0;
    // to_bigint is not provided by the type; without a value nothing converts
    EXPECT_EQ(answers({mgr->to_integer(1022, &cents, asInt) != 0, asInt, mgr->to_float(1022, &cents, asFloat) != 0,
                       mgr->to_bigint(1022, &cents, asBig), asBig, mgr->negate(1022, &cents) != 0, cents,
                       mgr->to_integer(1022, nullptr, asInt), mgr->to_float(1022, nullptr, asFloat),
                       mgr->negate(1022, nullptr), asInt}), "1 123 1 0 99 1 -12345 0 0 0 123");
    EXPECT_DOUBLE_EQ(asFloat, 123.45);
    unsigned short buffer[32];
    ASSERT_NE(mgr->qvZevaTypeToString(1022, &cents, buffer, 32), 0);
    EXPECT_EQ(utf8(QvUString(buffer)), "-123.45");
    ASSERT_NE(mgr->qvZevaTypeToString(1022, &cents, buffer, 32, "MM/DD/YYYY "), 0);
    EXPECT_EQ(utf8(QvUString(buffer)), "MM/DD/YYYY -123.45");
    // 7 units and the terminator are needed
    EXPECT_EQ(answers({mgr->qvZevaTypeToString(1022, &cents, buffer, 7), buffer[0],
                       mgr->qvZevaTypeToString(1022, &cents, buffer, 8) != 0}), "0 0 1");
    EXPECT_EQ(answers({mgr->qvStringToZevaType(1022, qvU("2500").getBuffer(), 4, &cents) != 0, cents,
                       mgr->qvStringToZevaType(1022, qvU("25x").getBuffer(), 3, &cents), cents}), "1 2500 0 2500");
}

TEST_F(CustomTypeTest, RegistrationRefusesBadRequestsAndElevenFillTheRegistry) {
    EXPECT_EQ(answers({mgr->registerCustomType(moneyType()), mgr->registerCustomType(moneyType()) /* name taken */,
                       mgr->registerCustomType(moneyType("")), mgr->registerCustomType(moneyType(nullptr)),
                       mgr->registerCustomType(moneyType("A"), 1021) /* below the custom range */,
                       mgr->registerCustomType(moneyType("A"), 1033) /* above it */,
                       mgr->registerCustomType(moneyType("A"), 1022) /* id taken */,
                       mgr->registerCustomType(moneyType("A"), 1032), mgr->registerCustomType(moneyType("B"))}),
              "1022 -1 -1 -1 -1 -1 -1 1032 1023");  // the lowest free id
    mgr->unregisterAll();
    static const char* const kNames[] = {"t0", "t1", "t2", "t3", "t4", "t5", "t6", "t7", "t8", "t9", "t10", "t11"};
    for (int i = 0; i < 11; ++i) EXPECT_EQ(mgr->registerCustomType(moneyType(kNames[i])), 1022 + i);
    EXPECT_EQ(mgr->registerCustomType(moneyType(kNames[11])), -1);
    unsigned int ids[4] = {};
    EXPECT_EQ(answers({mgr->getCustomTypeIds(ids, 4), ids[3]}), "11 1025");  // count of all, only 4 written
    mgr->unregisterAll();
    EXPECT_EQ(answers({mgr->getCustomTypeIds(ids, 4), mgr->getCustomTypeId("t0")}), "0 0");
}

// from, to, convertible; BIGINT: the type has no to_bigint; 1023 is not registered
TEST_F(CustomTypeTest, CustomTypesConvertThroughTheirRegisteredConversions) {
    ASSERT_EQ(mgr->registerCustomType(moneyType()), 1022);
    const unsigned int rows[][3] = {
        {1022, eQvCDT_STRING, 1},
        {1022, eQvCDT_INT, 1},
        {1022, eQvCDT_FLOAT, 1},
        {1022, eQvCDT_BIGINT, 0},
        {1022, eQvCDT_DATE, 0},
        {eQvCDT_UNISTRING, 1022, 1},
        {eQvCDT_INT, 1022, 0},
        {1023, 1023, 0},
    };
    for (const auto& [from, to, ok] : rows) {
        EXPECT_EQ(QvConverterFactory::isConvertible(from, to, 0), static_cast<int>(ok)) << from << " " << to;
    }
}

TEST(TraitTest, BuiltinTypesHaveTheirTraits) {
    const unsigned int rows[][5] = {  // type, numeric, decimal, vector, comparable
        {eQvCDT_INT, 1, 0, 0, 1},
        {eQvCDT_DEC18, 1, 1, 0, 1},
        {eQvCDT_STRING, 0, 0, 1, 1},
        {eQvCDT_DATE, 0, 0, 0, 1},
        {4711, 0, 0, 0, 0},
    };
    for (const auto& [type, numeric, decimal, vector, comparable] : rows) {
        const TrtInfo* trt = QvCData::cdt2trtInfo(type);  // a record with no traits for unknown types
        EXPECT_EQ(answers({trt->has(eQvTRT_NUMERIC), trt->has(eQvTRT_DECIMAL), trt->has(eQvTRT_VECTOR),
                           trt->has(eQvTRT_COMPARABLE)}), answers({numeric, decimal, vector, comparable})) << type;
    }
}

// ---------------------------------------------------------------------------
// Conversion matrix

constexpr unsigned int kBuiltinTypes[] = {
    eQvCDT_INT,   eQvCDT_STRING,      eQvCDT_FLOAT,       eQvCDT_BINARY,    eQvCDT_DATE,
    eQvCDT_DEC18_FIXED, eQvCDT_DEC28_FIXED, eQvCDT_DEC18, eQvCDT_DEC28,     eQvCDT_UNISTRING,
    eQvCDT_DEC38_FIXED, eQvCDT_DEC38,  eQvCDT_BIGINT,      eQvCDT_NULL,      eQvCDT_BOOLEAN,
};

// Every type converts to itself, NULL to everything and nothing to NULL; a
// lossless conversion is also a plain one.
TEST(ConverterTest, GeneralRulesAndDocumentedPairs) {
    for (unsigned int from : kBuiltinTypes) {
        for (unsigned int to : kBuiltinTypes) {
            const int lossless = QvConverterFactory::isConvertible(from, to, 1);
            const int plain = QvConverterFactory::isConvertible(from, to, 0);
            if (from == to || from == eQvCDT_NULL) {
                EXPECT_TRUE(lossless && plain) << from << " " << to;
            } else if (to == eQvCDT_NULL) {
                EXPECT_FALSE(lossless || plain) << from;
            }
            EXPECT_TRUE(plain || !lossless) << from << " " << to;
        }
    }
    const unsigned int rows[][4] = {  // from, to, lossless flag, convertible
        {eQvCDT_INT, eQvCDT_FLOAT, 0, 1},
        {eQvCDT_FLOAT, eQvCDT_INT, 1, 0},
        {eQvCDT_INT, eQvCDT_BIGINT, 1, 1},
        {eQvCDT_BIGINT, eQvCDT_INT, 1, 0},
        {eQvCDT_BOOLEAN, eQvCDT_INT, 1, 1},
        {eQvCDT_DEC28, eQvCDT_DEC18, 1, 0},
        {eQvCDT_DEC18_FIXED, eQvCDT_DEC38, 1, 1},
        {eQvCDT_INT, eQvCDT_STRING, 1, 1},
        {eQvCDT_DATE, eQvCDT_UNISTRING, 1, 1},
        {eQvCDT_STRING, eQvCDT_INT, 0, 1},
        {eQvCDT_STRING, eQvCDT_INT, 1, 0},
        {eQvCDT_STRING, eQvCDT_DATE, 0, 1},
        {eQvCDT_STRING, eQvCDT_BINARY, 0, 0},
        {eQvCDT_BINARY, eQvCDT_STRING, 0, 0},
        {eQvCDT_DATE, eQvCDT_INT, 0, 0},
        {eQvCDT_INT, eQvCDT_DATE, 0, 0},
        {eQvCDT_BINARY, eQvCDT_INT, 0, 0},
        {999, 999, 0, 0},
        {eQvCDT_DATE, eQvCDT_BINARY, 0, 0},
        {eQvCDT_NULL, 999, 0, 0},
    };
    for (const auto& [from, to, flag, expected] : rows) {
        EXPECT_EQ(QvConverterFactory::isConvertible(from, to, static_cast<int>(flag)), static_cast<int>(expected))
            << from << " -> " << to << " flag " << flag;
    }
}

// ---------------------------------------------------------------------------
// Number helpers and settings

TEST(FtoaReformatTest, SmallValuesInPlainNotation) {
    const std::pair<double, const char*> rows[] = {
        {-0.00005, "-0.00005"},
        {1e-15, "0.000000000000001"},
        {1.23456789012345e-10, "0.000000000123456789012345"},
        {9.999999999999999e-5, "0.0001"},  // rounds up to 15 digits
    };
    for (const auto& [value, expected] : rows) {
        char narrow[40];
        unsigned short wide[40];
        const double magnitude = std::fabs(value);
        EXPECT_EQ(answers({qvFtoaReformat(narrow, value, magnitude), qvFtoaReformat(wide, value, magnitude)}),
                  answers({std::strlen(expected), std::strlen(expected)}));
        EXPECT_EQ(std::string(narrow) + " " + utf8(QvUString(wide)), std::string(expected) + " " + expected);
    }
    char buffer[40] = "untouched";  // magnitudes out of range are refused
    EXPECT_EQ(answers({qvFtoaReformat(buffer, 0.0001, 0.0001), qvFtoaReformat(buffer, 1e-16, 1e-16),
                       qvFtoaReformat(buffer, 0.0, 0.0), qvFtoaReformat(buffer, NAN, NAN)}), "-1 -1 -1 -1");
    EXPECT_STREQ(buffer, "untouched");
}

TEST(DblToBigIntTest, Boundaries) {
    const std::tuple<double, int, int, long long> rows[] = {  // value, flag, ok, result
        {9223372036854775808.0, 0, 0, 0},  // 2^63
        {-9223372036854775808.0, 0, 1, LLONG_MIN},  // -2^63
        {9223372036854774784.0, 0, 1, 9223372036854774784LL},  // largest double below 2^63
        {-9223372036854777856.0, 0, 0, 0},  // next double below -2^63
        {std::numeric_limits<double>::quiet_NaN(), 0, 0, 0},
        {-2.5, 0, 1, -3},
        {2.5, 1, 1, 2},
    };
    for (const auto& [value, flag, ok, expected] : rows) {
        long long result = 42;
        EXPECT_EQ(answers({dblToBigInt(value, result, flag) != 0, result}), answers({ok, ok ? expected : 42})) << value;
    }
}

// Server mode defaults to Unicode; the 8.x string-to-number rule to off, and
// any non-zero value switches it on. Setters return the previous value.
TEST(SettingsTest, DefaultsAndSetters) {
    // each: the value, then the setter's answer and the value after it
    EXPECT_EQ(answers({isServerModeASCII(), qvSetServerModeASCII(1), isServerModeASCII(), qvSetServerModeASCII(0)}),
              "0 0 1 1");
    EXPECT_EQ(answers({QvUtilGlobal::get8xConvertStrToNum(), QvUtilGlobal::set8xConvertStrToNum(5),
                      QvUtilGlobal::get8xConvertStrToNum(), QvUtilGlobal::set8xConvertStrToNum(0),
                      QvUtilGlobal::get8xConvertStrToNum()}), "0 0 1 1 0");
}

// ---------------------------------------------------------------------------
// Metadata bases

// A record as the library derives one: only the type and length are its own.
class TestRecord : public XMetadataBase {
public:
    TestRecord(unsigned int type, int length) : m_type(type), m_length(length) {}
    unsigned int getCDataTypeV() const override { return m_type; }
    int getLengthV() const override { return m_length; }
    void copyFromV(const XMetadataBase*) override {}
    unsigned int m_type;
    int m_length;
};

TEST(MetadataBaseTest, HostClassIdsAreNotTheLibrarys) {
    for (int id : {1000, 1001, 2000, 2001, 2002, 3000, 3001, 3005, 0, -1})
        EXPECT_EQ(XMetadataBase::stc_isClass(id), id == 2000 || id == 2001) << id;
    EXPECT_EQ(QvMetadataBase::stc_isClass(2001), 0);
    const QvMetadataBase bare;  // its defaults describe "no type"
    EXPECT_FALSE(bare.getCDataTypeV() || bare.getLengthV() || bare.getScaleV() || bare.getTypeAttrsV() ||
                 bare.getZevaTypeMetadataV() || bare.getTrtInfoV());
    TestRecord record(eQvCDT_INT, 0);
    const QvMetadataBase& base = record;
    EXPECT_EQ(answers({bare.getClassId(), SColMetadata::stc_isClass(2002), SColMetadata::stc_isClass(2001),
                      base.getClassId(), base.isClass(2000), base.isClass(2002)}), "2000 1 0 2001 1 0");
}

TEST(MetadataBaseTest, PrintWidthFollowsTheType) {
    const int rows[][3] = {
        {eQvCDT_INT, 0, 11},
        {eQvCDT_BIGINT, 0, 20},
        {eQvCDT_FLOAT, 0, 24},
        {eQvCDT_DATE, 0, 29},
        {eQvCDT_DEC28, 28, 30},
        {eQvCDT_STRING, 10, 10},
    };
    for (const auto& [type, length, expected] : rows) {
        EXPECT_EQ(TestRecord(static_cast<unsigned int>(type), length).getToStringNumCharsMax(), expected) << type;
    }
    EXPECT_EQ(answers({TestRecord(eQvCDT_STRING, 10).getArgTypeV(), TestRecord(eQvCDT_STRING, 10).getScaleV()}), "1 0");
}

// A second set() without descriptors drops the earlier ones.
TEST(MetadataBaseTest, ColumnMetadataSetReplacesEverything) {
    SColMetadata col;
    int attrs = 0;
    col.set(eQvCDT_DEC18, 12, 3, QvCData::cdt2trtInfo(eQvCDT_DEC18), nullptr, &attrs);
    const QvMetadataBase& base = col;
    EXPECT_EQ(answers({base.getScaleV(), base.getTypeAttrsV() == &attrs, base.getClassId()}), "3 1 2002");
    col.set(eQvCDT_INT, 0, 0);
    EXPECT_EQ(answers({col.getDataType(), col.getTrtInfoV() != nullptr, col.getTypeAttrsV() != nullptr}),
              answers({eQvCDT_INT, 0, 0}));
}

TEST(VecDataTest, HoldsACopyAndSurvivesSelfAssignment) {
    char bytes[] = {1, 2, 3};
    QvVecData data(bytes, 3);
    bytes[0] = 9;
    auto at = [](const QvVecData& d, int i) { return static_cast<const char*>(d.getData())[i]; };
    EXPECT_EQ(answers({data.getSize(), at(data, 0)}), "3 1");
    QvVecData copy = data;
    data.assign(data.getData(), 2);
    EXPECT_EQ(answers({data.getSize(), at(data, 1), copy.getSize()}), "2 2 3");
    data.assign(nullptr, 5);
    EXPECT_TRUE(data.isEmpty() && data.getData() == nullptr);
}

}  // namespace
