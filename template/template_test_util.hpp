// Helpers for the template tests: lists from literals, and a processor run
// over a text in memory into a text buffer.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/testing/test_lists.hpp"
#include "core/text_buffer.hpp"
#include "template/template.hpp"

namespace fwk::testing {

// Entries in order; a null name leaves the name absent, a null value the
// value absent.
inline ParamListPtr list_of(std::vector<std::pair<const char*, const char*>> entries) {
  auto list = plist_alloc(0);
  for (auto& [name, value] : entries) test_list_add(*list, name, value);
  return list;
}

struct Rendered {
  std::string text;
  int result = 0;
  long position = 0;  // where the input was left
};

struct RenderOptions {
  ParamList* variables = nullptr;
  ParamList* record = nullptr;
  ParamList* unplaced = nullptr;
  int fill_fields = 0;
  const char* stop_tag = nullptr;
  bool silent = false;
  int depth = 0;
};

inline Rendered render(const std::string& source, const RenderOptions& o = {}) {
  TextBuffer buffer = tbuf_new(1024);
  OutputSink sink;
  sink.text = &buffer;
  TextInput input = input_from_memory(source);
  TemplateArgs args;
  args.base_path = "/srv/root/page.html";
  args.sink = o.silent ? nullptr : &sink;
  args.input = &input;
  args.variables = o.variables;
  args.record = o.record;
  args.unplaced = o.unplaced;
  args.fill_fields = o.fill_fields;
  args.depth = o.depth;
  Rendered r;
  r.result = template_process(args, o.stop_tag);
  r.position = input_tell(input);
  r.text = tbuf_to_text(buffer);
  return r;
}

inline std::string render_text(const std::string& source, ParamList* variables,
                               ParamList* record = nullptr) {
  RenderOptions o;
  o.variables = variables;
  o.record = record;
  return render(source, o).text;
}

}  // namespace fwk::testing
