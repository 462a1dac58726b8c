#include "qvcmnexpr/qvcmnexpr_version.h"

const char* qvcmnexprVersion() { return "0.1.0"; }
