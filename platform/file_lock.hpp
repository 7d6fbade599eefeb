// Locks shared between processes and threads on one lock file: each slot is
// one byte of the file, locked as an open-file-description lock, so two
// handles exclude each other whether they live in one process or in two.
// A lock ends with its handle, also when the process dies.
#pragma once

#include <string>

namespace fwk {

struct FileLock {
  int fd = -1;
  FileLock() = default;
  FileLock(FileLock&& other) noexcept : fd(other.fd) { other.fd = -1; }
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();
};

// Opens (creating it with mode 0600 when missing) the lock file at `path`;
// fd stays -1 when that fails.
FileLock file_lock_open(const std::string& path);

// Takes slot `slot` of the file: waiting for it when `wait`, else only when
// it is free at once. False when it was not taken.
bool file_lock_take(FileLock& lock, int slot, bool wait);

// Gives slot `slot` back.
void file_lock_give(FileLock& lock, int slot);

}  // namespace fwk
