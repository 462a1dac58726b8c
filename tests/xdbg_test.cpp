// Debug printer output and the per-thread debug text conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xdbg.h"
#include "xtestsupport.h"

namespace {

// Lines go to stderr as they are: no format characters are interpreted and
// null is an empty line.
TEST(XDbgPrinterTest, LogWritesLinesToStderr) {
    XDbgPrinter printer(0);
    testing::internal::CaptureStderr();
    printer.log("100%s %d");
    printer.log(static_cast<const char*>(nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "100%s %d\n\n");
}

// The UTF-16 overloads are invariants; a printer of the application refuses
// a file of its own, and none writes anywhere but stderr.
TEST(XDbgPrinterTest, InvariantsAndFiles) {
    XDbgPrinter own(0), app(1);
    const unsigned short text[] = {'a', 0};
    xtestsupport::expectInvariant("xdbg", [&] { own.log(text); });
    EXPECT_THROW(own.log(qvU("a")), QvAssertFailure);
    EXPECT_EQ(app.openDbgFile(qvU("/tmp/x.log")), -1);
    EXPECT_EQ(own.openDbgFile(qvU("/tmp/x.log")), 0);
    EXPECT_TRUE(own.getFile() == stderr && app.getFile() == stderr);
}

// ---- stc_uchars2chars ----

std::u16string u16(const std::string& utf8) {
    QvUString s = qvU(utf8);
    return std::u16string(reinterpret_cast<const char16_t*>(s.getBuffer()), s.length());
}

const unsigned short* units(const std::u16string& s) { return reinterpret_cast<const unsigned short*>(s.c_str()); }

TEST(XDbgTest, ConvertsToUtf8) {
    std::u16string text = u16("abc \xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E");  // é € and a surrogate pair
    EXPECT_STREQ(XDbg::stc_uchars2chars(units(text)), "abc \xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E");
    EXPECT_STREQ(dbg_uchars2chars(units(text)), "abc \xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E");
    EXPECT_STREQ(XDbg::stc_uchars2chars(nullptr), "");
    EXPECT_STREQ(XDbg::stc_uchars2chars(units(u"")), "");
}

// Output stops at 4095 bytes, on a character boundary: a character that
// would end past it is left out whole.
TEST(XDbgTest, StopsAt4095BytesOnACharacterBoundary) {
    // ASCII units, a UTF-8 tail after them, and the bytes that come out.
    const struct { size_t asciiPrefix; const char* tail; size_t expectedBytes; } cases[] = {
                 {4094, "", 4094},
                 {4095, "", 4095},
                 {4096, "", 4095},
                 {4094, "\xC3\xA9", 4094},
                 {4093, "\xC3\xA9", 4095},
                 {4093, "\xE2\x82\xAC", 4093},
                 {4092, "\xE2\x82\xAC", 4095}, {4092, "\xF0\x9D\x84\x9E", 4092}, {4091, "\xF0\x9D\x84\x9E", 4095}};
    for (const auto& c : cases) {
        const std::string in = std::string(c.asciiPrefix, 'a') + c.tail;
        EXPECT_EQ(std::string(XDbg::stc_uchars2chars(units(u16(in)))), in.substr(0, c.expectedBytes)) << c.asciiPrefix;
    }
}

TEST(XDbgTest, BufferIsReusedPerThread) {
    char* first = XDbg::stc_uchars2chars(units(u"first"));
    EXPECT_EQ(XDbg::stc_uchars2chars(units(u"second")), first);
    EXPECT_STREQ(first, "second");
    char* other = nullptr;
    std::string otherText;
    std::thread([&] { otherText = other = XDbg::stc_uchars2chars(units(u"first")); }).join();
    EXPECT_NE(other, first);
    EXPECT_EQ(otherText, "first");
    EXPECT_STREQ(first, "second");  // the other thread did not touch ours
}

TEST(XDbgTest, ThreadBuffersGrowAndAreSeparateByIndex) {
    std::memset(XDbg::stc_getTsBuf(3, 16), 'x', 16);
    XDbg::stc_getTsBuf(3, 100000)[99999] = 'y';  // ASan checks the size
    EXPECT_NE(XDbg::stc_getTsBuf(4, 16), XDbg::stc_getTsBuf(3, 16));
    EXPECT_THROW(XDbg::stc_getTsBuf(-1, 16), QvAssertFailure);
}

}  // namespace
