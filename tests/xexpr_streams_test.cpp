// xexpr loses nothing silently: a NUL inside a line, output that cannot be
// written and a closed standard input are failures, and a tree as deep as
// its expression is long is written whole, in both forms, with output that
// grows linearly with the tree.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#ifndef XEXPR_PROGRAM
#define XEXPR_PROGRAM ""
#endif

namespace {

struct Finished {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class XexprStreamsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string(XEXPR_PROGRAM).empty()) GTEST_SKIP() << "xexpr was not built";
        m_base = ::testing::TempDir() + "xexpr_streams_" + std::to_string(getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }
    void TearDown() override {
        for (const char* suffix : {".in", ".out", ".err"}) std::remove((m_base + suffix).c_str());
    }

    // Runs `xexpr ARGS` with `input` as standard input; `redirect` replaces
    // the standard output's redirection (for example "> /dev/full").
    Finished run(const std::string& args, const std::string& input, const std::string& redirect = "") {
        std::ofstream(m_base + ".in", std::ios::binary) << input;
        std::string command = std::string("'") + XEXPR_PROGRAM + "' " + args + " <'" + m_base +
                              ".in' 2>'" + m_base + ".err' " +
                              (redirect.empty() ? ">'" + m_base + ".out'" : redirect);
        return finish(command);
    }
    Finished runRaw(const std::string& shellTail) {
        return finish(std::string("'") + XEXPR_PROGRAM + "' " + shellTail + " 2>'" + m_base +
                      ".err' >'" + m_base + ".out'");
    }

private:
    Finished finish(const std::string& command) {
        int raw = std::system(command.c_str());
        Finished r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = readAll(m_base + ".out");
        r.err = readAll(m_base + ".err");
        return r;
    }
    std::string m_base;
};

TEST_F(XexprStreamsTest, NulInsideALineIsAnErrorAtItsPosition) {
    Finished text = run("parse -", std::string("A\0B + 1\n1 + 1\n", 14));
    EXPECT_EQ(text.status, 1) << text.out;
    EXPECT_EQ(text.out.rfind("<stdin>:1: ERROR: at 1: ", 0), 0u) << text.out;
    EXPECT_NE(text.out.find("<stdin>:2: ok"), std::string::npos) << text.out;

    Finished json = run("tokens --json -", std::string("\xC3\xA9\0x\n", 5));
    EXPECT_EQ(json.status, 1);
    nlohmann::json object = nlohmann::json::parse(json.out);
    EXPECT_FALSE(object.at("valid").get<bool>());
    EXPECT_EQ(object.at("errorBegin"), 1);  // UTF-16 units before the NUL
}

TEST_F(XexprStreamsTest, OutputThatCannotBeWrittenExitsWithAMessage) {
    for (const char* args : {"parse 1", "tree --json 1+2", "--help", "parse -"}) {
        Finished r = run(args, "1\n", "> /dev/full");
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("cannot write the output"), std::string::npos) << args << r.err;
    }
}

TEST_F(XexprStreamsTest, ClosedStandardInputIsNotAnEmptyOne) {
    Finished closed = runRaw("parse - <&-");
    EXPECT_EQ(closed.status, 2);
    EXPECT_NE(closed.err.find("<stdin>: error: "), std::string::npos) << closed.err;
    Finished empty = runRaw("parse - </dev/null");
    EXPECT_EQ(empty.status, 0) << empty.err;
}

std::string chain(int operands) {
    std::string text = "1";
    for (int i = 1; i < operands; ++i) text += "+1";
    return text + "\n";
}

TEST_F(XexprStreamsTest, DeepTreesAreWrittenInLinearSpace) {
    // Deeper than the call stack of a recursive walk allows.
    const int operands = 25000;
    Finished json = run("tree --json -", chain(operands));
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json object = nlohmann::json::parse(json.out);
    int depth = 0;
    for (const nlohmann::json* node = &object.at("tree"); node->contains("children");
         node = &node->at("children")[0])
        ++depth;
    EXPECT_EQ(depth, operands - 1);

    Finished small = run("tree -", chain(operands / 4));
    Finished large = run("tree -", chain(operands));
    ASSERT_EQ(large.status, 0) << large.err;
    EXPECT_LT(static_cast<double>(large.out.size()) / small.out.size(), 5.0);
    size_t longest = 0;
    std::istringstream lines(large.out);
    for (std::string line; std::getline(lines, line);) longest = std::max(longest, line.size());
    EXPECT_LT(longest, 300u);  // the deepest lines carry every validated attribute
}

}  // namespace
