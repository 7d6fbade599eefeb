#include "core/text_convert.hpp"

namespace fwk {

namespace {

bool valid_utf8(const unsigned char* s, size_t n) {
  for (size_t i = 0; i < n;) {
    char32_t cp;
    size_t len = utf8_decode(s + i, n - i, &cp);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

// Encodes a code point as UTF-8 into out; returns the length.
size_t encode_utf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

bool is_high_surrogate(char16_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool is_low_surrogate(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

// Converts valid UTF-8 into at most `size` units, whole characters only.
size_t convert_utf8(const unsigned char* s, size_t n, char16_t* dst, size_t size) {
  size_t k = 0;
  for (size_t i = 0; i < n;) {
    char32_t cp = 0;
    size_t len = utf8_decode(s + i, n - i, &cp);
    if (cp >= 0x10000) {
      if (k + 2 > size) break;
      cp -= 0x10000;
      dst[k++] = static_cast<char16_t>(0xD800 + (cp >> 10));
      dst[k++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      if (k + 1 > size) break;
      dst[k++] = static_cast<char16_t>(cp);
    }
    i += len;
  }
  return k;
}

}  // namespace

size_t utf8_decode(const unsigned char* s, size_t n, char32_t* cp) {
  if (n == 0) return 0;
  unsigned char b0 = s[0];
  if (b0 < 0x80) {
    *cp = b0;
    return 1;
  }
  size_t len;
  char32_t value, min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, value = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, value = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, value = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (len > n) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((s[k] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (s[k] & 0x3F);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *cp = value;
  return len;
}

size_t utf8_to_wide(const char* bytes, size_t n, char16_t* dst, size_t size) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes);
  size_t k = 0;
  if (bytes && n > 0 && valid_utf8(s, n)) k = convert_utf8(s, n, dst, size);
  if (k == 0) {
    // Not UTF-8 (or nothing fits): each byte becomes the unit of its value.
    for (size_t i = 0; i < n; ++i) {
      if (i == size) return i;
      dst[i] = s[i];
    }
    k = n;
  }
  if (k < size) dst[k] = 0;
  return k;
}

std::u16string utf8_to_wide(std::string_view bytes, size_t limit) {
  std::u16string out(limit, u'\0');
  size_t k = utf8_to_wide(bytes.data(), bytes.size(), out.data(), limit);
  out.resize(k);
  return out;
}

size_t wide_to_ansi(const char16_t* src, size_t n, char* dst, size_t size) {
  size_t k = 0;
  for (size_t i = 0; i < n && src;) {
    char32_t cp = src[i];
    size_t units = 1;
    if (is_high_surrogate(src[i]) && i + 1 < n && is_low_surrogate(src[i + 1])) {
      cp = 0x10000 + ((static_cast<char32_t>(src[i]) - 0xD800) << 10) + (src[i + 1] - 0xDC00);
      units = 2;
    } else if (is_high_surrogate(src[i]) || is_low_surrogate(src[i])) {
      cp = U' ';  // cannot be represented: the default character
    }
    char encoded[4];
    size_t len = encode_utf8(cp, encoded);
    if (k + len > size) break;
    for (size_t b = 0; b < len; ++b) dst[k++] = encoded[b];
    i += units;
  }
  if (k == 0) {
    for (size_t i = 0; i < n; ++i) {
      if (i == size) return i;
      dst[i] = static_cast<char>(src[i] & 0xFF);
    }
    k = n;
  }
  if (k < size) dst[k] = 0;
  return k;
}

std::string wide_to_ansi(std::u16string_view src, size_t limit) {
  std::string out(limit, '\0');
  size_t k = wide_to_ansi(src.data(), src.size(), out.data(), limit);
  out.resize(k);
  return out;
}

}  // namespace fwk
