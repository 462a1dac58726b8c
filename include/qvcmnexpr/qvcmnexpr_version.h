// Version of the expression library, for callers that check what they loaded.
#pragma once

#include "qvcmnexpr/qvcmnexpr_export.h"

// "major.minor.patch" of the loaded library.
extern "C" QVCMNEXPR_API const char* qvcmnexprVersion();
