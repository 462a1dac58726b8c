// What every expression command shares: the parser context made from the
// catalog and the command line, and the loop that reads each expression,
// hands it to the command and reports the outcome.
#pragma once

#include <functional>
#include <memory>
#include <optional>
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
// it) and `owned` the tree; both must outlive any use of the tree. Every
// expression stands alone: the aggregation level an earlier one fixed for
// the context is forgotten first.
Outcome parseExpression(XParser& parser, const Expression& expression, QvUString& text,
                        std::unique_ptr<XParsedTree>& owned, ValidationResult& vr);

// Runs `each` on every expression of the invocation; returns the exit status.
int runEachExpression(const Invocation& invocation, const ExpressionFn& each);

// A type as the commands report it: its name as a catalog writes it
// ("string(60)", "dec28", "int"), and its precision and scale where the
// library knows them. The name is empty for a type the library has not
// decided.
struct TypeFacts {
    std::string name;
    std::optional<int> precision;
    std::optional<int> scale;
};

// `chars` is what the library recorded as the maximal character count and
// `scale` the scale (negative: not recorded). Text and binary types take
// their length from `chars`; decimals have the precision of their type and
// the recorded scale; the other types the precision and scale a catalog
// gives them.
TypeFacts typeFacts(unsigned int hostType, int chars, int scale);

// "row", "group" or "nested"; empty for a level not (yet) decided.
std::string aggLevelName(int level);

}  // namespace xexpr
