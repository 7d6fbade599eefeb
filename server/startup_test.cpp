#include "server/startup.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "platform/registry.hpp"

namespace fwk {
namespace {

namespace fs = std::filesystem;

// Each test gets its own machine and user hives.
struct StartupTest : ::testing::Test {
  fs::path dir;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
  void SetUp() override {
    dir = fs::temp_directory_path() / ("fwk_startup_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "etc");
    fs::create_directories(dir / "config");
    set("FORMWICK_ETC", (dir / "etc").string());
    set("XDG_CONFIG_HOME", (dir / "config").string());
  }
  void TearDown() override {
    for (auto& [name, value] : saved) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    fs::remove_all(dir);
  }
  void set(const std::string& name, const std::string& value) {
    const char* old = std::getenv(name.c_str());
    saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    setenv(name.c_str(), value.c_str(), 1);
  }
};

TEST_F(StartupTest, RootOptionWinsAndIsMadeAbsoluteWithFinalSlash) {
  reg_create_key(Hive::machine, kProgramKey);
  reg_write_string(*reg_open_key(Hive::machine, kProgramKey), "ServerRoot", "/srv/surveys");
  EXPECT_EQ(find_server_root("/tmp/some/../root"), "/tmp/root/");
  EXPECT_EQ(find_server_root("/tmp/root/"), "/tmp/root/");
  std::string relative = find_server_root("demo");
  EXPECT_EQ(relative, fs::current_path().string() + "/demo/");
}

TEST_F(StartupTest, WithoutConfigurationTheSampleRootIsUsed) {
  std::string root = find_server_root("");
  EXPECT_EQ(root, sample_server_root());
  // Run from the build tree: the source tree's demo root.
  EXPECT_TRUE(fs::exists(fs::path(root) / "cgi.ini")) << root;
  // An empty registry value counts as missing.
  reg_create_key(Hive::machine, kProgramKey);
  reg_write_string(*reg_open_key(Hive::machine, kProgramKey), "ServerRoot", "");
  EXPECT_EQ(find_server_root(""), root);
}

TEST_F(StartupTest, RunningMessageWithAndWithoutHostName) {
  EXPECT_EQ(running_message("", 81), "The server is running on port 81");
  EXPECT_EQ(running_message("pda7", 82), "The server is running on port pda7:82");
  EXPECT_EQ(privileged_fallback_message(81, 8081),
            "Ports 81 to 90 need privileges this user does not have; ports from 8081 were tried "
            "instead.\n");
}

TEST_F(StartupTest, ShutDownRemovesRandomAndTheKeyWhenLeftEmpty) {
  tidy_user_registry();  // no key: nothing to do, nothing created
  EXPECT_FALSE(reg_open_key(Hive::user, kProgramKey).has_value());

  ASSERT_TRUE(reg_create_key(Hive::user, kProgramKey));
  reg_write_dword(*reg_open_key(Hive::user, kProgramKey), "RANDOM", 0x12340000);
  tidy_user_registry();
  EXPECT_FALSE(reg_open_key(Hive::user, kProgramKey).has_value());

  ASSERT_TRUE(reg_create_key(Hive::user, kProgramKey));
  RegistryKey key = *reg_open_key(Hive::user, kProgramKey);
  reg_write_dword(key, "RANDOM", 7);
  reg_write_string(key, "Keep", "yes");
  tidy_user_registry();
  ASSERT_TRUE(reg_open_key(Hive::user, kProgramKey).has_value());
  EXPECT_FALSE(reg_read_dword(key, "RANDOM").has_value());
  EXPECT_EQ(reg_read_string(key, "Keep"), "yes");
}

}  // namespace
}  // namespace fwk
