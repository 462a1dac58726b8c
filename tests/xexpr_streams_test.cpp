// xexpr loses nothing silently: a NUL inside a line, output that cannot be
// written and a closed standard input are failures, and a tree as deep as
// its expression is long is written whole, in both forms, with output that
// grows linearly with the tree.
#include <regex>

#include "xexprrun.h"

namespace {

using namespace xexprrun;
using XexprStreamsTest = Fixture;

TEST_F(XexprStreamsTest, NulInsideALineIsAnErrorAtItsPosition) {
    const std::string nul("A\0B + 1\n1 + 1\n", 14), nulJson("\xC3\xA9\0x\n", 5);
    const Finished text = run({"parse", "-"}, &nul);
    EXPECT_TRUE(text.status == 1 && startsWith(text.out, "<stdin>:1: ERROR: at 1: ") &&
                text.out.find("\n<stdin>:2: ok") != std::string::npos) << text.out;
    const Finished tokens = run({"tokens", "--json", "-"}, &nulJson);
    const json object = json::parse(tokens.out);
    EXPECT_TRUE(tokens.status == 1 && object.at("valid") == false) << tokens.out;
    EXPECT_EQ(object.at("errorBegin"), 1);  // UTF-16 units before the NUL
}

TEST_F(XexprStreamsTest, OutputThatCannotBeWrittenExitsWithAMessage) {
    const std::string one = "1\n";
    for (const Args& args : {Args{"parse", "1"}, Args{"tree", "--json", "1+2"}, Args{"--help"}, Args{"parse", "-"}}) {
        const Finished r = run(args, &one, "", "> /dev/full");
        EXPECT_TRUE(r.status == 2 && r.err.find("cannot write the output") != std::string::npos) << args[0] << r.err;
    }
}

TEST_F(XexprStreamsTest, ClosedStandardInputIsNotAnEmptyOne) {
    const Finished closed = run({"parse", "-"}, nullptr, "", "<&- >/dev/null");
    EXPECT_TRUE(closed.status == 2 && closed.err.find("<stdin>: error: ") != std::string::npos) << closed.err;
    EXPECT_EQ(run({"parse", "-"}).status, 0);
}

std::string chain(int operands) {  // 1+1+...+1
    return "1" + std::regex_replace(std::string(operands - 1, '+'), std::regex("\\+"), "+1") + "\n";
}

TEST_F(XexprStreamsTest, DeepTreesAreWrittenInLinearSpace) {
    // Deeper than the call stack of a recursive walk allows.
    const int operands = 25000;
    const std::string small = chain(operands / 4), large = chain(operands);
    const Finished tree = run({"tree", "--json", "-"}, &large);
    ASSERT_EQ(tree.status, 0) << tree.err;
    const json object = json::parse(tree.out);
    int depth = 0;
    for (const json* node = &object.at("tree"); node->contains("children"); node = &node->at("children")[0]) ++depth;
    EXPECT_EQ(depth, operands - 1);

    const size_t quarter = run({"tree", "-"}, &small).out.size();
    const Finished whole = run({"tree", "-"}, &large);
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_LT(static_cast<double>(whole.out.size()) / quarter, 5.0);
    size_t longest = 0;
    for (const std::string& line : whole.lines()) longest = std::max(longest, line.size());
    EXPECT_LT(longest, 300u);  // the deepest lines carry every validated attribute
}

}  // namespace
