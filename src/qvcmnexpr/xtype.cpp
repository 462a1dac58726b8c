// The type rules of XType: families, compatibility, widening, the decimal
// maximum, byte sizes and the process-wide type maps. Everything a custom
// type contributes (its traits, its name, the ids of the hierarchical kinds)
// is read from the host's custom-type registry; with nothing registered the
// custom range simply never matches.
#include "qvcmnexpr/xtype.h"

#include <atomic>
#include <iterator>
#include <string>

#include "qvcmnexpr/qvcmnexprglobal.h"
#include "qvutils.h"
#include "xtypenames.h"

namespace {

// ---- host registry access ----

// Whether the custom type `type` has `trait` (an EQvTrtFlag bit); a record
// whose flags were never filled in has no traits at all.
bool hasCustomTrait(XType type, unsigned int trait) {
    if (!type.isCustom()) return false;
    const TrtInfo* info = QvCData::cdt2trtInfo(static_cast<unsigned int>(type.toInteger()));
    return info != nullptr && info->has(trait);
}

// The custom id the host registered a hierarchical kind under; the registry
// answers 0, which is no type's id, while the kind is not registered.
int hierarchicalTypeId(const char* kind) {
    std::string identifier(gsQvTypeNamespace);
    identifier += kind;
    return CustomSDKMgr::getInstance()->getCustomTypeId(identifier.c_str());
}

// ---- widening ----

// One level wider than an operand: the high-precision answer, the
// low-precision answers with and without a preference for FLOAT, whether
// the answer is capped at the decimal maximum (both modes), and whether the
// low-precision decimal answer first settles the decimal maximum.
struct XWiderRow {
    int32_t operand;
    int32_t highPrec;
    int32_t lowPrecFloat;
    int32_t lowPrec;
    bool capAtDecMax;
    bool settlesDecMax;
};

constexpr XWiderRow kWiderRows[] = {
    {eXDT_INT, eXDT_DEC18, eXDT_FLOAT, eXDT_BIGINT, false, false},
    {eXDT_BIGINT, eXDT_DEC28, eXDT_FLOAT, eXDT_DEC28, false, true},
    {eXDT_DEC18, eXDT_DEC28, eXDT_DEC28, eXDT_DEC28, true, false},
    {eXDT_DEC28, eXDT_DEC38, eXDT_DEC38, eXDT_DEC38, true, false},
    {eXDT_DEC38, eXDT_DEC38, eXDT_DEC38, eXDT_DEC38, false, false},
    {eXDT_FLOAT, eXDT_FLOAT, eXDT_FLOAT, eXDT_FLOAT, false, false},
};

const XWiderRow* findWiderRow(XType type) {
    for (const XWiderRow& row : kWiderRows) {
        if (row.operand == type.toInteger()) return &row;
    }
    return nullptr;
}

// A widened decimal never goes past the decimal maximum.
XType capAtDecMax(XType type) {
    XType max = XType::getDecMax();
    return type.isWiderThanNoCheck(max) ? max : type;
}

constexpr bool isDec18To38(int32_t t) { return t == eXDT_DEC18 || t == eXDT_DEC28 || t == eXDT_DEC38; }
static_assert(eXDT_DEC18 < eXDT_DEC28 && eXDT_DEC28 < eXDT_DEC38, "decimal numbers rise with width");

// What getTypeId answers for a name nobody registered.
constexpr int kUnknownTypeId = 1040;

}  // namespace

XType XType::cls_xdtDecMax;
XType XType::cls_xdtCustomDecMax;

// The maps are built ahead of the ordinary start-up code of the other units
// (a lower init_priority runs first), since their tables may ask for type
// names and widths while they are being built.
XType::TypeNameIdMap XType::m_typeNameToTypeIDMap
    __attribute__((init_priority(1000)))(&CustomSDKMgr::hashKeyStr, 64);
XType::TypeWidthMap XType::m_typeWidthMap __attribute__((init_priority(1000)))(&XType::intHash, 64);

namespace {
struct XTypeMapsBuilder {
    XTypeMapsBuilder() {
        XType::initTypeWidthMap();
        XType::initTypeNameIDMap();
    }
};
const XTypeMapsBuilder gTypeMapsBuilt __attribute__((init_priority(1001)));
}  // namespace

// ===== construction and access =====

void XType::set(unsigned int hostType, int useEquivalent) {
    m_type = static_cast<int32_t>(hostType);
    if (useEquivalent) m_type = getEquivType(1).m_type;
}

int XType::toCDataType(int booleanAsInt) const {
    return (booleanAsInt && isBoolean()) ? static_cast<int>(eXDT_INT) : m_type;
}

const char* XType::toString() const {
    return XEnum::enumToString(m_type, gXDataTypeNames, xRowCount(gXDataTypeNames));
}

// ===== families =====

int XType::isWithinDecMax() const {
    const int32_t max = decMaxNumber();
    // A built-in decimal against a built-in maximum, nearly always: their
    // numbers rise with their widths.
    if (isDec18To38(m_type) && isDec18To38(max)) return m_type <= max;
    return widthOfNumber(m_type) <= widthOfNumber(max);
}

int XType::isCustomDec() const { return hasCustomTrait(*this, eQvTRT_DECIMAL); }

// A custom decimal counts as a number whether or not it says so.
int XType::isCustomNumeric() const {
    return hasCustomTrait(*this, eQvTRT_NUMERIC) || isCustomDec();
}

int XType::isReal() const {
    return m_type == eXDT_FLOAT || m_type == eXDT_DEC18 || m_type == eXDT_DEC28 ||
           m_type == eXDT_DEC38;
}

int XType::isCustomVector() const { return hasCustomTrait(*this, eQvTRT_VECTOR); }

int XType::isComparable() const {
    return !isCustom() || hasCustomTrait(*this, eQvTRT_COMPARABLE);
}

int XType::isVector() const { return isString(0) || isBinary() || isCustomVector(); }

int XType::isPointerType() const { return isString(1) || isBinary() || isCustomVector(); }

int XType::isStructType() const {
    return isCustom() && m_type == hierarchicalTypeId("datatype.htype.struct");
}

int XType::isArrayType() const {
    return isCustom() && m_type == hierarchicalTypeId("datatype.htype.array");
}

int XType::isMapType() const { return isCustom() && m_type == hierarchicalTypeId("datatype.htype.map"); }

int XType::isCustomHType() const { return isStructType() || isArrayType() || isMapType(); }

int XType::isValidExternalDataType(int flag) const {
    return !isNull() && !isBoolean() && getEquivType(1).isValidDataTypeForValidation(flag);
}

int XType::isKnownDataType() const {
    return isValidDataTypeForValidation(0) || isValidExternalDataType(0) ||
           m_type == eXMINT_UNINIT || m_type == eXMINT_INVALID || m_type == eXMINT_NOCHANGE;
}

// ===== rules =====

XType XType::getWidestOf(XType a, XType b) {
    if (a.isSame(b)) return a;
    if (a.isNull()) return b;
    if (b.isNull()) return a;
    if (!a.isNumeric(0) || !b.isNumeric(0)) return XType(eXMINT_INVALID);
    XType widest = (widthOf(a) >= widthOf(b)) ? a : b;
    // BOOLEAN is the narrowest number and wins only against a number without
    // a width; a widened value is never boolean.
    return widest.isBoolean() ? XType(eXDT_INT) : widest;
}

int XType::isWiderThan(XType other) const {
    return !isSame(other) && getWidestOf(*this, other).isSame(*this);
}

int XType::isWiderThanOrSameAs(XType other) const {
    if (isSame(other)) return 1;
    return isNumeric(1) && other.isNumeric(1) && isWiderThan(other);
}

int XType::isWiderThanNoCheck(XType other) const { return widthOf(*this) > widthOf(other); }

// The widths of the built-in types by number, from the type table: the
// validator asks for them on every operand, and a hash lookup there cost
// more than the rest of the typing.
namespace {
struct BuiltinWidths {
    int32_t width[XType::cls_firstCustomType - eXDT_INT];
};

constexpr BuiltinWidths builtinWidths() {
    BuiltinWidths widths{};
    for (int32_t& w : widths.width) w = eXMINT_INVALID;
    for (const XDataTypeRow& row : gXDataTypeRows) {
        if (row.number >= eXDT_INT && row.number < XType::cls_firstCustomType) {
            widths.width[row.number - eXDT_INT] = row.width;
        }
    }
    return widths;
}

constexpr BuiltinWidths kBuiltinWidths = builtinWidths();
}  // namespace

int XType::widthOf(XType type) { return widthOfNumber(type.m_type); }

int XType::widthOfNumber(int32_t t) {
    if (t >= eXDT_INT && t < cls_firstCustomType) return kBuiltinWidths.width[t - eXDT_INT];
    int width = eXMINT_INVALID;
    m_typeWidthMap.findValue(t, width);
    return width;
}

XType XType::equivOfUnvalidated(int strict) const {
    if (strict == 0 || getIsHighPrecisionMode()) {
        switch (m_type) {
            case eXDT_DEC18_FIXED: return XType(eXDT_DEC18);
            case eXDT_DEC28_FIXED: return XType(eXDT_DEC28);
            case eXDT_DEC38_FIXED: return XType(eXDT_DEC38);
            default: break;
        }
    }
    return XType(eXMINT_INVALID);
}

int XType::getSizeInBytes(int length) const {
    const XDataTypeRow* row = xFindDataTypeRow(m_type);
    if (row == nullptr || (row->perUnit == 0 && row->fixedBytes < 0)) return eXMINT_INVALID;
    return row->perUnit * length + row->fixedBytes;
}

XType XType::toReal() const {
    return isReal() ? *this : XType(eXDT_INT).getResultTypeOneLevelWider(1);
}

XType XType::getResultTypeOneLevelWider(int preferFloat) const {
    return getIsHighPrecisionMode() ? getResultTypeOneLevelWiderInHighPrec()
                                    : getResultTypeOneLevelWiderInLowPrec(preferFloat);
}

XType XType::getResultTypeOneLevelWiderInHighPrec() const {
    if (isCustom()) return *this;
    const XWiderRow* row = findWiderRow(*this);
    if (row == nullptr) return XType(eXMINT_INVALID);
    return row->capAtDecMax ? capAtDecMax(XType(row->highPrec)) : XType(row->highPrec);
}

XType XType::getResultTypeOneLevelWiderInLowPrec(int preferFloat) const {
    const XWiderRow* row = findWiderRow(*this);
    if (row == nullptr) return XType(eXMINT_INVALID);
    if (preferFloat) return row->capAtDecMax ? capAtDecMax(row->lowPrecFloat) : row->lowPrecFloat;
    if (row->settlesDecMax) initDecMax(28);
    return row->capAtDecMax ? capAtDecMax(XType(row->lowPrec)) : XType(row->lowPrec);
}

// ===== decimal maximum =====

XType XType::getDec(int precision) {
    if (precision >= 0 && precision <= 18) return XType(eXDT_DEC18);
    if (precision > 18 && precision <= 28) return XType(eXDT_DEC28);
    return XType(eXMINT_INVALID);
}

int XType::getDecPrecision(XType type) {
    switch (type.m_type) {
        case eXDT_DEC18: return 18;
        case eXDT_DEC28: return 28;
        case eXDT_DEC38: return 38;
        default: return eXMINT_INVALID;
    }
}

int XType::initDecMax(int precision) {
    XType dec = getDec(precision);
    if (!dec.isValid()) return -1;
    // The first configuration that arrives fixes the maximum for the
    // process: trees validated earlier were sized against it. Threads that
    // set up their contexts, or parse, at the same time may all get here.
    int32_t unset = eXMINT_UNINIT;
    std::atomic_ref<int32_t>(cls_xdtDecMax.m_type).compare_exchange_strong(unset, dec.m_type);
    return 0;
}

int32_t XType::decMaxNumber() {
    std::atomic_ref<int32_t> decMax(cls_xdtDecMax.m_type);
    if (decMax.load() == eXMINT_UNINIT) initDecMax(28);
    return decMax.load();
}

XType XType::getDecMax() { return XType(decMaxNumber()); }

int XType::getDecMaxPrecision() { return getDecPrecision(getDecMax()); }

int XType::initCustomDecMax() {
    unsigned int ids[cls_lastCustomType - cls_firstCustomType + 1] = {};
    unsigned int count = CustomSDKMgr::getInstance()->getCustomTypeIds(ids, std::size(ids));
    XType widest(eXMINT_INVALID);
    for (unsigned int i = 0; i < count && i < std::size(ids); ++i) {
        XType type(static_cast<int>(ids[i]));
        if (!type.isDec(1)) continue;
        widest = widest.isValid() ? getWidestOf(widest, type) : type;
    }
    // Threads that get here at once work out the same value.
    std::atomic_ref<int32_t>(cls_xdtCustomDecMax.m_type).store(widest.m_type);
    return 0;
}

XType XType::getCustomDecMax() {
    std::atomic_ref<int32_t> customDecMax(cls_xdtCustomDecMax.m_type);
    if (customDecMax.load() == eXMINT_UNINIT) initCustomDecMax();
    return XType(customDecMax.load());
}

int XType::getCustomDecMaxPrecision() { return widthOf(getCustomDecMax()); }

// ===== modes =====

int XType::getIsHighPrecisionMode() { return QvCmnExprGlobal::getIsHighPrecisionMode(); }

int XType::initIsHighPrecisionMode(int mode, int change, QvCmnExprGlobal* global) {
    if (change) {
        if (global != nullptr) global->changeHighPrecisionModeForMyself(mode);
        else QvCmnExprGlobal::changeHighPrecisionMode(mode);
    } else {
        if (global != nullptr) global->setIsHighPrecisionModeForMyself(mode);
        else QvCmnExprGlobal::setIsHighPrecisionMode(mode);
    }
    return 0;
}

int XType::changeIsHighPrecisionMode(int mode) {
    QvCmnExprGlobal::changeHighPrecisionMode(mode);
    return 0;
}

// ===== type maps =====

int XType::initTypeWidthMap() {
    for (const XDataTypeRow& row : gXDataTypeRows) {
        if (row.width != eXMINT_INVALID) m_typeWidthMap.insertKeyAndValue(row.number, row.width);
    }
    return 0;
}

int XType::initTypeNameIDMap() {
    for (const XDataTypeRow& row : gXDataTypeRows) {
        if (row.typeName != nullptr) {
            m_typeNameToTypeIDMap.insertKeyAndValue(QvUString(row.typeName), row.number);
        }
    }
    return 0;
}

int XType::initCustomTypeWidthMap(unsigned int* ids, unsigned int count) {
    if (ids == nullptr) return 0;
    for (unsigned int i = 0; i < count; ++i) {
        m_typeWidthMap.insertKeyAndValue(static_cast<int>(ids[i]), cls_customTypeWidth);
    }
    return 0;
}

int XType::initCustomTypeNameIDMap(unsigned int* ids, unsigned int count) {
    if (ids == nullptr) return 0;
    const CustomSDKMgr* mgr = CustomSDKMgr::getInstance();
    for (unsigned int i = 0; i < count; ++i) {
        const QvUString* name = mgr->getCustomTypeName(ids[i]);
        // Type names are matched against ASCII annotation words; a type the
        // host does not know, or a name no expression could spell, is skipped.
        if (name == nullptr || name->isEmpty()) continue;
        if (!qvUCheckAll(name->getBuffer(), &qvUIsASCII)) continue;
        m_typeNameToTypeIDMap.insertKeyAndValue(*name, static_cast<int>(ids[i]));
    }
    return 0;
}

int XType::getTypeId(const QvUString& name) {
    int id = kUnknownTypeId;
    m_typeNameToTypeIDMap.findValue(name, id);
    return id;
}
