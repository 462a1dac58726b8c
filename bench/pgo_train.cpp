// The training run of the profile-guided build: what an embedder does most,
// parsing and validating expressions through the catalog context, over the
// project's own generated corpora (bench/corpus). The instrumented libraries
// record which way their branches go and which calls are hot; the optimised
// build lays its code out by that record.
//
// Built only into the instrumented build. It reads the project's corpora and
// never the shared ones the benchmarks measure, so that the profile does not
// come from the very expressions the figures are taken on.
#include <cstdio>
#include <exception>
#include <memory>

#include "corpus.h"
#include "qvcmnexpr/xcatalogcontext.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xreverseparser.h"
#include "qvcmnexpr/xtree.h"
#include "schema.h"

namespace {

// Passes over each corpus: enough for the counts to settle on the shape of
// the work, few enough to keep the build quick.
constexpr int kPasses = 3;

// Parses every line (validating it unless the context relaxes validation),
// writes each tree back as text, and returns how many lines parsed.
size_t trainOn(const bench::Corpus& corpus, XCatalogContext& context) {
    XParser parser;
    parser.setParserContext(&context, 0);
    XReverseParser writer;
    size_t valid = 0;
    for (const QvUString& line : corpus.lines) {
        context.resetCurrentWidgetAggLevel();
        XTree* tree = nullptr;
        QvUString err, warn;
        if (parser.parse(line.getBuffer(), tree, err, warn, 0, 0) == 0 && tree) {
            ++valid;
            QvUString text;
            writer.getExprString(text, tree, parser.getStack(), 0);
        }
        delete tree;
    }
    return valid;
}

}  // namespace

int main() {
    try {
        // Parses that validate, and (once a pass) parses that only check
        // the syntax, as embedders run both.
        auto context = bench::contextOver(*bench::schemaCatalog(), true);
        auto syntaxOnly = bench::contextOver(*bench::schemaCatalog(), false);
        for (const char* name : {"short", "long"}) {
            const bench::Corpus& corpus = bench::loadCorpus(name);
            size_t valid = 0;
            for (int pass = 0; pass < kPasses; ++pass) {
                valid = trainOn(corpus, *context);
                trainOn(corpus, *syntaxOnly);
            }
            // A corpus that no longer validates would train the failure
            // paths instead of the common one.
            if (valid * 2 < corpus.lines.size()) {
                std::fprintf(stderr, "pgo_train: only %zu of %zu %s lines validate\n", valid,
                             corpus.lines.size(), name);
                return 1;
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pgo_train: %s\n", error.what());
        return 1;
    }
    return 0;
}
