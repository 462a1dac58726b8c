// XParsedTree: the result wrapper handed to callers of the parser.
#include "qvcmnexpr/xptree.h"

#include "qvcmnasrt.h"
#include "qvcmnexpr/xtree.h"

namespace {
constexpr const char* kUnit = "xptree";
}

XParsedTree::XParsedTree() { reset(); }

XParsedTree::~XParsedTree() {
    if (m_tree && m_treeDeleter) m_treeDeleter(m_tree);
    if (m_program && m_programDeleter) m_programDeleter(m_program);
    reset();
}

void XParsedTree::reset() {
    m_tree = nullptr;
    m_treeDeleter = nullptr;
    m_program = nullptr;
    m_programDeleter = nullptr;
}

int XParsedTree::setTree(XTree* tree, Deleter deleter) {
    if (m_tree) QvAssertHandler(kUnit, __LINE__);
    m_tree = tree;
    m_treeDeleter = deleter;
    return 0;
}

int XParsedTree::setProgram(XProgram* program, Deleter deleter) {
    if (m_program) QvAssertHandler(kUnit, __LINE__);
    m_program = program;
    m_programDeleter = deleter;
    return 0;
}

void XParsedTree::getTree(XTree*& out) {
    out = m_tree;
    m_tree = nullptr;
    m_treeDeleter = nullptr;
}

void XParsedTree::freeTree() {
    if (m_tree && m_treeDeleter) m_treeDeleter(m_tree);
    m_tree = nullptr;
}

// A result whose tree was handed over or freed answers 0 rather than
// dereferencing null.
int XParsedTree::isEmptyExpression() const { return m_tree ? m_tree->isEmptyExpression() : 0; }
int XParsedTree::isSimpleReference() const { return m_tree ? m_tree->isSimpleReference() : 0; }
int XParsedTree::hasGroupFunctions() const { return m_tree ? m_tree->hasGroupFunctions() : 0; }
int XParsedTree::isConstant() const { return m_tree ? m_tree->isConstant(0) : 0; }

void XParsedTree::deleteTree(void* tree) { delete static_cast<XTree*>(tree); }
