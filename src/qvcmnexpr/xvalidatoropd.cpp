// Operand typing (one type that stands for a node's arguments), the choice
// of the operation variant the evaluator runs for those types, and the
// constant-argument checks of the operator rows.
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xtypeconfig.h"
#include "qvcmnexpr/xvalidator.h"
#include "qvutils.h"

namespace {

// The type a logical operand counts as: a boolean child by the type it
// compared, a NULL as INT.
XType logicalOperandType(const XNode* child) {
    XType type = child->getDataType();
    if (type.isBoolean()) type = XValidator::getNodeAugType(child);
    return type.isNull() ? XType(eXDT_INT) : type;
}

}  // namespace

// ===== operand typing =====

void XValidator::normalizeOpdType(XType& type) {
    if (type.isNull() && !allowNullType()) type = XType(eXDT_INT);
    if (type.isBoolean()) type = XType(eXDT_INT);
}

int XValidator::getOpdTypeOneArgAny(XNodeOpt* node, XType& out) {
    XNode* child = node->getChild(0);
    if (child->getDataType().isBinary()) {
        say(1, child, eQvMSG_BINARY_NOT_ALLOWED);
        return -1;
    }
    out = child->getDataType();
    normalizeOpdType(out);
    return 0;
}

int XValidator::getOpdTypeOneArgAnyBinary(XNodeOpt* node, XType& out) {
    XNode* child = node->getChild(0);
    out = child->getDataType();
    if (out.isHType()) {
        if (!hasValidTypeConfig(child)) {
            say(1, node, eQvMSG_INVALID_HIERARCHICAL_TYPE);
            return -1;
        }
        node->setTypeConfig(child->getTypeConfig());
    }
    return 0;
}

int XValidator::getOpdTypeOneArgNumeric(XNodeOpt* node, XType& out) {
    XNode* child = node->getChild(0);
    if (!child->getDataType().isNumeric(1)) {
        reportAt(child, eQvMSG_NUMBER_EXPECTED, eXVFC_NUMERIC_EXPECTED, XType(eXMINT_INVALID));
        return -1;
    }
    out = child->getDataType();
    normalizeOpdType(out);
    return 0;
}

int XValidator::getOpdTypeTwoArgNumeric(XNodeOpt* node, XType& out) {
    XNode* first = node->getChild(0);
    XNode* second = node->getChild(1);
    const XType a = first->getDataType();
    const XType b = second->getDataType();
    if (!a.isNumeric(1) || !b.isNumeric(1)) {
        // Name the operand at fault: the first unless it is NULL or a number.
        XNode* culprit = (!a.isNull() && !a.isNumeric(1)) ? first : second;
        reportAt(culprit, eQvMSG_NUMBER_EXPECTED, eXVFC_NUMERIC_EXPECTED, XType(eXMINT_INVALID));
        return -1;
    }
    out = XType::getWidestOf(a, b);
    normalizeOpdType(out);
    return 0;
}

int XValidator::getOpdTypeOneArgBoolean(XNodeOpt* node, XType& out) {
    XNode* child = node->getChild(0);
    const XType type = logicalOperandType(child);
    if (!type.isNumeric(1)) {
        reportAt(child, eQvMSG_NUMBER_EXPECTED, eXVFC_NUMERIC_EXPECTED, XType(eXMINT_INVALID));
        return -1;
    }
    out = type;
    return 0;
}

int XValidator::getOpdTypeTwoArgBoolean(XNodeOpt* node, XType& out) {
    XNode* first = node->getChild(0);
    XNode* second = node->getChild(1);
    const XType a = logicalOperandType(first);
    const XType b = logicalOperandType(second);
    if (!a.isNumeric(1) || !b.isNumeric(1)) {
        XNode* culprit = !a.isNumeric(1) ? first : second;
        reportAt(culprit, eQvMSG_NUMBER_EXPECTED, eXVFC_NUMERIC_EXPECTED, XType(eXMINT_INVALID));
        return -1;
    }
    out = XType::getWidestOf(a, b);
    return 0;
}

int XValidator::getOpdTypeIif(XNodeOpt* node, XType& out) {
    XNode* yes = node->getChild(1);
    if (node->getNumChildren() == 3) {
        XNode* no = node->getChild(2);
        return getOpdTypeTwoMatchingArgs(node, yes->getDataType(), no->getDataType(), yes, no, out, 1, 1);
    }
    out = yes->getDataType();
    if (out.isHType()) {
        if (!hasValidTypeConfig(yes)) {
            say(1, node, eQvMSG_INVALID_HIERARCHICAL_TYPE);
            return -1;
        }
        node->setTypeConfig(yes->getTypeConfig());
    }
    normalizeOpdType(out);
    return 0;
}

// The common type of the children at the positions `wanted` selects, one
// matched in after the other.
template <class Wanted>
static int widestOfPositions(XValidator& v, XNodeOpt* node, XType& out, Wanted wanted,
                             int (XValidator::*match)(XNodeOpt*, XType, XType, XNode*, XNode*, XType&,
                                                      int, int)) {
    const int n = node->getNumChildren();
    XType type(eXMINT_INVALID);
    XNode* previous = nullptr;
    for (int i = 0; i < n; ++i) {
        if (!wanted(i, n)) continue;
        XNode* child = node->getChild(i);
        if (!previous) {
            type = child->getDataType();
        } else if ((v.*match)(node, type, child->getDataType(), previous, child, type, 0, 0) != 0) {
            return -1;
        }
        previous = child;
    }
    out = type;
    return 0;
}

int XValidator::getOpdTypeWidestOfDecodeSearch(XNodeOpt* node, XType& out) {
    if (widestOfPositions(*this, node, out, [](int i, int n) { return isSearchChildOfDecode(i, n); },
                          &XValidator::getOpdTypeTwoMatchingArgs) != 0) {
        return -1;
    }
    normalizeOpdType(out);
    return 0;
}

int XValidator::getOpdTypeWidestOfDecodeResult(XNodeOpt* node, XType& out) {
    if (node->getNumChildren() == 3) {
        out = node->getChild(2)->getDataType();
    } else if (widestOfPositions(*this, node, out,
                                 [](int i, int n) { return isResultChildOfDecode(i, n); },
                                 &XValidator::getOpdTypeTwoMatchingArgs) != 0) {
        return -1;
    }
    normalizeOpdType(out);
    return 0;
}

int XValidator::getOpdTypeDecode(XNodeOpt* node, XType& out) {
    XType searchType;
    if (getOpdTypeWidestOfDecodeSearch(node, searchType) != 0) return -1;
    setNodeAugType(node, searchType);
    return getOpdTypeWidestOfDecodeResult(node, out);
}

int XValidator::getOpdTypeCheckSpecialConstraints(XNodeOpt* node, XType&) {
    XNode* child = node->getChild(0);
    const XType type = child->getDataType();
    int fits = 0;
    switch (node->getId()) {
        case eXNI_IS_DATE: case eXNI_IS_NUMBER: case eXNI_IS_SPACES: case eXNI_TO_DATE:
            fits = type.isNull() || type.isString(1);
            break;
        case eXNI_TO_DECIMAL: case eXNI_TO_FLOAT: case eXNI_TO_INTEGER: case eXNI_TO_BIGINT:
        case eXNI_TO_DECIMAL38: case eXNI_TO_NUMBER:
            fits = type.isNull() || type.isString(0) || type.isNumeric(1);
            break;
        default:
            break;  // no row names this typing for another kind
    }
    if (fits) return 0;
    say(1, getNodeForNameInMsg(child), child,
                                 eQvMSG_INVALID_OPERAND_TYPE);
    upg_setFailureCase(eXVFC_SPECIAL_CONSTRAINTS, 0, XType(eXMINT_INVALID));
    return -1;
}

int XValidator::getOpdTypeEqOp(XNodeOpt* node, XType& out) {
    XNode* first = node->getChild(0);
    XNode* second = node->getChild(1);
    XType a = first->getDataType();
    XType b = second->getDataType();
    if (a.isBoolean()) a = getNodeAugType(first);
    if (b.isBoolean()) b = getNodeAugType(second);
    if (getOpdTypeTwoMatchingArgs(node, a, b, first, second, out, 1, 0) != 0) return -1;
    for (XNode* operand : {first, second}) {
        if (operand->isNullNode()) {
            say(0, operand, eQvMSG_COMPARISON_WITH_NULL);
            break;
        }
    }
    return 0;
}

int XValidator::getOpdTypeCmpOp(XNodeOpt* node, XType& out) {
    int hierarchical = 0;
    for (int i = 0; i < 2; ++i) {
        XNode* child = node->getChild(i);
        if (child->getDataType().isHType()) {
            say(1, getNodeForNameInMsg(child), child,
                                         eQvMSG_INVALID_OPERAND_TYPE);
            hierarchical = 1;
        }
    }
    if (hierarchical) return -1;
    // A custom type the host cannot order is named, not failed in silence.
    for (int i = 0; i < 2; ++i) {
        XNode* child = node->getChild(i);
        if (!child->getDataType().isComparable()) {
            say(1, getNodeForNameInMsg(child), child, eQvMSG_INVALID_OPERAND_TYPE);
            return -1;
        }
    }
    return getOpdTypeEqOp(node, out);
}

int XValidator::getOpdTypeTwoMatchingArgs(XNodeOpt* node, XType a, XType b, XNode* childA,
                                          XNode* childB, XType& out, int normalise,
                                          int hierarchicalFlag) {
    if (!a.isValid()) a = childA->getDataType();
    if (!b.isValid()) b = childB->getDataType();
    const XType widest = XType::getWidestOf(a, b);
    if (isHTypeCompatible(node, a, b, childA, childB, hierarchicalFlag) == -1) return -1;
    if (widest.isValid()) {
        out = widest;
        if (normalise) normalizeOpdType(out);
        return 0;
    }
    say(1, node, childB, eQvMSG_NO_COMMON_TYPE);
    upg_setFailureCase(eXVFC_OPERANDS_DIFFER, childB->getMyIndexInParent(), XType(eXMINT_INVALID));
    return -1;
}

// Two hierarchical operands must have valid descriptions of the same type
// (and an equality cannot compare maps); a hierarchical operand meets only
// a NULL otherwise.
int XValidator::isHTypeCompatible(XNodeOpt* node, XType& a, XType& b, XNode* childA, XNode* childB,
                                  int flag) {
    const int hierarchicalA = a.isHType();
    const int hierarchicalB = b.isHType();
    if (!hierarchicalA && !hierarchicalB) return 0;
    if (hierarchicalA && hierarchicalB) {
        if (!hasValidTypeConfig(childA) || !hasValidTypeConfig(childB)) {
            say(1, node, eQvMSG_INVALID_HIERARCHICAL_TYPE);
            return -1;
        }
        const XTypeConfig* configA = getNodeTypeConfig(childA);
        const XTypeConfig* configB = getNodeTypeConfig(childB);
        if (node->getId() == eXNI_EQ && (configA->containsMap() || configB->containsMap())) {
            say(1, node, eQvMSG_MAP_NOT_ALLOWED);
            return -1;
        }
        if (!configA->isSame(configB, flag)) {
            say(1, childA, childB, eQvMSG_TYPE_MISMATCH);
            return -1;
        }
        if (node->getId() == eXNI_IIF) node->setTypeConfig(configA);
        return 0;
    }
    XNode* hierarchical = hierarchicalA ? childA : childB;
    const XType other = hierarchicalA ? b : a;
    if (!other.isNull()) {
        say(1, childA, childB, eQvMSG_TYPE_MISMATCH);
        return -1;
    }
    if (!hasValidTypeConfig(hierarchical)) {
        say(1, node, eQvMSG_INVALID_HIERARCHICAL_TYPE);
        return -1;
    }
    if (node->getId() == eXNI_IIF) node->setTypeConfig(hierarchical->getTypeConfig());
    return 0;
}

// ===== variant choosers =====

XOp XValidator::chooseNumeric(XNodeOpt* node, int variant, int arity,
                              int (XValidator::*typing)(XNodeOpt*, XType&)) {
    XOp op(variant);
    XType type;
    // Quietly: the visit types the operands again and reports once.
    ++m_quiet;
    const int typed = node->getNumChildren() == arity && (this->*typing)(node, type) == 0;
    --m_quiet;
    if (typed && type.isCustom()) op = XOp(variant + 1);
    setNodeOp(node, op);
    return op;
}

XOp XValidator::getOpAbs(XNodeOpt* node) { return chooseNumeric(node, 6, 1, &XValidator::getOpdTypeOneArgNumeric); }
XOp XValidator::getOpCeil(XNodeOpt* node) { return chooseNumeric(node, 10, 1, &XValidator::getOpdTypeOneArgNumeric); }
XOp XValidator::getOpFloor(XNodeOpt* node) { return chooseNumeric(node, 12, 1, &XValidator::getOpdTypeOneArgNumeric); }
XOp XValidator::getOpPlus(XNodeOpt* node) { return chooseNumeric(node, 8, 2, &XValidator::getOpdTypeTwoArgNumeric); }
XOp XValidator::getOpMinus(XNodeOpt* node) { return chooseNumeric(node, 60, 2, &XValidator::getOpdTypeTwoArgNumeric); }
XOp XValidator::getOpMultiply(XNodeOpt* node) { return chooseNumeric(node, 44, 2, &XValidator::getOpdTypeTwoArgNumeric); }
XOp XValidator::getOpDivide(XNodeOpt* node) { return chooseNumeric(node, 22, 2, &XValidator::getOpdTypeTwoArgNumeric); }
XOp XValidator::getOpMod(XNodeOpt* node) { return chooseNumeric(node, 14, 2, &XValidator::getOpdTypeTwoArgNumeric); }
XOp XValidator::getOpAnd(XNodeOpt* node) { return chooseNumeric(node, eXOP_ANDX, 2, &XValidator::getOpdTypeTwoArgBoolean); }
XOp XValidator::getOpOr(XNodeOpt* node) { return chooseNumeric(node, eXOP_ORX, 2, &XValidator::getOpdTypeTwoArgBoolean); }

// The choosers that look at child 0's own type only.
XOp XValidator::chooseByFirstChild(XNodeOpt* node, int variant, int exactly) {
    const int n = node->getNumChildren();
    const int fits = exactly ? n == 1 : n >= 1;
    const XOp op(fits && getChildType(node, 0).isCustom() ? variant + 1 : variant);
    setNodeOp(node, op);
    return op;
}

XOp XValidator::getOpNot(XNodeOpt* node) { return chooseByFirstChild(node, eXOP_NOTX, 1); }
XOp XValidator::getOpSign(XNodeOpt* node) { return chooseByFirstChild(node, 16, 1); }
XOp XValidator::getOpTo_float(XNodeOpt* node) { return chooseByFirstChild(node, eXOP_TO_FLOAT, 1); }
XOp XValidator::getOpTo_integer(XNodeOpt* node) { return chooseByFirstChild(node, 95, 0); }
XOp XValidator::getOpTo_bigint(XNodeOpt* node) { return chooseByFirstChild(node, 97, 0); }

XOp XValidator::getOpTo_decimal38(XNodeOpt* node) {
    XOp op(eXOP_TO_FLOAT);
    if (node->getNumChildren() >= 1) {
        const XType first = getChildType(node, 0);
        if (isHighPrecision()) op = XOp(first.isVector() ? 90 : 89);
        else if (first.isCustom()) op = XOp(94);
    }
    setNodeOp(node, op);
    return op;
}

// A constant text: the text type of the current mode, and constant.
static int isConstantText(const XNode* child) {
    return child && child->getDataType().isString(1) && XValidator::isNodeConstnessTrue(child);
}

XOp XValidator::chooseByConstantFormat(XNodeOpt* node, int withStr, int count, int formatAt) {
    const int known = node->getNumChildren() == count && getChildType(node, 0).isDate() &&
                      isConstantText(node->getChild(formatAt));
    const XOp op(known ? withStr - 1 : withStr);
    setNodeOp(node, op);
    return op;
}

XOp XValidator::getOpAdd_to_date(XNodeOpt* node) { return chooseByConstantFormat(node, eXOP_ADD_TO_DATE_WITHSTR, 3, 1); }
XOp XValidator::getOpDate_diff(XNodeOpt* node) { return chooseByConstantFormat(node, eXOP_DATE_DIFF_WITHSTR, 3, 2); }
XOp XValidator::getOpGet_date_part(XNodeOpt* node) { return chooseByConstantFormat(node, eXOP_GET_DATE_PART_WITHSTR, 2, 1); }
XOp XValidator::getOpSet_date_part(XNodeOpt* node) { return chooseByConstantFormat(node, eXOP_SET_DATE_PART_WITHSTR, 3, 1); }

XOp XValidator::getOpSystimestamp(XNodeOpt* node) {
    const int n = node->getNumChildren();
    const int known = n == 0 || (n == 1 && isConstantText(node->getChild(0)));
    const XOp op(known ? eXOP_SYSTIMESTAMP : eXOP_SYSTIMESTAMP_WITHSTR);
    setNodeOp(node, op);
    return op;
}

XOp XValidator::getOpTo_date(XNodeOpt* node) {
    const int n = node->getNumChildren();
    const int known = n >= 1 && getChildType(node, 0).isString(1) &&
                      (n == 1 || isConstantText(node->getChild(1)));
    const XOp op(known ? eXOP_TO_DATE : eXOP_TO_DATE_WITHSTR);
    setNodeOp(node, op);
    return op;
}

XOp XValidator::chooseRoundOrTrunc(XNodeOpt* node, int number, int custom, int date,
                                   int dateWithStr) {
    const int n = node->getNumChildren();
    XOp op(number);
    if (n == 0) {
        say(1, node, eQvMSG_TOO_FEW_ARGUMENTS);
        op = XOp(eXMINT_INVALID);
    } else if (getChildType(node, 0).isDate()) {
        op = XOp(n == 1 || isConstantText(node->getChild(1)) ? date : dateWithStr);
    } else if (getChildType(node, 0).isCustom()) {
        op = XOp(custom);
    }
    setNodeOp(node, op);
    return op;
}

XOp XValidator::getOpRound(XNodeOpt* node) {
    return chooseRoundOrTrunc(node, eXOP_ROUND_NUM, 55, eXOP_ROUND_DATE, eXOP_ROUND_DATE_WITHSTR);
}

// TRUNC's custom variant follows its date variants rather than the number's.
XOp XValidator::getOpTrunc(XNodeOpt* node) {
    return chooseRoundOrTrunc(node, eXOP_TRUNC_NUM, 101, eXOP_TRUNC_DATE, eXOP_TRUNC_DATE_WITHSTR);
}

XOp XValidator::getOpTo_decimal(XNodeOpt* node) {
    XOp op(eXOP_TO_FLOAT);
    if (node->getNumChildren() >= 1) {
        const int custom = getChildType(node, 0).isCustom();
        if (!isHighPrecision()) {
            op = XOp(custom ? 94 : eXOP_TO_FLOAT);
        } else {
            switch (XType::getDecMax().toInteger()) {
                case eXDT_DEC18: op = XOp(custom ? 91 : eXOP_TO_DECIMAL18); break;
                case eXDT_DEC28: op = XOp(custom ? 92 : eXOP_TO_DECIMAL28); break;
                default: op = XOp(eXOP_TO_DECIMAL38); break;
            }
        }
    }
    setNodeOp(node, op);
    return op;
}

namespace {

// TO_CHAR by the type of its value: the plain variant, and the one that
// also takes a count of decimal places (0: none).
struct ToCharVariants {
    int type;
    int plain;
    int withPlaces;
};

constexpr ToCharVariants kToCharVariants[] = {
    {eXDT_INT, eXOP_TO_CHAR_INT, eXOP_TO_CHARX_INT},
    {eXDT_NULL, eXOP_TO_CHAR_INT, eXOP_TO_CHARX_INT},
    {eXDT_BOOLEAN, eXOP_TO_CHAR_INT, eXOP_TO_CHARX_INT},
    {eXDT_BIGINT, eXOP_TO_CHAR_BIGINT, eXOP_TO_CHARX_BIGINT},
    {eXDT_FLOAT, eXOP_TO_CHAR_FLOAT, eXOP_TO_CHARX_FLOAT},
    {eXDT_DEC18, eXOP_TO_CHAR_DEC18, eXOP_TO_CHARX_DEC18},
    {eXDT_DEC28, eXOP_TO_CHAR_DEC28, eXOP_TO_CHARX_DEC28},
    {eXDT_DEC38, eXOP_TO_CHAR_DEC38, eXOP_TO_CHARX_DEC38},
    {eXDT_STRING, eXOP_TO_CHAR_ALPHA_NOP, eXOP_TO_CHARX_CHAR},
    {eXDT_UNISTRING, eXOP_TO_CHAR_ALPHA_NOP, eXOP_TO_CHARX_CHAR},
};

}  // namespace

XOp XValidator::getOpTo_char(XNodeOpt* node) {
    const int n = node->getNumChildren();
    XOp op(eXOP_TO_CHAR_INT);
    if (n >= 1) {
        XNode* value = node->getChild(0);
        const XType type = value->getDataType();
        op = XOp(eXMINT_INVALID);
        for (const ToCharVariants& row : kToCharVariants) {
            if (row.type == type.toInteger()) {
                op = XOp(n == 2 && m_toCharSwitch ? row.withPlaces : row.plain);
            }
        }
        if (type.isDate()) {
            op = XOp(n == 1 || isConstantText(node->getChild(1)) ? eXOP_TO_CHAR_DATE
                                                                  : eXOP_TO_CHAR_DATE_WITHSTR);
        } else if (type.isCustom()) {
            op = XOp(type.isNumeric(1) ? eXOP_TO_CHAR_CUSTOM : eXOP_TO_CHARX_CUSTOM);
        } else if (type.isBinary()) {
            say(1, value, eQvMSG_BINARY_NOT_ALLOWED);
        } else if (!op.isValid()) {
            // A hierarchical value has no text form.
            say(1, getNodeForNameInMsg(value), value, eQvMSG_INVALID_OPERAND_TYPE);
        }
    }
    setNodeOp(node, op);
    return op;
}

// Comparisons: the operand type picks the row (numbers, text, dates, raw
// bytes, custom types); a typing failure leaves no variant at all.
XOp XValidator::chooseComparison(XNodeOpt* node, int variant,
                                 int (XValidator::*typing)(XNodeOpt*, XType&)) {
    XOp op(variant);
    if (node->getNumChildren() == 2) {
        XType type;
        if ((this->*typing)(node, type) != 0) {
            op = XOp(eXMINT_INVALID);
        } else if (type.isString(1)) {
            op = XOp(variant + 1);
        } else if (type.isDate()) {
            op = XOp(variant + 2);
        } else if (type.isBinary()) {
            op = XOp(variant + 3);
        } else if (type.isCustom()) {
            op = XOp(type.isNumeric(1) ? variant + 5 : variant + 4);
        }
    }
    setNodeOp(node, op);
    return op;
}

XOp XValidator::getOpEQ(XNodeOpt* node) { return chooseComparison(node, eXOP_EQ_NUM, &XValidator::getOpdTypeEqOp); }
XOp XValidator::getOpNE1(XNodeOpt* node) { return chooseComparison(node, eXOP_NE_NUM, &XValidator::getOpdTypeEqOp); }
XOp XValidator::getOpGE(XNodeOpt* node) { return chooseComparison(node, eXOP_GE_NUM, &XValidator::getOpdTypeCmpOp); }
XOp XValidator::getOpGT(XNodeOpt* node) { return chooseComparison(node, eXOP_GT_NUM, &XValidator::getOpdTypeCmpOp); }

// ===== constant-argument checks =====

int XValidator::checkChildConstness(XNode* child, int mustBeConstant, int& valueAvailable) {
    valueAvailable = 0;
    if (child->isNullNode() && notAllowNullNode(child)) {
        reportAt(child, eQvMSG_NULL_NOT_ALLOWED, eXVFC_NULL_NOT_ALLOWED, XType(eXMINT_INVALID));
        return -1;
    }
    if (isNodeConstnessTrue(child)) {
        valueAvailable = !child->isRefNode() && child->isValueAvailable();
        return 0;
    }
    if (mustBeConstant) {
        reportAt(child, eQvMSG_CONSTANT_EXPECTED, eXVFC_CONSTANT_EXPECTED, XType(eXMINT_INVALID));
        return -1;
    }
    return 0;
}

int XValidator::checkChildConstness_DivideByZero(XNodeOpt* node) {
    XNode* divisor = node->getChild(1);
    int valueAvailable = 0;
    if (checkChildConstness(divisor, 0, valueAvailable) != 0) return -1;
    if (!valueAvailable || !divisor->getDataType().isNumeric(1) || !divisor->isConstNode()) return 0;
    double value = 1.0;
    if (static_cast<XNodeConstBase*>(divisor)->getDoubleValueV(value) != 0 || value != 0.0) return 0;
    say(1, node, divisor, eQvMSG_DIVISION_BY_ZERO);
    return -1;
}

int XValidator::checkChildConstness_agg(XNodeOpt* node) {
    if (relaxValidation() || allowNullType()) return 0;
    const int n = node->getNumChildren();
    for (int i = 0; i < n; ++i) {
        XNode* child = node->getChild(i);
        if (child && child->getDataType().isNull()) {
            reportAt(child, eQvMSG_NULL_NOT_ALLOWED, eXVFC_NULL_NOT_ALLOWED, XType(eXMINT_INVALID));
            return -1;
        }
    }
    return 0;
}

