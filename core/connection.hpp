// What a handler's response becomes on its way to the client: the bytes
// written collect in `response`, a file handed over with conn_stream_file
// follows them, then whatever was written after it. The server loop sends
// it all as the client reads; the socket itself stays with the loop.
#pragma once

#include <cstddef>
#include <string>

#include "platform/file_ptr.hpp"

namespace fwk {

struct Connection {
  std::string response;  // bytes to send first
  FilePtr stream_file;   // then this file, from stream_offset on
  long long stream_offset = 0;
  std::string after_file;  // then what was written after the file was handed over
};

// Adds n bytes to the response. Returns n.
size_t conn_send(Connection& connection, const char* bytes, size_t n);

// Hands an open file over: it is sent from its current position after what
// was written so far, and closed once sent. False (the caller keeps the
// file) when the connection already has a file.
bool conn_stream_file(Connection& connection, FilePtr& file);

}  // namespace fwk
