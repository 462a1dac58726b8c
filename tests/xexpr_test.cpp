// The xexpr program end to end: it is run as a separate process on files
// written here and on the shipped examples, and its exit status, its
// FILE:LINE: prefixed lines and its JSON Lines output are checked.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "xexprrun.h"

// Built without the program (tools switched off), the tests skip.
#ifndef XEXPR_PROGRAM
#define XEXPR_PROGRAM ""
#endif

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using nlohmann::json;

struct Outcome : xexprrun::Finished {
    std::vector<json> objects() const {
        std::vector<json> result;
        for (const std::string& line : lines()) result.push_back(json::parse(line));
        return result;
    }
};

using xexprrun::readFile;

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// Each output line starts with its prefix, and there are no other lines.
void expectLinePrefixes(const Outcome& r, const std::vector<std::string>& prefixes) {
    const auto lines = r.lines();
    ASSERT_EQ(lines.size(), prefixes.size()) << r.out << r.err;
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_TRUE(startsWith(lines[i], prefixes[i])) << lines[i];
}

std::string example(const char* name) { return std::string(QVCMNEXPR_SOURCE_DIR) + "/examples/" + name; }

class XexprTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string(XEXPR_PROGRAM).empty()) GTEST_SKIP() << "xexpr was not built";
        // The process id keeps builds that run the same test at once apart.
        m_dir = fs::path(::testing::TempDir()) /
                ("xexpr_test_" + std::to_string(getpid()) + "_" +
                 std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        if (!m_dir.empty()) fs::remove_all(m_dir);
    }

    std::string write(const std::string& name, const std::string& text) {
        fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    // Runs the program with `args`; `input` (when given) becomes its standard input.
    Outcome run(const Args& args, const std::string* input = nullptr) {
        const xexprrun::Finished r =
            xexprrun::run(XEXPR_PROGRAM, args, m_dir, input ? write("stdin", *input) : "");
        Outcome result;
        static_cast<xexprrun::Finished&>(result) = r;
        return result;
    }

    fs::path m_dir;
};

// ================================================================ command line

TEST_F(XexprTest, HelpForTheProgramAndEveryCommand) {
    Outcome program = run({"--help"});
    EXPECT_EQ(program.status, 0);
    EXPECT_NE(program.out.find("parse"), std::string::npos);
    for (const Args& args : {Args{"parse", "--help"}, Args{"help", "parse"}, Args{"parse", "-h"}}) {
        Outcome help = run(args);
        EXPECT_EQ(help.status, 0);
        for (const char* words : {"--catalog FILE", "--decimal-max 18|28", "-h, --help", "Exit status"}) {
            EXPECT_NE(help.out.find(words), std::string::npos) << help.out;
        }
    }
}

TEST_F(XexprTest, UsageErrorsExitWithTwo) {
    const Args cases[] = {
        {},
        {"frobnicate"},
        {"parse"},
        {"parse", "--bogus", "1"},
        {"parse", "-f"},
        {"parse", "--decimal-max", "38", "1"},
        {"parse", "--high-precision=maybe", "1"},
        {"parse", "--workflow", "--transformation", "1"},
        {"parse", "--json=yes", "1"},
    };
    for (const Args& args : cases) {
        Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "(none)" : args[0] + " " + (args.size() > 1 ? args[1] : ""));
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_NE(r.err.find("error:"), std::string::npos) << r.err;
    }
}

// ================================================================ input

// Blank and comment lines are skipped but counted; a CR before the newline
// is no part of the expression; after -- even an option's spelling is an
// expression (and a bad one).
TEST_F(XexprTest, ArgumentsFilesAndStandardInputKeepLineNumbers) {
    Outcome args = run({"parse", "1 + 2", "--", "-1", "--json"});
    EXPECT_EQ(args.status, 0) << args.out << args.err;
    expectLinePrefixes(args, {"<arg>:1: ok", "<arg>:2: ok", "<arg>:3: "});
    const std::string file =
        write("exprs.txt", "# header comment\n1 + 2\n\n   # indented comment\n'a' || 'b'\r\n  \t \n3 * (4 +\n");
    Outcome r = run({"parse", "-f", file});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    expectLinePrefixes(r, {file + ":2: ok", file + ":5: ok", file + ":7: ERROR: "});
    const std::string input = "1\n# skipped\n(2\n";
    expectLinePrefixes(run({"parse", "-"}, &input), {"<stdin>:1: ok", "<stdin>:3: ERROR: "});
    const std::string good = write("good.txt", "1\n2 + 3\r\n# done\n");
    Outcome valid = run({"parse", "--json", "-f", good});
    EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
    const auto objects = valid.objects();
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[1].at("text"), "2 + 3");
}

TEST_F(XexprTest, UnreadableFileIsAnInputErrorButOthersAreStillRead) {
    std::string good = write("good.txt", "1\n");
    std::string missing = (m_dir / "missing.txt").string();
    Outcome r = run({"parse", "-f", missing, "-f", good, "-f", m_dir.string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(missing + ": error: cannot read"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(m_dir.string() + ": error: cannot read"), std::string::npos) << r.err;
    expectLinePrefixes(r, {good + ":1: ok"});
}

TEST_F(XexprTest, HundredThousandLinesStream) {
    std::string path = (m_dir / "big.txt").string();
    {
        std::ofstream out(path);
        for (int i = 1; i <= 100000; ++i) {
            if (i % 1000 == 0) {
                out << "# block " << i << "\n";
            } else {
                out << (i == 77777 ? "(" : "") << i << " + " << (i % 97) << "\n";
            }
        }
    }
    Outcome r = run({"parse", "--json", "-f", path});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err.substr(0, 200);  // no progress line when stderr is no terminal
    size_t count = 0, lastLine = 0;
    std::vector<size_t> invalid;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line); ++count) {
        json object = json::parse(line);
        lastLine = object.at("line").get<size_t>();
        if (!object.at("valid").get<bool>()) invalid.push_back(lastLine);
    }
    EXPECT_EQ(count, 99900u);
    EXPECT_EQ(invalid, std::vector<size_t>{77777});
    EXPECT_EQ(lastLine, 99999u);
}

// ================================================================ JSON Lines

TEST_F(XexprTest, JsonLinesCarryTextStatusMessagesAndPositions) {
    std::string file = write("mixed.txt", "1 + 2\n'caf\xC3\xA9' || 'x\n\n3 ;\n'\xFF\xFE'\n");
    Outcome r = run({"parse", "--json", "-f", file});
    EXPECT_EQ(r.status, 1);
    const auto objects = r.objects();  // text that is not UTF-8 still gives valid JSON
    ASSERT_EQ(objects.size(), 4u) << r.out;
    EXPECT_EQ(objects[0].at("source"), file);
    EXPECT_EQ(objects[0].at("line"), 1);
    EXPECT_EQ(objects[0].at("text"), "1 + 2");
    EXPECT_EQ(objects[0].at("status"), 0);
    EXPECT_EQ(objects[0].at("valid"), true);
    EXPECT_TRUE(objects[0].at("errors").empty());
    EXPECT_TRUE(objects[0].at("result").is_object());
    EXPECT_FALSE(objects[0].contains("errorBegin"));
    EXPECT_EQ(objects[1].at("line"), 2);
    EXPECT_EQ(objects[1].at("text"), "'caf\xC3\xA9' || 'x");
    EXPECT_EQ(objects[1].at("valid"), false);
    EXPECT_NE(objects[1].at("status"), 0);
    ASSERT_FALSE(objects[1].at("errors").empty());
    EXPECT_TRUE(startsWith(objects[1].at("errors")[0].get<std::string>(), "ERROR: "));
    // Positions count UTF-16 units: the text is 12 units long (13 bytes).
    for (const json& object : {objects[1], objects[2]}) {
        size_t begin = object.at("errorBegin").get<size_t>();
        size_t end = object.at("errorEnd").get<size_t>();
        EXPECT_LE(begin, end);
        EXPECT_LE(end, object.at("line") == 2 ? 12u : 3u);
    }
    EXPECT_GE(objects[1].at("errorBegin").get<size_t>(), 10u);
    EXPECT_EQ(objects[2].at("line"), 4);
    EXPECT_EQ(objects[2].at("valid"), false);
}

// ================================================================ tokens and tree

TEST_F(XexprTest, TokensListNamesPositionsAndValues) {
    Outcome text = run({"tokens", "IIF(A, 'x')"});
    EXPECT_EQ(text.status, 0) << text.err;
    auto lines = text.lines();
    ASSERT_EQ(lines.size(), 7u) << text.out;
    EXPECT_EQ(lines[0], "<arg>:1: 6 tokens");
    EXPECT_NE(lines[1].find("0-3"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("XFUNC"), std::string::npos);
    EXPECT_NE(lines[5].find("CONST_STR"), std::string::npos) << lines[5];
    EXPECT_NE(lines[5].find("\"x\""), std::string::npos) << lines[5];
    Outcome bad = run({"tokens", "--json", "a ; b"});
    EXPECT_EQ(bad.status, 1);
    ASSERT_EQ(bad.lines().size(), 1u);
    json object = json::parse(bad.lines()[0]);
    EXPECT_EQ(object.at("valid"), false);
    ASSERT_EQ(object.at("tokens").size(), 3u);
    EXPECT_EQ(object.at("tokens")[1].at("name"), "LEXERROR");
    EXPECT_EQ(object.at("tokens")[1].at("begin"), 2);
    EXPECT_EQ(object.at("errorBegin"), 2);
}

TEST_F(XexprTest, TreeIsIndentedAndNestedInJson) {
    Outcome text = run({"tree", "1 + 2 * 3"});
    EXPECT_EQ(text.status, 0) << text.err;
    auto lines = text.lines();
    ASSERT_EQ(lines.size(), 6u) << text.out;
    EXPECT_TRUE(startsWith(lines[1], "  PLUS [0,9)")) << lines[1];
    EXPECT_TRUE(startsWith(lines[2], "    CONST [0,1) \"1\"")) << lines[2];
    EXPECT_TRUE(startsWith(lines[3], "    MULTIPLY [4,9)")) << lines[3];
    EXPECT_TRUE(startsWith(lines[4], "      CONST [4,5)")) << lines[4];
    Outcome nested = run({"tree", "--json", "1 + 2 * 3", "1 +"});
    EXPECT_EQ(nested.status, 1);
    const auto objects = nested.objects();
    ASSERT_EQ(objects.size(), 2u);
    const json& tree = objects[0].at("tree");
    EXPECT_EQ(tree.at("kind"), "PLUS");
    ASSERT_EQ(tree.at("children").size(), 2u);
    EXPECT_EQ(tree.at("children")[1].at("kind"), "MULTIPLY");
    EXPECT_EQ(tree.at("children")[1].at("children")[1].at("text"), "3");
    EXPECT_FALSE(objects[1].contains("tree"));
    EXPECT_FALSE(objects[1].at("errors").empty());
}

// ================================================================ catalogs

TEST_F(XexprTest, MalformedCatalogIsRefusedWithItsPosition) {
    std::string catalog = write("bad.json", "{\n  \"ports\": [ {\"name\": \"A\", \"type\": \"int(4)\"} ]\n}\n");
    Outcome r = run({"parse", "--catalog", catalog, "1"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(startsWith(r.err, catalog + ":2:36: error: ports[0].type: ")) << r.err;
    Outcome missing = run({"parse", "--catalog", (m_dir / "none.json").string(), "1"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot read the catalog file"), std::string::npos) << missing.err;
}

TEST_F(XexprTest, CatalogNamesAreRecognised) {
    std::string catalog = write("cat.json", R"json({
      "ports": [ {"name": "QTY", "type": "int"} ],
      "mappingVariables": [ {"name": "$$LIMIT", "type": "int"} ],
      "workflowVariables": [ {"name": "$s1.Status", "type": "int", "predefined": true} ],
      "functions": [ {"name": "TWICE", "arguments": ["int"], "result": "int"} ]
    })json");
    const std::pair<Args, int> cases[] = {
        {{"parse", "--catalog", catalog, "QTY * $$LIMIT"}, 0},
        {{"parse", "QTY * $$LIMIT"}, 1},
        {{"parse", "--catalog", catalog, "--workflow", "$s1.Status = SUCCEEDED"}, 0},
        {{"parse", "--catalog", catalog, "$s1.Status = SUCCEEDED"}, 1},
    };
    for (const auto& [args, status] : cases) EXPECT_EQ(run(args).status, status) << args.back();
}

TEST_F(XexprTest, ShippedExamplesRun) {
    std::string catalog = example("orders_catalog.json");
    std::string exprs = example("orders_expressions.txt");
    Outcome text = run({"parse", "--catalog", catalog, "-f", exprs});
    // The examples include deliberate mistakes.
    EXPECT_EQ(text.status, 1) << text.err;
    EXPECT_TRUE(text.err.empty()) << text.err;
    size_t expressions = 0;
    std::ifstream in(exprs);
    for (std::string line; std::getline(in, line);) {
        expressions += line.find_first_not_of(" \t") != std::string::npos && line[0] != '#';
    }
    EXPECT_GE(expressions, 30u);
    for (const std::string& line : text.lines()) EXPECT_TRUE(startsWith(line, exprs + ":")) << line;
    Outcome asJson = run({"parse", "--json", "--catalog", catalog, "-f", exprs});
    EXPECT_EQ(asJson.status, 1);
    const auto objects = asJson.objects();
    ASSERT_EQ(objects.size(), expressions);
    size_t invalid = 0;
    for (const json& object : objects) invalid += !object.at("valid").get<bool>();
    EXPECT_GE(invalid, 3u);
}

}  // namespace
