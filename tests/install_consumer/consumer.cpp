// Built against the installed package: parses the empty expression through
// the exported API, and a port through a catalog context, and checks both.
#include <cstdio>

#include "qvcmnexpr/qvcmnexpr_version.h"
#include "qvcmnexpr/xcatalogcontext.h"
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

    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    ok = ok && XCatalog::loadJsonText(R"({"ports": [{"name": "QTY", "type": "int"}]})", "consumer",
                                      *catalog, error) == 0;
    XCatalogContext catalogContext(catalog);
    parser.setParserContext(&catalogContext, 0);
    QvUString port("QTY + 1");
    result = nullptr;
    ok = ok && parser.parse(port.getBuffer(), result, err, warn) == 0 && result;
    delete result;
    std::printf("qvcmnexpr %s: %s\n", qvcmnexprVersion(), ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
