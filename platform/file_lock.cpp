#include "platform/file_lock.hpp"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "platform/durable_file.hpp"

namespace fwk {

namespace {

bool set_lock(int fd, int slot, short type, bool wait) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = slot;
  range.l_len = 1;
  int rc;
  do {
    rc = ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &range);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

}  // namespace

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    if (fd >= 0) ::close(fd);
    fd = other.fd;
    other.fd = -1;
  }
  return *this;
}

FileLock::~FileLock() {
  if (fd >= 0) ::close(fd);
}

FileLock file_lock_open(const std::string& path) {
  FileLock lock;
  do {
    lock.fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  } while (lock.fd < 0 && errno == EINTR);
  // Made by an operator's command as root: the server must still open it.
  if (lock.fd >= 0) adopt_directory_owner(lock.fd, path.c_str());
  return lock;
}

bool file_lock_take(FileLock& lock, int slot, bool wait) {
  return lock.fd >= 0 && set_lock(lock.fd, slot, F_WRLCK, wait);
}

void file_lock_give(FileLock& lock, int slot) {
  if (lock.fd >= 0) set_lock(lock.fd, slot, F_UNLCK, false);
}

}  // namespace fwk
