#include "platform/temp_file.hpp"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace fwk {

namespace {

std::string temp_directory() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir == '/' ? dir : "/tmp";
}

// A file without a name, opened again through its descriptor's link.
bool create_unnamed(TempFile& file, const std::string& dir) {
  int descriptor = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (descriptor < 0) return false;
  std::string path = "/proc/self/fd/" + std::to_string(descriptor);
  int again = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (again < 0) {
    close(descriptor);
    return false;
  }
  close(again);
  file.descriptor = descriptor;
  file.path = path;
  file.named = false;
  return true;
}

bool create_named(TempFile& file, const std::string& dir) {
  std::string path = dir + "/formwick-XXXXXX";
  int descriptor = mkostemp(path.data(), O_CLOEXEC);
  if (descriptor < 0) return false;
  file.descriptor = descriptor;
  file.path = path;
  file.named = true;
  return true;
}

}  // namespace

TempFile::~TempFile() {
  if (named) unlink(path.c_str());
  if (descriptor >= 0) close(descriptor);
}

bool temp_file_create(TempFile& file) {
  std::string dir = temp_directory();
  return create_unnamed(file, dir) || create_named(file, dir);
}

long temp_file_read(const TempFile& file, int64_t offset, char* buffer, size_t size) {
  for (;;) {
    ssize_t got = pread(file.descriptor, buffer, size, static_cast<off_t>(offset));
    if (got >= 0) return static_cast<long>(got);
    if (errno != EINTR) return -1;
  }
}

}  // namespace fwk
