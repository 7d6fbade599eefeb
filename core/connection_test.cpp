#include "core/connection.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/sink.hpp"

namespace fwk {
namespace {

TEST(Sink, FirstPresentTargetReceivesTheBytesAndNoTargetSwallowsThem) {
  OutputSink none;
  EXPECT_EQ(sink_write(&none, "abc", 3), 0u);
  EXPECT_EQ(sink_write(nullptr, "abc", 3), 0u);

  TextBuffer text = tbuf_new(8);
  FilePtr file(std::tmpfile());
  ASSERT_TRUE(file);
  OutputSink both;
  both.file = file.get();
  both.text = &text;
  EXPECT_EQ(sink_write(&both, "abc", 3), 3u);
  EXPECT_EQ(sink_write(&both, nullptr, 3), 0u);
  EXPECT_EQ(tbuf_length(text), 0u);
  EXPECT_EQ(std::ftell(file.get()), 3);

  Connection connection;
  OutputSink all;
  all.connection = &connection;
  all.file = file.get();
  all.text = &text;
  EXPECT_EQ(sink_write(&all, "hello", 5), 5u);
  EXPECT_EQ(connection.response, "hello");
  EXPECT_EQ(tbuf_length(text), 0u);
  EXPECT_EQ(std::ftell(file.get()), 3);
}

// A connection keeps the response in order: the bytes before a handed-over
// file, the file (from where it was read to), and whatever was written after
// it.
TEST(Connection, AFileIsHandedOverAndLaterBytesWaitBehindIt) {
  Connection connection;
  OutputSink sink;
  sink.connection = &connection;
  FilePtr file(std::tmpfile());
  ASSERT_TRUE(file);
  std::fputs("0123456789", file.get());
  std::fseek(file.get(), 4, SEEK_SET);

  sink_write(&sink, "head", 4);
  sink_copy_file(&sink, file);
  EXPECT_FALSE(file);
  EXPECT_EQ(connection.stream_offset, 4);
  sink_write(&sink, "tail", 4);
  // Only one file at a time: a second one is copied behind the first.
  FilePtr second(std::tmpfile());
  ASSERT_TRUE(second);
  std::fputs("xy", second.get());
  std::rewind(second.get());
  sink_copy_file(&sink, second);
  EXPECT_TRUE(second);

  EXPECT_EQ(connection.response, "head");
  EXPECT_EQ(connection.after_file, "tailxy");
}

}  // namespace
}  // namespace fwk
