// Message lines: the marked copy of the expression, the catalogued line
// formats, where errors and warnings go and which position holders they set,
// the tree forms with the token text of a node, upgrade-tree suppression and
// the grammar driver's error texts. Expected lines are assembled from the
// catalogue by id, never from copied wording; in the tables "[" and "]"
// stand for the catalogue's span markers.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xexprstrinfo.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnodeconst.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtree.h"
#include "xlexer.h"

// The lexer of a parse under way and the protected reporting operations.
class XParserTestAccess {
public:
    static void setLexer(XParser& parser, XLexer* lexer) { parser.m_lexer = lexer; }
    static void handleYyError(XParser& parser, const char* text) { parser.handleYyError(text); }
    static void handleSyntaxError(XParser& parser, const QvUString& m) { parser.handleSyntaxError(m); }
    static void handleSyntaxError(XParser& parser, int id, int b, int e) { parser.handleSyntaxError(id, b, e); }
};

namespace {

enum : int { kLineError = 19075, kLineWarning = 19080, kMarkOpen = 19083, kMarkClose = 19109, kNodeToken = 19110 };
enum : int { kSomeError = 19028, kSomeWarning = 19154 };

std::string msg(int id) { return qvGetMsg(id).toUtf8(); }

// `marked` with "[" and "]" replaced by the catalogue's markers.
std::string markers(const std::string& marked) {
    std::string out;
    for (char c : marked) out += c == '[' ? msg(kMarkOpen) : c == ']' ? msg(kMarkClose) : std::string(1, c);
    return out;
}

std::string format(int id, const std::string& first, const std::string& second) {
    QvUString out;
    out.sprint(qvGetMsg(id).getBuffer(), qvU(first).getBuffer(), qvU(second).getBuffer());
    return out.toUtf8();
}

// One line as the catalogue formats it: `text` and the marked expression.
std::string line(int isError, const std::string& text, const std::string& marked) {
    return format(isError ? kLineError : kLineWarning, text, markers(marked));
}

// `text` prefixed with a node's token text.
std::string named(const std::string& token, const std::string& text) { return format(kNodeToken, token, text); }

// ---- the line builder ----

TEST(LineBuilderTest, MarksTheSpanOfTheExpressionCopy) {
    const struct { int isError, begin, end; const char* marked; } cases[] = {
        // An empty span shows the closing marker only; ends past the text are cut to it.
        {1, 2, 5, "ab[cde]fg"},
        {1, 3, 3, "abc]defg"},
        {1, 0, 0, "]abcdefg"},
        {1, 7, 7, "abcdefg]"},
        {1, 5, 12, "abcde[fg]"},
        {1, 9, 12, "abcdefg]"},
        {1, -1, -1, "]abcdefg"}, {0, 0, 1, "[a]bcdefg"}};
    const QvUString expr = qvU("abcdefg");
    for (const auto& c : cases) {
        QvUString out = qvU("before|");
        XParser::appendParserMessage(out, c.isError, expr.getBuffer(), c.begin, c.end, qvU("M").getBuffer());
        EXPECT_EQ(out.toUtf8(), "before|" + line(c.isError, "M", c.marked)) << c.begin << " " << c.end;
    }
    EXPECT_EQ(expr.toUtf8(), "abcdefg");
    QvUString out;
    XParser::appendParserMessage(out, 1, nullptr, 0, 0, nullptr);  // missing text and message count as empty
    EXPECT_EQ(out.toUtf8(), line(1, "", "]"));
}

// ---- syntax errors of a parse ----

// A parser in the middle of lexing a text.
struct ParserFixture : ::testing::Test {
    ~ParserFixture() override { XParserTestAccess::setLexer(parser, nullptr); }
    void lex(const char* source, int tokens) {
        text = qvU(source), err = QvUString();
        lexer = std::make_unique<XLexer>(text.getBuffer(), &context, 0);
        XParserTestAccess::setLexer(parser, lexer.get());
        yystype value{};
        for (int i = 0; i < tokens; ++i) lexer->yylex(&value);
    }
    // "error lines|begin,end".
    std::string holders() const { return err.toUtf8() + "|" + std::to_string(begin) + "," + std::to_string(end); }
    XParserContextNoSymbols context;
    XParser parser;
    QvUString text;
    std::unique_ptr<XLexer> lexer;
    QvUString err, warn;
    size_t begin = 99, end = 99;
};

// Errors append lines and set both holders (only when both are given); an
// error at the lexer is placed at the end of the last token read; warning
// lines never touch the parser's holders.
TEST_F(ParserFixture, ErrorsAndTheirHolders) {
    lex("a + (b", 0);
    parser.setErrorReportPointers(&err, &warn, &begin, &end);
    XParserTestAccess::handleSyntaxError(parser, kSomeError, 1, 3);
    XParserTestAccess::handleSyntaxError(parser, 19035, 6, 6);
    const std::string first = line(1, msg(kSomeError), "a[ +] (b") + line(1, msg(19035), "a + (b]");
    EXPECT_EQ(holders(), first + "|6,6");
    const QvUString expr = qvU("a = NULL");
    XParser::appendParserMessage(*parser.getMsgWarn(), 0, expr.getBuffer(), 4, 8, qvGetMsg(kSomeWarning).getBuffer());
    EXPECT_EQ(warn.toUtf8() + holders(), line(0, msg(kSomeWarning), "a = [NULL]") + first + "|6,6");

    lex("a +   (b", 3);  // a, +, (
    XParserTestAccess::handleSyntaxError(parser, qvGetMsg(19065));
    EXPECT_EQ(holders(), line(1, msg(19065), "a +   (]b") + "|7,7");

    lex("a +   (b", 3);
    parser.setErrorPosHolders(&begin, nullptr);
    XParserTestAccess::handleSyntaxError(parser, 19035, 0, 1);
    EXPECT_EQ(holders(), line(1, msg(19035), "[a] +   (b") + "|7,7");
    parser.setErrorReportStrings(nullptr, nullptr);  // no error string: the holders still move
    parser.setErrorPosHolders(&begin, &end);
    XParserTestAccess::handleSyntaxError(parser, 19035, 0, 1);
    EXPECT_EQ(holders(), line(1, msg(19035), "[a] +   (b") + "|0,1");
}

TEST_F(ParserFixture, DriverTextsBecomeTheirCataloguedMessages) {
    lex("x y", 1);
    parser.setErrorReportPointers(&err, &warn, &begin, &end);
    for (auto [text, id] : {std::pair{"parse error", 19065}, {"syntax error: cannot back up", 19004},
                            {"parser stack overflow", 19060}}) {
        err = QvUString();
        XParserTestAccess::handleYyError(parser, text);
        EXPECT_EQ(holders(), line(1, msg(id), "x] y") + "|1,1");
    }
    err = QvUString();
    for (const char* text : {"parse error ", "Parse error", "syntax error", "", static_cast<const char*>(nullptr)})
        EXPECT_THROW(XParserTestAccess::handleYyError(parser, text), QvAssertFailure) << (text ? text : "(null)");
    EXPECT_TRUE(err.isEmpty());
    XParserTestAccess::setLexer(parser, nullptr);  // an error at the lexer needs a lexer
    EXPECT_THROW(XParserTestAccess::handleSyntaxError(parser, qvGetMsg(19065)), QvAssertFailure);
}

// ---- tree forms ----

// a + b with both references and the reporting pointers of the fixture.
struct TreeFixture : ::testing::Test {
    TreeFixture() { rebuild(); }
    void rebuild() {
        err = warn = QvUString();
        begin = end = 99;
        plus = XNodeOpt::create(eXNI_PLUS, 0, 5);
        plus->appendChildNode(a = XNodeRef::create(eXNI_PORTVAR, nullptr, 0, 1));
        plus->appendChildNode(b = XNodeRef::create(eXNI_PORTVAR, nullptr, 4, 5));
        tree.reset(XTree::create(plus, text.getBuffer(), 0, 0));
        tree->setErrorReportPointers(&err, &warn, &begin, &end);
    }
    // "err lines | warn lines | begin,end".
    std::string outcome() const {
        return err.toUtf8() + "|" + warn.toUtf8() + "|" + std::to_string(begin) + "," + std::to_string(end);
    }
    QvUString text = qvU("a + b");
    XNodeOpt* plus;
    XNode *a, *b;
    std::unique_ptr<XTree> tree;
    QvUString err, warn;
    size_t begin = 99, end = 99;
};

// Each message names a node by its token text and marks the span of a node
// (the same or another, or a given span); constants without a slice are
// named by their printed value; the current text is the one quoted.
TEST_F(TreeFixture, MessagesNameTheNodeAndMarkItsSpan) {
    std::unique_ptr<XNode> constant(XNodeConstBase::createConstInt(12, -1, -1));
    const QvUString eText = qvU("E"), wText = qvU("W");
    const unsigned short *E = eText.getBuffer(), *W = wText.getBuffer();
    XTree* t = nullptr;
    const auto add = [](auto... args) { XParser::appendParserMessage(args...); };
    const struct { std::function<void()> report; std::string outcome; } cases[] = {
        {[&] { add(1, t, plus, kSomeError); }, line(1, named("+", msg(kSomeError)), "[a + b]") + "||0,5"},
        {[&] { add(0, t, b, W); }, "|" + line(0, named("b", "W"), "a + [b]") + "|4,5"},
        {[&] { add(1, t, a, plus, kSomeError); }, line(1, named("a", msg(kSomeError)), "[a + b]") + "||0,5"},
        {[&] { add(1, t, b, 2, 2, E); }, line(1, named("b", "E"), "a ]+ b") + "||2,2"},
        {[&] { add(1, t, constant.get(), a, E); }, line(1, named("12", "E"), "[a] + b") + "||0,1"},
        {[&] { t->getExprStrInfo()->updateCurExpr(qvU("(a + bb)").getBufferCopy(), 1), b->updatePosBeginEnd(5, 7, 0);
               add(1, t, b, E); },
         line(1, named("bb", "E"), "(a + [bb])") + "||5,7"},
        // One holder missing: the holders stay; the target string missing:
        // no line, but the holders move.
        {[&] { t->setErrorPosHolders(&begin, nullptr), add(1, t, a, E); },
         line(1, named("a", "E"), "[a] + b") + "||99,99"},
        {[&] { t->setErrorReportStrings(&err, nullptr); add(0, t, a, W); }, "||0,1"},
        // An upgrade tree without both strings reports nothing.
        {[&] { t->setIsUpgrade(1), t->setErrorReportStrings(&err, nullptr), add(1, t, a, kSomeError); }, "||99,99"},
        {[&] { t->setIsUpgrade(1), t->setErrorReportStrings(nullptr, &warn), add(0, t, a, kSomeWarning); }, "||99,99"},
        {[&] { t->setIsUpgrade(1), add(1, t, a, kSomeError); },
         line(1, named("a", msg(kSomeError)), "[a] + b") + "||0,1"},
    };
    for (const auto& c : cases) {
        rebuild();
        t = tree.get();
        c.report();
        EXPECT_EQ(outcome(), c.outcome);
    }
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
