#include "mail/outbox_send.hpp"

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/status_log.hpp"
#include "mail/outbox.hpp"
#include "mail/outbox_record.hpp"
#include "mail/smtp_client.hpp"
#include "platform/durable_file.hpp"
#include "platform/environment.hpp"
#include "platform/socket.hpp"

namespace fwk {

namespace {

constexpr const char* kTransmitting = "Transmitting data to the server";
constexpr const char* kTransmitted = "Data transmitted successfully";
constexpr const char* kNotTransmitted = "Data not transmitted. Saved in outbox.fwk";
constexpr const char* kSetApart = "A mail record that could not be read was moved to outbox.bad";

// One transmission's view of the outbox: `known` holds the bytes the file
// is known to begin with (what the run read, less what it has retired
// since). Appends made meanwhile only add bytes after them.
struct OutboxRun {
  std::string outbox;
  std::string sent;
  std::string bad;
  std::string known;
  bool sent_any = false;
  std::vector<std::string> notes;
};

bool load(OutboxRun& run) {
  std::unique_lock<std::mutex> guard = outbox_guard();
  return file_read_whole(run.outbox.c_str(), &run.known);
}

// Moves the bytes [begin, end) of the known outbox to `target` (replacing
// it when `fresh`, else appending), then rewrites the outbox without them.
// The copy is made first, so a failure or a crash in between leaves the
// bytes in both files, never in neither. False when the outbox no longer
// begins with the known bytes or a file could not be written.
bool retire(OutboxRun& run, size_t begin, size_t end, const std::string& target, bool fresh) {
  std::unique_lock<std::mutex> guard = outbox_guard();
  std::string current;
  if (!file_read_whole(run.outbox.c_str(), &current) ||
      current.compare(0, run.known.size(), run.known) != 0) {
    return false;
  }
  const char* piece = run.known.data() + begin;
  size_t length = end - begin;
  DurableResult copied = fresh ? durable_replace(target.c_str(), piece, length)
                               : durable_append(target.c_str(), piece, length);
  if (copied != DurableResult::ok) return false;
  std::string rest = run.known.substr(0, begin);
  rest.append(run.known, end);
  rest.append(current, run.known.size());
  bool rewritten = rest.empty() ? durable_remove(run.outbox.c_str())
                                : durable_replace(run.outbox.c_str(), rest.data(), rest.size()) ==
                                      DurableResult::ok;
  if (!rewritten) return false;
  run.known.erase(begin, length);
  return true;
}

// Connects to the record's relay and delivers its message: 0 when the
// relay accepted it, else a result code.
int deliver(OutboxRun& run, const OutboxRecord& record) {
  Descriptor socket;
  int result = relay_connect(record.host.c_str(), record.port, &socket);
  if (result == 0) {
    SmtpSession session;
    session.socket = socket.get();
    session.timeout_ms = relay_timeout_ms();
    result = smtp_deliver(session, record);
    if (result == kSmtpRefused) {
      run.notes.push_back("The mail relay " + record.host +
                          " refused a message: " + session.last_reply);
    }
  }
  socket_shutdown(socket.get());
  return result;
}

}  // namespace

int relay_timeout_ms() {
  std::optional<std::string> value = env_get("FORMWICK_RELAY_TIMEOUT_MS");
  int ms = value ? std::atoi(value->c_str()) : 0;
  return ms > 0 ? ms : kRelayTimeoutMs;
}

int relay_connect(const char* host, int port, Descriptor* socket_out) {
  socket_out->reset();
  uint32_t address = 0;
  bool dotted = host[0] >= '0' && host[0] <= '9';
  if (dotted ? !ipv4_parse(host, &address) : !host_lookup_name(host, &address)) {
    return kRelayUnresolved;
  }
  *socket_out = socket_create_tcp();
  if (!*socket_out) return kRelayNoSocket;
  if (!socket_connect(socket_out->get(), address, port, relay_timeout_ms())) {
    return kRelayConnectFailed;
  }
  return 0;
}

int outbox_send(const SiteContext& site) {
  OutboxRun run;
  run.outbox = outbox_path(site, kOutboxName);
  run.sent = outbox_path(site, kOutboxSentName);
  run.bad = outbox_path(site, kOutboxBadName);
  if (!load(run) || run.known.empty()) return 0;
  status_log(site.log, kTransmitting);

  int result = 0;
  size_t at = 0;
  while (at < run.known.size()) {
    // A stopping server finishes the message in progress, not the outbox.
    if (site_stopping(site)) {
      if (result == 0) result = kOutboxSendFailed;
      break;
    }
    OutboxRecord record = outbox_read_record(run.known, at);
    if (record.fault != 0) {
      if (!retire(run, record.begin, record.end, run.bad, false)) {
        result = record.fault;
        break;
      }
      run.notes.push_back(kSetApart);
      continue;
    }
    int sent = deliver(run, record);
    if (sent == 0) {
      // Accepted but not retired: it would go out again, so say so.
      if (!retire(run, record.begin, record.end, run.sent, !run.sent_any)) {
        result = kOutboxNotWritable;
        break;
      }
      run.sent_any = true;
      continue;
    }
    result = sent;
    // A refusal concerns this message only; the next may still go through.
    if (sent != kOutboxRelayRefused) break;
    at = record.end;
  }

  status_text_clear(site.log);
  for (const std::string& note : run.notes) status_log(site.log, note.c_str());
  status_log(site.log, result == 0 ? kTransmitted : kNotTransmitted);
  return result;
}

}  // namespace fwk
