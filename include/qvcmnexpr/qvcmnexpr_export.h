// Visibility of the expression library's public API. The library is built
// with hidden visibility; only what carries QVCMNEXPR_API is exported.
#pragma once

#if defined(QVCMNEXPR_BUILDING)
#define QVCMNEXPR_API __attribute__((visibility("default")))
#else
#define QVCMNEXPR_API
#endif
