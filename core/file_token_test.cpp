#include "core/file_token.hpp"

#include <gtest/gtest.h>

#include <string>

#include "platform/file_ptr.hpp"

namespace fwk {
namespace {

// An open stream holding exactly these bytes, positioned at the start.
FilePtr stream_of(const std::string& bytes) {
  FilePtr file(std::tmpfile());
  std::fwrite(bytes.data(), 1, bytes.size(), file.get());
  std::rewind(file.get());
  return file;
}

TEST(FileReadToken, ReturnsTheDelimiterAndMinusOneAtTheEnd) {
  FilePtr file = stream_of("a\tb");
  std::string buf;
  EXPECT_EQ(file_read_token(file.get(), &buf, 16, "\t\n", 0), '\t');
  EXPECT_EQ(buf, "a");
  EXPECT_EQ(file_read_token(file.get(), &buf, 16, "\t\n", 0), -1);
  EXPECT_EQ(buf, "b");
  EXPECT_EQ(file_read_token(file.get(), &buf, 16, "\t\n", 0), -1);
  EXPECT_EQ(buf, "");
}

TEST(FileReadToken, LongTokensAreCutAndTheRestIsConsumed) {
  FilePtr file = stream_of("abcdefgh=next\n");
  std::string buf;
  EXPECT_EQ(file_read_token(file.get(), &buf, 4, "=", 0), '=');
  EXPECT_EQ(buf, "abc");
  EXPECT_EQ(file_read_token(file.get(), &buf, 1, "\n", 0), '\n');
  EXPECT_EQ(buf, "");  // an area of one byte holds only the terminator

  file = stream_of("xyz]");
  EXPECT_EQ(file_read_token(file.get(), &buf, 0, "]", 0), ']');
  EXPECT_EQ(buf, "");
}

TEST(FileReadToken, SkipCharacterIsDroppedAndZeroByteAlwaysDelimits) {
  FilePtr file = stream_of(std::string("a\rb\r\nc\0d", 8));
  std::string buf;
  EXPECT_EQ(file_read_token(file.get(), &buf, 16, "\n", '\r'), '\n');
  EXPECT_EQ(buf, "ab");
  EXPECT_EQ(file_read_token(file.get(), &buf, 16, "\n", '\r'), 0);
  EXPECT_EQ(buf, "c");
  EXPECT_EQ(file_read_token(file.get(), nullptr, 16, "\n", '\r'), -1);  // no buffer: skip only
  EXPECT_EQ(file_read_token(nullptr, &buf, 16, "\n", 0), -1);
}

}  // namespace
}  // namespace fwk
