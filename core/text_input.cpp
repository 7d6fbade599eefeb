#include "core/text_input.hpp"

#include <algorithm>

namespace fwk {

namespace {

void set_window(TextInput& in, const unsigned char* data, std::size_t n, long pos) {
  in.start = data;
  in.cur = data;
  in.end = data + n;
  in.start_pos = pos;
  ++in.refills;
}

}  // namespace

TextInput input_from_memory(const char* data, std::size_t n) {
  TextInput in;
  set_window(in, reinterpret_cast<const unsigned char*>(data), data ? n : 0, 0);
  return in;
}

TextInput input_from_memory(std::string_view text) {
  return input_from_memory(text.data(), text.size());
}

TextInput input_from_file(std::FILE* file) {
  TextInput in;
  in.file = file;
  long pos = file ? std::ftell(file) : 0;
  set_window(in, nullptr, 0, pos < 0 ? 0 : pos);
  return in;
}

int input_refill_getc(TextInput& in) {
  if (!in.file || !budget_ok(in.budget)) return kInputEnd;
  long pos = input_tell(in);
  if (in.window.size() != kInputWindow) in.window.resize(kInputWindow);
  std::size_t n = std::fread(in.window.data(), 1, in.window.size(), in.file);
  set_window(in, in.window.data(), n, pos);
  if (n == 0) return kInputEnd;
  return *in.cur++;
}

bool input_seek(TextInput& in, long pos) {
  if (pos < 0) return false;
  long window_end = in.start_pos + static_cast<long>(in.end - in.start);
  if (pos >= in.start_pos && pos <= window_end) {
    in.cur = in.start + (pos - in.start_pos);
    return true;
  }
  if (!in.file) {
    in.cur = in.end;  // beyond the text: at its end
    return true;
  }
  if (std::fseek(in.file, pos, SEEK_SET) != 0) return false;
  set_window(in, in.window.data(), 0, pos);
  return true;
}

void input_sync(TextInput& in) {
  if (in.file) std::fseek(in.file, input_tell(in), SEEK_SET);
}

namespace {

// Reads a token up to a byte of `stops`; a stop byte equal to `skip` (when
// not 0) is dropped and the read goes on.
int read_token(TextInput& in, std::string* buf, std::size_t size, const ByteSet& stops, int skip) {
  const std::size_t room = size > 0 ? size - 1 : 0;
  // Most tokens end within the bytes at hand: one scan and one copy.
  const unsigned char* p = in.cur;
  while (p < in.end && !stops.has(*p)) ++p;
  if (p < in.end && (skip == 0 || *p != skip)) {
    if (buf)
      buf->assign(reinterpret_cast<const char*>(in.cur),
                  std::min(static_cast<std::size_t>(p - in.cur), room));
    in.cur = p + 1;
    return *p;
  }
  if (buf) buf->clear();
  while (true) {
    if (in.cur == in.end) {
      if (input_refill_getc(in) == kInputEnd) return kInputEnd;
      input_ungetc(in);
    }
    p = in.cur;
    while (p < in.end && !stops.has(*p)) ++p;
    if (buf && buf->size() < room) {
      std::size_t n = std::min(static_cast<std::size_t>(p - in.cur), room - buf->size());
      buf->append(reinterpret_cast<const char*>(in.cur), n);
    }
    in.cur = p;
    if (p == in.end) continue;
    int c = *in.cur++;
    if (skip != 0 && c == skip) continue;
    return c;
  }
}

}  // namespace

int input_read_token(TextInput& in, std::string* buf, std::size_t size, const char* delims,
                     int skip) {
  ByteSet stops(delims);
  if (skip > 0 && skip < 256) stops.add(static_cast<unsigned char>(skip));
  return read_token(in, buf, size, stops, skip);
}

int input_read_token(TextInput& in, std::string* buf, std::size_t size, const ByteSet& delims) {
  return read_token(in, buf, size, delims, 0);
}

}  // namespace fwk
