// TollivaneService.exe: Tollivane's IPP Everywhere printer. `run [--port N]`
// serves in the foreground until Ctrl+C or until its standard input closes.
#include <winsock2.h>
#include <windows.h>

#include "service/ipp_service.h"

namespace {

const char kUsage[] = "usage: TollivaneService.exe run [--port N]   (default port 8631, on 127.0.0.1 and ::1)\r\n";

HANDLE stopRequested;

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
  bool usage = count < 2 || !IsWord(arguments[1], L"run");
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
  SetConsoleCtrlHandler(StopOnConsoleEvent, TRUE);
  HANDLE watcher = CreateThread(nullptr, 0, StopWhenInputCloses, nullptr, 0, nullptr);
  if (watcher != nullptr) CloseHandle(watcher);
  return RunIppService(port, stopRequested);
}
