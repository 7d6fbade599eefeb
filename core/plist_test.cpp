#include "core/plist.hpp"

#include <gtest/gtest.h>

#include "core/testing/test_lists.hpp"

namespace fwk {
namespace {

// A list of `slots` entries whose first entries are the given pairs.
ParamListPtr make_list(TestPairs pairs, size_t slots) {
  return test_list(pairs, slots - pairs.size());
}

TEST(TextCompareNocase, EqualOnlyWithSameLengthAndLettersAgreeingApartFromCase) {
  EXPECT_EQ(text_compare_nocase("DATABASE", "database"), 0);
  EXPECT_EQ(text_compare_nocase("", ""), 0);
  EXPECT_NE(text_compare_nocase("abc", "ab"), 0);
  EXPECT_NE(text_compare_nocase("", "a"), 0);
  EXPECT_LT(text_compare_nocase("ab", "abc"), 0);
  EXPECT_GT(text_compare_nocase("b", "A"), 0);
  // Only ASCII letters fold: "[" and "{" are different characters.
  EXPECT_NE(text_compare_nocase("[", "{"), 0);
  EXPECT_NE(text_compare_nocase("\xC9", "\xE9"), 0);
}

TEST(TextDup, AbsentGivesEmptyAndDupNStopsAtLimitOrEnd) {
  EXPECT_EQ(text_dup(nullptr), "");
  EXPECT_EQ(text_dup("abc"), "abc");
  EXPECT_EQ(text_dup_n("abcdef", 3), "abc");
  EXPECT_EQ(text_dup_n("ab", 10), "ab");
  EXPECT_EQ(text_dup_n(nullptr, 4), "");
}

TEST(PlistFind, IgnoresCaseAndReturnsFirstMatchAcrossBlocks) {
  ParamListPtr list = make_list({{"database", "sales"}, {"X", "1"}, {"x", "2"}}, 3);
  ASSERT_NE(plist_find(list.get(), "DATABASE"), nullptr);
  EXPECT_EQ(*plist_find(list.get(), "DATABASE")->value, "sales");
  EXPECT_EQ(*plist_find(list.get(), "x")->value, "1");
  EXPECT_EQ(plist_find(list.get(), "missing"), nullptr);
  EXPECT_EQ(plist_find(nullptr, "x"), nullptr);
  EXPECT_EQ(plist_get(nullptr, "x", "dflt"), std::string("dflt"));

  plist_extend(list.get(), 2);
  ASSERT_EQ(plist_set(list.get(), "later", "v"), 1);
  EXPECT_EQ(plist_find(list.get(), "later"), &list->next->entries[0]);
}

TEST(PlistFind, StopsAtFirstAbsentNameButContinuesInNextBlock) {
  ParamListPtr list = make_list({{"a", "1"}}, 3);
  list->entries[2].name = "hidden";  // after the end of the used part
  EXPECT_EQ(plist_find(list.get(), "hidden"), nullptr);
  plist_extend(list.get(), 1);
  pair_set_name(list->next->entries[0], "b");
  EXPECT_NE(plist_find(list.get(), "b"), nullptr);
}

TEST(PlistGet, EmptyOrAbsentValueGivesTheDefaultItself) {
  ParamListPtr list = make_list({{"a", ""}, {"b", nullptr}, {"c", "x"}}, 3);
  const char* dflt = "x-default";
  EXPECT_EQ(plist_get(list.get(), "a", dflt), dflt);
  EXPECT_EQ(plist_get(list.get(), "b", dflt), dflt);
  EXPECT_EQ(plist_get(list.get(), "zz", dflt), dflt);
  EXPECT_STREQ(plist_get(list.get(), "C", dflt), "x");
  EXPECT_NE(plist_find(list.get(), "a"), nullptr);
  EXPECT_NE(plist_find(list.get(), "b"), nullptr);
}

TEST(PlistRename, DeletingMakesAFreeSlotThatKeepsItsStaleValue) {
  ParamListPtr list = make_list({{"a", "old"}, {"b", "2"}}, 2);
  EXPECT_EQ(plist_rename(list.get(), "a", nullptr), 1);
  EXPECT_EQ(plist_find(list.get(), "a"), nullptr);
  Pair* slot = plist_find(list.get(), "");
  ASSERT_EQ(slot, &list->entries[0]);
  EXPECT_EQ(*slot->value, "old");
  // Later entries stay reachable past the free slot.
  EXPECT_STREQ(plist_get(list.get(), "b", ""), "2");
  // Claiming the free slot by renaming "" keeps the stale value.
  EXPECT_EQ(plist_rename(list.get(), "", "n"), 1);
  EXPECT_STREQ(plist_get(list.get(), "n", ""), "old");
  EXPECT_EQ(plist_rename(list.get(), "missing", "m"), 0);
}

TEST(PlistRename, DeleteAllIdiomRemovesEveryEntryOfTheName) {
  ParamListPtr list = make_list({{"k", "1"}, {"K", "2"}, {"j", "3"}}, 3);
  while (plist_rename(list.get(), "k", nullptr)) {
  }
  EXPECT_EQ(plist_find(list.get(), "k"), nullptr);
  EXPECT_STREQ(plist_get(list.get(), "j", ""), "3");
}

TEST(PlistSet, ReusesFreeSlotsAndFailsOnlyWhenFull) {
  ParamListPtr list = make_list({{"a", "1"}, {"b", "2"}}, 2);
  EXPECT_EQ(plist_set(list.get(), "A", "9"), 1);
  EXPECT_STREQ(plist_get(list.get(), "a", ""), "9");
  EXPECT_EQ(*list->entries[0].name, "a");  // the name keeps its spelling

  EXPECT_EQ(plist_set(list.get(), "c", "3"), 0);
  EXPECT_EQ(plist_find(list.get(), "c"), nullptr);

  plist_extend(list.get(), 128);
  ASSERT_NE(list->next, nullptr);
  EXPECT_EQ(list->next->entries.size(), 128u);
  EXPECT_EQ(list->next->entries[5].name, std::string());
  EXPECT_FALSE(list->next->entries[5].value.has_value());
  EXPECT_EQ(plist_set(list.get(), "c", "3"), 1);
  EXPECT_EQ(plist_find(list.get(), "c"), &list->next->entries[0]);

  // A deleted entry in the first block is preferred to the continuation.
  plist_rename(list.get(), "b", nullptr);
  EXPECT_EQ(plist_set(list.get(), "d", "4"), 1);
  EXPECT_EQ(plist_find(list.get(), "d"), &list->entries[1]);
  EXPECT_EQ(*list->entries[1].value, "4");
}

TEST(PlistSet, AbsentValueEmptiesAnExistingValueOnly) {
  ParamListPtr list = make_list({{"a", "1"}}, 2);
  list->entries[1].name = "";
  EXPECT_EQ(plist_set(list.get(), "a", nullptr), 1);
  ASSERT_TRUE(list->entries[0].value.has_value());
  EXPECT_EQ(*list->entries[0].value, "");
  // A claimed slot that never had a value keeps none ("b" alone, not "b=").
  EXPECT_EQ(plist_set(list.get(), "b", nullptr), 1);
  EXPECT_EQ(plist_find(list.get(), "b"), &list->entries[1]);
  EXPECT_FALSE(list->entries[1].value.has_value());
}

TEST(PairSet, ShorterTextReusesTheBufferLongerReplacesIt) {
  Pair entry;
  pair_set_value(entry, "a fairly long value that is not kept inline");
  const char* before = entry.value->c_str();
  pair_set_value(entry, "short");
  EXPECT_EQ(entry.value->c_str(), before);
  EXPECT_EQ(*entry.value, "short");
  pair_set_value(entry, nullptr);
  EXPECT_EQ(*entry.value, "");
  pair_set_name(entry, nullptr);
  EXPECT_FALSE(entry.name.has_value());  // nothing to empty yet
  pair_set_name(entry, "n");
  pair_set_name(entry, nullptr);
  EXPECT_EQ(*entry.name, "");
}

TEST(PlistCopy, SpareSlotsFirstThenFirstBlockOnly) {
  ParamListPtr empty = plist_copy(nullptr, 2);
  ASSERT_EQ(empty->entries.size(), 2u);
  for (const Pair& p : empty->entries) {
    EXPECT_EQ(p.name, std::string());
    EXPECT_EQ(p.value, std::string());
  }

  ParamListPtr list = make_list({{"a", "1"}, {"b", nullptr}}, 4);
  plist_extend(list.get(), 2);
  // Absent names are no free slots: "z" lands in the continuation block.
  ASSERT_EQ(plist_set(list.get(), "z", "x"), 1);
  EXPECT_EQ(plist_find(list.get(), "z"), &list->next->entries[0]);
  ParamListPtr copy = plist_copy(list.get(), 1);
  ASSERT_EQ(copy->entries.size(), 3u);
  EXPECT_EQ(*copy->entries[1].name, "a");
  EXPECT_FALSE(copy->entries[2].value.has_value());
  EXPECT_EQ(copy->next, nullptr);
  // The copy owns its strings.
  pair_set_value(list->entries[0], "changed");
  EXPECT_EQ(*copy->entries[1].value, "1");
}

TEST(PlistMerge, FirstWinsAndSecondAddsUnknownNames) {
  ParamListPtr a = make_list({{"X", "from-a"}, {"a", "1"}}, 2);
  ParamListPtr b = make_list({{"x", "from-b"}, {"b", "2"}, {"B", "3"}}, 3);
  ParamListPtr merged = plist_merge(*a, b.get(), 1);
  ASSERT_EQ(merged->entries.size(), 5u);
  EXPECT_EQ(merged->entries[0].name, std::string());
  EXPECT_FALSE(merged->entries[0].value.has_value());
  EXPECT_STREQ(plist_get(merged.get(), "x", ""), "from-a");
  EXPECT_EQ(*merged->entries[3].name, "b");
  EXPECT_EQ(*merged->entries[4].name, "B");  // duplicates within second are all kept

  ParamListPtr alone = plist_merge(*a, nullptr, 1);
  EXPECT_EQ(alone->entries[0].value, std::string());  // as plist_copy
  EXPECT_EQ(alone->entries.size(), 3u);
}

}  // namespace
}  // namespace fwk
