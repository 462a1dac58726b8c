// Data types and the small attribute values every syntax-tree node carries.
//
// Each class here wraps one signed 32-bit number and is copied by value;
// -1 means "not yet known" and the other negative sentinels (EXMInt) mean
// invalid, "leave unchanged" and placeholder. XType also owns the type rules
// the validator applies: families, compatibility, widening, the decimal
// maximum of the current configuration, byte sizes and the type-name maps.
// A type number is the host's data-type number, so it crosses to the host
// unchanged; custom (plug-in) types are described by the host's registry.
#pragma once

#include <concepts>
#include <cstdint>
#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcutils.h"
#include "qvutils.h"
#include "qvi18n.h"

class QvCmnExprGlobal;

// Sentinels shared by every attribute class.
enum EXMInt : int32_t {
#define XMINT(enumerator, value) enumerator = value,
#include "qvcmnexpr/xtypeenums.def"
};

enum EXDataType : int32_t {
#define XDT(enumerator, number, typeName, width, perUnit, fixedBytes) enumerator = number,
#define XDT_BOUND(enumerator, number) enumerator = number,
#include "qvcmnexpr/xdatatype.def"
};

enum EXAggLevel : int32_t {
#define XAL(enumerator, value) enumerator = value,
#include "qvcmnexpr/xtypeenums.def"
};

enum EXTypeParentExpectsIndicator : int32_t {
#define XTPE(enumerator, value) enumerator = value,
#include "qvcmnexpr/xtypeenums.def"
};

enum EXResultTypeIndicator : int32_t {
#define XRT(enumerator, value) enumerator = value,
#include "qvcmnexpr/xtypeenums.def"
};

enum EXOp : int32_t {
#define XOP(enumerator, value) enumerator = value,
#include "qvcmnexpr/xtypeenums.def"
};

// ===== XType =====

// The built-in types as bits of one word, so that asking for a family of
// them is one test.
namespace xtypebits {
constexpr uint32_t of(int type) { return 1u << (type - eXDT_INT); }
constexpr uint32_t kNumeric = of(eXDT_INT) | of(eXDT_FLOAT) | of(eXDT_BIGINT) | of(eXDT_NULL) | of(eXDT_BOOLEAN);
constexpr uint32_t kDecimal = of(eXDT_DEC18) | of(eXDT_DEC28) | of(eXDT_DEC38);
constexpr uint32_t kEvaluable = kNumeric | of(eXDT_DATE) | of(eXDT_BINARY);
constexpr uint32_t kText = of(eXDT_STRING) | of(eXDT_UNISTRING);
}  // namespace xtypebits

class QVCMNEXPR_API XType {
public:
    // Custom (plug-in) data types occupy this range of host numbers.
    static constexpr int32_t cls_firstCustomType = 1022;
    static constexpr int32_t cls_lastCustomType = 1032;
    // Width of every registered custom type in the widening order.
    static constexpr int cls_customTypeWidth = 38;

    // A type number hashes to itself (intHash), a type name with the host's
    // string hash.
    using TypeWidthMap = QVTValHashDictionary<int, int>;
    using TypeNameIdMap = QVTValHashDictionary<QvUString, int>;

    // The decimal maximum of the process (first successful initDecMax wins)
    // and the widest decimal custom type; both start uninitialised.
    static XType cls_xdtDecMax;
    static XType cls_xdtCustomDecMax;
    static TypeNameIdMap m_typeNameToTypeIDMap;
    static TypeWidthMap m_typeWidthMap;

    constexpr XType() : m_type(eXMINT_UNINIT) {}
    constexpr XType(int type) : m_type(type) {}
    constexpr XType(const XType&) = default;
    constexpr XType& operator=(const XType&) = default;
    constexpr virtual ~XType() = default;

    void set(XType type) { m_type = type.m_type; }
    void set(int type) { m_type = type; }
    // Takes a host data-type number; with `useEquivalent` the stored type is
    // the number's expression equivalent (getEquivType(1)).
    void set(unsigned int hostType, int useEquivalent);

    constexpr int toInteger() const { return m_type; }
    // With `booleanAsInt`, BOOLEAN is reported as INT: the host has no
    // boolean column type.
    int toCDataType(int booleanAsInt) const;
    // "eXDT_..." or a sentinel's name; "XEnumUnknown" for other numbers.
    const char* toString() const;

    // ---- families ----
    constexpr int isInitialized() const { return m_type != eXMINT_UNINIT; }
    constexpr int isValid() const { return m_type >= 0; }
    constexpr int isInt() const { return m_type == eXDT_INT; }
    constexpr int isBigInt() const { return m_type == eXDT_BIGINT; }
    constexpr int isFloat() const { return m_type == eXDT_FLOAT; }
    constexpr int isDate() const { return m_type == eXDT_DATE; }
    constexpr int isBinary() const { return m_type == eXDT_BINARY; }
    constexpr int isNull() const { return m_type == eXDT_NULL; }
    constexpr int isBoolean() const { return m_type == eXDT_BOOLEAN; }
    constexpr int isCustom() const {
        return m_type >= cls_firstCustomType && m_type <= cls_lastCustomType;
    }
    constexpr int isSame(XType other) const { return m_type == other.m_type; }
    // STRING or UNISTRING; with `modeCheck` only the string type of the
    // server's character mode.
    [[gnu::always_inline]] int isString(int modeCheck) const {
        if (modeCheck) return m_type == (getIsModeAscii() ? eXDT_STRING : eXDT_UNISTRING);
        return m_type == eXDT_STRING || m_type == eXDT_UNISTRING;
    }
    // DEC18/28/38 (with `maxCheck` only up to the decimal maximum) or a
    // custom decimal. The FIXED decimals are not decimals here.
    [[gnu::always_inline]] int isDec(int maxCheck) const {
        if (isBuiltin()) return (builtinBit() & xtypebits::kDecimal) != 0 && (!maxCheck || isWithinDecMax());
        return isCustomDec();
    }
    [[gnu::always_inline]] int isNumeric(int maxCheck) const {
        if (isBuiltin()) {
            if ((builtinBit() & xtypebits::kDecimal) != 0) return !maxCheck || isWithinDecMax();
            return (builtinBit() & xtypebits::kNumeric) != 0;
        }
        return isCustom() && isCustomNumeric();
    }
    int isReal() const;
    int isCustomVector() const;
    int isComparable() const;
    int isVector() const;
    int isPointerType() const;
    int isStructType() const;
    int isArrayType() const;
    int isMapType() const;
    int isHType() const { return isCustom() && isCustomHType(); }
    // Asked several times of every node the validator types: the built-in
    // types that are always evaluable are answered here, leaving only text
    // (by the character mode), decimals (by the decimal maximum) and custom
    // types to the longer questions.
    [[gnu::always_inline]] int isEvalDataType(int flag) const {
        // Every custom type is evaluable; the sentinels and the rule numbers
        // (parent expectations, result indicators), asked about on every
        // node, are not types at all.
        if (!isBuiltin()) return isCustom();
        const uint32_t bit = builtinBit();
        if ((bit & xtypebits::kEvaluable) != 0) return 1;
        if ((bit & xtypebits::kText) != 0) return isString(flag);
        // The FIXED decimals are left: never evaluable.
        return (bit & xtypebits::kDecimal) != 0 && isDec(flag);
    }
    [[gnu::always_inline]] int isValidatedDataType(int flag) const { return isBoolean() || isEvalDataType(flag); }
    [[gnu::always_inline]] int isValidDataTypeForValidation(int flag) const { return isValidatedDataType(flag); }
    int isValidExternalDataType(int flag) const;
    int isKnownDataType() const;

    // ---- rules ----
    // May a value of `other` be used where this type is wanted? Asked of
    // every operand whose type differs from the expected one.
    int isCompatible(XType other) const {
        if (!isValidDataTypeForValidation(1) || !other.isValidDataTypeForValidation(1)) return 0;
        if (isSame(other)) return 1;
        if (isNull()) return 0;
        if (other.isNull()) return 1;
        if (isDate() || isBinary()) return 0;
        if (isString(1)) return !other.isBinary();
        if (isNumeric(1)) return other.isNumeric(1);
        return 0;
    }
    int isWiderThan(XType other) const;
    int isWiderThanOrSameAs(XType other) const;
    // Compares the widening order only, whatever the families.
    int isWiderThanNoCheck(XType other) const;
    // Asked of every leaf: a type that already validates is its own
    // equivalent, answered here.
    XType getEquivType(int strict) const {
        return isValidDataTypeForValidation(strict) ? *this : equivOfUnvalidated(strict);
    }
    // Bytes of a value of `length` characters or bytes; -2 for a type
    // without a storage rule.
    int getSizeInBytes(int length) const;
    XType toReal() const;
    XType getResultTypeOneLevelWider(int preferFloat) const;

    static XType getWidestOf(XType a, XType b);

    // ---- decimal maximum ----
    static XType getDec(int precision);
    static int getDecPrecision(XType type);
    static XType getDecMax();
    static int getDecMaxPrecision();
    static int initDecMax(int precision);
    static XType getCustomDecMax();
    static int getCustomDecMaxPrecision();
    static int initCustomDecMax();

    // ---- modes ----
    static XType getXdtString() { return XType(getIsModeAscii() ? eXDT_STRING : eXDT_UNISTRING); }
    static int getIsModeAscii() { return isServerModeASCII() ? 1 : 0; }
    // The character mode is the host's; kept for callers that set it.
    static int initIsModeAscii(int) { return 0; }
    static int getIsHighPrecisionMode();
    // `change` replaces an earlier setting, otherwise the first setting
    // stays; `global` picks a given settings object over the current one.
    static int initIsHighPrecisionMode(int mode, int change, QvCmnExprGlobal* global);
    static int changeIsHighPrecisionMode(int mode);

    // ---- type maps ----
    static int initTypeWidthMap();
    static int initTypeNameIDMap();
    // Called by the embedding application once the host has loaded its
    // custom types, before any parse starts.
    static int initCustomTypeWidthMap(unsigned int* ids, unsigned int count);
    static int initCustomTypeNameIDMap(unsigned int* ids, unsigned int count);
    // The number registered for `name` (exact spelling), or 1040 if none.
    static int getTypeId(const QvUString& name);
    static unsigned int intHash(const int& key) { return static_cast<unsigned int>(key); }

private:
    static_assert(eXDT_BOOLEAN - eXDT_INT < 32, "the built-in types fit one word");
    constexpr int isBuiltin() const { return m_type >= eXDT_INT && m_type < cls_firstCustomType; }
    constexpr uint32_t builtinBit() const { return xtypebits::of(m_type); }
    int isCustomNumeric() const;
    XType equivOfUnvalidated(int strict) const;
    int isWithinDecMax() const;
    // The decimal maximum's number, settled (to DEC28) on first use.
    static int32_t decMaxNumber();
    int isCustomDec() const;
    int isCustomHType() const;

    static int widthOf(XType type);
    static int widthOfNumber(int32_t type);
    XType getResultTypeOneLevelWiderInHighPrec() const;
    XType getResultTypeOneLevelWiderInLowPrec(int preferFloat) const;

    int32_t m_type;
};

// ===== Attribute values =====

class QVCMNEXPR_API XOp {
public:
    constexpr XOp() : m_op(eXMINT_UNINIT) {}
    constexpr XOp(int op) : m_op(op) {}

    void set(int op) { m_op = op; }
    void set(XOp op) { m_op = op.m_op; }
    constexpr int toInteger() const { return m_op; }
    constexpr int isInitialized() const { return m_op != eXMINT_UNINIT; }
    static constexpr int isValid(int op) {
        return (op > eXOP_DUMMY_MIN && op < eXOP_DUMMY_MAX) || op == eXMINT_DUMMY;
    }
    constexpr int isValid() const { return isValid(m_op); }
    constexpr int isDummy() const { return m_op == eXMINT_DUMMY; }
    constexpr int isTo_charX() const {
        return m_op >= eXOP_TO_CHARX_CHAR && m_op <= eXOP_TO_CHARX_CUSTOM;
    }
    const char* toString() const;

private:
    int32_t m_op;
};

class QVCMNEXPR_API XAggLevel {
public:
    static const XAggLevel cls_row;
    static const XAggLevel cls_group;
    static const XAggLevel cls_nested;

    constexpr XAggLevel() : m_level(eXMINT_UNINIT) {}
    constexpr XAggLevel(int level) : m_level(level) {}

    void set(int level) { m_level = level; }
    void set(XAggLevel level) { m_level = level.m_level; }
    constexpr int toInteger() const { return m_level; }
    constexpr int isValid() const { return m_level >= eXAL_ROW && m_level <= eXAL_NESTED; }
    constexpr int isInitialized() const { return m_level != eXMINT_UNINIT; }
    constexpr int isRow() const { return m_level == eXAL_ROW; }
    constexpr int isGroup() const { return m_level == eXAL_GROUP; }
    constexpr int isNested() const { return m_level == eXAL_NESTED; }
    constexpr int isSame(XAggLevel other) const { return m_level == other.m_level; }
    constexpr int isHigherThan(XAggLevel other) const { return m_level > other.m_level; }
    constexpr int isHigherThanOrSameAs(XAggLevel other) const { return m_level >= other.m_level; }
    // No clamping: the result may leave the valid range; callers check.
    constexpr XAggLevel getOneLevelHigher() const { return XAggLevel(m_level + 1); }
    constexpr XAggLevel getOneLevelLower() const { return XAggLevel(m_level - 1); }
    static constexpr XAggLevel getHighestOf(XAggLevel a, XAggLevel b) {
        return a.isHigherThanOrSameAs(b) ? a : b;
    }
    const char* toString() const;

private:
    int32_t m_level;
};

class QVCMNEXPR_API XResultTypeIndicator {
public:
    constexpr XResultTypeIndicator() : m_rt(eXMINT_UNINIT) {}
    constexpr XResultTypeIndicator(int rt) : m_rt(rt) {}
    constexpr XResultTypeIndicator(XType type) : m_rt(type.toInteger()) {}

    void set(int rt) { m_rt = rt; }
    void set(XResultTypeIndicator rt) { m_rt = rt.m_rt; }
    constexpr int toInteger() const { return m_rt; }
    int isValid() const { return XType(m_rt).isValidDataTypeForValidation(0) || isResultRule(m_rt); }
    constexpr int isInitialized() const { return m_rt != eXMINT_UNINIT; }
    constexpr int isSame(XResultTypeIndicator other) const { return m_rt == other.m_rt; }
    constexpr int isSameAsOpd() const { return m_rt == eXRT_SAME_AS_OPD; }
    constexpr int isSameAsOpdFixed() const { return m_rt == eXRT_SAME_AS_OPD_FIXED; }
    constexpr int isOneLevelUp() const {
        return m_rt == eXRT_ONE_LEVEL_UP || m_rt == eXRT_ONE_LEVEL_UP_WITH_FRACTION;
    }
    constexpr int isOneLevelUpWithFraction() const {
        return m_rt == eXRT_ONE_LEVEL_UP_WITH_FRACTION;
    }
    constexpr int isReal() const { return m_rt == eXRT_REAL; }
    constexpr int isBoolean() const { return m_rt == eXDT_BOOLEAN; }
    // May the result carry a fraction? Fixed types other than BOOLEAN say
    // no, as does "same as the operand, fixed"; rules that are unknown
    // until the operand is seen say yes.
    int isFloating() const {
        if (m_rt == eXDT_BOOLEAN || m_rt == eXRT_REAL) return 1;
        if (m_rt == eXRT_SAME_AS_OPD_FIXED) return 0;
        return !XType(m_rt).isValidDataTypeForValidation(1);
    }
    constexpr XType toXDataType() const { return XType(m_rt); }
    static XResultTypeIndicator getXrtString();
    const char* toString() const;
    static constexpr bool isResultRule(int value) {
        return value >= eXRT_SAME_AS_OPD && value <= eXRT_REAL;
    }

private:
    int32_t m_rt;
};

class QVCMNEXPR_API XTypeParentExpectsIndicator {
public:
    constexpr XTypeParentExpectsIndicator() : m_tpe(eXMINT_UNINIT) {}
    constexpr XTypeParentExpectsIndicator(int tpe) : m_tpe(tpe) {}
    constexpr XTypeParentExpectsIndicator(XType type) : m_tpe(type.toInteger()) {}

    void set(int tpe) { m_tpe = tpe; }
    void set(XTypeParentExpectsIndicator tpe) { m_tpe = tpe.m_tpe; }
    constexpr int toInteger() const { return m_tpe; }
    int isValid() const { return XType(m_tpe).isValidatedDataType(0) || isParentRule(m_tpe); }
    constexpr int isInitialized() const { return m_tpe != eXMINT_UNINIT; }
    constexpr int isSame(XTypeParentExpectsIndicator other) const { return m_tpe == other.m_tpe; }
    constexpr int isSameAsAugType() const { return m_tpe == eXTPE_SAME_AS_AUGTYPE; }
    XType toXDataType() const;
    // The one type this expectation names, or the invalid type when it
    // depends on the parent or the child.
    XType getSpecificType() const {
        if (m_tpe == eXTPE_ALPHA) return XType::getXdtString();
        if (XType(m_tpe).isValidatedDataType(0)) return XType(m_tpe);
        return XType(eXMINT_INVALID);
    }
    // The type the child must have; `childAugType` takes no part in it.
    // Asked for every operand, so kept where the caller can inline it.
    XType getExpectedType(XType parentType, XType augType, XType childType, XType) const {
        XType specific = getSpecificType();
        if (specific.isValid()) return specific;
        const XType invalid(eXMINT_INVALID);
        switch (m_tpe) {
            case eXTPE_SAME_AS_PARENT: return parentType;
            case eXTPE_SAME_AS_AUGTYPE: return augType;
            case eXTPE_ANY:
                if (childType.isBinary()) return invalid;
                return childType.isNull() ? XType(eXDT_INT) : childType;
            case eXTPE_ANY_PLUS_BINARY: return childType;
            case eXTPE_ANY_ALPHA_NUMERIC:
                if (childType.isNull()) return XType(eXDT_INT);
                return (childType.isNumeric(1) || childType.isString(1)) ? childType : invalid;
            case eXTPE_ANY_NUMERIC: return childType.isNumeric(1) ? childType : XType(eXDT_INT);
            default: return invalid;
        }
    }
    static XTypeParentExpectsIndicator getXtpeString();
    const char* toString() const;
    static constexpr bool isParentRule(int value) {
        return value >= eXTPE_SAME_AS_PARENT && value <= eXTPE_ANY_NUMERIC;
    }

private:
    int32_t m_tpe;
};

class QVCMNEXPR_API XBooleanInt {
public:
    static const XBooleanInt cls_false;
    static const XBooleanInt cls_true;

    constexpr XBooleanInt() : m_value(eXMINT_UNINIT) {}
    constexpr XBooleanInt(int value) : m_value(normalise(value)) {}

    void set(int value) { m_value = normalise(value); }
    void set(XBooleanInt value) { m_value = value.m_value; }
    void setQvBoolean(int value) { m_value = value != 0 ? 1 : 0; }
    constexpr int isTrue() const { return m_value == 1; }
    constexpr int isFalse() const { return m_value == 0; }
    constexpr int toBoolean() const { return isTrue(); }
    // Known, and of the same truth as `b`.
    constexpr int isSame(int b) const { return isValid() && (m_value == 1) == (b != 0); }
    constexpr int isValid() const { return m_value == 0 || m_value == 1; }
    constexpr int isInitialized() const { return m_value != eXMINT_UNINIT; }
    constexpr int toInteger() const { return m_value; }

private:
    // Sentinels are kept; a non-negative value other than 0 or 1 is invalid.
    static constexpr int32_t normalise(int value) {
        return (value > 1) ? static_cast<int32_t>(eXMINT_INVALID) : value;
    }

    int32_t m_value;
};

class QVCMNEXPR_API XNonNegInt {
public:
    constexpr XNonNegInt() : m_value(eXMINT_UNINIT) {}
    // Any integer: the low 32 bits are kept, so an unsigned long long
    // position keeps its low word and the sentinels pass through. One
    // template instead of a constructor per integer type keeps calls with
    // size_t or unsigned values unambiguous.
    template <std::integral T>
    constexpr XNonNegInt(T value) : m_value(static_cast<int32_t>(static_cast<uint32_t>(value))) {}
    // The sentinels (eXMINT_DUMMY, eXMINT_NOCHANGE...) as positions.
    constexpr XNonNegInt(EXMInt sentinel) : m_value(sentinel) {}

    void set(int value) { m_value = value; }
    void set(unsigned int value) { m_value = static_cast<int32_t>(value); }
    void set(XNonNegInt value) { m_value = value.m_value; }
    constexpr int isValid() const { return m_value >= 0; }
    constexpr int isInitialized() const { return m_value != eXMINT_UNINIT; }
    constexpr int toInteger() const { return m_value; }
    constexpr unsigned int toUnsigned() const { return static_cast<unsigned int>(m_value); }
    constexpr operator int() const { return m_value; }
    int& getRefAsInteger() { return m_value; }

private:
    int32_t m_value;
};
