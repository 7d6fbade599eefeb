#include "mail/outbox_admin.hpp"

#include "mail/outbox_queue.hpp"
#include "mail/transmission.hpp"

namespace fwk {

namespace {

// The records still waiting: readable and not yet accepted.
std::vector<const OutboxRecord*> waiting_records(const OutboxSnapshot& snapshot) {
  std::vector<const OutboxRecord*> waiting;
  for (const OutboxRecord& record : snapshot.records) {
    if (record.fault == RecordFault::none && snapshot.journal.sent.count(record.key) == 0) {
      waiting.push_back(&record);
    }
  }
  return waiting;
}

}  // namespace

OutboxListing outbox_list(const std::string& root) {
  OutboxListing listing;
  OutboxSnapshot snapshot;
  if (!outbox_snapshot(root, &snapshot)) {
    listing.readable = false;
    return listing;
  }
  for (const OutboxRecord& record : snapshot.records) {
    if (record.fault != RecordFault::none) ++listing.damaged;
  }
  for (const OutboxRecord* record : waiting_records(snapshot)) {
    WaitingMessage message;
    message.id = record_key_id(record->key);
    message.relay = relay_text(record->relay);
    message.user = record->user;
    message.recipient = record_recipient(*record);
    message.subject = record_message_header(*record, "Subject");
    message.queued_at = record->queued_at;
    auto state = snapshot.journal.states.find(record->key);
    if (state != snapshot.journal.states.end()) {
      message.attempts = state->second.attempts;
      message.last_error = state->second.last_error;
    }
    listing.waiting.push_back(message);
  }
  return listing;
}

DropOutcome outbox_drop(const std::string& root, const std::string& id) {
  OutboxSnapshot snapshot;
  if (!outbox_snapshot(root, &snapshot)) return DropOutcome::failed;
  Compaction compaction;
  for (const OutboxRecord* record : waiting_records(snapshot)) {
    if (record_key_id(record->key) == id) compaction.set_apart.insert(record->key);
  }
  if (compaction.set_apart.empty()) return DropOutcome::not_found;
  if (compaction.set_apart.size() > 1) return DropOutcome::ambiguous;
  return outbox_compact(root, compaction).ok ? DropOutcome::dropped : DropOutcome::failed;
}

bool outbox_ask_retry(const std::string& root) {
  return outbox_journal_append(root, std::string(kJournalRetryLine));
}

}  // namespace fwk
