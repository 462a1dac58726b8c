// The rows of xvalidatorrows.def as data the validator's common protocol
// reads: one record per kind or per group of variants.
#pragma once

#include <cstdint>

#include "qvcmnexpr/xvalidator.h"

struct XValidatorRow {
    using Chooser = XOp (XValidator::*)(XNodeOpt*);
    using Typing = int (XValidator::*)(XNodeOpt*, XType&);
    using Check = int (XValidator::*)(XNodeOpt*);

    static constexpr int cMaxVariants = 8;
    // No upper bound on the argument count.
    static constexpr int cNoMax = -1;
    // Result of the rows that yield the text type of the current mode.
    static constexpr int cRtString = -100;

    EXNodeId kind;
    Chooser chooser;
    int16_t variants[cMaxVariants];  // unused entries 0; all 0: any variant
    int minArgs;
    int maxArgs;
    const XTypeParentExpectsIndicator* expectations;  // null: by position
    int result;
    Typing typing;
    int canBeConstant;
    Check check;

    int serves(XOp op) const;
    XResultTypeIndicator resultIndicator() const;
};

struct XValidatorRowTable;

class XValidatorRows {
public:
    // The kind whose rows a node of `kind` is validated by.
    static EXNodeId rowKindOf(EXNodeId kind);
    // The rows of `kind` (after forwarding): a pointer to the first and
    // their number, or null and 0.
    static const XValidatorRow* rowsOf(EXNodeId kind, int& count);

private:
    // A member, so that the rows may name the validator's protected members.
    static constexpr XValidatorRowTable buildTable();
};
