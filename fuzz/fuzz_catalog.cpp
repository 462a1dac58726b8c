// libFuzzer target for the catalog loader: see fuzz/README.md.
#include "fuzz_catalog_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return qvFuzzCatalog(data, size);
}
