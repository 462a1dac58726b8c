// The caller's side of a parse: XParserContext is how the expression library
// learns everything that depends on where an expression lives (ports and
// variables in scope, callable lookups and functions, the caller's
// configuration). Callers derive from it; XParserContextNoSymbols is the
// ready-made context of a caller that has no symbols at all, so only
// expressions made of constants and built-in functions validate with it.
#pragma once

#include <cstddef>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvi18n.h"

class QvCmnExprGlobal;
class XMetadata;
class XMetadataPort;
class XMetadataWidget;
class XMetadataMapVar;
class XMetadataWorkflowVar;
class XNode;
class XParser;

class QVCMNEXPR_API XParserContext {
public:
    static constexpr int cls_classId = 3005;

    // `xpressionContext` holds the expression-context bits: 1 transformation,
    // 2 workflow, 3 not yet decided.
    explicit XParserContext(int xpressionContext = 1);
    XParserContext(const XParserContext& other) = default;
    XParserContext& operator=(const XParserContext& other) = default;
    virtual ~XParserContext();

    // ---- class identity (no RTTI across the platform's modules) ----
    virtual int getClassId() const;
    virtual int isClass(int id) const;
    static int stc_isClass(int id);

    // ---- relaxations and classification; 1/0 answers ----
    // Whether a bare name may be read as a port reference.
    virtual int isPortAllowed();
    virtual int isRelaxValidationSet();
    virtual int isAllowNullTypeSet();
    virtual int isExtAggFunc(const QvUString& name);

protected:
    // ---- the caller's configuration: 0 and `value` filled when it has the
    // setting, non-zero (and `value` untouched) when it has none ----
    virtual int getConfigIsAscii(int& value) = 0;
    virtual int getConfigIsHighPrecision(int& value) = 0;
    virtual int getConfigDecMaxPrecision(int& value) = 0;
    virtual int getConfigDebugPrintLevel(int& value) = 0;

public:
    // ---- lexer questions: does a symbol start exactly at `pos`? ----
    // Non-zero when a mapping variable starts at `pos` of the whole
    // expression `text`; its extent in UTF-16 units goes to `length`.
    virtual int containsValidTokenMapVar(const QvUString& text, size_t pos, size_t& length) = 0;
    // The same for workflow variables; `preDefined` tells a variable the
    // workflow defines itself from a user-defined one.
    virtual int containsValidTokenWflowVar(const QvUString& text, size_t pos, size_t& length,
                                           int& preDefined) = 0;
    // Non-zero when `name` is a custom function the caller can call.
    virtual int containsValidExtFunc(const QvUString& name) = 0;

    // ---- resolution; 0 means found and the record was filled ----
    // `qualifiers` are the other name components, nearest first, null-terminated.
    virtual int findPort(const unsigned short** qualifiers, const unsigned short* name,
                         XMetadataPort* metadata, QvUString& err, QvUString& warn) = 0;
    // -1 when the widget cannot be resolved; anything else is success.
    virtual int findWidget(const unsigned short** qualifiers, const unsigned short* name,
                           XMetadata** argMetadata, XMetadataWidget* widgetMetadata,
                           QvUString& err, QvUString& warn) = 0;
    // External functions (`isExtFunc` 1) and macros (0); -1 on failure.
    virtual int findExtFunc(const unsigned short* name, XMetadata** argMetadata, int isExtFunc,
                            XMetadataWidget* widgetMetadata, int& isConst, QvUString& err,
                            QvUString& warn) = 0;
    // Offered to callers that push calls down to a database; the library
    // itself never calls it, so the meaning of the middle three arguments is
    // the caller's.
    virtual int pushdownExtFunc(const unsigned short* name, XMetadata** argMetadata,
                                unsigned int, unsigned int, int, QvUString& err,
                                QvUString& warn) = 0;
    virtual int findMapVar(const unsigned short* name, XMetadataMapVar* metadata) = 0;
    virtual int findWorkflowVar(const unsigned short* name, XMetadataWorkflowVar* metadata) = 0;
    // Records the structure type named by `name1`.`name2` on `typeNode`.
    virtual int findType(const unsigned short* name1, const unsigned short* name2,
                         XNode* typeNode, QvUString& err, QvUString& warn);

    virtual void LogDebug(QvUString text);

protected:
    // The parser calls this before each new expression so that a context can
    // forget what it collected for the previous one.
    virtual void clearChildList() = 0;

public:
    // ---- plain settings ----
    int getXpressionContext() const { return m_xpressionContext; }
    int getIsMappingExpr() const { return m_xpressionContext & 1; }
    int getIsWorkflowExpr() const { return m_xpressionContext & 2; }
    int isUpgrade() const { return m_isUpgrade; }
    int getCurrentWidgetAggLevel() const { return m_currentWidgetAggLevel; }
    void setCurrentWidgetAggLevel(int level) { m_currentWidgetAggLevel = level; }
    // Called by the caller when it moves on to another transformation.
    void resetCurrentWidgetAggLevel() { m_currentWidgetAggLevel = 0; }
    void setValidatingMacro(int on) { m_validatingMacro = on; }

protected:
    // Applies the caller's high-precision and decimal-maximum settings to the
    // library state `global` (null: the process-wide state). A derived
    // context calls it once it can answer its configuration getters.
    // Returns -1 when a setting could not be applied, else 0.
    int initParserConfigsPv(QvCmnExprGlobal* global);

    int m_validatingMacro;
    int m_xpressionContext;
    int m_isUpgrade;
    int m_currentWidgetAggLevel;

private:
    // The parser clears the context's per-expression state.
    friend class XParser;
};

// A context without symbols: every lookup fails, no setting is configured.
class QVCMNEXPR_API XParserContextNoSymbols : public XParserContext {
public:
    XParserContextNoSymbols();
    ~XParserContextNoSymbols() override;

    int containsValidTokenMapVar(const QvUString& text, size_t pos, size_t& length) override;
    int containsValidTokenWflowVar(const QvUString& text, size_t pos, size_t& length,
                                   int& preDefined) override;
    int containsValidExtFunc(const QvUString& name) override;
    int findPort(const unsigned short** qualifiers, const unsigned short* name,
                 XMetadataPort* metadata, QvUString& err, QvUString& warn) override;
    int findWidget(const unsigned short** qualifiers, const unsigned short* name,
                   XMetadata** argMetadata, XMetadataWidget* widgetMetadata, QvUString& err,
                   QvUString& warn) override;
    int findExtFunc(const unsigned short* name, XMetadata** argMetadata, int isExtFunc,
                    XMetadataWidget* widgetMetadata, int& isConst, QvUString& err,
                    QvUString& warn) override;
    int pushdownExtFunc(const unsigned short* name, XMetadata** argMetadata,
                        unsigned int, unsigned int, int, QvUString& err,
                        QvUString& warn) override;
    int findMapVar(const unsigned short* name, XMetadataMapVar* metadata) override;
    int findWorkflowVar(const unsigned short* name, XMetadataWorkflowVar* metadata) override;

protected:
    int getConfigIsAscii(int& value) override;
    int getConfigIsHighPrecision(int& value) override;
    int getConfigDecMaxPrecision(int& value) override;
    int getConfigDebugPrintLevel(int& value) override;
    void clearChildList() override;
};
