// Context set-up and the per-expression loop shared by the commands.
#include "xexpr_session.h"

#include <cstdio>

#include "qvcmnexpr/xptree.h"

namespace xexpr {

namespace {

void applyOverrides(const ContextOptions& options, XCatalog& catalog) {
    if (options.kind) catalog.setKind(static_cast<XCatalogExprKind>(*options.kind));
    XCatalogSettings& settings = catalog.settings();
    if (options.highPrecision) settings.highPrecision = options.highPrecision;
    if (options.decimalMaxPrecision) settings.decimalMaxPrecision = options.decimalMaxPrecision;
    settings.relaxValidation = settings.relaxValidation || options.relaxValidation;
    settings.allowNullType = settings.allowNullType || options.allowNullType;
    settings.upgrade = settings.upgrade || options.upgrade;
    if (options.ascii) settings.serverAscii = true;
}

// A NUL would end the expression early for the library, which reads text up
// to its first 0 unit, and the rest would never be checked.
bool refuseNul(const Expression& expression, Outcome& outcome) {
    size_t nul = expression.text.find('\0');
    if (nul == std::string::npos) return false;
    QvUString before = QvUString::fromUtf8(expression.text.substr(0, nul));
    outcome.status = -1;
    outcome.valid = false;
    outcome.errorBegin = static_cast<size_t>(before.length());
    outcome.errorEnd = outcome.errorBegin + 1;
    outcome.errors.push_back("ERROR: at " + std::to_string(outcome.errorBegin) +
                             ": the expression contains a NUL character");
    return true;
}

}  // namespace

int makeContext(const ContextOptions& options, std::unique_ptr<XCatalogContext>& context,
                std::string& error) {
    auto catalog = std::make_shared<XCatalog>();
    if (!options.catalogPath.empty() &&
        XCatalog::loadJsonFile(options.catalogPath, *catalog, error) != 0)
        return -1;
    applyOverrides(options, *catalog);
    if (catalog->checkSettings(error) != 0) return -1;
    context = std::make_unique<XCatalogContext>(catalog);
    if (context->applySettings(nullptr) != 0) {
        error = "the catalog's settings could not be applied";
        return -1;
    }
    return 0;
}

Outcome parseExpression(XParser& parser, const Expression& expression, QvUString& text,
                        std::unique_ptr<XParsedTree>& owned, ValidationResult& vr) {
    text = QvUString::fromUtf8(expression.text);
    XParsedTree* result = nullptr;
    Outcome outcome;
    outcome.status = parser.parse(text.getBuffer(), result, vr);
    owned.reset(result);
    outcome.valid = outcome.status == 0 && vr.valid && owned;
    outcome.errors = messageLines(vr.errors.toUtf8());
    outcome.warnings = messageLines(vr.warnings.toUtf8());
    outcome.errorBegin = vr.errorBegin;
    outcome.errorEnd = vr.errorEnd;
    return outcome;
}

int runEachExpression(const Invocation& invocation, const ExpressionFn& each) {
    std::unique_ptr<XCatalogContext> context;
    std::string error;
    if (makeContext(invocation.context, context, error) != 0) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kExitUsage;
    }
    XParser parser;
    parser.setParserContext(context.get(), 0);
    Reporter reporter(invocation.json);
    ExpressionReader reader(invocation.inputs);
    size_t problemsShown = 0;
    Expression expression;
    auto showProblems = [&] {
        for (; problemsShown < reader.problems().size(); ++problemsShown)
            reporter.problem(reader.problems()[problemsShown]);
    };
    // Output that cannot be written ends the run: nothing after it would be seen.
    while (!reporter.outputFailed() && reader.next(expression)) {
        showProblems();
        Outcome refused;
        if (refuseNul(expression, refused))
            reporter.report(expression, refused);
        else
            reporter.report(expression, each(parser, expression));
    }
    showProblems();
    if (!reporter.finish() || problemsShown > 0) return kExitUsage;
    return reporter.getInvalid() > 0 ? kExitInvalid : kExitValid;
}

std::string typeText(unsigned int hostType, int length, int scale) {
    if (hostType == eQvCDT_NULL) return "null";
    if (hostType == eQvCDT_BOOLEAN) return "boolean";
    if (const QvUString* custom = CustomSDKMgr::getInstance()->getCustomTypeName(hostType))
        return custom->toUtf8();
    // Lengths and scales the library has not worked out are left out.
    std::string text =
        XCatalogType{hostType, length > 0 ? length : 1, scale > 0 ? scale : 0}.toString();
    if (text.rfind("unknown(", 0) == 0) return std::string();
    if (length <= 0) text = text.substr(0, text.find('('));
    return text;
}

}  // namespace xexpr
