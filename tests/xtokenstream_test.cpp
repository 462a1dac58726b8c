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

// "NAME(begin,end)value ..."; the end repeats and lies at the end of the text.
std::string readAll(const std::string& utf8, XParserContext& context) {
    QvUString text = QvUString::fromUtf8(utf8);
    XTokenStream stream(text.getBuffer(), &context);
    std::string out;
    XTokenInfo token;
    while (stream.next(token) != 0)
        out += std::string(out.empty() ? "" : " ") + token.name + "(" + std::to_string(token.begin) + "," +
               std::to_string(token.end) + ")" + token.value.toUtf8();
    EXPECT_STREQ(token.name, "$end");
    EXPECT_EQ(token.begin, text.length());
    for (int again = 0; again < 2; ++again) EXPECT_TRUE(stream.next(token) == 0 && std::string(token.name) == "$end");
    return out;
}

TEST(XTokenStreamTest, ReadsAsTheParserDoes) {
    XParserContextNoSymbols context;
    EXPECT_EQ(readAll("IIF(ISNULL(PRICE), 0, PRICE * 1.5) -- note", context),
              "XFUNC(0,3)IIF PAREN_LEFT(3,4) XFUNC(4,10)ISNULL PAREN_LEFT(10,11) NAME(11,16)PRICE PAREN_RIGHT(16,17) "
              "COMMA(17,18) CONST_INT(19,20)0 COMMA(20,21) NAME(22,27)PRICE OPT_MULTIPLY(28,29)MULTIPLY "
              "CONST_DECIMAL(30,33)1.5 PAREN_RIGHT(33,34)");
    EXPECT_EQ(readAll("", context), "");
    EXPECT_EQ(readAll("a ; 'b", context),
              "NAME(0,1)a LEXERROR(2,2)" + qvGetMsg(19081).toUtf8() + " LEXERROR(4,6)" + qvGetMsg(19082).toUtf8());
}

TEST(XTokenStreamTest, CatalogNamesBecomeTheirTokens) {
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    ASSERT_EQ(catalog->addMappingVariable({"$$LIMIT", XCatalogType::integer()}, error), 0);
    ASSERT_EQ(catalog->addFunction({"TWICE", false, {XCatalogType::integer()}, XCatalogType::integer()}, error), 0);
    XCatalogContext context(catalog);
    EXPECT_EQ(readAll("twice ($$limit) + 1e3", context),
              "XEXTFUNC(0,5)twice PAREN_LEFT(6,7) MAPVAR(7,14)$$limit PAREN_RIGHT(14,15) OPT_PLUS(16,17)PLUS "
              "CONST_FLOAT(18,21)1000");
}

}  // namespace
