// The outbox: mail that waits for the relay, kept as ready SMTP
// conversations in "outbox.fwk" in the server root. Mail is never sent at
// once; the server sends the outbox when the device is on a network.
//
// Each record (reader in store/outbox_record.hpp):
//   "OPEN <relay host>:<port>\n"         port 25 unless the relay names one
//   "Content-Length: <N>\n"
//   "\n"
//   N bytes of conversation, lines ended by CR LF:
//     HELO <relay host>
//     MAIL FROM: <address>
//     RCPT TO: <address>
//     DATA
//     <the message: Subject, From, To, Date, Message-ID, MIME headers, body>
//     .
//     QUIT
// The message is stored as written; lines beginning with "." are doubled
// only when it is sent.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "core/site.hpp"
#include "platform/clock.hpp"

namespace fwk {

// File names in the server root: the outbox, the messages of the last
// transmission that the relay accepted, and records that could not be read.
inline constexpr const char* kOutboxName = "outbox.fwk";
inline constexpr const char* kOutboxSentName = "outbox.bak";
inline constexpr const char* kOutboxBadName = "outbox.bad";

constexpr int kDefaultRelayPort = 25;

// Results of queue_mail and outbox_append (0: the record was written).
constexpr int kMailNoRelay = 1;
constexpr int kOutboxNotWritable = 67;

// Queues a message from `address` to `address` through `relay_host`
// ("host" or "host:port"). 1 when the relay host is absent or "" (nothing is
// queued), otherwise the result of outbox_append.
int queue_mail(const SiteContext& site, const char* address, const char* subject, const char* body,
               const char* relay_host);

// Appends one record to the outbox, durably (one write of the whole record,
// then a flush to the device). 0 when written; 67 when the outbox could not
// be opened or written (it is then left as it was).
int outbox_append(const SiteContext& site, const char* relay_host, const char* subject,
                  const char* address, const char* body);

// What makes a message unique: its Date header text and its Message-ID.
struct MailStamp {
  std::string date;        // e.g. "Tue, 08 Dec 2026 06:37:52 +0100"
  std::string message_id;  // e.g. "<20261208063752.1.5f3a...@example.org>"
};

// A fresh stamp for a message to `address`, with the current local time.
MailStamp mail_stamp(const char* address);

// The Date header text for a local time and its offset from UTC (minutes).
std::string mail_date_text(const DateTime& local, int utc_offset_minutes);

// The whole record (head and conversation) that outbox_append writes.
// CR and LF in the host, subject and address become spaces, so none of them
// can add a command or a header.
std::string outbox_record_text(const char* relay_host, const char* subject, const char* address,
                               const char* body, const MailStamp& stamp);

// Records appended by this process so far (any thread); the server loop
// counts queued mail with it.
uint64_t outbox_appended_total();

// Held around every append and around each read or rewrite of the outbox
// files by a transmission, so that they never interleave.
std::unique_lock<std::mutex> outbox_guard();

// The path of a file of the outbox family in the server root.
std::string outbox_path(const SiteContext& site, const char* name);

}  // namespace fwk
