// Expression input of xexpr: arguments, files and standard input in the
// order the command line names them.
#include "xexpr_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace xexpr {

namespace {

bool s_standardInputClosed = false;

}  // namespace

void noteClosedStandardInput() {
    if (fcntl(STDIN_FILENO, F_GETFD) != -1 || errno != EBADF) return;
    s_standardInputClosed = true;
    int fd = open("/dev/null", O_RDONLY);
    if (fd > STDIN_FILENO) close(fd);
}

bool isSkippedLine(const std::string& line) {
    size_t first = line.find_first_not_of(" \t\r\f\v");
    return first == std::string::npos || line[first] == '#';
}

ExpressionReader::ExpressionReader(const std::vector<InputSource>& sources) : m_sources(sources) {}

bool ExpressionReader::next(Expression& out) {
    while (true) {
        if (m_stream && nextLine(out)) return true;
        m_stream = nullptr;
        if (m_sourceIndex >= m_sources.size()) return false;
        const InputSource& source = m_sources[m_sourceIndex++];
        if (source.kind == InputSource::argument) {
            out = Expression{"<arg>", ++m_argumentCount, source.value};
            return true;
        }
        if (source.kind == InputSource::standardInput) {
            // A closed standard input is not an empty one.
            if (s_standardInputClosed) {
                m_problems.push_back("<stdin>: error: cannot read the standard input: it is closed");
                continue;
            }
            m_stream = &std::cin;
            m_streamName = "<stdin>";
        } else {
            m_file.close();
            m_file.clear();
            errno = 0;
            m_file.open(source.value, std::ios::binary);
            // A directory opens but cannot be read; peek finds out.
            if (!m_file || (m_file.peek() == EOF && m_file.bad())) {
                int code = errno;
                m_problems.push_back(source.value + ": error: cannot read the file" +
                                     (code ? std::string(": ") + std::strerror(code) : ""));
                continue;
            }
            m_file.clear();
            m_stream = &m_file;
            m_streamName = source.value;
        }
        m_lineNumber = 0;
    }
}

bool ExpressionReader::nextLine(Expression& out) {
    std::string line;
    while (std::getline(*m_stream, line)) {
        ++m_lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (isSkippedLine(line)) continue;
        out = Expression{m_streamName, m_lineNumber, std::move(line)};
        return true;
    }
    // Standard input reads through C stdio, which keeps the error to itself.
    if (m_stream->bad() || (m_stream == &std::cin && std::ferror(stdin)))
        m_problems.push_back(m_streamName + ":" + std::to_string(m_lineNumber) +
                             ": error: reading stopped: the input could not be read");
    return false;
}

}  // namespace xexpr
