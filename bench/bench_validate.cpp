// Validation on the expression corpora, through the catalog context built
// from the benchmark schema, with the widget aggregation level reset before
// each expression (every corpus line is an expression of its own).
//
// - BM_ParseValidate: what an embedder runs, parse with validation; counts
//   the lines that validate, the median time per line, MB/s, and heap use
//   per node of the whole front door.
// - BM_ParseSyntaxOnly: the same parse with validation switched off (the
//   context relaxes validation), the baseline the validator adds to.
// - BM_ValidateWalk: the validator's walk alone over trees parsed without
//   validation: time per node, and heap use per node counted around the walk
//   only; BM_ValidateWalkValidLines the same over the lines that validate,
//   where every walk runs to its end. The walk is XValidator::visitSyntaxTree, so its instruction count
//   per node is what
//     valgrind --tool=callgrind --toggle-collect='XValidator::visitSyntaxTree*'
//   counts for bench_validate --benchmark_filter=ValidateWalk/short, divided
//   by the nodes the benchmark reports times its iterations.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <memory>
#include <vector>

#include "corpus.h"
#include "qvcmnexpr/xcatalogcontext.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xvalidator.h"
#include "schema.h"

namespace {

// A context over the schema's ports; `syntaxOnly` makes parse skip validation.
std::unique_ptr<XCatalogContext> makeContext(bool syntaxOnly) {
    return bench::contextOver(*bench::schemaCatalog(), !syntaxOnly);
}

size_t countNodes(XTree* tree) {
    XNodeList nodes;
    tree->dfs(nodes, nullptr);
    return nodes.entries();
}

double medianOf(std::vector<double>& values) {
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

struct PassFigures {
    size_t valid = 0;
    size_t nodes = 0;  // of the trees parse returned
    bench::HeapCounters heap;
};

// One pass of parse (and, unless the context relaxes it, validation) over
// the corpus; with `countTreeNodes` the nodes of the returned trees are
// counted, outside the heap figures.
PassFigures parsePass(XParser& parser, XCatalogContext& context, const bench::Corpus& corpus,
                      bool countTreeNodes, std::vector<double>* micros) {
    PassFigures figures;
    bench::HeapCounters counted{};
    for (const QvUString& line : corpus.lines) {
        context.resetCurrentWidgetAggLevel();
        XTree* tree = nullptr;
        QvUString err, warn;
        bench::resetHeapCounters();
        const auto start = std::chrono::steady_clock::now();
        const int status = parser.parse(line.getBuffer(), tree, err, warn, 0, 0);
        const auto stop = std::chrono::steady_clock::now();
        const bench::HeapCounters heap = bench::heapCounters();
        counted.allocations += heap.allocations;
        counted.bytes += heap.bytes;
        if (micros) micros->push_back(std::chrono::duration<double, std::micro>(stop - start).count());
        figures.valid += status == 0;
        if (tree && countTreeNodes) figures.nodes += countNodes(tree);
        delete tree;
    }
    figures.heap = counted;
    return figures;
}

void parseCorpus(benchmark::State& state, const char* name, bool syntaxOnly) {
    const bench::Corpus& corpus = bench::loadCorpus(name);
    auto context = makeContext(syntaxOnly);
    XParser parser;
    parser.setParserContext(context.get(), 0);
    std::vector<double> micros;
    micros.reserve(corpus.lines.size());
    PassFigures figures;
    for (auto _ : state) {
        micros.clear();
        figures = parsePass(parser, *context, corpus, false, &micros);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.totalUnits));
    state.counters["median_us"] = medianOf(micros);
    state.counters["lines"] = static_cast<double>(corpus.lines.size());
    state.counters["valid"] = static_cast<double>(figures.valid);
    // Nodes of all trees, from a pass that leaves validation off: a line
    // that fails validation returns no tree to count.
    auto syntaxContext = makeContext(true);
    XParser counter;
    counter.setParserContext(syntaxContext.get(), 0);
    const double nodes =
        static_cast<double>(parsePass(counter, *syntaxContext, corpus, true, nullptr).nodes);
    state.counters["nodes"] = nodes;
    state.counters["allocs/node"] = static_cast<double>(figures.heap.allocations) / nodes;
    state.counters["bytes/node"] = static_cast<double>(figures.heap.bytes) / nodes;
}

void BM_ParseValidate(benchmark::State& state, const char* name) { parseCorpus(state, name, false); }

void BM_ParseSyntaxOnly(benchmark::State& state, const char* name) { parseCorpus(state, name, true); }

// The corpus parsed without validation, each tree with the strings its
// messages go to.
struct ParsedCorpus {
    struct Entry {
        std::unique_ptr<XTree> tree;
        std::unique_ptr<QvUString> err, warn;
        size_t nodes = 0;
    };
    std::vector<Entry> entries;
    size_t nodes = 0;
};

ParsedCorpus parseWithoutValidation(XParser& parser, const bench::Corpus& corpus) {
    ParsedCorpus parsed;
    for (const QvUString& line : corpus.lines) {
        ParsedCorpus::Entry entry;
        entry.err = std::make_unique<QvUString>();
        entry.warn = std::make_unique<QvUString>();
        XTree* tree = nullptr;
        if (parser.parse(line.getBuffer(), tree, *entry.err, *entry.warn, 0, 0) != 0 || !tree) continue;
        entry.tree.reset(tree);
        entry.nodes = countNodes(tree);
        parsed.nodes += entry.nodes;
        parsed.entries.push_back(std::move(entry));
    }
    return parsed;
}

// The lines of a corpus that validate, so that the walk can be measured
// where it runs to the end, as it will on every line once the library
// validates every form the corpora use.
const bench::Corpus& validLinesOf(const char* name) {
    static std::map<std::string, bench::Corpus> cache;
    auto it = cache.find(name);
    if (it != cache.end()) return it->second;
    const bench::Corpus& all = bench::loadCorpus(name);
    bench::Corpus valid;
    valid.name = all.name + "(valid)";
    auto context = makeContext(false);
    XParser parser;
    parser.setParserContext(context.get(), 0);
    for (const QvUString& line : all.lines) {
        context->resetCurrentWidgetAggLevel();
        XTree* tree = nullptr;
        QvUString err, warn;
        if (parser.parse(line.getBuffer(), tree, err, warn, 0, 0) == 0) {
            valid.lines.push_back(line);
            valid.totalUnits += line.length();
        }
        delete tree;
    }
    return cache.emplace(name, std::move(valid)).first->second;
}

// Each iteration parses the corpus afresh, untimed, so that every walk
// starts from a tree as parse leaves it (with the reference lists the walk
// fills still empty).
void walkCorpus(benchmark::State& state, const bench::Corpus& corpus) {
    auto syntaxContext = makeContext(true);
    auto context = makeContext(false);
    XParser parser;
    parser.setParserContext(syntaxContext.get(), 0);
    XValidator validator(context.get());
    double walkSeconds = 0;
    size_t valid = 0, validNodes = 0, nodes = 0;
    bench::HeapCounters walkHeap{}, validHeap{};
    for (auto _ : state) {
        state.PauseTiming();
        ParsedCorpus parsed = parseWithoutValidation(parser, corpus);
        state.ResumeTiming();
        walkSeconds = 0;
        valid = validNodes = 0;
        nodes = parsed.nodes;
        walkHeap = validHeap = bench::HeapCounters{};
        for (ParsedCorpus::Entry& entry : parsed.entries) {
            context->resetCurrentWidgetAggLevel();
            bench::resetHeapCounters();
            const auto start = std::chrono::steady_clock::now();
            const int status = validator.visitSyntaxTree(entry.tree.get(), parser.getStack(), nullptr);
            const auto stop = std::chrono::steady_clock::now();
            const bench::HeapCounters heap = bench::heapCounters();
            walkSeconds += std::chrono::duration<double>(stop - start).count();
            walkHeap.allocations += heap.allocations;
            walkHeap.bytes += heap.bytes;
            if (status != 0) continue;
            ++valid;
            validNodes += entry.nodes;
            validHeap.allocations += heap.allocations;
            validHeap.bytes += heap.bytes;
        }
        state.PauseTiming();
        parsed.entries.clear();
        state.ResumeTiming();
    }
    state.counters["trees"] = static_cast<double>(corpus.lines.size());
    state.counters["valid"] = static_cast<double>(valid);
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["ns/node"] = walkSeconds * 1e9 / static_cast<double>(nodes);
    state.counters["allocs/node"] = static_cast<double>(walkHeap.allocations) / static_cast<double>(nodes);
    state.counters["bytes/node"] = static_cast<double>(walkHeap.bytes) / static_cast<double>(nodes);
    // The same over the trees that validate, whose walks run to the end.
    state.counters["valid_allocs/node"] =
        validNodes ? static_cast<double>(validHeap.allocations) / static_cast<double>(validNodes) : 0;
}

void BM_ValidateWalk(benchmark::State& state, const char* name) { walkCorpus(state, bench::loadCorpus(name)); }

void BM_ValidateWalkValidLines(benchmark::State& state, const char* name) {
    walkCorpus(state, validLinesOf(name));
}

}  // namespace

BENCHMARK_CAPTURE(BM_ParseValidate, short, "short")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseValidate, long, "long")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseSyntaxOnly, short, "short")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseSyntaxOnly, long, "long")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ValidateWalk, short, "short")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ValidateWalk, long, "long")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ValidateWalkValidLines, short, "short")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ValidateWalkValidLines, long, "long")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
