// Native stand-in for the Win32 calls the delivery job makes. Windows paths
// ("C:\Kestrin\Print\File.pdf") are mapped onto a host folder per drive
// letter that the caller chooses; the save dialog is a seam the tests answer.
// Only what the delivery job relies on is modelled: where this and Windows
// differ on a tested behaviour, this is wrong.
#ifndef TOLLIVANE_PLATFORM_HOST_WIN32_STANDIN_H
#define TOLLIVANE_PLATFORM_HOST_WIN32_STANDIN_H

#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define MAX_PATH 260
#define TRUE 1
#define FALSE 0

typedef int BOOL;
typedef int INT;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* HANDLE;
typedef void* HWND;
typedef void* HINSTANCE;
typedef intptr_t LPARAM;
typedef void* LPSECURITY_ATTRIBUTES;

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u

#define OFN_OVERWRITEPROMPT 0x00000002u
#define OFN_PATHMUSTEXIST 0x00000800u

typedef struct tagOFNA {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCSTR lpstrFilter;
  LPSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPSTR lpstrFile;
  DWORD nMaxFile;
  LPSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCSTR lpstrInitialDir;
  LPCSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCSTR lpstrDefExt;
  LPARAM lCustData;
  void* lpfnHook;
  LPCSTR lpTemplateName;
  void* pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
} OPENFILENAMEA;

#define OPENFILENAME_SIZE_VERSION_400A (offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR))

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR buffer, DWORD capacity,
                               LPCSTR fileName);
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT fallback, LPCSTR fileName);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName);

BOOL CopyFileA(LPCSTR existingFile, LPCSTR newFile, BOOL failIfExists);

int lstrlenA(LPCSTR text);
LPSTR lstrcpynA(LPSTR destination, LPCSTR source, int capacity);

BOOL PathAppendA(LPSTR path, LPCSTR more);
BOOL PathAddExtensionA(LPSTR path, LPCSTR extension);
LPSTR PathFindExtensionA(LPCSTR path);
BOOL PathFileExistsA(LPCSTR path);

BOOL GetSaveFileNameA(OPENFILENAMEA* request);

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL ReleaseMutex(HANDLE mutex);
BOOL CloseHandle(HANDLE handle);

// Seams for the tests, host only.
typedef BOOL (*HostSaveDialogHandler)(OPENFILENAMEA* request);
void HostMapDrive(char letter, const char* hostFolder);
BOOL HostToNativePath(LPCSTR windowsPath, char* nativePath, size_t capacity);
void HostSetSaveDialogHandler(HostSaveDialogHandler handler);

#endif
