// Parse throughput (lexing, grammar and tree building; no validation, which
// bench_validate times: its contexts relax it here) on the expression
// corpora: the median time per expression, MB/s of expression
// text (one byte per character), and heap use per syntax-tree node counted
// by the replaced allocation functions. The *_Sizes runs show that time is
// linear in text length. Each corpus is parsed with the context that knows
// no symbols and with the catalog context over the corpora's ports, which
// is what applications run, alone and with other symbols declared. The
// same source builds bench_parse (the library's objects linked in,
// optimised across units) and bench_parse_shared (the installed shared
// libraries, as an application links them).
//
// The FindPort rows time the catalog's port lookup alone and through the
// context (which also fills the node's metadata record), once per schema
// port name as declared and once lower-cased: the validator asks once per
// reference. lookupAll is kept out of line so that a profiler's count of
// its calls gives the cost of one pass.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "corpus.h"
#include "qvcmnexpr/xcatalogcontext.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtree.h"
#include "schema.h"

namespace {

struct ParseOutcome {
    int status = 0;
    size_t nodes = 0;
};

ParseOutcome parseOnce(XParser& parser, const QvUString& text, bool countNodes) {
    XTree* tree = nullptr;
    QvUString err, warn;
    ParseOutcome outcome;
    outcome.status = parser.parse(text.getBuffer(), tree, err, warn, 0, 0);
    if (tree && countNodes) {
        XNodeList nodes;
        tree->dfs(nodes, nullptr);
        outcome.nodes = nodes.entries();
    }
    delete tree;
    return outcome;
}

double medianOf(std::vector<double>& values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Heap allocations and bytes per node over one pass of the corpus.
void reportHeapPerNode(benchmark::State& state, XParser& parser, const bench::Corpus& corpus) {
    size_t nodes = 0;
    for (const QvUString& line : corpus.lines) nodes += parseOnce(parser, line, true).nodes;
    bench::resetHeapCounters();
    for (const QvUString& line : corpus.lines) parseOnce(parser, line, false);
    bench::HeapCounters heap = bench::heapCounters();
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["allocs/node"] = static_cast<double>(heap.allocations) / static_cast<double>(nodes);
    state.counters["bytes/node"] = static_cast<double>(heap.bytes) / static_cast<double>(nodes);
}

void parseCorpus(benchmark::State& state, const char* name, XParserContext& context) {
    const bench::Corpus& corpus = bench::loadCorpus(name);
    XParser parser;
    parser.setParserContext(&context, 0);
    std::vector<double> micros;
    micros.reserve(corpus.lines.size());
    size_t failures = 0;
    for (auto _ : state) {
        micros.clear();
        failures = 0;
        for (const QvUString& line : corpus.lines) {
            auto start = std::chrono::steady_clock::now();
            failures += parseOnce(parser, line, false).status != 0;
            auto stop = std::chrono::steady_clock::now();
            micros.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.totalUnits));
    state.counters["median_us"] = medianOf(micros);
    state.counters["failed"] = static_cast<double>(failures);
    reportHeapPerNode(state, parser, corpus);
}

// The context without symbols, relaxing validation as the catalog rows do:
// otherwise every line's walk would stop at its first port.
struct NoSymbolsParseOnly : XParserContextNoSymbols {
    int isRelaxValidationSet() override { return 1; }
};

void BM_ParseCorpus(benchmark::State& state, const char* name) {
    NoSymbolsParseOnly context;
    parseCorpus(state, name, context);
}

void BM_ParseCorpusCatalog(benchmark::State& state, const char* name) {
    parseCorpus(state, name, *bench::contextOver(*bench::schemaCatalog(), false));
}

void BM_ParseCorpusCatalogSymbols(benchmark::State& state, const char* name) {
    parseCorpus(state, name, *bench::contextOver(*bench::schemaCatalogWithSymbols(), false));
}

void BM_ParseSizes(benchmark::State& state) {
    QvUString text =
        bench::makeText(bench::loadCorpus("short"), static_cast<size_t>(state.range(0)));
    XParserContextNoSymbols context;
    XParser parser;
    parser.setParserContext(&context, 0);
    int status = 0;
    for (auto _ : state) benchmark::DoNotOptimize(status = parseOnce(parser, text, false).status);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.length()));
    state.counters["status"] = status;
}

// Every port name of the schema as declared and lower-cased.
std::vector<QvUString> schemaPortNames(const XCatalog& catalog) {
    std::vector<QvUString> names;
    for (size_t i = 0; i < catalog.getNumPorts(); ++i) {
        QvUString name = QvUString::fromUtf8(catalog.getPort(i).name);
        QvUString lower = name;
        names.push_back(name);
        names.push_back(lower.makeLower());
    }
    return names;
}

[[gnu::noinline]] size_t lookupAll(const XCatalog& catalog, const std::vector<QvUString>& names) {
    size_t found = 0;
    std::string why;
    for (const QvUString& name : names)
        found += catalog.findPort(nullptr, name.getBuffer(), why) != nullptr;
    return found;
}

[[gnu::noinline]] size_t lookupAll(XCatalogContext& context, const std::vector<QvUString>& names) {
    size_t found = 0;
    QvUString err, warn;
    for (const QvUString& name : names) {
        XMetadataPort record;
        found += context.findPort(nullptr, name.getBuffer(), &record, err, warn) == 0;
    }
    return found;
}

template <class Finder>
void findPorts(benchmark::State& state, Finder& finder, const std::vector<QvUString>& names) {
    size_t found = 0;
    for (auto _ : state) benchmark::DoNotOptimize(found = lookupAll(finder, names));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * names.size()));
    state.counters["found"] = static_cast<double>(found);
    bench::resetHeapCounters();
    lookupAll(finder, names);
    state.counters["allocs/lookup"] =
        static_cast<double>(bench::heapCounters().allocations) / static_cast<double>(names.size());
}

void BM_FindPortCatalog(benchmark::State& state) {
    std::shared_ptr<const XCatalog> catalog = bench::schemaCatalog();
    findPorts(state, *catalog, schemaPortNames(*catalog));
}

void BM_FindPortContext(benchmark::State& state) {
    XCatalogContext context(bench::schemaCatalog());
    context.applySettings(nullptr);
    findPorts(state, context, schemaPortNames(context.getCatalog()));
}

}  // namespace

BENCHMARK_CAPTURE(BM_ParseCorpus, short, "short")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseCorpus, long, "long")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseCorpusCatalog, short, "short")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseCorpusCatalog, long, "long")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseCorpusCatalogSymbols, short, "short")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseCorpusCatalogSymbols, long, "long")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindPortCatalog);
BENCHMARK(BM_FindPortContext);
BENCHMARK(BM_ParseSizes)->Arg(1 << 10)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
