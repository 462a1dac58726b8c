// XReverseParser: writes a syntax tree, or one subtree, back as expression
// text. Callers use it to show a tree (optionally with the data type of
// every node in front of it), and a tree made from a node of an older tree
// uses it to get a text of its own, after which every node position and the
// reference list index that new text.
//
// The output is normalised rather than a copy of what the user wrote:
// every binary operation is parenthesised, so the writer never needs to know
// operator precedence, functions are written F(a,b) and unary operators
// -(a). References, literals and the names of called objects are copied as
// they stand in the current text. Kinds that have no display text of their
// own are written so that the text parses back to the same tree:
//
//     member selection   (a . b)   (a .. b)   (a .*. b)
//     subscript          a[1,2]    a[*]      (a unary operand is grouped: (-(a))[1])
//     type pair          :TYPE.a.b
//
// Member selection keeps the binary shape with spaces around its symbol,
// so that a number in front of the dot is not read as a decimal point. The
// grammar makes no DOTSTARDOT node (it reads .*. as ..); one that a caller
// built is written with its own symbol all the same.
#pragma once

#include <cstdint>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcmnexpr/xvisit.h"
#include "qvcutils.h"

class QvUString;
class XExprStrInfo;
class XStack;
class XTree;

// What a separator action appends once the node it is attached to has been
// written; any other value is refused.
enum EXRevParseAction : int32_t {
    eXRPA_COMMA = 0,  // the argument separator ","
    eXRPA_BINOP = 1,  // the parent's operator between its operands
};

class QVCMNEXPR_API XReverseParser : public XVisitor {
public:
    XReverseParser();
    XReverseParser(const XReverseParser& other);
    XReverseParser& operator=(const XReverseParser& other);
    ~XReverseParser() override;

    EXVisitorType getVisitorType() const override { return eXVT_REVERSE_PARSER; }

    // Writes the whole tree into `out`, with every node's type annotation
    // in front of it when `annotate` is set. `out` ends with one 0 unit
    // inside the string (its length counts it). 0, or -1 when a node has no
    // text (a constant holding null); `out` is then partial.
    int getExprString(QvUString& out, XTree* tree, XStack* stack, int annotate);
    // The same for the subtree under `node`; positions are never changed.
    int getSubExpr(QvUString& out, XNode* node, XTree* tree, XStack* stack, int annotate);
    // Writes the tree and makes the text its current expression: node
    // positions index the new text and the reference list holds the plain
    // references in the order their writing finished (widget references are
    // no longer collected). 0, or -1 with nothing changed: the tree is
    // written once without touching it before it is written for good.
    int updateExprString(XTree* tree, XStack* stack, int annotate);
    // Appends the separator `action` after `node` has been written. An
    // unknown action is an internal invariant (and -1).
    int doVisitAction(XNode* node, EXRevParseAction action);
    // Forgets the output, the tree's text record and both flags, and frees
    // the texts formatted for constants.
    void reset();

protected:
    // Pre-post walk of the tree; -1 when any visit failed.
    int visitSyntaxTree(XTree* tree, XStack* stack, void* data) override;

#define VISIT_OP(Op, KIND) \
    int visit##Op##Node(XNode* node) override { return appendSubExpr(node); }
#include "qvcmnexpr/xnodevisits.def"

    // Attaches `action` to run after the actions already on `node`.
    void addVisitAction(XNode* node, EXRevParseAction action);
    // The pre or post part of writing `node`, by the visit phase.
    int appendSubExpr(XNode* node);
    // Pre and post halves of each shape.
    int appendSubExprFuncPre(XNode* node, const unsigned short* text, int length);
    int appendSubExprFuncPost(XNode* node);
    int appendSubExprBopPre(XNode* node);
    int appendSubExprBopPost(XNode* node);
    int appendSubExprUopPre(XNode* node, const unsigned short* text, int length);
    int appendSubExprUopPost(XNode* node);
    int appendSubExprLeaf(XNode* node, const unsigned short* text, int length);

private:
    int appendPre(XNode* node);
    int appendPost(XNode* node);
    // The text standing for `node`, kept in the owned-text list when it was
    // formatted for the occasion. -1 when there is none.
    int nodeToken(const XNode* node, const unsigned short*& text, int& length);
    // Starts writing into `out`; -1 for a tree without a text record.
    int writeTree(QvUString& out, XTree* tree, int annotate);
    void append(const unsigned short* text, size_t length);
    void appendASCII(const char* text);

    QvUString* m_out = nullptr;
    XExprStrInfo* m_exprStrInfo = nullptr;
    int m_updatePositions = 0;
    int m_annotateTypes = 0;
    const XNode* m_top = nullptr;  // the subtree's top node while getSubExpr writes
    QVTValOrderedVector<unsigned short*> m_ownedTexts{64};
};

// The separator action of the reverse parser: one per node that a separator
// follows.
class QVCMNEXPR_API XVisitActionRps : public XVisitActionLinkedRecursive {
public:
    // The second argument is accepted for callers that pass a hint; it is
    // not kept.
    XVisitActionRps(EXRevParseAction action, int);
    ~XVisitActionRps() override;

    int isActionType(EXVisitActionType type) const override;
    int getNumActionsMax() const override { return 1; }
    EXRevParseAction getAction() const { return m_action; }

protected:
    int doit(XVisitor* visitor, XNode* node) override;

private:
    EXRevParseAction m_action;
};
