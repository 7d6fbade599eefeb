#include "core/sink.hpp"

namespace fwk {

size_t sink_write(OutputSink* sink, const char* bytes, size_t n) {
  if (!sink || !bytes) return 0;
  if (sink->budget && !budget_take_bytes(sink->budget, n)) return 0;
  if (sink->connection) return conn_send(*sink->connection, bytes, n);
  if (sink->file) return std::fwrite(bytes, 1, n, sink->file);
  if (sink->text) return tbuf_append(*sink->text, bytes, n);
  return 0;
}

}  // namespace fwk
