// Configuration files: named sections of name=value lines, and the same
// line parser for other name=value texts. Nothing here writes files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/plist.hpp"

namespace fwk {

// Size of a file in bytes; 0 when it cannot be opened (or is a directory).
uint64_t file_size(const char* path);

// Reads the first section named `section` (any case) of a configuration
// file into a new list: `spare` free slots (name and value ""), then the
// section's entries in file order. nullptr when the file is missing, empty
// or has no such section, or the section's body is empty.
ParamListPtr ini_read_section(const char* path, const char* section, size_t spare);

// One entry of a configuration file and the line it stands on (the file's
// first line is 1). For a section name: the line of its "[".
struct IniLine {
  std::string name;
  std::string value;
  int line = 0;
};

// The entries ini_read_section reads for `section`, in the same order,
// each with its line; nullopt exactly when ini_read_section gives nullptr.
std::optional<std::vector<IniLine>> ini_read_section_lines(const char* path, const char* section);

// Every "[name]" that ini_read_section takes as a candidate section header,
// in file order, with its line (value "").
std::vector<IniLine> ini_section_names(const char* path);

// Parses a text of name=value items separated by `sep` into a new list
// (`spare` free slots first). Items whose first character is not an ASCII
// letter, digit or "_" are skipped; an item without "=" has the value "".
// nullptr for an absent text, or an empty text with no spare slots.
ParamListPtr kv_parse_text(const char* text, char sep, size_t spare);

// Parses n texts of the form name=value (no character test) into a new list
// (`spare` free slots first). nullptr when n + spare is 0.
ParamListPtr kv_parse_array(size_t n, const char* const* texts, size_t spare);

}  // namespace fwk
