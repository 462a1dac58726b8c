// Expression-string bookkeeping: the reference list in text order (widget
// references inserted by the place of their name), converted lists and who
// frees their entries, rewriting references in place, and the text that
// stands for a node. Most cases are table rows: a text, the nodes, what
// comes out.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qvcmnexpr/xexprstrinfo.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xnodeconst.h"
#include "qvcmnexpr/xrefreplacer.h"
#include "qvcmnexpr/xtree.h"
#include "qvi18n.h"
#include "typetest_const.h"
#include "xrecordtext.h"

namespace {

using xtestsupport::answers;
using NodePtr = std::unique_ptr<XNode>;
using Access = XNodeConstTestAccess;

NodePtr port(int begin, int end) { return NodePtr(XNodeRef::create(eXNI_PORTVAR, nullptr, begin, end)); }

NodePtr widget(EXNodeId kind, int begin, int end) {
    NodePtr node(XNodeWidget::create(nullptr, begin, end));
    if (kind != eXNI_LOOKUP) node->changeId(kind);
    return node;
}

// A node of `kind` over begin..end: references and widgets as such, other
// kinds as operators or keywords.
NodePtr nodeOf(EXNodeId kind, int begin, int end) {
    if (XNode::stc_isRefNode(kind)) return NodePtr(XNodeRef::create(kind, nullptr, begin, end));
    if (XNode::stc_isWidgetNode(kind)) return widget(kind, begin, end);
    if (XNode::stc_isKeywordNode(kind)) return NodePtr(XNodeKeyword::create(kind, begin, end));
    if (kind == eXNI_CONST) return Access::make(1, begin, end, eXDT_INT);
    return NodePtr(XNodeOpt::create(kind, begin, end));
}

std::string utf8(const unsigned short* text, int n) { return QvUString(text, static_cast<size_t>(n)).toUtf8(); }

// A record over `text`, which the test keeps alive.
struct Record {
    explicit Record(const char* text) : expr(qvU(text)) { info.setOrigExpr(expr.getBuffer()); }
    QvUString expr;
    XExprStrInfo info;
};

// The list's entries as "begin-end begin-end".
std::string spans(XExprStrInfo& info) {
    std::string out;
    for (const XRefInfo& entry : info.getRefList()) {
        int b = -9, e = -9;
        EXPECT_EQ(entry.getPosBeginEnd(&info, info.getRefInfoType(), b, e), 0);
        out += (out.empty() ? "" : " ") + std::to_string(b) + "-" + std::to_string(e);
    }
    return out;
}

// ---- the reference list ----

struct Placed { EXNodeId kind; int begin, end; };

// Nodes added in post order (as validation meets them): plain references in
// text order, out-of-order ones recorded but reported, widget calls inserted
// before the references in their arguments, everything else ignored.
TEST(XExprStrInfoRefListTest, AddedNodesInTextOrder) {
    const struct { const char* text; std::vector<Placed> nodes; const char* results; const char* spans; } cases[] = {
        {"a + b", {{eXNI_PORTVAR, 0, 1}, {eXNI_PORTVAR, 4, 5}, {eXNI_PORTVAR, 0, 1}}, "0 0 -1", "0-1 4-5 0-1"},
        {"a + b", {{eXNI_PORTVAR, 0, 1}, {eXNI_PORTVAR, 2, 2}, {eXNI_PORTVAR, -1, -1}}, "0 -1 -1", "0-1 2-2 -1--1"},
        {"a + b", {{eXNI_PORTVAR, 0, 5}, {eXNI_PORTVAR, 4, 5}}, "0 -1", "0-5 4-5"},  // inside another
        {"LOOKUP(a, b) + 1",
         {{eXNI_LOOKUP, 0, 12}, {eXNI_SYSDATE, 0, 7}, {eXNI_PLUS, 0, 16}, {eXNI_CONST, 15, 16}}, "0 0 0 0", ""},
        {":LKP.L(x) + y", {{eXNI_PORTVAR, 7, 8}, {eXNI_LKP, 0, 9}, {eXNI_PORTVAR, 12, 13}}, "0 0 0", "5-6 7-8 12-13"},
        {"x + :LKP.A(:SP.B(c)) + z",
         {{eXNI_PORTVAR, 0, 1}, {eXNI_PORTVAR, 17, 18}, {eXNI_SP, 11, 19}, {eXNI_LKP, 4, 20}, {eXNI_PORTVAR, 23, 24}},
         "0 0 0 0 0", "0-1 9-10 15-16 17-18 23-24"},
    };
    for (const auto& c : cases) {
        Record r(c.text);
        std::vector<NodePtr> nodes;
        std::string results;
        for (const Placed& p : c.nodes) {
            nodes.push_back(nodeOf(p.kind, p.begin, p.end));
            results += (results.empty() ? "" : " ") + std::to_string(r.info.addRefNode(nodes.back().get()));
        }
        EXPECT_EQ(results, c.results) << c.text;
        EXPECT_EQ(spans(r.info), c.spans) << c.text;
    }
    Record r("a");
    EXPECT_TRUE(r.info.addRefNode(nullptr) == 0 && r.info.getRefList().isEmpty());
}

TEST(XExprStrInfoRefListTest, WidgetCallsThatAreNotRecorded) {
    Record r(":LKP.L(x)");
    NodePtr bare = widget(eXNI_LKP, 0, 6), a = port(7, 8), call = widget(eXNI_LKP, 0, 9);
    Record noParenthesis(":LKP.L");
    // No "(" after the name; only widgets are inserted directly; no node.
    EXPECT_EQ(answers({noParenthesis.info.insertWidgetRefNode(bare.get()), r.info.insertWidgetRefNode(a.get()),
                       r.info.insertWidgetRefNode(nullptr), noParenthesis.info.getRefList().entries()}), "-1 -1 -1 0");
    r.info.disableCollectingWidgetRef();
    EXPECT_EQ(
        answers({r.info.insertWidgetRefNode(call.get()), r.info.addRefNode(call.get()), r.info.addRefNode(a.get())}),
        "0 0 0");
    EXPECT_EQ(spans(r.info), "7-8");
    // Clearing needs the list's type, and starts afresh.
    EXPECT_EQ(answers({r.info.clearRefList(eXRIT_OWNED), r.info.getRefList().entries(), r.info.clearRefList(eXRIT_NODE),
                       r.info.getRefList().entries(), r.info.addRefNode(a.get())}), "-1 1 0 0 0");
}

// The token runs to the parenthesis and the name follows the last period.
TEST(XExprStrInfoRefListTest, WidgetTokenAndNameSpans) {
    const struct { const char* text; int nodeBegin, nodeEnd; const char* spans; } cases[] = {  // spans: token, name
        {":LKP.MyLookup(a)", 0, 16, "0 13 5 13"},
        {"x + :EXT.a.b(1)", 4, 15, "4 12 11 12"},
        {"udf(1)", 0, 6, "0 3 0 3"},
        {"( \t:SP.P(1)", 0, 11, "3 8 7 8"},
        {":SP.P(1)", 0, 5, "-"},  // "(" past the node
        {":SP.P(1)", -1, 8, "-"},
        {":SP.P(1)", 0, 40, "-"},
    };
    for (const auto& c : cases) {
        Record r(c.text);
        NodePtr call = widget(eXNI_LKP, c.nodeBegin, c.nodeEnd);
        int tb = -9, te = -9, nb = -9, ne = -9;
        const int token = r.info.getWidgetTokenBeginEnd(call.get(), tb, te);
        const int name = r.info.getWidgetNameBeginEnd(call.get(), nb, ne);
        const std::string got = token != 0 || name != 0 ? std::to_string(token) + std::to_string(name)
                                                         : answers({tb, te}) + " " + answers({nb, ne});
        EXPECT_EQ(got, std::string(c.spans) == "-" ? "-1-1" : c.spans) << c.text;
    }
}

// ---- converted lists ----

// A caller's entry: the node's span moved by an offset (none when that is
// negative); counts live objects.
struct ShiftedRef : XRefInfo {
    ShiftedRef(int b, int e, int* live) : begin(b), end(e), live(live) { ++*live; }
    ~ShiftedRef() override { --*live; }
    int getPosBeginEnd(XExprStrInfo*, EXRefInfoType, int& b, int& e) const override {
        return begin < 0 ? -1 : (b = begin, e = end, 0);
    }
    int begin, end, *live;
};

struct ShiftConverter : XRefInfoConverter {
    ShiftConverter(EXRefInfoType t, int o, int* l, int eo = 0) : type(t), offset(o), endOffset(eo), live(l) {}
    EXRefInfoType getNewRefInfoType() const override { return type; }
    void convertRefInfo(XExprStrInfo* info, XRefInfo* entry, EXRefInfoType curType) const override {
        int b = 0, e = 0;
        entry->getPosBeginEnd(info, curType, b, e);
        entry->setHeldRefInfo(new ShiftedRef(b + offset, e + offset + endOffset, live));
    }
    EXRefInfoType type;
    int offset, endOffset, *live;
};

// Converted entries answer with the caller's positions, refuse nodes, clear
// only under their type, and are freed with the record when it owns them.
TEST(XExprStrInfoConvertTest, ConvertedEntriesAndWhoFreesThem) {
    int live = 0;
    {
        Record r(":LKP.L(x) + y");
        NodePtr x = port(7, 8), call = widget(eXNI_LKP, 0, 9), y = port(12, 13);
        for (const XNode* node : {x.get(), call.get(), y.get()}) r.info.addRefNode(node);
        const int rc = r.info.convertRefInfos(ShiftConverter(eXRIT_OWNED, 100, &live));
        EXPECT_EQ(answers({rc, r.info.getRefInfoType(), live}), answers({0, eXRIT_OWNED, 3}));
        EXPECT_EQ(spans(r.info), "105-106 107-108 112-113");
        EXPECT_EQ(answers({r.info.addRefNode(x.get()), r.info.insertWidgetRefNode(call.get()),
                           r.info.clearRefList(eXRIT_NODE), live}), "-1 -1 -1 3");
    }
    EXPECT_EQ(live, 0);
    {
        Record r("a");
        NodePtr a = port(0, 1);
        r.info.addRefNode(a.get());
        r.info.convertRefInfos(ShiftConverter(eXRIT_OWNED, 0, &live));
        // cleared, freed, empty, and still converted
        EXPECT_EQ(answers({r.info.clearRefList(eXRIT_OWNED), live, r.info.getRefList().entries(),
                           r.info.addRefNode(a.get())}), "0 0 0 -1");
    }
    XRefInfo* held = nullptr;  // entries of other types stay the caller's
    {
        Record r("a");
        NodePtr a = port(0, 1);
        r.info.addRefNode(a.get());
        r.info.convertRefInfos(ShiftConverter(static_cast<EXRefInfoType>(7), 0, &live));
        held = r.info.getRefList()[0].getHeldRefInfo();
        EXPECT_EQ(r.info.clearRefList(static_cast<EXRefInfoType>(7)), 0);
    }
    EXPECT_EQ(live, 1);
    delete held;
}

TEST(XRefInfoTest, ValueSemanticsComparePointers) {
    NodePtr a = port(0, 1), b = port(2, 3);
    XRefInfo none, ra(a.get()), rb(b.get());
    XRefInfo copy = ra;
    EXPECT_TRUE(copy == ra && !(ra == rb));
    int begin = 0, end = 0;
    EXPECT_EQ(answers({none.getPosBeginEnd(nullptr, eXRIT_NODE, begin, end),
                       none.getPosBeginEnd(nullptr, eXRIT_OWNED, begin, end)}), "-1 -1");
    none.setHeldRefInfo(&none);  // an entry converted into itself cannot answer
    EXPECT_EQ(none.getPosBeginEnd(nullptr, eXRIT_OWNED, begin, end), -1);
}

// ---- rewriting ----

// Renames references by their text and records what it is asked.
struct RenameReplacer : XRefReplacer {
    RenameReplacer(XExprStrInfo& i, std::map<std::string, std::string> r) : info(i), renames(std::move(r)) {}
    int getReplacement(XRefInfo* ref, EXRefInfoType type, QvUString& newText, int& replace) const override {
        int b = 0, e = 0;
        ref->getPosBeginEnd(&info, type, b, e);
        const std::string name = utf8(info.getCurExpr() + b, e - b);
        asked += (asked.empty() ? "" : " ") + name;
        if (name == refuse) return 1;
        auto it = renames.find(name);
        if (it != renames.end()) newText = qvU(it->second), replace = 1;
        return 0;
    }
    int isWidgetRefRequired() const override { return widgetRefRequired; }
    XExprStrInfo& info;
    std::map<std::string, std::string> renames;
    mutable std::string asked;
    std::string refuse = "-";  // a name no reference has
    int widgetRefRequired = 0;
};

const char kSample[] = "a + b -- note\n + :LKP.L(c)";

// The sample with all four references recorded, rewritten over begin..end
// (-1, -1: the whole text): "result|text|references asked".
using Renames = std::map<std::string, std::string>;
struct RewriteCase { Renames renames; int begin, end; const char* refuse; int widgetRequired, collect; const char* out; };

const RewriteCase kRewriteCases[] = {
    {{}, -1, -1, "", 0, 1, "0|a + b -- note\n + :LKP.L(c)|a b L c"},
    {{{"a", "alpha"}, {"L", "Lookup2"}, {"c", ""}}, -1, -1, "", 0, 1, "0|alpha + b -- note\n + :LKP.Lookup2()|a b L c"},
    {{{"a", "A"}, {"b", "B"}, {"c", "C"}}, 2, 16, "", 0, 1, "0|+ B -- note\n +|b"},
    {{}, 25, 25, "", 0, 1, "0||"},
    {{}, -1, 3, "", 0, 1, "-1||"},
    {{}, 4, 3, "", 0, 1, "-1||"},
    {{}, 0, 27, "", 0, 1, "-1||"},
    {{{"a", "A"}}, -1, -1, "L", 0, 1, "-1||a b L"},  // a refused reference fails the rewrite
    // The precondition is asked only of a record without widget references.
    {{{"b", "B"}}, -1, -1, "", 1, 1, "0|a + B -- note\n + :LKP.L(c)|a b L c"},
    {{{"b", "B"}}, -1, -1, "", 1, 0, "-1||"},
    {{{"b", "B"}}, -1, -1, "", 0, 0, "0|a + B -- note\n + :LKP.L(c)|a b L c"},
};

TEST(XExprStrInfoRewriteTest, RenamesInPlace) {
    for (const RewriteCase& c : kRewriteCases) {
        Record r(kSample);
        NodePtr a = port(0, 1), b = port(4, 5), cRef = port(24, 25), call = widget(eXNI_LKP, 17, 26);
        for (const XNode* node : {a.get(), b.get(), cRef.get(), call.get()}) r.info.addRefNode(node);
        if (!c.collect) r.info.disableCollectingWidgetRef();
        RenameReplacer replacer(r.info, c.renames);
        replacer.refuse = c.refuse, replacer.widgetRefRequired = c.widgetRequired;
        QvUString out;
        const int rc = c.begin == -1 && c.end == -1 ? r.info.getExprWithRefReplaced(out, replacer)
                                                    : r.info.getExprWithRefReplaced(out, replacer, c.begin, c.end);
        EXPECT_EQ(std::to_string(rc) + "|" + (rc == 0 ? out.toUtf8() : "") + "|" + replacer.asked, c.out)
            << c.begin << " " << c.end;
        // The tree's positions and the current text stay as they were.
        EXPECT_EQ(answers({b->getPosBegin().toInteger(), call->getPosEnd().toInteger()}) + utf8(r.info.getCurExpr(), 5),
                  "4 26a + b");
    }
}

// Odd lists: no references (the text as it is), an entry inside another
// (not copied twice), converted entries (rewritten at the caller's
// positions; an empty one inserts; one that cannot say where it is fails).
TEST(XExprStrInfoRewriteTest, OddListsAndTheTreesRecord) {
    // text, references, convert, offset, end offset, renames, "result|text|references asked"
    const struct { const char* text; std::vector<std::pair<int, int>> refs; int convert, offset, endOffset;
                   Renames renames; const char* result; } cases[] = {
        {"  1 +\t2 // c", {}, 0, 0, 0, {{"1", "x"}}, "0|  1 +\t2 // c|"},
        {"a + b", {{0, 5}, {4, 5}}, 0, 0, 0, {{"a + b", "x"}, {"b", "y"}}, "0|x|a + b"},
        {"a + b", {{0, 1}}, 1, 2, -1, {{"", "X"}}, "0|a X+ b|"},
        {"a + b", {{4, 5}}, 1, -4, 0, {{"a", "Z"}}, "0|Z + b|a"},
        {"a + b", {{0, 1}}, 1, -100, 0, {}, "-1||"},
    };
    int live = 0;
    QvUString out;
    for (const auto& c : cases) {
        Record r(c.text);
        std::vector<NodePtr> nodes;
        for (const auto& [begin, end] : c.refs) nodes.push_back(port(begin, end)), r.info.addRefNode(nodes.back().get());
        if (c.convert) r.info.convertRefInfos(ShiftConverter(eXRIT_OWNED, c.offset, &live, c.endOffset));
        const RenameReplacer replacer(r.info, c.renames);
        const int rc = r.info.getExprWithRefReplaced(out, replacer);
        EXPECT_EQ(std::to_string(rc) + "|" + out.toUtf8() + "|" + replacer.asked, c.result) << c.text;
    }
    // A tree rewrites through its record (as the reverse parser's tests show); without one it cannot.
    const QvUString text = qvU("p");
    std::unique_ptr<XTree> tree(XTree::create(XNodeRef::create(eXNI_PORTVAR, nullptr, 0, 1), text.getBuffer(), 0, 0));
    std::unique_ptr<XExprStrInfo> taken(tree->removeExprStrInfo());
    EXPECT_EQ(tree->getExprWithRefReplaced(out, RenameReplacer(*taken, {{"p", "x"}})), -1);
}

// ---- the text of a node ----

// "text" (or "text*" when the caller must free it), "-" for none (-1).
std::string tokenOf(const XExprStrInfo& info, const XNode* node) {
    const unsigned short* text = nullptr;
    int length = -9, owned = -9;
    const int rc = info.getNodeToken(node, text, length, owned);
    if (rc != 0) return rc == -1 ? "-" : "rc " + std::to_string(rc);
    const std::string out = utf8(text, length) + (owned ? "*" : "");
    if (owned) delete[] text;
    return out;
}

// A fixed spelling wins over the text; references and kinds without one use
// their slice as written; widget references their whole name; constants
// their slice or else their printed value.
TEST(XExprStrInfoNodeTokenTest, TextThatStandsForANode) {
    const QvUString wide = qvU("d\xC3\xA9j\xC3\xA0");
    const struct { const char* text; NodePtr node; const char* token; } cases[] = {  // text null: none
        {"a  +  b", nodeOf(eXNI_PLUS, 0, 7), "+"},
        {"Port_1 + x.y", port(0, 6), "Port_1"},
        {"Port_1 + x.y", nodeOf(eXNI_FUNC_START, 9, 12), "x.y"},  // a kind with no display row
        {"Port_1 + x.y", nodeOf(eXNI_FUNC_START, -1, -1), "-"},
        {"1 + :LKP.MyLookup( a )", widget(eXNI_LKP, 4, 22), ":LKP.MyLookup"},
        {"1 + :LKP.MyLookup( a )", widget(eXNI_LKP, 4, 10), "-"},  // no "(": no fallback
        {"0x + 42", Access::make(42, 5, 7, eXDT_INT), "42"},
        {"0x + 42", Access::make(-17, -1, -1, eXDT_INT), "-17*"},
        {nullptr, Access::make(QvtStr<char>("abc", 3), -1, -1, eXDT_STRING, 3), "'abc'*"},
        {nullptr, Access::make(QvtStr<unsigned short>(wide.getBuffer(), 4), -1, -1, eXDT_UNISTRING, 4),
         "'d\xC3\xA9j\xC3\xA0'*"},
        {nullptr, Access::make(5, -1, -1, eXDT_INT, -1, true), "-"},
        {"1", port(0, 5), "-"},  // a slice beyond the text
    };
    for (const auto& [text, node, token] : cases) {
        XExprStrInfo empty;
        std::unique_ptr<Record> r(text ? new Record(text) : nullptr);
        EXPECT_EQ(tokenOf(r ? r->info : empty, node.get()), token) << (text ? text : "-");
    }
    EXPECT_EQ(tokenOf(XExprStrInfo(), nullptr), "-");
}

TEST(XExprStrInfoNodeTokenTest, TokensComeFromTheCurrentText) {
    Record r("a + b");
    r.info.updateCurExpr(qvU("(alpha + b)").getBufferCopy(), 1);  // owned: freed by the record
    NodePtr p = port(1, 6);
    EXPECT_EQ(tokenOf(r.info, p.get()), "alpha");
    r.info.updateCurExpr(qvU("zeta").getBufferCopy(), 1);  // frees the previous owned text
    EXPECT_EQ(tokenOf(r.info, port(0, 4).get()), "zeta");
    EXPECT_EQ(utf8(r.info.getOrigExpr(), 5), "a + b");
}

}  // namespace
