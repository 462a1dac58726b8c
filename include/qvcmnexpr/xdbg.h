// Debug output of the library: the printer that receives diagnostic lines and
// the conversion of UTF-16 text to printable multibyte text.
#pragma once

#include <cstddef>
#include <cstdio>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvi18n.h"
#include "qvutils.h"

// Writes diagnostic lines to its stream, or to the standard error stream when
// it has none. A printer "used by the application" belongs to the embedding
// application's logging and cannot be redirected to a file.
class QVCMNEXPR_API XDbgPrinter : public QvLoggerBase {
public:
    explicit XDbgPrinter(int usedByApplication);
    XDbgPrinter(const XDbgPrinter& other);
    XDbgPrinter& operator=(const XDbgPrinter& other);
    ~XDbgPrinter() override;

    // Writes `text` and a newline, then flushes.
    void log(const char* text) override;
    // UTF-16 lines are not supported: both raise an assertion (unit "xdbg").
    void log(const unsigned short* text) override;
    void log(QvUString text) override;

    // -1 for a printer used by the application; otherwise 0 and the printer
    // keeps writing to the standard error stream.
    int openDbgFile(const QvUString& fileName);
    void flush();
    // The stream written to (the standard error stream when none is set).
    std::FILE* getFile() const;
    int getDbgLevel() const { return m_dbgLevel; }
    void setDbgLevel(int level) { m_dbgLevel = level; }
    int isUsedByApplication() const { return m_usedByApplication; }

private:
    int m_dbgLevel = 1;
    std::FILE* m_file = nullptr;  // not owned; null means stderr
    int m_usedByApplication;
};

class QVCMNEXPR_API XDbg {
public:
    // Longest multibyte text that stc_uchars2chars returns, in bytes.
    static constexpr size_t kMaxDbgTextBytes = 4095;

    // Converts `text` to the multibyte encoding in the calling thread's debug
    // buffer (at most 4095 bytes, never splitting a character). The result is
    // overwritten by the next call on the same thread.
    static char* stc_uchars2chars(const unsigned short* text);
    // The calling thread's buffer number `index`, at least `size` bytes long;
    // it keeps its content until it is asked for again with a larger size.
    static char* stc_getTsBuf(int index, size_t size);
};

// Same as XDbg::stc_uchars2chars, short to type in a debugger.
QVCMNEXPR_API char* dbg_uchars2chars(const unsigned short* text);
