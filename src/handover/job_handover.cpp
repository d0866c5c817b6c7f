// The job's file becomes the spool file only under the port lock, and the
// lock is held until the program's run holds the print: it inherits a
// handle to the job's file and sets an unnamed event it inherits too, at
// once, whatever its mode; its dialog or a slow output folder then holds up
// nobody's prints. A run that has not said so within the bound is ended and
// its job fails. The lock cannot be made or held by a user: inside the
// spooler and in the IPP printer's service it is a mutex in a private
// namespace only SYSTEM can make, so the two never write the spool file at
// once; elsewhere it is named, for the user alone. The monitor reads no
// settings: its reasons go to the print queue and the job's record.
#include "handover/job_handover.h"

#include <sddl.h>

#include "monitor/access_rules.h"
#include "handover/job_file.h"
#include "handover/job_owner.h"
#include "monitor/monitor_names.h"
#include "handover/program_start.h"

namespace {

// How often a wait looks whether the job was cancelled meanwhile, so that a
// user can free the port from the print queue.
const DWORD kWaitSliceMilliseconds = 1000;
const DWORD kJobInfoLimit = 1024 * 1024;
const DWORD kWaitWoken = 0xFFFFFFF0;      // the port closed or the spooler stops
const DWORD kWaitPastBound = 0xFFFFFFF1;  // longer than the wait may last
// A run holds its print a moment after it starts; one that does not by
// then is ended. The lock is held by one job at a time for at most that.
const DWORD kTakeBoundMilliseconds = 60 * 1000;
const DWORD kLockBoundMilliseconds = 3 * kTakeBoundMilliseconds;

// Where the code runs as SYSTEM: the lock in its namespace, both kept open
// for the process's life (the namespace lives while a handle to it does).
// Null where the monitor runs in the printing user's process.
HANDLE servicePortLock;
HANDLE servicePortNamespace;
HANDLE spoolerStopping;

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
  LONG status =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, TOLLIVANE_MONITORS_KEY TOLLIVANE_MONITOR_NAME, 0, KEY_QUERY_VALUE, &key);
  if (status == ERROR_SUCCESS) {
    bytes = (MAX_PATH - 1) * sizeof(wchar_t);
    status = RegQueryValueExW(key, TOLLIVANE_PROGRAM_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(program), &bytes);
    RegCloseKey(key);
    if (ReadProgramValue(status, type, bytes, program)) return true;
  }
  if (registry->besideProgram == nullptr || lstrlenW(registry->besideProgram) >= MAX_PATH) return false;
  lstrcpynW(program, registry->besideProgram, MAX_PATH);
  return true;
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

// Waits for one of `handles` (the lock, or the run's signal and the run)
// while the job lives, for at most `bound`: its index, WAIT_TIMEOUT when the
// job was cancelled, kWaitWoken when the port closes or the spooler stops,
// kWaitPastBound.
DWORD WaitWhileJobAlive(const HANDLE* handles, DWORD count, PortState* port, DWORD bound) {
  ULONGLONG deadline = GetTickCount64() + bound;
  for (;;) {
    ULONGLONG now = GetTickCount64();
    if (now >= deadline) return kWaitPastBound;
    DWORD left = static_cast<DWORD>(deadline - now);
    DWORD waited = WaitOrWake(handles, count, port, left < kWaitSliceMilliseconds ? left : kWaitSliceMilliseconds);
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

// The namespace functions, looked up when needed: Wine has not all of them,
// and the monitor must load there all the same.
struct NamespaceFunctions {
  HANDLE(WINAPI* createBoundary)(LPCWSTR, ULONG);
  BOOL(WINAPI* addSid)(HANDLE*, PSID);
  VOID(WINAPI* deleteBoundary)(HANDLE);
  HANDLE(WINAPI* createNamespace)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
  HANDLE(WINAPI* openNamespace)(LPVOID, LPCWSTR);
};

bool FindNamespaceFunctions(NamespaceFunctions* f) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return false;
  f->createBoundary = reinterpret_cast<decltype(f->createBoundary)>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "CreateBoundaryDescriptorW")));
  f->addSid = reinterpret_cast<decltype(f->addSid)>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "AddSIDToBoundaryDescriptor")));
  f->deleteBoundary = reinterpret_cast<decltype(f->deleteBoundary)>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "DeleteBoundaryDescriptor")));
  f->createNamespace = reinterpret_cast<decltype(f->createNamespace)>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "CreatePrivateNamespaceW")));
  f->openNamespace = reinterpret_cast<decltype(f->openNamespace)>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "OpenPrivateNamespaceW")));
  return f->createBoundary != nullptr && f->addSid != nullptr && f->deleteBoundary != nullptr &&
         f->createNamespace != nullptr && f->openNamespace != nullptr;
}

// A boundary of the SYSTEM account: only a process running as SYSTEM can
// make the namespace, so no user can make it, or the lock, first.
void CreateServicePortLock(void) {
  NamespaceFunctions f;
  if (!FindNamespaceFunctions(&f)) return;
  BYTE system[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof system;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  HANDLE boundary = f.createBoundary(L"Tollivane", 0);
  if (boundary == nullptr) return;
  if (CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size) && f.addSid(&boundary, system) &&
      MakeSecurity(true, kServicePortLockSddl, &descriptor)) {
    SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
    servicePortNamespace = f.createNamespace(&security, boundary, L"Tollivane");
    if (servicePortNamespace == nullptr && GetLastError() == ERROR_ALREADY_EXISTS)
      servicePortNamespace = f.openNamespace(boundary, L"Tollivane");
    if (servicePortNamespace != nullptr) servicePortLock = CreateMutexW(&security, FALSE, TOLLIVANE_SERVICE_PORT_LOCK);
    LocalFree(descriptor);
  }
  f.deleteBoundary(boundary);
}

HANDLE OpenPortLock(const PortState* port) {
  if (!MonitorRunsInService()) return OpenNamedPortLock(port);
  HANDLE copy = nullptr;
  if (servicePortLock == nullptr || !DuplicateHandle(GetCurrentProcess(), servicePortLock, GetCurrentProcess(), &copy,
                                                     0, FALSE, DUPLICATE_SAME_ACCESS))
    return nullptr;
  return copy;
}

// A holder that died leaves the mutex abandoned; it is ours all the same.
HANDLE AcquirePortLock(PortState* port) {
  HANDLE mutex = OpenPortLock(port);
  if (mutex == nullptr) return nullptr;
  DWORD waited = WaitWhileJobAlive(&mutex, 1, port, kLockBoundMilliseconds);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED_0) return mutex;
  CloseHandle(mutex);
  SetLastError(waited == kWaitPastBound                         ? ERROR_TIMEOUT
               : waited == WAIT_TIMEOUT || waited == kWaitWoken ? ERROR_CANCELLED
                                                                : GetLastError());
  return nullptr;
}

void ReleasePortLock(HANDLE lock) {
  ReleaseMutex(lock);
  CloseHandle(lock);
}

BOOL FailJob(PortState* port, const char* reason, DWORD error) {
  DiscardJobFile(port);
  port->record.reason = reason;
  port->record.error = error;
  SetLastError(error);
  return FALSE;
}

// A run that has not said it holds its print is ended, whatever ended the
// wait: it can never file this print, nor any later one.
BOOL EndRun(PortState* port, HANDLE process, DWORD waited) {
  TerminateProcess(process, 1);
  WaitForSingleObject(process, kWaitSliceMilliseconds);
  if (waited == WAIT_OBJECT_0 + 1) return FailJob(port, "program ended without taking its print", ERROR_NO_DATA);
  if (waited == kWaitPastBound) return FailJob(port, "program did not take its print within 60 s", ERROR_TIMEOUT);
  if (waited == WAIT_TIMEOUT) {
    FailJob(port, "job cancelled", 0);
    return TRUE;
  }
  return FailJob(port, "port closed or spooler stopping", ERROR_CANCELLED);
}

// The run starts suspended; it gets the job's file and its event by handle.
BOOL RunProgramOnPrint(PortState* port, const wchar_t* program, HANDLE print) {
  HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (taken == nullptr) return FailJob(port, "program not started", GetLastError());
  const char* reason = "program not started";
  PROCESS_INFORMATION started = {};
  if (!StartProgramForJob(port, program, print, taken, &reason, &started)) {
    DWORD error = GetLastError();
    CloseHandle(taken);
    return FailJob(port, reason, error);
  }
  bool resumed = ResumeThread(started.hThread) != static_cast<DWORD>(-1);
  DWORD error = GetLastError();
  CloseHandle(started.hThread);
  // The signal first: a run that set it and exited at once has taken its print.
  HANDLE ended[2] = {taken, started.hProcess};
  DWORD waited = resumed ? WaitWhileJobAlive(ended, 2, port, kTakeBoundMilliseconds) : WAIT_FAILED;
  port->record.tookSignal = waited == WAIT_OBJECT_0;
  BOOL done = TRUE;
  if (!resumed) {
    TerminateProcess(started.hProcess, 1);
    done = FailJob(port, "program not started", error);
  } else if (waited == WAIT_OBJECT_0) {
    port->record.filed = true;
  } else {
    done = EndRun(port, started.hProcess, waited);
  }
  error = GetLastError();
  CloseHandle(started.hProcess);
  CloseHandle(taken);
  SetLastError(error);
  return done;
}

// Under the lock, with the spool folders held against a swap: what jobs
// killed earlier left goes, the job's file becomes the spool file, and the
// program is run on it.
BOOL FileUnderLock(PortState* port, const wchar_t* program) {
  CloseJobFile(port);
  if (port->writeError != 0) return FailJob(port, "job file not written", port->writeError);
  SpoolFolders folders;
  const char* reason = nullptr;
  if (!HoldSpoolFolders(&folders, &reason)) return FailJob(port, reason, GetLastError());
  RemoveLeftJobFiles(port);
  HANDLE print = INVALID_HANDLE_VALUE;
  bool placed = PutJobInPlace(port, &print, &reason);
  DWORD error = GetLastError();
  ReleaseSpoolFolders(&folders);
  if (!placed) return FailJob(port, reason, error);
  BOOL done = RunProgramOnPrint(port, program, print);
  error = GetLastError();
  CloseHandle(print);
  SetLastError(error);
  return done;
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
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, TOLLIVANE_PRODUCT_KEY TOLLIVANE_RECORD_SUBKEY, 0, nullptr, 0, KEY_SET_VALUE,
                      &security, &key, nullptr) == ERROR_SUCCESS) {
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

// Loaded again after a stop, the monitor starts with its stop signal clear.
void InitJobHandover(void) {
  if (spoolerStopping == nullptr) spoolerStopping = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (spoolerStopping != nullptr) ResetEvent(spoolerStopping);
  if (MonitorRunsInService() && servicePortLock == nullptr) CreateServicePortLock();
}

void StopJobHandover(void) {
  if (spoolerStopping != nullptr) SetEvent(spoolerStopping);
}

// Everything here runs as the spooler itself, in the protected spool folder.
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
