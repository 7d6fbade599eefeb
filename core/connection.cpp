#include "core/connection.hpp"

namespace fwk {

size_t conn_send(Connection& c, const char* bytes, size_t n) {
  (conn_has_body(c) ? c.after_file : c.response).append(bytes, n);
  return n;
}

bool conn_stream_file(Connection& c, FilePtr& file) {
  if (conn_has_body(c) || !file) return false;
  long at = std::ftell(file.get());
  c.stream_offset = at > 0 ? at : 0;
  c.stream_file = std::move(file);
  return true;
}

bool conn_stream_producer(Connection& c, ProducerPtr& producer) {
  if (conn_has_body(c) || !producer) return false;
  c.stream_producer = std::move(producer);
  return true;
}

}  // namespace fwk
