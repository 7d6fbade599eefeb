#include "mail/outbox_record.hpp"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "core/limits.hpp"

namespace fwk {

namespace {

constexpr std::string_view kOpen = "OPEN";
constexpr std::string_view kLengthKey = "Content-Length";
constexpr std::string_view kDataLine = "DATA\r\n";
constexpr std::string_view kClosing = "\r\n.\r\nQUIT\r\n";
constexpr std::string_view kEscapedFormat = "2";
// A head has a handful of lines; a run of lines without an end is no head.
constexpr int kMostHeadLines = 64;
constexpr long long kNumberCap = 1LL << 40;

struct Head {
  RelayAddress relay;
  long long length = 0;
  bool has_length = false;
  std::string format;
  std::string check;
  std::string user;
  std::string form;
  int64_t queued_at = 0;
  size_t conversation_at = 0;
};

uint32_t crc_of(std::string_view bytes) {
  return static_cast<uint32_t>(
      crc32_z(crc32_z(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

std::string hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

// Leading decimal digits as a number (0 when there are none), capped so
// that it cannot overflow.
long long leading_number(std::string_view text) {
  long long n = 0;
  for (size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    n = std::min(n * 10 + (text[i] - '0'), kNumberCap);
  }
  return n;
}

// A head line is a header: a name of letters, digits and "-", then ":".
bool is_header_line(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  for (char c : line.substr(0, colon)) {
    bool name_char =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    if (!name_char) return false;
  }
  return true;
}

// The next line from `at`: its bytes without the line feed; false when the
// bytes end before a line feed. `at` moves past the line feed.
bool next_line(std::string_view bytes, size_t* at, std::string_view* line) {
  size_t feed = bytes.find('\n', *at);
  if (feed == std::string_view::npos) return false;
  *line = bytes.substr(*at, feed - *at);
  *at = feed + 1;
  return true;
}

std::string_view value_after(std::string_view line, std::string_view name) {
  std::string_view value = line.substr(name.size() + 1);
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  return value;
}

void read_head_line(std::string_view line, Head* head) {
  std::string_view name = line.substr(0, line.find(':'));
  std::string_view value = value_after(line, name);
  if (name == kLengthKey) {
    head->length = leading_number(value);
    head->has_length = true;
  } else if (name == "Format") {
    head->format = std::string(value);
  } else if (name == "Check") {
    head->check = std::string(value);
  } else if (name == "User") {
    head->user = std::string(value);
  } else if (name == "Form") {
    head->form = std::string(value);
  } else if (name == "Queued") {
    head->queued_at = leading_number(value);
  }
}

RecordFault read_head(std::string_view bytes, size_t offset, Head* head) {
  size_t at = offset;
  std::string_view line;
  bool whole = next_line(bytes, &at, &line);
  if (!whole) line = bytes.substr(offset);
  line = line.substr(0, kOpenLineArea - 1);
  if (line.substr(0, kOpen.size()) != kOpen) return RecordFault::no_open;
  std::optional<RelayAddress> relay =
      relay_parse(line.size() > kOpen.size() + 1 ? line.substr(kOpen.size() + 1) : "");
  if (!relay) return RecordFault::no_open;
  head->relay = *relay;
  if (!whole) return RecordFault::torn;
  for (int count = 0;; ++count) {
    if (count == kMostHeadLines || !next_line(bytes, &at, &line)) return RecordFault::torn;
    std::string kept;
    for (char c : line.substr(0, kHeadLineArea - 1)) {
      if (c != '\r') kept += c;
    }
    if (kept.empty()) break;
    if (!is_header_line(kept)) return RecordFault::torn;
    read_head_line(kept, head);
  }
  if (!head->has_length || head->length <= 0) return RecordFault::torn;
  head->conversation_at = at;
  return RecordFault::none;
}

// Splits a conversation into its command lines and its message; false when
// it has no "DATA" line or does not end with the closing lines.
bool split_conversation(std::string_view conversation, OutboxRecord* record) {
  if (conversation.size() < kClosing.size() ||
      conversation.substr(conversation.size() - kClosing.size()) != kClosing) {
    return false;
  }
  std::string_view body = conversation.substr(0, conversation.size() - kClosing.size());
  size_t data_at = 0;
  if (body.substr(0, kDataLine.size()) != kDataLine) {
    size_t found = body.find("\r\nDATA\r\n");
    if (found == std::string_view::npos) return false;
    data_at = found + 2;
  }
  std::string_view commands = body.substr(0, data_at);
  while (!commands.empty()) {
    size_t end = commands.find("\r\n");
    record->commands.emplace_back(commands.substr(0, end));
    commands = end == std::string_view::npos ? std::string_view() : commands.substr(end + 2);
  }
  record->message = std::string(body.substr(data_at + kDataLine.size()));
  return true;
}

// Lines that begin with "." or "OPEN" get one more "." in front.
std::string escape_lines(std::string_view message) {
  std::string escaped;
  escaped.reserve(message.size() + 16);
  size_t at = 0;
  while (at <= message.size()) {
    std::string_view rest = message.substr(at);
    if (rest.substr(0, 1) == "." || rest.substr(0, kOpen.size()) == kOpen) escaped += '.';
    size_t feed = message.find('\n', at);
    size_t end = feed == std::string_view::npos ? message.size() : feed + 1;
    escaped.append(message, at, end - at);
    if (feed == std::string_view::npos) break;
    at = end;
  }
  return escaped;
}

// The reverse: the first "." of every line that begins with one goes.
std::string unescape_lines(std::string_view message) {
  std::string plain;
  plain.reserve(message.size());
  size_t at = 0;
  while (at < message.size()) {
    if (message[at] == '.') ++at;
    size_t feed = message.find('\n', at);
    size_t end = feed == std::string_view::npos ? message.size() : feed + 1;
    plain.append(message, at, end - at);
    at = end;
  }
  return plain;
}

// A format-2 conversation must match its check.
bool conversation_verified(const Head& head, std::string_view conversation) {
  if (head.format.empty()) return head.check.empty() || head.check == hex8(crc_of(conversation));
  return head.format == kEscapedFormat && head.check == hex8(crc_of(conversation));
}

OutboxRecord read_trusted(std::string_view bytes, size_t offset) {
  OutboxRecord record;
  record.begin = offset;
  Head head;
  record.fault = read_head(bytes, offset, &head);
  if (record.fault != RecordFault::none) return record;
  size_t available = bytes.size() - head.conversation_at;
  std::string_view conversation;
  if (static_cast<unsigned long long>(head.length) <= available) {
    conversation = bytes.substr(head.conversation_at, static_cast<size_t>(head.length));
  }
  if (conversation.empty() || !conversation_verified(head, conversation) ||
      !split_conversation(conversation, &record)) {
    record.fault = RecordFault::torn;
    return record;
  }
  if (!head.format.empty()) record.message = unescape_lines(record.message);
  record.relay = head.relay;
  record.user = head.user;
  record.form = head.form;
  record.queued_at = head.queued_at;
  record.end = head.conversation_at + conversation.size();
  return record;
}

// The next line start after `offset` where a record that can be trusted
// begins, or the end of the bytes.
size_t next_trusted_after(std::string_view bytes, size_t offset) {
  for (size_t feed = bytes.find('\n', offset); feed != std::string_view::npos;
       feed = bytes.find('\n', feed + 1)) {
    if (bytes.substr(feed + 1, kOpen.size()) == kOpen &&
        read_trusted(bytes, feed + 1).fault == RecordFault::none) {
      return feed + 1;
    }
  }
  return bytes.size();
}

std::string decode_encoded_words(std::string_view value) {
  std::string text;
  bool last_was_word = false;
  while (!value.empty()) {
    size_t open = value.find("=?UTF-8?B?");
    size_t close = open == std::string_view::npos ? open : value.find("?=", open + 10);
    if (close == std::string_view::npos) {
      text += value;
      break;
    }
    std::string_view between = value.substr(0, open);
    // White space between two encoded words is not part of the text.
    if (!(last_was_word && between.find_first_not_of(" \t") == std::string_view::npos)) {
      text += between;
    }
    std::string_view payload = value.substr(open + 10, close - open - 10);
    std::string decoded(payload.size(), '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()),
                            reinterpret_cast<const unsigned char*>(payload.data()),
                            static_cast<int>(payload.size()));
    decoded.resize(n > 0 ? static_cast<size_t>(n) : 0);
    while (!decoded.empty() && decoded.back() == '\0' && payload.ends_with("=")) {
      decoded.pop_back();
      payload.remove_suffix(1);
    }
    text += decoded;
    last_was_word = true;
    value.remove_prefix(close + 2);
  }
  return text;
}

}  // namespace

std::string record_key_id(const RecordKey& key) {
  return hex8(key.check);
}

OutboxRecord outbox_read_record(std::string_view bytes, size_t offset) {
  OutboxRecord record = read_trusted(bytes, offset);
  if (record.fault != RecordFault::none) {
    record.commands.clear();
    record.message.clear();
    record.end = next_trusted_after(bytes, offset);
  }
  std::string_view stored = bytes.substr(record.begin, record.end - record.begin);
  record.key = RecordKey{crc_of(stored), stored.size()};
  return record;
}

std::vector<OutboxRecord> outbox_read_all(std::string_view bytes) {
  std::vector<OutboxRecord> records;
  for (size_t at = 0; at < bytes.size(); at = records.back().end) {
    records.push_back(outbox_read_record(bytes, at));
  }
  return records;
}

std::string outbox_record_text(const QueuedMail& mail) {
  std::string address = mail_one_line(mail.message.address);
  std::string conversation = "HELO " + mail.relay.host;
  conversation += "\r\nMAIL FROM: <" + address + ">\r\nRCPT TO: <" + address + ">\r\nDATA\r\n";
  conversation += escape_lines(mail_message_text(mail.message));
  conversation += kClosing;

  std::string record = "OPEN " + relay_text(mail.relay) + "\n";
  record += "Content-Length: " + std::to_string(conversation.size()) + "\n";
  record += "Format: " + std::string(kEscapedFormat) + "\n";
  record += "Check: " + hex8(crc_of(conversation)) + "\n";
  record += "Queued: " + std::to_string(mail.queued_at) + "\n";
  if (!mail.user.empty()) record += "User: " + mail_one_line(mail.user) + "\n";
  if (!mail.form.empty()) record += "Form: " + mail_one_line(mail.form) + "\n";
  record += "\n";
  record += conversation;
  return record;
}

std::string record_command_address(std::string_view command, std::string_view verb) {
  if (command.size() <= verb.size() || command.substr(0, verb.size()) != verb) return "";
  std::string_view rest = command.substr(verb.size());
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  if (rest.starts_with("<") && rest.ends_with(">")) rest = rest.substr(1, rest.size() - 2);
  return std::string(rest);
}

std::string record_recipient(const OutboxRecord& record) {
  for (const std::string& command : record.commands) {
    std::string address = record_command_address(command, "RCPT TO:");
    if (!address.empty()) return address;
  }
  return "";
}

std::string record_message_header(const OutboxRecord& record, std::string_view name) {
  std::string_view message = record.message;
  size_t at = 0;
  while (at < message.size()) {
    size_t end = message.find("\r\n", at);
    if (end == std::string_view::npos || end == at) break;  // the header ends at a blank line
    std::string_view line = message.substr(at, end - at);
    if (line.size() > name.size() && line[name.size()] == ':' &&
        line.substr(0, name.size()) == name) {
      std::string value(value_after(line, name));
      // Continuation lines of a folded field.
      for (at = end + 2; at < message.size() && (message[at] == ' ' || message[at] == '\t');) {
        end = message.find("\r\n", at);
        if (end == std::string_view::npos) end = message.size();
        value += message.substr(at, end - at);
        at = end + 2;
      }
      return decode_encoded_words(value);
    }
    at = end + 2;
  }
  return "";
}

}  // namespace fwk
