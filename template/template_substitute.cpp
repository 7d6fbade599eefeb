// Output expressions: a value, "toFixed(...)", or a comparison with a
// choice of two texts.
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/out.hpp"
#include "core/text_util.hpp"
#include "expr/expr.hpp"
#include "expr/expr_scan.hpp"
#include "template/template.hpp"

namespace fwk {

namespace {

// One part of a choice: [begin, end) of the text, or none.
struct Part {
  const char* begin = nullptr;
  const char* end = nullptr;
  bool present() const { return begin != nullptr; }
};

// The quoted text starting at the quote `p`: up to the matching quote, a
// backslash escaping the next character. A quote that never closes ends
// at the end of the text. *after receives the position after the quote.
Part quoted_part(const char* p, const char** after) {
  char quote = *p++;
  Part part;
  part.begin = p;
  while (*p && *p != quote) {
    if (*p == '\\' && p[1]) ++p;
    ++p;
  }
  part.end = p;
  *after = *p ? p + 1 : p;
  return part;
}

const char* skip_colons(const char* p) {
  p = scan_skip_space(p);
  while (*p == ':') ++p;
  return scan_skip_space(p);
}

bool is_quote(char c) {
  return c == '"' || c == '\'';
}

// A false part starting at p: quoted, or the rest of the text.
Part false_part_at(const char* p) {
  if (is_quote(*p)) {
    const char* after = nullptr;
    return quoted_part(p, &after);
  }
  return Part{p, p + std::strlen(p)};
}

// The true and false parts of the choice after a comparison ending at p.
// An unquoted true part ends before the ":" that starts the false part
// (or at the end of the text), without trailing whitespace.
void split_choice(const char* p, Part& when_true, Part& when_false) {
  p = scan_skip_space(p);
  if (*p == '?') {
    p = scan_skip_space(p + 1);
    if (is_quote(*p)) {
      const char* after = nullptr;
      when_true = quoted_part(p, &after);
      when_false = false_part_at(skip_colons(after));
      return;
    }
    const char* colon = std::strchr(p, ':');
    const char* end = colon ? colon : p + std::strlen(p);
    while (end > p && ascii_is_space(static_cast<unsigned char>(end[-1]))) --end;
    when_true = Part{p, end};
    if (colon) when_false = false_part_at(skip_colons(colon));
    return;
  }
  const char* colon = std::strchr(p, ':');
  if (colon) when_false = false_part_at(skip_colons(colon));
}

// "toFixed(value, decimals)": args is the text after "toFixed(". The
// decimals follow the last comma; without a comma the value is the text up
// to the last ")" and is written without decimals.
std::string to_fixed(const char* args, const ParamList* list) {
  const char* comma = std::strrchr(args, ',');
  long decimals = 0;
  const char* value_end = comma;
  if (comma) {
    decimals = std::strtol(comma + 1, nullptr, 10);
  } else {
    value_end = std::strrchr(args, ')');
    if (!value_end) value_end = args + std::strlen(args);
  }
  double value = expr_number(expr_value_n(list, args, static_cast<long>(value_end - args)).c_str());
  return expr_format_fixed(value, decimals);
}

// The value an output expression writes: "toFixed(...)" or any value
// expression.
std::string output_value(char* text, const ParamList* list) {
  if (text_compare_nocase_n(text, "toFixed(", 8) == 0) return to_fixed(text + 8, list);
  return expr_value(list, text);
}

// "html(expression)": the expression's value made safe for the page. The
// expression ends at the last ")".
void write_escaped(char* text, OutputSink* sink, const ParamList* list) {
  char* inner = text + 5;
  char* end = std::strrchr(inner, ')');
  if (end == nullptr) end = inner + std::strlen(inner);
  while (end > inner && ascii_is_space(static_cast<unsigned char>(end[-1]))) --end;
  *end = '\0';
  while (ascii_is_space(static_cast<unsigned char>(*inner))) ++inner;
  out_text(sink, html_text(output_value(inner, list).c_str()).c_str());
}

// Writes a chosen part: "$name" gives the name's value ("$html(name)" its
// value escaped), anything else is
// written with each backslash-character pair reduced to the character.
void write_part(const Part& part, OutputSink* sink, const ParamList* list) {
  if (part.begin < part.end && *part.begin == '$') {
    std::string expression(part.begin + 1, part.end);
    if (text_compare_nocase_n(expression.c_str(), "html(", 5) == 0) {
      write_escaped(expression.data(), sink, list);
      return;
    }
    out_text(sink,
             expr_value_n(list, expression.c_str(), static_cast<long>(expression.size())).c_str());
    return;
  }
  std::string text;
  text.reserve(static_cast<std::size_t>(part.end - part.begin));
  for (const char* p = part.begin; p < part.end; ++p) {
    if (*p == '\\') {
      if (++p == part.end) break;
    }
    text.push_back(*p);
  }
  out_text(sink, text.c_str());
}

}  // namespace

int template_substitute(char* text, OutputSink* sink, const ParamList* list) {
  if (!sink) return 0;
  if (!list) {
    out_text(sink, text);
    return -1;
  }
  // The text of a tag begins with the whitespace after its name; a leading
  // "!" or "/" of the comparison must still be seen as such.
  while (ascii_is_space(static_cast<unsigned char>(*text))) ++text;
  if (text_compare_nocase_n(text, "html(", 5) == 0) {
    write_escaped(text, sink, list);
    return -1;
  }
  const char* end = text;
  int result = expr_compare(text, list, nullptr, &end);
  if (result == -1) {
    const std::string value = output_value(text, list);
    if (!value.empty()) out_text(sink, value.c_str());
    return -1;
  }
  Part when_true, when_false;
  split_choice(end, when_true, when_false);
  const Part& chosen = result == 1 ? when_true : when_false;
  if (chosen.present()) write_part(chosen, sink, list);
  return result;
}

}  // namespace fwk
