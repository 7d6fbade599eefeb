// Delivering one outbox record to its relay with libcurl: plain SMTP, or
// STARTTLS required, or TLS from the first byte (by the relay address);
// with a user name only over TLS and only after AUTH (PLAIN or LOGIN),
// certificates verified against the system's authorities (and a site's own
// file of them) and the relay's host name. One connection per message.
#pragma once

#include <string>
#include <string_view>

#include "mail/mail_result.hpp"
#include "mail/outbox_record.hpp"

namespace fwk {

struct TransportSettings {
  int timeout_ms = 10000;  // for the connection and for each reply
  std::string ca_file;     // PEM file of further trusted authorities; "" none
};

struct Delivery {
  MailResult result = MailResult::ok;
  int reply_code = 0;  // the relay's last reply code (0: none)
  // What went wrong, for the operator: the relay's reply or the library's
  // error text. Never holds a password.
  std::string detail;
};

// The mail library's set-up: once per process, at start, before any other
// thread runs.
void smtp_transport_start();

// "libcurl/7.88.1 OpenSSL/3.0.x ..." as the library reports itself.
std::string smtp_transport_version();

// Delivers one readable record; `password` is used only with a user name.
Delivery smtp_deliver(const OutboxRecord& record, const std::string& password,
                      const TransportSettings& settings);

// The longest line sent in DATA, CR LF excluded (relays refuse longer ones).
constexpr size_t kSmtpLineLimit = 998;

// The DATA text for a stored message, before the transport doubles leading
// dots: every line ending in CR LF (a bare LF or CR becomes CR LF), lines
// longer than the limit (counting the dot the transport may add) cut into
// several, never inside a UTF-8 character.
std::string smtp_data_text(std::string_view message);

}  // namespace fwk
