#include "script/tag_attrs.hpp"

#include <algorithm>
#include <string>

#include "core/out.hpp"
#include "script/template.hpp"

namespace fwk {

namespace {

constexpr ByteSet kAttrDelims("=> \t\r\n");
constexpr ByteSet kValueDelims("> \t\r\n");
constexpr ByteSet kQuote("\"");

// Reads the value after "=": a double-quoted text, or the next byte and the
// text up to ">" or whitespace. Returns the delimiter that ended it.
int read_value(TemplateInput& in, std::string& value) {
  int c = input_getc(in);
  if (c == kInputEnd) return kInputEnd;
  if (c == '"') return file_read_token(in, &value, kTagAttrArea, kQuote);
  int delimiter = file_read_token(in, &value, kTagAttrArea - 1, kValueDelims);
  value.insert(value.begin(), static_cast<char>(c));
  return delimiter;
}

}  // namespace

ParamListPtr tag_read_attrs(TemplateInput& in, int capacity) {
  const int room = std::min(capacity <= 0 ? 16 : capacity, kTagAttrsMax);
  ParamListPtr attrs = plist_alloc(0);
  attrs->entries.reserve(static_cast<std::size_t>(room));
  Pair attr;
  attr.name.emplace();
  while (true) {
    // Whitespace delimits names, so a name never begins with it.
    int delimiter = file_read_token(in, &*attr.name, kTagAttrArea, kAttrDelims);
    if (!attr.name->empty()) {
      if (delimiter == '=') delimiter = read_value(in, attr.value.emplace());
      attrs->entries.push_back(std::move(attr));
      attr = Pair{};
      attr.name.emplace();
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
  std::string piece;
  for (const Pair& attr : attrs->entries) {
    if (!attr.name || attr.name->empty()) continue;
    piece.assign(1, ' ');
    piece += attr.name->c_str();
    if (!attr.value) {
      sink_write(sink, piece.data(), piece.size());
      continue;
    }
    piece += "=\"";
    sink_write(sink, piece.data(), piece.size());
    out_html(sink, attr.value->c_str());
    sink_write(sink, "\"", 1);
  }
}

}  // namespace fwk
