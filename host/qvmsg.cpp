// The message catalogue: qvGetMsg looks a message id up in the table of
// qvmsg.def. The table is sorted by id (checked at compile time), so a lookup
// is a binary search over constant data and needs no initialisation.
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "qvutils.h"

namespace {

struct MsgRow {
    int id;
    const char* text;
};

constexpr MsgRow kMessages[] = {
#define MSG(name, id, text) {name, text},
#include "qvmsg.def"
#undef MSG
};

constexpr int kMessageIds[] = {
#define MSG(name, id, text) name,
#include "qvmsg.def"
#undef MSG
};

constexpr bool isStrictlySorted() {
    for (size_t i = 1; i < std::size(kMessages); ++i) {
        if (kMessages[i - 1].id >= kMessages[i].id) return false;
    }
    return true;
}
static_assert(isStrictlySorted(), "qvmsg.def must list each id once, in ascending order");

const MsgRow* findMessage(int id) {
    const MsgRow* end = std::end(kMessages);
    const MsgRow* row =
        std::lower_bound(std::begin(kMessages), end, id, [](const MsgRow& r, int key) { return r.id < key; });
    return (row != end && row->id == id) ? row : nullptr;
}

}  // namespace

QvUString qvGetMsg(int id) {
    if (const MsgRow* row = findMessage(id)) return QvUString(row->text);
    char text[64];
    std::snprintf(text, sizeof text, "Unknown message id %d.", id);
    return QvUString(text);
}

int qvIsCataloguedMsg(int id) { return findMessage(id) != nullptr ? 1 : 0; }

const int* qvGetMsgIds(size_t* count) {
    if (count != nullptr) *count = std::size(kMessageIds);
    return kMessageIds;
}
