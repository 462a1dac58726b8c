// The public token stream: the same tokens, positions and values the parser
// reads, as plain records, with the custom-function names it takes over
// released.
#include "qvcmnexpr/xtokenstream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qvcmnexpr/xcatalogcontext.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvutils.h"

namespace {

struct Expected {
    const char* name;
    size_t begin;
    size_t end;
    const char* value;
};

std::vector<XTokenInfo> readAll(const std::string& utf8, XParserContext& context) {
    QvUString text = QvUString::fromUtf8(utf8);
    XTokenStream stream(text.getBuffer(), &context);
    std::vector<XTokenInfo> tokens;
    XTokenInfo token;
    while (stream.next(token) != 0) tokens.push_back(token);
    EXPECT_STREQ(token.name, "$end");
    EXPECT_EQ(token.begin, text.length());
    // The end repeats.
    EXPECT_EQ(stream.next(token), 0);
    EXPECT_EQ(stream.next(token), 0);
    return tokens;
}

void expectTokens(const std::vector<XTokenInfo>& tokens, const std::vector<Expected>& expected) {
    ASSERT_EQ(tokens.size(), expected.size());
    for (size_t i = 0; i < tokens.size(); ++i) {
        EXPECT_STREQ(tokens[i].name, expected[i].name) << i;
        EXPECT_EQ(tokens[i].begin, expected[i].begin) << i;
        EXPECT_EQ(tokens[i].end, expected[i].end) << i;
        EXPECT_EQ(tokens[i].value.toUtf8(), expected[i].value) << i;
    }
}

TEST(XTokenStreamTest, ReadsAsTheParserDoes) {
    XParserContextNoSymbols context;
    expectTokens(readAll("IIF(ISNULL(PRICE), 0, PRICE * 1.5) -- note", context),
                 {{"XFUNC", 0, 3, "IIF"},
                  {"PAREN_LEFT", 3, 4, ""},
                  {"XFUNC", 4, 10, "ISNULL"},
                  {"PAREN_LEFT", 10, 11, ""},
                  {"NAME", 11, 16, "PRICE"},
                  {"PAREN_RIGHT", 16, 17, ""},
                  {"COMMA", 17, 18, ""},
                  {"CONST_INT", 19, 20, "0"},
                  {"COMMA", 20, 21, ""},
                  {"NAME", 22, 27, "PRICE"},
                  {"OPT_MULTIPLY", 28, 29, "MULTIPLY"},
                  {"CONST_DECIMAL", 30, 33, "1.5"},
                  {"PAREN_RIGHT", 33, 34, ""}});
}

TEST(XTokenStreamTest, EmptyTextAndLexicalErrors) {
    XParserContextNoSymbols context;
    EXPECT_TRUE(readAll("", context).empty());
    EXPECT_TRUE(readAll("  // only a comment", context).empty());
    auto tokens = readAll("a ; 'b", context);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_STREQ(tokens[1].name, "LEXERROR");
    EXPECT_EQ(tokens[1].value.toUtf8(), qvGetMsg(19081).toUtf8());
    EXPECT_STREQ(tokens[2].name, "LEXERROR");
    EXPECT_EQ(tokens[2].value.toUtf8(), qvGetMsg(19082).toUtf8());
}

TEST(XTokenStreamTest, CatalogNamesBecomeTheirTokens) {
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    ASSERT_EQ(catalog->addMappingVariable({"$$LIMIT", XCatalogType::integer()}, error), 0);
    ASSERT_EQ(catalog->addFunction(
                  {"TWICE", false, {XCatalogType::integer()}, XCatalogType::integer()}, error),
              0);
    XCatalogContext context(catalog);
    expectTokens(readAll("twice ($$limit) + 1e3", context), {{"XEXTFUNC", 0, 5, "twice"},
                                                             {"PAREN_LEFT", 6, 7, ""},
                                                             {"MAPVAR", 7, 14, "$$limit"},
                                                             {"PAREN_RIGHT", 14, 15, ""},
                                                             {"OPT_PLUS", 16, 17, "PLUS"},
                                                             {"CONST_FLOAT", 18, 21, "1000"}});
}

}  // namespace
