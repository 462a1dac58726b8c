// What xexpr prints per expression: in text form a summary or the library's
// message lines, each prefixed with FILE:LINE: like a compiler's; with
// --json one JSON object per line. Long runs show a progress line on a
// terminal's standard error.
#pragma once

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string_view>
#include <string>
#include <vector>

#include "xexpr_input.h"

namespace xexpr {

// Standard output with every write checked. After the first failure
// (a full disk, a closed pipe) nothing more is written and failed() says so.
class Output {
public:
    void write(std::string_view text);
    void line(std::string_view text) {
        write(text);
        write("\n");
    }
    // Flushes what is buffered; false when this or any earlier write failed.
    bool flush();
    bool failed() const { return m_failed; }
    int error() const { return m_errno; }

private:
    void fail();
    bool m_failed = false;
    int m_errno = 0;
};

// Output too large to hold in memory (a deep tree): written straight to the
// output, in text form as lines, with --json as the value of one member.
using StreamFn = std::function<void(Output& out, bool json)>;

// The outcome of one expression as a command reports it.
struct Outcome {
    int status = 0;  // what the library returned
    bool valid = false;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    size_t errorBegin = 0;  // UTF-16 code units of the text
    size_t errorEnd = 0;
    std::string summary;             // text form of a valid result
    std::vector<std::string> lines;  // further text lines (a token list, a tree)
    nlohmann::ordered_json details = nlohmann::ordered_json::object();  // further JSON members
    // Written after the lines, or with --json as the member `streamedKey`.
    std::string streamedKey;
    StreamFn streamed;
};

// Splits the library's message text into its lines.
std::vector<std::string> messageLines(const std::string& text);

class Progress {
public:
    Progress();
    void update(const Expression& current, size_t done, size_t invalid);
    // Erases the line before other output reaches the same terminal.
    void clear();

private:
    bool m_enabled;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_last;
};

class Reporter {
public:
    explicit Reporter(bool json);
    void report(const Expression& expression, const Outcome& outcome);
    // A problem that is not about one expression (an unreadable file).
    void problem(const std::string& line);
    // Flushes the output; false (after saying why on standard error) when
    // any of it could not be written.
    bool finish();
    bool outputFailed() const { return m_out.failed(); }

    size_t getCount() const { return m_count; }
    size_t getInvalid() const { return m_invalid; }

private:
    void writeText(const Expression& expression, const Outcome& outcome);
    void writeJson(const Expression& expression, const Outcome& outcome);

    Output m_out;
    bool m_json;
    bool m_stdoutIsTerminal;
    size_t m_count = 0;
    size_t m_invalid = 0;
    Progress m_progress;
};

}  // namespace xexpr
