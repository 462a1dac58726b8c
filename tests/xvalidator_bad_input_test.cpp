// The validator on input nobody should send it: a caller's context that
// fails, answers with texts on success or fills records with types the
// evaluator cannot use, and expressions far larger than any real one (100 000
// arguments, 5 000 levels of nesting, 10 MB of text). A bad record must end in
// a message at the reference, never in a "valid" tree of an unusable type;
// a huge expression must validate without exhausting the stack, in work
// (bytes allocated, questions asked of the context) proportional to its size.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <string>

#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xtype.h"
#include "qvutils.h"
#include "xalloccount.h"
#include "xparsetest.h"

namespace {

using xparsetest::countMsg;
using xparsetest::OneParse;

// What the context answers for one name: the record, the status of findPort / findMapVar /
// findWorkflowVar, the texts findPort hands back, a mapping variable's aggregation.
struct Answer { int type, numCharsMax = 10, status = 0; const char *err = "", *warn = "";
                EXMapVarType aggregation = eXMVT_MAX; };

constexpr int kStruct = 1027;  // registered below as the struct kind

// The names every row may use: one sane port of each common type, and the
// bad answers under test.
std::map<std::string, Answer> allAnswers() {
    return {
        {"i", {eXDT_INT}},
        {"u", {eXDT_UNISTRING}},
        {"typeUninit", {eXMINT_UNINIT}},
        {"typeInvalid", {eXMINT_INVALID}},
        {"type9999", {9999}},
        {"boolean", {eXDT_BOOLEAN}},
        {"structNoConfig", {kStruct}},
        {"unicodeNoLength", {eXDT_UNISTRING, -1}},
        {"longest", {eXDT_UNISTRING, INT_MAX}},
        {"failsWithText", {eXDT_INT, 10, -1, "offline"}},
        {"failsPositive", {eXDT_INT, 10, 5}},
        {"warns", {eXDT_INT, 10, 0, "", "port warns: deprecated"}},
        {"succeedsWithError", {eXDT_INT, 10, 0, "port succeedsWithError: odd"}},
        {"$$type9999", {9999}},
        {"$$struct", {kStruct}},
        {"$$unset", {eXDT_INT, 10, 0, "", "", eXMVT_UNINIT}},
        {"$$refused", {eXDT_INT, 10, -1}},
    };
}

// Ports, "$$" mapping variables and "$$" workflow variables (in a workflow
// context) answered from one table; every question is counted.
struct AnsweringContext : xparsetest::TestContext {
    explicit AnsweringContext(int kind = xparsetest::kTransformation) : TestContext(kind) {}

    int isRelaxValidationSet() override { return ++questions, 0; }
    int isAllowNullTypeSet() override { return ++questions, 0; }
    int findPort(const unsigned short**, const unsigned short* name, XMetadataPort* md, QvUString& err,
                 QvUString& warn) override {
        const Answer* answer = find(name);
        if (!answer) return -1;
        err = QvUString(answer->err), warn = QvUString(answer->warn);
        if (answer->status == 0) fill(md, *answer);
        return answer->status;
    }
    int findMapVar(const unsigned short* name, XMetadataMapVar* md) override {
        const Answer* answer = findVar(name, md);
        if (answer) md->setMapVarType(answer->aggregation);
        return answer ? 0 : -1;
    }
    int findWorkflowVar(const unsigned short* name, XMetadataWorkflowVar* md) override {
        return findVar(name, md) ? 0 : -1; }

    std::map<std::string, Answer> answers = allAnswers();
    size_t questions = 0;

    // A variable's answer, its record filled; null when refused.
    const Answer* findVar(const unsigned short* name, XMetadata* md) {
        const Answer* answer = find(name);
        if (!answer || answer->status != 0) return nullptr;
        fill(md, *answer);
        return answer;
    }
    const Answer* find(const unsigned short* name) {
        ++questions;
        auto it = answers.find(QvUString(name).toUtf8());
        return it == answers.end() ? nullptr : &it->second;
    }
    static void fill(XMetadata* md, const Answer& answer) {
        md->setDataType(XType(answer.type));
        if (answer.numCharsMax >= 0) md->setNumCharsMax(answer.numCharsMax);
    }
};

// The hierarchical struct kind exists only once the host registers it.
void registerStructKind() {
    static const int id = [] {
        const std::string name = std::string(gsQvTypeNamespace) + "datatype.htype.struct";
        return CustomSDKMgr::getInstance()->registerCustomType({name.c_str(), eQvTRT_VECTOR, 16, 40}, kStruct);
    }();
    ASSERT_EQ(id, kStruct);
}

// kind, text, status, error (0: the parse succeeds), the text the error marks (first
// occurrence), a context text the messages must carry (or "")
struct ContextRow { int kind; const char* text; int status, errorId; const char* marked; const char* kept; };

class XValidatorBadContextTest : public ::testing::TestWithParam<ContextRow> {};

TEST_P(XValidatorBadContextTest, IsReportedAtTheReference) {
    registerStructKind();
    const ContextRow& row = GetParam();
    AnsweringContext ctx(row.kind);
    OneParse result(ctx, row.text);
    SCOPED_TRACE(std::string(row.text) + " -> " + result.err.toUtf8() + result.warn.toUtf8());
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(result.tree != nullptr, row.status == 0);
    if (row.errorId != 0) {
        EXPECT_EQ(countMsg(result.err, row.errorId), 1);
        const size_t begin = std::string(row.text).find(row.marked);
        EXPECT_EQ(std::make_pair(result.errBegin, result.errEnd), std::make_pair(begin, begin + strlen(row.marked)));
    }
    EXPECT_NE((result.err.toUtf8() + result.warn.toUtf8()).find(row.kept), std::string::npos);
}

constexpr int kT = xparsetest::kTransformation;
constexpr int kW = xparsetest::kWorkflow;

INSTANTIATE_TEST_SUITE_P(Rows, XValidatorBadContextTest, ::testing::Values(
        // Types no evaluator knows, alone and as operands.
        ContextRow{kT, "typeUninit", -1, eQvMSG_INVALID_OPERAND_TYPE, "typeUninit", ""},
        ContextRow{kT, "i + type9999", -1, eQvMSG_INVALID_OPERAND_TYPE, "type9999", ""},
        ContextRow{kT, "ISNULL(typeInvalid)", -1, eQvMSG_INVALID_OPERAND_TYPE, "typeInvalid", ""},
        ContextRow{kT, "boolean", -1, eQvMSG_INVALID_OPERAND_TYPE, "boolean", ""},
        ContextRow{kT, "ISNULL(structNoConfig)", -1, eQvMSG_INVALID_HIERARCHICAL_TYPE, "structNoConfig", ""},
        ContextRow{kT, "u || unicodeNoLength", -1, eQvMSG_INVALID_OPERAND_TYPE, "unicodeNoLength", ""},
        // Lookups that fail, with and without a text, or with a status
        // that is neither 0 nor -1.
        ContextRow{kT, "i + failsWithText", -1, eQvMSG_UNKNOWN_NAME, "failsWithText", "offline\nERROR: [failsWithText]"},
        ContextRow{kT, "failsPositive", -1, eQvMSG_UNKNOWN_NAME, "failsPositive", ""},
        ContextRow{kT, "nobody", -1, eQvMSG_UNKNOWN_NAME, "nobody", ""},
        // Texts on success are kept, and the expression still validates.
        ContextRow{kT, "warns + 1", 0, 0, "", "port warns: deprecated"},
        ContextRow{kT, "succeedsWithError", 0, 0, "", "port succeedsWithError: odd"},
        // Mapping and workflow variables get no more trust than ports.
        ContextRow{kT, "$$type9999", -1, eQvMSG_INVALID_OPERAND_TYPE, "$$type9999", ""},
        ContextRow{kT, "$$struct", -1, eQvMSG_INVALID_HIERARCHICAL_TYPE, "$$struct", ""},
        ContextRow{kW, "$$type9999 + 1", -1, eQvMSG_INVALID_OPERAND_TYPE, "$$type9999", ""},
        ContextRow{kT, "$$refused", -1, eQvMSG_UNKNOWN_NAME, "$$refused", ""},
        // Aggregation types that allow no setting, or that the records do not
        // define (the messages then name a type the variable does not have).
        ContextRow{kT, "SETMAXVARIABLE($$unset, 1)", -1, eQvMSG_VARIABLE_IS_COUNT, "$$unset", ""},
        ContextRow{kT, "SETCOUNTVARIABLE($$unset)", -1, eQvMSG_VARIABLE_IS_MIN, "$$unset", ""},
        ContextRow{kT, "SETVARIABLE($$unset, 1)", 0, 0, "", ""}));

// ===== size =====

std::string repeat(const std::string& piece, int n, const char* separator) {
    std::string out;
    for (int i = 0; i < n; ++i) out += (i ? separator : "") + piece;
    return out;
}

// `open` n times, `core`, `close` n times.
std::string nest(const char* open, const std::string& core, const char* close, int n) {
    return repeat(open, n, "") + core + repeat(close, n, "");
}

struct SizeRow { const char* what; std::string (*build)(int n); int n, resultType; };

// What a parse and validation of one expression cost.
struct Work { size_t bytes; size_t questions; };

Work validate(const SizeRow& row, int n) {
    AnsweringContext ctx;
    const xparsetest::Text text(row.build(n));
    XParser parser;
    parser.setParserContext(&ctx, 0);
    xparsetest::ParseResult result;
    const size_t bytes = xalloccount::measure([&] { xparsetest::parseInto(parser, text, result); }).allocated;
    EXPECT_EQ(result.status, 0) << row.what << " " << n << ": " << result.err.toUtf8().substr(0, 300);
    if (result.tree) { EXPECT_EQ(result.root()->getDataType().toInteger(), row.resultType) << row.what; }
    return {bytes, ctx.questions};
}

class XValidatorSizeTest : public ::testing::TestWithParam<SizeRow> {};

// Twice the nodes may cost at most about twice the work: quadratic growth
// would show as four times.
TEST_P(XValidatorSizeTest, ValidatesInWorkLinearInItsSize) {
    const SizeRow& row = GetParam();
    const Work once = validate(row, row.n / 2);
    const Work twice = validate(row, row.n);
    EXPECT_LT(static_cast<double>(twice.bytes) / once.bytes, 2.5) << row.what;
    EXPECT_LT(static_cast<double>(twice.questions) / once.questions, 2.5) << row.what;
}

INSTANTIATE_TEST_SUITE_P(Rows, XValidatorSizeTest, ::testing::Values(
        SizeRow{"DECODE", [](int n) { return "DECODE(i, " + repeat("i", n - 2, ", ") + ", 2)"; }, 100000, eXDT_INT},
        SizeRow{"CRC", [](int n) { return "CRC(" + repeat("i", n, ", ") + ")"; }, 100000, eXDT_INT},
        SizeRow{"||", [](int n) { return repeat("u", n + 1, " || "); }, 100000, eXDT_UNISTRING},
        SizeRow{"parentheses", [](int n) { return nest("(", "1", " + 1)", n); }, 5000, eXDT_INT},
        SizeRow{"unary minus", [](int n) { return nest("- ", "i", "", n); }, 5000, eXDT_INT},
        // Calls nest as deep as the parser's stack allows (three entries a level).
        SizeRow{"ABS", [](int n) { return nest("ABS(", "i", ")", n); }, 3000, eXDT_INT},
        SizeRow{"IIF", [](int n) { return nest("IIF(i > 1, ", "i", ", 2)", n); }, 2000, eXDT_INT}));

// Character counts add up without overflowing: a count past the int range cannot be estimated: it is stored as invalid,
// never as a wrapped-around number.
TEST(XValidatorSizeTest, CharacterCountsPastTheIntRangeAreInvalid) {
    for (const char* text : {"longest || longest", "longest || u || longest || longest",
                             "CONCAT(longest, CONCAT(longest, u))", "DECODE(i, 1, longest || longest, u)"}) {
        AnsweringContext ctx;
        OneParse result(ctx, text);
        ASSERT_EQ(result.status, 0) << text << ": " << result.err.toUtf8();
        EXPECT_EQ(result.root()->getNumCharsMax().toInteger(), eXMINT_INVALID) << text;
    }
}

// Deeper calls than the parser's stack holds fail with its message, cleanly.
TEST(XValidatorSizeTest, CallsNestedBeyondTheParserStackFailCleanly) {
    for (const char* open : {"ABS(", "-(", "CONCAT(u, "}) {
        AnsweringContext ctx;
        OneParse result(ctx, nest(open, "i", ")", 5000));
        EXPECT_EQ(result.status, 2) << open;
        EXPECT_EQ(countMsg(result.err, eQvMSG_PARSER_STACK_OVERFLOW), 1) << open;
        EXPECT_EQ(result.tree, nullptr);
    }
}

// 10 MB of text, as one literal and as 100 000 arguments.
TEST(XValidatorSizeTest, TenMegabytesValidate) {
    const std::string hundred = "'" + std::string(208, 'y') + "'";
    for (const std::string& text : {"'" + std::string(10 << 20, 'x') + "' || u",
                                    "DECODE(i, " + repeat("1, " + hundred, 50000, ", ") + ")"}) {
        AnsweringContext ctx;
        OneParse result(ctx, text);
        EXPECT_EQ(result.status, 0) << result.err.toUtf8().substr(0, 300);
        if (result.tree) { EXPECT_EQ(result.root()->getDataType().toInteger(), eXDT_UNISTRING) << text.substr(0, 20); }
    }
}

}  // namespace
