// Handles to objects of the caller. A node's metadata record points at the
// port, variable or lookup it resolved to without knowing its type; the
// caller gets the pointer back through the record or the parsed tree.
// QvCRef is the read-only view, QvRef the handle the records store.
#pragma once

#include "qvcmnexpr/qvcmnexpr_export.h"

class QVCMNEXPR_API QvCRef {
public:
    static constexpr int cls_classId = 1000;

    QvCRef() : m_ptr(nullptr) {}
    explicit QvCRef(const void* ptr) : m_ptr(ptr) {}
    QvCRef(const QvCRef& other) = default;
    QvCRef& operator=(const QvCRef& other) = default;
    virtual ~QvCRef();

    virtual int getClassId() const;
    virtual int isClass(int id) const;
    static int stc_isClass(int id);

    const void* getCPtr() const { return m_ptr; }
    int isEmpty() const { return m_ptr == nullptr ? 1 : 0; }
    void makeEmpty() { m_ptr = nullptr; }

protected:
    const void* m_ptr;
};

class QVCMNEXPR_API QvRef : public QvCRef {
public:
    static constexpr int cls_classId = 1001;

    QvRef() = default;
    explicit QvRef(void* ptr) : QvCRef(ptr) {}
    QvRef(const QvRef& other) = default;
    QvRef& operator=(const QvRef& other) = default;
    ~QvRef() override;

    int getClassId() const override;
    int isClass(int id) const override;
    static int stc_isClass(int id);

    // A QvRef is only ever built from a writable pointer, so handing it back
    // writable is sound.
    void* getPtr() const { return const_cast<void*>(m_ptr); }
};
