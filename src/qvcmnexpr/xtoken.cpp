// The token unit: the vocabulary tables' load-time part and the name chains
// of qualified references.
//
// The recognition tables are constant data (xtokentables.h and its .def
// files). What is built when the library is loaded are the UTF-16 texts that
// callers receive by pointer or reference, so a lookup never allocates, the
// two character sets that delimit identifiers, and the per-unit classes the
// lexer derives from them (xtokenindex.h).
#include "qvcmnexpr/xtoken.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xenum.h"
#include "qvcmnexpr/xtype.h"
#include "xblockalloc.h"
#include "xtokenindex.h"
#include "xtokentables.h"

// ===== the display table =====

// Functions and keywords display their names; the operators and the kinds
// without text come from xdisplaytext.def. Sorted by kind at load time.
XEnumStrPair gTokenStringTable[] = {
#define XFUNCTION(name, token, kind, domain) {eXNI_##kind, name, nullptr},
#include "xfunctions.def"
#define XKEYWORD_OPERATOR(name, token, kind, domain) {eXNI_##kind, name, nullptr},
#define XKEYWORD_OPERAND(name, token, domain, node) {eXNI_##node, name, nullptr},
#define XKEYWORD_CONSTANT(name, token, domain, node, value) {eXNI_##node, name, nullptr},
#include "xkeywords.def"
#define XDISPLAY_TEXT(kind, text) {eXNI_##kind, text, nullptr},
#define XDISPLAY_NO_TEXT(kind) {eXNI_##kind, nullptr, nullptr},
#include "xdisplaytext.def"
};
static_assert(std::size(gTokenStringTable) == gTokenStringCount,
              "one display row per function, displayed keyword, operator and text-less kind");

namespace {

// Owner of the texts built at load time; they live until the library is
// unloaded. Fixed capacity, so registering a string never allocates.
class XDisplayStringPool {
public:
    const QvUString* add(std::unique_ptr<QvUString> text) {
        QV_ASSERT(m_count < kCapacity, "xtoken");
        m_strings[m_count] = std::move(text);
        return m_strings[m_count++].get();
    }

private:
    static constexpr int kCapacity = gTokenStringCount + gTypeAnnotationCount;
    std::unique_ptr<QvUString> m_strings[kCapacity];
    int m_count = 0;
};

// Set up before the ordinary start-up code of the other units, which may
// already use the vocabulary.
XDisplayStringPool gDisplayStringPool __attribute__((init_priority(1001)));

std::unique_ptr<XTokenCharSet> s_invalidTokens;
std::unique_ptr<XTokenCharSet> s_spaceTokens;

// The UTF-16 forms of the annotation rows, by row.
const QvUString* s_annotationStrings[gTypeAnnotationCount];

// A new host string of `ascii` owned by the pool; null after reporting an
// allocation failure at `failLine` of this unit.
const QvUString* poolString(const char* ascii, int failLine) {
    std::unique_ptr<QvUString> text(new (std::nothrow) QvUString());
    if (!text) {
        QvAssertHandler("xtoken", failLine);
        return nullptr;
    }
    text->assignASCII(ascii);
    return gDisplayStringPool.add(std::move(text));
}

// Characters that can never be part of an identifier.
constexpr unsigned short kInvalidTokenChars[] = {
    XToken::gcExclamationMark,  XToken::gcQuotationMark, XToken::gcDollar,         XToken::gcModulus,
    XToken::gcAmpersand,        XToken::gcApostrophe,    XToken::gcLeftParen,      XToken::gcRightParen,
    XToken::gcMultiply,         XToken::gcPlus,          XToken::gcComma,          XToken::gcMinus,
    XToken::gcPeriod,           XToken::gcSolidus,       XToken::gcColon,          XToken::gcSemiColon,
    XToken::gcLt,               XToken::gcEq,            XToken::gcGt,             XToken::gcQuestionMark,
    XToken::gcLeftBraket,       XToken::gcReverseSolidus, XToken::gcRightBraket,   XToken::gcCircumflexAccent,
    XToken::gcGraveAccent,      XToken::gcLeftCurlyBracket, XToken::gcVerticalLine, XToken::gcRightCurlyBracket,
    XToken::gcTilde,
};
static_assert(std::size(kInvalidTokenChars) == 29);

// White space that ends an identifier.
constexpr unsigned short kSpaceTokenChars[] = {
    XToken::gcSpace, XToken::gcTab, XToken::gcNewLine, XToken::gcFormFeed, XToken::gcVerticalTab, XToken::gcCarriageReturn,
};

unsigned int codeUnitHash(const unsigned short& unit) { return unit; }

template <size_t N>
std::unique_ptr<XTokenCharSet> makeCharSet(const unsigned short (&chars)[N]) {
    auto set = std::make_unique<XTokenCharSet>(codeUnitHash, 64);
    for (unsigned short c : chars) set->insertKeyAndValue(c, 1);
    return set;
}

// Index of the annotation row of `type`, or -1.
constexpr int findAnnotationRow(int type) {
    const XTypeAnnotationRow* begin = std::begin(gTypeAnnotationTable);
    const XTypeAnnotationRow* end = std::end(gTypeAnnotationTable);
    const XTypeAnnotationRow* row =
        std::lower_bound(begin, end, type, [](const XTypeAnnotationRow& r, int t) { return r.type < t; });
    return (row != end && row->type == type) ? static_cast<int>(row - begin) : -1;
}

constexpr int s_invalidTypeRow = findAnnotationRow(eXMINT_INVALID);
static_assert(s_invalidTypeRow >= 0, "the invalid type's annotation is the fallback");

// The source lines under which allocation failures of the two tables are
// reported; callers' crash reports are keyed by them.
constexpr int kDisplayTableFailLine = 313;
constexpr int kAnnotationTableFailLine = 330;

void buildDisplayTable() {
    XEnum::sortEnumStrPairs(gTokenStringTable, gTokenStringCount, 0, 0, 0);
    for (XEnumStrPair& row : gTokenStringTable)
        if (row.str) row.ustr = poolString(row.str, kDisplayTableFailLine);
}

void buildAnnotationTable() {
    for (int i = 0; i < gTypeAnnotationCount; ++i)
        s_annotationStrings[i] = poolString(gTypeAnnotationTable[i].annotation, kAnnotationTableFailLine);
}

// Builds the vocabulary when the library is loaded, right after the shared
// unknown text and before any ordinary start-up code.
struct XTokenLoader {
    XTokenLoader() { XToken::staticInitializer(); }
};
XTokenLoader s_loader __attribute__((init_priority(1002)));

}  // namespace

// ===== XToken =====

const QvUString XToken::gsCommentPrefix1 __attribute__((init_priority(1001)))("//");
const QvUString XToken::gsCommentPrefix2 __attribute__((init_priority(1001)))("--");
const QvUString XToken::gsEmpty __attribute__((init_priority(1001)));
const QvUString XToken::gsOne __attribute__((init_priority(1001)))("1");
const QvUString XToken::gsZero __attribute__((init_priority(1001)))("0");
const QvUString XToken::gsValueNull __attribute__((init_priority(1001)))("{NULL}");
const QvUString XToken::gsValueNone __attribute__((init_priority(1001)))("{ValueNotAvailable}");
const QvUString XToken::gsValueBinary __attribute__((init_priority(1001)))("{BinaryValue}");

XTokenCharSet* XToken::m_invalidTokens = nullptr;
XTokenCharSet* XToken::m_spaceTokens = nullptr;

int XToken::staticInitializer() {
    static bool built = false;
    if (built) return 1;
    built = true;
    buildDisplayTable();
    buildAnnotationTable();
    s_invalidTokens = makeCharSet(kInvalidTokenChars);
    s_spaceTokens = makeCharSet(kSpaceTokenChars);
    m_invalidTokens = s_invalidTokens.get();
    m_spaceTokens = s_spaceTokens.get();
    gXUnitClasses.build();
    return 1;
}

const QvUString* XToken::getTokenString(EXNodeId id) {
    return XEnum::enumToUString(id, gTokenStringTable, gTokenStringCount);
}

const QvUString& XToken::getTypeAnnotation(XType type) {
    const int row = findAnnotationRow(type.toInteger());
    const QvUString* text = s_annotationStrings[row >= 0 ? row : s_invalidTypeRow];
    return text ? *text : XEnum::cls_unknownEnumUStr;
}

// ===== code-unit classes =====

XUnitClasses gXUnitClasses;

void XUnitClasses::build() {
    for (const auto& [unit, value] : *XToken::m_spaceTokens) m_spaceTokens.insert(unit);
    for (const auto& [unit, value] : *XToken::m_invalidTokens) m_invalidTokens.insert(unit);
    for (unsigned c = 0; c < kAsciiUnits; ++c)
        m_ascii[c] = static_cast<uint8_t>(classesOf(static_cast<unsigned short>(c)));
}

// Every class of `c` by its definition; the ASCII table caches this.
unsigned XUnitClasses::classesOf(unsigned short c) const {
    unsigned classes = 0;
    if (qvUIsSpace(c)) classes |= kXUnitHostSpace;
    if (m_spaceTokens.contains(c)) classes |= kXUnitSpaceToken;
    if (m_invalidTokens.contains(c)) classes |= kXUnitInvalid;
    if (c <= 0x001F || c == 0x007F) classes |= kXUnitControl;
    if (qvUIsDigit(c)) classes |= kXUnitDigit;
    const bool startsComment = c == XToken::gsCommentPrefix1[0] || c == XToken::gsCommentPrefix2[0];
    if (qvUIsSpace(c) || startsComment) classes |= kXUnitBlankStart;
    if (c == 0 || c == XToken::gcLeftParen || qvUIsSpace(c) || startsComment) classes |= kXUnitWordBreak;
    return classes;
}

// Only the classes asked for: above ASCII white space costs a call into ICU,
// which an identifier scan never needs.
bool XUnitClasses::anyAboveAscii(unsigned short c, unsigned mask) const {
    if ((mask & kXUnitSpaceToken) != 0 && m_spaceTokens.contains(c)) return true;
    if ((mask & kXUnitInvalid) != 0 && m_invalidTokens.contains(c)) return true;
    if ((mask & (kXUnitHostSpace | kXUnitWordBreak | kXUnitBlankStart)) != 0 && qvUIsSpace(c)) return true;
    return (mask & kXUnitDigit) != 0 && qvUIsDigit(c);
}

// ===== recognition lookups =====

namespace {

// The first row (in table order) whose text starts `input`, compared without
// regard to case.
template <class Row, size_t N>
const Row* firstPrefixRow(const Row (&rows)[N], const unsigned short* input) {
    if (!input) return nullptr;
    for (const Row& row : rows)
        if (qvUAStrnicmp(input, row.text, static_cast<size_t>(row.length)) == 0) return &row;
    return nullptr;
}

// Bisects rows sorted by name in byte order (strcmp compares bytes unsigned).
template <class Row, size_t N>
const Row* findByName(const Row (&rows)[N], const char* name) {
    if (!name) return nullptr;
    const Row* end = std::end(rows);
    const Row* row = std::lower_bound(std::begin(rows), end, name,
                                      [](const Row& r, const char* n) { return std::strcmp(r.name, n) < 0; });
    return (row != end && std::strcmp(row->name, name) == 0) ? row : nullptr;
}

}  // namespace

const XQualifierRow* xMatchQualifier(const unsigned short* input) { return firstPrefixRow(gQualifierTable, input); }

const XSymbolRow* xMatchSymbol(const unsigned short* input) { return firstPrefixRow(gSymbolTable, input); }

const XQualifierRow* xMatchQualifierAscii(const unsigned short* input) { return xtokenindex::matchQualifier(input); }

const XSymbolRow* xMatchSymbolAscii(const unsigned short* input) { return xtokenindex::matchSymbol(input); }

const XKeywordRow* xFindKeyword(const char* name) { return findByName(gKeywordTable, name); }

const XFunctionRow* xFindFunction(const char* name) { return findByName(gFunctionTable, name); }

const XKeywordRow* xLookupKeyword(const unsigned short* word, size_t length) {
    return xtokenindex::lookupKeyword(word, length);
}

const XFunctionRow* xLookupFunction(const unsigned short* word, size_t length) {
    return xtokenindex::lookupFunction(word, length);
}

const XKeywordRow* xLookupKeyword(const QvUString& word) { return xLookupKeyword(word.getBuffer(), word.length()); }

const XFunctionRow* xLookupFunction(const QvUString& word) { return xLookupFunction(word.getBuffer(), word.length()); }

// ---- XTokName ----

// Built from the units: short names are copied inline, without the host
// library's copy constructor (one name per reference in every parse).
XTokName::XTokName(const QvUString& name, int level, XTokName* next)
    : m_name(name.getBuffer(), name.length()), m_level(level), m_next(next) {}

XTokName::XTokName(XTokName* other) : m_name(other->m_name), m_level(other->m_level), m_next(other->m_next) {}

XTokName::~XTokName() = default;

XTokName* XTokName::prepend(XTokName* first) {
    first->m_level = m_level + 1;
    first->m_next = this;
    return first;
}

XTokName* XTokName::getLast() {
    XTokName* last = this;
    while (last->m_next) last = last->m_next;
    return last;
}

XTokName* XTokName::getSecondFromLast() {
    if (!m_next) return nullptr;
    XTokName* before = this;
    while (before->m_next->m_next) before = before->m_next;
    return before;
}

XTokName* XTokName::removeLast() {
    XTokName* before = getSecondFromLast();
    if (!before) return nullptr;
    XTokName* last = before->m_next;
    before->m_next = nullptr;
    decrementLevel();
    return last;
}

int XTokName::decrementLevel() {
    for (XTokName* t = this; t; t = t->m_next)
        if (t->m_level > 0) --t->m_level;
    return m_level;
}

const unsigned short** XTokName::getNameQualifiers() {
    QV_ASSERT(m_level >= 1, "xtoken");
    // Should the handler return, a chain without a level still gets its
    // terminating null rather than an array of impossible size.
    const int slots = m_level >= 1 ? m_level : 1;
    m_qualifiers.reset();
    m_qualifiers = std::make_unique<const unsigned short*[]>(static_cast<size_t>(slots));
    m_qualifiers[slots - 1] = nullptr;
    XTokName* t = this;
    for (int i = m_level - 2; i >= 0 && t; --i, t = t->m_next) m_qualifiers[i] = t->m_name.getBuffer();
    return m_qualifiers.get();
}

int XTokName::isSame(XTokName* other) {
    if (!other || m_level != other->m_level) return 0;
    XTokName* a = this;
    XTokName* b = other;
    for (; a && b; a = a->m_next, b = b->m_next)
        if (a->m_name != b->m_name) return 0;
    return (a == nullptr && b == nullptr) ? 1 : 0;
}

// ---- XTokNameAllocator ----

struct XTokNameAllocator::Block {
    Block* previous;
    size_t capacity;

    // The first block follows the allocator's inline slots; later ones
    // double up to a bound.
    static constexpr size_t cFirstCapacity = 8;
    static constexpr size_t cMaxCapacity = 1024;
    static constexpr size_t cSlotsOffset =
        (sizeof(Block*) + sizeof(size_t) + alignof(XTokName) - 1) / alignof(XTokName) * alignof(XTokName);

    void* slot(size_t i) { return reinterpret_cast<char*>(this) + cSlotsOffset + i * sizeof(XTokName); }
    static size_t bytes(size_t capacity) { return cSlotsOffset + capacity * sizeof(XTokName); }

    // The first blocks sit beside the parse's nodes in its slab; the big
    // ones of very long expressions would leave much of a slab unused, so
    // they come from the general heap.
    static constexpr size_t cMaxSlabBytes = 4096;
    static void* allocate(size_t capacity) {
        const size_t size = bytes(capacity);
        if (size <= cMaxSlabBytes) return xnodeblock::allocate(size, alignof(XTokName));
        return ::operator new(size);
    }
    static void release(Block* block) {
        const size_t size = bytes(block->capacity);
        if (size <= cMaxSlabBytes) {
            xnodeblock::release(block, size);
        } else {
            ::operator delete(block);
        }
    }
};

XNODEBLOCK_DEFINE_CLASS_ALLOCATION(XTokNameAllocator)

void* XTokNameAllocator::slotForToken() {
    if (!m_blocks && m_usedInBlock < cInlineSlots) return m_inlineSlots + m_usedInBlock * sizeof(XTokName);
    if (!m_blocks || m_usedInBlock == m_blocks->capacity) {
        const size_t capacity =
            m_blocks ? std::min(2 * m_blocks->capacity, Block::cMaxCapacity) : Block::cFirstCapacity;
        void* memory;
        try {
            memory = Block::allocate(capacity);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        m_blocks = new (memory) Block{m_blocks, capacity};
        m_usedInBlock = 0;
    }
    return m_blocks->slot(m_usedInBlock);
}

XTokName* XTokNameAllocator::allocToken(const QvUString* name, int level) {
    void* slot = slotForToken();
    if (!slot) return nullptr;
    XTokName* token;
    try {
        // Both branches are lvalues: a temporary here would copy the name.
        token = new (slot) XTokName(name ? *name : XToken::gsEmpty, level, nullptr);
    } catch (const std::bad_alloc&) {
        return nullptr;  // the slot stays free for the next component
    }
    ++m_usedInBlock;
    token->setNextInFreeList(m_head);
    m_head = token;
    return token;
}

XTokNameAllocator::~XTokNameAllocator() {
    while (m_head) {
        XTokName* next = m_head->getNextInFreeList();
        m_head->~XTokName();
        m_head = next;
    }
    while (m_blocks) {
        Block* previous = m_blocks->previous;
        Block::release(m_blocks);
        m_blocks = previous;
    }
}
