#include "mail/courier.hpp"

#include "mail/outbox.hpp"
#include "mail/outbox_journal.hpp"
#include "platform/clock.hpp"
#include "platform/durable_file.hpp"
#include "platform/socket.hpp"

namespace fwk {

namespace {

// The files are looked at this often at most: a busy loop turns far more
// often than mail is queued.
constexpr uint32_t kLookMs = 200;
// The network test reads every interface; its answer is kept this long.
constexpr uint32_t kNetworkCheckMs = 1000;

bool network_present_recently(Courier& courier, uint32_t now) {
  if (!courier.network_checked || now - courier.network_checked_at >= kNetworkCheckMs) {
    courier.network_up = network_present();
    courier.network_checked_at = now;
    courier.network_checked = true;
  }
  return courier.network_up;
}

bool tick_passed(uint32_t now, uint32_t until) {
  return static_cast<int32_t>(now - until) >= 0;
}

// Drops holds whose time has come; true when one did.
template <typename Key>
bool release_expired(std::map<Key, uint32_t>& holds, uint32_t now) {
  bool released = false;
  for (auto it = holds.begin(); it != holds.end();) {
    if (tick_passed(now, it->second)) {
      it = holds.erase(it);
      released = true;
    } else {
      ++it;
    }
  }
  return released;
}

// The operator asked for held mail to be tried now.
bool retry_asked(const Courier& courier) {
  std::string text;
  if (!file_read_whole(outbox_path(courier.root, kOutboxJournalName).c_str(), &text)) return false;
  return journal_parse(text).retries > 0;
}

void start_transmission(Courier& courier) {
  TransmitContext context;
  context.root = courier.root;
  context.log = courier.log;
  context.stop = courier.stop;
  context.transport = courier.settings.transport;
  context.give_up_seconds = courier.settings.give_up_seconds;
  context.password_for = courier.password_for;
  for (const auto& hold : courier.held_relays) context.held_relays.insert(hold.first);
  for (const auto& hold : courier.held_messages) context.held_messages.insert(hold.first);
  auto report = std::make_shared<TransmissionReport>();
  courier.report = report;
  courier.thread = thread_start([context, report] {
    *report = outbox_transmit(context);
    return 0;
  });
  // No thread to be had: the next turn tries again.
  if (!courier.thread) courier.report.reset();
}

}  // namespace

void courier_turn(Courier& courier) {
  if (courier.thread) {
    if (thread_running(*courier.thread)) return;
    courier_finish(courier);
  }
  uint32_t now = clock_tick_ms();
  if (courier.looked && now - courier.looked_at < kLookMs) return;
  courier.looked = true;
  courier.looked_at = now;

  FileInfo outbox = file_info(outbox_path(courier.root, kOutboxName).c_str());
  FileInfo journal = file_info(outbox_path(courier.root, kOutboxJournalName).c_str());
  if (!file_info_same(outbox, courier.outbox_seen)) courier.due = true;
  if (!file_info_same(journal, courier.journal_seen)) {
    if (retry_asked(courier)) {
      courier.held_relays.clear();
      courier.held_messages.clear();
      courier.due = true;
    }
  }
  if (release_expired(courier.held_relays, now)) courier.due = true;
  if (release_expired(courier.held_messages, now)) courier.due = true;
  if (!courier.due || !outbox.exists || !network_present_recently(courier, now)) return;
  courier.outbox_seen = outbox;
  courier.journal_seen = journal;
  courier.due = false;
  start_transmission(courier);
}

void courier_finish(Courier& courier) {
  if (!courier.thread) return;
  thread_wait(*courier.thread);
  courier.thread.reset();
  std::shared_ptr<TransmissionReport> report = std::move(courier.report);
  if (!report || !report->ran) {
    courier.due = true;  // another transmission held the outbox: try again later
    return;
  }
  uint32_t until = clock_tick_ms() + courier.settings.retry_pause_ms;
  for (const std::string& relay : report->relays_to_hold) courier.held_relays[relay] = until;
  for (const RecordKey& key : report->messages_to_hold) courier.held_messages[key] = until;
  // What the transmission changed itself is no news; what changed since
  // it read the outbox shows as a difference at the next look.
  std::lock_guard<std::mutex> hold(courier.status_lock);
  if (!report->last_error.empty()) courier.status.last_error = report->last_error;
  if (report->waiting == 0) courier.status.last_error.clear();
}

CourierStatus courier_status(const Courier& courier) {
  std::lock_guard<std::mutex> hold(courier.status_lock);
  return courier.status;
}

}  // namespace fwk
