// The template processor: copies a template to an output sink, acting on
// the places where the template language speaks.
//
//  - "<%if cond%>" ... "<%elsif cond%>" / "<%elif cond%>" / "<%else if
//    cond%>" ... "<%else%>" ... "<%end%>": conditionals. A false branch is
//    skipped textually up to the next "<%el" or "<%en", counting no nesting.
//  - "<%= expr %>" and "<!--$ expr -->": expression output (a value, or a
//    comparison with a choice such as "q == 1 ? 'yes' : 'no'", or
//    "toFixed(expr, decimals)").
//  - "{name}" inside report and statistics bodies (when a record list is
//    given): the record's value of name.
//  - "<%include ...%>", "<%source ...%>", "<%report ...%>", "<%stats ...%>",
//    "<%random ...%>", "<%fwk ...%>": directives (directives.hpp);
//    "<% ... %>": script blocks (script_block.hpp).
//  - "<%break>": ends the current call; "<%end...>" outside a conditional
//    is dropped.
//  - With form filling on, INPUT, SELECT, OPTION and TEXTAREA elements are
//    rewritten to show the values held for their names (form_fill.hpp).
// Everything else passes through unchanged.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "core/limits.hpp"
#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"
#include "script/source_check.hpp"
#include "script/template_input.hpp"

namespace fwk {

// Deepest nesting of processor calls (includes, report sections, random
// items, ...). A call deeper than this writes kTemplateDepthMessage (when
// it has a sink) and returns -1 without reading anything.
constexpr int kTemplateMaxDepth = 32;
constexpr const char* kTemplateDepthMessage = "<HR>Error in (template): nested too deeply<HR>";

// The arguments of one processor call, shared with the directive handlers
// and the script-block runner, which pass them on (with depth + 1) when
// they process a section or another file.
struct TemplateArgs {
  // The site being served (root, settings, status log); absent in tools
  // and tests that run templates on their own. Passed on unchanged.
  const SiteContext* site = nullptr;
  // Path of the outermost template (or the server root); names in
  // directives resolve against its directory. Passed on unchanged.
  const char* base_path = nullptr;
  // Where output goes; absent: a silent pass (nothing written, script
  // blocks not run, expressions not evaluated, conditionals still decided,
  // form elements still remove their names from `unplaced`).
  OutputSink* sink = nullptr;
  // The template, read from its current position.
  TemplateInput* input = nullptr;
  // Request parameters and script variables (may be absent).
  ParamList* variables = nullptr;
  // The current substitution list (report row or statistics), or absent.
  // Enables "{name}" and is the second list ("$name") of conditions.
  ParamList* record = nullptr;
  // Names still to be placed on the page; each form element met removes
  // its name. May be absent.
  ParamList* unplaced = nullptr;
  // Non-zero: form elements are rewritten (form_fill.hpp).
  int fill_fields = 0;
  // Nesting level of this call: 0 for a top-level call; a call made from
  // within a call (directive, report row, random item) passes depth + 1.
  int depth = 0;
  // The page budget (page_budget.hpp); when absent, the sink's budget (if
  // any) is taken. Passed on unchanged, into silent passes as well. Once it
  // has run out, every call returns -1 at its next tag.
  PageBudget* budget = nullptr;
  // A checking pass (source_check.hpp), passed on unchanged: every branch
  // of a conditional is read, script blocks are checked, directives look
  // for their files without using them, form elements are noted whether
  // or not filling is on, and problems are noted there. Use it without a
  // sink.
  SourceCheck* check = nullptr;
};

// Processes the template from its current position until the stop tag
// (a tag name, or the whole text of a "{...}" substitution, compared
// ignoring case; absent: none), a "<%break>", or the end of the input.
// Returns 0 when the stop tag was met, -1 otherwise. The input is left
// right after whatever ended the call.
int template_process(const TemplateArgs& args, const char* stop_tag);

// template_process on an open file from its current position, for callers
// that hold a FILE*: on return the file is positioned right after whatever
// ended the call. Starts at depth 0.
int template_process_file(const SiteContext& site, const char* base_path, OutputSink* sink,
                          std::FILE* file, ParamList* variables, ParamList* record,
                          ParamList* unplaced, int fill_fields, const char* stop_tag);

// Evaluates one output expression against a list and writes the result.
//  - absent sink: nothing, 0; absent list: the text is written as it is, -1;
//  - a comparison: the part of its choice ("? true : false") that the
//    result selects is written; returns the comparison's 1 or 0;
//  - "toFixed(expr, decimals)": the value with that many decimals, -1;
//  - otherwise the value of the expression, -1.
// The text may be changed in place.
int template_substitute(char* text, OutputSink* sink, const ParamList* list);

}  // namespace fwk
