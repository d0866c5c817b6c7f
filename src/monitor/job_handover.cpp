// The job's file replaces the spool file only under the port lock, and the
// lock is held until the program has taken its print: the next job must not
// replace the spool file before that. A run in prompt mode says when it has
// its copy (its dialog may then stay open for long without holding up
// anyone's prints); any other run is waited for until it exits. The lock
// cannot be made or held by a user: inside the spooler it is an object of
// the process alone.
#include "monitor/job_handover.h"

#include <sddl.h>

#include "delivery/delivery_log.h"
#include "delivery/taken_signal.h"
#include "monitor/access_rules.h"
#include "monitor/job_file.h"
#include "monitor/job_owner.h"
#include "monitor/monitor_names.h"
#include "monitor/program_start.h"

namespace {

// How often a wait looks whether the job was cancelled meanwhile, so that a
// user can free the port from the print queue.
const DWORD kWaitSliceMilliseconds = 1000;
// A viewer holding the spool file open may close it in a moment.
const DWORD kSpoolRetryMilliseconds = 250;
const int kSpoolRetries = 20;
const DWORD kJobInfoLimit = 1024 * 1024;
const DWORD kWaitWoken = 0xFFFFFFF0;  // the port closed or the spooler stops

// Inside the spooler's one process; null where the monitor runs in the
// printing user's process and the lock must be shared by name.
HANDLE processPortLock;
HANDLE spoolerStopping;

// The settings are read through one buffer of the process: jobs on ports of
// the same spooler take turns, for the moment of a reading.
SRWLOCK settingsReading = SRWLOCK_INIT;

bool ReadProgramValue(LONG status, DWORD type, DWORD bytes, wchar_t* program) {
  if (status != ERROR_SUCCESS || type != REG_SZ || bytes < sizeof(wchar_t)) return false;
  program[bytes / sizeof(wchar_t)] = L'\0';
  return program[0] != L'\0';
}
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

// One wait for one of `handles` (at most two) or the port's closing or the
// spooler's stop: the handle's index, WAIT_TIMEOUT, or kWaitWoken.
DWORD WaitOrWake(const HANDLE* handles, DWORD count, const PortState* port, DWORD milliseconds) {
  HANDLE waits[4];
  DWORD used = 0;
  for (DWORD i = 0; i < count && used < 2; ++i) waits[used++] = handles[i];
  DWORD firstWake = used;
  if (port->wake != nullptr) waits[used++] = port->wake;
  if (spoolerStopping != nullptr) waits[used++] = spoolerStopping;
  if (used == 0) {
    Sleep(milliseconds);
    return WAIT_TIMEOUT;
  }
  DWORD waited = WaitForMultipleObjects(used, waits, FALSE, milliseconds);
  if (waited >= WAIT_OBJECT_0 + firstWake && waited < WAIT_OBJECT_0 + used) return kWaitWoken;
  if (waited >= WAIT_ABANDONED_0 + firstWake && waited < WAIT_ABANDONED_0 + used) return kWaitWoken;
  return waited;
}

// Waits for one of `handles` (the lock, or the program and its signal)
// while the job lives: its index, WAIT_TIMEOUT when the job was cancelled,
// kWaitWoken when the port closes or the spooler stops.
DWORD WaitWhileJobAlive(const HANDLE* handles, DWORD count, PortState* port) {
  for (;;) {
    DWORD waited = WaitOrWake(handles, count, port, kWaitSliceMilliseconds);
    if (waited != WAIT_TIMEOUT) return waited;
    if (IsJobCancelled(port)) return WAIT_TIMEOUT;
  }
}

bool MakeSecurity(bool formatted, const char* sddl, PSECURITY_DESCRIPTOR* descriptor) {
  return formatted &&
         ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, descriptor, nullptr) != FALSE;
}

// Where the lock has a name, only SYSTEM, Administrators and the user of
// the process may open it.
HANDLE OpenNamedPortLock(const PortState* port) {
  char sid[kSidStringSize];
  char sddl[kOwnerSddlSize];
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (port->ownerToken == nullptr || !TokenUserSidString(port->ownerToken, sid, sizeof sid) ||
      !MakeSecurity(FormatPortLockSddl(sid, sddl, sizeof sddl), sddl, &descriptor))
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
  if (processPortLock == nullptr || !DuplicateHandle(GetCurrentProcess(), processPortLock, GetCurrentProcess(), &copy,
                                                     0, FALSE, DUPLICATE_SAME_ACCESS))
    return nullptr;
  return copy;
}

// A holder that died leaves the mutex abandoned; it is ours all the same.
HANDLE AcquirePortLock(PortState* port) {
  HANDLE mutex = OpenPortLock(port);
  if (mutex == nullptr) return nullptr;
  DWORD waited = WaitWhileJobAlive(&mutex, 1, port);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED_0) return mutex;
  CloseHandle(mutex);
  SetLastError(waited == WAIT_TIMEOUT || waited == kWaitWoken ? ERROR_CANCELLED : GetLastError());
  return nullptr;
}

void ReleasePortLock(HANDLE lock) {
  ReleaseMutex(lock);
  CloseHandle(lock);
}

BOOL FailJob(PortState* port, const char* reason, DWORD error) {
  DiscardJobFile(port);
  LogJobNotHandedOver(port, reason, error);
  port->record.reason = reason;
  port->record.error = error;
  SetLastError(error);
  return FALSE;
}

// The run's own event, made before the run starts: an event of that name
// made by anyone else first is not trusted, and the run is then waited for
// until it exits.
HANDLE CreateTakenSignal(const PortState* port, DWORD processId) {
  char name[kTakenSignalNameSize];
  char sid[kSidStringSize];
  char sddl[kOwnerSddlSize];
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  FormatTakenSignalName(processId, name);
  if (!TokenUserSidString(port->ownerToken, sid, sizeof sid) ||
      !MakeSecurity(FormatTakenSignalSddl(sid, sddl, sizeof sddl), sddl, &descriptor))
    return nullptr;
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  HANDLE taken = CreateEventA(&security, TRUE, FALSE, name);
  bool madeFirst = taken != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
  LocalFree(descriptor);
  if (madeFirst) return taken;
  if (taken != nullptr) CloseHandle(taken);
  return nullptr;
}

// A spool file another program holds open (a viewer without delete
// sharing) is tried again for a few seconds; after that this job alone fails.
bool ReplaceSpoolFile(PortState* port, const char** reason) {
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExA(port->jobPath, kSpoolFilePath, MOVEFILE_REPLACE_EXISTING)) return true;
    DWORD error = GetLastError();
    bool inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
    *reason = inUse ? "spool file in use" : "spool file not replaced";
    if (!inUse || attempt == kSpoolRetries || WaitOrWake(nullptr, 0, port, kSpoolRetryMilliseconds) == kWaitWoken) {
      SetLastError(error);
      break;
    }
  }
  return false;
}

// Under the lock: the spool file is replaced and the program run until it
// has taken its print or exited.
BOOL FileUnderLock(PortState* port, const wchar_t* program) {
  CloseJobFile(port);
  if (port->writeError != 0) return FailJob(port, "job file not written", port->writeError);
  if (!IsSpoolFolderSafe()) return FailJob(port, kUnsafeSpoolFolderReason, ERROR_PATH_NOT_FOUND);
  RemoveAbandonedJobFiles(port->jobPath);
  const char* reason = "spool file not replaced";
  if (!ReplaceSpoolFile(port, &reason)) return FailJob(port, reason, GetLastError());
  port->jobPath[0] = '\0';
  reason = "program not started";
  PROCESS_INFORMATION started = {};
  if (!StartProgramForJob(port, program, &reason, &started)) return FailJob(port, reason, GetLastError());
  HANDLE ended[2] = {started.hProcess, CreateTakenSignal(port, started.dwProcessId)};
  bool resumed = ResumeThread(started.hThread) != static_cast<DWORD>(-1);
  DWORD error = GetLastError();
  CloseHandle(started.hThread);
  if (!resumed) {
    TerminateProcess(started.hProcess, 1);
    CloseHandle(started.hProcess);
    if (ended[1] != nullptr) CloseHandle(ended[1]);
    return FailJob(port, "program not started", error);
  }
  DWORD waited = WaitWhileJobAlive(ended, ended[1] != nullptr ? 2 : 1, port);
  port->record.tookSignal = waited == WAIT_OBJECT_0 + 1;
  CloseHandle(started.hProcess);
  if (ended[1] != nullptr) CloseHandle(ended[1]);
  port->record.filed = true;
  return TRUE;
}

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

// JOB_INFO_1 with its strings, in the port's buffer grown to what GetJob
// asks for: a long document name must not hide a cancel.
const JOB_INFO_1W* ReadJobInfo(PortState* port) {
  if (port->printer == nullptr) return nullptr;
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD needed = 0;
    if (port->jobInfo != nullptr && GetJobW(port->printer, port->jobId, 1, port->jobInfo, port->jobInfoSize, &needed))
      return reinterpret_cast<const JOB_INFO_1W*>(port->jobInfo);
    if (port->jobInfo == nullptr && !GetJobW(port->printer, port->jobId, 1, nullptr, 0, &needed) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
      return nullptr;
    if (needed <= port->jobInfoSize || needed > kJobInfoLimit) return nullptr;
    void* grown = port->jobInfo == nullptr ? HeapAlloc(GetProcessHeap(), 0, needed)
                                           : HeapReAlloc(GetProcessHeap(), 0, port->jobInfo, needed);
    if (grown == nullptr) return nullptr;
    port->jobInfo = static_cast<BYTE*>(grown);
    port->jobInfoSize = needed;
  }
  return nullptr;
}

// What a failed job shows in the print queue: the monitor's reason.
void ShowJobStatus(PortState* port, const char* reason) {
  const JOB_INFO_1W* current = ReadJobInfo(port);
  if (current == nullptr) return;
  char status[160];
  wchar_t wideStatus[160];
  FormatJobStatus(reason, status, sizeof status);
  if (MultiByteToWideChar(CP_ACP, 0, status, -1, wideStatus, 160) == 0) return;
  JOB_INFO_1W changed = *current;
  changed.pStatus = wideStatus;
  changed.Position = JOB_POSITION_UNSPECIFIED;
  SetJobW(port->printer, port->jobId, 1, reinterpret_cast<BYTE*>(&changed), 0);
}

// The record key is made as the spooler, readable by administrators only.
void StoreJobRecord(PortState* port) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  JobRecordFacts* facts = &port->record;
  facts->year = now.wYear;
  facts->month = now.wMonth;
  facts->day = now.wDay;
  facts->hour = now.wHour;
  facts->minute = now.wMinute;
  facts->second = now.wSecond;
  char text[kJobRecordSize];
  FormatJobRecord(facts, text, sizeof text);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!MakeSecurity(true, kRecordKeySddl, &descriptor)) return;
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, TOLLIVANE_MONITORS_KEY TOLLIVANE_MONITOR_NAME TOLLIVANE_RECORD_SUBKEY, 0,
                      nullptr, 0, KEY_SET_VALUE, &security, &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExA(key, TOLLIVANE_RECORD_VALUE_A, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(lstrlenA(text) + 1));
    RegCloseKey(key);
  }
  LocalFree(descriptor);
}

}  // namespace

bool IsJobCancelled(PortState* port) {
  const JOB_INFO_1W* job = ReadJobInfo(port);
  return job != nullptr && (job->Status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED)) != 0;
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

void InitJobHandover(void) {
  if (spoolerStopping == nullptr) spoolerStopping = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (MonitorRunsInService() && processPortLock == nullptr) processPortLock = CreateMutexW(nullptr, FALSE, nullptr);
}

void StopJobHandover(void) {
  if (spoolerStopping != nullptr) SetEvent(spoolerStopping);
}

// Everything here runs as the spooler itself, in the protected spool
// folder; only the log line is written as the owner.
BOOL EndPortJob(PortState* port, const MonitorRegistry* registry) {
  port->record.endImpersonating = ThreadIsImpersonating();
  SavedIdentity saved;
  bool asSpooler = ActAsSpooler(&saved);
  DWORD identityError = GetLastError();
  BOOL done = FALSE;
  if (port->refusal != nullptr)
    done = FailJob(port, port->refusal, port->refusalError);
  else if (!asSpooler)
    done = FailJob(port, "thread identity not readable", identityError);
  else
    done = HandOverJob(port, registry);
  DWORD error = GetLastError();
  if (asSpooler) {
    StoreJobRecord(port);
    RestoreIdentity(&saved);
  }
  if (!done) ShowJobStatus(port, port->record.reason);
  SetLastError(error);
  return done;
}
