#include "mail/outbox_check.hpp"

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "mail/outbox.hpp"
#include "mail/outbox_send.hpp"
#include "platform/clock.hpp"
#include "platform/environment.hpp"
#include "platform/socket.hpp"
#include "platform/thread.hpp"

namespace fwk {

namespace {

// The network test reads every interface; its answer is kept this long so
// that a busy server does not repeat it for every request.
constexpr uint32_t kNetworkCheckMs = 1000;

struct Transmission {
  std::unique_ptr<Thread> thread;
  int pending_at_start = 0;
};

// Server-thread state of the check. Mail may wait from before the start.
int outbox_pending = 1;
uint64_t appends_seen = 0;
Transmission transmission;
bool failed_before = false;
uint32_t failed_at = 0;

uint32_t retry_pause_ms() {
  std::optional<std::string> value = env_get("FORMWICK_RELAY_RETRY_MS");
  long ms = value ? std::atol(value->c_str()) : -1;
  return ms >= 0 ? static_cast<uint32_t>(ms) : kRelayRetryMs;
}

bool network_present_recently() {
  static uint32_t checked_at = 0;
  static bool checked = false;
  static bool present = false;
  uint32_t now = clock_tick_ms();
  if (!checked || now - checked_at >= kNetworkCheckMs) {
    present = network_present();
    checked_at = now;
    checked = true;
  }
  return present;
}

void count_queued_mail() {
  uint64_t total = outbox_appended_total();
  outbox_pending += static_cast<int>(total - appends_seen);
  appends_seen = total;
}

// Mail queued while the transmission ran may not have been in the outbox it
// read: only the mail counted when it started is cleared.
void collect(int result) {
  if (result == 0) {
    outbox_pending -= transmission.pending_at_start;
    if (outbox_pending < 0) outbox_pending = 0;
    failed_before = false;
  } else {
    failed_before = true;
    failed_at = clock_tick_ms();
  }
  transmission.thread.reset();
}

bool retry_due() {
  return !failed_before || clock_tick_ms() - failed_at >= retry_pause_ms();
}

}  // namespace

void outbox_check(const SiteContext& site) {
  count_queued_mail();
  if (transmission.thread) {
    if (thread_running(*transmission.thread)) return;
    collect(thread_wait(*transmission.thread));
  }
  if (outbox_pending == 0 || !retry_due() || !network_present_recently()) return;
  transmission.pending_at_start = outbox_pending;
  // The site outlives the loop, and the loop waits for the thread.
  const SiteContext* sending_site = &site;
  transmission.thread = thread_start([sending_site] { return outbox_send(*sending_site); });
  // No thread to be had: try again after the pause.
  if (!transmission.thread) collect(-1);
}

void outbox_check_finish() {
  if (!transmission.thread) return;
  collect(thread_wait(*transmission.thread));
}

}  // namespace fwk
