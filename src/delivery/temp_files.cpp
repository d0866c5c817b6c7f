// This machine's temporary files are never removed by age: a run may be held
// up for long in its Save As dialog, and removing its copy would lose its
// print. Only another machine's, which this one cannot ask about, are.
#include "delivery/temp_files.h"

#include <stdint.h>

namespace {

const char kTempPrefix[] = "tlv";
const char kTempSuffix[] = ".tmp";
const int kNameAttempts = 64;

unsigned tempSequence;

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
char ownMachineTag[kMachineTagSize];

const char* OwnMachineTag(void) {
  if (ownMachineTag[0] == '\0') {
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof computer;
    MakeMachineTag(GetComputerNameA(computer, &size) ? computer : "", ownMachineTag);
  }
  return ownMachineTag;
}

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
  for (int i = 0; i < count; ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

bool IsKeptInTag(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'; }

// A tag MakeMachineTag could have written: kept characters and escapes of
// bytes that are not kept, or the tag of no name.
bool IsMachineTag(const char* tag) {
  if (tag[0] == '_' && tag[1] == '\0') return true;
  for (const char* at = tag; *at != '\0'; ++at) {
    if (IsKeptInTag(*at)) continue;
    uint32_t code = 0;
    if (*at != '_' || !ReadHex(at + 1, 2, &code) || IsKeptInTag(static_cast<char>(code)) ||
        (code >= 'a' && code <= 'z'))
      return false;
    at += 2;
  }
  return tag[0] != '\0';
}

// 100-nanosecond ticks, as Windows counts file times.
long long Ticks(const FILETIME* time) {
  return static_cast<long long>((static_cast<unsigned long long>(time->dwHighDateTime) << 32) | time->dwLowDateTime);
}

// A copy keeps its source's write time, and some file systems keep no
// creation time: the later of the two is when the file was last touched.
long long AgeSeconds(const WIN32_FIND_DATAA* found) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  long long created = Ticks(&found->ftCreationTime);
  long long written = Ticks(&found->ftLastWriteTime);
  return (Ticks(&now) - (created > written ? created : written)) / 10000000;
}

bool IsProcessRunning(DWORD processId, DWORD* openError) {
  *openError = 0;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (process == nullptr) {
    *openError = GetLastError();
    return false;
  }
  bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

bool IsAbandoned(const WIN32_FIND_DATAA* found, DWORD processId, const char* machineTag) {
  TempFileFacts facts = {};
  facts.ownMachine = lstrcmpiA(machineTag, OwnMachineTag()) == 0;
  if (facts.ownMachine) facts.processRunning = IsProcessRunning(processId, &facts.openError);
  facts.ageSeconds = AgeSeconds(found);
  return IsAbandonedTempFile(&facts);
}

bool JoinFolder(char* path, const char* folder, const char* name) {
  int folderLength = lstrlenA(folder);
  if (folderLength + 1 + lstrlenA(name) >= MAX_PATH) return false;
  lstrcpynA(path, folder, MAX_PATH);
  if (folderLength > 0 && path[folderLength - 1] != '\\' && path[folderLength - 1] != '/') path[folderLength++] = '\\';
  lstrcpynA(path + folderLength, name, MAX_PATH - folderLength);
  return true;
}

}  // namespace

void MakeMachineTag(const char* computerName, char* tag) {
  int used = 0;
  for (int i = 0; i < 15 && computerName[i] != '\0'; ++i) {
    char c = Upper(computerName[i]);
    if (IsKeptInTag(c)) {
      tag[used++] = c;
      continue;
    }
    unsigned char code = static_cast<unsigned char>(c);
    tag[used++] = '_';
    tag[used++] = "0123456789ABCDEF"[code >> 4];
    tag[used++] = "0123456789ABCDEF"[code & 0xF];
  }
  if (used == 0) tag[used++] = '_';  // no name known: a tag no named machine has
  tag[used] = '\0';
}

void FormatTempFileName(DWORD processId, unsigned sequence, const char* machineTag, char* name) {
  char* at = name;
  for (const char* p = kTempPrefix; *p != '\0'; ++p) *at++ = *p;
  at = AppendHex(at, processId, 8);
  *at++ = '-';
  at = AppendHex(at, sequence & 0xFFFFu, 4);
  *at++ = '.';
  for (int i = 0; i < kMachineTagSize - 1 && machineTag[i] != '\0'; ++i) *at++ = machineTag[i];
  for (const char* s = kTempSuffix; *s != '\0'; ++s) *at++ = *s;
  *at = '\0';
}

// A name is the program's when it reads back as the name of its parts.
bool ParseTempFileName(const char* name, DWORD* processId, char* machineTag) {
  const int fixed = 3 + 8 + 1 + 4 + 1;
  const int suffix = 4;
  int length = lstrlenA(name);
  int tagLength = length - fixed - suffix;
  uint32_t process = 0;
  uint32_t sequence = 0;
  if (tagLength < 1 || tagLength > kMachineTagSize - 1 || !ReadHex(name + 3, 8, &process) ||
      !ReadHex(name + 12, 4, &sequence))
    return false;
  char tag[kMachineTagSize];
  for (int i = 0; i < tagLength; ++i) tag[i] = Upper(name[fixed + i]);
  tag[tagLength] = '\0';
  if (!IsMachineTag(tag)) return false;
  char expected[kTempNameSize];
  FormatTempFileName(process, sequence, tag, expected);
  if (lstrlenA(expected) != length || !SameIgnoringCase(name, expected, length)) return false;
  *processId = process;
  lstrcpynA(machineTag, tag, kMachineTagSize);
  return true;
}

bool IsAbandonedTempFile(const TempFileFacts* facts) {
  if (facts->ownMachine) return !facts->processRunning && facts->openError != ERROR_ACCESS_DENIED;
  return facts->ageSeconds >= kForeignTempAgeSeconds;
}

bool CreateTempFileIn(const char* folder, char* path) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char name[kTempNameSize];
    FormatTempFileName(GetCurrentProcessId(), tempSequence++, OwnMachineTag(), name);
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
    char machineTag[kMachineTagSize];
    char path[MAX_PATH];
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        ParseTempFileName(found.cFileName, &processId, machineTag) && IsAbandoned(&found, processId, machineTag) &&
        JoinFolder(path, folder, found.cFileName))
      DeleteFileA(path);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}
