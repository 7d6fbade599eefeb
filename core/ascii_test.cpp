#include "core/ascii.hpp"

#include <gtest/gtest.h>

#include <string>

#include "core/text_util.hpp"

namespace fwk {
namespace {

TEST(Ascii, OnlyAsciiLettersFoldAndOnlyTheLanguageBlanksAreSpace) {
  EXPECT_EQ(ascii_fold('Q'), 'q');
  EXPECT_EQ(ascii_fold('['), '[');
  EXPECT_EQ(ascii_fold('\xC9'), 0xC9);  // a byte of a UTF-8 letter stays
  EXPECT_TRUE(text_equal_nocase("Content-Length", "content-LENGTH"));
  EXPECT_FALSE(text_equal_nocase("a", "ab"));
  EXPECT_FALSE(text_equal_nocase("@", "`"));  // differ by the case bit, but are no letters
  EXPECT_TRUE(ascii_is_space('\r'));
  EXPECT_FALSE(ascii_is_space('\v'));
  EXPECT_FALSE(ascii_is_space('\0'));
}

TEST(Ascii, PrefixSuffixContainsAndTrim) {
  EXPECT_TRUE(text_starts_nocase("ELSIF x", "elsif", 5));
  EXPECT_FALSE(text_starts_nocase("els", "elsif", 5));  // the text ends first
  EXPECT_TRUE(text_ends_nocase("Photo.JPG", ".jpg"));
  EXPECT_FALSE(text_ends_nocase("g", ".jpg"));
  EXPECT_TRUE(text_contains_nocase("a.HTML.txt", ".html"));
  EXPECT_TRUE(text_contains_nocase("", ""));
  EXPECT_FALSE(text_contains_nocase("htm", ".html"));
  EXPECT_EQ(text_trim(" \t a b \r\n"), "a b");
  EXPECT_EQ(text_trim(" \r ", " \t"), "\r");
  EXPECT_EQ(text_trim("   "), "");
}

TEST(QuotedText, EscapesAndTheClosingQuote) {
  std::string out;
  const char* after = nullptr;
  const char* text = "'a\\'b\\n\\\\c\\qd' rest";
  ASSERT_TRUE(text_read_quoted(text, out, &after));
  EXPECT_EQ(out, "a'b\n\\cqd");
  EXPECT_STREQ(after, " rest");
  EXPECT_FALSE(text_read_quoted("\"open\\", out, &after));
  EXPECT_EQ(out, "open\\");  // a backslash at the end stays
}

}  // namespace
}  // namespace fwk
