// What the lexer's two units share: the unit tests both make on every
// token, and the scans that read eight units at a time. Private to
// xlexer.cpp and xlexerfast.cpp.
//
// The SSE scans must find exactly what their unit-by-unit forms find (the
// lexer tests run texts at every alignment and length through them).
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "qvcmnexpr/xtoken.h"
#include "xtokenindex.h"

namespace xlexerfast {
// Internal to each unit, as helpers of one unit would be.
namespace {

inline bool hasTransformationBit(int context) { return (context & eXXC_TRANSFORMATION) != 0; }
inline bool hasWorkflowBit(int context) { return (context & eXXC_WORKFLOW) != 0; }

inline bool isHostSpace(unsigned short c) { return gXUnitClasses.any(c, kXUnitHostSpace); }
inline bool isDigit(unsigned short c) { return gXUnitClasses.any(c, kXUnitDigit); }

inline bool isCommentStart(const unsigned short* p) {
    return (p[0] == XToken::gcSolidus && p[1] == XToken::gcSolidus) ||
           (p[0] == XToken::gcHyphenMinus && p[1] == XToken::gcHyphenMinus);
}

// Whether white space or a comment may start at `p`: the test that lets the
// skip before every token return at once.
inline bool mayStartBlanks(const unsigned short* p) { return gXUnitClasses.any(*p, kXUnitBlankStart); }

// The number of units before the 0 unit, eight at a time. The loads are of
// 16-byte blocks aligned to 16 bytes: such a block never reaches into
// another page, so the one that holds the 0 unit can be read whole without
// any risk of a fault; lanes before `text` are ignored and nothing after the
// 0 unit is used. Reading past the end of the text that way is also why the
// address and thread sanitizers must not check this function: the bytes
// after the 0 unit may belong to another thread's object.
inline size_t unitCountByUnit(const unsigned short* text) {
    const unsigned short* p = text;
    while (*p != 0) ++p;
    return static_cast<size_t>(p - text);
}

#if defined(__SSE2__)
inline __attribute__((no_sanitize("address", "thread"))) size_t unitCount(const unsigned short* text) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(text);
    // Units at an odd address would straddle the lanes.
    if ((start & 1) != 0) return unitCountByUnit(text);
    const __m128i* block = reinterpret_cast<const __m128i*>(start & ~uintptr_t{15});
    const __m128i zero = _mm_setzero_si128();
    unsigned zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_load_si128(block), zero)));
    zeros >>= start & 15;
    if (zeros != 0) return static_cast<size_t>(__builtin_ctz(zeros)) / 2;
    for (;;) {
        ++block;
        zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_load_si128(block), zero)));
        if (zeros != 0)
            return (reinterpret_cast<uintptr_t>(block) + static_cast<unsigned>(__builtin_ctz(zeros)) - start) / 2;
    }
}
#else
inline size_t unitCount(const unsigned short* text) { return unitCountByUnit(text); }
#endif

// ASCII letters, digits and the underscore: units that continue every
// identifier and every word, and make up most of the units of a text.
inline bool isAsciiWordUnit(unsigned short c) {
    return static_cast<unsigned>((c | 0x20) - 'a') <= 'z' - 'a' || static_cast<unsigned>(c - '0') <= 9 ||
           c == XToken::gcUnderScore;
}

#if defined(__SSE2__)
// Per 16-bit lane: all ones where lo <= v <= hi.
inline __m128i unitsInRange(__m128i v, unsigned short lo, unsigned short hi) {
    const __m128i offset = _mm_sub_epi16(v, _mm_set1_epi16(static_cast<short>(lo)));
    const __m128i above = _mm_subs_epu16(offset, _mm_set1_epi16(static_cast<short>(hi - lo)));
    return _mm_cmpeq_epi16(above, _mm_setzero_si128());
}
#endif

// The first unit in [p, end) that is no ASCII word unit, or `end`. Names
// are most of a text, and testing their units eight at a time halves the
// cost of the words; no load reaches past `end`.
inline const unsigned short* skipAsciiWordUnits(const unsigned short* p, const unsigned short* end) {
#if defined(__SSE2__)
    while (end - p >= 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i letter = unitsInRange(_mm_or_si128(v, _mm_set1_epi16(0x20)), 'a', 'z');
        const __m128i digit = unitsInRange(v, '0', '9');
        const __m128i underscore = _mm_cmpeq_epi16(v, _mm_set1_epi16(XToken::gcUnderScore));
        const unsigned word = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(letter, digit), underscore)));
        if (word != 0xFFFF) return p + (__builtin_ctz(~word) >> 1);
        p += 8;
    }
#endif
    while (p != end && isAsciiWordUnit(*p)) ++p;
    return p;
}

}  // namespace
}  // namespace xlexerfast
