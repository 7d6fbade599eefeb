// Alerts to a form's ADMINEMAIL about refused requests. A flood of refusals
// must not flood the outbox: a form gets at most one alert per interval
// (five minutes unless FORMWICK_ALERT_INTERVAL_MS says otherwise). The
// first refusal after a quiet interval is sent at once; the ones that
// follow are summed up (how many, from which hosts, for which actions and
// error codes) and sent together when the interval has passed. The
// passwords that were tried are never written into an alert.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "core/site.hpp"
#include "forms/form_mail.hpp"

namespace fwk {

constexpr uint32_t kRefusalAlertIntervalMs = 5 * 60 * 1000;

// The refusals of one form not yet sent.
struct RefusalSummary {
  int64_t count = 0;
  std::string first_seen;  // "yyyymmdd hhmmss", local time
  std::string last_seen;
  std::map<std::string, int64_t> hosts;    // at most kSummaryKeys names ...
  std::map<std::string, int64_t> actions;  // ... the rest counted under ""
  std::map<int, int64_t> codes;
};

// What is known of one form's alerts: where they go, when the last one was
// queued, and what waits for the next.
struct FormRefusals {
  std::string form;
  std::string address;  // ADMINEMAIL and the mail route of the latest refusal
  FormMailRoute route;
  bool alerted = false;
  uint32_t alerted_at_ms = 0;
  RefusalSummary pending;
};

// Owned by the server for as long as it runs; used by the server thread.
struct RefusalAlerts {
  uint32_t interval_ms = kRefusalAlertIntervalMs;
  std::map<std::string, FormRefusals> forms;  // by form name folded to lower case
};

// The interval from FORMWICK_ALERT_INTERVAL_MS, else the default.
uint32_t refusal_alert_interval_ms();

// One refused request of a form whose ADMINEMAIL is `address` (mail goes
// along the form's `route`).
struct Refusal {
  const char* form = "";
  const char* address = "";
  FormMailRoute route;
  const char* host = "";
  const char* action = "";
  int code = 0;
};

// Notes a refusal; queues the form's alert at once when none was queued in
// the last interval.
void refusal_note(RefusalAlerts& alerts, const SiteContext& site, const Refusal& refusal);

// Queues the summaries whose interval has passed (all of them when `all`,
// as the server stops).
void refusal_alerts_send_due(RefusalAlerts& alerts, const SiteContext& site, bool all);

// The body of an alert for a form's summary.
std::string refusal_alert_body(const std::string& form, const RefusalSummary& summary);

}  // namespace fwk
