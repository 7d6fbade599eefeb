#include "platform/durable_file.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fwk {
namespace {

namespace fs = std::filesystem;

struct DurableFileTest : ::testing::Test {
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("fwk_durable_" + std::to_string(getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(DurableFileTest, AppendExistingReportsOffsetAndNeverCreates) {
  fs::path file = dir / "data.asc";
  int64_t offset = -1;
  EXPECT_EQ(durable_append_existing(file.c_str(), "x", 1, &offset), DurableResult::open_failed);
  EXPECT_FALSE(fs::exists(file));

  std::ofstream(file) << "head\n";
  ASSERT_EQ(durable_append_existing(file.c_str(), "one\r\n", 5, &offset), DurableResult::ok);
  EXPECT_EQ(offset, 5);
  ASSERT_EQ(durable_append_existing(file.c_str(), "two\r\n", 5, &offset), DurableResult::ok);
  EXPECT_EQ(offset, 10);
  EXPECT_EQ(read(file), "head\none\r\ntwo\r\n");
}

TEST_F(DurableFileTest, AppendCreatesWhenMissing) {
  fs::path file = dir / "t.xml";
  ASSERT_EQ(durable_append(file.c_str(), "<a/>", 4), DurableResult::ok);
  ASSERT_EQ(durable_append(file.c_str(), "<b/>", 4), DurableResult::ok);
  EXPECT_EQ(read(file), "<a/><b/>");
}

TEST_F(DurableFileTest, DirectoriesAndMissingFoldersAreRefused) {
  EXPECT_EQ(durable_append(dir.c_str(), "x", 1), DurableResult::open_failed);
  EXPECT_EQ(durable_append_existing(dir.c_str(), "x", 1, nullptr), DurableResult::open_failed);
  fs::path nowhere = dir / "no" / "such.xml";
  EXPECT_EQ(durable_append(nowhere.c_str(), "x", 1), DurableResult::open_failed);
  EXPECT_EQ(durable_append(nullptr, "x", 1), DurableResult::open_failed);
}

TEST_F(DurableFileTest, FifosAndDevicesAreRefusedWithoutWaiting) {
  std::string fifo = (dir / "answers.asc").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(durable_append(fifo.c_str(), "x\n", 2), DurableResult::open_failed);
  EXPECT_EQ(durable_append_existing(fifo.c_str(), "x\n", 2, nullptr), DurableResult::open_failed);
  EXPECT_EQ(durable_append("/dev/null", "x\n", 2), DurableResult::open_failed);
}

TEST_F(DurableFileTest, FailedWriteIsUndoneAndReported) {
  // A file-size limit makes the write stop part-way through the line; the
  // partial bytes must be removed again and the failure reported.
  fs::path file = dir / "data.asc";
  std::ofstream(file) << "head\n";
  struct rlimit old_limit {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  struct rlimit small = old_limit;
  small.rlim_cur = 8;
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  DurableResult result = durable_append_existing(file.c_str(), "0123456789\r\n", 12, nullptr);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(result, DurableResult::write_failed);
  EXPECT_EQ(read(file), "head\n");
}

TEST_F(DurableFileTest, ReplaceRemoveAndReadWhole) {
  fs::path file = dir / "outbox";
  std::string bytes;
  EXPECT_FALSE(file_read_whole(file.c_str(), &bytes));
  ASSERT_EQ(durable_replace(file.c_str(), "new\0one", 7), DurableResult::ok);
  ASSERT_TRUE(file_read_whole(file.c_str(), &bytes));
  EXPECT_EQ(bytes, std::string("new\0one", 7));
  ASSERT_EQ(durable_replace(file.c_str(), "", 0), DurableResult::ok);
  EXPECT_EQ(read(file), "");
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  EXPECT_EQ(durable_replace((dir / "no" / "f").c_str(), "x", 1), DurableResult::open_failed);
  EXPECT_FALSE(file_read_whole(dir.c_str(), &bytes));

  EXPECT_TRUE(durable_remove(file.c_str()));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(durable_remove(file.c_str()));
}

}  // namespace
}  // namespace fwk
