// The node kinds (EXNodeId) without the node classes. The vocabulary tables
// and the lexer name the kind a token will build, but sit below the syntax
// tree: they include this header, never xnode.h, so that the token layer
// compiles and changes without the tree.
#pragma once

#include <cstdint>

enum EXNodeId : int32_t {
#define NODE_KIND(number, NAME, printed) eXNI_##NAME = number,
#include "qvcmnexpr/xnodekinds.def"
};
