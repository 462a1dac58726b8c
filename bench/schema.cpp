// Reads schema.tsv (name, kind, ETL type, precision, scale, SQL type; one
// header line) into a catalog of ports.
#include "schema.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

XCatalogType typeOf(const std::string& kind, int precision, int scale) {
    if (kind == "int") return XCatalogType::integer();
    if (kind == "dec") return XCatalogType::decimal(precision, scale);
    if (kind == "str") return XCatalogType::string(precision);
    if (kind == "date") return XCatalogType::date();
    throw std::runtime_error("schema.tsv: unknown kind " + kind);
}

void addPorts(std::istream& in, XCatalog& catalog) {
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::istringstream fields(line);
        std::string name, kind, etlType;
        int precision = 0, scale = 0;
        if (!(fields >> name >> kind >> etlType >> precision >> scale))
            throw std::runtime_error("schema.tsv: cannot read \"" + line + "\"");
        std::string error;
        if (catalog.addPort({name, {}, typeOf(kind, precision, scale)}, error) != 0)
            throw std::runtime_error("schema.tsv: " + error);
    }
}

std::shared_ptr<const XCatalog> readSchema() {
    for (const char* dir : {QVCMNEXPR_SHARED_BENCH_DIR, QVCMNEXPR_LOCAL_BENCH_DIR}) {
        std::ifstream in(std::string(dir) + "/schema.tsv");
        if (!in) continue;
        auto catalog = std::make_shared<XCatalog>();
        addPorts(in, *catalog);
        return catalog;
    }
    throw std::runtime_error("no schema.tsv");
}

// Names in the corpora's style, so that they share first letters and
// prefixes with the words of the expressions.
std::shared_ptr<const XCatalog> withSymbols(const XCatalog& ports) {
    auto catalog = std::make_shared<XCatalog>(ports);
    const char* const kStems[] = {"ORDER", "CUST", "SHIP", "TAX", "RATE", "DATE", "LOAD", "BATCH"};
    std::string error;
    for (const char* stem : kStems) {
        for (const std::string& var : {std::string("$$") + stem, std::string("$$") + stem + "_MAX"})
            catalog->addMappingVariable({var, XCatalogType::integer()}, error);
        catalog->addFunction({std::string("EXT_") + stem, false, {}, XCatalogType::integer()}, error);
        catalog->addFunction({std::string(stem) + "_LKP", false, {}, XCatalogType::integer()}, error);
        catalog->addFunction({std::string(stem) + "_UDF", true, {}, XCatalogType::integer()}, error);
    }
    if (!error.empty()) throw std::runtime_error("symbols: " + error);
    return catalog;
}

}  // namespace

namespace bench {

std::shared_ptr<const XCatalog> schemaCatalog() {
    static const std::shared_ptr<const XCatalog> catalog = readSchema();
    return catalog;
}

std::shared_ptr<const XCatalog> schemaCatalogWithSymbols() {
    static const std::shared_ptr<const XCatalog> catalog = withSymbols(*schemaCatalog());
    return catalog;
}

std::unique_ptr<XCatalogContext> contextOver(const XCatalog& catalog, bool validate) {
    auto copy = std::make_shared<XCatalog>(catalog);
    copy->settings().relaxValidation = !validate;
    auto context = std::make_unique<XCatalogContext>(copy);
    context->applySettings(nullptr);
    return context;
}

}  // namespace bench
