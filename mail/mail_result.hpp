// What queuing and delivering mail can come to. The numbers are the ones
// pages, the status log and the outbox journal carry; each is defined here
// once.
#pragma once

#include <optional>

namespace fwk {

enum class MailResult {
  ok,                   // queued; or accepted by the relay
  no_relay,             // queue_mail: no usable relay address; nothing queued
  relay_broken,         // the relay closed, fell silent or did not speak SMTP
  relay_unresolved,     // the relay's host name could not be resolved
  relay_unreachable,    // the connection to the relay failed
  relay_refused,        // the relay refused the message (4xx or 5xx)
  relay_insecure,       // no STARTTLS offered, or the TLS handshake or certificate failed
  outbox_not_writable,  // the outbox (or its journal) could not be written
  relay_login_failed,   // authentication failed, or no password for the user name
};

// The number of a result: 0, 1, 3, 62, 64, 65, 66, 67, 68.
int mail_result_number(MailResult result);

// The result a number stands for (as read back from the journal).
std::optional<MailResult> mail_result_from_number(int number);

}  // namespace fwk
