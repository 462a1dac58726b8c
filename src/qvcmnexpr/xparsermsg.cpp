// XParser's message lines: the line builder shared by the parser and the
// validator, the tree forms through which validation reports on a node, and
// the syntax-error reports of a parse under way.
//
// A line is a catalogued format holding the message and a copy of the
// expression in which the offending text is marked; any separator between
// lines is part of the catalogue's format, never added here.
#include "qvcmnexpr/xparser.h"

#include <cstring>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xexprstrinfo.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xtree.h"
#include "qvutils.h"
#include "xlexer.h"

namespace {

constexpr const char* kUnit = "xparser";

const unsigned short kEmptyText[1] = {0};

// The driver's error texts: the text Bison's driver produces, the text the
// parser has always known it by (what handleYyError takes), and the message
// the user is told. Bison's other texts (its traces) pass unchanged.
struct DriverText {
    const char* bison;
    const char* known;
    EQvMsgId msgId;
};

constexpr DriverText kDriverTexts[] = {
    {"syntax error", "parse error", eQvMSG_SYNTAX_ERROR},
    {"syntax error: cannot back up", "syntax error: cannot back up", eQvMSG_PARSER_CANNOT_BACK_UP},
    {"memory exhausted", "parser stack overflow", eQvMSG_PARSER_STACK_OVERFLOW},
};

// The message id for a known driver text, or 0 when the text is not one.
int findDriverTextMsgId(const char* text) {
    if (!text) return 0;
    for (const DriverText& row : kDriverTexts)
        if (std::strcmp(row.known, text) == 0) return row.msgId;
    return 0;
}

// Releases a token text that getNodeToken allocated.
struct TokenText {
    const unsigned short* text = nullptr;
    int length = 0;
    int owned = 0;
    TokenText() = default;
    TokenText(const TokenText&) = delete;
    TokenText& operator=(const TokenText&) = delete;
    ~TokenText() {
        if (owned) delete[] text;
    }
};

// `msg` prefixed with the token text of `node` (eQvMSG_NODE_TOKEN_PREFIX) into `line`.
// The token text need not end after its length, so it is copied by length.
// Without a token text every message would lose its subject: an invariant.
bool prefixWithNodeToken(const XExprStrInfo* info, const XNode* node, const unsigned short* msg,
                         QvUString& line) {
    TokenText token;
    if (!info || info->getNodeToken(node, token.text, token.length, token.owned) != 0) {
        QvAssertHandler(kUnit, __LINE__);
        return false;
    }
    const QvUString tokenText(token.text, static_cast<size_t>(token.length));
    line.sprint(qvGetMsg(eQvMSG_NODE_TOKEN_PREFIX).getBuffer(), tokenText.getBuffer(), msg ? msg : kEmptyText);
    return true;
}

void storePositions(size_t* beginHolder, size_t* endHolder, int begin, int end) {
    if (!beginHolder || !endHolder) return;
    *beginHolder = static_cast<size_t>(begin);
    *endHolder = static_cast<size_t>(end);
}

}  // namespace

// ---------------------------------------------------------------- line builder

void XParser::appendParserMessage(QvUString& out, int isError, const unsigned short* expr,
                                  int begin, int end, const unsigned short* msg) {
    QvUString open = qvGetMsg(eQvMSG_MARK_OPEN);
    QvUString close = qvGetMsg(eQvMSG_MARK_CLOSE);
    QvUString marked(expr ? expr : kEmptyText);
    // Positions past the text are clamped rather than trusted.
    size_t b = begin < 0 ? 0 : static_cast<size_t>(begin);
    size_t e = end < 0 ? 0 : static_cast<size_t>(end);
    if (b > marked.length()) b = marked.length();
    if (e > marked.length()) e = marked.length();
    if (b != e) {
        marked.insert(b, open);
        marked.insert(e + open.length(), close);
    } else {
        marked.insert(b, close);
    }
    QvUString format = qvGetMsg(isError ? eQvMSG_ERROR_LINE : eQvMSG_WARNING_LINE);
    QvUString line;
    line.sprint(format.getBuffer(), msg ? msg : kEmptyText, marked.getBuffer());
    out.append(line);
}

// ---------------------------------------------------------------- tree forms

void XParser::appendParserMessage(int isError, XTree* tree, XNode* nameNode, int begin, int end,
                                  const unsigned short* msg) {
    QV_ASSERT(tree != nullptr, kUnit);
    // An upgrade pass that was not given both strings wants no messages.
    if (tree->isUpgrade() && (!tree->getMsgErr() || !tree->getMsgWarn())) return;
    const XExprStrInfo* info = tree->getExprStrInfo();
    QvUString line;
    if (!prefixWithNodeToken(info, nameNode, msg, line)) return;
    if (QvUString* out = isError ? tree->getMsgErr() : tree->getMsgWarn())
        appendParserMessage(*out, isError, info->getCurExpr(), begin, end, line.getBuffer());
    storePositions(tree->getPosBegin(), tree->getPosEnd(), begin, end);
}

void XParser::appendParserMessage(int isError, XTree* tree, XNode* node, const unsigned short* msg) {
    appendParserMessage(isError, tree, node, node, msg);
}

void XParser::appendParserMessage(int isError, XTree* tree, XNode* node, int id) {
    appendParserMessage(isError, tree, node, node, qvGetMsg(id).getBuffer());
}

void XParser::appendParserMessage(int isError, XTree* tree, XNode* nameNode, XNode* posNode,
                                  const unsigned short* msg) {
    QV_ASSERT(posNode != nullptr, kUnit);
    appendParserMessage(isError, tree, nameNode, posNode->getPosBegin().toInteger(),
                        posNode->getPosEnd().toInteger(), msg);
}

void XParser::appendParserMessage(int isError, XTree* tree, XNode* nameNode, XNode* posNode, int id) {
    appendParserMessage(isError, tree, nameNode, posNode, qvGetMsg(id).getBuffer());
}

// ---------------------------------------------------------------- syntax errors

const char* XParser::stc_driverText(const char* text) {
    for (const DriverText& row : kDriverTexts) {
        if (std::strcmp(row.bison, text) == 0) return row.known;
    }
    return text;
}

void XParser::handleYyError(const char* bisonText) {
    const int id = findDriverTextMsgId(bisonText);
    if (id == 0) {
        QvAssertHandler(kUnit, __LINE__);
        return;
    }
    handleSyntaxError(qvGetMsg(id));
}

void XParser::handleSyntaxError(const QvUString& msg) {
    QV_ASSERT(m_lexer != nullptr, kUnit);
    const int pos = m_lexer->getCurTokPosEnd();
    handleSyntaxError(msg, pos, pos);
}

void XParser::handleSyntaxError(const QvUString& msg, int begin, int end) {
    storePositions(m_errorBegin, m_errorEnd, begin, end);
    const unsigned short* text = m_lexer ? m_lexer->getInputString().getBuffer() : nullptr;
    if (m_errorText) appendParserMessage(*m_errorText, 1, text, begin, end, msg.getBuffer());
}

void XParser::handleSyntaxError(int id, int begin, int end) {
    handleSyntaxError(qvGetMsg(id), begin, end);
}
