// Visibility of the catalog library's public API. Like the expression library
// it is built with hidden visibility; only what carries QVCMNEXPR_CATALOG_API
// is exported.
#pragma once

#if defined(QVCMNEXPR_CATALOG_BUILDING)
#define QVCMNEXPR_CATALOG_API __attribute__((visibility("default")))
#else
#define QVCMNEXPR_CATALOG_API
#endif
