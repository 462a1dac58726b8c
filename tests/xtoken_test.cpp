// Type annotations and the name chains of qualified references.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtype.h"
#include "xanswers.h"

// Tests may build and destroy allocators, which only the parser and the tree
// may otherwise do.
class XTokNameAllocatorAccess {
public:
    static std::unique_ptr<XTokNameAllocator> make() { return std::unique_ptr<XTokNameAllocator>(new XTokNameAllocator()); }
    static XTokName* head(const XTokNameAllocator& a) { return a.m_head; }
};

namespace {

// Every row, and types without one (uninitialised, FIXED decimals, custom
// types, bounds) sharing the invalid type's text.
TEST(TypeAnnotationTest, AnnotationOfType) {
    std::string out;
    for (int type : {1007, 1003, 1014, 1002, 1017, 1005, 1012, 1013, 1016, 1006, 1021, 1020, -2, -1, -4, 1009, 1010,
                     1015, 1022, 1032, 1033, 0, 1004})
        out += XToken::getTypeAnnotation(XType(type)).toUtf8() + " ";
    EXPECT_EQ(out, "t: s: u: i: bi: f: d1: d2: d3: b: bl: nl: ?: ?: ?: ?: ?: ?: ?: ?: ?: ?: ?: ");
    EXPECT_EQ(&XToken::getTypeAnnotation(XType(1022)), &XToken::getTypeAnnotation(XType(-2)));
}

class XTokNameTest : public testing::Test {
protected:
    // Builds A.B.C from the right, as the grammar does.
    XTokName* chain(std::initializer_list<const char*> names) {
        XTokName* head = nullptr;
        for (auto it = std::rbegin(names); it != std::rend(names); ++it) {
            QvUString n = qvU(*it);
            XTokName* t = alloc->allocToken(&n, 1);
            head = head ? head->prepend(t) : t;
        }
        return head;
    }
    static std::string name(const XTokName* t) { return t ? t->getName().toUtf8() : "<null>"; }
    // "last, second from last, qualifiers nearest first".
    static std::string shape(XTokName* t) {
        std::string out = name(t->getLast()) + ", " + name(t->getSecondFromLast()) + ",";
        for (const unsigned short** q = t->getNameQualifiers(); *q; ++q) out += " " + QvUString(*q).toUtf8();
        return out;
    }

    std::unique_ptr<XTokNameAllocator> alloc = XTokNameAllocatorAccess::make();
};

// A second call for the qualifiers replaces the array (ASan would see the
// first one leak); removing the last component shortens the chain.
TEST_F(XTokNameTest, LastQualifiersAndRemoval) {
    XTokName* abc = chain({"A", "B", "C"});
    EXPECT_EQ(shape(abc), "C, B, B A");
    EXPECT_EQ(shape(abc), "C, B, B A");
    EXPECT_EQ(name(abc->removeLast()), "C");
    EXPECT_EQ(shape(abc), "B, A, A");
    XTokName* single = chain({"X"});
    EXPECT_EQ(single->removeLast(), nullptr);
    EXPECT_EQ(shape(single), "X, <null>,");
}

// Equal chains are case-sensitive and level-aware; a copy shares the tail.
TEST_F(XTokNameTest, IsSameAndCopies) {
    XTokName* ab = chain({"A", "B"});
    EXPECT_EQ(xtestsupport::answers({ab->isSame(chain({"A", "B"})), chain({"A", "b"})->isSame(ab),
                                     ab->isSame(chain({"A", "B", "C"})), chain({"B"})->isSame(ab),
                                     ab->isSame(nullptr)}), "1 0 0 0 0");
    XTokName copy(ab);
    EXPECT_TRUE(copy.getNext() == ab->getNext() && copy.getNextInFreeList() == nullptr && copy.isSame(ab) == 1);
}

// Exposes the protected level operations.
struct LevelledTokName : XTokName {
    using XTokName::XTokName, XTokName::decrementLevel, XTokName::getLevel, XTokName::setLevel;
};

TEST(XTokNameLevelTest, DecrementLevelStopsAtZeroDownTheChain) {
    LevelledTokName c(qvU("C"), 1, nullptr);
    LevelledTokName b(qvU("B"), 2, &c);
    LevelledTokName a(qvU("A"), 3, &b);
    EXPECT_EQ(xtestsupport::answers({a.decrementLevel(), b.getLevel(), c.getLevel(), a.decrementLevel(), c.getLevel()}),
              "2 1 0 1 0");
    c.setLevel(0);
    EXPECT_THROW(c.getNameQualifiers(), QvAssertFailure);
}

// Newest first: the free list reaches every token, so the destructor frees
// all of them (ASan reports any that it misses); long names own heap text.
TEST(XTokNameAllocatorTest, OwnsEveryTokenItCreated) {
    std::unique_ptr<XTokNameAllocator> alloc = XTokNameAllocatorAccess::make();
    EXPECT_EQ(XTokNameAllocatorAccess::head(*alloc), nullptr);
    std::vector<std::string> names, listed;
    for (int i = 0; i < 3000; ++i) {
        names.push_back((i % 2 ? "name_" : "a_rather_long_column_name_") + std::to_string(i));
        const QvUString name = qvU(names.back());
        EXPECT_EQ(alloc->allocToken(&name, i % 3)->getNext(), nullptr);
    }
    for (XTokName* t = XTokNameAllocatorAccess::head(*alloc); t; t = t->getNextInFreeList())
        listed.push_back(t->getName().toUtf8());
    EXPECT_EQ(std::vector<std::string>(listed.rbegin(), listed.rend()), names);
    EXPECT_TRUE(alloc->allocToken(nullptr, 1)->getName().isEmpty());
}

}  // namespace
