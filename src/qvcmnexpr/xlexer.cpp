// The lexer: reads an expression text token by token for the grammar driver.
//
// yylex tries its matchers in a fixed order (string, number, qualifier,
// custom function, symbol, built-in function, then the words that depend on
// the expression context); the order is part of the language, so the
// matchers below are kept small and yylex reads as that list.
#include "xlexer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "qvcmnasrt.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtoken.h"
#include "qvutils.h"
#include "xgrammartokens.h"
#include "xtokenindex.h"
#include "xtokentables.h"

using namespace xgrammar;

namespace {

// Lines reported to the assertion handler; callers of the library know these
// two failures by them.
constexpr int kAssertLineZeroContext = 38;
constexpr int kAssertLineOwnedStrings = 50;

// Catalogue messages of the lexer.
constexpr int kMsgInvalidToken = 19081;
constexpr int kMsgUnclosedString = 19082;
constexpr int kMsgNotInTransformation = 19106;
constexpr int kMsgNotInWorkflow = 19107;

bool hasTransformationBit(int context) { return (context & eXXC_TRANSFORMATION) != 0; }
bool hasWorkflowBit(int context) { return (context & eXXC_WORKFLOW) != 0; }

// The units that end an identifier; 0 is a control unit, so an identifier
// scan stops at the end of the text.
constexpr unsigned kEndsIdentifier = kXUnitInvalid | kXUnitControl | kXUnitSpaceToken;

bool isHostSpace(unsigned short c) { return gXUnitClasses.any(c, kXUnitHostSpace); }
bool isDigit(unsigned short c) { return gXUnitClasses.any(c, kXUnitDigit); }

// Every number form starts with a digit or the point.
bool mayStartNumber(unsigned short c) { return c == XToken::gcPeriod || isDigit(c); }

bool isCommentStart(const unsigned short* p) {
    return (p[0] == XToken::gcSolidus && p[1] == XToken::gcSolidus) ||
           (p[0] == XToken::gcHyphenMinus && p[1] == XToken::gcHyphenMinus);
}

// Whether white space or a comment may start at `p`: the test that lets the
// skip before every token return at once.
bool mayStartBlanks(const unsigned short* p) { return gXUnitClasses.any(*p, kXUnitBlankStart); }

// The number of units of white space and comments at `p`. Tokens are most
// often apart by one blank, which is answered without the general loop.
size_t blanksLength(const unsigned short* p) {
    if (isHostSpace(p[0]) && !mayStartBlanks(p + 1)) return 1;
    return static_cast<size_t>(XLexer::stc_skipWhitespacesAndComments(p) - p);
}

// Where a word that may name a function ends; the class test alone settles
// all but the units that may start a comment.
bool endsFunctionWord(const unsigned short* p) {
    if (!gXUnitClasses.any(*p, kXUnitWordBreak)) return false;
    return *p == 0 || isHostSpace(*p) || *p == XToken::gcLeftParen || isCommentStart(p);
}

// The number of units before the 0 unit, eight at a time. The loads are of
// 16-byte blocks aligned to 16 bytes: such a block never reaches into
// another page, so the one that holds the 0 unit can be read whole without
// any risk of a fault; lanes before `text` are ignored and nothing after the
// 0 unit is used. Reading past the end of the text that way is also why the
// address and thread sanitizers must not check this function: the bytes
// after the 0 unit may belong to another thread's object.
size_t unitCountByUnit(const unsigned short* text) {
    const unsigned short* p = text;
    while (*p != 0) ++p;
    return static_cast<size_t>(p - text);
}

#if defined(__SSE2__)
__attribute__((no_sanitize("address", "thread"))) size_t unitCount(const unsigned short* text) {
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
size_t unitCount(const unsigned short* text) { return unitCountByUnit(text); }
#endif

// What the first unit of a token says about it; see yylex.
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

// ASCII letters, digits and the underscore: units that continue every
// identifier and every word, and make up most of the units of a text.
bool isAsciiWordUnit(unsigned short c) {
    return static_cast<unsigned>((c | 0x20) - 'a') <= 'z' - 'a' || static_cast<unsigned>(c - '0') <= 9 ||
           c == XToken::gcUnderScore;
}

#if defined(__SSE2__)
// Per 16-bit lane: all ones where lo <= v <= hi.
__m128i unitsInRange(__m128i v, unsigned short lo, unsigned short hi) {
    const __m128i offset = _mm_sub_epi16(v, _mm_set1_epi16(static_cast<short>(lo)));
    const __m128i above = _mm_subs_epu16(offset, _mm_set1_epi16(static_cast<short>(hi - lo)));
    return _mm_cmpeq_epi16(above, _mm_setzero_si128());
}
#endif

// The first unit in [p, end) that is no ASCII word unit, or `end`. Names
// are most of a text, and testing their units eight at a time halves the
// cost of the words; no load reaches past `end`.
const unsigned short* skipAsciiWordUnits(const unsigned short* p, const unsigned short* end) {
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

// What yylex reads directly, by the first unit of a token: a word from an
// ASCII letter, a string, and the symbols of one unit. A symbol is 1 + its
// row, with kDirectNeedsWordTest unless no word can be before it (only "("
// ends every word). A unit that may start a comment is left out ("--" and
// "//" are no symbols), and so are the units that start longer symbols or
// may start a number or a qualifier: lexToken reads those.
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


// The first and the largest block of the string arena: a text that needs
// more strings than the lexer holds inline is usually a long one.
constexpr size_t kFirstStringBlock = 64;
constexpr size_t kLastStringBlock = 1024;

}  // namespace

// ===== construction =====

XLexer::XLexer(const unsigned short* text, XParserContext* context, int allowRestrictedFuncs)
    : m_context(context), m_pos(0), m_xprContext(0), m_allowRestrictedFuncs(allowRestrictedFuncs) {
    QV_ASSERT(context != nullptr, "xlexer");
    m_xprContext = context->getXpressionContext();
    if (m_xprContext == 0) QvAssertHandler("xlexer", kAssertLineZeroContext);
    setInputString(text);
}

XLexer::~XLexer() = default;

void XLexer::setInputString(const unsigned short* text) {
    if (text != nullptr)
        m_input.assignBorrowed(text, unitCount(text));
    else
        m_input.makeEmpty();
    // A new text is read from its start; nothing scanned in the old one holds.
    m_pos = 0;
    m_curTokBegin = 0;
    m_curTokTextBegin = QvUString::npos;
    m_wordMemo = ScanMemo();
    m_identifierMemo = ScanMemo();
    m_blanksFrom = QvUString::npos;
}

int XLexer::getCurTokPosBegin() const { return static_cast<int>(m_curTokBegin); }

const QvUString& XLexer::getCurTokText() const {
    if (m_curTokTextBegin != m_curTokBegin || m_curTokTextEnd != m_pos) {
        m_curTokText.assign(textAt(m_curTokBegin), m_pos - m_curTokBegin);
        m_curTokTextBegin = m_curTokBegin;
        m_curTokTextEnd = m_pos;
    }
    return m_curTokText;
}

int XLexer::getCurTokPosEnd() const { return static_cast<int>(m_pos); }

// ===== the token loop =====

// Punctuation is half the tokens of a text, and each costs only a few
// instructions when read directly; the general path around the matchers
// costs several times that in its own setting up. So the commonest tokens
// after at most one space are read here (a symbol whose word is known not
// to name a function, a word, a string), and everything else goes to
// lexToken. Nothing is changed before the choice, so lexToken starts from
// the same state either way. Every call here is the last thing done, which
// keeps this path free of the register saving a call in between would need.
int XLexer::yylex(yystype* lval) {
    const unsigned short* const text = m_input.getBuffer();
    const size_t at = m_pos + (text[m_pos] == XToken::gcSpace ? 1 : 0);
    const unsigned short first = text[at];
    const unsigned direct = first < 0x80 ? kDirect.ascii[first] : 0;
    if (direct == 0) return lexToken(lval);
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

// The one space before `at` (at most one), skipped as lexToken would skip
// it: the skipped space is the current token until the next one is read.
void XLexer::skipSpaceBefore(size_t at) {
    if (at != m_pos) setCurTok(m_pos);
    m_pos = at;
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

// A word from an ASCII letter: what lexToken would do for it, without the
// tests that only other leads need. A letter starts no number, qualifier or
// symbol, and in a transformation the identifier always matches last.
__attribute__((noinline, flatten)) int XLexer::lexWord(yystype* lval, size_t at) {
    if (!hasTransformationBit(m_xprContext)) return lexToken(lval);
    skipSpaceBefore(at);
    const Span word = getStringTillWhitespaceOrLeftParen();
    int token = 0;
    if (m_wordBeforeParen) {
        // matchCustomFunction, then matchFunction, with the look-ahead for
        // "(" that the word has made already.
        token = customFunctionToken(lval, word);
        if (token == 0) token = functionToken(lval, word, nextAfterBlanks(word.end()));
        if (token != 0) return token;
    }
    return doTransformationSpecificMatch(lval);
}


// Each matcher is tried only where its token can start (a test on the first
// unit, which the matcher would make first anyway); the order is unchanged.
// The matchers stay separate functions for reading and for tests, but a
// token costs only a few dozen instructions, so calling them took a fifth of
// the lexer's time: flatten inlines them here. What is seldom needed
// (errors, qualifiers, floating point, workflow words, runs of several
// blanks, new blocks of strings) is kept out of line, so that the paths
// every token takes lie close together.
//
// The first unit alone settles the commonest cases (a string, a number, an
// opening parenthesis); one multiway branch on its lead class picks them
// out, where a chain of tests would each guess wrong now and then.
__attribute__((noinline, flatten)) int XLexer::lexToken(yystype* lval) {
    skipBlanksBeforeToken();
    if (m_pos >= m_input.length()) return END_OF_INPUT;
    const unsigned short first = m_input[m_pos];
    int token = 0;
    switch (leadOf(first)) {
        case Lead::kQuote: return matchString(lval);
        // A lone "." is no number and goes on as any other unit.
        case Lead::kNumber: token = matchNumber(lval); break;
        // No word (and so no custom function) is before "(": the symbol it is.
        case Lead::kLeftParen: return matchSymbol(lval);
        case Lead::kQualifier: token = matchQualifier(lval); break;
        // Only a custom function named by the word from here comes first.
        case Lead::kSymbol:
            if (!wordBeforeParen()) return matchWholeSymbol(lval, first);
            break;
        case Lead::kOther: break;
    }
    if (token == 0) {
        const Span word = getStringTillWhitespaceOrLeftParen();
        // Both function matchers want the word before "("; most words are
        // not, and that is found out once here.
        const bool call = word.length != 0 && m_wordBeforeParen;
        if (call) token = matchCustomFunction(lval, word);
        if (token == 0 && xtokenindex::mayStartSymbol(first)) token = matchSymbol(lval);
        if (token == 0 && call) token = matchFunction(lval, word);
    }
    if (token == 0 && hasTransformationBit(m_xprContext)) token = doTransformationSpecificMatch(lval);
    if (token == 0 && hasWorkflowBit(m_xprContext)) {
        token = doWorkflowSpecificMatch(lval);
        // A workflow word settles the kind of the expression.
        if (token != 0) m_xprContext &= ~eXXC_TRANSFORMATION;
    }
    if (token != 0) return token;

    lval->value.str = sharedInvalidTokenMessage();
    lval->begin = m_pos;
    lval->end = m_pos;
    setCurTok(m_pos++);
    return LEXERROR;
}

// ===== literals =====

int XLexer::matchString(yystype* lval) {
    const unsigned short* const end = textAt(m_input.length());
    const unsigned short* const quote = std::find(textAt(m_pos + 1), end, XToken::gcSingleQuote);
    if (quote == end) return unclosedStringToken(lval);
    const size_t contentLength = static_cast<size_t>(quote - textAt(m_pos + 1));
    lval->value.str = ownInput(m_pos + 1, contentLength);
    consume(lval, contentLength + 2);
    return CONST_STR;
}

// Kept out of line: the message's temporary string would make every string
// pay for a stack frame.
__attribute__((noinline, cold)) int XLexer::unclosedStringToken(yystype* lval) {
    lval->value.str = own(qvGetMsg(kMsgUnclosedString));
    consume(lval, m_input.length() - m_pos);
    return LEXERROR;
}

size_t XLexer::findDigits(size_t from) const {
    if (from >= m_input.length()) return 0;
    return static_cast<size_t>(skipDigits(textAt(from), textAt(m_input.length())) - textAt(from));
}

const unsigned short* XLexer::skipDigits(const unsigned short* p, const unsigned short* end) {
    while (p != end && isDigit(*p)) ++p;
    return p;
}

// Digits, then "." with digits on at least one side of it, then an exponent
// with at least one digit: each part extends the one before.
XLexer::NumberForms XLexer::numberForms() const {
    const unsigned short* const start = textAt(m_pos);
    const unsigned short* const end = textAt(m_input.length());
    const unsigned short* p = skipDigits(start, end);
    NumberForms forms{0, 0, static_cast<size_t>(p - start)};
    if (p != end && *p == XToken::gcPeriod) {
        const unsigned short* fractionEnd = skipDigits(p + 1, end);
        // A lone "." has no digit on either side and is no part of a number.
        if (fractionEnd - start > 1) {
            p = fractionEnd;
            forms.decimalLength = static_cast<size_t>(p - start);
        }
    }
    if (p == start || p == end || (*p != XToken::gcUpperE && *p != XToken::gcLowerE)) return forms;
    const unsigned short* exponent = p + 1;
    if (exponent != end && (*exponent == XToken::gcPlus || *exponent == XToken::gcMinus)) ++exponent;
    const unsigned short* exponentEnd = skipDigits(exponent, end);
    if (exponentEnd != exponent) forms.floatLength = static_cast<size_t>(exponentEnd - start);
    return forms;
}

__attribute__((noinline, cold)) int XLexer::assignFloatToken(yystype* lval, size_t length) {
    consume(lval, length);
    // Converted from the token's own copy: the host reads as far as a number
    // could go, and the literal is exactly that far.
    lval->value.dbl = qvUStrtod(getCurTokText().getBuffer(), nullptr);
    return CONST_FLOAT;
}

int XLexer::matchNumber(yystype* lval) {
    if (!mayStartNumber(m_input[m_pos])) return 0;
    const NumberForms forms = numberForms();
    if (forms.floatLength != 0) return assignFloatToken(lval, forms.floatLength);
    if (forms.decimalLength != 0) return decimalToken(lval, forms.decimalLength);
    if (forms.intLength == 0) return 0;
    assignStringToken(lval, forms.intLength);
    return CONST_INT;
}

int XLexer::matchFloat(yystype* lval) {
    const size_t length = numberForms().floatLength;
    return length == 0 ? 0 : assignFloatToken(lval, length);
}

int XLexer::matchDecimal(yystype* lval) {
    const size_t length = numberForms().decimalLength;
    return length == 0 ? 0 : decimalToken(lval, length);
}

int XLexer::decimalToken(yystype* lval, size_t length) {
    // Decimal literals exist only in transformations; a workflow (or a text
    // that may still be one) reads them as floating point.
    if (hasWorkflowBit(m_xprContext)) return assignFloatToken(lval, length);
    assignStringToken(lval, length);
    return CONST_DECIMAL;
}

int XLexer::matchInt(yystype* lval) {
    const size_t length = findDigits(m_pos);
    if (length == 0) return 0;
    assignStringToken(lval, length);
    return CONST_INT;
}

// ===== punctuation and qualifiers =====

__attribute__((noinline, cold)) int XLexer::matchQualifier(yystype* lval) {
    // A qualifier is only ever its own ASCII letters, one unit each: case
    // folding must not equate "\uFB02" with "FL" or U+212A with "K".
    const XQualifierRow* row = xtokenindex::matchQualifier(textAt(m_pos));
    if (row == nullptr) return 0;
    const size_t length = static_cast<size_t>(row->length);
    if (!hasTransformationBit(m_xprContext)) {
        consume(lval, length);
        assignNonWflowErrMsgToken(lval);
        return LEXERROR;
    }
    // Qualified references exist only in transformations.
    m_xprContext &= ~eXXC_WORKFLOW;
    assignStringToken(lval, length);
    return row->token;
}

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

int XLexer::matchSymbol(yystype* lval) {
    const XSymbolRow* row = xtokenindex::matchSymbol(textAt(m_pos));
    if (row == nullptr) return 0;
    if (row->nodeId != eXNI_NONE) lval->value.kind = row->nodeId;
    consume(lval, static_cast<size_t>(row->length));
    return row->token;
}

// ===== words =====

int XLexer::matchKeyword(yystype* lval, Span word) {
    const XKeywordRow* row = xtokenindex::lookupKeyword(textAt(word.begin), word.length, readableAt(word.begin));
    if (row == nullptr) return 0;
    // A workflow-only keyword in a transformation is an ordinary name there.
    if (!hasWorkflowBit(m_xprContext) && !hasTransformationBit(row->domain)) return 0;
    lval->value.kind = row->semanticValue();
    consume(lval, word.length);
    if (!hasTransformationBit(m_xprContext) && !hasWorkflowBit(row->domain)) {
        assignNonWflowErrMsgToken(lval);
        return LEXERROR;
    }
    if (m_xprContext == (eXXC_TRANSFORMATION | eXXC_WORKFLOW)) m_xprContext = row->domain;
    return row->token;
}

int XLexer::matchFunction(yystype* lval, Span word) {
    if (word.length == 0) return 0;
    // The look-ahead first: matchCustomFunction has just made it for the same
    // word, and most words are no call at all.
    const size_t paren = nextAfterBlanks(word.end());
    if (unitAt(paren) != XToken::gcLeftParen) return 0;
    return functionToken(lval, word, paren);
}

int XLexer::functionToken(yystype* lval, Span word, size_t paren) {
    const XFunctionRow* row = xtokenindex::lookupFunction(textAt(word.begin), word.length, readableAt(word.begin));
    if (row == nullptr) return 0;
    // Refused before anything is consumed, so that the name is still read,
    // as an ordinary name.
    if (row->isRestricted() && m_allowRestrictedFuncs == 0) return 0;
    lval->value.kind = row->nodeId;
    consume(lval, paren - m_pos);

    const int domain = row->domain & ~eXXC_RESTRICTED;
    if (m_xprContext == (eXXC_TRANSFORMATION | eXXC_WORKFLOW)) {
        m_xprContext = domain;
    } else if (m_xprContext == eXXC_WORKFLOW && !hasWorkflowBit(domain)) {
        assignNonWflowErrMsgToken(lval);
        return LEXERROR;
    } else if (m_xprContext == eXXC_TRANSFORMATION && !hasTransformationBit(domain)) {
        assignNonTransErrMsgToken(lval);
        return LEXERROR;
    }
    return row->token;
}

int XLexer::matchCustomFunction(yystype* lval, Span word) {
    if (word.length == 0 || word.length > kMaxCustomFunctionNameLength) return 0;
    // The cheap test first: only a word before "(" is worth a question to
    // the context.
    if (unitAt(nextAfterBlanks(word.end())) != XToken::gcLeftParen) return 0;
    return customFunctionToken(lval, word);
}

int XLexer::customFunctionToken(yystype* lval, Span word) {
    if (word.length > kMaxCustomFunctionNameLength) return 0;
    // The candidate is copied into the lexer's own room, which the string
    // borrows: in runs of tokens without a space before "(" every token
    // offers one, and they are long. A short one is copied as one block.
    const unsigned short* name = textAt(word.begin);
    if (word.length < kCandidateBlock && readableAt(word.begin) >= kCandidateBlock)
        std::memcpy(m_candidateUnits, name, kCandidateBlock * sizeof(unsigned short));
    else
        std::copy_n(name, word.length, m_candidateUnits);
    m_candidateUnits[word.length] = 0;
    m_candidateName.assignBorrowed(m_candidateUnits, word.length);
    if (m_context->containsValidExtFunc(m_candidateName) == 0) return 0;
    // The white space before "(" is left for the next call. The grammar
    // action takes the name over.
    lval->text = new QvUString(m_candidateName);
    consume(lval, word.length);
    return XEXTFUNC;
}

int XLexer::matchIdentifier(yystype* lval, Span word) {
    size_t length = word.length;
    // The period that ended the identifier is the next token.
    if (length > 0 && unitAt(word.end() - 1) == XToken::gcPeriod) --length;
    assignStringToken(lval, length);
    return NAME;
}

int XLexer::matchMapVariable(yystype* lval) {
    size_t length = 0;
    if (m_context->containsValidTokenMapVar(m_input, m_pos, length) == 0) return 0;
    // An empty or overlong answer would stall the lexer or read past the text.
    if (length == 0 || length > m_input.length() - m_pos) return 0;
    assignStringToken(lval, length);
    return MAPVAR;
}

int XLexer::matchWflowVariable(yystype* lval) {
    size_t length = 0;
    int preDefined = 0;
    if (m_context->containsValidTokenWflowVar(m_input, m_pos, length, preDefined) == 0) return 0;
    if (length == 0 || length > m_input.length() - m_pos) return 0;
    assignStringToken(lval, length);
    return preDefined != 0 ? WFVAR_PRE_DEFINED : WFVAR_USER_DEFINED;
}

int XLexer::doTransformationSpecificMatch(yystype* lval) {
    int token = matchMapVariable(lval);
    if (token != 0) return token;
    const Span word = getIdentifier();
    if (word.length == 0) return 0;
    token = matchKeyword(lval, word);
    return token != 0 ? token : matchIdentifier(lval, word);
}

__attribute__((noinline)) int XLexer::doWorkflowSpecificMatch(yystype* lval) {
    int token = matchWflowVariable(lval);
    if (token != 0) return token;
    const Span word = getIdentifier();
    if (word.length == 0) return 0;
    token = matchKeyword(lval, word);
    if (token == 0 && m_context->isPortAllowed() == 1) token = matchIdentifier(lval, word);
    return token;
}

// ===== scanning =====

XLexer::Span XLexer::getIdentifier() {
    const unsigned short first = unitAt(m_pos);
    if (gXUnitClasses.any(first, kEndsIdentifier | kXUnitDigit)) return {m_pos, 0};
    if (!m_identifierMemo.covers(m_pos)) {
        // The text ends in a 0 unit, which ends every identifier.
        const unsigned short* start = textAt(m_pos);
        const unsigned short* p = start;
        while (!gXUnitClasses.any(*p, kEndsIdentifier)) ++p;
        m_identifierMemo = {m_pos, m_pos + static_cast<size_t>(p - start)};
    }
    size_t end = m_identifierMemo.stop;
    if (unitAt(end) == XToken::gcPeriod) ++end;
    return {m_pos, end - m_pos};
}

XLexer::Span XLexer::getICUBasedIdentifier() const {
    auto continues = [this](unsigned short c) {
        if (checkValidPunctToken(c)) return true;
        return !qvUIsCntrl(c) && !qvUIsPunct(c) && !qvUIsSpace(c) && !checkInValidToken(c);
    };
    const unsigned short first = unitAt(m_pos);
    if (qvUIsAnyDigit(first) || !continues(first)) return {m_pos, 0};
    size_t end = m_pos + 1;
    while (continues(unitAt(end))) ++end;
    if (unitAt(end) == XToken::gcPeriod) ++end;
    return {m_pos, end - m_pos};
}

// Every unit that ends a word also ends an identifier, except white space
// outside ASCII; so the identifier from the same start is found on the way
// and getIdentifier need not scan it again.
XLexer::Span XLexer::getStringTillWhitespaceOrLeftParen() {
    if (!m_wordMemo.covers(m_pos)) {
        const unsigned short* start = textAt(m_pos);
        const unsigned short* p = start;
        p = skipAsciiWordUnits(p, textAt(m_input.length()));
        while (!gXUnitClasses.any(*p, kEndsIdentifier | kXUnitWordBreak)) ++p;
        const size_t identifierStop = m_pos + static_cast<size_t>(p - start);
        if (gXUnitClasses.any(*p, kEndsIdentifier)) m_identifierMemo = {m_pos, identifierStop};
        while (!endsFunctionWord(p)) ++p;
        m_wordMemo = {m_pos, m_pos + static_cast<size_t>(p - start)};
        m_wordBeforeParen = parenFollows(m_wordMemo.stop);
    }
    return {m_pos, m_wordMemo.stop - m_pos};
}

// Tokens are most often apart by one space: it is stepped over without a
// branch on the text, which would go either way from token to token.
void XLexer::skipBlanksBeforeToken() {
    const size_t start = m_pos;
    const unsigned short* p = textAt(start);
    const size_t space = *p == XToken::gcSpace ? 1 : 0;
    m_curTokBegin = space != 0 ? start : m_curTokBegin;
    m_pos = start + space;
    if (!mayStartBlanks(p + space)) return;
    // More blanks, or a comment: the skipped text runs from `start` all the same.
    if (skipWhitespacesAndComments(-1) > 0 && space != 0) setCurTok(start);
}

// Whether "(" follows `pos` (at most the end of the text) after blanks;
// most words are followed by one space or none.
bool XLexer::parenFollows(size_t pos) {
    const unsigned short* const p = textAt(pos);
    if (*p == XToken::gcSpace && !mayStartBlanks(p + 1)) return p[1] == XToken::gcLeftParen;
    if (!mayStartBlanks(p)) return *p == XToken::gcLeftParen;
    return unitAt(nextAfterBlanks(pos)) == XToken::gcLeftParen;
}

size_t XLexer::nextAfterBlanks(size_t pos) {
    if (!mayStartBlanks(textAt(pos))) return pos;
    if (pos != m_blanksFrom) {
        const size_t to = pos + skipWhitespacesAndComments(static_cast<std::ptrdiff_t>(pos));
        m_blanksFrom = pos;
        m_blanksTo = to;
    }
    return m_blanksTo;
}

size_t XLexer::skipWhitespacesAndComments(std::ptrdiff_t from) {
    const size_t start = from < 0 ? m_pos : static_cast<size_t>(from);
    if (start >= m_input.length() || !mayStartBlanks(textAt(start))) return 0;
    // The blanks after a word were measured when looking for its "(".
    const size_t skipped = start == m_blanksFrom ? m_blanksTo - start : blanksLength(textAt(start));
    if (from < 0 && skipped > 0) {
        m_pos += skipped;
        setCurTok(start);
    }
    return skipped;
}

const unsigned short* XLexer::stc_lookaheadWhitespaces(const unsigned short* p) {
    if (p == nullptr) return p;
    while (*p != 0 && isHostSpace(*p)) ++p;
    return p;
}

const unsigned short* XLexer::stc_lookaheadComments(const unsigned short* p) {
    if (p == nullptr || !isCommentStart(p)) return p;
    p += 2;
    while (*p != 0) {
        if (*p++ == XToken::gcNewLine) break;
    }
    return p;
}

__attribute__((noinline)) const unsigned short* XLexer::stc_skipWhitespacesAndComments(const unsigned short* p) {
    if (p == nullptr) return p;
    for (;;) {
        const unsigned short* next = stc_lookaheadComments(stc_lookaheadWhitespaces(p));
        if (next == p) return p;
        p = next;
    }
}

// ===== character classes =====

int XLexer::checkInValidToken(unsigned short c) const { return gXUnitClasses.any(c, kXUnitInvalid) ? 1 : 0; }

int XLexer::checkIsAnyControlToken(unsigned short c) const { return c <= 0x001F || c == 0x007F ? 1 : 0; }

int XLexer::checkIsAnyDigitToken(unsigned short c) const { return c >= '0' && c <= '9' ? 1 : 0; }

int XLexer::checkValidPunctToken(unsigned short c) const {
    return c == XToken::gcUnderScore || c == XToken::gcAtSign || c == XToken::gcPound ? 1 : 0;
}

int XLexer::stc_checkIsAnySpaceToken(unsigned short c) { return gXUnitClasses.any(c, kXUnitSpaceToken) ? 1 : 0; }

// ===== semantic values =====

void XLexer::consume(yystype* lval, size_t length) {
    lval->begin = m_pos;
    setCurTok(m_pos);
    m_pos += length;
    lval->end = m_pos;
}

void XLexer::assignStringToken(yystype* lval, size_t length) {
    lval->value.str = ownInput(m_pos, length);
    consume(lval, length);
}

void XLexer::assignNonWflowErrMsgToken(yystype* lval) { assignFormattedErrMsgToken(lval, kMsgNotInWorkflow); }

void XLexer::assignNonTransErrMsgToken(yystype* lval) { assignFormattedErrMsgToken(lval, kMsgNotInTransformation); }

__attribute__((noinline, cold)) void XLexer::assignFormattedErrMsgToken(yystype* lval, int msgId) {
    const QvUString format = qvGetMsg(msgId);
    QvUString message;
    message.sprint(format.getBuffer(), getCurTokText().getBuffer());
    lval->value.str = own(message);
}

__attribute__((noinline, cold)) QvUString* XLexer::sharedInvalidTokenMessage() {
    if (m_invalidTokenMessage == nullptr) m_invalidTokenMessage = own(qvGetMsg(kMsgInvalidToken));
    return m_invalidTokenMessage;
}

// Nearly every string is short and has room in the current block: that
// path calls nothing, so the tokens that make a string need no stack frame
// for it.
QvUString* XLexer::own(const unsigned short* text, size_t length, size_t readable) {
    if (m_ownedStrings.hasRoom() && text != nullptr && length <= QvUString::kInlineLength)
        return m_ownedStrings.make(text, length, readable);
    return ownAny(text, length, readable);
}

__attribute__((noinline)) QvUString* XLexer::ownAny(const unsigned short* text, size_t length, size_t readable) {
    try {
        return m_ownedStrings.make(text, length, readable);
    } catch (const std::bad_alloc&) {
        QvAssertHandler("xlexer", kAssertLineOwnedStrings);
        return nullptr;
    }
}

// ===== the string arena =====

QvUString* XLexer::StringArena::make(const unsigned short* text, size_t length, size_t readable) {
    if (!hasRoom()) grow();
    m_mayOwnHeap |= length > QvUString::kInlineLength;
    QvUString* string = new (&m_next->string) QvUString(text, length, readable);
    // Counted only once made: a string that fails to allocate holds nothing.
    ++m_next;
    return string;
}

// Doubling block sizes keep the number of blocks logarithmic in the number
// of strings, up to a size past which bigger blocks gain nothing.
__attribute__((noinline, cold)) void XLexer::StringArena::grow() {
    const size_t size = m_blocks.empty() ? kFirstStringBlock : std::min(2 * m_blocks.back().size, kLastStringBlock);
    m_blocks.reserve(m_blocks.size() + 1);
    m_blocks.push_back({std::make_unique<Slot[]>(size), size});
    m_next = m_blocks.back().slots.get();
    m_limit = m_next + size;
}

__attribute__((noinline, cold)) void XLexer::StringArena::destroyAll() {
    if (m_blocks.empty()) {
        destroy(m_inline, static_cast<size_t>(m_next - m_inline));
        return;
    }
    destroy(m_inline, kInlineSlots);
    for (size_t i = 0; i + 1 < m_blocks.size(); ++i) destroy(m_blocks[i].slots.get(), m_blocks[i].size);
    destroy(m_blocks.back().slots.get(), static_cast<size_t>(m_next - m_blocks.back().slots.get()));
}

void XLexer::StringArena::destroy(Slot* slots, size_t count) {
    for (size_t i = 0; i < count; ++i) slots[i].string.~QvUString();
}
