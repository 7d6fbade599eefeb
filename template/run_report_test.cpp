#include "template/run_report.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

std::optional<std::string> run_report(ScriptContext& context, std::vector<std::string> args,
                                      ParamList* variables) {
  return builtin_run_report(context, "runReport", static_cast<int>(args.size()), args.data(),
                            variables);
}

TEST(BuiltinRunReport, NeedsFormSettingsAndConcatenatesTemplates) {
  TempDir dir;
  dir.write("a.html", "A=<%= q %>;");
  dir.write("b.html", "B");
  std::string base = dir.at("page.html");
  ParamListPtr vars = plist_copy(nullptr, 1);
  plist_set(vars.get(), "q", "7");
  ScriptContext context;
  context.base_path = base.c_str();
  EXPECT_EQ(run_report(context, {"a.html"}, vars.get()), std::nullopt);
  ParamListPtr config = plist_copy(nullptr, 1);
  context.config = config.get();
  EXPECT_EQ(run_report(context, {"a.html", "", "missing.html", "b.html"}, vars.get()), "A=7;B");
  EXPECT_EQ(run_report(context, {}, vars.get()), std::nullopt);
}

}  // namespace
}  // namespace fwk
