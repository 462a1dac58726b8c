// A thread-specific slot of the host holding one owned object per thread.
// The host deletes a thread's object when the thread exits; in between the
// slot hands ownership in and out as unique_ptr so no object is ever lost.
#pragma once

#include <memory>

#include "qvcutils.h"

template <class T>
class GlobalTss {
public:
    GlobalTss() { QVTSS_Manager::getTSSManager()->registerTss(&m_slot); }
    GlobalTss(const GlobalTss&) = delete;
    GlobalTss& operator=(const GlobalTss&) = delete;

    // The calling thread's object, or null.
    T* get() const { return m_slot.getValue(); }
    // Gives the calling thread's object back to the caller and clears the slot.
    std::unique_ptr<T> release() {
        std::unique_ptr<T> old(m_slot.getValue());
        m_slot.setValue(nullptr);
        return old;
    }
    // Clears the slot without deleting: whoever handed the object in keeps
    // the responsibility for it.
    void forget() { m_slot.setValue(nullptr); }
    // Stores `value` for the calling thread, deleting its previous object.
    // Handing in the object already stored changes nothing.
    void replace(std::unique_ptr<T> value) {
        if (value && value.get() == get()) {
            (void)value.release();
            return;
        }
        std::unique_ptr<T> old = release();
        m_slot.setValue(value.release());
    }

private:
    QVTssImpl<T> m_slot;
};
