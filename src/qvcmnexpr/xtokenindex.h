// Indexes over the vocabulary for the lexer's inner loops: code-unit classes
// derived at load time from XToken's character sets and the host classes,
// and compile-time indexes over the .def rows for the prefix matches and the
// keyword and function lookups.
//
// The lexer runs these for nearly every unit and token of a text, so they
// are inline here; XToken's sets and the tables of xtokentables.h stay the
// definition, and each index finds exactly what the plain search of its
// table finds (the vocabulary and lexer tests hold them against each other).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "xtokentables.h"

// ===== code-unit classes =====

// The classes the lexer tests for every unit of a text. Asking the hash sets
// of XToken and ICU once per unit was most of the lexer's time, so they are
// derived once at load time (XToken::staticInitializer) into a table for the
// ASCII units and one bit per unit for the two sets.
enum XUnitClass : unsigned {
    kXUnitHostSpace = 1,   // qvUIsSpace: white space between tokens
    kXUnitSpaceToken = 2,  // in XToken::m_spaceTokens: ends an identifier
    kXUnitInvalid = 4,     // in XToken::m_invalidTokens
    kXUnitControl = 8,     // U+0000..U+001F and U+007F
    kXUnitDigit = 16,      // qvUIsDigit
    // Where a word that may name a function may end: the 0 unit, white
    // space, "(" and the first unit of a comment prefix.
    kXUnitWordBreak = 32,
    // Where white space or a comment may start: white space and the first
    // unit of a comment prefix.
    kXUnitBlankStart = 64,
};

// One bit for each of the 65536 code units (8 KB).
class XUnitBitmap {
public:
    bool contains(unsigned short c) const { return ((m_words[c >> 6] >> (c & 63)) & 1) != 0; }
    void insert(unsigned short c) { m_words[c >> 6] |= uint64_t{1} << (c & 63); }

private:
    uint64_t m_words[0x10000 / 64] = {};
};

class XUnitClasses {
public:
    // Whether `c` belongs to any of the classes in `mask` (XUnitClass bits).
    bool any(unsigned short c, unsigned mask) const {
        return c < kAsciiUnits ? (m_ascii[c] & mask) != 0 : anyAboveAscii(c, mask);
    }
    // Derives the classes from XToken's sets, which must be built.
    void build();

private:
    static constexpr unsigned kAsciiUnits = 0x80;
    bool anyAboveAscii(unsigned short c, unsigned mask) const;
    unsigned classesOf(unsigned short c) const;

    uint8_t m_ascii[kAsciiUnits] = {};
    XUnitBitmap m_spaceTokens;
    XUnitBitmap m_invalidTokens;
};

extern XUnitClasses gXUnitClasses;

namespace xtokenindex {

// Without a branch: the units of a word come in any mix of cases.
constexpr unsigned asciiUpper(unsigned c) { return c - (static_cast<unsigned>(c - 'a' <= 'z' - 'a') << 5); }
constexpr unsigned asciiLower(unsigned c) { return c + (static_cast<unsigned>(c - 'A' <= 'Z' - 'A') << 5); }
static_assert(asciiUpper('a') == 'A' && asciiUpper('z') == 'Z' && asciiUpper('A') == 'A' && asciiUpper('{') == '{' &&
              asciiUpper('`') == '`' && asciiUpper(0xFF41) == 0xFF41 && asciiUpper(0) == 0);
static_assert(asciiLower('A') == 'a' && asciiLower('Z') == 'z' && asciiLower('a') == 'a' && asciiLower('[') == '[' &&
              asciiLower('@') == '@' && asciiLower(0xFF21) == 0xFF21 && asciiLower(0) == 0);

// ===== prefix tables: qualifiers and symbols =====

template <class Row, size_t N>
constexpr bool allTextsAscii(const Row (&rows)[N]) {
    for (const Row& row : rows)
        for (int i = 0; i < row.length; ++i)
            if (static_cast<unsigned char>(row.text[i]) >= 0x80 || row.text[i] == 0) return false;
    return true;
}
static_assert(allTextsAscii(gQualifierTable) && allTextsAscii(gSymbolTable), "prefix rows are ASCII text");

// The rows of a prefix table grouped by their first unit, lower-cased, and
// in table order within a group: rows[begin[c] .. begin[c + 1]) are the rows
// that can match an input starting with c (or its capital).
//
// Most symbols are one unit that no longer row starts with, and most units
// start no row at all; so each unit (in either case) also has its answer
// ready where the group alone gives it: `starts` whether any row can match,
// `whole` 1 + the row that matches whatever follows (the group's first row,
// when it is that unit alone), else 0.
template <size_t N>
struct FirstUnitIndex {
    uint8_t begin[0x81];
    uint8_t rows[N];
    bool starts[0x80];
    uint8_t whole[0x80];
};

template <class Row, size_t N>
constexpr FirstUnitIndex<N> firstUnitIndexOf(const Row (&table)[N]) {
    static_assert(N < 255);
    FirstUnitIndex<N> index{};
    uint8_t next = 0;
    for (unsigned c = 0; c < 0x80; ++c) {
        index.begin[c] = next;
        for (size_t r = 0; r < N; ++r)
            if (asciiLower(static_cast<unsigned char>(table[r].text[0])) == c)
                index.rows[next++] = static_cast<uint8_t>(r);
    }
    index.begin[0x80] = next;
    for (unsigned c = 0; c < 0x80; ++c) {
        const unsigned group = asciiLower(c);
        index.starts[c] = index.begin[group] != index.begin[group + 1];
        if (!index.starts[c]) continue;
        const uint8_t firstRow = index.rows[index.begin[group]];
        if (table[firstRow].length == 1) index.whole[c] = static_cast<uint8_t>(firstRow + 1);
    }
    return index;
}

inline constexpr auto kQualifierIndex = firstUnitIndexOf(gQualifierTable);
inline constexpr auto kSymbolIndex = firstUnitIndexOf(gSymbolTable);

// Whether `input` (0-terminated) starts with `text` as ASCII without regard
// to case; the first units are known to agree. The 0 unit ends the input
// and matches no unit of a text.
inline bool asciiPrefixAfterFirst(const char* text, int length, const unsigned short* input) {
    for (int i = 1; i < length; ++i) {
        const unsigned short u = input[i];
        if (u >= 0x80 || asciiLower(u) != asciiLower(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

// The same for texts without letters, where case plays no part: each unit
// is compared as it is.
inline bool exactPrefixAfterFirst(const char* text, int length, const unsigned short* input) {
    for (int i = 1; i < length; ++i)
        if (input[i] != static_cast<unsigned char>(text[i])) return false;
    return true;
}

template <class Row, size_t N>
constexpr bool noTextHasLetters(const Row (&rows)[N]) {
    for (const Row& row : rows)
        for (int i = 0; i < row.length; ++i)
            if (asciiLower(static_cast<unsigned char>(row.text[i])) - 'a' <= 'z' - 'a') return false;
    return true;
}

template <bool kHasLetters, class Row, size_t N>
const Row* firstAsciiPrefixRow(const Row (&table)[N], const FirstUnitIndex<N>& index, const unsigned short* input) {
    if (!input || input[0] >= 0x80) return nullptr;
    if (index.whole[input[0]] != 0) return &table[index.whole[input[0]] - 1];
    const unsigned first = asciiLower(input[0]);
    for (unsigned i = index.begin[first]; i < index.begin[first + 1]; ++i) {
        const Row& row = table[index.rows[i]];
        const bool matches = kHasLetters ? asciiPrefixAfterFirst(row.text, row.length, input)
                                         : exactPrefixAfterFirst(row.text, row.length, input);
        if (matches) return &row;
    }
    return nullptr;
}

// Whether any row of the table can match an input that starts with `c`.
template <size_t N>
bool hasRowsFor(const FirstUnitIndex<N>& index, unsigned short c) {
    return c < 0x80 && index.starts[c];
}

inline bool mayStartQualifier(unsigned short c) { return hasRowsFor(kQualifierIndex, c); }
inline bool mayStartSymbol(unsigned short c) { return hasRowsFor(kSymbolIndex, c); }

inline const XQualifierRow* matchQualifier(const unsigned short* input) {
    return firstAsciiPrefixRow<true>(gQualifierTable, kQualifierIndex, input);
}

static_assert(noTextHasLetters(gSymbolTable), "symbols are matched without case folding");

inline const XSymbolRow* matchSymbol(const unsigned short* input) {
    return firstAsciiPrefixRow<false>(gSymbolTable, kSymbolIndex, input);
}

// ===== word tables: keywords and functions =====

// Keywords and functions are looked up for nearly every word of a text, so
// the lexer hashes the word instead of upper-casing it into a buffer and
// bisecting with strcmp. The index is an open-addressing table of row
// numbers built at compile time from the same rows.
//
// The hash takes the length and three units of a word with the case bit
// set (ASCII letters in lower case; other units may share a hash, which the
// comparison settles): that spreads the names, and costs the same for any
// word. The comparison with the row's name checks the rest; as names are
// upper-case ASCII, it also refuses every word with a unit that is not ASCII.
constexpr unsigned hashUnit(unsigned c) { return c | 0x20; }

constexpr uint32_t wordHash(size_t length, unsigned first, unsigned second, unsigned last) {
    uint32_t hash = static_cast<uint32_t>(length) * 0x9E3779B9u;
    hash ^= hashUnit(first) * 0x85EBCA6Bu;
    hash ^= hashUnit(second) * 0xC2B2AE35u;
    hash ^= hashUnit(last) * 0x27D4EB2Fu;
    return hash ^ (hash >> 16);
}

constexpr size_t nameLength(const char* name) {
    size_t length = 0;
    while (name[length] != '\0') ++length;
    return length;
}

constexpr uint32_t nameHash(const char* name) {
    const size_t length = nameLength(name);
    auto unit = [name](size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(name[i])); };
    return wordHash(length, unit(0), length > 1 ? unit(1) : 0, unit(length - 1));
}

template <class Row, size_t N>
constexpr bool allNamesUpperAscii(const Row (&rows)[N]) {
    for (const Row& row : rows) {
        if (row.name[0] == '\0') return false;
        for (const char* p = row.name; *p != '\0'; ++p)
            if (static_cast<unsigned char>(*p) >= 0x80 || (*p >= 'a' && *p <= 'z')) return false;
    }
    return true;
}
static_assert(allNamesUpperAscii(gKeywordTable) && allNamesUpperAscii(gFunctionTable),
              "keyword and function names are upper-case ASCII");

// At least four slots per row keeps most misses at one probe.
template <size_t N>
constexpr size_t slotCountFor() {
    size_t slots = 1;
    while (slots < 4 * N) slots *= 2;
    return slots;
}

// Each slot also holds the length of its row's name, so that most rows that
// share a slot with the word are refused without reading the name.
template <size_t N>
struct NameHashIndex {
    static constexpr size_t kSlots = slotCountFor<N>();
    int16_t rowOfSlot[kSlots];
    uint8_t lengthOfSlot[kSlots];
};

template <class Row, size_t N>
constexpr NameHashIndex<N> nameHashIndexOf(const Row (&rows)[N]) {
    NameHashIndex<N> index{};
    constexpr size_t mask = NameHashIndex<N>::kSlots - 1;
    for (size_t s = 0; s < NameHashIndex<N>::kSlots; ++s) index.rowOfSlot[s] = -1;
    for (size_t r = 0; r < N; ++r) {
        size_t s = nameHash(rows[r].name) & mask;
        while (index.rowOfSlot[s] >= 0) s = (s + 1) & mask;
        index.rowOfSlot[s] = static_cast<int16_t>(r);
        index.lengthOfSlot[s] = static_cast<uint8_t>(nameLength(rows[r].name));
    }
    return index;
}

inline constexpr auto kKeywordIndex = nameHashIndexOf(gKeywordTable);
inline constexpr auto kFunctionIndex = nameHashIndexOf(gFunctionTable);

// The hash of `word` (non-empty), the same for any mix of cases.
inline uint32_t upperWordHash(const unsigned short* word, size_t length) {
    return wordHash(length, word[0], length > 1 ? word[1] : 0, word[length - 1]);
}

// The names of a table as UTF-16 units, each name padded with 0 units to a
// multiple of eight and starting on a 16-byte boundary: a word is compared
// with a name eight units at a time.
constexpr size_t kPackedNameBlock = 8;
constexpr size_t packedLength(size_t length) { return (length + kPackedNameBlock - 1) / kPackedNameBlock * kPackedNameBlock; }

template <class Row, size_t N>
constexpr size_t packedNameUnits(const Row (&rows)[N]) {
    size_t units = 0;
    for (const Row& row : rows) units += packedLength(nameLength(row.name));
    return units;
}

template <size_t N, size_t Units>
struct PackedNames {
    alignas(16) uint16_t units[Units];
    uint16_t startOfRow[N];
};

template <size_t Units, class Row, size_t N>
constexpr PackedNames<N, Units> packedNamesOf(const Row (&rows)[N]) {
    PackedNames<N, Units> names{};
    size_t at = 0;
    for (size_t r = 0; r < N; ++r) {
        names.startOfRow[r] = static_cast<uint16_t>(at);
        const size_t length = nameLength(rows[r].name);
        for (size_t i = 0; i < length; ++i) names.units[at + i] = static_cast<unsigned char>(rows[r].name[i]);
        at += packedLength(length);
    }
    return names;
}

inline constexpr auto kKeywordNames = packedNamesOf<packedNameUnits(gKeywordTable)>(gKeywordTable);
inline constexpr auto kFunctionNames = packedNamesOf<packedNameUnits(gFunctionTable)>(gFunctionTable);
static_assert(packedNameUnits(gFunctionTable) <= UINT16_MAX && packedNameUnits(gKeywordTable) <= UINT16_MAX);

// Whether `name` (packed) is the upper-case form of the `length` units of
// `word`, of which `readable` units may be read. A 0 unit in the word
// matches no character.
inline bool isUpperFormOf(const uint16_t* name, const unsigned short* word, size_t length, size_t readable) {
#if defined(__SSE2__)
    // Whole blocks of the word are read where the text goes on far enough:
    // one block settles most names, where a unit at a time took a loop.
    if (readable >= packedLength(length)) {
        const __m128i a = _mm_set1_epi16('a');
        const __m128i bias = _mm_set1_epi16(static_cast<short>(0x8000));
        const __m128i lettersAboveA = _mm_set1_epi16(static_cast<short>(0x8000 + ('z' - 'a' + 1)));
        const __m128i caseBit = _mm_set1_epi16(0x20);
        // One bit per byte of the units that are the same.
        auto sameBytes = [&](size_t i) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(word + i));
            // Lower-case ASCII letters, by an unsigned compare made signed.
            const __m128i lower = _mm_cmplt_epi16(_mm_xor_si128(_mm_sub_epi16(units, a), bias), lettersAboveA);
            const __m128i upper = _mm_sub_epi16(units, _mm_and_si128(lower, caseBit));
            const __m128i same = _mm_cmpeq_epi16(upper, _mm_load_si128(reinterpret_cast<const __m128i*>(name + i)));
            return static_cast<unsigned>(_mm_movemask_epi8(same));
        };
        size_t i = 0;
        for (; i + kPackedNameBlock < length; i += kPackedNameBlock)
            if (sameBytes(i) != 0xFFFFu) return false;
        // The last block, with 1 to 8 units of the word.
        const unsigned needed = (1u << (2 * (length - i))) - 1;
        return (sameBytes(i) & needed) == needed;
    }
#else
    (void)readable;
#endif
    for (size_t i = 0; i < length; ++i)
        if (name[i] != asciiUpper(word[i])) return false;
    return true;
}

// Words that are empty or longer than kXMaxVocabularyWordLength are never
// looked up. `readable` units from `word` on may be read (at least `length`).
template <class Row, size_t N, size_t Units>
const Row* lookupWord(const Row (&rows)[N], const NameHashIndex<N>& index, const PackedNames<N, Units>& names,
                      const unsigned short* word, size_t length, size_t readable) {
    if (!word || length == 0 || length > static_cast<size_t>(kXMaxVocabularyWordLength)) return nullptr;
    constexpr size_t mask = NameHashIndex<N>::kSlots - 1;
    for (size_t s = upperWordHash(word, length) & mask; index.rowOfSlot[s] >= 0; s = (s + 1) & mask) {
        const int row = index.rowOfSlot[s];
        if (index.lengthOfSlot[s] == length && isUpperFormOf(names.units + names.startOfRow[row], word, length, readable))
            return &rows[row];
    }
    return nullptr;
}

// Most words looked up as keywords are names. A name whose length, first
// and last unit no keyword shares is refused by two bit tests, where the
// hash lookup would cost tens of instructions.
constexpr uint32_t unitBit(unsigned c) {
    // Setting the case bit turns no unit but a letter into a letter.
    const unsigned lower = c | 0x20;
    if (lower - 'a' <= 'z' - 'a') return uint32_t{1} << (lower - 'a');
    return c == '_' ? uint32_t{1} << 26 : uint32_t{1} << 31;
}

struct EndUnitFilter {
    uint32_t first[kXMaxVocabularyWordLength + 1];
    uint32_t last[kXMaxVocabularyWordLength + 1];
};

template <class Row, size_t N>
constexpr EndUnitFilter endUnitFilterOf(const Row (&rows)[N]) {
    EndUnitFilter filter{};
    for (const Row& row : rows) {
        const size_t length = nameLength(row.name);
        filter.first[length] |= unitBit(static_cast<unsigned char>(row.name[0]));
        filter.last[length] |= unitBit(static_cast<unsigned char>(row.name[length - 1]));
    }
    return filter;
}

inline constexpr EndUnitFilter kKeywordFilter = endUnitFilterOf(gKeywordTable);
static_assert((kKeywordFilter.first[3] & unitBit('a')) != 0 && (kKeywordFilter.last[3] & unitBit('D')) != 0,
              "AND is a keyword");

// `readable` as for lookupWord; 0 stands for `length`.
inline const XKeywordRow* lookupKeyword(const unsigned short* word, size_t length, size_t readable = 0) {
    if (!word || length == 0 || length > static_cast<size_t>(kXMaxVocabularyWordLength)) return nullptr;
    if ((kKeywordFilter.first[length] & unitBit(word[0])) == 0 ||
        (kKeywordFilter.last[length] & unitBit(word[length - 1])) == 0)
        return nullptr;
    return lookupWord(gKeywordTable, kKeywordIndex, kKeywordNames, word, length, std::max(readable, length));
}

inline const XFunctionRow* lookupFunction(const unsigned short* word, size_t length, size_t readable = 0) {
    return lookupWord(gFunctionTable, kFunctionIndex, kFunctionNames, word, length, std::max(readable, length));
}

}  // namespace xtokenindex
