// Tests of the parse pipeline and the tree-building actions: empty texts,
// status of the three parse forms, driver stack limits, exceptions inside
// actions, the node stack after failures, the integer-literal ladder in both
// precision modes, upgrade-mode records, and the actions' own refusals.
#include <gtest/gtest.h>

#include <string>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xstack.h"
#include "qvcmnexpr/xtype.h"
#include "xgrammartokens.h"
#include "xparsetest.h"

using namespace xparsetest;

namespace {

std::string repeat(const std::string& piece, int n) {
    std::string out;
    out.reserve(piece.size() * static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out += piece;
    return out;
}

// A parser bound to its own test context.
struct Fixture {
    explicit Fixture(int xprContext = kTransformation) : ctx(xprContext) {
        parser.setParserContext(&ctx, 0);
    }
    TestContext ctx;
    TestParser parser;
};

// Restores the process-wide modes a test changes.
class ModeGuard {
public:
    ModeGuard() : m_highPrecision(XType::getIsHighPrecisionMode()), m_ascii(isServerModeASCII()) {}
    ~ModeGuard() {
        XType::changeIsHighPrecisionMode(m_highPrecision);
        qvSetServerModeASCII(m_ascii);
    }

private:
    int m_highPrecision;
    int m_ascii;
};

// ---------------------------------------------------------------- empty texts

TEST(ParserEmptyTest, NoTextBlanksAndCommentsGiveTheNullTree) {
    const char* blanks[] = {"", "   ", "\t\n", "-- a comment", "// one\n  -- two\n", "  //"};
    for (const char* blank : blanks) {
        Fixture f;
        ParseWith r(f.parser, blank);
        EXPECT_EQ(r.status, 0) << "[" << blank << "]";
        ASSERT_NE(r.tree, nullptr) << "[" << blank << "]";
        EXPECT_EQ(r.tree->isEmptyExpression(), 1);
        EXPECT_EQ(r.root()->getId(), eXNI_NULL);
        EXPECT_EQ(r.root()->getDataType().toInteger(), static_cast<int>(eXDT_NULL));
        EXPECT_EQ(r.err.length(), 0u);
    }
    Fixture f;
    XTree* tree = nullptr;
    QvUString err, warn;
    EXPECT_EQ(f.parser.parse(nullptr, tree, err, warn, 0, 1), 0);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->isEmptyExpression(), 1);
    delete tree;
}

TEST(ParserEmptyTest, AnExpressionIsNotEmpty) {
    Fixture f;
    ParseWith r(f.parser, " 5 -- five");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.tree->isEmptyExpression(), 0);
    EXPECT_EQ(r.printed(), "5");
    EXPECT_NE(r.tree->getTokAllocator(), nullptr);
}

// ---------------------------------------------------------------- statuses

TEST(ParserStatusTest, ParsedTreeFormTurnsEveryFailureIntoMinusOne) {
    Fixture f;
    const Text bad("a +");
    XTree* tree = nullptr;
    QvUString err, warn;
    EXPECT_EQ(f.parser.parse(bad.get(), tree, err, warn, 0, 1), 1);
    EXPECT_EQ(tree, nullptr);

    XParsedTree* out = nullptr;
    QvUString err2, warn2;
    EXPECT_EQ(f.parser.parse(bad.get(), out, err2, warn2), -1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(countMsg(err2, 19065), 1);

    const Text good("a + 1");
    EXPECT_EQ(f.parser.parse(good.get(), out, err2, warn2), 0);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(printTree(out->getTree()->getRoot()), "PLUS(a,1)");
    delete out;
}

TEST(ParserStatusTest, ValidationResultFormReportsPositions) {
    Fixture f;
    const Text bad("1 2");
    XParsedTree* out = nullptr;
    ValidationResult vr;
    EXPECT_EQ(f.parser.parse(bad.get(), out, vr), -1);
    EXPECT_EQ(vr.valid, 0);
    EXPECT_EQ(vr.errorBegin, 1u);
    EXPECT_EQ(vr.errorEnd, 2u);
    EXPECT_EQ(countMsg(vr.errors, 19035), 1);

    const Text good("5");
    ValidationResult ok;
    EXPECT_EQ(f.parser.parse(good.get(), out, ok), 0);
    EXPECT_EQ(ok.valid, 1);
    EXPECT_EQ(ok.resultType.toInteger(), static_cast<int>(eXDT_INT));
    delete out;
}

TEST(ParserStatusTest, TheParserCanBeReusedAfterAFailure) {
    Fixture f;
    const char* texts[] = {"a +", "a + 1", "(", "IIF(a, b, c)", "1 2", ""};
    const int statuses[] = {1, 0, 1, 0, 1, 0};
    for (size_t i = 0; i < std::size(texts); ++i) {
        ParseWith r(f.parser, texts[i]);
        EXPECT_EQ(r.status, statuses[i]) << texts[i];
        EXPECT_EQ(countLines(r.err), statuses[i]) << texts[i];
        EXPECT_EQ(f.parser.getMsgErr(), nullptr);
        EXPECT_EQ(f.parser.getPosBegin(), nullptr);
    }
}

TEST(ParserStatusTest, ParsingWithoutAContextIsAnInvariant) {
    XParser parser;
    const Text text("a");
    XTree* tree = nullptr;
    QvUString err, warn;
    EXPECT_THROW(parser.parse(text.get(), tree, err, warn, 0, 1), QvAssertFailure);
}

// ---------------------------------------------------------------- driver limits

TEST(ParserLimitTest, DeepNestingOverflowsTheDriverStack) {
    const std::string cases[] = {
        repeat("(", 100000) + "a" + repeat(")", 100000),
        repeat("- ", 100000) + "1",
        repeat("NOT ", 100000) + "a",
        repeat("IIF(", 5000) + "a" + repeat(", 1, 2)", 5000),
        repeat("IIF(a, 1, ", 5000) + "2" + repeat(")", 5000),
    };
    for (const std::string& expr : cases) {
        Fixture f;
        ParseWith r(f.parser, expr);
        EXPECT_EQ(r.status, 2) << expr.substr(0, 20);
        EXPECT_EQ(r.tree, nullptr);
        EXPECT_EQ(countMsg(r.err, 19060), 1) << expr.substr(0, 20);
        EXPECT_EQ(countLines(r.err), 1);
        EXPECT_EQ(f.parser.getStack(), nullptr);
    }
}

// Each open parenthesis holds one driver stack entry until it is closed:
// around a name, 9996 of them still fit into the 10000 entries, one more
// does not.
TEST(ParserLimitTest, TheLimitLiesBetween9996And9997Parentheses) {
    Fixture f;
    ParseWith ok(f.parser, repeat("(", 9996) + "a" + repeat(")", 9996));
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.printed(), "a");
    ParseWith failed(f.parser, repeat("(", 9997) + "a" + repeat(")", 9997));
    EXPECT_EQ(failed.status, 2);
}

// Nested in the first argument, a call holds two entries per level: 4997
// levels fit, 4998 do not.
TEST(ParserLimitTest, DeepTreesWithinTheLimitParseAndFree) {
    Fixture f;
    ParseWith r(f.parser, repeat("IIF(", 4997) + "a" + repeat(", 1, 2)", 4997));
    ASSERT_EQ(r.status, 0) << r.err.toUtf8();
    int depth = 0;
    for (const XNode* n = r.root(); n->getId() == eXNI_IIF; n = n->getChildB(0, 1)) ++depth;
    EXPECT_EQ(depth, 4997);
    ParseWith failed(f.parser, repeat("IIF(", 4998) + "a" + repeat(", 1, 2)", 4998));
    EXPECT_EQ(failed.status, 2);

    ParseWith m(f.parser, repeat("-a * ", 3000) + "a");
    EXPECT_EQ(m.status, 0);
}

TEST(ParserLimitTest, VeryManyArgumentsNeedNoDeepStack) {
    Fixture f;
    ParseWith r(f.parser, "DECODE(a" + repeat(", a", 99999) + ")");
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.root()->getNumChildrenB(), 100000);
    EXPECT_EQ(r.root()->getChildB(99999, 1)->getPosBegin().toInteger(), 3 * 99999 + 7);
    EXPECT_EQ(r.root()->getChildB(0, 1)->getPosBegin().toInteger(), 7);
}

// A parsed tree comes back as the pre-validation walk would leave it: member
// names and struct field names relabelled, and every parent's child cursor
// at its end (the parser does both as it builds each parent).
TEST(ParserLimitTest, ParentsLeaveTheParseWithTheirCursorAtTheEnd) {
    Fixture f;
    f.ctx.extFuncs.insert("struct");
    ParseWith r(f.parser, "IIF(a.b, struct(c, d, e, f), LTRIM(g) || h)");
    ASSERT_EQ(r.status, 0) << r.err.toUtf8();
    XNodeList nodes;
    r.tree->dfs(nodes, nullptr);
    int parents = 0;
    for (XNode* node : nodes) {
        if (!node->isParentNode()) continue;
        ++parents;
        const auto* parent = static_cast<const XNodeParent*>(node);
        EXPECT_EQ(parent->getNextChildIndex(), parent->getNumChildren()) << node->idToString();
    }
    EXPECT_EQ(parents, 5);
    const XNode* dot = r.root()->getChildB(0, 1);
    EXPECT_EQ(dot->getChildB(1, 1)->getId(), eXNI_NESTEDPORTREF);
    const XNode* structCall = r.root()->getChildB(1, 1);
    const EXNodeId expected[] = {eXNI_FUNC_IDENTIFIER, eXNI_PORTVAR, eXNI_FUNC_IDENTIFIER, eXNI_PORTVAR};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(structCall->getChildB(i, 1)->getId(), expected[i]) << i;
}

// A chain of a million operators is as deep as a tree gets; building,
// walking and freeing it must not depend on its depth beyond linearly.
TEST(ParserLimitTest, AVeryDeepLeftChainParsesAndFrees) {
    Fixture f;
    ParseWith r(f.parser, "a" + repeat(" || a", 200000));
    ASSERT_EQ(r.status, 0);
    XNodeList nodes;
    r.tree->dfs(nodes, nullptr);
    EXPECT_EQ(nodes.entries(), 400001u);
}

// ---------------------------------------------------------------- exceptions

TEST(ParserExceptionTest, AnUnexpectedExceptionIsReportedAndFreesEverything) {
    for (const std::string& expr : {std::string("1 + a"), repeat("(", 300) + "1 + a" + repeat(")", 300),
                                    std::string("myfn(1, a)")}) {
        Fixture f;
        f.ctx.extFuncs = {"myfn"};
        f.ctx.throwOnPortCheck = true;
        ParseWith r(f.parser, expr);
        EXPECT_EQ(r.status, -1) << expr.substr(0, 20);
        EXPECT_EQ(r.tree, nullptr);
        EXPECT_EQ(countMsg(r.err, 19020), 1) << r.err.toUtf8();
        EXPECT_EQ(countLines(r.err), 1) << r.err.toUtf8();
        EXPECT_EQ(f.parser.getStack(), nullptr);
    }
}

// The lexer asks the context about every word that may be a custom function.
TEST(ParserExceptionTest, AnExceptionWhileLexingEndsTheParseTheSameWay) {
    Fixture f;
    f.ctx.throwOnExtFuncCheck = true;
    ParseWith r(f.parser, repeat("(", 300) + "1 + myfn(2)" + repeat(")", 300));
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(countMsg(r.err, 19020), 1) << r.err.toUtf8();
    EXPECT_EQ(countLines(r.err), 1) << r.err.toUtf8();
    EXPECT_EQ(f.parser.getStack(), nullptr);
}

// No decimal holds 40 integer digits: with high precision the literal's
// decimal conversion fails, and the parse with it.
TEST(ParserExceptionTest, ALiteralNoDecimalCanHoldIs19058) {
    ModeGuard guard;
    XType::changeIsHighPrecisionMode(1);
    Fixture f;
    const Text text("IIF(a, 1" + repeat("0", 39) + ", 2)");
    ParseResult r;
    parseInto(f.parser, text, r);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(countMsg(r.err, 19058), 1) << r.err.toUtf8();
    EXPECT_EQ(f.parser.getStack(), nullptr);

    XType::changeIsHighPrecisionMode(0);
    ParseResult low;
    parseInto(f.parser, text, low);
    EXPECT_EQ(low.status, 0);
    EXPECT_EQ(low.printed(), "IIF(a,9.9999999999999994e+38f,2)");
}

TEST(ParserExceptionTest, A8BitModeStringWithWideCharactersIs19199) {
    ModeGuard guard;
    qvSetServerModeASCII(1);
    for (const std::string& expr : {std::string("'\xC3\xA9t\xC3\xA9'"),
                                    repeat("(", 300) + "1 || '\xE2\x82\xAC'" + repeat(")", 300)}) {
        Fixture f;
        ParseWith r(f.parser, expr);
        EXPECT_EQ(r.status, -1);
        EXPECT_EQ(countMsg(r.err, 19199), 1) << r.err.toUtf8();
        EXPECT_EQ(f.parser.getStack(), nullptr);
    }
    Fixture f;
    ParseWith r(f.parser, "'plain'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.printed(), "'plain'");
}

// ---------------------------------------------------------------- node stack

TEST(ParserStackTest, FailuresWithoutFreeingLeaveTheNodesOnTheStack) {
    Fixture f;
    ParseWith r(f.parser, "IIF(a, b + 1, c", 0);
    EXPECT_EQ(r.status, 1);
    ASSERT_NE(f.parser.getStack(), nullptr);
    EXPECT_EQ(f.parser.getStack()->getCount(), 3u);
    f.parser.resetStack(1);
    EXPECT_EQ(f.parser.getStack(), nullptr);
}

TEST(ParserStackTest, SuccessLeavesAnEmptyStack) {
    Fixture f;
    ParseWith r(f.parser, "a + b * c", 0);
    ASSERT_EQ(r.status, 0);
    ASSERT_NE(f.parser.getStack(), nullptr);
    EXPECT_EQ(f.parser.getStack()->isEmpty(), 1);
}

// ---------------------------------------------------------------- literals

struct LiteralCase {
    const char* text;
    const char* high;  // printed with high-precision decimals on
    const char* low;   // and off
};

TEST(ParserLiteralTest, IntegerAndDecimalLadders) {
    ModeGuard guard;
    XType::initDecMax(28);
    constexpr LiteralCase cases[] = {
        {"0", "0", "0"},
        {"007", "7", "7"},
        // Nine digits and fewer are read directly; ten need the full ladder.
        {"999999999", "999999999", "999999999"},
        {"000000009", "9", "9"},
        {"1000000000", "1000000000", "1000000000"},
        {"0000000001", "1", "1"},
        {"-999999999", "-999999999", "-999999999"},
        {"2147483647", "2147483647", "2147483647"},
        {"2147483648", "2147483648L", "2147483648L"},
        {"-2147483648", "-2147483648L", "-2147483648L"},
        {"-2147483647", "-2147483647", "-2147483647"},
        {"00000000002147483647", "2147483647", "2147483647"},
        {"9223372036854775807", "9223372036854775807L", "9223372036854775807L"},
        {"-9223372036854775807", "-9223372036854775807L", "-9223372036854775807L"},
        {"9223372036854775808", "9223372036854775808d", "9.2233720368547758e+18f"},
        {"-9223372036854775808", "-9223372036854775808d", "-9.2233720368547758e+18f"},
        {"1234567890123456789012345678", "1234567890123456789012345678d", "1.2345678901234569e+27f"},
        {"1.5", "1.5d", "1.5f"},
        {"-1.25", "-1.25d", "-1.25f"},
        {".5", "0.5d", "0.5f"},
        {"2.5e3", "2500f", "2500f"},
    };
    for (const int high : {1, 0}) {
        XType::changeIsHighPrecisionMode(high);
        for (const LiteralCase& c : cases) {
            Fixture f;
            ParseWith r(f.parser, c.text);
            ASSERT_EQ(r.status, 0) << c.text;
            EXPECT_EQ(r.printed(), high ? c.high : c.low) << c.text << " high=" << high;
        }
    }
}

// Too many digits even for a 28-digit decimal: a double without high
// precision.
TEST(ParserLiteralTest, LiteralsBeyond28Digits) {
    ModeGuard guard;
    XType::changeIsHighPrecisionMode(0);
    Fixture f;
    ParseWith r(f.parser, "99999999999999999999999999999");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.root()->getDataType().toInteger(), static_cast<int>(eXDT_FLOAT));
}

// In a workflow expression a decimal literal is read as a double.
TEST(ParserLiteralTest, WorkflowDecimalsAreDoubles) {
    Fixture f(kWorkflow);
    ParseWith r(f.parser, "1.5");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.printed(), "1.5f");
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
    EXPECT_EQ(r.tree->isUpgrade(), 1);
    XNodeList nodes;
    r.tree->dfs(nodes, nullptr);
    EXPECT_EQ(nodes.entries(), 10u);
    for (size_t i = 0; i < nodes.entries(); ++i) {
        EXPECT_EQ(nodes[i]->getMetadataConstPtr()->hasUgdInfo(), 1) << printTree(nodes[i]);
    }
    const XNode* sum3 = r.root();
    const XNode* sum2 = sum3->getChildB(0, 1);
    const XNode* sum1 = sum2->getChildB(0, 1);
    const XNode* iif = sum1->getChildB(0, 1);
    EXPECT_EQ(type60(iif->getChildB(1, 1)), static_cast<int>(eXDT_INT));
    EXPECT_EQ(type60(iif->getChildB(2, 1)), static_cast<int>(eXDT_DEC18_FIXED));
    EXPECT_EQ(type60(sum1->getChildB(1, 1)), static_cast<int>(eXDT_DEC28_FIXED));
    EXPECT_EQ(type60(sum2->getChildB(1, 1)), static_cast<int>(eXDT_DEC18_FIXED));
}

TEST(ParserUpgradeTest, IntegerLengthsOf60Types) {
    Fixture f;
    struct {
        const char* text;
        int type;
    } const cases[] = {
        {"123456789", eXDT_INT},
        {"1234567890", eXDT_DEC18_FIXED},
        {"123456789012345678", eXDT_DEC18_FIXED},
        {"1234567890123456789", eXDT_DEC28_FIXED},
        {"000000001", eXDT_INT},
        {"0000000001", eXDT_DEC18_FIXED},
    };
    for (const auto& c : cases) {
        std::unique_ptr<XNode> node(XNodeConstBase::createConstInt(1, XNonNegInt(0), XNonNegInt(1)));
        node->getMetadataPtr()->allocUgdInfo();
        const QvUString text = qvU(c.text);
        f.parser.ugd_parseOpdConstInt60(node.get(), &text);
        EXPECT_EQ(type60(node.get()), c.type) << c.text;
    }
}

TEST(ParserUpgradeTest, DecimalLengthsOf60TypesIgnoreTheSign) {
    ModeGuard guard;
    Fixture f;
    struct {
        const char* text;
        int high;
    } const cases[] = {
        {"1234567890123456.789", eXDT_DEC28_FIXED},
        {"123456789012345.789", eXDT_DEC18_FIXED},
        {"-123456789012345.789", eXDT_DEC18_FIXED},
        {"+123456789012345.789", eXDT_DEC18_FIXED},
        {"-1234567890123456.789", eXDT_DEC28_FIXED},
    };
    for (const int high : {1, 0}) {
        XType::changeIsHighPrecisionMode(high);
        for (const auto& c : cases) {
            std::unique_ptr<XNode> node(XNodeConstBase::createConstFloat(1, XNonNegInt(0), XNonNegInt(1)));
            node->getMetadataPtr()->allocUgdInfo();
            const QvUString text = qvU(c.text);
            f.parser.ugd_parseOpdConstDecimal60(node.get(), &text);
            EXPECT_EQ(type60(node.get()), high ? c.high : static_cast<int>(eXDT_FLOAT)) << c.text;
        }
    }
}

// Without an upgrade record the 6.0 type has nowhere to go.
TEST(ParserUpgradeTest, NoRecordNoType) {
    Fixture f;
    std::unique_ptr<XNode> node(XNodeConstBase::createConstInt(1, XNonNegInt(0), XNonNegInt(1)));
    const QvUString text = qvU("1234567890");
    f.parser.ugd_parseOpdConstInt60(node.get(), &text);
    f.parser.ugd_parseOpdConstDecimal60(node.get(), &text);
    EXPECT_EQ(node->getMetadataConstPtr()->hasUgdInfo(), 0);
}

TEST(ParserUpgradeTest, OutsideUpgradeModeNodesHaveNoRecord) {
    Fixture f;
    ParseWith r(f.parser, "a + 1234567890");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.root()->getMetadataConstPtr()->hasUgdInfo(), 0);
    EXPECT_EQ(r.root()->getChildB(1, 1)->getMetadataConstPtr()->hasUgdInfo(), 0);
}

// ---------------------------------------------------------------- actions

// The actions run inside a parse; these tests give them what a parse gives.
struct DirectFixture : Fixture {
    explicit DirectFixture(int xprContext = kTransformation) : Fixture(xprContext) {
        parser.prepareStack();
        parser.setErrorReportPointers(&err, &warn, &begin, &end);
    }
    ~DirectFixture() { parser.resetStack(1); }
    QvUString err, warn;
    size_t begin = 0, end = 0;
};

TEST(ParserActionTest, UnknownWidgetQualifierIs19197WithItsName) {
    DirectFixture d;
    XTokName name(qvU("f"), 1, nullptr);
    XTokName qualifier(qvU(":XYZ"), 0, nullptr);
    XTokName* chain = name.prepend(&qualifier);
    EXPECT_EQ(d.parser.parseOpWidget(chain, 0, 2, 9), nullptr);
    QvUString expected;
    expected.sprint(qvGetMsg(19197).getBuffer(), qvU(":XYZ").getBuffer());
    EXPECT_NE(d.err.toUtf8().find(expected.toUtf8()), std::string::npos) << d.err.toUtf8();
    EXPECT_EQ(d.begin, 2u);
    EXPECT_EQ(d.end, 9u);
    EXPECT_EQ(d.parser.getStack()->isEmpty(), 1);
}

TEST(ParserActionTest, VariablesOutsideTheirExpressionKindAreRefused) {
    XTokName name(qvU("$$v"), 1, nullptr);
    {
        DirectFixture wf(kWorkflow);
        EXPECT_EQ(wf.parser.parseOpdRefMapVar(&name, 3, 6), nullptr);
        EXPECT_EQ(countMsg(wf.err, 19107), 1);
        EXPECT_EQ(wf.begin, 3u);
        EXPECT_NE(wf.parser.parseOpdRefWFVar(&name, 0, 3), nullptr);
    }
    {
        DirectFixture tr(kTransformation);
        EXPECT_EQ(tr.parser.parseOpdRefWFVar(&name, 1, 4), nullptr);
        EXPECT_EQ(countMsg(tr.err, 19106), 1);
        EXPECT_EQ(tr.end, 4u);
        EXPECT_NE(tr.parser.parseOpdRefMapVar(&name, 0, 3), nullptr);
    }
    {
        DirectFixture both(kUndecided);
        EXPECT_NE(both.parser.parseOpdRefMapVar(&name, 0, 3), nullptr);
        EXPECT_NE(both.parser.parseOpdRefWFVar(&name, 0, 3), nullptr);
        EXPECT_EQ(both.parser.getStack()->getCount(), 2u);
        EXPECT_EQ(both.err.length(), 0u);
    }
}

TEST(ParserActionTest, OperatorsAdoptTheirOperandsInSourceOrder) {
    DirectFixture d;
    d.parser.parseOpKeyword(xgrammar::XTRUE, 0, 4);
    d.parser.parseOpKeyword(xgrammar::CONST_NULL, 5, 9);
    d.parser.parseOpKeyword(d.parser.getStarKey(), 10, 11);
    XNode* node = d.parser.parseOp(eXNI_DECODE, 3, 0, 11);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(printTree(node), "DECODE(TRUE=1,NULL,STAR)");
    EXPECT_EQ(d.parser.getStack()->getCount(), 1u);
    EXPECT_EQ(node->getChildB(1, 1)->getParent(), node);
    EXPECT_EQ(d.parser.parseOp(eXNI_SYSTIMESTAMP, 0, 12, 14)->getNumChildrenB(), 0);
}

TEST(ParserActionTest, ProcResultAndSpOutputBothGiveProcResult) {
    DirectFixture d;
    EXPECT_EQ(d.parser.parseOpKeyword(xgrammar::XPROC_RESULT, 0, 1)->getId(), eXNI_PROC_RESULT);
    EXPECT_EQ(d.parser.parseOpKeyword(xgrammar::XSPOUTPUT, 0, 1)->getId(), eXNI_PROC_RESULT);
}

TEST(ParserActionTest, BrokenInvariantsOfTheActions) {
    DirectFixture d;
    EXPECT_THROW(d.parser.parseOp(eXNI_PLUS, -1, 0, 1), QvAssertFailure);
    EXPECT_THROW(d.parser.parseOpUminusUplus(eXNI_UMINUS, -1, 0, 1), QvAssertFailure);
    EXPECT_THROW(d.parser.parseOpKeyword(xgrammar::OPT_OR, 0, 1), QvAssertFailure);
    EXPECT_THROW(d.parser.parseOpKeyword(xgrammar::OPT_AND, 0, 1), QvAssertFailure);
    EXPECT_THROW(d.parser.parseOpKeyword(xgrammar::OPT_NOT, 0, 1), QvAssertFailure);
    EXPECT_THROW(d.parser.parseOpKeyword(xgrammar::NAME, 0, 1), QvAssertFailure);
    EXPECT_THROW(d.parser.parseOpKeyword(999, 0, 1), QvAssertFailure);
    EXPECT_EQ(d.parser.getStack()->isEmpty(), 1);
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
