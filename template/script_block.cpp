#include "template/script_block.hpp"

#include <string>

#include "core/out.hpp"
#include "script/builtins.hpp"
#include "script/script_errors.hpp"
#include "script/script_run.hpp"
#include "template/run_report.hpp"

namespace fwk {

const ScriptFunction kTemplateFunctions[] = {
    {"print", 10, builtin_print},         {"write", 10, builtin_print},
    {"toFixed", 2, builtin_to_fixed},     {"eval", 1, builtin_eval},
    {"hasRecord", 2, builtin_has_record}, {"runReport", 1, builtin_run_report},
    {"random", 1, builtin_random},        {"html", 1, builtin_html},
    {nullptr, 0, nullptr},
};

int script_block_run(const TemplateArgs& args) {
  if (!args.input) return 0;
  const ScriptObject objects[] = {{"data", args.record}, {nullptr, nullptr}};
  ScriptContext context;
  context.site = args.site;
  context.sink = args.sink;
  context.base_path = args.base_path;
  context.objects = objects;
  context.functions = kTemplateFunctions;
  context.template_depth = args.depth;
  context.budget = args.budget;
  context.check = args.check;
  const ScriptResult result = script_run(context, *args.input, args.variables);
  if (result != ScriptResult::ok && args.check) {
    source_problem(args.check, context.statement_start, SourceSeverity::error,
                   std::string("script error ") + std::to_string(result_number(result)) + ": " +
                       script_error_message(result));
  }
  if (result != ScriptResult::ok) {
    out_text(args.sink, "[");
    script_error_report(args.sink, context, *args.input, result);
    out_text(args.sink, "]");
  }
  return result_number(result);
}

}  // namespace fwk
