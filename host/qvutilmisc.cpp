// Process-wide settings of the utilities library (server character mode, 8.x
// string-to-number conversion) and its number helpers.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "qvutils.h"

namespace qvhost_detail {
std::atomic<int> gServerModeASCII{0};
}  // namespace qvhost_detail

namespace {

// Written at start-up by the embedding application, read by parsing threads;
// atomics keep a late change well-defined.
std::atomic<int> gConvertStrToNum8x{0};

constexpr double kTwoTo63 = 9223372036854775808.0;

// Leaves the digits of `text` (plain notation) without trailing zeros after
// the decimal point, and without the point when nothing follows it.
void trimFraction(char* text) {
    char* point = std::strchr(text, '.');
    if (point == nullptr) return;
    char* end = text + std::strlen(text);
    while (end > point + 1 && end[-1] == '0') --end;
    if (end == point + 1) end = point;
    *end = '\0';
}

}  // namespace

int qvSetServerModeASCII(int ascii) { return qvhost_detail::gServerModeASCII.exchange(ascii != 0 ? 1 : 0); }

int QvUtilGlobal::get8xConvertStrToNum() { return gConvertStrToNum8x.load(std::memory_order_relaxed); }

int QvUtilGlobal::set8xConvertStrToNum(int on) { return gConvertStrToNum8x.exchange(on != 0 ? 1 : 0); }

int dblToBigInt(double value, long long& result, int flag) {
    if (std::isnan(value)) return 0;
    const double whole = flag == 0 ? std::round(value) : std::trunc(value);
    // -2^63 is exact in a double; 2^63 is the first value out of range.
    if (whole < -kTwoTo63 || whole >= kTwoTo63) return 0;
    result = static_cast<long long>(whole);
    return 1;
}

int qvFtoaReformat(char* buffer, double value, double magnitude) {
    if (buffer == nullptr || !(magnitude >= 1e-15 && magnitude < 1e-4)) return -1;
    // The decimal exponent as printf sees it after rounding to 15 digits, so
    // that 9.99999999999999999e-5 counts as 1e-4.
    char scientific[32];
    std::snprintf(scientific, sizeof scientific, "%.14e", value);
    const char* exponentText = std::strchr(scientific, 'e');
    const int exponent = exponentText != nullptr ? std::atoi(exponentText + 1) : 0;
    const int decimals = exponent < 0 ? 14 - exponent : 14;
    char plain[48];
    std::snprintf(plain, sizeof plain, "%.*f", decimals, value);
    trimFraction(plain);
    std::strcpy(buffer, plain);
    return static_cast<int>(std::strlen(buffer));
}

int qvFtoaReformat(unsigned short* buffer, double value, double magnitude) {
    char text[48];
    const int length = buffer != nullptr ? qvFtoaReformat(text, value, magnitude) : -1;
    for (int i = 0; i <= length; ++i) buffer[i] = static_cast<unsigned char>(text[i]);
    return length;
}

void QvSleep(int count, int milliseconds) {
    if (count <= 0 || milliseconds <= 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long long>(count) * milliseconds));
}
