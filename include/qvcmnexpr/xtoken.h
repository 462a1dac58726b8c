// Vocabulary of the expression language and the name chains that carry
// (qualified) names from the lexer to the tree-building actions.
//
// The fixed tables are declared once as data in X-macro .def files beside the
// implementation (xtypeannotation.def, ...); this header only exposes the
// lookups.
#pragma once

#include <memory>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvi18n.h"

class XType;

class QVCMNEXPR_API XToken {
public:
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

private:
    friend class XParser;
    friend class XTree;
    friend struct std::default_delete<XTokNameAllocator>;
    friend class XTokNameAllocatorAccess;  // for tests

    XTokNameAllocator() = default;
    ~XTokNameAllocator();

    XTokName* m_head = nullptr;
};
