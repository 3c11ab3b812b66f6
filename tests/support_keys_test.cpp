// The keyed collection and KeyExists.
#include "support_testutil.h"
#include "KeyedCollection.h"
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace rud;

namespace {
template <typename T>
std::vector<std::wstring> Keys(const KeyedCollection<T>& c) {
    std::vector<std::wstring> out;
    for (const auto& e : c) out.push_back(e.first);
    return out;
}

} // namespace

TEST(KeyedCollection, KeepsInsertionOrderAndFindsKeysInAnyCase) {
    KeyedCollection<int> c;
    c.Add(L"C:\\b.kvd", 2);
    c.Add(L"C:\\A.kvd", 1);
    c.Add(L"c:\\c.KVD", 3);
    EXPECT_EQ(c.Count(), 3u);
    EXPECT_EQ(Keys(c), (std::vector<std::wstring>{L"C:\\b.kvd", L"C:\\A.kvd", L"c:\\c.KVD"}));
    EXPECT_EQ(c.Item(L"c:\\a.KVD"), 1);
    EXPECT_EQ(c.Item(L"C:\\C.kvd"), 3);
    EXPECT_TRUE(c.Contains(L"C:\\B.KVD"));
    EXPECT_FALSE(c.Contains(L"C:\\b.kvd "));
}

TEST(KeyedCollection, RemoveKeepsTheOrderOfTheRest) {
    KeyedCollection<int> c;
    for (int i = 0; i < 5; ++i) c.Add(L"k" + std::to_wstring(i), i);
    c.Remove(L"K2");
    c.Remove(L"k0");
    EXPECT_EQ(Keys(c), (std::vector<std::wstring>{L"k1", L"k3", L"k4"}));
    c.Add(L"k2", 22);
    EXPECT_EQ(Keys(c), (std::vector<std::wstring>{L"k1", L"k3", L"k4", L"k2"}));
    EXPECT_EQ(c.Item(L"K2"), 22);
    c.Clear();
    EXPECT_EQ(c.Count(), 0u);
    EXPECT_FALSE(c.Contains(L"k1"));
}

TEST(KeyedCollection, DuplicateKeyInOtherCaseIsError457) {
    KeyedCollection<int> c;
    c.Add(L"Doc.kvd", 1);
    AddInError e = CaughtFrom([&] { c.Add(L"DOC.KVD", 2); });
    EXPECT_EQ(e.number(), 457);
    EXPECT_EQ(e.description(), L"This key is already associated with an element of this collection");
    EXPECT_EQ(c.Count(), 1u);
    EXPECT_EQ(c.Item(L"doc.kvd"), 1);
}

TEST(KeyedCollection, MissingKeyIsError5) {
    KeyedCollection<int> c;
    c.Add(L"a", 1);
    AddInError e1 = CaughtFrom([&] { (void)c.Item(L"b"); });
    EXPECT_EQ(e1.number(), 5);
    EXPECT_EQ(e1.description(), L"Invalid procedure call or argument");
    AddInError e2 = CaughtFrom([&] { c.Remove(L"b"); });
    EXPECT_EQ(e2.number(), 5);
    EXPECT_EQ(c.Count(), 1u);
}

TEST(KeyedCollection, LettersBeyondAsciiCompareWithoutCase) {
    KeyedCollection<int> c;
    c.Add(L"C:\\\u00c4rger\\\u0416.kvd", 1);
    EXPECT_TRUE(c.Contains(L"c:\\\u00e4RGER\\\u0436.KVD"));
    EXPECT_FALSE(c.Contains(L"C:\\Arger\\\u0416.kvd"));
}

TEST(KeyedCollection, HoldsSharedItemsWithoutCopying) {
    KeyedCollection<std::shared_ptr<int>> c;
    auto item = std::make_shared<int>(7);
    c.Add(L"x", item);
    EXPECT_EQ(item.use_count(), 2);
    c.Remove(L"X");
    EXPECT_EQ(item.use_count(), 1);
}

TEST(KeyExists, EmptyCollectionGivesFalse) {
    KeyedCollection<int> c;
    EXPECT_FALSE(KeyExists(c, L"C:\\a.kvd"));
    EXPECT_FALSE(KeyExists(c, L""));
}

TEST(KeyExists, OtherLetterCaseGivesTrue) {
    KeyedCollection<std::shared_ptr<int>> c;
    c.Add(L"C:\\Docs\\Report.kvd", std::make_shared<int>(1));
    EXPECT_TRUE(KeyExists(c, L"c:\\docs\\report.KVD"));
    EXPECT_TRUE(KeyExists(c, L"C:\\Docs\\Report.kvd"));
    EXPECT_FALSE(KeyExists(c, L"C:\\Docs\\Report2.kvd"));
    EXPECT_FALSE(KeyExists(c, L""));
    static_assert(noexcept(KeyExists(c, L"")), "KeyExists never passes an error on");
}
