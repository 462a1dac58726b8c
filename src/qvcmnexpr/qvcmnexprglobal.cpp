// Library settings per process or per thread (see qvcmnexprglobal.h).
//
// The process object is built when the library is loaded and configured
// during start-up, before parsing threads run; afterwards it is only read, so
// it needs no lock. Per-thread objects sit in a slot of the host's
// thread-specific storage, which deletes them when their thread ends.
#include "qvcmnexpr/qvcmnexprglobal.h"

#include "globaltss.h"
#include "qvcmnexpr/xdbg.h"

namespace {

// Whether initQvCmnExprGlobal has fixed the mode; written during start-up only.
bool s_modeFixed = false;

GlobalTss<QvCmnExprGlobal>& threadSlot() {
    static GlobalTss<QvCmnExprGlobal> slot;
    return slot;
}

// Builds the process object and the thread slot at load time, so that no
// thread races to build them later.
[[maybe_unused]] const bool s_builtAtLoad = (QvCmnExprGlobal::getQvCmnExprGlobal(), threadSlot(), true);

}  // namespace

QvCmnExprGlobal::QvCmnExprGlobal(int mode) : m_mode(mode) {
    if (mode == kModeProcess) m_dbgPrinter = std::make_shared<XDbgPrinter>(1);
}

QvCmnExprGlobal::QvCmnExprGlobal(const QvCmnExprGlobal& other)
    : m_mode(other.m_mode), m_highPrecisionMode(other.m_highPrecisionMode), m_dbgPrinter(other.m_dbgPrinter) {}

QvCmnExprGlobal& QvCmnExprGlobal::operator=(const QvCmnExprGlobal& other) {
    if (this == &other) return *this;
    m_mode = other.m_mode;
    m_highPrecisionMode = other.m_highPrecisionMode;
    m_dbgPrinter = other.m_dbgPrinter;
    m_printerRequests = other.m_printerRequests.load(std::memory_order_relaxed);
    m_precisionRequests = other.m_precisionRequests.load(std::memory_order_relaxed);
    return *this;
}

QvCmnExprGlobal::~QvCmnExprGlobal() = default;

// ---- choice of object ----

QvCmnExprGlobal& QvCmnExprGlobal::processGlobal() {
    static QvCmnExprGlobal process(kModeProcess);
    return process;
}

QvCmnExprGlobal* QvCmnExprGlobal::threadGlobal() { return threadSlot().get(); }

// Readers: the calling thread's object in mode 1 when it has one.
QvCmnExprGlobal* QvCmnExprGlobal::current() {
    QvCmnExprGlobal& process = processGlobal();
    if (process.m_mode != kModePerThread) return &process;
    QvCmnExprGlobal* own = threadGlobal();
    return own ? own : &process;
}

// Process-wide writers: in mode 1 they never touch the process object; the
// thread's own object is created on its first write.
QvCmnExprGlobal* QvCmnExprGlobal::target() {
    QvCmnExprGlobal& process = processGlobal();
    if (process.m_mode == kModeProcess) return &process;
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
    if (!s_modeFixed) {
        process.m_mode = mode;
        s_modeFixed = true;
        return &process;
    }
    return process.m_mode == mode ? &process : nullptr;
}

int QvCmnExprGlobal::isMultipleDTMSupported() { return processGlobal().m_mode; }

QvCmnExprGlobal* QvCmnExprGlobal::getQvCmnExprGlobal() { return current(); }

void QvCmnExprGlobal::setQvCmnExprGlobal(QvCmnExprGlobal*& g) {
    std::unique_ptr<QvCmnExprGlobal> owned(g);
    g = nullptr;
    threadSlot().replace(std::move(owned));
}

void QvCmnExprGlobal::resetQvCmnExprGlobal() { threadSlot().forget(); }

void QvCmnExprGlobal::deleteQvCmnExprGlobal() {
    QvCmnExprGlobal& process = processGlobal();
    if (process.m_mode != kModeProcess) {
        threadSlot().replace(nullptr);
        return;
    }
    process.deleteMe();
}

QvCmnExprGlobal* QvCmnExprGlobal::setIsHighPrecisionMode(int on) {
    QvCmnExprGlobal* g = target();
    const int wanted = (on == 1) ? 1 : -1;
    if (g->m_highPrecisionMode != 0 && g->m_highPrecisionMode != wanted) return nullptr;
    g->m_highPrecisionMode = wanted;
    return g;
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
    if (!g->m_dbgPrinter) {
        g->m_dbgPrinter = std::make_shared<XDbgPrinter>(usedByApplication);
        g->m_dbgPrinter->openDbgFile(fileName);
    }
    return g;
}

XDbgPrinter* QvCmnExprGlobal::getDbgPrinter() {
    QvCmnExprGlobal* g = current();
    g->m_printerRequests.fetch_add(1, std::memory_order_relaxed);
    return g->getMyDbgPrinter();
}

// ---- operations on this object ----

void QvCmnExprGlobal::setDbgPrinterForMyself(const QvUString& fileName) {
    if (m_dbgPrinter) return;
    m_dbgPrinter = std::make_shared<XDbgPrinter>(0);
    m_dbgPrinter->openDbgFile(fileName);
}

void QvCmnExprGlobal::changeHighPrecisionModeForMyself(int on) { storeHighPrecisionMode(on); }

void QvCmnExprGlobal::setIsHighPrecisionModeForMyself(int on) { storeHighPrecisionMode(on); }

int QvCmnExprGlobal::getIsHighPrecisionModeForMyself() const { return m_highPrecisionMode != -1 ? 1 : 0; }

void QvCmnExprGlobal::deleteMe() { m_dbgPrinter.reset(); }

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
