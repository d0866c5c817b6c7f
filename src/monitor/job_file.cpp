// Job files: written through a buffer of the port's own, so a job costs a
// few large writes whatever piece size the spooler sends.
#include "monitor/job_file.h"

#include "delivery/settings.h"
#include "monitor/job_file_name.h"

namespace {

const int kNameAttempts = 16;

LONG jobSequence;

// Job files sit beside the spool file, on its volume, so that handing one
// over is a rename.
bool BuildJobPath(char* path, const char* name) {
  lstrcpynA(path, kSpoolFilePath, MAX_PATH);
  PathRemoveFileSpecA(path);
  return PathAppendA(path, name) != FALSE;
}

void CreateSpoolFolder(void) {
  char folder[MAX_PATH];
  lstrcpynA(folder, kSpoolFilePath, MAX_PATH);
  PathRemoveFileSpecA(folder);
  char parent[MAX_PATH];
  lstrcpynA(parent, folder, MAX_PATH);
  PathRemoveFileSpecA(parent);
  CreateDirectoryA(parent, nullptr);
  CreateDirectoryA(folder, nullptr);
}

bool FlushJobBuffer(PortState* port) {
  if (port->buffered == 0) return true;
  DWORD written = 0;
  BOOL ok = WriteFile(port->jobFile, port->buffer, port->buffered, &written, nullptr);
  if (!ok || written != port->buffered) {
    if (port->writeError == 0) port->writeError = ok ? ERROR_WRITE_FAULT : GetLastError();
    return false;
  }
  port->buffered = 0;
  return true;
}

}  // namespace

bool CreateJobFile(PortState* port) {
  CreateSpoolFolder();
  port->jobBytes = 0;
  port->buffered = 0;
  port->writeError = 0;
  // A file of a crashed job may hold the name a reused process id gives.
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char name[kJobFileNameSize];
    FormatJobFileName(GetCurrentProcessId(), static_cast<DWORD>(InterlockedIncrement(&jobSequence)), name);
    BuildJobPath(port->jobPath, name);
    port->jobFile = CreateFileA(port->jobPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (port->jobFile != INVALID_HANDLE_VALUE) return true;
    if (GetLastError() != ERROR_FILE_EXISTS) break;
  }
  DWORD error = GetLastError();
  port->jobPath[0] = '\0';
  SetLastError(error);
  return false;
}

bool AppendToJobFile(PortState* port, const BYTE* bytes, DWORD count) {
  while (count > 0) {
    if (port->writeError != 0) {
      SetLastError(port->writeError);
      return false;
    }
    DWORD room = kJobBufferSize - port->buffered;
    DWORD piece = count < room ? count : room;
    CopyMemory(port->buffer + port->buffered, bytes, piece);
    port->buffered += piece;
    port->jobBytes += piece;
    bytes += piece;
    count -= piece;
    if (port->buffered == kJobBufferSize && !FlushJobBuffer(port)) {
      SetLastError(port->writeError);
      return false;
    }
  }
  return true;
}

void FlushJobFile(PortState* port) {
  if (port->jobFile != INVALID_HANDLE_VALUE) FlushJobBuffer(port);
}

void CloseJobFile(PortState* port) {
  if (port->jobFile == INVALID_HANDLE_VALUE) return;
  FlushJobBuffer(port);
  CloseHandle(port->jobFile);
  port->jobFile = INVALID_HANDLE_VALUE;
}

void DiscardJobFile(PortState* port) {
  if (port->jobFile != INVALID_HANDLE_VALUE) CloseHandle(port->jobFile);
  port->jobFile = INVALID_HANDLE_VALUE;
  port->buffered = 0;
  if (port->jobPath[0] != '\0') DeleteFileA(port->jobPath);
  port->jobPath[0] = '\0';
}

void RemoveAbandonedJobFiles(const char* keep) {
  char pattern[MAX_PATH];
  if (!BuildJobPath(pattern, "File.pdf.*.job")) return;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    char path[MAX_PATH];
    if (IsJobFileName(found.cFileName) && BuildJobPath(path, found.cFileName) && lstrcmpiA(path, keep) != 0)
      DeleteFileA(path);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}
