#include "platform/testing/socket_pair.hpp"

#include <sys/socket.h>

namespace fwk {

bool socket_pair_packets(Descriptor* a, Descriptor* b) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return false;
  a->reset(fds[0]);
  b->reset(fds[1]);
  return true;
}

}  // namespace fwk
