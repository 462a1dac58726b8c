// Expression-text bookkeeping of a tree: the original and current text, who
// frees the current one, and the reference list kept in text order.
//
// Nothing here asserts: every failure is a -1 that the caller (a message
// line, the reverse parser, a caller's rewrite) decides how to treat.
#include "qvcmnexpr/xexprstrinfo.h"

#include "qvcmnexpr/xdata.h"
#include "qvcmnexpr/xenum.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xnodeconst.h"
#include "qvcmnexpr/xtoken.h"
#include "qvi18n.h"
#include "xlexer.h"
#include "xnodeblock.h"

XNODEBLOCK_DEFINE_CLASS_ALLOCATION(XExprStrInfo)

XExprStrInfo::~XExprStrInfo() {
    freeCurExprIfOwned();
    freeOwnedEntries();
}

void XExprStrInfo::freeCurExprIfOwned() {
    if (m_curExprOwned) {
        if (m_origExpr == m_curExpr) m_origExpr = nullptr;  // never left dangling
        delete[] m_curExpr;
    }
    setCurExpr(nullptr);
    m_curExprOwned = 0;
}

// The length is measured when first asked: most trees are never sliced or
// rewritten, and measuring every text would cost each parse a pass over it.
void XExprStrInfo::setCurExpr(const unsigned short* text) {
    m_curExpr = text;
    m_curExprLength = cLengthUnknown;
}

size_t XExprStrInfo::curExprLength() const {
    if (m_curExprLength == cLengthUnknown) m_curExprLength = m_curExpr ? qvUStrlen(m_curExpr) : 0;
    return m_curExprLength;
}

void XExprStrInfo::freeOwnedEntries() {
    if (m_refInfoType != eXRIT_OWNED) return;
    for (XRefInfo& entry : m_refList) {
        delete entry.getHeldRefInfo();
        entry.setHeldRefInfo(nullptr);
    }
}

int XExprStrInfo::setOrigExpr(const unsigned short* text) {
    if (m_origExpr || m_curExpr || m_curExprOwned) return -1;
    m_origExpr = text;
    setCurExpr(text);
    return 0;
}

int XExprStrInfo::updateCurExpr(const unsigned short* text, int owned) {
    // Re-installing the text already held only changes who frees it.
    if (text != m_curExpr) freeCurExprIfOwned();
    setCurExpr(text);
    m_curExprOwned = owned ? 1 : 0;
    return 0;
}

int XExprStrInfo::updateOrigAndCurExpr(const unsigned short* text) {
    // The text held already stays owned if it was; any other owned text is
    // freed here, so an owned text is freed exactly once.
    if (text != m_curExpr) freeCurExprIfOwned();
    m_origExpr = text;
    setCurExpr(text);
    return 0;
}

// ---------------------------------------------------------------- references

int XExprStrInfo::isWidgetRef(const XNode* node) {
    return node && node->isWidgetNode() && node->getId() != eXNI_LOOKUP ? 1 : 0;
}

int XExprStrInfo::isRef(const XNode* node) {
    return node && (node->isRefNode() || isWidgetRef(node)) ? 1 : 0;
}

int XExprStrInfo::addRefNode(const XNode* node) {
    if (!isRef(node)) return 0;
    if (isWidgetRef(node)) return insertWidgetRefNode(node);
    if (m_refInfoType != eXRIT_NODE) return -1;
    m_refList.append(XRefInfo(node));
    const size_t count = m_refList.entries();
    if (count < 2) return 0;
    // Plain references arrive in post-order, which is text order; anything
    // else means positions that cannot be trusted for a rewrite. The list
    // holds XRefInfo values themselves, so their own rule gives the earlier
    // entry's place (without a virtual call per reference), and the new
    // entry's place is its node's.
    int b = 0, e = 0;
    if (m_refList[count - 2].XRefInfo::getPosBeginEnd(this, m_refInfoType, b, e) != 0) return -1;
    const int B = node->getPosBegin().toInteger();
    const int E = node->getPosEnd().toInteger();
    return b < e && e <= B && B < E ? 0 : -1;
}

size_t XExprStrInfo::findWidgetInsertIndex(int begin) {
    size_t i = m_refList.entries();
    for (; i > 0; --i) {
        int b = 0, e = 0;
        // An entry without a position is not known to begin after the new
        // one, so the scan stops there.
        if (m_refList[i - 1].getPosBeginEnd(this, m_refInfoType, b, e) != 0 || b <= begin) break;
    }
    return i;
}

int XExprStrInfo::insertWidgetRefNode(const XNode* node) {
    if (!m_collectWidgetRef) return 0;
    if (m_refInfoType != eXRIT_NODE || !isWidgetRef(node)) return -1;
    int begin = 0, end = 0;
    if (getWidgetNameBeginEnd(node, begin, end) != 0) return -1;
    m_refList.insertAt(findWidgetInsertIndex(begin), XRefInfo(node));
    return 0;
}

int XExprStrInfo::clearRefList(EXRefInfoType type) {
    if (type != m_refInfoType) return -1;
    freeOwnedEntries();
    m_refList.clear();
    return 0;
}

int XExprStrInfo::convertRefInfos(const XRefInfoConverter& converter) {
    for (XRefInfo& entry : m_refList) converter.convertRefInfo(this, &entry, m_refInfoType);
    m_refInfoType = converter.getNewRefInfoType();
    return 0;
}

// ---------------------------------------------------------------- rewriting

int XExprStrInfo::getExprWithRefReplaced(QvUString& out, const XRefReplacer& replacer) {
    return getExprWithRefReplaced(out, replacer, 0, static_cast<int>(curExprLength()));
}

int XExprStrInfo::getExprWithRefReplaced(QvUString& out, const XRefReplacer& replacer, int from,
                                         int to) {
    if (!hasWidgetRef() && replacer.isWidgetRefRequired() != 0) return -1;
    out.makeEmpty();
    // A span outside the text would copy memory that is not the expression.
    if (!m_curExpr || from < 0 || to < from || static_cast<size_t>(to) > curExprLength())
        return -1;
    int cursor = from;
    for (XRefInfo& entry : m_refList) {
        int begin = 0, end = 0;
        if (entry.getPosBeginEnd(this, m_refInfoType, begin, end) != 0) return -1;
        // Before the cursor means before `from`, or an entry overlapping one
        // already copied: neither can be replaced in this span.
        if (begin < cursor || end < begin) continue;
        if (end > to) break;
        QvUString newText;
        int replace = 0;
        if (replacer.getReplacement(&entry, m_refInfoType, newText, replace) != 0) return -1;
        if (!replace) continue;
        out.append(m_curExpr + cursor, static_cast<size_t>(begin - cursor));
        out.append(newText);
        cursor = end;
    }
    out.append(m_curExpr + cursor, static_cast<size_t>(to - cursor));
    return 0;
}

// ---------------------------------------------------------------- node texts

int XExprStrInfo::getWidgetTokenBeginEnd(const XNode* node, int& begin, int& end) const {
    int from = 0, to = 0;
    if (getNodeSlice(node, from, to) != 0) return -1;
    int pos = from;
    while (pos < to && (m_curExpr[pos] == XToken::gcLeftParen ||
                        XLexer::stc_checkIsAnySpaceToken(m_curExpr[pos])))
        ++pos;
    int stop = pos;
    while (stop < to && m_curExpr[stop] != XToken::gcLeftParen) ++stop;
    if (stop >= to) return -1;
    begin = pos;
    end = stop;
    return 0;
}

int XExprStrInfo::getWidgetNameBeginEnd(const XNode* node, int& begin, int& end) const {
    int tokBegin = 0, tokEnd = 0;
    if (getWidgetTokenBeginEnd(node, tokBegin, tokEnd) != 0) return -1;
    int nameBegin = tokEnd;
    while (nameBegin > tokBegin && m_curExpr[nameBegin - 1] != XToken::gcPeriod) --nameBegin;
    begin = nameBegin;
    end = tokEnd;
    return 0;
}

int XExprStrInfo::getNodeSlice(const XNode* node, int& begin, int& end) const {
    if (!node || !m_curExpr) return -1;
    const int b = node->getPosBegin().toInteger();
    const int e = node->getPosEnd().toInteger();
    // Positions beyond the text (a node of another text) give no slice
    // rather than a read past its end.
    if (b < 0 || e <= b || static_cast<size_t>(e) > curExprLength()) return -1;
    begin = b;
    end = e;
    return 0;
}

namespace {

// The kind's fixed spelling, or null for kinds written as they stand in the
// text and for kinds without a row ("?:").
const QvUString* fixedSpelling(const XNode* node) {
    const QvUString* text = XToken::getTokenString(node->getId());
    if (!text || text == &XEnum::cls_unknownEnumUStr || *text == XEnum::cls_unknownEnumUStr)
        return nullptr;
    return text;
}

// What xdataToUString reads for a constant: string constants keep their text
// in a QvtStr, whose class follows from the data type the creators gave.
const void* printableValue(const XNode* node) {
    const void* data = node->getDataPtr();
    switch (node->getDataType().toInteger()) {
    case eXDT_STRING:
        return static_cast<const QvtStr<char>*>(data)->getBuffer();
    case eXDT_UNISTRING:
        return static_cast<const QvtStr<unsigned short>*>(data)->getBuffer();
    default:
        return data;
    }
}

}  // namespace

int XExprStrInfo::getConstValueText(const XNode* node, const unsigned short*& text, int& length,
                                    int& owned) const {
    if (!node->isConstNode() || !node->isValueAvailable()) return -1;
    const int maxChars = node->getNumCharsMax().toInteger();
    unsigned short* printed = xdataToUString(node->getDataType(), const_cast<void*>(printableValue(node)),
                                             const_cast<short*>(node->getIndPtr()),
                                             maxChars < 0 ? kXDataNoCharsMax : maxChars, 0);
    if (!printed) return -1;
    text = printed;
    length = static_cast<int>(qvUStrlen(printed));
    owned = 1;
    return 0;
}

int XExprStrInfo::getNodeToken(const XNode* node, const unsigned short*& text, int& length,
                               int& owned) const {
    if (!node) return -1;
    int begin = 0, end = 0;
    if (const QvUString* spelling = fixedSpelling(node)) {
        text = spelling->getBuffer();
        length = static_cast<int>(spelling->length());
    } else if (isWidgetRef(node)) {
        if (getWidgetTokenBeginEnd(node, begin, end) != 0) return -1;
        text = m_curExpr + begin;
        length = end - begin;
    } else if (getNodeSlice(node, begin, end) == 0) {
        text = m_curExpr + begin;
        length = end - begin;
    } else {
        return getConstValueText(node, text, length, owned);
    }
    owned = 0;
    return 0;
}
