// Job files: written through a buffer of the port's own, so a job costs a
// few large writes whatever piece size the spooler sends. Every call here is
// made as the spooler itself, after the owner check.
#include "monitor/job_file.h"

#include <aclapi.h>
#include <ntsecapi.h>
#include <sddl.h>

#include "delivery/settings.h"
#include "monitor/access_rules.h"
#include "monitor/job_file_name.h"
#include "monitor/job_owner.h"

namespace {

// A random name is taken only by chance; a few tries rule that out.
const int kNameAttempts = 4;
const char kKestrinFolder[] = "C:\\Kestrin";

// Job files sit beside the spool file, on its volume, so that handing one
// over is a rename.
bool BuildJobPath(char* path, const char* name) {
  lstrcpynA(path, kSpoolFilePath, MAX_PATH);
  PathRemoveFileSpecA(path);
  return PathAppendA(path, name) != FALSE;
}

// A failed or short write ends the job's writing: what follows is dropped.
bool FlushJobBuffer(PortState* port) {
  DWORD count = port->buffered;
  port->buffered = 0;
  if (count == 0 || port->writeError != 0) return port->writeError == 0;
  DWORD written = 0;
  BOOL ok = WriteFile(port->jobFile, port->buffer, count, &written, nullptr);
  if (!ok || written != count) port->writeError = ok ? ERROR_WRITE_FAULT : GetLastError();
  return port->writeError == 0;
}

// The job file's access list: the owner reads, nobody else but SYSTEM and
// Administrators.
bool MakeJobFileSecurity(const char* ownerSid, PSECURITY_DESCRIPTOR* descriptor) {
  char sddl[kOwnerSddlSize];
  if (!FormatJobFileSddl(ownerSid, sddl, sizeof sddl)) {
    SetLastError(ERROR_INVALID_SID);
    return false;
  }
  return ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, descriptor, nullptr) != FALSE;
}

HANDLE CreateNewJobFile(PortState* port, SECURITY_ATTRIBUTES* security) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    BYTE random[kJobFileRandomBytes];
    if (!RtlGenRandom(random, sizeof random)) {
      SetLastError(ERROR_GEN_FAILURE);
      return INVALID_HANDLE_VALUE;
    }
    char name[kJobFileNameSize];
    FormatJobFileName(random, name);
    if (!BuildJobPath(port->jobPath, name)) break;
    HANDLE file =
        CreateFileA(port->jobPath, GENERIC_WRITE, FILE_SHARE_READ, security, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    if (GetLastError() != ERROR_FILE_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
}

bool IsMonitorOwnFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
    return false;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      &descriptor) != ERROR_SUCCESS)
    return false;
  bool own = IsMonitorOwnSid(owner);
  LocalFree(descriptor);
  return own;
}

// Opened without sharing: a job still writing its file keeps it from here.
void DeleteIfMonitorOwn(const char* path) {
  HANDLE file = CreateFileA(path, DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  if (IsMonitorOwnFile(file)) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
  }
  CloseHandle(file);
}

}  // namespace

const char kUnsafeSpoolFolderReason[] = "spool folder missing or a link";

bool IsSpoolFolderSafe(void) {
  char folder[MAX_PATH];
  lstrcpynA(folder, kSpoolFilePath, MAX_PATH);
  PathRemoveFileSpecA(folder);
  return IsSafeFolderAttributes(GetFileAttributesA(kKestrinFolder)) &&
         IsSafeFolderAttributes(GetFileAttributesA(folder));
}

bool CreateJobFile(PortState* port, const char* ownerSid) {
  port->jobBytes = 0;
  port->buffered = 0;
  port->writeError = 0;
  port->jobPath[0] = '\0';
  if (!IsSpoolFolderSafe()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!MakeJobFileSecurity(ownerSid, &descriptor)) return false;
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  port->jobFile = CreateNewJobFile(port, &security);
  DWORD error = GetLastError();
  LocalFree(descriptor);
  if (port->jobFile != INVALID_HANDLE_VALUE) return true;
  port->jobPath[0] = '\0';
  SetLastError(error);
  return false;
}

void AppendToJobFile(PortState* port, const BYTE* bytes, DWORD count) {
  while (count > 0 && port->writeError == 0) {
    DWORD room = kJobBufferSize - port->buffered;
    DWORD piece = count < room ? count : room;
    CopyMemory(port->buffer + port->buffered, bytes, piece);
    port->buffered += piece;
    port->jobBytes += piece;
    bytes += piece;
    count -= piece;
    if (port->buffered == kJobBufferSize) FlushJobBuffer(port);
  }
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
  SavedIdentity saved;
  if (port->jobPath[0] != '\0' && IsSpoolFolderSafe() && ActAsSpooler(&saved)) {
    DeleteFileA(port->jobPath);
    RestoreIdentity(&saved);
  }
  port->jobPath[0] = '\0';
}

void RemoveAbandonedJobFiles(const char* keep) {
  char pattern[MAX_PATH];
  if (!IsSpoolFolderSafe() || !BuildJobPath(pattern, "File.pdf.*.job")) return;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    char path[MAX_PATH];
    if (IsJobFileName(found.cFileName) &&
        (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        BuildJobPath(path, found.cFileName) && lstrcmpiA(path, keep) != 0)
      DeleteIfMonitorOwn(path);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}
