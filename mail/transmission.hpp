// One transmission: every queued message is offered to its relay in file
// order, one connection each. A message the relay accepts is written to the
// journal at once (it is never offered again, also after a crash); at the
// end the queue is rewritten once without the messages that are done.
//
// A relay that cannot be reached, does not verify, or refuses the login
// holds back only its own messages: the others go on. A refused message
// (4xx/5xx) stays queued; one refused for good (5xx) for longer than the
// give-up time moves to outbox.bad. A stopping server finishes the message
// in progress and leaves the rest queued.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "core/status_log.hpp"
#include "mail/outbox_record.hpp"
#include "mail/smtp_transport.hpp"

namespace fwk {

// The password of `user` for mail of `form` ("" when there is none).
using PasswordLookup = std::function<std::string(const std::string& form, const std::string& user)>;

struct TransmitContext {
  std::string root;
  StatusLog* log = nullptr;
  const std::atomic<int>* stop = nullptr;  // the server's stop request; may be absent
  TransportSettings transport;
  int64_t give_up_seconds = 0;  // 0: a refused message is never given up
  PasswordLookup password_for;
  // Relays and messages that wait for their retry time.
  std::set<std::string> held_relays;
  std::set<RecordKey> held_messages;
};

struct TransmissionReport {
  bool ran = false;  // false: another transmission holds the outbox
  int accepted = 0;
  int failed = 0;        // attempts that did not deliver
  size_t waiting = 0;    // messages still queued when it ended
  std::string last_error;
  std::set<std::string> relays_to_hold;
  std::set<RecordKey> messages_to_hold;
};

// Which relay (and login) a record goes to: messages with the same key
// stand or fall together.
std::string relay_key(const OutboxRecord& record);

TransmissionReport outbox_transmit(const TransmitContext& context);

}  // namespace fwk
