// xexpr tokens: the token stream of each expression, as the parser reads it
// with the same catalog: token names, positions and values. An expression
// with a lexical error (a LEXERROR token) counts as invalid.
#include <cstdio>

#include "qvcmnexpr/xtokenstream.h"
#include "xexpr_session.h"

namespace xexpr {

namespace {

constexpr int kLexError = 259;  // the grammar's LEXERROR token

std::string quoted(const std::string& value) {
    return nlohmann::ordered_json(value).dump(-1, ' ', false,
                                              nlohmann::ordered_json::error_handler_t::replace);
}

std::string tokenLine(const XTokenInfo& token, const std::string& value) {
    char head[64];
    std::snprintf(head, sizeof head, "  %5zu-%-5zu %-20s", token.begin, token.end, token.name);
    return value.empty() ? std::string(head) : std::string(head) + " " + quoted(value);
}

Outcome listTokens(XParser& parser, const Expression& expression) {
    QvUString text = QvUString::fromUtf8(expression.text);
    XTokenStream stream(text.getBuffer(), parser.getParserContext());
    Outcome outcome;
    nlohmann::ordered_json tokens = nlohmann::ordered_json::array();
    XTokenInfo token;
    size_t count = 0;
    while (stream.next(token) != 0) {
        std::string value = token.value.toUtf8();
        ++count;
        outcome.lines.push_back(tokenLine(token, value));
        tokens.push_back({{"token", token.token},
                          {"name", token.name},
                          {"begin", token.begin},
                          {"end", token.end},
                          {"value", value}});
        if (token.token != kLexError) continue;
        if (outcome.errors.empty()) {
            outcome.errorBegin = token.begin;
            outcome.errorEnd = token.end;
        }
        outcome.errors.push_back("ERROR: at " + std::to_string(token.begin) + ": " + value);
    }
    outcome.valid = outcome.errors.empty();
    outcome.status = outcome.valid ? 0 : 1;
    outcome.summary = std::to_string(count) + " token" + (count == 1 ? "" : "s");
    outcome.details["tokens"] = std::move(tokens);
    return outcome;
}

}  // namespace

int runTokens(const Invocation& invocation) {
    return runEachExpression(invocation, &listTokens);
}

}  // namespace xexpr
