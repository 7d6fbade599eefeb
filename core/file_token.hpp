// Reading a token from a buffered file up to a delimiter.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace fwk {

// Reads bytes up to a byte of `delims` (a zero byte always counts as one),
// dropping bytes equal to `skip` (when not 0). The token is kept in *buf
// (emptied first; may be nullptr) up to size - 1 characters; the rest of a
// longer token is read and dropped. The delimiter is consumed, not stored.
// Returns the delimiter as a signed character, or -1 when the file ends
// (or cannot be read) first; *buf then holds what was read.
int file_read_token(std::FILE* file, std::string* buf, size_t size, const char* delims, int skip);

}  // namespace fwk
