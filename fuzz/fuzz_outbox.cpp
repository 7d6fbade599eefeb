// Fuzzes the outbox reader: the input is an outbox file. Every record must
// make progress and stay inside the bytes; a readable record must read the
// same on its own; an unreadable one must end at a well-formed head or at
// the end. The message of a readable record, prepared for DATA, must not
// contain the end-of-data mark anywhere but at its end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mail/smtp_client.hpp"
#include "mail/outbox_record.hpp"

namespace {

void check_readable(std::string_view bytes, const fwk::OutboxRecord& record) {
  if (record.host.empty() || record.port < 1 || record.port > 65535) std::abort();
  fwk::OutboxRecord alone =
      fwk::outbox_read_record(bytes.substr(record.begin, record.end - record.begin), 0);
  if (alone.fault != 0 || alone.end != record.end - record.begin || alone.host != record.host ||
      alone.port != record.port || alone.commands != record.commands ||
      alone.message != record.message) {
    std::abort();
  }
  std::string data = fwk::smtp_data_text(record.message);
  size_t mark = data.find("\r\n.\r\n");
  if (data.rfind("\r\n.\r\n") != data.size() - 5) std::abort();
  if (mark != data.size() - 5 && !(mark == 0 && data.size() == 5)) std::abort();
  if (data.starts_with(".\r\n")) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  size_t at = 0;
  while (at < bytes.size()) {
    fwk::OutboxRecord record = fwk::outbox_read_record(bytes, at);
    if (record.begin != at || record.end <= at || record.end > bytes.size()) std::abort();
    if (record.fault == 0) {
      check_readable(bytes, record);
    } else if (record.end != bytes.size() && !fwk::outbox_head_at(bytes, record.end)) {
      std::abort();
    }
    at = record.end;
  }
  return 0;
}
