// Message lines: the marked copy of the expression, the catalogued line
// formats, where errors and warnings go and which position holders they set,
// the tree forms with the token text of a node, upgrade-tree suppression and
// the grammar driver's error texts. Expected lines are assembled from the
// catalogue by id, never from copied wording.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xexprstrinfo.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xnodeconst.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtree.h"
#include "qvi18n.h"
#include "qvutils.h"
#include "xlexer.h"
#include "xyystype.h"

// The constant constructor is private (creators only); tests reach it here.
class XNodeConstTestAccess {
public:
    static XNode* makeInt(int value, int begin, int end) {
        XNodeConst<int>* node = new XNodeConst<int>(value, begin, end, std::make_unique<XMetadata>());
        node->setDataType(XType(eXDT_INT));
        return node;
    }
};

namespace {

enum : int {
    kLineError = 19075,
    kLineWarning = 19080,
    kMarkOpen = 19083,
    kMarkClose = 19109,
    kNodeToken = 19110,
    kSomeError = 19028,
    kSomeWarning = 19154,
};

std::string msg(int id) { return qvGetMsg(id).toUtf8(); }
const std::string kOpen = msg(kMarkOpen);
const std::string kClose = msg(kMarkClose);

// One line as the catalogue formats it: `text` and the marked expression.
std::string line(int isError, const std::string& text, const std::string& marked) {
    QvUString out;
    out.sprint(qvGetMsg(isError ? kLineError : kLineWarning).getBuffer(), qvU(text).getBuffer(),
               qvU(marked).getBuffer());
    return out.toUtf8();
}

// `text` prefixed with a node's token text.
std::string named(const std::string& token, const std::string& text) {
    QvUString out;
    out.sprint(qvGetMsg(kNodeToken).getBuffer(), qvU(token).getBuffer(), qvU(text).getBuffer());
    return out.toUtf8();
}

// ---- the line builder ----

struct MarkCase {
    int begin, end;
    std::string marked;
};

class LineBuilderTest : public ::testing::TestWithParam<MarkCase> {};

TEST_P(LineBuilderTest, MarksTheSpanOfTheExpressionCopy) {
    const MarkCase& c = GetParam();
    const QvUString expr = qvU("abcdefg");
    QvUString out = qvU("before|");
    XParser::appendParserMessage(out, 1, expr.getBuffer(), c.begin, c.end, qvU("M").getBuffer());
    EXPECT_EQ(out.toUtf8(), "before|" + line(1, "M", c.marked));
    EXPECT_EQ(expr.toUtf8(), "abcdefg");
}

INSTANTIATE_TEST_SUITE_P(
    Spans, LineBuilderTest,
    ::testing::Values(MarkCase{2, 5, "ab" + kOpen + "cde" + kClose + "fg"},
                      MarkCase{0, 7, kOpen + "abcdefg" + kClose},
                      MarkCase{3, 3, "abc" + kClose + "defg"},      // equal: closing marker only
                      MarkCase{0, 0, kClose + "abcdefg"},
                      MarkCase{7, 7, "abcdefg" + kClose},          // at the very end
                      MarkCase{5, 7, "abcde" + kOpen + "fg" + kClose},
                      MarkCase{5, 12, "abcde" + kOpen + "fg" + kClose},  // end past the end
                      MarkCase{9, 12, "abcdefg" + kClose},         // both past the end
                      MarkCase{-1, -1, kClose + "abcdefg"}));

TEST(LineBuilderTest, WarningUsesTheWarningFormat) {
    const QvUString expr = qvU("x");
    QvUString out;
    XParser::appendParserMessage(out, 0, expr.getBuffer(), 0, 1, qvU("W").getBuffer());
    EXPECT_EQ(out.toUtf8(), line(0, "W", kOpen + "x" + kClose));
}

TEST(LineBuilderTest, MissingExpressionOrMessageCountsAsEmpty) {
    QvUString out;
    XParser::appendParserMessage(out, 1, nullptr, 0, 0, nullptr);
    EXPECT_EQ(out.toUtf8(), line(1, "", kClose));
}

// ---- syntax errors of a parse ----

}  // namespace

// The lexer of a parse under way and the protected reporting operations.
class XParserTestAccess {
public:
    static void setLexer(XParser& parser, XLexer* lexer) { parser.m_lexer = lexer; }
    static void handleYyError(XParser& parser, const char* text) { parser.handleYyError(text); }
    static void handleSyntaxError(XParser& parser, const QvUString& m) { parser.handleSyntaxError(m); }
    static void handleSyntaxError(XParser& parser, const QvUString& m, int begin, int end) {
        parser.handleSyntaxError(m, begin, end);
    }
    static void handleSyntaxError(XParser& parser, int id, int begin, int end) {
        parser.handleSyntaxError(id, begin, end);
    }
};

namespace {

// A parser in the middle of lexing "a + (b" (or another text).
struct ParserFixture : ::testing::Test {
    ~ParserFixture() override { XParserTestAccess::setLexer(parser, nullptr); }
    void lex(const char* source, int tokens) {
        text = qvU(source);
        lexer = std::make_unique<XLexer>(text.getBuffer(), &context, 0);
        XParserTestAccess::setLexer(parser, lexer.get());
        yystype value{};
        for (int i = 0; i < tokens; ++i) lexer->yylex(&value);
    }
    XParserContextNoSymbols context;
    XParser parser;
    QvUString text;
    std::unique_ptr<XLexer> lexer;
    QvUString err, warn;
    size_t begin = 99, end = 99;
};

TEST_F(ParserFixture, TwoErrorsAppendTwoLinesAndTheHoldersKeepTheSecond) {
    lex("a + (b", 0);
    parser.setErrorReportPointers(&err, &warn, &begin, &end);
    XParserTestAccess::handleSyntaxError(parser, qvGetMsg(kSomeError), 1, 3);
    XParserTestAccess::handleSyntaxError(parser, 19035, 6, 6);
    EXPECT_EQ(err.toUtf8(), line(1, msg(kSomeError), "a" + kOpen + " +" + kClose + " (b") +
                                line(1, msg(19035), "a + (b" + kClose));
    EXPECT_EQ(begin, 6u);
    EXPECT_EQ(end, 6u);
    EXPECT_TRUE(warn.isEmpty());
}

TEST_F(ParserFixture, ErrorIsPositionedAtTheEndOfTheLastTokenRead) {
    lex("a +   (b", 3);  // a, +, (
    parser.setErrorReportPointers(&err, &warn, &begin, &end);
    XParserTestAccess::handleSyntaxError(parser, qvGetMsg(19065));
    EXPECT_EQ(err.toUtf8(), line(1, msg(19065), "a +   (" + kClose + "b"));
    EXPECT_EQ(begin, 7u);
    EXPECT_EQ(end, 7u);
}

TEST_F(ParserFixture, HoldersAreSetOnlyWhenBothAreGiven) {
    lex("a", 0);
    parser.setErrorReportStrings(&err, &warn);
    parser.setErrorPosHolders(&begin, nullptr);
    XParserTestAccess::handleSyntaxError(parser, 19035, 0, 1);
    EXPECT_EQ(begin, 99u);
    EXPECT_EQ(err.toUtf8(), line(1, msg(19035), kOpen + "a" + kClose));
}

TEST_F(ParserFixture, WarningLinesNeverTouchTheParsersHolders) {
    parser.setErrorReportPointers(&err, &warn, &begin, &end);
    const QvUString expr = qvU("a = NULL");
    XParser::appendParserMessage(*parser.getMsgWarn(), 0, expr.getBuffer(), 4, 8,
                                 qvGetMsg(kSomeWarning).getBuffer());
    EXPECT_EQ(warn.toUtf8(), line(0, msg(kSomeWarning), "a = " + kOpen + "NULL" + kClose));
    EXPECT_TRUE(err.isEmpty());
    EXPECT_EQ(begin, 99u);
    EXPECT_EQ(end, 99u);
}

TEST_F(ParserFixture, ErrorWithoutAnErrorStringStillSetsTheHolders) {
    lex("a", 0);
    parser.setErrorPosHolders(&begin, &end);
    XParserTestAccess::handleSyntaxError(parser, 19035, 0, 1);
    EXPECT_EQ(begin, 0u);
    EXPECT_EQ(end, 1u);
}

TEST_F(ParserFixture, SyntaxErrorAtTheLexerNeedsALexer) {
    parser.setErrorReportStrings(&err, &warn);
    EXPECT_THROW(XParserTestAccess::handleSyntaxError(parser, qvGetMsg(19065)), QvAssertFailure);
}

struct DriverCase {
    const char* text;
    int id;
};

class DriverTextTest : public ParserFixture, public ::testing::WithParamInterface<DriverCase> {};

TEST_P(DriverTextTest, DriverTextBecomesItsCataloguedMessage) {
    lex("x y", 1);
    parser.setErrorReportPointers(&err, &warn, &begin, &end);
    XParserTestAccess::handleYyError(parser, GetParam().text);
    EXPECT_EQ(err.toUtf8(), line(1, msg(GetParam().id), "x" + kClose + " y"));
    EXPECT_EQ(begin, 1u);
}

INSTANTIATE_TEST_SUITE_P(Texts, DriverTextTest,
                         ::testing::Values(DriverCase{"parse error", 19065},
                                           DriverCase{"syntax error: cannot back up", 19004},
                                           DriverCase{"parser stack overflow", 19060}));

TEST_F(ParserFixture, UnknownDriverTextIsAnInvariant) {
    lex("x", 1);
    parser.setErrorReportStrings(&err, &warn);
    for (const char* text : {"parse error ", "Parse error", "syntax error", "", static_cast<const char*>(nullptr)})
        EXPECT_THROW(XParserTestAccess::handleYyError(parser, text), QvAssertFailure) << (text ? text : "(null)");
    EXPECT_TRUE(err.isEmpty());
}

// ---- tree forms ----

// a + b with both references and the reporting pointers of the fixture.
struct TreeFixture : ::testing::Test {
    TreeFixture() {
        plus = XNodeOpt::create(eXNI_PLUS, 0, 5);
        a = XNodeRef::create(eXNI_PORTVAR, nullptr, 0, 1);
        b = XNodeRef::create(eXNI_PORTVAR, nullptr, 4, 5);
        plus->appendChildNode(a);
        plus->appendChildNode(b);
        tree.reset(XTree::create(plus, text.getBuffer(), 0, 0));
        tree->setErrorReportPointers(&err, &warn, &begin, &end);
    }
    QvUString text = qvU("a + b");
    XNodeOpt* plus;
    XNode* a;
    XNode* b;
    std::unique_ptr<XTree> tree;
    QvUString err, warn;
    size_t begin = 99, end = 99;
};

TEST_F(TreeFixture, ErrorNamesTheNodeAndMarksItsSpan) {
    XParser::appendParserMessage(1, tree.get(), plus, kSomeError);
    EXPECT_EQ(err.toUtf8(), line(1, named("+", msg(kSomeError)), kOpen + "a + b" + kClose));
    EXPECT_EQ(begin, 0u);
    EXPECT_EQ(end, 5u);
    EXPECT_TRUE(warn.isEmpty());
}

TEST_F(TreeFixture, WarningGoesToTheWarningTextAndSetsTheTreesHolders) {
    XParser::appendParserMessage(0, tree.get(), b, qvU("W").getBuffer());
    EXPECT_EQ(warn.toUtf8(), line(0, named("b", "W"), "a + " + kOpen + "b" + kClose));
    EXPECT_TRUE(err.isEmpty());
    EXPECT_EQ(begin, 4u);
    EXPECT_EQ(end, 5u);
}

TEST_F(TreeFixture, NameAndPositionMayComeFromDifferentNodes) {
    XParser::appendParserMessage(1, tree.get(), a, plus, kSomeError);
    XParser::appendParserMessage(1, tree.get(), b, 2, 2, qvU("E").getBuffer());
    EXPECT_EQ(err.toUtf8(), line(1, named("a", msg(kSomeError)), kOpen + "a + b" + kClose) +
                                line(1, named("b", "E"), "a " + kClose + "+ b"));
    EXPECT_EQ(begin, 2u);
    EXPECT_EQ(end, 2u);
}

TEST_F(TreeFixture, NamedByAPrintedConstantWhenItHasNoSlice) {
    std::unique_ptr<XNode> constant(XNodeConstTestAccess::makeInt(12, -1, -1));
    XParser::appendParserMessage(1, tree.get(), constant.get(), a, qvU("E").getBuffer());
    EXPECT_EQ(err.toUtf8(), line(1, named("12", "E"), kOpen + "a" + kClose + " + b"));
}

TEST_F(TreeFixture, QuotesTheCurrentText) {
    tree->getExprStrInfo()->updateCurExpr(qvU("(a + bb)").getBufferCopy(), 1);
    b->updatePosBeginEnd(5, 7, 0);
    XParser::appendParserMessage(1, tree.get(), b, qvU("E").getBuffer());
    EXPECT_EQ(err.toUtf8(), line(1, named("bb", "E"), "(a + " + kOpen + "bb" + kClose + ")"));
}

TEST_F(TreeFixture, HoldersAreLeftAloneWhenOneIsMissing) {
    tree->setErrorPosHolders(&begin, nullptr);
    XParser::appendParserMessage(1, tree.get(), a, qvU("E").getBuffer());
    EXPECT_FALSE(err.isEmpty());
    EXPECT_EQ(begin, 99u);
}

TEST_F(TreeFixture, MissingTargetStringDropsTheLine) {
    tree->setErrorReportStrings(&err, nullptr);
    XParser::appendParserMessage(0, tree.get(), a, qvU("W").getBuffer());
    EXPECT_TRUE(err.isEmpty());
    EXPECT_EQ(begin, 0u);
}

TEST_F(TreeFixture, UpgradeTreeWithoutBothStringsReportsNothing) {
    tree->setIsUpgrade(1);
    tree->setErrorReportStrings(&err, nullptr);
    XParser::appendParserMessage(1, tree.get(), a, kSomeError);
    EXPECT_TRUE(err.isEmpty());
    EXPECT_EQ(begin, 99u);
    tree->setErrorReportStrings(nullptr, &warn);
    XParser::appendParserMessage(0, tree.get(), a, kSomeWarning);
    EXPECT_TRUE(warn.isEmpty());
    EXPECT_EQ(begin, 99u);
    tree->setErrorReportStrings(&err, &warn);
    XParser::appendParserMessage(1, tree.get(), a, kSomeError);
    EXPECT_FALSE(err.isEmpty());
    EXPECT_EQ(begin, 0u);
}

TEST_F(TreeFixture, NodeWithoutTokenTextIsAnInvariant) {
    std::unique_ptr<XNode> unplaced(XNodeOpt::create(eXNI_FUNC_START, -1, -1));  // no spelling, no slice
    EXPECT_THROW(XParser::appendParserMessage(1, tree.get(), unplaced.get(), kSomeError), QvAssertFailure);
    EXPECT_THROW(XParser::appendParserMessage(1, tree.get(), nullptr, a, kSomeError), QvAssertFailure);
    std::unique_ptr<XExprStrInfo> taken(tree->removeExprStrInfo());
    EXPECT_THROW(XParser::appendParserMessage(1, tree.get(), a, kSomeError), QvAssertFailure);
    EXPECT_TRUE(err.isEmpty());
}

}  // namespace

namespace {

// ---- through a whole parse ----

TEST(ParseMessageTest, SyntaxErrorAtTheEndOfTheInputIsPositionedAfterTheLastToken) {
    XParserContextNoSymbols context;
    XParser parser;
    parser.setParserContext(&context, 0);
    const QvUString text = qvU("1 +");
    XTree* tree = nullptr;
    QvUString err, warn;
    size_t begin = 99, end = 99;
    parser.setErrorPosHolders(&begin, &end);
    EXPECT_EQ(parser.parse(text.getBuffer(), tree, err, warn, 0, 1), 1);
    EXPECT_EQ(tree, nullptr);
    EXPECT_EQ(err.toUtf8(), line(1, msg(19065), "1 +" + kClose));
    EXPECT_EQ(begin, 3u);
    EXPECT_EQ(end, 3u);
    EXPECT_TRUE(warn.isEmpty());
}

}  // namespace
