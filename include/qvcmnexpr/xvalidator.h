// The validator: the tree walker that types a freshly parsed tree.
//
// It visits every node after its children and writes into it the data type,
// augmented type, aggregation level, constness, the operation variant the
// evaluator runs, what the parent expects of it and the result-type rule
// applied, resolving every reference through the caller's context. The
// first complaint is reported as a catalogued message at the offending node
// and ends the walk; a completeness pass then checks that every node got
// every attribute.
//
// What distinguishes one operator or function from another is data: one row
// per kind (and per group of variants where the variants differ in their
// arguments) in xvalidatorrows.def, read by one common protocol. A kind
// without a row fails validation with a message naming it.
#pragma once

#include <cstdint>
#include <memory>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xtype.h"
#include "qvcmnexpr/xvisit.h"

class XMetadata;
class XMetadataWidget;
class XParserContext;
class XStructuralFeature;
class XTypeConfig;
class XStack;
class XTree;
struct XValidatorRow;

// The first validation failure of a validator, for callers that upgrade old
// expressions; the library itself never reads it.
enum EXValidationFailureCase : int32_t {
    eXVFC_NONE = -1,
    eXVFC_NO_VARIANT = 0,
    eXVFC_ARGUMENT_COUNT = 1,
    eXVFC_AGGREGATION_TOO_DEEP = 2,
    eXVFC_PERCENTILE_NOT_ROW = 3,
    eXVFC_MIXED_AGGREGATION = 4,
    eXVFC_SETVARIABLE = 5,
    eXVFC_CONSTANT_ARGUMENT = 6,
    eXVFC_NULL_NOT_ALLOWED = 7,
    eXVFC_CONSTANT_EXPECTED = 8,
    eXVFC_VALUE_OUT_OF_RANGE = 9,
    eXVFC_OPERAND_TYPING = 10,
    eXVFC_SPECIAL_CONSTRAINTS = 11,
    eXVFC_INCOMPATIBLE_CHILD = 12,
    eXVFC_NUMERIC_EXPECTED = 13,
    eXVFC_STRING_EXPECTED = 14,
    eXVFC_DATE_EXPECTED = 15,
    eXVFC_OPERANDS_DIFFER = 16,
    eXVFC_DATE_FORMAT = 17,
};

class QVCMNEXPR_API XValidator : public XVisitor {
public:
    // In a row's expectation list: "expected as the other operand's type".
    // The value is the first custom type id, which callers may read back
    // from old expectation arrays; only the expectation lists of the rows
    // give it that meaning, never a child's own type.
    static constexpr int cls_tpeOtherOperand = 1022;
    // Closes every expectation list.
    static constexpr int cls_tpeEndOfList = eXMINT_DUMMY;

    explicit XValidator(XParserContext* context = nullptr);
    XValidator(const XValidator&) = default;
    XValidator& operator=(const XValidator&) = default;
    ~XValidator() override;

    EXVisitorType getVisitorType() const override { return eXVT_VALIDATOR; }
    // Validates the whole tree: 0, or -1 after reporting.
    int visitSyntaxTree(XTree* tree, XStack* stack, void* unused) override;
    void setParserContext(XParserContext* context) { m_context = context; }
    XParserContext* getParserContext() const { return m_context; }

    // ---- failure record: the first failure wins ----
    void upg_setFailureCase(EXValidationFailureCase failureCase, int childIndex, XType type);
    void upg_resetFailureCase();
    EXValidationFailureCase upg_getFailureCase() const { return m_failureCase; }
    int upg_getFailureChildIndex() const { return m_failureChildIndex; }
    XType upg_getFailureExpectedType() const { return m_failureExpectedType; }

    int getToCharSwitch() const { return m_toCharSwitch; }
    void setToCharSwitch(int on) { m_toCharSwitch = on; }
    // 0 (the default): references are recorded in the tree's text record.
    void setRefRecordingOff(int off) { m_refRecordingOff = off; }

    // ---- messages ----
    // Error 20047 carrying `text`, at `node`.
    static void appendMsg(const unsigned short* text, XTree* tree, XNode* node);
    // The node whose name a message about `node` shows: its parent when that
    // is an operator or function below the root, else the node.
    static XNode* getNodeForNameInMsg(XNode* node);

    // ---- node attributes ----
    static XAggLevel getNodeAggLevel(const XNode* node);
    static XType getNodeAugType(const XNode* node);
    static XBooleanInt getNodeConstness(const XNode* node);
    static XType getNodeDataType(const XNode* node);
    static XOp getNodeOp(const XNode* node);
    static XResultTypeIndicator getNodeResultTypeIndicator(const XNode* node);
    static XNonNegInt getNodeScale(const XNode* node);
    static XTypeParentExpectsIndicator getNodeTypeParentExpectsIndicator(const XNode* node);
    static void setNodeAggLevel(XNode* node, XAggLevel level);
    static void setNodeAugType(XNode* node, XType type);
    static void setNodeConstness(XNode* node, XBooleanInt constness);
    static void setNodeDataType(XNode* node, XType type);
    static void setNodeOp(XNode* node, XOp op);
    static void setNodeResultTypeIndicator(XNode* node, XResultTypeIndicator rti);
    static void setNodeScale(XNode* node, int scale);
    static void setNodeTypeParentExpectsIndicator(XNode* node, XTypeParentExpectsIndicator tpe);
    static XType getChildType(const XNodeOpt* node, int i);
    // Copies every attribute of `info` (and of `md`) not marked NOCHANGE.
    static void setNodeInfo(XTree* tree, XNode* node, const XNodeCmnInfo& info, const XMetadata* md,
                            int, int);

    // ---- predicates ----
    static int isNodeConstnessTrue(const XNode* node);
    static int hasConstValue(const XNode* node);
    static int isPercentileChildOfPercentile(const XNode* node);
    static int isSingleValuedNode(const XNode* node);
    static int isChildFilterOrIifCond(const XNodeParent* parent, int i);
    static int isMapVarCurrentValueReference(const XNode* node);
    static int isMapVarInitValueReference(const XNode* node);
    // The node's hierarchical type configuration exists and is valid.
    static int hasValidTypeConfig(const XNode* node);
    // A type a context may declare for a reference or a call's result: one
    // the library validates, one the host exchanges, or a fixed decimal.
    static int isUsableDeclaredType(XType type);

    // DECODE(value, search1, result1, ..., [default])
    static int isSearchChildOfDecode(int i, int n);
    static int isResultChildOfDecode(int i, int n) { return !isSearchChildOfDecode(i, n); }
    static int isSearchChildOfDecode(const XNode* node);
    static int isResultChildOfDecode(const XNode* node);
    static int getLastSearchChildIdx(int n) { return (n % 2 != 0) ? n - 2 : n - 3; }
    static int getLastResultChildIdx(int n) { return n - 1; }

    // ---- completeness pass: 1 when every node is properly set ----
    using ExtraCheck = int (*)(XNode*, int, int);
    static int checkIsProperlySet(XTree* tree, int checkPositions, int relaxedTypes,
                                  int relaxValidation, int allowNull, ExtraCheck extra);
    static int checkIsProperlySet(XNode* node, XTree* tree, int isRoot, int checkPositions,
                                  int relaxedTypes, int relaxValidation, int allowNull,
                                  ExtraCheck extra);
    static int allowBinary(const XNode* node, int isRoot);
    static int allowNullDataType(const XNode* node, int isRoot, int allowNull);
    static int allowAddlDataType(const XNode* node);
    static int notAllowNullNode(const XNode* node);
    static int allowHType(const XNode* parent);
    static int isScaleInfoNeeded(const XNode* node);

    // ---- sizing ----
    static void estimateNumCharsMax(XNode* node);
    static int getToCharNumCharsMax(const XNode* node);
    // The pad length of LPAD or RPAD: a constant argument 1 of 0 or more,
    // else -2.
    static int getLengthOfLRPad(const XNodeOpt* node);
    // Whether `node` is the number that a TO_CHAR number variant formats.
    static int isNumOfTo_char_num(const XNode* node);
    // Turns a ROUND or two-argument TO_DECIMAL whose result is wanted as
    // text into the variant that rounds and formats in one step.
    static void convertToCharXIfNeeded(XNode* node);
    // Buffer-reuse hints of the estimate: an LPAD or RPAD argument may share
    // its parent's buffer; no copy operation is ever proposed.
    static int canReuseStrBuf(const XNode* node);
    static int getOpcodeCopy(const XNode*) { return eXMINT_DUMMY; }
    static int getOpcodeCopyNone(const XNode*) { return eXMINT_DUMMY; }
    static int getOpcodeCopySrc1(const XNode*) { return eXMINT_DUMMY; }
    static int getOpcodeCopySrc2(const XNode*) { return eXMINT_DUMMY; }
    static XBooleanInt getNodeIsStrPtrFixed(const XNode*) { return XBooleanInt(0); }

    // ---- re-checking an argument whose value a caller substituted ----
    // Whether a check of `child`'s parent reads its value; with `v`, that
    // check is run over `tree` and its result stored in `*result`.
    static int needCheckNodeValue(XNode* child, XValidator* v, XTree* tree, int* result);
    // The result of that check, or 0 when none applies.
    int checkNodeValueIfNeeded(XNode* child, XTree* tree);

    static XOp getOpUnused(XNodeOpt*) { return XOp(eXOP_UNUSED); }

protected:
    // One operation per node kind; each dispatches on the kind (visitKind).
    // Final: the validator's walk calls visitKind without them.
#define VISIT_OP(Op, KIND) int visit##Op##Node(XNode* node) final;
#include "qvcmnexpr/xnodevisits.def"

    // ---- the common protocol of operators and functions ----
    // Runs the row of the node's kind (and chosen variant).
    int visitByRow(XNodeOpt* node);
    int visitOptNodeCommon(XNodeOpt* node, XType operandType,
                           const XTypeParentExpectsIndicator* childExpectations, int maxArgs,
                           int canBeConstant);
    int visitOptNodeCommonHelper(XNodeOpt* node, const XTypeParentExpectsIndicator* childExpectations,
                                 int maxArgs, int canBeConstant);
    int visitNonOptNodeCommon(XNode* node, int isConstant, XType type);
    int checkNumChildren(XNodeOpt* node, int minArgs, int maxArgs);
    // 0 when `child` may stand where `expected` is wanted (a converted
    // operand is warned about), else -1 with the message said.
    int checkTypeCompatibility(XType expected, XNode* child) {
        // Most operands already have the type their parent wants.
        if (child->getDataType().isSame(expected) && expected.isValidDataTypeForValidation(1)) return 0;
        return checkTypeConversion(expected, child);
    }
    int checkTypeConversion(XType expected, XNode* child);
    int visitPostProcessing(XNodeOpt* node);
    // The level of `node`'s children combined; -1 after reporting 19114.
    int combineChildLevels(XNodeParent* node, XAggLevel& level);
    // Fails a node this release cannot validate, naming it.
    int failUnsupported(XNode* node);

    // ---- operand typing: 0, or -1 after reporting ----
    int getOpdTypeDummy(XNodeOpt*, XType&) { return 0; }
    int getOpdTypeOneArgAny(XNodeOpt* node, XType& out);
    int getOpdTypeOneArgAnyBinary(XNodeOpt* node, XType& out);
    int getOpdTypeOneArgNumeric(XNodeOpt* node, XType& out);
    int getOpdTypeTwoArgNumeric(XNodeOpt* node, XType& out);
    int getOpdTypeOneArgBoolean(XNodeOpt* node, XType& out);
    int getOpdTypeTwoArgBoolean(XNodeOpt* node, XType& out);
    int getOpdTypeIif(XNodeOpt* node, XType& out);
    int getOpdTypeWidestOfDecodeSearch(XNodeOpt* node, XType& out);
    int getOpdTypeWidestOfDecodeResult(XNodeOpt* node, XType& out);
    int getOpdTypeDecode(XNodeOpt* node, XType& out);
    int getOpdTypeCheckSpecialConstraints(XNodeOpt* node, XType& out);
    int getOpdTypeEqOp(XNodeOpt* node, XType& out);
    int getOpdTypeCmpOp(XNodeOpt* node, XType& out);
    void normalizeOpdType(XType& type);
    int getOpdTypeTwoMatchingArgs(XNodeOpt* node, XType a, XType b, XNode* childA, XNode* childB,
                                  XType& out, int normalise, int hierarchicalFlag);
    int isHTypeCompatible(XNodeOpt* node, XType& a, XType& b, XNode* childA, XNode* childB, int flag);

    // ---- variant choosers: the variant, also stored on the node ----
    XOp getOpAbs(XNodeOpt* node);
    XOp getOpCeil(XNodeOpt* node);
    XOp getOpFloor(XNodeOpt* node);
    XOp getOpPlus(XNodeOpt* node);
    XOp getOpMinus(XNodeOpt* node);
    XOp getOpMultiply(XNodeOpt* node);
    XOp getOpDivide(XNodeOpt* node);
    XOp getOpMod(XNodeOpt* node);
    XOp getOpNot(XNodeOpt* node);
    XOp getOpAnd(XNodeOpt* node);
    XOp getOpOr(XNodeOpt* node);
    XOp getOpSign(XNodeOpt* node);
    XOp getOpTo_integer(XNodeOpt* node);
    XOp getOpTo_bigint(XNodeOpt* node);
    XOp getOpTo_float(XNodeOpt* node);
    XOp getOpTo_decimal38(XNodeOpt* node);
    XOp getOpEQ(XNodeOpt* node);
    XOp getOpNE1(XNodeOpt* node);
    XOp getOpGE(XNodeOpt* node);
    XOp getOpGT(XNodeOpt* node);
    XOp getOpAdd_to_date(XNodeOpt* node);
    XOp getOpDate_diff(XNodeOpt* node);
    XOp getOpGet_date_part(XNodeOpt* node);
    XOp getOpSet_date_part(XNodeOpt* node);
    XOp getOpSystimestamp(XNodeOpt* node);
    XOp getOpTo_date(XNodeOpt* node);
    XOp getOpRound(XNodeOpt* node);
    XOp getOpTrunc(XNodeOpt* node);
    XOp getOpTo_decimal(XNodeOpt* node);
    XOp getOpTo_char(XNodeOpt* node);
    XOp getOpUnusedM(XNodeOpt*) { return XOp(eXOP_UNUSED); }

    // ---- constant-argument checks: 0, or -1 after reporting ----
    int checkChildConstness_Dummy(XNodeOpt*) { return 0; }
    int checkChildConstness(XNode* child, int mustBeConstant, int& valueAvailable);
    int checkChildConstness_DivideByZero(XNodeOpt* node);
    int checkChildConstness_agg(XNodeOpt* node);
    int checkChildConstness_WithIntRange(XNode* child, int mustBeConstant, int low, int high);
    int checkChildConstness_NonNegative(XNode* child, int mustBeConstant, const double* excluded,
                                        int excludedCount);
    int checkChildConstness_Positive(XNode* child, int mustBeConstant);
    // `compiledFormat`, when given, receives the compiled format (null when
    // the argument is not a constant text); the caller releases it with
    // QvDate::deleteCompiledFormat.
    int checkChildConstness_DateFormat(XNode* child, int mustBeConstant, int isDatePart,
                                       void** compiledFormat);
    // The per-function checks the rows name.
    int checkChildConstness_Add_to_date(XNodeOpt* node);
    int checkChildConstness_Get_date_part(XNodeOpt* node);
    int checkChildConstness_Set_date_part(XNodeOpt* node);
    int checkChildConstness_Date_diff(XNodeOpt* node);
    int checkChildConstness_Is_date(XNodeOpt* node);
    int checkChildConstness_Round(XNodeOpt* node);
    int checkChildConstness_Trunc(XNodeOpt* node);
    int checkChildConstness_To_char(XNodeOpt* node);
    int checkChildConstness_To_date(XNodeOpt* node);
    int checkChildConstness_To_decimal(XNodeOpt* node);
    int checkChildConstness_To_integer(XNodeOpt* node);
    int checkChildConstness_To_bigint(XNodeOpt* node);
    int checkChildConstness_Instr(XNodeOpt* node);
    int checkChildConstness_Lpad(XNodeOpt* node);
    int checkChildConstness_Rpad(XNodeOpt* node);
    int checkChildConstness_MovingAvg(XNodeOpt* node);
    int checkChildConstness_MovingSum(XNodeOpt* node);
    int checkChildConstness_Percentile(XNodeOpt* node);
    int checkChildConstness_Ln(XNodeOpt* node);
    int checkChildConstness_Log(XNodeOpt* node);
    int checkChildConstness_Sqrt(XNodeOpt* node);
    int checkChildConstness_Metaphone(XNodeOpt* node);
    int checkChildConstness_Systimestamp(XNodeOpt* node);

    // ---- references and variables ----
    int validatePortVar(XNode* node);
    int validateMapVar(XNode* node);
    int validateWFVar(XNode* node);
    int validateFuncIdentifier(XNode* node);
    int validateList(XNode* node);
    int checkChildMapVar(XNodeOpt* node);
    // Appends the context's texts to the tree's, each closed by a line feed.
    void keepContextTexts(const QvUString& err, const QvUString& warn);

    // ---- widgets: lookups, procedures, external and user functions ----
    // The whole check of a call whose types the context declares: 0, or -1
    // after reporting.
    int validateWidgetNode(XNodeWidget* node);
    // The position of the single PROC_RESULT argument in `index` (invalid
    // when there is none); -1 after reporting a second one.
    static int getProcResultIndex(XNodeWidget* node, XNonNegInt& index, XTree* tree);
    // A macro's level: the highest of its arguments'; -1 after reporting.
    int updMacroNodeAgg(XNodeWidget* node);
    // Size hints that external functions read from constant arguments.
    int checkChildConstness_ExtFunc(XNodeWidget* node, XMetadata** argMetadata, int count);
    int checkChildConstness_decompress(XNodeWidget* node, XMetadata** argMetadata, int count);
    // The old LOOKUP(return port, port, value, ...) form's port/value rule.
    static int isCompatibleFor35Lookup(XType a, XType b);

    // ---- hierarchical values (xvalidatorhtype.cpp) ----
    int visitDotForm(XNodeOpt* node);  // DOT and DOTDOT
    int visitNestedPortRef(XNode* node);
    int visitNestedPortRefHelper(XNode* node);
    int visitTypeForm(XNodeOpt* node);
    int visitSubscript(XNodeOpt* node);
    int visitArraySubscript(XNodeOpt* node, const XTypeConfig* config);
    int visitMapSubscript(XNodeOpt* node, const XTypeConfig* config);
    int takeSelectedMember(XNodeOpt* node, const XStructuralFeature* member);
    // 0 when `node` has `type` (and, hierarchical, a configuration equal to
    // `config`), or is NULL under relaxed validation; else -1.
    int validateArgReturnType(const XNode* node, const XType& type, const XTypeConfig* config) const;
    static const XTypeConfig* getNodeTypeConfig(const XNode* node);
    static void setNodeMetadataFromFeature(XNode* node, const XStructuralFeature* feature);
    // The node keeps `config`, made for it.
    static void setNodeMetadataFromTypeConfig(XNode* node, std::shared_ptr<XTypeConfig> config,
                                              const XType& type);
    static void setNodeTypeConfig(XNode* node, const XStructuralFeature* feature);

private:
    friend struct XValidatorRow;
    friend class XValidatorRows;

    // The operand type of a two-operand chooser and the numeric n / n + 1 rule.
    XOp chooseNumeric(XNodeOpt* node, int variant, int arity,
                      int (XValidator::*typing)(XNodeOpt*, XType&));
    XOp chooseComparison(XNodeOpt* node, int variant, int (XValidator::*typing)(XNodeOpt*, XType&));
    // Reports error `id` at `child` and records `failureCase` with the
    // child's index (eXVFC_NONE: nothing recorded).
    void reportAt(XNode* child, int id, EXValidationFailureCase failureCase, XType expected);
    int visitKind(XNode* node);
    // The widget kinds' own rules after validateWidgetNode.
    int validateLookupNode(XNodeWidget* node);
    int validateMacroNode(XNodeWidget* node);
    int validateProcResultNode(XNode* node);
    // The steps of validateWidgetNode: 0, or -1 after reporting.
    int askContextForWidget(XNodeWidget* node, XMetadataWidget* widget, XMetadata** args, int count,
                            int& isConst);
    int checkWidgetArguments(XNodeWidget* node, XMetadataWidget* widget);
    // The record that types the call: the return record, or the declaration
    // of the output argument (LOOKUP: of its return port).
    XMetadata* widgetResultRecord(XNodeWidget* node, XMetadataWidget* widget, XNonNegInt index);
    void takeWidgetResult(XNodeWidget* node, XMetadata* result);
    void expectDeclaredTypes(XNodeWidget* node, XMetadataWidget* widget);
    // Reports through the tree unless the validator is quiet (a chooser
    // typing operands that the visit types and reports again).
    void say(int isError, XNode* node, int id);
    void say(int isError, XNode* nameNode, XNode* posNode, int id);
    // Choosers: n, or n + 1 for a custom operand type.
    XOp chooseByFirstChild(XNodeOpt* node, int variant, int exactly);
    // Date functions: `withStr`, or `withStr` - 1 when the node has `count`
    // children, a DATE first and a constant text at `formatAt`.
    XOp chooseByConstantFormat(XNodeOpt* node, int withStr, int count, int formatAt);
    // ROUND and TRUNC: a date variant by the format, else a number variant.
    XOp chooseRoundOrTrunc(XNodeOpt* node, int number, int custom, int date, int dateWithStr);
    // Reports `text` (a catalogued message already formatted) at `child`.
    void reportTextAt(XNode* child, const QvUString& text, EXValidationFailureCase failureCase);
    // A date part (isDatePart) or format at argument `at`, when present.
    int checkDateArgument(XNodeOpt* node, int at, int isDatePart);
    static int isSetVariableKind(EXNodeId kind);
    // What `node` expects of child `i` of `count`, from the row's list (of
    // `listLength` entries before its end mark) or from the kind's
    // positional rule.
    static XTypeParentExpectsIndicator childExpectation(XNodeOpt* node, int i, int count,
                                                        const XTypeParentExpectsIndicator* list,
                                                        int listLength);
    static int expectationCount(const XTypeParentExpectsIndicator* list);
    // The type `child` must have, from the expectation stored on it.
    static XType expectedTypeOf(XNodeOpt* node, XNode* child);
    int isExtAggregate(XNodeWidget* node);
    // The completeness pass, also naming the first node that failed; over
    // `nodes` when given (the post-order list of the walk that has just
    // typed the unchanged tree), else over a fresh list.
    static int checkIsProperlySetAt(XTree* tree, int checkPositions, int relaxedTypes,
                                    int relaxValidation, int allowNull, ExtraCheck extra,
                                    XNode*& failed, const XNodeList* nodes);
    int relaxValidation() const;
    int allowNullType() const;
    int isHighPrecision() const;

    XParserContext* m_context;
    int m_refRecordingOff = 0;
    int m_quiet = 0;
    int m_toCharSwitch = 0;
    EXValidationFailureCase m_failureCase = eXVFC_NONE;
    int m_failureChildIndex = -1;
    XType m_failureExpectedType = XType(eXMINT_INVALID);
};
