#include "http/request.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace fwk {
namespace {

ParamListPtr parse(std::string& text) {
  return parse_form_data(kRequestReserved, text.data(), text.size(), kRequestFreeSlots);
}

const Pair& entry(const ParamListPtr& list, size_t i) {
  const Pair* at = plist_at(list.get(), i);
  EXPECT_NE(at, nullptr) << i;
  static const Pair none;
  return at ? *at : none;
}

TEST(ParseFormData, LaysOutReservedFreeSlotsThenPairsInOrder) {
  std::string text = "DATABASE=a+b%21&&X=1&Y";
  ParamListPtr list = parse(text);
  ASSERT_NE(list, nullptr);
  // 3 reserved + 3 separators + 64 free slots + 1.
  ASSERT_NE(plist_at(list.get(), 70), nullptr);
  ASSERT_EQ(plist_at(list.get(), 71), nullptr);
  for (size_t i = 0; i < 3; ++i) EXPECT_FALSE(entry(list, i).name.has_value());
  for (size_t i = 3; i < 67; ++i) {
    EXPECT_EQ(entry(list, i).name, "");
    EXPECT_EQ(entry(list, i).value, "");
  }
  EXPECT_EQ(entry(list, 67).name, "DATABASE");
  EXPECT_EQ(entry(list, 67).value, "a b!");
  EXPECT_EQ(entry(list, 68).name, "X");
  EXPECT_EQ(entry(list, 68).value, "1");
  EXPECT_EQ(entry(list, 69).name, "Y");
  EXPECT_EQ(entry(list, 69).value, "");
  EXPECT_FALSE(entry(list, 70).name.has_value());
}

TEST(ParseFormData, DropsEmptyNamesAndKeepsEscapedSeparatorsInside) {
  std::string text = "=v&n=1&&&a%26b=c%3Dd%2B+e&last=";
  ParamListPtr list = parse(text);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(entry(list, 67).name, "n");
  EXPECT_EQ(entry(list, 67).value, "1");
  EXPECT_EQ(entry(list, 68).name, "a&b");
  EXPECT_EQ(entry(list, 68).value, "c=d+ e");
  EXPECT_EQ(entry(list, 69).name, "last");
  EXPECT_EQ(entry(list, 69).value, "");
  EXPECT_FALSE(entry(list, 70).name.has_value());
}

TEST(ParseFormData, AbsentOrEmptyTextGivesNoList) {
  std::string empty;
  EXPECT_EQ(parse_form_data(3, nullptr, 0, 64), nullptr);
  EXPECT_EQ(parse_form_data(3, empty.data(), 0, 64), nullptr);
}

TEST(UrlDecode, EscapesBecomeBytesWithoutValidation) {
  std::string text = "%41%62";
  EXPECT_EQ(url_decode(text.data()), 2u);
  EXPECT_STREQ(text.c_str(), "Ab");
  text = "%4g%zz";
  url_decode(text.data());
  EXPECT_STREQ(text.c_str(), "PS");
  text = "a%00b%0";  // a NUL would cut the text short
  EXPECT_EQ(url_decode(text.data()), 5u);
  EXPECT_EQ(text.substr(0, 5), "a b%0");
  text = "a+b";  // "+" is left to the caller
  url_decode(text.data());
  EXPECT_STREQ(text.c_str(), "a+b");
}

TEST(UrlDecode, ShortEscapeAtTheEndIsKeptAndNothingBeyondIsRead) {
  std::string text = "ab%4";
  EXPECT_EQ(url_decode(text.data()), 4u);
  EXPECT_STREQ(text.c_str(), "ab%4");
  text = "%";
  EXPECT_EQ(url_decode(text.data()), 1u);
  EXPECT_STREQ(text.c_str(), "%");
}

TEST(HexPairValue, DigitsOfBothCasesAndLowByteOfAnythingElse) {
  EXPECT_EQ(hex_pair_value('0', '9'), 9);
  EXPECT_EQ(hex_pair_value('f', 'F'), 255);
  EXPECT_EQ(hex_pair_value('a', '0'), 160);
  EXPECT_EQ(hex_pair_value('z', 'z'), 0x53);
  int high = hex_pair_value('\xff', '0');  // signed: -1 - 48 = -49
  EXPECT_EQ(high, (-49 * 16) & 0xFF);
}

struct Split {
  std::string text;
  RequestLine line;
  explicit Split(const char* request) : text(request) { line = split_request_line(text.data()); }
};

TEST(SplitRequestLine, MethodPathAndRest) {
  Split full("GET /dir/page.html?x=1 HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_STREQ(full.line.method, "GET");
  EXPECT_STREQ(full.line.path, "dir/page.html?x=1");
  EXPECT_STREQ(full.line.rest, "HTTP/1.1\r\nHost: h\r\n\r\n");
  char* query = split_query(full.line.path);
  EXPECT_STREQ(full.line.path, "dir/page.html");
  EXPECT_STREQ(query, "x=1");

  Split one_space("GET /only");
  EXPECT_STREQ(one_space.line.path, "only");
  EXPECT_STREQ(one_space.line.rest, "");

  Split no_space("GARBAGE");
  EXPECT_STREQ(no_space.line.method, "GARBAGE");
  EXPECT_STREQ(no_space.line.path, "");
  EXPECT_STREQ(no_space.line.rest, "");
  EXPECT_EQ(split_query(no_space.line.path), nullptr);

  Split empty("");
  EXPECT_STREQ(empty.line.method, "");
  EXPECT_STREQ(empty.line.path, "");
}

TEST(SplitRequestLine, DropsWhateverCharacterLeadsThePath) {
  Split odd("GET xfile HTTP/1.0");
  EXPECT_STREQ(odd.line.path, "file");
  Split root("GET / HTTP/1.0");
  EXPECT_STREQ(root.line.path, "");
}

char* parameters_of(Split& split) {
  split.line.query = split_query(split.line.path);
  return find_parameter_text(split.line);
}

TEST(FindParameterText, QueryForGetBodyForPostNothingOtherwise) {
  Split get("GET /fwk?DATABASE=x HTTP/1.1\r\n\r\n");
  EXPECT_STREQ(parameters_of(get), "DATABASE=x");

  Split post("POST /fwk?DATABASE=x HTTP/1.1\r\nContent-Length: 10\r\n\r\nDATABASE=y");
  EXPECT_STREQ(parameters_of(post), "DATABASE=y");

  Split bare("POST /fwk HTTP/1.0\nContent-Length: 3\n\na=1");
  EXPECT_STREQ(parameters_of(bare), "a=1");

  Split no_body("POST /fwk HTTP/1.0\r\nX: y\r\n");
  EXPECT_EQ(parameters_of(no_body), nullptr);

  Split head("HEAD /fwk?a=1 HTTP/1.1\r\n\r\n");
  EXPECT_EQ(parameters_of(head), nullptr);

  Split lower("get /fwk?a=1 HTTP/1.1\r\n\r\n");
  EXPECT_EQ(parameters_of(lower), nullptr);
}

TEST(RequestShape, FindsTheFirstBlankLineAndContentLength) {
  RequestShape none = request_shape("GET / HTTP/1.1\r\nHost: x\r\n");
  EXPECT_EQ(none.body_start, std::string_view::npos);

  std::string_view crlf = "POST / HTTP/1.1\r\ncontent-LENGTH:  12 \r\n\r\nbody";
  RequestShape shape = request_shape(crlf);
  EXPECT_EQ(crlf.substr(shape.body_start), "body");
  EXPECT_EQ(shape.content_length, 12);

  std::string_view lf = "POST / HTTP/1.0\nContent-Length: 3\n\nabc\r\n\r\n";
  EXPECT_EQ(lf.substr(request_shape(lf).body_start), "abc\r\n\r\n");

  EXPECT_EQ(request_shape("GET / HTTP/1.1\r\nContent-Length: -4\r\n\r\n").content_length, -1);
  EXPECT_EQ(request_shape("GET / HTTP/1.1\r\nContent-Length: 4x\r\n\r\n").content_length, -1);
  // A header of that name in the body does not count.
  EXPECT_EQ(request_shape("GET / HTTP/1.1\r\n\r\nContent-Length: 4\r\n").content_length, -1);
}

TEST(RequestShape, TellsHowTheBodyEnds) {
  auto framing = [](std::string_view text) { return request_shape(text).framing; };
  EXPECT_EQ(framing("GET / HTTP/1.1\r\n\r\n"), BodyFraming::unstated);
  EXPECT_EQ(framing("POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n"), BodyFraming::length);
  for (const char* bad : {"-4", "4x", "0x10", "1 2", "99999999999999999"}) {
    EXPECT_EQ(framing("POST / HTTP/1.1\r\nContent-Length: " + std::string(bad) + "\r\n\r\n"),
              BodyFraming::invalid_length)
        << bad;
  }
  EXPECT_EQ(framing("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n"),
            BodyFraming::transfer_coded);
}

}  // namespace
}  // namespace fwk
