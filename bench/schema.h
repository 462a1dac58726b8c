// The symbol catalog the corpora's expressions are written against, so the
// benchmarks can parse them through the catalog context as embedders do.
#pragma once

#include <memory>

#include "qvcmnexpr/xcatalog.h"
#include "qvcmnexpr/xcatalogcontext.h"

namespace bench {

// Every port of schema.tsv (the shared one when present, else the local
// one), unqualified, with its declared type. Built once per process.
std::shared_ptr<const XCatalog> schemaCatalog();
// The same ports with mapping variables and external and user-defined
// functions beside them, none of which the corpora use: every word is then
// compared with declared names that it does not match.
std::shared_ptr<const XCatalog> schemaCatalogWithSymbols();
// A context over a copy of `catalog`, its settings applied. Unless
// `validate`, the copy relaxes validation, which parse then skips: what is
// timed is parsing alone.
std::unique_ptr<XCatalogContext> contextOver(const XCatalog& catalog, bool validate);

}  // namespace bench
