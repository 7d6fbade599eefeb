// The courier: the part of the server that sends the outbox. The server
// loop owns one and asks it for work at every turn (courier_turn): when
// mail waits, something changed and the device is on a network, it starts
// a transmission on a thread of its own, so that requests are never
// delayed by a relay. One transmission runs at a time; a relay or message
// that failed waits for the retry pause, the others go on at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "core/status_log.hpp"
#include "mail/transmission.hpp"
#include "platform/file_info.hpp"
#include "platform/thread.hpp"

namespace fwk {

// Pause after a failed attempt before a relay or message is tried again.
constexpr uint32_t kRelayRetryMs = 60000;
// A message refused for good is given up after this long.
constexpr int64_t kGiveUpSeconds = 7 * 24 * 3600;

struct CourierSettings {
  TransportSettings transport;
  uint32_t retry_pause_ms = kRelayRetryMs;
  int64_t give_up_seconds = kGiveUpSeconds;
};

// What the window shows of the transmissions.
struct CourierStatus {
  std::string last_error;  // the last failure ("" when the outbox emptied since)
};

struct Courier {
  // Set by whoever makes the courier, before the first turn.
  std::string root;
  StatusLog* log = nullptr;
  const std::atomic<int>* stop = nullptr;
  CourierSettings settings;
  PasswordLookup password_for;

  // Kept by the courier (the loop's thread only, except the status).
  std::unique_ptr<Thread> thread;
  std::shared_ptr<TransmissionReport> report;
  std::map<std::string, uint32_t> held_relays;  // until this tick
  std::map<RecordKey, uint32_t> held_messages;
  FileInfo outbox_seen;
  FileInfo journal_seen;
  bool due = true;  // an outbox left by an earlier run is sent at once
  bool looked = false;
  uint32_t looked_at = 0;
  bool network_checked = false;
  bool network_up = false;
  uint32_t network_checked_at = 0;
  mutable std::mutex status_lock;
  CourierStatus status;
};

// One turn: collects a finished transmission, and starts one when due.
void courier_turn(Courier& courier);

// Waits for a transmission in progress (when the server stops).
void courier_finish(Courier& courier);

// What the window shows; safe from any thread.
CourierStatus courier_status(const Courier& courier);

}  // namespace fwk
