// QvDate: the host's date-time value and its compiled date formats.
//
// One table of format elements drives everything: compiling a format looks
// element names up in it, reading and writing dispatch through its rows, and
// AddToPart takes its part names from the same rows, so a name can never be
// valid in one place and unknown in another. Dates are held as calendar
// fields; arithmetic goes through the Julian day number, which turns "add n
// days" into integer addition. 8-bit text is widened byte by byte to UTF-16
// on the way in and narrowed on the way out, so there is only one reader and
// one writer. The format language itself is described in qvutils.h.
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "qvcmnasrt.h"
#include "qvutils.h"

namespace qvdate_detail {

// One step of a compiled format: an element (index into the element table)
// or a run of literal text in Format::literals.
struct Item {
    static constexpr int kLiteral = -1;
    int element;
    size_t litBegin;
    size_t litLength;
};

struct Format {
    std::vector<Item> items;
    std::u16string literals;
};

}  // namespace qvdate_detail

// Both text forms compile to the same widened representation; the two
// types only keep 8-bit and UTF-16 callers from mixing formats and texts.
template <class T>
class QvDateCompiledFormat {
public:
    qvdate_detail::Format format;
};

namespace {

using qvdate_detail::Format;
using qvdate_detail::Item;

constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;
constexpr long long kNanosPerSecond = 1'000'000'000;
constexpr long long kNanosPerDay = 86'400 * kNanosPerSecond;
constexpr char16_t kDefaultFormat[] = u"MM/DD/YYYY HH24:MI:SS.NS";

// ---- calendar ----

constexpr bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12) return 0;
    return m == 2 && leapYear(y) ? 29 : kDays[m - 1];
}

int daysInYear(int y) { return leapYear(y) ? 366 : 365; }

// Julian day number of a Gregorian date (days counted in 400-year eras
// starting in March, so the leap day falls at the end of the counting year).
constexpr long long julianDay(int y, int m, int d) {
    const long long yy = y - (m <= 2 ? 1 : 0);
    const long long era = yy / 400;
    const long long yoe = yy - era * 400;
    const long long doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe + 1721120;
}

struct Civil {
    int year;
    int month;
    int day;
};

// Inverse of julianDay for day numbers from 01/01/0001 on.
Civil civilFromJulian(long long jdn) {
    const long long z = jdn - 1721120;
    const long long era = z / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    return {year, month, day};
}

constexpr long long kMinJulian = julianDay(kMinYear, 1, 1);
constexpr long long kMaxJulian = julianDay(kMaxYear, 12, 31);

int dayOfYear(int y, int m, int d) {
    static constexpr std::array<int, 12> kBefore = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    return kBefore[m - 1] + d + (m > 2 && leapYear(y) ? 1 : 0);
}

int dayOfWeek(long long jdn) { return static_cast<int>((jdn + 1) % 7) + 1; }  // 1 = Sunday

constexpr std::array<std::string_view, 12> kMonthNames = {
    "JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
    "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
constexpr std::array<std::string_view, 7> kDayNames = {"SUNDAY",   "MONDAY", "TUESDAY", "WEDNESDAY",
                                                       "THURSDAY", "FRIDAY", "SATURDAY"};
constexpr size_t kAbbrevLength = 3;

// ---- text helpers ----

char16_t upperAscii(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

// Whether `text` starts with the upper-case ASCII `word`, ignoring case.
bool startsWithCi(std::u16string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (upperAscii(text[i]) != static_cast<char16_t>(word[i])) return false;
    }
    return true;
}

template <class T>
std::u16string widen(const T* text) {
    std::u16string out;
    for (; *text; ++text) out.push_back(static_cast<char16_t>(static_cast<std::make_unsigned_t<T>>(*text)));
    return out;
}

void appendAscii(std::u16string& out, std::string_view text) { out.append(text.begin(), text.end()); }

// Appends `value` (>= 0) in decimal, zero-padded to `width` digits.
void appendNumber(std::u16string& out, long long value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
    appendAscii(out, digits);
}

// Copies the written text into a caller's buffer; units of 8-bit text are
// widened bytes and generated ASCII, so narrowing loses nothing.
template <class T>
int copyOut(const std::u16string& text, T* buffer, size_t size) {
    QV_ASSERT(buffer != nullptr || size == 0, "qvdate");
    if (text.size() >= size) {
        if (size > 0) buffer[0] = 0;
        return -1;
    }
    std::transform(text.begin(), text.end(), buffer, [](char16_t c) { return static_cast<T>(c); });
    buffer[text.size()] = 0;
    return static_cast<int>(text.size());
}

// ---- reading ----

// What the elements of a format read from a text, before it is checked that
// they describe one existing date.
struct Parsed {
    std::optional<int> year, month, day, dayOfYear, dayOfWeek;
    std::optional<long long> julian;
    std::optional<int> hour12, hour24, minute, second, secondOfDay, nanosecond;
    std::optional<bool> pm;
};

// A field may be given by several elements; they must agree.
template <class V>
bool put(std::optional<V>& slot, V value) {
    if (slot && *slot != value) return false;
    slot = value;
    return true;
}

template <class V>
bool agrees(const std::optional<V>& slot, V value) {
    return !slot || *slot == value;
}

class Cursor {
public:
    explicit Cursor(std::u16string_view text) : m_rest(text) {}

    bool atEnd() const { return m_rest.empty(); }

    // 1 to maxDigits ASCII digits; `count` receives how many were read.
    std::optional<long long> readDigits(int maxDigits, int* count = nullptr) {
        long long value = 0;
        int n = 0;
        while (n < maxDigits && n < static_cast<int>(m_rest.size()) && m_rest[n] >= u'0' && m_rest[n] <= u'9') {
            value = value * 10 + (m_rest[n] - u'0');
            ++n;
        }
        if (n == 0) return std::nullopt;
        m_rest.remove_prefix(n);
        if (count) *count = n;
        return value;
    }

    bool readExact(std::u16string_view literal) {
        if (m_rest.substr(0, literal.size()) != literal) return false;
        m_rest.remove_prefix(literal.size());
        return true;
    }

    bool readWord(std::string_view upperWord) {
        if (!startsWithCi(m_rest, upperWord)) return false;
        m_rest.remove_prefix(upperWord.size());
        return true;
    }

    // Index (from 1) of the name, or of its first `letters` letters when
    // `letters` is non-zero, found at the cursor; the longest match wins.
    template <size_t N>
    std::optional<int> readName(const std::array<std::string_view, N>& names, size_t letters) {
        std::optional<int> best;
        size_t bestLength = 0;
        for (size_t i = 0; i < N; ++i) {
            const std::string_view word = letters ? names[i].substr(0, letters) : names[i];
            if (word.size() > bestLength && startsWithCi(m_rest, word)) {
                best = static_cast<int>(i) + 1;
                bestLength = word.size();
            }
        }
        if (best) m_rest.remove_prefix(bestLength);
        return best;
    }

private:
    std::u16string_view m_rest;
};

bool readRanged(Cursor& c, int width, int low, int high, std::optional<int>& slot) {
    const auto v = c.readDigits(width);
    return v && *v >= low && *v <= high && put(slot, static_cast<int>(*v));
}

// YYY, YY and Y: the missing leading digits come from the year 2000.
bool readYearTail(Cursor& c, int width, Parsed& p) {
    const auto v = c.readDigits(width);
    return v && put(p.year, 2000 + static_cast<int>(*v));
}

bool readRollingYear(Cursor& c, Parsed& p) {
    const auto v = c.readDigits(2);
    return v && put(p.year, static_cast<int>(*v < 50 ? 2000 + *v : 1900 + *v));
}

// The digits read are the leading digits of the fraction of a second.
bool readFraction(Cursor& c, int width, Parsed& p) {
    int count = 0;
    auto v = c.readDigits(width, &count);
    if (!v) return false;
    for (; count < 9; ++count) *v *= 10;
    return put(p.nanosecond, static_cast<int>(*v));
}

bool readMeridian(Cursor& c, Parsed& p, std::string_view am, std::string_view pm) {
    if (c.readWord(am)) return put(p.pm, false);
    return c.readWord(pm) && put(p.pm, true);
}

bool readJulian(Cursor& c, Parsed& p) {
    const auto v = c.readDigits(7);
    return v && put(p.julian, *v);
}

// ---- the element table ----

enum class Unit { None, Year, Month, Day, Hour, Minute, Second, Milli, Micro, Nano };

using ReadFn = bool (*)(Cursor&, Parsed&);
using WriteFn = void (*)(const QvDate&, std::u16string&);

struct Element {
    std::string_view name;  // upper case
    Unit unit;              // what AddToPart adds under this name; None: not a part name
    ReadFn read;
    WriteFn write;
};

int hour12Of(const QvDate& d) { return d.getHour() % 12 == 0 ? 12 : d.getHour() % 12; }

// clang-format off
constexpr Element kElements[] = {
    {"YYYY", Unit::Year,
     [](Cursor& c, Parsed& p) { return readRanged(c, 4, kMinYear, kMaxYear, p.year); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getYear(), 4); }},
    {"YYY", Unit::Year,
     [](Cursor& c, Parsed& p) { return readYearTail(c, 3, p); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getYear() % 1000, 3); }},
    {"YY", Unit::Year,
     [](Cursor& c, Parsed& p) { return readYearTail(c, 2, p); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getYear() % 100, 2); }},
    {"Y", Unit::Year,
     [](Cursor& c, Parsed& p) { return readYearTail(c, 1, p); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getYear() % 10, 1); }},
    {"RR", Unit::None,
     [](Cursor& c, Parsed& p) { return readRollingYear(c, p); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getYear() % 100, 2); }},
    {"MM", Unit::Month,
     [](Cursor& c, Parsed& p) { return readRanged(c, 2, 1, 12, p.month); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getMonth(), 2); }},
    {"MON", Unit::Month,
     [](Cursor& c, Parsed& p) { auto m = c.readName(kMonthNames, kAbbrevLength); return m && put(p.month, *m); },
     [](const QvDate& d, std::u16string& o) { appendAscii(o, kMonthNames[d.getMonth() - 1].substr(0, kAbbrevLength)); }},
    {"MONTH", Unit::Month,
     [](Cursor& c, Parsed& p) { auto m = c.readName(kMonthNames, 0); return m && put(p.month, *m); },
     [](const QvDate& d, std::u16string& o) { appendAscii(o, kMonthNames[d.getMonth() - 1]); }},
    {"DD", Unit::Day,
     [](Cursor& c, Parsed& p) { return readRanged(c, 2, 1, 31, p.day); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getDay(), 2); }},
    {"DDD", Unit::Day,
     [](Cursor& c, Parsed& p) { return readRanged(c, 3, 1, 366, p.dayOfYear); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getDayOfYear(), 3); }},
    {"D", Unit::Day,
     [](Cursor& c, Parsed& p) { return readRanged(c, 1, 1, 7, p.dayOfWeek); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getDayOfWeek(), 1); }},
    {"DY", Unit::Day,
     [](Cursor& c, Parsed& p) { auto w = c.readName(kDayNames, kAbbrevLength); return w && put(p.dayOfWeek, *w); },
     [](const QvDate& d, std::u16string& o) { appendAscii(o, kDayNames[d.getDayOfWeek() - 1].substr(0, kAbbrevLength)); }},
    {"DAY", Unit::Day,
     [](Cursor& c, Parsed& p) { auto w = c.readName(kDayNames, 0); return w && put(p.dayOfWeek, *w); },
     [](const QvDate& d, std::u16string& o) { appendAscii(o, kDayNames[d.getDayOfWeek() - 1]); }},
    {"J", Unit::None,
     [](Cursor& c, Parsed& p) { return readJulian(c, p); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getJulianDay(), 1); }},
    {"HH", Unit::Hour,
     [](Cursor& c, Parsed& p) { return readRanged(c, 2, 1, 12, p.hour12); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, hour12Of(d), 2); }},
    {"HH12", Unit::Hour,
     [](Cursor& c, Parsed& p) { return readRanged(c, 2, 1, 12, p.hour12); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, hour12Of(d), 2); }},
    {"HH24", Unit::Hour,
     [](Cursor& c, Parsed& p) { return readRanged(c, 2, 0, 23, p.hour24); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getHour(), 2); }},
    {"MI", Unit::Minute,
     [](Cursor& c, Parsed& p) { return readRanged(c, 2, 0, 59, p.minute); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getMinute(), 2); }},
    {"SS", Unit::Second,
     [](Cursor& c, Parsed& p) { return readRanged(c, 2, 0, 59, p.second); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getSecond(), 2); }},
    {"SSSSS", Unit::None,
     [](Cursor& c, Parsed& p) { return readRanged(c, 5, 0, 86399, p.secondOfDay); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getHour() * 3600 + d.getMinute() * 60 + d.getSecond(), 5); }},
    {"MS", Unit::Milli,
     [](Cursor& c, Parsed& p) { return readFraction(c, 3, p); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getNanosecond() / 1'000'000, 3); }},
    {"US", Unit::Micro,
     [](Cursor& c, Parsed& p) { return readFraction(c, 6, p); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getNanosecond() / 1'000, 6); }},
    {"NS", Unit::Nano,
     [](Cursor& c, Parsed& p) { return readFraction(c, 9, p); },
     [](const QvDate& d, std::u16string& o) { appendNumber(o, d.getNanosecond(), 9); }},
    {"AM", Unit::None,
     [](Cursor& c, Parsed& p) { return readMeridian(c, p, "AM", "PM"); },
     [](const QvDate& d, std::u16string& o) { appendAscii(o, d.getHour() < 12 ? "AM" : "PM"); }},
    {"PM", Unit::None,
     [](Cursor& c, Parsed& p) { return readMeridian(c, p, "AM", "PM"); },
     [](const QvDate& d, std::u16string& o) { appendAscii(o, d.getHour() < 12 ? "AM" : "PM"); }},
    {"A.M.", Unit::None,
     [](Cursor& c, Parsed& p) { return readMeridian(c, p, "A.M.", "P.M."); },
     [](const QvDate& d, std::u16string& o) { appendAscii(o, d.getHour() < 12 ? "A.M." : "P.M."); }},
    {"P.M.", Unit::None,
     [](Cursor& c, Parsed& p) { return readMeridian(c, p, "A.M.", "P.M."); },
     [](const QvDate& d, std::u16string& o) { appendAscii(o, d.getHour() < 12 ? "A.M." : "P.M."); }},
};
// clang-format on

// Index of the longest element name at the start of `text`, any case.
std::optional<int> matchElement(std::u16string_view text) {
    std::optional<int> best;
    size_t bestLength = 0;
    for (size_t i = 0; i < std::size(kElements); ++i) {
        const std::string_view name = kElements[i].name;
        if (name.size() > bestLength && startsWithCi(text, name)) {
            best = static_cast<int>(i);
            bestLength = name.size();
        }
    }
    return best;
}

// ---- compiling ----

bool isSeparator(char16_t c) { return c != 0 && std::u16string_view(u"-/.;:, ").find(c) != std::u16string_view::npos; }

void addLiteral(Format& f, std::u16string_view text) {
    f.items.push_back({Item::kLiteral, f.literals.size(), text.size()});
    f.literals.append(text);
}

// Compiles `text` into `out`; false for unknown text, an unterminated quote
// or an empty format.
bool compile(std::u16string_view text, Format& out) {
    size_t pos = 0;
    while (pos < text.size()) {
        const char16_t c = text[pos];
        if (c == u'"') {
            const size_t close = text.find(u'"', pos + 1);
            if (close == std::u16string_view::npos) return false;
            addLiteral(out, text.substr(pos + 1, close - pos - 1));
            pos = close + 1;
        } else if (isSeparator(c)) {
            addLiteral(out, text.substr(pos, 1));
            ++pos;
        } else {
            const auto element = matchElement(text.substr(pos));
            if (!element) return false;
            out.items.push_back({*element, 0, 0});
            pos += kElements[*element].name.size();
        }
    }
    return !out.items.empty();
}

const Format& defaultFormat() {
    static const Format format = [] {
        Format f;
        const bool compiled = compile(kDefaultFormat, f);
        QV_ASSERT(compiled, "qvdate");
        return f;
    }();
    return format;
}

const Format& formatOrDefault(const Format* f) { return f ? *f : defaultFormat(); }

template <class T>
int compileInto(const T* text, QvDateCompiledFormat<T>** compiled) {
    QV_ASSERT(text != nullptr && compiled != nullptr, "qvdate");
    *compiled = nullptr;
    auto result = std::make_unique<QvDateCompiledFormat<T>>();
    if (!compile(widen(text), result->format)) return -1;
    *compiled = result.release();
    return 0;
}

// ---- resolving what was read into one date ----

// The date comes from the most specific source (J, then DDD, then MM/DD);
// everything else that was given must agree with it.
std::optional<Civil> resolveDate(const Parsed& p) {
    Civil c{};
    if (p.julian) {
        if (*p.julian < kMinJulian || *p.julian > kMaxJulian) return std::nullopt;
        c = civilFromJulian(*p.julian);
    } else if (p.dayOfYear) {
        c.year = p.year.value_or(kMinYear);
        if (*p.dayOfYear > daysInYear(c.year)) return std::nullopt;
        c.month = 1;
        while (*p.dayOfYear > dayOfYear(c.year, c.month, daysInMonth(c.year, c.month))) ++c.month;
        c.day = *p.dayOfYear - dayOfYear(c.year, c.month, 1) + 1;
    } else {
        c = {p.year.value_or(kMinYear), p.month.value_or(1), p.day.value_or(1)};
        if (c.day > daysInMonth(c.year, c.month)) return std::nullopt;
    }
    const long long jdn = julianDay(c.year, c.month, c.day);
    if (!agrees(p.year, c.year) || !agrees(p.month, c.month) || !agrees(p.day, c.day) ||
        !agrees(p.dayOfYear, dayOfYear(c.year, c.month, c.day)) || !agrees(p.dayOfWeek, dayOfWeek(jdn))) {
        return std::nullopt;
    }
    return c;
}

struct TimeOfDay {
    int hour;
    int minute;
    int second;
    int nanosecond;
};

std::optional<TimeOfDay> resolveTime(const Parsed& p) {
    if (p.hour12 && !p.pm) return std::nullopt;  // 12-hour clock without a meridian
    TimeOfDay t{};
    if (p.secondOfDay) {
        t = {*p.secondOfDay / 3600, *p.secondOfDay / 60 % 60, *p.secondOfDay % 60, 0};
    } else {
        const int hour = p.hour12 ? *p.hour12 % 12 + (*p.pm ? 12 : 0) : p.hour24.value_or(0);
        t = {hour, p.minute.value_or(0), p.second.value_or(0), 0};
    }
    t.nanosecond = p.nanosecond.value_or(0);
    const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    if (!agrees(p.hour24, t.hour) || !agrees(p.hour12, hour12) || !agrees(p.pm, t.hour >= 12) ||
        !agrees(p.minute, t.minute) || !agrees(p.second, t.second)) {
        return std::nullopt;
    }
    return t;
}

std::optional<QvDate> readDate(const Format& f, std::u16string_view text) {
    Cursor cursor(text);
    Parsed parsed;
    for (const Item& item : f.items) {
        const bool ok = item.element == Item::kLiteral
                            ? cursor.readExact(std::u16string_view(f.literals).substr(item.litBegin, item.litLength))
                            : kElements[item.element].read(cursor, parsed);
        if (!ok) return std::nullopt;
    }
    if (!cursor.atEnd()) return std::nullopt;
    const auto date = resolveDate(parsed);
    const auto time = resolveTime(parsed);
    if (!date || !time) return std::nullopt;
    QvDate result;
    const int rc = result.setDate(date->year, date->month, date->day) |
                   result.setTime(time->hour, time->minute, time->second, time->nanosecond);
    QV_ASSERT(rc == 0, "qvdate");
    return result;
}

std::u16string writeDate(const QvDate& d, const Format& f) {
    std::u16string out;
    for (const Item& item : f.items) {
        if (item.element == Item::kLiteral) {
            out.append(f.literals, item.litBegin, item.litLength);
        } else {
            kElements[item.element].write(d, out);
        }
    }
    return out;
}

// ---- arithmetic ----

constexpr int kFailUnknownPart = -1;
constexpr int kFailOutOfRange = -2;

std::optional<Unit> findPart(std::u16string_view name) {
    for (const Element& e : kElements) {
        if (e.unit != Unit::None && name.size() == e.name.size() && startsWithCi(name, e.name)) return e.unit;
    }
    return std::nullopt;
}

int addMonths(QvDate& d, long long months) {
    if (months > 12LL * kMaxYear || months < -12LL * kMaxYear) return kFailOutOfRange;
    const long long total = d.getYear() * 12LL + (d.getMonth() - 1) + months;
    const long long year = total / 12;
    if (total < 0 || year < kMinYear || year > kMaxYear) return kFailOutOfRange;
    const int y = static_cast<int>(year);
    const int m = static_cast<int>(total % 12) + 1;
    const int rc = d.setDate(y, m, std::min(d.getDay(), daysInMonth(y, m)));
    QV_ASSERT(rc == 0, "qvdate");
    return 0;
}

int addDays(QvDate& d, long long days) {
    const long long jdn = d.getJulianDay();
    if (days > kMaxJulian - jdn || days < kMinJulian - jdn) return kFailOutOfRange;
    const Civil c = civilFromJulian(jdn + days);
    const int rc = d.setDate(c.year, c.month, c.day);
    QV_ASSERT(rc == 0, "qvdate");
    return 0;
}

// Adds `amount` units of `nanosPerUnit` nanoseconds without overflowing: whole
// days are split off first, so the remainder stays below one day.
int addTime(QvDate& d, long long amount, long long nanosPerUnit) {
    const long long unitsPerDay = kNanosPerDay / nanosPerUnit;
    long long days = amount / unitsPerDay;
    long long nanos = (amount % unitsPerDay) * nanosPerUnit +
                      ((d.getHour() * 60LL + d.getMinute()) * 60 + d.getSecond()) * kNanosPerSecond +
                      d.getNanosecond();
    if (nanos < 0) {
        nanos += kNanosPerDay;
        --days;
    } else if (nanos >= kNanosPerDay) {
        nanos -= kNanosPerDay;
        ++days;
    }
    if (addDays(d, days) != 0) return kFailOutOfRange;
    const long long seconds = nanos / kNanosPerSecond;
    const int rc = d.setTime(static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                             static_cast<int>(seconds % 60), static_cast<int>(nanos % kNanosPerSecond));
    QV_ASSERT(rc == 0, "qvdate");
    return 0;
}

int addUnits(QvDate& d, Unit unit, long long amount) {
    constexpr long long kNanosPerMinute = 60 * kNanosPerSecond;
    switch (unit) {
        case Unit::Year:
            if (amount > kMaxYear || amount < -kMaxYear) return kFailOutOfRange;
            return addMonths(d, amount * 12);
        case Unit::Month: return addMonths(d, amount);
        case Unit::Day: return addDays(d, amount);
        case Unit::Hour: return addTime(d, amount, 60 * kNanosPerMinute);
        case Unit::Minute: return addTime(d, amount, kNanosPerMinute);
        case Unit::Second: return addTime(d, amount, kNanosPerSecond);
        case Unit::Milli: return addTime(d, amount, 1'000'000);
        case Unit::Micro: return addTime(d, amount, 1'000);
        case Unit::Nano: return addTime(d, amount, 1);
        case Unit::None: break;
    }
    return kFailUnknownPart;
}

template <class T>
int addToPart(QvDate& d, const T* part, long long amount) {
    QV_ASSERT(part != nullptr, "qvdate");
    const auto unit = findPart(widen(part));
    if (!unit) return kFailUnknownPart;
    QvDate result = d;
    const int rc = addUnits(result, *unit, amount);
    if (rc == 0) d = result;
    return rc;
}

template <class T>
int setFromText(QvDate& d, const T* text, const QvDateCompiledFormat<T>* format) {
    QV_ASSERT(text != nullptr, "qvdate");
    const auto result = readDate(formatOrDefault(format ? &format->format : nullptr), widen(text));
    if (!result) return -1;
    d = *result;
    return 0;
}

}  // namespace

QvDate::QvDate()
    : m_year(kMinYear), m_month(1), m_day(1), m_hour(0), m_minute(0), m_second(0), m_nanosecond(0) {}

int QvDate::compileFormatSet(const char* format, QvDateCompiledFormatA** compiled) {
    return compileInto(format, compiled);
}

int QvDate::compileFormatSet(const unsigned short* format, QvDateCompiledFormatU** compiled) {
    return compileInto(format, compiled);
}

void QvDate::deleteCompiledFormat(QvDateCompiledFormatA* compiled) { delete compiled; }

void QvDate::deleteCompiledFormat(QvDateCompiledFormatU* compiled) { delete compiled; }

int QvDate::Set(const char* text, const QvDateCompiledFormatA* format) { return setFromText(*this, text, format); }

int QvDate::Set(const unsigned short* text, const QvDateCompiledFormatU* format) {
    return setFromText(*this, text, format);
}

int QvDate::Get(char* buffer, size_t size, const QvDateCompiledFormatA* format) const {
    return copyOut(writeDate(*this, formatOrDefault(format ? &format->format : nullptr)), buffer, size);
}

int QvDate::Get(unsigned short* buffer, size_t size, const QvDateCompiledFormatU* format) const {
    return copyOut(writeDate(*this, formatOrDefault(format ? &format->format : nullptr)), buffer, size);
}

int QvDate::Get(QvUString& out, const QvDateCompiledFormatU* format) const {
    const std::u16string text = writeDate(*this, formatOrDefault(format ? &format->format : nullptr));
    std::vector<unsigned short> units(text.begin(), text.end());
    out.assign(units.data(), units.size());
    return static_cast<int>(units.size());
}

int QvDate::AddToPart(const char* part, long long amount) { return addToPart(*this, part, amount); }

int QvDate::AddToPart(const unsigned short* part, long long amount) { return addToPart(*this, part, amount); }

int QvDate::setDate(int year, int month, int day) {
    if (year < kMinYear || year > kMaxYear || day < 1 || day > daysInMonth(year, month)) return -1;
    m_year = year;
    m_month = month;
    m_day = day;
    return 0;
}

int QvDate::setTime(int hour, int minute, int second, int nanosecond) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || nanosecond < 0 ||
        nanosecond >= kNanosPerSecond) {
        return -1;
    }
    m_hour = hour;
    m_minute = minute;
    m_second = second;
    m_nanosecond = nanosecond;
    return 0;
}

int QvDate::getDayOfWeek() const { return dayOfWeek(getJulianDay()); }

int QvDate::getDayOfYear() const { return dayOfYear(m_year, m_month, m_day); }

long long QvDate::getJulianDay() const { return julianDay(m_year, m_month, m_day); }

bool QvDate::isLeapYear(int year) { return leapYear(year); }

int QvDate::getDaysInMonth(int year, int month) { return daysInMonth(year, month); }
