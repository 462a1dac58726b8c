// Writing trees back as text: the shape of every kind of node and that the
// text parses back to the same tree, type annotations, constants that have
// no text to copy, subtrees, regeneration (also through XTree::create) and
// the list of references it fills. Renaming over a list is the record's
// (xexprstrinfo_test) and the CLI's (xexpr_rename_test).
#include <gtest/gtest.h>

#include <fstream>

#include "qvcmnexpr/xexprstrinfo.h"
#include "qvcmnexpr/xreverseparser.h"
#include "qvcmnexpr/xstack.h"
#include "schema.h"
#include "xparsetest.h"
#include "xanswers.h"
#include "xtestsupport.h"
#include "xvalidatetest.h"

namespace {

using xparsetest::OneParse;
using xparsetest::TestContext;
using xtestsupport::answers;

const unsigned short kNoText[] = {0};

// The written text without the 0 unit that ends it inside the string.
std::string textOf(const QvUString& written) {
    const size_t n = written.length();
    return n == 0 || written[n - 1] != 0 ? "<no 0 unit>" : written.substr(0, n - 1).toUtf8();
}

std::string written(XTree* tree) {
    QvUString out;
    return XReverseParser().getExprString(out, tree, nullptr, 0) != 0 ? "<failed>" : textOf(out);
}

std::string currentText(XTree* tree) { return QvUString(tree->getExprStrInfo()->getCurExpr()).toUtf8(); }

// Kind and type of every node in post order: what "the same tree" means.
std::string shapeAndTypes(XTree* tree) {
    XNodeList nodes;
    XTree::subTreeDfs(tree->getRoot(), nodes, nullptr);
    std::string out;
    for (XNode* node : nodes)
        out += std::string(node->idToString()) + ":" + std::to_string(node->getDataType().toInteger()) + " ";
    return out;
}

// ---------------------------------------------------------------- shapes

struct ShapeCase { const char* text; const char* expected; int context = xparsetest::kTransformation; };

// Trees as the grammar builds them (validation relaxed), so that every
// shape is reachable whatever validation accepts today. One row per path of
// the writer: binary, unary, function with none, one and several arguments,
// widget calls, references, keywords, and each structural kind (a unary
// first operand grouped, a binary one not).
class ReverseParserShapeTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(ReverseParserShapeTest, WritesTheShapeAndParsesBackToTheSameTree) {
    const ShapeCase& c = GetParam();
    TestContext ctx(c.context);
    ctx.extFuncs = {"myfunc"};
    OneParse first(ctx, c.text);
    ASSERT_EQ(first.status, 0) << c.text << " " << first.outcome();
    EXPECT_EQ(written(first.tree), c.expected);
    OneParse again(ctx, c.expected);
    ASSERT_EQ(again.status, 0) << c.expected;
    EXPECT_EQ(again.printed(), first.printed());
}

INSTANTIATE_TEST_SUITE_P(Shapes, ReverseParserShapeTest, ::testing::Values(
        ShapeCase{"a + b * c", "(a + (b * c))"},
        ShapeCase{"a || 'x  y' <> b", "((a || 'x  y') <> b)"},
        ShapeCase{"-a + +b", "(-(a) + +(b))"},
        ShapeCase{"SYSTIMESTAMP()", "SYSTIMESTAMP()"},
        ShapeCase{"COUNT(*) + SUM(a, a > 1)", "(COUNT(*) + SUM(a,(a > 1)))"},
        ShapeCase{":LKP.My_Lookup(a,  1)", ":LKP.My_Lookup(a,1)"},
        ShapeCase{"MyProc(a)", "MyProc(a)"},
        ShapeCase{":SP.P(a, PROC_RESULT)", ":SP.P(a,PROC_RESULT)"},
        ShapeCase{"myfunc( a , b )", "myfunc(a,b)"},
        ShapeCase{"LOOKUP(:TD.x, :TD.y, a, :TD.z, b)", "LOOKUP(:TD.x,:TD.y,a,:TD.z,b)"},
        ShapeCase{":SD.a + $$v", "(:SD.a + $$v)"},
        // Kinds without a display text of their own.
        ShapeCase{"a.b.c", "((a . b) . c)"},  // a first operand grouped only when unary
        ShapeCase{"a..b", "(a .. b)"},
        ShapeCase{"a[1,2,3][*]", "a[1,2,3][*]"},
        ShapeCase{"(-a)[1]", "(-(a))[1]"},
        ShapeCase{":TYPE.a.b.c", "(:TYPE.a.b . c)"},
        ShapeCase{"$t.Status = SUCCEEDED", "($t.Status = SUCCEEDED)", xparsetest::kWorkflow}));

// The percentile kinds that callers make are functions written with their
// vocabulary spelling (PERCENTILE itself is any function with a name).
TEST(ReverseParserTest, PercentileKindsAreWrittenByTheirSpelling) {
    const std::pair<EXNodeId, const char*> rows[] = {
        {eXNI_PERCDETACHED, "PERCENTILE{DETACHED}(a,0.5)"},
        {eXNI_PERCREF, "PERCENTILE{REF}(a,0.5)"},
    };
    TestContext ctx;
    OneParse p(ctx, "PERCENTILE(a, 0.5)");
    ASSERT_EQ(p.status, 0);
    for (const auto& [kind, expected] : rows) {
        const_cast<XNode*>(p.root())->changeId(kind);
        EXPECT_EQ(written(p.tree), expected);
    }
    std::unique_ptr<XTree> alone(XTree::create(XNodePercRef::createPercRefNode(nullptr), kNoText, 0, 0));
    EXPECT_EQ(written(alone.get()), "PERCENTILE{REF}()");
}

// ---------------------------------------------------------------- validated trees

// A parse with validation over the validator tests' catalog, high
// precision off.
struct Validated : xvalidatetest::Outcome {
    explicit Validated(const std::string& utf8) { xvalidatetest::run(utf8, {0, 0, 0}, *this); }
    XTree* get() const { return tree ? tree->getTree() : nullptr; }
};

// Type annotations (each node's type in front of it) are written by the
// regeneration, subtree and tree-from-a-node tests below; the letters of each
// type are XToken's.

// ---------------------------------------------------------------- constants

XNode* nullInt() {
    XNodeConstBase* node = XNodeConstBase::createConstInt(7, -1, -1);
    *const_cast<short*>(node->getIndPtr()) = -1;
    return node;
}

// One constant without a position (as folding makes them) as the root; a
// NULL one has no text: the walk fails and changes nothing. Rows: the node,
// then the current text, the result and the root's span after regeneration.
TEST(ReverseParserConstTest, WritesAConstantWithoutTextByItsValue) {
    const std::pair<XNode*, const char*> cases[] = {
        {XNodeConstBase::createConstInt(42, -1, -1), "42|0 0 2"},
        {XNodeConstBase::createConstString(QvUString("ab"), -1, -1), "'ab'|0 0 4"},
        {nullInt(), "|-1 -1 -1"},
    };
    for (const auto& [node, expected] : cases) {
        std::unique_ptr<XTree> tree(XTree::create(node, kNoText, 0, 0));
        const int result = XReverseParser().updateExprString(tree.get(), nullptr, 0);
        const XNode* root = tree->getRoot();
        const std::string span = answers({result, root->getPosBegin().toInteger(), root->getPosEnd().toInteger()});
        EXPECT_EQ(currentText(tree.get()) + "|" + span, expected);
    }
}

// The walk fails on the first argument, before the separators it attached
// to the arguments after it have run.
TEST(ReverseParserTest, AFailedWalkLeavesNoSeparatorForTheNextOne) {
    TestContext ctx;
    OneParse p(ctx, "F1(a, b, 3)");
    ASSERT_EQ(p.status, 0);
    auto* call = static_cast<XNodeParent*>(const_cast<XNode*>(p.root()));
    XNode* a = call->getChild(0);
    std::unique_ptr<XNode> null(nullInt());
    ASSERT_EQ(call->replaceChild(a, null.get()), 0);
    EXPECT_EQ(written(p.tree), "<failed>");
    call->replaceChild(null.get(), a);
    EXPECT_EQ(written(p.tree), "F1(a,b,3)");
}

TEST(ReverseParserTest, AnUnknownSeparatorIsAnInvariant) {
    xtestsupport::expectInvariant("xreverseparser", [] { XReverseParser().doVisitAction(nullptr, EXRevParseAction(7)); });
}

// ---------------------------------------------------------------- subtrees and regeneration

TEST(ReverseParserTest, ASubtreeIsWrittenAsAWholeWithoutMovingItsPositions) {
    TestContext ctx;
    OneParse p(ctx, "(-a)[1]");
    ASSERT_EQ(p.status, 0);
    XReverseParser writer;
    QvUString out;
    ASSERT_EQ(writer.getSubExpr(out, const_cast<XNode*>(p.root())->getChildB(0, 1), p.tree, nullptr, 0), 0);
    EXPECT_EQ(textOf(out), "-(a)");

    Validated v("I + I * 2");
    ASSERT_EQ(v.status, 0);
    XNode* product = v.root()->getChildB(1, 1);
    const int begin = product->getPosBegin().toInteger();
    ASSERT_EQ(writer.getSubExpr(out, product, v.get(), nullptr, 1), 0);
    EXPECT_EQ(textOf(out), "bi:(i:I * i:2)");
    EXPECT_EQ(product->getPosBegin().toInteger(), begin);
}

// After regeneration each node's span of the new text is what writing the
// node alone gives, less the node's own annotation in front of its span,
// and the list holds the references as their writing finished.
void expectPositionsIndexTheText(XTree* tree, int annotate) {
    const QvUString text(tree->getExprStrInfo()->getCurExpr());
    XNodeList nodes;
    XTree::subTreeDfs(tree->getRoot(), nodes, nullptr);
    std::vector<const XNode*> refs;
    const bool large = nodes.entries() > 500;
    for (XNode* node : nodes) {
        const int b = node->getPosBegin().toInteger(), e = node->getPosEnd().toInteger();
        if (node->isRefNode()) refs.push_back(node);
        // Writing every subtree of a large tree alone costs its size times its
        // depth: there a parent's span only holds its children's.
        for (int i = 0; large && i < node->getNumChildrenB(); ++i) {
            const XNode* child = node->getChildB(i, 1);
            EXPECT_TRUE(b <= child->getPosBegin().toInteger() && e >= child->getPosEnd().toInteger()) << i;
        }
        if (large && node->getNumChildrenB() > 0) continue;
        QvUString alone;
        ASSERT_EQ(XReverseParser().getSubExpr(alone, node, tree, nullptr, annotate), 0);
        const size_t own = annotate ? XToken::getTypeAnnotation(node->getDataType()).length() : 0;
        EXPECT_EQ(text.substr(b, e - b).toUtf8(), textOf(alone).substr(own));
    }
    const XRefInfoList& list = tree->getExprStrInfo()->getRefList();
    ASSERT_EQ(list.entries(), refs.size());
    for (size_t i = 0; i < refs.size(); ++i) EXPECT_EQ(list[i].getNode(), refs[i]);
}

TEST(ReverseParserTest, RegenerationMakesTheWrittenTextCurrent) {
    Validated v("I+I *  2 -- note");
    ASSERT_EQ(v.status, 0);
    XReverseParser writer;
    ASSERT_EQ(writer.updateExprString(v.get(), nullptr, 1), 0);
    EXPECT_EQ(currentText(v.get()), "bi:(i:I + bi:(i:I * i:2))");
    EXPECT_EQ(QvUString(v.get()->getExprStrInfo()->getOrigExpr()).toUtf8(), "I+I *  2 -- note");
    expectPositionsIndexTheText(v.get(), 1);
}

TEST(ReverseParserTest, ATreeMadeFromANodeOfAnotherGetsItsOwnText) {
    Validated v("S || LTRIM(S) || U");
    ASSERT_EQ(v.status, 0);
    // The older tree's text regenerated first: the new one reads its nodes'
    // text from the older tree's current text, not its original.
    ASSERT_EQ(XReverseParser().updateExprString(v.get(), nullptr, 0), 0);
    // Detach LTRIM(S) from the older tree, leaving a constant in its place.
    XNode* inner = v.root()->getChildB(0, 1);
    XNode* ltrim = inner->getChildB(1, 1);
    ASSERT_EQ(static_cast<XNodeParent*>(inner)->replaceChild(ltrim, XNodeConstBase::createConstInt(0, -1, -1)), 0);
    std::unique_ptr<XTree> made(XTree::create(ltrim, v.get(), 1, 0, 0));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(currentText(made.get()), "u:LTRIM(u:S)");
    expectPositionsIndexTheText(made.get(), 1);
    // The older tree still writes its own text as it stands.
    EXPECT_EQ(written(v.get()), "((S || 0) || U)");
}

TEST(ReverseParserTest, ATreeThatCannotBeWrittenIsLeftAsItWasAndNoTreeIsMadeFromIt) {
    Validated v("I + 1");
    ASSERT_EQ(v.status, 0);
    auto* plus = static_cast<XNodeParent*>(v.root());
    std::unique_ptr<XNode> null(nullInt());
    XNode* one = plus->getChild(1);
    plus->replaceChild(one, null.get());
    XNodeParent* dummy = plus->getParent();
    const size_t refs = v.get()->getExprStrInfo()->getRefList().entries();
    EXPECT_EQ(XTree::create(plus, v.get(), 1, 0, 0), nullptr);
    EXPECT_EQ(XReverseParser().updateExprString(v.get(), nullptr, 1), -1);
    const XExprStrInfo* info = v.get()->getExprStrInfo();
    EXPECT_EQ(answers({info->getRefList().entries(), info->hasWidgetRef()}), answers({refs, 1}));
    EXPECT_EQ(plus->getParent(), dummy);
    plus->replaceChild(null.get(), one);
    EXPECT_EQ(written(v.get()), "(I + 1)");
}

// Deep and wide trees go through the node stack, not the native one.
TEST(ReverseParserTest, LongAndDeepExpressionsAreWritten) {
    std::string wide = "DECODE(a", deep = "a", expectedDeep = std::string(5000, '(') + "a";
    for (int i = 0; i < 100000; ++i) wide += ",1";
    for (int i = 0; i < 5000; ++i) deep += "+1", expectedDeep += " + 1)";
    wide += ")";
    TestContext ctx;
    OneParse w(ctx, wide);
    ASSERT_EQ(w.status, 0);
    EXPECT_EQ(written(w.tree), wide);
    OneParse d(ctx, deep);
    ASSERT_EQ(d.status, 0);
    EXPECT_EQ(written(d.tree), expectedDeep);
}

// ---------------------------------------------------------------- a converted list

// Leaves the entries as they are under a type of the caller's own: the list
// now holds the caller's positions.
struct CallersPositions : XRefInfoConverter {
    EXRefInfoType getNewRefInfoType() const override { return static_cast<EXRefInfoType>(2); }
    void convertRefInfo(XExprStrInfo*, XRefInfo*, EXRefInfoType) const override {}
};

// Regeneration would move the positions a converted list's owner holds.
TEST(ReverseParserTest, AConvertedListRefusesRegeneration) {
    Validated v("I + F");
    ASSERT_EQ(v.status, 0);
    ASSERT_EQ(v.get()->getExprStrInfo()->convertRefInfos(CallersPositions()), 0);
    XReverseParser writer;
    EXPECT_EQ(writer.updateExprString(v.get(), nullptr, 0), -1);
    EXPECT_EQ(currentText(v.get()), "I + F");
    std::unique_ptr<XExprStrInfo> taken(v.get()->removeExprStrInfo());  // and a tree without a record
    EXPECT_EQ(writer.updateExprString(v.get(), nullptr, 0), -1);
}

// ---------------------------------------------------------------- round trip

// `line` parsed under `ctx`, written, parsed again: the same kinds and
// types; regenerated, the written text is current and indexed by the
// positions. False when `line` does not parse under `ctx`.
bool roundTrip(XParserContext& ctx, const std::string& line) {
    OneParse first(ctx, line);
    if (first.status != 0 || !first.tree) return false;
    const std::string text = written(first.tree);
    OneParse second(ctx, text);
    EXPECT_EQ(second.status, 0) << line << "\n  written: " << text;
    if (!second.tree) return true;
    EXPECT_EQ(shapeAndTypes(second.tree), shapeAndTypes(first.tree)) << line << "\n  written: " << text;
    EXPECT_EQ(XReverseParser().updateExprString(first.tree, nullptr, 0), 0) << line;
    EXPECT_EQ(currentText(first.tree), text);
    expectPositionsIndexTheText(first.tree, 0);
    return true;
}

// Every line of the files validated where `catalog` allows it, else as the
// grammar built it; some lines must validate.
void roundTripFiles(std::shared_ptr<const XCatalog> catalog, const std::vector<std::string>& paths) {
    XCatalogContext validating(std::move(catalog));
    TestContext relaxed;
    int validated = 0;
    for (const std::string& path : paths) {
        std::ifstream in(path);
        ASSERT_TRUE(in) << path;
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#') continue;
            if (roundTrip(validating, line)) ++validated;
            else roundTrip(relaxed, line);
        }
    }
    EXPECT_GT(validated, 0);
}

TEST(ReverseParserRoundTripTest, ShippedExamples) {
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    ASSERT_EQ(XCatalog::loadJsonFile(QVCMNEXPR_SOURCE_DIR "/examples/orders_catalog.json", *catalog, error), 0)
        << error;
    roundTripFiles(catalog, {QVCMNEXPR_SOURCE_DIR "/examples/orders_expressions.txt"});
}

TEST(ReverseParserRoundTripTest, BenchmarkCorpora) {
    std::vector<std::string> paths;
    for (const char* name : {"/short.etl", "/long.etl"}) {
        const bool shared = std::ifstream(std::string(QVCMNEXPR_SHARED_BENCH_DIR) + name).good();
        paths.push_back(std::string(shared ? QVCMNEXPR_SHARED_BENCH_DIR : QVCMNEXPR_LOCAL_BENCH_DIR) + name);
    }
    roundTripFiles(bench::schemaCatalog(), paths);
}

}  // namespace
