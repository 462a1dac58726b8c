// A small embedding example: parse each line of a file (or the arguments)
// with a context that knows no symbols, and print the result type or the
// library's messages.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtree.h"
#include "qvi18n.h"

namespace {

int parseOne(XParser& parser, const std::string& line, const std::string& where) {
    QvUString text = QvUString::fromUtf8(line);
    XParsedTree* result = nullptr;
    ValidationResult vr;
    int status = parser.parse(text.getBuffer(), result, vr);
    if (status == 0) {
        std::cout << where << ": ok, result type " << vr.resultType.toInteger()
                  << (result->isEmptyExpression() ? " (empty expression)" : "") << "\n";
    } else {
        std::cout << where << ": status " << status << "\n" << vr.errors.toUtf8();
    }
    std::cout << vr.warnings.toUtf8();
    delete result;
    return status == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    XParserContextNoSymbols context;
    XParser parser;
    parser.setParserContext(&context, 0);

    std::vector<std::pair<std::string, std::string>> inputs;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i]);
        if (!in) {
            std::cerr << "cannot read " << argv[i] << "\n";
            return 2;
        }
        std::string line;
        for (int n = 1; std::getline(in, line); ++n) {
            if (!line.empty() && line[0] == '#') continue;
            inputs.emplace_back(std::string(argv[i]) + ":" + std::to_string(n), line);
        }
    }
    int failures = 0;
    for (auto& [where, line] : inputs) failures += parseOne(parser, line, where);
    std::cout << inputs.size() << " expressions, " << failures << " not valid\n";
    return 0;
}
