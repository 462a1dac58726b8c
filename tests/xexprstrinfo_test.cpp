// Expression-string bookkeeping: the reference list in text order (widget
// references inserted by the place of their name), converted lists and who
// frees their entries, rewriting references in place, and the text that
// stands for a node.
#include <gtest/gtest.h>

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

// The constant constructor is private (creators only); tests reach it here.
class XNodeConstTestAccess {
public:
    template <class T>
    static std::unique_ptr<XNode> make(T value, int begin, int end, int type) {
        std::unique_ptr<XNodeConst<T>> node(
            new XNodeConst<T>(std::move(value), begin, end, std::make_unique<XMetadata>()));
        node->setDataType(XType(type));
        return node;
    }
};

namespace {

using NodePtr = std::unique_ptr<XNode>;

NodePtr port(int begin, int end) { return NodePtr(XNodeRef::create(eXNI_PORTVAR, nullptr, begin, end)); }

NodePtr widget(EXNodeId kind, int begin, int end) {
    NodePtr node(XNodeWidget::create(nullptr, begin, end));
    node->changeId(kind);
    return node;
}

std::string utf8(const unsigned short* text, int length) {
    return QvUString(text, static_cast<size_t>(length)).toUtf8();
}

// A record over `text`, which the test keeps alive.
struct Record {
    explicit Record(const char* text) : expr(qvU(text)) { info.setOrigExpr(expr.getBuffer()); }
    QvUString expr;
    XExprStrInfo info;
};

std::vector<std::pair<int, int>> spans(XExprStrInfo& info) {
    std::vector<std::pair<int, int>> out;
    for (const XRefInfo& entry : info.getRefList()) {
        int b = -9, e = -9;
        EXPECT_EQ(entry.getPosBeginEnd(&info, info.getRefInfoType(), b, e), 0);
        out.emplace_back(b, e);
    }
    return out;
}

std::vector<const XNode*> nodes(const XExprStrInfo& info) {
    std::vector<const XNode*> out;
    for (const XRefInfo& entry : info.getRefList()) out.push_back(entry.getNode());
    return out;
}

// ---- the reference list ----

TEST(XExprStrInfoRefListTest, PlainReferencesFollowTheTextAndAnOutOfOrderOneStaysRecorded) {
    Record r("a + b");
    NodePtr a = port(0, 1), b = port(4, 5);
    EXPECT_EQ(r.info.addRefNode(a.get()), 0);
    EXPECT_EQ(r.info.addRefNode(b.get()), 0);
    EXPECT_EQ(r.info.addRefNode(a.get()), -1);
    EXPECT_EQ(nodes(r.info), (std::vector<const XNode*>{a.get(), b.get(), a.get()}));
}

TEST(XExprStrInfoRefListTest, ReferencesWithoutUsablePositionsAreOutOfOrder) {
    Record r("a + b");
    NodePtr a = port(0, 1), empty = port(2, 2), unset = port(-1, -1);
    EXPECT_EQ(r.info.addRefNode(a.get()), 0);
    EXPECT_EQ(r.info.addRefNode(empty.get()), -1);  // B < E fails
    EXPECT_EQ(r.info.addRefNode(unset.get()), -1);  // b < e fails for the previous
    EXPECT_EQ(r.info.getRefList().entries(), 3u);
}

TEST(XExprStrInfoRefListTest, NodesThatAreNoReferencesAreIgnored) {
    Record r("LOOKUP(a, b) + 1");
    NodePtr lookup(XNodeWidget::create(nullptr, 0, 12));
    NodePtr keyword(XNodeKeyword::create(eXNI_SYSDATE, 0, 7));
    NodePtr plus(XNodeOpt::create(eXNI_PLUS, 0, 16));
    NodePtr constant = XNodeConstTestAccess::make(1, 15, 16, eXDT_INT);
    ASSERT_EQ(lookup->getId(), eXNI_LOOKUP);
    for (const XNode* node : {lookup.get(), keyword.get(), plus.get(), constant.get(),
                              static_cast<XNode*>(nullptr)})
        EXPECT_EQ(r.info.addRefNode(node), 0);
    EXPECT_TRUE(r.info.getRefList().isEmpty());
}

TEST(XExprStrInfoRefListTest, WidgetCallIsInsertedBeforeTheReferencesInItsArguments) {
    // :LKP.L(x) + y, validated in post-order: x, the call, y.
    Record r(":LKP.L(x) + y");
    NodePtr x = port(7, 8), call = widget(eXNI_LKP, 0, 9), y = port(12, 13);
    EXPECT_EQ(r.info.addRefNode(x.get()), 0);
    EXPECT_EQ(r.info.addRefNode(call.get()), 0);
    EXPECT_EQ(r.info.addRefNode(y.get()), 0);
    EXPECT_EQ(nodes(r.info), (std::vector<const XNode*>{call.get(), x.get(), y.get()}));
    EXPECT_EQ(spans(r.info), (std::vector<std::pair<int, int>>{{5, 6}, {7, 8}, {12, 13}}));
}

TEST(XExprStrInfoRefListTest, NestedAndLaterWidgetCallsKeepTheListOrderedByBegin) {
    // x + :LKP.A(:SP.B(c)) + z: post-order x, c, B, A, z.
    Record r("x + :LKP.A(:SP.B(c)) + z");
    NodePtr x = port(0, 1), c = port(17, 18), b = widget(eXNI_SP, 11, 19), a = widget(eXNI_LKP, 4, 20),
            z = port(23, 24);
    for (const XNode* node : {x.get(), c.get(), b.get(), a.get(), z.get()})
        EXPECT_EQ(r.info.addRefNode(node), 0);
    EXPECT_EQ(nodes(r.info), (std::vector<const XNode*>{x.get(), a.get(), b.get(), c.get(), z.get()}));
    EXPECT_EQ(spans(r.info), (std::vector<std::pair<int, int>>{{0, 1}, {9, 10}, {15, 16}, {17, 18}, {23, 24}}));
}

TEST(XExprStrInfoRefListTest, WidgetCallWithoutAParenthesisIsNotRecorded) {
    Record r(":LKP.L");
    NodePtr call = widget(eXNI_LKP, 0, 6);
    EXPECT_EQ(r.info.insertWidgetRefNode(call.get()), -1);
    EXPECT_TRUE(r.info.getRefList().isEmpty());
}

TEST(XExprStrInfoRefListTest, OnlyWidgetReferencesAreInsertedDirectly) {
    Record r("a");
    NodePtr a = port(0, 1);
    EXPECT_EQ(r.info.insertWidgetRefNode(a.get()), -1);
    EXPECT_EQ(r.info.insertWidgetRefNode(nullptr), -1);
    EXPECT_TRUE(r.info.getRefList().isEmpty());
}

TEST(XExprStrInfoRefListTest, SwitchedOffWidgetCollectionRecordsNoCalls) {
    Record r(":LKP.L(x)");
    NodePtr call = widget(eXNI_LKP, 0, 9), x = port(7, 8);
    r.info.disableCollectingWidgetRef();
    EXPECT_EQ(r.info.hasWidgetRef(), 0);
    EXPECT_EQ(r.info.insertWidgetRefNode(call.get()), 0);
    EXPECT_EQ(r.info.addRefNode(call.get()), 0);
    EXPECT_EQ(r.info.addRefNode(x.get()), 0);
    EXPECT_EQ(nodes(r.info), (std::vector<const XNode*>{x.get()}));
}

TEST(XExprStrInfoRefListTest, ClearNeedsTheListsType) {
    Record r("a + b");
    NodePtr a = port(0, 1);
    r.info.addRefNode(a.get());
    EXPECT_EQ(r.info.clearRefList(eXRIT_OWNED), -1);
    EXPECT_EQ(r.info.getRefList().entries(), 1u);
    EXPECT_EQ(r.info.clearRefList(eXRIT_NODE), 0);
    EXPECT_TRUE(r.info.getRefList().isEmpty());
    EXPECT_EQ(r.info.addRefNode(a.get()), 0);  // a fresh start
}

// ---- widget names ----

struct WidgetSpanCase {
    const char* text;
    int nodeBegin, nodeEnd;
    int tokenBegin, tokenEnd;  // -1: no token
    int nameBegin;
};

class WidgetSpanTest : public ::testing::TestWithParam<WidgetSpanCase> {};

TEST_P(WidgetSpanTest, TokenRunsToTheParenthesisAndNameFollowsTheLastPeriod) {
    const WidgetSpanCase& c = GetParam();
    Record r(c.text);
    NodePtr call = widget(eXNI_LKP, c.nodeBegin, c.nodeEnd);
    int b = -9, e = -9;
    if (c.tokenBegin < 0) {
        EXPECT_EQ(r.info.getWidgetTokenBeginEnd(call.get(), b, e), -1);
        EXPECT_EQ(r.info.getWidgetNameBeginEnd(call.get(), b, e), -1);
        return;
    }
    ASSERT_EQ(r.info.getWidgetTokenBeginEnd(call.get(), b, e), 0);
    EXPECT_EQ(b, c.tokenBegin);
    EXPECT_EQ(e, c.tokenEnd);
    ASSERT_EQ(r.info.getWidgetNameBeginEnd(call.get(), b, e), 0);
    EXPECT_EQ(b, c.nameBegin);
    EXPECT_EQ(e, c.tokenEnd);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WidgetSpanTest,
    ::testing::Values(WidgetSpanCase{":LKP.MyLookup(a)", 0, 16, 0, 13, 5},
                      WidgetSpanCase{"x + :EXT.a.b(1)", 4, 15, 4, 12, 11},
                      WidgetSpanCase{"udf(1)", 0, 6, 0, 3, 0},
                      WidgetSpanCase{"( \t:SP.P(1)", 0, 11, 3, 8, 7},
                      WidgetSpanCase{":SP.P ", 0, 6, -1, -1, -1},      // no "("
                      WidgetSpanCase{":SP.P(1)", 0, 5, -1, -1, -1},    // "(" past the node
                      WidgetSpanCase{"((((", 0, 4, -1, -1, -1},        // nothing but "("
                      WidgetSpanCase{":SP.P(1)", -1, 8, -1, -1, -1},   // no begin
                      WidgetSpanCase{":SP.P(1)", 0, 40, -1, -1, -1})); // beyond the text

// ---- converted lists ----

// A caller's entry: the node's span moved by an offset; counts live objects.
class ShiftedRef : public XRefInfo {
public:
    ShiftedRef(int begin, int end, int* live) : m_begin(begin), m_end(end), m_live(live) { ++*m_live; }
    ~ShiftedRef() override { --*m_live; }
    int getPosBeginEnd(XExprStrInfo*, EXRefInfoType, int& begin, int& end) const override {
        begin = m_begin;
        end = m_end;
        return 0;
    }

private:
    int m_begin, m_end;
    int* m_live;
};

class ShiftConverter : public XRefInfoConverter {
public:
    ShiftConverter(EXRefInfoType type, int offset, int* live, std::vector<ShiftedRef*>* made = nullptr)
        : m_type(type), m_offset(offset), m_live(live), m_made(made) {}
    EXRefInfoType getNewRefInfoType() const override { return m_type; }
    void convertRefInfo(XExprStrInfo* info, XRefInfo* entry, EXRefInfoType curType) const override {
        int b = 0, e = 0;
        entry->getPosBeginEnd(info, curType, b, e);
        ShiftedRef* held = new ShiftedRef(b + m_offset, e + m_offset, m_live);
        if (m_made) m_made->push_back(held);
        entry->setHeldRefInfo(held);
    }

private:
    EXRefInfoType m_type;
    int m_offset;
    int* m_live;
    std::vector<ShiftedRef*>* m_made;
};

TEST(XExprStrInfoConvertTest, ConvertedEntriesAnswerWithTheCallersPositions) {
    int live = 0;
    {
        Record r(":LKP.L(x) + y");
        NodePtr x = port(7, 8), call = widget(eXNI_LKP, 0, 9), y = port(12, 13);
        for (const XNode* node : {x.get(), call.get(), y.get()}) r.info.addRefNode(node);
        EXPECT_EQ(r.info.convertRefInfos(ShiftConverter(eXRIT_OWNED, 100, &live)), 0);
        EXPECT_EQ(r.info.getRefInfoType(), eXRIT_OWNED);
        EXPECT_EQ(live, 3);
        EXPECT_EQ(spans(r.info), (std::vector<std::pair<int, int>>{{105, 106}, {107, 108}, {112, 113}}));
    }
    EXPECT_EQ(live, 0);  // the owned objects went with the record
}

TEST(XExprStrInfoConvertTest, ConvertedListRefusesNodesAndClearsOnlyUnderItsType) {
    int live = 0;
    Record r("a + :LKP.L(b)");
    NodePtr a = port(0, 1), call = widget(eXNI_LKP, 4, 13);
    r.info.addRefNode(a.get());
    r.info.convertRefInfos(ShiftConverter(eXRIT_OWNED, 0, &live));
    EXPECT_EQ(r.info.addRefNode(a.get()), -1);
    EXPECT_EQ(r.info.insertWidgetRefNode(call.get()), -1);
    EXPECT_EQ(r.info.getRefList().entries(), 1u);
    EXPECT_EQ(r.info.clearRefList(eXRIT_NODE), -1);
    EXPECT_EQ(live, 1);
    EXPECT_EQ(r.info.clearRefList(eXRIT_OWNED), 0);
    EXPECT_EQ(live, 0);
    EXPECT_TRUE(r.info.getRefList().isEmpty());
    EXPECT_EQ(r.info.addRefNode(a.get()), -1);  // still converted
}

TEST(XExprStrInfoConvertTest, EntriesOfOtherTypesStayTheCallers) {
    int live = 0;
    std::vector<ShiftedRef*> made;
    {
        Record r("a");
        NodePtr a = port(0, 1);
        r.info.addRefNode(a.get());
        r.info.convertRefInfos(ShiftConverter(static_cast<EXRefInfoType>(7), 0, &live, &made));
        EXPECT_EQ(r.info.clearRefList(static_cast<EXRefInfoType>(7)), 0);
    }
    EXPECT_EQ(live, 1);
    for (ShiftedRef* held : made) delete held;
    EXPECT_EQ(live, 0);
}

TEST(XRefInfoTest, ValueSemanticsComparePointers) {
    NodePtr a = port(0, 1), b = port(2, 3);
    XRefInfo none, ra(a.get()), rb(b.get());
    XRefInfo copy = ra;
    EXPECT_TRUE(copy == ra);
    EXPECT_FALSE(ra == rb);
    EXPECT_EQ(none.getNode(), nullptr);
    int begin = 0, end = 0;
    EXPECT_EQ(none.getPosBeginEnd(nullptr, eXRIT_NODE, begin, end), -1);
    EXPECT_EQ(none.getPosBeginEnd(nullptr, eXRIT_OWNED, begin, end), -1);
    // An entry converted into itself cannot answer.
    none.setHeldRefInfo(&none);
    EXPECT_EQ(none.getPosBeginEnd(nullptr, eXRIT_OWNED, begin, end), -1);
}

// ---- rewriting ----

// Renames references by their text; asks are recorded.
class RenameReplacer : public XRefReplacer {
public:
    RenameReplacer(XExprStrInfo& info, std::map<std::string, std::string> renames)
        : m_info(info), m_renames(std::move(renames)) {}
    int getReplacement(XRefInfo* ref, EXRefInfoType type, QvUString& newText, int& replace) const override {
        int b = 0, e = 0;
        ref->getPosBeginEnd(&m_info, type, b, e);
        const std::string name = utf8(m_info.getCurExpr() + b, e - b);
        asked.push_back(name);
        if (name == m_refuse) return 1;
        auto it = m_renames.find(name);
        if (it != m_renames.end()) {
            newText = qvU(it->second);
            replace = 1;
        }
        return 0;
    }
    int isWidgetRefRequired() const override { return m_widgetRefRequired; }

    mutable std::vector<std::string> asked;
    std::string m_refuse;
    int m_widgetRefRequired = 0;

private:
    XExprStrInfo& m_info;
    std::map<std::string, std::string> m_renames;
};

std::string rewrite(XExprStrInfo& info, const XRefReplacer& replacer, int* rc = nullptr) {
    QvUString out = qvU("stale");
    const int result = info.getExprWithRefReplaced(out, replacer);
    if (rc) *rc = result;
    return out.toUtf8();
}

// "a + b -- note\n + :LKP.L(c)" with all four references recorded.
struct Sample : Record {
    Sample() : Record("a + b -- note\n + :LKP.L(c)") {
        for (const XNode* node : {a.get(), b.get(), c.get(), call.get()}) info.addRefNode(node);
    }
    NodePtr a = port(0, 1), b = port(4, 5), c = port(24, 25), call = widget(eXNI_LKP, 17, 26);
};

TEST(XExprStrInfoRewriteTest, NothingRenamedGivesTheTextBackAsWritten) {
    Sample s;
    RenameReplacer replacer(s.info, {});
    int rc = -9;
    EXPECT_EQ(rewrite(s.info, replacer, &rc), "a + b -- note\n + :LKP.L(c)");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(replacer.asked, (std::vector<std::string>{"a", "b", "L", "c"}));
}

TEST(XExprStrInfoRewriteTest, TextWithoutReferencesComesBackUnchanged) {
    Record r("  1 +\t2 // c");
    RenameReplacer replacer(r.info, {{"1", "x"}});
    EXPECT_EQ(rewrite(r.info, replacer), "  1 +\t2 // c");
    EXPECT_TRUE(replacer.asked.empty());
}

TEST(XExprStrInfoRewriteTest, RenamesShiftTheRestButNotTheTreePositions) {
    Sample s;
    RenameReplacer replacer(s.info, {{"a", "alpha"}, {"L", "Lookup2"}, {"c", ""}});
    EXPECT_EQ(rewrite(s.info, replacer), "alpha + b -- note\n + :LKP.Lookup2()");
    EXPECT_EQ(s.b->getPosBegin().toInteger(), 4);
    EXPECT_EQ(s.call->getPosEnd().toInteger(), 26);
    EXPECT_EQ(utf8(s.info.getCurExpr(), 5), "a + b");
}

TEST(XExprStrInfoRewriteTest, SpanLeavesOutReferencesOutsideIt) {
    Sample s;
    RenameReplacer replacer(s.info, {{"a", "A"}, {"b", "B"}, {"c", "C"}});
    QvUString out;
    EXPECT_EQ(s.info.getExprWithRefReplaced(out, replacer, 2, 16), 0);
    EXPECT_EQ(out.toUtf8(), "+ B -- note\n +");
    EXPECT_EQ(replacer.asked, (std::vector<std::string>{"b"}));
}

TEST(XExprStrInfoRewriteTest, SpanOutsideTheTextFails) {
    Sample s;
    RenameReplacer replacer(s.info, {});
    QvUString out;
    EXPECT_EQ(s.info.getExprWithRefReplaced(out, replacer, -1, 3), -1);
    EXPECT_EQ(s.info.getExprWithRefReplaced(out, replacer, 4, 3), -1);
    EXPECT_EQ(s.info.getExprWithRefReplaced(out, replacer, 0, 27), -1);
    EXPECT_EQ(s.info.getExprWithRefReplaced(out, replacer, 25, 25), 0);
    EXPECT_EQ(out.toUtf8(), "");
}

TEST(XExprStrInfoRewriteTest, RefusedReferenceFailsTheRewrite) {
    Sample s;
    RenameReplacer replacer(s.info, {{"a", "A"}});
    replacer.m_refuse = "L";
    int rc = 0;
    rewrite(s.info, replacer, &rc);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(replacer.asked, (std::vector<std::string>{"a", "b", "L"}));
}

TEST(XExprStrInfoRewriteTest, PreconditionIsAskedOnlyWithoutWidgetReferences) {
    Sample s;
    RenameReplacer replacer(s.info, {{"b", "B"}});
    replacer.m_widgetRefRequired = 1;
    EXPECT_EQ(rewrite(s.info, replacer), "a + B -- note\n + :LKP.L(c)");
    s.info.disableCollectingWidgetRef();
    int rc = 0;
    rewrite(s.info, replacer, &rc);
    EXPECT_EQ(rc, -1);
    replacer.m_widgetRefRequired = 0;
    EXPECT_EQ(rewrite(s.info, replacer, &rc), "a + B -- note\n + :LKP.L(c)");
    EXPECT_EQ(rc, 0);
}

TEST(XExprStrInfoRewriteTest, OverlappingEntriesAreNotCopiedTwice) {
    Record r("a + b");
    NodePtr ab = port(0, 5), b = port(4, 5);
    r.info.addRefNode(ab.get());
    EXPECT_EQ(r.info.addRefNode(b.get()), -1);
    RenameReplacer replacer(r.info, {{"a + b", "x"}, {"b", "y"}});
    EXPECT_EQ(rewrite(r.info, replacer), "x");
}

TEST(XExprStrInfoRewriteTest, ConvertedListRewritesAtTheCallersPositions) {
    int live = 0;
    Record r("a + b");
    NodePtr b = port(4, 5);
    r.info.addRefNode(b.get());
    r.info.convertRefInfos(ShiftConverter(eXRIT_OWNED, -4, &live));  // b now claims "a"
    RenameReplacer replacer(r.info, {{"a", "Z"}});
    EXPECT_EQ(rewrite(r.info, replacer), "Z + b");
}

TEST(XExprStrInfoRewriteTest, TreeRewritesThroughItsRecord) {
    const QvUString text = qvU("p + q");
    XNodeOpt* plus = XNodeOpt::create(eXNI_PLUS, 0, 5);
    XNode* p = XNodeRef::create(eXNI_PORTVAR, nullptr, 0, 1);
    XNode* q = XNodeRef::create(eXNI_PORTVAR, nullptr, 4, 5);
    plus->appendChildNode(p);
    plus->appendChildNode(q);
    std::unique_ptr<XTree> tree(XTree::create(plus, text.getBuffer(), 0, 0));
    ASSERT_NE(tree, nullptr);
    tree->getExprStrInfo()->addRefNode(p);
    tree->getExprStrInfo()->addRefNode(q);
    RenameReplacer replacer(*tree->getExprStrInfo(), {{"q", "quantity"}});
    QvUString out;
    EXPECT_EQ(tree->getExprWithRefReplaced(out, replacer), 0);
    EXPECT_EQ(out.toUtf8(), "p + quantity");
    std::unique_ptr<XExprStrInfo> taken(tree->removeExprStrInfo());
    EXPECT_EQ(tree->getExprWithRefReplaced(out, replacer), -1);
}

// ---- the text of a node ----

struct Token {
    int rc = -9;
    std::string text;
    int owned = -9;
};

Token tokenOf(const XExprStrInfo& info, const XNode* node) {
    Token t;
    const unsigned short* text = nullptr;
    int length = -9;
    t.rc = info.getNodeToken(node, text, length, t.owned);
    if (t.rc == 0) t.text = utf8(text, length);
    if (t.rc == 0 && t.owned) delete[] text;
    return t;
}

void expectToken(const Token& t, const std::string& text, int owned) {
    EXPECT_EQ(t.rc, 0);
    EXPECT_EQ(t.text, text);
    EXPECT_EQ(t.owned, owned);
}

TEST(XExprStrInfoNodeTokenTest, FixedSpellingWinsOverTheText) {
    Record r("a  +  b");
    NodePtr plus(XNodeOpt::create(eXNI_PLUS, 0, 7));
    NodePtr substr(XNodeOpt::create(eXNI_SUBSTR, 0, 7));
    NodePtr sysdate(XNodeKeyword::create(eXNI_SYSDATE, -1, -1));
    expectToken(tokenOf(r.info, plus.get()), "+", 0);
    expectToken(tokenOf(r.info, substr.get()), "SUBSTR", 0);
    expectToken(tokenOf(r.info, sysdate.get()), "SYSDATE", 0);
}

TEST(XExprStrInfoNodeTokenTest, ReferencesAndKindsWithoutSpellingUseTheirSliceAsWritten) {
    Record r("Port_1 + x.y");
    NodePtr p = port(0, 6);
    NodePtr qualified(XNodeRef::create(eXNI_QUALIFIEDPORTVAR, nullptr, 9, 12));
    NodePtr dot(XNodeOpt::create(eXNI_FUNC_START, 9, 12));  // a kind with no display row
    expectToken(tokenOf(r.info, p.get()), "Port_1", 0);
    expectToken(tokenOf(r.info, qualified.get()), "x.y", 0);
    expectToken(tokenOf(r.info, dot.get()), "x.y", 0);
    NodePtr unplaced(XNodeOpt::create(eXNI_FUNC_START, -1, -1));
    EXPECT_EQ(tokenOf(r.info, unplaced.get()).rc, -1);
}

TEST(XExprStrInfoNodeTokenTest, WidgetReferenceGivesItsWholeName) {
    Record r("1 + :LKP.MyLookup( a )");
    NodePtr call = widget(eXNI_LKP, 4, 22), ext = widget(eXNI_EXTFUNC, 4, 22);
    expectToken(tokenOf(r.info, call.get()), ":LKP.MyLookup", 0);
    expectToken(tokenOf(r.info, ext.get()), ":LKP.MyLookup", 0);
    NodePtr broken = widget(eXNI_LKP, 4, 10);  // no "(" inside: no fallback to the slice
    EXPECT_EQ(tokenOf(r.info, broken.get()).rc, -1);
}

TEST(XExprStrInfoNodeTokenTest, ConstantUsesItsSliceOrElseItsPrintedValue) {
    Record r("0x + 42");
    NodePtr placed = XNodeConstTestAccess::make(42, 5, 7, eXDT_INT);
    expectToken(tokenOf(r.info, placed.get()), "42", 0);
    NodePtr unplaced = XNodeConstTestAccess::make(-17, -1, -1, eXDT_INT);
    expectToken(tokenOf(r.info, unplaced.get()), "-17", 1);
    NodePtr big = XNodeConstTestAccess::make(1234567890123LL, -1, -1, eXDT_BIGINT);
    expectToken(tokenOf(r.info, big.get()), "1234567890123", 1);
}

TEST(XExprStrInfoNodeTokenTest, StringConstantWithoutSliceIsPrintedQuoted) {
    XExprStrInfo info;  // no text at all
    NodePtr narrow = XNodeConstTestAccess::make(QvtStr<char>("abc", 3), -1, -1, eXDT_STRING);
    narrow->setNumCharsMax(3);
    expectToken(tokenOf(info, narrow.get()), "'abc'", 1);
    const QvUString wideText = qvU("d\xC3\xA9j\xC3\xA0");
    NodePtr wide = XNodeConstTestAccess::make(
        QvtStr<unsigned short>(wideText.getBuffer(), static_cast<int>(wideText.length())), -1, -1,
        eXDT_UNISTRING);
    wide->setNumCharsMax(4);
    expectToken(tokenOf(info, wide.get()), "'d\xC3\xA9j\xC3\xA0'", 1);
}

TEST(XExprStrInfoNodeTokenTest, NullConstantWithoutSliceHasNoText) {
    XExprStrInfo info;
    NodePtr null = XNodeConstTestAccess::make(5, -1, -1, eXDT_INT);
    static_cast<XNodeConst<int>*>(null.get())->getIndRef() = -1;
    EXPECT_EQ(tokenOf(info, null.get()).rc, -1);
    EXPECT_EQ(tokenOf(info, nullptr).rc, -1);
}

TEST(XExprStrInfoNodeTokenTest, SliceBeyondTheTextFallsBackToTheValue) {
    Record r("1");
    NodePtr p = port(0, 5);
    EXPECT_EQ(tokenOf(r.info, p.get()).rc, -1);
    NodePtr constant = XNodeConstTestAccess::make(7, 0, 5, eXDT_INT);
    expectToken(tokenOf(r.info, constant.get()), "7", 1);
}

TEST(XExprStrInfoNodeTokenTest, TokensComeFromTheCurrentText) {
    Record r("a + b");
    r.info.updateCurExpr(qvU("(alpha + b)").getBufferCopy(), 1);  // owned: freed by the record
    NodePtr p = port(1, 6);
    expectToken(tokenOf(r.info, p.get()), "alpha", 0);
    r.info.updateCurExpr(qvU("zeta").getBufferCopy(), 1);  // frees the previous owned text
    NodePtr z = port(0, 4);
    expectToken(tokenOf(r.info, z.get()), "zeta", 0);
    EXPECT_EQ(utf8(r.info.getOrigExpr(), 5), "a + b");
}

}  // namespace
