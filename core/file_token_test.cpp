#include "core/file_token.hpp"

#include <gtest/gtest.h>

#include <string>

namespace fwk {
namespace {

// An open stream holding exactly these bytes, positioned at the start.
std::FILE* stream_of(const std::string& bytes) {
  std::FILE* file = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  return file;
}

TEST(FileReadToken, ReturnsTheDelimiterAndMinusOneAtTheEnd) {
  std::FILE* file = stream_of("a\tb");
  std::string buf;
  EXPECT_EQ(file_read_token(file, &buf, 16, "\t\n", 0), '\t');
  EXPECT_EQ(buf, "a");
  EXPECT_EQ(file_read_token(file, &buf, 16, "\t\n", 0), -1);
  EXPECT_EQ(buf, "b");
  EXPECT_EQ(file_read_token(file, &buf, 16, "\t\n", 0), -1);
  EXPECT_EQ(buf, "");
  std::fclose(file);
}

TEST(FileReadToken, LongTokensAreCutAndTheRestIsConsumed) {
  std::FILE* file = stream_of("abcdefgh=next\n");
  std::string buf;
  EXPECT_EQ(file_read_token(file, &buf, 4, "=", 0), '=');
  EXPECT_EQ(buf, "abc");
  EXPECT_EQ(file_read_token(file, &buf, 1, "\n", 0), '\n');
  EXPECT_EQ(buf, "");  // an area of one byte holds only the terminator
  std::fclose(file);

  file = stream_of("xyz]");
  EXPECT_EQ(file_read_token(file, &buf, 0, "]", 0), ']');
  EXPECT_EQ(buf, "");
  std::fclose(file);
}

TEST(FileReadToken, SkipCharacterIsDroppedAndZeroByteAlwaysDelimits) {
  std::FILE* file = stream_of(std::string("a\rb\r\nc\0d", 8));
  std::string buf;
  EXPECT_EQ(file_read_token(file, &buf, 16, "\n", '\r'), '\n');
  EXPECT_EQ(buf, "ab");
  EXPECT_EQ(file_read_token(file, &buf, 16, "\n", '\r'), 0);
  EXPECT_EQ(buf, "c");
  EXPECT_EQ(file_read_token(file, nullptr, 16, "\n", '\r'), -1);  // no buffer: skip only
  std::fclose(file);
  EXPECT_EQ(file_read_token(nullptr, &buf, 16, "\n", 0), -1);
}

}  // namespace
}  // namespace fwk
