// Character tests shared by the expression evaluator, the template
// processor and form filling. ASCII only, whatever the locale.
#pragma once

#include <cstddef>

#include "core/ascii.hpp"

namespace fwk {

inline bool scan_is_digit(int c) {
  return c >= '0' && c <= '9';
}

// Whether c occurs in the zero-terminated set (a zero byte never does).
inline bool scan_in_set(int c, const char* set) {
  if (c == 0) return false;
  for (; *set; ++set)
    if (static_cast<unsigned char>(*set) == c) return true;
  return false;
}

inline const char* scan_skip_space(const char* p) {
  while (ascii_is_space(static_cast<unsigned char>(*p))) ++p;
  return p;
}

}  // namespace fwk
