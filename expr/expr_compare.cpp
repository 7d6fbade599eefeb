// Comparisons and conditions.
#include <cstring>
#include <string>

#include "core/list_text.hpp"
#include "core/text_util.hpp"
#include "expr/expr.hpp"
#include "expr/expr_internal.hpp"
#include "expr/expr_scan.hpp"

namespace fwk {

namespace {

enum Code {
  kTruth = 0,
  kTextEqual = 1,
  kGreater = 2,
  kLess = 3,
  kContains = 4,
  kGreaterEqual = 5,
  kLessEqual = 6,
  kTextDiffer = 7,
  kLacks = 8,
  kNumEqual = 9,
  kListHas = 10,
};

struct Operator {
  const char* word;  // compared ignoring case over its whole length
  int code;
  int skip;  // characters stepped over before the right operand
  bool prefix;
};

// Tested in this order at every scan position; word operators carry their
// trailing space, so "s ", "gt ", "eq " ... are found at the start of any
// word, a variable of that name included.
constexpr Operator kOperators[] = {
    {"gte ", kGreaterEqual, 4, false}, {"has ", kListHas, 4, true},
    {">=", kGreaterEqual, 2, false},   {"<=", kLessEqual, 2, false},
    {"lte ", kLessEqual, 3, false},    {">", kGreater, 1, false},
    {"gt ", kGreater, 3, false},       {"<", kLess, 1, false},
    {"lt ", kLess, 3, false},          {"=~", kContains, 2, false},
    {"!~", kLacks, 2, false},          {"s ", kContains, 2, false},
    {"eq ", kTextEqual, 2, false},     {"===", kNumEqual, 3, false},
    {"==", kNumEqual, 2, false},       {"=", kTextEqual, 1, false},
    {"!=", kTextDiffer, 2, false},     {"ne ", kTextDiffer, 2, false},
};

constexpr Operator kTruthTest = {"", kTruth, 0, false};

const Operator* operator_at(const char* p) {
  for (const Operator& op : kOperators)
    if (text_starts_nocase(p, op.word, std::strlen(op.word))) return &op;
  if (*p == '?' || *p == ':') return &kTruthTest;
  return nullptr;
}

// Scans for the operator from the operand's start; nullptr when the text
// holds none, or holds an operator of ~=<>! that is not in the table.
const char* find_operator(const char* p, const Operator** found) {
  while (*p) {
    if ((*found = operator_at(p))) return p;
    unsigned char c = static_cast<unsigned char>(*p);
    if (ascii_is_space(c)) {
      p = scan_skip_space(p);
      continue;
    }
    if (scan_in_set(c, "~=<>!")) return nullptr;
    while (*p && !scan_in_set(static_cast<unsigned char>(*p), "~=<>! ")) ++p;
    p = scan_skip_space(p);
  }
  return nullptr;
}

// Whether word (any length, any case) is "undefined" or a beginning of it.
bool is_undefined_word(const std::string& word) {
  static const char kUndefined[] = "undefined";
  return word.size() < sizeof kUndefined &&
         text_starts_nocase(kUndefined, word.c_str(), word.size());
}

// An empty text contains nothing, not even "".
bool contains_nocase(const char* haystack, const char* needle) {
  return *haystack && text_contains_nocase(haystack, needle);
}

bool holds(int code, const char* left, const char* right) {
  switch (code) {
    case kTruth:
      return left[0] != '\0' && left[0] != '0';
    case kTextEqual:
      return text_compare_nocase(left, right) == 0;
    case kGreater:
      return expr_number(left) > expr_number(right);
    case kLess:
      return expr_number(left) < expr_number(right);
    case kContains:
      return contains_nocase(left, right);
    case kGreaterEqual:
      return expr_number(left) >= expr_number(right);
    case kLessEqual:
      return expr_number(left) <= expr_number(right);
    case kTextDiffer:
      return text_compare_nocase(left, right) != 0;
    case kLacks:
      return !contains_nocase(left, right);
    case kNumEqual:
      return expr_number(left) == expr_number(right);
    case kListHas:
      return list_contains_exact(left, right) != 0;
  }
  return false;
}

// An undefined right operand stands for a missing value, so under the text
// comparisons an empty left value meets it as "undefined": "x == ''" is
// true and "x != ''" false for an empty x. Without this only an entry with
// no value at all (which a lookup never yields) could ever match it.
const char* missing_as_undefined(const char* value, bool undefined, int code) {
  if (undefined && *value == '\0' && (code == kTextEqual || code == kTextDiffer))
    return "undefined";
  return value;
}

// Whether a variable's name is covered by a prefix operand: the name is the
// operand, or begins with it followed by "_".
bool covered_by_prefix(const std::string& name, const std::string& prefix) {
  if (name.size() < prefix.size()) return false;
  if (!text_starts_nocase(name.c_str(), prefix.c_str(), prefix.size())) return false;
  return name.size() == prefix.size() || name[prefix.size()] == '_';
}

// An operand looked up in the second list when written with "$" (and there
// is one), else in the variables list.
std::string operand_value(const std::string& operand, const ParamList* vars,
                          const ParamList* second, ExprBudget& budget) {
  if (operand.size() > 1 && operand[0] == '$' && second)
    return expr_value_n_in(second, operand.c_str() + 1, static_cast<long>(operand.size() - 1),
                           budget);
  return expr_value_n_in(vars, operand.c_str(), static_cast<long>(operand.size()), budget);
}

// The left value of an ordinary comparison: "$name" in the second list
// (without one, the name's own text), anything else in the variables.
std::string left_value(const std::string& left, const ParamList* vars, const ParamList* second,
                       ExprBudget& budget) {
  if (!left.empty() && left[0] == '$') {
    std::string rest = left.substr(1);
    if (!second) return rest;
    return expr_value_n_in(second, rest.c_str(), static_cast<long>(rest.size()), budget);
  }
  return expr_value_n_in(vars, left.c_str(), static_cast<long>(left.size()), budget);
}

int compare_in(const char* text, const ParamList* vars, const ParamList* second,
               const char** end_out, ExprBudget& budget) {
  if (end_out) *end_out = text;
  if (!vars) return 0;
  if (!text || !*text) return -1;

  const char* p = text;
  bool negate = false;
  bool prefix = false;
  if (*p == '!') {
    negate = true;
    p = scan_skip_space(p + 1);
  }
  if (*p == '/') {
    prefix = true;
    ++p;
  }

  const Operator* op = nullptr;
  const char* at = find_operator(p, &op);
  if (!at) return -1;
  const char* left_end = at;
  while (left_end > p && ascii_is_space(static_cast<unsigned char>(left_end[-1]))) --left_end;
  if (left_end == p) return -1;
  std::string left(p, left_end);
  int code = op->code;
  prefix = prefix || op->prefix;

  // The right operand.
  const char* r = scan_skip_space(at + op->skip);
  std::string right;
  bool undefined = false;
  const char* end = r;
  if (*r == '"' || *r == '\'') {
    if (!text_read_quoted(r, right, &end)) return -1;
    undefined = (end == r + 2);
  } else {
    while (*end && !scan_in_set(static_cast<unsigned char>(*end), "?:!&|) \r\t\n")) ++end;
    right.assign(r, end);
    if (is_undefined_word(right)) {
      undefined = true;
    } else if (!text_is_number_start(right.c_str())) {
      right = operand_value(right, vars, second, budget);
    }
  }
  if (end_out) *end_out = end;

  if (prefix && !left.empty() && left.back() == '/') left.pop_back();
  // A list whose first block has no used entry counts as empty.
  if (plist_used_count(vars) == 0) return negate ? 1 : 0;
  if (undefined) {
    right = "undefined";
    if (code == kNumEqual) code = kTextEqual;
  }

  bool result = false;
  if (prefix) {
    // Every entry of the whole list takes part: a script's variables may
    // live in a continuation block.
    bool malformed = false;
    plist_each(vars, [&](const Pair& entry) {
      if (!covered_by_prefix(*entry.name, left)) return true;
      const char* value = entry.value ? entry.value->c_str() : nullptr;
      if (!value) {
        if (!undefined) {
          malformed = true;
          return false;
        }
        value = "undefined";
      }
      result = holds(code, missing_as_undefined(value, undefined, code), right.c_str());
      return !result;
    });
    if (malformed) return -1;
  } else {
    std::string value = left_value(left, vars, second, budget);
    result = holds(code, missing_as_undefined(value.c_str(), undefined, code), right.c_str());
  }
  return (result != negate) ? 1 : 0;
}

int condition_in(const char*& p, const ParamList* vars, const ParamList* second,
                 ExprBudget& budget);

int term_in(const char*& p, const ParamList* vars, const ParamList* second, ExprBudget& budget) {
  if (*p == '(') {
    ++p;
    return condition_in(p, vars, second, budget);
  }
  const char* end = p;
  int result = compare_in(p, vars, second, &end, budget);
  p = end;
  return result;
}

int condition_in(const char*& p, const ParamList* vars, const ParamList* second,
                 ExprBudget& budget) {
  ExprNesting nesting(budget);
  if (!nesting.ok()) return -1;
  p = scan_skip_space(p);
  if (!*p) return 1;
  int result = term_in(p, vars, second, budget);
  if (result == -1) return -1;
  while (true) {
    p = scan_skip_space(p);
    char join = *p;
    if (join != '&' && join != '|' && join != '^') break;
    while (*p == join) ++p;
    p = scan_skip_space(p);
    if (!*p) return -1;
    int next = term_in(p, vars, second, budget);
    if (next == -1) return -1;
    if (join == '&') result = (result && next) ? 1 : 0;
    if (join == '|') result = (result || next) ? 1 : 0;
    if (join == '^') result = result ^ next;
  }
  if (*p == ')') ++p;
  return result;
}

}  // namespace

int expr_compare(const char* text, const ParamList* vars, const ParamList* second,
                 const char** end_out) {
  ExprBudget budget;
  return compare_in(text, vars, second, end_out, budget);
}

int expr_condition(const char* text, const ParamList* vars, const ParamList* second) {
  if (!text) return 1;
  ExprBudget budget;
  const char* p = text;
  return condition_in(p, vars, second, budget);
}

}  // namespace fwk
