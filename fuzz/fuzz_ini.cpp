// Fuzzes the configuration reader: the input is a section name (up to the
// first newline) followed by the file's bytes; the same bytes are also
// parsed as a name=value text with a separator taken from the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/ini.hpp"
#include "core/testing/test_lists.hpp"

namespace {

// One scratch file per process, removed at exit.
struct ScratchFile {
  std::filesystem::path path;
  ScratchFile() {
    std::random_device random;
    path = std::filesystem::temp_directory_path() / ("fwk-fuzz-ini-" + std::to_string(random()));
  }
  ~ScratchFile() {
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
};

void check_entries(const fwk::ParamList* list, size_t spare) {
  if (!list) return;
  if (fwk::test_list_slots(list) < spare) std::abort();
  for (size_t i = 0; const fwk::Pair* at = fwk::plist_at(list, i); ++i) {
    const fwk::Pair& p = *at;
    if (!p.name) break;
    if (i < spare) {
      if (!p.name->empty() || !p.value || !p.value->empty()) std::abort();
      continue;
    }
    if (p.name->empty() || p.name->find('\n') != std::string::npos || !p.value) std::abort();
    if (p.value->find('\n') != std::string::npos) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ScratchFile scratch;
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t newline = input.find('\n');
  std::string section = input.substr(0, newline == std::string::npos ? 0 : newline);
  std::string content = newline == std::string::npos ? input : input.substr(newline + 1);
  size_t spare = size > 0 ? data[0] % 3 : 0;

  {
    // A new file each time: truncating one in place may force a flush.
    std::error_code ec;
    std::filesystem::remove(scratch.path, ec);
    std::ofstream out(scratch.path, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
  }
  fwk::ParamListPtr list = fwk::ini_read_section(scratch.path.c_str(), section.c_str(), spare);
  check_entries(list.get(), spare);

  // The line-numbered reading sees the same entries, in order, on lines
  // that never go back.
  auto lines = fwk::ini_read_section_lines(scratch.path.c_str(), section.c_str());
  fwk::ParamListPtr plain = fwk::ini_read_section(scratch.path.c_str(), section.c_str(), 0);
  if (lines.has_value() != (plain != nullptr)) std::abort();
  if (lines) {
    size_t i = 0;
    int last_line = 1;
    for (const fwk::IniLine& entry : *lines) {
      const fwk::Pair* pair = fwk::plist_at(plain.get(), i++);
      if (!pair || !pair->name || *pair->name != entry.name || *pair->value != entry.value)
        std::abort();
      if (entry.line < last_line) std::abort();
      last_line = entry.line;
    }
    const fwk::Pair* after = fwk::plist_at(plain.get(), i);
    if (after && after->name) std::abort();
  }
  int last_header = 1;
  for (const fwk::IniLine& header : fwk::ini_section_names(scratch.path.c_str())) {
    if (header.line < last_header) std::abort();
    last_header = header.line;
  }

  char sep = size > 1 ? static_cast<char>(data[1]) : ',';
  fwk::ParamListPtr parsed = fwk::kv_parse_text(content.c_str(), sep, spare);
  if (sep == '\n') check_entries(parsed.get(), spare);
  return 0;
}
