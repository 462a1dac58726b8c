// Metadata records: what a syntax-tree node's value looks like to the host
// platform (type, length, scale, argument kind, the caller's object it refers
// to, a few flags and the host's type descriptors). The caller's context fills
// the records of reference nodes while the validator resolves them; the
// validator fills the others from the types it computes. During an upgrade
// parse a record also carries the values an older release of the language
// would have given (XMetadataUgdInfo).
//
// The family is small and closed: XMetadata for plain nodes, XMetadataPort
// for ports, XMetadataMapVar / XMetadataWorkflowVar for variables and
// XMetadataWidget for calls of lookups, procedures and external functions.
// Host code reads any of them through the virtual getters of the host base
// classes, and tells them apart with getClassId/isClass.
#pragma once

#include <memory>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcmnexpr/qvref.h"
#include "qvcmnexpr/xtype.h"
#include "qvutils.h"

// Aggregation type of a mapping variable, which decides the SET...VARIABLE
// functions that may assign it.
enum EXMapVarType : int {
    eXMVT_UNINIT = -1,
    eXMVT_NONE = 0,      // no aggregation type: no SET...VARIABLE may assign it
    eXMVT_ANY = 1,       // accepted by SETCOUNT/SETMAX/SETMINVARIABLE, with a warning
    eXMVT_COUNT = 2,
    eXMVT_MAX = 3,
    eXMVT_MIN = 4,
};

// What an older release of the language gave a node; exists only while an
// expression is parsed for upgrade.
struct XMetadataUgdInfo {
    XType m_dataType;
    XBooleanInt m_isConst;
    XType m_dataTypeNoCF;
    XBooleanInt m_carriedFlag;  // carried along with the record, never read
    XNonNegInt m_numCharsMax;
    XNonNegInt m_numDataBytes;
    int m_aggType = -1;
    XNonNegInt m_exprPortId;
};

class QVCMNEXPR_API XMetadata : public XMetadataBase {
public:
    static constexpr int cls_classId = 3000;
    using DeleteFn = void (*)(void*);

    XMetadata();
    // A copy gets an upgrade record of its own when `other` has one.
    XMetadata(const XMetadata& other);
    XMetadata& operator=(const XMetadata& other);
    ~XMetadata() override;

    // ---- what the host reads ----
    unsigned int getCDataTypeV() const override;
    int getLengthV() const override;
    int getScaleV() const override;
    const void* getTypeAttrsV() const override;
    zeva_type_opd_metadata_struct* getZevaTypeMetadataV() const override;
    TrtInfo* getTrtInfoV() const override;
    int getClassId() const override;
    int isClass(int id) const override;
    int getArgTypeV() const override;
    void copyFromV(const XMetadataBase* source) override;
    static int stc_isClass(int id);

    // ---- plain fields ----
    XType getDataType() const { return XType(m_dataType); }
    void setDataType(XType type) { m_dataType = type.toInteger(); }
    void setDataType(unsigned int hostType, int useEquivalent) {
        XType type;
        type.set(hostType, useEquivalent);
        m_dataType = type.toInteger();
    }
    unsigned int getCDataType() const { return getCDataTypeV(); }
    XNonNegInt getArgType() const { return m_argType; }
    void setArgType(int argType) { m_argType.set(argType); }
    XNonNegInt getNumCharsMax() const { return m_numCharsMax; }
    void setNumCharsMax(int numCharsMax) { m_numCharsMax.set(numCharsMax); }
    int& getNumCharsMaxRef() { return m_numCharsMax.getRefAsInteger(); }
    XNonNegInt getScale() const { return m_scale; }
    void setScale(int scale) { m_scale.set(scale); }

    // The caller's object. A record refers to one object for its life: a
    // second setRef on a record that already has one is an invariant failure.
    const QvRef& getRef() const { return m_ref; }
    const QvCRef& getCRef() const { return m_ref; }
    void setRef(const QvRef& ref);

    int isConst() const;
    void setIsConst(int on);
    int isParam() const;
    void setIsParam(int on);
    int isValueRefSet() const;
    void setIsValueRefSet(int on);
    int isWindowFunc() const;
    void setIsWindowFunc(int on);
    int containsNullChild() const;
    void setContainsNullChild(int on);

    // Host descriptors and type attributes; stored, never owned.
    void setTypeAttrs(const void* typeAttrs);
    // Sets the type attributes and keeps them alive as long as the record
    // (or a copy of it) lives, even after another setTypeAttrs.
    void adoptTypeAttrs(std::shared_ptr<const void> typeAttrs);
    void setTrtInfo(TrtInfo* trtInfo);
    void setZevaTypeMetadata(zeva_type_opd_metadata_struct* md);
    // Only widget records call it, on their referenced object, when they die.
    void setDeleteMetadataPtr(DeleteFn fn);
    DeleteFn getDeleteMetadataPtr() const;

    // ---- filling a record from the caller's description ----
    // Takes type, scale, descriptors and argument kind from `source`; the
    // length only for types that have one (see hasLength).
    void set(const QvMetadataBase& source, const QvRef& ref, int argType, int useEquivalent);
    void set(const XMetadataBase& source, const QvRef& ref, int useEquivalent);
    // Like set, but keeps target's reference, flags and delete function.
    static void copyMetadata(const XMetadataBase* source, XMetadata* target);

    // Marks type, argument kind and length as "leave unchanged".
    void setAllFieldsToNoChange();
    int isAllBaseFieldsInitialized(int withLength) const;

    // ---- upgrade record ----
    // Allocating twice is an invariant failure; callers that may meet a
    // record that already has one test hasUgdInfo first.
    void allocUgdInfo();
    int hasUgdInfo() const;
    // Both records must have an upgrade record.
    void copyUgdInfo(const XMetadata* other);
    // The accessors below require an upgrade record.
    XType getDataType60() const;
    void setDataType60(unsigned int hostType);
    void setDataType60(XType type);
    XType getDataType60NoCF() const;
    void setDataType60NoCF(XType type);
    XBooleanInt getIsConst60() const;
    void setIsConst60(XBooleanInt isConst);
    XNonNegInt getNumCharsMax60() const;
    void setNumCharsMax60(int numCharsMax);
    XNonNegInt getNumDataBytes60() const;
    void setNumDataBytes60(int numDataBytes);
    int getAggType60() const;
    void setAggType60(int aggType);
    XNonNegInt getExprPortId60() const;
    void setExprPortId60(int exprPortId);

protected:
    // Empties the reference without the set-once check; for the widget
    // record, which gives up its object when it dies or is overwritten.
    void releaseRef() { m_ref.makeEmpty(); }

private:
    // A node whose record lies in its own block skips the record's
    // destructor when there is nothing for it to free (xnode.cpp).
    friend class XNode;

    // The fields few records use; defined in xmetadata.cpp.
    struct Extra;

    bool holdsSideRecord() const { return m_extra != nullptr; }

    // Types whose values have a length of their own: the current mode's
    // string type, BINARY and custom vectors.
    static int hasLength(XType type);
    XMetadataUgdInfo& ugd();
    const XMetadataUgdInfo& ugd() const;
    XMetadataUgdInfo* ugdOrNull() const;
    // The rare fields, made on the first write of a value that is not the
    // default.
    Extra& extra();

    // Every node has a record, and most records only ever hold the type,
    // the lengths and the reference: those stay here, packed (the type as
    // its number: an XType object would add its vtable pointer). Host
    // descriptors, the delete function, the flags (set on widget arguments,
    // variables and a few other records) and the upgrade record live in the
    // Extra record, which most records never get. Reading a field with no
    // Extra gives its default.
    int32_t m_dataType = eXMINT_UNINIT;
    XNonNegInt m_argType;
    XNonNegInt m_numCharsMax;
    XNonNegInt m_scale;
    QvRef m_ref;
    std::unique_ptr<Extra> m_extra;
};

class QVCMNEXPR_API XMetadataPort : public XMetadata {
public:
    static constexpr int cls_classId = 3001;

    XMetadataPort() = default;
    XMetadataPort(const XMetadataPort& other) = default;
    XMetadataPort& operator=(const XMetadataPort& other) = default;
    ~XMetadataPort() override;

    int getClassId() const override;
    int isClass(int id) const override;
    static int stc_isClass(int id);

    XNonNegInt getPortId() const { return m_portId; }
    void setPortId(unsigned int portId) { m_portId.set(portId); }
    // set(source, ref, useEquivalent), then the port identifier.
    void setPt(const XMetadataBase& source, int portId, const QvRef& ref, int useEquivalent);

private:
    XNonNegInt m_portId{0};
};

class QVCMNEXPR_API XMetadataMapVar : public XMetadata {
public:
    static constexpr int cls_classId = 3003;

    // A mapping variable is a parameter of argument kind 0.
    XMetadataMapVar();
    XMetadataMapVar(const XMetadataMapVar& other) = default;
    XMetadataMapVar& operator=(const XMetadataMapVar& other) = default;
    ~XMetadataMapVar() override;

    int getClassId() const override;
    int isClass(int id) const override;
    static int stc_isClass(int id);

    EXMapVarType getMapVarType() const { return m_mapVarType; }
    void setMapVarType(EXMapVarType type) { m_mapVarType = type; }
    int getIsAggContext() const { return m_isAggContext.isTrue(); }
    void setIsAggContext(int on) { m_isAggContext.set(on); }
    // set(source, ref, 0, useEquivalent), then the type and the context.
    void setMvMeta(const QvMetadataBase& source, const QvRef& ref, int useEquivalent,
                   EXMapVarType type, int isAggContext);

private:
    EXMapVarType m_mapVarType = eXMVT_UNINIT;
    XBooleanInt m_isAggContext;
};

class QVCMNEXPR_API XMetadataWorkflowVar : public XMetadata {
public:
    static constexpr int cls_classId = 3004;

    XMetadataWorkflowVar() = default;
    XMetadataWorkflowVar(const XMetadataWorkflowVar& other) = default;
    XMetadataWorkflowVar& operator=(const XMetadataWorkflowVar& other) = default;
    ~XMetadataWorkflowVar() override;

    int getClassId() const override;
    int isClass(int id) const override;
    static int stc_isClass(int id);
};

// A call of a lookup, procedure or external function: its own record plus
// one record for the return port and one per declared argument. When a
// delete function is set, the record owns the caller object it refers to.
class QVCMNEXPR_API XMetadataWidget : public XMetadata {
public:
    static constexpr int cls_classId = 3002;

    XMetadataWidget() = default;
    // Copies deep (argument records included) but not the ownership of the
    // referenced object: the copy refers to it without a delete function.
    XMetadataWidget(const XMetadataWidget& other);
    // Gives up the object this record owns first, as destruction would.
    XMetadataWidget& operator=(const XMetadataWidget& other);
    ~XMetadataWidget() override;

    int getClassId() const override;
    int isClass(int id) const override;
    static int stc_isClass(int id);

    // Makes `count` argument records once; a later call must name the same
    // count. -1 when memory runs out.
    int allocateArgMetadata(int count);
    int getNumArgs() const { return m_numArgs; }
    // 0 <= i < getNumArgs().
    XMetadataPort* getArgMetadata(int i);
    const XMetadataPort* getArgMetadata(int i) const;
    XMetadataPort* getRetPortMetadata() { return &m_retPortMetadata; }
    const XMetadataPort* getRetPortMetadata() const { return &m_retPortMetadata; }
    int isRetPortMetadataSet() const { return m_retPortSet; }
    void markRetPortMetadataSet() { m_retPortSet = 1; }

private:
    void releaseOwnedObject();
    void copyWidgetFields(const XMetadataWidget& other);

    XMetadataPort m_retPortMetadata;
    int m_retPortSet = 0;
    int m_numArgs = -1;
    std::unique_ptr<XMetadataPort[]> m_argMetadata;
};
