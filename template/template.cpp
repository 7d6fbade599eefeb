// The main loop of the template processor and the classification of tags.
#include "template/template.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/ascii.hpp"
#include "core/limits.hpp"
#include "core/out.hpp"
#include "core/plist.hpp"
#include "core/text_util.hpp"
#include "template/directives.hpp"
#include "expr/expr.hpp"
#include "expr/expr_scan.hpp"
#include "template/form_fill.hpp"
#include "template/script_block.hpp"
#include "template/template_scan.hpp"

namespace fwk {

namespace {

constexpr ByteSet kNameDelims("> \t\r\n");
constexpr ByteSet kBraceEnd("}");
constexpr const char* kTrim = " \t\r\n";

// Identifies the bytes at hand: a file input reuses one block for all
// its windows, so the address alone does not tell them apart.
struct WindowId {
  const unsigned char* start = nullptr;
  unsigned long refills = 0;
  bool operator==(const WindowId&) const = default;
};

// Working state of one call.
struct Call {
  Call(const TemplateArgs& call_args, const char* stop_tag, TemplateInput& input)
      : args(call_args), stop(stop_tag), in(input) {}

  const TemplateArgs& args;
  const char* stop;
  TemplateInput& in;
  std::string tag;         // the tag area
  FormFillState form;      // current SELECT name and form-filling work areas
  std::string out;         // an ordinary tag's opening, when it cannot be held
  bool in_script = false;  // between SCRIPT and /SCRIPT
  // Start of the bytes already read that come out exactly as they stand
  // (text and ordinary tags), not yet written: they are written in one
  // piece when something else must go out, or before the bytes at hand
  // are replaced.
  const unsigned char* pending = nullptr;
  // The first zero byte at or after `zero_from` in the bytes at hand (their
  // end when there is none), found once rather than for every text run.
  WindowId zero_window;
  const unsigned char* zero_from = nullptr;
  const unsigned char* zero = nullptr;
  // A checking pass: where the tag being read starts, and the conditionals
  // open in this call.
  long tag_at = 0;
  std::vector<long> open_ifs;
};

bool begins(const std::string& name, const char* keyword) {
  return text_starts_nocase(name.c_str(), keyword, std::strlen(keyword));
}

bool equals(const std::string& name, const char* word) {
  return text_compare_nocase(name.c_str(), word) == 0;
}

// A name (which holds no zero byte) compared with a text ignoring case.
bool same_text(std::string_view name, const char* text) {
  return text_equal_nocase(name, text);
}

// same_text for a word of known length: most names differ in length.
template <std::size_t N>
bool is_word(std::string_view name, const char (&word)[N]) {
  return name.size() == N - 1 && same_text(name, word);
}

WindowId window_of(const TemplateInput& in) {
  return {in.start, in.refills};
}

// The first zero byte at or after p in the bytes at hand, or their end.
const unsigned char* next_zero(Call& call, const unsigned char* p) {
  TemplateInput& in = call.in;
  const WindowId window = window_of(in);
  if (window == call.zero_window && call.zero_from <= p && p <= call.zero) return call.zero;
  const void* zero = std::memchr(p, 0, static_cast<std::size_t>(in.end - p));
  call.zero_window = window;
  call.zero_from = p;
  call.zero = zero ? static_cast<const unsigned char*>(zero) : in.end;
  return call.zero;
}

void write_byte(OutputSink* sink, int c) {
  char byte = static_cast<char>(c);
  sink_write(sink, &byte, 1);
}

// Consumes the rest of a tag through ">" unless its name already ended
// there.
void finish_tag(TemplateInput& in, int delimiter) {
  if (delimiter != '>') input_read_until(in, nullptr, 0, ">");
}

// Writes the pending bytes up to `end` (the position of the first byte
// that does not come out as it stands).
void flush(Call& call, const unsigned char* end) {
  if (!call.pending) return;
  if (end > call.pending)
    sink_write(call.args.sink, reinterpret_cast<const char*>(call.pending),
               static_cast<std::size_t>(end - call.pending));
  call.pending = nullptr;
}

// Passes over the bytes up to the next one the loop must look at ("<", a
// zero byte, and "{" when braces are live), adding them to the pending
// bytes.
void pass_plain_run(Call& call, bool braces) {
  TemplateInput& in = call.in;
  const unsigned char* p = in.cur;
  if (p == in.end) return;
  const void* lt = std::memchr(p, '<', static_cast<std::size_t>(in.end - p));
  const unsigned char* q = lt ? static_cast<const unsigned char*>(lt) : in.end;
  q = std::min(q, next_zero(call, p));
  if (braces && q != p) {
    if (const void* brace = std::memchr(p, '{', static_cast<std::size_t>(q - p)))
      q = static_cast<const unsigned char*>(brace);
  }
  if (q != p && !call.pending) call.pending = p;
  in.cur = q;
}

// "{name}" with a record list. Returns 0 when the text is the stop tag,
// -1 at the end of the input, 1 to go on.
int brace(Call& call) {
  OutputSink* sink = call.args.sink;
  int c = input_getc(call.in);
  if (c == kInputEnd) {
    out_text(sink, "{");
    return -1;
  }
  if (c == '}' || ascii_is_space(c)) {
    write_byte(sink, '{');
    write_byte(sink, c);
    return 1;
  }
  input_read_token(call.in, &call.tag, kBraceLimit, kBraceEnd);
  call.tag.insert(call.tag.begin(), static_cast<char>(c));
  if (call.stop && text_compare_nocase(call.tag.c_str(), call.stop) == 0) return 0;
  template_substitute(call.tag.data(), sink, call.args.record);
  return 1;
}

// The text of the tag after its keyword ("" when the tag is shorter).
char* after_keyword(std::string& tag, std::size_t keyword_length) {
  return tag.size() > keyword_length ? tag.data() + keyword_length : tag.data() + tag.size();
}

// A checking pass enters every branch: an "%if" opens a conditional (it
// is checked to be closed), its condition is checked.
void check_if(Call& call, const char* condition) {
  SourceCheck* check = call.args.check;
  if (!call.open_ifs.empty()) {
    source_problem(check, call.tag_at, SourceSeverity::warning,
                   "<%if> inside another <%if>: conditionals do not nest (when the outer "
                   "condition is false, the text after the inner <%end> is shown all the same)");
  }
  call.open_ifs.push_back(call.tag_at);
  source_condition(check, call.tag_at, condition, "counts as true");
}

// A checking pass at an "%elsif", "%elif" or "%else" (the name read):
// the next branch is entered, its condition checked.
void check_else(Call& call, int delimiter) {
  std::string& tag = call.tag;
  if (call.open_ifs.empty()) {
    source_problem(call.args.check, call.tag_at, SourceSeverity::error,
                   "<" + tag + "> without <%if>: the text up to the next <%end> is never shown");
  }
  tag_read_rest(call.in, tag, kTagArea, delimiter, "%>", kTrim);
  const std::size_t keyword = begins(tag, "%elsif") ? 6 : 5;  // "%elif", "%else"
  std::string_view rest = text_trim(std::string_view(tag).substr(std::min(keyword, tag.size())));
  if (begins(tag, "%else")) {
    // "%else if cond" is an elif; a bare "%else" has no condition.
    if (rest.size() < 3 || !text_starts_nocase(rest.data(), "if", 2) || !ascii_is_space(rest[2]))
      return;
    rest.remove_prefix(3);
  }
  source_condition(call.args.check, call.tag_at, std::string(rest).c_str(), "counts as true");
}

// A checking pass at "%end": closes the innermost conditional.
void check_end(Call& call) {
  if (call.open_ifs.empty()) {
    source_problem(call.args.check, call.tag_at, SourceSeverity::warning,
                   "<%end> without <%if>");
    return;
  }
  call.open_ifs.pop_back();
}

// A conditional whose keyword has just been read (the tag area holds the
// name). A true condition lets the loop go on into the branch; a false one
// skips textually to the next "<%el" or "<%en", which decides in turn.
void conditional(Call& call, int delimiter, std::size_t keyword_length) {
  TemplateInput& in = call.in;
  std::string& tag = call.tag;
  while (true) {
    tag_read_rest(in, tag, kTagArea, delimiter, "%>", kTrim);
    const char* condition = after_keyword(tag, keyword_length);
    if (call.args.check) {
      check_if(call, condition);
      return;
    }
    if (expr_condition(condition, call.args.variables, call.args.record) != 0) return;

    int found = input_copy_until(in, nullptr, "<%el", "<%en");
    if (found == 0) return;
    if (found == 2) {
      input_read_until(in, nullptr, 0, ">");
      return;
    }
    std::string rest;
    delimiter = input_read_token(in, &rest, kElseNameLimit, kNameDelims);
    tag = "%el" + rest;
    if (equals(tag, "%else") && ascii_is_space(delimiter)) {
      // "<%else if cond%>" is an elif.
      std::string word;
      delimiter = input_read_token(in, &word, kElseNameLimit, kNameDelims);
      tag = (equals(word, "if") && delimiter != '>') ? "%elif" : "%else";
    }
    if (begins(tag, "%elsif")) {
      keyword_length = 6;
    } else if (begins(tag, "%elif")) {
      keyword_length = 5;
    } else {
      finish_tag(in, delimiter);  // an else branch: its body is processed
      return;
    }
  }
}

// An "%elsif", "%elif" or "%else" met in normal flow ends the branch being
// processed: skip to the chain's end tag.
void end_of_branch(Call& call, int delimiter) {
  finish_tag(call.in, delimiter);
  if (input_skip_until(call.in, nullptr, "<%end")) input_read_until(call.in, nullptr, 0, ">");
}

using TemplateHandler = int (*)(const TemplateArgs& args);

// The handler of a directive or script-block name, or null.

TemplateHandler handler_for(const Call& call) {
  const std::string& name = call.tag;
  if (begins(name, "%fwk")) return directive_fwk_list;
  if (equals(name, "%include")) return directive_include;
  if (equals(name, "%source")) return directive_source;
  if (equals(name, "%report")) return directive_report;
  if (begins(name, "%random")) return directive_random;
  if (equals(name, "%stats")) return directive_stats;
  if ((call.args.sink || call.args.check) && name == "%") return script_block_run;
  return nullptr;
}

// An ordinary tag, or a form element when filling is on. `raw` is where
// the tag's "<" stands in the bytes at hand, or null when those bytes have
// changed since (a refill while the name was read).
void ordinary_tag(Call& call, std::string_view name, int delimiter, const unsigned char* raw) {
  const char first = name.empty() ? '\0' : name[0];
  if (first == 'S' || first == 's' || first == '/') {
    if (is_word(name, "SCRIPT")) call.in_script = true;
    if (is_word(name, "/SCRIPT")) call.in_script = false;
  }
  const TemplateArgs& args = call.args;
  if ((args.fill_fields || args.check) && !call.in_script && form_element_is_fillable(name)) {
    flush(call, raw);
    if (name.data() != call.tag.data()) call.tag.assign(name);
    call.form.tag_at = call.tag_at;
    form_element_fill(call.tag.c_str(), delimiter, call.in, args.sink, args.variables,
                      args.unplaced, call.form);
    return;
  }
  if (!args.sink) return;
  // The output is "<", the name and its delimiter: when that is exactly
  // what was read (the name was not cut and held no zero byte), the bytes
  // are held and go out with the text that follows.
  if (raw && delimiter > 0 && static_cast<std::size_t>(call.in.cur - raw) == name.size() + 2) {
    if (!call.pending) call.pending = raw;
    return;
  }
  flush(call, raw);
  std::string& out = call.out;
  out.assign(1, '<');
  out.append(name);
  if (delimiter > 0) out.push_back(static_cast<char>(delimiter));
  sink_write(args.sink, out.data(), out.size());
}

// The template-language tags: expression output, conditionals, break,
// directives and script blocks. False when the name is none of them. The
// pending bytes before the tag's "<" (at raw) are written before a tag
// acts.
bool language_tag(Call& call, const unsigned char* raw, int delimiter, int& result) {
  const TemplateArgs& args = call.args;
  TemplateInput& in = call.in;
  std::string& name = call.tag;
  if (begins(name, "!--$")) {
    flush(call, raw);
    tag_read_rest(in, name, kTagArea, delimiter, "-->", kTrim);
    source_read(args.check, after_keyword(name, 4));
    template_substitute(after_keyword(name, 4), args.sink, args.variables);
  } else if (name[0] != '%') {
    return false;
  } else if (name.size() >= 2 && name[1] == '=') {
    flush(call, raw);
    tag_read_rest(in, name, kTagArea, delimiter, "%>", kTrim);
    source_read(args.check, after_keyword(name, 2));
    template_substitute(after_keyword(name, 2), args.sink, args.variables);
  } else if (begins(name, "%end")) {
    flush(call, raw);
    if (args.check) check_end(call);
    finish_tag(in, delimiter);
  } else if (equals(name, "%break")) {
    flush(call, raw);
    result = -1;
  } else if (begins(name, "%if")) {
    flush(call, raw);
    conditional(call, delimiter, 3);
  } else if (begins(name, "%elsif") || begins(name, "%elif") || begins(name, "%else")) {
    flush(call, raw);
    if (args.check) {
      check_else(call, delimiter);
    } else {
      end_of_branch(call, delimiter);
    }
  } else if (TemplateHandler handler = handler_for(call)) {
    flush(call, raw);
    handler(args);
  } else {
    source_problem(args.check, call.tag_at, SourceSeverity::warning,
                   "<" + name + "> is not a tag of the template language: it is sent as written");
    return false;
  }
  return true;
}

// Reads a tag name that lies with its delimiter in the bytes at hand and
// needs no cut, without copying it. False (nothing read) otherwise.
bool name_at_hand(TemplateInput& in, std::string_view& name, int& delimiter) {
  const unsigned char* p = in.cur;
  while (p < in.end && !kNameDelims.has(*p)) ++p;
  const std::size_t length = static_cast<std::size_t>(p - in.cur);
  if (p == in.end || length > kTagNameLimit - 1) return false;
  name = std::string_view(reinterpret_cast<const char*>(in.cur), length);
  delimiter = *p;
  in.cur = p + 1;
  return true;
}

// Reads and acts on one tag after its "<". Returns 0 (stop tag), -1 (end
// of input or %break) or 1 to go on.
int tag(Call& call) {
  TemplateInput& in = call.in;
  if (call.args.check) call.tag_at = call.args.check->tag_at = input_tell(in) - 1;
  const WindowId window = window_of(in);
  const unsigned char* raw = in.cur - 1;  // the "<" just read
  // Names hold no zero byte (it ends them), so a view of the name and the
  // text in the tag area are the same text.
  std::string_view name;
  int delimiter = 0;
  if (!name_at_hand(in, name, delimiter)) {
    // The read may bring in new bytes: nothing may be pending then.
    flush(call, raw);
    delimiter = input_read_token(in, &call.tag, kTagNameLimit, kNameDelims);
    if (delimiter == kInputEnd) return -1;
    name = call.tag;
  }
  if (call.stop && same_text(name, call.stop)) {
    flush(call, raw);
    finish_tag(in, delimiter);
    return 0;
  }
  const char first = name.empty() ? '\0' : name[0];
  if (first == '%' || first == '!') {
    if (name.data() != call.tag.data()) call.tag.assign(name);
    int result = 1;
    if (language_tag(call, raw, delimiter, result)) return result;
  }
  bool unchanged = window_of(in) == window && raw >= in.start;
  ordinary_tag(call, name, delimiter, unchanged ? raw : nullptr);
  return 1;
}

int run(Call& call) {
  TemplateInput& in = call.in;
  const bool braces = call.args.record != nullptr;
  PageBudget* budget = call.args.budget;
  while (true) {
    pass_plain_run(call, braces);
    // Reading on brings in new bytes in place of those at hand.
    if (in.cur == in.end) flush(call, in.end);
    int c = input_getc(in);
    if (c == kInputEnd) return -1;
    int result = 1;
    if ((c == '<' || (c == '{' && braces)) && !budget_ok(budget)) return -1;
    if (c == '{' && braces) {
      flush(call, in.cur - 1);
      result = brace(call);
    } else if (c == '<') {
      result = tag(call);
    } else if (c == 0) {
      flush(call, in.cur - 1);  // zero bytes are dropped
    } else if (!call.pending) {
      call.pending = in.cur - 1;  // the first of the new bytes
    }
    if (result != 1) return result;
  }
}

}  // namespace

int template_process(const TemplateArgs& args, const char* stop_tag) {
  if (!args.input) return -1;
  if (!args.budget && args.sink && args.sink->budget) {
    TemplateArgs budgeted = args;
    budgeted.budget = args.sink->budget;
    return template_process(budgeted, stop_tag);
  }
  if (!budget_ok(args.budget)) return -1;
  if (!args.input->budget) args.input->budget = args.budget;
  if (args.depth > kTemplateMaxDepth) {
    out_text(args.sink, kTemplateDepthMessage);
    source_problem(args.check, input_tell(*args.input), SourceSeverity::error,
                   "templates include each other more than " + std::to_string(kTemplateMaxDepth) +
                       " deep (does a file include itself?)");
    return -1;
  }
  Call call(args, stop_tag, *args.input);
  call.form.check = args.check;
  call.tag.reserve(256);
  int result = run(call);
  for (long open : call.open_ifs) {
    source_problem(args.check, open, SourceSeverity::error,
                   "<%if> is not closed by <%end>: when its condition is false, everything after "
                   "it is left out");
  }
  return result;
}

int template_process_file(const SiteContext& site, const char* base_path, OutputSink* sink,
                          std::FILE* file, ParamList* variables, ParamList* record,
                          ParamList* unplaced, int fill_fields, const char* stop_tag) {
  if (!file) return -1;
  TemplateInput input = input_from_file(file);
  TemplateArgs args;
  args.site = &site;
  args.base_path = base_path;
  args.sink = sink;
  args.input = &input;
  args.variables = variables;
  args.record = record;
  args.unplaced = unplaced;
  args.fill_fields = fill_fields;
  int result = template_process(args, stop_tag);
  input_sync(input);
  return result;
}

}  // namespace fwk
