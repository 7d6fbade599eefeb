#include "expr/expr.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/testing/test_lists.hpp"

namespace fwk {
namespace {

// Entries in order; a null name or value stays absent.
ParamListPtr vars_of(std::vector<std::pair<const char*, const char*>> entries) {
  ParamListPtr list = plist_alloc(0);
  for (auto& [name, value] : entries) test_list_add(*list, name, value);
  return list;
}

std::string value(const ParamList* vars, const char* text) {
  std::string copy(text);
  return expr_value(vars, copy.data());
}

TEST(ExprValue, NamesAndPlainNumbers) {
  auto vars = vars_of({{"name", "abc"}, {"empty", ""}, {"five", "5"}});
  EXPECT_EQ(value(vars.get(), "name"), "abc");
  EXPECT_EQ(value(vars.get(), "NAME"), "abc");
  EXPECT_EQ(value(vars.get(), "  =name"), "abc");
  EXPECT_EQ(value(vars.get(), "missing"), "");
  EXPECT_EQ(value(vars.get(), "empty"), "");
  EXPECT_EQ(value(vars.get(), "5"), "");  // a plain number is a name
  // An absent list gives the text itself; an absent text gives "".
  char text[] = "a+b";
  EXPECT_EQ(expr_value(nullptr, text), "a+b");
  EXPECT_EQ(expr_value(vars.get(), nullptr), "");
}

TEST(ExprValue, ArithmeticAndNumberOutput) {
  auto vars = vars_of({{"x", "1"}});
  EXPECT_EQ(value(vars.get(), "2+3"), "5");
  EXPECT_EQ(value(vars.get(), "7/2"), "3.500000");
  EXPECT_EQ(value(vars.get(), "7/0"), "0");
  EXPECT_EQ(value(vars.get(), "7%0"), "0");
  EXPECT_EQ(value(vars.get(), "7%3"), "1");
  EXPECT_EQ(value(vars.get(), "-7%3"), "-1");  // 0 - 7, then modulo: sign of the dividend
  EXPECT_EQ(value(vars.get(), "(2+3)*2"), "10");
  EXPECT_EQ(value(vars.get(), "10-3-2"), "5");  // literals run left to right
  EXPECT_EQ(value(vars.get(), "2 + 3"), "5");   // spaces around operators
  EXPECT_EQ(value(vars.get(), "-5"), "-5");
  EXPECT_EQ(value(vars.get(), "1.5*2"), "3");
  EXPECT_EQ(value(vars.get(), "2^10"), "1024");
  EXPECT_EQ(value(vars.get(), "2^3"), "8.000000");  // through logarithms
  EXPECT_EQ(value(vars.get(), "-8^(1/3)"), "0");    // 0 - 8, fractional power
  EXPECT_EQ(value(vars.get(), "0-2^2"), "4");
  EXPECT_EQ(value(vars.get(), "0-2^3"), "-8.000000");
  // A zero base has no logarithm: never "nan" or "inf" on a page.
  EXPECT_EQ(value(vars.get(), "0^0"), "1");
  EXPECT_EQ(value(vars.get(), "0^2"), "0");
  EXPECT_EQ(value(vars.get(), "0^(0-1)"), "0");
  EXPECT_EQ(value(vars.get(), "(x-1)^0+1"), "2");
  // An empty group or a missing ")" ends the walk.
  EXPECT_EQ(value(vars.get(), "4+()+1"), "4");
  EXPECT_EQ(value(vars.get(), "4+(1"), "4");
}

TEST(ExprValue, NameOperandsEvaluateTheirRightFirst) {
  auto vars = vars_of({{"a", "10"}, {"b", "3"}, {"c", "2"}, {"w", "abc"}});
  EXPECT_EQ(value(vars.get(), "a-b-c"), "9");   // 10 - (3 - 2)
  EXPECT_EQ(value(vars.get(), "a*b+c"), "50");  // 10 * (3 + 2)
  EXPECT_EQ(value(vars.get(), "a - b - c"), "9");
  EXPECT_EQ(value(vars.get(), "w+1"), "1");  // a word reads as 0
  // A name followed by a space and more text is read as a number.
  EXPECT_EQ(value(vars.get(), "a more"), "10");
  EXPECT_EQ(value(vars.get(), "w more"), "0");
}

TEST(ExprValue, CutsTheTextAtItsFirstSpace) {
  auto vars = vars_of({{"a", "1"}});
  char text[] = "a+1 +5";
  EXPECT_EQ(expr_value(vars.get(), text), "2");
  EXPECT_STREQ(text, "a+1");
}

TEST(ExprValue, ValueN) {
  auto vars = vars_of({{"ab", "x"}});
  EXPECT_EQ(expr_value_n(vars.get(), "abc", 2), "x");
  EXPECT_EQ(expr_value_n(vars.get(), "abc", 0), "");
  EXPECT_EQ(expr_value_n(vars.get(), "3+4 rest", 3), "7");
  EXPECT_EQ(expr_value_n(nullptr, "abc", 2), "ab");
}

TEST(ExprValue, ValuesReferringToThemselvesEnd) {
  // The walk continues in a name operand's value; a value that leads back
  // to itself must neither loop for ever nor change the stored value.
  auto vars = vars_of({{"a", "1*a*a"}, {"b", "3*c d"}, {"c", "2"}});
  EXPECT_FALSE(value(vars.get(), "a*a").empty());
  EXPECT_EQ(value(vars.get(), "1*b"), "6");
  EXPECT_STREQ(plist_get(vars.get(), "b", ""), "3*c d");
  std::string deep(5000, '(');
  deep += "1";
  deep += std::string(5000, ')');
  EXPECT_FALSE(value(vars.get(), ("1+" + deep).c_str()).empty());
}

TEST(ExprValue, LongSumsOfNamesAreNotCutShort) {
  // Each name operand nests one level; a score over a few hundred answers
  // must still add up.
  auto vars = vars_of({});
  std::string sum;
  for (int i = 1; i <= 300; ++i) {
    std::string name = "q" + std::to_string(i);
    test_list_add(*vars, name.c_str(), "1");
    sum += (i > 1 ? "+" : "") + name;
  }
  EXPECT_EQ(value(vars.get(), sum.c_str()), "300");
}

TEST(ExprValue, EmptyNameNeverFindsAFreeSlot) {
  // A deleted entry keeps its value in a free slot (name "").
  auto vars = vars_of({{"", "42"}, {"x", "1"}});
  EXPECT_EQ(value(vars.get(), "5+"), "5");
}

TEST(ExprNumbers, ReadingAndOutputLimits) {
  EXPECT_EQ(expr_number("  -2.5e1x"), -25);
  EXPECT_EQ(expr_number(".5"), 0.5);
  EXPECT_EQ(expr_number("abc"), 0);
  EXPECT_EQ(expr_number("0x10"), 0);  // no hexadecimal
  EXPECT_EQ(expr_number("inf"), 0);   // no words
  EXPECT_EQ(expr_number("3e"), 3);
  const char* end = nullptr;
  const char* text = "12ab";
  expr_number(text, &end);
  EXPECT_EQ(end, text + 2);

  EXPECT_EQ(expr_format_number(-0.0), "0");
  EXPECT_EQ(expr_format_number(2147483647.0), "2147483647");
  EXPECT_EQ(expr_format_number(2147483648.0), "2147483648.000000");
  // Too long for the area with "%f": exponent form, never beyond the area.
  EXPECT_EQ(expr_format_number(1e200), "1.000000e+200");
  EXPECT_LT(expr_format_number(-1.7e308).size(), kExprResultArea);

  EXPECT_EQ(expr_format_fixed(3.14159, 2), "3.14");
  EXPECT_EQ(expr_format_fixed(2.5, -3), "2");
  EXPECT_EQ(expr_format_fixed(1.0 / 3, 1000000).size(), kExprResultArea - 1);
  EXPECT_EQ(expr_format_fixed(1.0 / 3, 1000000).substr(0, 6), "0.3333");
  EXPECT_LT(expr_format_fixed(1e300, 5).size(), kExprResultArea);
}

struct CompareCase {
  const char* text;
  int expected;
};

void expect_compare(const ParamList* vars, std::vector<CompareCase> cases,
                    const ParamList* second = nullptr) {
  for (const CompareCase& c : cases)
    EXPECT_EQ(expr_compare(c.text, vars, second, nullptr), c.expected) << c.text;
}

TEST(ExprCompare, Operators) {
  auto vars = vars_of({{"n", "1"}, {"name", "abc"}, {"q", "Mary"}, {"x", "2"}, {"big", "10"}});
  expect_compare(vars.get(), {
                                 {"n == 01", 1},       {"n eq 01", 0},      {"name = 'ABC'", 1},
                                 {"q =~ 'ar'", 1},     {"q !~ 'ar'", 0},    {"q s 'AR'", 1},
                                 {"!x == 1", 1},       {"x == 1", 0},       {"big > 9", 1},
                                 {"big gt 9", 1},      {"big < 9", 0},      {"big lt 11", 1},
                                 {"big >= 10", 1},     {"big gte 10", 1},   {"big <= 9", 0},
                                 {"big lte 10", 1},    {"big === 10.0", 1}, {"name != abd", 1},
                                 {"name ne 'abc'", 0}, {"big > x", 1},      {"x GT 1", 1},
                             });
}

TEST(ExprCompare, TruthTests) {
  auto vars = vars_of({{"e", ""}, {"z", "0"}, {"h", "0.5"}, {"one", "1"}, {"w", "word"}});
  expect_compare(vars.get(), {{"e ?", 0},
                              {"z ?", 0},
                              {"h ?", 0},
                              {"one ?", 1},
                              {"w ? 'y' : 'n'", 1},
                              {"missing ?", 0},
                              {"w :", 1},
                              // The scan skips to the next of ~=<>! and space only,
                              // so a "?" glued to the name is never reached.
                              {"w?", -1}});
}

TEST(ExprCompare, MalformedTexts) {
  auto vars = vars_of({{"a", "1"}});
  expect_compare(vars.get(), {{"", -1},
                              {"a", -1},           // no operator
                              {"== 1", -1},        // operator at the start
                              {"a == 'open", -1},  // unclosed quote
                              {"a => 1", 0},       // "=" with the right operand ">"
                              {"a ~ 1", -1},       // ~ alone is not an operator
                              {"a <> 1", 0}});     // "<" with the right operand ">"
  EXPECT_EQ(expr_compare("a == 1", nullptr, nullptr, nullptr), 0);
}

TEST(ExprCompare, WordOperatorsAreFoundAtEveryWord) {
  // A variable named s followed by a space is read as the operator "s ".
  auto vars = vars_of({{"s", "x"}, {"t", "abc"}});
  EXPECT_EQ(expr_compare("s == x", vars.get(), nullptr, nullptr), -1);
  // The scan runs on: "t & a" is the left operand of "== 'abc'".
  EXPECT_EQ(expr_compare("t & a eq 'abc'", vars.get(), nullptr, nullptr), 0);
  EXPECT_EQ(expr_compare("t eq 'abc'", vars.get(), nullptr, nullptr), 1);
}

TEST(ExprCompare, RightOperands) {
  auto vars = vars_of({{"a", "5"}, {"b", "5"}, {"c", "4"}, {"u", "undefined"}, {"sv", "it's"}});
  expect_compare(vars.get(), {{"a == b", 1},
                              {"a == c+1", 1},        // evaluated
                              {"a == 4+1", 0},        // starts like a number: literal, reads 4
                              {"u == undefined", 1},  // only the literal word matches
                              {"a == undefined", 0},
                              {"a == UNDEF", 0},
                              {"a == ''", 0},  // empty quotes count as undefined
                              {"a ==", 0},
                              {"a == \"5\"", 1},
                              {"sv eq 'it\\'s'", 1}});
  const char* end = nullptr;
  const char* text = "a == 'x y' & more";
  expr_compare(text, vars.get(), nullptr, &end);
  EXPECT_STREQ(end, " & more");
  text = "a == b) rest";
  expr_compare(text, vars.get(), nullptr, &end);
  EXPECT_STREQ(end, ") rest");
}

TEST(ExprCompare, UndefinedMatchesAMissingValue) {
  // '' and undefined stand for a missing value: a test for an empty answer
  // must not pass a filled one, nor fail an empty one.
  auto vars = vars_of({{"e", ""}, {"a", "5"}, {"z", "0"}, {"u", "undefined"}});
  expect_compare(vars.get(), {{"e == ''", 1},
                              {"e != ''", 0},
                              {"e eq \"\"", 1},
                              {"e ne ''", 0},
                              {"e === undefined", 1},
                              {"missing = undef", 1},
                              {"missing ==", 1},
                              {"!e == ''", 0},
                              {"a == ''", 0},
                              {"a != ''", 1},
                              {"z == ''", 0},
                              {"u == ''", 1},
                              // Other operators keep reading the empty text.
                              {"e =~ ''", 0},
                              {"e < ''", 0},
                              {"e ?", 0}});
  auto prefixed = vars_of({{"Q1", "a"}, {"Q1_x", ""}, {"Q2", "b"}});
  expect_compare(prefixed.get(), {{"/Q1 == ''", 1}, {"/Q2 == ''", 0}, {"/Q2 != ''", 1}});
  auto record = vars_of({{"f", ""}});
  expect_compare(vars.get(), {{"$f == ''", 1}, {"$a == ''", 1}}, record.get());
}

TEST(ExprCompare, SecondList) {
  auto vars = vars_of({{"v", "x"}, {"$f", "dollar"}});
  auto record = vars_of({{"f", "x"}});
  expect_compare(vars.get(), {{"$f eq v", 1}, {"v eq $f", 1}, {"$f eq 'y'", 0}}, record.get());
  // Without a second list: "$f" on the left is its own text "f", on the
  // right it is looked up, "$" included, in the variables.
  expect_compare(vars.get(), {{"$f eq 'f'", 1}, {"v eq $f", 0}});
  EXPECT_EQ(expr_compare("$f eq dollar", vars.get(), nullptr, nullptr), 0);
  auto v2 = vars_of({{"w", "dollar"}, {"$f", "dollar"}});
  EXPECT_EQ(expr_compare("w eq $f", v2.get(), nullptr, nullptr), 1);
}

TEST(ExprCompare, PrefixMode) {
  auto vars = vars_of({{"Q5", "a"}, {"Q5_1", "b, x"}, {"Q50", "x"}, {"Q6_other", "x"}});
  expect_compare(vars.get(), {{"/Q5 has 'x'", 1},
                              {"Q5 has 'x'", 1},
                              {"/Q6 has 'x'", 1},
                              {"/Q6 has 'y'", 0},
                              {"/Q5 eq 'a'", 1},
                              {"/Q5/ eq 'b, x'", 1},
                              {"/Q7 eq 'a'", 0},
                              {"!/Q5 has 'x'", 0}});
  auto only50 = vars_of({{"Q50", "x"}, {"Q5x", "x"}});
  EXPECT_EQ(expr_compare("/Q5 has 'x'", only50.get(), nullptr, nullptr), 0);
  // "has" compares whole items, letter case counting.
  auto items = vars_of({{"Q1", "ab,Cd"}});
  expect_compare(items.get(), {{"Q1 has 'a'", 0}, {"Q1 has 'cd'", 0}, {"Q1 has 'Cd'", 1}});
  // An entry without a value: undefined on the right matches it, anything
  // else makes the comparison fail.
  auto novalue = vars_of({{"Q9", nullptr}});
  expect_compare(novalue.get(), {{"/Q9 == undefined", 1}, {"/Q9 eq 'x'", -1}});
}

TEST(ExprCompare, PrefixModeSeesEveryBlock) {
  // A script's variables go to a continuation block once the first is full.
  auto vars = vars_of({{"Q5", "a"}});
  plist_extend(vars.get(), 4);
  ASSERT_EQ(plist_set(vars.get(), "Q5_1", "b, x"), 1);
  expect_compare(vars.get(), {{"/Q5 has 'x'", 1}, {"!/Q5 has 'x'", 0}, {"/Q5 has 'y'", 0}});
}

TEST(ExprCompare, EmptyVariablesList) {
  auto vars = vars_of({{nullptr, nullptr}, {"a", "1"}});
  expect_compare(vars.get(), {{"a == 1", 0}, {"!a == 1", 1}, {"a", -1}});
}

TEST(ExprCondition, CombinesLeftToRight) {
  auto vars = vars_of({{"x", "1"}, {"y", "0"}, {"z", "1"}});
  struct Case {
    const char* text;
    int expected;
  };
  for (Case c : std::vector<Case>{{"", 1},
                                  {"   ", 1},
                                  {"x", -1},
                                  {"x == 1", 1},
                                  {"x == 1 && y == 1", 0},
                                  {"x == 1 & y == 1 | z == 1", 1},  // (x and y) or z
                                  {"x == 0 | y == 0 & z == 0", 0},  // (x or y) and z
                                  {"x == 1 || y == 1", 1},
                                  {"x == 1 ^ z == 1", 0},
                                  {"x == 1 ^ y == 1", 1},
                                  {"(x == 0 | z == 1) & y == 0", 1},
                                  {"x == 1 && (y == 1 || z == 1)", 1},
                                  {"x == 1 &&", -1},
                                  {"x == 1 && y", -1},
                                  {"x == 1 ) junk", 1}}) {
    EXPECT_EQ(expr_condition(c.text, vars.get(), nullptr), c.expected) << c.text;
  }
}

TEST(ExprCondition, DeepNestingIsRefused) {
  auto vars = vars_of({{"x", "1"}});
  std::string text(100000, '(');
  EXPECT_EQ(expr_condition(text.c_str(), vars.get(), nullptr), -1);
}

}  // namespace
}  // namespace fwk
