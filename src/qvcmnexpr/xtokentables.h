// The vocabulary tables of the token unit as constant data, one X-macro .def
// file per table, and the lookups the lexer runs against them. Shared by the
// token unit, the lexer and their tests; everything else goes through
// XToken's lookups.
//
// Row order is part of the language: qualifiers and symbols are tried first
// to last and the first prefix match wins; keywords and functions are sorted
// by name in byte order and bisected. Compile-time checks below keep the .def
// files in that order. The lexer reads them through the indexes of
// xtokenindex.h, which find the same rows.
#pragma once

#include <cstddef>
#include <iterator>

#include "qvcmnexpr/xenum.h"
#include "qvcmnexpr/xnodeid.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtype.h"
#include "qvi18n.h"
#include "xgrammartokens.h"

// ===== rows =====

// A qualifier (":LKP" ...); `length` is the number of characters of `text`.
struct XQualifierRow {
    const char* text;
    int length;
    xgrammar::Token token;
};

// A punctuation or operator symbol. `nodeId` is eXNI_NONE where the token
// alone says everything; otherwise it goes into the token's semantic value
// and tells apart operators that share a token ("<" and ">" ...).
struct XSymbolRow {
    const char* text;
    int length;
    xgrammar::Token token;
    EXNodeId nodeId;
};

// A keyword. Where `nodeId` is eXNI_NONE the semantic value carries the token
// number instead. `displayId` is the kind whose display text is the keyword
// (eXNI_NONE for SPOUTPUT, which is never written back).
struct XKeywordRow {
    const char* name;
    xgrammar::Token token;
    EXNodeId nodeId;
    int domain;  // EXXprContext bits
    EXNodeId displayId;

    // The semantic value the lexer stores for this keyword.
    int semanticValue() const { return nodeId != eXNI_NONE ? static_cast<int>(nodeId) : static_cast<int>(token); }
};

// A built-in function: `nodeId` is the kind of the call node, whose display
// text is `name`.
struct XFunctionRow {
    const char* name;
    xgrammar::Token token;
    EXNodeId nodeId;
    int domain;  // EXXprContext bits, possibly with eXXC_RESTRICTED

    bool isRestricted() const { return (domain & eXXC_RESTRICTED) != 0; }
};

// One row of the type annotation table.
struct XTypeAnnotationRow {
    int type;
    const char* annotation;
};

// ===== tables =====

inline constexpr XQualifierRow gQualifierTable[] = {
#define XQUALIFIER(text, token) {text, static_cast<int>(sizeof(text) - 1), xgrammar::token},
#include "xqualifiers.def"
};

inline constexpr XSymbolRow gSymbolTable[] = {
#define XSYMBOL(text, token, kind) {text, static_cast<int>(sizeof(text) - 1), xgrammar::token, eXNI_##kind},
#include "xsymbols.def"
};

inline constexpr XKeywordRow gKeywordTable[] = {
#define XKEYWORD_OPERATOR(name, token, kind, domain) {name, xgrammar::token, eXNI_##kind, domain, eXNI_##kind},
#define XKEYWORD_OPERAND(name, token, domain, node) {name, xgrammar::token, eXNI_NONE, domain, eXNI_##node},
#define XKEYWORD_CONSTANT(name, token, domain, node, value) {name, xgrammar::token, eXNI_NONE, domain, eXNI_##node},
#define XKEYWORD_NOT_DISPLAYED(name, token, domain, node) {name, xgrammar::token, eXNI_NONE, domain, eXNI_NONE},
#include "xkeywords.def"
};

inline constexpr XFunctionRow gFunctionTable[] = {
#define XFUNCTION(name, token, kind, domain) {name, xgrammar::token, eXNI_##kind, domain},
#include "xfunctions.def"
};

inline constexpr XTypeAnnotationRow gTypeAnnotationTable[] = {
#define XTYPE_ANNOTATION(type, annotation) {static_cast<int>(type), annotation},
#include "xtypeannotation.def"
};

inline constexpr int gQualifierCount = static_cast<int>(std::size(gQualifierTable));
inline constexpr int gSymbolCount = static_cast<int>(std::size(gSymbolTable));
inline constexpr int gKeywordCount = static_cast<int>(std::size(gKeywordTable));
inline constexpr int gFunctionCount = static_cast<int>(std::size(gFunctionTable));
inline constexpr int gTypeAnnotationCount = static_cast<int>(std::size(gTypeAnnotationTable));

// Display texts of node kinds, sorted by kind once the library is loaded; the
// host strings (`ustr`) are filled then too. Rows of the kinds written from
// the expression text itself have neither text.
extern XEnumStrPair gTokenStringTable[];
inline constexpr int gTokenStringCount = 137;

// Words longer than this are never keywords or functions.
inline constexpr int kXMaxVocabularyWordLength = 64;

// ===== lookups =====

// The first qualifier row whose text starts `input` (0-terminated UTF-16),
// compared without regard to case; null when none does.
const XQualifierRow* xMatchQualifier(const unsigned short* input);
// The first symbol row whose text starts `input`; null when none does.
const XSymbolRow* xMatchSymbol(const unsigned short* input);

// The lexer's forms of the two matches above: the first row whose text
// starts `input` when units and letters are compared as ASCII only. A row
// that ICU's folding would match through a non-ASCII unit (U+212A KELVIN SIGN
// for "K") is one the lexer refuses anyway, so for the lexer both forms
// agree; these try only the rows of the input's first unit.
const XQualifierRow* xMatchQualifierAscii(const unsigned short* input);
const XSymbolRow* xMatchSymbolAscii(const unsigned short* input);

// The row of exactly `name` (8-bit, compared byte by byte); null when none.
const XKeywordRow* xFindKeyword(const char* name);
const XFunctionRow* xFindFunction(const char* name);

// The row of `word` compared without regard to case: only words of at most
// kXMaxVocabularyWordLength ASCII code units are looked up; anything else is
// no keyword or function (null).
const XKeywordRow* xLookupKeyword(const QvUString& word);
const XFunctionRow* xLookupFunction(const QvUString& word);
const XKeywordRow* xLookupKeyword(const unsigned short* word, size_t length);
const XFunctionRow* xLookupFunction(const unsigned short* word, size_t length);

// ===== compile-time checks =====

namespace xtokentables_detail {

constexpr int compareBytes(const char* a, const char* b) {
    for (; *a != '\0' && *a == *b; ++a, ++b) {}
    return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

template <class Row, size_t N>
constexpr bool namesAscending(const Row (&rows)[N]) {
    for (size_t i = 1; i < N; ++i)
        if (compareBytes(rows[i - 1].name, rows[i].name) >= 0) return false;
    return true;
}

constexpr bool typeAnnotationsAscending() {
    for (int i = 1; i < gTypeAnnotationCount; ++i)
        if (gTypeAnnotationTable[i - 1].type >= gTypeAnnotationTable[i].type) return false;
    return true;
}

}  // namespace xtokentables_detail

static_assert(gQualifierCount == 7);
static_assert(gSymbolCount == 26);
static_assert(gKeywordCount == 27);
static_assert(gFunctionCount == 82);
static_assert(gTypeAnnotationCount == 13, "one annotation per value type and one for the invalid type");
// Keywords and functions are bisected, annotations too.
static_assert(xtokentables_detail::namesAscending(gKeywordTable), "xkeywords.def must be sorted by name in byte order");
static_assert(xtokentables_detail::namesAscending(gFunctionTable), "xfunctions.def must be sorted by name in byte order");
static_assert(xtokentables_detail::typeAnnotationsAscending(), "xtypeannotation.def must be sorted by type number");
