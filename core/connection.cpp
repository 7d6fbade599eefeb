#include "core/connection.hpp"

namespace fwk {

size_t conn_send(Connection& c, const char* bytes, size_t n) {
  (c.stream_file ? c.after_file : c.response).append(bytes, n);
  return n;
}

bool conn_stream_file(Connection& c, FilePtr& file) {
  if (c.stream_file || !file) return false;
  long at = std::ftell(file.get());
  c.stream_offset = at > 0 ? at : 0;
  c.stream_file = std::move(file);
  return true;
}

}  // namespace fwk
