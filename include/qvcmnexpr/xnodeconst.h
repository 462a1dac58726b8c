// Constant nodes: literal values in the tree (numbers, decimals, strings,
// dates, binary values and the predefined integer keywords). Each holds its
// value and a 16-bit null indicator (-1 null, 0 present) that evaluators read
// through getDataPtr/getIndPtr, and answers the conversions to int, long long
// and double that the validator and evaluators ask for.
#pragma once

#include <algorithm>
#include <memory>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcmnexpr/xnode.h"
#include "qvdec.h"
#include "qvutils.h"

// The text of a string constant: an owned copy (0-terminated) and its length
// in characters. Copies are deep.
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
    QvtStr(QvtStr&&) noexcept = default;
    QvtStr& operator=(QvtStr&&) noexcept = default;

    const C* getBuffer() const { return m_text ? m_text.get() : &cEmpty; }
    int getLength() const { return m_length; }

private:
    void assign(const C* text, int length) {
        const int n = text ? std::max(length, 0) : 0;
        std::unique_ptr<C[]> copy(new C[n + 1]);
        std::copy(text, text + n, copy.get());
        copy[n] = 0;
        m_text = std::move(copy);
        m_length = n;
    }

    static constexpr C cEmpty = 0;
    std::unique_ptr<C[]> m_text;
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
    short& getIndRef() { return m_indicator; }
    const short& getIndRef() const { return m_indicator; }

    const void* getDataPtr() const override { return &m_value; }
    const short* getIndPtr() const override { return &m_indicator; }
    int getIntValueV(int& out) const override;
    int getBigIntValueV(long long& out) const override;
    // A string must read as a number (white space, sign, digits, white
    // space) unless the host allows 8.x conversion; otherwise the integer
    // 20050 is thrown.
    int getDoubleValueV(double& out) const override;
    int negateNumericValue() override;

private:
    friend class XNodeConstBase;         // the creators
    friend class XNodeConstTestAccess;  // for tests

    // A present value of kind CONST; the record carries its type.
    XNodeConst(T value, XNonNegInt begin, XNonNegInt end, std::unique_ptr<XMetadata> metadata);

    int isNull() const { return m_indicator == cIndNull; }

    T m_value;
    short m_indicator = cIndPresent;
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
