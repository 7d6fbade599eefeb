// The output sink: where every byte of a response, a report file or a
// captured text goes. The first present target receives the bytes; the sink
// owns none of them. A sink with no target (or an absent sink) swallows
// everything, so the same code can run without output.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>

#include "core/connection.hpp"
#include "core/page_budget.hpp"
#include "core/text_buffer.hpp"

namespace fwk {

struct OutputSink {
  Connection* connection = nullptr;
  std::FILE* file = nullptr;
  TextBuffer* text = nullptr;
  // The page budget the bytes count against (page_budget.hpp); absent: no
  // limit. Once it has run out, writes are dropped.
  PageBudget* budget = nullptr;
};

// Writes n bytes to the first present target; returns the count written
// (0 when the sink, its targets or the bytes are absent, or when the sink's
// budget does not cover them).
size_t sink_write(OutputSink* sink, const char* bytes, size_t n);

// Copies the rest of an open file to the sink. A queued connection takes the
// file over and sends it as its client reads (`file` is then empty), so a
// large file is never held in memory; otherwise it is copied in blocks and
// stays open.
void sink_copy_file(OutputSink* sink, FilePtr& file);

// Receives the pieces of a body as they are made: false once nobody wants
// them any more (the maker should stop). n == 0 writes nothing and only
// tells, for a maker that may work long between two pieces.
using BodyPut = std::function<bool(const char* bytes, size_t n)>;

// Makes a body through `put`; true when it was made whole.
using BodyMaker = std::function<bool(const BodyPut& put)>;

// Sends a body that takes long to make, in HTTP chunks (the header text
// written before it carries kChunkedHeader). On a queued connection `make`
// runs on a thread of its own (so it must own what it uses) and the server
// loop sends what it makes as the client reads; otherwise it runs here and
// writes through the sink. A body not made whole ends without its last
// chunk, so that the client can tell it is incomplete.
void sink_stream_body(OutputSink* sink, BodyMaker make);

}  // namespace fwk
