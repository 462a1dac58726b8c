// The semantic value that the lexer fills for every token and the grammar
// keeps for every stack entry (32 bytes, copied whole).
#pragma once

#include <cstddef>
#include <cstdint>

class QvUString;
class XTokName;
class XNode;

struct yystype {
    // UTF-16 offsets of the symbol's text: first unit, one past the last.
    // Argument-list nonterminals keep their argument count in `count`
    // instead (sharing the slot of `begin`).
    union {
        size_t begin;
        int32_t count;
    };
    size_t end;
    union {
        QvUString* str;   // NAME, MAPVAR, WFVAR_*, CONST_INT/DECIMAL/STR, qualifiers, LEXERROR
        double dbl;       // CONST_FLOAT
        int32_t kind;     // node kind (operators, functions) or token number (keywords)
        XTokName* name;   // name chains of references
        XNode* node;      // expression nonterminals
    } value;
    QvUString* text;      // XEXTFUNC: the function's name, taken over by the grammar
};

static_assert(sizeof(yystype) == 32, "the semantic value is copied whole by the driver");
