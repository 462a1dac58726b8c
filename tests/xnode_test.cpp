// Syntax-tree nodes: group predicates, creation rules, positions, child
// lists and what a node frees when it dies.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xenum.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xtoken.h"
#include "xalloccount.h"
#include "xrecordtext.h"

namespace {

using xtestsupport::answers;

EXNodeId kind(int number) { return static_cast<EXNodeId>(number); }

const XNonNegInt kNoChange(static_cast<int>(eXMINT_NOCHANGE));

template <class T>
std::unique_ptr<T> own(T* node) { return std::unique_ptr<T>(node); }

std::unique_ptr<XNodeOpt> opt(EXNodeId id, int begin = 0, int end = 0) { return own(XNodeOpt::create(id, begin, end)); }

auto keyword(EXNodeId id = eXNI_SYSDATE, int b = 0) { return own(XNodeKeyword::create(id, b, 7)); }

// ---- kinds ----

TEST(XNodeKindTest, KindsWithoutANamePrintAsUnknown) {
    for (int number : {27, 81, 82, 164, -1, 1000})
        EXPECT_TRUE(XEnum::isUnknownEnumStr(XNode::idToString(kind(number)))) << number;
    EXPECT_EQ(std::string(XNode::idToString(eXNI_PLUS)) + XNode::idToString(eXNI_DUMMYTAIL) + opt(eXNI_IIF)->idToString(),
              "PLUSDUMMYTAILIIF");
}

// Each group predicate, static and member, and the kinds it holds for.
const struct Predicate { const char* name; int (*stc)(EXNodeId); int (XNode::*member)() const; const char* ranges; }
    kPredicates[] = {
    {"isConstNode", &XNode::stc_isConstNode, &XNode::isConstNode, "2-21"},
    {"isWflowConst", &XNode::stc_isWflowConst, &XNode::isWflowConst, "15-21"},
    {"isRefNode", &XNode::stc_isRefNode, &XNode::isRefNode, "23-28"},
    {"isWidgetNode", &XNode::stc_isWidgetNode, &XNode::isWidgetNode, "30-35"},
    {"isKeywordNode", &XNode::stc_isKeywordNode, &XNode::isKeywordNode, "37-42"},
    {"isOptNode", &XNode::stc_isOptNode, &XNode::isOptNode, "44-160"},
    {"isCondExecOpt", &XNode::stc_isCondExecOpt, &XNode::isCondExecOpt, "69-95"},
    {"isFuncOpt", &XNode::stc_isFuncOpt, &XNode::isFuncOpt, "72-160"},
    {"isFilterOpt", &XNode::stc_isFilterOpt, &XNode::isFilterOpt, "75-95"},
    {"isAggOpt", &XNode::stc_isAggOpt, &XNode::isAggOpt, "79-95"},
    {"isMathOpt", &XNode::stc_isMathOpt, &XNode::isMathOpt, "150-160"},
    {"isParentNode", &XNode::stc_isParentNode, &XNode::isParentNode, "30-35 44-160"},
    {"isExtFuncNode", &XNode::stc_isExtFuncNode, &XNode::isExtFuncNode, "30-30"},
    {"isMacroNode", &XNode::stc_isMacroNode, &XNode::isMacroNode, "33-33"},
    {"isNestedPortRefNode", &XNode::stc_isNestedPortRefNode, &XNode::isNestedPortRefNode, "26-26"},
    {"isNullNode", &XNode::stc_isNullNode, &XNode::isNullNode, "37-37"},
    {"isDummyParentOfRoot", &XNode::stc_isDummyParentOfRoot, &XNode::isDummyParentOfRoot, "71-71"},
};

// The runs of kinds -1..164 a test holds for, as "lo-hi lo-hi".
template <class Holds>
std::string rangesWhere(Holds holds) {
    std::string out;
    for (int number = -1; number <= 164; ++number) {
        if (!holds(number) || (number > -1 && holds(number - 1))) continue;
        int last = number;
        while (last < 164 && holds(last + 1)) ++last;
        out += (out.empty() ? "" : " ") + std::to_string(number) + "-" + std::to_string(last);
    }
    return out;
}

TEST(XNodeKindTest, EveryPredicateHoldsExactlyOnItsRangesInBothForms) {
    auto node = opt(eXNI_PLUS);
    for (const Predicate& p : kPredicates) {
        EXPECT_EQ(rangesWhere([&](int n) { return p.stc(kind(n)) == 1; }), p.ranges) << p.name;
        const auto member = [&](int n) { return node->changeId(kind(n)), (node.get()->*p.member)() == 1; };
        EXPECT_EQ(rangesWhere(member), p.ranges) << p.name;
    }
}

// ---- creation ----

// An operator: kind, positions, a plain record, a child list. A keyword: a
// dummy scale, and neither a child list, children nor a value.
TEST(XNodeCreateTest, OperatorsAndKeywordsCarryKindPositionsAndAFreshRecord) {
    auto node = opt(eXNI_PLUS, 3, 9);
    auto word = keyword(eXNI_SESSSTARTTIME);
    EXPECT_EQ(answers({node->getId(), node->getPosBegin().toInteger(), node->getPosEnd().toInteger(),
                       node->getMetadataConstPtr()->getClassId(), node->getChildrenV() != nullptr,
                       word->getScale().toInteger(), word->getChildrenV() != nullptr, word->getNumChildrenB(),
                       word->getDataPtr() != nullptr, word->getIndPtr() != nullptr, word->isValueAvailable()}),
              answers({eXNI_PLUS, 3, 9, XMetadata::cls_classId, 1, eXMINT_DUMMY, 0, 0, 0, 0, 0}));
}

// The null node carries the normalised type; the string type of the
// server's mode has no characters, the 8-bit one has no Unicode equivalent.
TEST(XNodeCreateTest, NullNodeTypes) {
    const int previous = qvSetServerModeASCII(0);
    auto null = own(XNodeKeyword::createNullNode(0, 0, XType(eXDT_NULL)));
    auto unicode = own(XNodeKeyword::createNullNode(1, 5, XType(eXDT_UNISTRING)));
    auto other = own(XNodeKeyword::createNullNode(1, 5, XType(eXDT_STRING)));
    qvSetServerModeASCII(1);
    auto ascii = own(XNodeKeyword::createNullNode(1, 5, XType(eXDT_STRING)));
    qvSetServerModeASCII(previous);
    const std::pair<const XNode*, std::pair<int, int>> cases[] = {
        {null.get(), {eXDT_NULL, eXMINT_DUMMY}},
        {ascii.get(), {eXDT_STRING, 0}},
        {unicode.get(), {eXDT_UNISTRING, 0}},
        {other.get(), {eXMINT_INVALID, eXMINT_DUMMY}}};
    for (const auto& [node, expected] : cases)
        EXPECT_EQ(answers({node->getId(), node->getDataType().toInteger(), node->getNumCharsMax().toInteger()}),
                  answers({eXNI_NULL, expected.first, expected.second}));
}

TEST(XNodeCreateTest, ReferenceRecordFollowsTheKind) {
    const std::pair<EXNodeId, int> cases[] = {
        {eXNI_PORTVAR, XMetadataPort::cls_classId},
        {eXNI_MAPVAR, XMetadataMapVar::cls_classId},
        {eXNI_WFVAR, XMetadataWorkflowVar::cls_classId},
        {eXNI_NESTEDPORTREF, 0}};  // any other kind: no reference
    XTokName name(qvU("a"), 1, nullptr);
    for (const auto& [id, classId] : cases) {
        auto node = own(XNodeRef::create(id, &name, 2, 3));
        EXPECT_EQ(node ? node->getMetadataConstPtr()->getClassId() : 0, classId) << id;
        if (node) { EXPECT_EQ(node->getTokName(), &name); }
    }
}

// A name chain built from its components, left to right; the head is the
// last one built (null for none).
struct Chain : std::vector<std::unique_ptr<XTokName>> {
    explicit Chain(std::vector<const char*> parts) {
        for (auto it = parts.rbegin(); it != parts.rend(); ++it)
            emplace_back(new XTokName(qvU(*it), static_cast<int>(size()) + 1, head()));
    }
    XTokName* head() const { return empty() ? nullptr : back().get(); }
};

TEST(XNodeCreateTest, WidgetKindFollowsQualifierAndName) {
    const std::pair<std::vector<const char*>, EXNodeId> cases[] = {
        {{}, eXNI_LOOKUP},
        {{":SP", "proc"}, eXNI_SP},
        {{":LKP", "lkp"}, eXNI_LKP},
        {{":Ext", "ep"}, eXNI_EXT},  // any case
        {{":LKPX", "x"}, eXNI_NONE},  // a qualifier is matched whole, not as a prefix
        {{":LKP", "a", "b"}, eXNI_NONE},  // the qualifier is second from last
        {{":uDf.x"}, eXNI_MACRO},
        {{":UDF."}, eXNI_MACRO},
        {{":UDFx"}, eXNI_EXTFUNC},
    };
    for (const auto& [parts, expected] : cases) {
        Chain chain(parts);
        auto node = own(XNodeWidget::create(chain.head(), 4, 20));
        EXPECT_EQ(node ? node->getId() : eXNI_NONE, expected) << (parts.empty() ? "<none>" : parts.front());
        EXPECT_TRUE(!node || (node->getTokName() == chain.head() && node->isParentNode() &&
                              node->getMetadataConstPtr()->isClass(XMetadataWidget::cls_classId)));
    }
}

TEST(XNodeCreateTest, PercentileNodesCarryTheirLinks) {
    auto detached = own(XNodePercDetached::createPercDetachedNode(12));
    auto ref = own(XNodePercRef::createPercRefNode(detached.get()));
    EXPECT_EQ(answers({detached->getId(), detached->getPosBegin().toInteger(), detached->getPosEnd().toInteger(),
                      detached->getProgramPtrRef() != nullptr, ref->getId(), ref->getPosBegin().toInteger(),
                      ref->getPosEnd().toInteger(), ref->getPercDetached() == detached.get()}),
              answers({eXNI_PERCDETACHED, 12, eXMINT_DUMMY, 0, eXNI_PERCREF, eXMINT_DUMMY, eXMINT_DUMMY, 1}));
}

// ---- positions ----

TEST(XNodePositionTest, NoChangeSentinelAndTheOriginalBeginBesideTheAttachments) {
    auto node = opt(eXNI_PLUS, 4, 8);
    auto positions = [&node] {
        return answers({node->getPosBegin().toInteger(), node->getPosEnd().toInteger(), node->getPosOrigBegin().toInteger()});
    };
    EXPECT_EQ(positions(), "4 8 4");  // nothing saved yet
    node->updatePosBeginEnd(kNoChange, 20, 0);
    EXPECT_EQ(positions(), "4 20 4");
    node->updatePosBeginEnd(10, kNoChange, 0);
    EXPECT_EQ(positions(), "10 20 10");
    node->updatePosBeginEnd(12, kNoChange, 1);  // saves the begin once
    node->updatePosBeginEnd(14, 30, 1);
    EXPECT_EQ(positions(), "14 30 10");
    // The original begin shares a record with the caller's attachments: each
    // must answer for itself whichever came first.
    int caller = 1;
    node = opt(eXNI_PLUS, 4, 8);
    node->setOptInfoPtr(reinterpret_cast<XNodeOptInfo*>(&caller), nullptr);
    node->updatePosBeginEnd(12, kNoChange, 1);
    EXPECT_TRUE(node->getPosOrigBegin().toInteger() == 4 && node->getSrvInfoPtr() == nullptr &&
                node->getOptInfoPtr() == reinterpret_cast<XNodeOptInfo*>(&caller));
    auto other = keyword();
    other->updatePosBeginEnd(3, kNoChange, 1);
    other->setSrvInfoPtr(reinterpret_cast<XNodeSrvInfo*>(&caller), nullptr);
    EXPECT_TRUE(other->getPosOrigBegin().toInteger() == 0 && !other->getOptInfoPtr() &&
                other->getSrvInfoPtr() == reinterpret_cast<XNodeSrvInfo*>(&caller));
}

// ---- child lists ----

// DECODE with children a, b, c; s is a stranger and r a spare node. Nodes
// are named by their begin position (0 is a, 1 is b ...).
char nameOf(const XNode* n, char none) { return n ? static_cast<char>('a' + n->getPosBegin().toInteger()) : none; }

struct XNodeChildListTest : ::testing::Test {
    void SetUp() override {
        for (auto& child : children) ASSERT_EQ(parent->appendChildNode(child.get()), 0);
    }
    std::string slots() const {
        std::string out;
        for (int i = 0; i < parent->getNumChildren(); ++i) out += nameOf(parent->getChild(i), '_');
        return out;
    }

    std::unique_ptr<XNodeOpt> parent = opt(eXNI_DECODE);
    std::unique_ptr<XNodeKeyword> children[3] = {keyword(eXNI_SYSDATE, 0), keyword(eXNI_SYSDATE, 1),
                                                 keyword(eXNI_SYSDATE, 2)};
    std::unique_ptr<XNodeKeyword> stranger = keyword(eXNI_SYSDATE, 'r' - 'a');
    std::unique_ptr<XNodeKeyword> spare = keyword(eXNI_SYSDATE, 's' - 'a');
};

TEST_F(XNodeChildListTest, AdoptionAndIndexes) {
    auto first = keyword(eXNI_SYSDATE, 'f' - 'a');
    EXPECT_EQ(parent->prependChildNode(first.get()), 0);
    EXPECT_EQ(slots(), "fabc");
    EXPECT_TRUE(first->getParent() == parent.get() && parent->getChildB(3, 1) == children[2].get());
    EXPECT_EQ(answers({children[1]->getMyIndexInParent(), parent->getChild(4) != nullptr, parent->getChild(-1) != nullptr,
                       parent->getNumChildrenB(), parent->getChildB(7, 1) != nullptr,
                       parent->getChildIndex(stranger.get()), stranger->getMyIndexInParent()}),
              "2 0 0 4 0 -2 -2");
}

// Each step on the list, and the slots after it.
TEST_F(XNodeChildListTest, ReplacingAndRemovingChildren) {
    auto a = children[0].get(), b = children[1].get(), c = children[2].get(), r = stranger.get(), s = spare.get();
    auto lone = keyword(eXNI_SYSDATE, 'z' - 'a');
    const std::tuple<std::function<int()>, int, const char*> steps[] = {  // the step, its result, the slots after it
        {[&] { return parent->replaceChild(r, s); }, -1, "abc"},  // not a child
        {[&] { return parent->removeChild(r); }, -1, "abc"},
        {[&] { return parent->replaceRemovedChild(r); }, -1, "abc"},  // no empty slot yet
        {[&] { return parent->removeChild(b); }, 0, "a_c"},
        {[&] { return parent->removeChild(nullptr); }, -1, "a_c"},  // an empty slot is no child
        {[&] { return parent->replaceChild(nullptr, r); }, -1, "a_c"},
        {[&] { return parent->replaceRemovedChild(r); }, 0, "arc"},
        {[&] { return XNodeParent::stc_replaceChild(parent.get(), a, s); }, 0, "src"},
        {[&] { return c->replaceMeInParent(b); }, 0, "srb"},
        {[&] { return lone->replaceMeInParent(c); }, 0, "srb"},  // no parent: nothing to do
        {[&] { return parent->removeChild(s) + parent->removeChild(r); }, 0, "__b"},
        {[&] { return parent->replaceRemovedChild(a); }, 0, "a_b"},  // the first empty slot
        {[&] { parent->removeLastChild(); return 0; }, 0, "a_"},
        {[&] { parent->removeLastChild(); parent->removeLastChild(); parent->removeLastChild(); return 0; }, 0, ""},
    };
    for (const auto& [step, result, after] : steps) {
        const std::string got = std::to_string(step());  // before slots() reads the list
        EXPECT_EQ(got + slots(), std::to_string(result) + after);
    }
    EXPECT_TRUE(c->getParent() == parent.get() && c->getMyIndexInParent() == -2) << "a replaced child keeps its parent";
}

TEST_F(XNodeChildListTest, CursorWalksTheChildrenAndPassesOverEmptySlots) {
    parent->removeChild(children[1].get());
    XNode* node = parent.get();
    node->resetNextChild();
    // The current child, then each step and the current child after it.
    std::string walk(1, nameOf(parent->getCurChild(), '-'));
    for (int step = 0; step < 4; ++step) {
        walk += std::string(" ") + nameOf(node->nextChild(), '-');
        walk += nameOf(parent->getCurChild(), '-');
    }
    EXPECT_EQ(walk, "- aa cc -c -c");  // past the end the cursor stays on the last child
    node->resetNextChild();
    EXPECT_EQ(parent->getNextChild(), children[0].get());
    // A leaf answers as a leaf.
    XNode* leaf = children[0].get();
    leaf->resetNextChild();
    EXPECT_TRUE(leaf->nextChild() == nullptr && leaf->getChildB(0, 0) == nullptr);
    EXPECT_THROW(leaf->getChildB(0, 1), QvAssertFailure);
}

TEST(XNodeRelationTest, RootAndExternallyReferencedNodes) {
    auto dummy = opt(eXNI_FUNC_START), root = opt(eXNI_PLUS);
    auto operand = keyword(), argument = keyword();
    Chain name({":LKP", "lkp"});
    auto widget = own(XNodeWidget::create(name.head(), 0, 10));
    dummy->appendChildNode(root.get()), root->appendChildNode(operand.get()), widget->appendChildNode(argument.get());
    std::string answered;  // isRoot and isRefByExternal of each
    const XNode* nodes[] = {root.get(), operand.get(), argument.get(), widget.get(), dummy.get()};
    for (const XNode* node : nodes) answered += answers({node->isRoot(), node->isRefByExternal()}) + ",";
    EXPECT_EQ(answered, "1 1,0 0,0 1,0 0,0 0,");
}

TEST(XNodeCmnInfoTest, FieldsTakeTheSentinelsTogether) {
    XNodeCmnInfo info;
    auto fields = [&info] {
        return answers({info.getAggLevel().toInteger(), info.getOp().toInteger(), info.getAugType().toInteger(),
                        info.getConstness().toInteger(), info.getParentExpects().toInteger(),
                        info.getResultTypeIndicator().toInteger()});
    };
    auto six = [](int v) { return answers({v, v, v, v, v, v}); };
    info.setAllFieldsToDummy();
    EXPECT_EQ(fields(), six(eXMINT_DUMMY));
    info.setAllFieldsToNoChange();
    EXPECT_EQ(fields(), six(eXMINT_NOCHANGE));
}

// ---- what a node frees ----

int gSrvFreed = 0, gOptFreed = 0, gOwnedObjectsDeleted = 0;
int gFreedByDeleter[13];

template <int* Counter>
void freeCounted(void* p) { ++*Counter; delete static_cast<int*>(p); }
template <int N>
void freeActionNumbered(XVisitAction* a) { ++gFreedByDeleter[N]; delete reinterpret_cast<int*>(a); }
XVisitAction* newAction() { return reinterpret_cast<XVisitAction*>(new int(3)); }

TEST(XNodeOwnershipTest, NodeFreesItsAttachmentsAndActionOnceAndNotItsChildren) {
    gSrvFreed = gOptFreed = 0;
    std::fill(std::begin(gFreedByDeleter), std::end(gFreedByDeleter), 0);
    int caller = 5;
    auto child = keyword();
    {
        auto node = opt(eXNI_PLUS);
        node->appendChildNode(child.get());
        node->setSrvInfoPtr(reinterpret_cast<XNodeSrvInfo*>(&caller), nullptr);  // replaced, never freed
        node->setSrvInfoPtr(reinterpret_cast<XNodeSrvInfo*>(new int(1)), &freeCounted<&gSrvFreed>);
        node->setOptInfoPtr(reinterpret_cast<XNodeOptInfo*>(new int(2)), &freeCounted<&gOptFreed>);
        node->getCmnInfoPtr()->setVisitAction(newAction(), &freeActionNumbered<0>);
        auto unowned = keyword();
        unowned->setSrvInfoPtr(reinterpret_cast<XNodeSrvInfo*>(&caller), nullptr);
        EXPECT_EQ(gSrvFreed, 0);
    }
    EXPECT_EQ(answers({gSrvFreed, gOptFreed, gFreedByDeleter[0]}), "1 1 1");
    EXPECT_EQ(child->getId(), eXNI_SYSDATE);  // still alive
    // Deleting the action frees it, clears it, and a second time does nothing.
    XNodeCmnInfo* info = child->getCmnInfoPtr();
    info->setVisitAction(newAction(), &freeActionNumbered<0>);
    info->deleteVisitAction();
    const bool cleared = info->getVisitAction() == nullptr;
    info->deleteVisitAction();
    EXPECT_EQ(answers({gFreedByDeleter[0], cleared}), "2 1");
    EXPECT_THROW(info->setVisitAction(reinterpret_cast<XVisitAction*>(gFreedByDeleter), nullptr), QvAssertFailure);
    // An action is an object with a vtable; an address that cannot be one is
    // refused and nothing is stored.
    alignas(8) char storage[16] = {};
    EXPECT_THROW(info->setVisitAction(reinterpret_cast<XVisitAction*>(storage + 1), &freeActionNumbered<0>),
                 QvAssertFailure);
    EXPECT_EQ(info->getVisitAction(), nullptr);
}

// More kinds of action than the deleter table holds: every action is still
// freed by its own deleter, exactly once; a copy of the block shares the
// action and frees nothing.
TEST(XNodeOwnershipTest, EachActionGoesToItsOwnDeleter) {
    const auto deleters = []<int... N>(std::integer_sequence<int, N...>) {
        return std::array<XVisitActionDeleter, sizeof...(N)>{&freeActionNumbered<N>...};
    }(std::make_integer_sequence<int, 13>());
    std::fill(std::begin(gFreedByDeleter), std::end(gFreedByDeleter), 0);
    {
        std::vector<std::unique_ptr<XNode>> nodes;
        for (XVisitActionDeleter deleter : deleters)
            nodes.push_back(keyword()), nodes.back()->getCmnInfoPtr()->setVisitAction(newAction(), deleter);
        const XNodeCmnInfo copy = *nodes[12]->getCmnInfoConstPtr();
        EXPECT_EQ(copy.getVisitAction(), nodes[12]->getCmnInfoPtr()->getVisitAction());
        nodes[10]->getCmnInfoPtr()->deleteVisitAction();  // one freed early, through the node
        EXPECT_EQ(answers({gFreedByDeleter[10], gFreedByDeleter[12]}), "1 0");
    }
    EXPECT_EQ(std::count(std::begin(gFreedByDeleter), std::end(gFreedByDeleter), 1), 13);
}


// A call's record frees the caller's object it owns; records that took side
// fields (flags, host descriptors, an upgrade record, argument records)
// free them with their nodes (the sanitizer build reports a leak otherwise).
TEST(XNodeOwnershipTest, RecordsFreeWhatTheyOwn) {
    gOwnedObjectsDeleted = 0;
    int descriptor = 0;
    {
        auto widget = own(XNodeWidget::create(nullptr, 0, 10));
        auto* record = static_cast<XMetadataWidget*>(widget->getMetadataPtr());
        record->setRef(QvRef(new int(7)));
        record->setDeleteMetadataPtr(&freeCounted<&gOwnedObjectsDeleted>);
        ASSERT_EQ(answers({record->allocateArgMetadata(2), record->getNumArgs()}), "0 2");
        auto plain = opt(eXNI_PLUS);
        plain->getMetadataPtr()->setIsConst(1);
        plain->getMetadataPtr()->allocUgdInfo();
        auto port = own(XNodeRef::create(eXNI_PORTVAR, nullptr, 0, 3));
        port->getMetadataPtr()->setTypeAttrs(&descriptor);
        auto mapVar = own(XNodeRef::create(eXNI_MAPVAR, nullptr, 0, 3));
    }
    EXPECT_EQ(gOwnedObjectsDeleted, 1);
}

// ---- memory ----

// Nodes come in several block sizes and may die in any order, on any
// thread, also after the thread that made them has ended; each keeps its
// own record throughout (AddressSanitizer sees any overlap or early free).
std::vector<XNode*> makeMixedNodes(int count) {
    std::vector<XNode*> nodes;
    for (int i = 0; i < count; ++i) {
        const XNonNegInt b(i), e(i + 1);
        XNode* node = i % 4 == 0   ? static_cast<XNode*>(XNodeOpt::create(eXNI_PLUS, b, e))
                      : i % 4 == 1 ? static_cast<XNode*>(XNodeKeyword::create(eXNI_SYSDATE, b, e))
                      : i % 4 == 2 ? static_cast<XNode*>(XNodeRef::create(eXNI_MAPVAR, nullptr, b, e))
                                   : static_cast<XNode*>(XNodeWidget::create(nullptr, b, e));
        node->setScale(i);
        nodes.push_back(node);
    }
    return nodes;
}

void expectIntact(const std::vector<XNode*>& nodes) {
    for (size_t i = 0; i < nodes.size(); ++i)
        ASSERT_EQ(answers({nodes[i]->getPosBegin().toInteger(), nodes[i]->getScale().toInteger()}), answers({i, i}));
}

TEST(XNodeMemoryTest, NodesDieInAnyOrderOnAnyThreadAndEmptiedSlabsAreReusedOrFreed) {
    std::vector<XNode*> nodes = makeMixedNodes(3000);
    expectIntact(nodes);
    std::vector<XNode*> mine, theirs;
    for (size_t i = 0; i < nodes.size(); ++i) ((i * 7919) % 3 == 0 ? theirs : mine).push_back(nodes[i]);
    for (size_t i = mine.size(); i-- > 0;) delete mine[i];
    std::thread([&theirs] { for (XNode* node : theirs) delete node; }).join();

    std::thread([&nodes] { nodes = makeMixedNodes(500); }).join();
    expectIntact(nodes);
    std::vector<XNode*> more = makeMixedNodes(500);
    for (XNode* node : nodes) delete node;
    expectIntact(more);
    for (XNode* node : more) delete node;
    // Nodes made and freed one expression after another reuse the thread's
    // open slab; a slab the ended thread left to a live node goes with it.
    const size_t live = xalloccount::live;
    size_t bytes = 0;
    XNode* survivor = nullptr;
    std::thread([&] {
        bytes = xalloccount::measure([] {
            for (int i = 0; i < 1000; ++i) std::unique_ptr<XNode>(XNodeOpt::create(eXNI_PLUS, 0, 1)).reset();
        }).allocated;
        survivor = XNodeOpt::create(eXNI_PLUS, 0, 1);
    }).join();
    delete survivor;
    EXPECT_EQ(answers({bytes <= 2 * 16384, xalloccount::live.load() - live}), "1 0");
}

}  // namespace
