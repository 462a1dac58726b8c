// Built-in functions through the validator: what each function's rows make
// of typed operands (type, variant, text size), the constant arguments the
// checks refuse with the value in the message, the re-check of an argument
// a caller substitutes, and the rewrite of a rounding wanted as text.
#include <gtest/gtest.h>

#include "qvcmnexpr/xnodeconst.h"
#include "qvcmnexpr/xtree.h"
#include "xfunctest.h"
#include "xtestsupport.h"

namespace {

using xfunctest::FuncContext;
using xfunctest::PrecisionMode;
using xfunctest::Validated;

// The text type of the server's character mode, whichever it is.
constexpr int kText = -100;
constexpr int kHigh = 1, kLow = 0;

int typeOf(int expected) { return expected == kText ? XType::getXdtString().toInteger() : expected; }

// ---- typing: expression -> type, variant, maximal character count ----

// chars: the count of a text result, the text width otherwise
struct Typed { const char* expr; int highPrecision, toCharSwitch, type, variant, chars; };

// type -1: not checked (a custom type's id)
void expectTyped(const Typed& c) {
    PrecisionMode mode(c.highPrecision);
    FuncContext ctx;
    Validated v(ctx, c.expr, c.toCharSwitch);
    ASSERT_EQ(v.status, 0) << c.expr << ": " << v.errors();
    if (c.type != -1) { EXPECT_EQ(v.root()->getDataType().toInteger(), typeOf(c.type)) << c.expr; }
    EXPECT_EQ(XValidator::getNodeOp(v.root()).toInteger(), c.variant) << c.expr;
    EXPECT_EQ(v.root()->getNumCharsMax().toInteger(), c.chars) << c.expr;
}

class FunctionTyping : public testing::TestWithParam<Typed> {};

TEST_P(FunctionTyping, RootHasTypeVariantAndSize) { expectTyped(GetParam()); }

const Typed kTyped[] = {
    // dates: the variant says whether the part or format is known now
    {"ADD_TO_DATE(dt, 'MM', 1)", kHigh, 0, eXDT_DATE, 18, 29},
    {"ADD_TO_DATE(dt, s, 1)", kHigh, 0, eXDT_DATE, 19, 29},
    {"ADD_TO_DATE(dt, NULL, 1)", kHigh, 0, eXDT_DATE, 19, 29},
    {"DATE_DIFF(dt, dt, 'dd')", kHigh, 0, eXDT_FLOAT, 20, 63},
    {"DATE_DIFF(dt, dt, s)", kHigh, 0, eXDT_FLOAT, 21, 63},
    {"GET_DATE_PART(dt, 'YYYY')", kHigh, 0, eXDT_INT, 36, 15},
    {"GET_DATE_PART(dt, s)", kHigh, 0, eXDT_INT, 37, 15},
    {"GET_DATE_PART(NULL, 'MM')", kHigh, 0, eXDT_INT, 37, 15},
    {"SET_DATE_PART(dt, 'MM', 5)", kHigh, 0, eXDT_DATE, 58, 29},
    {"SET_DATE_PART(dt, s, 5)", kHigh, 0, eXDT_DATE, 59, 29},
    {"IS_DATE(s)", kHigh, 0, eXDT_INT, 5, 15},
    {"IS_DATE(s, 'MM/DD/YYYY')", kHigh, 0, eXDT_INT, 5, 15},
    {"SYSTIMESTAMP()", kHigh, 0, eXDT_DATE, 62, 29},
    {"SYSTIMESTAMP('ms')", kHigh, 0, eXDT_DATE, 62, 29},
    {"SYSTIMESTAMP(s)", kHigh, 0, eXDT_DATE, 63, 29},
    {"SYSTIMESTAMP(NULL)", kHigh, 0, eXDT_DATE, 63, 29},
    {"TO_DATE(s)", kHigh, 0, eXDT_DATE, 84, 29},
    {"TO_DATE('2020-02-29', 'YYYY-MM-DD')", kHigh, 0, eXDT_DATE, 84, 29},
    {"TO_DATE(s, s)", kHigh, 0, eXDT_DATE, 85, 29},
    {"TO_DATE('not read without a format')", kHigh, 0, eXDT_DATE, 84, 29},
    {"ROUND(dt)", kHigh, 0, eXDT_DATE, 56, 29},
    {"ROUND(dt, 'MM')", kHigh, 0, eXDT_DATE, 56, 29},
    {"ROUND(dt, s)", kHigh, 0, eXDT_DATE, 57, 29},
    {"ROUND(dt, NULL)", kHigh, 0, eXDT_DATE, 57, 29},
    {"TRUNC(dt, 'YY')", kHigh, 0, eXDT_DATE, 100, 29},
    {"TRUNC(dt, s)", kHigh, 0, eXDT_DATE, 102, 29},
    // numbers
    {"ROUND(i)", kHigh, 0, eXDT_INT, 54, 15},
    {"ROUND(d, 1)", kHigh, 0, eXDT_DEC18, 54, 53},
    {"ROUND(f, i)", kLow, 0, eXDT_FLOAT, 54, 63},
    {"TRUNC(f, 2)", kHigh, 0, eXDT_FLOAT, 99, 63},
    {"TRUNC(NULL)", kHigh, 0, eXDT_INT, 99, 15},
    {"TO_DECIMAL(s)", kHigh, 0, eXDT_DEC28, 87, 53},
    {"TO_DECIMAL(i, 0)", kHigh, 0, eXDT_DEC28, 87, 53},
    {"TO_DECIMAL(i, 28)", kHigh, 0, eXDT_DEC28, 87, 53},
    {"TO_DECIMAL(s)", kLow, 0, eXDT_FLOAT, 93, 63},
    {"TO_INTEGER(s)", kHigh, 0, eXDT_INT, 95, 15},
    {"TO_INTEGER(f, 1)", kHigh, 0, eXDT_INT, 95, 15},
    {"TO_BIGINT(s, 0)", kHigh, 0, eXDT_BIGINT, 97, 31},
    {"LN(f)", kHigh, 0, eXDT_FLOAT, 5, 63},
    {"LOG(2, 8)", kHigh, 0, eXDT_FLOAT, 5, 63},
    {"SQRT(0)", kHigh, 0, eXDT_FLOAT, 5, 63},
    {"MOVINGSUM(i, 5)", kLow, 0, eXDT_BIGINT, 5, 31},
    {"MOVINGAVG(i, 5, i > 0)", kLow, 0, eXDT_FLOAT, 5, 63},
    {"MOVINGAVG(i, 5)", kHigh, 0, eXDT_DEC18, 5, 53},
    {"MOVINGAVG(i, 1)", kLow, 0, eXDT_FLOAT, 5, 63},
    {"PERCENTILE(f, 0)", kHigh, 0, eXDT_FLOAT, 5, 63},
    {"PERCENTILE(f, 100, f > 1)", kHigh, 0, eXDT_FLOAT, 5, 63},
    {"PERCENTILE(i, i)", kHigh, 0, eXDT_DEC18, 5, 53},
    // text, sized from the operands
    {"INSTR(s, 'a')", kHigh, 0, eXDT_INT, 5, 15},
    {"INSTR(s, 'a', 1, 2, 0)", kHigh, 0, eXDT_INT, 5, 15},
    {"INSTR(s, 'a', 1, i)", kHigh, 0, eXDT_INT, 5, 15},
    {"LPAD(s, 5)", kHigh, 0, kText, 5, 15},
    {"RPAD(s, 5, '*')", kHigh, 0, kText, 5, 15},
    {"LPAD('', 0)", kHigh, 0, kText, 5, 0},
    {"LPAD(s, 2147483647)", kHigh, 0, kText, 5, -2},
    {"CONCAT(LPAD(s, 3), 'ab')", kHigh, 0, kText, 5, 15},
    {"METAPHONE(s)", kHigh, 0, kText, 5, 20},
    {"METAPHONE(LPAD(s, 1073741823))", kHigh, 0, kText, 5, -2},
    {"REPLACESTR(0, s, 'a', 'xyz')", kHigh, 0, kText, 5, 30},
    {"REPLACESTR(0, s, 'a', 'b', 'x')", kHigh, 0, kText, 5, 10},
    {"REPLACESTR(0, LPAD(s, 9990), 'a', 'xyzxyzx')", kHigh, 0, kText, 5, 65535},
    {"METAPHONE(s, 0)", kHigh, 0, kText, 5, 20},
    // TO_CHAR by source type; a count of places only with the switch on
    {"TO_CHAR(i)", kHigh, 0, kText, 76, 15},
    {"TO_CHAR(NULL)", kHigh, 0, kText, 76, 15},
    {"TO_CHAR(i > 1)", kHigh, 0, kText, 76, 63},
    {"TO_CHAR(bi)", kHigh, 0, kText, 77, 31},
    {"TO_CHAR(f)", kHigh, 0, kText, 78, 63},
    {"TO_CHAR(d)", kHigh, 0, kText, 79, 53},
    {"TO_CHAR(TO_DECIMAL(d))", kHigh, 0, kText, 80, 53},
    {"TO_CHAR(s)", kHigh, 0, kText, 83, 10},
    {"TO_CHAR(dt)", kHigh, 0, kText, 74, 80},
    {"TO_CHAR(dt, 'YYYY-MM-DD')", kHigh, 0, kText, 74, 80},
    {"TO_CHAR(dt, s)", kHigh, 0, kText, 75, 80},
    {"TO_CHAR(dt, NULL)", kHigh, 0, kText, 75, 80},
    {"TO_CHAR(i, 2)", kHigh, 1, kText, 66, 63},
    {"TO_CHAR(i > 1, 2)", kHigh, 1, kText, 66, 63},
    {"TO_CHAR(bi, 2)", kHigh, 1, kText, 67, 63},
    {"TO_CHAR(1.5, 2)", kLow, 1, kText, 68, 63},
    {"TO_CHAR(d, 28)", kHigh, 1, kText, 69, 53},
    {"TO_CHAR(s, 0)", kHigh, 1, kText, 65, 63},
    {"TO_CHAR(dt, 'YYYY')", kHigh, 1, kText, 74, 80},
    {"TO_CHAR(f)", kHigh, 1, kText, 78, 63},
};

INSTANTIATE_TEST_SUITE_P(Rows, FunctionTyping, testing::ValuesIn(kTyped));

// Custom types: the custom variants, and the text width the host gives.
TEST(FunctionTyping, CustomOperandsTakeCustomVariantsAndHostWidths) {
    xfunctest::CustomTypes registered;
    const Typed cases[] = {
        {"TO_CHAR(m)", kHigh, 0, kText, eXOP_TO_CHAR_CUSTOM, 44},
        {"TO_CHAR(g)", kHigh, 0, kText, eXOP_TO_CHARX_CUSTOM, 20},
        {"TO_CHAR(g, 'fmt')", kHigh, 0, kText, eXOP_TO_CHARX_CUSTOM, 20},
        {"ROUND(m)", kHigh, 0, -1, 55, 44},
        {"TRUNC(m, 2)", kHigh, 0, -1, 101, 44},
        {"TO_DECIMAL(m)", kHigh, 0, eXDT_DEC28, 92, 53},
        {"TO_INTEGER(m)", kHigh, 0, eXDT_INT, 96, 15},
        {"TO_BIGINT(m)", kHigh, 0, eXDT_BIGINT, 98, 31},
        {"TO_BIGINT(m, 0)", kHigh, 0, eXDT_BIGINT, 98, 31},
    };
    for (const Typed& c : cases) expectTyped(c);
}

// ---- refusals: expression -> message, the part marked, the value shown ----

// says: a piece of the message that carries the value ("": none); failure and
// child: the failure record the check's own case leaves (eXVFC_NONE: not checked).
struct Refused { const char* expr; int toCharSwitch, msg; const char* mark; const char* says;
                 EXValidationFailureCase failure = eXVFC_NONE; int child = 0; };

class FunctionRefusal : public testing::TestWithParam<Refused> {};

// In both character modes: date formats and texts are read 8-bit in one
// and UTF-16 in the other.
TEST_P(FunctionRefusal, ReportsMessageAtArgument) {
    const Refused& c = GetParam();
    for (int ascii : {0, 1}) {
        xtestsupport::ServerMode mode(ascii);
        FuncContext ctx;
        Validated v(ctx, c.expr, c.toCharSwitch);
        EXPECT_NE(v.status, 0) << c.expr;
        EXPECT_TRUE(xfunctest::hasMsg(v.err, c.msg)) << c.expr << " [" << ascii << "]: " << v.errors();
        EXPECT_EQ(v.marked(), c.mark) << c.expr << " [" << ascii << "]";
        EXPECT_NE(v.errors().find(c.says), std::string::npos) << c.expr << ": " << v.errors();
        const XValidator* validator = v.parser.getValidator();
        const EXValidationFailureCase failure = c.failure == eXVFC_NONE ? eXVFC_NONE : validator->upg_getFailureCase();
        EXPECT_EQ(failure, c.failure) << c.expr;
        if (c.failure != eXVFC_NONE) { EXPECT_EQ(validator->upg_getFailureChildIndex(), c.child) << c.expr; }
    }
}

const Refused kRefused[] = {
    // a divisor known to be zero
    {"i / 0", 0, eQvMSG_DIVISION_BY_ZERO, "0", "", eXVFC_CONSTANT_ARGUMENT, -1},
    // lengths and windows: constants of a range
    {"LPAD(s, -1)", 0, eQvMSG_ARG_OUT_OF_RANGE, "-1", "value -1 is", eXVFC_VALUE_OUT_OF_RANGE, 1},
    {"RPAD(s, -2147483648)", 0, eQvMSG_ARG_OUT_OF_RANGE, "-2147483648", "value -2147483648 is"},
    {"LPAD(s, 2147483648)", 0, eQvMSG_ARG_OUT_OF_RANGE, "2147483648", "value 2147483648 is"},
    {"LPAD(s, 99999999999999999999999)", 0, eQvMSG_ARG_OUT_OF_RANGE, "99999999999999999999999", "value 1e+23 is"},
    {"LPAD(s, 1e999)", 0, eQvMSG_ARG_OUT_OF_RANGE, "1e999", "value inf is"},
    {"LPAD(s, 2147483647.5)", 0, eQvMSG_ARG_OUT_OF_RANGE, "2147483647.5", "value 2147483648 is"},
    {"LPAD(s, i)", 0, eQvMSG_CONSTANT_EXPECTED, "i", "", eXVFC_CONSTANT_EXPECTED, 1},
    {"RPAD(s, NULL)", 0, eQvMSG_NULL_NOT_ALLOWED, "NULL", "", eXVFC_NULL_NOT_ALLOWED, 1},
    {"LPAD(s)", 0, eQvMSG_TOO_FEW_ARGUMENTS, "LPAD(s)", ""},
    {"RPAD(s, 1, 'a', 'b')", 0, eQvMSG_TOO_MANY_ARGUMENTS, "RPAD(s, 1, 'a', 'b')", ""},
    {"MOVINGSUM(i, 0)", 0, eQvMSG_ARG_OUT_OF_RANGE, "0", "value 0 is"},
    {"MOVINGAVG(i, i)", 0, eQvMSG_CONSTANT_EXPECTED, "i", ""},
    {"MOVINGAVG(i, NULL)", 0, eQvMSG_NULL_NOT_ALLOWED, "NULL", ""},
    {"MOVINGSUM(i)", 0, eQvMSG_TOO_FEW_ARGUMENTS, "MOVINGSUM(i)", ""},
    {"INSTR(s, 'a', 1, -1)", 0, eQvMSG_ARG_OUT_OF_RANGE, "-1", "value -1 is"},
    {"INSTR(s, 'a', 1, 1, 0, 0)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "INSTR(s, 'a', 1, 1, 0, 0)", ""},
    {"PERCENTILE(f, 101)", 0, eQvMSG_ARG_OUT_OF_RANGE, "101", "value 101 is"},
    {"PERCENTILE(f, -1)", 0, eQvMSG_ARG_OUT_OF_RANGE, "-1", "value -1 is"},
    {"PERCENTILE(f, NULL)", 0, eQvMSG_NULL_NOT_ALLOWED, "NULL", "", eXVFC_NULL_NOT_ALLOWED, 1},
    {"PERCENTILE(NULL, 5)", 0, eQvMSG_NULL_NOT_ALLOWED, "NULL", ""},
    // scales of decimals and of numbers wanted as text
    {"TO_DECIMAL(i, 29)", 0, eQvMSG_ARG_OUT_OF_RANGE, "29", "value 29 is"},
    {"TO_DECIMAL(i, -1)", 0, eQvMSG_ARG_OUT_OF_RANGE, "-1", "value -1 is"},
    {"TO_DECIMAL(i, i)", 0, eQvMSG_CONSTANT_EXPECTED, "i", ""},
    {"TO_INTEGER(s, i)", 0, eQvMSG_CONSTANT_EXPECTED, "i", ""},
    {"TO_BIGINT(s, f)", 0, eQvMSG_CONSTANT_EXPECTED, "f", ""},
    {"TO_CHAR(f, 29)", 1, eQvMSG_ARG_OUT_OF_RANGE, "29", "value 29 is"},
    {"TO_CHAR(f, i)", 1, eQvMSG_CONSTANT_EXPECTED, "i", ""},
    {"TO_CHAR(f, 2)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "TO_CHAR(f, 2)", "", eXVFC_ARGUMENT_COUNT, -1},
    {"TO_CHAR(bin)", 0, eQvMSG_BINARY_NOT_ALLOWED, "bin", "", eXVFC_NO_VARIANT, -1},
    // values outside a function's domain
    {"SQRT(-1)", 0, eQvMSG_NEGATIVE_ARGUMENT, "-1", "value -1 is", eXVFC_VALUE_OUT_OF_RANGE, 0},
    {"SQRT(-0.5)", 0, eQvMSG_NEGATIVE_ARGUMENT, "-0.5", "value -0.5 is"},
    {"SQRT(-1e999)", 0, eQvMSG_NEGATIVE_ARGUMENT, "-1e999", "value -inf is"},
    {"LN(0)", 0, eQvMSG_NEGATIVE_ARGUMENT, "0", "value 0 is"},
    {"LOG(1, 5)", 0, eQvMSG_NEGATIVE_ARGUMENT, "1", "value 1 is"},
    {"LOG(0, 5)", 0, eQvMSG_NEGATIVE_ARGUMENT, "0", "value 0 is"},
    {"LOG(2, 0)", 0, eQvMSG_NEGATIVE_ARGUMENT, "0", "value 0 is"},
    {"METAPHONE(s, -1)", 0, eQvMSG_NEGATIVE_ARGUMENT, "-1", "value -1 is"},
    // date parts and formats the host cannot read
    {"ADD_TO_DATE(dt, 'QQ', 1)", 0, eQvMSG_INVALID_DATE_PART, "'QQ'", "date part: QQ", eXVFC_DATE_FORMAT, 1},
    {"ADD_TO_DATE(dt, '', 1)", 0, eQvMSG_INVALID_DATE_PART, "''", "date part: "},
    {"ADD_TO_DATE(dt, 5, 1)", 0, eQvMSG_INVALID_OPERAND_TYPE, "5", "", eXVFC_CONSTANT_ARGUMENT, -1},
    {"DATE_DIFF(dt, dt, 'XX')", 0, eQvMSG_INVALID_DATE_PART, "'XX'", "date part: XX"},
    {"GET_DATE_PART(dt, 'YYYYY')", 0, eQvMSG_INVALID_DATE_PART, "'YYYYY'", "date part: YYYYY"},
    {"SET_DATE_PART(dt, 'Q', 1)", 0, eQvMSG_INVALID_DATE_PART, "'Q'", "date part: Q"},
    {"ROUND(dt, 'QQ')", 0, eQvMSG_INVALID_DATE_PART, "'QQ'", "date part: QQ"},
    {"TRUNC(dt, 'MI SS')", 0, eQvMSG_INVALID_DATE_PART, "'MI SS'", "date part: MI SS"},
    {"IS_DATE(s, 'QQQ')", 0, eQvMSG_INVALID_DATE_FORMAT, "'QQQ'", "date format: QQQ"},
    {"TO_CHAR(dt, 'QQQ')", 0, eQvMSG_INVALID_DATE_FORMAT, "'QQQ'", "date format: QQQ"},
    {"TO_DATE(s, 'QQQ')", 0, eQvMSG_INVALID_DATE_FORMAT, "'QQQ'", "date format: QQQ"},
    {"TO_DATE('x', 'QQQ')", 0, eQvMSG_INVALID_DATE_FORMAT, "'QQQ'", "date format: QQQ"},
    {"TO_DATE(s, 5)", 0, eQvMSG_INVALID_OPERAND_TYPE, "5", ""},
    {"TO_DATE(5)", 0, eQvMSG_INVALID_OPERAND_TYPE, "5", ""},
    // date texts that do not read with their constant format
    {"TO_DATE('2020-13-01', 'YYYY-MM-DD')", 0, eQvMSG_DATE_TEXT_MISMATCH, "'2020-13-01'", "format: 2020-13-01",
     eXVFC_DATE_FORMAT, 0},
    {"TO_DATE('', 'YYYY')", 0, eQvMSG_DATE_TEXT_MISMATCH, "''", "format: "},
    // timestamp precisions
    {"SYSTIMESTAMP('XS')", 0, eQvMSG_INVALID_TIMESTAMP_PRECISION, "'XS'", "precision: XS", eXVFC_DATE_FORMAT, 0},
    {"SYSTIMESTAMP('')", 0, eQvMSG_INVALID_TIMESTAMP_PRECISION, "''", "precision:  ("},
    {"SYSTIMESTAMP('MSS')", 0, eQvMSG_INVALID_TIMESTAMP_PRECISION, "'MSS'", "precision: MSS"},
    {"SYSTIMESTAMP(5)", 0, eQvMSG_INVALID_OPERAND_TYPE, "5", ""},
    {"SYSTIMESTAMP('MS', 'US')", 0, eQvMSG_TOO_MANY_ARGUMENTS, "SYSTIMESTAMP('MS', 'US')", ""},
    // one argument short of the rows and one past them
    {"ROUND()", 0, eQvMSG_TOO_FEW_ARGUMENTS, "ROUND()", "", eXVFC_NO_VARIANT, -1},
    {"TRUNC()", 0, eQvMSG_TOO_FEW_ARGUMENTS, "TRUNC()", ""},
    {"ROUND(f, 1, 2)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "ROUND(f, 1, 2)", ""},
    {"TRUNC(dt, 'MM', 1)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "TRUNC(dt, 'MM', 1)", ""},
    {"ADD_TO_DATE(dt, 'MM')", 0, eQvMSG_TOO_FEW_ARGUMENTS, "ADD_TO_DATE(dt, 'MM')", ""},
    {"ADD_TO_DATE(dt, 'MM', 1, 2)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "ADD_TO_DATE(dt, 'MM', 1, 2)", ""},
    {"DATE_DIFF(dt, dt)", 0, eQvMSG_TOO_FEW_ARGUMENTS, "DATE_DIFF(dt, dt)", ""},
    {"GET_DATE_PART(dt)", 0, eQvMSG_TOO_FEW_ARGUMENTS, "GET_DATE_PART(dt)", ""},
    {"GET_DATE_PART(dt, 'MM', 1)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "GET_DATE_PART(dt, 'MM', 1)", ""},
    {"SET_DATE_PART(dt, 'MM', 1, 1)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "SET_DATE_PART(dt, 'MM', 1, 1)", ""},
    {"IS_DATE()", 0, eQvMSG_TOO_FEW_ARGUMENTS, "IS_DATE()", ""},
    {"IS_DATE(s, 'YYYY', 1)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "IS_DATE(s, 'YYYY', 1)", ""},
    {"TO_DATE()", 0, eQvMSG_TOO_FEW_ARGUMENTS, "TO_DATE()", ""},
    {"TO_DATE(s, 'YYYY', 1)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "TO_DATE(s, 'YYYY', 1)", ""},
    {"TO_DECIMAL()", 0, eQvMSG_TOO_FEW_ARGUMENTS, "TO_DECIMAL()", ""},
    {"TO_DECIMAL(s, 2, 1)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "TO_DECIMAL(s, 2, 1)", ""},
    {"TO_INTEGER()", 0, eQvMSG_TOO_FEW_ARGUMENTS, "TO_INTEGER()", ""},
    {"TO_BIGINT(s, 1, 1)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "TO_BIGINT(s, 1, 1)", ""},
    {"TO_CHAR()", 0, eQvMSG_TOO_FEW_ARGUMENTS, "TO_CHAR()", ""},
    {"TO_CHAR(dt, 'YYYY', 1)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "TO_CHAR(dt, 'YYYY', 1)", ""},
    {"INSTR(s)", 0, eQvMSG_TOO_FEW_ARGUMENTS, "INSTR(s)", ""},
    {"METAPHONE()", 0, eQvMSG_TOO_FEW_ARGUMENTS, "METAPHONE()", ""},
    {"METAPHONE(s, 1, 1)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "METAPHONE(s, 1, 1)", ""},
    {"MOVINGAVG(i, 5, 1, 1)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "MOVINGAVG(i, 5, 1, 1)", ""},
    {"PERCENTILE(f)", 0, eQvMSG_TOO_FEW_ARGUMENTS, "PERCENTILE(f)", ""},
    {"PERCENTILE(f, 1, 1, 1)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "PERCENTILE(f, 1, 1, 1)", ""},
    {"LN()", 0, eQvMSG_TOO_FEW_ARGUMENTS, "LN()", ""},
    {"LN(f, f)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "LN(f, f)", ""},
    {"LOG(f)", 0, eQvMSG_TOO_FEW_ARGUMENTS, "LOG(f)", ""},
    {"LOG(f, f, f)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "LOG(f, f, f)", ""},
    {"SQRT(f, f)", 0, eQvMSG_TOO_MANY_ARGUMENTS, "SQRT(f, f)", ""},
};

INSTANTIATE_TEST_SUITE_P(Rows, FunctionRefusal, testing::ValuesIn(kRefused));

// NULL refused as an aggregate's argument unless the caller relaxes the
// checks or keeps NULL as a type.
TEST(FunctionRefusal, NullAggregateArgumentPassesWhenRelaxed) {
    FuncContext strict;
    EXPECT_NE(Validated(strict, "PERCENTILE(f, 50, NULL)").status, 0);
    FuncContext relaxed;
    relaxed.relax = 1;
    // The parser leaves a relaxed context's trees unvalidated; the validator still runs over them.
    Validated unvalidated(relaxed, "PERCENTILE(f, 50, NULL)");
    ASSERT_EQ(unvalidated.status, 0);
    XValidator validator(&relaxed);
    EXPECT_EQ(validator.visitSyntaxTree(unvalidated.tree, nullptr, nullptr), 0) << unvalidated.errors();
}

// A date's text width under TO_CHAR follows the count its TO_CHAR carries
// when that is one of the two date widths, else the widest date text; a
// date anywhere else has the default width.
TEST(FunctionSizing, DateWidthUnderToCharFollowsItsCount) {
    FuncContext ctx;
    Validated v(ctx, "TO_CHAR(dt)");
    ASSERT_EQ(v.status, 0) << v.errors();
    XNode* toChar = v.tree->getRoot();
    std::string widths;
    for (int count : {19, 29, 30}) {
        toChar->setNumCharsMax(count);
        widths += std::to_string(XValidator::getToCharNumCharsMax(toChar->getChildB(0, 1))) + " ";
    }
    Validated alone(ctx, "dt");
    widths += std::to_string(XValidator::getToCharNumCharsMax(alone.tree->getRoot()));
    EXPECT_EQ(widths, "19 29 80 29");
}

// ---- extremes: long and odd constants give their message, never a crash ----

TEST(FunctionExtremes, TenThousandCharacterFormatsAndTexts) {
    FuncContext ctx;
    const std::string unknown(10000, 'Q');
    Validated badFormat(ctx, "TO_DATE(s, '" + unknown + "')");
    EXPECT_TRUE(xfunctest::hasMsg(badFormat.err, eQvMSG_INVALID_DATE_FORMAT));
    EXPECT_NE(badFormat.errors().find("format: " + unknown), std::string::npos);

    const std::string badPart = "ADD_TO_DATE(dt, '" + unknown + "', 1)";
    EXPECT_TRUE(xfunctest::hasMsg(Validated(ctx, badPart).err, eQvMSG_INVALID_DATE_PART));

    std::string format;
    while (format.size() < 10000) format += "YYYY-MM-DD HH24:MI:SS ";
    EXPECT_EQ(Validated(ctx, "TO_CHAR(dt, '" + format + "')").status, 0);
    EXPECT_TRUE(xfunctest::hasMsg(Validated(ctx, "TO_DATE('" + unknown + "', 'YYYY')").err, eQvMSG_DATE_TEXT_MISMATCH));
}

// ---- re-checking an argument whose value a caller substitutes ----

// The argument at `path` (child indexes from the root).
XNode* argumentAt(const Validated& v, std::initializer_list<int> path) {
    XNode* node = const_cast<XNode*>(v.root());
    for (int i : path) node = static_cast<XNodeParent*>(node)->getChild(i);
    return node;
}

struct Rechecked { const char* expr; int position, checked; };

class ArgumentRecheck : public testing::TestWithParam<Rechecked> {};

TEST_P(ArgumentRecheck, AnswersWhetherTheParentReadsTheValue) {
    const Rechecked& c = GetParam();
    FuncContext ctx;
    Validated v(ctx, c.expr);
    ASSERT_EQ(v.status, 0) << c.expr << ": " << v.errors();
    EXPECT_EQ(XValidator::needCheckNodeValue(argumentAt(v, {c.position}), nullptr, nullptr, nullptr), c.checked)
        << c.expr << " argument " << c.position;
}

const Rechecked kRechecked[] = {
    {"i / 2", 1, 1},
    {"i / 2", 0, 0},
    {"i % 2", 1, 1},
    {"SUM(i, i > 0)", 1, 1},
    {"ANY(i)", 0, 1},
    {"PERCENTILE(f, 5)", 0, 1},
    {"MOVINGAVG(i, 5)", 1, 1},
    {"MOVINGAVG(i, 5)", 0, 0},
    {"LPAD(s, 5)", 1, 1},
    {"LPAD(s, 5)", 0, 0},
    {"INSTR(s, 'a', 1, 2)", 3, 1},
    {"INSTR(s, 'a', 1, 2)", 2, 0},
    {"DATE_DIFF(dt, dt, 'DD')", 2, 1},
    {"DATE_DIFF(dt, dt, 'DD')", 1, 0},
    {"TO_DATE(s, 'YYYY')", 0, 1},
    {"ROUND(f, 2)", 1, 1},
    {"SQRT(f)", 0, 1},
    {"SYSTIMESTAMP('MS')", 0, 1},
    {"CONCAT(s, 'a')", 1, 0},
    {"UPPER(s)", 0, 0},
    {"TO_DECIMAL(s, 2)", 1, 1},
    {"TO_DECIMAL(s, 2)", 0, 0},
    {"MOVINGSUM(i, 5, i > 0)", 1, 1},
    {"MOVINGSUM(i, 5, i > 0)", 2, 0},
};

INSTANTIATE_TEST_SUITE_P(Rows, ArgumentRecheck, testing::ValuesIn(kRechecked));

// A constant substituted in place: the check of the variant the parent was
// validated with runs again and reports into the tree.
TEST(ArgumentRecheck, SubstitutedValueIsCheckedAgain) {
    FuncContext ctx;
    Validated v(ctx, "LPAD(s, 5)");
    ASSERT_EQ(v.status, 0) << v.errors();
    XNode* length = argumentAt(v, {1});
    XValidator validator(&ctx);
    EXPECT_EQ(validator.checkNodeValueIfNeeded(length, v.tree), 0);
    static_cast<XNodeConst<int>*>(length)->getDataRef() = -3;
    QvUString err, warn;
    v.tree->setErrorReportStrings(&err, &warn);
    EXPECT_EQ(validator.checkNodeValueIfNeeded(length, v.tree), -1);
    EXPECT_NE(err.toUtf8().find("value -3 is"), std::string::npos) << err.toUtf8();
    EXPECT_EQ(validator.upg_getFailureCase(), eXVFC_VALUE_OUT_OF_RANGE);

    // Not an argument any check reads, or no argument at all: nothing runs.
    EXPECT_EQ(validator.checkNodeValueIfNeeded(argumentAt(v, {0}), v.tree), 0);
    EXPECT_EQ(XValidator::needCheckNodeValue(argumentAt(v, {}), nullptr, nullptr, nullptr), 0);
}

TEST(ArgumentRecheck, DivisorSubstitutedByZero) {
    FuncContext ctx;
    Validated v(ctx, "i / 4");
    ASSERT_EQ(v.status, 0) << v.errors();
    XNode* divisor = argumentAt(v, {1});
    static_cast<XNodeConst<int>*>(divisor)->getDataRef() = 0;
    QvUString err, warn;
    v.tree->setErrorReportStrings(&err, &warn);
    int result = 0;
    XValidator validator(&ctx);
    EXPECT_EQ(XValidator::needCheckNodeValue(divisor, &validator, v.tree, &result), 1);
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(xfunctest::hasMsg(err, eQvMSG_DIVISION_BY_ZERO)) << err.toUtf8();
}

// ---- a rounding whose value is wanted as text ----

// path: to the ROUND or TO_DECIMAL node; variant: after the rewrite (0: left alone)
struct Converted { const char* expr; std::initializer_list<int> path; int variant, parentVariant, chars; };

TEST(ConvertToCharX, RoundingsWantedAsTextFormatInOneStep) {
    PrecisionMode mode(kHigh);
    const Converted cases[] = {
        {"TO_CHAR(ROUND(f, 2))", {0}, eXOP_TO_CHARX_FLOAT, eXOP_TO_CHAR_ALPHA_NOP, 63},
        {"TO_CHAR(ROUND(d, 2))", {0}, eXOP_TO_CHARX_DEC18, eXOP_TO_CHAR_ALPHA_NOP, 53},
        {"TO_CHAR(ROUND(i, 2))", {0}, eXOP_TO_CHARX_INT, eXOP_TO_CHAR_ALPHA_NOP, 63},
        {"CONCAT(ROUND(bi, 1), 'x')", {0}, eXOP_TO_CHARX_BIGINT, -1, 63},
        {"CONCAT(TO_DECIMAL(s, 2), 'x')", {0}, eXOP_TO_CHARX_CHAR, -1, 63},
        {"TO_CHAR(TO_DECIMAL(f, 2))", {0}, eXOP_TO_CHARX_FLOAT, eXOP_TO_CHAR_ALPHA_NOP, 63},
        {"CONCAT(TO_DECIMAL(f), 'x')", {0}, 0, -1, 53},
        {"ROUND(f, 2) + 1", {0}, 0, -1, 63},
        {"CONCAT(ROUND(dt, 'MM'), 'x')", {0}, 0, -1, 29},
    };
    for (const Converted& c : cases) {
        FuncContext ctx;
        Validated v(ctx, c.expr);
        ASSERT_EQ(v.status, 0) << c.expr << ": " << v.errors();
        XNode* node = argumentAt(v, c.path);
        const int before = XValidator::getNodeOp(node).toInteger();
        XValidator::convertToCharXIfNeeded(node);
        EXPECT_EQ(XValidator::getNodeOp(node).toInteger(), c.variant ? c.variant : before) << c.expr;
        EXPECT_EQ(node->getNumCharsMax().toInteger(), c.chars) << c.expr;
        if (c.variant) {
            EXPECT_TRUE(node->getDataType().isString(1)) << c.expr;
            const int parentVariant = XValidator::getNodeOp(node->getParent()).toInteger();
            EXPECT_EQ(parentVariant == eXOP_TO_CHAR_ALPHA_NOP, c.parentVariant == eXOP_TO_CHAR_ALPHA_NOP) << c.expr;
        }
    }
}

}  // namespace
