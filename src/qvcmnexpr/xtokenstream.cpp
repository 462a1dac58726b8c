// The public token stream over the lexer: turns each semantic value into a
// token record whose value is plain text, so callers never see the lexer's
// union or its ownership rules.
#include "qvcmnexpr/xtokenstream.h"

#include <cstdio>

#include "qvcmnexpr/xnode.h"
#include "xgrammartokens.h"
#include "xlexer.h"
#include "xyystype.h"

namespace {

// Marks a value slot that the lexer left alone.
constexpr int32_t kUntouched = -1;

// Tokens whose value is a text the lexer made.
constexpr int kTextTokens[] = {
    xgrammar::NAME,
    xgrammar::MAPVAR,
    xgrammar::WFVAR_PRE_DEFINED,
    xgrammar::WFVAR_USER_DEFINED,
    xgrammar::CONST_INT,
    xgrammar::CONST_DECIMAL,
    xgrammar::CONST_STR,
    xgrammar::LEXERROR,
    xgrammar::XTYPE,
    xgrammar::XFLD,
    xgrammar::XSD,
    xgrammar::XSP,
    xgrammar::XEXT,
    xgrammar::XLKP,
    xgrammar::XTD,
};

bool carriesText(int token) {
    for (int textToken : kTextTokens) {
        if (token == textToken) return true;
    }
    return false;
}

// The debug name of a node kind, or empty when `kind` names none (a keyword
// row without a node kind stores its token number instead).
QvUString kindName(int32_t kind, int token) {
    if (kind == kUntouched || kind == token || kind < 0) return QvUString();
    const char* name = XNode::idToString(static_cast<EXNodeId>(kind));
    return QvUString(name ? name : "");
}

QvUString valueText(int token, yystype& lval) {
    if (token == xgrammar::CONST_FLOAT) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.17g", lval.value.dbl);
        return QvUString(buffer);
    }
    if (carriesText(token)) return lval.value.str ? *lval.value.str : QvUString();
    if (token == xgrammar::XEXTFUNC) {
        // The grammar would take the name over; here the stream does.
        std::unique_ptr<QvUString> name(lval.text);
        return name ? *name : QvUString();
    }
    return kindName(lval.value.kind, token);
}

}  // namespace

XTokenStream::XTokenStream(const unsigned short* text, XParserContext* context)
    : m_text(text != nullptr ? QvUString(text) : QvUString()),
      m_lexer(std::make_unique<XLexer>(text != nullptr ? m_text.getBuffer() : nullptr, context, 0)) {}

XTokenStream::~XTokenStream() = default;

int XTokenStream::next(XTokenInfo& out) {
    out = XTokenInfo();
    out.name = xgrammar::tokenName(0);
    if (m_ended) {
        out.begin = out.end = m_lexer->getInputString().length();
        return 0;
    }
    yystype lval{};
    lval.value.kind = kUntouched;
    lval.text = nullptr;
    out.token = m_lexer->yylex(&lval);
    const char* name = xgrammar::tokenName(out.token);
    out.name = name ? name : "";
    if (out.token == 0) {
        m_ended = true;
        out.begin = out.end = m_lexer->getInputString().length();
        return 0;
    }
    out.begin = lval.begin;
    out.end = lval.end;
    out.value = valueText(out.token, lval);
    return out.token;
}
