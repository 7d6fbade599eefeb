// The page budget as templates meet it: runaway includes, reports over
// reports, large output, time and a stopping server all end the page with
// the note, and nothing is written after it.
#include "core/page_budget.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>

#include "core/sink.hpp"
#include "core/text_buffer.hpp"
#include "platform/testing/temp_dir.hpp"
#include "template/template.hpp"

namespace fwk {
namespace {

struct BudgetedPage {
  TempDir dir;
  TextBuffer buffer = tbuf_new(1024);
  OutputSink sink;
  std::atomic<int> stop{0};
  PageBudget budget;

  BudgetedPage() {
    sink.text = &buffer;
    budget = page_budget_start(&sink, &stop);
    sink.budget = &budget;
  }

  // Processes the file `name` of the directory as the page.
  std::string render(const std::string& name) {
    std::string path = dir.at(name);
    FilePtr file(std::fopen(path.c_str(), "rb"));
    EXPECT_TRUE(file);
    if (!file) return "";
    TextInput input = input_from_file(file.get());
    template_process({.base_path = path.c_str(), .sink = &sink, .input = &input}, nullptr);
    return tbuf_to_text(buffer);
  }
};

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(PageBudget, DoublingIncludesEndAtTheIncludeCount) {
  BudgetedPage page;
  page.budget.includes_left = 100;
  page.dir.write("twice.html", "x<%include twice.html%><%include twice.html%>");
  auto started = std::chrono::steady_clock::now();
  std::string out = page.render("twice.html");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_EQ(page.budget.end, BudgetEnd::includes);
  EXPECT_EQ(page.budget.includes_left, 0);
  std::string note = budget_note(BudgetEnd::includes);
  ASSERT_TRUE(ends_with(out, note)) << out;
  // The page and the 100 includes it was allowed wrote at most one "x"
  // each (includes beyond the nesting limit write its message instead).
  EXPECT_LE(std::count(out.begin(), out.end(), 'x'), 101);
  EXPECT_NE(note.find("more than 10000 files"), std::string::npos);
}

TEST(PageBudget, RecordsOfNestedReportsAreCounted) {
  BudgetedPage page;
  page.budget.records_left = 500;
  std::string data = "Q\n";
  for (int i = 0; i < 100; ++i) data += std::to_string(i) + "\n";
  page.dir.write("data.asc", data);
  page.dir.write("page.html", "<%report data.asc%><%report data.asc%>.</report></report>after");
  std::string out = page.render("page.html");
  EXPECT_EQ(page.budget.end, BudgetEnd::records);
  EXPECT_TRUE(ends_with(out, budget_note(BudgetEnd::records))) << out.substr(0, 200);
  EXPECT_EQ(out.find("after"), std::string::npos);
}

TEST(PageBudget, OutputStopsAtTheByteCountAndSourcedFilesToo) {
  BudgetedPage page;
  page.budget.bytes_left = 5000;
  page.dir.write("big.txt", std::string(100000, 'b'));
  page.dir.write("page.html", "start<%source big.txt%>end");
  std::string out = page.render("page.html");
  EXPECT_EQ(page.budget.end, BudgetEnd::bytes);
  EXPECT_LE(out.size(), 5000 + budget_note(BudgetEnd::bytes).size());
  EXPECT_TRUE(ends_with(out, budget_note(BudgetEnd::bytes)));
  EXPECT_EQ(out.find("end"), std::string::npos);
}

TEST(PageBudget, EndlessAndBlockingFilesAreNotOpened) {
  BudgetedPage page;
  page.dir.write("page.html", "a<%include /dev/zero%>b<%source /dev/zero%>c<%report /dev/zero%>d");
  std::string out = page.render("page.html");
  EXPECT_EQ(page.budget.end, BudgetEnd::none);
  EXPECT_NE(out.find("/dev/zero)"), std::string::npos);
  EXPECT_NE(out.find("cannot open file"), std::string::npos);
  EXPECT_NE(out.find("Unable to open the database"), std::string::npos);
  EXPECT_TRUE(ends_with(out, "d")) << out;
}

TEST(PageBudget, TimeAndStoppingEndThePage) {
  BudgetedPage page;
  page.budget.allowed_ms = 0;
  std::string many;
  for (int i = 0; i < 100; ++i) many += "<b>";
  page.dir.write("page.html", many);
  std::string out = page.render("page.html");
  EXPECT_EQ(page.budget.end, BudgetEnd::time);
  EXPECT_TRUE(ends_with(out, budget_note(BudgetEnd::time)));
  EXPECT_LT(out.size(), 3 * 100u);

  // A stop lets an ordinary page finish within its grace time...
  BudgetedPage finishing;
  finishing.stop = 1;
  finishing.dir.write("page.html", "<b>done</b>");
  EXPECT_EQ(finishing.render("page.html"), "<b>done</b>");
  EXPECT_EQ(finishing.budget.end, BudgetEnd::none);

  // ... and ends one that runs past it.
  BudgetedPage stopped;
  stopped.stop = 1;
  stopped.budget.stop_grace_ms = 0;
  stopped.dir.write("page.html", "<%include page.html%>");
  out = stopped.render("page.html");
  EXPECT_EQ(stopped.budget.end, BudgetEnd::stopped);
  EXPECT_EQ(out, budget_note(BudgetEnd::stopped));
}

TEST(PageBudget, ScriptBuiltinsCountTheRecordsTheyRead) {
  BudgetedPage page;
  page.budget.records_left = 50;
  std::string data = "Q\n";
  for (int i = 0; i < 100; ++i) data += "x\n";
  page.dir.write("data.asc", data);
  page.dir.write("page.html",
                 "<% print(hasRecord('data.asc', \"Q eq 'y'\")) print(\"ran\") %>after");
  std::string out = page.render("page.html");
  EXPECT_EQ(page.budget.end, BudgetEnd::records);
  EXPECT_EQ(out, budget_note(BudgetEnd::records));
}

TEST(PageBudget, WorkWithoutABudgetIsNotLimited) {
  EXPECT_TRUE(budget_ok(nullptr));
  EXPECT_TRUE(budget_take_include(nullptr));
  EXPECT_TRUE(budget_take_records(nullptr, 1L << 40));
  EXPECT_TRUE(budget_take_bytes(nullptr, 1UL << 40));
  EXPECT_FALSE(budget_spent(nullptr));
}

}  // namespace
}  // namespace fwk
