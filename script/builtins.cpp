#include "script/builtins.hpp"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/limits.hpp"
#include "core/out.hpp"
#include "core/paths.hpp"
#include "expr/expr.hpp"
#include "platform/clock.hpp"
#include "store/datafile.hpp"
#include "store/record_query.hpp"

namespace fwk {
namespace {

long read_integer(const std::string& text) {
  return std::strtol(text.c_str(), nullptr, 10);
}

}  // namespace

std::string script_resolve_name(const ScriptContext& context, const std::string& name) {
  std::string path;
  if (context.base_path && std::strlen(context.base_path) + name.size() < kBuiltinNameLimit &&
      path_join(context.base_path, path, name.c_str()) && !path.empty()) {
    return path;
  }
  return name;
}

std::optional<std::string> builtin_print(ScriptContext& context, const char*, int argc,
                                         const std::string* argv, ParamList*) {
  for (int i = 0; i < argc; ++i) out_bytes(context.sink, argv[i].data(), argv[i].size());
  return std::nullopt;
}

std::optional<std::string> builtin_eval(ScriptContext&, const char*, int argc,
                                        const std::string* argv, ParamList* variables) {
  if (argc < 1) return std::nullopt;
  std::string text = argv[0];
  return std::string(expr_value(variables, text.data()));
}

std::optional<std::string> builtin_to_fixed(ScriptContext&, const char*, int argc,
                                            const std::string* argv, ParamList*) {
  if (argc < 1) return std::nullopt;
  double number = expr_number(argv[0].c_str());
  long decimals = argc == 2 ? read_integer(argv[1]) : 0;
  return std::string(expr_format_fixed(number, decimals));
}

std::optional<std::string> builtin_random(ScriptContext& context, const char*, int argc,
                                          const std::string* argv, ParamList*) {
  uint32_t unshared = 0;
  uint32_t& shared =
      context.site && context.site->random_counter ? *context.site->random_counter : unshared;
  uint32_t tick = clock_tick_ms();
  uint32_t counter = shared += tick;
  uint32_t modulus = argc >= 1 ? static_cast<uint32_t>(read_integer(argv[0])) : 0;
  uint32_t result = modulus != 0 ? counter % modulus : counter;
  // Written with "%d": past 2^31 the counter shows as a negative number.
  return std::to_string(static_cast<int32_t>(result));
}

std::optional<std::string> builtin_has_record(ScriptContext& context, const char*, int argc,
                                              const std::string* argv, ParamList* variables) {
  if (argc < 2 || argv[0].size() > kBuiltinNameLimit) return std::nullopt;
  std::string path = script_resolve_name(context, argv[0]);
  FilePtr file;
  ParamListPtr header;
  if (!datafile_open(path.c_str(), &file, &header, 0)) return std::string("0");
  int found =
      record_next_matching(file.get(), header.get(), variables, argv[1].c_str(), context.budget);
  return std::string(found ? "1" : "0");
}

std::optional<std::string> builtin_html(ScriptContext&, const char*, int argc,
                                        const std::string* argv, ParamList*) {
  if (argc < 1) return std::nullopt;
  return html_text(argv[0].c_str());
}

}  // namespace fwk
