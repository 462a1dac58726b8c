// Loading a catalog never lets an exception out and never costs more than
// linear space and time: whatever goes wrong (a number out of range, memory
// running out at any allocation) is a FILE:LINE:COLUMN error, and deep or
// large catalogs cost bytes in proportion to their text.
#include <gtest/gtest.h>

#include <string>

#include "qvcmnexpr/xcatalog.h"
#include "xalloccount.h"

namespace {

constexpr double kLinearRatio = 5.0;  // quadratic growth gives about 16

struct Refused {
    const char* text;
    const char* error;  // the whole message
};

const Refused kRefused[] = {
    {R"j({"ports": [1e999]})j", "cat.json:1:12: error: malformed JSON: number overflow parsing '1e999'"},
    {"{\n  \"kind\": -1e400\n}", "cat.json:2:11: error: malformed JSON: number overflow parsing '-1e400'"},
    {R"j({"settings": {"decimalMaxPrecision": 1E+999}})j",
     "cat.json:1:38: error: malformed JSON: number overflow parsing '1E+999'"},
};

TEST(XCatalogLoadTest, NumbersOutOfRangeAreErrorsAtTheirPosition) {
    for (const Refused& c : kRefused) {
        XCatalog catalog;
        std::string error;
        EXPECT_EQ(XCatalog::loadJsonText(c.text, "cat.json", catalog, error), -1) << c.text;
        EXPECT_EQ(error, c.error);
    }
}

// A catalog too large for the memory left: the allocation that fails is an
// error like any other. (The text is one long name, so that the document the
// JSON library builds has few values and freeing it needs no large block.)
TEST(XCatalogLoadTest, RunningOutOfMemoryIsAnError) {
    const std::string text =
        R"j({"ports": [{"name": ")j" + std::string(1 << 20, 'N') + R"j(", "type": "int"}]})j";
    XCatalog catalog;
    std::string error;
    int status = 0;
    xalloccount::failFrom = 256 * 1024;
    EXPECT_NO_THROW(status = XCatalog::loadJsonText(text, "cat.json", catalog, error));
    xalloccount::failFrom = 0;
    EXPECT_EQ(status, -1);
    EXPECT_EQ(error, "cat.json:1:1: error: not enough memory");
}

std::string nested(const char* key, int depth) {
    return std::string("{\"") + key + "\": " + std::string(depth, '[') + std::string(depth, ']') + "}";
}

size_t peakToRefuse(const std::string& text, const std::string& expected) {
    return xalloccount::measure([&] {
               XCatalog catalog;
               std::string error;
               EXPECT_EQ(XCatalog::loadJsonText(text, "cat.json", catalog, error), -1);
               EXPECT_EQ(error.substr(0, expected.size()), expected);
           })
        .peak;
}

TEST(XCatalogLoadTest, DeepNestingCostsLinearMemory) {
    for (const char* key : {"ports", "unknown"}) {
        const std::string where = std::string("cat.json:1:") + (key[0] == 'p' ? "12" : "2");
        const size_t small = peakToRefuse(nested(key, 20000), where);
        const size_t large = peakToRefuse(nested(key, 80000), where);
        EXPECT_LT(static_cast<double>(large) / small, kLinearRatio) << small << " " << large;
    }
}

std::string ports(int count, bool sameName) {
    std::string text = R"j({"ports": [)j";
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        text += (i ? ",\n" : "") + std::string(R"j({"name": ")j") + (sameName ? "P" : "P" + n) +
                R"j(", "qualifiers": ["Q)j" + n + R"j("], "type": "string(10)"})j";
    }
    return text + "]}";
}

// Many ports of one name, told apart by their qualifiers, load in linear
// time, and loading one never holds more than a small multiple of its text.
TEST(XCatalogLoadTest, ManyPortsLoadInProportionToTheText) {
    for (bool sameName : {true, false}) {
        const std::string text = ports(15000, sameName);
        auto catalog = std::make_unique<XCatalog>();
        const size_t peak = xalloccount::measure([&] {
                                std::string error;
                                ASSERT_EQ(XCatalog::loadJsonText(text, "cat.json", *catalog, error), 0)
                                    << error;
                            }).peak;
        EXPECT_LT(peak, 10 * text.size()) << peak << " for " << text.size();
    }
    std::string error;
    XCatalog catalog;
    EXPECT_EQ(XCatalog::loadJsonText(ports(3, true) + " ", "cat.json", catalog, error), 0);
    const std::string twice = R"j({"ports": [{"name": "p", "qualifiers": ["q"], "type": "int"},
      {"name": "P", "qualifiers": ["Q"], "type": "int"}]})j";
    EXPECT_EQ(XCatalog::loadJsonText(twice, "cat.json", catalog, error), -1);
    EXPECT_NE(error.find("declared twice"), std::string::npos) << error;
}

}  // namespace
