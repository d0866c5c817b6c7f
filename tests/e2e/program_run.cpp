// Starting the program as the print pipeline does, under Wine or Windows.
#include "program_run.h"

#include <stdio.h>
#include <stdlib.h>

namespace {

const DWORD kPrintTimeoutMs = 60000;

// Wine maps the Unix root to drive Z.
std::string WindowsPathOf(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

HANDLE StartPrint(const ProgramStart& start, DWORD creationFlags, HANDLE* thread) {
  std::string exe = ProgramPath();
  std::string commandLine = "\"" + exe + "\"";
  if (!start.arguments.empty()) commandLine += " " + start.arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = start.showCommand;
  PROCESS_INFORMATION process = {};
  // Under load Wine now and then refuses a start; the pipeline would try
  // again, and a print never started is not the program's fault.
  for (int attempt = 0;; ++attempt) {
    if (CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr, &startup,
                       &process))
      break;
    fprintf(stderr, "starting %s failed with error %lu\n", exe.c_str(), GetLastError());
    if (attempt == 2) return nullptr;
    Sleep(100);
  }
  *thread = process.hThread;
  return process.hProcess;
}

long WaitForExitCode(HANDLE process) {
  DWORD exitCode = 0;
  bool ended = WaitForSingleObject(process, kPrintTimeoutMs) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &exitCode);
  if (!ended) TerminateProcess(process, 99);
  CloseHandle(process);
  return ended ? static_cast<long>(exitCode) : -1;
}

}  // namespace

std::string ProgramPath() {
  const char* path = getenv("TOLLIVANE_EXE");
  return WindowsPathOf(path != nullptr ? path : "Tollivane.exe");
}

long RunPrint(const ProgramStart& start) {
  HANDLE thread = nullptr;
  HANDLE process = StartPrint(start, 0, &thread);
  if (process == nullptr) return -1;
  CloseHandle(thread);
  return WaitForExitCode(process);
}

HANDLE BeginPrint() {
  HANDLE thread = nullptr;
  HANDLE process = StartPrint(ProgramStart(), 0, &thread);
  if (process != nullptr) CloseHandle(thread);
  return process;
}

long FinishPrint(HANDLE process) { return WaitForExitCode(process); }

std::vector<long> RunPrintsAtOnce(int count) {
  std::vector<HANDLE> processes;
  std::vector<HANDLE> threads;
  for (int i = 0; i < count; ++i) {
    HANDLE thread = nullptr;
    HANDLE process = StartPrint(ProgramStart(), CREATE_SUSPENDED, &thread);
    if (process == nullptr) continue;
    processes.push_back(process);
    threads.push_back(thread);
  }
  for (HANDLE thread : threads) ResumeThread(thread);
  for (HANDLE thread : threads) CloseHandle(thread);
  std::vector<long> exitCodes(static_cast<size_t>(count), -1);
  for (size_t i = 0; i < processes.size(); ++i) exitCodes[i] = WaitForExitCode(processes[i]);
  return exitCodes;
}
