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
    if (XParserContext* context = parser.getParserContext()) context->resetCurrentWidgetAggLevel();
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

TypeFacts typeFacts(unsigned int hostType, int chars, int scale) {
    TypeFacts facts;
    if (hostType == eQvCDT_NULL) {
        facts.name = "null";
        return facts;
    }
    if (hostType == eQvCDT_BOOLEAN) {
        facts.name = "boolean";
        return facts;
    }
    if (const QvUString* custom = CustomSDKMgr::getInstance()->getCustomTypeName(hostType)) {
        facts.name = custom->toUtf8();
        return facts;
    }
    // A fixed decimal computes as its plain equivalent.
    XType type;
    type.set(hostType, 1);
    hostType = static_cast<unsigned>(type.toCDataType(0));
    std::string spelled = XCatalogType{hostType, 1, 0}.toString();
    if (spelled.rfind("unknown(", 0) == 0) return facts;
    const std::string base = spelled.substr(0, spelled.find('('));
    XCatalogType declared;
    std::string error;
    if (XCatalogType::parse(base, declared, error) == 0) {
        // Sized by its name alone: the catalog's precision and scale, but
        // a decimal's scale is what the library worked out, if anything.
        facts.name = base;
        facts.precision = declared.precision;
        if (!type.isDec(0))
            facts.scale = declared.scale;
        else if (scale >= 0)
            facts.scale = scale;
        return facts;
    }
    // Text and raw bytes: as long as the library says they can get.
    facts.name = base;
    if (chars >= 0) {
        facts.name += "(" + std::to_string(chars) + ")";
        facts.precision = chars;
        facts.scale = 0;
    }
    return facts;
}

std::string aggLevelName(int level) {
    if (XParser::isAggLevelRow(level)) return "row";
    if (XParser::isAggLevelGroup(level)) return "group";
    if (XParser::isAggLevelNested(level)) return "nested";
    return std::string();
}

}  // namespace xexpr
