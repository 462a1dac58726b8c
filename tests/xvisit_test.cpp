// The visitor framework: dispatch by node kind, the order and stop rules of
// each walk, node replacement in pre order, the skip flag and action chains.
// Trees are built by hand; every node frees a counter through its srvInfo
// deleter, so the tests see exactly which nodes a walk freed.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xstack.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xvisit.h"
#include "xtestsupport.h"

namespace {

const unsigned short kText[] = {'x', 0};

int g_freedNodes = 0;
char g_srvTag;
void countFreedNode(void*) { ++g_freedNodes; }

// Nodes carry their test id in posBegin.
int idOf(const XNode* node) { return node->getPosBegin().toInteger(); }

XNode* track(XNode* node) {
    node->setSrvInfoPtr(reinterpret_cast<XNodeSrvInfo*>(&g_srvTag), &countFreedNode);
    return node;
}

XNode* leaf(EXNodeId kind, int id) { return track(XNodeKeyword::create(kind, id, id)); }

XNodeOpt* opt(EXNodeId kind, int id, std::vector<XNode*> children = {}) {
    XNodeOpt* node = XNodeOpt::create(kind, id, id);
    track(node);
    for (XNode* child : children) node->appendChildNode(child);
    return node;
}

struct TreeDeleter {
    void operator()(XTree* tree) const { delete tree; }
};
using TreePtr = std::unique_ptr<XTree, TreeDeleter>;

// A walker that records every visit as "<operation><id>" and lets the test
// decide each visit's result (and side effects) through `onVisit`.
class RecordingVisitor : public XVisitor {
public:
    std::vector<std::string> visits;
    std::vector<EXVisitPhase> phases;
    std::vector<XStack*> stacks;
    std::function<int(XNode*)> onVisit;

    EXVisitorType getVisitorType() const override { return eXVT_VALIDATOR; }
    int visitSyntaxTree(XTree* tree, XStack* stack, void*) override {
        return visitTreePostOrder("test", tree, stack);
    }

    using XVisitor::setVisitPreOrderAction;
    using XVisitor::visitChildNodes;
    using XVisitor::visitNode;
    using XVisitor::visitTreePostOrder;
    using XVisitor::visitTreePreOrder;
    using XVisitor::visitTreePrePostOrder;

    // The recorded visits with a phase mark: "<" pre, ">" post.
    std::vector<std::string> prePostVisits() const {
        std::vector<std::string> out;
        for (size_t i = 0; i < visits.size(); ++i) {
            out.push_back((phases[i] == eXVP_PRE_POST_PRE ? "<" : ">") + visits[i]);
        }
        return out;
    }

protected:
#define VISIT_OP(Op, KIND) \
    int visit##Op##Node(XNode* node) override { return record(#Op, node); }
#include "qvcmnexpr/xnodevisits.def"

private:
    int record(const char* operation, XNode* node) {
        visits.push_back(operation + std::to_string(idOf(node)));
        phases.push_back(getVisitPhase());
        stacks.push_back(getStack());
        return onVisit ? onVisit(node) : 0;
    }
};

using Strings = std::vector<std::string>;

class XVisitTest : public ::testing::Test {
protected:
    void SetUp() override { g_freedNodes = 0; }

    // PLUS1(SYSDATE2, MULTIPLY3(STAR4, NULL5))
    XTree* sampleTree() {
        plus = opt(eXNI_PLUS, 1,
                   {leaf(eXNI_SYSDATE, 2),
                    opt(eXNI_MULTIPLY, 3, {leaf(eXNI_STAR, 4), leaf(eXNI_NULL, 5)})});
        multiply = plus->getChild(1);
        tree.reset(XTree::create(plus, kText, 0, 0));
        return tree.get();
    }

    void expectIdle(const RecordingVisitor& visitor) {
        EXPECT_EQ(visitor.getVisitPhase(), eXVP_NONE);
        EXPECT_EQ(visitor.getStack(), nullptr);
    }

    RecordingVisitor visitor;
    XStack stack;
    TreePtr tree;
    XNodeOpt* plus = nullptr;
    XNode* multiply = nullptr;
};

// ---- dispatch ----

struct KindName {
    int number;
    const char* name;
};

constexpr KindName kKindNames[] = {
#define NODE_KIND(number, NAME, printed) {number, #NAME},
#include "qvcmnexpr/xnodekinds.def"
};

// Kinds without a visit operation: the markers, 0, the unassigned 81 and 82
// and the tail.
const std::set<int> kUnvisitedKinds = {0,  1,  14, 22, 29, 36,  43,  68,  71,
                                       74, 78, 81, 82, 96, 149, 161, 162, 163};

std::string withoutUnderscoresUpper(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '_') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

TEST_F(XVisitTest, EveryKindGoesToTheOperationNamedAfterIt) {
    std::set<std::string> operations;
    for (const KindName& kind : kKindNames) {
        std::unique_ptr<XNode> node(XNodeKeyword::create(static_cast<EXNodeId>(kind.number), 0, 0));
        visitor.visits.clear();
        const int result = visitor.visitNode(node.get());
        if (kUnvisitedKinds.count(kind.number)) {
            EXPECT_EQ(result, -1) << kind.name;
            EXPECT_TRUE(visitor.visits.empty()) << kind.name;
            continue;
        }
        EXPECT_EQ(result, 0) << kind.name;
        ASSERT_EQ(visitor.visits.size(), 1u) << kind.name;
        std::string operation = visitor.visits[0].substr(0, visitor.visits[0].size() - 1);
        operations.insert(operation);
        const std::string expected = kind.number == eXNI_ANY ? "LAST" : withoutUnderscoresUpper(kind.name);
        EXPECT_EQ(withoutUnderscoresUpper(operation), expected) << kind.name;
    }
    EXPECT_EQ(operations.size(), 145u);
}

TEST_F(XVisitTest, KindsOutsideTheTableAndNullNodesFail) {
    for (int kind : {81, 82, 164, 255}) {
        std::unique_ptr<XNode> node(XNodeKeyword::create(static_cast<EXNodeId>(kind), 0, 0));
        EXPECT_EQ(visitor.visitNode(node.get()), -1) << kind;
    }
    EXPECT_EQ(visitor.visitNode(nullptr), -1);
    EXPECT_TRUE(visitor.visits.empty());
    std::unique_ptr<XNode> any(XNodeOpt::create(eXNI_ANY, 7, 7));  // an operator node too
    EXPECT_EQ(visitor.visitNode(any.get()), 0);
    EXPECT_EQ(visitor.visits, Strings{"Last7"});
}

TEST_F(XVisitTest, VisitResultIsTheOperationsResult) {
    std::unique_ptr<XNode> node(XNodeKeyword::create(eXNI_SYSDATE, 0, 0));
    for (int result : {0, 1, -1, 7}) {
        visitor.onVisit = [result](XNode*) { return result; };
        EXPECT_EQ(visitor.visitNode(node.get()), result);
    }
}

// ---- construction ----

TEST_F(XVisitTest, NewVisitorIsOutsideAnyWalkAndCopiesTakeTheFields) {
    EXPECT_EQ(visitor.getTree(), nullptr);
    EXPECT_EQ(visitor.getVisitPreOrderAction(), -1);
    expectIdle(visitor);
    XTree* t = sampleTree();
    visitor.visitTreePostOrder("test", t, &stack);
    RecordingVisitor copy(visitor);
    EXPECT_EQ(copy.getTree(), t);
    EXPECT_EQ(copy.getVisitPreOrderAction(), visitor.getVisitPreOrderAction());
    expectIdle(copy);
}

// ---- visitChildNodes ----

TEST_F(XVisitTest, VisitChildNodesVisitsDirectChildrenOnly) {
    sampleTree();
    EXPECT_EQ(visitor.visitChildNodes(plus), 0);
    EXPECT_EQ(visitor.visits, (Strings{"SYSDATE2", "Multiply3"}));
}

TEST_F(XVisitTest, VisitChildNodesStopsOnlyOnMinusOne) {
    sampleTree();
    visitor.onVisit = [](XNode* node) { return idOf(node) == 2 ? 1 : 0; };
    EXPECT_EQ(visitor.visitChildNodes(plus), 0);
    EXPECT_EQ(visitor.visits.size(), 2u);

    visitor.visits.clear();
    visitor.onVisit = [](XNode* node) { return idOf(node) == 2 ? -1 : 0; };
    EXPECT_EQ(visitor.visitChildNodes(plus), -1);
    EXPECT_EQ(visitor.visits, Strings{"SYSDATE2"});
}

TEST_F(XVisitTest, VisitChildNodesOfALeafOrAnEmptySlot) {
    sampleTree();
    EXPECT_EQ(visitor.visitChildNodes(plus->getChild(0)), 0);
    EXPECT_TRUE(visitor.visits.empty());

    XNode* first = plus->getChild(0);
    plus->removeChild(first);
    EXPECT_EQ(visitor.visitChildNodes(plus), 0);
    EXPECT_EQ(visitor.visits, Strings{"Multiply3"});
    plus->replaceRemovedChild(first);
}

// ---- post order ----

TEST_F(XVisitTest, PostOrderVisitsChildrenBeforeParents) {
    XTree* t = sampleTree();
    EXPECT_EQ(visitor.visitTreePostOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.visits, (Strings{"SYSDATE2", "STAR4", "NULL5", "Multiply3", "Plus1"}));
    for (EXVisitPhase phase : visitor.phases) EXPECT_EQ(phase, eXVP_POST_ORDER);
    for (XStack* s : visitor.stacks) EXPECT_EQ(s, &stack);
    EXPECT_EQ(visitor.getTree(), t);
    expectIdle(visitor);
}

TEST_F(XVisitTest, PostOrderContinuesOnOneAndStopsOnMinusOne) {
    XTree* t = sampleTree();
    visitor.onVisit = [](XNode* node) { return idOf(node) == 4 ? 1 : 0; };
    EXPECT_EQ(visitor.visitTreePostOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.visits.size(), 5u);
    expectIdle(visitor);

    visitor.visits.clear();
    visitor.onVisit = [](XNode* node) { return idOf(node) == 4 ? -1 : 0; };
    EXPECT_EQ(visitor.visitTreePostOrder("test", t, &stack), -1);
    EXPECT_EQ(visitor.visits, (Strings{"SYSDATE2", "STAR4"}));
    expectIdle(visitor);
}

TEST_F(XVisitTest, PostOrderWithoutATreeFails) {
    EXPECT_EQ(visitor.visitTreePostOrder("test", nullptr, &stack), -1);
    expectIdle(visitor);
}

TEST_F(XVisitTest, WalkWithoutAStackUsesItsOwn) {
    XTree* t = sampleTree();
    EXPECT_EQ(visitor.visitTreePreOrder("test", t, nullptr), 0);
    EXPECT_EQ(visitor.visits.size(), 5u);
    for (XStack* s : visitor.stacks) EXPECT_NE(s, nullptr);
    expectIdle(visitor);
}

// ---- empty tree ----

TEST_F(XVisitTest, EmptyTreeYieldsZeroFromEveryWalk) {
    tree.reset(XTree::create(nullptr, kText, 1, 0));
    EXPECT_EQ(visitor.visitTreePostOrder("test", tree.get(), &stack), 0);
    expectIdle(visitor);
    EXPECT_EQ(visitor.visitTreePreOrder("test", tree.get(), &stack), 0);
    expectIdle(visitor);
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", tree.get(), &stack), 0);
    expectIdle(visitor);
    EXPECT_EQ(visitor.visitSubTreePrePostOrder(nullptr, tree.get(), &stack), 0);
    expectIdle(visitor);
    EXPECT_TRUE(visitor.visits.empty());
}

// ---- pre order ----

// A stray entry on the stack is cleared first.
TEST_F(XVisitTest, PreOrderVisitsParentsBeforeChildren) {
    XTree* t = sampleTree();
    std::unique_ptr<XNode> stray(XNodeKeyword::create(eXNI_SYSDATE, 9, 9));
    stack.push(stray.get());
    EXPECT_EQ(visitor.visitTreePreOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.visits, (Strings{"Plus1", "SYSDATE2", "Multiply3", "STAR4", "NULL5"}));
    for (EXVisitPhase phase : visitor.phases) EXPECT_EQ(phase, eXVP_PRE_ORDER);
    for (XStack* s : visitor.stacks) EXPECT_EQ(s, &stack);
    EXPECT_EQ(stack.getCount(), 0u);
    expectIdle(visitor);
}

TEST_F(XVisitTest, PreOrderStopsOnAnyNonZeroResult) {
    XTree* t = sampleTree();
    visitor.onVisit = [](XNode* node) { return idOf(node) == 3 ? 1 : 0; };
    EXPECT_EQ(visitor.visitTreePreOrder("test", t, &stack), -1);
    EXPECT_EQ(visitor.visits, (Strings{"Plus1", "SYSDATE2", "Multiply3"}));
    expectIdle(visitor);
}

// ---- replacement during pre order ----

// Replaces the visited node by `make()` in its parent (the dummy parent for
// the root) and leaves `action`.
std::function<int(XNode*)> replacing(RecordingVisitor& visitor, int id,
                                     std::function<XNode*()> make,
                                     EXVisitPreOrderAction action) {
    return [&visitor, id, make, action](XNode* node) {
        if (idOf(node) != id) return 0;
        EXPECT_EQ(node->replaceMeInParent(make()), 0);
        visitor.setVisitPreOrderAction(action);
        return 0;
    };
}

TEST_F(XVisitTest, ReplacedNodeIsFreedAndItsReplacementVisited) {
    XTree* t = sampleTree();
    visitor.onVisit = replacing(
        visitor, 3, [] { return opt(eXNI_MINUS, 6, {leaf(eXNI_STAR, 7)}); }, eXVPOA_REPLACED_DELETE);
    EXPECT_EQ(visitor.visitTreePreOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.visits, (Strings{"Plus1", "SYSDATE2", "Multiply3", "Minus6", "STAR7"}));
    EXPECT_EQ(g_freedNodes, 3);  // MULTIPLY with both children
    EXPECT_EQ(idOf(plus->getChild(1)), 6);
    tree.reset();
    EXPECT_EQ(g_freedNodes, 3 + 4);
}

TEST_F(XVisitTest, ReplacementChainsAreFollowed) {
    XTree* t = sampleTree();
    visitor.onVisit = [this](XNode* node) {
        XNode* next = nullptr;
        if (idOf(node) == 3) next = opt(eXNI_UMINUS, 6, {leaf(eXNI_STAR, 8)});
        if (idOf(node) == 6) next = leaf(eXNI_SYSDATE, 7);
        if (!next) return 0;
        node->replaceMeInParent(next);
        visitor.setVisitPreOrderAction(eXVPOA_REPLACED_DELETE);
        return 0;
    };
    EXPECT_EQ(visitor.visitTreePreOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.visits, (Strings{"Plus1", "SYSDATE2", "Multiply3", "UMinus6", "SYSDATE7"}));
    EXPECT_EQ(g_freedNodes, 3 + 2);
    EXPECT_EQ(idOf(plus->getChild(1)), 7);
}

TEST_F(XVisitTest, KeptReplacementIsNotFreed) {
    XTree* t = sampleTree();
    // MULTIPLY3 gives way to its own first child; the visit keeps the rest.
    std::unique_ptr<XNode> kept;
    visitor.onVisit = [this, &kept](XNode* node) {
        if (idOf(node) != 3) return 0;
        XNodeParent* parent = static_cast<XNodeParent*>(node);
        XNode* first = parent->getChild(0);
        parent->removeChild(first);
        node->replaceMeInParent(first);
        kept.reset(node);
        visitor.setVisitPreOrderAction(eXVPOA_REPLACED);
        return 0;
    };
    EXPECT_EQ(visitor.visitTreePreOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.visits, (Strings{"Plus1", "SYSDATE2", "Multiply3", "STAR4"}));
    EXPECT_EQ(g_freedNodes, 0);
    EXPECT_EQ(idOf(plus->getChild(1)), 4);
    XTree::deleteSubTreeNodes(kept.release(), 0);
    EXPECT_EQ(g_freedNodes, 2);
}

TEST_F(XVisitTest, RootIsReplacedThroughTheDummyParent) {
    XTree* t = sampleTree();
    visitor.onVisit = replacing(
        visitor, 1, [] { return opt(eXNI_NOT, 6, {leaf(eXNI_STAR, 7)}); }, eXVPOA_REPLACED_DELETE);
    EXPECT_EQ(visitor.visitTreePreOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.visits, (Strings{"Plus1", "Not6", "STAR7"}));
    EXPECT_EQ(g_freedNodes, 5);
    ASSERT_NE(t->getRoot(), nullptr);
    EXPECT_EQ(idOf(t->getRoot()), 6);
    EXPECT_TRUE(t->getRoot()->isRoot());
    tree.reset();
    EXPECT_EQ(g_freedNodes, 7);
}

TEST_F(XVisitTest, ReplacementInvalidatesATrustedNodeList) {
    plus = opt(eXNI_PLUS, 1, {leaf(eXNI_SYSDATE, 2), leaf(eXNI_STAR, 3)});
    tree.reset(XTree::create(plus, kText, 0, 1));
    EXPECT_EQ(visitor.visitTreePostOrder("test", tree.get(), &stack), 0);  // caches the list
    visitor.onVisit = replacing(
        visitor, 3, [] { return leaf(eXNI_NULL, 4); }, eXVPOA_REPLACED_DELETE);
    EXPECT_EQ(visitor.visitTreePreOrder("test", tree.get(), &stack), 0);
    EXPECT_EQ(g_freedNodes, 1);
    tree.reset();  // must free the new node, not the freed one again
    EXPECT_EQ(g_freedNodes, 4);
}

TEST_F(XVisitTest, ReplacementByNothingEndsTheStep) {
    XTree* t = sampleTree();
    std::unique_ptr<XNode> removed;
    visitor.onVisit = [this, &removed](XNode* node) {
        if (idOf(node) != 2) return 0;
        node->replaceMeInParent(nullptr);
        removed.reset(node);
        visitor.setVisitPreOrderAction(eXVPOA_REPLACED);
        return 0;
    };
    EXPECT_EQ(visitor.visitTreePreOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.visits, (Strings{"Plus1", "SYSDATE2", "Multiply3", "STAR4", "NULL5"}));
    plus->replaceRemovedChild(removed.release());
}

TEST_F(XVisitTest, UnknownPreOrderActionIsAnInvariant) {
    XTree* t = sampleTree();
    visitor.onVisit = [this](XNode* node) {
        if (idOf(node) == 3) visitor.setVisitPreOrderAction(eXVPOA_LAST_CHILD_ONLY);
        return 0;
    };
    xtestsupport::expectInvariant("xvisit", [&] { visitor.visitTreePreOrder("test", t, &stack); },
                                  213);
    expectIdle(visitor);
}

// ---- pre-post order ----

TEST_F(XVisitTest, PrePostVisitsEachParentAroundItsChildren) {
    XTree* t = sampleTree();
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.prePostVisits(),
              (Strings{"<Plus1", "<SYSDATE2", ">SYSDATE2", "<Multiply3", "<STAR4", ">STAR4",
                       "<NULL5", ">NULL5", ">Multiply3", ">Plus1"}));
    for (XStack* s : visitor.stacks) EXPECT_EQ(s, &stack);
    EXPECT_EQ(stack.getCount(), 0u);
    expectIdle(visitor);
}

TEST_F(XVisitTest, PrePostStopsOnAFailedPreOrPostVisit) {
    XTree* t = sampleTree();
    visitor.onVisit = [this](XNode* node) {
        return idOf(node) == 3 && visitor.getVisitPhase() == eXVP_PRE_POST_PRE ? 2 : 0;
    };
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", t, &stack), -1);
    EXPECT_EQ(visitor.prePostVisits(), (Strings{"<Plus1", "<SYSDATE2", ">SYSDATE2", "<Multiply3"}));
    expectIdle(visitor);

    visitor.visits.clear();
    visitor.phases.clear();
    visitor.onVisit = [this](XNode* node) {
        return idOf(node) == 4 && visitor.getVisitPhase() == eXVP_PRE_POST_POST ? -1 : 0;
    };
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", t, &stack), -1);
    EXPECT_EQ(visitor.prePostVisits().back(), ">STAR4");
    expectIdle(visitor);
}

TEST_F(XVisitTest, SubTreeWalkStaysInsideTheSubtree) {
    XTree* t = sampleTree();
    EXPECT_EQ(visitor.visitSubTreePrePostOrder(multiply, t, &stack), 0);
    EXPECT_EQ(visitor.prePostVisits(),
              (Strings{"<Multiply3", "<STAR4", ">STAR4", "<NULL5", ">NULL5", ">Multiply3"}));
    EXPECT_EQ(visitor.getTree(), t);
    expectIdle(visitor);
}

TEST_F(XVisitTest, SkippedNodeIsPassedOverOnce) {
    XTree* t = sampleTree();
    multiply->getCmnInfoPtr()->setSkipPreVisit(1);
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.prePostVisits(), (Strings{"<Plus1", "<SYSDATE2", ">SYSDATE2", ">Plus1"}));
    EXPECT_EQ(multiply->getCmnInfoPtr()->getSkipPreVisit(), 0);

    visitor.visits.clear();
    visitor.phases.clear();
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.visits.size(), 10u);
}

TEST_F(XVisitTest, SkippedTopMakesAnEmptyWalk) {
    XTree* t = sampleTree();
    plus->getCmnInfoPtr()->setSkipPreVisit(1);
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", t, &stack), 0);
    EXPECT_TRUE(visitor.visits.empty());
    EXPECT_EQ(plus->getCmnInfoPtr()->getSkipPreVisit(), 0);
}

TEST_F(XVisitTest, SkipFlagMattersOnlyToPrePostWalks) {
    XTree* t = sampleTree();
    multiply->getCmnInfoPtr()->setSkipPreVisit(1);
    EXPECT_EQ(visitor.visitTreePreOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.visitTreePostOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.visits.size(), 10u);
    EXPECT_EQ(multiply->getCmnInfoPtr()->getSkipPreVisit(), 1);
}

TEST_F(XVisitTest, LastChildOnlyDescendsIntoTheLastChild) {
    XTree* t = sampleTree();
    visitor.onVisit = [this](XNode* node) {
        if (idOf(node) == 1 && visitor.getVisitPhase() == eXVP_PRE_POST_PRE) {
            visitor.setVisitPreOrderAction(eXVPOA_LAST_CHILD_ONLY);
        }
        return 0;
    };
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.prePostVisits(),
              (Strings{"<Plus1", "<Multiply3", "<STAR4", ">STAR4", "<NULL5", ">NULL5",
                       ">Multiply3", ">Plus1"}));
}

TEST_F(XVisitTest, ReplacementActionInAPrePostWalkIsAnInvariant) {
    XTree* t = sampleTree();
    visitor.onVisit = [this](XNode*) {
        visitor.setVisitPreOrderAction(eXVPOA_REPLACED);
        return 0;
    };
    xtestsupport::expectInvariant(
        "xvisit", [&] { visitor.visitTreePrePostOrder("test", t, &stack); }, 428);
    expectIdle(visitor);
}

// ---- parsed trees ----

// Knows one external function, f.
class ParserContext : public XParserContextNoSymbols {
public:
    int containsValidExtFunc(const QvUString& name) override { return name == qvU("f") ? 1 : 0; }
};

struct WalkCase {
    const char* text;
    Strings postOrder;
    Strings preOrder;
    Strings prePostOrder;
};

void PrintTo(const WalkCase& c, std::ostream* os) { *os << c.text; }

// Node ids are the positions the parser gave the nodes.
const WalkCase kWalkCases[] = {
    {"a + b * c",
     {"PortVar0", "PortVar4", "PortVar8", "Multiply4", "Plus0"},
     {"Plus0", "PortVar0", "Multiply4", "PortVar4", "PortVar8"},
     {"<Plus0", "<PortVar0", ">PortVar0", "<Multiply4", "<PortVar4", ">PortVar4", "<PortVar8",
      ">PortVar8", ">Multiply4", ">Plus0"}},
    // The parser has relabelled d (a member name) already.
    {"iif(a > 1, f(b), c.d)",
     {"PortVar4", "Const8", "GT4", "PortVar13", "ExtFunc11", "PortVar17", "NestedPortRef19",
      "Dot17", "Iif0"},
     {"Iif0", "GT4", "PortVar4", "Const8", "ExtFunc11", "PortVar13", "Dot17", "PortVar17",
      "NestedPortRef19"},
     {"<Iif0", "<GT4", "<PortVar4", ">PortVar4", "<Const8", ">Const8", ">GT4", "<ExtFunc11",
      "<PortVar13", ">PortVar13", ">ExtFunc11", "<Dot17", "<PortVar17", ">PortVar17",
      "<NestedPortRef19", ">NestedPortRef19", ">Dot17", ">Iif0"}},
};

class XVisitParsedTest : public ::testing::TestWithParam<WalkCase> {
protected:
    void SetUp() override {
        parser.setParserContext(&context, 0);
        source = qvU(GetParam().text);
        QvUString err, warn;
        XTree* parsed = nullptr;
        ASSERT_EQ(parser.parse(source.getBuffer(), parsed, err, warn, 0, 1), 0) << err.toUtf8();
        tree.reset(parsed);
    }

    QvUString source;  // the tree points at it
    ParserContext context;
    XParser parser;
    XStack stack;
    RecordingVisitor visitor;
    TreePtr tree;
};

TEST_P(XVisitParsedTest, EveryWalkOrder) {
    EXPECT_EQ(visitor.visitTreePostOrder("test", tree.get(), &stack), 0);
    EXPECT_EQ(visitor.visits, GetParam().postOrder);
    visitor.visits.clear();
    EXPECT_EQ(visitor.visitTreePreOrder("test", tree.get(), &stack), 0);
    EXPECT_EQ(visitor.visits, GetParam().preOrder);
    visitor.visits.clear();
    visitor.phases.clear();
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", tree.get(), &stack), 0);
    EXPECT_EQ(visitor.prePostVisits(), GetParam().prePostOrder);
    EXPECT_EQ(visitor.getVisitPhase(), eXVP_NONE);
    EXPECT_EQ(visitor.getStack(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Texts, XVisitParsedTest, ::testing::ValuesIn(kWalkCases));

// ---- action chains ----

int g_liveActions = 0;

class LoggingAction : public XVisitActionLinkedRecursive {
public:
    LoggingAction(std::string name, Strings& log, int result = 0)
        : m_name(std::move(name)), m_log(log), m_result(result) {
        ++g_liveActions;
    }
    ~LoggingAction() override { --g_liveActions; }
    int getNumActionsMax() const override { return 8; }

protected:
    int doit(XVisitor* visitor, XNode* node) override {
        m_log.push_back(m_name + std::to_string(idOf(node)) +
                        (visitor->getVisitPhase() == eXVP_PRE_POST_POST ? "" : "?"));
        return m_result;
    }

private:
    std::string m_name;
    Strings& m_log;
    int m_result;
};

// An action that is not part of a chain; the walker cannot run it.
class LoneAction : public XVisitAction {
public:
    int isActionType(EXVisitActionType type) const override { return type == eXVAT_ANY; }
};

class XVisitActionTest : public XVisitTest {
protected:
    void SetUp() override {
        XVisitTest::SetUp();
        g_liveActions = 0;
        // Visits write to the same log as the actions.
        visitor.onVisit = [this](XNode* node) {
            if (visitor.getVisitPhase() == eXVP_PRE_POST_POST) log.push_back("post" + std::to_string(idOf(node)));
            return 0;
        };
    }
    void TearDown() override {
        tree.reset();
        EXPECT_EQ(g_liveActions, 0);
    }

    LoggingAction* action(const char* name, int result = 0) { return new LoggingAction(name, log, result); }

    Strings log;
};

TEST_F(XVisitActionTest, ActionsRunAfterTheirNodesPostVisitInAttachOrder) {
    XTree* t = sampleTree();
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(multiply, action("A"));
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(multiply, action("B"));
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", t, &stack), 0);
    EXPECT_EQ(log, (Strings{"post2", "post4", "post5", "post3", "A3", "B3", "post1"}));
    EXPECT_EQ(XVisitor::getNodeVisitAction(multiply), nullptr);
    EXPECT_EQ(g_liveActions, 0);
    expectIdle(visitor);
}

TEST_F(XVisitActionTest, FailedActionStopsLaterActionsAndTheWalk) {
    XTree* t = sampleTree();
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(multiply, action("A", 1));
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(multiply, action("B"));
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", t, &stack), -1);
    EXPECT_EQ(log, (Strings{"post2", "post4", "post5", "post3", "A3"}));
    EXPECT_EQ(XVisitor::getNodeVisitAction(multiply), nullptr);
    EXPECT_EQ(g_liveActions, 0);
    expectIdle(visitor);
}

TEST_F(XVisitActionTest, LastActionsResultIsTheStepsResult) {
    XTree* t = sampleTree();
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(multiply, action("A"));
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(multiply, action("B", 3));
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", t, &stack), -1);
    EXPECT_EQ(log, (Strings{"post2", "post4", "post5", "post3", "A3", "B3"}));
    EXPECT_EQ(g_liveActions, 0);
}

TEST_F(XVisitActionTest, BeforeExistingRunsFirst) {
    XTree* t = sampleTree();
    XVisitActionLinkedRecursive::addActionToExecuteBeforeExisting(plus, action("A"));  // none yet
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(plus, action("B"));
    XVisitActionLinkedRecursive::addActionToExecuteBeforeExisting(plus, action("C"));
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", t, &stack), 0);
    EXPECT_EQ(log, (Strings{"post2", "post4", "post5", "post3", "post1", "C1", "A1", "B1"}));
    EXPECT_EQ(g_liveActions, 0);
}

TEST_F(XVisitActionTest, DoitLrRunsTheChainFromTailToHead) {
    sampleTree();
    LoggingAction* a = action("A");
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(plus, a);
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(plus, action("B"));
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(plus, action("C"));
    XVisitAction* head = XVisitor::getNodeVisitAction(plus);
    EXPECT_EQ(head->doitBs(&visitor, plus), 0);
    EXPECT_EQ(log, (Strings{"A1?", "B1?", "C1?"}));
    EXPECT_EQ(a->getNext(), nullptr);
    EXPECT_EQ(static_cast<XVisitActionLinkedRecursive*>(head)->getTail(), a);
    EXPECT_EQ(g_liveActions, 3);  // running frees nothing; the tree does
}

TEST_F(XVisitActionTest, AddedChainKeepsItsOwnLinks) {
    XTree* t = sampleTree();
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(plus, action("A"));
    LoggingAction* c = action("C");
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(plus, c);  // plus: C -> A
    // Move the chain C -> A over to MULTIPLY behind B.
    plus->getCmnInfoPtr()->setVisitAction(nullptr, nullptr);
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(multiply, action("B"));
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(multiply, c);  // C -> A -> B
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", t, &stack), 0);
    EXPECT_EQ(log, (Strings{"post2", "post4", "post5", "post3", "B3", "A3", "C3", "post1"}));
    EXPECT_EQ(g_liveActions, 0);
}

TEST_F(XVisitActionTest, OtherWalksLeaveActionsToTheTree) {
    XTree* t = sampleTree();
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(multiply, action("A"));
    EXPECT_EQ(visitor.visitTreePostOrder("test", t, &stack), 0);
    EXPECT_EQ(visitor.visitTreePreOrder("test", t, &stack), 0);
    EXPECT_TRUE(log.empty());
    EXPECT_NE(XVisitor::getNodeVisitAction(multiply), nullptr);
    EXPECT_EQ(g_liveActions, 1);
    tree.reset();
    EXPECT_EQ(g_liveActions, 0);
}

TEST_F(XVisitActionTest, ActionsOfAFailedWalkStayWithTheirNodes) {
    XTree* t = sampleTree();
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(plus, action("A"));
    visitor.onVisit = [](XNode* node) { return idOf(node) == 5 ? -1 : 0; };
    EXPECT_EQ(visitor.visitTreePrePostOrder("test", t, &stack), -1);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(g_liveActions, 1);  // freed by the tree in TearDown
}

TEST_F(XVisitActionTest, ActionTypes) {
    std::unique_ptr<LoggingAction> a(action("A"));
    EXPECT_EQ(a->isActionType(eXVAT_ANY), 1);
    EXPECT_EQ(a->isActionType(eXVAT_LINKED_RECURSIVE), 1);
    EXPECT_EQ(a->isActionType(eXVAT_REVERSE_PARSER), 0);
    EXPECT_EQ(a->getNext(), nullptr);
    EXPECT_EQ(LoneAction().isActionType(eXVAT_LINKED_RECURSIVE), 0);
}

TEST_F(XVisitActionTest, ActionsThatCannotBeChainedAreInvariants) {
    XTree* t = sampleTree();
    XVisitor::setNodeVisitAction(multiply, new LoneAction());
    std::unique_ptr<LoggingAction> a(action("A"));
    EXPECT_THROW(XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(multiply, a.get()),
                 QvAssertFailure);
    EXPECT_THROW(visitor.visitTreePrePostOrder("test", t, &stack), QvAssertFailure);
    expectIdle(visitor);
    EXPECT_NE(XVisitor::getNodeVisitAction(multiply), nullptr);  // still owned by the node
}

TEST_F(XVisitActionTest, AttachingTheHeadAgainIsAnInvariant) {
    sampleTree();
    LoggingAction* a = action("A");
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(plus, a);
    EXPECT_THROW(XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(plus, a),
                 QvAssertFailure);
    EXPECT_THROW(XVisitActionLinkedRecursive::addActionToExecuteBeforeExisting(plus, a),
                 QvAssertFailure);
}

TEST_F(XVisitActionTest, LongChainIsFreedWithoutDeepRecursion) {
    std::unique_ptr<XNode> node(XNodeKeyword::create(eXNI_SYSDATE, 0, 0));
    for (int i = 0; i < 100000; ++i) {
        XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(node.get(), action("A"));
    }
    EXPECT_EQ(g_liveActions, 100000);
    node.reset();
    EXPECT_EQ(g_liveActions, 0);
}

}  // namespace
