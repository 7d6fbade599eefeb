// Fuzzes the script interpreter: the input is run as a script from memory
// with a small function table (no file access) and the object "data", and
// a failing run is turned into its error report. The same input is then
// read by a checking pass, which must call no built-in and write nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/text_buffer.hpp"
#include "script/builtins.hpp"
#include "script/script_errors.hpp"
#include "script/script_run.hpp"

namespace {

std::optional<std::string> count_args(fwk::ScriptContext& context, const char*, int argc,
                                      const std::string* argv, fwk::ParamList*) {
  if (context.check) std::abort();
  std::string joined = std::to_string(argc);
  for (int i = 0; i < argc; ++i) joined += "|" + argv[i];
  return joined;
}

const fwk::ScriptFunction kFunctions[] = {
    {"print", 10, fwk::builtin_print},
    {"write", 10, fwk::builtin_print},
    {"toFixed", 2, fwk::builtin_to_fixed},
    {"eval", 1, fwk::builtin_eval},
    {"random", 1, fwk::builtin_random},
    {"args", 3, count_args},
    {nullptr, 0, nullptr},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fwk::ParamListPtr vars = fwk::plist_copy(nullptr, 2);
  fwk::plist_set(vars.get(), "n", "5");
  fwk::plist_set(vars.get(), "s", "text");
  fwk::ParamListPtr record = fwk::plist_copy(nullptr, 2);
  fwk::plist_set(record.get(), "Q1", "yes");
  const fwk::ScriptObject objects[] = {{"data", record.get()}, {nullptr, nullptr}};

  fwk::TextBuffer buffer = fwk::tbuf_new(1024);
  fwk::OutputSink sink;
  sink.text = &buffer;
  fwk::ScriptContext context;
  context.sink = &sink;
  context.objects = objects;
  context.functions = kFunctions;

  fwk::TemplateInput input = fwk::input_from_memory(reinterpret_cast<const char*>(data), size);
  int code = fwk::script_run(context, input, vars.get());
  if (code != 0 && (code < 40 || code > 50)) std::abort();
  if (context.nesting != 0) std::abort();
  long position = fwk::input_tell(input);
  if (position < 0 || static_cast<size_t>(position) > size) std::abort();
  if (code > 0) fwk::script_error_report(&sink, context, input, code);

  fwk::ParamListPtr check_vars = fwk::plist_copy(nullptr, 2);
  fwk::TextBuffer check_buffer = fwk::tbuf_new(64);
  fwk::OutputSink check_sink;
  check_sink.text = &check_buffer;
  fwk::SourceCheck check;
  check.files.push_back("script");
  fwk::ScriptContext checking;
  checking.sink = &check_sink;
  checking.objects = objects;
  checking.functions = kFunctions;
  checking.check = &check;
  fwk::TemplateInput again = fwk::input_from_memory(reinterpret_cast<const char*>(data), size);
  code = fwk::script_run(checking, again, check_vars.get());
  if (code != 0 && (code < 40 || code > 50)) std::abort();
  if (checking.nesting != 0 || fwk::tbuf_length(check_buffer) != 0) std::abort();
  for (const fwk::SourceAssignment& assignment : check.assignments) {
    if (assignment.place.offset < 0 || static_cast<size_t>(assignment.place.offset) > size)
      std::abort();
  }
  return 0;
}
