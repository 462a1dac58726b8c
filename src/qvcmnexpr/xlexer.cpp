// The lexer: reads an expression text token by token for the grammar driver.
//
// The matchers are tried in a fixed order (string, number, qualifier,
// custom function, symbol, built-in function, then the words that depend on
// the expression context); the order is part of the language, and lexToken
// below is its one statement. yylex itself, with the direct reading of the
// commonest tokens, is in xlexerfast.cpp and must stay equal to lexToken;
// only its word path (lexWord) is here, for speed (see there).
#include "xlexer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtoken.h"
#include "qvutils.h"
#include "xgrammartokens.h"
#include "xlexerfast.h"
#include "xtokenindex.h"
#include "xtokentables.h"

using namespace xgrammar;
using namespace xlexerfast;

namespace {

// Lines reported to the assertion handler; callers of the library know these
// two failures by them.
constexpr int kAssertLineZeroContext = 38;
constexpr int kAssertLineOwnedStrings = 50;

// The units that end an identifier; 0 is a control unit, so an identifier
// scan stops at the end of the text.
constexpr unsigned kEndsIdentifier = kXUnitInvalid | kXUnitControl | kXUnitSpaceToken;

// Every number form starts with a digit or the point.
bool mayStartNumber(unsigned short c) { return c == XToken::gcPeriod || isDigit(c); }

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

// The matchers in the order the language defines them, which is what
// yylex does: the first that reads a token wins. This is the lexer's one
// statement of that order; the direct reading of xlexerfast.cpp answers the
// commonest tokens without coming here and must give what this gives.
// flatten inlines the matchers: a token costs only a few dozen
// instructions, so calling them would take a good part of the lexer's time.
// What is seldom needed (errors, qualifiers, floating point, workflow words,
// runs of several blanks) is kept out of line.
__attribute__((noinline, flatten)) int XLexer::lexToken(yystype* lval) {
    skipBlanksBeforeToken();
    if (m_pos >= m_input.length()) return END_OF_INPUT;
    if (m_input[m_pos] == XToken::gcSingleQuote) return matchString(lval);
    int token = matchNumber(lval);
    if (token == 0) token = matchQualifier(lval);
    if (token == 0) {
        const Span word = getStringTillWhitespaceOrLeftParen();
        token = matchCustomFunction(lval, word);
        if (token == 0) token = matchSymbol(lval);
        if (token == 0) token = matchFunction(lval, word);
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

// yylex's direct reading of a word from an ASCII letter (xlexerfast.cpp):
// what lexToken does for it, without the tests that only other leads need.
// A letter starts no number, qualifier or symbol, and in a transformation
// the identifier always matches last. It lives here, beside the matchers it
// inlines, because most of the lexer's time is spent in it: compiled with
// them, it costs about 1% fewer instructions than from a unit of its own.
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
    lval->value.str = own(qvGetMsg(eQvMSG_UNCLOSED_STRING));
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

int XLexer::matchQualifier(yystype* lval) {
    if (!xtokenindex::mayStartQualifier(m_input[m_pos])) return 0;
    return qualifierToken(lval);
}

__attribute__((noinline, cold)) int XLexer::qualifierToken(yystype* lval) {
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

void XLexer::assignNonWflowErrMsgToken(yystype* lval) { assignFormattedErrMsgToken(lval, eQvMSG_NOT_ALLOWED_IN_WORKFLOW); }

void XLexer::assignNonTransErrMsgToken(yystype* lval) { assignFormattedErrMsgToken(lval, eQvMSG_NOT_ALLOWED_IN_TRANSFORMATION); }

__attribute__((noinline, cold)) void XLexer::assignFormattedErrMsgToken(yystype* lval, int msgId) {
    const QvUString format = qvGetMsg(msgId);
    QvUString message;
    message.sprint(format.getBuffer(), getCurTokText().getBuffer());
    lval->value.str = own(message);
}

__attribute__((noinline, cold)) QvUString* XLexer::sharedInvalidTokenMessage() {
    if (m_invalidTokenMessage == nullptr) m_invalidTokenMessage = own(qvGetMsg(eQvMSG_INVALID_TOKEN));
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
