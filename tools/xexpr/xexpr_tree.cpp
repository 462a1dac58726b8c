// xexpr tree: the syntax tree of each expression, one node per line and
// indented by depth (or nested objects with --json), written out as it is
// walked: the node kind by its debug name, its position and, for leaves, its
// text. What validation has decided about a node (type, scale, augmented
// type, parent expectation, result rule, operation variant, aggregation
// level, constness, character count) is shown once it is set.
#include <algorithm>
#include <memory>
#include <vector>

#include "qvcmnexpr/xenum.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xptree.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xvalidator.h"
#include "xexpr_session.h"

namespace xexpr {

namespace {

using Json = nlohmann::ordered_json;

// A type by the name the commands use, else by the library's name.
std::string typeName(XType type, int chars, int scale) {
    std::string name = typeFacts(static_cast<unsigned>(type.toCDataType(0)), chars, scale).name;
    return name.empty() ? std::string(type.toString()) : name;
}

// An operation variant by its name; the variants without one by number.
Json variantOf(XOp op) {
    const char* name = op.toString();
    return XEnum::isUnknownEnumStr(name) ? Json(op.toInteger()) : Json(name);
}

// The validation results of a node that are set, as JSON members, in the
// order of kAttributeKeys.
Json nodeAttributes(const XNode& node) {
    Json attributes = Json::object();
    const int chars = node.getNumCharsMax().toInteger();
    const int scale = XValidator::getNodeScale(&node).toInteger();
    const XType type = XValidator::getNodeDataType(&node);
    if (type.isValid()) attributes["type"] = typeName(type, chars, -1);
    if (scale >= 0) attributes["scale"] = scale;
    const XType augType = XValidator::getNodeAugType(&node);
    if (augType.isValid()) attributes["augType"] = typeName(augType, -1, -1);
    const XTypeParentExpectsIndicator expects = XValidator::getNodeTypeParentExpectsIndicator(&node);
    if (expects.isValid()) attributes["expects"] = expects.toString();
    const XResultTypeIndicator result = XValidator::getNodeResultTypeIndicator(&node);
    if (result.isValid()) attributes["result"] = result.toString();
    const XOp op = XValidator::getNodeOp(&node);
    if (op.isValid() && !op.isDummy()) attributes["variant"] = variantOf(op);
    const XAggLevel level = XValidator::getNodeAggLevel(&node);
    if (level.isValid()) attributes["aggLevel"] = aggLevelName(level.toInteger());
    const XBooleanInt constness = XValidator::getNodeConstness(&node);
    if (constness.isValid()) attributes["constant"] = constness.toInteger() == 1;
    if (chars >= 0) attributes["chars"] = chars;
    return attributes;
}

constexpr const char* kAttributeKeys[] = {"type",    "scale",    "augType",  "expects", "result",
                                          "variant", "aggLevel", "constant", "chars"};

// A node's own members in the order both forms show them.
Json nodeHead(const XNode& node, const QvUString& text) {
    int begin = node.getPosBegin().toInteger();
    int end = node.getPosEnd().toInteger();
    Json object = {{"kind", node.idToString()}, {"begin", begin}, {"end", end}};
    if (node.getNumChildrenB() == 0 && begin >= 0 && end >= begin)
        object["text"] = text.substr(begin, end - begin).toUtf8();
    Json attributes = nodeAttributes(node);
    for (const auto& [key, value] : attributes.items()) object[key] = value;
    return object;
}

std::string dumped(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Indentation grows with depth only this far; deeper lines carry their
// depth as a number instead, so output stays linear in the tree's size.
constexpr int kIndentedDepth = 40;

void writeTextLine(Output& out, const Json& head, int depth) {
    std::string line(2 * std::min(depth, kIndentedDepth) + 2, ' ');
    if (depth > kIndentedDepth) line += "<" + std::to_string(depth) + "> ";
    line += head["kind"].get<std::string>() + " [" + std::to_string(head["begin"].get<int>()) +
            "," + std::to_string(head["end"].get<int>()) + ")";
    if (head.contains("text")) line += " " + dumped(head["text"]);
    for (const char* key : kAttributeKeys) {
        if (head.contains(key)) line += std::string(" ") + key + "=" + head[key].dump();
    }
    out.line(line);
}

// The children a node shows: its non-null ones.
std::vector<const XNode*> childrenOf(const XNode& node) {
    std::vector<const XNode*> children;
    for (int i = 0; i < node.getNumChildrenB(); ++i) {
        if (const XNode* child = node.getChildB(i, 0)) children.push_back(child);
    }
    return children;
}

// Writes the tree in pre-order with a stack of its own: trees as deep as
// their expression is long (A + A + ... + A) must not exhaust the call stack.
void writeTree(Output& out, bool json, const XNode& root, const QvUString& text) {
    struct Frame {
        std::vector<const XNode*> children;
        size_t next = 0;
    };
    std::vector<Frame> stack;
    const XNode* node = &root;
    while (!out.failed()) {
        if (node) {
            Json head = nodeHead(*node, text);
            Frame frame{childrenOf(*node)};
            if (json) {
                std::string member = dumped(head);
                member.pop_back();  // "}" closes after the children
                out.write(member);
                if (!frame.children.empty()) out.write(",\"children\":[");
            } else {
                writeTextLine(out, head, static_cast<int>(stack.size()));
            }
            stack.push_back(std::move(frame));
        }
        Frame& top = stack.back();
        if (top.next < top.children.size()) {
            if (json && top.next > 0) out.write(",");
            node = top.children[top.next++];
            continue;
        }
        if (json) out.write(top.children.empty() ? "}" : "]}");
        stack.pop_back();
        if (stack.empty()) break;
        node = nullptr;
    }
}

Outcome showTree(XParser& parser, const Expression& expression) {
    auto text = std::make_shared<QvUString>();
    std::unique_ptr<XParsedTree> owned;
    ValidationResult vr;
    Outcome outcome = parseExpression(parser, expression, *text, owned, vr);
    if (!outcome.valid) return outcome;
    outcome.summary = "ok";
    // The tree is written while the outcome is reported, never held as text.
    std::shared_ptr<XParsedTree> tree(std::move(owned));
    outcome.streamedKey = "tree";
    outcome.streamed = [tree, text](Output& out, bool json) {
        writeTree(out, json, *tree->getTree()->getRoot(), *text);
    };
    return outcome;
}

}  // namespace

int runTree(const Invocation& invocation) {
    return runEachExpression(invocation, &showTree);
}

}  // namespace xexpr
