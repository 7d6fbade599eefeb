// Form-field filling: rewrites the form elements of a template so that a
// page shows the answers already held for it, and strikes each element's
// name from the list of fields still to be placed on the page.
//
//  - INPUT: text-like fields get VALUE (the held value, HTML-escaped, or the
//    authored VALUE); check boxes and radio buttons are CHECKED when the
//    held value lists their VALUE, and lose an authored CHECKED otherwise.
//  - SELECT: remembered as the current select name for its OPTIONs.
//  - OPTION: SELECTED when the select's value lists the option's VALUE; an
//    option whose "query" condition is not true is dropped with its text.
//  - TEXTAREA: its text is replaced by the held value (or VALUE).
// Values may hold several items separated by "," and " "; items are
// compared whole, letter case counting.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/limits.hpp"
#include "core/plist.hpp"
#include "core/sink.hpp"
#include "script/source_check.hpp"
#include "script/template_input.hpp"

namespace fwk {

// What form filling keeps for one processor call: the current select name
// (the NAME of the last SELECT met, for its OPTIONs), and work areas
// reused from element to element.
struct FormFillState {
  std::string select_name;
  ParamList attrs;  // the element's attributes
  std::string out;  // the element's replacement, written in one piece
  // A checking pass notes each element here (and drops no option); tag_at
  // is where the element's tag starts.
  SourceCheck* check = nullptr;
  long tag_at = 0;
};

// Consumes the element whose name (INPUT, SELECT, OPTION, TEXTAREA or
// /TEXTAREA, any case) has just been read, ended by `delimiter`, and writes
// its replacement (nothing when the sink is absent; the unplaced list is
// updated either way).
void form_element_fill(const char* name, int delimiter, TemplateInput& in, OutputSink* sink,
                       const ParamList* variables, ParamList* unplaced, FormFillState& state);

// 1 when `name` is one of the elements form_element_fill rewrites.
int form_element_is_fillable(const char* name);
int form_element_is_fillable(std::string_view name);

}  // namespace fwk
