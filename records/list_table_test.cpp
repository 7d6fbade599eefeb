#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "platform/testing/temp_dir.hpp"
#include "records/list.hpp"
#include "store/datafile.hpp"

namespace fwk {
namespace {

struct ListTableTest : ::testing::Test {
  TempDir dir;
  TextBuffer text = tbuf_new(1024);
  OutputSink sink;
  FilePtr file;
  ParamListPtr header;

  void SetUp() override { sink.text = &text; }

  void open(const std::string& content) {
    ASSERT_EQ(datafile_open(dir.write("d.asc", content).c_str(), &file, &header, 0), 1);
  }
  std::string written() const { return tbuf_to_text(text); }

  // The line numbers of the rows written, in order.
  std::vector<int> row_numbers() const {
    std::vector<int> rows;
    std::string page = written();
    std::regex index("<TD CLASS=\"INDEX\">(\\d+)</TD>");
    for (std::sregex_iterator it(page.begin(), page.end(), index), end; it != end; ++it)
      rows.push_back(std::stoi((*it)[1]));
    return rows;
  }
};

// Lines after the header: 1 a, 2 marked, 3 empty, 4 b, 5 c, 6 d (no final
// line feed).
constexpr const char* kSixLines = "ID\tName\na\t1\n#b\t2\n\t\nb\t3\nc\t4\nd\t5";

TEST_F(ListTableTest, PagesCountEveryLineAndShowOnlyPlainRecords) {
  open(kSixLines);
  list_rows(&sink, file.get(), header.get(), "f", "", "", 50, 0);
  EXPECT_EQ(row_numbers(), (std::vector<int>{1, 4, 5, 6}));
  // Shown rows alternate, starting light, whatever lines lie between them.
  std::string page = written();
  EXPECT_LT(page.find("\n<TR CLASS=\"LIGHT\">\n<TD>"), page.find("\n<TR CLASS=\"DARK\">\n<TD>"));
  EXPECT_NE(page.find("<TD>d<TD>5</TR>\n\n"), std::string::npos);

  for (auto [count, start, rows] :
       {std::tuple{2, 2, std::vector<int>{4}}, std::tuple{2, 4, std::vector<int>{5, 6}},
        std::tuple{3, 5, std::vector<int>{6}}, std::tuple{5, 6, std::vector<int>{}}}) {
    SCOPED_TRACE(testing::Message() << count << " from " << start);
    text = tbuf_new(1024);
    datafile_seek_row(file.get(), -1);
    list_rows(&sink, file.get(), header.get(), "f", "", "", count, start);
    EXPECT_EQ(row_numbers(), rows);
  }
}

TEST_F(ListTableTest, ReadingStopsAtTheEndOfTheFile) {
  open(kSixLines);
  auto began = std::chrono::steady_clock::now();
  list_rows(&sink, file.get(), header.get(), "f", "", "", kListMaxCount, INT64_C(1) << 60);
  datafile_seek_row(file.get(), -1);
  list_rows(&sink, file.get(), header.get(), "f", "", "", INT64_C(1) << 60, 5);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(1));
  EXPECT_EQ(row_numbers(), std::vector<int>{6});
}

TEST_F(ListTableTest, GroupsShareAHeadingAndACellAndTheQuerySeesCutNames) {
  open("Q1_a\tQ1_b\t_x\tq1_c\tQ2\n1\t2\t3\t4\t5\n6\t\t8\t9\t10\n");
  list_headings(&sink, header.get());
  EXPECT_EQ(written(), "<TR><TH COLSPAN=2>Row Actions<TH>Q1</TH><TH>Q2</TH></TR>");
  const char* names[] = {"Q1", "Q1", "", "q1", "Q2"};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(*plist_at(header.get(), i)->name, names[i]);

  text = tbuf_new(1024);
  list_rows(&sink, file.get(), header.get(), "f", "Q1 == 6", "", 50, 0);
  EXPECT_EQ(row_numbers(), std::vector<int>{2});
  // The column cut to "" is left out; an empty value shows as a space.
  EXPECT_NE(written().find("</TD>\n<TD>6,&nbsp;,9<TD>10</TR>"), std::string::npos);

  // A condition that cannot be evaluated lets every record through.
  text = tbuf_new(1024);
  datafile_seek_row(file.get(), -1);
  list_rows(&sink, file.get(), header.get(), "f", "Q1", "", 50, 0);
  EXPECT_EQ(row_numbers(), (std::vector<int>{1, 2}));
}

TEST_F(ListTableTest, RequestAndFileTextsCannotBecomeMarkup) {
  open("<b>_x\tName\n<script>alert(1)</script>\tx & \"y\"\n");
  list_headings(&sink, header.get());
  list_rows(&sink, file.get(), header.get(), "a&b c", "", "p\"w<", 50, 0);
  list_paging_links(&sink, "a&b c", "p\"w<", 10, 0);
  std::string page = written();
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  EXPECT_NE(page.find("<TH>&lt;b&gt;</TH>"), std::string::npos);
  EXPECT_NE(page.find("<TD>&lt;script&gt;alert(1)&lt;/script&gt;<TD>x &amp; &quot;y&quot;"),
            std::string::npos);
  EXPECT_NE(page.find("<a href=\"?_PASSWORD=p%22w%3C&DATABASE=a%26b%20c&_ROWID=1&_ACTION=View\">"),
            std::string::npos);
  EXPECT_NE(page.find("<a href=\"?DATABASE=a%26b%20c&_PASSWORD=p%22w%3C&_ACTION=LIST&_COUNT=10"
                      "&_START=-10\">Back</a> | <a href=\"?DATABASE=a%26b%20c&_PASSWORD=p%22w%3C"
                      "&_ACTION=LIST&_COUNT=10&_START=10\">Next</a>"),
            std::string::npos);
}

}  // namespace
}  // namespace fwk
