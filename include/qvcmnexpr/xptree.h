// The parsed-tree result object: owns a syntax tree (and optionally a
// caller's compiled program) through deleter functions, so a caller can hold
// the result without knowing how either was allocated.
#pragma once

#include "qvcmnexpr/qvcmnexpr_export.h"

class XTree;
class XProgram;  // opaque companion a caller may attach

class QVCMNEXPR_API XParsedTree {
public:
    using Deleter = void (*)(void*);

    XParsedTree();
    // Shallow copies: both objects then point at the same tree and program.
    XParsedTree(const XParsedTree& other) = default;
    XParsedTree& operator=(const XParsedTree& other) = default;
    virtual ~XParsedTree();

    // Takes `tree` with its deleter. Holding a tree already is an invariant
    // failure. Returns 0.
    int setTree(XTree* tree, Deleter deleter);
    int setProgram(XProgram* program, Deleter deleter);

    XTree* getTree() const { return m_tree; }
    // Hands the tree over to the caller: this object forgets it.
    void getTree(XTree*& out);
    XProgram* getProgram() const { return m_program; }
    void freeTree();

    int isEmptyExpression() const;
    int isSimpleReference() const;
    int hasGroupFunctions() const;
    int isConstant() const;

    // The deleter the parser hands out with its trees.
    static void deleteTree(void* tree);

private:
    void reset();

    XTree* m_tree;
    Deleter m_treeDeleter;
    XProgram* m_program;
    Deleter m_programDeleter;
};
