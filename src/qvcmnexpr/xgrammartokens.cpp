// Names of the grammar's terminals, for traces and diagnostics; generated
// from the same list as the token numbers so the two cannot drift apart.
#include "xgrammartokens.h"

namespace xgrammar {

const char* tokenName(int token) {
    switch (token) {
    case END_OF_INPUT:
        return "$end";
#define GRAMMAR_TOKEN(name, number) \
    case number:                    \
        return #name;
#include "xgrammartokens.def"
#undef GRAMMAR_TOKEN
    default:
        return nullptr;
    }
}

}  // namespace xgrammar
