#include "core/text_buffer.hpp"

#include <gtest/gtest.h>

#include <string>

#include "core/sink.hpp"

namespace fwk {
namespace {

TEST(TextBuffer, OverflowAddsOneChunkOfTheRemainderAndNeverMovesBytes) {
  TextBuffer buffer = tbuf_new(1024);
  const char* first_chunk = buffer.chunks[0].data.get();
  std::string input(5000, '\0');
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<char>('a' + i % 26);
  input[100] = '\0';  // zero bytes are stored like any other

  EXPECT_EQ(tbuf_append(buffer, input.data(), input.size()), 5000u);
  ASSERT_EQ(buffer.chunks.size(), 2u);
  EXPECT_EQ(buffer.chunks[0].data.get(), first_chunk);
  EXPECT_EQ(buffer.chunks[0].length, 1024u);
  EXPECT_EQ(buffer.chunks[1].capacity, 3976u);
  EXPECT_EQ(buffer.chunks[1].data[3976], '\0');
  EXPECT_EQ(tbuf_length(buffer), 5000u);
  EXPECT_EQ(tbuf_to_text(buffer), input);
}

TEST(TextBuffer, SmallOverflowChunksHoldAtLeast1024AndFullChunkWaitsForNextAppend) {
  TextBuffer buffer = tbuf_new(4);
  EXPECT_EQ(tbuf_append(buffer, "abcd", 4), 4u);
  EXPECT_EQ(buffer.chunks.size(), 1u);  // filled exactly: no successor yet
  EXPECT_EQ(tbuf_append(buffer, "e", 1), 1u);
  ASSERT_EQ(buffer.chunks.size(), 2u);
  EXPECT_EQ(buffer.chunks[1].capacity, 1024u);
  EXPECT_EQ(tbuf_append(buffer, "x", 0), 0u);
  EXPECT_EQ(tbuf_append_text(buffer, nullptr), 0u);
  EXPECT_EQ(buffer.chunks.size(), 2u);
  EXPECT_EQ(tbuf_append_text(buffer, "fg"), 2u);
  EXPECT_EQ(tbuf_to_text(buffer), "abcdefg");
}

TEST(TextBuffer, CopyOutStopsAtLimitAcrossChunks) {
  TextBuffer buffer = tbuf_new(3);
  tbuf_append_text(buffer, "hello world");
  std::string dest(20, '#');
  EXPECT_EQ(tbuf_copy_out(buffer, dest.data(), 5), 5u);
  EXPECT_EQ(dest.substr(0, 6), "hello#");
  EXPECT_EQ(tbuf_copy_out(buffer, dest.data(), 20), 11u);
  EXPECT_EQ(dest.substr(0, 11), "hello world");
}

TEST(TextBuffer, SendWritesEveryChunkInOrder) {
  TextBuffer source = tbuf_new(2);
  tbuf_append_text(source, "abc");
  tbuf_append_text(source, "def");
  TextBuffer target = tbuf_new(1024);
  OutputSink sink;
  sink.text = &target;
  tbuf_send(&sink, source);
  tbuf_send(nullptr, source);
  EXPECT_EQ(tbuf_to_text(target), "abcdef");
}

}  // namespace
}  // namespace fwk
