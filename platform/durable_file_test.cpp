#include "platform/durable_file.hpp"
#include "platform/fault_points.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
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

TEST_F(DurableFileTest, PutBytesMarksInPlaceAndRefusesOffsetsPastTheEnd) {
  fs::path file = dir / "data.asc";
  std::ofstream(file) << "h\n\"a\"\n\"b\"\n";
  ASSERT_EQ(durable_put_bytes(file.c_str(), {2, 6}, '#'), DurableResult::ok);
  EXPECT_EQ(read(file), "h\n#a\"\n#b\"\n");
  EXPECT_EQ(durable_put_bytes(file.c_str(), {2, 10}, '"'), DurableResult::write_failed);
  EXPECT_EQ(read(file), "h\n#a\"\n#b\"\n");
  EXPECT_EQ(durable_put_bytes((dir / "none").c_str(), {0}, '#'), DurableResult::open_failed);
}

// Each kind of point, failed once: the operation reports the failure and
// leaves the file as it was; the points are counted per kind.
TEST_F(DurableFileTest, InjectedFaultsFailTheOperationAndLeaveTheFile) {
  fs::path data = dir / "data.asc";
  std::ofstream(data) << "head\n";
  fault_plan_arm({FaultOp::write, 2, FaultEffect::fail});
  EXPECT_EQ(durable_append_existing(data.c_str(), "one\r\n", 5, nullptr), DurableResult::ok);
  EXPECT_EQ(durable_append_existing(data.c_str(), "two\r\n", 5, nullptr),
            DurableResult::write_failed);
  EXPECT_EQ(fault_points_seen(FaultOp::write), 2u);
  EXPECT_EQ(fault_points_seen(FaultOp::sync), 1u);

  fault_plan_arm({FaultOp::sync, 1, FaultEffect::fail});
  EXPECT_EQ(durable_append_existing(data.c_str(), "two\r\n", 5, nullptr),
            DurableResult::write_failed);
  EXPECT_EQ(read(data), "head\none\r\n");

  fs::path counter = dir / "f.respcount";
  ASSERT_EQ(durable_replace(counter.c_str(), "old", 3), DurableResult::ok);
  for (FaultOp op : {FaultOp::write, FaultOp::sync, FaultOp::rename}) {
    fault_plan_arm({op, 1, FaultEffect::fail});
    EXPECT_EQ(durable_replace(counter.c_str(), "new", 3), DurableResult::write_failed);
    EXPECT_EQ(read(counter), "old");
  }
  fault_plan_disarm();
  // No temporary is left behind by the failures.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

// A stop kills the process at the point: the operation never happens.
TEST_F(DurableFileTest, InjectedStopKillsBeforeTheOperation) {
  fs::path counter = dir / "f.respcount";
  ASSERT_EQ(durable_replace(counter.c_str(), "old", 3), DurableResult::ok);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FaultPlan plan;
    if (!fault_plan_parse("rename:1:stop", &plan)) _exit(3);
    fault_plan_arm(plan);
    durable_replace(counter.c_str(), "new", 3);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGKILL);
  EXPECT_EQ(read(counter), "old");
  // The stopped writer's temporary is left, and the start-up tidy removes it.
  size_t left = 0;
  for (const auto& entry : fs::directory_iterator(dir))
    left += name_is_temporary(entry.path().filename().string()) ? 1 : 0;
  EXPECT_EQ(left, 1u);
  EXPECT_EQ(remove_abandoned_temporaries(dir.string()), 1u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(DurableFileTest, FaultPlansAreParsedStrictly) {
  FaultPlan plan;
  ASSERT_TRUE(fault_plan_parse("sync:12:stop", &plan));
  EXPECT_EQ(plan.op, FaultOp::sync);
  EXPECT_EQ(plan.nth, 12u);
  EXPECT_EQ(plan.effect, FaultEffect::stop);
  ASSERT_TRUE(fault_plan_parse("trace", &plan));
  EXPECT_EQ(plan.effect, FaultEffect::trace);
  for (const char* bad : {"", "write", "write:0:fail", "write:x:fail", "write:1:", "read:1:fail",
                          "write:1:fail:2", "write:-1:stop"})
    EXPECT_FALSE(fault_plan_parse(bad, &plan)) << bad;
}

TEST_F(DurableFileTest, OnlyUnlockedTemporariesAreTidied) {
  EXPECT_TRUE(name_is_temporary("outbox.fwk.tmp-123"));
  EXPECT_TRUE(name_is_temporary("demo.respcount.tmp-9"));
  EXPECT_FALSE(name_is_temporary("notes.tmp-"));
  EXPECT_FALSE(name_is_temporary(".tmp-12"));
  EXPECT_FALSE(name_is_temporary("a.tmp-12x"));
  std::ofstream(dir / "a.respcount.tmp-1") << "x";
  std::ofstream(dir / "b.respcount.tmp-2") << "x";
  std::ofstream(dir / "keep.html") << "x";
  int held = open((dir / "b.respcount.tmp-2").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  EXPECT_EQ(remove_abandoned_temporaries(dir.string()), 1u);
  EXPECT_FALSE(fs::exists(dir / "a.respcount.tmp-1"));
  EXPECT_TRUE(fs::exists(dir / "b.respcount.tmp-2"));
  EXPECT_TRUE(fs::exists(dir / "keep.html"));
  close(held);
}

}  // namespace
}  // namespace fwk
