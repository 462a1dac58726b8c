// What every expression command shares: the parser context made from the
// catalog and the command line, and the loop that reads each expression,
// hands it to the command and reports the outcome.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "qvcmnexpr/xcatalogcontext.h"
#include "qvcmnexpr/xparser.h"
#include "xexpr_command.h"
#include "xexpr_output.h"

namespace xexpr {

// Loads the catalog (none: an empty transformation catalog), lets the
// command line's settings override it and applies the settings. 0, or -1
// with `error` set.
int makeContext(const ContextOptions& options, std::unique_ptr<XCatalogContext>& context,
                std::string& error);

using ExpressionFn = std::function<Outcome(XParser& parser, const Expression& expression)>;

// Parses one expression with validation and fills the outcome's status,
// validity and messages. `text` receives the UTF-16 text (trees point into
// it) and `owned` the tree; both must outlive any use of the tree.
Outcome parseExpression(XParser& parser, const Expression& expression, QvUString& text,
                        std::unique_ptr<XParsedTree>& owned, ValidationResult& vr);

// Runs `each` on every expression of the invocation; returns the exit status.
int runEachExpression(const Invocation& invocation, const ExpressionFn& each);

// The result type of a parse as the catalog writes types ("string(60)");
// empty for a type the library has not decided.
std::string typeText(unsigned int hostType, int length, int scale);

}  // namespace xexpr
