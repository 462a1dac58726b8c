// xexpr tree: the syntax tree of each expression, one node per line and
// indented by depth (or nested objects with --json): the node kind by its
// debug name, its position and, for leaves, its text. What validation has
// decided about a node (type, precision, scale, aggregation level,
// constness, operation variant) is shown once it is set.
#include <memory>

#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xptree.h"
#include "qvcmnexpr/xtree.h"
#include "xexpr_session.h"

namespace xexpr {

namespace {

using Json = nlohmann::ordered_json;

// The validation results of a node that are set, as JSON members.
Json nodeAttributes(const XNode& node) {
    Json attributes = Json::object();
    XType type = node.getDataType();
    if (type.isValid()) {
        int length = node.getNumCharsMax().toInteger();
        int scale = node.getScale().toInteger();
        std::string text = typeText(static_cast<unsigned>(type.toCDataType(0)), length, scale);
        attributes["type"] = text.empty() ? std::string(type.toString()) : text;
        if (length >= 0) attributes["precision"] = length;
        if (scale >= 0) attributes["scale"] = scale;
    }
    const XNodeCmnInfo* info = node.getCmnInfoConstPtr();
    if (info->getAggLevel().isValid()) attributes["aggLevel"] = info->getAggLevel().toString();
    if (info->getConstness().toInteger() == 0 || info->getConstness().toInteger() == 1)
        attributes["constant"] = info->isConstnessTrue() != 0;
    if (info->getOp().isValid() && !info->getOp().isDummy())
        attributes["variant"] = info->getOp().toString();
    return attributes;
}

Json nodeJson(const XNode& node, const QvUString& text) {
    int begin = node.getPosBegin().toInteger();
    int end = node.getPosEnd().toInteger();
    Json object = {{"kind", node.idToString()}, {"begin", begin}, {"end", end}};
    if (node.getNumChildrenB() == 0 && begin >= 0 && end >= begin)
        object["text"] = text.substr(begin, end - begin).toUtf8();
    Json attributes = nodeAttributes(node);
    for (const auto& [key, value] : attributes.items()) object[key] = value;
    Json children = Json::array();
    for (int i = 0; i < node.getNumChildrenB(); ++i) {
        if (const XNode* child = node.getChildB(i, 0)) children.push_back(nodeJson(*child, text));
    }
    if (!children.empty()) object["children"] = std::move(children);
    return object;
}

void nodeLines(const Json& node, int depth, std::vector<std::string>& lines) {
    std::string line(2 * depth + 2, ' ');
    line += node["kind"].get<std::string>() + " [" + std::to_string(node["begin"].get<int>()) +
            "," + std::to_string(node["end"].get<int>()) + ")";
    if (node.contains("text"))
        line += " " + node["text"].dump(-1, ' ', false, Json::error_handler_t::replace);
    for (const char* key : {"type", "precision", "scale", "aggLevel", "constant", "variant"}) {
        if (node.contains(key)) line += std::string(" ") + key + "=" + node[key].dump();
    }
    lines.push_back(line);
    if (!node.contains("children")) return;
    for (const Json& child : node["children"]) nodeLines(child, depth + 1, lines);
}

Outcome showTree(XParser& parser, const Expression& expression) {
    QvUString text;
    std::unique_ptr<XParsedTree> owned;
    ValidationResult vr;
    Outcome outcome = parseExpression(parser, expression, text, owned, vr);
    if (!outcome.valid) return outcome;
    Json tree = nodeJson(*owned->getTree()->getRoot(), text);
    outcome.summary = "ok";
    nodeLines(tree, 0, outcome.lines);
    outcome.details["tree"] = std::move(tree);
    return outcome;
}

}  // namespace

int runTree(const Invocation& invocation) {
    return runEachExpression(invocation, &showTree);
}

}  // namespace xexpr
