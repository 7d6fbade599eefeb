// Reading a mail as the collector sees it: a response mail (it carries the
// X-Formwick-Form field and the response record as an attachment), a mail
// that is no response (left alone), or a response mail that cannot be read
// (its record missing, damaged, or not matching its header fields). MIME
// is read with GMime, so transfer encodings and nesting that relays and
// mail servers may introduce are undone as any mail reader would.
#pragma once

#include <string>
#include <string_view>

#include "mail/response_record.hpp"

namespace fwk {

enum class MailKind { response, not_response, damaged };

struct ResponseMail {
  MailKind kind = MailKind::not_response;
  std::string message_id;  // without angle brackets; "" when the mail has none
  ResponseRecord record;   // for a response
  std::string problem;     // for a damaged one: what is wrong
};

// The mail library's set-up and tear-down: once per process.
void response_mail_start();
void response_mail_stop();

// Reads one mail (its bytes as delivered, header and body).
ResponseMail response_mail_read(std::string_view bytes);

}  // namespace fwk
