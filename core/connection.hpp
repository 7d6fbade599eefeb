// What a handler's response becomes on its way to the client: the bytes
// written collect in `response`, the body handed over after them (a file
// with conn_stream_file, or bytes made on a thread of their own with
// conn_stream_producer) follows, then whatever was written after it. The
// server loop sends it all as the client reads; the socket itself stays with
// the loop.
#pragma once

#include <cstddef>
#include <string>

#include "platform/file_ptr.hpp"
#include "platform/producer.hpp"

namespace fwk {

struct Connection {
  std::string response;  // bytes to send first
  FilePtr stream_file;   // then this file, from stream_offset on
  long long stream_offset = 0;
  ProducerPtr stream_producer;  // or what this producer makes, as it comes
  std::string after_file;  // then what was written after the body was handed over
};

// Adds n bytes to the response. Returns n.
size_t conn_send(Connection& connection, const char* bytes, size_t n);

// Hands an open file over: it is sent from its current position after what
// was written so far, and closed once sent. False (the caller keeps the
// file) when the connection already has a body.
bool conn_stream_file(Connection& connection, FilePtr& file);

// Hands a producer over: what it makes is sent after what was written so
// far. False (the caller keeps it) when the connection already has a body.
bool conn_stream_producer(Connection& connection, ProducerPtr& producer);

// True once a body has been handed over.
inline bool conn_has_body(const Connection& connection) {
  return connection.stream_file || connection.stream_producer;
}

}  // namespace fwk
