// Names of enumeration values for debug output.
//
// Every numbered vocabulary of the library (node kinds, data types,
// operation variants, aggregation levels, ...) keeps a table of
// (value, name) rows sorted by value; XEnum looks a value up by bisection.
// A value without a row prints as one shared "unknown" text whose address
// can be recognised, so callers can tell a miss from a real name.
#pragma once

#include <cstdint>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvi18n.h"

// One row of a name table. Tables searched with enumToString carry 8-bit
// names in `str`; tables searched with enumToUString carry host strings in
// `ustr` (a row may have neither: the value is known but has no text).
struct XEnumStrPair {
    int32_t value;
    const char* str = nullptr;
    const QvUString* ustr = nullptr;
};

class QVCMNEXPR_API XEnum {
public:
    static const char* const cls_unknownEnumStr;  // "XEnumUnknown"
    static const QvUString cls_unknownEnumUStr;   // "?:"

    // The name of `value` in `table` (sorted by value, `count` rows). A value
    // without a row, or a row without 8-bit text, gives `fallback` when one is
    // given and cls_unknownEnumStr otherwise.
    static const char* enumToString(int value, const XEnumStrPair* table, int count,
                                    const char* fallback = nullptr);
    // The host string of `value`'s row (null when the row has none), or
    // &cls_unknownEnumUStr when no row has the value.
    static const QvUString* enumToUString(int value, const XEnumStrPair* table, int count);

    static const char* getUnknownEnumStr() { return cls_unknownEnumStr; }
    // True only for the very pointer enumToString hands out on a miss.
    static int isUnknownEnumStr(const char* text) { return text == cls_unknownEnumStr ? 1 : 0; }

    // Sorts `table` by value, ascending, keeping rows of equal value in
    // their order. The trailing arguments are accepted for callers written
    // against older tables and ignored. Returns -4.
    static int sortEnumStrPairs(XEnumStrPair* table, int count, int, int, int);

private:
    static const XEnumStrPair* find(int value, const XEnumStrPair* table, int count);
};
