#include "script/script_errors.hpp"

#include <algorithm>
#include <string>

#include "core/out.hpp"
#include "core/results.hpp"

namespace fwk {

const char* script_error_message(int code) {
  switch (code) {
    case kScriptNeedQuote:
      return "Need a closing quote";
    case kScriptNeedIfParen:
      return "( expected after if or elsif";
    case kScriptNeedCloseParen:
      return "Need a closing paren";
    case kScriptNeedBrace:
      return "Need a closing brace";
    case kScriptElseWithoutIf:
      return "An else or elsif must come after an if";
    case kScriptNoObject:
      return "Object variable not found";
    case kScriptBadStatement:
      return "Unable to process this command";
    case kScriptWrongArgCount:
      return "Wrong number of parameters in a function call";
    case kScriptNoFunction:
      return "Function not found";
    case kScriptNeedValue:
      return "Expecting something after an = sign";
    case kScriptNestedTooDeeply:
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
