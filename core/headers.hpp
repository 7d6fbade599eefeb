// The header block that opens every HTTP response.
#pragma once

#include "core/sink.hpp"

namespace fwk {

// Header text used when the caller gives none.
inline constexpr const char* kDefaultHeaderText = "Content-type: text/html; charset=utf-8\n\n";

// The header line of a body sent in chunks (sink_stream_body).
inline constexpr const char* kChunkedHeader = "Transfer-Encoding: chunked\r\n";

// Writes the status line ("302 Found" when the header text starts with
// "Location:" in any case, else "200 OK"), the fixed no-cache block and the
// header text unchanged (absent or "": the default). Returns 1.
int write_headers(OutputSink* sink, const char* header_text);

}  // namespace fwk
