// The catalog and its parser context: data types, building in code, loading
// JSON (and refusing malformed catalogs with a position), the settings the
// context reports, every find operation with the record it fills, and real
// parses that depend on what the catalog declares.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>

#include "cattest_support.h"
#include "qvcmnasrt.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xtype.h"
#include "qvutils.h"
#include "xparsetest.h"
#include "xtestsupport.h"

namespace {

using namespace cattest;

const char* kOrdersJson = R"json({"kind": "transformation",
  "settings": {"highPrecision": true, "decimalMaxPrecision": 28, "relaxValidation": true, "allowNullType": true,
               "upgrade": false, "serverMode": "unicode"},
  "ports": [{"name": "ORDER_ID", "qualifiers": ["SQ_ORDERS"], "type": "bigint"},
    {"name": "NAME", "qualifiers": ["SQ_ORDERS"], "type": "string(80)"},
    {"name": "NAME", "qualifiers": ["SQ_CUSTOMERS"], "type": "unistring(40)"},
    {"name": "PRICE", "type": "decimal(12,2)"},
    {"name": "RATE", "type": "dec18(9,4)"},
    {"name": "SHIPPED", "type": "date"}, {"name": "BLOB", "type": "binary(16)"}],
  "mappingVariables": [{"name": "$$MAX_ID", "type": "bigint", "aggregation": "max"},
    {"name": "$$MAX_ID_SEEN", "type": "bigint", "aggregation": "any", "aggregationContext": true}],
  "workflowVariables": [{"name": "$s_load", "type": "int", "predefined": true},
    {"name": "$s_load.Status", "type": "int", "predefined": true}, {"name": "$$RUN_MODE", "type": "string(10)"}],
  "functions": [{"name": "NET", "userDefined": true, "arguments": ["decimal(12,2)", "int"], "result": "decimal(14,2)"},
    {"name": "GEO_DIST", "arguments": ["float", "float"], "result": "float", "constant": true},
    {"name": "W_AVG", "arguments": ["float"], "result": "float", "aggregate": true}],
  "lookups": [{"name": "LKP_TIER", "arguments": ["int"], "result": "string(20)"}],
  "storedProcedures": [{"name": "SP_CREDIT", "arguments": ["int", "dec28(20,2)"]}],
  "externalProcedures": [{"name": "EXT_CLEAN", "arguments": ["string(200)"], "result": "string(200)"}]})json";

// ================================================================ data types

// What parse reads from each text; what toString writes, parse reads back unchanged.
TEST(XCatalogTypeTest, ParsesAndWritesBack) {
    const struct { const char* text; unsigned int hostType; int precision, scale; } cases[] = {
        {"string(60)", eQvCDT_STRING, 60, 0},
        {" unistring( 5 ) ", eQvCDT_UNISTRING, 5, 0},
        {"int", eQvCDT_INT, 10, 0},
        {"bigint", eQvCDT_BIGINT, 19, 0},
        {"float", eQvCDT_FLOAT, 15, 0},
        {"date", eQvCDT_DATE, 29, 9},
        {"binary(16)", eQvCDT_BINARY, 16, 0},
        {"dec18", eQvCDT_DEC18, 18, 0},
        {"dec28(20)", eQvCDT_DEC28, 20, 0},
        {"dec38(38,38)", eQvCDT_DEC38, 38, 38},
        {"decimal(1)", eQvCDT_DEC18_FIXED, 1, 0},
        {"decimal(18,2)", eQvCDT_DEC18_FIXED, 18, 2},
        {"decimal(19,2)", eQvCDT_DEC28_FIXED, 19, 2},
        {"decimal(28,0)", eQvCDT_DEC28_FIXED, 28, 0},
        {"decimal(29,3)", eQvCDT_DEC38_FIXED, 29, 3},
        {"decimal(38,38)", eQvCDT_DEC38_FIXED, 38, 38},
    };
    XCatalogType type, again;
    std::string error;
    for (const auto& c : cases) {
        ASSERT_EQ(XCatalogType::parse(c.text, type, error), 0) << c.text << ": " << error;
        EXPECT_EQ(type, (XCatalogType{c.hostType, c.precision, c.scale})) << c.text;
        EXPECT_TRUE(XCatalogType::parse(type.toString(), again, error) == 0 && again == type) << type.toString();
    }
    for (const char* text : {"string", "string(0)", "string(104857601)", "string(5,1)", "int(5)", "date(29,9)",
                             "dec18(19)", "dec28(10,11)", "decimal", "decimal(39)", "decimal(5,-1)",
                             "decimal(5,2,1)", "STRING(10)", "strng(10)", "string(10", "string(x)", "string()", ""})
        EXPECT_TRUE(XCatalogType::parse(text, type, error = "") == -1 && !error.empty()) << text;
    EXPECT_EQ(answers({XCatalogType{eQvCDT_DEC18_FIXED, 20, 0}.check(error), XCatalogType{eQvCDT_NULL}.check(error),
                       XCatalogType{eQvCDT_INT, 11}.check(error), XCatalogType::decimal(20, 2).check(error)}),
              "-1 -1 -1 0");
}

// ================================================================ building in code

// Each row adds one entry to the same catalog: refused entries leave it
// unchanged, duplicates count per namespace and without regard to case.
TEST(XCatalogBuildTest, RefusedEntriesLeaveTheCatalogUnchanged) {
    XCatalog catalog;
    std::string error;
    const XCatalogType i = XCatalogType::integer(), noString = XCatalogType::string(0);
    const auto kNoKind = static_cast<XCatalogWidgetKind>(3);
    auto arrays = [](int n) {  // array<array<...int>>, n levels deep
        return std::regex_replace(std::string(n, '<') + "int" + std::string(n, '>'), std::regex("<"), "array<"); };
    const struct { std::function<int()> add; int rc; const char* mentions; } rows[] = {
        {[&] { return catalog.addPort({"QTY", {"SQ"}, i}, error); }, 0, ""},
        {[&] { return catalog.addPort({"qty", {"sq"}, XCatalogType::bigint()}, error); }, -1, "twice"},
        {[&] { return catalog.addPort({"QTY", {"OTHER"}, XCatalogType::bigint()}, error); }, 0, ""},
        {[&] { return catalog.addPort({"", {}, i}, error); }, -1, ""},
        {[&] { return catalog.addPort({"MY PORT", {}, i}, error); }, -1, ""},
        {[&] { return catalog.addPort({"S", {}, noString}, error); }, -1, ""},
        {[&] { return catalog.addPort({"SQ.P", {}, i}, error); }, -1, "qualifiers"},
        {[&] { return catalog.addPort({"P", {"A+B"}, i}, error); }, -1, ""},
        {[&] { return catalog.addStructTypes({{"S", "", {{"F", "int"}}}}, error); }, 0, ""},
        {[&] { return catalog.addPort({"H", {}, {}, "struct S"}, error); }, 0, ""},
        {[&] { return catalog.addPort({"H2", {}, {}, "struct NOPE"}, error); }, -1, "unknown struct type"},
        // Type texts nest at most 64 levels deep.
        {[&] { return catalog.addPort({"H3", {}, {}, arrays(64)}, error); }, 0, ""},
        {[&] { return catalog.addPort({"H4", {}, {}, arrays(65)}, error); }, -1, "nested more than 64"},
        {[&] { return catalog.addMappingVariable({"$$V", i}, error); }, 0, ""},
        {[&] { return catalog.addMappingVariable({"$$v", i}, error); }, -1, ""},
        {[&] { return catalog.addWorkflowVariable({"$$V", i}, error); }, 0, ""},
        {[&] { return catalog.addWorkflowVariable({"$$V", i}, error); }, -1, ""},
        {[&] { return catalog.addWorkflowVariable({"$$W", noString}, error); }, -1, "workflow variable $$W"},
        // External and user-defined functions live apart; the :UDF. prefix may be written.
        {[&] { return catalog.addFunction({"F", false, {}, i}, error); }, 0, ""},
        {[&] { return catalog.addFunction({":udf.F", true, {}, i}, error); }, 0, ""},
        {[&] { return catalog.addFunction({"f", true, {}, i}, error); }, -1, ""},
        {[&] { return catalog.addFunction({"G", false, {noString}, i}, error); }, -1, ""},
        // A lookup and a stored procedure may share a name; the call's qualifier tells them apart.
        {[&] { return catalog.addWidget({XCatalogWidgetKind::lookup, "W", {}, i}, error); }, 0, ""},
        {[&] { return catalog.addWidget({XCatalogWidgetKind::storedProcedure, "W", {}, {}}, error); }, 0, ""},
        {[&] { return catalog.addWidget({XCatalogWidgetKind::lookup, "w", {}, {}}, error); }, -1, ""},
        // Widgets are indexed by kind: a number that names no kind cannot be declared and finds nothing.
        {[&] { return catalog.addWidget({kNoKind, "W", {}, {}}, error); }, -1, "unknown kind"},
        {[&] { return catalog.addMappingVariable({"$$X", i, static_cast<EXMapVarType>(7)}, error); }, -1, ""},
    };
    for (size_t r = 0; r < std::size(rows); ++r) {
        error.clear();
        EXPECT_TRUE(rows[r].add() == rows[r].rc && error.find(rows[r].mentions) != std::string::npos) << r << error;
    }
    EXPECT_EQ(catalog.findWidget(kNoKind, qvU("W").getBuffer()), nullptr);
    EXPECT_THROW(catalog.getPort(4), QvAssertFailure);
    XCatalog copy = catalog, assigned;  // copies are independent
    assigned = catalog;
    ASSERT_EQ(copy.addPort({"B", {}, i}, error), 0);
    EXPECT_EQ(answers({catalog.getNumPorts(), assigned.getNumPorts(), copy.getNumPorts()}), "4 4 5");
}

// ================================================================ loading JSON

TEST(XCatalogJsonTest, LoadsEverySection) {
    auto catalog = loaded(kOrdersJson);
    const XCatalogSettings& set = catalog->getSettings();
    auto opt = [](auto value) { return value ? static_cast<int>(*value) : -1; };  // -1: unset
    EXPECT_EQ(answers({catalog->getKind(), opt(set.highPrecision), opt(set.decimalMaxPrecision), set.relaxValidation,
                       set.allowNullType, set.upgrade, opt(set.serverAscii), catalog->getNumPorts()}),
              "1 1 28 1 1 0 0 7");
    // A minimal catalog is a transformation and leaves the settings unset; an
    // empty settings object leaves every switch off; JSON without any space
    // between its tokens reads the same.
    const XCatalogSettings no = loaded("{}")->getSettings(), off = loaded(R"({"settings": {}})")->getSettings();
    EXPECT_EQ(answers({loaded("{}")->getKind(), no.highPrecision.has_value(), no.serverAscii.has_value()}), "1 0 0");
    EXPECT_EQ(answers({off.relaxValidation, off.allowNullType, off.upgrade}), "0 0 0");
    auto compact = loaded(R"({"ports":[{"name":"A","type":"int"},{"name":"B","type":"int"}],"kind":"workflow"})");
    EXPECT_EQ(answers({compact->getNumPorts(), compact->getKind()}), "2 2");
}

// Each row: line, column, words the message holds, the catalog text. Nothing
// is half-loaded: a refused catalog is the one it was before.
TEST(XCatalogJsonTest, MalformedCatalogsAreRefusedWithLineAndColumn) {
    const struct { int line, column; const char* mentions; const char* text; } cases[] = {
        {1, 1, "malformed JSON", ""},
        {3, 24, "malformed JSON", "{\n  \"ports\": [\n    { \"name\": \"A\" \"type\": \"int\" }\n]}"},
        {1, 1, "expected an object", "[1, 2]"},
        {2, 3, "unknown key \"port\"", "{\n  \"port\": []\n}"},
        {1, 12, "malformed JSON: number overflow parsing '1e999'", R"j({"ports": [1e999]})j"},
        {2, 11, "malformed JSON: number overflow parsing '-1e400'", "{\n  \"kind\": -1e400\n}"},
        {2, 24, "unknown data type \"strng\"", "{\"ports\": [\n {\"name\": \"A\", \"type\": \"strng(5)\"}]}"},
        {1, 34, "ports[0].type", R"({"ports": [{"name": "A", "type": 5}]})"},
        {2, 3, "missing required key \"type\"", "{\"ports\": [\n  {\"name\": \"A\"}]}"},
        {2, 10, "declared twice", R"({"ports": [{"name": "A", "type": "int"},)" "\n" R"({"name": "a", "type": "int"}]})"},
        {2, 2, "key \"ports\" appears twice", "{\"ports\": [],\n \"ports\": []}"},
        {1, 38, "18 or 28", R"({"settings": {"decimalMaxPrecision": 38}})"},
        {1, 38, "not 4294967324", R"({"settings": {"decimalMaxPrecision": 4294967324}})"},
        {1, 26, "true or false", R"({"settings": {"upgrade": "yes"}})"},
        {1, 69, "mappingVariables[0].aggregation",
         R"({"mappingVariables": [{"name": "$$V", "type": "int", "aggregation": "sum"}]})"},
        {2, 24, "functions[0].arguments[1]",
         "{\"functions\": [{\"name\": \"F\", \"result\": \"int\",\n  \"arguments\": [\"int\", \"decimal(40)\"]}]}"},
        {1, 14, "missing required key \"result\"", R"({"lookups": [{"name": "L"}]})"},
        {1, 35, "unknown data type", R"({"ports": [{"name": "éé", "type": "x"}]})"},  // columns count characters
    };
    XCatalog catalog;
    std::string error;
    ASSERT_EQ(catalog.addPort({"KEEP", {}, XCatalogType::integer()}, error), 0);
    for (const auto& c : cases) {
        ASSERT_EQ(XCatalog::loadJsonText(c.text, "cat.json", catalog, error), -1) << c.text;
        const std::string where = "cat.json:" + std::to_string(c.line) + ":" + std::to_string(c.column) + ": error: ";
        EXPECT_TRUE(error.rfind(where, 0) == 0 && error.find(c.mentions) != std::string::npos &&
                    error.find('\n') == std::string::npos) << c.text << ": " << error;
    }
    EXPECT_EQ(catalog.getNumPorts(), 1u);
}

TEST(XCatalogJsonTest, LoadsAFileAndNamesItInMessages) {
    XCatalog catalog;
    std::string error;
    EXPECT_TRUE(XCatalog::loadJsonFile("/nonexistent/cat.json", catalog, error) == -1 &&
                error.rfind("/nonexistent/cat.json: error: cannot read", 0) == 0) << error;
    EXPECT_TRUE(XCatalog::loadJsonFile(::testing::TempDir(), catalog, error = "") == -1 && !error.empty()) << error;
    std::string path = ::testing::TempDir() + "/xcatalog_test_catalog.json";
    std::ofstream(path) << "{\n  \"ports\": [ {\"name\": \"A\", \"type\": \"int\"} ],\n  \"kind\": 5\n}\n";
    EXPECT_TRUE(XCatalog::loadJsonFile(path, catalog, error) == -1 &&
                error.rfind(path + ":3:11: error: kind: expected a string", 0) == 0) << error;
    std::ofstream(path) << "{ \"ports\": [ {\"name\": \"A\", \"type\": \"int\"} ] }";
    EXPECT_EQ(XCatalog::loadJsonFile(path, catalog, error), 0) << error;
    EXPECT_EQ(catalog.getNumPorts(), 1u);
    std::filesystem::remove(path);
}

// ================================================================ settings

// The protected configuration getters, for checking what the context reports.
class ExposedContext : public XCatalogContext {
public:
    using XCatalogContext::XCatalogContext;
    // "kind portAllowed relax allowNull upgrade", then the status and the value of the highPrecision, decMax
    // and ascii configuration getters (-7: a value the catalog leaves unset is not written).
    std::string reported() {
        int high = -7, decMax = -7, ascii = -7;
        return answers({getXpressionContext(), isPortAllowed(), isRelaxValidationSet(), isAllowNullTypeSet(),
                        isUpgrade(), getConfigIsHighPrecision(high), high, getConfigDecMaxPrecision(decMax), decMax,
                        getConfigIsAscii(ascii), ascii});
    }
};

TEST(XCatalogContextTest, ReportsKindAndSettings) {
    ExposedContext orders(loaded(kOrdersJson));
    EXPECT_EQ(orders.reported(), "1 1 1 1 0 0 1 0 28 0 0");
    XCatalog other;
    other.setKind(XCatalogExprKind::workflow);
    other.settings().upgrade = true;
    EXPECT_EQ(ExposedContext(std::make_shared<XCatalog>(other)).reported(), "2 0 0 0 1 -1 -7 -1 -7 -1 -7");
    // A decimal maximum the library cannot take is refused.
    other.settings().decimalMaxPrecision = 38;
    EXPECT_EQ(XCatalogContext(std::make_shared<XCatalog>(other)).applySettings(nullptr), -1);
}

// The catalog's server mode reaches the host; without one the host's stays.
TEST(XCatalogContextTest, AppliesTheServerModeThroughTheHost) {
    const std::pair<std::optional<bool>, int> cases[] = {{true, 1}, {false, 0}, {std::nullopt, 0}, {std::nullopt, 1}};
    for (const auto& [setting, expected] : cases) {
        XCatalog catalog;
        catalog.settings().serverAscii = setting;
        xtestsupport::ServerMode mode(setting ? !*setting : expected);  // the other mode, or the one to keep
        EXPECT_TRUE(XCatalogContext(std::make_shared<XCatalog>(catalog)).applySettings(nullptr) == 0 &&
                    (isServerModeASCII() != 0) == (expected != 0)) << expected;
    }
}

// ================================================================ resolution

// A record the context filled, with the catalog entry it points at named
// "entry", or "-" when the find failed.
std::string found(int rc, const XMetadata& record) {
    return rc ? "-" : xtestsupport::recordText(record, {{record.getRef().getCPtr(), "entry"}});
}

// The orders catalog behind a context, with the message texts its find
// operations write.
class OrdersContextTest : public ::testing::Test {
protected:
    std::string port(const std::vector<std::string>& qualifiers, const char* name) {
        XMetadataPort out;
        const int rc = context.findPort(Qualifiers(qualifiers).get(), qvU(name).getBuffer(), &out, err, warn);
        return found(rc, out);
    }
    int findWidget(const std::vector<std::string>& quals, const char* name, std::vector<int> args, auto& out) {
        return context.findWidget(Qualifiers(quals).get(), qvU(name).getBuffer(), Args(args).get(), &out, err, warn);
    }
    int findExtFunc(const char* name, std::vector<int> constness, int isMacro, XMetadataWidget& out, int& isConst) {
        return context.findExtFunc(qvU(name).getBuffer(), Args(constness).get(), isMacro, &out, isConst, err, warn);
    }
    std::string errors() const { return err.toUtf8(); }

    XCatalogContext context{loaded(kOrdersJson)};
    QvUString err, warn;
};

// Both string kinds hold text of the server's character mode, which decides
// the one string type of expressions; fixed decimals follow the precision mode.
TEST_F(OrdersContextTest, FindPortFillsTheRecord) {
    const struct { int ascii, high; std::vector<std::string> quals; const char* name; std::string record; } cases[] = {
        {0, 0, {}, "RATE", "DEC18/9/4 a1 ref=entry"},
        {0, 1, {}, "blob", "BINARY/16/0 a1 ref=entry"},
        {0, 1, {}, "PRICE", "DEC18/12/2 a1 ref=entry"},
        {0, 0, {}, "PRICE", "FLOAT/-4/0 a1 ref=entry"},
        {0, 1, {"sq_orders"}, "NAME", "UNISTRING/80/0 a1 ref=entry"},
        {1, 1, {"SQ_CUSTOMERS"}, "NAME", "STRING/40/0 a1 ref=entry"},
        {0, 1, {}, "NOPE", "-"},
    };
    const int previous = XType::getIsHighPrecisionMode();
    for (const auto& c : cases) {
        xtestsupport::ServerMode mode(c.ascii);
        XType::changeIsHighPrecisionMode(c.high);
        EXPECT_EQ(port(c.quals, c.name), c.record) << c.name;
    }
    XType::changeIsHighPrecisionMode(previous);
    EXPECT_TRUE(err.isEmpty());  // the library reports an unknown name itself
    EXPECT_TRUE(port({}, "NAME") == "-" && errors().find("SQ_ORDERS.NAME") != std::string::npos) << errors();
}

TEST_F(OrdersContextTest, FindMapVarAndWorkflowVar) {
    const std::pair<const char*, const char*> mapVars[] = {
        {"$$max_id", "BIGINT/-4/0 a0 param1 ref=entry 3 0"},
        {"$$MAX_ID_SEEN", "BIGINT/-4/0 a0 param1 ref=entry 1 1"},
        {"$$MAX", "-"}};
    for (const auto& [name, expected] : mapVars) {
        XMetadataMapVar var;
        const int rc = context.findMapVar(qvU(name).getBuffer(), &var);
        EXPECT_EQ(found(rc, var) + (rc ? "" : " " + answers({var.getMapVarType(), var.getIsAggContext()})), expected);
    }
    const std::pair<const char*, const char*> workflowVars[] = {
        {"$S_LOAD.STATUS", "INT/-4/0 a1 ref=entry"}, {"$$RUN_MODE", "UNISTRING/10/0 a1 ref=entry"}, {"$$MAX_ID", "-"}};
    for (const auto& [name, expected] : workflowVars) {
        XMetadataWorkflowVar var;
        EXPECT_EQ(found(context.findWorkflowVar(qvU(name).getBuffer(), &var), var), expected) << name;
    }
}

// Arguments and result come from the catalog; a stored procedure without a
// declared result leaves the return record unset. A wrong argument count says
// why; the qualifier decides the kind (a lookup is no stored procedure) and
// must be the only one. Without a qualifier or a name (the old LOOKUP form)
// each argument is declared as given and the first is the result.
TEST_F(OrdersContextTest, FindWidget) {
    using xtestsupport::recordText;
    XMetadataWidget lookup, credit, wrongCount, qualified, bare, old, sized;
    ASSERT_EQ(lookup.allocateArgMetadata(1), 0);
    ASSERT_NE(findWidget({":lkp"}, "lkp_tier", {0}, lookup), -1) << errors();
    EXPECT_EQ(recordText(*lookup.getArgMetadata(0)), "INT/-4/0 a1");
    const void* declared = context.getCatalog().findWidget(XCatalogWidgetKind::lookup, qvU("LKP_TIER").getBuffer());
    EXPECT_EQ(answers({lookup.isRetPortMetadataSet(), lookup.getRetPortMetadata()->getNumCharsMax().toInteger(),
                       lookup.getRef().getCPtr() == declared}), "1 20 1");
    ASSERT_NE(findWidget({":SP"}, "SP_CREDIT", {0, 0}, credit), -1);
    EXPECT_EQ(answers({credit.isRetPortMetadataSet()}) + recordText(*credit.getArgMetadata(1)), "0DEC28/20/2 a1");
    EXPECT_EQ(findWidget({":LKP"}, "LKP_TIER", {0, 0}, wrongCount), -1);
    EXPECT_NE(errors().find("takes 1 argument"), std::string::npos) << errors();
    err.makeEmpty();
    EXPECT_TRUE(findWidget({"FOLDER", ":LKP"}, "LKP_TIER", {0}, qualified) == -1 && !err.isEmpty());
    EXPECT_EQ(findWidget({}, "LKP_TIER", {0}, bare), -1);
    XMetadataPort blob, plain;
    ASSERT_EQ(context.findPort(nullptr, qvU("BLOB").getBuffer(), &blob, err, warn), 0);
    XMetadata* given[] = {&blob, &plain, nullptr};
    ASSERT_EQ(context.findWidget(nullptr, qvU("").getBuffer(), given, &old, err, warn), 0);
    EXPECT_EQ(answers({old.getNumArgs(), old.isRetPortMetadataSet()}) + " " + recordText(*old.getRetPortMetadata()) +
                  " " + recordText(*old.getArgMetadata(0)) + " " + recordText(*old.getArgMetadata(1)),
              "2 1 BINARY/16/0 a1 BINARY/16/0 a1 UNINIT/-4/-1 a1");
    // Records the validator allocated are filled as they are, never re-sized.
    ASSERT_EQ(sized.allocateArgMetadata(0), 0);
    EXPECT_THROW(findWidget({":LKP"}, "LKP_TIER", {0}, sized), QvAssertFailure);
    EXPECT_THROW(context.findWidget(nullptr, qvU("").getBuffer(), given, &sized, err, warn), QvAssertFailure);
}

TEST_F(OrdersContextTest, FindExtFuncDeclaresTypesAndConstness) {
    const std::pair<std::vector<int>, int> cases[] = {{{1, 1}, 1}, {{1, 0}, 0}, {{0, 0}, 0}};
    for (const auto& [constness, expected] : cases) {
        XMetadataWidget call;
        int isConst = -1;
        ASSERT_NE(findExtFunc("geo_dist", constness, 1, call, isConst), -1);
        EXPECT_EQ(answers({isConst, call.isRetPortMetadataSet(), call.getRetPortMetadata()->getDataType().toInteger()}),
                  answers({expected, 1, eXDT_FLOAT}));
    }
    // A user-defined function is called as a macro; it is never constant.
    XMetadataWidget net, unknown, tooMany, notMacro;
    int isConst = -1;
    ASSERT_NE(findExtFunc(":UDF.net", {1, 1}, 0, net, isConst), -1);
    EXPECT_EQ(answers({isConst, net.getArgMetadata(1)->getDataType().toInteger()}), answers({0, eXDT_INT}));
    // Unknown functions and wrong argument counts say why: the library adds nothing.
    EXPECT_TRUE(findExtFunc("NOPE", {1, 1}, 1, unknown, isConst) == -1 && errors().find("NOPE") != std::string::npos);
    err.makeEmpty();
    EXPECT_EQ(findExtFunc("GEO_DIST", {0, 0, 0}, 1, tooMany, isConst), -1);
    EXPECT_NE(errors().find("takes 2"), std::string::npos) << errors();
    EXPECT_EQ(findExtFunc("GEO_DIST", {1, 1}, 0, notMacro, isConst), -1);
    EXPECT_EQ(context.pushdownExtFunc(qvU("GEO_DIST").getBuffer(), Args({1, 1}).get(), 0, 0, 0, err, warn), -1);
}

// ================================================================ real parses

// Each row: the kind of expression, the text, whether it parses and how its
// printed tree starts (empty: not checked).
TEST(XCatalogParseTest, WhatTheCatalogDeclaresDecidesTheParse) {
    constexpr auto kTrans = XCatalogExprKind::transformation, kFlow = XCatalogExprKind::workflow;
    const struct { XCatalogExprKind kind; const char* text; bool ok; std::string treeStart = {}; } cases[] = {
        // The lexer takes the longest declared variable that ends where the name does.
        {kTrans, "$$MAX_ID_SEEN + 1", true, "PLUS($$MAX_ID_SEEN,"},
        {kTrans, "$$MAX_IDX + 1", false},
        // Functions only before a parenthesis.
        {kTrans, "GEO_DIST (1.5, 2)", true, "EXTFUNC[GEO_DIST]"},
        {kTrans, ":udf.NET(PRICE, 2)", true, "MACRO"},
        // Widget calls with and without their qualifier.
        {kTrans, ":LKP.LKP_TIER(ORDER_ID)", true, "LKP"},
        {kTrans, "SP_CREDIT(ORDER_ID, PROC_RESULT)", true, "SP"},
        // Workflows have no ports and no row operations; transformations no task variables.
        {kFlow, "$s_load.Status = SUCCEEDED", true},
        {kFlow, "ORDER_ID > 1", false},
        {kTrans, "$s_load.Status = 1", false},
        {XCatalogExprKind::either, "$s_load.Status = SUCCEEDED", true},
    };
    for (const auto& c : cases) {
        auto catalog = loaded(kOrdersJson);
        catalog->setKind(c.kind);
        XCatalogContext context(catalog);
        xparsetest::OneParse parsed(context, c.text);
        EXPECT_TRUE((parsed.status == 0) == c.ok && parsed.printed().rfind(c.treeStart, 0) == 0)
            << c.text << ": " << parsed.err.toUtf8() << parsed.printed();
    }
}

}  // namespace
