// The machine-readable copy of a saved response that a response mail
// carries beside the text a person reads, and the header fields that name
// it. The receiving side (formwick-collect) reads the record from the
// attachment; the header fields let a mailbox filter or search for
// response mails without opening them.
//
// The attachment is a JSON document (application/json, UTF-8, sent in
// base64):
//
//   {"formwick":"response","version":1,
//    "form":"poll","session":"x1a2b","device":"tablet-7",
//    "saved":"2026-12-08T05:37:52.123456Z",
//    "entries":[["q1","yes"],["colour","red"],["colour","blue"],
//               ["note","two\nlines\tand a \"quote\" 🙂"]]}
//
// "entries" holds every answer of the response in the order of the form,
// each as a [name, value] pair, repeated names (check-box groups) as
// repeated pairs. "saved" is the device's clock at the save, in UTC with
// microseconds: of two saves of one session the later one replaces the
// earlier. Names and values are text; bytes that are not UTF-8 are
// carried as U+FFFD.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fwk {

inline constexpr const char* kResponseFormHeader = "X-Formwick-Form";
inline constexpr const char* kResponseSessionHeader = "X-Formwick-Session";
inline constexpr const char* kResponseDeviceHeader = "X-Formwick-Device";
inline constexpr const char* kResponseContentType = "application/json";
inline constexpr const char* kResponseFileName = "formwick-response.json";

using ResponseEntry = std::pair<std::string, std::string>;

struct ResponseRecord {
  std::string form;
  std::string session;
  std::string device;
  std::string saved;  // "YYYY-MM-DDTHH:MM:SS.ffffffZ"
  std::vector<ResponseEntry> answers;
};

// The attachment's text for a record.
std::string response_record_json(const ResponseRecord& record);

// The "entries" array alone: [[name, value], ...].
std::string response_entries_json(const std::vector<ResponseEntry>& entries);

// Reads an attachment's text. Nothing when it is not a response record of
// this version: not JSON, a field missing or of the wrong kind, an empty
// form or session, a "saved" that is not a UTC time with microseconds.
// `error` (may be null) receives what was wrong.
std::optional<ResponseRecord> response_record_parse(std::string_view text, std::string* error);

// True when `text` is a time as "saved" holds it.
bool response_saved_text_valid(std::string_view text);

}  // namespace fwk
