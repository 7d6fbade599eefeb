#include "platform/browser.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <unistd.h>

namespace fwk {
namespace {

namespace fs = std::filesystem;

// Runs each test with a clean browser environment and a fake browser that
// records its arguments, one per line.
struct BrowserTest : ::testing::Test {
  fs::path dir;
  fs::path script;
  fs::path record;
  std::vector<std::pair<std::string, std::string>> saved;

  void SetUp() override {
    dir = fs::temp_directory_path() / ("fwk_browser_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    script = dir / "fake-browser";
    record = dir / "opened";
    std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > "
                          << record.string() << ".tmp\nmv " << record.string() << ".tmp "
                          << record.string() << "\n";
    fs::permissions(script, fs::perms::owner_all);
    for (const char* name : {"BROWSER", "DISPLAY", "WAYLAND_DISPLAY"}) {
      const char* value = std::getenv(name);
      saved.emplace_back(name, value ? value : std::string("\x01"));
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (auto& [name, value] : saved) {
      if (value == "\x01") {
        unsetenv(name.c_str());
      } else {
        setenv(name.c_str(), value.c_str(), 1);
      }
    }
    fs::remove_all(dir);
  }
  // The fake browser runs detached: wait for its record.
  std::string opened() {
    for (int i = 0; i < 200 && !fs::exists(record); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(record);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_F(BrowserTest, BrowserVariableGetsTheUrlAsOneArgument) {
  setenv("BROWSER", script.c_str(), 1);
  std::string url = "http://127.0.0.1:81/fwk?database=a b&x=$(touch pwned);'";
  EXPECT_TRUE(browser_open(url));
  EXPECT_EQ(opened(), url + "\n");
  EXPECT_FALSE(fs::exists("pwned"));
}

TEST_F(BrowserTest, PercentSMarksTheUrlPlaceAndOnlyTheFirstCommandRuns) {
  setenv("BROWSER", (script.string() + " --new-tab %s --raise:/bin/false").c_str(), 1);
  EXPECT_TRUE(browser_open("http://127.0.0.1:82/"));
  EXPECT_EQ(opened(), "--new-tab\nhttp://127.0.0.1:82/\n--raise\n");
}

TEST_F(BrowserTest, ReportsWhenNoBrowserCanStart) {
  setenv("BROWSER", (dir / "no-such-browser").c_str(), 1);
  EXPECT_FALSE(browser_open("http://127.0.0.1:81/"));
  // Without $BROWSER and without a display, xdg-open is not tried.
  unsetenv("BROWSER");
  EXPECT_FALSE(browser_open("http://127.0.0.1:81/"));
}

}  // namespace
}  // namespace fwk
