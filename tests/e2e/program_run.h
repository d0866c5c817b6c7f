// Plays the print pipeline for the program under test: starts Tollivane.exe
// as a print would (one process per print) and waits for it to end.
#ifndef TOLLIVANE_TESTS_E2E_PROGRAM_RUN_H
#define TOLLIVANE_TESTS_E2E_PROGRAM_RUN_H

#include <windows.h>

#include <string>
#include <vector>

struct ProgramStart {
  std::string arguments;  // after the program's name on the command line
  WORD showCommand = SW_SHOWDEFAULT;
};

// The exe under test, from TOLLIVANE_EXE (a Unix or Windows path).
std::string ProgramPath();

// Starts one print and waits for it; returns its exit code, or -1 when it
// could not be started or did not end within the time allowed.
long RunPrint(const ProgramStart& start = ProgramStart());

// Starts one print and returns its process at once (null when it could not
// be started); FinishPrint waits for it as RunPrint does.
HANDLE BeginPrint();
long FinishPrint(HANDLE process);

// Starts `count` prints suspended, lets them all go at one moment and waits
// for every one; returns their exit codes (-1 as above).
std::vector<long> RunPrintsAtOnce(int count);

#endif
