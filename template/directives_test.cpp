#include "template/directives.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "core/status_log.hpp"
#include "core/text_buffer.hpp"
#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

SiteContext site_with_log(StatusLog& log) {
  SiteContext site;
  site.log = &log;
  return site;
}

// Renders a template from memory as if it were the file page.html of dir.
struct Page {
  TempDir dir;
  std::string base = dir.at("page.html");
  StatusLog log;
  SiteContext site = site_with_log(log);

  std::string render(const std::string& source, ParamList* variables = nullptr, bool silent = false,
                     long* position = nullptr) {
    TextBuffer buffer = tbuf_new(1024);
    OutputSink sink;
    sink.text = &buffer;
    TextInput input = input_from_memory(source);
    TemplateArgs args;
    args.site = &site;
    args.base_path = base.c_str();
    args.sink = silent ? nullptr : &sink;
    args.input = &input;
    args.variables = variables;
    template_process(args, nullptr);
    if (position) *position = input_tell(input);
    return tbuf_to_text(buffer);
  }
};

std::string error_at(const std::string& subject, size_t position, const std::string& message) {
  return "<HR>Error in (" + subject + ")[" + std::to_string(position) + "]: " + message + "<HR>";
}

TEST(DirectiveWord, QuotesEscapesAndTagEnd) {
  TextInput in = input_from_memory(" \"a b\\t\\\"c\" 'x\\y'  plain%> %> ''");
  std::string word;
  EXPECT_EQ(directive_word(in, word, 100), '"');
  EXPECT_EQ(word, "a b\t\"c");
  EXPECT_EQ(directive_param(in, word, 100), 1);
  EXPECT_EQ(word, "xy");
  EXPECT_EQ(directive_param(in, word, 100), 1);
  EXPECT_EQ(word, "plain");  // the "%>" right after it stays for the next read
  EXPECT_EQ(directive_param(in, word, 100), 0);
  EXPECT_EQ(directive_param(in, word, 100), 0);
  EXPECT_EQ(directive_param(in, word, 100), 0);  // an empty quoted word
  EXPECT_EQ(directive_word(in, word, 100), -1);

  TextInput longer = input_from_memory("abcdefgh");
  directive_word(longer, word, 4);
  EXPECT_EQ(word, "abc");
}

TEST(Include, ProcessesFilesRelativeToTheTemplateAndReportsMissingOnes) {
  Page page;
  page.dir.write("part.html", "[<%= q %>]<%break>never");
  ParamListPtr vars = plist_copy(nullptr, 1);
  plist_set(vars.get(), "q", "7");
  EXPECT_EQ(page.render("a<%include part.html %>b<%include \"part.html\"%>c", vars.get()),
            "a[7]b[7]c");
  // Without a space before "%>" the name still ends there.
  EXPECT_EQ(page.render("<%include part.html%>!", vars.get()), "[7]!");

  std::string source = "x<%include missing.html %>y";
  EXPECT_EQ(page.render(source),
            "x" + error_at("missing.html", source.find("y"), "cannot open file") + "y");
  EXPECT_EQ(page.render("x<%include %>y"),
            "x" + error_at("include", 13, "parameter missing") + "y");
}

TEST(Include, ATemplateIncludingItselfStopsAtTheDepthLimit) {
  Page page;
  page.dir.write("self.html", "A<%include self.html %>B");
  std::string out = page.render("<%include self.html %>");
  const size_t levels = kTemplateMaxDepth;
  EXPECT_EQ(out, std::string(levels, 'A') + kTemplateDepthMessage + std::string(levels, 'B'));
}

TEST(Source, CopiesFilesUnchanged) {
  Page page;
  page.dir.write("raw.txt", "<%= q %>{x}");
  EXPECT_EQ(page.render("<%source raw.txt %>."), "<%= q %>{x}.");
  std::string source = "<%source none.txt %>.";
  EXPECT_EQ(page.render(source),
            error_at(page.dir.at("none.txt"), source.size() - 1, "cannot open file") + ".");
  EXPECT_EQ(page.render("<%source %>"), error_at("source", 11, "parameter missing"));
}

const char* kVotes =
    "ID\t#NAME\tCITY\n"
    "\"1\"\t\"Ann\"\t\"Oslo\"\t\r\n"
    "#2\"\t\"Bob\"\t\"Oslo\"\t\r\n"
    "\"3\"\t\"Cid\"\t\"Rome\"\t\r\n"
    "\"4\"\t\"Dee\"\t\"Oslo\"\t\r\n"
    "\"5\"\t\"Eve\"\t\"Oslo\"\t\r\n";

TEST(Report, WritesTheSectionOncePerMatchingRecord) {
  Page page;
  page.dir.write("votes.asc", kVotes);
  ParamListPtr vars = plist_copy(nullptr, 2);
  plist_set(vars.get(), "town", "Oslo");
  EXPECT_EQ(page.render("<ul><%report votes.asc CITY eq $town %><li>{#}:{NAME}</li></report></ul>",
                        vars.get()),
            "<ul><li>1:Ann</li><li>2:Dee</li><li>3:Eve</li></ul>");
  EXPECT_EQ(page.render("<%report votes.asc 'ID > 3' %>{NAME}<%if $CITY eq 'Oslo'%>*<%end%>"
                        "</report>.",
                        vars.get()),
            "Dee*Eve*.");
  EXPECT_EQ(page.render("<%report votes.asc CITY eq 'Paris' %>{NAME}</report>after"), "after");
  EXPECT_EQ(page.render("<%report votes.asc %>{ID}</report>"), "1345");
  plist_set(vars.get(), "filter", "NAME eq 'Cid'");
  EXPECT_EQ(page.render("<%report votes.asc $filter %>{NAME}</report>", vars.get()), "Cid");
}

TEST(Report, NestedReportsAndScriptsInsideTheSection) {
  Page page;
  page.dir.write("votes.asc", kVotes);
  page.dir.write("cities.asc", "CITY\nOslo\nRome\n");
  ParamListPtr vars = plist_copy(nullptr, 4);
  EXPECT_EQ(page.render("<%report cities.asc %>{CITY}(<%report votes.asc ID < 3 %>{NAME}"
                        "</report>)</report>|",
                        vars.get()),
            "Oslo(Ann)Rome(Ann)|");
  EXPECT_EQ(page.render("<%report votes.asc ID == 3 %><% n = '' + data['NAME'] + '!'\n"
                        "print(n) %></report>",
                        vars.get()),
            "Cid!");
}

TEST(Report, MissingDataFileIsReportedAndTheSectionIsOrdinaryText) {
  Page page;
  std::string path = page.dir.at("none.asc");
  EXPECT_EQ(page.render("<%report none.asc %>{x}</report>."),
            "[Error: Unable to open the database " + path + "]{x}</report>.");
  EXPECT_NE(status_text_utf8(&page.log).find("CGI_DATA: Unable to open the database: " + path),
            std::string::npos);
  EXPECT_EQ(page.render("<%report %>{x}"), "{x}");
}

TEST(Stats, ShowsCountsAndSumsByKey) {
  Page page;
  page.dir.write("stats.ini", "[COUNT]\nQ1=12\n[SUM]\nQ1=30\nQ2=4\n");
  EXPECT_EQ(page.render("<%stats stats.ini %>{Q1}/{Q1.SUM}/{Q2.SUM}</report>."), "12/30/4.");
  EXPECT_EQ(page.render("<%stats none.ini %>{Q1}</report>."), "{Q1}.");
}

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == sep) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

TEST(Random, WritesEveryItemOnceInSomeOrder) {
  Page page;
  std::string section = "<%random it zz %>";
  for (int i = 0; i < 10; ++i) section += std::to_string(i) + ",<it>";
  section += "unused<zz>.";
  std::set<std::string> orders;
  ParamListPtr vars = plist_copy(nullptr, 1);
  for (int run = 0; run < 20; ++run) {
    plist_set(vars.get(), "_SESSION", std::to_string(run).c_str());
    std::string out = page.render(section, vars.get());
    ASSERT_EQ(out.back(), '.');
    std::vector<std::string> items = split(out.substr(0, out.size() - 2), ',');
    std::vector<std::string> sorted = items;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    orders.insert(out);
  }
  EXPECT_GT(orders.size(), 1u);
}

TEST(Random, UnequalMarkersSingleItemsAndTheItemLimit) {
  Page page;
  EXPECT_EQ(page.render("<%random items stop %>a<items>b<items><stop>."),
            "a<items>b<items><stop>.");
  EXPECT_EQ(page.render("<%random it zz %>only<it>tail<zz>."), "only.");
  EXPECT_EQ(page.render("<%random it zz %>none<zz>."), ".");
  std::string many = "<%random it zz %>";
  for (int i = 0; i < 130; ++i) many += "x<it>";
  many += "<zz>";
  // Items past the 128th are ordinary template text, markers included.
  EXPECT_EQ(page.render(many), std::string(128, 'x') + "x<it>x<it><zz>");
}

TEST(FwkList, RunsOneCommandAndReportsUnknownWords) {
  Page page;
  page.dir.write("part.html", "P");
  EXPECT_EQ(page.render("<%fwk include part.html %>after"), "Pafter");
  EXPECT_EQ(page.render("<%fwk INCLUDE \"part.html\"%> include after"), "P include after");
  std::string source = "<%fwk bogus %>x";
  EXPECT_EQ(page.render(source), error_at("bogus", 12, "Unknown command") + "x");
  EXPECT_EQ(page.render("<%fwk %>x"), "x");
}

TEST(ScriptBlock, RunsWithTheTemplateTableAndReportsErrorsInBrackets) {
  Page page;
  page.dir.write("d.asc", "Q\n\"a\"\t\r\n");
  ParamListPtr vars = plist_copy(nullptr, 4);
  EXPECT_EQ(page.render("<% x = 5\ny = x * 2 + 1 %>[<%= y %>]", vars.get()), "[11]");
  EXPECT_EQ(
      page.render("<% print(toFixed(3.14159, 2), hasRecord('d.asc', \"Q eq 'a'\")) %>", vars.get()),
      "3.141");
  // runReport needs the form's settings, which template blocks do not have.
  EXPECT_EQ(page.render("<% r = runReport('d.asc')\nprint('[' + r + ']') %>", vars.get()), "[]");
  EXPECT_EQ(page.render("a<% y 7 %>b", vars.get()),
            "a[Script error 46: Unable to process this command:y 7 %]>b");
  // A silent pass runs no statements.
  page.render("<% z = 1 %>", vars.get(), true);
  EXPECT_EQ(plist_find(vars.get(), "z"), nullptr);
}

}  // namespace
}  // namespace fwk
