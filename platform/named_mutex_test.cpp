#include "platform/named_mutex.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/clock.hpp"
#include "platform/testing/scoped_env.hpp"
#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

namespace fs = std::filesystem;

TEST(NamedMutex, TwoHandlesExcludeEachOtherUntilReleased) {
  TempDir temp;
  fs::path dir = temp.path;
  ScopedEnv runtime{"XDG_RUNTIME_DIR", dir.c_str()};
  EXPECT_EQ(runtime_directory(), dir.string() + "/formwick/");

  NamedMutex a = named_mutex_open("FWK.CGI.RANDOM");
  NamedMutex b = named_mutex_open("FWK.CGI.RANDOM");
  ASSERT_TRUE(a.file);
  ASSERT_TRUE(b.file);
  EXPECT_TRUE(fs::exists(dir / "formwick" / "FWK.CGI.RANDOM.lock"));

  EXPECT_TRUE(named_mutex_wait(a, 0));
  uint32_t start = clock_tick_ms();
  EXPECT_FALSE(named_mutex_wait(b, 30));
  EXPECT_GE(clock_tick_ms() - start, 30u);
  named_mutex_release(a);
  EXPECT_TRUE(named_mutex_wait(b, 0));
  named_mutex_close(b);
  EXPECT_TRUE(named_mutex_wait(a, 0));
  named_mutex_close(a);
  EXPECT_FALSE(a.file);
  EXPECT_FALSE(named_mutex_wait(a, 0));
}

TEST(NamedMutex, OnlyAPrivateDirectoryOfOursIsTrustedForLockFiles) {
  TempDir temp;
  fs::path dir = temp.path / "run";
  fs::create_directory(dir);
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace);
  EXPECT_TRUE(is_private_directory(dir.string()));
  fs::permissions(dir, fs::perms::others_write, fs::perm_options::add);
  EXPECT_FALSE(is_private_directory(dir.string()));
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace);
  fs::create_directory_symlink(dir, temp.path / "link");
  EXPECT_FALSE(is_private_directory((temp.path / "link").string()));
  EXPECT_FALSE(is_private_directory((temp.path / "missing").string()));
  std::ofstream(temp.path / "file") << "x";
  EXPECT_FALSE(is_private_directory((temp.path / "file").string()));
}

TEST(Clock, TimesAreInRangeAndTheTickAdvances) {
  DateTime local = clock_local_time();
  DateTime utc = clock_system_time();
  EXPECT_GE(utc.year, 2020);
  EXPECT_GE(local.month, 1);
  EXPECT_LE(local.month, 12);
  EXPECT_LE(utc.hour, 23);
  uint32_t t0 = clock_tick_ms();
  while (clock_tick_ms() == t0) {
  }
  EXPECT_LE(clock_tick_ms() - t0, 1000u);
}

}  // namespace
}  // namespace fwk
