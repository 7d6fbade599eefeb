// One accepted client connection and its small send buffer. Accepting,
// polling and closing live with the server loop; this is the record and the
// buffered byte path every response goes through.
//
// A connection served by the server loop is "queued": what a handler writes
// collects in `response`, and the body handed over after it (a file with
// conn_stream_file, or bytes made on a thread of their own with
// conn_stream_producer) is sent after that, all by the loop as the client
// reads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "core/limits.hpp"
#include "platform/producer.hpp"

namespace fwk {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct Connection {
  int socket = -1;                  // -1: none
  uint32_t peer_address = 0;        // IPv4, network byte order
  std::string peer_host;            // at most 259 characters
  bool peer_host_resolved = false;  // the reverse lookup has been made
  std::string requested_host;       // the request's Host header ("" when it had none)
  std::array<char, kSendBufferSize> send_buffer{};
  size_t pending = 0;  // bytes waiting, 0..259 between calls

  bool queued = false;   // writes collect here for the server loop to send
  std::string response;  // bytes to send first
  FilePtr stream_file;   // then this file, from stream_offset on
  long long stream_offset = 0;
  ProducerPtr stream_producer;  // or what this producer makes, as it comes
  std::string after_file;  // then what was written after the body was handed over
};

// Buffered send: small writes collect in the send buffer and leave in
// packets of 260 bytes; a remainder of 260 bytes or more is sent directly.
// Send results are not examined. Returns n.
size_t conn_send(Connection& connection, const char* bytes, size_t n);

// Sends the pending bytes in one send call and empties the buffer (nothing
// to do for a queued connection).
void conn_flush(Connection& connection);

// Hands an open file over to a queued connection, which sends it after what
// was written so far and closes it. False (the caller keeps the file) when
// the connection is not queued or already has a file.
bool conn_stream_file(Connection& connection, FilePtr& file);

// Hands a producer over to a queued connection, which sends what it makes
// after what was written so far. False (the caller keeps it) when the
// connection is not queued or already has a body.
bool conn_stream_producer(Connection& connection, ProducerPtr& producer);

// True once a body has been handed over.
inline bool conn_has_body(const Connection& connection) {
  return connection.stream_file || connection.stream_producer;
}

}  // namespace fwk
