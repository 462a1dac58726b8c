// Constant nodes: the creators that turn literals into constants of a
// particular class and data type, and value access (as int, long long and
// double) and negation for every value type. The value rules differ only by
// type, so each is an overload set below (numbers, decimals, strings;
// everything else falls to the generic "not convertible" form) that the one
// template uses.
#include "qvcmnexpr/xnodeconst.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvi18n.h"
#include "xnodeblock.h"

namespace {

constexpr const char* kUnit = "xnode";

// Range failures of the int conversion travel as the evaluation error, as
// they do in the evaluator; getIntValueV turns them back into -1.
[[noreturn]] void outOfIntRange() {
    throw XErrorEvalError(eQvMSG_VALUE_OUT_OF_RANGE, XErrorEvalError::cls_evalCode);
}

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
    if (value < INT_MIN || value > INT_MAX) outOfIntRange();
    out = static_cast<int>(value);
    return 0;
}
// Rounded half away from zero. std::round rather than adding 0.5 and
// truncating: the sum can round up in binary (0.49999999999999994 + 0.5 is
// 1.0). The range is checked on the rounded value, so 2147483647.4 still
// gives 2147483647 and 2147483647.5 fails; NaN fails the test.
int toInt(double value, int& out) {
    const double rounded = std::round(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) outOfIntRange();
    out = static_cast<int>(rounded);
    return 0;
}
template <int N>
int toInt(const QvDecimal<N>& value, int& out) {
    if (QvDecimalImpl<N>::toInt32(value, out) != 0) outOfIntRange();
    return 0;
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
    if (!QvUtilGlobal::get8xConvertStrToNum() && !isNumericText(text)) throw static_cast<int>(eQvMSG_NOT_NUMERIC_TEXT);
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
// The most negative value has no positive counterpart: two's complement
// would give the value back unchanged, so it is left as it is and reported
// as not negated.
template <class Int>
int negateInteger(Int& value) {
    if (value == std::numeric_limits<Int>::min()) return -1;
    value = -value;
    return 0;
}
int negate(int& value) { return negateInteger(value); }
int negate(long long& value) { return negateInteger(value); }
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
    : XNodeConstBase(eXNI_CONST, begin, end, std::move(metadata)), m_value(std::move(value)) {
    m_valueIndicator = cIndPresent;
}

template <class T>
int XNodeConst<T>::getIntValueV(int& out) const {
    if (isNull()) return -1;
    try {
        return toInt(m_value, out);
    } catch (const XErrorEvalError&) {
        return -1;
    }
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

// ===== XNodeConstCustom =====

XNodeConstCustom::XNodeConstCustom(size_t valueSize, XNonNegInt begin, XNonNegInt end,
                                   std::unique_ptr<XMetadata> metadata)
    : XNodeConstBase(eXNI_CONST, begin, end, std::move(metadata)),
      m_data(new unsigned char[valueSize]()),
      m_indicator(new short(-1)) {}

unsigned int XNodeConstCustom::customType() const {
    return static_cast<unsigned int>(getDataType().toInteger());
}

int XNodeConstCustom::getIntValueV(int& out) const {
    if (isNull()) return -1;
    return CustomSDKMgr::getInstance()->to_integer(customType(), m_data.get(), out) ? 0 : -1;
}

int XNodeConstCustom::getBigIntValueV(long long& out) const {
    if (isNull()) return -1;
    return CustomSDKMgr::getInstance()->to_bigint(customType(), m_data.get(), out) ? 0 : -1;
}

int XNodeConstCustom::getDoubleValueV(double& out) const {
    if (isNull()) return -1;
    return CustomSDKMgr::getInstance()->to_float(customType(), m_data.get(), out) ? 0 : -1;
}

int XNodeConstCustom::negateNumericValue() {
    if (isNull()) return -1;
    return CustomSDKMgr::getInstance()->negate(customType(), m_data.get()) ? 0 : -1;
}

// ===== creators =====

// Allocates constant nodes, the only class their constructors admit. Each
// node shares one block with its record (and a string constant's text), so
// the record's fields are set after the node is made.
struct XNodeConstFactory {
    template <class T>
    static XNodeConst<T>* make(T value, XNonNegInt begin, XNonNegInt end) {
        using Node = XNodeConst<T>;
        return Node::template newWithMetadata<Node, XMetadata>([&](void* at, void*) {
            return new (at) Node(std::move(value), begin, end, nullptr);
        });
    }
    // The text is copied behind the record and the value views it there.
    template <class C>
    static XNodeConst<QvtStr<C>>* makeString(const C* text, int length, XNonNegInt begin,
                                             XNonNegInt end) {
        using Node = XNodeConst<QvtStr<C>>;
        const auto units = static_cast<size_t>(length) + 1;
        return Node::template newWithMetadata<Node, XMetadata>(
            [=](void* at, void* tail) {
                C* copy = static_cast<C*>(tail);
                std::copy(text, text + length, copy);
                copy[length] = 0;
                Node* node = new (at) Node(QvtStr<C>(), begin, end, nullptr);
                node->m_value.view(copy, length);
                return node;
            },
            units * sizeof(C));
    }
    static std::unique_ptr<XNodeConstCustom> makeCustom(size_t valueSize, XNonNegInt begin,
                                                        XNonNegInt end) {
        return std::unique_ptr<XNodeConstCustom>(
            XNodeConstCustom::newWithMetadata<XNodeConstCustom, XMetadata>([&](void* at, void*) {
                return new (at) XNodeConstCustom(valueSize, begin, end, nullptr);
            }));
    }
    // Stores the value that was read or copied into the buffer.
    static void markPresent(XNodeConstCustom& node) { *node.m_indicator = 0; }
    static unsigned char* buffer(XNodeConstCustom& node) { return node.m_data.get(); }
};

namespace {

constexpr char kDec38rtName[] = "Dec38rt";

// Running out of memory while making a constant is an internal invariant.
template <class Make>
XNodeConstBase* orInvariant(Make make) {
    try {
        return make();
    } catch (const std::bad_alloc&) {
        QvAssertHandler(kUnit, __LINE__);
    }
    return nullptr;
}

// Every constant's record starts with its data type and scale eXMINT_DUMMY.
template <class Node>
Node* typed(Node* node, XType type) {
    XMetadata* md = node->getMetadataPtr();
    md->setDataType(type);
    md->setScale(eXMINT_DUMMY);
    return node;
}

template <class T>
XNodeConstBase* createTyped(T value, XType type, XNonNegInt begin, XNonNegInt end) {
    return orInvariant(
        [&] { return typed(XNodeConstFactory::make<T>(std::move(value), begin, end), type); });
}

template <int N>
constexpr EXDataType decimalType() {
    if constexpr (N == 2) return eXDT_DEC18;
    else if constexpr (N == 3) return eXDT_DEC28;
    else return eXDT_DEC38;
}

// The whole text as a decimal of precision N. Nothing when the text is not
// one decimal number from end to end; when digits had to be rounded away,
// nothing unless `force`. QvDecException when the integer part is too wide.
template <int N>
std::optional<QvDecimal<N>> decimalOfText(const QvUString& text, int force) {
    QvDecimal<N> value;
    const unsigned short* first = text.getBuffer();
    const unsigned short* last = first + text.length();
    const unsigned short* read = QvDecStringConvert::stringToQvDec(value, first, last);
    if (read == first || read != last) return std::nullopt;
    if (value.isInexact() && !force) return std::nullopt;
    return value;
}

template <int N>
XNodeConstBase* createDecimalOfText(const QvUString& text, XNonNegInt begin, XNonNegInt end,
                                    int force) {
    std::optional<QvDecimal<N>> value = decimalOfText<N>(text, force);
    return value ? createTyped(*value, decimalType<N>(), begin, end) : nullptr;
}

// An exact decimal of the rung's precision, or null (also when the integer
// part does not fit, so that the ladder climbs on).
using DecTextCreator = XNodeConstBase* (*)(const QvUString&, XNonNegInt, XNonNegInt, int);
XNodeConstBase* exactOrNull(DecTextCreator create, const QvUString& text, XNonNegInt begin,
                            XNonNegInt end) {
    try {
        return create(text, begin, end, 0);
    } catch (const QvDecException&) {
        return nullptr;
    }
}

struct DecRung {
    EXDataType type;
    DecTextCreator create;
};

// Narrowest first: the ladder of createConstDecimal and the creator of the
// decimal maximum.
const DecRung kDecRungs[] = {
    {eXDT_DEC18, &XNodeConstBase::createConstDec18},
    {eXDT_DEC28, &XNodeConstBase::createConstDec28},
    {eXDT_DEC38, &XNodeConstBase::createConstDec38},
};

// A null value of custom type `dt` whose record has the type, type metadata
// and trait descriptor; the type metadata and traits given by `md` win over
// the registry's.
std::unique_ptr<XNodeConstCustom> makeCustom(const ZEVA_TYPE_HANDLE_struct& handle, unsigned int dt,
                                             const XMetadataBase* md, XNonNegInt begin,
                                             XNonNegInt end) {
    const CustomSDKMgr* mgr = CustomSDKMgr::getInstance();
    auto node = XNodeConstFactory::makeCustom(handle.getValueSize(), begin, end);
    XMetadata* result = typed(node.get(), XType(static_cast<int>(dt)))->getMetadataPtr();
    zeva_type_opd_metadata_struct* zeva = md ? md->getZevaTypeMetadataV() : nullptr;
    TrtInfo* traits = md ? md->getTrtInfoV() : nullptr;
    result->setZevaTypeMetadata(zeva ? zeva : mgr->getZEVATypeMetadata(dt));
    result->setTrtInfo(traits ? traits : mgr->getTrtInfoFromDT(dt));
    return node;
}

}  // namespace

XNodeConstBase* XNodeConstBase::createConstInt(int v, XNonNegInt begin, XNonNegInt end) {
    return createTyped(v, XType(eXDT_INT), begin, end);
}

XNodeConstBase* XNodeConstBase::createConstIntPredefined(EXNodeId kind, int v, XNonNegInt begin,
                                                         XNonNegInt end) {
    XNodeConstBase* node = createConstInt(v, begin, end);
    if (node) node->changeId(kind);
    return node;
}

XNodeConstBase* XNodeConstBase::createConstBigInt(long long v, XNonNegInt begin, XNonNegInt end) {
    return createTyped(v, XType(eXDT_BIGINT), begin, end);
}

XNodeConstBase* XNodeConstBase::createConstFloat(double v, XNonNegInt begin, XNonNegInt end) {
    return createTyped(v, XType(eXDT_FLOAT), begin, end);
}

XNodeConstBase* XNodeConstBase::createConstDec18(const QvDecimal<2>& v, XNonNegInt begin,
                                                 XNonNegInt end) {
    return createTyped(v, XType(eXDT_DEC18), begin, end);
}

XNodeConstBase* XNodeConstBase::createConstDec28(const QvDecimal<3>& v, XNonNegInt begin,
                                                 XNonNegInt end) {
    return createTyped(v, XType(eXDT_DEC28), begin, end);
}

XNodeConstBase* XNodeConstBase::createConstDec38(const QvDecimal<4>& v, XNonNegInt begin,
                                                 XNonNegInt end) {
    return createTyped(v, XType(eXDT_DEC38), begin, end);
}

XNodeConstBase* XNodeConstBase::createConstDec18(const QvUString& text, XNonNegInt begin,
                                                 XNonNegInt end, int force) {
    return createDecimalOfText<2>(text, begin, end, force);
}

XNodeConstBase* XNodeConstBase::createConstDec28(const QvUString& text, XNonNegInt begin,
                                                 XNonNegInt end, int force) {
    return createDecimalOfText<3>(text, begin, end, force);
}

XNodeConstBase* XNodeConstBase::createConstDec38(const QvUString& text, XNonNegInt begin,
                                                 XNonNegInt end, int force) {
    return createDecimalOfText<4>(text, begin, end, force);
}

XNodeConstBase* XNodeConstBase::createConstDec38Fixed(const QvUString& text, XNonNegInt begin,
                                                      XNonNegInt end, int) {
    const CustomSDKMgr* mgr = CustomSDKMgr::getInstance();
    const int dt = mgr->getCustomTypeId(kDec38rtName);
    const ZEVA_TYPE_HANDLE_struct* handle =
        dt > 0 ? mgr->getCustomTypeFromDT(static_cast<unsigned int>(dt)) : nullptr;
    if (!handle) return nullptr;
    return orInvariant([&]() -> XNodeConstBase* {
        auto node = makeCustom(*handle, handle->typeId, nullptr, begin, end);
        if (!mgr->qvStringToZevaType(handle->typeId, text.getBuffer(), text.length(),
                                     XNodeConstFactory::buffer(*node))) {
            return nullptr;
        }
        XNodeConstFactory::markPresent(*node);
        return node.release();
    });
}

XNodeConstBase* XNodeConstBase::createConstDecMaxInexact(const QvUString& text, XNonNegInt begin,
                                                         XNonNegInt end) {
    const XType max = XType::getDecMax();
    for (const DecRung& rung : kDecRungs) {
        if (max.isSame(XType(rung.type))) return rung.create(text, begin, end, 1);
    }
    QvAssertHandler(kUnit, __LINE__);  // the maximum is always one of the rungs
    return nullptr;
}

XNodeConstBase* XNodeConstBase::createConstDecimal(const QvUString& text, XNonNegInt begin,
                                                   XNonNegInt end) {
    if (!XType::getIsHighPrecisionMode()) {
        unsigned short* stop = nullptr;
        return createConstFloat(qvUStrtod(text.getBuffer(), &stop), begin, end);
    }
    const XType max = XType::getDecMax();
    // Only exact values on the fixed rungs below the maximum: a literal that
    // needs rounding there goes to the wider representations instead.
    for (const DecRung& rung : kDecRungs) {
        if (rung.type == eXDT_DEC38 || XType(rung.type).isWiderThanNoCheck(max)) continue;
        if (XNodeConstBase* node = exactOrNull(rung.create, text, begin, end)) return node;
    }
    if (XNodeConstBase* node = createConstDec38Fixed(text, begin, end, 0)) return node;
    XNodeConstBase* node = createConstDecMaxInexact(text, begin, end);
    if (!node) QvAssertHandler(kUnit, __LINE__);
    return node;
}

XNodeConstBase* XNodeConstBase::createConstString(const QvUString& text, XNonNegInt begin,
                                                  XNonNegInt end) {
    const int n = static_cast<int>(text.length());
    // The mode is read once: it decides both the form and the type.
    const bool ascii = XType::getIsModeAscii() != 0;
    auto withLength = [&](XNodeConstBase* node) {
        const XType type(ascii ? eXDT_STRING : eXDT_UNISTRING);
        typed(node, type)->getMetadataPtr()->setNumCharsMax(n);
        return node;
    };
    return orInvariant([&]() -> XNodeConstBase* {
        if (!ascii)
            return withLength(XNodeConstFactory::makeString(text.getBuffer(), n, begin, end));
        // The 8-bit form must keep one byte per character, or lengths and
        // positions computed on the text would no longer hold.
        std::unique_ptr<char[]> bytes(text.getMBCSCopy());
        if (std::strlen(bytes.get()) != static_cast<size_t>(n)) throw XInvalidConstStrException();
        return withLength(XNodeConstFactory::makeString(bytes.get(), n, begin, end));
    });
}

XNodeConstBase* XNodeConstBase::createConstDate(const QvDate& v, XNonNegInt begin, XNonNegInt end) {
    return createTyped(v, XType(eXDT_DATE), begin, end);
}

XNodeConstBase* XNodeConstBase::createConstBinary(const unsigned char* bytes, int len,
                                                  const XMetadataBase* md, XNonNegInt begin,
                                                  XNonNegInt end) {
    QV_ASSERT(len >= 0 && (bytes != nullptr || len == 0), kUnit);
    return orInvariant([&] {
        binary_t value(bytes, static_cast<size_t>(len));
        // Held until the record is complete: copying descriptors may allocate.
        std::unique_ptr<XNodeConstBase> node(
            typed(XNodeConstFactory::make(std::move(value), begin, end), XType(eXDT_BINARY)));
        XMetadata* copy = node->getMetadataPtr();
        if (md) copy->copyFromV(md);
        copy->setNumCharsMax(len);
        return node.release();
    });
}

XNodeConstBase* XNodeConstBase::createConstCustom(const void* data, const XMetadataBase* md,
                                                  XNonNegInt begin, XNonNegInt end) {
    QV_ASSERT(data != nullptr && md != nullptr, kUnit);
    const unsigned int dt = md->getCDataTypeV();
    const ZEVA_TYPE_HANDLE_struct* handle = CustomSDKMgr::getInstance()->getCustomTypeFromDT(dt);
    if (!handle) return nullptr;
    return orInvariant([&] {
        auto node = makeCustom(*handle, dt, md, begin, end);
        std::memcpy(XNodeConstFactory::buffer(*node), data, handle->getValueSize());
        XNodeConstFactory::markPresent(*node);
        return node.release();
    });
}
