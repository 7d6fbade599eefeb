// The SMTP client that delivers one outbox record over a connected socket:
// it reads the relay's greeting, sends each stored command and checks each
// reply (2xx; 354 after DATA), sends the message with its lines ending in
// CR LF, overlong lines cut and lines beginning with "." doubled, and ends
// with QUIT.
#pragma once

#include <string>
#include <string_view>

#include "mail/outbox_record.hpp"

namespace fwk {

// Results of smtp_deliver (0: the relay accepted the message).
constexpr int kSmtpBroken = 3;    // a send failed, or the relay closed, fell
                                  // silent or answered something not SMTP
constexpr int kSmtpRefused = 65;  // the relay answered 4xx or 5xx

// A reply takes at most this many bytes; a longer one counts as broken.
constexpr size_t kSmtpReplyLimit = 65536;

struct SmtpSession {
  int socket = -1;
  int timeout_ms = 10000;  // for every reply
  std::string received;    // bytes read past the last reply
  int last_code = 0;       // the last reply's code (0: none)
  std::string last_reply;  // the last reply's final line, for the log
};

// Delivers one readable record on a connected socket. Does not close it.
int smtp_deliver(SmtpSession& session, const OutboxRecord& record);

// Reads one reply, multi-line replies included: its code (100..599), or 0
// when the relay closed, fell silent for the timeout or sent no reply line.
int smtp_read_reply(SmtpSession& session);

// The longest line sent in DATA, CR LF excluded (relays refuse longer ones).
constexpr size_t kSmtpLineLimit = 998;

// The DATA section for a stored message: every line ending in CR LF (a bare
// LF or CR becomes CR LF), lines longer than kSmtpLineLimit cut into several
// (never inside a UTF-8 character), lines beginning with "." doubled, and
// the closing "\r\n.\r\n".
std::string smtp_data_text(std::string_view message);

}  // namespace fwk
