// Replays the fuzzer's corpus (fuzz/corpus) through the fuzzing entry: each
// file is one input that once found new behaviour or a fault. Under the
// sanitizer build this keeps every such input crash- and leak-free.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_parse_entry.h"

namespace {

std::vector<std::filesystem::path> corpusFiles() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(QVCMNEXPR_FUZZ_CORPUS_DIR))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(FuzzCorpusTest, EveryKeptInputParsesCleanly) {
    std::vector<std::filesystem::path> files = corpusFiles();
    ASSERT_FALSE(files.empty());
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(qvFuzzParse(bytes.data(), bytes.size()), 0);
    }
}

}  // namespace
