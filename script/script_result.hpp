// What a script run answers: ok, or the error that ended it. An error is
// reported in the page with its number and message (script_errors.hpp);
// the page goes on after it.
#pragma once

namespace fwk {

enum class ScriptResult {
  ok = 0,
  need_quote = 40,         // a string literal is not closed
  need_if_paren = 41,      // no "(" after if / elif / elsif / else if
  need_close_paren = 42,   // no ")" closes a condition or an argument list
  need_brace = 43,         // no "{" after a condition or else
  else_without_if = 44,    // else / elif / elsif without an open if chain
  no_object = 45,          // unknown object, no object table, or an empty key
  bad_statement = 46,      // a statement word not followed by =, += or (
  wrong_arg_count = 47,    // has a message; no statement raises it
  no_function = 48,        // unknown function, no function table, unclosed (...)
  need_value = 49,         // nothing after = or +=
  nested_too_deeply = 50,  // blocks or nested calls deeper than kScriptMaxNesting
};

// The number the error report shows.
constexpr int result_number(ScriptResult result) {
  return static_cast<int>(result);
}

}  // namespace fwk
