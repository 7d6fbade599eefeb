// Collecting one request from bytes as they arrive, in pieces of any size,
// and telling when it is whole. The server loop feeds it; nothing here waits
// or touches a socket.
#pragma once

#include <cstddef>
#include <string>

#include "http/request.hpp"

namespace fwk {

struct RequestReader {
  std::string text;             // the request so far
  RequestShape shape;           // known once the header block has ended
  size_t scanned = 0;           // the blank line is searched for from here on
  bool wants_continue = false;  // "Expect: 100-continue" before a body
};

enum class ReadProgress {
  more,       // not whole yet
  complete,   // whole: text holds the request (a body cut to its length)
  too_large,  // more than kRequestLimit bytes, said or sent: answer 413
  bad_length,       // a Content-Length that is not a number: answer 400
  length_required,  // a body in a transfer coding (chunked): answer 411
};

// Adds the next bytes. A request is whole when its header block has ended
// and, with a Content-Length, that many body bytes have arrived (more are
// dropped); a POST without Content-Length is whole only by silence or close.
ReadProgress reader_take(RequestReader& reader, const char* bytes, size_t n);

// How a request ends when the client closes its side: whole, or cut short
// when the body its Content-Length announced has not all arrived.
enum class ClosedRequest { complete, cut_short };
ClosedRequest reader_at_close(const RequestReader& reader);

// True when a pause of the silence window makes the request whole: a POST
// whose header block has ended and that announced no length. A connection
// that has sent nothing yet waits for its request: browsers open
// connections ahead of their next request, and an answer sent on one before
// it was asked for would be read as the answer to that request (a form's
// answers would be lost behind the HOME document). Only a client that closes
// without sending anything is served the HOME document. A connection in the
// middle of its header block is never served by silence.
bool reader_ends_by_silence(const RequestReader& reader);

// True once the header block has ended (for the answer at the deadline:
// 408 before, 400 for a body that did not arrive after).
bool reader_header_ended(const RequestReader& reader);

}  // namespace fwk
