// ASCII text primitives: the one case folding and space test of the
// system. Names (parameters, keys, fields, tags, keywords) are compared
// ignoring ASCII case only; bytes above 127 are never folded, whatever the
// locale.
#pragma once

#include <string_view>

namespace fwk {

// The lower-case form of an ASCII letter; any other byte unchanged. Takes
// a char or a byte value (0 to 255).
inline int ascii_fold(int c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? u + ('a' - 'A') : u;
}

// Space, tab, carriage return or line feed: the white space of templates,
// scripts and expressions.
inline bool ascii_is_space(int c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// True when both texts have the same length and agree ignoring ASCII case.
inline bool text_equal_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && ascii_fold(a[i]) != ascii_fold(b[i])) return false;
  return true;
}

// True when the text begins with the first n characters of word, ignoring
// ASCII case; a text that ends (zero byte) before n characters does not.
inline bool text_starts_nocase(const char* text, const char* word, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (text[i] == '\0') return false;
    if (text[i] != word[i] && ascii_fold(text[i]) != ascii_fold(word[i])) return false;
  }
  return true;
}

inline bool text_ends_nocase(std::string_view text, std::string_view suffix) {
  return suffix.size() <= text.size() &&
         text_equal_nocase(text.substr(text.size() - suffix.size()), suffix);
}

// True when `part` occurs in the text ignoring ASCII case ("" occurs in
// every text).
inline bool text_contains_nocase(std::string_view text, std::string_view part) {
  for (size_t i = 0; i + part.size() <= text.size(); ++i)
    if (text_equal_nocase(text.substr(i, part.size()), part)) return true;
  return false;
}

// The text without leading and trailing characters of `chars`.
inline std::string_view text_trim(std::string_view text, std::string_view chars = " \t\r\n") {
  size_t first = text.find_first_not_of(chars);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(chars);
  return text.substr(first, last - first + 1);
}

}  // namespace fwk
