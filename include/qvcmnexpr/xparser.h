// The parser front door: turns one expression text into a validated syntax
// tree bound to the caller's symbol context, reports problems as catalogued
// message lines, and answers questions about finished trees.
//
// parse lexes and parses the text, builds the tree, then runs the validator
// over it (unless the context's isRelaxValidationSet() is non-zero, in which
// case the tree is checked for syntax only and carries no types). The
// validator resolves every reference through the context and gives every
// node its data type, augmented type, maximal character count, aggregation
// level, constness, operation variant and parent expectation; its first
// complaint ends the walk, and a tree that fails is deleted and -1 returned.
// Implicit conversions are reported as warnings on a valid tree.
//
// Validated today: the operators, references to unqualified ports, mapping
// and workflow variables, constants and keywords, and the built-in functions
// that have a row in the validator's table (xvalidatorrows.def). Not yet:
// the functions without a row (among them those whose arguments need
// constant checks, such as ROUND, TO_CHAR and the date functions), widgets
// (lookups, procedures, user-defined and external functions) and the dot,
// member and TYPE forms of hierarchical values. Each of these fails
// validation with eQvMSG_NOT_VALIDATED_YET rather than passing unchecked. A
// qualified port (Q.PORT) is read as a dot form and fails too, on its
// qualifier, reported as an unknown name.
//
// A parser serves one parse at a time and can be reused for any number of
// consecutive parses; concurrent parses use separate parsers.
#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <vector>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xptree.h"
#include "qvcmnexpr/xtype.h"
#include "qvi18n.h"

class XParserContext;
class XValidator;
class XLexer;
class XStack;
class XTokNameAllocator;
class XTree;
class XNode;
class XMetadata;
class QvMetadataBase;
class QvRef;
class SColMetadata;
class XTokName;
// The grammar driver's semantic value (xyystype.h).
struct yystype;

// What the ValidationResult form of parse() reports.
struct QVCMNEXPR_API ValidationResult {
    int valid = 0;
    XType resultType;
    const void* typeAttrs = nullptr;
    int hasGroupFunctions = 0;
    int isConstant = 0;
    int hasWindowFunc = 0;
    QvUString warnings;
    QvUString errors;
    size_t errorBegin = 0;
    size_t errorEnd = 0;
};

class QVCMNEXPR_API XParser {
public:
    XParser();
    ~XParser();
    // Takes over the other parser's settings: its context (never its
    // ownership), its validator's settings and its report pointers. Each
    // parser keeps its own validator and node stack, so that neither frees
    // what the other still uses.
    XParser& operator=(const XParser& other);
    XParser(const XParser&) = delete;

    // Binds the context; -1 (nothing changed) when the parser already owns one.
    int setParserContext(XParserContext* ctx, int owns);
    XParserContext* getParserContext() const { return m_context; }
    XValidator* getValidator() const { return m_validator; }
    XStack* getStack() const { return m_nodeStack; }
    QvUString* getMsgErr() const { return m_errorText; }
    QvUString* getMsgWarn() const { return m_warningText; }
    size_t* getPosBegin() const { return m_errorBegin; }
    size_t* getPosEnd() const { return m_errorEnd; }

    // These pointers hold for the next parse only: reset() clears them.
    void setErrorReportStrings(QvUString* err, QvUString* warn);
    void setErrorPosHolders(size_t* begin, size_t* end);
    void setErrorReportPointers(QvUString* err, QvUString* warn, size_t* begin, size_t* end);

    // 0 with `tree` set; 1 for a syntax error, 2 for a parser stack overflow,
    // -1 for a caught exception or failed validation, each with `tree` null.
    int parse(const unsigned short* text, XTree*& tree, QvUString& err, QvUString& warn,
              int keepDfsList, int freeStack);
    // -1 for any failure; the result owns the tree.
    int parse(const unsigned short* text, XParsedTree*& out, QvUString& err, QvUString& warn);
    // Fills `vr` (messages, error positions and, on success, the validated
    // result's type and properties); `valid` is 1 only for a valid tree.
    int parse(const unsigned short* text, XParsedTree*& out, ValidationResult& vr);

    static int wrapXTreeIntoParsedTree(XTree* tree, XParsedTree*& out);

    void reset(int freeStack);
    void resetStack(int freeNodes);
    void prepareStack();

    // ---- questions about finished trees ----
    static unsigned getResultCDataType(XParsedTree& parsed);
    static const QvMetadataBase* getResultMetaData(XParsedTree& parsed, SColMetadata* scratch,
                                                   QvRef* ref);
    static int getTreeAggLevel(const XTree* tree);
    static const QvRef& getSimpleReference(XTree* tree);
    static int isConstant(XTree* tree, int countErrorAbort);
    static const XMetadata* getNodeMetadataConstPtr(const XNode* node);
    static int isNodePortVar(const XNode* node);
    static int isNodeWflowVar(const XNode* node);
    static int isAggLevelValid(int level);
    static int isAggLevelRow(int level);
    static int isAggLevelGroup(int level);
    static int isAggLevelNested(int level);
    // In a LOOKUP node child 0 is the result port, then lookup column and
    // source expression alternate: source children sit at even indices > 0.
    static int is35LookupSrcChild(int index);
    static int is35LookupNonSrcChild(const XNode* node);

    // Appends one message line to `out`: the catalogued line format (error or
    // warning) filled with `msg` and a copy of `expr` in which [begin, end)
    // is marked (only the closing marker when begin == end).
    static void appendParserMessage(QvUString& out, int isError, const unsigned short* expr,
                                    int begin, int end, const unsigned short* msg);
    // The tree forms: `msg` prefixed with the token text of `nameNode`
    // (XExprStrInfo::getNodeToken) goes to the tree's error or warning text,
    // marked at [begin, end) of the tree's current text, and the positions go
    // to the tree's position holders when both are set (warnings too). An
    // upgrade tree lacking either string reports nothing.
    static void appendParserMessage(int isError, XTree* tree, XNode* nameNode, int begin, int end,
                                    const unsigned short* msg);
    // Named and positioned by `node`.
    static void appendParserMessage(int isError, XTree* tree, XNode* node, const unsigned short* msg);
    static void appendParserMessage(int isError, XTree* tree, XNode* node, int id);
    // Named by `nameNode`, positioned by `posNode`.
    static void appendParserMessage(int isError, XTree* tree, XNode* nameNode, XNode* posNode,
                                    const unsigned short* msg);
    static void appendParserMessage(int isError, XTree* tree, XNode* nameNode, XNode* posNode, int id);

protected:
    int createEmptyTree(const unsigned short* text, XTree*& tree);
    // Runs the validator over `tree`: 0, or -1 after reporting (an exception
    // escaping the context included).
    int validate(XTree* tree);
    // Reports `msg` as a syntax error at the end of the lexer's current token.
    void handleSyntaxError(const QvUString& msg);
    // Reports `msg` as a syntax error at [begin, end) of the text under parse.
    void handleSyntaxError(const QvUString& msg, int begin, int end);
    void handleSyntaxError(int id, int begin, int end);
    // The driver's error hook: reports the message its text stands for.
    void handleYyError(const char* bisonText);
    int isTransformationParser() const;
    int isWorkflowParser() const;
    int isDecimalHighPrecisionOn() const;

    // Runs the grammar driver over the current lexer: 0 success, 1 syntax
    // error, 2 parser stack overflow.
    int yyparse();

    // ---- tree-building actions (xparseractions.cpp) ----
    // Each works on the node stack and returns the node it pushed, or null
    // after reporting why it could not build one. Positions are UTF-16
    // offsets of the node's text.

    // Pops `nChildren` finished subtrees and makes them the children (in
    // source order) of a new operator or function node of `kind`.
    XNode* parseOp(EXNodeId kind, int nChildren, size_t begin, size_t end);
    // A sign in front of a numeric constant is folded into the constant
    // (which is returned and stays on the stack); otherwise as parseOp.
    XNode* parseOpUminusUplus(EXNodeId kind, int nChildren, size_t begin, size_t end);
    // A call of the external object named by `chain` (its qualifier decides
    // the kind); 19197 for an unknown qualifier.
    XNode* parseOpWidget(XTokName* chain, int nChildren, size_t begin, size_t end);
    // A LOOKUP call: child 0 the result port, then column/source pairs.
    // `name` is not used.
    XNode* parseOpLookup35(XTokName* name, int nChildren, size_t begin, size_t end);
    // The node of a keyword or predefined-integer token (token numbers of
    // the grammar); getStarKey() gives the STAR keyword.
    XNode* parseOpKeyword(int token, size_t begin, size_t end);
    // References, refused (19107, or 19106 for workflow variables) where the
    // expression kind does not allow them.
    XNode* parseOpdRefPortVar(XTokName* chain, size_t begin, size_t end);
    XNode* parseOpdRefQualifiedPortVar(XTokName* chain, size_t begin, size_t end);
    XNode* parseOpdRefMapVar(XTokName* chain, size_t begin, size_t end);
    XNode* parseOpdRefWFVar(XTokName* chain, size_t begin, size_t end);
    XNode* parseOpdConstFloat(double value, size_t begin, size_t end);
    // The integer ladder: int, then long long, then decimal (high precision)
    // or double.
    XNode* parseOpdConstInt(const QvUString* text, size_t begin, size_t end);
    XNode* parseOpdConstDecimal(const QvUString* text, size_t begin, size_t end);
    XNode* parseOpdConstString(const QvUString* text, size_t begin, size_t end);
    // A new name-chain element owned by the parse's token allocator.
    XTokName* allocToken(const QvUString* text, int level);
    // The token number of "*", which parseOpKeyword turns into STAR.
    static int getStarKey();
    // Upgrade mode: the data type release 6.0 gave a literal of `text`.
    void ugd_parseOpdConstInt60(XNode* node, const QvUString* text);
    void ugd_parseOpdConstDecimal60(XNode* node, const QvUString* text);

private:
    friend class XParserTestAccess;  // for tests: the lexer of a parse under way

    void attachTreeReporting(XTree* tree) const;
    // Pushes a new leaf (giving it its upgrade record in upgrade mode);
    // frees it if the stack cannot take it.
    XNode* pushLeaf(XNode* leaf);
    // Notes a node pushed on the node stack in m_buildOrder.
    XNode* recordBuilt(XNode* node);
    void recordBuiltGrowing(XNode* node);
    void startBuildOrder(int record);
    size_t builtCount() const;
    // Gives the tree its post-order list from m_buildOrder when that is one.
    void handBuildOrderTo(XTree* tree);
    void forgetBuildOrder();
    // Moves the top `nChildren` stack entries into `parent` in source order
    // and pushes it.
    XNode* adoptAndPush(XNodeParent* parent, int nChildren);
    // Settles a parent that has adopted all its children (see adoptAndPush).
    static void finishParent(XNodeParent* parent);
    XNode* parseOpdRef(EXNodeId kind, XTokName* chain, size_t begin, size_t end);
    void allocUgdInfoInUpgrade(XNode* node) const;
    // Gives `node` its upgrade record (once).
    static void stc_allocUgdInfo(XNode* node);
    int isUpgradeParser() const;
    // Wraps the root left on the node stack into a tree that takes over the
    // token allocator and the reporting pointers.
    XTree* createTreeFromStack(const unsigned short* text,
                               std::unique_ptr<XTokNameAllocator> allocator);
    // The empty-expression tree as parse's result; then reset(freeStack).
    int finishEmptyTree(const unsigned short* text, XTree*& tree, int freeStack);
    // Reports an exception that ended the parse, frees what it left, -1.
    int failOnException(std::exception_ptr failure, XTree*& tree, int freeStack);

    // ---- the grammar driver's way in (xparserreduce.cpp) ----
    // Each reduction fills the rule's result `out` from the rule's symbols
    // and returns 0, or -1 when the parse must be abandoned (the cause is
    // reported, or kept as m_pendingException for parse to report).
    friend int yyparse(XParser* parser);
    // The same driver without its trace hooks (xgrammaruntraced.cpp).
    friend int yyparseUntraced(XParser* parser);
    friend void yyerror(XParser* parser, const char* text);
    // Maps the driver's built-in texts onto the texts handleYyError knows.
    static const char* stc_driverText(const char* text);
    // The next token for the driver (defined with the grammar, xgrammar.y).
    int nextToken(yystype* lval);
    void reportDriverError(const char* text);
    template <class Build>
    int guarded(Build&& build);
    void reduceEmptyExpression(yystype& out);
    void reduceParens(yystype& out, const yystype& open, const yystype& inner,
                      const yystype& close);
    int reduceSideBySide(const yystype& left, const yystype& right);
    int reduceOp(yystype& out, int kind, int nChildren, const yystype& first, const yystype& last);
    int reduceSign(yystype& out, EXNodeId kind, const yystype& sign, const yystype& operand);
    int reduceAssign(yystype& out, const yystype& var, const yystype& op, const yystype& value);
    int reduceWidgetCall(yystype& out, const yystype& name, const yystype& args,
                         const yystype& close);
    int reduceExtFuncCall(yystype& out, yystype& func, const yystype& args, const yystype& close);
    int reduceLookupCall(yystype& out, const yystype& func, const yystype& pairs,
                         const yystype& close);
    int reduceKeyword(yystype& out, int token, const yystype& word);
    int reduceKeywordArg(yystype& out, int token, const yystype& word);
    int reduceSpOutputArg(yystype& out, const yystype& word);
    int reduceRef(yystype& out, EXNodeId kind, const yystype& ref);
    int reduceRef(yystype& out, EXNodeId kind, const yystype& ref, const yystype& first,
                  const yystype& last);
    int reduceLexError(const yystype& error);
    int reduceLiteral(yystype& out, int token, const yystype& literal);
    void reduceName(yystype& out, const yystype& word);
    void reduceQualifiedName(yystype& out, const yystype& qualifier, const yystype& name);
    void reduceWidgetName(yystype& out, const yystype& first, const yystype& name);
    void reducePrependName(yystype& out, const yystype& head, const yystype& rest);
    int addArgs(yystype& out, const yystype& list, const yystype& comma, int added);
    static void stc_countArgs(yystype& out, int count);
    static void stc_spanValue(yystype& out, const yystype& value, const yystype& first,
                              const yystype& last);

    XParserContext* m_context;
    int m_ownsContext;
    XValidator* m_validator;
    // The lexer of the parse under way; null outside parse().
    XLexer* m_lexer;
    XStack* m_nodeStack;
    int m_emptyExpression;
    XTokNameAllocator* m_tokenAllocator;
    // Parse-under-way targets of the caller; not owned.
    QvUString* m_errorText;
    QvUString* m_warningText;
    size_t* m_errorBegin;
    size_t* m_errorEnd;
    // An exception raised inside a grammar action, kept while the driver
    // unwinds its stacks and rethrown by parse.
    std::exception_ptr m_pendingException;
    // The nodes the grammar built, in the order it pushed them on the node
    // stack: children before their parent, left to right. That is the
    // finished tree's post order as long as every node went on the stack
    // once and on top (the assignment breaks this: m_buildOrderIsPostOrder).
    // Handed to the tree before validation, whose walk then needs no walk of
    // its own to list the nodes. Kept only when the parse validates: the
    // entries up to m_buildOrderNext are recorded, m_buildOrderEnd closes
    // the room (both null when nothing is recorded), so that noting a node
    // costs every parse a comparison and no more.
    std::vector<XNode*> m_buildOrder;
    XNode** m_buildOrderNext = nullptr;
    XNode** m_buildOrderEnd = nullptr;
    int m_recordBuildOrder = 0;
    int m_buildOrderIsPostOrder = 0;
};
