// Text buffers: a chain of byte chunks that never moves bytes once stored.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace fwk {

struct OutputSink;

// One chunk: `capacity` usable bytes plus an always-zero byte after them.
struct TextChunk {
  std::unique_ptr<char[]> data;
  size_t capacity = 0;
  size_t length = 0;
};

// The chunks in order; new bytes go to the last chunk. Chunks added on
// overflow hold at least kTextChunkMinimum bytes.
struct TextBuffer {
  std::vector<TextChunk> chunks;
};

constexpr size_t kTextChunkMinimum = 1024;

// A buffer of one empty chunk of the given capacity.
TextBuffer tbuf_new(size_t capacity);

// Appends n bytes (zero bytes included); returns n.
size_t tbuf_append(TextBuffer& buffer, const char* bytes, size_t n);
// Appends a zero-terminated text; 0 for an absent text.
size_t tbuf_append_text(TextBuffer& buffer, const char* text);

// Total number of stored bytes.
size_t tbuf_length(const TextBuffer& buffer);

// Copies at most `limit` stored bytes to dest, in order; returns the count.
size_t tbuf_copy_out(const TextBuffer& buffer, char* dest, size_t limit);

// All stored bytes as one string.
std::string tbuf_to_text(const TextBuffer& buffer);

// Writes every chunk's bytes, in order, to the sink (nothing when absent).
void tbuf_send(OutputSink* sink, const TextBuffer& buffer);

}  // namespace fwk
