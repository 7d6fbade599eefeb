#include "template/tag_attrs.hpp"

#include <algorithm>
#include <string>

#include "core/out.hpp"
#include "template/template.hpp"
#include "template/template_scan.hpp"

namespace fwk {

namespace {

constexpr ByteSet kAttrDelims("=> \t\r\n");
constexpr ByteSet kValueDelims("> \t\r\n");
constexpr ByteSet kQuote("\"");

// Reads the value after "=": a double-quoted text, or the next byte and the
// text up to ">" or whitespace. Returns the delimiter that ended it. An
// "=" right before the tag's ">" (value=>) gives an empty value and ends
// the tag, instead of reading on into the text after it.
int read_value(TextInput& in, std::string& value) {
  int c = input_getc(in);
  if (c == kInputEnd || c == '>') {
    value.clear();
    return c;
  }
  if (c == '"') return input_read_token(in, &value, kTagAttrArea, kQuote);
  int delimiter = input_read_token(in, &value, kTagAttrArea - 1, kValueDelims);
  value.insert(value.begin(), static_cast<char>(c));
  return delimiter;
}

// The entry at `index`, made when the list has none there yet; its name
// is present.
Pair& slot_at(ParamList& attrs, std::size_t index) {
  if (!plist_at(&attrs, index)) plist_resize(attrs, index + 1);
  Pair& attr = *plist_at(&attrs, index);
  if (!attr.name) attr.name.emplace();
  return attr;
}

}  // namespace

void tag_read_attrs_into(TextInput& in, int capacity, ParamList& attrs) {
  const std::size_t room =
      static_cast<std::size_t>(std::min(capacity <= 0 ? 16 : capacity, kTagAttrsMax));
  std::size_t count = 0;
  while (true) {
    Pair& attr = slot_at(attrs, count);
    // Whitespace delimits names, so a name never begins with it.
    int delimiter = input_read_token(in, &*attr.name, kTagAttrArea, kAttrDelims);
    if (!attr.name->empty()) {
      if (delimiter == '=') {
        if (!attr.value) attr.value.emplace();
        delimiter = read_value(in, *attr.value);
      } else {
        attr.value.reset();
      }
      ++count;
      if (count >= room) {
        if (delimiter != '>' && delimiter != kInputEnd) input_read_until(in, nullptr, 0, ">");
        break;
      }
    }
    if (delimiter == '>' || delimiter == kInputEnd) break;
  }
  plist_resize(attrs, count);
}

ParamListPtr tag_read_attrs(TextInput& in, int capacity) {
  ParamListPtr attrs = plist_alloc(0);
  tag_read_attrs_into(in, capacity, *attrs);
  return attrs;
}

void attrs_append(std::string& out, const ParamList* attrs) {
  plist_each(attrs, [&](const Pair& attr) {
    if (attr.name->empty()) return;
    out.push_back(' ');
    out.append(attr.name->c_str());
    if (!attr.value) return;
    out.append("=\"");
    html_append(out, attr.value->c_str());
    out.push_back('"');
  });
}

void attrs_write(OutputSink* sink, const ParamList* attrs) {
  if (!sink || !attrs) return;
  std::string out;
  attrs_append(out, attrs);
  sink_write(sink, out.data(), out.size());
}

}  // namespace fwk
