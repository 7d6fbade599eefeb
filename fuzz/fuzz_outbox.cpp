// Fuzzes the outbox reader and the relay addresses. The input is an outbox
// file: every record must make progress and stay inside the bytes; a
// readable record must read the same on its own; damage must end at a
// record that can be trusted or at the end. The message of a readable
// record, prepared for DATA, must keep every line within the limit (once a
// leading dot is doubled) and end in CR LF. Each line of the input is also
// read as a relay address, which must read back the same once written out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mail/outbox_record.hpp"
#include "mail/relay_address.hpp"
#include "mail/smtp_transport.hpp"

namespace {

void check_data_text(const std::string& message) {
  std::string data = fwk::smtp_data_text(message);
  if (!data.ends_with("\r\n")) std::abort();
  size_t at = 0;
  while (at < data.size()) {
    size_t end = data.find("\r\n", at);
    if (end == std::string::npos) std::abort();
    std::string_view line(data.data() + at, end - at);
    if (line.find_first_of("\r\n") != std::string_view::npos) std::abort();
    size_t sent = line.size() + (line.starts_with(".") ? 1 : 0);
    if (sent > fwk::kSmtpLineLimit) std::abort();
    at = end + 2;
  }
}

void check_readable(std::string_view bytes, const fwk::OutboxRecord& record) {
  if (record.relay.host.empty() || record.relay.port < 1 || record.relay.port > 65535) {
    std::abort();
  }
  fwk::OutboxRecord alone =
      fwk::outbox_read_record(bytes.substr(record.begin, record.end - record.begin), 0);
  if (alone.fault != fwk::RecordFault::none || alone.end != record.end - record.begin ||
      alone.key != record.key || alone.commands != record.commands ||
      alone.message != record.message || alone.user != record.user) {
    std::abort();
  }
  check_data_text(record.message);
}

void check_relay(std::string_view line) {
  std::optional<fwk::RelayAddress> relay = fwk::relay_parse(line);
  if (!relay) return;
  std::string text = fwk::relay_text(*relay);
  std::optional<fwk::RelayAddress> again = fwk::relay_parse(text);
  if (!again || fwk::relay_text(*again) != text || again->host != relay->host ||
      again->port != relay->port || again->security != relay->security) {
    std::abort();
  }
  // Nothing that could end the open line or change the URL libcurl is given.
  size_t scheme = text.find("://");
  std::string_view address(text);
  if (scheme != std::string::npos) address.remove_prefix(scheme + 3);
  if (address.find_first_of("\r\n /@?#") != std::string_view::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  size_t at = 0;
  while (at < bytes.size()) {
    fwk::OutboxRecord record = fwk::outbox_read_record(bytes, at);
    if (record.begin != at || record.end <= at || record.end > bytes.size()) std::abort();
    if (record.fault == fwk::RecordFault::none) {
      check_readable(bytes, record);
    } else if (record.end != bytes.size() &&
               fwk::outbox_read_record(bytes, record.end).fault != fwk::RecordFault::none) {
      std::abort();
    }
    at = record.end;
  }
  for (size_t start = 0; start <= bytes.size();) {
    size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    check_relay(bytes.substr(start, end - start));
    start = end + 1;
  }
  return 0;
}
