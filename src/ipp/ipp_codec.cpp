// An attribute is a value tag, a two-byte name length, the name, a two-byte
// value length and the value; a name length of 0 adds a value to the
// attribute before it. Lengths are big-endian.
#include "ipp/ipp_codec.h"

namespace {

uint16_t Read16(const uint8_t* at) { return static_cast<uint16_t>((at[0] << 8) | at[1]); }

uint32_t Read32(const uint8_t* at) {
  return (static_cast<uint32_t>(at[0]) << 24) | (static_cast<uint32_t>(at[1]) << 16) |
         (static_cast<uint32_t>(at[2]) << 8) | at[3];
}

bool IsGroupTag(uint8_t tag) { return tag <= 0x0F; }

size_t TextLength(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

// Collections nest: a begin value opens one, an end closes it, and only
// member names may stand without a name inside.
struct DecodeState {
  const IppAttribute* current;
  int depth;
};

IppDecodeResult AddValue(IppRequest* request, uint8_t tag, const uint8_t* value, uint16_t length) {
  if (request->valueCount >= kIppMaxValues) return kIppTooManyAttributes;
  request->values[request->valueCount++] = IppValue{tag, length, value};
  request->attributes[request->attributeCount - 1].valueCount++;
  return kIppDecoded;
}

IppDecodeResult TrackCollection(uint8_t tag, uint16_t nameLength, DecodeState* state) {
  if (tag == kIppBeginCollection) {
    if (state->depth == kIppMaxCollectionDepth) return kIppTooManyAttributes;
    ++state->depth;
  } else if (tag == kIppEndCollection) {
    if (state->depth == 0 || nameLength != 0) return kIppMalformed;
    --state->depth;
  } else if (tag == kIppMemberName && state->depth == 0) {
    return kIppMalformed;
  }
  return kIppDecoded;
}

}  // namespace

IppDecodeResult DecodeIppRequest(const uint8_t* bytes, size_t size, IppRequest* request) {
  request->attributeCount = 0;
  request->valueCount = 0;
  request->dataOffset = 0;
  if (size < 8) return kIppNeedMore;
  request->major = bytes[0];
  request->minor = bytes[1];
  request->operation = Read16(bytes + 2);
  request->requestId = Read32(bytes + 4);
  size_t at = 8;
  uint8_t group = 0;
  DecodeState state = {nullptr, 0};
  for (;;) {
    if (at >= size) return kIppNeedMore;
    uint8_t tag = bytes[at];
    if (IsGroupTag(tag)) {
      if (state.depth != 0 || tag == 0) return kIppMalformed;
      ++at;
      if (tag == kIppEndOfAttributes) break;
      group = tag;
      continue;
    }
    if (group == 0) return kIppMalformed;
    if (size - at < 3) return kIppNeedMore;
    uint16_t nameLength = Read16(bytes + at + 1);
    if (size - at - 3 < static_cast<size_t>(nameLength) + 2) return kIppNeedMore;
    const uint8_t* name = bytes + at + 3;
    uint16_t valueLength = Read16(bytes + at + 3 + nameLength);
    size_t valueAt = at + 5 + nameLength;
    if (size - valueAt < valueLength) return kIppNeedMore;
    IppDecodeResult tracked = TrackCollection(tag, nameLength, &state);
    if (tracked != kIppDecoded) return tracked;
    if (nameLength != 0) {
      if (state.depth > (tag == kIppBeginCollection ? 1 : 0)) return kIppMalformed;
      if (request->attributeCount >= kIppMaxAttributes) return kIppTooManyAttributes;
      request->attributes[request->attributeCount++] =
          IppAttribute{group, nameLength, name, static_cast<uint16_t>(request->valueCount), 0};
    } else if (request->attributeCount == 0 || request->attributes[request->attributeCount - 1].group != group) {
      return kIppMalformed;
    }
    IppDecodeResult added = AddValue(request, tag, bytes + valueAt, valueLength);
    if (added != kIppDecoded) return added;
    at = valueAt + valueLength;
  }
  request->dataOffset = at;
  return kIppDecoded;
}

bool IsIppName(const IppAttribute* attribute, const char* name) {
  size_t length = TextLength(name);
  if (length != attribute->nameLength) return false;
  for (size_t i = 0; i < length; ++i)
    if (attribute->name[i] != static_cast<uint8_t>(name[i])) return false;
  return true;
}

const IppAttribute* FindIppAttribute(const IppRequest* request, uint8_t group, const char* name) {
  for (int i = 0; i < request->attributeCount; ++i)
    if ((group == 0 || request->attributes[i].group == group) && IsIppName(&request->attributes[i], name))
      return &request->attributes[i];
  return nullptr;
}

const IppValue* FirstIppValue(const IppRequest* request, const IppAttribute* attribute) {
  if (attribute == nullptr || attribute->valueCount == 0) return nullptr;
  return &request->values[attribute->firstValue];
}

bool IppValueText(const IppValue* value, char* text, size_t size) {
  if (size == 0) return false;
  text[0] = '\0';
  if (value == nullptr) return false;
  const uint8_t* bytes = value->bytes;
  size_t length = value->length;
  if (value->tag == kIppTextWithLanguage || value->tag == kIppNameWithLanguage) {
    // language length, language, text length, text
    if (length < 4) return false;
    size_t languageLength = Read16(bytes);
    if (length < 4 + languageLength) return false;
    size_t textLength = Read16(bytes + 2 + languageLength);
    if (length != 4 + languageLength + textLength) return false;
    bytes += 4 + languageLength;
    length = textLength;
  } else if (value->tag < kIppOctetString || value->tag == kIppBeginCollection || value->tag == kIppEndCollection ||
             (value->tag > kIppOctetString && value->tag < kIppTextWithLanguage)) {
    return false;
  }
  if (length >= size) return false;
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] == 0) return false;
    text[i] = static_cast<char>(bytes[i]);
  }
  text[length] = '\0';
  return true;
}

bool IppValueInteger(const IppValue* value, int32_t* number) {
  if (value == nullptr || (value->tag != kIppInteger && value->tag != kIppEnum) || value->length != 4) return false;
  *number = static_cast<int32_t>(Read32(value->bytes));
  return true;
}

bool IppValueBoolean(const IppValue* value, bool* truth) {
  if (value == nullptr || value->tag != kIppBoolean || value->length != 1 || value->bytes[0] > 1) return false;
  *truth = value->bytes[0] == 1;
  return true;
}

namespace {

void Put(IppWriter* writer, const uint8_t* bytes, size_t length) {
  if (writer->overflow || writer->size - writer->used < length) {
    writer->overflow = true;
    return;
  }
  for (size_t i = 0; i < length; ++i) writer->bytes[writer->used + i] = bytes[i];
  writer->used += length;
}

void Put8(IppWriter* writer, uint8_t value) { Put(writer, &value, 1); }

void Put16(IppWriter* writer, size_t value) {
  uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  Put(writer, bytes, 2);
}

void Put32(IppWriter* writer, uint32_t value) {
  uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                      static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  Put(writer, bytes, 4);
}

// Tag, name and the value's length; the value follows.
void PutHead(IppWriter* writer, uint8_t tag, const char* name, size_t valueLength) {
  size_t nameLength = name != nullptr ? TextLength(name) : 0;
  if (nameLength > 0xFFFF || valueLength > 0xFFFF) {
    writer->overflow = true;
    return;
  }
  Put8(writer, tag);
  Put16(writer, nameLength);
  Put(writer, reinterpret_cast<const uint8_t*>(name != nullptr ? name : ""), nameLength);
  Put16(writer, valueLength);
}

}  // namespace

void BeginIppMessage(IppWriter* writer, uint8_t major, uint8_t minor, uint16_t statusOrOperation, uint32_t requestId) {
  writer->used = 0;
  writer->overflow = false;
  Put8(writer, major);
  Put8(writer, minor);
  Put16(writer, statusOrOperation);
  Put32(writer, requestId);
}

void AddIppGroup(IppWriter* writer, uint8_t group) { Put8(writer, group); }

void AddIppBytes(IppWriter* writer, uint8_t tag, const char* name, const uint8_t* value, size_t length) {
  PutHead(writer, tag, name, length);
  Put(writer, value, length);
}

void AddIppString(IppWriter* writer, uint8_t tag, const char* name, const char* value) {
  AddIppBytes(writer, tag, name, reinterpret_cast<const uint8_t*>(value), TextLength(value));
}

void AddIppInteger(IppWriter* writer, uint8_t tag, const char* name, int32_t value) {
  PutHead(writer, tag, name, 4);
  Put32(writer, static_cast<uint32_t>(value));
}

void AddIppBoolean(IppWriter* writer, const char* name, bool value) {
  PutHead(writer, kIppBoolean, name, 1);
  Put8(writer, value ? 1 : 0);
}

void AddIppRange(IppWriter* writer, const char* name, int32_t lower, int32_t upper) {
  PutHead(writer, kIppRangeOfInteger, name, 8);
  Put32(writer, static_cast<uint32_t>(lower));
  Put32(writer, static_cast<uint32_t>(upper));
}

void AddIppResolution(IppWriter* writer, const char* name, int32_t x, int32_t y) {
  PutHead(writer, kIppResolution, name, 9);
  Put32(writer, static_cast<uint32_t>(x));
  Put32(writer, static_cast<uint32_t>(y));
  Put8(writer, 3);  // dots per inch
}

void AddIppOutOfBand(IppWriter* writer, uint8_t tag, const char* name) { PutHead(writer, tag, name, 0); }

void AddIppDateTime(IppWriter* writer, const char* name, uint16_t year, uint8_t month, uint8_t day, uint8_t hour,
                    uint8_t minute, uint8_t second) {
  PutHead(writer, kIppDateTime, name, 11);
  Put16(writer, year);
  const uint8_t rest[] = {month, day, hour, minute, second, 0, '+', 0, 0};
  Put(writer, rest, sizeof rest);
}

void BeginIppCollection(IppWriter* writer, const char* name) { PutHead(writer, kIppBeginCollection, name, 0); }

void AddIppMember(IppWriter* writer, const char* member) {
  AddIppBytes(writer, kIppMemberName, nullptr, reinterpret_cast<const uint8_t*>(member), TextLength(member));
}

void EndIppCollection(IppWriter* writer) { PutHead(writer, kIppEndCollection, nullptr, 0); }

void EndIppMessage(IppWriter* writer) { Put8(writer, kIppEndOfAttributes); }
