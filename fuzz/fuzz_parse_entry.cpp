// Fuzzing entry: the first byte chooses the expression kind and the
// precision mode, the rest is UTF-16 text (two bytes per unit, an odd last
// byte dropped). The text is parsed with all three parse forms by one
// reused parser, so state left over from one parse is exercised by the next.
#include "fuzz_parse_entry.h"

#include <vector>

#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xtypeconfig.h"
#include "qvcmnexpr/qvcmnexprglobal.h"
#include "qvi18n.h"

namespace {

// Hierarchical ports, so that member references, subscripts and type
// references get past name resolution: S is a struct T { I int, N string,
// R struct T (itself), L array<struct T>, M map<string, int> }, L is an
// array<struct T> and M a map<string, int>; :TYPE.X.T names T.
struct FuzzTypes {
    std::shared_ptr<XComplexType> structure = std::make_shared<XComplexType>(QvUString("T").getBuffer());
    std::shared_ptr<XTypeConfig> self, list, map;

    FuzzTypes() {
        XTypeConfig::registerHierarchicalTypes();
        self = XStructTypeConfig::referTo(structure.get());
        auto feature = [](const char* name, XType type, std::shared_ptr<XTypeConfig> config, int precision) {
            return std::make_shared<XStructuralFeature>(QvUString(name).getBuffer(), type, std::move(config),
                                                        precision, 0);
        };
        list = std::make_shared<XArrayTypeConfig>(feature("e", XTypeConfig::getStructTypeId(), self, 0));
        map = std::make_shared<XMapTypeConfig>(feature("k", XType::getXdtString(), nullptr, 10),
                                               feature("v", XType(eXDT_INT), nullptr, 10));
        structure->addFeature(std::make_unique<XStructuralFeature>(*feature("I", XType(eXDT_INT), nullptr, 10)));
        structure->addFeature(std::make_unique<XStructuralFeature>(*feature("N", XType::getXdtString(), nullptr, 20)));
        structure->addFeature(std::make_unique<XStructuralFeature>(*feature("R", XTypeConfig::getStructTypeId(), self, 0)));
        structure->addFeature(std::make_unique<XStructuralFeature>(*feature("L", XTypeConfig::getArrayTypeId(), list, 0)));
        structure->addFeature(std::make_unique<XStructuralFeature>(*feature("M", XTypeConfig::getMapTypeId(), map, 0)));
    }
    const XTypeConfig* byName(const unsigned short* name, XType& type) const {
        const QvUString text(name);
        if (text.equalsASCII("S")) return type = XTypeConfig::getStructTypeId(), self.get();
        if (text.equalsASCII("L")) return type = XTypeConfig::getArrayTypeId(), list.get();
        if (text.equalsASCII("M")) return type = XTypeConfig::getMapTypeId(), map.get();
        return nullptr;
    }
};

// Knows one mapping variable, one workflow variable, one external function
// and the hierarchical ports above, so the lexer's context paths and the
// validator's hierarchical paths are reached too.
class FuzzContext : public XParserContextNoSymbols {
public:
    explicit FuzzContext(int kind) { m_xpressionContext = kind; }

    int findPort(const unsigned short**, const unsigned short* name, XMetadataPort* md, QvUString&,
                 QvUString&) override {
        XType type;
        const XTypeConfig* config = types().byName(name, type);
        if (!config) return -1;
        md->setDataType(type);
        md->setTypeAttrs(config);
        return 0;
    }
    int findType(const unsigned short*, const unsigned short* name2, XNode* node, QvUString&,
                 QvUString&) override {
        if (!name2 || !QvUString(name2).equalsASCII("T")) return -1;
        if (node) node->setTypeConfig(types().self.get());
        return 0;
    }

    int containsValidTokenMapVar(const QvUString& text, size_t pos, size_t& length) override {
        return matches(text, pos, "$$V", length);
    }
    int containsValidTokenWflowVar(const QvUString& text, size_t pos, size_t& length,
                                   int& preDefined) override {
        preDefined = 1;
        return matches(text, pos, "$W", length);
    }
    int containsValidExtFunc(const QvUString& name) override { return name.equalsASCII("EXTF"); }

private:
    static const FuzzTypes& types() {
        static const FuzzTypes kTypes;
        return kTypes;
    }
    static int matches(const QvUString& text, size_t pos, const char* name, size_t& length) {
        size_t n = 0;
        while (name[n]) {
            if (pos + n >= text.length() || text[pos + n] != static_cast<unsigned char>(name[n])) return 0;
            ++n;
        }
        length = n;
        return 1;
    }
};

std::vector<unsigned short> toText(const uint8_t* data, size_t size) {
    std::vector<unsigned short> text;
    text.reserve(size / 2 + 1);
    for (size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<unsigned short>(data[i] | (data[i + 1] << 8)));
    text.push_back(0);
    return text;
}

}  // namespace

int qvFuzzParse(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int kind = 1 + (data[0] % 3);  // transformation, workflow or either
    QvCmnExprGlobal::changeHighPrecisionMode((data[0] >> 2) & 1);
    std::vector<unsigned short> text = toText(data + 1, size - 1);

    FuzzContext context(kind);
    XParser parser;
    parser.setParserContext(&context, 0);

    XTree* tree = nullptr;
    QvUString err, warn;
    parser.parse(text.data(), tree, err, warn, data[0] & 0x10, 1);
    delete tree;

    XParsedTree* parsed = nullptr;
    QvUString err2, warn2;
    parser.parse(text.data(), parsed, err2, warn2);
    delete parsed;

    ValidationResult vr;
    parser.parse(text.data(), parsed, vr);
    delete parsed;
    return 0;
}
