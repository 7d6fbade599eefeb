// The listening endpoint of the server.
#pragma once

#include <cstdint>

#include "platform/descriptor.hpp"
#include "platform/socket.hpp"

namespace fwk {

struct Listener {
  Descriptor socket;           // none: not listening
  int port = 0;                // the port of the last attempt; after a successful open, in use
  uint32_t bound_address = 0;  // set before opening; 0 (0.0.0.0) is any interface
  bool denied = false;         // every failed attempt was refused for lack of permission
  ListenFailure failure = ListenFailure::none;  // why the last attempt failed
};

// Ports tried when every port of the first range needs privileges we lack.
constexpr int kUnprivilegedFirstPort = 8081;
constexpr int kListenAttempts = 10;

// Opens the listening socket on the first free port of first_port ..
// first_port + 9. On failure there is no socket and the port is
// first_port + 10.
Listener& listener_open(Listener& listener, int first_port);

// listener_open(first_port); when that found no port and every attempt was
// refused for lack of permission (ports below 1024), tries the ten ports from
// kUnprivilegedFirstPort instead. True when it fell back (the caller says so
// in the status text).
bool listener_open_with_fallback(Listener& listener, int first_port);

// Shuts the socket down and closes it (when there is one).
void listener_close(Listener& listener);

}  // namespace fwk
