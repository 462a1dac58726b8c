// The catalog's name lookups on the lexer's path answer ASCII names without
// ICU; these cases pin that the answers are the ones ICU's case mapping
// gives, for ASCII and non-ASCII names, mixed case, names that are prefixes
// of others, long names, and catalogs that declare nothing.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qvcmnexpr/xcatalogcontext.h"

namespace {

QvUString U(const std::string& utf8) {
    return QvUString::fromUtf8(utf8);
}

const std::string kLongName = "EXT_" + std::string(80, 'X');
const std::string kLongNameLower = "ext_" + std::string(80, 'x');

std::shared_ptr<XCatalog> catalogWith(const std::vector<std::string>& mapVars,
                                      const std::vector<std::string>& functions) {
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    for (const std::string& name : mapVars)
        EXPECT_EQ(catalog->addMappingVariable({name, XCatalogType::integer()}, error), 0) << error;
    for (const std::string& name : functions) {
        XCatalogFunction function{name, false, {}, XCatalogType::integer()};
        if (name.rfind(":UDF.", 0) == 0) function.userDefined = true;
        EXPECT_EQ(catalog->addFunction(function, error), 0) << error;
    }
    return catalog;
}

// Mapping variables whose names overlap: prefixes of one another, non-ASCII
// letters inside and in front, and the letters ICU folds onto ASCII ones.
const std::vector<std::string> kMapVars = {
    "$$A", "$$AB", "$$ABC_LONG", "$$Größe", "ÄRGER", "KB", "$$K1", "$$SS", "$$A_" + kLongName};

struct MatchRow {
    std::string text;
    size_t pos;
    std::string expected;  // the declared name found; empty: none
    // Whether the exact lookup finds it from the matched text too. It maps
    // case where the match folds it, and the Kelvin sign is upper case.
    bool exactToo = true;
};

TEST(XCatalogLookup, longestMatchAgreesWithIcuCaseFolding) {
    const MatchRow rows[] = {
        {"$$ab + 1", 0, "$$AB"},                // the longest of two prefixes
        {"$$a+1", 0, "$$A"},
        {"$$abc", 0, ""},                       // a longer word is no declared name
        {"$$Abc_Long)", 0, "$$ABC_LONG"},
        {"x = $$aB", 4, "$$AB"},                // at the end of the text
        {"$$GRÖßE", 0, "$$Größe"},              // non-ASCII in the name and the text
        {"$$größe.x", 0, "$$Größe"},
        {"$$GROSSE", 0, ""},                    // same unit count only
        {"ärger", 0, "ÄRGER"},                  // a name that starts outside ASCII
        {"\u212Ab ", 0, "KB", false},           // the Kelvin sign folds onto k
        {"$$\u212A1", 0, "$$K1", false},        // after an ASCII start
        {"$$\u017F\u017F", 0, "$$SS"},          // long s folds onto s
        {"$$a_" + kLongNameLower, 0, "$$A_" + kLongName},
        {"$$ab", 1, ""},
        {"$$ab", 4, ""},                        // past the end
    };
    auto catalog = catalogWith(kMapVars, {});
    for (const MatchRow& row : rows) {
        SCOPED_TRACE(row.text + " at " + std::to_string(row.pos));
        size_t length = 0;
        const XCatalogMapVar* var = catalog->matchMappingVariable(U(row.text), row.pos, length);
        if (row.expected.empty()) {
            EXPECT_EQ(var, nullptr);
            continue;
        }
        ASSERT_NE(var, nullptr);
        EXPECT_EQ(var->name, row.expected);
        EXPECT_EQ(length, U(row.expected).length());
        QvUString found(U(row.text).getBuffer() + row.pos, length);
        EXPECT_EQ(catalog->findMappingVariable(found.getBuffer()), row.exactToo ? var : nullptr);
    }
}

struct FunctionRow {
    std::string name;
    std::string expected;  // the declared name found; empty: none
};

TEST(XCatalogLookup, functionNamesAgreeWithIcuUpperCasing) {
    const FunctionRow rows[] = {
        {"iif_ext", "IIF_EXT"},
        {"Iif_Ext", "IIF_EXT"},
        {"iif_ex", ""},
        {"iif_extä", ""},
        {"strasse", "straße"},           // ICU upper-cases ß to SS
        {"STRAßE", "straße"},
        {"strip", "\u017Ftrip"},         // and long s to S
        {"\u212AELVIN", ""},             // the Kelvin sign is upper case already
        {"kelvin", "Kelvin"},
        {":udf.net", "NET"},
        {":UDF.Net", "NET"},
        {":UDF.", ""},
        {":UD", ""},
        {"net", ""},                     // user-defined only with the prefix
        {kLongNameLower, kLongName},     // too long for the in-place key
    };
    auto catalog = catalogWith(
        {}, {"IIF_EXT", "straße", "\u017Ftrip", "Kelvin", ":UDF.NET", kLongName});
    XCatalogContext context(catalog);
    for (const FunctionRow& row : rows) {
        SCOPED_TRACE(row.name);
        const XCatalogFunction* function = catalog->findFunction(U(row.name).getBuffer());
        EXPECT_EQ(context.containsValidExtFunc(U(row.name)), function ? 1 : 0);
        if (row.expected.empty()) {
            EXPECT_EQ(function, nullptr);
        } else {
            ASSERT_NE(function, nullptr);
            EXPECT_EQ(function->name, row.expected);
        }
    }
}

TEST(XCatalogLookup, nothingDeclaredFindsNothing) {
    XCatalogContext context(catalogWith({}, {}));
    for (const char* text : {"$$A", "IIF", ":UDF.NET", "ärger", "\u212A"}) {
        SCOPED_TRACE(text);
        size_t length = 0;
        int preDefined = 0;
        EXPECT_EQ(context.containsValidTokenMapVar(U(text), 0, length), 0);
        EXPECT_EQ(context.containsValidTokenWflowVar(U(text), 0, length, preDefined), 0);
        EXPECT_EQ(context.containsValidExtFunc(U(text)), 0);
        EXPECT_EQ(context.isExtAggFunc(U(text)), 0);
    }
}

}  // namespace
