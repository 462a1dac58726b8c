// What the catalog tests share: the null-terminated lists the validator hands
// the context (qualifiers nearest first, argument records) and catalogs
// loaded from JSON text.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qvcmnexpr/xcatalogcontext.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvi18n.h"
#include "xrecordtext.h"

namespace cattest {

using xtestsupport::answers;

struct Qualifiers {
    explicit Qualifiers(const std::vector<std::string>& names) {
        for (const std::string& name : names) texts.push_back(qvU(name));
        for (const QvUString& text : texts) pointers.push_back(text.getBuffer());
        pointers.push_back(nullptr);
    }
    const unsigned short** get() { return pointers.data(); }
    std::vector<QvUString> texts;
    std::vector<const unsigned short*> pointers;
};

// Argument records, one per entry of `constness`.
struct Args {
    explicit Args(const std::vector<int>& constness) : records(constness.size()) {
        for (size_t i = 0; i < records.size(); ++i) records[i].setIsConst(constness[i]);
        for (XMetadata& record : records) pointers.push_back(&record);
        pointers.push_back(nullptr);
    }
    XMetadata** get() { return pointers.data(); }
    std::vector<XMetadata> records;
    std::vector<XMetadata*> pointers;
};

inline std::shared_ptr<XCatalog> loaded(const std::string& json) {
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    EXPECT_EQ(XCatalog::loadJsonText(json, "cat.json", *catalog, error), 0) << error;
    return catalog;
}

}  // namespace cattest
