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

// Replaces every `from` by `to` in place (nothing for an absent text).
void text_replace_char(char* text, char from, char to);
void text_replace_char(std::string& text, char from, char to);

// Removes every occurrence of c in place; returns the same text.
std::string& text_remove_char(std::string& text, char c);

// a, b and c one after another (absent texts count as "").
std::string text_concat3(const char* a, const char* b, const char* c);

}  // namespace fwk
