// Loading a catalog never lets an exception out and never costs more than
// linear space and time: memory running out at any allocation is a
// FILE:LINE:COLUMN error like a number out of range (in xcatalog_test's
// table), and deep or large catalogs cost bytes in proportion to their text.
#include <gtest/gtest.h>

#include <string>

#include "qvcmnexpr/xcatalog.h"
#include "xalloccount.h"

namespace {

int load(const std::string& text, std::string& error) {
    XCatalog catalog;
    return XCatalog::loadJsonText(text, "cat.json", catalog, error);
}

// A catalog too large for the memory left: the allocation that fails is an
// error like any other. (The text is one long name, so that the document the
// JSON library builds has few values and freeing it needs no large block.)
TEST(XCatalogLoadTest, RunningOutOfMemoryIsAnError) {
    const std::string text = R"j({"ports": [{"name": ")j" + std::string(1 << 20, 'N') + R"j(", "type": "int"}]})j";
    std::string error;
    int status = 0;
    xalloccount::failFrom = 256 * 1024;
    EXPECT_NO_THROW(status = load(text, error));
    xalloccount::failFrom = 0;
    EXPECT_TRUE(status == -1 && error == "cat.json:1:1: error: not enough memory") << error;
}

TEST(XCatalogLoadTest, DeepNestingCostsLinearMemory) {
    for (std::string key : {"ports", "unknown"}) {
        const std::string where = "cat.json:1:" + std::string(key == "ports" ? "12" : "2");
        size_t peak[2];
        for (int depth : {20000, 80000}) {
            const std::string text = "{\"" + key + "\": " + std::string(depth, '[') + std::string(depth, ']') + "}";
            peak[depth > 20000] = xalloccount::measure([&] {
                std::string error;
                EXPECT_TRUE(load(text, error) == -1 && error.substr(0, where.size()) == where) << error;
            }).peak;
        }
        EXPECT_LT(static_cast<double>(peak[1]) / peak[0], 5.0) << peak[0] << " " << peak[1];  // quadratic: about 16
    }
}

// Many ports of one name, told apart by their qualifiers, load in linear
// time, and loading one never holds more than a small multiple of its text.
TEST(XCatalogLoadTest, ManyPortsLoadInProportionToTheText) {
    for (bool sameName : {true, false}) {
        std::string text = R"j({"ports": [)j";
        for (int i = 0; i < 15000; ++i) {
            const std::string n = std::to_string(i), name = sameName ? "P" : "P" + n;
            text += std::string(i ? ",\n" : "") + R"j({"name": ")j" + name + R"j(", "qualifiers": ["Q)j" + n +
                    R"j("], "type": "string(10)"})j";
        }
        text += "]}";
        std::string error;
        const size_t peak = xalloccount::measure([&] { EXPECT_EQ(load(text, error), 0) << error; }).peak;
        EXPECT_LT(peak, 10 * text.size()) << peak << " for " << text.size();
    }
}

}  // namespace
