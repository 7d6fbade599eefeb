// Test support: a connected pair of local sockets that keeps the boundaries
// of each send, so that a test can see how bytes were grouped into sends.
#pragma once

#include "platform/descriptor.hpp"

namespace fwk {

// True with both ends in *a and *b.
bool socket_pair_packets(Descriptor* a, Descriptor* b);

}  // namespace fwk
