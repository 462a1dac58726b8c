// XExprStrInfo: the expression text behind one syntax tree. It keeps the
// text the tree was parsed from and the text its node positions currently
// index (the same text until the reverse parser regenerates it, after which
// the regenerated text is owned here), so messages can quote the token at a
// node and references can be rewritten in place.
#pragma once

#include "qvcmnexpr/qvcmnexpr_export.h"

class XNode;

class QVCMNEXPR_API XExprStrInfo {
public:
    XExprStrInfo() = default;
    ~XExprStrInfo();  // frees the current text when it is owned
    // A copy would share an owned text and free it twice.
    XExprStrInfo(const XExprStrInfo&) = delete;
    XExprStrInfo& operator=(const XExprStrInfo&) = delete;

    // Only on a fresh record: sets both texts to `text` (not owned); 0, or
    // -1 with nothing changed when a text was set before.
    int setOrigExpr(const unsigned short* text);
    // Installs `text` as the current text, freeing an owned previous one.
    // An owned text must come from new[] (as QvUString::getBufferCopy makes).
    int updateCurExpr(const unsigned short* text, int owned);
    // Sets both texts to `text`, not owned; an owned current text is freed.
    int updateOrigAndCurExpr(const unsigned short* text);
    const unsigned short* getOrigExpr() const { return m_origExpr; }
    const unsigned short* getCurExpr() const { return m_curExpr; }
    int isCurExprOwned() const { return m_curExprOwned; }

    // A reference is a reference node, or a widget call other than LOOKUP
    // whose name is the place that counts.
    static int isRef(const XNode* node);
    static int isWidgetRef(const XNode* node);

    // Stops recording widget references for good.
    void disableCollectingWidgetRef() { m_collectWidgetRef = 0; }
    int hasWidgetRef() const { return m_collectWidgetRef; }

private:
    void freeCurExprIfOwned();

    const unsigned short* m_origExpr = nullptr;
    const unsigned short* m_curExpr = nullptr;
    int m_curExprOwned = 0;
    int m_collectWidgetRef = 1;
};
