// Stands in for Tollivane.exe where the port starts it, to show what the
// port does with a run that misbehaves. What it does is named by the
// variable STAND_IN_RUN, which the run inherits from the printing process:
//   sleep  never says it has its print (a run its user suspended)
//   exit   ends at once without saying so
//   hold   says so, waits a few seconds while later jobs come, then copies
//          the print it was handed to C:\TollivaneTest\held.bin
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "delivery/run_handover.h"

namespace {

const DWORD kHoldMilliseconds = 8000;

void CopyHeldPrint(HANDLE print) {
  HANDLE copy = CreateFileA("C:\\TollivaneTest\\held.tmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (copy == INVALID_HANDLE_VALUE) return;
  char buffer[65536];
  DWORD read = 0;
  DWORD written = 0;
  SetFilePointer(print, 0, nullptr, FILE_BEGIN);
  while (ReadFile(print, buffer, sizeof buffer, &read, nullptr) && read > 0)
    WriteFile(copy, buffer, read, &written, nullptr);
  CloseHandle(copy);
  MoveFileExA("C:\\TollivaneTest\\held.tmp", "C:\\TollivaneTest\\held.bin", MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int main() {
  const char* mode = getenv("STAND_IN_RUN");
  HandedPrint handed;
  if (!ReceiveHandedPrint(GetCommandLineA(), &handed) || mode == nullptr) return 3;
  if (strcmp(mode, "sleep") == 0) Sleep(600000);
  if (strcmp(mode, "hold") != 0) return 0;
  AnnouncePrintTaken(&handed);
  Sleep(kHoldMilliseconds);
  CopyHeldPrint(handed.print);
  CloseHandle(handed.print);
  return 0;
}
