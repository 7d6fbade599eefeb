// Files of the server root that the file server never sends: the server's
// and the forms' configuration, page scripts, the answers and everything
// the forms engine keeps. A request for one is answered as for a missing
// file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fwk {

// What the forms of a root keep private, read from their configuration
// files and kept between requests. It is read again when the root
// directory changes (a form added, removed or rewritten by renaming) and
// at least every kPrivateRecheckMs, so a form added while the server runs
// is covered at once and a configuration edited in place within a second.
// Used by the server thread only.
struct PrivateFiles {
  std::string root;  // the server root, ending in "/"
  bool read = false;
  int64_t root_stamp = 0;   // modification time of the root when read (ns)
  uint32_t read_at_ms = 0;  // tick count when read
  // Folded (lower-case) names of the forms: their page directories.
  std::vector<std::string> forms;
  // Folded, normalised full paths of the files the forms name.
  std::vector<std::string> named_files;
};

constexpr uint32_t kPrivateRecheckMs = 1000;

// True when the name alone makes a file private (letter case ignored):
// configuration (".ini"), page scripts (".val"), data files (".asc"),
// response counters (".respcount"), the outbox ("outbox.fwk",
// "outbox.bak", "outbox.bad", "outbox.journal", "outbox.lock") and every
// temporary file made while a file is replaced (platform/durable_file.hpp).
// `path` is relative to the root, with "/" or
// "\" between its parts.
bool name_is_private(const char* path);

// True when `path` (relative to the root, inside it) must not be served:
// its name is private, it lies inside a form's page directory (a directory
// of the root named like a form's ".ini" file, any case), or it is a file
// that a form's section "DATABASE" names as SAVEDATANAME, SAVEINDEXNAME,
// SAVEXMLNAME or PWDFILE (compared by their normalised paths, ignoring
// case). Refreshes `forms` when needed.
bool file_is_private(PrivateFiles& forms, const char* path);

}  // namespace fwk
