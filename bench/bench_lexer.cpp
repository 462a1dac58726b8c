// Lexing throughput on the expression corpora, next to a floor: a loop that
// only splits the same text into words, numbers and punctuation. Reported
// as bytes/s (one byte per character) and tokens/s; the *_Sizes runs show
// that time is linear in text length.
#include <benchmark/benchmark.h>

#include "corpus.h"
#include "xgrammartokens.h"
#include "xlexer.h"
#include "xyystype.h"
#include "qvcmnexpr/xparsercontext.h"

namespace {

size_t lexAll(const QvUString& text, XParserContext& context) {
    XLexer lexer(text.getBuffer(), &context, 0);
    yystype value{};
    size_t tokens = 0;
    while (lexer.yylex(&value) != xgrammar::END_OF_INPUT) ++tokens;
    return tokens;
}

void reportRate(benchmark::State& state, size_t units, size_t tokens) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * units));
    state.counters["tokens/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * tokens), benchmark::Counter::kIsRate);
}

void BM_LexCorpus(benchmark::State& state, const char* name) {
    const bench::Corpus& corpus = bench::loadCorpus(name);
    XParserContextNoSymbols context;
    size_t tokens = 0;
    for (auto _ : state) {
        tokens = 0;
        for (const QvUString& line : corpus.lines) tokens += lexAll(line, context);
        benchmark::DoNotOptimize(tokens);
    }
    reportRate(state, corpus.totalUnits, tokens);
    bench::resetHeapCounters();
    lexAll(corpus.lines[0], context);
    state.counters["allocs/line0"] = static_cast<double>(bench::heapCounters().allocations);
}

void BM_FloorCorpus(benchmark::State& state, const char* name) {
    const bench::Corpus& corpus = bench::loadCorpus(name);
    size_t pieces = 0;
    for (auto _ : state) {
        pieces = 0;
        for (const QvUString& line : corpus.lines)
            pieces += bench::splitFloor(line.getBuffer(), line.length());
        benchmark::DoNotOptimize(pieces);
    }
    reportRate(state, corpus.totalUnits, pieces);
}

void BM_LexSizes(benchmark::State& state) {
    QvUString text = bench::makeText(bench::loadCorpus("short"), static_cast<size_t>(state.range(0)));
    XParserContextNoSymbols context;
    size_t tokens = 0;
    for (auto _ : state) benchmark::DoNotOptimize(tokens = lexAll(text, context));
    reportRate(state, text.length(), tokens);
    bench::resetHeapCounters();
    lexAll(text, context);
    state.counters["allocs/KB"] =
        static_cast<double>(bench::heapCounters().allocations) * 1024.0 / static_cast<double>(text.length());
}

void BM_FloorSizes(benchmark::State& state) {
    QvUString text = bench::makeText(bench::loadCorpus("short"), static_cast<size_t>(state.range(0)));
    size_t pieces = 0;
    for (auto _ : state) benchmark::DoNotOptimize(pieces = bench::splitFloor(text.getBuffer(), text.length()));
    reportRate(state, text.length(), pieces);
}

}  // namespace

BENCHMARK_CAPTURE(BM_LexCorpus, short, "short");
BENCHMARK_CAPTURE(BM_LexCorpus, long, "long");
BENCHMARK_CAPTURE(BM_FloorCorpus, short, "short");
BENCHMARK_CAPTURE(BM_FloorCorpus, long, "long");
BENCHMARK(BM_LexSizes)->Arg(1 << 10)->Arg(100 << 10)->Arg(10 << 20);
BENCHMARK(BM_FloorSizes)->Arg(1 << 10)->Arg(100 << 10)->Arg(10 << 20);

BENCHMARK_MAIN();
