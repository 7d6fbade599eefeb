#include "mail/outbox.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <random>

#include "core/text_util.hpp"
#include "platform/clock.hpp"
#include "platform/durable_file.hpp"

namespace fwk {

namespace {

constexpr const char* kBoundary = "_Mime-Boundary_766C74";

std::mutex outbox_mutex;
std::atomic<uint64_t> appended_total{0};
std::atomic<uint64_t> stamp_sequence{0};

// A head field on one line: CR and LF become spaces.
std::string one_line(const char* text) {
  std::string line = text != nullptr ? text : "";
  text_replace_char(line, '\r', ' ');
  text_replace_char(line, '\n', ' ');
  return line;
}

struct RelayName {
  std::string host;
  int port = kDefaultRelayPort;
};

// "host" or "host:port"; a port that is not a number from 1 to 65535 is
// dropped and the default port used.
RelayName split_relay(const std::string& relay) {
  RelayName name;
  size_t colon = relay.find(':');
  name.host = relay.substr(0, colon);
  if (colon == std::string::npos) return name;
  std::string digits = relay.substr(colon + 1);
  bool numeric = !digits.empty() && digits.size() <= 5 &&
                 digits.find_first_not_of("0123456789") == std::string::npos;
  int port = numeric ? std::stoi(digits) : 0;
  if (port >= 1 && port <= 65535) name.port = port;
  return name;
}

bool is_html(const char* body) {
  return text_compare_nocase_n(body, "<HTML", 5) == 0;
}

std::string domain_of(const std::string& address, const std::string& fallback) {
  size_t at = address.rfind('@');
  std::string domain = at == std::string::npos ? "" : address.substr(at + 1);
  domain.erase(std::remove_if(domain.begin(), domain.end(),
                              [](char c) { return c == '>' || c == '<' || c == ' '; }),
               domain.end());
  return domain.empty() ? fallback : domain;
}

std::string two_digits(int n) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

// 0 for Sunday (Sakamoto's method).
int weekday(int year, int month, int day) {
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + offsets[(month - 1) % 12] + day) % 7;
}

}  // namespace

std::string mail_date_text(const DateTime& t, int utc_offset_minutes) {
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int month = t.month >= 1 && t.month <= 12 ? t.month : 1;
  int offset = utc_offset_minutes < 0 ? -utc_offset_minutes : utc_offset_minutes;
  std::string text = days[weekday(t.year, month, t.day)];
  text += ", " + two_digits(t.day) + " " + months[month - 1] + " " + std::to_string(t.year);
  text += " " + two_digits(t.hour) + ":" + two_digits(t.minute) + ":" + two_digits(t.second);
  text += utc_offset_minutes < 0 ? " -" : " +";
  text += two_digits(offset / 60) + two_digits(offset % 60);
  return text;
}

MailStamp mail_stamp(const char* address) {
  int offset = 0;
  DateTime now = clock_local_time(&offset);
  MailStamp stamp;
  stamp.date = mail_date_text(now, offset);
  // Time, a per-process sequence and 64 random bits: unique across
  // messages, processes and devices.
  std::random_device random;
  uint64_t noise = (static_cast<uint64_t>(random()) << 32) ^ random();
  char unique[96];
  std::snprintf(unique, sizeof unique, "%04d%02d%02d%02d%02d%02d.%llu.%016llx", now.year, now.month,
                now.day, now.hour, now.minute, now.second,
                static_cast<unsigned long long>(++stamp_sequence),
                static_cast<unsigned long long>(noise));
  stamp.message_id =
      "<" + std::string(unique) + "@" + domain_of(one_line(address), "formwick") + ">";
  return stamp;
}

std::string outbox_record_text(const char* relay_host, const char* subject, const char* address,
                               const char* body, const MailStamp& stamp) {
  std::string relay = one_line(relay_host);
  RelayName name = split_relay(relay);
  std::string sender = one_line(address);
  std::string conversation = "HELO " + name.host;
  conversation += "\r\nMAIL FROM: <" + sender + ">\r\nRCPT TO: <" + sender + ">\r\nDATA\r\n";
  conversation += "Subject: " + one_line(subject) + "\r\n";
  conversation += "From: <" + sender + ">\r\nTo: <" + sender + ">\r\n";
  conversation += "Date: " + stamp.date + "\r\nMessage-ID: " + stamp.message_id + "\r\n";
  const char* text = body != nullptr ? body : "";
  if (is_html(text)) {
    conversation += "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=\"";
    conversation += std::string(kBoundary) + "\"\r\n\r\n";
    conversation += "  This is a multi-part message in MIME format.\r\n\r\n--";
    conversation += std::string(kBoundary) + "\r\nContent-Type: text/html; charset=\"utf-8\"\r\n";
    conversation += "Content-Transfer-Encoding: 8bit\r\n\r\n";
    conversation += text;
    // The line break before the closing delimiter belongs to the delimiter:
    // without it the delimiter would not be recognised as one.
    conversation += "\r\n--" + std::string(kBoundary) + "--";
  } else {
    conversation += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n";
    conversation += text;
  }
  conversation += "\r\n.\r\nQUIT\r\n";

  std::string record = "OPEN " + name.host + ":" + std::to_string(name.port) + "\n";
  record += "Content-Length: " + std::to_string(conversation.size()) + "\n\n";
  record += conversation;
  return record;
}

std::string outbox_path(const SiteContext& site, const char* name) {
  return site.root + name;
}

std::unique_lock<std::mutex> outbox_guard() {
  return std::unique_lock<std::mutex>(outbox_mutex);
}

uint64_t outbox_appended_total() {
  return appended_total.load();
}

int outbox_append(const SiteContext& site, const char* relay_host, const char* subject,
                  const char* address, const char* body) {
  std::string record = outbox_record_text(relay_host, subject, address, body, mail_stamp(address));
  std::string path = outbox_path(site, kOutboxName);
  DurableResult result;
  {
    std::unique_lock<std::mutex> guard = outbox_guard();
    result = durable_append(path.c_str(), record.data(), record.size());
  }
  if (result != DurableResult::ok) return kOutboxNotWritable;
  ++appended_total;
  return 0;
}

int queue_mail(const SiteContext& site, const char* address, const char* subject, const char* body,
               const char* relay_host) {
  if (relay_host == nullptr || *relay_host == '\0') return kMailNoRelay;
  return outbox_append(site, relay_host, subject, address, body);
}

}  // namespace fwk
