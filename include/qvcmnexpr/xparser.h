// The parser front door: turns one expression text into a syntax tree bound
// to the caller's symbol context, reports problems as catalogued message
// lines, and answers questions about finished trees.
//
// A parser serves one parse at a time and can be reused for any number of
// consecutive parses; concurrent parses use separate parsers.
#pragma once

#include <cstddef>

#include "qvcmnexpr/qvcmnexpr_export.h"
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
    // Copies the members as they stand: no deep copy, no ownership transfer.
    XParser& operator=(const XParser& other) = default;
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
    // Fills `vr` (messages, error positions and, on success, the result's
    // type and properties).
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

protected:
    int createEmptyTree(const unsigned short* text, XTree*& tree);
    // Reports `msg` as a syntax error at [begin, end) of the text under parse.
    void handleSyntaxError(const QvUString& msg, int begin, int end);
    void handleSyntaxError(int id, int begin, int end);
    int isTransformationParser() const;
    int isWorkflowParser() const;
    int isDecimalHighPrecisionOn() const;

private:
    void attachTreeReporting(XTree* tree) const;

    XParserContext* m_context;
    int m_ownsContext;
    // Created with the validation stage; null until then.
    XValidator* m_validator;
    // The lexer of the parse under way; null outside parse().
    XLexer* m_lexer;
    XStack* m_nodeStack;
    int m_emptyExpression;
    XTokNameAllocator* m_tokenAllocator;
    // Parse-under-way targets of the caller; not owned.
    const unsigned short* m_text = nullptr;
    QvUString* m_errorText;
    QvUString* m_warningText;
    size_t* m_errorBegin;
    size_t* m_errorEnd;
};
