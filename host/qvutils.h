// Utilities library of the host: the message catalogue, dates with compiled
// formats, the custom-data-type registry, column metadata, the server
// character mode, number helpers and the base classes the library's metadata
// and logger derive from.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "qvhost_export.h"
#include "qvi18n.h"

// ===== Message catalogue =====
//
// Every complaint of the expression library is a numbered message. The
// English texts live in one table (qvmsg.def); a text is a printf-style format
// for QvUString::sprint when the code that raises it passes arguments (%s a
// UTF-16 string, %d an int, %g a double).
//
// Each row also names its id: code raises a message by that name, so that
// an id reads as what it says and a mistyped one does not compile. The
// enumerators convert to the int that the functions below take.
enum EQvMsgId : int {
#define MSG(name, id, text) name = id,
#include "qvmsg.def"
#undef MSG
};

// The catalogue text of message `id`. An id without a text gives
// "Unknown message id <id>." so that a report is never empty.
QVHOST_API QvUString qvGetMsg(int id);
// Non-zero when `id` has a catalogue text.
QVHOST_API int qvIsCataloguedMsg(int id);
// All catalogued ids in ascending order; `count` receives their number.
QVHOST_API const int* qvGetMsgIds(size_t* count);

// ===== End of message catalogue =====

// ===== Dates =====
//
// QvDate is a date and time of day in the proleptic Gregorian calendar, from
// 01/01/0001 to 12/31/9999, to the nanosecond, with no time zone. A new QvDate
// is 01/01/0001 00:00:00.000000000 (fixed rather than "now", so that results
// never depend on the clock). Comparisons order dates in time.
//
// Date formats. A format is compiled once (compileFormatSet) and then used to
// read text (Set) or write it (Get). A format is a sequence of elements,
// separators and quoted literals; elements are recognised case-insensitively,
// the longest element first (HH24 before HH, MONTH before MON before MM, SSSSS
// before SS, YYYY before YYY before YY before Y). Any other text, an
// unterminated quote and an empty format are rejected.
//
//   element     meaning                               width (digits)
//   YYYY        year 1..9999                          4
//   YYY, YY, Y  last 3, 2 or 1 digits of the year     3, 2, 1
//   RR          year in two digits, rolling century   2
//   MM          month 1..12                           2
//   MON         JAN..DEC
//   MONTH       JANUARY..DECEMBER
//   DD          day of the month                      2
//   DDD         day of the year 1..366                3
//   D           day of the week, 1 = Sunday           1
//   DY          SUN..SAT
//   DAY         SUNDAY..SATURDAY
//   J           Julian day number (01/01/0001 is      7 (written unpadded)
//               1721426, 12/31/9999 is 5373484)
//   HH, HH12    hour 1..12 of a 12-hour clock         2
//   HH24        hour 0..23                            2
//   MI, SS      minute, second 0..59                  2
//   SSSSS       seconds since midnight 0..86399       5
//   MS, US, NS  fraction of a second in milli-,       3, 6, 9
//               micro- or nanoseconds
//   AM, PM      meridian, written AM or PM (either name, same element)
//   A.M., P.M.  meridian, written A.M. or P.M.
//   - / . ; : , and space   separators, matched exactly
//   "text"                  literal text, matched exactly (case-sensitive)
//
// Reading (Set) is strict: every element must be present in the text, the
// separators and literals must match exactly, and no text may follow. A
// number element reads 1 up to its width of ASCII digits (no sign, no blanks);
// a fraction element reads 1 up to its width of digits as the leading digits
// of the fraction ("5" under US is half a second). Month and day names are
// English and case-insensitive. Every field is range-checked: leap years
// follow the Gregorian rule (1900 is not one, 2000 is), the day must exist in
// its month, there is no hour 24, minute 60 or leap second.
//   - YYY, YY and Y complete the year from the year 2000 (YY 98 is 2098); RR
//     reads 00-49 as 2000-2049 and 50-99 as 1950-1999.
//   - A 12-hour element (HH, HH12) needs a meridian element in the same format
//     to be read; a meridian must agree with the hour it ends up with.
//   - D, DY and DAY are checked against the date: a weekday that does not fall
//     on the date is rejected. J and DDD give the date themselves.
//   - A field given by several elements (YYYY and RR, SSSSS and HH24, MS and
//     NS, J and DD, ...) must get the same value from each.
//   - Fields that the format does not mention take the value of the new date
//     (year 1, January, day 1, midnight), whatever the date held before; so
//     "MM/DD" cannot read 02/29 (year 1 is not a leap year).
// Writing (Get) pads numbers with zeros to their width (J is not padded),
// writes names in upper case without padding (MAY, not "MAY      "), and the
// meridian of the hour (AM or PM, or A.M./P.M.) whichever meridian element the
// format names. Without a format, Get writes "MM/DD/YYYY HH24:MI:SS.NS"
// (29 characters) and Set reads the same.
//
// 8-bit formats and texts are read byte by byte (literals compare as bytes);
// UTF-16 formats and texts unit by unit. A compiled format belongs to whoever
// compiled it and is released with deleteCompiledFormat (or by
// QvDateCompiledFormatPtr).

#include <compare>
#include <memory>

// A compiled date format for 8-bit (char) or UTF-16 (unsigned short) text;
// opaque to callers.
template <class T>
class QvDateCompiledFormat;
using QvDateCompiledFormatA = QvDateCompiledFormat<char>;
using QvDateCompiledFormatU = QvDateCompiledFormat<unsigned short>;

class QVHOST_API QvDate {
public:
    QvDate();

    // Compiles `format` (0-terminated). 0 and *compiled set when the format is
    // valid; -1 and *compiled null when it is rejected.
    static int compileFormatSet(const char* format, QvDateCompiledFormatA** compiled);
    static int compileFormatSet(const unsigned short* format, QvDateCompiledFormatU** compiled);
    // Releases a compiled format; null is allowed.
    static void deleteCompiledFormat(QvDateCompiledFormatA* compiled);
    static void deleteCompiledFormat(QvDateCompiledFormatU* compiled);

    // Reads the 0-terminated `text` with `format` (null: the default format).
    // 0 when the text matches and names an existing date; -1 otherwise, and
    // the date is left unchanged.
    int Set(const char* text, const QvDateCompiledFormatA* format);
    int Set(const unsigned short* text, const QvDateCompiledFormatU* format);

    // Writes the date with `format` (null: the default format) into `buffer`
    // of `size` units including the terminator. Returns the length written
    // (without the terminator), or -1 when it does not fit (the buffer then
    // holds an empty text when size > 0).
    int Get(char* buffer, size_t size, const QvDateCompiledFormatA* format = nullptr) const;
    int Get(unsigned short* buffer, size_t size, const QvDateCompiledFormatU* format = nullptr) const;
    // Same into a string; returns the length.
    int Get(QvUString& out, const QvDateCompiledFormatU* format = nullptr) const;

    // Adds `amount` of the date part named `part` (0-terminated, any case):
    // years Y, YY, YYY, YYYY; months MM, MON, MONTH; days D, DD, DDD, DY, DAY;
    // hours HH, HH12, HH24; MI minutes; SS seconds; MS, US, NS milli-, micro-
    // and nanoseconds. Adding years or months keeps the day, clamped to the
    // end of the new month (01/31 + 1 month is 02/28 or 02/29). Returns 0 on
    // success, -1 for an unknown part name, -2 when the result would leave
    // the years 1 to 9999; on failure the date is unchanged.
    int AddToPart(const char* part, long long amount);
    int AddToPart(const unsigned short* part, long long amount);

    // Set the date or the time of day; -1 (and no change) for values out of
    // range or a day that does not exist in its month.
    int setDate(int year, int month, int day);
    int setTime(int hour, int minute, int second, int nanosecond = 0);

    int getYear() const { return m_year; }
    int getMonth() const { return m_month; }
    int getDay() const { return m_day; }
    int getHour() const { return m_hour; }
    int getMinute() const { return m_minute; }
    int getSecond() const { return m_second; }
    int getNanosecond() const { return m_nanosecond; }
    int getDayOfWeek() const;  // 1 = Sunday .. 7 = Saturday
    int getDayOfYear() const;  // 1 .. 366
    long long getJulianDay() const;

    static bool isLeapYear(int year);
    static int getDaysInMonth(int year, int month);  // 0 for a month out of range

    // Fields are declared from the most significant on, so the defaulted
    // comparison orders dates in time.
    auto operator<=>(const QvDate&) const = default;
    bool operator==(const QvDate&) const = default;

private:
    int32_t m_year;
    int32_t m_month;
    int32_t m_day;
    int32_t m_hour;
    int32_t m_minute;
    int32_t m_second;
    int32_t m_nanosecond;
};

// Deletes compiled formats for std::unique_ptr.
struct QvDateCompiledFormatDeleter {
    void operator()(QvDateCompiledFormatA* f) const { QvDate::deleteCompiledFormat(f); }
    void operator()(QvDateCompiledFormatU* f) const { QvDate::deleteCompiledFormat(f); }
};
template <class T>
using QvDateCompiledFormatPtr = std::unique_ptr<QvDateCompiledFormat<T>, QvDateCompiledFormatDeleter>;

// ===== End of dates =====

// ===== Custom types, conversions, metadata bases, server mode, number helpers =====

#include <memory>
#include <vector>

// ---- host column data types ----
// The host's data-type numbers; the expression library's data types use the
// same numbers so that a type passes between them unchanged.
enum EQvCDataType : unsigned int {
    eQvCDT_INT = 1002,
    eQvCDT_STRING = 1003,
    eQvCDT_FLOAT = 1005,
    eQvCDT_BINARY = 1006,
    eQvCDT_DATE = 1007,
    eQvCDT_DEC18_FIXED = 1009,
    eQvCDT_DEC28_FIXED = 1010,
    eQvCDT_DEC18 = 1012,
    eQvCDT_DEC28 = 1013,
    eQvCDT_UNISTRING = 1014,
    eQvCDT_DEC38_FIXED = 1015,
    eQvCDT_DEC38 = 1016,
    eQvCDT_BIGINT = 1017,
    eQvCDT_NULL = 1020,
    eQvCDT_BOOLEAN = 1021,
    eQvCDT_CUSTOM_FIRST = 1022,  // custom (plug-in) types: 1022 to 1032
    eQvCDT_CUSTOM_LAST = 1032,
};

// Bits of a type-trait flag word. eQvTRT_FILLED says that the other bits are
// filled in; without it every property reads as false.
enum EQvTrtFlag : unsigned int {
    eQvTRT_FILLED = 1u << 0,
    eQvTRT_VECTOR = 1u << 2,  // variable length, held by pointer
    eQvTRT_NUMERIC = 1u << 3,
    eQvTRT_DECIMAL = 1u << 4,
    eQvTRT_COMPARABLE = 1u << 7,
};

// Type-trait record of a data type (see QvCData::cdt2trtInfo).
struct QVHOST_API TrtInfo {
    unsigned int typeId = 0;
    unsigned int flags = 0;  // EQvTrtFlag bits
    // 1 when the flags are filled in and `flag` is set.
    int has(unsigned int flag) const { return (flags & eQvTRT_FILLED) && (flags & flag) ? 1 : 0; }
};

// Operand metadata of a custom type: what a column of the type is declared as.
struct QVHOST_API zeva_type_opd_metadata_struct {
    unsigned int typeId = 0;
    int precision = 0;
    int scale = 0;
};

// Conversions a custom type may provide; each returns non-zero on success and
// leaves its output unchanged on failure. `format` may be null (the type's
// default text form).
using QvCustomToTextFn = int (*)(const void* value, QvUString& text, const char* format);
using QvCustomFromTextFn = int (*)(const unsigned short* text, size_t length, void* value);
using QvCustomToIntFn = int (*)(const void* value, int& out);
using QvCustomToBigIntFn = int (*)(const void* value, long long& out);
using QvCustomToFloatFn = int (*)(const void* value, double& out);
using QvCustomNegateFn = int (*)(void* value);

// What an embedding application (or a test) registers for one custom type.
struct QvCustomTypeDef {
    const char* name = nullptr;  // the type identifier, e.g. "Dec38rt"
    unsigned int traits = 0;     // EQvTrtFlag bits; eQvTRT_FILLED is added
    size_t valueSize = 0;        // bytes of one value
    int textWidth = 0;           // characters of the longest text form
    int precision = 0;           // of the type's operand metadata
    int scale = 0;
    QvCustomToTextFn toText = nullptr;
    QvCustomFromTextFn fromText = nullptr;
    QvCustomToIntFn toInteger = nullptr;
    QvCustomToBigIntFn toBigInt = nullptr;
    QvCustomToFloatFn toFloat = nullptr;
    QvCustomNegateFn negate = nullptr;
};

// The registry's record of one custom type (the "handle" of the type).
struct QVHOST_API ZEVA_TYPE_HANDLE_struct {
    unsigned int typeId = 0;
    QvUString name;
    QvCustomTypeDef def;  // `def.name` is not kept; use `name`
    TrtInfo trtInfo;
    zeva_type_opd_metadata_struct opdMetadata;

    size_t getValueSize() const { return def.valueSize; }
    // Characters needed to print a value (a TO_CHAR result, a text buffer).
    int getTextWidth() const { return def.textWidth; }
};

// The platform's namespace prefix of type identifiers: the hierarchical types
// are registered as gsQvTypeNamespace "datatype.htype.struct" and so on.
inline constexpr char gsQvTypeNamespace[] = "com.qv.";

// Process-wide registry of custom data types (ids 1022 to 1032). None is
// registered by default, and then every lookup fails, so custom types simply
// never occur. Registration belongs to start-up (before parsing threads run);
// lookups take no lock. Pointers handed out stay valid until unregisterAll.
class QVHOST_API CustomSDKMgr {
public:
    static constexpr unsigned int kMaxTypes = eQvCDT_CUSTOM_LAST - eQvCDT_CUSTOM_FIRST + 1;

    static CustomSDKMgr* getInstance();

    // Registers `def` under `id` (1022..1032), or under the lowest free id
    // when `id` is 0. Returns the id, or -1 when the name is empty or taken,
    // the id is out of range or taken, or no id is free.
    int registerCustomType(const QvCustomTypeDef& def, unsigned int id = 0);
    // Forgets every registered type (for tests; invalidates handed-out records).
    void unregisterAll();

    // Id of the type with exactly this identifier; 0 (no data type's id) when
    // none is registered under it.
    int getCustomTypeId(const QvUString& name) const;
    int getCustomTypeId(const unsigned short* name) const;
    int getCustomTypeId(const char* name) const;
    // Writes up to `capacity` registered ids in ascending order; returns how
    // many are registered.
    unsigned int getCustomTypeIds(unsigned int* ids, unsigned int capacity) const;
    // Null when `dt` is not a registered custom type.
    const QvUString* getCustomTypeName(unsigned int dt) const;
    const ZEVA_TYPE_HANDLE_struct* getCustomTypeFromDT(unsigned int dt) const;
    // The handle of the type that `md` describes (null for null `md`).
    const ZEVA_TYPE_HANDLE_struct* getCustomTypeFromDT(const zeva_type_opd_metadata_struct* md) const;
    TrtInfo* getTrtInfoFromDT(unsigned int dt) const;
    zeva_type_opd_metadata_struct* getZEVATypeMetadata(unsigned int dt) const;

    // Conversions of a value of custom type `dt`; non-zero on success, 0 when
    // the type is not registered, has no such conversion or the conversion
    // fails (the output is then unchanged).
    int to_integer(unsigned int dt, const void* value, int& out) const;
    int to_bigint(unsigned int dt, const void* value, long long& out) const;
    int to_float(unsigned int dt, const void* value, double& out) const;
    int negate(unsigned int dt, void* value) const;
    // Writes the text form into `buffer` of `size` units including the
    // terminator. On failure (also when the text does not fit) the buffer
    // holds an empty text when size > 0.
    int qvZevaTypeToString(unsigned int dt, const void* value, unsigned short* buffer, size_t size,
                           const char* format = nullptr) const;
    // Reads `length` units of `text` into `value` (valueSize bytes).
    int qvStringToZevaType(unsigned int dt, const unsigned short* text, size_t length, void* value) const;

    // The host's string hash (FNV-1a over the UTF-16 units).
    static unsigned int hashKeyStr(const QvUString& key);

private:
    CustomSDKMgr();
    const ZEVA_TYPE_HANDLE_struct* find(unsigned int dt) const;

    std::unique_ptr<ZEVA_TYPE_HANDLE_struct> m_types[kMaxTypes];
};

class QVHOST_API QvCData {
public:
    // Type-trait record of host data type `dt`: the built-in types from a
    // fixed table, registered custom types from the registry, anything else a
    // shared record with no flags. Never null; the record is read-only.
    static TrtInfo* cdt2trtInfo(unsigned int dt);
};

// Conversions between host data types, as the run-time converters perform
// them. With flag 0 every conversion the converters can attempt counts:
//   - a type to itself; NULL to any type;
//   - numbers (INT, BIGINT, FLOAT, BOOLEAN and all decimals, FIXED included)
//     to numbers and to strings;
//   - strings (STRING, UNISTRING) to strings, numbers and DATE;
//   - DATE to DATE and strings; BINARY only to BINARY;
//   - a registered custom type to strings when it has a text form, to INT,
//     BIGINT or FLOAT when it has that conversion, and from strings when it
//     can read text.
// With any other flag (eQvCONV_LOSSLESS) only conversions that cannot fail at
// run time count:
// identity, NULL to anything, anything above to a string, and a number to a
// number of at least its width (BOOLEAN < INT < BIGINT < DEC18 < DEC28 <
// DEC38 < FLOAT). Unknown or unregistered ids convert to nothing.
class QVHOST_API QvConverterFactory {
public:
    enum { eQvCONV_ANY = 0, eQvCONV_LOSSLESS = 1 };
    static int isConvertible(unsigned int from, unsigned int to, int flag);
};

// ---- metadata bases ----
// Class ids of the host's metadata classes (the library's own are 1000, 1001
// and 3000 to 3005).
enum EQvClassId {
    eQvCLS_QvMetadataBase = 2000,
    eQvCLS_XMetadataBase = 2001,
    eQvCLS_SColMetadata = 2002,
};

class XMetadataBase;

// Base of every metadata record: the getters through which host code reads a
// record without knowing its class. The defaults describe "no type".
class QVHOST_API QvMetadataBase {
public:
    QvMetadataBase() = default;
    QvMetadataBase(const QvMetadataBase&) = default;
    QvMetadataBase& operator=(const QvMetadataBase&) = default;
    virtual ~QvMetadataBase();

    virtual unsigned int getCDataTypeV() const;  // host data type; 0 for none
    virtual int getLengthV() const;              // precision or length; 0
    virtual int getScaleV() const;               // 0
    virtual const void* getTypeAttrsV() const;   // null
    virtual zeva_type_opd_metadata_struct* getZevaTypeMetadataV() const;  // null
    virtual TrtInfo* getTrtInfoV() const;        // null
    virtual int getClassId() const;
    virtual int isClass(int id) const;

    static int stc_isClass(int id);  // only eQvCLS_QvMetadataBase
};

// Base of the expression library's metadata records.
class QVHOST_API XMetadataBase : public QvMetadataBase {
public:
    // Characters needed to print a value of the record's type: INT 11, BIGINT
    // 20, FLOAT 24, BOOLEAN 1, decimals their length plus 2, DATE 29, a
    // registered custom type its text width, anything else the length.
    virtual int getToStringNumCharsMax() const;
    virtual int getArgTypeV() const;  // argument kind; 1
    virtual void copyFromV(const XMetadataBase* source) = 0;

    int getClassId() const override;
    int isClass(int id) const override;
    // eQvCLS_XMetadataBase and eQvCLS_QvMetadataBase.
    static int stc_isClass(int id);
};

// A column description filled by the host or the library (the result of a
// parsed expression).
class QVHOST_API SColMetadata : public QvMetadataBase {
public:
    SColMetadata() = default;
    void set(unsigned int dataType, int precision, int scale, TrtInfo* trtInfo = nullptr,
             zeva_type_opd_metadata_struct* zevaMetadata = nullptr, const void* typeAttrs = nullptr);

    unsigned int getDataType() const { return m_dataType; }
    int getPrecision() const { return m_precision; }
    int getScale() const { return m_scale; }

    unsigned int getCDataTypeV() const override { return m_dataType; }
    int getLengthV() const override { return m_precision; }
    int getScaleV() const override { return m_scale; }
    const void* getTypeAttrsV() const override { return m_typeAttrs; }
    zeva_type_opd_metadata_struct* getZevaTypeMetadataV() const override { return m_zevaMetadata; }
    TrtInfo* getTrtInfoV() const override { return m_trtInfo; }
    int getClassId() const override;
    int isClass(int id) const override;
    static int stc_isClass(int id);  // eQvCLS_SColMetadata and its base

private:
    unsigned int m_dataType = 0;
    int m_precision = 0;
    int m_scale = 0;
    TrtInfo* m_trtInfo = nullptr;
    zeva_type_opd_metadata_struct* m_zevaMetadata = nullptr;
    const void* m_typeAttrs = nullptr;
};

// Base of loggers (the library's debug printer).
class QVHOST_API QvLoggerBase {
public:
    QvLoggerBase() = default;
    QvLoggerBase(const QvLoggerBase&) = default;
    QvLoggerBase& operator=(const QvLoggerBase&) = default;
    virtual ~QvLoggerBase();
    virtual void log(const char* text) = 0;
    virtual void log(const unsigned short* text) = 0;
    virtual void log(QvUString text) = 0;
};

// Holds a copy of a variable-length value (bytes).
class QVHOST_API QvVecData {
public:
    QvVecData() = default;
    QvVecData(const void* data, size_t size) { assign(data, size); }
    void assign(const void* data, size_t size);
    void clear() { m_bytes.clear(); }
    const void* getData() const { return m_bytes.empty() ? nullptr : m_bytes.data(); }
    size_t getSize() const { return m_bytes.size(); }
    bool isEmpty() const { return m_bytes.empty(); }
    friend bool operator==(const QvVecData&, const QvVecData&) = default;

private:
    std::vector<unsigned char> m_bytes;
};

// ---- server mode and settings ----
// Non-zero when the server runs in 8-bit character mode; 0 (Unicode) unless
// the embedding application says otherwise at start-up.
// Read on every typed node, so inline: the setting itself is the host's.
namespace qvhost_detail {
QVHOST_API extern std::atomic<int> gServerModeASCII;
}
inline int isServerModeASCII() { return qvhost_detail::gServerModeASCII.load(std::memory_order_relaxed); }
// Sets the server character mode; returns the previous mode.
QVHOST_API int qvSetServerModeASCII(int ascii);

class QVHOST_API QvUtilGlobal {
public:
    // Non-zero when text that is not entirely numeric may still be converted
    // to a number (the behaviour of release 8.x); 0 by default.
    static int get8xConvertStrToNum();
    // Returns the previous setting.
    static int set8xConvertStrToNum(int on);
};

// ---- number helpers ----
// Converts `value` to a signed 64-bit integer: flag 0 rounds half away from
// zero, any other flag truncates toward zero. Non-zero on success; 0 for NaN
// and for results outside [-2^63, 2^63 - 1] (`result` then unchanged).
QVHOST_API int dblToBigInt(double value, long long& result, int flag);

// Writes `value` in plain decimal notation (no exponent) with up to 15
// significant digits and no trailing zeros, e.g. 0.00005 as "0.00005".
// `magnitude` is |value| as the caller measured it and must lie in
// [1e-15, 1e-4). `buffer` needs room for 40 units. Returns the length written,
// or -1 (buffer untouched) for a magnitude out of that range.
QVHOST_API int qvFtoaReformat(char* buffer, double value, double magnitude);
QVHOST_API int qvFtoaReformat(unsigned short* buffer, double value, double magnitude);

// Pauses the calling thread for `count` periods of `milliseconds` each
// (QvSleep(1, 2) waits about 2 ms); nothing for non-positive arguments.
QVHOST_API void QvSleep(int count, int milliseconds);

// ===== End of custom types =====
