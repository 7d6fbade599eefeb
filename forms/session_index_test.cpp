#include "forms/session_index.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/testing/test_lists.hpp"
#include "platform/testing/temp_dir.hpp"
#include "store/datafile.hpp"
#include "store/datafile_append.hpp"

namespace fwk {
namespace {

// The first character of every record line: '#' for a retired record.
std::string marks(const std::string& bytes) {
  std::string out;
  std::istringstream lines(bytes);
  std::string line;
  std::getline(lines, line);  // header
  while (std::getline(lines, line)) out.push_back(line.empty() ? '?' : line[0]);
  return out;
}

struct SessionIndexTest : ::testing::Test {
  TempDir dir;
  SessionIndex index;
  std::string path;

  void make_file(const std::string& header) { path = dir.write("d.asc", header); }

  void append(const char* session, const char* name) {
    ParamListPtr record = test_list({{"_SESSION", session}, {"name", name}});
    ASSERT_EQ(datafile_append_record(path.c_str(), record.get(), nullptr), kStoreOk);
  }

  // What a save does: note the file, append, retire through the index.
  // Returns how many earlier records of the session it found.
  int64_t save(const char* session, const char* name) {
    FileInfo before = file_info(path.c_str());
    append(session, name);
    ParamListPtr request = test_list({{"_SESSION", session}});
    Retirement retirement = session_index_retire(index, path.c_str(), before, request.get());
    EXPECT_TRUE(retirement.marked);
    return retirement.earlier;
  }
};

TEST_F(SessionIndexTest, KeepsOneLiveRecordPerSessionAcrossSaves) {
  make_file("_SESSION\tname\n");
  EXPECT_EQ(save("A", "a1"), 0);
  EXPECT_EQ(save("B", "b1"), 0);
  EXPECT_EQ(save("A", "a2"), 1);
  EXPECT_EQ(save("A", "a3"), 1);
  EXPECT_EQ(save("", "none1"), 0);
  EXPECT_EQ(save("", "none2"), 0);
  EXPECT_EQ(marks(dir.read("d.asc")), "#\"#\"\"\"");
  EXPECT_EQ(index.files[0].live_records, 4);
}

TEST_F(SessionIndexTest, FileChangedBehindItsBackIsReadAgain) {
  make_file("_SESSION\tname\n");
  save("A", "a1");
  save("B", "b1");
  // Another writer appends a record of session B, and revives nothing else.
  std::ofstream(path, std::ios::app) << "\"B\"\t\"outside\"\t\r\n";
  save("B", "b2");
  EXPECT_EQ(marks(dir.read("d.asc")), "\"##\"");
  // The file replaced by another of the same size whose session A record
  // starts elsewhere: read in full again, so the right line is marked.
  const size_t size = dir.read("d.asc").size();
  std::string head = "_SESSION\tname\n\"Z\"\t\"";
  std::string tail = "\"\t\r\n\"A\"\t\"x1\"\t\r\n";
  std::remove(path.c_str());
  dir.write("d.asc", head + std::string(size - head.size() - tail.size(), 'z') + tail);
  save("A", "x2");
  EXPECT_EQ(marks(dir.read("d.asc")), "\"#\"");
}

TEST_F(SessionIndexTest, FileWithoutSessionColumnRetiresNothing) {
  make_file("name\tother\n");
  save("A", "a1");
  save("A", "a2");
  EXPECT_EQ(marks(dir.read("d.asc")), "\"\"");
  SessionIndex fresh;
  Repair repair = session_index_repair(fresh, path.c_str());
  EXPECT_EQ(repair.retired, 0);
  EXPECT_EQ(repair.live, 2);
}

// A crash between an append and the retirement leaves two live records of a
// session; the repair retires all but the last of each session, and a save
// of the session after it finds nothing left to retire.
TEST_F(SessionIndexTest, RepairRetiresAllButTheLastOfEachSession) {
  make_file("_SESSION\tname\n");
  save("A", "a1");
  append("A", "a2");
  append("B", "b1");
  append("A", "a3");
  append("B", "b2");
  append("", "none");
  SessionIndex fresh;
  Repair repair = session_index_repair(fresh, path.c_str());
  EXPECT_TRUE(repair.readable);
  EXPECT_TRUE(repair.marked);
  EXPECT_EQ(repair.retired, 3);
  EXPECT_EQ(repair.live, 3);
  EXPECT_EQ(marks(dir.read("d.asc")), "###\"\"\"");
  EXPECT_EQ(session_index_repair(fresh, path.c_str()).retired, 0);

  EXPECT_FALSE(session_index_repair(fresh, dir.at("none.asc").c_str()).readable);
}

}  // namespace
}  // namespace fwk
