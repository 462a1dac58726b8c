// Runs the built xexpr program as a separate process in a scratch directory
// of its own and collects its exit status, standard output and standard
// error. The test program defines XEXPR_PROGRAM (not built: the tests skip).
#pragma once

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

#ifndef XEXPR_PROGRAM
#define XEXPR_PROGRAM ""
#endif

namespace xexprrun {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using nlohmann::json;

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

struct Finished {
    int status = -1;
    std::string out, err;

    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) result.push_back(line);
        return result;
    }
    std::vector<json> objects() const {
        std::vector<json> result;
        for (const std::string& line : lines()) result.push_back(json::parse(line));
        return result;
    }
};

inline std::string quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Per test: a scratch directory, files written into it, and runs of the
// program whose streams are captured there. The word CAT in the arguments
// stands for the file `catalog` (when a test wrote one).
class Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string(XEXPR_PROGRAM).empty()) GTEST_SKIP() << "xexpr was not built";
        // The process id keeps builds that run the same test at once apart.
        dir = fs::path(::testing::TempDir()) / ("xexpr_" + std::to_string(getpid()) + "_" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "work");
    }
    void TearDown() override { if (!dir.empty()) fs::remove_all(dir); }

    std::string write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
        return (dir / name).string();
    }

    // Standard input comes from `input` (a text; none: /dev/null), unless
    // `redirect` names the shell's own redirections; `shell` runs first in the
    // same shell (limits, traps).
    Finished run(Args args, const std::string* input = nullptr, const std::string& shell = "",
                 const std::string& redirect = "") {
        std::string command = shell + quote(XEXPR_PROGRAM);
        for (std::string& arg : args) command += " " + quote(arg == "CAT" ? catalog : arg);
        command += " 2>" + quote((dir / "stderr").string()) + " " +
                   (redirect.empty() ? ">" + quote((dir / "stdout").string()) : redirect);
        if (redirect.find('<') == std::string::npos)
            command += " <" + (input ? quote(write("stdin", *input)) : std::string("/dev/null"));
        fs::remove(dir / "stdout");
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(dir / "stdout"), readFile(dir / "stderr")};
    }

    fs::path dir;
    std::string catalog;
};

// For each line of an examples file (from 1): whether a "# mistake:"
// comment marks the expression that follows it.
inline std::vector<bool> markedMistakes(const std::string& path) {
    std::vector<bool> mistakes{false};
    std::ifstream in(path);
    bool marked = false;
    for (std::string line; std::getline(in, line);) {
        const bool comment = startsWith(line, "#");
        marked = marked || startsWith(line, "# mistake:");
        mistakes.push_back(!comment && !line.empty() && marked);
        if (!comment) marked = false;
    }
    return mistakes;
}

}  // namespace xexprrun
