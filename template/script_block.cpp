#include "template/script_block.hpp"

#include <string>

#include "core/out.hpp"
#include "script/builtins.hpp"
#include "script/script_errors.hpp"
#include "script/script_run.hpp"

namespace fwk {

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
  int code = script_run(context, *args.input, args.variables);
  if (code > 0 && args.check) {
    source_problem(
        args.check, context.statement_start, SourceSeverity::error,
        std::string("script error ") + std::to_string(code) + ": " + script_error_message(code));
  }
  if (code > 0) {
    out_text(args.sink, "[");
    script_error_report(args.sink, context, *args.input, code);
    out_text(args.sink, "]");
  }
  return code;
}

}  // namespace fwk
