// Slows password guessing. Every failed password or login check counts
// against the client's address; after kGuessesAllowed failures within
// kGuessWindowMs the address is throttled: its checks are not made but
// answered at once (429 with Retry-After) until the throttle ends. Each
// failure after that throttles it again for twice as long as the time
// before, up to kLongestThrottleMs. A successful check forgets the address;
// other addresses are never affected.
//
// The table keeps at most kThrottleTableSize addresses; when it is full
// the address whose last failure is oldest is dropped (one that is not
// throttled, while there is such an address). Thread-safe.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace fwk {

constexpr int kGuessesAllowed = 10;
constexpr uint64_t kGuessWindowMs = 10 * 60 * 1000;
constexpr uint64_t kFirstThrottleMs = 60 * 1000;
constexpr uint64_t kLongestThrottleMs = 60 * 60 * 1000;
// A throttled address is forgiven after this long without a failure.
constexpr uint64_t kThrottleMemoryMs = 24 * 60 * 60 * 1000;
constexpr size_t kThrottleTableSize = 4096;

struct GuessRecord {
  uint32_t address = 0;  // IPv4, network byte order
  // Times of the latest failures (a ring of kGuessesAllowed), oldest at `next`.
  uint64_t failures_at[kGuessesAllowed] = {};
  int failures = 0;  // counted, at most kGuessesAllowed kept in the ring
  int next = 0;
  int throttles = 0;  // times throttled since the address was last forgiven
  uint64_t last_failure_ms = 0;
  uint64_t throttled_until_ms = 0;
};

struct GuessThrottle {
  std::mutex mutex;
  std::vector<GuessRecord> records;
};

// Milliseconds `address` must still wait before its next check at time
// `now` (a monotonic millisecond clock); 0 when it may check now. An
// absent throttle never waits.
uint64_t throttle_wait_ms(GuessThrottle* throttle, uint32_t address, uint64_t now);

// Counts one failed guess of `address` at `now`. Returns the throttle it
// now has (milliseconds from now; 0 when it is not throttled).
uint64_t throttle_count_failure(GuessThrottle* throttle, uint32_t address, uint64_t now);

// A successful check: the address starts afresh.
void throttle_forget(GuessThrottle* throttle, uint32_t address);

// Whole seconds of a wait, rounded up (the Retry-After value).
inline uint64_t throttle_seconds(uint64_t wait_ms) {
  return (wait_ms + 999) / 1000;
}

}  // namespace fwk
