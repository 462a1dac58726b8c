// A ready-made parser context that answers every question of the expression
// library from a symbol catalog (qvcmnexpr/xcatalog.h), so an embedding
// application or a command-line check needs no context of its own:
//
//   std::string error;
//   auto catalog = std::make_shared<XCatalog>();
//   if (XCatalog::loadJsonFile("orders_catalog.json", *catalog, error) != 0) ...
//   XCatalogContext context(catalog);
//   context.applySettings(nullptr);
//   parser.setParserContext(&context, 0);
//
// What the context reports:
// - the expression kind and the settings of the catalog (high precision,
//   decimal maximum, relaxed validation, NULL types, upgrade mode);
// - a mapping or workflow variable at a position of the text: the longest
//   declared name that starts there, compared without regard to case and
//   followed by a character that cannot continue a name;
// - external functions by name, user-defined functions as :UDF.name;
// - ports, variables, functions, lookups (:LKP.name), stored procedures
//   (:SP.name or a bare name followed by "(") and external procedures
//   (:EXT.name) resolved into the library's metadata records, each record
//   referring to the catalog entry it came from (QvRef);
// - string and unistring ports alike as the string type of the server's
//   character mode, which holds all text of expressions;
// - a decimal(p,s) port as the host's fixed decimal, which the library maps
//   onto its decimal types; with high precision off the platform computes
//   such ports in floating point, so the context then reports them as FLOAT.
//
// The catalog is shared and never changed by a context: threads that parse
// at the same time use one context each over the same catalog.
#pragma once

#include <memory>

#include "qvcmnexpr/qvcmnexpr_catalog_export.h"
#include "qvcmnexpr/xcatalog.h"
#include "qvcmnexpr/xparsercontext.h"

class QVCMNEXPR_CATALOG_API XCatalogContext : public XParserContext {
public:
    explicit XCatalogContext(std::shared_ptr<const XCatalog> catalog);
    ~XCatalogContext() override;

    const XCatalog& getCatalog() const { return *m_catalog; }

    // Applies the catalog's high-precision and decimal-maximum settings to
    // the library state `global` (null: the process-wide state) and its
    // server character mode to the host, which keeps one mode per process.
    // Settings the catalog leaves out are not touched. Like the library's
    // own configuration, the first setting made in a process stays. Returns
    // -1 when a setting could not be applied, else 0.
    int applySettings(QvCmnExprGlobal* global);

    int isRelaxValidationSet() override;
    int isAllowNullTypeSet() override;
    int isExtAggFunc(const QvUString& name) override;

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
    // The catalog describes no database, so no call can be pushed down: -1.
    int pushdownExtFunc(const unsigned short* name, XMetadata** argMetadata, unsigned int,
                        unsigned int, int, QvUString& err, QvUString& warn) override;
    // :TYPE.NAMESPACE.NAME: the struct type NAME declared in NAMESPACE.
    int findType(const unsigned short* name1, const unsigned short* name2, XNode* typeNode,
                 QvUString& err, QvUString& warn) override;
    int findMapVar(const unsigned short* name, XMetadataMapVar* metadata) override;
    int findWorkflowVar(const unsigned short* name, XMetadataWorkflowVar* metadata) override;

protected:
    int getConfigIsAscii(int& value) override;
    int getConfigIsHighPrecision(int& value) override;
    int getConfigDecMaxPrecision(int& value) override;
    // The catalog has no debug level: always "not configured".
    int getConfigDebugPrintLevel(int& value) override;
    // The context collects nothing per expression.
    void clearChildList() override;

private:
    std::shared_ptr<const XCatalog> m_catalog;
};
