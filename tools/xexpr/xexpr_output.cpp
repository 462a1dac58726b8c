// Reporting of xexpr: compiler-style text lines or JSON Lines on standard
// output, problems and progress on standard error.
#include "xexpr_output.h"

#include <unistd.h>

#include <cstdio>

namespace xexpr {

namespace {

constexpr auto kProgressAfter = std::chrono::seconds(2);
constexpr auto kProgressEvery = std::chrono::milliseconds(250);

void writeLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

}  // namespace

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
    if (outcome.valid) writeLine(prefix + outcome.summary);
    for (const std::string& line : outcome.errors) writeLine(prefix + line);
    for (const std::string& line : outcome.warnings) writeLine(prefix + line);
    for (const std::string& line : outcome.lines) writeLine(line);
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
    writeLine(object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

void Reporter::problem(const std::string& line) {
    m_progress.clear();
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", line.c_str());
}

void Reporter::finish() {
    m_progress.clear();
    std::fflush(stdout);
}

}  // namespace xexpr
