// Case-insensitive name keys and the longest-match search the lexer relies
// on to recognise mapping and workflow variables inside expression text.
#include "xcatalogindex.h"

#include <cstring>

namespace xcatalog {

std::u16string foldKey(const unsigned short* text, size_t length) {
    QvUString upper(text, length);
    upper.makeUpper();
    return std::u16string(reinterpret_cast<const char16_t*>(upper.getBuffer()), upper.length());
}

std::u16string foldKey(const QvUString& text) {
    return foldKey(text.getBuffer(), text.length());
}

// The characters that are never part of a name in the expression language;
// a declared name must be followed by one of them (or by white space, a
// control character or the end) to be recognised.
bool endsName(unsigned short unit) {
    static constexpr char kNeverInName[] = "!\"$%&'()*+,-./:;<=>?[\\]^`{|}~";
    if (unit < 0x20 || unit == 0x7F || unit == ' ') return true;
    return unit < 0x80 && std::strchr(kNeverInName, static_cast<char>(unit)) != nullptr;
}

size_t LongestMatch::slotOf(unsigned short unit) {
    if (unit >= 0x80) return kOtherSlot;
    if (unit >= 'a' && unit <= 'z') return unit - 'a' + 'A';
    return unit;
}

void LongestMatch::add(const QvUString& name, size_t index) {
    std::vector<Entry>& bucket = m_buckets[slotOf(name.at(0))];
    // Longest first, so the first name that matches is the longest.
    auto at = bucket.begin();
    while (at != bucket.end() && at->name.length() >= name.length()) ++at;
    bucket.insert(at, Entry{name, index});
}

const LongestMatch::Entry* LongestMatch::longestIn(const std::vector<Entry>& bucket,
                                                   const QvUString& text, size_t pos) {
    for (const Entry& entry : bucket) {
        size_t length = entry.name.length();
        if (pos + length > text.length()) continue;
        if (qvUStrnicmp(text.getBuffer() + pos, entry.name.getBuffer(), length) != 0) continue;
        if (endsName(text.at(pos + length))) return &entry;
    }
    return nullptr;
}

long LongestMatch::match(const QvUString& text, size_t pos, size_t& length) const {
    if (pos >= text.length()) return -1;
    size_t slot = slotOf(text.at(pos));
    const Entry* best = nullptr;
    // A non-ASCII character may fold onto an ASCII one (the Kelvin sign onto
    // K), so it is compared with every bucket.
    for (size_t i = 0; i < m_buckets.size(); ++i) {
        if (slot != kOtherSlot && i != slot && i != kOtherSlot) continue;
        const Entry* found = longestIn(m_buckets[i], text, pos);
        if (found && (!best || found->name.length() > best->name.length())) best = found;
    }
    if (!best) return -1;
    length = best->name.length();
    return static_cast<long>(best->index);
}

}  // namespace xcatalog
