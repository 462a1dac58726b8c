// Calls of lookups, procedures and external and user functions: the
// validator types each call from what the context declares, refuses
// arguments that do not convert, places a stored procedure's output
// argument, and keeps the context's own texts ahead of its messages. Run
// under ASan, every failing row also shows that no argument array leaks.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "xvalidatetest.h"

namespace {

using xvalidatetest::answers;
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
    using XCatalogContext::m_isUpgrade;

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

std::string rootType(const Outcome& out) { return out.root() ? shortName(out.root()->getDataType().toString()) : "-"; }

// text, what a scripted context answers instead of the catalog (none: the catalog answers), error (0: the
// call validates), the call's type when it validates, warning (0: none beyond the context's own)
struct CallRow { const char* text; std::optional<Script> script; int error; const char* type; int warning; };

const CallRow kCalls[] = {
    // ---- the catalog: each kind found and not found
    {":LKP.LKP_T(I)", {}, 0, "UNISTRING", 0},
    {":LKP.NOPE(I)", {}, eQvMSG_CALLED_OBJECT_NOT_FOUND, "", 0},
    {":SP.SP_RET(I)", {}, 0, "INT", 0},
    {"SP_RET(I)", {}, 0, "INT", 0},
    {":EXT.EXT_C(S)", {}, 0, "UNISTRING", 0},
    {":EXT.NOPE(S)", {}, eQvMSG_CALLED_OBJECT_NOT_FOUND, "", 0},
    {"GEO(F, 1.5)", {}, 0, "FLOAT", 0},
    {":UDF.NET(I)", {}, 0, "INT", 0},
    // conversions the host refuses and accepts (string to DATE it accepts)
    {":LKP.LKP_T(DT)", {}, eQvMSG_ARG_NOT_CONVERTIBLE, "", 0},
    {"GEO(F, BIN)", {}, eQvMSG_ARG_NOT_CONVERTIBLE, "", 0},
    {":EXT.EXT_C(I)", {}, 0, "UNISTRING", 0},
    {":LKP.LKP_D(S)", {}, 0, "INT", 0},
    {":LKP.LKP_T(NULL)", {}, 0, "UNISTRING", 0},
    // the output argument of a stored procedure
    {":SP.SP_OUT(I, PROC_RESULT)", {}, 0, "DEC28", 0},
    {":SP.SP_OUT(PROC_RESULT, PROC_RESULT)", {}, eQvMSG_TOO_MANY_PROC_RESULTS, "", 0},
    {":EXT.EXT_C(PROC_RESULT)", {}, eQvMSG_INVALID_TOKEN, "", 0},
    // no return value declared
    {":SP.SP_OUT(I, 2.5)", {}, 0, "NULL", eQvMSG_NO_RETURN_VALUE},
    {":EXT.EXT_NORES(S)", {}, 0, "NULL", eQvMSG_NO_RETURN_VALUE},
    // the old LOOKUP form: its ports declare the call
    {"LOOKUP(:TD.R, :TD.C, 5)", {}, 0, "INT", 0},
    {"LOOKUP(:TD.RS, :TD.C, I, :TD.CD, DT)", {}, 0, "UNISTRING", 0},
    {"LOOKUP(:TD.R, :TD.CD, 5)", {}, eQvMSG_LOOKUP_VALUE_TYPE_MISMATCH, "", 0},
    {"LOOKUP(:TD.R, :TD.C, 1, :TD.CB, S)", {}, eQvMSG_LOOKUP_VALUE_TYPE_MISMATCH, "", 0},
    {"LOOKUP(:TD.R, :TD.NOPE, 5)", {}, eQvMSG_LOOKUP_PORT_NOT_FOUND, "", 0},
    // ---- scripted contexts
    // a failing external function: the context's text, or 19022 when it gave none
    {"GEO(F, F)", Script{-1, "ctx: no GEO today", "", {}}, 0, "", 0},
    {"GEO(F, F)", Script{-1, "", "", {}}, eQvMSG_CALLED_OBJECT_NOT_FOUND, "", 0},
    // a failing widget: the context's text, then the validator's message
    {":LKP.LKP_T(I)", Script{-1, "ctx: lookup offline", "", {}}, eQvMSG_CALLED_OBJECT_NOT_FOUND, "", 0},
    {"LOOKUP(:TD.R, :TD.C, 5)", Script{-1, "ctx: no source", "", {}}, eQvMSG_LOOKUP_NOT_FOUND, "", 0},
    {":UDF.NET(I)", Script{-1, "", "", {}}, eQvMSG_CALLED_OBJECT_NOT_FOUND, "", 0},
    // any status but -1 is success
    {":LKP.LKP_T(I)", Script{1, "", "ctx: cached", {eXDT_STRING}}, 0, "STRING", 0},
    // a macro's truth value is computed as a number
    {":UDF.NET(I)", Script{0, "", "", {eXDT_BOOLEAN}}, 0, "FLOAT", 0},
    // no return record: NULL with a warning, for every kind
    {":UDF.NET(I)", Script{0, "", "", {}}, 0, "NULL", eQvMSG_NO_RETURN_VALUE},
    {"GEO(F, F)", Script{0, "", "", {}}, 0, "NULL", eQvMSG_NO_RETURN_VALUE},
};

TEST(XValidatorWidgetTest, CallsAreTypedFromTheirDeclarations) {
    for (const CallRow& row : kCalls) {
        WidgetContext context(row.script);
        const Outcome out(row.text, {}, &context);
        const Script said = row.script.value_or(Script{});
        const std::string what = row.text + (" / " + said.err) + said.warn + "\n" + out.errors + out.warnings;
        // The context's texts come first, each closed by a line feed.
        const std::string err = said.err.empty() ? "" : said.err + "\n";
        const std::string warn = said.warn.empty() ? "" : said.warn + "\n";
        EXPECT_EQ(answers({out.errors.rfind(err, 0), out.warnings.rfind(warn, 0)}), "0 0") << what;
        EXPECT_NE(row.error ? out.errors.find(textOf(row.error)) : 0, npos) << what;
        if (row.error || said.status == -1) { EXPECT_NE(out.status, 0) << what; continue; }
        ASSERT_EQ(out.status, 0) << what;
        EXPECT_EQ(rootType(out), row.type) << what;
        const size_t warned = row.warning ? out.warnings.find(textOf(row.warning)) : out.warnings == warn ? 0 : npos;
        EXPECT_NE(warned, npos) << what;
    }
}

// Each valid call (parsed as for an upgrade when `upgrade`: every record then keeps the older release's
// values) and what `probe` reads from its tree.
template <class Probe>
void expectProbed(std::initializer_list<std::pair<const char*, std::string>> rows, Probe probe, int upgrade = 0) {
    for (const auto& [text, expected] : rows) {
        WidgetContext context;
        context.m_isUpgrade = upgrade;
        const Outcome out(text, {}, &context);
        ASSERT_EQ(out.status, 0) << text << "\n" << out.errors;
        EXPECT_EQ(probe(out, out.root()), expected) << text;
    }
}

// The output argument's type, scale and argument kind, and the call's scale.
TEST(XValidatorWidgetTest, TheOutputArgumentTakesItsDeclaredType) {
    expectProbed({{":SP.SP_OUT(I, PROC_RESULT)", "DEC28 2 16 2"}}, [](const Outcome&, const XNode* call) {
        const XNode* output = static_cast<const XNodeParent*>(call)->getChild(1);
        const int argType = output->getMetadataConstPtr()->getArgType().toInteger();
        return shortName(output->getDataType().toString()) + " " +
               answers({output->getScale().toInteger(), argType, call->getScale().toInteger()});
    });
}

// Aggregation and constness come from the declaration; the window flag
// reaches the tree.
TEST(XValidatorWidgetTest, DeclaredFlagsReachTheCall) {
    expectProbed({
        {"GEO(1.5, 2.5)", "ROW 1 0"},
        {"GEO(F, 2.5)", "ROW 0 0"},
        {"WAVG(F)", "GROUP 0 0"},
        {"RUNNING(F)", "ROW 0 1"},
        {":UDF.NET(3)", "ROW 1 0"},
        {":LKP.LKP_T(3)", "ROW 0 0"},
    }, [](const Outcome& out, const XNode* call) {
        const std::string level = shortName(XValidator::getNodeAggLevel(call).toString());
        return level + " " + answers({XValidator::isNodeConstnessTrue(call), out.tree->getTree()->hasWindowFunc()});
    });
}

// decompress(data, size): the size argument's count is the hint.
TEST(XValidatorWidgetTest, DecompressReadsAConstantSizeAsItsHint) {
    expectProbed({
        {"decompress(BIN, 0)", "0"},
        {"decompress(BIN, I)", "0"},
        {"DECOMPRESS(BIN, 7)", "7"},
    }, [](const Outcome&, const XNode* call) {
        const XNode* size = static_cast<const XNodeParent*>(call)->getChild(1);
        return std::to_string(size->getMetadataConstPtr()->getNumCharsMax().toInteger());
    });
}

// In an upgrade parse the older release's type follows the declaration
// too: NULL (1020) for a call without a value, the declared type otherwise.
TEST(XValidatorWidgetTest, UpgradeRecordsFollowTheDeclaration) {
    expectProbed({
        {":SP.SP_OUT(I, PROC_RESULT)", "DEC28"},
        {":EXT.EXT_NORES(S)", "NULL"},
        {":LKP.LKP_D(DT)", "INT"},
    }, [](const Outcome&, const XNode* call) {
        const XMetadata* md = call->getMetadataConstPtr();
        return md->hasUgdInfo() ? shortName(md->getDataType60().toString()) : "no upgrade record";
    }, 1);
}

// ---------------------------------------------------------------- the LOOKUP pair rule

struct LookupProbe : XValidator { using XValidator::isCompatibleFor35Lookup; };

TEST(XValidatorWidgetTest, LookupPortsAndValuesPairByFamily) {
    constexpr int kRows[][3] = {
        {eXDT_DATE, eXDT_DATE, 1},
        {eXDT_DATE, eXDT_NULL, 1},
        {eXDT_NULL, eXDT_BINARY, 1},
        {eXDT_INT, eXDT_DATE, 0},
        {eXDT_BINARY, eXDT_STRING, 0},
        {eXDT_INT, eXDT_STRING, 1},
    };
    for (const auto& [a, b, compatible] : kRows)
        EXPECT_EQ(LookupProbe::isCompatibleFor35Lookup(XType(a), XType(b)), compatible) << a << " " << b;
}

// A parse that validates hands the tree the order in which the grammar
// built its nodes as the tree's post-order list. For every form the grammar
// builds (a lookup's column built before its value, calls, signs folded into
// their literals, parentheses, COUNT(*)) that list is the walk's, node for
// node.
TEST(XValidatorWidgetTest, TheOrderNodesAreBuiltInIsTheWalksPostOrder) {
    WidgetContext context;
    XParser parser;
    parser.setParserContext(&context, 0);
    for (const char* text : {"LOOKUP(:TD.RS, :TD.C, I, :TD.CD, DT)", ":LKP.LKP_T(I + 1) || S",
                             "IIF(I > -1, -2.5, ABS(-(I)))", "DECODE(I, 1, 'a', 2, S, 'c')",
                             "((I + 1) * (2 - I)) / 3", "COUNT(*) + SUM(I, I > 0)",
                             ":SP.SP_RET(GEO(F, -F))", "NOT (DT > SYSDATE AND I <> 1)"}) {
        SCOPED_TRACE(text);
        QvUString source = QvUString::fromUtf8(text), err, warn;
        XTree* tree = nullptr;
        ASSERT_EQ(parser.parse(source.getBuffer(), tree, err, warn, 1, 1), 0) << err.toUtf8();
        std::unique_ptr<XTree> owned(tree);
        XNodeList* cached = nullptr;
        ASSERT_EQ(tree->dfs(cached, 1, 0, nullptr), 0);
        XNodeList walked;
        XTree::subTreeDfs(tree->getRoot(), walked, nullptr);
        ASSERT_EQ(cached->entries(), walked.entries());
        EXPECT_TRUE(std::equal(walked.begin(), walked.end(), cached->begin()));
    }
}

}  // namespace
