// File paths under the server root and opening files by name.
//
// Names may use "/" or "\" as separator; joined paths use "/". A name that
// begins with "/" or "\" is absolute; any other name is joined to the
// directory of its base path: the base is a directory ending in "/" (the
// server root) or the path of a file (the template being processed). A base
// without a directory adds nothing to the name. Paths are limited to the
// 1024-byte path area.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// The string helpers used together with paths everywhere.
#include "core/file_token.hpp"
#include "core/limits.hpp"
#include "core/list_text.hpp"
#include "core/text_util.hpp"
#include "platform/file_ptr.hpp"
#include "platform/regular_file.hpp"

namespace fwk {

// Builds the path of `name` (plus `ext` when present) relative to the
// directory of `base` (see above) into out. Returns false, leaving out
// empty, when the path would not fit the path area.
bool path_join(const char* base, std::string& out, const char* name, const char* ext = nullptr);

// Opens the joined path for binary reading. None when the name is absent
// or "", the path does not fit, the file does not open or is not a regular
// file.
FilePtr path_open_binary(const char* base, const char* name, const char* ext = nullptr);

// Opens a file with fopen's mode, refusing directories (as the device does)
// and anything else that is not a regular file (FIFOs, devices, sockets);
// the open never blocks. The reason of a failure goes to *failure when
// given.
FilePtr file_open(const char* path, const char* mode, OpenFailure* failure = nullptr);

}  // namespace fwk
