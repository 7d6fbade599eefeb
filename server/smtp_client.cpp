#include "server/smtp_client.hpp"

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
  bool line_start = true;
  for (size_t i = 0; i < message.size(); ++i) {
    char c = message[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
      data += "\r\n";
      line_start = true;
      continue;
    }
    if (line_start && c == '.') data += '.';
    data += c;
    line_start = false;
  }
  data += "\r\n.\r\n";
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
