// The listening endpoint of the server and the connections accepted on it.
#pragma once

#include <cstdint>
#include <memory>

#include "core/connection.hpp"
#include "platform/socket.hpp"

namespace fwk {

struct Listener {
  int socket = -1;             // -1: none
  int port = 0;                // the port of the last attempt; after a successful open, in use
  uint32_t bound_address = 0;  // set before opening; 0 (0.0.0.0) is any interface
  bool denied = false;         // every failed attempt was refused for lack of permission
  ListenFailure failure = ListenFailure::none;  // why the last attempt failed
};

// Ports tried when every port of the first range needs privileges we lack.
constexpr int kUnprivilegedFirstPort = 8081;
constexpr int kListenAttempts = 10;

// Opens the listening socket on the first free port of first_port ..
// first_port + 9. On failure the socket is -1 and the port first_port + 10.
Listener& listener_open(Listener& listener, int first_port);

// listener_open(first_port); when that found no port and every attempt was
// refused for lack of permission (ports below 1024), tries the ten ports from
// kUnprivilegedFirstPort instead. True when it fell back (the caller says so
// in the status text).
bool listener_open_with_fallback(Listener& listener, int first_port);

// Shuts the socket down and closes it (when there is one); socket becomes -1.
void listener_close(Listener& listener);

// Waits up to 1 s for a pending connection; true when one is ready.
bool listener_wait(Listener& listener);

// Accepts one connection (none when accept fails). The peer host name is left
// "" and looked up only when asked for (conn_peer_host).
std::unique_ptr<Connection> conn_accept(Listener& listener);

// Pure readiness poll (no waiting) for reading on the connection's socket.
bool conn_readable(Connection& connection);

// The peer's host name from a reverse lookup, made on first use and kept
// (at most 259 characters; "" when the lookup finds nothing or takes longer
// than a quarter of a second; see peer_name_lookup).
const std::string& conn_peer_host(Connection& connection);

// Sends what is pending, shuts the socket down and closes it. The record
// itself is freed by its owner.
void conn_close(Connection& connection);

}  // namespace fwk
