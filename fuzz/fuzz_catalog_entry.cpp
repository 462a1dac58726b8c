// Fuzzing entry of the catalog loader: the bytes are the catalog text. A
// catalog that loads is put to use, so that whatever the loader accepted is
// also something the catalog context can serve.
#include "fuzz_catalog_entry.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "qvcmnexpr/xcatalogcontext.h"
#include "qvcmnexpr/xparser.h"
#include "qvi18n.h"

int qvFuzzCatalog(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    if (XCatalog::loadJsonText(text, "fuzz.json", *catalog, error) != 0) {
        // Every refusal names its place.
        if (error.rfind("fuzz.json:", 0) != 0) std::abort();
        return 0;
    }
    std::string why;
    if (catalog->checkSettings(why) != 0) return 0;
    XCatalogContext context(catalog);
    XParser parser;
    parser.setParserContext(&context, 0);
    for (const char* expression : {"P + 1", "T.P || $$V", "F(P, 1)", ":LKP.L(1)", "P.A[1]..B = P", ":TYPE.N.P"}) {
        QvUString source = QvUString::fromUtf8(expression);
        XParsedTree* tree = nullptr;
        QvUString errors, warnings;
        parser.parse(source.getBuffer(), tree, errors, warnings);
        delete tree;
    }
    return 0;
}
