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
  void SetUp() override { observed.clear(); }
  StatusLog log_area;
  StatusLog* log = &log_area;
};

TEST_F(StatusLogTest, MessagesOfOneRequestAppendAndTheNextRequestReplacesThem) {
  status_log(log, "first\n");
  status_log(log, "second\t\xC3\xA9\n");
  EXPECT_EQ(status_text_utf8(log), "first\nsecond\t\xC3\xA9\n");
  EXPECT_EQ(status_text(log).size(), 15u);

  status_log_clear_next(log);
  EXPECT_EQ(status_text_utf8(log), "first\nsecond\t\xC3\xA9\n");  // cleared only by the next log
  status_log(log, "next request");
  EXPECT_EQ(status_text_utf8(log), "next request");
}

TEST_F(StatusLogTest, SetReplacesTheTextAndKeepsTheClearMark) {
  status_log_clear_next(log);
  status_text_set(log, "The server is running on port host:81");
  EXPECT_EQ(status_text_utf8(log), "The server is running on port host:81");
  status_log(log, "later");
  EXPECT_EQ(status_text_utf8(log), "later");
}

TEST_F(StatusLogTest, FullTextDropsMessagesButTheObserverSeesEveryOne) {
  status_log_set_observer(log, remember);
  std::string big(kStatusTextLimit - 3, 'a');
  status_log(log, big.c_str());
  status_log(log, "bcdef");  // only three units fit
  EXPECT_EQ(status_text(log).size(), kStatusTextLimit);
  EXPECT_EQ(status_text_utf8(log).substr(kStatusTextLimit - 3), "bcd");
  status_log(log, "dropped");
  EXPECT_EQ(status_text(log).size(), kStatusTextLimit);
  EXPECT_EQ(observed, (std::vector<std::string>{big, "bcdef", "dropped"}));

  std::string too_long(kStatusTextLimit + 50, 'z');
  status_text_set(log, too_long.c_str());
  EXPECT_EQ(status_text(log).size(), kStatusTextLimit);
}

TEST_F(StatusLogTest, ConcurrentLoggingAndReadingKeepsWholeMessages) {
  std::thread writer([this] {
    for (int i = 0; i < 2000; ++i) {
      if (i % 50 == 0) status_log_clear_next(log);
      status_log(log, "0123456789\n");
    }
  });
  for (int i = 0; i < 2000; ++i) {
    std::u16string text = status_text(log);
    ASSERT_EQ(text.size() % 11, 0u);
  }
  writer.join();
}

TEST(StatusLog, AnAbsentLogKeepsNothing) {
  status_log(nullptr, "dropped");
  status_text_set(nullptr, "dropped");
  EXPECT_EQ(status_text(nullptr), u"");
}

}  // namespace
}  // namespace fwk
