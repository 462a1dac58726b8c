// Where things are in a JSON text. The JSON library reports the position of
// a syntax error but not where a well-formed value sits, so a catalog that is
// well-formed yet wrong (a misspelt type, a duplicate key) is located by
// scanning the text once more and recording the offset of every key and
// value under its JSON pointer ("/ports/2/type").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace xcatalog {

struct JsonSpot {
    size_t keyOffset;  // npos for array elements and the document itself
    size_t valueOffset;
};

struct JsonSourceMap {
    std::unordered_map<std::string, JsonSpot> spots;
    // The first key that repeats within one object, empty when none does.
    std::string duplicateKeyPointer;
    std::string duplicateKey;
    size_t duplicateKeyOffset = 0;
};

// `text` must be JSON the JSON library has accepted; the scan does not check
// it again. It keeps its own stack, so deep nesting cannot exhaust the call
// stack.
JsonSourceMap scanJsonSource(std::string_view text);

// One component of a JSON pointer, with "~" and "/" escaped.
std::string jsonPointerToken(std::string_view key);

// 1-based line and column (in characters, not bytes) of a byte offset.
void lineAndColumn(std::string_view text, size_t offset, size_t& line, size_t& column);

}  // namespace xcatalog
