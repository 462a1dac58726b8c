// The xexpr program end to end: it is run as a separate process on files
// written here, and its exit status, its FILE:LINE: prefixed lines and its
// JSON Lines output are checked.
#include "xexprrun.h"

namespace {

using namespace xexprrun;
using XexprTest = Fixture;

// Each output line starts with its prefix, and there are no other lines.
void expectLinePrefixes(const Finished& r, const std::vector<std::string>& prefixes) {
    const auto lines = r.lines();
    ASSERT_EQ(lines.size(), prefixes.size()) << r.out << r.err;
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_TRUE(startsWith(lines[i], prefixes[i])) << lines[i];
}

TEST_F(XexprTest, HelpForTheProgramAndEveryCommand) {
    const Finished program = run({"--help"});
    EXPECT_EQ(program.status, 0);
    EXPECT_NE(program.out.find("parse"), std::string::npos);
    for (const Args& args : {Args{"parse", "--help"}, Args{"help", "parse"}, Args{"parse", "-h"}}) {
        const Finished help = run(args);
        EXPECT_EQ(help.status, 0);
        for (const char* words : {"--catalog FILE", "--decimal-max 18|28", "-h, --help", "Exit status"})
            EXPECT_NE(help.out.find(words), std::string::npos) << help.out;
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
        const Finished r = run(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "(none)" : args.back());
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_NE(r.err.find("error:"), std::string::npos) << r.err;
    }
}

// Blank and comment lines are skipped but counted; a CR before the newline
// is no part of the expression; after -- even an option's spelling is an
// expression (and a bad one).
TEST_F(XexprTest, ArgumentsFilesAndStandardInputKeepLineNumbers) {
    const Finished args = run({"parse", "1 + 2", "--", "-1", "--json"});
    EXPECT_EQ(args.status, 0) << args.out << args.err;
    expectLinePrefixes(args, {"<arg>:1: ok", "<arg>:2: ok", "<arg>:3: "});
    const std::string file =
        write("exprs.txt", "# header comment\n1 + 2\n\n   # indented comment\n'a' || 'b'\r\n  \t \n3 * (4 +\n");
    const Finished r = run({"parse", "-f", file});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    expectLinePrefixes(r, {file + ":2: ok", file + ":5: ok", file + ":7: ERROR: "});
    const std::string input = "1\n# skipped\n(2\n";
    expectLinePrefixes(run({"parse", "-"}, &input), {"<stdin>:1: ok", "<stdin>:3: ERROR: "});
    const Finished valid = run({"parse", "--json", "-f", write("good.txt", "1\n2 + 3\r\n# done\n")});
    EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
    const auto objects = valid.objects();
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[1].at("text"), "2 + 3");
}

TEST_F(XexprTest, UnreadableFileIsAnInputErrorButOthersAreStillRead) {
    const std::string good = write("good.txt", "1\n");
    const std::string missing = (dir / "missing.txt").string();
    const Finished r = run({"parse", "-f", missing, "-f", good, "-f", dir.string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(missing + ": error: cannot read"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(dir.string() + ": error: cannot read"), std::string::npos) << r.err;
    expectLinePrefixes(r, {good + ":1: ok"});
}

TEST_F(XexprTest, HundredThousandLinesStream) {
    std::ostringstream text;
    for (int i = 1; i <= 100000; ++i) {
        if (i % 1000 == 0) text << "# block " << i << "\n";
        else text << (i == 77777 ? "(" : "") << i << " + " << (i % 97) << "\n";
    }
    const Finished r = run({"parse", "--json", "-f", write("big.txt", text.str())});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err.substr(0, 200);  // no progress line when stderr is no terminal
    const auto objects = r.objects();
    std::vector<size_t> invalid;
    for (const json& object : objects)
        if (!object.at("valid").get<bool>()) invalid.push_back(object.at("line").get<size_t>());
    ASSERT_EQ(objects.size(), 99900u);
    EXPECT_EQ(invalid, std::vector<size_t>{77777});
    EXPECT_EQ(objects.back().at("line"), 99999u);
}

TEST_F(XexprTest, JsonLinesCarryTextStatusMessagesAndPositions) {
    const std::string file = write("mixed.txt", "1 + 2\n'caf\xC3\xA9' || 'x\n\n3 ;\n'\xFF\xFE'\n");
    const Finished r = run({"parse", "--json", "-f", file});
    EXPECT_EQ(r.status, 1);
    const auto objects = r.objects();  // text that is not UTF-8 still gives valid JSON
    ASSERT_EQ(objects.size(), 4u) << r.out;
    EXPECT_EQ(objects[0].at("source"), file);
    EXPECT_EQ(objects[0].at("text"), "1 + 2");
    EXPECT_EQ(objects[0].at("status"), 0);
    EXPECT_EQ(objects[0].at("valid"), true);
    EXPECT_TRUE(objects[0].at("errors").empty());
    EXPECT_TRUE(objects[0].at("result").is_object());
    EXPECT_FALSE(objects[0].contains("errorBegin"));
    EXPECT_EQ(objects[1].at("text"), "'caf\xC3\xA9' || 'x");
    EXPECT_EQ(objects[1].at("valid"), false);
    EXPECT_NE(objects[1].at("status"), 0);
    ASSERT_FALSE(objects[1].at("errors").empty());
    EXPECT_TRUE(startsWith(objects[1].at("errors")[0].get<std::string>(), "ERROR: "));
    // Positions count UTF-16 units: the text is 12 units long (13 bytes).
    EXPECT_GE(objects[1].at("errorBegin").get<size_t>(), 10u);
    EXPECT_LE(objects[1].at("errorEnd").get<size_t>(), 12u);
    EXPECT_LE(objects[1].at("errorBegin").get<size_t>(), objects[1].at("errorEnd").get<size_t>());
    EXPECT_EQ(objects[2].at("line"), 4);
    EXPECT_LE(objects[2].at("errorEnd").get<size_t>(), 3u);
}

TEST_F(XexprTest, TokensListNamesPositionsAndValues) {
    const Finished text = run({"tokens", "IIF(A, 'x')"});
    EXPECT_EQ(text.status, 0) << text.err;
    const auto lines = text.lines();
    ASSERT_EQ(lines.size(), 7u) << text.out;
    EXPECT_EQ(lines[0], "<arg>:1: 6 tokens");
    EXPECT_NE(lines[1].find("0-3"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("XFUNC"), std::string::npos);
    EXPECT_NE(lines[5].find("CONST_STR"), std::string::npos) << lines[5];
    EXPECT_NE(lines[5].find("\"x\""), std::string::npos) << lines[5];
    const Finished bad = run({"tokens", "--json", "a ; b"});
    EXPECT_EQ(bad.status, 1);
    ASSERT_EQ(bad.objects().size(), 1u);
    const json object = bad.objects()[0];
    EXPECT_EQ(object.at("valid"), false);
    ASSERT_EQ(object.at("tokens").size(), 3u);
    EXPECT_EQ(object.at("tokens")[1].at("name"), "LEXERROR");
    EXPECT_EQ(object.at("tokens")[1].at("begin"), 2);
    EXPECT_EQ(object.at("errorBegin"), 2);
}

TEST_F(XexprTest, TreeIsIndentedAndNestedInJson) {
    const Finished text = run({"tree", "1 + 2 * 3"});
    EXPECT_EQ(text.status, 0) << text.err;
    const auto lines = text.lines();
    ASSERT_EQ(lines.size(), 6u) << text.out;
    EXPECT_TRUE(startsWith(lines[1], "  PLUS [0,9)")) << lines[1];
    EXPECT_TRUE(startsWith(lines[2], "    CONST [0,1) \"1\"")) << lines[2];
    EXPECT_TRUE(startsWith(lines[3], "    MULTIPLY [4,9)")) << lines[3];
    EXPECT_TRUE(startsWith(lines[4], "      CONST [4,5)")) << lines[4];
    const Finished nested = run({"tree", "--json", "1 + 2 * 3", "1 +"});
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

TEST_F(XexprTest, MalformedCatalogIsRefusedWithItsPosition) {
    const std::string bad = write("bad.json", "{\n  \"ports\": [ {\"name\": \"A\", \"type\": \"int(4)\"} ]\n}\n");
    const Finished r = run({"parse", "--catalog", bad, "1"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(startsWith(r.err, bad + ":2:36: error: ports[0].type: ")) << r.err;
    const Finished missing = run({"parse", "--catalog", (dir / "none.json").string(), "1"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot read the catalog file"), std::string::npos) << missing.err;
}

TEST_F(XexprTest, CatalogNamesAreRecognised) {
    catalog = write("cat.json", R"json({
      "ports": [ {"name": "QTY", "type": "int"} ],
      "mappingVariables": [ {"name": "$$LIMIT", "type": "int"} ],
      "workflowVariables": [ {"name": "$s1.Status", "type": "int", "predefined": true} ]
    })json");
    const std::pair<Args, int> cases[] = {
        {{"parse", "--catalog", "CAT", "QTY * $$LIMIT"}, 0},
        {{"parse", "QTY * $$LIMIT"}, 1},
        {{"parse", "--catalog", "CAT", "--workflow", "$s1.Status = SUCCEEDED"}, 0},
        {{"parse", "--catalog", "CAT", "$s1.Status = SUCCEEDED"}, 1},
    };
    for (const auto& [args, status] : cases) EXPECT_EQ(run(args).status, status) << args.back();
}

}  // namespace
