// xexpr check names what every call in a valid expression declares: the
// called object's return value, or its output argument's type, or that it
// declares none (the call's own node may since have been retyped by its
// parent, so only this line tells the reader).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "xexprrun.h"

#ifndef XEXPR_PROGRAM
#define XEXPR_PROGRAM ""
#endif

namespace {

namespace fs = std::filesystem;

constexpr const char* kCatalog = R"json({
  "ports": [ {"name": "QTY", "type": "int"} ],
  "lookups": [ {"name": "LKP_RANK", "arguments": ["int"], "result": "bigint"} ],
  "storedProcedures": [ {"name": "SP_LIMIT", "arguments": ["int", "float"]} ],
  "externalProcedures": [ {"name": "EXT_LOG", "arguments": ["int"]} ]
})json";

TEST(XexprCallsTest, CheckPrintsEachCallsDeclaredResult) {
    if (std::string(XEXPR_PROGRAM).empty()) GTEST_SKIP() << "xexpr was not built";
    const fs::path dir = fs::path(::testing::TempDir()) / ("xexpr_calls_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "catalog.json") << kCatalog;
    struct Row {
        const char* text;
        std::vector<std::string> lines;  // the call lines, in this order
    };
    const Row kRows[] = {
        {"QTY + 1", {}},
        {":LKP.LKP_RANK(QTY)", {"call :LKP.LKP_RANK declares bigint"}},
        {"SP_LIMIT(QTY, PROC_RESULT) + :LKP.LKP_RANK(1)",
         {"call :SP.SP_LIMIT declares float", "call :LKP.LKP_RANK declares bigint"}},
        {":EXT.EXT_LOG(QTY) + 1", {"call :EXT.EXT_LOG declares no return value"}},
    };
    for (const Row& row : kRows) {
        const xexprrun::Finished r =
            xexprrun::run(XEXPR_PROGRAM, {"check", "--catalog", (dir / "catalog.json").string(), row.text}, dir);
        EXPECT_EQ(r.status, 0) << row.text << "\n" << r.out << r.err;
        std::vector<std::string> calls;
        for (const std::string& line : r.lines()) {
            const size_t at = line.find("call ");
            if (at != std::string::npos && line.rfind("    ", 0) == 0) calls.push_back(line.substr(at));
        }
        EXPECT_EQ(calls, row.lines) << row.text << "\n" << r.out;
    }
    fs::remove_all(dir);
}

}  // namespace
