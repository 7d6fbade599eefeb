// Text input: the byte source that templates and scripts are read from,
// an open file or a text in memory, read one byte at a time with positions
// that can be told and sought.
//
// Bytes are served from a window (the memory text itself, or a block read
// from the file), so reading a byte is a pointer compare and increment;
// the library is called only when the window runs out. Positions are
// offsets from the start of the source (for a file: file offsets, so a
// position told here can be given to fseek and back).
//
// A file source reads ahead: while an input is in use its file's own
// position lies beyond the input's. input_sync puts the file where the
// input is, for a caller that goes on with the FILE* itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/page_budget.hpp"
#include "core/text_util.hpp"

namespace fwk {

struct TextInput {
  const unsigned char* start = nullptr;  // first byte at hand
  const unsigned char* cur = nullptr;    // next byte to read
  const unsigned char* end = nullptr;    // end of the bytes at hand
  long start_pos = 0;                    // source position of `start`
  std::FILE* file = nullptr;             // the file read (not owned), or none
  unsigned long refills = 0;             // counts the windows brought in
  std::vector<unsigned char> window;     // file bytes at hand
  // The page budget (not owned; may be absent): once it has run out, the
  // source reads as ended when its bytes at hand are used up.
  PageBudget* budget = nullptr;

  TextInput() = default;
  TextInput(TextInput&&) = default;
  TextInput& operator=(TextInput&&) = default;
  TextInput(const TextInput&) = delete;
  TextInput& operator=(const TextInput&) = delete;
};

constexpr int kInputEnd = -1;
constexpr std::size_t kInputWindow = 16384;

// An input over n bytes in memory (not copied: they must outlive the input).
TextInput input_from_memory(const char* data, std::size_t n);
TextInput input_from_memory(std::string_view text);

// An input reading the file from its current position. The caller keeps
// the file open while the input is used and closes it afterwards.
TextInput input_from_file(std::FILE* file);

// Slow path of input_getc: brings in the next block of the file.
int input_refill_getc(TextInput& in);

// The next byte (0..255), or kInputEnd at the end of the source.
inline int input_getc(TextInput& in) {
  if (in.cur < in.end) return *in.cur++;
  return input_refill_getc(in);
}

// Steps back over the byte just read (only within the bytes at hand; a
// step back right after a refill or a seek is ignored).
inline void input_ungetc(TextInput& in) {
  if (in.cur > in.start) --in.cur;
}

// The position of the next byte.
inline long input_tell(const TextInput& in) {
  return in.start_pos + static_cast<long>(in.cur - in.start);
}

// Moves to a position. False (position unchanged) for a negative position,
// or when the file cannot seek there. A memory input is clamped to its end.
bool input_seek(TextInput& in, long pos);

// Moves a file source's FILE* to the input's position (nothing for memory).
void input_sync(TextInput& in);

// Reads bytes up to a byte of `delims` (a zero byte always counts as one),
// dropping bytes equal to `skip` (when not 0). The token is kept in *buf
// (emptied first; may be nullptr) up to size - 1 characters; the rest of a
// longer token is read and dropped. The delimiter is consumed, not stored.
// Returns the delimiter, or kInputEnd when the source ends first (*buf then
// holds what was read).
int input_read_token(TextInput& in, std::string* buf, std::size_t size, const char* delims,
                     int skip);

// Reads a quoted text whose opening quote has been read, up to and
// including the matching `quote`; a backslash escape gives the character
// text_unescape says. Each character of the text goes to keep(c). False
// when the source ended before the closing quote.
template <class Keep>
bool input_read_quoted(TextInput& in, int quote, Keep&& keep) {
  for (;;) {
    int c = input_getc(in);
    if (c == kInputEnd) return false;
    if (c == quote) return true;
    if (c == '\\') {
      c = input_getc(in);
      if (c == kInputEnd) return false;
      c = text_unescape(c);
    }
    keep(c);
  }
}

// A set of delimiter bytes made once (a zero byte always belongs to it),
// for the token reads of the hot loops.
// One flag per byte value: a single load per byte tested.
struct ByteSet {
  std::array<bool, 256> member{true};
  constexpr explicit ByteSet(const char* bytes) {
    for (; *bytes; ++bytes) add(static_cast<unsigned char>(*bytes));
  }
  constexpr void add(unsigned char c) { member[c] = true; }
  constexpr bool has(unsigned char c) const { return member[c]; }
};

// file_read_token with a prepared delimiter set and no skip byte.
int input_read_token(TextInput& in, std::string* buf, std::size_t size, const ByteSet& delims);

}  // namespace fwk
