// The fixed vocabulary: the lookups over the recognition tables, the
// indexes the lexer reads them through, display texts, the character sets,
// and the few facts of the tables nothing else pins down (function domains;
// the grammar tests read every keyword in the contexts it belongs to).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "qvcmnexpr/xenum.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtoken.h"
#include "xgrammartokens.h"
#include "xlexer.h"
#include "xtokenindex.h"
#include "xtokentables.h"

namespace {

using namespace xgrammar;
using namespace std::string_literals;

std::string utf8(const QvUString* s) { return s ? s->toUtf8() : std::string("<null>"); }

const char* const kDomains[] = {"-", "T", "W", "TW", "-", "T+r", "-", "TW+r"};

// ---- facts of the tables ----

// Functions grouped by token and domain, with the kind of their call node
// where it is not named like the function; the plain functions of both kinds
// of expression (the most) are only counted.
TEST(VocabularyTableTest, FunctionTokensDomainsAndKinds) {
    std::map<std::string, std::string> groups;
    for (const XFunctionRow& row : gFunctionTable) {
        const std::string kind = XNode::idToString(row.nodeId),
                          group = tokenName(row.token) + " "s + kDomains[row.domain];
        groups[group] += group == "XFUNC TW" ? "|" : " "s + row.name + (kind == row.name ? "" : "=" + kind);
    }
    std::string out;
    for (const auto& [group, names] : groups) out += group + ":" + names + "\n";
    EXPECT_EQ(out, "OPTF_LOOKUP T: LOOKUP\n"
                   "XFUNC T: ABORT CUME ERROR MOVINGAVG MOVINGSUM SETCOUNTVARIABLE=SETCOUNTVAR "
                   "SETMAXVARIABLE=SETMAXVAR SETMINVARIABLE=SETMINVAR SETVARIABLE=SETVAR\n"
                   "XFUNC TW:" + std::string(57, '|') + "\n"
                   "XFUNC TW+r: TO_NUMBER\n"
                   "XFUNC_COUNT T: COUNT\n"
                   "XFUNC_GROUP T: ANY AVG FIRST LAST MAX MEDIAN MIN PERCENTILE STDDEV SUM TRUE_LAST VARIANCE\n"
                   "XFUNC_GROUP T+r: PIVOT\n");
}

// ---- lookups ----

TEST(VocabularyLookupTest, BisectionFindsEveryRowByItsExactName) {
    // Every row by its exact name: the hashed lookups below agree with bisection on each.
    for (const char* miss : {"and", "abs", "ZZZ", "A", "ABSX"}) {
        EXPECT_EQ(xFindKeyword(miss), nullptr) << miss;
        EXPECT_EQ(xFindFunction(miss), nullptr) << miss;
    }
    EXPECT_EQ(xFindFunction(nullptr), nullptr);
}

// "text -> token/length" for the first row that prefixes the input, "-" for none.
template <class Row> std::string matched(const Row* row) {
    return row ? std::string(tokenName(row->token)) + "/" + std::to_string(row->length) : "-";
}

TEST(VocabularyLookupTest, QualifiersAndSymbolsMatchTheFirstRowThatPrefixesTheInput) {
    // Each row by its own text is read in the lexer tests; here the prefixes and misses.
    const std::pair<const char*, const char*> qualifiers[] = {
        {":LKPX", "XLKP/4"},
        {":Type", "XTYPE/5"},
        {":", "-"},
        {"", "-"},           {"LKP", "-"},        {": LKP", "-"}, {":UDF.f", "-"}};
    for (const auto& [input, expected] : qualifiers)
        EXPECT_EQ(matched(xMatchQualifier(QvUString::fromUtf8(input).getBuffer())), expected) << input;
    EXPECT_EQ(xMatchQualifier(nullptr), nullptr);

    // ":" before ":="; both range forms carry DOTDOT; two-unit operators
    // before their one-unit prefixes.
    const std::pair<const char*, const char*> symbols[] = {
        {":=", "COLON/1 NONE"},
        {"..b", "OPT_DOTDOT/2 DOTDOT"},
        {".*.b", "OPT_DOTSTARDOT/3 DOTDOT"},
        {".*b", "OPT_DOT/1 DOT"},
        {"< =", "OPT_BINARY_7/1 LT"},
        {"", "-"},
        {"||x", "OPT_CONCAT/2 CONCATOP"},
        {"--", "OPT_MINUS/1 MINUS"},
        {"!", "-"}, {"^", "-"}, {"\xEF\xBC\x8C", "-"}};
    for (const auto& [input, expected] : symbols) {
        const XSymbolRow* row = xMatchSymbol(QvUString::fromUtf8(input).getBuffer());
        const char* kind = row ? (row->nodeId == eXNI_NONE ? "NONE" : XNode::idToString(row->nodeId)) : nullptr;
        EXPECT_EQ(matched(row) + (kind ? std::string(" ") + kind : ""), expected) << input;
    }
    EXPECT_EQ(xMatchSymbol(nullptr), nullptr);
}

// Case-insensitive, ASCII words only: non-ASCII words are never looked up,
// even where case folding would map them onto a name (U+017F folds to "s").
TEST(VocabularyLookupTest, WordLookupsFoldAsciiCaseOnly) {
    const struct { const char* word; const char* keyword; const char* function; } cases[] = {
        {"Abs", "-", "ABS"},
        {"and", "AND", "-"},
        {"tc_continue_transaction", "TC_CONTINUE_TRANSACTION", "-"},
        {"ABSX", "-", "-"},
        {" ABS", "-", "-"},
        {"SETCOUNTVAR", "-", "-"},
        {"\xC5\xBF" "in", "-", "-"},
    };
    for (const auto& c : cases) {
        const XKeywordRow* keyword = xLookupKeyword(QvUString::fromUtf8(c.word));
        const XFunctionRow* function = xLookupFunction(QvUString::fromUtf8(c.word));
        EXPECT_STREQ(keyword ? keyword->name : "-", c.keyword) << c.word;
        EXPECT_STREQ(function ? function->name : "-", c.function) << c.word;
    }
    // Overlong words are refused without reading past the limit; an embedded
    // 0 unit ends no word.
    EXPECT_EQ(xLookupKeyword(QvUString(std::string(kXMaxVocabularyWordLength, 'A').c_str())), nullptr);
    EXPECT_EQ(xLookupFunction(QvUString(("ABS" + std::string(997, ' ')).c_str())), nullptr);
    const unsigned short word[] = {'A', 'N', 'D', 0, 'X'};
    EXPECT_EQ(xLookupKeyword(word, 5), nullptr);
    EXPECT_EQ(xLookupKeyword(word, 3), xFindKeyword("AND"));
    EXPECT_EQ(xLookupFunction(nullptr, 0), nullptr);
}

// ---- the lexer's indexes against the plain searches ----

// The units that simple case folding equates with an ASCII letter although
// they are not ASCII themselves (U+212A KELVIN SIGN, U+017F LONG S).
std::vector<std::pair<unsigned short, char>> foldAlikes() {
    std::vector<std::pair<unsigned short, char>> out;
    for (unsigned short u = 0x80; u != 0; ++u)
        for (char letter = 'A'; letter <= 'Z'; ++letter)
            if (const unsigned short unit[] = {u, 0}; qvUAStrnicmp(unit, std::string(1, letter).c_str(), 1) == 0)
                out.emplace_back(u, letter);
    return out;
}

// Inputs that start like `text`: as written, lower-cased, with one letter
// replaced by each unit that folds to it, cut short; each with a few tails.
std::vector<std::vector<unsigned short>> inputsLike(const char* text, int length) {
    static const std::vector<std::pair<unsigned short, char>> alikes = foldAlikes();
    const std::vector<unsigned short> plain(text, text + length);
    std::vector<std::vector<unsigned short>> heads = {plain, plain}, inputs;
    for (unsigned short& u : heads[1]) u = static_cast<unsigned short>(std::tolower(u));
    for (int i = 0; i < length; ++i)
        for (const auto& [unit, letter] : alikes)
            if (std::toupper(text[i]) == letter) heads.emplace_back(plain)[i] = unit;
    for (int cut = 0; cut < length; ++cut) heads.emplace_back(plain.begin(), plain.begin() + cut);
    const std::vector<std::vector<unsigned short>> tails = {{}, {'x'}, {'='}, {'.'}, {'('}, {0x212A}, {'*', '.'}};
    for (const auto& head : heads)
        for (const auto& tail : tails) {
            inputs.emplace_back(head).insert(inputs.back().end(), tail.begin(), tail.end());
            inputs.back().push_back(0);
        }
    return inputs;
}

// What the lexer accepts from the folding search: its row, if the row's
// units of the input are all ASCII.
template <class Row> const Row* asciiOnly(const Row* row, const unsigned short* input) {
    return row && std::all_of(input, input + row->length, [](unsigned short u) { return u < 0x80; }) ? row : nullptr;
}

TEST(LexerIndexTest, PrefixIndexesAgreeWithTheFoldingSearch) {
    for (const XQualifierRow& row : gQualifierTable)
        for (const auto& input : inputsLike(row.text, row.length))
            EXPECT_EQ(xMatchQualifierAscii(input.data()), asciiOnly(xMatchQualifier(input.data()), input.data()))
                << row.text;
    EXPECT_EQ(xMatchQualifierAscii(nullptr), nullptr);
    for (const XSymbolRow& row : gSymbolTable)
        for (const auto& input : inputsLike(row.text, row.length))
            EXPECT_EQ(xMatchSymbolAscii(input.data()), asciiOnly(xMatchSymbol(input.data()), input.data())) << row.text;
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        const unsigned short input[] = {static_cast<unsigned short>(u), '=', 0};
        ASSERT_EQ(xMatchSymbolAscii(input), asciiOnly(xMatchSymbol(input), input)) << std::hex << u;
        ASSERT_EQ(xMatchQualifierAscii(input), asciiOnly(xMatchQualifier(input), input)) << std::hex << u;
    }
}

// The hashed lookup must find exactly what bisecting the upper-cased word
// finds, and nothing for a word that is not plain ASCII.
template <class Row, size_t N>
void expectHashedLookupAgrees(const Row (&rows)[N], const Row* (*lookup)(const unsigned short*, size_t),
                              const Row* (*find)(const char*)) {
    std::vector<std::vector<unsigned short>> words = {{}, {'X'}, {0x212A}, {'A', 0, 'B'}};
    for (const Row& row : rows)
        for (const auto& input : inputsLike(row.name, static_cast<int>(std::strlen(row.name))))
            words.emplace_back(input.begin(), input.end() - 1);
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

TEST(LexerIndexTest, HashedLookupsAgreeWithBisection) {
    expectHashedLookupAgrees(gKeywordTable, &xLookupKeyword, &xFindKeyword);
    expectHashedLookupAgrees(gFunctionTable, &xLookupFunction, &xFindFunction);
}

// The per-unit classes the lexer reads are derived from the character sets
// and the host classes; they must agree for every unit.
TEST(LexerIndexTest, UnitClassesAgreeWithTheirDefinitionsForEveryUnit) {
    XParserContextNoSymbols context;
    const unsigned short empty[] = {0};
    XLexer lexer(empty, &context, 0);
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
        ASSERT_EQ(lexer.checkInValidToken(c), XToken::m_invalidTokens->contains(c) ? 1 : 0) << std::hex << u;
        ASSERT_EQ(XLexer::stc_checkIsAnySpaceToken(c), XToken::m_spaceTokens->contains(c) ? 1 : 0) << std::hex << u;
        ASSERT_EQ(lexer.checkIsAnyControlToken(c), c <= 0x1F || c == 0x7F ? 1 : 0) << std::hex << u;
    }
    EXPECT_EQ(lexer.checkIsAnyDigitToken('9') + lexer.checkIsAnyDigitToken(0x0663), 1);
    EXPECT_EQ(lexer.checkValidPunctToken('#') - lexer.checkValidPunctToken('$'), 1);
}

// ---- display texts ----

// The display table is merged and sorted at load time; the sort refuses a
// missing table whatever its count.
TEST(DisplayTextTest, TableIsSortedByKindAfterLoad) {
    for (int i = 1; i < gTokenStringCount; ++i)
        EXPECT_LT(gTokenStringTable[i - 1].value, gTokenStringTable[i].value) << "row " << i;
    EXPECT_EQ(XEnum::sortEnumStrPairs(nullptr, 3, 0, 0, 0), -4);
}

// Operators and the kinds of no function or keyword (whose names the next
// test reads); kinds with no row share the unknown text.
TEST(DisplayTextTest, TextOfKind) {
    std::string out;
    for (int kind : {53, 45, 46, 54, 39, 55, 44, 58, 60, 61, 62, 63, 90, 91, 47, 0, 1, 43, 161, 164, -1})
        out += std::to_string(kind) + ":" + utf8(XToken::getTokenString(static_cast<EXNodeId>(kind))) + " ";
    EXPECT_EQ(out, "53:+ 45:+ 46:- 54:- 39:* 55:* 44::= 58:|| 60:<> 61:!= 62:^= 63:<= 90:PERCENTILE{REF} "
                   "91:PERCENTILE{DETACHED} 47:?: 0:?: 1:?: 43:?: 161:?: 164:?: -1:?: ");
    // Nine kinds have a row but no text.
    EXPECT_EQ(XToken::getTokenString(eXNI_DOTDOT), &XEnum::cls_unknownEnumUStr);
    for (EXNodeId kind : {eXNI_CONST, eXNI_PORTVAR, eXNI_MAPVAR, eXNI_WFVAR, eXNI_EXTFUNC, eXNI_LKP, eXNI_MACRO, eXNI_SP,
                          eXNI_EXT})
        EXPECT_EQ(XToken::getTokenString(kind), nullptr) << kind;
}

TEST(DisplayTextTest, FunctionsAndKeywordsDisplayTheirNamesExceptSpOutput) {
    for (const XFunctionRow& row : gFunctionTable) EXPECT_EQ(utf8(XToken::getTokenString(row.nodeId)), row.name);
    std::vector<std::string> hidden;
    for (const XKeywordRow& row : gKeywordTable) {
        if (row.displayId == eXNI_NONE) hidden.push_back(row.name);
        else EXPECT_EQ(utf8(XToken::getTokenString(row.displayId)), row.name);
    }
    EXPECT_EQ(hidden, std::vector<std::string>{"SPOUTPUT"});
    for (int i = 0; i < gTokenStringCount; ++i) EXPECT_NE(utf8(gTokenStringTable[i].ustr), "SPOUTPUT");
}

TEST(StaticInitializerTest, RunsOnceAtLoadAndLaterCallsChangeNothing) {
    const QvUString* plus = XToken::getTokenString(eXNI_PLUS);
    XTokenCharSet* invalid = XToken::m_invalidTokens;
    EXPECT_EQ(XToken::staticInitializer(), 1);
    EXPECT_TRUE(XToken::getTokenString(eXNI_PLUS) == plus && XToken::m_invalidTokens == invalid);
}

// ---- character sets and texts ----

// Both sets hold exactly these units, none above ASCII.
TEST(CharacterSetTest, InvalidAndSpaceTokensAreExactlyTheAsciiSets) {
    std::string invalid, spaces;
    for (unsigned u = 1; u <= 0xFFFF; ++u) {
        if (XToken::m_invalidTokens->contains(static_cast<unsigned short>(u))) invalid += u < 0x80 ? char(u) : 'X';
        if (XToken::m_spaceTokens->contains(static_cast<unsigned short>(u))) spaces += u < 0x80 ? char(u) : 'X';
    }
    EXPECT_EQ(invalid, "!\"$%&'()*+,-./:;<=>?[\\]^`{|}~");
    EXPECT_EQ(spaces, "\t\n\v\f\r ");
    EXPECT_EQ(XToken::m_invalidTokens->entries() + XToken::m_spaceTokens->entries(), invalid.size() + spaces.size());
    int value = 0;
    EXPECT_TRUE(XToken::m_invalidTokens->findValue('.', value));
    EXPECT_EQ(value, 1);
}

TEST(GrammarTokenTest, NumbersOutsideTheGrammarHaveNoName) {
    EXPECT_EQ(std::string(tokenName(0)) + tokenName(258) + tokenName(333), "$endXEXTFUNCPREC_OPT_UNARY");
    for (int number : {-1, 1, 255, 256, 257, 334, 1000}) EXPECT_EQ(tokenName(number), nullptr) << number;
}

}  // namespace
