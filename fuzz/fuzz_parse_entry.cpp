// Fuzzing entry: the first byte chooses the settings, the rest is the text.
// The text is parsed with all three parse forms by one reused parser, so
// state left over from one parse (the widget aggregation level among it) is
// exercised by the next.
//
// The context knows ports, mapping and workflow variables of every scalar
// type and a few it should not be trusted about (types no evaluator knows,
// a hierarchical type without configuration, lookups that fail with and
// without a text, warnings on success), so every tree the parser builds goes
// through the validator's reference paths as well as its operator rows.
//
// Settings byte:
//   % 3     expression kind: transformation, workflow or either
//   0x04    high-precision mode
//   0x08    the text is one byte per unit (Latin-1) instead of UTF-16
//   0x10    keep the walk list of the first parse
//   0x20    relax validation: parse skips the validator, which is then run
//           on the first parse's tree directly
//   0x40    NULL may stay a type of its own
//   0x80    decimal maximum 38 instead of 28
#include "fuzz_parse_entry.h"

#include <climits>
#include <memory>
#include <cstdlib>
#include <string>
#include <vector>

#include "qvcmnexpr/qvcmnexprglobal.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xtype.h"
#include "qvcmnexpr/xtypeconfig.h"
#include "qvcmnexpr/xvalidator.h"
#include "qvi18n.h"
#include "qvutils.h"

namespace {

constexpr int kCustomPlain = 1022;
constexpr int kCustomDecimal = 1023;
constexpr int kStruct = 1027;

// The types a name can ask for by one letter: every scalar type, and the
// values a careless context might leave in a record.
struct TypeLetter {
    char letter;
    int type;
    int numCharsMax;
    int scale;
};

constexpr TypeLetter kTypeLetters[] = {
    {'I', eXDT_INT, 10, 0},          {'L', eXDT_BIGINT, 19, 0},
    {'F', eXDT_FLOAT, 15, 0},        {'1', eXDT_DEC18, 15, 2},
    {'2', eXDT_DEC28, 28, 4},        {'3', eXDT_DEC38, 38, 6},
    {'S', eXDT_STRING, 10, 0},       {'U', eXDT_UNISTRING, 12, 0},
    {'T', eXDT_DATE, 29, 9},         {'B', eXDT_BINARY, 8, 0},
    {'O', eXDT_BOOLEAN, 1, 0},       {'N', eXDT_NULL, 0, 0},
    {'P', eXDT_DEC28_FIXED, 20, 3},  {'C', kCustomPlain, 16, 0},
    {'D', kCustomDecimal, 38, 2},    {'H', kStruct, 0, 0},
    {'Z', 0, 0, 0},                  {'X', eXMINT_UNINIT, 0, 0},
    {'9', 9999, 5, 0},               {'M', eXMINT_INVALID, 0, 0},
};

const TypeLetter* typeOf(unsigned short letter) {
    if (letter >= 'a' && letter <= 'z') letter = static_cast<unsigned short>(letter - 'a' + 'A');
    for (const TypeLetter& row : kTypeLetters) {
        if (row.letter == letter) return &row;
    }
    return nullptr;
}

// Fills a record from a type letter; a lower-case letter leaves the
// character count and scale unset.
void fillRecord(XMetadata* md, unsigned short letter, const TypeLetter& row) {
    md->setDataType(XType(row.type));
    if (letter >= 'a' && letter <= 'z') return;
    md->setNumCharsMax(row.numCharsMax);
    md->setScale(row.scale);
}

size_t unitLength(const unsigned short* name) {
    size_t n = 0;
    while (name && name[n]) ++n;
    return n;
}

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
        if (text.equalsASCII("YS")) return type = XTypeConfig::getStructTypeId(), self.get();
        if (text.equalsASCII("YL")) return type = XTypeConfig::getArrayTypeId(), list.get();
        if (text.equalsASCII("YM")) return type = XTypeConfig::getMapTypeId(), map.get();
        return nullptr;
    }
};

// Ports: a type letter, then at most one modifier:
//   K constant port; E fails with an error text; Q fails with no text;
//   W resolves with a warning text; R resolves with an error text;
//   G declares the longest text there is.
// Mapping variables: "$$", an aggregation type (0-4, A: in an aggregation
// context, X: not set), a type letter. Workflow variables: "$", a type letter.
// Calls (:LKP., :SP., :EXT. and :UDF. names): the result's type letter, or
// V for none, then one type letter per declared argument; a name that is
// not all type letters is not declared, and "E" as the result fails with a
// text. EXTF is an external function that takes whatever it is given,
// returns FLOAT and is an aggregate; the old LOOKUP form declares its
// arguments as given.
class FuzzContext : public XParserContextNoSymbols {
public:
    FuzzContext(int kind, int relax, int allowNull) : m_relax(relax), m_allowNull(allowNull) {
        m_xpressionContext = kind;
    }

    int isRelaxValidationSet() override { return m_relax; }
    int isAllowNullTypeSet() override { return m_allowNull; }
    int isExtAggFunc(const QvUString& name) override { return name.equalsASCII("EXTF"); }

    int containsValidTokenMapVar(const QvUString& text, size_t pos, size_t& length) override {
        if (unitAt(text, pos) != '$' || unitAt(text, pos + 1) != '$') return 0;
        if (!isAggregation(unitAt(text, pos + 2)) || !typeOf(unitAt(text, pos + 3))) return 0;
        length = 4;
        return 1;
    }
    int containsValidTokenWflowVar(const QvUString& text, size_t pos, size_t& length,
                                   int& preDefined) override {
        if (unitAt(text, pos) != '$' || !typeOf(unitAt(text, pos + 1))) return 0;
        preDefined = unitAt(text, pos + 1) >= 'a';
        length = 2;
        return 1;
    }
    int containsValidExtFunc(const QvUString& name) override { return name.equalsASCII("EXTF"); }

    int findPort(const unsigned short**, const unsigned short* name, XMetadataPort* md,
                 QvUString& err, QvUString& warn) override {
        XType hierarchical;
        if (const XTypeConfig* config = types().byName(name, hierarchical)) {
            md->setDataType(hierarchical);
            md->setTypeAttrs(config);
            return 0;
        }
        const size_t n = unitLength(name);
        const TypeLetter* row = n >= 1 && n <= 2 ? typeOf(name[0]) : nullptr;
        if (!row) return -1;
        switch (n == 2 ? name[1] : 0) {
            case 0: break;
            case 'K': md->setIsConst(1); break;
            case 'E': err = QvUString("no such port here"); return -1;
            case 'Q': return -1;
            case 'W': warn = QvUString("port is deprecated"); break;
            case 'R': err = QvUString("resolved, but complained"); break;
            case 'G': break;
            default: return -1;
        }
        fillRecord(md, name[0], *row);
        if (n == 2 && name[1] == 'G') md->setNumCharsMax(INT_MAX);
        md->setPortId(7);
        return 0;
    }
    int findMapVar(const unsigned short* name, XMetadataMapVar* md) override {
        while (name && *name == '$') ++name;
        const TypeLetter* row = unitLength(name) == 2 ? typeOf(name[1]) : nullptr;
        if (!row || !isAggregation(name[0])) return -1;
        fillRecord(md, name[1], *row);
        if (name[0] == 'A' || name[0] == 'a') {
            md->setMapVarType(eXMVT_MAX);
            md->setIsAggContext(1);
        } else if (name[0] >= '0' && name[0] <= '4') {
            md->setMapVarType(static_cast<EXMapVarType>(name[0] - '0'));
        }
        return 0;
    }
    int findWidget(const unsigned short**, const unsigned short* name, XMetadata** args,
                   XMetadataWidget* md, QvUString& err, QvUString&) override {
        if (unitLength(name) == 0) return declareAsGiven(args, md, nullptr);
        return declareByName(name, args, md, err);
    }
    int findExtFunc(const unsigned short* name, XMetadata** args, int isExtFunc, XMetadataWidget* md,
                    int& isConst, QvUString& err, QvUString&) override {
        if (isExtFunc && name && QvUString(name).equalsASCII("EXTF")) {
            isConst = 1;
            return declareAsGiven(args, md, &isConst);
        }
        isConst = 0;
        return declareByName(name, args, md, err);
    }
    int findWorkflowVar(const unsigned short* name, XMetadataWorkflowVar* md) override {
        while (name && *name == '$') ++name;
        const TypeLetter* row = unitLength(name) == 1 ? typeOf(name[0]) : nullptr;
        if (!row) return -1;
        fillRecord(md, name[0], *row);
        return 0;
    }

    int findType(const unsigned short*, const unsigned short* name2, XNode* node, QvUString&,
                 QvUString&) override {
        if (!name2 || !QvUString(name2).equalsASCII("T")) return -1;
        if (node) node->setTypeConfig(types().self.get());
        return 0;
    }

private:
    static const FuzzTypes& types() {
        static const FuzzTypes kTypes;
        return kTypes;
    }
    static size_t argCount(XMetadata** args) {
        size_t n = 0;
        while (args && args[n]) ++n;
        return n;
    }
    // Each argument declared with the type it has; FLOAT returned.
    static int declareAsGiven(XMetadata** args, XMetadataWidget* md, int* isConst) {
        const size_t n = argCount(args);
        if (md->getNumArgs() < 0 && md->allocateArgMetadata(static_cast<int>(n)) != 0) return -1;
        for (size_t i = 0; i < n; ++i) {
            XMetadataPort* arg = md->getArgMetadata(static_cast<int>(i));
            arg->setDataType(args[i]->getDataType());
            arg->setNumCharsMax(args[i]->getNumCharsMax());
            arg->setScale(args[i]->getScale());
            if (isConst && !args[i]->isConst()) *isConst = 0;
        }
        fillRecord(md->getRetPortMetadata(), 'F', *typeOf('F'));
        md->markRetPortMetadataSet();
        return 0;
    }
    static int declareByName(const unsigned short* name, XMetadata** args, XMetadataWidget* md,
                             QvUString& err) {
        const size_t n = unitLength(name);
        if (n == 0 || (name[0] != 'V' && name[0] != 'E' && !typeOf(name[0]))) return -1;
        if (name[0] == 'E') {
            err = QvUString("no such call here");
            return -1;
        }
        for (size_t i = 1; i < n; ++i) {
            if (!typeOf(name[i])) return -1;
        }
        if (argCount(args) != n - 1) return -1;
        if (md->getNumArgs() < 0 && md->allocateArgMetadata(static_cast<int>(n - 1)) != 0) return -1;
        for (size_t i = 1; i < n; ++i) fillRecord(md->getArgMetadata(static_cast<int>(i - 1)), name[i], *typeOf(name[i]));
        if (name[0] != 'V') {
            fillRecord(md->getRetPortMetadata(), name[0], *typeOf(name[0]));
            md->markRetPortMetadataSet();
        }
        return 0;
    }

    static unsigned short unitAt(const QvUString& text, size_t pos) {
        return pos < text.length() ? text[pos] : 0;
    }
    static bool isAggregation(unsigned short c) {
        return (c >= '0' && c <= '4') || c == 'A' || c == 'a' || c == 'X' || c == 'x';
    }

    int m_relax;
    int m_allowNull;
};

// The custom types the letters C, D and H name, registered once.
void registerCustomTypes() {
    static const int done = [] {
        const std::string structName = std::string(gsQvTypeNamespace) + "datatype.htype.struct";
        const struct {
            const char* name;
            unsigned int traits;
            int id;
        } kTypes[] = {
            {"fuzz.plain", 0, kCustomPlain},
            {"fuzz.decimal", eQvTRT_NUMERIC | eQvTRT_DECIMAL | eQvTRT_COMPARABLE, kCustomDecimal},
            {structName.c_str(), eQvTRT_VECTOR, kStruct},
        };
        unsigned int ids[3];
        int n = 0;
        for (const auto& type : kTypes) {
            QvCustomTypeDef def;
            def.name = type.name;
            def.traits = type.traits;
            def.valueSize = 16;
            def.textWidth = 40;
            def.precision = 38;
            def.scale = 2;
            if (CustomSDKMgr::getInstance()->registerCustomType(def, type.id) == type.id) ids[n++] = type.id;
        }
        XType::initCustomTypeWidthMap(ids, n);
        XType::initCustomTypeNameIDMap(ids, n);
        XType::initCustomDecMax();
        return 1;
    }();
    (void)done;
}

// What every parse must honour, else the input is a finding: a failure says
// why, and a success hands back a root of a type the caller can use (the
// fixed decimals included: a call's declared result reaches the caller as
// declared).
void expectOutcome(int status, const XTree* tree, const QvUString& err, XValidator* validator) {
    validator->upg_resetFailureCase();
    if (status != 0 && err.isEmpty()) std::abort();
    if (status != 0 || !tree) return;
    const XType type = tree->getRoot()->getDataType();
    const int fixedDecimal = type.toInteger() == eXDT_DEC18_FIXED ||
                             type.toInteger() == eXDT_DEC28_FIXED || type.toInteger() == eXDT_DEC38_FIXED;
    if (!type.isValidDataTypeForValidation(0) && !type.isValidExternalDataType(0) && !fixedDecimal) {
        std::abort();
    }
}

std::vector<unsigned short> toText(const uint8_t* data, size_t size, int oneBytePerUnit) {
    std::vector<unsigned short> text;
    text.reserve(size + 1);
    if (oneBytePerUnit) {
        text.assign(data, data + size);
    } else {
        for (size_t i = 0; i + 1 < size; i += 2)
            text.push_back(static_cast<unsigned short>(data[i] | (data[i + 1] << 8)));
    }
    text.push_back(0);
    return text;
}

}  // namespace

int qvFuzzParse(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    registerCustomTypes();
    const uint8_t settings = data[0];
    const int kind = 1 + (settings % 3);
    const int relax = (settings & 0x20) != 0;
    QvCmnExprGlobal::changeHighPrecisionMode((settings >> 2) & 1);
    // The maximum is fixed by the first setting of a process; a fuzzing
    // process plays many processes in a row.
    XType::cls_xdtDecMax = XType();
    XType::initDecMax((settings & 0x80) ? 38 : 28);
    std::vector<unsigned short> text = toText(data + 1, size - 1, settings & 0x08);

    FuzzContext context(kind, relax, (settings & 0x40) != 0);
    XParser parser;
    parser.setParserContext(&context, 0);
    XValidator* validator = parser.getValidator();

    XTree* tree = nullptr;
    QvUString err, warn;
    int status = parser.parse(text.data(), tree, err, warn, settings & 0x10, 1);
    if (status == 0 && tree && relax) {
        status = validator->visitSyntaxTree(tree, nullptr, nullptr);
    }
    expectOutcome(status, tree, err, validator);
    delete tree;

    XParsedTree* parsed = nullptr;
    QvUString err2, warn2;
    status = parser.parse(text.data(), parsed, err2, warn2);
    if (!relax) expectOutcome(status, parsed ? parsed->getTree() : nullptr, err2, validator);
    delete parsed;

    ValidationResult vr;
    status = parser.parse(text.data(), parsed, vr);
    if (!relax) expectOutcome(status, parsed ? parsed->getTree() : nullptr, vr.errors, validator);
    delete parsed;
    return 0;
}
