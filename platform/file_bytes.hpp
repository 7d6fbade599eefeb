// Reading single bytes from a buffered stream without taking the stream's
// lock for every byte. Only for streams that one thread uses at a time (every
// file the server opens is used by the request that opened it).
#pragma once

#include <stdio.h>

#include <cstdio>

namespace fwk {

// The next byte (0..255) of the stream, or EOF.
inline int file_getc(std::FILE* file) {
  return getc_unlocked(file);
}

}  // namespace fwk
