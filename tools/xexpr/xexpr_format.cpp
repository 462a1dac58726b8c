// xexpr format: writes each expression back as the library normalises it
// (every binary operation parenthesised, calls as F(a,b)), optionally with
// the data type of every node in front of it.
#include <memory>

#include "qvcmnexpr/xptree.h"
#include "qvcmnexpr/xreverseparser.h"
#include "xexpr_session.h"

namespace xexpr {

namespace {

Outcome formatOne(XParser& parser, const Expression& expression, bool annotate) {
    QvUString text;
    std::unique_ptr<XParsedTree> owned;
    ValidationResult vr;
    Outcome outcome = parseExpression(parser, expression, text, owned, vr);
    if (!outcome.valid) return outcome;
    XReverseParser writer;
    QvUString written;
    if (writer.getExprString(written, owned->getTree(), nullptr, annotate ? 1 : 0) != 0) {
        outcome.valid = false;
        outcome.errors.push_back("ERROR: the expression holds a value that has no text");
        return outcome;
    }
    // The writer ends its text with a 0 unit inside the string.
    outcome.summary = written.substr(0, written.length() - 1).toUtf8();
    outcome.details["formatted"] = outcome.summary;
    return outcome;
}

}  // namespace

int runFormat(const Invocation& invocation) {
    const bool annotate = invocation.annotate;
    return runEachExpression(invocation, [annotate](XParser& parser, const Expression& expression) {
        return formatOne(parser, expression, annotate);
    });
}

}  // namespace xexpr
