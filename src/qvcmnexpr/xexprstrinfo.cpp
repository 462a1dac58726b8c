// Expression-text bookkeeping of a tree: the original and current text and
// who frees the current one.
#include "qvcmnexpr/xexprstrinfo.h"

#include "qvcmnexpr/xnode.h"

XExprStrInfo::~XExprStrInfo() { freeCurExprIfOwned(); }

void XExprStrInfo::freeCurExprIfOwned() {
    if (m_curExprOwned) {
        if (m_origExpr == m_curExpr) m_origExpr = nullptr;  // never left dangling
        delete[] m_curExpr;
    }
    m_curExpr = nullptr;
    m_curExprOwned = 0;
}

int XExprStrInfo::setOrigExpr(const unsigned short* text) {
    if (m_origExpr || m_curExpr || m_curExprOwned) return -1;
    m_origExpr = text;
    m_curExpr = text;
    return 0;
}

int XExprStrInfo::updateCurExpr(const unsigned short* text, int owned) {
    // Re-installing the text already held only changes who frees it.
    if (text != m_curExpr) freeCurExprIfOwned();
    m_curExpr = text;
    m_curExprOwned = owned ? 1 : 0;
    return 0;
}

int XExprStrInfo::updateOrigAndCurExpr(const unsigned short* text) {
    // The text held already stays owned if it was; any other owned text is
    // freed here, so an owned text is freed exactly once.
    if (text != m_curExpr) freeCurExprIfOwned();
    m_origExpr = text;
    m_curExpr = text;
    return 0;
}

int XExprStrInfo::isWidgetRef(const XNode* node) {
    return node && node->isWidgetNode() && node->getId() != eXNI_LOOKUP ? 1 : 0;
}

int XExprStrInfo::isRef(const XNode* node) {
    return node && (node->isRefNode() || isWidgetRef(node)) ? 1 : 0;
}
