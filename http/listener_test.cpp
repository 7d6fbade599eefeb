// Listening over real loopback sockets.
#include "http/listener.hpp"

#include <gtest/gtest.h>

#include <random>

#include "platform/socket.hpp"

namespace fwk {
namespace {

int random_high_port() {
  std::random_device seed;
  return 20000 + static_cast<int>(seed() % 30000);
}

TEST(Listener, TakesTheNextPortWhenTheFirstIsInUse) {
  // Another program may hold a port picked at random: pick again.
  int first = 0;
  Descriptor taken;
  for (int attempt = 0; attempt < 50 && !taken; ++attempt) {
    first = random_high_port();
    ListenFailure failure;
    taken = socket_listen_tcp(first, 5, &failure);
  }
  ASSERT_TRUE(taken);
  Listener listener;
  listener_open(listener, first);
  EXPECT_TRUE(listener.socket);
  EXPECT_GT(listener.port, first);
  EXPECT_LT(listener.port, first + kListenAttempts);
  EXPECT_FALSE(listener.denied);
  listener_close(listener);
  EXPECT_FALSE(listener.socket);
  listener_close(listener);  // closing twice is harmless
}

}  // namespace
}  // namespace fwk
