#include "core/list_text.hpp"

#include <gtest/gtest.h>

namespace fwk {
namespace {

TEST(ListContains, WholeItemsExactOrIgnoringCase) {
  const char* list = "a, b,c";
  EXPECT_EQ(list_contains_nocase(list, "B"), 1);
  EXPECT_EQ(list_contains_exact(list, "B"), 0);
  EXPECT_EQ(list_contains_exact(list, "c"), 1);
  EXPECT_EQ(list_contains_exact("a, bc", "b"), 0);
  EXPECT_EQ(list_contains_nocase("a, bc", "b"), 0);
  EXPECT_EQ(list_contains_exact("a, b", "b, c"), 0);
  EXPECT_EQ(list_contains_exact("", "a"), 0);
  EXPECT_EQ(list_contains_exact("a,,", ""), 0);
  EXPECT_EQ(list_contains_exact(nullptr, "a"), 0);
  EXPECT_EQ(list_contains_nocase("</script>,&exit,exit,&end,&return,%>", "&EXIT"), 1);
}

TEST(ListContains, IndexCountsEverySeparatorCharacter) {
  int index = 0;
  EXPECT_EQ(list_contains_exact("a, b", "b", &index), 1);
  EXPECT_EQ(index, 3);
  EXPECT_EQ(list_contains_exact("a", "a", &index), 1);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(list_contains_exact(", ,a,b", "b", &index), 1);  // leading separators are not counted
  EXPECT_EQ(index, 2);
  EXPECT_EQ(list_contains(" x", "X", &index, false), 1);
  EXPECT_EQ(index, 1);
}

TEST(ListRemoveItem, RemovesTheItemAndTheSeparatorsAfterIt) {
  std::string list = "p1, p2, p3";
  list_remove_item(list, "p2");
  EXPECT_EQ(list, "p1, p3");
  list_remove_item(list, "p3");
  EXPECT_EQ(list, "p1, ");  // separators before the item stay
  list_remove_item(list, "P1");
  EXPECT_EQ(list, "p1, ");  // letter case counts
  list_remove_item(list, "p1");
  EXPECT_EQ(list, "");
  std::string prefix = "p10 p1";
  list_remove_item(prefix, "p1");
  EXPECT_EQ(prefix, "p10 ");
}

TEST(ListTextPop, SplitsAtTheFirstSeparatorInPlace) {
  std::string back = "page2,page1,";
  EXPECT_EQ(list_text_pop(back, 0), "page2");
  EXPECT_EQ(back, "page1,");
  EXPECT_EQ(list_text_pop(back, 0), "page1");
  EXPECT_EQ(back, "");
  EXPECT_EQ(list_text_pop(back, 0), std::nullopt);

  std::string single = "only";
  EXPECT_EQ(list_text_pop(single, ' '), std::nullopt);
  EXPECT_EQ(single, "only");

  std::string groups = "a,b c,d";
  EXPECT_EQ(list_text_pop(groups, ' '), "a,b");
  EXPECT_EQ(groups, "c,d");
  std::string leading = ",x";
  EXPECT_EQ(list_text_pop(leading, 0), "");
  EXPECT_EQ(leading, "x");
}

TEST(PlistPopItem, PopsItemsAndLeavesTheRestInTheParameter) {
  ParamListPtr list = plist_alloc(2);
  list->entries[0].name = "_PAGENEXT";
  list->entries[0].value = ", p2 p3 ";
  EXPECT_EQ(plist_pop_item(list.get(), "_pagenext", ' '), "p2");
  EXPECT_EQ(*list->entries[0].value, "p3");
  EXPECT_EQ(plist_pop_item(list.get(), "_PAGENEXT", ' '), "p3");
  EXPECT_EQ(*list->entries[0].value, "");
  EXPECT_EQ(plist_pop_item(list.get(), "_PAGENEXT", ' '), "");

  list->entries[0].value = "a, b,c";
  EXPECT_EQ(plist_pop_item(list.get(), "_PAGENEXT", 0), "a");
  EXPECT_EQ(*list->entries[0].value, " b,c");
  EXPECT_EQ(plist_pop_item(list.get(), "_PAGENEXT", 0), "b");
  EXPECT_EQ(*list->entries[0].value, "c");
}

TEST(PlistPopItem, MissingEntryOrAbsentValueGivesEmptyAndChangesNothing) {
  ParamListPtr list = plist_alloc(2);
  list->entries[0].name = "x";
  EXPECT_EQ(plist_pop_item(list.get(), "x", 0), "");
  EXPECT_FALSE(list->entries[0].value.has_value());
  EXPECT_EQ(plist_pop_item(list.get(), "y", 0), "");
  EXPECT_EQ(plist_pop_item(nullptr, "y", 0), "");
}

}  // namespace
}  // namespace fwk
