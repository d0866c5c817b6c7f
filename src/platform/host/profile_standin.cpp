// Native stand-in for the profile (INI) calls, following the reading rules
// measured on Windows and Wine: names are case-insensitive, white space around
// names and values is trimmed, one pair of surrounding quotes is stripped, the
// first of duplicate keys wins, and a value is cut to the capacity less one.
#include "win32_standin.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

namespace {

const size_t kMaxProfileBytes = 65536;

char profileText[kMaxProfileBytes + 1];
char rewrittenText[kMaxProfileBytes + 1024];

struct TextSpan {
  const char* begin;
  size_t length;
};

struct ProfileEntry {
  bool sectionFound;
  size_t sectionEnd;
  bool keyFound;
  size_t keyLineBegin;
  size_t keyLineEnd;
  TextSpan value;
};

bool LoadProfile(LPCSTR fileName, size_t* length) {
  *length = 0;
  profileText[0] = '\0';
  char native[1024];
  if (!HostToNativePath(fileName, native, sizeof native)) return false;
  FILE* file = fopen(native, "rb");
  if (file == nullptr) return false;
  *length = fread(profileText, 1, kMaxProfileBytes + 1, file);
  fclose(file);
  if (*length > kMaxProfileBytes) return false;
  profileText[*length] = '\0';
  return true;
}

TextSpan Trim(const char* begin, const char* end) {
  while (begin < end && isspace(static_cast<unsigned char>(*begin))) ++begin;
  while (end > begin && isspace(static_cast<unsigned char>(end[-1]))) --end;
  return TextSpan{begin, static_cast<size_t>(end - begin)};
}

bool SpanEqualsName(TextSpan span, LPCSTR name) {
  return strlen(name) == span.length && strncasecmp(span.begin, name, span.length) == 0;
}

TextSpan StripQuotes(TextSpan value) {
  if (value.length >= 2) {
    char first = value.begin[0];
    if ((first == '"' || first == '\'') && value.begin[value.length - 1] == first)
      return TextSpan{value.begin + 1, value.length - 2};
  }
  return value;
}

// Where section and key stand in the loaded text.
ProfileEntry FindEntry(size_t length, LPCSTR section, LPCSTR key) {
  ProfileEntry entry = {};
  bool inSection = false;
  const char* text = profileText;
  for (size_t lineBegin = 0; lineBegin < length;) {
    const char* newline = static_cast<const char*>(memchr(text + lineBegin, '\n', length - lineBegin));
    size_t lineEnd = newline != nullptr ? static_cast<size_t>(newline - text) : length;
    size_t next = newline != nullptr ? lineEnd + 1 : length;
    TextSpan line = Trim(text + lineBegin, text + lineEnd);
    if (line.length > 0 && line.begin[0] == '[') {
      if (inSection) return entry;
      const char* close = static_cast<const char*>(memchr(line.begin, ']', line.length));
      inSection = !entry.sectionFound && close != nullptr && SpanEqualsName(Trim(line.begin + 1, close), section);
      if (inSection) entry.sectionFound = true;
    } else if (inSection && line.length > 0 && line.begin[0] != ';') {
      const char* equals = static_cast<const char*>(memchr(line.begin, '=', line.length));
      if (equals != nullptr && SpanEqualsName(Trim(line.begin, equals), key)) {
        entry.keyFound = true;
        entry.keyLineBegin = lineBegin;
        entry.keyLineEnd = lineEnd;
        entry.value = StripQuotes(Trim(equals + 1, line.begin + line.length));
        return entry;
      }
    }
    lineBegin = next;
    if (inSection) entry.sectionEnd = next;
  }
  return entry;
}

DWORD CopyCut(const char* text, size_t length, LPSTR buffer, DWORD capacity) {
  if (capacity == 0) return 0;
  if (length > capacity - 1) length = capacity - 1;
  memcpy(buffer, text, length);
  buffer[length] = '\0';
  return static_cast<DWORD>(length);
}

bool Append(size_t* used, const char* data, size_t length) {
  if (*used + length >= sizeof rewrittenText) return false;
  memcpy(rewrittenText + *used, data, length);
  *used += length;
  return true;
}

bool AppendText(size_t* used, const char* text) { return Append(used, text, strlen(text)); }

bool AppendKeyLine(size_t* used, LPCSTR key, LPCSTR value) {
  return AppendText(used, key) && AppendText(used, "=") && AppendText(used, value);
}

bool NeedsLineBreakAt(size_t offset) { return offset > 0 && profileText[offset - 1] != '\n'; }

bool RewriteProfile(size_t length, const ProfileEntry& entry, LPCSTR section, LPCSTR key, LPCSTR value, size_t* used) {
  *used = 0;
  if (entry.keyFound)
    return Append(used, profileText, entry.keyLineBegin) && AppendKeyLine(used, key, value) &&
           Append(used, profileText + entry.keyLineEnd, length - entry.keyLineEnd);
  if (entry.sectionFound)
    return Append(used, profileText, entry.sectionEnd) &&
           (!NeedsLineBreakAt(entry.sectionEnd) || AppendText(used, "\r\n")) && AppendKeyLine(used, key, value) &&
           AppendText(used, "\r\n") && Append(used, profileText + entry.sectionEnd, length - entry.sectionEnd);
  return Append(used, profileText, length) && (!NeedsLineBreakAt(length) || AppendText(used, "\r\n")) &&
         AppendText(used, "[") && AppendText(used, section) && AppendText(used, "]\r\n") &&
         AppendKeyLine(used, key, value) && AppendText(used, "\r\n");
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR buffer, DWORD capacity,
                               LPCSTR fileName) {
  size_t length = 0;
  if (LoadProfile(fileName, &length)) {
    ProfileEntry entry = FindEntry(length, section, key);
    if (entry.keyFound) return CopyCut(entry.value.begin, entry.value.length, buffer, capacity);
  }
  const char* fallbackText = fallback != nullptr ? fallback : "";
  TextSpan trimmed = Trim(fallbackText, fallbackText + strlen(fallbackText));
  return CopyCut(fallbackText, static_cast<size_t>(trimmed.begin + trimmed.length - fallbackText), buffer, capacity);
}

// Like the platform: an optional sign, "0x" for hexadecimal, digits up to the
// first other character, wrapping modulo 2^32; an empty value gives the default.
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT fallback, LPCSTR fileName) {
  char text[256];
  if (GetPrivateProfileStringA(section, key, "", text, sizeof text, fileName) == 0) return static_cast<UINT>(fallback);
  const char* c = text;
  bool negative = false;
  if (*c == '+' || *c == '-') negative = (*c++ == '-');
  unsigned base = 10;
  if (c[0] == '0' && (c[1] == 'x' || c[1] == 'X')) {
    base = 16;
    c += 2;
  }
  UINT result = 0;
  for (;; ++c) {
    unsigned digit;
    if (*c >= '0' && *c <= '9')
      digit = static_cast<unsigned>(*c - '0');
    else if (base == 16 && isxdigit(static_cast<unsigned char>(*c)))
      digit = static_cast<unsigned>(tolower(static_cast<unsigned char>(*c)) - 'a' + 10);
    else
      break;
    result = result * base + digit;
  }
  return negative ? 0u - result : result;
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
  size_t length = 0;
  char native[1024];
  if (!HostToNativePath(fileName, native, sizeof native)) return FALSE;
  if (!LoadProfile(fileName, &length) && length > kMaxProfileBytes) return FALSE;
  size_t used = 0;
  if (!RewriteProfile(length, FindEntry(length, section, key), section, key, value, &used)) return FALSE;
  FILE* file = fopen(native, "wb");
  if (file == nullptr) return FALSE;
  bool written = fwrite(rewrittenText, 1, used, file) == used;
  return (fclose(file) == 0 && written) ? TRUE : FALSE;
}
