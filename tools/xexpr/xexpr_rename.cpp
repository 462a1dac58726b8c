// xexpr rename: renames ports, variables and called objects in expressions
// through the library's reference rewriting, so that everything else the
// user wrote (spacing, comments, literals, the spelling of functions) stays
// as it was, and a name inside a string literal or a comment is never
// touched: only the places the parser recorded as references change.
//
// A rename is a change of text, so an expression needs only to parse, not
// to validate: validation is relaxed and the reference list is filled from
// the tree in the order validation would fill it.
//
// With --in-place every file is read and renamed in memory first; only when
// no expression failed and every OLD name was found is any file replaced,
// each one atomically.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "qvcmnexpr/xexprstrinfo.h"
#include "qvcmnexpr/xptree.h"
#include "qvcmnexpr/xrefreplacer.h"
#include "qvcmnexpr/xtree.h"
#include "xexpr_atomicfile.h"
#include "xexpr_input.h"
#include "xexpr_output.h"
#include "xexpr_session.h"

namespace xexpr {

namespace {

struct RenamePair {
    std::string oldName;
    std::string newName;
    QvUString oldText;
    QvUString newText;
    size_t uses = 0;
};

// Characters no name holds: white space, quotes, punctuation, operators.
constexpr const char* kNotInName = " \t\r\n\f\v'\"(),[]{}=+-*/%|<>!^:;.&~`?\\";

bool isName(const std::string& text) {
    return !text.empty() && !(text[0] >= '0' && text[0] <= '9') &&
           text.find_first_of(kNotInName) == std::string::npos;
}

// An operand meant as OLD=NEW: an "=" without white space around, not the
// second character of a comparison or an assignment (a<=b, $$v:=1).
bool looksLikePair(const std::string& operand) {
    const size_t equals = operand.find('=');
    if (equals == std::string::npos || operand.find_first_of(" \t\r\n") != std::string::npos) return false;
    return equals == 0 || std::string("<>!^:").find(operand[equals - 1]) == std::string::npos;
}

int parsePair(const std::string& operand, std::vector<RenamePair>& pairs, std::string& error) {
    const size_t equals = operand.find('=');
    RenamePair pair;
    pair.oldName = operand.substr(0, equals);
    pair.newName = operand.substr(equals + 1);
    if (!isName(pair.oldName) || !isName(pair.newName)) {
        error = "malformed pair " + operand + ": expected OLD=NEW, two names";
        return -1;
    }
    pair.oldText = QvUString::fromUtf8(pair.oldName);
    pair.newText = QvUString::fromUtf8(pair.newName);
    for (const RenamePair& other : pairs) {
        if (other.oldText.caseCompare(pair.oldText) == 0) {
            error = "the name " + pair.oldName + " is renamed twice";
            return -1;
        }
    }
    pairs.push_back(std::move(pair));
    return 0;
}

// Splits the operands: the leading OLD=NEW pairs, then the expression
// sources. 0, or -1 with `error` set.
int splitOperands(const Invocation& invocation, std::vector<RenamePair>& pairs,
                  std::vector<InputSource>& sources, std::string& error) {
    size_t i = 0;
    const auto& inputs = invocation.inputs;
    for (; i < inputs.size() && inputs[i].kind == InputSource::argument && looksLikePair(inputs[i].value); ++i)
        if (parsePair(inputs[i].value, pairs, error) != 0) return -1;
    sources.assign(inputs.begin() + static_cast<std::ptrdiff_t>(i), inputs.end());
    if (pairs.empty()) error = "no OLD=NEW pair before the expressions";
    else if (sources.empty()) error = "no expressions: give EXPR..., -f FILE or - (standard input)";
    else if (invocation.inPlace) {
        for (const InputSource& source : sources)
            if (source.kind != InputSource::file) error = "--in-place rewrites files: give only -f FILE";
    }
    return error.empty() ? 0 : -1;
}

// ---------------------------------------------------------------- one expression

// Replaces the references whose name is an OLD name of a pair. The name of
// a reference is its text, less any qualifier in front of a port
// (:SD.name, :name); hierarchical member names are never renamed.
class PairReplacer : public XRefReplacer {
public:
    PairReplacer(const XExprStrInfo& info, std::vector<RenamePair>& pairs) : m_info(info), m_pairs(pairs) {}

    int getReplacement(XRefInfo* ref, EXRefInfoType type, QvUString& newText, int& replace) const override {
        int begin = 0, end = 0;
        if (type != eXRIT_NODE) return 0;
        if (ref->getPosBeginEnd(const_cast<XExprStrInfo*>(&m_info), type, begin, end) != 0) return -1;
        const int nameBegin = nameBeginOf(ref->getNode(), begin, end);
        if (nameBegin < 0) return 0;
        const unsigned short* text = m_info.getCurExpr();
        const QvUString name(text + nameBegin, static_cast<size_t>(end - nameBegin));
        for (RenamePair& pair : m_pairs) {
            if (name.caseCompare(pair.oldText) != 0) continue;
            newText.assign(text + begin, static_cast<size_t>(nameBegin - begin));
            newText.append(pair.newText);
            replace = 1;
            ++pair.uses;
            break;
        }
        return 0;
    }
    int isWidgetRefRequired() const override { return 0; }

private:
    // Where the renamable name starts inside [begin, end); -1 for none.
    int nameBeginOf(const XNode* node, int begin, int end) const {
        if (XExprStrInfo::isWidgetRef(node)) return begin;
        switch (node->getId()) {
            case eXNI_MAPVAR:
            case eXNI_WFVAR:
                return begin;
            case eXNI_PORTVAR: {
                const unsigned short* text = m_info.getCurExpr();
                int at = end;
                while (at > begin && text[at - 1] != '.' && text[at - 1] != ':') --at;
                return at < end ? at : -1;
            }
            default:
                return -1;
        }
    }

    const XExprStrInfo& m_info;
    std::vector<RenamePair>& m_pairs;
};

struct RenamedLine {
    std::string text;  // the renamed expression, or the original on failure
    size_t renames = 0;
    std::vector<std::string> errors;
};

// Records the references the way validation does: each as its writing in
// post order finishes (a call after the references among its arguments).
void collectReferences(XTree& tree) {
    XExprStrInfo* info = tree.getExprStrInfo();
    if (!info->getRefList().isEmpty()) return;
    XNodeList nodes;
    tree.dfs(nodes, nullptr);
    for (XNode* node : nodes) info->addRefNode(node);
}

RenamedLine renameExpression(XParser& parser, const std::string& utf8, std::vector<RenamePair>& pairs) {
    RenamedLine result;
    result.text = utf8;
    if (utf8.find('\0') != std::string::npos) {
        result.errors.push_back("ERROR: the expression contains a NUL character");
        return result;
    }
    const QvUString text = QvUString::fromUtf8(utf8);
    // Text that is not UTF-8 would come back changed even where nothing is
    // renamed.
    if (text.toUtf8() != utf8) {
        result.errors.push_back("ERROR: the expression is not valid UTF-8");
        return result;
    }
    XParsedTree* parsed = nullptr;
    ValidationResult vr;
    const int status = parser.parse(text.getBuffer(), parsed, vr);
    std::unique_ptr<XParsedTree> owned(parsed);
    if (status != 0 || !owned) {
        result.errors = messageLines(vr.errors.toUtf8());
        if (result.errors.empty()) result.errors.push_back("ERROR: the expression does not parse");
        return result;
    }
    XTree& tree = *owned->getTree();
    collectReferences(tree);
    std::vector<size_t> before;
    for (const RenamePair& pair : pairs) before.push_back(pair.uses);
    PairReplacer replacer(*tree.getExprStrInfo(), pairs);
    QvUString out;
    if (tree.getExprWithRefReplaced(out, replacer) != 0) {
        result.errors.push_back("ERROR: the references cannot be rewritten");
        return result;
    }
    for (size_t i = 0; i < pairs.size(); ++i) result.renames += pairs[i].uses - before[i];
    if (result.renames > 0) result.text = out.toUtf8();
    return result;
}

// ---------------------------------------------------------------- documents

// One source: an argument (one expression) or a whole file or standard
// input, whose lines are renamed one by one and written back with every
// line that holds no expression, and every line end, as they were.
struct Document {
    InputSource source;
    std::string name;  // as messages show it
    std::string renamed;
    size_t renames = 0;
    bool failed = false;
};

int readSource(const InputSource& source, std::string& content, std::string& error) {
    if (source.kind == InputSource::argument) {
        content = source.value;
        return 0;
    }
    std::ifstream file;
    std::istream* in = &std::cin;
    if (source.kind == InputSource::file) {
        file.open(source.value, std::ios::binary);
        if (!file) {
            error = source.value + ": error: cannot read the file";
            return -1;
        }
        in = &file;
    }
    std::ostringstream all;
    all << in->rdbuf();
    if (in->bad()) {
        error = (source.kind == InputSource::file ? source.value : "<stdin>") + ": error: cannot read it";
        return -1;
    }
    content = all.str();
    return 0;
}

class RenameRun {
public:
    RenameRun(const Invocation& invocation, std::vector<RenamePair>& pairs, XParser& parser)
        : m_invocation(invocation), m_pairs(pairs), m_parser(parser) {}

    // 0, or -1 when a source cannot be read (said on standard error).
    int renameSource(const InputSource& source) {
        Document doc{source, sourceName(source), {}, 0, false};
        std::string content, error;
        if (readSource(source, content, error) != 0) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return -1;
        }
        if (source.kind == InputSource::argument) {
            renameLine(doc, content, ++m_arguments);
        } else {
            size_t start = 0, lineNumber = 0;
            while (start < content.size()) {
                size_t end = content.find('\n', start);
                const bool hasEnd = end != std::string::npos;
                if (!hasEnd) end = content.size();
                renameLine(doc, content.substr(start, end - start), ++lineNumber);
                if (hasEnd) doc.renamed += '\n';
                start = end + 1;
            }
        }
        m_documents.push_back(std::move(doc));
        return 0;
    }

    bool anyFailed() const {
        for (const Document& doc : m_documents)
            if (doc.failed) return true;
        return false;
    }
    std::vector<Document>& documents() { return m_documents; }
    Output& out() { return m_out; }

private:
    static std::string sourceName(const InputSource& source) {
        if (source.kind == InputSource::argument) return "<arg>";
        return source.kind == InputSource::file ? source.value : "<stdin>";
    }

    void renameLine(Document& doc, const std::string& line, size_t lineNumber) {
        if (isSkippedLine(line)) {
            doc.renamed += line;
            return;
        }
        // The line end stays as it was; the expression is what precedes it.
        const bool crlf = !line.empty() && line.back() == '\r';
        const std::string expression = crlf ? line.substr(0, line.size() - 1) : line;
        RenamedLine result = renameExpression(m_parser, expression, m_pairs);
        doc.renamed += result.text;
        if (crlf) doc.renamed += '\r';
        doc.renames += result.renames;
        doc.failed = doc.failed || !result.errors.empty();
        report(doc, lineNumber, expression, result);
    }

    void report(const Document& doc, size_t lineNumber, const std::string& expression,
                const RenamedLine& result) {
        const std::string prefix = doc.name + ":" + std::to_string(lineNumber) + ": ";
        if (m_invocation.json) {
            nlohmann::ordered_json object = {
                {"source", doc.name},         {"line", lineNumber},
                {"text", expression},         {"valid", result.errors.empty()},
                {"errors", result.errors},    {"renamed", result.text},
                {"renames", result.renames},
            };
            m_out.line(object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
            return;
        }
        for (const std::string& error : result.errors) std::fprintf(stderr, "%s%s\n", prefix.c_str(), error.c_str());
        // Arguments are answered one line each; files and standard input
        // come back whole once everything is renamed.
        if (doc.source.kind == InputSource::argument && !m_invocation.inPlace && result.errors.empty())
            m_out.line(result.text);
    }

    const Invocation& m_invocation;
    std::vector<RenamePair>& m_pairs;
    XParser& m_parser;
    std::vector<Document> m_documents;
    size_t m_arguments = 0;
    Output m_out;
};

bool reportUnknownNames(const std::vector<RenamePair>& pairs) {
    bool unknown = false;
    for (const RenamePair& pair : pairs) {
        if (pair.uses > 0) continue;
        std::fprintf(stderr, "error: no expression refers to %s\n", pair.oldName.c_str());
        unknown = true;
    }
    return unknown;
}

// Files and standard input come back whole on standard output.
void writeDocuments(RenameRun& run, bool json) {
    if (json) return;
    for (const Document& doc : run.documents())
        if (doc.source.kind != InputSource::argument) run.out().write(doc.renamed);
}

// Replaces every file that changed. 0, or -1 when one could not be
// replaced (that file is left as it was; said on standard error).
int writeInPlace(RenameRun& run, bool json) {
    int result = 0;
    for (const Document& doc : run.documents()) {
        std::string error;
        const bool written = doc.renames == 0 || replaceFileAtomically(doc.source.value, doc.renamed, error) == 0;
        if (!written) {
            std::fprintf(stderr, "%s\n", error.c_str());
            result = -1;
        }
        if (json) {
            nlohmann::ordered_json object = {{"source", doc.name}, {"inPlace", true}, {"written", written},
                                             {"renames", doc.renames}};
            if (!written) object["error"] = error;
            run.out().line(object.dump());
        } else if (written) {
            run.out().line(doc.name + ": " + std::to_string(doc.renames) + " references renamed");
        }
    }
    return result;
}

int finish(RenameRun& run, int status) {
    if (!run.out().flush()) {
        std::fprintf(stderr, "xexpr: error: cannot write the output\n");
        return kExitUsage;
    }
    return status;
}

}  // namespace

int runRename(const Invocation& invocation) {
    std::vector<RenamePair> pairs;
    std::vector<InputSource> sources;
    std::string error;
    if (splitOperands(invocation, pairs, sources, error) != 0) {
        std::fprintf(stderr, "%s: error: %s\n", invocation.program.c_str(), error.c_str());
        return kExitUsage;
    }
    ContextOptions options = invocation.context;
    options.relaxValidation = true;
    std::unique_ptr<XCatalogContext> context;
    if (makeContext(options, context, error) != 0) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kExitUsage;
    }
    XParser parser;
    parser.setParserContext(context.get(), 0);
    RenameRun run(invocation, pairs, parser);
    for (const InputSource& source : sources)
        if (run.renameSource(source) != 0) return finish(run, kExitUsage);
    const bool unknown = reportUnknownNames(pairs);
    if (!invocation.inPlace) {
        writeDocuments(run, invocation.json);
        return finish(run, run.anyFailed() || unknown ? kExitInvalid : kExitValid);
    }
    // Nothing is replaced unless everything renamed cleanly.
    if (run.anyFailed() || unknown) return finish(run, kExitInvalid);
    return finish(run, writeInPlace(run, invocation.json) != 0 ? kExitUsage : kExitValid);
}

}  // namespace xexpr
