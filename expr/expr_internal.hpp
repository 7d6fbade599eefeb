// Internals shared by the parts of the expression evaluator.
//
// One top-level evaluation carries a budget through its recursion: the
// nesting of groups and name operands, and the number of operator steps
// taken. A text that would nest deeper or walk longer (a variable whose
// value refers back to itself, thousands of nested parentheses) ends early
// instead of exhausting the stack or looping for ever.
#pragma once

#include <string>

#include "core/plist.hpp"

namespace fwk {

constexpr int kExprMaxNesting = 1000;
constexpr long kExprMaxSteps = 10000;

struct ExprBudget {
  int depth = 0;
  long steps = 0;
  // Counts one operator step; false once the budget is used up.
  bool spend();
};

// One level of nesting for as long as it lives.
struct ExprNesting {
  explicit ExprNesting(ExprBudget& b) : budget(b) { ++budget.depth; }
  ~ExprNesting() { --budget.depth; }
  ExprNesting(const ExprNesting&) = delete;
  ExprNesting& operator=(const ExprNesting&) = delete;
  bool ok() const { return budget.depth <= kExprMaxNesting; }
  ExprBudget& budget;
};

std::string expr_value_in(const ParamList* vars, char* text, ExprBudget& budget);
std::string expr_value_n_in(const ParamList* vars, const char* text, long n, ExprBudget& budget);

}  // namespace fwk
