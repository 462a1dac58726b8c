// Reference rewriting: the entries of an expression's reference list and the
// two interfaces through which a caller renames references in place.
//
// A caller that renames a port, a variable or a lookup must rewrite each
// expression mentioning it without touching anything else the user wrote
// (spacing, comments, spelling). The expression-string record keeps one
// XRefInfo per reference, in text order; XRefReplacer decides, reference by
// reference, what text replaces it, and XRefInfoConverter lets a caller move
// the entries into a coordinate system of its own (for example an expression
// embedded in a longer text).
#pragma once

#include "qvcmnexpr/qvcmnexpr_export.h"

class QvUString;
class XExprStrInfo;
class XNode;

// The kind of a whole reference list. eXRIT_NODE: the entries hold nodes and
// positions are the nodes' positions in the current text. Every other value
// belongs to the converter that produced it; of those, eXRIT_OWNED alone
// means that the list owns (and deletes) the objects its entries hold.
enum EXRefInfoType : int {
    eXRIT_NODE = 0,
    eXRIT_OWNED = 1,
};

// One entry of the reference list: a plain value holding one pointer, to the
// reference node while the list has the type eXRIT_NODE, or, after a
// conversion, to a caller's XRefInfo subclass that answers getPosBeginEnd
// itself. Copies share the pointer; equality is pointer identity.
class QVCMNEXPR_API XRefInfo {
public:
    XRefInfo() = default;
    explicit XRefInfo(const XNode* node) : m_held(node) {}
    XRefInfo(const XRefInfo&) = default;
    XRefInfo& operator=(const XRefInfo&) = default;
    virtual ~XRefInfo() = default;

    // The span [begin, end) of the reference: for eXRIT_NODE the node's
    // positions in `info`'s current text, narrowed to the name inside the
    // call for a widget reference; for any other type the held object's
    // answer. 0, or -1 when there is nothing to answer from.
    virtual int getPosBeginEnd(XExprStrInfo* info, EXRefInfoType type, int& begin, int& end) const;

    bool operator==(const XRefInfo& other) const { return m_held == other.m_held; }

    // Meaningful only under eXRIT_NODE.
    const XNode* getNode() const { return static_cast<const XNode*>(m_held); }
    // Meaningful only after a conversion.
    XRefInfo* getHeldRefInfo() const { return static_cast<XRefInfo*>(const_cast<void*>(m_held)); }
    // A converter re-targets an entry here; whether the list then owns
    // `held` depends on the type the converter reports (eXRIT_OWNED).
    void setHeldRefInfo(XRefInfo* held) { m_held = held; }

private:
    const void* m_held = nullptr;
};

// Decides what replaces each reference in a rewrite. Implemented by callers.
class QVCMNEXPR_API XRefReplacer {
public:
    virtual ~XRefReplacer() = default;
    // Asked for each reference of the rewritten span. Set `replace` to 1 and
    // fill `newText` to replace it; leave `replace` 0 to keep it as written.
    // Anything but 0 returned aborts the rewrite.
    virtual int getReplacement(XRefInfo* ref, EXRefInfoType type, QvUString& newText,
                               int& replace) const = 0;
    // Asked only when the list holds no widget references (their collection
    // was switched off): a non-zero answer refuses the rewrite, for replacers
    // that rename lookups and other called objects.
    virtual int isWidgetRefRequired() const = 0;
};

// Re-targets the entries of a reference list. Implemented by callers.
class QVCMNEXPR_API XRefInfoConverter {
public:
    virtual ~XRefInfoConverter() = default;
    // The list's type once every entry is converted.
    virtual EXRefInfoType getNewRefInfoType() const = 0;
    // Changes `entry` in place (usually through setHeldRefInfo); `curType`
    // is the list's type before the conversion.
    virtual void convertRefInfo(XExprStrInfo* info, XRefInfo* entry, EXRefInfoType curType) const = 0;
};
