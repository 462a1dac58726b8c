// Where things are in a JSON text. The JSON library reports the position of
// a syntax error but not where a well-formed value sits, so a catalog that is
// well-formed yet wrong (a misspelt type, a duplicate key) is located by
// scanning the text once more. The scans keep only the path to the current
// value, never a record per value, so their memory follows the nesting depth
// and the keys of the open objects, not the square of the depth.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace xcatalog {

// The first key that repeats within one object.
struct JsonDuplicateKey {
    bool found = false;
    std::string key;
    size_t offset = 0;  // of the second occurrence's key
};

// A value's place: object keys and array indexes from the document down.
using JsonPath = std::vector<std::string>;

// Where a value (or its key) starts.
struct JsonSpot {
    bool found = false;
    size_t keyOffset = std::string::npos;  // npos for array elements and the document
    size_t valueOffset = 0;
};

// `text` must be JSON the JSON library has accepted; the scans do not check
// it again. Both keep their own stack, so deep nesting cannot exhaust the
// call stack.
JsonDuplicateKey findDuplicateKey(std::string_view text);
JsonSpot findJsonPath(std::string_view text, const JsonPath& path);

// 1-based line and column (in characters, not bytes) of a byte offset.
void lineAndColumn(std::string_view text, size_t offset, size_t& line, size_t& column);

}  // namespace xcatalog
