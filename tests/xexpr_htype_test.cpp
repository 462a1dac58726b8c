// xexpr check on the shipped hierarchical examples: every expression that a
// "# mistake:" comment does not mark validates, every marked one fails, and
// hierarchical results are named as a catalog writes their types.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <unistd.h>
#include <vector>

#include "xexprrun.h"

#ifndef XEXPR_PROGRAM
#define XEXPR_PROGRAM ""
#endif

namespace {

namespace fs = std::filesystem;

TEST(XexprHTypeTest, HierarchicalExamplesFailExactlyWhereTheirCommentsSaySo) {
    if (std::string(XEXPR_PROGRAM).empty()) GTEST_SKIP() << "xexpr was not built";
    const fs::path scratch = fs::path(::testing::TempDir()) / ("xexpr_htype_" + std::to_string(getpid()));
    fs::create_directories(scratch);
    const std::string dir = std::string(QVCMNEXPR_SOURCE_DIR) + "/examples/";
    const std::string exprs = dir + "customers_expressions.txt";
    std::vector<bool> mistakes{false};  // by line number
    std::ifstream in(exprs);
    bool commentSaysMistake = false;
    for (std::string line; std::getline(in, line);) {
        const bool comment = line.rfind("#", 0) == 0;
        if (line.rfind("# mistake:", 0) == 0) commentSaysMistake = true;
        mistakes.push_back(!comment && !line.empty() && commentSaysMistake);
        if (!comment) commentSaysMistake = false;
    }
    const xexprrun::Finished r = xexprrun::run(
        XEXPR_PROGRAM, {"check", "--json", "--catalog", dir + "customers_catalog.json", "-f", exprs}, scratch);
    EXPECT_EQ(r.status, 1) << r.err;
    size_t invalid = 0;
    std::vector<std::string> types;
    for (const std::string& line : r.lines()) {
        const nlohmann::json object = nlohmann::json::parse(line);
        const size_t number = object.at("line").get<size_t>();
        ASSERT_LT(number, mistakes.size());
        EXPECT_EQ(object.at("valid").get<bool>(), !mistakes[number]) << object.dump();
        invalid += !object.at("valid").get<bool>();
        if (object.contains("result")) types.push_back(object.at("result").value("type", ""));
    }
    EXPECT_GE(invalid, 10u);
    for (const char* name : {"struct Address", "array<struct Address>", "array<int>"}) {
        EXPECT_NE(std::find(types.begin(), types.end(), name), types.end()) << name;
    }
    fs::remove_all(scratch);
}

}  // namespace
