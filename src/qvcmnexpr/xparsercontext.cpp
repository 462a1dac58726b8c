// Defaults of the parser context and the context without symbols. The base
// answers what has a natural answer (no relaxations, no aggregating external
// functions, no types); the no-symbols context refuses every lookup and has
// no configuration, so the library runs with its own defaults.
#include "qvcmnexpr/xparsercontext.h"

#include <memory>

#include "qvcmnexpr/xtype.h"

XParserContext::XParserContext(int xpressionContext)
    : m_validatingMacro(0),
      m_xpressionContext(xpressionContext),
      m_isUpgrade(0),
      m_currentWidgetAggLevel(0) {}

XParserContext::~XParserContext() = default;

int XParserContext::getClassId() const { return cls_classId; }

int XParserContext::isClass(int id) const { return stc_isClass(id); }

int XParserContext::stc_isClass(int id) { return id == cls_classId ? 1 : 0; }

int XParserContext::isPortAllowed() { return getIsMappingExpr(); }

int XParserContext::isRelaxValidationSet() { return 0; }

int XParserContext::isAllowNullTypeSet() { return 0; }

int XParserContext::isExtAggFunc(const QvUString&) { return 0; }

int XParserContext::findType(const unsigned short*, const unsigned short*, XNode*, QvUString&,
                             QvUString&) {
    return -1;
}

// Debug text from a context has no destination of its own; the conversion is
// kept so that a caller's text takes the same path as the library's.
void XParserContext::LogDebug(QvUString text) {
    std::unique_ptr<char[]> discarded(text.getMBCSCopy());
}

int XParserContext::initParserConfigsPv(QvCmnExprGlobal* global) {
    int status = 0;
    int mode = 0;
    if (getConfigIsHighPrecision(mode) == 0 && XType::initIsHighPrecisionMode(mode, 0, global) != 0)
        status = -1;
    int precision = 0;
    if (getConfigDecMaxPrecision(precision) == 0 && XType::initDecMax(precision) != 0)
        status = -1;
    return status;
}

// ---- the context without symbols ----

XParserContextNoSymbols::XParserContextNoSymbols() : XParserContext(1) {}

XParserContextNoSymbols::~XParserContextNoSymbols() = default;

int XParserContextNoSymbols::getConfigIsAscii(int&) { return -1; }

int XParserContextNoSymbols::getConfigIsHighPrecision(int&) { return -1; }

int XParserContextNoSymbols::getConfigDecMaxPrecision(int&) { return -1; }

int XParserContextNoSymbols::getConfigDebugPrintLevel(int&) { return -1; }

int XParserContextNoSymbols::containsValidTokenMapVar(const QvUString&, size_t, size_t&) {
    return 0;
}

int XParserContextNoSymbols::containsValidTokenWflowVar(const QvUString&, size_t, size_t&,
                                                        int&) {
    return 0;
}

int XParserContextNoSymbols::containsValidExtFunc(const QvUString&) { return 0; }

int XParserContextNoSymbols::findPort(const unsigned short**, const unsigned short*,
                                      XMetadataPort*, QvUString&, QvUString&) {
    return -1;
}

int XParserContextNoSymbols::findWidget(const unsigned short**, const unsigned short*,
                                        XMetadata**, XMetadataWidget*, QvUString&, QvUString&) {
    return -1;
}

int XParserContextNoSymbols::findExtFunc(const unsigned short*, XMetadata**, int,
                                         XMetadataWidget*, int&, QvUString&, QvUString&) {
    return -1;
}

int XParserContextNoSymbols::pushdownExtFunc(const unsigned short*, XMetadata**, unsigned int,
                                             unsigned int, int, QvUString&, QvUString&) {
    return -1;
}

int XParserContextNoSymbols::findMapVar(const unsigned short*, XMetadataMapVar*) { return -1; }

int XParserContextNoSymbols::findWorkflowVar(const unsigned short*, XMetadataWorkflowVar*) {
    return -1;
}

void XParserContextNoSymbols::clearChildList() {}
