#include "core/ini.hpp"

#include <cstdio>
#include <string>

#include "core/connection.hpp"
#include "core/file_token.hpp"
#include "core/paths.hpp"
#include "core/text_util.hpp"

namespace fwk {

namespace {

bool starts_entry(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

void fill_free_slots(ParamList& list, size_t spare) {
  for (size_t i = 0; i < spare; ++i) {
    list.entries[i].name = std::string();
    list.entries[i].value = std::string();
  }
}

// Reads the rest of a section's body: everything up to the first newline
// that is directly followed by "[" (both consumed, not stored) or the end of
// the file. Keeps at most `limit` characters.
std::string read_section_body(std::FILE* file, size_t limit) {
  std::string body;
  bool after_newline = false;
  for (int c; (c = std::fgetc(file)) != EOF;) {
    if (after_newline && c == '[') {
      body.pop_back();  // the newline belongs to the marker
      break;
    }
    after_newline = c == '\n';
    if (body.size() < limit) {
      body.push_back(static_cast<char>(c));
    } else {
      after_newline = false;  // nothing more is kept; the marker cannot be cut off
    }
  }
  return body;
}

// Reads on to the next candidate header "[name]" and leaves the file after
// its "]"; `open_at` (may be null) receives the offset of its "[". False at
// the end of the file (or a zero byte before a "[").
bool next_header(std::FILE* file, std::string& name, size_t area, long* open_at = nullptr) {
  for (;;) {
    int found = file_read_token(file, nullptr, 0, "[", '\r');
    if (found == 0 || found == -1) return false;
    if (open_at) *open_at = std::ftell(file) - 1;
    if (file_read_token(file, &name, area, "]\n", '\r') == ']') return true;
  }
}

// Finds the header "[section]" and leaves the file after its "]".
bool seek_section(std::FILE* file, const char* section, size_t area) {
  std::string name;
  while (next_header(file, name, area)) {
    if (text_compare_nocase(name.c_str(), section) == 0) return true;
  }
  return false;
}

// Calls item(name, value, offset) for each entry of a name=value text, with
// the offset of the entry's first character: the walk kv_parse_text makes.
template <class Item>
void kv_each(const char* text, char sep, Item&& item) {
  const char* p = text;
  auto line_end = [sep](const char* q) {
    while (*q && (sep == 0 || *q != sep)) ++q;
    return q;
  };
  while (*p) {
    while (sep && *p == sep) ++p;
    if (!*p) break;
    const char* end = line_end(p);
    if (starts_entry(*p)) {
      const char* name_end = p;
      while (name_end < end && *name_end != '=') ++name_end;
      std::string value = name_end < end
                              ? text_dup_n(name_end + 1, static_cast<size_t>(end - name_end - 1))
                              : std::string();
      item(text_dup_n(p, static_cast<size_t>(name_end - p)), std::move(value),
           static_cast<size_t>(p - text));
    }
    p = end;
  }
}

// The line (from 1) of the file's byte at `offset`.
int line_at(std::FILE* file, long offset) {
  int line = 1;
  if (std::fseek(file, 0, SEEK_SET) != 0) return line;
  for (long i = 0; i < offset; ++i) {
    int c = std::fgetc(file);
    if (c == EOF) break;
    if (c == '\n') ++line;
  }
  return line;
}

// The body of the first section named `section`, with its carriage
// returns removed, and the line its first character stands on. False when
// the file or the section is missing.
bool read_section(const char* path, const char* section, std::string& body, int* line) {
  uint64_t size = file_size(path);
  if (size == 0 || !section) return false;
  FilePtr file(file_open(path, "rt"));
  if (!file) return false;
  if (!seek_section(file.get(), section, static_cast<size_t>(size) + 1)) return false;
  const long start = std::ftell(file.get());
  body = read_section_body(file.get(), static_cast<size_t>(size));
  text_remove_char(body, '\r');
  if (line) *line = line_at(file.get(), start);
  return true;
}

}  // namespace

uint64_t file_size(const char* path) {
  std::FILE* file = file_open(path, "rb");
  if (!file) return 0;
  long size = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : 0;
  std::fclose(file);
  return size > 0 ? static_cast<uint64_t>(size) : 0;
}

ParamListPtr ini_read_section(const char* path, const char* section, size_t spare) {
  std::string body;
  if (!read_section(path, section, body, nullptr)) return nullptr;
  return kv_parse_text(body.c_str(), '\n', spare);
}

std::optional<std::vector<IniLine>> ini_read_section_lines(const char* path, const char* section) {
  std::string body;
  int first_line = 1;
  // An empty body (the entries end at a zero byte) reads as no section at
  // all, as ini_read_section has it.
  if (!read_section(path, section, body, &first_line) || body.c_str()[0] == '\0')
    return std::nullopt;
  std::vector<IniLine> lines;
  size_t counted = 0;
  int line = first_line;
  kv_each(body.c_str(), '\n', [&](std::string name, std::string value, size_t offset) {
    for (; counted < offset; ++counted) line += body[counted] == '\n';
    lines.push_back({std::move(name), std::move(value), line});
  });
  return lines;
}

std::vector<IniLine> ini_section_names(const char* path) {
  std::vector<IniLine> names;
  uint64_t size = file_size(path);
  FilePtr file(size > 0 ? file_open(path, "rt") : nullptr);
  if (!file) return names;
  std::string name;
  long open_at = 0;
  while (next_header(file.get(), name, static_cast<size_t>(size) + 1, &open_at)) {
    const long after = std::ftell(file.get());
    names.push_back({name, std::string(), line_at(file.get(), open_at)});
    std::fseek(file.get(), after, SEEK_SET);
  }
  return names;
}

ParamListPtr kv_parse_text(const char* text, char sep, size_t spare) {
  if (!text) return nullptr;
  size_t capacity = spare;
  if (*text) {
    ++capacity;
    if (sep) {
      for (const char* p = text + 1; *p; ++p) capacity += *p == sep;
    }
  }
  if (capacity == 0) return nullptr;
  ParamListPtr list = plist_alloc(capacity);
  fill_free_slots(*list, spare);
  // Every entry starts a line of its own, so the lines counted above are
  // room enough.
  size_t used = spare;
  kv_each(text, sep, [&](std::string name, std::string value, size_t) {
    Pair& entry = list->entries[used++];
    entry.name = std::move(name);
    entry.value = std::move(value);
  });
  return list;
}

ParamListPtr kv_parse_array(size_t n, const char* const* texts, size_t spare) {
  if (n + spare == 0) return nullptr;
  ParamListPtr list = plist_alloc(n + spare);
  fill_free_slots(*list, spare);
  for (size_t i = 0; i < n; ++i) {
    std::string text = texts && texts[i] ? texts[i] : "";
    size_t eq = text.find('=');
    Pair& entry = list->entries[spare + i];
    entry.name = text.substr(0, eq);
    entry.value = eq == std::string::npos ? std::string() : text.substr(eq + 1);
  }
  return list;
}

}  // namespace fwk
