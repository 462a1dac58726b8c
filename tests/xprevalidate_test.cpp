// Pre-validation: reference nodes take the role their place in the tree
// implies (member names after a dot, field names of struct constructors,
// operands of TYPE), and nothing else in the tree changes.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
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
#include "xprevalidatevisitor.h"
#include "xtestsupport.h"

namespace {

const unsigned short kText[] = {'x', 0};

struct TreeDeleter {
    void operator()(XTree* tree) const { delete tree; }
};
using TreePtr = std::unique_ptr<XTree, TreeDeleter>;

class XPreValidateTest : public ::testing::Test {
protected:
    XTokName* name(const char* text) {
        names.push_back(std::make_unique<XTokName>(qvU(text), 0, nullptr));
        return names.back().get();
    }
    XNode* ref(EXNodeId kind = eXNI_PORTVAR) { return XNodeRef::create(kind, name("p"), 0, 1); }
    XNodeParent* opt(EXNodeId kind, std::vector<XNode*> children) {
        return adopt(XNodeOpt::create(kind, 0, 1), children);
    }
    XNodeParent* call(const char* function, std::vector<XNode*> children) {
        return adopt(XNodeWidget::create(name(function), 0, 1), children);
    }
    static XNodeParent* adopt(XNodeParent* parent, const std::vector<XNode*>& children) {
        for (XNode* child : children) parent->appendChildNode(child);
        return parent;
    }

    // Runs the pass over a tree with `root` and returns the pass's result.
    int prevalidate(XNode* root) {
        tree.reset(XTree::create(root, kText, 0, 0));
        return visitor.visitSyntaxTree(tree.get(), &stack, nullptr);
    }

    static std::vector<EXNodeId> childKinds(const XNodeParent* parent) {
        std::vector<EXNodeId> kinds;
        for (int i = 0; i < parent->getNumChildren(); ++i) kinds.push_back(parent->getChild(i)->getId());
        return kinds;
    }

    std::vector<std::unique_ptr<XTokName>> names;
    XPreValidateVisitor visitor;
    XStack stack;
    TreePtr tree;  // declared last: freed before the names its nodes point at
};

using Kinds = std::vector<EXNodeId>;

TEST_F(XPreValidateTest, MemberNameAfterADotIsANestedReference) {
    for (EXNodeId dot : {eXNI_DOT, eXNI_DOTDOT}) {
        XNodeParent* root = opt(dot, {ref(), ref()});
        EXPECT_EQ(prevalidate(root), 0);
        EXPECT_EQ(childKinds(root), (Kinds{eXNI_PORTVAR, eXNI_NESTEDPORTREF})) << dot;
    }
}

TEST_F(XPreValidateTest, EveryReferenceKindCanBeAMemberName) {
    for (EXNodeId kind : {eXNI_PORTVAR, eXNI_MAPVAR, eXNI_WFVAR, eXNI_QUALIFIEDPORTVAR}) {
        XNodeParent* root = opt(eXNI_DOT, {ref(), ref(kind)});
        prevalidate(root);
        EXPECT_EQ(root->getChild(1)->getId(), eXNI_NESTEDPORTREF) << kind;
    }
}

TEST_F(XPreValidateTest, ChainedDotsRelabelEveryMemberName) {
    // a.b.c parses as DOT(DOT(a, b), c)
    XNodeParent* inner = opt(eXNI_DOT, {ref(), ref()});
    XNodeParent* root = opt(eXNI_DOT, {inner, ref()});
    prevalidate(root);
    EXPECT_EQ(childKinds(inner), (Kinds{eXNI_PORTVAR, eXNI_NESTEDPORTREF}));
    EXPECT_EQ(childKinds(root), (Kinds{eXNI_DOT, eXNI_NESTEDPORTREF}));
}

TEST_F(XPreValidateTest, StructConstructorArgumentsAlternateNameAndValue) {
    for (const char* function : {"struct", "STRUCT", "Struct", "sTrUcT"}) {
        XNodeParent* root = call(function, {ref(), ref(), ref(), ref(eXNI_MAPVAR)});
        ASSERT_EQ(root->getId(), eXNI_EXTFUNC);
        EXPECT_EQ(prevalidate(root), 0);
        EXPECT_EQ(childKinds(root), (Kinds{eXNI_FUNC_IDENTIFIER, eXNI_PORTVAR,
                                           eXNI_FUNC_IDENTIFIER, eXNI_MAPVAR}))
            << function;
    }
}

TEST_F(XPreValidateTest, StructConstructorValuesMayBeAnyExpression) {
    XNodeParent* value = opt(eXNI_PLUS, {ref(), ref()});
    XNodeParent* root = call("struct", {ref(), value});
    prevalidate(root);
    EXPECT_EQ(childKinds(root), (Kinds{eXNI_FUNC_IDENTIFIER, eXNI_PLUS}));
    EXPECT_EQ(childKinds(value), (Kinds{eXNI_PORTVAR, eXNI_PORTVAR}));
}

TEST_F(XPreValidateTest, OtherExternalFunctionsAreLeftAlone) {
    for (const char* function : {"structs", "struc", "my_struct", "func"}) {
        XNodeParent* root = call(function, {ref(), ref(), ref(), ref()});
        ASSERT_EQ(root->getId(), eXNI_EXTFUNC);
        prevalidate(root);
        EXPECT_EQ(childKinds(root), Kinds(4, eXNI_PORTVAR)) << function;
    }
}

TEST_F(XPreValidateTest, OtherWidgetsAreLeftAlone) {
    // A user-defined function and a lookup, both named struct.
    XTokName* const chains[] = {name(":UDF.struct"), name("struct")->prepend(name(":LKP"))};
    for (XTokName* chain : chains) {
        XNodeParent* root = adopt(XNodeWidget::create(chain, 0, 1), {ref(), ref()});
        ASSERT_NE(root->getId(), eXNI_EXTFUNC);
        prevalidate(root);
        EXPECT_EQ(childKinds(root), Kinds(2, eXNI_PORTVAR)) << root->getId();
    }
}

TEST_F(XPreValidateTest, TypeOperandsAreNestedReferences) {
    XNodeParent* root = opt(eXNI_TYPE, {ref(), ref()});
    prevalidate(root);
    EXPECT_EQ(childKinds(root), (Kinds{eXNI_NESTEDPORTREF, eXNI_NESTEDPORTREF}));
}

TEST_F(XPreValidateTest, ReferencesElsewhereKeepTheirKind) {
    const EXNodeId parents[] = {eXNI_PLUS, eXNI_SUB, eXNI_DOTSTARDOT, eXNI_IIF, eXNI_UPPER, eXNI_LIST};
    for (EXNodeId parent : parents) {
        XNodeParent* root = opt(parent, {ref(), ref(eXNI_MAPVAR), ref(eXNI_WFVAR)});
        prevalidate(root);
        EXPECT_EQ(childKinds(root), (Kinds{eXNI_PORTVAR, eXNI_MAPVAR, eXNI_WFVAR})) << parent;
    }
    XNode* root = ref();
    prevalidate(root);
    EXPECT_EQ(root->getId(), eXNI_PORTVAR);
}

TEST_F(XPreValidateTest, NonReferencesAreNeverRelabelled) {
    XNode* constant = XNodeConstBase::createConstInt(1, 0, 1);
    ASSERT_NE(constant, nullptr);
    XNodeParent* member = opt(eXNI_PLUS, {ref(), ref()});
    XNodeParent* root = opt(eXNI_DOT, {constant, member});
    prevalidate(root);
    EXPECT_EQ(childKinds(root), (Kinds{eXNI_CONST, eXNI_PLUS}));
    XNodeParent* structCall = call("struct", {XNodeKeyword::create(eXNI_SYSDATE, 0, 1), ref()});
    prevalidate(structCall);
    EXPECT_EQ(childKinds(structCall), (Kinds{eXNI_SYSDATE, eXNI_PORTVAR}));
}

// The parser relabels each parent's children as it builds the parent; that
// must give what the walk gives, parent by parent.
TEST_F(XPreValidateTest, RelabelChildrenGivesTheWalksKinds) {
    struct Case {
        std::function<XNodeParent*()> build;
        Kinds expected;
    };
    const Case cases[] = {
        {[&] { return opt(eXNI_DOT, {ref(), ref()}); }, {eXNI_PORTVAR, eXNI_NESTEDPORTREF}},
        {[&] { return opt(eXNI_DOTDOT, {ref(eXNI_MAPVAR), ref(eXNI_WFVAR)}); },
         {eXNI_MAPVAR, eXNI_NESTEDPORTREF}},
        {[&] { return opt(eXNI_TYPE, {ref(), ref()}); }, {eXNI_NESTEDPORTREF, eXNI_NESTEDPORTREF}},
        {[&] { return call("Struct", {ref(), ref(), ref(), opt(eXNI_PLUS, {ref(), ref()}), ref()}); },
         {eXNI_FUNC_IDENTIFIER, eXNI_PORTVAR, eXNI_FUNC_IDENTIFIER, eXNI_PLUS, eXNI_FUNC_IDENTIFIER}},
        {[&] { return call("structs", {ref(), ref()}); }, {eXNI_PORTVAR, eXNI_PORTVAR}},
        {[&] { return opt(eXNI_DOTSTARDOT, {ref(), ref()}); }, {eXNI_PORTVAR, eXNI_PORTVAR}},
        {[&] { return opt(eXNI_PLUS, {ref(), ref()}); }, {eXNI_PORTVAR, eXNI_PORTVAR}},
        {[&] { return opt(eXNI_DOT, {XNodeConstBase::createConstInt(1, 0, 1), ref()}); },
         {eXNI_CONST, eXNI_NESTEDPORTREF}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        XNodeParent* relabelled = cases[i].build();
        XPreValidateVisitor::relabelChildren(relabelled);
        EXPECT_EQ(childKinds(relabelled), cases[i].expected) << i;
        tree.reset(XTree::create(relabelled, kText, 0, 0));

        XNodeParent* walked = cases[i].build();
        prevalidate(walked);
        EXPECT_EQ(childKinds(walked), cases[i].expected) << i;
    }
}

// Empty child slots (left by a failed adoption) are passed over.
TEST_F(XPreValidateTest, RelabelChildrenPassesOverEmptySlots) {
    XNodeParent* root = opt(eXNI_DOT, {ref()});
    root->appendChildNode(nullptr);
    XPreValidateVisitor::relabelChildren(root);
    EXPECT_EQ(root->getChild(0)->getId(), eXNI_PORTVAR);
    EXPECT_EQ(root->getChild(1), nullptr);
    tree.reset(XTree::create(root, kText, 0, 0));
}

TEST_F(XPreValidateTest, DetachedReferenceIsLeftAlone) {
    std::unique_ptr<XNode> detached(ref());
    XPreValidateVisitor::relabel(detached.get());
    EXPECT_EQ(detached->getId(), eXNI_PORTVAR);
}

TEST_F(XPreValidateTest, PassKeepsTokensPositionsAndShape) {
    XNode* member = XNodeRef::create(eXNI_PORTVAR, name("b"), 2, 3);
    XNodeParent* root = opt(eXNI_DOT, {ref(), member});
    prevalidate(root);
    EXPECT_EQ(root->getChild(1), member);
    EXPECT_EQ(member->getId(), eXNI_NESTEDPORTREF);
    EXPECT_EQ(static_cast<XNodeRef*>(member)->getTokName()->getName(), qvU("b"));
    EXPECT_EQ(member->getPosBegin().toInteger(), 2);
    EXPECT_EQ(member->getPosEnd().toInteger(), 3);
    EXPECT_EQ(root->getNumChildren(), 2);
}

TEST_F(XPreValidateTest, VisitorIdentityAndWalkState) {
    EXPECT_EQ(visitor.getVisitorType(), eXVT_PRE_VALIDATE);
    EXPECT_EQ(prevalidate(opt(eXNI_DOT, {ref(), ref()})), 0);
    EXPECT_EQ(visitor.getTree(), tree.get());
    EXPECT_EQ(visitor.getVisitPhase(), eXVP_NONE);
    EXPECT_EQ(visitor.getStack(), nullptr);
}

TEST_F(XPreValidateTest, MissingTreeIsAnInvariant) {
    xtestsupport::expectInvariant("xprevalidatevisitor",
                                  [&] { visitor.visitSyntaxTree(nullptr, &stack, nullptr); });
}

// Exposes the dispatch so every visit operation can be called.
class ExposedPreValidateVisitor : public XPreValidateVisitor {
public:
    using XVisitor::visitNode;
};

TEST_F(XPreValidateTest, EveryVisitOperationSucceeds) {
    ExposedPreValidateVisitor exposed;
    int visited = 0;
#define VISIT_OP(Op, KIND)                                                      \
    {                                                                           \
        std::unique_ptr<XNode> node(XNodeKeyword::create(eXNI_##KIND, 0, 0));   \
        EXPECT_EQ(exposed.visitNode(node.get()), 0) << #KIND;                   \
        ++visited;                                                              \
    }
#include "qvcmnexpr/xnodevisits.def"
    EXPECT_EQ(visited, 145);
}

// ---- parsed texts ----

// Knows two external functions, struct and myfunc, in any case.
class ExtFuncContext : public XParserContextNoSymbols {
public:
    int containsValidExtFunc(const QvUString& name) override {
        return name.caseCompare(qvU("struct")) == 0 || name.caseCompare(qvU("myfunc")) == 0;
    }
};

struct ParsedCase {
    const char* text;
    const char* postOrderKinds;  // debug names, children before parents
};

void PrintTo(const ParsedCase& c, std::ostream* os) { *os << c.text; }

std::string postOrderKinds(XTree* tree) {
    XNodeList nodes(16);
    tree->dfs(nodes, nullptr);
    std::string out;
    for (XNode* node : nodes) out += std::string(out.empty() ? "" : " ") + node->idToString();
    return out;
}

class XPreValidateParsedTest : public ::testing::TestWithParam<ParsedCase> {
protected:
    // The tree of `text` as the parser hands it out.
    TreePtr parse(const char* text) {
        parser.setParserContext(&context, 0);
        source = qvU(text);
        QvUString err, warn;
        XTree* tree = nullptr;
        EXPECT_EQ(parser.parse(source.getBuffer(), tree, err, warn, 0, 1), 0) << err.toUtf8();
        return TreePtr(tree);
    }

    QvUString source;  // the tree points at it
    ExtFuncContext context;
    XParser parser;
};

const ParsedCase kParsedCases[] = {
    {"a.b", "PORTVAR NESTEDPORTREF DOT"},
    {"a.b.c", "PORTVAR NESTEDPORTREF DOT NESTEDPORTREF DOT"},
    {"a..b", "PORTVAR NESTEDPORTREF DOTDOT"},
    {"struct(f1, v1, F2, v2)", "FUNC_IDENTIFIER PORTVAR FUNC_IDENTIFIER PORTVAR EXTFUNC"},
    {"STRUCT(f1, 1)", "FUNC_IDENTIFIER CONST EXTFUNC"},
    {"sTrUcT(f1, a.b)", "FUNC_IDENTIFIER PORTVAR NESTEDPORTREF DOT EXTFUNC"},
    {"struct(a.b, c)", "PORTVAR NESTEDPORTREF DOT PORTVAR EXTFUNC"},
    {"myfunc(f1, v1, f2, v2)", "PORTVAR PORTVAR PORTVAR PORTVAR EXTFUNC"},
    {":TYPE.s.t", "NESTEDPORTREF NESTEDPORTREF TYPE"},
    {"a + b.c", "PORTVAR PORTVAR NESTEDPORTREF DOT PLUS"},
    {"decode(a, b.c, d)", "PORTVAR PORTVAR NESTEDPORTREF DOT PORTVAR DECODE"},
    {"a.b + myfunc(x, struct(y, z))",
     "PORTVAR NESTEDPORTREF DOT PORTVAR FUNC_IDENTIFIER PORTVAR EXTFUNC EXTFUNC PLUS"},
    {"a", "PORTVAR"},
};

// The parser relabels as it builds; running the pass afterwards changes nothing.
TEST_P(XPreValidateParsedTest, ParserRelabelsReferences) {
    TreePtr tree = parse(GetParam().text);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(postOrderKinds(tree.get()), GetParam().postOrderKinds);

    XPreValidateVisitor again;
    XStack stack;
    EXPECT_EQ(again.visitSyntaxTree(tree.get(), &stack, nullptr), 0);
    EXPECT_EQ(postOrderKinds(tree.get()), GetParam().postOrderKinds);
}

INSTANTIATE_TEST_SUITE_P(Texts, XPreValidateParsedTest, ::testing::ValuesIn(kParsedCases));

}  // namespace
