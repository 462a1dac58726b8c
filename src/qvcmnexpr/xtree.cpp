// XTree: ownership of a parsed expression's nodes and the post-order node
// lists that tree walks and the destructor rely on.
#include "qvcmnexpr/xtree.h"

#include <new>

#include "qvcmnasrt.h"
#include "qvcmnexpr/qvref.h"
#include "qvcmnexpr/xexprstrinfo.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xstack.h"
#include "qvcmnexpr/xtoken.h"

namespace {

constexpr const char* kUnit = "xtree";
constexpr int kDfsListCapacity = 64;
// The dummy parent stands for no text.
constexpr XNonNegInt kNoPosition(static_cast<int>(eXMINT_DUMMY));

}  // namespace

XTree::XTree(const unsigned short* expr, int isEmpty, int dfsListTrusted)
    : m_expr(expr), m_isEmptyExpression(isEmpty), m_dfsListTrusted(dfsListTrusted) {}

XTree* XTree::create(XNode* root, const unsigned short* expr, int isEmpty, int dfsListTrusted) {
    std::unique_ptr<XTree> tree(new (std::nothrow) XTree(expr, isEmpty, dfsListTrusted));
    if (!tree) return nullptr;
    tree->m_dummyParent.reset(XNodeOpt::create(eXNI_FUNC_START, kNoPosition, kNoPosition));
    QV_ASSERT(tree->m_dummyParent != nullptr, kUnit);
    const int adopted = root ? tree->m_dummyParent->prependChildNode(root) : 0;
    QV_ASSERT(adopted == 0, kUnit);
    tree->m_exprStrInfo.reset(new (std::nothrow) XExprStrInfo());
    QV_ASSERT(tree->m_exprStrInfo != nullptr, kUnit);
    tree->m_exprStrInfo->setOrigExpr(expr);
    return tree.release();
}

XTree::~XTree() {
    freeNodes();
    m_dfsNodeList.reset();
    m_dummyParent.reset();
    m_tokAllocator.reset();
    m_exprStrInfo.reset();
}

void XTree::freeNodes() {
    if (!getRoot()) return;
    XNodeList* nodes = nullptr;
    dfs(nodes, 1, m_dfsListTrusted == 0, nullptr);
    for (int i = 0, n = static_cast<int>(nodes->entries()); i < n; ++i) delete (*nodes)[i];
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
        m_dfsNodeList.reset(new (std::nothrow) XNodeList(kDfsListCapacity));
        QV_ASSERT(m_dfsNodeList != nullptr, kUnit);
        subTreeDfs(getRoot(), *m_dfsNodeList, stack);
    }
    out = m_dfsNodeList.get();
    return 0;
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
    if (!stack) stack = &localStack;
    const uint32_t base = stack->getCount();
    node->resetNextChild();
    stack->push(node);
    while (stack->getCount() > base) {
        XNode* top = stack->top();
        if (XNode* child = top->nextChild()) {
            child->resetNextChild();
            stack->push(child);
        } else {
            out.append(stack->pop());
        }
    }
}

void XTree::deleteSubTreeNodes(XNode* node, int) {
    if (!node) return;
    XNodeList nodes(kDfsListCapacity);
    subTreeDfs(node, nodes, nullptr);
    for (int i = 0, n = static_cast<int>(nodes.entries()); i < n; ++i) delete nodes[i];
}
