#include "template/form_fill.hpp"

#include <gtest/gtest.h>

#include <string>

#include "template/tag_attrs.hpp"
#include "template/template_test_util.hpp"

namespace fwk {
namespace {

using testing::list_of;
using testing::render;
using testing::RenderOptions;

std::string filled(const std::string& source, ParamList* vars, ParamList* unplaced = nullptr) {
  RenderOptions o;
  o.variables = vars;
  o.unplaced = unplaced;
  o.fill_fields = 1;
  return render(source, o).text;
}

TEST(FormFill, CheckBoxesAndRadioButtons) {
  auto vars = list_of({{"Q1", "b, c"}, {"E", ""}});
  EXPECT_EQ(filled("<INPUT TYPE=checkbox NAME=Q1 VALUE=b>", vars.get()),
            "<INPUT CHECKED TYPE=\"checkbox\" NAME=\"Q1\" VALUE=\"b\">");
  EXPECT_EQ(filled("<input type=\"Radio\" name=\"q1\" value=\"c\">", vars.get()),
            "<INPUT CHECKED type=\"Radio\" name=\"q1\" value=\"c\">");
  // Not listed: an authored CHECKED goes.
  EXPECT_EQ(filled("<INPUT TYPE=checkbox NAME=Q1 VALUE=a CHECKED>", vars.get()),
            "<INPUT TYPE=\"checkbox\" NAME=\"Q1\" VALUE=\"a\">");
  // Items are whole and letter case counts.
  EXPECT_EQ(filled("<INPUT TYPE=checkbox NAME=Q1 VALUE=B CHECKED>", vars.get()),
            "<INPUT TYPE=\"checkbox\" NAME=\"Q1\" VALUE=\"B\">");
  // No value held: the template decides.
  EXPECT_EQ(filled("<INPUT TYPE=checkbox NAME=E VALUE=a CHECKED>", vars.get()),
            "<INPUT TYPE=\"checkbox\" NAME=\"E\" VALUE=\"a\" CHECKED>");
  // One entry per checked box, as browsers post them: every entry counts.
  auto posted = list_of({{"Q2", "a"}, {"q2", "c"}, {"Q2", ""}});
  EXPECT_EQ(filled("<INPUT TYPE=checkbox NAME=Q2 VALUE=a><INPUT TYPE=checkbox NAME=Q2 VALUE=b "
                   "CHECKED><INPUT TYPE=checkbox NAME=Q2 VALUE=c>",
                   posted.get()),
            "<INPUT CHECKED TYPE=\"checkbox\" NAME=\"Q2\" VALUE=\"a\">"
            "<INPUT TYPE=\"checkbox\" NAME=\"Q2\" VALUE=\"b\">"
            "<INPUT CHECKED TYPE=\"checkbox\" NAME=\"Q2\" VALUE=\"c\">");
}

TEST(FormFill, TextInputs) {
  auto vars = list_of({{"T", "a<b \"q\""}});
  EXPECT_EQ(filled("<input type=\"text\" name=\"T\" value=\"old\" size=5>", vars.get()),
            "<INPUT VALUE=\"a&lt;b &quot;q&quot;\" type=\"text\" name=\"T\" size=\"5\">");
  // Without a held value the authored VALUE is written exactly as written.
  EXPECT_EQ(filled("<INPUT NAME=U VALUE=\"a&amp;b\">", vars.get()),
            "<INPUT VALUE=\"a&amp;b\" NAME=\"U\">");
  EXPECT_EQ(filled("<INPUT>", vars.get()), "<INPUT VALUE=\"\">");
  // Single quotes are not special: the value ends at whitespace.
  EXPECT_EQ(filled("<INPUT NAME='T' VALUE='x y'>", vars.get()),
            "<INPUT VALUE=\"'x\" NAME=\"'T'\" y'>");
  // A quoted value may hold ">" and comes out escaped.
  EXPECT_EQ(filled("<INPUT TYPE=hidden NAME=\"a>b\" VALUE=1>", vars.get()),
            "<INPUT VALUE=\"1\" TYPE=\"hidden\" NAME=\"a&gt;b\">");
  // End of input inside the attributes: what was read is used.
  EXPECT_EQ(filled("<INPUT NAME=T", vars.get()),
            "<INPUT VALUE=\"a&lt;b &quot;q&quot;\" NAME=\"T\">");
}

TEST(FormFill, Options) {
  auto vars = list_of({{"S", "2"}, {"M", "x"}, {"M", "y, z"}});
  EXPECT_EQ(
      filled("<SELECT NAME=S><OPTION VALUE=1 SELECTED>One<OPTION VALUE=2>Two</SELECT>", vars.get()),
      "<SELECT NAME=\"S\"><OPTION VALUE=\"1\" SELECTED>One"
      "<OPTION SELECTED  VALUE=\"2\">Two</SELECT>");
  // Several entries of the select's name: any of them may list the value.
  EXPECT_EQ(filled("<SELECT NAME=M><OPTION VALUE=z>", vars.get()),
            "<SELECT NAME=\"M\"><OPTION SELECTED  VALUE=\"z\">");
  // No entry for the select's name: an authored SELECTED goes, also after
  // the closing tag (the select name stays until the next SELECT).
  EXPECT_EQ(
      filled("<SELECT NAME=N><OPTION VALUE=1 SELECTED></SELECT><OPTION SELECTED>", vars.get()),
      "<SELECT NAME=\"N\"><OPTION VALUE=\"1\"></SELECT><OPTION>");
}

TEST(FormFill, OptionQueries) {
  auto vars = list_of({{"a", "1"}});
  EXPECT_EQ(filled("<OPTION VALUE=x query=\"a == 1\">X</OPTION>.", vars.get()),
            "<OPTION VALUE=\"x\" query=\"a == 1\">X</OPTION>.");
  EXPECT_EQ(filled("<OPTION VALUE=x query=\"a == 2\">X</OPTION>.", vars.get()), ".");
  EXPECT_EQ(filled("<OPTION VALUE=x QUERY=\"a\">X</option>.", vars.get()), ".");
}

TEST(FormFill, AnEmptyUnquotedValueEndsAtTheTag) {
  // "value=>" is an empty value: the text after the tag stays text.
  auto vars = list_of({{"s", "b"}});
  EXPECT_EQ(filled("<SELECT NAME=s><OPTION VALUE=>Choose one</OPTION>", vars.get()),
            "<SELECT NAME=\"s\"><OPTION VALUE=\"\">Choose one</OPTION>");
  EXPECT_EQ(filled("<INPUT TYPE=submit VALUE=> next", vars.get()),
            "<INPUT VALUE=\"\" TYPE=\"submit\"> next");
}

TEST(FormFill, TextAreas) {
  auto vars = list_of({{"C", "x<y"}});
  EXPECT_EQ(filled("<TEXTAREA NAME=C ROWS=3>template text</TEXTAREA>after", vars.get()),
            "<TEXTAREA NAME=\"C\" ROWS=\"3\">x&lt;y</TEXTAREA>after");
  EXPECT_EQ(filled("<textarea name=D value=\"v&\">text</textarea>", vars.get()),
            "<TEXTAREA name=\"D\" value=\"v&amp;\">v&amp;</TEXTAREA>");
  EXPECT_EQ(filled("a</TEXTAREA x>b", vars.get()), "ab");
}

TEST(FormFill, EachElementHasOnlyItsOwnAttributes) {
  auto vars = list_of({{"Q", "b"}});
  // Elements one after another: nothing of an earlier element's attributes
  // (names, values, removals) carries over to the next.
  EXPECT_EQ(filled("<INPUT TYPE=checkbox NAME=Q VALUE=a CHECKED x=\"1\" y=2>"
                   "<INPUT CHECKED TYPE=checkbox NAME=Q VALUE=b>"
                   "<INPUT NAME=R>"
                   "<INPUT>"
                   "<TEXTAREA NAME=Q>t</TEXTAREA>",
                   vars.get()),
            "<INPUT TYPE=\"checkbox\" NAME=\"Q\" VALUE=\"a\" x=\"1\" y=\"2\">"
            "<INPUT CHECKED CHECKED TYPE=\"checkbox\" NAME=\"Q\" VALUE=\"b\">"
            "<INPUT VALUE=\"\" NAME=\"R\">"
            "<INPUT VALUE=\"\">"
            "<TEXTAREA NAME=\"Q\">b</TEXTAREA>");
}

TEST(FormFill, ScriptElementsAreLeftAlone) {
  auto vars = list_of({{"T", "v"}});
  EXPECT_EQ(filled("<SCRIPT>s = '<INPUT NAME=T>';</script><INPUT NAME=T>", vars.get()),
            "<SCRIPT>s = '<INPUT NAME=T>';</script><INPUT VALUE=\"v\" NAME=\"T\">");
  RenderOptions o;
  o.variables = vars.get();
  EXPECT_EQ(render("<INPUT NAME=T>", o).text, "<INPUT NAME=T>");  // filling off
}

TEST(FormFill, UnplacedNamesAreStruckEvenInASilentPass) {
  auto vars = list_of({{"Q1", "a"}});
  auto unplaced = list_of(
      {{"Q1", "a"}, {"S", "1"}, {"S", "2"}, {"C", "x"}, {"Other", "o"}, {"q1", "b"}, {"C", "y"}});
  RenderOptions o;
  o.variables = vars.get();
  o.unplaced = unplaced.get();
  o.fill_fields = 1;
  o.silent = true;
  auto r = render("<INPUT NAME=Q1><SELECT NAME=s></SELECT><TEXTAREA NAME=C></TEXTAREA>", o);
  EXPECT_EQ(r.text, "");
  std::vector<std::string> left;
  plist_each(unplaced.get(), [&](const Pair& p) {
    if (!p.name->empty()) left.push_back(*p.name);
  });
  EXPECT_EQ(left, (std::vector<std::string>{"S", "Other", "C"}));
}

TEST(TagAttrs, LimitsAndWriting) {
  std::string tag;
  for (int i = 1; i <= 25; ++i) tag += " a" + std::to_string(i) + "=" + std::to_string(i);
  tag += ">after";
  TextInput in = input_from_memory(tag);
  ParamListPtr attrs = tag_read_attrs(in, 32);
  ASSERT_EQ(test_list_slots(attrs.get()), 20u);
  EXPECT_EQ(*plist_at(attrs.get(), 19)->name, "a20");
  EXPECT_EQ(input_getc(in), 'a');  // the rest of the tag was skipped

  // Capacity 0 means 16.
  in = input_from_memory(tag);
  EXPECT_EQ(test_list_slots(tag_read_attrs(in, 0).get()), 16u);

  std::string long_value(5000, 'v');
  const std::string long_tag = "\n  CHECKED  v=\"" + long_value + "\" w=" + long_value + ">";
  in = input_from_memory(long_tag);
  attrs = tag_read_attrs(in, 32);
  ASSERT_EQ(test_list_slots(attrs.get()), 3u);
  EXPECT_FALSE(plist_at(attrs.get(), 0)->value.has_value());
  EXPECT_EQ(plist_at(attrs.get(), 1)->value->size(), kTagAttrArea - 1);
  EXPECT_EQ(plist_at(attrs.get(), 2)->value->size(), kTagAttrArea - 1);

  TextBuffer buffer = tbuf_new(64);
  OutputSink sink;
  sink.text = &buffer;
  auto list = list_of({{"a", "x\"y"}, {"", "gone"}, {"B", nullptr}});
  attrs_write(&sink, list.get());
  EXPECT_EQ(tbuf_to_text(buffer), " a=\"x&quot;y\" B");
}

}  // namespace
}  // namespace fwk
