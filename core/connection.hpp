// One accepted client connection and its small send buffer. Accepting,
// polling and closing live with the server loop; this is the record and the
// buffered byte path every response goes through.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace fwk {

constexpr size_t kSendBufferSize = 260;

struct Connection {
  int socket = -1;                  // -1: none
  uint32_t peer_address = 0;        // IPv4, network byte order
  std::string peer_host;            // at most 259 characters
  bool peer_host_resolved = false;  // the reverse lookup has been made
  std::string requested_host;       // the request's Host header ("" when it had none)
  std::array<char, kSendBufferSize> send_buffer{};
  size_t pending = 0;  // bytes waiting, 0..259 between calls
};

// Buffered send: small writes collect in the send buffer and leave in
// packets of 260 bytes; a remainder of 260 bytes or more is sent directly.
// Send results are not examined. Returns n.
size_t conn_send(Connection& connection, const char* bytes, size_t n);

// Sends the pending bytes in one send call and empties the buffer.
void conn_flush(Connection& connection);

}  // namespace fwk
