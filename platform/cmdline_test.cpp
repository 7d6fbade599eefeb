#include "platform/cmdline.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace fwk {
namespace {

struct Parsed {
  bool ok;
  CommandLine options;
  std::string error;
};

Parsed parse(std::vector<const char*> args) {
  args.insert(args.begin(), "fwkhttpd");
  Parsed result{};
  result.ok =
      cmdline_parse(static_cast<int>(args.size()), args.data(), result.options, result.error);
  return result;
}

TEST(CmdlineTest, DefaultsWithoutArguments) {
  Parsed p = parse({});
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.options.root, "");
  EXPECT_EQ(p.options.first_port, 81);
  EXPECT_FALSE(p.options.headless);
  EXPECT_FALSE(p.options.no_browser);
  EXPECT_FALSE(p.options.show_help);
  EXPECT_FALSE(p.options.show_version);
}

TEST(CmdlineTest, EveryOptionInBothSpellings) {
  Parsed p = parse({"--root", "/srv/root", "--port=8100", "--headless", "--no-browser"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.root, "/srv/root");
  EXPECT_EQ(p.options.first_port, 8100);
  EXPECT_TRUE(p.options.headless);
  EXPECT_TRUE(p.options.no_browser);

  p = parse({"--root=demo/", "--port", "90", "--help", "--version"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.root, "demo/");
  EXPECT_EQ(p.options.first_port, 90);
  EXPECT_TRUE(p.options.show_help);
  EXPECT_TRUE(p.options.show_version);
}

TEST(CmdlineTest, RejectsUnknownOptionsAndStrayArguments) {
  Parsed p = parse({"--headles"});
  EXPECT_FALSE(p.ok);
  EXPECT_NE(p.error.find("--headles"), std::string::npos);
  // A prefix of a known option is not that option.
  EXPECT_FALSE(parse({"--rootdir", "x"}).ok);
  EXPECT_FALSE(parse({"extra"}).ok);
  EXPECT_FALSE(parse({"-x"}).ok);
}

TEST(CmdlineTest, RejectsMissingAndBadValues) {
  EXPECT_FALSE(parse({"--root"}).ok);
  EXPECT_FALSE(parse({"--root="}).ok);
  EXPECT_FALSE(parse({"--port"}).ok);
  for (const char* bad : {"0", "-5", "8o", "", "65527", "999999", "81 "}) {
    Parsed p = parse({"--port", bad});
    EXPECT_FALSE(p.ok) << "port '" << bad << "'";
  }
  // The last first port whose ten ports all exist.
  EXPECT_EQ(parse({"--port", "65526"}).options.first_port, 65526);
}

}  // namespace
}  // namespace fwk
