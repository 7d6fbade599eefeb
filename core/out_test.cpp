#include "core/out.hpp"

#include <gtest/gtest.h>

#include <string>

#include "core/testing/test_lists.hpp"
#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

struct OutTest : ::testing::Test {
  TextBuffer text = tbuf_new(64);
  OutputSink sink;
  void SetUp() override { sink.text = &text; }
  std::string written() const { return tbuf_to_text(text); }
};

TEST_F(OutTest, HtmlEscapesTheFourCharactersOnly) {
  out_html(&sink, "a<b \"q\" & 'c' >\xC3\xA9\t");
  EXPECT_EQ(written(), "a&lt;b &quot;q&quot; &amp; 'c' &gt;\xC3\xA9\t");
  out_html(&sink, "");
  out_html(&sink, nullptr);
  EXPECT_EQ(written(), "a&lt;b &quot;q&quot; &amp; 'c' &gt;\xC3\xA9\t");
}

TEST_F(OutTest, UrlEncodesEveryByteButTheUnreservedOnes) {
  out_url(&sink, "aZ09-_.~ &=+%/?#\"<>'\xC3\xA9\x01");
  EXPECT_EQ(written(), "aZ09-_.~%20%26%3D%2B%25%2F%3F%23%22%3C%3E%27%C3%A9%01");
  out_url(&sink, nullptr);
  EXPECT_EQ(written().size(), 53u);
}

TEST_F(OutTest, PrintfFormatsAndCutsToItsWorkArea) {
  out_printf(&sink, "%d-%s-%.2f|", 42, "x", 1.5);
  EXPECT_EQ(written(), "42-x-1.50|");

  TextBuffer big = tbuf_new(16);
  OutputSink big_sink;
  big_sink.text = &big;
  std::string long_text(10000, 'y');
  out_printf(&big_sink, "%s", long_text.c_str());
  EXPECT_EQ(tbuf_length(big), kFormatArea - 1);
}

TEST_F(OutTest, PrintfWritesAnIncompleteTrailingConversionAsItStands) {
  std::string format = "100%";
  out_printf(&sink, format.c_str(), 0);
  format = "a%d b %5";
  out_printf(&sink, format.c_str(), 7);
  EXPECT_EQ(written(), "100%a7 b %5");
}

TEST_F(OutTest, PrintfGoesStraightIntoAFileEvenWhenAConnectionIsPresent) {
  FilePtr file(std::tmpfile());
  Connection connection;  // nothing may reach it
  OutputSink both;
  both.connection = &connection;
  both.file = file.get();
  std::string long_text(9000, 'z');
  out_printf(&both, "%s!", long_text.c_str());
  EXPECT_TRUE(connection.response.empty());
  EXPECT_EQ(std::ftell(file.get()), 9001);  // the file is not cut
}

TEST_F(OutTest, ParamLinesSkipFreeSlotsAndStopAtTheFirstAbsentName) {
  ParamListPtr list =
      test_list({{"a", "1"}, {"", "stale"}, {"novalue", nullptr}, {"empty", ""}}, 1);
  plist_extend(list.get(), 1);
  Pair* last = nullptr;
  plist_each(list.get(), [&](Pair& entry) { last = &entry; });
  pair_set_name(*last, "later");  // continuation blocks are not written
  out_param_lines(&sink, list.get());
  EXPECT_EQ(written(), "a=1\nnovalue\nempty=\n");
}

TEST_F(OutTest, CopyFileAndStream) {
  TempDir dir;
  std::string content(3000, 'c');
  std::string path = dir.write("f.txt", content);
  EXPECT_EQ(out_copy_file(&sink, path.c_str()), 1);
  EXPECT_EQ(written(), content);
  EXPECT_EQ(out_copy_file(&sink, dir.at("missing").c_str()), 0);
  EXPECT_EQ(out_copy_file(nullptr, path.c_str()), 0);
  EXPECT_EQ(tbuf_length(text), 3000u);
}

TEST(OutAbsentSink, WritersWithoutASinkReadNothing) {
  // A silent pass must not consume what it would have copied.
  FilePtr stream(std::tmpfile());
  std::fputs("abc", stream.get());
  std::rewind(stream.get());
  out_copy_stream(nullptr, stream.get());
  EXPECT_EQ(std::ftell(stream.get()), 0);
  out_printf(nullptr, "%s", "x");
  out_text(nullptr, "x");
  out_bytes(nullptr, "x", 1);
  out_html(nullptr, "<");
  out_url(nullptr, "<");
  out_param_lines(nullptr, nullptr);
  // A sink without any target takes nothing.
  OutputSink empty;
  EXPECT_EQ(sink_write(&empty, "abc", 3), 0u);
}

}  // namespace
}  // namespace fwk
