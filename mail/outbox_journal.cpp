#include "mail/outbox_journal.hpp"

#include <cstdlib>
#include <sstream>

namespace fwk {

namespace {

bool read_key(std::istringstream& in, RecordKey* key) {
  std::string id;
  unsigned long long length = 0;
  if (!(in >> id >> length) || id.size() != 8 ||
      id.find_first_not_of("0123456789abcdef") != std::string::npos) {
    return false;
  }
  key->check = static_cast<uint32_t>(std::strtoul(id.c_str(), nullptr, 16));
  key->length = static_cast<size_t>(length);
  return true;
}

bool read_state(std::istringstream& in, MessageState* state) {
  long long refused_since = 0;
  long long at = 0;
  int number = 0;
  if (!(in >> state->attempts >> refused_since >> at >> number >> state->reply_code)) return false;
  std::optional<MailResult> result = mail_result_from_number(number);
  if (!result) return false;
  state->refused_since = refused_since;
  state->last_at = at;
  state->last_result = *result;
  std::getline(in, state->last_error);
  if (!state->last_error.empty() && state->last_error.front() == ' ') state->last_error.erase(0, 1);
  return true;
}

std::string key_text(const RecordKey& key) {
  return record_key_id(key) + " " + std::to_string(key.length);
}

}  // namespace

Journal journal_parse(std::string_view text) {
  Journal journal;
  size_t at = 0;
  while (at < text.size()) {
    size_t feed = text.find('\n', at);
    // A last line without its line feed was torn by a crash.
    if (feed == std::string_view::npos) break;
    std::istringstream in{std::string(text.substr(at, feed - at))};
    at = feed + 1;
    std::string word;
    RecordKey key;
    MessageState state;
    in >> word;
    if (word == "retry") {
      ++journal.retries;
    } else if (word == "sent" && read_key(in, &key)) {
      journal.sent.insert(key);
    } else if (word == "tried" && read_key(in, &key) && read_state(in, &state)) {
      journal.states[key] = state;
    }
  }
  return journal;
}

std::string journal_sent_line(const RecordKey& key) {
  return "sent " + key_text(key) + "\n";
}

std::string journal_tried_line(const RecordKey& key, const MessageState& state) {
  std::string line = "tried " + key_text(key) + " " + std::to_string(state.attempts) + " " +
                     std::to_string(state.refused_since) + " " + std::to_string(state.last_at) +
                     " " + std::to_string(mail_result_number(state.last_result)) + " " +
                     std::to_string(state.reply_code) + " ";
  for (char c : state.last_error) line += c == '\n' || c == '\r' ? ' ' : c;
  return line + "\n";
}

std::string journal_text(const Journal& journal, const std::set<RecordKey>& keys, int retries) {
  std::string text;
  for (const RecordKey& key : journal.sent) {
    if (keys.count(key) != 0) text += journal_sent_line(key);
  }
  for (const auto& [key, state] : journal.states) {
    if (keys.count(key) != 0 && journal.sent.count(key) == 0) {
      text += journal_tried_line(key, state);
    }
  }
  for (int i = 0; i < retries; ++i) text += kJournalRetryLine;
  return text;
}

}  // namespace fwk
