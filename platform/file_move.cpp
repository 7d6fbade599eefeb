#include "platform/file_move.hpp"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fwk {

namespace {

std::string directory_of(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

bool directory_flush(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

MoveResult file_move(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) == 0) return MoveResult::ok;
  return errno == ENOENT ? MoveResult::missing : MoveResult::failed;
}

bool directory_make(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0) return directory_flush(directory_of(path));
  struct stat info {};
  return errno == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool file_modified_us(const std::string& path, int64_t* stamp) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  *stamp = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000 + info.st_mtim.tv_nsec / 1000;
  return true;
}

}  // namespace fwk
