// TollivaneService.exe: Tollivane's IPP Everywhere printer. `run [--port N]`
// serves in the foreground until Ctrl+C or until its standard input closes;
// `service [--port N]` is how the service control manager starts it, and
// serves until the manager asks it to stop.
#include <winsock2.h>
#include <windows.h>

#include "service/ipp_service.h"

namespace {

const char kUsage[] =
    "usage: TollivaneService.exe run [--port N]       serve in the foreground\r\n"
    "       TollivaneService.exe service [--port N]   as the service control manager starts it\r\n"
    "       (default port 8631, on 127.0.0.1 and ::1)\r\n";
const DWORD kStopHintMilliseconds = 30000;

HANDLE stopRequested;
int servicePort;
SERVICE_STATUS_HANDLE statusHandle;
SERVICE_STATUS status;
int serviceExitCode;

BOOL WINAPI StopOnConsoleEvent(DWORD) {
  SetEvent(stopRequested);
  return TRUE;
}

// A parent that closes our standard input asks us to stop.
DWORD WINAPI StopWhenInputCloses(void*) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char byte;
  DWORD read = 0;
  while (ReadFile(input, &byte, 1, &read, nullptr) && read > 0) {
  }
  SetEvent(stopRequested);
  return 0;
}

void Report(DWORD state, DWORD exitCode) {
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = exitCode;
  status.dwWaitHint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? kStopHintMilliseconds : 0;
  status.dwCheckPoint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? status.dwCheckPoint + 1 : 0;
  SetServiceStatus(statusHandle, &status);
}

void ReportRunning(void) { Report(SERVICE_RUNNING, NO_ERROR); }

DWORD WINAPI HandleControl(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    Report(SERVICE_STOP_PENDING, NO_ERROR);
    SetEvent(stopRequested);
    return NO_ERROR;
  }
  return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  statusHandle = RegisterServiceCtrlHandlerExW(L"", HandleControl, nullptr);
  if (statusHandle == nullptr) return;
  Report(SERVICE_START_PENDING, NO_ERROR);
  serviceExitCode = RunIppService(servicePort, stopRequested, true, ReportRunning);
  // 1: it could not listen, which sc query shows as the service's own code.
  status.dwServiceSpecificExitCode = static_cast<DWORD>(serviceExitCode);
  Report(SERVICE_STOPPED, serviceExitCode == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR);
}

// Under the service control manager, until it asks the service to stop.
int RunAsService(int port) {
  servicePort = port;
  wchar_t name[] = L"";
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  if (StartServiceCtrlDispatcherW(table)) return serviceExitCode;
  const char kNotService[] = "TollivaneService: `service` is for the service control manager; `run` serves here\r\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), kNotService, sizeof kNotService - 1, &written, nullptr);
  return 2;
}

bool IsWord(const wchar_t* argument, const wchar_t* word) {
  return argument != nullptr && lstrcmpiW(argument, word) == 0;
}

// A port from 1 to 65535, digits only.
int ParsePort(const wchar_t* text) {
  int port = 0;
  for (const wchar_t* at = text; *at != L'\0'; ++at) {
    if (*at < L'0' || *at > L'9' || port > 6553) return 0;
    port = port * 10 + (*at - L'0');
  }
  return port <= 65535 ? port : 0;
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
  int port = kDefaultIppPort;
  bool asService = count >= 2 && IsWord(arguments[1], L"service");
  bool usage = count < 2 || (!IsWord(arguments[1], L"run") && !asService);
  if (!usage && count == 4 && IsWord(arguments[2], L"--port"))
    port = ParsePort(arguments[3]);
  else if (!usage && count != 2)
    usage = true;
  if (usage || port == 0) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), kUsage, sizeof kUsage - 1, &written, nullptr);
    return 2;
  }
  stopRequested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (stopRequested == nullptr) return 1;
  if (asService) return RunAsService(port);
  SetConsoleCtrlHandler(StopOnConsoleEvent, TRUE);
  HANDLE watcher = CreateThread(nullptr, 0, StopWhenInputCloses, nullptr, 0, nullptr);
  if (watcher != nullptr) CloseHandle(watcher);
  return RunIppService(port, stopRequested, false, nullptr);
}
