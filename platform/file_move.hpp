// Moving files between directories of one file system (a mail from a
// mailbox folder to another), and flushing directories once a batch of
// such moves is done.
#pragma once

#include <cstdint>
#include <string>

namespace fwk {

enum class MoveResult {
  ok,
  missing,  // nothing at `from` (another process moved it first)
  failed,
};

// Renames `from` to `to`.
MoveResult file_move(const std::string& from, const std::string& to);

// Flushes a directory's entries to the device.
bool directory_flush(const std::string& path);

// Makes a directory (mode 0700) unless it exists. True when it exists now.
bool directory_make(const std::string& path);

// The modification time of a file in microseconds since 1970; false when
// it cannot be found.
bool file_modified_us(const std::string& path, int64_t* stamp);

}  // namespace fwk
