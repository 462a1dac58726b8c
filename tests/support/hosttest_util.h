// Small helpers shared by the host tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "xanswers.h"

using xtestsupport::answers;

// ASCII or UTF-8 bytes as 0-terminated units, one unit a byte.
inline std::vector<unsigned short> units(std::string_view text) {
    std::vector<unsigned short> out(text.begin(), text.end());
    out.push_back(0);
    return out;
}
