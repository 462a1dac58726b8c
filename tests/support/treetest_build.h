// Builders and printers that the tree, visitor and pre-validation tests
// share: hand-made nodes and trees, a post-order kind list, and a parse of a
// text over a relaxed context that knows some custom functions.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xtree.h"
#include "xparsetest.h"

namespace treetest {

using TreePtr = std::unique_ptr<XTree>;
inline const unsigned short kX[] = {'x', 0};

inline XNodeOpt* opt(EXNodeId kind, std::vector<XNode*> children = {}, int begin = 0, int end = 0) {
    XNodeOpt* node = XNodeOpt::create(kind, begin, end);
    for (XNode* child : children) node->appendChildNode(child);
    return node;
}
inline XNode* leaf(EXNodeId kind = eXNI_SYSDATE, int b = 0, int e = 0) { return XNodeKeyword::create(kind, b, e); }
inline TreePtr treeOf(XNode* root, int trusted = 0) { return TreePtr(XTree::create(root, kX, 0, trusted)); }

inline std::string kinds(const XNodeList& list) {
    std::string out;
    for (XNode* node : list) out += std::string(out.empty() ? "" : " ") + node->idToString();
    return out;
}
inline std::string postOrderKinds(XTree* tree) {
    XNodeList nodes;  // the tree outlives the list: the names are read while its nodes live
    return tree->dfs(nodes, nullptr), kinds(nodes);
}

// A relaxed parse (the trees as the grammar built them) of `text`, which
// knows the custom functions `funcs`; the status must be 0.
struct Parsed {
    Parsed(const char* text, std::set<std::string> funcs) {
        ctx.extFuncs = std::move(funcs);
        parser.setParserContext(&ctx, 0);
        parse = std::make_unique<xparsetest::ParseWith>(parser, text);
        EXPECT_EQ(parse->status, 0) << text << " " << parse->err.toUtf8();
    }
    XTree* tree() const { return parse->tree; }
    xparsetest::TestContext ctx;
    xparsetest::TestParser parser;
    std::unique_ptr<xparsetest::ParseWith> parse;
};

}  // namespace treetest
