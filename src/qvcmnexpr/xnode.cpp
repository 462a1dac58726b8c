// Node classes of the syntax tree: creation, kind names, positions, metadata
// forwarding and the child cursor used by tree walks.
#include "qvcmnexpr/xnode.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define XNODE_POISON(at, size) ASAN_POISON_MEMORY_REGION(at, size)
#define XNODE_UNPOISON(at, size) ASAN_UNPOISON_MEMORY_REGION(at, size)
#else
#define XNODE_POISON(at, size) ((void)(at), (void)(size))
#define XNODE_UNPOISON(at, size) ((void)(at), (void)(size))
#endif

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

// ---- node slabs ----
//
// A parse makes a few nodes per token and a tree frees them all together,
// so handing every node to the general heap costs more than building it:
// allocation, then coalescing on free, with the blocks strewn between
// everything else the heap serves. Node blocks are instead carved in order
// from small slabs, one slab open per thread. A slab counts the blocks it
// handed out plus one for being open; the last release (a node's, from any
// thread, or the owning thread's when the slab is full or the thread ends)
// frees it. An open slab with no live block starts over from its first
// byte, so parsing one expression after another reuses the same slab.
// Every slab is aligned to its size, so a block finds its slab by address;
// a block too big for a slab gets a slab of its own.

constexpr size_t kSlabSize = 16384;
constexpr size_t kBlockAlign = 16;

struct alignas(kBlockAlign) Slab {
    std::atomic<uint32_t> references{1};  // live blocks, plus one while open
    size_t used = 0;                      // bytes handed out, header included
};

constexpr size_t kSlabHeader = (sizeof(Slab) + kBlockAlign - 1) / kBlockAlign * kBlockAlign;

constexpr size_t roundUp(size_t size, size_t unit) { return (size + unit - 1) / unit * unit; }

Slab* newSlab(size_t bytes) {
    void* memory = ::operator new(bytes, std::align_val_t(kSlabSize));
    Slab* slab = new (memory) Slab;
    slab->used = kSlabHeader;
    XNODE_POISON(static_cast<char*>(memory) + kSlabHeader, bytes - kSlabHeader);
    return slab;
}

void dropSlabReference(Slab* slab) {
    if (slab->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        XNODE_UNPOISON(slab, roundUp(slab->used, kSlabSize));
        slab->~Slab();
        ::operator delete(static_cast<void*>(slab), std::align_val_t(kSlabSize));
    }
}

// The calling thread's open slab.
struct OpenSlab {
    Slab* slab = nullptr;
    ~OpenSlab() {
        if (slab) dropSlabReference(std::exchange(slab, nullptr));
    }
};

thread_local OpenSlab t_openSlab;

char* carve(Slab* slab, size_t size) {
    char* block = reinterpret_cast<char*>(slab) + slab->used;
    slab->used += size;
    XNODE_UNPOISON(block, size);
    return block;
}

// A slab of its own for a block too big to share one; freed with the block.
void* soloBlock(size_t size) {
    Slab* slab = newSlab(roundUp(kSlabHeader + size, kSlabSize));
    return carve(slab, size);
}

void* slabBlock(size_t size) {
    size = roundUp(size == 0 ? 1 : size, kBlockAlign);
    if (size > kSlabSize - kSlabHeader) return soloBlock(size);
    Slab* slab = t_openSlab.slab;
    if (slab && slab->references.load(std::memory_order_acquire) == 1) {
        XNODE_POISON(reinterpret_cast<char*>(slab) + kSlabHeader, slab->used - kSlabHeader);
        slab->used = kSlabHeader;  // nothing in it lives any more
    }
    if (!slab || slab->used + size > kSlabSize) {
        Slab* fresh = newSlab(kSlabSize);
        if (slab) dropSlabReference(slab);
        t_openSlab.slab = slab = fresh;
    }
    slab->references.fetch_add(1, std::memory_order_relaxed);
    return carve(slab, size);
}

void releaseSlabBlock(void* block, size_t size) {
    XNODE_POISON(block, size);
    const auto address = reinterpret_cast<uintptr_t>(block);
    dropSlabReference(reinterpret_cast<Slab*>(address & ~static_cast<uintptr_t>(kSlabSize - 1)));
}

}  // namespace

void* XNode::operator new(size_t size) { return slabBlock(size); }

// `size` is that of the node's class: under AddressSanitizer a record that
// shared the block is marked free only when its slab starts over.
void XNode::operator delete(void* p, size_t size) noexcept {
    if (p) releaseSlabBlock(p, size);
}

template <class Node, class Metadata, class Construct>
Node* XNode::newWithMetadata(Construct construct) {
    constexpr size_t offset = roundUp(sizeof(Node), alignof(Metadata));
    constexpr size_t size = offset + sizeof(Metadata);
    static_assert(alignof(Node) <= kBlockAlign && alignof(Metadata) <= kBlockAlign);
    struct Block {
        char* at;
        ~Block() {
            if (at) XNode::operator delete(at, size);
        }
    } block{static_cast<char*>(XNode::operator new(size))};
    Metadata* metadata = new (block.at + offset) Metadata();
    Node* node;
    try {
        node = construct(block.at);
    } catch (...) {
        metadata->~Metadata();
        throw;
    }
    node->m_metadata.reset(metadata);
    node->m_metadataEmbedded = true;
    block.at = nullptr;
    return node;
}

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
    // A record in the node's own block is only destroyed; the block goes
    // with the node.
    if (m_metadataEmbedded) m_metadata.release()->~XMetadata();
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
        XNodeKeyword* node = newWithMetadata<XNodeKeyword, XMetadata>(
            [&](void* at) { return new (at) XNodeKeyword(id, begin, end, nullptr); });
        node->getMetadataPtr()->setScale(eXMINT_DUMMY);
        return node;
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

XNodeRef::XNodeRef(EXNodeId id, XTokName* name, XNonNegInt begin, XNonNegInt end,
                   std::unique_ptr<XMetadata> metadata)
    : XNode(id, begin, end, std::move(metadata)), m_tokName(name) {}

// The record a reference resolves into follows from its kind; other kinds
// are not created as references.
XNodeRef* XNodeRef::create(EXNodeId id, XTokName* name, XNonNegInt begin, XNonNegInt end) {
    return nullWhenOutOfMemory([&]() -> XNodeRef* {
        auto construct = [&](void* at) { return new (at) XNodeRef(id, name, begin, end, nullptr); };
        switch (id) {
            case eXNI_PORTVAR:
            case eXNI_QUALIFIEDPORTVAR: return newWithMetadata<XNodeRef, XMetadataPort>(construct);
            case eXNI_MAPVAR: return newWithMetadata<XNodeRef, XMetadataMapVar>(construct);
            case eXNI_WFVAR: return newWithMetadata<XNodeRef, XMetadataWorkflowVar>(construct);
            default: return nullptr;
        }
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
    : XNode(id, begin, end, std::move(metadata)), m_children(0) {
    markHasChildList();
}

const XNodeList* XNodeParent::getChildrenV() const { return &m_children; }

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

XNode* XNodeParent::getCurChild() const {
    return m_nextChildIndex > 0 ? getChild(m_nextChildIndex - 1) : nullptr;
}

// ===== XNodeOpt and the percentile nodes =====

XNodeOpt* XNodeOpt::create(EXNodeId id, XNonNegInt begin, XNonNegInt end) {
    return nullWhenOutOfMemory([&] {
        return newWithMetadata<XNodeOpt, XMetadata>(
            [&](void* at) { return new (at) XNodeOpt(id, begin, end, nullptr); });
    });
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
        return newWithMetadata<XNodeWidget, XMetadataWidget>(
            [&](void* at) { return new (at) XNodeWidget(id, name, begin, end, nullptr); });
    });
}
