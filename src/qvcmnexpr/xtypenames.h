// The read-only tables behind the attribute classes of xtype.h: one row per
// data type with its storage and widening facts, and the name tables that
// debug output searches. All are built at compile time from the .def
// vocabularies and checked to be in ascending order, which the bisection of
// XEnum relies on.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "qvcmnexpr/xenum.h"
#include "qvcmnexpr/xtype.h"

struct XDataTypeRow {
    int32_t number;
    const char* typeName;  // nullptr: no type-name string
    int32_t width;         // -2: not in the widening order
    int32_t perUnit;       // bytes = perUnit * length + fixedBytes
    int32_t fixedBytes;    // -2 with perUnit 0: no storage rule
};

inline constexpr XDataTypeRow gXDataTypeRows[] = {
#define XDT(enumerator, number, typeName, width, perUnit, fixedBytes) \
    {number, typeName, width, perUnit, fixedBytes},
#include "qvcmnexpr/xdatatype.def"
};

inline constexpr XEnumStrPair gXDataTypeNames[] = {
#define XMINT(enumerator, value) {value, #enumerator},
#include "qvcmnexpr/xtypeenums.def"
#define XDT(enumerator, number, typeName, width, perUnit, fixedBytes) {number, #enumerator},
#define XDT_BOUND(enumerator, number) {number, #enumerator},
#include "qvcmnexpr/xdatatype.def"
};

inline constexpr XEnumStrPair gXAggLevelNames[] = {
#define XMINT(enumerator, value) {value, #enumerator},
#define XAL(enumerator, value) {value, #enumerator},
#include "qvcmnexpr/xtypeenums.def"
};

inline constexpr XEnumStrPair gXTypeParentExpectsNames[] = {
#define XMINT(enumerator, value) {value, #enumerator},
#define XTPE(enumerator, value) {value, #enumerator},
#include "qvcmnexpr/xtypeenums.def"
};

inline constexpr XEnumStrPair gXResultTypeNames[] = {
#define XMINT(enumerator, value) {value, #enumerator},
#define XRT(enumerator, value) {value, #enumerator},
#include "qvcmnexpr/xtypeenums.def"
};

// Operation variants have no sentinel rows: a dummy variant prints as
// unknown like the unnamed ones.
inline constexpr XEnumStrPair gXOpNames[] = {
#define XOP(enumerator, value) {value, #enumerator},
#include "qvcmnexpr/xtypeenums.def"
};

template <typename Row, size_t N, typename Key>
constexpr bool xIsStrictlyAscending(const Row (&rows)[N], Key key) {
    return std::adjacent_find(std::begin(rows), std::end(rows), [key](const Row& a, const Row& b) {
               return key(a) >= key(b);
           }) == std::end(rows);
}

inline constexpr auto xEnumKey = [](const XEnumStrPair& r) { return r.value; };
static_assert(xIsStrictlyAscending(gXDataTypeRows, [](const XDataTypeRow& r) { return r.number; }));
static_assert(xIsStrictlyAscending(gXDataTypeNames, xEnumKey));
static_assert(xIsStrictlyAscending(gXAggLevelNames, xEnumKey));
static_assert(xIsStrictlyAscending(gXTypeParentExpectsNames, xEnumKey));
static_assert(xIsStrictlyAscending(gXResultTypeNames, xEnumKey));
static_assert(xIsStrictlyAscending(gXOpNames, xEnumKey));

template <size_t N>
constexpr int xRowCount(const XEnumStrPair (&)[N]) {
    return static_cast<int>(N);
}

// The storage and widening facts of `number`, or null for a number that is
// not a built-in type (custom types included).
inline const XDataTypeRow* xFindDataTypeRow(int number) {
    const XDataTypeRow* end = std::end(gXDataTypeRows);
    const XDataTypeRow* row = std::lower_bound(
        std::begin(gXDataTypeRows), end, number,
        [](const XDataTypeRow& r, int n) { return r.number < n; });
    return (row != end && row->number == number) ? row : nullptr;
}
