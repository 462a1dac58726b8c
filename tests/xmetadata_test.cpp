// Metadata records: defaults, class identity across the family, the fill and
// copy rules, upgrade records and the argument records of widget calls.
#include "qvcmnexpr/xmetadata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "qvcmnasrt.h"
#include "xtestsupport.h"

namespace {

// A host column description as a context would hand it to set().
SColMetadata column(unsigned int type, int length, int scale = 0, TrtInfo* trt = nullptr,
                    zeva_type_opd_metadata_struct* zeva = nullptr, const void* attrs = nullptr) {
    SColMetadata md;
    md.set(type, length, scale, trt, zeva, attrs);
    return md;
}

int objectA = 1;
int objectB = 2;

void deleteNothing(void*) {}

template <class F>
void expectInvariant(F&& f, int line) {
    xtestsupport::expectInvariant("xmetadata", f, line);
}

using xtestsupport::ServerMode;

}  // namespace

// ===== handles =====

TEST(QvRefTest, CopiesThePointerAndKnowsItsClass) {
    EXPECT_TRUE(QvRef().isEmpty());
    QvRef ref(&objectA);
    QvRef copy(ref);
    EXPECT_FALSE(copy.isEmpty());
    EXPECT_EQ(copy.getCPtr(), &objectA);
    copy.makeEmpty();
    EXPECT_EQ(copy.getPtr(), nullptr);
    EXPECT_EQ(ref.getPtr(), &objectA);
    QvCRef cref;
    const QvCRef& asBase = ref;
    EXPECT_EQ(cref.getClassId(), 1000);
    EXPECT_EQ(asBase.getClassId(), 1001);
    EXPECT_FALSE(cref.isClass(1001));
    EXPECT_TRUE(asBase.isClass(1000) && asBase.isClass(1001));
    EXPECT_FALSE(asBase.isClass(3000));
    EXPECT_TRUE(QvRef::stc_isClass(1000));
    EXPECT_FALSE(QvCRef::stc_isClass(1001));
}

// ===== class identity of the record family =====

// Each record is its own class, the base record's and the host bases' (2000,
// 2001), and no other.
template <class Record>
void expectIdentity(int ownId) {
    Record record;
    const QvMetadataBase& asHost = record;
    EXPECT_EQ(asHost.getClassId(), ownId);
    for (int probe : {1000, 1001, 2000, 2001, 2002, 3000, 3001, 3002, 3003, 3004, 3005, -1}) {
        const int expected = probe == ownId || probe == 3000 || probe == 2001 || probe == 2000;
        EXPECT_EQ(asHost.isClass(probe), expected) << ownId << " is " << probe;
        EXPECT_EQ(Record::stc_isClass(probe), expected) << ownId << " is " << probe;
    }
}

TEST(XMetadataTest, ClassIdentityAcrossTheFamily) {
    expectIdentity<XMetadata>(3000);
    expectIdentity<XMetadataPort>(3001);
    expectIdentity<XMetadataWidget>(3002);
    expectIdentity<XMetadataMapVar>(3003);
    expectIdentity<XMetadataWorkflowVar>(3004);
}

// ===== defaults =====

// The defaults other code reads: the argument kind and the length placeholder
// the host sees, and a mapping variable being a parameter of kind zero.
TEST(XMetadataTest, NewRecordDefaults) {
    XMetadata md;
    EXPECT_EQ(md.getArgTypeV(), 1);
    EXPECT_EQ(md.getLengthV(), -4);
    EXPECT_EQ(md.getScaleV(), -1);
    XMetadataMapVar var;
    EXPECT_EQ(var.getArgType().toInteger(), 0);
    EXPECT_EQ(var.isParam(), 1);
    XMetadataWidget widget;
    EXPECT_EQ(widget.getNumArgs(), -1);
    EXPECT_EQ(widget.getRetPortMetadata()->getClassId(), 3001);
    // Filling the return record does not mark it set; only the marking does.
    widget.getRetPortMetadata()->setDataType(XType(eXDT_FLOAT));
    EXPECT_EQ(widget.isRetPortMetadataSet(), 0);
    widget.markRetPortMetadataSet();
    EXPECT_EQ(widget.isRetPortMetadataSet(), 1);
}

// The host reads the type without folding BOOLEAN; the reference is set once
// only, but an empty handle leaves room for a later one.
TEST(XMetadataTest, HostTypeAndOnceOnlyReference) {
    XMetadata md;
    md.setDataType(XType(eXDT_BOOLEAN));
    EXPECT_EQ(md.getCDataTypeV(), 1021u);
    EXPECT_EQ(md.getCDataType(), 1021u);
    md.setRef(QvRef());
    md.setRef(QvRef(&objectA));
    EXPECT_EQ(md.getRef().getPtr(), &objectA);
    EXPECT_EQ(md.getCRef().getCPtr(), &objectA);
    expectInvariant([&] { md.setRef(QvRef(&objectB)); }, 128);
}

// ===== set =====

TEST(XMetadataTest, SetTakesTheLengthOnlyForTypesThatHaveOne) {
    const int cases[][4] = {  // 8-bit server mode, host type, length, length kept
        {0, 1002, 10, -4}, {0, 1017, 10, -4}, {0, 1007, 29, -4}, {0, 1012, 15, -4}, {0, 1006, 10, 10},
        {0, 1014, 10, 10}, {0, 1003, 10, -4}, {1, 1003, 10, 10}, {1, 1014, 10, -4}, {0, 1014, 0, 0},
    };
    for (const auto& [ascii, type, length, kept] : cases) {
        SCOPED_TRACE(testing::Message() << type << (ascii ? " in 8-bit mode" : ""));
        ServerMode mode(ascii);
        XMetadata md;
        md.set(column(static_cast<unsigned int>(type), length, 3), QvRef(&objectA), 1, 0);
        EXPECT_EQ(md.getDataType().toInteger(), type);
        EXPECT_EQ(md.getNumCharsMax().toInteger(), kept);
        EXPECT_EQ(md.getScale().toInteger(), 3);
        EXPECT_EQ(md.getRef().getPtr(), &objectA);
    }
}

TEST(XMetadataTest, SetTakesDescriptorsArgumentKindAndEquivalence) {
    TrtInfo trt;
    zeva_type_opd_metadata_struct zeva;
    int attrs = 0;
    XMetadata md;
    md.set(column(1002, 10, 2, &trt, &zeva, &attrs), QvRef(&objectA), 16, 0);
    EXPECT_EQ(md.getTrtInfoV(), &trt);
    EXPECT_EQ(md.getZevaTypeMetadataV(), &zeva);
    EXPECT_EQ(md.getTypeAttrsV(), &attrs);
    EXPECT_EQ(md.getArgType().toInteger(), 16);
    EXPECT_EQ(md.getScale().toInteger(), 2);
    XMetadata plain;
    plain.set(column(1009, 10), QvRef(), 1, 0);
    EXPECT_EQ(plain.getDataType().toInteger(), 1009);
    // High-precision mode is on unless configured otherwise.
    XMetadata equivalent;
    equivalent.set(column(1010, 20), QvRef(), 1, 1);
    EXPECT_EQ(equivalent.getDataType().toInteger(), 1013);
}

TEST(XMetadataTest, SetFromALibraryRecordTakesItsArgumentKind) {
    XMetadataMapVar source;
    source.setDataType(XType(eXDT_INT));
    XMetadataPort port;
    port.setPt(source, 7, QvRef(&objectA), 0);
    EXPECT_EQ(port.getArgType().toInteger(), 0);
    EXPECT_EQ(port.getPortId().toInteger(), 7);
    EXPECT_EQ(port.getDataType().toInteger(), 1002);
    EXPECT_EQ(port.getRef().getPtr(), &objectA);
}

TEST(XMetadataTest, SetRecordsTheOlderTypeInTheUpgradeRecord) {
    XMetadata md;
    md.allocUgdInfo();
    md.set(column(1009, 12), QvRef(), 1, 1);
    EXPECT_EQ(md.getDataType60().toInteger(), 1009);  // as the host gave it
    EXPECT_EQ(md.getNumCharsMax60().toInteger(), 12);
    EXPECT_EQ(md.getDataType().toInteger(), 1012);
    EXPECT_EQ(md.getNumCharsMax().toInteger(), -4);
    XMetadata referenced;  // set() on a record with a reference fails an invariant
    referenced.setRef(QvRef(&objectA));
    expectInvariant([&] { referenced.set(column(1002, 10), QvRef(&objectB), 1, 0); }, 128);
}

TEST(XMetadataTest, SetMvMetaForcesArgumentKindZero) {
    XMetadataPort source;
    source.setDataType(XType(eXDT_BIGINT));
    XMetadataMapVar md;
    md.setMvMeta(source, QvRef(&objectA), 0, eXMVT_MAX, 1);
    EXPECT_EQ(md.getArgType().toInteger(), 0);
    EXPECT_EQ(md.getMapVarType(), eXMVT_MAX);
    EXPECT_EQ(md.getIsAggContext(), 1);
    EXPECT_EQ(md.getDataType().toInteger(), 1017);
    for (int value : {0, 5, -1, -3}) {  // the aggregation context is true only for 1
        md.setIsAggContext(value);
        EXPECT_EQ(md.getIsAggContext(), 0) << value;
    }
}

// ===== copyMetadata =====

TEST(XMetadataTest, CopyMetadataLeavesReferenceFlagsAndDeleteFunction) {
    TrtInfo trt;
    int attrs = 0;
    XMetadata source;
    source.set(column(1014, 25, 0, &trt, nullptr, &attrs), QvRef(&objectA), 16, 0);
    source.setIsConst(1);
    source.setIsParam(1);
    source.setIsWindowFunc(1);

    XMetadata target;
    target.setRef(QvRef(&objectB));
    XMetadata::copyMetadata(&source, &target);
    EXPECT_EQ(target.getDataType().toInteger(), 1014);
    EXPECT_EQ(target.getNumCharsMax().toInteger(), 25);
    EXPECT_EQ(target.getArgType().toInteger(), 16);
    EXPECT_EQ(target.getScale().toInteger(), 0);
    EXPECT_EQ(target.getTrtInfoV(), &trt);
    EXPECT_EQ(target.getTypeAttrsV(), &attrs);
    EXPECT_EQ(target.getRef().getPtr(), &objectB);
    EXPECT_FALSE(target.isConst() || target.isParam() || target.isWindowFunc());
    EXPECT_THROW(XMetadata::copyMetadata(nullptr, &target), QvAssertFailure);
    EXPECT_THROW(XMetadata::copyMetadata(&target, nullptr), QvAssertFailure);
    // No equivalence is applied, and a type without a length keeps the target's.
    XMetadata fixed;
    fixed.setDataType(XType(eXDT_DEC18_FIXED));
    fixed.setNumCharsMax(12);
    target.setNumCharsMax(40);
    target.copyFromV(&fixed);
    EXPECT_EQ(target.getDataType().toInteger(), 1009);
    EXPECT_EQ(target.getNumCharsMax().toInteger(), 40);
}

TEST(XMetadataTest, CopyMetadataCarriesOlderValuesBetweenUpgradeRecords) {
    XMetadata source;
    source.allocUgdInfo();
    source.setDataType60(1010u);
    source.setNumCharsMax60(20);
    source.setAggType60(3);
    XMetadata target;
    target.allocUgdInfo();
    XMetadata::copyMetadata(&source, &target);
    EXPECT_EQ(target.getDataType60().toInteger(), 1010);
    EXPECT_EQ(target.getNumCharsMax60().toInteger(), 20);
    EXPECT_EQ(target.getAggType60(), -1);  // only type and length travel

    // A source outside the upgrade leaves the target's older values alone.
    XMetadata plainSource;
    plainSource.setDataType(XType(eXDT_INT));
    XMetadata::copyMetadata(&plainSource, &target);
    EXPECT_EQ(target.getDataType60().toInteger(), 1010);
    EXPECT_EQ(target.getDataType().toInteger(), 1002);

    // A target outside the upgrade gets no upgrade record.
    XMetadata plainTarget;
    XMetadata::copyMetadata(&source, &plainTarget);
    EXPECT_FALSE(plainTarget.hasUgdInfo());
}

// ===== no-change marking =====

TEST(XMetadataTest, NoChangeMarksTypeArgumentKindAndLength) {
    XMetadata md;
    md.setScale(4);
    md.setAllFieldsToNoChange();
    EXPECT_EQ(md.getDataType().toInteger(), -3);
    EXPECT_EQ(md.getArgType().toInteger(), -3);
    EXPECT_EQ(md.getNumCharsMax().toInteger(), -3);
    EXPECT_EQ(md.getScale().toInteger(), 4);
}

TEST(XMetadataTest, AllBaseFieldsInitialized) {
    // type, argument kind, length, initialised without / with the length;
    // the length placeholder and an invalid type count as set
    const int cases[][5] = {{1002, 1, 10, 1, 1}, {1002, 1, -4, 1, 1}, {1002, 1, -1, 1, 0},
                            {-1, 1, 10, 0, 0},   {1002, -1, 10, 0, 0}, {-2, 0, 0, 1, 1}};
    for (const auto& [type, argType, length, withoutLength, withLength] : cases) {
        XMetadata md;
        md.setDataType(XType(type));
        md.setArgType(argType);
        md.setNumCharsMax(length);
        EXPECT_EQ(md.isAllBaseFieldsInitialized(0), withoutLength) << type << " " << argType << " " << length;
        EXPECT_EQ(md.isAllBaseFieldsInitialized(1), withLength) << type << " " << argType << " " << length;
    }
}

// ===== upgrade records =====

TEST(XMetadataTest, UpgradeRecordsTwoDataTypesAreSeparate) {
    XMetadata md;
    EXPECT_THROW(md.getDataType60(), QvAssertFailure);  // the accessors need the record
    EXPECT_THROW(md.setNumCharsMax60(3), QvAssertFailure);
    EXPECT_THROW(md.getAggType60(), QvAssertFailure);
    md.allocUgdInfo();
    md.setDataType60(XType(eXDT_FLOAT));
    md.setDataType60NoCF(XType(eXDT_DEC18_FIXED));
    EXPECT_EQ(md.getDataType60().toInteger(), 1005);
    EXPECT_EQ(md.getDataType60NoCF().toInteger(), 1009);
    md.setDataType60(1002u);
    EXPECT_EQ(md.getDataType60().toInteger(), 1002);
    EXPECT_EQ(md.getDataType60NoCF().toInteger(), 1009);
    expectInvariant([&] { md.allocUgdInfo(); }, 144);
}

TEST(XMetadataTest, CopyUgdInfoNeedsBothRecords) {
    XMetadata source;
    source.allocUgdInfo();
    source.setDataType60(1013u);
    source.setExprPortId60(4);
    XMetadata target;
    EXPECT_THROW(target.copyUgdInfo(&source), QvAssertFailure);
    target.allocUgdInfo();
    target.copyUgdInfo(&source);
    EXPECT_EQ(target.getDataType60().toInteger(), 1013);
    EXPECT_EQ(target.getExprPortId60().toInteger(), 4);
    XMetadata plain;
    EXPECT_THROW(target.copyUgdInfo(&plain), QvAssertFailure);
}

// ===== copies =====

TEST(XMetadataTest, CopyTakesEveryFieldAndAnUpgradeRecordOfItsOwn) {
    TrtInfo trt;
    XMetadata source;
    source.setDataType(XType(eXDT_STRING));
    source.setNumCharsMax(8);
    source.setScale(0);
    source.setRef(QvRef(&objectA));
    source.setIsConst(1);
    source.setIsValueRefSet(1);
    source.setContainsNullChild(1);
    source.setTrtInfo(&trt);
    source.allocUgdInfo();
    source.setAggType60(2);

    XMetadata copy(source);
    EXPECT_EQ(copy.getDataType().toInteger(), 1003);
    EXPECT_EQ(copy.getNumCharsMax().toInteger(), 8);
    EXPECT_EQ(copy.getRef().getPtr(), &objectA);
    EXPECT_TRUE(copy.isConst() && copy.isValueRefSet() && copy.containsNullChild());
    EXPECT_EQ(copy.getTrtInfoV(), &trt);
    ASSERT_TRUE(copy.hasUgdInfo());
    EXPECT_EQ(copy.getAggType60(), 2);
    copy.setAggType60(5);
    EXPECT_EQ(source.getAggType60(), 2);  // not shared

    XMetadataPort port;
    port.setPortId(12);
    XMetadataPort portCopy(port);
    EXPECT_EQ(portCopy.getPortId().toInteger(), 12);
    EXPECT_EQ(portCopy.getClassId(), 3001);
    XMetadata target;  // assignment replaces the upgrade record
    target.allocUgdInfo();
    target = XMetadata();
    EXPECT_FALSE(target.hasUgdInfo());
    target = source;
    target = target;
    ASSERT_TRUE(target.hasUgdInfo());
    EXPECT_EQ(target.getAggType60(), 2);
}

// The fields most records never set live apart from the record; every
// one must still read, copy, assign and clear like the others.
TEST(XMetadataTest, RarelySetFieldsCopyAssignAndClearIndividually) {
    TrtInfo trt;
    int attrs = 0;
    XMetadata source;
    source.setIsParam(7);
    source.setIsWindowFunc(1);
    source.setTypeAttrs(&attrs);
    source.setTrtInfo(&trt);
    source.setDeleteMetadataPtr(&deleteNothing);

    XMetadata target;
    target.setIsConst(1);
    target = source;
    EXPECT_EQ(target.isConst(), 0);  // assignment replaces, not merges
    EXPECT_EQ(target.isParam(), 7);
    EXPECT_EQ(target.isWindowFunc(), 1);
    EXPECT_EQ(target.getTypeAttrsV(), &attrs);
    EXPECT_EQ(target.getTrtInfoV(), &trt);
    EXPECT_EQ(target.getDeleteMetadataPtr(), &deleteNothing);
    target.setIsParam(0);
    target.setTypeAttrs(nullptr);
    EXPECT_EQ(target.isParam(), 0);
    EXPECT_EQ(target.getTypeAttrsV(), nullptr);
    EXPECT_EQ(source.isParam(), 7);  // not shared
    EXPECT_EQ(source.getTypeAttrsV(), &attrs);

    target = XMetadata();
    EXPECT_EQ(target.isWindowFunc(), 0);
    EXPECT_EQ(target.getTrtInfoV(), nullptr);
    EXPECT_EQ(target.getDeleteMetadataPtr(), nullptr);
    XMetadata cleared;
    cleared.setIsValueRefSet(0);
    cleared.setZevaTypeMetadata(nullptr);
    EXPECT_EQ(cleared.isValueRefSet(), 0);
    EXPECT_EQ(cleared.getZevaTypeMetadataV(), nullptr);
}

// ===== widget argument records =====

TEST(XMetadataWidgetTest, NoArgumentsMakeNoArray) {
    XMetadataWidget widget;
    EXPECT_THROW(widget.getArgMetadata(0), QvAssertFailure);
    EXPECT_EQ(widget.allocateArgMetadata(0), 0);
    EXPECT_EQ(widget.allocateArgMetadata(0), 0);
    EXPECT_EQ(widget.getNumArgs(), 0);
    EXPECT_THROW(widget.getArgMetadata(0), QvAssertFailure);
    EXPECT_THROW(widget.allocateArgMetadata(-1), QvAssertFailure);
}

TEST(XMetadataWidgetTest, ArgumentRecordsAreMadeOnce) {
    XMetadataWidget widget;
    ASSERT_EQ(widget.allocateArgMetadata(2), 0);
    EXPECT_EQ(widget.getNumArgs(), 2);
    XMetadataPort* first = widget.getArgMetadata(0);
    first->setDataType(XType(eXDT_DATE));
    EXPECT_EQ(widget.getArgMetadata(1)->getDataType().toInteger(), -1);
    EXPECT_EQ(widget.getArgMetadata(1)->getClassId(), 3001);
    EXPECT_EQ(widget.allocateArgMetadata(2), 0);
    EXPECT_EQ(widget.getArgMetadata(0), first);
    EXPECT_EQ(first->getDataType().toInteger(), 1007);
    expectInvariant([&] { widget.allocateArgMetadata(3); }, 184);
    EXPECT_THROW(widget.getArgMetadata(2), QvAssertFailure);
    EXPECT_THROW(widget.getArgMetadata(-1), QvAssertFailure);
}

TEST(XMetadataWidgetTest, UpgradeRecordsReachReturnAndArgumentRecords) {
    XMetadataWidget widget;
    widget.allocUgdInfo();
    ASSERT_EQ(widget.allocateArgMetadata(2), 0);
    EXPECT_TRUE(widget.getRetPortMetadata()->hasUgdInfo());
    EXPECT_TRUE(widget.getArgMetadata(0)->hasUgdInfo() && widget.getArgMetadata(1)->hasUgdInfo());
    // A repeated empty allocation keeps the return record.
    XMetadataWidget empty;
    empty.allocUgdInfo();
    EXPECT_EQ(empty.allocateArgMetadata(0), 0);
    empty.getRetPortMetadata()->setAggType60(2);
    EXPECT_EQ(empty.allocateArgMetadata(0), 0);
    EXPECT_EQ(empty.getRetPortMetadata()->getAggType60(), 2);
}

// ===== the delete function =====

namespace {

int g_deleteCalls = 0;
void* g_deleted = nullptr;
void countingDelete(void* object) {
    ++g_deleteCalls;
    g_deleted = object;
}

class DeleteCount : public ::testing::Test {
protected:
    void SetUp() override {
        g_deleteCalls = 0;
        g_deleted = nullptr;
    }
};

}  // namespace

TEST_F(DeleteCount, OnlyAWidgetWithAnObjectCallsTheDeleteFunction) {
    {
        XMetadataWidget widget;
        widget.setRef(QvRef(&objectA));
        widget.setDeleteMetadataPtr(&countingDelete);
        XMetadataWidget withoutObject;
        withoutObject.setDeleteMetadataPtr(&countingDelete);
        XMetadata plain;
        plain.setRef(QvRef(&objectA));
        plain.setDeleteMetadataPtr(&countingDelete);
        XMetadataPort port;
        port.setRef(QvRef(&objectA));
        port.setDeleteMetadataPtr(&countingDelete);
    }
    EXPECT_EQ(g_deleteCalls, 1);
    EXPECT_EQ(g_deleted, &objectA);
}

TEST_F(DeleteCount, CopiedWidgetDoesNotDeleteTheObjectAgain) {
    {
        XMetadataWidget widget;
        widget.setRef(QvRef(&objectA));
        widget.setDeleteMetadataPtr(&countingDelete);
        widget.allocateArgMetadata(1);
        widget.getArgMetadata(0)->setScale(3);
        XMetadataWidget copy(widget);
        EXPECT_EQ(copy.getRef().getPtr(), &objectA);
        EXPECT_EQ(copy.getDeleteMetadataPtr(), nullptr);
        EXPECT_EQ(copy.getNumArgs(), 1);
        EXPECT_NE(copy.getArgMetadata(0), widget.getArgMetadata(0));
        EXPECT_EQ(copy.getArgMetadata(0)->getScale().toInteger(), 3);
    }
    EXPECT_EQ(g_deleteCalls, 1);
}

TEST_F(DeleteCount, AssignedWidgetGivesUpItsOwnObjectFirst) {
    XMetadataWidget source;
    source.setRef(QvRef(&objectB));
    source.allocateArgMetadata(2);
    {
        XMetadataWidget target;
        target.setRef(QvRef(&objectA));
        target.setDeleteMetadataPtr(&countingDelete);
        target = source;
        EXPECT_EQ(g_deleteCalls, 1);
        EXPECT_EQ(g_deleted, &objectA);
        EXPECT_EQ(target.getRef().getPtr(), &objectB);
        EXPECT_EQ(target.getNumArgs(), 2);
    }
    EXPECT_EQ(g_deleteCalls, 1);
}

TEST(XMetadataTest, SetTakesTheLengthOfCustomVectorsOnly) {
    CustomSDKMgr* mgr = CustomSDKMgr::getInstance();
    QvCustomTypeDef vectorDef;
    vectorDef.name = "test.vector";
    vectorDef.traits = eQvTRT_VECTOR;
    vectorDef.valueSize = 8;
    QvCustomTypeDef scalarDef;
    scalarDef.name = "test.scalar";
    scalarDef.traits = eQvTRT_NUMERIC;
    scalarDef.valueSize = 8;
    const int vectorId = mgr->registerCustomType(vectorDef);
    const int scalarId = mgr->registerCustomType(scalarDef);
    ASSERT_GT(vectorId, 0);
    ASSERT_GT(scalarId, 0);

    XMetadata vector;
    vector.set(column(static_cast<unsigned int>(vectorId), 30), QvRef(), 1, 0);
    XMetadata scalar;
    scalar.set(column(static_cast<unsigned int>(scalarId), 30), QvRef(), 1, 0);
    mgr->unregisterAll();
    EXPECT_EQ(vector.getNumCharsMax().toInteger(), 30);
    EXPECT_EQ(scalar.getNumCharsMax().toInteger(), -4);
}
