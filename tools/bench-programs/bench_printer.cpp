// Times the printer under Wine: a job printed to "Tollivane" (the port
// monitor writes it and starts Tollivane.exe), until it is filed, against
// the same job printed
// through the same spooler to a plain file (Wine's print-to-file) followed
// by one Tollivane.exe run on that file, in alternating pairs. Then the
// printing process's peak memory for a small and a large job, printed from
// one small buffer so that only the spooler and the monitor can grow.
// Run by tools/bench after it installed the printer.
//   bench_printer TOLLIVANE_EXE
//   bench_printer peak BYTES          (one job; prints the peak in KiB)
#include <windows.h>
#include <psapi.h>
#include <winspool.h>

#include "bench_stats.h"
#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

const char kSettings[] = "C:\\Kestrin\\Print\\Config\\Kestrin.ini";
const wchar_t kSpool[] = L"C:\\Kestrin\\Print\\File.pdf";
const char kOut[] = "C:\\BenchOut";
const DWORD kPiece = 64 * 1024;

// One RAW job of `bytes` bytes written from one buffer; to `outputFile`
// instead of the printer's port when one is given.
bool StreamJob(size_t bytes, const wchar_t* outputFile) {
  static char piece[kPiece];
  for (DWORD i = 0; i < kPiece; ++i) piece[i] = static_cast<char>('A' + i % 26);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(L"Tollivane"), &printer, nullptr)) return false;
  DOC_INFO_1W document = {const_cast<LPWSTR>(L"bench"), const_cast<LPWSTR>(outputFile), const_cast<LPWSTR>(L"RAW")};
  bool ok = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&document)) != 0;
  for (size_t left = bytes; ok && left > 0;) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(left, kPiece));
    DWORD written = 0;
    ok = WritePrinter(printer, piece, chunk, &written) && written == chunk;
    left -= chunk;
  }
  ok = EndDocPrinter(printer) && ok;
  ClosePrinter(printer);
  return ok;
}

double TimeRun(const std::string& exe) {
  std::string commandLine = "\"" + exe + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  double begin = Now();
  if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  WaitForSingleObject(process.hProcess, INFINITE);
  double elapsed = Now() - begin;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return elapsed;
}

// A job through the port ends once its run holds the print; the run files
// it after that. Both columns are timed to the print filed: the counter is
// written last.
void WaitUntilFiled() {
  for (int i = 0; i < 600000 && GetPrivateProfileIntA("Tarvold", "FileNameCounter", 1, kSettings) != 2; ++i) Sleep(1);
}

void UndoPrint() {
  DeleteFileA((std::string(kOut) + "\\File002.pdf").c_str());
  WritePrivateProfileStringA("Tarvold", "FileNameCounter", "1", kSettings);
}

void MonitorAgainstPrintToFile(const std::string& exe) {
  printf("A job through the port monitor against print-to-file plus one Tollivane run: medians of paired runs\n");
  printf("%-8s %-6s %-24s %-24s %s\n", "job", "pairs", "to file + Tollivane", "to \"Tollivane\"", "ratio");
  const size_t sizes[] = {20 * 1024, 64u * 1024 * 1024};
  const char* names[] = {"20 KB", "64 MiB"};
  const int pairs[] = {31, 11};
  for (int s = 0; s < 2; ++s) {
    std::vector<double> fileTimes, monitorTimes, ratios;
    for (int pair = 0; pair <= pairs[s]; ++pair) {
      double f = 0, m = 0;
      for (int turn = 0; turn < 2; ++turn) {
        bool fileTurn = (turn == 0) == (pair % 2 == 0);
        double begin = Now();
        if (fileTurn) {
          if (!StreamJob(sizes[s], kSpool)) printf("print to file failed\n");
          TimeRun(exe);
          f = Now() - begin;
        } else {
          if (!StreamJob(sizes[s], nullptr)) printf("print to the port failed\n");
          WaitUntilFiled();
          m = Now() - begin;
        }
        UndoPrint();
      }
      if (pair == 0) continue;  // warms the file cache
      fileTimes.push_back(f);
      monitorTimes.push_back(m);
      ratios.push_back(m / f);
    }
    printf("%-8s %-6d %-24s %-24s %s\n", names[s], pairs[s], Cell(Summarize(fileTimes), 1).c_str(),
           Cell(Summarize(monitorTimes), 1).c_str(), Cell(Summarize(ratios), 2).c_str());
  }
  printf("\n");
}

long PeakOfAJob(const char* self, size_t bytes) {
  std::string commandLine = "\"" + std::string(self) + "\" peak " + std::to_string(bytes);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  CreatePipe(&readEnd, &writeEnd, &inherit, 0);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  PROCESS_INFORMATION process = {};
  BOOL started =
      CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  char text[64] = {};
  DWORD read = 0;
  if (started) ReadFile(readEnd, text, sizeof text - 1, &read, nullptr);
  CloseHandle(readEnd);
  if (!started) return -1;
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  WaitUntilFiled();
  UndoPrint();
  return atol(text);
}

void PeakMemory(const char* self) {
  printf("Peak memory (private, KiB) of a process printing one job to \"Tollivane\" from a 64 KiB buffer\n");
  const size_t sizes[] = {20 * 1024, 64u * 1024 * 1024, 256u * 1024 * 1024};
  const char* names[] = {"20 KB", "64 MiB", "256 MiB"};
  for (int s = 0; s < 3; ++s) printf("%-8s %ld\n", names[s], PeakOfAJob(self, sizes[s]));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "peak") {
    bool printed = StreamJob(static_cast<size_t>(atoll(argv[2])), nullptr);
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    printf("%lu\n", printed ? static_cast<unsigned long>(counters.PeakPagefileUsage / 1024) : 0ul);
    return printed ? 0 : 1;
  }
  if (argc != 2) {
    fprintf(stderr, "usage: bench_printer TOLLIVANE_EXE | bench_printer peak BYTES\n");
    return 2;
  }
  CreateDirectoryA(kOut, nullptr);
  WritePrivateProfileStringA("Tarvold", "DefaultDir", kOut, kSettings);
  WritePrivateProfileStringA("Tarvold", "PromptForEachPrint", "0", kSettings);
  UndoPrint();
  MonitorAgainstPrintToFile(argv[1]);
  PeakMemory(argv[0]);
  return 0;
}
