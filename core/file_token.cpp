#include "core/file_token.hpp"

#include <cstring>

namespace fwk {

int file_read_token(std::FILE* file, std::string* buf, size_t size, const char* delims, int skip) {
  if (buf) buf->clear();
  if (!file) return -1;
  if (!delims) delims = "";
  size_t room = size > 0 ? size - 1 : 0;
  if (std::feof(file)) return -1;
  for (;;) {
    int c = std::fgetc(file);
    if (c == EOF) return -1;
    if (skip != 0 && static_cast<unsigned char>(c) == static_cast<unsigned char>(skip)) continue;
    if (c == 0 || std::strchr(delims, c)) return static_cast<signed char>(c);
    if (buf && buf->size() < room) buf->push_back(static_cast<char>(c));
  }
}

}  // namespace fwk
