// PWG raster lines decoded from their packed form, in pieces of any size,
// and headers this printer does not print refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipp/pwg_raster.h"

namespace {

void Put32(std::vector<uint8_t>* header, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*header)[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

std::vector<uint8_t> Header(uint32_t width, uint32_t height, uint32_t space, uint32_t bitsPerColor,
                            uint32_t bitsPerPixel, uint32_t bytesPerLine) {
  std::vector<uint8_t> header(kPwgHeaderSize, 0);
  Put32(&header, 276, 150);
  Put32(&header, 280, 150);
  Put32(&header, 372, width);
  Put32(&header, 376, height);
  Put32(&header, 384, bitsPerColor);
  Put32(&header, 388, bitsPerPixel);
  Put32(&header, 392, bytesPerLine);
  Put32(&header, 400, space);
  return header;
}

struct Collected {
  std::vector<std::string> lines;
};

bool Collect(void* context, const uint8_t* line, uint32_t repeat) {
  Collected* collected = static_cast<Collected*>(context);
  for (uint32_t i = 0; i < repeat; ++i) collected->lines.push_back(std::string(line, line + 6));
  return true;
}

TEST(PwgRasterTest, HeadersOfThePrintersKindsOnlyAreTaken) {
  PwgPage page;
  EXPECT_TRUE(ReadPwgPage(Header(6, 3, kPwgSrgb, 8, 24, 18).data(), &page));
  EXPECT_EQ(6u, page.width);
  EXPECT_EQ(150u, page.xdpi);
  EXPECT_TRUE(ReadPwgPage(Header(6, 3, kPwgSgray, 8, 8, 6).data(), &page));
  EXPECT_TRUE(ReadPwgPage(Header(9, 3, kPwgBlack, 1, 1, 2).data(), &page));
  EXPECT_FALSE(ReadPwgPage(Header(6, 3, kPwgSrgb, 8, 24, 17).data(), &page)) << "a line length that disagrees";
  EXPECT_FALSE(ReadPwgPage(Header(6, 3, kPwgSrgb, 16, 48, 36).data(), &page)) << "a depth not advertised";
  EXPECT_FALSE(ReadPwgPage(Header(6, 3, 6, 8, 32, 24).data(), &page)) << "CMYK";
  EXPECT_FALSE(ReadPwgPage(Header(0, 3, kPwgSgray, 8, 8, 0).data(), &page));
  EXPECT_FALSE(ReadPwgPage(Header(2000000, 3, kPwgSrgb, 8, 24, 6000000).data(), &page)) << "a line too long";
  const uint8_t sync[] = {'R', 'a', 'S', '2'};
  EXPECT_TRUE(IsPwgSync(sync, 4));
  EXPECT_FALSE(IsPwgSync(sync, 3));
}

TEST(PwgRasterTest, PackedLinesComeOutWholeInPiecesOfAnySize) {
  PwgPage page;
  ASSERT_TRUE(ReadPwgPage(Header(6, 4, kPwgSgray, 8, 8, 6).data(), &page));
  // line 1, twice: 3 x 0x11 then literal 22 33 44; line 2: white to the end
  // after one 0x55; line 3: six literals.
  const std::vector<uint8_t> packed = {1, 2, 0x11, 0xFE, 0x22, 0x33, 0x44, 0, 0, 0x55, 128, 0, 0xFB, 1, 2, 3, 4, 5, 6};
  for (size_t piece : {1u, 2u, 5u, 64u}) {
    Collected collected;
    uint8_t line[6];
    PwgLines lines;
    StartPwgLines(&lines, &page, line, Collect, &collected);
    size_t at = 0;
    while (at < packed.size() && lines.linesDone < page.height && !lines.failed) {
      size_t size = packed.size() - at < piece ? packed.size() - at : piece;
      at += DecodePwgLines(&lines, packed.data() + at, size);
    }
    EXPECT_FALSE(lines.failed) << piece;
    EXPECT_EQ(4u, lines.linesDone) << piece;
    EXPECT_EQ(packed.size(), at) << piece;
    ASSERT_EQ(4u, collected.lines.size());
    EXPECT_EQ(std::string("\x11\x11\x11\x22\x33\x44"), collected.lines[0]);
    EXPECT_EQ(collected.lines[0], collected.lines[1]);
    EXPECT_EQ(std::string("\x55\xFF\xFF\xFF\xFF\xFF"), collected.lines[2]);
    EXPECT_EQ(std::string("\x01\x02\x03\x04\x05\x06"), collected.lines[3]);
  }
  const std::vector<uint8_t> bad[] = {
      {0, 6, 0x11},                    // a run past the line's end
      {0, 0xF9, 1, 2, 3, 4, 5, 6, 7},  // literals past the line's end
      {9, 128},                        // more lines repeated than the page has
  };
  for (const auto& wrong : bad) {
    Collected collected;
    uint8_t line[6];
    PwgLines lines;
    StartPwgLines(&lines, &page, line, Collect, &collected);
    DecodePwgLines(&lines, wrong.data(), wrong.size());
    EXPECT_TRUE(lines.failed) << (&wrong - bad);
  }
}

}  // namespace
