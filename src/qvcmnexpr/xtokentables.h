// The vocabulary tables of the token unit as constant data, one X-macro .def
// file per table. Shared by the token unit and its tests; everything else goes
// through XToken's lookups.
#pragma once

#include <iterator>

#include "qvcmnexpr/xtype.h"

// One row of the type annotation table.
struct XTypeAnnotationRow {
    int type;
    const char* annotation;
};

inline constexpr XTypeAnnotationRow gTypeAnnotationTable[] = {
#define XTYPE_ANNOTATION(type, annotation) {static_cast<int>(type), annotation},
#include "xtypeannotation.def"
};
inline constexpr int gTypeAnnotationCount = static_cast<int>(std::size(gTypeAnnotationTable));

static_assert(gTypeAnnotationCount == 13, "one annotation per value type and one for the invalid type");
// Lookups bisect the table, so its rows must stay in strictly ascending order.
constexpr bool xTypeAnnotationsAscending() {
    for (int i = 1; i < gTypeAnnotationCount; ++i)
        if (gTypeAnnotationTable[i - 1].type >= gTypeAnnotationTable[i].type) return false;
    return true;
}
static_assert(xTypeAnnotationsAscending(), "xtypeannotation.def must be sorted by type number");
