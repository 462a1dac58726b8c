// The catalog loader's fuzzing entry, shared by the libFuzzer target and the
// corpus replay test: any bytes are offered as a catalog's JSON text.
#pragma once

#include <cstddef>
#include <cstdint>

// Loads `data` as a catalog; when it loads, parses a few expressions through
// a context over it. Returns 0; a crash, an escaping exception, a leak or a
// sanitizer report is the finding, and so is a refusal without a
// FILE:LINE:COLUMN position.
int qvFuzzCatalog(const uint8_t* data, size_t size);
