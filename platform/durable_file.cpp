#include "platform/durable_file.hpp"

#include <cerrno>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fwk {
namespace {

int open_retrying(const char* path, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Writes all bytes; a regular file normally takes them in one call, the loop
// only covers interrupted or short writes.
bool write_all(int fd, const char* bytes, size_t n) {
  while (n > 0) {
    ssize_t written = ::write(fd, bytes, n);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    bytes += written;
    n -= static_cast<size_t>(written);
  }
  return true;
}

bool flush_to_device(int fd) {
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

void flush_directory_of(const char* path) {
  std::string dir(path);
  size_t slash = dir.find_last_of('/');
  dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash == 0 ? 1 : slash);
  int fd = open_retrying(dir.c_str(), O_RDONLY | O_DIRECTORY, 0);
  if (fd < 0) return;
  flush_to_device(fd);
  ::close(fd);
}

// Opens an existing file for appending without waiting (a FIFO would wait
// for a reader) and keeps it only when it is a regular file; -1 otherwise,
// with errno telling why the open failed.
int open_regular_for_append(const char* path, int flags, mode_t mode) {
  int fd = open_retrying(path, flags | O_NONBLOCK, mode);
  if (fd < 0) return -1;
  struct stat info {};
  int status = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || status == -1 ||
      ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

// Appends at the end of the open file; on failure the file is cut back to
// the length it had before, so no partial line remains.
DurableResult append_to_open_file(int fd, const char* bytes, size_t n, int64_t* offset_out) {
  off_t start = ::lseek(fd, 0, SEEK_END);
  if (start < 0) {
    ::close(fd);
    return DurableResult::write_failed;
  }
  if (offset_out) *offset_out = static_cast<int64_t>(start);
  bool ok = write_all(fd, bytes, n) && flush_to_device(fd);
  if (!ok) {
    if (::ftruncate(fd, start) == 0) flush_to_device(fd);
  }
  ::close(fd);
  return ok ? DurableResult::ok : DurableResult::write_failed;
}

}  // namespace

DurableResult durable_append_existing(const char* path, const char* bytes, size_t n,
                                      int64_t* offset_out) {
  if (!path) return DurableResult::open_failed;
  int fd = open_regular_for_append(path, O_RDWR | O_APPEND, 0);
  if (fd < 0) return DurableResult::open_failed;
  return append_to_open_file(fd, bytes, n, offset_out);
}

DurableResult durable_append(const char* path, const char* bytes, size_t n) {
  if (!path) return DurableResult::open_failed;
  bool created = false;
  int fd = open_regular_for_append(path, O_WRONLY | O_APPEND, 0);
  if (fd < 0 && errno == ENOENT) {
    fd = open_regular_for_append(path, O_WRONLY | O_APPEND | O_CREAT, 0666);
    created = fd >= 0;
  }
  if (fd < 0) return DurableResult::open_failed;
  DurableResult result = append_to_open_file(fd, bytes, n, nullptr);
  if (created) flush_directory_of(path);
  return result;
}

DurableResult durable_replace(const char* path, const char* bytes, size_t n) {
  if (!path) return DurableResult::open_failed;
  struct stat info {};
  mode_t mode = ::stat(path, &info) == 0 ? (info.st_mode & 07777) : 0666;
  std::string temp = std::string(path) + ".tmp-" + std::to_string(::getpid());
  int fd = open_retrying(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
  if (fd < 0) return DurableResult::open_failed;
  bool ok = write_all(fd, bytes, n) && flush_to_device(fd);
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), path) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return DurableResult::write_failed;
  }
  flush_directory_of(path);
  return DurableResult::ok;
}

DurableResult durable_create_new(const char* path, const char* bytes, size_t n) {
  if (!path) return DurableResult::open_failed;
  int fd = open_retrying(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return DurableResult::open_failed;
  bool ok = write_all(fd, bytes, n) && flush_to_device(fd);
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    ::unlink(path);
    return DurableResult::write_failed;
  }
  flush_directory_of(path);
  return DurableResult::ok;
}

bool durable_remove(const char* path) {
  if (!path) return false;
  if (::unlink(path) != 0) return errno == ENOENT;
  flush_directory_of(path);
  return true;
}

bool file_read_whole(const char* path, std::string* bytes) {
  bytes->clear();
  if (!path) return false;
  int fd = open_retrying(path, O_RDONLY, 0);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  std::string chunk(65536, '\0');
  while (ok) {
    ssize_t got = ::read(fd, chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    bytes->append(chunk.data(), static_cast<size_t>(got));
  }
  ::close(fd);
  if (!ok) bytes->clear();
  return ok;
}

}  // namespace fwk
