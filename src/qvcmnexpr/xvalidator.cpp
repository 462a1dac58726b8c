// The validator's walk, the common protocol of operators and functions, the
// leaves, argument counting and type compatibility. Operand typing and the
// variant choosers are in xvalidatoropd.cpp, references and variables in
// xvalidatorref.cpp, the completeness pass in xvalidatorcheck.cpp.
#include "qvcmnexpr/xvalidator.h"

#include "qvcmnasrt.h"
#include "qvcmnexpr/xexprstrinfo.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtree.h"
#include "qvutils.h"
#include "xvalidatorrows.h"

namespace {

constexpr const char* kUnit = "xvalidator";

XNodeParent* parentOf(XNode* node) { return node->getParent(); }

}  // namespace

XValidator::XValidator(XParserContext* context) : m_context(context) { upg_resetFailureCase(); }

XValidator::~XValidator() = default;

// ===== failure record =====

void XValidator::upg_setFailureCase(EXValidationFailureCase failureCase, int childIndex, XType type) {
    if (m_failureCase != eXVFC_NONE) return;
    m_failureCase = failureCase;
    m_failureChildIndex = childIndex;
    m_failureExpectedType = type;
}

void XValidator::upg_resetFailureCase() {
    m_failureCase = eXVFC_NONE;
    m_failureChildIndex = -1;
    m_failureExpectedType = XType(eXMINT_INVALID);
}

int XValidator::relaxValidation() const { return m_context ? m_context->isRelaxValidationSet() : 0; }

int XValidator::allowNullType() const { return m_context ? m_context->isAllowNullTypeSet() : 0; }

int XValidator::isHighPrecision() const { return XType::getIsHighPrecisionMode(); }

// Messages are the failure path: kept out of line, so that the hot visits,
// which are flattened (every call in them inlined), stay small.
[[gnu::cold, gnu::noinline]]
void XValidator::say(int isError, XNode* node, int id) {
    if (m_quiet == 0) XParser::appendParserMessage(isError, getTree(), node, id);
}

[[gnu::cold, gnu::noinline]]
void XValidator::say(int isError, XNode* nameNode, XNode* posNode, int id) {
    if (m_quiet == 0) XParser::appendParserMessage(isError, getTree(), nameNode, posNode, id);
}

[[gnu::cold, gnu::noinline]]
void XValidator::reportAt(XNode* child, int id, EXValidationFailureCase failureCase, XType expected) {
    say(1, child, id);
    if (failureCase != eXVFC_NONE) {
        upg_setFailureCase(failureCase, child->getMyIndexInParent(), expected);
    }
}

// ===== the walk =====

int XValidator::visitSyntaxTree(XTree* tree, XStack* stack, void*) {
    if (!tree || !tree->getRoot()) return -1;
    // Every operation of the validator is visitKind (below), so the walk
    // hands each node to it directly.
    const auto visit = [](XVisitor& self, XNode* node) {
        return static_cast<XValidator&>(self).visitKind(node);
    };
    if (visitTreePostOrder(tree, stack, visit) != 0) return -1;
    XNode* root = tree->getRoot();

    // Every non-row expression of one widget has the level of the first.
    const XAggLevel level = getNodeAggLevel(root);
    if (!level.isRow() && m_context) {
        const XAggLevel widgetLevel(m_context->getCurrentWidgetAggLevel());
        if (widgetLevel.isRow()) {
            m_context->setCurrentWidgetAggLevel(level.toInteger());
        } else if (!widgetLevel.isSame(level)) {
            XParser::appendParserMessage(1, tree, root, eQvMSG_MIXED_AGGREGATION_LEVELS);
            upg_setFailureCase(eXVFC_MIXED_AGGREGATION, -1, XType(eXMINT_INVALID));
            return -1;
        }
    }
    setNodeTypeParentExpectsIndicator(root, XTypeParentExpectsIndicator(eXTPE_ANY_PLUS_BINARY));

    // A tree the completeness pass rejects is never returned without a
    // message: a context that fills a record badly would otherwise leave the
    // caller with a failure nobody can read.
    const size_t errorsBefore = tree->getMsgErr() ? tree->getMsgErr()->length() : 0;
    XNode* failed = nullptr;
    XNodeList* walked = nullptr;
    if (tree->dfs(walked, 1, 0, stack) != 0) walked = nullptr;
    if (!checkIsProperlySetAt(tree, 1, 0, relaxValidation(), allowNullType(), nullptr, failed, walked)) {
        const size_t errorsAfter = tree->getMsgErr() ? tree->getMsgErr()->length() : 0;
        if (failed && errorsAfter == errorsBefore) {
            XParser::appendParserMessage(1, tree, failed, eQvMSG_INVALID_OPERAND_TYPE);
        }
        return -1;
    }
    return 0;
}

// Every kind reaches one dispatcher; the kind decides.
#define VISIT_OP(Op, KIND) \
    int XValidator::visit##Op##Node(XNode* node) { return visitKind(node); }
#include "qvcmnexpr/xnodevisits.def"

int XValidator::visitKind(XNode* node) {
    switch (node->getId()) {
        case eXNI_CONST:
        case eXNI_DD_DELETE: case eXNI_DD_INSERT: case eXNI_DD_REJECT: case eXNI_DD_UPDATE:
        case eXNI_FALSE: case eXNI_TRUE:
        case eXNI_TC_CONTINUE_TRANSACTION: case eXNI_TC_COMMIT_BEFORE: case eXNI_TC_COMMIT_AFTER:
        case eXNI_TC_ROLLBACK_BEFORE: case eXNI_TC_ROLLBACK_AFTER:
        case eXNI_ABORTED: case eXNI_DISABLED: case eXNI_FAILED: case eXNI_NOTSTARTED:
        case eXNI_STARTED: case eXNI_STOPPED: case eXNI_SUCCEEDED:
            return visitNonOptNodeCommon(node, 1, XType(eXMINT_NOCHANGE));
        case eXNI_NULL: return visitNonOptNodeCommon(node, 1, XType(eXDT_NULL));
        case eXNI_SESSSTARTTIME: return visitNonOptNodeCommon(node, 1, XType(eXDT_DATE));
        case eXNI_SYSDATE:
        case eXNI_WORKFLOWSTARTTIME: return visitNonOptNodeCommon(node, 0, XType(eXDT_DATE));
        case eXNI_STAR: return visitNonOptNodeCommon(node, 0, XType(eXDT_INT));
        case eXNI_PORTVAR:
        case eXNI_QUALIFIEDPORTVAR: return validatePortVar(node);
        case eXNI_MAPVAR: return validateMapVar(node);
        case eXNI_WFVAR: return validateWFVar(node);
        case eXNI_FUNC_IDENTIFIER: return validateFuncIdentifier(node);
        case eXNI_LIST: return validateList(node);
        case eXNI_DOTSTARDOT: return 0;
        case eXNI_LKP: case eXNI_EXT: case eXNI_SP: case eXNI_EXTFUNC:
            return validateWidgetNode(static_cast<XNodeWidget*>(node));
        case eXNI_LOOKUP: return validateLookupNode(static_cast<XNodeWidget*>(node));
        case eXNI_MACRO: return validateMacroNode(static_cast<XNodeWidget*>(node));
        case eXNI_PROC_RESULT: return validateProcResultNode(node);
        // Hierarchical values (xvalidatorhtype.cpp).
        case eXNI_DOT: case eXNI_DOTDOT: return visitDotForm(static_cast<XNodeOpt*>(node));
        case eXNI_NESTEDPORTREF: return visitNestedPortRef(node);
        case eXNI_TYPE: return visitTypeForm(static_cast<XNodeOpt*>(node));
        case eXNI_SUB: return visitSubscript(static_cast<XNodeOpt*>(node));
        // Forms of the language that never validate (the parser builds none of
        // them; a caller's tree may): refused with a message, never silently.
        case eXNI_ASSIGN: case eXNI_PERCREF: case eXNI_PERCDETACHED: case eXNI_PIVOT:
        case eXNI_TO_NUMBER:
            return failUnsupported(node);
        default:
            break;
    }
    if (node->isOptNode()) return visitByRow(static_cast<XNodeOpt*>(node));
    return failUnsupported(node);
}

[[gnu::cold, gnu::noinline]]
int XValidator::failUnsupported(XNode* node) {
    say(1, node, eQvMSG_NOT_VALIDATED_YET);
    upg_setFailureCase(eXVFC_NO_VARIANT, -1, XType(eXMINT_INVALID));
    return -1;
}

// ===== the common protocol =====

// The validator's hot entry points are flattened: every call in them that
// can be inlined is, as a static link of the whole program would do. In the
// shared library each step of the protocol is an exported function, which
// the compiler keeps whole and so would rather call than inline.
[[gnu::flatten]]
int XValidator::visitByRow(XNodeOpt* node) {
    int count = 0;
    const XValidatorRow* rows = XValidatorRows::rowsOf(node->getId(), count);
    if (!rows) return failUnsupported(node);

    // Most rows name the do-nothing chooser, typing and check. Those are
    // settled here: a call through a row's pointer jumps to a target that
    // changes from node to node, which the processor mispredicts, and the
    // call is worth making only when it does work.
    const XOp op = rows[0].chooser == &XValidator::getOpUnusedM ? XOp(eXOP_UNUSED)
                                                                 : (this->*rows[0].chooser)(node);
    setNodeOp(node, op);
    const XValidatorRow* row = nullptr;
    for (int i = 0; op.isValid() && i < count && !row; ++i) {
        if (rows[i].serves(op)) row = &rows[i];
    }
    if (!row) {
        upg_setFailureCase(eXVFC_NO_VARIANT, -1, XType(eXMINT_INVALID));
        return -1;
    }
    if (checkNumChildren(node, row->minArgs, row->maxArgs) != 0) return -1;
    setNodeResultTypeIndicator(node, row->resultIndicator());

    XType operandType;
    if (row->typing != &XValidator::getOpdTypeDummy && (this->*row->typing)(node, operandType) != 0) {
        upg_setFailureCase(eXVFC_OPERAND_TYPING, -1, XType(eXMINT_INVALID));
        return -1;
    }
    if (row->check != &XValidator::checkChildConstness_Dummy && (this->*row->check)(node) != 0) {
        upg_setFailureCase(eXVFC_CONSTANT_ARGUMENT, -1, XType(eXMINT_INVALID));
        return -1;
    }
    setNodeOp(node, op);
    const int maxArgs = row->maxArgs == XValidatorRow::cNoMax ? node->getNumChildren() : row->maxArgs;
    if (visitOptNodeCommon(node, operandType, row->expectations, maxArgs, row->canBeConstant) != 0) {
        return -1;
    }
    if (isSetVariableKind(node->getId()) && checkChildMapVar(node) != 0) {
        upg_setFailureCase(eXVFC_SETVARIABLE, 0, XType(eXMINT_INVALID));
        return -1;
    }
    return 0;
}

int XValidator::isSetVariableKind(EXNodeId kind) {
    return kind == eXNI_SETVAR || kind == eXNI_SETMAXVAR || kind == eXNI_SETMINVAR ||
           kind == eXNI_SETCOUNTVAR;
}

int XValidator::visitOptNodeCommon(XNodeOpt* node, XType operandType,
                                   const XTypeParentExpectsIndicator* childExpectations, int maxArgs,
                                   int canBeConstant) {
    XResultTypeIndicator rti = getNodeResultTypeIndicator(node);
    if (node->getId() == eXNI_TO_DECIMAL38 && rti.toInteger() == XType::cls_firstCustomType) {
        // The widest decimal custom type; without one registered there is
        // no type to convert to.
        const XType widest = XType::getCustomDecMax();
        if (!widest.isValid()) {
            reportAt(node, eQvMSG_INVALID_OPERAND_TYPE, eXVFC_NO_VARIANT, XType(eXMINT_INVALID));
            return -1;
        }
        rti = XResultTypeIndicator(widest);
    }
    XType result;
    if (rti.isFloating()) {
        if (rti.isBoolean()) {
            result = XType(eXDT_BOOLEAN);
            setNodeAugType(node, operandType);
        } else if (rti.isSameAsOpd()) {
            result = operandType;
            if (result.isHType() && !node->getTypeConfig()) {
                XNode* first = node->getChild(0);
                const void* config = first ? first->getTypeConfig() : nullptr;
                if (!first || !hasValidTypeConfig(first)) {
                    say(1, node, eQvMSG_INVALID_HIERARCHICAL_TYPE);
                    return -1;
                }
                node->setTypeConfig(config);
            }
        } else if (rti.isOneLevelUp()) {
            result = operandType.getResultTypeOneLevelWider(rti.isOneLevelUpWithFraction());
            const EXNodeId kind = node->getId();
            if ((kind == eXNI_MULTIPLY || kind == eXNI_DIVIDE) && operandType.isInt() &&
                isHighPrecision()) {
                result = XType::getDecMax().toInteger() == eXDT_DEC18 ? XType(eXDT_DEC18)
                                                                      : XType(eXDT_DEC28);
            }
        } else if (rti.isReal()) {
            result = operandType.toReal();
        } else {
            // No row carries another floating rule; should one ever, the
            // node is refused rather than the process stopped.
            reportAt(node, eQvMSG_INVALID_OPERAND_TYPE, eXVFC_NO_VARIANT, XType(eXMINT_INVALID));
            return -1;
        }
    } else {
        // Either "same as the operand, fixed" or a fixed data type.
        result = rti.isSameAsOpdFixed() ? operandType : rti.toXDataType();
    }
    setNodeDataType(node, result);
    return visitOptNodeCommonHelper(node, childExpectations, maxArgs, canBeConstant);
}

int XValidator::combineChildLevels(XNodeParent* node, XAggLevel& level) {
    level = XAggLevel(eXAL_ROW);
    const int count = node->getNumChildren();
    for (int i = 0; i < count; ++i) {
        XNode* child = node->getChild(i);
        if (!child) continue;
        const XAggLevel childLevel = getNodeAggLevel(child);
        if (!childLevel.isSame(level) && !childLevel.isRow() && !level.isRow()) {
            reportAt(child, eQvMSG_MIXED_AGGREGATION_LEVELS, eXVFC_MIXED_AGGREGATION,
                     XType(eXMINT_INVALID));
            return -1;
        }
        level = XAggLevel::getHighestOf(level, childLevel);
    }
    return 0;
}

int XValidator::expectationCount(const XTypeParentExpectsIndicator* list) {
    int length = 0;
    while (list && list[length].toInteger() != cls_tpeEndOfList) ++length;
    return length;
}

XTypeParentExpectsIndicator XValidator::childExpectation(XNodeOpt* node, int i, int count,
                                                         const XTypeParentExpectsIndicator* list,
                                                         int listLength) {
    XNode* child = node->getChild(i);
    switch (node->getId()) {
        case eXNI_DECODE:
            return isSearchChildOfDecode(i, count) ? XTypeParentExpectsIndicator(eXTPE_SAME_AS_AUGTYPE)
                                                   : XTypeParentExpectsIndicator(eXTPE_SAME_AS_PARENT);
        case eXNI_REPLACESTR:
            return i == 0 ? XTypeParentExpectsIndicator(eXDT_INT)
                          : XTypeParentExpectsIndicator(eXTPE_ALPHA);
        case eXNI_CRC:
            return XTypeParentExpectsIndicator(eXTPE_ANY_PLUS_BINARY);
        default:
            break;
    }
    // Relaxed counting lets a call have more arguments than its list names;
    // those extra arguments are expected as whatever they are.
    if (i >= listLength) return XTypeParentExpectsIndicator(eXTPE_ANY_PLUS_BINARY);
    const XTypeParentExpectsIndicator expectation = list[i];
    if (expectation.toInteger() != cls_tpeOtherOperand) return expectation;
    // Expected as the other operand: a NULL takes its partner's type.
    const XType own = child->getDataType();
    if (own.isNull() && count == 2) return XTypeParentExpectsIndicator(getChildType(node, 1 - i));
    return XTypeParentExpectsIndicator(own);
}

int XValidator::visitOptNodeCommonHelper(XNodeOpt* node,
                                         const XTypeParentExpectsIndicator* childExpectations, int,
                                         int canBeConstant) {
    XAggLevel level;
    if (combineChildLevels(node, level) != 0) return -1;
    if (node->isAggOpt()) level = level.getOneLevelHigher();
    if (!level.isValid()) {
        reportAt(node, eQvMSG_AGGREGATES_TOO_DEEP, eXVFC_AGGREGATION_TOO_DEEP, XType(eXMINT_INVALID));
        return -1;
    }
    if (isPercentileChildOfPercentile(node) && !level.isRow()) {
        reportAt(node, eQvMSG_PERCENTILE_NOT_ROW, eXVFC_PERCENTILE_NOT_ROW, XType(eXMINT_INVALID));
        return -1;
    }
    setNodeAggLevel(node, level);

    // Expectations first, for every child, so that a NULL operand reads its
    // partner's type before the partner itself is settled.
    const int count = node->getNumChildren();
    const int listLength = expectationCount(childExpectations);
    int allConstant = 1;
    for (int i = 0; i < count; ++i) {
        if (XNode* child = node->getChild(i)) {
            if (!isNodeConstnessTrue(child)) allConstant = 0;
            setNodeTypeParentExpectsIndicator(
                child, childExpectation(node, i, count, childExpectations, listLength));
        }
    }
    setNodeConstness(node, XBooleanInt(canBeConstant && allConstant ? 1 : 0));
    const int checkTypes = !relaxValidation();
    for (int i = 0; checkTypes && i < count; ++i) {
        XNode* child = node->getChild(i);
        if (!child) continue;
        const XType expected = expectedTypeOf(node, child);
        if (expected.isCustom()) continue;
        if (checkTypeCompatibility(expected, child) != 0) {
            upg_setFailureCase(eXVFC_INCOMPATIBLE_CHILD, i, expected);
            return -1;
        }
    }
    for (int i = 0; i < count; ++i) {
        XNode* child = node->getChild(i);
        if (!child || !child->getDataType().isNull()) continue;
        XType expected = expectedTypeOf(node, child);
        if (!allowNullType() && expected.isNull()) expected = XType(eXDT_INT);
        setNodeDataType(child, expected);
        if (expected.isString(1)) child->setNumCharsMax(0);
    }
    estimateNumCharsMax(node);
    return 0;
}

XType XValidator::expectedTypeOf(XNodeOpt* node, XNode* child) {
    const XTypeParentExpectsIndicator expectation = getNodeTypeParentExpectsIndicator(child);
    return expectation.getExpectedType(node->getDataType(), getNodeAugType(node), child->getDataType(),
                                       getNodeAugType(child));
}

// ===== leaves =====

[[gnu::flatten]]
int XValidator::visitNonOptNodeCommon(XNode* node, int isConstant, XType type) {
    if (type.toInteger() != eXMINT_NOCHANGE) setNodeDataType(node, type);
    if (!node->isRefByExternal()) setNodeDataType(node, node->getDataType().getEquivType(1));
    if (!node->getDataType().isValidDataTypeForValidation(1) && !allowAddlDataType(node)) {
        reportAt(node, eQvMSG_INVALID_OPERAND_TYPE, eXVFC_NONE, XType(eXMINT_INVALID));
        return -1;
    }
    node->getCmnInfoPtr()->setAllFieldsToDummy();

    XAggLevel level(eXAL_ROW);
    if (node->isWidgetNode()) {
        if (combineChildLevels(static_cast<XNodeParent*>(node), level) != 0) return -1;
        if (node->isExtFuncNode() && m_context && isExtAggregate(static_cast<XNodeWidget*>(node))) {
            level = level.getOneLevelHigher();
        }
        if (!level.isValid()) {
            reportAt(node, eQvMSG_AGGREGATES_TOO_DEEP, eXVFC_AGGREGATION_TOO_DEEP,
                     XType(eXMINT_INVALID));
            return -1;
        }
    }
    setNodeAggLevel(node, level);
    setNodeConstness(node, XBooleanInt(isConstant ? 1 : 0));
    if (!m_refRecordingOff && XExprStrInfo::isRef(node) && getTree()->getExprStrInfo()) {
        getTree()->getExprStrInfo()->addRefNode(node);
    }
    estimateNumCharsMax(node);
    return 0;
}

int XValidator::isExtAggregate(XNodeWidget* node) {
    XTokName* name = node->getTokName();
    return name && m_context->isExtAggFunc(name->getLast()->getName());
}

// ===== argument counts and compatibility =====

int XValidator::checkNumChildren(XNodeOpt* node, int minArgs, int maxArgs) {
    const int n = node->getNumChildren();
    const EXNodeId kind = node->getId();
    if (kind == eXNI_DECODE || kind == eXNI_REPLACESTR || kind == eXNI_CRC) {
        if (n >= minArgs) return 0;
    } else if (n >= minArgs && n <= maxArgs) {
        return 0;
    } else if (n > maxArgs && m_context && m_context->isRelaxValidationSet() == 1) {
        for (int i = 0; i < n; ++i) {
            XNode* child = node->getChild(i);
            if (child && child->getDataType().isNull()) return 0;
        }
    }
    say(1, node,
                                 n >= minArgs ? eQvMSG_TOO_MANY_ARGUMENTS : eQvMSG_TOO_FEW_ARGUMENTS);
    upg_setFailureCase(eXVFC_ARGUMENT_COUNT, -1, XType(eXMINT_INVALID));
    return -1;
}

int XValidator::checkTypeConversion(XType expected, XNode* child) {
    const XType actual = child->getDataType();
    if (expected.isCompatible(actual)) {
        if (actual.isNull() || actual.isSame(expected)) return 0;
        int warning = 0;
        if (expected.isNumeric(1) && !actual.isNumeric(1)) warning = eQvMSG_CONVERTED_TO_NUMBER;
        else if (expected.isString(1) && !actual.isString(0)) warning = eQvMSG_CONVERTED_TO_STRING;
        else if (expected.isDate() && !actual.isDate()) warning = eQvMSG_CONVERTED_TO_DATE;
        if (warning) say(0, getNodeForNameInMsg(child), child, warning);
        return 0;
    }
    XNode* nameNode = getNodeForNameInMsg(child);
    const int index = child->getMyIndexInParent();
    if (!expected.isValid()) {
        say(1, nameNode, child, eQvMSG_TYPE_MISMATCH);
    } else if (expected.isNumeric(1)) {
        say(1, nameNode, child, eQvMSG_NUMBER_EXPECTED);
        upg_setFailureCase(eXVFC_NUMERIC_EXPECTED, index, expected);
    } else if (expected.isString(1)) {
        say(1, nameNode, child, eQvMSG_STRING_EXPECTED);
        upg_setFailureCase(eXVFC_STRING_EXPECTED, index, XType(eXMINT_INVALID));
    } else if (expected.isDate()) {
        say(1, nameNode, child, eQvMSG_DATE_EXPECTED);
        upg_setFailureCase(eXVFC_DATE_EXPECTED, index, expected);
    } else {
        // A BINARY (or other) expectation the operand does not meet: the
        // typing rules never lead here, but a context's types might.
        say(1, nameNode, child, eQvMSG_TYPE_MISMATCH);
    }
    return -1;
}

int XValidator::visitPostProcessing(XNodeOpt* node) {
    setNodeOp(node, XOp(eXOP_UNUSED));
    node->setNumCharsMax(0);
    node->getMetadataPtr()->setArgType(1);
    setNodeAggLevel(node, XAggLevel(eXAL_ROW));
    setNodeConstness(node, XBooleanInt(0));
    return 0;
}

// ===== messages =====

[[gnu::cold, gnu::noinline]]
void XValidator::appendMsg(const unsigned short* text, XTree* tree, XNode* node) {
    QvUString message;
    message.sprint(qvGetMsg(eQvMSG_INVALID_TYPE_DEFINITION).getBuffer(), text);
    XParser::appendParserMessage(1, tree, node, message.getBuffer());
}

XNode* XValidator::getNodeForNameInMsg(XNode* node) {
    XNodeParent* parent = parentOf(node);
    if (parent && parent->isOptNode() && !parent->isDummyParentOfRoot() && !parent->isRoot()) {
        return parent;
    }
    return node;
}

// ===== attributes =====

XAggLevel XValidator::getNodeAggLevel(const XNode* node) { return node->getCmnInfoConstPtr()->getAggLevel(); }
XType XValidator::getNodeAugType(const XNode* node) { return node->getCmnInfoConstPtr()->getAugType(); }
XBooleanInt XValidator::getNodeConstness(const XNode* node) {
    return node->getCmnInfoConstPtr()->getConstness();
}
XType XValidator::getNodeDataType(const XNode* node) { return node->getDataType(); }
XOp XValidator::getNodeOp(const XNode* node) { return node->getCmnInfoConstPtr()->getOp(); }
XResultTypeIndicator XValidator::getNodeResultTypeIndicator(const XNode* node) {
    return node->getCmnInfoConstPtr()->getResultTypeIndicator();
}
XNonNegInt XValidator::getNodeScale(const XNode* node) { return node->getScale(); }
XTypeParentExpectsIndicator XValidator::getNodeTypeParentExpectsIndicator(const XNode* node) {
    return node->getCmnInfoConstPtr()->getParentExpects();
}
void XValidator::setNodeAggLevel(XNode* node, XAggLevel level) { node->getCmnInfoPtr()->setAggLevel(level); }
void XValidator::setNodeAugType(XNode* node, XType type) { node->getCmnInfoPtr()->setAugType(type); }
void XValidator::setNodeConstness(XNode* node, XBooleanInt constness) {
    node->getCmnInfoPtr()->setConstness(constness);
}
void XValidator::setNodeDataType(XNode* node, XType type) { node->setDataType(type); }
void XValidator::setNodeOp(XNode* node, XOp op) { node->getCmnInfoPtr()->setOp(op); }
void XValidator::setNodeResultTypeIndicator(XNode* node, XResultTypeIndicator rti) {
    node->getCmnInfoPtr()->setResultTypeIndicator(rti);
}
void XValidator::setNodeScale(XNode* node, int scale) { node->setScale(scale); }
void XValidator::setNodeTypeParentExpectsIndicator(XNode* node, XTypeParentExpectsIndicator tpe) {
    node->getCmnInfoPtr()->setParentExpects(tpe);
}
XType XValidator::getChildType(const XNodeOpt* node, int i) {
    const XNode* child = node->getChild(i);
    return child ? child->getDataType() : XType(eXMINT_INVALID);
}

void XValidator::setNodeInfo(XTree* tree, XNode* node, const XNodeCmnInfo& info, const XMetadata* md,
                             int, int) {
    XNodeCmnInfo* target = node->getCmnInfoPtr();
    constexpr int kKeep = eXMINT_NOCHANGE;
    if (info.getAggLevel().toInteger() != kKeep) target->setAggLevel(info.getAggLevel());
    if (info.getOp().toInteger() != kKeep) target->setOp(info.getOp());
    if (info.getAugType().toInteger() != kKeep) target->setAugType(info.getAugType());
    if (info.getConstness().toInteger() != kKeep) target->setConstness(info.getConstness());
    if (info.getParentExpects().toInteger() != kKeep) target->setParentExpects(info.getParentExpects());
    if (info.getResultTypeIndicator().toInteger() != kKeep) {
        target->setResultTypeIndicator(info.getResultTypeIndicator());
    }
    if (!md) return;
    XMetadata* own = node->getMetadataPtr();
    if (md->getDataType().toInteger() != kKeep) own->setDataType(md->getDataType());
    if (md->getNumCharsMax().toInteger() != kKeep) own->setNumCharsMax(md->getNumCharsMax());
    if (md->getArgType().toInteger() != kKeep) own->setArgType(md->getArgType());
    if (tree && tree->isUpgrade()) own->copyUgdInfo(md);
}

// ===== predicates =====

int XValidator::isNodeConstnessTrue(const XNode* node) { return node->getCmnInfoConstPtr()->isConstnessTrue(); }

int XValidator::hasConstValue(const XNode* node) {
    return node->isConstNode() || node->isNullNode() || node->getId() == eXNI_SESSSTARTTIME ||
           isMapVarInitValueReference(node);
}

int XValidator::isPercentileChildOfPercentile(const XNode* node) {
    const XNodeParent* parent = node->getParent();
    return parent && parent->getId() == eXNI_PERCENTILE && parent->getChild(1) == node;
}

int XValidator::isSingleValuedNode(const XNode* node) {
    if (node->isKeywordNode()) return 0;
    if (node->getId() == eXNI_LIST) return node->getNumChildrenB() == 1;
    QvAssertHandler(kUnit, __LINE__);
    return 0;
}

int XValidator::isChildFilterOrIifCond(const XNodeParent* parent, int i) {
    switch (parent->getId()) {
        case eXNI_IIF: return i == 0;
        case eXNI_CUME: case eXNI_ANY: case eXNI_AVG: case eXNI_COUNT: case eXNI_FIRST:
        case eXNI_LAST: case eXNI_MAX: case eXNI_MEDIAN: case eXNI_MIN: case eXNI_PERCDETACHED:
        case eXNI_STDDEV: case eXNI_SUM: case eXNI_TRUE_LAST: case eXNI_VARIANCE:
            return i == 1;
        case eXNI_MOVINGAVG: case eXNI_MOVINGSUM: case eXNI_PERCENTILE: return i == 2;
        default: return 0;
    }
}

int XValidator::isSearchChildOfDecode(int i, int n) {
    if (i == 0) return 1;
    if (i == n - 1) return 0;
    return i % 2 != 0;
}

int XValidator::isSearchChildOfDecode(const XNode* node) {
    const XNodeParent* parent = node->getParent();
    if (!parent || parent->getId() != eXNI_DECODE) return 0;
    return isSearchChildOfDecode(node->getMyIndexInParent(), parent->getNumChildren());
}

int XValidator::isResultChildOfDecode(const XNode* node) {
    const XNodeParent* parent = node->getParent();
    if (!parent || parent->getId() != eXNI_DECODE) return 0;
    return isResultChildOfDecode(node->getMyIndexInParent(), parent->getNumChildren());
}
