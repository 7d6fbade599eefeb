#include "http/file_server.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/headers.hpp"
#include "core/testing/test_lists.hpp"
#include "core/text_buffer.hpp"
#include "http/server_loop.hpp"

namespace fwk {
namespace {

namespace fs = std::filesystem;

const std::string kHtmlHead =
    std::string("HTTP/1.1 200 OK\r\nclient:close\r\nExpires: 0\r\nCache-control: no-cache\r\n"
                "Pragma: no-cache\r\nContent-type: text/html; charset=utf-8\n") +
    kProtectionHeaders + "\n";
// The end of a header block whose caller's text ends in `line`.
std::string header_end(const std::string& line) {
  return line + "\n" + kProtectionHeaders + "\n";
}

// A fresh server root with a few files, a secret next to it, and a site
// without settings or surveys.
class FileServerTest : public ::testing::Test {
 protected:
  fs::path base;
  fs::path root;
  SiteContext site;

  void SetUp() override {
    std::random_device seed;
    base = fs::temp_directory_path() / ("fwk-files-" + std::to_string(seed()));
    root = base / "root";
    fs::create_directories(root / "sub");
    write(root / "Pic.GIF", "GIF89a");
    write(root / "style.css", "body{}");
    write(root / "data.json", "{}");
    write(root / "notes.txt", "plain");
    write(root / "page.html", "<p>hello</p>");
    write(root / "a.html.txt", "<p>as a page</p>");
    write(root / "sub" / "inner.png", "PNG");
    site.root = root.string() + "/";
  }
  void TearDown() override { fs::remove_all(base); }
  static void write(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }
  std::string serve(const char* path) {
    TextBuffer text = tbuf_new(1024);
    OutputSink sink;
    sink.text = &text;
    Request request;
    request.path = path;
    EXPECT_EQ(file_serve(site, request, &sink), HandlerResult::ok);
    return tbuf_to_text(text);
  }
};

TEST(FileContentHeader, KeepsTheOldRowsFirstThenGoesByExtension) {
  EXPECT_STREQ(file_content_header("Pic.GIF"), "Content-type: image/gif\n\n");
  EXPECT_STREQ(file_content_header("photo.jpg"), "Content-type: image/jpeg\n\n");
  EXPECT_STREQ(file_content_header("a.pdf.css"), "Content-type: application/pdf\n\n");
  EXPECT_STREQ(file_content_header("x.gif.jpg"), "Content-type: image/gif\n\n");
  EXPECT_STREQ(file_content_header("s/Style.CSS"), "Content-type: text/css\n\n");
  EXPECT_STREQ(file_content_header("app.js"), "Content-type: text/javascript\n\n");
  EXPECT_STREQ(file_content_header("app.json"), "Content-type: application/json\n\n");
  EXPECT_STREQ(file_content_header("i.png"), "Content-type: image/png\n\n");
  EXPECT_STREQ(file_content_header("i.svg"), "Content-type: image/svg+xml\n\n");
  EXPECT_STREQ(file_content_header("favicon.ico"), "Content-type: image/x-icon\n\n");
  EXPECT_STREQ(file_content_header("feed.xml"), "Content-type: application/xml\n\n");
  EXPECT_STREQ(file_content_header("old.htm"), "Content-type: text/html; charset=utf-8\n\n");
  EXPECT_STREQ(file_content_header("x.css.bak"), "Content-type: text/plain\n\n");
  EXPECT_STREQ(file_content_header("readme"), "Content-type: text/plain\n\n");
}

TEST(PathInsideRoot, RefusesAbsolutePathsAndParentSegments) {
  EXPECT_TRUE(path_inside_root("page.html"));
  EXPECT_TRUE(path_inside_root("sub/inner.png"));
  EXPECT_TRUE(path_inside_root("a..b/..c/d.."));
  EXPECT_TRUE(path_inside_root(""));
  EXPECT_FALSE(path_inside_root("/etc/passwd"));
  EXPECT_FALSE(path_inside_root("\\etc\\passwd"));
  EXPECT_FALSE(path_inside_root(".."));
  EXPECT_FALSE(path_inside_root("../secret.txt"));
  EXPECT_FALSE(path_inside_root("sub/../../secret.txt"));
  EXPECT_FALSE(path_inside_root("sub\\..\\..\\secret.txt"));
  EXPECT_FALSE(path_inside_root("sub/.."));
}

TEST_F(FileServerTest, SendsFilesAsTheyAreWithTheirContentType) {
  EXPECT_EQ(serve("Pic.GIF"),
            "HTTP/1.1 200 OK\r\nclient:close\r\nExpires: 0\r\nCache-control: no-cache\r\n"
            "Pragma: no-cache\r\n" +
                header_end("Content-type: image/gif") + "GIF89a");
  EXPECT_NE(serve("style.css").find(header_end("Content-type: text/css") + "body{}"),
            std::string::npos);
  EXPECT_NE(serve("sub/inner.png").find(header_end("image/png") + "PNG"), std::string::npos);
  EXPECT_NE(serve("sub\\inner.png").find(header_end("image/png") + "PNG"), std::string::npos);
  EXPECT_NE(serve("notes.txt").find(header_end("text/plain") + "plain"), std::string::npos);
}

TEST_F(FileServerTest, PagesGoThroughTheTemplateProcessorWheneverHtmlOccurs) {
  EXPECT_EQ(serve("page.html"), kHtmlHead + "<p>hello</p>");
  EXPECT_EQ(serve("a.html.txt"), kHtmlHead + "<p>as a page</p>");
}

TEST_F(FileServerTest, MissingFileGetsTheErrorPageUnexpanded) {
  write(root / "err.html", "<p>missing: <%= 1 %></p>");
  site.settings = test_list({{"ERROR", "err.html"}});
  EXPECT_EQ(serve("nothing.html"), kHtmlHead + "<p>missing: <%= 1 %></p>");
}

TEST_F(FileServerTest, MissingFileWithoutErrorPageListsTheSurveys) {
  site.surveys[0].in_use = true;
  site.surveys[0].title = u"Formwick start page";
  site.surveys[1] = SurveyEntry{true, u"Caf\u00e9 poll", u"Ten questions", u"fwk?database=poll"};
  site.surveys[2] = SurveyEntry{true, u"Demo", u"Description", u"fwk?database=demo"};
  site.surveys[4] = SurveyEntry{true, u"Unreached", u"", u"x"};
  site.settings = test_list({{"ERROR", "no-such-page.html"}});
  EXPECT_EQ(serve("nothing"), kHtmlHead +
                                  "&nbsp;<a href=\"fwk?database=poll\">Caf\xc3\xa9 poll</a> "
                                  "Ten questions<br>"
                                  "&nbsp;<a href=\"fwk?database=demo\">Demo</a> Description<br>");
}

TEST(ErrorNote, OneNotePerKindOfResult) {
  auto result = [](int number) { return static_cast<HandlerResult>(number); };
  EXPECT_EQ(error_note(HandlerResult::ok, nullptr), "");
  EXPECT_EQ(error_note(HandlerResult::not_found, nullptr), "HTTP/1.1 404 NOT FOUND\r\n");
  EXPECT_EQ(error_note(HandlerResult::access_denied, nullptr), "<P>Error: Access denied.\n");
  EXPECT_EQ(error_note(result(7), nullptr), "<P><A href=/help.html#s7>Error 7</a>\n");
  ParamListPtr settings = test_list({{"HELPURL", "http://help.example/errors.html"}});
  EXPECT_EQ(error_note(result(-3), settings.get()),
            "<P><A href=http://help.example/errors.html#s-3>Error -3</a>\n");
  std::string very_long(2000, 'u');
  ParamListPtr long_url = test_list({{"HELPURL", very_long.c_str()}});
  EXPECT_EQ(error_note(HandlerResult::limit_reached, long_url.get()).size(), 1023u);
}

}  // namespace
}  // namespace fwk
