// Metadata records: defaults, class identity across the family, the fill and
// copy rules, upgrade records and the argument records of widget calls. A
// record is compared whole, as the line xrecordtext.h prints for it.
#include "qvcmnexpr/xmetadata.h"

#include <gtest/gtest.h>

#include "qvcmnasrt.h"
#include "xrecordtext.h"
#include "xtestsupport.h"

namespace {

using xtestsupport::answers;
using xtestsupport::recordText;
using xtestsupport::typeText;
using xtestsupport::ServerMode;

// A host column description as a context would hand it to set().
SColMetadata column(unsigned int type, int length, int scale = 0, TrtInfo* trt = nullptr,
                    zeva_type_opd_metadata_struct* zeva = nullptr, const void* attrs = nullptr) {
    SColMetadata md;
    return md.set(type, length, scale, trt, zeva, attrs), md;
}

int objectA = 1, objectB = 2, attrs = 0;
TrtInfo trt;
zeva_type_opd_metadata_struct zeva;
const xtestsupport::PointerNames kNames = {{&objectA, "A"}, {&objectB, "B"}, {&trt, "T"}, {&zeva, "Z"}, {&attrs, "X"}};

std::string text(const XMetadata& md) { return recordText(md, kNames); }

void deleteNothing(void*) {}

template <class F> void expectInvariant(F&& f, int line) { xtestsupport::expectInvariant("xmetadata", f, line); }

}  // namespace

TEST(QvRefTest, CopiesThePointerAndKnowsItsClass) {
    QvRef ref(&objectA), copy(ref);
    EXPECT_TRUE(QvRef().isEmpty() && copy.getCPtr() == &objectA);
    copy.makeEmpty();
    EXPECT_TRUE(copy.getPtr() == nullptr && copy.isEmpty() && ref.getPtr() == &objectA);
    const QvCRef cref, &asBase = ref;
    EXPECT_EQ(answers({cref.getClassId(), asBase.getClassId(), cref.isClass(1001), asBase.isClass(1000),
                       asBase.isClass(1001), asBase.isClass(3000), QvRef::stc_isClass(1001), QvRef::stc_isClass(1000),
                       QvCRef::stc_isClass(1001)}), "1000 1001 0 1 1 0 1 1 0");
}

// Each record is its own class, the base record's and the host bases' (2000,
// 2001), and no other.
template <class Record> void expectIdentity(int ownId) {
    const Record record;
    const QvMetadataBase& asHost = record;
    EXPECT_EQ(asHost.getClassId(), ownId);
    for (int probe : {1000, 1001, 2000, 2001, 2002, 3000, 3001, 3002, 3003, 3004, 3005, -1}) {
        const int expected = probe == ownId || probe == 3000 || probe == 2001 || probe == 2000;
        EXPECT_EQ(answers({asHost.isClass(probe), Record::stc_isClass(probe)}), answers({expected, expected})) << probe;
    }
}

TEST(XMetadataTest, ClassIdentityAcrossTheFamily) {
    expectIdentity<XMetadata>(3000);
    expectIdentity<XMetadataPort>(3001);
    expectIdentity<XMetadataWidget>(3002);
    expectIdentity<XMetadataMapVar>(3003);
    expectIdentity<XMetadataWorkflowVar>(3004);
}

// The defaults other code reads: the argument kind and the length placeholder
// the host sees, and a mapping variable being a parameter of kind zero.
TEST(XMetadataTest, NewRecordDefaults) {
    const XMetadata md;
    EXPECT_EQ(answers({md.getArgTypeV(), md.getLengthV(), md.getScaleV()}), "1 -4 -1");
    EXPECT_EQ(text(XMetadataMapVar()), "UNINIT/-4/-1 a0 param1");
    XMetadataWidget widget;
    // Filling the return record does not mark it set; only the marking does.
    widget.getRetPortMetadata()->setDataType(XType(eXDT_FLOAT));
    EXPECT_EQ(answers({widget.getNumArgs(), widget.getRetPortMetadata()->getClassId(), widget.isRetPortMetadataSet()}),
              "-1 3001 0");
    EXPECT_EQ((widget.markRetPortMetadataSet(), widget.isRetPortMetadataSet()), 1);
}

// The host reads the type without folding BOOLEAN; the reference is set once
// only, but an empty handle leaves room for a later one.
TEST(XMetadataTest, HostTypeAndOnceOnlyReference) {
    XMetadata md;
    md.setDataType(XType(eXDT_BOOLEAN));
    EXPECT_EQ(answers({md.getCDataTypeV(), md.getCDataType()}), "1021 1021");
    md.setRef(QvRef());
    md.setRef(QvRef(&objectA));
    EXPECT_EQ(md.getCRef().getCPtr(), &objectA);
    expectInvariant([&] { md.setRef(QvRef(&objectB)); }, 128);
}

// Strings of the server's mode, binary values and custom vectors have a length.
TEST(XMetadataTest, SetTakesTheLengthOnlyForTypesThatHaveOne) {
    CustomSDKMgr* mgr = CustomSDKMgr::getInstance();
    QvCustomTypeDef vectorDef, scalarDef;
    vectorDef.name = "test.vector", vectorDef.traits = eQvTRT_VECTOR, vectorDef.valueSize = 8;
    scalarDef.name = "test.scalar", scalarDef.traits = eQvTRT_NUMERIC, scalarDef.valueSize = 8;
    ASSERT_TRUE(mgr->registerCustomType(vectorDef, 1025) == 1025 && mgr->registerCustomType(scalarDef, 1026) == 1026);
    const int cases[][4] = {  // 8-bit server mode, host type, length, length kept
        {0, 1006, 10, 10},
        {0, 1014, 10, 10},
        {0, 1003, 10, -4},
        {1, 1003, 10, 10},
        {0, 1025, 30, 30},
        {0, 1026, 30, -4},
    };
    for (const auto& [ascii, type, length, kept] : cases) {
        ServerMode mode(ascii);
        XMetadata md;
        md.set(column(static_cast<unsigned int>(type), length, 3), QvRef(&objectA), 1, 0);
        EXPECT_EQ(text(md), typeText(XType(type)) + "/" + std::to_string(kept) + "/3 a1 ref=A") << ascii;
    }
    mgr->unregisterAll();
}

// set() takes the host's descriptors and the argument kind; in the
// high-precision mode (on unless configured otherwise) it may take the
// type's equivalent; set() on a record with a reference fails an invariant.
TEST(XMetadataTest, SetTakesDescriptorsArgumentKindAndEquivalence) {
    XMetadata md, plain, equivalent, referenced;
    md.set(column(1002, 10, 2, &trt, &zeva, &attrs), QvRef(&objectA), 16, 0);
    plain.set(column(1009, 10), QvRef(), 1, 0);
    equivalent.set(column(1010, 20), QvRef(), 1, 1);
    EXPECT_EQ(text(md) + "|" + text(plain) + "|" + text(equivalent),
              "INT/-4/2 a16 ref=A trt=T attrs=X zeva=Z|DEC18_FIXED/-4/0 a1|DEC28/-4/0 a1");
    referenced.setRef(QvRef(&objectA));
    expectInvariant([&] { referenced.set(column(1002, 10), QvRef(&objectB), 1, 0); }, 128);
}

// set() from a library record takes its argument kind; into an upgrade
// record it keeps the older type as the host gave it.
TEST(XMetadataTest, SetFromALibraryRecordAndIntoAnUpgradeRecord) {
    XMetadataMapVar source;
    source.setDataType(XType(eXDT_INT));
    XMetadataPort port;
    port.setPt(source, 7, QvRef(&objectA), 0);
    EXPECT_EQ(text(port) + " port" + std::to_string(port.getPortId().toInteger()), "INT/-4/-1 a0 ref=A port7");
    XMetadata md;
    md.allocUgdInfo();
    md.set(column(1009, 12), QvRef(), 1, 1);
    EXPECT_EQ(text(md), "DEC18/-4/0 a1 old DEC18_FIXED/12 agg-1");
}

TEST(XMetadataTest, SetMvMetaForcesArgumentKindZero) {
    XMetadataPort source;
    source.setDataType(XType(eXDT_BIGINT));
    XMetadataMapVar md;
    md.setMvMeta(source, QvRef(&objectA), 0, eXMVT_MAX, 1);
    EXPECT_EQ(text(md), "BIGINT/-4/-1 a0 param1 ref=A");
    EXPECT_EQ(answers({md.getMapVarType(), md.getIsAggContext()}), answers({eXMVT_MAX, 1}));
    md.setIsAggContext(5);  // true only for 1
    EXPECT_EQ(md.getIsAggContext(), 0);
}

// Type, length, kind, scale and descriptors travel; the target's reference
// and flags stay. No equivalence is applied, and a type without a length
// keeps the target's.
TEST(XMetadataTest, CopyMetadataLeavesReferenceFlagsAndDeleteFunction) {
    XMetadata source, target, fixed;
    source.set(column(1014, 25, 0, &trt, &zeva, &attrs), QvRef(&objectA), 16, 0);
    source.setIsConst(1), source.setIsParam(1), source.setIsWindowFunc(1);
    target.setRef(QvRef(&objectB));
    XMetadata::copyMetadata(&source, &target);
    EXPECT_EQ(text(target), "UNISTRING/25/0 a16 ref=B trt=T attrs=X zeva=Z");
    EXPECT_THROW(XMetadata::copyMetadata(nullptr, &target), QvAssertFailure);
    EXPECT_THROW(XMetadata::copyMetadata(&target, nullptr), QvAssertFailure);
    fixed.setDataType(XType(eXDT_DEC18_FIXED)), fixed.setNumCharsMax(12), target.setNumCharsMax(40);
    target.copyFromV(&fixed);
    EXPECT_EQ(text(target), "DEC18_FIXED/40/-1 a1 ref=B");
}

// Only type and length of the older values travel, and only between two
// upgrade records.
TEST(XMetadataTest, CopyMetadataCarriesOlderValuesBetweenUpgradeRecords) {
    XMetadata source, target, plainSource, plainTarget;
    source.allocUgdInfo(), target.allocUgdInfo();
    source.setDataType60(1010u), source.setNumCharsMax60(20), source.setAggType60(3);
    XMetadata::copyMetadata(&source, &target);
    EXPECT_EQ(text(target), "UNINIT/-4/-1 a1 old DEC28_FIXED/20 agg-1");
    plainSource.setDataType(XType(eXDT_INT));
    XMetadata::copyMetadata(&plainSource, &target);
    EXPECT_EQ(text(target), "INT/-4/-1 a1 old DEC28_FIXED/20 agg-1");
    XMetadata::copyMetadata(&source, &plainTarget);
    EXPECT_FALSE(plainTarget.hasUgdInfo());
}

TEST(XMetadataTest, AllBaseFieldsInitialized) {
    // type, argument kind, length, initialised without / with the length;
    // the length placeholder and an invalid type count as set
    const int cases[][5] = {
        {1002, 1, 10, 1, 1},
        {1002, 1, -1, 1, 0},
        {-1, 1, 10, 0, 0},
        {1002, -1, 10, 0, 0},
    };
    for (const auto& [type, argType, length, withoutLength, withLength] : cases) {
        XMetadata md;
        md.setDataType(XType(type)), md.setArgType(argType), md.setNumCharsMax(length);
        EXPECT_EQ(answers({md.isAllBaseFieldsInitialized(0), md.isAllBaseFieldsInitialized(1)}),
                  answers({withoutLength, withLength})) << type << " " << argType << " " << length;
    }
    // "No change" marks type, argument kind and length, and counts as set.
    XMetadata md;
    md.setScale(4), md.setAllFieldsToNoChange();
    EXPECT_EQ(text(md) + " " + answers({md.isAllBaseFieldsInitialized(1)}), "NOCHANGE/-3/4 a-3 1");
}

TEST(XMetadataTest, UpgradeRecordsTwoDataTypesAreSeparate) {
    XMetadata md;
    EXPECT_THROW(md.getDataType60(), QvAssertFailure);  // the accessors need the record
    EXPECT_THROW(md.setNumCharsMax60(3), QvAssertFailure);
    EXPECT_THROW(md.getAggType60(), QvAssertFailure);
    md.allocUgdInfo();
    md.setDataType60(XType(eXDT_FLOAT)), md.setDataType60NoCF(XType(eXDT_DEC18_FIXED));
    EXPECT_EQ(md.getDataType60().toInteger(), 1005);
    md.setDataType60(1002u);
    EXPECT_EQ(answers({md.getDataType60().toInteger(), md.getDataType60NoCF().toInteger()}), "1002 1009");
    expectInvariant([&] { md.allocUgdInfo(); }, 144);
    // Copying an upgrade record needs one on both sides.
    XMetadata target, plain;
    md.setExprPortId60(4);
    EXPECT_THROW(target.copyUgdInfo(&md), QvAssertFailure);
    target.allocUgdInfo(), target.copyUgdInfo(&md);
    EXPECT_EQ(answers({target.getDataType60().toInteger(), target.getExprPortId60().toInteger()}), "1002 4");
    EXPECT_THROW(target.copyUgdInfo(&plain), QvAssertFailure);
}

// A copy takes every field and an upgrade record of its own; assignment
// replaces every field, not merges. The fields most records never set live
// apart from the record; each must still copy, assign and clear like the rest.
TEST(XMetadataTest, CopyAndAssignmentTakeEveryField) {
    XMetadata source, target;
    source.setZevaTypeMetadata(&zeva), source.setDataType(XType(eXDT_STRING)), source.setNumCharsMax(8);
    source.setScale(0), source.setRef(QvRef(&objectA)), source.setIsConst(1), source.setIsParam(7);
    source.setIsWindowFunc(1), source.setIsValueRefSet(1), source.setContainsNullChild(1), source.setTrtInfo(&trt);
    source.setTypeAttrs(&attrs), source.setDeleteMetadataPtr(&deleteNothing), source.allocUgdInfo();
    source.setAggType60(2);
    XMetadata copy(source);
    copy.setAggType60(5), copy.setIsParam(0), copy.setTypeAttrs(nullptr);
    EXPECT_EQ(text(source),
              "STRING/8/0 a1 const param7 window valueRef nullChild ref=A trt=T attrs=X zeva=Z old UNINIT/-1 agg2");
    EXPECT_EQ(text(copy), "STRING/8/0 a1 const window valueRef nullChild ref=A trt=T zeva=Z old UNINIT/-1 agg5");
    target.setIsParam(3);
    target = copy;
    target = target;
    EXPECT_EQ(text(target) + (target.getDeleteMetadataPtr() == &deleteNothing ? "+del" : ""), text(copy) + "+del");
    target = XMetadata();
    EXPECT_EQ(text(target) + (target.getDeleteMetadataPtr() ? " delete" : ""), "UNINIT/-4/-1 a1");
    XMetadataPort port;
    port.setPortId(12);
    EXPECT_EQ(XMetadataPort(port).getPortId().toInteger(), 12);
}

// No arguments make no array; argument records are made once.
TEST(XMetadataWidgetTest, ArgumentRecordsAreMadeOnce) {
    XMetadataWidget widget, none;
    EXPECT_THROW(none.getArgMetadata(0), QvAssertFailure);
    EXPECT_EQ(answers({none.allocateArgMetadata(0), none.allocateArgMetadata(0), none.getNumArgs()}), "0 0 0");
    EXPECT_THROW(none.getArgMetadata(0), QvAssertFailure);
    EXPECT_THROW(none.allocateArgMetadata(-1), QvAssertFailure);
    ASSERT_EQ(widget.allocateArgMetadata(2), 0);
    XMetadataPort* first = widget.getArgMetadata(0);
    EXPECT_EQ(answers({widget.getNumArgs(), widget.getArgMetadata(1)->getDataType().toInteger(),
                       widget.getArgMetadata(1)->getClassId(), widget.allocateArgMetadata(2)}), "2 -1 3001 0");
    const XMetadataWidget& view = widget;
    EXPECT_TRUE(widget.getArgMetadata(0) == first && view.getArgMetadata(0) == first);
    EXPECT_THROW(view.getArgMetadata(2), QvAssertFailure);
    expectInvariant([&] { widget.allocateArgMetadata(3); }, 184);
    for (int i : {2, -1}) EXPECT_THROW(widget.getArgMetadata(i), QvAssertFailure);
    widget = XMetadataWidget();  // assigning a widget without arguments drops the records
    EXPECT_EQ(answers({widget.allocateArgMetadata(3), widget.getNumArgs()}), "0 3");
}

// Upgrade records reach the return and argument records; a repeated empty
// allocation keeps the return record.
TEST(XMetadataWidgetTest, UpgradeRecordsReachReturnAndArgumentRecords) {
    XMetadataWidget widget, empty;
    widget.allocUgdInfo();
    ASSERT_EQ(widget.allocateArgMetadata(2), 0);
    EXPECT_TRUE(widget.getRetPortMetadata()->hasUgdInfo() && widget.getArgMetadata(0)->hasUgdInfo() &&
                widget.getArgMetadata(1)->hasUgdInfo());
    empty.allocUgdInfo();
    EXPECT_EQ(empty.allocateArgMetadata(0), 0);
    empty.getRetPortMetadata()->setAggType60(2);
    EXPECT_EQ(answers({empty.allocateArgMetadata(0), empty.getRetPortMetadata()->getAggType60()}), "0 2");
}

namespace {
std::string g_deleted;
void countingDelete(void* object) { g_deleted += object == &objectA ? "A" : object == &objectB ? "B" : "?"; }
}  // namespace

// Only a widget with an object calls its delete function, once: a copy does
// not take the function, and an assigned widget gives up its own object first.
TEST(DeleteCount, OnlyTheWidgetThatOwnsAnObjectDeletesIt) {
    {
        XMetadataWidget widget, withoutObject;
        XMetadata plain;
        XMetadataPort port;
        widget.setRef(QvRef(&objectA)), plain.setRef(QvRef(&objectA)), port.setRef(QvRef(&objectA));
        for (XMetadata* md : std::initializer_list<XMetadata*>{&widget, &withoutObject, &plain, &port})
            md->setDeleteMetadataPtr(&countingDelete);
        widget.allocateArgMetadata(1), widget.getArgMetadata(0)->setScale(3);
        XMetadataWidget copy(widget);
        EXPECT_TRUE(copy.getRef().getPtr() == &objectA && copy.getDeleteMetadataPtr() == nullptr);
        EXPECT_NE(copy.getArgMetadata(0), widget.getArgMetadata(0));
        EXPECT_EQ(answers({copy.getNumArgs(), copy.getArgMetadata(0)->getScale().toInteger()}), "1 3");
    }
    EXPECT_EQ(g_deleted, "A");
    XMetadataWidget source;
    source.setRef(QvRef(&objectB)), source.allocateArgMetadata(2);
    {
        XMetadataWidget target;
        target.setRef(QvRef(&objectA)), target.setDeleteMetadataPtr(&countingDelete);
        target = source;
        EXPECT_EQ(g_deleted, "AA");
        EXPECT_TRUE(target.getRef().getPtr() == &objectB && target.getNumArgs() == 2);
    }
    EXPECT_EQ(g_deleted, "AA");
}
