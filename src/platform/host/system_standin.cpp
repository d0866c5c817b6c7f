// Native stand-in for the kernel32 string, file-copy and mutex calls and for
// the save dialog, which the tests answer through a handler of their own.
#include "win32_standin.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <signal.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

HostSaveDialogHandler saveDialogHandler;
thread_local DWORD lastError;

// A listing of one folder, of the names that begin with `prefix` and end
// with `suffix` (ignoring case): the patterns "*" and "tlv*.tmp".
struct HostSearch {
  DIR* folder;
  char prefix[16];
  char suffix[16];
};

struct OpenedProcess {
  HANDLE handle;
  pid_t process;
};
thread_local OpenedProcess openedProcesses[8];

pid_t ProcessOfHandle(HANDLE handle) {
  for (const OpenedProcess& opened : openedProcesses)
    if (opened.handle == handle) return opened.process;
  return 0;
}

DWORD ErrorOfErrno(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENOSPC:
      return ERROR_DISK_FULL;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    default:
      return ERROR_ACCESS_DENIED;
  }
}

BOOL FailWith(DWORD error) {
  lastError = error;
  return FALSE;
}

UINT NoTempFile(DWORD error) {
  lastError = error;
  return 0;
}

BOOL FailWithErrno() { return FailWith(ErrorOfErrno(errno)); }

bool NativeOf(LPCSTR windowsPath, char* native) {
  if (HostToNativePath(windowsPath, native, 1024)) return true;
  lastError = ERROR_PATH_NOT_FOUND;
  return false;
}

bool MatchesPattern(const HostSearch* search, const char* name) {
  size_t length = strlen(name), prefix = strlen(search->prefix), suffix = strlen(search->suffix);
  return length >= prefix + suffix && strncasecmp(name, search->prefix, prefix) == 0 &&
         strcasecmp(name + length - suffix, search->suffix) == 0;
}

// Windows counts file times in 100 ns from 1601.
FILETIME FileTimeOf(struct timespec time) {
  const uint64_t kUnixEpochTicks = 116444736000000000ull;
  uint64_t ticks =
      kUnixEpochTicks + static_cast<uint64_t>(time.tv_sec) * 10000000u + static_cast<uint64_t>(time.tv_nsec) / 100u;
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

bool FillFound(const HostSearch* search, WIN32_FIND_DATAA* found) {
  struct dirent* entry = readdir(search->folder);
  while (entry != nullptr && !MatchesPattern(search, entry->d_name)) entry = readdir(search->folder);
  if (entry == nullptr) return false;
  *found = WIN32_FIND_DATAA{};
  lstrcpynA(found->cFileName, entry->d_name, MAX_PATH);
  found->dwFileAttributes = entry->d_type == DT_DIR ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  struct stat info;
  if (fstatat(dirfd(search->folder), entry->d_name, &info, 0) == 0) {
    found->ftLastWriteTime = FileTimeOf(info.st_mtim);
    found->ftCreationTime = FileTimeOf(info.st_ctim);  // Unix keeps no creation time: the last change stands in
  }
  return true;
}

int HandleToDescriptor(HANDLE handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)) - 1; }

HANDLE DescriptorToHandle(int descriptor) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(descriptor) + 1); }

long long MonotonicMilliseconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool CopyContents(int from, int to) {
  char block[65536];
  for (;;) {
    ssize_t got = read(from, block, sizeof block);
    if (got == 0) return true;
    if (got < 0) return false;
    if (write(to, block, static_cast<size_t>(got)) != got) return false;
  }
}

}  // namespace

int lstrlenA(LPCSTR text) { return static_cast<int>(strlen(text)); }

int lstrcmpiA(LPCSTR first, LPCSTR second) { return strcasecmp(first, second); }

LPSTR lstrcpynA(LPSTR destination, LPCSTR source, int capacity) {
  if (capacity <= 0) return destination;
  size_t limit = static_cast<size_t>(capacity) - 1;
  size_t length = strnlen(source, limit);
  memmove(destination, source, length);
  destination[length] = '\0';
  return destination;
}

DWORD GetLastError(void) { return lastError; }

void SetLastError(DWORD error) { lastError = error; }

BOOL CopyFileA(LPCSTR existingFile, LPCSTR newFile, BOOL failIfExists) {
  char from[1024], to[1024];
  if (!NativeOf(existingFile, from) || !NativeOf(newFile, to)) return FALSE;
  struct stat info;
  if (stat(to, &info) == 0 && S_ISDIR(info.st_mode)) return FailWith(ERROR_ACCESS_DENIED);
  int source = open(from, O_RDONLY);
  if (source < 0) return FailWithErrno();
  int flags = O_WRONLY | O_CREAT | (failIfExists ? O_EXCL : O_TRUNC);
  int destination = open(to, flags, 0644);
  if (destination < 0) {
    int error = errno;
    close(source);
    return FailWith(ErrorOfErrno(error));
  }
  bool copied = CopyContents(source, destination);
  int error = errno;
  close(source);
  if (close(destination) != 0) copied = false;
  return copied ? TRUE : FailWith(ErrorOfErrno(error));
}

// Names follow the platform's form, prefix + four hex digits + ".tmp".
UINT GetTempFileNameA(LPCSTR folder, LPCSTR prefix, UINT, LPSTR tempFileName) {
  unsigned start = static_cast<unsigned>(rand());
  for (unsigned i = 0; i < 0x10000u; ++i) {
    unsigned unique = ((start + i) & 0xFFFFu) | 1u;
    char windowsPath[MAX_PATH + 16];
    snprintf(windowsPath, sizeof windowsPath, "%s%s%.3s%04X.tmp", folder,
             folder[0] != '\0' && folder[strlen(folder) - 1] != '\\' ? "\\" : "", prefix, unique);
    if (strlen(windowsPath) >= MAX_PATH) return NoTempFile(ERROR_BUFFER_OVERFLOW);
    char native[1024];
    if (!NativeOf(windowsPath, native)) return 0;
    int descriptor = open(native, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (descriptor >= 0) {
      close(descriptor);
      lstrcpynA(tempFileName, windowsPath, MAX_PATH);
      return unique;
    }
    if (errno != EEXIST) return NoTempFile(errno == ENOENT ? ERROR_DIRECTORY : ErrorOfErrno(errno));
  }
  return NoTempFile(ERROR_FILE_EXISTS);
}

BOOL MoveFileExA(LPCSTR existingFile, LPCSTR newFile, DWORD flags) {
  char from[1024], to[1024];
  if (!NativeOf(existingFile, from) || !NativeOf(newFile, to)) return FALSE;
  if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
    // link() refuses an existing name, as a rename without replacing must.
    if (link(from, to) != 0) return errno == EEXIST ? FailWith(ERROR_ALREADY_EXISTS) : FailWithErrno();
    unlink(from);
    return TRUE;
  }
  return rename(from, to) == 0 ? TRUE : FailWithErrno();
}

BOOL MoveFileA(LPCSTR existingFile, LPCSTR newFile) { return MoveFileExA(existingFile, newFile, 0); }

BOOL DeleteFileA(LPCSTR fileName) {
  char native[1024];
  if (!NativeOf(fileName, native)) return FALSE;
  return unlink(native) == 0 ? TRUE : FailWithErrno();
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
  char native[1024];
  if (!NativeOf(path, native)) return FALSE;
  return mkdir(native, 0755) == 0 ? TRUE : FailWithErrno();
}

BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS, void* information) {
  char native[1024];
  struct stat info;
  if (!NativeOf(fileName, native)) return FALSE;
  if (stat(native, &info) != 0) return FailWithErrno();
  WIN32_FILE_ATTRIBUTE_DATA* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
  *data = WIN32_FILE_ATTRIBUTE_DATA{};
  data->dwFileAttributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  data->nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(info.st_size) >> 32);
  data->nFileSizeLow = static_cast<DWORD>(static_cast<uint64_t>(info.st_size) & 0xFFFFFFFFu);
  data->ftLastWriteTime = FileTimeOf(info.st_mtim);
  return TRUE;
}

// What the program opens files for: reading one that exists, making a new
// one, writing one anew, and appending to the log (creating it when missing).
HANDLE CreateFileA(LPCSTR fileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD, HANDLE) {
  char native[1024];
  if (!NativeOf(fileName, native)) return INVALID_HANDLE_VALUE;
  int flags = O_WRONLY | O_CREAT | O_APPEND;
  if (disposition == OPEN_EXISTING) flags = O_RDONLY;
  if (disposition == CREATE_NEW) flags = O_WRONLY | O_CREAT | O_EXCL;
  if (disposition == CREATE_ALWAYS) flags = O_WRONLY | O_CREAT | O_TRUNC;
  if (disposition == TRUNCATE_EXISTING) flags = O_WRONLY | O_TRUNC;
  int descriptor = open(native, flags, 0644);
  if (descriptor < 0) {
    FailWithErrno();
    return INVALID_HANDLE_VALUE;
  }
  return DescriptorToHandle(descriptor);
}

BOOL ReadFile(HANDLE file, void* data, DWORD length, DWORD* read, void*) {
  ssize_t got = ::read(HandleToDescriptor(file), data, length);
  if (got < 0) return FailWithErrno();
  *read = static_cast<DWORD>(got);
  return TRUE;
}

void Sleep(DWORD milliseconds) { usleep(static_cast<useconds_t>(milliseconds) * 1000); }

BOOL WriteFile(HANDLE file, const void* data, DWORD length, DWORD* written, void*) {
  ssize_t wrote = write(HandleToDescriptor(file), data, length);
  if (wrote < 0) return FailWithErrno();
  if (written != nullptr) *written = static_cast<DWORD>(wrote);
  return TRUE;
}

BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size) {
  struct stat info;
  if (fstat(HandleToDescriptor(file), &info) != 0) return FailWithErrno();
  size->QuadPart = static_cast<long long>(info.st_size);
  return TRUE;
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* position, DWORD method) {
  off_t at = lseek(HandleToDescriptor(file), static_cast<off_t>(distance.QuadPart),
                   method == FILE_BEGIN ? SEEK_SET : SEEK_CUR);
  if (at < 0) return FailWithErrno();
  if (position != nullptr) position->QuadPart = static_cast<long long>(at);
  return TRUE;
}

// The process's environment, with Windows' answers: the length written, or
// the room needed (with the terminator) when it does not fit, 0 when unset.
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR value, DWORD size) {
  const char* found = getenv(name);
  if (found == nullptr) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  DWORD length = static_cast<DWORD>(strlen(found));
  if (length >= size) return length + 1;
  memcpy(value, found, length + 1);
  return length;
}

DWORD GetFileType(HANDLE file) {
  struct stat info;
  if (fstat(HandleToDescriptor(file), &info) != 0 || !S_ISREG(info.st_mode)) return FILE_TYPE_UNKNOWN;
  return FILE_TYPE_DISK;
}

// Natively the tests run the delivery as a program started plainly.
LPSTR GetCommandLineA(void) {
  static char line[] = "Tollivane.exe";
  return line;
}

// The open file's own name, as the kernel keeps it, moved to the new one.
BOOL RenameOpenFile(HANDLE file, LPCSTR newPath) {
  char link[64];
  char current[1024];
  char target[1024];
  snprintf(link, sizeof link, "/proc/self/fd/%d", HandleToDescriptor(file));
  ssize_t length = readlink(link, current, sizeof current - 1);
  if (length < 0) return FailWithErrno();
  current[length] = '\0';
  if (!NativeOf(newPath, target)) return FALSE;
  return rename(current, target) == 0 ? TRUE : FailWithErrno();
}

void GetLocalTime(SYSTEMTIME* time) {
  time_t now = ::time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  *time = SYSTEMTIME{};
  time->wYear = static_cast<WORD>(local.tm_year + 1900);
  time->wMonth = static_cast<WORD>(local.tm_mon + 1);
  time->wDay = static_cast<WORD>(local.tm_mday);
  time->wHour = static_cast<WORD>(local.tm_hour);
  time->wMinute = static_cast<WORD>(local.tm_min);
  time->wSecond = static_cast<WORD>(local.tm_sec);
}

void GetSystemTimeAsFileTime(FILETIME* time) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  *time = FileTimeOf(now);
}

BOOL GetComputerNameA(LPSTR name, DWORD* size) {
  const char kName[] = "HOSTPC";
  if (*size < sizeof kName) return FailWith(ERROR_BUFFER_OVERFLOW);
  lstrcpynA(name, kName, static_cast<int>(*size));
  *size = sizeof kName - 1;
  return TRUE;
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found) {
  char folder[MAX_PATH];
  lstrcpynA(folder, pattern, MAX_PATH);
  char* star = strrchr(folder, '*');
  char* name = strrchr(folder, '\\');
  name = name != nullptr ? name + 1 : folder;
  if (star == nullptr || star < name || star - name >= 16 || strlen(star + 1) >= 16) {
    FailWith(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  HostSearch search = {};
  lstrcpynA(search.prefix, name, static_cast<int>(star - name) + 1);
  lstrcpynA(search.suffix, star + 1, sizeof search.suffix);
  *name = '\0';
  char native[1024];
  if (folder[0] == '\0') lstrcpynA(folder, ".", MAX_PATH);
  if (!NativeOf(folder, native)) return INVALID_HANDLE_VALUE;
  search.folder = opendir(native);
  if (search.folder == nullptr) {
    FailWith(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorOfErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  if (!FillFound(&search, found)) {
    closedir(search.folder);
    FailWith(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return new HostSearch(search);
}

BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* found) {
  return FillFound(static_cast<HostSearch*>(search), found) ? TRUE : FailWith(ERROR_NO_MORE_FILES);
}

BOOL FindClose(HANDLE search) {
  HostSearch* listing = static_cast<HostSearch*>(search);
  closedir(listing->folder);
  delete listing;
  return TRUE;
}

void HostSetSaveDialogHandler(HostSaveDialogHandler handler) { saveDialogHandler = handler; }

BOOL GetSaveFileNameA(OPENFILENAMEA* request) {
  return saveDialogHandler != nullptr ? saveDialogHandler(request) : FALSE;
}

DWORD CommDlgExtendedError(void) { return 0; }

BOOL ShowSaveDialogInFront(OPENFILENAMEA* request) { return GetSaveFileNameA(request); }

// A named mutex is a lock file beside drive C's root; the kernel drops a
// dead holder's lock, which is what an abandoned mutex is.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
  char windowsPath[MAX_PATH];
  snprintf(windowsPath, sizeof windowsPath, "C:\\mutex-%s.lock", name);
  for (char* c = windowsPath + 3; *c != '\0'; ++c)
    if (*c == '\\') *c = '_';
  char native[1024];
  if (!HostToNativePath(windowsPath, native, sizeof native)) return nullptr;
  int descriptor = open(native, O_RDWR | O_CREAT, 0644);
  return descriptor < 0 ? nullptr : DescriptorToHandle(descriptor);
}

HANDLE OpenEventA(DWORD, BOOL, LPCSTR) {
  lastError = ERROR_FILE_NOT_FOUND;
  return nullptr;
}

BOOL SetEvent(HANDLE) { return FailWith(ERROR_INVALID_HANDLE); }

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  pid_t process = ProcessOfHandle(handle);
  if (process != 0) return kill(process, 0) == 0 || errno != ESRCH ? WAIT_TIMEOUT : WAIT_OBJECT_0;
  long long deadline = MonotonicMilliseconds() + milliseconds;
  while (flock(HandleToDescriptor(handle), LOCK_EX | LOCK_NB) != 0) {
    if (MonotonicMilliseconds() >= deadline) return WAIT_TIMEOUT;
    usleep(1000);
  }
  return WAIT_OBJECT_0;
}

BOOL ReleaseMutex(HANDLE mutex) { return flock(HandleToDescriptor(mutex), LOCK_UN) == 0; }

BOOL CloseHandle(HANDLE handle) {
  for (OpenedProcess& opened : openedProcesses)
    if (opened.handle == handle) opened = OpenedProcess{};
  return close(HandleToDescriptor(handle)) == 0;
}

DWORD GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

// The handle is a descriptor of its own, so that CloseHandle closes it;
// waiting on it asks whether the process still runs.
HANDLE OpenProcess(DWORD, BOOL, DWORD processId) {
  if (kill(static_cast<pid_t>(processId), 0) != 0 && errno == ESRCH) {
    lastError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  for (OpenedProcess& opened : openedProcesses) {
    if (opened.handle != nullptr) continue;
    int descriptor = open("/dev/null", O_RDONLY);
    if (descriptor < 0) break;
    opened = OpenedProcess{DescriptorToHandle(descriptor), static_cast<pid_t>(processId)};
    return opened.handle;
  }
  lastError = ERROR_ACCESS_DENIED;
  return nullptr;
}
