// Node classes of the syntax tree: creation, kind names, positions, metadata
// forwarding and the child cursor used by tree walks.
#include "qvcmnexpr/xnode.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
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
#include "xnodeblock.h"

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
// from small slabs, one slab open per thread. The last release of a slab
// (a node's, from any thread, or the owning thread's when the slab is full
// or the thread ends) frees it. An open slab with no live block starts over
// from its first byte, so parsing one expression after another reuses the
// same slab. Every slab is aligned to its size, so a block finds its slab
// by address; a block too big for a slab gets a slab of its own.
//
// Handing out a block must not cost an atomic operation: an open slab's
// count starts at a large charge that the owner alone pays down, by the
// number of blocks it handed out, when it closes the slab. Nor must giving
// one back on the thread that parsed, which is how nearly every tree dies:
// the owner counts its own releases into an open slab in a plain field and
// folds them into the payment when it closes the slab. Releases from other
// threads, and into closed slabs, take one from the count each. So while
// open, the count is the charge less the other threads' releases, and
// after closing it is the number of live blocks.

constexpr size_t kSlabSize = 16384;
constexpr size_t kBlockAlign = xnodeblock::kAlign;
// More than the blocks any slab can hold, so an open slab never reaches 0.
constexpr uint32_t kOpenCharge = uint32_t{1} << 30;

struct alignas(xnodeblock::kMaxAlign) Slab {
    std::atomic<uint32_t> references;
    uint32_t handedOut = 0;      // blocks carved since the slab (re)started; owner only
    size_t used = 0;             // bytes handed out, header included
    uint32_t ownerReleased = 0;  // of those, released by the owner while open; owner only

    // The blocks handed out since the start that still live, but for the
    // other threads' releases; the count equals the charge less this when
    // none lives.
    uint32_t ownerLive() const { return handedOut - ownerReleased; }
};

using xnodeblock::roundUp;

constexpr size_t kSlabHeader = roundUp(sizeof(Slab), xnodeblock::kMaxAlign);

Slab* newSlab(size_t bytes, uint32_t references) {
    void* memory = ::operator new(bytes, std::align_val_t(kSlabSize));
    Slab* slab = new (memory) Slab;
    slab->references.store(references, std::memory_order_relaxed);
    slab->used = kSlabHeader;
    XNODE_POISON(static_cast<char*>(memory) + kSlabHeader, bytes - kSlabHeader);
    return slab;
}

void dropSlabReferences(Slab* slab, uint32_t count) {
    if (slab->references.fetch_sub(count, std::memory_order_acq_rel) == count) {
        XNODE_UNPOISON(slab, roundUp(slab->used, kSlabSize));
        slab->~Slab();
        ::operator delete(static_cast<void*>(slab), std::align_val_t(kSlabSize));
    }
}

// Pays down what the owner still holds of the charge; the slab goes with
// its last live block, or now when there is none.
void closeSlab(Slab* slab) { dropSlabReferences(slab, kOpenCharge - slab->ownerLive()); }

// The calling thread's open slab. A plain pointer, so reaching it costs no
// call; the closer object exists only to close the slab when the thread
// ends, and is touched once per slab opened.
thread_local Slab* t_openSlab = nullptr;

struct SlabCloser {
    bool armed = false;
    ~SlabCloser() {
        if (Slab* slab = std::exchange(t_openSlab, nullptr)) closeSlab(slab);
    }
};

thread_local SlabCloser t_slabCloser;

// `size` bytes at the next multiple of `align` (the slab itself is
// aligned to its size, so offsets and addresses align alike).
char* carve(Slab* slab, size_t size, size_t align) {
    slab->used = roundUp(slab->used, align);
    char* block = reinterpret_cast<char*>(slab) + slab->used;
    slab->used += size;
    XNODE_UNPOISON(block, size);
    return block;
}

// A slab of its own for a block too big to share one; freed with the block.
void* soloBlock(size_t size) {
    Slab* slab = newSlab(roundUp(kSlabHeader + size, kSlabSize), 1);
    return carve(slab, size, xnodeblock::kMaxAlign);
}

// Starts the open slab over when none of its blocks lives any more.
inline void restartIfEmpty(Slab* slab) {
    if (slab->references.load(std::memory_order_acquire) != kOpenCharge - slab->ownerLive()) return;
    XNODE_POISON(reinterpret_cast<char*>(slab) + kSlabHeader, slab->used - kSlabHeader);
    slab->references.store(kOpenCharge, std::memory_order_relaxed);
    slab->handedOut = 0;
    slab->ownerReleased = 0;
    slab->used = kSlabHeader;
}

// The block when the open slab cannot hold it: a slab of its own for a big
// block, else a fresh open slab.
[[gnu::noinline]] void* slabBlockSlow(size_t size, size_t align) {
    if (size > kSlabSize - kSlabHeader - xnodeblock::kMaxAlign) return soloBlock(size);
    t_slabCloser.armed = true;
    Slab* fresh = newSlab(kSlabSize, kOpenCharge);
    if (Slab* full = t_openSlab) closeSlab(full);
    t_openSlab = fresh;
    ++fresh->handedOut;
    return carve(fresh, size, align);
}

// `size` rounded to whole units at `align` (both powers of two; align at
// most xnodeblock::kMaxAlign).
inline void* slabBlock(size_t size, size_t align) {
    size = roundUp(size == 0 ? 1 : size, kBlockAlign);
    if (align < kBlockAlign) align = kBlockAlign;
    if (Slab* slab = t_openSlab) {
        restartIfEmpty(slab);
        if (roundUp(slab->used, align) + size <= kSlabSize) {
            ++slab->handedOut;
            return carve(slab, size, align);
        }
    }
    return slabBlockSlow(size, align);
}

// Only the thread whose open slab it is finds the slab in t_openSlab, so
// the plain count is never touched by two threads.
inline void releaseSlabBlock(void* block, size_t size) {
    XNODE_POISON(block, size);
    const auto address = reinterpret_cast<uintptr_t>(block);
    Slab* slab = reinterpret_cast<Slab*>(address & ~static_cast<uintptr_t>(kSlabSize - 1));
    if (slab == t_openSlab) {
        ++slab->ownerReleased;
        return;
    }
    dropSlabReferences(slab, 1);
}

}  // namespace

void* xnodeblock::allocate(size_t size, size_t align) { return slabBlock(size, align); }

void xnodeblock::release(void* block, size_t size) noexcept {
    if (block) releaseSlabBlock(block, size);
}

// A node made with `new` may be of any class, so its block gets the
// strictest alignment.
void* XNode::operator new(size_t size) { return slabBlock(size, xnodeblock::kMaxAlign); }

void* XNode::allocateBlock(size_t size, size_t align) { return slabBlock(size, align); }

// `size` is that of the node's class: under AddressSanitizer a record that
// shared the block is marked free only when its slab starts over.
void XNode::operator delete(void* p, size_t size) noexcept {
    if (p) releaseSlabBlock(p, size);
}

// ===== XNodeCmnInfo =====

void XNodeCmnInfo::setAllValueFields(int value) {
    m_aggLevel.set(value);
    m_op.set(value);
    m_augType = value;
    m_constness.set(value);
    m_parentExpects.set(value);
    m_resultTypeIndicator.set(value);
}

void XNodeCmnInfo::setAllFieldsToDummy() { setAllValueFields(eXMINT_DUMMY); }

void XNodeCmnInfo::setAllFieldsToNoChange() { setAllValueFields(eXMINT_NOCHANGE); }

namespace {

// The deleters visit actions have been given, each in the slot its first
// use took; an action names its deleter by slot number (plus one, 0 being
// none). Slots are only ever filled, never emptied, so readers need no lock.
// A program with more kinds of action than slots is not refused: the
// deleters beyond them are kept by the address of their action, under a
// lock, and the action names the overflow slot.
constexpr size_t kDeleterSlots = 6;
constexpr uintptr_t kOverflowSlot = kDeleterSlots + 1;  // the largest value the low bits hold
std::atomic<XVisitActionDeleter> g_deleterSlots[kDeleterSlots];

std::mutex g_overflowLock;
// Never destroyed: nodes freed while the process exits may still ask.
std::unordered_map<uintptr_t, XVisitActionDeleter>& overflowDeleters() {
    static auto* deleters = new std::unordered_map<uintptr_t, XVisitActionDeleter>();
    return *deleters;
}

uintptr_t slotOfDeleter(XVisitActionDeleter deleter) {
    for (size_t i = 0; i < kDeleterSlots; ++i) {
        XVisitActionDeleter seen = g_deleterSlots[i].load(std::memory_order_acquire);
        if (seen == nullptr &&
            g_deleterSlots[i].compare_exchange_strong(seen, deleter, std::memory_order_acq_rel)) {
            return i + 1;
        }
        if (seen == deleter) return i + 1;
    }
    return kOverflowSlot;
}

// The deleter of the action at `address` that names `slot`; an overflow
// entry is handed out once, as its action is freed.
XVisitActionDeleter takeDeleter(uintptr_t slot, uintptr_t address) {
    if (slot == 0) return nullptr;
    if (slot != kOverflowSlot) return g_deleterSlots[slot - 1].load(std::memory_order_acquire);
    std::lock_guard<std::mutex> hold(g_overflowLock);
    auto found = overflowDeleters().find(address);
    if (found == overflowDeleters().end()) return nullptr;
    const XVisitActionDeleter deleter = found->second;
    overflowDeleters().erase(found);
    return deleter;
}

}  // namespace

void XNodeCmnInfo::setVisitAction(XVisitAction* action, XVisitActionDeleter deleter) {
    QV_ASSERT(action == nullptr || deleter != nullptr, kUnit);
    const auto address = reinterpret_cast<uintptr_t>(action);
    if ((address & cDeleterSlotMask) != 0) {
        QvAssertHandler(kUnit, __LINE__);  // not the address of an object with a vtable
        return;
    }
    if (action == nullptr) {
        setVisitActionWord(0);
        return;
    }
    const uintptr_t slot = slotOfDeleter(deleter);
    if (slot == kOverflowSlot) {
        std::lock_guard<std::mutex> hold(g_overflowLock);
        overflowDeleters()[address] = deleter;
    }
    setVisitActionWord(address | slot);
}

void XNodeCmnInfo::deleteVisitAction() {
    if (XVisitAction* action = getVisitAction()) {
        const uintptr_t slot = visitActionWord() & cDeleterSlotMask;
        if (XVisitActionDeleter deleter = takeDeleter(slot, reinterpret_cast<uintptr_t>(action))) deleter(action);
    }
    setVisitActionWord(0);
}

// ===== XNode =====

// The layout is planned (xnode.h): a field added carelessly costs every node.
static_assert(sizeof(void*) != 8 || sizeof(XNode) == 80);

struct XNodeAttachments {
    std::unique_ptr<XMetadata> metadata;
    XNonNegInt posOrigBegin;
    XNodeSrvInfo* srvInfo = nullptr;
    XNodeInfoDeleter srvInfoDeleter = nullptr;
    XNodeOptInfo* optInfo = nullptr;
    XNodeInfoDeleter optInfoDeleter = nullptr;

    ~XNodeAttachments() {
        if (srvInfo && srvInfoDeleter) srvInfoDeleter(srvInfo);
        if (optInfo && optInfoDeleter) optInfoDeleter(optInfo);
    }
};

void XNode::AttachmentsDeleter::operator()(XNodeAttachments* attachments) const noexcept {
    delete attachments;
}

void XNode::adoptExternalMetadata(XMetadata* metadata) {
    std::unique_ptr<XMetadata> owned(metadata);
    attachments().metadata = std::move(owned);
}

XNodeAttachments& XNode::attachments() {
    if (!m_attachments) m_attachments.reset(new XNodeAttachments());
    return *m_attachments;
}

// Every tree dies node by node, and nearly every node owns nothing but its
// block: no action, no attachments, and a record (in the block) without a
// side record, whose destructor would have nothing to free. Such a node is
// done with a few tests; the rest is kept out of line.
inline bool XNode::ownsMoreThanBlock() {
    if (m_cmnInfo.getVisitAction() || m_attachments) return true;
    if (!m_metadataWords) return false;
    return (m_nodeFlags & cRecordAlwaysDestroyed) != 0 || embeddedMetadata()->holdsSideRecord();
}

XNode::~XNode() {
    if (ownsMoreThanBlock()) releaseOwned();
}

[[gnu::noinline]] void XNode::releaseOwned() {
    if (m_cmnInfo.getVisitAction()) m_cmnInfo.deleteVisitAction();
    m_attachments.reset();
    // A record in the node's own block is only destroyed; the block goes
    // with the node.
    if (m_metadataWords) embeddedMetadata()->~XMetadata();
}

XMetadata* XNode::externalMetadata() const {
    return m_attachments ? m_attachments->metadata.get() : nullptr;
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
    const bool saved = m_attachments && m_attachments->posOrigBegin.isInitialized();
    return saved ? m_attachments->posOrigBegin : m_posBegin;
}

void XNode::updatePosBeginEnd(XNonNegInt begin, XNonNegInt end, int keepOrig) {
    if (begin.toInteger() != eXMINT_NOCHANGE) {
        if (keepOrig && !(m_attachments && m_attachments->posOrigBegin.isInitialized()))
            attachments().posOrigBegin = m_posBegin;
        m_posBegin = begin;
    }
    if (end.toInteger() != eXMINT_NOCHANGE) m_posEnd = end;
}

XType XNode::getDataType() const { return getMetadataConstPtr()->getDataType(); }
void XNode::setDataType(XType type) { getMetadataPtr()->setDataType(type); }
XNonNegInt XNode::getScale() const { return getMetadataConstPtr()->getScale(); }
void XNode::setScale(int scale) { getMetadataPtr()->setScale(scale); }
XNonNegInt XNode::getNumCharsMax() const { return getMetadataConstPtr()->getNumCharsMax(); }
void XNode::setNumCharsMax(int numChars) { getMetadataPtr()->setNumCharsMax(numChars); }
const void* XNode::getTypeConfig() const { return getMetadataConstPtr()->getTypeAttrsV(); }
void XNode::setTypeConfig(const void* config) { getMetadataPtr()->setTypeAttrs(config); }

XNodeSrvInfo* XNode::getSrvInfoPtr() { return m_attachments ? m_attachments->srvInfo : nullptr; }
const XNodeSrvInfo* XNode::getSrvInfoPtr() const {
    return m_attachments ? m_attachments->srvInfo : nullptr;
}
XNodeOptInfo* XNode::getOptInfoPtr() { return m_attachments ? m_attachments->optInfo : nullptr; }
const XNodeOptInfo* XNode::getOptInfoPtr() const {
    return m_attachments ? m_attachments->optInfo : nullptr;
}

// Clearing an attachment that was never set makes no record. Replacing one
// does not free the old value, as before the record existed.
void XNode::setSrvInfoPtr(XNodeSrvInfo* info, XNodeInfoDeleter deleter) {
    if (!m_attachments && !info && !deleter) return;
    attachments().srvInfo = info;
    m_attachments->srvInfoDeleter = deleter;
}

void XNode::setOptInfoPtr(XNodeOptInfo* info, XNodeInfoDeleter deleter) {
    if (!m_attachments && !info && !deleter) return;
    attachments().optInfo = info;
    m_attachments->optInfoDeleter = deleter;
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
            [=](void* at, void*) { return new (at) XNodeKeyword(id, begin, end, nullptr); });
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
        auto construct = [=](void* at, void*) {
            return new (at) XNodeRef(id, name, begin, end, nullptr);
        };
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
    return m_children.data()[i];
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
            [=](void* at, void*) { return new (at) XNodeOpt(id, begin, end, nullptr); });
    });
}

XNodePercRef::XNodePercRef(XNode* detached, std::unique_ptr<XMetadata> metadata)
    : XNodeOpt(eXNI_PERCREF, kNoPosition, kNoPosition, std::move(metadata)),
      m_percDetached(detached) {}

XNodePercRef* XNodePercRef::createPercRefNode(XNode* detached) {
    return nullWhenOutOfMemory([&] {
        return newWithMetadata<XNodePercRef, XMetadata>(
            [&](void* at, void*) { return new (at) XNodePercRef(detached, nullptr); });
    });
}

XNodePercDetached::XNodePercDetached(XNonNegInt begin, std::unique_ptr<XMetadata> metadata)
    : XNodeOpt(eXNI_PERCDETACHED, begin, kNoPosition, std::move(metadata)) {}

XNodePercDetached* XNodePercDetached::createPercDetachedNode(XNonNegInt begin) {
    return nullWhenOutOfMemory([&] {
        return newWithMetadata<XNodePercDetached, XMetadata>(
            [&](void* at, void*) { return new (at) XNodePercDetached(begin, nullptr); });
    });
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
            [=](void* at, void*) { return new (at) XNodeWidget(id, name, begin, end, nullptr); });
    });
}
