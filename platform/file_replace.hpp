// Replacing a small file's contents so that a crash leaves either the old
// contents or the new ones, never a torn or empty file.
#pragma once

#include <cstddef>

namespace fwk {

// Writes the bytes to a temporary file beside `path`, flushes it to the
// device, renames it over `path` and flushes the directory. True when the
// new contents are in place; on failure `path` is left as it was.
bool file_replace_durably(const char* path, const char* bytes, size_t n);

}  // namespace fwk
