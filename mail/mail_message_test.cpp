#include "mail/mail_message.hpp"

#include <gtest/gtest.h>

#include "mail/relay_address.hpp"

namespace fwk {
namespace {

TEST(RelayAddress, FormsDefaultsAndWhatIsRefused) {
  struct Case {
    const char* text;
    const char* written;  // nullptr: not a relay address
  };
  const Case cases[] = {
      {"mail.example.org", "mail.example.org:25"},
      {"10.0.0.5:2525", "10.0.0.5:2525"},
      {"smtp://mail.example.org", "smtp://mail.example.org:587"},
      {"SMTPS://mail.example.org:4650/", "smtps://mail.example.org:4650"},
      {"smtp://relay_1.local:25", "smtp://relay_1.local:25"},
      {"", nullptr},
      {"host:", nullptr},
      {"host:0", nullptr},
      {"host:65536", nullptr},
      {"host:25x", nullptr},
      {"relay X", nullptr},
      {"user@host", nullptr},
      {"http://host", nullptr},
      {"smtp://", nullptr},
      {"-host", nullptr},
  };
  for (const Case& c : cases) {
    std::optional<RelayAddress> relay = relay_parse(c.text);
    if (c.written == nullptr) {
      EXPECT_FALSE(relay) << c.text;
    } else {
      ASSERT_TRUE(relay) << c.text;
      EXPECT_EQ(relay_text(*relay), c.written);
    }
  }
  EXPECT_EQ(relay_url(*relay_parse("mail.example.org")), "smtp://mail.example.org:25");
  EXPECT_EQ(relay_url(*relay_parse("smtps://mail.example.org")), "smtps://mail.example.org:465");
}

// Every line of a field stays within 78 characters where it can, no CR,
// LF or NUL reaches a field, and non-ASCII free text is encoded.
TEST(MailMessage, HeaderFieldsAreFoldedCleanAndEncoded) {
  std::string long_words;
  for (int i = 0; i < 30; ++i) long_words += "word" + std::to_string(i) + " ";
  std::string field = mail_header_field({"Subject", long_words + "\r\nBcc: x@evil\0", true});
  EXPECT_EQ(field.find("\r\nBcc"), std::string::npos);
  size_t at = 0;
  int lines = 0;
  while (at < field.size()) {
    size_t end = field.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LE(end - at, 78u);
    if (at > 0) {
      EXPECT_EQ(field[at], ' ');  // continuation lines begin with a space
    }
    at = end + 2;
    ++lines;
  }
  EXPECT_GT(lines, 2);

  std::string encoded = mail_header_field({"Subject", "Caf\xc3\xa9 \xe2\x98\x83 r\xc3\xa9sum\xc3\xa9", true});
  EXPECT_EQ(encoded, "Subject: =?UTF-8?B?Q2Fmw6kg4piDIHLDqXN1bcOp?=\r\n");
  std::string many(200, 'x');
  many += "\xc3\xa9";
  std::string folded = mail_header_field({"X-Answer", many, true});
  EXPECT_EQ(folded.find_first_of("\xc3"), std::string::npos);
  EXPECT_GT(std::count(folded.begin(), folded.end(), '\n'), 3);
  // An address is folded, never encoded.
  EXPECT_EQ(mail_header_field({"To", "<caf\xc3\xa9@example.org>"}),
            "To: <caf\xc3\xa9@example.org>\r\n");
}

TEST(MailMessage, DateAndIdentifiers) {
  EXPECT_EQ(mail_date_text(DateTime{2026, 12, 8, 6, 7, 5}, 60), "Tue, 08 Dec 2026 06:07:05 +0100");
  EXPECT_EQ(mail_date_text(DateTime{2024, 2, 29, 23, 59, 59}, -330),
            "Thu, 29 Feb 2024 23:59:59 -0530");
  EXPECT_NE(mail_random_id("a@b.c"), mail_random_id("a@b.c"));
  std::string id = mail_derived_id("poll", "x2026Y1Y2", "box@example.org", "S", "name: Ann");
  EXPECT_EQ(id, mail_derived_id("poll", "x2026Y1Y2", "box@example.org", "S", "name: Ann"));
  EXPECT_NE(id, mail_derived_id("poll", "x2026Y1Y2", "box@example.org", "S", "name: Anne"));
  EXPECT_NE(id, mail_derived_id("poll", "x2026Y1Y3", "box@example.org", "S", "name: Ann"));
  EXPECT_NE(id, mail_derived_id("pol", "lx2026Y1Y2", "box@example.org", "S", "name: Ann"));
  EXPECT_TRUE(id.ends_with(".fwk@example.org>"));
}

}  // namespace
}  // namespace fwk
