// TollivanePort.dll: a print port monitor with one port, TOLLIVANE:. Each
// job is written to a file of its own beside the spool file; at the job's end
// that file becomes the spool file and the program is started to file it.
// The monitor runs inside the spooler: every handle and buffer it is given is
// checked, and every path releases what it took. A job the port cannot take
// is not failed at its start or while it is written (the spooler would send
// it again and again, holding up every later job): its data is dropped and it
// fails at its end.
#include "handover/job_file.h"
#include "handover/job_handover.h"
#include "handover/job_owner.h"
#include "monitor/monitor_names.h"
#include "handover/program_start.h"
#include "monitor/xcv_commands.h"

namespace {

const DWORD kXcvStateTag = 0x58564C54;  // "TLVX"

struct XcvState {
  DWORD tag;
  DWORD grantedAccess;
};

MonitorRegistry monitorRegistry;

PortState* PortFromHandle(HANDLE handle) {
  PortState* port = static_cast<PortState*>(handle);
  if (port == nullptr || port->tag != kPortStateTag) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return port;
}

// The length of a caller's string, looked at no further than `limit` units;
// -1 when it is longer.
int BoundedLength(const wchar_t* text, int limit) {
  if (text == nullptr) return -1;
  for (int i = 0; i <= limit; ++i)
    if (text[i] == L'\0') return i;
  return -1;
}

bool IsOurPort(const wchar_t* name) {
  int length = BoundedLength(name, MAX_PATH);
  return length >= 0 && IsOurPortName(reinterpret_cast<const uint8_t*>(name), static_cast<uint32_t>(length) * 2);
}

DWORD StringBytes(const wchar_t* text) {
  return static_cast<DWORD>(lstrlenW(text) + 1) * static_cast<DWORD>(sizeof(wchar_t));
}

// Strings go at the end of the caller's buffer, after the structure.
wchar_t* PlaceString(BYTE* buffer, DWORD* stringsEnd, const wchar_t* text) {
  *stringsEnd -= StringBytes(text);
  wchar_t* placed = reinterpret_cast<wchar_t*>(buffer + *stringsEnd);
  CopyMemory(placed, text, StringBytes(text));
  return placed;
}

const wchar_t kPortDescription[] = L"Files each print with Tollivane";

BOOL WINAPI EnumPortsOfMonitor(HANDLE, LPWSTR, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed,
                               LPDWORD returned) {
  if (needed == nullptr || returned == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *returned = 0;
  DWORD required = 0;
  if (level == 1)
    required = static_cast<DWORD>(sizeof(PORT_INFO_1W)) + StringBytes(TOLLIVANE_PORT_NAME);
  else if (level == 2)
    required = static_cast<DWORD>(sizeof(PORT_INFO_2W)) + StringBytes(TOLLIVANE_PORT_NAME) +
               StringBytes(TOLLIVANE_MONITOR_NAME) + StringBytes(kPortDescription);
  else {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  *needed = required;
  if (ports == nullptr || size < required) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  DWORD stringsEnd = required;
  if (level == 1) {
    reinterpret_cast<PORT_INFO_1W*>(ports)->pName = PlaceString(ports, &stringsEnd, TOLLIVANE_PORT_NAME);
  } else {
    PORT_INFO_2W* info = reinterpret_cast<PORT_INFO_2W*>(ports);
    info->pPortName = PlaceString(ports, &stringsEnd, TOLLIVANE_PORT_NAME);
    info->pMonitorName = PlaceString(ports, &stringsEnd, TOLLIVANE_MONITOR_NAME);
    info->pDescription = PlaceString(ports, &stringsEnd, kPortDescription);
    info->fPortType = PORT_TYPE_WRITE;
    info->Reserved = 0;
  }
  *returned = 1;
  return TRUE;
}

// A handle's state, zero-filled; null with the error set when there is no memory.
void* NewHandleState(SIZE_T size) {
  void* state = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
  if (state == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return state;
}

BOOL WINAPI OpenPortOfMonitor(HANDLE, LPWSTR name, PHANDLE handle) {
  if (handle == nullptr || !IsOurPort(name)) {
    SetLastError(handle == nullptr ? ERROR_INVALID_PARAMETER : ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  PortState* port = static_cast<PortState*>(NewHandleState(sizeof(PortState)));
  if (port == nullptr) return FALSE;
  port->wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (port->wake == nullptr) {
    DWORD error = GetLastError();
    HeapFree(GetProcessHeap(), 0, port);
    SetLastError(error);
    return FALSE;
  }
  port->tag = kPortStateTag;
  port->references = 1;
  port->jobFile = INVALID_HANDLE_VALUE;
  *handle = port;
  return TRUE;
}

void EndJobState(PortState* port) {
  DiscardJobFile(port);
  port->record = JobRecordFacts{};
  if (port->printer != nullptr) ClosePrinter(port->printer);
  port->printer = nullptr;
  if (port->ownerToken != nullptr) CloseHandle(port->ownerToken);
  port->ownerToken = nullptr;
  port->jobOpen = false;
  port->refusal = nullptr;
  port->refusalError = 0;
}

// The last of the spooler's handle and a running job's end frees the port.
void ReleasePort(PortState* port) {
  if (InterlockedDecrement(&port->references) != 0) return;
  EndJobState(port);
  CloseHandle(port->wake);
  if (port->jobInfo != nullptr) HeapFree(GetProcessHeap(), 0, port->jobInfo);
  HeapFree(GetProcessHeap(), 0, port);
}

bool RefuseJob(PortState* port, const char* reason, DWORD error) {
  port->refusal = reason;
  port->refusalError = error;
  return false;
}

// What the job's record tells of its start.
void RecordJobStart(PortState* port) {
  JobRecordFacts* record = &port->record;
  record->monitorInService = MonitorRunsInService();
  DWORD session = 0;
  if (ProcessIdToSessionId(GetCurrentProcessId(), &session)) record->monitorSession = session;
  record->startImpersonating = ThreadIsImpersonating();
  if (port->ownerToken == nullptr) return;
  record->ownerKnown = TokenUserSidString(port->ownerToken, record->ownerSid, sizeof record->ownerSid);
  ReadOwnerFacts(port->ownerToken, &record->owner);
  record->level = ReadImpersonationLevel(port->ownerToken);
}

// The owner check comes first: nothing touches the disk for a job whose
// owner is not a user logged on here.
bool AcceptJobOwner(PortState* port) {
  port->ownerToken = OpenJobOwnerToken();
  DWORD error = GetLastError();
  RecordJobStart(port);
  if (port->ownerToken == nullptr)
    return RefuseJob(port, error == ERROR_NO_TOKEN ? OwnerVerdictReason(kRefuseNoOwner) : "job owner's token not read",
                     error);
  OwnerVerdict verdict = JudgeJobOwner(&port->record.owner);
  if (verdict != kOwnerMayPrint) return RefuseJob(port, OwnerVerdictReason(verdict), ERROR_ACCESS_DENIED);
  return true;
}

// The job file is made as the spooler itself: the folder is one only
// administrators can change, and the owner could not replace another
// user's spool file.
void TakeJob(PortState* port) {
  if (!AcceptJobOwner(port)) return;
  if (!port->record.ownerKnown) {
    RefuseJob(port, "job owner's token not read", ERROR_INVALID_SID);
    return;
  }
  SavedIdentity saved;
  if (!ActAsSpooler(&saved)) {
    RefuseJob(port, "thread identity not readable", GetLastError());
    return;
  }
  SpoolFolders folders;
  const char* reason = nullptr;
  bool held = HoldSpoolFolders(&folders, &reason);
  bool created = held && CreateJobFile(port);
  DWORD error = GetLastError();
  if (held) ReleaseSpoolFolders(&folders);
  RestoreIdentity(&saved);
  if (!held)
    RefuseJob(port, reason, error);
  else if (!created)
    RefuseJob(port, "job file not created", error);
}

BOOL WINAPI StartDocOfPort(HANDLE handle, LPWSTR printerName, DWORD jobId, DWORD, LPBYTE) {
  PortState* port = PortFromHandle(handle);
  if (port == nullptr) return FALSE;
  EndJobState(port);  // a job started without its end being reported is dropped
  port->jobOpen = true;
  port->jobId = jobId;
  if (BoundedLength(printerName, MAX_PATH) > 0 && !OpenPrinterW(printerName, &port->printer, nullptr))
    port->printer = nullptr;
  TakeJob(port);
  return TRUE;
}

BOOL WINAPI WriteToPort(HANDLE handle, LPBYTE bytes, DWORD count, LPDWORD written) {
  PortState* port = PortFromHandle(handle);
  if (port == nullptr) return FALSE;
  if (written == nullptr || (bytes == nullptr && count > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *written = 0;
  if (!port->jobOpen) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (port->refusal == nullptr) AppendToJobFile(port, bytes, count);
  *written = count;
  return TRUE;
}

BOOL WINAPI ReadFromPort(HANDLE, LPBYTE, DWORD, LPDWORD read) {
  if (read != nullptr) *read = 0;
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL WINAPI EndDocOfPort(HANDLE handle) {
  PortState* port = PortFromHandle(handle);
  if (port == nullptr) return FALSE;
  if (!port->jobOpen) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // ClosePort may come while the job's end waits: the port lives until both are done.
  InterlockedIncrement(&port->references);
  BOOL done = EndPortJob(port, &monitorRegistry);
  DWORD error = GetLastError();
  // The spooler learns the job has left the port; its own status stays.
  if (port->printer != nullptr) SetJobW(port->printer, port->jobId, 0, nullptr, JOB_CONTROL_SENT_TO_PRINTER);
  EndJobState(port);
  ReleasePort(port);
  SetLastError(error);
  return done;
}

BOOL WINAPI ClosePortOfMonitor(HANDLE handle) {
  PortState* port = PortFromHandle(handle);
  if (port == nullptr) return FALSE;
  port->tag = 0;  // no later call on this handle is taken
  SetEvent(port->wake);
  ReleasePort(port);
  return TRUE;
}

// Any object may be opened; what the handle may change is checked per command.
BOOL WINAPI XcvOpenOfMonitor(HANDLE, LPCWSTR, ACCESS_MASK grantedAccess, PHANDLE handle) {
  if (handle == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  XcvState* xcv = static_cast<XcvState*>(NewHandleState(sizeof(XcvState)));
  if (xcv == nullptr) return FALSE;
  xcv->tag = kXcvStateTag;
  xcv->grantedAccess = grantedAccess;
  *handle = xcv;
  return TRUE;
}

DWORD WINAPI XcvDataOfMonitor(HANDLE handle, LPCWSTR command, PBYTE input, DWORD inputBytes, PBYTE output,
                              DWORD outputBytes, PDWORD outputNeeded) {
  XcvState* xcv = static_cast<XcvState*>(handle);
  if (xcv == nullptr || xcv->tag != kXcvStateTag) return ERROR_INVALID_HANDLE;
  if (outputNeeded == nullptr) return ERROR_INVALID_PARAMETER;
  int commandLength = BoundedLength(command, static_cast<int>(kXcvMaxCommandUnits));
  if (commandLength < 0) return ERROR_INVALID_PARAMETER;
  XcvRequest request = {reinterpret_cast<const uint8_t*>(command),
                        static_cast<uint32_t>(commandLength) * 2,
                        input,
                        inputBytes,
                        output,
                        outputBytes,
                        xcv->grantedAccess};
  uint32_t needed = 0;
  DWORD status = AnswerXcvCommand(&request, &needed);
  *outputNeeded = needed;
  return status;
}

BOOL WINAPI XcvCloseOfMonitor(HANDLE handle) {
  XcvState* xcv = static_cast<XcvState*>(handle);
  if (xcv == nullptr || xcv->tag != kXcvStateTag) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  xcv->tag = 0;
  HeapFree(GetProcessHeap(), 0, xcv);
  return TRUE;
}

// Wakes every job's end that waits; their ports go as the spooler closes them.
void WINAPI ShutdownMonitor(HANDLE) { StopJobHandover(); }

MONITOR2 monitorFunctions = {
    sizeof(MONITOR2),
    EnumPortsOfMonitor,
    OpenPortOfMonitor,
    nullptr,  // OpenPortEx: a port monitor, not a language monitor
    StartDocOfPort,
    WriteToPort,
    ReadFromPort,
    EndDocOfPort,
    ClosePortOfMonitor,
    nullptr,  // AddPort, AddPortEx, ConfigurePort, DeletePort: the one port is fixed
    nullptr,
    nullptr,
    nullptr,
    nullptr,  // GetPrinterDataFromPort
    nullptr,  // SetPortTimeOuts
    XcvOpenOfMonitor,
    XcvDataOfMonitor,
    XcvCloseOfMonitor,
    ShutdownMonitor,
    nullptr,  // SendRecvBidiDataFromPort
    nullptr,  // NotifyUsedPorts
    nullptr,  // NotifyUnusedPorts
};

}  // namespace

extern "C" __declspec(dllexport) LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE monitor) {
  if (init == nullptr || monitor == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  InitJobOwners();
  InitJobHandover();
  monitorRegistry.functions = init->cbSize >= sizeof(MONITORINIT) ? init->pMonitorReg : nullptr;
  monitorRegistry.root = init->hckRegistryRoot;
  monitorRegistry.spooler = init->hSpooler;
  *monitor = &monitorRegistry;
  return &monitorFunctions;
}
