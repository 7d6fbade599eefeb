#include "store/xml_transaction.hpp"

#include <cstdint>
#include <cstdlib>
#include <optional>

#include "core/text_convert.hpp"
#include "platform/durable_file.hpp"

namespace fwk {
namespace {

bool in_range(uint32_t c, uint32_t low, uint32_t high) {
  return c >= low && c <= high;
}

bool is_name_start(uint32_t c) {
  return in_range(c, 'A', 'Z') || in_range(c, 'a', 'z') || c == '_' || in_range(c, 0xC0, 0xD6) ||
         in_range(c, 0xD8, 0xF6) || in_range(c, 0xF8, 0x2FF) || in_range(c, 0x370, 0x37D) ||
         in_range(c, 0x37F, 0x1FFF) || in_range(c, 0x200C, 0x200D) || in_range(c, 0x2070, 0x218F) ||
         in_range(c, 0x2C00, 0x2FEF) || in_range(c, 0x3001, 0xD7FF) ||
         in_range(c, 0xF900, 0xFDCF) || in_range(c, 0xFDF0, 0xFFFD) ||
         in_range(c, 0x10000, 0xEFFFF);
}

bool is_name_char(uint32_t c) {
  return is_name_start(c) || c == '-' || c == '.' || in_range(c, '0', '9') || c == 0xB7 ||
         in_range(c, 0x300, 0x36F) || in_range(c, 0x203F, 0x2040);
}

// Decodes one UTF-8 character at text[i], advancing i; nullopt for a
// malformed, overlong or surrogate sequence.
std::optional<uint32_t> next_utf8(const std::string& text, size_t& i) {
  char32_t c;
  size_t length =
      utf8_decode(reinterpret_cast<const unsigned char*>(text.data()) + i, text.size() - i, &c);
  if (length == 0) return std::nullopt;
  i += length;
  return static_cast<uint32_t>(c);
}

// A name of the form group_N_field.
struct GroupedName {
  std::string group;
  int id = 0;
  std::string field;
};

int read_group_id(const char* digits) {
  long value = std::strtol(digits, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  return static_cast<int>(value);
}

std::optional<GroupedName> split_grouped(const std::string& name) {
  size_t first = name.find('_');
  if (first == std::string::npos || first + 1 >= name.size()) return std::nullopt;
  char after = name[first + 1];
  if (after < '0' || after > '9') return std::nullopt;
  size_t second = name.find('_', first + 2);
  if (second == std::string::npos) return std::nullopt;
  return GroupedName{name.substr(0, first), read_group_id(name.c_str() + first + 1),
                     name.substr(second + 1)};
}

// Element text: markup characters escaped; control characters that XML
// does not allow are left out.
void append_escaped(std::string& out, const std::string& value) {
  for (char ch : value) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
        out.push_back(ch);
    }
  }
}

void append_element(std::string& out, const std::string& name,
                    const std::optional<std::string>& value) {
  out += '<';
  out += name;
  out += '>';
  if (value) append_escaped(out, *value);
  out += "</";
  out += name;
  out += ">\n";
}

struct OpenGroup {
  std::string name;
  int id = 0;
};

void close_group(std::string& out, std::optional<OpenGroup>& open) {
  if (!open) return;
  out += "</" + open->name + ">\n";
  open.reset();
}

}  // namespace

bool xml_is_element_name(const std::string& name) {
  if (name.empty()) return false;
  size_t i = 0;
  bool first = true;
  while (i < name.size()) {
    std::optional<uint32_t> c = next_utf8(name, i);
    if (!c) return false;
    if (first ? !is_name_start(*c) : !is_name_char(*c)) return false;
    first = false;
  }
  return true;
}

std::string xml_transaction_text(const ParamList* record) {
  std::string out = "<TRANSACTION>";
  std::optional<OpenGroup> open;
  // The transaction holds the record's first block, as its copies do.
  plist_each_in_first_block(record, [&](const Pair& entry) {
    const std::string& name = *entry.name;
    if (name.empty() || name[0] == '_') return;
    std::optional<GroupedName> grouped = split_grouped(name);
    if (!grouped) {
      if (!xml_is_element_name(name)) return;
      close_group(out, open);
      append_element(out, name, entry.value);
      return;
    }
    if (!xml_is_element_name(grouped->group) || !xml_is_element_name(grouped->field)) return;
    bool same_group = open && open->id == grouped->id &&
                      text_compare_nocase(open->name.c_str(), grouped->group.c_str()) == 0;
    if (!same_group) {
      close_group(out, open);
      open = OpenGroup{grouped->group, grouped->id};
      out += "<" + open->name + " id=\"" + std::to_string(open->id) + "\">\n";
    }
    append_element(out, grouped->field, entry.value);
  });
  close_group(out, open);
  out += "</TRANSACTION>\n";
  return out;
}

StoreResult xml_append_transaction(const ParamList* record, const char* path) {
  std::string text = xml_transaction_text(record);
  return durable_append(path, text.data(), text.size()) == DurableResult::ok
             ? StoreResult::ok
             : StoreResult::not_writable;
}

}  // namespace fwk
