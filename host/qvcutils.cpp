// Thread-specific storage. Each thread keeps its slot values in a small list
// of its own (thread_local, no lock); a thread_local guard object, armed when
// the thread first stores a value, runs the registered slots' cleanups when
// the thread exits. The registry of live slots is shared and locked; it is
// never destroyed, so threads that end during process exit still find it.
#include <atomic>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "qvcutils.h"

namespace {

constexpr int kCleanupRounds = 4;

std::atomic<unsigned long long> gNextSerial{1};

struct SlotRegistry {
    // Recursive: a cleanup may register or unregister slots itself.
    std::recursive_mutex mutex;
    std::unordered_map<const QVTssImplBase*, unsigned long long> live;  // slot -> serial
};

SlotRegistry& registry() {
    static SlotRegistry* instance = new SlotRegistry();
    return *instance;
}

struct SlotValue {
    QVTssImplBase* slot;
    unsigned long long serial;
    void* value;
};

struct ThreadValues {
    std::vector<SlotValue> values;
};

void cleanupThread(bool final);

struct ThreadExitGuard {
    bool armed = false;
    ~ThreadExitGuard() {
        if (armed) cleanupThread(true);
    }
};

thread_local ThreadValues* t_values = nullptr;
thread_local bool t_storageGone = false;
thread_local ThreadExitGuard t_exitGuard;

ThreadValues* valuesForWrite() {
    if (t_storageGone) return nullptr;
    t_exitGuard.armed = true;  // first use constructs the guard and its exit hook
    if (t_values == nullptr) t_values = new ThreadValues();
    return t_values;
}

SlotValue* findValue(const QVTssImplBase* slot) {
    if (t_values == nullptr) return nullptr;
    for (SlotValue& entry : t_values->values) {
        if (entry.slot == slot && entry.serial == slot->getSerial()) return &entry;
    }
    return nullptr;
}

void cleanupOne(const SlotValue& entry) {
    SlotRegistry& reg = registry();
    std::lock_guard<std::recursive_mutex> lock(reg.mutex);
    auto it = reg.live.find(entry.slot);
    if (it != reg.live.end() && it->second == entry.serial) entry.slot->cleanup(entry.value);
}

// Cleans the calling thread's values; a cleanup that stores new values gets
// them cleaned in the next round. `final` (thread exit) also releases the
// thread's list and refuses later values.
void cleanupThread(bool final) {
    for (int round = 0; round < kCleanupRounds && t_values != nullptr && !t_values->values.empty(); ++round) {
        std::vector<SlotValue> pending;
        pending.swap(t_values->values);
        for (const SlotValue& entry : pending) cleanupOne(entry);
    }
    if (final) {
        t_storageGone = true;
        delete t_values;
        t_values = nullptr;
    }
}

}  // namespace

QVTssImplBase::QVTssImplBase() : m_serial(gNextSerial.fetch_add(1)) {}

QVTssImplBase::~QVTssImplBase() {
    QVTSS_Manager::getTSSManager()->unregisterTss(this);
    set(nullptr);
}

void* QVTssImplBase::get() const {
    const SlotValue* entry = findValue(this);
    return entry != nullptr ? entry->value : nullptr;
}

void QVTssImplBase::set(void* value) {
    if (SlotValue* entry = findValue(this)) {
        if (value != nullptr) {
            entry->value = value;
        } else {
            t_values->values.erase(t_values->values.begin() + (entry - t_values->values.data()));
        }
        return;
    }
    if (value == nullptr) return;
    if (ThreadValues* values = valuesForWrite()) values->values.push_back({this, m_serial, value});
}

QVTSS_Manager* QVTSS_Manager::getTSSManager() {
    static QVTSS_Manager* instance = new QVTSS_Manager();
    return instance;
}

int QVTSS_Manager::registerTss(QVTssImplBase* slot) {
    if (slot == nullptr) return -1;
    SlotRegistry& reg = registry();
    std::lock_guard<std::recursive_mutex> lock(reg.mutex);
    reg.live[slot] = slot->getSerial();
    return 0;
}

int QVTSS_Manager::unregisterTss(QVTssImplBase* slot) {
    SlotRegistry& reg = registry();
    std::lock_guard<std::recursive_mutex> lock(reg.mutex);
    auto it = reg.live.find(slot);
    if (it == reg.live.end() || slot == nullptr || it->second != slot->getSerial()) return -1;
    reg.live.erase(it);
    return 0;
}

int QVTSS_Manager::isRegistered(const QVTssImplBase* slot) const {
    if (slot == nullptr) return 0;
    SlotRegistry& reg = registry();
    std::lock_guard<std::recursive_mutex> lock(reg.mutex);
    auto it = reg.live.find(slot);
    return it != reg.live.end() && it->second == slot->getSerial() ? 1 : 0;
}

void QVTSS_Manager::cleanupCurrentThread() { cleanupThread(false); }
