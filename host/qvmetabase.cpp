// Base classes through which host code reads metadata records without
// knowing their class, the column-metadata record, the logger base and the
// variable-length value holder.
#include "qvutils.h"

namespace {

// Print widths of the built-in types whose width does not depend on the
// record's length; decimals add sign and point to their length.
struct PrintWidth {
    unsigned int type;
    int width;
};

constexpr PrintWidth kFixedPrintWidths[] = {
    {eQvCDT_INT, 11}, {eQvCDT_BIGINT, 20}, {eQvCDT_FLOAT, 24}, {eQvCDT_BOOLEAN, 1}, {eQvCDT_DATE, 29},
};

bool isDecimalType(unsigned int type) {
    switch (type) {
        case eQvCDT_DEC18: case eQvCDT_DEC28: case eQvCDT_DEC38:
        case eQvCDT_DEC18_FIXED: case eQvCDT_DEC28_FIXED: case eQvCDT_DEC38_FIXED: return true;
        default: return false;
    }
}

}  // namespace

QvMetadataBase::~QvMetadataBase() = default;

unsigned int QvMetadataBase::getCDataTypeV() const { return 0; }
int QvMetadataBase::getLengthV() const { return 0; }
int QvMetadataBase::getScaleV() const { return 0; }
const void* QvMetadataBase::getTypeAttrsV() const { return nullptr; }
zeva_type_opd_metadata_struct* QvMetadataBase::getZevaTypeMetadataV() const { return nullptr; }
TrtInfo* QvMetadataBase::getTrtInfoV() const { return nullptr; }
int QvMetadataBase::getClassId() const { return eQvCLS_QvMetadataBase; }
int QvMetadataBase::isClass(int id) const { return stc_isClass(id); }
int QvMetadataBase::stc_isClass(int id) { return id == eQvCLS_QvMetadataBase ? 1 : 0; }

int XMetadataBase::getToStringNumCharsMax() const {
    const unsigned int type = getCDataTypeV();
    for (const PrintWidth& row : kFixedPrintWidths) {
        if (row.type == type) return row.width;
    }
    if (isDecimalType(type)) return getLengthV() + 2;
    if (const ZEVA_TYPE_HANDLE_struct* custom = CustomSDKMgr::getInstance()->getCustomTypeFromDT(type)) {
        return custom->getTextWidth();
    }
    return getLengthV();
}

int XMetadataBase::getArgTypeV() const { return 1; }
int XMetadataBase::getClassId() const { return eQvCLS_XMetadataBase; }
int XMetadataBase::isClass(int id) const { return stc_isClass(id); }
int XMetadataBase::stc_isClass(int id) {
    return id == eQvCLS_XMetadataBase || QvMetadataBase::stc_isClass(id) ? 1 : 0;
}

void SColMetadata::set(unsigned int dataType, int precision, int scale, TrtInfo* trtInfo,
                       zeva_type_opd_metadata_struct* zevaMetadata, const void* typeAttrs) {
    m_dataType = dataType;
    m_precision = precision;
    m_scale = scale;
    m_trtInfo = trtInfo;
    m_zevaMetadata = zevaMetadata;
    m_typeAttrs = typeAttrs;
}

int SColMetadata::getClassId() const { return eQvCLS_SColMetadata; }
int SColMetadata::isClass(int id) const { return stc_isClass(id); }
int SColMetadata::stc_isClass(int id) {
    return id == eQvCLS_SColMetadata || QvMetadataBase::stc_isClass(id) ? 1 : 0;
}

QvLoggerBase::~QvLoggerBase() = default;

void QvVecData::assign(const void* data, size_t size) {
    if (data == nullptr || size == 0) {
        m_bytes.clear();
        return;
    }
    // Through a copy: `data` may point into this holder.
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::vector<unsigned char> copy(bytes, bytes + size);
    m_bytes.swap(copy);
}
