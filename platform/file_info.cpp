#include "platform/file_info.hpp"

#include <sys/stat.h>
#include <unistd.h>

namespace fwk {

FileInfo file_info(const char* path) {
  FileInfo info;
  struct stat st {};
  if (path == nullptr || ::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return info;
  info.exists = true;
  info.size = static_cast<int64_t>(st.st_size);
  info.modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  info.device = static_cast<uint64_t>(st.st_dev);
  info.inode = static_cast<uint64_t>(st.st_ino);
  return info;
}

std::string file_problem(const char* path, bool for_writing) {
  struct stat st {};
  if (path == nullptr || *path == '\0' || ::stat(path, &st) != 0) return "does not exist";
  if (!S_ISREG(st.st_mode)) return "is not a regular file";
  if (::access(path, R_OK) != 0) return "cannot be read by this user";
  if (for_writing && ::access(path, W_OK) != 0) return "cannot be written by this user";
  return "";
}

bool file_info_same(const FileInfo& a, const FileInfo& b) {
  return a.exists == b.exists && a.size == b.size && a.modified_ns == b.modified_ns &&
         a.device == b.device && a.inode == b.inode;
}

}  // namespace fwk
