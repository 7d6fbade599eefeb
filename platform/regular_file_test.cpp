#include "platform/regular_file.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

TEST(RegularFile, OpensOnlyRegularFilesAndNeverWaits) {
  TempDir dir;
  std::string plain = dir.write("plain.txt", "abc");
  FilePtr file = file_open_regular(plain.c_str(), "rb");
  ASSERT_TRUE(file);
  char bytes[4] = {};
  EXPECT_EQ(std::fread(bytes, 1, 3, file.get()), 3u);
  EXPECT_STREQ(bytes, "abc");
  file.reset();

  // A FIFO without a writer would block fopen for ever; for writing it
  // would wait for a reader.
  std::string fifo = dir.at("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(file_open_regular(fifo.c_str(), "rb"), nullptr);
  EXPECT_EQ(file_open_regular(fifo.c_str(), "ab"), nullptr);
  EXPECT_EQ(file_open_regular("/dev/zero", "rb"), nullptr);
  EXPECT_EQ(file_open_regular("/dev/null", "wb"), nullptr);
  EXPECT_EQ(file_open_regular(dir.path.c_str(), "rb"), nullptr);
  EXPECT_EQ(file_open_regular(dir.at("missing").c_str(), "rb"), nullptr);
}

TEST(RegularFile, WriteModesCreateTruncateAndAppend) {
  TempDir dir;
  std::string path = dir.write("data.txt", "old text");
  FilePtr file = file_open_regular(path.c_str(), "wb");
  ASSERT_TRUE(file);
  std::fputs("new", file.get());
  file.reset();
  EXPECT_EQ(dir.read("data.txt"), "new");

  file = file_open_regular(path.c_str(), "ab");
  ASSERT_TRUE(file);
  std::fputs("+more", file.get());
  file.reset();
  EXPECT_EQ(dir.read("data.txt"), "new+more");

  file = file_open_regular(dir.at("fresh.txt").c_str(), "a");
  ASSERT_TRUE(file);
  file.reset();
  EXPECT_EQ(file_open_regular(path.c_str(), "q"), nullptr);
}

}  // namespace
}  // namespace fwk
