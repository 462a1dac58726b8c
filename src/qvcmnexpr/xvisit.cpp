// The visitor framework: dispatch from node kind to visit operation, the three
// walk orders with their stop rules, node replacement during pre-order walks,
// and the action chains that run after a node's post visit.
#include "qvcmnexpr/xvisit.h"

#include <array>
#include <memory>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xstack.h"
#include "qvcmnexpr/xtree.h"

namespace {

constexpr const char* kUnit = "xvisit";
// Lines reported for an action a walk cannot follow; callers match on them.
constexpr int kLineBadPreOrderAction = 213;
constexpr int kLineBadPrePostAction = 428;

constexpr int kNumKinds = eXNI_DUMMYTAIL + 1;

// Nodes free their action through this, so xnode need not know action classes.
void deleteVisitAction(XVisitAction* action) { delete action; }

}  // namespace

// ===== actions =====

XVisitAction::~XVisitAction() = default;

int XVisitAction::doitBs(XVisitor* visitor, XNode* node) {
    if (!isActionType(eXVAT_LINKED_RECURSIVE)) {
        QvAssertHandler(kUnit, __LINE__);
        return -1;
    }
    return static_cast<XVisitActionLinkedRecursive*>(this)->doitLr(visitor, node);
}

XVisitActionLinkedRecursive::~XVisitActionLinkedRecursive() {
    // Unlink one action at a time so a long chain does not recurse deeply.
    std::unique_ptr<XVisitActionLinkedRecursive> rest = std::move(m_next);
    while (rest) rest = std::move(rest->m_next);
}

int XVisitActionLinkedRecursive::isActionType(EXVisitActionType type) const {
    return type == eXVAT_ANY || type == eXVAT_LINKED_RECURSIVE ? 1 : 0;
}

int XVisitActionLinkedRecursive::doitLr(XVisitor* visitor, XNode* node) {
    if (m_next && m_next->doitLr(visitor, node) != 0) return -1;
    return doit(visitor, node);
}

XVisitActionLinkedRecursive* XVisitActionLinkedRecursive::getTail() {
    XVisitActionLinkedRecursive* tail = this;
    while (tail->m_next) tail = tail->m_next.get();
    return tail;
}

XVisitActionLinkedRecursive* XVisitActionLinkedRecursive::chainOf(XNode* node) {
    XVisitAction* action = XVisitor::getNodeVisitAction(node);
    if (!action) return nullptr;
    QV_ASSERT(action->isActionType(eXVAT_LINKED_RECURSIVE), kUnit);
    return static_cast<XVisitActionLinkedRecursive*>(action);
}

void XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(
    XNode* node, XVisitActionLinkedRecursive* action) {
    QV_ASSERT(node != nullptr && action != nullptr, kUnit);
    XVisitActionLinkedRecursive* head = chainOf(node);
    QV_ASSERT(head != action, kUnit);
    // Linked behind the added chain's own tail: an action that already heads
    // a chain keeps it instead of leaking it.
    if (head) action->getTail()->m_next.reset(head);
    XVisitor::setNodeVisitAction(node, action);
}

void XVisitActionLinkedRecursive::addActionToExecuteBeforeExisting(
    XNode* node, XVisitActionLinkedRecursive* action) {
    QV_ASSERT(node != nullptr && action != nullptr, kUnit);
    XVisitActionLinkedRecursive* head = chainOf(node);
    if (!head) {
        XVisitor::setNodeVisitAction(node, action);
        return;
    }
    XVisitActionLinkedRecursive* tail = head->getTail();
    QV_ASSERT(tail != action, kUnit);
    tail->m_next.reset(action);
}

// ===== walk bookkeeping =====

// Binds a walk to its tree and stack and lets go of the stack when the walk
// ends, also when a visit throws. A walk given no stack gets its own.
class XVisitor::WalkScope {
public:
    WalkScope(XVisitor& visitor, XTree* tree, XStack* stack, EXVisitPhase phase)
        : m_visitor(visitor) {
        if (!stack) {
            m_ownStack = std::make_unique<XStack>();
            stack = m_ownStack.get();
        }
        visitor.m_tree = tree;
        visitor.m_stack = stack;
        visitor.m_visitPhase = phase;
    }
    ~WalkScope() {
        m_visitor.m_visitPhase = eXVP_NONE;
        m_visitor.m_stack = nullptr;
    }
    WalkScope(const WalkScope&) = delete;
    WalkScope& operator=(const WalkScope&) = delete;

private:
    XVisitor& m_visitor;
    std::unique_ptr<XStack> m_ownStack;
};

XVisitor::~XVisitor() = default;

XVisitAction* XVisitor::getNodeVisitAction(XNode* node) {
    return node->getCmnInfoPtr()->getVisitAction();
}

void XVisitor::setNodeVisitAction(XNode* node, XVisitAction* action) {
    node->getCmnInfoPtr()->setVisitAction(action, &deleteVisitAction);
}

// ===== dispatch =====

XVisitor::Operation XVisitor::operationOf(EXNodeId kind) {
    static constexpr std::array<Operation, kNumKinds> table = [] {
        std::array<Operation, kNumKinds> operations{};
#define VISIT_OP(Op, KIND) operations[eXNI_##KIND] = &XVisitor::visit##Op##Node;
#define VISIT_ALIAS(KIND, Op) operations[eXNI_##KIND] = &XVisitor::visit##Op##Node;
#include "qvcmnexpr/xnodevisits.def"
        return operations;
    }();
    const int index = static_cast<int>(kind);
    return index >= 0 && index < kNumKinds ? table[static_cast<size_t>(index)] : nullptr;
}

int XVisitor::visitNode(XNode* node) {
    if (!node) return -1;
    const Operation operation = operationOf(node->getId());
    return operation ? (this->*operation)(node) : -1;
}

int XVisitor::visitChildNodes(XNode* node) {
    const int count = node->getNumChildrenB();
    for (int i = 0; i < count; ++i) {
        XNode* child = node->getChildB(i, 0);
        if (child && visitNode(child) == -1) return -1;
    }
    return 0;
}

// ===== post order =====

int XVisitor::visitTreePostOrder(const char*, XTree* tree, XStack* stack) {
    return visitTreePostOrder(tree, stack, [](XVisitor& visitor, XNode* node) {
        return visitor.visitNode(node);
    });
}

int XVisitor::visitTreePostOrder(XTree* tree, XStack* stack, PostOrderVisit visit) {
    WalkScope scope(*this, tree, stack, eXVP_POST_ORDER);
    XNodeList* nodes = nullptr;
    if (!tree || tree->dfs(nodes, 1, 0, m_stack) != 0 || !nodes) return -1;
    // Only -1 stops the walk: other non-zero results are a visit's own
    // business (a warning, say), not a failure of the walk.
    for (XNode* node : *nodes) {
        if (!node || !operationOf(node->getId()) || visit(*this, node) == -1) return -1;
    }
    return 0;
}

// ===== pre order =====

int XVisitor::visitTreePreOrder(const char*, XTree* tree, XStack* stack) {
    WalkScope scope(*this, tree, stack, eXVP_PRE_ORDER);
    XNode* root = tree ? tree->getRoot() : nullptr;
    return root ? walkPreOrderFrom(root) : 0;
}

int XVisitor::walkPreOrderFrom(XNode* root) {
    m_stack->clear();
    int result = visitNodePreOrder(root);
    while (result == 0 && !m_stack->isEmpty()) {
        if (XNode* child = m_stack->top()->nextChild()) {
            result = visitNodePreOrder(child);
        } else {
            m_stack->pop();
        }
    }
    return result;
}

XNode* XVisitor::replacementOf(const XNodeParent* parent) const {
    if (!parent) {
        QvAssertHandler(kUnit, __LINE__);
        return nullptr;
    }
    // The root is not handed out by its parent's cursor; the tree knows it.
    if (m_tree && m_tree->isDummyParentOfRoot(parent)) return m_tree->getRoot();
    return parent->getCurChild();
}

int XVisitor::visitNodePreOrder(XNode* node) {
    const XNodeParent* parent = node->getParent();
    for (;;) {
        resetVisitPreOrderAction();
        if (visitNode(node) != 0) return -1;
        const EXVisitPreOrderAction action = m_visitPreOrderAction;
        if (action == eXVPOA_NONE) break;
        if (action != eXVPOA_REPLACED_DELETE && action != eXVPOA_REPLACED) {
            QvAssertHandler(kUnit, kLineBadPreOrderAction);
            return -1;
        }
        XNode* replacement = replacementOf(parent);
        if (action == eXVPOA_REPLACED_DELETE) XTree::deleteSubTreeNodes(node, 0);
        // The cached post-order list no longer matches the tree (and may
        // name freed nodes); the tree's destructor must not trust it.
        if (m_tree) m_tree->invalidateDfsNodeList();
        // A visit that emptied its slot leaves nothing to visit or descend.
        if (!replacement) return 0;
        node = replacement;
    }
    node->resetNextChild();
    m_stack->push(node);
    return 0;
}

// ===== pre-post order =====

int XVisitor::visitTreePrePostOrder(const char*, XTree* tree, XStack* stack) {
    return visitSubTreePrePostOrder(tree ? tree->getRoot() : nullptr, tree, stack);
}

int XVisitor::visitSubTreePrePostOrder(XNode* top, XTree* tree, XStack* stack) {
    WalkScope scope(*this, tree, stack, eXVP_NONE);
    return top ? walkPrePostOrderFrom(top) : 0;
}

int XVisitor::walkPrePostOrderFrom(XNode* top) {
    m_stack->clear();
    int result = visitNodePrePostOrderPre(top, 0);
    while (result == 0 && !m_stack->isEmpty()) {
        XNode* parent = m_stack->top();
        if (XNode* next = nextPrePostChild(parent)) {
            result = visitNodePrePostOrderPre(next, 0);
            continue;
        }
        result = visitNodePrePostOrderPost(parent);
        m_stack->pop();
        if (result != 0) break;
        resetVisitPreOrderAction();
    }
    return result == 0 ? 0 : -1;
}

XNode* XVisitor::nextPrePostChild(XNode* parent) {
    switch (m_visitPreOrderAction) {
        case eXVPOA_NONE:
            return parent->nextChild();
        case eXVPOA_LAST_CHILD_ONLY: {
            resetVisitPreOrderAction();
            XNode* last = parent->getChildB(parent->getNumChildrenB() - 1, 0);
            // Run the cursor to the end: the other children are passed over.
            while (parent->nextChild()) {
            }
            return last;
        }
        default:
            QvAssertHandler(kUnit, kLineBadPrePostAction);
            return nullptr;
    }
}

int XVisitor::visitNodePrePostOrderPre(XNode* node, int force) {
    XNodeCmnInfo* info = node->getCmnInfoPtr();
    if (!force && info->getSkipPreVisit()) {
        info->setSkipPreVisit(0);
        return 0;
    }
    m_visitPhase = eXVP_PRE_POST_PRE;
    resetVisitPreOrderAction();
    if (visitNode(node) != 0) return -1;
    node->resetNextChild();
    m_stack->push(node);
    return 0;
}

int XVisitor::visitNodePrePostOrderPost(XNode* node) {
    m_visitPhase = eXVP_PRE_POST_POST;
    if (visitNode(node) != 0) return -1;
    XVisitAction* action = getNodeVisitAction(node);
    if (!action) return 0;
    const int result = action->doitBs(this, node);
    node->getCmnInfoPtr()->deleteVisitAction();
    return result;
}
