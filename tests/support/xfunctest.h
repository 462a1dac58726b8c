// For tests that validate built-in functions over typed operands: a parser
// context with one port of each scalar type, a validating parse that keeps
// what the validator decided about the root and where it complained, and
// scopes for the process-wide precision mode.
#pragma once

#include <string>

#include "qvcmnexpr/qvcmnexprglobal.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtype.h"
#include "qvcmnexpr/xvalidator.h"
#include "qvutils.h"
#include "xparsetest.h"

namespace xfunctest {

// The ports, by name: i INT, bi BIGINT, f FLOAT, d DEC18(15,2), s text of
// 10 characters (in the server's character mode), dt DATE, bin BINARY(8);
// and, while CustomTypes registers them, m and g of the custom types named
// there (kPoint and kBlob have no port here).
class FuncContext : public XParserContextNoSymbols {
public:
    int isPortAllowed() override { return 1; }
    int isRelaxValidationSet() override { return relax; }
    int isAllowNullTypeSet() override { return allowNull; }

    int findPort(const unsigned short**, const unsigned short* name, XMetadataPort* metadata,
                 QvUString&, QvUString&) override {
        struct Port { const char* name; unsigned int type; int precision; int scale; };
        const unsigned int text = static_cast<unsigned int>(XType::getXdtString().toCDataType(0));
        const Port ports[] = {{"i", eQvCDT_INT, 10, 0},
                              {"bi", eQvCDT_BIGINT, 19, 0},
                              {"f", eQvCDT_FLOAT, 15, 0},
                              {"d", eQvCDT_DEC18, 15, 2},
                              {"s", text, 10, 0},
                              {"dt", eQvCDT_DATE, 29, 9},
                              {"bin", eQvCDT_BINARY, 8, 0},
                              {"m", customId(kMoney), 20, 0},
                              {"g", customId(kShape), 0, 0}};
        const std::string wanted = QvUString(name).toUtf8();
        for (const Port& port : ports) {
            if (wanted != port.name || port.type == 0) continue;
            SColMetadata column;
            column.set(port.type, port.precision, port.scale, QvCData::cdt2trtInfo(port.type));
            metadata->set(column, QvRef(), 1, 1);
            if (metadata->getDataType().isDec(0)) metadata->setNumCharsMax(port.precision);
            return 0;
        }
        return -1;
    }

    int relax = 0, allowNull = 0;
    static constexpr const char* kMoney = "QvTestMoney";
    static constexpr const char* kShape = "QvTestShape";
    static constexpr const char* kPoint = "QvTestPoint";
    static constexpr const char* kBlob = "QvTestBlob";
    static unsigned int customId(const char* name) {
        return static_cast<unsigned int>(CustomSDKMgr::getInstance()->getCustomTypeId(name));
    }
};

// Registers custom types with the host for a scope: a comparable number
// whose values print in 44 characters, a vector type of 20, a comparable
// type that is not a number and one the host can neither order nor compute.
struct CustomTypes {
    CustomTypes() {
        // name, traits, value size, text width, precision
        const QvCustomTypeDef types[] = {
            {FuncContext::kMoney, eQvTRT_NUMERIC | eQvTRT_COMPARABLE, 16, 44, 20},
            {FuncContext::kShape, eQvTRT_VECTOR, 16, 20, 20},
            {FuncContext::kPoint, eQvTRT_COMPARABLE, 16, 30, 20},
            {FuncContext::kBlob, 0, 16, 30, 20},
        };
        unsigned int ids[4] = {};
        CustomSDKMgr* host = CustomSDKMgr::getInstance();
        for (int i = 0; i < 4; ++i) ids[i] = static_cast<unsigned int>(host->registerCustomType(types[i]));
        // What an embedding application does once its types are registered.
        XType::initCustomTypeWidthMap(ids, 4);
        XType::initCustomTypeNameIDMap(ids, 4);
    }
    ~CustomTypes() { CustomSDKMgr::getInstance()->unregisterAll(); }
};

// One validating parse of `expr`; the tree (null on failure), the messages
// and the error positions stay for the checks.
struct Validated : xparsetest::ParserHolder, xparsetest::TextHolder, xparsetest::ParseResult {
    Validated(XParserContext& ctx, const std::string& expr, int toCharSwitch = 0) : TextHolder(expr), m_expr(expr) {
        parser.setParserContext(&ctx, 0);
        parser.getValidator()->setToCharSwitch(toCharSwitch);
        xparsetest::parseInto(parser, text, *this);
    }

    // The part of the expression the first error marks.
    std::string marked() const {
        if (errBegin > m_expr.size() || errEnd > m_expr.size() || errEnd < errBegin) return "?";
        return m_expr.substr(errBegin, errEnd - errBegin);
    }
    std::string errors() const { return err.toUtf8(); }
    std::string m_expr;
};

// Whether `messages` carry message `id`: the catalogue text up to its first
// conversion (a formatted message carries a value there).
inline int hasMsg(const QvUString& messages, int id) {
    const std::string text = qvGetMsg(id).toUtf8();
    return messages.toUtf8().find(text.substr(0, text.find('%'))) != std::string::npos;
}

// Sets the precision mode for a scope and restores the old one.
struct PrecisionMode {
    explicit PrecisionMode(int high) : previous(QvCmnExprGlobal::getIsHighPrecisionMode()) {
        QvCmnExprGlobal::changeHighPrecisionMode(high);
    }
    ~PrecisionMode() { QvCmnExprGlobal::changeHighPrecisionMode(previous); }
    int previous;
};

}  // namespace xfunctest
