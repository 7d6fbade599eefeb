#include "core/text_input.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/file_ptr.hpp"

namespace fwk {
namespace {

TEST(TextInput, SeeksWithinAndBeyondTheWindow) {
  FilePtr file(std::tmpfile());
  ASSERT_TRUE(file.get());
  std::string data;
  for (int i = 0; i < 40000; ++i) data.push_back(static_cast<char>('a' + i % 26));
  std::fwrite(data.data(), 1, data.size(), file.get());
  std::fseek(file.get(), 5, SEEK_SET);
  TextInput in = input_from_file(file.get());
  EXPECT_EQ(input_tell(in), 5);
  EXPECT_EQ(input_getc(in), 'f');
  EXPECT_TRUE(input_seek(in, 30000));
  EXPECT_EQ(input_getc(in), data[30000]);
  EXPECT_TRUE(input_seek(in, 2));
  EXPECT_EQ(input_getc(in), 'c');
  input_ungetc(in);
  EXPECT_EQ(input_getc(in), 'c');
  EXPECT_TRUE(input_seek(in, 39999));
  EXPECT_EQ(input_getc(in), data[39999]);
  EXPECT_EQ(input_getc(in), kInputEnd);
  EXPECT_EQ(input_tell(in), 40000);
  EXPECT_FALSE(input_seek(in, -1));
  input_seek(in, 100);
  input_sync(in);
  EXPECT_EQ(std::ftell(file.get()), 100);

  TextInput mem = input_from_memory("xyz");
  EXPECT_TRUE(input_seek(mem, 10));
  EXPECT_EQ(input_getc(mem), kInputEnd);
  std::string token;
  mem = input_from_memory("ab\rc=d");
  EXPECT_EQ(input_read_token(mem, &token, 3, "=", '\r'), '=');
  EXPECT_EQ(token, "ab");
  EXPECT_EQ(input_read_token(mem, &token, 10, "=", 0), kInputEnd);
  EXPECT_EQ(token, "d");
}

}  // namespace
}  // namespace fwk
