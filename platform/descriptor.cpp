#include "platform/descriptor.hpp"

#include <unistd.h>

namespace fwk {

bool Descriptor::close_checked() {
  return fd < 0 || close(std::exchange(fd, -1)) == 0;
}

void Descriptor::reset(int descriptor) {
  if (fd >= 0 && fd != descriptor) close(fd);
  fd = descriptor;
}

}  // namespace fwk
