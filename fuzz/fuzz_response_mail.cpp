// Fuzzes what the collector reads from a mailbox. The input is read as a
// whole mail (header fields, MIME structure, transfer encodings, the
// response record inside) and on its own as a response record's JSON. A
// record that is accepted must name a form and a session, carry a valid
// save time, and read back the same once written out again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "collect/response_mail.hpp"
#include "mail/response_record.hpp"

namespace {

void check_record(const fwk::ResponseRecord& record) {
  if (record.form.empty() || record.session.empty() ||
      !fwk::response_saved_text_valid(record.saved))
    std::abort();
  std::optional<fwk::ResponseRecord> again =
      fwk::response_record_parse(fwk::response_record_json(record), nullptr);
  if (!again || again->form != record.form || again->session != record.session ||
      again->device != record.device || again->saved != record.saved ||
      again->answers != record.answers)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fwk::response_mail_start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  fwk::ResponseMail mail = fwk::response_mail_read(bytes);
  if (mail.kind == fwk::MailKind::response) check_record(mail.record);
  if (mail.kind == fwk::MailKind::damaged && mail.problem.empty()) std::abort();
  if (std::optional<fwk::ResponseRecord> record = fwk::response_record_parse(bytes, nullptr))
    check_record(*record);
  return 0;
}
