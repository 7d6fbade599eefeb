#include "forms/guess_throttle.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace fwk {
namespace {

constexpr uint64_t kMinute = 60 * 1000;
constexpr uint32_t kA = 0x0200007f;  // 127.0.0.2
constexpr uint32_t kB = 0x0300007f;

// `n` failures of `address`, one every `gap` ms from `start`; the wait the
// last one caused.
uint64_t fail(GuessThrottle& t, uint32_t address, int n, uint64_t start, uint64_t gap = 1000) {
  uint64_t wait = 0;
  for (int i = 0; i < n; ++i) wait = throttle_count_failure(&t, address, start + gap * i);
  return wait;
}

TEST(GuessThrottle, TenFailuresWithinTenMinutesThrottleThatAddressOnly) {
  GuessThrottle t;
  EXPECT_EQ(fail(t, kA, 9, 0), 0u);
  EXPECT_EQ(throttle_wait_ms(&t, kA, 9000), 0u);
  EXPECT_EQ(throttle_count_failure(&t, kA, 10000), kFirstThrottleMs);
  EXPECT_EQ(throttle_wait_ms(&t, kA, 10000), kFirstThrottleMs);
  EXPECT_EQ(throttle_wait_ms(&t, kA, 10000 + kFirstThrottleMs - 1), 1u);
  EXPECT_EQ(throttle_wait_ms(&t, kA, 10000 + kFirstThrottleMs), 0u);
  EXPECT_EQ(throttle_wait_ms(&t, kB, 10000), 0u);
  EXPECT_EQ(throttle_seconds(1), 1u);
  EXPECT_EQ(throttle_seconds(kFirstThrottleMs), 60u);
}

TEST(GuessThrottle, FailuresSpreadOverMoreThanTheWindowAreAllowed) {
  GuessThrottle t;
  // One failure a minute and a bit: never ten within ten minutes.
  EXPECT_EQ(fail(t, kA, 30, 0, kGuessWindowMs / 9 + 1000), 0u);
}

TEST(GuessThrottle, EachFurtherFailureDoublesTheWaitUpToAnHour) {
  GuessThrottle t;
  uint64_t now = 0;
  uint64_t wait = fail(t, kA, kGuessesAllowed, now);
  now += 10000;
  uint64_t expected = kFirstThrottleMs;
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(wait, expected) << i;
    now += wait;  // the attacker waits out the throttle, then guesses once
    wait = throttle_count_failure(&t, kA, now);
    expected = std::min(expected * 2, kLongestThrottleMs);
  }
  EXPECT_EQ(wait, kLongestThrottleMs);
  // A day without failures forgets the address.
  now += wait + kThrottleMemoryMs + 1;
  EXPECT_EQ(throttle_count_failure(&t, kA, now), 0u);
}

TEST(GuessThrottle, SuccessForgetsTheAddress) {
  GuessThrottle t;
  fail(t, kA, 9, 0);
  throttle_forget(&t, kA);
  EXPECT_EQ(fail(t, kA, 9, 20000), 0u);
  EXPECT_NE(throttle_count_failure(&t, kA, 40000), 0u);
  throttle_forget(&t, kA);
  EXPECT_EQ(throttle_wait_ms(&t, kA, 40000), 0u);
  EXPECT_EQ(throttle_wait_ms(nullptr, kA, 0), 0u);
  EXPECT_EQ(throttle_count_failure(nullptr, kA, 0), 0u);
}

TEST(GuessThrottle, AFullTableDropsTheOldestAddressNotThrottled) {
  GuessThrottle t;
  fail(t, kA, kGuessesAllowed, 0);  // throttled, and the oldest
  for (uint32_t i = 0; i < kThrottleTableSize; ++i) throttle_count_failure(&t, 1000 + i, 20000 + i);
  EXPECT_EQ(t.records.size(), kThrottleTableSize);
  EXPECT_NE(throttle_wait_ms(&t, kA, 30000), 0u);
  // The address dropped was the first of the others.
  bool first_kept = false;
  for (const GuessRecord& r : t.records) first_kept = first_kept || r.address == 1000;
  EXPECT_FALSE(first_kept);
}

}  // namespace
}  // namespace fwk
