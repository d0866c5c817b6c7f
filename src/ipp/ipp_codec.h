// IPP messages as bytes (RFC 8010): a request read in place from the bytes
// received, without copying, and a response written into a fixed buffer.
// Everything is bounded: a request with more attributes or values than are
// kept, or any length that runs past what was received, is refused, never
// read past. Built without the Windows headers, so host tests and the fuzzer
// drive it.
#ifndef TOLLIVANE_IPP_IPP_CODEC_H
#define TOLLIVANE_IPP_IPP_CODEC_H

#include <stddef.h>
#include <stdint.h>

// Delimiter tags: the groups of a message.
enum IppGroupTag : uint8_t {
  kIppOperationGroup = 0x01,
  kIppJobGroup = 0x02,
  kIppEndOfAttributes = 0x03,
  kIppPrinterGroup = 0x04,
  kIppUnsupportedGroup = 0x05,
};

// Value tags.
enum IppValueTag : uint8_t {
  kIppUnsupportedValue = 0x10,
  kIppUnknown = 0x12,
  kIppNoValue = 0x13,
  kIppInteger = 0x21,
  kIppBoolean = 0x22,
  kIppEnum = 0x23,
  kIppOctetString = 0x30,
  kIppDateTime = 0x31,
  kIppResolution = 0x32,
  kIppRangeOfInteger = 0x33,
  kIppBeginCollection = 0x34,
  kIppTextWithLanguage = 0x35,
  kIppNameWithLanguage = 0x36,
  kIppEndCollection = 0x37,
  kIppText = 0x41,
  kIppName = 0x42,
  kIppKeyword = 0x44,
  kIppUri = 0x45,
  kIppUriScheme = 0x46,
  kIppCharset = 0x47,
  kIppNaturalLanguage = 0x48,
  kIppMimeMediaType = 0x49,
  kIppMemberName = 0x4A,
};

const int kIppMaxAttributes = 128;
const int kIppMaxValues = 512;
const int kIppMaxCollectionDepth = 8;

struct IppValue {
  uint8_t tag;
  uint16_t length;
  const uint8_t* bytes;  // into the request's bytes
};

// One attribute with its values, in the order received. A collection's
// members and their values follow its begin value as values of their own,
// up to the matching end.
struct IppAttribute {
  uint8_t group;
  uint16_t nameLength;
  const uint8_t* name;
  uint16_t firstValue;  // index into IppRequest::values
  uint16_t valueCount;
};

struct IppRequest {
  uint8_t major;
  uint8_t minor;
  uint16_t operation;
  uint32_t requestId;
  int attributeCount;
  int valueCount;
  size_t dataOffset;  // where the document's bytes start
  IppAttribute attributes[kIppMaxAttributes];
  IppValue values[kIppMaxValues];
};

enum IppDecodeResult {
  kIppDecoded,    // the whole header is there; data follows at dataOffset
  kIppNeedMore,   // valid so far: more bytes are needed
  kIppMalformed,  // not an IPP request
  kIppTooManyAttributes,
};

IppDecodeResult DecodeIppRequest(const uint8_t* bytes, size_t size, IppRequest* request);

// The first attribute named `name` in `group` (0: any group), or null.
const IppAttribute* FindIppAttribute(const IppRequest* request, uint8_t group, const char* name);
const IppValue* FirstIppValue(const IppRequest* request, const IppAttribute* attribute);

// A value as text (a string tag; "-with-language" values give their text
// part), cut to `size`; false when it is not text or does not fit.
bool IppValueText(const IppValue* value, char* text, size_t size);
// An integer or enum value; false for any other tag or length.
bool IppValueInteger(const IppValue* value, int32_t* number);
bool IppValueBoolean(const IppValue* value, bool* truth);
bool IsIppName(const IppAttribute* attribute, const char* name);

// A response written into a fixed buffer. Once a write does not fit the
// writer says so and keeps nothing more; the caller answers with an error.
struct IppWriter {
  uint8_t* bytes;
  size_t size;
  size_t used;
  bool overflow;
};

void BeginIppMessage(IppWriter* writer, uint8_t major, uint8_t minor, uint16_t statusOrOperation, uint32_t requestId);
void AddIppGroup(IppWriter* writer, uint8_t group);
// `name` null: one more value of the attribute written last.
void AddIppBytes(IppWriter* writer, uint8_t tag, const char* name, const uint8_t* value, size_t length);
void AddIppString(IppWriter* writer, uint8_t tag, const char* name, const char* value);
void AddIppInteger(IppWriter* writer, uint8_t tag, const char* name, int32_t value);
void AddIppBoolean(IppWriter* writer, const char* name, bool value);
void AddIppRange(IppWriter* writer, const char* name, int32_t lower, int32_t upper);
void AddIppResolution(IppWriter* writer, const char* name, int32_t x, int32_t y);
void AddIppOutOfBand(IppWriter* writer, uint8_t tag, const char* name);
// dateTime (RFC 2579): UTC, to the second.
void AddIppDateTime(IppWriter* writer, const char* name, uint16_t year, uint8_t month, uint8_t day, uint8_t hour,
                    uint8_t minute, uint8_t second);
// A collection: its begin (named, or null for one more value), members
// each named with AddIppMember and followed by their values, its end.
void BeginIppCollection(IppWriter* writer, const char* name);
void AddIppMember(IppWriter* writer, const char* member);
void EndIppCollection(IppWriter* writer);
void EndIppMessage(IppWriter* writer);

#endif
