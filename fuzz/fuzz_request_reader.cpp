// Feeds arbitrary bytes to the request reader split at arbitrary points, as a
// network delivers them, and checks that the pieces make no difference: the
// same verdict, the same request text and the same header block as when the
// bytes come in one piece. The first byte gives the number of piece sizes
// that follow it; the sizes are used in turn until the stream ends.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "http/request_reader.hpp"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t sizes_count = data[0] % 32;
  if (size < 1 + sizes_count) return 0;
  std::vector<size_t> sizes;
  for (size_t i = 0; i < sizes_count; ++i) sizes.push_back(size_t{data[1 + i]} + 1);
  if (sizes.empty()) sizes.push_back(1);
  const char* stream = reinterpret_cast<const char*>(data) + 1 + sizes_count;
  size_t length = size - 1 - sizes_count;

  fwk::RequestReader whole;
  fwk::ReadProgress whole_progress = fwk::reader_take(whole, stream, length);

  fwk::RequestReader pieces;
  fwk::ReadProgress pieces_progress = fwk::ReadProgress::more;
  size_t at = 0;
  for (size_t turn = 0; at < length && pieces_progress == fwk::ReadProgress::more; ++turn) {
    size_t n = std::min(sizes[turn % sizes.size()], length - at);
    pieces_progress = fwk::reader_take(pieces, stream + at, n);
    at += n;
  }

  check(whole_progress == pieces_progress);
  // A refused request is not read on: what was taken of it does not matter.
  if (whole_progress == fwk::ReadProgress::too_large ||
      whole_progress == fwk::ReadProgress::bad_length ||
      whole_progress == fwk::ReadProgress::length_required)
    return 0;
  check(whole.text == pieces.text);
  check(whole.shape.body_start == pieces.shape.body_start);
  check(whole.shape.content_length == pieces.shape.content_length);
  check(whole.text.size() <= fwk::kRequestLimit);
  check(std::string_view(stream, length).substr(0, whole.text.size()) == whole.text);
  if (whole_progress == fwk::ReadProgress::more) {
    check(fwk::reader_ends_by_silence(whole) == fwk::reader_ends_by_silence(pieces));
    check(fwk::reader_at_close(whole) == fwk::reader_at_close(pieces));
    // Nothing short of the end of the header block is ever served by silence,
    // not even a connection that has sent nothing yet: it waits for its request.
    if (!fwk::reader_header_ended(whole)) check(!fwk::reader_ends_by_silence(whole));
  }
  return 0;
}
