// Validation resolves every port reference through the catalog, so finding
// a port by an unqualified ASCII name, the usual case, must take nothing
// from the heap; qualified, non-ASCII and ambiguous names may.
#include <gtest/gtest.h>

#include <string>

#include "qvcmnexpr/xcatalog.h"
#include "xalloccount.h"

namespace {

TEST(XCatalogPortLookup, UnqualifiedAsciiNamesAreFoundWithoutTheHeap) {
    XCatalog catalog;
    std::string error;
    for (const char* name : {"QTY", "CUSTOMER_LIFETIME_VALUE_AMOUNT", "STATUS"})
        ASSERT_EQ(catalog.addPort({name, {"SQ_A"}, XCatalogType::integer()}, error), 0) << error;
    ASSERT_EQ(catalog.addPort({"STATUS", {"SQ_B"}, XCatalogType::integer()}, error), 0) << error;
    struct Row {
        const char* written;
        const char* found;  // null: none
    };
    const Row rows[] = {
        {"qty", "QTY"},
        {"Customer_Lifetime_Value_Amount", "CUSTOMER_LIFETIME_VALUE_AMOUNT"},
        {"NOPE", nullptr},
        {"STATUS", nullptr},  // ambiguous: the reason is text, built only then
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.written);
        const QvUString name = QvUString::fromUtf8(row.written);
        std::string why;
        const XCatalogPort* port = nullptr;
        const size_t used =
            xalloccount::measure([&] { port = catalog.findPort(nullptr, name.getBuffer(), why); }).allocated;
        if (!row.found) {
            EXPECT_EQ(port, nullptr);
            continue;
        }
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(port->name, row.found);
        EXPECT_EQ(used, 0u);
    }
}

}  // namespace
