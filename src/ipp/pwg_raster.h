// PWG raster (PWG 5102.4) read as it streams in: a page header of 1796
// bytes, then lines packed by line repeats and pixel runs. Each line is
// given whole to a callback with how many times it repeats, so a page of
// any size needs one line of memory. Built without the Windows headers.
#ifndef TOLLIVANE_IPP_PWG_RASTER_H
#define TOLLIVANE_IPP_PWG_RASTER_H

#include <stddef.h>
#include <stdint.h>

const size_t kPwgSyncSize = 4;  // "RaS2"
const size_t kPwgHeaderSize = 1796;
const uint32_t kPwgMaxLineBytes = 1024 * 1024;

enum PwgColorSpace : uint32_t {
  kPwgBlack = 3,   // 1 bit, 1 = black
  kPwgSgray = 18,  // 8 bits, 255 = white
  kPwgSrgb = 19,   // 8 bits a colour
};

struct PwgPage {
  uint32_t width;
  uint32_t height;
  uint32_t bitsPerColor;
  uint32_t bitsPerPixel;
  uint32_t bytesPerLine;
  uint32_t colorSpace;
  uint32_t xdpi;
  uint32_t ydpi;
};

bool IsPwgSync(const uint8_t* bytes, size_t size);

// False for a header this printer does not print: another colour space or
// depth than it advertises, sizes that do not agree, or lines too long.
bool ReadPwgPage(const uint8_t* header, PwgPage* page);

// The lines of one page, decoded from the bytes that follow its header.
struct PwgLines {
  const PwgPage* page;
  uint8_t* line;  // bytesPerLine, the caller's
  bool (*emit)(void* context, const uint8_t* line, uint32_t repeat);
  void* context;
  int state;
  uint32_t linesDone;
  uint32_t repeat;
  uint32_t at;    // bytes of the line filled
  uint32_t left;  // pixels still to come of a run
  uint8_t pixel[8];
  uint32_t pixelAt;
  bool failed;
};

void StartPwgLines(PwgLines* lines, const PwgPage* page, uint8_t* line,
                   bool (*emit)(void* context, const uint8_t* line, uint32_t repeat), void* context);

// Takes what it can of `bytes`: returns how many it used. The page is done
// when linesDone reaches its height; `failed` on a malformed page.
size_t DecodePwgLines(PwgLines* lines, const uint8_t* bytes, size_t size);

#endif
