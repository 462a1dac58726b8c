// Several threads at once, as an embedder runs them: each thread has its own
// parser and catalog context over one shared read-only catalog, all set the
// process settings up at the same time, and the trees they build are deleted
// by another thread. Run under ThreadSanitizer (the tsan preset), a data race
// anywhere on these paths fails the run; everywhere, every thread must get
// the results a single thread gets.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qvcmnexpr/xcatalog.h"
#include "qvcmnexpr/xcatalogcontext.h"
#include "qvcmnexpr/xparser.h"
#include "qvcmnexpr/xptree.h"

namespace {

// The last two: a syntax error and an unknown name.
const char* const kExpressions[] = {
    "QTY * 2 + PRICE", "IIF(QTY > 10, 'many', 'few')", "SUBSTR(NAME, 1, 3) || TO_CHAR(QTY)", "TWICE(QTY) / 3.5",
    "DECODE(QTY, 1, 'one', 2, 'two', 'other')", "1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1",
    "QTY +", "UNKNOWN_PORT + 1"};
constexpr int kThreads = 4;
constexpr int kRounds = 25;

std::shared_ptr<const XCatalog> sharedCatalog() {
    auto catalog = std::make_shared<XCatalog>();
    std::string error;
    const char* text = R"j({"settings": {"highPrecision": true, "decimalMaxPrecision": 28}, "ports": [{"name": "QTY",
      "type": "int"}, {"name": "PRICE", "type": "decimal(12,2)"}, {"name": "NAME", "type": "string(40)"}],
      "functions": [{"name": "TWICE", "arguments": ["int"], "result": "int"}]})j";
    EXPECT_EQ(XCatalog::loadJsonText(text, "threads.json", *catalog, error), 0) << error;
    return catalog;
}

// Trees handed over by the parsing threads, deleted by a thread of its own;
// a null tree closes the queue.
struct Disposal {
    void hand(XParsedTree* tree) {
        std::lock_guard<std::mutex> hold(lock);
        trees.push_back(tree);
        ready.notify_one();
    }
    void run() {
        for (std::unique_lock<std::mutex> hold(lock);;) {
            ready.wait(hold, [this] { return !trees.empty(); });
            std::unique_ptr<XParsedTree> tree(trees.front());
            trees.pop_front();
            if (!tree) return;
            hold.unlock();
            tree.reset();  // outside the lock: deleting races with the parsing threads
            hold.lock();
        }
    }
    std::mutex lock;
    std::condition_variable ready;
    std::deque<XParsedTree*> trees;
};

// What a parse of each expression returned and the error text it gave.
std::vector<std::string> parseAll(const std::shared_ptr<const XCatalog>& catalog, Disposal* disposal) {
    XCatalogContext context(catalog);
    EXPECT_EQ(context.applySettings(nullptr), 0);
    XParser parser;
    parser.setParserContext(&context, 0);
    std::vector<std::string> results;
    for (const char* expression : kExpressions) {
        QvUString text = QvUString::fromUtf8(expression);
        XParsedTree* tree = nullptr;
        QvUString errors, warnings;
        const int status = parser.parse(text.getBuffer(), tree, errors, warnings);
        results.push_back(std::to_string(status) + " " + errors.toUtf8());
        if (disposal && tree) disposal->hand(tree);
        else delete tree;
    }
    return results;
}

TEST(XThreadsTest, ThreadsWithOwnParsersShareOneCatalog) {
    const std::shared_ptr<const XCatalog> catalog = sharedCatalog();
    Disposal disposal;
    std::thread deleter([&] { disposal.run(); });
    std::vector<std::vector<std::string>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] { for (int r = 0; r < kRounds; ++r) seen[t] = parseAll(catalog, &disposal); });
    for (std::thread& thread : threads) thread.join();
    disposal.hand(nullptr);
    deleter.join();
    const std::vector<std::string> alone = parseAll(catalog, nullptr);
    EXPECT_EQ(alone[0].substr(0, 2), "0 ");
    for (const auto& results : seen) EXPECT_EQ(results, alone);
}

}  // namespace
