// Shared by the grammar and parser tests: a symbol context with a tiny
// vocabulary of its own, a parser that exposes the tree-building actions, and
// a compact prefix printer for trees ("PLUS(a,MULTIPLY(b,2))").
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>
#include <string>

#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xnodeconst.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtree.h"
#include "qvdec.h"
#include "qvi18n.h"
#include "qvutils.h"

namespace xparsetest {

constexpr int kTransformation = 1;
constexpr int kWorkflow = 2;
constexpr int kUndecided = 3;

// Vocabulary: mapping variables are "$$" and a name; workflow variables are
// "$$" and a name (user-defined) or "$" task "." attribute (pre-defined);
// custom functions are the names in `extFuncs`. Validation is relaxed, so
// trees come back as the grammar built them.
class TestContext : public XParserContextNoSymbols {
public:
    explicit TestContext(int xprContext = kTransformation) { m_xpressionContext = xprContext; }

    int isPortAllowed() override { return throwOnPortCheck ? throw 42 : portAllowed; }
    int isRelaxValidationSet() override { return 1; }

    int containsValidTokenMapVar(const QvUString& text, size_t pos, size_t& length) override {
        if (text.at(pos) != '$' || text.at(pos + 1) != '$') return 0;
        length = 2 + nameLength(text, pos + 2);
        return length > 2 ? 1 : 0;
    }

    int containsValidTokenWflowVar(const QvUString& text, size_t pos, size_t& length, int& preDefined) override {
        if (text.at(pos) != '$') return 0;
        if (text.at(pos + 1) == '$') {
            length = 2 + nameLength(text, pos + 2);
            preDefined = 0;
            return length > 2 ? 1 : 0;
        }
        const size_t task = nameLength(text, pos + 1);
        if (task == 0 || text.at(pos + 1 + task) != '.') return 0;
        const size_t attribute = nameLength(text, pos + 2 + task);
        length = 2 + task + attribute;
        preDefined = 1;
        return attribute == 0 ? 0 : 1;
    }

    int containsValidExtFunc(const QvUString& name) override {
        return throwOnExtFuncCheck ? throw 43 : extFuncs.count(name.toUtf8()) != 0 ? 1 : 0;
    }

    void setUpgrade(int on) { m_isUpgrade = on; }

    int portAllowed = 1;
    bool throwOnPortCheck = false;
    bool throwOnExtFuncCheck = false;
    std::set<std::string> extFuncs;

private:
    static size_t nameLength(const QvUString& text, size_t from) {
        size_t n = 0;
        for (unsigned short c; (c = text.at(from + n)) < 0x80 && (c == '_' || std::isalnum(c)); ++n) {}
        return n;
    }
};

// The tree-building actions are protected; tests call some of them directly.
class TestParser : public XParser {
public:
    using XParser::getStarKey, XParser::parseOp, XParser::parseOpKeyword, XParser::parseOpUminusUplus;
    using XParser::parseOpWidget, XParser::parseOpdConstInt, XParser::parseOpdRefMapVar, XParser::parseOpdRefWFVar;
    using XParser::ugd_parseOpdConstDecimal60, XParser::ugd_parseOpdConstInt60;
};

// A 0-terminated UTF-16 copy of `utf8` that lives as long as the object
// (trees keep a pointer to the text they were parsed from).
class Text {
public:
    explicit Text(const std::string& utf8) : m_text(qvU(utf8)) {}
    const unsigned short* get() const { return m_text.getBuffer(); }

private:
    QvUString m_text;
};

inline std::string chainText(const XTokName* name) {
    std::string out;
    for (; name; name = name->getNext()) out += (out.empty() ? "" : ".") + name->getName().toUtf8();
    return out;
}

template <int N> std::string decimalText(const void* value) {
    char buffer[QvDecStringConvert::kBufferSize];
    QvDecStringConvert::toString(*static_cast<const QvDecimal<N>*>(value), buffer, sizeof buffer);
    return std::string(buffer) + "d";
}

// Constants print their value with a type mark: 5 (int), 5L (long long),
// 5f (double), 5d (decimal), 'x' (string).
inline std::string constText(const XNode* node) {
    const void* value = node->getDataPtr();
    char buffer[64];
    switch (node->getDataType().toInteger()) {
        case eXDT_INT: return std::to_string(*static_cast<const int*>(value));
        case eXDT_BIGINT: return std::to_string(*static_cast<const long long*>(value)) + "L";
        case eXDT_FLOAT: return std::snprintf(buffer, 64, "%.17gf", *static_cast<const double*>(value)), buffer;
        case eXDT_DEC18: return decimalText<2>(value);
        case eXDT_DEC28: return decimalText<3>(value);
        case eXDT_DEC38: return decimalText<4>(value);
        case eXDT_UNISTRING:
            return "'" + QvUString(static_cast<const QvtStr<unsigned short>*>(value)->getBuffer()).toUtf8() + "'";
        case eXDT_STRING: return "'" + std::string(static_cast<const QvtStr<char>*>(value)->getBuffer()) + "'";
        default: return "?";
    }
}

// Prefix form: operators and functions as KIND(children), widgets as
// KIND[name](children), references by their dotted name, keywords by kind,
// predefined integers as KIND=value.
inline std::string printTree(const XNode* node) {
    if (!node) return "<null>";
    const std::string kind = node->idToString();
    if (node->isConstNode()) return node->getId() == eXNI_CONST ? constText(node) : kind + "=" + constText(node);
    if (node->isRefNode()) return chainText(static_cast<const XNodeRef*>(node)->getTokName());
    if (node->isKeywordNode()) return kind;
    std::string out = kind;
    if (node->isWidgetNode()) out += "[" + chainText(static_cast<const XNodeWidget*>(node)->getTokName()) + "]";
    out += "(";
    for (int i = 0; i < node->getNumChildrenB(); ++i) out += (i ? "," : "") + printTree(node->getChildB(i, 1));
    return out + ")";
}

// Number of lines of message `id` in `messages` (the catalogue text itself,
// which the messages checked here carry unformatted).
inline int countMsg(const QvUString& messages, int id) {
    const std::string all = messages.toUtf8();
    const std::string text = qvGetMsg(id).toUtf8();
    int count = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
    return count;
}

// The lines of `messages` as the ids of the catalogued messages they carry,
// in id order; a line of none of them shows as "?".
inline std::string messageIds(const QvUString& messages) {
    static const int kIds[] = {19020, 19032, 19035, 19058, 19060, 19064, 19065, 19081, 19082, 19106, 19107, 19199};
    std::string out;
    int found = 0;
    for (int id : kIds)
        for (int n = countMsg(messages, id); n > 0; --n, ++found) out += (out.empty() ? "" : " ") + std::to_string(id);
    const std::string all = messages.toUtf8();
    for (auto n = std::count(all.begin(), all.end(), '\n') - found; n > 0; --n) out += out.empty() ? "?" : " ?";
    return out;
}

// One parse through the six-argument form, keeping what tests look at.
struct ParseResult {
    int status = -99;
    XTree* tree = nullptr;
    QvUString err, warn;
    size_t errBegin = 9999, errEnd = 9999;

    ParseResult() = default;
    ParseResult(const ParseResult&) = delete;
    ParseResult& operator=(const ParseResult&) = delete;
    ~ParseResult() { delete tree; }

    const XNode* root() const { return tree ? tree->getRoot() : nullptr; }
    std::string printed() const { return printTree(root()); }
    // "status tree [message ids]", the tree left out when it is large.
    std::string outcome() const {
        const std::string shown = tree ? printed() : "-";
        return std::to_string(status) + " " + (shown.size() > 200 ? "<large>" : shown) + " [" + messageIds(err) + "]";
    }
};

inline void parseInto(XParser& parser, const Text& text, ParseResult& result, int freeStack = 1, int keepDfsList = 0) {
    parser.setErrorPosHolders(&result.errBegin, &result.errEnd);
    result.status = parser.parse(text.get(), result.tree, result.err, result.warn, keepDfsList, freeStack);
}

struct TextHolder {
    explicit TextHolder(const std::string& utf8) : text(utf8) {}
    Text text;
};

// A parse of `utf8` with `parser`; the text lives as long as the tree (the
// bases go in reverse order: the tree first, then its text).
struct ParseWith : TextHolder, ParseResult {
    ParseWith(XParser& parser, const std::string& utf8, int freeStack = 1) : TextHolder(utf8) {
        parseInto(parser, text, *this, freeStack);
    }
};

struct ParserHolder {
    XParser parser;
};

// A parse of `utf8` over `ctx` with a parser of its own, which stays
// available for checks after the parse (its stack, its settings).
struct OneParse : ParserHolder, TextHolder, ParseResult {
    OneParse(XParserContext& ctx, const std::string& utf8) : TextHolder(utf8) {
        parser.setParserContext(&ctx, 0);
        parseInto(parser, text, *this);
    }
};

}  // namespace xparsetest
