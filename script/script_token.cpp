#include "script/script_token.hpp"

#include <cstring>
#include "core/ascii.hpp"

namespace fwk {
namespace {

constexpr const char* kPunctuation = "#*-/,;{}()[]<>+=";
constexpr const char* kWordEnd = " \t\r\n#*-/,;{}()[]<>+=";

bool is_space(int c) {
  return c == 0 || ascii_is_space(c);
}

// A zero byte ends a word (it counts as a delimiter, as in every reader of
// the system).
bool ends_word(int c) {
  return c == 0 || std::strchr(kWordEnd, c) != nullptr;
}

// Appends while room remains; the rest of the token is dropped.
void keep(std::string& token, std::size_t room, int c) {
  if (token.size() < room) token.push_back(static_cast<char>(c));
}

// Passes over spaces and TABs; returns the first other character.
int skip_blanks(TextInput& in, int c) {
  while (c == ' ' || c == '\t') c = input_getc(in);
  return c;
}

int read_closing_tag(TextInput& in, std::string& token, std::size_t room) {
  token = "</";
  for (;;) {
    int c = input_getc(in);
    if (c == kInputEnd) break;
    keep(token, room, c);
    if (c == '>') break;
  }
  return ' ';
}

int read_operator(TextInput& in, std::string& token, std::size_t room, int c) {
  int next = input_getc(in);
  if (c == '<' && next == '/') return read_closing_tag(in, token, room);
  keep(token, room, c);
  if (next != '=') return skip_blanks(in, next);
  keep(token, room, '=');
  if (c != '=') return ' ';
  int third = input_getc(in);
  if (third != '=') return third;
  keep(token, room, '=');
  return ' ';
}

int read_string(TextInput& in, std::string& token, std::size_t room, int quote) {
  token.push_back(kScriptStringMark);
  bool closed = input_read_quoted(in, quote, [&](int c) {
    if (token.size() < room || token.size() < 2) {
      token.push_back(static_cast<char>(c));
    } else {
      token.back() = static_cast<char>(c);
    }
  });
  return closed ? ' ' : -1;
}

// A word also ends right before a "%>" that follows it directly, so that
// "x = 5%>" ends the script like "x = 5 %>": the "%" is the lookahead and
// the ">" stays to be read with it.
int read_word(TextInput& in, std::string& token, std::size_t room, int c) {
  while (c != kInputEnd && !ends_word(c)) {
    if (c == '%') {
      int next = input_getc(in);
      if (next == '>') {
        input_seek(in, input_tell(in) - 1);
        return '%';
      }
      keep(token, room, c);
      c = next;
      continue;
    }
    keep(token, room, c);
    c = input_getc(in);
  }
  return skip_blanks(in, c);
}

}  // namespace

int script_read_token(TextInput& in, std::string& token, std::size_t size, int lookahead) {
  token.clear();
  if (lookahead == -1) return -1;
  std::size_t room = size > 0 ? size - 1 : 0;
  int c = lookahead;
  while (is_space(c)) {
    c = input_getc(in);
    if (c == kInputEnd) return -1;
  }
  if (c < 0) return -1;
  if (std::strchr(kPunctuation, c)) {
    if (c == '<' || c == '>' || c == '+' || c == '=') return read_operator(in, token, room, c);
    keep(token, room, c);
    return ' ';
  }
  if (c == '%') {
    int next = input_getc(in);
    if (next == '>') return -1;
    keep(token, room, '%');
    return next;
  }
  if (c == '"' || c == '\'') return read_string(in, token, room, c);
  return read_word(in, token, room, c);
}

}  // namespace fwk
