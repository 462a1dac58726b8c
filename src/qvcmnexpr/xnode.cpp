// Node classes of the syntax tree: creation, kind names, positions, metadata
// forwarding and the child cursor used by tree walks.
#include "qvcmnexpr/xnode.h"

#include <array>
#include <new>
#include <string>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xenum.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xtoken.h"

namespace {

constexpr const char* kUnit = "xnode";
// Position of nodes that stand for no text of their own.
constexpr XNonNegInt kNoPosition(static_cast<int>(eXMINT_DUMMY));

// Runs a creation and turns a failed allocation into a null result; whatever
// was built so far is owned by unique_ptrs or the new-expression and freed.
template <class Make>
auto nullWhenOutOfMemory(Make make) noexcept -> decltype(make()) {
    try {
        return make();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

struct KindRow {
    EXNodeId id;
    const char* name;
    int printed;
};

constexpr KindRow kKindRows[] = {
#define NODE_KIND(number, NAME, printed) {eXNI_##NAME, #NAME, printed},
#include "qvcmnexpr/xnodekinds.def"
};

constexpr size_t countPrintedKinds() {
    size_t count = 0;
    for (const KindRow& row : kKindRows) count += row.printed ? 1 : 0;
    return count;
}

// (kind, debug name) rows of the kinds that print by name, in kind order as
// XEnum's search needs. Built by the compiler, so it exists before any static
// initialiser of another unit could print a kind.
constexpr std::array<XEnumStrPair, countPrintedKinds()> buildKindNames() {
    std::array<XEnumStrPair, countPrintedKinds()> table{};
    size_t i = 0;
    for (const KindRow& row : kKindRows) {
        if (row.printed) table[i++] = XEnumStrPair{row.id, row.name, nullptr};
    }
    return table;
}

constexpr auto kKindNames = buildKindNames();

}  // namespace

// ===== XNodeCmnInfo =====

void XNodeCmnInfo::setAllValueFields(int value) {
    m_aggLevel.set(value);
    m_op.set(value);
    m_augType.set(value);
    m_constness.set(value);
    m_parentExpects.set(value);
    m_resultTypeIndicator.set(value);
}

void XNodeCmnInfo::setAllFieldsToDummy() { setAllValueFields(eXMINT_DUMMY); }

void XNodeCmnInfo::setAllFieldsToNoChange() { setAllValueFields(eXMINT_NOCHANGE); }

void XNodeCmnInfo::setVisitAction(XVisitAction* action, XVisitActionDeleter deleter) {
    QV_ASSERT(action == nullptr || deleter != nullptr, kUnit);
    m_visitAction = action;
    m_visitActionDeleter = action ? deleter : nullptr;
}

void XNodeCmnInfo::deleteVisitAction() {
    if (m_visitAction && m_visitActionDeleter) m_visitActionDeleter(m_visitAction);
    m_visitAction = nullptr;
    m_visitActionDeleter = nullptr;
}

// ===== XNode =====

XNode::XNode(EXNodeId id, XNonNegInt begin, XNonNegInt end, std::unique_ptr<XMetadata> metadata)
    : m_id(id), m_posBegin(begin), m_posEnd(end), m_metadata(std::move(metadata)) {}

XNode::~XNode() {
    m_cmnInfo.deleteVisitAction();
    if (m_srvInfo && m_srvInfoDeleter) m_srvInfoDeleter(m_srvInfo);
    if (m_optInfo && m_optInfoDeleter) m_optInfoDeleter(m_optInfo);
}

const XNodeList* XNode::getChildrenV() const { return nullptr; }
const void* XNode::getDataPtr() const { return nullptr; }
const short* XNode::getIndPtr() const { return nullptr; }

const char* XNode::idToString(EXNodeId id) {
    return XEnum::enumToString(id, kKindNames.data(), static_cast<int>(kKindNames.size()));
}

int XNode::isRoot() const {
    return m_parent != nullptr && m_parent->isDummyParentOfRoot() ? 1 : 0;
}

int XNode::isRefByExternal() const {
    return isRoot() || (m_parent != nullptr && m_parent->isWidgetNode()) ? 1 : 0;
}

XNonNegInt XNode::getPosOrigBegin() const {
    return m_posOrigBegin.isInitialized() ? m_posOrigBegin : m_posBegin;
}

void XNode::updatePosBeginEnd(XNonNegInt begin, XNonNegInt end, int keepOrig) {
    if (begin.toInteger() != eXMINT_NOCHANGE) {
        if (keepOrig && !m_posOrigBegin.isInitialized()) m_posOrigBegin = m_posBegin;
        m_posBegin = begin;
    }
    if (end.toInteger() != eXMINT_NOCHANGE) m_posEnd = end;
}

XType XNode::getDataType() const { return m_metadata->getDataType(); }
void XNode::setDataType(XType type) { m_metadata->setDataType(type); }
XNonNegInt XNode::getScale() const { return m_metadata->getScale(); }
void XNode::setScale(int scale) { m_metadata->setScale(scale); }
XNonNegInt XNode::getNumCharsMax() const { return m_metadata->getNumCharsMax(); }
void XNode::setNumCharsMax(int numChars) { m_metadata->setNumCharsMax(numChars); }
const void* XNode::getTypeConfig() const { return m_metadata->getTypeAttrsV(); }
void XNode::setTypeConfig(const void* config) { m_metadata->setTypeAttrs(config); }

void XNode::setSrvInfoPtr(XNodeSrvInfo* info, XNodeInfoDeleter deleter) {
    m_srvInfo = info;
    m_srvInfoDeleter = deleter;
}

void XNode::setOptInfoPtr(XNodeOptInfo* info, XNodeInfoDeleter deleter) {
    m_optInfo = info;
    m_optInfoDeleter = deleter;
}

XNodeParent* XNode::asParent() {
    return getChildrenV() ? static_cast<XNodeParent*>(this) : nullptr;
}

const XNodeParent* XNode::asParent() const {
    return getChildrenV() ? static_cast<const XNodeParent*>(this) : nullptr;
}

XNodeList* XNode::getChildrenB() {
    XNodeParent* parent = asParent();
    return parent ? parent->getChildren() : nullptr;
}

int XNode::getNumChildrenB() const {
    const XNodeParent* parent = asParent();
    return parent ? parent->getNumChildren() : 0;
}

XNode* XNode::getChildB(int i, int mustBeParent) const {
    const XNodeParent* parent = asParent();
    if (parent) return parent->getChild(i);
    if (mustBeParent) QvAssertHandler(kUnit, __LINE__);
    return nullptr;
}

XNode* XNode::nextChild() {
    XNodeParent* parent = asParent();
    return parent ? parent->getNextChild() : nullptr;
}

void XNode::resetNextChild() {
    if (XNodeParent* parent = asParent()) parent->resetNextChildIndex();
}

int XNode::getMyIndexInParent() const {
    return m_parent ? m_parent->getChildIndex(this) : -2;
}

int XNode::replaceMeInParent(XNode* other) {
    return m_parent ? m_parent->replaceChild(this, other) : 0;
}

int XNode::isValueAvailable() const {
    const short* indicator = getIndPtr();
    return getDataPtr() != nullptr && indicator != nullptr && *indicator != -1 ? 1 : 0;
}

// ===== XNodeKeyword =====

XNodeKeyword* XNodeKeyword::create(EXNodeId id, XNonNegInt begin, XNonNegInt end) {
    return nullWhenOutOfMemory([&] {
        auto metadata = std::make_unique<XMetadata>();
        metadata->setScale(eXMINT_DUMMY);
        return new XNodeKeyword(id, begin, end, std::move(metadata));
    });
}

XNodeKeyword* XNodeKeyword::createNullNode(XNonNegInt begin, XNonNegInt end, XType type) {
    XNodeKeyword* node = create(eXNI_NULL, begin, end);
    if (!node) return nullptr;
    type.set(static_cast<unsigned int>(type.toCDataType(0)), 1);
    node->setDataType(type);
    if (type.isString(1)) node->setNumCharsMax(0);
    return node;
}

// ===== XNodeRef =====

namespace {

// The record a reference of kind `id` resolves into; null for kinds that are
// not created as references.
std::unique_ptr<XMetadata> newRefMetadata(EXNodeId id) {
    switch (id) {
        case eXNI_PORTVAR:
        case eXNI_QUALIFIEDPORTVAR: return std::make_unique<XMetadataPort>();
        case eXNI_MAPVAR: return std::make_unique<XMetadataMapVar>();
        case eXNI_WFVAR: return std::make_unique<XMetadataWorkflowVar>();
        default: return nullptr;
    }
}

}  // namespace

XNodeRef::XNodeRef(EXNodeId id, XTokName* name, XNonNegInt begin, XNonNegInt end,
                   std::unique_ptr<XMetadata> metadata)
    : XNode(id, begin, end, std::move(metadata)), m_tokName(name) {}

XNodeRef* XNodeRef::create(EXNodeId id, XTokName* name, XNonNegInt begin, XNonNegInt end) {
    return nullWhenOutOfMemory([&]() -> XNodeRef* {
        std::unique_ptr<XMetadata> metadata = newRefMetadata(id);
        if (!metadata) return nullptr;
        return new XNodeRef(id, name, begin, end, std::move(metadata));
    });
}

// ===== XNodeConstBase =====

int XNodeConstBase::getIntValue() const {
    int value = 0;
    if (getIntValueV(value) != 0) QvAssertHandler(kUnit, __LINE__);
    return value;
}

long long XNodeConstBase::getBigIntValue() const {
    long long value = 0;
    if (getBigIntValueV(value) != 0) QvAssertHandler(kUnit, __LINE__);
    return value;
}

// ===== XNodeParent =====

XNodeParent::XNodeParent(EXNodeId id, XNonNegInt begin, XNonNegInt end,
                         std::unique_ptr<XMetadata> metadata)
    : XNode(id, begin, end, std::move(metadata)), m_children(cInitialChildCapacity) {}

const XNodeList* XNodeParent::getChildrenV() const { return &m_children; }

int XNodeParent::getNumChildren() const { return static_cast<int>(m_children.entries()); }

XNode* XNodeParent::getChild(int i) const {
    if (i < 0 || i >= getNumChildren()) return nullptr;
    return m_children[static_cast<size_t>(i)];
}

int XNodeParent::insertChildNode(size_t index, XNode* child) {
    try {
        m_children.insertAt(index, child);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (child) child->setParent(this);
    return 0;
}

int XNodeParent::appendChildNode(XNode* child) { return insertChildNode(m_children.entries(), child); }

int XNodeParent::prependChildNode(XNode* child) { return insertChildNode(0, child); }

int XNodeParent::getChildIndex(const XNode* child) const {
    const int count = getNumChildren();
    for (int i = 0; i < count; ++i) {
        if (m_children[static_cast<size_t>(i)] == child) return i;
    }
    return -2;
}

int XNodeParent::replaceChild(XNode* oldChild, XNode* newChild) {
    // An empty slot is no child; replaceRemovedChild fills those.
    const int index = oldChild ? getChildIndex(oldChild) : -2;
    if (index < 0) return -1;
    m_children[static_cast<size_t>(index)] = newChild;
    if (newChild) newChild->setParent(this);
    return 0;
}

int XNodeParent::stc_replaceChild(XNodeParent* parent, XNode* oldChild, XNode* newChild) {
    return parent ? parent->replaceChild(oldChild, newChild) : -1;
}

int XNodeParent::removeChild(XNode* child) {
    // A null "child" would match an empty slot, which is no child at all.
    const int index = child ? getChildIndex(child) : -2;
    if (index < 0) return -1;
    m_children[static_cast<size_t>(index)] = nullptr;
    return 0;
}

int XNodeParent::replaceRemovedChild(XNode* newChild) {
    const int index = getChildIndex(nullptr);
    if (index < 0) return -1;
    m_children[static_cast<size_t>(index)] = newChild;
    if (newChild) newChild->setParent(this);
    return 0;
}

void XNodeParent::removeLastChild() {
    if (!m_children.isEmpty()) m_children.removeLast();
}

XNode* XNodeParent::getNextChild() {
    // Empty slots are passed over: a removed child must not hide the
    // children after it from a walk (the tree would not free them).
    const int count = getNumChildren();
    while (m_nextChildIndex < count) {
        if (XNode* child = m_children[static_cast<size_t>(m_nextChildIndex++)]) return child;
    }
    return nullptr;
}

XNode* XNodeParent::getCurChild() const {
    return m_nextChildIndex > 0 ? getChild(m_nextChildIndex - 1) : nullptr;
}

// ===== XNodeOpt and the percentile nodes =====

XNodeOpt* XNodeOpt::create(EXNodeId id, XNonNegInt begin, XNonNegInt end) {
    return nullWhenOutOfMemory(
        [&] { return new XNodeOpt(id, begin, end, std::make_unique<XMetadata>()); });
}

XNodePercRef::XNodePercRef(XNode* detached, std::unique_ptr<XMetadata> metadata)
    : XNodeOpt(eXNI_PERCREF, kNoPosition, kNoPosition, std::move(metadata)),
      m_percDetached(detached) {}

XNodePercRef* XNodePercRef::createPercRefNode(XNode* detached) {
    return nullWhenOutOfMemory(
        [&] { return new XNodePercRef(detached, std::make_unique<XMetadata>()); });
}

XNodePercDetached::XNodePercDetached(XNonNegInt begin, std::unique_ptr<XMetadata> metadata)
    : XNodeOpt(eXNI_PERCDETACHED, begin, kNoPosition, std::move(metadata)) {}

XNodePercDetached* XNodePercDetached::createPercDetachedNode(XNonNegInt begin) {
    return nullWhenOutOfMemory(
        [&] { return new XNodePercDetached(begin, std::make_unique<XMetadata>()); });
}

// ===== XNodeWidget =====

namespace {

struct QualifierKind {
    const char* qualifier;
    EXNodeId kind;
};

constexpr QualifierKind kWidgetQualifiers[] = {
    {":SP", eXNI_SP},
    {":LKP", eXNI_LKP},
    {":EXT", eXNI_EXT},
};

constexpr char kMacroPrefix[] = ":UDF.";
constexpr size_t kMacroPrefixLength = sizeof(kMacroPrefix) - 1;

bool equalsIgnoringCase(const QvUString& text, const char* ascii) {
    const size_t length = std::char_traits<char>::length(ascii);
    return text.length() == length && qvUAStrnicmp(text.getBuffer(), ascii, length) == 0;
}

EXNodeId kindOfQualifier(const QvUString& qualifier) {
    for (const QualifierKind& row : kWidgetQualifiers) {
        if (equalsIgnoringCase(qualifier, row.qualifier)) return row.kind;
    }
    return eXNI_NONE;
}

}  // namespace

EXNodeId XNodeWidget::stc_kindOfName(XTokName* name) {
    if (!name) return eXNI_LOOKUP;
    if (XTokName* qualifier = name->getSecondFromLast()) return kindOfQualifier(qualifier->getName());
    const QvUString& text = name->getLast()->getName();
    const bool isMacro = text.length() >= kMacroPrefixLength &&
                         qvUAStrnicmp(text.getBuffer(), kMacroPrefix, kMacroPrefixLength) == 0;
    return isMacro ? eXNI_MACRO : eXNI_EXTFUNC;
}

XNodeWidget::XNodeWidget(EXNodeId id, XTokName* name, XNonNegInt begin, XNonNegInt end,
                         std::unique_ptr<XMetadata> metadata)
    : XNodeParent(id, begin, end, std::move(metadata)), m_tokName(name) {}

XNodeWidget* XNodeWidget::create(XTokName* name, XNonNegInt begin, XNonNegInt end) {
    const EXNodeId id = stc_kindOfName(name);
    if (id == eXNI_NONE) return nullptr;
    return nullWhenOutOfMemory([&] {
        return new XNodeWidget(id, name, begin, end, std::make_unique<XMetadataWidget>());
    });
}
