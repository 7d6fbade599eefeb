#include "platform/random.hpp"

#include <cerrno>
#include <cstddef>

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace fwk {

namespace {

// For kernels without getrandom: the same source through its device.
size_t read_device(unsigned char* bytes, size_t n) {
  int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  size_t got = 0;
  while (got < n) {
    ssize_t r = ::read(fd, bytes + got, n - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  ::close(fd);
  return got;
}

}  // namespace

uint64_t system_random_u64() {
  uint64_t value = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&value);
  size_t got = 0;
  while (got < sizeof value) {
    ssize_t n = ::getrandom(bytes + got, sizeof value - got, 0);
    if (n >= 0) {
      got += static_cast<size_t>(n);
    } else if (errno != EINTR) {
      got += read_device(bytes + got, sizeof value - got);
      break;
    }
  }
  return value;
}

}  // namespace fwk
