// The validator end to end through XParser::parse: result types and
// variants of every operator in both precision modes, comparisons, logic,
// aggregation levels, constness, references, the SETVARIABLE family, and
// the message and marked span of every kind of mistake.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <span>

#include "qvcmnexpr/xexprstrinfo.h"
#include "qvcmnexpr/xnodeconst.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xrefreplacer.h"
#include "xfunctest.h"
#include "xhtypebuild.h"
#include "xvalidatetest.h"

using namespace xvalidatetest;

namespace {

// "H" high precision; "L" low; "N" NULL type allowed.
Settings mode(const std::string& tag) { return {tag != "L", 0, tag == "N"}; }

// text, mode, describe() of the root
struct TypeCase { const char* text; const char* mode; const char* root; };

// clang-format off
const TypeCase kTypeCases[] = {
    // arithmetic: the widest operand, then the result rule
    {"I + I",          "H",   "INT op8 aug:- row var"},
    {"1 + 2.5",        "L",   "FLOAT op8 aug:- row const"},
    {"1 + 2.5",        "H",   "DEC18 op8 aug:- row const"},
    {"I - BI",         "H",   "BIGINT op60 aug:- row var"},
    {"I * I",          "H",   "DEC28 op44 aug:- row var"},
    {"I * I",          "L",   "BIGINT op44 aug:- row var"},
    {"F * I",          "H",   "FLOAT op44 aug:- row var"},
    {"I / I",          "H",   "DEC28 op22 aug:- row var"},
    {"I / I",          "L",   "FLOAT op22 aug:- row var"},
    {"I % BI",         "H",   "BIGINT op14 aug:- row var"},
    {"MOD(I, 3)",      "H",   "INT op14 aug:- row var"},
    {"+F",             "H",   "FLOAT op5 aug:- row var"},
    {"ABS(NULL)",      "H",   "INT op6 aug:- row const"},
    {"CEIL(D18)",      "H",   "DEC18 op10 aug:- row var"},
    {"SIGN(F)",        "H",   "INT op16 aug:- row var"},
    {"POWER(I, 2)",    "H",   "FLOAT op5 aug:- row var"},
    // comparisons: numbers give BOOLEAN over their common type, the rest INT
    {"1 = 2",          "H",   "BOOLEAN op24 aug:INT row const"},
    {"I <> F",         "H",   "BOOLEAN op46 aug:FLOAT row var"},
    {"I < BI",         "H",   "BOOLEAN op38 aug:BIGINT row var"},
    {"D28 <= 1",       "H",   "BOOLEAN op30 aug:DEC28 row var"},
    {"'a' = 'b'",      "H",   "INT op25 aug:- row const"},
    {"S >= U",         "H",   "INT op31 aug:- row var"},
    {"DT = DT",        "H",   "INT op26 aug:- row var"},
    {"BIN = BIN",      "H",   "INT op27 aug:- row var"},
    {"(I > 1) = (F > 2)", "H", "BOOLEAN op24 aug:FLOAT row var"},
    // logic
    {"I > 1 AND F < 2", "H",  "BOOLEAN op105 aug:FLOAT row var"},
    {"I OR BI",        "H",   "BOOLEAN op107 aug:BIGINT row var"},
    {"NOT I",          "H",   "BOOLEAN op103 aug:INT row var"},
    // text and choice
    {"'ab' || 'cde'",  "H",   "UNISTRING op5 aug:- row const"},
    {"IIF(I, 1, 2.5)", "L",   "FLOAT op5 aug:- row var"},
    {"IIF(I, S)",      "H",   "UNISTRING op5 aug:- row var"},
    {"DECODE(I, 1, 'a', 2, 'b', 'c')", "H", "UNISTRING op5 aug:INT row var"},
    {"DECODE(F, 1, I, BI)", "H", "BIGINT op5 aug:FLOAT row var"},
    {"ISNULL(BIN)",    "H",   "INT op5 aug:- row var"},
    {"TO_DECIMAL38(S)", "L",  "FLOAT op93 aug:- row var"},
    // aggregation levels: an aggregate is one level above its argument
    {"SUM(I)",         "H",   "DEC18 op5 aug:- group var"},
    {"SUM(I) + I",     "H",   "DEC18 op8 aug:- group var"},
    {"SUM(SUM(I))",    "H",   "DEC28 op5 aug:- nested var"},
    {"COUNT(BIN)",     "H",   "INT op5 aug:- group var"},
    {"AVG(I)",         "L",   "FLOAT op5 aug:- group var"},
    // leaves and references
    {"I",              "H",   "INT op-4 aug:- row var"},
    {"$$MAX + 1",      "H",   "INT op8 aug:- row var"},
    {"SESSSTARTTIME",  "H",   "DATE op-4 aug:- row const"},
    {"SYSDATE",        "H",   "DATE op-4 aug:- row var"},
    {"NULL",           "H",   "NULL op-4 aug:- row const"},
    {"",               "H",   "NULL op-4 aug:- row const"},
    // the SETVARIABLE family is never constant
    {"SETVARIABLE($$COUNT, 1)",  "H", "INT op5 aug:- row var"},
    {"SETCOUNTVARIABLE($$COUNT)", "H", "INT op5 aug:- row var"},
};
// clang-format on

void checkRoots(std::span<const TypeCase> cases) {
    for (const TypeCase& c : cases) {
        const Outcome out(c.text, mode(c.mode));
        ASSERT_EQ(out.status, 0) << c.text << " [" << c.mode << "]\n" << out.errors;
        EXPECT_EQ(describe(out.root()), c.root) << c.text << " [" << c.mode << "]";
        // What the caller is told through ValidationResult agrees with the root.
        const ValidationResult& r = out.result;
        const XNode* root = out.root();
        const int type = root->getDataType().toInteger(), row = XValidator::getNodeAggLevel(root).isRow();
        const int constant = XValidator::isNodeConstnessTrue(root);
        const int sameType = r.resultType.toInteger() == type, group = r.hasGroupFunctions == !row;
        EXPECT_EQ(answers({r.valid, sameType, r.isConstant == constant, group}), "1 1 1 1") << c.text;
    }
}

TEST(ValidatorTypeTest, RootOfEveryCase) {
    if (!usesDecMax(28)) GTEST_SKIP() << "the decimal maximum is fixed per process";
    checkRoots(kTypeCases);
}

// The decimal maximum caps every widening.
const TypeCase kDecMax18Cases[] = {
    {"I * I",          "H", "DEC18 op44 aug:- row var"},
    {"I / I",          "H", "DEC18 op22 aug:- row var"},
    {"D18 + 1",        "H", "DEC18 op8 aug:- row var"},
};

TEST(ValidatorTypeTest, DecimalMaximum18) {
    if (!usesDecMax(18)) GTEST_SKIP() << "the decimal maximum is fixed per process";
    checkRoots(kDecMax18Cases);
}


// Custom types: a numeric one (CN), a comparable one that is not a number
// (CX) and one the host cannot order (CY), registered with the host for the
// test and declared as ports by a context over the shared catalog.
struct CustomTypesContext : Context {
    CustomTypesContext() : Context(Settings{}) {}
    // CN, CX and CY: ports of the three types, otherwise like I.
    int findPort(const unsigned short** qualifiers, const unsigned short* name, XMetadataPort* md, QvUString& err,
                 QvUString& warn) override {
        const std::string text = QvUString(name).toUtf8();
        using xfunctest::FuncContext;
        const char* type = text == "CN" ? FuncContext::kMoney : text == "CX" ? FuncContext::kPoint : FuncContext::kBlob;
        if (text != "CN" && text != "CX" && text != "CY") return Context::findPort(qualifiers, name, md, err, warn);
        const int status = Context::findPort(qualifiers, QvUString::fromUtf8("I").getBuffer(), md, err, warn);
        md->setDataType(XType(static_cast<int>(FuncContext::customId(type))));
        return status;
    }
    xfunctest::CustomTypes registered;
};

// text, the first error's message, the marked span of the last error, mode ("C": over CustomTypesContext),
// and the first failure the validator records for callers that upgrade old expressions, with its child
// (eXVFC_NONE: not checked)
struct ErrorCase { const char* text; int id; size_t begin, end; const char* mode = "H";
                   EXValidationFailureCase failure = eXVFC_NONE; int child = 0; };

// clang-format off
const ErrorCase kErrorCases[] = {
    // operand types
    {"'a' + 1",            eQvMSG_NUMBER_EXPECTED,        0, 3, "H", eXVFC_NUMERIC_EXPECTED, 0},
    {"1 + 'a'",            eQvMSG_NUMBER_EXPECTED,        4, 7, "H", eXVFC_NUMERIC_EXPECTED, 1},
    {"ABS('a')",           eQvMSG_NUMBER_EXPECTED,        4, 7},
    {"-S",                 eQvMSG_NUMBER_EXPECTED,        1, 2},
    {"DT AND 1",           eQvMSG_NUMBER_EXPECTED,        0, 2},
    {"IIF(I, 1, 'x')",     eQvMSG_NO_COMMON_TYPE,         10, 13, "H", eXVFC_OPERANDS_DIFFER, 2},
    {"I = 'a'",            eQvMSG_NO_COMMON_TYPE,         4, 7, "H", eXVFC_OPERANDS_DIFFER, 1},
    {"DT > BIN",           eQvMSG_NO_COMMON_TYPE,         5, 8},
    {"DECODE(I, 1, 'a', 2, 3)", eQvMSG_NO_COMMON_TYPE,    21, 22},
    {"DECODE(I, 'x', 1)",  eQvMSG_NO_COMMON_TYPE,         10, 13},
    {"UPPER(BIN)",         eQvMSG_STRING_EXPECTED,        6, 9, "H", eXVFC_STRING_EXPECTED, 0},
    {"LENGTH(DT + 1)",     eQvMSG_NUMBER_EXPECTED,        7, 9},
    {"LAST_DAY(I)",        eQvMSG_DATE_EXPECTED,          9, 10},
    // text is not converted to a date or a number on the way in
    {"DATE_COMPARE(DT, 'x')", eQvMSG_DATE_EXPECTED,       17, 20},
    {"IS_NUMBER(I)",       eQvMSG_INVALID_OPERAND_TYPE,   10, 11},
    {"TO_FLOAT(DT)",       eQvMSG_INVALID_OPERAND_TYPE,   9, 11},
    {"TO_DECIMAL38(1)",    eQvMSG_INVALID_OPERAND_TYPE,   0, 15},  // no decimal custom type registered
    {"MAX(BIN)",           eQvMSG_BINARY_NOT_ALLOWED,     4, 7},
    {"BIN || 'a'",         eQvMSG_STRING_EXPECTED,        0, 3},
    {"BIN <> NULL",        eQvMSG_BINARY_NOT_ALLOWED,     7, 11},  // the NULL takes BINARY
    // argument counts
    {"ABS(I, I)",          eQvMSG_TOO_MANY_ARGUMENTS,     0, 9, "H", eXVFC_ARGUMENT_COUNT, -1},
    {"DECODE(I, 1)",       eQvMSG_TOO_FEW_ARGUMENTS,      0, 12},
    {"TO_DECIMAL38()",     eQvMSG_TOO_FEW_ARGUMENTS,      0, 14, "H", eXVFC_ARGUMENT_COUNT, -1},
    // aggregation levels
    {"SUM(I) + SUM(SUM(I))", eQvMSG_MIXED_AGGREGATION_LEVELS, 9, 20},
    {"SUM(SUM(SUM(I)))",   eQvMSG_AGGREGATES_TOO_DEEP,    0, 16, "H", eXVFC_AGGREGATION_TOO_DEEP, 0},
    {"SUM(NULL)",          eQvMSG_NULL_NOT_ALLOWED,       4, 8, "H", eXVFC_NULL_NOT_ALLOWED, 0},
    {"COUNT(I, NULL)",     eQvMSG_NULL_NOT_ALLOWED,       9, 13},
    // references
    {"I + NOPE * 2",       eQvMSG_UNKNOWN_NAME,           4, 8},
    {"LOOKUP(:TD.NOPE, :TD.C, 1)", eQvMSG_LOOKUP_PORT_NOT_FOUND, 7, 15},
    // the SETVARIABLE family: argument 0 is a mapping variable of a fitting type
    {"SETCOUNTVARIABLE(I)",     eQvMSG_AGGREGATION_VARIABLE_EXPECTED, 17, 18},
    {"SETVARIABLE($$NONE, 1)",  eQvMSG_AGGREGATION_VARIABLE_EXPECTED, 12, 18},
    {"SETMAXVARIABLE(1, 1)",    eQvMSG_AGGREGATION_VARIABLE_EXPECTED, 15, 16},
    {"SETMAXVARIABLE($$INAGG, 1)", eQvMSG_VARIABLE_SET_IN_AGGREGATE, 15, 22},
    {"SETMAXVARIABLE($$COUNT, 1)", eQvMSG_VARIABLE_IS_COUNT,   15, 22, "H", eXVFC_SETVARIABLE, 0},
    {"SETMAXVARIABLE($$MIN, 1)", eQvMSG_VARIABLE_IS_MIN,       15, 20},
    {"SETMINVARIABLE($$MAX, 1)", eQvMSG_VARIABLE_IS_MAX,       15, 20},
    {"SETCOUNTVARIABLE($$MAX)", eQvMSG_VARIABLE_IS_MAX,        17, 22},
    {"SETVARIABLE($$COUNT)", eQvMSG_TOO_FEW_ARGUMENTS,      0, 20},
    // constant checks of the operators
    {"I / 0",              eQvMSG_DIVISION_BY_ZERO,       4, 5},
    {"I / 0.0",            eQvMSG_DIVISION_BY_ZERO,       4, 7},
    {"MOD(I, 0)",          eQvMSG_DIVISION_BY_ZERO,       7, 8},
    // a custom type the host cannot order is refused by name in an ordering comparison
    {"CY > CY",            eQvMSG_INVALID_OPERAND_TYPE,   0, 2, "C"},
    {"I + 1 < CY",         eQvMSG_INVALID_OPERAND_TYPE,   8, 10, "C"},
    // with the NULL type allowed SUM(NULL) passes the aggregate's own check,
    // but a sum of nothing has no type to expect of its argument
    {"SUM(NULL)",          eQvMSG_TYPE_MISMATCH,          4, 8, "N"},
};
// clang-format on

TEST(ValidatorErrorTest, MessageAndMarkedSpan) {
    for (const ErrorCase& c : kErrorCases) {
        std::optional<CustomTypesContext> custom;
        if (*c.mode == 'C') custom.emplace();
        const Outcome out(c.text, mode(c.mode), custom ? &*custom : nullptr);
        EXPECT_EQ(answers({out.status, out.tree == nullptr}), "-1 1") << c.text;
        const std::string first = out.errors.substr(0, out.errors.find('\n'));
        EXPECT_NE(first.find(textOf(c.id)), std::string::npos) << c.text << "\n" << out.errors;
        EXPECT_EQ(std::make_pair(out.begin, out.end), std::make_pair(c.begin, c.end)) << c.text << "\n" << out.errors;
        const std::string failure = answers({out.failure, out.failureChild});
        if (c.failure != eXVFC_NONE) { EXPECT_EQ(failure, answers({c.failure, c.child})) << c.text; }
    }
}

// text, message, the marked operand as the line shows it
struct WarningCase { const char* text; int id; const char* marked; };

const WarningCase kWarningCases[] = {
    {"I = NULL", eQvMSG_COMPARISON_WITH_NULL, "I = <<<< NULL >>>>"},
    {"NULL <> F", eQvMSG_COMPARISON_WITH_NULL, "<<<< NULL >>>> <> F"},
    {"CONCAT(1, 'a')", eQvMSG_CONVERTED_TO_STRING, "CONCAT(<<<< 1 >>>>, 'a')"},
    {"UPPER(I)", eQvMSG_CONVERTED_TO_STRING, "UPPER(<<<< I >>>>)"},
    {"SETMAXVARIABLE($$ANY, 1)", eQvMSG_VARIABLE_WITHOUT_AGGREGATION, "SETMAXVARIABLE(<<<< $$ANY >>>>, 1)"},
    {"SETVARIABLE($$ANY, 1)", 0, ""},  // takes any aggregation type silently
};

TEST(ValidatorWarningTest, WarnedAndMarkedButValid) {
    for (const WarningCase& c : kWarningCases) {
        const Outcome out(c.text);
        EXPECT_EQ(answers({out.status, out.errors.empty()}), "0 1") << c.text << "\n" << out.errors;
        const size_t npos = std::string::npos, none = out.warnings.empty() ? 0 : npos;  // id 0: no warning at all
        EXPECT_NE(c.id ? out.warnings.find(textOf(c.id)) : none, npos) << c.text << "\n" << out.warnings;
        EXPECT_NE(out.warnings.find(c.marked), std::string::npos) << c.text << "\n" << out.warnings;
    }
}

// Every non-row expression of one widget must have the level of the first;
// one that does not is recorded as a mixed aggregation of the whole tree.
TEST(ValidatorWidgetLevelTest, LaterExpressionsFollowTheFirstNonRowLevel) {
    struct Step { const char* text; int status; EXValidationFailureCase failure = eXVFC_NONE; int child = -1; };
    const Step steps[] = {{"I + 1", 0},        {"SUM(I)", 0}, {"I", 0}, {"MAX(F) + 1", 0},
                          {"SUM(SUM(I))", -1, eXVFC_MIXED_AGGREGATION}};
    Context context(Settings{});
    for (const Step& step : steps) {
        const Outcome out(step.text, {}, &context);
        EXPECT_EQ(answers({out.status, out.failure, out.failureChild}), answers({step.status, step.failure, step.child}))
            << step.text;
    }
    EXPECT_EQ(context.getCurrentWidgetAggLevel(), eXAL_GROUP);
    context.resetCurrentWidgetAggLevel();
    EXPECT_EQ(Outcome("SUM(SUM(I))", {}, &context).status, 0);
}

// Valid texts (over CustomTypesContext when `custom`), each with the node at `child` of the root (-1: the
// root) and what `probe` reads from it.
struct Probed { const char* text; int child; std::string expected; };
template <class Probe>
void expectProbed(std::initializer_list<Probed> cases, Probe probe, int custom = 0) {
    for (const Probed& c : cases) {
        std::optional<CustomTypesContext> context;
        if (custom) context.emplace();
        const Outcome out(c.text, {}, context ? &*context : nullptr);
        ASSERT_EQ(out.status, 0) << c.text << "\n" << out.errors;
        const XNode* node = c.child < 0 ? out.root() : out.root()->getChildB(c.child, 1);
        EXPECT_EQ(probe(node), c.expected) << c.text << " " << c.child;
    }
}

// What each child is expected to be ("<type> tpe:<expectation>"), and the type a NULL operand takes.
TEST(ValidatorChildTest, ExpectationsAndNullOperands) {
    expectProbed({
        {"ABS(NULL)", 0, "INT tpe:1034"},
        {"NULL || 'a'", 0, "UNISTRING tpe:1036"},
        {"DT = NULL", 1, "DATE tpe:1007"},
        {"1 = 2", 0, "INT tpe:1035"},
        {"IIF(NULL, 1)", 0, "INT tpe:1002"},
        {"DECODE(I, NULL, 'a')", 1, "INT tpe:1035"},
        {"DECODE(I, 1, NULL)", 2, "INT tpe:1034"},
        {"CRC(BIN, I)", 0, "BINARY tpe:1038"},
        {"BIN", -1, "BINARY tpe:1038"},  // the root may yield any type, BINARY included
    }, [](const XNode* n) { const int expects = XValidator::getNodeTypeParentExpectsIndicator(n).toInteger();
        return shortName(n->getDataType().toString()) + " tpe:" + std::to_string(expects); });
}

// Whether a leaf below an operator is constant: only a value written in the
// text is; the star of COUNT(*) counts rows, and a port changes with them.
TEST(ValidatorChildTest, ConstnessOfLeaves) {
    expectProbed({
        {"COUNT(*)", 0, "0"},
        {"COUNT(I, 1 > 0)", 1, "1"},
        {"I + 1", 0, "0"},
        {"I + 1", 1, "1"},
    }, [](const XNode* n) { return std::to_string(XValidator::isNodeConstnessTrue(n)); });
}

// The longest text a node can produce.
TEST(ValidatorSizeTest, CharacterCounts) {
    expectProbed({
        {"CONCAT('ab', 'cde')", -1, "5"},
        {"S || U", -1, "22"},
        {"IIF(I, S, U)", -1, "12"},
        {"CHR(65)", -1, "1"},
        {"SOUNDEX(S)", -1, "4"},
        {"UPPER(U)", -1, "12"},
        {"DECODE(I, 1, S, 2, U, 'abc')", -1, "12"},
        {"REPLACECHR(0, S, 'a', 'b')", -1, "10"},
        {"CONCAT(NULL, 'abc')", -1, "3"},  // a NULL taken as text is empty
    }, [](const XNode* node) { return std::to_string(node->getNumCharsMax().toInteger()); });
}

// Relaxed validation: parse takes the tree as built; the validator's own
// relaxed paths are reached by running it on such a tree.
TEST(ValidatorRelaxTest, ValidatorRunDirectlyOnARelaxedTree) {
    const std::pair<const char*, int> cases[] = {
        {"CONCAT(NULL, 'a', 'b')", 0},  // one argument too many, but one is NULL-typed
        {"CONCAT('c', 'a', 'b')", -1},  // too many, none NULL
        {"CONCAT(NULL)", -1},           // too few: a NULL does not excuse that
        {"LAST_DAY(DT, I, NULL)", 0},   // the extra arguments are expected as they are
        {"ABS('a')", -1},               // operand typing still applies
        {"UPPER(BIN)", -1},             // no compatibility check, but BINARY stays refused
        {"SUM(NULL)", 0},
    };
    Context relaxed(Settings{1, 1, 0});
    for (const auto& [text, status] : cases) {
        const Relaxed r(text, relaxed);
        EXPECT_EQ(r.status, status) << text << "\n" << r.err.toUtf8();
    }
}

// References are recorded in the tree's text record in text order.
TEST(ValidatorReferenceTest, RecordedInTextOrder) {
    const Outcome out("IIF(I > F, S || U, 'x') || $$MAX");
    ASSERT_EQ(out.status, 0) << out.errors;
    const XRefInfoList& refs = out.tree->getTree()->getExprStrInfo()->getRefList();
    std::string spans;
    for (size_t i = 0; i < refs.entries(); ++i)
        spans += answers({refs[i].getNode()->getPosBegin().toInteger(), refs[i].getNode()->getPosEnd().toInteger()}) + " ";
    EXPECT_EQ(spans, "4 5 8 9 11 12 16 17 27 32 ");
}


// With recording off (a caller validating a tree whose references it holds already) none is recorded.
TEST(ValidatorReferenceTest, NoneRecordedWhenRecordingIsOff) {
    Context relaxed(Settings{1, 1, 0});
    for (int off : {1, 0}) {
        const Relaxed r("I + F", relaxed, nullptr, off);
        const size_t recorded = r.tree->getExprStrInfo()->getRefList().entries();
        EXPECT_EQ(answers({r.status, static_cast<int>(recorded)}), off ? "0 0" : "0 2");
    }
}

// A context whose port answers pass through `hook` (status, record, texts).
using Hook = std::function<void(int&, XMetadataPort*, QvUString&, QvUString&)>;
struct HookedContext : Context {
    explicit HookedContext(Hook h) : Context(Settings{}), hook(std::move(h)) {}
    int findPort(const unsigned short** qualifiers, const unsigned short* name, XMetadataPort* md, QvUString& err,
                 QvUString& warn) override {
        int status = Context::findPort(qualifiers, name, md, err, warn);
        hook(status, md, err, warn);
        return status;
    }
    Hook hook;
};

// The completeness pass: a node without an attribute, or with a type its
// place does not allow, rejects the tree; a failure it finds is never left
// without a message.
TEST(ValidatorCompletenessTest, PassAndItsSwitches) {
    const Outcome out("I + 1");
    ASSERT_EQ(out.status, 0);
    XTree* tree = out.tree->getTree();
    auto refuseConstants = [](XNode* node, int, int) { return node->isConstNode() ? 0 : 1; };
    EXPECT_EQ(XValidator::checkIsProperlySet(tree, 1, 0, 0, 0, nullptr), 1);
    EXPECT_EQ(XValidator::checkIsProperlySet(tree, 1, 0, 0, 0, refuseConstants), 0);
    // A node that lost its level is not properly set.
    XValidator::setNodeAggLevel(out.root(), XAggLevel(eXMINT_UNINIT));
    EXPECT_EQ(XValidator::checkIsProperlySet(tree, 1, 0, 0, 0, nullptr), 0);
}

// Every attribute the pass asks of a node, taken away from one node of a
// valid tree (the operator, a port, a constant, a text leaf): the tree is no
// longer properly set.
TEST(ValidatorCompletenessTest, EachMissingAttributeRejects) {
    using Spoil = void (*)(XNode*);
    struct Row { const char* text; int child; Spoil spoil; const char* what; };
    const Row rows[] = {
        {"I + 1", 0, [](XNode* n) { n->changeId(static_cast<EXNodeId>(-1)); }, "kind"},
        {"I + 1", 0, [](XNode* n) {  // the original begin kept, the current one lost
             n->updatePosBeginEnd(XNonNegInt(0), XNonNegInt(eXMINT_NOCHANGE), 1);
             n->updatePosBeginEnd(XNonNegInt(eXMINT_INVALID), XNonNegInt(eXMINT_NOCHANGE), 0);
         }, "begin"},
        {"I + 1", 1, [](XNode* n) { n->updatePosBeginEnd(XNonNegInt(eXMINT_NOCHANGE), XNonNegInt(eXMINT_INVALID), 0); },
         "end"},
        {"I + 1", 0, [](XNode* n) {
             n->updatePosBeginEnd(XNonNegInt(eXMINT_INVALID), XNonNegInt(eXMINT_NOCHANGE), 0);
             n->updatePosBeginEnd(XNonNegInt(0), XNonNegInt(eXMINT_NOCHANGE), 1);
         }, "original begin"},
        {"I + 1", 0, [](XNode* n) { n->getMetadataPtr()->setArgType(eXMINT_UNINIT); }, "argument type"},
        {"I + 1", 1, [](XNode* n) { n->setNumCharsMax(eXMINT_UNINIT); }, "length"},
        {"S || 'a'", 1, [](XNode* n) { n->setNumCharsMax(eXMINT_INVALID); }, "text length"},
        {"I + 1", -1, [](XNode* n) { XValidator::setNodeAggLevel(n, XAggLevel(eXMINT_UNINIT)); }, "level"},
        {"I + 1", -1, [](XNode* n) { XValidator::setNodeOp(n, XOp()); }, "operation"},
        {"I + 1", 1, [](XNode* n) { XValidator::setNodeConstness(n, XBooleanInt(eXMINT_UNINIT)); }, "constness"},
        {"I + 1", 0, [](XNode* n) { XValidator::setNodeTypeParentExpectsIndicator(n, {}); }, "expectation"},
        {"DT", -1, [](XNode* n) { XValidator::setNodeTypeParentExpectsIndicator(n, {}); }, "root expectation"},
        {"I + 1", -1, [](XNode* n) { XValidator::setNodeResultTypeIndicator(n, {}); }, "result rule"},
        {"D18 + 1", 0, [](XNode* n) { n->setScale(eXMINT_INVALID); }, "decimal scale"},
        {"I > 1", -1, [](XNode* n) { XValidator::setNodeAugType(n, XType(eXMINT_INVALID)); }, "compared type"},
        {"DECODE(I, 1, 'a', 'b')", -1, [](XNode* n) { XValidator::setNodeAugType(n, XType(eXMINT_INVALID)); },
         "parent's augmented type"},
        // Types whose place is the full check's question, on a node otherwise set.
        {"I + 1", 0, [](XNode* n) { n->setDataType(XType(eXDT_BINARY)); }, "binary operand"},
        {"I + 1", 0, [](XNode* n) { n->setDataType(XType(eXDT_NULL)); }, "null-typed operand"},
        {"LENGTH(S)", 0, [](XNode* n) {
             XTypeConfig::registerHierarchicalTypes();
             n->setDataType(htest::structId());
         }, "struct operand"},
    };
    for (const Row& row : rows) {
        const Outcome out(row.text);
        ASSERT_EQ(out.status, 0) << row.text;
        XNode* node = row.child < 0 ? out.root() : out.root()->getChildB(row.child, 1);
        row.spoil(node);
        EXPECT_EQ(XValidator::checkIsProperlySet(out.tree->getTree(), 1, 0, 0, 0, nullptr), 0) << row.what;
    }
}

// A record the completeness pass refuses (a text port without a length)
// is reported, not rejected in silence.
TEST(ValidatorCompletenessTest, ARefusedNodeIsNamed) {
    HookedContext context([](int&, XMetadataPort* md, QvUString&, QvUString&) {
        if (md->getDataType().isString(0)) md->setNumCharsMax(eXMINT_INVALID);
    });
    const Outcome out("I + LENGTH(S)", {}, &context);
    EXPECT_EQ(out.status, -1);
    EXPECT_NE(out.errors.find(textOf(eQvMSG_INVALID_OPERAND_TYPE)), std::string::npos) << out.errors;
    EXPECT_EQ(std::make_pair(out.begin, out.end), std::make_pair(size_t{11}, size_t{12}));
}

// Which operands hold a value known before any row is read.
TEST(ValidatorPredicateTest, HasConstValue) {
    expectProbed({
        {"I + 1", 1, "1"},
        {"I + 1", 0, "0"},
        {"CONCAT(NULL, S)", 0, "1"},
        {"SESSSTARTTIME = SYSDATE", 0, "1"},
        {"$$MAX + 1", 0, "1"},  // the initial value, not the current one:
        {"SETVARIABLE($$MAX, 1)", 0, "0"},
        {"ABS(1) + 1", 0, "0"},
    }, [](const XNode* node) { return std::to_string(XValidator::hasConstValue(node)); });
}

// Which children are an aggregate's filter or an IIF's condition, and which a DECODE searches for.
TEST(ValidatorPredicateTest, FilterAndConditionChildren) {
    expectProbed({
        {"IIF(I > 1, 1, 2)", 0, "1 0"},
        {"IIF(I > 1, 1, 2)", 1, "0 0"},
        {"SUM(I, I > 0)", 1, "1 0"},
        {"MAX(I, I > 0)", 0, "0 0"},
        {"MOVINGSUM(I, 5, I > 0)", 2, "1 0"},
        {"MOVINGSUM(I, 5, I > 0)", 1, "0 0"},
        {"ABS(I)", 0, "0 0"},
        {"DECODE(I, 1, 'a', 'b')", 1, "0 1"},
        {"DECODE(I, 1, 'a', 'b')", 2, "0 0"},
    }, [](const XNode* node) {
        auto* parent = const_cast<XNodeParent*>(node->getParent());
        return answers({XValidator::isChildFilterOrIifCond(parent, node->getMyIndexInParent()),
                        XValidator::isSearchChildOfDecode(node)});
    });
}

// A subscript list is typed before its subscript, which this release does
// not validate yet: its attributes stay in the tree the failed walk leaves.
TEST(ValidatorListTest, ListTypedAsRowIntegerNeverConstant) {
    Context relaxed(Settings{1, 1, 0}), checking(Settings{});
    const Relaxed r("I[1, 2]", relaxed, &checking);
    EXPECT_EQ(r.status, -1);
    const XNode* list = r.tree->getRoot()->getChildB(1, 1);
    ASSERT_EQ(list->getId(), eXNI_LIST);
    EXPECT_EQ(describe(list), "INT op5 aug:- row var");
    const XMetadata* md = list->getMetadataConstPtr();
    EXPECT_EQ(answers({list->getNumCharsMax().toInteger(), md->getArgType().toInteger()}), "0 1");
    EXPECT_EQ(XValidator::getNodeTypeParentExpectsIndicator(list->getChildB(0, 1)).toInteger(), eXTPE_ANY);
}

TEST(ValidatorCustomTypeTest, CustomVariants) {
    expectProbed({
        {"ABS(CN)", -1, "7"},
        {"CEIL(CN)", -1, "11"},
        {"CN + 1", -1, "9"},
        {"I - CN", -1, "61"},
        {"CN * 2", -1, "45"},
        {"CN / 2", -1, "23"},
        {"MOD(CN, 2)", -1, "15"},
        {"NOT CN", -1, "104"},
        {"CN AND 1", -1, "106"},
        {"SIGN(CN)", -1, "17"},
        {"TO_FLOAT(CN)", -1, "94"},
        {"CN = CN", -1, "29"},
        {"CN <> 1", -1, "51"},
        {"CN > 1", -1, "43"},
        {"CX = CX", -1, "28"},
        {"CX <> CX", -1, "50"},
        {"CX > NULL", -1, "42"},
        {"CY = CY", -1, "28"},  // compared for equality, though not ordered
        {"TO_FLOAT(I)", -1, "93"},
    }, [](const XNode* node) { return std::to_string(XValidator::getNodeOp(node).toInteger()); }, 1);
}

// Expected as the other operand: a NULL beside a custom value takes its type.
TEST(ValidatorCustomTypeTest, NullBesideACustomOperandTakesItsType) {
    expectProbed({{"NULL = CX", 0, "1"}}, [](const XNode* null) {
        const XType other = null->getParent()->getChildB(1, 1)->getDataType();
        return std::to_string(null->getDataType().toInteger() == other.toInteger());
    }, 1);
}

// An exception thrown by the context while names are resolved fails the
// parse with a message; no tree is handed back.
TEST(ValidatorContextTest, AnExceptionFromTheContextFailsTheParse) {
    HookedContext context([](int&, XMetadataPort*, QvUString&, QvUString&) { throw 7; });
    const Outcome out("1 + I", {}, &context);
    EXPECT_EQ(answers({out.status, out.tree == nullptr}), "-1 1");
    EXPECT_NE(out.errors.find(textOf(eQvMSG_UNEXPECTED_EXCEPTION)), std::string::npos) << out.errors;
}

// Kinds the parser never builds but a caller's tree may hold are refused
// with a message naming them, never silently.
TEST(ValidatorContextTest, KindsThatNeverValidateAreNamed) {
    for (EXNodeId kind : {eXNI_ASSIGN, eXNI_PIVOT, eXNI_TO_NUMBER}) {
        static const unsigned short kText[] = {'f', '(', '1', ')', 0};
        XNodeOpt* root = XNodeOpt::create(kind, XNonNegInt(0), XNonNegInt(4));
        root->appendChildNode(XNodeConstBase::createConstInt(1, XNonNegInt(2), XNonNegInt(3)));
        XTree* tree = XTree::create(root, kText, 0, 0);
        QvUString err, warn;
        tree->setErrorReportStrings(&err, &warn);
        Context context(Settings{});
        XValidator validator(&context);
        EXPECT_EQ(validator.visitSyntaxTree(tree, nullptr, nullptr), -1) << kind;
        EXPECT_NE(err.toUtf8().find(textOf(eQvMSG_NOT_VALIDATED_YET)), std::string::npos) << err.toUtf8();
        delete tree;
    }
}

}  // namespace
