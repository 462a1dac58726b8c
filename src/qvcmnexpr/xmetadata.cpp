// Metadata records of syntax-tree nodes and the handles to caller objects
// they hold. The fill operations (set, copyMetadata) are the one place that
// decides which of a source's fields a record takes: a length only travels
// with types whose values have one, so a port's declared length does not leak
// into an INT node.
#include "qvcmnexpr/xmetadata.h"

#include <new>

#include "qvcmnasrt.h"

namespace {

constexpr const char* kUnit = "xmetadata";
// The line numbers the platform's assertion reports have always carried for
// these invariants; embedding applications recognise them.
constexpr int kLineSetRefTwice = 128;
constexpr int kLineUgdInfoTwice = 144;
constexpr int kLineArgCountChanged = 184;

void failInvariant(int line) { QvAssertHandler(kUnit, line); }

}  // namespace

// ===== QvCRef, QvRef =====

QvCRef::~QvCRef() = default;
int QvCRef::getClassId() const { return cls_classId; }
int QvCRef::isClass(int id) const { return stc_isClass(id); }
int QvCRef::stc_isClass(int id) { return id == cls_classId ? 1 : 0; }

QvRef::~QvRef() = default;
int QvRef::getClassId() const { return cls_classId; }
int QvRef::isClass(int id) const { return stc_isClass(id); }
int QvRef::stc_isClass(int id) { return id == cls_classId ? 1 : QvCRef::stc_isClass(id); }

// ===== XMetadata =====

struct XMetadata::Extra {
    // An upgrade record of its own: copying copies it, never shares it.
    // Held by pointer so that the records that never take part in an
    // upgrade (all but a few) keep their Extra small.
    struct OwnedUgdInfo {
        std::unique_ptr<XMetadataUgdInfo> info;

        OwnedUgdInfo() = default;
        OwnedUgdInfo(const OwnedUgdInfo& other) : info(copyOf(other)) {}
        OwnedUgdInfo& operator=(const OwnedUgdInfo& other) {
            if (this != &other) info = copyOf(other);
            return *this;
        }
        static std::unique_ptr<XMetadataUgdInfo> copyOf(const OwnedUgdInfo& other) {
            return other.info ? std::make_unique<XMetadataUgdInfo>(*other.info) : nullptr;
        }
    };

    const void* typeAttrs = nullptr;
    TrtInfo* trtInfo = nullptr;
    zeva_type_opd_metadata_struct* zevaTypeMetadata = nullptr;
    DeleteFn deleteMetadataPtr = nullptr;
    int isConst = 0;
    int isParam = 0;
    int isValueRefSet = 0;
    int isWindowFunc = 0;
    int containsNullChild = 0;
    OwnedUgdInfo ugdInfo;
    // Type attributes made for this record (a member selected from an array
    // of structs); copies of the record share them.
    std::shared_ptr<const void> ownedTypeAttrs;
};

XMetadata::XMetadata() : m_argType(1), m_numCharsMax(static_cast<int>(eXMINT_DUMMY)) {}

XMetadata::XMetadata(const XMetadata& other)
    : XMetadataBase(other),
      m_dataType(other.m_dataType),
      m_argType(other.m_argType),
      m_numCharsMax(other.m_numCharsMax),
      m_scale(other.m_scale),
      m_ref(other.m_ref),
      m_extra(other.m_extra ? std::make_unique<Extra>(*other.m_extra) : nullptr) {}

XMetadata& XMetadata::operator=(const XMetadata& other) {
    if (this == &other) return *this;
    XMetadataBase::operator=(other);
    m_dataType = other.m_dataType;
    m_argType = other.m_argType;
    m_numCharsMax = other.m_numCharsMax;
    m_scale = other.m_scale;
    m_ref = other.m_ref;
    if (!other.m_extra)
        m_extra.reset();
    else if (m_extra)
        *m_extra = *other.m_extra;
    else
        m_extra = std::make_unique<Extra>(*other.m_extra);
    return *this;
}

XMetadata::~XMetadata() = default;

XMetadata::Extra& XMetadata::extra() {
    if (!m_extra) m_extra = std::make_unique<Extra>();
    return *m_extra;
}

// The flags live in the side record: reading one without a record answers
// 0, and clearing one needs no record.
#define XMETADATA_FLAG(field, setter)                                              \
    int XMetadata::field() const { return m_extra ? m_extra->field : 0; }         \
    void XMetadata::setter(int on) {                                               \
        if (on || m_extra) extra().field = on;                                     \
    }
XMETADATA_FLAG(isConst, setIsConst)
XMETADATA_FLAG(isParam, setIsParam)
XMETADATA_FLAG(isValueRefSet, setIsValueRefSet)
XMETADATA_FLAG(isWindowFunc, setIsWindowFunc)
XMETADATA_FLAG(containsNullChild, setContainsNullChild)
#undef XMETADATA_FLAG
void XMetadata::setTypeAttrs(const void* typeAttrs) {
    if (typeAttrs || m_extra) extra().typeAttrs = typeAttrs;
}
void XMetadata::adoptTypeAttrs(std::shared_ptr<const void> typeAttrs) {
    Extra& fields = extra();
    fields.typeAttrs = typeAttrs.get();
    fields.ownedTypeAttrs = std::move(typeAttrs);
}
void XMetadata::setTrtInfo(TrtInfo* trtInfo) {
    if (trtInfo || m_extra) extra().trtInfo = trtInfo;
}
void XMetadata::setZevaTypeMetadata(zeva_type_opd_metadata_struct* md) {
    if (md || m_extra) extra().zevaTypeMetadata = md;
}
void XMetadata::setDeleteMetadataPtr(DeleteFn fn) {
    if (fn || m_extra) extra().deleteMetadataPtr = fn;
}
XMetadata::DeleteFn XMetadata::getDeleteMetadataPtr() const {
    return m_extra ? m_extra->deleteMetadataPtr : nullptr;
}

unsigned int XMetadata::getCDataTypeV() const {
    return static_cast<unsigned int>(getDataType().toCDataType(0));
}
int XMetadata::getLengthV() const { return m_numCharsMax.toInteger(); }
int XMetadata::getScaleV() const { return m_scale.toInteger(); }
const void* XMetadata::getTypeAttrsV() const { return m_extra ? m_extra->typeAttrs : nullptr; }
zeva_type_opd_metadata_struct* XMetadata::getZevaTypeMetadataV() const {
    return m_extra ? m_extra->zevaTypeMetadata : nullptr;
}
TrtInfo* XMetadata::getTrtInfoV() const { return m_extra ? m_extra->trtInfo : nullptr; }
int XMetadata::getClassId() const { return cls_classId; }
int XMetadata::isClass(int id) const { return stc_isClass(id); }
int XMetadata::getArgTypeV() const { return m_argType.toInteger(); }
void XMetadata::copyFromV(const XMetadataBase* source) { copyMetadata(source, this); }

int XMetadata::stc_isClass(int id) {
    return id == cls_classId ? 1 : (XMetadataBase::stc_isClass(id) ? 1 : 0);
}

void XMetadata::setRef(const QvRef& ref) {
    if (!m_ref.isEmpty()) failInvariant(kLineSetRefTwice);
    m_ref = ref;
}

int XMetadata::hasLength(XType type) {
    return type.isString(1) || type.isBinary() || type.isCustomVector();
}

void XMetadata::set(const QvMetadataBase& source, const QvRef& ref, int argType,
                    int useEquivalent) {
    setRef(ref);
    const unsigned int type = source.getCDataTypeV();
    if (hasUgdInfo()) {
        setDataType60(type);
        setNumCharsMax60(source.getLengthV());
    }
    setDataType(type, useEquivalent);
    m_scale.set(source.getScaleV());
    setTrtInfo(source.getTrtInfoV());
    setTypeAttrs(source.getTypeAttrsV());
    setZevaTypeMetadata(source.getZevaTypeMetadataV());
    m_argType.set(argType);
    if (hasLength(getDataType())) m_numCharsMax.set(source.getLengthV());
}

void XMetadata::set(const XMetadataBase& source, const QvRef& ref, int useEquivalent) {
    set(source, ref, source.getArgTypeV(), useEquivalent);
}

void XMetadata::copyMetadata(const XMetadataBase* source, XMetadata* target) {
    QV_ASSERT(source != nullptr && target != nullptr, kUnit);
    XMetadataUgdInfo* targetUgd = target->ugdOrNull();
    if (source->isClass(cls_classId) && targetUgd) {
        // The older release's values travel only between records that both
        // take part in the upgrade.
        const auto* xsource = static_cast<const XMetadata*>(source);
        if (const XMetadataUgdInfo* sourceUgd = xsource->ugdOrNull()) {
            targetUgd->m_dataType = sourceUgd->m_dataType;
            targetUgd->m_numCharsMax = sourceUgd->m_numCharsMax;
        }
    }
    target->setDataType(source->getCDataTypeV(), 0);
    target->m_argType.set(source->getArgTypeV());
    target->m_scale.set(source->getScaleV());
    target->setTypeAttrs(source->getTypeAttrsV());
    target->setTrtInfo(source->getTrtInfoV());
    target->setZevaTypeMetadata(source->getZevaTypeMetadataV());
    if (hasLength(target->getDataType())) target->m_numCharsMax.set(source->getLengthV());
}

void XMetadata::setAllFieldsToNoChange() {
    m_dataType = static_cast<int>(eXMINT_NOCHANGE);
    m_argType.set(static_cast<int>(eXMINT_NOCHANGE));
    m_numCharsMax.set(static_cast<int>(eXMINT_NOCHANGE));
}

int XMetadata::isAllBaseFieldsInitialized(int withLength) const {
    if (!getDataType().isInitialized() || !m_argType.isInitialized()) return 0;
    return (withLength == 0 || m_numCharsMax.isInitialized()) ? 1 : 0;
}

// ---- upgrade record ----

void XMetadata::allocUgdInfo() {
    if (hasUgdInfo()) failInvariant(kLineUgdInfoTwice);
    extra().ugdInfo.info = std::make_unique<XMetadataUgdInfo>();
}

int XMetadata::hasUgdInfo() const { return ugdOrNull() != nullptr ? 1 : 0; }

XMetadataUgdInfo* XMetadata::ugdOrNull() const {
    return m_extra ? m_extra->ugdInfo.info.get() : nullptr;
}

XMetadataUgdInfo& XMetadata::ugd() {
    XMetadataUgdInfo* info = ugdOrNull();
    QV_ASSERT(info != nullptr, kUnit);
    return *info;
}

const XMetadataUgdInfo& XMetadata::ugd() const {
    const XMetadataUgdInfo* info = ugdOrNull();
    QV_ASSERT(info != nullptr, kUnit);
    return *info;
}

void XMetadata::copyUgdInfo(const XMetadata* other) {
    QV_ASSERT(other != nullptr, kUnit);
    ugd() = other->ugd();
}

XType XMetadata::getDataType60() const { return ugd().m_dataType; }
// The older release's type is kept as the host gave it: a FIXED decimal stays
// FIXED here, unlike the record's own type.
void XMetadata::setDataType60(unsigned int hostType) {
    ugd().m_dataType.set(static_cast<int>(hostType));
}
void XMetadata::setDataType60(XType type) { ugd().m_dataType.set(type); }
XType XMetadata::getDataType60NoCF() const { return ugd().m_dataTypeNoCF; }
void XMetadata::setDataType60NoCF(XType type) { ugd().m_dataTypeNoCF.set(type); }
XBooleanInt XMetadata::getIsConst60() const { return ugd().m_isConst; }
void XMetadata::setIsConst60(XBooleanInt isConst) { ugd().m_isConst.set(isConst); }
XNonNegInt XMetadata::getNumCharsMax60() const { return ugd().m_numCharsMax; }
void XMetadata::setNumCharsMax60(int numCharsMax) { ugd().m_numCharsMax.set(numCharsMax); }
XNonNegInt XMetadata::getNumDataBytes60() const { return ugd().m_numDataBytes; }
void XMetadata::setNumDataBytes60(int numDataBytes) { ugd().m_numDataBytes.set(numDataBytes); }
int XMetadata::getAggType60() const { return ugd().m_aggType; }
void XMetadata::setAggType60(int aggType) { ugd().m_aggType = aggType; }
XNonNegInt XMetadata::getExprPortId60() const { return ugd().m_exprPortId; }
void XMetadata::setExprPortId60(int exprPortId) { ugd().m_exprPortId.set(exprPortId); }

// ===== XMetadataPort =====

XMetadataPort::~XMetadataPort() = default;
int XMetadataPort::getClassId() const { return cls_classId; }
int XMetadataPort::isClass(int id) const { return stc_isClass(id); }
int XMetadataPort::stc_isClass(int id) {
    return id == cls_classId ? 1 : XMetadata::stc_isClass(id);
}

void XMetadataPort::setPt(const XMetadataBase& source, int portId, const QvRef& ref,
                          int useEquivalent) {
    set(source, ref, useEquivalent);
    m_portId.set(portId);
}

// ===== XMetadataMapVar =====

XMetadataMapVar::XMetadataMapVar() {
    setArgType(0);
    setIsParam(1);
}

XMetadataMapVar::~XMetadataMapVar() = default;
int XMetadataMapVar::getClassId() const { return cls_classId; }
int XMetadataMapVar::isClass(int id) const { return stc_isClass(id); }
int XMetadataMapVar::stc_isClass(int id) {
    return id == cls_classId ? 1 : XMetadata::stc_isClass(id);
}

void XMetadataMapVar::setMvMeta(const QvMetadataBase& source, const QvRef& ref,
                                int useEquivalent, EXMapVarType type, int isAggContext) {
    set(source, ref, 0, useEquivalent);
    m_mapVarType = type;
    m_isAggContext.set(isAggContext);
}

// ===== XMetadataWorkflowVar =====

XMetadataWorkflowVar::~XMetadataWorkflowVar() = default;
int XMetadataWorkflowVar::getClassId() const { return cls_classId; }
int XMetadataWorkflowVar::isClass(int id) const { return stc_isClass(id); }
int XMetadataWorkflowVar::stc_isClass(int id) {
    return id == cls_classId ? 1 : XMetadata::stc_isClass(id);
}

// ===== XMetadataWidget =====

XMetadataWidget::XMetadataWidget(const XMetadataWidget& other)
    : XMetadata(other), m_retPortMetadata(other.m_retPortMetadata) {
    copyWidgetFields(other);
}

XMetadataWidget& XMetadataWidget::operator=(const XMetadataWidget& other) {
    if (this == &other) return *this;
    releaseOwnedObject();
    XMetadata::operator=(other);
    m_retPortMetadata = other.m_retPortMetadata;
    copyWidgetFields(other);
    return *this;
}

XMetadataWidget::~XMetadataWidget() { releaseOwnedObject(); }

// Only one record may delete the referenced object, so a copy refers to it
// without owning it.
void XMetadataWidget::copyWidgetFields(const XMetadataWidget& other) {
    setDeleteMetadataPtr(nullptr);
    m_retPortSet = other.m_retPortSet;
    m_numArgs = other.m_numArgs;
    m_argMetadata.reset();
    // Without a count the records cannot be copied, whatever was attached.
    if (!other.m_argMetadata || other.m_numArgs <= 0) return;
    m_argMetadata = std::make_unique<XMetadataPort[]>(static_cast<size_t>(other.m_numArgs));
    for (int i = 0; i < other.m_numArgs; ++i) m_argMetadata[i] = other.m_argMetadata[i];
}

void XMetadataWidget::releaseOwnedObject() {
    DeleteFn deleteFn = getDeleteMetadataPtr();
    if (deleteFn != nullptr && !getRef().isEmpty()) {
        deleteFn(getRef().getPtr());
        releaseRef();
    }
    setDeleteMetadataPtr(nullptr);
}

int XMetadataWidget::getClassId() const { return cls_classId; }
int XMetadataWidget::isClass(int id) const { return stc_isClass(id); }
int XMetadataWidget::stc_isClass(int id) {
    return id == cls_classId ? 1 : XMetadata::stc_isClass(id);
}

int XMetadataWidget::allocateArgMetadata(int count) {
    if (m_argMetadata) {
        if (count != m_numArgs) failInvariant(kLineArgCountChanged);
        return 0;
    }
    QV_ASSERT(count >= 0, kUnit);
    m_numArgs = count;
    if (count > 0) {
        m_argMetadata.reset(new (std::nothrow) XMetadataPort[static_cast<size_t>(count)]);
        if (!m_argMetadata) return -1;
    }
    if (hasUgdInfo()) {
        // allocateArgMetadata(0) may be repeated; the return record keeps the
        // upgrade record it got the first time.
        if (!m_retPortMetadata.hasUgdInfo()) m_retPortMetadata.allocUgdInfo();
        for (int i = 0; i < count; ++i) m_argMetadata[i].allocUgdInfo();
    }
    return 0;
}

XMetadataPort* XMetadataWidget::getArgMetadata(int i) {
    QV_ASSERT(i >= 0 && i < m_numArgs && m_argMetadata != nullptr, kUnit);
    return &m_argMetadata[i];
}

const XMetadataPort* XMetadataWidget::getArgMetadata(int i) const {
    QV_ASSERT(i >= 0 && i < m_numArgs && m_argMetadata != nullptr, kUnit);
    return &m_argMetadata[i];
}
