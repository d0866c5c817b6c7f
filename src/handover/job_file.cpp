// Job files: written through a buffer of the port's own, so a job costs a
// few large writes whatever piece size the spooler sends. Every call here is
// made as the spooler itself, after the owner check. No file is ever opened
// because its name matched a pattern: only names the port itself made and
// recorded are opened again.
#include "handover/job_file.h"

#include <ntsecapi.h>
#include <sddl.h>

#include "delivery/settings.h"
#include "monitor/access_rules.h"
#include "monitor/job_file_name.h"
#include "handover/job_owner.h"
#include "monitor/monitor_names.h"
#include "platform/security_facts.h"

namespace {

// A random name is taken only by chance; a few tries rule that out.
const int kNameAttempts = 4;
// A viewer an administrator has open on the spool file may close it in a moment.
const DWORD kSpoolRetryMilliseconds = 250;
const int kSpoolRetries = 20;
// Job files left behind at once: more wait for a later job's clean-up.
const int kCleanupBatch = 32;

// Job files sit beside the spool file, on its volume, so that handing one
// over is a rename.
bool BuildJobPath(char* path, const char* name) {
  lstrcpynA(path, kSpoolFilePath, MAX_PATH);
  PathRemoveFileSpecA(path);
  return PathAppendA(path, name) != FALSE;
}

const char* NameOf(const char* path) {
  const char* name = path;
  for (const char* at = path; *at != '\0'; ++at)
    if (*at == '\\') name = at + 1;
  return name;
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

HKEY OpenJobList(void) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kRecordKeySddl, SDDL_REVISION_1, &descriptor, nullptr))
    return nullptr;
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, TOLLIVANE_PRODUCT_KEY TOLLIVANE_JOB_FILES_SUBKEY, 0, nullptr, 0,
                                KEY_QUERY_VALUE | KEY_SET_VALUE, &security, &key, nullptr);
  LocalFree(descriptor);
  return status == ERROR_SUCCESS ? key : nullptr;
}

// A name is recorded before its file is made and forgotten once it is gone.
bool RecordJobFileName(const char* name) {
  HKEY list = OpenJobList();
  if (list == nullptr) return false;
  BYTE none = 0;
  bool recorded = RegSetValueExA(list, name, 0, REG_NONE, &none, 0) == ERROR_SUCCESS;
  RegCloseKey(list);
  return recorded;
}

void ForgetJobFileName(const char* name) {
  HKEY list = OpenJobList();
  if (list == nullptr) return;
  RegDeleteValueA(list, name);
  RegCloseKey(list);
}

bool NewJobFileName(char* name) {
  BYTE random[kJobFileRandomBytes];
  if (!RtlGenRandom(random, sizeof random)) {
    SetLastError(ERROR_GEN_FAILURE);
    return false;
  }
  FormatJobFileName(random, name);
  if (RecordJobFileName(name)) return true;
  SetLastError(ERROR_REGISTRY_IO_FAILED);
  return false;
}

HANDLE CreateNewJobFile(PortState* port, SECURITY_ATTRIBUTES* security) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char name[kJobFileNameSize];
    if (!NewJobFileName(name)) break;
    if (!BuildJobPath(port->jobPath, name)) break;
    HANDLE file =
        CreateFileA(port->jobPath, GENERIC_WRITE, FILE_SHARE_READ, security, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE) return file;
    ForgetJobFileName(name);
    SetLastError(error);
    if (error != ERROR_FILE_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
}

bool IsPlainFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information;
  return GetFileInformationByHandle(file, &information) &&
         (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

bool IsMonitorOwnFile(HANDLE file) {
  SecurityFacts facts;
  if (!IsPlainFile(file) || !ReadSecurityFacts(file, SE_FILE_OBJECT, &facts)) return false;
  TrusteeKind owner = facts.folder.owner;
  return owner == kTrusteeSystem || owner == kTrusteeAdministrators || owner == kTrusteeSetupUser;
}

// A rename through the handle: the file renamed is the one checked.
bool RenameHeldFile(HANDLE file, const char* path, bool replace) {
  alignas(8) BYTE buffer[sizeof(FILE_RENAME_INFO) + MAX_PATH * sizeof(wchar_t)] = {};
  FILE_RENAME_INFO* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer);
  int length = MultiByteToWideChar(CP_ACP, 0, path, -1, rename->FileName, MAX_PATH);
  if (length <= 1) return false;
  rename->ReplaceIfExists = replace ? TRUE : FALSE;
  rename->FileNameLength = static_cast<DWORD>(length - 1) * sizeof(wchar_t);
  return SetFileInformationByHandle(file, FileRenameInfo, rename, sizeof buffer) != FALSE;
}

bool MarkForDeletion(HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

HANDLE OpenForDeletion(const char* path) {
  return CreateFileA(path, DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// The spool file of the last job goes aside under a recorded name; a run
// still reading it keeps it until it lets it go. Only SYSTEM, Administrators
// and runs through the port's own handles can have it open, all sharing
// its deletion but for an administrator's program, waited for a moment.
bool MoveSpoolFileAside(PortState* port, const char** reason) {
  for (int attempt = 0;; ++attempt) {
    HANDLE spool = OpenForDeletion(kSpoolFilePath);
    DWORD error = GetLastError();
    if (spool == INVALID_HANDLE_VALUE && error == ERROR_FILE_NOT_FOUND) return true;
    if (spool != INVALID_HANDLE_VALUE) {
      if (!IsMonitorOwnFile(spool)) {
        CloseHandle(spool);
        *reason = "spool file not made by the printer";
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
      }
      char name[kJobFileNameSize];
      char aside[MAX_PATH];
      bool named = NewJobFileName(name);
      bool moved = named && BuildJobPath(aside, name) && RenameHeldFile(spool, aside, false);
      error = moved ? 0 : GetLastError();
      if (moved) MarkForDeletion(spool);
      CloseHandle(spool);
      if (moved) return true;
      if (named) ForgetJobFileName(name);
    }
    bool inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
    *reason = inUse ? "spool file in use" : "spool file not replaced";
    if (!inUse || attempt == kSpoolRetries) {
      SetLastError(error);
      return false;
    }
    if (port->wake != nullptr && WaitForSingleObject(port->wake, kSpoolRetryMilliseconds) == WAIT_OBJECT_0) {
      SetLastError(ERROR_CANCELLED);
      return false;
    }
  }
}

// One of the setup's folders, by its place in the table.
bool HoldFolder(int folder, HANDLE* held) {
  uint32_t usersMay = kProtectedFolders[folder].usersMay;
  *held = CreateFileA(kProtectedFolders[folder].path, READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_TRAVERSE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (*held == INVALID_HANDLE_VALUE) return false;
  // The name's attributes too: Wine follows a Unix link even when opening
  // the link itself, and tells it only by name.
  BY_HANDLE_FILE_INFORMATION information;
  SecurityFacts facts;
  bool secured = GetFileInformationByHandle(*held, &information) &&
                 IsSafeFolderAttributes(information.dwFileAttributes) &&
                 IsSafeFolderAttributes(GetFileAttributesA(kProtectedFolders[folder].path)) &&
                 ReadSecurityFacts(*held, SE_FILE_OBJECT, &facts) &&
                 IsSpoolFolderSecured(&facts.folder, usersMay, !MonitorRunsInService());
  if (secured) return true;
  CloseHandle(*held);
  *held = INVALID_HANDLE_VALUE;
  SetLastError(ERROR_PATH_NOT_FOUND);
  return false;
}

}  // namespace

bool HoldSpoolFolders(SpoolFolders* folders, const char** reason) {
  folders->kestrin = INVALID_HANDLE_VALUE;
  folders->print = INVALID_HANDLE_VALUE;
  if (HoldFolder(kKestrinFolder, &folders->kestrin) && HoldFolder(kSpoolFolder, &folders->print)) return true;
  DWORD error = GetLastError();
  ReleaseSpoolFolders(folders);
  *reason = "spool folder missing, a link, or not secured by setup";
  SetLastError(error);
  return false;
}

void ReleaseSpoolFolders(SpoolFolders* folders) {
  if (folders->kestrin != INVALID_HANDLE_VALUE) CloseHandle(folders->kestrin);
  if (folders->print != INVALID_HANDLE_VALUE) CloseHandle(folders->print);
  folders->kestrin = INVALID_HANDLE_VALUE;
  folders->print = INVALID_HANDLE_VALUE;
}

bool CreateJobFile(PortState* port) {
  port->jobBytes = 0;
  port->buffered = 0;
  port->writeError = 0;
  port->jobPath[0] = '\0';
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kJobFileSddl, SDDL_REVISION_1, &descriptor, nullptr))
    return false;
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
  // A piece of a buffer's size or more goes straight to the file.
  if (port->buffered == 0 && count >= kJobBufferSize && port->writeError == 0) {
    DWORD written = 0;
    BOOL ok = WriteFile(port->jobFile, bytes, count, &written, nullptr);
    if (!ok || written != count) port->writeError = ok ? ERROR_WRITE_FAULT : GetLastError();
    port->jobBytes += count;
    return;
  }
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

// Through the handle the job wrote with, or one opened anew as the spooler:
// the name was recorded by this port, in a folder only it adds files to.
void DiscardJobFile(PortState* port) {
  port->buffered = 0;
  if (port->jobPath[0] == '\0') {
    if (port->jobFile != INVALID_HANDLE_VALUE) CloseHandle(port->jobFile);
    port->jobFile = INVALID_HANDLE_VALUE;
    return;
  }
  if (port->jobFile != INVALID_HANDLE_VALUE) CloseHandle(port->jobFile);
  port->jobFile = INVALID_HANDLE_VALUE;
  SavedIdentity saved;
  if (ActAsSpooler(&saved)) {
    HANDLE file = OpenForDeletion(port->jobPath);
    bool gone = file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND;
    if (file != INVALID_HANDLE_VALUE) {
      gone = IsMonitorOwnFile(file) && MarkForDeletion(file);
      CloseHandle(file);
    }
    if (gone) ForgetJobFileName(NameOf(port->jobPath));
    RestoreIdentity(&saved);
  }
  port->jobPath[0] = '\0';
}

bool PutJobInPlace(PortState* port, HANDLE* print, const char** reason) {
  *print = CreateFileA(port->jobPath, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (*print == INVALID_HANDLE_VALUE || !IsMonitorOwnFile(*print)) {
    *reason = "job file not readable";
    DWORD error = GetLastError();
    if (*print != INVALID_HANDLE_VALUE) CloseHandle(*print);
    *print = INVALID_HANDLE_VALUE;
    SetLastError(error);
    return false;
  }
  if (MoveSpoolFileAside(port, reason)) {
    *reason = "spool file not replaced";
    if (RenameHeldFile(*print, kSpoolFilePath, false)) {
      ForgetJobFileName(NameOf(port->jobPath));
      port->jobPath[0] = '\0';
      return true;
    }
  }
  DWORD error = GetLastError();
  CloseHandle(*print);
  *print = INVALID_HANDLE_VALUE;
  SetLastError(error);
  return false;
}

void RemoveLeftJobFiles(const PortState* port) {
  HKEY list = OpenJobList();
  if (list == nullptr) return;
  char names[kCleanupBatch][kJobFileNameSize];
  int count = 0;
  for (DWORD index = 0; count < kCleanupBatch; ++index) {
    DWORD length = kJobFileNameSize;
    LONG status = RegEnumValueA(list, index, names[count], &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_SUCCESS && IsJobFileName(names[count]) && lstrcmpiA(names[count], NameOf(port->jobPath)) != 0)
      ++count;
  }
  RegCloseKey(list);
  for (int i = 0; i < count; ++i) {
    char path[MAX_PATH];
    if (!BuildJobPath(path, names[i])) continue;
    HANDLE file = OpenForDeletion(path);
    bool gone = file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND;
    if (file != INVALID_HANDLE_VALUE) {
      if (IsMonitorOwnFile(file)) MarkForDeletion(file);
      CloseHandle(file);
      gone = GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    if (gone) ForgetJobFileName(names[i]);
  }
}
