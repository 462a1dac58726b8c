// Display text of typed values (see xdata.h).
//
// One formatter per data type, chosen from a table; custom types are printed
// by the host's custom-type registry. Strings are written between apostrophes
// without doubling inner ones: the text is for display, not for re-parsing.
#include "qvcmnexpr/xdata.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xtoken.h"
#include "qvdec.h"
#include "qvutils.h"

namespace {

// Custom time stamps with time zone print without fractions of a second.
const char kTimestampTzId[] = "datatype.timestamptimezone";
const char kTimestampTzFormat[] = "MM/DD/YYYY HH24:MI:SS";

// Appends the text of `value`; `numCharsMax` bounds strings only.
using Formatter = void (*)(const void* value, int numCharsMax, QvUString& out);

void formatInt(const void* value, int, QvUString& out) {
    unsigned short buf[24];  // the host writes up to 21 units
    const int n = QvN2s::i32ToStringX(buf, *static_cast<const int32_t*>(value));
    out.append(buf, static_cast<size_t>(n));
}

void formatBigInt(const void* value, int, QvUString& out) {
    unsigned short buf[24];
    const int n = QvN2s::i64ToStringX(buf, *static_cast<const int64_t*>(value));
    out.append(buf, static_cast<size_t>(n));
}

// Very small magnitudes would come out of %g in exponent form; the host
// writes them as plain decimals instead.
void formatFloat(const void* value, int, QvUString& out) {
    const double v = *static_cast<const double*>(value);
    const double magnitude = std::fabs(v);
    if (magnitude >= 1e-15 && magnitude < 0.0001) {
        unsigned short buf[64];
        const int n = qvFtoaReformat(buf, v, magnitude);
        QV_ASSERT(n >= 0, "xdata");
        out.append(buf, static_cast<size_t>(n));
        return;
    }
    QvUString text;
    text.sprint("%.15lg", v);
    out.append(text);
}

template <int N>
void formatDecimal(const void* value, int, QvUString& out) {
    unsigned short buf[QvDecStringConvert::kBufferSize];
    const int n = QvDecStringConvert::toString(*static_cast<const QvDecimal<N>*>(value), buf, std::size(buf));
    QV_ASSERT(n >= 0, "xdata");
    out.append(buf, static_cast<size_t>(n));
}

void checkLength(size_t length, int numCharsMax) {
    if (numCharsMax != kXDataNoCharsMax && (numCharsMax < 0 || length > static_cast<size_t>(numCharsMax)))
        QvAssertHandler("xdata", __LINE__);
}

void formatString(const void* value, int numCharsMax, QvUString& out) {
    const char* text = static_cast<const char*>(value);
    const size_t length = std::strlen(text);
    checkLength(length, numCharsMax);
    std::unique_ptr<unsigned short[]> wide(new unsigned short[length + 1]);
    const size_t n = qvA2U(wide.get(), text, length + 1);
    out.append(u'\'');
    out.append(wide.get(), n);
    out.append(u'\'');
}

void formatUniString(const void* value, int numCharsMax, QvUString& out) {
    const unsigned short* text = static_cast<const unsigned short*>(value);
    const size_t length = qvUStrlen(text);
    checkLength(length, numCharsMax);
    out.append(u'\'');
    out.append(text, length);
    out.append(u'\'');
}

void formatBinary(const void*, int, QvUString& out) { out.append(XToken::gsValueBinary); }

void formatDate(const void* value, int, QvUString& out) {
    QvUString text;
    static_cast<const QvDate*>(value)->Get(text);
    out.append(u'<');
    out.append(text);
    out.append(u'>');
}

struct FormatterRow {
    int type;
    Formatter format;
};

constexpr FormatterRow kFormatters[] = {
    {eXDT_INT, formatInt},
    {eXDT_STRING, formatString},
    {eXDT_FLOAT, formatFloat},
    {eXDT_BINARY, formatBinary},
    {eXDT_DATE, formatDate},
    {eXDT_DEC18_FIXED, formatDecimal<2>},
    {eXDT_DEC28_FIXED, formatDecimal<3>},
    {eXDT_DEC18, formatDecimal<2>},
    {eXDT_DEC28, formatDecimal<3>},
    {eXDT_UNISTRING, formatUniString},
    {eXDT_DEC38_FIXED, formatDecimal<4>},
    {eXDT_DEC38, formatDecimal<4>},
    {eXDT_BIGINT, formatBigInt},
};

Formatter findFormatter(int type) {
    for (const FormatterRow& row : kFormatters)
        if (row.type == type) return row.format;
    return nullptr;
}

bool isTimestampWithTimeZone(const QvUString& typeName) {
    std::string id = gsQvTypeNamespace;
    id += kTimestampTzId;
    return typeName.toUtf8() == id;
}

// Custom values print in a buffer as wide as the type declares.
void formatCustom(XType type, const void* value, QvUString& out) {
    const unsigned int dt = static_cast<unsigned int>(type.toInteger());
    const CustomSDKMgr* mgr = CustomSDKMgr::getInstance();
    const ZEVA_TYPE_HANDLE_struct* handle = mgr->getCustomTypeFromDT(dt);
    if (!handle) {
        QvAssertHandler("xdata", __LINE__);
        return;
    }
    const size_t size = static_cast<size_t>(handle->getTextWidth() > 0 ? handle->getTextWidth() : 0) + 1;
    std::unique_ptr<unsigned short[]> buf(new unsigned short[size]);
    buf[0] = 0;
    const char* format = isTimestampWithTimeZone(handle->name) ? kTimestampTzFormat : nullptr;
    mgr->qvZevaTypeToString(dt, value, buf.get(), size, format);
    out.append(buf.get());
}

void appendValue(XType type, const void* value, int numCharsMax, QvUString& out) {
    if (type.isCustom()) {
        formatCustom(type, value, out);
        return;
    }
    Formatter format = findFormatter(type.toInteger());
    if (!format) {
        QvAssertHandler("xdata", __LINE__);
        return;
    }
    format(value, numCharsMax, out);
}

QvUString valueText(XType type, const void* value, const short* indicator, int numCharsMax, int annotate) {
    QvUString text;
    if (annotate) text.append(XToken::getTypeAnnotation(type));
    if (indicator && *indicator == -1)
        text.append(XToken::gsValueNull);
    else if (!value)
        text.append(XToken::gsValueNone);
    else
        appendValue(type, value, numCharsMax, text);
    return text;
}

}  // namespace

unsigned short* xdataToUString(XType type, void* value, short* indicator, int numCharsMax, int annotate) {
    return xdataToUString(nullptr, type, value, indicator, numCharsMax, annotate);
}

unsigned short* xdataToUString(QvUString* out, XType type, void* value, short* indicator, int numCharsMax,
                               int annotate) {
    try {
        QvUString text = valueText(type, value, indicator, numCharsMax, annotate);
        if (out) {
            *out = std::move(text);
            return nullptr;
        }
        return text.getBufferCopy();
    } catch (const std::bad_alloc&) {
        QvAssertHandler("xdata", __LINE__);
        return nullptr;
    }
}
