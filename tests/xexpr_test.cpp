// The xexpr program end to end on what needs files of its own: it is run as
// a separate process on files written here, and its exit status, its
// FILE:LINE: prefixed lines and its JSON Lines output are checked. What each
// command prints for one command line is in xexpr_check_test's table.
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
        EXPECT_TRUE(r.status == 2 && r.out.empty() && r.err.find("error:") != std::string::npos) << r.out << r.err;
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
    const std::string good = write("good.txt", "1\n2 + 3\r\n# done\n");
    const Finished asJson = run({"parse", "--json", "-f", good});
    const auto objects = asJson.objects();
    EXPECT_TRUE(asJson.status == 0 && objects.size() == 2 && objects[1].at("text") == "2 + 3" &&
                objects[1].at("source") == good) << asJson.out << asJson.err;
}

TEST_F(XexprTest, UnreadableFileIsAnInputErrorButOthersAreStillRead) {
    const std::string good = write("good.txt", "1\n"), missing = (dir / "missing.txt").string();
    const Finished r = run({"parse", "-f", missing, "-f", good, "-f", dir.string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.find(missing + ": error: cannot read") != std::string::npos &&
                r.err.find(dir.string() + ": error: cannot read") != std::string::npos) << r.err;
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

TEST_F(XexprTest, MalformedCatalogIsRefusedWithItsPosition) {
    const std::string bad = write("bad.json", "{\n  \"ports\": [ {\"name\": \"A\", \"type\": \"int(4)\"} ]\n}\n");
    const Finished r = run({"parse", "--catalog", bad, "1"});
    EXPECT_TRUE(r.status == 2 && r.out.empty() && startsWith(r.err, bad + ":2:36: error: ports[0].type: ")) << r.err;
}

}  // namespace
