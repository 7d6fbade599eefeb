#include "http/request_reader.hpp"

#include <string_view>

namespace fwk {

namespace {

bool is_post(std::string_view text) {
  return text.substr(0, 5) == "POST ";
}

// Where the request is whole, or npos while its end is not known yet.
size_t whole_size(const RequestReader& reader) {
  const RequestShape& shape = reader.shape;
  if (shape.body_start == std::string_view::npos) return std::string_view::npos;
  if (shape.content_length >= 0) {
    return shape.body_start + static_cast<size_t>(shape.content_length);
  }
  return is_post(reader.text) ? std::string_view::npos : shape.body_start;
}

}  // namespace

ReadProgress reader_take(RequestReader& reader, const char* bytes, size_t n) {
  reader.text.append(bytes, n);
  if (!reader_header_ended(reader)) {
    // A blank line may straddle the pieces: look again from a little back.
    size_t from = reader.scanned >= 3 ? reader.scanned - 3 : 0;
    reader.scanned = reader.text.size();
    if (request_body_start(reader.text, from) != std::string_view::npos) {
      reader.shape = request_shape(reader.text);
      reader.wants_continue =
          reader.shape.content_length > 0 && request_expects_continue(reader.text);
    }
  }
  // A body whose end cannot be told is refused as soon as the header says so.
  if (reader.shape.framing == BodyFraming::invalid_length) return ReadProgress::bad_length;
  if (reader.shape.framing == BodyFraming::transfer_coded) return ReadProgress::length_required;
  // A request is judged by its own size, not by what its client sent after it.
  size_t whole = whole_size(reader);
  if (whole != std::string_view::npos) {
    if (whole > kRequestLimit) return ReadProgress::too_large;
    if (reader.text.size() >= whole) {
      reader.text.resize(whole);
      reader.wants_continue = false;
      return ReadProgress::complete;
    }
  }
  if (reader.text.size() > kRequestLimit) return ReadProgress::too_large;
  return ReadProgress::more;
}

ClosedRequest reader_at_close(const RequestReader& reader) {
  const RequestShape& shape = reader.shape;
  if (reader_header_ended(reader) && shape.content_length >= 0 &&
      reader.text.size() < shape.body_start + static_cast<size_t>(shape.content_length)) {
    return ClosedRequest::cut_short;
  }
  return ClosedRequest::complete;
}

bool reader_ends_by_silence(const RequestReader& reader) {
  return reader_header_ended(reader) && reader.shape.content_length < 0 && is_post(reader.text);
}

bool reader_header_ended(const RequestReader& reader) {
  return reader.shape.body_start != std::string_view::npos;
}

}  // namespace fwk
