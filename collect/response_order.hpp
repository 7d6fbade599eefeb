// Which of two saves of one session a store keeps. A store holds one live
// response per form and session; a response that arrives for a session is
//   - a copy when its answers equal the live one's (the same mail delivered
//     twice, or the same answers saved again): nothing changes;
//   - older when it was saved before the live one (a copy of an earlier
//     save that arrived late): nothing changes;
//   - else it replaces the live one.
// The requester's HOST, DATE and TIME are no answers: two saves that differ
// only there are copies, as the device itself treats them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mail/response_record.hpp"

namespace fwk {

enum class Verdict { stored, copy, older, failed };

// What decides between two saves: when it was saved ("saved" of the
// record) and a digest of its answers.
struct ResponseVersion {
  std::string saved;
  std::string content;
};

// What becomes of `incoming` when `live` is the session's live response
// (null: none yet). Saves with the same time are ordered by their content
// digests, so that every store and every collector decides alike.
Verdict response_verdict(const ResponseVersion* live, const ResponseVersion& incoming);

// True for the entry names that are no answers (HOST, DATE, TIME).
bool response_name_is_stamp(std::string_view name);

// The digest of a response's answers: names and values in order, stamps
// left out.
std::string response_content_key(const std::vector<ResponseEntry>& entries);

// A hex SHA-256 digest of some bytes.
std::string content_digest(std::string_view bytes);

// Appends a part to a text that is to be digested: its length, ":", the
// part, so that no two lists of parts run together into the same bytes.
void digest_part(std::string& text, std::string_view part);

}  // namespace fwk
