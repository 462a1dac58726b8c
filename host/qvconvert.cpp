// The conversion matrix of the host's run-time converters
// (QvConverterFactory::isConvertible). Built-in types are grouped into
// families; the matrix is a table over families, with numbers additionally
// ordered by width for lossless conversions and custom types answered by the
// conversions they registered.
#include "qvutils.h"

namespace {

enum Family { kUnknown, kNull, kNumber, kString, kDate, kBinary, kCustom, kFamilies };

struct BuiltinType {
    unsigned int id;
    Family family;
    int width;  // numbers only: the widening order
};

constexpr BuiltinType kBuiltins[] = {
    {eQvCDT_INT, kNumber, 10},          {eQvCDT_STRING, kString, 0},        {eQvCDT_FLOAT, kNumber, 308},
    {eQvCDT_BINARY, kBinary, 0},        {eQvCDT_DATE, kDate, 0},            {eQvCDT_DEC18_FIXED, kNumber, 18},
    {eQvCDT_DEC28_FIXED, kNumber, 28},  {eQvCDT_DEC18, kNumber, 18},        {eQvCDT_DEC28, kNumber, 28},
    {eQvCDT_UNISTRING, kString, 0},     {eQvCDT_DEC38_FIXED, kNumber, 38},  {eQvCDT_DEC38, kNumber, 38},
    {eQvCDT_BIGINT, kNumber, 17},       {eQvCDT_NULL, kNull, 0},            {eQvCDT_BOOLEAN, kNumber, 1},
};

// What may convert at all between built-in families (rows: from, columns:
// to). Custom types and the lossless refinement are handled in code.
constexpr bool kFamilyMatrix[kFamilies][kFamilies] = {
    //            unknown null   number string date   binary custom
    /* unknown */ {false, false, false, false, false, false, false},
    /* null    */ {false, true,  true,  true,  true,  true,  true},
    /* number  */ {false, false, true,  true,  false, false, false},
    /* string  */ {false, false, true,  true,  true,  false, false},
    /* date    */ {false, false, false, true,  true,  false, false},
    /* binary  */ {false, false, false, false, false, true,  false},
    /* custom  */ {false, false, false, false, false, false, false},
};

BuiltinType classify(unsigned int dt) {
    for (const BuiltinType& type : kBuiltins) {
        if (type.id == dt) return type;
    }
    if (CustomSDKMgr::getInstance()->getCustomTypeFromDT(dt) != nullptr) return {dt, kCustom, 0};
    return {dt, kUnknown, 0};
}

int customToOther(const QvCustomTypeDef& def, const BuiltinType& to, int lossless) {
    if (to.family == kString) return def.toText != nullptr;
    if (lossless) return 0;
    switch (to.id) {
        case eQvCDT_INT: return def.toInteger != nullptr;
        case eQvCDT_BIGINT: return def.toBigInt != nullptr;
        case eQvCDT_FLOAT: return def.toFloat != nullptr;
        default: return 0;
    }
}

}  // namespace

int QvConverterFactory::isConvertible(unsigned int from, unsigned int to, int flag) {
    const BuiltinType source = classify(from);
    const BuiltinType target = classify(to);
    if (source.family == kUnknown || target.family == kUnknown) return 0;
    if (from == to || source.family == kNull) return 1;
    const int lossless = flag != eQvCONV_ANY;
    CustomSDKMgr* mgr = CustomSDKMgr::getInstance();
    if (source.family == kCustom) return customToOther(mgr->getCustomTypeFromDT(from)->def, target, lossless);
    if (target.family == kCustom) {
        return !lossless && source.family == kString && mgr->getCustomTypeFromDT(to)->def.fromText != nullptr;
    }
    if (!kFamilyMatrix[source.family][target.family]) return 0;
    if (!lossless || target.family == kString) return 1;
    return source.family == kNumber && target.family == kNumber && source.width <= target.width;
}
