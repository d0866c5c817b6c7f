// The IPP printer's HTTP side: heads parsed and judged as clients (CUPS,
// Windows, a web page) send them, and chunked bodies decoded in pieces of
// every size.
#include <gtest/gtest.h>

#include <string>

#include "ipp/http_request.h"

namespace {

const char kPath[] = "/ipp/print";

struct Judged {
  HttpHeadResult result;
  int status;
};

Judged Judge(const std::string& head) {
  HttpRequestHead parsed;
  size_t length = 0;
  HttpHeadResult result = ParseHttpHead(head.data(), head.size(), &parsed, &length);
  return {result, result == kHttpHeadComplete ? JudgeHttpRequest(&parsed, kPath) : -1};
}

TEST(HttpRequestTest, OnlyIppFromALoopbackClientWithoutAnOriginIsTaken) {
  const std::string ipp = "Content-Type: application/ipp\r\n";
  const struct {
    std::string head;
    HttpHeadResult result;
    int status;
  } cases[] = {
      {"POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1:8631\r\n" + ipp + "Content-Length: 9\r\n\r\n", kHttpHeadComplete,
       0},
      {"POST /ipp/print HTTP/1.1\r\nHost: localhost\r\n" + ipp + "Transfer-Encoding: chunked\r\n\r\n",
       kHttpHeadComplete, 0},
      {"POST / HTTP/1.1\r\nHOST: [::1]:8631\r\ncontent-type: Application/IPP; charset=x\r\nContent-Length: 0\r\n\r\n",
       kHttpHeadComplete, 0},
      {"POST /ipp/print HTTP/1.0\r\n" + ipp + "Content-Length: 9\r\n\r\n", kHttpHeadComplete, 0},
      {"POST /ipp/print HTTP/1.1\r\n" + ipp + "Content-Length: 9\r\n\r\n", kHttpHeadComplete, 400},  // no Host
      {"POST /ipp/print HTTP/1.1\r\nHost: evil.example:8631\r\n" + ipp + "Content-Length: 9\r\n\r\n", kHttpHeadComplete,
       403},  // a DNS name rebound to 127.0.0.1
      {"POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1.evil.example\r\n" + ipp + "Content-Length: 9\r\n\r\n",
       kHttpHeadComplete, 403},
      {"POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\nOrigin: http://evil.example\r\n" + ipp +
           "Content-Length: 9\r\n\r\n",
       kHttpHeadComplete, 403},
      {"POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n\r\n",
       kHttpHeadComplete, 415},  // what a page's form can send
      {"POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 9\r\n\r\n", kHttpHeadComplete, 415},
      {"GET /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", kHttpHeadComplete, 404},
      {"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", kHttpHeadComplete, 0},  // the printer's page
      {"GET /icon.png HTTP/1.1\r\nHost: localhost:8631\r\n\r\n", kHttpHeadComplete, 0},
      {"GET /icon.png HTTP/1.1\r\nHost: evil.example\r\n\r\n", kHttpHeadComplete, 403},
      {"GET /icon.pngx HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", kHttpHeadComplete, 404},
      {"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 3\r\n\r\n", kHttpHeadComplete, 400},
      {"PUT / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", kHttpHeadComplete, 405},
      {"POST /other HTTP/1.1\r\nHost: 127.0.0.1\r\n" + ipp + "Content-Length: 9\r\n\r\n", kHttpHeadComplete, 404},
      {"POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\n" + ipp + "\r\n", kHttpHeadComplete, 411},
      {"POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\n" + ipp +
           "Content-Length: 9\r\nTransfer-Encoding: chunked\r\n\r\n",
       kHttpHeadComplete, 400},
      {"POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\n" + ipp + "Transfer-Encoding: gzip, chunked\r\n\r\n",
       kHttpHeadComplete, 400},
      {"POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\n" + ipp + "Expect: 200-ok\r\nContent-Length: 1\r\n\r\n",
       kHttpHeadComplete, 417},
      {"POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\nHost: 127.0.0.1\r\n\r\n", kHttpHeadMalformed, -1},
      {"POST /ipp/print HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", kHttpHeadMalformed, -1},
      {"POST /ipp/print HTTP/1.1\r\nContent-Length: -1\r\n\r\n", kHttpHeadMalformed, -1},
      {"POST /ipp/print HTTP/1.1\r\nX: a\r\n b\r\n\r\n", kHttpHeadMalformed, -1},  // a folded line
      {"POST /ipp/print HTTP/1.1\nHost: x\n\n", kHttpHeadMalformed, -1},
      {"POST /ipp/print HTTP/2.0\r\n\r\n", kHttpHeadMalformed, -1},
      {"POST  /ipp/print HTTP/1.1\r\n\r\n", kHttpHeadMalformed, -1},
      {"\r\n", kHttpHeadMalformed, -1},
      {"POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\n", kHttpHeadNeedMore, -1},
      {"POST /ipp/print HTTP/1.1\r", kHttpHeadNeedMore, -1},
      {"POST /ipp/print HTTP/1.1\r\nX: " + std::string(9000, 'x'), kHttpHeadTooLarge, -1},
  };
  for (const auto& c : cases) {
    Judged judged = Judge(c.head);
    EXPECT_EQ(c.result, judged.result) << c.head;
    EXPECT_EQ(c.status, judged.status) << c.head;
  }
}

TEST(HttpRequestTest, TheHeadSaysHowTheBodyComesAndWhetherTheConnectionStays) {
  std::string head =
      "POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\nExpect: 100-continue\r\nConnection: Keep-Alive, x\r\n"
      "Content-Length: 1234\r\n\r\n";
  std::string request = head + "IPP-BYTES";
  HttpRequestHead parsed;
  size_t length = 0;
  ASSERT_EQ(kHttpHeadComplete, ParseHttpHead(request.data(), request.size(), &parsed, &length));
  EXPECT_EQ(head.size(), length);
  EXPECT_TRUE(parsed.expectContinue);
  EXPECT_TRUE(parsed.keepAlive);
  EXPECT_EQ(1234u, parsed.contentLength);
  std::string closing = "POST / HTTP/1.1\r\nConnection: close\r\n\r\n";
  ASSERT_EQ(kHttpHeadComplete, ParseHttpHead(closing.data(), closing.size(), &parsed, &length));
  EXPECT_FALSE(parsed.keepAlive);
  std::string old = "POST / HTTP/1.0\r\n\r\n";
  ASSERT_EQ(kHttpHeadComplete, ParseHttpHead(old.data(), old.size(), &parsed, &length));
  EXPECT_FALSE(parsed.keepAlive);
  for (const char* host : {"127.0.0.1", "LOCALHOST:631", "[::1]:8631"}) EXPECT_TRUE(IsLoopbackHost(host)) << host;
  for (const char* host : {"127.0.0.2", "localhost.", "localhost:", "[::1]:123456", "::1", "", "127.0.0.1:80x"})
    EXPECT_FALSE(IsLoopbackHost(host)) << host;
}

std::string DecodeInPieces(const std::string& wire, size_t piece, size_t room, ChunkedBody* body) {
  StartChunkedBody(body);
  std::string decoded;
  size_t at = 0;
  while (at < wire.size() && !body->done && !body->failed) {
    size_t size = wire.size() - at < piece ? wire.size() - at : piece;
    uint8_t out[64];
    size_t produced = 0;
    size_t taken = DecodeChunkedBody(body, reinterpret_cast<const uint8_t*>(wire.data() + at), size, out,
                                     room < sizeof out ? room : sizeof out, &produced);
    decoded.append(reinterpret_cast<char*>(out), produced);
    if (taken == 0 && produced == 0) break;
    at += taken;
  }
  return decoded;
}

TEST(HttpRequestTest, ChunkedBodiesDecodeInPiecesOfAnySize) {
  const std::string wire = "4\r\nWiki\r\n5;name=value\r\npedia\r\nE\r\n in\r\n\r\nchunks.\r\n0\r\nX-Trailer: 1\r\n\r\n";
  for (size_t piece : {1u, 2u, 3u, 7u, 64u})
    for (size_t room : {1u, 5u, 64u}) {
      ChunkedBody body;
      EXPECT_EQ("Wikipedia in\r\n\r\nchunks.", DecodeInPieces(wire, piece, room, &body)) << piece << " " << room;
      EXPECT_TRUE(body.done);
      EXPECT_FALSE(body.failed);
    }
  const std::string bad[] = {"x\r\n",
                             "4\r\nWikiX\r\n",
                             "4\nWiki\r\n0\r\n\r\n",
                             "1234567890abcdef0\r\n",
                             "4;" + std::string(300, 'e') + "\r\n",
                             "0\r\nX: " + std::string(300, 't') + "\r\n\r\n",
                             "\r\n"};
  for (const std::string& wireBad : bad) {
    ChunkedBody body;
    DecodeInPieces(wireBad, 3, 64, &body);
    EXPECT_TRUE(body.failed) << wireBad.substr(0, 40);
    EXPECT_FALSE(body.done);
  }
  ChunkedBody unfinished;
  EXPECT_EQ("Wiki", DecodeInPieces("4\r\nWiki\r\n5\r\npe", 4, 64, &unfinished).substr(0, 4));
  EXPECT_FALSE(unfinished.done || unfinished.failed) << "a body cut off is neither done nor wrong yet";
}

}  // namespace
