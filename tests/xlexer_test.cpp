// Tests of the lexer: token streams with positions and semantic values, the
// narrowing of the expression context, the words the caller's context
// recognises, and texts no user would write on purpose (unclosed strings,
// stray and invalid units, huge literals and texts). Most cases are rows of
// one golden table: a text and a setup in, a token dump out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "qvcmnexpr/xtoken.h"
#include "xgrammartokens.h"
#include "xlexer.h"
#include "xparsetest.h"
#include "xtestsupport.h"
#include "xtokentables.h"

using namespace xgrammar;

namespace {

using namespace xparsetest;

// The parser tests' context plus a forced answer to every variable question
// (when forcedLength is set) and a record of the custom-function questions.
struct LexTestContext : TestContext {
    explicit LexTestContext(int xprContext = kTransformation) : TestContext(xprContext) {}
    int containsValidTokenMapVar(const QvUString& text, size_t pos, size_t& length) override {
        if (forcedLength == kNone) return TestContext::containsValidTokenMapVar(text, pos, length);
        return length = forcedLength, 1;
    }
    int containsValidTokenWflowVar(const QvUString& text, size_t pos, size_t& length, int& preDefined) override {
        if (forcedLength == kNone) return TestContext::containsValidTokenWflowVar(text, pos, length, preDefined);
        return length = forcedLength, 1;
    }
    int containsValidExtFunc(const QvUString& name) override {
        extFuncNamesAsked.push_back(name.toUtf8());
        EXPECT_EQ(name.getBuffer()[name.length()], 0u);
        return TestContext::containsValidExtFunc(name);
    }
    static constexpr size_t kNone = static_cast<size_t>(-1);
    size_t forcedLength = kNone;
    std::vector<std::string> extFuncNamesAsked;
};

struct TestLexer : XLexer {
    using XLexer::XLexer, XLexer::assignNonTransErrMsgToken, XLexer::assignNonWflowErrMsgToken, XLexer::getXprContext;
    using XLexer::getICUBasedIdentifier, XLexer::getIdentifier, XLexer::skipWhitespacesAndComments;
    // yylex without its direct reading of the commonest tokens.
    int yylexByMatchers(yystype* lval) { return lexToken(lval); }
};

std::vector<unsigned short> units(const std::string& utf8) {
    const QvUString s = qvU(utf8);
    return std::vector<unsigned short>(s.getBuffer(), s.getBuffer() + s.length() + 1);  // the 0 unit included
}

// The tokens whose semantic value is a string.
const std::set<int> kCarriesString = {NAME, MAPVAR, WFVAR_PRE_DEFINED, WFVAR_USER_DEFINED, CONST_INT, CONST_DECIMAL,
                                      CONST_STR, LEXERROR, XTYPE, XFLD, XSD, XSP, XEXT, XLKP, XTD};

std::string formattedMsg(int id, const std::string& tokenText) {
    QvUString out;
    out.sprint(qvGetMsg(id).getBuffer(), qvU(tokenText).getBuffer());
    return out.toUtf8();
}

constexpr int32_t kUntouched = -77;
const char* const kContextNames[] = {"?", "T", "W", "U"};

std::string kindText(int k) { return k >= 258 ? tokenName(k) : XNode::idToString(static_cast<EXNodeId>(k)); }

// A semantic value as the dumps show it: "=KIND" for node kinds (or token
// names for keywords without a kind), "'text'" for strings, "~number" for
// doubles, "!id" for lexer messages, nothing when the value is left alone.
// A custom function's name is freed (the grammar action's job).
std::string valueText(int token, const yystype& lval, const std::string& spanText) {
    if (token == XEXTFUNC) return "'" + std::unique_ptr<QvUString>(lval.text)->toUtf8() + "'";
    if (token == LEXERROR) {
        const std::string text = lval.value.str->toUtf8();
        for (int id : {19081, 19082}) if (text == qvGetMsg(id).toUtf8()) return "!" + std::to_string(id);
        for (int id : {19106, 19107}) if (text == formattedMsg(id, spanText)) return "!" + std::to_string(id);
        return "!'" + text + "'";
    }
    if (kCarriesString.count(token)) return "'" + lval.value.str->toUtf8() + "'";
    char buffer[40];
    if (token == CONST_FLOAT) return std::snprintf(buffer, sizeof buffer, "~%.17g", lval.value.dbl), buffer;
    return lval.value.kind == kUntouched ? "" : "=" + kindText(lval.value.kind);
}

// One token read by `read` as "TOKEN(begin,end)value", or "TOKEN" unless `full`.
template <class Read> std::string nextToken(TestLexer& lexer, Read read, bool full, int* token = nullptr) {
    yystype lval{};
    lval.value.kind = kUntouched;
    const int t = read(&lval);
    if (token) *token = t;
    if (t == END_OF_INPUT) return "";
    const std::string span = lexer.getInputString().substr(lval.begin, lval.end - lval.begin).toUtf8();
    const std::string value = valueText(t, lval, span);
    if (!full) return tokenName(t);
    return tokenName(t) + ("(" + std::to_string(lval.begin) + "," + std::to_string(lval.end) + ")") + value;
}

// Every token of `lexer`; a lexer that started undecided adds "->" and the
// context it ends in. The end must repeat and leave the current token at the
// end of the text.
std::string dumpAll(TestLexer& lexer, bool full) {
    const int startContext = lexer.getXprContext();
    std::string out;
    for (size_t n = 0;; ++n) {
        const std::string token = nextToken(lexer, [&](yystype* l) { return lexer.yylex(l); }, full);
        if (token.empty()) break;
        out += (n > 0 ? " " : "") + token;
        if (n > lexer.getInputString().length()) return out + " <no end>";
    }
    yystype lval{};
    EXPECT_EQ(lexer.yylex(&lval), END_OF_INPUT) << "the end stays the end";
    EXPECT_EQ(static_cast<size_t>(lexer.getCurTokPosEnd()), lexer.getInputString().length());
    if (startContext == kUndecided) out += (out.empty() ? "->" : " ->") + std::string(kContextNames[lexer.getXprContext()]);
    return out;
}

// Setup letters: T, W or U for the expression context; r allows restricted
// functions; p refuses ports; f knows the custom functions MYFUNC,
// :UDF.CALC and IIF.
std::string dumpUnits(const std::vector<unsigned short>& text, const std::string& setup, bool full) {
    LexTestContext lexContext(setup[0] == 'W' ? kWorkflow : setup[0] == 'U' ? kUndecided : kTransformation);
    if (setup.find('p') != std::string::npos) lexContext.portAllowed = 0;
    if (setup.find('f') != std::string::npos) lexContext.extFuncs = {"MYFUNC", ":UDF.CALC", "IIF"};
    TestLexer lexer(text.data(), &lexContext, setup.find('r') != std::string::npos ? 1 : 0);
    return dumpAll(lexer, full);
}

// Expected dumps without "(" list the tokens only.
std::string dump(const std::string& text, const std::string& setup, const std::string& expected) {
    return dumpUnits(units(text), setup, expected.find('(') != std::string::npos);
}

struct LexCase { std::string text; const char* setup; std::string tokens; };

const std::string kLongWord = "TC_CONTINUE_TRANSACTION" + std::string(50, '_');

const LexCase kLexCases[] = {
    // The worked example (the token stream tests read it in a transformation);
    // an undecided expression reads the decimal as a double.
    {"PRICE * 1.5) -- note", "U", "NAME(0,5)'PRICE' OPT_MULTIPLY(6,7)=MULTIPLY CONST_FLOAT(8,11)~1.5 PAREN_RIGHT(11,12) "
                                  "->U"},
    // Blanks and comments; a single "-" or "/" is an operator.
    {"", "T", ""},
    {"// one\n-- two\n  ", "T", ""},
    {"--", "T", ""},
    {"a//b", "T", "NAME"},
    {"x--comment\n+1 a // b\r\n- c a-b/c", "T",
     "NAME OPT_PLUS CONST_INT NAME OPT_MINUS NAME NAME OPT_MINUS NAME OPT_BINARY_9 NAME"},
    // Non-ASCII white space separates tokens; only ASCII spaces end a name.
    {"IIF\u3000( a\u3000b \u3000+", "T", "XFUNC(0,4)=IIF PAREN_LEFT(4,5) NAME(6,9)'a\u3000b' OPT_PLUS(11,12)=PLUS"},
    // Strings: no escapes, no doubling; comment starts and blanks are text.
    {"'abc' '' 'it''s' 'a\\' ' -- x // y\n'", "T",
     "CONST_STR(0,5)'abc' CONST_STR(6,8)'' CONST_STR(9,13)'it' CONST_STR(13,16)'s' CONST_STR(17,21)'a\\' "
     "CONST_STR(22,35)' -- x // y\n'"},
    {"x || 'ab -- not a comment", "T", "NAME(0,1)'x' OPT_CONCAT(2,4)=CONCATOP LEXERROR(5,25)!19082"},
    // Numbers.
    {"1.5e3 15e2 15E+2 25e-1 5.e1 .5e1", "T",
     "CONST_FLOAT(0,5)~1500 CONST_FLOAT(6,10)~1500 CONST_FLOAT(11,16)~1500 CONST_FLOAT(17,22)~2.5 "
     "CONST_FLOAT(23,27)~50 CONST_FLOAT(28,32)~5"},
    {"1.5 5. .5 15", "T", "CONST_DECIMAL(0,3)'1.5' CONST_DECIMAL(4,6)'5.' CONST_DECIMAL(7,9)'.5' CONST_INT(10,12)'15'"},
    {"2.5 007", "W", "CONST_FLOAT(0,3)~2.5 CONST_INT(4,7)'007'"},
    {"1e 1e+ 12ab", "T", "CONST_INT NAME CONST_INT NAME OPT_PLUS CONST_INT NAME"},
    {"1.2.3 1..2 .e3", "T",
     "CONST_DECIMAL(0,3)'1.2' CONST_DECIMAL(3,5)'.3' CONST_DECIMAL(6,8)'1.' CONST_DECIMAL(8,10)'.2' "
     "OPT_DOT(11,12)=DOT NAME(12,14)'e3'"},
    // Symbols next to each other; ":" is tried before ":=" (each symbol alone
    // is read in EveryVocabularyRow).
    {"a := b", "T", "NAME(0,1)'a' COLON(2,3) OPT_BINARY_6(3,4)=EQ NAME(5,6)'b'"},
    {"a<=b<c!=d", "T", "NAME OPT_BINARY_7 NAME OPT_BINARY_7 NAME OPT_BINARY_6 NAME"},
    // Qualifiers are case-insensitive prefixes; U+FB02 is never folded to "FL".
    {":lkp.M :LKPX :\uFB02D", "T",
     "XLKP(0,4)':lkp' OPT_DOT(4,5)=DOT NAME(5,6)'M' XLKP(7,11)':LKP' NAME(11,12)'X' COLON(13,14) NAME(14,16)'\uFB02D'"},
    {":UDF.x", "T", "COLON NAME OPT_DOT NAME"},
    // Function names need an opening parenthesis; a period ends the word.
    {"iif", "T", "NAME(0,3)'iif'"},
    {"iif -- why\n ( x.iif(", "T",
     "XFUNC(0,12)=IIF PAREN_LEFT(12,13) NAME(14,15)'x' OPT_DOT(15,16)=DOT XFUNC(16,19)=IIF PAREN_LEFT(19,20)"},
    // Keywords: not before a period; never when too long or not ASCII.
    {"TRUE.x and True", "T", "NAME(0,4)'TRUE' OPT_DOT(4,5)=DOT NAME(5,6)'x' OPT_AND(7,10)=AND XTRUE(11,15)=XTRUE"},
    {kLongWord, "T", "NAME(0,73)'" + kLongWord + "'"},
    {"\xC3\xA1" "bs(1)", "T", "NAME PAREN_LEFT CONST_INT PAREN_RIGHT"},
    // Transformation words narrow an undecided context, workflow words too;
    // after that the other kind's words are errors (each word's own narrowing
    // is read in EveryVocabularyRow).
    {"DD_INSERT STARTED 1.5", "U", "XDD_INSERT NAME CONST_DECIMAL ->T"},
    {":LKP.x STARTED", "U", "XLKP OPT_DOT NAME NAME ->T"},
    {"$$Count", "U", "MAPVAR ->U"},
    {"STARTED 1.5", "U", "XWT_STARTED CONST_FLOAT ->W"},
    {"$s_load.Status = DD_INSERT", "U", "WFVAR_PRE_DEFINED OPT_BINARY_6 LEXERROR ->W"},
    {"DD_INSERT :lkp sum (", "W", "LEXERROR(0,9)!19107 LEXERROR(10,14)!19107 LEXERROR(15,19)!19107 PAREN_LEFT(19,20)"},
    // Restricted functions need permission (the vocabulary test reads each
    // function's domain in an undecided expression).
    {"PIVOT(x) to_number(x)", "Tr", "XFUNC_GROUP PAREN_LEFT NAME PAREN_RIGHT XFUNC PAREN_LEFT NAME PAREN_RIGHT"},
    {"PIVOT (x)", "T", "NAME(0,5)'PIVOT' PAREN_LEFT(6,7) NAME(7,8)'x' PAREN_RIGHT(8,9)"},
    // Variables: each kind of expression asks about its own kind only. Names
    // in workflows need ports: without them each unit is an error.
    {"$s.S $$R ab", "W", "WFVAR_PRE_DEFINED(0,4)'$s.S' WFVAR_USER_DEFINED(5,8)'$$R' NAME(9,11)'ab'"},
    {"$s_load.Status", "T", "LEXERROR NAME OPT_DOT NAME"},
    {"ab", "Wp", "LEXERROR(0,0)!19081 LEXERROR(1,1)!19081"},
    // Custom functions: only before "(", case-sensitive, qualifier included,
    // and before a built-in function of the same name.
    {"MYFUNC (:UDF.CALC(", "Tf", "XEXTFUNC(0,6)'MYFUNC' PAREN_LEFT(7,8) XEXTFUNC(8,17)':UDF.CALC' PAREN_LEFT(17,18)"},
    {"MYFUNC", "Tf", "NAME(0,6)'MYFUNC'"},
    {"IIF(x) iif(x) myfunc(", "Tf",
     "XEXTFUNC PAREN_LEFT NAME PAREN_RIGHT XFUNC PAREN_LEFT NAME PAREN_RIGHT NAME PAREN_LEFT"},
    // Texts that end in the middle of a token.
    {"'", "T", "LEXERROR"},
    {"-", "T", "OPT_MINUS"},
    {"/", "T", "OPT_BINARY_9"},
    {".", "T", "OPT_DOT"},
    {":", "T", "COLON"},
    {"1.", "T", "CONST_DECIMAL"},
    {"iif ", "T", "NAME"},
    {"iif --(", "T", "NAME"},
    {"|", "T", "LEXERROR"},
    {"<", "T", "OPT_BINARY_7"},
};

TEST(LexerTest, GoldenTokenDumps) {
    for (const LexCase& c : kLexCases) EXPECT_EQ(dump(c.text, c.setup, c.tokens), c.tokens) << c.setup << " " << c.text;
    for (const char* stray : {";", "?", "!", "&", "~", "`", "\\", "\"", "$", "|", "^", "\x01", "\x7F"}) {
        const std::string expected = "NAME(0,1)'a' LEXERROR(2,2)!19081 NAME(4,5)'b'";
        EXPECT_EQ(dump(std::string("a ") + stray + " b", "T", expected), expected) << static_cast<int>(stray[0]);
    }
    const std::string digits(5000, '7');
    EXPECT_EQ(dump(digits, "T", "("), "CONST_INT(0,5000)'" + digits + "'");
    EXPECT_EQ(dump(digits + "." + digits, "T", "("), "CONST_DECIMAL(0,10001)'" + digits + "." + digits + "'");
    EXPECT_EQ(dump(digits + ".5", "W", "("), "CONST_FLOAT(0,5002)~inf");
    EXPECT_EQ(dump("0." + std::string(4000, '0') + "1e3", "T", "("), "CONST_FLOAT(0,4005)~0");
    EXPECT_EQ(dump("1e" + digits, "T", "("), "CONST_FLOAT(0,5002)~inf");
}

// Lone surrogates and a reversed pair are identifier units like any other
// non-ASCII unit; where names need ports they are errors.
TEST(LexerTest, InvalidUtf16IsReadUnitByUnit) {
    const std::vector<unsigned short> text = {0xDC00, '+', 0xD800, ' ', 0xDE00, 0xD83D, '(', 0xFFFF, 0};
    EXPECT_EQ(dumpUnits(text, "T", false), "NAME OPT_PLUS NAME NAME PAREN_LEFT NAME");
    EXPECT_EQ(dumpUnits({0xD800, 0}, "Wp", true), "LEXERROR(0,0)!19081");
    EXPECT_EQ(dumpUnits({'a', 0, ';', 'b', 0}, "T", true), "NAME(0,1)'a'") << "the text ends at the first 0 unit";
    LexTestContext context;
    TestLexer fromNull(nullptr, &context, 0);
    EXPECT_EQ(dumpAll(fromNull, true), "");
}

// The lexer reads its vocabulary from the tables; every row must come out
// as its token and value, and decide the context as its domain says.
TEST(LexerTest, EveryVocabularyRow) {
    auto expect = [](const std::string& text, const std::string& setup, const std::string& expected) {
        EXPECT_EQ(dump(text, setup, expected), expected) << text;
    };
    for (const XSymbolRow& row : gSymbolTable) {
        if (std::string(row.text) == ":=") continue;  // two tokens, see the golden table
        const std::string value = row.nodeId == eXNI_NONE ? "" : "=" + kindText(row.nodeId);
        expect(std::string(" ") + row.text + " ", "T",
               tokenName(row.token) + ("(1," + std::to_string(1 + row.length) + ")") + value);
    }
    for (const XQualifierRow& row : gQualifierTable)
        expect(std::string(row.text) + ".x", "T", tokenName(row.token) + std::string(" OPT_DOT NAME"));
    for (const XKeywordRow& row : gKeywordTable)
        expect(row.name, "U", tokenName(row.token) + ("(0," + std::to_string(std::strlen(row.name)) + ")=") +
                                         kindText(row.semanticValue()) + " ->" + kContextNames[row.domain]);
    for (const XFunctionRow& row : gFunctionTable) {
        // The function token takes the blanks before "(" with it.
        const std::string n = std::to_string(std::strlen(row.name) + 1), m = std::to_string(std::strlen(row.name) + 2);
        expect(std::string(row.name) + " (", "Ur",
               tokenName(row.token) + ("(0," + n + ")=") + kindText(row.nodeId) + " PAREN_LEFT(" + n + "," + m +
                   ") ->" + kContextNames[row.domain & ~eXXC_RESTRICTED]);
    }
}

TEST(LexerTest, StaticSkippersStopAtTheRightUnit) {
    const struct { const char* text; size_t whitespaces, comment, both; } cases[] = {
        {"", 0, 0, 0},
        {"  x", 2, 0, 2},
        {"//a", 0, 3, 3},
        {"-- a\n  // b\n\tx", 0, 5, 13}, {" \t-- c", 2, 0, 6}, {"-x", 0, 0, 0}, {"/-x", 0, 0, 0}};
    for (const auto& c : cases) {
        auto buffer = units(c.text);
        const unsigned short* p = buffer.data();
        EXPECT_EQ(static_cast<size_t>(XLexer::stc_lookaheadWhitespaces(p) - p), c.whitespaces) << c.text;
        EXPECT_EQ(static_cast<size_t>(XLexer::stc_lookaheadComments(p) - p), c.comment) << c.text;
        EXPECT_EQ(static_cast<size_t>(XLexer::stc_skipWhitespacesAndComments(p) - p), c.both) << c.text;
    }
    EXPECT_EQ(XLexer::stc_skipWhitespacesAndComments(nullptr), nullptr);
}

std::string currentToken(const XLexer& lexer) {
    return std::to_string(lexer.getCurTokPosBegin()) + "," + std::to_string(lexer.getCurTokPosEnd()) + "'" +
           lexer.getCurTokText().toUtf8() + "'";
}

TEST(LexerTest, LookingAheadChangesNothing) {
    LexTestContext context;
    auto buffer = units("a  -- c\n  b");
    TestLexer lexer(buffer.data(), &context, 0);
    yystype lval{};
    ASSERT_EQ(lexer.yylex(&lval), NAME);
    EXPECT_EQ(lexer.skipWhitespacesAndComments(1), 9u);
    EXPECT_EQ(currentToken(lexer), "0,1'a'");
    EXPECT_EQ(lexer.skipWhitespacesAndComments(100), 0u) << "beyond the text";
    EXPECT_EQ(lexer.skipWhitespacesAndComments(-1), 9u);
    EXPECT_EQ(currentToken(lexer), "1,10'  -- c\n  '");
}

// The current token runs from the token to the start of the next one
// (blanks included); at the end it is the blanks skipped last, however they
// are made up (the single space between tokens has a path of its own).
TEST(LexerTest, CurrentTokenSpans) {
    // A text, how many tokens are read before looking, and the current token.
    const struct { const char* text; int tokens; const char* current; } cases[] = {
                 {"  iif  (x) ;", 1, "2,7'iif  '"},
                 {"  iif  (x) ;", 5, "11,12';'"},
                 {"  F  (", 1, "2,3'F'"},
                 {"a", 2, "0,1'a'"},
                 {"a ", 2, "1,2' '"},
                 {"a  ", 2, "1,3'  '"},
                 {"a\t ", 2, "1,3'\t '"},
                 {"a -- c", 2, "1,6' -- c'"},
                 {" -- c\n  ", 1, "0,8' -- c\n  '"}};
    for (const auto& c : cases) {
        LexTestContext context;
        context.extFuncs = {"F"};
        auto buffer = units(c.text);
        XLexer lexer(buffer.data(), &context, 0);
        yystype lval{};
        for (int i = 0; i < c.tokens; ++i)
            if (lexer.yylex(&lval) == XEXTFUNC) delete lval.text;
        EXPECT_EQ(currentToken(lexer), c.current) << c.text << " " << c.tokens;
    }
}

// The input is measured eight units at a time from 16-byte blocks; texts
// starting at every unit of a block and ending at every point of a round, in
// buffers with no room after the 0 unit, are read exactly to their end.
TEST(LexerTest, TextsAreMeasuredExactlyAtEveryAlignment) {
    for (size_t offset = 0; offset <= 16; offset += sizeof(unsigned short)) {
        for (size_t n = 0; n <= 20; ++n) {
            std::unique_ptr<unsigned char[]> storage(new unsigned char[offset + (n + 1) * sizeof(unsigned short)]);
            for (size_t i = 0; i <= n; ++i) {
                const unsigned short unit = i == n ? 0 : (i % 2 == 0 ? 'x' : ' ');
                std::memcpy(storage.get() + offset + i * sizeof unit, &unit, sizeof unit);
            }
            LexTestContext context;
            TestLexer lexer(reinterpret_cast<unsigned short*>(storage.get() + offset), &context, 0);
            std::string expected;
            for (size_t i = 0; i < (n + 1) / 2; ++i) expected += i ? " NAME" : "NAME";
            EXPECT_EQ(dumpAll(lexer, false), expected) << "offset " << offset << " length " << n;
        }
    }
}

TEST(LexerTest, NewTextsAndNonsenseAnswersOfTheContext) {
    LexTestContext context;
    auto first = units("abcdef + 1"), second = units("x");
    TestLexer lexer(first.data(), &context, 0);
    EXPECT_EQ(nextToken(lexer, [&](yystype* l) { return lexer.yylex(l); }, false), "NAME");
    lexer.setInputString(second.data());
    EXPECT_EQ(lexer.getCurTokText().toUtf8(), "");
    EXPECT_EQ(dumpAll(lexer, true), "NAME(0,1)'x'");
    // A variable the context claims is taken only as far as the text goes
    // (the second word has 2 units left), in either kind of expression.
    auto text = units("ab cd");
    LexTestContext workflow(kWorkflow);
    for (LexTestContext* forced : {&context, &workflow}) {
        const std::string var = forced == &context ? "MAPVAR" : "WFVAR_USER_DEFINED";
        for (auto [length, tokens] : {std::pair<size_t, std::string>{0, "NAME(0,2)'ab' NAME(3,5)'cd'"},
                                      {4, var + "(0,4)'ab c' NAME(4,5)'d'"},
                                      {5, var + "(0,5)'ab cd'"},
                                      {1000, "NAME(0,2)'ab' NAME(3,5)'cd'"}}) {
            forced->forcedLength = length;
            TestLexer forcedLexer(text.data(), forced, 0);
            EXPECT_EQ(dumpAll(forcedLexer, true), tokens) << length;
        }
    }
}

TEST(LexerTest, IdentifierRules) {
    // A text, its getIdentifier and its getICUBasedIdentifier.
    const struct { const char* text; const char* identifier; const char* icuIdentifier; } cases[] = {
        {"_a@#b.c", "_a@#b.", "_a@#b."},
        {"1abc", "", ""},
        {"a-b", "a", "a"},
        {"\xC3\xA9t\xC3\xA9+", "\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
        {"a\xC2\xA1" "b", "a\xC2\xA1" "b", "a"},  // U+00A1 is punctuation
        {"\xD9\xA3x", "\xD9\xA3x", ""},            // U+0663 is a digit, not an ASCII one
        {"a\x01", "a", "a"},
    };
    for (const auto& c : cases) {
        LexTestContext context;
        auto buffer = units(c.text);
        TestLexer lexer(buffer.data(), &context, 0);
        auto spanText = [&lexer](auto span) { return lexer.getInputString().substr(span.begin, span.length).toUtf8(); };
        EXPECT_EQ(spanText(lexer.getIdentifier()), c.identifier) << c.text;
        EXPECT_EQ(spanText(lexer.getICUBasedIdentifier()), c.icuIdentifier) << c.text;
    }
}

// No function of the vocabulary lacks the transformation bit, so the
// transformation message is checked through the helper that raises it. A
// context of 0 is an invariant, as is a missing context.
TEST(LexerTest, ContextMessagesAndInvariants) {
    LexTestContext context;
    auto buffer = units("ABORTED");
    TestLexer lexer(buffer.data(), &context, 0);
    yystype lval{};
    ASSERT_EQ(lexer.yylex(&lval), NAME);
    lexer.assignNonTransErrMsgToken(&lval);
    EXPECT_EQ(lval.value.str->toUtf8(), formattedMsg(19106, "ABORTED"));
    lexer.assignNonWflowErrMsgToken(&lval);
    EXPECT_EQ(lval.value.str->toUtf8(), formattedMsg(19107, "ABORTED"));
    LexTestContext zero(0);
    xtestsupport::expectInvariant("xlexer", [&] { XLexer(buffer.data(), &zero, 0); }, 38);
    EXPECT_THROW(XLexer(buffer.data(), nullptr, 0), QvAssertFailure);
}

// Values are made in blocks of growing size; every one of them must stay
// intact until the lexer is destroyed.
TEST(LexerTest, ValueStringsLiveAsLongAsTheLexer) {
    std::string text;
    std::vector<std::string> names;
    for (int i = 0; i < 5000; ++i)
        text += names.emplace_back("name_" + std::to_string(i) + (i % 7 ? "" : "_long_enough_to_need_a_buffer")) + " ";
    LexTestContext context;
    auto buffer = units(text);
    XLexer lexer(buffer.data(), &context, 0);
    std::vector<const QvUString*> kept;
    for (yystype lval{}; lexer.yylex(&lval) == NAME;) kept.push_back(lval.value.str);
    ASSERT_EQ(kept.size(), names.size());
    for (size_t i = 0; i < kept.size(); ++i) ASSERT_EQ(kept[i]->toUtf8(), names[i]);
}

// Every scan must stay linear on long texts. Every unit of a long name a
// workflow cannot read is an error of its own; the name is not scanned again
// for each.
TEST(LexerTest, TenMegabyteTexts) {
    const size_t size = 10u << 20;
    std::string text(size, 'a');
    EXPECT_EQ(dump(text, "T", ""), "NAME");
    text[0] = '\'';
    EXPECT_EQ(dump(text, "T", ""), "LEXERROR");
    text.back() = '\'';
    EXPECT_EQ(dump(text, "T", ""), "CONST_STR");
    text[0] = text[1] = '-';
    EXPECT_EQ(dump(text, "T", ""), "");
    EXPECT_EQ(dump(std::string(size / 10, 'a'), "Wp", "").size(), size / 10 * std::strlen("LEXERROR ") - 1);
}

// Every token of the run starts a new candidate function word that ends at
// the final "("; only short ones are put to the context, and those are the
// exact words.
TEST(LexerTest, CustomFunctionCandidatesAreShortExactWords) {
    LexTestContext context;
    context.extFuncs = {"f"};
    std::string text;
    while (text.size() < (2u << 20)) text += "ab+";
    auto buffer = units(text + "f(  ");
    TestLexer lexer(buffer.data(), &context, 0);
    const std::string tokens = dumpAll(lexer, false), tail = "NAME OPT_PLUS XEXTFUNC PAREN_LEFT";
    EXPECT_EQ(tokens.substr(tokens.size() - tail.size()), tail);
    EXPECT_EQ(static_cast<size_t>(std::count(tokens.begin(), tokens.end(), ' ')) + 1, text.size() / 3 * 2 + 2);
    EXPECT_LE(context.extFuncNamesAsked.size(), static_cast<size_t>(XLexer::kMaxCustomFunctionNameLength));
    LexTestContext exact;
    exact.extFuncs = {"ext"};
    auto words = units("ABCDEFGHIJKLMNOPQ,b,ext(1)+c(");
    TestLexer wordLexer(words.data(), &exact, 0);
    dumpAll(wordLexer, false);
    EXPECT_EQ(exact.extFuncNamesAsked,
              (std::vector<std::string>{"ABCDEFGHIJKLMNOPQ,b,ext", ",b,ext", "b,ext", ",ext", "ext", ")+c", "+c", "c"}));
}

// yylex reads the commonest tokens (words, strings, one-unit symbols) itself
// and leaves the rest to the matchers in their order; on any text both must
// give the same tokens, positions and values, and leave the same state for
// what follows. Texts are random runs of pieces chosen to meet every branch
// of the direct reading. The current token text, copied from the input only
// when asked for, must be the text between the current positions each time.
TEST(LexerTest, DirectReadingAgreesWithTheMatchers) {
    const char* const pieces[] = {
        "a",  "Name_1", "IIF", "ext",  "x,y", "(",  ")",   ",",    " ",  "  ",  "\t",   "\n",  "-- c\n", "//c",
        "'s'", "'",     "12",  "1.5",  "3e2", ".",  "..",  "||",   "<>", "<=",  "=",     "-",    "/",       "*",
        "+",  ":EXT.", ":=",  "$$v",  "$t.s", "AND", "TRUE", "SYSDATE", "\u00e9", "\u00a0", "#", "@", "[", "]",
        "{",  "}",     ";",   "!",    "!=",   "^=", "%",   "DD_INSERT", "ABORTED", "'a b'", "\u3000"};
    std::mt19937 random(20261206);
    auto state = [](TestLexer& l) { return currentToken(l) + kContextNames[l.getXprContext()]; };
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        for (int n = static_cast<int>(random() % 14) + 1; n > 0; --n) text += pieces[random() % std::size(pieces)];
        for (int xprContext : {kTransformation, kWorkflow, kUndecided}) {
            LexTestContext directContext(xprContext), matcherContext(xprContext);
            directContext.extFuncs = matcherContext.extFuncs = {"ext", ",ext", "x,y", ")ext"};
            auto buffer = units(text);
            TestLexer direct(buffer.data(), &directContext, 0), byMatchers(buffer.data(), &matcherContext, 0);
            for (int token = -1, i = 0; token != END_OF_INPUT; ++i) {
                const std::string a = nextToken(direct, [&](yystype* l) { return direct.yylex(l); }, true, &token);
                const std::string b =
                    nextToken(byMatchers, [&](yystype* l) { return byMatchers.yylexByMatchers(l); }, true);
                SCOPED_TRACE(testing::Message() << "text \"" << text << "\" context " << xprContext << " token " << i);
                ASSERT_EQ(a + " " + state(direct), b + " " + state(byMatchers));
                const size_t begin = direct.getCurTokPosBegin(), end = direct.getCurTokPosEnd();
                for (int again = 0; again < 2; ++again)
                    ASSERT_EQ(direct.getCurTokText(), direct.getInputString().substr(begin, end - begin));
            }
            EXPECT_EQ(directContext.extFuncNamesAsked, matcherContext.extFuncNamesAsked);
        }
    }
}

}  // namespace
