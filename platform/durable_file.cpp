#include "platform/durable_file.hpp"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/descriptor.hpp"
#include "platform/fault_points.hpp"

namespace fwk {
namespace {

constexpr std::string_view kTemporaryMark = ".tmp-";

int open_retrying(const char* path, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Writes all bytes; a regular file normally takes them in one call, the loop
// only covers interrupted or short writes.
bool write_all(int fd, const char* path, const char* bytes, size_t n) {
  if (fault_at(FaultOp::write, path)) return false;
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

bool flush_to_device(int fd, const char* path) {
  if (fault_at(FaultOp::sync, path)) return false;
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

bool rename_file(const char* from, const char* to) {
  if (fault_at(FaultOp::rename, to)) return false;
  return ::rename(from, to) == 0;
}

std::string directory_of(const char* path) {
  std::string dir(path);
  size_t slash = dir.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : dir.substr(0, slash == 0 ? 1 : slash);
}

// A failed directory flush is not reported: the entry is in place for every
// reader, and the caller could not undo it anyway.
void flush_directory_of(const char* path) {
  const std::string dir = directory_of(path);
  Descriptor fd(open_retrying(dir.c_str(), O_RDONLY | O_DIRECTORY, 0));
  if (fd) flush_to_device(fd.get(), dir.c_str());
}

// Opens an existing file without waiting (a FIFO would wait for a reader)
// and keeps it only when it is a regular file; none otherwise, with errno
// telling why the open failed.
Descriptor open_regular(const char* path, int flags, mode_t mode) {
  Descriptor fd(open_retrying(path, flags | O_NONBLOCK, mode));
  if (!fd) return fd;
  struct stat info {};
  int status = ::fcntl(fd.get(), F_GETFL);
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || status == -1 ||
      ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0) {
    fd.reset();
    errno = EINVAL;
  }
  return fd;
}

// Appends at the end of the open file; on failure the file is cut back to
// the length it had before, so no partial line remains.
DurableResult append_to_open_file(int fd, const char* path, const char* bytes, size_t n,
                                  int64_t* offset_out) {
  off_t start = ::lseek(fd, 0, SEEK_END);
  if (start < 0) return DurableResult::write_failed;
  if (offset_out) *offset_out = static_cast<int64_t>(start);
  bool ok = write_all(fd, path, bytes, n) && flush_to_device(fd, path);
  if (!ok && ::ftruncate(fd, start) == 0) ::fsync(fd);
  return ok ? DurableResult::ok : DurableResult::write_failed;
}

std::string temporary_name_for(const char* path) {
  return std::string(path) + std::string(kTemporaryMark) + std::to_string(::getpid());
}

// A temporary file, locked for as long as its writer may still rename it,
// so that a start-up tidy never removes one that is being written.
Descriptor create_locked_temporary(const std::string& temp, mode_t mode) {
  Descriptor fd(open_retrying(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, mode));
  if (!fd) return fd;
  while (::flock(fd.get(), LOCK_EX) != 0 && errno == EINTR) {
  }
  return fd;
}

}  // namespace

void adopt_directory_owner(int fd, const char* path) {
  if (::geteuid() != 0) return;
  struct stat info {};
  if (::stat(directory_of(path).c_str(), &info) != 0 || info.st_uid == 0) return;
  if (::fchown(fd, info.st_uid, info.st_gid) != 0) return;
}

DurableResult durable_append_existing(const char* path, const char* bytes, size_t n,
                                      int64_t* offset_out) {
  if (!path) return DurableResult::open_failed;
  Descriptor fd = open_regular(path, O_RDWR | O_APPEND, 0);
  if (!fd) return DurableResult::open_failed;
  return append_to_open_file(fd.get(), path, bytes, n, offset_out);
}

DurableResult durable_append(const char* path, const char* bytes, size_t n) {
  if (!path) return DurableResult::open_failed;
  bool created = false;
  Descriptor fd = open_regular(path, O_WRONLY | O_APPEND, 0);
  if (!fd && errno == ENOENT) {
    fd = open_regular(path, O_WRONLY | O_APPEND | O_CREAT, 0666);
    created = bool(fd);
    if (created) adopt_directory_owner(fd.get(), path);
  }
  if (!fd) return DurableResult::open_failed;
  DurableResult result = append_to_open_file(fd.get(), path, bytes, n, nullptr);
  if (created) flush_directory_of(path);
  return result;
}

StagedReplace::~StagedReplace() {
  if (fd) ::unlink(temp.c_str());
}

DurableResult durable_stage(StagedReplace& stage, const char* path, const char* bytes, size_t n) {
  if (!path || !*path || stage.fd) return DurableResult::open_failed;
  struct stat info {};
  const bool existed = ::stat(path, &info) == 0;
  const mode_t mode = existed ? (info.st_mode & 07777) : 0666;
  stage.path = path;
  stage.temp = temporary_name_for(path);
  stage.fd = create_locked_temporary(stage.temp, mode);
  if (!stage.fd) return DurableResult::open_failed;
  // The replacement keeps the owner of the file it replaces.
  if (existed && ::geteuid() == 0 && ::fchown(stage.fd.get(), info.st_uid, info.st_gid) != 0) {
    return DurableResult::write_failed;
  }
  if (!existed) adopt_directory_owner(stage.fd.get(), path);
  return durable_stage_add(stage, bytes, n);
}

DurableResult durable_stage_add(StagedReplace& stage, const char* bytes, size_t n) {
  if (!stage.fd) return DurableResult::open_failed;
  return write_all(stage.fd.get(), stage.temp.c_str(), bytes, n) &&
                 flush_to_device(stage.fd.get(), stage.temp.c_str())
             ? DurableResult::ok
             : DurableResult::write_failed;
}

DurableResult durable_stage_commit(StagedReplace& stage) {
  if (!stage.fd) return DurableResult::open_failed;
  Descriptor fd = std::move(stage.fd);
  // The temporary stays locked until it has been renamed: a tidy that found
  // it unlocked would remove it, and the rename would then fail.
  bool ok = flush_to_device(fd.get(), stage.temp.c_str()) &&
            rename_file(stage.temp.c_str(), stage.path.c_str());
  if (!ok) ::unlink(stage.temp.c_str());
  ok = fd.close_checked() && ok;
  if (!ok) return DurableResult::write_failed;
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
  Descriptor fd = open_regular(path, O_RDWR, 0);
  if (!fd) return DurableResult::open_failed;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return DurableResult::write_failed;
  for (int64_t offset : offsets) {
    if (offset < 0 || offset >= info.st_size) return DurableResult::write_failed;
  }
  for (int64_t offset : offsets) {
    if (fault_at(FaultOp::write, path)) return DurableResult::write_failed;
    ssize_t written;
    do {
      written = ::pwrite(fd.get(), &byte, 1, static_cast<off_t>(offset));
    } while (written < 0 && errno == EINTR);
    if (written != 1) return DurableResult::write_failed;
  }
  return flush_to_device(fd.get(), path) ? DurableResult::ok : DurableResult::write_failed;
}

DurableResult durable_cut_back(const char* path, int64_t length) {
  if (!path) return DurableResult::open_failed;
  Descriptor fd(open_regular(path, O_RDWR, 0));
  if (!fd) return DurableResult::open_failed;
  if (fault_at(FaultOp::write, path) || ::ftruncate(fd.get(), static_cast<off_t>(length)) != 0)
    return DurableResult::write_failed;
  return flush_to_device(fd.get(), path) ? DurableResult::ok : DurableResult::write_failed;
}

DurableResult durable_create_new(const char* path, const char* bytes, size_t n) {
  if (!path) return DurableResult::open_failed;
  Descriptor fd(open_retrying(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666));
  if (!fd) return DurableResult::open_failed;
  adopt_directory_owner(fd.get(), path);
  bool ok = write_all(fd.get(), path, bytes, n) && flush_to_device(fd.get(), path);
  ok = fd.close_checked() && ok;
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

bool file_read_last_byte(const char* path, char* byte) {
  if (!path) return false;
  Descriptor fd(open_retrying(path, O_RDONLY, 0));
  if (!fd) return false;
  struct stat info {};
  return ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
         ::pread(fd.get(), byte, 1, info.st_size - 1) == 1;
}

bool file_read_whole(const char* path, std::string* bytes) {
  bytes->clear();
  if (!path) return false;
  Descriptor fd(open_retrying(path, O_RDONLY, 0));
  if (!fd) return false;
  struct stat info {};
  bool ok = ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode);
  std::string chunk(65536, '\0');
  while (ok) {
    ssize_t got = ::read(fd.get(), chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    bytes->append(chunk.data(), static_cast<size_t>(got));
  }
  if (!ok) bytes->clear();
  return ok;
}

bool name_is_temporary(std::string_view name) {
  size_t mark = name.rfind(kTemporaryMark);
  if (mark == std::string_view::npos || mark == 0) return false;
  std::string_view digits = name.substr(mark + kTemporaryMark.size());
  return !digits.empty() && digits.size() <= 10 &&
         digits.find_first_not_of("0123456789") == std::string_view::npos;
}

size_t remove_abandoned_temporaries(const std::string& directory) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
  if (!dir) return 0;
  size_t removed = 0;
  const std::string prefix = directory.empty() || directory.back() == '/' ? directory
                                                                          : directory + "/";
  while (struct dirent* entry = ::readdir(dir.get())) {
    if (!name_is_temporary(entry->d_name)) continue;
    const std::string path = prefix + entry->d_name;
    Descriptor fd = open_regular(path.c_str(), O_RDONLY | O_NOFOLLOW, 0);
    if (!fd || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
    if (::unlink(path.c_str()) == 0) ++removed;
  }
  return removed;
}

}  // namespace fwk
