#include "script/builtins.hpp"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/limits.hpp"
#include "core/out.hpp"
#include "core/paths.hpp"
#include "core/text_buffer.hpp"
#include "platform/clock.hpp"
#include "expr/expr.hpp"
#include "store/record_query.hpp"
#include "template/template.hpp"
#include "store/datafile.hpp"

namespace fwk {
namespace {

constexpr std::size_t kReportBufferCapacity = 1024;

// The one counter of every random call in the process.
std::atomic<uint32_t> shared_counter{0};

long read_integer(const std::string& text) {
  return std::strtol(text.c_str(), nullptr, 10);
}

// The path of a name relative to the context's base path, when there is one
// and the joined length stays within the path area; else the name itself.
std::string resolve(const ScriptContext& context, const std::string& name) {
  std::string path;
  if (context.base_path && std::strlen(context.base_path) + name.size() < kBuiltinNameLimit &&
      path_join(context.base_path, path, name.c_str()) && !path.empty()) {
    return path;
  }
  return name;
}

}  // namespace

uint32_t random_counter() {
  return shared_counter.load();
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

std::optional<std::string> builtin_random(ScriptContext&, const char*, int argc,
                                          const std::string* argv, ParamList*) {
  uint32_t tick = clock_tick_ms();
  uint32_t counter = shared_counter.fetch_add(tick) + tick;
  uint32_t modulus = argc >= 1 ? static_cast<uint32_t>(read_integer(argv[0])) : 0;
  uint32_t result = modulus != 0 ? counter % modulus : counter;
  // Written with "%d": past 2^31 the counter shows as a negative number.
  return std::to_string(static_cast<int32_t>(result));
}

std::optional<std::string> builtin_has_record(ScriptContext& context, const char*, int argc,
                                              const std::string* argv, ParamList* variables) {
  if (argc < 2 || argv[0].size() > kBuiltinNameLimit) return std::nullopt;
  std::string path = resolve(context, argv[0]);
  std::FILE* file = nullptr;
  ParamListPtr header;
  if (!datafile_open(path.c_str(), &file, &header, 0)) return std::string("0");
  int found = record_next_matching(file, header.get(), variables, argv[1].c_str(), context.budget);
  datafile_close(file, std::move(header));
  return std::string(found ? "1" : "0");
}

std::optional<std::string> builtin_run_report(ScriptContext& context, const char*, int argc,
                                              const std::string* argv, ParamList* variables) {
  if (argc < 1 || !context.config) return std::nullopt;
  TextBuffer buffer = tbuf_new(kReportBufferCapacity);
  OutputSink sink;
  sink.text = &buffer;
  sink.budget = context.budget;
  for (int i = 0; i < argc; ++i) {
    if (argv[i].empty() || !budget_take_include(context.budget)) continue;
    std::FILE* file = file_open(resolve(context, argv[i]).c_str(), "rb");
    if (!file) file = file_open(argv[i].c_str(), "rb");
    if (!file) continue;
    TemplateInput input = input_from_file(file);
    TemplateArgs args;
    args.site = context.site;
    args.base_path = context.base_path;
    args.sink = &sink;
    args.input = &input;
    args.variables = variables;
    args.depth = context.template_depth + 1;
    args.budget = context.budget;
    template_process(args, nullptr);
    std::fclose(file);
  }
  return tbuf_to_text(buffer);
}

std::optional<std::string> builtin_html(ScriptContext&, const char*, int argc,
                                        const std::string* argv, ParamList*) {
  if (argc < 1) return std::nullopt;
  return html_text(argv[0].c_str());
}

const ScriptFunction kTemplateFunctions[] = {
    {"print", 10, builtin_print},         {"write", 10, builtin_print},
    {"toFixed", 2, builtin_to_fixed},     {"eval", 1, builtin_eval},
    {"hasRecord", 2, builtin_has_record}, {"runReport", 1, builtin_run_report},
    {"random", 1, builtin_random},        {"html", 1, builtin_html},
    {nullptr, 0, nullptr},
};

}  // namespace fwk
