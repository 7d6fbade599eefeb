#include "core/connection.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/sink.hpp"
#include "platform/socket.hpp"
#include "platform/testing/socket_pair.hpp"

namespace fwk {
namespace {

// A connection whose socket is one end of a packet pair; the test reads
// each send call as one packet from the other end.
struct ConnectionTest : ::testing::Test {
  Connection connection;
  int peer = -1;

  void SetUp() override { ASSERT_TRUE(socket_pair_packets(&connection.socket, &peer)); }
  void TearDown() override {
    socket_close(connection.socket);
    socket_close(peer);
  }

  std::vector<size_t> packet_sizes() {
    std::vector<size_t> sizes;
    std::string packet(4096, '\0');
    while (socket_wait_readable(peer, 0)) {
      long n = socket_receive(peer, packet.data(), packet.size());
      if (n <= 0) break;
      sizes.push_back(static_cast<size_t>(n));
    }
    return sizes;
  }
};

TEST_F(ConnectionTest, SmallWritesCollectUntilTheBufferIsFull) {
  std::string bytes(259, 'a');
  EXPECT_EQ(conn_send(connection, bytes.data(), 259), 259u);
  EXPECT_TRUE(packet_sizes().empty());
  EXPECT_EQ(connection.pending, 259u);
  conn_send(connection, "b", 1);
  EXPECT_EQ(packet_sizes(), std::vector<size_t>{260});
  EXPECT_EQ(connection.pending, 0u);
}

TEST_F(ConnectionTest, FillingTheBufferSendsOnePacketAndKeepsTheRest) {
  std::string bytes(250, 'a');
  conn_send(connection, bytes.data(), 250);
  conn_send(connection, "0123456789abcdefghij", 20);
  EXPECT_EQ(packet_sizes(), std::vector<size_t>{260});
  EXPECT_EQ(connection.pending, 10u);
  EXPECT_EQ(std::string(connection.send_buffer.data(), 10), "abcdefghij");
}

TEST_F(ConnectionTest, LongRemainderIsSentDirectly) {
  std::string bytes(600, 'x');
  EXPECT_EQ(conn_send(connection, bytes.data(), 600), 600u);
  EXPECT_EQ(packet_sizes(), (std::vector<size_t>{260, 340}));
  EXPECT_EQ(connection.pending, 0u);
}

TEST_F(ConnectionTest, FlushSendsPendingBytesOnceAndSinkRoutesToConnectionFirst) {
  TextBuffer text = tbuf_new(16);
  OutputSink sink;
  sink.connection = &connection;
  sink.text = &text;
  EXPECT_EQ(sink_write(&sink, "hello", 5), 5u);
  EXPECT_EQ(tbuf_length(text), 0u);
  conn_flush(connection);
  conn_flush(connection);
  EXPECT_EQ(packet_sizes(), std::vector<size_t>{5});
}

TEST_F(ConnectionTest, SendToAPeerThatHasGoneDoesNotRaiseASignal) {
  socket_close(peer);
  peer = -1;
  std::string bytes(600, 'x');
  EXPECT_EQ(conn_send(connection, bytes.data(), 600), 600u);  // still reports n
}

TEST(Sink, FirstPresentTargetReceivesTheBytesAndNoTargetSwallowsThem) {
  OutputSink none;
  EXPECT_EQ(sink_write(&none, "abc", 3), 0u);
  EXPECT_EQ(sink_write(nullptr, "abc", 3), 0u);

  TextBuffer text = tbuf_new(8);
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  OutputSink both;
  both.file = file;
  both.text = &text;
  EXPECT_EQ(sink_write(&both, "abc", 3), 3u);
  EXPECT_EQ(sink_write(&both, nullptr, 3), 0u);
  EXPECT_EQ(tbuf_length(text), 0u);
  EXPECT_EQ(std::ftell(file), 3);
  std::fclose(file);
}

// A connection served by the server loop keeps the response in order: the
// bytes before a handed-over file, the file (from where it was read to), and
// whatever was written after it.
TEST(QueuedConnection, AFileIsHandedOverAndLaterBytesWaitBehindIt) {
  Connection connection;
  connection.queued = true;
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
  EXPECT_EQ(connection.pending, 0u);
}

}  // namespace
}  // namespace fwk
