// printf-style formatting into a QvUString from an 8-bit or a UTF-16 format.
//
// The format is walked here; each numeric conversion is handed to the C
// library one at a time through a small 8-bit format of its own, so that the
// C library never sees the string conversions (which here take UTF-16
// arguments) and no output ever goes through a fixed-size buffer. Floating
// point is formatted in the "C" locale: message lines and debug output must
// not change their decimal point with the process locale.
#include <locale.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

#include "qvi18n.h"

namespace {

enum class LengthMod { None, hh, h, l, ll, z, j, t, L };

struct LengthModSpelling {
    const char* text;
    LengthMod mod;
};

// Longest spellings first so that "hh" wins over "h".
constexpr LengthModSpelling kLengthMods[] = {
    {"hh", LengthMod::hh}, {"ll", LengthMod::ll}, {"h", LengthMod::h}, {"l", LengthMod::l},
    {"z", LengthMod::z},   {"j", LengthMod::j},   {"t", LengthMod::t}, {"L", LengthMod::L},
};

// One parsed conversion: "%" flags width .precision length conversion.
struct Conversion {
    std::string flags;
    int width = -1;       // -1: none
    int precision = -1;   // -1: none
    LengthMod length = LengthMod::None;
    std::string lengthText;
    char conversion = 0;
    bool leftAlign() const { return flags.find('-') != std::string::npos; }
};

// A cursor over the format text, whatever its unit type.
template <typename Unit>
struct FormatCursor {
    const Unit* p;
    unsigned cur() const { return static_cast<unsigned>(static_cast<std::make_unsigned_t<Unit>>(*p)); }
    bool at(char c) const { return cur() == static_cast<unsigned char>(c); }
    bool isDigit() const { return cur() >= '0' && cur() <= '9'; }
};

class Formatter {
public:
    explicit Formatter(va_list* args) : m_args(args) {}

    template <typename Unit>
    void run(const Unit* format);

    QvUString& out() { return m_out; }

private:
    template <typename Unit>
    bool parseConversion(FormatCursor<Unit>& c, Conversion& conv);
    template <typename Unit>
    int parseNumber(FormatCursor<Unit>& c);
    template <typename Unit>
    void parseLength(FormatCursor<Unit>& c, Conversion& conv);

    void convert(const Conversion& conv);
    void formatString(const Conversion& conv);
    void formatChar(const Conversion& conv);
    void formatSigned(const Conversion& conv);
    void formatUnsigned(const Conversion& conv);
    void formatFloat(const Conversion& conv);
    void formatPointer(const Conversion& conv);
    template <typename T>
    void formatC(const Conversion& conv, T value);
    void pad(size_t contentLength, const Conversion& conv, bool before);

    va_list* m_args;
    QvUString m_out;
};

template <typename Unit>
int Formatter::parseNumber(FormatCursor<Unit>& c) {
    long long value = 0;
    while (c.isDigit()) {
        if (value < INT_MAX) value = value * 10 + (c.cur() - '0');
        ++c.p;
    }
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

template <typename Unit>
void Formatter::parseLength(FormatCursor<Unit>& c, Conversion& conv) {
    for (const LengthModSpelling& m : kLengthMods) {
        size_t n = std::strlen(m.text);
        size_t i = 0;
        while (i < n && c.p[i] != 0 && static_cast<unsigned>(c.p[i]) == static_cast<unsigned char>(m.text[i])) ++i;
        if (i == n) {
            conv.length = m.mod;
            conv.lengthText = m.text;
            c.p += n;
            return;
        }
    }
}

// Reads a conversion after its "%"; false when the text is no conversion we
// know, in which case the caller copies it literally. A `*` width or
// precision consumes an int argument as printf does.
template <typename Unit>
bool Formatter::parseConversion(FormatCursor<Unit>& c, Conversion& conv) {
    while (c.at('-') || c.at('+') || c.at(' ') || c.at('#') || c.at('0')) {
        conv.flags += static_cast<char>(c.cur());
        ++c.p;
    }
    if (c.at('*')) {
        int w = va_arg(*m_args, int);
        if (w < 0) {
            conv.flags += '-';
            w = w == INT_MIN ? INT_MAX : -w;
        }
        conv.width = w;
        ++c.p;
    } else if (c.isDigit()) {
        conv.width = parseNumber(c);
    }
    if (c.at('.')) {
        ++c.p;
        if (c.at('*')) {
            int prec = va_arg(*m_args, int);
            conv.precision = prec < 0 ? -1 : prec;
            ++c.p;
        } else {
            conv.precision = parseNumber(c);
        }
    }
    parseLength(c, conv);
    if (c.cur() == 0 || c.cur() > 0x7F) return false;
    conv.conversion = static_cast<char>(c.cur());
    // %n is deliberately absent: nothing here writes through an argument.
    return std::strchr("diuxXocsSeEfFgGaAp%", conv.conversion) != nullptr;
}

template <typename Unit>
void Formatter::run(const Unit* format) {
    FormatCursor<Unit> c{format};
    while (c.cur() != 0) {
        if (!c.at('%')) {
            m_out.append(static_cast<unsigned short>(c.cur()));
            ++c.p;
            continue;
        }
        const Unit* start = c.p;
        ++c.p;
        Conversion conv;
        if (!parseConversion(c, conv)) {
            // Unknown: copy from the "%" through the offending unit.
            const Unit* stop = c.cur() == 0 ? c.p : c.p + 1;
            for (const Unit* q = start; q < stop; ++q) {
                m_out.append(static_cast<unsigned short>(static_cast<std::make_unsigned_t<Unit>>(*q)));
            }
            c.p = stop;
            continue;
        }
        ++c.p;
        convert(conv);
    }
}

void Formatter::convert(const Conversion& conv) {
    switch (conv.conversion) {
        case '%': m_out.append(static_cast<unsigned short>('%')); return;
        case 's':
        case 'S': formatString(conv); return;
        case 'c': formatChar(conv); return;
        case 'd':
        case 'i': formatSigned(conv); return;
        case 'u':
        case 'x':
        case 'X':
        case 'o': formatUnsigned(conv); return;
        case 'p': formatPointer(conv); return;
        default: formatFloat(conv); return;
    }
}

void Formatter::pad(size_t contentLength, const Conversion& conv, bool before) {
    if (conv.width < 0 || contentLength >= static_cast<size_t>(conv.width)) return;
    if (conv.leftAlign() == before) return;
    m_out.replace(m_out.length(), 0, static_cast<unsigned short>(' '), static_cast<size_t>(conv.width) - contentLength);
}

// %s and %S take UTF-16, %hs 8-bit text (each byte one unit). The precision
// bounds how far the argument is read, so it need not be terminated.
void Formatter::formatString(const Conversion& conv) {
    static const char kNull[] = "(null)";
    size_t limit = conv.precision < 0 ? static_cast<size_t>(-1) : static_cast<size_t>(conv.precision);
    if (conv.length == LengthMod::h || conv.length == LengthMod::hh) {
        const char* s = va_arg(*m_args, const char*);
        if (s == nullptr) s = kNull;
        size_t n = 0;
        while (n < limit && s[n] != 0) ++n;
        pad(n, conv, true);
        m_out.appendASCII(s, n);
        pad(n, conv, false);
        return;
    }
    const unsigned short* s = va_arg(*m_args, const unsigned short*);
    if (s == nullptr) {
        size_t n = std::min(limit, sizeof kNull - 1);
        pad(n, conv, true);
        m_out.appendASCII(kNull, n);
        pad(n, conv, false);
        return;
    }
    size_t n = 0;
    while (n < limit && s[n] != 0) ++n;
    pad(n, conv, true);
    m_out.append(s, n);
    pad(n, conv, false);
}

// The argument is one UTF-16 unit (8-bit characters are a subset).
void Formatter::formatChar(const Conversion& conv) {
    unsigned short unit = static_cast<unsigned short>(va_arg(*m_args, int));
    pad(1, conv, true);
    m_out.append(unit);
    pad(1, conv, false);
}

void Formatter::formatSigned(const Conversion& conv) {
    switch (conv.length) {
        case LengthMod::l: formatC(conv, va_arg(*m_args, long)); return;
        case LengthMod::ll:
        case LengthMod::L: formatC(conv, va_arg(*m_args, long long)); return;
        case LengthMod::z: formatC(conv, va_arg(*m_args, std::make_signed_t<size_t>)); return;
        case LengthMod::j: formatC(conv, va_arg(*m_args, intmax_t)); return;
        case LengthMod::t: formatC(conv, va_arg(*m_args, ptrdiff_t)); return;
        default: formatC(conv, va_arg(*m_args, int)); return;  // hh and h arrive promoted
    }
}

void Formatter::formatUnsigned(const Conversion& conv) {
    switch (conv.length) {
        case LengthMod::l: formatC(conv, va_arg(*m_args, unsigned long)); return;
        case LengthMod::ll:
        case LengthMod::L: formatC(conv, va_arg(*m_args, unsigned long long)); return;
        case LengthMod::z: formatC(conv, va_arg(*m_args, size_t)); return;
        case LengthMod::j: formatC(conv, va_arg(*m_args, uintmax_t)); return;
        case LengthMod::t: formatC(conv, va_arg(*m_args, std::make_unsigned_t<ptrdiff_t>)); return;
        default: formatC(conv, va_arg(*m_args, unsigned int)); return;
    }
}

void Formatter::formatFloat(const Conversion& conv) {
    if (conv.length == LengthMod::L) {
        formatC(conv, va_arg(*m_args, long double));
    } else {
        formatC(conv, va_arg(*m_args, double));
    }
}

void Formatter::formatPointer(const Conversion& conv) { formatC(conv, va_arg(*m_args, void*)); }

// The C library formats in the thread's locale; switch this thread to "C"
// for the duration of one conversion. The "C" locale object is made once and
// kept for the life of the process.
class ScopedCLocale {
public:
    ScopedCLocale() {
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
        if (cLocale != nullptr) m_previous = uselocale(cLocale);
    }
    ~ScopedCLocale() {
        if (m_previous != nullptr) uselocale(m_previous);
    }
    ScopedCLocale(const ScopedCLocale&) = delete;
    ScopedCLocale& operator=(const ScopedCLocale&) = delete;

private:
    locale_t m_previous = nullptr;
};

template <typename T>
void Formatter::formatC(const Conversion& conv, T value) {
    std::string sub = "%" + conv.flags;
    if (conv.width >= 0) sub += std::to_string(conv.width);
    if (conv.precision >= 0) sub += "." + std::to_string(conv.precision);
    // Only the modifiers that match the argument actually fetched are kept
    // (an integer %Ld was read as long long, a double ignores l).
    if constexpr (std::is_floating_point_v<T>) {
        if (conv.length == LengthMod::L) sub += 'L';
    } else if constexpr (std::is_same_v<T, long long> || std::is_same_v<T, unsigned long long>) {
        sub += "ll";
    } else if constexpr (!std::is_pointer_v<T>) {
        sub += conv.lengthText;
    }
    sub += conv.conversion;
    std::string text;
    {
        ScopedCLocale cLocale;
        int n = std::snprintf(nullptr, 0, sub.c_str(), value);
        if (n <= 0) return;
        text.resize(static_cast<size_t>(n) + 1);
        std::snprintf(text.data(), text.size(), sub.c_str(), value);
        text.resize(static_cast<size_t>(n));
    }
    m_out.appendASCII(text.data(), text.size());
}

int finish(QvUString& target, Formatter& f) {
    target = std::move(f.out());
    size_t length = target.length();
    return length > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

}  // namespace

// The result is built aside and moved in at the end, so an argument may point
// into this string's own buffer.
int QvUString::vsprint(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    Formatter f(&copy);
    if (format != nullptr) f.run(format);
    va_end(copy);
    return finish(*this, f);
}

int QvUString::vsprint(const unsigned short* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    Formatter f(&copy);
    if (format != nullptr) f.run(format);
    va_end(copy);
    return finish(*this, f);
}

int QvUString::sprint(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = vsprint(format, args);
    va_end(args);
    return n;
}

int QvUString::sprint(const unsigned short* format, ...) {
    va_list args;
    va_start(args, format);
    int n = vsprint(format, args);
    va_end(args);
    return n;
}
