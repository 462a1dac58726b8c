// Tests of the parse pipeline and the tree-building actions: empty texts,
// status of the three parse forms, driver stack limits, exceptions inside
// actions, the node stack after failures, the integer-literal ladder in both
// precision modes, upgrade-mode records, and the actions' own refusals.
// Whole parses are rows: a text and a setup in, "status tree [message ids]"
// out.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xstack.h"
#include "qvcmnexpr/xtype.h"
#include "xgrammartokens.h"
#include "xparsetest.h"
#include "treetest_build.h"
#include "xrecordtext.h"

using namespace xparsetest;
using namespace std::string_literals;
using xtestsupport::answers;

namespace {

std::string repeat(const std::string& piece, int n) {
    std::string out;
    for (; n > 0; --n) out += piece;
    return out;
}

// A parser bound to its own test context.
struct Fixture {
    explicit Fixture(int xprContext = kTransformation) : ctx(xprContext) { parser.setParserContext(&ctx, 0); }
    TestContext ctx;
    TestParser parser;
};

// Restores the process-wide modes a test changes.
struct ModeGuard {
    ~ModeGuard() { XType::changeIsHighPrecisionMode(highPrecision), qvSetServerModeASCII(ascii); }
    int highPrecision = XType::getIsHighPrecisionMode(), ascii = isServerModeASCII();
};

// ---------------------------------------------------------------- empty texts

TEST(ParserEmptyTest, NoTextBlanksAndCommentsGiveTheNullTree) {
    for (const char* blank : {"", "   ", "\t\n", "-- a comment", "// one\n  -- two\n", "  //"}) {
        Fixture f;
        ParseWith r(f.parser, blank);
        EXPECT_EQ(r.outcome() + answers({r.tree->isEmptyExpression(), r.root()->getDataType().toInteger()}),
                  "0 NULL []" + answers({1, eXDT_NULL})) << "[" << blank << "]";
    }
    Fixture f;
    XTree* tree = nullptr;
    QvUString err, warn;
    EXPECT_EQ(f.parser.parse(nullptr, tree, err, warn, 0, 1), 0);
    EXPECT_EQ(std::unique_ptr<XTree>(tree)->isEmptyExpression(), 1);
    ParseWith five(f.parser, " 5 -- five");
    // No parse leaves the parser pointing at the caller's report.
    EXPECT_TRUE(f.parser.getMsgErr() == nullptr && f.parser.getPosBegin() == nullptr);
    EXPECT_EQ(five.outcome() + answers({five.tree->isEmptyExpression(), five.tree->getTokAllocator() != nullptr}),
              "0 5 []0 1");
}

// ---------------------------------------------------------------- statuses

int g_droppedContexts = 0;
struct CountedContext : TestContext {
    ~CountedContext() override { ++g_droppedContexts; }
};

TEST(ParserStatusTest, TheThreeFormsOfParse) {
    Fixture f;
    XParsedTree* out = nullptr;
    QvUString err, warn;
    EXPECT_EQ(f.parser.parse(Text("a +").get(), out, err, warn), -1);  // every failure is -1
    EXPECT_EQ(messageIds(err) + (out ? " tree" : ""), "19065");
    EXPECT_TRUE(f.parser.getMsgErr() == nullptr && f.parser.getPosBegin() == nullptr);  // nor after a failure
    EXPECT_EQ(f.parser.parse(Text("a + 1").get(), out, err, warn), 0);
    EXPECT_EQ(printTree(std::unique_ptr<XParsedTree>(out)->getTree()->getRoot()), "PLUS(a,1)");
    ValidationResult vr, ok;
    EXPECT_EQ(f.parser.parse(Text("1 2").get(), out, vr), -1);
    EXPECT_EQ(answers({vr.valid, vr.errorBegin, vr.errorEnd}) + " " + messageIds(vr.errors), "0 1 2 19035");
    EXPECT_EQ(f.parser.parse(Text("5").get(), out, ok), 0);
    delete out;
    EXPECT_EQ(answers({ok.valid, ok.resultType.toInteger()}), answers({1, eXDT_INT}));
    // The parser is reused after each failure.

    XParser unbound;
    EXPECT_THROW(ParseWith(unbound, "a + 1"), QvAssertFailure);
    // A parser that owns its context keeps it; assigned, it drops it and shares the other's.
    EXPECT_EQ(answers({unbound.setParserContext(new CountedContext, 1), unbound.setParserContext(&f.ctx, 0)}), "0 -1");
    unbound = f.parser;
    EXPECT_EQ(answers({g_droppedContexts, unbound.setParserContext(&f.ctx, 0)}), "1 0");
}

// ---------------------------------------------------------------- whole parses

// Setup letters: P the context throws on the port question, E on the
// custom-function question; H and L switch high precision on and off; A is
// the 8-bit server mode; K keeps the node stack (the parse frees nothing).
// The outcome ends in the entries left on the node stack (-1: no stack).
std::function<std::string()> nested(const char* open, int n, const char* middle, const char* close) {
    return [=] { return repeat(open, n) + middle + repeat(close, n); };
}
std::function<std::string()> plain(const char* text) { return [=] { return std::string(text); }; }

const struct { std::function<std::string()> text; const char *setup, *outcome; } kParseCases[] = {
    // The driver's stack: each open parenthesis holds one of its 10000
    // entries, a call nested in its first argument two.
    {nested("IIF(a, 1, ", 5000, "2", ")"), "", "2 - [19060] -1"},
    {nested("(", 9996, "a", ")"), "", "0 a [] -1"},
    {nested("(", 9997, "a", ")"), "", "2 - [19060] -1"},
    {nested("IIF(", 4997, "a", ", 1, 2)"), "", "0 <large> [] -1"},
    {nested("IIF(", 4998, "a", ", 1, 2)"), "", "2 - [19060] -1"},
    {nested("-a * ", 3000, "a", ""), "", "0 <large> [] -1"},
    // An exception from the context or an action ends the parse and frees everything.
    {nested("(", 300, "1 + a", ")"), "P", "-1 - [19020] -1"},
    {plain("myfn(1, a)"), "P", "-1 - [19020] -1"},
    {nested("(", 300, "1 + myfn(2)", ")"), "E", "-1 - [19020] -1"},
    // No decimal holds 40 integer digits; without high precision it is a double.
    {[] { return "IIF(a, 1" + repeat("0", 39) + ", 2)"; }, "H", "-1 - [19058] -1"},
    {[] { return "IIF(a, 1" + repeat("0", 39) + ", 2)"; }, "L", "0 IIF(a,9.9999999999999994e+38f,2) [] -1"},
    // An 8-bit server holds no wide characters in a string.
    {plain("'\xC3\xA9t\xC3\xA9'"), "A", "-1 - [19199] -1"},
    {nested("(", 300, "1 || '\xE2\x82\xAC'", ")"), "A", "-1 - [19199] -1"},
    {plain("'plain'"), "A", "0 'plain' [] -1"},
    // Kept stacks: a failure leaves its nodes, a success an empty stack.
    {plain("IIF(a, b + 1, c"), "K", "1 - [19065] 3"},
    {plain("a + b * c"), "K", "0 PLUS(a,MULTIPLY(b,c)) [] 0"},
};

TEST(ParserTest, WholeParses) {
    for (const auto& c : kParseCases) {
        ModeGuard guard;
        const std::string setup = c.setup, text = c.text();
        auto has = [&setup](char letter) { return setup.find(letter) != std::string::npos; };
        Fixture f;
        f.ctx.extFuncs = {"myfn"};
        f.ctx.throwOnPortCheck = has('P');
        f.ctx.throwOnExtFuncCheck = has('E');
        if (has('H') || has('L')) XType::changeIsHighPrecisionMode(has('H'));
        if (has('A')) qvSetServerModeASCII(1);
        ParseWith r(f.parser, text, has('K') ? 0 : 1);
        const int left = f.parser.getStack() ? static_cast<int>(f.parser.getStack()->getCount()) : -1;
        EXPECT_EQ(r.outcome() + " " + std::to_string(left), c.outcome) << text.substr(0, 30);
        f.parser.resetStack(1);
        EXPECT_EQ(f.parser.getStack(), nullptr);
    }
}

// A parser that dies frees what a failed parse left on its kept node stack.
int g_freedFromStack = 0;
TEST(ParserTest, ADyingParserFreesItsKeptStack) {
    {
        Fixture f;
        ParseWith r(f.parser, "IIF(a, b + 1, c", 0);
        ASSERT_EQ(f.parser.getStack()->getCount(), 3u);
        auto* tag = reinterpret_cast<XNodeSrvInfo*>(&g_freedFromStack);
        for (int i = 0; i < 3; ++i)
            f.parser.getStack()->topEntries(3)[i]->setSrvInfoPtr(tag, [](void*) { ++g_freedFromStack; });
    }
    EXPECT_EQ(g_freedFromStack, 3);
}

// Trees as deep or wide as the limits allow are built, walked and freed in
// time linear in their size.
TEST(ParserTest, LargeTreesWithinTheLimits) {
    Fixture f;
    ParseWith wide(f.parser, "DECODE(a" + repeat(", a", 99999) + ")");
    ASSERT_EQ(wide.root()->getNumChildrenB(), 100000);
    EXPECT_EQ(answers({wide.root()->getChildB(99999, 1)->getPosBegin().toInteger(),
                       wide.root()->getChildB(0, 1)->getPosBegin().toInteger()}), "300004 7");
    ParseWith chain(f.parser, "a" + repeat(" || a", 200000));
    XNodeList nodes;
    chain.tree->dfs(nodes, nullptr);
    EXPECT_EQ(nodes.entries(), 400001u);
}

// A parsed tree comes back as the pre-validation walk would leave it: every
// parent's child cursor at its end (the parser relabels as it builds each parent).
TEST(ParserTest, ParentsLeaveTheParseWithTheirCursorAtTheEnd) {
    Fixture f;
    f.ctx.extFuncs.insert("struct");
    ParseWith r(f.parser, "IIF(a.b, struct(c, d, e, f), LTRIM(g) || h)");
    ASSERT_EQ(r.status, 0) << r.err.toUtf8();
    XNodeList nodes;
    r.tree->dfs(nodes, nullptr);
    std::string parents;
    for (XNode* node : nodes) {
        const auto* p = node->isParentNode() ? static_cast<const XNodeParent*>(node) : nullptr;
        if (p) parents += node->idToString() + (p->getNextChildIndex() == p->getNumChildren() ? " "s : "? ");
    }
    EXPECT_EQ(parents, "DOT EXTFUNC LTRIM CONCATOP IIF ");  // the relabelling: XPreValidateParsedTest
}

// A validated tree keeps the validation's post-order list only when asked to:
// a node added afterwards shows in a fresh list, not in the kept one.
TEST(ParserTest, KeepDfsListKeepsTheValidationsList) {
    XParserContextNoSymbols ctx;
    XParser parser;
    parser.setParserContext(&ctx, 0);
    const Text text("IIF(SYSDATE > SYSDATE, 1, 2)");
    for (int keep : {0, 1}) {
        ParseResult r;
        parseInto(parser, text, r, 1, keep);
        ASSERT_EQ(r.status, 0) << r.err.toUtf8();
        static_cast<XNodeParent*>(r.tree->getRoot())->appendChildNode(XNodeKeyword::create(eXNI_SYSDATE, 0, 0));
        XNodeList* list = nullptr;
        r.tree->dfs(list, 1, 0, nullptr);
        EXPECT_EQ(treetest::kinds(*list),
                  keep ? "SYSDATE SYSDATE GT CONST CONST IIF" : "SYSDATE SYSDATE GT CONST CONST SYSDATE IIF");
    }
}

// ---------------------------------------------------------------- literals

TEST(ParserLiteralTest, IntegerAndDecimalLadders) {
    ModeGuard guard;
    XType::initDecMax(28);
    // A text, printed with high-precision decimals on and off.
    const struct { const char *text, *high, *low; } cases[] = {
        // Nine digits and fewer are read directly; ten need the full ladder.
        {"999999999", "999999999", "999999999"},
        {"1000000000", "1000000000", "1000000000"},
        {"2147483647", "2147483647", "2147483647"},
        {"2147483648", "2147483648L", "2147483648L"},
        {"00000000002147483647", "2147483647", "2147483647"},
        {"9223372036854775807", "9223372036854775807L", "9223372036854775807L"},
        {"9223372036854775808", "9223372036854775808d", "9.2233720368547758e+18f"},
        {"-9223372036854775808", "-9223372036854775808d", "-9.2233720368547758e+18f"},
        {"1234567890123456789012345678", "1234567890123456789012345678d", "1.2345678901234569e+27f"},
        {"99999999999999999999999999999", nullptr, "9.9999999999999991e+28f"},
        {"1.5", "1.5d", "1.5f"},
        {"2.5e3", "2500f", "2500f"},
    };
    for (const int high : {1, 0}) {
        XType::changeIsHighPrecisionMode(high);
        for (const auto& c : cases) {
            Fixture f;
            const char* expected = high ? c.high : c.low;
            if (!expected) continue;
            EXPECT_EQ(ParseWith(f.parser, c.text).outcome(), std::string("0 ") + expected + " []") << c.text << high;
        }
    }
    Fixture workflow(kWorkflow);  // a workflow reads a decimal as a double
    EXPECT_EQ(ParseWith(workflow.parser, "1.5").outcome(), "0 1.5f []");
}

// ---------------------------------------------------------------- upgrade mode

int type60(const XNode* node) { return node->getMetadataConstPtr()->getDataType60().toInteger(); }

TEST(ParserUpgradeTest, EveryNodeGetsItsRecordAndLiteralsTheir60Type) {
    ModeGuard guard;
    XType::changeIsHighPrecisionMode(1);
    Fixture f;
    f.ctx.setUpgrade(1);
    ParseWith r(f.parser, "IIF(a, 123456789, 1234567890) + 1234567890123456789 + 1.5 + -TRUE");
    ASSERT_EQ(r.status, 0) << r.err.toUtf8();
    XNodeList nodes;
    r.tree->dfs(nodes, nullptr);
    std::string records = std::to_string(r.tree->isUpgrade()) + ":";
    for (XNode* node : nodes) records += std::to_string(node->getMetadataConstPtr()->hasUgdInfo());
    EXPECT_EQ(records, "1:1111111111");
    const XNode* sum1 = r.root()->getChildB(0, 1)->getChildB(0, 1);
    const XNode* iif = sum1->getChildB(0, 1);
    EXPECT_EQ(answers({type60(iif->getChildB(1, 1)), type60(iif->getChildB(2, 1)), type60(sum1->getChildB(1, 1)),
                       type60(r.root()->getChildB(0, 1)->getChildB(1, 1))}),
              answers({eXDT_INT, eXDT_DEC18_FIXED, eXDT_DEC28_FIXED, eXDT_DEC18_FIXED}));
}

// The 6.0 type follows the length of the digits, signs and leading zeros
// left out; without an upgrade record it has nowhere to go.
TEST(ParserUpgradeTest, LiteralLengthsGiveThe60Types) {
    ModeGuard guard;
    Fixture f;
    const struct { const char* text; bool decimal; int high, type; } cases[] = {
        {"123456789", false, 1, eXDT_INT},
        {"1234567890", false, 1, eXDT_DEC18_FIXED},
        {"123456789012345678", false, 1, eXDT_DEC18_FIXED},
        {"1234567890123456789", false, 1, eXDT_DEC28_FIXED},
        {"0000000001", false, 1, eXDT_DEC18_FIXED},
        {"1234567890123456.789", true, 1, eXDT_DEC28_FIXED},
        {"123456789012345.789", true, 1, eXDT_DEC18_FIXED},
        {"-123456789012345.789", true, 1, eXDT_DEC18_FIXED},
        {"+123456789012345.789", true, 1, eXDT_DEC18_FIXED},
        {"1234567890123456.789", true, 0, eXDT_FLOAT},
    };
    for (const auto& c : cases) {
        XType::changeIsHighPrecisionMode(c.high);
        std::unique_ptr<XNode> node(XNodeConstBase::createConstInt(1, 0, 1));
        std::unique_ptr<XNode> bare(XNodeConstBase::createConstInt(1, 0, 1));
        node->getMetadataPtr()->allocUgdInfo();
        const QvUString text = qvU(c.text);
        for (XNode* n : {node.get(), bare.get()}) {
            if (c.decimal) f.parser.ugd_parseOpdConstDecimal60(n, &text);
            else f.parser.ugd_parseOpdConstInt60(n, &text);
        }
        EXPECT_EQ(answers({type60(node.get()), bare->getMetadataConstPtr()->hasUgdInfo()}), answers({c.type, 0}))
            << c.text << " high=" << c.high;
    }
}

TEST(ParserUpgradeTest, OutsideUpgradeModeNodesHaveNoRecord) {
    Fixture f;
    ParseWith r(f.parser, "a + 1234567890");
    EXPECT_EQ(answers({r.status, r.root()->getMetadataConstPtr()->hasUgdInfo(),
                       r.root()->getChildB(1, 1)->getMetadataConstPtr()->hasUgdInfo()}), "0 0 0");
}

// ---------------------------------------------------------------- actions

// The actions run inside a parse; these tests give them what a parse gives.
struct DirectFixture : Fixture {
    explicit DirectFixture(int xprContext = kTransformation) : Fixture(xprContext) {
        parser.prepareStack(), parser.setErrorReportPointers(&err, &warn, &begin, &end);
    }
    ~DirectFixture() { parser.resetStack(1); }
    QvUString err, warn;
    size_t begin = 0, end = 0;
};

TEST(ParserActionTest, UnknownWidgetQualifierIs19197WithItsName) {
    DirectFixture d;
    XTokName name(qvU("f"), 1, nullptr), qualifier(qvU(":XYZ"), 0, nullptr);
    EXPECT_EQ(d.parser.parseOpWidget(name.prepend(&qualifier), 0, 2, 9), nullptr);
    QvUString expected;
    expected.sprint(qvGetMsg(19197).getBuffer(), qvU(":XYZ").getBuffer());
    EXPECT_NE(d.err.toUtf8().find(expected.toUtf8()), std::string::npos) << d.err.toUtf8();
    EXPECT_EQ(answers({d.begin, d.end, d.parser.getStack()->isEmpty()}), "2 9 1");
}

TEST(ParserActionTest, VariablesOutsideTheirExpressionKindAreRefused) {
    XTokName name(qvU("$$v"), 1, nullptr);
    DirectFixture wf(kWorkflow), tr(kTransformation), both(kUndecided);
    EXPECT_EQ(answers({wf.parser.parseOpdRefMapVar(&name, 3, 6) != nullptr, countMsg(wf.err, 19107), wf.begin,
                       wf.parser.parseOpdRefWFVar(&name, 0, 3) != nullptr}), "0 1 3 1");
    EXPECT_EQ(answers({tr.parser.parseOpdRefWFVar(&name, 1, 4) != nullptr, countMsg(tr.err, 19106), tr.end,
                       tr.parser.parseOpdRefMapVar(&name, 0, 3) != nullptr}), "0 1 4 1");
    EXPECT_EQ(answers({both.parser.parseOpdRefMapVar(&name, 0, 3) != nullptr,
                       both.parser.parseOpdRefWFVar(&name, 0, 3) != nullptr, both.parser.getStack()->getCount(),
                       both.err.length()}), "1 1 2 0");
}

TEST(ParserActionTest, OperatorsAdoptTheirOperandsInSourceOrder) {
    DirectFixture d;
    d.parser.parseOpKeyword(xgrammar::XTRUE, 0, 4);
    d.parser.parseOpKeyword(xgrammar::CONST_NULL, 5, 9);
    d.parser.parseOpKeyword(d.parser.getStarKey(), 10, 11);
    XNode* node = d.parser.parseOp(eXNI_DECODE, 3, 0, 11);
    EXPECT_EQ(printTree(node), "DECODE(TRUE=1,NULL,STAR)");
    EXPECT_TRUE(d.parser.getStack()->getCount() == 1 && node->getChildB(1, 1)->getParent() == node);
    EXPECT_EQ(d.parser.parseOp(eXNI_SYSTIMESTAMP, 0, 12, 14)->getNumChildrenB(), 0);
    // PROC_RESULT and SPOUTPUT both give PROC_RESULT.
    EXPECT_EQ(d.parser.parseOpKeyword(xgrammar::XPROC_RESULT, 0, 1)->getId(), eXNI_PROC_RESULT);
    EXPECT_EQ(d.parser.parseOpKeyword(xgrammar::XSPOUTPUT, 0, 1)->getId(), eXNI_PROC_RESULT);
}

TEST(ParserActionTest, BrokenInvariantsOfTheActions) {
    DirectFixture d;
    EXPECT_THROW(d.parser.parseOp(eXNI_PLUS, -1, 0, 1), QvAssertFailure);
    EXPECT_THROW(d.parser.parseOpUminusUplus(eXNI_UMINUS, -1, 0, 1), QvAssertFailure);
    for (int token : {int(xgrammar::OPT_OR), int(xgrammar::OPT_AND), int(xgrammar::OPT_NOT), int(xgrammar::NAME), 999})
        EXPECT_THROW(d.parser.parseOpKeyword(token, 0, 1), QvAssertFailure) << token;
    EXPECT_EQ(d.parser.getStack()->isEmpty(), 1);
}

// In a lookup of the 3.5 form the children after the first alternate between
// a source and a value; the source ones are those at even indexes.
TEST(ParserActionTest, LookupChildrenOfThe35Form) {
    using treetest::leaf;
    XNode* inner = leaf();
    treetest::TreePtr tree = treetest::treeOf(
        treetest::opt(eXNI_LOOKUP, {leaf(), leaf(), leaf(), leaf(), treetest::opt(eXNI_PLUS, {inner})}));
    std::string nonSource;  // of the five children, then of one outside the lookup
    for (int i = 0; i < 5; ++i)
        nonSource += std::to_string(XParser::is35LookupNonSrcChild(tree->getRoot()->getChildB(i, 1)));
    EXPECT_EQ(nonSource + std::to_string(XParser::is35LookupNonSrcChild(inner)), "110100");
}

// A sign before something other than a numeric constant is an operator.
TEST(ParserActionTest, SignOnTopOfANonConstant) {
    DirectFixture d;
    d.parser.parseOpKeyword(xgrammar::SYSDATE, 1, 8);
    XNode* node = d.parser.parseOpUminusUplus(eXNI_UMINUS, 1, 0, 8);
    EXPECT_EQ(printTree(node), "UMINUS(SYSDATE)");
    // A sign whose operand count is not one never folds.
    const QvUString five = qvU("5");
    d.parser.parseOpdConstInt(&five, 9, 10);
    EXPECT_EQ(printTree(d.parser.parseOpUminusUplus(eXNI_UMINUS, 0, 9, 10)), "UMINUS()");
}

}  // namespace

