// Port and widget lookups compare an ASCII name as written, without ICU, and
// fold anything else through ICU's full upper-casing. These cases hold the
// two paths to the same answers: mixed case, names that differ only after
// their first letter or only in length, letters that upper-case onto ASCII
// (ß, long s) and one that does not (the Kelvin sign is upper case already),
// qualifiers in any case and script, ambiguity, empty and unknown names. A
// lookup of an ASCII name, and the record it fills, allocate nothing.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qvcmnexpr/xcatalogcontext.h"
#include "xalloccount.h"

namespace {

QvUString U(const std::string& utf8) {
    return QvUString::fromUtf8(utf8);
}

// A null-terminated UTF-16 qualifier list, nearest first, as the validator
// passes it.
class Qualifiers {
public:
    explicit Qualifiers(const std::vector<std::string>& nearestFirst) {
        for (const std::string& q : nearestFirst) m_texts.push_back(U(q));
        for (const QvUString& text : m_texts) m_pointers.push_back(text.getBuffer());
        m_pointers.push_back(nullptr);
    }
    const unsigned short** get() { return m_pointers.data(); }

private:
    std::vector<QvUString> m_texts;
    std::vector<const unsigned short*> m_pointers;
};

const std::string kLong = "L" + std::string(90, 'o') + "ng";

// Declared in this order, so each port's ordinal is its position plus one.
const std::vector<XCatalogPort> kPorts = {
    {"ORDER_ID", {}, XCatalogType::integer()},                 // 1
    {"ORDER_IX", {}, XCatalogType::integer()},                 // 2
    {"OXDER_ID", {}, XCatalogType::integer()},                 // 3
    {"ORDER", {}, XCatalogType::integer()},                    // 4
    {"straße", {}, XCatalogType::integer()},                   // 5
    {"\u017Ftrip", {}, XCatalogType::integer()},               // 6: long s
    {"\u212AB", {}, XCatalogType::integer()},                  // 7: Kelvin sign
    {"ÄRGER", {}, XCatalogType::integer()},                    // 8
    {kLong, {}, XCatalogType::integer()},                      // 9
    {"NAME", {"SQ_ORDERS"}, XCatalogType::integer()},          // 10
    {"NAME", {"SQ_CUSTOMERS"}, XCatalogType::integer()},       // 11
    {"NAME", {"Folder", "SQ_Maße"}, XCatalogType::integer()},  // 12
    {"P", {}, XCatalogType::integer()},                        // 13
    {"P", {"T"}, XCatalogType::integer()},                     // 14
    {"Q", {"A", "T"}, XCatalogType::integer()},                // 15
    {"Q", {"B", "T"}, XCatalogType::integer()},                // 16
    {"R", {"T"}, XCatalogType::integer()},                     // 17
    {"R", {"A", "T"}, XCatalogType::integer()},                // 18
    {"R", {"B", "T"}, XCatalogType::integer()},                // 19
    {"A@B", {}, XCatalogType::integer()},                      // 20
};

struct PortRow {
    std::vector<std::string> qualifiers;  // nearest first
    std::string name;
    int ordinal;      // the port found; 0: none
    std::string why;  // the ambiguity text; empty: none
};

const std::string kAmbiguous = "the port name is ambiguous; qualify it as one of:";

TEST(XCatalogPortLookup, answersAsIcuUpperCasingDoes) {
    const PortRow rows[] = {
        {{}, "order_id", 1, ""},
        {{}, "Order_Ix", 2, ""},
        {{}, "oXdEr_iD", 3, ""},
        {{}, "ORDER", 4, ""},
        {{}, "ORDER_I", 0, ""},  // shorter than two names of its start
        {{}, "ORDER_IDS", 0, ""},
        {{}, "ORDER_IY", 0, ""},  // differs in the last letter only
        {{}, "", 0, ""},
        {{}, "NOPE", 0, ""},
        {{}, "strasse", 5, ""},  // ß upper-cases to SS
        {{}, "STRAßE", 5, ""},
        {{}, "STRASE", 0, ""},
        {{}, "STRIP", 6, ""},  // long s upper-cases to S
        {{}, "\u017FTRIP", 6, ""},
        {{}, "KB", 0, ""},  // the Kelvin sign is no K when upper-cased
        {{}, "\u212Ab", 7, ""},
        {{}, "ärger", 8, ""},
        {{}, "ÄRGEr", 8, ""},
        {{}, "arger", 0, ""},
        {{}, "a`b", 0, ""},  // ` is @ but for the bit that tells a from A
        {{}, "l" + std::string(90, 'O') + "NG", 9, ""},
        {{"sq_orders"}, "name", 10, ""},
        {{"Sq_Customers"}, "NAME", 11, ""},
        {{"SQ_MASSE"}, "Name", 12, ""},  // a qualifier folds like a name
        {{"sq_maße", "FOLDER"}, "name", 12, ""},
        {{"sq_maße", "FOLDEX"}, "name", 0, ""},
        {{"sq_orders", "FOLDER"}, "name", 0, ""},
        {{"SQ_ORDER"}, "NAME", 0, ""},
        {{"SQ_ORDERS", "X", "Y", "Z"}, "NAME", 0, ""},
        {{}, "name", 0, kAmbiguous + " SQ_CUSTOMERS.NAME SQ_ORDERS.NAME"},
        {{}, "p", 13, ""},  // the port that needs no unwritten qualifier
        {{"t"}, "p", 14, ""},
        {{"t"}, "order_id", 0, ""},
        {{"t"}, "q", 0, kAmbiguous + " B.T.Q A.T.Q"},  // newest first
        {{"T", "a"}, "Q", 15, ""},
        {{"t"}, "r", 17, ""},  // after a tie among ports that need more
    };
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    for (const XCatalogPort& port : kPorts) ASSERT_EQ(catalog->addPort(port, error), 0) << error;
    XCatalogContext context(catalog);
    for (const PortRow& row : rows) {
        SCOPED_TRACE(row.name);
        Qualifiers qualifiers(row.qualifiers);
        std::string why;
        int ordinal = 0;
        const XCatalogPort* port =
            catalog->findPort(qualifiers.get(), U(row.name).getBuffer(), why, &ordinal);
        EXPECT_EQ(port ? ordinal : 0, row.ordinal);
        EXPECT_EQ(why, row.why);
        XMetadataPort record;
        QvUString err, warn;
        const int status =
            context.findPort(qualifiers.get(), U(row.name).getBuffer(), &record, err, warn);
        EXPECT_EQ(status == 0 ? static_cast<int>(record.getPortId().toInteger()) : 0, row.ordinal);
        EXPECT_EQ(record.getRef().getPtr(), port);
    }
}

struct WidgetRow {
    std::vector<std::string> qualifiers;
    std::string name;
    bool found;
};

TEST(XCatalogPortLookup, widgetKindsAndNamesCompareWithoutCase) {
    const WidgetRow rows[] = {
        {{":lkp"}, "lkp_tier", true},   {{":Lkp"}, "LKP_TIEr", true},
        {{":LKP"}, "LKP_TIEX", false},  {{":LKP"}, "LKP_TIE", false},
        {{":LKP"}, "", false},          {{":sp"}, "lkp_tier", false},  // another kind's name
        {{":sp"}, "Größe", true},       {{":SP"}, "GRÖSSE", true},  // ß upper-cases to SS in names
        {{":\u017Fp"}, "grösse", true},  // and long s folds onto s in the kind
        {{":ext"}, "clean", true},      {{":EXTX"}, "CLEAN", false},
        {{":EX"}, "CLEAN", false},      {{":LKP\u00E9"}, "LKP_TIER", false},
        {{""}, "LKP_TIER", false},
    };
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    ASSERT_EQ(catalog->addWidget({XCatalogWidgetKind::lookup, "LKP_TIER", {}, {}}, error), 0);
    ASSERT_EQ(catalog->addWidget({XCatalogWidgetKind::storedProcedure, "größe", {}, {}}, error), 0);
    ASSERT_EQ(catalog->addWidget({XCatalogWidgetKind::externalProcedure, "CLEAN", {}, {}}, error),
              0);
    XCatalogContext context(catalog);
    for (const WidgetRow& row : rows) {
        SCOPED_TRACE(row.qualifiers[0] + " " + row.name);
        Qualifiers qualifiers(row.qualifiers);
        XMetadata* noArgs[] = {nullptr};
        XMetadataWidget record;
        QvUString err, warn;
        const int status = context.findWidget(qualifiers.get(), U(row.name).getBuffer(), noArgs,
                                              &record, err, warn);
        EXPECT_EQ(status != -1, row.found);
    }
}

// Widgets are indexed by kind: a number that names no kind finds nothing and
// cannot be declared.
TEST(XCatalogPortLookup, anUnknownWidgetKindIsRefused) {
    XCatalog catalog;
    std::string error;
    const auto unknown = static_cast<XCatalogWidgetKind>(3);
    EXPECT_EQ(catalog.addWidget({unknown, "W", {}, {}}, error), -1);
    EXPECT_NE(error.find("unknown kind"), std::string::npos) << error;
    EXPECT_EQ(catalog.findWidget(unknown, U("W").getBuffer()), nullptr);
}

// Every lookup a validator makes per reference, with ASCII names in any case,
// after one warm-up round: nothing may reach the heap, neither the lookup nor
// the record it fills. A name outside ASCII is folded by ICU, which the
// counter sees, so the zero is not for want of looking.
TEST(XCatalogPortLookup, asciiLookupsAllocateNothing) {
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    for (const XCatalogPort& port : kPorts) ASSERT_EQ(catalog->addPort(port, error), 0) << error;
    ASSERT_EQ(catalog->addMappingVariable({"$$MAX_ID", XCatalogType::bigint()}, error), 0);
    ASSERT_EQ(catalog->addWorkflowVariable({"$s_load.Status", XCatalogType::integer()}, error), 0);
    ASSERT_EQ(catalog->addWidget({XCatalogWidgetKind::lookup,
                                  "LKP_TIER",
                                  {XCatalogType::integer()},
                                  XCatalogType::string(10)},
                                 error),
              0);
    XCatalogContext context(catalog);
    Qualifiers none({}), orders({"Sq_Orders"}), nowhere({"SQ_NOWHERE"}), lookup({":lkp"});
    const struct {
        Qualifiers* qualifiers;
        QvUString name;
    } references[] = {{&none, U("order_id")}, {&none, U("Order_IX")}, {&orders, U("Name")},
                      {&nowhere, U("NAME")},  {&none, U("p")},        {&none, U("NOPE")},
                      {&none, U("")},         {&none, U(kLong)}};
    const QvUString mapVar = U("$$max_id"), workflowVar = U("$S_LOAD.status"), tier = U("lkp_Tier");
    XMetadataPort argument;
    XMetadata* args[] = {&argument, nullptr};

    for (int pass = 0; pass < 2; ++pass) {
        std::vector<XMetadataPort> ports(std::size(references));
        XMetadataMapVar var;
        XMetadataWorkflowVar wfVar;
        XMetadataWidget widget;
        ASSERT_EQ(widget.allocateArgMetadata(1), 0);
        std::string why;
        QvUString err, warn;
        const xalloccount::Usage usage = xalloccount::measure([&] {
            for (size_t i = 0; i < std::size(references); ++i) {
                const unsigned short* name = references[i].name.getBuffer();
                catalog->findPort(references[i].qualifiers->get(), name, why);
                context.findPort(references[i].qualifiers->get(), name, &ports[i], err, warn);
            }
            context.findMapVar(mapVar.getBuffer(), &var);
            context.findWorkflowVar(workflowVar.getBuffer(), &wfVar);
            context.findWidget(lookup.get(), tier.getBuffer(), args, &widget, err, warn);
        });
        if (pass == 1) {
            EXPECT_EQ(usage.allocated, 0u);
        }
        EXPECT_EQ(ports[2].getPortId().toInteger(), 10);
        EXPECT_EQ(var.getRef().getPtr(), catalog->findMappingVariable(mapVar.getBuffer()));
        EXPECT_EQ(widget.getNumArgs(), 1);
        EXPECT_TRUE(why.empty() && err.isEmpty());
    }
    const QvUString nonAscii = U("ärger");
    std::string why;
    const xalloccount::Usage folded =
        xalloccount::measure([&] { catalog->findPort(nullptr, nonAscii.getBuffer(), why); });
    EXPECT_GT(folded.allocated, 0u);
}

}  // namespace
