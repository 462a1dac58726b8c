// Tests of the grammar: token numbers shared with the lexer, operator
// precedence and associativity, the trees each rule builds (printed in a
// compact prefix form), node spans, and the syntax errors the grammar itself
// reports with their positions.
#include <gtest/gtest.h>

#include <string>

#include "qvutils.h"
#include "xgrammar.h"
#include "xparsetest.h"

using namespace xparsetest;

namespace {

// ---------------------------------------------------------------- tokens

// Every terminal of the vocabulary has the same number in the generated
// driver, and the vocabulary is exactly the grammar's terminal range.
TEST(GrammarTokenTest, GeneratedNumbersMatchTheVocabulary) {
    int count = 0;
    int expected = 258;
#define GRAMMAR_TOKEN(name, number)                                      \
    EXPECT_EQ(static_cast<int>(yytokentype::TOK_##name), number) << #name; \
    EXPECT_EQ(number, expected++) << #name;                              \
    ++count;
#include "xgrammartokens.def"
#undef GRAMMAR_TOKEN
    EXPECT_EQ(count, 76);
    EXPECT_EQ(static_cast<int>(TOK_YYEOF), 0);
    EXPECT_EQ(static_cast<int>(TOK_YYerror), 256);
}

TEST(GrammarTokenTest, StarKeyIsTheMultiplyToken) {
    EXPECT_EQ(TestParser::getStarKey(), static_cast<int>(TOK_OPT_MULTIPLY));
}

// ---------------------------------------------------------------- trees

struct TreeCase {
    const char* text;
    const char* tree;  // or "status - [message ids] begin,end" for a failed or reporting parse
};

// The tree of `text`, or how the parse ended; the node stack is freed
// either way.
std::string parsed(const char* text, int xprContext, int portAllowed = 1) {
    TestContext ctx(xprContext);
    ctx.extFuncs = {"myfn", ":UDF.twice"};
    ctx.portAllowed = portAllowed;
    OneParse r(ctx, text);
    EXPECT_EQ(r.parser.getStack(), nullptr) << text;
    if (r.status == 0 && r.err.isEmpty()) return r.printed();
    return r.outcome() + " " + std::to_string(r.errBegin) + "," + std::to_string(r.errEnd);
}

void expectTrees(const TreeCase* cases, size_t n, int xprContext, int portAllowed = 1) {
    for (size_t i = 0; i < n; ++i)
        EXPECT_EQ(parsed(cases[i].text, xprContext, portAllowed), cases[i].tree) << cases[i].text;
}

constexpr TreeCase kPrecedence[] = {
    {"a OR b AND c", "OR(a,AND(b,c))"},
    {"a AND b OR c", "OR(AND(a,b),c)"},
    {"a OR b OR c", "OR(OR(a,b),c)"},
    {"a AND b AND c", "AND(AND(a,b),c)"},
    {"a = 1 OR b = 2", "OR(EQ(a,1),EQ(b,2))"},
    {"a AND b = c", "AND(a,EQ(b,c))"},
    {"a = b < c", "EQ(a,LT(b,c))"},
    {"a < b = c", "EQ(LT(a,b),c)"},
    {"a = b = c", "EQ(EQ(a,b),c)"},
    {"a <> b != c ^= d", "NE3(NE2(NE1(a,b),c),d)"},
    {"a < b <= c > d >= e", "GE(GT(LE(LT(a,b),c),d),e)"},
    {"a < b || c", "LT(a,CONCATOP(b,c))"},
    {"a || b + c", "CONCATOP(a,PLUS(b,c))"},
    {"a + b || c", "CONCATOP(PLUS(a,b),c)"},
    {"a || b || c", "CONCATOP(CONCATOP(a,b),c)"},
    {"a - b - c", "MINUS(MINUS(a,b),c)"},
    {"a - b + c", "PLUS(MINUS(a,b),c)"},
    {"a + b * c", "PLUS(a,MULTIPLY(b,c))"},
    {"a * b + c", "PLUS(MULTIPLY(a,b),c)"},
    {"a / b * c % d", "MODULUS(MULTIPLY(DIVIDE(a,b),c),d)"},
    {"(a + b) * c", "MULTIPLY(PLUS(a,b),c)"},
    {"a * (b - c)", "MULTIPLY(a,MINUS(b,c))"},
    {"NOT a = b", "EQ(NOT(a),b)"},
    {"NOT a + b", "PLUS(NOT(a),b)"},
    {"NOT a AND b", "AND(NOT(a),b)"},
    {"NOT (a AND b)", "NOT(AND(a,b))"},
    {"NOT NOT a", "NOT(NOT(a))"},
    {"-a * b", "MULTIPLY(UMINUS(a),b)"},
    {"a * -b", "MULTIPLY(a,UMINUS(b))"},
    {"a * -b + c", "PLUS(MULTIPLY(a,UMINUS(b)),c)"},
    {"a - -b", "MINUS(a,UMINUS(b))"},
    {"- -a", "UMINUS(UMINUS(a))"},
    {"+a", "UPLUS(a)"},
    {"-a.b", "UMINUS(DOT(a,b))"},
    {"NOT a.b", "NOT(DOT(a,b))"},
    {"a.b.c", "DOT(DOT(a,b),c)"},
    {"a.b[1]", "SUB(DOT(a,b),LIST(1))"},
    {"a[1].b", "DOT(SUB(a,LIST(1)),b)"},
    {"a[1][2]", "SUB(SUB(a,LIST(1)),LIST(2))"},
    {"-a[1]", "UMINUS(SUB(a,LIST(1)))"},
    {"a + b.c", "PLUS(a,DOT(b,c))"},
    {"a..b", "DOTDOT(a,b)"},
    {"a.*.b", "DOTDOT(a,b)"},
    {"(a).b", "DOT(a,b)"},
    {"a.$$v", "DOT(a,$$v)"},
};

TEST(GrammarTest, PrecedenceAndAssociativity) {
    expectTrees(kPrecedence, std::size(kPrecedence), kTransformation);
}

constexpr TreeCase kCalls[] = {
    {"IIF(a, 1, 2)", "IIF(a,1,2)"},
    {"iif ( a , 1 )", "IIF(a,1)"},
    {"SUM(a)", "SUM(a)"},
    {"SUM(a * 2)", "SUM(MULTIPLY(a,2))"},
    {"DECODE(a, 1, 'x', 'y')", "DECODE(a,1,'x','y')"},
    {"SYSTIMESTAMP()", "SYSTIMESTAMP()"},
    {"COUNT(*)", "COUNT(STAR)"},
    {"COUNT(a, b)", "COUNT(a,b)"},
    {"COUNT(a)", "COUNT(a)"},
    {"COUNT(*, a)", "COUNT(STAR,a)"},
    {"a[*]", "SUB(a,STAR)"},
    {"a[1, 2]", "SUB(a,LIST(1,2))"},
    {"a[1, 2, 3]", "SUB(a,LIST(1,2,3))"},
    {"f(a, 1)", "SP[:SP.f](a,1)"},
    {"f()", "SP[:SP.f]()"},
    {":f(a)", "SP[:SP.f](a)"},
    {":SP.f(a)", "SP[:SP.f](a)"},
    {":sp.f(PROC_RESULT, a)", "SP[:sp.f](PROC_RESULT,a)"},
    {":LKP.l(a, b)", "LKP[:LKP.l](a,b)"},
    {":lkp.l(a)", "LKP[:lkp.l](a)"},
    {":EXT.e()", "EXT[:EXT.e]()"},
    {"myfn(1, a)", "EXTFUNC[myfn](1,a)"},
    {"myfn ()", "EXTFUNC[myfn]()"},
    {":UDF.twice(a)", "MACRO[:UDF.twice](a)"},
    {"LOOKUP(:TD.r, :TD.c1, a, :TD.c2, 5)", "LOOKUP[](:TD.r,:TD.c1,a,:TD.c2,5)"},
    {"LOOKUP(:TD.r, :TD.c, a + 1)", "LOOKUP[](:TD.r,:TD.c,PLUS(a,1))"},
    {":TYPE.a.b", "TYPE(a,b)"},
    {":FLD.{a.b.c}", "a.b.c"},
    {":FLD.{a}", "a"},
    {":SD.a", ":SD.a"},
    {":a", "a"},
    {"$$v + 1", "PLUS($$v,1)"},
    {"IIF(ISNULL(a), SUM(b), -1)", "IIF(ISNULL(a),SUM(b),-1)"},
};

TEST(GrammarTest, CallsAndReferences) { expectTrees(kCalls, std::size(kCalls), kTransformation); }

constexpr TreeCase kKeywords[] = {
    {"NULL", "NULL"},
    {"TRUE", "TRUE=1"},
    {"FALSE", "FALSE=0"},
    {"SYSDATE", "SYSDATE"},
    {"SESSSTARTTIME", "SESSSTARTTIME"},
    {"DD_INSERT", "DD_INSERT=0"},
    {"DD_UPDATE", "DD_UPDATE=1"},
    {"DD_DELETE", "DD_DELETE=2"},
    {"DD_REJECT", "DD_REJECT=3"},
    {"TC_CONTINUE_TRANSACTION", "TC_CONTINUE_TRANSACTION=0"},
    {"TC_COMMIT_BEFORE", "TC_COMMIT_BEFORE=1"},
    {"TC_COMMIT_AFTER", "TC_COMMIT_AFTER=2"},
    {"TC_ROLLBACK_BEFORE", "TC_ROLLBACK_BEFORE=3"},
    {"TC_ROLLBACK_AFTER", "TC_ROLLBACK_AFTER=4"},
    {"IIF(a, DD_INSERT, DD_REJECT)", "IIF(a,DD_INSERT=0,DD_REJECT=3)"},
    {"'abc' || 'd'", "CONCATOP('abc','d')"},
};

TEST(GrammarTest, KeywordsOfTransformations) {
    expectTrees(kKeywords, std::size(kKeywords), kTransformation);
}

constexpr TreeCase kWorkflowKeywords[] = {
    {"ABORTED", "ABORTED=107"},
    {"DISABLED", "DISABLED=104"},
    {"FAILED", "FAILED=105"},
    {"NOTSTARTED", "NOTSTARTED=101"},
    {"STARTED", "STARTED=102"},
    {"STOPPED", "STOPPED=106"},
    {"SUCCEEDED", "SUCCEEDED=103"},
    {"WORKFLOWSTARTTIME", "WORKFLOWSTARTTIME"},
    {"$s1.Status = SUCCEEDED", "EQ($s1.Status,SUCCEEDED=103)"},
    {"$$count > 2 AND NOT $s1.Status = FAILED", "AND(GT($$count,2),EQ(NOT($s1.Status),FAILED=105))"},
};

TEST(GrammarTest, KeywordsOfWorkflows) {
    expectTrees(kWorkflowKeywords, std::size(kWorkflowKeywords), kWorkflow);
}

// ---------------------------------------------------------------- node kinds

const XNode* childOf(const XNode* node, int i) { return node->getChildB(i, 1); }

TEST(GrammarTest, ReferenceKindsFollowTheirRule) {
    TestContext ctx(kTransformation);
    OneParse r(ctx, "a + :FLD.{x.y} + $$v");
    ASSERT_EQ(r.status, 0) << r.err.toUtf8();
    const XNode* outer = r.root();
    EXPECT_EQ(childOf(childOf(outer, 0), 0)->getId(), eXNI_PORTVAR);
    EXPECT_EQ(childOf(childOf(outer, 0), 1)->getId(), eXNI_QUALIFIEDPORTVAR);
    EXPECT_EQ(childOf(outer, 1)->getId(), eXNI_MAPVAR);

    TestContext wf(kWorkflow);
    OneParse w(wf, "$$count");
    ASSERT_EQ(w.status, 0) << w.err.toUtf8();
    EXPECT_EQ(w.root()->getId(), eXNI_WFVAR);
}

// The element levels follow the chain: a qualified name's head counts its
// components, and the called name of a stored procedure gets ":SP".
TEST(GrammarTest, NameChainsOfQualifiedNames) {
    TestContext ctx(kTransformation);
    OneParse r(ctx, ":SD.src");
    ASSERT_EQ(r.status, 0);
    XTokName* chain = static_cast<const XNodeRef*>(r.root())->getTokName();
    EXPECT_EQ(chain->getName().toUtf8(), ":SD");
    EXPECT_EQ(chain->getLast()->getName().toUtf8(), "src");
    const unsigned short** qualifiers = chain->getNameQualifiers();
    ASSERT_NE(qualifiers[0], nullptr);
    EXPECT_EQ(QvUString(qualifiers[0]).toUtf8(), ":SD");
    EXPECT_EQ(qualifiers[1], nullptr);
}

// ---------------------------------------------------------------- spans

struct SpanCase {
    const char* text;
    int begin;
    int end;
};

TEST(GrammarSpanTest, RootSpansCoverTheirRule) {
    constexpr SpanCase cases[] = {
        {"a + b", 0, 5},         {"(a + b)", 0, 7},      {"((a))", 0, 5},
        {" ( a ) ", 1, 6},       {"-5", 0, 2},           {"- 5", 0, 3},
        {"-(5)", 0, 4},          {"- ( 5 )", 0, 7},      {"+5", 0, 2},
        {"-'x'", 0, 4},          {"- -5", 0, 4},         {"NOT a", 0, 5},
        {"f(a)", 0, 4},          {"IIF(a,1,2)", 0, 10},  {"a[1]", 0, 4},
        {"a.b", 0, 3},           {":SD.a", 0, 5},        {":a", 0, 2},
        {":FLD.{a.b}", 0, 10},   {":TYPE.a.b", 0, 9},    {"myfn(1)", 0, 7},
        {"TRUE", 0, 4},          {"COUNT(*)", 0, 8},     {"1 + (2)", 0, 7},
    };
    for (const SpanCase& c : cases) {
        TestContext ctx(kTransformation);
        ctx.extFuncs = {"myfn"};
        OneParse r(ctx, c.text);
        ASSERT_EQ(r.status, 0) << c.text << "\n" << r.err.toUtf8();
        EXPECT_EQ(r.root()->getPosBegin().toInteger(), c.begin) << c.text;
        EXPECT_EQ(r.root()->getPosEnd().toInteger(), c.end) << c.text;
    }
}

TEST(GrammarSpanTest, OperandsKeepTheirOwnSpans) {
    TestContext ctx(kTransformation);
    OneParse r(ctx, "(a) * -(2) - 'x'");
    ASSERT_EQ(r.status, 0) << r.err.toUtf8();
    ASSERT_EQ(r.printed(), "MINUS(MULTIPLY(a,-2),'x')");
    const XNode* product = childOf(r.root(), 0);
    const struct {
        const XNode* node;
        int begin, end;
    } spans[] = {{product, 0, 10},
                 {childOf(product, 0), 0, 3},
                 {childOf(product, 1), 6, 10},
                 {childOf(r.root(), 1), 13, 16}};
    for (const auto& s : spans) {
        EXPECT_EQ(s.node->getPosBegin().toInteger(), s.begin) << s.node->idToString();
        EXPECT_EQ(s.node->getPosEnd().toInteger(), s.end) << s.node->idToString();
    }
    // Parentheses do not count as a position change to remember.
    EXPECT_EQ(childOf(product, 0)->getPosOrigBegin().toInteger(), 0);
}

// ---------------------------------------------------------------- sign folding

TEST(GrammarSignTest, SignsFoldIntoNumericConstantsOnly) {
    constexpr TreeCase cases[] = {
        {"-5", "-5"},
        {"+5", "5"},
        {"- -5", "5"},
        {"-(5)", "-5"},
        {"-2.5e0", "-2.5f"},
        {"-2147483648", "-2147483648L"},
        {"-2147483647", "-2147483647"},
        {"-TRUE", "TRUE=-1"},
        {"-DD_REJECT", "DD_REJECT=-3"},
        {"-'x'", "UMINUS('x')"},
        {"+'x'", "UPLUS('x')"},
        {"-NULL", "UMINUS(NULL)"},
        {"-a", "UMINUS(a)"},
        {"-(1 + 2)", "UMINUS(PLUS(1,2))"},
        {"1 - -2", "MINUS(1,-2)"},
        {"NOT -1", "NOT(-1)"},
    };
    expectTrees(cases, std::size(cases), kTransformation);
}

// ---------------------------------------------------------------- errors

constexpr TreeCase kSyntaxErrors[] = {
    // Two operands side by side: marked in the gap between them.
    {"1 2", "1 - [19035] 1,2"},
    {"a  'x'", "1 - [19035] 1,3"},
    {"1 2 3", "1 - [19035] 1,2"},
    {"(a b)", "1 - [19035] 2,3"},
    {"f(a, b c)", "1 - [19035] 6,7"},
    // Anything else the grammar cannot read: at the end of the token
    // that could not be read.
    {"f(a) b", "1 - [19065] 6,6"},
    {"(a)(b)", "1 - [19065] 4,4"},
    {"a +", "1 - [19065] 3,3"},
    {"a + ", "1 - [19065] 4,4"},
    {"a + * b", "1 - [19065] 5,5"},
    {"(a", "1 - [19065] 2,2"},
    {"a)", "1 - [19065] 2,2"},
    {")", "1 - [19065] 1,1"},
    {"a := 1", "1 - [19065] 4,4"},
    {"IIF(a,", "1 - [19065] 6,6"},
    {"a[]", "1 - [19065] 3,3"},
    {"a[1,2,3,4]", "1 - [19065] 8,8"},
    {"SUM(*)", "1 - [19065] 5,5"},
    // COUNT has no empty argument list, so its comma is no leading one.
    {"COUNT(,a)", "1 - [19065] 7,7"},
    {"COUNT()", "1 - [19065] 7,7"},
    {"LOOKUP(a, :TD.c, 1)", "1 - [19065] 8,8"},
    {"LOOKUP(:TD.r)", "1 - [19065] 13,13"},
    {":SD.f(1)", "1 - [19065] 6,6"},
    {"a.'x'", "1 - [19065] 5,5"},
    {"myfn(1", "1 - [19065] 6,6"},
    {"myfn(", "1 - [19065] 5,5"},
    // ".1" is a decimal literal, so this is two operands.
    {"a.1", "1 - [19035] 1,1"},
    // A leading comma: marked at the comma.
    {"f(, a)", "1 - [19032] 2,2"},
    {"IIF( , a)", "1 - [19032] 5,5"},
    {":SP.p(,a)", "1 - [19032] 6,6"},
    {"myfn(, 1)", "1 - [19032] 5,5"},
    // A comma that leaves an argument out in the middle is no leading comma.
    {"f(a, , b)", "1 - [19065] 6,6"},
    // What the lexer cannot read carries the lexer's own message.
    {"a ; b", "1 - [19081] 3,3"},
    {"'abc", "1 - [19082] 4,4"},
};

TEST(GrammarErrorTest, SyntaxErrorsAndTheirPositions) {
    expectTrees(kSyntaxErrors, std::size(kSyntaxErrors), kTransformation);
}

// SPOUTPUT is reported but read as PROC_RESULT, so the parse goes on; port
// references where the context allows none abandon the parse (mapping
// variables do not depend on the port setting).
TEST(GrammarErrorTest, ReportedArgumentsAndRefusedReferences) {
    constexpr TreeCase reported[] = {
        {":SP.p(a, SPOUTPUT)", "0 SP[:SP.p](a,PROC_RESULT) [19064] 9,17"},
        {"p(SPOUTPUT, SPOUTPUT) +", "1 - [19064 19064 19065] 23,23"},
    };
    expectTrees(reported, std::size(reported), kTransformation);
    constexpr TreeCase refused[] = {
        {"1 + abc", "1 - [19107] 4,7"},
        {":FLD.{a.b}", "1 - [19107] 0,10"},
        {"LOOKUP(:TD.r, :TD.c, 1)", "1 - [19107] 7,12"},
        {"$$v + 1", "PLUS($$v,1)"},
    };
    expectTrees(refused, std::size(refused), kTransformation, 0);
}

// ---------------------------------------------------------------- traces

// yydebug switches the driver's trace on; while it is on, the trace goes to
// stderr, which is captured here.
class TraceOn {
public:
    TraceOn() {
        testing::internal::CaptureStderr();
        yydebug = 1;
    }
    ~TraceOn() { finish(); }
    const std::string& finish() {
        if (yydebug) {
            yydebug = 0;
            m_trace = testing::internal::GetCapturedStderr();
        }
        return m_trace;
    }

private:
    std::string m_trace;
};

TEST(GrammarTraceTest, TraceOnlyWhileYydebugIsSet) {
    TestContext ctx(kTransformation);
    testing::internal::CaptureStderr();
    {
        OneParse quiet(ctx, "a + 1");
        EXPECT_EQ(quiet.printed(), "PLUS(a,1)");
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    TraceOn trace;
    {
        OneParse traced(ctx, "a + 1");
        EXPECT_EQ(traced.printed(), "PLUS(a,1)");
    }
    const std::string& text = trace.finish();
    for (const char* line : {"Starting parse", "Reading a token", "Next token is token NAME",
                             "Shifting token OPT_PLUS", "Reducing stack by rule",
                             "-> $$ = nterm expr_opt_opt", "Now at end of input."}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
}

// The traced and the untraced driver are one grammar: the same trees, the
// same errors at the same places (and a custom function's name freed when an
// error ends the parse before its call is reduced).
TEST(GrammarTraceTest, TracedDriverBuildsTheSameTreesAndErrors) {
    TraceOn trace;
    expectTrees(kPrecedence, std::size(kPrecedence), kTransformation);
    expectTrees(kCalls, std::size(kCalls), kTransformation);
    expectTrees(kSyntaxErrors, std::size(kSyntaxErrors), kTransformation);
    EXPECT_NE(trace.finish().find("Cleanup: discarding lookahead"), std::string::npos);
}

}  // namespace
