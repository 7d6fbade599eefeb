// Helpers for the script tests: running a script from memory with a small
// function table and the object "data", capturing what it writes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/out.hpp"
#include "core/plist.hpp"
#include "core/text_buffer.hpp"
#include "script/builtins.hpp"
#include "script/script_context.hpp"
#include "script/script_errors.hpp"
#include "script/script_run.hpp"

namespace fwk::script_testing {

// A function that records its arguments, joined by "|", as its value.
inline std::optional<std::string> join_args(ScriptContext&, const char*, int argc,
                                            const std::string* argv, ParamList*) {
  std::string joined;
  for (int i = 0; i < argc; ++i) joined += (i ? "|" : "") + argv[i];
  return joined;
}

inline const ScriptFunction kTestFunctions[] = {
    {"print", 10, builtin_print}, {"write", 10, builtin_print},  {"toFixed", 2, builtin_to_fixed},
    {"eval", 1, builtin_eval},    {"random", 1, builtin_random}, {"join3", 3, join_args},
    {nullptr, 0, nullptr},
};

struct ScriptOutcome {
  ScriptResult code = ScriptResult::ok;
  std::string output;
  int status = 0;
  long position = 0;   // where the input was left
  std::string report;  // the error report, when the run failed
};

// Runs `source` with `variables`; `data` is the list of the object "data".
inline ScriptOutcome run_script(const std::string& source, ParamList* variables,
                                ParamList* data = nullptr,
                                const ScriptFunction* functions = kTestFunctions) {
  TextBuffer buffer = tbuf_new(1024);
  OutputSink sink;
  sink.text = &buffer;
  const ScriptObject objects[] = {{"data", data}, {nullptr, nullptr}};
  ScriptContext context;
  context.sink = &sink;
  context.objects = objects;
  context.functions = functions;
  TextInput input = input_from_memory(source);
  ScriptOutcome outcome;
  outcome.code = script_run(context, input, variables);
  outcome.status = context.status;
  outcome.position = input_tell(input);
  outcome.output = tbuf_to_text(buffer);
  if (outcome.code != ScriptResult::ok) {
    TextBuffer report = tbuf_new(1024);
    OutputSink report_sink;
    report_sink.text = &report;
    script_error_report(&report_sink, context, input, outcome.code);
    outcome.report = tbuf_to_text(report);
  }
  return outcome;
}

// A variables list with free slots.
inline ParamListPtr variables(size_t free_slots = 8) {
  return plist_copy(nullptr, free_slots);
}

inline std::string var(const ParamList* list, const char* name) {
  const Pair* entry = plist_find(list, name);
  return entry && entry->value ? *entry->value : std::string("<missing>");
}

}  // namespace fwk::script_testing
