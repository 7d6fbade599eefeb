#include "core/headers.hpp"

#include <gtest/gtest.h>

#include <string>

namespace fwk {
namespace {

std::string headers_for(const char* header_text) {
  TextBuffer text = tbuf_new(1024);
  OutputSink sink;
  sink.text = &text;
  EXPECT_EQ(write_headers(&sink, header_text), 1);
  return tbuf_to_text(text);
}

const char* kFixedBlock =
    "client:close\r\nExpires: 0\r\nCache-control: no-cache\r\nPragma: no-cache\r\n";
const std::string kProtection = kProtectionHeaders;

TEST(WriteHeaders, DefaultTextIsValidHtmlUtf8Header) {
  std::string expected = std::string("HTTP/1.1 200 OK\r\n") + kFixedBlock +
                         "Content-type: text/html; charset=utf-8\n" + kProtection + "\n";
  EXPECT_EQ(headers_for(nullptr), expected);
  EXPECT_EQ(headers_for(""), expected);
}

TEST(WriteHeaders, LocationInAnyCaseIsARedirect) {
  std::string text = "location: /fwk?x=1\r\n\r\n";
  EXPECT_EQ(headers_for(text.c_str()), "HTTP/1.1 302 Found\r\n" + std::string(kFixedBlock) +
                                           "location: /fwk?x=1\r\n" + kProtection + "\r\n");
  EXPECT_EQ(headers_for("Location:x\r\n\r\n").rfind("HTTP/1.1 302 Found\r\n", 0), 0u);
  // All nine characters must agree.
  EXPECT_EQ(headers_for("Locatio").rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(headers_for("Locations: x\n\n").rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(headers_for("Content-type: image/gif\n\n"), "HTTP/1.1 200 OK\r\n" +
                                                           std::string(kFixedBlock) +
                                                           "Content-type: image/gif\n" +
                                                           kProtection + "\n");
}

TEST(WriteHeaders, ProtectionLinesGoBeforeTheBlankLineOnly) {
  // The caller's lines stay as they are, whatever their line ends; a text
  // without a blank line is not a header block and is left alone.
  std::string two = headers_for("A: 1\nB: 2\r\n\nbody\n\n");
  EXPECT_NE(two.find("A: 1\nB: 2\r\n" + kProtection + "\nbody\n\n"), std::string::npos);
  EXPECT_EQ(headers_for("X: y"), "HTTP/1.1 200 OK\r\n" + std::string(kFixedBlock) + "X: y");
}

TEST(WriteHeaders, AbsentSinkWritesNothing) {
  EXPECT_EQ(write_headers(nullptr, nullptr), 1);
}

}  // namespace
}  // namespace fwk
