// Relabelling of reference nodes by their place in the tree, run once on
// every freshly parsed tree before validation.
#include "xprevalidatevisitor.h"

#include "qvcmnasrt.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtree.h"
#include "qvi18n.h"

namespace {

constexpr const char* kUnit = "xprevalidatevisitor";
constexpr char kStructConstructor[] = "struct";
constexpr size_t kStructConstructorLength = sizeof(kStructConstructor) - 1;

// A call of the external function "struct" (any case): its arguments
// alternate field name, value, so the even positions hold names.
bool isStructConstructor(const XNodeParent* parent) {
    if (parent->getId() != eXNI_EXTFUNC) return false;
    XTokName* name = static_cast<const XNodeWidget*>(parent)->getTokName();
    if (!name) return false;
    const QvUString& text = name->getLast()->getName();
    return text.length() == kStructConstructorLength &&
           qvUAStrnicmp(text.getBuffer(), kStructConstructor, kStructConstructorLength) == 0;
}

// The kind a reference under `parent` takes; eXNI_NONE when it keeps its
// own. `indexOf` yields the reference's index in `parent`; it may be a
// linear search, so it is asked only for the parents where the position
// matters: a call with 100000 arguments would otherwise make this pass
// quadratic.
template <class IndexOf>
EXNodeId roleOf(const XNodeParent* parent, IndexOf indexOf) {
    const EXNodeId parentId = parent->getId();
    if (parentId == eXNI_TYPE) return eXNI_NESTEDPORTREF;
    if (parentId == eXNI_DOT || parentId == eXNI_DOTDOT)
        return indexOf() == 1 ? eXNI_NESTEDPORTREF : eXNI_NONE;
    if (isStructConstructor(parent))
        return indexOf() % 2 == 0 ? eXNI_FUNC_IDENTIFIER : eXNI_NONE;
    return eXNI_NONE;
}

}  // namespace

XPreValidateVisitor::~XPreValidateVisitor() = default;

int XPreValidateVisitor::visitSyntaxTree(XTree* tree, XStack* stack, void*) {
    QV_ASSERT(tree != nullptr, kUnit);
    return visitTreePostOrder("pvld", tree, stack);
}

void XPreValidateVisitor::relabelChildren(XNodeParent* parent) {
    // Most parents take no part (roleOf gives roles under these kinds only);
    // rule them out before touching a child.
    if (!givesChildrenRoles(parent->getId())) return;
    const int count = parent->getNumChildren();
    for (int i = 0; i < count; ++i) {
        XNode* child = parent->getChild(i);
        if (!child || !child->isRefNode()) continue;
        const EXNodeId role = roleOf(parent, [i] { return i; });
        if (role != eXNI_NONE) child->changeId(role);
    }
}

void XPreValidateVisitor::relabel(XNode* node) {
    if (!node->isRefNode()) return;
    const XNodeParent* parent = node->getParent();
    if (!parent) return;
    const EXNodeId role = roleOf(parent, [node] { return node->getMyIndexInParent(); });
    if (role != eXNI_NONE) node->changeId(role);
}
