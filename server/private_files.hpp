// Files of the server root that the file server never sends: the server's
// and the forms' configuration, page scripts, the answers and everything
// the forms engine keeps. A request for one is answered as for a missing
// file.
#pragma once

#include <cstdio>
#include <string>

namespace fwk {

// True when the name alone makes a file private (letter case ignored):
// configuration (".ini"), page scripts (".val"), data files (".asc"),
// response counters (".respcount") and the outbox ("outbox.fwk",
// "outbox.bak", "outbox.bad"). `path` is relative to the root, with "/" or
// "\" between its parts.
bool name_is_private(const char* path);

// True when `path` (relative to the root `root`, which ends in "/"; the
// file is open as `file`) must not be served: its name is private, it lies
// inside a form's page directory (a directory of the root named like a
// form's ".ini" file), or it is a file that a form's section "DATABASE"
// names as SAVEDATANAME, SAVEINDEXNAME, SAVEXMLNAME or PWDFILE. The forms'
// configuration files are read at each call, so a form added while the
// server runs is covered at once.
bool file_is_private(const std::string& root, const char* path, std::FILE* file);

}  // namespace fwk
