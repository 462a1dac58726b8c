// The visitor framework: dispatch by node kind, the order and stop rules of
// each walk, node replacement in pre order, the skip flag and action chains.
// Walks are rows of golden tables: a walk, what the visits answer, the
// visits in order. Every node frees a counter through its srvInfo deleter,
// so the tests see exactly which nodes a walk freed.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xstack.h"
#include "qvcmnexpr/xvisit.h"
#include "treetest_build.h"
#include "xrecordtext.h"
#include "xtestsupport.h"

namespace {

using namespace treetest;
using xtestsupport::answers;

int g_freedNodes = 0;
char g_srvTag;
void countFreedNode(void*) { ++g_freedNodes; }

// Nodes carry their test id in posBegin.
int idOf(const XNode* node) { return node->getPosBegin().toInteger(); }
template <class N>
N* track(N* node) { return node->setSrvInfoPtr(reinterpret_cast<XNodeSrvInfo*>(&g_srvTag), &countFreedNode), node; }
XNode* tleaf(EXNodeId kind, int id) { return track(leaf(kind, id, id)); }
XNodeOpt* topt(EXNodeId kind, int id, std::vector<XNode*> children = {}) { return track(opt(kind, children, id, id)); }

// A walker that records every visit as "<phase mark><operation><id>" (marks:
// "-" post order, "+" pre order, "<" and ">" the two visits of a pre-post
// walk) and lets the test decide each visit's result through `onVisit`.
class RecordingVisitor : public XVisitor {
public:
    std::string visits;
    std::vector<XStack*> stacks;
    std::function<int(XNode*)> onVisit;

    EXVisitorType getVisitorType() const override { return eXVT_VALIDATOR; }
    int visitSyntaxTree(XTree* tree, XStack* stack, void*) override { return visitTreePostOrder("test", tree, stack); }
    using XVisitor::setVisitPreOrderAction, XVisitor::visitChildNodes, XVisitor::visitNode;
    using XVisitor::visitTreePostOrder, XVisitor::visitTreePreOrder, XVisitor::visitTreePrePostOrder;
#define VISIT_OP(Op, KIND) int visit##Op##Node(XNode* n) override { return record(#Op, n); }
#include "qvcmnexpr/xnodevisits.def"
    int record(const char* operation, XNode* node) {
        static const char* const kMarks[] = {"", "-", "+", "<", ">"};
        visits += std::string(visits.empty() ? "" : " ") + kMarks[getVisitPhase() + 1] + operation +
                  std::to_string(idOf(node));
        stacks.push_back(getStack());
        return onVisit ? onVisit(node) : 0;
    }
};

void expectIdle(const XVisitor& v) {
    EXPECT_EQ(answers({v.getVisitPhase(), v.getStack() != nullptr}), answers({eXVP_NONE, 0}));
}

enum Walk { kPost, kPre, kPrePost, kSubTree, kChildren };

// The sample tree PLUS1(SYSDATE2, MULTIPLY3(STAR4, NULL5)) and a walker.
class XVisitTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.reset();
        g_freedNodes = 0;
        visitor.visits.clear(), visitor.stacks.clear(), stack.clear();
        multiply = topt(eXNI_MULTIPLY, 3, {tleaf(eXNI_STAR, 4), tleaf(eXNI_NULL, 5)});
        plus = topt(eXNI_PLUS, 1, {tleaf(eXNI_SYSDATE, 2), multiply});
        tree = treeOf(plus);
    }
    int walk(Walk how) {
        switch (how) {
            case kPost: return visitor.visitTreePostOrder("test", tree.get(), &stack);
            case kPre: return visitor.visitTreePreOrder("test", tree.get(), &stack);
            case kPrePost: return visitor.visitTreePrePostOrder("test", tree.get(), &stack);
            case kSubTree: return visitor.visitSubTreePrePostOrder(multiply, tree.get(), &stack);
            case kChildren: return visitor.visitChildNodes(plus);
        }
        return -99;
    }
    // The visit of node `id` (in `phase`, when given) sets `action`.
    void actAt(int id, EXVisitPreOrderAction action, int phase = eXVP_NONE) {
        visitor.onVisit = [=, this](XNode* node) {
            const bool inPhase = phase == eXVP_NONE || visitor.getVisitPhase() == phase;
            if (idOf(node) == id && inPhase) visitor.setVisitPreOrderAction(action);
            return 0;
        };
    }

    RecordingVisitor visitor;
    XStack stack;
    TreePtr tree;
    XNodeOpt* plus = nullptr;
    XNode* multiply = nullptr;
};

// ---- walk orders and stop rules ----

// A walk; the node id whose visit answers `answer` (0: none), only in phase
// `answerInPhase` (eXVP_NONE: any); the node id whose skip flag is set. The
// answer kLastChild is none: the visit asks for LAST_CHILD_ONLY and answers 0.
constexpr int kLastChild = 100;
const struct WalkCase { Walk walk; int answerAt, answerInPhase, answer, skipAt, result; const char* visits; }
    kWalkCases[] = {
    {kPost, 4, eXVP_NONE, 1, 0, 0, "-SYSDATE2 -STAR4 -NULL5 -Multiply3 -Plus1"},  // the whole walk: only -1 stops
    {kPost, 4, eXVP_NONE, -1, 0, -1, "-SYSDATE2 -STAR4"},
    {kPre, 0, eXVP_NONE, 0, 0, 0, "+Plus1 +SYSDATE2 +Multiply3 +STAR4 +NULL5"},
    {kPre, 3, eXVP_NONE, 1, 0, -1, "+Plus1 +SYSDATE2 +Multiply3"},  // any non-zero stops
    {kPrePost, 3, eXVP_PRE_POST_PRE, 2, 0, -1, "<Plus1 <SYSDATE2 >SYSDATE2 <Multiply3"},
    {kPrePost, 4, eXVP_PRE_POST_POST, -1, 0, -1, "<Plus1 <SYSDATE2 >SYSDATE2 <Multiply3 <STAR4 >STAR4"},
    {kSubTree, 0, eXVP_NONE, 0, 0, 0, "<Multiply3 <STAR4 >STAR4 <NULL5 >NULL5 >Multiply3"},
    {kChildren, 2, eXVP_NONE, 1, 0, 0, "SYSDATE2 Multiply3"},
    {kChildren, 2, eXVP_NONE, -1, 0, -1, "SYSDATE2"},
    // The skip flag passes over a subtree of a pre-post walk, once (the
    // other walks have no code that looks at it).
    {kPrePost, 0, eXVP_NONE, 0, 3, 0, "<Plus1 <SYSDATE2 >SYSDATE2 >Plus1"},
    {kPrePost, 0, eXVP_NONE, 0, 1, 0, ""},
    // LAST_CHILD_ONLY from a pre visit descends into the last child only, not
    // into a skipped one; a leaf has no child to take.
    {kPrePost, 1, eXVP_PRE_POST_PRE, kLastChild, 0, 0,
     "<Plus1 <Multiply3 <STAR4 >STAR4 <NULL5 >NULL5 >Multiply3 >Plus1"},
    {kPrePost, 1, eXVP_PRE_POST_PRE, kLastChild, 3, 0, "<Plus1 >Plus1"},
    {kPrePost, 2, eXVP_PRE_POST_PRE, kLastChild, 0, 0,
     "<Plus1 <SYSDATE2 >SYSDATE2 <Multiply3 <STAR4 >STAR4 <NULL5 >NULL5 >Multiply3 >Plus1"},
};

TEST_F(XVisitTest, WalkOrdersAndStops) {
    for (const WalkCase& c : kWalkCases) {
        SetUp();
        XNode* skipped = c.skipAt == 1 ? plus : c.skipAt == 3 ? multiply : nullptr;
        if (skipped) skipped->getCmnInfoPtr()->setSkipPreVisit(1);
        visitor.onVisit = [&](XNode* node) {
            const bool inPhase = c.answerInPhase == eXVP_NONE || visitor.getVisitPhase() == c.answerInPhase;
            if (idOf(node) != c.answerAt || !inPhase) return 0;
            if (c.answer == kLastChild) visitor.setVisitPreOrderAction(eXVPOA_LAST_CHILD_ONLY);
            return c.answer == kLastChild ? 0 : c.answer;
        };
        std::unique_ptr<XNode> stray(leaf(eXNI_SYSDATE, 9, 9));
        if (c.walk != kPost && c.walk != kChildren) stack.push(stray.get());  // a stray entry is cleared first
        EXPECT_EQ(walk(c.walk), c.result) << c.visits;
        EXPECT_EQ(visitor.visits, c.visits);
        expectIdle(visitor);
        if (c.walk != kChildren) {
            for (XStack* s : visitor.stacks) EXPECT_EQ(s, &stack) << c.visits;
            if (c.result == 0 && c.walk != kPost) { EXPECT_EQ(stack.getCount(), 0u) << c.visits; }
            EXPECT_EQ(visitor.getTree(), tree.get());
        }
        if (skipped) { EXPECT_EQ(skipped->getCmnInfoPtr()->getSkipPreVisit(), 0) << c.visits; }  // the flag is spent
    }
}

// LAST_CHILD_ONLY left behind by a post visit is dropped: the next sibling
// comes next (three children, so that the last is not the next anyway).
TEST_F(XVisitTest, LastChildOnlyFromAPostVisitIsDropped) {
    tree = treeOf(topt(eXNI_IIF, 6, {tleaf(eXNI_STAR, 7), tleaf(eXNI_NULL, 8), tleaf(eXNI_SYSDATE, 9)}));
    actAt(7, eXVPOA_LAST_CHILD_ONLY, eXVP_PRE_POST_POST);
    EXPECT_EQ(walk(kPrePost), 0);
    EXPECT_EQ(visitor.visits, "<Iif6 <STAR7 >STAR7 <NULL8 >NULL8 <SYSDATE9 >SYSDATE9 >Iif6");
}

TEST_F(XVisitTest, WalksOfNothing) {
    EXPECT_EQ(visitor.visitTreePostOrder("test", nullptr, &stack), -1);
    expectIdle(visitor);
    XNode* first = plus->getChild(0);
    EXPECT_EQ(visitor.visitChildNodes(first), 0);  // a leaf
    plus->removeChild(first);
    EXPECT_EQ(visitor.visitChildNodes(plus), 0);
    EXPECT_EQ(visitor.visits, "Multiply3") << "an empty slot is passed over";
    plus->replaceRemovedChild(first);
    visitor.visits.clear();
    TreePtr empty(XTree::create(nullptr, kX, 1, 0));
    XTree* e = empty.get();
    EXPECT_EQ(answers({visitor.visitTreePostOrder("test", e, &stack), visitor.visitTreePreOrder("test", e, &stack),
                       visitor.visitTreePrePostOrder("test", e, &stack), visitor.visitSubTreePrePostOrder(nullptr, e, &stack)}),
              "0 0 0 0");
    EXPECT_EQ(visitor.visits, "");
    expectIdle(visitor);
    // Without a stack the walk uses its own.
    visitor.stacks.clear();
    EXPECT_EQ(visitor.visitTreePreOrder("test", tree.get(), nullptr), 0);
    for (XStack* s : visitor.stacks) EXPECT_NE(s, nullptr);
    expectIdle(visitor);
}

// ---- dispatch ----

constexpr std::pair<int, const char*> kKindNames[] = {
#define NODE_KIND(number, NAME, printed) {number, #NAME},
#include "qvcmnexpr/xnodekinds.def"
};

// Kinds without a visit operation: the markers, 0, the unassigned 81 and 82
// and the tail.
const std::set<int> kUnvisitedKinds = {0, 1, 14, 22, 29, 36, 43, 68, 71, 74, 78, 81, 82, 96, 149, 161, 162, 163};

std::string upperWithoutUnderscores(std::string text) {
    std::erase(text, '_');
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

TEST_F(XVisitTest, EveryKindGoesToTheOperationNamedAfterIt) {
    for (const auto& [number, kindName] : kKindNames) {
        std::unique_ptr<XNode> node(leaf(static_cast<EXNodeId>(number)));
        visitor.visits.clear();
        const int result = visitor.visitNode(node.get());
        const std::string operation = visitor.visits.substr(0, visitor.visits.empty() ? 0 : visitor.visits.size() - 1);
        const bool unvisited = kUnvisitedKinds.count(number);
        const std::string name = number == eXNI_ANY ? "LAST" : upperWithoutUnderscores(kindName);
        EXPECT_EQ(std::to_string(result) + upperWithoutUnderscores(operation), unvisited ? "-1" : "0" + name) << kindName;
    }
    visitor.onVisit = [](XNode*) { return 7; };  // the visit's result is the operation's
    for (int kind : {81, 82, 164, 255, int(eXNI_SYSDATE)}) {
        std::unique_ptr<XNode> node(leaf(static_cast<EXNodeId>(kind)));
        EXPECT_EQ(visitor.visitNode(node.get()), kind == eXNI_SYSDATE ? 7 : -1) << kind;
    }
    EXPECT_EQ(visitor.visitNode(nullptr), -1);
}

// ---- replacement during pre order ----

// The visit of node `id` puts `make()` in its place (the root's through the
// dummy parent) and asks for it to be freed; the replacement is visited, and
// replaced again in turn.
using Replacement = std::pair<int, std::function<XNode*()>>;

TEST_F(XVisitTest, ReplacedNodesAreFreedAndTheirReplacementsVisited) {
    // newChild: the id of PLUS1's second child after the walk (0: the root was replaced)
    const struct { std::vector<Replacement> replacements; const char* visits; int freedInWalk, freedInAll, newChild; }
        cases[] = {
        {{{3, [] { return topt(eXNI_MINUS, 6, {tleaf(eXNI_STAR, 7)}); }}},
         "+Plus1 +SYSDATE2 +Multiply3 +Minus6 +STAR7", 3, 7, 6},
        {{{3, [] { return topt(eXNI_UMINUS, 6, {tleaf(eXNI_STAR, 8)}); }}, {6, [] { return tleaf(eXNI_SYSDATE, 7); }}},
         "+Plus1 +SYSDATE2 +Multiply3 +UMinus6 +SYSDATE7", 5, 8, 7},
        {{{1, [] { return topt(eXNI_NOT, 6, {tleaf(eXNI_STAR, 7)}); }}}, "+Plus1 +Not6 +STAR7", 5, 7, 0},
    };
    for (const auto& c : cases) {
        SetUp();
        visitor.onVisit = [&](XNode* node) {
            for (const auto& [id, make] : c.replacements) {
                if (idOf(node) != id) continue;
                EXPECT_EQ(node->replaceMeInParent(make()), 0);
                visitor.setVisitPreOrderAction(eXVPOA_REPLACED_DELETE);
            }
            return 0;
        };
        EXPECT_EQ(walk(kPre), 0);
        EXPECT_EQ(visitor.visits, c.visits);
        EXPECT_EQ(g_freedNodes, c.freedInWalk) << c.visits;
        const XNode* replaced = c.newChild ? plus->getChild(1) : tree->getRoot();
        EXPECT_EQ(answers({idOf(replaced), replaced->isRoot()}), answers({c.newChild ? c.newChild : 6, !c.newChild}));
        tree.reset();
        EXPECT_EQ(g_freedNodes, c.freedInAll) << c.visits;
    }
}

// MULTIPLY3 gives way to its own first child, SYSDATE2 to nothing; the visit
// keeps what it took out, and the walk goes on with the rest.
TEST_F(XVisitTest, KeptReplacementsAreNotFreed) {
    std::unique_ptr<XNode> kept, removed;
    visitor.onVisit = [&](XNode* node) {
        if (idOf(node) != 2 && idOf(node) != 3) return 0;
        XNode* first = idOf(node) == 3 ? static_cast<XNodeParent*>(node)->getChild(0) : nullptr;
        if (first) static_cast<XNodeParent*>(node)->removeChild(first);
        node->replaceMeInParent(first);
        (first ? kept : removed).reset(node);
        visitor.setVisitPreOrderAction(eXVPOA_REPLACED);
        return 0;
    };
    EXPECT_EQ(walk(kPre), 0);
    EXPECT_EQ(visitor.visits, "+Plus1 +SYSDATE2 +Multiply3 +STAR4");
    EXPECT_EQ(answers({g_freedNodes, idOf(plus->getChild(1))}), "0 4");
    plus->replaceRemovedChild(removed.release());
    XTree::deleteSubTreeNodes(kept.release(), 0);
    EXPECT_EQ(g_freedNodes, 2);
}

TEST_F(XVisitTest, ReplacementInvalidatesATrustedNodeList) {
    plus = topt(eXNI_PLUS, 1, {tleaf(eXNI_SYSDATE, 2), tleaf(eXNI_STAR, 3)});
    tree = treeOf(plus, 1);
    g_freedNodes = 0;
    EXPECT_EQ(walk(kPost), 0);  // caches the list
    visitor.onVisit = [this](XNode* node) {
        if (idOf(node) != 3) return 0;
        node->replaceMeInParent(tleaf(eXNI_NULL, 4));
        visitor.setVisitPreOrderAction(eXVPOA_REPLACED_DELETE);
        return 0;
    };
    EXPECT_EQ(walk(kPre), 0);
    EXPECT_EQ(g_freedNodes, 1);
    tree.reset();  // must free the new node, not the freed one again
    EXPECT_EQ(g_freedNodes, 4);
}

TEST_F(XVisitTest, ActionsAWalkCannotTakeAreInvariants) {
    actAt(3, eXVPOA_LAST_CHILD_ONLY);
    xtestsupport::expectInvariant("xvisit", [&] { walk(kPre); }, 213);
    expectIdle(visitor);
    actAt(1, eXVPOA_REPLACED);
    xtestsupport::expectInvariant("xvisit", [&] { walk(kPrePost); }, 428);
    expectIdle(visitor);
}

// ---- action chains ----

int g_liveActions = 0;

using Chain = XVisitActionLinkedRecursive;

// Writes its name and its node's id to `log` and answers `result`.
struct LoggingAction : Chain {
    LoggingAction(std::string n, std::string& l, int r) : name(n), log(l), result(r) { ++g_liveActions; }
    ~LoggingAction() override { --g_liveActions; }
    int getNumActionsMax() const override { return 8; }
    int doit(XVisitor*, XNode* node) override {
        log += (log.empty() ? "" : " ") + name + std::to_string(idOf(node));
        return result;
    }
    std::string name;
    std::string& log;
    int result;
};

// An action that is not part of a chain; the walker cannot run it.
struct LoneAction : XVisitAction { int isActionType(EXVisitActionType t) const override { return t == eXVAT_ANY; } };

class XVisitActionTest : public XVisitTest {
protected:
    void SetUp() override {
        XVisitTest::SetUp();
        g_liveActions = 0;
        log.clear();
        // Post visits write to the same log as the actions.
        visitor.onVisit = [this](XNode* node) {
            if (visitor.getVisitPhase() == eXVP_PRE_POST_POST)
                log += (log.empty() ? "post" : " post") + std::to_string(idOf(node));
            return idOf(node) == failAt ? -1 : 0;
        };
    }
    void TearDown() override {
        tree.reset();  // frees what the tree still holds
        EXPECT_EQ(g_liveActions, 0);
    }
    LoggingAction* action(const char* name, int result = 0) { return new LoggingAction(name, log, result); }
    void after(XNode* node, Chain* a) { Chain::addActionToExecuteAfterExisting(node, a); }

    std::string log;
    int failAt = 0;
};

// Actions run after their node's post visit in attach order, and are freed
// as they go; a failure stops later actions and the walk; other walks and
// failed walks leave the actions to the tree. Attachments are
// "<name><node id>[+ before existing][=result]"; liveAfter: actions alive after the walk.
const struct ChainCase { std::vector<const char*> attach; Walk walk; int failAt, result; const char* log; int liveAfter; }
    kChainCases[] = {
    {{"A3", "B3"}, kPrePost, 0, 0, "post2 post4 post5 post3 A3 B3 post1", 0},
    {{"A3=1", "B3"}, kPrePost, 0, -1, "post2 post4 post5 post3 A3", 0},
    {{"A3", "B3=3"}, kPrePost, 0, -1, "post2 post4 post5 post3 A3 B3", 0},
    {{"A1+", "B1", "C1+"}, kPrePost, 0, 0, "post2 post4 post5 post3 post1 C1 A1 B1", 0},
    {{"A3"}, kPost, 0, 0, "", 1},  // the pre order walk has no code that runs actions either
    {{"A1"}, kPrePost, 5, -1, "post2 post4", 1},
};

TEST_F(XVisitActionTest, ChainsRunAfterThePostVisit) {
    for (const ChainCase& c : kChainCases) {
        SetUp();
        failAt = c.failAt;
        XNode* holder = nullptr;
        for (const std::string at : c.attach) {
            holder = at[1] == '1' ? plus : multiply;
            const size_t equals = at.find('=');
            const int result = equals == std::string::npos ? 0 : std::stoi(at.substr(equals + 1));
            LoggingAction* a = action(at.substr(0, 1).c_str(), result);
            if (at.find('+') == std::string::npos) after(holder, a);
            else Chain::addActionToExecuteBeforeExisting(holder, a);
        }
        EXPECT_EQ(walk(c.walk), c.result) << c.log;
        EXPECT_EQ(log, c.log);
        EXPECT_EQ(answers({g_liveActions, XVisitor::getNodeVisitAction(holder) != nullptr}),
                  answers({c.liveAfter, c.liveAfter > 0})) << c.log;
        expectIdle(visitor);
        TearDown();
    }
}

TEST_F(XVisitActionTest, AddedChainKeepsItsOwnLinks) {
    after(plus, action("A"));
    LoggingAction* c = action("C");
    after(plus, c);  // plus: C -> A
    // Move the chain C -> A over to MULTIPLY behind B.
    plus->getCmnInfoPtr()->setVisitAction(nullptr, nullptr);
    after(multiply, action("B"));
    after(multiply, c);  // C -> A -> B
    EXPECT_EQ(walk(kPrePost), 0);
    EXPECT_EQ(log, "post2 post4 post5 post3 B3 A3 C3 post1");
}

TEST_F(XVisitActionTest, ActionTypesChainingInvariantsAndALongChain) {
    std::unique_ptr<LoggingAction> a(action("A"));
    EXPECT_EQ(answers({a->isActionType(eXVAT_ANY), a->isActionType(eXVAT_LINKED_RECURSIVE),
                       a->isActionType(eXVAT_REVERSE_PARSER), LoneAction().isActionType(eXVAT_LINKED_RECURSIVE)}),
              "1 1 0 0");
    // A lone action cannot be chained or run; it stays with its node.
    XVisitor::setNodeVisitAction(multiply, new LoneAction());
    EXPECT_THROW(after(multiply, a.get()), QvAssertFailure);
    EXPECT_THROW(walk(kPrePost), QvAssertFailure);
    expectIdle(visitor);
    EXPECT_NE(XVisitor::getNodeVisitAction(multiply), nullptr);
    // The head cannot be attached again.
    LoggingAction* b = action("B");
    after(plus, b);
    EXPECT_THROW(after(plus, b), QvAssertFailure);
    EXPECT_THROW(Chain::addActionToExecuteBeforeExisting(plus, b), QvAssertFailure);
    // A long chain is freed without deep recursion.
    std::unique_ptr<XNode> holder(leaf());
    const int before = g_liveActions;
    for (int i = 0; i < 100000; ++i) after(holder.get(), action("A"));
    EXPECT_EQ(g_liveActions, before + 100000);
    holder.reset();
    EXPECT_EQ(g_liveActions, before);
}

}  // namespace
