#include "platform/instance.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace fwk {
namespace {

namespace fs = std::filesystem;

struct InstanceTest : ::testing::Test {
  fs::path dir;
  std::string saved_runtime;
  bool had_runtime = false;
  void SetUp() override {
    dir = fs::temp_directory_path() / ("fwk_instance_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) {
      had_runtime = true;
      saved_runtime = old;
    }
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  }
  void TearDown() override {
    if (had_runtime) {
      setenv("XDG_RUNTIME_DIR", saved_runtime.c_str(), 1);
    } else {
      unsetenv("XDG_RUNTIME_DIR");
    }
    fs::remove_all(dir);
  }
  fs::path lock_path() const { return dir / "formwick" / kInstanceLockName; }
};

TEST_F(InstanceTest, SecondStartSeesTheFirstAndItsUrl) {
  InstanceLock first;
  InstanceInfo running;
  running.url = "unchanged";
  ASSERT_EQ(instance_acquire(first, running, 0), InstanceState::acquired);
  EXPECT_EQ(running.url, "");
  EXPECT_TRUE(fs::exists(lock_path()));

  // Before the first has published, the second learns only that it runs.
  InstanceLock second;
  EXPECT_EQ(instance_acquire(second, running, 0), InstanceState::other_running);
  EXPECT_EQ(running.url, "");
  EXPECT_FALSE(second.file);

  instance_publish(first, {"http://127.0.0.1:8085/", "/srv/a root/", 8085});
  EXPECT_EQ(instance_acquire(second, running, 0), InstanceState::other_running);
  EXPECT_EQ(running.url, "http://127.0.0.1:8085/");
  EXPECT_EQ(running.root, "/srv/a root/");
  EXPECT_EQ(running.first_port, 8085);

  instance_release(first);
  EXPECT_FALSE(fs::exists(lock_path()));
  EXPECT_EQ(instance_acquire(second, running, 0), InstanceState::acquired);
  instance_release(second);
  instance_release(second);  // a second release does nothing
}

TEST_F(InstanceTest, StaleFileFromAKilledInstanceIsTakenOverAndEmptied) {
  fs::create_directories(dir / "formwick");
  std::ofstream(lock_path()) << "http://127.0.0.1:81/\n";
  InstanceLock lock;
  InstanceInfo running;
  ASSERT_EQ(instance_acquire(lock, running, 0), InstanceState::acquired);

  // The old URL must not be offered to a second start.
  InstanceLock second;
  EXPECT_EQ(instance_acquire(second, running, 0), InstanceState::other_running);
  EXPECT_EQ(running.url, "");
  instance_release(lock);
}

TEST_F(InstanceTest, UnusableRuntimeDirectoryRunsWithoutTheCheck) {
  setenv("XDG_RUNTIME_DIR", "/proc/formwick-cannot-exist", 1);
  InstanceLock lock;
  InstanceInfo running;
  EXPECT_EQ(instance_acquire(lock, running, 0), InstanceState::unavailable);
  EXPECT_FALSE(lock.file);
  instance_release(lock);
}

}  // namespace
}  // namespace fwk
