// Calls of objects that live outside the expression: lookups (:LKP. and the
// old LOOKUP function), stored and external procedures, external and
// user-defined functions (macros), and the PROC_RESULT keyword that marks a
// stored procedure's output argument.
//
// The validator cannot type such a call by itself. It types the arguments,
// hands their records to the caller's context, which declares what the
// called object takes and returns in the call's widget record, and then
// holds the arguments to those declarations: each must convert to its
// declared type, and the call takes the declared result.
#include <vector>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnodeconst.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xvalidator.h"
#include "qvutils.h"

namespace {

constexpr const char* kUnit = "xvalidator";

// The argument kind of a stored procedure's output argument.
constexpr int kProcResultArgType = 16;

int isPortReference(const XNode* node) {
    return node->getId() == eXNI_PORTVAR || node->getId() == eXNI_QUALIFIEDPORTVAR;
}

int isExtFuncOrMacro(const XNodeWidget* node) { return node->isExtFuncNode() || node->isMacroNode(); }

// The type a record declares, as the validator computes with it.
XType declaredTypeOf(const XMetadata* record) {
    XType type;
    type.set(record->getCDataType(), 1);
    return type;
}

// Gives `target` the type, count and scale of `source`, and the older
// release's type and count when both keep them.
void takeTypeOf(XMetadata* target, const XMetadata* source) {
    target->setDataType(source->getDataType());
    target->setNumCharsMax(source->getNumCharsMax().toInteger());
    target->setScale(source->getScale().toInteger());
    if (target->hasUgdInfo() && source->hasUgdInfo()) {
        target->setDataType60(source->getDataType60());
        target->setNumCharsMax60(source->getNumCharsMax60().toInteger());
    }
}

// A call that declares no value yields NULL.
void makeNull(XMetadata* record) {
    record->setDataType(XType(eXDT_NULL));
    record->setNumCharsMax(0);
    record->setScale(0);
    if (record->hasUgdInfo()) {
        record->setDataType60(XType(eXDT_NULL));
        record->setNumCharsMax60(0);
    }
}

}  // namespace

// ===== the common check =====

int XValidator::getProcResultIndex(XNodeWidget* node, XNonNegInt& index, XTree* tree) {
    index = XNonNegInt(eXMINT_INVALID);
    const int count = node->getNumChildren();
    for (int i = 0; i < count; ++i) {
        XNode* child = node->getChild(i);
        if (!child || child->getId() != eXNI_PROC_RESULT) continue;
        if (index.isValid()) {
            XParser::appendParserMessage(1, tree, child, eQvMSG_TOO_MANY_PROC_RESULTS);
            return -1;
        }
        index = XNonNegInt(i);
    }
    return 0;
}

// What the context sees of an argument: BOOLEAN travels as INT, a constant
// carries its node so that the context can read the value, and every record
// says its host type description and whether the value is constant.
static void prepareArgument(XNode* child) {
    XMetadata* md = child->getMetadataPtr();
    if (md->getDataType().isBoolean()) md->setDataType(XType(eXDT_INT));
    // A tree validated again keeps the handle it got the first time.
    if (child->isConstNode() && md->getRef().isEmpty()) md->setRef(QvRef(child));
    md->setZevaTypeMetadata(CustomSDKMgr::getInstance()->getZEVATypeMetadata(md->getCDataType()));
    md->setIsConst(XValidator::isNodeConstnessTrue(child));
}

int XValidator::askContextForWidget(XNodeWidget* node, XMetadataWidget* widget, XMetadata** args,
                                    int count, int& isConst) {
    static const unsigned short kNoName[] = {0};
    static const unsigned short* const kNoQualifiers[] = {nullptr};
    XTokName* chain = node->getTokName();
    const unsigned short* name = chain ? chain->getLast()->getName().getBuffer() : kNoName;
    QvUString err;
    QvUString warn;
    int status = -1;
    isConst = 0;
    if (isExtFuncOrMacro(node)) {
        if (node->isExtFuncNode()) checkChildConstness_ExtFunc(node, args, count);
        if (m_context && chain) {
            status = m_context->findExtFunc(name, args, node->isExtFuncNode(), widget, isConst, err, warn);
        }
    } else if (m_context) {
        const unsigned short** qualifiers = chain && chain->getNext()
                                                ? chain->getNameQualifiers()
                                                : const_cast<const unsigned short**>(kNoQualifiers);
        status = m_context->findWidget(qualifiers, name, args, widget, err, warn);
    }
    keepContextTexts(err, warn);
    if (status != -1) return 0;
    // A failing external function is explained by the context's text; only
    // when the context gave none does the validator say something, so that
    // no call fails without a message.
    if (node->isExtFuncNode() && !err.isEmpty()) return -1;
    reportAt(node, node->getId() == eXNI_LOOKUP ? eQvMSG_LOOKUP_NOT_FOUND : eQvMSG_CALLED_OBJECT_NOT_FOUND,
             eXVFC_NONE, XType(eXMINT_INVALID));
    return -1;
}

int XValidator::checkWidgetArguments(XNodeWidget* node, XMetadataWidget* widget) {
    const int count = node->getNumChildren();
    for (int i = 0; i < count; ++i) {
        XNode* child = node->getChild(i);
        const unsigned int actual = child->getMetadataConstPtr()->getCDataType();
        const unsigned int declared = widget->getArgMetadata(i)->getCDataType();
        if (!QvConverterFactory::isConvertible(actual, declared, QvConverterFactory::eQvCONV_ANY)) {
            reportAt(child, eQvMSG_ARG_NOT_CONVERTIBLE, eXVFC_NONE, XType(eXMINT_INVALID));
            return -1;
        }
    }
    return 0;
}

XMetadata* XValidator::widgetResultRecord(XNodeWidget* node, XMetadataWidget* widget,
                                          XNonNegInt index) {
    // LOOKUP's first argument is the port whose value it returns.
    if (node->getId() == eXNI_LOOKUP && widget->getNumArgs() > 0) index = XNonNegInt(0);
    if (index.isValid()) {
        XMetadataPort* declared = widget->getArgMetadata(index.toInteger());
        takeTypeOf(node->getChild(index.toInteger())->getMetadataPtr(), declared);
        return declared;
    }
    XMetadataPort* result = widget->getRetPortMetadata();
    // The evaluator computes a macro's truth value as a number.
    if (node->isMacroNode() && result->getDataType().isBoolean()) result->setDataType(XType(eXDT_FLOAT));
    if (!widget->isRetPortMetadataSet()) {
        say(0, node, eQvMSG_NO_RETURN_VALUE);
        makeNull(result);
    }
    return result;
}

void XValidator::takeWidgetResult(XNodeWidget* node, XMetadata* result) {
    XMetadata* own = node->getMetadataPtr();
    own->setDataType(result->getDataType());
    node->setTypeConfig(result->getTypeAttrsV());
    result->setTypeAttrs(nullptr);
    own->setNumCharsMax(result->getNumCharsMax().toInteger());
    own->setScale(result->getScale().toInteger());
    if (own->hasUgdInfo() && result->hasUgdInfo()) {
        own->setDataType60(result->getDataType60());
        own->setNumCharsMax60(result->getNumCharsMax60().toInteger());
    }
}

void XValidator::expectDeclaredTypes(XNodeWidget* node, XMetadataWidget* widget) {
    const int count = node->getNumChildren();
    for (int i = 0; i < count; ++i) {
        XNode* child = node->getChild(i);
        const XType declared = declaredTypeOf(widget->getArgMetadata(i));
        if (child->getDataType().isNull()) setNodeDataType(child, declared);
        setNodeTypeParentExpectsIndicator(child, XTypeParentExpectsIndicator(declared));
    }
}

int XValidator::validateWidgetNode(XNodeWidget* node) {
    XMetadata* md = node->getMetadataPtr();
    if (!md->isClass(XMetadataWidget::cls_classId)) return failUnsupported(node);
    XMetadataWidget* widget = static_cast<XMetadataWidget*>(md);
    const int count = node->getNumChildren();
    for (int i = 0; i < count; ++i) {
        // A caller that removed an argument left a call nobody can declare.
        if (!node->getChild(i)) return failUnsupported(node);
    }
    if (widget->allocateArgMetadata(count) != 0) {
        QvAssertHandler(kUnit, __LINE__);
        return -1;
    }
    XNonNegInt resultIndex;
    if (getProcResultIndex(node, resultIndex, getTree()) != 0) return -1;

    // The arguments' own records, null-terminated; owned by the vector so
    // that every way out releases the array.
    std::vector<XMetadata*> args(static_cast<size_t>(count) + 1, nullptr);
    for (int i = 0; i < count; ++i) {
        prepareArgument(node->getChild(i));
        args[static_cast<size_t>(i)] = node->getChild(i)->getMetadataPtr();
    }
    int isConst = 0;
    if (askContextForWidget(node, widget, args.data(), count, isConst) != 0) return -1;
    if (checkWidgetArguments(node, widget) != 0) return -1;

    takeWidgetResult(node, widgetResultRecord(node, widget, resultIndex));
    // A result type the context declared but nothing downstream can use is
    // reported at the call, not handed on as the expression's type.
    if (!isUsableDeclaredType(node->getDataType())) {
        reportAt(node, eQvMSG_INVALID_OPERAND_TYPE, eXVFC_NONE, XType(eXMINT_INVALID));
        return -1;
    }
    expectDeclaredTypes(node, widget);
    getTree()->setHasWindowFunc(widget->isWindowFunc());
    return visitNonOptNodeCommon(node, isConst, XType(eXMINT_NOCHANGE));
}

// ===== constant arguments of external functions =====

int XValidator::checkChildConstness_ExtFunc(XNodeWidget* node, XMetadata** argMetadata, int count) {
    static const unsigned short kDecompress[] = {'d', 'e', 'c', 'o', 'm', 'p', 'r', 'e', 's', 's', 0};
    XTokName* chain = node->getTokName();
    if (chain && qvUStricmp(chain->getLast()->getName().getBuffer(), kDecompress) == 0) {
        return checkChildConstness_decompress(node, argMetadata, count);
    }
    return 0;
}

// decompress(data, size): a constant size tells the context how large the
// decompressed value may grow; anything else leaves it open (0).
int XValidator::checkChildConstness_decompress(XNodeWidget* node, XMetadata** argMetadata, int count) {
    if (count < 2) return 0;
    const XNode* size = node->getChild(1);
    int value = 0;
    const int known = size->isConstNode() && size->getDataType().isSame(XType(eXDT_INT)) &&
                      static_cast<const XNodeConstBase*>(size)->getIntValueV(value) == 0 && value >= 1;
    argMetadata[1]->setNumCharsMax(known ? value : 0);
    return 0;
}

// ===== the old LOOKUP form: LOOKUP(return port, port 1, value 1, ...) =====

int XValidator::isCompatibleFor35Lookup(XType a, XType b) {
    if (a.isSame(b) || a.isNull() || b.isNull()) return 1;
    if (a.isSame(XType(eXDT_BINARY)) || b.isSame(XType(eXDT_BINARY))) return 0;
    return !a.isDate() && !b.isDate();
}

int XValidator::validateLookupNode(XNodeWidget* node) {
    if (validateWidgetNode(node) != 0) return -1;
    const int count = node->getNumChildren();
    if (count == 0) {
        reportAt(node, eQvMSG_TOO_FEW_ARGUMENTS, eXVFC_NONE, XType(eXMINT_INVALID));
        return -1;
    }
    if (!isPortReference(node->getChild(0))) {
        reportAt(node->getChild(0), eQvMSG_LOOKUP_FIRST_ARG_NOT_PORT, eXVFC_NONE, XType(eXMINT_INVALID));
        return -1;
    }
    for (int i = 1; i < count; i += 2) {
        XNode* port = node->getChild(i);
        if (!isPortReference(port)) {
            reportAt(port, eQvMSG_LOOKUP_CONDITION_NOT_PORT, eXVFC_NONE, XType(eXMINT_INVALID));
            return -1;
        }
        if (i + 1 >= count) {
            reportAt(port, eQvMSG_MISSING_ARGUMENT, eXVFC_NONE, XType(eXMINT_INVALID));
            return -1;
        }
        XNode* value = node->getChild(i + 1);
        if (!isCompatibleFor35Lookup(value->getDataType(), port->getDataType())) {
            reportAt(value, eQvMSG_LOOKUP_VALUE_TYPE_MISMATCH, eXVFC_NONE, XType(eXMINT_INVALID));
            return -1;
        }
    }
    return 0;
}

// ===== macros and PROC_RESULT =====

int XValidator::updMacroNodeAgg(XNodeWidget* node) {
    XAggLevel level(eXAL_ROW);
    const int count = node->getNumChildren();
    for (int i = 0; i < count; ++i) {
        if (XNode* child = node->getChild(i)) level = XAggLevel::getHighestOf(level, getNodeAggLevel(child));
    }
    if (!level.isValid()) {
        reportAt(node, eQvMSG_AGGREGATES_TOO_DEEP, eXVFC_AGGREGATION_TOO_DEEP, XType(eXMINT_INVALID));
        return -1;
    }
    setNodeAggLevel(node, level);
    return 0;
}

int XValidator::validateMacroNode(XNodeWidget* node) {
    if (validateWidgetNode(node) != 0) return -1;
    return updMacroNodeAgg(node);
}

int XValidator::validateProcResultNode(XNode* node) {
    const XNodeParent* parent = node->getParent();
    if (!parent || parent->getId() != eXNI_SP) {
        reportAt(node, eQvMSG_INVALID_TOKEN, eXVFC_NONE, XType(eXMINT_INVALID));
        return -1;
    }
    XMetadata* md = node->getMetadataPtr();
    md->setArgType(kProcResultArgType);
    if (md->hasUgdInfo()) {
        md->setDataType60(XType(eXDT_NULL));
        md->setNumCharsMax60(0);
    }
    // NULL until the call gives it the type the procedure declares for it.
    return visitNonOptNodeCommon(node, 0, XType(eXDT_NULL));
}
