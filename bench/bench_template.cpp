// Rendering a survey page with form filling, against copying the same
// number of bytes through the sink; and conditions as pages use them.
#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/testing/test_lists.hpp"
#include "core/text_buffer.hpp"
#include "expr/expr.hpp"
#include "template/template.hpp"

namespace {

using fwk::ParamList;
using fwk::ParamListPtr;

void add(ParamList& list, const std::string& name, const std::string& value) {
  fwk::test_list_add(list, name.c_str(), value.c_str());
}

// The request list of a survey in progress: the dispatcher's entries, 64
// free slots, the engine's parameters, then the answers so far.
ParamListPtr request_variables() {
  auto vars = fwk::plist_alloc(0);
  add(*vars, "HOST", "192.168.0.12");
  add(*vars, "DATE", "2024-05-14");
  add(*vars, "TIME", "10:42:07");
  for (int i = 0; i < 64; ++i) fwk::test_list_add(*vars, "", nullptr);
  add(*vars, "DATABASE", "health");
  add(*vars, "_SESSION", "K3J9QW2Z");
  add(*vars, "_PAGENEXT", "page3 page4");
  add(*vars, "age", "34");
  add(*vars, "sex", "f");
  for (int q = 1; q <= 10; ++q) add(*vars, "R" + std::to_string(q), std::to_string(q % 4 + 1));
  for (int q = 1; q <= 8; ++q) add(*vars, "C" + std::to_string(q), "b, c");
  for (int q = 1; q <= 6; ++q)
    add(*vars, "T" + std::to_string(q), "Answer <" + std::to_string(q) + ">");
  for (int q = 1; q <= 3; ++q) add(*vars, "S" + std::to_string(q), "3");
  add(*vars, "score", "17.5");
  return vars;
}

std::string question_head(const std::string& name, const std::string& text) {
  return "<tr class=\"question\" id=\"row-" + name + "\">\n  <td class=\"number\">" + name +
         "</td>\n  <td class=\"text\">" + text +
         "\n    <p class=\"help\">Think of a typical week. If you are not sure, choose the "
         "answer that is closest; you can come back to this page later.</p></td>\n</tr>\n"
         "<tr class=\"answers\">\n  <td></td>\n  <td>\n";
}

const char* kQuestionTail = "  </td>\n</tr>\n";

// About 30 questions with radio groups, check boxes, text fields, selects
// and text areas, a few conditionals and expressions.
std::string survey_template() {
  std::string t =
      "<html>\n<head>\n<title>Health survey</title>\n"
      "<link rel=\"stylesheet\" href=\"survey.css\">\n</head>\n<body>\n"
      "<h1>Health and lifestyle survey</h1>\n"
      "<p class=\"intro\">Please answer every question. Your answers are kept on this device "
      "until they can be sent.</p>\n"
      "<!--$ sex eq 'f' ? 'Welcome, madam.' : 'Welcome, sir.' -->\n"
      "<form method=\"POST\" action=\"/fwk\">\n<table class=\"survey\">\n";
  for (int q = 1; q <= 10; ++q) {
    std::string name = "R" + std::to_string(q);
    t += question_head(name, "How often in the last month did you feel rested after sleep?");
    for (int v = 1; v <= 4; ++v)
      t += "    <label><INPUT TYPE=\"radio\" NAME=\"" + name + "\" VALUE=\"" + std::to_string(v) +
           "\"> Option " + std::to_string(v) + "</label><br>\n";
    t += kQuestionTail;
  }
  t += "<%if age gte 18%>\n<tr><td colspan=\"2\">Questions for adults</td></tr>\n<%else%>\n"
       "<tr><td colspan=\"2\">Questions for minors</td></tr>\n<%end%>\n";
  for (int q = 1; q <= 8; ++q) {
    std::string name = "C" + std::to_string(q);
    t += question_head(name, "Which of these activities did you do this week?");
    for (const char* v : {"a", "b", "c"})
      t += std::string("    <label><INPUT TYPE=\"checkbox\" NAME=\"") + name + "\" VALUE=\"" + v +
           "\"> Activity " + v + "</label>\n";
    t += kQuestionTail;
  }
  for (int q = 1; q <= 6; ++q) {
    std::string name = "T" + std::to_string(q);
    t += question_head(name, "Please describe briefly:");
    t += "    <INPUT TYPE=\"text\" NAME=\"" + name + "\" SIZE=\"40\" MAXLENGTH=\"200\">\n";
    t += kQuestionTail;
  }
  for (int q = 1; q <= 3; ++q) {
    std::string name = "S" + std::to_string(q);
    t += question_head(name, "How many portions of fruit do you eat a day?");
    t += "    <SELECT NAME=\"" + name + "\">\n";
    for (int v = 1; v <= 5; ++v)
      t += "      <OPTION VALUE=\"" + std::to_string(v) + "\">" + std::to_string(v) +
           " portions</OPTION>\n";
    t += "    </SELECT>\n" + std::string(kQuestionTail);
  }
  for (int q = 1; q <= 3; ++q) {
    std::string name = "X" + std::to_string(q);
    t += question_head(name, "Anything else you would like to tell us?");
    t += "    <TEXTAREA NAME=\"" + name + "\" ROWS=\"4\" COLS=\"40\">Type here</TEXTAREA>\n";
    t += kQuestionTail;
  }
  t += "</table>\n<%if score > 10 && sex eq 'f'%><p>Your score so far: <%= score %> "
       "(<%= toFixed(score, 1) %> rounded, <%= score * 2 %> doubled)</p><%end%>\n"
       "<INPUT TYPE=\"submit\" NAME=\"NEXT\" VALUE=\"Next page\">\n</form>\n</body>\n</html>\n";
  return t;
}

struct Page {
  std::string source = survey_template();
  ParamListPtr vars = request_variables();
};

// Renders the page into `buffer` with form filling on; returns the
// processor's result.
int render_into(Page& page, ParamList* unplaced, fwk::TextBuffer& buffer) {
  fwk::OutputSink sink;
  sink.text = &buffer;
  fwk::TextInput input = fwk::input_from_memory(page.source);
  fwk::TemplateArgs args;
  args.base_path = "/srv/formwick/health/page3.html";
  args.sink = &sink;
  args.input = &input;
  args.variables = page.vars.get();
  args.unplaced = unplaced;
  args.fill_fields = 1;
  return fwk::template_process(args, nullptr);
}

std::string render(Page& page, ParamList* unplaced) {
  fwk::TextBuffer buffer = fwk::tbuf_new(1024);
  render_into(page, unplaced, buffer);
  return fwk::tbuf_to_text(buffer);
}

void BM_RenderSurveyPage(benchmark::State& state) {
  Page page;
  const size_t output = render(page, nullptr).size();
  // Each page strikes names from its own copy of the unplaced list; the
  // copies are made outside the timed part, a batch at a time.
  std::vector<ParamListPtr> unplaced;
  size_t next = 0;
  for (auto _ : state) {
    if (next == unplaced.size()) {
      state.PauseTiming();
      unplaced.clear();
      for (int i = 0; i < 256; ++i) unplaced.push_back(fwk::plist_copy(page.vars.get(), 0));
      next = 0;
      state.ResumeTiming();
    }
    fwk::TextBuffer buffer = fwk::tbuf_new(1024);
    benchmark::DoNotOptimize(render_into(page, unplaced[next++].get(), buffer));
    benchmark::DoNotOptimize(buffer.chunks.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * output));
  state.counters["output_bytes"] = static_cast<double>(output);
  state.counters["template_bytes"] = static_cast<double>(page.source.size());
}
BENCHMARK(BM_RenderSurveyPage);

// The same page with form filling off: the processor's own cost of reading
// tags and copying text, without rewriting the form elements.
void BM_RenderSurveyPageNoFill(benchmark::State& state) {
  Page page;
  for (auto _ : state) {
    fwk::TextBuffer buffer = fwk::tbuf_new(1024);
    fwk::OutputSink sink;
    sink.text = &buffer;
    fwk::TextInput input = fwk::input_from_memory(page.source);
    fwk::TemplateArgs args;
    args.sink = &sink;
    args.input = &input;
    args.variables = page.vars.get();
    benchmark::DoNotOptimize(fwk::template_process(args, nullptr));
    benchmark::DoNotOptimize(buffer.chunks.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.source.size()));
}
BENCHMARK(BM_RenderSurveyPageNoFill);

// The baseline: the rendered page's bytes written through the sink as they
// are, in pieces of the size the processor's runs have on average (a line).
void BM_CopyPageBytes(benchmark::State& state) {
  Page page;
  const std::string output = render(page, nullptr);
  std::vector<std::pair<size_t, size_t>> lines;
  for (size_t start = 0; start < output.size();) {
    size_t end = output.find('\n', start);
    end = end == std::string::npos ? output.size() : end + 1;
    lines.emplace_back(start, end - start);
    start = end;
  }
  for (auto _ : state) {
    fwk::TextBuffer buffer = fwk::tbuf_new(1024);
    fwk::OutputSink sink;
    sink.text = &buffer;
    for (auto [start, n] : lines) fwk::sink_write(&sink, output.data() + start, n);
    benchmark::DoNotOptimize(buffer.chunks.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * output.size()));
}
BENCHMARK(BM_CopyPageBytes);

// The same bytes in one write.
void BM_CopyPageBytesOneWrite(benchmark::State& state) {
  Page page;
  const std::string output = render(page, nullptr);
  for (auto _ : state) {
    fwk::TextBuffer buffer = fwk::tbuf_new(1024);
    fwk::OutputSink sink;
    sink.text = &buffer;
    fwk::sink_write(&sink, output.data(), output.size());
    benchmark::DoNotOptimize(buffer.chunks.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * output.size()));
}
BENCHMARK(BM_CopyPageBytesOneWrite);

void BM_ExprCondition(benchmark::State& state) {
  static const char* const kConditions[] = {
      "age gte 18",
      "sex eq 'f' && age < 65",
      "R3 == 4 || R4 == 1",
      "/C has 'b'",
      "(R1 == 2 | R2 == 3) & T1 =~ 'answer'",
      "score > 10 && !sex eq 'm'",
  };
  Page page;
  const char* text = kConditions[state.range(0)];
  for (auto _ : state)
    benchmark::DoNotOptimize(fwk::expr_condition(text, page.vars.get(), nullptr));
  state.SetLabel(text);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExprCondition)->DenseRange(0, 5);

}  // namespace

BENCHMARK_MAIN();
