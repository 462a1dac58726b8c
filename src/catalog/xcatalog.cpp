// Building a catalog in code and looking its entries up. Each add checks the
// entry completely before anything is stored, so a refused entry leaves the
// catalog as it was.
#include "qvcmnexpr/xcatalog.h"

#include "qvcmnasrt.h"
#include "xcatalogindex.h"

using xcatalog::foldKey;
using xcatalog::widgetWord;

namespace {

constexpr const char* kUnit = "xcatalog";
constexpr char16_t kUdfPrefix[] = u":UDF.";
constexpr size_t kUdfPrefixLength = 5;

int fail(std::string& error, std::string message) {
    error = std::move(message);
    return -1;
}

QvUString toU(const std::string& utf8) {
    return QvUString::fromUtf8(utf8);
}

// A name must be non-empty and free of white space and control characters,
// which could never be read back out of an expression.
int checkName(const std::string& what, const std::string& name, std::string& error) {
    if (name.empty()) return fail(error, what + " has an empty name");
    for (unsigned char c : name) {
        if (c <= ' ' || c == 0x7F)
            return fail(
                error, what + " name \"" + name + "\" contains white space or a control character");
    }
    return 0;
}

int checkType(const std::string& what, const XCatalogType& type, std::string& error) {
    std::string why;
    if (type.check(why) != 0) return fail(error, what + ": " + why);
    return 0;
}

// Ports, their qualifiers and called objects are written as plain names in
// expressions, so a character that ends a name (a period, an operator) could
// never be read back: A.B is the port B qualified by A.
int checkPlainName(const std::string& what, const std::string& name, std::string& error) {
    if (checkName(what, name, error) != 0) return -1;
    for (unsigned char c : name) {
        if (c < 0x80 && xcatalog::endsName(c))
            return fail(error, what + " name \"" + name + "\" contains \"" + std::string(1, c) +
                                   "\", which cannot be part of a name" +
                                   (c == '.' ? "; declare qualifiers separately" : ""));
    }
    return 0;
}

int checkTypes(const std::string& what, const std::vector<XCatalogType>& types,
               std::string& error) {
    for (size_t i = 0; i < types.size(); ++i) {
        if (checkType(what + " argument " + std::to_string(i + 1), types[i], error) != 0) return -1;
    }
    return 0;
}

bool hasUdfPrefix(const unsigned short* name) {
    return xcatalog::startsWithIgnoringCase(name, kUdfPrefix, kUdfPrefixLength) &&
           name[kUdfPrefixLength] != 0;
}

// The slot of a widget kind in the index; kWidgetKinds for a number that
// names no kind.
size_t widgetSlot(XCatalogWidgetKind kind) {
    const auto slot = static_cast<size_t>(kind);
    return slot < xcatalog::kWidgetKinds ? slot : xcatalog::kWidgetKinds;
}

}  // namespace

XCatalog::XCatalog() : m_index(std::make_unique<Index>()) {}
XCatalog::XCatalog(const XCatalog& other)
    : m_kind(other.m_kind),
      m_settings(other.m_settings),
      m_index(std::make_unique<Index>(*other.m_index)) {}
XCatalog& XCatalog::operator=(const XCatalog& other) {
    if (this != &other) *this = XCatalog(other);
    return *this;
}
// A moved-from catalog is left empty but usable.
XCatalog::XCatalog(XCatalog&& other) noexcept
    : m_kind(other.m_kind), m_settings(other.m_settings), m_index(std::move(other.m_index)) {
    other.m_index = std::make_unique<Index>();
}
XCatalog& XCatalog::operator=(XCatalog&& other) noexcept {
    m_kind = other.m_kind;
    m_settings = other.m_settings;
    std::swap(m_index, other.m_index);
    return *this;
}
XCatalog::~XCatalog() = default;

int XCatalog::checkSettings(std::string& error) const {
    const auto& precision = m_settings.decimalMaxPrecision;
    if (precision && *precision != 18 && *precision != 28)
        return fail(error, "the decimal maximum precision must be 18 or 28, not " +
                               std::to_string(*precision));
    return 0;
}

// ---------------------------------------------------------------- building

// ":TD" is the table of the old LOOKUP form (LOOKUP(:TD.RET, :TD.KEY, value)),
// the one qualifier the language writes with a colon; the lexer reads it as
// one word, so a port may be declared under it.
static bool isLookupTableQualifier(const std::string& qualifier) {
    return qualifier.size() == 3 && qualifier[0] == ':' && (qualifier[1] | 0x20) == 't' &&
           (qualifier[2] | 0x20) == 'd';
}

int XCatalog::addPort(XCatalogPort port, std::string& error) {
    if (checkPlainName("a port", port.name, error) != 0) return -1;
    std::vector<std::u16string> qualifierKeys;
    for (const std::string& qualifier : port.qualifiers) {
        if (!isLookupTableQualifier(qualifier) &&
            checkPlainName("a qualifier of port " + port.name, qualifier, error) != 0)
            return -1;
        qualifierKeys.push_back(foldKey(toU(qualifier)));
    }
    if (!port.hierarchicalType.empty()) {
        std::string why;
        port.typeConfig = resolveHierarchicalType(port.hierarchicalType, why);
        if (!port.typeConfig) return fail(error, "port " + port.name + ": " + why);
        const XType kind = port.typeConfig->isStructType()  ? XTypeConfig::getStructTypeId()
                           : port.typeConfig->isArrayType() ? XTypeConfig::getArrayTypeId()
                                                            : XTypeConfig::getMapTypeId();
        port.type = {static_cast<unsigned int>(kind.toInteger()), 0, 0};
    } else if (checkType("port " + port.name, port.type, error) != 0) {
        return -1;
    }
    std::u16string key = foldKey(toU(port.name));
    // One lookup of the whole qualified name, not a comparison with every
    // earlier port of the same name: thousands of same-named ports that
    // differ only in their qualifiers load in linear time.
    std::u16string qualifiedKey;
    for (const std::u16string& qualifier : qualifierKeys) qualifiedKey += qualifier + u'.';
    qualifiedKey += key;
    if (!m_index->portQualifiedKeys.insert(std::move(qualifiedKey)).second)
        return fail(error, "port " + port.name + " is declared twice");
    const size_t index = m_index->ports.size();
    const size_t previous = m_index->portsByName.replace(key, index);
    const int ordinal = static_cast<int>(index) + 1;
    m_index->ports.push_back({std::move(port), std::move(qualifierKeys), ordinal, previous});
    return 0;
}

int XCatalog::addMappingVariable(XCatalogMapVar var, std::string& error) {
    if (checkName("a mapping variable", var.name, error) != 0 ||
        checkType("mapping variable " + var.name, var.type, error) != 0)
        return -1;
    if (var.aggregation < eXMVT_NONE || var.aggregation > eXMVT_MIN)
        return fail(error, "mapping variable " + var.name + " has an unknown aggregation type");
    QvUString name = toU(var.name);
    std::u16string key = foldKey(name);
    if (m_index->mapVarsByName.count(key))
        return fail(error, "mapping variable " + var.name + " is declared twice");
    size_t index = m_index->mapVars.size();
    m_index->mapVarsByName.emplace(key, index);
    m_index->mapVarMatch.add(name, index);
    m_index->mapVars.push_back(std::move(var));
    return 0;
}

int XCatalog::addWorkflowVariable(XCatalogWorkflowVar var, std::string& error) {
    if (checkName("a workflow variable", var.name, error) != 0 ||
        checkType("workflow variable " + var.name, var.type, error) != 0)
        return -1;
    QvUString name = toU(var.name);
    std::u16string key = foldKey(name);
    if (m_index->workflowVarsByName.count(key))
        return fail(error, "workflow variable " + var.name + " is declared twice");
    size_t index = m_index->workflowVars.size();
    m_index->workflowVarsByName.emplace(key, index);
    m_index->workflowVarMatch.add(name, index);
    m_index->workflowVars.push_back(std::move(var));
    return 0;
}

int XCatalog::addFunction(XCatalogFunction function, std::string& error) {
    QvUString name = toU(function.name);
    // The prefix belongs to the call, not to the name; accept it written.
    if (function.userDefined && hasUdfPrefix(name.getBuffer()))
        function.name = function.name.substr(kUdfPrefixLength);
    std::string what = std::string(function.userDefined ? "user-defined" : "external") +
                       " function " + function.name;
    if (checkName("a function", function.name, error) != 0 ||
        checkTypes(what, function.arguments, error) != 0 ||
        checkType(what + " result", function.result, error) != 0)
        return -1;
    auto& byName =
        function.userDefined ? m_index->userFunctionsByName : m_index->externalFunctionsByName;
    std::u16string key = foldKey(toU(function.name));
    if (byName.count(key)) return fail(error, what + " is declared twice");
    byName.emplace(key, m_index->functions.size());
    m_index->functions.push_back(std::move(function));
    return 0;
}

int XCatalog::addWidget(XCatalogWidget widget, std::string& error) {
    const size_t slot = widgetSlot(widget.kind);
    if (slot == xcatalog::kWidgetKinds)
        return fail(error, "widget " + widget.name + " has an unknown kind");
    std::string what = std::string(widgetWord(widget.kind)) + " " + widget.name;
    if (checkPlainName(std::string("a ") + widgetWord(widget.kind), widget.name, error) != 0 ||
        checkTypes(what, widget.arguments, error) != 0 ||
        (widget.result && checkType(what + " result", *widget.result, error) != 0))
        return -1;
    xcatalog::NameIndex& byName = m_index->widgetsByName[slot];
    std::u16string key = foldKey(toU(widget.name));
    if (byName.count(key)) return fail(error, what + " is declared twice");
    byName.emplace(key, m_index->widgets.size());
    m_index->widgets.push_back(std::move(widget));
    return 0;
}

size_t XCatalog::getNumPorts() const {
    return m_index->ports.size();
}

const XCatalogPort& XCatalog::getPort(size_t i) const {
    if (i >= m_index->ports.size()) QvAssertHandler(kUnit, __LINE__);
    return m_index->ports[i].port;
}

// ---------------------------------------------------------------- lookups

namespace {

// The qualifiers a reference wrote, nearest first, as keys. ASCII ones are
// compared as written; when one is not ASCII all are upper-cased by ICU,
// once for the lookup rather than once per port of the name.
class WrittenQualifiers {
public:
    explicit WrittenQualifiers(const unsigned short* const* qualifiers) : m_qualifiers(qualifiers) {
        bool ascii = true;
        for (; qualifiers && qualifiers[m_count]; ++m_count)
            ascii = ascii && xcatalog::isAsciiText(qualifiers[m_count]);
        if (ascii) return;
        for (size_t i = 0; i < m_count; ++i)
            m_folded.push_back(foldKey(qualifiers[i], qvUStrlen(qualifiers[i])));
    }

    size_t size() const { return m_count; }
    std::u16string_view key(size_t i) const {
        return m_folded.empty() ? xcatalog::keyView(m_qualifiers[i]) : m_folded[i];
    }

private:
    const unsigned short* const* m_qualifiers;
    size_t m_count = 0;
    std::vector<std::u16string> m_folded;
};

// How many qualifiers a port declares beyond those a reference wrote; -1 when
// the written ones (nearest first) are not the port's last ones.
long extraQualifiers(const xcatalog::PortEntry& entry, const WrittenQualifiers& written) {
    const auto& declared = entry.qualifierKeys;
    if (written.size() > declared.size()) return -1;
    for (size_t i = 0; i < written.size(); ++i) {
        if (!xcatalog::KeyEqual()(declared[declared.size() - 1 - i], written.key(i))) return -1;
    }
    return static_cast<long>(declared.size() - written.size());
}

std::string spell(const XCatalogPort& port) {
    std::string text;
    for (const std::string& qualifier : port.qualifiers) text += qualifier + ".";
    return text + port.name;
}

// Calls `visit` with each port named like ports[newest], newest first.
template <class Visit>
void forEachSameName(const std::deque<xcatalog::PortEntry>& ports, size_t newest, Visit visit) {
    for (size_t i = newest; i != xcatalog::NameIndex::kNone; i = ports[i].previousSameName)
        visit(ports[i]);
}

}  // namespace

const XCatalogPort* XCatalog::findPort(const unsigned short* const* qualifiers,
                                       const unsigned short* name, std::string& why,
                                       int* ordinal) const {
    const size_t* newest = m_index->portsByName.find(name);
    if (!newest) return nullptr;
    // Nearly every reference is an unqualified name that one port has: that
    // port, without weighing qualifiers.
    const xcatalog::PortEntry& only = m_index->ports[*newest];
    if ((!qualifiers || !qualifiers[0]) && only.previousSameName == xcatalog::NameIndex::kNone) {
        if (ordinal) *ordinal = only.ordinal;
        return &only.port;
    }
    const WrittenQualifiers written(qualifiers);
    // The port that needs the fewest unwritten qualifiers wins; a tie is
    // ambiguous rather than a guess.
    const xcatalog::PortEntry* best = nullptr;
    long bestExtra = -1;
    size_t ties = 0;
    forEachSameName(m_index->ports, *newest, [&](const xcatalog::PortEntry& entry) {
        long extra = extraQualifiers(entry, written);
        if (extra < 0 || (best && extra > bestExtra)) return;
        ties = best && extra == bestExtra ? ties + 1 : 1;
        if (ties == 1) best = &entry;
        bestExtra = extra;
    });
    if (ties == 1) {
        if (ordinal) *ordinal = best->ordinal;
        return &best->port;
    }
    if (!best) return nullptr;
    why = "the port name is ambiguous; qualify it as one of:";
    forEachSameName(m_index->ports, *newest, [&](const xcatalog::PortEntry& entry) {
        if (extraQualifiers(entry, written) == bestExtra) why += " " + spell(entry.port);
    });
    return nullptr;
}

const XCatalogMapVar* XCatalog::matchMappingVariable(const QvUString& text, size_t pos,
                                                     size_t& length) const {
    long index = m_index->mapVarMatch.match(text, pos, length);
    return index < 0 ? nullptr : &m_index->mapVars[static_cast<size_t>(index)];
}

const XCatalogWorkflowVar* XCatalog::matchWorkflowVariable(const QvUString& text, size_t pos,
                                                           size_t& length) const {
    long index = m_index->workflowVarMatch.match(text, pos, length);
    return index < 0 ? nullptr : &m_index->workflowVars[static_cast<size_t>(index)];
}

const XCatalogMapVar* XCatalog::findMappingVariable(const unsigned short* name) const {
    const size_t* index = m_index->mapVarsByName.find(name);
    return index ? &m_index->mapVars[*index] : nullptr;
}

const XCatalogWorkflowVar* XCatalog::findWorkflowVariable(const unsigned short* name) const {
    const size_t* index = m_index->workflowVarsByName.find(name);
    return index ? &m_index->workflowVars[*index] : nullptr;
}

const XCatalogFunction* XCatalog::findFunction(const unsigned short* name) const {
    // The lexer asks about every word before "(", and most catalogs declare
    // no functions.
    if (m_index->functions.empty()) return nullptr;
    if (hasUdfPrefix(name)) return findUserFunction(name);
    const size_t* index = m_index->externalFunctionsByName.find(name);
    return index ? &m_index->functions[*index] : nullptr;
}

const XCatalogFunction* XCatalog::findUserFunction(const unsigned short* name) const {
    if (hasUdfPrefix(name)) name += kUdfPrefixLength;
    const size_t* index = m_index->userFunctionsByName.find(name);
    return index ? &m_index->functions[*index] : nullptr;
}

const XCatalogWidget* XCatalog::findWidget(XCatalogWidgetKind kind,
                                           const unsigned short* name) const {
    const size_t slot = widgetSlot(kind);
    if (slot == xcatalog::kWidgetKinds) return nullptr;
    const size_t* index = m_index->widgetsByName[slot].find(name);
    return index ? &m_index->widgets[*index] : nullptr;
}

const char* xcatalog::widgetWord(XCatalogWidgetKind kind) {
    switch (kind) {
        case XCatalogWidgetKind::lookup:
            return "lookup";
        case XCatalogWidgetKind::storedProcedure:
            return "stored procedure";
        case XCatalogWidgetKind::externalProcedure:
            return "external procedure";
    }
    return "widget";
}
