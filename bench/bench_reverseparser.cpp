// Writing trees back as text on the expression corpora: MB/s of written
// text (one byte per unit) for plain and annotated writing and for the
// regeneration that makes the written text a tree's own; the *_Sizes runs
// show time linear in the size of the tree. The corpora are parsed once,
// with validation through the catalog of their ports where it succeeds
// (else as the grammar built them), before the clock starts.
//
// BM_RenameFile runs the built xexpr program on a generated file of N lines
// and reports the time of one run and the program's peak resident memory,
// which must grow linearly with N (it holds the file and its renamed copy).
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "corpus.h"
#include "qvcmnexpr/xcatalogcontext.h"
#include "qvcmnexpr/xexprstrinfo.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xptree.h"
#include "qvcmnexpr/xreverseparser.h"
#include "qvcmnexpr/xtree.h"
#include "schema.h"

namespace {

// Validation is skipped, so every line keeps a tree.
class RelaxedContext : public XParserContextNoSymbols {
public:
    int isRelaxValidationSet() override { return 1; }
};

// The trees of one corpus with the texts they point into.
struct Forest {
    std::vector<QvUString> texts;
    std::vector<std::unique_ptr<XTree>> trees;
};

XTree* parse(XParserContext& ctx, const QvUString& text) {
    XParser parser;
    parser.setParserContext(&ctx, 0);
    XTree* tree = nullptr;
    QvUString err, warn;
    if (parser.parse(text.getBuffer(), tree, err, warn, 0, 0) != 0) {
        delete tree;
        return nullptr;
    }
    return tree;
}

Forest plant(const std::vector<QvUString>& lines) {
    XCatalogContext validating(bench::schemaCatalog());
    RelaxedContext relaxed;
    Forest forest;
    forest.texts = lines;
    for (const QvUString& text : forest.texts) {
        XTree* tree = parse(validating, text);
        if (!tree) tree = parse(relaxed, text);
        if (tree) forest.trees.emplace_back(tree);
    }
    return forest;
}

const Forest& corpusForest(const std::string& name) {
    static std::vector<std::pair<std::string, std::unique_ptr<Forest>>> planted;
    for (auto& [key, forest] : planted)
        if (key == name) return *forest;
    planted.emplace_back(name, std::make_unique<Forest>(plant(bench::loadCorpus(name).lines)));
    return *planted.back().second;
}

void writeAll(benchmark::State& state, const Forest& forest, int annotate) {
    XReverseParser writer;
    QvUString out;
    size_t units = 0;
    for (auto _ : state) {
        for (const auto& tree : forest.trees) {
            writer.getExprString(out, tree.get(), nullptr, annotate);
            units += out.length();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(units));
    state.counters["trees"] = static_cast<double>(forest.trees.size());
}

void BM_WriteBack(benchmark::State& state, const char* corpus, int annotate) {
    writeAll(state, corpusForest(corpus), annotate);
}
BENCHMARK_CAPTURE(BM_WriteBack, short, "short", 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteBack, long, "long", 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteBack, short_annotated, "short", 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteBack, long_annotated, "long", 1)->Unit(benchmark::kMillisecond);

// Regeneration rewrites positions and the reference list of every node; after
// the first pass each tree writes its own normalised text again.
void BM_Regenerate(benchmark::State& state, const char* corpus) {
    const Forest& forest = corpusForest(corpus);
    XReverseParser writer;
    size_t units = 0;
    for (auto _ : state) {
        for (const auto& tree : forest.trees) {
            writer.updateExprString(tree.get(), nullptr, 0);
            units += tree->getExprStrInfo() ? qvUStrlen(tree->getExprStrInfo()->getCurExpr()) : 0;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(units));
}
BENCHMARK_CAPTURE(BM_Regenerate, short, "short")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Regenerate, long, "long")->Unit(benchmark::kMillisecond);

// One expression of about state.range(0) units made of corpus lines.
void BM_WriteBack_Sizes(benchmark::State& state) {
    static RelaxedContext relaxed;
    const QvUString text = bench::makeText(bench::loadCorpus("long"), static_cast<size_t>(state.range(0)));
    Forest forest;
    forest.texts.push_back(text);
    forest.trees.emplace_back(parse(relaxed, forest.texts.back()));
    if (!forest.trees.back()) {
        state.SkipWithError("the text does not parse");
        return;
    }
    writeAll(state, forest, 0);
}
BENCHMARK(BM_WriteBack_Sizes)->RangeMultiplier(4)->Range(1 << 12, 1 << 22)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------- xexpr rename

#ifdef XEXPR_PROGRAM
// A file of `lines` corpus lines in which the first port of the schema
// occurs often enough to be renamed.
std::string renameInput(int64_t lines) {
    const std::string path = "/tmp/bench_rename_" + std::to_string(getpid()) + ".txt";
    const bench::Corpus& corpus = bench::loadCorpus("short");
    std::ofstream out(path, std::ios::binary);
    for (int64_t i = 0; i < lines; ++i)
        out << corpus.lines[static_cast<size_t>(i) % corpus.lines.size()].toUtf8() << '\n';
    return path;
}

// Runs xexpr rename on `path`: the program's peak resident memory in KiB,
// 0 when it cannot be measured, -1 when the run failed. The peak is taken by
// /usr/bin/time: a child of this process would count the pages it shares
// with the benchmark, which holds every corpus tree.
long runRename(const std::string& path) {
    const std::string report = path + ".rss";
    const bool timed = access("/usr/bin/time", X_OK) == 0;
    const pid_t child = fork();
    if (child == 0) {
        if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
        const char* const program = XEXPR_PROGRAM;
        if (timed)
            execl("/usr/bin/time", "time", "-f", "%M", "-o", report.c_str(), program, "rename",
                  "ORDER_AMT=ORDER_AMOUNT", "-f", path.c_str(), static_cast<char*>(nullptr));
        else
            execl(program, "xexpr", "rename", "ORDER_AMT=ORDER_AMOUNT", "-f", path.c_str(),
                  static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return -1;
    long kib = 0;
    if (timed) {
        std::ifstream in(report);
        in >> kib;
        std::remove(report.c_str());
    }
    return kib;
}

void BM_RenameFile(benchmark::State& state) {
    const std::string path = renameInput(state.range(0));
    long peak = 0;
    for (auto _ : state) {
        peak = runRename(path);
        if (peak < 0) {
            state.SkipWithError("xexpr rename failed");
            break;
        }
    }
    std::remove(path.c_str());
    state.counters["peakMiB"] = static_cast<double>(peak) / 1024.0;
    state.counters["lines"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_RenameFile)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

}  // namespace

BENCHMARK_MAIN();
