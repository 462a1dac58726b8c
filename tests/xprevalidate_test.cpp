// Pre-validation: reference nodes take the role their place in the tree
// implies (member names after a dot, field names of struct constructors,
// operands of TYPE), and nothing else in the tree changes. Each case is a
// parent and the kinds its children end up with, through the walk and
// through the parser's relabelling alike.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xnodeconst.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xstack.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtree.h"
#include "treetest_build.h"
#include "xprevalidatevisitor.h"
#include "xrecordtext.h"
#include "xtestsupport.h"

namespace {

using treetest::kX;
using treetest::TreePtr;
using xtestsupport::answers;

// "PARENT(CHILD CHILD ...)", "_" for an empty slot.
std::string kindsOf(const XNodeParent* parent) {
    std::string out;
    for (int i = 0; i < parent->getNumChildren(); ++i)
        out += std::string(out.empty() ? "" : " ") + (parent->getChild(i) ? parent->getChild(i)->idToString() : "_");
    return std::string(parent->idToString()) + "(" + out + ")";
}

struct XPreValidateTest : ::testing::Test {
    XTokName* name(const char* t) { return names.emplace_back(std::make_unique<XTokName>(qvU(t), 0, nullptr)).get(); }
    XNode* ref(EXNodeId kind = eXNI_PORTVAR) { return XNodeRef::create(kind, name("p"), 0, 1); }
    XNodeParent* opt(EXNodeId kind, std::vector<XNode*> kids) { return adopt(XNodeOpt::create(kind, 0, 1), kids); }
    XNodeParent* call(XTokName* chain, std::vector<XNode*> kids) { return adopt(XNodeWidget::create(chain, 0, 1), kids); }
    static XNodeParent* adopt(XNodeParent* parent, const std::vector<XNode*>& children) {
        for (XNode* child : children) parent->appendChildNode(child);
        return parent;
    }
    // Runs the pass over a tree with `root` and returns the pass's result.
    int prevalidate(XNode* root) {
        tree.reset(XTree::create(root, kX, 0, 0));
        return visitor.visitSyntaxTree(tree.get(), &stack, nullptr);
    }

    std::vector<std::unique_ptr<XTokName>> names;
    XPreValidateVisitor visitor;
    XStack stack;
    TreePtr tree;  // declared last: freed before the names its nodes point at
};

TEST_F(XPreValidateTest, ChildrenTakeTheRoleOfTheirPlace) {
    const std::pair<std::function<XNodeParent*()>, const char*> cases[] = {
        {[&] { return opt(eXNI_DOTDOT, {ref(eXNI_MAPVAR), ref(eXNI_WFVAR)}); }, "DOTDOT(MAPVAR NESTEDPORTREF)"},
        {[&] { return opt(eXNI_DOT, {ref(), ref(eXNI_MAPVAR)}); }, "DOT(PORTVAR NESTEDPORTREF)"},
        // Struct constructors alternate field name and value, in any case.
        {[&] { return call(name("sTrUcT"), {ref(), opt(eXNI_PLUS, {ref(), ref()})}); }, "EXTFUNC(FUNC_IDENTIFIER PLUS)"},
        {[&] { return call(name("Struct"), {ref(), ref(), ref(), opt(eXNI_PLUS, {ref(), ref()}), ref()}); },
         "EXTFUNC(FUNC_IDENTIFIER PORTVAR FUNC_IDENTIFIER PLUS FUNC_IDENTIFIER)"},
        {[&] { return call(name("STRUCT"), {treetest::leaf(), ref()}); }, "EXTFUNC(SYSDATE PORTVAR)"},
        // Other functions, widgets named struct, other parents: left alone.
        {[&] { return call(name("structs"), {ref(), ref()}); }, "EXTFUNC(PORTVAR PORTVAR)"},
        {[&] { return call(name(":UDF.struct"), {ref(), ref()}); }, "MACRO(PORTVAR PORTVAR)"},
        {[&] { return call(name("struct")->prepend(name(":LKP")), {ref(), ref()}); }, "LKP(PORTVAR PORTVAR)"},
        {[&] { return opt(eXNI_DOTSTARDOT, {ref(), ref()}); }, "DOTSTARDOT(PORTVAR PORTVAR)"},
        {[&] { return opt(eXNI_PLUS, {ref(), ref(eXNI_MAPVAR), ref(eXNI_WFVAR)}); }, "PLUS(PORTVAR MAPVAR WFVAR)"},
        {[&] { return opt(eXNI_LIST, {ref(), ref()}); }, "LIST(PORTVAR PORTVAR)"},
        {[&] { return opt(eXNI_DOT, {XNodeConstBase::createConstInt(1, 0, 1), ref()}); }, "DOT(CONST NESTEDPORTREF)"},
        {[&] { return opt(eXNI_DOT, {ref(), opt(eXNI_PLUS, {ref(), ref()})}); }, "DOT(PORTVAR PLUS)"},
    };
    // (The plain shapes a parsed text takes are in ParserRelabelsReferences.)
    for (const auto& [build, kinds] : cases) {
        XNodeParent* walked = build();
        EXPECT_EQ(prevalidate(walked), 0);
        EXPECT_EQ(kindsOf(walked), kinds);
        XNodeParent* relabelled = build();
        XPreValidateVisitor::relabelChildren(relabelled);
        EXPECT_EQ(kindsOf(relabelled), kinds);
        tree = treetest::treeOf(relabelled);
    }
}

TEST_F(XPreValidateTest, PassKeepsTokensPositionsAndShape) {
    XNode* member = XNodeRef::create(eXNI_PORTVAR, name("b"), 2, 3);
    XNodeParent* root = opt(eXNI_DOT, {ref(), member});
    EXPECT_EQ(prevalidate(root), 0);
    EXPECT_EQ(static_cast<XNodeRef*>(member)->getTokName()->getName(), qvU("b"));
    EXPECT_EQ(answers({root->getChild(1) == member, member->getId(), member->getPosBegin().toInteger(),
                       member->getPosEnd().toInteger(), visitor.getVisitorType(), visitor.getTree() == tree.get(),
                       visitor.getVisitPhase(), visitor.getStack() != nullptr}),
              answers({1, eXNI_NESTEDPORTREF, 2, 3, eXVT_PRE_VALIDATE, 1, eXVP_NONE, 0}));
    // A reference alone, detached or as the root keeps its kind; empty
    // slots (left by a failed adoption) are passed over.
    std::unique_ptr<XNode> detached(ref());
    XPreValidateVisitor::relabel(detached.get());
    EXPECT_EQ(detached->getId(), eXNI_PORTVAR);
    XNode* alone = ref();
    prevalidate(alone);
    XNodeParent* holed = opt(eXNI_DOT, {ref()});
    holed->appendChildNode(nullptr);
    XPreValidateVisitor::relabelChildren(holed);
    EXPECT_EQ(alone->idToString() + (" " + kindsOf(holed)), "PORTVAR DOT(PORTVAR _)");
    tree = treetest::treeOf(holed);
    xtestsupport::expectInvariant("xprevalidatevisitor", [&] { visitor.visitSyntaxTree(nullptr, &stack, nullptr); });
}

// Exposes the dispatch so every visit operation can be called.
struct ExposedPreValidateVisitor : XPreValidateVisitor { using XVisitor::visitNode; };

TEST_F(XPreValidateTest, EveryVisitOperationSucceeds) {
    ExposedPreValidateVisitor exposed;
#define VISIT_OP(Op, KIND) \
    EXPECT_EQ(exposed.visitNode(std::unique_ptr<XNode>(treetest::leaf(eXNI_##KIND)).get()), 0) << #KIND;
#include "qvcmnexpr/xnodevisits.def"
}

// ---- parsed texts ----

// The parser relabels as it builds; running the pass afterwards changes nothing.
TEST(XPreValidateParsedTest, ParserRelabelsReferences) {
    const std::pair<const char*, const char*> cases[] = {
        {"a.b.c", "PORTVAR NESTEDPORTREF DOT NESTEDPORTREF DOT"},
        {"a..b", "PORTVAR NESTEDPORTREF DOTDOT"},
        {"struct(f1, v1, F2, v2)", "FUNC_IDENTIFIER PORTVAR FUNC_IDENTIFIER PORTVAR EXTFUNC"},
        {"sTrUcT(f1, a.b)", "FUNC_IDENTIFIER PORTVAR NESTEDPORTREF DOT EXTFUNC"},
        {"myfunc(f1, v1, f2, v2)", "PORTVAR PORTVAR PORTVAR PORTVAR EXTFUNC"},
        {":TYPE.s.t", "NESTEDPORTREF NESTEDPORTREF TYPE"},
        {"a.b + myfunc(x, struct(y, z))", "PORTVAR NESTEDPORTREF DOT PORTVAR FUNC_IDENTIFIER PORTVAR EXTFUNC EXTFUNC PLUS"},
    };
    for (const auto& [text, kinds] : cases) {
        treetest::Parsed p(text, {"struct", "sTrUcT", "myfunc"});
        EXPECT_EQ(treetest::postOrderKinds(p.tree()), kinds);
        XPreValidateVisitor again;
        XStack stack;
        EXPECT_EQ(again.visitSyntaxTree(p.tree(), &stack, nullptr), 0);
        EXPECT_EQ(treetest::postOrderKinds(p.tree()), kinds);
    }
}

}  // namespace
