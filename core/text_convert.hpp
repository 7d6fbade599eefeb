// Conversions between the 8-bit texts of pages and files (UTF-8) and the
// UTF-16 texts of the window. The host's ANSI code page is UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace fwk {

// Decodes the UTF-8 character at s[0..n): its length, with the code point
// in *cp; 0 for a malformed, cut, overlong or surrogate sequence.
size_t utf8_decode(const unsigned char* s, size_t n, char32_t* cp);

// Converts n bytes of UTF-8 into dst (room for `size` units), whole
// characters only. When nothing converts (n is 0, the bytes are not valid
// UTF-8, or not even the first character fits) each byte becomes the unit of
// the same value instead, stopping at `size` without a terminating zero.
// A zero unit follows the result when there is room. Returns units written.
size_t utf8_to_wide(const char* bytes, size_t n, char16_t* dst, size_t size);

// Same, into a string of at most `limit` units.
std::u16string utf8_to_wide(std::string_view bytes, size_t limit);

// Converts n UTF-16 units to the ANSI code page (UTF-8) into dst (room for
// `size` bytes), whole characters only; an unpaired surrogate becomes " ".
// When nothing converts, the low byte of each unit is taken instead,
// stopping at `size` without a terminating zero. A zero byte follows the
// result when there is room. Returns bytes written.
size_t wide_to_ansi(const char16_t* src, size_t n, char* dst, size_t size);

// Same, into a string of at most `limit` bytes.
std::string wide_to_ansi(std::u16string_view src, size_t limit);

}  // namespace fwk
