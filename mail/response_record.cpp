#include "mail/response_record.hpp"

#include <nlohmann/json.hpp>

namespace fwk {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kKind = "response";
constexpr int kVersion = 1;

// The string member `name` of an object, or nothing.
const std::string* string_member(const Json& object, const char* name) {
  auto found = object.find(name);
  if (found == object.end() || !found->is_string()) return nullptr;
  return found->get_ptr<const std::string*>();
}

bool read_entries(const Json& array, std::vector<ResponseEntry>* entries) {
  if (!array.is_array()) return false;
  entries->reserve(array.size());
  for (const Json& pair : array) {
    if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string() || !pair[1].is_string())
      return false;
    entries->emplace_back(pair[0].get_ref<const std::string&>(),
                          pair[1].get_ref<const std::string&>());
  }
  return true;
}

bool fail(std::string* error, const char* what) {
  if (error != nullptr) *error = what;
  return false;
}

bool read_record(const Json& document, ResponseRecord* record, std::string* error) {
  if (!document.is_object()) return fail(error, "the attachment is not a JSON object");
  const std::string* kind = string_member(document, "formwick");
  if (kind == nullptr || *kind != kKind) return fail(error, "the attachment is no response record");
  auto version = document.find("version");
  if (version == document.end() || !version->is_number_integer() ||
      version->get<long long>() != kVersion)
    return fail(error, "the response record is of another version");
  const std::string* form = string_member(document, "form");
  const std::string* session = string_member(document, "session");
  const std::string* device = string_member(document, "device");
  const std::string* saved = string_member(document, "saved");
  if (form == nullptr || form->empty()) return fail(error, "the response record names no form");
  if (session == nullptr || session->empty())
    return fail(error, "the response record names no session");
  if (device == nullptr) return fail(error, "the response record names no device");
  if (saved == nullptr || !response_saved_text_valid(*saved))
    return fail(error, "the response record has no valid save time");
  auto entries = document.find("entries");
  if (entries == document.end() || !read_entries(*entries, &record->answers))
    return fail(error, "the response record's entries are not [name, value] pairs");
  record->form = *form;
  record->session = *session;
  record->device = *device;
  record->saved = *saved;
  return true;
}

Json entries_array(const std::vector<ResponseEntry>& entries) {
  Json array = Json::array();
  for (const ResponseEntry& entry : entries) array.push_back({entry.first, entry.second});
  return array;
}

// Bytes that are not UTF-8 become U+FFFD instead of failing the mail.
std::string json_text(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string response_entries_json(const std::vector<ResponseEntry>& entries) {
  return json_text(entries_array(entries));
}

std::string response_record_json(const ResponseRecord& record) {
  Json entries = entries_array(record.answers);
  Json document = {{"formwick", kKind},       {"version", kVersion},
                   {"form", record.form},     {"session", record.session},
                   {"device", record.device}, {"saved", record.saved},
                   {"entries", std::move(entries)}};
  return json_text(document);
}

std::optional<ResponseRecord> response_record_parse(std::string_view text, std::string* error) {
  Json document = Json::parse(text, nullptr, false);
  if (document.is_discarded()) {
    fail(error, "the attachment is not JSON");
    return std::nullopt;
  }
  ResponseRecord record;
  if (!read_record(document, &record, error)) return std::nullopt;
  return record;
}

bool response_saved_text_valid(std::string_view text) {
  // "2026-12-08T05:37:52.123456Z"
  static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd.ddddddZ";
  if (text.size() != kShape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return false;
  }
  return true;
}

}  // namespace fwk
