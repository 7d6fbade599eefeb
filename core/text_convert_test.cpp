#include "core/text_convert.hpp"

#include <gtest/gtest.h>

#include <string>

namespace fwk {
namespace {

TEST(Utf8ToWide, ConvertsValidTextAndTerminatesWhenThereIsRoom) {
  std::u16string dst(4, u'#');
  EXPECT_EQ(utf8_to_wide("\xC3\xA9", 2, dst.data(), dst.size()), 1u);
  EXPECT_EQ(dst[0], u'\u00E9');
  EXPECT_EQ(dst[1], u'\0');

  EXPECT_EQ(utf8_to_wide(std::string_view("\xF0\x9F\x98\x80 x"), 10), u"\U0001F600 x");
  EXPECT_EQ(utf8_to_wide(std::string_view("\xE2\x82\xAC"), 10), u"\u20AC");
}

TEST(Utf8ToWide, CutsAtWholeCharactersWithoutATerminatorWhenFull) {
  std::u16string dst(3, u'#');
  // "a" then a character that needs two units: only "a" and "b" fit.
  EXPECT_EQ(utf8_to_wide("ab\xF0\x9F\x98\x80", 6, dst.data(), 3), 2u);
  EXPECT_EQ(dst.substr(0, 3), std::u16string(u"ab\0", 3));
  EXPECT_EQ(utf8_to_wide("abc", 3, dst.data(), 3), 3u);
  EXPECT_EQ(dst, u"abc");
}

TEST(Utf8ToWide, InvalidTextFallsBackToOneUnitPerByte) {
  std::u16string dst(8, u'#');
  EXPECT_EQ(utf8_to_wide("caf\xE9!", 5, dst.data(), dst.size()), 5u);
  EXPECT_EQ(dst.substr(0, 6), std::u16string(u"caf\u00E9!\0", 6));
  // The fallback stops at the destination size, without a terminator.
  std::u16string small(2, u'#');
  EXPECT_EQ(utf8_to_wide("\xFF\xFE\xFD", 3, small.data(), 2), 2u);
  EXPECT_EQ(small, u"\u00FF\u00FE");
  // Truncated sequences, overlong forms and encoded surrogates are invalid.
  EXPECT_EQ(utf8_to_wide(std::string_view("a\xC3"), 5), u"a\u00C3");
  EXPECT_EQ(utf8_to_wide(std::string_view("\xC0\xAF"), 5), u"\u00C0\u00AF");
  EXPECT_EQ(utf8_to_wide(std::string_view("\xED\xA0\x80"), 5), u"\u00ED\u00A0\u0080");
}

TEST(Utf8ToWide, EmptyInputGivesAnEmptyTerminatedText) {
  std::u16string dst(2, u'#');
  EXPECT_EQ(utf8_to_wide("", 0, dst.data(), 2), 0u);
  EXPECT_EQ(dst[0], u'\0');
  EXPECT_EQ(utf8_to_wide("x", 1, nullptr, 0), 0u);
}

TEST(WideToAnsi, WritesUtf8AndReplacesUnpairedSurrogatesWithASpace) {
  EXPECT_EQ(wide_to_ansi(u"caf\u00E9 \U0001F600", 20), "caf\xC3\xA9 \xF0\x9F\x98\x80");
  std::u16string lone = u"a";
  lone += static_cast<char16_t>(0xD800);
  lone += u"b";
  EXPECT_EQ(wide_to_ansi(lone, 20), "a b");
}

TEST(WideToAnsi, CutsAtWholeCharactersAndFallsBackToLowBytesWhenNothingFits) {
  std::string dst(4, '#');
  EXPECT_EQ(wide_to_ansi(u"ab\u20AC", 3, dst.data(), 4), 2u);
  EXPECT_EQ(dst.substr(0, 3), std::string("ab\0", 3));
  // Not even the first character fits: the low byte of each unit.
  std::string two(2, '#');
  EXPECT_EQ(wide_to_ansi(u"\u20AC\u00E9\u0041", 3, two.data(), 2), 2u);
  EXPECT_EQ(two, "\xAC\xE9");
}

}  // namespace
}  // namespace fwk
