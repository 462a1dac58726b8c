// The second look at a catalog's JSON text that finds where each key and
// value starts, for messages that must name a line and column.
#include "xjsonsource.h"

#include <nlohmann/json.hpp>
#include <unordered_set>
#include <vector>

namespace xcatalog {

namespace {

struct Frame {
    bool isObject;
    std::string pointer;
    size_t nextIndex = 0;
    std::unordered_set<std::string> keys;
};

class Scanner {
public:
    explicit Scanner(std::string_view text) : m_text(text) {}
    JsonSourceMap run();

private:
    char at(size_t pos) const { return pos < m_text.size() ? m_text[pos] : '\0'; }
    size_t skipSpace(size_t pos) const;
    size_t skipString(size_t pos) const;
    size_t skipScalar(size_t pos) const;
    // Positions m_pos at the next element's value and sets its pointer.
    void beginElement(Frame& frame);
    // After a value: consumes separators and closing brackets; false at the
    // end of the document.
    bool finishValue();

    std::string_view m_text;
    size_t m_pos = 0;
    std::string m_pointer;
    size_t m_keyOffset = std::string::npos;
    std::vector<Frame> m_stack;
    JsonSourceMap m_map;
};

size_t Scanner::skipSpace(size_t pos) const {
    while (pos < m_text.size() && (m_text[pos] == ' ' || m_text[pos] == '\t' ||
                                   m_text[pos] == '\n' || m_text[pos] == '\r'))
        ++pos;
    return pos;
}

size_t Scanner::skipString(size_t pos) const {
    for (++pos; pos < m_text.size() && m_text[pos] != '"'; ++pos) {
        if (m_text[pos] == '\\') ++pos;
    }
    return pos + 1;
}

size_t Scanner::skipScalar(size_t pos) const {
    while (pos < m_text.size() &&
           std::string_view(",]} \t\r\n").find(m_text[pos]) == std::string_view::npos)
        ++pos;
    return pos;
}

void Scanner::beginElement(Frame& frame) {
    if (!frame.isObject) {
        m_keyOffset = std::string::npos;
        m_pointer = frame.pointer + "/" + std::to_string(frame.nextIndex++);
        return;
    }
    m_keyOffset = m_pos;
    size_t end = skipString(m_pos);
    std::string key = nlohmann::json::parse(m_text.substr(m_pos, end - m_pos)).get<std::string>();
    m_pointer = frame.pointer + "/" + jsonPointerToken(key);
    if (!frame.keys.insert(key).second && m_map.duplicateKeyPointer.empty()) {
        m_map.duplicateKeyPointer = m_pointer;
        m_map.duplicateKey = key;
        m_map.duplicateKeyOffset = m_pos;
    }
    m_pos = skipSpace(skipSpace(end) + 1);  // past the colon
}

bool Scanner::finishValue() {
    while (!m_stack.empty()) {
        if (at(m_pos) == ',') {
            m_pos = skipSpace(m_pos + 1);
            beginElement(m_stack.back());
            return true;
        }
        m_stack.pop_back();  // the closing bracket
        m_pos = skipSpace(m_pos + 1);
    }
    return false;
}

JsonSourceMap Scanner::run() {
    if (m_text.substr(0, 3) == "\xEF\xBB\xBF") m_pos = 3;
    m_pos = skipSpace(m_pos);
    while (true) {
        m_map.spots[m_pointer] = JsonSpot{m_keyOffset, m_pos};
        char c = at(m_pos);
        if (c == '{' || c == '[') {
            m_stack.push_back(Frame{c == '{', m_pointer, 0, {}});
            m_pos = skipSpace(m_pos + 1);
            if (at(m_pos) != '}' && at(m_pos) != ']') {
                beginElement(m_stack.back());
                continue;
            }
            m_stack.pop_back();
            m_pos = skipSpace(m_pos + 1);
        } else {
            m_pos = skipSpace(c == '"' ? skipString(m_pos) : skipScalar(m_pos));
        }
        if (!finishValue()) break;
    }
    return std::move(m_map);
}

}  // namespace

JsonSourceMap scanJsonSource(std::string_view text) {
    return Scanner(text).run();
}

std::string jsonPointerToken(std::string_view key) {
    std::string token;
    for (char c : key) {
        if (c == '~')
            token += "~0";
        else if (c == '/')
            token += "~1";
        else
            token += c;
    }
    return token;
}

void lineAndColumn(std::string_view text, size_t offset, size_t& line, size_t& column) {
    line = 1;
    column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((c & 0xC0) != 0x80) {  // not a UTF-8 continuation byte
            ++column;
        }
    }
}

}  // namespace xcatalog
