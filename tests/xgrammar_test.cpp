// Tests of the grammar: token numbers shared with the lexer, operator
// precedence and associativity, the trees each rule builds (printed in a
// compact prefix form), node spans, and the syntax errors the grammar itself
// reports with their positions. Each tree row packs several rules into one
// expression; every relation of the precedence levels appears in some row.
#include <gtest/gtest.h>

#include <string>

#include "xanswers.h"
#include "xgrammar.h"
#include "xparsetest.h"

using namespace xparsetest;

namespace {

// Every terminal of the vocabulary has the same number in the generated
// driver, and the vocabulary is exactly the grammar's terminal range.
TEST(GrammarTokenTest, GeneratedNumbersMatchTheVocabulary) {
    int expected = 258;
#define GRAMMAR_TOKEN(name, number) \
    EXPECT_EQ(static_cast<int>(yytokentype::TOK_##name), number) << #name; \
    EXPECT_EQ(number, expected++) << #name;
#include "xgrammartokens.def"
#undef GRAMMAR_TOKEN
    EXPECT_EQ(expected, static_cast<int>(TOK_PREC_OPT_UNARY) + 1);
    EXPECT_EQ(TestParser::getStarKey(), static_cast<int>(TOK_OPT_MULTIPLY));
}

// A text and its tree, or "status - [message ids] begin,end" for a failed or reporting parse.
struct TreeCase { const char* text; const char* tree; };

// The tree of `text`, or how the parse ended; the node stack is freed either way.
std::string parsed(const char* text, int xprContext, int portAllowed = 1) {
    TestContext ctx(xprContext);
    ctx.extFuncs = {"myfn", ":UDF.twice"};
    ctx.portAllowed = portAllowed;
    OneParse r(ctx, text);
    EXPECT_EQ(r.parser.getStack(), nullptr) << text;
    if (r.status == 0 && r.err.isEmpty()) return r.printed();
    return r.outcome() + " " + std::to_string(r.errBegin) + "," + std::to_string(r.errEnd);
}

template <size_t N>
void expectTrees(const TreeCase (&cases)[N], int xprContext = kTransformation, int portAllowed = 1) {
    for (const TreeCase& c : cases) EXPECT_EQ(parsed(c.text, xprContext, portAllowed), c.tree) << c.text;
}

constexpr TreeCase kPrecedence[] = {
    {"a OR b AND c OR d AND e AND f", "OR(OR(a,AND(b,c)),AND(AND(d,e),f))"},
    {"a = 1 OR b AND c = d", "OR(EQ(a,1),AND(b,EQ(c,d)))"},
    {"a = b < c = d < e", "EQ(EQ(a,LT(b,c)),LT(d,e))"},
    {"a <> b != c ^= d", "NE3(NE2(NE1(a,b),c),d)"},
    {"a < b <= c > d >= e", "GE(GT(LE(LT(a,b),c),d),e)"},
    {"a < b + c || d || e + f", "LT(a,CONCATOP(CONCATOP(PLUS(b,c),d),PLUS(e,f)))"},
    {"a * b - c - d + e * f", "PLUS(MINUS(MINUS(MULTIPLY(a,b),c),d),MULTIPLY(e,f))"},
    {"a / b * c % d", "MODULUS(MULTIPLY(DIVIDE(a,b),c),d)"},
    {"NOT a + b = c OR NOT d AND e", "OR(EQ(PLUS(NOT(a),b),c),AND(NOT(d),e))"},
    {"NOT NOT (a AND b)", "NOT(NOT(AND(a,b)))"},
    {"-a * -b + c - -d", "MINUS(PLUS(MULTIPLY(UMINUS(a),UMINUS(b)),c),UMINUS(d))"},
    {"-a.b + NOT c.d", "PLUS(UMINUS(DOT(a,b)),NOT(DOT(c,d)))"},
    {"a.b.c[1].d", "DOT(SUB(DOT(DOT(a,b),c),LIST(1)),d)"},
    {"-a[1][2] + b.c", "PLUS(UMINUS(SUB(SUB(a,LIST(1)),LIST(2))),DOT(b,c))"},
    {"IIF(a..b, c.*.d, (e).$$v)", "IIF(DOTDOT(a,b),DOTDOT(c,d),DOT(e,$$v))"},
};

constexpr TreeCase kCalls[] = {
    {"iif ( a , IIF(b, 1, 2) )", "IIF(a,IIF(b,1,2))"},
    {"DECODE(a, SUM(b * 2), 'x', SYSTIMESTAMP())", "DECODE(a,SUM(MULTIPLY(b,2)),'x',SYSTIMESTAMP())"},
    {"DECODE(COUNT(*), COUNT(a), COUNT(a, b), COUNT(*, a))", "DECODE(COUNT(STAR),COUNT(a),COUNT(a,b),COUNT(STAR,a))"},
    {"a[*] + b[1, 2] + c[1, 2, 3]", "PLUS(PLUS(SUB(a,STAR),SUB(b,LIST(1,2))),SUB(c,LIST(1,2,3)))"},
    {"f(a, g(), :h(b), :SP.i(c))", "SP[:SP.f](a,SP[:SP.g](),SP[:SP.h](b),SP[:SP.i](c))"},
    {":sp.f(PROC_RESULT, a)", "SP[:sp.f](PROC_RESULT,a)"},
    {":LKP.l(a, b) + :lkp.m(a) + :EXT.e()", "PLUS(PLUS(LKP[:LKP.l](a,b),LKP[:lkp.m](a)),EXT[:EXT.e]())"},
    {"myfn(1, myfn ()) + :UDF.twice(a)", "PLUS(EXTFUNC[myfn](1,EXTFUNC[myfn]()),MACRO[:UDF.twice](a))"},
    {"LOOKUP(:TD.r, :TD.c1, a, :TD.c2, 5 + 1)", "LOOKUP[](:TD.r,:TD.c1,a,:TD.c2,PLUS(5,1))"},
    {"IIF(:TYPE.a.b, :FLD.{a.b.c}, :FLD.{a})", "IIF(TYPE(a,b),a.b.c,a)"},
    {"IIF(:SD.a, :a, $$v)", "IIF(:SD.a,a,$$v)"},
    {"DECODE(NULL, TRUE, FALSE, SYSDATE, SESSSTARTTIME, 'abc' || 'd')",
     "DECODE(NULL,TRUE=1,FALSE=0,SYSDATE,SESSSTARTTIME,CONCATOP('abc','d'))"},
    {"DECODE(DD_INSERT, DD_UPDATE, DD_DELETE, DD_REJECT)", "DECODE(DD_INSERT=0,DD_UPDATE=1,DD_DELETE=2,DD_REJECT=3)"},
    {"DECODE(TC_CONTINUE_TRANSACTION, TC_COMMIT_BEFORE, TC_COMMIT_AFTER, TC_ROLLBACK_BEFORE, TC_ROLLBACK_AFTER)",
     "DECODE(TC_CONTINUE_TRANSACTION=0,TC_COMMIT_BEFORE=1,TC_COMMIT_AFTER=2,TC_ROLLBACK_BEFORE=3,TC_ROLLBACK_AFTER=4)"},
    // Signs fold into numeric constants only.
    {"DECODE(-5, +5, - -5, -(5), -2.5e0, -2147483648, -2147483647, -TRUE, -DD_REJECT)",
     "DECODE(-5,5,5,-5,-2.5f,-2147483648L,-2147483647,TRUE=-1,DD_REJECT=-3)"},
    {"DECODE(-'x', +'x', -NULL, -a, -(1 + 2), 1 - -2, NOT -1)",
     "DECODE(UMINUS('x'),UPLUS('x'),UMINUS(NULL),UMINUS(a),UMINUS(PLUS(1,2)),MINUS(1,-2),NOT(-1))"},
};

TEST(GrammarTest, PrecedenceCallsAndKeywords) {
    expectTrees(kPrecedence);
    expectTrees(kCalls);
    constexpr TreeCase workflow[] = {
        {"DECODE(ABORTED, DISABLED, FAILED, NOTSTARTED, STARTED, STOPPED, SUCCEEDED, WORKFLOWSTARTTIME)",
         "DECODE(ABORTED=107,DISABLED=104,FAILED=105,NOTSTARTED=101,STARTED=102,STOPPED=106,SUCCEEDED=103,"
         "WORKFLOWSTARTTIME)"},
        {"$$count > 2 AND NOT $s1.Status = FAILED", "AND(GT($$count,2),EQ(NOT($s1.Status),FAILED=105))"},
        {"DECODE(TRUE, FALSE, NULL, SYSDATE, $$a OR $$b)", "DECODE(TRUE=1,FALSE=0,NULL,SYSDATE,OR($$a,$$b))"},
    };
    expectTrees(workflow, kWorkflow);
}

const XNode* childOf(const XNode* node, int i) { return node->getChildB(i, 1); }

// The reference kinds follow their rule; a qualified name's chain keeps its
// qualifier.
TEST(GrammarTest, ReferenceKindsAndNameChains) {
    TestContext ctx(kTransformation), wf(kWorkflow);
    OneParse r(ctx, "a + :FLD.{x.y} + $$v"), w(wf, "$$count"), q(ctx, ":SD.src");
    ASSERT_TRUE(r.root() && w.root() && q.root()) << r.err.toUtf8();
    const XNode* sum = childOf(r.root(), 0);
    EXPECT_EQ(xtestsupport::answers({childOf(sum, 0)->getId(), childOf(sum, 1)->getId(), childOf(r.root(), 1)->getId(),
                                     w.root()->getId()}),
              xtestsupport::answers({eXNI_PORTVAR, eXNI_QUALIFIEDPORTVAR, eXNI_MAPVAR, eXNI_WFVAR}));
    XTokName* chain = static_cast<const XNodeRef*>(q.root())->getTokName();
    const unsigned short** qualifiers = chain->getNameQualifiers();
    ASSERT_NE(qualifiers[0], nullptr);
    EXPECT_EQ(chainText(chain) + " " + QvUString(qualifiers[0]).toUtf8() + (qualifiers[1] ? "+" : ""), ":SD.src :SD");
}

// A node's span as "begin,end", its children's in parentheses.
std::string spans(const XNode* node) {
    std::string out = std::to_string(node->getPosBegin().toInteger()) + ",";
    out += std::to_string(node->getPosEnd().toInteger());
    for (int i = 0, n = node->getNumChildrenB(); i < n; ++i)
        out += (i ? " " : "(") + spans(childOf(node, i)) + (i + 1 < n ? "" : ")");
    return out;
}

TEST(GrammarSpanTest, SpansCoverTheirRule) {
    constexpr TreeCase cases[] = {
        {"a + b", "0,5(0,1 4,5)"},
        {" ( a ) ", "1,6"},
        {"+5", "0,2"},
        {"-'x'", "0,4(1,4)"},
        {"- -5", "0,4"},
        {"NOT a", "0,5(4,5)"},
        {"f(a)", "0,4(2,3)"},
        {"IIF(a,1,2)", "0,10(4,5 6,7 8,9)"},
        {"a[1]", "0,4(0,1 2,3(2,3))"},
        {":SD.a", "0,5"},
        {":a", "0,2"},
        {":FLD.{a.b}", "0,10"},
        {"TRUE", "0,4"},
        {":TYPE.a.b", "0,9(6,7 8,9)"},
        {"myfn(1)", "0,7(5,6)"},
        {"COUNT(*)", "0,8(6,7)"},
        {"(a) * -(2) - 'x'", "0,16(0,10(0,3 6,10) 13,16)"},
    };
    TestContext ctx(kTransformation);
    ctx.extFuncs = {"myfn"};
    for (const TreeCase& c : cases) {
        OneParse r(ctx, c.text);
        ASSERT_EQ(r.status, 0) << c.text << "\n" << r.err.toUtf8();
        EXPECT_EQ(spans(r.root()), c.tree) << c.text;
        // Parentheses do not count as a position change to remember.
        EXPECT_TRUE(c.text[0] != '(' || r.root()->getPosOrigBegin().toInteger() == 0) << c.text;
    }
}

constexpr TreeCase kSyntaxErrors[] = {
    // Two operands side by side: marked in the gap between them (".1" is a decimal literal).
    {"1 2 3", "1 - [19035] 1,2"},
    {"a  'x'", "1 - [19035] 1,3"},
    {"a.1", "1 - [19035] 1,1"},
    // Anything else the grammar cannot read: at the end of the token that could not be read.
    {"f(a) b", "1 - [19065] 6,6"},
    {")", "1 - [19065] 1,1"},
    {"a := 1", "1 - [19065] 4,4"},
    {"a[]", "1 - [19065] 3,3"},
    {"a[1,2,3,4]", "1 - [19065] 8,8"},
    {"SUM(*)", "1 - [19065] 5,5"},
    {":SD.f(1)", "1 - [19065] 6,6"},
    {"myfn(", "1 - [19065] 5,5"},
    // COUNT has no empty argument list, so its comma is no leading one.
    {"COUNT(,a)", "1 - [19065] 7,7"},
    {"COUNT()", "1 - [19065] 7,7"},
    {"LOOKUP(a, :TD.c, 1)", "1 - [19065] 8,8"},
    {"LOOKUP(:TD.r)", "1 - [19065] 13,13"},
    // A leading comma: marked at the comma; one that leaves out a middle argument is none.
    {"f(, a)", "1 - [19032] 2,2"},
    {"IIF( , a)", "1 - [19032] 5,5"},
    {"myfn(, 1)", "1 - [19032] 5,5"},
    {"f(a, , b)", "1 - [19065] 6,6"},
    // What the lexer cannot read carries the lexer's own message.
    {"a ; b", "1 - [19081] 3,3"},
    {"'abc", "1 - [19082] 4,4"},
    // SPOUTPUT is reported but read as PROC_RESULT, so the parse goes on.
    {":SP.p(a, SPOUTPUT)", "0 SP[:SP.p](a,PROC_RESULT) [19064] 9,17"},
    {"p(SPOUTPUT, SPOUTPUT) +", "1 - [19064 19064 19065] 23,23"},
};

TEST(GrammarErrorTest, SyntaxErrorsAndTheirPositions) {
    expectTrees(kSyntaxErrors);
    // Port references where the context allows none abandon the parse;
    // mapping variables do not depend on the port setting.
    constexpr TreeCase refused[] = {{"1 + abc", "1 - [19107] 4,7"}, {":FLD.{a.b}", "1 - [19107] 0,10"},
                                     {"LOOKUP(:TD.r, :TD.c, 1)", "1 - [19107] 7,12"}, {"$$v + 1", "PLUS($$v,1)"}};
    expectTrees(refused, kTransformation, 0);
}

// yydebug switches the driver's trace on; while it is on, the trace goes to
// stderr. The traced and the untraced driver are one grammar: the same trees,
// the same errors at the same places (and a custom function's name freed when
// an error ends the parse before its call is reduced).
TEST(GrammarTraceTest, TracedDriverBuildsTheSameTreesAndErrors) {
    testing::internal::CaptureStderr();
    expectTrees(kPrecedence);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    testing::internal::CaptureStderr();
    yydebug = 1;
    expectTrees(kPrecedence);
    expectTrees(kCalls);
    expectTrees(kSyntaxErrors);
    yydebug = 0;
    const std::string trace = testing::internal::GetCapturedStderr();
    for (const char* line : {"Starting parse", "Reading a token", "Next token is token NAME", "Shifting token OPT_PLUS",
                             "Reducing stack by rule", "-> $$ = nterm expr_opt_opt", "Now at end of input.",
                             "Cleanup: discarding lookahead"})
        EXPECT_NE(trace.find(line), std::string::npos) << line;
}

}  // namespace
