#include "core/status_log.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace fwk {
namespace {

std::vector<std::string> observed;
void remember(const char* message) {
  observed.push_back(message);
}

struct StatusLogTest : ::testing::Test {
  void SetUp() override {
    status_log_set_observer(nullptr);
    status_text_clear();
    status_log_clear_next();
    observed.clear();
  }
  void TearDown() override { status_log_set_observer(nullptr); }
};

TEST_F(StatusLogTest, MessagesOfOneRequestAppendAndTheNextRequestReplacesThem) {
  status_log("first\n");
  status_log("second\t\xC3\xA9\n");
  EXPECT_EQ(status_text_utf8(), "first\nsecond\t\xC3\xA9\n");
  EXPECT_EQ(status_text().size(), 15u);

  status_log_clear_next();
  EXPECT_EQ(status_text_utf8(), "first\nsecond\t\xC3\xA9\n");  // cleared only by the next log
  status_log("next request");
  EXPECT_EQ(status_text_utf8(), "next request");
}

TEST_F(StatusLogTest, SetReplacesTheTextAndKeepsTheClearMark) {
  status_text_set("The server is running on port host:81");
  EXPECT_EQ(status_text_utf8(), "The server is running on port host:81");
  status_log("later");
  EXPECT_EQ(status_text_utf8(), "later");
}

TEST_F(StatusLogTest, FullTextDropsMessagesButTheObserverSeesEveryOne) {
  status_log_set_observer(remember);
  std::string big(kStatusTextLimit - 3, 'a');
  status_log(big.c_str());
  status_log("bcdef");  // only three units fit
  EXPECT_EQ(status_text().size(), kStatusTextLimit);
  EXPECT_EQ(status_text_utf8().substr(kStatusTextLimit - 3), "bcd");
  status_log("dropped");
  EXPECT_EQ(status_text().size(), kStatusTextLimit);
  EXPECT_EQ(observed, (std::vector<std::string>{big, "bcdef", "dropped"}));

  std::string too_long(kStatusTextLimit + 50, 'z');
  status_text_set(too_long.c_str());
  EXPECT_EQ(status_text().size(), kStatusTextLimit);
}

TEST_F(StatusLogTest, ConcurrentLoggingAndReadingKeepsWholeMessages) {
  std::thread writer([] {
    for (int i = 0; i < 2000; ++i) {
      if (i % 50 == 0) status_log_clear_next();
      status_log("0123456789\n");
    }
  });
  for (int i = 0; i < 2000; ++i) {
    std::u16string text = status_text();
    ASSERT_EQ(text.size() % 11, 0u);
  }
  writer.join();
}

}  // namespace
}  // namespace fwk
