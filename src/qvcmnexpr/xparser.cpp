// XParser: the parse pipeline and the questions callers ask about finished
// trees.
//
// One parse: the lexer and a fresh token allocator feed the grammar driver,
// whose actions leave the root on the node stack; the root becomes an XTree
// that owns the nodes and the allocator from then on. Whatever fails on the
// way (a syntax error, an exception inside an action) leaves no node behind
// when the caller asks for the stack to be freed.
#include "qvcmnexpr/xparser.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xnodeconst.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xstack.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xvalidator.h"
#include "qvdec.h"
#include "qvutils.h"
#include "xlexer.h"

namespace {

constexpr const char* kUnit = "xparser";
// The most entries the list of built nodes keeps room for between parses.
constexpr size_t kBuildOrderKept = size_t{1} << 16;

const unsigned short kEmptyText[1] = {0};

}  // namespace

// ---------------------------------------------------------------- lifecycle

XParser::XParser()
    : m_context(nullptr), m_ownsContext(0), m_validator(nullptr), m_lexer(nullptr),
      m_nodeStack(nullptr), m_emptyExpression(0), m_tokenAllocator(nullptr),
      m_errorText(nullptr), m_warningText(nullptr), m_errorBegin(nullptr), m_errorEnd(nullptr) {
    m_validator = new (std::nothrow) XValidator(nullptr);
    if (!m_validator) QvAssertHandler(kUnit, __LINE__);
    reset(0);
}

XParser::~XParser() {
    if (m_ownsContext && m_context) delete m_context;
    delete m_validator;
    reset(1);
}

XParser& XParser::operator=(const XParser& other) {
    if (this == &other) return *this;
    if (m_ownsContext && m_context && m_context != other.m_context) delete m_context;
    m_context = other.m_context;
    m_ownsContext = 0;
    if (m_validator && other.m_validator) *m_validator = *other.m_validator;
    if (m_validator) m_validator->setParserContext(m_context);
    m_emptyExpression = other.m_emptyExpression;
    setErrorReportPointers(other.m_errorText, other.m_warningText, other.m_errorBegin,
                           other.m_errorEnd);
    return *this;
}

int XParser::setParserContext(XParserContext* ctx, int owns) {
    if (m_ownsContext) return -1;
    m_context = ctx;
    m_ownsContext = owns;
    if (m_validator) m_validator->setParserContext(ctx);
    return 0;
}

void XParser::setErrorReportStrings(QvUString* err, QvUString* warn) {
    m_errorText = err;
    m_warningText = warn;
}

void XParser::setErrorPosHolders(size_t* begin, size_t* end) {
    m_errorBegin = begin;
    m_errorEnd = end;
}

void XParser::setErrorReportPointers(QvUString* err, QvUString* warn, size_t* begin,
                                     size_t* end) {
    setErrorReportStrings(err, warn);
    setErrorPosHolders(begin, end);
}

void XParser::reset(int freeStack) {
    m_lexer = nullptr;
    if (freeStack) resetStack(1);
    m_tokenAllocator = nullptr;
    m_emptyExpression = 0;
    setErrorReportPointers(nullptr, nullptr, nullptr, nullptr);
}

void XParser::resetStack(int freeNodes) {
    if (!m_nodeStack) return;
    if (freeNodes == 1) {
        while (XNode* node = m_nodeStack->pop()) XTree::deleteSubTreeNodes(node, 0);
    }
    delete m_nodeStack;
    m_nodeStack = nullptr;
}

void XParser::prepareStack() {
    if (m_nodeStack) return;
    m_nodeStack = new (std::nothrow) XStack();
    if (!m_nodeStack) QvAssertHandler(kUnit, __LINE__);
}

int XParser::isTransformationParser() const {
    return m_context ? (m_context->getIsMappingExpr() != 0) : 0;
}

int XParser::isWorkflowParser() const {
    return m_context ? (m_context->getIsWorkflowExpr() != 0) : 0;
}

int XParser::isDecimalHighPrecisionOn() const { return XType::getIsHighPrecisionMode(); }

// ---------------------------------------------------------------- parsing

int XParser::parse(const unsigned short* text, XTree*& tree, QvUString& err, QvUString& warn,
                   int keepDfsList, int freeStack) {
    if (m_context) m_context->clearChildList();
    setErrorReportStrings(&err, &warn);
    tree = nullptr;
    prepareStack();
    if (!text || text[0] == 0) return finishEmptyTree(text, tree, freeStack);
    if (!m_context) {
        QvAssertHandler(kUnit, __LINE__);
        reset(freeStack);
        return -1;
    }

    XLexer lexer(text, m_context, 0);
    m_lexer = &lexer;
    // Default-initialised: its slots are raw storage, which the empty
    // parentheses would have zeroed for nothing.
    std::unique_ptr<XTokNameAllocator> allocator(new (std::nothrow) XTokNameAllocator);
    QV_ASSERT(allocator != nullptr, kUnit);
    m_tokenAllocator = allocator.get();
    m_emptyExpression = 0;
    m_pendingException = nullptr;
    const int validates = !m_context->isRelaxValidationSet();
    startBuildOrder(validates);

    int status;
    try {
        status = yyparse();
        // An action's exception outranks the status it caused.
        if (m_pendingException) std::rethrow_exception(std::exchange(m_pendingException, nullptr));
        if (status == 0 && !m_nodeStack->isEmpty() && !m_emptyExpression) {
            tree = createTreeFromStack(text, std::move(allocator));
        }
    } catch (...) {
        return failOnException(std::current_exception(), tree, freeStack);
    }
    if (status != 0) {
        reset(freeStack);
        return status;
    }
    // Only white space and comments: the same tree as for no text at all.
    if (!tree) {
        allocator.reset();
        return finishEmptyTree(text, tree, freeStack);
    }
    // References took the roles their places in the tree imply as their
    // parents were built (XPreValidateVisitor::relabelChildren), so no walk
    // over the finished tree is needed before validation.
    reset(0);

    // A relaxed context takes the tree as the grammar built it.
    if (validates) handBuildOrderTo(tree);
    const int valid = !validates || validate(tree) == 0;
    reset(freeStack);
    if (!valid) {
        delete tree;
        tree = nullptr;
        return -1;
    }

    if (keepDfsList == 0) tree->flushDfsNodeList();
    return 0;
}

void XParser::startBuildOrder(int record) {
    m_recordBuildOrder = record;
    m_buildOrderIsPostOrder = 1;
    m_buildOrderNext = record ? m_buildOrder.data() : nullptr;
    m_buildOrderEnd = record ? m_buildOrder.data() + m_buildOrder.size() : nullptr;
}

size_t XParser::builtCount() const {
    return m_buildOrderNext ? static_cast<size_t>(m_buildOrderNext - m_buildOrder.data()) : 0;
}

void XParser::handBuildOrderTo(XTree* tree) {
    const size_t count = builtCount();
#ifndef NDEBUG
    // The order the nodes were built in must be the walk's, node for node.
    if (m_buildOrderIsPostOrder) {
        XNodeList walked;
        XTree::subTreeDfs(tree->getRoot(), walked, nullptr);
        const bool same = walked.entries() == count &&
                          std::equal(walked.begin(), walked.end(), m_buildOrder.begin());
        if (!same) QvAssertHandler(kUnit, __LINE__);
    }
#endif
    if (m_buildOrderIsPostOrder) tree->setDfsNodeList(m_buildOrder.data(), count);
    forgetBuildOrder();
}

// The list names nodes that the tree owns now (or that a failed parse has
// freed); its room is kept for the next parse unless it grew very large.
void XParser::forgetBuildOrder() {
    if (m_buildOrder.size() > kBuildOrderKept) std::vector<XNode*>().swap(m_buildOrder);
    startBuildOrder(0);
}

// The root is popped only once its tree exists, so a failure here leaves it
// on the stack for resetStack to free.
XTree* XParser::createTreeFromStack(const unsigned short* text,
                                    std::unique_ptr<XTokNameAllocator> allocator) {
    XTree* tree = XTree::create(m_nodeStack->top(), text, 0, 0);
    if (!tree) {
        QvAssertHandler(kUnit, __LINE__);
        return nullptr;
    }
    m_nodeStack->pop();
    tree->setTokAllocator(allocator.release());
    attachTreeReporting(tree);
    return tree;
}

int XParser::finishEmptyTree(const unsigned short* text, XTree*& tree, int freeStack) {
    const int status = createEmptyTree(text, tree);
    if (status != 0) {
        delete tree;
        tree = nullptr;
    }
    reset(freeStack);
    return status;
}

int XParser::failOnException(std::exception_ptr failure, XTree*& tree, int freeStack) {
    int id = eQvMSG_UNEXPECTED_EXCEPTION;
    try {
        std::rethrow_exception(failure);
    } catch (const XInvalidConstStrException&) {
        QvSleep(1, 2);
        id = eQvMSG_STRING_NOT_SINGLE_BYTE;
    } catch (const QvDecException&) {
        id = eQvMSG_DECIMAL_EXCEPTION;
    } catch (...) {
    }
    handleSyntaxError(qvGetMsg(id));
    delete tree;
    tree = nullptr;
    reset(freeStack);
    return -1;
}

int XParser::parse(const unsigned short* text, XParsedTree*& out, QvUString& err,
                   QvUString& warn) {
    out = nullptr;
    XTree* tree = nullptr;
    int status = parse(text, tree, err, warn, 0, 1);
    if (status != 0) {
        delete tree;
        return -1;
    }
    return wrapXTreeIntoParsedTree(tree, out);
}

int XParser::parse(const unsigned short* text, XParsedTree*& out, ValidationResult& vr) {
    setErrorPosHolders(&vr.errorBegin, &vr.errorEnd);
    int status = parse(text, out, vr.errors, vr.warnings);
    if (status != 0 || !out) {
        vr.valid = 0;
        return status;
    }
    XTree* tree = out->getTree();
    vr.valid = 1;
    vr.resultType = tree->getRoot()->getDataType();
    vr.hasGroupFunctions = out->hasGroupFunctions();
    vr.isConstant = out->isConstant();
    if (const void* attrs = tree->getRootMetadataPtr()->getTypeAttrsV()) vr.typeAttrs = attrs;
    vr.hasWindowFunc = tree->hasWindowFunc();
    return status;
}

int XParser::wrapXTreeIntoParsedTree(XTree* tree, XParsedTree*& out) {
    if (!tree) QvAssertHandler(kUnit, __LINE__);
    out = new (std::nothrow) XParsedTree();
    if (!out) QvAssertHandler(kUnit, __LINE__);
    return out->setTree(tree, &XParsedTree::deleteTree);
}

void XParser::attachTreeReporting(XTree* tree) const {
    tree->setIsUpgrade(m_context ? m_context->isUpgrade() : 0);
    tree->setErrorReportPointers(m_errorText, m_warningText, m_errorBegin, m_errorEnd);
}

int XParser::createEmptyTree(const unsigned short* text, XTree*& tree) {
    if (!text) text = kEmptyText;
    XNode* node = XNodeKeyword::createNullNode(XNonNegInt(0), XNonNegInt(0), XType(eXDT_NULL));
    tree = node ? XTree::create(node, text, 1, 0) : nullptr;
    if (!tree) {
        XTree::deleteSubTreeNodes(node, 0);
        QvAssertHandler(kUnit, __LINE__);
        return -1;
    }
    attachTreeReporting(tree);
    return validate(tree);
}

// The validator asks the caller's context about every name; an exception
// thrown there is reported like one thrown while building the tree, through
// the tree's own texts (the parser's are detached by now), and fails the
// parse instead of leaving it with a half-validated tree.
int XParser::validate(XTree* tree) {
    try {
        return m_validator->visitSyntaxTree(tree, m_nodeStack, nullptr);
    } catch (...) {
        appendParserMessage(1, tree, tree->getRoot(), eQvMSG_UNEXPECTED_EXCEPTION);
        return -1;
    }
}

// ---------------------------------------------------------------- queries

unsigned XParser::getResultCDataType(XParsedTree& parsed) {
    unsigned type = parsed.getTree()->getRoot()->getDataType().toCDataType(0);
    return type == eXDT_BOOLEAN ? static_cast<unsigned>(eXDT_INT) : type;
}

const QvMetadataBase* XParser::getResultMetaData(XParsedTree& parsed, SColMetadata* scratch,
                                                 QvRef* ref) {
    const XMetadata* md = parsed.getTree()->getRootMetadataPtr();
    if (ref) *ref = md->getRef();
    if (md->getCDataTypeV() != eXDT_BOOLEAN) return md;
    if (!scratch) {
        QvAssertHandler(kUnit, __LINE__);
        return nullptr;
    }
    scratch->set(eXDT_INT, 0, 0, nullptr, nullptr, nullptr);
    return scratch;
}

int XParser::getTreeAggLevel(const XTree* tree) {
    return tree->getRoot()->getCmnInfoConstPtr()->getAggLevel().toInteger();
}

const QvRef& XParser::getSimpleReference(XTree* tree) { return tree->getSimpleReference(); }

int XParser::isConstant(XTree* tree, int countErrorAbort) {
    return tree->isConstant(countErrorAbort);
}

const XMetadata* XParser::getNodeMetadataConstPtr(const XNode* node) {
    return node->getMetadataConstPtr();
}

int XParser::isNodePortVar(const XNode* node) { return node->getId() == eXNI_PORTVAR; }
int XParser::isNodeWflowVar(const XNode* node) { return node->getId() == eXNI_WFVAR; }

int XParser::isAggLevelValid(int level) { return XAggLevel(level).isValid(); }
int XParser::isAggLevelRow(int level) { return XAggLevel(level).isRow(); }
int XParser::isAggLevelGroup(int level) { return XAggLevel(level).isGroup(); }
int XParser::isAggLevelNested(int level) { return XAggLevel(level).isNested(); }

int XParser::is35LookupSrcChild(int index) { return (index != 0 && index % 2 == 0) ? 1 : 0; }

int XParser::is35LookupNonSrcChild(const XNode* node) {
    const XNode* parent = node->getParent();
    if (!parent || parent->getId() != eXNI_LOOKUP) return 0;
    return is35LookupSrcChild(node->getMyIndexInParent()) ? 0 : 1;
}
