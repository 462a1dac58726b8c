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
#include <memory>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcmnexpr/xmath.h"
#include "qvcmnexpr/xnode.h"
#include "qvdec.h"
#include "qvutils.h"

// Thrown by createConstString in 8-bit server mode for a text that holds
// characters that are not single bytes; the parser reports it as 19199.
class QVCMNEXPR_API XInvalidConstStrException {
public:
    static constexpr int cls_msgId = 19199;
};

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

struct XNodeConstFactory;

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
    friend struct XNodeConstFactory;    // the creators' allocator
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
