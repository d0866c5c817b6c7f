// A line starts with its repeat count less one. Then runs until the line is
// full: a byte of 0 to 127 repeats the next pixel that many times plus one,
// 129 to 255 is followed by 257 less it pixels as they are, and 128 fills
// the rest of the line with white.
#include "ipp/pwg_raster.h"

namespace {

enum LineState { kRepeatCount, kRunControl, kRepeatedPixel, kLiteralPixels };

uint32_t Read32(const uint8_t* at) {
  return (static_cast<uint32_t>(at[0]) << 24) | (static_cast<uint32_t>(at[1]) << 16) |
         (static_cast<uint32_t>(at[2]) << 8) | at[3];
}

uint32_t PixelBytes(const PwgPage* page) { return page->bitsPerPixel < 8 ? 1 : page->bitsPerPixel / 8; }

uint8_t White(const PwgPage* page) { return page->colorSpace == kPwgBlack ? 0x00 : 0xFF; }

bool Fail(PwgLines* lines) {
  lines->failed = true;
  return false;
}

// The line is full: it goes out `repeat` times.
bool EndLine(PwgLines* lines) {
  uint32_t repeat = lines->repeat;
  if (repeat > lines->page->height - lines->linesDone) return Fail(lines);
  if (!lines->emit(lines->context, lines->line, repeat)) return Fail(lines);
  lines->linesDone += repeat;
  lines->at = 0;
  lines->state = kRepeatCount;
  return true;
}

bool PutPixel(PwgLines* lines, const uint8_t* pixel, uint32_t size) {
  if (lines->at + size > lines->page->bytesPerLine) return Fail(lines);
  for (uint32_t i = 0; i < size; ++i) lines->line[lines->at + i] = pixel[i];
  lines->at += size;
  return true;
}

}  // namespace

bool IsPwgSync(const uint8_t* bytes, size_t size) {
  return size >= kPwgSyncSize && bytes[0] == 'R' && bytes[1] == 'a' && bytes[2] == 'S' && bytes[3] == '2';
}

bool ReadPwgPage(const uint8_t* header, PwgPage* page) {
  page->xdpi = Read32(header + 276);
  page->ydpi = Read32(header + 280);
  page->width = Read32(header + 372);
  page->height = Read32(header + 376);
  page->bitsPerColor = Read32(header + 384);
  page->bitsPerPixel = Read32(header + 388);
  page->bytesPerLine = Read32(header + 392);
  page->colorSpace = Read32(header + 400);
  bool known = (page->colorSpace == kPwgBlack && page->bitsPerColor == 1 && page->bitsPerPixel == 1) ||
               (page->colorSpace == kPwgSgray && page->bitsPerColor == 8 && page->bitsPerPixel == 8) ||
               (page->colorSpace == kPwgSrgb && page->bitsPerColor == 8 && page->bitsPerPixel == 24);
  uint64_t lineBytes = (static_cast<uint64_t>(page->width) * page->bitsPerPixel + 7) / 8;
  return known && page->width > 0 && page->height > 0 && page->xdpi > 0 && page->ydpi > 0 && page->xdpi <= 9600 &&
         page->ydpi <= 9600 && lineBytes == page->bytesPerLine && page->bytesPerLine <= kPwgMaxLineBytes &&
         page->height <= 1000000;
}

void StartPwgLines(PwgLines* lines, const PwgPage* page, uint8_t* line,
                   bool (*emit)(void* context, const uint8_t* line, uint32_t repeat), void* context) {
  *lines = PwgLines{};
  lines->page = page;
  lines->line = line;
  lines->emit = emit;
  lines->context = context;
  lines->state = kRepeatCount;
}

size_t DecodePwgLines(PwgLines* lines, const uint8_t* bytes, size_t size) {
  const PwgPage* page = lines->page;
  uint32_t pixelSize = PixelBytes(page);
  size_t used = 0;
  while (used < size && !lines->failed && lines->linesDone < page->height) {
    uint8_t byte = bytes[used++];
    switch (lines->state) {
      case kRepeatCount:
        lines->repeat = static_cast<uint32_t>(byte) + 1;
        lines->state = kRunControl;
        break;
      case kRunControl:
        lines->pixelAt = 0;
        if (byte == 128) {
          while (lines->at < page->bytesPerLine) lines->line[lines->at++] = White(page);
          EndLine(lines);
        } else if (byte < 128) {
          lines->left = static_cast<uint32_t>(byte) + 1;
          lines->state = kRepeatedPixel;
        } else {
          lines->left = 257u - byte;
          lines->state = kLiteralPixels;
        }
        break;
      case kRepeatedPixel:
        lines->pixel[lines->pixelAt++] = byte;
        if (lines->pixelAt < pixelSize) break;
        for (; lines->left > 0 && !lines->failed; --lines->left) PutPixel(lines, lines->pixel, pixelSize);
        lines->state = kRunControl;
        break;
      case kLiteralPixels:
        lines->pixel[lines->pixelAt++] = byte;
        if (lines->pixelAt < pixelSize) break;
        lines->pixelAt = 0;
        if (!PutPixel(lines, lines->pixel, pixelSize)) break;
        if (--lines->left == 0) lines->state = kRunControl;
        break;
    }
    if (!lines->failed && lines->state == kRunControl && lines->at == page->bytesPerLine) EndLine(lines);
  }
  return used;
}
