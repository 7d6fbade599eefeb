#include "core/text_util.hpp"

#include <gtest/gtest.h>

namespace fwk {
namespace {

TEST(TextIsNumberStart, SignThenOptionalPointThenDigit) {
  for (const char* yes : {"-.5", "7x", "+3", ".5", "0"})
    EXPECT_EQ(text_is_number_start(yes), 1) << yes;
  for (const char* no : {".", "-", "a1", "", "+-1", "..5", "- 1"}) {
    EXPECT_EQ(text_is_number_start(no), 0) << no;
  }
  EXPECT_EQ(text_is_number_start(nullptr), 0);
}

TEST(TextCompareNocaseN, KeywordTestsMatchPrefixesInAnyCase) {
  EXPECT_EQ(text_compare_nocase_n("%INCLUDE file", "%include", 8), 0);
  EXPECT_EQ(text_compare_nocase_n("gte 5", "GTE ", 4), 0);
  EXPECT_NE(text_compare_nocase_n("%inc", "%include", 8), 0);  // text too short
  EXPECT_EQ(text_compare_nocase_n("abc", "abd", 2), 0);
  EXPECT_NE(text_compare_nocase_n("abc", "abd", 3), 0);
  EXPECT_EQ(text_compare_nocase_n("abc", "abc", 10), 0);
  EXPECT_EQ(text_compare_nocase_n("", "x", 0), 0);
  EXPECT_LT(text_compare_nocase_n("ab", "abc", 3), 0);
}

}  // namespace
}  // namespace fwk
