// PDFs written as a stream: every cross-reference entry points at its
// object, and a JPEG's frame header is read from its first bytes, whatever
// comes before it.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "ipp/pdf_writer.h"

namespace {

std::vector<uint8_t> Jpeg(int components, uint16_t width, uint16_t height, bool exif, bool adobe) {
  std::vector<uint8_t> b = {0xFF, 0xD8};
  if (exif) {
    b.insert(b.end(), {0xFF, 0xE1, 0x10, 0x02});
    b.insert(b.end(), 0x1000, 0x45);
  }
  if (adobe) b.insert(b.end(), {0xFF, 0xEE, 0x00, 0x0E, 'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 2});
  b.insert(b.end(), {0xFF, 0xC0, 0x00, static_cast<uint8_t>(8 + 3 * components), 8, static_cast<uint8_t>(height >> 8),
                     static_cast<uint8_t>(height), static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width),
                     static_cast<uint8_t>(components)});
  for (int c = 0; c < components; ++c) b.insert(b.end(), {static_cast<uint8_t>(c + 1), 0x11, 0});
  b.insert(b.end(), {0xFF, 0xDA, 0x00, 0x02, 0x12, 0x34, 0xFF, 0xD9});
  return b;
}

TEST(PdfWriterTest, AJpegsFrameIsFoundOrTheJpegRefused) {
  JpegFacts facts;
  std::vector<uint8_t> gray = Jpeg(1, 640, 480, true, false);
  ASSERT_TRUE(ReadJpegFacts(gray.data(), gray.size(), &facts));
  EXPECT_EQ(640u, facts.width);
  EXPECT_EQ(480u, facts.height);
  EXPECT_EQ(1, facts.components);
  std::vector<uint8_t> cmyk = Jpeg(4, 10, 20, false, true);
  ASSERT_TRUE(ReadJpegFacts(cmyk.data(), cmyk.size(), &facts));
  EXPECT_TRUE(facts.adobe);
  EXPECT_EQ(4, facts.components);

  std::vector<uint8_t> cut(gray.begin(), gray.begin() + 100);
  EXPECT_FALSE(ReadJpegFacts(cut.data(), cut.size(), &facts)) << "the frame lies past the bytes";
  std::vector<uint8_t> twoComponents = Jpeg(2, 10, 10, false, false);
  EXPECT_FALSE(ReadJpegFacts(twoComponents.data(), twoComponents.size(), &facts));
  std::vector<uint8_t> zero = Jpeg(3, 0, 10, false, false);
  EXPECT_FALSE(ReadJpegFacts(zero.data(), zero.size(), &facts));
  const uint8_t pdf[] = "%PDF-1.4";
  EXPECT_FALSE(ReadJpegFacts(pdf, sizeof pdf, &facts));
  const uint8_t scanFirst[] = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0xFF, 0xC0};
  EXPECT_FALSE(ReadJpegFacts(scanFirst, sizeof scanFirst, &facts));
  const uint8_t runaway[] = {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFF};
  EXPECT_FALSE(ReadJpegFacts(runaway, sizeof runaway, &facts));
}

bool AppendToString(void* context, const uint8_t* bytes, size_t length) {
  static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes), length);
  return true;
}

struct Image {
  std::vector<uint8_t> bytes;
};

bool CopyImage(void* context, PdfSink* pdf) {
  const Image* image = static_cast<const Image*>(context);
  PutPdfBytes(pdf, image->bytes.data(), image->bytes.size());
  return true;
}

TEST(PdfWriterTest, AJpegBecomesAOnePagePdfWhoseTableFindsEveryObject) {
  Image image = {Jpeg(3, 1200, 600, false, false)};
  JpegFacts facts;
  ASSERT_TRUE(ReadJpegFacts(image.bytes.data(), image.bytes.size(), &facts));
  std::string file;
  uint64_t offsets[8];
  PdfSink pdf = {AppendToString, &file, 0, false, nullptr, 0, 0};
  StartPdf(&pdf, offsets, 8);
  ASSERT_TRUE(WriteJpegPdf(&pdf, &facts, 300, image.bytes.size(), CopyImage, &image));
  EXPECT_EQ(file.size(), pdf.written);
  EXPECT_EQ(0u, file.find("%PDF-1.5\n"));
  EXPECT_NE(std::string::npos, file.find(std::string(image.bytes.begin(), image.bytes.end()))) << "the JPEG as it came";
  EXPECT_NE(std::string::npos, file.find("/MediaBox [0 0 288.00 144.00]"));
  EXPECT_NE(std::string::npos, file.find("/ColorSpace /DeviceRGB"));
  size_t startxref = file.rfind("startxref\n");
  ASSERT_NE(std::string::npos, startxref);
  size_t table = static_cast<size_t>(strtoull(file.c_str() + startxref + 10, nullptr, 10));
  ASSERT_EQ(0u, file.compare(table, 5, "xref\n"));
  ASSERT_EQ(5, pdf.objects);
  for (int object = 1; object <= pdf.objects; ++object) {
    size_t entry = table + 5 + 2 + 1 + 20 + static_cast<size_t>(object - 1) * 20;  // "xref\n" "0 6\n" free entry
    size_t offset = static_cast<size_t>(strtoull(file.c_str() + entry, nullptr, 10));
    EXPECT_EQ(0u, file.compare(offset, std::to_string(object).size() + 6, std::to_string(object) + " 0 obj"))
        << "object " << object;
  }

  uint64_t few[3];
  std::string small;
  PdfSink full = {AppendToString, &small, 0, false, nullptr, 0, 0};
  StartPdf(&full, few, 3);
  EXPECT_FALSE(WriteJpegPdf(&full, &facts, 300, image.bytes.size(), CopyImage, &image)) << "no room for its objects";
  std::string lying;
  PdfSink wrongLength = {AppendToString, &lying, 0, false, nullptr, 0, 0};
  StartPdf(&wrongLength, offsets, 8);
  EXPECT_FALSE(WriteJpegPdf(&wrongLength, &facts, 300, image.bytes.size() + 1, CopyImage, &image));
}

}  // namespace
