// The parser context over a catalog: the lexer's questions become longest
// matches over declared names, and every find operation fills the library's
// metadata record from the declared type of the catalog entry it resolves.
#include "qvcmnexpr/xcatalogcontext.h"

#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xtype.h"
#include "qvutils.h"
#include "xcatalogindex.h"

namespace {

// The type a record receives for a declared type. Text is held in the
// server's character mode whichever string kind a port declares, and with
// high precision off the platform computes decimal ports in floating point.
XCatalogType effectiveType(const XCatalogType& declared) {
    if (declared.hostType == eQvCDT_STRING || declared.hostType == eQvCDT_UNISTRING)
        return {static_cast<unsigned int>(XType::getXdtString().toCDataType(0)), declared.precision,
                0};
    bool fixed = declared.hostType == eQvCDT_DEC18_FIXED ||
                 declared.hostType == eQvCDT_DEC28_FIXED || declared.hostType == eQvCDT_DEC38_FIXED;
    if (fixed && !XType::getIsHighPrecisionMode()) return XCatalogType::floating();
    return declared;
}

// No trait descriptor: only a custom type's record needs one, a catalog
// declares none, and the library finds a built-in type's traits by its
// number. A record given one would also need a side record of its own, one
// more allocation per resolved reference.
SColMetadata describe(const XCatalogType& declared) {
    XCatalogType type = effectiveType(declared);
    SColMetadata column;
    column.set(type.hostType, type.precision, type.scale);
    return column;
}

// Fills `record` from a declared type. The library's fill keeps the length
// only for strings and binary; a decimal's precision is its length as well.
void fill(XMetadata* record, const XCatalogType& declared, const QvRef& ref, int argType) {
    SColMetadata column = describe(declared);
    record->set(column, ref, argType, 1);
    if (record->getDataType().isDec(0)) record->setNumCharsMax(column.getPrecision());
}

// Metadata records keep a writable handle; the library never writes through
// it, and the catalog entry outlives every tree made with the context.
template <class Entry>
QvRef refTo(const Entry* entry) {
    return QvRef(const_cast<Entry*>(entry));
}

size_t countArgs(XMetadata** argMetadata) {
    size_t count = 0;
    while (argMetadata && argMetadata[count]) ++count;
    return count;
}

std::string utf8(const unsigned short* text) {
    return QvUString(text).toUtf8();
}

// Declares the argument and result types of a call in its widget record.
// -1 with `err` set when the call has the wrong number of arguments;
// `describe()` names the call then, and is not called otherwise.
template <class Describe>
int fillCall(Describe describe, const std::vector<XCatalogType>& arguments,
             const std::optional<XCatalogType>& result, XMetadata** argMetadata,
             XMetadataWidget* widget, QvUString& err) {
    size_t count = countArgs(argMetadata);
    if (count != arguments.size()) {
        err = QvUString::fromUtf8(describe() + " takes " + std::to_string(arguments.size()) +
                                  " argument(s), not " + std::to_string(count));
        return -1;
    }
    if (widget->getNumArgs() < 0 && widget->allocateArgMetadata(static_cast<int>(count)) != 0)
        return -1;
    for (size_t i = 0; i < count; ++i)
        fill(widget->getArgMetadata(static_cast<int>(i)), arguments[i], QvRef(), 1);
    if (result) {
        fill(widget->getRetPortMetadata(), *result, QvRef(), 1);
        widget->markRetPortMetadataSet();
    }
    return 0;
}

// The kind of a widget call from its outermost qualifier (":LKP", ":SP",
// ":EXT", in any case); -1 for anything else.
int widgetKindOf(const unsigned short* qualifier) {
    static constexpr struct {
        const char16_t* word;
        XCatalogWidgetKind kind;
    } kKinds[] = {{u":LKP", XCatalogWidgetKind::lookup},
                  {u":SP", XCatalogWidgetKind::storedProcedure},
                  {u":EXT", XCatalogWidgetKind::externalProcedure}};
    for (const auto& row : kKinds) {
        if (xcatalog::equalsIgnoringCase(qualifier, row.word)) return static_cast<int>(row.kind);
    }
    return -1;
}

// The old LOOKUP(return port, port 1, value 1, ...) form names no lookup:
// it searches by the ports it is given, so each argument is declared as it
// is and the call returns the return port's type.
int declareAsGiven(XMetadata** argMetadata, XMetadataWidget* widget) {
    const size_t count = countArgs(argMetadata);
    if (widget->getNumArgs() < 0 && widget->allocateArgMetadata(static_cast<int>(count)) != 0)
        return -1;
    for (size_t i = 0; i < count; ++i)
        XMetadata::copyMetadata(argMetadata[i], widget->getArgMetadata(static_cast<int>(i)));
    if (count > 0) {
        XMetadata::copyMetadata(argMetadata[0], widget->getRetPortMetadata());
        widget->markRetPortMetadataSet();
    }
    return 0;
}

}  // namespace

XCatalogContext::XCatalogContext(std::shared_ptr<const XCatalog> catalog)
    : XParserContext(static_cast<int>(catalog->getKind())), m_catalog(std::move(catalog)) {
    m_isUpgrade = m_catalog->getSettings().upgrade ? 1 : 0;
}

XCatalogContext::~XCatalogContext() = default;

int XCatalogContext::applySettings(QvCmnExprGlobal* global) {
    int status = initParserConfigsPv(global);
    int ascii = 0;
    if (getConfigIsAscii(ascii) == 0) qvSetServerModeASCII(ascii);
    return status;
}

int XCatalogContext::isRelaxValidationSet() {
    return m_catalog->getSettings().relaxValidation ? 1 : 0;
}

int XCatalogContext::isAllowNullTypeSet() {
    return m_catalog->getSettings().allowNullType ? 1 : 0;
}

int XCatalogContext::isExtAggFunc(const QvUString& name) {
    const XCatalogFunction* function = m_catalog->findFunction(name.getBuffer());
    return function && function->aggregate ? 1 : 0;
}

// ---------------------------------------------------------------- configuration

int XCatalogContext::getConfigIsAscii(int& value) {
    const auto& ascii = m_catalog->getSettings().serverAscii;
    if (!ascii) return -1;
    value = *ascii ? 1 : 0;
    return 0;
}

int XCatalogContext::getConfigIsHighPrecision(int& value) {
    const auto& on = m_catalog->getSettings().highPrecision;
    if (!on) return -1;
    value = *on ? 1 : 0;
    return 0;
}

int XCatalogContext::getConfigDecMaxPrecision(int& value) {
    const auto& precision = m_catalog->getSettings().decimalMaxPrecision;
    if (!precision) return -1;
    value = *precision;
    return 0;
}

int XCatalogContext::getConfigDebugPrintLevel(int&) {
    return -1;
}

void XCatalogContext::clearChildList() {}

// ---------------------------------------------------------------- lexer questions

int XCatalogContext::containsValidTokenMapVar(const QvUString& text, size_t pos, size_t& length) {
    return m_catalog->matchMappingVariable(text, pos, length) ? 1 : 0;
}

int XCatalogContext::containsValidTokenWflowVar(const QvUString& text, size_t pos, size_t& length,
                                                int& preDefined) {
    const XCatalogWorkflowVar* var = m_catalog->matchWorkflowVariable(text, pos, length);
    if (!var) return 0;
    preDefined = var->preDefined ? 1 : 0;
    return 1;
}

int XCatalogContext::containsValidExtFunc(const QvUString& name) {
    return m_catalog->findFunction(name.getBuffer()) ? 1 : 0;
}

// ---------------------------------------------------------------- resolution

int XCatalogContext::findPort(const unsigned short** qualifiers, const unsigned short* name,
                              XMetadataPort* metadata, QvUString& err, QvUString&) {
    std::string why;
    int ordinal = 0;
    const XCatalogPort* port = m_catalog->findPort(qualifiers, name, why, &ordinal);
    if (!port) {
        if (!why.empty()) err = QvUString::fromUtf8(utf8(name) + ": " + why);
        return -1;
    }
    fill(metadata, port->type, refTo(port), 1);
    if (port->typeConfig) metadata->setTypeAttrs(port->typeConfig.get());
    metadata->setPortId(static_cast<unsigned int>(ordinal));
    return 0;
}

int XCatalogContext::findType(const unsigned short* name1, const unsigned short* name2,
                              XNode* typeNode, QvUString& err, QvUString&) {
    std::shared_ptr<XTypeConfig> config = m_catalog->findStructType(name1, name2);
    if (!config) {
        err = QvUString::fromUtf8((name1 ? utf8(name1) : std::string()) + "." +
                                  (name2 ? utf8(name2) : std::string()) +
                                  ": no such struct type in the catalog");
        return -1;
    }
    if (typeNode) typeNode->setTypeConfig(config.get());
    return 0;
}

int XCatalogContext::findMapVar(const unsigned short* name, XMetadataMapVar* metadata) {
    const XCatalogMapVar* var = m_catalog->findMappingVariable(name);
    if (!var) return -1;
    fill(metadata, var->type, refTo(var), 0);
    metadata->setMapVarType(var->aggregation);
    metadata->setIsAggContext(var->aggregationContext ? 1 : 0);
    return 0;
}

int XCatalogContext::findWorkflowVar(const unsigned short* name, XMetadataWorkflowVar* metadata) {
    const XCatalogWorkflowVar* var = m_catalog->findWorkflowVariable(name);
    if (!var) return -1;
    fill(metadata, var->type, refTo(var), 1);
    return 0;
}

int XCatalogContext::findWidget(const unsigned short** qualifiers, const unsigned short* name,
                                XMetadata** argMetadata, XMetadataWidget* widgetMetadata,
                                QvUString& err, QvUString&) {
    size_t count = 0;
    while (qualifiers && qualifiers[count]) ++count;
    if (count == 0 && name && name[0] == 0) return declareAsGiven(argMetadata, widgetMetadata);
    int kind = count == 0 ? -1 : widgetKindOf(qualifiers[count - 1]);
    if (kind < 0 || count > 1) {
        err = QvUString::fromUtf8(utf8(name) + ": a call takes one of :LKP., :SP. or :EXT. " +
                                  "directly in front of the name");
        return -1;
    }
    auto widgetKind = static_cast<XCatalogWidgetKind>(kind);
    const XCatalogWidget* widget = m_catalog->findWidget(widgetKind, name);
    if (!widget) return -1;
    auto describe = [&] {
        return std::string(xcatalog::widgetWord(widgetKind)) + " " + widget->name;
    };
    if (fillCall(describe, widget->arguments, widget->result, argMetadata, widgetMetadata, err) !=
        0)
        return -1;
    if (widgetMetadata->getRef().isEmpty()) widgetMetadata->setRef(refTo(widget));
    return 0;
}

int XCatalogContext::findExtFunc(const unsigned short* name, XMetadata** argMetadata, int isExtFunc,
                                 XMetadataWidget* widgetMetadata, int& isConst, QvUString& err,
                                 QvUString&) {
    const XCatalogFunction* function =
        isExtFunc ? m_catalog->findFunction(name) : m_catalog->findUserFunction(name);
    // The library reports nothing of its own for a failing external
    // function, so the context always says why.
    if (!function) {
        err = QvUString::fromUtf8(utf8(name) + ": no such function in the catalog");
        return -1;
    }
    auto describe = [&] { return "function " + utf8(name); };
    if (fillCall(describe, function->arguments, function->result, argMetadata, widgetMetadata,
                 err) != 0)
        return -1;
    if (widgetMetadata->getRef().isEmpty()) widgetMetadata->setRef(refTo(function));
    if (function->window) widgetMetadata->setIsWindowFunc(1);
    isConst = function->constant ? 1 : 0;
    for (size_t i = 0; isConst && argMetadata && argMetadata[i]; ++i)
        isConst = argMetadata[i]->isConst() ? 1 : 0;
    return 0;
}

int XCatalogContext::pushdownExtFunc(const unsigned short*, XMetadata**, unsigned int, unsigned int,
                                     int, QvUString&, QvUString&) {
    return -1;
}
