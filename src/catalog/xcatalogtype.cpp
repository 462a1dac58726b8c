// The data types a catalog may declare and their text form ("string(60)",
// "decimal(12,2)"). One table row per type name says which host type it is
// and what precision and scale it takes, so reading, writing and checking a
// type all follow the same rules.
#include <charconv>

#include "qvcmnexpr/xcatalog.h"
#include "qvutils.h"

namespace {

// How a type name takes its parenthesised numbers.
enum class Sizing {
    none,       // int, date: no numbers
    length,     // string(n): a required length
    digits,     // dec18(p[,s]): optional precision and scale up to the digits
    precision,  // decimal(p[,s]): a required precision
};

struct TypeRow {
    const char* name;
    unsigned int hostType;
    Sizing sizing;
    int defaultPrecision;
    int maxPrecision;
    int defaultScale;
};

// The longest text or binary value a port may declare (100 MB).
constexpr int kMaxLength = 104857600;

constexpr TypeRow kTypes[] = {
    {"string", eQvCDT_STRING, Sizing::length, 0, kMaxLength, 0},
    {"unistring", eQvCDT_UNISTRING, Sizing::length, 0, kMaxLength, 0},
    {"int", eQvCDT_INT, Sizing::none, 10, 10, 0},
    {"bigint", eQvCDT_BIGINT, Sizing::none, 19, 19, 0},
    {"float", eQvCDT_FLOAT, Sizing::none, 15, 15, 0},
    {"dec18", eQvCDT_DEC18, Sizing::digits, 18, 18, 0},
    {"dec28", eQvCDT_DEC28, Sizing::digits, 28, 28, 0},
    {"dec38", eQvCDT_DEC38, Sizing::digits, 38, 38, 0},
    {"decimal", eQvCDT_DEC18_FIXED, Sizing::precision, 0, 38, 0},
    {"date", eQvCDT_DATE, Sizing::none, 29, 29, 9},
    {"binary", eQvCDT_BINARY, Sizing::length, 0, kMaxLength, 0},
};

const TypeRow* rowByName(std::string_view name) {
    for (const TypeRow& row : kTypes) {
        if (name == row.name) return &row;
    }
    return nullptr;
}

bool isFixedDecimal(unsigned int hostType) {
    return hostType == eQvCDT_DEC18_FIXED || hostType == eQvCDT_DEC28_FIXED ||
           hostType == eQvCDT_DEC38_FIXED;
}

const TypeRow* rowByHostType(unsigned int hostType) {
    if (isFixedDecimal(hostType)) return rowByName("decimal");
    for (const TypeRow& row : kTypes) {
        if (row.hostType == hostType) return &row;
    }
    return nullptr;
}

// The fixed decimal that holds `precision` digits.
unsigned int fixedDecimalFor(int precision) {
    if (precision <= 18) return eQvCDT_DEC18_FIXED;
    if (precision <= 28) return eQvCDT_DEC28_FIXED;
    return eQvCDT_DEC38_FIXED;
}

std::string knownTypeNames() {
    std::string names;
    for (const TypeRow& row : kTypes) {
        if (!names.empty()) names += ", ";
        names += row.name;
    }
    return names;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Reads the comma-separated numbers between the parentheses.
int parseNumbers(std::string_view inside, std::vector<int>& numbers) {
    while (true) {
        size_t comma = inside.find(',');
        std::string_view item = trim(inside.substr(0, comma));
        int value = 0;
        auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (item.empty() || ec != std::errc() || end != item.data() + item.size()) return -1;
        numbers.push_back(value);
        if (comma == std::string_view::npos) return 0;
        inside.remove_prefix(comma + 1);
    }
}

int fail(std::string& error, std::string message) {
    error = std::move(message);
    return -1;
}

// Applies the numbers written after a type name to a type of that row.
int applyNumbers(const TypeRow& row, const std::vector<int>& numbers, XCatalogType& type,
                 std::string& error) {
    std::string name = row.name;
    switch (row.sizing) {
        case Sizing::none:
            if (!numbers.empty()) return fail(error, name + " takes no precision or scale");
            return 0;
        case Sizing::length:
            if (numbers.size() != 1)
                return fail(error, name + " needs one length: " + name + "(n)");
            type.precision = numbers[0];
            return 0;
        case Sizing::digits:
        case Sizing::precision:
            if (numbers.size() > 2 || (numbers.empty() && row.sizing == Sizing::precision))
                return fail(error, name + " takes (precision) or (precision,scale)");
            if (!numbers.empty()) type.precision = numbers[0];
            if (numbers.size() == 2) type.scale = numbers[1];
            if (row.sizing == Sizing::precision) type.hostType = fixedDecimalFor(type.precision);
            return 0;
    }
    return -1;
}

}  // namespace

int XCatalogType::parse(std::string_view text, XCatalogType& out, std::string& error) {
    std::string_view whole = trim(text);
    size_t paren = whole.find('(');
    std::string_view name = trim(whole.substr(0, paren));
    const TypeRow* row = rowByName(name);
    if (!row)
        return fail(error, "unknown data type \"" + std::string(name) +
                               "\"; expected one of: " + knownTypeNames());
    XCatalogType type{row->hostType, row->defaultPrecision, row->defaultScale};
    std::vector<int> numbers;
    if (paren != std::string_view::npos) {
        if (whole.back() != ')' ||
            parseNumbers(whole.substr(paren + 1, whole.size() - paren - 2), numbers) != 0)
            return fail(error, "malformed data type \"" + std::string(whole) +
                                   "\"; write name(precision) or name(precision,scale)");
    }
    if (applyNumbers(*row, numbers, type, error) != 0 || type.check(error) != 0) return -1;
    out = type;
    return 0;
}

std::string XCatalogType::toString() const {
    const TypeRow* row = rowByHostType(hostType);
    if (!row) return "unknown(" + std::to_string(hostType) + ")";
    std::string text = row->name;
    switch (row->sizing) {
        case Sizing::none:
            return text;
        case Sizing::length:
            return text + "(" + std::to_string(precision) + ")";
        case Sizing::digits:
        case Sizing::precision:
            return text + "(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    }
    return text;
}

int XCatalogType::check(std::string& error) const {
    const TypeRow* row = rowByHostType(hostType);
    if (!row) return fail(error, "data type " + std::to_string(hostType) + " cannot be declared");
    std::string name = row->name;
    if (row->sizing == Sizing::none) {
        if (precision != row->defaultPrecision || scale != row->defaultScale)
            return fail(error, name + " takes no precision or scale");
        return 0;
    }
    if (precision < 1 || precision > row->maxPrecision)
        return fail(error, name + " needs a " +
                               (row->sizing == Sizing::length ? "length" : "precision") +
                               " from 1 to " + std::to_string(row->maxPrecision) + ", not " +
                               std::to_string(precision));
    if (row->sizing == Sizing::length) {
        if (scale != 0) return fail(error, name + " takes no scale");
        return 0;
    }
    if (scale < 0 || scale > precision)
        return fail(error, name + "(" + std::to_string(precision) + ") needs a scale from 0 to " +
                               std::to_string(precision) + ", not " + std::to_string(scale));
    if (row->sizing == Sizing::precision && hostType != fixedDecimalFor(precision))
        return fail(error, "decimal(" + std::to_string(precision) + ") has host type " +
                               std::to_string(fixedDecimalFor(precision)) + ", not " +
                               std::to_string(hostType));
    return 0;
}

XCatalogType XCatalogType::string(int length) {
    return {eQvCDT_STRING, length, 0};
}
XCatalogType XCatalogType::unistring(int length) {
    return {eQvCDT_UNISTRING, length, 0};
}
XCatalogType XCatalogType::integer() {
    return {eQvCDT_INT, 10, 0};
}
XCatalogType XCatalogType::bigint() {
    return {eQvCDT_BIGINT, 19, 0};
}
XCatalogType XCatalogType::floating() {
    return {eQvCDT_FLOAT, 15, 0};
}
XCatalogType XCatalogType::dec18(int precision, int scale) {
    return {eQvCDT_DEC18, precision, scale};
}
XCatalogType XCatalogType::dec28(int precision, int scale) {
    return {eQvCDT_DEC28, precision, scale};
}
XCatalogType XCatalogType::dec38(int precision, int scale) {
    return {eQvCDT_DEC38, precision, scale};
}
XCatalogType XCatalogType::decimal(int precision, int scale) {
    return {fixedDecimalFor(precision), precision, scale};
}
XCatalogType XCatalogType::date() {
    return {eQvCDT_DATE, 29, 9};
}
XCatalogType XCatalogType::binary(int length) {
    return {eQvCDT_BINARY, length, 0};
}
