// The node attributes other than the data type: operation variants,
// aggregation levels, result-type and parent-expectation indicators and
// truth values. Only the names and the text-type helpers live here; the
// rules, asked of every node, are inline in xtype.h.
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

XType XTypeParentExpectsIndicator::toXDataType() const {
    return m_tpe == eXTPE_ALPHA ? XType::getXdtString() : XType(m_tpe);
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
