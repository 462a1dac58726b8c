// The fixed vocabulary: recognition tables, their lookups, display texts,
// character constants and sets, and the grammar's token numbers.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "qvcmnexpr/xenum.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xtoken.h"
#include "xgrammartokens.h"
#include "xtokenindex.h"
#include "xtokentables.h"

namespace {

using namespace xgrammar;

std::string utf8(const QvUString* s) { return s ? s->toUtf8() : std::string("<null>"); }

// Holds the UTF-16 form of a test input.
struct U16 {
    explicit U16(const char* utf8Text) : text(QvUString::fromUtf8(utf8Text)) {}
    const unsigned short* ptr() const { return text.getBuffer(); }
    QvUString text;
};

// ---- row counts and order ----

TEST(VocabularyTableTest, RowCounts) {
    EXPECT_EQ(gQualifierCount, 7);
    EXPECT_EQ(gSymbolCount, 26);
    EXPECT_EQ(gKeywordCount, 27);
    EXPECT_EQ(gFunctionCount, 82);
    EXPECT_EQ(gTokenStringCount, 137);
    EXPECT_EQ(gTypeAnnotationCount, 13);
}

template <class Row, size_t N>
void expectStrictlyAscendingNames(const Row (&rows)[N]) {
    for (size_t i = 1; i < N; ++i)
        EXPECT_LT(std::strcmp(rows[i - 1].name, rows[i].name), 0) << rows[i - 1].name << " / " << rows[i].name;
}

TEST(VocabularyTableTest, KeywordsAndFunctionsSortedByBytesForBisection) {
    expectStrictlyAscendingNames(gKeywordTable);
    expectStrictlyAscendingNames(gFunctionTable);
    // Byte order puts "_" after the letters.
    EXPECT_LT(xFindFunction("ISNULL"), xFindFunction("IS_DATE"));
    EXPECT_LT(xFindFunction("SETVARIABLE"), xFindFunction("SET_DATE_PART"));
    EXPECT_LT(xFindFunction("TRUE_LAST"), xFindFunction("TRUNC"));
}

TEST(VocabularyTableTest, EveryKeywordAndFunctionFoundByItsOwnName) {
    for (const XKeywordRow& row : gKeywordTable) EXPECT_EQ(xFindKeyword(row.name), &row) << row.name;
    for (const XFunctionRow& row : gFunctionTable) EXPECT_EQ(xFindFunction(row.name), &row) << row.name;
}

// ---- qualifiers ----

TEST(QualifierTableTest, RowsInTryOrder) {
    const struct {
        const char* text;
        int token;
    } expected[] = {{":TYPE", XTYPE}, {":EXT", XEXT}, {":LKP", XLKP}, {":SD", XSD},
                    {":SP", XSP},     {":TD", XTD},   {":FLD", XFLD}};
    ASSERT_EQ(std::size(expected), static_cast<size_t>(gQualifierCount));
    for (int i = 0; i < gQualifierCount; ++i) {
        EXPECT_STREQ(gQualifierTable[i].text, expected[i].text) << "row " << i;
        EXPECT_EQ(gQualifierTable[i].token, expected[i].token) << "row " << i;
        EXPECT_EQ(gQualifierTable[i].length, static_cast<int>(std::strlen(expected[i].text)));
    }
}

struct PrefixCase {
    const char* input;
    int token;  // 0: no row matches
    int length;
};

class QualifierMatchTest : public testing::TestWithParam<PrefixCase> {};

TEST_P(QualifierMatchTest, FirstRowThatPrefixesTheInput) {
    const U16 input(GetParam().input);
    const XQualifierRow* row = xMatchQualifier(input.ptr());
    if (GetParam().token == 0) {
        EXPECT_EQ(row, nullptr) << (row ? row->text : "");
        return;
    }
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->token, GetParam().token);
    EXPECT_EQ(row->length, GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QualifierMatchTest,
    testing::Values(PrefixCase{":LKP.MyLookup", XLKP, 4}, PrefixCase{":lkp.x", XLKP, 4},  // any case
                    PrefixCase{":LKPX", XLKP, 4},                                          // a prefix suffices
                    PrefixCase{":Type", XTYPE, 5}, PrefixCase{":TD.t", XTD, 3}, PrefixCase{":T", 0, 0},
                    PrefixCase{":sd.x", XSD, 3}, PrefixCase{":SP.proc", XSP, 3}, PrefixCase{":S", 0, 0},
                    PrefixCase{":ext.e", XEXT, 4}, PrefixCase{":fld", XFLD, 4}, PrefixCase{":", 0, 0},
                    PrefixCase{"", 0, 0}, PrefixCase{"LKP", 0, 0}, PrefixCase{": LKP", 0, 0},
                    PrefixCase{":UDF.f", 0, 0}));

TEST(QualifierMatchTest, NullInputMatchesNothing) { EXPECT_EQ(xMatchQualifier(nullptr), nullptr); }

// ---- symbols ----

TEST(SymbolTableTest, RowsInTryOrder) {
    const struct {
        const char* text;
        int token;
        EXNodeId kind;
    } expected[] = {
        {",", COMMA, eXNI_NONE},
        {":", COLON, eXNI_NONE},
        {"..", OPT_DOTDOT, eXNI_DOTDOT},
        {".*.", OPT_DOTSTARDOT, eXNI_DOTDOT},
        {".", OPT_DOT, eXNI_DOT},
        {"(", PAREN_LEFT, eXNI_NONE},
        {")", PAREN_RIGHT, eXNI_NONE},
        {":=", OPT_ASSIGN, eXNI_ASSIGN},
        {"+", OPT_PLUS, eXNI_PLUS},
        {"-", OPT_MINUS, eXNI_MINUS},
        {"*", OPT_MULTIPLY, eXNI_MULTIPLY},
        {"/", OPT_BINARY_9, eXNI_DIVIDE},
        {"%", OPT_BINARY_9, eXNI_MODULUS},
        {"||", OPT_CONCAT, eXNI_CONCATOP},
        {"=", OPT_BINARY_6, eXNI_EQ},
        {"<>", OPT_BINARY_6, eXNI_NE1},
        {"!=", OPT_BINARY_6, eXNI_NE2},
        {"^=", OPT_BINARY_6, eXNI_NE3},
        {"<=", OPT_BINARY_7, eXNI_LE},
        {"<", OPT_BINARY_7, eXNI_LT},
        {">=", OPT_BINARY_7, eXNI_GE},
        {">", OPT_BINARY_7, eXNI_GT},
        {"[", SUB_LEFT, eXNI_SUB},
        {"]", SUB_RIGHT, eXNI_NONE},
        {"{", BRACE_LEFT, eXNI_NONE},
        {"}", BRACE_RIGHT, eXNI_NONE},
    };
    ASSERT_EQ(std::size(expected), static_cast<size_t>(gSymbolCount));
    for (int i = 0; i < gSymbolCount; ++i) {
        EXPECT_STREQ(gSymbolTable[i].text, expected[i].text) << "row " << i;
        EXPECT_EQ(gSymbolTable[i].token, expected[i].token) << "row " << i;
        EXPECT_EQ(gSymbolTable[i].nodeId, expected[i].kind) << "row " << i;
        EXPECT_EQ(gSymbolTable[i].length, static_cast<int>(std::strlen(expected[i].text)));
    }
}

struct SymbolCase {
    const char* input;
    int token;  // 0: no row matches
    int length;
    EXNodeId kind;
};

class SymbolMatchTest : public testing::TestWithParam<SymbolCase> {};

TEST_P(SymbolMatchTest, FirstRowThatPrefixesTheInput) {
    const U16 input(GetParam().input);
    const XSymbolRow* row = xMatchSymbol(input.ptr());
    if (GetParam().token == 0) {
        EXPECT_EQ(row, nullptr) << (row ? row->text : "");
        return;
    }
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->token, GetParam().token);
    EXPECT_EQ(row->length, GetParam().length);
    EXPECT_EQ(row->nodeId, GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SymbolMatchTest,
    testing::Values(
        // ":" is tried before ":=": assignment reads as COLON, then "=".
        SymbolCase{":=", COLON, 1, eXNI_NONE}, SymbolCase{"=1", OPT_BINARY_6, 1, eXNI_EQ},
        // Both range forms carry DOTDOT, never DOTSTARDOT.
        SymbolCase{"..b", OPT_DOTDOT, 2, eXNI_DOTDOT}, SymbolCase{".*.b", OPT_DOTSTARDOT, 3, eXNI_DOTDOT},
        SymbolCase{"...", OPT_DOTDOT, 2, eXNI_DOTDOT}, SymbolCase{".*b", OPT_DOT, 1, eXNI_DOT},
        SymbolCase{".b", OPT_DOT, 1, eXNI_DOT},
        // Two-character operators before their one-character prefixes.
        SymbolCase{"<=", OPT_BINARY_7, 2, eXNI_LE}, SymbolCase{"<>", OPT_BINARY_6, 2, eXNI_NE1},
        SymbolCase{"< =", OPT_BINARY_7, 1, eXNI_LT}, SymbolCase{">=", OPT_BINARY_7, 2, eXNI_GE},
        SymbolCase{">>", OPT_BINARY_7, 1, eXNI_GT}, SymbolCase{"!=", OPT_BINARY_6, 2, eXNI_NE2},
        SymbolCase{"^=", OPT_BINARY_6, 2, eXNI_NE3}, SymbolCase{"||x", OPT_CONCAT, 2, eXNI_CONCATOP},
        SymbolCase{"/2", OPT_BINARY_9, 1, eXNI_DIVIDE}, SymbolCase{"%2", OPT_BINARY_9, 1, eXNI_MODULUS},
        SymbolCase{"[0]", SUB_LEFT, 1, eXNI_SUB}, SymbolCase{"]", SUB_RIGHT, 1, eXNI_NONE},
        SymbolCase{"--", OPT_MINUS, 1, eXNI_MINUS},
        // Characters that start no symbol.
        SymbolCase{"|", 0, 0, eXNI_NONE}, SymbolCase{"!", 0, 0, eXNI_NONE}, SymbolCase{"^", 0, 0, eXNI_NONE},
        SymbolCase{"a", 0, 0, eXNI_NONE}, SymbolCase{"", 0, 0, eXNI_NONE}, SymbolCase{"\xEF\xBC\x8C", 0, 0, eXNI_NONE}));

TEST(SymbolMatchTest, NullInputMatchesNothing) { EXPECT_EQ(xMatchSymbol(nullptr), nullptr); }

// ---- keywords ----

TEST(KeywordTableTest, EveryRow) {
    const struct {
        const char* name;
        int token;
        EXNodeId kind;
        int domain;
    } expected[] = {
        {"ABORTED", XWT_ABORTED, eXNI_NONE, 2},
        {"AND", OPT_AND, eXNI_AND, 3},
        {"DD_DELETE", XDD_DELETE, eXNI_NONE, 1},
        {"DD_INSERT", XDD_INSERT, eXNI_NONE, 1},
        {"DD_REJECT", XDD_REJECT, eXNI_NONE, 1},
        {"DD_UPDATE", XDD_UPDATE, eXNI_NONE, 1},
        {"DISABLED", XWT_DISABLED, eXNI_NONE, 2},
        {"FAILED", XWT_FAILED, eXNI_NONE, 2},
        {"FALSE", XFALSE, eXNI_NONE, 3},
        {"NOT", OPT_NOT, eXNI_NOT, 3},
        {"NOTSTARTED", XWT_NOTSTARTED, eXNI_NONE, 2},
        {"NULL", CONST_NULL, eXNI_NONE, 3},
        {"OR", OPT_OR, eXNI_OR, 3},
        {"PROC_RESULT", XPROC_RESULT, eXNI_NONE, 1},
        {"SESSSTARTTIME", SESSSTARTTIME, eXNI_NONE, 1},
        {"SPOUTPUT", XSPOUTPUT, eXNI_NONE, 1},
        {"STARTED", XWT_STARTED, eXNI_NONE, 2},
        {"STOPPED", XWT_STOPPED, eXNI_NONE, 2},
        {"SUCCEEDED", XWT_SUCCEEDED, eXNI_NONE, 2},
        {"SYSDATE", SYSDATE, eXNI_NONE, 3},
        {"TC_COMMIT_AFTER", XTC_COMMIT_AFTER, eXNI_NONE, 1},
        {"TC_COMMIT_BEFORE", XTC_COMMIT_BEFORE, eXNI_NONE, 1},
        {"TC_CONTINUE_TRANSACTION", XTC_CONTINUE_TRANSACTION, eXNI_NONE, 1},
        {"TC_ROLLBACK_AFTER", XTC_ROLLBACK_AFTER, eXNI_NONE, 1},
        {"TC_ROLLBACK_BEFORE", XTC_ROLLBACK_BEFORE, eXNI_NONE, 1},
        {"TRUE", XTRUE, eXNI_NONE, 3},
        {"WORKFLOWSTARTTIME", WORKFLOWSTARTTIME, eXNI_NONE, 2},
    };
    ASSERT_EQ(std::size(expected), static_cast<size_t>(gKeywordCount));
    for (int i = 0; i < gKeywordCount; ++i) {
        const XKeywordRow& row = gKeywordTable[i];
        EXPECT_STREQ(row.name, expected[i].name);
        EXPECT_EQ(row.token, expected[i].token) << row.name;
        EXPECT_EQ(row.nodeId, expected[i].kind) << row.name;
        EXPECT_EQ(row.domain, expected[i].domain) << row.name;
    }
}

TEST(KeywordTableTest, SemanticValueIsNodeKindOrElseTokenNumber) {
    EXPECT_EQ(xFindKeyword("AND")->semanticValue(), 69);
    EXPECT_EQ(xFindKeyword("OR")->semanticValue(), 70);
    EXPECT_EQ(xFindKeyword("NOT")->semanticValue(), 67);
    EXPECT_EQ(xFindKeyword("NULL")->semanticValue(), 270);
    EXPECT_EQ(xFindKeyword("TRUE")->semanticValue(), 271);
    EXPECT_EQ(xFindKeyword("WORKFLOWSTARTTIME")->semanticValue(), 275);
}

// ---- functions ----

struct FunctionGroup {
    int token;
    int domain;
    std::vector<std::pair<const char*, int>> rows;  // name, node kind
};

// The table by token and domain, with each row's node kind.
const std::vector<FunctionGroup>& functionGroups() {
    static const std::vector<FunctionGroup> groups = {
        {XFUNC,
         3,
         {{"ABS", 98},           {"ADD_TO_DATE", 99}, {"ASCII", 101},      {"CEIL", 102},        {"CHR", 103},
          {"CHRCODE", 104},      {"CONCAT", 105},     {"COS", 150},        {"COSH", 151},        {"CRC", 106},
          {"DATE_COMPARE", 107}, {"DATE_DIFF", 108},  {"DECODE", 72},      {"EXP", 152},         {"FLOOR", 110},
          {"GET_DATE_PART", 111}, {"IIF", 73},        {"INITCAP", 112},    {"INSTR", 113},       {"ISNULL", 114},
          {"IS_DATE", 115},      {"IS_NUMBER", 116},  {"IS_SPACES", 117},  {"LAST_DAY", 118},    {"LENGTH", 119},
          {"LN", 153},           {"LOG", 154},        {"LOWER", 120},      {"LPAD", 121},        {"LTRIM", 122},
          {"METAPHONE", 123},    {"MOD", 124},        {"POWER", 155},      {"REPLACECHR", 125},  {"REPLACESTR", 126},
          {"ROUND", 127},        {"RPAD", 128},       {"RTRIM", 129},      {"SET_DATE_PART", 134}, {"SIGN", 135},
          {"SIN", 156},          {"SINH", 157},       {"SOUNDEX", 136},    {"SQRT", 158},        {"SUBSTR", 137},
          {"SYSTIMESTAMP", 100}, {"TAN", 159},        {"TANH", 160},       {"TO_BIGINT", 143},   {"TO_CHAR", 138},
          {"TO_DATE", 139},      {"TO_DECIMAL", 140}, {"TO_DECIMAL38", 146}, {"TO_FLOAT", 141},  {"TO_INTEGER", 142},
          {"TRUNC", 144},        {"UPPER", 145}}},
        {XFUNC,
         1,
         {{"ABORT", 97}, {"CUME", 75}, {"ERROR", 109}, {"MOVINGAVG", 76}, {"MOVINGSUM", 77},
          {"SETCOUNTVARIABLE", 130}, {"SETMAXVARIABLE", 131}, {"SETMINVARIABLE", 132}, {"SETVARIABLE", 133}}},
        {XFUNC, 7, {{"TO_NUMBER", 147}}},
        {XFUNC_GROUP,
         1,
         {{"ANY", 79}, {"AVG", 80}, {"FIRST", 84}, {"LAST", 85}, {"MAX", 86}, {"MEDIAN", 87}, {"MIN", 88},
          {"PERCENTILE", 89}, {"STDDEV", 92}, {"SUM", 93}, {"TRUE_LAST", 94}, {"VARIANCE", 95}}},
        {XFUNC_GROUP, 5, {{"PIVOT", 148}}},
        {XFUNC_COUNT, 1, {{"COUNT", 83}}},
        {OPTF_LOOKUP, 1, {{"LOOKUP", 32}}},
    };
    return groups;
}

TEST(FunctionTableTest, EveryRowByTokenAndDomain) {
    size_t total = 0;
    for (const FunctionGroup& group : functionGroups()) {
        for (const auto& [name, kind] : group.rows) {
            const XFunctionRow* row = xFindFunction(name);
            ASSERT_NE(row, nullptr) << name;
            EXPECT_EQ(row->token, group.token) << name;
            EXPECT_EQ(row->domain, group.domain) << name;
            EXPECT_EQ(static_cast<int>(row->nodeId), kind) << name;
        }
        total += group.rows.size();
    }
    EXPECT_EQ(total, static_cast<size_t>(gFunctionCount));
}

TEST(FunctionTableTest, RowInvariants) {
    std::set<int> kinds;
    for (const XFunctionRow& row : gFunctionTable) {
        EXPECT_TRUE(row.token == XFUNC || row.token == XFUNC_GROUP || row.token == XFUNC_COUNT ||
                    row.token == OPTF_LOOKUP)
            << row.name;
        // LOOKUP is the one function call built as a widget node.
        if (row.token == OPTF_LOOKUP)
            EXPECT_EQ(row.nodeId, eXNI_LOOKUP);
        else
            EXPECT_EQ(XNode::stc_isFuncOpt(row.nodeId), 1) << row.name;
        // Every function is valid in transformations (message 19106 is never
        // needed by the current table).
        EXPECT_NE(row.domain & eXXC_TRANSFORMATION, 0) << row.name;
        EXPECT_EQ(row.domain & ~(eXXC_TRANSFORMATION | eXXC_WORKFLOW | eXXC_RESTRICTED), 0) << row.name;
        EXPECT_TRUE(kinds.insert(row.nodeId).second) << "kind used twice: " << row.name;
    }
}

TEST(FunctionTableTest, OnlyPivotAndToNumberAreRestricted) {
    std::vector<std::string> restricted;
    for (const XFunctionRow& row : gFunctionTable)
        if (row.isRestricted()) restricted.push_back(row.name);
    EXPECT_EQ(restricted, (std::vector<std::string>{"PIVOT", "TO_NUMBER"}));
}

// ---- word lookups ----

struct WordCase {
    const char* word;  // UTF-8
    const char* keyword;   // expected row name, or null
    const char* function;  // expected row name, or null
};

class WordLookupTest : public testing::TestWithParam<WordCase> {};

TEST_P(WordLookupTest, CaseInsensitiveAsciiWordsOnly) {
    const QvUString word = QvUString::fromUtf8(GetParam().word);
    const XKeywordRow* keyword = xLookupKeyword(word);
    const XFunctionRow* function = xLookupFunction(word);
    if (GetParam().keyword)
        EXPECT_EQ(keyword, xFindKeyword(GetParam().keyword));
    else
        EXPECT_EQ(keyword, nullptr) << keyword->name;
    if (GetParam().function)
        EXPECT_EQ(function, xFindFunction(GetParam().function));
    else
        EXPECT_EQ(function, nullptr) << function->name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WordLookupTest,
    testing::Values(WordCase{"abs", nullptr, "ABS"}, WordCase{"Abs", nullptr, "ABS"},
                    WordCase{"iS_dAtE", nullptr, "IS_DATE"}, WordCase{"to_decimal38", nullptr, "TO_DECIMAL38"},
                    WordCase{"to_decimal", nullptr, "TO_DECIMAL"}, WordCase{"true_last", nullptr, "TRUE_LAST"},
                    WordCase{"and", "AND", nullptr}, WordCase{"Null", "NULL", nullptr},
                    WordCase{"tc_continue_transaction", "TC_CONTINUE_TRANSACTION", nullptr},
                    WordCase{"lookup", nullptr, "LOOKUP"}, WordCase{"ABORT", nullptr, "ABORT"},
                    WordCase{"ABORTED", "ABORTED", nullptr},
                    // Unknown words and near misses.
                    WordCase{"ABSX", nullptr, nullptr}, WordCase{"AB", nullptr, nullptr},
                    WordCase{"", nullptr, nullptr}, WordCase{"TRUE.", nullptr, nullptr},
                    WordCase{"ABS(", nullptr, nullptr}, WordCase{" ABS", nullptr, nullptr},
                    WordCase{"SETCOUNTVAR", nullptr, nullptr}, WordCase{"DOTDOT", nullptr, nullptr},
                    // Non-ASCII words are never looked up, even where case
                    // folding would map them onto a name (U+017F folds to "s").
                    WordCase{"\xC3\x84" "BS", nullptr, nullptr}, WordCase{"\xEF\xBC\xA1" "BS", nullptr, nullptr},
                    WordCase{"\xC5\xBF" "in", nullptr, nullptr}));

TEST(WordLookupTest, OverlongWordsAreRefusedWithoutReadingPastTheLimit) {
    // No name is that long, so a word over the limit can only be refused;
    // the 8-bit copy has room for exactly the limit.
    EXPECT_EQ(kXMaxVocabularyWordLength, 64);
    EXPECT_EQ(xLookupKeyword(QvUString(std::string(64, 'A').c_str())), nullptr);
    EXPECT_EQ(xLookupFunction(QvUString(("ABS" + std::string(997, ' ')).c_str())), nullptr);
}

TEST(WordLookupTest, EmbeddedZeroUnitDoesNotMatchThePrefix) {
    const unsigned short word[] = {'A', 'N', 'D', 0, 'X'};
    EXPECT_EQ(xLookupKeyword(word, 5), nullptr);
    EXPECT_EQ(xLookupKeyword(word, 3), xFindKeyword("AND"));
    EXPECT_EQ(xLookupFunction(nullptr, 0), nullptr);
}

// ---- the lexer's indexes against the plain searches ----

// The units that simple case folding equates with an ASCII letter although
// they are not ASCII themselves (U+212A KELVIN SIGN, U+017F LONG S), found
// by asking the folding comparison about every unit.
std::vector<std::pair<unsigned short, char>> foldAlikes() {
    std::vector<std::pair<unsigned short, char>> out;
    for (unsigned u = 0x80; u <= 0xFFFF; ++u) {
        const unsigned short unit[] = {static_cast<unsigned short>(u), 0};
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            const char text[] = {letter, 0};
            if (qvUAStrnicmp(unit, text, 1) == 0) out.emplace_back(static_cast<unsigned short>(u), letter);
        }
    }
    return out;
}

// Inputs that start like `text`: as written, lower-cased, with one letter
// replaced by each unit that folds to it, each followed by a few tails.
std::vector<std::vector<unsigned short>> inputsLike(const char* text, int length) {
    static const std::vector<std::pair<unsigned short, char>> alikes = foldAlikes();
    std::vector<std::vector<unsigned short>> heads;
    std::vector<unsigned short> plain(text, text + length), lower;
    for (char c : plain) lower.push_back(static_cast<unsigned short>(std::tolower(c)));
    heads.push_back(plain);
    heads.push_back(lower);
    for (int i = 0; i < length; ++i)
        for (const auto& [unit, letter] : alikes)
            if (std::toupper(text[i]) == letter) {
                heads.push_back(plain);
                heads.back()[i] = unit;
            }
    for (int cut = 0; cut < length; ++cut) heads.emplace_back(plain.begin(), plain.begin() + cut);
    std::vector<std::vector<unsigned short>> inputs;
    const std::vector<std::vector<unsigned short>> tails = {{}, {'x'}, {'='}, {'.'}, {'('}, {0x212A}, {'*', '.'}};
    for (const auto& head : heads)
        for (const auto& tail : tails) {
            inputs.push_back(head);
            inputs.back().insert(inputs.back().end(), tail.begin(), tail.end());
            inputs.back().push_back(0);
        }
    return inputs;
}

// What the lexer accepts from the folding search: its row, if the row's
// units of the input are all ASCII.
template <class Row>
const Row* asciiOnly(const Row* row, const unsigned short* input) {
    if (row == nullptr) return nullptr;
    for (int i = 0; i < row->length; ++i)
        if (input[i] >= 0x80) return nullptr;
    return row;
}

TEST(LexerIndexTest, QualifierPrefixIndexAgreesWithTheFoldingSearch) {
    for (const XQualifierRow& row : gQualifierTable)
        for (const auto& input : inputsLike(row.text, row.length))
            EXPECT_EQ(xMatchQualifierAscii(input.data()), asciiOnly(xMatchQualifier(input.data()), input.data()))
                << row.text;
    EXPECT_EQ(xMatchQualifierAscii(nullptr), nullptr);
}

TEST(LexerIndexTest, SymbolPrefixIndexAgreesWithTheFoldingSearch) {
    for (const XSymbolRow& row : gSymbolTable)
        for (const auto& input : inputsLike(row.text, row.length))
            EXPECT_EQ(xMatchSymbolAscii(input.data()), asciiOnly(xMatchSymbol(input.data()), input.data())) << row.text;
    // Every unit alone, and before each symbol's second unit.
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        const unsigned short input[] = {static_cast<unsigned short>(u), '=', 0};
        ASSERT_EQ(xMatchSymbolAscii(input), asciiOnly(xMatchSymbol(input), input)) << std::hex << u;
        ASSERT_EQ(xMatchQualifierAscii(input), asciiOnly(xMatchQualifier(input), input)) << std::hex << u;
    }
}

// The hashed lookup must find exactly what bisecting the upper-cased word
// finds, and nothing for a word that is not plain ASCII.
template <class Row, size_t N, class Lookup, class Find>
void expectHashedLookupAgrees(const Row (&rows)[N], Lookup lookup, Find find) {
    std::vector<std::vector<unsigned short>> words = {{}, {'X'}, {0x212A}, {'A', 0, 'B'}};
    for (const Row& row : rows) {
        const std::string name = row.name;
        for (const auto& input : inputsLike(name.c_str(), static_cast<int>(name.size())))
            words.emplace_back(input.begin(), input.end() - 1);
    }
    for (const auto& word : words) {
        std::string upper;
        bool ascii = true;
        for (unsigned short u : word) {
            ascii = ascii && u != 0 && u < 0x80;
            upper += static_cast<char>(std::toupper(u & 0x7F));
        }
        const Row* expected = ascii && !word.empty() ? find(upper.c_str()) : nullptr;
        EXPECT_EQ(lookup(word.data(), word.size()), expected) << upper;
    }
}

TEST(LexerIndexTest, HashedKeywordLookupAgreesWithBisection) {
    expectHashedLookupAgrees(gKeywordTable, [](const unsigned short* w, size_t n) { return xLookupKeyword(w, n); },
                             &xFindKeyword);
}

TEST(LexerIndexTest, HashedFunctionLookupAgreesWithBisection) {
    expectHashedLookupAgrees(gFunctionTable, [](const unsigned short* w, size_t n) { return xLookupFunction(w, n); },
                             &xFindFunction);
}

// The per-unit classes the lexer reads are derived from the character sets
// and the host classes; they must agree for every unit.
TEST(LexerIndexTest, UnitClassesAgreeWithTheirDefinitionsForEveryUnit) {
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        const auto c = static_cast<unsigned short>(u);
        const bool space = qvUIsSpace(c) != 0;
        const bool commentStart = c == '/' || c == '-';
        ASSERT_EQ(gXUnitClasses.any(c, kXUnitInvalid), XToken::m_invalidTokens->contains(c)) << std::hex << u;
        ASSERT_EQ(gXUnitClasses.any(c, kXUnitSpaceToken), XToken::m_spaceTokens->contains(c)) << std::hex << u;
        ASSERT_EQ(gXUnitClasses.any(c, kXUnitHostSpace), space) << std::hex << u;
        ASSERT_EQ(gXUnitClasses.any(c, kXUnitDigit), qvUIsDigit(c) != 0) << std::hex << u;
        ASSERT_EQ(gXUnitClasses.any(c, kXUnitControl), c <= 0x1F || c == 0x7F) << std::hex << u;
        ASSERT_EQ(gXUnitClasses.any(c, kXUnitBlankStart), space || commentStart) << std::hex << u;
        ASSERT_EQ(gXUnitClasses.any(c, kXUnitWordBreak), space || commentStart || c == 0 || c == '(') << std::hex << u;
    }
}

TEST(WordLookupTest, ExactLookupIsCaseSensitive) {
    EXPECT_EQ(xFindKeyword("and"), nullptr);
    EXPECT_EQ(xFindFunction("abs"), nullptr);
    EXPECT_EQ(xFindFunction(nullptr), nullptr);
    EXPECT_EQ(xFindFunction("ZZZ"), nullptr);
    EXPECT_EQ(xFindFunction("A"), nullptr);
}

// ---- display texts ----

TEST(DisplayTableTest, SortedByKindWithUniqueKindsAfterLoad) {
    for (int i = 1; i < gTokenStringCount; ++i)
        EXPECT_LT(gTokenStringTable[i - 1].value, gTokenStringTable[i].value) << "row " << i;
}

struct DisplayCase {
    int kind;
    const char* text;
};

class DisplayTextTest : public testing::TestWithParam<DisplayCase> {};

TEST_P(DisplayTextTest, TextOfKind) {
    EXPECT_EQ(utf8(XToken::getTokenString(static_cast<EXNodeId>(GetParam().kind))), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, DisplayTextTest,
    testing::Values(DisplayCase{53, "+"}, DisplayCase{45, "+"}, DisplayCase{46, "-"}, DisplayCase{54, "-"},
                    DisplayCase{39, "*"}, DisplayCase{55, "*"}, DisplayCase{44, ":="}, DisplayCase{58, "||"},
                    DisplayCase{60, "<>"}, DisplayCase{61, "!="}, DisplayCase{62, "^="}, DisplayCase{63, "<="},
                    DisplayCase{90, "PERCENTILE{REF}"}, DisplayCase{91, "PERCENTILE{DETACHED}"},
                    DisplayCase{98, "ABS"}, DisplayCase{89, "PERCENTILE"}, DisplayCase{130, "SETCOUNTVARIABLE"},
                    DisplayCase{32, "LOOKUP"}, DisplayCase{83, "COUNT"}, DisplayCase{160, "TANH"},
                    DisplayCase{3, "DD_DELETE"}, DisplayCase{7, "FALSE"}, DisplayCase{8, "TRUE"},
                    DisplayCase{9, "TC_CONTINUE_TRANSACTION"}, DisplayCase{15, "ABORTED"}, DisplayCase{37, "NULL"},
                    DisplayCase{42, "WORKFLOWSTARTTIME"}, DisplayCase{67, "NOT"}, DisplayCase{69, "AND"},
                    DisplayCase{70, "OR"}));

// Kinds with no row at all display the shared unknown text.
INSTANTIATE_TEST_SUITE_P(
    NoRow, DisplayTextTest,
    testing::Values(DisplayCase{47, "?:"}, DisplayCase{48, "?:"}, DisplayCase{49, "?:"}, DisplayCase{50, "?:"},
                    DisplayCase{51, "?:"}, DisplayCase{52, "?:"}, DisplayCase{0, "?:"}, DisplayCase{1, "?:"},
                    DisplayCase{43, "?:"}, DisplayCase{71, "?:"}, DisplayCase{81, "?:"}, DisplayCase{82, "?:"},
                    DisplayCase{96, "?:"}, DisplayCase{161, "?:"}, DisplayCase{163, "?:"}, DisplayCase{164, "?:"},
                    DisplayCase{-1, "?:"}, DisplayCase{26, "?:"}, DisplayCase{28, "?:"}));

TEST(DisplayTextTest, UnknownKindGivesTheSharedUnknownString) {
    EXPECT_EQ(XToken::getTokenString(eXNI_DOTDOT), &XEnum::cls_unknownEnumUStr);
    EXPECT_EQ(XToken::getTokenString(eXNI_SUB), &XEnum::cls_unknownEnumUStr);
}

TEST(DisplayTextTest, NineKindsHaveARowWithoutText) {
    const EXNodeId withoutText[] = {eXNI_CONST, eXNI_PORTVAR, eXNI_MAPVAR, eXNI_WFVAR, eXNI_EXTFUNC,
                                    eXNI_LKP,   eXNI_MACRO,   eXNI_SP,     eXNI_EXT};
    for (EXNodeId kind : withoutText) EXPECT_EQ(XToken::getTokenString(kind), nullptr) << kind;
    int rowsWithoutText = 0;
    for (int i = 0; i < gTokenStringCount; ++i) rowsWithoutText += gTokenStringTable[i].ustr == nullptr;
    EXPECT_EQ(rowsWithoutText, 9);
}

TEST(DisplayTextTest, FunctionsAndKeywordsDisplayTheirNames) {
    for (const XFunctionRow& row : gFunctionTable) EXPECT_EQ(utf8(XToken::getTokenString(row.nodeId)), row.name);
    for (const XKeywordRow& row : gKeywordTable) {
        if (row.displayId == eXNI_NONE) continue;
        EXPECT_EQ(utf8(XToken::getTokenString(row.displayId)), row.name);
    }
}

TEST(DisplayTextTest, SpOutputIsTheOnlyKeywordNotDisplayed) {
    std::vector<std::string> hidden;
    for (const XKeywordRow& row : gKeywordTable)
        if (row.displayId == eXNI_NONE) hidden.push_back(row.name);
    EXPECT_EQ(hidden, std::vector<std::string>{"SPOUTPUT"});
    for (int i = 0; i < gTokenStringCount; ++i)
        EXPECT_NE(utf8(gTokenStringTable[i].ustr), "SPOUTPUT");
}

TEST(DisplayTextTest, LookupHandsOutTheSameStringEachTime) {
    EXPECT_EQ(XToken::getTokenString(eXNI_PLUS), XToken::getTokenString(eXNI_PLUS));
    EXPECT_NE(XToken::getTokenString(eXNI_PLUS), XToken::getTokenString(eXNI_UPLUS));
}

// ---- start-up ----

TEST(StaticInitializerTest, RunsOnceAtLoadAndLaterCallsChangeNothing) {
    const QvUString* plus = XToken::getTokenString(eXNI_PLUS);
    XTokenCharSet* invalid = XToken::m_invalidTokens;
    const QvUString* annotation = &XToken::getTypeAnnotation(XType(1002));
    EXPECT_EQ(XToken::staticInitializer(), 1);
    EXPECT_EQ(XToken::getTokenString(eXNI_PLUS), plus);
    EXPECT_EQ(XToken::m_invalidTokens, invalid);
    EXPECT_EQ(&XToken::getTypeAnnotation(XType(1002)), annotation);
    EXPECT_EQ(utf8(plus), "+");
}

// ---- character constants and sets ----

TEST(CharacterConstantTest, Values) {
    const struct {
        unsigned short constant;
        unsigned short expected;
    } cases[] = {
        {XToken::gcAmpersand, u'&'},         {XToken::gcApostrophe, u'\''},        {XToken::gcAtSign, u'@'},
        {XToken::gcCarriageReturn, 0x0D},    {XToken::gcCircumflexAccent, u'^'},   {XToken::gcColon, u':'},
        {XToken::gcComma, u','},             {XToken::gcDivide, u'/'},             {XToken::gcDollar, u'$'},
        {XToken::gcDoubleByteAtSign, 0xFF20}, {XToken::gcDoubleByteDollar, 0xFF04}, {XToken::gcDoubleBytePound, 0xFF03},
        {XToken::gcDoubleByteUnderScore, 0xFF3F}, {XToken::gcEq, u'='},            {XToken::gcExclamationMark, u'!'},
        {XToken::gcFormFeed, 0x0C},          {XToken::gcGraveAccent, u'`'},        {XToken::gcGt, u'>'},
        {XToken::gcHyphenMinus, u'-'},       {XToken::gcLeftBraket, u'['},         {XToken::gcLeftCurlyBracket, u'{'},
        {XToken::gcTilde, u'~'},             {XToken::gcUpperE, u'E'},             {XToken::gcVerticalTab, 0x0B},
        {XToken::gcLeftParen, u'('},         {XToken::gcLowerE, u'e'},             {XToken::gcLt, u'<'},
        {XToken::gcMinus, u'-'},             {XToken::gcModulus, u'%'},            {XToken::gcMultiply, u'*'},
        {XToken::gcNewLine, 0x0A},           {XToken::gcPeriod, u'.'},             {XToken::gcPlus, u'+'},
        {XToken::gcPound, u'#'},             {XToken::gcQuestionMark, u'?'},       {XToken::gcQuotationMark, u'"'},
        {XToken::gcReverseSolidus, u'\\'},   {XToken::gcRightBraket, u']'},        {XToken::gcRightCurlyBracket, u'}'},
        {XToken::gcRightParen, u')'},        {XToken::gcSemiColon, u';'},          {XToken::gcSingleQuote, u'\''},
        {XToken::gcSolidus, u'/'},           {XToken::gcSpace, u' '},              {XToken::gcTab, 0x09},
        {XToken::gcUnderScore, u'_'},        {XToken::gcVerticalLine, u'|'},
    };
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].constant, cases[i].expected) << "case " << i;
}

TEST(TextConstantTest, Values) {
    EXPECT_EQ(XToken::gsCommentPrefix1.toUtf8(), "//");
    EXPECT_EQ(XToken::gsCommentPrefix2.toUtf8(), "--");
    EXPECT_TRUE(XToken::gsEmpty.isEmpty());
    EXPECT_EQ(XToken::gsOne.toUtf8(), "1");
    EXPECT_EQ(XToken::gsZero.toUtf8(), "0");
    EXPECT_EQ(XToken::gsValueNull.toUtf8(), "{NULL}");
    EXPECT_EQ(XToken::gsValueNone.toUtf8(), "{ValueNotAvailable}");
    EXPECT_EQ(XToken::gsValueBinary.toUtf8(), "{BinaryValue}");
}

TEST(CharacterSetTest, InvalidTokensAreExactlyTheAsciiPunctuationOutsideIdentifiers) {
    ASSERT_NE(XToken::m_invalidTokens, nullptr);
    const std::string members = "!\"$%&'()*+,-./:;<=>?[\\]^`{|}~";
    EXPECT_EQ(XToken::m_invalidTokens->entries(), members.size());
    for (unsigned short c = 0; c < 0x80; ++c) {
        const bool expected = members.find(static_cast<char>(c)) != std::string::npos && c != 0;
        EXPECT_EQ(XToken::m_invalidTokens->contains(c), expected) << "U+" << std::hex << c;
    }
    int value = 0;
    EXPECT_TRUE(XToken::m_invalidTokens->findValue(XToken::gcPeriod, value));
    EXPECT_EQ(value, 1);
}

TEST(CharacterSetTest, SpaceTokensAreTheSixAsciiSpaces) {
    ASSERT_NE(XToken::m_spaceTokens, nullptr);
    const std::set<unsigned short> members = {0x20, 0x09, 0x0A, 0x0C, 0x0B, 0x0D};
    EXPECT_EQ(XToken::m_spaceTokens->entries(), members.size());
    for (unsigned short c = 0; c < 0x80; ++c)
        EXPECT_EQ(XToken::m_spaceTokens->contains(c), members.count(c) == 1) << "U+" << std::hex << c;
}

TEST(CharacterSetTest, IdentifierCharactersAreInNeitherSet) {
    const unsigned short chars[] = {XToken::gcUnderScore,       XToken::gcAtSign,          XToken::gcPound,
                                    XToken::gcDoubleByteAtSign, XToken::gcDoubleByteDollar, XToken::gcDoubleBytePound,
                                    XToken::gcDoubleByteUnderScore, 0x00A0, 0x3000, 0x2028, 'a', '0'};
    for (unsigned short c : chars) {
        EXPECT_FALSE(XToken::m_invalidTokens->contains(c)) << c;
        EXPECT_FALSE(XToken::m_spaceTokens->contains(c)) << c;
    }
}

// ---- grammar token numbers ----

// The grammar's terminals in number order, as the grammar declares them.
const char kGrammarTerminals[] =
    "XEXTFUNC 258, LEXERROR 259, COMMA 260, COLON 261, PAREN_LEFT 262, PAREN_RIGHT 263, BRACE_LEFT 264, "
    "BRACE_RIGHT 265, CONST_FLOAT 266, CONST_INT 267, CONST_DECIMAL 268, CONST_STR 269, CONST_NULL 270, XTRUE 271, "
    "XFALSE 272, SYSDATE 273, SESSSTARTTIME 274, WORKFLOWSTARTTIME 275, XPROC_RESULT 276, XSPOUTPUT 277, "
    "XDD_INSERT 278, XDD_UPDATE 279, XDD_DELETE 280, XDD_REJECT 281, XTC_COMMIT_AFTER 282, XTC_COMMIT_BEFORE 283, "
    "XTC_CONTINUE_TRANSACTION 284, XTC_ROLLBACK_AFTER 285, XTC_ROLLBACK_BEFORE 286, XWT_ABORTED 287, "
    "XWT_DISABLED 288, XWT_FAILED 289, XWT_NOTSTARTED 290, XWT_STARTED 291, XWT_STOPPED 292, XWT_SUCCEEDED 293, "
    "XTYPE 294, XFLD 295, XSD 296, XSP 297, XEXT 298, XLKP 299, XTD 300, NAME 301, MAPVAR 302, "
    "WFVAR_PRE_DEFINED 303, WFVAR_USER_DEFINED 304, XFUNC 305, XFUNC_GROUP 306, XFUNC_COUNT 307, OPTF_LOOKUP 308, "
    "OPT_ASSIGN 309, OPT_OR 310, OPT_AND 311, OPT_NOT 312, OPT_EQ 313, OPT_GE 314, OPT_GT 315, OPT_LE 316, "
    "OPT_LT 317, OPT_NE 318, OPT_BINARY_6 319, OPT_BINARY_7 320, OPT_BINARY_9 321, OPT_PLUS 322, OPT_MINUS 323, "
    "OPT_MULTIPLY 324, OPT_DIVIDE 325, OPT_MODULUS 326, OPT_CONCAT 327, OPT_DOT 328, OPT_DOTDOT 329, "
    "OPT_DOTSTARDOT 330, SUB_LEFT 331, SUB_RIGHT 332, PREC_OPT_UNARY 333";

std::map<int, std::string> grammarTerminals() {
    std::map<int, std::string> terminals;
    std::istringstream in(kGrammarTerminals);
    std::string name;
    int number = 0;
    char comma = 0;
    while (in >> name >> number) {
        terminals[number] = name;
        in >> comma;
    }
    return terminals;
}

TEST(GrammarTokenTest, TokenListAgreesWithTheGrammar) {
    const std::map<int, std::string> terminals = grammarTerminals();
    ASSERT_EQ(terminals.size(), 76u);
    for (const auto& [number, name] : terminals) {
        ASSERT_NE(tokenName(number), nullptr) << number;
        EXPECT_EQ(tokenName(number), name) << number;
    }
    int defined = 0;
#define GRAMMAR_TOKEN(name, number) ++defined;
#include "xgrammartokens.def"
#undef GRAMMAR_TOKEN
    EXPECT_EQ(defined, 76);
}

TEST(GrammarTokenTest, NumbersOutsideTheGrammarHaveNoName) {
    EXPECT_STREQ(tokenName(0), "$end");
    for (int number : {-1, 1, 255, 256, 257, 334, 1000}) EXPECT_EQ(tokenName(number), nullptr) << number;
}

TEST(GrammarTokenTest, VocabularyTokensAreTerminals) {
    for (const XQualifierRow& row : gQualifierTable) EXPECT_NE(tokenName(row.token), nullptr);
    for (const XSymbolRow& row : gSymbolTable) EXPECT_NE(tokenName(row.token), nullptr);
    for (const XKeywordRow& row : gKeywordTable) EXPECT_NE(tokenName(row.token), nullptr);
    for (const XFunctionRow& row : gFunctionTable) EXPECT_NE(tokenName(row.token), nullptr);
}

}  // namespace
