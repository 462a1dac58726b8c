// One block for a node, its metadata record and the data the node keeps
// (a constant's text): the node classes' creators build through this, so
// a typical node costs one carve from its thread's slab and nothing else.
// Private to the library; the other per-parse objects take their blocks
// from the same slabs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnode.h"

namespace xnodeblock {

// Blocks are carved at multiples of this; a class that needs more (one
// holding an __int128) gets its block aligned for it. The slab header
// keeps the strictest alignment a block may ask for.
constexpr size_t kAlign = 8;
constexpr size_t kMaxAlign = 16;

// `unit` is a power of two.
constexpr size_t roundUp(size_t size, size_t unit) { return (size + unit - 1) & ~(unit - 1); }

// A block of `size` bytes from the calling thread's node slab, aligned to
// `align` (a power of two, at most kMaxAlign); throws std::bad_alloc. The
// other objects every parse makes and its tree frees (the tree, its
// expression record, the name allocator) come from here too, beside the
// nodes, instead of from the general heap. release() takes the block back,
// from any thread, with the size it was asked for; null is ignored.
void* allocate(size_t size, size_t align);
void release(void* block, size_t size) noexcept;

// Class allocation functions for such objects.
#define XNODEBLOCK_DEFINE_CLASS_ALLOCATION(Class)                                            \
    void* Class::operator new(size_t size) {                                                 \
        return xnodeblock::allocate(size, alignof(std::max_align_t));                       \
    }                                                                                        \
    void* Class::operator new(size_t size, const std::nothrow_t&) noexcept {                 \
        try {                                                                                \
            return xnodeblock::allocate(size, alignof(std::max_align_t));                   \
        } catch (const std::bad_alloc&) {                                                    \
            return nullptr;                                                                  \
        }                                                                                    \
    }                                                                                        \
    void Class::operator delete(void* p, size_t size) noexcept { xnodeblock::release(p, size); }

// The record classes whose destructors free nothing but the side record
// of XMetadata (every other member and base is trivial to destroy): a node
// skips such a record's destructor when it has no side record. Any other
// record class is always destroyed.
template <class Metadata>
constexpr bool kRecordFreesOnlySideRecord =
    std::is_same_v<Metadata, XMetadata> || std::is_same_v<Metadata, XMetadataPort> ||
    std::is_same_v<Metadata, XMetadataMapVar> || std::is_same_v<Metadata, XMetadataWorkflowVar>;

// Where the record starts in a block whose node is of class Node.
template <class Node, class Metadata>
constexpr size_t metadataOffset() {
    return roundUp(sizeof(Node), alignof(Metadata));
}

}  // namespace xnodeblock

template <class Node, class Metadata, class Construct>
Node* XNode::newWithMetadata(Construct construct, size_t tailBytes) {
    constexpr size_t offset = xnodeblock::metadataOffset<Node, Metadata>();
    constexpr size_t tailOffset = offset + sizeof(Metadata);
    constexpr size_t align = alignof(Node) > alignof(Metadata) ? alignof(Node) : alignof(Metadata);
    static_assert(align <= xnodeblock::kMaxAlign);
    static_assert(offset % cMetadataWord == 0 && offset / cMetadataWord <= UINT8_MAX);
    const size_t size = tailOffset + tailBytes;
    // Gives the block back should a constructor throw.
    struct Block {
        char* at;
        size_t size;
        ~Block() {
            if (at) XNode::operator delete(at, size);
        }
    } block{static_cast<char*>(XNode::allocateBlock(size, align)), size};
    Metadata* metadata = new (block.at + offset) Metadata();
    Node* node;
    try {
        node = construct(static_cast<void*>(block.at), static_cast<void*>(block.at + tailOffset));
    } catch (...) {
        metadata->~Metadata();
        throw;
    }
    node->m_metadataWords = static_cast<uint8_t>(offset / cMetadataWord);
    if constexpr (!xnodeblock::kRecordFreesOnlySideRecord<Metadata>)
        node->m_nodeFlags |= cRecordAlwaysDestroyed;
    block.at = nullptr;
    return node;
}
