#include "core/text_util.hpp"

#include <algorithm>

#include "core/ascii.hpp"

namespace fwk {

namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

int text_is_number_start(const char* text) {
  if (!text) return 0;
  if (*text == '+' || *text == '-') ++text;
  if (*text == '.') ++text;
  return is_digit(*text) ? 1 : 0;
}

bool text_read_quoted(const char* p, std::string& out, const char** after) {
  const char quote = *p++;
  out.clear();
  for (; *p; ++p) {
    if (*p == quote) {
      *after = p + 1;
      return true;
    }
    if (*p == '\\' && p[1]) {
      ++p;
      out += static_cast<char>(text_unescape(*p));
    } else {
      out += *p;
    }
  }
  return false;
}

int text_compare_nocase_n(const char* a, const char* b, size_t n) {
  if (!a) a = "";
  if (!b) b = "";
  while (*a && *b) {
    if (n == 0) return 0;
    int ca = ascii_fold(*a), cb = ascii_fold(*b);
    if (ca != cb) return ca - cb;
    ++a;
    ++b;
    --n;
  }
  if (n == 0) return 0;
  return ascii_fold(*a) - ascii_fold(*b);
}

void text_replace_char(char* text, char from, char to) {
  if (!text) return;
  for (; *text; ++text) {
    if (*text == from) *text = to;
  }
}

void text_replace_char(std::string& text, char from, char to) {
  std::replace(text.begin(), text.end(), from, to);
}

std::string& text_remove_char(std::string& text, char c) {
  text.erase(std::remove(text.begin(), text.end(), c), text.end());
  return text;
}

std::string text_concat3(const char* a, const char* b, const char* c) {
  std::string out(a ? a : "");
  out += b ? b : "";
  out += c ? c : "";
  return out;
}

}  // namespace fwk
