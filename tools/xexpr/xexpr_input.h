// Reads the expressions of a command line one at a time: arguments as they
// are, files and standard input line by line. Only the current line is held,
// so memory stays bounded by the longest expression however large the input.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "xexpr_command.h"

namespace xexpr {

struct Expression {
    std::string source;  // the file name, "<stdin>" or "<arg>"
    size_t line = 0;     // line in the file, or the argument's position (from 1)
    std::string text;    // UTF-8, without the line end
};

class ExpressionReader {
public:
    explicit ExpressionReader(const std::vector<InputSource>& sources);

    // The next expression; false at the end of all sources. A file that
    // cannot be read is skipped after its message is added to `problems`.
    bool next(Expression& out);
    const std::vector<std::string>& problems() const { return m_problems; }

private:
    bool openNext();
    bool nextLine(Expression& out);

    const std::vector<InputSource>& m_sources;
    size_t m_sourceIndex = 0;
    size_t m_argumentCount = 0;
    std::ifstream m_file;
    std::istream* m_stream = nullptr;
    std::string m_streamName;
    size_t m_lineNumber = 0;
    std::vector<std::string> m_problems;
};

// Lines that hold no expression: blank, or a comment starting with #.
bool isSkippedLine(const std::string& line);

// Called first thing in main: notes whether the program was started with
// its standard input closed, and if so puts /dev/null in its place, so that
// no file the program opens later is taken for standard input.
void noteClosedStandardInput();

}  // namespace xexpr
