#include "script/script_run.hpp"

#include <gtest/gtest.h>

#include "script/script_test_util.hpp"

namespace fwk {
namespace {

using script_testing::run_script;
using script_testing::var;
using script_testing::variables;

TEST(ScriptAssign, NumberModeEvaluatesTheLineAndStringModeJoinsOperands) {
  ParamListPtr vars = variables();
  auto r = run_script(
      "x = 5\n"
      "y = x * 2 + 1\n"
      "s = \"a\" + x + \"b\"\n"
      "t = 'p' x 'q' 7;\n"
      "z = 007\n"
      "w = x\n",
      vars.get());
  EXPECT_EQ(r.code, ScriptResult::ok);
  EXPECT_EQ(var(vars.get(), "x"), "5");
  EXPECT_EQ(var(vars.get(), "y"), "11");
  EXPECT_EQ(var(vars.get(), "s"), "a5b");
  // Operands may follow each other without "+"; a bare number is looked up
  // as a name and adds nothing.
  EXPECT_EQ(var(vars.get(), "t"), "p5q");
  EXPECT_EQ(var(vars.get(), "z"), "007");
  EXPECT_EQ(var(vars.get(), "w"), "5");
}

TEST(ScriptAssign, PlusEqualsAppendsTextAndAddsNumbers) {
  ParamListPtr vars = variables();
  auto r = run_script(
      "x = 'ab'\nx += 'cd'\n"
      "n = 4\nn += 3\n"
      "m += 2\n"
      "t = 'v'\nt += 2\n",
      vars.get());
  EXPECT_EQ(r.code, ScriptResult::ok);
  EXPECT_EQ(var(vars.get(), "x"), "abcd");
  EXPECT_EQ(var(vars.get(), "n"), "7");
  EXPECT_EQ(var(vars.get(), "m"), "2");
  EXPECT_EQ(var(vars.get(), "t"), "v2");
}

TEST(ScriptAssign, ScriptEndRightAfterAValue) {
  ParamListPtr vars = variables();
  auto r = run_script("x = 5 %>after", vars.get());
  EXPECT_EQ(r.code, ScriptResult::ok);
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(var(vars.get(), "x"), "5");
  EXPECT_EQ(r.position, 8);  // the template goes on with "after"
  r = run_script("y = 2 * 3 %>after", vars.get());
  EXPECT_EQ(var(vars.get(), "y"), "6");
  EXPECT_EQ(r.position, 12);
  r = run_script("s = 'a' 'b' %>after", vars.get());
  EXPECT_EQ(var(vars.get(), "s"), "ab");
  EXPECT_EQ(r.position, 14);
  // The same with "%>" written right after the value.
  r = run_script("z = 7%>after", vars.get());
  EXPECT_EQ(r.code, ScriptResult::ok);
  EXPECT_EQ(var(vars.get(), "z"), "7");
  EXPECT_EQ(r.position, 7);
  r = run_script("t = 'a' + z%>after", vars.get());
  EXPECT_EQ(var(vars.get(), "t"), "a7");
  EXPECT_EQ(r.position, 13);
}

TEST(ScriptAssign, MissingValuesAndBadStatements) {
  ParamListPtr vars = variables();
  EXPECT_EQ(run_script("x = ;\ny = 1\n", vars.get()).code, ScriptResult::need_value);
  EXPECT_EQ(var(vars.get(), "y"), "<missing>");
  EXPECT_EQ(run_script("x =", vars.get()).code, ScriptResult::need_value);
  EXPECT_EQ(run_script("x = %>", vars.get()).code, ScriptResult::need_value);
  EXPECT_EQ(run_script("x 5\n", vars.get()).code, ScriptResult::bad_statement);
  EXPECT_EQ(run_script("x = 'open", vars.get()).code, ScriptResult::need_quote);
  EXPECT_EQ(run_script("x = 'a' + 'open", vars.get()).code, ScriptResult::need_quote);
}

TEST(ScriptAssign, VariablesListGrowsWhenFull) {
  ParamListPtr vars = script_testing::variables(0);
  EXPECT_EQ(run_script("a = 1\nb = 'two'\n", vars.get()).code, ScriptResult::ok);
  // The names went to one continuation block of 128 slots.
  EXPECT_EQ(plist_used_count(vars.get()), 0u);
  size_t used = 0;
  plist_each(vars.get(), [&](const Pair& entry) { used += entry.name->empty() ? 0 : 1; });
  EXPECT_EQ(used, 2u);
  int added = 0;
  for (int i = 0; i < 126; ++i)
    added += plist_set(vars.get(), ("v" + std::to_string(i)).c_str(), "1");
  EXPECT_EQ(added, 126);
  EXPECT_EQ(plist_find(vars.get(), ""), nullptr);
  EXPECT_EQ(var(vars.get(), "a"), "1");
  EXPECT_EQ(var(vars.get(), "b"), "two");
}

TEST(ScriptCall, CallsAsValuesArgumentsAndOperands) {
  ParamListPtr vars = variables();
  plist_set(vars.get(), "pi", "3.14159");
  auto r = run_script(
      "a = toFixed(pi, 2)\n"
      "b = join3(toFixed(pi, 1), 'x', (2+3))\n"
      "c = 'r' + eval('2+3') + 's'\n"
      "d = random(6)\n"
      "print(a, '-', b)\n",
      vars.get());
  EXPECT_EQ(r.code, ScriptResult::ok);
  EXPECT_EQ(var(vars.get(), "a"), "3.14");
  EXPECT_EQ(var(vars.get(), "b"), "3.1|x|5");
  EXPECT_EQ(var(vars.get(), "c"), "r5s");
  int d = std::stoi(var(vars.get(), "d"));
  EXPECT_GE(d, 0);
  EXPECT_LT(d, 6);
  EXPECT_EQ(r.output, "3.14-3.1|x|5");
}

TEST(ScriptCall, ExtraArgumentsAreEvaluatedAndDropped) {
  ParamListPtr vars = variables();
  auto r = run_script("x = join3(1, 2, 3, 4, 5)\nprint(x)\n&print('!')\n", vars.get());
  EXPECT_EQ(r.code, ScriptResult::ok);
  EXPECT_EQ(r.output, "1|2|3!");
}

TEST(ScriptCall, CallErrors) {
  ParamListPtr vars = variables();
  EXPECT_EQ(run_script("nothere(1)\n", vars.get()).code, ScriptResult::no_function);
  EXPECT_EQ(run_script("print(1)\n", vars.get(), nullptr, nullptr).code, ScriptResult::no_function);
  EXPECT_EQ(run_script("print(1, (2 + 3\n", vars.get()).code, ScriptResult::no_function);
  EXPECT_EQ(run_script("print(1, 2", vars.get()).code, ScriptResult::need_close_paren);
  EXPECT_EQ(run_script("print('abc", vars.get()).code, ScriptResult::need_quote);
}

TEST(ScriptIf, ChainRunsExactlyOneBranchAndContinuesAfterIt) {
  const char* source =
      "if (n > 3) { print('big') } elsif (n > 1) {\n print('mid')\n}\n"
      "else\n{ print('small') }\n"
      "print('.')\n";
  const std::pair<const char*, const char*> cases[] = {
      {"5", "big."}, {"2", "mid."}, {"0", "small."}};
  for (const auto& [n, expected] : cases) {
    ParamListPtr vars = variables();
    plist_set(vars.get(), "n", n);
    auto r = run_script(source, vars.get());
    EXPECT_EQ(r.code, ScriptResult::ok) << n;
    EXPECT_EQ(r.output, expected) << n;
  }
}

TEST(ScriptIf, ElseIfSpellingsAndSkippedNestedBlocks) {
  const char* source =
      "if (n == 1) { if (n == 1) { print('a') } }\n"
      "else if (n == 2) { print('b') }\n"
      "elif (n == 3) { { print('c') } }\n"
      "else { print('d') }\n";
  const std::pair<const char*, const char*> cases[] = {
      {"1", "a"}, {"2", "b"}, {"3", "c"}, {"4", "d"}};
  for (const auto& [n, expected] : cases) {
    ParamListPtr vars = variables();
    plist_set(vars.get(), "n", n);
    auto r = run_script(source, vars.get());
    EXPECT_EQ(r.code, ScriptResult::ok) << n;
    EXPECT_EQ(r.output, expected) << n;
  }
}

TEST(ScriptIf, ConditionIsCutAtItsFirstParenAndBareNamesCountAsTrue) {
  ParamListPtr vars = variables();
  plist_set(vars.get(), "a", "1");
  // Only "(a == 2" is the condition: false; the rest up to "{" is passed over.
  EXPECT_EQ(run_script("if ((a == 2) | (a == 1)) { print('t') } else { print('f') }\n", vars.get())
                .output,
            "f");
  EXPECT_EQ(run_script("if (a) { print('t') }\n", vars.get()).output, "t");
}

TEST(ScriptIf, ChainErrors) {
  ParamListPtr vars = variables();
  EXPECT_EQ(run_script("else { print(1) }\n", vars.get()).code, ScriptResult::else_without_if);
  EXPECT_EQ(run_script("x = 1\nelsif (1) { }\n", vars.get()).code, ScriptResult::else_without_if);
  EXPECT_EQ(run_script("if (1) { }\nx = 1\nelse { }\n", vars.get()).code,
            ScriptResult::else_without_if);
  EXPECT_EQ(run_script("if x {\n", vars.get()).code, ScriptResult::need_if_paren);
  EXPECT_EQ(run_script("if (x == 1 {\n", vars.get()).code, ScriptResult::need_close_paren);
  EXPECT_EQ(run_script("if (1) print(1)\n", vars.get()).code, ScriptResult::need_brace);
  // Comments and empty statements keep the chain open.
  EXPECT_EQ(run_script("if (n == 1) { }\n# note\n; else { print('e') }\n", vars.get()).output, "e");
}

TEST(ScriptFlow, CommentsAreSkipped) {
  ParamListPtr vars = variables();
  auto r = run_script(
      "# x = 1\n"
      "// y = 2\n"
      "/* z = 3\n   still comment */ w = 4\n"
      "var v = 5\n",
      vars.get());
  EXPECT_EQ(r.code, ScriptResult::ok);
  EXPECT_EQ(var(vars.get(), "x"), "<missing>");
  EXPECT_EQ(var(vars.get(), "y"), "<missing>");
  EXPECT_EQ(var(vars.get(), "z"), "<missing>");
  EXPECT_EQ(var(vars.get(), "w"), "4");
  EXPECT_EQ(var(vars.get(), "v"), "5");
  // A "#" comment runs through its LF (a lone CR does not end it); a "//"
  // comment ends at a CR as well.
  r = run_script("# a = 1\r b = 2\nc = 3\n// d = 4\re = 5\n", vars.get());
  EXPECT_EQ(r.code, ScriptResult::ok);
  EXPECT_EQ(var(vars.get(), "b"), "<missing>");
  EXPECT_EQ(var(vars.get(), "c"), "3");
  EXPECT_EQ(var(vars.get(), "d"), "<missing>");
  EXPECT_EQ(var(vars.get(), "e"), "5");
}

TEST(ScriptFlow, ScriptEndInsideALineCommentEndsTheScript) {
  ParamListPtr vars = variables();
  auto r = run_script("x = 1\n// note %>text\ny = 2\n", vars.get());
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.position, 16);
  EXPECT_EQ(var(vars.get(), "y"), "<missing>");
}

TEST(ScriptFlow, TerminatorInANestedBlockEndsEveryRun) {
  ParamListPtr vars = variables();
  std::string source = "{ if (1) { print('a')\nexit\nprint('b') } } print('c')%>tail";
  auto r = run_script(source, vars.get());
  EXPECT_EQ(r.code, ScriptResult::ok);
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.output, "a");
  EXPECT_EQ(source.substr(static_cast<size_t>(r.position)), "print('b') } } print('c')%>tail");
  EXPECT_EQ(run_script("print(1)</SCRIPT>print(2)", vars.get()).output, "1");
  // A terminator right before the script's end passes the whole "%>", with
  // or without a space between them.
  EXPECT_EQ(run_script("exit %>after", vars.get()).position, 7);
  EXPECT_EQ(run_script("exit%>after", vars.get()).position, 6);
  EXPECT_EQ(run_script("exit %x", vars.get()).position, 6);
  EXPECT_EQ(run_script("print(1)\n&return\nprint(2)", vars.get()).output, "1");
}

TEST(ScriptFlow, EndOfInputWithoutTerminatorIsNoError) {
  ParamListPtr vars = variables();
  auto r = run_script("x = 1\nprint(x)", vars.get());
  EXPECT_EQ(r.code, ScriptResult::ok);
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.output, "1");
}

TEST(ScriptFlow, DeleteRemovesAVariable) {
  ParamListPtr vars = variables();
  plist_set(vars.get(), "q", "1");
  auto r =
      run_script("delete q\nif (q == 1) { print('still') } else { print('gone') }\n", vars.get());
  EXPECT_EQ(r.output, "gone");
  EXPECT_EQ(plist_find(vars.get(), "q"), nullptr);
}

TEST(ScriptObject, AccessByLiteralOrVariableKey) {
  ParamListPtr vars = variables();
  ParamListPtr data = plist_copy(nullptr, 2);
  plist_set(data.get(), "Q1", "yes");
  plist_set(vars.get(), "k", "q1");
  auto r =
      run_script("a = data['Q1']\nb = DATA[k]\nc = data['none']\nprint(data[ 'q1' ], '/', a)\n",
                 vars.get(), data.get());
  EXPECT_EQ(r.code, ScriptResult::ok);
  EXPECT_EQ(var(vars.get(), "a"), "yes");
  EXPECT_EQ(var(vars.get(), "b"), "yes");
  EXPECT_EQ(var(vars.get(), "c"), "");
  EXPECT_EQ(r.output, "yes/yes");
  EXPECT_EQ(run_script("a = other['Q1']\n", vars.get(), data.get()).code, ScriptResult::no_object);
  EXPECT_EQ(run_script("a = data[]\n", vars.get(), data.get()).code, ScriptResult::no_object);
  // Without a list behind it the object still exists and gives "".
  EXPECT_EQ(run_script("a = data['Q1']\n", vars.get()).code, ScriptResult::ok);
  EXPECT_EQ(var(vars.get(), "a"), "");
}

TEST(ScriptLimits, DeepNestingIsAnErrorNotACrash) {
  ParamListPtr vars = variables();
  std::string blocks(1000, '{');
  EXPECT_EQ(run_script(blocks, vars.get()).code, ScriptResult::nested_too_deeply);
  std::string calls;
  for (int i = 0; i < 1000; ++i) calls += "print(";
  EXPECT_EQ(run_script(calls, vars.get()).code, ScriptResult::nested_too_deeply);
  std::string fine = std::string(60, '{') + "x = 1;" + std::string(60, '}');
  EXPECT_EQ(run_script(fine, vars.get()).code, ScriptResult::ok);
  EXPECT_EQ(var(vars.get(), "x"), "1");
}

TEST(ScriptErrorReport, ShowsTheFailingStatementCutAt1024Bytes) {
  ParamListPtr vars = variables();
  auto r = run_script("{\n x = 1\n y 7\n}\n", vars.get());
  EXPECT_EQ(r.code, ScriptResult::bad_statement);
  EXPECT_EQ(r.report, "Script error 46: Unable to process this command: y 7\n");
  std::string long_statement = "s = 'a' + " + std::string(3000, 'b') + " + 'open";
  r = run_script("x = 1\n" + long_statement, vars.get());
  EXPECT_EQ(r.code, ScriptResult::need_quote);
  EXPECT_EQ(r.report, "Script error 40: Need a closing quote:" + long_statement.substr(0, 1024));
  EXPECT_STREQ(script_error_message(ScriptResult::wrong_arg_count),
               "Wrong number of parameters in a function call");
  EXPECT_STREQ(script_error_message(static_cast<ScriptResult>(12)), "Unknown scripting error");
}

}  // namespace
}  // namespace fwk
