// Temporary files are never removed by age: a run may be held up for long in
// its Save As dialog, and removing its copy would lose its print.
#include "delivery/temp_files.h"

#include <stdint.h>

namespace {

const char kTempPrefix[] = "tlv";
const char kTempSuffix[] = ".tmp";
const int kNameAttempts = 64;

unsigned tempSequence;

char* AppendHex(char* at, uint32_t value, int digits) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) *at++ = "0123456789abcdef"[(value >> shift) & 0xF];
  return at;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ReadHex(const char* text, int digits, uint32_t* value) {
  *value = 0;
  for (int i = 0; i < digits; ++i) {
    int digit = HexValue(text[i]);
    if (digit < 0) return false;
    *value = (*value << 4) | static_cast<uint32_t>(digit);
  }
  return true;
}

bool SameIgnoringCase(const char* a, const char* b, int count) {
  for (int i = 0; i < count; ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    if (x != b[i]) return false;
  }
  return true;
}

// Whether the run that made a file is gone, from its process.
bool IsRunGone(DWORD processId) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (process == nullptr) return IsTempOfGoneRun(false, GetLastError());
  bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return IsTempOfGoneRun(running, 0);
}

bool JoinFolder(char* path, const char* folder, const char* name) {
  int folderLength = lstrlenA(folder);
  if (folderLength + kTempNameRoom >= MAX_PATH) return false;
  lstrcpynA(path, folder, MAX_PATH);
  if (folderLength > 0 && path[folderLength - 1] != '\\' && path[folderLength - 1] != '/') path[folderLength++] = '\\';
  lstrcpynA(path + folderLength, name, MAX_PATH - folderLength);
  return true;
}

}  // namespace

void FormatTempFileName(DWORD processId, unsigned sequence, char* name) {
  char* at = name;
  for (const char* p = kTempPrefix; *p != '\0'; ++p) *at++ = *p;
  at = AppendHex(at, processId, 8);
  *at++ = '-';
  at = AppendHex(at, sequence & 0xFFFFu, 4);
  for (const char* s = kTempSuffix; *s != '\0'; ++s) *at++ = *s;
  *at = '\0';
}

// A name is the program's when it reads back as the name of its numbers.
bool ParseTempFileName(const char* name, DWORD* processId) {
  uint32_t process = 0;
  uint32_t sequence = 0;
  if (lstrlenA(name) != kTempNameRoom - 1 || !ReadHex(name + 3, 8, &process) || !ReadHex(name + 12, 4, &sequence))
    return false;
  char expected[kTempNameRoom];
  FormatTempFileName(process, sequence, expected);
  if (!SameIgnoringCase(name, expected, kTempNameRoom - 1)) return false;
  *processId = process;
  return true;
}

bool IsTempOfGoneRun(bool processRunning, DWORD openError) {
  return !processRunning && openError != ERROR_ACCESS_DENIED;
}

bool CreateTempFileIn(const char* folder, char* path) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char name[kTempNameRoom];
    FormatTempFileName(GetCurrentProcessId(), tempSequence++, name);
    if (!JoinFolder(path, folder, name)) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return false;
    }
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return true;
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      path[0] = '\0';
      SetLastError(error);
      return false;
    }
  }
  path[0] = '\0';
  SetLastError(ERROR_FILE_EXISTS);
  return false;
}

void RemoveAbandonedTempFiles(const char* folder) {
  // Listed by the program's pattern: a folder of many prints is not read
  // whole on every run. The names are checked all the same, as a pattern
  // also matches short names on Windows.
  char pattern[MAX_PATH];
  if (!JoinFolder(pattern, folder, "tlv*.tmp")) return;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    DWORD processId = 0;
    char path[MAX_PATH];
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && ParseTempFileName(found.cFileName, &processId) &&
        IsRunGone(processId) && JoinFolder(path, folder, found.cFileName))
      DeleteFileA(path);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}
