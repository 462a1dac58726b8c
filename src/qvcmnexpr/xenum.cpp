// Lookup and ordering of enumeration name tables (see xenum.h).
#include "qvcmnexpr/xenum.h"

#include <algorithm>

const char* const XEnum::cls_unknownEnumStr = "XEnumUnknown";
// Ready before the ordinary start-up code of the other units, whose name
// tables may hand it out.
const QvUString XEnum::cls_unknownEnumUStr __attribute__((init_priority(1000)))("?:");

const XEnumStrPair* XEnum::find(int value, const XEnumStrPair* table, int count) {
    if (table == nullptr || count <= 0) return nullptr;
    const XEnumStrPair* end = table + count;
    const XEnumStrPair* row = std::lower_bound(
        table, end, value, [](const XEnumStrPair& r, int v) { return r.value < v; });
    return (row != end && row->value == value) ? row : nullptr;
}

const char* XEnum::enumToString(int value, const XEnumStrPair* table, int count,
                                const char* fallback) {
    const XEnumStrPair* row = find(value, table, count);
    if (row != nullptr && row->str != nullptr) return row->str;
    return fallback != nullptr ? fallback : cls_unknownEnumStr;
}

const QvUString* XEnum::enumToUString(int value, const XEnumStrPair* table, int count) {
    const XEnumStrPair* row = find(value, table, count);
    return row != nullptr ? row->ustr : &cls_unknownEnumUStr;
}

int XEnum::sortEnumStrPairs(XEnumStrPair* table, int count, int, int, int) {
    if (table != nullptr && count > 1) {
        std::stable_sort(table, table + count, [](const XEnumStrPair& a, const XEnumStrPair& b) {
            return a.value < b.value;
        });
    }
    return -4;
}
