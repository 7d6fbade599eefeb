#include "http/listener.hpp"

#include "core/limits.hpp"
#include "platform/peer_name.hpp"
#include "platform/socket.hpp"

namespace fwk {

namespace {

// Connections beyond the loop's limit wait here; a short backlog makes a
// burst of clients wait for SYN retransmissions instead.
constexpr int kListenBacklog = 512;
// listener_wait: one second and one microsecond.
constexpr long kListenerWaitUs = 1000001;
// The longest a request waits for its peer's host name; without an answer by
// then the name is "" (a late answer serves the next request).
constexpr int kPeerHostDeadlineMs = 250;

}  // namespace

Listener& listener_open(Listener& listener, int first_port) {
  listener.port = first_port;
  listener.socket = -1;
  listener.denied = true;
  for (int attempt = 0; attempt < kListenAttempts; ++attempt) {
    ListenFailure failure = ListenFailure::none;
    listener.socket =
        socket_listen_tcp(listener.port, kListenBacklog, &failure, listener.bound_address);
    listener.failure = failure;
    if (listener.socket >= 0) {
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
  if (listener.socket >= 0 || !listener.denied) return false;
  listener_open(listener, kUnprivilegedFirstPort);
  return true;
}

void listener_close(Listener& listener) {
  if (listener.socket != -1) {
    socket_shutdown(listener.socket);
    socket_close(listener.socket);
  }
  listener.socket = -1;
}

bool listener_wait(Listener& listener) {
  return socket_wait_readable(listener.socket, kListenerWaitUs);
}

std::unique_ptr<Connection> conn_accept(Listener& listener) {
  uint32_t peer = 0;
  int socket = socket_accept(listener.socket, &peer);
  if (socket < 0) return nullptr;
  auto connection = std::make_unique<Connection>();
  connection->socket = socket;
  connection->peer_address = peer;
  connection->pending = 0;
  return connection;
}

bool conn_readable(Connection& connection) {
  return socket_wait_readable(connection.socket, 0);
}

const std::string& conn_peer_host(Connection& connection) {
  if (!connection.peer_host_resolved) {
    connection.peer_host_resolved = true;
    if (!peer_name_lookup(connection.peer_address, kPeerHostDeadlineMs, &connection.peer_host)) {
      connection.peer_host.clear();
    }
    if (connection.peer_host.size() > kPeerHostLimit) connection.peer_host.resize(kPeerHostLimit);
  }
  return connection.peer_host;
}

void conn_close(Connection& connection) {
  conn_flush(connection);
  if (connection.socket != -1) {
    socket_shutdown(connection.socket);
    socket_close(connection.socket);
  }
  connection.socket = -1;
}

}  // namespace fwk
