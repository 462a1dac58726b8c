// Positions of reference-list entries: node entries answer from the node (a
// widget call by the name inside it), converted entries from the object a
// converter put into them.
#include "qvcmnexpr/xrefreplacer.h"

#include "qvcmnexpr/xexprstrinfo.h"
#include "qvcmnexpr/xnode.h"

int XRefInfo::getPosBeginEnd(XExprStrInfo* info, EXRefInfoType type, int& begin, int& end) const {
    if (type != eXRIT_NODE) {
        const XRefInfo* held = getHeldRefInfo();
        // An entry holding itself would forward forever.
        if (!held || held == this) return -1;
        return held->getPosBeginEnd(info, type, begin, end);
    }
    const XNode* node = getNode();
    if (!node) return -1;
    if (XExprStrInfo::isWidgetRef(node)) return info ? info->getWidgetNameBeginEnd(node, begin, end) : -1;
    begin = node->getPosBegin().toInteger();
    end = node->getPosEnd().toInteger();
    return 0;
}
