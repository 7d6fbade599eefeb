// Fuzzes reading tokens from a file: the first byte is the area size, the
// second the skip character, the next up to four bytes (to a zero) the
// delimiter set; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/file_token.hpp"
#include "platform/file_ptr.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t area = data[0];
  int skip = data[1];
  size_t pos = 2;
  std::string delims;
  while (pos < size && delims.size() < 4 && data[pos] != 0)
    delims += static_cast<char>(data[pos++]);
  if (pos < size && data[pos] == 0) ++pos;

  fwk::FilePtr file(std::tmpfile());
  if (!file) return 0;
  std::fwrite(data + pos, 1, size - pos, file.get());
  std::rewind(file.get());

  std::string token;
  size_t tokens = 0;
  for (;;) {
    int delim = fwk::file_read_token(file.get(), &token, area, delims.c_str(), skip);
    if (area > 0 && token.size() > area - 1) std::abort();
    if (area == 0 && !token.empty()) std::abort();
    if (skip != 0 && token.find(static_cast<char>(skip)) != std::string::npos) std::abort();
    if (delim == -1 || ++tokens > size) break;
  }
  return 0;
}
