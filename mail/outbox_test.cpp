#include "mail/outbox.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/testing/temp_dir.hpp"
#include "mail/outbox_record.hpp"

namespace fwk {
namespace {

SiteContext site_in(const TempDir& dir) {
  SiteContext site;
  site.root = dir.path.string() + "/";
  return site;
}

std::vector<OutboxRecord> read_all(const std::string& bytes) {
  std::vector<OutboxRecord> records;
  for (size_t at = 0; at < bytes.size(); at = records.back().end) {
    records.push_back(outbox_read_record(bytes, at));
  }
  return records;
}

TEST(Outbox, PlainMessageRecordHasExactLengthHeadersAndClosing) {
  TempDir dir;
  SiteContext site = site_in(dir);
  ASSERT_EQ(queue_mail(site, "collect@example.org", "Survey A", "line 1\r\n.\r\nline 3",
                       "relay.example.org"),
            0);
  std::string bytes = dir.read(kOutboxName);
  std::string head = "OPEN relay.example.org:25\nContent-Length: ";
  ASSERT_EQ(bytes.compare(0, head.size(), head), 0);
  size_t blank = bytes.find("\n\n");
  ASSERT_NE(blank, std::string::npos);
  EXPECT_EQ(std::stoul(bytes.substr(head.size())), bytes.size() - blank - 2);

  std::string conversation = bytes.substr(blank + 2);
  EXPECT_EQ(conversation.rfind("HELO relay.example.org\r\nMAIL FROM: <collect@example.org>\r\n"
                               "RCPT TO: <collect@example.org>\r\nDATA\r\nSubject: Survey A\r\n"
                               "From: <collect@example.org>\r\nTo: <collect@example.org>\r\nDate: ",
                               0),
            0u);
  size_t id = conversation.find("\r\nMessage-ID: <");
  size_t mime = conversation.find(
      "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
      "line 1\r\n.\r\nline 3\r\n.\r\nQUIT\r\n");
  ASSERT_NE(id, std::string::npos);
  ASSERT_NE(mime, std::string::npos);
  EXPECT_LT(id, mime);

  std::vector<OutboxRecord> records = read_all(bytes);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].fault, 0);
  EXPECT_EQ(records[0].host, "relay.example.org");
  EXPECT_EQ(records[0].port, 25);
  EXPECT_EQ(records[0].commands,
            (std::vector<std::string>{"HELO relay.example.org", "MAIL FROM: <collect@example.org>",
                                      "RCPT TO: <collect@example.org>"}));
  EXPECT_EQ(records[0].message.rfind("Subject: Survey A\r\n", 0), 0u);
  EXPECT_TRUE(records[0].message.ends_with("\r\n\r\nline 1\r\n.\r\nline 3"));
}

TEST(Outbox, HtmlBodyInAnyCaseIsMultipartUtf8AndRelayPortIsKept) {
  TempDir dir;
  SiteContext site = site_in(dir);
  ASSERT_EQ(queue_mail(site, "a@b.c", "S", "<html><p>caf\xc3\xa9</p></html>", "10.0.0.5:2525"), 0);
  std::vector<OutboxRecord> records = read_all(dir.read(kOutboxName));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].host, "10.0.0.5");
  EXPECT_EQ(records[0].port, 2525);
  EXPECT_EQ(records[0].commands[0], "HELO 10.0.0.5");
  const std::string& message = records[0].message;
  EXPECT_NE(message.find("Content-Type: multipart/alternative; boundary=\"_Mime-Boundary_766C74\""),
            std::string::npos);
  EXPECT_NE(message.find("Content-Type: text/html; charset=\"utf-8\"\r\n"
                         "Content-Transfer-Encoding: 8bit\r\n\r\n<html><p>caf\xc3\xa9</p></html>"
                         "\r\n--_Mime-Boundary_766C74--"),
            std::string::npos);
  EXPECT_EQ(message.find("text/plain"), std::string::npos);
}

TEST(Outbox, NoRelayUnwritableOutboxAndLineBreaksInHeadFields) {
  TempDir dir;
  SiteContext site = site_in(dir);
  EXPECT_EQ(queue_mail(site, "a@b.c", "S", "x", ""), kMailNoRelay);
  EXPECT_EQ(queue_mail(site, "a@b.c", "S", "x", nullptr), kMailNoRelay);
  EXPECT_FALSE(std::filesystem::exists(dir.at(kOutboxName)));

  uint64_t before = outbox_appended_total();
  ASSERT_EQ(queue_mail(site, "a@b.c\r\nRCPT TO: <x@evil>", "S\r\nBcc: x@evil", "x", "relay\nX"), 0);
  EXPECT_EQ(outbox_appended_total(), before + 1);
  std::vector<OutboxRecord> records = read_all(dir.read(kOutboxName));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].host, "relay X");
  EXPECT_EQ(records[0].commands.size(), 3u);
  EXPECT_EQ(records[0].commands[2], "RCPT TO: <a@b.c  RCPT TO: <x@evil>>");
  EXPECT_EQ(records[0].message.find("\r\nBcc"), std::string::npos);

  SiteContext missing;
  missing.root = dir.at("no/such/dir/");
  EXPECT_EQ(queue_mail(missing, "a@b.c", "S", "x", "relay"), kOutboxNotWritable);
}

TEST(Outbox, DateHeaderHasWeekdayAndZoneOffset) {
  DateTime t{2026, 12, 8, 6, 7, 5};
  EXPECT_EQ(mail_date_text(t, 60), "Tue, 08 Dec 2026 06:07:05 +0100");
  EXPECT_EQ(mail_date_text(DateTime{2024, 2, 29, 23, 59, 59}, -330),
            "Thu, 29 Feb 2024 23:59:59 -0530");
  EXPECT_NE(mail_stamp("a@b.c").message_id, mail_stamp("a@b.c").message_id);
  EXPECT_TRUE(mail_stamp("a@example.org").message_id.ends_with("@example.org>"));
}

// Records that cannot be read span up to the next well-formed head, so the
// records around them stay readable.
TEST(OutboxRecord, UnreadableRecordsEndAtTheNextHead) {
  MailStamp stamp{"Tue, 08 Dec 2026 06:07:05 +0000", "<1@x>"};
  std::string good = outbox_record_text("relay", "S", "a@b.c", "body", stamp);
  std::string no_port = "OPEN relay\nContent-Length: 26\n\nHELO r\r\nDATA\r\nm\r\n.\r\nQUIT\r\n";
  std::string garbage = "junk line\nOPEN without head\nmore\n";
  std::string too_long = good;
  too_long.replace(too_long.find("Content-Length: ") + 16, 1, "9");
  std::string torn_tail = good.substr(0, good.size() - 7);
  std::string bytes = good + garbage + good + too_long + no_port + torn_tail;

  std::vector<OutboxRecord> records = read_all(bytes);
  ASSERT_EQ(records.size(), 6u);
  EXPECT_EQ(records[0].fault, 0);
  EXPECT_EQ(records[1].fault, kRecordNoOpen);
  EXPECT_EQ(records[1].end - records[1].begin, garbage.size());
  EXPECT_EQ(records[2].fault, 0);
  EXPECT_EQ(records[3].fault, kRecordTorn);
  EXPECT_EQ(records[3].end - records[3].begin, too_long.size());
  EXPECT_EQ(records[4].fault, 0);
  EXPECT_EQ(records[4].port, kOpenLineDefaultPort);
  EXPECT_EQ(records[4].message, "m");
  EXPECT_EQ(records[5].fault, kRecordTorn);
  EXPECT_EQ(records[5].end, bytes.size());
}

}  // namespace
}  // namespace fwk
