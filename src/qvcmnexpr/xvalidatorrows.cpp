// The validator's per-kind rows, built at compile time from
// xvalidatorrows.def, and the lookup from a node kind to its rows.
#include "xvalidatorrows.h"

#include <array>

namespace {

// The expectation lists of the rows. Each distinct list is one constant
// array closed by the end marker, shared by every node of its rows; being
// constant-initialised it exists before any thread runs.
template <int... E>
struct Expect {
    static constexpr XTypeParentExpectsIndicator values[] = {E..., XValidator::cls_tpeEndOfList};
};

constexpr int kParent = eXTPE_SAME_AS_PARENT;
constexpr int kAugType = eXTPE_SAME_AS_AUGTYPE;
constexpr int kAlpha = eXTPE_ALPHA;
constexpr int kAnyBinary = eXTPE_ANY_PLUS_BINARY;
constexpr int kAnyAlphaNumeric = eXTPE_ANY_ALPHA_NUMERIC;
constexpr int kAnyNumeric = eXTPE_ANY_NUMERIC;
constexpr int kOther = XValidator::cls_tpeOtherOperand;
constexpr int kInt = eXDT_INT;
constexpr int kDate = eXDT_DATE;
constexpr int kBigInt = eXDT_BIGINT;
constexpr int kFloat = eXDT_FLOAT;
constexpr int kDec18 = eXDT_DEC18;
constexpr int kDec28 = eXDT_DEC28;
constexpr int kDec38 = eXDT_DEC38;
constexpr int kBinary = eXDT_BINARY;
constexpr int kNoMax = XValidatorRow::cNoMax;
constexpr int kRtString = XValidatorRow::cRtString;
// The widest decimal custom type, resolved when the node is typed.
constexpr int kRtWidestCustomDecimal = XType::cls_firstCustomType;
constexpr const XTypeParentExpectsIndicator* kNone = nullptr;

constexpr int kKindCount = eXNI_DUMMYTAIL + 1;

}  // namespace

struct XValidatorRowTable {
    std::array<XValidatorRow, 192> rows{};
    int count = 0;
    std::array<int16_t, kKindCount> first{};  // -1: no rows
    std::array<int16_t, kKindCount> number{};
};

#define V(...) {__VA_ARGS__}
#define E(...) Expect<__VA_ARGS__>::values

constexpr XValidatorRowTable XValidatorRows::buildTable() {
    XValidatorRowTable table;
    for (auto& f : table.first) f = -1;
    const XValidatorRow rows[] = {
#define ROW(KIND, chooser, variants, min, max, expectations, result, typing, canBeConst, check) \
    {eXNI_##KIND, &XValidator::chooser, variants, min, max, expectations, result,              \
     &XValidator::getOpdType##typing, canBeConst, &XValidator::checkChildConstness_##check},
#include "xvalidatorrows.def"
    };
    for (const XValidatorRow& row : rows) {
        const int kind = row.kind;
        if (table.first[kind] < 0) table.first[kind] = static_cast<int16_t>(table.count);
        ++table.number[kind];
        table.rows[table.count++] = row;
    }
    return table;
}

#undef V
#undef E

const XValidatorRow* XValidatorRows::rowsOf(EXNodeId kind, int& count) {
    static constexpr XValidatorRowTable kTable = buildTable();
    const EXNodeId rowKind = rowKindOf(kind);
    count = 0;
    if (rowKind < 0 || rowKind >= kKindCount || kTable.first[rowKind] < 0) return nullptr;
    count = kTable.number[rowKind];
    return &kTable.rows[kTable.first[rowKind]];
}

EXNodeId XValidatorRows::rowKindOf(EXNodeId kind) {
    switch (kind) {
        case eXNI_ASCII: return eXNI_CHRCODE;
        case eXNI_CONCATOP: return eXNI_CONCAT;
        case eXNI_MODULUS: return eXNI_MOD;
        case eXNI_LE: return eXNI_GE;
        case eXNI_LT: return eXNI_GT;
        case eXNI_NE2:
        case eXNI_NE3: return eXNI_NE1;
        case eXNI_ANY: return eXNI_LAST;
        default: return kind;
    }
}

int XValidatorRow::serves(XOp op) const {
    if (variants[0] == 0) return 1;
    for (int16_t v : variants) {
        if (v != 0 && v == op.toInteger()) return 1;
    }
    return 0;
}

XResultTypeIndicator XValidatorRow::resultIndicator() const {
    return result == cRtString ? XResultTypeIndicator::getXrtString() : XResultTypeIndicator(result);
}
