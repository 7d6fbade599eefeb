#include "forms/refusal_alerts.hpp"

#include <cstdlib>
#include <optional>

#include "core/stamp.hpp"
#include "core/status_log.hpp"
#include "platform/clock.hpp"
#include "platform/environment.hpp"

namespace fwk {

namespace {

constexpr const char* kAlertSubject = "Web access denied/breakin attempt";
// Distinct hosts or actions named in one summary; more are counted together.
constexpr size_t kSummaryKeys = 20;
constexpr const char* kOthers = "";

std::string folded(const char* text) {
  std::string out = text != nullptr ? text : "";
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// Adds one to `key`, or to the others once the map names enough keys.
void tally(std::map<std::string, int64_t>& counts, const std::string& key) {
  auto found = counts.find(key);
  if (found != counts.end()) {
    ++found->second;
  } else if (counts.size() < kSummaryKeys) {
    counts[key] = 1;
  } else {
    ++counts[kOthers];
  }
}

std::string now_text() {
  std::string date, time;
  time_stamp(&date, &time);
  return date + " " + time;
}

void add_counts(std::string& body, const char* label,
                const std::map<std::string, int64_t>& counts) {
  body += label;
  const char* separator = "";
  int64_t others = 0;
  for (const auto& [name, count] : counts) {
    if (name == kOthers) {
      others = count;
      continue;
    }
    body += separator + (name.empty() ? std::string("(none)") : name) + " (" +
            std::to_string(count) + ")";
    separator = ", ";
  }
  if (others > 0) body += std::string(separator) + "others (" + std::to_string(others) + ")";
  body += "\r\n";
}

bool interval_passed(const RefusalAlerts& alerts, const FormRefusals& form, uint32_t now) {
  return !form.alerted || now - form.alerted_at_ms >= alerts.interval_ms;
}

void send(FormRefusals& form, const SiteContext& site, uint32_t now) {
  const std::string body = refusal_alert_body(form.form, form.pending);
  if (form_queue_mail(site, form.route, form.address.c_str(), kAlertSubject, body) !=
      MailResult::ok) {
    status_log(site_log(&site), "\nfwk: cannot queue the refusal alert of ");
    status_log(site_log(&site), form.form.c_str());
  }
  form.alerted = true;
  form.alerted_at_ms = now;
  form.pending = RefusalSummary{};
}

}  // namespace

uint32_t refusal_alert_interval_ms() {
  std::optional<std::string> value = env_get("FORMWICK_ALERT_INTERVAL_MS");
  long ms = value ? std::atol(value->c_str()) : -1;
  return ms >= 0 ? static_cast<uint32_t>(ms) : kRefusalAlertIntervalMs;
}

std::string refusal_alert_body(const std::string& form, const RefusalSummary& summary) {
  std::string body = "Database: " + form + "\r\n";
  body += "Refused requests: " + std::to_string(summary.count) + "\r\n";
  body += "First: " + summary.first_seen + "\r\nLast: " + summary.last_seen + "\r\n";
  body += "Error codes: ";
  const char* separator = "";
  for (const auto& [code, count] : summary.codes) {
    body += separator + std::to_string(code) + " (" + std::to_string(count) + ")";
    separator = ", ";
  }
  body += "\r\n";
  add_counts(body, "Remote hosts: ", summary.hosts);
  add_counts(body, "Actions: ", summary.actions);
  return body;
}

void refusal_note(RefusalAlerts& alerts, const SiteContext& site, const Refusal& refusal) {
  FormRefusals& form = alerts.forms[folded(refusal.form)];
  form.form = refusal.form;
  form.address = refusal.address;
  form.route = refusal.route;
  RefusalSummary& pending = form.pending;
  const std::string seen = now_text();
  if (pending.count == 0) pending.first_seen = seen;
  pending.last_seen = seen;
  ++pending.count;
  ++pending.codes[refusal.code];
  tally(pending.hosts, refusal.host);
  tally(pending.actions, refusal.action);
  const uint32_t now = clock_tick_ms();
  if (interval_passed(alerts, form, now)) send(form, site, now);
}

void refusal_alerts_send_due(RefusalAlerts& alerts, const SiteContext& site, bool all) {
  const uint32_t now = clock_tick_ms();
  for (auto& [key, form] : alerts.forms) {
    if (form.pending.count > 0 && (all || interval_passed(alerts, form, now)))
      send(form, site, now);
  }
}

}  // namespace fwk
