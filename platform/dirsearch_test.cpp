#include "platform/dirsearch.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace fwk {
namespace {

namespace fs = std::filesystem;

TEST(DirSearchTest, PatternMatchesIgnoringCase) {
  EXPECT_TRUE(name_matches_pattern("SALES.INI", "*.ini"));
  EXPECT_TRUE(name_matches_pattern("demo.ini", "*.INI"));
  EXPECT_TRUE(name_matches_pattern(".ini", "*.ini"));
  EXPECT_TRUE(name_matches_pattern("a.ini.ini", "*.ini"));
  EXPECT_FALSE(name_matches_pattern("demo.ini.bak", "*.ini"));
  EXPECT_FALSE(name_matches_pattern("demo.in", "*.ini"));
  EXPECT_TRUE(name_matches_pattern("page1.htm", "page?.htm"));
  EXPECT_FALSE(name_matches_pattern("page.htm", "page?.htm"));
  EXPECT_TRUE(name_matches_pattern("abcXYZ", "a*c*z"));
  EXPECT_FALSE(name_matches_pattern("abcXY", "a*c*z"));
  EXPECT_TRUE(name_matches_pattern("", "*"));
  EXPECT_FALSE(name_matches_pattern("", "?"));
  // Characters that other matchers treat specially are literal here.
  EXPECT_TRUE(name_matches_pattern("[x].ini", "[x].ini"));
  EXPECT_FALSE(name_matches_pattern("x.ini", "[x].ini"));
}

struct DirSearchDirTest : ::testing::Test {
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() / ("fwk_dirsearch_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  void touch(const char* name) { std::ofstream(dir / name) << "x"; }
};

TEST_F(DirSearchDirTest, ListsMatchingFilesSortedAndSkipsDirectories) {
  touch("poll.ini");
  touch("DEMO.INI");
  touch("cgi.ini");
  touch("index.html");
  fs::create_directories(dir / "folder.ini");
  fs::create_symlink(dir / "poll.ini", dir / "link.ini");
  fs::create_symlink(dir / "missing", dir / "dangling.ini");

  std::vector<std::string> names = dir_search(dir.string(), "*.ini");
  EXPECT_EQ(names, (std::vector<std::string>{"DEMO.INI", "cgi.ini", "link.ini", "poll.ini"}));
  EXPECT_TRUE(dir_search((dir / "absent").string(), "*.ini").empty());
}

TEST_F(DirSearchDirTest, DirectoryAndProgramLocation) {
  EXPECT_TRUE(directory_exists(dir.string()));
  touch("file");
  EXPECT_FALSE(directory_exists((dir / "file").string()));
  EXPECT_FALSE(directory_exists((dir / "absent").string()));

  std::string program = program_directory();
  ASSERT_FALSE(program.empty());
  EXPECT_EQ(program.back(), '/');
  EXPECT_TRUE(directory_exists(program));
}

}  // namespace
}  // namespace fwk
