// The main loop of the template processor and the classification of tags.
#include "script/template.hpp"

#include <cstring>
#include <string>

#include "core/out.hpp"
#include "core/plist.hpp"
#include "core/text_util.hpp"
#include "script/directives.hpp"
#include "script/expr.hpp"
#include "script/expr_scan.hpp"
#include "script/form_fill.hpp"
#include "script/script_block.hpp"

namespace fwk {

namespace {

constexpr ByteSet kNameDelims("> \t\r\n");
constexpr ByteSet kBraceEnd("}");
constexpr const char* kTrim = " \t\r\n";
constexpr std::size_t kBraceLimit = 8193;
constexpr std::size_t kElseNameLimit = 8191;

// Working state of one call.
struct Call {
  const TemplateArgs& args;
  const char* stop;
  TemplateInput& in;
  std::string tag;          // the tag area
  std::string select_name;  // current SELECT name, for its OPTIONs
  std::string out;          // an ordinary tag's opening, when it cannot be held
  bool in_script = false;   // between SCRIPT and /SCRIPT
  // Start of bytes already read that come out exactly as they stand (an
  // ordinary tag's "<name" and delimiter); written with the text after them.
  const unsigned char* held = nullptr;
};

bool begins(const std::string& name, const char* keyword) {
  return scan_starts_nocase(name.c_str(), keyword, std::strlen(keyword));
}

bool equals(const std::string& name, const char* word) {
  return text_compare_nocase(name.c_str(), word) == 0;
}

void write_byte(OutputSink* sink, int c) {
  char byte = static_cast<char>(c);
  sink_write(sink, &byte, 1);
}

// Consumes the rest of a tag through ">" unless its name already ended
// there.
void finish_tag(TemplateInput& in, int delimiter) {
  if (delimiter != '>') file_read_until(in, nullptr, 0, ">");
}

// Copies the bytes up to the next one the loop must look at ("<", a zero
// byte, and "{" when braces are live), together with the held bytes before
// them, in one write.
void copy_plain_run(Call& call, OutputSink* sink, bool braces) {
  TemplateInput& in = call.in;
  const unsigned char* p = in.cur;
  const unsigned char* q = p;
  if (p != in.end) {
    const void* lt = std::memchr(p, '<', static_cast<std::size_t>(in.end - p));
    q = lt ? static_cast<const unsigned char*>(lt) : in.end;
    if (const void* zero = std::memchr(p, 0, static_cast<std::size_t>(q - p)))
      q = static_cast<const unsigned char*>(zero);
    if (braces && q != p) {
      if (const void* brace = std::memchr(p, '{', static_cast<std::size_t>(q - p)))
        q = static_cast<const unsigned char*>(brace);
    }
  }
  const unsigned char* from = call.held ? call.held : p;
  call.held = nullptr;
  if (q > from)
    sink_write(sink, reinterpret_cast<const char*>(from), static_cast<std::size_t>(q - from));
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
  if (c == '}' || scan_is_space(c)) {
    write_byte(sink, '{');
    write_byte(sink, c);
    return 1;
  }
  std::string rest;
  file_read_token(call.in, &rest, kBraceLimit, kBraceEnd);
  call.tag.assign(1, static_cast<char>(c));
  call.tag += rest;
  if (call.stop && text_compare_nocase(call.tag.c_str(), call.stop) == 0) return 0;
  template_substitute(call.tag.data(), sink, call.args.record);
  return 1;
}

// The text of the tag after its keyword ("" when the tag is shorter).
char* after_keyword(std::string& tag, std::size_t keyword_length) {
  return tag.size() > keyword_length ? tag.data() + keyword_length : tag.data() + tag.size();
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
    if (expr_condition(condition, call.args.variables, call.args.record) != 0) return;

    int found = file_copy_until(in, nullptr, "<%el", "<%en");
    if (found == 0) return;
    if (found == 2) {
      file_read_until(in, nullptr, 0, ">");
      return;
    }
    std::string rest;
    delimiter = file_read_token(in, &rest, kElseNameLimit, kNameDelims);
    tag = "%el" + rest;
    if (equals(tag, "%else") && scan_is_space(delimiter)) {
      // "<%else if cond%>" is an elif.
      std::string word;
      delimiter = file_read_token(in, &word, kElseNameLimit, kNameDelims);
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
  if (file_skip_until(call.in, nullptr, "<%end")) file_read_until(call.in, nullptr, 0, ">");
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
  if (call.args.sink && name == "%") return script_block_run;
  return nullptr;
}

// An ordinary tag, or a form element when filling is on. `raw` is where
// the tag's "<" stands in the bytes at hand, or null when those bytes have
// changed since (a refill while the name was read).
void ordinary_tag(Call& call, int delimiter, const unsigned char* raw) {
  const std::string& name = call.tag;
  const char first = name.empty() ? '\0' : name[0];
  if (first == 'S' || first == 's' || first == '/') {
    if (equals(name, "SCRIPT")) call.in_script = true;
    if (equals(name, "/SCRIPT")) call.in_script = false;
  }
  const TemplateArgs& args = call.args;
  if (args.fill_fields && !call.in_script && form_element_is_fillable(name.c_str())) {
    form_element_fill(name.c_str(), delimiter, call.in, args.sink, args.variables, args.unplaced,
                      call.select_name);
    return;
  }
  if (!args.sink) return;
  // The output is "<", the name and its delimiter: when that is exactly
  // what was read (the name was not cut and held no zero byte), the bytes
  // are held and go out with the text that follows.
  if (raw && delimiter > 0 && static_cast<std::size_t>(call.in.cur - raw) == name.size() + 2) {
    call.held = raw;
    return;
  }
  std::string& out = call.out;
  out.assign(1, '<');
  out.append(name.c_str());  // up to a zero byte, as the name is a text
  if (delimiter > 0) out.push_back(static_cast<char>(delimiter));
  sink_write(args.sink, out.data(), out.size());
}

// The template-language tags: expression output, conditionals, break,
// directives and script blocks. False when the name is none of them.
bool language_tag(Call& call, int delimiter, int& result) {
  const TemplateArgs& args = call.args;
  TemplateInput& in = call.in;
  std::string& name = call.tag;
  if (begins(name, "!--$")) {
    tag_read_rest(in, name, kTagArea, delimiter, "-->", kTrim);
    template_substitute(after_keyword(name, 4), args.sink, args.variables);
  } else if (name[0] != '%') {
    return false;
  } else if (name.size() >= 2 && name[1] == '=') {
    tag_read_rest(in, name, kTagArea, delimiter, "%>", kTrim);
    template_substitute(after_keyword(name, 2), args.sink, args.variables);
  } else if (begins(name, "%end")) {
    finish_tag(in, delimiter);
  } else if (equals(name, "%break")) {
    result = -1;
  } else if (begins(name, "%if")) {
    conditional(call, delimiter, 3);
  } else if (begins(name, "%elsif") || begins(name, "%elif") || begins(name, "%else")) {
    end_of_branch(call, delimiter);
  } else if (TemplateHandler handler = handler_for(call)) {
    handler(args);
  } else {
    return false;
  }
  return true;
}

// Reads and acts on one tag after its "<". Returns 0 (stop tag), -1 (end
// of input or %break) or 1 to go on.
int tag(Call& call) {
  TemplateInput& in = call.in;
  std::string& name = call.tag;
  const unsigned char* window = in.start;
  const unsigned char* raw = in.cur - 1;  // the "<" just read
  int delimiter = file_read_token(in, &name, kTagNameLimit, kNameDelims);
  if (delimiter == kInputEnd) return -1;
  if (call.stop && text_compare_nocase(name.c_str(), call.stop) == 0) {
    finish_tag(in, delimiter);
    return 0;
  }
  int result = 1;
  const char first = name.empty() ? '\0' : name[0];
  if ((first == '%' || first == '!') && language_tag(call, delimiter, result)) return result;
  bool unchanged = in.start == window && raw >= in.start;
  ordinary_tag(call, delimiter, unchanged ? raw : nullptr);
  return 1;
}

int run(Call& call) {
  TemplateInput& in = call.in;
  OutputSink* sink = call.args.sink;
  const bool braces = call.args.record != nullptr;
  while (true) {
    copy_plain_run(call, sink, braces);
    int c = input_getc(in);
    if (c == kInputEnd) return -1;
    int result = 1;
    if (c == '{' && braces) {
      result = brace(call);
    } else if (c == '<') {
      result = tag(call);
    } else if (c != 0) {
      write_byte(sink, c);
    }
    if (result != 1) return result;
  }
}

}  // namespace

int template_process(const TemplateArgs& args, const char* stop_tag) {
  if (!args.input) return -1;
  if (args.depth > kTemplateMaxDepth) {
    out_text(args.sink, kTemplateDepthMessage);
    return -1;
  }
  Call call{args, stop_tag, *args.input, {}, {}, {}, false};
  call.tag.reserve(256);
  return run(call);
}

int template_process_file(const char* base_path, OutputSink* sink, std::FILE* file,
                          ParamList* variables, ParamList* record, ParamList* unplaced,
                          int fill_fields, const char* stop_tag) {
  if (!file) return -1;
  TemplateInput input = input_from_file(file);
  TemplateArgs args;
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
