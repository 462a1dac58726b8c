// Several answers as one text ("1 0 -2"), so that a table row or a state is
// checked by one comparison and a failure shows every answer together.
// Called as answers({a, b, c}): a braced list is read left to right, so the
// answers may come from calls that change what later ones read. Needs
// nothing of the library, so the host tests share it too.
#pragma once

#include <string>

namespace xtestsupport {

struct Answers {
    template <class... A>
    Answers(A... values) {  // NOLINT(google-explicit-constructor): built from a braced list
        ((text += (text.empty() ? "" : " ") + std::to_string(static_cast<long long>(values))), ...);
    }
    std::string text;
};
inline std::string answers(const Answers& list) { return list.text; }

}  // namespace xtestsupport
