#include "mail/smtp_client.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/socket.hpp"
#include "platform/testing/socket_pair.hpp"

namespace fwk {
namespace {

// A session whose relay is the test: `relay` is the other end.
struct Scripted {
  SmtpSession session;
  Descriptor client;
  Descriptor relay;
  Scripted() {
    EXPECT_TRUE(socket_pair_packets(&client, &relay));
    session.socket = client.get();
    session.timeout_ms = 200;
  }
  void answer(const std::string& bytes) { socket_send(relay.get(), bytes.data(), bytes.size()); }
  // Everything the client has sent so far.
  std::string heard() {
    std::string all;
    std::string chunk(65536, '\0');
    while (socket_wait_readable(relay.get(), 0)) {
      long got = socket_receive(relay.get(), chunk.data(), chunk.size());
      if (got <= 0) break;
      all.append(chunk, 0, static_cast<size_t>(got));
    }
    return all;
  }
};

OutboxRecord sample_record() {
  OutboxRecord record;
  record.host = "relay";
  record.port = 25;
  record.commands = {"HELO relay", "MAIL FROM: <a@b.c>", "RCPT TO: <a@b.c>"};
  record.message = "Subject: S\r\n\r\n.\r\n.x\nend";
  return record;
}

TEST(SmtpClient, DataTextEndsLinesWithCrLfAndDoublesLeadingDots) {
  EXPECT_EQ(smtp_data_text(".a\nb\r\n.\r\n..c\rd"), "..a\r\nb\r\n..\r\n...c\r\nd\r\n.\r\n");
  EXPECT_EQ(smtp_data_text(""), "\r\n.\r\n");
  EXPECT_EQ(smtp_data_text("x.\r\n"), "x.\r\n\r\n.\r\n");
}

TEST(SmtpClient, DataTextCutsOverlongLinesBetweenCharacters) {
  const std::string e_acute = "\xC3\xA9";
  const std::string smile = "\xF0\x9F\x98\x80";
  // The first cut would fall inside the "é" and moves back before it; the
  // piece after the second cut begins with "." and has it doubled.
  std::string line = std::string(997, 'a') + e_acute + std::string(998, '.') + "b";
  EXPECT_EQ(smtp_data_text(line),
            std::string(997, 'a') + "\r\n" + e_acute + std::string(996, '.') + "\r\n...b\r\n.\r\n");
  // A line of exactly the limit goes as it is.
  EXPECT_EQ(smtp_data_text(std::string(998, 'x')), std::string(998, 'x') + "\r\n.\r\n");

  // Whatever the mix, no sent line exceeds the limit with its doubled dot,
  // none starts inside a character, and undoing the dots and cuts gives
  // back the stored lines.
  std::string mixed;
  for (int i = 0; i < 700; ++i) mixed += (i % 3 == 0 ? smile : i % 3 == 1 ? e_acute : ".");
  std::string stored = mixed + "\n" + std::string(2000, '.') + "\r\n" + std::string(1500, '\x80');
  std::string data = smtp_data_text(stored);
  ASSERT_EQ(data.substr(data.size() - 5), "\r\n.\r\n");
  std::vector<std::string> sent;
  for (size_t at = 0; at < data.size() - 3;) {
    size_t end = data.find("\r\n", at);
    sent.push_back(data.substr(at, end - at));
    at = end + 2;
  }
  std::string joined;
  for (const std::string& piece : sent) {
    EXPECT_LE(piece.size(), kSmtpLineLimit);
    ASSERT_FALSE(piece.empty());
    if (piece[0] != '\x80') {
      EXPECT_NE(static_cast<unsigned char>(piece[0]) & 0xC0, 0x80);
    }
    joined += piece[0] == '.' ? piece.substr(1) : piece;
  }
  EXPECT_EQ(joined, mixed + std::string(2000, '.') + std::string(1500, '\x80'));
  EXPECT_EQ(sent.size(), 7u);  // 2 + 3 + 2 pieces
}

TEST(SmtpClient, RepliesAreReadWholeAndAnythingElseCountsAsNone) {
  Scripted relay;
  relay.answer("220-relay.example\r\n220-more\r\n");
  relay.answer("220 ready\r\n250 first\r\n");
  EXPECT_EQ(smtp_read_reply(relay.session), 220);
  EXPECT_EQ(relay.session.last_reply, "220 ready");
  EXPECT_EQ(smtp_read_reply(relay.session), 250);  // already received with the one before
  EXPECT_EQ(smtp_read_reply(relay.session), 0);    // silence until the timeout
  relay.answer("hello there\r\n");
  EXPECT_EQ(smtp_read_reply(relay.session), 0);
  relay.answer("099 too low\r\n");
  EXPECT_EQ(smtp_read_reply(relay.session), 0);
  relay.relay.reset();
  EXPECT_EQ(smtp_read_reply(relay.session), 0);
}

TEST(SmtpClient, DeliveryChecksEveryReply) {
  {
    Scripted relay;
    relay.answer("220 hi\r\n");
    relay.answer("250 hello\r\n");
    relay.answer("250 sender ok\r\n");
    relay.answer("251 will forward\r\n");
    relay.answer("354 go ahead\r\n");
    relay.answer("250 queued as 7\r\n");
    relay.answer("221 bye\r\n");
    EXPECT_EQ(smtp_deliver(relay.session, sample_record()), 0);
    EXPECT_EQ(relay.session.last_reply, "250 queued as 7");
    EXPECT_EQ(relay.heard(),
              "HELO relay\r\nMAIL FROM: <a@b.c>\r\nRCPT TO: <a@b.c>\r\nDATA\r\n"
              "Subject: S\r\n\r\n..\r\n..x\r\nend\r\n.\r\nQUIT\r\n");
  }
  {
    Scripted relay;
    relay.answer("220 hi\r\n");
    relay.answer("250 hello\r\n");
    relay.answer("250 sender ok\r\n");
    relay.answer("550 5.1.1 no such user\r\n");
    relay.answer("221 bye\r\n");
    EXPECT_EQ(smtp_deliver(relay.session, sample_record()), kSmtpRefused);
    EXPECT_EQ(relay.session.last_reply, "550 5.1.1 no such user");
    EXPECT_TRUE(relay.heard().ends_with("RCPT TO: <a@b.c>\r\nQUIT\r\n"));
  }
  {
    // DATA must be answered with 354; a 250 there is not SMTP.
    Scripted relay;
    for (const char* reply : {"220 hi\r\n", "250 a\r\n", "250 b\r\n", "250 c\r\n", "250 d\r\n"}) {
      relay.answer(reply);
    }
    EXPECT_EQ(smtp_deliver(relay.session, sample_record()), kSmtpBroken);
    EXPECT_TRUE(relay.heard().ends_with("DATA\r\n"));
  }
  {
    Scripted relay;
    relay.answer("421 busy, come back later\r\n");
    EXPECT_EQ(smtp_deliver(relay.session, sample_record()), kSmtpRefused);
  }
}

}  // namespace
}  // namespace fwk
