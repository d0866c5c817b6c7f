// The service runs as LocalSystem from Program Files, where only
// administrators change anything, keeping only the privileges it needs to
// start the program as a job's owner; the service control manager restarts
// it after a failure. An install that finds everything as it would make it
// changes nothing: the program is copied only when it differs, and the
// service is restarted only when its program or its port changed.
#include "setup/ipp_steps.h"

#include <winsock2.h>
#include <shlwapi.h>
#include <winspool.h>

#include "monitor/monitor_names.h"
#include "service/service_names.h"
#include "setup/setup_output.h"
#include "setup/setup_places.h"

namespace {

const DWORD kServiceWaitMilliseconds = 30000;
const DWORD kAnswerWaitMilliseconds = 30000;
const DWORD kPrinterAddMilliseconds = 120000;

// What starting the program as a job's owner takes: the owner's session
// token, a process made with it, and acting as the owner meanwhile.
const wchar_t kRequiredPrivileges[] =
    L"SeTcbPrivilege\0SeAssignPrimaryTokenPrivilege\0SeIncreaseQuotaPrivilege\0SeImpersonatePrivilege\0"
    L"SeChangeNotifyPrivilege\0";

struct Services {
  SC_HANDLE manager;
  SC_HANDLE service;  // null when it is not registered
};

bool OpenServices(Services* s, DWORD managerAccess) {
  s->manager = OpenSCManagerW(nullptr, nullptr, managerAccess);
  s->service = s->manager != nullptr ? OpenServiceW(s->manager, TOLLIVANE_SERVICE_NAME, SERVICE_ALL_ACCESS) : nullptr;
  return s->manager != nullptr;
}

void CloseServices(Services* s) {
  if (s->service != nullptr) CloseServiceHandle(s->service);
  if (s->manager != nullptr) CloseServiceHandle(s->manager);
  *s = Services{};
}

DWORD ServiceState(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status, &needed))
    return 0;
  return status.dwCurrentState;
}

bool WaitForServiceState(SC_HANDLE service, DWORD wanted) {
  for (ULONGLONG start = GetTickCount64(); GetTickCount64() - start < kServiceWaitMilliseconds; Sleep(100)) {
    DWORD state = ServiceState(service);
    if (state == wanted) return true;
    if (state == 0 || (wanted == SERVICE_RUNNING && state == SERVICE_STOPPED)) return false;
  }
  return false;
}

// The service finishes or fails the job it is filing, then stops.
bool StopService(SC_HANDLE service) {
  SERVICE_STATUS status = {};
  if (!ControlService(service, SERVICE_CONTROL_STOP, &status) && GetLastError() != ERROR_SERVICE_NOT_ACTIVE &&
      GetLastError() != ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
    return false;
  return WaitForServiceState(service, SERVICE_STOPPED);
}

bool ServicePath(const wchar_t* programFolder, wchar_t* path) {
  return JoinPath(path, programFolder, TOLLIVANE_SERVICE_EXE);
}

bool CommandLine(const wchar_t* path, int port, wchar_t* line, int size) {
  if (lstrlenW(path) + 32 >= size) return false;
  wsprintfW(line, L"\"%s\" service --port %d", path, port);
  return true;
}

bool IsPortFree(int port) {
  SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (probe == INVALID_SOCKET) return false;
  BOOL exclusive = TRUE;
  setsockopt(probe, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool free = bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  closesocket(probe);
  return free;
}

void PutAttribute(char* body, int* used, char tag, const char* name, const char* value) {
  int nameLength = lstrlenA(name);
  int valueLength = lstrlenA(value);
  body[(*used)++] = tag;
  body[(*used)++] = 0;
  body[(*used)++] = static_cast<char>(nameLength);
  CopyMemory(body + *used, name, static_cast<SIZE_T>(nameLength));
  *used += nameLength;
  body[(*used)++] = 0;
  body[(*used)++] = static_cast<char>(valueLength);
  CopyMemory(body + *used, value, static_cast<SIZE_T>(valueLength));
  *used += valueLength;
}

// Get-Printer-Attributes as any IPP printer answers it, and its answer's
// HTTP and IPP status.
bool AskPrinterOnce(int port) {
  SOCKET connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (connection == INVALID_SOCKET) return false;
  DWORD timeout = 5000;
  setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  char uri[64];
  wsprintfA(uri, "ipp://127.0.0.1:%d/ipp/print", port);
  char body[256] = {2, 0, 0, 0x0B, 0, 0, 0, 1, 1};
  int used = 9;
  PutAttribute(body, &used, 0x47, "attributes-charset", "utf-8");
  PutAttribute(body, &used, 0x48, "attributes-natural-language", "en");
  PutAttribute(body, &used, 0x45, "printer-uri", uri);
  body[used++] = 3;
  char request[512];
  int headLength = wsprintfA(request,
                             "POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Type: application/ipp\r\n"
                             "Content-Length: %d\r\nConnection: close\r\n\r\n",
                             port, used);
  CopyMemory(request + headLength, body, static_cast<SIZE_T>(used));
  char answer[1024] = {};
  int have = 0;
  bool sent = connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              send(connection, request, headLength + used, 0) == headLength + used;
  for (int got = 1; sent && got > 0 && have<static_cast<int>(sizeof answer) - 1; have += got> 0 ? got : 0)
    got = recv(connection, answer + have, static_cast<int>(sizeof answer) - 1 - have, 0);
  closesocket(connection);
  const char* ipp = StrStrA(answer, "\r\n\r\n");
  return have > 12 && StrCmpNA(answer, "HTTP/1.1 200", 12) == 0 && ipp != nullptr && ipp + 8 <= answer + have &&
         ipp[4] == 2 && ipp[6] == 0 && ipp[7] == 0;
}

bool WaitUntilAnswering(int port) {
  for (ULONGLONG start = GetTickCount64(); GetTickCount64() - start < kAnswerWaitMilliseconds; Sleep(200))
    if (IppPrinterAnswers(port)) return true;
  return false;
}

bool ConfigureService(SC_HANDLE service) {
  SERVICE_DESCRIPTIONW description = {const_cast<LPWSTR>(TOLLIVANE_SERVICE_DESCRIPTION)};
  SC_ACTION restarts[3] = {{SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 60000}};
  SERVICE_FAILURE_ACTIONSW failure = {24 * 60 * 60, nullptr, nullptr, 3, restarts};
  SERVICE_REQUIRED_PRIVILEGES_INFOW privileges = {const_cast<LPWSTR>(kRequiredPrivileges)};
  if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description))
    return Fail(L"describing the service", GetLastError());
  if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure))
    return Fail(L"asking Windows to restart the service after a failure", GetLastError());
  if (ChangeServiceConfig2W(service, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, &privileges)) return true;
  // Every Windows since Vista takes the list; Wine does not know the level.
  if (GetLastError() != ERROR_INVALID_LEVEL)
    return Fail(L"limiting the service to the privileges it needs", GetLastError());
  Say(L"This system keeps no list of a service's privileges (error 124): the service keeps all of LocalSystem's");
  return true;
}

// The program in place: copied when it differs, the service stopped first.
bool PlaceServiceProgram(Services* s, const wchar_t* path, bool* changed) {
  wchar_t source[MAX_PATH];
  if (!FindBesideSetup(TOLLIVANE_SERVICE_EXE, false, source))
    return Fail(L"finding " TOLLIVANE_SERVICE_EXE L" beside setup", ERROR_FILE_NOT_FOUND);
  *changed = !SameContents(source, path);
  if (!*changed) return true;
  if (s->service != nullptr && !StopService(s->service)) return Fail(L"stopping the service", GetLastError());
  if (!CopyFileW(source, path, FALSE))
    return Fail(L"copying " TOLLIVANE_SERVICE_EXE L" into Program Files", GetLastError());
  Say(L"Copied " TOLLIVANE_SERVICE_EXE L" to ", path);
  return true;
}

bool RegisterService(Services* s, const wchar_t* command, bool* registered) {
  if (s->service != nullptr) {
    if (!ChangeServiceConfigW(s->service, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command,
                              nullptr, nullptr, nullptr, L"LocalSystem", nullptr, TOLLIVANE_SERVICE_DISPLAY_NAME))
      return Fail(L"updating the service \"" TOLLIVANE_SERVICE_DISPLAY_NAME L"\"", GetLastError());
  } else {
    s->service = CreateServiceW(s->manager, TOLLIVANE_SERVICE_NAME, TOLLIVANE_SERVICE_DISPLAY_NAME, SERVICE_ALL_ACCESS,
                                SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command, nullptr,
                                nullptr, nullptr, nullptr, nullptr);
    if (s->service == nullptr)
      return Fail(L"registering the service \"" TOLLIVANE_SERVICE_DISPLAY_NAME L"\"", GetLastError());
    *registered = true;
    Say(L"Registered the service \"" TOLLIVANE_SERVICE_DISPLAY_NAME L"\" (LocalSystem, automatic start)");
  }
  return ConfigureService(s->service);
}

bool StartAndWait(Services* s, int port) {
  if (ServiceState(s->service) != SERVICE_RUNNING) {
    if (!StartServiceW(s->service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
      return Fail(L"starting the service", GetLastError());
    if (!WaitForServiceState(s->service, SERVICE_RUNNING))
      return Fail(L"waiting for the service to run", ERROR_SERVICE_REQUEST_TIMEOUT);
    Say(L"The service \"" TOLLIVANE_SERVICE_DISPLAY_NAME L"\" runs");
  }
  if (!WaitUntilAnswering(port)) return Fail(L"waiting for the IPP printer to answer", ERROR_TIMEOUT);
  Line line = {};
  Append(&line, L"The IPP printer answers at ipp://127.0.0.1:");
  AppendNumber(&line, static_cast<DWORD>(port));
  Append(&line, L"/ipp/print");
  Say(line.text);
  return true;
}

}  // namespace

bool IppPrinterAnswers(int port) {
  WSADATA winsock;
  if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return false;
  bool answers = AskPrinterOnce(port);
  WSACleanup();
  return answers;
}

PrinterKind InstalledPrinterKind(void) {
  wchar_t kind[16] = {};
  DWORD size = sizeof kind - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, TOLLIVANE_PRODUCT_KEY, TOLLIVANE_PRINTER_KIND_VALUE, RRF_RT_REG_SZ, nullptr,
                   kind, &size) == ERROR_SUCCESS)
    return lstrcmpiW(kind, L"ipp") == 0 ? kIppPrinter : kMonitorPrinter;
  Services s = {};
  bool service = OpenServices(&s, SC_MANAGER_CONNECT) && s.service != nullptr;
  CloseServices(&s);
  if (service) return kIppPrinter;
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(kPrinterName), &printer, nullptr)) return kNoPrinter;
  ClosePrinter(printer);
  return kMonitorPrinter;
}

void RecordPrinterKind(PrinterKind kind, int port) {
  if (kind == kNoPrinter) {
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, TOLLIVANE_PRODUCT_KEY, TOLLIVANE_PRINTER_KIND_VALUE);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, TOLLIVANE_PRODUCT_KEY, TOLLIVANE_IPP_PORT_VALUE);
    return;
  }
  const wchar_t* name = kind == kIppPrinter ? L"ipp" : L"monitor";
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, TOLLIVANE_PRODUCT_KEY, TOLLIVANE_PRINTER_KIND_VALUE, REG_SZ, name,
                  static_cast<DWORD>(static_cast<size_t>(lstrlenW(name) + 1) * sizeof(wchar_t)));
  DWORD number = static_cast<DWORD>(port);
  if (kind == kIppPrinter)
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, TOLLIVANE_PRODUCT_KEY, TOLLIVANE_IPP_PORT_VALUE, REG_DWORD, &number,
                    sizeof number);
}

int RecordedIppPort(void) {
  DWORD port = 0;
  DWORD size = sizeof port;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, TOLLIVANE_PRODUCT_KEY, TOLLIVANE_IPP_PORT_VALUE, RRF_RT_REG_DWORD, nullptr,
                   &port, &size) != ERROR_SUCCESS ||
      port == 0 || port > 65535)
    return TOLLIVANE_DEFAULT_IPP_PORT;
  return static_cast<int>(port);
}

bool InstallIppService(const wchar_t* programFolder, int port, bool* registered) {
  *registered = false;
  wchar_t path[MAX_PATH];
  wchar_t command[MAX_PATH + 40];
  if (!ServicePath(programFolder, path) || !CommandLine(path, port, command, MAX_PATH + 40))
    return Fail(L"naming the service's program", ERROR_FILENAME_EXCED_RANGE);
  WSADATA winsock;
  if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0)
    return Fail(L"starting Winsock", static_cast<DWORD>(WSAGetLastError()));
  Services s = {};
  bool ok = OpenServices(&s, SC_MANAGER_ALL_ACCESS);
  if (!ok) Fail(L"opening the service control manager", GetLastError());
  bool ours = ok && s.service != nullptr && ServiceState(s.service) == SERVICE_RUNNING && RecordedIppPort() == port;
  if (ok && !ours && !IsPortFree(port)) {
    Line line = {};
    Append(&line, L"Failed: port ");
    AppendNumber(&line, static_cast<DWORD>(port));
    Append(&line, L" on 127.0.0.1 is in use by another program: choose a free one with install --ipp --port N");
    Say(line.text);
    ok = false;
  }
  bool changed = false;
  ok = ok && PlaceServiceProgram(&s, path, &changed);
  bool restart = ok && s.service != nullptr && (changed || RecordedIppPort() != port);
  ok = ok && RegisterService(&s, command, registered);
  if (ok && restart && ServiceState(s.service) == SERVICE_RUNNING) ok = StopService(s.service);
  ok = ok && StartAndWait(&s, port);
  CloseServices(&s);
  WSACleanup();
  return ok;
}

// Windows' documented route for an IPP printer: Add-Printer with -IppURL,
// which gives it Windows' IPP class driver.
bool AddIppPrinter(int port) {
  HANDLE printer = nullptr;
  if (OpenPrinterW(const_cast<LPWSTR>(kPrinterName), &printer, nullptr)) {
    ClosePrinter(printer);
    Say(L"The printer \"Tollivane\" is already there");
    return true;
  }
  wchar_t shell[MAX_PATH];
  UINT length = GetSystemDirectoryW(shell, MAX_PATH);
  wchar_t command[512];
  if (length == 0 || length > MAX_PATH - 48 || !PathAppendW(shell, L"WindowsPowerShell\\v1.0\\powershell.exe"))
    return Fail(L"finding PowerShell", ERROR_FILENAME_EXCED_RANGE);
  wnsprintfW(command, 512,
             L"\"%s\" -NoProfile -NonInteractive -Command \"Add-Printer -Name 'Tollivane' -IppURL "
             L"'http://127.0.0.1:%d/ipp/print'\"",
             shell, port);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  DWORD code = 1;
  if (CreateProcessW(shell, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started)) {
    if (WaitForSingleObject(started.hProcess, kPrinterAddMilliseconds) == WAIT_OBJECT_0)
      GetExitCodeProcess(started.hProcess, &code);
    else
      TerminateProcess(started.hProcess, 1);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
  }
  printer = nullptr;
  if (code == 0 && OpenPrinterW(const_cast<LPWSTR>(kPrinterName), &printer, nullptr)) {
    ClosePrinter(printer);
    Say(L"Added the printer \"Tollivane\" with Windows' IPP class driver on http://127.0.0.1 (Add-Printer -IppURL)");
    return true;
  }
  Line line = {};
  Append(&line,
         L"Failed: adding the printer \"Tollivane\" with Add-Printer -IppURL (this Windows has no IPP class "
         L"driver, or no PowerShell): the service runs; add the printer by hand at http://127.0.0.1:");
  AppendNumber(&line, static_cast<DWORD>(port));
  Append(&line, L"/ipp/print");
  Say(line.text);
  return false;
}

bool RemoveIppService(const wchar_t* programFolder) {
  Services s = {};
  if (!OpenServices(&s, SC_MANAGER_ALL_ACCESS)) return Fail(L"opening the service control manager", GetLastError());
  bool ok = true;
  if (s.service != nullptr) {
    ok = StopService(s.service) || Fail(L"stopping the service", GetLastError());
    ok = ok && (DeleteService(s.service) || Fail(L"deleting the service", GetLastError()));
    if (ok) Say(L"The service \"" TOLLIVANE_SERVICE_DISPLAY_NAME L"\" is stopped and deleted");
  }
  CloseServices(&s);
  wchar_t path[MAX_PATH];
  if (ok && ServicePath(programFolder, path) && PathFileExistsW(path)) {
    if (!DeleteFileW(path)) MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    Say(TOLLIVANE_SERVICE_EXE L" is removed from ", programFolder);
  }
  return ok;
}

void CheckIppService(int port,
                     void (*report)(bool ok, const wchar_t* what, const wchar_t* state, const wchar_t* remedy)) {
  Services s = {};
  OpenServices(&s, SC_MANAGER_CONNECT);
  if (s.service == nullptr) {
    report(false, L"IPP printer's service", L"not installed", L"run setup.cmd install --ipp");
    CloseServices(&s);
    return;
  }
  DWORD state = ServiceState(s.service);
  report(state == SERVICE_RUNNING, L"IPP printer's service", state == SERVICE_RUNNING ? L"running" : L"not running",
         L"start \"" TOLLIVANE_SERVICE_DISPLAY_NAME L"\" in services.msc, or run setup.cmd install --ipp");
  alignas(8) BYTE buffer[8192];
  DWORD needed = 0;
  QUERY_SERVICE_CONFIGW* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
  if (QueryServiceConfigW(s.service, config, sizeof buffer, &needed)) {
    bool system = config->lpServiceStartName != nullptr && lstrcmpiW(config->lpServiceStartName, L"LocalSystem") == 0;
    report(system, L"service account", config->lpServiceStartName != nullptr ? config->lpServiceStartName : L"?",
           L"run setup.cmd install --ipp");
    wchar_t folder[MAX_PATH];
    wchar_t expected[MAX_PATH];
    bool placed = ProgramFolder(folder) && ServicePath(folder, expected) && config->lpBinaryPathName != nullptr &&
                  StrStrIW(config->lpBinaryPathName, expected) != nullptr;
    report(placed, L"service program", config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : L"?",
           L"run setup.cmd install --ipp");
  }
  CloseServices(&s);
  Line url = {};
  Append(&url, L"ipp://127.0.0.1:");
  AppendNumber(&url, static_cast<DWORD>(port));
  Append(&url, L"/ipp/print");
  bool answers = IppPrinterAnswers(port);
  Line state2 = {};
  Append(&state2, answers ? L"answers at " : L"does not answer at ");
  Append(&state2, url.text);
  report(answers, L"IPP printer", state2.text, L"restart \"" TOLLIVANE_SERVICE_DISPLAY_NAME L"\" in services.msc");
}
