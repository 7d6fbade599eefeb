// Composing a message: its header fields (each folded to lines relays
// accept, with non-ASCII text of free-text fields as RFC 2047 encoded
// words, so that CR, LF and NUL never reach a header), the Date, the
// Message-ID, and the body: plain text, or HTML (a body beginning with
// "<HTML" in any case) as a one-part multipart/alternative, and after it,
// when the message carries one, an attachment (multipart/mixed: the text
// a person reads first, then the attachment in base64).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.hpp"

namespace fwk {

struct MailHeader {
  std::string name;
  std::string value;
  // Free text (Subject, X- fields): non-ASCII is encoded. Addresses, dates
  // and identifiers are only folded.
  bool free_text = false;
};

// A file sent along with the text, e.g. the machine-readable copy of a
// response.
struct MailAttachment {
  std::string content_type;  // "application/json"
  std::string file_name;     // a plain ASCII name, no quotes
  std::string data;          // any bytes
};

struct MailMessage {
  // The design sends every message from and to one address.
  std::string address;
  std::string subject;
  std::string body;
  std::string date;        // the Date field, e.g. "Tue, 08 Dec 2026 06:37:52 +0100"
  std::string message_id;  // "<...@...>"
  // Further fields, written after Message-ID in this order.
  std::vector<MailHeader> extra_headers;
  // Empty file_name: no attachment.
  MailAttachment attachment;
};

// The message as stored and sent: header fields, a blank line, the body;
// lines end in CR LF except inside the body, which is copied as given.
std::string mail_message_text(const MailMessage& message);

// One header field, "Name: value" with its folded continuation lines, each
// ending in CR LF.
std::string mail_header_field(const MailHeader& header);

// The Date text for a local time and its offset from UTC (minutes).
std::string mail_date_text(const DateTime& local, int utc_offset_minutes);

// The Date text for now.
std::string mail_date_now();

// A Message-ID unique to this message: the time and 64 random bits, at the
// recipient's domain.
std::string mail_random_id(std::string_view address);

// A Message-ID derived from what makes a response mail the same mail: the
// form, the session and the content. The same response mailed twice gets
// the same identifier, so the receiving side can drop the copy.
std::string mail_derived_id(std::string_view form, std::string_view session,
                            std::string_view address, std::string_view subject,
                            std::string_view body);

// `text` with CR, LF and NUL replaced by spaces.
std::string mail_one_line(std::string_view text);

}  // namespace fwk
