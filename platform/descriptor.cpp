#include "platform/descriptor.hpp"

#include <unistd.h>

namespace fwk {

void Descriptor::reset(int descriptor) {
  if (fd >= 0 && fd != descriptor) close(fd);
  fd = descriptor;
}

}  // namespace fwk
