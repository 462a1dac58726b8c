// Benchmark corpora: one expression per line, as UTF-16, plus the helpers
// the benchmarks share (a baseline word splitter, heap counters).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "qvi18n.h"

namespace bench {

struct Corpus {
    std::string name;
    std::vector<QvUString> lines;
    size_t totalUnits = 0;  // one byte per character for MB/s
};

// "short" or "long": the shared corpus when present, else the local one.
const Corpus& loadCorpus(const std::string& name);

// One text of about `units` characters made of corpus lines joined by " || "
// (still one valid expression when the lines are string-valued or not: the
// lexer does not care).
QvUString makeText(const Corpus& corpus, size_t units);

// The floor: splits text into words, numbers and punctuation with the
// least work possible. Returns the number of pieces.
size_t splitFloor(const unsigned short* text, size_t length);

// Heap activity of the calling process since the last reset (the bench
// binaries replace the global allocation functions to count).
struct HeapCounters {
    uint64_t allocations = 0;
    uint64_t bytes = 0;
};
void resetHeapCounters();
HeapCounters heapCounters();

}  // namespace bench
