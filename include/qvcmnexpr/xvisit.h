// The visitor framework: the abstract base of every tree walker (validator,
// reverse parser, pre-validation) and the deferred actions a visit can attach
// to a node.
//
// A walker overrides one visit operation per node kind (the rows of
// xnodevisits.def) and picks a walk order in visitSyntaxTree: post order
// (a precomputed node list, so visits must not change the tree's shape), pre
// order (a visit may put a new node in its own place and have it visited in
// turn), or pre-post order (every parent is visited before and after its
// children, and actions attached to a node run after its post visit).
//
// The visitor owns no tree and no stack: a walk borrows both from its caller
// and lets go of the stack when it ends, however it ends.
#pragma once

#include <cstdint>
#include <memory>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcmnexpr/xnode.h"

class XStack;
class XTree;
class XVisitor;

// What the visit under way is; subclasses read it to tell a pre visit from a
// post visit.
enum EXVisitPhase : int32_t {
    eXVP_NONE = -1,
    eXVP_POST_ORDER = 0,
    eXVP_PRE_ORDER = 1,
    eXVP_PRE_POST_PRE = 2,
    eXVP_PRE_POST_POST = 3,
};

// What a visit asks the walker to do once it has returned 0.
enum EXVisitPreOrderAction : int32_t {
    eXVPOA_NONE = 0,
    // Pre order: the visit put a new node in the visited node's slot; free
    // the old node's subtree and visit the new node.
    eXVPOA_REPLACED_DELETE = 1,
    // Pre order: as above, but the visit kept or reused the old node.
    eXVPOA_REPLACED = 2,
    // Pre-post order: descend into the visited node's last child only.
    eXVPOA_LAST_CHILD_ONLY = 3,
};

// The concrete walker.
enum EXVisitorType : int32_t {
    eXVT_VALIDATOR = 0,
    eXVT_REVERSE_PARSER = 5,
    eXVT_PRE_VALIDATE = 14,
};

enum EXVisitActionType : int32_t {
    eXVAT_ANY = 0,
    eXVAT_REVERSE_PARSER = 2,
    eXVAT_LINKED_RECURSIVE = 4,
};

// Work a visit defers to after a node's post visit in a pre-post walk. The
// node owns the action attached to it.
class QVCMNEXPR_API XVisitAction {
public:
    XVisitAction() = default;
    virtual ~XVisitAction();
    XVisitAction(const XVisitAction&) = delete;
    XVisitAction& operator=(const XVisitAction&) = delete;

    // 1 when the action is of `type` (every action is of eXVAT_ANY).
    virtual int isActionType(EXVisitActionType type) const = 0;

    // Runs the chain this action heads (see XVisitActionLinkedRecursive):
    // 0 when every action succeeded. Only linked-recursive actions can be
    // run; anything else is an internal invariant.
    int doitBs(XVisitor* visitor, XNode* node);
};

// An action that is one link of a chain. A chain runs from its tail to its
// head, so the action attached last to a node by
// addActionToExecuteAfterExisting runs last. Deleting the head deletes the
// whole chain.
class QVCMNEXPR_API XVisitActionLinkedRecursive : public XVisitAction {
public:
    XVisitActionLinkedRecursive() = default;
    ~XVisitActionLinkedRecursive() override;

    int isActionType(EXVisitActionType type) const override;
    // The most actions of this kind that one node should carry.
    virtual int getNumActionsMax() const = 0;

    // Runs the rest of the chain, then this action: -1 without running this
    // action when an earlier one failed, else this action's result.
    int doitLr(XVisitor* visitor, XNode* node);

    XVisitActionLinkedRecursive* getNext() const { return m_next.get(); }
    XVisitActionLinkedRecursive* getTail();

    // Attaches `action` (with any chain it heads) to `node` so that it runs
    // after the actions already there: it becomes the new head.
    static void addActionToExecuteAfterExisting(XNode* node, XVisitActionLinkedRecursive* action);
    // Attaches `action` (with any chain it heads) so that it runs before the
    // actions already there: it is linked behind the current tail.
    static void addActionToExecuteBeforeExisting(XNode* node, XVisitActionLinkedRecursive* action);

protected:
    // The action's work; 0 for success.
    virtual int doit(XVisitor* visitor, XNode* node) = 0;

private:
    // The node's action as a chain head; null when it has none. An action of
    // another kind there is an internal invariant.
    static XVisitActionLinkedRecursive* chainOf(XNode* node);

    std::unique_ptr<XVisitActionLinkedRecursive> m_next;
};

class QVCMNEXPR_API XVisitor {
public:
    XVisitor() = default;
    virtual ~XVisitor();
    XVisitor(const XVisitor&) = default;
    XVisitor& operator=(const XVisitor&) = default;

    virtual EXVisitorType getVisitorType() const = 0;
    // The walker's entry point: picks a walk order over `tree` using `stack`
    // as its work stack; `data` is the caller's, interpreted by the subclass.
    // 0 for success, -1 for failure.
    virtual int visitSyntaxTree(XTree* tree, XStack* stack, void* data) = 0;

    // Pre-post walk of the subtree under `top` (a tree walk of its own: the
    // reverse parser writes one subtree's text with it). 0, or -1 when a
    // visit or an action failed; a null `top` yields 0.
    int visitSubTreePrePostOrder(XNode* top, XTree* tree, XStack* stack);

    XTree* getTree() const { return m_tree; }
    // eXVP_NONE outside a walk.
    EXVisitPhase getVisitPhase() const { return m_visitPhase; }
    EXVisitPreOrderAction getVisitPreOrderAction() const { return m_visitPreOrderAction; }
    // The caller's stack during a walk, null outside one.
    XStack* getStack() const { return m_stack; }

    static XVisitAction* getNodeVisitAction(XNode* node);
    // Stores `action` as the node's action, which the node then owns; an
    // action already there is not freed.
    static void setNodeVisitAction(XNode* node, XVisitAction* action);

protected:
    // One operation per node kind, in slot order.
#define VISIT_OP(Op, KIND) virtual int visit##Op##Node(XNode* node) = 0;
#include "qvcmnexpr/xnodevisits.def"

    // Calls the operation of the node's kind and returns its result; -1 for
    // a kind without one (markers, unassigned numbers) and for a null node.
    int visitNode(XNode* node);
    // Visits the children of a parent node first to last; -1 at the first
    // child whose visit yields -1, otherwise 0 (also for a leaf).
    int visitChildNodes(XNode* node);

    // Whole-tree walks. `tag` names the walker for the reader ("vld",
    // "pvld", "rvp"); the walks do not use it. A null `stack` makes the walk
    // use one of its own.
    int visitTreePostOrder(const char* tag, XTree* tree, XStack* stack);
    // The post-order walk for a visitor whose operations all lead to one
    // dispatcher of its own: each node goes to `visit` instead of through
    // the operation table, whose call jumps to a target that changes from
    // node to node. A kind without an operation still fails the walk.
    using PostOrderVisit = int (*)(XVisitor& visitor, XNode* node);
    int visitTreePostOrder(XTree* tree, XStack* stack, PostOrderVisit visit);
    int visitTreePreOrder(const char* tag, XTree* tree, XStack* stack);
    int visitTreePrePostOrder(const char* tag, XTree* tree, XStack* stack);

    // Steps of the walks.
    int visitNodePreOrder(XNode* node);
    // With `force` 0, a node whose skip-pre-visit flag is set is passed over
    // (flag cleared, nothing visited, pushed or descended into).
    int visitNodePrePostOrderPre(XNode* node, int force);
    // Post visit, then the node's action chain, which is freed afterwards.
    int visitNodePrePostOrderPost(XNode* node);

    void resetVisitPreOrderAction() { m_visitPreOrderAction = eXVPOA_NONE; }
    // For work on a single node outside a walk (re-checking one argument).
    void setTree(XTree* tree) { m_tree = tree; }
    void setVisitPreOrderAction(EXVisitPreOrderAction action) { m_visitPreOrderAction = action; }

private:
    using Operation = int (XVisitor::*)(XNode*);
    class WalkScope;

    static Operation operationOf(EXNodeId kind);
    // The node that took `node`'s place after a replacing pre-order visit.
    XNode* replacementOf(const XNodeParent* parent) const;
    // The next node a pre-post walk descends to from `parent`.
    XNode* nextPrePostChild(XNode* parent);
    int walkPreOrderFrom(XNode* root);
    int walkPrePostOrderFrom(XNode* top);

    XTree* m_tree = nullptr;
    EXVisitPhase m_visitPhase = eXVP_NONE;
    EXVisitPreOrderAction m_visitPreOrderAction = static_cast<EXVisitPreOrderAction>(-1);
    XStack* m_stack = nullptr;
};
