// XParser's message lines: the line builder shared by the parser and the
// validator, and the syntax-error reports of a parse under way.
#include "qvcmnexpr/xparser.h"

#include "qvutils.h"

namespace {

enum : int {
    kMsgLineError = 19075,
    kMsgLineWarning = 19080,
    kMsgMarkOpen = 19083,
    kMsgMarkClose = 19109,
};

const unsigned short kEmptyText[1] = {0};

}  // namespace

void XParser::appendParserMessage(QvUString& out, int isError, const unsigned short* expr,
                                  int begin, int end, const unsigned short* msg) {
    QvUString open = qvGetMsg(kMsgMarkOpen);
    QvUString close = qvGetMsg(kMsgMarkClose);
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
    QvUString format = qvGetMsg(isError ? kMsgLineError : kMsgLineWarning);
    QvUString line;
    line.sprint(format.getBuffer(), msg ? msg : kEmptyText, marked.getBuffer());
    out.append(line);
}

void XParser::handleSyntaxError(const QvUString& msg, int begin, int end) {
    if (m_errorBegin && m_errorEnd) {
        *m_errorBegin = static_cast<size_t>(begin);
        *m_errorEnd = static_cast<size_t>(end);
    }
    if (m_errorText) appendParserMessage(*m_errorText, 1, m_text, begin, end, msg.getBuffer());
}

void XParser::handleSyntaxError(int id, int begin, int end) {
    handleSyntaxError(qvGetMsg(id), begin, end);
}

