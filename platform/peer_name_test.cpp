// Reverse lookups with a deadline and kept answers, with a stand-in resolver
// that is slow or counts its calls.
#include "platform/peer_name.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace fwk {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> lookups{0};

bool slow_lookup(uint32_t address, std::string* name) {
  ++lookups;
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  *name = "late-" + std::to_string(address);
  return true;
}

bool quick_lookup(uint32_t address, std::string* name) {
  ++lookups;
  if (address == 7) return false;
  *name = "host-" + std::to_string(address);
  return true;
}

long elapsed_ms(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

TEST(PeerName, ASlowResolverCostsTheDeadlineOnceAndItsLateAnswerIsKept) {
  PeerNames names(slow_lookup);
  std::string name = "stale";
  auto started = Clock::now();
  EXPECT_FALSE(peer_name_lookup(names, 1001, 250, &name));
  EXPECT_EQ(name, "");
  long waited = elapsed_ms(started);
  EXPECT_GE(waited, 240);
  EXPECT_LT(waited, 550);
  // Asking again while the lookup runs neither waits nor queues a second one.
  started = Clock::now();
  EXPECT_FALSE(peer_name_lookup(names, 1001, 250, &name));
  EXPECT_LT(elapsed_ms(started), 50);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  started = Clock::now();
  EXPECT_TRUE(peer_name_lookup(names, 1001, 250, &name));
  EXPECT_LT(elapsed_ms(started), 50);
  EXPECT_EQ(name, "late-1001");
}

TEST(PeerName, AnswersAndMissesAreKeptPerAddress) {
  PeerNames names(quick_lookup);
  lookups = 0;
  std::string name;
  EXPECT_TRUE(peer_name_lookup(names, 5, 1000, &name));
  EXPECT_EQ(name, "host-5");
  EXPECT_TRUE(peer_name_lookup(names, 5, 1000, &name));
  EXPECT_FALSE(peer_name_lookup(names, 7, 1000, &name));
  EXPECT_EQ(name, "");
  EXPECT_FALSE(peer_name_lookup(names, 7, 1000, &name));
  EXPECT_TRUE(peer_name_lookup(names, 6, 1000, &name));
  EXPECT_EQ(name, "host-6");
  EXPECT_EQ(lookups.load(), 3);
}

TEST(PeerName, AResolverBusyWhenItsOwnerGoesEndsAfterItsLookup) {
  {
    PeerNames names(slow_lookup);
    std::string name;
    EXPECT_FALSE(peer_name_lookup(names, 2002, 50, &name));
  }
  // The lookup in progress finishes on the state it shares with the thread.
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
}

}  // namespace
}  // namespace fwk
