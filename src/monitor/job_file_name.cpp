// The job file names, built and recognised without the Windows headers.
#include "monitor/job_file_name.h"

namespace {

const char kJobPrefix[] = "File.pdf.";
const char kJobSuffix[] = ".job";
const int kHexDigits = 2 * kJobFileRandomBytes;

char* AppendText(char* at, const char* text) {
  while (*text != '\0') *at++ = *text++;
  return at;
}

char* AppendHex(char* at, const uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    *at++ = "0123456789abcdef"[bytes[i] >> 4];
    *at++ = "0123456789abcdef"[bytes[i] & 0xF];
  }
  return at;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Matches `text` at `name` ignoring ASCII case; returns the rest or null.
const char* SkipText(const char* name, const char* text) {
  for (; *text != '\0'; ++name, ++text) {
    char a = *name >= 'A' && *name <= 'Z' ? static_cast<char>(*name + 32) : *name;
    char b = *text >= 'A' && *text <= 'Z' ? static_cast<char>(*text + 32) : *text;
    if (a != b) return nullptr;
  }
  return name;
}

const char* SkipHex(const char* name) {
  for (int i = 0; i < kHexDigits; ++i, ++name)
    if (!IsHexDigit(*name)) return nullptr;
  return name;
}

}  // namespace

void FormatJobFileName(const uint8_t* random, char* name) {
  char* at = AppendText(name, kJobPrefix);
  at = AppendHex(at, random, kJobFileRandomBytes);
  at = AppendText(at, kJobSuffix);
  *at = '\0';
}

bool IsJobFileName(const char* name) {
  const char* rest = SkipText(name, kJobPrefix);
  if (rest != nullptr) rest = SkipHex(rest);
  if (rest != nullptr) rest = SkipText(rest, kJobSuffix);
  return rest != nullptr && *rest == '\0';
}
