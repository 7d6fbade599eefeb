#include "server/smtp_client.hpp"

#include <gtest/gtest.h>

#include <string>

#include "platform/socket.hpp"
#include "platform/testing/socket_pair.hpp"

namespace fwk {
namespace {

// A session whose relay is the test: `relay` is the other end.
struct Scripted {
  SmtpSession session;
  int relay = -1;
  Scripted() {
    int client = -1;
    EXPECT_TRUE(socket_pair_packets(&client, &relay));
    session.socket = client;
    session.timeout_ms = 200;
  }
  ~Scripted() {
    socket_close(session.socket);
    socket_close(relay);
  }
  void answer(const std::string& bytes) { socket_send(relay, bytes.data(), bytes.size()); }
  // Everything the client has sent so far.
  std::string heard() {
    std::string all;
    std::string chunk(65536, '\0');
    while (socket_wait_readable(relay, 0)) {
      long got = socket_receive(relay, chunk.data(), chunk.size());
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
  socket_close(relay.relay);
  relay.relay = -1;
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
