#include "core/sink.hpp"

#include <memory>

namespace fwk {

size_t sink_write(OutputSink* sink, const char* bytes, size_t n) {
  if (!sink || !bytes) return 0;
  if (sink->budget && !budget_take_bytes(sink->budget, n)) return 0;
  if (sink->connection) return conn_send(*sink->connection, bytes, n);
  if (sink->file) return std::fwrite(bytes, 1, n, sink->file);
  if (sink->text) return tbuf_append(*sink->text, bytes, n);
  return 0;
}

void sink_copy_file(OutputSink* sink, FilePtr& file) {
  if (!file) return;
  if (sink && sink->connection && conn_stream_file(*sink->connection, file)) return;
  constexpr size_t kCopyBlock = 65536;
  auto block = std::make_unique_for_overwrite<char[]>(kCopyBlock);
  for (;;) {
    size_t got = std::fread(block.get(), 1, kCopyBlock, file.get());
    if (got > 0) sink_write(sink, block.get(), got);
    if (got < kCopyBlock) return;
  }
}

}  // namespace fwk
