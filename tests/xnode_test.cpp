// Syntax-tree nodes: the kind table, group predicates, creation rules,
// positions, child lists and what a node frees when it dies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xenum.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xtoken.h"

namespace {

struct KindRow {
    int number;
    int enumerator;
    const char* name;
    int printed;
};

const KindRow kKinds[] = {
#define NODE_KIND(number, NAME, printed) {number, eXNI_##NAME, #NAME, printed},
#include "qvcmnexpr/xnodekinds.def"
};

EXNodeId kind(int number) { return static_cast<EXNodeId>(number); }

const XNonNegInt kNoChange(static_cast<int>(eXMINT_NOCHANGE));

template <class T>
std::unique_ptr<T> own(T* node) {
    return std::unique_ptr<T>(node);
}

std::unique_ptr<XNodeOpt> opt(EXNodeId id, int begin = 0, int end = 0) {
    return own(XNodeOpt::create(id, begin, end));
}

std::unique_ptr<XNodeKeyword> keyword(EXNodeId id = eXNI_SYSDATE) {
    return own(XNodeKeyword::create(id, 0, 7));
}

// ---- kind table ----

TEST(XNodeKindTableTest, NumbersRunFromZeroTo163StrictlyIncreasingWithoutTheUnassigned) {
    ASSERT_EQ(std::size(kKinds), 162u);
    EXPECT_EQ(kKinds[0].number, 0);
    EXPECT_EQ(kKinds[std::size(kKinds) - 1].number, 163);
    for (size_t i = 1; i < std::size(kKinds); ++i) {
        EXPECT_LT(kKinds[i - 1].number, kKinds[i].number) << kKinds[i].name;
    }
    for (const KindRow& row : kKinds) {
        EXPECT_NE(row.number, 81);
        EXPECT_NE(row.number, 82);
        EXPECT_EQ(row.enumerator, row.number) << row.name;
    }
}

TEST(XNodeKindTableTest, DebugNamesAreUnique) {
    std::set<std::string> names;
    for (const KindRow& row : kKinds) EXPECT_TRUE(names.insert(row.name).second) << row.name;
}

TEST(XNodeKindTableTest, IdToStringGivesTheDebugNameOfEveryPrintedKind) {
    for (const KindRow& row : kKinds) {
        const char* text = XNode::idToString(kind(row.number));
        if (row.printed) {
            EXPECT_STREQ(text, row.name);
        } else {
            EXPECT_TRUE(XEnum::isUnknownEnumStr(text)) << row.name;
        }
    }
}

TEST(XNodeKindTableTest, KindsWithoutNamePrintAsUnknown) {
    for (int number : {27, 81, 82, 164, -1, 1000}) {
        EXPECT_TRUE(XEnum::isUnknownEnumStr(XNode::idToString(kind(number)))) << number;
    }
    EXPECT_STREQ(XNode::idToString(eXNI_PLUS), "PLUS");
    EXPECT_STREQ(XNode::idToString(eXNI_NULL), "NULL");
    EXPECT_STREQ(XNode::idToString(eXNI_DUMMYTAIL), "DUMMYTAIL");
    EXPECT_STREQ(opt(eXNI_IIF)->idToString(), "IIF");
}

// ---- group predicates ----

struct PredicateCase {
    const char* name;
    int (*predicate)(EXNodeId);
    int (XNode::*member)() const;
    std::vector<std::pair<int, int>> trueRanges;  // inclusive
};

const PredicateCase kPredicates[] = {
    {"isConstNode", &XNode::stc_isConstNode, &XNode::isConstNode, {{2, 21}}},
    {"isWflowConst", &XNode::stc_isWflowConst, &XNode::isWflowConst, {{15, 21}}},
    {"isRefNode", &XNode::stc_isRefNode, &XNode::isRefNode, {{23, 28}}},
    {"isWidgetNode", &XNode::stc_isWidgetNode, &XNode::isWidgetNode, {{30, 35}}},
    {"isKeywordNode", &XNode::stc_isKeywordNode, &XNode::isKeywordNode, {{37, 42}}},
    {"isOptNode", &XNode::stc_isOptNode, &XNode::isOptNode, {{44, 160}}},
    {"isCondExecOpt", &XNode::stc_isCondExecOpt, &XNode::isCondExecOpt, {{69, 95}}},
    {"isFuncOpt", &XNode::stc_isFuncOpt, &XNode::isFuncOpt, {{72, 160}}},
    {"isFilterOpt", &XNode::stc_isFilterOpt, &XNode::isFilterOpt, {{75, 95}}},
    {"isAggOpt", &XNode::stc_isAggOpt, &XNode::isAggOpt, {{79, 95}}},
    {"isMathOpt", &XNode::stc_isMathOpt, &XNode::isMathOpt, {{150, 160}}},
    {"isParentNode", &XNode::stc_isParentNode, &XNode::isParentNode, {{30, 35}, {44, 160}}},
    {"isExtFuncNode", &XNode::stc_isExtFuncNode, &XNode::isExtFuncNode, {{30, 30}}},
    {"isMacroNode", &XNode::stc_isMacroNode, &XNode::isMacroNode, {{33, 33}}},
    {"isNestedPortRefNode", &XNode::stc_isNestedPortRefNode, &XNode::isNestedPortRefNode,
     {{26, 26}}},
    {"isNullNode", &XNode::stc_isNullNode, &XNode::isNullNode, {{37, 37}}},
    {"isDummyParentOfRoot", &XNode::stc_isDummyParentOfRoot, &XNode::isDummyParentOfRoot,
     {{71, 71}}},
};

int expectedMembership(const PredicateCase& c, int number) {
    for (auto [lo, hi] : c.trueRanges) {
        if (number >= lo && number <= hi) return 1;
    }
    return 0;
}

TEST(XNodePredicateTest, EveryPredicateHoldsExactlyOnItsRanges) {
    for (const PredicateCase& c : kPredicates) {
        for (int number = -1; number <= 164; ++number) {
            EXPECT_EQ(c.predicate(kind(number)), expectedMembership(c, number))
                << c.name << " of " << number;
        }
    }
}

TEST(XNodePredicateTest, MemberFormsFollowTheNodesCurrentKind) {
    auto node = opt(eXNI_PLUS);
    for (const PredicateCase& c : kPredicates) {
        for (auto [lo, hi] : c.trueRanges) {
            for (int number : {lo - 1, lo, hi, hi + 1}) {
                node->changeId(kind(number));
                EXPECT_EQ((node.get()->*c.member)(), expectedMembership(c, number))
                    << c.name << " of " << number;
            }
        }
    }
}

// ---- creation ----

TEST(XNodeCreateTest, OptNodeHasKindPositionsAndAFreshRecord) {
    auto node = opt(eXNI_PLUS, 3, 9);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->getId(), eXNI_PLUS);
    EXPECT_EQ(node->getPosBegin().toInteger(), 3);
    EXPECT_EQ(node->getPosEnd().toInteger(), 9);
    ASSERT_NE(node->getMetadataConstPtr(), nullptr);
    EXPECT_EQ(node->getMetadataConstPtr()->getClassId(), XMetadata::cls_classId);
    EXPECT_FALSE(node->getDataType().isInitialized());
    EXPECT_EQ(node->getParent(), nullptr);
    EXPECT_EQ(node->getNumChildren(), 0);
    EXPECT_NE(node->getChildrenV(), nullptr);
}

TEST(XNodeCreateTest, KeywordHasDummyScaleAndNoChildren) {
    auto node = keyword(eXNI_SESSSTARTTIME);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->getScale().toInteger(), eXMINT_DUMMY);
    EXPECT_EQ(node->getChildrenV(), nullptr);
    EXPECT_EQ(node->getNumChildrenB(), 0);
    EXPECT_EQ(node->getChildrenB(), nullptr);
    EXPECT_EQ(node->getDataPtr(), nullptr);
    EXPECT_EQ(node->getIndPtr(), nullptr);
    EXPECT_EQ(node->isValueAvailable(), 0);
}

TEST(XNodeCreateTest, NullNodeCarriesTheNormalisedType) {
    auto node = own(XNodeKeyword::createNullNode(0, 0, XType(eXDT_NULL)));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->getId(), eXNI_NULL);
    EXPECT_EQ(node->getDataType().toInteger(), eXDT_NULL);
    EXPECT_EQ(node->getNumCharsMax().toInteger(), eXMINT_DUMMY);
}

TEST(XNodeCreateTest, NullNodeOfTheModesStringTypeHasNoCharacters) {
    const int previous = qvSetServerModeASCII(0);
    auto unicode = own(XNodeKeyword::createNullNode(1, 5, XType(eXDT_UNISTRING)));
    auto other = own(XNodeKeyword::createNullNode(1, 5, XType(eXDT_STRING)));
    qvSetServerModeASCII(1);
    auto ascii = own(XNodeKeyword::createNullNode(1, 5, XType(eXDT_STRING)));
    qvSetServerModeASCII(previous);
    EXPECT_EQ(ascii->getDataType().toInteger(), eXDT_STRING);
    EXPECT_EQ(ascii->getNumCharsMax().toInteger(), 0);
    EXPECT_EQ(unicode->getDataType().toInteger(), eXDT_UNISTRING);
    EXPECT_EQ(unicode->getNumCharsMax().toInteger(), 0);
    // The 8-bit string type has no equivalent in Unicode mode.
    EXPECT_EQ(other->getDataType().toInteger(), eXMINT_INVALID);
    EXPECT_EQ(other->getNumCharsMax().toInteger(), eXMINT_DUMMY);
}

struct RefCase {
    EXNodeId id;
    int classId;  // 0: no node
};

TEST(XNodeCreateTest, ReferenceRecordFollowsTheKind) {
    const RefCase cases[] = {
        {eXNI_PORTVAR, XMetadataPort::cls_classId},
        {eXNI_QUALIFIEDPORTVAR, XMetadataPort::cls_classId},
        {eXNI_MAPVAR, XMetadataMapVar::cls_classId},
        {eXNI_WFVAR, XMetadataWorkflowVar::cls_classId},
        {eXNI_NESTEDPORTREF, 0},
        {eXNI_FUNC_IDENTIFIER, 0},
        {eXNI_PLUS, 0},
    };
    XTokName name(qvU("a"), 1, nullptr);
    for (const RefCase& c : cases) {
        auto node = own(XNodeRef::create(c.id, &name, 2, 3));
        if (c.classId == 0) {
            EXPECT_EQ(node, nullptr) << c.id;
            continue;
        }
        ASSERT_NE(node, nullptr) << c.id;
        EXPECT_EQ(node->getMetadataConstPtr()->getClassId(), c.classId);
        EXPECT_EQ(node->getTokName(), &name);
        EXPECT_EQ(node->getId(), c.id);
    }
}

// A name chain built from its components, left to right.
class Chain {
public:
    explicit Chain(std::vector<const char*> parts) {
        XTokName* next = nullptr;
        int level = 1;
        for (auto it = parts.rbegin(); it != parts.rend(); ++it, ++level) {
            m_parts.push_back(std::make_unique<XTokName>(qvU(*it), level, next));
            next = m_parts.back().get();
        }
    }
    XTokName* head() const { return m_parts.empty() ? nullptr : m_parts.back().get(); }

private:
    std::vector<std::unique_ptr<XTokName>> m_parts;
};

struct WidgetCase {
    std::vector<const char*> chain;
    EXNodeId expected;  // eXNI_NONE: no node
};

TEST(XNodeCreateTest, WidgetKindFollowsQualifierAndName) {
    const WidgetCase cases[] = {
        {{}, eXNI_LOOKUP},
        {{":SP", "proc"}, eXNI_SP},
        {{":sp", "proc"}, eXNI_SP},
        {{":LKP", "lkp"}, eXNI_LKP},
        {{":lkp", "lkp"}, eXNI_LKP},
        {{":Ext", "ep"}, eXNI_EXT},
        {{":XYZ", "x"}, eXNI_NONE},
        {{":LKPX", "x"}, eXNI_NONE},
        {{":LK", "x"}, eXNI_NONE},
        {{":LKP", "a", "b"}, eXNI_NONE},  // the qualifier is second from last
        {{":UDF.f"}, eXNI_MACRO},
        {{":udf.myFunc"}, eXNI_MACRO},
        {{":uDf.x"}, eXNI_MACRO},
        {{":UDF."}, eXNI_MACRO},
        {{":UDF"}, eXNI_EXTFUNC},
        {{":UDFx"}, eXNI_EXTFUNC},
        {{"myfunc"}, eXNI_EXTFUNC},
    };
    for (const WidgetCase& c : cases) {
        Chain chain(c.chain);
        auto node = own(XNodeWidget::create(chain.head(), 4, 20));
        const std::string label = c.chain.empty() ? "<none>" : c.chain.front();
        if (c.expected == eXNI_NONE) {
            EXPECT_EQ(node, nullptr) << label;
            continue;
        }
        ASSERT_NE(node, nullptr) << label;
        EXPECT_EQ(node->getId(), c.expected) << label;
        EXPECT_EQ(node->getTokName(), chain.head());
        EXPECT_TRUE(node->getMetadataConstPtr()->isClass(XMetadataWidget::cls_classId));
        EXPECT_TRUE(node->isParentNode());
    }
}

TEST(XNodeCreateTest, PercentileNodesCarryTheirLinks) {
    auto detached = own(XNodePercDetached::createPercDetachedNode(12));
    ASSERT_NE(detached, nullptr);
    EXPECT_EQ(detached->getId(), eXNI_PERCDETACHED);
    EXPECT_EQ(detached->getPosBegin().toInteger(), 12);
    EXPECT_EQ(detached->getPosEnd().toInteger(), eXMINT_DUMMY);
    EXPECT_EQ(detached->getProgramPtrRef(), nullptr);
    XProgram* program = reinterpret_cast<XProgram*>(&detached);
    detached->getProgramPtrRef() = program;
    EXPECT_EQ(detached->getProgramPtrRef(), program);

    auto ref = own(XNodePercRef::createPercRefNode(detached.get()));
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(ref->getId(), eXNI_PERCREF);
    EXPECT_EQ(ref->getPosBegin().toInteger(), eXMINT_DUMMY);
    EXPECT_EQ(ref->getPosEnd().toInteger(), eXMINT_DUMMY);
    EXPECT_EQ(ref->getPercDetached(), detached.get());
}

TEST(XNodeCreateTest, ChangeIdKeepsClassAndRecord) {
    auto node = opt(eXNI_PLUS);
    const XMetadata* record = node->getMetadataConstPtr();
    node->changeId(eXNI_MINUS);
    EXPECT_EQ(node->getId(), eXNI_MINUS);
    EXPECT_EQ(node->getMetadataConstPtr(), record);
}

// ---- positions ----

TEST(XNodePositionTest, NoChangeSentinelLeavesThatPosition) {
    auto node = opt(eXNI_PLUS, 4, 8);
    node->updatePosBeginEnd(kNoChange, 20, 0);
    EXPECT_EQ(node->getPosBegin().toInteger(), 4);
    EXPECT_EQ(node->getPosEnd().toInteger(), 20);
    node->updatePosBeginEnd(6, kNoChange, 0);
    EXPECT_EQ(node->getPosBegin().toInteger(), 6);
    EXPECT_EQ(node->getPosEnd().toInteger(), 20);
}

TEST(XNodePositionTest, OriginalBeginIsSavedOnlyOnce) {
    auto node = opt(eXNI_PLUS, 4, 8);
    EXPECT_EQ(node->getPosOrigBegin().toInteger(), 4);  // nothing saved yet
    node->updatePosBeginEnd(10, kNoChange, 0);
    EXPECT_EQ(node->getPosOrigBegin().toInteger(), 10);
    node->updatePosBeginEnd(12, kNoChange, 1);
    EXPECT_EQ(node->getPosOrigBegin().toInteger(), 10);
    node->updatePosBeginEnd(14, kNoChange, 1);
    EXPECT_EQ(node->getPosOrigBegin().toInteger(), 10);
    EXPECT_EQ(node->getPosBegin().toInteger(), 14);
    node->updatePosBeginEnd(kNoChange, 30, 1);
    EXPECT_EQ(node->getPosOrigBegin().toInteger(), 10);
}

// The original begin shares a record with the caller's attachments: each
// must answer for itself whichever came first.
TEST(XNodePositionTest, OriginalBeginAndAttachmentsDoNotDisturbEachOther) {
    int caller = 1;
    auto node = opt(eXNI_PLUS, 4, 8);
    node->setOptInfoPtr(reinterpret_cast<XNodeOptInfo*>(&caller), nullptr);
    EXPECT_EQ(node->getPosOrigBegin().toInteger(), 4);
    node->updatePosBeginEnd(12, kNoChange, 1);
    EXPECT_EQ(node->getPosOrigBegin().toInteger(), 4);
    EXPECT_EQ(node->getSrvInfoPtr(), nullptr);
    EXPECT_EQ(node->getOptInfoPtr(), reinterpret_cast<XNodeOptInfo*>(&caller));

    auto other = keyword();
    other->updatePosBeginEnd(3, kNoChange, 1);
    other->setSrvInfoPtr(reinterpret_cast<XNodeSrvInfo*>(&caller), nullptr);
    EXPECT_EQ(other->getPosOrigBegin().toInteger(), 0);
    EXPECT_EQ(other->getSrvInfoPtr(), reinterpret_cast<XNodeSrvInfo*>(&caller));
}

// ---- child lists ----

class XNodeChildListTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent = opt(eXNI_DECODE);
        for (auto& child : children) {
            child = keyword();
            ASSERT_EQ(parent->appendChildNode(child.get()), 0);
        }
    }

    std::unique_ptr<XNodeOpt> parent;
    std::unique_ptr<XNodeKeyword> children[3];
    std::unique_ptr<XNodeKeyword> stranger = keyword();
};

TEST_F(XNodeChildListTest, AppendAndPrependAdoptInOrder) {
    auto first = keyword();
    EXPECT_EQ(parent->prependChildNode(first.get()), 0);
    ASSERT_EQ(parent->getNumChildren(), 4);
    EXPECT_EQ(parent->getChild(0), first.get());
    EXPECT_EQ(parent->getChild(3), children[2].get());
    EXPECT_EQ(first->getParent(), parent.get());
    EXPECT_EQ(children[1]->getMyIndexInParent(), 2);
    EXPECT_EQ(parent->getChild(4), nullptr);
    EXPECT_EQ(parent->getChild(-1), nullptr);
    EXPECT_EQ(parent->getChildB(3, 1), children[2].get());
    EXPECT_EQ(parent->getNumChildrenB(), 4);
}

TEST_F(XNodeChildListTest, AbsentChildIsMinusTwoAndCannotBeReplaced) {
    EXPECT_EQ(parent->getChildIndex(stranger.get()), -2);
    EXPECT_EQ(stranger->getMyIndexInParent(), -2);
    auto replacement = keyword();
    EXPECT_EQ(parent->replaceChild(stranger.get(), replacement.get()), -1);
    EXPECT_EQ(replacement->getParent(), nullptr);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(parent->getChild(i), children[i].get());
    EXPECT_EQ(parent->removeChild(stranger.get()), -1);
    EXPECT_EQ(parent->getNumChildren(), 3);
}

TEST_F(XNodeChildListTest, ReplaceChildAdoptsTheNewAndLeavesTheOldParent) {
    auto replacement = keyword();
    EXPECT_EQ(XNodeParent::stc_replaceChild(parent.get(), children[1].get(), replacement.get()), 0);
    EXPECT_EQ(parent->getChild(1), replacement.get());
    EXPECT_EQ(replacement->getParent(), parent.get());
    EXPECT_EQ(children[1]->getParent(), parent.get());
    EXPECT_EQ(children[1]->getMyIndexInParent(), -2);
}

TEST_F(XNodeChildListTest, ReplaceMeInParent) {
    auto replacement = keyword();
    EXPECT_EQ(children[2]->replaceMeInParent(replacement.get()), 0);
    EXPECT_EQ(parent->getChild(2), replacement.get());
    EXPECT_EQ(stranger->replaceMeInParent(replacement.get()), 0);  // no parent: nothing to do
    EXPECT_EQ(parent->getChild(2), replacement.get());
}

TEST_F(XNodeChildListTest, RemovedChildLeavesAnEmptySlotThatReplaceRemovedChildFills) {
    EXPECT_EQ(parent->replaceRemovedChild(stranger.get()), -1);  // no empty slot yet
    EXPECT_EQ(parent->removeChild(children[1].get()), 0);
    EXPECT_EQ(parent->getNumChildren(), 3);
    EXPECT_EQ(parent->getChild(1), nullptr);
    EXPECT_EQ(parent->removeChild(nullptr), -1);  // an empty slot is no child
    EXPECT_EQ(parent->replaceChild(nullptr, stranger.get()), -1);
    EXPECT_EQ(parent->replaceRemovedChild(stranger.get()), 0);
    EXPECT_EQ(parent->getChild(0), children[0].get());
    EXPECT_EQ(parent->getChild(1), stranger.get());
    EXPECT_EQ(parent->getChild(2), children[2].get());
    EXPECT_EQ(stranger->getParent(), parent.get());
    EXPECT_EQ(parent->replaceRemovedChild(stranger.get()), -1);
}

TEST_F(XNodeChildListTest, ReplaceRemovedChildTakesTheFirstEmptySlot) {
    parent->removeChild(children[2].get());
    parent->removeChild(children[0].get());
    EXPECT_EQ(parent->replaceRemovedChild(stranger.get()), 0);
    EXPECT_EQ(parent->getChild(0), stranger.get());
    EXPECT_EQ(parent->getChild(2), nullptr);
}

TEST_F(XNodeChildListTest, RemoveLastChildDropsTheSlot) {
    parent->removeLastChild();
    EXPECT_EQ(parent->getNumChildren(), 2);
    parent->removeLastChild();
    parent->removeLastChild();
    parent->removeLastChild();  // nothing left to drop
    EXPECT_EQ(parent->getNumChildren(), 0);
}

TEST_F(XNodeChildListTest, CursorWalksTheChildrenAndPassesOverEmptySlots) {
    parent->removeChild(children[1].get());
    XNode* node = parent.get();
    node->resetNextChild();
    EXPECT_EQ(parent->getCurChild(), nullptr);
    EXPECT_EQ(node->nextChild(), children[0].get());
    EXPECT_EQ(parent->getCurChild(), children[0].get());
    EXPECT_EQ(node->nextChild(), children[2].get());
    EXPECT_EQ(parent->getCurChild(), children[2].get());
    EXPECT_EQ(node->nextChild(), nullptr);
    EXPECT_EQ(node->nextChild(), nullptr);
    node->resetNextChild();
    EXPECT_EQ(parent->getNextChild(), children[0].get());
}

TEST_F(XNodeChildListTest, LeafAnswersAsALeaf) {
    XNode* leaf = children[0].get();
    EXPECT_EQ(leaf->nextChild(), nullptr);
    leaf->resetNextChild();  // harmless on a leaf
    EXPECT_EQ(leaf->getChildB(0, 0), nullptr);
    EXPECT_THROW(leaf->getChildB(0, 1), QvAssertFailure);
    EXPECT_EQ(parent->getChildB(7, 1), nullptr);
}

TEST(XNodeRelationTest, RootAndExternallyReferencedNodes) {
    auto dummy = opt(eXNI_FUNC_START);
    auto root = opt(eXNI_PLUS);
    auto operand = keyword();
    dummy->appendChildNode(root.get());
    root->appendChildNode(operand.get());
    EXPECT_TRUE(root->isRoot());
    EXPECT_TRUE(root->isRefByExternal());
    EXPECT_FALSE(operand->isRoot());
    EXPECT_FALSE(operand->isRefByExternal());

    Chain name({":LKP", "lkp"});
    auto widget = own(XNodeWidget::create(name.head(), 0, 10));
    auto argument = keyword();
    widget->appendChildNode(argument.get());
    EXPECT_TRUE(argument->isRefByExternal());
    EXPECT_FALSE(argument->isRoot());
    EXPECT_FALSE(widget->isRoot());
    EXPECT_FALSE(dummy->isRoot());
}

// ---- common information ----

TEST(XNodeCmnInfoTest, FieldsStartUnsetAndTakeTheSentinels) {
    XNodeCmnInfo info;
    EXPECT_EQ(info.getAggLevel().toInteger(), eXMINT_UNINIT);
    EXPECT_EQ(info.getOp().toInteger(), eXMINT_UNINIT);
    EXPECT_EQ(info.getAugType().toInteger(), eXMINT_UNINIT);
    EXPECT_EQ(info.getConstness().toInteger(), eXMINT_UNINIT);
    EXPECT_EQ(info.getParentExpects().toInteger(), eXMINT_UNINIT);
    EXPECT_EQ(info.getResultTypeIndicator().toInteger(), eXMINT_UNINIT);
    EXPECT_EQ(info.getVisitAction(), nullptr);
    EXPECT_EQ(info.getSkipPreVisit(), 0);
    EXPECT_EQ(info.isConstnessTrue(), 0);

    info.setAllFieldsToDummy();
    for (int value : {info.getAggLevel().toInteger(), info.getOp().toInteger(),
                      info.getAugType().toInteger(), info.getConstness().toInteger(),
                      info.getParentExpects().toInteger(),
                      info.getResultTypeIndicator().toInteger()}) {
        EXPECT_EQ(value, eXMINT_DUMMY);
    }
    info.setAllFieldsToNoChange();
    for (int value : {info.getAggLevel().toInteger(), info.getOp().toInteger(),
                      info.getAugType().toInteger(), info.getConstness().toInteger(),
                      info.getParentExpects().toInteger(),
                      info.getResultTypeIndicator().toInteger()}) {
        EXPECT_EQ(value, eXMINT_NOCHANGE);
    }
    info.setConstness(XBooleanInt(1));
    EXPECT_EQ(info.isConstnessTrue(), 1);
}

// ---- what a node frees ----

int gSrvFreed = 0;
int gOptFreed = 0;
int gActionsFreed = 0;

void freeSrv(void* p) {
    ++gSrvFreed;
    delete static_cast<int*>(p);
}
void freeOpt(void* p) {
    ++gOptFreed;
    delete static_cast<int*>(p);
}
void freeAction(XVisitAction* a) {
    ++gActionsFreed;
    delete reinterpret_cast<int*>(a);
}

TEST(XNodeOwnershipTest, NodeFreesItsAttachmentsOnceAndNotItsChildren) {
    gSrvFreed = gOptFreed = gActionsFreed = 0;
    auto child = keyword();
    {
        auto node = opt(eXNI_PLUS);
        node->appendChildNode(child.get());
        node->setSrvInfoPtr(reinterpret_cast<XNodeSrvInfo*>(new int(1)), &freeSrv);
        node->setOptInfoPtr(reinterpret_cast<XNodeOptInfo*>(new int(2)), &freeOpt);
        node->getCmnInfoPtr()->setVisitAction(reinterpret_cast<XVisitAction*>(new int(3)),
                                              &freeAction);
    }
    EXPECT_EQ(gSrvFreed, 1);
    EXPECT_EQ(gOptFreed, 1);
    EXPECT_EQ(gActionsFreed, 1);
    EXPECT_EQ(child->getId(), eXNI_SYSDATE);  // still alive
}

int gOwnedObjectsDeleted = 0;
void deleteOwnedObject(void* object) {
    ++gOwnedObjectsDeleted;
    delete static_cast<int*>(object);
}

// A call's record frees the caller's object it owns when its node dies,
// although nothing else about the node needs freeing.
TEST(XNodeOwnershipTest, WidgetNodeReleasesTheObjectItsRecordOwns) {
    gOwnedObjectsDeleted = 0;
    {
        auto widget = own(XNodeWidget::create(nullptr, 0, 10));
        ASSERT_NE(widget, nullptr);
        auto* record = static_cast<XMetadataWidget*>(widget->getMetadataPtr());
        record->setRef(QvRef(new int(7)));
        record->setDeleteMetadataPtr(&deleteOwnedObject);
    }
    EXPECT_EQ(gOwnedObjectsDeleted, 1);
}

// Records that took side fields (flags, host descriptors, an upgrade
// record) free them with their nodes; the sanitizer build reports a leak
// otherwise.
TEST(XNodeOwnershipTest, RecordsWithSideFieldsAreFreedWithTheirNodes) {
    int descriptor = 0;
    auto plain = opt(eXNI_PLUS);
    plain->getMetadataPtr()->setIsConst(1);
    plain->getMetadataPtr()->allocUgdInfo();
    auto port = own(XNodeRef::create(eXNI_PORTVAR, nullptr, 0, 3));
    ASSERT_NE(port, nullptr);
    port->getMetadataPtr()->setTypeAttrs(&descriptor);
    auto mapVar = own(XNodeRef::create(eXNI_MAPVAR, nullptr, 0, 3));
    ASSERT_NE(mapVar, nullptr);
    EXPECT_EQ(mapVar->getMetadataPtr()->isParam(), 1);
    EXPECT_EQ(port->getMetadataPtr()->getTypeAttrsV(), &descriptor);
    // A call's argument records are no side field of its own record.
    auto widget = own(XNodeWidget::create(nullptr, 0, 10));
    ASSERT_NE(widget, nullptr);
    auto* record = static_cast<XMetadataWidget*>(widget->getMetadataPtr());
    ASSERT_EQ(record->allocateArgMetadata(2), 0);
    EXPECT_EQ(record->getNumArgs(), 2);
}

TEST(XNodeOwnershipTest, AttachmentWithoutDeleterIsNotFreed) {
    gSrvFreed = 0;
    int caller = 5;
    {
        auto node = keyword();
        node->setSrvInfoPtr(reinterpret_cast<XNodeSrvInfo*>(&caller), nullptr);
    }
    EXPECT_EQ(gSrvFreed, 0);
}

TEST(XNodeOwnershipTest, DeleteVisitActionFreesAndClears) {
    gActionsFreed = 0;
    auto node = keyword();
    XNodeCmnInfo* info = node->getCmnInfoPtr();
    info->setVisitAction(reinterpret_cast<XVisitAction*>(new int(3)), &freeAction);
    info->deleteVisitAction();
    EXPECT_EQ(gActionsFreed, 1);
    EXPECT_EQ(info->getVisitAction(), nullptr);
    info->deleteVisitAction();
    EXPECT_EQ(gActionsFreed, 1);
    EXPECT_THROW(info->setVisitAction(reinterpret_cast<XVisitAction*>(&gActionsFreed), nullptr),
                 QvAssertFailure);
    // An action is an object with a vtable; an address that cannot be one is
    // refused and nothing is stored.
    alignas(8) char storage[16] = {};
    EXPECT_THROW(info->setVisitAction(reinterpret_cast<XVisitAction*>(storage + 1), &freeAction),
                 QvAssertFailure);
    EXPECT_EQ(info->getVisitAction(), nullptr);
}

int gOtherActionsFreed = 0;

void freeOtherAction(XVisitAction* a) {
    ++gOtherActionsFreed;
    delete reinterpret_cast<long long*>(a);
}

// Each action is freed by the deleter it was given, however many kinds of
// action the program uses; a copy of the block shares the action and frees
// nothing.
TEST(XNodeOwnershipTest, EachActionGoesToItsOwnDeleter) {
    gActionsFreed = gOtherActionsFreed = 0;
    auto* first = reinterpret_cast<XVisitAction*>(new int(3));
    auto* second = reinterpret_cast<XVisitAction*>(new long long(4));
    {
        auto a = keyword();
        auto b = opt(eXNI_PLUS);
        a->getCmnInfoPtr()->setVisitAction(first, &freeAction);
        b->getCmnInfoPtr()->setVisitAction(second, &freeOtherAction);
        EXPECT_EQ(a->getCmnInfoPtr()->getVisitAction(), first);
        EXPECT_EQ(b->getCmnInfoPtr()->getVisitAction(), second);
        {
            XNodeCmnInfo copy = *b->getCmnInfoConstPtr();
            EXPECT_EQ(copy.getVisitAction(), second);
        }
        EXPECT_EQ(gOtherActionsFreed, 0);
    }
    EXPECT_EQ(gActionsFreed, 1);
    EXPECT_EQ(gOtherActionsFreed, 1);
}

int gFreedByDeleter[12];

template <int N>
void freeActionNumbered(XVisitAction* a) {
    ++gFreedByDeleter[N];
    delete reinterpret_cast<int*>(a);
}

// More kinds of action than the deleter table holds: every action is still
// freed by its own deleter, exactly once.
TEST(XNodeOwnershipTest, ManyKindsOfActionEachFreedByItsOwnDeleter) {
    const XVisitActionDeleter deleters[] = {
        &freeActionNumbered<0>, &freeActionNumbered<1>, &freeActionNumbered<2>, &freeActionNumbered<3>,
        &freeActionNumbered<4>, &freeActionNumbered<5>, &freeActionNumbered<6>, &freeActionNumbered<7>,
        &freeActionNumbered<8>, &freeActionNumbered<9>, &freeActionNumbered<10>, &freeActionNumbered<11>};
    std::fill(std::begin(gFreedByDeleter), std::end(gFreedByDeleter), 0);
    {
        std::vector<std::unique_ptr<XNode>> nodes;
        for (XVisitActionDeleter deleter : deleters) {
            nodes.push_back(keyword());
            nodes.back()->getCmnInfoPtr()->setVisitAction(reinterpret_cast<XVisitAction*>(new int(1)), deleter);
        }
        // One freed early, through the node; the rest with their nodes.
        nodes[10]->getCmnInfoPtr()->deleteVisitAction();
        EXPECT_EQ(gFreedByDeleter[10], 1);
        EXPECT_EQ(nodes[10]->getCmnInfoPtr()->getVisitAction(), nullptr);
    }
    for (int freed : gFreedByDeleter) EXPECT_EQ(freed, 1);
}

TEST(XNodeOwnershipTest, ReplacedAttachmentIsNotFreedAndClearedOneNeedsNothing) {
    gSrvFreed = 0;
    int first = 1;
    {
        auto node = keyword();
        node->setSrvInfoPtr(nullptr, nullptr);
        EXPECT_EQ(node->getSrvInfoPtr(), nullptr);
        node->setSrvInfoPtr(reinterpret_cast<XNodeSrvInfo*>(&first), nullptr);
        node->setSrvInfoPtr(reinterpret_cast<XNodeSrvInfo*>(new int(2)), &freeSrv);
        EXPECT_EQ(gSrvFreed, 0);
        const XNode& view = *node;
        EXPECT_NE(view.getSrvInfoPtr(), nullptr);
        EXPECT_EQ(view.getOptInfoPtr(), nullptr);
    }
    EXPECT_EQ(gSrvFreed, 1);
}

// ---- constants through the base class ----

// A constant with a fixed int value, to exercise what XNodeConstBase itself does.
class FakeIntConst : public XNodeConstBase {
public:
    FakeIntConst(int value, short indicator)
        : XNodeConstBase(eXNI_CONST, 0, 1, std::make_unique<XMetadata>()),
          m_value(value),
          m_indicator(indicator) {}
    const void* getDataPtr() const override { return &m_value; }
    const short* getIndPtr() const override { return &m_indicator; }
    int getIntValueV(int& out) const override { return read(out); }
    int getBigIntValueV(long long& out) const override { return read(out); }
    int getDoubleValueV(double& out) const override { return read(out); }
    int negateNumericValue() override { return -1; }

private:
    template <class T>
    int read(T& out) const {
        if (m_indicator == -1) return -1;
        out = m_value;
        return 0;
    }
    int m_value;
    short m_indicator;
};

// ---- memory ----

// Nodes come in several block sizes and may die in any order, on any
// thread, also after the thread that made them has ended; each keeps its
// own record throughout (AddressSanitizer sees any overlap or early free).
std::vector<XNode*> makeMixedNodes(int count) {
    std::vector<XNode*> nodes;
    for (int i = 0; i < count; ++i) {
        XNode* node = nullptr;
        switch (i % 4) {
            case 0: node = XNodeOpt::create(eXNI_PLUS, XNonNegInt(i), XNonNegInt(i + 1)); break;
            case 1: node = XNodeKeyword::create(eXNI_SYSDATE, XNonNegInt(i), XNonNegInt(i + 1)); break;
            case 2: node = XNodeRef::create(eXNI_MAPVAR, nullptr, XNonNegInt(i), XNonNegInt(i + 1)); break;
            default: node = XNodeWidget::create(nullptr, XNonNegInt(i), XNonNegInt(i + 1)); break;
        }
        node->setScale(i);
        nodes.push_back(node);
    }
    return nodes;
}

void expectIntact(const std::vector<XNode*>& nodes) {
    for (size_t i = 0; i < nodes.size(); ++i) {
        ASSERT_EQ(nodes[i]->getPosBegin().toInteger(), static_cast<int>(i));
        ASSERT_EQ(nodes[i]->getScale().toInteger(), static_cast<int>(i));
    }
}

TEST(XNodeMemoryTest, NodesDieInAnyOrderOnAnyThread) {
    std::vector<XNode*> nodes = makeMixedNodes(3000);
    expectIntact(nodes);
    std::vector<XNode*> mine, theirs;
    for (size_t i = 0; i < nodes.size(); ++i) ((i * 7919) % 3 == 0 ? theirs : mine).push_back(nodes[i]);
    for (size_t i = mine.size(); i-- > 0;) delete mine[i];
    std::thread([&theirs] {
        for (XNode* node : theirs) delete node;
    }).join();
}

TEST(XNodeMemoryTest, NodesOutliveTheThreadThatMadeThem) {
    std::vector<XNode*> nodes;
    std::thread([&nodes] { nodes = makeMixedNodes(500); }).join();
    expectIntact(nodes);
    std::vector<XNode*> more = makeMixedNodes(500);
    for (XNode* node : nodes) delete node;
    expectIntact(more);
    for (XNode* node : more) delete node;
}

TEST(XNodeConstBaseTest, ValueAvailabilityFollowsTheIndicator) {
    EXPECT_EQ(FakeIntConst(7, 0).isValueAvailable(), 1);
    EXPECT_EQ(FakeIntConst(7, -1).isValueAvailable(), 0);
}

// A record handed to the constructor (rather than made with the node) is
// the node's record and dies with it.
TEST(XNodeConstBaseTest, RecordGivenToTheConstructorIsTheNodesOwn) {
    FakeIntConst node(7, 0);
    ASSERT_NE(node.getMetadataPtr(), nullptr);
    EXPECT_EQ(node.getMetadataConstPtr(), node.getMetadataPtr());
    node.setScale(4);
    node.setDataType(XType(eXDT_INT));
    EXPECT_EQ(node.getMetadataConstPtr()->getScale().toInteger(), 4);
    EXPECT_EQ(node.getDataType().toInteger(), eXDT_INT);
    node.updatePosBeginEnd(5, kNoChange, 1);
    EXPECT_EQ(node.getPosOrigBegin().toInteger(), 0);
    EXPECT_EQ(node.getMetadataConstPtr()->getScale().toInteger(), 4);
}

TEST(XNodeConstBaseTest, GetIntValueTreatsFailureAsAnInvariant) {
    EXPECT_EQ(FakeIntConst(7, 0).getIntValue(), 7);
    EXPECT_EQ(FakeIntConst(-9, 0).getBigIntValue(), -9);
    EXPECT_THROW(FakeIntConst(7, -1).getIntValue(), QvAssertFailure);
    EXPECT_THROW(FakeIntConst(7, -1).getBigIntValue(), QvAssertFailure);
}

}  // namespace
