#include "store/datafile_append.hpp"

#include <gtest/gtest.h>

#include "core/testing/test_lists.hpp"
#include "platform/testing/temp_dir.hpp"
#include "store/datafile.hpp"

namespace fwk {
namespace {

TEST(DatafileAppend, WritesColumnsInHeaderOrderAndJoinsRepeatedNames) {
  TempDir dir;
  std::string path = dir.write("d.asc", "ID\tQ1\t\tQ2\tNONE\n");
  ParamListPtr record = test_list(
      {{"q2", "a"}, {"ID", "7"}, {"Q2", ""}, {"Q2", "b"}, {"EXTRA", "x"}, {"Q1", nullptr}});
  int64_t position = -1;
  ASSERT_EQ(datafile_append_record(path.c_str(), record.get(), &position), kStoreOk);
  EXPECT_EQ(position, 15);
  EXPECT_EQ(dir.read("d.asc"), "ID\tQ1\t\tQ2\tNONE\n\"7\"\t\"\"\t\"\"\t\"a,b\"\t\"\"\t\r\n");
}

TEST(DatafileAppend, UnnamedColumnsKeepLaterColumnsInPlace) {
  TempDir dir;
  std::string path = dir.write("d.asc", "A\t\tB\t\n");
  ParamListPtr record = test_list({{"A", "1"}, {"B", "2"}});
  ASSERT_EQ(datafile_append_record(path.c_str(), record.get(), nullptr), kStoreOk);
  // Nothing is written for the trailing unnamed column.
  EXPECT_EQ(dir.read("d.asc"), "A\t\tB\t\n\"1\"\t\"\"\t\"2\"\t\r\n");
  std::FILE* file = nullptr;
  ParamListPtr header;
  ASSERT_EQ(datafile_open(path.c_str(), &file, &header, 0), 1);
  ASSERT_EQ(datafile_read_record(file, header.get(), nullptr), 1);
  EXPECT_STREQ(plist_get(header.get(), "B", "?"), "2");
  datafile_close(file, std::move(header));
}

TEST(DatafileAppend, ValuesRoundTripAndStayOnOneLine) {
  TempDir dir;
  std::string path = dir.write("d.asc", "A\tB\tC\n");
  ParamListPtr record =
      test_list({{"A", "say \"hi\""}, {"B", "one\r\ntwo\nthree\rfour\n\n"}, {"C", "tab\there"}});
  int64_t first = 0;
  int64_t second = 0;
  ASSERT_EQ(datafile_append_record(path.c_str(), record.get(), &first), kStoreOk);
  ASSERT_EQ(datafile_append_record(path.c_str(), record.get(), &second), kStoreOk);
  EXPECT_EQ(first, 6);
  EXPECT_GT(second, first);

  std::FILE* file = nullptr;
  ParamListPtr header;
  ASSERT_EQ(datafile_open(path.c_str(), &file, &header, 0), 1);
  for (int row = 0; row < 2; ++row) {
    ASSERT_EQ(datafile_read_record(file, header.get(), nullptr), 1);
    EXPECT_EQ(*plist_at(header.get(), 0)->value, "say \"hi\"");
    // Each line break (CR LF, LF or CR) is one space, as a tab is.
    EXPECT_EQ(*plist_at(header.get(), 1)->value, "one two three four  ");
    EXPECT_EQ(*plist_at(header.get(), 2)->value, "tab here");
  }
  EXPECT_EQ(datafile_read_record(file, header.get(), nullptr), 0);
  // The reported position is where the record's line starts.
  std::fseek(file, static_cast<long>(second), SEEK_SET);
  ASSERT_EQ(datafile_read_record(file, header.get(), nullptr), 1);
  EXPECT_EQ(*plist_at(header.get(), 0)->value, "say \"hi\"");
  datafile_close(file, std::move(header));
}

TEST(DatafileAppend, ValuesInContinuationBlocksAreWritten) {
  TempDir dir;
  std::string path = dir.write("d.asc", "A\tLATE\n");
  ParamListPtr record = test_list({{"A", "1"}});
  plist_extend(record.get(), 4);
  plist_set(record.get(), "late", "2");
  ASSERT_EQ(datafile_append_record(path.c_str(), record.get(), nullptr), kStoreOk);
  EXPECT_EQ(dir.read("d.asc"), "A\tLATE\n\"1\"\t\"2\"\t\r\n");
}

TEST(DatafileAppend, ReportsMissingHeaderAndUnwritablePath) {
  TempDir dir;
  ParamListPtr record = test_list({{"A", "1"}});
  int64_t position = 5;
  EXPECT_EQ(datafile_append_record(dir.at("none.asc").c_str(), record.get(), &position),
            kStoreHeaderUnreadable);
  EXPECT_EQ(position, 0);
  dir.write("bad.asc", "no line feed");
  EXPECT_EQ(datafile_append_record(dir.at("bad.asc").c_str(), record.get(), nullptr),
            kStoreHeaderUnreadable);
  // The header is found through the ".asc" fallback, but the append uses the
  // path as given, which does not exist.
  dir.write("survey.asc", "A\n");
  EXPECT_EQ(datafile_append_record(dir.at("survey").c_str(), record.get(), nullptr),
            kStoreNotWritable);
  EXPECT_EQ(dir.read("survey.asc"), "A\n");
}

TEST(DatafileAppend, IndexLinesAreAppendedToNewOrExistingFiles) {
  TempDir dir;
  EXPECT_EQ(datafile_append_line(dir.at("i.asc").c_str(), "\"a\"\t12\n"), kStoreOk);
  EXPECT_EQ(datafile_append_line(dir.at("i.asc").c_str(), "\"b\"\t40\n"), kStoreOk);
  EXPECT_EQ(dir.read("i.asc"), "\"a\"\t12\n\"b\"\t40\n");
  EXPECT_EQ(datafile_append_line(dir.at("no/i.asc").c_str(), "x"), kStoreNotWritable);
}

}  // namespace
}  // namespace fwk
