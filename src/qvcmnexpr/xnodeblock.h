// One block for a node, its metadata record and the data the node keeps
// (a constant's text): the node classes' creators build through this, so
// a typical node costs one carve from its thread's slab and nothing else.
// Private to the node units (xnode.cpp, xnodeconst.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

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
    block.at = nullptr;
    return node;
}
