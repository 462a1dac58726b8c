// The token stream of an expression as the parser sees it, for tools that
// show how a text is read (xexpr tokens) without reaching into the lexer.
// The stream lexes exactly as a parse does with the same context: the same
// custom functions, variables and expression-kind rules, restricted
// functions refused.
#pragma once

#include <cstddef>
#include <memory>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvi18n.h"

class XLexer;
class XParserContext;

// One token.
struct QVCMNEXPR_API XTokenInfo {
    int token = 0;          // the grammar's token number; 0 at the end of the text
    const char* name = "";  // the token's name ("NAME", "CONST_INT", "$end")
    size_t begin = 0;       // UTF-16 positions in the text, end exclusive
    size_t end = 0;
    // What the token carries: the text of names, variables, literals and
    // qualifiers, the number of a floating-point literal, the node kind
    // (debug name) of operators, functions and keywords, the name of a custom
    // function, the message of a LEXERROR. Empty when it carries nothing.
    QvUString value;
};

class QVCMNEXPR_API XTokenStream {
public:
    // `text` is copied; `context` must outlive the stream.
    XTokenStream(const unsigned short* text, XParserContext* context);
    ~XTokenStream();
    XTokenStream(const XTokenStream&) = delete;
    XTokenStream& operator=(const XTokenStream&) = delete;

    // Fills `out` with the next token and returns its number; at the end of
    // the text 0, again on every later call.
    int next(XTokenInfo& out);

private:
    // The lexer reads the text in place, so the stream keeps the copy.
    QvUString m_text;
    std::unique_ptr<XLexer> m_lexer;
    bool m_ended = false;
};
