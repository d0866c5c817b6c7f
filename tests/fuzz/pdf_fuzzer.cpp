// A PDF a client sends with page-ranges: whatever its bytes, keeping its
// pages reads nothing outside them, writes what it writes through the sink
// and gives back all the memory it took.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "ipp/pdf_pages.h"

namespace {

struct Input {
  const uint8_t* data;
  size_t size;
};

int blocks = 0;

bool ReadInput(void* context, uint64_t offset, uint8_t* bytes, size_t size) {
  const Input* input = static_cast<const Input*>(context);
  if (offset > input->size || size > input->size - offset) abort();
  memcpy(bytes, input->data + offset, size);
  return true;
}

void* Take(size_t size) {
  ++blocks;
  return malloc(size);
}

void Give(void* block) {
  --blocks;
  free(block);
}

bool Discard(void*, const uint8_t*, size_t) { return true; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input = {data, size};
  PdfInput in = {ReadInput, &input, size, Take, Give};
  PdfSink out = {Discard, nullptr, size, false, nullptr, 0, 0};
  PageRanges ranges = {2, {1, 3}, {1, 5}};
  uint32_t kept = 0;
  PdfPagesResult result = KeepPdfPages(&in, &ranges, &out, &kept);
  if (blocks != 0 || (result == kPdfPagesKept) != (kept > 0) || (result != kPdfPagesKept && out.written != size))
    abort();
  return 0;
}
