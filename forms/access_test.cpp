#include "forms/access.hpp"

#include <gtest/gtest.h>

#include <string>

#include "core/status_log.hpp"
#include "core/text_buffer.hpp"
#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

struct AccessTest : ::testing::Test {
  TempDir dir;
  SiteContext site;
  StatusLog log;
  AccessTest() {
    site.root = dir.path.string() + "/";
    site.log = &log;
  }

  int rights_of(const char* host, const std::string& form, const char* password) {
    return access_rights(site, host, form_config_read(site.root, form), password);
  }

  int rights_with(const std::string& access, const char* password, const char* form = "f") {
    dir.write("f.ini", "[DATABASE]\nSAVEDATA=1\n[access]\n" + access);
    return rights_of("host1", form, password);
  }
};

TEST_F(AccessTest, AllowDenyAndPasswordWords) {
  EXPECT_EQ(rights_with("PWDAPPEND=(allow)\n", ""), kRightAppend);
  EXPECT_EQ(rights_with("PWDAPPEND=(ALLOW)\nPWDREPORT=(Allow)\n", ""), kRightAppend | kRightReport);
  // A password is one of the offered words, exactly.
  const std::string read_pw = "PWDREAD=s3cret\n";
  EXPECT_EQ(rights_with(read_pw, "s3cret"), kRightRead);
  EXPECT_EQ(rights_with(read_pw, "x,s3cret"), kRightRead);
  EXPECT_EQ(rights_with(read_pw, "x s3cret y"), kRightRead);
  EXPECT_EQ(rights_with(read_pw, "S3CRET"), 0);
  EXPECT_EQ(rights_with(read_pw, "s3cre"), 0);
  EXPECT_EQ(rights_with(read_pw, ""), 0);
  // "(deny)" stops only its own key; PWD grants everything.
  EXPECT_EQ(rights_with("PWD=(deny)\nPWDREAD=(allow)\n", ""), kRightRead);
  EXPECT_EQ(rights_with("PWD=boss\nPWDREAD=(deny)\n", "boss"), kRightAll);
  // Different passwords for different keys.
  EXPECT_EQ(rights_with("PWDUPDATE=up\nPWDDELETE=del\nPWDWRITE=up\n", "del up"),
            kRightUpdate | kRightDelete | kRightEdit);
}

TEST_F(AccessTest, NoSectionNoFileOrUnsafeNameGivesNothing) {
  dir.write("plain.ini", "[DATABASE]\nPWD=(allow)\n");
  EXPECT_EQ(rights_of("h", "plain", ""), 0);
  EXPECT_EQ(rights_of("h", "missing", ""), 0);
  EXPECT_EQ(rights_of("h", "", ""), 0);

  status_text_clear(&log);
  EXPECT_EQ(rights_with("PWD=(allow)\n", "", "a/b"), 0);
  EXPECT_NE(status_text_utf8(&log).find("\nBuffer overrun attempt\tHOST=host1"), std::string::npos);
  EXPECT_EQ(rights_of(nullptr, "f", std::string(129, 'p').c_str()), 0);
  EXPECT_EQ(rights_of("h", std::string(129, 'f').c_str(), ""), 0);
  // The apostrophe is left to the request handler's own check.
  dir.write("o'k.ini", "[access]\nPWD=(allow)\n");
  EXPECT_EQ(rights_of("h", "o'k", ""), kRightAll);
}

std::string page_of(const ParamList* request, const char* form, const char* action, int kind) {
  TextBuffer text = tbuf_new(256);
  OutputSink sink;
  sink.text = &text;
  EXPECT_EQ(permission_denied_page(&sink, request, form, action, kind), kAccessDenied);
  return tbuf_to_text(text);
}

TEST(PermissionDeniedPage, ResubmitsTheRequestWithEverythingEscaped) {
  ParamListPtr request = plist_copy(nullptr, 4);
  plist_set(request.get(), "q\"1", "a<b>&\"c\"");
  plist_set(request.get(), "_PASSWORD", "old");
  plist_set(request.get(), "_session", "s1");
  std::string page = page_of(request.get(), "<img src=x>", "SAVE\"", kRightReport);
  EXPECT_EQ(page,
            "<H3>Permission denied</H3>\n<P>Please enter your password to view reports of this "
            "file.\n<P><FORM ACTION=/fwk METHOD=POST ACCEPT-CHARSET=\"UTF-8\">\n"
            "<INPUT TYPE=HIDDEN NAME=DATABASE VALUE=\"&lt;img src=x&gt;\">\n"
            "<INPUT TYPE=HIDDEN NAME=_ACTION VALUE=\"SAVE&quot;\">\n"
            "<INPUT TYPE=HIDDEN NAME=\"q&quot;1\" VALUE=\"a&lt;b&gt;&amp;&quot;c&quot;\">\n"
            "<INPUT TYPE=HIDDEN NAME=\"_session\" VALUE=\"s1\">\n"
            "<INPUT TYPE=PASSWORD NAME=_PASSWORD> <INPUT TYPE=SUBMIT VALUE=\"Login\"></FORM><HR>");
  EXPECT_NE(page_of(nullptr, "f", "", kRightUpdate).find("to update data in this"),
            std::string::npos);
  EXPECT_NE(page_of(nullptr, "f", "", kRightAppend).find("to append data to this"),
            std::string::npos);
  EXPECT_NE(page_of(nullptr, "f", "", kRightDelete).find("to use this file.\n"), std::string::npos);
}

TEST(RightsSummary, LinesInTheirOwnOrder) {
  TextBuffer text = tbuf_new(256);
  OutputSink sink;
  sink.text = &text;
  rights_summary(&sink, 0);
  rights_summary(&sink, kRightReport);
  rights_summary(&sink, kRightAll);
  EXPECT_EQ(tbuf_to_text(text),
            "<P>You are not permitted to use this server."
            "<P>With this database, you may:<UL></UL>"
            "<P>With this database, you may:<UL><LI>Read data\n<LI>Edit records\n"
            "<LI>Update existing records\n<LI>Append new records\n<LI>Administer the database\n"
            "<LI>Delete records\n</UL>");
}

}  // namespace
}  // namespace fwk
