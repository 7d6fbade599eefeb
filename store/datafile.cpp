#include "store/datafile.hpp"

#include <cstring>
#include <string>

#include "core/file_token.hpp"
#include "core/limits.hpp"
#include "core/paths.hpp"
#include "platform/file_bytes.hpp"

namespace fwk {
namespace {

constexpr const char* kFieldDelimiters = "\t\n";

FilePtr open_for_reading(const char* path) {
  FilePtr file = file_open(path, "rb");
  if (file || std::strlen(path) > kFallbackPathLimit) return file;
  std::string with_extension = std::string(path) + ".asc";
  return file_open(with_extension.c_str(), "rb");
}

// Counts the fields of the header row; 0 when the row does not end with a
// line feed or holds a single empty field.
size_t count_header_columns(std::FILE* file) {
  std::string field;
  size_t columns = 0;
  for (;;) {
    int delimiter = file_read_token(file, &field, kHeaderFieldArea, kFieldDelimiters, '\r');
    if (delimiter == -1) return 0;
    ++columns;
    if (delimiter == '\n') return columns == 1 && field.empty() ? 0 : columns;
  }
}

void skip_rest_of_line(std::FILE* file) {
  int c;
  do {
    c = file_getc(file);
  } while (c != EOF && c != '\n');
}

}  // namespace

int datafile_open(const char* path, FilePtr* file_out, ParamListPtr* header_out, size_t spare) {
  if (file_out) file_out->reset();
  if (header_out) header_out->reset();
  if (!path) return 0;
  FilePtr file = open_for_reading(path);
  if (!file) return 0;
  ParamListPtr header = datafile_read_header(file.get(), spare);
  if (!header) return 0;
  if (file_out) *file_out = std::move(file);
  if (header_out) *header_out = std::move(header);
  return 1;
}

ParamListPtr datafile_read_header(std::FILE* file, size_t spare) {
  if (!file) return nullptr;
  size_t columns = count_header_columns(file);
  if (columns == 0) return nullptr;
  ParamListPtr header = plist_alloc(columns + spare);
  for (size_t i = columns; i < columns + spare; ++i) {
    Pair& slot = *plist_at(header.get(), i);
    slot.name.emplace();
    slot.value.emplace();
  }
  std::rewind(file);
  std::string field;
  for (size_t i = 0; i < columns; ++i) {
    file_read_token(file, &field, kHeaderFieldArea, kFieldDelimiters, '\r');
    plist_at(header.get(), i)->name = field.empty() || field[0] != '#' ? field : field.substr(1);
  }
  return header;
}

void datafile_unquote_into(const std::string& field, std::string& text) {
  text.clear();
  if (field == "\"\"") return;
  // The closing quote is left out of the walk: otherwise, for a value made
  // of quotes only, the walk would take it for the character after a
  // doubled quote and keep it.
  size_t end = field.size() >= 2 && field.back() == '"' ? field.size() - 1 : field.size();
  for (size_t i = 0; i < end; ++i) {
    if (field[i] == '"') {
      if (++i >= end) break;
    }
    text.push_back(field[i]);
  }
}

std::string datafile_unquote(const std::string& field) {
  std::string text;
  datafile_unquote_into(field, text);
  return text;
}

namespace {

// Reads the next field of a record line into `field` (at most
// kRecordFieldArea - 1 characters; carriage returns dropped). Returns the
// byte that ended it: TAB, a zero byte, LF, or EOF.
int read_record_field(std::FILE* file, std::string& field) {
  field.clear();
  for (;;) {
    int c = file_getc(file);
    if (c == '\t' || c == '\n' || c == 0 || c == EOF) return c;
    if (c == '\r') continue;
    if (field.size() < kRecordFieldArea - 1) field.push_back(static_cast<char>(c));
  }
}

// Stores a non-empty field as an entry's value, reusing the value's storage.
void store_field(Pair& entry, const std::string& field) {
  if (!entry.value) entry.value.emplace();
  if (field[0] == '"') {
    datafile_unquote_into(field, *entry.value);
  } else {
    entry.value->assign(field);
  }
}

}  // namespace

int datafile_read_record(std::FILE* file, ParamList* header, int* kind_out) {
  if (kind_out) *kind_out = kRecordPlain;
  if (!header) return 0;
  int kind = kRecordPlain;
  bool seen_value = false;
  bool line_ended = false;
  std::string field;
  field.reserve(256);
  // The columns are the header's first block (a block a caller appended
  // holds no column of the file). Every value there is replaced: the
  // entries after the line's end become absent. A value read reuses the
  // text buffer of the previous record's.
  plist_each_in_first_block(header, [&](Pair& entry) {
    if (line_ended) {
      entry.value.reset();
      return;
    }
    int delimiter = read_record_field(file, field);
    if (!seen_value) {
      kind = field.empty() ? kRecordEmpty : field[0] == '#' ? kRecordMarked : kRecordPlain;
    }
    if (field.empty()) {
      entry.value.reset();
    } else {
      seen_value = true;
      store_field(entry, field);
    }
    line_ended = delimiter == '\n' || delimiter == EOF;
  });
  if (!line_ended) skip_rest_of_line(file);
  if (kind_out) *kind_out = kind;
  return seen_value ? 1 : 0;
}

long datafile_skip_lines(std::FILE* file, long n) {
  if (n <= 0 || !file) return 0;
  long passed = 0;
  for (;;) {
    int c = file_getc(file);
    if (c == EOF) return 0;
    if (c == '\n' && ++passed == n) return n;
  }
}

long datafile_seek_row(std::FILE* file, long n) {
  if (!file) return 0;
  if (n < 0) {
    std::rewind(file);
    return datafile_skip_lines(file, 1);
  }
  return datafile_skip_lines(file, n);
}

}  // namespace fwk
