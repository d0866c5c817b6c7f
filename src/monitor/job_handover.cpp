// The job's file replaces the spool file only under the port lock, and the
// lock is held until the program has exited: the next job must not replace
// the spool file under an open Save As dialog. The lock cannot be made or
// held by a user: inside the spooler it is an object of the process alone.
#include "monitor/job_handover.h"

#include <sddl.h>

#include "delivery/delivery_log.h"
#include "monitor/access_rules.h"
#include "monitor/job_file.h"
#include "monitor/job_owner.h"
#include "monitor/monitor_names.h"
#include "monitor/program_start.h"

namespace {

const DWORD kJobInfoBufferSize = 2048;
// How often a wait looks whether the job was cancelled meanwhile, so that a
// user can free the port from the print queue.
const DWORD kWaitSliceMilliseconds = 1000;

bool ReadProgramValue(LONG status, DWORD type, DWORD bytes, wchar_t* program) {
  if (status != ERROR_SUCCESS || type != REG_SZ || bytes < sizeof(wchar_t)) return false;
  program[bytes / sizeof(wchar_t)] = L'\0';
  return program[0] != L'\0';
}

// Where the setup recorded the program: through the spooler's registry
// functions where it has them, else in the monitor's key.
bool ReadProgramPath(const MonitorRegistry* registry, wchar_t* program) {
  DWORD type = 0;
  DWORD bytes = (MAX_PATH - 1) * sizeof(wchar_t);
  PMONITORREG functions = registry->functions;
  if (functions != nullptr && functions->cbSize >= sizeof(MONITORREG) && functions->fpQueryValue != nullptr) {
    LONG status = functions->fpQueryValue(registry->root, TOLLIVANE_PROGRAM_VALUE, &type,
                                          reinterpret_cast<BYTE*>(program), &bytes, registry->spooler);
    if (status != ERROR_CALL_NOT_IMPLEMENTED) return ReadProgramValue(status, type, bytes, program);
  }
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TOLLIVANE_MONITORS_KEY TOLLIVANE_MONITOR_NAME, 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS)
    return false;
  bytes = (MAX_PATH - 1) * sizeof(wchar_t);
  LONG status =
      RegQueryValueExW(key, TOLLIVANE_PROGRAM_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(program), &bytes);
  RegCloseKey(key);
  return ReadProgramValue(status, type, bytes, program);
}

// Waits for `handle` (the lock or the program) while the job lives.
DWORD WaitWhileJobAlive(HANDLE handle, const PortState* port) {
  for (;;) {
    DWORD waited = WaitForSingleObject(handle, kWaitSliceMilliseconds);
    if (waited != WAIT_TIMEOUT) return waited;
    if (IsJobCancelled(port)) return WAIT_TIMEOUT;
  }
}

// Inside the spooler's one process; null where the monitor runs in the
// printing user's process and the lock must be shared by name.
HANDLE processPortLock;

// Where the lock has a name, only SYSTEM, Administrators and the user of
// the process may open it.
HANDLE OpenNamedPortLock(const PortState* port) {
  char sid[kSidStringSize];
  char sddl[kOwnerSddlSize];
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (port->ownerToken == nullptr || !TokenUserSidString(port->ownerToken, sid, sizeof sid) ||
      !FormatPortLockSddl(sid, sddl, sizeof sddl) ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
    return nullptr;
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  HANDLE mutex = CreateMutexW(&security, FALSE, TOLLIVANE_PORT_LOCK);
  DWORD error = GetLastError();
  LocalFree(descriptor);
  SetLastError(error);
  return mutex;
}

HANDLE OpenPortLock(const PortState* port) {
  if (!MonitorRunsInService()) return OpenNamedPortLock(port);
  HANDLE copy = nullptr;
  if (processPortLock == nullptr ||
      !DuplicateHandle(GetCurrentProcess(), processPortLock, GetCurrentProcess(), &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return nullptr;
  return copy;
}

// A holder that died leaves the mutex abandoned; it is ours all the same.
HANDLE AcquirePortLock(const PortState* port) {
  HANDLE mutex = OpenPortLock(port);
  if (mutex == nullptr) return nullptr;
  DWORD waited = WaitWhileJobAlive(mutex, port);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return mutex;
  CloseHandle(mutex);
  SetLastError(waited == WAIT_TIMEOUT ? ERROR_CANCELLED : GetLastError());
  return nullptr;
}

void ReleasePortLock(HANDLE lock) {
  ReleaseMutex(lock);
  CloseHandle(lock);
}

BOOL FailJob(PortState* port, const char* reason, DWORD error) {
  DiscardJobFile(port);
  LogJobNotHandedOver(port, reason, error);
  SetLastError(error);
  return FALSE;
}

// Under the lock: the spool file is replaced and the program run to its end.
BOOL FileUnderLock(PortState* port, const wchar_t* program) {
  CloseJobFile(port);
  if (port->writeError != 0) return FailJob(port, "job file not written", port->writeError);
  if (!IsSpoolFolderSafe()) return FailJob(port, kUnsafeSpoolFolderReason, ERROR_PATH_NOT_FOUND);
  RemoveAbandonedJobFiles(port->jobPath);
  if (!MoveFileExA(port->jobPath, kSpoolFilePath, MOVEFILE_REPLACE_EXISTING))
    return FailJob(port, "spool file not replaced", GetLastError());
  port->jobPath[0] = '\0';
  const char* reason = "program not started";
  HANDLE process = StartProgramForJob(port, program, &reason);
  if (process == nullptr) return FailJob(port, reason, GetLastError());
  WaitWhileJobAlive(process, port);
  CloseHandle(process);
  return TRUE;
}

// The settings are read through one buffer of the process: jobs on ports of
// the same spooler take turns, for the moment of a reading.
SRWLOCK settingsReading = SRWLOCK_INIT;

}  // namespace

bool IsJobCancelled(const PortState* port) {
  if (port->printer == nullptr) return false;
  alignas(8) BYTE buffer[kJobInfoBufferSize];
  DWORD needed = 0;
  if (!GetJobW(port->printer, port->jobId, 1, buffer, sizeof buffer, &needed)) return false;
  DWORD status = reinterpret_cast<const JOB_INFO_1W*>(buffer)->Status;
  return (status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED)) != 0;
}

void LogJobNotHandedOver(const PortState* port, const char* reason, DWORD error) {
  if (!port->ownerMayPrint || port->ownerToken == nullptr) return;
  SavedIdentity saved;
  if (!ActAsOwner(port->ownerToken, &saved)) return;
  JobSettings job;
  char settingsPath[MAX_PATH];
  AcquireSRWLockExclusive(&settingsReading);
  InitReservedChars();
  ReadJobSettings(&job, settingsPath);
  ReleaseSRWLockExclusive(&settingsReading);
  if (IsMonitorLogPath(job.logFile)) {
    DeliveryOutcome outcome = {};
    outcome.result = kNotFiled;
    outcome.reason = reason;
    outcome.error = error;
    WriteDeliveryLog(job.logFile, job.promptEachPrint != 1, &outcome, true);
  }
  RestoreIdentity(&saved);
}

void InitPortLock(void) {
  if (MonitorRunsInService() && processPortLock == nullptr) processPortLock = CreateMutexW(nullptr, FALSE, nullptr);
}

namespace {

BOOL HandOverJob(PortState* port, const MonitorRegistry* registry) {
  FlushJobFile(port);
  if (IsJobCancelled(port)) {
    FailJob(port, "job cancelled", 0);
    return TRUE;
  }
  if (port->writeError != 0) return FailJob(port, "job file not written", port->writeError);
  if (port->jobBytes == 0) {
    FailJob(port, "empty job", 0);
    return TRUE;
  }
  wchar_t program[MAX_PATH];
  if (!ReadProgramPath(registry, program)) return FailJob(port, "program not recorded by setup", ERROR_FILE_NOT_FOUND);
  if (GetFileAttributesW(program) == INVALID_FILE_ATTRIBUTES) return FailJob(port, "program missing", GetLastError());
  HANDLE lock = AcquirePortLock(port);
  if (lock == nullptr) return FailJob(port, "port lock not had", GetLastError());
  BOOL done = FileUnderLock(port, program);
  DWORD error = GetLastError();
  ReleasePortLock(lock);
  SetLastError(error);
  return done;
}

}  // namespace

// Everything here runs as the spooler itself, in the protected spool
// folder; only the log line is written as the owner.
BOOL EndPortJob(PortState* port, const MonitorRegistry* registry) {
  if (port->refusal != nullptr) return FailJob(port, port->refusal, port->refusalError);
  SavedIdentity saved;
  if (!ActAsSpooler(&saved)) return FailJob(port, "thread identity not readable", GetLastError());
  BOOL done = HandOverJob(port, registry);
  RestoreIdentity(&saved);
  return done;
}
