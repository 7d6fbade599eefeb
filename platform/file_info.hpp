// What the file system says of a file without opening it: enough to tell
// whether a file changed since it was last looked at.
#pragma once

#include <cstdint>
#include <string>

namespace fwk {

struct FileInfo {
  bool exists = false;  // a regular file was found
  int64_t size = 0;
  int64_t modified_ns = 0;  // last modification, nanoseconds since the epoch
  uint64_t device = 0;
  uint64_t inode = 0;  // another inode at the same path: another file
};

FileInfo file_info(const char* path);

// Why a file cannot be used, in a few words for a message: "does not
// exist", "is not a regular file", "cannot be read by this user", "cannot be
// written by this user" (with `for_writing`); "" when nothing of that holds.
std::string file_problem(const char* path, bool for_writing);

// True when both describe the same file with the same size and time.
bool file_info_same(const FileInfo& a, const FileInfo& b);

}  // namespace fwk
