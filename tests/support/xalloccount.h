// Counts what the program allocates through operator new, so that a test can
// tell linear from quadratic growth by bytes rather than by the clock.
// Replaces the global allocation functions: include it in exactly one source
// file of a test program.
#pragma once

#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace xalloccount {

inline std::atomic<size_t> allocated{0};  // every byte ever handed out
inline std::atomic<size_t> live{0};
inline std::atomic<size_t> peak{0};
// Allocations of at least this many bytes fail, as they would on a machine
// short of memory; 0: none fails.
inline std::atomic<size_t> failFrom{0};

// Bytes handed out and the highest live total while `run` runs.
struct Usage {
    size_t allocated;
    size_t peak;
};
template <class Fn>
Usage measure(Fn&& run) {
    const size_t before = allocated.load();
    const size_t base = live.load();
    peak.store(base);
    run();
    return Usage{allocated.load() - before, peak.load() - base};
}

inline void* take(size_t size, size_t alignment = 0) {
    if (failFrom.load() != 0 && size >= failFrom.load()) throw std::bad_alloc();
    if (size == 0) size = 1;
    void* p = alignment > alignof(std::max_align_t)
                  ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
                  : std::malloc(size);
    if (!p) throw std::bad_alloc();
    const size_t real = malloc_usable_size(p);
    allocated += real;
    const size_t now = live += real;
    size_t high = peak.load();
    while (now > high && !peak.compare_exchange_weak(high, now)) {
    }
    return p;
}

inline void* tryTake(size_t size, size_t alignment = 0) noexcept {
    try {
        return take(size, alignment);
    } catch (...) {
        return nullptr;
    }
}

inline void give(void* p) noexcept {
    if (!p) return;
    live -= malloc_usable_size(p);
    std::free(p);
}

}  // namespace xalloccount

// Every form, so that nothing allocated by one allocator is freed by another.
void* operator new(size_t size) { return xalloccount::take(size); }
void* operator new[](size_t size) { return xalloccount::take(size); }
void* operator new(size_t size, std::align_val_t a) { return xalloccount::take(size, size_t(a)); }
void* operator new[](size_t size, std::align_val_t a) { return xalloccount::take(size, size_t(a)); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return xalloccount::tryTake(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return xalloccount::tryTake(size); }
void* operator new(size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return xalloccount::tryTake(size, size_t(a));
}
void* operator new[](size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return xalloccount::tryTake(size, size_t(a));
}
void operator delete(void* p) noexcept { xalloccount::give(p); }
void operator delete[](void* p) noexcept { xalloccount::give(p); }
void operator delete(void* p, size_t) noexcept { xalloccount::give(p); }
void operator delete[](void* p, size_t) noexcept { xalloccount::give(p); }
void operator delete(void* p, std::align_val_t) noexcept { xalloccount::give(p); }
void operator delete[](void* p, std::align_val_t) noexcept { xalloccount::give(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { xalloccount::give(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { xalloccount::give(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { xalloccount::give(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { xalloccount::give(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { xalloccount::give(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { xalloccount::give(p); }
