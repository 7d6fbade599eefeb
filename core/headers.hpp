// The header block that opens every HTTP response.
#pragma once

#include "core/sink.hpp"

namespace fwk {

// Header text used when the caller gives none.
inline constexpr const char* kDefaultHeaderText = "Content-type: text/html; charset=utf-8\n\n";

inline constexpr const char* kOkStatus = "HTTP/1.1 200 OK\r\n";
inline constexpr const char* kFoundStatus = "HTTP/1.1 302 Found\r\n";
inline constexpr const char* kTooManyRequestsStatus = "HTTP/1.1 429 Too Many Requests\r\n";
inline constexpr const char* kUnavailableStatus = "HTTP/1.1 503 Service Unavailable\r\n";

// Lines every response carries after the caller's own header lines: no
// page of this server may be framed by another, sniffed as another type,
// reveal its address (which may hold a password) to the next site, or be
// kept by a cache (pages show answers).
inline constexpr const char* kProtectionHeaders =
    "Referrer-Policy: no-referrer\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "X-Frame-Options: DENY\r\n"
    "Cache-Control: no-store\r\n";

// The header line of a body sent in chunks (sink_stream_body).
inline constexpr const char* kChunkedHeader = "Transfer-Encoding: chunked\r\n";

// Writes the status line ("302 Found" when the header text starts with
// "Location:" in any case, else "200 OK"), the fixed no-cache block and the
// header text (absent or "": the default) with the protection lines added
// before the blank line that ends it. Returns 1.
int write_headers(OutputSink* sink, const char* header_text);

// The same with the status line given (with its line end).
void write_status_headers(OutputSink* sink, const char* status_line, const char* header_text);

}  // namespace fwk
