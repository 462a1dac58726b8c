// Writing trees back as text: the shape of every node kind, the separator
// actions that run once a child has been written, and the regeneration that
// makes the written text a tree's current expression.
//
// The walk is the visitor's pre-post walk over the node stack, so neither a
// deep nesting nor a long argument list costs native stack: a node's opening
// text is written in its pre visit, its closing text in its post visit, and
// a separator is an action attached to the child it follows.
#include "qvcmnexpr/xreverseparser.h"

#include <new>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xenum.h"
#include "qvcmnexpr/xexprstrinfo.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtree.h"
#include "qvi18n.h"

namespace {

constexpr const char* kUnit = "xreverseparser";

// The written form of a parent kind without a display text.
struct StructuralShape {
    EXNodeId kind;
    const char* open;
    const char* between;  // null: children separated by commas
    const char* close;
    int groupsUnaryFirst;
};

constexpr StructuralShape kStructuralShapes[] = {
#define XRPS_SHAPE(kind, open, between, close, groups) {eXNI_##kind, open, between, close, groups},
#include "xrevparseshapes.def"
};

const StructuralShape* structuralShapeOf(EXNodeId kind) {
    for (const StructuralShape& shape : kStructuralShapes)
        if (shape.kind == kind) return &shape;
    return nullptr;
}

enum class Shape { leaf, function, binary, unary, structural };

Shape shapeOf(const XNode* node) {
    if (structuralShapeOf(node->getId())) return Shape::structural;
    if (node->isWidgetNode() || node->isFuncOpt()) return Shape::function;
    if (node->isOptNode()) return node->getNumChildrenB() == 1 ? Shape::unary : Shape::binary;
    return Shape::leaf;
}

// A unary operator written as the first operand of a postfix kind is put in
// parentheses of its own (see xrevparseshapes.def).
bool needsGrouping(const XNode* node) {
    const XNodeParent* parent = node->getParent();
    if (!parent || shapeOf(node) != Shape::unary) return false;
    const StructuralShape* shape = structuralShapeOf(parent->getId());
    return shape && shape->groupsUnaryFirst && parent->getNumChildren() > 0 &&
           parent->getChild(0) == node;
}

// A kind's display text, or null when it has none.
const QvUString* displayTextOf(EXNodeId kind) {
    const QvUString* text = XToken::getTokenString(kind);
    if (!text || text == &XEnum::cls_unknownEnumUStr || *text == XEnum::cls_unknownEnumUStr)
        return nullptr;
    return text;
}

// Forgets the separators a failed walk attached to nodes it never reached,
// so that a later walk does not write them.
void dropPendingActions(XNode* top) {
    if (!top) return;
    XNodeList nodes;
    XTree::subTreeDfs(top, nodes, nullptr);
    for (XNode* node : nodes) {
        XVisitAction* action = XVisitor::getNodeVisitAction(node);
        if (action && action->isActionType(eXVAT_REVERSE_PARSER))
            node->getCmnInfoPtr()->deleteVisitAction();
    }
}

}  // namespace

// ===== the separator action =====

XVisitActionRps::XVisitActionRps(EXRevParseAction action, int) : m_action(action) {}

XVisitActionRps::~XVisitActionRps() = default;

int XVisitActionRps::isActionType(EXVisitActionType type) const {
    return type == eXVAT_ANY || type == eXVAT_REVERSE_PARSER || type == eXVAT_LINKED_RECURSIVE
               ? 1
               : 0;
}

int XVisitActionRps::doit(XVisitor* visitor, XNode* node) {
    if (!visitor || visitor->getVisitorType() != eXVT_REVERSE_PARSER) return -1;
    return static_cast<XReverseParser*>(visitor)->doVisitAction(node, m_action);
}

// ===== life cycle =====

XReverseParser::XReverseParser() = default;

// Each public operation ends with reset, so an idle parser holds nothing a
// copy could share.
XReverseParser::XReverseParser(const XReverseParser& other)
    : XVisitor(other), m_updatePositions(other.m_updatePositions),
      m_annotateTypes(other.m_annotateTypes) {}

XReverseParser& XReverseParser::operator=(const XReverseParser& other) {
    if (this != &other) {
        reset();
        XVisitor::operator=(other);
        m_updatePositions = other.m_updatePositions;
        m_annotateTypes = other.m_annotateTypes;
    }
    return *this;
}

XReverseParser::~XReverseParser() { reset(); }

void XReverseParser::reset() {
    m_out = nullptr;
    m_exprStrInfo = nullptr;
    m_updatePositions = 0;
    m_annotateTypes = 0;
    m_top = nullptr;
    for (size_t i = 0, n = m_ownedTexts.entries(); i < n; ++i) delete[] m_ownedTexts[i];
    m_ownedTexts.clear();
}

// ===== public operations =====

int XReverseParser::visitSyntaxTree(XTree* tree, XStack* stack, void*) {
    return visitTreePrePostOrder("rvp", tree, stack) != 0 ? -1 : 0;
}

int XReverseParser::writeTree(QvUString& out, XTree* tree, int annotate) {
    out.makeEmpty();
    m_out = &out;
    m_exprStrInfo = tree ? tree->getExprStrInfo() : nullptr;
    m_annotateTypes = annotate;
    if (!m_exprStrInfo) return -1;
    // The usual output is the text with parentheses and separators added.
    const unsigned short* current = m_exprStrInfo->getCurExpr();
    out.alloc(2 * (current ? qvUStrlen(current) : 0) + 2);
    return 0;
}

int XReverseParser::getExprString(QvUString& out, XTree* tree, XStack* stack, int annotate) {
    int result = writeTree(out, tree, annotate);
    if (result == 0) result = visitSyntaxTree(tree, stack, nullptr);
    if (result != 0 && tree) dropPendingActions(tree->getRoot());
    out.append(static_cast<unsigned short>(0));
    reset();
    return result;
}

int XReverseParser::getSubExpr(QvUString& out, XNode* node, XTree* tree, XStack* stack,
                               int annotate) {
    m_updatePositions = 0;
    int result = writeTree(out, tree, annotate);
    // The subtree is written as a whole, outside the parent that would
    // group it.
    m_top = node;
    if (result == 0) result = visitSubTreePrePostOrder(node, tree, stack);
    if (result != 0) dropPendingActions(node);
    out.append(static_cast<unsigned short>(0));
    reset();
    return result;
}

int XReverseParser::updateExprString(XTree* tree, XStack* stack, int annotate) {
    XExprStrInfo* info = tree ? tree->getExprStrInfo() : nullptr;
    // A converted list holds the caller's positions, which a new text would
    // silently invalidate.
    if (!info || info->getRefInfoType() != eXRIT_NODE) return -1;
    // A first pass that changes nothing finds a node without text (a null
    // constant) before any position or the list has been touched.
    QvUString text;
    if (getExprString(text, tree, stack, annotate) != 0) return -1;
    info->clearRefList(eXRIT_NODE);
    info->disableCollectingWidgetRef();
    m_updatePositions = 1;
    if (getExprString(text, tree, stack, annotate) != 0) return -1;
    unsigned short* copy = text.getBufferCopy();
    if (!copy) return -1;
    info->updateCurExpr(copy, 1);
    return 0;
}

int XReverseParser::doVisitAction(XNode* node, EXRevParseAction action) {
    if (action != eXRPA_COMMA && action != eXRPA_BINOP) {
        QvAssertHandler(kUnit, __LINE__);
        return -1;
    }
    if (!m_out) return -1;
    switch (action) {
        case eXRPA_COMMA:
            m_out->append(XToken::gcComma);
            return 0;
        case eXRPA_BINOP: {
            const XNodeParent* parent = node ? node->getParent() : nullptr;
            if (!parent) return -1;
            if (const StructuralShape* shape = structuralShapeOf(parent->getId())) {
                appendASCII(shape->between);
                return 0;
            }
            const QvUString* text = displayTextOf(parent->getId());
            if (!text) return -1;
            m_out->append(XToken::gcSpace);
            m_out->append(*text);
            m_out->append(XToken::gcSpace);
            return 0;
        }
    }
    return -1;
}

// ===== writing one node =====

void XReverseParser::addVisitAction(XNode* node, EXRevParseAction action) {
    auto* added = new (std::nothrow) XVisitActionRps(action, 0);
    if (!added) {
        QvAssertHandler(kUnit, __LINE__);
        return;
    }
    XVisitActionLinkedRecursive::addActionToExecuteAfterExisting(node, added);
}

void XReverseParser::append(const unsigned short* text, size_t length) { m_out->append(text, length); }

void XReverseParser::appendASCII(const char* text) {
    if (text) m_out->appendASCII(text);
}

int XReverseParser::appendSubExpr(XNode* node) {
    // Every phase but the pre visit of a pre-post walk counts as the post.
    return getVisitPhase() == eXVP_PRE_POST_PRE ? appendPre(node) : appendPost(node);
}

int XReverseParser::nodeToken(const XNode* node, const unsigned short*& text, int& length) {
    // A call of an external function is written by its name, not by the
    // text the call started with.
    if (node->isExtFuncNode()) {
        XTokName* name = static_cast<const XNodeWidget*>(node)->getTokName();
        if (!name) return -1;
        const QvUString& last = name->getLast()->getName();
        text = last.getBuffer();
        length = static_cast<int>(last.length());
        return 0;
    }
    int owned = 0;
    if (m_exprStrInfo->getNodeToken(node, text, length, owned) != 0) return -1;
    if (owned) m_ownedTexts.append(const_cast<unsigned short*>(text));
    return 0;
}

int XReverseParser::appendPre(XNode* node) {
    if (node != m_top && needsGrouping(node)) m_out->append(XToken::gcLeftParen);
    if (m_annotateTypes) m_out->append(XToken::getTypeAnnotation(node->getDataType()));
    // The span starts after the annotation: a reference's span is then its
    // name alone, which a rename replaces and a later write copies without
    // a second annotation.
    const size_t begin = m_out->length();
    const Shape shape = shapeOf(node);
    const unsigned short* text = nullptr;
    int length = 0;
    // Member selection and the like have no text of their own to find.
    if (shape != Shape::structural && nodeToken(node, text, length) != 0) return -1;
    int result = 0;
    switch (shape) {
        case Shape::function: result = appendSubExprFuncPre(node, text, length); break;
        case Shape::binary: result = appendSubExprBopPre(node); break;
        case Shape::unary: result = appendSubExprUopPre(node, text, length); break;
        case Shape::leaf: result = appendSubExprLeaf(node, text, length); break;
        case Shape::structural: {
            const StructuralShape* rows = structuralShapeOf(node->getId());
            appendASCII(rows->open);
            const int count = node->getNumChildrenB();
            if (rows->between) {
                if (count > 1) addVisitAction(node->getChildB(0, 1), eXRPA_BINOP);
            } else {
                for (int i = 0; i + 1 < count; ++i) addVisitAction(node->getChildB(i, 1), eXRPA_COMMA);
            }
            break;
        }
    }
    if (result == 0 && m_updatePositions)
        node->updatePosBeginEnd(XNonNegInt(begin), XNonNegInt(eXMINT_NOCHANGE), 0);
    return result;
}

int XReverseParser::appendPost(XNode* node) {
    int result = 0;
    switch (shapeOf(node)) {
        case Shape::function: result = appendSubExprFuncPost(node); break;
        case Shape::binary: result = appendSubExprBopPost(node); break;
        case Shape::unary: result = appendSubExprUopPost(node); break;
        case Shape::structural: appendASCII(structuralShapeOf(node->getId())->close); break;
        case Shape::leaf: break;
    }
    if (m_updatePositions) {
        node->updatePosBeginEnd(XNonNegInt(eXMINT_NOCHANGE), XNonNegInt(m_out->length()), 0);
        // The list is rebuilt as the writing of each reference finishes,
        // which is text order; a misordered entry is still recorded.
        if (XExprStrInfo::isRef(node)) m_exprStrInfo->addRefNode(node);
    }
    if (node != m_top && needsGrouping(node)) m_out->append(XToken::gcRightParen);
    return result;
}

int XReverseParser::appendSubExprFuncPre(XNode* node, const unsigned short* text, int length) {
    append(text, static_cast<size_t>(length));
    m_out->append(XToken::gcLeftParen);
    const int count = node->getNumChildrenB();
    for (int i = 0; i + 1 < count; ++i) addVisitAction(node->getChildB(i, 1), eXRPA_COMMA);
    return 0;
}

int XReverseParser::appendSubExprFuncPost(XNode*) {
    m_out->append(XToken::gcRightParen);
    return 0;
}

int XReverseParser::appendSubExprBopPre(XNode* node) {
    m_out->append(XToken::gcLeftParen);
    if (node->getNumChildrenB() > 0) addVisitAction(node->getChildB(0, 1), eXRPA_BINOP);
    return 0;
}

int XReverseParser::appendSubExprBopPost(XNode*) {
    m_out->append(XToken::gcRightParen);
    return 0;
}

int XReverseParser::appendSubExprUopPre(XNode*, const unsigned short* text, int length) {
    append(text, static_cast<size_t>(length));
    m_out->append(XToken::gcLeftParen);
    return 0;
}

int XReverseParser::appendSubExprUopPost(XNode*) {
    m_out->append(XToken::gcRightParen);
    return 0;
}

int XReverseParser::appendSubExprLeaf(XNode*, const unsigned short* text, int length) {
    append(text, static_cast<size_t>(length));
    return 0;
}
