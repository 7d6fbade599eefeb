#include "core/ini.hpp"

#include <gtest/gtest.h>

#include <string>

#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

// name=value lines of the used entries, for compact comparisons.
std::string entries_of(const ParamList* list) {
  std::string text;
  for (const Pair& p : list->entries) {
    if (!p.name) break;
    text += *p.name + "=" + p.value.value_or("<absent>") + "|";
  }
  return text;
}

struct IniTest : ::testing::Test {
  TempDir dir;
  ParamListPtr read(const std::string& content, const char* section, size_t spare = 0) {
    std::string path = dir.write("test.ini", content);
    return ini_read_section(path.c_str(), section, spare);
  }
};

TEST_F(IniTest, ReadsTheNamedSectionLiterallyUpToTheNextHeader) {
  ParamListPtr list = read(
      "junk\n[server]\r\nHOME=/index.html\r\nERROR=err.html\r\na = 1\r\nq=x=y\r\n[other]\nz=9\n",
      "SERVER");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(entries_of(list.get()), "HOME=/index.html|ERROR=err.html|a = 1|q=x=y|");
  EXPECT_STREQ(plist_get(list.get(), "home", ""), "/index.html");
}

TEST_F(IniTest, RestOfTheHeaderLineIsBody) {
  ParamListPtr list = read("[DATABASE]x=1\ny=2", "database");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(entries_of(list.get()), "x=1|y=2|");
}

TEST_F(IniTest, BracketsInsideLinesAndUnclosedCandidates) {
  // "[x]" before the wanted section is a candidate header, skipped.
  ParamListPtr list = read("note=see [x] below\n[want]\nnote=see [x] below\nb=2\n", "want");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(entries_of(list.get()), "note=see [x] below|b=2|");
  // A candidate that runs into a newline is no header; the search goes on.
  list = read("[broken\n[want]\na=1\n", "want");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(entries_of(list.get()), "a=1|");
  // Spaces inside the brackets are part of the name.
  EXPECT_EQ(read("[ server ]\na=1\n", "server"), nullptr);
}

TEST_F(IniTest, LineRulesAndCapacityLargerThanTheEntries) {
  ParamListPtr list = read("[s]\n; comment\n\n  indented=1\n7up=yes\n_a\n#x=1\nlast=end", "s");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(entries_of(list.get()), "7up=yes|_a=|last=end|");
  EXPECT_GT(list->entries.size(), 3u);
  EXPECT_FALSE(list->entries[3].name.has_value());
}

TEST_F(IniTest, SpareSlotsComeFirstAndDuplicatesAreKeptInOrder) {
  ParamListPtr list = read("[s]\nk=1\nK=2\n", "s", 2);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(entries_of(list.get()), "=|=|k=1|K=2|");
  EXPECT_STREQ(plist_get(list.get(), "k", ""), "1");
}

TEST_F(IniTest, MissingEmptyOrAbsentSectionsGiveNone) {
  EXPECT_EQ(read("", "s"), nullptr);
  EXPECT_EQ(read("[a]\nx=1\n", "b"), nullptr);
  EXPECT_EQ(read("[a]\n[b]\nx=1\n", "a"), nullptr);
  EXPECT_EQ(read("[a]", "a"), nullptr);
  EXPECT_EQ(ini_read_section(dir.at("missing.ini").c_str(), "a", 0), nullptr);
  EXPECT_EQ(ini_read_section(dir.path.c_str(), "a", 0), nullptr);  // a directory
  // Only comments: a list with no used entries.
  ParamListPtr list = read("[a]\n;c\n", "a");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(plist_used_count(list.get()), 0u);
  // A zero byte before the section ends the search.
  EXPECT_EQ(read(std::string("\0[a]\nx=1\n", 9), "a"), nullptr);
}

TEST_F(IniTest, OnlyTheFirstSectionOfTheNameIsRead) {
  ParamListPtr list = read("[a]\nx=1\n[A]\nx=2\ny=3\n", "a");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(entries_of(list.get()), "x=1|");
}

TEST(KvParseText, CommaListsAndSkippedItems) {
  ParamListPtr list = kv_parse_text("IFMUID,IFMUID1,IFMUID2", ',', 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(entries_of(list.get()), "IFMUID=|IFMUID1=|IFMUID2=|");

  list = kv_parse_text("A, B", ',', 0);
  EXPECT_EQ(entries_of(list.get()), "A=|");
  list = kv_parse_text("a=1&&b=2&=3", '&', 1);
  EXPECT_EQ(entries_of(list.get()), "=|a=1|b=2|");
  EXPECT_EQ(kv_parse_text(nullptr, ',', 3), nullptr);
  EXPECT_EQ(kv_parse_text("", ',', 0), nullptr);
  list = kv_parse_text("", ',', 2);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->entries.size(), 2u);
  // A separator of 0 makes the whole text one item.
  list = kv_parse_text("a=b,c", '\0', 0);
  EXPECT_EQ(entries_of(list.get()), "a=b,c|");
}

TEST_F(IniTest, LinesOfEntriesAndHeadersAsTheReaderSeesThem) {
  std::string path =
      dir.write("f.ini",
                "; note [x] here\r\n[access]\r\nPWD=a\r\n\r\n[DATABASE]SAVEDATA=1\r\n"
                "  indented=no\r\n;c\r\nFORM=f.html\r\nnote=see [y] below\n[z\n");
  auto lines = ini_read_section_lines(path.c_str(), "database");
  ASSERT_TRUE(lines.has_value());
  ASSERT_EQ(lines->size(), 3u);
  EXPECT_EQ((*lines)[0].name, "SAVEDATA");
  EXPECT_EQ((*lines)[0].line, 5);
  EXPECT_EQ((*lines)[1].name, "FORM");
  EXPECT_EQ((*lines)[1].value, "f.html");
  EXPECT_EQ((*lines)[1].line, 8);
  EXPECT_EQ((*lines)[2].line, 9);
  EXPECT_FALSE(ini_read_section_lines(path.c_str(), "server").has_value());
  std::string headers;
  for (const IniLine& h : ini_section_names(path.c_str()))
    headers += h.name + "@" + std::to_string(h.line) + " ";
  EXPECT_EQ(headers, "x@1 access@2 DATABASE@5 y@9 ");
  // An empty section is no section, for both readers.
  path = dir.write("e.ini", "[DATABASE]\n[access]\nPWD=1\n");
  EXPECT_EQ(ini_read_section(path.c_str(), "DATABASE", 0), nullptr);
  EXPECT_FALSE(ini_read_section_lines(path.c_str(), "DATABASE").has_value());
}

TEST(KvParseArray, SplitsAtTheFirstEqualsWithoutCharacterTests) {
  const char* texts[] = {"a=1", " b=x=y", "plain"};
  ParamListPtr list = kv_parse_array(3, texts, 1);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(entries_of(list.get()), "=|a=1| b=x=y|plain=|");
  EXPECT_EQ(kv_parse_array(0, nullptr, 0), nullptr);
}

TEST(FileSize, SizeOfReadableFilesOnly) {
  TempDir dir;
  EXPECT_EQ(file_size(dir.write("f", "12345").c_str()), 5u);
  EXPECT_EQ(file_size(dir.at("missing").c_str()), 0u);
  EXPECT_EQ(file_size(dir.path.c_str()), 0u);
}

}  // namespace
}  // namespace fwk
