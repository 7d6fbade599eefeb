// Fuzzes the data-file reader: the input is a data file (header row and
// records). Every record read is written again as a record line under the
// same header and read back, which must give the same values (TABs as
// spaces, line breaks left out): writing and reading agree on every column.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "core/plist.hpp"
#include "core/testing/test_lists.hpp"
#include "store/datafile.hpp"
#include "store/datafile_append.hpp"

namespace {

fwk::FilePtr file_with(const char* bytes, size_t size) {
  fwk::FilePtr file(std::tmpfile());
  if (!file.get()) std::abort();
  if (size > 0 && std::fwrite(bytes, 1, size, file.get()) != size) std::abort();
  std::rewind(file.get());
  return file;
}

std::string written_form(const std::optional<std::string>& value) {
  std::string text;
  if (!value) return text;
  for (char c : *value) {
    if (c == '\r' || c == '\n') continue;
    text.push_back(c == '\t' ? ' ' : c);
  }
  return text;
}

bool name_is_repeated(const fwk::ParamList& header, size_t index) {
  const std::string& name = *fwk::plist_at(&header, index)->name;
  for (size_t i = 0; const fwk::Pair* other = fwk::plist_at(&header, i); ++i) {
    if (i != index && fwk::text_compare_nocase(other->name->c_str(), name.c_str()) == 0)
      return true;
  }
  return false;
}

void check_round_trip(const fwk::ParamList& record, const std::string& header_row) {
  std::string text = header_row + fwk::datafile_record_line(record, &record);
  fwk::FilePtr file = file_with(text.data(), text.size());
  fwk::ParamListPtr again = fwk::datafile_read_header(file.get(), 0);
  size_t columns = fwk::test_list_slots(&record);
  if (!again || fwk::test_list_slots(again.get()) != columns) std::abort();
  fwk::datafile_read_record(file.get(), again.get(), nullptr);
  for (size_t i = 0; i < columns; ++i) {
    const fwk::Pair& written = *fwk::plist_at(&record, i);
    if (written.name->empty() || name_is_repeated(record, i)) continue;
    if (fwk::plist_at(again.get(), i)->value.value_or("") != written_form(written.value)) {
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  fwk::FilePtr file = file_with(bytes, size);
  fwk::ParamListPtr header = fwk::datafile_read_header(file.get(), 0);
  if (header) {
    std::string header_row(bytes, static_cast<size_t>(std::ftell(file.get())));
    for (int i = 0; i < 64 && !std::feof(file.get()); ++i) {
      int kind = -1;
      int found = fwk::datafile_read_record(file.get(), header.get(), &kind);
      if (found ? (kind != 0 && kind != 1) : kind != 2) std::abort();
      if (found) check_round_trip(*header, header_row);
    }
  }
  return 0;
}
