#include "script/source_check.hpp"

#include <utility>

#include "expr/expr.hpp"

namespace fwk {

namespace {

// Characters without which a text cannot hold a comparison written with a
// symbol or a quoted operand.
constexpr const char* kComparisonChars = "=<>!~?:'\"";

}  // namespace

SourcePlace source_place(const SourceCheck& check, long offset) {
  return {check.files.empty() ? std::string() : check.files.back(), offset};
}

void source_problem(SourceCheck* check, long offset, SourceSeverity severity, std::string message) {
  if (!check) return;
  check->problems.push_back({source_place(*check, offset), severity, std::move(message)});
}

void source_condition(SourceCheck* check, long offset, const char* text, const char* outcome) {
  if (!check) return;
  std::string condition = text ? text : "";
  source_read(check, condition);
  if (expr_condition(condition.c_str(), check->probe.get(), check->probe.get()) != -1) return;
  const bool has_operator = condition.find_first_of(kComparisonChars) != std::string::npos;
  std::string message = "the condition \"" + condition + "\" ";
  message += has_operator ? "is not a well-formed comparison" : "compares nothing";
  message += std::string(" and ") + outcome;
  source_problem(check, offset, has_operator ? SourceSeverity::error : SourceSeverity::warning,
                 std::move(message));
}

void source_read(SourceCheck* check, std::string text) {
  if (check && !text.empty()) check->reads.push_back(std::move(text));
}

}  // namespace fwk
