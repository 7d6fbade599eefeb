#include "collect/response_mail.hpp"

#include <gmime/gmime.h>

#include <memory>

namespace fwk {

namespace {

struct ObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GPtr = std::unique_ptr<T, ObjectUnref>;

std::string header_text(GMimeObject* object, const char* name) {
  const char* value = g_mime_object_get_header(object, name);
  return value != nullptr ? value : "";
}

// What the walk over the parts found: the attachments that look like a
// response record.
struct RecordParts {
  std::vector<GMimePart*> parts;
};

void collect_record_part(GMimeObject*, GMimeObject* part, gpointer data) {
  if (!GMIME_IS_PART(part)) return;
  GMimeContentType* type = g_mime_object_get_content_type(part);
  const char* name = g_mime_part_get_filename(GMIME_PART(part));
  if (type != nullptr && g_mime_content_type_is_type(type, "application", "json") &&
      name != nullptr && std::string_view(name) == kResponseFileName) {
    static_cast<RecordParts*>(data)->parts.push_back(GMIME_PART(part));
  }
}

// The decoded content of a part (its transfer encoding undone).
bool part_content(GMimePart* part, std::string* bytes) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (content == nullptr) return false;
  GPtr<GMimeStream> out(g_mime_stream_mem_new());
  if (g_mime_data_wrapper_write_to_stream(content, out.get()) < 0) return false;
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
  bytes->assign(reinterpret_cast<const char*>(array->data), array->len);
  return true;
}

ResponseMail damaged(ResponseMail mail, std::string problem) {
  mail.kind = MailKind::damaged;
  mail.problem = std::move(problem);
  return mail;
}

}  // namespace

void response_mail_start() {
  g_mime_init();
}

void response_mail_stop() {
  g_mime_shutdown();
}

ResponseMail response_mail_read(std::string_view bytes) {
  ResponseMail mail;
  GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
  GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
  if (!message) return mail;
  GMimeObject* top = GMIME_OBJECT(message.get());
  const char* id = g_mime_message_get_message_id(message.get());
  mail.message_id = id != nullptr ? id : "";
  const std::string form = header_text(top, kResponseFormHeader);
  if (form.empty()) return mail;
  const std::string session = header_text(top, kResponseSessionHeader);
  RecordParts found;
  g_mime_message_foreach(message.get(), collect_record_part, &found);
  if (found.parts.empty()) return damaged(mail, "the response record is missing");
  if (found.parts.size() > 1) return damaged(mail, "the mail holds more than one response record");
  std::string text;
  if (!part_content(found.parts.front(), &text))
    return damaged(mail, "the response record cannot be decoded");
  std::string error;
  std::optional<ResponseRecord> record = response_record_parse(text, &error);
  if (!record) return damaged(mail, error);
  if (record->form != form || record->session != session)
    return damaged(mail, "the response record names another form or session than the mail");
  mail.kind = MailKind::response;
  mail.record = std::move(*record);
  return mail;
}

}  // namespace fwk
