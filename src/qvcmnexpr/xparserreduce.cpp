// The grammar driver's side of XParser: the choice between the traced and
// the untraced driver, the reductions that every rule's action calls and the
// error hook (the token source is inlined into the drivers, xgrammar.y).
//
// A reduction copies what the rule produces into the driver's semantic value
// (node, name chain or argument count, and the span of the rule's text) and
// calls the tree-building action the rule stands for. Exceptions never cross
// the generated driver: a reduction that meets one keeps it and abandons the
// parse, so the driver releases its own stacks before parse() rethrows it.
#include <memory>

#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xstack.h"
#include "qvcmnexpr/xtoken.h"
#include "qvutils.h"
#include "xgrammar.h"
#include "xgrammartokens.h"
#include "xyystype.h"

namespace {

void setSpan(yystype& out, const yystype& first, const yystype& last) {
    out.begin = first.begin;
    out.end = last.end;
}

int toPos(size_t pos) { return static_cast<int>(pos); }

}  // namespace

// The driver built without trace hooks (xgrammaruntraced.cpp).
int yyparseUntraced(XParser* parser);

// ---------------------------------------------------------------- driver hooks

// The traced driver only when a trace is asked for: the untraced one is the
// same driver without the trace switch tests in every state.
int XParser::yyparse() { return yydebug ? ::yyparse(this) : yyparseUntraced(this); }

void XParser::reportDriverError(const char* text) {
    // The exception that ended the parse is reported instead.
    if (!m_pendingException) handleYyError(text);
}

// Runs `build`, which yields the node it made (or a truth value); 0 when it
// yields one, -1 when not or when it threw (the exception is kept for parse).
template <class Build>
int XParser::guarded(Build&& build) {
    try {
        return build() ? 0 : -1;
    } catch (...) {
        m_pendingException = std::current_exception();
        return -1;
    }
}

// ---------------------------------------------------------------- expressions

void XParser::reduceEmptyExpression(yystype& out) {
    m_emptyExpression = 1;
    out = yystype{};
    out.value.node = nullptr;
}

// Parentheses make no node: the inner node's span grows to include them.
void XParser::reduceParens(yystype& out, const yystype& open, const yystype& inner,
                           const yystype& close) {
    inner.value.node->updatePosBeginEnd(XNonNegInt(open.begin), XNonNegInt(close.end), 0);
    stc_spanValue(out, inner, open, close);
}

int XParser::reduceSideBySide(const yystype& left, const yystype& right) {
    handleSyntaxError(eQvMSG_MISSING_OPERATOR, toPos(left.end), toPos(right.begin));
    return -1;
}

int XParser::reduceOp(yystype& out, int kind, int nChildren, const yystype& first,
                      const yystype& last) {
    setSpan(out, first, last);
    return guarded([&] {
        return out.value.node = parseOp(static_cast<EXNodeId>(kind), nChildren, first.begin, last.end);
    });
}

int XParser::reduceSign(yystype& out, EXNodeId kind, const yystype& sign, const yystype& operand) {
    setSpan(out, sign, operand);
    return guarded([&] {
        return out.value.node = parseOpUminusUplus(kind, 1, sign.begin, operand.end);
    });
}

// The variable is turned into its node below the value already on the stack,
// so that the assignment's children are variable and value in that order.
int XParser::reduceAssign(yystype& out, const yystype& var, const yystype& op,
                          const yystype& value) {
    setSpan(out, var, value);
    return guarded([&]() -> XNode* {
        XNode* valueNode = m_nodeStack->pop();
        XNode* varNode = parseOpdRefWFVar(var.value.name, var.begin, var.end);
        m_nodeStack->push(valueNode);
        // The variable is built after the value it comes before.
        m_buildOrderIsPostOrder = 0;
        if (!varNode) return nullptr;
        return out.value.node = parseOp(static_cast<EXNodeId>(op.value.kind), 2, var.begin, value.end);
    });
}

// ---------------------------------------------------------------- calls

int XParser::reduceWidgetCall(yystype& out, const yystype& name, const yystype& args,
                              const yystype& close) {
    setSpan(out, name, close);
    return guarded([&] {
        return out.value.node = parseOpWidget(name.value.name, args.count, name.begin, close.end);
    });
}

// The call's name arrives as a string the grammar owns; it lives on as the
// one element of the widget's name chain.
int XParser::reduceExtFuncCall(yystype& out, yystype& func, const yystype& args,
                               const yystype& close) {
    setSpan(out, func, close);
    std::unique_ptr<QvUString> name(func.text);
    func.text = nullptr;
    return guarded([&] {
        XTokName* chain = allocToken(name.get(), 0);
        name.reset();
        return out.value.node = parseOpWidget(chain, args.count, out.begin, out.end);
    });
}

// The lookup's children: the result port, then each pair's column and source.
int XParser::reduceLookupCall(yystype& out, const yystype& func, const yystype& pairs,
                              const yystype& close) {
    setSpan(out, func, close);
    return guarded([&] {
        return out.value.node = parseOpLookup35(nullptr, pairs.count + 1, func.begin, close.end);
    });
}

// ---------------------------------------------------------------- arguments

int XParser::addArgs(yystype& out, const yystype& list, const yystype& comma, int added) {
    if (list.count == 0) {
        handleSyntaxError(eQvMSG_MISSING_ARGUMENT, toPos(comma.begin), toPos(comma.begin));
        return -1;
    }
    out.count = list.count + added;
    return 0;
}

void XParser::stc_countArgs(yystype& out, int count) {
    out = yystype{};
    out.count = count;
}

// A keyword standing as one argument ("*" of COUNT, PROC_RESULT).
int XParser::reduceKeywordArg(yystype& out, int token, const yystype& word) {
    const int status = guarded([&] {
        parseOpKeyword(token, word.begin, word.end);
        return true;
    });
    stc_countArgs(out, 1);
    return status;
}

// SPOUTPUT is reported but still read as PROC_RESULT, so the parse goes on
// and can report more.
int XParser::reduceSpOutputArg(yystype& out, const yystype& word) {
    handleSyntaxError(eQvMSG_SPOUTPUT_AS_ARGUMENT, toPos(word.begin), toPos(word.end));
    return reduceKeywordArg(out, word.value.kind, word);
}

// ---------------------------------------------------------------- operands

int XParser::reduceKeyword(yystype& out, int token, const yystype& word) {
    setSpan(out, word, word);
    return guarded([&] { return out.value.node = parseOpKeyword(token, word.begin, word.end); });
}

int XParser::reduceLiteral(yystype& out, int token, const yystype& literal) {
    setSpan(out, literal, literal);
    const size_t b = literal.begin, e = literal.end;
    return guarded([&] {
        switch (token) {
            case xgrammar::CONST_FLOAT: out.value.node = parseOpdConstFloat(literal.value.dbl, b, e); break;
            case xgrammar::CONST_INT: out.value.node = parseOpdConstInt(literal.value.str, b, e); break;
            case xgrammar::CONST_DECIMAL: out.value.node = parseOpdConstDecimal(literal.value.str, b, e); break;
            default: out.value.node = parseOpdConstString(literal.value.str, b, e); break;
        }
        return true;
    });
}

int XParser::reduceLexError(const yystype& error) {
    handleSyntaxError(*error.value.str);
    return -1;
}

int XParser::reduceRef(yystype& out, EXNodeId kind, const yystype& ref) {
    return reduceRef(out, kind, ref, ref, ref);
}

int XParser::reduceRef(yystype& out, EXNodeId kind, const yystype& ref, const yystype& first,
                       const yystype& last) {
    setSpan(out, first, last);
    XTokName* chain = ref.value.name;
    const size_t b = first.begin, e = last.end;
    return guarded([&] {
        switch (kind) {
            case eXNI_QUALIFIEDPORTVAR: return out.value.node = parseOpdRefQualifiedPortVar(chain, b, e);
            case eXNI_MAPVAR: return out.value.node = parseOpdRefMapVar(chain, b, e);
            case eXNI_WFVAR: return out.value.node = parseOpdRefWFVar(chain, b, e);
            default: return out.value.node = parseOpdRefPortVar(chain, b, e);
        }
    });
}

// ---------------------------------------------------------------- names

void XParser::reduceName(yystype& out, const yystype& word) {
    setSpan(out, word, word);
    out.value.name = allocToken(word.value.str, 1);
}

void XParser::reduceQualifiedName(yystype& out, const yystype& qualifier, const yystype& name) {
    setSpan(out, qualifier, name);
    out.value.name = name.value.name->prepend(allocToken(qualifier.value.str, 0));
}

// A called name without a qualifier of its own names a stored procedure.
void XParser::reduceWidgetName(yystype& out, const yystype& first, const yystype& name) {
    static const QvUString storedProcedure(":SP");
    setSpan(out, first, name);
    out.value.name = name.value.name->prepend(allocToken(&storedProcedure, 0));
}

void XParser::reducePrependName(yystype& out, const yystype& head, const yystype& rest) {
    setSpan(out, head, rest);
    out.value.name = rest.value.name->prepend(head.value.name);
}

void XParser::stc_spanValue(yystype& out, const yystype& value, const yystype& first,
                            const yystype& last) {
    out = value;
    setSpan(out, first, last);
}
