// Token numbers of the grammar's terminals, for the lexer and the
// vocabulary tables. The generated parser declares the same numbers.
#pragma once

namespace xgrammar {

enum Token : int {
    END_OF_INPUT = 0,
#define GRAMMAR_TOKEN(name, number) name = number,
#include "xgrammartokens.def"
#undef GRAMMAR_TOKEN
};

// Name of a token number ("NAME", "COMMA"...), "$end" for 0, null when the
// number is no terminal of the grammar.
const char* tokenName(int token);

}  // namespace xgrammar
