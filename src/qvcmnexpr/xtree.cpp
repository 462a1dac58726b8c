// XTree: ownership of a parsed expression's nodes and the post-order node
// lists that tree walks and the destructor rely on.
#include "qvcmnexpr/xtree.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "qvcmnasrt.h"
#include "qvcmnexpr/qvref.h"
#include "qvcmnexpr/xexprstrinfo.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xreverseparser.h"
#include "qvcmnexpr/xstack.h"
#include "qvcmnexpr/xtoken.h"
#include "xnodeblock.h"

namespace {

constexpr const char* kUnit = "xtree";
constexpr int kDfsListCapacity = 64;
// The dummy parent stands for no text.
constexpr XNonNegInt kNoPosition(static_cast<int>(eXMINT_DUMMY));

// A parsed subtree lies in memory just below its root, children being built
// before their parent, and a walk goes down to its first leaf next: asking
// for that memory now overlaps the misses a large tree's walk would
// otherwise take one node at a time. A hint only; nothing is read. One
// kilobyte holds the half dozen nodes the walk reaches first; the
// hardware's own prefetching follows the walk from there.
void prefetchSubtreeBelow(const XNode* root) {
    constexpr uintptr_t kLines = 16;
    const auto address = reinterpret_cast<uintptr_t>(root);
#pragma GCC unroll 16
    for (uintptr_t line = 1; line <= kLines; ++line)
        __builtin_prefetch(reinterpret_cast<const void*>(address - 64 * line));
}

// Walks the subtree of `root` in post order (children before their parent,
// left to right) on `stack`, above the entries already on it, handing each
// node to `leave` as the walk leaves it. A parent is left only after all
// its children, so `leave` may free the node it is given. Every parent's
// child cursor ends past its last child.
template <class Leave>
void walkPostOrder(XNode* root, XStack& stack, Leave leave) {
    const uint32_t base = stack.getCount();
    root->resetNextChild();
    stack.push(root);
    while (stack.getCount() > base) {
        if (XNode* child = stack.top()->nextChild()) {
            child->resetNextChild();
            // Most nodes are leaves: left as soon as they are reached, they
            // never go on the stack and off it again.
            if (child->getNumChildrenB() == 0) {
                leave(child);
                continue;
            }
            prefetchSubtreeBelow(child);
            stack.push(child);
        } else {
            leave(stack.pop());
        }
    }
}

// A walk gathers its list here first and then hands it over at its exact
// size: the node count is not known before the walk, and a list grown as
// the walk goes allocates about twice what it keeps. One per thread, kept
// between walks unless it grew large.
thread_local std::vector<XNode*> t_walkOrder;
constexpr size_t kWalkOrderKept = size_t{1} << 16;

}  // namespace

XNODEBLOCK_DEFINE_CLASS_ALLOCATION(XTree)

XTree::XTree(const unsigned short* expr, int isEmpty, int dfsListTrusted)
    : m_expr(expr), m_isEmptyExpression(isEmpty), m_dfsListTrusted(dfsListTrusted) {}

XTree* XTree::create(XNode* root, const unsigned short* expr, int isEmpty, int dfsListTrusted) {
    std::unique_ptr<XTree> tree(new (std::nothrow) XTree(expr, isEmpty, dfsListTrusted));
    if (!tree) return nullptr;
    tree->m_dummyParent.reset(XNodeOpt::create(eXNI_FUNC_START, kNoPosition, kNoPosition));
    QV_ASSERT(tree->m_dummyParent != nullptr, kUnit);
    // The dummy parent's list is empty: appending is prepending, without
    // the general insertion.
    const int adopted = root ? tree->m_dummyParent->appendChildNode(root) : 0;
    QV_ASSERT(adopted == 0, kUnit);
    tree->m_exprStrInfo.reset(new (std::nothrow) XExprStrInfo());
    QV_ASSERT(tree->m_exprStrInfo != nullptr, kUnit);
    tree->m_exprStrInfo->setOrigExpr(expr);
    return tree.release();
}

XTree* XTree::create(XNode* root, const XTree* from, int rebuildText, int dfsListTrusted,
                     int isEmpty) {
    QV_ASSERT(from != nullptr, kUnit);
    const XExprStrInfo* fromText = from->getExprStrInfo();
    const unsigned short* original = fromText ? fromText->getOrigExpr() : from->getExpr();
    XNodeParent* formerParent = root ? root->getParent() : nullptr;
    XTree* tree = create(root, original, isEmpty, dfsListTrusted);
    QV_ASSERT(tree != nullptr, kUnit);
    tree->m_isUpgrade = from->m_isUpgrade;
    tree->m_hasWindowFunc = from->m_hasWindowFunc;
    if (!rebuildText) return tree;
    if (fromText) tree->m_exprStrInfo->updateCurExpr(fromText->getCurExpr(), 0);
    XReverseParser writer;
    if (writer.updateExprString(tree, nullptr, 1) == 0) return tree;
    // The caller still owns the nodes it handed in.
    if (root) {
        tree->m_dummyParent->removeLastChild();
        root->setParent(formerParent);
    }
    delete tree;
    return nullptr;
}

XTree::~XTree() {
    freeNodes();
    m_dfsNodeList.reset();
    m_dummyParent.reset();
    m_tokAllocator.reset();
    m_exprStrInfo.reset();
}

// A trusted cached list is freed as it stands. Otherwise the nodes are freed
// by the same post-order walk that would have listed them, each one as the
// walk leaves it: the same nodes in the same order, without building a list
// the size of the tree only to throw it away.
void XTree::freeNodes() {
    XNode* root = getRoot();
    if (!root) return;
    if (m_dfsListTrusted && m_dfsListValid && m_dfsNodeList) {
        XNodeList& nodes = *m_dfsNodeList;
        for (int i = 0, n = static_cast<int>(nodes.entries()); i < n; ++i) delete nodes[i];
        return;
    }
    deleteSubTreeNodes(root, 0);
}

XNode* XTree::getRoot() const {
    return m_dummyParent ? m_dummyParent->getChild(0) : nullptr;
}

XMetadata* XTree::getRootMetadataPtr() const {
    XNode* root = getRoot();
    return root ? root->getMetadataPtr() : nullptr;
}

void XTree::setTokAllocator(XTokNameAllocator* allocator) {
    if (allocator != m_tokAllocator.get()) m_tokAllocator.reset(allocator);
}

void XTree::setErrorReportStrings(QvUString* err, QvUString* warn) {
    m_msgErr = err;
    m_msgWarn = warn;
}

void XTree::setErrorPosHolders(size_t* begin, size_t* end) {
    m_posBegin = begin;
    m_posEnd = end;
}

void XTree::setErrorReportPointers(QvUString* err, QvUString* warn, size_t* begin, size_t* end) {
    setErrorReportStrings(err, warn);
    setErrorPosHolders(begin, end);
}

void XTree::setIsUpgrade(int on) {
    if (!on || m_isUpgrade) return;
    m_isUpgrade = 1;
    XMetadata* metadata = getRootMetadataPtr();
    if (metadata && !metadata->hasUgdInfo()) metadata->allocUgdInfo();
}

void XTree::setHasWindowFunc(int on) {
    if (on) m_hasWindowFunc = 1;
}

int XTree::isDummyParentOfRoot(const XNode* node) const {
    return node != nullptr && node == m_dummyParent.get() ? 1 : 0;
}

int XTree::isSimpleReference() const {
    const XNode* root = getRoot();
    return root != nullptr && root->getId() == eXNI_PORTVAR ? 1 : 0;
}

const QvRef& XTree::getSimpleReference() const {
    static const QvRef noReference;
    return isSimpleReference() ? getRootMetadataPtr()->getRef() : noReference;
}

int XTree::isConstant(int countErrorAbort) const {
    const XNode* node = getRoot();
    if (!node) return 0;
    const EXNodeId id = node->getId();
    if (!countErrorAbort && (id == eXNI_ERROR || id == eXNI_ABORT)) {
        if (const XNode* argument = node->getChildB(0, 0)) node = argument;
    }
    return node->getCmnInfoConstPtr()->isConstnessTrue();
}

int XTree::hasGroupFunctions() const {
    const XNode* root = getRoot();
    return root != nullptr && !root->getCmnInfoConstPtr()->getAggLevel().isRow() ? 1 : 0;
}

int XTree::isNull() const {
    const XNode* root = getRoot();
    return root != nullptr && root->getDataType().isNull() ? 1 : 0;
}

int XTree::getExprWithRefReplaced(QvUString& out, const XRefReplacer& replacer) const {
    return m_exprStrInfo ? m_exprStrInfo->getExprWithRefReplaced(out, replacer) : -1;
}

int XTree::dfs(XNodeList*& out, int useCache, int invalidateFirst, XStack* stack) {
    if (!useCache) return out ? dfs(*out, stack) : -1;
    if (invalidateFirst) m_dfsListValid = 0;
    if (!m_dfsListValid) flushDfsNodeList();
    if (!m_dfsNodeList) {
        m_dfsNodeList.emplace(kDfsListCapacity);
        subTreeDfs(getRoot(), *m_dfsNodeList, stack);
    }
    out = &*m_dfsNodeList;
    return 0;
}

void XTree::setDfsNodeList(XNode* const* nodes, size_t count) {
    m_dfsNodeList.emplace(kDfsListCapacity);
    m_dfsNodeList->reserve(count);
    m_dfsNodeList->appendRange(nodes, count);
    m_dfsListValid = 1;
}

int XTree::dfs(XNodeList& out, XStack* stack) {
    subTreeDfs(getRoot(), out, stack);
    return 0;
}

void XTree::flushDfsNodeList() {
    m_dfsNodeList.reset();
    m_dfsListValid = 1;
}

void XTree::subTreeDfs(XNode* node, XNodeList& out, XStack* stack) {
    if (!node) return;
    XStack localStack;
    std::vector<XNode*>& order = t_walkOrder;
    order.clear();
    walkPostOrder(node, stack ? *stack : localStack, [&](XNode* left) { order.push_back(left); });
    // An empty list gets exactly its size (which also settles its initial
    // capacity hint, even for a list of one node); one a caller fills walk
    // by walk still grows geometrically.
    const size_t needed = out.entries() + order.size();
    if (out.isEmpty())
        out.reserve(needed);
    else if (needed > out.capacity())
        out.reserve(std::max(needed, 2 * out.capacity()));
    out.appendRange(order.data(), order.size());
    if (order.capacity() > kWalkOrderKept) std::vector<XNode*>().swap(order);
}

// The walk of subTreeDfs, freeing each node where that lists it: children
// before their parent, left to right, empty slots passed over. Every tree
// dies through here, so it is walkPostOrder trimmed to what freeing needs:
// a leaf (most nodes) is freed as soon as it is reached instead of going
// on and off the stack, only the parents, whose cursors drive the walk,
// are prepared for it, and the parent being emptied is held apart from
// the stack of those above it.
void XTree::deleteSubTreeNodes(XNode* node, int) {
    XStack above;
    XNode* parent = nullptr;
    while (node) {
        const XNodeList* children = node->getChildrenB();
        if (children && !children->isEmpty()) {
            node->resetNextChild();
            if (parent) above.push(parent);
            parent = node;
        } else {
            delete node;
        }
        node = nullptr;
        while (parent) {
            if ((node = parent->nextChild())) break;
            delete parent;
            parent = above.pop();
        }
    }
}
