// The second look at a catalog's JSON text: a duplicate key, or where one
// key or value starts, for messages that must name a line and column.
#include "xjsonsource.h"

#include <nlohmann/json.hpp>
#include <unordered_set>

namespace xcatalog {

namespace {

struct Frame {
    bool isObject;
    bool onPath;          // every enclosing element so far lies on the sought path
    size_t nextIndex = 0;
    std::unordered_set<std::string> keys;  // filled only when looking for duplicates
};

// Walks every value of the text in document order. For each one it knows
// the key and the frames of the enclosing containers; what to do there is
// the caller's (a duplicate key, the sought path).
class Scanner {
public:
    Scanner(std::string_view text, const JsonPath* path) : m_text(text), m_path(path) {}
    // Stops at the first duplicate key (no path) or at the sought value.
    void run();

    JsonDuplicateKey duplicate;
    JsonSpot spot;

private:
    char at(size_t pos) const { return pos < m_text.size() ? m_text[pos] : '\0'; }
    size_t skipSpace(size_t pos) const;
    size_t skipString(size_t pos) const;
    size_t skipScalar(size_t pos) const;
    // Positions m_pos at the next element's value; false to stop the walk.
    bool beginElement(Frame& frame);
    // After a value: consumes separators and closing brackets; false at the
    // end of the document or when the walk stops.
    bool finishValue();
    bool elementOnPath(const std::string& token) const;

    std::string_view m_text;
    const JsonPath* m_path;
    size_t m_pos = 0;
    size_t m_keyOffset = std::string::npos;
    bool m_onPath = true;  // the current value lies on the sought path
    std::vector<Frame> m_stack;
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

bool Scanner::elementOnPath(const std::string& token) const {
    const size_t depth = m_stack.size() - 1;
    return m_path && m_stack.back().onPath && depth < m_path->size() && (*m_path)[depth] == token;
}

bool Scanner::beginElement(Frame& frame) {
    if (!frame.isObject) {
        m_keyOffset = std::string::npos;
        m_onPath = m_path && frame.onPath && elementOnPath(std::to_string(frame.nextIndex));
        ++frame.nextIndex;
        return true;
    }
    m_keyOffset = m_pos;
    size_t end = skipString(m_pos);
    std::string key = nlohmann::json::parse(m_text.substr(m_pos, end - m_pos)).get<std::string>();
    m_pos = skipSpace(skipSpace(end) + 1);  // past the colon
    if (m_path) {
        m_onPath = elementOnPath(key);
        return true;
    }
    if (frame.keys.insert(key).second) return true;
    duplicate = JsonDuplicateKey{true, std::move(key), m_keyOffset};
    return false;
}

bool Scanner::finishValue() {
    while (!m_stack.empty()) {
        if (at(m_pos) == ',') {
            m_pos = skipSpace(m_pos + 1);
            return beginElement(m_stack.back());
        }
        m_stack.pop_back();  // the closing bracket
        m_pos = skipSpace(m_pos + 1);
    }
    return false;
}

void Scanner::run() {
    if (m_text.substr(0, 3) == "\xEF\xBB\xBF") m_pos = 3;
    m_pos = skipSpace(m_pos);
    while (true) {
        if (m_path && m_onPath && m_stack.size() == m_path->size()) {
            spot = JsonSpot{true, m_keyOffset, m_pos};
            return;
        }
        char c = at(m_pos);
        if (c == '{' || c == '[') {
            m_stack.push_back(Frame{c == '{', m_onPath, 0, {}});
            m_pos = skipSpace(m_pos + 1);
            if (at(m_pos) != '}' && at(m_pos) != ']') {
                if (!beginElement(m_stack.back())) return;
                continue;
            }
            m_stack.pop_back();
            m_pos = skipSpace(m_pos + 1);
        } else {
            m_pos = skipSpace(c == '"' ? skipString(m_pos) : skipScalar(m_pos));
        }
        if (!finishValue()) return;
    }
}

}  // namespace

JsonDuplicateKey findDuplicateKey(std::string_view text) {
    Scanner scanner(text, nullptr);
    scanner.run();
    return std::move(scanner.duplicate);
}

JsonSpot findJsonPath(std::string_view text, const JsonPath& path) {
    Scanner scanner(text, &path);
    scanner.run();
    return scanner.spot;
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
