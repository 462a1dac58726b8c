// Port and widget lookups compare an ASCII name as written, without ICU, and
// fold anything else through ICU's full upper-casing. These rows hold the two
// paths to the same answers: mixed case, names that differ only after their
// first letter or only in length, letters that upper-case onto ASCII (ß, long
// s) and one that does not (the Kelvin sign is upper case already),
// qualifiers in any case and script, the closest port in either declaration
// order, ambiguity, empty and unknown names.
#include <gtest/gtest.h>

#include "cattest_support.h"

namespace {

using namespace cattest;

const std::string kLong = "L" + std::string(90, 'o') + "ng";

TEST(XCatalogPortLookup, AnswersAsIcuUpperCasingDoes) {
    // Declared in this order, so each port's ordinal is its position plus one.
    const std::pair<std::string, std::vector<std::string>> ports[] = {
        {"ORDER_ID", {}}, {"ORDER_IX", {}}, {"OXDER_ID", {}}, {"ORDER", {}}, {"straße", {}},        // 1-5
        {"\u017Ftrip", {}}, {"\u212AB", {}}, {"ÄRGER", {}}, {kLong, {}}, {"NAME", {"SQ_ORDERS"}},   // 6-10
        {"NAME", {"SQ_CUSTOMERS"}}, {"NAME", {"Folder", "SQ_Maße"}}, {"P", {}}, {"P", {"T"}},      // 11-14
        {"Q", {"A", "T"}}, {"Q", {"B", "T"}}, {"R", {"T"}}, {"R", {"A", "T"}}, {"R", {"B", "T"}},  // 15-19
        {"A@B", {}}, {"S", {"F", "T"}}, {"S", {"T"}}, {"S", {}}, {"P", {"F", "T"}},                // 20-24
    };
    const std::string ambiguous = "the port name is ambiguous; qualify it as one of:";
    // Each row: the qualifiers written (nearest first), the name, the port found (0: none), the ambiguity text.
    const struct { std::vector<std::string> qualifiers; std::string name; int ordinal; std::string why = {}; } rows[] = {
        {{}, "order_id", 1},
        {{}, "Order_Ix", 2},
        {{}, "oXdEr_iD", 3},
        {{}, "ORDER", 4},
        {{}, "ORDER_I", 0},
        {{}, "ORDER_IDS", 0}, {{}, "ORDER_IY", 0}, {{}, "", 0}, {{}, "NOPE", 0}, {{}, "a`b", 0},  // ` is @ but a bit
        {{}, "strasse", 5},
        {{}, "STRAßE", 5},
        {{}, "STRASE", 0},
        {{}, "STRIP", 6},
        {{}, "\u017FTRIP", 6},
        {{}, "KB", 0},
        {{}, "\u212Ab", 7},
        {{}, "ärger", 8},
        {{}, "arger", 0},
        {{}, "l" + std::string(90, 'O') + "NG", 9},
        {{"sq_orders"}, "name", 10},
        {{"Sq_Customers"}, "NAME", 11},
        {{"SQ_MASSE"}, "Name", 12},
        {{"sq_maße", "FOLDER"}, "name", 12},
        {{"sq_maße", "FOLDEX"}, "name", 0},
        {{"sq_orders", "FOLDER"}, "name", 0},
        {{"SQ_ORDER"}, "NAME", 0},
        {{"SQ_ORDERS", "X", "Y", "Z"}, "NAME", 0},
        {{}, "name", 0, ambiguous + " SQ_CUSTOMERS.NAME SQ_ORDERS.NAME"},
        {{}, "p", 13},
        {{"t"}, "p", 14},
        {{"T", "f"}, "p", 24},
        {{"t"}, "order_id", 0},
        {{"T", "a"}, "Q", 15},
        {{"t"}, "q", 0, ambiguous + " B.T.Q A.T.Q"},  // newest first
        {{"t"}, "r", 17},  // after a tie among ports that need more
        {{}, "s", 23},
        {{"t"}, "S", 22},
        {{"t", "f"}, "s", 21},
    };
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    for (const auto& [name, qualifiers] : ports)
        ASSERT_EQ(catalog->addPort({name, qualifiers, XCatalogType::integer()}, error), 0) << error;
    XCatalogContext context(catalog);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Qualifiers qualifiers(row.qualifiers);
        std::string why;
        int ordinal = 0;
        const XCatalogPort* port = catalog->findPort(qualifiers.get(), qvU(row.name).getBuffer(), why, &ordinal);
        EXPECT_EQ(answers({port ? ordinal : 0}) + why, answers({row.ordinal}) + row.why);
        XMetadataPort record;
        QvUString err, warn;
        const int status = context.findPort(qualifiers.get(), qvU(row.name).getBuffer(), &record, err, warn);
        EXPECT_EQ(status == 0 ? static_cast<int>(record.getPortId().toInteger()) : 0, row.ordinal);
        EXPECT_EQ(record.getRef().getPtr(), port);
    }
}

TEST(XCatalogPortLookup, WidgetKindsAndNamesCompareWithoutCase) {
    const struct { std::vector<std::string> qualifiers; std::string name; bool found; } rows[] = {
        {{":lkp"}, "lkp_tier", true},
        {{":LKP"}, "LKP_TIEX", false},
        {{":LKP"}, "LKP_TIE", false}, {{":LKP"}, "", false}, {{":sp"}, "lkp_tier", false},  // another kind's name
        {{":sp"}, "Größe", true}, {{":SP"}, "GRÖSSE", true}, {{":\u017Fp"}, "grösse", true},  // long s folds onto s
        {{":ext"}, "clean", true},
        {{":EXTX"}, "CLEAN", false},
        {{":EX"}, "CLEAN", false},
        {{":LKP\u00E9"}, "LKP_TIER", false},
        {{""}, "LKP_TIER", false},
    };
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    ASSERT_EQ(catalog->addWidget({XCatalogWidgetKind::lookup, "LKP_TIER", {}, {}}, error), 0);
    ASSERT_EQ(catalog->addWidget({XCatalogWidgetKind::storedProcedure, "größe", {}, {}}, error), 0);
    ASSERT_EQ(catalog->addWidget({XCatalogWidgetKind::externalProcedure, "CLEAN", {}, {}}, error), 0);
    XCatalogContext context(catalog);
    for (const auto& row : rows) {
        Qualifiers qualifiers(row.qualifiers);
        XMetadata* noArgs[] = {nullptr};
        XMetadataWidget record;
        QvUString err, warn;
        EXPECT_EQ(context.findWidget(qualifiers.get(), qvU(row.name).getBuffer(), noArgs, &record, err, warn) != -1,
                  row.found) << row.qualifiers[0] << " " << row.name;
    }
}

}  // namespace
