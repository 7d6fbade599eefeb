#include "script/script_errors.hpp"

#include <algorithm>
#include <string>

#include "core/out.hpp"

namespace fwk {

const char* script_error_message(int code) {
  switch (code) {
    case 40:
      return "Need a closing quote";
    case 41:
      return "( expected after if or elsif";
    case 42:
      return "Need a closing paren";
    case 43:
      return "Need a closing brace";
    case 44:
      return "An else or elsif must come after an if";
    case 45:
      return "Object variable not found";
    case 46:
      return "Unable to process this command";
    case 47:
      return "Wrong number of parameters in a function call";
    case 48:
      return "Function not found";
    case 49:
      return "Expecting something after an = sign";
    case 50:
      return "Blocks or function calls nested too deeply";
    default:
      return "Unknown scripting error";
  }
}

int script_error_report(OutputSink* sink, const ScriptContext& context, TemplateInput& in,
                        int code) {
  out_printf(sink, "Script error %d: %s:", code, script_error_message(code));
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
