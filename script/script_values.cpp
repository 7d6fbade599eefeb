#include "script/script_values.hpp"

#include <vector>

#include "core/limits.hpp"
#include "core/paths.hpp"
#include "core/text_buffer.hpp"
#include "expr/expr.hpp"
#include "script/script_run.hpp"
#include "script/script_token.hpp"

namespace fwk {
namespace {

constexpr std::size_t kStringStartCapacity = 4224;
constexpr std::size_t kVariableBlock = 128;
// A checking pass runs every branch, so a value that a branch doubles
// ("t += t") would double at every one of them; it keeps only the start of
// each value, room enough for any list of page names.
constexpr std::size_t kCheckedValueLimit = 4096;

bool ends_expression(int c) {
  return c <= 0 || c == '\r' || c == '\n' || c == ';';
}

// The next character of the input that is not a space or TAB.
int skip_blanks(TemplateInput& in) {
  int c;
  do {
    c = input_getc(in);
  } while (c == ' ' || c == '\t');
  return c;
}

std::string evaluate(const ParamList* variables, std::string text) {
  return expr_value(variables, text.data());
}

// evaluate, noting the text as read in a checking pass.
std::string evaluate(ScriptContext& context, const ParamList* variables, std::string text) {
  source_read(context.check, text);
  return evaluate(variables, std::move(text));
}

// A variable's value, noting the name as read in a checking pass.
const char* variable_value(ScriptContext& context, const ParamList* variables,
                           const std::string& name) {
  source_read(context.check, name);
  return plist_get(variables, name.c_str(), "");
}

// A checking pass warns of a "}" that an assignment takes into its value:
// the block it was meant to close goes on.
void note_brace_in_value(ScriptContext& context, const std::string& operand) {
  if (!context.check || operand.find('}') == std::string::npos) return;
  source_problem(context.check, context.statement_start, SourceSeverity::warning,
                 "the \"}\" on this line is read as part of the value, so the block does not end "
                 "there: end the value with \";\" before the \"}\"");
}

// Counts one level of nesting for the duration of a nested call.
struct NestingGuard {
  ScriptContext& context;
  bool entered;
  explicit NestingGuard(ScriptContext& c) : context(c), entered(c.nesting < kScriptMaxNesting) {
    if (entered) ++context.nesting;
  }
  ~NestingGuard() {
    if (entered) --context.nesting;
  }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;
};

const ScriptFunction* find_function(const ScriptFunction* table, const char* name) {
  if (!table) return nullptr;
  for (const ScriptFunction* row = table; row->builtin; ++row) {
    if (row->name && text_compare_nocase(row->name, name) == 0) return row;
  }
  return nullptr;
}

const ScriptObject* find_object(const ScriptObject* table, const char* name) {
  if (!table) return nullptr;
  for (const ScriptObject* row = table; row->name; ++row) {
    if (text_compare_nocase(row->name, name) == 0) return row;
  }
  return nullptr;
}

// Reads the input up to `stop` (consumed, not kept) into text, keeping at
// most room characters. False when the input ends first.
bool read_up_to(TemplateInput& in, int stop, std::string& text, std::size_t room) {
  for (;;) {
    int c = input_getc(in);
    if (c == kInputEnd) return false;
    if (c == stop) return true;
    if (text.size() < room) text.push_back(static_cast<char>(c));
  }
}

// The value of a call or an object access whose name is `token` and whose
// lookahead is "(" or "[".
int nested_value(ScriptContext& context, TemplateInput& in, ParamList* variables,
                 const std::string& token, int lookahead, std::string& value) {
  if (lookahead == '[') return script_access(context, in, variables, token, lookahead, value);
  std::optional<std::string> result;
  // The "(" is already read: the argument list starts right after it.
  int code = script_call(context, in, variables, token, ' ', &result);
  value = result.value_or("");
  return code;
}

// One argument of a call: sets value and returns 0, or an error code.
int read_argument(ScriptContext& context, TemplateInput& in, ParamList* variables,
                  const std::string& token, int& lookahead, std::string& value) {
  if (script_is_string(token)) {
    if (lookahead < 0) return kScriptNeedQuote;
    value = token.substr(1);
  } else if (text_is_number_start(token.c_str())) {
    value = token;
  } else if (lookahead == '(' || lookahead == '[') {
    int code = nested_value(context, in, variables, token, lookahead, value);
    lookahead = ' ';
    return code;
  } else if (token == "(") {
    std::string text;
    if (lookahead > 0) text.push_back(static_cast<char>(lookahead));
    if (!read_up_to(in, ')', text, kScriptTokenArea - 1)) return kScriptNoFunction;
    value = evaluate(context, variables, text);
    lookahead = ' ';
  } else {
    value = variable_value(context, variables, token);
  }
  return kScriptOk;
}

// Number mode: the value of `first` (whose own value is `plain`), or of the
// expression it starts when an operator follows on the same line. A "%>"
// ends the expression and the script.
int number_value(ScriptContext& context, TemplateInput& in, ParamList* variables,
                 const std::string& first, const std::string& plain, int& lookahead,
                 std::string& value) {
  std::string rest;
  int c = lookahead;
  while (!ends_expression(c)) {
    if (c == '%') {
      int next = input_getc(in);
      if (next == '>') {
        c = -1;
        break;
      }
      if (rest.size() < kScriptTokenArea - 1) rest.push_back('%');
      c = next;
      continue;
    }
    if (rest.size() < kScriptTokenArea - 1) rest.push_back(static_cast<char>(c));
    c = input_getc(in);
  }
  lookahead = c;
  note_brace_in_value(context, rest);
  if (rest.find_first_not_of(" \t") == std::string::npos) {
    value = plain;
  } else {
    value = evaluate(context, variables, first + " " + rest);
  }
  return kScriptOk;
}

// String mode: operands appended one after another ("+" between them is
// optional) until the end of the line or ";". `joined` (may be null) is set
// when an operand was appended to `start`.
int string_value(ScriptContext& context, TemplateInput& in, ParamList* variables,
                 const std::string& start, int& lookahead, std::string& value,
                 bool* joined = nullptr) {
  TextBuffer buffer = tbuf_new(kStringStartCapacity);
  tbuf_append(buffer, start.data(), start.size());
  std::string token;
  for (;;) {
    // A literal or a call leaves a space as lookahead; look past the blanks
    // so that the value ends with its line.
    if (lookahead == ' ' || lookahead == '\t') lookahead = skip_blanks(in);
    if (ends_expression(lookahead)) break;
    lookahead = script_read_token(in, token, kOperandArea, lookahead);
    if (lookahead == '(' || lookahead == '[') {
      std::string part;
      int code = nested_value(context, in, variables, token, lookahead, part);
      lookahead = ' ';
      if (code != kScriptOk) return code;
      tbuf_append(buffer, part.data(), part.size());
      if (joined) *joined = true;
    } else if (token == "+") {
      continue;
    } else if (token == ";") {
      break;
    } else if (token.empty() && lookahead < 0) {
      break;
    } else if (script_is_string(token)) {
      if (lookahead < 0) return kScriptNeedQuote;
      tbuf_append(buffer, token.data() + 1, token.size() - 1);
      if (joined) *joined = true;
    } else {
      note_brace_in_value(context, token);
      tbuf_append_text(buffer, evaluate(context, variables, token).c_str());
      if (joined) *joined = true;
    }
  }
  value = tbuf_to_text(buffer);
  return kScriptOk;
}

// "+=" with a number: adds to a target that holds a number (or nothing);
// appends to a target that holds text.
std::string add_to_target(const ParamList* variables, const std::string& target,
                          const std::string& number) {
  std::string current = plist_get(variables, target.c_str(), "");
  if (!current.empty() && !text_is_number_start(current.c_str())) return current + number;
  return expr_format_number(expr_number(current.c_str()) + expr_number(number.c_str()));
}

}  // namespace

void script_set_variable(ParamList* variables, const std::string& name, const std::string& value) {
  if (!variables) return;
  if (plist_set(variables, name.c_str(), value.c_str())) return;
  plist_extend(variables, kVariableBlock);
  plist_set(variables, name.c_str(), value.c_str());
}

int script_call(ScriptContext& context, TemplateInput& in, ParamList* variables,
                const std::string& name, int lookahead, std::optional<std::string>* result) {
  const char* called = name.c_str();
  if (*called == '&') ++called;
  const ScriptFunction* function = find_function(context.functions, called);
  if (!function) return kScriptNoFunction;
  int limit = function->max_args > 0 ? function->max_args : 0;
  std::vector<std::string> args(static_cast<std::size_t>(limit) + 1);
  int argc = 0;
  if (lookahead != ';' && lookahead != '\n') {
    NestingGuard guard(context);
    if (!guard.entered) return kScriptNestedTooDeeply;
    std::string token;
    for (;;) {
      lookahead = script_read_token(in, token, kScriptTokenArea, lookahead);
      if (token.empty()) {
        if (lookahead < 0) return kScriptNeedCloseParen;
        continue;
      }
      if (token == ",") continue;
      if (token == ")") break;
      std::string value;
      int code = read_argument(context, in, variables, token, lookahead, value);
      if (code != kScriptOk) return code;
      if (argc < limit) args[static_cast<std::size_t>(argc++)] = std::move(value);
    }
  }
  // A checking pass notes the call instead of making it.
  if (context.check) {
    args.resize(static_cast<std::size_t>(argc));
    context.check->calls.push_back(
        {source_place(*context.check, context.statement_start), function->name, std::move(args)});
    if (result) result->reset();
    return kScriptOk;
  }
  std::optional<std::string> value =
      function->builtin(context, called, argc, args.data(), variables);
  if (result) *result = std::move(value);
  return kScriptOk;
}

int script_access(ScriptContext& context, TemplateInput& in, ParamList* variables,
                  const std::string& name, int lookahead, std::string& value) {
  value.clear();
  const ScriptObject* object = find_object(context.objects, name.c_str());
  if (!object) return kScriptNoObject;
  std::string token;
  lookahead = script_read_token(in, token, kScriptTokenArea, lookahead);
  if (token == "[") lookahead = script_read_token(in, token, kScriptTokenArea, lookahead);
  if (token.empty() || token == "]") return kScriptNoObject;
  std::string key;
  if (script_is_string(token)) {
    if (lookahead < 0) return kScriptNeedQuote;
    key = token.substr(1);
  } else {
    key = variable_value(context, variables, token);
  }
  if (lookahead != ']') {
    std::string ignored;
    read_up_to(in, ']', ignored, 0);
  }
  if (!key.empty()) value = plist_get(object->list, key.c_str(), "");
  return kScriptOk;
}

int script_assign(ScriptContext& context, TemplateInput& in, ParamList* variables,
                  const std::string& target, bool append, int& lookahead) {
  std::string first;
  lookahead = script_read_token(in, first, kOperandArea, lookahead);
  std::string value;
  int code = kScriptOk;
  bool literal = false;
  if (lookahead == '(' || lookahead == '[') {
    code = nested_value(context, in, variables, first, lookahead, value);
    lookahead = ' ';
  } else if (script_is_string(first)) {
    if (lookahead < 0) return kScriptNeedQuote;
    std::string start = append ? evaluate(variables, target) : std::string();
    bool joined = false;
    code = string_value(context, in, variables, start + first.substr(1), lookahead, value, &joined);
    literal = !append && !joined;
  } else if (first.empty() || first == ";") {
    return kScriptNeedValue;
  } else {
    std::string held = text_is_number_start(first.c_str())
                           ? first
                           : std::string(variable_value(context, variables, first));
    if (!held.empty() && text_is_number_start(held.c_str())) {
      code = number_value(context, in, variables, first, held, lookahead, value);
      if (code == kScriptOk && append) value = add_to_target(variables, target, value);
    } else {
      std::string start = append ? evaluate(variables, target) : std::string();
      code = string_value(context, in, variables, start + held, lookahead, value);
    }
  }
  if (code != kScriptOk) return code;
  if (context.check && value.size() > kCheckedValueLimit) value.resize(kCheckedValueLimit);
  script_set_variable(variables, target, value);
  if (context.check) {
    context.check->assignments.push_back(
        {source_place(*context.check, context.statement_start), target, value, literal});
  }
  return kScriptOk;
}

}  // namespace fwk
