// The records of the outbox file "outbox.fwk": writing one, reading them
// back, and telling a record that can be trusted from damage.
//
// A record is a head, a blank line and a stored SMTP conversation:
//   "OPEN <relay>\n"              the relay address (mail/relay_address.hpp)
//   "Content-Length: <N>\n"       the conversation's length in bytes
//   "Format: 2\n"                 the conversation is escaped (below)
//   "Check: <8 hex digits>\n"     CRC-32 of the N conversation bytes
//   "Queued: <seconds>\n"         when it was queued (seconds since 1970, UTC)
//   "User: <name>\n"              only with a user name (EMAILNAME)
//   "Form: <form>\n"              the form whose EMAILPWD holds the password
//   "\n"
//   N bytes: "HELO <host>", "MAIL FROM: <address>", "RCPT TO: <address>",
//   "DATA", the message, ".", "QUIT", each line ended by CR LF.
// In the message of a format-2 record every line that begins with "." or
// with "OPEN" has one more "." in front, so no line inside a record can be
// taken for the start of another; the reader takes the dot off again.
//
// Records without "Format" are what earlier versions wrote (the head ends
// after Content-Length, the message is stored as it is sent) and are read
// as before. The password is never stored.
//
// A record can be trusted when its head is whole, its conversation is all
// there, holds a DATA line, ends with "\r\n.\r\nQUIT\r\n" and (format 2)
// matches its check. Anything else is damage: it runs up to the next line
// that begins a record that can be trusted, or to the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mail_message.hpp"
#include "mail/relay_address.hpp"

namespace fwk {

// What identifies a stored record: the CRC-32 of its bytes and their count.
struct RecordKey {
  uint32_t check = 0;
  size_t length = 0;
  auto operator<=>(const RecordKey&) const = default;
};

// The key as the operator sees it: eight hex digits.
std::string record_key_id(const RecordKey& key);

enum class RecordFault {
  none,
  no_open,  // no "OPEN" line, or no usable relay address in it
  torn,     // the head or conversation is cut short, malformed or does not match its check
};

struct OutboxRecord {
  size_t begin = 0;  // offset of the open line
  size_t end = 0;    // offset just past the record
  RecordFault fault = RecordFault::none;
  RecordKey key;
  RelayAddress relay;
  std::string user;       // "" when the record names none
  std::string form;       // "" when the record names none
  int64_t queued_at = 0;  // 0 when the record does not say
  // Command lines before "DATA" (HELO, MAIL FROM, RCPT TO ...), without
  // their CR LF.
  std::vector<std::string> commands;
  // The message as it is to be sent (unescaped, not dot-stuffed).
  std::string message;
};

// Reads the record that begins at `offset` of the outbox bytes (offset must
// be below bytes.size()). The result's end is always above offset.
OutboxRecord outbox_read_record(std::string_view bytes, size_t offset);

// Every record and every stretch of damage, in file order.
std::vector<OutboxRecord> outbox_read_all(std::string_view bytes);

// What a caller queues.
struct QueuedMail {
  RelayAddress relay;
  std::string user;
  std::string form;
  int64_t queued_at = 0;
  MailMessage message;
};

// The whole record for a message.
std::string outbox_record_text(const QueuedMail& mail);

// The address in a "MAIL FROM:" or "RCPT TO:" command, without its angle
// brackets; "" when the command is not one of them.
std::string record_command_address(std::string_view command, std::string_view verb);

// The first recipient of a record's conversation.
std::string record_recipient(const OutboxRecord& record);

// A header field of the stored message ("" when it has none), unfolded.
std::string record_message_header(const OutboxRecord& record, std::string_view name);

}  // namespace fwk
