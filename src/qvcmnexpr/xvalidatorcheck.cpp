// What the validator settles after the walk and beside it: the completeness
// pass that rejects a tree in which any node lacks an attribute or carries a
// type its place does not allow, and the estimate of the longest text each
// node can produce, from which the evaluator sizes its string buffers.
#include <algorithm>
#include <climits>

#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnodeconst.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xvalidator.h"
#include "qvutils.h"

namespace {

int kindIn(EXNodeId kind, std::initializer_list<EXNodeId> kinds) {
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

int parentKindIn(const XNode* node, std::initializer_list<EXNodeId> kinds) {
    const XNodeParent* parent = node->getParent();
    return parent && !parent->isDummyParentOfRoot() && kindIn(parent->getId(), kinds);
}

int underWidget(const XNode* node) {
    const XNodeParent* parent = node->getParent();
    return parent && parent->isWidgetNode();
}

int positionsSet(const XNode* node, int checkPositions) {
    const XNonNegInt positions[] = {node->getPosBegin(), node->getPosEnd(), node->getPosOrigBegin()};
    for (XNonNegInt p : positions) {
        if (!p.isInitialized() || (checkPositions && !p.isValid())) return 0;
    }
    return 1;
}

// The attributes every validated node of type `type` carries (step 4 and 5
// of the pass). The pass visits every node, so the type is read once by the
// caller and the scale question is left to the decimals.
int attributesSet(const XNode* node, XType type, const XMetadata* md, int relaxedTypes,
                  int relaxValidation) {
    const XNodeCmnInfo* info = node->getCmnInfoConstPtr();
    if (!info->getAggLevel().isValid() || !info->getOp().isInitialized()) return 0;
    if (type.isDec(1) && XValidator::isScaleInfoNeeded(node) && !md->getScale().isValid()) return 0;
    if (relaxedTypes) return 1;
    if (type.isBoolean() && !info->getAugType().isEvalDataType(1)) return 0;
    if (!info->getConstness().isValid()) return 0;
    if (!relaxValidation && !info->getParentExpects().isValid()) return 0;
    if (info->getParentExpects().isSameAsAugType()) {
        const XNodeParent* parent = node->getParent();
        if (!parent || !XValidator::getNodeAugType(parent).isEvalDataType(1)) return 0;
    }
    if (node->isOptNode() && !info->getResultTypeIndicator().isValid()) return 0;
    return 1;
}

// The completeness pass with all its checks on (positions, strict types,
// no relaxation, no extra check) over a node of the kinds nearly every tree
// is made of: not NULL, of a built-in type other than BINARY, a decimal or
// BOOLEAN, expected by its parent as something other than its augmented
// type. Such a node passes when these few fields are set, each a condition
// the full check asks as well; any other node gets the full check. The pass
// runs over every node of every validated tree, and most of its cost was
// the call and the branches for the kinds that are rare.
inline bool isPlainNodeComplete(const XNode* node) {
    if (node->getId() < 0 || node->isNullNode()) return false;
    if (!node->getPosBegin().isValid() || !node->getPosEnd().isValid() ||
        !node->getPosOrigBegin().isValid())
        return false;
    const XMetadata* md = node->getMetadataConstPtr();
    const int type = md->getDataType().toInteger();
    const bool text = type == XType::getXdtString().toInteger();
    if (!text && type != eXDT_INT && type != eXDT_BIGINT && type != eXDT_FLOAT && type != eXDT_DATE)
        return false;
    if (!md->getArgType().isInitialized() || !md->getNumCharsMax().isInitialized()) return false;
    if (text && !node->isOptNode() && !md->getNumCharsMax().isValid()) return false;
    const XNodeCmnInfo* info = node->getCmnInfoConstPtr();
    const XTypeParentExpectsIndicator expects = info->getParentExpects();
    return info->getAggLevel().isValid() && info->getOp().isInitialized() &&
           info->getConstness().isValid() && expects.isValid() && !expects.isSameAsAugType() &&
           (!node->isOptNode() || info->getResultTypeIndicator().isValid());
}

}  // namespace

// ===== completeness =====

int XValidator::checkIsProperlySet(XTree* tree, int checkPositions, int relaxedTypes,
                                   int relaxValidation, int allowNull, ExtraCheck extra) {
    XNode* failed = nullptr;
    return checkIsProperlySetAt(tree, checkPositions, relaxedTypes, relaxValidation, allowNull, extra,
                                failed, nullptr);
}

// Flattened like the validator's other hot entry points (xvalidator.cpp).
[[gnu::flatten]]
int XValidator::checkIsProperlySetAt(XTree* tree, int checkPositions, int relaxedTypes,
                                     int relaxValidation, int allowNull, ExtraCheck extra,
                                     XNode*& failed, const XNodeList* nodes) {
    failed = nullptr;
    if (!tree || !tree->getRoot()) return 0;
    XNodeList fresh;
    if (!nodes) {
        tree->dfs(fresh, nullptr);
        nodes = &fresh;
    }
    XNode* root = tree->getRoot();
    const bool strict = checkPositions && !relaxedTypes && !relaxValidation && !extra;
    for (XNode* node : *nodes) {
        if (strict && isPlainNodeComplete(node)) continue;
        if (!checkIsProperlySet(node, tree, node == root, checkPositions, relaxedTypes,
                                relaxValidation, allowNull, extra)) {
            failed = node;
            return 0;
        }
    }
    return 1;
}

int XValidator::checkIsProperlySet(XNode* node, XTree* tree, int isRoot, int checkPositions,
                                   int relaxedTypes, int relaxValidation, int allowNull,
                                   ExtraCheck extra) {
    if (node->getId() < 0 || !positionsSet(node, checkPositions)) return 0;
    const XMetadata* md = node->getMetadataConstPtr();
    const XType type = md->getDataType();
    const int strict = !(type.isNull() || type.isHType());
    if (!md->isAllBaseFieldsInitialized(strict)) return 0;

    if (type.isBinary()) {
        if (!allowBinary(node, isRoot)) {
            XParser::appendParserMessage(1, tree, node, eQvMSG_BINARY_NOT_ALLOWED);
            return 0;
        }
        if (node->getId() != eXNI_TRUE_LAST && !md->getNumCharsMax().isValid()) return 0;
    } else if (type.isNull()) {
        if (!allowNullDataType(node, isRoot, allowNull)) return 0;
    } else if (type.isHType()) {
        if (!allowHType(node->getParent())) {
            const int id = type.isStructType() ? eQvMSG_STRUCT_NOT_ALLOWED
                         : type.isArrayType()  ? eQvMSG_ARRAY_NOT_ALLOWED
                                               : eQvMSG_MAP_NOT_ALLOWED;
            XParser::appendParserMessage(1, tree, node, id);
            return 0;
        }
    } else {
        if (!type.isValidatedDataType(1) && !allowAddlDataType(node)) return 0;
        if (relaxedTypes && !type.isEvalDataType(1) && !allowAddlDataType(node)) return 0;
        if (type.isString(1) && !node->isOptNode() && !md->getNumCharsMax().isValid()) return 0;
    }
    if (!attributesSet(node, type, md, relaxedTypes, relaxValidation)) return 0;
    if (checkPositions && node->isNullNode() && notAllowNullNode(node) && !relaxValidation) return 0;
    return extra ? extra(node, checkPositions, relaxedTypes) : 1;
}

int XValidator::allowBinary(const XNode* node, int isRoot) {
    const EXNodeId kind = node->getId();
    if (kindIn(kind, {eXNI_CONST, eXNI_TRUE_LAST, eXNI_DOT, eXNI_SUB})) return 1;
    if (kind != eXNI_PORTVAR && kind != eXNI_NESTEDPORTREF && !node->isWidgetNode()) return 0;
    return isRoot || underWidget(node) ||
           parentKindIn(node, {eXNI_ISNULL, eXNI_CRC, eXNI_COUNT, eXNI_TRUE_LAST, eXNI_EQ, eXNI_NE1,
                               eXNI_NE2, eXNI_NE3, eXNI_GT, eXNI_GE, eXNI_LT, eXNI_LE, eXNI_DOT});
}

int XValidator::allowNullDataType(const XNode* node, int isRoot, int allowNull) {
    if (underWidget(node)) return 1;
    if (allowNull || parentKindIn(node, {eXNI_ISNULL})) return 1;
    return isRoot;
}

int XValidator::allowAddlDataType(const XNode* node) {
    if (node->isRefNode() || node->isWidgetNode()) return 1;
    const XType type = node->getDataType();
    if (node->isRefByExternal()) {
        const int t = type.toInteger();
        return t == eXDT_DEC18_FIXED || t == eXDT_DEC28_FIXED || t == eXDT_DEC38_FIXED;
    }
    return node->getId() == eXNI_TO_DECIMAL && type.toInteger() == eXDT_DEC28 &&
           parentKindIn(node, {eXNI_TO_FLOAT}) && !XType::getIsHighPrecisionMode();
}

int XValidator::notAllowNullNode(const XNode* node) {
    if (!node->isNullNode()) return 0;
    if (parentKindIn(node, {eXNI_CUME, eXNI_ANY, eXNI_AVG, eXNI_COUNT, eXNI_FIRST, eXNI_LAST,
                            eXNI_MAX, eXNI_MEDIAN, eXNI_MIN, eXNI_PERCENTILE, eXNI_STDDEV, eXNI_SUM,
                            eXNI_TRUE_LAST, eXNI_VARIANCE})) {
        return 1;
    }
    return parentKindIn(node, {eXNI_MOVINGAVG, eXNI_MOVINGSUM, eXNI_LPAD, eXNI_RPAD}) &&
           node->getMyIndexInParent() == 1;
}

int XValidator::allowHType(const XNode* parent) {
    if (!parent) return 1;
    return !kindIn(parent->getId(),
                   {eXNI_DECODE, eXNI_ASCII, eXNI_CHRCODE, eXNI_CONCAT, eXNI_INITCAP, eXNI_INSTR,
                    eXNI_LENGTH, eXNI_LOWER, eXNI_LPAD, eXNI_LTRIM, eXNI_METAPHONE, eXNI_REPLACECHR,
                    eXNI_REPLACESTR, eXNI_RPAD, eXNI_RTRIM, eXNI_SOUNDEX, eXNI_SUBSTR, eXNI_TO_CHAR,
                    eXNI_TO_DATE, eXNI_TO_DECIMAL, eXNI_TO_FLOAT, eXNI_TO_INTEGER, eXNI_TO_BIGINT,
                    eXNI_UPPER, eXNI_TO_DECIMAL38, eXNI_TO_NUMBER});
}

int XValidator::isScaleInfoNeeded(const XNode* node) {
    if (!node->getDataType().isDec(1)) return 0;
    if (node->isRefNode()) return !node->isNestedPortRefNode();
    if (node->isWidgetNode()) return !node->isMacroNode() && !node->isExtFuncNode();
    return 0;
}

// ===== sizing =====

namespace {

constexpr int kInvalid = eXMINT_INVALID;

// The text width the host gives the values of a custom type, found by the
// node's type description, else by its type id.
int customTextWidth(const XNode* node) {
    const CustomSDKMgr* types = CustomSDKMgr::getInstance();
    const ZEVA_TYPE_HANDLE_struct* handle =
        types->getCustomTypeFromDT(node->getMetadataConstPtr()->getZevaTypeMetadataV());
    if (!handle) {
        handle = types->getCustomTypeFromDT(static_cast<unsigned int>(node->getDataType().toInteger()));
    }
    return handle ? handle->getTextWidth() : XType::cls_customTypeWidth;
}

int countOf(const XNodeParent* node, int i) {
    const XNode* child = node->getChild(i);
    return child ? child->getNumCharsMax().toInteger() : kInvalid;
}

// A count past the int range cannot be estimated (a pad length near the
// largest int, a doubled text of a billion characters).
int boundedCount(long long count) { return count > INT_MAX ? kInvalid : static_cast<int>(count); }
int sumOf(int a, int b) {
    return (a < 0 || b < 0) ? kInvalid : boundedCount(static_cast<long long>(a) + b);
}
int maxOf(int a, int b) { return (a < 0 || b < 0) ? kInvalid : std::max(a, b); }

int replaceStrCount(const XNodeParent* node) {
    const int input = countOf(node, 1);
    const int replacement = countOf(node, node->getNumChildren() - 1);
    if (input < 0 || replacement < 0) return kInvalid;
    if (replacement < 2) return input;
    const long long product = static_cast<long long>(input) * replacement;
    return static_cast<int>(std::min<long long>(product, 65535));
}

int decodeCount(const XNodeParent* node) {
    const int n = node->getNumChildren();
    int count = 0;
    for (int i = 1; i < n; ++i) {
        if (XValidator::isResultChildOfDecode(i, n)) count = maxOf(count, countOf(node, i));
    }
    return count;
}

// TO_CHAR and the number conversions that carry a text variant.
int conversionCount(const XNodeParent* node) {
    const XNode* value = node->getChild(0);
    if (!value) return kInvalid;
    if (!XValidator::getNodeOp(node).isTo_charX()) {
        return value->getDataType().isString(0) ? value->getNumCharsMax().toInteger()
                                                : XValidator::getToCharNumCharsMax(value);
    }
    if (value->getDataType().isDec(1)) return 53;
    if (value->getDataType().isCustom() && !value->getDataType().isHType()) {
        return customTextWidth(value);
    }
    return 63;
}

// The count of an operator or function of text type, by kind.
int optCount(const XNodeParent* node) {
    switch (node->getId()) {
        case eXNI_CONCAT: case eXNI_CONCATOP: return sumOf(countOf(node, 0), countOf(node, 1));
        case eXNI_DECODE: return decodeCount(node);
        case eXNI_IIF:
            return node->getNumChildren() == 3 ? maxOf(countOf(node, 1), countOf(node, 2))
                                               : countOf(node, 1);
        case eXNI_ABORT: case eXNI_ERROR: return 0;
        case eXNI_CHR: return 1;
        case eXNI_SOUNDEX: return 4;
        case eXNI_ANY: case eXNI_FIRST: case eXNI_LAST: case eXNI_MAX: case eXNI_MIN:
        case eXNI_TRUE_LAST: case eXNI_INITCAP: case eXNI_LOWER: case eXNI_UPPER: case eXNI_LTRIM:
        case eXNI_RTRIM: case eXNI_SUBSTR: case eXNI_SETVAR: case eXNI_SETMAXVAR: case eXNI_SETMINVAR:
            return countOf(node, 0);
        case eXNI_LPAD: case eXNI_RPAD:
            return sumOf(countOf(node, 0),
                         XValidator::getLengthOfLRPad(static_cast<const XNodeOpt*>(node)));
        case eXNI_METAPHONE: return sumOf(countOf(node, 0), countOf(node, 0));
        case eXNI_REPLACECHR: return countOf(node, 1);
        case eXNI_REPLACESTR: return replaceStrCount(node);
        case eXNI_TO_CHAR: case eXNI_ROUND: case eXNI_TO_DECIMAL: return conversionCount(node);
        default: return kInvalid;  // no other kind yields text
    }
}

}  // namespace

void XValidator::estimateNumCharsMax(XNode* node) {
    const XType type = node->getDataType();
    const int binaryTrueLast = node->getId() == eXNI_TRUE_LAST && type.isBinary();
    if (!type.isString(0) && !binaryTrueLast) {
        if (type.isBinary() || type.isHType() || node->getNumCharsMax().toInteger() == 0) return;
        node->setNumCharsMax(getToCharNumCharsMax(node));
        return;
    }
    if (!node->isOptNode()) return;  // a leaf of text type keeps its own count
    node->setNumCharsMax(optCount(static_cast<XNodeParent*>(node)));
}

int XValidator::getToCharNumCharsMax(const XNode* node) {
    const XType type = node->getDataType();
    switch (type.toInteger()) {
        case eXDT_INT: return 15;
        case eXDT_BIGINT: return 31;
        case eXDT_FLOAT: case eXDT_BOOLEAN: return 63;
        case eXDT_DEC18: case eXDT_DEC28: case eXDT_DEC38: case eXDT_DEC18_FIXED:
        case eXDT_DEC28_FIXED: case eXDT_DEC38_FIXED: return 53;
        case eXDT_NULL: return 0;
        case eXDT_DATE: {
            const XNodeParent* parent = node->getParent();
            if (!parent || parent->getId() != eXNI_TO_CHAR) return 29;
            const int count = parent->getNumCharsMax().toInteger();
            return (count == 29 || count == 19) ? count : 80;
        }
        default: return type.isCustom() ? customTextWidth(node) : kInvalid;
    }
}

int XValidator::getLengthOfLRPad(const XNodeOpt* node) {
    const XNode* length = node->getChild(1);
    int value = 0;
    if (!length || !length->isConstNode() ||
        static_cast<const XNodeConstBase*>(length)->getIntValueV(value) != 0 || value < 0) {
        return kInvalid;
    }
    return value;
}

int XValidator::canReuseStrBuf(const XNode* node) {
    return parentKindIn(node, {eXNI_LPAD, eXNI_RPAD});
}

// ===== number conversions wanted as text =====

int XValidator::isNumOfTo_char_num(const XNode* node) {
    const XNodeParent* parent = node->getParent();
    if (!parent || parent->isDummyParentOfRoot() || parent->getId() != eXNI_TO_CHAR) return 0;
    const int op = getNodeOp(parent).toInteger();
    return op >= eXOP_TO_CHAR_INT && op <= eXOP_TO_CHAR_DEC38 && parent->getChild(0) == node;
}

namespace {

// The variant that rounds and formats in one step, by the value's type.
int toCharXVariantOf(XType type) {
    switch (type.toInteger()) {
        case eXDT_INT: case eXDT_BOOLEAN: return eXOP_TO_CHARX_INT;
        case eXDT_STRING: case eXDT_UNISTRING: return eXOP_TO_CHARX_CHAR;
        case eXDT_FLOAT: return eXOP_TO_CHARX_FLOAT;
        case eXDT_DEC18: return eXOP_TO_CHARX_DEC18;
        case eXDT_DEC28: return eXOP_TO_CHARX_DEC28;
        case eXDT_DEC38: return eXOP_TO_CHARX_DEC38;
        case eXDT_BIGINT: return eXOP_TO_CHARX_BIGINT;
        default: return type.isNumeric(1) || type.isNull() ? eXOP_TO_CHARX_CUSTOM : kInvalid;
    }
}

}  // namespace

void XValidator::convertToCharXIfNeeded(XNode* node) {
    const EXNodeId kind = node->getId();
    const int candidate = (kind == eXNI_ROUND && getNodeOp(node).toInteger() == eXOP_ROUND_NUM) ||
                          (kind == eXNI_TO_DECIMAL && node->getNumChildrenB() == 2);
    if (!candidate) return;
    const int numOfToChar = isNumOfTo_char_num(node);
    if (!numOfToChar && getNodeTypeParentExpectsIndicator(node).toInteger() != eXTPE_ALPHA) return;

    auto* opt = static_cast<XNodeOpt*>(node);
    XNode* value = opt->getChild(0);
    const int variant = toCharXVariantOf(value->getDataType());
    if (variant == kInvalid) return;  // a validated tree has no other value here
    setNodeOp(node, XOp(variant));
    setNodeDataType(node, XType::getXdtString());
    setNodeResultTypeIndicator(node, XResultTypeIndicator::getXrtString());
    setNodeTypeParentExpectsIndicator(value, XTypeParentExpectsIndicator(value->getDataType()));
    if (numOfToChar) {
        setNodeOp(node->getParent(), XOp(eXOP_TO_CHAR_ALPHA_NOP));
        setNodeTypeParentExpectsIndicator(node, XTypeParentExpectsIndicator(eXTPE_ALPHA));
    }
    node->setNumCharsMax(eXMINT_UNINIT);
    estimateNumCharsMax(node);
}
