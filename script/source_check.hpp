// A checking pass over templates and scripts: the template processor and
// the script interpreter read the text exactly as they do when they serve
// it, but run nothing that has effects (built-ins are looked up, never
// called; nothing is written), take every branch of every conditional, and
// note here what they meet. The form checker turns the notes into
// diagnostics; a pass without a SourceCheck is an ordinary run.
#pragma once

#include <string>
#include <vector>

#include "core/plist.hpp"
#include "script/template_input.hpp"

namespace fwk {

enum class SourceSeverity { error, warning };

// A place in a source: the file being read and a byte offset in it.
struct SourcePlace {
  std::string file;
  long offset = 0;
};

struct SourceProblem {
  SourcePlace place;
  SourceSeverity severity = SourceSeverity::error;
  std::string message;
};

// A form element the processor met (INPUT, SELECT, OPTION, TEXTAREA), with
// the attributes that decide what it posts. `select` is the name of the
// SELECT an OPTION belongs to.
struct SourceElement {
  SourcePlace place;
  std::string element;
  std::string name;
  std::string type;
  std::string value;
  std::string select;
};

// "target = value" or "target += value" as the pass computed it.
// `literal`: the value is one string literal, as written.
struct SourceAssignment {
  SourcePlace place;
  std::string target;
  std::string value;
  bool literal = false;
};

// A call of a built-in with its arguments as the pass computed them.
struct SourceCall {
  SourcePlace place;
  std::string function;
  std::vector<std::string> args;
};

struct SourceCheck {
  // The files being read, innermost last: the checker pushes the file it
  // starts with, an include pushes the file it reads.
  std::vector<std::string> files;
  std::vector<SourceProblem> problems;
  std::vector<SourceElement> elements;
  std::vector<SourceAssignment> assignments;
  std::vector<SourceCall> calls;
  // The texts of the conditions, expressions and operand names evaluated:
  // what templates and scripts read.
  std::vector<std::string> reads;
  // A list to test conditions against (their form, not their values).
  ParamListPtr probe = plist_alloc(1);
  // Where the template tag being acted on starts (kept by the processor).
  long tag_at = 0;
};

// The place `offset` in the file being read.
SourcePlace source_place(const SourceCheck& check, long offset);

// Notes a problem at `offset` of the file being read (nothing without a
// check).
void source_problem(SourceCheck* check, long offset, SourceSeverity severity, std::string message);

// Notes a condition read at `offset`: its text is read, and a text that is
// not a well-formed condition is a problem. `outcome` says what the reader
// does with such a condition ("counts as true", "hides the option").
void source_condition(SourceCheck* check, long offset, const char* text, const char* outcome);

// Notes a text that is evaluated (an expression or an operand's name).
void source_read(SourceCheck* check, std::string text);

}  // namespace fwk
