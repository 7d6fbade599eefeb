#include "mail/outbox.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "mail/outbox_queue.hpp"
#include "mail/outbox_record.hpp"
#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

SiteContext site_in(const TempDir& dir) {
  SiteContext site;
  site.root = dir.path.string() + "/";
  return site;
}

MailRequest request(const char* address, const char* subject, const char* body,
                    const char* relay) {
  MailRequest mail;
  mail.address = address;
  mail.subject = subject;
  mail.body = body;
  mail.relay = relay;
  return mail;
}

TEST(Outbox, RecordHeadConversationAndEscapingReadBackExactly) {
  TempDir dir;
  SiteContext site = site_in(dir);
  // Lines that could pass for a record's start or the end of the data.
  const char* body = "line 1\r\n.\r\nOPEN evil:25\nContent-Length: 5\n\n.line";
  MailRequest mail = request("collect@example.org", "Survey A", body, "relay.example.org");
  mail.user = "sender@example.org";
  mail.form = "poll";
  ASSERT_EQ(queue_mail(site, mail), MailResult::ok);
  std::string bytes = dir.read(kOutboxName);
  std::string head = "OPEN relay.example.org:25\nContent-Length: ";
  ASSERT_EQ(bytes.compare(0, head.size(), head), 0);
  size_t blank = bytes.find("\n\n");
  EXPECT_EQ(std::stoul(bytes.substr(head.size())), bytes.size() - blank - 2);
  EXPECT_NE(bytes.find("\nFormat: 2\nCheck: "), std::string::npos);
  EXPECT_NE(bytes.find("\nUser: sender@example.org\nForm: poll\n\n"), std::string::npos);
  EXPECT_EQ(bytes.find("\nOPEN"), std::string::npos);  // no line inside begins a record
  EXPECT_NE(bytes.find("\r\n..\r\n.OPEN evil:25\n"), std::string::npos);

  std::vector<OutboxRecord> records = outbox_read_all(bytes);
  ASSERT_EQ(records.size(), 1u);
  const OutboxRecord& record = records[0];
  EXPECT_EQ(record.fault, RecordFault::none);
  EXPECT_EQ(relay_text(record.relay), "relay.example.org:25");
  EXPECT_EQ(record.user, "sender@example.org");
  EXPECT_EQ(record.form, "poll");
  EXPECT_GT(record.queued_at, 0);
  EXPECT_EQ(record.commands,
            (std::vector<std::string>{"HELO relay.example.org", "MAIL FROM: <collect@example.org>",
                                      "RCPT TO: <collect@example.org>"}));
  EXPECT_EQ(record.message.rfind("Subject: Survey A\r\nFrom: <collect@example.org>\r\n"
                                 "To: <collect@example.org>\r\nDate: ",
                                 0),
            0u);
  EXPECT_TRUE(record.message.ends_with(std::string("charset=utf-8\r\n\r\n") + body));
  EXPECT_EQ(record_message_header(record, "Subject"), "Survey A");
}

TEST(Outbox, RelayAddressesNoRelayAndUnwritableOutbox) {
  TempDir dir;
  SiteContext site = site_in(dir);
  EXPECT_EQ(queue_mail(site, request("a@b.c", "S", "x", "")), MailResult::no_relay);
  EXPECT_EQ(queue_mail(site, request("a@b.c", "S", "x", "relay\nX")), MailResult::no_relay);
  EXPECT_EQ(queue_mail(site, request("a@b.c", "S", "x", "relay:0")), MailResult::no_relay);
  EXPECT_FALSE(std::filesystem::exists(dir.at(kOutboxName)));
  ASSERT_EQ(queue_mail(site, request("a@b.c\r\nRCPT TO: <x@evil>", "S\r\nBcc: x@evil", "<html>h",
                                     "smtps://10.0.0.5")),
            MailResult::ok);
  ASSERT_EQ(queue_mail(site, request("a@b.c", "S", "x", "SMTP://mail.example.org")),
            MailResult::ok);
  std::vector<OutboxRecord> records = outbox_read_all(dir.read(kOutboxName));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(relay_text(records[0].relay), "smtps://10.0.0.5:465");
  EXPECT_EQ(records[0].commands.size(), 3u);
  EXPECT_EQ(records[0].commands[2], "RCPT TO: <a@b.c  RCPT TO: <x@evil>>");
  EXPECT_EQ(records[0].message.find("\r\nBcc"), std::string::npos);
  EXPECT_NE(records[0].message.find("Content-Type: text/html; charset=\"utf-8\""),
            std::string::npos);
  EXPECT_EQ(relay_text(records[1].relay), "smtp://mail.example.org:587");

  SiteContext missing;
  missing.root = dir.at("no/such/dir/");
  EXPECT_EQ(queue_mail(missing, request("a@b.c", "S", "x", "relay")),
            MailResult::outbox_not_writable);
}

// An outbox written by earlier versions is read as it was written, with the
// open line's default port of 25; damage runs only to the next record that
// can be trusted, and a torn append does not take the next record with it.
TEST(OutboxRecord, EarlierRecordsDamageAndTornAppends) {
  std::string legacy_conversation =
      "HELO r\r\nMAIL FROM: <a@b>\r\nRCPT TO: <a@b>\r\nDATA\r\nSubject: S\r\n\r\n"
      "..not unescaped\r\nOPEN x:25\r\n.\r\nQUIT\r\n";
  std::string legacy = "OPEN relay\nContent-Length: " +
                       std::to_string(legacy_conversation.size()) + "\n\n" + legacy_conversation;
  QueuedMail mail;
  mail.relay = *relay_parse("relay:2525");
  mail.message.address = "a@b.c";
  mail.message.body = "body";
  std::string good = outbox_record_text(mail);
  std::string flipped = good;
  flipped[flipped.size() - 20] ^= 1;  // a changed byte fails the check
  std::string garbage = "junk line\nOPEN without head\nmore\n";
  std::string torn = good.substr(0, good.size() - 7);
  std::string bytes = legacy + garbage + good + flipped + good + torn + "\n" + good;

  std::vector<OutboxRecord> records = outbox_read_all(bytes);
  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(records[0].fault, RecordFault::none);
  EXPECT_EQ(records[0].relay.port, 25);
  EXPECT_TRUE(records[0].message.ends_with("..not unescaped\r\nOPEN x:25"));
  EXPECT_EQ(records[1].fault, RecordFault::no_open);
  EXPECT_EQ(records[1].end - records[1].begin, garbage.size());
  EXPECT_EQ(records[2].fault, RecordFault::none);
  EXPECT_EQ(records[2].relay.port, 2525);
  EXPECT_EQ(records[3].fault, RecordFault::torn);
  EXPECT_EQ(records[3].end - records[3].begin, flipped.size());
  EXPECT_EQ(records[4].fault, RecordFault::none);
  EXPECT_EQ(records[5].fault, RecordFault::torn);
  EXPECT_EQ(records[5].end - records[5].begin, torn.size() + 1);
  EXPECT_EQ(records[6].fault, RecordFault::none);
  EXPECT_EQ(records[6].key, records[2].key);
}

// Sent messages leave the queue for outbox.bak and damage for outbox.bad in
// one rewrite; the journal keeps only what concerns the records left.
TEST(OutboxQueue, CompactionRetiresSentAndSetsApartDamage) {
  TempDir dir;
  SiteContext site = site_in(dir);
  for (const char* subject : {"one", "two", "three"}) {
    ASSERT_EQ(queue_mail(site, request("a@b.c", subject, "x", "relay")), MailResult::ok);
  }
  std::string bytes = dir.read(kOutboxName);
  dir.write(kOutboxName, bytes + "torn OPEN");
  OutboxSnapshot snapshot;
  ASSERT_TRUE(outbox_snapshot(site.root, &snapshot));
  ASSERT_EQ(snapshot.records.size(), 4u);
  const OutboxRecord& first = snapshot.records[0];
  const OutboxRecord& third = snapshot.records[2];
  MessageState state;
  state.attempts = 2;
  state.last_error = "450 try later";
  ASSERT_TRUE(outbox_journal_append(site.root, journal_sent_line(first.key)));
  ASSERT_TRUE(outbox_journal_append(site.root, journal_tried_line(third.key, state)));
  ASSERT_TRUE(outbox_journal_append(site.root, std::string(kJournalRetryLine)));

  Compaction compaction;
  compaction.fresh_sent_file = true;
  CompactionResult result = outbox_compact(site.root, compaction);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.retired, 1);
  EXPECT_EQ(result.damaged, 1);
  std::string left = dir.read(kOutboxName);
  EXPECT_EQ(left, bytes.substr(first.end));
  EXPECT_EQ(dir.read(kOutboxSentName), bytes.substr(0, first.end));
  EXPECT_EQ(dir.read(kOutboxBadName), "torn OPEN");
  Journal journal = journal_parse(dir.read(kOutboxJournalName));
  EXPECT_TRUE(journal.sent.empty());
  ASSERT_EQ(journal.states.count(third.key), 1u);
  EXPECT_EQ(journal.states[third.key].attempts, 2);
  EXPECT_EQ(journal.states[third.key].last_error, "450 try later");
  EXPECT_EQ(journal.retries, 1);  // not seen by this compaction: kept
}

}  // namespace
}  // namespace fwk
