// Fuzzes the template processor: the first byte chooses form filling, a
// record list, an unplaced list, a silent pass, a stop tag and a checking
// pass (nothing written, every branch read, what it meets noted); the rest
// is the template, processed from memory into a text buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/testing/test_lists.hpp"
#include "core/text_buffer.hpp"
#include "expr/expr.hpp"
#include "template/template.hpp"

namespace {

fwk::ParamListPtr make_list(fwk::TestPairs entries, size_t spare) {
  fwk::ParamListPtr list = fwk::test_list(entries);
  for (size_t i = 0; i < spare; ++i) fwk::test_list_add(*list, "", nullptr);
  return list;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  std::string source(reinterpret_cast<const char*>(data) + 1, size - 1);

  auto vars = make_list({{"a", "1"},
                         {"b", "2"},
                         {"Q1", "x, y"},
                         {"Q1_other", "z"},
                         {"name", "Ann <b>"},
                         {"n", "3.14159"},
                         {"big", "1e300"},
                         {"self", "1*self*self"},
                         {"novalue", nullptr}},
                        4);
  auto record = make_list({{"#", "1"}, {"f", "x"}, {"g", "y z"}}, 0);
  auto unplaced = make_list({{"Q1", "x"}, {"a", "1"}, {"T", ""}}, 0);

  fwk::TextBuffer buffer = fwk::tbuf_new(1024);
  fwk::OutputSink sink;
  sink.text = &buffer;
  fwk::TemplateInput input = fwk::input_from_memory(source);
  fwk::TemplateArgs args;
  args.base_path = "/nonexistent/formwick-fuzz/page.html";
  args.sink = (flags & 8) ? nullptr : &sink;
  args.input = &input;
  args.variables = vars.get();
  args.record = (flags & 2) ? record.get() : nullptr;
  args.unplaced = (flags & 4) ? unplaced.get() : nullptr;
  args.fill_fields = flags & 1;
  args.depth = (flags & 32) ? fwk::kTemplateMaxDepth : 0;
  const char* stop = (flags & 16) ? "/report" : nullptr;
  fwk::SourceCheck check;
  check.files.push_back("page.html");
  if (flags & 64) {
    args.check = &check;
    args.sink = nullptr;
  }

  // Run until the input is used up, as a caller after a %break would.
  for (int round = 0; round < 64; ++round) {
    long before = fwk::input_tell(input);
    int result = fwk::template_process(args, stop);
    if (result != 0 && result != -1) std::abort();
    if (fwk::input_tell(input) < before) std::abort();
    if (fwk::input_tell(input) > static_cast<long>(source.size())) std::abort();
    if (fwk::input_getc(input) == fwk::kInputEnd) break;
    fwk::input_ungetc(input);
  }
  if (std::strlen(fwk::expr_result_text()) >= fwk::kExprResultArea) std::abort();
  if (!args.sink && fwk::tbuf_length(buffer) != 0) std::abort();
  // What a checking pass notes lies in the template it read.
  const long end = static_cast<long>(source.size());
  for (const fwk::SourceProblem& problem : check.problems) {
    if (problem.place.offset < 0 || problem.place.offset > end || problem.message.empty())
      std::abort();
  }
  for (const fwk::SourceElement& element : check.elements) {
    if (element.place.offset < 0 || element.place.offset > end) std::abort();
  }
  if (check.files.size() != 1) std::abort();
  return 0;
}
