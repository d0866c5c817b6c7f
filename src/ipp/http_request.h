// HTTP/1.1 requests as the IPP printer reads them: the head parsed from the
// bytes received, judged before any body is read, and a chunked body
// decoded piece by piece. Every size is bounded, and anything the rules do
// not expect is refused rather than guessed at. A web page in a browser can
// reach a loopback port too: only IPP's content type, only a loopback Host
// (a DNS name rebound to 127.0.0.1 is not one), and no Origin are taken.
// Built without the Windows headers, so host tests and the fuzzer drive it.
#ifndef TOLLIVANE_IPP_HTTP_REQUEST_H
#define TOLLIVANE_IPP_HTTP_REQUEST_H

#include <stddef.h>
#include <stdint.h>

const size_t kHttpMaxHeadBytes = 8192;
const int kHttpTargetSize = 256;
const int kHttpHostSize = 128;
const int kHttpContentTypeSize = 128;

enum HttpMethod {
  kHttpPost,
  kHttpGet,
  kHttpOtherMethod,
};

struct HttpRequestHead {
  HttpMethod method;
  int minorVersion;  // HTTP/1.<minorVersion>
  char target[kHttpTargetSize];
  bool hasContentLength;
  uint64_t contentLength;
  bool chunked;
  bool otherTransferEncoding;
  bool expectContinue;
  bool otherExpectation;
  bool keepAlive;  // what the client asked for, by version and Connection
  bool hasHost;
  char host[kHttpHostSize];
  bool hasOrigin;
  char contentType[kHttpContentTypeSize];
};

enum HttpHeadResult {
  kHttpHeadComplete,
  kHttpHeadNeedMore,
  kHttpHeadMalformed,
  kHttpHeadTooLarge,
};

// Parses the head at the start of `bytes`; its length, with the blank line
// that ends it, in `headLength`.
HttpHeadResult ParseHttpHead(const char* bytes, size_t size, HttpRequestHead* head, size_t* headLength);

// The status to answer a complete head with, before its body is read: 0 to
// go on with the request, an IPP POST to the printer or a GET of a page.
int JudgeHttpRequest(const HttpRequestHead* head, const char* printerPath);

// What a GET may fetch: the printer's page (printer-more-info) and its icon.
enum HttpPage {
  kHttpNoPage,
  kHttpStatusPage,
  kHttpIconPage,
};

HttpPage HttpPageOf(const char* target);

// True for "127.0.0.1", "localhost" and "[::1]", each with or without a port.
bool IsLoopbackHost(const char* host);

// A chunked body, decoded as it arrives.
struct ChunkedBody {
  int state;
  uint64_t chunkLeft;
  int digits;
  int lineLength;  // of a chunk extension or a trailer line
  bool lineEmpty;
  bool done;
  bool failed;
};

void StartChunkedBody(ChunkedBody* body);

// Consumes what it can of `in` and writes the body's bytes into `out`:
// returns how much of `in` it took; `produced` says how much it wrote. Stops
// at the end of the body (done) or on a malformed one (failed).
size_t DecodeChunkedBody(ChunkedBody* body, const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                         size_t* produced);

#endif
