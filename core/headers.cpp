#include "core/headers.hpp"

#include <cstring>

#include "core/text_util.hpp"

namespace fwk {

namespace {

void write_text(OutputSink* sink, const char* text) {
  sink_write(sink, text, std::strlen(text));
}

}  // namespace

int write_headers(OutputSink* sink, const char* header_text) {
  if (!header_text || !*header_text) header_text = kDefaultHeaderText;
  bool redirect = text_compare_nocase_n(header_text, "Location:", 9) == 0;
  write_text(sink, redirect ? "HTTP/1.1 302 Found\r\n" : "HTTP/1.1 200 OK\r\n");
  write_text(sink, "client:close\r\nExpires: 0\r\nCache-control: no-cache\r\nPragma: no-cache\r\n");
  write_text(sink, header_text);
  return 1;
}

}  // namespace fwk
