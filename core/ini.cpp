#include "core/ini.hpp"

#include <cstdio>
#include <string>

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

// Finds the header "[section]" and leaves the file after its "]".
bool seek_section(std::FILE* file, const char* section, size_t area) {
  std::string name;
  for (;;) {
    int found = file_read_token(file, nullptr, 0, "[", '\r');
    if (found == 0 || found == -1) return false;
    int end = file_read_token(file, &name, area, "]\n", '\r');
    if (end == ']' && text_compare_nocase(name.c_str(), section) == 0) return true;
  }
}

}  // namespace

uint64_t file_size(const char* path) {
  FilePtr file = file_open(path, "rb");
  if (!file) return 0;
  long size = std::fseek(file.get(), 0, SEEK_END) == 0 ? std::ftell(file.get()) : 0;
  return size > 0 ? static_cast<uint64_t>(size) : 0;
}

ParamListPtr ini_read_section(const char* path, const char* section, size_t spare) {
  uint64_t size = file_size(path);
  if (size == 0 || !section) return nullptr;
  FilePtr file = file_open(path, "rt");
  if (!file) return nullptr;
  ParamListPtr list;
  if (seek_section(file.get(), section, static_cast<size_t>(size) + 1)) {
    std::string body = read_section_body(file.get(), static_cast<size_t>(size));
    text_remove_char(body, '\r');
    list = kv_parse_text(body.c_str(), '\n', spare);
  }
  return list;
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
  size_t used = spare;
  const char* p = text;
  auto line_end = [sep](const char* q) {
    while (*q && (sep == 0 || *q != sep)) ++q;
    return q;
  };
  while (*p && used < capacity) {
    while (sep && *p == sep) ++p;
    if (!*p) break;
    const char* end = line_end(p);
    if (starts_entry(*p)) {
      const char* name_end = p;
      while (name_end < end && *name_end != '=') ++name_end;
      Pair& entry = list->entries[used++];
      entry.name = text_dup_n(p, static_cast<size_t>(name_end - p));
      entry.value = name_end < end
                        ? text_dup_n(name_end + 1, static_cast<size_t>(end - name_end - 1))
                        : std::string();
    }
    p = end;
  }
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
