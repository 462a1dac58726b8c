// The custom-data-type registry (CustomSDKMgr) and the type-trait records of
// all host data types (QvCData). Custom types occupy eleven fixed slots, one
// per id from 1022 to 1032; an empty slot means the id is not registered.
#include <cstring>

#include "qvutils.h"

namespace {

constexpr unsigned int kNumericFlags = eQvTRT_FILLED | eQvTRT_NUMERIC | eQvTRT_COMPARABLE;
constexpr unsigned int kDecimalFlags = kNumericFlags | eQvTRT_DECIMAL;
constexpr unsigned int kVectorFlags = eQvTRT_FILLED | eQvTRT_VECTOR | eQvTRT_COMPARABLE;

// Trait records of the built-in types. Mutable only because the metadata
// records of the library keep non-const pointers; nothing writes them.
TrtInfo gBuiltinTraits[] = {
    {eQvCDT_INT, kNumericFlags},
    {eQvCDT_STRING, kVectorFlags},
    {eQvCDT_FLOAT, kNumericFlags},
    {eQvCDT_BINARY, kVectorFlags},
    {eQvCDT_DATE, eQvTRT_FILLED | eQvTRT_COMPARABLE},
    {eQvCDT_DEC18_FIXED, kDecimalFlags},
    {eQvCDT_DEC28_FIXED, kDecimalFlags},
    {eQvCDT_DEC18, kDecimalFlags},
    {eQvCDT_DEC28, kDecimalFlags},
    {eQvCDT_UNISTRING, kVectorFlags},
    {eQvCDT_DEC38_FIXED, kDecimalFlags},
    {eQvCDT_DEC38, kDecimalFlags},
    {eQvCDT_BIGINT, kNumericFlags},
    {eQvCDT_NULL, eQvTRT_FILLED | eQvTRT_COMPARABLE},
    {eQvCDT_BOOLEAN, kNumericFlags},
};

TrtInfo gNoTraits{};

bool isCustomId(unsigned int dt) { return dt >= eQvCDT_CUSTOM_FIRST && dt <= eQvCDT_CUSTOM_LAST; }

size_t slotOf(unsigned int dt) { return dt - eQvCDT_CUSTOM_FIRST; }

}  // namespace

CustomSDKMgr::CustomSDKMgr() = default;

CustomSDKMgr* CustomSDKMgr::getInstance() {
    // Never destroyed: records may be read by code running during exit.
    static CustomSDKMgr* instance = new CustomSDKMgr();
    return instance;
}

int CustomSDKMgr::registerCustomType(const QvCustomTypeDef& def, unsigned int id) {
    if (def.name == nullptr || def.name[0] == '\0' || getCustomTypeId(def.name) != 0) return -1;
    if (id == 0) {
        for (unsigned int candidate = eQvCDT_CUSTOM_FIRST; candidate <= eQvCDT_CUSTOM_LAST; ++candidate) {
            if (!m_types[slotOf(candidate)]) {
                id = candidate;
                break;
            }
        }
    }
    if (!isCustomId(id) || m_types[slotOf(id)]) return -1;

    auto record = std::make_unique<ZEVA_TYPE_HANDLE_struct>();
    record->typeId = id;
    record->name = QvUString::fromUtf8(def.name);
    record->def = def;
    record->def.name = nullptr;
    record->trtInfo = TrtInfo{id, def.traits | eQvTRT_FILLED};
    record->opdMetadata = zeva_type_opd_metadata_struct{id, def.precision, def.scale};
    m_types[slotOf(id)] = std::move(record);
    return static_cast<int>(id);
}

void CustomSDKMgr::unregisterAll() {
    for (auto& slot : m_types) slot.reset();
}

const ZEVA_TYPE_HANDLE_struct* CustomSDKMgr::find(unsigned int dt) const {
    return isCustomId(dt) ? m_types[slotOf(dt)].get() : nullptr;
}

int CustomSDKMgr::getCustomTypeId(const QvUString& name) const {
    for (const auto& slot : m_types) {
        if (slot && slot->name == name) return static_cast<int>(slot->typeId);
    }
    return 0;
}

int CustomSDKMgr::getCustomTypeId(const unsigned short* name) const {
    return name == nullptr ? 0 : getCustomTypeId(QvUString(name));
}

int CustomSDKMgr::getCustomTypeId(const char* name) const {
    return name == nullptr ? 0 : getCustomTypeId(QvUString::fromUtf8(name));
}

unsigned int CustomSDKMgr::getCustomTypeIds(unsigned int* ids, unsigned int capacity) const {
    unsigned int count = 0;
    for (const auto& slot : m_types) {
        if (!slot) continue;
        if (ids != nullptr && count < capacity) ids[count] = slot->typeId;
        ++count;
    }
    return count;
}

const QvUString* CustomSDKMgr::getCustomTypeName(unsigned int dt) const {
    const ZEVA_TYPE_HANDLE_struct* type = find(dt);
    return type != nullptr ? &type->name : nullptr;
}

const ZEVA_TYPE_HANDLE_struct* CustomSDKMgr::getCustomTypeFromDT(unsigned int dt) const { return find(dt); }

const ZEVA_TYPE_HANDLE_struct* CustomSDKMgr::getCustomTypeFromDT(const zeva_type_opd_metadata_struct* md) const {
    return md != nullptr ? find(md->typeId) : nullptr;
}

TrtInfo* CustomSDKMgr::getTrtInfoFromDT(unsigned int dt) const {
    return isCustomId(dt) && m_types[slotOf(dt)] ? &m_types[slotOf(dt)]->trtInfo : nullptr;
}

zeva_type_opd_metadata_struct* CustomSDKMgr::getZEVATypeMetadata(unsigned int dt) const {
    return isCustomId(dt) && m_types[slotOf(dt)] ? &m_types[slotOf(dt)]->opdMetadata : nullptr;
}

int CustomSDKMgr::to_integer(unsigned int dt, const void* value, int& out) const {
    const ZEVA_TYPE_HANDLE_struct* type = find(dt);
    if (type == nullptr || type->def.toInteger == nullptr || value == nullptr) return 0;
    int converted = 0;
    if (!type->def.toInteger(value, converted)) return 0;
    out = converted;
    return 1;
}

int CustomSDKMgr::to_bigint(unsigned int dt, const void* value, long long& out) const {
    const ZEVA_TYPE_HANDLE_struct* type = find(dt);
    if (type == nullptr || type->def.toBigInt == nullptr || value == nullptr) return 0;
    long long converted = 0;
    if (!type->def.toBigInt(value, converted)) return 0;
    out = converted;
    return 1;
}

int CustomSDKMgr::to_float(unsigned int dt, const void* value, double& out) const {
    const ZEVA_TYPE_HANDLE_struct* type = find(dt);
    if (type == nullptr || type->def.toFloat == nullptr || value == nullptr) return 0;
    double converted = 0.0;
    if (!type->def.toFloat(value, converted)) return 0;
    out = converted;
    return 1;
}

int CustomSDKMgr::negate(unsigned int dt, void* value) const {
    const ZEVA_TYPE_HANDLE_struct* type = find(dt);
    if (type == nullptr || type->def.negate == nullptr || value == nullptr) return 0;
    return type->def.negate(value) ? 1 : 0;
}

int CustomSDKMgr::qvZevaTypeToString(unsigned int dt, const void* value, unsigned short* buffer, size_t size,
                                     const char* format) const {
    if (buffer != nullptr && size > 0) buffer[0] = 0;
    const ZEVA_TYPE_HANDLE_struct* type = find(dt);
    if (type == nullptr || type->def.toText == nullptr || value == nullptr || buffer == nullptr) return 0;
    QvUString text;
    if (!type->def.toText(value, text, format) || text.length() >= size) return 0;
    std::memcpy(buffer, text.getBuffer(), (text.length() + 1) * sizeof(unsigned short));
    return 1;
}

int CustomSDKMgr::qvStringToZevaType(unsigned int dt, const unsigned short* text, size_t length, void* value) const {
    const ZEVA_TYPE_HANDLE_struct* type = find(dt);
    if (type == nullptr || type->def.fromText == nullptr || value == nullptr) return 0;
    if (text == nullptr && length > 0) return 0;
    static const unsigned short kEmpty[1] = {0};
    return type->def.fromText(text != nullptr ? text : kEmpty, length, value) ? 1 : 0;
}

unsigned int CustomSDKMgr::hashKeyStr(const QvUString& key) {
    unsigned int hash = 2166136261u;
    for (size_t i = 0; i < key.length(); ++i) {
        hash = (hash ^ key[i]) * 16777619u;
    }
    return hash;
}

TrtInfo* QvCData::cdt2trtInfo(unsigned int dt) {
    for (TrtInfo& info : gBuiltinTraits) {
        if (info.typeId == dt) return &info;
    }
    TrtInfo* custom = CustomSDKMgr::getInstance()->getTrtInfoFromDT(dt);
    return custom != nullptr ? custom : &gNoTraits;
}
