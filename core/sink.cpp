#include "core/sink.hpp"

#include <cstdio>
#include <memory>
#include <utility>

#include "platform/producer.hpp"

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

namespace {

constexpr const char kLastChunk[] = "0\r\n\r\n";

// Frames each piece as one chunk for `raw`, which takes bytes as they are.
BodyPut chunked(BodyPut raw) {
  return [raw = std::move(raw)](const char* bytes, size_t n) {
    if (n == 0) return raw(nullptr, 0);
    char head[24];
    int length = std::snprintf(head, sizeof head, "%zx\r\n", n);
    return raw(head, static_cast<size_t>(length)) && raw(bytes, n) && raw("\r\n", 2);
  };
}

bool make_chunked(const BodyMaker& make, const BodyPut& raw) {
  if (!make(chunked(raw))) return false;
  return raw(kLastChunk, sizeof kLastChunk - 1);
}

}  // namespace

void sink_stream_body(OutputSink* sink, BodyMaker make) {
  if (sink && sink->connection && sink->connection->queued && !conn_has_body(*sink->connection)) {
    ProducerPtr producer = producer_start([make](ProducerOutput& output) {
      return make_chunked(
          make, [&output](const char* bytes, size_t n) { return producer_put(output, bytes, n); });
    });
    if (producer) {
      conn_stream_producer(*sink->connection, producer);
      return;
    }
  }
  make_chunked(make, [sink](const char* bytes, size_t n) {
    return n == 0 || sink_write(sink, bytes, n) == n;
  });
}

}  // namespace fwk
