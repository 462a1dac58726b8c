// The xexpr program's commands end to end, one table row per command line:
// what check, parse, tokens and tree print for a valid expression, a mistake
// the validator catches and a form it cannot validate yet, their JSON Lines,
// the help, and the exit status. The shipped examples are checked against
// their comments.
#include <algorithm>
#include <optional>

#include "xexprrun.h"

namespace {

using namespace xexprrun;

constexpr const char* kCatalog = R"json({
  "ports": [ {"name": "QTY", "type": "int"}, {"name": "PRICE", "type": "decimal(12,2)"},
             {"name": "NAME", "type": "string(20)"}, {"name": "SHIPPED", "type": "date"} ],
  "mappingVariables": [ {"name": "$$SEEN", "type": "int", "aggregation": "count"} ],
  "workflowVariables": [ {"name": "$s1.Status", "type": "int", "predefined": true} ],
  "lookups": [ {"name": "LKP_RANK", "arguments": ["int"], "result": "bigint"} ],
  "storedProcedures": [ {"name": "SP_LIMIT", "arguments": ["int", "float"]} ],
  "externalProcedures": [ {"name": "EXT_LOG", "arguments": ["int"]} ]
})json";

class XexprCheckTest : public Fixture {
protected:
    void SetUp() override {
        Fixture::SetUp();
        if (!IsSkipped()) catalog = write("catalog.json", kCatalog);
    }

    // check --json over a shipped examples file: exactly the expressions a
    // "# mistake:" comment marks fail; gives the result types and the count
    // of failures.
    std::vector<std::string> checkExamples(const std::string& name, size_t& invalid) {
        const std::string dir = std::string(QVCMNEXPR_SOURCE_DIR) + "/examples/" + name;
        const std::vector<bool> mistakes = markedMistakes(dir + "_expressions.txt");
        const Finished r = run({"check", "--json", "--catalog", dir + "_catalog.json", "-f", dir + "_expressions.txt"});
        EXPECT_EQ(r.status, 1) << r.err;
        std::vector<std::string> types;
        invalid = 0;
        for (const json& object : r.objects()) {
            EXPECT_EQ(object.at("valid").get<bool>(), !mistakes.at(object.at("line").get<size_t>())) << object.dump();
            EXPECT_FALSE(object.value("notValidatedYet", false)) << object.dump();
            invalid += !object.at("valid").get<bool>();
            if (object.contains("result")) types.push_back(object.at("result").value("type", ""));
        }
        EXPECT_GE(r.lines().size(), 30u);
        return types;
    }
};

struct Row {
    Args args;
    int status;
    std::vector<std::string> fragments;  // found in the output in this order
    std::optional<std::string> input = {};  // standard input
};

const Row kRows[] = {
    // check: everything the library decided about a valid result
    {{"check", "--catalog", "CAT", "QTY - 2"}, 0,
     {"<arg>:1: ok: int, precision 10, scale 0, row level, not constant\n"}},
    {{"check", "--catalog", "CAT", "SHIPPED"}, 0, {"ok: date, precision 29, scale 9"}},
    {{"check", "--catalog", "CAT", "SUM(QTY)"}, 0, {"group level, not constant"}},
    {{"check", "--catalog", "CAT", "PRICE * QTY"}, 0, {"scale unknown"}},
    {{"check", "--catalog", "CAT", "NULL"}, 0, {"<arg>:1: ok: null, row level, constant\n"}},
    // every warning of a valid expression follows its description
    {{"check", "--catalog", "CAT", "CONCAT(QTY, 'a')"}, 0, {"<arg>:1: ok: unistring(16)", "<arg>:1: WARNING: [QTY]: "}},
    // each expression stands alone: one aggregation level fixes nothing for the next
    {{"check", "--catalog", "CAT", "SUM(QTY)", "SUM(SUM(QTY))", "QTY"}, 0,
     {"<arg>:1: ok", "<arg>:2: ok: ", " nested level", "<arg>:3: ok"}},
    // mistakes only the validator catches, the offending text underlined
    {{"check", "--catalog", "CAT", "QTYY + 1"}, 1, {"<arg>:1: ERROR: [QTYY]: ", "\n    QTYY + 1\n    ^^^^\n"}},
    {{"check", "--catalog", "CAT", "SUM(QTY) + SUM(SUM(QTY))"}, 1,
     {"ERROR: [SUM]: ", "\n               ^^^^^^^^^^^^^\n"}},
    {{"check", "--catalog", "CAT", "SETMAXVARIABLE($$SEEN, 1)"}, 1,
     {"ERROR: [$$SEEN]: ", "\n                   ^^^^^^\n"}},
    // columns count characters, not bytes; a tab stays a tab under the text
    {{"check", "--catalog", "CAT", "'\xC3\xA9' + QTYY"}, 1, {"\n    '\xC3\xA9' + QTYY\n          ^^^^\n"}},
    {{"check", "--catalog", "CAT", "\tQTY +\tQTYY"}, 1, {"\n    \t     \t^^^^\n"}},
    // a syntax error at the end gets one caret past the text
    {{"check", "--catalog", "CAT", "QTY +"}, 1, {"ERROR: ", "\n    QTY +\n         ^\n"}},
    // a member of a value that has none; in JSON, no line is "not validated yet"
    {{"check", "--catalog", "CAT", "QTY.X"}, 1, {"has no members", "\n    QTY.X\n        ^\n"}},
    {{"check", "--json", "--catalog", "CAT", "QTY.X", "QTYY"}, 1,
     {"\"valid\":false", "\"notValidatedYet\":false", "\"notValidatedYet\":false"}},
    // --relax skips validation, and check says so
    {{"check", "--relax", "--catalog", "CAT", "QTYY + 1"}, 0, {"ok: syntax only, not validated"}},
    // check --json: the same members as the description
    {{"check", "--json", "--catalog", "CAT", "PRICE"}, 0,
     {"\"result\":{\"type\":\"dec18\",\"dataType\":1012,\"precision\":18,\"scale\":2,"
      "\"aggLevel\":\"row\",\"constant\":false,\"aggregate\":false,\"windowFunction\":false}"}},
    {{"check", "--json", "--catalog", "CAT", "PRICE * QTY"}, 0, {"\"scale\":null"}},
    // parse validates alike but prints one terse line
    {{"parse", "--catalog", "CAT", "QTY - 2", "SUM(QTY)"}, 0, {"<arg>:1: ok: int\n<arg>:2: ok: dec18, aggregate\n"}},
    {{"parse", "--catalog", "CAT", "QTYY"}, 1, {"<arg>:1: ERROR: [QTYY]: "}},
    {{"parse", "--json", "--catalog", "CAT", "PRICE"}, 0, {"\"precision\":18,\"scale\":2,\"aggLevel\":\"row\""}},
    // tree: every validated attribute of every node
    {{"tree", "--catalog", "CAT", "QTY > 1"}, 0,
     {"GT [0,7) type=\"boolean\" augType=\"int\" expects=\"eXTPE_ANY_PLUS_BINARY\" result=\"eXDT_BOOLEAN\" "
      "variant=\"eXOP_GT_NUM\" aggLevel=\"row\" constant=false chars=63\n",
      "PORTVAR [0,3) \"QTY\" type=\"int\" scale=0 expects=\"eXTPE_SAME_AS_AUGTYPE\" aggLevel=\"row\" "
      "constant=false chars=15\n"}},
    // a variant without a name shows its number
    {{"tree", "--json", "--catalog", "CAT", "NAME || 'x'"}, 0,
     {"\"kind\":\"CONCATOP\"", "\"result\":", "\"chars\":21", "\"expects\":\"eXTPE_ALPHA\""}},
    // without validation a tree carries no attributes
    {{"tree", "--relax", "QTYY + 1"}, 0, {"  PLUS [0,8)\n    PORTVAR [0,4) \"QTYY\"\n"}},
    // the help says what parse and check do and how they differ
    {{"check", "--help"}, 0, {"Usage: xexpr check", "parse and check both run", "Exit status"}},
    {{"--help"}, 0, {"  parse ", "  check ", "  tokens ", "  tree "}},
    {{"parse", "--help"}, 0, {"--catalog FILE", "--decimal-max 18|28", "-h, --help", "Exit status"}},
    {{"help", "parse"}, 0, {"Usage: xexpr parse", "--catalog FILE", "-h, --help", "Exit status"}},
    {{"parse", "-h"}, 0, {"Usage: xexpr parse", "--catalog FILE", "-h, --help", "Exit status"}},
    // names resolve only through the catalog, task variables only in workflows
    {{"parse", "--catalog", "CAT", "QTY * $$SEEN"}, 0, {"<arg>:1: ok"}},
    {{"parse", "QTY * $$SEEN"}, 1, {"<arg>:1: ERROR: "}},
    {{"parse", "--catalog", "CAT", "--workflow", "$s1.Status = SUCCEEDED"}, 0, {"<arg>:1: ok"}},
    {{"parse", "--catalog", "CAT", "$s1.Status = SUCCEEDED"}, 1, {"<arg>:1: ERROR: "}},
    // JSON Lines: every member, positions in UTF-16 units (the text is 12 units long, 13 bytes), a skipped blank
    // line still counted, and text that is not UTF-8 still valid JSON
    {{"parse", "--json", "-"}, 1,
     {"{\"source\":\"<stdin>\",\"line\":1,\"text\":\"1 + 2\",\"status\":0,\"valid\":true,\"errors\":[],",
      "\"warnings\":[],\"result\":{\"type\":\"int\",", "}}\n{\"source\":\"<stdin>\",\"line\":2,",
      "\"text\":\"'caf\xC3\xA9' || 'x\",\"status\":-1,\"valid\":false,\"errors\":[\"ERROR: ",
      "\"warnings\":[],\"errorBegin\":12,\"errorEnd\":12}\n{", "\"line\":4,", "\"errorBegin\":3,\"errorEnd\":3}\n{",
      "\"line\":5,\"text\":\"'\xEF\xBF\xBD\xEF\xBF\xBD'\",\"status\":0"},
     "1 + 2\n'caf\xC3\xA9' || 'x\n\n3 ;\n'\xFF\xFE'\n"},
    // tokens: one line per token with its span and value; in JSON a lexical error is a token of its own
    {{"tokens", "IIF(A, 'x')"}, 0, {"<arg>:1: 6 tokens\n", " 0-3 ", " XFUNC ", "\"IIF\"\n", "CONST_STR", "\"x\"\n"}},
    {{"tokens", "--json", "a ; b"}, 1,
     {"\"valid\":false,", "\"errorBegin\":2,", "\"tokens\":[{", "{\"token\":259,\"name\":\"LEXERROR\",\"begin\":2,",
      "\"name\":\"NAME\",\"begin\":4,\"end\":5,\"value\":\"b\"}]}\n"}},
    // tree: indented text, nested JSON, and no tree for an expression that does not parse
    {{"tree", "1 + 2 * 3"}, 0, {"<arg>:1: ok\n  PLUS [0,9) ", " variant=8 ", "\n    CONST [0,1) \"1\" ",
                                "\n    MULTIPLY [4,9) ", "\n      CONST [4,5) ", "\n      CONST [8,9) \"3\" "}},
    {{"tree", "--json", "1 + 2 * 3", "1 +"}, 1,
     {"\"tree\":{\"kind\":\"PLUS\",", "\"children\":[{\"kind\":\"CONST\",", "{\"kind\":\"MULTIPLY\",",
      "\"children\":[{\"kind\":\"CONST\",", "\"text\":\"3\",", "\"line\":2,", "\"errors\":[\"ERROR: ",
      "\"errorEnd\":3}\n"}},
    // each call names what its object declares, or that it declares nothing
    {{"check", "--catalog", "CAT", "SP_LIMIT(QTY, PROC_RESULT) + :LKP.LKP_RANK(1)"}, 0,
     {"\n    call :SP.SP_LIMIT declares float\n    call :LKP.LKP_RANK declares bigint\n"}},
    {{"check", "--catalog", "CAT", ":EXT.EXT_LOG(QTY) + 1"}, 0, {"\n    call :EXT.EXT_LOG declares no return value\n"}},
};

TEST_F(XexprCheckTest, EachCommandLinePrintsWhatTheLibraryDecided) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.args.back());
        const Finished r = run(row.args, row.input ? &*row.input : nullptr);
        EXPECT_EQ(r.status, row.status) << r.out << r.err;
        size_t at = 0;
        for (const std::string& fragment : row.fragments) {
            const size_t found = r.out.find(fragment, at);
            ASSERT_NE(found, std::string::npos) << "missing: " << fragment << "\nin:\n" << r.out;
            at = found + fragment.size();
        }
    }
}

// The examples say in a comment which of their expressions are mistakes:
// exactly those fail and every other one validates.
TEST_F(XexprCheckTest, ShippedExamplesFailExactlyWhereTheirCommentsSaySo) {
    size_t invalid = 0;
    checkExamples("orders", invalid);
    EXPECT_GE(invalid, 10u);
    // Hierarchical results are named as a catalog writes their types.
    const std::vector<std::string> types = checkExamples("customers", invalid);
    EXPECT_GE(invalid, 10u);
    for (const char* name : {"struct Address", "array<struct Address>", "array<int>"})
        EXPECT_NE(std::find(types.begin(), types.end(), name), types.end()) << name;
}

}  // namespace
