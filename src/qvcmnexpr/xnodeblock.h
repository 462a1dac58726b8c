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
#include "xblockalloc.h"

namespace xnodeblock {

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
