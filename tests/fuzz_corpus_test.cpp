// Replays the fuzzers' corpora (fuzz/corpus for the parser, fuzz/corpus_catalog
// for the catalog loader) through their fuzzing entries: each file is one
// input that once found new behaviour or a fault. Under the sanitizer build
// this keeps every such input free of crashes, leaks and escaping exceptions.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_catalog_entry.h"
#include "fuzz_parse_entry.h"

namespace {

void replayCorpus(const char* directory, int (*entry)(const uint8_t*, size_t)) {
    std::vector<std::filesystem::path> files;
    for (const auto& item : std::filesystem::directory_iterator(directory))
        if (item.is_regular_file()) files.push_back(item.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty()) << directory;
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(entry(bytes.data(), bytes.size()), 0);
    }
}

TEST(FuzzCorpusTest, EveryKeptInputParsesCleanly) { replayCorpus(QVCMNEXPR_FUZZ_CORPUS_DIR, qvFuzzParse); }

TEST(FuzzCorpusTest, EveryKeptCatalogLoadsOrIsRefusedCleanly) {
    replayCorpus(QVCMNEXPR_FUZZ_CATALOG_CORPUS_DIR, qvFuzzCatalog);
}

}  // namespace
