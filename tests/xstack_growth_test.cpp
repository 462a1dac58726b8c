// The node stack and the trees it serves grow in linear space and time: the
// bytes allocated to build, walk and delete a deep tree, and to push a deep
// stack, grow in proportion to the size. Bytes, not the clock, tell linear
// from quadratic: four times the size may cost at most about four times the
// bytes.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xptree.h"
#include "qvcmnexpr/xstack.h"
#include "qvcmnexpr/xtree.h"
#include "xalloccount.h"
#include "xlexer.h"
#include "xtestsupport.h"

namespace {

constexpr double kLinearRatio = 5.0;  // quadratic growth gives about 16

size_t bytesToPush(uint32_t count) {
    return xalloccount::measure([count] { for (XStack stack; stack.getCount() < count;) stack.push(nullptr); }).allocated;
}

// "1 + 1 + ... + 1": a left-deep tree as deep as it has operands, parsed,
// walked (the tree's node list) and deleted.
size_t bytesForDeepTree(int operands) {
    std::string text = "1";
    for (int i = 1; i < operands; ++i) text += " + 1";
    const QvUString expression = QvUString::fromUtf8(text);
    XParserContextNoSymbols context;
    XParser parser;
    parser.setParserContext(&context, 0);
    return xalloccount::measure([&] {
        XParsedTree* result = nullptr;
        QvUString errors, warnings;
        ASSERT_EQ(parser.parse(expression.getBuffer(), result, errors, warnings), 0) << errors.toUtf8();
        XNodeList nodes;
        std::unique_ptr<XParsedTree>(result)->getTree()->dfs(nodes, nullptr);
        EXPECT_EQ(nodes.entries(), static_cast<size_t>(2 * operands - 1));
    }).allocated;
}

TEST(XStackGrowthTest, PushingAndDeepTreesCostLinearBytes) {
    const size_t small = bytesToPush(50000), large = bytesToPush(200000);
    EXPECT_LT(static_cast<double>(large) / small, kLinearRatio) << small << " " << large;
    EXPECT_LT(large, 4u * 200000 * sizeof(XNode*));
    const size_t smallTree = bytesForDeepTree(20000), largeTree = bytesForDeepTree(80000);
    EXPECT_LT(static_cast<double>(largeTree) / smallTree, kLinearRatio) << smallTree << " " << largeTree;
}

// The allocation counter also makes allocations fail: a value string the
// lexer cannot allocate is its own invariant failure, not the allocator's
// exception.
TEST(XStackGrowthTest, ValueTheLexerCannotAllocateIsItsInvariant) {
    const QvUString text = QvUString::fromUtf8(std::string(1000, 'a'));
    XParserContextNoSymbols context;
    XLexer lexer(text.getBuffer(), &context, 0);
    yystype lval{};
    struct FailLarge {
        FailLarge() { xalloccount::failFrom = 1500; }
        ~FailLarge() { xalloccount::failFrom = 0; }
    } failLarge;
    xtestsupport::expectInvariant("xlexer", [&] { lexer.yylex(&lval); }, 50);
}

}  // namespace
