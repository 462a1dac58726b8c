// Hierarchical types in a catalog: named struct types and the type texts
// "struct NAME", "array<T>" and "map<K,V>" that ports and fields are declared
// with, turned into the library's type descriptions. A struct type is kept
// once in the catalog's store and every reference to it, its own included,
// points there, so recursive declarations are plain data and release
// without recursion.
#include <cctype>

#include "qvcmnexpr/xcatalog.h"
#include "xcatalogindex.h"

namespace {

// Type texts nest by hand, not by data: a deeper one is surely a mistake,
// and the bound keeps reading them off the stack's limits.
constexpr int kMaxNesting = 64;

int fail(std::string& error, std::string message) {
    error = std::move(message);
    return -1;
}

std::u16string keyOf(const std::string& name) { return xcatalog::foldKey(QvUString::fromUtf8(name)); }

struct Shape {
    XType type;
    std::shared_ptr<XTypeConfig> config;
    int precision = 0;
    int scale = 0;
};

std::shared_ptr<XStructuralFeature> featureOf(const std::string& name, const Shape& shape) {
    const QvUString text = QvUString::fromUtf8(name);
    return std::make_shared<XStructuralFeature>(text.getBuffer(), shape.type, shape.config,
                                                shape.precision, shape.scale);
}

bool startsWith(std::string_view text, size_t pos, std::string_view word) {
    return text.substr(pos, word.size()) == word;
}

// Reads one type text. Struct names are looked up in `pending` (the batch
// being declared) before the catalog's store.
class ShapeReader {
public:
    using Pending = std::unordered_map<std::u16string, xcatalog::StructTypes::Entry>;

    ShapeReader(std::string_view text, const xcatalog::StructTypes& store, const Pending* pending)
        : m_text(text), m_store(store), m_pending(pending) {}

    int read(Shape& out, std::string& error) {
        if (readType(out, 0, error) != 0) return -1;
        skipSpaces();
        if (m_pos != m_text.size())
            return fail(error, "unexpected \"" + std::string(m_text.substr(m_pos)) + "\" after the type");
        return 0;
    }

private:
    void skipSpaces() {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
    }

    int expect(char c, std::string& error) {
        skipSpaces();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return 0;
        }
        return fail(error, std::string("expected \"") + c + "\" in \"" + std::string(m_text) + "\"");
    }

    int readType(Shape& out, int depth, std::string& error) {
        if (depth > kMaxNesting)
            return fail(error, "type nested more than " + std::to_string(kMaxNesting) +
                                   " levels deep; declare a named struct type instead");
        skipSpaces();
        if (startsWith(m_text, m_pos, "struct ")) return readStruct(out, error);
        if (startsWith(m_text, m_pos, "array<")) {
            m_pos += 6;
            Shape element;
            if (readType(element, depth + 1, error) != 0 || expect('>', error) != 0) return -1;
            out = {XTypeConfig::getArrayTypeId(),
                   std::make_shared<XArrayTypeConfig>(featureOf("element", element))};
            return 0;
        }
        if (startsWith(m_text, m_pos, "map<")) {
            m_pos += 4;
            Shape key;
            Shape value;
            if (readType(key, depth + 1, error) != 0 || expect(',', error) != 0 ||
                readType(value, depth + 1, error) != 0 || expect('>', error) != 0)
                return -1;
            out = {XTypeConfig::getMapTypeId(),
                   std::make_shared<XMapTypeConfig>(featureOf("key", key), featureOf("value", value))};
            return 0;
        }
        return readScalar(out, error);
    }

    int readStruct(Shape& out, std::string& error) {
        m_pos += 7;
        skipSpaces();
        const size_t begin = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] != ',' && m_text[m_pos] != '>' &&
               !std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
        const std::string name(m_text.substr(begin, m_pos - begin));
        if (name.empty()) return fail(error, "\"struct\" needs the name of a struct type");
        const std::u16string key = keyOf(name);
        const xcatalog::StructTypes::Entry* entry = nullptr;
        if (m_pending) {
            auto it = m_pending->find(key);
            if (it != m_pending->end()) entry = &it->second;
        }
        if (!entry) {
            auto it = m_store.byName.find(key);
            if (it != m_store.byName.end()) entry = &it->second;
        }
        if (!entry) return fail(error, "unknown struct type \"" + name + "\"");
        out = {XTypeConfig::getStructTypeId(), entry->config};
        return 0;
    }

    // A scalar ends at a "," or ">" outside parentheses: decimal(12,2).
    int readScalar(Shape& out, std::string& error) {
        const size_t begin = m_pos;
        int open = 0;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (open == 0 && (c == ',' || c == '>')) break;
            if (c == '(') ++open;
            if (c == ')') --open;
            ++m_pos;
        }
        std::string_view text = m_text.substr(begin, m_pos - begin);
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
        XCatalogType scalar;
        if (XCatalogType::parse(text, scalar, error) != 0 || scalar.check(error) != 0) return -1;
        out = {XType(static_cast<int>(scalar.hostType)), nullptr, scalar.precision, scalar.scale};
        return 0;
    }

    std::string_view m_text;
    const xcatalog::StructTypes& m_store;
    const Pending* m_pending;
    size_t m_pos = 0;
};

int registerKinds(std::string& error) {
    if (XTypeConfig::registerHierarchicalTypes() != 0)
        return fail(error, "no custom data type id is left for the hierarchical types");
    return 0;
}

int checkTypeName(const std::string& what, const std::string& name, std::string& error) {
    if (name.empty()) return fail(error, what + " has an empty name");
    for (unsigned char c : name) {
        if (c <= ' ' || c == 0x7F || (c < 0x80 && xcatalog::endsName(c)))
            return fail(error, what + " name \"" + name + "\" cannot be written in an expression");
    }
    return 0;
}

}  // namespace

bool XCatalog::isHierarchicalTypeText(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    return startsWith(text, 0, "struct ") || startsWith(text, 0, "array<") || startsWith(text, 0, "map<");
}

std::shared_ptr<XTypeConfig> XCatalog::resolveHierarchicalType(std::string_view text,
                                                               std::string& error) const {
    if (!isHierarchicalTypeText(text)) {
        fail(error, "\"" + std::string(text) + "\" is not a struct, array or map type");
        return nullptr;
    }
    if (registerKinds(error) != 0) return nullptr;
    Shape shape;
    if (ShapeReader(text, *m_index->structTypes, nullptr).read(shape, error) != 0) return nullptr;
    return shape.config;
}

int XCatalog::addStructTypes(std::vector<XCatalogStructType> types, std::string& error,
                             size_t* failedType, size_t* failedField) {
    auto blame = [&](size_t type, size_t field) {
        if (failedType) *failedType = type;
        if (failedField) *failedField = field;
        return -1;
    };
    if (registerKinds(error) != 0) return blame(0, std::string::npos);
    // Copies of a catalog share the store until one of them adds to it; the
    // structures themselves never change once declared.
    if (m_index->structTypes.use_count() > 1)
        m_index->structTypes = std::make_shared<xcatalog::StructTypes>(*m_index->structTypes);
    xcatalog::StructTypes& store = *m_index->structTypes;
    // Every name first, so that the types of one batch may refer to each
    // other in any order.
    ShapeReader::Pending pending;
    for (size_t i = 0; i < types.size(); ++i) {
        const XCatalogStructType& type = types[i];
        if (checkTypeName("a struct type", type.name, error) != 0) return blame(i, std::string::npos);
        if (!type.nameSpace.empty() && checkTypeName("the namespace of struct type " + type.name,
                                                     type.nameSpace, error) != 0)
            return blame(i, std::string::npos);
        if (type.fields.empty()) {
            fail(error, "struct type " + type.name + " has no fields");
            return blame(i, std::string::npos);
        }
        const std::u16string key = keyOf(type.name);
        if (store.byName.count(key) || pending.count(key)) {
            fail(error, "struct type " + type.name + " is declared twice");
            return blame(i, std::string::npos);
        }
        auto structure = std::make_shared<XComplexType>(QvUString::fromUtf8(type.name).getBuffer());
        auto config = XStructTypeConfig::referTo(structure.get());
        pending.emplace(key, xcatalog::StructTypes::Entry{structure, keyOf(type.nameSpace), config});
    }
    for (size_t i = 0; i < types.size(); ++i) {
        const XCatalogStructType& type = types[i];
        XComplexType& structure = *pending.at(keyOf(type.name)).structure;
        std::unordered_set<std::u16string> fieldNames;
        for (size_t f = 0; f < type.fields.size(); ++f) {
            const XCatalogField& field = type.fields[f];
            if (checkTypeName("a field of struct type " + type.name, field.name, error) != 0)
                return blame(i, f);
            if (!fieldNames.insert(keyOf(field.name)).second) {
                fail(error, "field " + field.name + " of struct type " + type.name + " is declared twice");
                return blame(i, f);
            }
            Shape shape;
            std::string why;
            if (ShapeReader(field.type, store, &pending).read(shape, why) != 0) {
                fail(error, "field " + field.name + " of struct type " + type.name + ": " + why);
                return blame(i, f);
            }
            structure.addFeature(std::make_unique<XStructuralFeature>(*featureOf(field.name, shape)));
        }
    }
    for (auto& [key, entry] : pending) store.byName.emplace(key, std::move(entry));
    return 0;
}

std::shared_ptr<XTypeConfig> XCatalog::findStructType(const unsigned short* nameSpace,
                                                      const unsigned short* name) const {
    if (!name) return nullptr;
    const auto& byName = m_index->structTypes->byName;
    auto it = byName.find(xcatalog::foldKey(QvUString(name)));
    if (it == byName.end()) return nullptr;
    const std::u16string wanted = nameSpace ? xcatalog::foldKey(QvUString(nameSpace)) : std::u16string();
    if (nameSpace && it->second.nameSpace != wanted) return nullptr;
    return it->second.config;
}
