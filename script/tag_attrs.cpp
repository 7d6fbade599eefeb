#include "script/tag_attrs.hpp"

#include <algorithm>
#include <string>

#include "core/out.hpp"
#include "script/expr_scan.hpp"
#include "script/template.hpp"

namespace fwk {

namespace {

constexpr const char* kAttrDelims = "=> \t\r\n";
constexpr const char* kValueDelims = "> \t\r\n";

// Reads the value after "=": a double-quoted text, or the next byte and the
// text up to ">" or whitespace. Returns the delimiter that ended it.
int read_value(TemplateInput& in, std::string& value) {
  int c = input_getc(in);
  if (c == kInputEnd) return kInputEnd;
  if (c == '"') return file_read_token(in, &value, kTagAttrArea, "\"", 0);
  std::string more;
  int delimiter = file_read_token(in, &more, kTagAttrArea - 1, kValueDelims, 0);
  value.assign(1, static_cast<char>(c));
  value += more;
  return delimiter;
}

}  // namespace

ParamListPtr tag_read_attrs(TemplateInput& in, int capacity) {
  const int room = std::min(capacity <= 0 ? 16 : capacity, kTagAttrsMax);
  ParamListPtr attrs = plist_alloc(0);
  attrs->entries.reserve(static_cast<std::size_t>(room));
  std::string token;
  while (true) {
    int delimiter = file_read_token(in, &token, kTagAttrArea, kAttrDelims, 0);
    std::size_t lead = 0;
    while (lead < token.size() && scan_is_space(static_cast<unsigned char>(token[lead]))) ++lead;
    if (lead < token.size()) {
      Pair attr;
      attr.name = token.substr(lead);
      if (delimiter == '=') {
        std::string value;
        delimiter = read_value(in, value);
        attr.value = std::move(value);
      }
      attrs->entries.push_back(std::move(attr));
      if (static_cast<int>(attrs->entries.size()) >= room) {
        if (delimiter != '>' && delimiter != kInputEnd) file_read_until(in, nullptr, 0, ">");
        break;
      }
    }
    if (delimiter == '>' || delimiter == kInputEnd) break;
  }
  return attrs;
}

void attrs_write(OutputSink* sink, const ParamList* attrs) {
  if (!sink || !attrs) return;
  for (const Pair& attr : attrs->entries) {
    if (!attr.name || attr.name->empty()) continue;
    out_text(sink, " ");
    out_text(sink, attr.name->c_str());
    if (attr.value) {
      out_text(sink, "=\"");
      out_html(sink, attr.value->c_str());
      out_text(sink, "\"");
    }
  }
}

}  // namespace fwk
