// Child processes for the race tests: CreateProcess on Windows, posix_spawn natively.
#include "process_helpers.h"

#include <chrono>
#include <thread>
#include <vector>

#include "delivery/delivery.h"
#include "test_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

const char kDeliverOnceFlag[] = "--deliver-once";

namespace {

const char kStartFile[] = "C:\\TollivaneTest\\start";

#ifdef _WIN32
typedef HANDLE Child;

bool StartChild(const std::string& selfPath, Child* child) {
  std::string commandLine = "\"" + selfPath + "\" " + kDeliverOnceFlag + " " + kStartFile;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(selfPath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return false;
  CloseHandle(process.hThread);
  *child = process.hProcess;
  return true;
}

bool WaitChild(Child child) {
  DWORD exitCode = 1;
  bool ended = WaitForSingleObject(child, 120000) == WAIT_OBJECT_0 && GetExitCodeProcess(child, &exitCode);
  CloseHandle(child);
  return ended && exitCode == 0;
}
#else
typedef pid_t Child;

bool StartChild(const std::string& selfPath, Child* child) {
  std::string flag = kDeliverOnceFlag;
  std::string start = kStartFile;
  char* argv[] = {const_cast<char*>(selfPath.c_str()), &flag[0], &start[0], nullptr};
  return posix_spawn(child, selfPath.c_str(), nullptr, nullptr, argv, environ) == 0;
}

bool WaitChild(Child child) {
  int status = 0;
  return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#endif

}  // namespace

int RunDeliveryChild(const std::string& startFile) {
  PrepareTestDrive();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!PathExists(startFile)) {
    if (std::chrono::steady_clock::now() > deadline) return 2;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  InitReservedChars();
  return RunDelivery() == 1 ? 0 : 3;
}

int RaceDeliveries(const std::string& selfPath, int count) {
  RemoveTree(kStartFile);
  std::vector<Child> children;
  for (int i = 0; i < count; ++i) {
    Child child;
    if (StartChild(selfPath, &child)) children.push_back(child);
  }
  WriteTextFile(kStartFile, "go");
  int succeeded = 0;
  for (Child child : children)
    if (WaitChild(child)) ++succeeded;
  RemoveTree(kStartFile);
  return succeeded;
}
