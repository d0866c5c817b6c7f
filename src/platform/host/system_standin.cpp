// Native stand-in for the kernel32 string, file-copy and mutex calls and for
// the save dialog, which the tests answer through a handler of their own.
#include "win32_standin.h"

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

HostSaveDialogHandler saveDialogHandler;

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

LPSTR lstrcpynA(LPSTR destination, LPCSTR source, int capacity) {
  if (capacity <= 0) return destination;
  size_t limit = static_cast<size_t>(capacity) - 1;
  size_t length = strnlen(source, limit);
  memmove(destination, source, length);
  destination[length] = '\0';
  return destination;
}

BOOL CopyFileA(LPCSTR existingFile, LPCSTR newFile, BOOL failIfExists) {
  char from[1024], to[1024];
  if (!HostToNativePath(existingFile, from, sizeof from) || !HostToNativePath(newFile, to, sizeof to)) return FALSE;
  struct stat info;
  if (stat(to, &info) == 0 && S_ISDIR(info.st_mode)) return FALSE;
  int source = open(from, O_RDONLY);
  if (source < 0) return FALSE;
  int flags = O_WRONLY | O_CREAT | (failIfExists ? O_EXCL : O_TRUNC);
  int destination = open(to, flags, 0644);
  if (destination < 0) {
    close(source);
    return FALSE;
  }
  bool copied = CopyContents(source, destination);
  close(source);
  if (close(destination) != 0) copied = false;
  if (!copied) unlink(to);
  return copied ? TRUE : FALSE;
}

void HostSetSaveDialogHandler(HostSaveDialogHandler handler) { saveDialogHandler = handler; }

BOOL GetSaveFileNameA(OPENFILENAMEA* request) {
  return saveDialogHandler != nullptr ? saveDialogHandler(request) : FALSE;
}

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

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  long long deadline = MonotonicMilliseconds() + milliseconds;
  while (flock(HandleToDescriptor(handle), LOCK_EX | LOCK_NB) != 0) {
    if (MonotonicMilliseconds() >= deadline) return WAIT_TIMEOUT;
    usleep(1000);
  }
  return WAIT_OBJECT_0;
}

BOOL ReleaseMutex(HANDLE mutex) { return flock(HandleToDescriptor(mutex), LOCK_UN) == 0; }

BOOL CloseHandle(HANDLE handle) { return close(HandleToDescriptor(handle)) == 0; }
