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

void adopt_directory_owner(int fd, const char* path) {
  if (::geteuid() != 0) return;
  std::string dir(path);
  size_t slash = dir.find_last_of('/');
  dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash == 0 ? 1 : slash);
  struct stat info {};
  if (::stat(dir.c_str(), &info) != 0 || info.st_uid == 0) return;
  if (::fchown(fd, info.st_uid, info.st_gid) != 0) return;
}

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
    if (created) adopt_directory_owner(fd, path);
  }
  if (fd < 0) return DurableResult::open_failed;
  DurableResult result = append_to_open_file(fd, bytes, n, nullptr);
  if (created) flush_directory_of(path);
  return result;
}

StagedReplace::~StagedReplace() {
  if (fd >= 0) {
    ::close(fd);
    ::unlink(temp.c_str());
  }
}

DurableResult durable_stage(StagedReplace& stage, const char* path, const char* bytes, size_t n) {
  if (!path || stage.fd >= 0) return DurableResult::open_failed;
  struct stat info {};
  bool existed = ::stat(path, &info) == 0;
  mode_t mode = existed ? (info.st_mode & 07777) : 0666;
  stage.path = path;
  stage.temp = stage.path + ".tmp-" + std::to_string(::getpid());
  stage.fd = open_retrying(stage.temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
  if (stage.fd < 0) return DurableResult::open_failed;
  // The replacement keeps the owner of the file it replaces.
  if (existed && ::geteuid() == 0 && ::fchown(stage.fd, info.st_uid, info.st_gid) != 0) {
    return DurableResult::write_failed;
  }
  if (!existed) adopt_directory_owner(stage.fd, path);
  return durable_stage_add(stage, bytes, n);
}

DurableResult durable_stage_add(StagedReplace& stage, const char* bytes, size_t n) {
  if (stage.fd < 0) return DurableResult::open_failed;
  return write_all(stage.fd, bytes, n) && flush_to_device(stage.fd) ? DurableResult::ok
                                                                   : DurableResult::write_failed;
}

DurableResult durable_stage_commit(StagedReplace& stage) {
  if (stage.fd < 0) return DurableResult::open_failed;
  bool ok = flush_to_device(stage.fd);
  ok = ::close(stage.fd) == 0 && ok;
  stage.fd = -1;
  if (ok) ok = ::rename(stage.temp.c_str(), stage.path.c_str()) == 0;
  if (!ok) {
    ::unlink(stage.temp.c_str());
    return DurableResult::write_failed;
  }
  flush_directory_of(stage.path.c_str());
  return DurableResult::ok;
}

DurableResult durable_replace(const char* path, const char* bytes, size_t n) {
  StagedReplace stage;
  DurableResult staged = durable_stage(stage, path, bytes, n);
  return staged == DurableResult::ok ? durable_stage_commit(stage) : staged;
}

DurableResult durable_put_bytes(const char* path, const std::vector<int64_t>& offsets, char byte) {
  if (!path) return DurableResult::open_failed;
  int fd = open_regular_for_append(path, O_RDWR, 0);
  if (fd < 0) return DurableResult::open_failed;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0;
  for (int64_t offset : offsets) ok = ok && offset >= 0 && offset < info.st_size;
  for (size_t i = 0; ok && i < offsets.size(); ++i) {
    ssize_t written;
    do {
      written = ::pwrite(fd, &byte, 1, static_cast<off_t>(offsets[i]));
    } while (written < 0 && errno == EINTR);
    ok = written == 1;
  }
  ok = ok && flush_to_device(fd);
  ::close(fd);
  return ok ? DurableResult::ok : DurableResult::write_failed;
}

DurableResult durable_cut_back(const char* path, int64_t length) {
  if (!path) return DurableResult::open_failed;
  int fd = open_regular_for_append(path, O_RDWR, 0);
  if (fd < 0) return DurableResult::open_failed;
  bool ok = ::ftruncate(fd, static_cast<off_t>(length)) == 0 && flush_to_device(fd);
  ::close(fd);
  return ok ? DurableResult::ok : DurableResult::write_failed;
}

bool durable_remove(const char* path) {
  if (!path) return false;
  if (::unlink(path) != 0) return errno == ENOENT;
  flush_directory_of(path);
  return true;
}

bool file_read_last_byte(const char* path, char* byte) {
  if (!path) return false;
  int fd = open_retrying(path, O_RDONLY, 0);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
            ::pread(fd, byte, 1, info.st_size - 1) == 1;
  ::close(fd);
  return ok;
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
