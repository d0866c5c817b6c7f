// The places, and the one comparison of files the setup makes.
#include "setup/setup_places.h"

#include <shlobj.h>
#include <shlwapi.h>

const wchar_t kPrinterName[] = L"Tollivane";
const wchar_t kProgramName[] = L"Tollivane.exe";
const wchar_t kSettingsFile[] = L"C:\\Kestrin\\Print\\Config\\Kestrin.ini";
const wchar_t kSpoolFile[] = L"C:\\Kestrin\\Print\\File.pdf";

namespace {

const wchar_t kProgramFolderName[] = L"Tollivane";
const DWORD kCompareChunk = 4096;

bool ReadChunk(HANDLE file, BYTE* buffer, DWORD* read) {
  return ReadFile(file, buffer, kCompareChunk, read, nullptr) != FALSE;
}

}  // namespace

bool JoinPath(wchar_t* path, const wchar_t* folder, const wchar_t* name) {
  lstrcpynW(path, folder, MAX_PATH);
  return PathAppendW(path, name) != FALSE;
}

bool SystemPath(const wchar_t* name, wchar_t* path) {
  wchar_t folder[MAX_PATH];
  UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  return length > 0 && length < MAX_PATH && JoinPath(path, folder, name);
}

// The zip keeps the program beside the x64 and x86 folders.
bool FindBesideSetup(const wchar_t* name, bool folderAboveToo, wchar_t* path) {
  wchar_t folder[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  PathRemoveFileSpecW(folder);
  if (JoinPath(path, folder, name) && PathFileExistsW(path)) return true;
  if (!folderAboveToo || !PathRemoveFileSpecW(folder)) return false;
  return JoinPath(path, folder, name) && PathFileExistsW(path);
}

bool IsAdministrator(void) {
  alignas(8) BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof sid;
  BOOL member = FALSE;
  return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
         CheckTokenMembership(nullptr, sid, &member) && member;
}

bool SameContents(const wchar_t* first, const wchar_t* second) {
  HANDLE a = CreateFileW(first, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE b = CreateFileW(second, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  bool same = a != INVALID_HANDLE_VALUE && b != INVALID_HANDLE_VALUE;
  BYTE bufferA[kCompareChunk];
  BYTE bufferB[kCompareChunk];
  while (same) {
    DWORD readA = 0;
    DWORD readB = 0;
    same = ReadChunk(a, bufferA, &readA) && ReadChunk(b, bufferB, &readB) && readA == readB &&
           (readA == 0 || memcmp(bufferA, bufferB, readA) == 0);
    if (readA == 0) break;
  }
  if (a != INVALID_HANDLE_VALUE) CloseHandle(a);
  if (b != INVALID_HANDLE_VALUE) CloseHandle(b);
  return same;
}

// The 32-bit program's folder: Program Files (x86) on 64-bit Windows,
// Program Files on 32-bit Windows, where only administrators may write.
bool ProgramFolder(wchar_t* folder) {
  wchar_t programFiles[MAX_PATH];
  return SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, programFiles)) &&
         JoinPath(folder, programFiles, kProgramFolderName);
}
