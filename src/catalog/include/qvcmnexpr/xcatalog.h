// A symbol catalog: everything an expression may refer to in one
// transformation or workflow (ports, mapping and workflow variables, external
// and user-defined functions, lookups and procedures) together with the
// settings the expression library asks its context for. XCatalogContext
// answers the library's questions from it.
//
// A catalog is built in code (the add... operations) or loaded from a JSON
// file. Every add checks its entry and refuses it with a reason instead of
// storing something half-valid; loading builds a fresh catalog and hands it
// over only when the whole file was accepted, so a failed load leaves the
// target untouched.
//
// JSON form (every key optional unless marked; unknown keys are refused so
// that a misspelt key is not silently ignored):
//
//   {
//     "kind": "transformation" | "workflow" | "either",   default "transformation"
//     "settings": {
//       "highPrecision": true | false,         absent: the library's own default
//       "decimalMaxPrecision": 18 | 28,        absent: the library's own default
//       "relaxValidation": false,              default false
//       "allowNullType": false,                default false
//       "upgrade": false,                      default false
//       "serverMode": "unicode" | "ascii"      absent: the host's mode is kept
//     },
//     "types": [                                            named struct types
//       { "name": "Address", "namespace": "crm",             name and fields required
//         "fields": [ { "name": "street", "type": "string(40)" },
//                     { "name": "owner", "type": "struct Person" } ] }
//     ],
//     "ports": [
//       { "name": "PRICE", "type": "decimal(12,2)",          name and type required
//         "qualifiers": ["SQ_ORDERS"] }                      outermost first, as written
//                                         (":TD" for a column of the old LOOKUP form's table)
//     ],
//     "mappingVariables": [
//       { "name": "$$MAX_ORDER_ID", "type": "bigint",       name and type required
//         "aggregation": "none" | "any" | "count" | "max" | "min",   default "none"
//         "aggregationContext": false }
//     ],
//     "workflowVariables": [
//       { "name": "$s_load.Status", "type": "int",           name and type required
//         "predefined": true }                                default false
//     ],
//     "functions": [
//       { "name": "NET_PRICE", "userDefined": true,          name and result required;
//         "arguments": ["decimal(12,2)", "int"],              a user-defined function is
//         "result": "decimal(12,2)",                          called as :UDF.NET_PRICE
//         "constant": false, "aggregate": false, "window": false }
//     ],
//     "lookups":            [ { "name": ..., "arguments": [...], "result": ... } ],
//                           (the old LOOKUP(return port, port, value, ...)
//                           form needs no entry: its ports declare it)
//     "storedProcedures":   [ the same; "result" may be left out ],
//     "externalProcedures": [ the same; "result" may be left out ]
//   }
//
// Data types are written as text: string(n), unistring(n) and binary(n) need
// their length; int, bigint, float and date take none; dec18, dec28 and
// dec38 take an optional (precision[,scale]) up to their digits; decimal(p)
// or decimal(p,s) is a decimal port of precision 1 to 38. Names compare
// without regard to case and may not contain white space.
//
// Ports and struct fields may also be hierarchical: "struct NAME" names a
// declared struct type (struct types may refer to each other, and to
// themselves), "array<T>" is an array of T and "map<K,V>" a map from K to V,
// where T, K and V are data types again, nested at most 64 levels deep.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qvcmnexpr/qvcmnexpr_catalog_export.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xtypeconfig.h"
#include "qvi18n.h"

// A scalar data type as a catalog declares it: the host data-type number with
// its precision (length for strings and binary) and scale.
struct QVCMNEXPR_CATALOG_API XCatalogType {
    unsigned int hostType = 0;
    int precision = 0;
    int scale = 0;

    // Reads "string(60)", "decimal(12,2)", "int" and so on. 0 with `out` set,
    // or -1 with `error` saying what is wrong.
    static int parse(std::string_view text, XCatalogType& out, std::string& error);
    // The spelling parse() reads back.
    std::string toString() const;
    // 0 when the type is one a catalog may declare, else -1 with `error`.
    int check(std::string& error) const;

    static XCatalogType string(int length);
    static XCatalogType unistring(int length);
    static XCatalogType integer();
    static XCatalogType bigint();
    static XCatalogType floating();
    static XCatalogType dec18(int precision = 18, int scale = 0);
    static XCatalogType dec28(int precision = 28, int scale = 0);
    static XCatalogType dec38(int precision = 38, int scale = 0);
    // A decimal port: the host's fixed decimal that holds `precision` digits.
    static XCatalogType decimal(int precision, int scale);
    static XCatalogType date();
    static XCatalogType binary(int length);

    friend bool operator==(const XCatalogType&, const XCatalogType&) = default;
};

// Where an expression lives; the numbers are the expression-context bits.
enum class XCatalogExprKind : int { transformation = 1, workflow = 2, either = 3 };

// What the context reports as the caller's configuration. An empty optional
// means "not configured": the library (or the host) keeps its own default.
struct QVCMNEXPR_CATALOG_API XCatalogSettings {
    std::optional<bool> highPrecision;
    std::optional<int> decimalMaxPrecision;  // 18 or 28
    bool relaxValidation = false;
    bool allowNullType = false;
    bool upgrade = false;
    std::optional<bool> serverAscii;  // true: 8-bit server, false: Unicode
};

struct QVCMNEXPR_CATALOG_API XCatalogPort {
    std::string name;
    // Outermost first, as written in front of the name: A.B.PORT is {A, B}.
    std::vector<std::string> qualifiers;
    XCatalogType type;
    // A hierarchical type as text ("struct Person", "array<int>"); when set,
    // `type` is ignored and addPort fills both `type` and `typeConfig`.
    std::string hierarchicalType = {};
    std::shared_ptr<XTypeConfig> typeConfig = {};
};

// One member of a named struct type; its type is written as a port's is,
// hierarchical or not.
struct QVCMNEXPR_CATALOG_API XCatalogField {
    std::string name;
    std::string type;
};

struct QVCMNEXPR_CATALOG_API XCatalogStructType {
    std::string name;
    // What :TYPE.NAMESPACE.NAME names it by; empty: no namespace.
    std::string nameSpace;
    std::vector<XCatalogField> fields;
};

struct QVCMNEXPR_CATALOG_API XCatalogMapVar {
    std::string name;
    XCatalogType type;
    EXMapVarType aggregation = eXMVT_NONE;
    bool aggregationContext = false;
};

struct QVCMNEXPR_CATALOG_API XCatalogWorkflowVar {
    std::string name;
    XCatalogType type;
    bool preDefined = false;
};

// An external function, or with `userDefined` a user-defined function that
// expressions call as :UDF.name (the name here is without the prefix).
struct QVCMNEXPR_CATALOG_API XCatalogFunction {
    std::string name;
    bool userDefined = false;
    std::vector<XCatalogType> arguments;
    XCatalogType result;
    // Same arguments, same value: a call is constant when its arguments are.
    bool constant = false;
    // Aggregates its arguments: the call is one aggregation level higher.
    bool aggregate = false;
    // Computes over a window of rows: the expression is a window function.
    bool window = false;
};

enum class XCatalogWidgetKind : int { lookup, storedProcedure, externalProcedure };

// A lookup (:LKP.name), stored procedure (:SP.name, or a bare name followed by
// "(") or external procedure (:EXT.name).
struct QVCMNEXPR_CATALOG_API XCatalogWidget {
    XCatalogWidgetKind kind = XCatalogWidgetKind::lookup;
    std::string name;
    std::vector<XCatalogType> arguments;
    // Empty: the call declares no return value.
    std::optional<XCatalogType> result;
};

class QVCMNEXPR_CATALOG_API XCatalog {
public:
    XCatalog();
    XCatalog(const XCatalog& other);
    XCatalog& operator=(const XCatalog& other);
    XCatalog(XCatalog&& other) noexcept;
    XCatalog& operator=(XCatalog&& other) noexcept;
    ~XCatalog();

    XCatalogExprKind getKind() const { return m_kind; }
    void setKind(XCatalogExprKind kind) { m_kind = kind; }
    const XCatalogSettings& getSettings() const { return m_settings; }
    // Checked when a context is made from the catalog (checkSettings).
    XCatalogSettings& settings() { return m_settings; }
    int checkSettings(std::string& error) const;

    // ---- building: 0 when stored, -1 with `error` and nothing stored ----
    int addPort(XCatalogPort port, std::string& error);
    // Declares struct types that may refer to each other and to those
    // declared before. On failure `failedType` and `failedField` (when
    // given) receive the entry at fault (field npos: the type itself).
    int addStructTypes(std::vector<XCatalogStructType> types, std::string& error,
                       size_t* failedType = nullptr, size_t* failedField = nullptr);
    // The description of a hierarchical type written as text; null with
    // `error` when the text is not one or names an undeclared struct.
    std::shared_ptr<XTypeConfig> resolveHierarchicalType(std::string_view text,
                                                         std::string& error) const;
    // Whether `text` is written as a hierarchical type (struct, array, map).
    static bool isHierarchicalTypeText(std::string_view text);
    // The struct type `name` declared in `nameSpace` (compared without regard
    // to case); null when there is none.
    std::shared_ptr<XTypeConfig> findStructType(const unsigned short* nameSpace,
                                                const unsigned short* name) const;
    int addMappingVariable(XCatalogMapVar var, std::string& error);
    int addWorkflowVariable(XCatalogWorkflowVar var, std::string& error);
    int addFunction(XCatalogFunction function, std::string& error);
    int addWidget(XCatalogWidget widget, std::string& error);

    size_t getNumPorts() const;
    const XCatalogPort& getPort(size_t i) const;

    // ---- loading ----
    // Reads the JSON file at `path` into `out`. On failure `out` is left as it
    // was and `error` is one line: "FILE:LINE:COLUMN: error: WHERE: WHAT"
    // (or "FILE: error: WHAT" when the file cannot be read).
    static int loadJsonFile(const std::string& path, XCatalog& out, std::string& error);
    // The same for text already in memory; `sourceName` stands for FILE.
    static int loadJsonText(std::string_view text, const std::string& sourceName, XCatalog& out,
                            std::string& error);

    // ---- lookups; names compare without regard to case ----
    // The port a reference names. `qualifiers` are the reference's other
    // components nearest first, null-terminated (null: none). A reference
    // matches a port when its qualifiers are the last ones the port declares.
    // Null when no port matches, and also with `why` set when more than one
    // does. `ordinal` (when given) receives the port's 1-based position.
    const XCatalogPort* findPort(const unsigned short* const* qualifiers,
                                 const unsigned short* name, std::string& why,
                                 int* ordinal = nullptr) const;
    // The longest variable whose name starts at `pos` of `text` and ends
    // where a name may end; null when none does.
    const XCatalogMapVar* matchMappingVariable(const QvUString& text, size_t pos,
                                               size_t& length) const;
    const XCatalogWorkflowVar* matchWorkflowVariable(const QvUString& text, size_t pos,
                                                     size_t& length) const;
    const XCatalogMapVar* findMappingVariable(const unsigned short* name) const;
    const XCatalogWorkflowVar* findWorkflowVariable(const unsigned short* name) const;
    // `name` as the lexer reads it: :UDF.name for a user-defined function.
    const XCatalogFunction* findFunction(const unsigned short* name) const;
    const XCatalogFunction* findUserFunction(const unsigned short* name) const;
    const XCatalogWidget* findWidget(XCatalogWidgetKind kind, const unsigned short* name) const;

private:
    struct Index;

    XCatalogExprKind m_kind = XCatalogExprKind::transformation;
    XCatalogSettings m_settings;
    std::unique_ptr<Index> m_index;
};
