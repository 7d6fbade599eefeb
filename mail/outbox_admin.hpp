// What the operator can do with the queue while a server runs
// (`fwkhttpd outbox`): list the waiting messages, ask for held ones to be
// tried now, and set one apart into outbox.bad.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mail/outbox_record.hpp"

namespace fwk {

struct WaitingMessage {
  std::string id;  // record_key_id of its record
  std::string relay;
  std::string user;
  std::string recipient;
  std::string subject;
  int64_t queued_at = 0;  // 0: not known (a record of an earlier version)
  int attempts = 0;
  std::string last_error;
};

struct OutboxListing {
  bool readable = true;
  std::vector<WaitingMessage> waiting;
  int damaged = 0;  // stretches the next transmission moves to outbox.bad
};

OutboxListing outbox_list(const std::string& root);

enum class DropOutcome { dropped, not_found, ambiguous, failed };

// Moves the waiting message with this id to outbox.bad.
DropOutcome outbox_drop(const std::string& root, const std::string& id);

// Asks whoever transmits next to try held relays and messages at once.
bool outbox_ask_retry(const std::string& root);

}  // namespace fwk
