// Library settings per process or per thread (see qvcmnexprglobal.h).
//
// The process object is built when the library is loaded. Its settings are
// usually made during start-up, but an embedder may as well make them from
// several threads at once (each thread that sets up a catalog context does),
// so every setting is an atomic or is changed under a lock. Per-thread
// objects sit in a slot of the host's thread-specific storage, which deletes
// them when their thread ends.
#include "qvcmnexpr/qvcmnexprglobal.h"

#include <mutex>

#include "globaltss.h"
#include "qvcmnexpr/xdbg.h"

namespace {

// The mode initQvCmnExprGlobal fixed; -1 before its first call.
std::atomic<int> s_fixedMode{-1};

// Serialises installing and dropping printers; reading one takes no lock.
std::mutex& printerLock() {
    static std::mutex lock;
    return lock;
}

GlobalTss<QvCmnExprGlobal>& threadSlot() {
    static GlobalTss<QvCmnExprGlobal> slot;
    return slot;
}

// Builds the process object and the thread slot at load time, so that no
// thread races to build them later.
[[maybe_unused]] const bool s_builtAtLoad = (QvCmnExprGlobal::getQvCmnExprGlobal(), threadSlot(), true);

}  // namespace

QvCmnExprGlobal::QvCmnExprGlobal(int mode) : m_mode(mode) {
    if (mode == kModeProcess) installPrinter(std::make_shared<XDbgPrinter>(1), false);
}

QvCmnExprGlobal::QvCmnExprGlobal(const QvCmnExprGlobal& other)
    : m_mode(other.getMode()), m_highPrecisionMode(other.m_highPrecisionMode.load()) {
    std::lock_guard<std::mutex> hold(printerLock());
    m_dbgPrinter = other.m_dbgPrinter;
    m_printer.store(m_dbgPrinter.get(), std::memory_order_release);
}

QvCmnExprGlobal& QvCmnExprGlobal::operator=(const QvCmnExprGlobal& other) {
    if (this == &other) return *this;
    m_mode.store(other.getMode());
    m_highPrecisionMode.store(other.m_highPrecisionMode.load());
    {
        std::lock_guard<std::mutex> hold(printerLock());
        m_dbgPrinter = other.m_dbgPrinter;
        m_printer.store(m_dbgPrinter.get(), std::memory_order_release);
    }
    m_printerRequests = other.m_printerRequests.load(std::memory_order_relaxed);
    m_precisionRequests = other.m_precisionRequests.load(std::memory_order_relaxed);
    return *this;
}

QvCmnExprGlobal::~QvCmnExprGlobal() = default;

bool QvCmnExprGlobal::installPrinter(std::shared_ptr<XDbgPrinter> printer, bool onlyIfNone) {
    std::lock_guard<std::mutex> hold(printerLock());
    if (onlyIfNone && m_dbgPrinter) return false;
    m_dbgPrinter = std::move(printer);
    m_printer.store(m_dbgPrinter.get(), std::memory_order_release);
    return true;
}

// ---- choice of object ----

QvCmnExprGlobal& QvCmnExprGlobal::processGlobal() {
    static QvCmnExprGlobal process(kModeProcess);
    return process;
}

QvCmnExprGlobal* QvCmnExprGlobal::threadGlobal() { return threadSlot().get(); }

// Readers: the calling thread's object in mode 1 when it has one.
QvCmnExprGlobal* QvCmnExprGlobal::current() {
    QvCmnExprGlobal& process = processGlobal();
    if (process.getMode() != kModePerThread) return &process;
    QvCmnExprGlobal* own = threadGlobal();
    return own ? own : &process;
}

// Process-wide writers: in mode 1 they never touch the process object; the
// thread's own object is created on its first write.
QvCmnExprGlobal* QvCmnExprGlobal::target() {
    QvCmnExprGlobal& process = processGlobal();
    if (process.getMode() == kModeProcess) return &process;
    QvCmnExprGlobal* own = threadGlobal();
    if (!own) {
        threadSlot().replace(std::make_unique<QvCmnExprGlobal>(kModePerThread));
        own = threadGlobal();
    }
    return own;
}

// ---- process-wide operations ----

QvCmnExprGlobal* QvCmnExprGlobal::initQvCmnExprGlobal(int mode) {
    QvCmnExprGlobal& process = processGlobal();
    // Other modes would make readers and writers pick different objects.
    if (mode != kModeProcess && mode != kModePerThread) return nullptr;
    int fixed = -1;
    if (s_fixedMode.compare_exchange_strong(fixed, mode)) {
        process.m_mode.store(mode);
        return &process;
    }
    return fixed == mode ? &process : nullptr;
}

int QvCmnExprGlobal::isMultipleDTMSupported() { return processGlobal().getMode(); }

QvCmnExprGlobal* QvCmnExprGlobal::getQvCmnExprGlobal() { return current(); }

void QvCmnExprGlobal::setQvCmnExprGlobal(QvCmnExprGlobal*& g) {
    std::unique_ptr<QvCmnExprGlobal> owned(g);
    g = nullptr;
    threadSlot().replace(std::move(owned));
}

void QvCmnExprGlobal::resetQvCmnExprGlobal() { threadSlot().forget(); }

void QvCmnExprGlobal::deleteQvCmnExprGlobal() {
    QvCmnExprGlobal& process = processGlobal();
    if (process.getMode() != kModeProcess) {
        threadSlot().replace(nullptr);
        return;
    }
    process.deleteMe();
}

QvCmnExprGlobal* QvCmnExprGlobal::setIsHighPrecisionMode(int on) {
    QvCmnExprGlobal* g = target();
    const int wanted = (on == 1) ? 1 : -1;
    // Set once: of two threads that set it at the same time, one sets it and
    // the other finds it set, to the same value or not.
    int found = 0;
    if (g->m_highPrecisionMode.compare_exchange_strong(found, wanted) || found == wanted) return g;
    return nullptr;
}

QvCmnExprGlobal* QvCmnExprGlobal::changeHighPrecisionMode(int on) {
    QvCmnExprGlobal* g = target();
    g->storeHighPrecisionMode(on);
    return g;
}

int QvCmnExprGlobal::getIsHighPrecisionMode() {
    QvCmnExprGlobal* g = current();
    g->m_precisionRequests.fetch_add(1, std::memory_order_relaxed);
    return g->getIsHighPrecisionModeForMyself();
}

QvCmnExprGlobal* QvCmnExprGlobal::setDbgPrinter(const QvUString& fileName, int usedByApplication) {
    QvCmnExprGlobal* g = target();
    if (g->getMyDbgPrinter()) return g;
    auto printer = std::make_shared<XDbgPrinter>(usedByApplication);
    printer->openDbgFile(fileName);
    g->installPrinter(std::move(printer), true);
    return g;
}

XDbgPrinter* QvCmnExprGlobal::getDbgPrinter() {
    QvCmnExprGlobal* g = current();
    g->m_printerRequests.fetch_add(1, std::memory_order_relaxed);
    return g->getMyDbgPrinter();
}

// ---- operations on this object ----

void QvCmnExprGlobal::setDbgPrinterForMyself(const QvUString& fileName) {
    if (getMyDbgPrinter()) return;
    auto printer = std::make_shared<XDbgPrinter>(0);
    printer->openDbgFile(fileName);
    installPrinter(std::move(printer), true);
}

void QvCmnExprGlobal::changeHighPrecisionModeForMyself(int on) { storeHighPrecisionMode(on); }

void QvCmnExprGlobal::setIsHighPrecisionModeForMyself(int on) { storeHighPrecisionMode(on); }

int QvCmnExprGlobal::getIsHighPrecisionModeForMyself() const {
    return m_highPrecisionMode.load(std::memory_order_relaxed) != -1 ? 1 : 0;
}

void QvCmnExprGlobal::deleteMe() { installPrinter(nullptr, false); }

int QvCmnExprGlobal::isMeProcessGlobal() const { return this == &processGlobal() ? 1 : 0; }

void QvCmnExprGlobal::printUsage(QvUString& out) const {
    QvUString line;
    line.sprint("Times to get global data \"HighPrecisionMode\" : %llu\n",
                static_cast<unsigned long long>(m_precisionRequests.load(std::memory_order_relaxed)));
    out.append(line);
    line.sprint("Times to get global data \"DebugPrinter\" : %llu\n",
                static_cast<unsigned long long>(m_printerRequests.load(std::memory_order_relaxed)));
    out.append(line);
}
