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
  Run(ScriptContext& c, TemplateInput& i, ParamList* v) : context(c), in(i), variables(v) {}
  ScriptContext& context;
  TemplateInput& in;
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
bool skip_past(TemplateInput& in, int c) {
  for (;;) {
    int next = input_getc(in);
    if (next == kInputEnd) return false;
    if (next == c) return true;
  }
}

// Passes over a block whose "{" has been read, up to its matching "}",
// counting nested braces. The end of the input ends it quietly.
void skip_block(TemplateInput& in) {
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
int skip_line_comment(TemplateInput& in, int c, bool cr_ends) {
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

void skip_block_comment(TemplateInput& in) {
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

int nested_run(Run& run) {
  ScriptContext& context = run.context;
  if (context.nesting >= kScriptMaxNesting) return kScriptNestedTooDeeply;
  ++context.nesting;
  int code = script_run(context, run.in, run.variables);
  --context.nesting;
  return code;
}

// Reads "(condition)" and evaluates it; sets taken.
int condition(Run& run, bool& taken) {
  if (run.lookahead != '(' && !skip_past(run.in, '(')) return kScriptNeedIfParen;
  std::string text;
  for (;;) {
    int c = input_getc(run.in);
    if (c == kInputEnd) return kScriptNeedCloseParen;
    if (c == ')') break;
    if (text.size() < kScriptTokenArea - 1) text.push_back(static_cast<char>(c));
  }
  if (run.context.check) {
    source_condition(run.context.check, run.statement_at, text.c_str(), "counts as true");
    taken = true;
    return kScriptOk;
  }
  taken = expr_condition(text.c_str(), run.variables, nullptr) != 0;
  return kScriptOk;
}

// Runs the block whose "{" is next in the input (or already read when
// brace_read), or passes over it.
// A checking pass runs every block, and a block must end at its "}".
int block(Run& run, bool execute, bool brace_read) {
  if (!brace_read && !skip_past(run.in, '{')) return kScriptNeedBrace;
  const bool checking = run.context.check != nullptr;
  if (!execute && !checking) {
    skip_block(run.in);
    return kScriptOk;
  }
  int code = nested_run(run);
  run.lookahead = run.context.status;
  if (checking && code == kScriptOk && run.lookahead == -1) {
    run.context.statement_start = run.statement_at;
    return kScriptNeedBrace;
  }
  return code;
}

int if_statement(Run& run) {
  bool taken = false;
  int code = condition(run, taken);
  if (code != kScriptOk) return code;
  run.chain_open = true;
  run.branch_taken = taken;
  code = block(run, taken, false);
  run.lookahead = 0;
  return code;
}

// elif / elsif / else if. Sets `end` when the run must end.
int elif_statement(Run& run, bool& end) {
  if (!run.chain_open) return kScriptElseWithoutIf;
  bool taken = false;
  if (!run.branch_taken || run.context.check) {
    int code = condition(run, taken);
    if (code != kScriptOk) return code;
    run.branch_taken = taken;
  }
  int code = block(run, taken, false);
  if (code != kScriptOk) return code;
  if (run.lookahead < 0) {
    end = true;
  } else {
    run.lookahead = 0;
  }
  return kScriptOk;
}

int else_statement(Run& run, bool& end) {
  if (!run.chain_open) return kScriptElseWithoutIf;
  if (run.lookahead != '{') {
    run.lookahead = script_read_token(run.in, run.token, kScriptTokenArea, run.lookahead);
    if (is(run.token, "if")) return elif_statement(run, end);
    if (run.lookahead < 0) {
      end = true;
      return kScriptOk;
    }
    run.lookahead = run.token.empty() ? 0 : static_cast<unsigned char>(run.token[0]);
  }
  int code = block(run, !run.branch_taken, run.lookahead == '{');
  run.chain_open = false;
  run.lookahead = 0;
  return code;
}

// A statement that begins with a word: an assignment or a call.
int word_statement(Run& run) {
  run.chain_open = false;
  std::string target = run.token;
  run.lookahead = script_read_token(run.in, run.token, kScriptTokenArea, run.lookahead);
  if (run.token == "(") {
    int code = script_call(run.context, run.in, run.variables, target, run.lookahead, nullptr);
    run.lookahead = ' ';
    return code;
  }
  if (run.token == "=" || run.token == "+=") {
    return script_assign(run.context, run.in, run.variables, target,
                         run.token == "+=", run.lookahead);
  }
  return kScriptBadStatement;
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
int statement(Run& run, bool& end) {
  const std::string& token = run.token;
  if (token.empty() || token == ";" || token == "," || script_is_string(token)) {
    return kScriptOk;
  }
  if (token[0] == '#') {
    run.lookahead = skip_line_comment(run.in, input_getc(run.in), false);
    if (run.lookahead < 0) end = true;
    return kScriptOk;
  }
  if (token == "}") {
    end = true;
    return kScriptOk;
  }
  if (token == "{") {
    int code = nested_run(run);
    run.lookahead = run.context.status;
    return code;
  }
  if (token == "/") {
    slash_comment(run);
    if (run.lookahead < 0) end = true;
    return kScriptOk;
  }
  if (is(token, "var")) return kScriptOk;
  if (list_contains_nocase(kTerminators, token.c_str())) {
    // A checking pass reads on past "exit" inside a block, to check the
    // rest of the script.
    if (run.context.check && run.context.nesting > 0 && !is(token, "</script>")) {
      return kScriptOk;
    }
    pass_script_end(run);
    run.lookahead = -1;
    end = true;
    return kScriptOk;
  }
  if (is(token, "delete")) {
    delete_statement(run);
    if (run.lookahead < 0) end = true;
    return kScriptOk;
  }
  if (is(token, "if")) return if_statement(run);
  if (is(token, "else")) return else_statement(run, end);
  if (is(token, "elif") || is(token, "elsif")) return elif_statement(run, end);
  return word_statement(run);
}

}  // namespace

int script_run(ScriptContext& context, TemplateInput& in, ParamList* variables) {
  // Page scripts run for a response inherit its budget from the sink.
  if (!context.budget && context.sink) context.budget = context.sink->budget;
  if (!in.budget) in.budget = context.budget;
  Run run(context, in, variables);
  run.token.reserve(64);
  int code = kScriptOk;
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
    if (code != kScriptOk || end) break;
  }
  context.status = run.lookahead;
  context.run_end = input_tell(in);
  return code;
}

}  // namespace fwk
