// xexpr parse and xexpr check: both run the library's whole front door
// (syntax and validation) on each expression and exit alike. parse is the
// terse form for scripts, one "ok" line with the result type per valid
// expression; check describes each expression for a reader: the result
// type with its precision and scale, the aggregation level, constness and
// every warning, or the messages with the offending text underlined.
// Their JSON objects carry the same members.
#include <algorithm>
#include <memory>
#include <vector>

#include "qvcmnexpr/xcatalog.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xptree.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xtypeconfig.h"
#include "qvutils.h"
#include "xexpr_session.h"

namespace xexpr {

namespace {

using Json = nlohmann::ordered_json;

// What the library decided about a valid expression's result.
struct ResultFacts {
    TypeFacts type;
    unsigned int dataType = 0;  // the host's number
    std::string level;  // empty: not validated (--relax)
    bool constant = false;
    bool aggregate = false;
    bool windowFunction = false;
};

// A hierarchical type as a catalog writes it: "array<struct Address>".
// Named structs end the descent, so only arrays and maps nest here.
std::string hierarchicalTypeName(const XTypeConfig* config) {
    if (!config) return "";
    if (config->isStructType()) {
        const XComplexType* structure = static_cast<const XStructTypeConfig*>(config)->getstructure();
        return "struct " + (structure ? structure->getName().toUtf8() : std::string());
    }
    auto nameOf = [](const XStructuralFeature* feature) -> std::string {
        if (!feature) return "?";
        if (feature->getTypeConfig()) return hierarchicalTypeName(feature->getTypeConfig());
        const XCatalogType type{static_cast<unsigned int>(feature->getType().toInteger()),
                                feature->getPrecision(), feature->getScale()};
        return type.toString();
    };
    if (config->isArrayType()) {
        return "array<" + nameOf(static_cast<const XArrayTypeConfig*>(config)->getArrayDefinition()) + ">";
    }
    const auto* map = static_cast<const XMapTypeConfig*>(config);
    return "map<" + nameOf(map->getKeyDefinition()) + ", " + nameOf(map->getValueDefinition()) + ">";
}

ResultFacts resultFacts(XParsedTree& parsed, const ValidationResult& vr) {
    ResultFacts facts;
    SColMetadata scratch;
    QvRef ref;
    const QvMetadataBase* md = XParser::getResultMetaData(parsed, &scratch, &ref);
    facts.dataType = md->getCDataTypeV();
    facts.type = typeFacts(facts.dataType, md->getLengthV(), md->getScaleV());
    if (XType(static_cast<int>(facts.dataType)).isHType() && md->getTypeAttrsV()) {
        facts.type = {hierarchicalTypeName(static_cast<const XTypeConfig*>(md->getTypeAttrsV())), {}, {}};
    }
    facts.level = aggLevelName(XParser::getTreeAggLevel(parsed.getTree()));
    facts.constant = vr.isConstant != 0;
    // An unvalidated tree answers "has group functions" for want of a row
    // level, which would call every expression an aggregate.
    facts.aggregate = vr.hasGroupFunctions != 0 && !facts.level.empty();
    facts.windowFunction = vr.hasWindowFunc != 0;
    return facts;
}

Json optionalNumber(const std::optional<int>& value) { return value ? Json(*value) : Json(); }

Json resultMember(const ResultFacts& facts) {
    return {
        {"type", facts.type.name.empty() ? Json() : Json(facts.type.name)},
        {"dataType", facts.dataType},
        {"precision", optionalNumber(facts.type.precision)},
        {"scale", optionalNumber(facts.type.scale)},
        {"aggLevel", facts.level.empty() ? Json() : Json(facts.level)},
        {"constant", facts.constant},
        {"aggregate", facts.aggregate},
        {"windowFunction", facts.windowFunction},
    };
}

std::string terseSummary(const ResultFacts& facts) {
    std::string summary = facts.type.name.empty() ? "ok" : "ok: " + facts.type.name;
    if (facts.constant) summary += ", constant";
    if (facts.aggregate) summary += ", aggregate";
    if (facts.windowFunction) summary += ", window function";
    return summary;
}

std::string numberOrUnknown(const char* what, const std::optional<int>& value) {
    return std::string(what) + " " + (value ? std::to_string(*value) : "unknown");
}

std::string fullSummary(const ResultFacts& facts) {
    if (facts.level.empty()) return "ok: syntax only, not validated (--relax)";
    std::string summary = "ok: " + (facts.type.name.empty() ? "untyped" : facts.type.name);
    // Sizes mean nothing for NULL, BOOLEAN and custom results.
    if (facts.type.precision || facts.type.scale) {
        summary += ", " + numberOrUnknown("precision", facts.type.precision) + ", " +
                   numberOrUnknown("scale", facts.type.scale);
    }
    summary += ", " + facts.level + " level";
    summary += facts.constant ? ", constant" : ", not constant";
    if (facts.windowFunction) summary += ", window function";
    return summary;
}

// The expression, then carets under [begin, end) of it (one caret at the
// end for an empty span); positions count UTF-16 units, columns characters,
// and a tab in the text is a tab in the caret line so both stay aligned.
std::vector<std::string> underline(const std::string& text, size_t begin, size_t end) {
    std::string marks;
    size_t unit = 0;
    bool marked = false;
    for (size_t i = 0; i < text.size() && unit < std::max(end, begin + 1);) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const size_t bytes = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (unit >= begin) {
            marks += '^';
            marked = true;
        } else {
            marks += lead == '\t' ? '\t' : ' ';
        }
        unit += bytes == 4 ? 2 : 1;
        i += bytes;
    }
    if (!marked) marks += '^';  // the error lies at the very end
    return {"    " + text, "    " + marks};
}

// What a called object declared it returns: the context alone knows, so a
// reader of the expression learns it only here. Every call of the tree, in
// the order of the text.
struct DeclaredCall {
    std::string name;
    std::string result;
};

std::string callName(const XNodeWidget* call) {
    if (!call->getTokName()) return "LOOKUP";
    std::string name;
    for (const XTokName* part = call->getTokName(); part; part = part->getNext())
        name += (name.empty() ? "" : ".") + part->getName().toUtf8();
    return name;
}

// The declared return value, else the output argument's declared type (the
// call's node may since have been typed by its parent: a call without a value
// is NULL, which an operator retypes); empty when the call declares neither.
std::string declaredResult(const XNodeWidget* call) {
    const XMetadata* record = nullptr;
    const auto* widget = static_cast<const XMetadataWidget*>(call->getMetadataConstPtr());
    if (widget->isRetPortMetadataSet()) record = widget->getRetPortMetadata();
    for (int i = 0; !record && i < call->getNumChildren(); ++i) {
        const XNode* argument = call->getChild(i);
        if (argument && argument->getId() == eXNI_PROC_RESULT) record = argument->getMetadataConstPtr();
    }
    if (!record) return "";
    return typeFacts(record->getCDataTypeV(), record->getLengthV(), record->getScaleV()).name;
}

void collectCalls(const XNode* node, std::vector<DeclaredCall>& calls) {
    if (node->isWidgetNode()) {
        const auto* call = static_cast<const XNodeWidget*>(node);
        calls.push_back({callName(call), declaredResult(call)});
    }
    for (int i = 0; i < node->getNumChildrenB(); ++i) {
        if (const XNode* child = static_cast<const XNodeParent*>(node)->getChild(i))
            collectCalls(child, calls);
    }
}

void describeCalls(XParsedTree& parsed, Outcome& outcome) {
    std::vector<DeclaredCall> calls;
    collectCalls(parsed.getTree()->getRoot(), calls);
    for (const DeclaredCall& call : calls) {
        outcome.lines.push_back("    call " + call.name + " declares " +
                                (call.result.empty() ? "no return value" : call.result));
        outcome.details["calls"].push_back(
            {{"name", call.name}, {"result", call.result.empty() ? Json() : Json(call.result)}});
    }
}

bool isNotValidatedYet(const Outcome& outcome) {
    const std::string message = qvGetMsg(eQvMSG_NOT_VALIDATED_YET).toUtf8();
    for (const std::string& line : outcome.errors) {
        if (line.find(message) != std::string::npos) return true;
    }
    return false;
}

Outcome parseOne(XParser& parser, const Expression& expression) {
    QvUString text;
    std::unique_ptr<XParsedTree> owned;
    ValidationResult vr;
    Outcome outcome = parseExpression(parser, expression, text, owned, vr);
    if (!outcome.valid) return outcome;
    const ResultFacts facts = resultFacts(*owned, vr);
    outcome.summary = terseSummary(facts);
    outcome.details["result"] = resultMember(facts);
    return outcome;
}

Outcome checkOne(XParser& parser, const Expression& expression) {
    QvUString text;
    std::unique_ptr<XParsedTree> owned;
    ValidationResult vr;
    Outcome outcome = parseExpression(parser, expression, text, owned, vr);
    if (!outcome.valid) {
        outcome.details["notValidatedYet"] = isNotValidatedYet(outcome);
        if (outcome.errorBegin <= outcome.errorEnd && !outcome.errors.empty())
            outcome.lines = underline(expression.text, outcome.errorBegin, outcome.errorEnd);
        return outcome;
    }
    const ResultFacts facts = resultFacts(*owned, vr);
    outcome.summary = fullSummary(facts);
    outcome.details["result"] = resultMember(facts);
    describeCalls(*owned, outcome);
    return outcome;
}

}  // namespace

int runParse(const Invocation& invocation) {
    return runEachExpression(invocation, &parseOne);
}

int runCheck(const Invocation& invocation) {
    return runEachExpression(invocation, &checkOne);
}

}  // namespace xexpr
