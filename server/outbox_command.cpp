#include "server/outbox_command.hpp"

#include <atomic>
#include <string>

#include "core/status_log.hpp"
#include "mail/courier.hpp"
#include "mail/outbox.hpp"
#include "mail/outbox_admin.hpp"
#include "mail/transmission.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "server/mail_setup.hpp"
#include "server/startup.hpp"
#include "server/window_text.hpp"

namespace fwk {

namespace {

void print_logged(const char* message) {
  std::string text = status_message_for_console(message);
  if (!text.empty()) console_write(text);
}

std::string age_text(int64_t queued_at) {
  if (queued_at <= 0) return "?";
  int64_t seconds = clock_unix_seconds() - queued_at;
  if (seconds < 0) seconds = 0;
  if (seconds < 3600) return std::to_string(seconds / 60) + "m";
  if (seconds < 48 * 3600) return std::to_string(seconds / 3600) + "h" +
                                  std::to_string(seconds % 3600 / 60) + "m";
  return std::to_string(seconds / 86400) + "d";
}

std::string padded(std::string text, size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text + " ";
}

void print_listing(const std::string& root) {
  OutboxListing listing = outbox_list(root);
  if (!listing.readable) {
    console_write("The outbox in " + root + " cannot be read.\n");
    return;
  }
  size_t count = listing.waiting.size();
  console_write(std::to_string(count) + (count == 1 ? " message waits" : " messages wait") +
                " in " + outbox_path(root, kOutboxName) + (count == 0 ? ".\n" : ":\n"));
  if (count > 0) {
    console_write(padded("ID", 8) + padded("AGE", 7) + padded("TRIES", 5) + padded("RELAY", 30) +
                  padded("TO", 26) + "SUBJECT\n");
  }
  for (const WaitingMessage& message : listing.waiting) {
    std::string relay = message.relay + (message.user.empty() ? "" : " as " + message.user);
    console_write(padded(message.id, 8) + padded(age_text(message.queued_at), 7) +
                  padded(std::to_string(message.attempts), 5) + padded(relay, 30) +
                  padded(message.recipient, 26) + message.subject + "\n");
    if (!message.last_error.empty()) {
      console_write("         last error: " + message.last_error + "\n");
    }
  }
  if (listing.damaged > 0) {
    console_write(std::to_string(listing.damaged) +
                  " damaged record(s) will be moved to outbox.bad by the next transmission.\n");
  }
}

int drop(const std::string& root, const std::string& id) {
  switch (outbox_drop(root, id)) {
    case DropOutcome::dropped:
      console_write("Message " + id + " was moved to " + outbox_path(root, kOutboxBadName) + ".\n");
      return 0;
    case DropOutcome::not_found:
      console_write_error("fwkhttpd: no waiting message has the ID " + id + "\n");
      return 1;
    case DropOutcome::ambiguous:
      console_write_error("fwkhttpd: several waiting messages have the ID " + id +
                          "; none was dropped\n");
      return 1;
    case DropOutcome::failed:
      break;
  }
  console_write_error("fwkhttpd: the outbox in " + root + " could not be rewritten\n");
  return 1;
}

// Held mail is tried now: by the running server's courier, which sees the
// request, or here when no transmission holds the outbox.
int retry(const std::string& root) {
  if (!outbox_ask_retry(root)) {
    console_write_error("fwkhttpd: the outbox journal in " + root + " cannot be written\n");
    return 1;
  }
  StatusLog log;
  status_log_set_observer(&log, print_logged);
  CourierSettings settings = load_mail_settings(root);
  TransmitContext context;
  context.root = root;
  context.log = &log;
  context.transport = settings.transport;
  context.give_up_seconds = settings.give_up_seconds;
  context.password_for = form_password_lookup(root);
  TransmissionReport report = outbox_transmit(context);
  if (!report.ran) console_write("A transmission is in progress; held messages are tried next.\n");
  status_log_set_observer(&log, nullptr);
  return 0;
}

}  // namespace

int outbox_command(const CommandLine& options) {
  std::string root = find_server_root(options.root);
  int code = 0;
  if (!options.outbox_drop.empty()) code = drop(root, options.outbox_drop);
  if (code == 0 && options.outbox_retry) code = retry(root);
  print_listing(root);
  return code;
}

}  // namespace fwk
