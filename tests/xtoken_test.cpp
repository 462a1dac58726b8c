// Type annotations and the name chains of qualified references.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qvcmnasrt.h"
#include "qvcmnexpr/xtoken.h"
#include "qvcmnexpr/xtype.h"
#include "xtokentables.h"

// Tests may build and destroy allocators, which only the parser and the tree
// may otherwise do.
class XTokNameAllocatorAccess {
public:
    static std::unique_ptr<XTokNameAllocator> make() { return std::unique_ptr<XTokNameAllocator>(new XTokNameAllocator()); }
    static XTokName* head(const XTokNameAllocator& a) { return a.m_head; }
};

namespace {

std::string utf8(const QvUString& s) { return s.toUtf8(); }

// ---- type annotations ----

struct AnnotationCase {
    int type;
    const char* annotation;
};

class TypeAnnotationTest : public testing::TestWithParam<AnnotationCase> {};

TEST_P(TypeAnnotationTest, AnnotationOfType) {
    EXPECT_EQ(utf8(XToken::getTypeAnnotation(XType(GetParam().type))), GetParam().annotation);
}

INSTANTIATE_TEST_SUITE_P(
    AllRows, TypeAnnotationTest,
    testing::Values(AnnotationCase{1007, "t:"}, AnnotationCase{1003, "s:"}, AnnotationCase{1014, "u:"},
                    AnnotationCase{1002, "i:"}, AnnotationCase{1017, "bi:"}, AnnotationCase{1005, "f:"},
                    AnnotationCase{1012, "d1:"}, AnnotationCase{1013, "d2:"}, AnnotationCase{1016, "d3:"},
                    AnnotationCase{1006, "b:"}, AnnotationCase{1021, "bl:"}, AnnotationCase{1020, "nl:"},
                    AnnotationCase{-2, "?:"}));

// Types without a row: uninitialised, FIXED decimals, custom types, bounds.
INSTANTIATE_TEST_SUITE_P(Unknown, TypeAnnotationTest,
                         testing::Values(AnnotationCase{-1, "?:"}, AnnotationCase{-4, "?:"},
                                         AnnotationCase{1009, "?:"}, AnnotationCase{1010, "?:"},
                                         AnnotationCase{1015, "?:"}, AnnotationCase{1022, "?:"},
                                         AnnotationCase{1032, "?:"}, AnnotationCase{1033, "?:"},
                                         AnnotationCase{0, "?:"}, AnnotationCase{1004, "?:"}));

TEST(TypeAnnotationTableTest, ThirteenRowsStrictlyAscending) {
    ASSERT_EQ(gTypeAnnotationCount, 13);
    for (int i = 1; i < gTypeAnnotationCount; ++i)
        EXPECT_LT(gTypeAnnotationTable[i - 1].type, gTypeAnnotationTable[i].type) << "row " << i;
}

TEST(TypeAnnotationTableTest, LookupReturnsSameStringEachTime) {
    EXPECT_EQ(&XToken::getTypeAnnotation(XType(1002)), &XToken::getTypeAnnotation(XType(1002)));
    // Every unknown type shares the invalid type's text.
    EXPECT_EQ(&XToken::getTypeAnnotation(XType(1022)), &XToken::getTypeAnnotation(XType(-2)));
}

// ---- name chains ----

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

    std::unique_ptr<XTokNameAllocator> alloc = XTokNameAllocatorAccess::make();
};

TEST_F(XTokNameTest, LastAndSecondFromLast) {
    XTokName* abc = chain({"A", "B", "C"});
    EXPECT_EQ(name(abc), "A");
    EXPECT_EQ(name(abc->getLast()), "C");
    EXPECT_EQ(name(abc->getSecondFromLast()), "B");

    XTokName* single = chain({"X"});
    EXPECT_EQ(single->getLast(), single);
    EXPECT_EQ(single->getSecondFromLast(), nullptr);
}

TEST_F(XTokNameTest, QualifiersNearestFirst) {
    XTokName* abc = chain({"A", "B", "C"});
    const unsigned short** q = abc->getNameQualifiers();
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(QvUString(q[0]).toUtf8(), "B");
    EXPECT_EQ(QvUString(q[1]).toUtf8(), "A");
    EXPECT_EQ(q[2], nullptr);
    // A second call replaces the array (ASan would see the first one leak).
    const unsigned short** again = abc->getNameQualifiers();
    EXPECT_EQ(QvUString(again[0]).toUtf8(), "B");
}

TEST_F(XTokNameTest, SingleComponentHasNoQualifiers) {
    const unsigned short** q = chain({"X"})->getNameQualifiers();
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q[0], nullptr);
}

// Exposes the protected level operations.
struct LevelledTokName : XTokName {
    using XTokName::XTokName;
    using XTokName::decrementLevel;
    using XTokName::getLevel;
    using XTokName::setLevel;
};

TEST(XTokNameLevelTest, DecrementLevelStopsAtZeroDownTheChain) {
    LevelledTokName c(qvU("C"), 1, nullptr);
    LevelledTokName b(qvU("B"), 2, &c);
    LevelledTokName a(qvU("A"), 3, &b);
    EXPECT_EQ(a.decrementLevel(), 2);
    EXPECT_EQ(b.getLevel(), 1);
    EXPECT_EQ(c.getLevel(), 0);
    EXPECT_EQ(a.decrementLevel(), 1);
    EXPECT_EQ(c.getLevel(), 0);
}

TEST(XTokNameLevelTest, QualifiersOfLevelZeroIsInvariant) {
    LevelledTokName x(qvU("X"), 1, nullptr);
    x.setLevel(0);
    EXPECT_THROW(x.getNameQualifiers(), QvAssertFailure);
}

TEST_F(XTokNameTest, RemoveLastShortensChain) {
    XTokName* abc = chain({"A", "B", "C"});
    XTokName* removed = abc->removeLast();
    EXPECT_EQ(name(removed), "C");
    EXPECT_EQ(name(abc->getLast()), "B");
    const unsigned short** q = abc->getNameQualifiers();  // level 2 now
    EXPECT_EQ(QvUString(q[0]).toUtf8(), "A");
    EXPECT_EQ(q[1], nullptr);

    XTokName* single = chain({"X"});
    EXPECT_EQ(single->removeLast(), nullptr);
    EXPECT_EQ(single->getNameQualifiers()[0], nullptr);  // still level 1
}

TEST_F(XTokNameTest, IsSameIsCaseSensitiveAndLevelAware) {
    EXPECT_EQ(chain({"A", "B"})->isSame(chain({"A", "B"})), 1);
    EXPECT_EQ(chain({"A", "b"})->isSame(chain({"A", "B"})), 0);
    EXPECT_EQ(chain({"A", "B"})->isSame(chain({"A", "B", "C"})), 0);
    EXPECT_EQ(chain({"B"})->isSame(chain({"A", "B"})), 0);
    EXPECT_EQ(chain({"A"})->isSame(nullptr), 0);
}

TEST_F(XTokNameTest, CopyConstructorSharesTail) {
    XTokName* ab = chain({"A", "B"});
    XTokName copy(ab);
    EXPECT_EQ(name(&copy), "A");
    EXPECT_EQ(copy.getNext(), ab->getNext());
    EXPECT_EQ(copy.getNextInFreeList(), nullptr);
    EXPECT_EQ(copy.isSame(ab), 1);
}

TEST_F(XTokNameTest, SettersReplaceNameAndLink) {
    XTokName* a = chain({"A"});
    XTokName* b = chain({"B"});
    a->setName(qvU("Z"));
    a->setNext(b);
    EXPECT_EQ(name(a), "Z");
    EXPECT_EQ(a->getNext(), b);
}

TEST(XTokNameAllocatorTest, OwnsEveryTokenItCreated) {
    std::unique_ptr<XTokNameAllocator> alloc = XTokNameAllocatorAccess::make();
    EXPECT_EQ(XTokNameAllocatorAccess::head(*alloc), nullptr);
    QvUString n = qvU("N");
    XTokName* first = alloc->allocToken(&n, 1);
    XTokName* second = alloc->allocToken(&n, 1);
    XTokName* third = alloc->allocToken(&n, 1);
    ASSERT_TRUE(first && second && third);
    // Newest first: the list reaches every token, so the destructor frees all
    // of them (ASan reports any that it misses).
    EXPECT_EQ(XTokNameAllocatorAccess::head(*alloc), third);
    EXPECT_EQ(third->getNextInFreeList(), second);
    EXPECT_EQ(second->getNextInFreeList(), first);
    EXPECT_EQ(first->getNextInFreeList(), nullptr);
    EXPECT_EQ(first->getNext(), nullptr);
    EXPECT_EQ(first->getName().toUtf8(), "N");
}

TEST(XTokNameAllocatorTest, ManyTokensKeepTheirNamesAndTheListOrder) {
    std::unique_ptr<XTokNameAllocator> alloc = XTokNameAllocatorAccess::make();
    std::vector<XTokName*> tokens;
    for (int i = 0; i < 3000; ++i) {
        // Long names do not fit a string's own room: they own heap text too.
        const QvUString name = qvU((i % 2 ? "name_" : "a_rather_long_column_name_") + std::to_string(i));
        tokens.push_back(alloc->allocToken(&name, i % 3));
        ASSERT_NE(tokens.back(), nullptr);
    }
    XTokName* t = XTokNameAllocatorAccess::head(*alloc);
    for (int i = 2999; i >= 0; --i, t = t->getNextInFreeList()) {
        ASSERT_EQ(t, tokens[static_cast<size_t>(i)]);
        EXPECT_EQ(t->getName().toUtf8(),
                  (i % 2 ? "name_" : "a_rather_long_column_name_") + std::to_string(i));
    }
    EXPECT_EQ(t, nullptr);
}

TEST(XTokNameAllocatorTest, NullNameGivesEmptyComponent) {
    std::unique_ptr<XTokNameAllocator> alloc = XTokNameAllocatorAccess::make();
    XTokName* t = alloc->allocToken(nullptr, 1);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->getName().isEmpty());
}

}  // namespace
