// libFuzzer target: see fuzz/README.md for how to build and run it.
#include "fuzz_parse_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return qvFuzzParse(data, size);
}
