// The fuzzing entry shared by the libFuzzer target and the corpus replay
// test: any bytes become UTF-16 text that goes through all three parse forms.
#pragma once

#include <cstddef>
#include <cstdint>

// Parses `data` (read as little-endian UTF-16 units after a one-byte
// settings prefix) with every parse form. Returns 0; a crash, leak or
// sanitizer report is the finding.
int qvFuzzParse(const uint8_t* data, size_t size);
