// Fuzzing entry: the first byte chooses the expression kind and the
// precision mode, the rest is UTF-16 text (two bytes per unit, an odd last
// byte dropped). The text is parsed with all three parse forms by one
// reused parser, so state left over from one parse is exercised by the next.
#include "fuzz_parse_entry.h"

#include <vector>

#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xparsercontext.h"
#include "qvcmnexpr/xtree.h"
#include "qvcmnexpr/qvcmnexprglobal.h"
#include "qvi18n.h"

namespace {

// Knows one mapping variable, one workflow variable and one external
// function, so the lexer's context paths are reached too.
class FuzzContext : public XParserContextNoSymbols {
public:
    explicit FuzzContext(int kind) { m_xpressionContext = kind; }

    int containsValidTokenMapVar(const QvUString& text, size_t pos, size_t& length) override {
        return matches(text, pos, "$$V", length);
    }
    int containsValidTokenWflowVar(const QvUString& text, size_t pos, size_t& length,
                                   int& preDefined) override {
        preDefined = 1;
        return matches(text, pos, "$W", length);
    }
    int containsValidExtFunc(const QvUString& name) override { return name.equalsASCII("EXTF"); }

private:
    static int matches(const QvUString& text, size_t pos, const char* name, size_t& length) {
        size_t n = 0;
        while (name[n]) {
            if (pos + n >= text.length() || text[pos + n] != static_cast<unsigned char>(name[n])) return 0;
            ++n;
        }
        length = n;
        return 1;
    }
};

std::vector<unsigned short> toText(const uint8_t* data, size_t size) {
    std::vector<unsigned short> text;
    text.reserve(size / 2 + 1);
    for (size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<unsigned short>(data[i] | (data[i + 1] << 8)));
    text.push_back(0);
    return text;
}

}  // namespace

int qvFuzzParse(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int kind = 1 + (data[0] % 3);  // transformation, workflow or either
    QvCmnExprGlobal::changeHighPrecisionMode((data[0] >> 2) & 1);
    std::vector<unsigned short> text = toText(data + 1, size - 1);

    FuzzContext context(kind);
    XParser parser;
    parser.setParserContext(&context, 0);

    XTree* tree = nullptr;
    QvUString err, warn;
    parser.parse(text.data(), tree, err, warn, data[0] & 0x10, 1);
    delete tree;

    XParsedTree* parsed = nullptr;
    QvUString err2, warn2;
    parser.parse(text.data(), parsed, err2, warn2);
    delete parsed;

    ValidationResult vr;
    parser.parse(text.data(), parsed, vr);
    delete parsed;
    return 0;
}
