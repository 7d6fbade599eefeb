#include "platform/regular_file.hpp"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/descriptor.hpp"

namespace fwk {

namespace {

// The open(2) flags of an fopen mode, without truncation (done only once
// the file is known to be regular). -1 for a mode fopen would refuse.
int open_flags(const char* mode, bool& truncate) {
  truncate = false;
  bool update = std::strchr(mode, '+') != nullptr;
  int flags = O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  switch (mode[0]) {
    case 'r':
      return flags | (update ? O_RDWR : O_RDONLY);
    case 'w':
      truncate = true;
      return flags | O_CREAT | (update ? O_RDWR : O_WRONLY);
    case 'a':
      return flags | O_CREAT | O_APPEND | (update ? O_RDWR : O_WRONLY);
    default:
      return -1;
  }
}

OpenFailure failure_of(int error) {
  return error == EMFILE || error == ENFILE || error == ENOMEM ? OpenFailure::no_resources
                                                               : OpenFailure::other;
}

FilePtr open_regular(const char* path, const char* mode, OpenFailure& failure) {
  failure = OpenFailure::other;
  if (!path || !mode) return nullptr;
  bool truncate = false;
  int flags = open_flags(mode, truncate);
  if (flags < 0) return nullptr;
  if (std::strchr(mode, 'x')) flags |= O_EXCL;
  Descriptor opened(open(path, flags, 0666));
  const int fd = opened.get();
  if (!opened) {
    failure = failure_of(errno);
    return nullptr;
  }
  struct stat info {};
  bool usable = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (usable && truncate) usable = ftruncate(fd, 0) == 0;
  // Reads and writes of a regular file wait as usual.
  if (usable) {
    int status = fcntl(fd, F_GETFL);
    usable = status != -1 && fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == 0;
  }
  FilePtr file(usable ? fdopen(fd, mode) : nullptr);
  if (usable && !file) failure = failure_of(errno);
  // The stream owns the descriptor from here on.
  if (file) {
    opened.release();
    failure = OpenFailure::none;
  }
  return file;
}

}  // namespace

FilePtr file_open_regular(const char* path, const char* mode, OpenFailure* failure) {
  OpenFailure reason = OpenFailure::none;
  FilePtr file = open_regular(path, mode, reason);
  if (failure) *failure = reason;
  return file;
}

}  // namespace fwk
