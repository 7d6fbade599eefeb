#include "script/builtins.hpp"

#include <gtest/gtest.h>

#include <set>

#include "core/text_buffer.hpp"
#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

std::optional<std::string> call(ScriptBuiltin builtin, std::vector<std::string> args,
                                ScriptContext* context = nullptr, ParamList* variables = nullptr) {
  ScriptContext fallback;
  return builtin(context ? *context : fallback, "f", static_cast<int>(args.size()), args.data(),
                 variables);
}

TEST(BuiltinToFixed, FormatsWithTheGivenDecimals) {
  EXPECT_EQ(call(builtin_to_fixed, {"3.14159", "2"}), "3.14");
  EXPECT_EQ(call(builtin_to_fixed, {"3.14159"}), "3");
  EXPECT_EQ(call(builtin_to_fixed, {"abc", "2"}), "0.00");
  EXPECT_EQ(call(builtin_to_fixed, {"2.5", "x"}), "2");
  EXPECT_EQ(call(builtin_to_fixed, {}), std::nullopt);
  // Results that would not fit the 128-byte result area are shortened.
  std::optional<std::string> huge = call(builtin_to_fixed, {"1e300", "200"});
  ASSERT_TRUE(huge);
  EXPECT_LT(huge->size(), 128u);
}

TEST(BuiltinEval, EvaluatesExpressionsAndNames) {
  ParamListPtr vars = plist_copy(nullptr, 1);
  plist_set(vars.get(), "q", "7");
  EXPECT_EQ(call(builtin_eval, {"2+3"}, nullptr, vars.get()), "5");
  EXPECT_EQ(call(builtin_eval, {"q"}, nullptr, vars.get()), "7");
  EXPECT_EQ(call(builtin_eval, {"q*2"}, nullptr, vars.get()), "14");
  EXPECT_EQ(call(builtin_eval, {}, nullptr, vars.get()), std::nullopt);
}

TEST(BuiltinRandom, StaysBelowTheModulusAndSharesTheSitesCounter) {
  uint32_t counter = 0;
  SiteContext site;
  site.random_counter = &counter;
  ScriptContext context;
  context.site = &site;
  for (int i = 0; i < 200; ++i) {
    std::optional<std::string> value = call(builtin_random, {"6"}, &context);
    ASSERT_TRUE(value);
    int n = std::stoi(*value);
    EXPECT_GE(n, 0);
    EXPECT_LT(n, 6);
  }
  std::optional<std::string> plain = call(builtin_random, {}, &context);
  EXPECT_EQ(*plain, std::to_string(static_cast<int32_t>(counter)));
  std::optional<std::string> zero = call(builtin_random, {"0"}, &context);
  EXPECT_EQ(*zero, std::to_string(static_cast<int32_t>(counter)));
  // Without a site the counter starts afresh at each call.
  std::optional<std::string> alone = call(builtin_random, {"1000"});
  ASSERT_TRUE(alone);
  EXPECT_LT(std::stoi(*alone), 1000);
}

TEST(BuiltinPrint, WritesArgumentsOneAfterAnother) {
  TextBuffer buffer = tbuf_new(64);
  OutputSink sink;
  sink.text = &buffer;
  ScriptContext context;
  context.sink = &sink;
  EXPECT_EQ(call(builtin_print, {"a", "", "b c"}, &context), std::nullopt);
  EXPECT_EQ(tbuf_to_text(buffer), "ab c");
  ScriptContext silent;
  EXPECT_EQ(call(builtin_print, {"x"}, &silent), std::nullopt);
}

TEST(BuiltinHasRecord, FindsLiveMatchingRecordsRelativeToTheBasePath) {
  TempDir dir;
  dir.write("votes.asc", "ID\tQ1\n\"1\"\t\"no\"\t\r\n#2\"\t\"yes\"\t\r\n\"3\"\t\"maybe\"\t\r\n");
  std::string base = dir.at("page.html");
  ScriptContext context;
  context.base_path = base.c_str();
  EXPECT_EQ(call(builtin_has_record, {"votes.asc", "Q1 eq 'maybe'"}, &context), "1");
  // Only the retired record says yes.
  EXPECT_EQ(call(builtin_has_record, {"votes.asc", "Q1 eq 'yes'"}, &context), "0");
  EXPECT_EQ(call(builtin_has_record, {"votes", "ID == 3"}, &context), "1");
  EXPECT_EQ(call(builtin_has_record, {"missing.asc", ""}, &context), "0");
  EXPECT_EQ(call(builtin_has_record, {"votes.asc"}, &context), std::nullopt);
  EXPECT_EQ(call(builtin_has_record, {std::string(1100, 'x'), ""}, &context), std::nullopt);
}

}  // namespace
}  // namespace fwk
