// Tests of the lexer: token streams with positions and semantic values, the
// narrowing of the expression context, the words the caller's context
// recognises, and texts no user would write on purpose (unclosed strings,
// stray and invalid units, huge literals and texts).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtoken.h"
#include "qvutils.h"
#include "xgrammartokens.h"
#include "xlexer.h"
#include "xtokentables.h"
#include "xparsetest.h"

using namespace xgrammar;

namespace {

using xparsetest::kTransformation;
using xparsetest::kUndecided;
using xparsetest::kWorkflow;

// The parser tests' context ($$name variables, $task.attribute workflow
// variables, custom functions in `extFuncs`), plus what the lexer tests
// need: a forced answer to every variable question and a count of the
// custom-function questions asked.
class LexTestContext : public xparsetest::TestContext {
public:
    explicit LexTestContext(int xprContext = kTransformation, int portAllowedAnswer = 1)
        : TestContext(xprContext) {
        portAllowed = portAllowedAnswer;
    }

    int containsValidTokenMapVar(const QvUString& text, size_t pos, size_t& length) override {
        if (forcedLength != kNoForcedLength) return answerForced(length);
        return TestContext::containsValidTokenMapVar(text, pos, length);
    }

    int containsValidTokenWflowVar(const QvUString& text, size_t pos, size_t& length, int& preDefined) override {
        if (forcedLength != kNoForcedLength) return answerForced(length);
        return TestContext::containsValidTokenWflowVar(text, pos, length, preDefined);
    }

    int containsValidExtFunc(const QvUString& name) override {
        ++extFuncQueries;
        extFuncNamesAsked.push_back(name.toUtf8());
        EXPECT_EQ(name.getBuffer()[name.length()], 0u);
        return TestContext::containsValidExtFunc(name);
    }

    static constexpr size_t kNoForcedLength = static_cast<size_t>(-1);
    // When set, every variable question is answered "yes" with this length.
    size_t forcedLength = kNoForcedLength;
    int extFuncQueries = 0;
    std::vector<std::string> extFuncNamesAsked;

private:
    int answerForced(size_t& length) const {
        length = forcedLength;
        return 1;
    }
};

// Gives the tests access to the protected helpers.
class TestLexer : public XLexer {
public:
    using XLexer::XLexer;
    using XLexer::assignNonTransErrMsgToken;
    using XLexer::assignNonWflowErrMsgToken;
    using XLexer::getICUBasedIdentifier;
    using XLexer::getIdentifier;
    using XLexer::getXprContext;
    using XLexer::skipWhitespacesAndComments;
    // yylex without its direct reading of the commonest tokens.
    int yylexByMatchers(yystype* lval) { return lexToken(lval); }
};

std::vector<unsigned short> units(const std::string& utf8) {
    const QvUString s = qvU(utf8);
    std::vector<unsigned short> out(s.getBuffer(), s.getBuffer() + s.length());
    out.push_back(0);
    return out;
}

std::vector<unsigned short> rawUnits(std::initializer_list<unsigned short> list) {
    std::vector<unsigned short> out(list);
    out.push_back(0);
    return out;
}

bool carriesString(int token) {
    switch (token) {
    case NAME: case MAPVAR: case WFVAR_PRE_DEFINED: case WFVAR_USER_DEFINED: case CONST_INT:
    case CONST_DECIMAL: case CONST_STR: case LEXERROR: case XTYPE: case XFLD: case XSD: case XSP:
    case XEXT: case XLKP: case XTD:
        return true;
    default:
        return false;
    }
}

// One token as the tests compare it: `value` is the text of a string value,
// the name of a custom function, or the number of a node kind / token.
struct Tok {
    int token;
    size_t begin;
    size_t end;
    std::string value;
    double dbl = 0;

    bool operator==(const Tok& o) const {
        return token == o.token && begin == o.begin && end == o.end && value == o.value;
    }
};

std::ostream& operator<<(std::ostream& os, const Tok& t) {
    const char* name = tokenName(t.token);
    return os << (name ? name : "?") << "(" << t.begin << "," << t.end << ")\"" << t.value << "\"";
}

constexpr int32_t kUntouched = -77;

Tok next(XLexer& lexer) {
    yystype lval{};
    lval.value.kind = kUntouched;
    lval.text = nullptr;
    Tok t{lexer.yylex(&lval), lval.begin, lval.end, {}};
    if (t.token == XEXTFUNC) {
        EXPECT_NE(lval.text, nullptr);
        t.value = lval.text->toUtf8();
        delete lval.text;  // the grammar action's job
    } else if (carriesString(t.token)) {
        t.value = lval.value.str->toUtf8();
    } else if (t.token == CONST_FLOAT) {
        t.dbl = lval.value.dbl;
    } else if (t.token != END_OF_INPUT) {
        t.value = std::to_string(lval.value.kind);
    }
    return t;
}

std::vector<Tok> lexAll(XLexer& lexer, size_t limit = 100000) {
    std::vector<Tok> out;
    for (Tok t = next(lexer); t.token != END_OF_INPUT; t = next(lexer)) {
        out.push_back(t);
        if (out.size() > limit) {
            ADD_FAILURE() << "the lexer does not stop";
            break;
        }
    }
    return out;
}

std::vector<Tok> lex(const std::string& text, int xprContext = kTransformation, int allowRestricted = 0) {
    LexTestContext context(xprContext);
    auto buffer = units(text);
    XLexer lexer(buffer.data(), &context, allowRestricted);
    return lexAll(lexer);
}

std::vector<int> tokensOf(const std::vector<Tok>& toks) {
    std::vector<int> out;
    for (const Tok& t : toks) out.push_back(t.token);
    return out;
}

std::string msg(int id) { return qvGetMsg(id).toUtf8(); }

std::string formattedMsg(int id, const std::string& tokenText) {
    QvUString out;
    out.sprint(qvGetMsg(id).getBuffer(), qvU(tokenText).getBuffer());
    return out.toUtf8();
}

std::string kind(EXNodeId id) { return std::to_string(static_cast<int>(id)); }
std::string kind(int token) { return std::to_string(token); }
const std::string kNoKind = std::to_string(kUntouched);

}  // namespace

// ===== the worked example =====

TEST(LexerTest, WorkedExampleInTransformation) {
    const std::vector<Tok> expected = {
        {XFUNC, 0, 3, kind(eXNI_IIF)},       {PAREN_LEFT, 3, 4, kNoKind},
        {XFUNC, 4, 10, kind(eXNI_ISNULL)},   {PAREN_LEFT, 10, 11, kNoKind},
        {NAME, 11, 16, "PRICE"},             {PAREN_RIGHT, 16, 17, kNoKind},
        {COMMA, 17, 18, kNoKind},            {CONST_INT, 19, 20, "0"},
        {COMMA, 20, 21, kNoKind},            {NAME, 22, 27, "PRICE"},
        {OPT_MULTIPLY, 28, 29, kind(eXNI_MULTIPLY)}, {CONST_DECIMAL, 30, 33, "1.5"},
        {PAREN_RIGHT, 33, 34, kNoKind},
    };
    EXPECT_EQ(lex("IIF(ISNULL(PRICE), 0, PRICE * 1.5) -- note"), expected);
}

TEST(LexerTest, WorkedExampleUndecidedReadsTheDecimalAsFloat) {
    const auto toks = lex("IIF(ISNULL(PRICE), 0, PRICE * 1.5) -- note", kUndecided);
    ASSERT_EQ(toks.size(), 13u);
    EXPECT_EQ(toks[11].token, CONST_FLOAT);
    EXPECT_EQ(toks[11].begin, 30u);
    EXPECT_EQ(toks[11].end, 33u);
    EXPECT_DOUBLE_EQ(toks[11].dbl, 1.5);
}

// ===== white space, comments, end of text =====

TEST(LexerTest, NothingButBlanksAndCommentsIsTheEnd) {
    for (const char* text : {"", "   ", "\t\r\n", "-- only a comment", "// one\n-- two\n  ", "--", "//\n"}) {
        SCOPED_TRACE(text);
        LexTestContext context;
        auto buffer = units(text);
        XLexer lexer(buffer.data(), &context, 0);
        yystype lval{};
        EXPECT_EQ(lexer.yylex(&lval), END_OF_INPUT);
        EXPECT_EQ(lexer.yylex(&lval), END_OF_INPUT) << "the end stays the end";
    }
}

TEST(LexerTest, CommentsRunToTheEndOfTheLine) {
    EXPECT_EQ(tokensOf(lex("x--comment\n+1")), (std::vector<int>{NAME, OPT_PLUS, CONST_INT}));
    EXPECT_EQ(tokensOf(lex("a--b")), std::vector<int>{NAME});
    EXPECT_EQ(tokensOf(lex("a//b")), std::vector<int>{NAME});
    EXPECT_EQ(tokensOf(lex("a // b\r\n- c")), (std::vector<int>{NAME, OPT_MINUS, NAME}));
    // A single "-" or "/" is an operator.
    EXPECT_EQ(tokensOf(lex("a-b/c")), (std::vector<int>{NAME, OPT_MINUS, NAME, OPT_BINARY_9, NAME}));
}

TEST(LexerTest, StaticSkippersStopAtTheRightUnit) {
    struct Case {
        const char* text;
        size_t whitespaces;  // stc_lookaheadWhitespaces
        size_t comment;      // stc_lookaheadComments
        size_t both;         // stc_skipWhitespacesAndComments
    };
    const Case cases[] = {
        {"", 0, 0, 0},
        {"x", 0, 0, 0},
        {"  x", 2, 0, 2},
        {"--a\nx", 0, 4, 4},
        {"//a", 0, 3, 3},
        {"-- a\n  // b\n\tx", 0, 5, 13},
        {" \t-- c", 2, 0, 6},
        {"-x", 0, 0, 0},
        {"/-x", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto buffer = units(c.text);
        const unsigned short* p = buffer.data();
        EXPECT_EQ(static_cast<size_t>(XLexer::stc_lookaheadWhitespaces(p) - p), c.whitespaces);
        EXPECT_EQ(static_cast<size_t>(XLexer::stc_lookaheadComments(p) - p), c.comment);
        EXPECT_EQ(static_cast<size_t>(XLexer::stc_skipWhitespacesAndComments(p) - p), c.both);
    }
    EXPECT_EQ(XLexer::stc_skipWhitespacesAndComments(nullptr), nullptr);
}

TEST(LexerTest, LookingAheadChangesNothing) {
    LexTestContext context;
    auto buffer = units("a  -- c\n  b");
    TestLexer lexer(buffer.data(), &context, 0);
    yystype lval{};
    ASSERT_EQ(lexer.yylex(&lval), NAME);
    EXPECT_EQ(lexer.skipWhitespacesAndComments(1), 9u);
    EXPECT_EQ(lexer.getCurTokPosEnd(), 1);
    EXPECT_EQ(lexer.getCurTokText().toUtf8(), "a");
    EXPECT_EQ(lexer.skipWhitespacesAndComments(100), 0u) << "beyond the text";
    EXPECT_EQ(lexer.skipWhitespacesAndComments(-1), 9u);
    EXPECT_EQ(lexer.getCurTokPosBegin(), 1);
    EXPECT_EQ(lexer.getCurTokPosEnd(), 10);
    EXPECT_EQ(lexer.getCurTokText().toUtf8(), "  -- c\n  ");
}

// The blanks skipped before the end are the last token text, however they
// are made up: the single space between tokens is skipped by a path of its own.
TEST(LexerTest, BlanksBeforeTheEndAreTheLastTokenText) {
    const struct {
        const char* text;
        int begin;
        const char* tokenText;
    } cases[] = {
        {"a", 0, "a"},          {"a ", 1, " "},           {"a   ", 1, "   "},        {"a\t ", 1, "\t "},
        {"a -- c", 1, " -- c"}, {"a//c\n ", 1, "//c\n "}, {" ", 0, " "},            {" -- c\n  ", 0, " -- c\n  "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        LexTestContext context;
        auto buffer = units(c.text);
        XLexer lexer(buffer.data(), &context, 0);
        yystype lval{};
        while (lexer.yylex(&lval) != END_OF_INPUT) {
        }
        EXPECT_EQ(lexer.getCurTokPosBegin(), c.begin);
        EXPECT_EQ(lexer.getCurTokText().toUtf8(), c.tokenText);
    }
    // A lone "-" or "/" after one space may start a comment but does not.
    EXPECT_EQ(tokensOf(lex("a - b / c")), (std::vector<int>{NAME, OPT_MINUS, NAME, OPT_BINARY_9, NAME}));
}

// The input is measured eight units at a time from 16-byte blocks; texts
// starting at every unit of a block and ending at every point of a round, in
// buffers with no room after the 0 unit, are read exactly to their end.
TEST(LexerTest, TextsAreMeasuredExactlyAtEveryAlignment) {
    for (size_t offsetBytes = 0; offsetBytes <= 16; offsetBytes += sizeof(unsigned short)) {
        for (size_t n = 0; n <= 20; ++n) {
            SCOPED_TRACE(testing::Message() << "offset " << offsetBytes << " length " << n);
            const size_t bytes = offsetBytes + (n + 1) * sizeof(unsigned short);
            std::unique_ptr<unsigned char[]> storage(new unsigned char[bytes]);
            auto* text = reinterpret_cast<unsigned short*>(storage.get() + offsetBytes);
            for (size_t i = 0; i <= n; ++i) {
                const unsigned short unit = i == n ? 0 : (i % 2 == 0 ? 'x' : ' ');
                std::memcpy(reinterpret_cast<unsigned char*>(text) + i * sizeof unit, &unit, sizeof unit);
            }
            LexTestContext context;
            XLexer lexer(text, &context, 0);
            EXPECT_EQ(lexer.getInputString().length(), n);
            EXPECT_EQ(lexAll(lexer).size(), (n + 1) / 2);
        }
    }
}

TEST(LexerTest, CurrentTokenPositions) {
    LexTestContext context;
    auto buffer = units("  iif  (x) ;");
    XLexer lexer(buffer.data(), &context, 0);
    yystype lval{};
    ASSERT_EQ(lexer.yylex(&lval), XFUNC);
    EXPECT_EQ(lexer.getCurTokPosBegin(), 2);
    EXPECT_EQ(lexer.getCurTokPosEnd(), 7);
    EXPECT_EQ(lexer.getCurTokText().toUtf8(), "iif  ");
    ASSERT_EQ(lexer.yylex(&lval), PAREN_LEFT);
    ASSERT_EQ(lexer.yylex(&lval), NAME);
    ASSERT_EQ(lexer.yylex(&lval), PAREN_RIGHT);
    ASSERT_EQ(lexer.yylex(&lval), LEXERROR);
    EXPECT_EQ(lexer.getCurTokPosBegin(), 11);
    EXPECT_EQ(lexer.getCurTokPosEnd(), 12);
    ASSERT_EQ(lexer.yylex(&lval), END_OF_INPUT);
}

// ===== strings =====

TEST(LexerTest, StringLiterals) {
    EXPECT_EQ(lex("'abc'"), (std::vector<Tok>{{CONST_STR, 0, 5, "abc"}}));
    EXPECT_EQ(lex("''"), (std::vector<Tok>{{CONST_STR, 0, 2, ""}}));
    // No escapes and no doubling: the first quote closes.
    EXPECT_EQ(lex("'it''s'"), (std::vector<Tok>{{CONST_STR, 0, 4, "it"}, {CONST_STR, 4, 7, "s"}}));
    EXPECT_EQ(lex("'a\\'"), (std::vector<Tok>{{CONST_STR, 0, 4, "a\\"}}));
    // Comment starts and white space inside a string are text.
    EXPECT_EQ(lex("' -- x // y\n'"), (std::vector<Tok>{{CONST_STR, 0, 13, " -- x // y\n"}}));
    EXPECT_EQ(lex("'\xC3\xA9t\xC3\xA9'"), (std::vector<Tok>{{CONST_STR, 0, 5, "\xC3\xA9t\xC3\xA9"}}));
}

TEST(LexerTest, UnclosedStringCoversTheRestOfTheText) {
    LexTestContext context;
    auto buffer = units("x || 'ab -- not a comment");
    XLexer lexer(buffer.data(), &context, 0);
    EXPECT_EQ(next(lexer).token, NAME);
    EXPECT_EQ(next(lexer).token, OPT_CONCAT);
    EXPECT_EQ(next(lexer), (Tok{LEXERROR, 5, 25, msg(19082)}));
    EXPECT_EQ(lexer.getCurTokText().toUtf8(), "'ab -- not a comment");
    EXPECT_EQ(next(lexer).token, END_OF_INPUT);
}

// ===== numbers =====

TEST(LexerTest, NumberForms) {
    struct Case {
        const char* text;
        int context;
        std::vector<int> tokens;
        const char* firstValue;  // string value of the first token, or null for floats
        double firstFloat;
    };
    const Case cases[] = {
        {"1.5e3", kTransformation, {CONST_FLOAT}, nullptr, 1500},
        {"15e2", kTransformation, {CONST_FLOAT}, nullptr, 1500},
        {"15E+2", kTransformation, {CONST_FLOAT}, nullptr, 1500},
        {"25e-1", kTransformation, {CONST_FLOAT}, nullptr, 2.5},
        {"5.e1", kTransformation, {CONST_FLOAT}, nullptr, 50},
        {".5e1", kTransformation, {CONST_FLOAT}, nullptr, 5},
        {"1.5", kTransformation, {CONST_DECIMAL}, "1.5", 0},
        {"5.", kTransformation, {CONST_DECIMAL}, "5.", 0},
        {".5", kTransformation, {CONST_DECIMAL}, ".5", 0},
        {"2.5", kWorkflow, {CONST_FLOAT}, nullptr, 2.5},
        {"2.5", kUndecided, {CONST_FLOAT}, nullptr, 2.5},
        {"15", kTransformation, {CONST_INT}, "15", 0},
        {"007", kWorkflow, {CONST_INT}, "007", 0},
        {"1e", kTransformation, {CONST_INT, NAME}, "1", 0},
        {"1e+", kTransformation, {CONST_INT, NAME, OPT_PLUS}, "1", 0},
        {"12ab", kTransformation, {CONST_INT, NAME}, "12", 0},
        {"1.2.3", kTransformation, {CONST_DECIMAL, CONST_DECIMAL}, "1.2", 0},
        {"1..2", kTransformation, {CONST_DECIMAL, CONST_DECIMAL}, "1.", 0},
        {".e3", kTransformation, {OPT_DOT, NAME}, nullptr, 0},
        {"-1", kTransformation, {OPT_MINUS, CONST_INT}, nullptr, 0},
        {"0x1F", kTransformation, {CONST_INT, NAME}, "0", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto toks = lex(c.text, c.context);
        EXPECT_EQ(tokensOf(toks), c.tokens);
        if (toks.empty()) continue;
        if (c.tokens[0] == CONST_FLOAT) {
            EXPECT_DOUBLE_EQ(toks[0].dbl, c.firstFloat);
        } else if (c.firstValue != nullptr) {
            EXPECT_EQ(toks[0].value, c.firstValue);
        }
    }
}

TEST(LexerTest, NumbersWithThousandsOfDigits) {
    const std::string digits(5000, '7');
    EXPECT_EQ(lex(digits), (std::vector<Tok>{{CONST_INT, 0, 5000, digits}}));
    EXPECT_EQ(lex(digits + "." + digits), (std::vector<Tok>{{CONST_DECIMAL, 0, 10001, digits + "." + digits}}));

    const auto huge = lex(digits + ".5", kWorkflow);
    ASSERT_EQ(tokensOf(huge), std::vector<int>{CONST_FLOAT});
    EXPECT_TRUE(std::isinf(huge[0].dbl));

    const auto tiny = lex("0." + std::string(4000, '0') + "1e3");
    ASSERT_EQ(tokensOf(tiny), std::vector<int>{CONST_FLOAT});
    EXPECT_EQ(tiny[0].end, 4005u);
    EXPECT_EQ(tiny[0].dbl, 0.0);

    const auto bigExponent = lex("1e" + digits);
    ASSERT_EQ(tokensOf(bigExponent), std::vector<int>{CONST_FLOAT});
    EXPECT_TRUE(std::isinf(bigExponent[0].dbl));
}

// ===== symbols and qualifiers =====

TEST(LexerTest, EverySymbolWithItsTokenAndKind) {
    for (const XSymbolRow& row : gSymbolTable) {
        SCOPED_TRACE(row.text);
        const auto toks = lex(std::string(" ") + row.text + " ");
        const std::string value = row.nodeId == eXNI_NONE ? kNoKind : kind(row.nodeId);
        const size_t length = static_cast<size_t>(row.length);
        if (std::string(row.text) == ":=") continue;  // never a token of its own, see below
        EXPECT_EQ(toks, (std::vector<Tok>{{row.token, 1, 1 + length, value}}));
    }
}

TEST(LexerTest, SymbolsSharingATokenAreToldApartByKind) {
    const std::vector<Tok> ne = {{NAME, 0, 1, "a"}, {OPT_BINARY_6, 2, 4, kind(eXNI_NE1)}, {NAME, 5, 6, "b"}};
    EXPECT_EQ(lex("a <> b"), ne);
    // ":" is tried before ":=", so the assignment is read as two tokens.
    const std::vector<Tok> assign = {
        {NAME, 0, 1, "a"}, {COLON, 2, 3, kNoKind}, {OPT_BINARY_6, 3, 4, kind(eXNI_EQ)}, {NAME, 5, 6, "b"}};
    EXPECT_EQ(lex("a := b"), assign);
    EXPECT_EQ(lex(".*."), (std::vector<Tok>{{OPT_DOTSTARDOT, 0, 3, kind(eXNI_DOTDOT)}}));
    EXPECT_EQ(tokensOf(lex("a<=b>=c<d>e!=f^=g")),
              (std::vector<int>{NAME, OPT_BINARY_7, NAME, OPT_BINARY_7, NAME, OPT_BINARY_7, NAME, OPT_BINARY_7, NAME,
                                OPT_BINARY_6, NAME, OPT_BINARY_6, NAME}));
}

TEST(LexerTest, QualifiersAreCaseInsensitivePrefixes) {
    const std::vector<Tok> lookup = {
        {XLKP, 0, 4, ":lkp"}, {OPT_DOT, 4, 5, kind(eXNI_DOT)}, {NAME, 5, 13, "MyLookup"}};
    EXPECT_EQ(lex(":lkp.MyLookup"), lookup);
    EXPECT_EQ(lex(":LKPX"), (std::vector<Tok>{{XLKP, 0, 4, ":LKP"}, {NAME, 4, 5, "X"}}));
    for (const XQualifierRow& row : gQualifierTable) {
        SCOPED_TRACE(row.text);
        std::string lower(row.text);
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        EXPECT_EQ(tokensOf(lex(lower + ".x")), (std::vector<int>{row.token, OPT_DOT, NAME}));
    }
    // ":" alone, or before anything that is no qualifier, is the colon.
    EXPECT_EQ(tokensOf(lex(":UDF.x")), (std::vector<int>{COLON, NAME, OPT_DOT, NAME}));
}

TEST(LexerTest, QualifierLettersAreNeverFoldedFromLigatures) {
    // U+FB02 folds to "fl" under full case folding; the lexer must neither
    // read it as ":FLD" nor step past the end of the text.
    LexTestContext context;
    auto buffer = rawUnits({':', 0xFB02, 'D'});
    XLexer lexer(buffer.data(), &context, 0);
    const auto toks = lexAll(lexer);
    EXPECT_EQ(tokensOf(toks), (std::vector<int>{COLON, NAME}));
    EXPECT_EQ(lexer.getCurTokPosEnd(), 3);
}

// ===== keywords and functions =====

TEST(LexerTest, EveryKeywordInAnUndecidedExpression) {
    for (const XKeywordRow& row : gKeywordTable) {
        SCOPED_TRACE(row.name);
        std::string lower(row.name);
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        LexTestContext context(kUndecided);
        auto buffer = units(lower);
        TestLexer lexer(buffer.data(), &context, 0);
        EXPECT_EQ(lexAll(lexer), (std::vector<Tok>{{row.token, 0, lower.size(), kind(row.semanticValue())}}));
        EXPECT_EQ(lexer.getXprContext(), row.domain) << "the keyword decides the expression";
    }
}

TEST(LexerTest, EveryFunctionBeforeAParenthesis) {
    for (const XFunctionRow& row : gFunctionTable) {
        SCOPED_TRACE(row.name);
        LexTestContext context(kUndecided);
        const std::string text = std::string(row.name) + " (";
        auto buffer = units(text);
        TestLexer lexer(buffer.data(), &context, 1);
        const std::size_t nameEnd = text.size() - 1;
        EXPECT_EQ(lexAll(lexer), (std::vector<Tok>{{row.token, 0, nameEnd, kind(row.nodeId)},
                                                   {PAREN_LEFT, nameEnd, nameEnd + 1, kNoKind}}));
        EXPECT_EQ(lexer.getXprContext(), row.domain & ~eXXC_RESTRICTED);
    }
}

TEST(LexerTest, FunctionNamesNeedAnOpeningParenthesis) {
    EXPECT_EQ(lex("iif ("), (std::vector<Tok>{{XFUNC, 0, 4, kind(eXNI_IIF)}, {PAREN_LEFT, 4, 5, kNoKind}}));
    EXPECT_EQ(lex("iif -- why\n ("),
              (std::vector<Tok>{{XFUNC, 0, 12, kind(eXNI_IIF)}, {PAREN_LEFT, 12, 13, kNoKind}}));
    EXPECT_EQ(lex("iif"), (std::vector<Tok>{{NAME, 0, 3, "iif"}}));
    EXPECT_EQ(lex("iif + 1").front(), (Tok{NAME, 0, 3, "iif"}));
    EXPECT_EQ(lex("x.iif(").at(2), (Tok{XFUNC, 2, 5, kind(eXNI_IIF)})) << "the period ends the word";
}

TEST(LexerTest, KeywordsBeforeAPeriodAreNames) {
    const std::vector<Tok> expected = {{NAME, 0, 4, "TRUE"}, {OPT_DOT, 4, 5, kind(eXNI_DOT)}, {NAME, 5, 6, "x"}};
    EXPECT_EQ(lex("TRUE.x"), expected);
    EXPECT_EQ(lex("and"), (std::vector<Tok>{{OPT_AND, 0, 3, kind(eXNI_AND)}}));
    EXPECT_EQ(lex("True"), (std::vector<Tok>{{XTRUE, 0, 4, kind(XTRUE)}}));
}

TEST(LexerTest, WordsThatAreNeverLookedUp) {
    // More than 64 units, or not ASCII: an ordinary name.
    const std::string longWord = "TC_CONTINUE_TRANSACTION" + std::string(50, '_');
    EXPECT_EQ(lex(longWord), (std::vector<Tok>{{NAME, 0, longWord.size(), longWord}}));
    EXPECT_EQ(tokensOf(lex("TRU\xC3\x89")), std::vector<int>{NAME});
    EXPECT_EQ(tokensOf(lex("\xC3\xA1" "bs(1)")), (std::vector<int>{NAME, PAREN_LEFT, CONST_INT, PAREN_RIGHT}));
}

// ===== the expression context =====

TEST(LexerTest, TransformationWordsNarrowAnUndecidedContext) {
    struct Case {
        const char* text;
        std::vector<int> tokens;
        int contextAfter;
    };
    const Case cases[] = {
        {"DD_INSERT", {XDD_INSERT}, kTransformation},
        {"DD_INSERT STARTED", {XDD_INSERT, NAME}, kTransformation},
        {"DD_INSERT 1.5", {XDD_INSERT, CONST_DECIMAL}, kTransformation},
        {"SUM(x) STARTED", {XFUNC_GROUP, PAREN_LEFT, NAME, PAREN_RIGHT, NAME}, kTransformation},
        {":LKP.x STARTED", {XLKP, OPT_DOT, NAME, NAME}, kTransformation},
        {"x AND TRUE", {NAME, OPT_AND, XTRUE}, kUndecided},
        {"ABS(1.5)", {XFUNC, PAREN_LEFT, CONST_FLOAT, PAREN_RIGHT}, kUndecided},
        {"$$Count", {MAPVAR}, kUndecided},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        LexTestContext context(kUndecided);
        auto buffer = units(c.text);
        TestLexer lexer(buffer.data(), &context, 0);
        EXPECT_EQ(tokensOf(lexAll(lexer)), c.tokens);
        EXPECT_EQ(lexer.getXprContext(), c.contextAfter);
    }
}

TEST(LexerTest, WorkflowWordsNarrowAnUndecidedContext) {
    struct Case {
        const char* text;
        std::vector<int> tokens;
    };
    const Case cases[] = {
        {"STARTED", {XWT_STARTED}},
        {"STARTED 1.5", {XWT_STARTED, CONST_FLOAT}},
        {"WORKFLOWSTARTTIME", {WORKFLOWSTARTTIME}},
        {"STARTED DD_INSERT", {XWT_STARTED, LEXERROR}},
        {"STARTED SUM(", {XWT_STARTED, LEXERROR, PAREN_LEFT}},
        {"STARTED :LKP", {XWT_STARTED, LEXERROR}},
        {"$s_load.Status = DD_INSERT", {WFVAR_PRE_DEFINED, OPT_BINARY_6, LEXERROR}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        LexTestContext context(kUndecided);
        auto buffer = units(c.text);
        TestLexer lexer(buffer.data(), &context, 0);
        EXPECT_EQ(tokensOf(lexAll(lexer)), c.tokens);
        EXPECT_EQ(lexer.getXprContext(), kWorkflow);
    }
}

TEST(LexerTest, WordsOutsideTheirContext) {
    // A workflow-only keyword in a transformation is an ordinary name.
    EXPECT_EQ(lex("STARTED"), (std::vector<Tok>{{NAME, 0, 7, "STARTED"}}));
    // Transformation-only words in a workflow are errors that name the word.
    EXPECT_EQ(lex("DD_INSERT", kWorkflow),
              (std::vector<Tok>{{LEXERROR, 0, 9, formattedMsg(19107, "DD_INSERT")}}));
    EXPECT_EQ(lex("x + :lkp", kWorkflow).back(), (Tok{LEXERROR, 4, 8, formattedMsg(19107, ":lkp")}));
    EXPECT_EQ(lex("sum (x)", kWorkflow).front(), (Tok{LEXERROR, 0, 4, formattedMsg(19107, "sum ")}));
}

TEST(LexerTest, TransformationMessageNamesTheToken) {
    // No function of the vocabulary lacks the transformation bit, so the
    // message is checked through the helper that raises it.
    LexTestContext context;
    auto buffer = units("ABORTED");
    TestLexer lexer(buffer.data(), &context, 0);
    yystype lval{};
    ASSERT_EQ(lexer.yylex(&lval), NAME);
    lexer.assignNonTransErrMsgToken(&lval);
    EXPECT_EQ(lval.value.str->toUtf8(), formattedMsg(19106, "ABORTED"));
    lexer.assignNonWflowErrMsgToken(&lval);
    EXPECT_EQ(lval.value.str->toUtf8(), formattedMsg(19107, "ABORTED"));
}

TEST(LexerTest, ZeroExpressionContextIsAnInvariant) {
    LexTestContext context(0);
    auto buffer = units("x");
    try {
        XLexer lexer(buffer.data(), &context, 0);
        FAIL() << "no assertion";
    } catch (const QvAssertFailure& failure) {
        EXPECT_EQ(failure.sourceUnit(), "xlexer");
        EXPECT_EQ(failure.line(), 38);
    }
    EXPECT_THROW(XLexer(buffer.data(), nullptr, 0), QvAssertFailure);
}

// ===== restricted functions =====

TEST(LexerTest, RestrictedFunctionsNeedPermission) {
    EXPECT_EQ(lex("PIVOT(x)", kTransformation, 1).front(), (Tok{XFUNC_GROUP, 0, 5, kind(eXNI_PIVOT)}));
    EXPECT_EQ(lex("to_number(x)", kTransformation, 1).front(), (Tok{XFUNC, 0, 9, kind(eXNI_TO_NUMBER)}));
    // Without permission the name stays an ordinary name; nothing is lost.
    EXPECT_EQ(tokensOf(lex("PIVOT (x)")), (std::vector<int>{NAME, PAREN_LEFT, NAME, PAREN_RIGHT}));
    EXPECT_EQ(lex("PIVOT (x)").front(), (Tok{NAME, 0, 5, "PIVOT"}));
    // TO_NUMBER is valid in both kinds of expression and decides nothing.
    LexTestContext context(kUndecided);
    auto buffer = units("TO_NUMBER(x)");
    TestLexer lexer(buffer.data(), &context, 1);
    EXPECT_EQ(next(lexer).token, XFUNC);
    EXPECT_EQ(lexer.getXprContext(), kUndecided);
}

// ===== what the caller's context recognises =====

TEST(LexerTest, MappingVariablesInTransformations) {
    const std::vector<Tok> expected = {
        {MAPVAR, 0, 7, "$$Count"}, {OPT_PLUS, 8, 9, kind(eXNI_PLUS)}, {CONST_INT, 10, 11, "1"}};
    EXPECT_EQ(lex("$$Count + 1"), expected);
    // Workflow expressions do not ask about mapping variables.
    EXPECT_EQ(tokensOf(lex("$$Count", kWorkflow)), std::vector<int>{WFVAR_USER_DEFINED});
}

TEST(LexerTest, WorkflowVariables) {
    const auto toks = lex("$s_load.Status = SUCCEEDED", kWorkflow);
    ASSERT_EQ(toks.size(), 3u);
    EXPECT_EQ(toks[0], (Tok{WFVAR_PRE_DEFINED, 0, 14, "$s_load.Status"}));
    EXPECT_EQ(toks[1], (Tok{OPT_BINARY_6, 15, 16, kind(eXNI_EQ)}));
    EXPECT_EQ(toks[2], (Tok{XWT_SUCCEEDED, 17, 26, kind(XWT_SUCCEEDED)}));
    EXPECT_EQ(lex("$$Runs > 2", kWorkflow).front(), (Tok{WFVAR_USER_DEFINED, 0, 6, "$$Runs"}));
    // A transformation does not ask about workflow variables.
    EXPECT_EQ(tokensOf(lex("$s_load.Status")), (std::vector<int>{LEXERROR, NAME, OPT_DOT, NAME}));
}

TEST(LexerTest, NamesInWorkflowsNeedPorts) {
    LexTestContext withPorts(kWorkflow, 1);
    auto buffer = units("ab");
    XLexer lexer(buffer.data(), &withPorts, 0);
    EXPECT_EQ(lexAll(lexer), (std::vector<Tok>{{NAME, 0, 2, "ab"}}));

    LexTestContext withoutPorts(kWorkflow, 0);
    XLexer strict(buffer.data(), &withoutPorts, 0);
    EXPECT_EQ(lexAll(strict), (std::vector<Tok>{{LEXERROR, 0, 0, msg(19081)}, {LEXERROR, 1, 1, msg(19081)}}));
}

TEST(LexerTest, NonsenseAnswersOfTheContextAreIgnored) {
    for (size_t length : {size_t{0}, size_t{4}, size_t{1000}}) {
        SCOPED_TRACE(length);
        LexTestContext context;
        context.forcedLength = length;
        auto buffer = units("abc");
        XLexer lexer(buffer.data(), &context, 0);
        const auto toks = lexAll(lexer);
        EXPECT_EQ(toks, (std::vector<Tok>{{NAME, 0, 3, "abc"}}));
    }
}

TEST(LexerTest, CustomFunctionsOnlyBeforeAParenthesis) {
    LexTestContext context;
    context.extFuncs = {"MYFUNC", ":UDF.CALC", "IIF"};
    auto lexWith = [&context](const std::string& text) {
        auto buffer = units(text);
        XLexer lexer(buffer.data(), &context, 0);
        return lexAll(lexer);
    };
    EXPECT_EQ(lexWith("MYFUNC (1)"), (std::vector<Tok>{{XEXTFUNC, 0, 6, "MYFUNC"},
                                                       {PAREN_LEFT, 7, 8, kNoKind},
                                                       {CONST_INT, 8, 9, "1"},
                                                       {PAREN_RIGHT, 9, 10, kNoKind}}));
    EXPECT_EQ(lexWith("MYFUNC"), (std::vector<Tok>{{NAME, 0, 6, "MYFUNC"}}));
    EXPECT_EQ(lexWith("MYFUNC + 1").front(), (Tok{NAME, 0, 6, "MYFUNC"}));
    // Case matters to the context, not to the lexer.
    EXPECT_EQ(lexWith("myfunc(").front(), (Tok{NAME, 0, 6, "myfunc"}));
    // The prefix of a user-defined function is part of the word.
    EXPECT_EQ(lexWith(":UDF.CALC(x)").front(), (Tok{XEXTFUNC, 0, 9, ":UDF.CALC"}));
    // A custom function may take the name of a built-in one.
    EXPECT_EQ(lexWith("IIF(x)").front(), (Tok{XEXTFUNC, 0, 3, "IIF"}));
    EXPECT_EQ(lexWith("iif(x)").front(), (Tok{XFUNC, 0, 3, kind(eXNI_IIF)}));
}

TEST(LexerTest, CustomFunctionTokenText) {
    LexTestContext context;
    context.extFuncs = {"F"};
    auto buffer = units("  F  (");
    XLexer lexer(buffer.data(), &context, 0);
    EXPECT_EQ(next(lexer), (Tok{XEXTFUNC, 2, 3, "F"}));
    EXPECT_EQ(lexer.getCurTokPosBegin(), 2);
    EXPECT_EQ(lexer.getCurTokText().toUtf8(), "F");
}

// ===== what nobody should write =====

TEST(LexerTest, StrayCharactersAreOneUnitErrors) {
    for (const char* stray : {";", "?", "!", "&", "~", "`", "\\", "\"", "$", "|", "^", "\x01", "\x7F"}) {
        SCOPED_TRACE(static_cast<int>(stray[0]));
        const std::string text = std::string("a ") + stray + " b";
        EXPECT_EQ(lex(text), (std::vector<Tok>{{NAME, 0, 1, "a"}, {LEXERROR, 2, 2, msg(19081)}, {NAME, 4, 5, "b"}}));
    }
}

TEST(LexerTest, TextsEndingInTheMiddleOfAToken) {
    struct Case {
        const char* text;
        std::vector<int> tokens;
    };
    const Case cases[] = {
        {"'", {LEXERROR}},          {"x '", {NAME, LEXERROR}}, {"-", {OPT_MINUS}},
        {"/", {OPT_BINARY_9}},      {".", {OPT_DOT}},          {":", {COLON}},
        {"1.", {CONST_DECIMAL}},    {"1e+", {CONST_INT, NAME, OPT_PLUS}},
        {"1E-", {CONST_INT, NAME, OPT_MINUS}},                 {"a.", {NAME, OPT_DOT}},
        {"iif ", {NAME}},           {"iif --(", {NAME}},       {"|", {LEXERROR}},
        {"<", {OPT_BINARY_7}},      {"!", {LEXERROR}},         {":lk", {COLON, NAME}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        LexTestContext context;
        auto buffer = units(c.text);
        XLexer lexer(buffer.data(), &context, 0);
        const auto toks = lexAll(lexer);
        EXPECT_EQ(tokensOf(toks), c.tokens);
        ASSERT_FALSE(toks.empty());
        EXPECT_LE(toks.back().end, std::string(c.text).size());
        EXPECT_EQ(static_cast<size_t>(lexer.getCurTokPosEnd()), std::string(c.text).size());
    }
}

TEST(LexerTest, TheTextEndsAtTheFirstZeroUnit) {
    LexTestContext context;
    auto buffer = rawUnits({'a', 0, ';', 'b'});
    XLexer lexer(buffer.data(), &context, 0);
    EXPECT_EQ(lexAll(lexer), (std::vector<Tok>{{NAME, 0, 1, "a"}}));
    EXPECT_EQ(lexer.getInputString().length(), 1u);

    XLexer fromNull(nullptr, &context, 0);
    yystype lval{};
    EXPECT_EQ(fromNull.yylex(&lval), END_OF_INPUT);
}

TEST(LexerTest, InvalidUtf16IsReadUnitByUnit) {
    LexTestContext context;
    // Lone surrogates and a reversed pair are identifier units like any
    // other non-ASCII unit.
    auto buffer = rawUnits({0xDC00, '+', 0xD800, ' ', 0xDE00, 0xD83D, '(', 0xFFFF});
    XLexer lexer(buffer.data(), &context, 0);
    const auto toks = lexAll(lexer);
    EXPECT_EQ(tokensOf(toks), (std::vector<int>{NAME, OPT_PLUS, NAME, NAME, PAREN_LEFT, NAME}));
    EXPECT_EQ(toks[3].begin, 4u);
    EXPECT_EQ(toks[3].end, 6u);

    LexTestContext strict(kWorkflow, 0);
    auto lone = rawUnits({0xD800});
    XLexer strictLexer(lone.data(), &strict, 0);
    EXPECT_EQ(lexAll(strictLexer), (std::vector<Tok>{{LEXERROR, 0, 0, msg(19081)}}));
}

TEST(LexerTest, ReadingANewTextStartsOver) {
    LexTestContext context;
    auto first = units("abcdef + 1");
    auto second = units("x");
    XLexer lexer(first.data(), &context, 0);
    EXPECT_EQ(next(lexer).token, NAME);
    lexer.setInputString(second.data());
    EXPECT_EQ(lexer.getCurTokText().toUtf8(), "");
    EXPECT_EQ(lexAll(lexer), (std::vector<Tok>{{NAME, 0, 1, "x"}}));
}

TEST(LexerTest, IdentifierRules) {
    struct Case {
        const char* text;
        const char* identifier;     // getIdentifier
        const char* icuIdentifier;  // getICUBasedIdentifier
    };
    const Case cases[] = {
        {"abc def", "abc", "abc"},
        {"_a@#b.c", "_a@#b.", "_a@#b."},
        {"1abc", "", ""},
        {"a-b", "a", "a"},
        {"(x", "", ""},
        {"\xC3\xA9t\xC3\xA9+", "\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
        {"a\xC2\xA1" "b", "a\xC2\xA1" "b", "a"},  // U+00A1 is punctuation
        {"\xD9\xA3x", "\xD9\xA3x", ""},            // U+0663 is a digit, not an ASCII one
        {"a\x01", "a", "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        LexTestContext context;
        auto buffer = units(c.text);
        TestLexer lexer(buffer.data(), &context, 0);
        auto spanText = [&lexer](auto span) {
            return lexer.getInputString().substr(span.begin, span.length).toUtf8();
        };
        EXPECT_EQ(spanText(lexer.getIdentifier()), c.identifier);
        EXPECT_EQ(spanText(lexer.getICUBasedIdentifier()), c.icuIdentifier);
    }
}

TEST(LexerTest, CharacterClasses) {
    LexTestContext context;
    auto buffer = units("");
    XLexer lexer(buffer.data(), &context, 0);
    for (unsigned short c : {'!', '"', '$', '%', '&', '\'', '(', ')', '*', '+', ',', '-', '.', '/', ':', ';', '<', '=',
                             '>', '?', '[', '\\', ']', '^', '`', '{', '|', '}', '~'})
        EXPECT_EQ(lexer.checkInValidToken(c), 1) << c;
    for (unsigned short c : {'_', '@', '#', 'a', '0', ' '}) EXPECT_EQ(lexer.checkInValidToken(c), 0) << c;
    for (unsigned short c : {' ', '\t', '\n', '\f', '\v', '\r'}) EXPECT_EQ(XLexer::stc_checkIsAnySpaceToken(c), 1);
    EXPECT_EQ(XLexer::stc_checkIsAnySpaceToken(0x00A0), 0);
    EXPECT_EQ(lexer.checkIsAnyControlToken(0), 1);
    EXPECT_EQ(lexer.checkIsAnyControlToken(0x1F), 1);
    EXPECT_EQ(lexer.checkIsAnyControlToken(0x7F), 1);
    EXPECT_EQ(lexer.checkIsAnyControlToken(0x80), 0);
    EXPECT_EQ(lexer.checkIsAnyDigitToken('9'), 1);
    EXPECT_EQ(lexer.checkIsAnyDigitToken(0x0663), 0);
    EXPECT_EQ(lexer.checkValidPunctToken('#'), 1);
    EXPECT_EQ(lexer.checkValidPunctToken('$'), 0);
}

// The lexer answers these from tables derived at load time; they must
// agree with the character sets for every unit.
TEST(LexerTest, CharacterClassesAgreeWithTheSetsForEveryUnit) {
    LexTestContext context;
    auto buffer = units("");
    XLexer lexer(buffer.data(), &context, 0);
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        const auto c = static_cast<unsigned short>(u);
        ASSERT_EQ(lexer.checkInValidToken(c), XToken::m_invalidTokens->contains(c) ? 1 : 0) << std::hex << u;
        ASSERT_EQ(XLexer::stc_checkIsAnySpaceToken(c), XToken::m_spaceTokens->contains(c) ? 1 : 0) << std::hex << u;
    }
}

// The current token text is copied from the input only when asked for; it
// must always be the text between the current positions, whatever was read
// last (a token, blanks and comments, an error) and however often it is
// asked for.
TEST(LexerTest, CurrentTokenTextIsTheTextBetweenThePositions) {
    for (const char* text : {"IIF(ISNULL(a), 1.5e3, 'x') -- note\n  || b", "  ;x  ", "'open", "a--c\n", "",
                             "f \u3000 ( ,:lkp.x", "1.5 2. .5 12ab"}) {
        for (int context : {kTransformation, kWorkflow, kUndecided}) {
            LexTestContext lexContext(context);
            auto buffer = units(text);
            XLexer lexer(buffer.data(), &lexContext, 0);
            yystype lval{};
            for (int token = -1, n = 0; token != END_OF_INPUT && n < 100; ++n) {
                token = lexer.yylex(&lval);
                if (token == XEXTFUNC) delete lval.text;
                const size_t begin = static_cast<size_t>(lexer.getCurTokPosBegin());
                const size_t end = static_cast<size_t>(lexer.getCurTokPosEnd());
                ASSERT_LE(begin, end);
                const std::string expected = lexer.getInputString().substr(begin, end - begin).toUtf8();
                EXPECT_EQ(lexer.getCurTokText().toUtf8(), expected) << text;
                EXPECT_EQ(lexer.getCurTokText().toUtf8(), expected) << text;
            }
        }
    }
}

// Non-ASCII white space separates tokens like a blank, but only the ASCII
// spaces end an identifier.
TEST(LexerTest, NonAsciiWhiteSpace) {
    const std::string ideographicSpace = "\u3000";
    EXPECT_EQ(lex("IIF" + ideographicSpace + "("),
              (std::vector<Tok>{{XFUNC, 0, 4, kind(eXNI_IIF)}, {PAREN_LEFT, 4, 5, kNoKind}}));
    EXPECT_EQ(lex("a" + ideographicSpace + "b"), (std::vector<Tok>{{NAME, 0, 3, "a" + ideographicSpace + "b"}}));
    EXPECT_EQ(lex(ideographicSpace + "+"), (std::vector<Tok>{{OPT_PLUS, 1, 2, kind(eXNI_PLUS)}}));
}

// Values are made in the lexer and in blocks of growing size; every one of
// them must stay intact until the lexer is destroyed.
TEST(LexerTest, ValueStringsLiveAsLongAsTheLexer) {
    std::string text;
    std::vector<std::string> names;
    for (int i = 0; i < 5000; ++i) {
        names.push_back("name_" + std::to_string(i) + (i % 7 == 0 ? "_long_enough_to_need_a_buffer" : ""));
        text += names.back() + " ";
    }
    LexTestContext context;
    auto buffer = units(text);
    XLexer lexer(buffer.data(), &context, 0);
    std::vector<const QvUString*> values;
    yystype lval{};
    while (lexer.yylex(&lval) == NAME) values.push_back(lval.value.str);
    ASSERT_EQ(values.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) ASSERT_EQ(values[i]->toUtf8(), names[i]);
}

// ===== long texts: every scan must stay linear =====

TEST(LexerTest, TenMegabyteTexts) {
    const size_t size = 10u << 20;
    {
        std::string text(size, 'a');
        EXPECT_EQ(tokensOf(lex(text)), std::vector<int>{NAME});
        text[0] = '\'';
        EXPECT_EQ(lex(text).front(), (Tok{LEXERROR, 0, size, msg(19082)}));
        text.back() = '\'';
        const auto closed = lex(text);
        ASSERT_EQ(tokensOf(closed), std::vector<int>{CONST_STR});
        EXPECT_EQ(closed[0].value.size(), size - 2);
        text[0] = '-';
        text[1] = '-';
        EXPECT_TRUE(lex(text).empty());
    }
    {
        // Every unit of a long identifier that a workflow cannot read is
        // an error of its own; the identifier is not scanned again for each.
        LexTestContext context(kWorkflow, 0);
        auto buffer = units(std::string(size / 10, 'a'));
        XLexer lexer(buffer.data(), &context, 0);
        size_t errors = 0;
        yystype lval{};
        for (int token = lexer.yylex(&lval); token != END_OF_INPUT; token = lexer.yylex(&lval)) {
            ASSERT_EQ(token, LEXERROR);
            ++errors;
        }
        EXPECT_EQ(errors, size / 10);
    }
}

TEST(LexerTest, LongRunBeforeAParenthesisStaysLinear) {
    // Every token of the run starts a new candidate function word that ends
    // at the final "("; only short ones are put to the context.
    LexTestContext context;
    context.extFuncs = {"f"};
    std::string text;
    while (text.size() < (2u << 20)) text += "ab+";
    text += "f(  ";
    auto buffer = units(text);
    XLexer lexer(buffer.data(), &context, 0);
    yystype lval{};
    size_t tokens = 0;
    int token = 0;
    int previous = 0;
    for (token = lexer.yylex(&lval); token != END_OF_INPUT; token = lexer.yylex(&lval)) {
        if (token == XEXTFUNC) {
            EXPECT_EQ(lval.text->toUtf8(), "f");
            delete lval.text;
        }
        previous = token;
        ++tokens;
    }
    EXPECT_EQ(previous, PAREN_LEFT);
    EXPECT_EQ(tokens, (text.size() - 4) / 3 * 2 + 2);
    EXPECT_LE(context.extFuncQueries, static_cast<int>(XLexer::kMaxCustomFunctionNameLength));
}

// Each token of a run without spaces offers the rest of the run up to "("
// as a custom function name: long and short names follow each other, and
// the last ones lie at the very end of the text.
TEST(LexerTest, CustomFunctionCandidatesAreTheExactWords) {
    LexTestContext context;
    context.extFuncs = {"ext"};
    auto buffer = units("ABCDEFGHIJKLMNOPQ,b,ext(1)+c(");
    XLexer lexer(buffer.data(), &context, 0);
    yystype lval{};
    for (int token = lexer.yylex(&lval); token != END_OF_INPUT; token = lexer.yylex(&lval))
        if (token == XEXTFUNC) delete lval.text;
    const std::vector<std::string> expected = {"ABCDEFGHIJKLMNOPQ,b,ext", ",b,ext", "b,ext", ",ext", "ext",
                                               ")+c", "+c", "c"};
    EXPECT_EQ(context.extFuncNamesAsked, expected);
}

// yylex reads the commonest tokens (words, strings, one-unit symbols) itself
// and leaves the rest to the matchers in their order; on any text both must
// give the same tokens, positions and values, and leave the same state for
// what follows (current token, expression context). Texts are random runs of
// pieces chosen to meet every branch of the direct reading: symbols with
// and without a word before "(", custom-function words that start with a
// symbol, blanks of every kind, comments, unclosed strings, text ends.
TEST(LexerTest, DirectReadingAgreesWithTheMatchers) {
    const char* const pieces[] = {
        "a",  "Name_1", "IIF", "ext",  "x,y", "(",  ")",   ",",    " ",  "  ",  "\t",   "\n",  "-- c\n", "//c",
        "'s'", "'",     "12",  "1.5",  "3e2", ".",  "..",  "||",   "<>", "<=",  "=",     "-",    "/",       "*",
        "+",  ":EXT.", ":=",  "$$v",  "$t.s", "AND", "TRUE", "SYSDATE", "\u00e9", "\u00a0", "#", "@", "[", "]",
        "{",  "}",     ";",   "!",    "!=",   "^=", "%",   "DD_INSERT", "ABORTED", "'a b'"};
    std::mt19937 random(20261206);
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        for (int n = static_cast<int>(random() % 14) + 1; n > 0; --n)
            text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        for (int xprContext : {kTransformation, kWorkflow, kUndecided}) {
            LexTestContext directContext(xprContext), matcherContext(xprContext);
            for (LexTestContext* c : {&directContext, &matcherContext}) c->extFuncs = {"ext", ",ext", "x,y", ")ext"};
            auto buffer = units(text);
            TestLexer direct(buffer.data(), &directContext, 0);
            TestLexer byMatchers(buffer.data(), &matcherContext, 0);
            for (int i = 0;; ++i) {
                yystype a{}, b{};
                const int tokenA = direct.yylex(&a);
                const int tokenB = byMatchers.yylexByMatchers(&b);
                SCOPED_TRACE(testing::Message() << "text \"" << text << "\" context " << xprContext << " token " << i);
                ASSERT_EQ(tokenA, tokenB);
                EXPECT_EQ(a.begin, b.begin);
                EXPECT_EQ(a.end, b.end);
                if (tokenA == XEXTFUNC) {
                    EXPECT_EQ(a.text->toUtf8(), b.text->toUtf8());
                    delete a.text;
                    delete b.text;
                } else if (carriesString(tokenA)) {
                    EXPECT_EQ(a.value.str->toUtf8(), b.value.str->toUtf8());
                } else if (tokenA == CONST_FLOAT) {
                    EXPECT_EQ(a.value.dbl, b.value.dbl);
                } else {
                    EXPECT_EQ(a.value.kind, b.value.kind);
                }
                EXPECT_EQ(direct.getCurTokPosBegin(), byMatchers.getCurTokPosBegin());
                EXPECT_EQ(direct.getCurTokPosEnd(), byMatchers.getCurTokPosEnd());
                EXPECT_EQ(direct.getXprContext(), byMatchers.getXprContext());
                if (tokenA == END_OF_INPUT) break;
            }
            EXPECT_EQ(directContext.extFuncQueries, matcherContext.extFuncQueries);
        }
    }
}
