// The symbol catalog the corpora's expressions are written against, so the
// benchmarks can parse them through the catalog context as embedders do.
#pragma once

#include <memory>

#include "qvcmnexpr/xcatalog.h"

namespace bench {

// Every port of schema.tsv (the shared one when present, else the local
// one), unqualified, with its declared type. Built once per process.
std::shared_ptr<const XCatalog> schemaCatalog();

}  // namespace bench
