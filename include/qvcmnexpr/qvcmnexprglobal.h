// Library settings that outlive one parse: high-precision mode and the debug
// printer.
//
// A host that runs several engines (DTMs) in one process gives each engine's
// threads their own settings (mode 1, "multiple-DTM"); otherwise one object
// serves the whole process (mode 0). Readers see the calling thread's object
// when it has one and the process object otherwise; process-wide writers in
// mode 1 create the calling thread's object on first use, so a setting made
// for one engine never leaks into another. Per-thread objects live in the
// host's thread-specific storage and die with their thread.
//
// Every setting may be read and written from any thread: the mode and the
// high-precision setting are atomic, and a printer is installed under a lock
// and read through an atomic pointer. Deleting a printer while another
// thread prints through it remains the caller's to avoid.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvi18n.h"

class XDbgPrinter;

class QVCMNEXPR_API QvCmnExprGlobal {
public:
    // Multiple-DTM modes of the process object.
    static constexpr int kModeProcess = 0;
    static constexpr int kModePerThread = 1;

    // Mode 0 also creates the printer used by the application; mode 1
    // (a per-thread object) starts without a printer.
    explicit QvCmnExprGlobal(int mode);
    // Copies mode, high-precision setting and printer; clears the counters.
    QvCmnExprGlobal(const QvCmnExprGlobal& other);
    // Copies every field, counters included.
    QvCmnExprGlobal& operator=(const QvCmnExprGlobal& other);
    ~QvCmnExprGlobal();

    // ---- process-wide operations (current or target object) ----

    // Fixes the multiple-DTM mode on the first call and returns the process
    // object; a later call with another mode (or a mode other than 0 and 1)
    // is refused with null.
    static QvCmnExprGlobal* initQvCmnExprGlobal(int mode);
    static int isMultipleDTMSupported();
    static QvCmnExprGlobal* getQvCmnExprGlobal();
    // Takes ownership of `g` for the calling thread (deleting the thread's
    // previous object) and sets `g` to null.
    static void setQvCmnExprGlobal(QvCmnExprGlobal*& g);
    // Forgets the calling thread's object without deleting it.
    static void resetQvCmnExprGlobal();
    // Mode 1: deletes the calling thread's object and its printer. Mode 0:
    // drops the process object's printer.
    static void deleteQvCmnExprGlobal();

    // Sets the mode once (1 on, anything else off); null when it is already
    // set to the other value.
    static QvCmnExprGlobal* setIsHighPrecisionMode(int on);
    static QvCmnExprGlobal* changeHighPrecisionMode(int on);
    // 1 unless the current object's mode was switched off.
    static int getIsHighPrecisionMode();
    // Creates a printer on the target object unless it has one.
    static QvCmnExprGlobal* setDbgPrinter(const QvUString& fileName, int usedByApplication);
    static XDbgPrinter* getDbgPrinter();

    // ---- operations on this object ----

    void setDbgPrinterForMyself(const QvUString& fileName);
    void changeHighPrecisionModeForMyself(int on);
    void setIsHighPrecisionModeForMyself(int on);
    // 1 unless this object's mode was switched off.
    int getIsHighPrecisionModeForMyself() const;
    XDbgPrinter* getMyDbgPrinter() const { return m_printer.load(std::memory_order_acquire); }
    void deleteMe();
    int isMeProcessGlobal() const;
    int getMode() const { return m_mode.load(std::memory_order_relaxed); }
    // Appends the usage counters, one line each.
    void printUsage(QvUString& out) const;

private:
    static QvCmnExprGlobal& processGlobal();
    static QvCmnExprGlobal* threadGlobal();
    static QvCmnExprGlobal* current();
    static QvCmnExprGlobal* target();
    void storeHighPrecisionMode(int on) {
        m_highPrecisionMode.store((on == 1) ? 1 : -1, std::memory_order_relaxed);
    }
    // Installs `printer` (null: none); returns false when `onlyIfNone` and
    // the object already has one.
    bool installPrinter(std::shared_ptr<XDbgPrinter> printer, bool onlyIfNone);

    std::atomic<int> m_mode;
    // 0 not set (reads as on), 1 on, -1 off.
    std::atomic<int> m_highPrecisionMode{0};
    // Shared with copies: a copy handed to a thread keeps printing through the
    // same printer, and whichever holder goes last releases it. Changed only
    // under the printer lock; m_printer is what readers load.
    std::shared_ptr<XDbgPrinter> m_dbgPrinter;
    std::atomic<XDbgPrinter*> m_printer{nullptr};
    std::atomic<uint64_t> m_printerRequests{0};
    std::atomic<uint64_t> m_precisionRequests{0};
};
