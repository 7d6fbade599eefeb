// Small helpers on 8-bit zero-terminated texts.
#pragma once

#include <cstddef>
#include <string>

namespace fwk {

// 1 when the text starts like a number: an optional sign, an optional ".",
// then a digit. 0 otherwise (and for an absent text).
int text_is_number_start(const char* text);

// ASCII case-insensitive comparison of at most n characters; 0 when the
// texts agree within the limit. With n = a keyword's length this tests
// whether a text begins with the keyword.
int text_compare_nocase_n(const char* a, const char* b, size_t n);

// The character a backslash before `c` stands for in a quoted text: n, r
// and t give LF, CR and TAB; any other character stands for itself.
inline int text_unescape(int c) {
  return c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
}

// Reads the quoted text that starts at p (p[0] is the quote) into out,
// with its escapes (text_unescape). True with *after just past the closing
// quote; false when the text ends first.
bool text_read_quoted(const char* p, std::string& out, const char** after);

// Replaces every `from` by `to` in place (nothing for an absent text).
void text_replace_char(char* text, char from, char to);
void text_replace_char(std::string& text, char from, char to);

// Removes every occurrence of c in place; returns the same text.
std::string& text_remove_char(std::string& text, char c);

// a, b and c one after another (absent texts count as "").
std::string text_concat3(const char* a, const char* b, const char* c);

}  // namespace fwk
