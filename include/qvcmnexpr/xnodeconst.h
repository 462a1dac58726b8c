// Constant nodes: literal values in the tree (numbers, decimals, strings,
// dates, binary values, the predefined integer keywords and values of custom
// types). Each holds its value and a 16-bit null indicator (-1 null, 0
// present) that evaluators read through getDataPtr/getIndPtr, and answers the
// conversions to int, long long and double that the validator and evaluators
// ask for.
//
// The creators (XNodeConstBase::createConst..., declared with the class in
// xnode.h) decide which class and data type a literal gets: the decimal
// precision ladder and the string rule of the server's character mode. They
// are defined in xnodeconst.cpp.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcmnexpr/xmath.h"
#include "qvcmnexpr/xnode.h"
#include "qvdec.h"
#include "qvutils.h"

// Thrown by createConstString in 8-bit server mode for a text that holds
// characters that are not single bytes; the parser reports it as
// eQvMSG_STRING_NOT_SINGLE_BYTE.
class QVCMNEXPR_API XInvalidConstStrException {};

struct XNodeConstFactory;

// The text of a string constant (0-terminated) and its length in
// characters. Copies are deep and own their text. A constant made by the
// creators instead views a text that lies in the node's own block, one
// allocation per string constant rather than two; moving such a value out
// of its node copies the text, so no string ever outlives the text it
// shows. The view is kept as the text's distance from the value itself,
// which the node never moves: 16 bytes where a pointer would take 24.
template <class C>
class QvtStr {
public:
    QvtStr() = default;
    QvtStr(const C* text, int length) { assign(text, length); }
    QvtStr(const QvtStr& other) { assign(other.getBuffer(), other.m_length); }
    QvtStr& operator=(const QvtStr& other) {
        if (this != &other) assign(other.getBuffer(), other.m_length);
        return *this;
    }
    QvtStr(QvtStr&& other) { take(other); }
    QvtStr& operator=(QvtStr&& other) {
        if (this != &other) take(other);
        return *this;
    }

    const C* getBuffer() const {
        if (m_owned) return m_owned.get();
        if (m_viewOffset == 0) return &cEmpty;
        return reinterpret_cast<const C*>(reinterpret_cast<const char*>(this) + m_viewOffset);
    }
    int getLength() const { return m_length; }

private:
    friend struct XNodeConstFactory;

    // Shows `length` units at `text`, 0-terminated, which lie in the same
    // block as this value and outlive it.
    void view(const C* text, int length) {
        m_owned.reset();
        m_viewOffset = static_cast<int32_t>(reinterpret_cast<const char*>(text) -
                                            reinterpret_cast<const char*>(this));
        m_length = length;
    }

    void assign(const C* text, int length) {
        const int n = text ? std::max(length, 0) : 0;
        std::unique_ptr<C[]> copy(new C[n + 1]);
        std::copy(text, text + n, copy.get());
        copy[n] = 0;
        m_owned = std::move(copy);
        m_viewOffset = 0;
        m_length = n;
    }

    // An owned text changes hands; a viewed one is copied.
    void take(QvtStr& other) {
        if (!other.m_owned && other.m_viewOffset != 0) {
            assign(other.getBuffer(), other.m_length);
            return;
        }
        m_owned = std::move(other.m_owned);
        m_viewOffset = 0;
        m_length = std::exchange(other.m_length, 0);
    }

    static constexpr C cEmpty = 0;
    std::unique_ptr<C[]> m_owned;  // null for a view (and for the empty value)
    int32_t m_viewOffset = 0;      // where a viewed text lies from this value; 0: none
    int m_length = 0;
};

// A binary value: a copy of its bytes.
using binary_t = QvVecData;

template <class T>
class QVCMNEXPR_API XNodeConst final : public XNodeConstBase {
public:
    static constexpr short cIndNull = -1;
    static constexpr short cIndPresent = 0;

    T& getDataRef() { return m_value; }
    const T& getDataRef() const { return m_value; }
    // The indicator is kept in room the node base leaves free (xnode.h).
    short& getIndRef() { return m_valueIndicator; }
    const short& getIndRef() const { return m_valueIndicator; }

    const void* getDataPtr() const override { return &m_value; }
    const short* getIndPtr() const override { return &m_valueIndicator; }
    int getIntValueV(int& out) const override;
    int getBigIntValueV(long long& out) const override;
    // A string must read as a number (white space, sign, digits, white
    // space) unless the host allows 8.x conversion; otherwise the integer
    // 20050 is thrown.
    int getDoubleValueV(double& out) const override;
    int negateNumericValue() override;

private:
    friend struct XNodeConstFactory;    // the creators' allocator
    friend class XNodeConstTestAccess;  // for tests

    // A present value of kind CONST; the record carries its type.
    XNodeConst(T value, XNonNegInt begin, XNonNegInt end, std::unique_ptr<XMetadata> metadata);

    int isNull() const { return m_valueIndicator == cIndNull; }

    T m_value;
};

extern template class XNodeConst<int>;
extern template class XNodeConst<long long>;
extern template class XNodeConst<double>;
extern template class XNodeConst<binary_t>;
extern template class XNodeConst<QvDecimal<2>>;
extern template class XNodeConst<QvDecimal<3>>;
extern template class XNodeConst<QvDecimal<4>>;
extern template class XNodeConst<QvtStr<char>>;
extern template class XNodeConst<QvtStr<unsigned short>>;
extern template class XNodeConst<QvDate>;

// A value of a custom (plug-in) data type: a buffer of the type's value size
// and a separately held indicator. The host's registry does the conversions.
class QVCMNEXPR_API XNodeConstCustom final : public XNodeConstBase {
public:
    // The buffer and the indicator; both exist for the node's whole life.
    const std::unique_ptr<unsigned char[]>& getDataRef() const { return m_data; }
    const std::unique_ptr<short>& getIndRef() const { return m_indicator; }

    const void* getDataPtr() const override { return m_data.get(); }
    const short* getIndPtr() const override { return m_indicator.get(); }
    int getIntValueV(int& out) const override;
    int getBigIntValueV(long long& out) const override;
    int getDoubleValueV(double& out) const override;
    int negateNumericValue() override;

private:
    friend struct XNodeConstFactory;  // the creators' allocator

    // A null value (indicator -1) of `valueSize` zero bytes.
    XNodeConstCustom(size_t valueSize, XNonNegInt begin, XNonNegInt end,
                     std::unique_ptr<XMetadata> metadata);

    int isNull() const { return *m_indicator == -1; }
    unsigned int customType() const;

    std::unique_ptr<unsigned char[]> m_data;
    std::unique_ptr<short> m_indicator;
};
