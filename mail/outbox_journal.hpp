// The outbox journal, "outbox.journal": one line per event since the outbox
// was last rewritten, so that retiring a sent message costs one short
// append instead of a rewrite of the whole outbox.
//   "sent <id> <length>"      the relay accepted the record with this key
//   "tried <id> <length> <attempts> <refused since> <at> <result> <code> <text>"
//                             the message's state after an attempt that failed
//   "retry"                   the operator asked for held messages to be tried now
// Times are seconds since 1970 (UTC); "refused since" is when an unbroken
// run of refusals for good (5xx) began, 0 when there is none. A later line
// about a key replaces an earlier one. Lines that cannot be read are
// skipped: a torn last line loses only its own event.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "mail/mail_result.hpp"
#include "mail/outbox_record.hpp"

namespace fwk {

struct MessageState {
  int attempts = 0;
  int64_t refused_since = 0;
  int64_t last_at = 0;
  MailResult last_result = MailResult::ok;
  int reply_code = 0;      // the relay's last reply code (0: none)
  std::string last_error;  // one line, for the operator
};

struct Journal {
  std::set<RecordKey> sent;
  std::map<RecordKey, MessageState> states;
  int retries = 0;  // "retry" lines
};

Journal journal_parse(std::string_view text);

std::string journal_sent_line(const RecordKey& key);
std::string journal_tried_line(const RecordKey& key, const MessageState& state);
inline constexpr std::string_view kJournalRetryLine = "retry\n";

// The journal as a file holding only what concerns `keys` (the records
// still queued), with `retries` retry lines.
std::string journal_text(const Journal& journal, const std::set<RecordKey>& keys, int retries);

}  // namespace fwk
