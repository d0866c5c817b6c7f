// Times prints under Wine from the Windows side: paired runs of Tollivane.exe
// and the probe, automatic prints with many names taken, and the time from
// start to the Save As dialog in prompt mode. Prints tables of medians with
// the minimum and maximum. Run by tools/bench, which keeps a desktop alive.
//   bench_driver TOLLIVANE_EXE PROBE_EXE
#include <windows.h>

#include "bench_stats.h"
#include <algorithm>
#include <stdio.h>
#include <string>
#include <vector>

namespace {

const char kSettings[] = "C:\\Kestrin\\Print\\Config\\Kestrin.ini";
const char kSpool[] = "C:\\Kestrin\\Print\\File.pdf";
const char kOut[] = "C:\\BenchOut";
const int kPairs = 31;
const int kRuns = 11;

HANDLE Start(const std::string& exe) {
  std::string commandLine = "\"" + exe + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    fprintf(stderr, "cannot start %s: error %lu\n", exe.c_str(), GetLastError());
    ExitProcess(2);
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

double TimeRun(const std::string& exe) {
  double begin = Now();
  HANDLE process = Start(exe);
  WaitForSingleObject(process, INFINITE);
  double elapsed = Now() - begin;
  CloseHandle(process);
  return elapsed;
}

struct DialogSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM context) {
  DialogSearch* search = reinterpret_cast<DialogSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char className[16];
  if (owner != search->processId || !GetClassNameA(window, className, sizeof className)) return TRUE;
  if (lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  search->found = window;
  return FALSE;
}

// From the start to the dialog being there, then cancelled.
double TimeToDialog(const std::string& exe) {
  double begin = Now();
  HANDLE process = Start(exe);
  DialogSearch search = {GetProcessId(process), nullptr};
  // A short wait between looks leaves the machine to the program.
  while (search.found == nullptr && WaitForSingleObject(process, 1) == WAIT_TIMEOUT)
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
  double elapsed = Now() - begin;
  if (search.found != nullptr) PostMessageA(search.found, WM_COMMAND, IDCANCEL, 0);
  if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) TerminateProcess(process, 1);
  CloseHandle(process);
  return search.found != nullptr ? elapsed : -1.0;
}

void WriteFileOfSize(const char* path, size_t bytes) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::vector<char> block(1 << 20);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('A' + i % 26);
  for (size_t left = bytes; left > 0;) {
    DWORD chunk = static_cast<DWORD>(std::min(left, block.size()));
    DWORD written = 0;
    WriteFile(file, block.data(), chunk, &written, nullptr);
    left -= chunk;
  }
  CloseHandle(file);
}

void WriteSettings(int prompt) {
  WritePrivateProfileStringA("Tarvold", "DefaultDir", kOut, kSettings);
  WritePrivateProfileStringA("Tarvold", "PromptForEachPrint", prompt ? "1" : "0", kSettings);
  WritePrivateProfileStringA("Tarvold", "FileNameCounter", "1", kSettings);
}

std::string Numbered(int number) {
  char name[64];
  snprintf(name, sizeof name, "%s\\File%03d.pdf", kOut, number);
  return name;
}

// Output folder with File002 .. File<taken+1> taken above the counter 1.
void PrepareFolder(int taken) {
  CreateDirectoryA(kOut, nullptr);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((std::string(kOut) + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do DeleteFileA((std::string(kOut) + "\\" + found.cFileName).c_str());
    while (FindNextFileA(search, &found));
    FindClose(search);
  }
  for (int n = 2; n < 2 + taken; ++n) {
    HANDLE file = CreateFileA(Numbered(n).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    CloseHandle(file);
  }
}

// Undoes what one automatic print did: its file and its counter.
void UndoPrint(int taken) {
  DeleteFileA(Numbered(2 + taken).c_str());
  WritePrivateProfileStringA("Tarvold", "FileNameCounter", "1", kSettings);
}

void AutomaticAgainstProbe(const std::string& exe, const std::string& probe) {
  printf("Automatic print against the probe: medians of %d paired runs (min-max), ms\n", kPairs);
  printf("%-8s %-24s %-24s %s\n", "spool", "probe", "Tollivane", "ratio");
  const size_t sizes[] = {20 * 1024, 64u * 1024 * 1024};
  const char* names[] = {"20 KB", "64 MiB"};
  for (int s = 0; s < 2; ++s) {
    WriteFileOfSize(kSpool, sizes[s]);
    WriteSettings(0);
    PrepareFolder(0);
    std::vector<double> probeTimes, programTimes, ratios;
    // The order alternates, so that a drift of the machine falls on both.
    for (int pair = 0; pair <= kPairs; ++pair) {
      double p = 0, t = 0;
      for (int turn = 0; turn < 2; ++turn) {
        bool probeTurn = (turn == 0) == (pair % 2 == 0);
        (probeTurn ? p : t) = TimeRun(probeTurn ? probe : exe);
        UndoPrint(0);
      }
      if (pair == 0) continue;  // warms the file cache
      probeTimes.push_back(p);
      programTimes.push_back(t);
      ratios.push_back(t / p);
    }
    printf("%-8s %-24s %-24s %s\n", names[s], Cell(Summarize(probeTimes), 1).c_str(),
           Cell(Summarize(programTimes), 1).c_str(), Cell(Summarize(ratios), 2).c_str());
  }
  printf("\n");
}

void SearchWithTakenNames(const std::string& exe) {
  printf("Automatic print (20 KB) with names taken above the counter: medians of %d runs (min-max)\n", kRuns);
  printf("%-8s %-24s %s\n", "taken", "Tollivane ms", "against none taken");
  WriteFileOfSize(kSpool, 20 * 1024);
  WriteSettings(0);
  double none = 0;
  const int takenCounts[] = {0, 1000, 10000};
  for (int taken : takenCounts) {
    PrepareFolder(taken);
    std::vector<double> times;
    for (int run = 0; run <= kRuns; ++run) {
      double t = TimeRun(exe);
      UndoPrint(taken);
      if (run > 0) times.push_back(t);
    }
    Summary s = Summarize(times);
    if (taken == 0) none = s.median;
    printf("%-8d %-24s %.2f\n", taken, Cell(s, 1).c_str(), s.median / none);
  }
  printf("\n");
}

void PromptDialog(const std::string& exe) {
  printf("Prompt mode, start to the Save As dialog: medians of %d runs (min-max)\n", kRuns);
  printf("%-8s %s\n", "taken", "ms");
  WriteSettings(1);
  const int takenCounts[] = {0, 10000};
  for (int taken : takenCounts) {
    PrepareFolder(taken);
    std::vector<double> times;
    for (int run = 0; run <= kRuns; ++run) {
      double t = TimeToDialog(exe);
      if (t < 0) {
        printf("%-8d no dialog appeared\n", taken);
        break;
      }
      if (run > 0) times.push_back(t);
    }
    if (!times.empty()) printf("%-8d %s\n", taken, Cell(Summarize(times), 1).c_str());
  }
  PrepareFolder(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: bench_driver TOLLIVANE_EXE PROBE_EXE\n");
    return 2;
  }
  CreateDirectoryA("C:\\Kestrin", nullptr);
  CreateDirectoryA("C:\\Kestrin\\Print", nullptr);
  CreateDirectoryA("C:\\Kestrin\\Print\\Config", nullptr);
  AutomaticAgainstProbe(argv[1], argv[2]);
  SearchWithTakenNames(argv[1]);
  PromptDialog(argv[1]);
  return 0;
}
