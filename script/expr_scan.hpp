// Character tests shared by the expression evaluator, the template
// processor and form filling. ASCII only, whatever the locale.
#pragma once

#include <cstddef>

namespace fwk {

// " \t\r\n": the whitespace of the template and expression languages.
inline bool scan_is_space(int c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

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

inline int scan_fold(int c) {
  return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

// Whether text begins with the first n characters of word, ignoring ASCII
// case (the text must hold at least n characters).
inline bool scan_starts_nocase(const char* text, const char* word, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    int a = static_cast<unsigned char>(text[i]);
    if (a == 0) return false;
    if (scan_fold(a) != scan_fold(static_cast<unsigned char>(word[i]))) return false;
  }
  return true;
}

inline const char* scan_skip_space(const char* p) {
  while (scan_is_space(static_cast<unsigned char>(*p))) ++p;
  return p;
}

}  // namespace fwk
