#include "http/listener.hpp"

#include "platform/socket.hpp"

namespace fwk {

namespace {

// Connections beyond the loop's limit wait here; a short backlog makes a
// burst of clients wait for SYN retransmissions instead.
constexpr int kListenBacklog = 512;

}  // namespace

Listener& listener_open(Listener& listener, int first_port) {
  listener.port = first_port;
  listener.socket.reset();
  listener.denied = true;
  for (int attempt = 0; attempt < kListenAttempts; ++attempt) {
    ListenFailure failure = ListenFailure::none;
    listener.socket =
        socket_listen_tcp(listener.port, kListenBacklog, &failure, listener.bound_address);
    listener.failure = failure;
    if (listener.socket) {
      listener.denied = false;
      return listener;
    }
    if (failure != ListenFailure::permission) listener.denied = false;
    ++listener.port;
  }
  return listener;
}

bool listener_open_with_fallback(Listener& listener, int first_port) {
  listener_open(listener, first_port);
  if (listener.socket || !listener.denied) return false;
  listener_open(listener, kUnprivilegedFirstPort);
  return true;
}

void listener_close(Listener& listener) {
  socket_shutdown(listener.socket.get());
  listener.socket.reset();
}

}  // namespace fwk
