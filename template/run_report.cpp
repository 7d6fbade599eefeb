#include "template/run_report.hpp"

#include "core/paths.hpp"
#include "core/text_buffer.hpp"
#include "script/builtins.hpp"
#include "template/template.hpp"

namespace fwk {

namespace {

constexpr std::size_t kReportBufferCapacity = 1024;

}  // namespace

std::optional<std::string> builtin_run_report(ScriptContext& context, const char*, int argc,
                                              const std::string* argv, ParamList* variables) {
  if (argc < 1 || !context.config) return std::nullopt;
  TextBuffer buffer = tbuf_new(kReportBufferCapacity);
  OutputSink sink;
  sink.text = &buffer;
  sink.budget = context.budget;
  for (int i = 0; i < argc; ++i) {
    if (argv[i].empty() || !budget_take_include(context.budget)) continue;
    FilePtr file = file_open(script_resolve_name(context, argv[i]).c_str(), "rb");
    if (!file) file = file_open(argv[i].c_str(), "rb");
    if (!file) continue;
    TextInput input = input_from_file(file.get());
    template_process({.site = context.site,
                      .base_path = context.base_path,
                      .sink = &sink,
                      .input = &input,
                      .variables = variables,
                      .depth = context.template_depth + 1,
                      .budget = context.budget},
                     nullptr);
  }
  return tbuf_to_text(buffer);
}

}  // namespace fwk
