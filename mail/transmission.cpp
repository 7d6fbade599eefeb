#include "mail/transmission.hpp"

#include <map>

#include "mail/outbox.hpp"
#include "mail/outbox_journal.hpp"
#include "mail/outbox_queue.hpp"
#include "platform/clock.hpp"
#include "platform/file_lock.hpp"

namespace fwk {

namespace {

constexpr const char* kTransmitting = "Transmitting data to the server";
constexpr const char* kTransmitted = "Data transmitted successfully";
constexpr const char* kNotTransmitted = "Data not transmitted. Saved in outbox.fwk";

struct Run {
  const TransmitContext& context;
  OutboxSnapshot snapshot;
  TransmissionReport report;
  std::set<RecordKey> set_apart;
  std::set<RecordKey> present;  // keys still in the outbox (after an operator's change)
  std::vector<std::string> notes;
  bool started = false;
};

// What the status log says of a failed attempt. Never a password.
std::string failure_note(const OutboxRecord& record, const Delivery& delivery) {
  std::string relay = relay_text(record.relay);
  switch (delivery.result) {
    case MailResult::relay_refused:
      return "The mail relay " + relay + " refused a message to " + record_recipient(record) + ": " +
             delivery.detail;
    case MailResult::relay_login_failed:
      return "The mail relay " + relay + " did not accept the login of " + record.user + ": " +
             delivery.detail;
    case MailResult::relay_insecure:
      return "The mail relay " + relay + " got nothing: no secure connection (" + delivery.detail +
             ")";
    case MailResult::relay_unresolved:
    case MailResult::relay_unreachable:
      return "The mail relay " + relay + " cannot be reached: " + delivery.detail;
    default:
      return "The mail relay " + relay + " broke off: " + delivery.detail;
  }
}

bool stopping(const Run& run) {
  return run.context.stop != nullptr && run.context.stop->load() != 0;
}

void start_log(Run& run) {
  if (run.started) return;
  run.started = true;
  status_log(run.context.log, kTransmitting);
}

// An operator's command may have rewritten the outbox meanwhile (a drop):
// only records still in it are offered.
bool still_queued(Run& run, const OutboxRecord& record) {
  std::string path = outbox_path(run.context.root, kOutboxName);
  FileInfo now = file_info(path.c_str());
  if (now.exists && now.inode == run.snapshot.info.inode && now.device == run.snapshot.info.device) {
    return true;
  }
  OutboxSnapshot fresh;
  if (!outbox_snapshot(run.context.root, &fresh)) return false;
  run.present.clear();
  for (const OutboxRecord& current : fresh.records) run.present.insert(current.key);
  run.snapshot.info = fresh.info;
  return run.present.count(record.key) != 0;
}

bool given_up(const Run& run, const MessageState& state, int64_t now) {
  return run.context.give_up_seconds > 0 && state.refused_since != 0 &&
         now - state.refused_since >= run.context.give_up_seconds;
}

void give_up(Run& run, const OutboxRecord& record, const MessageState& state) {
  run.set_apart.insert(record.key);
  run.notes.push_back("A message to " + record_recipient(record) + " refused by " +
                      relay_text(record.relay) + " since " +
                      std::to_string((clock_unix_seconds() - state.refused_since) / 3600) +
                      " hours was moved to outbox.bad: " + state.last_error);
}

void record_failure(Run& run, const OutboxRecord& record, const Delivery& delivery) {
  MessageState& state = run.snapshot.journal.states[record.key];
  int64_t now = clock_unix_seconds();
  ++state.attempts;
  state.last_at = now;
  state.last_result = delivery.result;
  state.reply_code = delivery.reply_code;
  state.last_error = delivery.detail;
  if (delivery.result == MailResult::relay_refused) {
    bool for_good = delivery.reply_code >= 500;
    if (!for_good) state.refused_since = 0;
    if (for_good && state.refused_since == 0) state.refused_since = now;
    run.report.messages_to_hold.insert(record.key);
  } else {
    run.report.relays_to_hold.insert(relay_key(record));
  }
  outbox_journal_append(run.context.root, journal_tried_line(record.key, state));
  ++run.report.failed;
  run.report.last_error = failure_note(record, delivery);
  run.notes.push_back(run.report.last_error);
  if (given_up(run, state, now)) give_up(run, record, state);
}

Delivery deliver(const Run& run, const OutboxRecord& record) {
  std::string password;
  if (!record.user.empty()) {
    if (run.context.password_for) password = run.context.password_for(record.form, record.user);
    if (password.empty()) {
      return Delivery{MailResult::relay_login_failed, 0,
                      "no password (EMAILPWD) for this user in the form " + record.form};
    }
  }
  return smtp_deliver(record, password, run.context.transport);
}

// Offers one record to its relay, unless it is held, gone or given up.
// False when the transmission must end.
bool offer(Run& run, const OutboxRecord& record) {
  if (run.snapshot.journal.sent.count(record.key) != 0) return true;
  std::string relay = relay_key(record);
  if (run.context.held_relays.count(relay) != 0 || run.report.relays_to_hold.count(relay) != 0 ||
      run.context.held_messages.count(record.key) != 0) {
    return true;
  }
  auto known = run.snapshot.journal.states.find(record.key);
  if (known != run.snapshot.journal.states.end() &&
      given_up(run, known->second, clock_unix_seconds())) {
    give_up(run, record, known->second);
    return true;
  }
  if (!still_queued(run, record)) return true;
  start_log(run);
  Delivery delivery = deliver(run, record);
  if (delivery.result != MailResult::ok) {
    record_failure(run, record, delivery);
    return true;
  }
  ++run.report.accepted;
  if (!outbox_journal_append(run.context.root, journal_sent_line(record.key))) {
    run.report.last_error =
        "A message the relay accepted could not be marked as sent; it may be sent again";
    run.notes.push_back(run.report.last_error);
    return false;
  }
  run.snapshot.journal.sent.insert(record.key);
  return true;
}

size_t count_waiting(const Run& run) {
  size_t waiting = 0;
  for (const OutboxRecord& record : run.snapshot.records) {
    if (record.fault == RecordFault::none && run.snapshot.journal.sent.count(record.key) == 0 &&
        run.set_apart.count(record.key) == 0) {
      ++waiting;
    }
  }
  return waiting;
}

}  // namespace

std::string relay_key(const OutboxRecord& record) {
  return relay_text(record.relay) + (record.user.empty() ? "" : " as " + record.user);
}

TransmissionReport outbox_transmit(const TransmitContext& context) {
  Run run{context, {}, {}, {}, {}, {}, false};
  FileLock courier = file_lock_open(outbox_path(context.root, kOutboxLockName));
  if (!file_lock_take(courier, kCourierLockSlot, false)) return run.report;
  run.report.ran = true;
  if (!outbox_snapshot(context.root, &run.snapshot)) {
    run.report.last_error = "The outbox cannot be read";
    status_log(context.log, run.report.last_error.c_str());
    return run.report;
  }
  bool complete = true;
  for (const OutboxRecord& record : run.snapshot.records) {
    if (record.fault != RecordFault::none) continue;
    if (stopping(run) || !offer(run, record)) {
      complete = false;
      break;
    }
  }
  Compaction compaction;
  compaction.set_apart = run.set_apart;
  compaction.fresh_sent_file = run.report.accepted > 0;
  compaction.retries_seen = run.snapshot.journal.retries;
  CompactionResult compacted = outbox_compact(context.root, compaction);
  if (compacted.damaged > 0) {
    run.notes.push_back("A mail record that could not be read was moved to outbox.bad");
  }
  if (!compacted.ok) {
    run.notes.push_back("The outbox could not be rewritten; sent messages stay marked as sent");
  }
  run.report.waiting = count_waiting(run);
  if (run.started || !run.notes.empty()) {
    start_log(run);
    status_text_clear(context.log);
    for (const std::string& note : run.notes) status_log(context.log, note.c_str());
    bool all_sent = complete && run.report.failed == 0;
    status_log(context.log, all_sent ? kTransmitted : kNotTransmitted);
    if (run.report.waiting > 0) {
      std::string waiting = std::to_string(run.report.waiting) +
                            (run.report.waiting == 1 ? " message waits" : " messages wait") +
                            " in the outbox";
      status_log(context.log, waiting.c_str());
    }
  }
  return run.report;
}

}  // namespace fwk
