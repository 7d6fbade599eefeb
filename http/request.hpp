// Reading a request from a connection, splitting it, and decoding its
// url-form encoded parameters into the request list.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/plist.hpp"

namespace fwk {

// Leading entries of the request list (HOST, DATE, TIME) and the free slots
// after them that the engines fill later.
constexpr int kRequestReserved = 3;
constexpr int kRequestFreeSlots = 64;

// A request larger than this is refused (413) and not dispatched.
constexpr size_t kRequestLimit = 1024 * 1024;

// How a request says where its body ends.
enum class BodyFraming {
  unstated,        // no Content-Length and no Transfer-Encoding
  length,          // a Content-Length that is a plain decimal number
  invalid_length,  // a Content-Length that is not one: answered with 400
  transfer_coded,  // a Transfer-Encoding (chunked): answered with 411
};

// Where the header block ends and how long the body is said to be.
struct RequestShape {
  size_t body_start = std::string_view::npos;  // npos: the header block has not ended
  long long content_length = -1;               // -1: no usable Content-Length
  BodyFraming framing = BodyFraming::unstated;
};

// The body starts after the first blank line ("\r\n\r\n" or "\n\n",
// whichever comes first). Content-Length and Transfer-Encoding are read
// from the header lines (names in any case).
RequestShape request_shape(std::string_view text);

// The value of the request's first header line called `name` (any case),
// without surrounding blanks; "" when it has none.
std::string request_header_value(std::string_view text, std::string_view name);

// Offset just after the first blank line that ends at or after `from`, or
// npos.
size_t request_body_start(std::string_view text, size_t from);

// True when the header block (which has ended) asks for "100-continue".
bool request_expects_continue(std::string_view text);

// The request line cut in place: method, path and rest are pieces of the
// request text. The path has lost its first character; query is the text
// after the path's first "?" (nullptr when it has none).
struct RequestLine {
  char* method = nullptr;
  char* path = nullptr;
  char* query = nullptr;
  char* rest = nullptr;
};

// Splits the zero-terminated request text in place (see RequestLine). The
// path is not yet cut at "?": that happens after the HOME document has
// replaced an empty path (split_query).
RequestLine split_request_line(char* text);

// Cuts `path` at its first "?" and returns the text after it (or nullptr).
char* split_query(char* path);

// The parameter text: the query of a GET, the body of a POST (after the
// first blank line of the rest), nothing for other methods.
char* find_parameter_text(const RequestLine& line);

// Decodes url-form encoded `text` (modified in place; text[length] must be
// the terminating zero) into a new list: `reserved` empty leading entries,
// `free_slots` free slots (name and value ""), then the decoded pairs in
// order. Pairs with an empty name are dropped. None for an absent or empty
// text.
ParamListPtr parse_form_data(int reserved, char* text, size_t length, int free_slots);

// Replaces each "%" and the two characters after it by one byte, in place;
// returns the new length. A "%" with fewer than two characters after it is
// kept as it stands; an escape of the byte 0 gives a space.
size_t url_decode(char* text);

// The byte of a two-character hex escape. The characters are not
// validated: the result is kept to its low 8 bits.
int hex_pair_value(char c1, char c2);

}  // namespace fwk
