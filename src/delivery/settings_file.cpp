// Reading rules as the profile functions apply them (measured on Windows and
// Wine): one line at a time, ";" at a line's start a comment, a line without
// "=" no key, names ignoring case, the first of duplicate keys winning.
#include "delivery/settings_file.h"

#include "delivery/temp_files.h"

namespace {

const int kReadAttempts = 20;
const DWORD kReadRetryMilliseconds = 10;
const int kWriteAttempts = 10;
// The platform reads an integer setting as text of at most 29 characters.
const int kProfileIntDigits = 30;

char snapshotText[kSettingsFileMaxBytes + 1];

struct TextSpan {
  const char* begin;
  size_t length;
};

struct SettingEntry {
  bool sectionFound;
  size_t sectionEnd;  // after the section's last line
  bool keyFound;
  size_t keyLineBegin;
  size_t keyLineEnd;  // before the line's end
  TextSpan value;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

TextSpan Trim(const char* begin, const char* end) {
  while (begin < end && IsBlank(*begin)) ++begin;
  while (end > begin && IsBlank(end[-1])) --end;
  return TextSpan{begin, static_cast<size_t>(end - begin)};
}

bool SpanIsName(TextSpan span, const char* name) {
  size_t i = 0;
  for (; i < span.length; ++i)
    if (name[i] == '\0' || LowerAscii(span.begin[i]) != LowerAscii(name[i])) return false;
  return name[i] == '\0';
}

TextSpan StripQuotes(TextSpan value) {
  if (value.length >= 2) {
    char first = value.begin[0];
    if ((first == '"' || first == '\'') && value.begin[value.length - 1] == first)
      return TextSpan{value.begin + 1, value.length - 2};
  }
  return value;
}

const char* FindChar(const char* begin, size_t length, char wanted) {
  for (size_t i = 0; i < length; ++i)
    if (begin[i] == wanted) return begin + i;
  return nullptr;
}

// A UTF-8 mark at the start is skipped, as Wine does.
size_t TextStart(const char* text, size_t length) {
  return length >= 3 && text[0] == '\xEF' && text[1] == '\xBB' && text[2] == '\xBF' ? 3 : 0;
}

SettingEntry FindEntry(const char* text, size_t length, const char* section, const char* key) {
  SettingEntry entry = {};
  bool inSection = false;
  for (size_t lineBegin = TextStart(text, length); lineBegin < length;) {
    const char* newline = FindChar(text + lineBegin, length - lineBegin, '\n');
    size_t lineEnd = newline != nullptr ? static_cast<size_t>(newline - text) : length;
    size_t next = newline != nullptr ? lineEnd + 1 : length;
    TextSpan line = Trim(text + lineBegin, text + lineEnd);
    if (line.length > 0 && line.begin[0] == '[') {
      if (inSection) return entry;
      const char* close = FindChar(line.begin, line.length, ']');
      inSection = !entry.sectionFound && close != nullptr && SpanIsName(Trim(line.begin + 1, close), section);
      if (inSection) entry.sectionFound = true;
    } else if (inSection && line.length > 0 && line.begin[0] != ';' && key != nullptr) {
      const char* equals = FindChar(line.begin, line.length, '=');
      if (equals != nullptr && SpanIsName(Trim(line.begin, equals), key)) {
        entry.keyFound = true;
        entry.keyLineBegin = lineBegin;
        entry.keyLineEnd = lineEnd > lineBegin && text[lineEnd - 1] == '\r' ? lineEnd - 1 : lineEnd;
        entry.value = StripQuotes(Trim(equals + 1, line.begin + line.length));
        return entry;
      }
    }
    lineBegin = next;
    if (inSection) entry.sectionEnd = next;
  }
  return entry;
}

bool SameFileState(const WIN32_FILE_ATTRIBUTE_DATA* a, const WIN32_FILE_ATTRIBUTE_DATA* b) {
  return a->nFileSizeLow == b->nFileSizeLow && a->nFileSizeHigh == b->nFileSizeHigh &&
         a->ftLastWriteTime.dwLowDateTime == b->ftLastWriteTime.dwLowDateTime &&
         a->ftLastWriteTime.dwHighDateTime == b->ftLastWriteTime.dwHighDateTime;
}

// One reading of the file; `state` is what the file looked like before it.
bool ReadOnce(const char* path, WIN32_FILE_ATTRIBUTE_DATA* state, size_t* length) {
  *length = 0;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, state)) return false;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD read = 0;
  while (*length < kSettingsFileMaxBytes &&
         ReadFile(file, snapshotText + *length, static_cast<DWORD>(kSettingsFileMaxBytes - *length), &read, nullptr) &&
         read > 0)
    *length += read;
  CloseHandle(file);
  snapshotText[*length] = '\0';
  return true;
}

bool LooksWhole(const WIN32_FILE_ATTRIBUTE_DATA* state, size_t length, const char* section) {
  bool wholeLength = state->nFileSizeHigh != 0 || state->nFileSizeLow >= kSettingsFileMaxBytes
                         ? length == kSettingsFileMaxBytes
                         : length == state->nFileSizeLow;
  return wholeLength && length > 0 && FindEntry(snapshotText, length, section, nullptr).sectionFound;
}

// Appends `piece` to the zero-terminated `text` of `capacity` bytes; false
// when it does not fit whole.
bool Concat(char* text, int capacity, const char* piece) {
  int used = lstrlenA(text);
  if (used + lstrlenA(piece) >= capacity) return false;
  lstrcpynA(text + used, piece, capacity - used);
  return true;
}

bool WritePiece(HANDLE file, const char* bytes, size_t length) {
  DWORD written = 0;
  return WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr) && written == length;
}

bool WriteRewrite(const char* path, const char* text, size_t length, const SettingRewrite* plan) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WritePiece(file, text, plan->keepBefore) &&
            WritePiece(file, plan->middle, static_cast<size_t>(lstrlenA(plan->middle))) &&
            WritePiece(file, text + plan->resumeAt, length - plan->resumeAt);
  return CloseHandle(file) && ok;
}

// The file's folder, for the new file that replaces it.
void GetFolderOf(const char* path, char* folder) {
  lstrcpynA(folder, path, MAX_PATH);
  PathRemoveFileSpecA(folder);
}

}  // namespace

SettingsSnapshot ReadSettingsSnapshot(const char* path, const char* section) {
  WIN32_FILE_ATTRIBUTE_DATA state = {};
  size_t length = 0;
  bool exists = false;
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    if (attempt > 0) Sleep(kReadRetryMilliseconds);
    exists = ReadOnce(path, &state, &length);
    if (!exists && GetLastError() != ERROR_SHARING_VIOLATION) break;  // no file: the defaults
    if (exists && LooksWhole(&state, length, section)) break;
  }
  return SettingsSnapshot{snapshotText, exists ? length : 0, exists, state};
}

bool FindSettingValue(const SettingsSnapshot* snapshot, const char* section, const char* key, char* value,
                      int capacity) {
  SettingEntry entry = FindEntry(snapshot->text, snapshot->length, section, key);
  if (!entry.keyFound || capacity <= 0) return false;
  size_t length =
      entry.value.length < static_cast<size_t>(capacity - 1) ? entry.value.length : static_cast<size_t>(capacity - 1);
  for (size_t i = 0; i < length; ++i) value[i] = entry.value.begin[i];
  value[length] = '\0';
  return true;
}

int FindSettingInt(const SettingsSnapshot* snapshot, const char* section, const char* key, int fallback) {
  char text[kProfileIntDigits];
  if (!FindSettingValue(snapshot, section, key, text, kProfileIntDigits) || text[0] == '\0') return fallback;
  const char* c = text;
  bool negative = false;
  if (*c == '+' || *c == '-') negative = (*c++ == '-');
  unsigned base = 10;
  if (c[0] == '0' && (c[1] == 'x' || c[1] == 'X')) {
    base = 16;
    c += 2;
  }
  unsigned result = 0;
  for (;; ++c) {
    unsigned digit;
    if (*c >= '0' && *c <= '9')
      digit = static_cast<unsigned>(*c - '0');
    else if (base == 16 && LowerAscii(*c) >= 'a' && LowerAscii(*c) <= 'f')
      digit = static_cast<unsigned>(LowerAscii(*c) - 'a' + 10);
    else
      break;
    result = result * base + digit;
  }
  return static_cast<int>(negative ? 0u - result : result);
}

// What goes between is the key's line, after a line break when the text
// there lacks one, and after the section's name when the section is new.
bool PlanSettingRewrite(const char* text, size_t length, const char* section, const char* key, const char* value,
                        SettingRewrite* plan) {
  SettingEntry entry = FindEntry(text, length, section, key);
  plan->keepBefore = entry.keyFound ? entry.keyLineBegin : entry.sectionFound ? entry.sectionEnd : length;
  plan->resumeAt = entry.keyFound ? entry.keyLineEnd : plan->keepBefore;
  char* middle = plan->middle;
  middle[0] = '\0';
  bool ok = entry.keyFound || plan->keepBefore == 0 || text[plan->keepBefore - 1] == '\n' ||
            Concat(middle, kRewriteMiddleSize, "\r\n");
  if (!entry.sectionFound)
    ok = ok && Concat(middle, kRewriteMiddleSize, "[") && Concat(middle, kRewriteMiddleSize, section) &&
         Concat(middle, kRewriteMiddleSize, "]\r\n");
  return ok && Concat(middle, kRewriteMiddleSize, key) && Concat(middle, kRewriteMiddleSize, "=") &&
         Concat(middle, kRewriteMiddleSize, value) && (entry.keyFound || Concat(middle, kRewriteMiddleSize, "\r\n"));
}

// Written only from a reading that looked whole, and put in place only while
// the file is still as it was read: another program's write in between
// starts it over.
bool WriteSettingValue(const char* path, const char* section, const char* key, const char* value) {
  char folder[MAX_PATH];
  GetFolderOf(path, folder);
  RemoveAbandonedTempFiles(folder);  // a run killed before its rename left its new file here
  for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
    if (attempt > 0) Sleep(kReadRetryMilliseconds);
    SettingsSnapshot snapshot = ReadSettingsSnapshot(path, section);
    if (snapshot.length >= kSettingsFileMaxBytes) return false;
    SettingRewrite plan;
    if (!PlanSettingRewrite(snapshot.text, snapshot.length, section, key, value, &plan)) return false;
    char newPath[MAX_PATH];
    if (!CreateTempFileIn(folder, newPath)) return false;
    bool written = WriteRewrite(newPath, snapshot.text, snapshot.length, &plan);
    WIN32_FILE_ATTRIBUTE_DATA now = {};
    bool present = GetFileAttributesExA(path, GetFileExInfoStandard, &now) != FALSE;
    bool unchanged = snapshot.exists ? present && SameFileState(&snapshot.state, &now) : !present;
    if (written && unchanged && MoveFileExA(newPath, path, MOVEFILE_REPLACE_EXISTING)) return true;
    DeleteFileA(newPath);
  }
  return false;
}
