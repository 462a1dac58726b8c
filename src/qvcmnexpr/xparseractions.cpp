// XParser's tree-building actions: what the grammar's reductions build.
//
// The tree grows bottom-up on the parser's node stack. Operand actions push a
// leaf; operator actions pop their finished operands, adopt them in source
// order and push the new node, so a successful parse leaves exactly the root.
// Nodes on the stack belong to nobody until the tree is created; a failed
// parse frees them through resetStack. Every node built here gets its
// upgrade record in upgrade mode, and integer and decimal literals also get
// the data type release 6.0 gave them.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xnodeconst.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xstack.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtree.h"
#include "qvdec.h"
#include "qvutils.h"
#include "xgrammartokens.h"
#include "xprevalidatevisitor.h"

namespace {

constexpr const char* kUnit = "xparser";

// Frees a subtree that never made it onto the stack.
struct SubtreeDeleter {
    void operator()(XNode* node) const { XTree::deleteSubTreeNodes(node, 0); }
};
using PendingNode = std::unique_ptr<XNode, SubtreeDeleter>;

// ---- keywords and predefined integers ----

// What parseOpKeyword makes of a keyword token: a keyword node of `kind`, or
// for a predefined integer (isInt) a constant of `kind` holding `value`.
struct KeywordOperand {
    EXNodeId kind = eXNI_NONE;
    bool isInt = false;
    int value = 0;
};

// The keyword operands by token number, from the keyword table; the logical
// operators have no entry. A keyword operand whose token lies outside
// [kFirst, kLast] fails to compile here (kKeywordOperands is constant).
struct KeywordOperands {
    static constexpr int kFirst = xgrammar::CONST_NULL;
    static constexpr int kLast = xgrammar::XWT_SUCCEEDED;
    KeywordOperand byToken[kLast - kFirst + 1];

    constexpr KeywordOperands() : byToken{} {
#define XKEYWORD_OPERAND(name, token, domain, node) add(xgrammar::token, {eXNI_##node, false, 0});
#define XKEYWORD_NOT_DISPLAYED(name, token, domain, node) add(xgrammar::token, {eXNI_##node, false, 0});
#define XKEYWORD_CONSTANT(name, token, domain, node, value) add(xgrammar::token, {eXNI_##node, true, value});
#include "xkeywords.def"
    }
    constexpr void add(int token, KeywordOperand operand) { byToken[token - kFirst] = operand; }

    const KeywordOperand* find(int token) const {
        if (token < kFirst || token > kLast) return nullptr;
        const KeywordOperand& operand = byToken[token - kFirst];
        return operand.kind != eXNI_NONE ? &operand : nullptr;
    }
};

constexpr KeywordOperands kKeywordOperands;

// ---- the integer-literal ladder ----

bool fitsInt(double d) { return d >= -2147483648.0 && d <= 2147483647.0; }

// Up to nine ASCII digits always make an int, which the host's number parser
// would give exactly too; nearly every literal is that short, so the ladder
// below is reserved for the rest.
bool shortDigits(const QvUString& text, int& value) {
    const size_t length = text.length();
    if (length == 0 || length > 9) return false;
    const unsigned short* digits = text.getBuffer();
    int result = 0;
    for (size_t i = 0; i < length; ++i) {
        const unsigned digit = static_cast<unsigned>(digits[i]) - u'0';
        if (digit > 9) return false;
        result = result * 10 + static_cast<int>(digit);
    }
    value = result;
    return true;
}

// Whether the digits of `text` denote a long long. Too many digits for a
// 28-digit decimal is simply out of range.
bool fitsBigInt(const QvUString& text) {
    try {
        QvDecimal<3> value, lowest, highest;
        QvDecStringConvert::stringToQvDec(value, text.getBuffer(), nullptr);
        QvDecimalImpl<3>::convertFrom(lowest, static_cast<long long>(INT64_MIN));
        QvDecimalImpl<3>::convertFrom(highest, static_cast<long long>(INT64_MAX));
        return QvDecimalImpl<3>::compare(value, lowest) >= 0 &&
               QvDecimalImpl<3>::compare(value, highest) <= 0;
    } catch (const QvDecException&) {
        return false;
    }
}

// The rest of the ladder, for literals too long for shortDigits.
XNode* createLongIntLiteral(const QvUString& text, XNonNegInt b, XNonNegInt e, bool highPrecision) {
    const double d = qvUStrtod(text.getBuffer(), nullptr);
    if (fitsInt(d)) return XNodeConstBase::createConstInt(static_cast<int>(d), b, e);
    if (fitsBigInt(text)) return XNodeConstBase::createConstBigInt(qvUToI64(text.getBuffer()), b, e);
    if (highPrecision) return XNodeConstBase::createConstDecimal(text, b, e);
    return XNodeConstBase::createConstFloat(d, b, e);
}

}  // namespace

// ---------------------------------------------------------------- helpers

// Asked for every node built: kept inline, with the rare upgrade work apart.
inline int XParser::isUpgradeParser() const { return m_context ? m_context->isUpgrade() : 0; }

inline void XParser::allocUgdInfoInUpgrade(XNode* node) const {
    if (isUpgradeParser()) stc_allocUgdInfo(node);
}

void XParser::stc_allocUgdInfo(XNode* node) {
    XMetadata* md = node->getMetadataPtr();
    if (md && !md->hasUgdInfo()) md->allocUgdInfo();
}

// Returns `node` (null: nothing built, nothing noted).
inline XNode* XParser::recordBuilt(XNode* node) {
    if (!node) return nullptr;
    if (m_buildOrderNext != m_buildOrderEnd)
        *m_buildOrderNext++ = node;
    else if (m_recordBuildOrder)
        recordBuiltGrowing(node);
    return node;
}

[[gnu::noinline]] void XParser::recordBuiltGrowing(XNode* node) {
    const size_t count = builtCount();
    m_buildOrder.resize(std::max<size_t>(2 * m_buildOrder.size(), 256));
    m_buildOrderNext = m_buildOrder.data() + count;
    m_buildOrderEnd = m_buildOrder.data() + m_buildOrder.size();
    *m_buildOrderNext++ = node;
}

inline XNode* XParser::pushLeaf(XNode* leaf) {
    PendingNode pending(leaf);
    QV_ASSERT(leaf != nullptr, kUnit);
    if (!leaf) return nullptr;
    allocUgdInfoInUpgrade(leaf);
    m_nodeStack->push(leaf);
    return recordBuilt(pending.release());
}

// What the pre-validation walk over the finished tree would do to this
// parent, done while its children are at hand: their roles, and the child
// cursor left at the end as a walk leaves it.
inline void XParser::finishParent(XNodeParent* parent) {
    if (XPreValidateVisitor::givesChildrenRoles(parent->getId()))
        XPreValidateVisitor::relabelChildren(parent);
    parent->moveNextChildIndexToEnd();
}

// The operands sit on top of the stack, leftmost lowest, and are adopted in
// that order straight from the stack's array: linear in the operand count
// (a call may have very many arguments) and with the child list sized once.
// Operands missing from a short stack become empty slots in front, as
// popping them from an empty stack would give. Once the list has room for
// all of them no append can fail, so the operands leave the stack only
// then, and the list is filled before their parent pointers are set (two
// plain loops instead of one that rereads the list after every store).
XNode* XParser::adoptAndPush(XNodeParent* parent, int nChildren) {
    PendingNode pending(parent);
    QV_ASSERT(parent != nullptr, kUnit);
    if (!parent) return nullptr;
    allocUgdInfoInUpgrade(parent);
    const uint32_t wanted = static_cast<uint32_t>(nChildren);
    const uint32_t present = std::min(wanted, m_nodeStack->getCount());
    parent->reserveChildren(wanted);
    XNode* const* operands = m_nodeStack->topEntries(present);
    m_nodeStack->dropTop(present);
    XNodeList& children = *parent->getChildren();
    for (uint32_t i = present; i < wanted; ++i) children.append(nullptr);
    for (uint32_t i = 0; i < present; ++i) children.append(operands[i]);
    for (uint32_t i = 0; i < present; ++i) {
        if (operands[i]) operands[i]->setParent(parent);
    }
    finishParent(parent);
    m_nodeStack->push(parent);
    return pending.release();
}

// ---------------------------------------------------------------- operators

XNode* XParser::parseOp(EXNodeId kind, int nChildren, size_t begin, size_t end) {
    QV_ASSERT(nChildren >= 0, kUnit);
    if (nChildren < 0) return nullptr;
    return recordBuilt(
        adoptAndPush(XNodeOpt::create(kind, XNonNegInt(begin), XNonNegInt(end)), nChildren));
}

XNode* XParser::parseOpUminusUplus(EXNodeId kind, int nChildren, size_t begin, size_t end) {
    QV_ASSERT(nChildren >= 0, kUnit);
    if (nChildren < 0) return nullptr;
    XNode* operand = m_nodeStack->top();
    const bool isSign = nChildren == 1 && (kind == eXNI_UMINUS || kind == eXNI_UPLUS);
    if (!isSign || !operand || !operand->isConstNode() || !operand->getDataType().isNumeric(1)) {
        return parseOp(kind, nChildren, begin, end);
    }
    // The sign becomes part of the literal: -5 is one constant, not UMINUS(5).
    operand->updatePosBeginEnd(XNonNegInt(begin), XNonNegInt(eXMINT_NOCHANGE), 0);
    if (kind == eXNI_UMINUS) static_cast<XNodeConstBase*>(operand)->negateNumericValue();
    return operand;
}

XNode* XParser::parseOpWidget(XTokName* chain, int nChildren, size_t begin, size_t end) {
    XNodeWidget* widget = XNodeWidget::create(chain, XNonNegInt(begin), XNonNegInt(end));
    if (!widget) {
        const XTokName* qualifier = chain ? chain->getSecondFromLast() : nullptr;
        QvUString msg;
        msg.sprint(qvGetMsg(eQvMSG_UNKNOWN_QUALIFIER).getBuffer(),
                   qualifier ? qualifier->getName().getBuffer() : XToken::gsEmpty.getBuffer());
        handleSyntaxError(msg, static_cast<int>(begin), static_cast<int>(end));
        return nullptr;
    }
    return recordBuilt(adoptAndPush(widget, nChildren));
}

XNode* XParser::parseOpLookup35(XTokName* /*name*/, int nChildren, size_t begin, size_t end) {
    return recordBuilt(
        adoptAndPush(XNodeWidget::create(nullptr, XNonNegInt(begin), XNonNegInt(end)), nChildren));
}

// ---------------------------------------------------------------- keywords

XNode* XParser::parseOpKeyword(int token, size_t begin, size_t end) {
    if (token == xgrammar::CONST_NULL) {
        return pushLeaf(
            XNodeKeyword::createNullNode(XNonNegInt(begin), XNonNegInt(end), XType(eXDT_NULL)));
    }
    // "*" standing for all columns (COUNT(*), a[*]) is no word but reads as one.
    if (token == getStarKey()) return pushLeaf(XNodeKeyword::create(eXNI_STAR, XNonNegInt(begin), XNonNegInt(end)));
    // Anything else without an operand (a logical operator) is no operand.
    const KeywordOperand* operand = kKeywordOperands.find(token);
    if (!operand) {
        QvAssertHandler(kUnit, __LINE__);
        return nullptr;
    }
    if (operand->isInt) {
        return pushLeaf(XNodeConstBase::createConstIntPredefined(operand->kind, operand->value,
                                                                 XNonNegInt(begin), XNonNegInt(end)));
    }
    return pushLeaf(XNodeKeyword::create(operand->kind, XNonNegInt(begin), XNonNegInt(end)));
}

int XParser::getStarKey() { return xgrammar::OPT_MULTIPLY; }

// ---------------------------------------------------------------- references

inline XNode* XParser::parseOpdRef(EXNodeId kind, XTokName* chain, size_t begin, size_t end) {
    return pushLeaf(XNodeRef::create(kind, chain, XNonNegInt(begin), XNonNegInt(end)));
}

XNode* XParser::parseOpdRefPortVar(XTokName* chain, size_t begin, size_t end) {
    if (!m_context || !m_context->isPortAllowed()) {
        handleSyntaxError(eQvMSG_NOT_ALLOWED_IN_WORKFLOW, static_cast<int>(begin), static_cast<int>(end));
        return nullptr;
    }
    return parseOpdRef(eXNI_PORTVAR, chain, begin, end);
}

XNode* XParser::parseOpdRefQualifiedPortVar(XTokName* chain, size_t begin, size_t end) {
    if (!m_context || !m_context->isPortAllowed()) {
        handleSyntaxError(eQvMSG_NOT_ALLOWED_IN_WORKFLOW, static_cast<int>(begin), static_cast<int>(end));
        return nullptr;
    }
    return parseOpdRef(eXNI_QUALIFIEDPORTVAR, chain, begin, end);
}

XNode* XParser::parseOpdRefMapVar(XTokName* chain, size_t begin, size_t end) {
    if (!isTransformationParser()) {
        handleSyntaxError(eQvMSG_NOT_ALLOWED_IN_WORKFLOW, static_cast<int>(begin), static_cast<int>(end));
        return nullptr;
    }
    return parseOpdRef(eXNI_MAPVAR, chain, begin, end);
}

XNode* XParser::parseOpdRefWFVar(XTokName* chain, size_t begin, size_t end) {
    if (!isWorkflowParser()) {
        handleSyntaxError(eQvMSG_NOT_ALLOWED_IN_TRANSFORMATION, static_cast<int>(begin), static_cast<int>(end));
        return nullptr;
    }
    return parseOpdRef(eXNI_WFVAR, chain, begin, end);
}

XTokName* XParser::allocToken(const QvUString* text, int level) {
    XTokName* token = m_tokenAllocator->allocToken(text, level);
    QV_ASSERT(token != nullptr, kUnit);
    return token;
}

// ---------------------------------------------------------------- literals

XNode* XParser::parseOpdConstFloat(double value, size_t begin, size_t end) {
    return pushLeaf(XNodeConstBase::createConstFloat(value, XNonNegInt(begin), XNonNegInt(end)));
}

XNode* XParser::parseOpdConstString(const QvUString* text, size_t begin, size_t end) {
    return pushLeaf(XNodeConstBase::createConstString(*text, XNonNegInt(begin), XNonNegInt(end)));
}

XNode* XParser::parseOpdConstInt(const QvUString* text, size_t begin, size_t end) {
    const XNonNegInt b(begin), e(end);
    int shortValue;
    XNode* node = shortDigits(*text, shortValue)
                      ? XNodeConstBase::createConstInt(shortValue, b, e)
                      : createLongIntLiteral(*text, b, e, isDecimalHighPrecisionOn());
    if (pushLeaf(node) && isUpgradeParser()) ugd_parseOpdConstInt60(node, text);
    return node;
}

XNode* XParser::parseOpdConstDecimal(const QvUString* text, size_t begin, size_t end) {
    const XNonNegInt b(begin), e(end);
    XNode* node = isDecimalHighPrecisionOn()
                      ? XNodeConstBase::createConstDecimal(*text, b, e)
                      : XNodeConstBase::createConstFloat(qvUStrtod(text->getBuffer(), nullptr), b, e);
    if (pushLeaf(node) && isUpgradeParser()) ugd_parseOpdConstDecimal60(node, text);
    return node;
}

// ---------------------------------------------------------------- upgrade mode

void XParser::ugd_parseOpdConstInt60(XNode* node, const QvUString* text) {
    XMetadata* md = node->getMetadataPtr();
    if (!md || !md->hasUgdInfo()) return;
    const size_t len = text->length();
    md->setDataType60(XType(len < 10 ? eXDT_INT : len < 19 ? eXDT_DEC18_FIXED : eXDT_DEC28_FIXED));
}

void XParser::ugd_parseOpdConstDecimal60(XNode* node, const QvUString* text) {
    XMetadata* md = node->getMetadataPtr();
    if (!md || !md->hasUgdInfo()) return;
    if (!isDecimalHighPrecisionOn()) {
        md->setDataType60(XType(eXDT_FLOAT));
        return;
    }
    size_t len = text->length();
    if (len > 0 && ((*text)[0] == u'+' || (*text)[0] == u'-')) --len;
    md->setDataType60(XType(len >= 20 ? eXDT_DEC28_FIXED : eXDT_DEC18_FIXED));
}
