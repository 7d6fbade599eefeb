#include "mail/outbox.hpp"

#include <optional>

#include "mail/mail_message.hpp"
#include "mail/outbox_record.hpp"
#include "mail/relay_address.hpp"
#include "platform/clock.hpp"
#include "platform/durable_file.hpp"

namespace fwk {

namespace {

// A record must begin a line: after a torn write left the outbox ending
// inside a line, the next record starts on a line of its own, so that the
// reader can find it again.
bool ends_inside_a_line(const std::string& path) {
  char last = '\n';
  return file_read_last_byte(path.c_str(), &last) && last != '\n';
}

}  // namespace

std::string outbox_path(const std::string& root, const char* name) {
  return root + name;
}

QueueLock::QueueLock(const std::string& root)
    : file(file_lock_open(outbox_path(root, kOutboxLockName))) {
  held = file_lock_take(file, kQueueLockSlot, true);
}

QueueLock::~QueueLock() {
  if (held) file_lock_give(file, kQueueLockSlot);
}

MailResult queue_mail(const SiteContext& site, const MailRequest& request) {
  std::optional<RelayAddress> relay = relay_parse(request.relay);
  if (!relay) return MailResult::no_relay;
  QueuedMail mail;
  mail.relay = *relay;
  mail.user = request.user;
  mail.form = request.form;
  mail.queued_at = clock_unix_seconds();
  mail.message.address = request.address;
  mail.message.subject = request.subject;
  mail.message.body = request.body;
  mail.message.date = mail_date_now();
  mail.message.message_id =
      request.message_id.empty() ? mail_random_id(request.address) : request.message_id;
  mail.message.extra_headers = request.extra_headers;
  mail.message.attachment = request.attachment;
  std::string record = outbox_record_text(mail);
  std::string path = outbox_path(site.root, kOutboxName);
  QueueLock lock(site.root);
  if (!lock.held) return MailResult::outbox_not_writable;
  if (ends_inside_a_line(path)) record.insert(0, "\n");
  DurableResult result = durable_append(path.c_str(), record.data(), record.size());
  return result == DurableResult::ok ? MailResult::ok : MailResult::outbox_not_writable;
}

}  // namespace fwk
