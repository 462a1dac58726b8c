// XExprStrInfo: the expression text behind one syntax tree. It keeps the
// text the tree was parsed from and the text its node positions currently
// index (the same text until the reverse parser regenerates it, after which
// the regenerated text is owned here), so messages can quote the token at a
// node, and the places in that text where references stand, so references
// can be renamed in place without writing the rest of the text anew.
#pragma once

#include <cstddef>
#include <new>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcmnexpr/xrefreplacer.h"
#include "qvcutils.h"

class QvUString;
class XNode;

using XRefInfoList = QVTValOrderedVector<XRefInfo>;

class QVCMNEXPR_API XExprStrInfo {
public:
    XExprStrInfo() = default;
    // Frees the current text when it is owned, and the entries' objects
    // under eXRIT_OWNED.
    ~XExprStrInfo();
    // A copy would share an owned text or owned entries and free them twice.
    XExprStrInfo(const XExprStrInfo&) = delete;
    XExprStrInfo& operator=(const XExprStrInfo&) = delete;
    // Made from the per-thread node slabs (xnode.cpp), beside the nodes
    // of the tree that holds it, rather than from the general heap.
    static void* operator new(size_t size);
    static void* operator new(size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* p, size_t size) noexcept;
    static void* operator new(size_t, void* at) noexcept { return at; }
    static void operator delete(void*, void*) noexcept {}

    // ---- texts ----
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

    // ---- the reference list ----
    // A reference is a reference node, or a widget call other than LOOKUP
    // whose name is the place that counts.
    static int isRef(const XNode* node);
    static int isWidgetRef(const XNode* node);

    // Records a reference; anything else is ignored with 0. A plain
    // reference is appended: 0 when it follows the previous entry in the
    // text, -1 when not (it stays recorded) or when the list was converted.
    // A widget reference goes through insertWidgetRefNode.
    int addRefNode(const XNode* node);
    // Inserts a widget reference by the begin of its name, keeping the list
    // ordered: the validator meets a call after the references among its
    // arguments. 0 (nothing recorded) while widget references are not
    // collected; -1 when the list was converted or no name is found.
    int insertWidgetRefNode(const XNode* node);
    // Empties the list when `type` is the list's type (freeing owned
    // entries' objects); -1 and nothing changed otherwise.
    int clearRefList(EXRefInfoType type);
    // Lets `converter` change every entry in list order, then takes on its
    // new type. Returns 0.
    int convertRefInfos(const XRefInfoConverter& converter);
    const XRefInfoList& getRefList() const { return m_refList; }
    EXRefInfoType getRefInfoType() const { return m_refInfoType; }

    // Stops recording widget references for good.
    void disableCollectingWidgetRef() { m_collectWidgetRef = 0; }
    int hasWidgetRef() const { return m_collectWidgetRef; }

    // ---- rewriting ----
    // The current text with the references that `replacer` chooses replaced;
    // everything else is copied as written. 0, or -1 when the replacer
    // refuses (`out` is then partial and to be discarded).
    int getExprWithRefReplaced(QvUString& out, const XRefReplacer& replacer);
    // The same over [from, to) of the current text: references outside the
    // span are neither asked about nor copied.
    int getExprWithRefReplaced(QvUString& out, const XRefReplacer& replacer, int from, int to);

    // ---- texts of nodes ----
    // The text that stands for `node`, in this order of preference: its
    // kind's fixed spelling; for a widget reference its token in the current
    // text; its own slice of the current text; for a constant without a
    // slice its printed value. `text` need not end after `length` units.
    // `owned` 1 means the caller frees `text` with delete[]. -1 when there
    // is no text.
    int getNodeToken(const XNode* node, const unsigned short*& text, int& length, int& owned) const;
    // The called object's whole name as written (:LKP.MyLookup in
    // :LKP.MyLookup(a)): from the first unit of the node that is neither "("
    // nor white space up to the first "(". -1 without a "(" inside the node.
    int getWidgetTokenBeginEnd(const XNode* node, int& begin, int& end) const;
    // The last component of that name (MyLookup): the span a widget
    // reference occupies in the reference list.
    int getWidgetNameBeginEnd(const XNode* node, int& begin, int& end) const;

private:
    void freeCurExprIfOwned();
    void setCurExpr(const unsigned short* text);
    void freeOwnedEntries();
    // [begin, end) of the node within the current text when it has one.
    int getNodeSlice(const XNode* node, int& begin, int& end) const;
    int getConstValueText(const XNode* node, const unsigned short*& text, int& length,
                          int& owned) const;
    // Index at which an entry beginning at `begin` keeps the list ordered.
    size_t findWidgetInsertIndex(int begin);

    static constexpr size_t cInitialRefListCapacity = 64;

    const unsigned short* m_origExpr = nullptr;
    const unsigned short* m_curExpr = nullptr;
    // Kept with the text once measured: every node's slice is checked
    // against it, and measuring the text each time would make writing a
    // long expression quadratic.
    static constexpr size_t cLengthUnknown = static_cast<size_t>(-1);
    size_t curExprLength() const;
    mutable size_t m_curExprLength = 0;
    int m_curExprOwned = 0;
    XRefInfoList m_refList{cInitialRefListCapacity};
    EXRefInfoType m_refInfoType = eXRIT_NODE;
    int m_collectWidgetRef = 1;
};
