// Storage and name indexes of a catalog. Entries live in deques so that the
// pointers the lookups hand out (and that metadata records keep as the
// caller's object) stay valid while the catalog grows. Names are indexed by
// their upper-cased UTF-16 form, which makes every lookup case-insensitive.
//
// The lexer asks about every word before "(" and at the start of every word
// of a transformation expression, and the validator about every reference,
// so the lookups are kept free of ICU and of allocation for ASCII text: an
// ASCII name upper-cases to the same key by the ASCII rule as by ICU's full
// mapping, and is compared unit by unit. Anything else goes through ICU.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "qvcmnexpr/xcatalog.h"

namespace xcatalog {

// The case-insensitive key of a name.
std::u16string foldKey(const unsigned short* text, size_t length);
std::u16string foldKey(const QvUString& text);
// True when `unit` cannot continue a name: the end of the text, white space,
// a control character, or one of the characters that never appear in a name.
bool endsName(unsigned short unit);
// How messages name a widget kind ("stored procedure").
const char* widgetWord(XCatalogWidgetKind kind);
// True when the first `length` units of `text` (a terminated string) equal
// `prefix` (ASCII, upper case) without regard to case, as ICU's full case
// folding compares them.
bool startsWithIgnoringCase(const unsigned short* text, const char16_t* prefix, size_t length);

// True when every unit of `text` (terminated) is ASCII.
bool isAsciiText(const unsigned short* text);
// Views a terminated (or counted) name as the text of a key, unit for unit.
std::u16string_view keyView(const unsigned short* text);
std::u16string_view keyView(const unsigned short* text, size_t length);
// True when `text` (terminated) equals `word` (ASCII, upper case, terminated)
// without regard to case, as ICU's full case folding compares them.
bool equalsIgnoringCase(const unsigned short* text, const char16_t* word);

// Keys are compared (and, in NameIndex, hashed) without regard to ASCII
// case. Stored keys are upper-cased already, so among them this is plain
// equality; what it buys is that an ASCII name finds its key as it was
// written, with no copy and no ICU: the ASCII rule upper-cases such a name
// exactly as ICU's full mapping does.
struct KeyEqual {
    bool operator()(std::u16string_view a, std::u16string_view b) const noexcept;
};

// Entries by the case-insensitive key of their name. Most questions the
// lexer asks are about names that are not there, so an ASCII name is first
// checked against the lengths of the keys that start with its first letter
// and only then looked up; a name outside ASCII is upper-cased by ICU first.
//
// The validator looks up every reference here, so the table is open
// addressing over a power of two slots, at most half full: the slot comes
// from the hash by a mask, where a standard hash map divides by a prime (a
// slow instruction on the path of every lookup), and a slot keeps part of
// its key's hash, so that a probe compares keys only when that part agrees.
class NameIndex {
public:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    size_t count(const std::u16string& key) const { return findKey(key) ? 1 : 0; }
    // Adds `key` with entry `index`; a key already there keeps its entry.
    void emplace(const std::u16string& key, size_t index);
    // Makes `index` the entry of `key`; the entry the key had, or kNone.
    size_t replace(const std::u16string& key, size_t index);
    // The entry whose name equals `name` (terminated) without regard to
    // case; null when there is none. Valid until the next change.
    const size_t* find(const unsigned short* name) const;

private:
    struct Key {
        std::u16string text;
        size_t value;
    };
    struct Slot {
        uint32_t keyPlusOne;  // 0: empty
        uint32_t hashTag;
    };
    static constexpr size_t kLongKey = 63;  // the bit for every longer key
    static uint64_t lengthBit(size_t length) {
        return uint64_t{1} << (length < kLongKey ? length : kLongKey);
    }
    static uint32_t tagOf(size_t hash) { return static_cast<uint32_t>(hash >> 32); }

    Key* findKey(std::u16string_view key) const;
    void placeKey(size_t keyIndex, size_t hash);
    void growSlots();

    std::vector<Key> m_keys;
    std::vector<Slot> m_slots;
    // For every ASCII first unit of a key, the lengths of those keys.
    std::array<uint64_t, 128> m_lengthsByFirstUnit{};
};

// Finds, at a position of an expression, the longest declared name that
// starts there. Names are bucketed by their first character (folded to upper
// case when it is ASCII) so that a lookup compares only plausible names.
class LongestMatch {
public:
    void add(const QvUString& name, size_t index);
    // The index of the longest name that matches at `pos` and is followed by
    // the end of a name; -1 when none is.
    long match(const QvUString& text, size_t pos, size_t& length) const;

private:
    struct Entry {
        QvUString name;
        // The name upper-cased when it is all ASCII, else empty.
        std::u16string asciiKey;
        size_t index;
    };
    // Slot 128 holds the names that start with a non-ASCII character.
    static constexpr size_t kOtherSlot = 128;
    static size_t slotOf(unsigned short unit);
    static bool matchesAt(const Entry& entry, const QvUString& text, size_t pos);
    static const Entry* longestIn(const std::vector<Entry>& bucket, const QvUString& text,
                                  size_t pos);

    std::array<std::vector<Entry>, kOtherSlot + 1> m_buckets;
    size_t m_count = 0;
};

struct PortEntry {
    XCatalogPort port;
    std::vector<std::u16string> qualifierKeys;  // outermost first
    int ordinal;                                // 1-based position in the catalog
    // The port of the same name declared before this one, or NameIndex::kNone.
    size_t previousSameName;
};

constexpr size_t kWidgetKinds = 3;

}  // namespace xcatalog

namespace xcatalog {
// The named struct types. Every reference to a named struct, recursive ones
// included, refers to the structure kept here without owning it, so no
// description owns itself. Copies of a catalog share the store.
struct StructTypes {
    struct Entry {
        std::shared_ptr<XComplexType> structure;
        std::u16string nameSpace;
        // A configuration naming the structure without owning it, shared
        // by every reference.
        std::shared_ptr<XTypeConfig> config;
    };
    std::unordered_map<std::u16string, Entry> byName;
};
}  // namespace xcatalog

struct XCatalog::Index {
    std::shared_ptr<xcatalog::StructTypes> structTypes = std::make_shared<xcatalog::StructTypes>();

    std::deque<xcatalog::PortEntry> ports;
    // The port of each name declared last; the others follow from it,
    // newest first.
    xcatalog::NameIndex portsByName;
    // Folded qualifiers and name joined by "." (which no name contains).
    std::unordered_set<std::u16string> portQualifiedKeys;

    std::deque<XCatalogMapVar> mapVars;
    xcatalog::NameIndex mapVarsByName;
    xcatalog::LongestMatch mapVarMatch;

    std::deque<XCatalogWorkflowVar> workflowVars;
    xcatalog::NameIndex workflowVarsByName;
    xcatalog::LongestMatch workflowVarMatch;

    std::deque<XCatalogFunction> functions;
    xcatalog::NameIndex externalFunctionsByName;
    xcatalog::NameIndex userFunctionsByName;

    std::deque<XCatalogWidget> widgets;
    // By kind, then by name.
    std::array<xcatalog::NameIndex, xcatalog::kWidgetKinds> widgetsByName;
};
