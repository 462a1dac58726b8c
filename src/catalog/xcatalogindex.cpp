// Case-insensitive name keys and the longest-match search the lexer relies
// on to recognise mapping and workflow variables inside expression text.
#include "xcatalogindex.h"

#include <cstring>
#include <stdexcept>
#include <utility>

namespace xcatalog {

namespace {

constexpr bool isAscii(unsigned short unit) {
    return unit < 0x80;
}

// The root locale's upper-casing of an ASCII unit; any other unit as it is.
constexpr char16_t asciiUpper(unsigned short unit) {
    return static_cast<char16_t>(unit >= 'a' && unit <= 'z' ? unit - 'a' + 'A' : unit);
}

// Upper-cases an ASCII text into `out`; false (and `out` partly written)
// as soon as a unit is not ASCII.
bool upperAscii(const unsigned short* text, size_t length, char16_t* out) {
    for (size_t i = 0; i < length; ++i) {
        if (!isAscii(text[i])) return false;
        out[i] = asciiUpper(text[i]);
    }
    return true;
}

// Whether `text` and `key` (ASCII, upper case, `length` units) are equal
// without regard to case: 1 or 0, or -1 when that takes ICU. Up to the
// first non-ASCII unit every unit folds to one character of its own, so a
// difference there decides the comparison whatever follows.
int compareAscii(const unsigned short* text, const char16_t* key, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (!isAscii(text[i])) return -1;
        if (asciiUpper(text[i]) != key[i]) return 0;
    }
    return 1;
}

}  // namespace

std::u16string foldKey(const unsigned short* text, size_t length) {
    QvUString upper(text, length);
    upper.makeUpper();
    return std::u16string(reinterpret_cast<const char16_t*>(upper.getBuffer()), upper.length());
}

std::u16string foldKey(const QvUString& text) {
    return foldKey(text.getBuffer(), text.length());
}

bool isAsciiText(const unsigned short* text) {
    for (; *text != 0; ++text) {
        if (!isAscii(*text)) return false;
    }
    return true;
}

std::u16string_view keyView(const unsigned short* text, size_t length) {
    return std::u16string_view(reinterpret_cast<const char16_t*>(text), length);
}

std::u16string_view keyView(const unsigned short* text) {
    return keyView(text, qvUStrlen(text));
}

constexpr size_t kBlockUnits = sizeof(uint64_t) / sizeof(char16_t);

uint64_t blockAt(std::u16string_view text, size_t at) {
    uint64_t block;
    std::memcpy(&block, text.data() + at, sizeof block);
    return block;
}

// FNV-1a over blocks of four units, each with the ASCII case bit set: a
// name hashes as its key does in whatever case it is written. Other units
// that differ only in that bit collide as well, which costs a comparison,
// never an answer. (This and keysEqual are inlined into the index's probe,
// which runs for every reference the validator resolves.)
[[gnu::always_inline]] inline size_t hashKey(std::u16string_view key) {
    constexpr uint64_t kPrime = 1099511628211ull;
    constexpr uint64_t kCaseBits = 0x0020002000200020ull;
    uint64_t hash = 14695981039346656037ull ^ key.size();
    size_t i = 0;
    for (; i + kBlockUnits <= key.size(); i += kBlockUnits)
        hash = (hash ^ (blockAt(key, i) | kCaseBits)) * kPrime;
    uint64_t rest = 0;
    for (size_t shift = 0; i < key.size(); ++i, shift += 16) rest |= uint64_t{key[i]} << shift;
    hash = (hash ^ (rest | kCaseBits)) * kPrime;
    // A block's last units reach only the high bits of its product.
    return static_cast<size_t>(hash ^ (hash >> 32));
}

// Names are mostly written as declared, in upper case: whole blocks settle
// those, and only a block that differs is compared unit by unit.
[[gnu::always_inline]] inline bool keysEqual(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    auto sameUnits = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            if (a[i] != b[i] && asciiUpper(a[i]) != asciiUpper(b[i])) return false;
        }
        return true;
    };
    size_t i = 0;
    for (; i + kBlockUnits <= a.size(); i += kBlockUnits) {
        if (blockAt(a, i) != blockAt(b, i) && !sameUnits(i, i + kBlockUnits)) return false;
    }
    return sameUnits(i, a.size());
}

bool KeyEqual::operator()(std::u16string_view a, std::u16string_view b) const noexcept {
    return keysEqual(a, b);
}

NameIndex::Key* NameIndex::findKey(std::u16string_view key) const {
    if (m_slots.empty()) return nullptr;
    const size_t hash = hashKey(key);
    const size_t mask = m_slots.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot slot = m_slots[at];
        if (slot.keyPlusOne == 0) return nullptr;
        if (slot.hashTag != tagOf(hash)) continue;
        const Key& candidate = m_keys[slot.keyPlusOne - 1];
        if (keysEqual(candidate.text, key)) return const_cast<Key*>(&candidate);
    }
}

void NameIndex::placeKey(size_t keyIndex, size_t hash) {
    const size_t mask = m_slots.size() - 1;
    size_t at = hash & mask;
    while (m_slots[at].keyPlusOne != 0) at = (at + 1) & mask;
    m_slots[at] = Slot{static_cast<uint32_t>(keyIndex + 1), tagOf(hash)};
}

void NameIndex::growSlots() {
    m_slots.assign(m_slots.empty() ? 16 : 2 * m_slots.size(), Slot{0, 0});
    for (size_t i = 0; i < m_keys.size(); ++i) placeKey(i, hashKey(m_keys[i].text));
}

void NameIndex::emplace(const std::u16string& key, size_t index) {
    if (findKey(key)) return;
    if (m_keys.size() >= UINT32_MAX - 1) throw std::length_error("too many names in one index");
    m_keys.push_back(Key{key, index});
    if (2 * m_keys.size() > m_slots.size())
        growSlots();
    else
        placeKey(m_keys.size() - 1, hashKey(key));
    if (!key.empty() && isAscii(key[0])) m_lengthsByFirstUnit[key[0]] |= lengthBit(key.size());
}

size_t NameIndex::replace(const std::u16string& key, size_t index) {
    if (Key* found = findKey(key)) return std::exchange(found->value, index);
    emplace(key, index);
    return kNone;
}

const size_t* NameIndex::find(const unsigned short* name) const {
    if (m_keys.empty()) return nullptr;
    unsigned short any = 0;
    size_t length = 0;
    for (; name[length] != 0; ++length) any |= name[length];
    const Key* found = nullptr;
    if (!isAscii(any)) {
        found = findKey(foldKey(name, length));
    } else {
        // An ASCII name keeps its length and its first letter upper-cased;
        // most names the lexer asks about stop here, before they are hashed.
        if (length == 0 || (m_lengthsByFirstUnit[asciiUpper(name[0])] & lengthBit(length)) == 0)
            return nullptr;
        found = findKey(keyView(name, length));
    }
    return found ? &found->value : nullptr;
}

bool startsWithIgnoringCase(const unsigned short* text, const char16_t* prefix, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == 0) return false;
    }
    int equal = compareAscii(text, prefix, length);
    if (equal >= 0) return equal == 1;
    return qvUStrnicmp(text, reinterpret_cast<const unsigned short*>(prefix), length) == 0;
}

// As in compareAscii, a difference before the first non-ASCII unit decides.
bool equalsIgnoringCase(const unsigned short* text, const char16_t* word) {
    for (size_t i = 0;; ++i) {
        if (!isAscii(text[i]))
            return qvUStricmp(text, reinterpret_cast<const unsigned short*>(word)) == 0;
        if (asciiUpper(text[i]) != word[i]) return false;
        if (text[i] == 0) return true;
    }
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
    std::u16string asciiKey(name.length(), u'\0');
    if (!upperAscii(name.getBuffer(), name.length(), asciiKey.data())) asciiKey.clear();
    std::vector<Entry>& bucket = m_buckets[slotOf(name.at(0))];
    // Longest first, so the first name that matches is the longest.
    auto at = bucket.begin();
    while (at != bucket.end() && at->name.length() >= name.length()) ++at;
    bucket.insert(at, Entry{name, std::move(asciiKey), index});
    ++m_count;
}

bool LongestMatch::matchesAt(const Entry& entry, const QvUString& text, size_t pos) {
    const size_t length = entry.name.length();
    if (pos + length > text.length()) return false;
    const unsigned short* at = text.getBuffer() + pos;
    int equal = entry.asciiKey.empty() ? -1 : compareAscii(at, entry.asciiKey.data(), length);
    if (equal < 0) equal = qvUStrnicmp(at, entry.name.getBuffer(), length) == 0 ? 1 : 0;
    return equal == 1 && endsName(text.at(pos + length));
}

const LongestMatch::Entry* LongestMatch::longestIn(const std::vector<Entry>& bucket,
                                                   const QvUString& text, size_t pos) {
    for (const Entry& entry : bucket) {
        if (matchesAt(entry, text, pos)) return &entry;
    }
    return nullptr;
}

long LongestMatch::match(const QvUString& text, size_t pos, size_t& length) const {
    // The lexer asks at every word, and most catalogs declare no variables.
    if (m_count == 0 || pos >= text.length()) return -1;
    const size_t slot = slotOf(text.at(pos));
    const Entry* best = nullptr;
    auto consider = [&](size_t i) {
        const Entry* found = longestIn(m_buckets[i], text, pos);
        if (found && (!best || found->name.length() > best->name.length())) best = found;
    };
    // A non-ASCII character may fold onto an ASCII one (the Kelvin sign onto
    // K), so it is compared with every bucket.
    if (slot == kOtherSlot) {
        for (size_t i = 0; i < m_buckets.size(); ++i) consider(i);
    } else {
        consider(slot);
        consider(kOtherSlot);
    }
    if (!best) return -1;
    length = best->name.length();
    return static_cast<long>(best->index);
}

}  // namespace xcatalog
