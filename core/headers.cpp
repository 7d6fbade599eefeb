#include "core/headers.hpp"

#include <cstring>
#include <string_view>

#include "core/text_util.hpp"

namespace fwk {

namespace {

void write_text(OutputSink* sink, std::string_view text) {
  sink_write(sink, text.data(), text.size());
}

// Where the blank line that ends a header text begins (a line that is
// empty, ended by LF or CR LF); npos when the text has none.
size_t blank_line_at(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    if (text[at] == '\n' || text.substr(at, 2) == "\r\n") return at;
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) return std::string_view::npos;
    at = end + 1;
  }
  return std::string_view::npos;
}

}  // namespace

void write_status_headers(OutputSink* sink, const char* status_line, const char* header_text) {
  write_text(sink, status_line);
  write_text(sink, "client:close\r\nExpires: 0\r\nCache-control: no-cache\r\nPragma: no-cache\r\n");
  std::string_view text = header_text;
  size_t blank = blank_line_at(text);
  if (blank == std::string_view::npos) {
    write_text(sink, text);  // not a header block of its own: left as it is
    return;
  }
  write_text(sink, text.substr(0, blank));
  write_text(sink, kProtectionHeaders);
  write_text(sink, text.substr(blank));
}

int write_headers(OutputSink* sink, const char* header_text) {
  if (!header_text || !*header_text) header_text = kDefaultHeaderText;
  bool redirect = text_compare_nocase_n(header_text, "Location:", 9) == 0;
  write_status_headers(sink, redirect ? kFoundStatus : kOkStatus, header_text);
  return 1;
}

}  // namespace fwk
