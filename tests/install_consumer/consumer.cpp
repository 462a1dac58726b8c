// Built against the installed package: parses the empty expression through
// the exported API and checks the result.
#include <cstdio>

#include "qvcmnexpr/qvcmnexpr_version.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvi18n.h"

int main() {
    XParserContextNoSymbols context;
    XParser parser;
    parser.setParserContext(&context, 0);
    QvUString text("  ");
    XParsedTree* result = nullptr;
    QvUString err, warn;
    int status = parser.parse(text.getBuffer(), result, err, warn);
    bool ok = status == 0 && result && result->isEmptyExpression() == 1 &&
              XParser::getResultCDataType(*result) == 1020;
    delete result;
    std::printf("qvcmnexpr %s: %s\n", qvcmnexprVersion(), ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
