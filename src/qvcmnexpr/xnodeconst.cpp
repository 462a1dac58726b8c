// Value access of constant nodes. The rules differ only by value type, so
// each is an overload set below (numbers, decimals, strings; everything else
// falls to the generic "not convertible" form) that the one template uses.
#include "qvcmnexpr/xnodeconst.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

#include "qvcmnexpr/xmetadata.h"
#include "qvi18n.h"

namespace {

constexpr int kNotNumericText = 20050;

// ---- to int ----

template <class T>
int toInt(const T&, int&) {
    return -1;
}
int toInt(int value, int& out) {
    out = value;
    return 0;
}
int toInt(long long value, int& out) {
    if (value < INT_MIN || value > INT_MAX) return -1;
    out = static_cast<int>(value);
    return 0;
}
// Rounded half away from zero. The range is checked on the rounded value, so
// 2147483647.4 still gives 2147483647; NaN fails the test.
int toInt(double value, int& out) {
    const double rounded = std::trunc(value >= 0 ? value + 0.5 : value - 0.5);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) return -1;
    out = static_cast<int>(rounded);
    return 0;
}
template <int N>
int toInt(const QvDecimal<N>& value, int& out) {
    return QvDecimalImpl<N>::toInt32(value, out);
}

// ---- to long long ----

template <class T>
int toBigInt(const T&, long long&) {
    return -1;
}
int toBigInt(int value, long long& out) {
    out = value;
    return 0;
}
int toBigInt(long long value, long long& out) {
    out = value;
    return 0;
}
int toBigInt(double value, long long& out) { return dblToBigInt(value, out, 0) ? 0 : -1; }
template <int N>
int toBigInt(const QvDecimal<N>& value, long long& out) {
    return QvDecimalImpl<N>::toInt64(value, out);
}

// ---- to double ----

// Leading white space, an optional sign, a number (digits with an optional
// fraction and exponent), then only white space.
bool isNumericText(const std::string& text) {
    size_t i = 0;
    auto skipSpace = [&] {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    };
    auto digits = [&] {
        const size_t from = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
        return i - from;
    };
    skipSpace();
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t mantissaDigits = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissaDigits += digits();
    }
    if (mantissaDigits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    skipSpace();
    return i == text.size();
}

double textToDouble(const std::string& text) {
    if (!QvUtilGlobal::get8xConvertStrToNum() && !isNumericText(text)) throw kNotNumericText;
    return std::atof(text.c_str());
}

template <class T>
int toDouble(const T&, double&) {
    return -1;
}
int toDouble(int value, double& out) {
    out = value;
    return 0;
}
int toDouble(long long value, double& out) {
    out = static_cast<double>(value);
    return 0;
}
int toDouble(double value, double& out) {
    out = value;
    return 0;
}
template <int N>
int toDouble(const QvDecimal<N>& value, double& out) {
    out = QvDecimalImpl<N>::toDouble(value);
    return 0;
}
int toDouble(const QvDate&, double& out) {
    out = 0.0;
    return 0;
}
int toDouble(const QvtStr<char>& value, double& out) {
    out = textToDouble(std::string(value.getBuffer(), static_cast<size_t>(value.getLength())));
    return 0;
}
// Units outside 8 bits cannot be part of a number; they become '?'.
int toDouble(const QvtStr<unsigned short>& value, double& out) {
    std::string text(static_cast<size_t>(value.getLength()), '?');
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned short unit = value.getBuffer()[i];
        if (unit < 0x80) text[i] = static_cast<char>(unit);
    }
    out = textToDouble(text);
    return 0;
}

// ---- negation ----

template <class T>
int negate(T&) {
    return -1;
}
// Two's complement: the most negative value stays as it is.
int negate(int& value) {
    value = static_cast<int>(0u - static_cast<unsigned int>(value));
    return 0;
}
int negate(long long& value) {
    value = static_cast<long long>(0ull - static_cast<unsigned long long>(value));
    return 0;
}
int negate(double& value) {
    value *= -1.0;
    return 0;
}
template <int N>
int negate(QvDecimal<N>& value) {
    QvDecimalImpl<N>::negate(value);
    return 0;
}

}  // namespace

template <class T>
XNodeConst<T>::XNodeConst(T value, XNonNegInt begin, XNonNegInt end,
                          std::unique_ptr<XMetadata> metadata)
    : XNodeConstBase(eXNI_CONST, begin, end, std::move(metadata)), m_value(std::move(value)) {}

template <class T>
int XNodeConst<T>::getIntValueV(int& out) const {
    return isNull() ? -1 : toInt(m_value, out);
}

template <class T>
int XNodeConst<T>::getBigIntValueV(long long& out) const {
    return isNull() ? -1 : toBigInt(m_value, out);
}

template <class T>
int XNodeConst<T>::getDoubleValueV(double& out) const {
    return isNull() ? -1 : toDouble(m_value, out);
}

template <class T>
int XNodeConst<T>::negateNumericValue() {
    return isNull() ? -1 : negate(m_value);
}

template class XNodeConst<int>;
template class XNodeConst<long long>;
template class XNodeConst<double>;
template class XNodeConst<binary_t>;
template class XNodeConst<QvDecimal<2>>;
template class XNodeConst<QvDecimal<3>>;
template class XNodeConst<QvDecimal<4>>;
template class XNodeConst<QvtStr<char>>;
template class XNodeConst<QvtStr<unsigned short>>;
template class XNodeConst<QvDate>;
