// References and variables: ports, mapping and workflow variables and
// function identifiers resolved through the caller's context, and the
// SETVARIABLE family, whose first argument must be a mapping variable of a
// fitting aggregation type.
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xvalidator.h"
#include "qvutils.h"

namespace {

XTokName* lastNameOf(XNode* node) {
    XTokName* chain = static_cast<XNodeRef*>(node)->getTokName();
    return chain ? chain->getLast() : nullptr;
}

// What the SETVARIABLE functions accept of a mapping variable's aggregation
// type: the message for each type they refuse, 0 for the types they take.
struct SetVariableRule {
    EXNodeId kind;
    int onMax;    // type eXMVT_MAX
    int onMin;    // type eXMVT_MIN
    int onCount;  // type eXMVT_COUNT
    int onOther;  // a type the records do not define
};

constexpr SetVariableRule kSetVariableRules[] = {
    {eXNI_SETVAR, 0, 0, 0, 0},
    {eXNI_SETCOUNTVAR, eQvMSG_VARIABLE_IS_MAX, eQvMSG_VARIABLE_IS_MIN, 0, eQvMSG_VARIABLE_IS_MIN},
    {eXNI_SETMAXVAR, 0, eQvMSG_VARIABLE_IS_MIN, eQvMSG_VARIABLE_IS_COUNT, eQvMSG_VARIABLE_IS_COUNT},
    {eXNI_SETMINVAR, eQvMSG_VARIABLE_IS_MAX, 0, eQvMSG_VARIABLE_IS_COUNT, eQvMSG_VARIABLE_IS_COUNT},
};

const SetVariableRule* setVariableRuleOf(EXNodeId kind) {
    for (const SetVariableRule& rule : kSetVariableRules) {
        if (rule.kind == kind) return &rule;
    }
    return nullptr;
}

// The message for a record that the context filled with a type nothing
// downstream can use, 0 for a usable one. The context is the caller's code:
// a type it leaves unset, invalid or unknown must not become the type of a
// valid expression, whichever kind of reference it resolved.
int unusableRecordMsg(XNode* node) {
    const XType type = node->getMetadataConstPtr()->getDataType();
    if (!XValidator::isUsableDeclaredType(type)) return eQvMSG_INVALID_OPERAND_TYPE;
    if (type.isHType() && !XValidator::hasValidTypeConfig(node)) return eQvMSG_INVALID_HIERARCHICAL_TYPE;
    return 0;
}

}  // namespace

int XValidator::isUsableDeclaredType(XType type) {
    const int t = type.toInteger();
    return type.isValidDataTypeForValidation(0) || type.isValidExternalDataType(0) ||
           t == eXDT_DEC18_FIXED || t == eXDT_DEC28_FIXED || t == eXDT_DEC38_FIXED;
}

void XValidator::keepContextTexts(const QvUString& err, const QvUString& warn) {
    static const unsigned short kLineFeed[] = {'\n', 0};
    XTree* tree = getTree();
    if (!err.isEmpty() && tree->getMsgErr()) {
        tree->getMsgErr()->append(err);
        tree->getMsgErr()->append(kLineFeed);
    }
    if (!warn.isEmpty() && tree->getMsgWarn()) {
        tree->getMsgWarn()->append(warn);
        tree->getMsgWarn()->append(kLineFeed);
    }
}

// Flattened like the validator's other hot entry points (xvalidator.cpp).
[[gnu::flatten]]
int XValidator::validatePortVar(XNode* node) {
    XTokName* chain = static_cast<XNodeRef*>(node)->getTokName();
    XMetadata* md = node->getMetadataPtr();
    if (!chain || !md->isClass(XMetadataPort::cls_classId)) return failUnsupported(node);
    // An unqualified name, by far the most common, needs no qualifier array.
    static const unsigned short* const kNoQualifiers[] = {nullptr};
    const unsigned short** qualifiers =
        chain->getNext() ? chain->getNameQualifiers() : const_cast<const unsigned short**>(kNoQualifiers);
    QvUString err;
    QvUString warn;
    // Without a context no name resolves.
    const int status = m_context ? m_context->findPort(qualifiers, chain->getLast()->getName().getBuffer(),
                                                       static_cast<XMetadataPort*>(md), err, warn)
                                 : -1;
    keepContextTexts(err, warn);
    if (status != 0) {
        const XNodeParent* parent = node->getParent();
        const int inLookup = parent && parent->getId() == eXNI_LOOKUP;
        reportAt(node, inLookup ? eQvMSG_LOOKUP_PORT_NOT_FOUND : eQvMSG_UNKNOWN_NAME, eXVFC_NONE,
                 XType(eXMINT_INVALID));
        return -1;
    }
    if (const int id = unusableRecordMsg(node)) {
        reportAt(node, id, eXVFC_NONE, XType(eXMINT_INVALID));
        return -1;
    }
    return visitNonOptNodeCommon(node, md->isConst(), XType(eXMINT_NOCHANGE));
}

int XValidator::validateMapVar(XNode* node) {
    XTokName* name = lastNameOf(node);
    XMetadata* md = node->getMetadataPtr();
    if (!name || !m_context || !md->isClass(XMetadataMapVar::cls_classId) ||
        m_context->findMapVar(name->getName().getBuffer(), static_cast<XMetadataMapVar*>(md)) != 0) {
        reportAt(node, eQvMSG_UNKNOWN_NAME, eXVFC_NONE, XType(eXMINT_INVALID));
        return -1;
    }
    if (const int id = unusableRecordMsg(node)) {
        reportAt(node, id, eXVFC_NONE, XType(eXMINT_INVALID));
        return -1;
    }
    // A mapping variable changes while rows pass: never constant.
    return visitNonOptNodeCommon(node, 0, XType(eXMINT_NOCHANGE));
}

int XValidator::validateWFVar(XNode* node) {
    XTokName* name = lastNameOf(node);
    XMetadata* md = node->getMetadataPtr();
    if (!name || !m_context || !md->isClass(XMetadataWorkflowVar::cls_classId) ||
        m_context->findWorkflowVar(name->getName().getBuffer(),
                                   static_cast<XMetadataWorkflowVar*>(md)) != 0) {
        reportAt(node, eQvMSG_UNKNOWN_NAME, eXVFC_NONE, XType(eXMINT_INVALID));
        return -1;
    }
    if (const int id = unusableRecordMsg(node)) {
        reportAt(node, id, eXVFC_NONE, XType(eXMINT_INVALID));
        return -1;
    }
    return visitNonOptNodeCommon(node, 0, XType(eXMINT_NOCHANGE));
}

int XValidator::validateFuncIdentifier(XNode* node) {
    XMetadata* md = node->getMetadataPtr();
    md->setDataType(XType(eXDT_NULL));
    if (visitNonOptNodeCommon(node, 0, XType(eXMINT_NOCHANGE)) != 0) return -1;
    // The handle names the function: the name lives as long as the tree.
    if (XTokName* name = lastNameOf(node)) {
        md->setRef(QvRef(const_cast<QvUString*>(&name->getName())));
    }
    md->setIsValueRefSet(1);
    return 0;
}

int XValidator::validateList(XNode* node) {
    XNodeOpt* list = static_cast<XNodeOpt*>(node);
    const int n = list->getNumChildren();
    for (int i = 0; i < n; ++i) {
        if (XNode* child = list->getChild(i)) {
            setNodeTypeParentExpectsIndicator(child, XTypeParentExpectsIndicator(eXTPE_ANY));
        }
    }
    setNodeResultTypeIndicator(list, XResultTypeIndicator(eXDT_INT));
    setNodeDataType(list, XType(eXDT_INT));
    return visitPostProcessing(list);
}

int XValidator::checkChildMapVar(XNodeOpt* node) {
    XNode* variable = node->getChild(0);
    const XMetadata* md = variable ? variable->getMetadataConstPtr() : nullptr;
    if (!variable || variable->getId() != eXNI_MAPVAR || !md->isClass(XMetadataMapVar::cls_classId) ||
        static_cast<const XMetadataMapVar*>(md)->getMapVarType() == eXMVT_NONE) {
        say(1, variable ? variable : node, eQvMSG_AGGREGATION_VARIABLE_EXPECTED);
        return -1;
    }
    const XMetadataMapVar* var = static_cast<const XMetadataMapVar*>(md);
    if (var->getIsAggContext()) {
        say(1, variable, eQvMSG_VARIABLE_SET_IN_AGGREGATE);
        return -1;
    }
    const SetVariableRule* rule = setVariableRuleOf(node->getId());
    int refusal = 0;
    switch (var->getMapVarType()) {
        case eXMVT_ANY:
            if (node->getId() != eXNI_SETVAR) say(0, variable, eQvMSG_VARIABLE_WITHOUT_AGGREGATION);
            return 0;
        case eXMVT_MAX: refusal = rule->onMax; break;
        case eXMVT_MIN: refusal = rule->onMin; break;
        case eXMVT_COUNT: refusal = rule->onCount; break;
        default: refusal = rule->onOther; break;
    }
    if (refusal == 0) return 0;
    say(1, variable, refusal);
    return -1;
}

int XValidator::isMapVarCurrentValueReference(const XNode* node) {
    if (node->getId() != eXNI_MAPVAR) return 0;
    const XNodeParent* parent = node->getParent();
    return parent && isSetVariableKind(parent->getId()) && parent->getChild(0) == node;
}

int XValidator::isMapVarInitValueReference(const XNode* node) {
    return node->getId() == eXNI_MAPVAR && !isMapVarCurrentValueReference(node);
}
