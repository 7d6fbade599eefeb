// Reading the records of an outbox (format in store/outbox.hpp).
//
// A record is readable when its head is whole (an open line beginning with
// "OPEN" and naming a host and a port, header lines ("Name: value") up to an
// empty line, among them a Content-Length above 0), its conversation is all there, holds a "DATA"
// line and ends with "\r\n.\r\nQUIT\r\n", and the next record (if any)
// begins right after it. Anything else is unreadable: a torn append, a hand
// edit, a wrong length. An unreadable record runs up to the next line that
// begins a well-formed head, or to the end, so the records after it can
// still be sent.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/limits.hpp"

namespace fwk {

// Why a record is unreadable (0: it is readable).
constexpr int kRecordNoOpen = 1;  // no "OPEN" line, or no usable host or port in it
constexpr int kRecordTorn = 2;    // the head or conversation is cut short or malformed

// The port of an open line without one.
constexpr int kOpenLineDefaultPort = 80;

struct OutboxRecord {
  size_t begin = 0;  // offset of the open line
  size_t end = 0;    // offset just past the record
  int fault = 0;     // 0, kRecordNoOpen or kRecordTorn
  std::string host;
  int port = 0;
  // Command lines before "DATA" (HELO, MAIL FROM, RCPT TO ...), without
  // their CR LF.
  std::vector<std::string> commands;
  // The bytes between "DATA\r\n" and the final "\r\n.\r\nQUIT\r\n", as
  // stored (not dot-stuffed).
  std::string message;
};

// Reads the record that begins at `offset` of the outbox bytes (offset must
// be below bytes.size()). The result's end is always above offset.
OutboxRecord outbox_read_record(std::string_view bytes, size_t offset);

// True when a well-formed record head begins at `offset`.
bool outbox_head_at(std::string_view bytes, size_t offset);

}  // namespace fwk
