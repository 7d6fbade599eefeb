#include "platform/registry.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/testing/scoped_env.hpp"
#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

namespace fs = std::filesystem;

const char* kKey = "SOFTWARE\\Veltrix\\Formwick";

// Both hives in a fresh temporary directory.
struct RegistryTest : ::testing::Test {
  TempDir temp;
  fs::path dir = temp.path;
  ScopedEnv etc{"FORMWICK_ETC", (dir / "etc").c_str()};
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").c_str()};

  void SetUp() override { fs::create_directories(dir / "etc"); }

  void write_machine(const std::string& text) {
    std::ofstream(dir / "etc" / "registry.ini") << text;
  }
  std::string read_file(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(RegistryTest, HiveFilesFollowTheEnvironment) {
  EXPECT_EQ(reg_hive_file(Hive::machine), (dir / "etc" / "registry.ini").string());
  EXPECT_EQ(reg_hive_file(Hive::user), (dir / "config" / "formwick" / "registry.ini").string());
  ScopedEnv no_config{"XDG_CONFIG_HOME", nullptr};
  ScopedEnv home{"HOME", "/home/someone"};
  EXPECT_EQ(reg_hive_file(Hive::user), "/home/someone/.config/formwick/registry.ini");
  ScopedEnv no_etc{"FORMWICK_ETC", nullptr};
  EXPECT_EQ(reg_hive_file(Hive::machine), "/etc/formwick/registry.ini");
}

TEST_F(RegistryTest, KeysAreOpenedNeverCreatedAndMatchIgnoringCase) {
  EXPECT_FALSE(reg_open_key(Hive::machine, kKey));  // no file yet
  write_machine("; machine settings\n[software\\veltrix\\formwick]\nServerRoot = /srv/fwk/\n");
  std::optional<RegistryKey> key = reg_open_key(Hive::machine, kKey);
  ASSERT_TRUE(key);
  EXPECT_EQ(reg_read_string(*key, "serverroot"), "/srv/fwk/");
  EXPECT_FALSE(reg_read_string(*key, "Missing"));
  EXPECT_FALSE(reg_open_key(Hive::machine, "SOFTWARE\\Other"));
  EXPECT_FALSE(reg_open_key(Hive::user, kKey));
  EXPECT_FALSE(fs::exists(dir / "config"));
}

TEST_F(RegistryTest, WritesReplaceOrAddValuesAndKeepOtherLines) {
  write_machine("; keep me\n[A]\nx=1\n\n[" + std::string(kKey) + "]\nServerRoot=/a/\n\n[B]\ny=2\n");
  std::optional<RegistryKey> key = reg_open_key(Hive::machine, kKey);
  ASSERT_TRUE(key);
  EXPECT_TRUE(reg_write_string(*key, "SERVERROOT", "/b/"));
  EXPECT_TRUE(reg_write_dword(*key, "RANDOM", 4294967295u));
  EXPECT_EQ(reg_read_dword(*key, "random"), 4294967295u);
  EXPECT_EQ(reg_count_values(*key), 2u);
  EXPECT_EQ(read_file(dir / "etc" / "registry.ini"),
            "; keep me\n[A]\nx=1\n\n[" + std::string(kKey) +
                "]\nSERVERROOT=/b/\nRANDOM=4294967295\n\n[B]\ny=2\n");
  // Values that cannot be stored on one line are refused.
  EXPECT_FALSE(reg_write_string(*key, "bad", "two\nlines"));
  EXPECT_FALSE(reg_write_string(*key, "a=b", "x"));
  // No temporary files are left behind.
  size_t files = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir / "etc")) ++files;
  EXPECT_EQ(files, 2u);  // registry.ini and its lock file
}

TEST_F(RegistryTest, TheDefaultValueIsTheAtLine) {
  const char* app_key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tool.exe";
  write_machine(std::string("[") + app_key + "]\nPath=/opt/tool\n@ = /opt/tool/bin/tool two\n");
  std::optional<RegistryKey> key = reg_open_key(Hive::machine, app_key);
  ASSERT_TRUE(key);
  EXPECT_EQ(reg_read_string(*key, ""), "/opt/tool/bin/tool two");
  EXPECT_EQ(reg_read_string(*key, nullptr), "/opt/tool/bin/tool two");
  EXPECT_EQ(reg_read_string(*key, "Path"), "/opt/tool");

  EXPECT_TRUE(reg_write_string(*key, "", "/usr/bin/tool"));
  EXPECT_EQ(read_file(dir / "etc" / "registry.ini"),
            std::string("[") + app_key + "]\nPath=/opt/tool\n@=/usr/bin/tool\n");
  EXPECT_TRUE(reg_delete_value(*key, nullptr));
  EXPECT_FALSE(reg_read_string(*key, ""));
  EXPECT_EQ(reg_count_values(*key), 1u);
}

TEST_F(RegistryTest, DwordsAreDecimalAndAnythingElseReadsAsMissing) {
  write_machine(std::string("[") + kKey + "]\na=12\nb=-1\nc=4294967296\nd=12x\ne=\n");
  std::optional<RegistryKey> key = reg_open_key(Hive::machine, kKey);
  ASSERT_TRUE(key);
  EXPECT_EQ(reg_read_dword(*key, "a"), 12u);
  for (const char* name : {"b", "c", "d", "e"}) EXPECT_FALSE(reg_read_dword(*key, name)) << name;
}

TEST_F(RegistryTest, DeletingValuesAndKeys) {
  ASSERT_TRUE(reg_create_key(Hive::user, kKey));
  std::optional<RegistryKey> key = reg_open_key(Hive::user, kKey);
  ASSERT_TRUE(key);
  EXPECT_TRUE(reg_write_dword(*key, "RANDOM", 7));
  EXPECT_TRUE(reg_delete_value(*key, "random"));
  EXPECT_FALSE(reg_delete_value(*key, "random"));
  EXPECT_EQ(reg_count_values(*key), 0u);
  EXPECT_TRUE(reg_delete_key(Hive::user, kKey));
  EXPECT_FALSE(reg_delete_key(Hive::user, kKey));
  EXPECT_FALSE(reg_open_key(Hive::user, kKey));
  EXPECT_FALSE(reg_write_dword(*key, "RANDOM", 1));  // the key is gone
  EXPECT_EQ(reg_count_values(*key), 0u);
}

TEST_F(RegistryTest, ConcurrentWritersLoseNoUpdate) {
  ASSERT_TRUE(reg_create_key(Hive::user, kKey));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      std::optional<RegistryKey> key = reg_open_key(Hive::user, kKey);
      for (int i = 0; i < 10; ++i) {
        reg_write_dword(*key, ("v" + std::to_string(t) + "_" + std::to_string(i)).c_str(), i);
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(reg_count_values(*reg_open_key(Hive::user, kKey)), 40u);
}

}  // namespace
}  // namespace fwk
