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
#include <string>
#include <vector>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtoken.h"
#include "qvutils.h"
#include "xgrammartokens.h"
#include "xlexer.h"
#include "xparsetest.h"
#include "xtokentables.h"

using namespace xgrammar;

namespace {

using xparsetest::kTransformation;
using xparsetest::kUndecided;
using xparsetest::kWorkflow;

// The parser tests' context plus a forced answer to every variable question
// and a record of the custom-function questions asked.
class LexTestContext : public xparsetest::TestContext {
public:
    explicit LexTestContext(int xprContext = kTransformation) : TestContext(xprContext) {}

    int containsValidTokenMapVar(const QvUString& text, size_t pos, size_t& length) override {
        if (forcedLength != kNoForcedLength) return answerForced(length);
        return TestContext::containsValidTokenMapVar(text, pos, length);
    }
    int containsValidTokenWflowVar(const QvUString& text, size_t pos, size_t& length, int& preDefined) override {
        if (forcedLength != kNoForcedLength) return answerForced(length);
        return TestContext::containsValidTokenWflowVar(text, pos, length, preDefined);
    }
    int containsValidExtFunc(const QvUString& name) override {
        extFuncNamesAsked.push_back(name.toUtf8());
        EXPECT_EQ(name.getBuffer()[name.length()], 0u);
        return TestContext::containsValidExtFunc(name);
    }

    static constexpr size_t kNoForcedLength = static_cast<size_t>(-1);
    size_t forcedLength = kNoForcedLength;  // when set: every variable question is a "yes" of this length
    std::vector<std::string> extFuncNamesAsked;

private:
    int answerForced(size_t& length) const {
        length = forcedLength;
        return 1;
    }
};

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

std::string formattedMsg(int id, const std::string& tokenText) {
    QvUString out;
    out.sprint(qvGetMsg(id).getBuffer(), qvU(tokenText).getBuffer());
    return out.toUtf8();
}

constexpr int32_t kUntouched = -77;
const char* const kContextNames[] = {"?", "T", "W", "U"};

// A semantic value as the dumps show it: "=KIND" for node kinds (or token
// names for keywords without a kind), "'text'" for strings, "~number" for
// doubles, "!id" for lexer messages, nothing when the value is left alone.
std::string valueText(int token, const yystype& lval, const std::string& spanText) {
    if (token == XEXTFUNC) {
        const std::string name = lval.text->toUtf8();
        delete lval.text;  // the grammar action's job
        return "'" + name + "'";
    }
    if (token == LEXERROR) {
        const std::string text = lval.value.str->toUtf8();
        for (int id : {19081, 19082}) if (text == qvGetMsg(id).toUtf8()) return "!" + std::to_string(id);
        for (int id : {19106, 19107}) if (text == formattedMsg(id, spanText)) return "!" + std::to_string(id);
        return "!'" + text + "'";
    }
    if (carriesString(token)) return "'" + lval.value.str->toUtf8() + "'";
    if (token == CONST_FLOAT) {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "~%.17g", lval.value.dbl);
        return buffer;
    }
    const int kind = lval.value.kind;
    if (kind == kUntouched) return "";
    return "=" + std::string(kind >= 258 ? tokenName(kind) : XNode::idToString(static_cast<EXNodeId>(kind)));
}

// Every token of `lexer` as "TOKEN(begin,end)value", or only "TOKEN" when
// `full` is false; a lexer that started undecided adds "->" and the context
// it ends in. The end must repeat and leave the current token at the end of
// the text.
std::string dumpAll(TestLexer& lexer, bool full) {
    const int startContext = lexer.getXprContext();
    std::string out;
    for (int n = 0;; ++n) {
        yystype lval{};
        lval.value.kind = kUntouched;
        const int token = lexer.yylex(&lval);
        if (token == END_OF_INPUT) break;
        const std::string span = lexer.getInputString().substr(lval.begin, lval.end - lval.begin).toUtf8();
        const std::string value = valueText(token, lval, span);
        if (n > 0) out += " ";
        out += tokenName(token);
        if (full) out += "(" + std::to_string(lval.begin) + "," + std::to_string(lval.end) + ")" + value;
        if (static_cast<size_t>(n) > lexer.getInputString().length()) return out + " <no end>";
    }
    yystype lval{};
    EXPECT_EQ(lexer.yylex(&lval), END_OF_INPUT) << "the end stays the end";
    EXPECT_EQ(static_cast<size_t>(lexer.getCurTokPosEnd()), lexer.getInputString().length());
    if (startContext == kUndecided) out += std::string(out.empty() ? "" : " ") + "->" + kContextNames[lexer.getXprContext()];
    return out;
}

// Setup letters: T, W or U for the expression context; r allows restricted
// functions; p refuses ports; f knows the custom functions MYFUNC,
// :UDF.CALC and IIF.
std::string dumpUnits(const std::vector<unsigned short>& text, const std::string& setup, bool full) {
    const int context = setup[0] == 'W' ? kWorkflow : setup[0] == 'U' ? kUndecided : kTransformation;
    LexTestContext lexContext(context);
    if (setup.find('p') != std::string::npos) lexContext.portAllowed = 0;
    if (setup.find('f') != std::string::npos) lexContext.extFuncs = {"MYFUNC", ":UDF.CALC", "IIF"};
    TestLexer lexer(text.data(), &lexContext, setup.find('r') != std::string::npos ? 1 : 0);
    return dumpAll(lexer, full);
}

// Expected dumps without "(" list the tokens only.
std::string dump(const std::string& text, const std::string& setup, const std::string& expected) {
    return dumpUnits(units(text), setup, expected.find('(') != std::string::npos);
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct LexCase {
    std::string text;
    const char* setup;
    std::string tokens;
};

const std::string kLongWord = "TC_CONTINUE_TRANSACTION" + std::string(50, '_');

const LexCase kLexCases[] = {
    // The worked example; an undecided expression reads the decimal as a double.
    {"IIF(ISNULL(PRICE), 0, PRICE * 1.5) -- note", "T",
     "XFUNC(0,3)=IIF PAREN_LEFT(3,4) XFUNC(4,10)=ISNULL PAREN_LEFT(10,11) NAME(11,16)'PRICE' PAREN_RIGHT(16,17) "
     "COMMA(17,18) CONST_INT(19,20)'0' COMMA(20,21) NAME(22,27)'PRICE' OPT_MULTIPLY(28,29)=MULTIPLY "
     "CONST_DECIMAL(30,33)'1.5' PAREN_RIGHT(33,34)"},
    {"PRICE * 1.5) -- note", "U", "NAME(0,5)'PRICE' OPT_MULTIPLY(6,7)=MULTIPLY CONST_FLOAT(8,11)~1.5 PAREN_RIGHT(11,12) ->U"},
    // Blanks and comments; a single "-" or "/" is an operator.
    {"", "T", ""}, {"   ", "T", ""}, {"\t\r\n", "T", ""}, {"-- only a comment", "T", ""},
    {"// one\n-- two\n  ", "T", ""}, {"--", "T", ""}, {"//\n", "T", ""},
    {"x--comment\n+1", "T", "NAME OPT_PLUS CONST_INT"},
    {"a--b", "T", "NAME"}, {"a//b", "T", "NAME"},
    {"a // b\r\n- c", "T", "NAME OPT_MINUS NAME"},
    {"a-b/c", "T", "NAME OPT_MINUS NAME OPT_BINARY_9 NAME"},
    {"a - b / c", "T", "NAME OPT_MINUS NAME OPT_BINARY_9 NAME"},
    // Non-ASCII white space separates tokens; only ASCII spaces end a name.
    {"IIF\u3000(", "T", "XFUNC(0,4)=IIF PAREN_LEFT(4,5)"},
    {"a\u3000b", "T", "NAME(0,3)'a\u3000b'"},
    {"\u3000+", "T", "OPT_PLUS(1,2)=PLUS"},
    // Strings: no escapes, no doubling; comment starts and blanks are text.
    {"'abc'", "T", "CONST_STR(0,5)'abc'"}, {"''", "T", "CONST_STR(0,2)''"},
    {"'it''s'", "T", "CONST_STR(0,4)'it' CONST_STR(4,7)'s'"},
    {"'a\\'", "T", "CONST_STR(0,4)'a\\'"},
    {"' -- x // y\n'", "T", "CONST_STR(0,13)' -- x // y\n'"},
    {"'\xC3\xA9t\xC3\xA9'", "T", "CONST_STR(0,5)'\xC3\xA9t\xC3\xA9'"},
    {"x || 'ab -- not a comment", "T", "NAME(0,1)'x' OPT_CONCAT(2,4)=CONCATOP LEXERROR(5,25)!19082"},
    // Numbers.
    {"1.5e3", "T", "CONST_FLOAT(0,5)~1500"}, {"15e2", "T", "CONST_FLOAT(0,4)~1500"},
    {"15E+2", "T", "CONST_FLOAT(0,5)~1500"}, {"25e-1", "T", "CONST_FLOAT(0,5)~2.5"},
    {"5.e1", "T", "CONST_FLOAT(0,4)~50"}, {".5e1", "T", "CONST_FLOAT(0,4)~5"},
    {"1.5", "T", "CONST_DECIMAL(0,3)'1.5'"}, {"5.", "T", "CONST_DECIMAL(0,2)'5.'"},
    {".5", "T", "CONST_DECIMAL(0,2)'.5'"}, {"2.5", "W", "CONST_FLOAT(0,3)~2.5"},
    {"2.5", "U", "CONST_FLOAT(0,3)~2.5 ->U"}, {"15", "T", "CONST_INT(0,2)'15'"},
    {"007", "W", "CONST_INT(0,3)'007'"}, {"1e", "T", "CONST_INT(0,1)'1' NAME(1,2)'e'"},
    {"1e+", "T", "CONST_INT(0,1)'1' NAME(1,2)'e' OPT_PLUS(2,3)=PLUS"},
    {"1E-", "T", "CONST_INT NAME OPT_MINUS"},
    {"12ab", "T", "CONST_INT(0,2)'12' NAME(2,4)'ab'"},
    {"1.2.3", "T", "CONST_DECIMAL(0,3)'1.2' CONST_DECIMAL(3,5)'.3'"},
    {"1..2", "T", "CONST_DECIMAL(0,2)'1.' CONST_DECIMAL(2,4)'.2'"},
    {".e3", "T", "OPT_DOT(0,1)=DOT NAME(1,3)'e3'"},
    {"-1", "T", "OPT_MINUS(0,1)=MINUS CONST_INT(1,2)'1'"},
    {"0x1F", "T", "CONST_INT(0,1)'0' NAME(1,4)'x1F'"},
    // Symbols sharing a token; ":" is tried before ":=".
    {"a <> b", "T", "NAME(0,1)'a' OPT_BINARY_6(2,4)=NE1 NAME(5,6)'b'"},
    {"a := b", "T", "NAME(0,1)'a' COLON(2,3) OPT_BINARY_6(3,4)=EQ NAME(5,6)'b'"},
    {".*.", "T", "OPT_DOTSTARDOT(0,3)=DOTDOT"},
    {"a<=b>=c<d>e!=f^=g", "T",
     "NAME OPT_BINARY_7 NAME OPT_BINARY_7 NAME OPT_BINARY_7 NAME OPT_BINARY_7 NAME OPT_BINARY_6 NAME OPT_BINARY_6 NAME"},
    // Qualifiers are case-insensitive prefixes; U+FB02 is never folded to "FL".
    {":lkp.MyLookup", "T", "XLKP(0,4)':lkp' OPT_DOT(4,5)=DOT NAME(5,13)'MyLookup'"},
    {":LKPX", "T", "XLKP(0,4)':LKP' NAME(4,5)'X'"},
    {":UDF.x", "T", "COLON NAME OPT_DOT NAME"},
    {":\xEF\xAC\x82" "D", "T", "COLON(0,1) NAME(1,3)'\xEF\xAC\x82" "D'"},
    // Function names need an opening parenthesis; a period ends the word.
    {"iif (", "T", "XFUNC(0,4)=IIF PAREN_LEFT(4,5)"},
    {"iif -- why\n (", "T", "XFUNC(0,12)=IIF PAREN_LEFT(12,13)"},
    {"iif", "T", "NAME(0,3)'iif'"},
    {"iif + 1", "T", "NAME(0,3)'iif' OPT_PLUS(4,5)=PLUS CONST_INT(6,7)'1'"},
    {"x.iif(", "T", "NAME(0,1)'x' OPT_DOT(1,2)=DOT XFUNC(2,5)=IIF PAREN_LEFT(5,6)"},
    // Keywords: not before a period; never when too long or not ASCII.
    {"TRUE.x", "T", "NAME(0,4)'TRUE' OPT_DOT(4,5)=DOT NAME(5,6)'x'"},
    {"and", "T", "OPT_AND(0,3)=AND"}, {"True", "T", "XTRUE(0,4)=XTRUE"},
    {kLongWord, "T", "NAME(0,73)'" + kLongWord + "'"},
    {"TRU\xC3\x89", "T", "NAME"}, {"\xC3\xA1" "bs(1)", "T", "NAME PAREN_LEFT CONST_INT PAREN_RIGHT"},
    // Transformation words narrow an undecided context, workflow words too;
    // after that the other kind's words are errors.
    {"DD_INSERT", "U", "XDD_INSERT ->T"}, {"DD_INSERT STARTED", "U", "XDD_INSERT NAME ->T"},
    {"DD_INSERT 1.5", "U", "XDD_INSERT CONST_DECIMAL ->T"},
    {"SUM(x) STARTED", "U", "XFUNC_GROUP PAREN_LEFT NAME PAREN_RIGHT NAME ->T"},
    {":LKP.x STARTED", "U", "XLKP OPT_DOT NAME NAME ->T"},
    {"x AND TRUE", "U", "NAME OPT_AND XTRUE ->U"},
    {"ABS(1.5)", "U", "XFUNC PAREN_LEFT CONST_FLOAT PAREN_RIGHT ->U"},
    {"$$Count", "U", "MAPVAR ->U"},
    {"STARTED", "U", "XWT_STARTED ->W"}, {"STARTED 1.5", "U", "XWT_STARTED CONST_FLOAT ->W"},
    {"WORKFLOWSTARTTIME", "U", "WORKFLOWSTARTTIME ->W"},
    {"STARTED DD_INSERT", "U", "XWT_STARTED LEXERROR ->W"},
    {"STARTED SUM(", "U", "XWT_STARTED LEXERROR PAREN_LEFT ->W"},
    {"STARTED :LKP", "U", "XWT_STARTED LEXERROR ->W"},
    {"$s_load.Status = DD_INSERT", "U", "WFVAR_PRE_DEFINED OPT_BINARY_6 LEXERROR ->W"},
    {"STARTED", "T", "NAME(0,7)'STARTED'"},
    {"DD_INSERT", "W", "LEXERROR(0,9)!19107"},
    {"x + :lkp", "W", "NAME(0,1)'x' OPT_PLUS(2,3)=PLUS LEXERROR(4,8)!19107"},
    {"sum (x)", "W", "LEXERROR(0,4)!19107 PAREN_LEFT(4,5) NAME(5,6)'x' PAREN_RIGHT(6,7)"},
    // Restricted functions need permission; TO_NUMBER decides nothing.
    {"PIVOT(x)", "Tr", "XFUNC_GROUP(0,5)=PIVOT PAREN_LEFT(5,6) NAME(6,7)'x' PAREN_RIGHT(7,8)"},
    {"to_number(x)", "Tr", "XFUNC(0,9)=TO_NUMBER PAREN_LEFT(9,10) NAME(10,11)'x' PAREN_RIGHT(11,12)"},
    {"PIVOT (x)", "T", "NAME(0,5)'PIVOT' PAREN_LEFT(6,7) NAME(7,8)'x' PAREN_RIGHT(8,9)"},
    {"TO_NUMBER(x)", "Ur", "XFUNC PAREN_LEFT NAME PAREN_RIGHT ->U"},
    // Variables: each kind of expression asks about its own kind only.
    {"$$Count + 1", "T", "MAPVAR(0,7)'$$Count' OPT_PLUS(8,9)=PLUS CONST_INT(10,11)'1'"},
    {"$$Count", "W", "WFVAR_USER_DEFINED"},
    {"$s_load.Status = SUCCEEDED", "W",
     "WFVAR_PRE_DEFINED(0,14)'$s_load.Status' OPT_BINARY_6(15,16)=EQ XWT_SUCCEEDED(17,26)=XWT_SUCCEEDED"},
    {"$$Runs > 2", "W", "WFVAR_USER_DEFINED(0,6)'$$Runs' OPT_BINARY_7(7,8)=GT CONST_INT(9,10)'2'"},
    {"$s_load.Status", "T", "LEXERROR NAME OPT_DOT NAME"},
    // Names in workflows need ports: without them each unit is an error.
    {"ab", "W", "NAME(0,2)'ab'"}, {"ab", "Wp", "LEXERROR(0,0)!19081 LEXERROR(1,1)!19081"},
    // Custom functions: only before "(", case-sensitive, qualifier included,
    // and before a built-in function of the same name.
    {"MYFUNC (1)", "Tf", "XEXTFUNC(0,6)'MYFUNC' PAREN_LEFT(7,8) CONST_INT(8,9)'1' PAREN_RIGHT(9,10)"},
    {"MYFUNC", "Tf", "NAME(0,6)'MYFUNC'"},
    {"MYFUNC + 1", "Tf", "NAME(0,6)'MYFUNC' OPT_PLUS(7,8)=PLUS CONST_INT(9,10)'1'"},
    {"myfunc(", "Tf", "NAME(0,6)'myfunc' PAREN_LEFT(6,7)"},
    {":UDF.CALC(x)", "Tf", "XEXTFUNC(0,9)':UDF.CALC' PAREN_LEFT(9,10) NAME(10,11)'x' PAREN_RIGHT(11,12)"},
    {"IIF(x)", "Tf", "XEXTFUNC(0,3)'IIF' PAREN_LEFT(3,4) NAME(4,5)'x' PAREN_RIGHT(5,6)"},
    {"iif(x)", "Tf", "XFUNC(0,3)=IIF PAREN_LEFT(3,4) NAME(4,5)'x' PAREN_RIGHT(5,6)"},
    // Texts that end in the middle of a token.
    {"'", "T", "LEXERROR"}, {"x '", "T", "NAME LEXERROR"}, {"-", "T", "OPT_MINUS"}, {"/", "T", "OPT_BINARY_9"},
    {".", "T", "OPT_DOT"}, {":", "T", "COLON"}, {"1.", "T", "CONST_DECIMAL"}, {"a.", "T", "NAME OPT_DOT"},
    {"iif ", "T", "NAME"}, {"iif --(", "T", "NAME"}, {"|", "T", "LEXERROR"}, {"<", "T", "OPT_BINARY_7"},
    {"!", "T", "LEXERROR"}, {":lk", "T", "COLON NAME"},
};

TEST(LexerTest, GoldenTokenDumps) {
    for (const LexCase& c : kLexCases) EXPECT_EQ(dump(c.text, c.setup, c.tokens), c.tokens) << c.setup << " " << c.text;
}

TEST(LexerTest, StrayCharactersAreOneUnitErrors) {
    for (const char* stray : {";", "?", "!", "&", "~", "`", "\\", "\"", "$", "|", "^", "\x01", "\x7F"}) {
        const std::string expected = "NAME(0,1)'a' LEXERROR(2,2)!19081 NAME(4,5)'b'";
        EXPECT_EQ(dump(std::string("a ") + stray + " b", "T", expected), expected) << static_cast<int>(stray[0]);
    }
}

// Lone surrogates and a reversed pair are identifier units like any other
// non-ASCII unit; where names need ports they are errors.
TEST(LexerTest, InvalidUtf16IsReadUnitByUnit) {
    const std::vector<unsigned short> text = {0xDC00, '+', 0xD800, ' ', 0xDE00, 0xD83D, '(', 0xFFFF, 0};
    EXPECT_EQ(dumpUnits(text, "T", false), "NAME OPT_PLUS NAME NAME PAREN_LEFT NAME");
    EXPECT_EQ(dumpUnits({0xD800, 0}, "Wp", true), "LEXERROR(0,0)!19081");
    EXPECT_EQ(dumpUnits({'a', 0, ';', 'b', 0}, "T", true), "NAME(0,1)'a'") << "the text ends at the first 0 unit";
    LexTestContext context;
    XLexer fromNull(nullptr, &context, 0);
    yystype lval{};
    EXPECT_EQ(fromNull.yylex(&lval), END_OF_INPUT);
}

// The lexer reads its vocabulary from the tables; every row must come out
// as its token and value, and decide the context as its domain says.
TEST(LexerTest, EveryVocabularyRow) {
    auto expect = [](const std::string& text, const std::string& setup, const std::string& expected) {
        EXPECT_EQ(dump(text, setup, expected), expected) << text;
    };
    auto kindText = [](int kind) {
        return std::string(kind >= 258 ? tokenName(kind) : XNode::idToString(static_cast<EXNodeId>(kind)));
    };
    for (const XSymbolRow& row : gSymbolTable) {
        if (std::string(row.text) == ":=") continue;  // two tokens, see the golden table
        const std::string value = row.nodeId == eXNI_NONE ? "" : "=" + kindText(row.nodeId);
        expect(std::string(" ") + row.text + " ", "T",
               std::string(tokenName(row.token)) + "(1," + std::to_string(1 + row.length) + ")" + value);
    }
    for (const XQualifierRow& row : gQualifierTable)
        expect(lower(row.text) + ".x", "T", std::string(tokenName(row.token)) + " OPT_DOT NAME");
    for (const XKeywordRow& row : gKeywordTable) {
        const std::string name = lower(row.name);
        expect(name, "U", std::string(tokenName(row.token)) + "(0," + std::to_string(name.size()) + ")=" +
                              kindText(row.semanticValue()) + " ->" + kContextNames[row.domain]);
    }
    for (const XFunctionRow& row : gFunctionTable) {
        // The function token takes the blanks before "(" with it.
        const std::string n = std::to_string(std::strlen(row.name) + 1);
        const std::string m = std::to_string(std::strlen(row.name) + 2);
        expect(std::string(row.name) + " (", "Ur",
               std::string(tokenName(row.token)) + "(0," + n + ")=" + kindText(row.nodeId) + " PAREN_LEFT(" + n + "," +
                   m + ") ->" + kContextNames[row.domain & ~eXXC_RESTRICTED]);
    }
}

TEST(LexerTest, NumbersWithThousandsOfDigits) {
    const std::string digits(5000, '7');
    const std::string asInt = "CONST_INT(0,5000)'" + digits + "'";
    EXPECT_EQ(dump(digits, "T", asInt), asInt);
    const std::string asDecimal = "CONST_DECIMAL(0,10001)'" + digits + "." + digits + "'";
    EXPECT_EQ(dump(digits + "." + digits, "T", asDecimal), asDecimal);
    EXPECT_EQ(dump(digits + ".5", "W", "("), "CONST_FLOAT(0,5002)~inf");
    EXPECT_EQ(dump("0." + std::string(4000, '0') + "1e3", "T", "("), "CONST_FLOAT(0,4005)~0");
    EXPECT_EQ(dump("1e" + digits, "T", "("), "CONST_FLOAT(0,5002)~inf");
}

TEST(LexerTest, StaticSkippersStopAtTheRightUnit) {
    struct Case {
        const char* text;
        size_t whitespaces, comment, both;
    };
    const Case cases[] = {{"", 0, 0, 0},          {"x", 0, 0, 0},    {"  x", 2, 0, 2},
                          {"--a\nx", 0, 4, 4},    {"//a", 0, 3, 3},  {"-- a\n  // b\n\tx", 0, 5, 13},
                          {" \t-- c", 2, 0, 6},   {"-x", 0, 0, 0},   {"/-x", 0, 0, 0}};
    for (const Case& c : cases) {
        auto buffer = units(c.text);
        const unsigned short* p = buffer.data();
        EXPECT_EQ(static_cast<size_t>(XLexer::stc_lookaheadWhitespaces(p) - p), c.whitespaces) << c.text;
        EXPECT_EQ(static_cast<size_t>(XLexer::stc_lookaheadComments(p) - p), c.comment) << c.text;
        EXPECT_EQ(static_cast<size_t>(XLexer::stc_skipWhitespacesAndComments(p) - p), c.both) << c.text;
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

// The current token runs from the token to the start of the next one
// (blanks included); at the end it is the blanks skipped last, however they
// are made up (the single space between tokens has a path of its own).
TEST(LexerTest, CurrentTokenSpans) {
    const struct {
        const char* text;
        int tokens;  // read before looking
        int begin, end;
        const char* tokenText;
    } cases[] = {
        {"  iif  (x) ;", 1, 2, 7, "iif  "}, {"  iif  (x) ;", 5, 11, 12, ";"}, {"  F  (", 1, 2, 3, "F"},
        {"a", 2, 0, 1, "a"},                 {"a ", 2, 1, 2, " "},              {"a   ", 2, 1, 4, "   "},
        {"a\t ", 2, 1, 3, "\t "},            {"a -- c", 2, 1, 6, " -- c"},     {"a//c\n ", 2, 1, 6, "//c\n "},
        {" ", 1, 0, 1, " "},                 {" -- c\n  ", 1, 0, 8, " -- c\n  "},
    };
    for (const auto& c : cases) {
        LexTestContext context;
        context.extFuncs = {"F"};
        auto buffer = units(c.text);
        XLexer lexer(buffer.data(), &context, 0);
        yystype lval{};
        for (int i = 0; i < c.tokens; ++i)
            if (lexer.yylex(&lval) == XEXTFUNC) delete lval.text;
        EXPECT_EQ(lexer.getCurTokPosBegin(), c.begin) << c.text << " " << c.tokens;
        EXPECT_EQ(lexer.getCurTokPosEnd(), c.end) << c.text << " " << c.tokens;
        EXPECT_EQ(lexer.getCurTokText().toUtf8(), c.tokenText) << c.text << " " << c.tokens;
    }
}

// The current token text is copied from the input only when asked for; it
// must always be the text between the current positions, however often it
// is asked for.
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

// The input is measured eight units at a time from 16-byte blocks; texts
// starting at every unit of a block and ending at every point of a round, in
// buffers with no room after the 0 unit, are read exactly to their end.
TEST(LexerTest, TextsAreMeasuredExactlyAtEveryAlignment) {
    for (size_t offsetBytes = 0; offsetBytes <= 16; offsetBytes += sizeof(unsigned short)) {
        for (size_t n = 0; n <= 20; ++n) {
            const size_t bytes = offsetBytes + (n + 1) * sizeof(unsigned short);
            std::unique_ptr<unsigned char[]> storage(new unsigned char[bytes]);
            auto* text = reinterpret_cast<unsigned short*>(storage.get() + offsetBytes);
            for (size_t i = 0; i <= n; ++i) {
                const unsigned short unit = i == n ? 0 : (i % 2 == 0 ? 'x' : ' ');
                std::memcpy(reinterpret_cast<unsigned char*>(text) + i * sizeof unit, &unit, sizeof unit);
            }
            LexTestContext context;
            TestLexer lexer(text, &context, 0);
            std::string expected;
            for (size_t i = 0; i < (n + 1) / 2; ++i) expected += i ? " NAME" : "NAME";
            EXPECT_EQ(dumpAll(lexer, false), expected) << "offset " << offsetBytes << " length " << n;
        }
    }
}

TEST(LexerTest, ReadingANewTextStartsOver) {
    LexTestContext context;
    auto first = units("abcdef + 1");
    auto second = units("x");
    TestLexer lexer(first.data(), &context, 0);
    yystype lval{};
    EXPECT_EQ(lexer.yylex(&lval), NAME);
    lexer.setInputString(second.data());
    EXPECT_EQ(lexer.getCurTokText().toUtf8(), "");
    EXPECT_EQ(dumpAll(lexer, true), "NAME(0,1)'x'");
}

TEST(LexerTest, NonsenseAnswersOfTheContextAreIgnored) {
    for (size_t length : {size_t{0}, size_t{4}, size_t{1000}}) {
        LexTestContext context;
        context.forcedLength = length;
        auto buffer = units("abc");
        TestLexer lexer(buffer.data(), &context, 0);
        EXPECT_EQ(dumpAll(lexer, true), "NAME(0,3)'abc'") << length;
    }
}

TEST(LexerTest, IdentifierRules) {
    struct Case {
        const char* text;
        const char* identifier;     // getIdentifier
        const char* icuIdentifier;  // getICUBasedIdentifier
    };
    const Case cases[] = {
        {"abc def", "abc", "abc"}, {"_a@#b.c", "_a@#b.", "_a@#b."}, {"1abc", "", ""}, {"a-b", "a", "a"}, {"(x", "", ""},
        {"\xC3\xA9t\xC3\xA9+", "\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
        {"a\xC2\xA1" "b", "a\xC2\xA1" "b", "a"},  // U+00A1 is punctuation
        {"\xD9\xA3x", "\xD9\xA3x", ""},            // U+0663 is a digit, not an ASCII one
        {"a\x01", "a", "a"},
    };
    for (const Case& c : cases) {
        LexTestContext context;
        auto buffer = units(c.text);
        TestLexer lexer(buffer.data(), &context, 0);
        auto spanText = [&lexer](auto span) { return lexer.getInputString().substr(span.begin, span.length).toUtf8(); };
        EXPECT_EQ(spanText(lexer.getIdentifier()), c.identifier) << c.text;
        EXPECT_EQ(spanText(lexer.getICUBasedIdentifier()), c.icuIdentifier) << c.text;
    }
}

// The lexer answers these from tables derived at load time; they must agree
// with the character sets for every unit.
TEST(LexerTest, CharacterClasses) {
    LexTestContext context;
    auto buffer = units("");
    XLexer lexer(buffer.data(), &context, 0);
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        const auto c = static_cast<unsigned short>(u);
        ASSERT_EQ(lexer.checkInValidToken(c), XToken::m_invalidTokens->contains(c) ? 1 : 0) << std::hex << u;
        ASSERT_EQ(XLexer::stc_checkIsAnySpaceToken(c), XToken::m_spaceTokens->contains(c) ? 1 : 0) << std::hex << u;
        ASSERT_EQ(lexer.checkIsAnyControlToken(c), c <= 0x1F || c == 0x7F ? 1 : 0) << std::hex << u;
    }
    EXPECT_EQ(lexer.checkIsAnyDigitToken('9'), 1);
    EXPECT_EQ(lexer.checkIsAnyDigitToken(0x0663), 0);
    EXPECT_EQ(lexer.checkValidPunctToken('#'), 1);
    EXPECT_EQ(lexer.checkValidPunctToken('$'), 0);
}

// No function of the vocabulary lacks the transformation bit, so the
// transformation message is checked through the helper that raises it.
TEST(LexerTest, ContextMessagesNameTheToken) {
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

// Values are made in blocks of growing size; every one of them must stay
// intact until the lexer is destroyed.
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
    std::string text(size, 'a');
    EXPECT_EQ(dump(text, "T", ""), "NAME");
    text[0] = '\'';
    EXPECT_EQ(dump(text, "T", ""), "LEXERROR");
    text.back() = '\'';
    EXPECT_EQ(dump(text, "T", ""), "CONST_STR");
    text[0] = '-';
    text[1] = '-';
    EXPECT_EQ(dump(text, "T", ""), "");
    // Every unit of a long name a workflow cannot read is an error of its
    // own; the name is not scanned again for each.
    const std::string errors = dump(std::string(size / 10, 'a'), "Wp", "");
    EXPECT_EQ(errors.size(), size / 10 * std::strlen("LEXERROR ") - 1);
}

// Every token of the run starts a new candidate function word that ends at
// the final "("; only short ones are put to the context, and those are the
// exact words.
TEST(LexerTest, CustomFunctionCandidatesAreShortExactWords) {
    LexTestContext context;
    context.extFuncs = {"f"};
    std::string text;
    while (text.size() < (2u << 20)) text += "ab+";
    text += "f(  ";
    auto buffer = units(text);
    TestLexer lexer(buffer.data(), &context, 0);
    const std::string tokens = dumpAll(lexer, false);
    const std::string tail = "NAME OPT_PLUS XEXTFUNC PAREN_LEFT";
    EXPECT_EQ(tokens.substr(tokens.size() - tail.size()), tail);
    EXPECT_EQ(static_cast<size_t>(std::count(tokens.begin(), tokens.end(), ' ')) + 1, (text.size() - 4) / 3 * 2 + 2);
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
// of the direct reading.
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
            EXPECT_EQ(directContext.extFuncNamesAsked, matcherContext.extFuncNamesAsked);
        }
    }
}

}  // namespace
