// Calls of lookups, procedures and external and user functions: the
// validator types each call from what the context declares, refuses
// arguments that do not convert, places a stored procedure's output
// argument, and keeps the context's own texts ahead of its messages. Run
// under ASan, every failing row also shows that no argument array leaks.
#include <gtest/gtest.h>

#include <optional>

#include "xvalidatetest.h"

namespace {

using xvalidatetest::Outcome;
using xvalidatetest::shortName;
using xvalidatetest::textOf;
constexpr size_t npos = std::string::npos;

constexpr const char* kCatalog = R"json({
  "kind": "transformation",
  "settings": {"highPrecision": true},
  "ports": [
    {"name": "I", "type": "int"},
    {"name": "F", "type": "float"},
    {"name": "S", "type": "string(10)"},
    {"name": "DT", "type": "date"},
    {"name": "BIN", "type": "binary(16)"},
    {"name": "R", "qualifiers": [":TD"], "type": "int"},
    {"name": "RS", "qualifiers": [":TD"], "type": "string(10)"},
    {"name": "C", "qualifiers": [":TD"], "type": "int"},
    {"name": "CD", "qualifiers": [":TD"], "type": "date"},
    {"name": "CB", "qualifiers": [":TD"], "type": "binary(8)"}
  ],
  "functions": [
    {"name": "GEO", "arguments": ["float", "float"], "result": "float", "constant": true},
    {"name": "WAVG", "arguments": ["float"], "result": "float", "aggregate": true},
    {"name": "RUNNING", "arguments": ["float"], "result": "float", "window": true},
    {"name": "decompress", "arguments": ["binary(16)", "int"], "result": "binary(100)"},
    {"name": "NET", "userDefined": true, "arguments": ["int"], "result": "int", "constant": true}
  ],
  "lookups": [
    {"name": "LKP_T", "arguments": ["int"], "result": "string(20)"},
    {"name": "LKP_D", "arguments": ["date"], "result": "int"}
  ],
  "storedProcedures": [
    {"name": "SP_OUT", "arguments": ["int", "dec28(20,2)"]},
    {"name": "SP_RET", "arguments": ["int"], "result": "int"}
  ],
  "externalProcedures": [
    {"name": "EXT_NORES", "arguments": ["string(20)"]},
    {"name": "EXT_C", "arguments": ["string(20)"], "result": "string(20)"}
  ]
})json";

// What a scripted context answers for every external function, macro or
// widget instead of the catalog: its status, its texts and the result it
// declares (none: the return record stays unset). Arguments are declared
// as they are.
struct Script { int status = 0; std::string err; std::string warn; std::optional<int> result; };

struct WidgetContext : XCatalogContext {
    explicit WidgetContext(std::optional<Script> script = std::nullopt)
        : XCatalogContext(xvalidatetest::loadCatalog(kCatalog, "widgets")), m_script(std::move(script)) {}
    // Parses as for an upgrade: every record keeps the older release's values.
    void setUpgrade() { m_isUpgrade = 1; }

    int findWidget(const unsigned short** qualifiers, const unsigned short* name, XMetadata** args,
                   XMetadataWidget* widget, QvUString& err, QvUString& warn) override {
        if (!m_script) return XCatalogContext::findWidget(qualifiers, name, args, widget, err, warn);
        return answer(args, widget, err, warn);
    }
    int findExtFunc(const unsigned short* name, XMetadata** args, int isExtFunc,
                    XMetadataWidget* widget, int& isConst, QvUString& err, QvUString& warn) override {
        if (!m_script) return XCatalogContext::findExtFunc(name, args, isExtFunc, widget, isConst, err, warn);
        return answer(args, widget, err, warn);
    }
    int answer(XMetadata** args, XMetadataWidget* widget, QvUString& err, QvUString& warn) {
        err = QvUString::fromUtf8(m_script->err), warn = QvUString::fromUtf8(m_script->warn);
        if (m_script->status == -1) return -1;
        for (int i = 0; args[i]; ++i) XMetadata::copyMetadata(args[i], widget->getArgMetadata(i));
        if (m_script->result) {
            widget->getRetPortMetadata()->setDataType(XType(*m_script->result));
            widget->getRetPortMetadata()->setArgType(1);
            widget->markRetPortMetadataSet();
        }
        return m_script->status;
    }
    std::optional<Script> m_script;
};

std::string rootType(const Outcome& out) {
    return out.root() ? shortName(out.root()->getDataType().toString()) : "-";
}

// ---------------------------------------------------------------- the catalog

// text, error (0: the call validates), the call's type when it validates, warning (0: none expected)
struct CallRow { const char* text; int error; const char* type; int warning; };

constexpr CallRow kCalls[] = {
    // each kind found and not found
    {":LKP.LKP_T(I)", 0, "UNISTRING", 0},
    {":LKP.NOPE(I)", eQvMSG_CALLED_OBJECT_NOT_FOUND, "", 0},
    {":SP.SP_RET(I)", 0, "INT", 0},
    {"SP_RET(I)", 0, "INT", 0},
    {":EXT.EXT_C(S)", 0, "UNISTRING", 0},
    {":EXT.NOPE(S)", eQvMSG_CALLED_OBJECT_NOT_FOUND, "", 0},
    {"GEO(F, 1.5)", 0, "FLOAT", 0},
    {":UDF.NET(I)", 0, "INT", 0},
    // conversions the host refuses and accepts (string to DATE it accepts)
    {":LKP.LKP_T(DT)", eQvMSG_ARG_NOT_CONVERTIBLE, "", 0},
    {"GEO(F, BIN)", eQvMSG_ARG_NOT_CONVERTIBLE, "", 0},
    {":LKP.LKP_D(I)", eQvMSG_ARG_NOT_CONVERTIBLE, "", 0},
    {":EXT.EXT_C(I)", 0, "UNISTRING", 0},
    {":LKP.LKP_D(S)", 0, "INT", 0},
    {":LKP.LKP_T(NULL)", 0, "UNISTRING", 0},
    // the output argument of a stored procedure
    {":SP.SP_OUT(I, PROC_RESULT)", 0, "DEC28", 0},
    {":SP.SP_OUT(PROC_RESULT, PROC_RESULT)", eQvMSG_TOO_MANY_PROC_RESULTS, "", 0},
    {":EXT.EXT_C(PROC_RESULT)", eQvMSG_INVALID_TOKEN, "", 0},
    // no return value declared
    {":SP.SP_OUT(I, 2.5)", 0, "NULL", eQvMSG_NO_RETURN_VALUE},
    {":EXT.EXT_NORES(S)", 0, "NULL", eQvMSG_NO_RETURN_VALUE},
    // the old LOOKUP form: its ports declare the call
    {"LOOKUP(:TD.R, :TD.C, 5)", 0, "INT", 0},
    {"LOOKUP(:TD.RS, :TD.C, I, :TD.CD, DT)", 0, "UNISTRING", 0},
    {"LOOKUP(:TD.RS, :TD.C, NULL)", 0, "UNISTRING", 0},
    {"LOOKUP(:TD.R, :TD.CD, 5)", eQvMSG_LOOKUP_VALUE_TYPE_MISMATCH, "", 0},
    {"LOOKUP(:TD.R, :TD.C, 1, :TD.CB, S)", eQvMSG_LOOKUP_VALUE_TYPE_MISMATCH, "", 0},
    {"LOOKUP(:TD.R, :TD.NOPE, 5)", eQvMSG_LOOKUP_PORT_NOT_FOUND, "", 0},
};

TEST(XValidatorWidgetTest, CallsAreTypedFromTheirDeclarations) {
    for (const CallRow& row : kCalls) {
        WidgetContext context;
        const Outcome out(row.text, {}, &context);
        if (row.error) {
            EXPECT_NE(out.status, 0) << row.text;
            EXPECT_NE(out.errors.find(textOf(row.error)), std::string::npos) << row.text << "\n" << out.errors;
            continue;
        }
        ASSERT_EQ(out.status, 0) << row.text << "\n" << out.errors;
        EXPECT_EQ(rootType(out), row.type) << row.text;
        // the expected warning, or none at all
        const size_t warned = row.warning ? out.warnings.find(textOf(row.warning)) : out.warnings.empty() ? 0 : npos;
        EXPECT_NE(warned, npos) << row.text << "\n" << out.warnings;
    }
}

TEST(XValidatorWidgetTest, TheOutputArgumentTakesItsDeclaredType) {
    WidgetContext context;
    const Outcome out(":SP.SP_OUT(I, PROC_RESULT)", {}, &context);
    ASSERT_EQ(out.status, 0) << out.errors;
    const XNode* output = static_cast<XNodeParent*>(out.root())->getChild(1);
    EXPECT_EQ(shortName(output->getDataType().toString()), "DEC28");
    const int argType = output->getMetadataConstPtr()->getArgType().toInteger();
    const int rootScale = out.root()->getScale().toInteger();
    EXPECT_EQ(xvalidatetest::answers({output->getScale().toInteger(), argType, rootScale}), "2 16 2");
}

// Constness and aggregation come from the declaration; the window flag
// reaches the tree.
TEST(XValidatorWidgetTest, DeclaredFlagsReachTheCall) {
    struct Row { const char* text; int constant; const char* level; int window; };
    constexpr Row kRows[] = {
        {"GEO(1.5, 2.5)", 1, "ROW", 0},
        {"GEO(F, 2.5)", 0, "ROW", 0},
        {"WAVG(F)", 0, "GROUP", 0},
        {"RUNNING(F)", 0, "ROW", 1},
        {":UDF.NET(3)", 1, "ROW", 0},
        {":LKP.LKP_T(3)", 0, "ROW", 0},
    };
    for (const Row& row : kRows) {
        WidgetContext context;
        const Outcome out(row.text, {}, &context);
        ASSERT_EQ(out.status, 0) << row.text << "\n" << out.errors;
        EXPECT_EQ(XValidator::isNodeConstnessTrue(out.root()), row.constant) << row.text;
        EXPECT_EQ(shortName(XValidator::getNodeAggLevel(out.root()).toString()), row.level) << row.text;
        EXPECT_EQ(out.tree->getTree()->hasWindowFunc(), row.window) << row.text;
    }
}

// decompress(data, size): the size argument's count is the hint.
TEST(XValidatorWidgetTest, DecompressReadsAConstantSizeAsItsHint) {
    struct Row { const char* text; int hint; };
    constexpr Row kRows[] = {
        {"decompress(BIN, 100)", 100},
        {"decompress(BIN, 0)", 0},
        {"decompress(BIN, I)", 0},
        {"DECOMPRESS(BIN, 7)", 7},
    };
    for (const Row& row : kRows) {
        WidgetContext context;
        const Outcome out(row.text, {}, &context);
        ASSERT_EQ(out.status, 0) << row.text << "\n" << out.errors;
        const XNode* size = static_cast<XNodeParent*>(out.root())->getChild(1);
        EXPECT_EQ(size->getMetadataConstPtr()->getNumCharsMax().toInteger(), row.hint) << row.text;
    }
}

// In an upgrade parse the older release's type follows the declaration
// too: NULL (1020) for a call without a value, the declared type otherwise.
TEST(XValidatorWidgetTest, UpgradeRecordsFollowTheDeclaration) {
    struct Row { const char* text; const char* type60; };
    constexpr Row kRows[] = {
        {":SP.SP_OUT(I, PROC_RESULT)", "DEC28"},
        {":EXT.EXT_NORES(S)", "NULL"},
        {":LKP.LKP_D(DT)", "INT"},
    };
    for (const Row& row : kRows) {
        WidgetContext context;
        context.setUpgrade();
        const Outcome out(row.text, {}, &context);
        ASSERT_EQ(out.status, 0) << row.text << "\n" << out.errors;
        const XMetadata* md = out.root()->getMetadataConstPtr();
        ASSERT_TRUE(md->hasUgdInfo()) << row.text;
        EXPECT_EQ(shortName(md->getDataType60().toString()), row.type60) << row.text;
    }
}

// ---------------------------------------------------------------- scripted contexts

// text, what the context answers, error (0: the call validates), the call's type when it validates, warning
struct ScriptRow { const char* text; Script script; int error; const char* type; int warning; };

const ScriptRow kScripts[] = {
    // a failing external function: the context's text, or 19022 when it gave none
    {"GEO(F, F)", {-1, "ctx: no GEO today", "", {}}, 0, "", 0},
    {"GEO(F, F)", {-1, "", "", {}}, eQvMSG_CALLED_OBJECT_NOT_FOUND, "", 0},
    // a failing widget: the context's text, then the validator's message
    {":LKP.LKP_T(I)", {-1, "ctx: lookup offline", "", {}}, eQvMSG_CALLED_OBJECT_NOT_FOUND, "", 0},
    {"LOOKUP(:TD.R, :TD.C, 5)", {-1, "ctx: no source", "", {}}, eQvMSG_LOOKUP_NOT_FOUND, "", 0},
    {":UDF.NET(I)", {-1, "", "", {}}, eQvMSG_CALLED_OBJECT_NOT_FOUND, "", 0},
    // any status but -1 is success
    {":LKP.LKP_T(I)", {1, "", "ctx: cached", {eXDT_STRING}}, 0, "STRING", 0},
    // a macro's truth value is computed as a number
    {":UDF.NET(I)", {0, "", "", {eXDT_BOOLEAN}}, 0, "FLOAT", 0},
    // no return record: NULL with a warning, for every kind
    {":UDF.NET(I)", {0, "", "", {}}, 0, "NULL", eQvMSG_NO_RETURN_VALUE},
    {"GEO(F, F)", {0, "", "", {}}, 0, "NULL", eQvMSG_NO_RETURN_VALUE},
};

TEST(XValidatorWidgetTest, TheContextsAnswerAndTextsAreKeptInOrder) {
    for (const ScriptRow& row : kScripts) {
        WidgetContext context(row.script);
        const Outcome out(row.text, {}, &context);
        const std::string what = std::string(row.text) + " / " + row.script.err;
        if (row.script.status == -1) {
            EXPECT_NE(out.status, 0) << what;
            const size_t own = row.error ? out.errors.find(textOf(row.error)) : std::string::npos;
            EXPECT_EQ(own != std::string::npos, row.error != 0) << what << "\n" << out.errors;
            if (!row.script.err.empty()) {
                // The context's text comes first, closed by a line feed.
                EXPECT_EQ(out.errors.rfind(row.script.err + "\n", 0), 0u) << what << "\n" << out.errors;
            }
            continue;
        }
        ASSERT_EQ(out.status, 0) << what << "\n" << out.errors;
        EXPECT_EQ(rootType(out), row.type) << what;
        if (!row.script.warn.empty()) { EXPECT_EQ(out.warnings.rfind(row.script.warn + "\n", 0), 0u) << what; }
        if (row.warning) { EXPECT_NE(out.warnings.find(textOf(row.warning)), std::string::npos) << what; }
    }
}

// ---------------------------------------------------------------- the LOOKUP pair rule

struct LookupProbe : XValidator {
    using XValidator::isCompatibleFor35Lookup;
};

TEST(XValidatorWidgetTest, LookupPortsAndValuesPairByFamily) {
    constexpr int kRows[][3] = {
        {eXDT_DATE, eXDT_DATE, 1},
        {eXDT_DATE, eXDT_NULL, 1},
        {eXDT_NULL, eXDT_BINARY, 1},
        {eXDT_INT, eXDT_DATE, 0},
        {eXDT_BINARY, eXDT_STRING, 0},
        {eXDT_INT, eXDT_STRING, 1},
        {eXDT_FLOAT, eXDT_BIGINT, 1},
    };
    for (const auto& [a, b, compatible] : kRows) {
        EXPECT_EQ(LookupProbe::isCompatibleFor35Lookup(XType(a), XType(b)), compatible) << a << " " << b;
    }
}

}  // namespace
