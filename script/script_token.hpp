// The tokenizer of the script language.
//
// Each call reads one token and returns the lookahead: the character that
// decides what follows, handed to the next call as the first character it
// looks at. -1 means the script has ended ("%>", or the end of the input).
//
//  - punctuation "#*-/,;{}()[]<>+=" is a token of its own; "<=", ">=",
//    "+=", "==" and "===" are one token; "<" followed by "/" reads a closing
//    tag such as "</script>" as one token;
//  - a quoted literal (either quote) becomes "'" followed by its text, with
//    \n \r \t giving LF CR TAB and any other backslash taking the next
//    character as it is;
//  - anything else is a word, up to whitespace, punctuation or a "%>"; the
//    spaces and TABs after a word are passed over and the next other
//    character is the lookahead.
#pragma once

#include <cstddef>
#include <string>

#include "core/limits.hpp"
#include "core/text_input.hpp"

namespace fwk {

// The mark that starts the token of a string literal.
constexpr char kScriptStringMark = '\'';

// Reads one token into `token` (at most size - 1 characters; the rest of a
// longer word is read and dropped, a longer literal keeps overwriting its
// last character) and returns the new lookahead.
int script_read_token(TextInput& in, std::string& token, std::size_t size, int lookahead);

// True when a token is a string literal.
inline bool script_is_string(const std::string& token) {
  return !token.empty() && token[0] == kScriptStringMark;
}

}  // namespace fwk
