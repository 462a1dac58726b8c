// Storage and name indexes of a catalog. Entries live in deques so that the
// pointers the lookups hand out (and that metadata records keep as the
// caller's object) stay valid while the catalog grows. Names are indexed by
// their upper-cased UTF-16 form, which makes every lookup case-insensitive.
//
// The lexer asks about every word before "(" and at the start of every word
// of a transformation expression, so the lookups it reaches are kept free of
// ICU and of allocation for ASCII text: an ASCII name upper-cases to the same
// key by the ASCII rule as by ICU's full mapping, and is compared unit by
// unit. Anything else goes through ICU exactly as before.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
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

// The key of a name for one lookup: made in place when the name is ASCII
// and short, by ICU otherwise. Lives on the caller's stack.
class FoldedName {
public:
    FoldedName(const unsigned short* text, size_t length);
    explicit FoldedName(const unsigned short* text);
    FoldedName(const FoldedName&) = delete;
    FoldedName& operator=(const FoldedName&) = delete;

    std::u16string_view key() const { return m_key; }

private:
    static constexpr size_t kInlineUnits = 64;
    char16_t m_units[kInlineUnits];
    std::u16string m_folded;
    std::u16string_view m_key;
};

// Lets a FoldedName's key find a stored key without making a string of it.
struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view key) const noexcept {
        return std::hash<std::u16string_view>{}(key);
    }
};
template <class Value>
using KeyMap = std::unordered_map<std::u16string, Value, KeyHash, std::equal_to<>>;
template <class Value>
using KeyMultimap = std::unordered_multimap<std::u16string, Value, KeyHash, std::equal_to<>>;

// Entries by the case-insensitive key of their name. Most questions the
// lexer asks are about names that are not there, so an ASCII name is first
// checked against the lengths of the keys that start with its first letter
// and only then folded and hashed.
class NameIndex {
public:
    size_t count(const std::u16string& key) const { return m_byKey.count(key); }
    void emplace(const std::u16string& key, size_t index);
    // The entry whose name equals `name` (terminated) without regard to
    // case; null when there is none.
    const size_t* find(const unsigned short* name) const;

private:
    static constexpr size_t kLongKey = 63;  // the bit for every longer key
    static uint64_t lengthBit(size_t length) {
        return uint64_t{1} << (length < kLongKey ? length : kLongKey);
    }

    KeyMap<size_t> m_byKey;
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
};

}  // namespace xcatalog

struct XCatalog::Index {
    std::deque<xcatalog::PortEntry> ports;
    xcatalog::KeyMultimap<size_t> portsByName;
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
    // Key: the kind's number as the first unit, then the folded name.
    xcatalog::KeyMap<size_t> widgetsByKey;
};
