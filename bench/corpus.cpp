// Corpus loading, the floor splitter and the counting allocator shared by
// the benchmarks.
#include "corpus.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <new>
#include <stdexcept>

namespace {

std::atomic<uint64_t> g_allocations{0};
std::atomic<uint64_t> g_bytes{0};

bench::Corpus readCorpus(const std::string& name) {
    bench::Corpus corpus;
    corpus.name = name;
    for (const char* dir : {QVCMNEXPR_SHARED_BENCH_DIR, QVCMNEXPR_LOCAL_BENCH_DIR}) {
        std::ifstream in(std::string(dir) + "/" + name + ".etl");
        if (!in) continue;
        corpus.name = name + (dir == std::string(QVCMNEXPR_SHARED_BENCH_DIR) ? "" : "(local)");
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty()) continue;
            corpus.lines.push_back(QvUString::fromUtf8(line));
            corpus.totalUnits += corpus.lines.back().length();
        }
        return corpus;
    }
    throw std::runtime_error("no corpus named " + name);
}

bool isWordUnit(unsigned short c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '.' || c >= 0x80;
}

}  // namespace

namespace bench {

const Corpus& loadCorpus(const std::string& name) {
    static std::map<std::string, Corpus> cache;
    auto it = cache.find(name);
    if (it == cache.end()) it = cache.emplace(name, readCorpus(name)).first;
    return it->second;
}

QvUString makeText(const Corpus& corpus, size_t units) {
    QvUString text;
    text.alloc(units + 1024);
    // Lines end in comments now and then: the operator joining the next line
    // goes after the line break, out of the comment's reach.
    static const QvUString joiner("\n|| ");
    for (size_t i = 0; text.length() < units; ++i) {
        if (i) text.append(joiner);
        text.append(corpus.lines[i % corpus.lines.size()]);
    }
    return text;
}

size_t splitFloor(const unsigned short* text, size_t length) {
    size_t pieces = 0;
    size_t i = 0;
    while (i < length) {
        unsigned short c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++i;
        } else if (c == '\'') {
            ++i;
            while (i < length && text[i] != '\'') ++i;
            ++i;
            ++pieces;
        } else if (isWordUnit(c)) {
            while (i < length && isWordUnit(text[i])) ++i;
            ++pieces;
        } else {
            ++i;
            ++pieces;
        }
    }
    return pieces;
}

void resetHeapCounters() {
    g_allocations = 0;
    g_bytes = 0;
}

HeapCounters heapCounters() { return {g_allocations.load(), g_bytes.load()}; }

}  // namespace bench

// Counting allocation functions for the benchmark binaries.
void* operator new(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    g_bytes.fetch_add(size, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
// The aligned forms count too: memory the library takes with an alignment
// (its node slabs) is heap use like any other.
void* operator new(size_t size, std::align_val_t align) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    g_bytes.fetch_add(size, std::memory_order_relaxed);
    const size_t alignment = static_cast<size_t>(align);
    const size_t rounded = (size + alignment - 1) / alignment * alignment;
    if (void* p = std::aligned_alloc(alignment, rounded ? rounded : alignment)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size, std::align_val_t align) { return operator new(size, align); }
void* operator new(size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    try {
        return operator new(size, align);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    return operator new(size, align, std::nothrow);
}
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { std::free(p); }
