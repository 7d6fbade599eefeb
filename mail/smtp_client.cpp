#include "mail/smtp_client.hpp"

#include <array>

#include "platform/clock.hpp"
#include "platform/socket.hpp"

namespace fwk {

namespace {

constexpr int kDataGoAhead = 354;

bool positive(int code) {
  return code >= 200 && code <= 299;
}

bool refusal(int code) {
  return code >= 400 && code <= 599;
}

bool send_all(SmtpSession& session, const std::string& bytes) {
  return socket_send(session.socket, bytes.data(), bytes.size()) == static_cast<long>(bytes.size());
}

// A reply line: three digits, then a space, a "-" (more lines follow) or
// nothing.
bool reply_line(const std::string& line, int* code, bool* last) {
  if (line.size() < 3) return false;
  for (int i = 0; i < 3; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
  }
  if (line.size() > 3 && line[3] != ' ' && line[3] != '-') return false;
  *code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
  *last = line.size() == 3 || line[3] == ' ';
  return *code >= 100;
}

// Waits for the next line of the reply until `deadline`; false when the
// relay closed, fell silent or sent too much.
bool next_reply_line(SmtpSession& session, uint32_t deadline, std::string* line) {
  std::array<char, 4096> chunk;
  for (;;) {
    size_t feed = session.received.find('\n');
    if (feed != std::string::npos) {
      *line = session.received.substr(0, feed);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      session.received.erase(0, feed + 1);
      return true;
    }
    if (session.received.size() > kSmtpReplyLimit) return false;
    int32_t left = static_cast<int32_t>(deadline - clock_tick_ms());
    if (left <= 0 || !socket_wait_readable(session.socket, static_cast<long>(left) * 1000)) {
      return false;
    }
    long got = socket_receive(session.socket, chunk.data(), chunk.size());
    if (got <= 0) return false;
    session.received.append(chunk.data(), static_cast<size_t>(got));
  }
}

// Sends a command line and reads its reply; the reply's code or 0.
int command(SmtpSession& session, const std::string& line) {
  if (!send_all(session, line + "\r\n")) return 0;
  return smtp_read_reply(session);
}

// The result for a reply that ends the message: a refusal is answered with
// QUIT (the refusal stays the reply to report), anything else is broken.
int failure(SmtpSession& session, int code) {
  if (!refusal(code)) return kSmtpBroken;
  std::string refused = session.last_reply;
  command(session, "QUIT");
  session.last_reply = refused;
  return kSmtpRefused;
}

// Index of the first byte of a UTF-8 character at or before `cut` within
// `line`, no further back than a character can reach; `cut` itself when the
// bytes there are not UTF-8.
size_t character_start(std::string_view line, size_t cut, size_t floor) {
  size_t start = cut;
  while (start > floor && cut - start < 3 &&
         (static_cast<unsigned char>(line[start]) & 0xC0) == 0x80) {
    --start;
  }
  bool lead = (static_cast<unsigned char>(line[start]) & 0xC0) != 0x80;
  return lead && start > floor ? start : cut;
}

// Appends one stored line as sent lines ending in CR LF: a line longer than
// relays accept is cut into pieces of at most kSmtpLineLimit bytes (the
// doubled leading "." included), between characters, and every piece that
// begins with "." has it doubled.
void append_data_line(std::string& data, std::string_view line) {
  size_t at = 0;
  do {
    bool dot = at < line.size() && line[at] == '.';
    size_t room = kSmtpLineLimit - (dot ? 1 : 0);
    size_t cut = line.size();
    if (cut - at > room) cut = character_start(line, at + room, at);
    if (dot) data += '.';
    data.append(line, at, cut - at);
    data += "\r\n";
    at = cut;
  } while (at < line.size());
}

}  // namespace

int smtp_read_reply(SmtpSession& session) {
  uint32_t deadline = clock_tick_ms() + static_cast<uint32_t>(session.timeout_ms);
  size_t taken = 0;
  std::string line;
  session.last_code = 0;
  session.last_reply.clear();
  while (next_reply_line(session, deadline, &line)) {
    taken += line.size() + 2;
    int code = 0;
    bool last = false;
    if (taken > kSmtpReplyLimit || !reply_line(line, &code, &last)) return 0;
    if (last) {
      session.last_code = code;
      session.last_reply = line;
      return code;
    }
  }
  return 0;
}

std::string smtp_data_text(std::string_view message) {
  std::string data;
  data.reserve(message.size() + message.size() / 32 + 8);
  size_t at = 0;
  while (at <= message.size()) {
    size_t end = message.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = message.size();
    append_data_line(data, message.substr(at, end - at));
    if (end == message.size()) break;
    at = end + (message.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  data += ".\r\n";
  return data;
}

int smtp_deliver(SmtpSession& session, const OutboxRecord& record) {
  int code = smtp_read_reply(session);
  if (!positive(code)) return failure(session, code);
  for (const std::string& line : record.commands) {
    code = command(session, line);
    if (!positive(code)) return failure(session, code);
  }
  code = command(session, "DATA");
  if (code != kDataGoAhead) return failure(session, code);
  if (!send_all(session, smtp_data_text(record.message))) return kSmtpBroken;
  code = smtp_read_reply(session);
  if (!positive(code)) return failure(session, code);
  // The relay has the message; how it takes the goodbye changes nothing.
  std::string accepted = session.last_reply;
  command(session, "QUIT");
  session.last_reply = accepted;
  return 0;
}

}  // namespace fwk
