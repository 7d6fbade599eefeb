#include "forms/guess_throttle.hpp"

#include <algorithm>

namespace fwk {

namespace {

GuessRecord* find_record(GuessThrottle& throttle, uint32_t address) {
  for (GuessRecord& record : throttle.records) {
    if (record.address == address) return &record;
  }
  return nullptr;
}

// The record to reuse when the table is full: the oldest last failure,
// preferring addresses that are not throttled at `now`.
GuessRecord& record_to_drop(GuessThrottle& throttle, uint64_t now) {
  auto rank = [now](const GuessRecord& r) { return r.throttled_until_ms > now; };
  return *std::min_element(throttle.records.begin(), throttle.records.end(),
                           [&](const GuessRecord& a, const GuessRecord& b) {
                             if (rank(a) != rank(b)) return !rank(a);
                             return a.last_failure_ms < b.last_failure_ms;
                           });
}

GuessRecord& record_for(GuessThrottle& throttle, uint32_t address, uint64_t now) {
  if (GuessRecord* found = find_record(throttle, address)) return *found;
  if (throttle.records.size() < kThrottleTableSize) {
    throttle.records.emplace_back();
    throttle.records.back().address = address;
    return throttle.records.back();
  }
  GuessRecord& reused = record_to_drop(throttle, now);
  reused = GuessRecord{};
  reused.address = address;
  return reused;
}

// The oldest of the last kGuessesAllowed failures (the ring is full).
uint64_t oldest_kept_failure(const GuessRecord& record) {
  return record.failures_at[record.next];
}

uint64_t throttle_length(int throttles) {
  uint64_t length = kFirstThrottleMs;
  for (int i = 1; i < throttles && length < kLongestThrottleMs; ++i) length *= 2;
  return std::min(length, kLongestThrottleMs);
}

}  // namespace

uint64_t throttle_wait_ms(GuessThrottle* throttle, uint32_t address, uint64_t now) {
  if (throttle == nullptr) return 0;
  std::lock_guard<std::mutex> hold(throttle->mutex);
  const GuessRecord* record = find_record(*throttle, address);
  if (record == nullptr || record->throttled_until_ms <= now) return 0;
  return record->throttled_until_ms - now;
}

uint64_t throttle_count_failure(GuessThrottle* throttle, uint32_t address, uint64_t now) {
  if (throttle == nullptr) return 0;
  std::lock_guard<std::mutex> hold(throttle->mutex);
  GuessRecord& record = record_for(*throttle, address, now);
  if (record.failures > 0 && now - record.last_failure_ms > kThrottleMemoryMs) {
    record = GuessRecord{};
    record.address = address;
  }
  record.failures_at[record.next] = now;
  record.next = (record.next + 1) % kGuessesAllowed;
  record.failures = std::min(record.failures + 1, kGuessesAllowed);
  record.last_failure_ms = now;
  bool too_many = record.failures == kGuessesAllowed && now - oldest_kept_failure(record) <= kGuessWindowMs;
  if (record.throttles == 0 && !too_many) return 0;
  ++record.throttles;
  uint64_t length = throttle_length(record.throttles);
  record.throttled_until_ms = now + length;
  return length;
}

void throttle_forget(GuessThrottle* throttle, uint32_t address) {
  if (throttle == nullptr) return;
  std::lock_guard<std::mutex> hold(throttle->mutex);
  auto& records = throttle->records;
  records.erase(std::remove_if(records.begin(), records.end(),
                               [address](const GuessRecord& r) { return r.address == address; }),
                records.end());
}

}  // namespace fwk
