// Validation resolves every reference through the catalog, so the lookups it
// makes per reference with ASCII names in any case, and the records they
// fill, must take nothing from the heap after one warm-up round. A name
// outside ASCII is folded by ICU, which the counter sees, so the zero is not
// for want of looking.
#include <gtest/gtest.h>

#include "cattest_support.h"
#include "xalloccount.h"

namespace {

using namespace cattest;

TEST(XCatalogPortLookup, AsciiLookupsAllocateNothing) {
    const std::string kLong = "L" + std::string(90, 'o') + "ng";
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    const std::pair<std::string, std::vector<std::string>> ports[] = {
        {"ORDER_ID", {}},
        {"CUSTOMER_LIFETIME_VALUE_AMOUNT", {"SQ_A"}},
        {kLong, {}},
        {"NAME", {"SQ_ORDERS"}}, {"NAME", {"SQ_CUSTOMERS"}}, {"P", {}}, {"P", {"T"}}};
    for (const auto& [name, qualifiers] : ports)
        ASSERT_EQ(catalog->addPort({name, qualifiers, XCatalogType::integer()}, error), 0) << error;
    ASSERT_EQ(catalog->addMappingVariable({"$$MAX_ID", XCatalogType::bigint()}, error), 0);
    ASSERT_EQ(catalog->addWorkflowVariable({"$s_load.Status", XCatalogType::integer()}, error), 0);
    ASSERT_EQ(catalog->addWidget({XCatalogWidgetKind::lookup, "LKP_TIER", {XCatalogType::integer()}, {}}, error), 0);
    XCatalogContext context(catalog);
    Qualifiers none({}), orders({"Sq_Orders"}), nowhere({"SQ_NOWHERE"}), lookup({":lkp"});
    const struct { Qualifiers* qualifiers; QvUString name; } references[] = {
        {&none, qvU("order_id")},
        {&none, qvU("Customer_Lifetime_Value_Amount")},
        {&orders, qvU("Name")},
        {&nowhere, qvU("NAME")},
        {&none, qvU("p")},
        {&none, qvU("NOPE")},
        {&none, qvU("")},
        {&none, qvU(kLong)}};
    const QvUString mapVar = qvU("$$max_id"), workflowVar = qvU("$S_LOAD.status"), tier = qvU("lkp_Tier");
    Args args({0});
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<XMetadataPort> records(std::size(references));
        std::vector<const XCatalogPort*> found(std::size(references));
        XMetadataMapVar var;
        XMetadataWorkflowVar wfVar;
        XMetadataWidget widget;
        ASSERT_EQ(widget.allocateArgMetadata(1), 0);
        std::string why;
        QvUString err, warn;
        const xalloccount::Usage usage = xalloccount::measure([&] {
            for (size_t i = 0; i < std::size(references); ++i) {
                const unsigned short* name = references[i].name.getBuffer();
                found[i] = catalog->findPort(references[i].qualifiers->get(), name, why);
                context.findPort(references[i].qualifiers->get(), name, &records[i], err, warn);
            }
            context.findMapVar(mapVar.getBuffer(), &var);
            context.findWorkflowVar(workflowVar.getBuffer(), &wfVar);
            context.findWidget(lookup.get(), tier.getBuffer(), args.get(), &widget, err, warn);
        });
        EXPECT_EQ(usage.allocated, pass == 0 ? usage.allocated : 0u);
        std::string ids;
        for (size_t i = 0; i < records.size(); ++i)
            ids += answers({records[i].getPortId().toInteger(), found[i] != nullptr}) + " ";
        EXPECT_EQ(ids, "1 1 2 1 4 1 0 0 6 1 0 0 0 0 3 1 ");
        EXPECT_EQ(var.getRef().getPtr(), catalog->findMappingVariable(mapVar.getBuffer()));
        EXPECT_EQ(wfVar.getRef().getPtr(), catalog->findWorkflowVariable(workflowVar.getBuffer()));
        EXPECT_EQ(widget.getRef().getPtr(), catalog->findWidget(XCatalogWidgetKind::lookup, tier.getBuffer()));
        EXPECT_TRUE(why.empty() && err.isEmpty());
    }
    const QvUString nonAscii = qvU("ärger");
    std::string why;
    EXPECT_GT(xalloccount::measure([&] { catalog->findPort(nullptr, nonAscii.getBuffer(), why); }).allocated, 0u);
}

}  // namespace
