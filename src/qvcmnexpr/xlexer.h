// The lexer of the expression language: turns one expression text into the
// tokens that the grammar driver pulls one at a time, with UTF-16 positions
// and semantic values. It narrows its copy of the expression context
// (transformation or workflow) as soon as a word decides it, and asks the
// caller's context about mapping variables, workflow variables and custom
// functions. Whatever it cannot read becomes a LEXERROR token carrying a
// catalogued message: the lexer itself never fails.
//
// Every scan stops at the text's terminating 0 unit, and the scans that could
// otherwise be repeated for each token of a long run (the word that may name
// a function, the identifier, the look-ahead for "(") remember where they
// ended, so lexing stays linear in the length of the text.
//
// The lexer runs once per unit of every expression text, so its inner loops
// test units against tables derived at load time (XUnitClasses), keep the
// current token as a stretch of the input and copy it only when asked, and
// make the strings of semantic values in blocks.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "qvi18n.h"
#include "xyystype.h"

class XParserContext;

class XLexer {
public:
    // `context` is not owned and must have a non-zero expression context;
    // `text` is read in place (see setInputString).
    XLexer(const unsigned short* text, XParserContext* context, int allowRestrictedFuncs);
    virtual ~XLexer();
    // Every owned string is deleted exactly once, by the lexer that made it.
    XLexer(const XLexer&) = delete;
    XLexer& operator=(const XLexer&) = delete;

    // Takes a new text (up to its first 0 unit) and reads it from the start.
    // The text is read in place, not copied: it must stay unchanged and alive
    // until the lexer is destroyed or given another text. (The parser's
    // lexer lives for one parse of the caller's text; a copy per parse cost
    // more than any token.)
    void setInputString(const unsigned short* text);
    const QvUString& getInputString() const { return m_input; }
    // The text of the last token read, or of the white space and comments
    // skipped last. Copied from the input only when asked for, since the
    // lexer itself seldom needs it; the next token changes the content.
    const QvUString& getCurTokText() const;
    int getCurTokPosBegin() const;
    int getCurTokPosEnd() const;

    // The next token number (0 at the end of the text); `lval` receives the
    // positions and the semantic value.
    int yylex(yystype* lval);

    // ---- character classes; 1 or 0 ----
    int checkInValidToken(unsigned short c) const;
    int checkIsAnyControlToken(unsigned short c) const;
    int checkIsAnyDigitToken(unsigned short c) const;
    int checkValidPunctToken(unsigned short c) const;
    static int stc_checkIsAnySpaceToken(unsigned short c);

    // ---- white space and comments on 0-terminated UTF-16 text; each
    // returns the position after what it skipped (`p` when nothing) ----
    static const unsigned short* stc_lookaheadWhitespaces(const unsigned short* p);
    // One "//" or "--" comment, through the end of its line.
    static const unsigned short* stc_lookaheadComments(const unsigned short* p);
    static const unsigned short* stc_skipWhitespacesAndComments(const unsigned short* p);

    // Longest word offered to the context as a custom function name. Each
    // position of a run without white space starts a new candidate word, so
    // without a bound a long run before "(" would be copied once per token.
    static constexpr size_t kMaxCustomFunctionNameLength = 256;

protected:
    // A stretch of the input text: `length` code units from `begin`.
    struct Span {
        size_t begin;
        size_t length;
        size_t end() const { return begin + length; }
    };

    // Where a scan over a run stopped. The stop condition of these scans
    // depends only on the unit at the stop, so the result holds for every
    // start inside [from, stop].
    struct ScanMemo {
        size_t from = QvUString::npos;
        size_t stop = 0;
        bool covers(size_t pos) const { return from <= pos && pos <= stop; }
    };

    // yylex past its direct reading (xlexerfast.cpp): the matchers in the
    // order the language defines, the one statement of that order.
    int lexToken(yystype* lval);
    // The tokens yylex reads directly, at `at` after at most one space; each
    // gives what lexToken would.
    int lexSymbolAlone(yystype* lval, size_t at, unsigned direct);
    int lexSymbolWord(yystype* lval, size_t at, unsigned direct);
    int lexSymbolBeforeParen(yystype* lval, size_t at, unsigned direct);
    int symbolToken(yystype* lval, size_t at, unsigned direct);
    // The one space before `at` (at most one), skipped as lexToken would
    // skip it: the skipped space is the current token until the next one.
    void skipSpaceBefore(size_t at) {
        if (at != m_pos) setCurTok(m_pos);
        m_pos = at;
    }
    int lexWord(yystype* lval, size_t at);
    int lexString(yystype* lval, size_t at);
    int lexNumber(yystype* lval, size_t at);
    int lexLongSymbol(yystype* lval, size_t at);
    int lexAfterBlanks(yystype* lval);
    // matchSymbol for a unit that is a one-unit symbol whatever follows.
    int matchWholeSymbol(yystype* lval, unsigned short first);
    bool wordBeforeParen();
    int symbolWordBeforeParen(size_t end) const;
    // matchCustomFunction and matchFunction for a word known to be before
    // "(" (at `paren`).
    int customFunctionToken(yystype* lval, Span word);
    int functionToken(yystype* lval, Span word, size_t paren);
    int matchString(yystype* lval);
    int unclosedStringToken(yystype* lval);
    int matchNumber(yystype* lval);
    int matchFloat(yystype* lval);
    int matchDecimal(yystype* lval);
    int matchInt(yystype* lval);
    int matchQualifier(yystype* lval);
    int qualifierToken(yystype* lval);
    int matchSymbol(yystype* lval);
    int matchKeyword(yystype* lval, Span word);
    int matchFunction(yystype* lval, Span word);
    int matchCustomFunction(yystype* lval, Span word);
    int matchIdentifier(yystype* lval, Span word);
    int matchMapVariable(yystype* lval);
    int matchWflowVariable(yystype* lval);
    int doTransformationSpecificMatch(yystype* lval);
    int doWorkflowSpecificMatch(yystype* lval);

    // Number of consecutive digits from `from`.
    size_t findDigits(size_t from) const;
    // The identifier at the current position, with a period that ends it.
    Span getIdentifier();
    // The identifier by the Unicode character classes; yylex does not use it.
    Span getICUBasedIdentifier() const;
    // The text up to white space, a comment, "(" or the end: the candidate
    // name of a custom or built-in function.
    Span getStringTillWhitespaceOrLeftParen();
    // `from` < 0: skips from the current position and makes the skipped text
    // the current token text. `from` >= 0: only looks ahead from there.
    // Returns the number of code units skipped.
    size_t skipWhitespacesAndComments(std::ptrdiff_t from);
    // A token of the `length` units at the current position whose value is
    // a new string with that text.
    void assignStringToken(yystype* lval, size_t length);
    // eQvMSG_NOT_ALLOWED_IN_WORKFLOW and eQvMSG_NOT_ALLOWED_IN_TRANSFORMATION,
    // formatted with the current token text.
    void assignNonWflowErrMsgToken(yystype* lval);
    void assignNonTransErrMsgToken(yystype* lval);

    int getXprContext() const { return m_xprContext; }

private:
    // Owner of the strings handed out as semantic values. The first ones
    // live in the lexer itself and later ones in blocks of growing size, so
    // a token's string costs no allocation of its own (a text longer than
    // QvUString's inline room still allocates its units). A slot holds a
    // string only once one is made in it; every string lives until the
    // lexer is destroyed.
    class StringArena {
    public:
        StringArena() = default;
        ~StringArena() {
            if (m_mayOwnHeap) destroyAll();
        }
        StringArena(const StringArena&) = delete;
        StringArena& operator=(const StringArena&) = delete;

        // `readable` as for QvUString's constructor of that form.
        QvUString* make(const unsigned short* text, size_t length, size_t readable);
        bool hasRoom() const { return m_next != m_limit; }

    private:
        union Slot {
            Slot() {}
            ~Slot() {}
            QvUString string;
        };
        struct Block {
            std::unique_ptr<Slot[]> slots;
            size_t size;
        };
        // Makes a new block the newest storage.
        void grow();
        void destroyAll();
        static void destroy(Slot* slots, size_t count);

        static constexpr size_t kInlineSlots = 16;
        Slot m_inline[kInlineSlots];
        // Whether a string may hold a heap buffer. The lexer's readers only
        // read the strings, so one made no longer than QvUString's inline
        // room never gets one, and then none needs destroying.
        bool m_mayOwnHeap = false;
        std::vector<Block> m_blocks;
        // The free slots of the newest storage (m_inline until a block
        // exists): [m_next, m_limit). The slots before m_next hold strings.
        Slot* m_next = m_inline;
        Slot* m_limit = m_inline + kInlineSlots;
    };

    unsigned short unitAt(size_t pos) const { return pos < m_input.length() ? m_input[pos] : 0; }
    const unsigned short* textAt(size_t pos) const { return m_input.getBuffer() + pos; }
    // Makes the `length` units at the current position the current token
    // text and moves past them; `lval` gets the positions.
    void consume(yystype* lval, size_t length);
    // Makes [begin, m_pos) the current token.
    void setCurTok(size_t begin) { m_curTokBegin = begin; }
    // Step 1 of yylex: skips the white space and comments at the current
    // position, as skipWhitespacesAndComments(-1).
    void skipBlanksBeforeToken();
    // The position after the white space and comments that follow `pos`.
    size_t nextAfterBlanks(size_t pos);
    bool parenFollows(size_t pos);
    // The lengths of the three number forms at the current position, 0
    // where a form is not there; one scan answers all three, as matchNumber
    // would otherwise read the digits once per form.
    struct NumberForms {
        size_t floatLength;
        size_t decimalLength;
        size_t intLength;
    };
    NumberForms numberForms() const;
    // The first unit from `p` on that is not a digit, or `end`.
    static const unsigned short* skipDigits(const unsigned short* p, const unsigned short* end);
    int decimalToken(yystype* lval, size_t length);
    // A CONST_FLOAT token of the `length` units at the current position.
    int assignFloatToken(yystype* lval, size_t length);
    void assignFormattedErrMsgToken(yystype* lval, int msgId);
    // A new string owned by the lexer.
    QvUString* own(const unsigned short* text, size_t length, size_t readable);
    QvUString* ownAny(const unsigned short* text, size_t length, size_t readable);
    QvUString* own(const QvUString& text) { return own(text.getBuffer(), text.length(), text.length() + 1); }
    // The `length` units of the text at `pos`; the text goes on to its 0 unit.
    QvUString* ownInput(size_t pos, size_t length) { return own(textAt(pos), length, readableAt(pos)); }
    size_t readableAt(size_t pos) const { return m_input.length() + 1 - pos; }
    QvUString* sharedInvalidTokenMessage();

    XParserContext* m_context;
    // The caller's text, borrowed (see setInputString).
    QvUString m_input;
    size_t m_pos;
    // The current token is [m_curTokBegin, m_pos) of the input;
    // m_curTokText is its copy as of the last getCurTokText, for the range
    // [m_curTokTextBegin, m_curTokTextEnd).
    size_t m_curTokBegin = 0;
    mutable QvUString m_curTokText;
    mutable size_t m_curTokTextBegin = 0;
    mutable size_t m_curTokTextEnd = 0;
    StringArena m_ownedStrings;
    int m_xprContext;
    int m_allowRestrictedFuncs;

    // Scan results reused while the position stays inside the scanned run.
    ScanMemo m_wordMemo;
    // Whether "(" follows the word of m_wordMemo (after blanks): the same
    // answer for every start inside it, and asked for every token.
    bool m_wordBeforeParen = false;
    ScanMemo m_identifierMemo;
    size_t m_blanksFrom = QvUString::npos;
    size_t m_blanksTo = 0;
    // The word put to the context as a custom function name. It borrows
    // m_candidateUnits, so that no candidate, however long, costs an
    // allocation; a short one is copied there as one block of
    // kCandidateBlock units.
    QvUString m_candidateName;
    static constexpr size_t kCandidateBlock = 16;
    unsigned short m_candidateUnits[kMaxCustomFunctionNameLength + 1];
    // One copy of eQvMSG_INVALID_TOKEN serves every unreadable unit.
    QvUString* m_invalidTokenMessage = nullptr;
};
