// XPreValidateVisitor: the pass between parsing and validation that gives
// reference nodes the role their position implies. The grammar builds every
// identifier as a plain reference; only the tree shows that b in a.b is a
// member name, or that the odd-numbered arguments of struct(...) are field
// names. Only node kinds change: nothing is created, freed, typed or reported.
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
