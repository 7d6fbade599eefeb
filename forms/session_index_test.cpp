#include "forms/session_index.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/testing/test_lists.hpp"
#include "forms/response_save.hpp"
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

  // What a save does: note the file, append, retire through the index.
  void save(const char* session, const char* name) {
    FileInfo before = file_info(path.c_str());
    ParamListPtr record = test_list({{"_SESSION", session}, {"name", name}});
    ASSERT_EQ(datafile_append_record(path.c_str(), record.get(), nullptr), StoreResult::ok);
    EXPECT_EQ(session_index_retire(index, path.c_str(), before, record.get()), 0);
  }
};

TEST_F(SessionIndexTest, KeepsOneLiveRecordPerSessionAcrossSaves) {
  make_file("_SESSION\tname\n");
  save("A", "a1");
  save("B", "b1");
  save("A", "a2");
  save("A", "a3");
  save("", "none1");
  save("", "none2");
  EXPECT_EQ(marks(dir.read("d.asc")), "#\"#\"\"\"");
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

  // The same for the one-pass retirement over an open file.
  ParamListPtr request = test_list({{"_SESSION", "A"}});
  FilePtr file(std::fopen(path.c_str(), "r+b"));
  ParamListPtr header = datafile_read_header(file.get(), 0);
  EXPECT_EQ(session_retire_earlier(file.get(), header.get(), request.get()), 0);
  file.reset();
  EXPECT_EQ(marks(dir.read("d.asc")), "\"\"");
}

TEST_F(SessionIndexTest, OnePassRetirementMarksAllButTheLast) {
  make_file("_SESSION\tname\n");
  for (const char* s : {"A", "B", "A", "A"}) {
    ParamListPtr record = test_list({{"_SESSION", s}, {"name", "n"}});
    datafile_append_record(path.c_str(), record.get(), nullptr);
  }
  ParamListPtr request = test_list({{"_SESSION", "A"}});
  FilePtr file(std::fopen(path.c_str(), "r+b"));
  ParamListPtr header = datafile_read_header(file.get(), 0);
  EXPECT_EQ(session_retire_earlier(file.get(), header.get(), request.get()), 0);
  file.reset();
  EXPECT_EQ(marks(dir.read("d.asc")), "#\"#\"");
}

}  // namespace
}  // namespace fwk
