// Reporting of xexpr: compiler-style text lines or JSON Lines on standard
// output, problems and progress on standard error.
#include "xexpr_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace xexpr {

namespace {

constexpr auto kProgressAfter = std::chrono::seconds(2);
constexpr auto kProgressEvery = std::chrono::milliseconds(250);

}  // namespace

// ---------------------------------------------------------------- output

void Output::fail() {
    if (!m_failed) m_errno = errno;
    m_failed = true;
}

void Output::write(std::string_view text) {
    if (m_failed || text.empty()) return;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) fail();
}

bool Output::flush() {
    errno = 0;
    if (!m_failed && (std::fflush(stdout) != 0 || std::ferror(stdout))) fail();
    return !m_failed;
}

std::vector<std::string> messageLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// ---------------------------------------------------------------- progress

Progress::Progress()
    : m_enabled(isatty(STDERR_FILENO) != 0),
      m_start(std::chrono::steady_clock::now()),
      m_last(m_start) {}

void Progress::update(const Expression& current, size_t done, size_t invalid) {
    if (!m_enabled) return;
    auto now = std::chrono::steady_clock::now();
    if (now - m_start < kProgressAfter || now - m_last < kProgressEvery) return;
    m_last = now;
    std::fprintf(stderr, "\r\033[Kxexpr: %zu expressions, %zu invalid (%s:%zu)", done, invalid,
                 current.source.c_str(), current.line);
    std::fflush(stderr);
    m_shown = true;
}

void Progress::clear() {
    if (!m_shown) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_shown = false;
}

// ---------------------------------------------------------------- reporter

Reporter::Reporter(bool json) : m_json(json), m_stdoutIsTerminal(isatty(STDOUT_FILENO) != 0) {}

void Reporter::report(const Expression& expression, const Outcome& outcome) {
    ++m_count;
    if (!outcome.valid) ++m_invalid;
    // The progress line and the output may share one terminal.
    if (m_stdoutIsTerminal) m_progress.clear();
    if (m_json)
        writeJson(expression, outcome);
    else
        writeText(expression, outcome);
    m_progress.update(expression, m_count, m_invalid);
}

void Reporter::writeText(const Expression& expression, const Outcome& outcome) {
    std::string prefix = expression.source + ":" + std::to_string(expression.line) + ": ";
    if (outcome.valid) m_out.line(prefix + outcome.summary);
    for (const std::string& line : outcome.errors) m_out.line(prefix + line);
    for (const std::string& line : outcome.warnings) m_out.line(prefix + line);
    for (const std::string& line : outcome.lines) m_out.line(line);
    if (outcome.streamed) outcome.streamed(m_out, false);
}

void Reporter::writeJson(const Expression& expression, const Outcome& outcome) {
    nlohmann::ordered_json object = {
        {"source", expression.source},  {"line", expression.line}, {"text", expression.text},
        {"status", outcome.status},     {"valid", outcome.valid},  {"errors", outcome.errors},
        {"warnings", outcome.warnings},
    };
    if (!outcome.valid) {
        object["errorBegin"] = outcome.errorBegin;
        object["errorEnd"] = outcome.errorEnd;
    }
    for (const auto& [key, value] : outcome.details.items()) object[key] = value;
    // Text that is not UTF-8 is replaced rather than refused.
    std::string text = object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    if (outcome.streamed) {
        text.pop_back();  // the closing brace, written after the streamed member
        m_out.write(text);
        m_out.write(",\"" + outcome.streamedKey + "\":");
        outcome.streamed(m_out, true);
        text = "}";
    }
    m_out.line(text);
}

void Reporter::problem(const std::string& line) {
    m_progress.clear();
    m_out.flush();
    std::fprintf(stderr, "%s\n", line.c_str());
}

bool Reporter::finish() {
    m_progress.clear();
    if (m_out.flush()) return true;
    std::fprintf(stderr, "xexpr: error: cannot write the output: %s\n",
                 m_out.error() ? std::strerror(m_out.error()) : "write failed");
    return false;
}

}  // namespace xexpr
