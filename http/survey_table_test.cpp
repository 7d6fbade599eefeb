#include "http/survey_table.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace fwk {
namespace {

namespace fs = std::filesystem;

struct SurveyTableTest : ::testing::Test {
  fs::path root;
  void SetUp() override {
    root = fs::temp_directory_path() / ("fwk_surveys_" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    site_root = root.string() + "/";
  }
  void TearDown() override { fs::remove_all(root); }
  std::string site_root;
  SurveyTable survey_table;
  void build() { survey_table = build_survey_table(site_root); }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(root / name, std::ios::binary) << text;
  }
};

TEST_F(SurveyTableTest, StartPageThenOneEntryPerSurveyFileWithoutTheSettings) {
  write("cgi.ini", "[server]\nHOME=index.html\n");
  write("poll.ini", "[database]\nTitle=Quick poll\nDescription=Three questions\n");
  write("demo.ini", "[DATABASE]\nTitle=Customer poll\n");
  write("index.html", "<p>home</p>");

  build();
  ASSERT_EQ(survey_table_count(survey_table), 3);
  EXPECT_EQ(survey_table[0].title, u"Formwick start page");
  EXPECT_EQ(survey_table[0].description, u"");
  EXPECT_EQ(survey_table[0].link, u"");

  EXPECT_EQ(survey_table[1].link, u"fwk?database=demo");
  EXPECT_EQ(survey_table[1].title, u"Customer poll");
  EXPECT_EQ(survey_table[1].description, u"Description");  // key missing: its own name

  EXPECT_EQ(survey_table[2].link, u"fwk?database=poll");
  EXPECT_EQ(survey_table[2].title, u"Quick poll");
  EXPECT_EQ(survey_table[2].description, u"Three questions");
  EXPECT_FALSE(survey_table[3].in_use);
}

TEST_F(SurveyTableTest, UnreadableOrSectionlessFilesAreListedWithDefaults) {
  write("empty.ini", "");
  write("other.ini", "[access]\nPWD=x\n");
  build();
  ASSERT_EQ(survey_table_count(survey_table), 3);
  for (int i : {1, 2}) {
    EXPECT_EQ(survey_table[i].title, u"Title");
    EXPECT_EQ(survey_table[i].description, u"Description");
  }
}

TEST_F(SurveyTableTest, LinkIsCutAtTheFirstExactLowerCaseExtension) {
  write("SALES.INI", "");
  write("a.ini.ini", "");
  write("CGI.INI", "");  // only "cgi.ini" exactly is the settings file
  build();
  ASSERT_EQ(survey_table_count(survey_table), 4);
  EXPECT_EQ(survey_table[1].link, u"fwk?database=CGI.INI");
  EXPECT_EQ(survey_table[2].link, u"fwk?database=SALES.INI");
  EXPECT_EQ(survey_table[3].link, u"fwk?database=a");
}

TEST_F(SurveyTableTest, AtMostFifteenSurveysInNameOrder) {
  for (int i = 0; i < 20; ++i) {
    write((i < 10 ? "s0" : "s") + std::to_string(i) + ".ini", "");
  }
  write("cgi.ini", "");
  build();
  ASSERT_EQ(survey_table_count(survey_table), 16);
  EXPECT_EQ(survey_table[1].link, u"fwk?database=s00");
  EXPECT_EQ(survey_table[15].link, u"fwk?database=s14");
}

TEST_F(SurveyTableTest, TextsAreConvertedAndCutToTheirAreas) {
  std::string long_title(1500, 'x');
  write("long.ini", "[database]\nTitle=" + long_title + "\nDescription=caf\xC3\xA9 \xE2\x82\xAC\n");
  build();
  ASSERT_EQ(survey_table_count(survey_table), 2);
  EXPECT_EQ(survey_table[1].title.size(), kSurveyTextLimit);
  EXPECT_EQ(survey_table[1].description, u"caf\u00E9 \u20AC");
}

TEST_F(SurveyTableTest, MissingRootLeavesOnlyTheStartPageAndClearsAnOldTable) {
  write("demo.ini", "");
  build();
  ASSERT_EQ(survey_table_count(survey_table), 2);
  site_root = (root / "absent").string() + "/";
  build();
  EXPECT_EQ(survey_table_count(survey_table), 1);
  EXPECT_FALSE(survey_table[1].in_use);
  EXPECT_TRUE(survey_table[1].title.empty());
}

}  // namespace
}  // namespace fwk
