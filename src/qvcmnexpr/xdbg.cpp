// Debug printer and debug text conversion (see xdbg.h).
//
// Conversion results live in a per-thread buffer so that a caller can pass
// them straight to printf without freeing anything, from any thread.
#include "qvcmnexpr/xdbg.h"

#include <memory>
#include <vector>

#include "globaltss.h"
#include "qvcmnasrt.h"

// ---- XDbgPrinter ----

XDbgPrinter::XDbgPrinter(int usedByApplication) : m_usedByApplication(usedByApplication) {}

XDbgPrinter::XDbgPrinter(const XDbgPrinter& other) = default;

XDbgPrinter& XDbgPrinter::operator=(const XDbgPrinter& other) = default;

XDbgPrinter::~XDbgPrinter() = default;

void XDbgPrinter::log(const char* text) {
    std::FILE* out = getFile();
    std::fprintf(out, "%s\n", text ? text : "");
    std::fflush(out);
}

void XDbgPrinter::log(const unsigned short*) { QvAssertHandler("xdbg", __LINE__); }

void XDbgPrinter::log(QvUString) { QvAssertHandler("xdbg", __LINE__); }

// The file name is deliberately ignored: debug text always goes to stderr,
// where the platform's process log collects it.
int XDbgPrinter::openDbgFile(const QvUString&) { return m_usedByApplication ? -1 : 0; }

void XDbgPrinter::flush() {
    if (m_file) std::fflush(m_file);
}

std::FILE* XDbgPrinter::getFile() const { return m_file ? m_file : stderr; }

// ---- XDbg ----

namespace {

// The calling thread's debug buffers, by index.
struct XDbgTsd {
    std::vector<std::vector<char>> buffers;
};

GlobalTss<XDbgTsd>& dbgSlot() {
    static GlobalTss<XDbgTsd> slot;
    return slot;
}

[[maybe_unused]] const bool s_builtAtLoad = (dbgSlot(), true);

XDbgTsd& threadDbgData() {
    XDbgTsd* tsd = dbgSlot().get();
    if (!tsd) {
        dbgSlot().replace(std::make_unique<XDbgTsd>());
        tsd = dbgSlot().get();
    }
    return *tsd;
}

}  // namespace

char* XDbg::stc_getTsBuf(int index, size_t size) {
    QV_ASSERT(index >= 0, "xdbg");
    std::vector<std::vector<char>>& buffers = threadDbgData().buffers;
    if (buffers.size() <= static_cast<size_t>(index)) buffers.resize(static_cast<size_t>(index) + 1);
    std::vector<char>& buf = buffers[static_cast<size_t>(index)];
    if (buf.size() < size) buf.resize(size);
    return buf.data();
}

char* XDbg::stc_uchars2chars(const unsigned short* text) {
    char* buf = stc_getTsBuf(0, kMaxDbgTextBytes + 1);
    if (!text) {
        buf[0] = '\0';
        return buf;
    }
    const size_t written = qvU2MFixedWidth(buf, text, kMaxDbgTextBytes);
    buf[written < kMaxDbgTextBytes ? written : kMaxDbgTextBytes] = '\0';
    return buf;
}

char* dbg_uchars2chars(const unsigned short* text) { return XDbg::stc_uchars2chars(text); }
