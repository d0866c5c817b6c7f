// IPP requests as a client's bytes, for the tests of the IPP printer.
#ifndef TOLLIVANE_TESTS_UNIT_IPP_REQUEST_BYTES_H
#define TOLLIVANE_TESTS_UNIT_IPP_REQUEST_BYTES_H

#include <stdint.h>

#include <string>
#include <vector>

#include "ipp/ipp_codec.h"

struct IppTestAttribute {
  uint8_t tag;
  std::string name;  // empty: one more value of the attribute before
                     // (a delimiter tag starts a group)
  std::string value;
};

// A request whose attributes stand in the operation group, but those after
// a group's delimiter.
inline std::vector<uint8_t> IppRequestBytes(uint8_t major, uint16_t operation, uint32_t requestId,
                                            const std::vector<IppTestAttribute>& attributes) {
  std::vector<uint8_t> bytes = {major,
                                0,
                                static_cast<uint8_t>(operation >> 8),
                                static_cast<uint8_t>(operation),
                                static_cast<uint8_t>(requestId >> 24),
                                static_cast<uint8_t>(requestId >> 16),
                                static_cast<uint8_t>(requestId >> 8),
                                static_cast<uint8_t>(requestId),
                                kIppOperationGroup};
  for (const IppTestAttribute& a : attributes) {
    if (a.tag < 0x10) {  // a group's delimiter: the attributes after it are in that group
      bytes.push_back(a.tag);
      continue;
    }
    bytes.push_back(a.tag);
    bytes.push_back(static_cast<uint8_t>(a.name.size() >> 8));
    bytes.push_back(static_cast<uint8_t>(a.name.size()));
    bytes.insert(bytes.end(), a.name.begin(), a.name.end());
    bytes.push_back(static_cast<uint8_t>(a.value.size() >> 8));
    bytes.push_back(static_cast<uint8_t>(a.value.size()));
    bytes.insert(bytes.end(), a.value.begin(), a.value.end());
  }
  bytes.push_back(kIppEndOfAttributes);
  return bytes;
}

// An integer or enum value's four bytes.
inline std::string IppInteger(int32_t v) {
  return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                     static_cast<char>(v)};
}

#endif
