#include "core/text_buffer.hpp"

#include <algorithm>
#include <cstring>

#include "core/sink.hpp"

namespace fwk {

namespace {

TextChunk make_chunk(size_t capacity) {
  TextChunk chunk;
  chunk.data = std::make_unique<char[]>(capacity + 1);  // value-initialised: all zero
  chunk.capacity = capacity;
  return chunk;
}

}  // namespace

TextBuffer tbuf_new(size_t capacity) {
  TextBuffer buffer;
  buffer.chunks.push_back(make_chunk(capacity));
  return buffer;
}

size_t tbuf_append(TextBuffer& buffer, const char* bytes, size_t n) {
  if (n == 0 || !bytes) return 0;
  if (buffer.chunks.empty()) buffer.chunks.push_back(make_chunk(0));
  TextChunk& last = buffer.chunks.back();
  size_t room = last.capacity - last.length;
  size_t first = std::min(n, room);
  std::memcpy(last.data.get() + last.length, bytes, first);
  last.length += first;
  size_t rest = n - first;
  if (rest > 0) {
    TextChunk chunk = make_chunk(std::max(rest, kTextChunkMinimum));
    std::memcpy(chunk.data.get(), bytes + first, rest);
    chunk.length = rest;
    buffer.chunks.push_back(std::move(chunk));
  }
  return n;
}

size_t tbuf_append_text(TextBuffer& buffer, const char* text) {
  return text ? tbuf_append(buffer, text, std::strlen(text)) : 0;
}

size_t tbuf_length(const TextBuffer& buffer) {
  size_t total = 0;
  for (const TextChunk& chunk : buffer.chunks) total += chunk.length;
  return total;
}

size_t tbuf_copy_out(const TextBuffer& buffer, char* dest, size_t limit) {
  size_t copied = 0;
  for (const TextChunk& chunk : buffer.chunks) {
    if (copied >= limit) break;
    size_t n = std::min(chunk.length, limit - copied);
    std::memcpy(dest + copied, chunk.data.get(), n);
    copied += n;
  }
  return copied;
}

std::string tbuf_to_text(const TextBuffer& buffer) {
  std::string text;
  text.reserve(tbuf_length(buffer));
  for (const TextChunk& chunk : buffer.chunks) text.append(chunk.data.get(), chunk.length);
  return text;
}

void tbuf_send(OutputSink* sink, const TextBuffer& buffer) {
  if (!sink) return;
  for (const TextChunk& chunk : buffer.chunks) sink_write(sink, chunk.data.get(), chunk.length);
}

}  // namespace fwk
