// Vocabulary of the expression language and the name chains that carry
// (qualified) names from the lexer to the tree-building actions.
//
// The fixed tables are declared once as data in X-macro .def files beside the
// implementation (xkeywords.def, xfunctions.def, xsymbols.def,
// xqualifiers.def, xdisplaytext.def, xtypeannotation.def); this header only
// exposes the constants the lexer compares against and the lookups.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcmnexpr/xnodeid.h"
#include "qvcutils.h"
#include "qvi18n.h"

class XType;

// Expression contexts, a bit set: the caller supplies 3 when it does not yet
// know which kind of expression it has, and the lexer narrows its copy to 1
// or 2 at the first word that decides. Vocabulary rows carry the contexts in
// which their word is valid in the same bits (their `domain`), and function
// rows may add eXXC_RESTRICTED.
enum EXXprContext {
    eXXC_TRANSFORMATION = 1,
    eXXC_WORKFLOW = 2,
    eXXC_RESTRICTED = 4,
};

// A set of UTF-16 code units; only membership is ever asked.
using XTokenCharSet = QVTValHashDictionary<unsigned short, int>;

class QVCMNEXPR_API XToken {
public:
    // ---- characters the lexer and the string bookkeeping compare against ----
    static constexpr unsigned short gcAmpersand = 0x0026;             // &
    static constexpr unsigned short gcApostrophe = 0x0027;            // '
    static constexpr unsigned short gcAtSign = 0x0040;                // @
    static constexpr unsigned short gcCarriageReturn = 0x000D;
    static constexpr unsigned short gcCircumflexAccent = 0x005E;      // ^
    static constexpr unsigned short gcColon = 0x003A;                 // :
    static constexpr unsigned short gcComma = 0x002C;                 // ,
    static constexpr unsigned short gcDivide = 0x002F;                // /
    static constexpr unsigned short gcDollar = 0x0024;                // $
    static constexpr unsigned short gcDoubleByteAtSign = 0xFF20;      // full-width @
    static constexpr unsigned short gcDoubleByteDollar = 0xFF04;      // full-width $
    static constexpr unsigned short gcDoubleBytePound = 0xFF03;       // full-width #
    static constexpr unsigned short gcDoubleByteUnderScore = 0xFF3F;  // full-width _
    static constexpr unsigned short gcEq = 0x003D;                    // =
    static constexpr unsigned short gcExclamationMark = 0x0021;       // !
    static constexpr unsigned short gcFormFeed = 0x000C;
    static constexpr unsigned short gcGraveAccent = 0x0060;           // `
    static constexpr unsigned short gcGt = 0x003E;                    // >
    static constexpr unsigned short gcHyphenMinus = 0x002D;           // -
    static constexpr unsigned short gcLeftBraket = 0x005B;            // [
    static constexpr unsigned short gcLeftCurlyBracket = 0x007B;      // {
    static constexpr unsigned short gcLeftParen = 0x0028;             // (
    static constexpr unsigned short gcLowerE = 0x0065;                // e
    static constexpr unsigned short gcLt = 0x003C;                    // <
    static constexpr unsigned short gcMinus = 0x002D;                 // -
    static constexpr unsigned short gcModulus = 0x0025;               // %
    static constexpr unsigned short gcMultiply = 0x002A;              // *
    static constexpr unsigned short gcNewLine = 0x000A;
    static constexpr unsigned short gcPeriod = 0x002E;                // .
    static constexpr unsigned short gcPlus = 0x002B;                  // +
    static constexpr unsigned short gcPound = 0x0023;                 // #
    static constexpr unsigned short gcQuestionMark = 0x003F;          // ?
    static constexpr unsigned short gcQuotationMark = 0x0022;         // "
    static constexpr unsigned short gcReverseSolidus = 0x005C;        // backslash
    static constexpr unsigned short gcRightBraket = 0x005D;           // ]
    static constexpr unsigned short gcRightCurlyBracket = 0x007D;     // }
    static constexpr unsigned short gcRightParen = 0x0029;            // )
    static constexpr unsigned short gcSemiColon = 0x003B;             // ;
    static constexpr unsigned short gcSingleQuote = 0x0027;           // '
    static constexpr unsigned short gcSolidus = 0x002F;               // /
    static constexpr unsigned short gcSpace = 0x0020;
    static constexpr unsigned short gcTab = 0x0009;
    static constexpr unsigned short gcTilde = 0x007E;                 // ~
    static constexpr unsigned short gcUnderScore = 0x005F;            // _
    static constexpr unsigned short gcUpperE = 0x0045;                // E
    static constexpr unsigned short gcVerticalLine = 0x007C;          // |
    static constexpr unsigned short gcVerticalTab = 0x000B;

    // ---- shared texts ----
    static const QvUString gsCommentPrefix1;  // "//"
    static const QvUString gsCommentPrefix2;  // "--"
    static const QvUString gsEmpty;
    static const QvUString gsOne;             // "1"
    static const QvUString gsZero;            // "0"
    static const QvUString gsValueNull;       // "{NULL}": a null value
    static const QvUString gsValueNone;       // "{ValueNotAvailable}": no value at all
    static const QvUString gsValueBinary;     // "{BinaryValue}": binary values are not shown

    // The characters that can never be part of an identifier, and the white
    // space that ends one. Built by staticInitializer and never changed.
    static XTokenCharSet* m_invalidTokens;
    static XTokenCharSet* m_spaceTokens;

    // Builds the host strings of the display and annotation tables and the
    // two character sets. Runs when the library is loaded; later calls find
    // everything built and do nothing. Returns 1.
    static int staticInitializer();

    // Display text of a node kind, used when a tree is written back as text.
    // Null for the kinds that are written from the expression text itself
    // (CONST, PORTVAR, the widgets, ...); a kind without any display row gives
    // the shared unknown text "?:" (XEnum::cls_unknownEnumUStr), which callers
    // recognise by address or by text.
    static const QvUString* getTokenString(EXNodeId id);

    // Short annotation written in front of a value of `type` ("i:" for INT);
    // "?:" for a type without one.
    static const QvUString& getTypeAnnotation(XType type);
};

// One component of a qualified name. A name written A.B.C is the chain
// A -> B -> C: the head holds the number of components of the whole chain and
// the last component is the referenced name itself. Components are owned by
// the XTokNameAllocator that created them, never by the chain.
class QVCMNEXPR_API XTokName {
public:
    XTokName(const QvUString& name, int level, XTokName* next);
    // Copies name, level and next link; not put on any allocator's list.
    explicit XTokName(XTokName* other);
    ~XTokName();
    XTokName(const XTokName&) = delete;
    XTokName& operator=(const XTokName&) = delete;

    const QvUString& getName() const { return m_name; }
    void setName(const QvUString& name) { m_name = name; }
    XTokName* getNext() const { return m_next; }
    void setNext(XTokName* next) { m_next = next; }
    XTokName* getNextInFreeList() const { return m_nextInFreeList; }
    void setNextInFreeList(XTokName* next) { m_nextInFreeList = next; }

    // Makes `first` the new head in front of this chain and returns it.
    XTokName* prepend(XTokName* first);
    XTokName* getLast();
    // Null for a single component.
    XTokName* getSecondFromLast();
    // Unlinks and returns the last component (null for a single component,
    // which is left unchanged).
    XTokName* removeLast();
    // The qualifiers of the last component, nearest first, null-terminated:
    // { B, A, null } for A.B.C. Valid until the next call or the chain's end.
    const unsigned short** getNameQualifiers();
    // 1 when both chains have the same level and equal (case-sensitive) names.
    int isSame(XTokName* other);

protected:
    int getLevel() const { return m_level; }
    void setLevel(int level) { m_level = level; }
    // Lowers the level of this component and those after it (not below 0);
    // returns this component's level.
    int decrementLevel();

private:
    QvUString m_name;
    int m_level;
    std::unique_ptr<const unsigned short*[]> m_qualifiers;
    XTokName* m_next;
    XTokName* m_nextInFreeList = nullptr;
};

// Owner of every XTokName created during one parse: the parser creates one
// per parse and the resulting tree takes it over, so name chains live exactly
// as long as the tree that refers to them.
class QVCMNEXPR_API XTokNameAllocator {
public:
    XTokNameAllocator(const XTokNameAllocator&) = delete;
    XTokNameAllocator& operator=(const XTokNameAllocator&) = delete;

    // A new component owned by this allocator; null if memory runs out.
    XTokName* allocToken(const QvUString* name, int level);

    // Made from the per-thread node slabs (xblockalloc.h), beside the nodes
    // of the parse that makes it, rather than from the general heap.
    static void* operator new(size_t size);
    static void* operator new(size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* p, size_t size) noexcept;

private:
    friend class XParser;
    friend class XTree;
    friend struct std::default_delete<XTokNameAllocator>;
    friend class XTokNameAllocatorAccess;  // for tests

    XTokNameAllocator() = default;
    ~XTokNameAllocator();

    // Components are built in place in blocks of growing size that the
    // allocator frees all at once: a parse's names sit together in memory
    // and cost one allocation per block instead of one each. Most
    // expressions name a handful of columns, so the first few components
    // are built in the allocator itself and cost no allocation at all.
    struct Block;
    static constexpr size_t cInlineSlots = 4;
    void* slotForToken();

    XTokName* m_head = nullptr;  // every component, newest first
    Block* m_blocks = nullptr;   // newest first; none while the inline slots last
    size_t m_usedInBlock = 0;    // components built in the newest block (or inline)
    alignas(XTokName) unsigned char m_inlineSlots[cInlineSlots * sizeof(XTokName)];
};
