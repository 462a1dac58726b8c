// Nodes of the syntax tree.
//
// A node's kind (EXNodeId) alone decides its class, how it is validated and
// how it is printed; the kinds are listed once in xnodekinds.def. Leaves are
// XNodeKeyword, XNodeRef and the constants (XNodeConstBase); XNodeParent adds
// an ordered child list for operators, functions (XNodeOpt) and calls of
// external objects (XNodeWidget).
//
// Ownership: a node owns its metadata record and its visit action, and frees
// the caller's srvInfo/optInfo through their deleters. It never owns its
// children, its name chain (the tree's token allocator does) or the nodes and
// programs it merely points at. Whole trees are freed by XTree. Nodes are made
// only through the create operations, which return null when memory runs out.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcmnexpr/xnodeid.h"
#include "qvcmnexpr/xtype.h"
#include "qvcutils.h"

class XMetadata;
class XNode;
class XNodeParent;
class XTokName;
class XProgram;
class XNodeSrvInfo;
class XNodeOptInfo;
// Deferred work attached to a node by a tree walk; polymorphic with a virtual
// destructor. Defined with the visitor framework.
class XVisitAction;
// The caller's per-node attachments (srvInfo, optInfo, a record not made
// with the node); private to xnode.cpp.
struct XNodeAttachments;

using XNodeList = QVTValOrderedVector<XNode*>;
using XNodeInfoDeleter = void (*)(void*);
// Frees a visit action. The visitor framework passes one that sees the
// action's complete class, so nodes can own actions without knowing them.
using XVisitActionDeleter = void (*)(XVisitAction*);

// Validation results of one node. A plain value: copies share the visit
// action pointer, which only the node holding this block frees.
class QVCMNEXPR_API XNodeCmnInfo {
public:
    XNodeCmnInfo() = default;

    void setAllFieldsToDummy();     // the six value fields to eXMINT_DUMMY
    void setAllFieldsToNoChange();  // the six value fields to eXMINT_NOCHANGE

    XAggLevel getAggLevel() const { return m_aggLevel; }
    void setAggLevel(XAggLevel level) { m_aggLevel.set(level); }
    XOp getOp() const { return m_op; }
    void setOp(XOp op) { m_op.set(op); }
    XType getAugType() const { return XType(m_augType); }
    void setAugType(XType type) { m_augType = type.toInteger(); }
    XBooleanInt getConstness() const { return m_constness; }
    void setConstness(XBooleanInt constness) { m_constness.set(constness); }
    int isConstnessTrue() const { return m_constness.isTrue() ? 1 : 0; }
    XTypeParentExpectsIndicator getParentExpects() const { return m_parentExpects; }
    void setParentExpects(XTypeParentExpectsIndicator expects) { m_parentExpects.set(expects); }
    XResultTypeIndicator getResultTypeIndicator() const { return m_resultTypeIndicator; }
    void setResultTypeIndicator(XResultTypeIndicator rt) { m_resultTypeIndicator.set(rt); }

    XVisitAction* getVisitAction() const {
        return reinterpret_cast<XVisitAction*>(visitActionWord() & ~cDeleterSlotMask);
    }
    // Stores `action` with the function that frees it; an action already held
    // is not released (the visitor framework chains actions itself).
    void setVisitAction(XVisitAction* action, XVisitActionDeleter deleter);
    // Frees the held action (the whole chain) and clears the field.
    void deleteVisitAction();
    int getSkipPreVisit() const { return m_skipPreVisit; }
    void setSkipPreVisit(int skip) { m_skipPreVisit = skip; }

private:
    void setAllValueFields(int value);

    // Every node carries this block, so it is kept dense: the type is held
    // as its number (an XType object would add its vtable pointer). The
    // action's deleter is named by its slot in a small process-wide table
    // (a program has one or two deleters, never one per action; any beyond
    // the table are looked up by address), kept in the low bits of the
    // action's address, which an object with a vtable never uses. The word is stored as bytes so that the block needs only
    // 4-byte alignment and packs into the node beside its kind.
    static constexpr uintptr_t cDeleterSlotMask = 7;
    uintptr_t visitActionWord() const {
        uintptr_t word;
        std::memcpy(&word, m_visitActionWord, sizeof word);
        return word;
    }
    void setVisitActionWord(uintptr_t word) { std::memcpy(m_visitActionWord, &word, sizeof word); }

    XAggLevel m_aggLevel;
    XOp m_op;
    int32_t m_augType = eXMINT_UNINIT;
    XBooleanInt m_constness;
    XTypeParentExpectsIndicator m_parentExpects;
    XResultTypeIndicator m_resultTypeIndicator;
    int m_skipPreVisit = 0;
    unsigned char m_visitActionWord[sizeof(uintptr_t)] = {};  // 0: no action
};

class QVCMNEXPR_API XNode {
public:
    virtual ~XNode();
    XNode(const XNode&) = delete;
    XNode& operator=(const XNode&) = delete;
    // Nodes live in small per-thread slabs rather than one by one on the
    // heap (xnode.cpp says why); these route every node there and back.
    static void* operator new(size_t size);
    static void operator delete(void* p, size_t size) noexcept;
    static void* operator new(size_t, void* at) noexcept { return at; }
    static void operator delete(void*, void*) noexcept {}

    // Null for leaves; the child list for parent nodes.
    virtual const XNodeList* getChildrenV() const;
    // The value and its 16-bit null indicator (-1 null); null except on constants.
    virtual const void* getDataPtr() const;
    virtual const short* getIndPtr() const;

    // ---- kind ----
    EXNodeId getId() const { return m_id; }
    // Relabels the node in place; its class and metadata stay.
    void changeId(EXNodeId id) { m_id = id; }
    // The debug name of a kind, or XEnum's unknown text for kinds without one.
    static const char* idToString(EXNodeId id);
    const char* idToString() const { return idToString(m_id); }

    // ---- group predicates (1 or 0) ----
    static int stc_isConstNode(EXNodeId id) { return inGroup(id, eXNI_CONST_START, eXNI_REF_START); }
    static int stc_isWflowConst(EXNodeId id) { return inGroup(id, eXNI_WFLOWCONST_START, eXNI_REF_START); }
    static int stc_isRefNode(EXNodeId id) { return inGroup(id, eXNI_REF_START, eXNI_WIDGET_START); }
    static int stc_isWidgetNode(EXNodeId id) { return inGroup(id, eXNI_WIDGET_START, eXNI_KEYWORD_START); }
    static int stc_isKeywordNode(EXNodeId id) { return inGroup(id, eXNI_KEYWORD_START, eXNI_OPT_START); }
    static int stc_isOptNode(EXNodeId id) { return inGroup(id, eXNI_OPT_START, eXNI_OPT_END); }
    static int stc_isCondExecOpt(EXNodeId id) { return inGroup(id, eXNI_CONDEXEC_START, eXNI_AGG_END); }
    static int stc_isFuncOpt(EXNodeId id) { return inGroup(id, eXNI_FUNC_START, eXNI_OPT_END); }
    static int stc_isFilterOpt(EXNodeId id) { return inGroup(id, eXNI_FILTER_START, eXNI_AGG_END); }
    static int stc_isAggOpt(EXNodeId id) { return inGroup(id, eXNI_AGG_START, eXNI_AGG_END); }
    static int stc_isMathOpt(EXNodeId id) { return inGroup(id, eXNI_MATH_START, eXNI_OPT_END); }
    static int stc_isParentNode(EXNodeId id) { return stc_isOptNode(id) | stc_isWidgetNode(id); }
    static int stc_isExtFuncNode(EXNodeId id) { return id == eXNI_EXTFUNC ? 1 : 0; }
    static int stc_isMacroNode(EXNodeId id) { return id == eXNI_MACRO ? 1 : 0; }
    static int stc_isNestedPortRefNode(EXNodeId id) { return id == eXNI_NESTEDPORTREF ? 1 : 0; }
    static int stc_isNullNode(EXNodeId id) { return id == eXNI_NULL ? 1 : 0; }
    static int stc_isDummyParentOfRoot(EXNodeId id) { return id == eXNI_FUNC_START ? 1 : 0; }

    int isConstNode() const { return stc_isConstNode(m_id); }
    int isWflowConst() const { return stc_isWflowConst(m_id); }
    int isRefNode() const { return stc_isRefNode(m_id); }
    int isWidgetNode() const { return stc_isWidgetNode(m_id); }
    int isKeywordNode() const { return stc_isKeywordNode(m_id); }
    int isOptNode() const { return stc_isOptNode(m_id); }
    int isCondExecOpt() const { return stc_isCondExecOpt(m_id); }
    int isFuncOpt() const { return stc_isFuncOpt(m_id); }
    int isFilterOpt() const { return stc_isFilterOpt(m_id); }
    int isAggOpt() const { return stc_isAggOpt(m_id); }
    int isMathOpt() const { return stc_isMathOpt(m_id); }
    int isParentNode() const { return stc_isParentNode(m_id); }
    int isExtFuncNode() const { return stc_isExtFuncNode(m_id); }
    int isMacroNode() const { return stc_isMacroNode(m_id); }
    int isNestedPortRefNode() const { return stc_isNestedPortRefNode(m_id); }
    int isNullNode() const { return stc_isNullNode(m_id); }
    int isDummyParentOfRoot() const { return stc_isDummyParentOfRoot(m_id); }
    // The parent is the dummy parent above a tree's root.
    int isRoot() const;
    // The root, or a direct argument of a widget call: its value is seen by
    // something outside the expression.
    int isRefByExternal() const;

    // ---- parent and positions ----
    XNodeParent* getParent() { return m_parent; }
    const XNodeParent* getParent() const { return m_parent; }
    void setParent(XNodeParent* parent) { m_parent = parent; }
    XNonNegInt getPosBegin() const { return m_posBegin; }
    XNonNegInt getPosEnd() const { return m_posEnd; }
    // The begin saved by the first updatePosBeginEnd with keepOrig set, else
    // the current begin.
    XNonNegInt getPosOrigBegin() const;  // kept in the attachments: rarely set
    // eXMINT_NOCHANGE (-3) leaves that position as it is.
    void updatePosBeginEnd(XNonNegInt begin, XNonNegInt end, int keepOrig);

    // ---- metadata ----
    XMetadata* getMetadataPtr() {
        return m_metadataWords ? embeddedMetadata() : externalMetadata();
    }
    const XMetadata* getMetadataConstPtr() const {
        return const_cast<XNode*>(this)->getMetadataPtr();
    }
    XType getDataType() const;
    void setDataType(XType type);
    XNonNegInt getScale() const;
    void setScale(int scale);
    XNonNegInt getNumCharsMax() const;
    void setNumCharsMax(int numChars);
    const void* getTypeConfig() const;
    void setTypeConfig(const void* config);

    // ---- validation results and caller attachments ----
    XNodeCmnInfo* getCmnInfoPtr() { return &m_cmnInfo; }
    const XNodeCmnInfo* getCmnInfoConstPtr() const { return &m_cmnInfo; }
    XNodeSrvInfo* getSrvInfoPtr();
    const XNodeSrvInfo* getSrvInfoPtr() const;
    XNodeOptInfo* getOptInfoPtr();
    const XNodeOptInfo* getOptInfoPtr() const;
    // The node frees `info` with `deleter` when it is destroyed (when both are set).
    void setSrvInfoPtr(XNodeSrvInfo* info, XNodeInfoDeleter deleter);
    void setOptInfoPtr(XNodeOptInfo* info, XNodeInfoDeleter deleter);

    // ---- children (all answer as for a leaf when the node has none) ----
    XNodeList* getChildrenB();  // inline below
    const XNodeList* getChildrenB() const { return getChildrenV(); }
    int getNumChildrenB() const;  // inline below
    // Child `i`; null for a leaf (an invariant when `mustBeParent` is set) and
    // for an index outside the list.
    XNode* getChildB(int i, int mustBeParent) const;
    // The child at the cursor, advancing it past it; null at the end and for
    // leaves. Empty slots are passed over.
    XNode* nextChild();
    void resetNextChild();
    // This node's index in its parent, -2 without one.
    int getMyIndexInParent() const;
    // Puts `other` into this node's slot in its parent; 0 without a parent.
    int replaceMeInParent(XNode* other);

    // 1 when the node holds a value that is not null (constants only).
    int isValueAvailable() const;

protected:
    // A node of kind `id` spanning [begin, end) that owns `metadata`.
    // Inline: the creators build a node per operand and operator, and pass
    // no record (theirs lies in the node's block).
    XNode(EXNodeId id, XNonNegInt begin, XNonNegInt end, std::unique_ptr<XMetadata> metadata)
        : m_id(id), m_posBegin(begin), m_posEnd(end) {
        if (metadata) adoptExternalMetadata(metadata.release());
    }

    // The node as a parent, or null for a leaf; decided by the class (only
    // XNodeParent has a child list), not by the possibly relabelled kind.
    XNodeParent* asParent();
    const XNodeParent* asParent() const;
    // Called by XNodeParent's constructor: tree walks ask every node whether
    // it has children, and a flag answers without a virtual call.
    void markHasChildList() { m_nodeFlags |= cHasChildList; }

    // Builds a node of class Node with a fresh Metadata record in one block,
    // the record right behind the node: half the allocations of a parse,
    // and a node's record next to it in memory. `tailBytes` more bytes follow
    // the record for data the node keeps (a constant's text).
    // `construct(at, tail)` constructs the node at `at` (with no record of
    // its own). The record dies with the node, and the block goes back where
    // it came from. Defined in the private header xnodeblock.h.
    template <class Node, class Metadata, class Construct>
    static Node* newWithMetadata(Construct construct, size_t tailBytes = 0);

private:
    static int inGroup(EXNodeId id, EXNodeId openingMarker, EXNodeId closingMarker) {
        return id > openingMarker && id < closingMarker ? 1 : 0;
    }

    // The record made with the node lies in the node's own block, this
    // many 8-byte words from the node: no pointer to keep. A record handed
    // to the constructor is held by the attachments instead (0 here).
    static constexpr size_t cMetadataWord = 8;
    XMetadata* embeddedMetadata() {
        return reinterpret_cast<XMetadata*>(reinterpret_cast<char*>(this) +
                                            m_metadataWords * cMetadataWord);
    }
    XMetadata* externalMetadata() const;
    // Takes `metadata` (not null) into the attachments.
    void adoptExternalMetadata(XMetadata* metadata);
    XNodeAttachments& attachments();  // made on first use
    // Whether destroying the node has more to do than giving back its
    // block: a visit action, attachments, or a record that holds anything.
    bool ownsMoreThanBlock();
    void releaseOwned();
    // A block from the calling thread's slab, aligned to `align` (a power
    // of two, at most 16).
    static void* allocateBlock(size_t size, size_t align);

    // Every parse makes these by the hundred, so the fields are ordered to
    // leave no padding: 80 bytes in all.
    EXNodeId m_id;
    XNodeCmnInfo m_cmnInfo;
    XNonNegInt m_posBegin;
    XNonNegInt m_posEnd;

protected:
    // XNodeParent's child cursor and a constant's null indicator live here
    // because the base leaves exactly this much room: parents get their
    // cursor and constants their indicator for free.
    int m_nextChildIndex = 0;

private:
    // m_nodeFlags: the node has a child list (XNodeParent) / its record in
    // the block is of a class whose destructor does more than drop the
    // record's side fields (the widget record), so it always runs.
    static constexpr uint8_t cHasChildList = 1;
    static constexpr uint8_t cRecordAlwaysDestroyed = 2;
    uint8_t m_metadataWords = 0;
    uint8_t m_nodeFlags = 0;

protected:
    short m_valueIndicator = 0;

private:
    XNodeParent* m_parent = nullptr;
    // The caller's srvInfo/optInfo and their deleters, the original begin
    // position, and a record not made with the node. Few nodes ever have
    // one, so they sit in a record of their own, made when the first is set.
    // The deleter is defined with the record, so that constructors (inline)
    // need not see it.
    struct AttachmentsDeleter {
        void operator()(XNodeAttachments* attachments) const noexcept;
    };
    std::unique_ptr<XNodeAttachments, AttachmentsDeleter> m_attachments;
};

// Keywords (NULL, SYSDATE, SESSSTARTTIME, ...): leaves without extra data.
class QVCMNEXPR_API XNodeKeyword : public XNode {
public:
    // The metadata's scale is eXMINT_DUMMY: keywords have none.
    static XNodeKeyword* create(EXNodeId id, XNonNegInt begin, XNonNegInt end);
    // A NULL keyword typed `type` (normalised to its host-equivalent type);
    // a string type gets a maximum character count of 0.
    static XNodeKeyword* createNullNode(XNonNegInt begin, XNonNegInt end, XType type);

protected:
    using XNode::XNode;
};

// References to ports and variables. The name chain belongs to the tree's
// token allocator.
class QVCMNEXPR_API XNodeRef : public XNode {
public:
    // Kinds PORTVAR and QUALIFIEDPORTVAR (port record), MAPVAR and WFVAR
    // (variable records); any other kind gives null.
    static XNodeRef* create(EXNodeId id, XTokName* name, XNonNegInt begin, XNonNegInt end);

    XTokName* getTokName() const { return m_tokName; }
    void setTokName(XTokName* name) { m_tokName = name; }

protected:
    XNodeRef(EXNodeId id, XTokName* name, XNonNegInt begin, XNonNegInt end,
             std::unique_ptr<XMetadata> metadata);

private:
    XTokName* m_tokName;
};

template <int N>
class QvDecimal;
class QvDate;
class XMetadataBase;

// Base of constant values (kind CONST, or a predefined-integer kind).
// The creators and the value classes live in xnodeconst.h/.cpp.
class QVCMNEXPR_API XNodeConstBase : public XNode {
public:
    // ---- creators ----
    // Each returns a new node of kind CONST owning a fresh metadata record
    // with the constant's data type and scale eXMINT_DUMMY. Running out of
    // memory is an internal invariant.
    static XNodeConstBase* createConstInt(int v, XNonNegInt begin, XNonNegInt end);
    // An int constant relabelled `kind` (TRUE, DD_INSERT, ...).
    static XNodeConstBase* createConstIntPredefined(EXNodeId kind, int v, XNonNegInt begin,
                                                    XNonNegInt end);
    static XNodeConstBase* createConstBigInt(long long v, XNonNegInt begin, XNonNegInt end);
    static XNodeConstBase* createConstFloat(double v, XNonNegInt begin, XNonNegInt end);
    static XNodeConstBase* createConstDec18(const QvDecimal<2>& v, XNonNegInt begin, XNonNegInt end);
    static XNodeConstBase* createConstDec28(const QvDecimal<3>& v, XNonNegInt begin, XNonNegInt end);
    static XNodeConstBase* createConstDec38(const QvDecimal<4>& v, XNonNegInt begin, XNonNegInt end);
    // The decimal text read at the class's precision. Null when the text is
    // not entirely a decimal number, and, unless `force` is set, when digits
    // had to be rounded away. An integer part wider than the precision
    // throws QvDecException.
    static XNodeConstBase* createConstDec18(const QvUString& text, XNonNegInt begin, XNonNegInt end,
                                            int force);
    static XNodeConstBase* createConstDec28(const QvUString& text, XNonNegInt begin, XNonNegInt end,
                                            int force);
    static XNodeConstBase* createConstDec38(const QvUString& text, XNonNegInt begin, XNonNegInt end,
                                            int force);
    // A value of the host's custom type "Dec38rt" read from the text; null
    // when that type is not registered or cannot read the text.
    static XNodeConstBase* createConstDec38Fixed(const QvUString& text, XNonNegInt begin,
                                                 XNonNegInt end, int force);
    // The text at the configured maximum decimal type, rounding allowed.
    static XNodeConstBase* createConstDecMaxInexact(const QvUString& text, XNonNegInt begin,
                                                    XNonNegInt end);
    // A decimal literal: a double in low-precision mode, else the narrowest
    // exact decimal, then "Dec38rt", then the maximum decimal rounded.
    static XNodeConstBase* createConstDecimal(const QvUString& text, XNonNegInt begin, XNonNegInt end);
    // A string literal in the server's character mode. In 8-bit mode a text
    // with characters that are not single bytes throws
    // XInvalidConstStrException.
    static XNodeConstBase* createConstString(const QvUString& text, XNonNegInt begin, XNonNegInt end);
    // For callers of the library.
    static XNodeConstBase* createConstDate(const QvDate& v, XNonNegInt begin, XNonNegInt end);
    // A copy of `len` bytes; the record is a copy of `md` (BINARY when null)
    // with maximum character count `len`.
    static XNodeConstBase* createConstBinary(const unsigned char* bytes, int len,
                                             const XMetadataBase* md, XNonNegInt begin,
                                             XNonNegInt end);
    // A copy of the value at `data` of the custom type `md` describes; null
    // when that type is not registered with the host.
    static XNodeConstBase* createConstCustom(const void* data, const XMetadataBase* md,
                                             XNonNegInt begin, XNonNegInt end);

    // ---- value access ----
    const void* getDataPtr() const override = 0;
    const short* getIndPtr() const override = 0;
    // The value as int / long long / double: 0 on success, -1 (out unchanged)
    // for a null value or one that does not convert.
    virtual int getIntValueV(int& out) const = 0;
    virtual int getBigIntValueV(long long& out) const = 0;
    virtual int getDoubleValueV(double& out) const = 0;
    // Negates a numeric value in place: 0, or -1 when nothing changed.
    virtual int negateNumericValue() = 0;

    // For constants known to convert: a failure is an internal invariant.
    int getIntValue() const;
    long long getBigIntValue() const;

protected:
    using XNode::XNode;
};

// Nodes with ordered children. Slots may be null after removeChild.
class QVCMNEXPR_API XNodeParent : public XNode {
public:
    const XNodeList* getChildrenV() const override;

    // Adopt `child` (set its parent) at the end / at the front. 0, or -1 when
    // the list cannot grow.
    int appendChildNode(XNode* child);
    int prependChildNode(XNode* child);

    XNode* getChild(int i) const;  // null outside the list
    XNodeList* getChildren() { return &m_children; }
    const XNodeList* getChildren() const { return &m_children; }
    int getNumChildren() const;
    // Linear search from the front; -2 when `child` is not a child.
    int getChildIndex(const XNode* child) const;
    // Puts `newChild` in `oldChild`'s slot and adopts it: 0, or -1 when
    // `oldChild` is not a child. `oldChild` keeps its parent pointer.
    int replaceChild(XNode* oldChild, XNode* newChild);
    static int stc_replaceChild(XNodeParent* parent, XNode* oldChild, XNode* newChild);
    // Empties `child`'s slot (the count stays): 0, or -1 when absent.
    int removeChild(XNode* child);
    // Fills the first empty slot with `newChild`: 0, or -1 when none is empty.
    int replaceRemovedChild(XNode* newChild);
    // Drops the last slot, if any.
    void removeLastChild();

    // The child cursor of walks.
    // The child at the cursor, advancing it; empty slots are passed over;
    // null at the end.
    XNode* getNextChild();
    XNode* getCurChild() const;  // the child the cursor handed out last
    void resetNextChildIndex() { m_nextChildIndex = 0; }
    // Where getNextChild leaves the cursor once it has returned every child.
    void moveNextChildIndexToEnd() { m_nextChildIndex = static_cast<int>(m_children.entries()); }
    int getNextChildIndex() const { return m_nextChildIndex; }

    // Makes room for `count` children in one step (an operator knows how
    // many operands it adopts); the list is otherwise grown as needed.
    void reserveChildren(size_t count) { m_children.reserve(count); }

protected:
    XNodeParent(EXNodeId id, XNonNegInt begin, XNonNegInt end, std::unique_ptr<XMetadata> metadata);

private:
    int insertChildNode(size_t index, XNode* child);

    // Only the list's contents matter to callers, so it gets no initial
    // capacity hint: its first three children live in the list itself,
    // which holds all the operands of nearly every operator and function,
    // and longer lists grow on demand.
    XNodeList m_children;
};

// Operators and functions, and the dummy parent above every root.
class QVCMNEXPR_API XNodeOpt : public XNodeParent {
public:
    static XNodeOpt* create(EXNodeId id, XNonNegInt begin, XNonNegInt end);

protected:
    using XNodeParent::XNodeParent;
};

// PERCREF: refers to the detached percentile node it stands for (not owned).
class QVCMNEXPR_API XNodePercRef : public XNodeOpt {
public:
    static XNodePercRef* createPercRefNode(XNode* detached);

    XNode* getPercDetached() const { return m_percDetached; }
    void setPercDetached(XNode* detached) { m_percDetached = detached; }

protected:
    XNodePercRef(XNode* detached, std::unique_ptr<XMetadata> metadata);

private:
    XNode* m_percDetached;
};

// PERCDETACHED: carries a program that callers attach (not owned).
class QVCMNEXPR_API XNodePercDetached : public XNodeOpt {
public:
    static XNodePercDetached* createPercDetachedNode(XNonNegInt begin);

    XProgram*& getProgramPtrRef() { return m_program; }

protected:
    XNodePercDetached(XNonNegInt begin, std::unique_ptr<XMetadata> metadata);

private:
    XProgram* m_program = nullptr;
};

// Calls of named external objects: lookups, stored and external procedures,
// user-defined functions. The name chain belongs to the tree's allocator.
class QVCMNEXPR_API XNodeWidget : public XNodeParent {
public:
    // The kind follows from the name chain: none gives LOOKUP; a qualifier
    // ":SP", ":LKP" or ":EXT" (any case) gives SP, LKP or EXT, any other
    // qualifier null; an unqualified ":UDF.name" (any case) gives MACRO,
    // anything else EXTFUNC.
    static XNodeWidget* create(XTokName* name, XNonNegInt begin, XNonNegInt end);
    // The kind create() gives for `name`, or eXNI_NONE for an unknown qualifier.
    static EXNodeId stc_kindOfName(XTokName* name);

    XTokName* getTokName() const { return m_tokName; }
    void setTokName(XTokName* name) { m_tokName = name; }

protected:
    XNodeWidget(EXNodeId id, XTokName* name, XNonNegInt begin, XNonNegInt end,
                std::unique_ptr<XMetadata> metadata);

private:
    XTokName* m_tokName;
};

// ---- the walk primitives, inline: every tree walk runs them per node ----

inline XNodeParent* XNode::asParent() {
    return (m_nodeFlags & cHasChildList) != 0 ? static_cast<XNodeParent*>(this) : nullptr;
}

inline const XNodeParent* XNode::asParent() const {
    return (m_nodeFlags & cHasChildList) != 0 ? static_cast<const XNodeParent*>(this) : nullptr;
}

inline XNode* XNode::nextChild() {
    XNodeParent* parent = asParent();
    return parent ? parent->getNextChild() : nullptr;
}

inline XNodeList* XNode::getChildrenB() {
    XNodeParent* parent = asParent();
    return parent ? parent->getChildren() : nullptr;
}

// Every operator adopts its operands through here; only a list that must
// grow leaves the inline path.
inline int XNodeParent::appendChildNode(XNode* child) {
    if (m_children.entries() == m_children.capacity()) return insertChildNode(m_children.entries(), child);
    m_children.append(child);  // room for it: cannot fail
    if (child) child->setParent(this);
    return 0;
}

inline void XNode::resetNextChild() {
    if (XNodeParent* parent = asParent()) parent->resetNextChildIndex();
}

inline int XNode::getNumChildrenB() const {
    const XNodeParent* parent = asParent();
    return parent ? parent->getNumChildren() : 0;
}

inline int XNodeParent::getNumChildren() const { return static_cast<int>(m_children.entries()); }

// Empty slots are passed over: a removed child must not hide the children
// after it from a walk (the tree would not free them). The cursor stays
// inside the list, so the entries are read without the list's index check.
inline XNode* XNodeParent::getNextChild() {
    const int count = getNumChildren();
    XNode* const* children = m_children.data();
    while (m_nextChildIndex < count) {
        if (XNode* child = children[m_nextChildIndex++]) return child;
    }
    return nullptr;
}
