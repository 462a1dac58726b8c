// Hierarchical values: member references (a.b, a..b), subscripts of arrays
// and maps (a[1], m['k']) and type references (:TYPE.ns.Name). The port's
// metadata hands out the description of its type (xtypeconfig); each form
// checks that description before it trusts it and types its node from the
// member it selects. A member selected from an array of structs is an array
// of that member, made here and kept by the node's metadata.
#include <memory>

#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xtypeconfig.h"
#include "qvcmnexpr/xvalidator.h"
#include "qvutils.h"

namespace {

const QvUString* lastNameOf(const XNode* node) {
    if (!node || !node->isRefNode()) return nullptr;
    XTokName* chain = static_cast<const XNodeRef*>(node)->getTokName();
    return chain ? &chain->getLast()->getName() : nullptr;
}

// A member as an expression sees it: text in the server's character mode,
// whichever string kind it was declared with, and a fixed decimal as the
// decimal it is computed in (in floating point without high precision).
XType expressionTypeOf(const XStructuralFeature* feature) {
    const XType type = feature->getType();
    if (type.isString(0)) return XType::getXdtString();
    const int id = type.toInteger();
    if (id == eXDT_DEC18_FIXED || id == eXDT_DEC28_FIXED || id == eXDT_DEC38_FIXED) {
        return XType::getIsHighPrecisionMode() ? type.getEquivType(0) : XType(eXDT_FLOAT);
    }
    return type;
}

// The kind id a configuration's values carry.
XType kindIdOf(const XTypeConfig* config) {
    if (config->isStructType()) return XTypeConfig::getStructTypeId();
    if (config->isArrayType()) return XTypeConfig::getArrayTypeId();
    return XTypeConfig::getMapTypeId();
}

}  // namespace

// ===== node descriptions =====

const XTypeConfig* XValidator::getNodeTypeConfig(const XNode* node) {
    return static_cast<const XTypeConfig*>(node->getTypeConfig());
}

int XValidator::hasValidTypeConfig(const XNode* node) {
    const XTypeConfig* config = getNodeTypeConfig(node);
    return config && config->isValid(nullptr);
}

void XValidator::setNodeTypeConfig(XNode* node, const XStructuralFeature* feature) {
    node->setTypeConfig(feature->getTypeConfig());
}

void XValidator::setNodeMetadataFromFeature(XNode* node, const XStructuralFeature* feature) {
    const XType type = expressionTypeOf(feature);
    if (type.isHType()) setNodeTypeConfig(node, feature);
    setNodeResultTypeIndicator(node, XResultTypeIndicator(type));
    setNodeTypeParentExpectsIndicator(node, XTypeParentExpectsIndicator(type));
    XMetadata* md = node->getMetadataPtr();
    md->setDataType(type);
    md->setNumCharsMax(feature->getPrecision());
    md->setScale(feature->getScale());
    md->setArgType(1);
}

void XValidator::setNodeMetadataFromTypeConfig(XNode* node, std::shared_ptr<XTypeConfig> config,
                                               const XType& type) {
    XMetadata* md = node->getMetadataPtr();
    md->adoptTypeAttrs(std::move(config));
    setNodeResultTypeIndicator(node, XResultTypeIndicator(type));
    md->setDataType(type);
    md->setNumCharsMax(1);
    md->setScale(1);
    md->setArgType(1);
    setNodeAggLevel(node, XAggLevel(eXAL_ROW));
    setNodeConstness(node, XBooleanInt(0));
}

int XValidator::validateArgReturnType(const XNode* node, const XType& type,
                                      const XTypeConfig* config) const {
    const XType actual = node->getDataType();
    if (actual.isNull() && relaxValidation()) return 0;
    if (!actual.isSame(type)) return -1;
    if (!type.isHType()) return 0;
    const XTypeConfig* own = getNodeTypeConfig(node);
    return own && config && *own == *config ? 0 : -1;
}

// ===== member references =====

int XValidator::visitNestedPortRef(XNode* node) {
    if (visitNestedPortRefHelper(node) != 0) return -1;
    return visitNonOptNodeCommon(node, node->getMetadataPtr()->isConst(), XType(eXMINT_NOCHANGE));
}

int XValidator::visitNestedPortRefHelper(XNode* node) {
    XNodeParent* parent = node->getParent();
    if (!parent) return failUnsupported(node);
    const EXNodeId kind = parent->getId();
    if (kind == eXNI_TYPE) return 0;
    if (kind != eXNI_DOT && kind != eXNI_DOTDOT) return failUnsupported(node);
    XNode* base = parent->getChild(0);
    const QvUString* name = lastNameOf(node);
    if (!base || !name) return failUnsupported(node);
    if (base->getId() == eXNI_TYPE) {
        say(1, base, eQvMSG_TYPE_AS_VALUE);
        return -1;
    }
    if (base->getDataType().isNull() && relaxValidation()) {
        setNodeDataType(node, XType(eXDT_NULL));
        return 0;
    }
    const XTypeConfig* config = getNodeTypeConfig(base);
    if (!config) {
        say(1, node, eQvMSG_NO_MEMBERS);
        return -1;
    }
    if (kind == eXNI_DOTDOT) {
        // Only a struct has members to search; a map or array has none.
        if (!config->isStructType()) {
            say(1, node, eQvMSG_NO_MEMBERS);
            return -1;
        }
        const XStructuralFeature* found =
            static_cast<const XStructTypeConfig*>(config)->findNestedChild(name->getBuffer());
        if (!found) {
            say(1, node, eQvMSG_UNKNOWN_NAME);
            return -1;
        }
        setNodeMetadataFromFeature(node, found);
        return 0;
    }
    XVisitedStructures visited;
    if (config->isStructType()) {
        const XStructuralFeature* found =
            static_cast<const XStructTypeConfig*>(config)->findChild(name->getBuffer());
        if (!found) {
            say(1, node, eQvMSG_UNKNOWN_NAME);
            return -1;
        }
        if (!found->isValidFeature(nullptr)) {
            appendMsg(name->getBuffer(), getTree(), node);
            return -1;
        }
        if (found->isCyclic(&visited)) {
            say(1, node, eQvMSG_CYCLIC_MEMBER_TYPE);
            return -1;
        }
        setNodeMetadataFromFeature(node, found);
        return 0;
    }
    if (config->isArrayType()) {
        if (!config->isValid(nullptr)) {
            appendMsg(name->getBuffer(), getTree(), node);
            return -1;
        }
        std::unique_ptr<XArrayTypeConfig> element =
            static_cast<const XArrayTypeConfig*>(config)->findChild(name->getBuffer());
        if (!element) {
            say(1, node, eQvMSG_UNKNOWN_NAME);
            return -1;
        }
        if (element->isCyclic(&visited)) {
            say(1, node, eQvMSG_CYCLIC_MEMBER_TYPE);
            return -1;
        }
        setNodeMetadataFromTypeConfig(node, std::move(element), base->getDataType());
        return 0;
    }
    say(1, node, eQvMSG_NO_MEMBERS);
    return -1;
}

// base.member and base..member: the node is the member.
int XValidator::visitDotForm(XNodeOpt* node) {
    if (checkNumChildren(node, 2, 2) != 0) return -1;
    XNode* base = node->getChild(0);
    XNode* member = node->getChild(1);
    if (base->getDataType().isNull() && relaxValidation()) {
        const XTypeParentExpectsIndicator null(eXDT_NULL);
        setNodeTypeParentExpectsIndicator(base, null);
        setNodeTypeParentExpectsIndicator(member, null);
        setNodeResultTypeIndicator(node, XResultTypeIndicator(eXDT_NULL));
        setNodeDataType(node, XType(eXDT_NULL));
        return visitPostProcessing(node);
    }
    const XTypeConfig* baseConfig = getNodeTypeConfig(base);
    const XTypeParentExpectsIndicator any(eXTPE_ANY);
    setNodeTypeParentExpectsIndicator(
        base, node->getId() == eXNI_DOT && baseConfig
                  ? XTypeParentExpectsIndicator(kindIdOf(baseConfig).toInteger())
                  : any);
    setNodeTypeParentExpectsIndicator(member, any);
    const XType type = member->getDataType();
    if (type.isHType()) node->setTypeConfig(member->getTypeConfig());
    setNodeResultTypeIndicator(node, XResultTypeIndicator(type));
    setNodeDataType(node, type);
    visitPostProcessing(node);
    // Text keeps its member's length, which the operators above size from.
    if (type.isString(0)) node->setNumCharsMax(member->getNumCharsMax().toInteger());
    return 0;
}

// :TYPE.NAMESPACE.NAME names a struct type, never a value.
int XValidator::visitTypeForm(XNodeOpt* node) {
    if (checkNumChildren(node, 2, 2) != 0) return -1;
    const XType structId = XTypeConfig::getStructTypeId();
    const XTypeParentExpectsIndicator expected(structId.toInteger());
    const QvUString* names[2] = {nullptr, nullptr};
    for (int i = 0; i < 2; ++i) {
        XNode* child = node->getChild(i);
        setNodeTypeParentExpectsIndicator(child, expected);
        names[i] = lastNameOf(child);
    }
    QvUString err;
    QvUString warn;
    const int status = m_context && names[0] && names[1]
                           ? m_context->findType(names[0]->getBuffer(), names[1]->getBuffer(), node,
                                                 err, warn)
                           : -1;
    keepContextTexts(err, warn);
    setNodeResultTypeIndicator(node, XResultTypeIndicator(structId));
    setNodeDataType(node, structId);
    visitPostProcessing(node);
    for (int i = 0; i < 2; ++i) node->getChild(i)->getMetadataPtr()->setDataType(structId);
    if (status != 0) {
        // The context's own text, if any, says more; this one says where.
        say(1, node, eQvMSG_UNKNOWN_NAME);
        return -1;
    }
    return 0;
}

// ===== subscripts =====

// The node is the element or value selected; text keeps its length.
int XValidator::takeSelectedMember(XNodeOpt* node, const XStructuralFeature* member) {
    setNodeMetadataFromFeature(node, member);
    const XType type = expressionTypeOf(member);
    setNodeDataType(node, type);
    visitPostProcessing(node);
    if (type.isString(0)) node->setNumCharsMax(member->getPrecision());
    return 0;
}

int XValidator::visitSubscript(XNodeOpt* node) {
    if (checkNumChildren(node, 2, 2) != 0) return -1;
    XNode* value = node->getChild(0);
    XNode* subscript = node->getChild(1);
    setNodeTypeParentExpectsIndicator(subscript, XTypeParentExpectsIndicator(eXTPE_ANY));
    if (value->getDataType().isNull() && relaxValidation()) {
        const XTypeParentExpectsIndicator null(eXDT_NULL);
        setNodeTypeParentExpectsIndicator(value, null);
        setNodeTypeParentExpectsIndicator(subscript, null);
        setNodeResultTypeIndicator(node, XResultTypeIndicator(eXDT_NULL));
        setNodeDataType(node, XType(eXDT_NULL));
        return visitPostProcessing(node);
    }
    const XTypeConfig* config = getNodeTypeConfig(value);
    if (!config || (!config->isArrayType() && !config->isMapType())) {
        say(1, subscript, eQvMSG_NO_MEMBERS);
        return -1;
    }
    return config->isArrayType() ? visitArraySubscript(node, config) : visitMapSubscript(node, config);
}

int XValidator::visitArraySubscript(XNodeOpt* node, const XTypeConfig* config) {
    XNode* value = node->getChild(0);
    XNode* subscript = node->getChild(1);
    setNodeTypeParentExpectsIndicator(value, XTypeParentExpectsIndicator(XTypeConfig::getArrayTypeId().toInteger()));
    if (!subscript->isKeywordNode()) {
        const int n = subscript->getNumChildrenB();
        for (int i = 0; i < n; ++i) {
            const XNode* index = static_cast<XNodeParent*>(subscript)->getChild(i);
            if (validateArgReturnType(index, XType(eXDT_INT), nullptr) != 0 &&
                validateArgReturnType(index, XType(eXDT_BIGINT), nullptr) != 0 &&
                !index->getDataType().isNull()) {
                say(1, const_cast<XNode*>(index), eQvMSG_SUBSCRIPT_NOT_INTEGER);
                return -1;
            }
        }
    }
    const XStructuralFeature* element = static_cast<const XArrayTypeConfig*>(config)->getArrayDefinition();
    if (!element || !element->isValidFeature(nullptr)) {
        const QvUString name = element ? element->getName() : QvUString("element");
        appendMsg(name.getBuffer(), getTree(), node);
        return -1;
    }
    if (!isSingleValuedNode(subscript)) {
        node->setTypeConfig(config);
        setNodeResultTypeIndicator(node, XResultTypeIndicator(value->getDataType()));
        setNodeDataType(node, value->getDataType());
        return visitPostProcessing(node);
    }
    return takeSelectedMember(node, element);
}

int XValidator::visitMapSubscript(XNodeOpt* node, const XTypeConfig* config) {
    XNode* value = node->getChild(0);
    XNode* subscript = node->getChild(1);
    setNodeTypeParentExpectsIndicator(value, XTypeParentExpectsIndicator(XTypeConfig::getMapTypeId().toInteger()));
    if (!isSingleValuedNode(subscript)) {
        say(1, subscript, eQvMSG_MAP_SUBSCRIPT_NOT_SINGLE_KEY);
        return -1;
    }
    const auto* map = static_cast<const XMapTypeConfig*>(config);
    for (const XStructuralFeature* definition : {map->getValueDefinition(), map->getKeyDefinition()}) {
        if (!definition || !definition->isValidFeature(nullptr)) {
            const QvUString name = definition ? definition->getName() : QvUString("map");
            appendMsg(name.getBuffer(), getTree(), node);
            return -1;
        }
    }
    XNode* key = static_cast<XNodeParent*>(subscript)->getChild(0);
    if (key->getDataType().isHType()) {
        say(1, key, eQvMSG_NOT_NUMERIC_TEXT);
        return -1;
    }
    const XStructuralFeature* keyDefinition = map->getKeyDefinition();
    if (validateArgReturnType(key, expressionTypeOf(keyDefinition), keyDefinition->getTypeConfig()) != 0 &&
        !key->getDataType().isNull()) {
        say(1, key, eQvMSG_MAP_KEY_MISMATCH);
        return -1;
    }
    return takeSelectedMember(node, map->getValueDefinition());
}
