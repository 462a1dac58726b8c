// Shared by the validator's tests: a catalog with a port of every scalar
// type and a mapping variable of every aggregation type, one call that
// parses and validates a text under chosen settings, and a one-line
// description of a validated node ("INT op8 aug:- row const").
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "qvcmnexpr/xcatalogcontext.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xptree.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xvalidator.h"
#include "qvutils.h"
#include "xanswers.h"

namespace xvalidatetest {

using xtestsupport::answers;

// Ports: I int, BI bigint, F float, D18 dec18(9,2), D28 dec28(20,2),
// D38 dec38(38,6), S string(10), U unistring(12), DT date, BIN binary(16).
// Mapping variables $$NONE, $$ANY, $$COUNT, $$MAX, $$MIN (by aggregation
// type) and $$INAGG (max, in an aggregation context); workflow variable
// $$WF (int).
inline const char* kCatalog = R"json({
  "kind": "transformation",
  "ports": [
    {"name": "I", "type": "int"},
    {"name": "BI", "type": "bigint"},
    {"name": "F", "type": "float"},
    {"name": "D18", "type": "dec18(9,2)"},
    {"name": "D28", "type": "dec28(20,2)"},
    {"name": "D38", "type": "dec38(38,6)"},
    {"name": "S", "type": "string(10)"},
    {"name": "U", "type": "unistring(12)"},
    {"name": "DT", "type": "date"},
    {"name": "BIN", "type": "binary(16)"},
    {"name": "I", "qualifiers": ["SQ"], "type": "bigint"}
  ],
  "mappingVariables": [
    {"name": "$$NONE", "type": "int", "aggregation": "none"},
    {"name": "$$ANY", "type": "int", "aggregation": "any"},
    {"name": "$$COUNT", "type": "int", "aggregation": "count"},
    {"name": "$$MAX", "type": "int", "aggregation": "max"},
    {"name": "$$MIN", "type": "int", "aggregation": "min"},
    {"name": "$$INAGG", "type": "int", "aggregation": "max", "aggregationContext": true}
  ],
  "workflowVariables": [ {"name": "$$WF", "type": "int"} ]
})json";

struct Settings { int highPrecision = 1; int relax = 0; int allowNull = 0; };

struct Outcome {
    Outcome() = default;
    explicit Outcome(const std::string& text, const Settings& s = {}, XParserContext* context = nullptr);
    int status = 0;
    std::string errors, warnings;
    size_t begin = 0, end = 0;
    ValidationResult result;
    EXValidationFailureCase failure{};  // the validator's failure record
    int failureChild = 0;
    std::unique_ptr<XParsedTree> tree;
    QvUString source;  // the text the tree points into: kept as long as the tree
    XNode* root() const { return tree ? tree->getTree()->getRoot() : nullptr; }
};

// A catalog from JSON text; a test's catalog that does not load is a
// failure of that test (and null).
inline std::shared_ptr<XCatalog> loadCatalog(const std::string& json, const char* name) {
    auto c = std::make_shared<XCatalog>();
    std::string error;
    if (XCatalog::loadJsonText(json, name, *c, error) == 0) return c;
    ADD_FAILURE() << error;
    return nullptr;
}

inline std::shared_ptr<XCatalog> catalog() { static auto loaded = loadCatalog(kCatalog, "validator"); return loaded; }

// A catalog context whose switches the test sets.
struct Context : XCatalogContext {
    explicit Context(const Settings& s) : XCatalogContext(catalog()), settings(s) {}
    int isRelaxValidationSet() override { return settings.relax; }
    int isAllowNullTypeSet() override { return settings.allowNull; }
    Settings settings;
};

// Parses and validates `text`. High precision is a process setting, put back
// afterwards; the decimal maximum is fixed by the first
// setting a process makes (usesDecMax says whether it is s.decMax).
inline int usesDecMax(int precision) { return XType::initDecMax(precision), XType::getDecMaxPrecision() == precision; }

inline void run(const std::string& text, const Settings& s, Outcome& out, XParserContext* context = nullptr) {
    const int mode = XType::getIsHighPrecisionMode();  // changed only when it differs: threads share it
    if (mode != s.highPrecision) XType::changeIsHighPrecisionMode(s.highPrecision);
    Context own(s);
    XParser parser;
    parser.setParserContext(context ? context : &own, 0);
    out.source = QvUString::fromUtf8(text);
    XParsedTree* tree = nullptr;
    out.status = parser.parse(out.source.getBuffer(), tree, out.result);
    out.tree.reset(tree);
    out.errors = out.result.errors.toUtf8(), out.warnings = out.result.warnings.toUtf8();
    out.begin = out.result.errorBegin, out.end = out.result.errorEnd;
    const XValidator* validator = parser.getValidator();
    out.failure = validator->upg_getFailureCase(), out.failureChild = validator->upg_getFailureChildIndex();
    if (mode != s.highPrecision) XType::changeIsHighPrecisionMode(mode);
}

inline Outcome::Outcome(const std::string& text, const Settings& s, XParserContext* c) { run(text, s, *this, c); }

// With relaxed validation the parser keeps the tree as the grammar built it;
// the validator's own relaxed paths are reached by running it on that tree,
// over `checking` (by default the parsing context). status: -99 when the
// text does not even parse.
struct Relaxed {
    Relaxed(const std::string& utf8, XParserContext& ctx, XParserContext* checking = nullptr, int refRecordingOff = 0)
        : text(QvUString::fromUtf8(utf8)) {
        XParser parser;
        parser.setParserContext(&ctx, 0);
        if (parser.parse(text.getBuffer(), tree, err, warn, 0, 1) != 0 || !tree) return;
        XValidator validator(checking ? checking : &ctx);
        validator.setRefRecordingOff(refRecordingOff);
        status = validator.visitSyntaxTree(tree, nullptr, nullptr);
    }
    ~Relaxed() { delete tree; }

    QvUString text, err, warn;
    XTree* tree = nullptr;
    int status = -99;
};

// "eXDT_INT" -> "INT" ("row" for "eXAL_ROW" in lower case).
inline std::string shortName(const char* name, int lowerCase = 0) {
    std::string s = name ? name : "?";
    s = s.substr(s.find('_') == std::string::npos ? 0 : s.find('_') + 1);
    for (char& c : s) c = static_cast<char>(lowerCase && c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

// "<type> op<variant> aug:<type or -> <level> <const|var>"
inline std::string describe(const XNode* node) {
    const XType aug = XValidator::getNodeAugType(node);
    return shortName(node->getDataType().toString()) + " op" +
           std::to_string(XValidator::getNodeOp(node).toInteger()) + " aug:" +
           (aug.isValid() ? shortName(aug.toString()) : std::string("-")) + " " +
           shortName(XValidator::getNodeAggLevel(node).toString(), 1) + " " +
           (XValidator::isNodeConstnessTrue(node) ? "const" : "var");
}

// The catalogue text of message `id` as it appears in a report line.
inline std::string textOf(int id) { return qvGetMsg(id).toUtf8(); }

}  // namespace xvalidatetest
