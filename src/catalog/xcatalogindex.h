// Storage and name indexes of a catalog. Entries live in deques so that the
// pointers the lookups hand out (and that metadata records keep as the
// caller's object) stay valid while the catalog grows. Names are indexed by
// their upper-cased UTF-16 form, which makes every lookup case-insensitive.
#pragma once

#include <array>
#include <deque>
#include <string>
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
        size_t index;
    };
    // Slot 128 holds the names that start with a non-ASCII character.
    static constexpr size_t kOtherSlot = 128;
    static size_t slotOf(unsigned short unit);
    static const Entry* longestIn(const std::vector<Entry>& bucket, const QvUString& text,
                                  size_t pos);

    std::array<std::vector<Entry>, kOtherSlot + 1> m_buckets;
};

struct PortEntry {
    XCatalogPort port;
    std::vector<std::u16string> qualifierKeys;  // outermost first
    int ordinal;                                // 1-based position in the catalog
};

}  // namespace xcatalog

struct XCatalog::Index {
    std::deque<xcatalog::PortEntry> ports;
    std::unordered_multimap<std::u16string, size_t> portsByName;
    // Folded qualifiers and name joined by "." (which no name contains).
    std::unordered_set<std::u16string> portQualifiedKeys;

    std::deque<XCatalogMapVar> mapVars;
    std::unordered_map<std::u16string, size_t> mapVarsByName;
    xcatalog::LongestMatch mapVarMatch;

    std::deque<XCatalogWorkflowVar> workflowVars;
    std::unordered_map<std::u16string, size_t> workflowVarsByName;
    xcatalog::LongestMatch workflowVarMatch;

    std::deque<XCatalogFunction> functions;
    std::unordered_map<std::u16string, size_t> externalFunctionsByName;
    std::unordered_map<std::u16string, size_t> userFunctionsByName;

    std::deque<XCatalogWidget> widgets;
    // Key: the kind's number as the first unit, then the folded name.
    std::unordered_map<std::u16string, size_t> widgetsByKey;
};
