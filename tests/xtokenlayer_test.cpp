// The token layer sits below the syntax tree: its headers compile first in a
// unit and bring in neither the node nor the metadata classes, so that the
// vocabulary and the lexer can change without the tree and the validator
// being rebuilt, and no tree code creeps into them. This unit includes them
// before anything else and checks that the tree's classes are still unknown.
#include "qvcmnexpr/xtoken.h"
#include "xblockalloc.h"
#include "xlexer.h"
#include "xlexerfast.h"
#include "xtokenindex.h"
#include "xtokentables.h"

class XNode;
class XMetadata;
class XTree;
class XNodeKeyword;

namespace {

template <class T>
concept Defined = requires { sizeof(T); };

static_assert(!Defined<XNode> && !Defined<XNodeKeyword> && !Defined<XTree> && !Defined<XMetadata>,
              "a token-layer header includes the syntax tree or the metadata records");

}  // namespace

#include <gtest/gtest.h>

#include "qvcmnexpr/xparsercontext.h"
#include "xgrammartokens.h"

using namespace xgrammar;

// Each form of keyword row reaches the lexer's semantic value as the token
// layer alone defines it: an operator carries its node kind, an operand and a
// predefined integer their token number.
TEST(TokenLayerTest, KeywordRowsGiveTheirSemanticValues) {
    XParserContextNoSymbols context;
    XLexer lexer(reinterpret_cast<const unsigned short*>(u"AND sysdate DD_REJECT SPOUTPUT"), &context, 0);
    yystype lval{};
    for (int token : {OPT_AND, SYSDATE, XDD_REJECT, XSPOUTPUT}) {
        EXPECT_EQ(lexer.yylex(&lval), token);
        EXPECT_EQ(lval.value.kind, token == OPT_AND ? eXNI_AND : token);
    }
}
