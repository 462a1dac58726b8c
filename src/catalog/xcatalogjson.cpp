// Loading a catalog from JSON. The text is parsed by the JSON library, then
// walked section by section into a fresh catalog; the first problem stops the
// walk and is reported with the line and column of the offending key or
// value. Only a catalog that was read completely replaces the caller's.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "qvcmnexpr/xcatalog.h"
#include "xjsonsource.h"

using nlohmann::json;

namespace {

// Where a value sits: its path for locating it, and a readable form
// ("ports[2].type") for the message.
struct JPath {
    xcatalog::JsonPath tokens;
    std::string display;

    JPath key(const std::string& name) const {
        return {extended(name), display.empty() ? name : display + "." + name};
    }
    JPath index(size_t i) const {
        return {extended(std::to_string(i)), display + "[" + std::to_string(i) + "]"};
    }

private:
    xcatalog::JsonPath extended(std::string token) const {
        xcatalog::JsonPath longer = tokens;
        longer.push_back(std::move(token));
        return longer;
    }
};

// Thrown inside the loader only; loadJsonText turns it into the message.
struct LoadError {
    JPath at;
    bool atKey;
    std::string message;
};

[[noreturn]] void refuse(const JPath& at, std::string message, bool atKey = false) {
    throw LoadError{at, atKey, std::move(message)};
}

const char* jsonTypeWord(const json& value) {
    if (value.is_object()) return "an object";
    if (value.is_array()) return "an array";
    if (value.is_string()) return "a string";
    if (value.is_boolean()) return "true or false";
    if (value.is_number()) return "a number";
    return "null";
}

void expectKind(const json& value, bool ok, const char* wanted, const JPath& at) {
    if (!ok) refuse(at, std::string("expected ") + wanted + ", found " + jsonTypeWord(value));
}

// Refuses keys outside `allowed` and checks that `required` ones are there.
void checkKeys(const json& object, const JPath& at, std::initializer_list<const char*> allowed,
               std::initializer_list<const char*> required = {}) {
    expectKind(object, object.is_object(), "an object", at);
    for (const auto& [key, value] : object.items()) {
        bool known = false;
        for (const char* name : allowed) known = known || key == name;
        if (!known) {
            std::string list;
            for (const char* name : allowed) list += std::string(list.empty() ? "" : ", ") + name;
            refuse(at.key(key), "unknown key \"" + key + "\"; expected one of: " + list, true);
        }
    }
    for (const char* name : required) {
        if (!object.contains(name))
            refuse(at, std::string("missing required key \"") + name + "\"");
    }
}

std::string readString(const json& object, const char* key, const JPath& at) {
    const json& value = object.at(key);
    expectKind(value, value.is_string(), "a string", at.key(key));
    return value.get<std::string>();
}

bool readBool(const json& object, const char* key, const JPath& at, bool fallback) {
    if (!object.contains(key)) return fallback;
    const json& value = object.at(key);
    expectKind(value, value.is_boolean(), "true or false", at.key(key));
    return value.get<bool>();
}

XCatalogType readTypeValue(const json& value, const JPath& at) {
    expectKind(value, value.is_string(), "a data type such as \"string(20)\"", at);
    XCatalogType type;
    std::string why;
    if (XCatalogType::parse(value.get<std::string>(), type, why) != 0) refuse(at, why);
    return type;
}

XCatalogType readType(const json& object, const char* key, const JPath& at) {
    return readTypeValue(object.at(key), at.key(key));
}

std::vector<XCatalogType> readArguments(const json& object, const JPath& at) {
    std::vector<XCatalogType> types;
    if (!object.contains("arguments")) return types;
    const json& list = object.at("arguments");
    JPath listAt = at.key("arguments");
    expectKind(list, list.is_array(), "an array of data types", listAt);
    for (size_t i = 0; i < list.size(); ++i)
        types.push_back(readTypeValue(list[i], listAt.index(i)));
    return types;
}

// Picks `text` out of `words`; its position is the result.
int readWord(const json& object, const char* key, const JPath& at,
             std::initializer_list<const char*> words, int fallback) {
    if (!object.contains(key)) return fallback;
    std::string text = readString(object, key, at);
    int i = 0;
    std::string list;
    for (const char* word : words) {
        if (text == word) return i;
        list += std::string(list.empty() ? "" : ", ") + "\"" + word + "\"";
        ++i;
    }
    refuse(at.key(key), "\"" + text + "\" is not one of " + list);
}

class Loader {
public:
    explicit Loader(XCatalog& target) : m_catalog(target) {}
    // Frees each list entry of `root` once it is in the catalog, so that the
    // document and the catalog built from it are never both whole in memory.
    void readRoot(json& root);

private:
    using SectionFn = void (Loader::*)(const json&, const JPath&);
    void readSettings(const json& object, const JPath& at);
    void readPort(const json& entry, const JPath& at);
    void readTypes(json& list, const JPath& at);
    void readMapVar(const json& entry, const JPath& at);
    void readWorkflowVar(const json& entry, const JPath& at);
    void readFunction(const json& entry, const JPath& at);
    void readLookup(const json& entry, const JPath& at) {
        readWidget(entry, at, XCatalogWidgetKind::lookup);
    }
    void readStoredProc(const json& entry, const JPath& at) {
        readWidget(entry, at, XCatalogWidgetKind::storedProcedure);
    }
    void readExternalProc(const json& entry, const JPath& at) {
        readWidget(entry, at, XCatalogWidgetKind::externalProcedure);
    }
    void readWidget(const json& entry, const JPath& at, XCatalogWidgetKind kind);
    void readList(json& list, const JPath& at, SectionFn readEntry);
    // An add that refuses the entry is reported at the entry's name.
    void added(int status, const std::string& why, const JPath& entryAt) {
        if (status != 0) refuse(entryAt.key("name"), why);
    }

    XCatalog& m_catalog;
    std::string m_why;
};

void Loader::readRoot(json& root) {
    struct Section {
        const char* key;
        SectionFn read;
        bool isList;
    };
    static constexpr Section kSections[] = {
        {"settings", &Loader::readSettings, false},
        {"types", nullptr, true},
        {"ports", &Loader::readPort, true},
        {"mappingVariables", &Loader::readMapVar, true},
        {"workflowVariables", &Loader::readWorkflowVar, true},
        {"functions", &Loader::readFunction, true},
        {"lookups", &Loader::readLookup, true},
        {"storedProcedures", &Loader::readStoredProc, true},
        {"externalProcedures", &Loader::readExternalProc, true},
    };
    JPath at;
    checkKeys(root, at,
              {"kind", "settings", "types", "ports", "mappingVariables", "workflowVariables", "functions",
               "lookups", "storedProcedures", "externalProcedures"});
    int kind = readWord(root, "kind", at, {"transformation", "workflow", "either"}, 0);
    m_catalog.setKind(static_cast<XCatalogExprKind>(kind + 1));
    for (const Section& section : kSections) {
        if (!root.contains(section.key)) continue;
        if (!section.read)
            readTypes(root.at(section.key), at.key(section.key));
        else if (section.isList)
            readList(root.at(section.key), at.key(section.key), section.read);
        else
            (this->*section.read)(root.at(section.key), at.key(section.key));
    }
}

void Loader::readList(json& list, const JPath& at, SectionFn readEntry) {
    expectKind(list, list.is_array(), "an array", at);
    for (size_t i = 0; i < list.size(); ++i) {
        (this->*readEntry)(list[i], at.index(i));
        list[i] = nullptr;
    }
}

void Loader::readSettings(const json& object, const JPath& at) {
    checkKeys(object, at,
              {"highPrecision", "decimalMaxPrecision", "relaxValidation", "allowNullType",
               "upgrade", "serverMode"});
    XCatalogSettings& settings = m_catalog.settings();
    if (object.contains("highPrecision"))
        settings.highPrecision = readBool(object, "highPrecision", at, false);
    if (object.contains("decimalMaxPrecision")) {
        const json& value = object.at("decimalMaxPrecision");
        JPath valueAt = at.key("decimalMaxPrecision");
        expectKind(value, value.is_number_integer(), "18 or 28", valueAt);
        // Out-of-range numbers are refused before they could wrap around.
        long long precision = value.get<long long>();
        if (precision != 18 && precision != 28)
            refuse(valueAt, "expected 18 or 28, not " + value.dump());
        settings.decimalMaxPrecision = static_cast<int>(precision);
        if (m_catalog.checkSettings(m_why) != 0) refuse(valueAt, m_why);
    }
    settings.relaxValidation = readBool(object, "relaxValidation", at, false);
    settings.allowNullType = readBool(object, "allowNullType", at, false);
    settings.upgrade = readBool(object, "upgrade", at, false);
    if (object.contains("serverMode"))
        settings.serverAscii = readWord(object, "serverMode", at, {"unicode", "ascii"}, 0) == 1;
}

// The struct types are declared together, so that they may refer to each
// other whatever their order; a refusal is placed at the field (or type) at
// fault.
void Loader::readTypes(json& list, const JPath& at) {
    expectKind(list, list.is_array(), "an array", at);
    std::vector<XCatalogStructType> types;
    for (size_t i = 0; i < list.size(); ++i) {
        const json& entry = list[i];
        const JPath entryAt = at.index(i);
        checkKeys(entry, entryAt, {"name", "namespace", "fields"}, {"name", "fields"});
        XCatalogStructType type;
        type.name = readString(entry, "name", entryAt);
        if (entry.contains("namespace")) type.nameSpace = readString(entry, "namespace", entryAt);
        const json& fields = entry.at("fields");
        const JPath fieldsAt = entryAt.key("fields");
        expectKind(fields, fields.is_array(), "an array of fields", fieldsAt);
        for (size_t f = 0; f < fields.size(); ++f) {
            const JPath fieldAt = fieldsAt.index(f);
            checkKeys(fields[f], fieldAt, {"name", "type"}, {"name", "type"});
            type.fields.push_back({readString(fields[f], "name", fieldAt), readString(fields[f], "type", fieldAt)});
        }
        types.push_back(std::move(type));
    }
    size_t failedType = 0;
    size_t failedField = std::string::npos;
    if (m_catalog.addStructTypes(std::move(types), m_why, &failedType, &failedField) != 0) {
        const JPath typeAt = at.index(failedType);
        if (failedField == std::string::npos) refuse(typeAt.key("name"), m_why);
        refuse(typeAt.key("fields").index(failedField).key("type"), m_why);
    }
    list = nullptr;
}

void Loader::readPort(const json& entry, const JPath& at) {
    checkKeys(entry, at, {"name", "qualifiers", "type"}, {"name", "type"});
    XCatalogPort port{readString(entry, "name", at), {}, {}, {}, {}};
    const std::string typeText = readString(entry, "type", at);
    if (XCatalog::isHierarchicalTypeText(typeText)) {
        // Checked here too, so that a wrong type is placed at the type.
        if (!m_catalog.resolveHierarchicalType(typeText, m_why)) refuse(at.key("type"), m_why);
        port.hierarchicalType = typeText;
    } else
        port.type = readType(entry, "type", at);
    if (entry.contains("qualifiers")) {
        const json& list = entry.at("qualifiers");
        JPath listAt = at.key("qualifiers");
        expectKind(list, list.is_array(), "an array of names", listAt);
        for (size_t i = 0; i < list.size(); ++i) {
            expectKind(list[i], list[i].is_string(), "a name", listAt.index(i));
            port.qualifiers.push_back(list[i].get<std::string>());
        }
    }
    added(m_catalog.addPort(std::move(port), m_why), m_why, at);
}

void Loader::readMapVar(const json& entry, const JPath& at) {
    checkKeys(entry, at, {"name", "type", "aggregation", "aggregationContext"}, {"name", "type"});
    XCatalogMapVar var{readString(entry, "name", at), readType(entry, "type", at)};
    var.aggregation = static_cast<EXMapVarType>(
        readWord(entry, "aggregation", at, {"none", "any", "count", "max", "min"}, 0));
    var.aggregationContext = readBool(entry, "aggregationContext", at, false);
    added(m_catalog.addMappingVariable(std::move(var), m_why), m_why, at);
}

void Loader::readWorkflowVar(const json& entry, const JPath& at) {
    checkKeys(entry, at, {"name", "type", "predefined"}, {"name", "type"});
    XCatalogWorkflowVar var{readString(entry, "name", at), readType(entry, "type", at),
                            readBool(entry, "predefined", at, false)};
    added(m_catalog.addWorkflowVariable(std::move(var), m_why), m_why, at);
}

void Loader::readFunction(const json& entry, const JPath& at) {
    checkKeys(entry, at, {"name", "userDefined", "arguments", "result", "constant", "aggregate",
                         "window"},
              {"name", "result"});
    XCatalogFunction function;
    function.name = readString(entry, "name", at);
    function.userDefined = readBool(entry, "userDefined", at, false);
    function.arguments = readArguments(entry, at);
    function.result = readType(entry, "result", at);
    function.constant = readBool(entry, "constant", at, false);
    function.aggregate = readBool(entry, "aggregate", at, false);
    function.window = readBool(entry, "window", at, false);
    added(m_catalog.addFunction(std::move(function), m_why), m_why, at);
}

void Loader::readWidget(const json& entry, const JPath& at, XCatalogWidgetKind kind) {
    // A lookup always returns a value; procedures may return none.
    if (kind == XCatalogWidgetKind::lookup)
        checkKeys(entry, at, {"name", "arguments", "result"}, {"name", "result"});
    else
        checkKeys(entry, at, {"name", "arguments", "result"}, {"name"});
    XCatalogWidget widget{kind, readString(entry, "name", at), readArguments(entry, at), {}};
    if (entry.contains("result")) widget.result = readType(entry, "result", at);
    added(m_catalog.addWidget(std::move(widget), m_why), m_why, at);
}

// "FILE:LINE:COLUMN: error: " for a byte offset of the text.
std::string locate(std::string_view text, const std::string& sourceName, size_t offset) {
    size_t line = 0;
    size_t column = 0;
    xcatalog::lineAndColumn(text, offset, line, column);
    return sourceName + ":" + std::to_string(line) + ":" + std::to_string(column) + ": error: ";
}

std::string describe(std::string_view text, const std::string& sourceName, const LoadError& e) {
    xcatalog::JsonSpot spot = xcatalog::findJsonPath(text, e.at.tokens);
    size_t offset = 0;
    if (spot.found)
        offset = e.atKey && spot.keyOffset != std::string::npos ? spot.keyOffset : spot.valueOffset;
    std::string where = e.at.display.empty() ? "catalog" : e.at.display;
    return locate(text, sourceName, offset) + where + ": " + e.message;
}

// The JSON library's message without its own prefix and position, which the
// caller's FILE:LINE:COLUMN replaces.
std::string syntaxMessage(const nlohmann::detail::exception& e) {
    std::string what = e.what();
    size_t close = what.find("] ");
    if (close != std::string::npos) what.erase(0, close + 2);
    size_t colon = what.find(": ", what.find("parse error"));
    if (what.rfind("parse error", 0) == 0 && colon != std::string::npos) what.erase(0, colon + 2);
    return "malformed JSON: " + what;
}

// Builds the document like the library's own parser, but hands a failure
// back with its position instead of throwing it: a number out of range
// ("1e999") fails with an exception that carries no position of its own.
class LocatingParser : public nlohmann::detail::json_sax_dom_parser<json> {
public:
    explicit LocatingParser(json& root) : json_sax_dom_parser(root, false) {}
    bool parse_error(size_t position, const std::string& token,
                     const nlohmann::detail::exception& e) {
        failed = true;
        // A syntax error is placed at the character that broke the syntax;
        // a well-formed number that does not fit, at its first character.
        const bool wholeToken = dynamic_cast<const json::out_of_range*>(&e) != nullptr;
        offset = wholeToken && position >= token.size() ? position - token.size()
                 : position > 0                          ? position - 1
                                                         : 0;
        message = syntaxMessage(e);
        return false;
    }
    bool failed = false;
    size_t offset = 0;
    std::string message;
};

// Sets the message of a failure that may itself be short of memory: when
// even the message cannot be made, `error` keeps what it had.
template <class MakeMessage>
void failWithoutThrowing(std::string& error, MakeMessage&& message) {
    try {
        error = message();
    } catch (...) {
    }
}

int parseAndRead(std::string_view text, const std::string& sourceName, XCatalog& loaded,
                 std::string& error) {
    json root;
    LocatingParser parser(root);
    json::sax_parse(text, &parser);
    if (parser.failed) {
        error = locate(text, sourceName, parser.offset) + parser.message;
        return -1;
    }
    xcatalog::JsonDuplicateKey duplicate = xcatalog::findDuplicateKey(text);
    if (duplicate.found) {
        error = locate(text, sourceName, duplicate.offset) + "key \"" + duplicate.key +
                "\" appears twice in the same object";
        return -1;
    }
    try {
        Loader(loaded).readRoot(root);
    } catch (const LoadError& e) {
        error = describe(text, sourceName, e);
        return -1;
    }
    return 0;
}

}  // namespace

int XCatalog::loadJsonText(std::string_view text, const std::string& sourceName, XCatalog& out,
                           std::string& error) {
    // Nothing the loader meets may leave it as an exception: running out of
    // memory, or anything the JSON library throws that the reading above
    // did not foresee, is reported like any other failure.
    try {
        XCatalog loaded;
        if (parseAndRead(text, sourceName, loaded, error) != 0) return -1;
        out = std::move(loaded);
        return 0;
    } catch (const std::bad_alloc&) {
        failWithoutThrowing(error, [&] { return sourceName + ":1:1: error: not enough memory"; });
    } catch (const std::exception& e) {
        failWithoutThrowing(error, [&] {
            return sourceName + ":1:1: error: the catalog could not be loaded: " + e.what();
        });
    }
    return -1;
}

int XCatalog::loadJsonFile(const std::string& path, XCatalog& out, std::string& error) {
    try {
        errno = 0;
        std::ifstream in(path, std::ios::binary);
        // A directory opens but cannot be read; peek finds out.
        if (!in || (in.peek() == std::ifstream::traits_type::eof() && in.bad())) {
            int code = errno;
            error = path + ": error: cannot read the catalog file";
            if (code != 0) error += std::string(": ") + std::strerror(code);
            return -1;
        }
        in.clear();
        std::ostringstream buffer;
        buffer << in.rdbuf();
        std::string text = std::move(buffer).str();
        return loadJsonText(text, path, out, error);
    } catch (const std::bad_alloc&) {
        failWithoutThrowing(error, [&] { return path + ":1:1: error: not enough memory"; });
    }
    return -1;
}
