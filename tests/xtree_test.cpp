// Trees, the node stack and the expression-text record: ownership, post-order
// lists and the questions a caller asks about a parsed expression.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
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
#include "treetest_build.h"
#include "xrecordtext.h"

// The allocator's constructor is private; the tests reach it as its friend.
class XTokNameAllocatorAccess { public: static XTokNameAllocator* make() { return new XTokNameAllocator(); } };

namespace {

using namespace treetest;
using xtestsupport::answers;

const unsigned short* const kText = kX;
uintptr_t tag(const XNode* node) { return reinterpret_cast<uintptr_t>(node) / 8; }

// ---- creation and the caller's questions ----

TEST(XTreeTest, CreatePutsTheRootUnderADummyParent) {
    XNode* root = leaf(eXNI_SYSDATE, 0, 7);
    TreePtr tree = treeOf(root);
    XNodeParent* dummy = root->getParent();
    ASSERT_TRUE(dummy != nullptr && tree->getRoot() == root);
    EXPECT_EQ(answers({dummy->getId(), dummy->getPosBegin().toInteger(), dummy->getPosEnd().toInteger(),
                      dummy->getNumChildren(), tree->isDummyParentOfRoot(dummy), tree->isDummyParentOfRoot(root),
                      tree->isDummyParentOfRoot(nullptr), root->isRoot(), tree->isEmptyExpression()}),
              answers({eXNI_FUNC_START, eXMINT_DUMMY, eXMINT_DUMMY, 1, 1, 0, 0, 1, 0}));
    EXPECT_TRUE(tree->getRootMetadataPtr() == root->getMetadataPtr() && tree->getExpr() == kText &&
                tree->getExprStrInfo()->getOrigExpr() == kText && tree->getExprStrInfo()->getCurExpr() == kText);
}

TEST(XTreeTest, EmptyTreesAnswerNegatively) {
    TreePtr empty(XTree::create(XNodeKeyword::createNullNode(0, 0, XType(eXDT_NULL)), nullptr, 1, 0));
    EXPECT_EQ(answers({empty->isEmptyExpression(), empty->isNull(), empty->isConstant(0), empty->isSimpleReference()}),
              "1 1 0 0");
    TreePtr rootless = treeOf(nullptr);
    EXPECT_EQ(answers({rootless->getRootMetadataPtr() != nullptr, rootless->isNull(), rootless->isConstant(0),
                      rootless->hasGroupFunctions()}), "0 0 0 0");
    XNodeList* list = nullptr;
    EXPECT_TRUE(rootless->dfs(list, 1, 0, nullptr) == 0 && list->isEmpty());
}

TEST(XTreeTest, SimpleReferenceIsAPortRoot) {
    XTokName name(qvU("a"), 1, nullptr);
    int port = 0;
    XNode* root = XNodeRef::create(eXNI_PORTVAR, &name, 0, 1);
    root->getMetadataPtr()->setRef(QvRef(&port));
    TreePtr tree = treeOf(root);
    TreePtr variable = treeOf(XNodeRef::create(eXNI_MAPVAR, &name, 0, 1));
    EXPECT_TRUE(tree->isSimpleReference() == 1 && tree->getSimpleReference().getCPtr() == &port);
    EXPECT_TRUE(variable->isSimpleReference() == 0 && variable->getSimpleReference().isEmpty());
    EXPECT_EQ(treeOf(opt(eXNI_PLUS, {XNodeRef::create(eXNI_PORTVAR, &name, 0, 1)}))->isSimpleReference(), 0);
}

// ERROR and ABORT are as constant as their argument unless they count. The
// root is never constant and the argument always: the answer tells which
// was asked.
TEST(XTreeTest, ConstantAndGroupQuestions) {
    const std::tuple<EXNodeId, int, int> cases[] = {  // the root's kind, countErrorAbort, the answer
        {eXNI_ERROR, 0, 1},
        {eXNI_ERROR, 1, 0},
        {eXNI_ABORT, 0, 1},
        {eXNI_UPPER, 0, 0},
    };
    for (const auto& [kind, countErrorAbort, expected] : cases) {
        XNode* argument = leaf();
        XNode* root = opt(kind, {argument});
        root->getCmnInfoPtr()->setConstness(0);
        argument->getCmnInfoPtr()->setConstness(1);
        EXPECT_EQ(treeOf(root)->isConstant(countErrorAbort), expected) << XNode::idToString(kind) << countErrorAbort;
    }
    for (auto [level, expected] : {std::pair{eXAL_ROW, 0}, {eXAL_GROUP, 1}, {eXAL_NESTED, 1}}) {
        XNode* root = leaf();
        root->getCmnInfoPtr()->setAggLevel(level);
        EXPECT_EQ(treeOf(root)->hasGroupFunctions(), expected) << level;
    }
}

TEST(XTreeTest, UpgradeAndWindowFlagsOnlySwitchOn) {
    TreePtr tree = treeOf(leaf());
    const XMetadata* record = tree->getRootMetadataPtr();
    tree->setIsUpgrade(0);
    EXPECT_EQ(answers({tree->isUpgrade(), record->hasUgdInfo(), (tree->setIsUpgrade(1), record->hasUgdInfo())}), "0 0 1");
    for (int on : {1, 0}) {  // a second upgrade makes no second record
        tree->setIsUpgrade(on);
        tree->setHasWindowFunc(on);
        tree->setHasPercentileOrMedian(on);
    }
    EXPECT_EQ(answers({tree->isUpgrade(), tree->hasWindowFunc(), tree->hasPercentileOrMedian()}), "1 1 0");
}

// ---- post-order lists ----

TEST(XTreeDfsTest, ChildrenFirstLeftToRightBehindWhatTheListHolds) {
    // IIF(STAR, SYSDATE + NULL, NOT PROC_RESULT)
    TreePtr tree = treeOf(opt(eXNI_IIF, {leaf(eXNI_STAR), opt(eXNI_PLUS, {leaf(eXNI_SYSDATE), leaf(eXNI_NULL)}),
                                         opt(eXNI_NOT, {leaf(eXNI_PROC_RESULT)})}));
    XNodeList* list = nullptr;
    ASSERT_EQ(tree->dfs(list, 1, 0, nullptr), 0);
    EXPECT_EQ(kinds(*list), "STAR SYSDATE NULL PLUS PROC_RESULT NOT IIF");
    TreePtr second = treeOf(opt(eXNI_NOT, {leaf()}));  // lives as long as the list that holds its nodes
    XNodeList mine;
    XNodeList *out = &mine, *none = nullptr;
    EXPECT_EQ(second->dfs(out, 0, 0, nullptr), 0);  // uncached: fills the caller's list
    EXPECT_EQ(out, &mine);
    tree->dfs(mine, nullptr);
    EXPECT_EQ(kinds(mine), "SYSDATE NOT STAR SYSDATE NULL PLUS PROC_RESULT NOT IIF");
    EXPECT_EQ(tree->dfs(none, 0, 0, nullptr), -1);
}

TEST(XTreeDfsTest, CachedListIsReusedUntilInvalidated) {
    XNodeOpt* plus = opt(eXNI_PLUS, {leaf()});
    TreePtr tree = treeOf(plus);
    XNodeList *first = nullptr, *list = nullptr;
    tree->dfs(first, 1, 0, nullptr);
    auto entries = [&](int invalidateFirst) { return tree->dfs(list, 1, invalidateFirst, nullptr), list->entries(); };
    plus->appendChildNode(leaf());
    const size_t stale = entries(0);  // the shape changed without invalidation
    tree->invalidateDfsNodeList();
    const size_t invalidated = entries(0);
    plus->appendChildNode(leaf());
    const size_t invalidatedFirst = entries(1);
    std::unique_ptr<XNode> last(plus->getChild(2));
    plus->removeLastChild();
    tree->flushDfsNodeList();
    EXPECT_EQ(answers({entries(0), list == first, stale, invalidated, invalidatedFirst}), "3 1 2 3 4");
}

TEST(XTreeDfsTest, WalkOnAGivenStackLeavesItsEntries) {
    XStack stack;
    std::unique_ptr<XNode> below(leaf());
    stack.push(below.get());
    XNodeList list;  // only counted: its nodes die with the tree
    XTree::subTreeDfs(treeOf(opt(eXNI_NOT, {leaf()}))->getRoot(), list, &stack);
    XTree::subTreeDfs(nullptr, list, &stack);
    EXPECT_EQ(answers({list.entries(), stack.getCount(), stack.pop() == below.get()}), "2 1 1");
}

// A subtree moved to a tree of its own takes the older tree's text and flags;
// rebuilt, its text is written from its nodes.
TEST(XTreeTest, TreeFromASubtreeOfAnother) {
    treetest::Parsed p("IIF(a, b + 1, c)", {});
    p.tree()->setIsUpgrade(1);
    p.tree()->setHasWindowFunc(1);
    XNodeParent* iif = static_cast<XNodeParent*>(p.tree()->getRoot());
    XNode* sum = iif->getChild(1);
    iif->removeChild(sum);
    TreePtr kept(XTree::create(sum, p.tree(), 0, 0, 0));  // rebuilt: xreverseparser_test
    EXPECT_EQ(QvUString(kept->getExpr()).toUtf8(), "IIF(a, b + 1, c)");
    EXPECT_EQ(answers({kept->getRoot() == sum, kept->isUpgrade(), kept->hasWindowFunc()}), "1 1 1");
}

// ---- ownership (AddressSanitizer reports any leak or double free) ----

// Every node frees its number into gFreed: the order of freeing is visible.
std::string gFreed;
void recordFree(void* n) { gFreed += (gFreed.empty() ? "" : " ") + std::to_string(reinterpret_cast<intptr_t>(n)); }
XNode* numbered(int number, XNode* node) {
    node->setSrvInfoPtr(reinterpret_cast<XNodeSrvInfo*>(static_cast<intptr_t>(number)), &recordFree);
    return node;
}

// Freeing follows the post order of dfs: children before their parent, left
// to right, empty slots passed over; a trusted tree frees from its cached
// list, an untrusted one walks again past a stale list.
TEST(XTreeOwnershipTest, NodesAreFreedInPostOrderOnce) {
    gFreed.clear();
    XNode* removed = numbered(99, leaf());
    XNodeOpt* wide = opt(eXNI_CONCAT, {numbered(3, leaf()), removed, numbered(4, leaf()),
                                       numbered(6, opt(eXNI_NOT, {numbered(5, leaf())})), numbered(7, leaf())});
    ASSERT_EQ(wide->removeChild(removed), 0);
    XNode* first = numbered(2, opt(eXNI_NOT, {numbered(1, leaf())}));
    XNode* root = opt(eXNI_PLUS, {first, numbered(8, wide), numbered(9, opt(eXNI_NOT))});
    XTree::deleteSubTreeNodes(numbered(10, root), 0);
    EXPECT_EQ(gFreed, "1 2 3 4 5 6 7 8 9 10");
    XTree::deleteSubTreeNodes(nullptr, 0);
    XTree::deleteSubTreeNodes(removed, 0);

    for (int trusted : {0, 1}) {
        gFreed.clear();
        XNodeOpt* plus = opt(eXNI_PLUS, {numbered(1, leaf())});
        {
            TreePtr tree = treeOf(numbered(3, plus), trusted);
            XNodeList* list = nullptr;
            tree->dfs(list, 1, 0, nullptr);
            if (!trusted) plus->appendChildNode(numbered(2, leaf()));  // not in the cached list
        }
        EXPECT_EQ(gFreed, trusted ? "1 3" : "1 2 3");
    }
}

TEST(XTreeOwnershipTest, TreeFreesItsAllocatorAndRecord) {
    XTokNameAllocator* allocator = XTokNameAllocatorAccess::make();
    const QvUString nameText = qvU("port");
    XTokName* name = allocator->allocToken(&nameText, 1);
    TreePtr tree = treeOf(opt(eXNI_PLUS, {XNodeRef::create(eXNI_PORTVAR, name, 0, 4)}));
    tree->setTokAllocator(allocator);
    tree->setTokAllocator(allocator);  // the same allocator again: kept, not freed
    EXPECT_EQ(tree->getTokAllocator(), allocator);
    tree->getExprStrInfo()->updateCurExpr(qvU("port + x").getBufferCopy(), 1);
    // A removed record belongs to the caller.
    TreePtr other = treeOf(leaf());
    std::unique_ptr<XExprStrInfo> info(other->removeExprStrInfo());
    EXPECT_TRUE(info->getOrigExpr() == kText && other->getExprStrInfo() == nullptr);
}

// ---- node stack ----

// Reaches the growth rule without allocating billions of entries.
struct StackGrowth : XStack { static uint32_t grown(uint32_t capacity) { return stc_grownCapacity(capacity); } };

// Callers see 128-entry steps however the entries are stored, up to the last
// step; push answers the node pushed, a null node included.
TEST(XStackTest, GrowsIn128StepsKeepingTheOrder) {
    XStack stack;  // empty, it gives null
    EXPECT_EQ(answers({stack.isEmpty(), stack.pop() != nullptr, stack.top() != nullptr, stack.getCapacity()}),
              "1 0 0 128");
    const uintptr_t count = 100000;
    for (uintptr_t i = 1; i <= count; ++i)
        ASSERT_EQ(answers({tag(stack.push(reinterpret_cast<XNode*>(i * 8))), stack.getCapacity()}),
                  answers({i, (i + 127) / 128 * 128}));
    XNode* const* top = stack.topEntries(3);  // the top entries in push order
    EXPECT_EQ(answers({stack.getCount(), tag(stack.top()), tag(top[0]), tag(top[2])}), "100000 100000 99998 100000");
    stack.dropTop(3), stack.dropTop(0);
    for (uintptr_t i = count - 3; i >= 1; --i) ASSERT_EQ(tag(stack.pop()), i);
    EXPECT_EQ(answers({stack.getCapacity(), stack.isEmpty()}), "100096 1");  // popping never shrinks it
    EXPECT_EQ(answers({stack.push(nullptr) != nullptr, stack.isEmpty(), (stack.clear(), stack.isEmpty())}), "0 0 1");
    EXPECT_EQ(answers({StackGrowth::grown(128), StackGrowth::grown(4294967167u)}), "256 4294967295");
    QvUString thrown;
    try { StackGrowth::grown(4294967168u); } catch (const QvUString& text) { thrown = text; }
    EXPECT_EQ(thrown, qvGetMsg(eQvMSG_NODE_STACK_CANNOT_GROW));
}

// ---- expression-text record ----

TEST(XExprStrInfoTest, OriginalTextIsSetOnlyOnAFreshRecord) {
    XExprStrInfo info, owned;
    const unsigned short other[] = {'y', 0};
    EXPECT_EQ(answers({info.getOrigExpr() != nullptr, info.hasWidgetRef(), info.setOrigExpr(kText),
                       info.getCurExpr() == kText, info.setOrigExpr(other), info.getOrigExpr() == kText}),
              "0 1 0 1 -1 1");
    owned.updateCurExpr(qvU("x").getBufferCopy(), 1);
    const int refused = owned.setOrigExpr(kText);
    owned.disableCollectingWidgetRef();
    EXPECT_EQ(answers({refused, owned.hasWidgetRef()}), "-1 0");
}

TEST(XExprStrInfoTest, OwnedCurrentTextIsFreedExactlyOnce) {
    XExprStrInfo info;
    info.setOrigExpr(kText);
    unsigned short* first = qvU("first").getBufferCopy();
    // The same text again is not freed; a second text frees the first; the
    // caller's text then frees the second and stays the caller's.
    EXPECT_EQ(answers({info.updateCurExpr(first, 1), info.getCurExpr() == first, info.getOrigExpr() == kText,
                       info.updateCurExpr(first, 1), info.updateCurExpr(qvU("second").getBufferCopy(), 1),
                       info.updateOrigAndCurExpr(kText)}), "0 1 1 0 0 0");
    EXPECT_EQ(answers({info.getOrigExpr() == kText, info.isCurExprOwned(), info.updateCurExpr(kText, 0),
                       info.isCurExprOwned()}), "1 0 0 0");
    unsigned short* third = qvU("third").getBufferCopy();
    info.updateCurExpr(third, 1);
    info.updateOrigAndCurExpr(third);  // keeps it owned: freed by the destructor
    EXPECT_TRUE(info.isCurExprOwned() == 1 && info.getOrigExpr() == third);
}

TEST(XExprStrInfoTest, ReferencesAreReferenceNodesAndNamedWidgets) {
    for (int number = 0; number <= 163; ++number) {
        std::unique_ptr<XNode> node(XNodeOpt::create(static_cast<EXNodeId>(number), 0, 0));
        const int widgetRef = (number >= 30 && number <= 35 && number != 32) ? 1 : 0;
        const int ref = (number >= 23 && number <= 28) || widgetRef ? 1 : 0;
        const XNode* n = node.get();
        EXPECT_EQ(answers({XExprStrInfo::isWidgetRef(n), XExprStrInfo::isRef(n)}), answers({widgetRef, ref})) << number;
    }
    EXPECT_EQ(answers({XExprStrInfo::isRef(nullptr), XExprStrInfo::isWidgetRef(nullptr)}), "0 0");
}

}  // namespace
