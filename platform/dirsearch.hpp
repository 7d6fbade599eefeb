// Directory search: the files of a directory whose names match a pattern.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fwk {

// True when `pattern` matches the whole `name`: "*" stands for any run of
// characters, "?" for one character, everything else for itself ignoring
// ASCII case (as the device's search does: "*.ini" finds "SALES.INI").
bool name_matches_pattern(const char* name, const char* pattern);

// Names (without directory) of the files in `directory` that match `pattern`,
// in byte order of their names. Directories are not listed. Empty when the
// directory cannot be read.
std::vector<std::string> dir_search(const std::string& directory, const char* pattern);

// True when `path` names a directory.
bool directory_exists(const std::string& path);

// True when `path` names a directory whose entries this process may list.
bool directory_readable(const std::string& path);

// The modification time of what `path` names, in nanoseconds; false when
// it cannot be found.
bool path_modified_ns(const std::string& path, int64_t* stamp);

// Directory of the running program, ending in "/" ("" when unknown).
std::string program_directory();

// The process's current directory, as the system names it (no "/" added);
// "" when it cannot be named (removed, or not reachable).
std::string current_directory();

}  // namespace fwk
