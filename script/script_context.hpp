// What a script run needs: where output goes, the caller's settings, and the
// tables of objects and built-in functions the script may use. Prepared by
// the template processor (script blocks) and by the page-script runners, and
// passed to every run and every built-in.
#pragma once

#include <optional>
#include <string>

#include "core/page_budget.hpp"
#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"
#include "script/source_check.hpp"

namespace fwk {

struct ScriptContext;

// A built-in: receives the context, the function name as written in the
// call (without a leading "&"), the evaluated arguments and the variables;
// returns the function's value, or none.
using ScriptBuiltin = std::optional<std::string> (*)(ScriptContext& context, const char* name,
                                                     int argc, const std::string* argv,
                                                     ParamList* variables);

// One row of a function table; a row without a built-in ends the table.
struct ScriptFunction {
  const char* name = nullptr;
  int max_args = 0;
  ScriptBuiltin builtin = nullptr;
};

// One row of an object table (e.g. "data" for a report row); a row without
// a name ends the table. The list may be absent.
struct ScriptObject {
  const char* name = nullptr;
  ParamList* list = nullptr;
};

struct ScriptContext {
  // Where the output built-ins write (may be absent).
  OutputSink* sink = nullptr;
  // Lookahead left by the last run; -1 after a terminator or the end of
  // the input, which also makes every enclosing run end. Start with 0.
  int status = 0;
  // Source position where the statement being executed began.
  long statement_start = 0;
  // Source position where the last run ended.
  long run_end = 0;
  // The form's configuration section (page scripts); absent in templates.
  ParamList* config = nullptr;
  // The site being served (page scripts: the outbox of sendMail); may be
  // absent.
  const SiteContext* site = nullptr;
  // Path against which file names in built-ins are resolved.
  const char* base_path = nullptr;
  const ScriptObject* objects = nullptr;
  const ScriptFunction* functions = nullptr;
  // Nesting level of the template call running this script; built-ins that
  // process templates pass template_depth + 1 on.
  int template_depth = 0;
  // Blocks and nested calls currently open (bounded by kScriptMaxNesting).
  int nesting = 0;
  // The page budget (page_budget.hpp; may be absent, then the sink's is
  // taken): once it has run out, runs end before their next statement and
  // built-ins do no more work.
  PageBudget* budget = nullptr;
  // A checking pass (source_check.hpp): every branch is taken, no built-in
  // is called, and what the script does is noted there. Absent: a run.
  SourceCheck* check = nullptr;
};

}  // namespace fwk
