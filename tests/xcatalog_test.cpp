// The catalog and its parser context: data types, building in code, loading
// JSON (and refusing malformed catalogs with a position), the lexer's
// longest-match questions, every find operation with the metadata it fills,
// and real parses that depend on what the catalog declares.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xcatalogcontext.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xtype.h"
#include "qvutils.h"
#include "xparsetest.h"
#include "xrecordtext.h"

namespace {

using xtestsupport::answers;

QvUString U(const std::string& utf8) {
    return QvUString::fromUtf8(utf8);
}

// The protected configuration getters, for checking what the context reports.
class ExposedContext : public XCatalogContext {
public:
    using XCatalogContext::getConfigDebugPrintLevel;
    using XCatalogContext::getConfigDecMaxPrecision;
    using XCatalogContext::getConfigIsAscii;
    using XCatalogContext::getConfigIsHighPrecision;
    using XCatalogContext::XCatalogContext;
};

// A null-terminated qualifier list, nearest first, as the library passes it.
struct Qualifiers {
    explicit Qualifiers(std::vector<std::string> names) {
        for (const std::string& name : names) texts.push_back(U(name));
        for (const QvUString& text : texts) pointers.push_back(text.getBuffer());
        pointers.push_back(nullptr);
    }
    const unsigned short** get() { return pointers.data(); }
    std::vector<QvUString> texts;
    std::vector<const unsigned short*> pointers;
};

const char* kOrdersJson = R"json({
  "kind": "transformation",
  "settings": { "highPrecision": true, "decimalMaxPrecision": 28, "relaxValidation": true,
                "allowNullType": true, "upgrade": false, "serverMode": "unicode" },
  "ports": [
    { "name": "ORDER_ID", "qualifiers": ["SQ_ORDERS"], "type": "bigint" },
    { "name": "NAME", "qualifiers": ["SQ_ORDERS"], "type": "string(80)" },
    { "name": "NAME", "qualifiers": ["SQ_CUSTOMERS"], "type": "unistring(40)" },
    { "name": "PRICE", "type": "decimal(12,2)" },
    { "name": "RATE", "type": "dec18(9,4)" },
    { "name": "SHIPPED", "type": "date" },
    { "name": "BLOB", "type": "binary(16)" }
  ],
  "mappingVariables": [
    { "name": "$$MAX_ID", "type": "bigint", "aggregation": "max" },
    { "name": "$$MAX_ID_SEEN", "type": "bigint", "aggregation": "any", "aggregationContext": true }
  ],
  "workflowVariables": [
    { "name": "$s_load", "type": "int", "predefined": true },
    { "name": "$s_load.Status", "type": "int", "predefined": true },
    { "name": "$$RUN_MODE", "type": "string(10)" }
  ],
  "functions": [
    { "name": "NET", "userDefined": true, "arguments": ["decimal(12,2)", "int"],
      "result": "decimal(14,2)" },
    { "name": "GEO_DIST", "arguments": ["float", "float"], "result": "float", "constant": true },
    { "name": "W_AVG", "arguments": ["float"], "result": "float", "aggregate": true }
  ],
  "lookups": [ { "name": "LKP_TIER", "arguments": ["int"], "result": "string(20)" } ],
  "storedProcedures": [ { "name": "SP_CREDIT", "arguments": ["int", "dec28(20,2)"] } ],
  "externalProcedures": [ { "name": "EXT_CLEAN", "arguments": ["string(200)"],
                            "result": "string(200)" } ]
})json";

std::shared_ptr<XCatalog> loadOrders() {
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    EXPECT_EQ(XCatalog::loadJsonText(kOrdersJson, "orders.json", *catalog, error), 0) << error;
    return catalog;
}

// ================================================================ data types

// What parse reads from each text; what toString writes, parse reads back unchanged.
TEST(XCatalogTypeTest, ParsesAndWritesBack) {
    const struct {
        const char* text;
        unsigned int hostType;
        int precision, scale;
    } cases[] = {
        {"string(60)", eQvCDT_STRING, 60, 0},          {" unistring( 5 ) ", eQvCDT_UNISTRING, 5, 0},
        {"int", eQvCDT_INT, 10, 0},                    {"bigint", eQvCDT_BIGINT, 19, 0},
        {"float", eQvCDT_FLOAT, 15, 0},                {"date", eQvCDT_DATE, 29, 9},
        {"binary(16)", eQvCDT_BINARY, 16, 0},          {"dec18", eQvCDT_DEC18, 18, 0},
        {"dec18(9,4)", eQvCDT_DEC18, 9, 4},            {"dec28(20)", eQvCDT_DEC28, 20, 0},
        {"dec38(38,38)", eQvCDT_DEC38, 38, 38},        {"decimal(1)", eQvCDT_DEC18_FIXED, 1, 0},
        {"decimal(18,2)", eQvCDT_DEC18_FIXED, 18, 2},  {"decimal(19,2)", eQvCDT_DEC28_FIXED, 19, 2},
        {"decimal(28,0)", eQvCDT_DEC28_FIXED, 28, 0},  {"decimal(29,3)", eQvCDT_DEC38_FIXED, 29, 3},
        {"decimal(38,38)", eQvCDT_DEC38_FIXED, 38, 38},
    };
    for (const auto& c : cases) {
        XCatalogType type, again;
        std::string error;
        ASSERT_EQ(XCatalogType::parse(c.text, type, error), 0) << c.text << ": " << error;
        EXPECT_EQ(type, (XCatalogType{c.hostType, c.precision, c.scale})) << c.text;
        ASSERT_EQ(XCatalogType::parse(type.toString(), again, error), 0) << type.toString();
        EXPECT_EQ(again, type);
    }
    for (const char* text : {"string", "string(0)", "string(104857601)", "string(5,1)", "int(5)", "date(29,9)",
                             "dec18(19)", "dec28(10,11)", "decimal", "decimal(39)", "decimal(5,-1)",
                             "decimal(5,2,1)", "STRING(10)", "strng(10)", "string(10", "string(x)", "string()", ""}) {
        XCatalogType type;
        std::string error;
        EXPECT_EQ(XCatalogType::parse(text, type, error), -1) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(XCatalogTypeTest, CheckRefusesInconsistentTypes) {
    std::string error;
    EXPECT_EQ((XCatalogType{eQvCDT_DEC18_FIXED, 20, 0}.check(error)), -1);  // needs DEC28_FIXED
    EXPECT_EQ((XCatalogType{eQvCDT_NULL, 0, 0}.check(error)), -1);
    EXPECT_EQ((XCatalogType{eQvCDT_INT, 11, 0}.check(error)), -1);
    EXPECT_EQ(XCatalogType::decimal(20, 2).check(error), 0);
    EXPECT_EQ(XCatalogType::decimal(20, 2).hostType, eQvCDT_DEC28_FIXED);
}

// ================================================================ building in code

// Each row adds one entry to the same catalog: refused entries leave it
// unchanged, duplicates count per namespace and without regard to case.
TEST(XCatalogBuildTest, RefusedEntriesLeaveTheCatalogUnchanged) {
    XCatalog catalog;
    std::string error;
    const XCatalogType i = XCatalogType::integer(), noString = XCatalogType::string(0);
    const struct {
        std::function<int()> add;
        int rc;
        const char* mentions;
    } rows[] = {
        {[&] { return catalog.addPort({"QTY", {"SQ"}, i}, error); }, 0, ""},
        {[&] { return catalog.addPort({"qty", {"sq"}, XCatalogType::bigint()}, error); }, -1, "twice"},
        {[&] { return catalog.addPort({"QTY", {"OTHER"}, XCatalogType::bigint()}, error); }, 0, ""},
        {[&] { return catalog.addPort({"", {}, i}, error); }, -1, ""},
        {[&] { return catalog.addPort({"MY PORT", {}, i}, error); }, -1, ""},
        {[&] { return catalog.addPort({"P", {"BAD QUAL"}, i}, error); }, -1, ""},
        {[&] { return catalog.addPort({"S", {}, noString}, error); }, -1, ""},
        {[&] { return catalog.addPort({"SQ.P", {}, i}, error); }, -1, "qualifiers"},
        {[&] { return catalog.addPort({"P", {"A+B"}, i}, error); }, -1, ""},
        {[&] { return catalog.addMappingVariable({"$$V", i}, error); }, 0, ""},
        {[&] { return catalog.addMappingVariable({"$$v", i}, error); }, -1, ""},
        {[&] { return catalog.addWorkflowVariable({"$$V", i}, error); }, 0, ""},
        {[&] { return catalog.addWorkflowVariable({"$$V", i}, error); }, -1, ""},
        // External and user-defined functions live apart; the :UDF. prefix may be written.
        {[&] { return catalog.addFunction({"F", false, {}, i}, error); }, 0, ""},
        {[&] { return catalog.addFunction({":udf.F", true, {}, i}, error); }, 0, ""},
        {[&] { return catalog.addFunction({"f", true, {}, i}, error); }, -1, ""},
        {[&] { return catalog.addFunction({"G", false, {noString}, i}, error); }, -1, ""},
        // A lookup and a stored procedure may share a name; the call's qualifier tells them apart.
        {[&] { return catalog.addWidget({XCatalogWidgetKind::lookup, "W", {}, i}, error); }, 0, ""},
        {[&] { return catalog.addWidget({XCatalogWidgetKind::storedProcedure, "W", {}, {}}, error); }, 0, ""},
        {[&] { return catalog.addWidget({XCatalogWidgetKind::lookup, "w", {}, {}}, error); }, -1, ""},
        {[&] { return catalog.addMappingVariable({"$$X", i, static_cast<EXMapVarType>(7)}, error); }, -1, ""},
    };
    for (size_t r = 0; r < std::size(rows); ++r) {
        error.clear();
        EXPECT_EQ(rows[r].add(), rows[r].rc) << "row " << r << ": " << error;
        EXPECT_NE(error.find(rows[r].mentions), std::string::npos) << "row " << r << ": " << error;
    }
    EXPECT_EQ(catalog.getNumPorts(), 2u);
    EXPECT_EQ(catalog.getPort(1).qualifiers, std::vector<std::string>{"OTHER"});
    EXPECT_THROW(catalog.getPort(2), QvAssertFailure);
    XCatalog copy = catalog, assigned;  // copies are independent
    assigned = catalog;
    ASSERT_EQ(copy.addPort({"B", {}, i}, error), 0);
    EXPECT_EQ(answers({catalog.getNumPorts(), assigned.getNumPorts(), copy.getNumPorts()}), "2 2 3");
}

// ================================================================ loading JSON

TEST(XCatalogJsonTest, LoadsEverySection) {
    auto catalog = loadOrders();
    EXPECT_EQ(catalog->getKind(), XCatalogExprKind::transformation);
    const XCatalogSettings& set = catalog->getSettings();
    auto opt = [](auto value) { return value ? static_cast<int>(*value) : -1; };  // -1: unset
    EXPECT_EQ(answers({opt(set.highPrecision), opt(set.decimalMaxPrecision), set.relaxValidation,
                                     set.allowNullType, set.upgrade, opt(set.serverAscii), catalog->getNumPorts()}),
              "1 28 1 1 0 0 7");
    EXPECT_NE(catalog->findMappingVariable(U("$$max_id").getBuffer()), nullptr);
    EXPECT_NE(catalog->findWorkflowVariable(U("$S_LOAD.status").getBuffer()), nullptr);
    EXPECT_NE(catalog->findUserFunction(U("net").getBuffer()), nullptr);
    EXPECT_NE(
        catalog->findWidget(XCatalogWidgetKind::externalProcedure, U("ext_clean").getBuffer()),
        nullptr);
    EXPECT_EQ(catalog->findWidget(XCatalogWidgetKind::lookup, U("EXT_CLEAN").getBuffer()), nullptr);
    // A minimal catalog is a transformation and leaves the settings unset;
    // JSON without any space between its tokens reads the same.
    XCatalog minimal, compact;
    std::string error;
    ASSERT_EQ(XCatalog::loadJsonText("{}", "min.json", minimal, error), 0) << error;
    EXPECT_EQ(minimal.getKind(), XCatalogExprKind::transformation);
    ASSERT_EQ(
        XCatalog::loadJsonText(R"({"ports":[{"name":"A","type":"int"},{"name":"B","type":"int"}],"kind":"workflow"})",
                               "compact.json", compact, error),
        0)
        << error;
    EXPECT_EQ(answers({compact.getNumPorts(), compact.getKind() == XCatalogExprKind::workflow}), "2 1");
    EXPECT_FALSE(minimal.getSettings().highPrecision.has_value() || minimal.getSettings().serverAscii.has_value());
    // An empty settings object leaves every switch off.
    ASSERT_EQ(XCatalog::loadJsonText("{\"settings\": {}}", "min.json", minimal, error), 0) << error;
    const XCatalogSettings& off = minimal.getSettings();
    EXPECT_FALSE(off.relaxValidation || off.allowNullType || off.upgrade);
}

// Each row: line, column, words the message holds, the catalog text. Nothing
// is half-loaded: a refused catalog is the one it was before.
TEST(XCatalogJsonTest, MalformedCatalogsAreRefusedWithLineAndColumn) {
    const struct {
        int line, column;
        const char* mentions;
        const char* text;
    } cases[] = {
        {1, 1, "malformed JSON", ""},
        {3, 24, "malformed JSON", "{\n  \"ports\": [\n    { \"name\": \"A\" \"type\": \"int\" }\n]}"},
        {2, 1, "malformed JSON", "{\"ports\": [],\n}"},
        {1, 1, "expected an object", "[1, 2]"},
        {2, 3, "unknown key \"port\"", "{\n  \"port\": []\n}"},
        {1, 10, "\"mapping\" is not one of", "{\"kind\": \"mapping\"}"},
        {2, 24, "unknown data type \"strng\"", "{\"ports\": [\n {\"name\": \"A\", \"type\": \"strng(5)\"}]}"},
        {1, 34, "ports[0].type", "{\"ports\": [{\"name\": \"A\", \"type\": 5}]}"},
        {2, 3, "missing required key \"type\"", "{\"ports\": [\n  {\"name\": \"A\"}]}"},
        {2, 21, "declared twice",
         "{\"ports\": [{\"name\": \"A\", \"type\": \"int\"},\n           {\"name\": \"a\", \"type\": \"int\"}]}"},
        {2, 2, "key \"ports\" appears twice", "{\"ports\": [],\n \"ports\": []}"},
        {1, 38, "18 or 28", "{\"settings\": {\"decimalMaxPrecision\": 38}}"},
        {1, 38, "not 4294967324", "{\"settings\": {\"decimalMaxPrecision\": 4294967324}}"},
        {1, 26, "true or false", "{\"settings\": {\"upgrade\": \"yes\"}}"},
        {1, 69, "mappingVariables[0].aggregation",
         "{\"mappingVariables\": [{\"name\": \"$$V\", \"type\": \"int\", \"aggregation\": \"sum\"}]}"},
        {2, 24, "functions[0].arguments[1]",
         "{\"functions\": [{\"name\": \"F\", \"result\": \"int\",\n  \"arguments\": [\"int\", \"decimal(40)\"]}]}"},
        {1, 14, "missing required key \"result\"", "{\"lookups\": [{\"name\": \"L\"}]}"},
        {1, 35, "unknown data type", "{\"ports\": [{\"name\": \"\xC3\xA9\xC3\xA9\", \"type\": \"x\"}]}"},  // columns count characters
    };
    for (const auto& c : cases) {
        XCatalog catalog;
        std::string error;
        ASSERT_EQ(catalog.addPort({"KEEP", {}, XCatalogType::integer()}, error), 0);
        ASSERT_EQ(XCatalog::loadJsonText(c.text, "cat.json", catalog, error), -1) << c.text;
        const std::string where = "cat.json:" + std::to_string(c.line) + ":" + std::to_string(c.column) + ": error: ";
        EXPECT_EQ(error.rfind(where, 0), 0u) << c.text << ": " << error;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(catalog.getNumPorts(), 1u) << c.text;
    }
}

TEST(XCatalogJsonTest, LoadsAFileAndNamesItInMessages) {
    XCatalog catalog;
    std::string error;
    EXPECT_EQ(XCatalog::loadJsonFile("/nonexistent/cat.json", catalog, error), -1);
    EXPECT_EQ(error.rfind("/nonexistent/cat.json: error: cannot read", 0), 0u) << error;
    EXPECT_EQ(XCatalog::loadJsonFile(::testing::TempDir(), catalog, error), -1);
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
    std::string path = ::testing::TempDir() + "/xcatalog_test_catalog.json";
    std::ofstream(path) << "{\n  \"ports\": [ {\"name\": \"A\", \"type\": \"int\"} ],\n  \"kind\": 5\n}\n";
    EXPECT_EQ(XCatalog::loadJsonFile(path, catalog, error), -1);
    EXPECT_EQ(error.rfind(path + ":3:11: error: kind: expected a string", 0), 0u) << error;
    std::ofstream(path) << "{ \"ports\": [ {\"name\": \"A\", \"type\": \"int\"} ] }";
    EXPECT_EQ(XCatalog::loadJsonFile(path, catalog, error), 0) << error;
    EXPECT_EQ(catalog.getNumPorts(), 1u);
    std::filesystem::remove(path);
}

// ================================================================ lexer questions

TEST(XCatalogContextTest, MappingVariablesMatchTheLongestDeclaredName) {
    XCatalog catalog;
    std::string error;
    for (const char* name : {"$$A", "$$AB", "$$ABC_D", "$$\xC3\x89T\xC3\x89", "\xC3\x89t\xC3\xA9_X"}) {
        ASSERT_EQ(catalog.addMappingVariable({name, XCatalogType::integer()}, error), 0);
    }
    XCatalogContext context(std::make_shared<XCatalog>(catalog));
    const struct {
        const char* text;
        size_t pos, length;  // 0: no match
    } cases[] = {
        {"$$A", 0, 3},      {"$$AB+1", 0, 4}, {"$$ab)", 0, 4},      {"$$abc_d", 0, 7},
        {"x + $$Ab", 4, 4}, {"$$ABC", 0, 0},  {"$$ABX", 0, 0},      {"$$A1", 0, 0},
        {"$$A.B", 0, 3},    {"$$A\t", 0, 3},  {"$$A$$B", 0, 3},     {"$$", 0, 0},
        {"A$$A", 0, 0},     {"$$A", 1, 0},    {"$$A", 3, 0},        {"$$A_", 0, 0},
        {"$$AB#", 0, 0},    {"$$AB@", 0, 0},  {"$$ABC_D--c", 0, 7},
        // non-ASCII names ($$ÉTÉ, Été_X) match without regard to case
        {"$$\xC3\xA9t\xC3\xA9 + 1", 0, 5}, {"\xC3\xA9T\xC3\x89_x", 0, 5}, {"$$\xC3\xA9t\xC3\xA9s", 0, 0},
    };
    for (const auto& c : cases) {
        size_t length = 99;
        int found = context.containsValidTokenMapVar(U(c.text), c.pos, length);
        EXPECT_EQ(found, c.length ? 1 : 0) << c.text << " at " << c.pos;
        EXPECT_EQ(length, c.length ? c.length : 99u) << c.text;
    }
    // Names of any length are found, also past the lengths the index tells apart.
    for (size_t length : {62, 63, 64, 100}) {
        const std::string name = "$$" + std::string(length - 2, 'L');
        ASSERT_EQ(catalog.addMappingVariable({name, XCatalogType::integer()}, error), 0);
        EXPECT_NE(catalog.findMappingVariable(U(name).getBuffer()), nullptr) << length;
        EXPECT_EQ(catalog.findMappingVariable(U(name + "L").getBuffer()), nullptr) << length;
    }
}

TEST(XCatalogContextTest, WorkflowVariablesMatchLongestAndTellPredefined) {
    XCatalogContext context(loadOrders());
    const struct {
        const char* text;
        size_t length;  // 0: no match
        int preDefined;
    } cases[] = {{"$s_load.Status = 1", 14, 1}, {"$S_LOAD.Other", 7, 1}, {"$$run_mode='X'", 10, 0},
                 {"$s_loader", 0, -1}};
    for (const auto& c : cases) {
        size_t length = 0;
        int preDefined = -1;
        EXPECT_EQ(context.containsValidTokenWflowVar(U(c.text), 0, length, preDefined),
                  c.length ? 1 : 0) << c.text;
        if (c.length) {
            EXPECT_EQ(length, c.length) << c.text;
            EXPECT_EQ(preDefined, c.preDefined) << c.text;
        }
    }
    // The two kinds of variable are asked about separately.
    size_t length = 0;
    EXPECT_EQ(context.containsValidTokenMapVar(U("$$RUN_MODE"), 0, length), 0);
}

TEST(XCatalogContextTest, CustomFunctionsByName) {
    XCatalogContext context(loadOrders());
    const struct {
        const char* name;
        int ext, agg;
    } cases[] = {{"GEO_DIST", 1, 0}, {"geo_dist", 1, 0}, {":UDF.NET", 1, 0}, {":udf.net", 1, 0},
                 {"NET", 0, 0},  // a UDF needs its prefix
                 {":UDF.GEO_DIST", 0, 0}, {":UDF.", 0, 0}, {"LKP_TIER", 0, 0}, {"w_avg", 1, 1},
                 {"UNKNOWN", 0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(context.containsValidExtFunc(U(c.name)), c.ext) << c.name;
        EXPECT_EQ(context.isExtAggFunc(U(c.name)), c.agg) << c.name;
    }
}

// ================================================================ settings

// "kind portAllowed relax allowNull upgrade | highPrecision decMax ascii",
// a configuration value the catalog leaves unset read as "u".
std::string reported(ExposedContext& context) {
    auto config = [](int rc, int value) { return rc ? std::string("u") : std::to_string(value); };
    int high = -7, decMax = -7, ascii = -7;
    const int rcHigh = context.getConfigIsHighPrecision(high), rcDec = context.getConfigDecMaxPrecision(decMax),
              rcAscii = context.getConfigIsAscii(ascii);
    return std::to_string(context.getXpressionContext()) + " " + std::to_string(context.isPortAllowed()) + " " +
           std::to_string(context.isRelaxValidationSet()) + " " + std::to_string(context.isAllowNullTypeSet()) + " " +
           std::to_string(context.isUpgrade()) + " | " + config(rcHigh, high) + " " + config(rcDec, decMax) + " " +
           config(rcAscii, ascii);
}

TEST(XCatalogContextTest, ReportsKindAndSettings) {
    ExposedContext orders(loadOrders());
    EXPECT_EQ(reported(orders), "1 1 1 1 0 | 1 28 0");
    int value = -7;
    EXPECT_NE(orders.getConfigDebugPrintLevel(value), 0);
    XCatalog other;
    other.setKind(XCatalogExprKind::workflow);
    other.settings().upgrade = true;
    ExposedContext workflow(std::make_shared<XCatalog>(other));
    EXPECT_EQ(reported(workflow), "2 0 0 0 1 | u u u");
    other.setKind(XCatalogExprKind::either);
    EXPECT_EQ(XCatalogContext(std::make_shared<XCatalog>(other)).getXpressionContext(), 3);
}

// The catalog's server mode reaches the host; without one the host's stays.
TEST(XCatalogContextTest, AppliesTheServerModeThroughTheHost) {
    const int before = isServerModeASCII();
    const std::pair<std::optional<bool>, int> cases[] = {{true, 1}, {false, 0}, {std::nullopt, 0}, {std::nullopt, 1}};
    for (const auto& [setting, expected] : cases) {
        XCatalog catalog;
        catalog.settings().serverAscii = setting;
        qvSetServerModeASCII(setting ? !*setting : expected);  // the other mode, or the one to keep
        EXPECT_EQ(XCatalogContext(std::make_shared<XCatalog>(catalog)).applySettings(nullptr), 0);
        EXPECT_EQ(isServerModeASCII() != 0, expected != 0) << expected;
    }
    qvSetServerModeASCII(before);
}

TEST(XCatalogContextTest, RefusesADecimalMaximumTheLibraryCannotTake) {
    XCatalog catalog;
    catalog.settings().decimalMaxPrecision = 38;
    std::string error;
    EXPECT_EQ(catalog.checkSettings(error), -1);
    XCatalogContext context(std::make_shared<XCatalog>(catalog));
    EXPECT_EQ(context.applySettings(nullptr), -1);
}

// ================================================================ resolution

// The null-terminated argument array the validator hands to the context.
struct Args {
    explicit Args(std::vector<int> constness) : records(constness.size()) {
        for (size_t i = 0; i < records.size(); ++i) {
            records[i].setIsConst(constness[i]);
            pointers.push_back(&records[i]);
        }
        pointers.push_back(nullptr);
    }
    XMetadata** get() { return pointers.data(); }
    std::vector<XMetadata> records;
    std::vector<XMetadata*> pointers;
};

// A record the context filled, with the catalog entry it points at named
// "entry", or "-" when the find failed.
std::string found(int rc, const XMetadata& record) {
    if (rc != 0) return "-";
    return xtestsupport::recordText(record, {{record.getRef().getCPtr(), "entry"}});
}

// The orders catalog behind a context, with the message texts its find
// operations write.
class OrdersContextTest : public ::testing::Test {
protected:
    std::string port(std::vector<std::string> qualifiers, const char* name) {
        Qualifiers q(std::move(qualifiers));
        XMetadataPort out;
        const int rc = context.findPort(q.get(), U(name).getBuffer(), &out, err, warn);
        const auto* entry = static_cast<const XCatalogPort*>(out.getRef().getCPtr());
        return found(rc, out) + (rc ? "" : " #" + std::to_string(out.getPortId().toInteger()) + " " +
                                                            (entry ? entry->name : "?"));
    }
    int findWidget(std::vector<std::string> qualifiers, const char* name, std::vector<int> args,
                   XMetadataWidget& out) {
        Qualifiers q(std::move(qualifiers));
        Args a(std::move(args));
        return context.findWidget(q.get(), U(name).getBuffer(), a.get(), &out, err, warn);
    }
    int findExtFunc(const char* name, std::vector<int> constness, int isMacro,
                    XMetadataWidget& out, int& isConst) {
        Args a(std::move(constness));
        return context.findExtFunc(U(name).getBuffer(), a.get(), isMacro, &out, isConst, err, warn);
    }
    std::string errors() const { return err.toUtf8(); }

    XCatalogContext context{loadOrders()};
    QvUString err;
    QvUString warn;
};

// Both string kinds hold text of the server's character mode, which decides
// the one string type of expressions; decimals follow the precision mode.
TEST_F(OrdersContextTest, FindPortFillsTheRecord) {
    const bool high = XType::getIsHighPrecisionMode();
    const struct {
        int ascii;
        std::vector<std::string> qualifiers;
        const char* name;
        std::string record;
    } cases[] = {
        {0, {}, "order_id", "BIGINT/-4/0 a1 ref=entry #1 ORDER_ID"},
        {0, {}, "RATE", "DEC18/9/4 a1 ref=entry #5 RATE"},
        {0, {}, "SHIPPED", "DATE/-4/9 a1 ref=entry #6 SHIPPED"},
        {0, {}, "blob", "BINARY/16/0 a1 ref=entry #7 BLOB"},
        {0, {}, "PRICE", high ? "DEC18/12/2 a1 ref=entry #4 PRICE" : "FLOAT/-4/0 a1 ref=entry #4 PRICE"},
        {0, {"sq_orders"}, "NAME", "UNISTRING/80/0 a1 ref=entry #2 NAME"},
        {0, {"SQ_CUSTOMERS"}, "NAME", "UNISTRING/40/0 a1 ref=entry #3 NAME"},
        {1, {"sq_orders"}, "NAME", "STRING/80/0 a1 ref=entry #2 NAME"},
        {1, {"SQ_CUSTOMERS"}, "NAME", "STRING/40/0 a1 ref=entry #3 NAME"},
        {0, {}, "NOPE", "-"},
        {0, {"SQ_OTHER"}, "ORDER_ID", "-"},
        {0, {"SQ_ORDERS", "FOLDER"}, "ORDER_ID", "-"},
    };
    const int before = isServerModeASCII();
    for (const auto& c : cases) {
        qvSetServerModeASCII(c.ascii);
        EXPECT_EQ(port(c.qualifiers, c.name), c.record) << c.name;
    }
    qvSetServerModeASCII(before);
    EXPECT_TRUE(err.isEmpty());  // the library reports an unknown name itself
    EXPECT_EQ(port({}, "NAME"), "-");
    EXPECT_NE(errors().find("SQ_ORDERS.NAME"), std::string::npos) << errors();
    EXPECT_NE(errors().find("SQ_CUSTOMERS.NAME"), std::string::npos) << errors();
    XMetadataPort bare;  // a null qualifier list is no qualifiers at all
    EXPECT_EQ(context.findPort(nullptr, U("ORDER_ID").getBuffer(), &bare, err, warn), 0);
}

// The closest port wins whichever order the ports were declared in.
TEST(XCatalogContextTest, ExactQualifiersWinOverShorterReferences) {
    const XCatalogPort ports[] = {{"P", {}, XCatalogType::integer()}, {"P", {"T"}, XCatalogType::bigint()},
                                  {"P", {"F", "T"}, XCatalogType::floating()}};
    for (bool reversed : {false, true}) {
        XCatalog catalog;
        std::string error;
        for (size_t i = 0; i < std::size(ports); ++i)
            ASSERT_EQ(catalog.addPort(ports[reversed ? std::size(ports) - 1 - i : i], error), 0);
        XCatalogContext context(std::make_shared<XCatalog>(catalog));
        QvUString err, warn;
        const std::pair<std::vector<std::string>, int> cases[] = {
            {{}, eXDT_INT}, {{"T"}, eXDT_BIGINT}, {{"T", "F"}, eXDT_FLOAT}};
        for (const auto& [qualifiers, type] : cases) {
            Qualifiers q(qualifiers);
            XMetadataPort port;
            ASSERT_EQ(context.findPort(q.get(), U("p").getBuffer(), &port, err, warn), 0);
            EXPECT_EQ(port.getDataType().toInteger(), type) << reversed;
        }
    }
}

TEST_F(OrdersContextTest, FindMapVarAndWorkflowVar) {
    const std::pair<const char*, const char*> mapVars[] = {
        {"$$max_id", "BIGINT/-4/0 a0 param1 ref=entry max0"},
        {"$$MAX_ID_SEEN", "BIGINT/-4/0 a0 param1 ref=entry any1"},
        {"$$MAX", "-"}};
    for (const auto& [name, expected] : mapVars) {
        XMetadataMapVar var;
        const int rc = context.findMapVar(U(name).getBuffer(), &var);
        const char* kind = var.getMapVarType() == eXMVT_MAX ? " max" : var.getMapVarType() == eXMVT_ANY ? " any" : " ?";
        EXPECT_EQ(found(rc, var) + (rc ? "" : kind + std::to_string(var.getIsAggContext())), expected);
    }
    const std::pair<const char*, const char*> workflowVars[] = {{"$S_LOAD.STATUS", "INT/-4/0 a1 ref=entry"},
                                                                {"$$RUN_MODE", "UNISTRING/10/0 a1 ref=entry"},
                                                                {"$$MAX_ID", "-"}};
    for (const auto& [name, expected] : workflowVars) {
        XMetadataWorkflowVar var;
        EXPECT_EQ(found(context.findWorkflowVar(U(name).getBuffer(), &var), var), expected) << name;
    }
}

// Arguments and result come from the catalog; a stored procedure without a
// declared result leaves the return record unset.
TEST_F(OrdersContextTest, FindWidgetDeclaresArgumentsAndResult) {
    XMetadataWidget lookup, credit, clean;
    ASSERT_EQ(lookup.allocateArgMetadata(1), 0);
    ASSERT_NE(findWidget({":lkp"}, "lkp_tier", {0}, lookup), -1);
    EXPECT_EQ(xtestsupport::recordText(*lookup.getArgMetadata(0)), "INT/-4/0 a1");
    EXPECT_EQ(lookup.isRetPortMetadataSet(), 1);
    EXPECT_EQ(lookup.getRetPortMetadata()->getNumCharsMax().toInteger(), 20);
    EXPECT_NE(lookup.getRef().getCPtr(), nullptr);
    ASSERT_EQ(credit.allocateArgMetadata(2), 0);
    ASSERT_NE(findWidget({":SP"}, "SP_CREDIT", {0, 0}, credit), -1);
    EXPECT_EQ(credit.isRetPortMetadataSet(), 0);
    EXPECT_EQ(xtestsupport::recordText(*credit.getArgMetadata(1)), "DEC28/20/2 a1");
    EXPECT_NE(findWidget({":Ext"}, "EXT_CLEAN", {0}, clean), -1);
    EXPECT_TRUE(err.isEmpty());
}

// A wrong argument count says why; the qualifier decides the kind (a lookup
// is no stored procedure) and must be the only one.
TEST_F(OrdersContextTest, FindWidgetRefusals) {
    XMetadataWidget wrongCount, wrongKind, qualified, bare;
    ASSERT_EQ(wrongCount.allocateArgMetadata(2), 0);
    EXPECT_EQ(findWidget({":LKP"}, "LKP_TIER", {0, 0}, wrongCount), -1);
    EXPECT_NE(errors().find("takes 1 argument"), std::string::npos) << errors();
    EXPECT_EQ(findWidget({":SP"}, "LKP_TIER", {0}, wrongKind), -1);
    err.makeEmpty();
    EXPECT_EQ(findWidget({"FOLDER", ":LKP"}, "LKP_TIER", {0}, qualified), -1);
    EXPECT_FALSE(err.isEmpty());
    EXPECT_EQ(findWidget({}, "LKP_TIER", {0}, bare), -1);
}

TEST_F(OrdersContextTest, FindExtFuncDeclaresTypesAndConstness) {
    const std::pair<std::vector<int>, int> cases[] = {{{1, 1}, 1}, {{1, 0}, 0}, {{0, 0}, 0}};
    for (const auto& [constness, expected] : cases) {
        XMetadataWidget call;
        ASSERT_EQ(call.allocateArgMetadata(2), 0);
        int isConst = -1;
        ASSERT_NE(findExtFunc("geo_dist", constness, 1, call, isConst), -1);
        EXPECT_EQ(isConst, expected);
        EXPECT_EQ(call.getRetPortMetadata()->getDataType().toInteger(), eXDT_FLOAT);
        EXPECT_EQ(call.isRetPortMetadataSet(), 1);
    }
    // A user-defined function is called as a macro; it is never constant.
    XMetadataWidget net, unknown, tooMany, notMacro;
    ASSERT_EQ(net.allocateArgMetadata(2), 0);
    int isConst = -1;
    ASSERT_NE(findExtFunc(":UDF.net", {1, 1}, 0, net, isConst), -1);
    EXPECT_EQ(isConst, 0);
    EXPECT_EQ(net.getArgMetadata(1)->getDataType().toInteger(), eXDT_INT);
    // Unknown functions and wrong argument counts say why: the library adds nothing.
    EXPECT_EQ(findExtFunc("NOPE", {1, 1}, 1, unknown, isConst), -1);
    EXPECT_NE(errors().find("NOPE"), std::string::npos);
    err.makeEmpty();
    EXPECT_EQ(findExtFunc("GEO_DIST", {0, 0, 0}, 1, tooMany, isConst), -1);
    EXPECT_NE(errors().find("takes 2"), std::string::npos) << errors();
    EXPECT_EQ(findExtFunc("GEO_DIST", {1, 1}, 0, notMacro, isConst), -1);
    Args args({1, 1});
    EXPECT_EQ(context.pushdownExtFunc(U("GEO_DIST").getBuffer(), args.get(), 0, 0, 0, err, warn), -1);
}

// ================================================================ real parses

struct Parsed {
    int status;
    std::string tree;
    std::string errors;
};

Parsed parseWith(XParserContext& context, const std::string& text) {
    XParser parser;
    parser.setParserContext(&context, 0);
    QvUString source = U(text);
    XTree* tree = nullptr;
    QvUString err;
    QvUString warn;
    Parsed result{parser.parse(source.getBuffer(), tree, err, warn, 0, 1), "", err.toUtf8()};
    if (tree) result.tree = xparsetest::printTree(tree->getRoot());
    delete tree;
    return result;
}

std::shared_ptr<XCatalog> relaxedCatalog(XCatalogExprKind kind) {
    auto catalog = loadOrders();
    catalog->setKind(kind);
    catalog->settings().relaxValidation = true;
    return catalog;
}

// Each row: the kind of expression, the text, whether it parses and how its
// printed tree starts (null: not checked).
TEST(XCatalogParseTest, WhatTheCatalogDeclaresDecidesTheParse) {
    constexpr auto kTransformation = XCatalogExprKind::transformation;
    constexpr auto kWorkflow = XCatalogExprKind::workflow;
    constexpr auto kEither = XCatalogExprKind::either;
    const struct {
        XCatalogExprKind kind;
        const char* text;
        bool ok;
        const char* treeStart;
    } cases[] = {
        // The lexer takes the longest declared variable that ends where the name does.
        {kTransformation, "$$MAX_ID_SEEN + 1", true, "PLUS($$MAX_ID_SEEN,"},
        {kTransformation, "$$max_id", true, nullptr}, {kTransformation, "$$MAX_IDX + 1", false, nullptr},
        // Functions only before a parenthesis.
        {kTransformation, "GEO_DIST (1.5, 2)", true, "EXTFUNC[GEO_DIST]"},
        {kTransformation, ":udf.NET(PRICE, 2)", true, "MACRO"},
        {kTransformation, "GEO_DIST + 1", true, "PLUS(GEO_DIST,"},
        // Widget calls with and without their qualifier.
        {kTransformation, ":LKP.LKP_TIER(ORDER_ID)", true, "LKP"},
        {kTransformation, "SP_CREDIT(ORDER_ID, PROC_RESULT)", true, "SP"},
        // Workflows have no ports and no row operations; transformations no task variables.
        {kWorkflow, "$s_load.Status = SUCCEEDED", true, nullptr}, {kWorkflow, "$$RUN_MODE = 'FULL'", true, nullptr},
        {kWorkflow, "DD_INSERT", false, nullptr}, {kWorkflow, "ORDER_ID > 1", false, nullptr},
        {kTransformation, "IIF(ORDER_ID > 1, DD_INSERT, DD_REJECT)", true, nullptr},
        {kTransformation, "$s_load.Status = 1", false, nullptr},
        {kEither, "$s_load.Status = SUCCEEDED", true, nullptr},
        {kEither, "IIF(ORDER_ID > 1, DD_INSERT, DD_REJECT)", true, nullptr},
    };
    for (const auto& c : cases) {
        XCatalogContext context(relaxedCatalog(c.kind));
        Parsed parsed = parseWith(context, c.text);
        EXPECT_EQ(parsed.status == 0, c.ok) << c.text << ": " << parsed.errors;
        if (c.treeStart) {
            EXPECT_EQ(parsed.tree.rfind(c.treeStart, 0), 0u) << c.text << ": " << parsed.tree;
        }
    }
    XParserContextNoSymbols nothing;
    EXPECT_NE(parseWith(nothing, "$$MAX_ID_SEEN + 1").status, 0);
}

}  // namespace
