// Display text of a typed value, as written for constants by the reverse
// parser and by callers' diagnostics.
#pragma once

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcmnexpr/xtype.h"
#include "qvi18n.h"

// Pass as `numCharsMax` to print strings of any length.
inline constexpr int kXDataNoCharsMax = -3;

// The text of the value of `type` at `value`, which points to the host's
// representation of the type: int32_t (INT), int64_t (BIGINT), double
// (FLOAT), QvDecimal<2>/<3>/<4> (DEC18/28/38 and their FIXED forms), a
// 0-terminated 8-bit text (STRING) or UTF-16 text (UNISTRING), QvDate (DATE),
// the custom type's own value (custom types). Annotated with the type's short
// prefix ("i:") when `annotate` is set. "{NULL}" when `*indicator` is -1,
// "{ValueNotAvailable}" when `value` is null.
//
// For strings, `numCharsMax` is the longest permitted length
// (kXDataNoCharsMax: no bound); a longer value is an invariant failure, as is
// a type that has no text form here (BOOLEAN, NULL, unregistered custom
// types). Returns a new 0-terminated buffer that the caller frees with
// delete[].
QVCMNEXPR_API unsigned short* xdataToUString(XType type, void* value, short* indicator, int numCharsMax,
                                             int annotate);
// Same; when `out` is given the text goes there instead and null is returned.
QVCMNEXPR_API unsigned short* xdataToUString(QvUString* out, XType type, void* value, short* indicator,
                                             int numCharsMax, int annotate);
