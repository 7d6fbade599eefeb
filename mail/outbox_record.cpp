#include "mail/outbox_record.hpp"

#include <algorithm>

namespace fwk {

namespace {

constexpr std::string_view kOpen = "OPEN";
constexpr std::string_view kLengthKey = "Content-Length";
constexpr size_t kLengthValueAt = 16;  // just after "Content-Length: "
constexpr std::string_view kDataLine = "DATA\r\n";
constexpr std::string_view kClosing = "\r\n.\r\nQUIT\r\n";
// A head written by outbox_append has one line after the open line; a few
// more are tolerated, a run of lines without an end is not a head.
constexpr int kMostHeadLines = 64;
constexpr long long kNumberCap = 1LL << 40;

struct Head {
  std::string host;
  int port = 0;
  long long length = 0;
  size_t conversation_at = 0;
};

// Leading decimal digits as a number (0 when there are none), capped so
// that it cannot overflow.
long long leading_number(std::string_view text, bool* has_digits) {
  long long n = 0;
  size_t i = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    n = std::min(n * 10 + (text[i] - '0'), kNumberCap);
    ++i;
  }
  if (has_digits != nullptr) *has_digits = i > 0;
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

// Host and port from an open line (at most kOpenLineArea - 1 bytes of it).
int read_open_line(std::string_view line, Head* head) {
  line = line.substr(0, kOpenLineArea - 1);
  if (line.substr(0, kOpen.size()) != kOpen) return kRecordNoOpen;
  std::string_view rest = line.size() > 5 ? line.substr(5) : std::string_view();
  size_t colon = rest.find(':');
  head->host = std::string(rest.substr(0, colon));
  long long port = kOpenLineDefaultPort;
  if (colon != std::string_view::npos) port = leading_number(rest.substr(colon + 1), nullptr);
  if (head->host.empty() || port < 1 || port > 65535) return kRecordNoOpen;
  head->port = static_cast<int>(port);
  return 0;
}

int read_head(std::string_view bytes, size_t offset, Head* head) {
  size_t at = offset;
  std::string_view line;
  bool whole = next_line(bytes, &at, &line);
  if (!whole) line = bytes.substr(offset);
  int fault = read_open_line(line, head);
  if (fault != 0) return fault;
  if (!whole) return kRecordTorn;
  bool has_length = false;
  for (int count = 0;; ++count) {
    if (count == kMostHeadLines || !next_line(bytes, &at, &line)) return kRecordTorn;
    std::string kept;
    for (char c : line) {
      if (c != '\r' && kept.size() < kHeadLineArea - 1) kept += c;
    }
    if (kept.empty()) break;
    if (!is_header_line(kept)) return kRecordTorn;
    if (kept.compare(0, kLengthKey.size(), kLengthKey) == 0) {
      std::string_view value = std::string_view(kept).substr(std::min(kept.size(), kLengthValueAt));
      head->length = leading_number(value, nullptr);
      has_length = true;
    }
  }
  if (!has_length || head->length <= 0) return kRecordTorn;
  head->conversation_at = at;
  return 0;
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

size_t next_head_after(std::string_view bytes, size_t offset) {
  for (size_t feed = bytes.find('\n', offset); feed != std::string_view::npos;
       feed = bytes.find('\n', feed + 1)) {
    if (outbox_head_at(bytes, feed + 1)) return feed + 1;
  }
  return bytes.size();
}

}  // namespace

bool outbox_head_at(std::string_view bytes, size_t offset) {
  if (offset >= bytes.size() || bytes.substr(offset, kOpen.size()) != kOpen) return false;
  Head head;
  return read_head(bytes, offset, &head) == 0;
}

OutboxRecord outbox_read_record(std::string_view bytes, size_t offset) {
  OutboxRecord record;
  record.begin = offset;
  Head head;
  int fault = read_head(bytes, offset, &head);
  if (fault == 0) {
    size_t available = bytes.size() - head.conversation_at;
    if (static_cast<unsigned long long>(head.length) > available ||
        !split_conversation(bytes.substr(head.conversation_at, head.length), &record)) {
      fault = kRecordTorn;
    }
  }
  if (fault != 0) {
    record.fault = fault;
    record.commands.clear();
    record.message.clear();
    record.end = next_head_after(bytes, offset);
    return record;
  }
  record.host = head.host;
  record.port = head.port;
  record.end = head.conversation_at + static_cast<size_t>(head.length);
  return record;
}

}  // namespace fwk
