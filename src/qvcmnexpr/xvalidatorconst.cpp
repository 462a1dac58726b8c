// The checks of constant arguments: values the validator can refuse before
// anything runs (a zero divisor, a negative square root, a percentile above
// 100, a pad length, a date format or date part the host cannot read, a
// timestamp precision), and the arguments that must be constants at all.
// A caller that substitutes an argument's value later re-runs the check of
// that argument through needCheckNodeValue.
#include <array>
#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "qvcmnexpr/xnodeconst.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/xvalidator.h"
#include "qvutils.h"
#include "xvalidatorrows.h"

namespace {

// ---- values of constant arguments ----

const XNodeConstBase* constantOf(const XNode* node) {
    return node->isConstNode() ? static_cast<const XNodeConstBase*>(node) : nullptr;
}

// Calls `use` with the text of a constant text node, in the width the node
// holds it in (8-bit in ASCII mode, UTF-16 otherwise); 0 when `node` holds
// no text, else what `use` returns.
template <class Use>
int withConstantText(const XNode* node, Use&& use) {
    if (!node->isConstNode() || !node->isValueAvailable()) return 0;
    switch (node->getDataType().toInteger()) {
        case eXDT_STRING:
            return use(static_cast<const QvtStr<char>*>(node->getDataPtr())->getBuffer());
        case eXDT_UNISTRING:
            return use(static_cast<const QvtStr<unsigned short>*>(node->getDataPtr())->getBuffer());
        default: return 0;
    }
}

QvUString shown(const char* text) { return QvUString(text); }
QvUString shown(const unsigned short* text) { return QvUString(text); }

// The catalogue text of `id` with `value` in place of its one conversion.
QvUString messageWithValue(int id, const QvUString& value) {
    const QvUString format = qvGetMsg(id);
    QvUString out;
    const unsigned short* text = format.getBuffer();
    const size_t n = format.length();
    int replaced = 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned short next = i + 1 < n ? text[i + 1] : 0;
        if (!replaced && text[i] == '%' && (next == 'd' || next == 'g' || next == 's')) {
            out.append(value);
            replaced = 1;
            ++i;
        } else {
            out.append(text[i]);
        }
    }
    return out;
}

QvUString doubleText(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return QvUString(buffer);
}

// The integer a constant stands for, as text, also when it does not fit an
// int (the very values an integer range refuses).
QvUString integerText(const XNodeConstBase& constant) {
    int value = 0;
    if (constant.getIntValueV(value) == 0) return QvUString(std::to_string(value).c_str());
    long long whole = 0;
    if (constant.getBigIntValueV(whole) == 0) return QvUString(std::to_string(whole).c_str());
    double real = 0.0;
    if (constant.getDoubleValueV(real) == 0) return doubleText(real);
    return QvUString("?");
}

// ---- date formats ----

// 0 when the host accepts `text` as a date part name (a scratch date takes
// nothing of it).
template <class C>
int checkDatePart(const C* text) {
    QvDate scratch;
    return scratch.AddToPart(text, 0);
}

// Constant formats repeat from one expression to the next (a project writes
// its dates one way or two), and compiling one costs far more than finding
// it again, so each thread keeps the last few it compiled with the host's
// verdict. Only short texts are kept: a long one is compiled, used, released.
template <class C>
class RecentDateFormats {
public:
    // Calls use(rc, compiled) with the host's answer for `text` and the
    // compiled format (nullptr when refused); returns what `use` returns.
    template <class Use>
    int with(const C* text, Use&& use) {
        const std::basic_string_view<C> key(text);
        if (key.size() > kLongestKept) {
            QvDateCompiledFormat<C>* raw = nullptr;
            const int rc = QvDate::compileFormatSet(text, &raw);
            const QvDateCompiledFormatPtr<C> compiled(raw);
            return use(rc, compiled.get());
        }
        for (const Entry& entry : m_entries) {
            if (entry.used && entry.text == key) return use(entry.rc, entry.compiled.get());
        }
        Entry& entry = m_entries[m_next];
        m_next = (m_next + 1) % kKept;
        QvDateCompiledFormat<C>* raw = nullptr;
        entry.rc = QvDate::compileFormatSet(text, &raw);
        entry.compiled.reset(raw);
        entry.text.assign(key);
        entry.used = true;
        return use(entry.rc, entry.compiled.get());
    }

private:
    static constexpr size_t kKept = 8;
    static constexpr size_t kLongestKept = 64;
    struct Entry {
        std::basic_string<C> text;
        QvDateCompiledFormatPtr<C> compiled;
        int rc = 0;
        bool used = false;
    };
    std::array<Entry, kKept> m_entries;
    size_t m_next = 0;
};

template <class C>
RecentDateFormats<C>& recentDateFormats() {
    static thread_local RecentDateFormats<C> formats;
    return formats;
}

// 0 when the host compiles `text`; a format a caller keeps (`keep` given)
// is its own copy, never one of the thread's recent ones.
template <class C>
int checkDateFormat(const C* text, void** keep) {
    if (!keep) return recentDateFormats<C>().with(text, [](int rc, const auto*) { return rc; });
    QvDateCompiledFormat<C>* raw = nullptr;
    const int rc = QvDate::compileFormatSet(text, &raw);
    QvDateCompiledFormatPtr<C> compiled(raw);
    if (rc == 0) *keep = compiled.release();
    return rc;
}

// 0 when `value` reads as a date with the constant format `format` (one
// the format check has passed, held in the width of `value`).
template <class C>
int readsAsDate(const XNode* format, const C* value) {
    constexpr int kWidth = sizeof(C) == 1 ? eXDT_STRING : eXDT_UNISTRING;
    if (format->getDataType().toInteger() != kWidth) return 0;
    const C* formatText = static_cast<const QvtStr<C>*>(format->getDataPtr())->getBuffer();
    return recentDateFormats<C>().with(formatText, [value](int rc, const QvDateCompiledFormat<C>* compiled) {
        return rc == 0 && compiled ? QvDate().Set(value, compiled) : 0;
    });
}

// The precisions SYSTIMESTAMP takes, in any case.
constexpr const char* kTimestampPrecisions[] = {"MS", "US", "NS", "SS"};

int isTextOrNull(const XNode* node) {
    const XType type = node->getDataType();
    return type.isNull() || type.isString(1);
}

// The parent kinds (after forwarding) and argument positions whose value a
// check of the parent reads; kAnyPosition: every argument.
constexpr int kAnyPosition = -1;
struct CheckedArgument {
    EXNodeId parent;
    int position;
};
constexpr CheckedArgument kCheckedArguments[] = {
    {eXNI_DIVIDE, 1}, {eXNI_MOD, 1},
    {eXNI_CUME, kAnyPosition}, {eXNI_ANY, kAnyPosition}, {eXNI_AVG, kAnyPosition},
    {eXNI_COUNT, kAnyPosition}, {eXNI_FIRST, kAnyPosition}, {eXNI_LAST, kAnyPosition},
    {eXNI_MAX, kAnyPosition}, {eXNI_MEDIAN, kAnyPosition}, {eXNI_MIN, kAnyPosition},
    {eXNI_PERCENTILE, kAnyPosition}, {eXNI_STDDEV, kAnyPosition}, {eXNI_SUM, kAnyPosition},
    {eXNI_TRUE_LAST, kAnyPosition}, {eXNI_VARIANCE, kAnyPosition},
    {eXNI_MOVINGAVG, 1}, {eXNI_MOVINGSUM, 1},
    {eXNI_ADD_TO_DATE, 1}, {eXNI_SYSTIMESTAMP, kAnyPosition}, {eXNI_DATE_DIFF, 2},
    {eXNI_GET_DATE_PART, 1}, {eXNI_INSTR, 3}, {eXNI_IS_DATE, 1}, {eXNI_LPAD, 1}, {eXNI_RPAD, 1},
    {eXNI_ROUND, 1}, {eXNI_SET_DATE_PART, 1}, {eXNI_TO_CHAR, 1}, {eXNI_TO_DATE, kAnyPosition},
    {eXNI_TO_DECIMAL, 1}, {eXNI_TO_INTEGER, 1}, {eXNI_TO_BIGINT, 1}, {eXNI_TRUNC, 1},
    {eXNI_LN, kAnyPosition}, {eXNI_LOG, kAnyPosition}, {eXNI_SQRT, kAnyPosition},
};

int isCheckedArgument(EXNodeId parent, int position) {
    for (const CheckedArgument& row : kCheckedArguments) {
        if (XValidatorRows::rowKindOf(row.parent) == parent &&
            (row.position == kAnyPosition || row.position == position)) {
            return 1;
        }
    }
    return 0;
}

}  // namespace

[[gnu::cold, gnu::noinline]]
void XValidator::reportTextAt(XNode* child, const QvUString& text,
                              EXValidationFailureCase failureCase) {
    if (m_quiet == 0) XParser::appendParserMessage(1, getTree(), child, text.getBuffer());
    if (failureCase != eXVFC_NONE) {
        upg_setFailureCase(failureCase, child->getMyIndexInParent(), XType(eXMINT_INVALID));
    }
}

// ===== base checks =====

int XValidator::checkChildConstness_WithIntRange(XNode* child, int mustBeConstant, int low,
                                                 int high) {
    int valueAvailable = 0;
    if (checkChildConstness(child, mustBeConstant, valueAvailable) != 0) return -1;
    const XNodeConstBase* constant = constantOf(child);
    if (!valueAvailable || !constant || !child->getDataType().isNumeric(1)) return 0;
    int value = 0;
    if (constant->getIntValueV(value) == 0 && value >= low && value <= high) return 0;
    reportTextAt(child, messageWithValue(eQvMSG_ARG_OUT_OF_RANGE, integerText(*constant)),
                 eXVFC_VALUE_OUT_OF_RANGE);
    return -1;
}

int XValidator::checkChildConstness_NonNegative(XNode* child, int mustBeConstant,
                                                const double* excluded, int excludedCount) {
    int valueAvailable = 0;
    if (checkChildConstness(child, mustBeConstant, valueAvailable) != 0) return -1;
    const XNodeConstBase* constant = constantOf(child);
    if (!valueAvailable || !constant || !child->getDataType().isNumeric(1)) return 0;
    double value = 0.0;
    // Written so that NaN fails as well.
    int refused = constant->getDoubleValueV(value) != 0 || !(value >= 0.0);
    for (int i = 0; i < excludedCount && !refused; ++i) refused = value == excluded[i];
    if (!refused) return 0;
    reportTextAt(child, messageWithValue(eQvMSG_NEGATIVE_ARGUMENT, doubleText(value)),
                 eXVFC_VALUE_OUT_OF_RANGE);
    return -1;
}

int XValidator::checkChildConstness_Positive(XNode* child, int mustBeConstant) {
    static constexpr double kZero[] = {0.0};
    return checkChildConstness_NonNegative(child, mustBeConstant, kZero, 1);
}

int XValidator::checkChildConstness_DateFormat(XNode* child, int mustBeConstant, int isDatePart,
                                               void** compiledFormat) {
    if (compiledFormat) *compiledFormat = nullptr;
    if (!isTextOrNull(child)) {
        reportAt(child, eQvMSG_INVALID_OPERAND_TYPE, eXVFC_NONE, XType(eXMINT_INVALID));
        return -1;
    }
    int valueAvailable = 0;
    if (checkChildConstness(child, mustBeConstant, valueAvailable) != 0) return -1;
    if (!valueAvailable || child->getDataType().isNull()) return 0;
    QvUString refused;
    const int failed = withConstantText(child, [&](const auto* text) {
        const int rc = isDatePart ? checkDatePart(text) : checkDateFormat(text, compiledFormat);
        if (rc != 0) refused = shown(text);
        return rc != 0 ? 1 : 0;
    });
    if (!failed) return 0;
    const int id = isDatePart ? eQvMSG_INVALID_DATE_PART : eQvMSG_INVALID_DATE_FORMAT;
    reportTextAt(child, messageWithValue(id, refused), eXVFC_DATE_FORMAT);
    return -1;
}

// ===== per-function checks =====

int XValidator::checkDateArgument(XNodeOpt* node, int at, int isDatePart) {
    if (node->getNumChildren() <= at) return 0;
    return checkChildConstness_DateFormat(node->getChild(at), 0, isDatePart, nullptr);
}

int XValidator::checkChildConstness_Add_to_date(XNodeOpt* node) { return checkDateArgument(node, 1, 1); }
int XValidator::checkChildConstness_Get_date_part(XNodeOpt* node) { return checkDateArgument(node, 1, 1); }
int XValidator::checkChildConstness_Set_date_part(XNodeOpt* node) { return checkDateArgument(node, 1, 1); }
int XValidator::checkChildConstness_Date_diff(XNodeOpt* node) { return checkDateArgument(node, 2, 1); }
int XValidator::checkChildConstness_Is_date(XNodeOpt* node) { return checkDateArgument(node, 1, 0); }

// Only the date variants take a format; the number's second argument is a
// count of decimal places that any value may give.
int XValidator::checkChildConstness_Round(XNodeOpt* node) {
    const int op = getNodeOp(node).toInteger();
    if (op != eXOP_ROUND_DATE && op != eXOP_ROUND_DATE_WITHSTR) return 0;
    return checkDateArgument(node, 1, 1);
}

int XValidator::checkChildConstness_Trunc(XNodeOpt* node) {
    const int op = getNodeOp(node).toInteger();
    if (op != eXOP_TRUNC_DATE && op != eXOP_TRUNC_DATE_WITHSTR) return 0;
    return checkDateArgument(node, 1, 1);
}

int XValidator::checkChildConstness_To_char(XNodeOpt* node) {
    if (node->getNumChildren() != 2) return 0;
    if (getNodeOp(node).isTo_charX()) {
        return checkChildConstness_WithIntRange(node->getChild(1), 1, 0, XType::getDecMaxPrecision());
    }
    return checkDateArgument(node, 1, 0);
}

int XValidator::checkChildConstness_To_decimal(XNodeOpt* node) {
    if (node->getNumChildren() != 2) return 0;
    return checkChildConstness_WithIntRange(node->getChild(1), 1, 0, XType::getDecMaxPrecision());
}

int XValidator::checkChildConstness_To_integer(XNodeOpt* node) {
    if (node->getNumChildren() != 2) return 0;
    int valueAvailable = 0;
    return checkChildConstness(node->getChild(1), 1, valueAvailable);
}

int XValidator::checkChildConstness_To_bigint(XNodeOpt* node) { return checkChildConstness_To_integer(node); }

int XValidator::checkChildConstness_Instr(XNodeOpt* node) {
    if (node->getNumChildren() < 4) return 0;
    return checkChildConstness_WithIntRange(node->getChild(3), 0, 0, INT_MAX);
}

int XValidator::checkChildConstness_Lpad(XNodeOpt* node) {
    return checkChildConstness_WithIntRange(node->getChild(1), 1, 0, INT_MAX);
}

int XValidator::checkChildConstness_Rpad(XNodeOpt* node) { return checkChildConstness_Lpad(node); }

int XValidator::checkChildConstness_MovingAvg(XNodeOpt* node) {
    return checkChildConstness_WithIntRange(node->getChild(1), 1, 1, INT_MAX);
}

int XValidator::checkChildConstness_MovingSum(XNodeOpt* node) { return checkChildConstness_MovingAvg(node); }

int XValidator::checkChildConstness_Percentile(XNodeOpt* node) {
    if (checkChildConstness_agg(node) != 0) return -1;
    return checkChildConstness_WithIntRange(node->getChild(1), 0, 0, 100);
}

int XValidator::checkChildConstness_Ln(XNodeOpt* node) { return checkChildConstness_Positive(node->getChild(0), 0); }

int XValidator::checkChildConstness_Log(XNodeOpt* node) {
    static constexpr double kNoBase[] = {0.0, 1.0};
    if (checkChildConstness_NonNegative(node->getChild(0), 0, kNoBase, 2) != 0) return -1;
    return checkChildConstness_Positive(node->getChild(1), 0);
}

int XValidator::checkChildConstness_Sqrt(XNodeOpt* node) {
    return checkChildConstness_NonNegative(node->getChild(0), 0, nullptr, 0);
}

int XValidator::checkChildConstness_Metaphone(XNodeOpt* node) {
    if (node->getNumChildren() != 2) return 0;
    return checkChildConstness_NonNegative(node->getChild(1), 0, nullptr, 0);
}

// The date text is read with the format when both are constants, so that a
// literal the evaluator could never read is refused now.
int XValidator::checkChildConstness_To_date(XNodeOpt* node) {
    XNode* text = node->getChild(0);
    if (!isTextOrNull(text)) {
        reportAt(text, eQvMSG_INVALID_OPERAND_TYPE, eXVFC_NONE, XType(eXMINT_INVALID));
        return -1;
    }
    if (node->getNumChildren() < 2) return 0;
    int valueAvailable = 0;
    if (checkChildConstness(text, 0, valueAvailable) != 0) return -1;
    XNode* format = node->getChild(1);
    if (checkChildConstness_DateFormat(format, 0, 0, nullptr) != 0) return -1;
    if (!valueAvailable || text->getDataType().isNull() || !format->isValueAvailable() ||
        format->getDataType().isNull()) {
        return 0;
    }
    QvUString refused;
    const int failed = withConstantText(text, [&](const auto* value) {
        if (readsAsDate(format, value) == 0) return 0;
        refused = shown(value);
        return 1;
    });
    if (!failed) return 0;
    reportTextAt(text, messageWithValue(eQvMSG_DATE_TEXT_MISMATCH, refused), eXVFC_DATE_FORMAT);
    return -1;
}

int XValidator::checkChildConstness_Systimestamp(XNodeOpt* node) {
    if (node->getNumChildren() == 0) return 0;
    XNode* precision = node->getChild(0);
    if (!isTextOrNull(precision)) {
        reportAt(precision, eQvMSG_INVALID_OPERAND_TYPE, eXVFC_NONE, XType(eXMINT_INVALID));
        return -1;
    }
    if (!isNodeConstnessTrue(precision) || precision->getDataType().isNull()) return 0;
    QvUString refused;
    const int failed = withConstantText(precision, [&](const auto* text) {
        const QvUString value = shown(text);
        for (const char* known : kTimestampPrecisions) {
            if (value.caseCompare(QvUString(known)) == 0) return 0;
        }
        refused = value;
        return 1;
    });
    if (!failed) return 0;
    reportTextAt(precision, messageWithValue(eQvMSG_INVALID_TIMESTAMP_PRECISION, refused),
                 eXVFC_DATE_FORMAT);
    return -1;
}

// ===== re-checking one argument =====

int XValidator::needCheckNodeValue(XNode* child, XValidator* v, XTree* tree, int* result) {
    XNodeParent* parent = child ? child->getParent() : nullptr;
    if (!parent || parent->isDummyParentOfRoot()) return 0;
    if (parent->isExtFuncNode()) return isNodeConstnessTrue(child);
    if (!parent->isOptNode()) return 0;
    const EXNodeId kind = XValidatorRows::rowKindOf(parent->getId());
    if (!isCheckedArgument(kind, child->getMyIndexInParent())) return 0;
    if (!v) return 1;

    // The check of the row the parent's variant was validated by.
    auto* node = static_cast<XNodeOpt*>(parent);
    int count = 0;
    const XValidatorRow* rows = XValidatorRows::rowsOf(parent->getId(), count);
    const XOp op = getNodeOp(node);
    int checked = 0;
    for (int i = 0; i < count; ++i) {
        if (rows[i].serves(op)) {
            v->setTree(tree);
            checked = (v->*rows[i].check)(node);
            break;
        }
    }
    if (result) *result = checked;
    return 1;
}

int XValidator::checkNodeValueIfNeeded(XNode* child, XTree* tree) {
    int result = 0;
    return needCheckNodeValue(child, this, tree, &result) ? result : 0;
}
