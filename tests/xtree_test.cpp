// Trees, the node stack and the expression-text record: ownership, post-order
// lists and the questions a caller asks about a parsed expression.
#include <gtest/gtest.h>

#include <memory>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "qvcmnasrt.h"
#include "qvcmnexpr/qvref.h"
#include "qvcmnexpr/xexprstrinfo.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xstack.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtree.h"
#include "qvutils.h"

// The allocator's constructor is private; the tests reach it as its friend.
class XTokNameAllocatorAccess {
public:
    static XTokNameAllocator* make() { return new XTokNameAllocator(); }
};

namespace {

const unsigned short kText[] = {'a', ' ', '+', ' ', 'b', 0};

struct TreeDeleter {
    void operator()(XTree* tree) const { delete tree; }
};
using TreePtr = std::unique_ptr<XTree, TreeDeleter>;

XNodeOpt* opt(EXNodeId id, std::vector<XNode*> children = {}, int begin = 0, int end = 0) {
    XNodeOpt* node = XNodeOpt::create(id, begin, end);
    for (XNode* child : children) node->appendChildNode(child);
    return node;
}

XNode* leaf(EXNodeId id = eXNI_SYSDATE, int begin = 0, int end = 0) {
    return XNodeKeyword::create(id, begin, end);
}

std::vector<EXNodeId> kinds(const XNodeList& list) {
    std::vector<EXNodeId> out;
    for (XNode* node : list) out.push_back(node->getId());
    return out;
}

std::vector<XNode*> nodes(const XNodeList& list) { return {list.begin(), list.end()}; }

// ---- creation and plain queries ----

TEST(XTreeTest, CreatePutsTheRootUnderADummyParent) {
    XNode* root = leaf(eXNI_SYSDATE, 0, 7);
    TreePtr tree(XTree::create(root, kText, 0, 0));
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->getRoot(), root);
    XNodeParent* dummy = root->getParent();
    ASSERT_NE(dummy, nullptr);
    EXPECT_EQ(dummy->getId(), eXNI_FUNC_START);
    EXPECT_EQ(dummy->getPosBegin().toInteger(), eXMINT_DUMMY);
    EXPECT_EQ(dummy->getPosEnd().toInteger(), eXMINT_DUMMY);
    EXPECT_EQ(dummy->getNumChildren(), 1);
    EXPECT_TRUE(tree->isDummyParentOfRoot(dummy));
    EXPECT_FALSE(tree->isDummyParentOfRoot(root));
    EXPECT_FALSE(tree->isDummyParentOfRoot(nullptr));
    EXPECT_TRUE(root->isRoot());
    EXPECT_EQ(tree->getRootMetadataPtr(), root->getMetadataPtr());

    EXPECT_EQ(tree->getExpr(), kText);
    ASSERT_NE(tree->getExprStrInfo(), nullptr);
    EXPECT_EQ(tree->getExprStrInfo()->getOrigExpr(), kText);
    EXPECT_EQ(tree->getExprStrInfo()->getCurExpr(), kText);
    EXPECT_EQ(tree->isEmptyExpression(), 0);
    EXPECT_EQ(tree->isUpgrade(), 0);
    EXPECT_EQ(tree->hasWindowFunc(), 0);
    EXPECT_EQ(tree->hasPercentileOrMedian(), 0);
    EXPECT_EQ(tree->getMsgErr(), nullptr);
    EXPECT_EQ(tree->getPosBegin(), nullptr);
    EXPECT_EQ(tree->getTokAllocator(), nullptr);
}

TEST(XTreeTest, EmptyExpressionFlagAndNullRoot) {
    TreePtr tree(XTree::create(XNodeKeyword::createNullNode(0, 0, XType(eXDT_NULL)), nullptr, 1, 0));
    EXPECT_EQ(tree->isEmptyExpression(), 1);
    EXPECT_EQ(tree->isNull(), 1);
    EXPECT_EQ(tree->isConstant(0), 0);
    EXPECT_EQ(tree->isSimpleReference(), 0);
}

TEST(XTreeTest, TreeWithoutRootAnswersNegatively) {
    TreePtr tree(XTree::create(nullptr, kText, 0, 0));
    EXPECT_EQ(tree->getRoot(), nullptr);
    EXPECT_EQ(tree->getRootMetadataPtr(), nullptr);
    EXPECT_EQ(tree->isNull(), 0);
    EXPECT_EQ(tree->isConstant(0), 0);
    EXPECT_EQ(tree->hasGroupFunctions(), 0);
    XNodeList* list = nullptr;
    EXPECT_EQ(tree->dfs(list, 1, 0, nullptr), 0);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isEmpty());
    tree->setIsUpgrade(1);
    EXPECT_EQ(tree->isUpgrade(), 1);
}

TEST(XTreeTest, ErrorReportingPointersAreKept) {
    TreePtr tree(XTree::create(leaf(), kText, 0, 0));
    QvUString err, warn;
    size_t begin = 0, end = 0;
    tree->setErrorReportPointers(&err, &warn, &begin, &end);
    EXPECT_EQ(tree->getMsgErr(), &err);
    EXPECT_EQ(tree->getMsgWarn(), &warn);
    EXPECT_EQ(tree->getPosBegin(), &begin);
    EXPECT_EQ(tree->getPosEnd(), &end);
    tree->setErrorReportStrings(nullptr, nullptr);
    tree->setErrorPosHolders(nullptr, nullptr);
    EXPECT_EQ(tree->getMsgErr(), nullptr);
    EXPECT_EQ(tree->getPosEnd(), nullptr);
}

TEST(XTreeTest, SimpleReferenceIsAPortRoot) {
    XTokName name(qvU("a"), 1, nullptr);
    int port = 0;
    XNode* root = XNodeRef::create(eXNI_PORTVAR, &name, 0, 1);
    root->getMetadataPtr()->setRef(QvRef(&port));
    TreePtr tree(XTree::create(root, kText, 0, 0));
    EXPECT_EQ(tree->isSimpleReference(), 1);
    EXPECT_EQ(tree->getSimpleReference().getCPtr(), &port);

    TreePtr variable(XTree::create(XNodeRef::create(eXNI_MAPVAR, &name, 0, 1), kText, 0, 0));
    EXPECT_EQ(variable->isSimpleReference(), 0);
    EXPECT_TRUE(variable->getSimpleReference().isEmpty());

    TreePtr sum(XTree::create(opt(eXNI_PLUS, {XNodeRef::create(eXNI_PORTVAR, &name, 0, 1)}),
                              kText, 0, 0));
    EXPECT_EQ(sum->isSimpleReference(), 0);
}

struct ConstCase {
    EXNodeId rootKind;
    int rootConst;
    int argConst;
    int countErrorAbort;
    int expected;
};

TEST(XTreeTest, ErrorAndAbortAreAsConstantAsTheirArgument) {
    const ConstCase cases[] = {
        {eXNI_ERROR, 0, 1, 0, 1}, {eXNI_ERROR, 0, 1, 1, 0}, {eXNI_ERROR, 1, 0, 0, 0},
        {eXNI_ERROR, 1, 0, 1, 1}, {eXNI_ABORT, 0, 1, 0, 1}, {eXNI_ABORT, 0, 1, 1, 0},
        {eXNI_UPPER, 0, 1, 0, 0}, {eXNI_UPPER, 1, 0, 0, 1},
    };
    for (const ConstCase& c : cases) {
        XNode* argument = leaf();
        XNode* root = opt(c.rootKind, {argument});
        root->getCmnInfoPtr()->setConstness(c.rootConst);
        argument->getCmnInfoPtr()->setConstness(c.argConst);
        TreePtr tree(XTree::create(root, kText, 0, 0));
        EXPECT_EQ(tree->isConstant(c.countErrorAbort), c.expected)
            << XNode::idToString(c.rootKind) << " " << c.countErrorAbort;
    }
}

TEST(XTreeTest, GroupFunctionsUnlessTheRootIsRowLevel) {
    const std::pair<int, int> cases[] = {{eXAL_ROW, 0}, {eXAL_GROUP, 1}, {eXAL_NESTED, 1}};
    for (auto [level, expected] : cases) {
        XNode* root = leaf();
        root->getCmnInfoPtr()->setAggLevel(level);
        TreePtr tree(XTree::create(root, kText, 0, 0));
        EXPECT_EQ(tree->hasGroupFunctions(), expected) << level;
    }
}

TEST(XTreeTest, UpgradeAndWindowFlagsOnlySwitchOn) {
    TreePtr tree(XTree::create(leaf(), kText, 0, 0));
    tree->setIsUpgrade(0);
    EXPECT_EQ(tree->isUpgrade(), 0);
    EXPECT_EQ(tree->getRootMetadataPtr()->hasUgdInfo(), 0);
    tree->setIsUpgrade(1);
    EXPECT_EQ(tree->isUpgrade(), 1);
    EXPECT_EQ(tree->getRootMetadataPtr()->hasUgdInfo(), 1);
    tree->setIsUpgrade(1);  // no second upgrade record
    tree->setIsUpgrade(0);
    EXPECT_EQ(tree->isUpgrade(), 1);

    tree->setHasWindowFunc(1);
    tree->setHasWindowFunc(0);
    EXPECT_EQ(tree->hasWindowFunc(), 1);
    tree->setHasPercentileOrMedian(1);
    tree->setHasPercentileOrMedian(0);
    EXPECT_EQ(tree->hasPercentileOrMedian(), 0);
}

// ---- post-order lists ----

TEST(XTreeDfsTest, SumListsOperandsBeforeTheOperator) {
    XNode* a = leaf(eXNI_SYSDATE, 0, 1);
    XNode* b = leaf(eXNI_SESSSTARTTIME, 4, 5);
    XNode* plus = opt(eXNI_PLUS, {a, b}, 0, 5);
    TreePtr tree(XTree::create(plus, kText, 0, 0));
    XNodeList list;
    tree->dfs(list, nullptr);
    EXPECT_EQ(nodes(list), (std::vector<XNode*>{a, b, plus}));
}

TEST(XTreeDfsTest, NestedTreeIsListedChildrenFirstLeftToRight) {
    // IIF(a, b + c, NOT d)
    TreePtr tree(XTree::create(
        opt(eXNI_IIF, {leaf(eXNI_STAR), opt(eXNI_PLUS, {leaf(eXNI_SYSDATE), leaf(eXNI_NULL)}),
                       opt(eXNI_NOT, {leaf(eXNI_PROC_RESULT)})}),
        kText, 0, 0));
    XNodeList* list = nullptr;
    ASSERT_EQ(tree->dfs(list, 1, 0, nullptr), 0);
    EXPECT_EQ(kinds(*list), (std::vector<EXNodeId>{eXNI_STAR, eXNI_SYSDATE, eXNI_NULL, eXNI_PLUS,
                                                   eXNI_PROC_RESULT, eXNI_NOT, eXNI_IIF}));
}

TEST(XTreeDfsTest, CachedListIsReusedUntilInvalidated) {
    XNodeOpt* plus = opt(eXNI_PLUS, {leaf()});
    TreePtr tree(XTree::create(plus, kText, 0, 0));
    XNodeList* first = nullptr;
    XNodeList* again = nullptr;
    tree->dfs(first, 1, 0, nullptr);
    plus->appendChildNode(leaf());
    tree->dfs(again, 1, 0, nullptr);
    EXPECT_EQ(again, first);
    EXPECT_EQ(again->entries(), 2u);  // stale: the shape changed without invalidation

    tree->invalidateDfsNodeList();
    XNodeList* rebuilt = nullptr;
    tree->dfs(rebuilt, 1, 0, nullptr);
    EXPECT_EQ(rebuilt->entries(), 3u);

    plus->appendChildNode(leaf());
    tree->dfs(rebuilt, 1, 1, nullptr);  // invalidateFirst
    EXPECT_EQ(rebuilt->entries(), 4u);

    XNode* last = plus->getChild(2);
    plus->removeLastChild();
    tree->flushDfsNodeList();
    tree->dfs(rebuilt, 1, 0, nullptr);
    EXPECT_EQ(rebuilt->entries(), 3u);
    delete last;
}

TEST(XTreeDfsTest, UncachedFormFillsTheCallersList) {
    TreePtr tree(XTree::create(opt(eXNI_NOT, {leaf()}), kText, 0, 0));
    XNodeList mine;
    XNodeList* out = &mine;
    EXPECT_EQ(tree->dfs(out, 0, 0, nullptr), 0);
    EXPECT_EQ(out, &mine);
    EXPECT_EQ(kinds(mine), (std::vector<EXNodeId>{eXNI_SYSDATE, eXNI_NOT}));
    XNodeList* none = nullptr;
    EXPECT_EQ(tree->dfs(none, 0, 0, nullptr), -1);
}

TEST(XTreeDfsTest, WalkOnAGivenStackLeavesItsEntries) {
    XStack stack;
    XNode* below = leaf();
    stack.push(below);
    TreePtr tree(XTree::create(opt(eXNI_NOT, {leaf()}), kText, 0, 0));
    XNodeList list;
    XTree::subTreeDfs(tree->getRoot(), list, &stack);
    EXPECT_EQ(list.entries(), 2u);
    EXPECT_EQ(stack.getCount(), 1u);
    EXPECT_EQ(stack.pop(), below);
    delete below;
    XTree::subTreeDfs(nullptr, list, &stack);
    EXPECT_EQ(list.entries(), 2u);
}

TEST(XTreeDfsTest, WalkAppendsBehindWhatTheListHolds) {
    TreePtr first(XTree::create(opt(eXNI_NOT, {leaf(eXNI_SYSDATE)}), kText, 0, 0));
    TreePtr second(XTree::create(opt(eXNI_PLUS, {leaf(eXNI_NULL), leaf(eXNI_STAR)}), kText, 0, 0));
    XNodeList list;
    first->dfs(list, nullptr);
    second->dfs(list, nullptr);
    EXPECT_EQ(kinds(list),
              (std::vector<EXNodeId>{eXNI_SYSDATE, eXNI_NOT, eXNI_NULL, eXNI_STAR, eXNI_PLUS}));
}

// Wide and deep trees of many nodes: the walk's lists and stacks grow well
// past what any one expression needs, and still list each node once.
TEST(XTreeDfsTest, LargeTreesAreListedAndFreedCompletely) {
    constexpr int kOperands = 70000;
    XNodeOpt* wide = opt(eXNI_CONCAT);
    for (int i = 0; i < kOperands; ++i) wide->appendChildNode(leaf(eXNI_SYSDATE, i, i + 1));
    TreePtr wideTree(XTree::create(wide, kText, 0, 0));
    XNodeList* list = nullptr;
    wideTree->dfs(list, 1, 0, nullptr);
    ASSERT_EQ(list->entries(), static_cast<size_t>(kOperands) + 1);
    EXPECT_EQ((*list)[kOperands - 1]->getPosBegin().toInteger(), kOperands - 1);
    EXPECT_EQ(list->last(), wide);

    XNode* deep = leaf();
    for (int i = 0; i < 5000; ++i) deep = opt(eXNI_NOT, {deep});
    TreePtr deepTree(XTree::create(deep, kText, 0, 0));
    XNodeList deepList;
    deepTree->dfs(deepList, nullptr);
    EXPECT_EQ(deepList.entries(), 5001u);
    EXPECT_EQ(deepList.first()->getId(), eXNI_SYSDATE);
    // A small walk after the large ones still lists exactly its own nodes.
    TreePtr small(XTree::create(opt(eXNI_NOT, {leaf()}), kText, 0, 0));
    XNodeList smallList;
    small->dfs(smallList, nullptr);
    EXPECT_EQ(smallList.entries(), 2u);
}

// ---- ownership (AddressSanitizer reports any leak or double free) ----

int gSrvFreed = 0;
void freeSrv(void* p) {
    ++gSrvFreed;
    delete static_cast<int*>(p);
}

XNode* tagged(XNode* node) {
    node->setSrvInfoPtr(reinterpret_cast<XNodeSrvInfo*>(new int(0)), &freeSrv);
    return node;
}

TEST(XTreeOwnershipTest, TreeFreesEveryNodeOnceWithAllocatorAndRecord) {
    gSrvFreed = 0;
    XTokNameAllocator* allocator = XTokNameAllocatorAccess::make();
    const QvUString nameText = qvU("port");
    XTokName* name = allocator->allocToken(&nameText, 1);
    {
        TreePtr tree(XTree::create(
            tagged(opt(eXNI_PLUS, {tagged(XNodeRef::create(eXNI_PORTVAR, name, 0, 4)),
                                   tagged(opt(eXNI_NOT, {tagged(leaf())}))})),
            kText, 0, 0));
        tree->setTokAllocator(allocator);
        tree->setTokAllocator(allocator);  // the same allocator again: kept, not freed
        tree->getExprStrInfo()->updateCurExpr(qvU("port + x").getBufferCopy(), 1);
    }
    EXPECT_EQ(gSrvFreed, 4);
}

TEST(XTreeOwnershipTest, UntrustedTreeRecomputesAStaleList) {
    gSrvFreed = 0;
    XNodeOpt* plus = opt(eXNI_PLUS, {tagged(leaf())});
    {
        TreePtr tree(XTree::create(tagged(plus), kText, 0, 0));
        XNodeList* list = nullptr;
        tree->dfs(list, 1, 0, nullptr);
        plus->appendChildNode(tagged(leaf()));  // not in the cached list
    }
    EXPECT_EQ(gSrvFreed, 3);
}

TEST(XTreeOwnershipTest, TrustedTreeFreesFromItsCachedList) {
    gSrvFreed = 0;
    {
        TreePtr tree(XTree::create(tagged(opt(eXNI_NOT, {tagged(leaf())})), kText, 0, 1));
        XNodeList* list = nullptr;
        tree->dfs(list, 1, 0, nullptr);
    }
    EXPECT_EQ(gSrvFreed, 2);
}

TEST(XTreeOwnershipTest, RemovedChildSlotDoesNotHideLaterChildren) {
    gSrvFreed = 0;
    XNode* middle = tagged(leaf());
    XNodeOpt* decode = opt(eXNI_DECODE, {tagged(leaf()), middle, tagged(leaf())});
    decode->removeChild(middle);
    {
        TreePtr tree(XTree::create(tagged(decode), kText, 0, 0));
        XNodeList list;
        tree->dfs(list, nullptr);
        EXPECT_EQ(list.entries(), 3u);
    }
    EXPECT_EQ(gSrvFreed, 3);
    delete middle;
}

TEST(XTreeOwnershipTest, DeleteSubTreeNodesFreesTheSubtreeOnly) {
    gSrvFreed = 0;
    XNode* keep = tagged(leaf());
    XNode* sub = tagged(opt(eXNI_MINUS, {tagged(leaf()), tagged(leaf())}));
    XNodeOpt* root = opt(eXNI_PLUS, {keep, sub});
    root->removeChild(sub);
    XTree::deleteSubTreeNodes(sub, 0);
    EXPECT_EQ(gSrvFreed, 3);
    XTree::deleteSubTreeNodes(nullptr, 0);
    XTree::deleteSubTreeNodes(root, 0);
    EXPECT_EQ(gSrvFreed, 4);
}

TEST(XTreeOwnershipTest, RemovedExprStrInfoBelongsToTheCaller) {
    TreePtr tree(XTree::create(leaf(), kText, 0, 0));
    std::unique_ptr<XExprStrInfo> info(tree->removeExprStrInfo());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->getOrigExpr(), kText);
    EXPECT_EQ(tree->getExprStrInfo(), nullptr);
}

// Freeing follows the post order of dfs: children before their parent,
// left to right, empty slots passed over, whatever the shape.
std::vector<int> gFreedOrder;
void recordFree(void* info) { gFreedOrder.push_back(static_cast<int>(reinterpret_cast<intptr_t>(info))); }
XNode* numbered(XNode* node, int number) {
    node->setSrvInfoPtr(reinterpret_cast<XNodeSrvInfo*>(static_cast<intptr_t>(number)), &recordFree);
    return node;
}

TEST(XTreeOwnershipTest, NodesAreFreedInPostOrder) {
    gFreedOrder.clear();
    XNode* removed = numbered(leaf(), 99);
    XNodeOpt* wide = opt(eXNI_CONCAT, {numbered(leaf(), 3), removed, numbered(leaf(), 4),
                                       numbered(opt(eXNI_NOT, {numbered(leaf(), 5)}), 6),
                                       numbered(leaf(), 7)});
    ASSERT_EQ(wide->removeChild(removed), 0);
    XNode* root = numbered(opt(eXNI_PLUS, {numbered(opt(eXNI_NOT, {numbered(leaf(), 1)}), 2),
                                           numbered(wide, 8), numbered(opt(eXNI_NOT), 9)}),
                           10);
    XTree::deleteSubTreeNodes(root, 0);
    EXPECT_EQ(gFreedOrder, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    XTree::deleteSubTreeNodes(removed, 0);
}

// A tree, its name allocator and its expression record live beside the
// nodes in the maker thread's blocks; each may die on another thread, after
// the maker has ended, and the record may outlive the tree.
TEST(XTreeOwnershipTest, TreeAndRecordOutliveTheThreadThatMadeThem) {
    std::vector<XTree*> trees;
    std::thread([&trees] {
        for (int i = 0; i < 200; ++i) {
            XTree* tree = XTree::create(opt(eXNI_PLUS, {leaf(), leaf(eXNI_SYSDATE, i, i + 1)}), kText, 0, 0);
            XTokNameAllocator* allocator = XTokNameAllocatorAccess::make();
            const QvUString name = qvU("port");
            for (int j = 0; j < 40; ++j) allocator->allocToken(&name, 1);
            tree->setTokAllocator(allocator);
            trees.push_back(tree);
        }
    }).join();
    std::vector<std::unique_ptr<XExprStrInfo>> records;
    for (size_t i = 0; i < trees.size(); ++i) {
        ASSERT_EQ(trees[i]->getRoot()->getChildB(1, 1)->getPosBegin().toInteger(), static_cast<int>(i));
        if (i % 2) records.emplace_back(trees[i]->removeExprStrInfo());
        delete trees[i];
    }
    for (const auto& record : records) EXPECT_EQ(record->getOrigExpr(), kText);
}

// ---- node stack ----

TEST(XStackTest, EmptyStackGivesNull) {
    XStack stack;
    EXPECT_EQ(stack.isEmpty(), 1);
    EXPECT_EQ(stack.pop(), nullptr);
    EXPECT_EQ(stack.top(), nullptr);
    EXPECT_EQ(stack.getCapacity(), 128u);
}

TEST(XStackTest, GrowsPast128And256KeepingOrder) {
    XStack stack;
    std::vector<XNode*> pushed;
    for (uintptr_t i = 1; i <= 300; ++i) {
        XNode* node = reinterpret_cast<XNode*>(i * 8);
        EXPECT_EQ(stack.push(node), node);
        pushed.push_back(node);
        const uint32_t expectedCapacity = i <= 128 ? 128u : i <= 256 ? 256u : 384u;
        EXPECT_EQ(stack.getCapacity(), expectedCapacity) << i;
    }
    EXPECT_EQ(stack.getCount(), 300u);
    EXPECT_EQ(stack.top(), pushed.back());
    for (auto it = pushed.rbegin(); it != pushed.rend(); ++it) EXPECT_EQ(stack.pop(), *it);
    EXPECT_EQ(stack.isEmpty(), 1);
    EXPECT_EQ(stack.push(nullptr), nullptr);
    EXPECT_EQ(stack.isEmpty(), 0);
    stack.clear();
    EXPECT_EQ(stack.isEmpty(), 1);
}

// Callers see 128-entry steps however the entries are stored.
TEST(XStackTest, DeepStacksKeepTheStepsAndTheOrder) {
    XStack stack;
    const uintptr_t count = 100000;
    for (uintptr_t i = 1; i <= count; ++i) {
        stack.push(reinterpret_cast<XNode*>(i * 8));
        ASSERT_EQ(stack.getCapacity(), (i + 127) / 128 * 128) << i;
    }
    for (uintptr_t i = count; i >= 1; --i) ASSERT_EQ(stack.pop(), reinterpret_cast<XNode*>(i * 8));
    EXPECT_EQ(stack.getCapacity(), 100096u);  // popping never shrinks it
}

TEST(XStackTest, TopEntriesAreTheTopInPushOrder) {
    XStack stack;
    for (uintptr_t i = 1; i <= 200; ++i) stack.push(reinterpret_cast<XNode*>(i * 8));
    XNode* const* top = stack.topEntries(3);
    EXPECT_EQ(top[0], reinterpret_cast<XNode*>(198 * 8));
    EXPECT_EQ(top[2], reinterpret_cast<XNode*>(200 * 8));
    stack.dropTop(3);
    EXPECT_EQ(stack.getCount(), 197u);
    EXPECT_EQ(stack.top(), reinterpret_cast<XNode*>(197 * 8));
    stack.dropTop(0);
    EXPECT_EQ(stack.getCount(), 197u);
}

// Reaches the growth rule without allocating billions of entries.
class StackGrowth : public XStack {
public:
    static uint32_t grown(uint32_t capacity) { return stc_grownCapacity(capacity); }
};

TEST(XStackTest, CannotGrowBeyondTheLastStepAndThrowsTheMessage) {
    EXPECT_EQ(StackGrowth::grown(128), 256u);
    EXPECT_EQ(StackGrowth::grown(4294967167u), 4294967295u);
    try {
        StackGrowth::grown(4294967168u);
        FAIL() << "no exception";
    } catch (const QvUString& text) {
        EXPECT_EQ(text, qvGetMsg(19014));
    }
}

// ---- expression-text record ----

TEST(XExprStrInfoTest, OriginalTextIsSetOnlyOnAFreshRecord) {
    XExprStrInfo info;
    EXPECT_EQ(info.getOrigExpr(), nullptr);
    EXPECT_EQ(info.hasWidgetRef(), 1);
    EXPECT_EQ(info.setOrigExpr(kText), 0);
    EXPECT_EQ(info.getCurExpr(), kText);
    const unsigned short other[] = {'x', 0};
    EXPECT_EQ(info.setOrigExpr(other), -1);
    EXPECT_EQ(info.getOrigExpr(), kText);

    XExprStrInfo owned;
    owned.updateCurExpr(qvU("x").getBufferCopy(), 1);
    EXPECT_EQ(owned.setOrigExpr(kText), -1);
}

TEST(XExprStrInfoTest, OwnedCurrentTextIsFreedExactlyOnce) {
    XExprStrInfo info;
    info.setOrigExpr(kText);
    unsigned short* first = qvU("first").getBufferCopy();
    EXPECT_EQ(info.updateCurExpr(first, 1), 0);
    EXPECT_EQ(info.getCurExpr(), first);
    EXPECT_EQ(info.getOrigExpr(), kText);
    EXPECT_EQ(info.updateCurExpr(first, 1), 0);  // the same text again: not freed
    EXPECT_EQ(info.updateCurExpr(qvU("second").getBufferCopy(), 1), 0);  // frees first
    EXPECT_EQ(info.updateOrigAndCurExpr(kText), 0);  // frees second
    EXPECT_EQ(info.getOrigExpr(), kText);
    EXPECT_EQ(info.isCurExprOwned(), 0);
    unsigned short* third = qvU("third").getBufferCopy();
    info.updateCurExpr(third, 1);
    info.updateOrigAndCurExpr(third);  // keeps it owned: freed by the destructor
    EXPECT_EQ(info.isCurExprOwned(), 1);
    EXPECT_EQ(info.getOrigExpr(), third);
}

TEST(XExprStrInfoTest, ReferencesAreReferenceNodesAndNamedWidgets) {
    for (int number = 0; number <= 163; ++number) {
        const EXNodeId id = static_cast<EXNodeId>(number);
        std::unique_ptr<XNode> node(XNodeOpt::create(id, 0, 0));
        const int widgetRef = (number >= 30 && number <= 35 && number != 32) ? 1 : 0;
        const int ref = (number >= 23 && number <= 28) || widgetRef ? 1 : 0;
        EXPECT_EQ(XExprStrInfo::isWidgetRef(node.get()), widgetRef) << number;
        EXPECT_EQ(XExprStrInfo::isRef(node.get()), ref) << number;
    }
    EXPECT_EQ(XExprStrInfo::isRef(nullptr), 0);
    EXPECT_EQ(XExprStrInfo::isWidgetRef(nullptr), 0);
}

TEST(XExprStrInfoTest, WidgetCollectionCanBeSwitchedOffForGood) {
    XExprStrInfo info;
    info.disableCollectingWidgetRef();
    EXPECT_EQ(info.hasWidgetRef(), 0);
}

}  // namespace
