// Blocks from the per-thread node slabs, for every object that a parse
// makes and its tree frees: the nodes (xnodeblock.h), the tree, its
// expression record and the token-name allocator. Kept apart from the node
// classes so that the token layer can take its blocks from the slabs without
// knowing the tree. The slabs themselves live in xnode.cpp, beside the node
// allocation that inlines them.
#pragma once

#include <cstddef>
#include <new>

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

}  // namespace xnodeblock
