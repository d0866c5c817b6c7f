// A rangeOfInteger value is two 4-byte signed integers, lower then upper.
#include "ipp/page_ranges.h"

namespace {

int32_t Read32(const uint8_t* at) {
  return static_cast<int32_t>((static_cast<uint32_t>(at[0]) << 24) | (static_cast<uint32_t>(at[1]) << 16) |
                              (static_cast<uint32_t>(at[2]) << 8) | at[3]);
}

}  // namespace

PageRangesRead ReadPageRanges(const IppRequest* request, PageRanges* ranges) {
  *ranges = PageRanges{};
  const IppAttribute* attribute = FindIppAttribute(request, kIppJobGroup, "page-ranges");
  if (attribute == nullptr) return kPageRangesRead;
  if (attribute->valueCount > kMaxPageRanges) return kPageRangesTooMany;
  for (uint16_t i = 0; i < attribute->valueCount; ++i) {
    const IppValue* value = &request->values[attribute->firstValue + i];
    if (value->tag != kIppRangeOfInteger || value->length != 8) return kPageRangesBad;
    int32_t lower = Read32(value->bytes);
    int32_t upper = Read32(value->bytes + 4);
    bool afterLast = ranges->count == 0 || lower > ranges->upper[ranges->count - 1];
    if (lower < 1 || upper < lower || !afterLast) return kPageRangesBad;
    ranges->lower[ranges->count] = lower;
    ranges->upper[ranges->count] = upper;
    ++ranges->count;
  }
  return kPageRangesRead;
}

bool IsPageSelected(const PageRanges* ranges, uint32_t page) {
  if (ranges->count == 0) return true;
  for (int i = 0; i < ranges->count; ++i)
    if (page >= static_cast<uint32_t>(ranges->lower[i]) && page <= static_cast<uint32_t>(ranges->upper[i])) return true;
  return false;
}
