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
typedef uint8_t BYTE;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* HANDLE;
typedef void* HWND;
typedef void* HINSTANCE;
typedef intptr_t LPARAM;
typedef void* LPSECURITY_ATTRIBUTES;

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_NO_MORE_FILES 18u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INVALID_NAME 123u
#define ERROR_LOCK_VIOLATION 33u
#define ERROR_HANDLE_DISK_FULL 39u
#define ERROR_FILE_EXISTS 80u
#define ERROR_BUFFER_OVERFLOW 111u
#define ERROR_DISK_FULL 112u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_DIRECTORY 267u
#define ERROR_WRITE_FAULT 29u
#define ERROR_ENVVAR_NOT_FOUND 203u

#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_APPEND_DATA 0x00000004u
#define DELETE 0x00010000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_BEGIN 0u
#define SYNCHRONIZE 0x00100000u
#define MOVEFILE_REPLACE_EXISTING 0x00000001u

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

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;

typedef struct _WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[MAX_PATH];
  char cAlternateFileName[14];
} WIN32_FIND_DATAA;

typedef enum _GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard } GET_FILEEX_INFO_LEVELS;

typedef struct _WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA;

typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME;

#define OPENFILENAME_SIZE_VERSION_400A (offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR))

DWORD GetLastError(void);
void SetLastError(DWORD error);

BOOL CopyFileA(LPCSTR existingFile, LPCSTR newFile, BOOL failIfExists);
UINT GetTempFileNameA(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR tempFileName);
BOOL MoveFileA(LPCSTR existingFile, LPCSTR newFile);
BOOL MoveFileExA(LPCSTR existingFile, LPCSTR newFile, DWORD flags);
BOOL DeleteFileA(LPCSTR fileName);
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES attributes);
BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS level, void* information);
HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD creationDisposition, DWORD flags, HANDLE templateFile);
BOOL WriteFile(HANDLE file, const void* data, DWORD length, DWORD* written, void* overlapped);
typedef union _LARGE_INTEGER {
  long long QuadPart;
} LARGE_INTEGER;
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* position, DWORD method);
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR value, DWORD size);
#define FILE_TYPE_UNKNOWN 0u
#define FILE_TYPE_DISK 1u
DWORD GetFileType(HANDLE file);
LPSTR GetCommandLineA(void);
BOOL ReadFile(HANDLE file, void* data, DWORD length, DWORD* read, void* overlapped);
void Sleep(DWORD milliseconds);

// Processes, as far as telling a run that is gone from one that is not:
// OpenProcess finds a live process, whose handle is never signalled.
DWORD GetCurrentProcessId(void);
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId);
void GetLocalTime(SYSTEMTIME* time);
void GetSystemTimeAsFileTime(FILETIME* time);

// The machine's name: "HOSTPC", as a stand-in machine is one of its own.
#define MAX_COMPUTERNAME_LENGTH 15
BOOL GetComputerNameA(LPSTR name, DWORD* size);

// Lists with a pattern of one star: "*", or a prefix and suffix around it.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found);
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* found);
BOOL FindClose(HANDLE search);

int lstrlenA(LPCSTR text);
int lstrcmpiA(LPCSTR first, LPCSTR second);
LPSTR lstrcpynA(LPSTR destination, LPCSTR source, int capacity);

BOOL PathAppendA(LPSTR path, LPCSTR more);
BOOL PathAddExtensionA(LPSTR path, LPCSTR extension);
LPSTR PathFindExtensionA(LPCSTR path);
BOOL PathFileExistsA(LPCSTR path);
BOOL PathRemoveFileSpecA(LPSTR path);

BOOL GetSaveFileNameA(OPENFILENAMEA* request);
DWORD CommDlgExtendedError(void);

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
// No other program runs here to have made an event: none is ever found.
#define EVENT_MODIFY_STATE 0x0002u
#define INFINITE 0xFFFFFFFFu
HANDLE OpenEventA(DWORD access, BOOL inherit, LPCSTR name);
BOOL SetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL ReleaseMutex(HANDLE mutex);
BOOL CloseHandle(HANDLE handle);

// Seams for the tests, host only.
// The handler's FALSE is a cancel; a dialog error is not modelled.
typedef BOOL (*HostSaveDialogHandler)(OPENFILENAMEA* request);
void HostMapDrive(char letter, const char* hostFolder);
// "\\server\share" and what is below it, in `hostFolder`.
void HostMapShare(const char* uncRoot, const char* hostFolder);
BOOL HostToNativePath(LPCSTR windowsPath, char* nativePath, size_t capacity);
void HostSetSaveDialogHandler(HostSaveDialogHandler handler);

#endif
