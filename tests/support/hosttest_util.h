// Small helpers shared by the host tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Several answers as one text ("1 0 -2"), so that a table row or a state is
// checked by one comparison and a failure shows every answer together.
// Called as answers({a, b, c}): a braced list is read left to right, so the
// answers may come from calls that change what later ones read.
struct Answers {
    template <class... A>
    Answers(A... values) {  // NOLINT(google-explicit-constructor): built from a braced list
        ((text += (text.empty() ? "" : " ") + std::to_string(static_cast<long long>(values))), ...);
    }
    std::string text;
};
inline std::string answers(const Answers& list) { return list.text; }

// ASCII or UTF-8 bytes as 0-terminated units, one unit a byte.
inline std::vector<unsigned short> units(std::string_view text) {
    std::vector<unsigned short> out(text.begin(), text.end());
    out.push_back(0);
    return out;
}
