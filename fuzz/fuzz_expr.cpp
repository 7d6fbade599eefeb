// Fuzzes the expression evaluator: the input is used as a condition, as a
// comparison, as a value expression and as an output expression, against a
// fixed variables list and record.
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

// A computed number never outgrows the result area.
void check_number_text(const std::string& text) {
  if (text.size() >= fwk::kExprResultArea || std::strlen(text.c_str()) != text.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string c_text(text.c_str());  // up to the first zero byte

  auto vars = fwk::test_list({{"a", "10"},
                              {"b", "3"},
                              {"s", "x"},
                              {"Q5", "a"},
                              {"Q5_1", "b, x"},
                              {"w", "word"},
                              {"neg", "-8"},
                              {"huge", "1e308"},
                              {"self", "1*self+self"},
                              {"loop", "2^loop"},
                              {"", "deleted"},
                              {"nv", nullptr}});
  auto record = fwk::test_list({{"f", "x"}, {"#", "2"}});

  int r = fwk::expr_condition(c_text.c_str(), vars.get(), record.get());
  if (r < -1 || r > 1) std::abort();
  r = fwk::expr_condition(c_text.c_str(), vars.get(), nullptr);
  if (r < -1 || r > 1) std::abort();

  const char* end = nullptr;
  r = fwk::expr_compare(c_text.c_str(), vars.get(), record.get(), &end);
  if (r < -1 || r > 1) std::abort();
  if (end < c_text.c_str() || end > c_text.c_str() + c_text.size()) std::abort();

  std::string mutable_text = c_text;
  std::string value = fwk::expr_value(vars.get(), mutable_text.data());
  value = fwk::expr_value_n(vars.get(), text.data(), static_cast<long>(size));
  const double number = fwk::expr_number(c_text.c_str());
  check_number_text(fwk::expr_format_number(number));
  check_number_text(fwk::expr_format_fixed(number, static_cast<long>(size % 300) - 50));

  fwk::TextBuffer buffer = fwk::tbuf_new(256);
  fwk::OutputSink sink;
  sink.text = &buffer;
  mutable_text = c_text;
  r = fwk::template_substitute(mutable_text.data(), &sink, vars.get());
  if (r < -1 || r > 1) std::abort();
  return 0;
}
