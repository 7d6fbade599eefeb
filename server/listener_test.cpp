// Listening, accepting and reading requests over real loopback sockets.
#include "server/listener.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "platform/socket.hpp"
#include "server/request.hpp"

namespace fwk {
namespace {

int random_high_port() {
  std::random_device seed;
  return 20000 + static_cast<int>(seed() % 30000);
}

uint32_t loopback() {
  uint32_t address = 0;
  host_lookup_name("127.0.0.1", &address);
  return address;
}

// A listener on some free high port, a client connected to it and the
// server side of that connection.
struct LoopbackPair {
  Listener listener;
  int client = -1;
  std::unique_ptr<Connection> server;

  LoopbackPair() {
    listener_open(listener, random_high_port());
    client = socket_connect_tcp(loopback(), listener.port);
    server = conn_accept(listener);
  }
  ~LoopbackPair() {
    if (server) conn_close(*server);
    socket_close(client);
    listener_close(listener);
  }
  void send(const std::string& bytes) const { socket_send(client, bytes.data(), bytes.size()); }
  std::string receive_all() const {
    std::string all(65536, '\0');
    size_t have = 0;
    for (;;) {
      long got = socket_receive(client, all.data() + have, all.size() - have);
      if (got <= 0) break;
      have += static_cast<size_t>(got);
    }
    all.resize(have);
    return all;
  }
};

void pause_ms(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TEST(Listener, TakesTheNextPortWhenTheFirstIsInUse) {
  int first = random_high_port();
  ListenFailure failure;
  int taken = socket_listen_tcp(first, 5, &failure);
  ASSERT_GE(taken, 0);
  Listener listener;
  listener_open(listener, first);
  EXPECT_GE(listener.socket, 0);
  EXPECT_GT(listener.port, first);
  EXPECT_LT(listener.port, first + kListenAttempts);
  EXPECT_FALSE(listener.denied);
  listener_close(listener);
  EXPECT_EQ(listener.socket, -1);
  listener_close(listener);  // closing twice is harmless
  socket_close(taken);
}

TEST(Listener, AcceptsAndLooksUpThePeerOnlyWhenAsked) {
  LoopbackPair pair;
  ASSERT_NE(pair.server, nullptr);
  EXPECT_EQ(pair.server->peer_address, loopback());
  EXPECT_EQ(pair.server->pending, 0u);
  EXPECT_FALSE(pair.server->peer_host_resolved);
  conn_peer_host(*pair.server);
  EXPECT_TRUE(pair.server->peer_host_resolved);
  EXPECT_LE(pair.server->peer_host.size(), 259u);
}

TEST(Listener, ReadinessOfAConnection) {
  LoopbackPair pair;
  EXPECT_FALSE(conn_readable(*pair.server));
  pair.send("x");
  EXPECT_TRUE(conn_wait_readable(*pair.server, 2000));
  EXPECT_TRUE(conn_readable(*pair.server));
}

TEST(ReadRequest, GetEndsWithItsHeadersNotWithSilence) {
  LoopbackPair pair;
  std::string request = "GET /a HTTP/1.1\r\nHost: x\r\n\r\n";
  pair.send(request);
  // Bytes that keep coming after the header block, never 128 ms apart, are
  // not part of the request.
  std::thread chatter([&] {
    for (int i = 0; i < 6; ++i) {
      pause_ms(i == 0 ? 100 : 60);
      pair.send("XX");
    }
  });
  std::string text;
  RequestEnd end = read_request(*pair.server, &text);
  chatter.join();
  EXPECT_EQ(end, RequestEnd::complete);
  EXPECT_EQ(text, request);
}

TEST(ReadRequest, SlowPostBodyArrivesWhole) {
  LoopbackPair pair;
  std::thread client([&] {
    pair.send("POST /fwk HTTP/1.1\r\nContent-Length: 11\r\n\r\n");
    pause_ms(300);
    pair.send("hello");
    pause_ms(300);
    pair.send(" worldEXTRA");
  });
  std::string text;
  RequestEnd end = read_request(*pair.server, &text);
  client.join();
  EXPECT_EQ(end, RequestEnd::complete);
  EXPECT_EQ(text, "POST /fwk HTTP/1.1\r\nContent-Length: 11\r\n\r\nhello world");
}

TEST(ReadRequest, BodyCutShortByCloseOrStall) {
  {
    LoopbackPair pair;
    pair.send("POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\nonly this");
    socket_close(pair.client);
    pair.client = -1;
    std::string text;
    EXPECT_EQ(read_request(*pair.server, &text), RequestEnd::cut_short);
  }
  {
    LoopbackPair pair;
    pair.send("POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\nonly this");
    std::string text;
    EXPECT_EQ(read_request(*pair.server, &text, 200), RequestEnd::cut_short);
  }
}

TEST(ReadRequest, TooLargeByAnnouncementOrByBytes) {
  {
    LoopbackPair pair;
    pair.send("POST / HTTP/1.1\r\nContent-Length: 2000000\r\n\r\nstart");
    std::string text;
    EXPECT_EQ(read_request(*pair.server, &text), RequestEnd::too_large);
  }
  {
    LoopbackPair pair;
    std::thread client([&] {
      pair.send(std::string(kRequestLimit + 10, 'x'));
      socket_shutdown(pair.client);
    });
    std::string text;
    EXPECT_EQ(read_request(*pair.server, &text), RequestEnd::too_large);
    socket_drain(pair.server->socket, 2000);
    client.join();
  }
}

TEST(ReadRequest, SilenceOrCloseEndsARequestWithoutAnEnd) {
  {
    LoopbackPair pair;
    std::string text = "leftover";
    EXPECT_EQ(read_request(*pair.server, &text), RequestEnd::complete);
    EXPECT_EQ(text, "");
  }
  {
    LoopbackPair pair;
    pair.send("POST /fwk HTTP/1.0\r\n\r\na=1&b=2");
    socket_shutdown(pair.client);
    std::string text;
    EXPECT_EQ(read_request(*pair.server, &text), RequestEnd::complete);
    EXPECT_EQ(text, "POST /fwk HTTP/1.0\r\n\r\na=1&b=2");
  }
}

TEST(ReadRequest, AnswersExpectContinueBeforeTheBody) {
  LoopbackPair pair;
  std::thread client([&] {
    pair.send("POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n");
    std::string interim(64, '\0');
    long got = socket_receive(pair.client, interim.data(), interim.size());
    interim.resize(got > 0 ? static_cast<size_t>(got) : 0);
    EXPECT_EQ(interim, "HTTP/1.1 100 Continue\r\n\r\n");
    pair.send("a=1");
  });
  std::string text;
  EXPECT_EQ(read_request(*pair.server, &text), RequestEnd::complete);
  client.join();
  EXPECT_NE(text.find("\r\n\r\na=1"), std::string::npos);
}

TEST(Connection, CloseSendsWhatIsPending) {
  LoopbackPair pair;
  conn_send(*pair.server, "short reply", 11);
  EXPECT_EQ(pair.server->pending, 11u);
  conn_close(*pair.server);
  EXPECT_EQ(pair.server->socket, -1);
  EXPECT_EQ(pair.receive_all(), "short reply");
}

}  // namespace
}  // namespace fwk
