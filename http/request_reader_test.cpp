// When a request is whole, fed in pieces as a slow client would send it.
#include "http/request_reader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fwk {
namespace {

ReadProgress feed(RequestReader& reader, const std::vector<std::string>& pieces) {
  ReadProgress progress = ReadProgress::more;
  for (const std::string& piece : pieces) {
    progress = reader_take(reader, piece.data(), piece.size());
    if (progress != ReadProgress::more) break;
  }
  return progress;
}

TEST(RequestReader, GetIsWholeAtTheEndOfItsHeaderBlockEvenWhenTheBlankLineIsSplit) {
  for (const auto& pieces :
       std::vector<std::vector<std::string>>{{"GET /a HTTP/1.1\r\nHost: x\r\n\r\nXX"},
                                             {"GET /a HTTP/1.1\r\nHost: x\r", "\n", "\r", "\nXX"},
                                             {"GET /a HTTP/1.1\r\nHost: x\r\n\r", "\nXX"}}) {
    RequestReader reader;
    EXPECT_EQ(feed(reader, pieces), ReadProgress::complete);
    EXPECT_EQ(reader.text, "GET /a HTTP/1.1\r\nHost: x\r\n\r\n");
  }
  RequestReader bare;
  EXPECT_EQ(feed(bare, {"GET /a HTTP/1.0\n", "\n"}), ReadProgress::complete);
}

TEST(RequestReader, BodyIsWaitedForAndCutToItsLength) {
  RequestReader reader;
  EXPECT_EQ(feed(reader, {"POST /fwk HTTP/1.1\r\nContent-Length: 11\r\n\r\n", "hello"}),
            ReadProgress::more);
  EXPECT_FALSE(reader_ends_by_silence(reader));
  EXPECT_EQ(reader_at_close(reader), ClosedRequest::cut_short);
  EXPECT_EQ(feed(reader, {" worldEXTRA"}), ReadProgress::complete);
  EXPECT_EQ(reader.text, "POST /fwk HTTP/1.1\r\nContent-Length: 11\r\n\r\nhello world");
}

TEST(RequestReader, OnlySilenceOrCloseEndsAPostWithoutLength) {
  // A connection opened ahead of its request is not answered by silence,
  // only when its client closes it without asking anything.
  RequestReader nothing;
  EXPECT_FALSE(reader_ends_by_silence(nothing));
  EXPECT_EQ(reader_at_close(nothing), ClosedRequest::complete);

  RequestReader post;
  EXPECT_EQ(feed(post, {"POST /fwk HTTP/1.0\r\n\r\na=1&b=2"}), ReadProgress::more);
  EXPECT_TRUE(reader_ends_by_silence(post));
  EXPECT_EQ(reader_at_close(post), ClosedRequest::complete);
}

TEST(RequestReader, AHalfHeaderBlockIsNeverEndedBySilence) {
  RequestReader reader;
  EXPECT_EQ(feed(reader, {"POST /fwk HTTP/1.1\r\nContent-Length: 8\r\n"}), ReadProgress::more);
  EXPECT_FALSE(reader_ends_by_silence(reader));
  EXPECT_FALSE(reader_header_ended(reader));
  // A client that closes mid-header is served what it sent.
  EXPECT_EQ(reader_at_close(reader), ClosedRequest::complete);
}

TEST(RequestReader, TooLargeByAnnouncementOrByBytes) {
  RequestReader announced;
  EXPECT_EQ(feed(announced, {"POST / HTTP/1.1\r\nContent-Length: 2000000\r\n\r\nstart"}),
            ReadProgress::too_large);
  RequestReader sent;
  std::string block(64 * 1024, 'x');
  ReadProgress progress = ReadProgress::more;
  size_t total = 0;
  while (progress == ReadProgress::more && total <= kRequestLimit + block.size()) {
    progress = reader_take(sent, block.data(), block.size());
    total += block.size();
  }
  EXPECT_EQ(progress, ReadProgress::too_large);
  EXPECT_LE(total, kRequestLimit + block.size());
}

TEST(RequestReader, BodiesWhoseEndCannotBeToldAreRefusedAtOnce) {
  RequestReader bad;
  EXPECT_EQ(feed(bad, {"POST /fwk HTTP/1.1\r\nContent-Length: ten\r\n\r\n"}),
            ReadProgress::bad_length);
  RequestReader chunked;
  EXPECT_EQ(feed(chunked, {"POST /fwk HTTP/1.1\r\nTransfer-Encoding: chunked\r\n", "\r\n5\r\n"}),
            ReadProgress::length_required);
}

TEST(RequestReader, AsksForContinueOnlyWhileABodyIsAwaited) {
  RequestReader waiting;
  feed(waiting, {"POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n"});
  EXPECT_TRUE(waiting.wants_continue);
  RequestReader whole;
  feed(whole, {"POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\na=1"});
  EXPECT_FALSE(whole.wants_continue);
}

}  // namespace
}  // namespace fwk
