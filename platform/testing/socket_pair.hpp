// Test support: a connected pair of local sockets that keeps the boundaries
// of each send, so that a test can see how bytes were grouped into sends.
#pragma once

namespace fwk {

// True with both ends in *a and *b; close them with socket_close.
bool socket_pair_packets(int* a, int* b);

}  // namespace fwk
