// xexpr parse: parses (and, as far as the library validates, checks) each
// expression and reports its result type or the library's messages.
#include <memory>

#include "qvcmnexpr/xptree.h"
#include "xexpr_session.h"

namespace xexpr {

namespace {

void describeResult(XParsedTree& parsed, const ValidationResult& vr, Outcome& outcome) {
    SColMetadata scratch;
    QvRef ref;
    const QvMetadataBase* md = XParser::getResultMetaData(parsed, &scratch, &ref);
    std::string type = typeText(md->getCDataTypeV(), md->getLengthV(), md->getScaleV());
    outcome.summary = type.empty() ? "ok" : "ok: " + type;
    if (vr.isConstant) outcome.summary += ", constant";
    if (vr.hasGroupFunctions) outcome.summary += ", aggregate";
    if (vr.hasWindowFunc) outcome.summary += ", window function";
    outcome.details["result"] = {
        {"type", type.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(type)},
        {"dataType", static_cast<int>(md->getCDataTypeV())},
        {"precision", md->getLengthV()},
        {"scale", md->getScaleV()},
        {"constant", vr.isConstant != 0},
        {"aggregate", vr.hasGroupFunctions != 0},
        {"windowFunction", vr.hasWindowFunc != 0},
    };
}

Outcome parseOne(XParser& parser, const Expression& expression) {
    QvUString text = QvUString::fromUtf8(expression.text);
    XParsedTree* result = nullptr;
    ValidationResult vr;
    Outcome outcome;
    outcome.status = parser.parse(text.getBuffer(), result, vr);
    std::unique_ptr<XParsedTree> owned(result);
    outcome.valid = outcome.status == 0 && vr.valid && owned;
    outcome.errors = messageLines(vr.errors.toUtf8());
    outcome.warnings = messageLines(vr.warnings.toUtf8());
    outcome.errorBegin = vr.errorBegin;
    outcome.errorEnd = vr.errorEnd;
    if (outcome.valid) describeResult(*owned, vr, outcome);
    return outcome;
}

}  // namespace

int runParse(const Invocation& invocation) {
    return runEachExpression(invocation, &parseOne);
}

}  // namespace xexpr
