#include "script/script_errors.hpp"

#include <algorithm>
#include <string>

#include "core/out.hpp"

namespace fwk {

const char* script_error_message(ScriptResult result) {
  switch (result) {
    case ScriptResult::need_quote:
      return "Need a closing quote";
    case ScriptResult::need_if_paren:
      return "( expected after if or elsif";
    case ScriptResult::need_close_paren:
      return "Need a closing paren";
    case ScriptResult::need_brace:
      return "Need a closing brace";
    case ScriptResult::else_without_if:
      return "An else or elsif must come after an if";
    case ScriptResult::no_object:
      return "Object variable not found";
    case ScriptResult::bad_statement:
      return "Unable to process this command";
    case ScriptResult::wrong_arg_count:
      return "Wrong number of parameters in a function call";
    case ScriptResult::no_function:
      return "Function not found";
    case ScriptResult::need_value:
      return "Expecting something after an = sign";
    case ScriptResult::nested_too_deeply:
      return "Blocks or function calls nested too deeply";
    default:
      return "Unknown scripting error";
  }
}

int script_error_report(OutputSink* sink, const ScriptContext& context, TextInput& in,
                        ScriptResult result) {
  out_printf(sink, "Script error %d: %s:", result_number(result), script_error_message(result));
  long n = std::min(context.run_end - context.statement_start, kScriptErrorExcerpt);
  if (n <= 0 || !input_seek(in, context.statement_start)) return 0;
  std::string excerpt;
  excerpt.reserve(static_cast<std::size_t>(n));
  for (long i = 0; i < n; ++i) {
    int c = input_getc(in);
    if (c == kInputEnd) break;
    excerpt.push_back(static_cast<char>(c));
  }
  out_bytes(sink, excerpt.data(), excerpt.size());
  return 0;
}

}  // namespace fwk
