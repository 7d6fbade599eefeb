// Listening and accepting over real loopback sockets.
#include "http/listener.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/socket.hpp"

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
  EXPECT_TRUE(socket_wait_readable(pair.server->socket, 2000000));
  EXPECT_TRUE(conn_readable(*pair.server));
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
