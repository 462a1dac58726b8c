// The lexer's direct reading: yylex, and the paths by which it reads the
// commonest tokens (a symbol of one unit, a string, a number, after at most
// one space; a symbol or string after more blanks) without going through
// the matchers in turn. The path for a word from an ASCII letter (lexWord)
// follows the same rule but is compiled beside the matchers, in xlexer.cpp.
//
// Each path must return exactly what XLexer::lexToken (xlexer.cpp), the
// matchers in the order the language defines, returns from the same state:
// the same token, semantic value, positions, current token and expression
// context, and the same questions to the caller's context. A path may only
// skip a matcher that cannot read the token at hand. Whatever a path cannot
// settle goes to lexToken, which starts from the same state either way.
// LexerTest.DirectReadingAgreesWithTheMatchers holds the two in step; a
// change to the order or to a matcher belongs in xlexer.cpp first, and here
// only as far as this reading must follow.
#include <cstddef>
#include <cstdint>

#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtoken.h"
#include "xgrammartokens.h"
#include "xlexer.h"
#include "xlexerfast.h"
#include "xtokenindex.h"
#include "xtokentables.h"

using namespace xgrammar;
using namespace xlexerfast;

namespace {

// What the first unit of a token says about it, for the direct table below.
// kSymbol: a unit that is a whole symbol whatever follows it.
enum class Lead : uint8_t { kOther, kQuote, kNumber, kLeftParen, kQualifier, kSymbol };

struct LeadTable {
    Lead ascii[0x80];
};

constexpr LeadTable makeLeadTable() {
    LeadTable table{};
    for (unsigned c = 0; c < 0x80; ++c) {
        Lead lead = Lead::kOther;
        if (c == XToken::gcSingleQuote) lead = Lead::kQuote;
        // The digits of qvUIsDigit are these ten units only.
        else if (c == XToken::gcPeriod || (c >= '0' && c <= '9')) lead = Lead::kNumber;
        else if (c == XToken::gcLeftParen) lead = Lead::kLeftParen;
        else if (xtokenindex::kQualifierIndex.starts[c]) lead = Lead::kQualifier;
        else if (xtokenindex::kSymbolIndex.whole[c] != 0) lead = Lead::kSymbol;
        table.ascii[c] = lead;
    }
    return table;
}
constexpr LeadTable kLeadTable = makeLeadTable();
static_assert(kLeadTable.ascii[XToken::gcLeftParen] == Lead::kLeftParen &&
                  xtokenindex::kSymbolIndex.whole[XToken::gcLeftParen] != 0,
              "\"(\" is a symbol of its own");

Lead leadOf(unsigned short c) { return c < 0x80 ? kLeadTable.ascii[c] : Lead::kOther; }

// What yylex reads directly, by the first unit of a token: a word from an
// ASCII letter, a string, and the symbols of one unit. A symbol is 1 + its
// row, with kDirectNeedsWordTest unless no word can be before it (only "("
// ends every word). A unit that may start a comment is left out ("--" and
// "//" are no symbols), and so are the units that start longer symbols or
// may start a number or a qualifier: lexAfterBlanks reads those.
constexpr unsigned kDirectRowMask = 0xFF;
constexpr unsigned kDirectNeedsWordTest = 0x100;
constexpr unsigned kDirectWord = 0x200;
constexpr unsigned kDirectString = 0x201;
constexpr unsigned kDirectNumber = 0x202;
// A unit that starts symbols of more than one unit ("||", "<=" ...).
constexpr unsigned kDirectLongSymbol = 0x203;
// The 0 unit: the end of the text (the text ends at its first 0 unit).
constexpr unsigned kDirectEnd = 0x204;

struct DirectTable {
    uint16_t ascii[0x80];
};

constexpr bool isAsciiLetter(unsigned c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

constexpr DirectTable makeDirectTable() {
    DirectTable table{};
    for (unsigned c = 0; c < 0x80; ++c) {
        const bool startsComment = c == XToken::gcSolidus || c == XToken::gcHyphenMinus;
        const unsigned row = xtokenindex::kSymbolIndex.whole[c];
        if (c == 0) table.ascii[c] = kDirectEnd;
        else if (isAsciiLetter(c)) table.ascii[c] = kDirectWord;
        else if (kLeadTable.ascii[c] == Lead::kQuote) table.ascii[c] = kDirectString;
        else if (kLeadTable.ascii[c] == Lead::kLeftParen) table.ascii[c] = static_cast<uint16_t>(row);
        else if (kLeadTable.ascii[c] == Lead::kNumber && c != XToken::gcPeriod) table.ascii[c] = kDirectNumber;
        else if (kLeadTable.ascii[c] == Lead::kSymbol && !startsComment)
            table.ascii[c] = static_cast<uint16_t>(row | kDirectNeedsWordTest);
        else if (kLeadTable.ascii[c] == Lead::kOther && !startsComment && xtokenindex::kSymbolIndex.starts[c])
            table.ascii[c] = kDirectLongSymbol;
    }
    return table;
}
constexpr DirectTable kDirect = makeDirectTable();
constexpr unsigned directOf(char c) { return kDirect.ascii[static_cast<unsigned char>(c)]; }
static_assert(directOf(',') != 0 && directOf('(') != 0 && directOf('-') == 0 && directOf('.') == 0 &&
              directOf(':') == 0 && directOf('0') == kDirectNumber && directOf('|') == kDirectLongSymbol &&
              directOf('<') == kDirectLongSymbol);

// lexWord skips the symbol, number and qualifier matchers for letters.
constexpr bool noLetterStartsAnotherToken() {
    for (unsigned c = 0; c < 0x80; ++c)
        if (isAsciiLetter(c) && (kLeadTable.ascii[c] != Lead::kOther || xtokenindex::kSymbolIndex.starts[c]))
            return false;
    return true;
}
static_assert(noLetterStartsAnotherToken());

}  // namespace

// ===== the token loop =====

// Punctuation is half the tokens of a text, and each costs only a few
// instructions when read directly; the general path around the matchers
// costs several times that in its own setting up. So the commonest tokens
// after at most one space are read here (a symbol whose word is known not
// to name a function, a word, a string), and everything else goes to
// lexAfterBlanks and lexToken. Nothing is changed before the choice, so the
// matchers start from the same state either way. Every call here is the last
// thing done, which keeps this path free of the register saving a call in
// between would need.
int XLexer::yylex(yystype* lval) {
    const unsigned short* const text = m_input.getBuffer();
    const size_t at = m_pos + (text[m_pos] == XToken::gcSpace ? 1 : 0);
    const unsigned short first = text[at];
    const unsigned direct = first < 0x80 ? kDirect.ascii[first] : 0;
    if (direct == 0) return lexAfterBlanks(lval);
    if (direct >= kDirectWord) {
        if (direct == kDirectWord) return lexWord(lval, at);
        if (direct == kDirectString) return lexString(lval, at);
        if (direct == kDirectNumber) return lexNumber(lval, at);
        if (direct == kDirectLongSymbol) return lexLongSymbol(lval, at);
        skipSpaceBefore(at);
        return END_OF_INPUT;
    }
    if ((direct & kDirectNeedsWordTest) != 0) {
        if (!m_wordMemo.covers(at)) return lexSymbolAlone(lval, at, direct);
        if (at < m_wordMemo.stop && m_wordBeforeParen) return lexSymbolBeforeParen(lval, at, direct);
    }
    return symbolToken(lval, at, direct);
}

// Whatever the direct table leaves: blanks first, then the commonest cases
// that the first unit alone settles (a string, "(", a symbol of one unit
// with no word before "("), and everything else in lexToken. One multiway
// branch on the lead class picks them out, where a chain of tests would
// each guess wrong now and then.
__attribute__((noinline, flatten)) int XLexer::lexAfterBlanks(yystype* lval) {
    skipBlanksBeforeToken();
    if (m_pos >= m_input.length()) return END_OF_INPUT;
    const unsigned short first = m_input[m_pos];
    switch (leadOf(first)) {
        case Lead::kQuote: return matchString(lval);
        // No word (and so no custom function) is before "(": the symbol it is.
        case Lead::kLeftParen: return matchSymbol(lval);
        // Only a custom function named by the word from here comes first.
        case Lead::kSymbol:
            if (!wordBeforeParen()) return matchWholeSymbol(lval, first);
            break;
        default: break;
    }
    return lexToken(lval);
}

// matchSymbol for a unit that is a one-unit symbol whatever follows.
int XLexer::matchWholeSymbol(yystype* lval, unsigned short first) {
    const XSymbolRow& row = gSymbolTable[xtokenindex::kSymbolIndex.whole[first] - 1];
    if (row.nodeId != eXNI_NONE) lval->value.kind = row.nodeId;
    consume(lval, 1);
    return row.token;
}

// Whether the word from the current position is followed by "(", that is,
// whether it may name a function. The answer is kept with the word; a
// symbol unit followed by spaces is answered without reading a word.
bool XLexer::wordBeforeParen() {
    if (m_wordMemo.covers(m_pos)) return m_pos < m_wordMemo.stop && m_wordBeforeParen;
    if (unitAt(m_pos + 1) == XToken::gcSpace) {
        size_t next = m_pos + 2;
        while (unitAt(next) == XToken::gcSpace) ++next;
        if (!mayStartBlanks(textAt(next))) return unitAt(next) == XToken::gcLeftParen;
    }
    return getStringTillWhitespaceOrLeftParen().length != 0 && m_wordBeforeParen;
}

// A one-unit symbol whose word is before "(": the word is offered to the
// context as a custom function first, as lexToken would offer it.
__attribute__((noinline)) int XLexer::lexSymbolBeforeParen(yystype* lval, size_t at, unsigned direct) {
    skipSpaceBefore(at);
    const int token = customFunctionToken(lval, {at, m_wordMemo.stop - at});
    return token != 0 ? token : symbolToken(lval, at, direct);
}

// The symbol at `at` when no word was read from there yet. Its word is
// read only when it may run up to "(": most often the symbol stands alone
// (spaces or the end of the text follow it).
__attribute__((noinline)) int XLexer::lexSymbolAlone(yystype* lval, size_t at, unsigned direct) {
    if (symbolWordBeforeParen(at + 1) != 0) return lexSymbolWord(lval, at, direct);
    return symbolToken(lval, at, direct);
}

// The same when the symbol's word may run up to "(". Kept apart: reading
// the word needs registers that the symbol alone would have to save.
__attribute__((noinline)) int XLexer::lexSymbolWord(yystype* lval, size_t at, unsigned direct) {
    skipSpaceBefore(at);
    getStringTillWhitespaceOrLeftParen();
    if (m_wordBeforeParen) return lexSymbolBeforeParen(lval, at, direct);
    return symbolToken(lval, at, direct);
}

// For a symbol that ends at `end` and from which no word was read yet: 0
// when its word is the symbol alone (spaces or the end of the text follow
// it) and no "(" follows, else 1 (a word that may name a custom function)
// or -1 (a longer word: unknown).
int XLexer::symbolWordBeforeParen(size_t end) const {
    const unsigned short* const text = m_input.getBuffer();
    size_t next = end;
    while (text[next] == XToken::gcSpace) ++next;
    const bool alone = next != end ? !mayStartBlanks(text + next) : text[next] == 0;
    if (!alone) return -1;
    return text[next] == XToken::gcLeftParen ? 1 : 0;
}

// A symbol of possibly more units, read as lexToken would read it when
// nothing before it in the order applies: its word names no function.
__attribute__((noinline)) int XLexer::lexLongSymbol(yystype* lval, size_t at) {
    const XSymbolRow* row = xtokenindex::matchSymbol(textAt(at));
    if (row == nullptr) return lexToken(lval);
    const size_t end = at + static_cast<size_t>(row->length);
    const bool call = m_wordMemo.covers(at) ? at < m_wordMemo.stop && m_wordBeforeParen
                                            : symbolWordBeforeParen(end) != 0;
    if (call) return lexToken(lval);
    if (row->nodeId != eXNI_NONE) lval->value.kind = row->nodeId;
    lval->begin = at;
    lval->end = end;
    m_curTokBegin = at;
    m_pos = end;
    return row->token;
}

// A number: what lexToken would do for it. A number is tried before any
// word, so no word test is needed.
__attribute__((noinline, flatten)) int XLexer::lexNumber(yystype* lval, size_t at) {
    skipSpaceBefore(at);
    const int token = matchNumber(lval);
    return token != 0 ? token : lexToken(lval);
}


int XLexer::symbolToken(yystype* lval, size_t at, unsigned direct) {
    const XSymbolRow& row = gSymbolTable[(direct & kDirectRowMask) - 1];
    if (row.nodeId != eXNI_NONE) lval->value.kind = row.nodeId;
    lval->begin = at;
    lval->end = at + 1;
    m_curTokBegin = at;
    m_pos = at + 1;
    return row.token;
}

// A string: what lexToken would do for it.
__attribute__((noinline, flatten)) int XLexer::lexString(yystype* lval, size_t at) {
    skipSpaceBefore(at);
    return matchString(lval);
}

