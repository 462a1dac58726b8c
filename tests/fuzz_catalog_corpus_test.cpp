// Replays the catalog loader's fuzzing corpus (fuzz/corpus_catalog) through
// its fuzzing entry: each file is a catalog text that once found new
// behaviour or a fault, so under the sanitizer build none of them may crash,
// leak or let an exception out again.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_catalog_entry.h"

namespace {

TEST(FuzzCatalogCorpusTest, EveryKeptCatalogLoadsOrIsRefusedCleanly) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(QVCMNEXPR_FUZZ_CATALOG_CORPUS_DIR))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(qvFuzzCatalog(bytes.data(), bytes.size()), 0);
    }
}

}  // namespace
