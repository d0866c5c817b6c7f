// A request and its header lines end in CRLF; a line folded onto the next
// (obsolete in HTTP/1.1), a second Content-Length, or a Content-Length
// together with chunked encoding is refused: each is a way to make two
// readers see two different requests.
#include "ipp/http_request.h"

namespace {

enum ChunkState {
  kChunkSize,
  kChunkExtension,
  kChunkSizeLineEnd,
  kChunkData,
  kChunkDataEnd,
  kChunkDataLineEnd,
  kChunkTrailer,
  kChunkTrailerLineEnd,
};

const int kMaxChunkDigits = 15;
const int kMaxChunkLine = 256;
const int kMaxHeaderLines = 64;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool SameIgnoringCase(const char* a, size_t aLength, const char* b) {
  size_t i = 0;
  for (; i < aLength && b[i] != '\0'; ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return i == aLength && b[i] == '\0';
}

bool StartsIgnoringCase(const char* text, size_t length, const char* prefix) {
  size_t i = 0;
  for (; prefix[i] != '\0'; ++i)
    if (i >= length || Lower(text[i]) != Lower(prefix[i])) return false;
  return true;
}

bool CopyText(const char* text, size_t length, char* out, size_t size) {
  if (length >= size) return false;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '\0') return false;
    out[i] = text[i];
  }
  out[length] = '\0';
  return true;
}

bool IsTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '!' || c == '#' || c == '$' || c == '%' || c == '&' || c == '\'' || c == '*' || c == '+' || c == '.' ||
         c == '^' || c == '`' || c == '|' || c == '~';
}

bool ParseDecimal(const char* text, size_t length, uint64_t* value) {
  *value = 0;
  if (length == 0 || length > 18) return false;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    *value = *value * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  return true;
}

// Does a comma-separated header value hold `token`?
bool ListHolds(const char* value, size_t length, const char* token) {
  size_t at = 0;
  while (at < length) {
    while (at < length && (value[at] == ' ' || value[at] == '\t' || value[at] == ',')) ++at;
    size_t start = at;
    while (at < length && value[at] != ',' && value[at] != ' ' && value[at] != '\t') ++at;
    if (at > start && SameIgnoringCase(value + start, at - start, token)) return true;
    while (at < length && value[at] != ',') ++at;
  }
  return false;
}

bool ParseRequestLine(const char* line, size_t length, HttpRequestHead* head) {
  size_t at = 0;
  while (at < length && IsTokenChar(line[at])) ++at;
  if (at == 0 || at >= length || line[at] != ' ') return false;
  head->method = SameIgnoringCase(line, at, "POST")  ? kHttpPost
                 : SameIgnoringCase(line, at, "GET") ? kHttpGet
                                                     : kHttpOtherMethod;
  size_t targetStart = ++at;
  while (at < length && line[at] != ' ') ++at;
  if (at == targetStart || at >= length ||
      !CopyText(line + targetStart, at - targetStart, head->target, kHttpTargetSize))
    return false;
  ++at;
  if (length - at != 8 || !StartsIgnoringCase(line + at, 8, "HTTP/1.") || (line[at + 7] != '0' && line[at + 7] != '1'))
    return false;
  head->minorVersion = line[at + 7] - '0';
  head->keepAlive = head->minorVersion == 1;
  return true;
}

bool ParseHeaderLine(const char* line, size_t length, HttpRequestHead* head) {
  size_t colon = 0;
  while (colon < length && IsTokenChar(line[colon])) ++colon;
  if (colon == 0 || colon >= length || line[colon] != ':') return false;
  size_t start = colon + 1;
  while (start < length && (line[start] == ' ' || line[start] == '\t')) ++start;
  size_t end = length;
  while (end > start && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
  for (size_t i = start; i < end; ++i)
    if (line[i] == '\0' || line[i] == '\r' || line[i] == '\n') return false;
  const char* value = line + start;
  size_t valueLength = end - start;
  if (SameIgnoringCase(line, colon, "content-length")) {
    if (head->hasContentLength) return false;
    head->hasContentLength = true;
    return ParseDecimal(value, valueLength, &head->contentLength);
  }
  if (SameIgnoringCase(line, colon, "transfer-encoding")) {
    if (SameIgnoringCase(value, valueLength, "chunked") && !head->chunked)
      head->chunked = true;
    else
      head->otherTransferEncoding = true;
    return true;
  }
  if (SameIgnoringCase(line, colon, "expect")) {
    if (SameIgnoringCase(value, valueLength, "100-continue"))
      head->expectContinue = true;
    else
      head->otherExpectation = true;
    return true;
  }
  if (SameIgnoringCase(line, colon, "connection")) {
    if (ListHolds(value, valueLength, "close")) head->keepAlive = false;
    if (ListHolds(value, valueLength, "keep-alive")) head->keepAlive = true;
    return true;
  }
  if (SameIgnoringCase(line, colon, "host")) {
    if (head->hasHost) return false;
    head->hasHost = true;
    return CopyText(value, valueLength, head->host, kHttpHostSize);
  }
  if (SameIgnoringCase(line, colon, "origin")) {
    head->hasOrigin = true;
    return true;
  }
  if (SameIgnoringCase(line, colon, "content-type")) {
    if (head->contentType[0] != '\0') return false;
    return CopyText(value, valueLength, head->contentType, kHttpContentTypeSize);
  }
  return true;
}

bool IsIppContentType(const char* type) {
  size_t length = 0;
  while (type[length] != '\0' && type[length] != ';' && type[length] != ' ') ++length;
  return SameIgnoringCase(type, length, "application/ipp");
}

int HexDigit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Fail(ChunkedBody* body) {
  body->failed = true;
  return false;
}

// One byte of the lines around the data; false when the body is malformed.
bool TakeLineByte(ChunkedBody* body, uint8_t c) {
  switch (body->state) {
    case kChunkSize:
      if (HexDigit(c) >= 0) {
        if (++body->digits > kMaxChunkDigits) return Fail(body);
        body->chunkLeft = body->chunkLeft * 16 + static_cast<uint64_t>(HexDigit(c));
        return true;
      }
      if (body->digits == 0) return Fail(body);
      if (c == '\r') {
        body->state = kChunkSizeLineEnd;
      } else if (c == ';' || c == ' ' || c == '\t') {
        body->state = kChunkExtension;
        body->lineLength = 0;
      } else {
        return Fail(body);
      }
      return true;
    case kChunkExtension:
      if (c == '\r') {
        body->state = kChunkSizeLineEnd;
        return true;
      }
      return c != '\n' && ++body->lineLength <= kMaxChunkLine ? true : Fail(body);
    case kChunkSizeLineEnd:
      if (c != '\n') return Fail(body);
      body->state = body->chunkLeft == 0 ? kChunkTrailer : kChunkData;
      body->lineLength = 0;
      body->lineEmpty = true;
      return true;
    case kChunkDataEnd:
      if (c != '\r') return Fail(body);
      body->state = kChunkDataLineEnd;
      return true;
    case kChunkDataLineEnd:
      if (c != '\n') return Fail(body);
      body->state = kChunkSize;
      body->digits = 0;
      body->chunkLeft = 0;
      return true;
    case kChunkTrailer:
      if (c == '\r') {
        body->state = kChunkTrailerLineEnd;
        return true;
      }
      body->lineEmpty = false;
      return c != '\n' && ++body->lineLength <= kMaxChunkLine ? true : Fail(body);
    case kChunkTrailerLineEnd:
      if (c != '\n') return Fail(body);
      if (body->lineEmpty) body->done = true;
      body->state = kChunkTrailer;
      body->lineLength = 0;
      body->lineEmpty = true;
      return true;
    default:
      return Fail(body);
  }
}

}  // namespace

HttpHeadResult ParseHttpHead(const char* bytes, size_t size, HttpRequestHead* head, size_t* headLength) {
  *head = HttpRequestHead{};
  *headLength = 0;
  size_t limit = size < kHttpMaxHeadBytes ? size : kHttpMaxHeadBytes;
  size_t lineStart = 0;
  int lines = 0;
  for (size_t at = 0; at + 1 < limit; ++at) {
    if (bytes[at] != '\r' || bytes[at + 1] != '\n') {
      if (bytes[at] == '\n' || bytes[at] == '\r') return kHttpHeadMalformed;
      continue;
    }
    size_t length = at - lineStart;
    if (length == 0) {
      if (lines == 0) return kHttpHeadMalformed;
      *headLength = at + 2;
      return kHttpHeadComplete;
    }
    const char* line = bytes + lineStart;
    if (++lines > kMaxHeaderLines) return kHttpHeadTooLarge;
    bool parsed = lines == 1 ? ParseRequestLine(line, length, head) : ParseHeaderLine(line, length, head);
    if (!parsed) return kHttpHeadMalformed;
    lineStart = at + 2;
    ++at;
  }
  return size >= kHttpMaxHeadBytes ? kHttpHeadTooLarge : kHttpHeadNeedMore;
}

bool IsLoopbackHost(const char* host) {
  const char* names[] = {"127.0.0.1", "localhost", "[::1]"};
  for (const char* name : names) {
    size_t length = 0;
    while (name[length] != '\0') ++length;
    if (!StartsIgnoringCase(host, length, name)) continue;
    const char* rest = host + length;
    if (*rest == '\0') return true;
    if (*rest != ':' || rest[1] == '\0') continue;
    bool digits = true;
    int count = 0;
    for (const char* at = rest + 1; *at != '\0'; ++at, ++count) digits = digits && *at >= '0' && *at <= '9';
    if (digits && count <= 5) return true;
  }
  return false;
}

int JudgeHttpRequest(const HttpRequestHead* head, const char* printerPath) {
  if (!head->hasHost && head->minorVersion == 1) return 400;
  if (head->hasHost && !IsLoopbackHost(head->host)) return 403;
  if (head->hasOrigin) return 403;
  if (head->otherTransferEncoding || (head->chunked && head->hasContentLength)) return 400;
  if (head->otherExpectation) return 417;
  if (head->method == kHttpGet) {
    if (head->chunked || (head->hasContentLength && head->contentLength > 0)) return 400;
    return HttpPageOf(head->target) != kHttpNoPage ? 0 : 404;
  }
  if (head->method != kHttpPost) return 405;
  size_t pathLength = 0;
  while (printerPath[pathLength] != '\0') ++pathLength;
  if (!SameIgnoringCase(head->target, pathLength, printerPath) || head->target[pathLength] != '\0') {
    bool root = head->target[0] == '/' && head->target[1] == '\0';
    if (!root) return 404;
  }
  if (!IsIppContentType(head->contentType)) return 415;
  if (!head->chunked && !head->hasContentLength) return 411;
  return 0;
}

HttpPage HttpPageOf(const char* target) {
  if (target[0] == '/' && target[1] == '\0') return kHttpStatusPage;
  const char icon[] = "/icon.png";
  for (size_t i = 0; i < sizeof icon; ++i)
    if (target[i] != icon[i]) return kHttpNoPage;
  return kHttpIconPage;
}

void StartChunkedBody(ChunkedBody* body) { *body = ChunkedBody{}; }

size_t DecodeChunkedBody(ChunkedBody* body, const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                         size_t* produced) {
  *produced = 0;
  size_t at = 0;
  while (at < inSize && !body->done && !body->failed) {
    if (body->state == kChunkData) {
      size_t take = inSize - at;
      if (take > body->chunkLeft) take = static_cast<size_t>(body->chunkLeft);
      if (take > outSize - *produced) take = outSize - *produced;
      if (take == 0) break;
      for (size_t i = 0; i < take; ++i) out[*produced + i] = in[at + i];
      *produced += take;
      at += take;
      body->chunkLeft -= take;
      if (body->chunkLeft == 0) body->state = kChunkDataEnd;
      continue;
    }
    if (!TakeLineByte(body, in[at])) break;
    ++at;
  }
  return at;
}
