// XPreValidateVisitor: the pass between parsing and validation that gives
// reference nodes the role their position implies. The grammar builds every
// identifier as a plain reference; only the tree shows that b in a.b is a
// member name, or that the odd-numbered arguments of struct(...) are field
// names. Only node kinds change: nothing is created, freed, typed or reported.
//
// A reference's role depends on its parent's kind and its own index alone,
// and both are final once the parent has adopted its children. The parser
// therefore relabels each parent's children as it builds the parent
// (relabelChildren) instead of walking every finished tree; the walk stays
// for trees built or changed elsewhere.
#pragma once

#include "qvcmnexpr/xvisit.h"

class XPreValidateVisitor : public XVisitor {
public:
    XPreValidateVisitor() = default;
    ~XPreValidateVisitor() override;

    EXVisitorType getVisitorType() const override { return eXVT_PRE_VALIDATE; }
    // Relabels the whole tree in post order; `tree` must be given. The walk's
    // result (0 on a well-formed tree).
    int visitSyntaxTree(XTree* tree, XStack* stack, void* data) override;

    // The relabelling of one node; leaves every node but a reference alone.
    static void relabel(XNode* node);
    // The relabelling of every child of `parent`, which has all its
    // children: the walk's result for them, in time linear in their number.
    static void relabelChildren(XNodeParent* parent);
    // Whether a parent of kind `id` gives any child a role of its own; the
    // parser asks this of every parent it builds, so it is inline.
    static bool givesChildrenRoles(EXNodeId id) {
        return id == eXNI_TYPE || id == eXNI_DOT || id == eXNI_DOTDOT || id == eXNI_EXTFUNC;
    }

protected:
#define VISIT_OP(Op, KIND) \
    int visit##Op##Node(XNode* node) override { return relabelled(node); }
#include "qvcmnexpr/xnodevisits.def"

private:
    static int relabelled(XNode* node) {
        relabel(node);
        return 0;
    }
};
