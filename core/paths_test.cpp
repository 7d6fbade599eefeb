#include "core/paths.hpp"

#include <gtest/gtest.h>

#include <string>

#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

struct PathsTest : ::testing::Test {};

TEST_F(PathsTest, RelativeNamesJoinTheDirectoryOfTheBase) {
  std::string out;
  ASSERT_TRUE(path_join("/srv/root/Forms/sales.html", out, "pages/p1.val"));
  EXPECT_EQ(out, "/srv/root/Forms/pages/p1.val");
  ASSERT_TRUE(path_join("/srv/root/", out, "sales", ".ini"));
  EXPECT_EQ(out, "/srv/root/sales.ini");
  ASSERT_TRUE(path_join("/srv/root/", out, "pages\\sub\\p.html"));
  EXPECT_EQ(out, "/srv/root/pages/sub/p.html");
  // A base without a directory adds nothing: no hidden root is used.
  ASSERT_TRUE(path_join("template.html", out, "x.gif"));
  EXPECT_EQ(out, "x.gif");
  ASSERT_TRUE(path_join(nullptr, out, "x\\y.gif"));
  EXPECT_EQ(out, "x/y.gif");
}

TEST_F(PathsTest, BackslashesOfTheBaseAreLeftAlone) {
  std::string out;
  ASSERT_TRUE(path_join("/data/odd\\dir/file", out, "n"));
  EXPECT_EQ(out, "/data/odd\\dir/n");
}

TEST_F(PathsTest, AbsoluteNamesAreUsedAsGivenWithHostSeparators) {
  std::string out;
  ASSERT_TRUE(path_join("/srv/root/a/b.html", out, "/etc/x.ini"));
  EXPECT_EQ(out, "/etc/x.ini");
  ASSERT_TRUE(path_join("/srv/root/a/b.html", out, "\\Forms\\p.html", ".bak"));
  EXPECT_EQ(out, "/Forms/p.html.bak");
}

TEST_F(PathsTest, PathsThatDoNotFitTheAreaAreRefused) {
  std::string out = "previous";
  std::string root = "/srv/root/";
  std::string name(1023 - root.size(), 'n');
  ASSERT_TRUE(path_join(root.c_str(), out, name.c_str()));
  EXPECT_EQ(out.size(), 1023u);
  EXPECT_FALSE(path_join(root.c_str(), out, (name + "x").c_str()));
  EXPECT_EQ(out, "");
  EXPECT_FALSE(path_join(root.c_str(), out, name.c_str(), ".ini"));
  std::string absolute = "/" + std::string(5000, 'a');
  EXPECT_FALSE(path_join("", out, absolute.c_str()));
  EXPECT_EQ(path_open_binary("", absolute.c_str()), nullptr);
}

TEST_F(PathsTest, OpenBinaryRefusesEmptyNamesMissingFilesAndDirectories) {
  TempDir dir;
  dir.write("forms/a.txt", "A\r\n");
  std::string base = dir.at("forms/page.html");
  FilePtr file = path_open_binary(base.c_str(), "a", ".txt");
  ASSERT_TRUE(file);
  std::string content(8, '\0');
  content.resize(std::fread(content.data(), 1, content.size(), file.get()));
  EXPECT_EQ(content, "A\r\n");  // binary: line ends unchanged
  file.reset();

  EXPECT_EQ(path_open_binary(base.c_str(), ""), nullptr);
  EXPECT_EQ(path_open_binary(base.c_str(), nullptr), nullptr);
  EXPECT_EQ(path_open_binary(base.c_str(), "missing.txt"), nullptr);
  EXPECT_EQ(path_open_binary(dir.at("x").c_str(), "forms"), nullptr);
  EXPECT_EQ(file_open(dir.path.c_str(), "rb"), nullptr);
}

}  // namespace
}  // namespace fwk
