// Numbers, the shared result area and value expressions.
#include "expr/expr.hpp"

#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "expr/expr_internal.hpp"
#include "expr/expr_scan.hpp"

namespace fwk {

namespace {

// One per thread: an export evaluates its query on a thread of its own
// while the server thread runs pages.
thread_local std::array<char, kExprResultArea> result_area{};

// Holds the copy that expr_value_n returns when it has no list to look
// names up in (the copy is then the value). Valid until the next call.
std::string& unlisted_copy() {
  thread_local std::string copy;
  return copy;
}

// Converts the span [begin, end) that expr_number has delimited.
double convert_number(const char* begin, const char* end) {
  if (*begin == '+') ++begin;
  double value = 0;
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec == std::errc::result_out_of_range) {
    // Overflow or underflow: the C conversion gives +-HUGE_VAL or the
    // nearest tiny number, where from_chars would give nothing.
    std::string copy(begin, end);
    return std::strtod(copy.c_str(), nullptr);
  }
  (void)ptr;
  return value;
}

// A name's value for an operand: "" when missing, empty, or when the name
// itself is empty (an empty name would otherwise find a free slot of the
// list and, with it, the value of a deleted variable).
const char* lookup(const ParamList* vars, const char* name) {
  if (*name == '\0') return "";
  return plist_get(vars, name, "");
}

// The position of the ")" matching the "(" at open, or nullptr.
char* matching_paren(char* open) {
  int level = 0;
  for (char* p = open; *p; ++p) {
    if (*p == '(') ++level;
    if (*p == ')' && --level == 0) return p;
  }
  return nullptr;
}

// v to the power u through logarithms; a negative base needs a whole
// exponent (otherwise 0) and gives the power of -v, negated for odd u.
// A zero base has no logarithm: 0^0 is 1, and a negative exponent (a
// division by zero) gives 0 like the division does.
double power(double v, double u) {
  if (v == 0) return u == 0 ? 1 : 0;
  if (v < 0) {
    if (u != std::trunc(u)) return 0;
    double r = std::exp(u * std::log(-v));
    return std::fmod(u, 2.0) != 0 ? -r : r;
  }
  return std::exp(u * std::log(v));
}

double apply(char op, double v, double u) {
  switch (op) {
    case '+':
      return v + u;
    case '-':
      return v - u;
    case '*':
      return v * u;
    case '/':
      return u == 0 ? 0 : v / u;
    case '%': {
      double divisor = std::trunc(u);
      return divisor == 0 ? 0 : std::fmod(std::trunc(v), divisor);
    }
    case '^':
      return power(v, u);
    case '(':
      return u;
    default:
      return v;
  }
}

// The walk over the operators after the first operand. `rest` points at
// the first operator; the walk may continue in the text of a name
// operand's value, which is copied first so list values are never written.
double walk(const ParamList* vars, char* rest, double v, ExprBudget& budget) {
  std::string continuation;
  char* p = rest;
  while (budget.spend()) {
    while (ascii_is_space(static_cast<unsigned char>(*p))) ++p;
    char op = *p;
    if (op == '\0') break;
    char* q = (op == '(') ? p : p + 1;
    while (ascii_is_space(static_cast<unsigned char>(*q))) ++q;
    double u = 0;
    if (scan_is_digit(static_cast<unsigned char>(*q))) {
      const char* after = q;
      u = expr_number(q, &after);
      p = q + (after - q);
    } else if (*q == '(') {
      char* close = matching_paren(q);
      if (!close || close == q + 1) break;
      u = expr_number(expr_value_n_in(vars, q + 1, close - (q + 1), budget));
      p = close + 1;
    } else {
      // A name: everything to its right is evaluated first.
      const char* value = expr_value_in(vars, q, budget);
      const char* after = value;
      u = expr_number(value, &after);
      std::string next(after);
      continuation.swap(next);
      p = continuation.data();
    }
    v = apply(op, v, u);
  }
  return v;
}

}  // namespace

// --- Budget --------------------------------------------------------------

bool ExprBudget::spend() {
  if (steps >= kExprMaxSteps) return false;
  ++steps;
  return true;
}

// --- Numbers -------------------------------------------------------------

double expr_number(const char* text, const char** end) {
  if (end) *end = text;
  if (!text) return 0;
  const char* p = text;
  while (ascii_is_space(static_cast<unsigned char>(*p)) || *p == '\v' || *p == '\f') ++p;
  const char* begin = p;
  if (*p == '+' || *p == '-') ++p;
  const char* digits = p;
  while (scan_is_digit(static_cast<unsigned char>(*p))) ++p;
  bool whole = p > digits;
  bool fraction = false;
  if (*p == '.') {
    const char* q = p + 1;
    while (scan_is_digit(static_cast<unsigned char>(*q))) ++q;
    fraction = q > p + 1;
    if (whole || fraction) p = q;
  }
  if (!whole && !fraction) return 0;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (*q == '+' || *q == '-') ++q;
    if (scan_is_digit(static_cast<unsigned char>(*q))) {
      while (scan_is_digit(static_cast<unsigned char>(*q))) ++q;
      p = q;
    }
  }
  if (end) *end = p;
  return convert_number(begin, p);
}

const char* expr_format_number(double v) {
  char* area = result_area.data();
  if (std::isfinite(v) && v >= INT_MIN && v <= INT_MAX && v == std::trunc(v)) {
    std::snprintf(area, kExprResultArea, "%d", static_cast<int>(v));
    return area;
  }
  int n = std::snprintf(area, kExprResultArea, "%f", v);
  if (n < 0 || static_cast<std::size_t>(n) >= kExprResultArea)
    std::snprintf(area, kExprResultArea, "%e", v);
  return area;
}

const char* expr_format_fixed(double v, long decimals) {
  char* area = result_area.data();
  const long room = static_cast<long>(kExprResultArea) - 1;
  long d = decimals < 0 ? 0 : (decimals > room ? room : decimals);
  while (true) {
    int n = std::snprintf(area, kExprResultArea, "%.*f", static_cast<int>(d), v);
    if (n >= 0 && n <= room) return area;
    if (d == 0) break;
    long excess = n - room;
    d = excess >= d ? 0 : d - excess;
  }
  std::snprintf(area, kExprResultArea, "%e", v);
  return area;
}

const char* expr_result_text() {
  return result_area.data();
}

// --- Value expressions ---------------------------------------------------

const char* expr_value_in(const ParamList* vars, char* text, ExprBudget& budget) {
  if (!text) return "";
  if (!vars) return text;
  ExprNesting nesting(budget);
  if (!nesting.ok()) return "";
  while (ascii_is_space(static_cast<unsigned char>(*text))) ++text;
  if (*text == '=') ++text;
  std::size_t k = std::strcspn(text, "(+-*/^%");
  if (char* space = std::strchr(text, ' ')) *space = '\0';
  std::size_t length = std::strlen(text);
  if (k == length) return lookup(vars, text);

  // Arithmetic: the first operand ends at the operator or at the cut.
  std::string first(text, k < length ? k : length);
  const char* value = lookup(vars, first.c_str());
  double v = expr_number(*value ? value : first.c_str());
  v = walk(vars, text + k, v, budget);
  return expr_format_number(v);
}

const char* expr_value_n_in(const ParamList* vars, const char* text, long n, ExprBudget& budget) {
  if (!text || n < 1) return "";
  std::string copy;
  std::size_t limit = static_cast<std::size_t>(n);
  std::size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  copy.assign(text, length);
  if (!vars) {
    unlisted_copy().swap(copy);
    return unlisted_copy().c_str();
  }
  return expr_value_in(vars, copy.data(), budget);
}

const char* expr_value(const ParamList* vars, char* text) {
  ExprBudget budget;
  return expr_value_in(vars, text, budget);
}

const char* expr_value_n(const ParamList* vars, const char* text, long n) {
  ExprBudget budget;
  return expr_value_n_in(vars, text, n, budget);
}

}  // namespace fwk
