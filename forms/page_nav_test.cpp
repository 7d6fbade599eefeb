// The page lists as NEXT and BACK rewrite them.
#include "forms/page_nav.hpp"

#include <gtest/gtest.h>

namespace fwk {
namespace {

void expect_move(const PageMove& move, const char* page, const char* pending, const char* back) {
  EXPECT_EQ(move.page, page);
  EXPECT_EQ(move.pending, pending);
  EXPECT_EQ(move.back, back);
}

TEST(PageMoveNext, TakesTheFirstPendingPageAndRemembersTheOneLeft) {
  expect_move(page_move_next("page1", "page2,page3", "page0,", ""), "page2", "page3",
              "page1,page0,");
  // The page left is no longer pending wherever it stood, however often.
  expect_move(page_move_next("page2", "page2,page3,page2", "", ""), "page3", "", "page2,");
  // No page name adds no empty item to the back list; nothing left shows nothing.
  expect_move(page_move_next("", "", "page0,", ""), "", "", "page0,");
}

TEST(PageMoveNext, AChosenPageOrGroupGoesInFront) {
  expect_move(page_move_next("page1", "page2,page3", "", "page9"), "page9", "page2,page3",
              "page1,");
  // A chosen page that was pending further on is not pending twice.
  expect_move(page_move_next("page1", "page2,page3", "", "page3"), "page3", "page2", "page1,");
  // A chosen group: its first page is marked as a group's page.
  expect_move(page_move_next("page1", "page5", "", "pageA,pageB"), "PageA", "pageB page5",
              "page1,");
  expect_move(page_move_next("page1", "", "", "pageA,pageB"), "PageA", "pageB", "page1,");
}

TEST(PageMoveBack, ReturnsToThePreviousPage) {
  expect_move(page_move_back("page2", "page3", "page1,page0,"), "page1", "page3", "page0,");
  expect_move(page_move_back("page0", "", ""), "", "", "");
}

TEST(PageMoveBack, LeavingAGroupsPageDropsTheRestOfTheGroup) {
  expect_move(page_move_back("PageA", "pageB pageC page5", "page1,"), "page1", "pageC page5", "");
  // Any other page goes in front of the pending groups again.
  expect_move(page_move_back("page4", "pageB pageC", "page1,"), "page1", "page4,pageB pageC", "");
}

}  // namespace
}  // namespace fwk
