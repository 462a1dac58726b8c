// The node attributes other than the data type: operation variants,
// aggregation levels, result-type and parent-expectation indicators and
// truth values. Only the rules that need XType or a name table live here;
// the rest are inline in xtype.h.
#include "qvcmnexpr/xtype.h"

#include "xtypenames.h"

const XAggLevel XAggLevel::cls_row(eXAL_ROW);
const XAggLevel XAggLevel::cls_group(eXAL_GROUP);
const XAggLevel XAggLevel::cls_nested(eXAL_NESTED);

const XBooleanInt XBooleanInt::cls_false(0);
const XBooleanInt XBooleanInt::cls_true(1);

const char* XOp::toString() const {
    return XEnum::enumToString(m_op, gXOpNames, xRowCount(gXOpNames));
}

const char* XAggLevel::toString() const {
    return XEnum::enumToString(m_level, gXAggLevelNames, xRowCount(gXAggLevelNames));
}

// ===== XResultTypeIndicator =====

namespace {
bool isResultRule(int value) { return value >= eXRT_SAME_AS_OPD && value <= eXRT_REAL; }
bool isParentRule(int value) { return value >= eXTPE_SAME_AS_PARENT && value <= eXTPE_ANY_NUMERIC; }
}  // namespace

int XResultTypeIndicator::isValid() const {
    return XType(m_rt).isValidDataTypeForValidation(0) || isResultRule(m_rt);
}

int XResultTypeIndicator::isFloating() const {
    if (m_rt == eXDT_BOOLEAN || m_rt == eXRT_REAL) return 1;
    if (m_rt == eXRT_SAME_AS_OPD_FIXED) return 0;
    return !XType(m_rt).isValidDataTypeForValidation(1);
}

XResultTypeIndicator XResultTypeIndicator::getXrtString() {
    return XResultTypeIndicator(XType::getXdtString());
}

const char* XResultTypeIndicator::toString() const {
    if (isResultRule(m_rt)) {
        return XEnum::enumToString(m_rt, gXResultTypeNames, xRowCount(gXResultTypeNames));
    }
    return XType(m_rt).toString();
}

// ===== XTypeParentExpectsIndicator =====

int XTypeParentExpectsIndicator::isValid() const {
    return XType(m_tpe).isValidatedDataType(0) || isParentRule(m_tpe);
}

XType XTypeParentExpectsIndicator::toXDataType() const {
    return m_tpe == eXTPE_ALPHA ? XType::getXdtString() : XType(m_tpe);
}

XType XTypeParentExpectsIndicator::getSpecificType() const {
    if (m_tpe == eXTPE_ALPHA) return XType::getXdtString();
    if (XType(m_tpe).isValidatedDataType(0)) return XType(m_tpe);
    return XType(eXMINT_INVALID);
}

XType XTypeParentExpectsIndicator::getExpectedType(XType parentType, XType augType,
                                                   XType childType, XType) const {
    XType specific = getSpecificType();
    if (specific.isValid()) return specific;
    const XType invalid(eXMINT_INVALID);
    switch (m_tpe) {
        case eXTPE_SAME_AS_PARENT:
            return parentType;
        case eXTPE_SAME_AS_AUGTYPE:
            return augType;
        case eXTPE_ANY:
            if (childType.isBinary()) return invalid;
            return childType.isNull() ? XType(eXDT_INT) : childType;
        case eXTPE_ANY_PLUS_BINARY:
            return childType;
        case eXTPE_ANY_ALPHA_NUMERIC:
            if (childType.isNull()) return XType(eXDT_INT);
            return (childType.isNumeric(1) || childType.isString(1)) ? childType : invalid;
        case eXTPE_ANY_NUMERIC:
            return childType.isNumeric(1) ? childType : XType(eXDT_INT);
        default:
            return invalid;
    }
}

XTypeParentExpectsIndicator XTypeParentExpectsIndicator::getXtpeString() {
    return XTypeParentExpectsIndicator(XType::getXdtString());
}

const char* XTypeParentExpectsIndicator::toString() const {
    if (isParentRule(m_tpe)) {
        return XEnum::enumToString(m_tpe, gXTypeParentExpectsNames,
                                   xRowCount(gXTypeParentExpectsNames));
    }
    return XType(m_tpe).toString();
}
