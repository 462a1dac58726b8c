// XTree: one parsed expression. It owns the whole node tree through a dummy
// parent node above the root (so the root has a parent slot that can be
// replaced like any other child), the token allocator that holds every name
// chain the nodes point at, and the expression-string record. It also carries
// the caller's error reporting pointers while the tree is validated, and a
// cached post-order list of its nodes that walks reuse.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <optional>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcmnexpr/xnode.h"

class QvRef;
class QvUString;
class XExprStrInfo;
class XMetadata;
class XStack;
class XTokNameAllocator;
class XRefReplacer;

class QVCMNEXPR_API XTree {
public:
    // A tree over `root` for the text `expr` (kept by pointer, not copied).
    // `isEmpty` marks the tree of an empty expression; `dfsListTrusted` lets
    // the destructor free nodes from the cached post-order list as it stands
    // instead of recomputing it. Null when the tree cannot be allocated.
    static XTree* create(XNode* root, const unsigned short* expr, int isEmpty, int dfsListTrusted);
    // A tree over `root`, a node taken from the older tree `from` (the
    // caller has detached it there): its text is `from`'s original text and
    // it keeps `from`'s upgrade and window-function flags. With
    // `rebuildText`, the text is regenerated from the nodes with type
    // annotations (XReverseParser::updateExprString), reading `from`'s
    // current text, which the node positions index; the new tree then owns
    // its text and no longer needs `from`'s. Null when that fails: `root` is
    // then handed back to its former parent link, not freed.
    static XTree* create(XNode* root, const XTree* from, int rebuildText, int dfsListTrusted,
                         int isEmpty);
    ~XTree();
    // Made from the per-thread node slabs (xnode.cpp), beside the nodes
    // of the parse that makes it, rather than from the general heap.
    static void* operator new(size_t size);
    static void* operator new(size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* p, size_t size) noexcept;

    XTree(const XTree&) = delete;
    XTree& operator=(const XTree&) = delete;

    XNode* getRoot() const;
    const unsigned short* getExpr() const { return m_expr; }
    void setExpr(const unsigned short* expr) { m_expr = expr; }
    XExprStrInfo* getExprStrInfo() const { return m_exprStrInfo.get(); }
    // Hands the record over to the caller, who frees it.
    XExprStrInfo* removeExprStrInfo() { return m_exprStrInfo.release(); }
    XMetadata* getRootMetadataPtr() const;
    XTokNameAllocator* getTokAllocator() const { return m_tokAllocator.get(); }
    // Takes ownership of `allocator`; a different allocator held before is freed.
    void setTokAllocator(XTokNameAllocator* allocator);

    // ---- error reporting pointers (not owned) ----
    QvUString* getMsgErr() const { return m_msgErr; }
    QvUString* getMsgWarn() const { return m_msgWarn; }
    size_t* getPosBegin() const { return m_posBegin; }
    size_t* getPosEnd() const { return m_posEnd; }
    void setErrorReportStrings(QvUString* err, QvUString* warn);
    void setErrorPosHolders(size_t* begin, size_t* end);
    void setErrorReportPointers(QvUString* err, QvUString* warn, size_t* begin, size_t* end);

    // ---- flags ----
    int isEmptyExpression() const { return m_isEmptyExpression; }
    int isUpgrade() const { return m_isUpgrade; }
    int hasWindowFunc() const { return m_hasWindowFunc; }
    int hasPercentileOrMedian() const { return m_hasPercentileOrMedian; }
    void setHasPercentileOrMedian(int has) { m_hasPercentileOrMedian = has; }
    // Only switches on, once: marks the tree and gives the root's metadata
    // its upgrade record.
    void setIsUpgrade(int on);
    // Only switches on; never cleared.
    void setHasWindowFunc(int on);

    // ---- questions about the expression ----
    int isDummyParentOfRoot(const XNode* node) const;
    // The root is a plain port reference.
    int isSimpleReference() const;
    // The root's reference for a simple reference, else an empty handle.
    const QvRef& getSimpleReference() const;
    // With `countErrorAbort` 0, ERROR(x) and ABORT(x) are as constant as x.
    int isConstant(int countErrorAbort) const;
    int hasGroupFunctions() const;
    int isNull() const;
    // The current expression text with the references that `replacer`
    // chooses renamed (XExprStrInfo::getExprWithRefReplaced); -1 also when
    // the tree has handed its expression-string record away.
    int getExprWithRefReplaced(QvUString& out, const XRefReplacer& replacer) const;

    // ---- post-order node lists ----
    // With `useCache`: `out` receives the cached list (rebuilt first when it
    // was invalidated, or when `invalidateFirst` is set); the tree keeps
    // owning it. Without: the caller's list `out` is filled. 0, or -1 when
    // `out` is null without `useCache`. `stack` may be null.
    int dfs(XNodeList*& out, int useCache, int invalidateFirst, XStack* stack);
    int dfs(XNodeList& out, XStack* stack);
    // A pass that changes the tree's shape must call this.
    void invalidateDfsNodeList() { m_dfsListValid = 0; }
    void flushDfsNodeList();

    // Frees `node` and every node below it, children first.
    static void deleteSubTreeNodes(XNode* node, int);
    // Appends the subtree of `node` in post order: children before their
    // parent, left to right. `stack` may be null; entries already on it are
    // left there.
    static void subTreeDfs(XNode* node, XNodeList& out, XStack* stack);

private:
    // The parser hands over the post order it built the nodes in.
    friend class XParser;
    // Makes `nodes` (this tree's `count` nodes in post order) the cached list.
    void setDfsNodeList(XNode* const* nodes, size_t count);

    XTree(const unsigned short* expr, int isEmpty, int dfsListTrusted);
    void freeNodes();

    std::unique_ptr<XNodeOpt> m_dummyParent;  // its only child is the root
    const unsigned short* m_expr;
    QvUString* m_msgErr = nullptr;
    QvUString* m_msgWarn = nullptr;
    size_t* m_posBegin = nullptr;
    size_t* m_posEnd = nullptr;
    std::optional<XNodeList> m_dfsNodeList;  // the cached post-order list
    int m_isEmptyExpression;
    int m_dfsListTrusted;
    int m_dfsListValid = 1;
    int m_hasPercentileOrMedian = 0;
    std::unique_ptr<XTokNameAllocator> m_tokAllocator;
    std::unique_ptr<XExprStrInfo> m_exprStrInfo;
    int m_isUpgrade = 0;
    int m_hasWindowFunc = 0;
};
