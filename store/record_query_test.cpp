#include "store/record_query.hpp"

#include <gtest/gtest.h>

#include "platform/testing/temp_dir.hpp"
#include "store/datafile.hpp"

namespace fwk {
namespace {

struct OpenData {
  FilePtr file;
  ParamListPtr header;
  explicit OpenData(const std::string& path) { datafile_open(path.c_str(), &file, &header, 0); }
  std::string field(const char* name) const { return plist_get(header.get(), name, ""); }
};

const char* kPeople =
    "ID\tNAME\tCITY\n"
    "\"1\"\t\"Ann\"\t\"Oslo\"\t\r\n"
    "#2\"\t\"Bob\"\t\"Oslo\"\t\r\n"
    "\"3\"\t\"Cid\"\t\"Rome\"\t\r\n"
    "\"4\"\t\"Dee\"\t\"oslo\"\t\r\n"
    "\t\t\r\n"
    "\"5\"\t\"Eve\"\t\"Oslo\"\t\r\n";

TEST(RecordNextMatching, FiltersByFieldsAndVariablesPassingOverRetiredRecords) {
  TempDir dir;
  std::string path = dir.write("people.asc", kPeople);
  ParamListPtr vars = plist_copy(nullptr, 1);
  plist_set(vars.get(), "town", "Oslo");
  OpenData data(path);
  std::vector<std::string> names;
  while (record_next_matching(data.file.get(), data.header.get(), vars.get(), "CITY eq $town")) {
    names.push_back(data.field("NAME"));
  }
  // Bob is retired; "eq" ignores case; the empty line ends the walk.
  EXPECT_EQ(names, (std::vector<std::string>{"Ann", "Dee"}));
}

TEST(RecordNextMatching, EmptyOrMalformedConditionsLetEveryRecordThrough) {
  TempDir dir;
  std::string path = dir.write("people.asc", kPeople);
  for (const char* condition : {static_cast<const char*>(nullptr), "", "NAME"}) {
    OpenData data(path);
    int count = 0;
    while (record_next_matching(data.file.get(), data.header.get(), nullptr, condition)) ++count;
    EXPECT_EQ(count, 3) << (condition ? condition : "none");
  }
}

TEST(RecordNextEqual, MatchesExactlyAndIgnoresUnknownCriteria) {
  TempDir dir;
  std::string path = dir.write("people.asc", kPeople);
  ParamListPtr criteria = plist_copy(nullptr, 3);
  plist_set(criteria.get(), "CITY", "Oslo");
  plist_set(criteria.get(), "NOSUCHFIELD", "x");
  OpenData data(path);
  int64_t position = 0;
  ASSERT_EQ(record_next_equal(data.file.get(), data.header.get(), criteria.get(), &position), 1);
  EXPECT_EQ(data.field("NAME"), "Ann");
  EXPECT_EQ(position, 13);
  // "oslo" differs in case; Bob is retired; the empty line ends the search.
  EXPECT_EQ(record_next_equal(data.file.get(), data.header.get(), criteria.get(), &position), 0);

  // The position is where the record's line starts.
  std::fseek(data.file.get(), 0, SEEK_SET);
  datafile_seek_row(data.file.get(), -1);
  plist_set(criteria.get(), "CITY", "Rome");
  ASSERT_EQ(record_next_equal(data.file.get(), data.header.get(), criteria.get(), &position), 1);
  std::fseek(data.file.get(), static_cast<long>(position), SEEK_SET);
  ASSERT_EQ(datafile_read_record(data.file.get(), data.header.get(), nullptr), 1);
  EXPECT_EQ(data.field("NAME"), "Cid");
}

TEST(RecordNextEqual, EmptyCriterionRequiresAnEmptyField) {
  TempDir dir;
  std::string path =
      dir.write("s.asc", "ID\t_SESSION\n\"1\"\t\"\"\t\r\n\"2\"\t\"abc\"\t\r\n\"3\"\r\n");
  ParamListPtr criteria = plist_copy(nullptr, 1);
  plist_set(criteria.get(), "_SESSION", "");
  OpenData data(path);
  std::vector<std::string> ids;
  while (record_next_equal(data.file.get(), data.header.get(), criteria.get(), nullptr)) {
    ids.push_back(data.field("ID"));
  }
  EXPECT_EQ(ids, (std::vector<std::string>{"1", "3"}));
}

}  // namespace
}  // namespace fwk
