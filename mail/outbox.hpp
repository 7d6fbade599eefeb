// The outbox: mail that waits for its relay, kept as records (format in
// mail/outbox_record.hpp) in "outbox.fwk" in the server root. Mail is never
// sent at once; the courier (mail/courier.hpp) sends it when the device is
// on a network.
//
// Files in the server root, all private to the server:
//   outbox.fwk      the queue, appended to by queue_mail
//   outbox.journal  what became of queued messages since the queue was last
//                   rewritten: accepted ones, attempts and their errors
//   outbox.bak      the messages the latest transmission retired
//   outbox.bad      damaged records, messages refused for good, and
//                   messages the operator dropped
//   outbox.lock     locks shared by the server and `fwkhttpd outbox`
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/site.hpp"
#include "mail/mail_message.hpp"
#include "mail/mail_result.hpp"
#include "platform/file_lock.hpp"

namespace fwk {

inline constexpr const char* kOutboxName = "outbox.fwk";
inline constexpr const char* kOutboxJournalName = "outbox.journal";
inline constexpr const char* kOutboxSentName = "outbox.bak";
inline constexpr const char* kOutboxBadName = "outbox.bad";
inline constexpr const char* kOutboxLockName = "outbox.lock";

// What a form (its response mail, its administrator's alert or a page
// script) asks to send. The design sends every message from and to one
// address.
struct MailRequest {
  std::string address;
  std::string subject;
  std::string body;
  std::string relay;  // EMAILSERVER: a relay address (mail/relay_address.hpp)
  std::string user;   // EMAILNAME: "" to send without logging in
  std::string form;   // the form whose EMAILPWD holds the user's password
  // "" for a fresh identifier; a response mail passes one derived from its
  // content (mail_derived_id).
  std::string message_id;
  // Further header fields and an attachment (a response mail's copy of
  // the record); none by default.
  std::vector<MailHeader> extra_headers;
  MailAttachment attachment;
};

// Queues a message: no_relay (nothing queued) when the relay is empty or not
// a relay address; outbox_not_writable when the record could not be written
// durably (the outbox is then left as it was); else ok.
MailResult queue_mail(const SiteContext& site, const MailRequest& request);

// The path of a file of the outbox family in the server root.
std::string outbox_path(const std::string& root, const char* name);

// The queue lock (held briefly by every writer of the outbox files) and the
// courier lock (held by whoever transmits, for the whole transmission).
inline constexpr int kQueueLockSlot = 0;
inline constexpr int kCourierLockSlot = 1;

// Holds the queue lock of an outbox for as long as it lives.
struct QueueLock {
  FileLock file;
  bool held = false;
  explicit QueueLock(const std::string& root);
  QueueLock(const QueueLock&) = delete;
  QueueLock& operator=(const QueueLock&) = delete;
  ~QueueLock();
};

}  // namespace fwk
