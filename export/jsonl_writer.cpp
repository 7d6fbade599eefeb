// JSON Lines: one object per record, every value a string, the columns that
// share a name gathered into an array.
#include <cstdio>

#include "core/plist.hpp"
#include "core/text_convert.hpp"
#include "export/export_writers.hpp"

namespace fwk {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// One name of the objects and the columns whose values it carries.
struct JsonMember {
  std::string key;  // the name as a JSON string, with its ":"
  std::vector<size_t> columns;
};

std::vector<JsonMember> plan_members(const std::vector<std::string>& names) {
  std::vector<JsonMember> members;
  std::vector<const std::string*> spellings;
  for (size_t column = 0; column < names.size(); ++column) {
    size_t m = 0;
    while (m < members.size() && text_compare_nocase(spellings[m]->c_str(), names[column].c_str()))
      ++m;
    if (m == members.size()) {
      members.emplace_back();
      json_append_string(members.back().key, names[column]);
      members.back().key.push_back(':');
      spellings.push_back(&names[column]);
    }
    members[m].columns.push_back(column);
  }
  return members;
}

bool plain_ascii(unsigned char c) {
  return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
}

void append_escape(std::string& out, unsigned char c) {
  switch (c) {
    case '"':
      out.append("\\\"");
      return;
    case '\\':
      out.append("\\\\");
      return;
    case '\n':
      out.append("\\n");
      return;
    case '\r':
      out.append("\\r");
      return;
    case '\t':
      out.append("\\t");
      return;
    default:
      char code[8];
      std::snprintf(code, sizeof code, "\\u%04x", c);
      out.append(code);
  }
}

}  // namespace

void json_append_string(std::string& out, std::string_view value) {
  out.push_back('"');
  const auto* bytes = reinterpret_cast<const unsigned char*>(value.data());
  size_t n = value.size();
  size_t i = 0;
  while (i < n) {
    size_t run = i;
    while (run < n && plain_ascii(bytes[run])) ++run;
    out.append(value.data() + i, run - i);
    i = run;
    if (i == n) break;
    if (bytes[i] < 0x80) {
      append_escape(out, bytes[i]);
      ++i;
      continue;
    }
    char32_t cp = 0;
    size_t length = utf8_decode(bytes + i, n - i, &cp);
    if (length == 0) {
      out.append(kReplacement);
      ++i;
    } else {
      out.append(value.data() + i, length);
      i += length;
    }
  }
  out.push_back('"');
}

ExportResult write_jsonl(RecordSource& source, const ExportOptions& options, ExportOutput& out) {
  std::vector<JsonMember> members = plan_members(source.names);
  auto append_object = [&members](std::string& text, const std::vector<std::string_view>& values) {
    text.push_back('{');
    for (size_t m = 0; m < members.size(); ++m) {
      if (m > 0) text.push_back(',');
      const JsonMember& member = members[m];
      text.append(member.key);
      if (member.columns.size() == 1) {
        json_append_string(text, values[member.columns[0]]);
        continue;
      }
      text.push_back('[');
      for (size_t k = 0; k < member.columns.size(); ++k) {
        if (k > 0) text.push_back(',');
        json_append_string(text, values[member.columns[k]]);
      }
      text.push_back(']');
    }
    text.append("}\n");
  };
  return write_text_rows(source, options, out, append_object);
}

}  // namespace fwk
