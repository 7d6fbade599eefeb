#include "template/template.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/out.hpp"
#include "platform/testing/temp_dir.hpp"
#include "template/template_scan.hpp"
#include "template/template_test_util.hpp"

namespace fwk {
namespace {

using testing::list_of;
using testing::render;
using testing::render_text;
using testing::RenderOptions;

TEST(Template, PlainTextAndOrdinaryTags) {
  auto vars = list_of({{"a", "1"}});
  EXPECT_EQ(render_text("<p class=\"x\">Hi {a}</p>\n", vars.get()), "<p class=\"x\">Hi {a}</p>\n");
  // Zero bytes write nothing, also as the delimiter of a tag name.
  EXPECT_EQ(render_text(std::string("a\0b<x\0y>", 8), vars.get()), "ab<xy>");
  // A name longer than the tag area is cut; the rest of it is dropped.
  std::string long_name(9000, 'x');
  EXPECT_EQ(render_text("<" + long_name + ">", vars.get()),
            "<" + std::string(kTagNameLimit - 1, 'x') + ">");
}

TEST(Template, ConditionalChains) {
  const std::string chain = "<%if a == 1%>one<%elsif a == 2%>two<%else%>three<%end%>.";
  const std::string elif = "<%IF a == 1 %>one<%elif a == 2%>two<%ELSE %>three<%end %>.";
  for (auto [a, expected] : {std::pair{"1", "one."}, {"2", "two."}, {"3", "three."}}) {
    auto vars = list_of({{"a", a}});
    EXPECT_EQ(render_text(chain, vars.get()), expected) << a;
    EXPECT_EQ(render_text(elif, vars.get()), expected) << a;
  }
  // Without an else branch nothing of the chain is written.
  auto vars = list_of({{"a", "9"}});
  EXPECT_EQ(render_text("x<%if a == 1%>one<%elsif a == 2%>two<%end%>y", vars.get()), "xy");
}

TEST(Template, ElseIfIsReadAsElif) {
  const std::string chain = "<%if a == 1%>one<%else if a == 2%>two<%else%>three<%end%>";
  for (auto [a, expected] : {std::pair{"1", "one"}, {"2", "two"}, {"3", "three"}}) {
    auto vars = list_of({{"a", a}});
    EXPECT_EQ(render_text(chain, vars.get()), expected) << a;
  }
  // "if" ended by ">" is not an elif: the else body is processed.
  auto vars = list_of({{"a", "2"}});
  EXPECT_EQ(render_text("<%if a == 1%>one<%else if>two<%end%>", vars.get()), "two");
}

TEST(Template, ConditionsThatAreNotWellFormedTakeTheBranch) {
  auto vars = list_of({{"x", "0"}});
  EXPECT_EQ(render_text("<%if x%>taken<%end%>", vars.get()), "taken");
  EXPECT_EQ(render_text("<%if%>empty<%end%>", vars.get()), "empty");
  EXPECT_EQ(render_text("<%if x == 1%>no<%end%>", nullptr), "");
}

TEST(Template, FalseBranchIsSkippedTextually) {
  auto vars = list_of({{"a", "0"}, {"b", "1"}});
  // The skip stops at the nested conditional's end tag: output resumes
  // inside the outer body.
  EXPECT_EQ(render_text("<%if a == 1%>A<%if b == 1%>B<%end%>C<%end%>D", vars.get()), "CD");
  // A nested else in a skipped body is taken as the outer chain's else.
  EXPECT_EQ(render_text("<%if a == 1%>A<%if b%>B<%else%>E<%end%>C<%end%>D", vars.get()), "ECD");
  // Tags reached in normal flow: an else ends the branch, an end is dropped.
  EXPECT_EQ(render_text("a<%else%>b<%end%>c", vars.get()), "ac");
  EXPECT_EQ(render_text("a<%end>b<%endif %>c", vars.get()), "abc");
  // A false condition at the end of the template ends quietly.
  EXPECT_EQ(render_text("x<%if a == 1%>never", vars.get()), "x");
}

TEST(Template, BreakAndNamesTestedForEquality) {
  auto vars = list_of({{"a", "1"}});
  auto r = render("a<%break>b", RenderOptions{vars.get()});
  EXPECT_EQ(r.text, "a");
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(render_text("a<%break %>b", vars.get()), "a");
  // "%break%" is not "%break": written as an ordinary tag.
  EXPECT_EQ(render_text("a<%break%>b", vars.get()), "a<%break%>b");
  // Names tested for a beginning work either way.
  EXPECT_EQ(render_text("<%if a == 1%>y<%end%>", vars.get()), "y");
}

TEST(Template, StopTagsAndEndOfInput) {
  auto vars = list_of({{"q", "1"}});
  RenderOptions o{vars.get()};
  o.stop_tag = "/report";
  auto r = render("abc</REPORT>def", o);
  EXPECT_EQ(r.text, "abc");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.position, 12);
  r = render("abc</report x>def", o);
  EXPECT_EQ(r.position, 14);
  // End of input inside a tag name: the partial tag is dropped.
  r = render("ab<unfinished", RenderOptions{vars.get()});
  EXPECT_EQ(r.text, "ab");
  EXPECT_EQ(r.result, -1);
  // Inside an expression: evaluated as if the marker had been there.
  EXPECT_EQ(render_text("<%= q == 1 ? 'y' : 'n'", vars.get()), "y");
  EXPECT_EQ(render_text("<!--$ q == 1 ? 'y' : 'n'", vars.get()), "y");
}

TEST(Template, ExpressionOutput) {
  auto vars = list_of({{"q", "1"}, {"n", "3.14159"}, {"a", "2"}, {"b", "3"}, {"t", "Tom <b>"}});
  struct Case {
    const char* source;
    const char* expected;
  };
  for (Case c : {Case{"<!--$ q == 1 ? 'yes' : 'no' -->", "yes"},
                 Case{"<!--$ q == 2 ? 'yes' : 'no' -->", "no"}, Case{"<!--$a*b-->", "6"},
                 Case{"<%=a%>", "2"}, Case{"<%= t %>", "Tom <b>"},
                 Case{"<%= toFixed(n, 2) %>", "3.14"}, Case{"<%= TOFIXED(n,0) %>", "3"},
                 Case{"<%= toFixed(n) %>", "3"}, Case{"<%= q == 1 ? yes : no %>", "yes"},
                 Case{"<%= q == 0 ? yes : no %>", "no"}, Case{"<%= q == 1 : 'only false' %>", ""},
                 Case{"<%= q == 0 : 'only false' %>", "only false"},
                 Case{"<%= q == 1 ? '$n' : 'x' %>", "3.14159"},
                 Case{"<%= q == 1 ? 'it\\'s \\\\ ok' : '' %>", "it's \\ ok"},
                 Case{"<%= !q == 1 ? 'a' : 'b' %>", "b"}, Case{"<%= q ? 'set' %>", "set"},
                 Case{"<%= missing %>", ""}}) {
    EXPECT_EQ(render_text(c.source, vars.get()), c.expected) << c.source;
  }
}

TEST(Template, HtmlWritesTheValueEscapedInEveryOutputForm) {
  auto vars = list_of({{"t", "<script>alert('x')</script> & \"q\""}, {"n", "2.5"}});
  auto record = list_of({{"name", "<b>Ann</b>"}});
  const std::string escaped =
      "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot;";
  EXPECT_EQ(render_text("<%= html(t) %>", vars.get()), escaped);
  EXPECT_EQ(render_text("<!--$HTML( t )-->", vars.get()), escaped);
  EXPECT_EQ(render_text("{html(name)}", vars.get(), record.get()), "&lt;b&gt;Ann&lt;/b&gt;");
  EXPECT_EQ(render_text("<%= html(toFixed(n, 2)) %> <%= html(n*2) %> [<%= html(no) %>]",
                        vars.get()),
            "2.50 5 []");
  // A choice's "$" part, and the script built-in of the same name.
  EXPECT_EQ(render_text("<%= n > 1 ? $html(t) : 'one' %>", vars.get()), escaped);
  EXPECT_EQ(render_text("<% print(html(t)) %>", vars.get()), escaped);
}

TEST(Template, ChoicePartsThatNeverClose) {
  auto vars = list_of({{"q", "1"}});
  EXPECT_EQ(render_text("<%= q == 1 ? 'open %>", vars.get()), "open");
  EXPECT_EQ(render_text("<%= q == 0 ? 'open %>", vars.get()), "");
  EXPECT_EQ(render_text("<%= q == 0 ? 'a' : 'never closed %>", vars.get()), "never closed");
  EXPECT_EQ(render_text("<%= q == 1 ? 'ends in a backslash\\%>", vars.get()),
            "ends in a backslash");
}

TEST(Template, SubstituteWithoutSinkOrList) {
  TextBuffer buffer = tbuf_new(64);
  OutputSink sink;
  sink.text = &buffer;
  char text[] = "a == 1 ? 'x' : 'y'";
  EXPECT_EQ(template_substitute(text, &sink, nullptr), -1);
  EXPECT_EQ(tbuf_to_text(buffer), "a == 1 ? 'x' : 'y'");
  auto vars = list_of({{"a", "1"}});
  EXPECT_EQ(template_substitute(text, nullptr, vars.get()), 0);
}

TEST(Template, BraceSubstitution) {
  auto record = list_of({{"name", "Ann"}, {"#", "3"}});
  auto vars = list_of({{"v", "x"}});
  EXPECT_EQ(render_text("a{name}b{#}", vars.get(), record.get()), "aAnnb3");
  EXPECT_EQ(render_text("{ x} {} {\tx}{missing}", vars.get(), record.get()), "{ x} {} {\tx}");
  EXPECT_EQ(render_text("{name eq 'Ann' ? 'hi' : 'bye'}", vars.get(), record.get()), "hi");
  EXPECT_EQ(render_text("<a href=\"/p?n={name}\">", vars.get(), record.get()),
            "<a href=\"/p?n=Ann\">");
  // The record is the second list of conditions.
  EXPECT_EQ(render_text("<%if $name eq 'Ann'%>yes<%end%>", vars.get(), record.get()), "yes");
  // End of input inside a brace, and right after one.
  EXPECT_EQ(render_text("x{name", vars.get(), record.get()), "xAnn");
  EXPECT_EQ(render_text("x{", vars.get(), record.get()), "x{");
  // A brace text equal to the stop tag ends the call.
  RenderOptions o{vars.get(), record.get()};
  o.stop_tag = "/report";
  auto r = render("a{/report}b", o);
  EXPECT_EQ(r.text, "a");
  EXPECT_EQ(r.result, 0);
}

TEST(Template, SilentPassWritesNothingButDecides) {
  auto vars = list_of({{"a", "2"}});
  RenderOptions o{vars.get()};
  o.silent = true;
  o.stop_tag = "/report";
  auto r = render("<%if a == 1%>one<%else%>two<%end%><%= a %></report>rest", o);
  EXPECT_EQ(r.text, "");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.position, 51);
}

TEST(Template, DirectivesAndScriptBlocksReadAfterTheNameDelimiter) {
  auto vars = list_of({{"a", "1"}});
  EXPECT_EQ(render_text("ab<% print('[', a, ']') %>cd", vars.get()), "ab[1]cd");
  // The directive reads its parameter right after the name: there is none.
  EXPECT_EQ(render_text("ab<%include %>cd", vars.get()),
            "ab<HR>Error in (include)[14]: parameter missing<HR>cd");
  // In a silent pass a script block is template text: nothing runs.
  RenderOptions o{vars.get()};
  o.silent = true;
  render("<% a = 2 %>", o);
  EXPECT_STREQ(plist_get(vars.get(), "a", ""), "1");
}

TEST(Template, NestingIsBounded) {
  TempDir dir;
  std::string self = dir.write("self.html", "A<%include self.html%>B");
  FilePtr file(std::fopen(self.c_str(), "rb"));
  ASSERT_TRUE(file);
  TextBuffer buffer = tbuf_new(1024);
  OutputSink sink;
  sink.text = &buffer;
  TextInput input = input_from_file(file.get());
  template_process({.base_path = self.c_str(), .sink = &sink, .input = &input}, nullptr);
  const int levels = kTemplateMaxDepth + 1;
  EXPECT_EQ(tbuf_to_text(buffer),
            std::string(levels, 'A') + kTemplateDepthMessage + std::string(levels, 'B'));

  RenderOptions o;
  o.depth = kTemplateMaxDepth + 1;
  auto r = render("text", o);
  EXPECT_EQ(r.text, kTemplateDepthMessage);
  EXPECT_EQ(r.result, -1);
  o.silent = true;
  EXPECT_EQ(render("text", o).text, "");
}

TEST(Template, AFileInputIsLeftAfterTheStopTag) {
  FilePtr file(std::tmpfile());
  ASSERT_TRUE(file);
  // Large enough to cross several read windows, with tags on the seams.
  std::string source;
  for (int i = 0; i < 3000; ++i) source += "<b>{x}<%= a %></b>\n";
  source += "</stop>tail";
  std::fwrite(source.data(), 1, source.size(), file.get());
  std::rewind(file.get());
  auto vars = list_of({{"a", "7"}});
  TextBuffer buffer = tbuf_new(1024);
  OutputSink sink;
  sink.text = &buffer;
  TextInput input = input_from_file(file.get());
  int result = template_process(
      {.base_path = "/srv/p.html", .sink = &sink, .input = &input, .variables = vars.get()},
      "/stop");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(input_tell(input), static_cast<long>(source.size() - 4));
  input_sync(input);
  EXPECT_EQ(std::ftell(file.get()), static_cast<long>(source.size() - 4));
  std::string expected;
  for (int i = 0; i < 3000; ++i) expected += "<b>{x}7</b>\n";
  EXPECT_EQ(tbuf_to_text(buffer), expected);
}

// Renders a template read from a file (in windows of kInputWindow bytes).
std::string render_file(const std::string& source, ParamList* vars, int fill_fields) {
  FilePtr file(std::tmpfile());
  if (!file) return "<no temporary file>";
  std::fwrite(source.data(), 1, source.size(), file.get());
  std::rewind(file.get());
  TextBuffer buffer = tbuf_new(1024);
  OutputSink sink;
  sink.text = &buffer;
  TextInput input = input_from_file(file.get());
  template_process({.base_path = "/srv/p.html",
                    .sink = &sink,
                    .input = &input,
                    .variables = vars,
                    .fill_fields = fill_fields},
                   nullptr);
  return tbuf_to_text(buffer);
}

TEST(Template, FileAndMemoryInputsGiveTheSamePage) {
  auto vars = list_of({{"a", "7"}, {"T", "v<"}});
  RenderOptions o;
  o.variables = vars.get();
  o.fill_fields = 1;
  // Text, ordinary tags, expressions, form elements and zero bytes on and
  // around the seams between read windows.
  std::string source;
  for (int i = 0; source.size() < 3 * kInputWindow; ++i) {
    source += std::string(static_cast<std::size_t>(i % 23), 'x');
    source += i % 5 == 0 ? "<td class=c>" : "</td>";
    source += i % 7 == 0 ? "<%= a %>" : "y";
    if (i % 11 == 0) source += "<INPUT NAME=T>";
    if (i % 13 == 0) source.push_back('\0');
  }
  EXPECT_TRUE(render_file(source, vars.get(), 1) == render(source, o).text);

  // A tag name that is cut and runs across windows is written as "<", the
  // kept part of the name and the delimiter, wherever its "<" stands.
  for (std::size_t lead : {0, 100, 5000, 16000}) {
    const std::string long_tag =
        std::string(lead, '.') + "<" + std::string(24577, 'N') + " rest>after";
    const std::string expected =
        std::string(lead, '.') + "<" + std::string(kTagNameLimit - 1, 'N') + " rest>after";
    EXPECT_TRUE(render_file(long_tag, vars.get(), 0) == expected) << lead;
    EXPECT_TRUE(render(long_tag, o).text == expected) << lead;
  }
}

TEST(TemplateScan, ReadUntil) {
  TextInput in = input_from_memory("abc%%>def-->rest");
  std::string buf;
  EXPECT_EQ(input_read_until(in, &buf, 100, "%>"), 1);
  EXPECT_EQ(buf, "abc%");
  EXPECT_EQ(input_read_until(in, &buf, 3, "-->"), 1);  // at most size - 1 kept
  EXPECT_EQ(buf, "de");
  EXPECT_EQ(input_read_until(in, &buf, 100, "</OPTION>"), 0);
  EXPECT_EQ(buf, "rest");
  in = input_from_memory("x</option>y");
  EXPECT_EQ(input_read_until(in, nullptr, 0, "</OPTION>"), 1);
  EXPECT_EQ(input_getc(in), 'y');
}

TEST(TemplateScan, CopyUntil) {
  TextBuffer buffer = tbuf_new(64);
  OutputSink sink;
  sink.text = &buffer;
  TextInput in = input_from_memory("ab<%EN d>c<%el");
  EXPECT_EQ(input_copy_until(in, &sink, "<%el", "<%en"), 2);
  EXPECT_EQ(tbuf_to_text(buffer), "ab");
  EXPECT_EQ(input_copy_until(in, nullptr, "<%el", "<%en"), 1);
  EXPECT_EQ(input_copy_until(in, nullptr, "<%el", "<%en"), 0);
  in = input_from_memory("ab");
  EXPECT_EQ(input_skip_until(in, nullptr, "<%end"), 0);
  EXPECT_EQ(input_copy_until(in, nullptr, "", ""), 0);
}

TEST(TemplateScan, TagReadRest) {
  TextInput in = input_from_memory("a == 1 \r\n%>after");
  std::string tag = "%if";
  tag_read_rest(in, tag, kTagArea, ' ', "%>", " \t\r\n");
  EXPECT_EQ(tag, "%if a == 1");
  EXPECT_EQ(input_getc(in), 'a');
  // A name that already ends with the marker reads nothing more.
  in = input_from_memory("more%>");
  tag = "%=x%";
  tag_read_rest(in, tag, kTagArea, '>', "%>", " \t\r\n");
  EXPECT_EQ(tag, "%=x");
  EXPECT_EQ(input_tell(in), 0);
  // A full buffer skips to the marker without storing.
  in = input_from_memory("0123456789%>z");
  tag = "%=";
  tag_read_rest(in, tag, 6, ' ', "%>", "");
  EXPECT_EQ(tag, "%= 01");
  EXPECT_EQ(input_getc(in), 'z');
  tag.clear();
  tag_read_rest(in, tag, 6, ' ', "%>", "");
  EXPECT_EQ(tag, "");
}

}  // namespace
}  // namespace fwk
