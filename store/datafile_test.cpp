#include "store/datafile.hpp"

#include <gtest/gtest.h>

#include "core/testing/test_lists.hpp"
#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

const char* value_of(const ParamList& list, const char* name) {
  const Pair* entry = plist_find(&list, name);
  return entry && entry->value ? entry->value->c_str() : nullptr;
}

TEST(DatafileHeader, NamesColumnsDropsHashAndAddsSpareSlots) {
  TempDir dir;
  std::string path = dir.write("d.asc", "#ID\tName\t\tAge\r\nrow1\n");
  FilePtr file;
  ParamListPtr header;
  ASSERT_EQ(datafile_open(path.c_str(), &file, &header, 2), 1);
  ASSERT_EQ(test_list_slots(header.get()), 6u);
  const char* names[] = {"ID", "Name", "", "Age", "", ""};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(*plist_at(header.get(), i)->name, names[i]) << i;
  EXPECT_FALSE(plist_at(header.get(), 0)->value);
  EXPECT_EQ(*plist_at(header.get(), 4)->value, "");
  // The file is handed over positioned at row 1.
  char row[5] = {};
  EXPECT_EQ(std::fread(row, 1, 4, file.get()), 4u);
  EXPECT_STREQ(row, "row1");
}

TEST(DatafileHeader, RefusesUnfinishedEmptyOrMissingHeaders) {
  TempDir dir;
  FilePtr file(std::tmpfile());
  ParamListPtr header = plist_alloc(1);
  EXPECT_EQ(datafile_open(dir.write("a.asc", "ID\tName").c_str(), &file, &header, 0), 0);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(header, nullptr);
  EXPECT_EQ(datafile_open(dir.write("b.asc", "\nID\n").c_str(), &file, &header, 0), 0);
  EXPECT_EQ(datafile_open(dir.at("none.asc").c_str(), &file, &header, 0), 0);
  EXPECT_EQ(datafile_open(dir.path.c_str(), &file, &header, 0), 0);
}

TEST(DatafileHeader, FallsBackToAscExtension) {
  TempDir dir;
  dir.write("survey.asc", "A\tB\n");
  ParamListPtr header;
  EXPECT_EQ(datafile_open(dir.at("survey").c_str(), nullptr, &header, 0), 1);
  ASSERT_TRUE(header);
  EXPECT_EQ(*plist_at(header.get(), 1)->name, "B");
}

TEST(DatafileRecord, ReadsQuotedAndPlainFieldsIgnoringCarriageReturns) {
  TempDir dir;
  std::string path = dir.write("d.asc",
                               "A\tB\tC\n"
                               "\"say \"\"hi\"\"\"\tplain\t\"\"\t\r\n"
                               "x\r\n"
                               "1\t2\t3\t4\t5\n"
                               "next\tline\n");
  FilePtr file;
  ParamListPtr header;
  ASSERT_EQ(datafile_open(path.c_str(), &file, &header, 0), 1);
  int kind = -1;
  ASSERT_EQ(datafile_read_record(file.get(), header.get(), &kind), 1);
  EXPECT_EQ(kind, kRecordPlain);
  EXPECT_STREQ(value_of(*header, "A"), "say \"hi\"");
  EXPECT_STREQ(value_of(*header, "B"), "plain");
  EXPECT_STREQ(value_of(*header, "C"), "");

  // A short line leaves the remaining values absent (not stale).
  ASSERT_EQ(datafile_read_record(file.get(), header.get(), &kind), 1);
  EXPECT_STREQ(value_of(*header, "A"), "x");
  EXPECT_EQ(value_of(*header, "B"), nullptr);
  EXPECT_EQ(value_of(*header, "C"), nullptr);

  // Extra fields are skipped and the next read starts on the next line.
  ASSERT_EQ(datafile_read_record(file.get(), header.get(), &kind), 1);
  EXPECT_STREQ(value_of(*header, "C"), "3");
  ASSERT_EQ(datafile_read_record(file.get(), header.get(), &kind), 1);
  EXPECT_STREQ(value_of(*header, "A"), "next");

  EXPECT_EQ(datafile_read_record(file.get(), header.get(), &kind), 0);
  EXPECT_EQ(kind, kRecordEmpty);
}

TEST(DatafileRecord, ReportsMarkedAndEmptyLines) {
  TempDir dir;
  std::string path = dir.write("d.asc", "A\tB\n\t#gone\n\t\n#\"x\"\t\"y\"\t\r\nz\t#\n");
  FilePtr file;
  ParamListPtr header;
  ASSERT_EQ(datafile_open(path.c_str(), &file, &header, 0), 1);
  int kind = -1;
  EXPECT_EQ(datafile_read_record(file.get(), header.get(), &kind), 1);
  EXPECT_EQ(kind, kRecordMarked);
  EXPECT_EQ(datafile_read_record(file.get(), header.get(), &kind), 0);
  EXPECT_EQ(kind, kRecordEmpty);
  EXPECT_EQ(datafile_read_record(file.get(), header.get(), &kind), 1);
  EXPECT_EQ(kind, kRecordMarked);  // a retired record: its first byte was overwritten
  EXPECT_EQ(datafile_read_record(file.get(), header.get(), &kind), 1);
  EXPECT_EQ(kind, kRecordPlain);  // only the first non-empty field decides
}

TEST(DatafileRecord, SpareSlotsKeepTheirNamesAcrossReads) {
  TempDir dir;
  std::string path = dir.write("d.asc", "A\n\"1\"\t\r\n\"2\"\t\r\n");
  FilePtr file;
  ParamListPtr header;
  ASSERT_EQ(datafile_open(path.c_str(), &file, &header, 1), 1);
  plist_rename(header.get(), "", "#");
  plist_set(header.get(), "#", "7");
  ASSERT_EQ(datafile_read_record(file.get(), header.get(), nullptr), 1);
  EXPECT_STREQ(value_of(*header, "A"), "1");
  EXPECT_EQ(value_of(*header, "#"), nullptr);
  ASSERT_EQ(datafile_read_record(file.get(), header.get(), nullptr), 1);
  EXPECT_STREQ(value_of(*header, "A"), "2");
}

TEST(DatafileUnquote, HandlesDoubledAndStrayQuotes) {
  EXPECT_EQ(datafile_unquote("\"\""), "");
  EXPECT_EQ(datafile_unquote("\"abc\""), "abc");
  EXPECT_EQ(datafile_unquote("\"a\"\"b\""), "a\"b");
  EXPECT_EQ(datafile_unquote("\"open"), "open");
  EXPECT_EQ(datafile_unquote("\"x\"y\""), "xy");
  EXPECT_EQ(datafile_unquote("\""), "");
  // Values made of quotes only, as the writer quotes them.
  EXPECT_EQ(datafile_unquote("\"\"\"\""), "\"");
  EXPECT_EQ(datafile_unquote("\"\"\"\"\"\""), "\"\"");
  EXPECT_EQ(datafile_unquote("\"x\"\"\""), "x\"");
}

TEST(DatafileRows, SeekCountsLineFeedsFromTheCurrentPlace) {
  TempDir dir;
  std::string path = dir.write("d.asc", "A\nr1\nr2\nr3\n");
  FilePtr file;
  ParamListPtr header;
  ASSERT_EQ(datafile_open(path.c_str(), &file, &header, 0), 1);
  EXPECT_EQ(datafile_seek_row(file.get(), 0), 0);
  EXPECT_EQ(datafile_seek_row(file.get(), 2), 2);
  ASSERT_EQ(datafile_read_record(file.get(), header.get(), nullptr), 1);
  EXPECT_STREQ(value_of(*header, "A"), "r3");
  EXPECT_EQ(datafile_seek_row(file.get(), -1), 1);
  ASSERT_EQ(datafile_read_record(file.get(), header.get(), nullptr), 1);
  EXPECT_STREQ(value_of(*header, "A"), "r1");
  EXPECT_EQ(datafile_skip_lines(file.get(), 5), 0);
}

}  // namespace
}  // namespace fwk
