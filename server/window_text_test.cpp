#include "server/window_text.hpp"

#include <gtest/gtest.h>

#include "core/ini.hpp"

namespace fwk {
namespace {

ParamListPtr settings_with(const char* text) {
  return kv_parse_text(text, '\n', 0);
}

TEST(WindowTitleTest, DeviceIdentifierIsAppendedAndCutTo63Units) {
  EXPECT_EQ(window_title(nullptr), "Formwick");
  EXPECT_EQ(window_title(settings_with("HOME=index.html").get()), "Formwick");
  EXPECT_EQ(window_title(settings_with("DEVICEID=").get()), "Formwick");
  EXPECT_EQ(window_title(settings_with("DEVICEID=pda7").get()), "Formwick/pda7");

  std::string long_id(100, 'd');
  std::string title = window_title(settings_with(("DEVICEID=" + long_id).c_str()).get());
  EXPECT_EQ(title, "Formwick/" + std::string(63 - 9, 'd'));

  // Units, not bytes: 54 two-byte characters fill the title; a character
  // outside the basic plane (two units) is not split at the cut.
  std::string accented;
  for (int i = 0; i < 60; ++i) accented += "\xC3\xA9";
  title = window_title(settings_with(("DEVICEID=" + accented).c_str()).get());
  EXPECT_EQ(title, "Formwick/" + accented.substr(0, 54 * 2));
  std::string clefs = std::string(53, 'x') + "\xF0\x9D\x84\x9E";
  title = window_title(settings_with(("DEVICEID=" + clefs).c_str()).get());
  EXPECT_EQ(title, "Formwick/" + std::string(53, 'x'));
}

struct WindowTextTest : ::testing::Test {
  void SetUp() override {
    survey_table[0].in_use = true;
    survey_table[0].title = u"Formwick start page";
    survey_table[1].in_use = true;
    survey_table[1].title = u"Customer poll";
    survey_table[1].description = u"Caf\u00E9 visitors";
    survey_table[1].link = u"fwk?database=demo";
  }
  SurveyTable survey_table;
};

TEST_F(WindowTextTest, ListsEntriesWithTheirUrlsThenSeparatorAndStatus) {
  std::string text = window_text(survey_table, "Formwick/pda7", "127.0.0.1:82",
                                 "The server is running on port box:82");
  EXPECT_EQ(text,
            "Formwick/pda7\n"
            " 0  Formwick start page\n"
            "    http://127.0.0.1:82/\n"
            " 1  Customer poll\n"
            "    Caf\xC3\xA9 visitors\n"
            "    http://127.0.0.1:82/fwk?database=demo\n"
            "----------------------------------------------------------------\n"
            "The server is running on port box:82\n");
}

TEST(StatusConsoleTest, MessagesAreTrimmedToWholeLines) {
  EXPECT_EQ(status_message_for_console("HTTP/1.1 404 NOT FOUND\r\n"), "HTTP/1.1 404 NOT FOUND\n");
  EXPECT_EQ(status_message_for_console("\nCGI_DATA: Unable to open the database: /x"),
            "CGI_DATA: Unable to open the database: /x\n");
  EXPECT_EQ(status_message_for_console("one\n\ttwo\n\n"), "one\n\ttwo\n");
  EXPECT_EQ(status_message_for_console("<P>Error: Access denied.\n"), "<P>Error: Access denied.\n");
  EXPECT_EQ(status_message_for_console("\r\n\n"), "");
  EXPECT_EQ(status_message_for_console(""), "");
  EXPECT_EQ(status_message_for_console(nullptr), "");
}

TEST(ConsoleCommandTest, NumbersLettersAndEverythingElse) {
  EXPECT_EQ(console_command_parse("").kind, ConsoleCommandKind::none);
  EXPECT_EQ(console_command_parse("   ").kind, ConsoleCommandKind::none);
  EXPECT_EQ(console_command_parse("q").kind, ConsoleCommandKind::shut_down);
  EXPECT_EQ(console_command_parse(" Q ").kind, ConsoleCommandKind::shut_down);
  EXPECT_EQ(console_command_parse("a").kind, ConsoleCommandKind::about);
  EXPECT_EQ(console_command_parse("A").kind, ConsoleCommandKind::about);

  ConsoleCommand open = console_command_parse(" 12 ");
  EXPECT_EQ(open.kind, ConsoleCommandKind::open_entry);
  EXPECT_EQ(open.entry, 12);
  EXPECT_EQ(console_command_parse("0").entry, 0);

  for (const char* other : {"quit", "1a", "-1", "1 2", "99999", "about"}) {
    EXPECT_EQ(console_command_parse(other).kind, ConsoleCommandKind::unknown) << other;
  }
}

}  // namespace
}  // namespace fwk
