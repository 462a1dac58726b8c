// Validation of hierarchical values: member references (a.b, a..b),
// subscripts of arrays and maps, type references, and hierarchical operands
// of comparisons and IIF, over ports that a JSON catalog declares; also the
// catalog's own refusals of wrong declarations.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "qvcmnexpr/xtypeconfig.h"
#include "xhtypebuild.h"
#include "xvalidatetest.h"

namespace {

constexpr const char* kCatalog = R"json({
  "types": [
    {"name": "Address", "namespace": "crm", "fields": [
      {"name": "street", "type": "string(40)"}, {"name": "zip", "type": "int"}]},
    {"name": "Person", "namespace": "crm", "fields": [
      {"name": "name", "type": "string(60)"},
      {"name": "home", "type": "struct Address"},
      {"name": "addresses", "type": "array<struct Address>"},
      {"name": "phones", "type": "map<string(10), string(20)>"},
      {"name": "manager", "type": "struct Person"}]},
    {"name": "Point", "fields": [{"name": "x", "type": "int"}, {"name": "y", "type": "int"}]},
    {"name": "Place", "fields": [{"name": "road", "type": "string(5)"}, {"name": "code", "type": "int"}]}
  ],
  "ports": [
    {"name": "CUSTOMER", "type": "struct Person"},
    {"name": "BILLING", "type": "struct Address"},
    {"name": "SHIPPING", "type": "struct Address"},
    {"name": "ADDRESSES", "type": "array<struct Address>"},
    {"name": "PHONES", "type": "map<string(10), string(20)>"},
    {"name": "COUNTS", "type": "map<int, bigint>"},
    {"name": "ORIGIN", "type": "struct Point"},
    {"name": "PLACE", "type": "struct Place"},
    {"name": "ID", "type": "int"}
  ]
})json";

std::shared_ptr<XCatalog> catalog() {
    static std::shared_ptr<XCatalog> loaded = xvalidatetest::loadCatalog(kCatalog, "htype");
    return loaded;
}

// The catalog's context, with relaxed validation (and NULL types, which a
// relaxed NULL member keeps) on demand and one port,
// BROKEN, whose struct description has a member without a description.
struct Context : XCatalogContext {
    explicit Context(int relax) : XCatalogContext(catalog()), m_relax(relax) {
        m_broken = htest::structOf("Broken", {htest::scalar("inner", htest::structId().toInteger(), 0)});
    }
    int isRelaxValidationSet() override { return m_relax; }
    int isAllowNullTypeSet() override { return m_relax; }
    int findPort(const unsigned short** qualifiers, const unsigned short* name, XMetadataPort* md,
                 QvUString& err, QvUString& warn) override {
        if (QvUString(name) == QvUString("BROKEN")) {
            md->setDataType(XTypeConfig::getStructTypeId());
            md->setTypeAttrs(m_broken.get());
            return 0;
        }
        return XCatalogContext::findPort(qualifiers, name, md, err, warn);
    }
    int m_relax;
    std::shared_ptr<XTypeConfig> m_broken;
};

// type: of the root, a data type name or the hierarchical kind
struct Result { int status = 0; std::string errors, warnings, type; };

std::string kindOf(const XNode* root) {
    if (!root) return "";
    const XType type = root->getDataType();
    return type.isStructType() ? "struct" : type.isArrayType() ? "array" : type.isMapType() ? "map" : type.toString();
}

Result validate(const std::string& text, int relax) {
    Context context(relax);
    if (relax) {
        const xvalidatetest::Relaxed r(text, context);
        return {r.status, r.err.toUtf8(), r.warn.toUtf8(), kindOf(r.tree ? r.tree->getRoot() : nullptr)};
    }
    const xvalidatetest::Outcome o(text, {}, &context);
    return {o.status, o.errors, o.warnings, kindOf(o.root())};
}

// text, relax, message (0: valid), the type of a valid expression's result
struct Row { const char* text; int relax, message; const char* type; };

TEST(XValidatorHTypeTest, MembersSubscriptsAndTypeReferences) {
    const Row rows[] = {
        // members
        {"CUSTOMER.name", 0, 0, "eXDT_UNISTRING"},
        {"CUSTOMER.home.zip + 1", 0, 0, "eXDT_INT"},
        {"CUSTOMER.nickname", 0, eQvMSG_UNKNOWN_NAME, nullptr},
        {"CUSTOMER.manager", 0, eQvMSG_CYCLIC_MEMBER_TYPE, nullptr},
        {"CUSTOMER.phones.key", 0, eQvMSG_NO_MEMBERS, nullptr},
        {"ID.x", 0, eQvMSG_NO_MEMBERS, nullptr},
        {"(NULL).x", 0, eQvMSG_NO_MEMBERS, nullptr},
        {"(NULL).x", 1, 0, "eXDT_NULL"},
        {"BROKEN.inner", 0, eQvMSG_INVALID_HIERARCHICAL_TYPE, nullptr},
        {":TYPE.crm.Address.zip", 0, eQvMSG_TYPE_AS_VALUE, nullptr},
        // a member of an array of structs is an array of that member
        {"ADDRESSES.zip", 0, 0, "array"},
        {"ADDRESSES.city", 0, eQvMSG_UNKNOWN_NAME, nullptr},
        {"CUSTOMER.addresses.street", 0, 0, "array"},
        // members at any depth; a recursive type ends the search
        {"CUSTOMER..zip", 0, 0, "eXDT_INT"},
        {"CUSTOMER..missing", 0, eQvMSG_UNKNOWN_NAME, nullptr},
        {"ADDRESSES..zip", 0, eQvMSG_NO_MEMBERS, nullptr},
        // array subscripts
        {"ADDRESSES[1]", 0, 0, "struct"},
        {"ADDRESSES[ID + 1].zip", 0, 0, "eXDT_INT"},
        {"ADDRESSES[1, 3]", 0, 0, "array"},
        {"ADDRESSES[*]", 0, 0, "array"},
        {"ADDRESSES['x']", 0, eQvMSG_SUBSCRIPT_NOT_INTEGER, nullptr},
        {"ADDRESSES['x']", 1, eQvMSG_SUBSCRIPT_NOT_INTEGER, nullptr},  // relaxing passes NULL only
        {"ID[1]", 0, eQvMSG_NO_MEMBERS, nullptr},
        {"(NULL)[1]", 0, eQvMSG_NO_MEMBERS, nullptr},
        {"(NULL)[1]", 1, 0, "eXDT_NULL"},
        // map subscripts
        {"PHONES['home']", 0, 0, "eXDT_UNISTRING"},
        {"COUNTS[3] * 2", 0, 0, "eXDT_DEC28"},
        {"COUNTS['k']", 0, eQvMSG_MAP_KEY_MISMATCH, nullptr},
        {"COUNTS['k']", 1, eQvMSG_MAP_KEY_MISMATCH, nullptr},
        {"PHONES[1, 2]", 0, eQvMSG_MAP_SUBSCRIPT_NOT_SINGLE_KEY, nullptr},
        {"PHONES[*]", 0, eQvMSG_MAP_SUBSCRIPT_NOT_SINGLE_KEY, nullptr},
        {"PHONES[BILLING]", 0, eQvMSG_NOT_NUMERIC_TEXT, nullptr},
        {"CUSTOMER.phones['cell']", 0, 0, "eXDT_UNISTRING"},
        // type references
        {":TYPE.crm.Address", 0, 0, "struct"},
        {":TYPE.crm.Nothing", 0, eQvMSG_UNKNOWN_NAME, nullptr},
        {":TYPE.other.Address", 0, eQvMSG_UNKNOWN_NAME, nullptr},
        // hierarchical operands
        {"BILLING = SHIPPING", 0, 0, "eXDT_INT"},
        {"BILLING = CUSTOMER.home", 0, 0, "eXDT_INT"},
        {"BILLING = ADDRESSES", 0, eQvMSG_TYPE_MISMATCH, nullptr},
        {"BILLING = ORIGIN", 0, eQvMSG_TYPE_MISMATCH, nullptr},
        // an equality compares shapes, not names or string lengths
        {"BILLING = PLACE", 0, 0, "eXDT_INT"},
        {"BILLING = 1", 0, eQvMSG_TYPE_MISMATCH, nullptr},
        {"PHONES = PHONES", 0, eQvMSG_MAP_NOT_ALLOWED, nullptr},
        {"CUSTOMER = CUSTOMER", 0, eQvMSG_MAP_NOT_ALLOWED, nullptr},
        {"BILLING > SHIPPING", 0, eQvMSG_INVALID_OPERAND_TYPE, nullptr},
        {"IIF(ID > 0, BILLING, SHIPPING)", 0, 0, "struct"},
        {"IIF(ID > 0, BILLING, NULL).zip", 0, 0, "eXDT_INT"},
        {"IIF(ID > 0, BILLING, CUSTOMER)", 0, eQvMSG_TYPE_MISMATCH, nullptr},
        // IIF compares names as well
        {"IIF(ID > 0, BILLING, PLACE)", 0, eQvMSG_TYPE_MISMATCH, nullptr},
        {"IIF(ID > 0, BROKEN, NULL)", 0, eQvMSG_INVALID_HIERARCHICAL_TYPE, nullptr},
    };
    for (const Row& row : rows) {
        const Result result = validate(row.text, row.relax);
        EXPECT_EQ(result.status == 0, row.message == 0) << row.text << ": " << result.errors;
        if (row.message == 0) { EXPECT_EQ(result.type, row.type) << row.text; }
        const std::string text = row.message ? xvalidatetest::textOf(row.message) : "";
        EXPECT_NE(result.errors.find(text), std::string::npos) << row.text << ": " << result.errors;
        EXPECT_EQ(result.warnings, "") << row.text;  // a refusal is an error, never a warning
        std::istringstream lines(result.errors);  // and the walk stops at the refusal: no error of another kind
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("ERROR: ", 0) == 0) { EXPECT_NE(line.find(text), std::string::npos) << line; }
        }
    }
}

// Validation settles the whole record of an array's member, whatever a
// caller's tree held in it: the member is read as an argument.
TEST(XValidatorHTypeTest, AnArrayMembersRecordIsSettledWhateverItHeld) {
    Context relaxed(1), strict(0);
    XParser parser;
    parser.setParserContext(&relaxed, 0);
    const QvUString text("ADDRESSES.zip");
    QvUString err, warn;
    XTree* parsed = nullptr;
    ASSERT_EQ(parser.parse(text.getBuffer(), parsed, err, warn, 0, 1), 0);
    std::unique_ptr<XTree> tree(parsed);
    XNode* member = tree->getRoot()->getChildB(1, 1);
    member->getMetadataPtr()->setArgType(0);
    EXPECT_EQ(XValidator(&strict).visitSyntaxTree(tree.get(), nullptr, nullptr), 0);
    EXPECT_EQ(member->getMetadataConstPtr()->getArgType().toInteger(), 1);
}

// A catalog of one struct type A whose fields start a second line, or of one port P, of `type`, on the second line.
std::string typeA(const std::string& fields) {
    return "{\"types\": [{\"name\": \"A\", \"fields\": [\n" + fields + "]}]}";
}
std::string portP(const std::string& type) { return "{\"ports\": [\n{\"name\": \"P\", \"type\": \"" + type + "\"}]}"; }

TEST(XValidatorHTypeTest, CatalogRefusesWrongDeclarationsWhereTheyAre) {
    const std::string x = "{\"name\": \"x\", \"type\": \"int\"}";
    std::string deep;
    for (int i = 0; i < 10000; ++i) deep += "array<";
    deep += "int" + std::string(10000, '>');
    // what, json, where ("htype:LINE:COLUMN"), says
    const std::tuple<const char*, std::string, const char*, const char*> rows[] = {
        {"unknown struct", typeA("{\"name\": \"b\", \"type\": \"struct B\"}"), "htype:2:23", "struct type \"B\""},
        {"empty struct", "{\"types\": [\n{\"name\": \"A\", \"fields\": []}]}", "htype:2:10", "has no fields"},
        {"twice", typeA(x + "]},\n{\"name\": \"a\", \"fields\": [" + x), "htype:3:10", "declared twice"},
        {"field twice", typeA(x + ", {\"name\": \"X\", \"type\": \"int\"}"), "htype:2:", "declared twice"},
        {"bad scalar", typeA("{\"name\": \"x\", \"type\": \"array<string>\"}"), "htype:2:", "string"},
        {"unclosed", portP("map<int, int"), "htype:2:", "expected \">\""},
        {"nested too deep", portP(deep), "htype:2:23", "nested more than 64 levels"},
        {"port of unknown struct", portP("struct Nope"), "htype:2:23", "unknown struct type"},
    };
    for (const auto& [what, json, where, says] : rows) {
        XCatalog loaded;
        std::string error;
        EXPECT_EQ(XCatalog::loadJsonText(json, "htype", loaded, error), -1) << what;
        EXPECT_EQ(error.rfind(where, 0), 0u) << what << ": " << error.substr(0, 200);
        EXPECT_NE(error.find(says), std::string::npos) << what << ": " << error.substr(0, 200);
    }
}

TEST(XValidatorHTypeTest, ACopiedCatalogDeclaresTypesOfItsOwn) {
    XCatalog copy(*catalog());
    std::string error;
    ASSERT_EQ(copy.addStructTypes({{"Extra", "crm", {{"x", "int"}}}}, error), 0) << error;
    const QvUString nameSpace("crm");
    const QvUString name("Extra");
    EXPECT_NE(copy.findStructType(nameSpace.getBuffer(), name.getBuffer()), nullptr);
    EXPECT_EQ(catalog()->findStructType(nameSpace.getBuffer(), name.getBuffer()), nullptr);  // the original unchanged
}

// Struct types that refer to each other, in any order, deep chains and rings
// of them, and wide ones load and validate without recursion.
TEST(XValidatorHTypeTest, DeepRecursiveAndWideDeclarationsLoadAndValidate) {
    constexpr int kDepth = 10000;
    std::string json = "{\"types\": [";
    for (int i = 0; i < kDepth; ++i) {
        const std::string n = std::to_string(i), next = "struct T" + std::to_string(i + 1 < kDepth ? i + 1 : 0);
        json += std::string(i ? "," : "") + "{\"name\": \"T" + n + "\", \"fields\": [{\"name\": \"v" + n +
                "\", \"type\": \"int\"}, {\"name\": \"next\", \"type\": \"" + next + "\"}]}";
    }
    json += ",{\"name\": \"W\", \"fields\": [";
    for (int i = 0; i < 100000; ++i) {
        json += std::string(i ? "," : "") + "{\"name\": \"f" + std::to_string(i) + "\", \"type\": \"int\"}";
    }
    json += "]}], \"ports\": [{\"name\": \"R\", \"type\": \"struct T0\"}, {\"name\": \"W\", \"type\": \"struct W\"}]}";
    auto loaded = std::make_shared<XCatalog>();
    std::string error;
    ASSERT_EQ(XCatalog::loadJsonText(json, "deep", *loaded, error), 0) << error;

    XCatalogContext context(loaded);
    const std::pair<const char*, int> rows[] = {
        {"R..v9999", 0},               // found at the far end of the ring
        {"R..missing", eQvMSG_UNKNOWN_NAME},  // every structure searched once
        {"R.next", eQvMSG_CYCLIC_MEMBER_TYPE},
        {"W.f99999 + 1", 0},
        {"R = R", 0},
    };
    for (const auto& [text, message] : rows) {
        const xvalidatetest::Outcome out(text, {}, &context);
        EXPECT_EQ(out.status, message ? -1 : 0) << text << ": " << out.errors;
        EXPECT_NE(out.errors.find(message ? xvalidatetest::textOf(message) : ""), std::string::npos) << text;
    }
}

// Threads that parse with one context each over one catalog check its shared
// descriptions at the same time; each gets every answer right (and the
// thread sanitizer build finds no race in the cached answers).
TEST(XValidatorHTypeTest, ThreadsShareTheCatalogsDescriptions) {
    // the last one fails (a cyclic member), the others validate
    const char* texts[] = {"CUSTOMER.home.zip", "ADDRESSES.street", "CUSTOMER..zip", "BILLING = PLACE", "COUNTS[1]",
                           "CUSTOMER.manager"};
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                for (size_t i = 0; i < std::size(texts); ++i) {
                    if ((validate(texts[i], 0).status == 0) != (i + 1 < std::size(texts))) ++wrong[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int count : wrong) EXPECT_EQ(count, 0);
}

}  // namespace
