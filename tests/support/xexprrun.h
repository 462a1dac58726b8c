// Runs the built xexpr program as a separate process and collects its exit
// status, standard output and standard error, for the tests of the program.
// The test program must define XEXPR_PROGRAM (empty: the program was not
// built, and the tests skip).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace xexprrun {

struct Finished {
    int status = -1;
    std::string out;
    std::string err;

    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) result.push_back(line);
        return result;
    }
};

inline std::string quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs `program args...` with standard input from `input` (a file; empty:
// /dev/null); `dir` receives the captured streams. `shell` runs first in the
// same shell (limits, traps).
inline Finished run(const std::string& program, const std::vector<std::string>& args,
                    const std::filesystem::path& dir, const std::string& input = "",
                    const std::string& shell = "") {
    std::string command = shell + quote(program);
    for (const std::string& arg : args) command += " " + quote(arg);
    const std::filesystem::path out = dir / "stdout";
    const std::filesystem::path err = dir / "stderr";
    command += " >" + quote(out.string()) + " 2>" + quote(err.string());
    command += " <" + (input.empty() ? std::string("/dev/null") : quote(input));
    const int raw = std::system(command.c_str());
    Finished result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
}

}  // namespace xexprrun
