// The grammar driver once more, with its trace hooks compiled out.
//
// The generated driver asks the trace switch (yydebug) several times in every
// parser state, and keeps the trace calls' arguments ready, which together
// cost a good share of its time although traces are almost never on. This
// unit compiles the very same generated driver (tables, actions, error
// handling) without tracing and under the name yyparseUntraced.
// XParser::yyparse picks the traced driver whenever yydebug is set, so traces
// look exactly as before, and this one otherwise.
#define YYDEBUG 0
#define XGRAMMAR_UNTRACED 1
#define yyparse yyparseUntraced
// A function of its own rather than inlined into XParser::parse: the
// driver's loop keeps its state in registers only where it does not share
// them with the whole parse around it.
class XParser;
[[gnu::noinline]] int yyparseUntraced(XParser* parser);
#include "xgrammar.cpp"
