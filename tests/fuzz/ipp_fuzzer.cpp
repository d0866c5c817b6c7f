// What the IPP printer parses from any local client: the HTTP head, a
// chunked body and the IPP request in it. Nothing may read past its input or
// write past its buffers, and what is decoded must hold together.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "ipp/http_request.h"
#include "ipp/ipp_codec.h"
#include "ipp/pdf_writer.h"
#include "ipp/pwg_raster.h"

namespace {

IppRequest request;
char text[64];

void CheckRequest(const uint8_t* data, size_t size) {
  if (DecodeIppRequest(data, size, &request) != kIppDecoded) return;
  if (request.dataOffset > size || request.attributeCount > kIppMaxAttributes || request.valueCount > kIppMaxValues)
    abort();
  for (int i = 0; i < request.attributeCount; ++i) {
    const IppAttribute& attribute = request.attributes[i];
    if (attribute.firstValue + attribute.valueCount > request.valueCount) abort();
    for (int v = 0; v < attribute.valueCount; ++v) {
      const IppValue& value = request.values[attribute.firstValue + v];
      if (value.bytes < data || value.bytes + value.length > data + size) abort();
      int32_t number = 0;
      bool truth = false;
      IppValueText(&value, text, sizeof text);
      IppValueInteger(&value, &number);
      IppValueBoolean(&value, &truth);
    }
  }
  FindIppAttribute(&request, 0, "printer-uri");
}

void CheckChunked(const uint8_t* data, size_t size) {
  ChunkedBody body;
  StartChunkedBody(&body);
  uint8_t out[37];
  size_t at = 0;
  while (at < size && !body.done && !body.failed) {
    size_t piece = size - at < 13 ? size - at : 13;
    size_t produced = 0;
    size_t taken = DecodeChunkedBody(&body, data + at, piece, out, sizeof out, &produced);
    if (taken > piece || produced > sizeof out) abort();
    if (taken == 0 && produced == 0) break;
    at += taken;
  }
}

bool CountLine(void* context, const uint8_t*, uint32_t repeat) {
  *static_cast<uint64_t*>(context) += repeat;
  return true;
}

// A raster page: the header's sizes are the input's first bytes, the packed
// lines follow; no line may be written past its end.
void CheckRaster(const uint8_t* data, size_t size) {
  JpegFacts facts;
  ReadJpegFacts(data, size, &facts);
  if (size < kPwgHeaderSize) return;
  PwgPage page;
  if (!ReadPwgPage(data, &page) || page.bytesPerLine > 4096 || page.height > 4096) return;
  static uint8_t line[4096];
  uint64_t lines = 0;
  PwgLines decoder;
  StartPwgLines(&decoder, &page, line, CountLine, &lines);
  size_t used = DecodePwgLines(&decoder, data + kPwgHeaderSize, size - kPwgHeaderSize);
  if (used > size - kPwgHeaderSize || lines > page.height) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HttpRequestHead head;
  size_t headLength = 0;
  if (ParseHttpHead(reinterpret_cast<const char*>(data), size, &head, &headLength) == kHttpHeadComplete) {
    if (headLength > size) abort();
    JudgeHttpRequest(&head, "/ipp/print");
    if (head.chunked) CheckChunked(data + headLength, size - headLength);
  }
  char host[kHttpHostSize];
  size_t hostLength = size < sizeof host - 1 ? size : sizeof host - 1;
  for (size_t i = 0; i < hostLength; ++i) host[i] = static_cast<char>(data[i]);
  host[hostLength] = '\0';
  IsLoopbackHost(host);
  CheckRequest(data, size);
  CheckChunked(data, size);
  CheckRaster(data, size);
  return 0;
}
