// xexpr parse: parses (and, as far as the library validates, checks) each
// expression and reports its result type or the library's messages.
#include <memory>

#include "qvcmnexpr/xptree.h"
#include "xexpr_session.h"

namespace xexpr {

namespace {

// Whether the tree's aggregation level has been worked out: an unvalidated
// tree answers "has group functions" for want of a row level, which would
// call every expression an aggregate.
bool aggregationKnown(XParsedTree& parsed) {
    return XParser::isAggLevelValid(XParser::getTreeAggLevel(parsed.getTree())) != 0;
}

void describeResult(XParsedTree& parsed, const ValidationResult& vr, Outcome& outcome) {
    const bool aggregate = vr.hasGroupFunctions && aggregationKnown(parsed);
    SColMetadata scratch;
    QvRef ref;
    const QvMetadataBase* md = XParser::getResultMetaData(parsed, &scratch, &ref);
    std::string type = typeText(md->getCDataTypeV(), md->getLengthV(), md->getScaleV());
    outcome.summary = type.empty() ? "ok" : "ok: " + type;
    if (vr.isConstant) outcome.summary += ", constant";
    if (aggregate) outcome.summary += ", aggregate";
    if (vr.hasWindowFunc) outcome.summary += ", window function";
    outcome.details["result"] = {
        {"type", type.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(type)},
        {"dataType", static_cast<int>(md->getCDataTypeV())},
        {"precision", md->getLengthV()},
        {"scale", md->getScaleV()},
        {"constant", vr.isConstant != 0},
        {"aggregate", aggregate},
        {"windowFunction", vr.hasWindowFunc != 0},
    };
}

Outcome parseOne(XParser& parser, const Expression& expression) {
    QvUString text;
    std::unique_ptr<XParsedTree> owned;
    ValidationResult vr;
    Outcome outcome = parseExpression(parser, expression, text, owned, vr);
    if (outcome.valid) describeResult(*owned, vr, outcome);
    return outcome;
}

}  // namespace

int runParse(const Invocation& invocation) {
    return runEachExpression(invocation, &parseOne);
}

}  // namespace xexpr
