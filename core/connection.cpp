#include "core/connection.hpp"

#include <cstring>

#include "platform/socket.hpp"

namespace fwk {

size_t conn_send(Connection& c, const char* bytes, size_t n) {
  if (c.queued) {
    (conn_has_body(c) ? c.after_file : c.response).append(bytes, n);
    return n;
  }
  if (c.pending >= kSendBufferSize) conn_flush(c);  // never between calls; keeps the copy in bounds
  if (c.pending + n < kSendBufferSize) {
    std::memcpy(c.send_buffer.data() + c.pending, bytes, n);
    c.pending += n;
    return n;
  }
  // Fill the buffer exactly and send it as one packet.
  size_t fill = kSendBufferSize - c.pending;
  std::memcpy(c.send_buffer.data() + c.pending, bytes, fill);
  socket_send(c.socket, c.send_buffer.data(), kSendBufferSize);
  c.pending = 0;
  // Keep a short remainder; a long one leaves at once without copying.
  size_t rest = n - fill;
  if (rest < kSendBufferSize) {
    std::memcpy(c.send_buffer.data(), bytes + fill, rest);
    c.pending = rest;
  } else {
    socket_send(c.socket, bytes + fill, rest);
  }
  return n;
}

bool conn_stream_file(Connection& c, FilePtr& file) {
  if (!c.queued || conn_has_body(c) || !file) return false;
  long at = std::ftell(file.get());
  c.stream_offset = at > 0 ? at : 0;
  c.stream_file = std::move(file);
  return true;
}

bool conn_stream_producer(Connection& c, ProducerPtr& producer) {
  if (!c.queued || conn_has_body(c) || !producer) return false;
  c.stream_producer = std::move(producer);
  return true;
}

void conn_flush(Connection& c) {
  if (c.pending > 0) socket_send(c.socket, c.send_buffer.data(), c.pending);
  c.pending = 0;
}

}  // namespace fwk
