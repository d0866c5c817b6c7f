// IPP requests read from bytes as a client sends them, every truncation and
// every overrun refused, and responses written and read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipp/ipp_codec.h"

namespace {

struct Bytes {
  std::vector<uint8_t> data;
  Bytes& u8(uint8_t v) {
    data.push_back(v);
    return *this;
  }
  Bytes& u16(size_t v) { return u8(static_cast<uint8_t>(v >> 8)).u8(static_cast<uint8_t>(v)); }
  Bytes& u32(uint32_t v) { return u16(v >> 16).u16(v & 0xFFFF); }
  Bytes& text(const std::string& t) {
    data.insert(data.end(), t.begin(), t.end());
    return *this;
  }
  Bytes& attribute(uint8_t tag, const std::string& name, const std::string& value) {
    return u8(tag).u16(name.size()).text(name).u16(value.size()).text(value);
  }
  Bytes& integer(uint8_t tag, const std::string& name, uint32_t value) {
    return u8(tag).u16(name.size()).text(name).u16(4).u32(value);
  }
};

// Get-Printer-Attributes as ipptool sends it, with document data after.
Bytes PrinterAttributesRequest() {
  Bytes b;
  b.u8(2).u8(0).u16(0x000B).u32(7).u8(kIppOperationGroup);
  b.attribute(kIppCharset, "attributes-charset", "utf-8");
  b.attribute(kIppNaturalLanguage, "attributes-natural-language", "en");
  b.attribute(kIppUri, "printer-uri", "ipp://127.0.0.1:8631/ipp/print");
  b.attribute(kIppKeyword, "requested-attributes", "printer-description");
  b.attribute(kIppKeyword, "", "media-col-database");
  b.u8(kIppJobGroup);
  b.u8(kIppBeginCollection).u16(9).text("media-col").u16(0);
  b.attribute(kIppMemberName, "", "media-size");
  b.u8(kIppBeginCollection).u16(0).u16(0);
  b.attribute(kIppMemberName, "", "x-dimension");
  b.integer(kIppInteger, "", 21000);
  b.u8(kIppEndCollection).u16(0).u16(0);
  b.u8(kIppEndCollection).u16(0).u16(0);
  b.integer(kIppInteger, "copies", 1);
  b.u8(kIppEndOfAttributes).text("%PDF-1.4");
  return b;
}

TEST(IppCodecTest, ARequestIsReadInPlaceWithItsValuesAndData) {
  Bytes b = PrinterAttributesRequest();
  static IppRequest request;
  ASSERT_EQ(kIppDecoded, DecodeIppRequest(b.data.data(), b.data.size(), &request));
  EXPECT_EQ(2, request.major);
  EXPECT_EQ(0x000B, request.operation);
  EXPECT_EQ(7u, request.requestId);
  EXPECT_EQ(b.data.size() - 8, request.dataOffset);
  const IppAttribute* requested = FindIppAttribute(&request, kIppOperationGroup, "requested-attributes");
  ASSERT_NE(nullptr, requested);
  EXPECT_EQ(2, requested->valueCount);
  char text[64];
  EXPECT_TRUE(IppValueText(&request.values[requested->firstValue + 1], text, sizeof text));
  EXPECT_STREQ("media-col-database", text);
  const IppAttribute* media = FindIppAttribute(&request, kIppJobGroup, "media-col");
  ASSERT_NE(nullptr, media);
  EXPECT_EQ(7, media->valueCount) << "the collection's members are its values";
  int32_t copies = 0;
  EXPECT_TRUE(IppValueInteger(FirstIppValue(&request, FindIppAttribute(&request, kIppJobGroup, "copies")), &copies));
  EXPECT_EQ(1, copies);
  EXPECT_EQ(nullptr, FindIppAttribute(&request, kIppPrinterGroup, "copies"));
  EXPECT_EQ(nullptr, FindIppAttribute(&request, 0, "copie"));

  // Every shorter prefix asks for more bytes and never reads past them.
  for (size_t cut = 0; cut < request.dataOffset; ++cut) {
    std::vector<uint8_t> prefix(b.data.begin(), b.data.begin() + static_cast<long>(cut));
    EXPECT_EQ(kIppNeedMore, DecodeIppRequest(prefix.data(), prefix.size(), &request)) << cut;
  }
}

TEST(IppCodecTest, MalformedAndOversizedRequestsAreRefused) {
  const struct {
    Bytes bytes;
    IppDecodeResult result;
  } cases[] = {
      {Bytes().u8(2).u8(0).u16(0xB).u32(1).attribute(kIppKeyword, "a", "b").u8(3), kIppMalformed},  // no group
      {Bytes().u8(2).u8(0).u16(0xB).u32(1).u8(1).attribute(kIppKeyword, "", "b").u8(3), kIppMalformed},
      {Bytes().u8(2).u8(0).u16(0xB).u32(1).u8(1).u8(kIppEndCollection).u16(0).u16(0).u8(3), kIppMalformed},
      {Bytes().u8(2).u8(0).u16(0xB).u32(1).u8(1).u8(kIppBeginCollection).u16(1).text("c").u16(0).u8(3),
       kIppMalformed},  // a collection left open
      {Bytes().u8(2).u8(0).u16(0xB).u32(1).u8(1).attribute(kIppMemberName, "m", "x").u8(3), kIppMalformed},
      {Bytes().u8(2).u8(0).u16(0xB).u32(1).u8(0).u8(3), kIppMalformed},  // group tag 0
      {Bytes().u8(2).u8(0).u16(0xB).u32(1).u8(1).u8(kIppKeyword).u16(0xFFFF), kIppNeedMore},
  };
  static IppRequest request;
  for (const auto& c : cases)
    EXPECT_EQ(c.result, DecodeIppRequest(c.bytes.data.data(), c.bytes.data.size(), &request)) << (&c - cases);

  Bytes many;
  many.u8(2).u8(0).u16(0xB).u32(1).u8(1);
  for (int i = 0; i <= kIppMaxAttributes; ++i) many.attribute(kIppKeyword, "a" + std::to_string(i), "v");
  many.u8(3);
  EXPECT_EQ(kIppTooManyAttributes, DecodeIppRequest(many.data.data(), many.data.size(), &request));
  Bytes deep;
  deep.u8(2).u8(0).u16(0xB).u32(1).u8(1).u8(kIppBeginCollection).u16(1).text("c").u16(0);
  for (int i = 0; i < kIppMaxCollectionDepth; ++i) deep.u8(kIppBeginCollection).u16(0).u16(0);
  EXPECT_EQ(kIppTooManyAttributes, DecodeIppRequest(deep.data.data(), deep.data.size(), &request));
}

TEST(IppCodecTest, ValuesAreReadOnlyAsTheirKind) {
  const uint8_t four[] = {0, 0, 1, 2};
  const uint8_t withLanguage[] = {0, 2, 'e', 'n', 0, 3, 'a', 'b', 'c'};
  const uint8_t badLanguage[] = {0, 2, 'e', 'n', 0, 9, 'a'};
  const uint8_t nul[] = {'a', 0, 'b'};
  int32_t number = 0;
  bool truth = false;
  char text[8];
  IppValue integer = {kIppInteger, 4, four};
  EXPECT_TRUE(IppValueInteger(&integer, &number));
  EXPECT_EQ(258, number);
  IppValue shortInteger = {kIppInteger, 3, four};
  EXPECT_FALSE(IppValueInteger(&shortInteger, &number));
  EXPECT_FALSE(IppValueText(&integer, text, sizeof text));
  IppValue boolean = {kIppBoolean, 1, four + 3};
  EXPECT_FALSE(IppValueBoolean(&boolean, &truth)) << "2 is not a boolean";
  IppValue language = {kIppTextWithLanguage, sizeof withLanguage, withLanguage};
  EXPECT_TRUE(IppValueText(&language, text, sizeof text));
  EXPECT_STREQ("abc", text);
  IppValue broken = {kIppNameWithLanguage, sizeof badLanguage, badLanguage};
  EXPECT_FALSE(IppValueText(&broken, text, sizeof text));
  IppValue withNul = {kIppName, sizeof nul, nul};
  EXPECT_FALSE(IppValueText(&withNul, text, sizeof text));
  IppValue tooLong = {kIppKeyword, 8, reinterpret_cast<const uint8_t*>("abcdefgh")};
  EXPECT_FALSE(IppValueText(&tooLong, text, sizeof text));
}

TEST(IppCodecTest, AResponseIsWrittenWholeOrSaysItDidNotFit) {
  uint8_t buffer[256];
  IppWriter writer = {buffer, sizeof buffer, 0, false};
  BeginIppMessage(&writer, 2, 0, 0x000B, 7);
  AddIppGroup(&writer, kIppOperationGroup);
  AddIppString(&writer, kIppCharset, "attributes-charset", "utf-8");
  AddIppGroup(&writer, kIppPrinterGroup);
  AddIppString(&writer, kIppKeyword, "sides-supported", "one-sided");
  AddIppString(&writer, kIppKeyword, nullptr, "two-sided-long-edge");
  AddIppInteger(&writer, kIppEnum, "printer-state", 3);
  AddIppBoolean(&writer, "printer-is-accepting-jobs", true);
  AddIppRange(&writer, "copies-supported", 1, 1);
  AddIppResolution(&writer, "printer-resolution-default", 300, 300);
  AddIppOutOfBand(&writer, kIppNoValue, "printer-message-from-operator");
  EndIppMessage(&writer);
  ASSERT_FALSE(writer.overflow);
  static IppRequest read;
  ASSERT_EQ(kIppDecoded, DecodeIppRequest(buffer, writer.used, &read));
  EXPECT_EQ(writer.used, read.dataOffset);
  const IppAttribute* sides = FindIppAttribute(&read, kIppPrinterGroup, "sides-supported");
  ASSERT_NE(nullptr, sides);
  EXPECT_EQ(2, sides->valueCount);
  int32_t state = 0;
  EXPECT_TRUE(IppValueInteger(FirstIppValue(&read, FindIppAttribute(&read, 0, "printer-state")), &state));
  EXPECT_EQ(3, state);
  const IppValue* resolution = FirstIppValue(&read, FindIppAttribute(&read, 0, "printer-resolution-default"));
  ASSERT_NE(nullptr, resolution);
  EXPECT_EQ(9, resolution->length);

  uint8_t small[20];
  IppWriter tight = {small, sizeof small, 0, false};
  BeginIppMessage(&tight, 2, 0, 0, 1);
  AddIppString(&tight, kIppCharset, "attributes-charset", "utf-8");
  EXPECT_TRUE(tight.overflow);
  EXPECT_LE(tight.used, sizeof small);
  size_t used = tight.used;
  AddIppGroup(&tight, kIppPrinterGroup);
  EXPECT_EQ(used, tight.used) << "a writer that overflowed keeps writing";
}

}  // namespace
