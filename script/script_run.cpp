#include "script/script_run.hpp"

#include <string>

#include "core/paths.hpp"
#include "expr/expr.hpp"
#include "script/script_token.hpp"
#include "script/script_values.hpp"

namespace fwk {
namespace {

constexpr const char* kTerminators = "</script>,&exit,exit,&end,&return,%>";

// The state of one run: its own lookahead, if-chain flags and token area.
struct Run {
  Run(ScriptContext& c, TextInput& i, ParamList* v) : context(c), in(i), variables(v) {}
  ScriptContext& context;
  TextInput& in;
  ParamList* variables;
  int lookahead = 0;
  // Where the statement being run began (nested runs move the context's).
  long statement_at = 0;
  bool chain_open = false;
  bool branch_taken = false;
  std::string token;
};

bool is(const std::string& token, const char* word) {
  return text_compare_nocase(token.c_str(), word) == 0;
}

// Passes over the input up to and including `c`; false at the end.
bool skip_past(TextInput& in, int c) {
  for (;;) {
    int next = input_getc(in);
    if (next == kInputEnd) return false;
    if (next == c) return true;
  }
}

// Passes over a block whose "{" has been read, up to its matching "}",
// counting nested braces. The end of the input ends it quietly.
void skip_block(TextInput& in) {
  int depth = 1;
  for (;;) {
    int c = input_getc(in);
    if (c == kInputEnd) return;
    if (c == '{') ++depth;
    if (c == '}' && --depth == 0) return;
  }
}

// Passes over a line comment starting at c: a "#" comment runs through the
// next LF, a "//" comment ends at a CR as well. A "%>" inside ends the
// script: returns -1 then, else a space.
int skip_line_comment(TextInput& in, int c, bool cr_ends) {
  for (;;) {
    if (c == kInputEnd) return -1;
    if (c == '\n' || (cr_ends && c == '\r')) return ' ';
    if (c == '%') {
      c = input_getc(in);
      if (c == '>') return -1;
      continue;
    }
    c = input_getc(in);
  }
}

void skip_block_comment(TextInput& in) {
  int previous = 0;
  for (;;) {
    int c = input_getc(in);
    if (c == kInputEnd) return;
    if (previous == '*' && c == '/') return;
    previous = c;
  }
}

// "/" starts a comment: "/*...*/" or a comment to the end of the line.
void slash_comment(Run& run) {
  int c = input_getc(run.in);
  if (c == '*') {
    skip_block_comment(run.in);
    run.lookahead = ' ';
    return;
  }
  run.lookahead = skip_line_comment(run.in, c, true);
}

ScriptResult nested_run(Run& run) {
  ScriptContext& context = run.context;
  if (context.nesting >= kScriptMaxNesting) return ScriptResult::nested_too_deeply;
  ++context.nesting;
  ScriptResult code = script_run(context, run.in, run.variables);
  --context.nesting;
  return code;
}

// Reads "(condition)" and evaluates it; sets taken.
ScriptResult condition(Run& run, bool& taken) {
  if (run.lookahead != '(' && !skip_past(run.in, '(')) return ScriptResult::need_if_paren;
  std::string text;
  for (;;) {
    int c = input_getc(run.in);
    if (c == kInputEnd) return ScriptResult::need_close_paren;
    if (c == ')') break;
    if (text.size() < kScriptTokenArea - 1) text.push_back(static_cast<char>(c));
  }
  if (run.context.check) {
    source_condition(run.context.check, run.statement_at, text.c_str(), "counts as true");
    taken = true;
    return ScriptResult::ok;
  }
  taken = expr_condition(text.c_str(), run.variables, nullptr) != 0;
  return ScriptResult::ok;
}

// Runs the block whose "{" is next in the input (or already read when
// brace_read), or passes over it.
// A checking pass runs every block, and a block must end at its "}".
ScriptResult block(Run& run, bool execute, bool brace_read) {
  if (!brace_read && !skip_past(run.in, '{')) return ScriptResult::need_brace;
  const bool checking = run.context.check != nullptr;
  if (!execute && !checking) {
    skip_block(run.in);
    return ScriptResult::ok;
  }
  ScriptResult code = nested_run(run);
  run.lookahead = run.context.status;
  if (checking && code == ScriptResult::ok && run.lookahead == -1) {
    run.context.statement_start = run.statement_at;
    return ScriptResult::need_brace;
  }
  return code;
}

ScriptResult if_statement(Run& run) {
  bool taken = false;
  ScriptResult code = condition(run, taken);
  if (code != ScriptResult::ok) return code;
  run.chain_open = true;
  run.branch_taken = taken;
  code = block(run, taken, false);
  run.lookahead = 0;
  return code;
}

// elif / elsif / else if. Sets `end` when the run must end.
ScriptResult elif_statement(Run& run, bool& end) {
  if (!run.chain_open) return ScriptResult::else_without_if;
  bool taken = false;
  if (!run.branch_taken || run.context.check) {
    ScriptResult code = condition(run, taken);
    if (code != ScriptResult::ok) return code;
    run.branch_taken = taken;
  }
  ScriptResult code = block(run, taken, false);
  if (code != ScriptResult::ok) return code;
  if (run.lookahead < 0) {
    end = true;
  } else {
    run.lookahead = 0;
  }
  return ScriptResult::ok;
}

ScriptResult else_statement(Run& run, bool& end) {
  if (!run.chain_open) return ScriptResult::else_without_if;
  if (run.lookahead != '{') {
    run.lookahead = script_read_token(run.in, run.token, kScriptTokenArea, run.lookahead);
    if (is(run.token, "if")) return elif_statement(run, end);
    if (run.lookahead < 0) {
      end = true;
      return ScriptResult::ok;
    }
    run.lookahead = run.token.empty() ? 0 : static_cast<unsigned char>(run.token[0]);
  }
  ScriptResult code = block(run, !run.branch_taken, run.lookahead == '{');
  run.chain_open = false;
  run.lookahead = 0;
  return code;
}

// A statement that begins with a word: an assignment or a call.
ScriptResult word_statement(Run& run) {
  run.chain_open = false;
  std::string target = run.token;
  run.lookahead = script_read_token(run.in, run.token, kScriptTokenArea, run.lookahead);
  if (run.token == "(") {
    ScriptResult code =
        script_call(run.context, run.in, run.variables, target, run.lookahead, nullptr);
    run.lookahead = ' ';
    return code;
  }
  if (run.token == "=" || run.token == "+=") {
    return script_assign(run.context, run.in, run.variables, target,
                         run.token == "+=", run.lookahead);
  }
  return ScriptResult::bad_statement;
}

void delete_statement(Run& run) {
  run.lookahead = script_read_token(run.in, run.token, kScriptTokenArea, run.lookahead);
  if (!run.token.empty()) plist_rename(run.variables, run.token.c_str(), nullptr);
}

// A terminator written right before "%>" ("exit %>") has the "%" as its
// lookahead: the ">" is read as well, so that the template goes on after
// the whole "%>".
void pass_script_end(Run& run) {
  if (run.lookahead != '%') return;
  int next = input_getc(run.in);
  if (next != '>' && next != kInputEnd) input_seek(run.in, input_tell(run.in) - 1);
}

// Executes one statement whose first token has been read. Sets `end` when
// the run ends without an error.
ScriptResult statement(Run& run, bool& end) {
  const std::string& token = run.token;
  if (token.empty() || token == ";" || token == "," || script_is_string(token)) {
    return ScriptResult::ok;
  }
  if (token[0] == '#') {
    run.lookahead = skip_line_comment(run.in, input_getc(run.in), false);
    if (run.lookahead < 0) end = true;
    return ScriptResult::ok;
  }
  if (token == "}") {
    end = true;
    return ScriptResult::ok;
  }
  if (token == "{") {
    ScriptResult code = nested_run(run);
    run.lookahead = run.context.status;
    return code;
  }
  if (token == "/") {
    slash_comment(run);
    if (run.lookahead < 0) end = true;
    return ScriptResult::ok;
  }
  if (is(token, "var")) return ScriptResult::ok;
  if (list_contains_nocase(kTerminators, token.c_str())) {
    // A checking pass reads on past "exit" inside a block, to check the
    // rest of the script.
    if (run.context.check && run.context.nesting > 0 && !is(token, "</script>")) {
      return ScriptResult::ok;
    }
    pass_script_end(run);
    run.lookahead = -1;
    end = true;
    return ScriptResult::ok;
  }
  if (is(token, "delete")) {
    delete_statement(run);
    if (run.lookahead < 0) end = true;
    return ScriptResult::ok;
  }
  if (is(token, "if")) return if_statement(run);
  if (is(token, "else")) return else_statement(run, end);
  if (is(token, "elif") || is(token, "elsif")) return elif_statement(run, end);
  return word_statement(run);
}

}  // namespace

ScriptResult script_run(ScriptContext& context, TextInput& in, ParamList* variables) {
  // Page scripts run for a response inherit its budget from the sink.
  if (!context.budget && context.sink) context.budget = context.sink->budget;
  if (!in.budget) in.budget = context.budget;
  Run run(context, in, variables);
  run.token.reserve(64);
  ScriptResult code = ScriptResult::ok;
  for (;;) {
    if (context.status == -1 || !budget_ok(context.budget)) {
      run.lookahead = -1;
      break;
    }
    context.statement_start = input_tell(in);
    run.statement_at = context.statement_start;
    run.lookahead = script_read_token(in, run.token, kScriptTokenArea, run.lookahead);
    if (run.lookahead <= 0) break;
    bool end = false;
    code = statement(run, end);
    if (code != ScriptResult::ok || end) break;
  }
  context.status = run.lookahead;
  context.run_end = input_tell(in);
  return code;
}

}  // namespace fwk
