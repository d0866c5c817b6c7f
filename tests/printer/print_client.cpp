// The tests' print client: one print job from a process of its own, as an
// application prints, or the test driver's installation.
//   print_client driver NAME PPD
//   print_client print PRINTER FILE FIRST_JOB [PAUSE_MS]
//   print_client text PRINTER TEXT       a page of text through GDI, no dialog
// It says "printed" when EndDocPrinter succeeded: under Wine a crashed
// process may still end with 0, so tests look for that line.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <iterator>

#include "print_job.h"

namespace {

std::wstring Wide(const char* text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
  wide.resize(wide.size() - 1);
  return wide;
}

int Print(const char* printer, const char* path, long firstJob, DWORD pauseMs) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    printf("cannot read %s\n", path);
    return 1;
  }
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  PrintOutcome outcome = PrintBytes(Wide(printer), bytes, firstJob, pauseMs);
  if (outcome.started && outcome.written && outcome.ended) {
    printf("printed\n");
    return 0;
  }
  printf("not printed: started %d written %d ended %d error %lu\n", outcome.started, outcome.written, outcome.ended,
         outcome.error);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "driver") == 0) {
    std::string failure;
    if (InstallTestDriver(Wide(argv[2]), Wide(argv[3]), &failure)) return 0;
    printf("driver not installed: %s\n", failure.c_str());
    return 1;
  }
  if (argc == 4 && strcmp(argv[1], "text") == 0) {
    std::string failure;
    if (PrintTextPage(Wide(argv[2]), argv[3], &failure)) {
      printf("printed\n");
      return 0;
    }
    printf("not printed: %s\n", failure.c_str());
    return 1;
  }
  if ((argc == 5 || argc == 6) && strcmp(argv[1], "print") == 0)
    return Print(argv[2], argv[3], atol(argv[4]), argc == 6 ? static_cast<DWORD>(atol(argv[5])) : 0);
  fprintf(stderr,
          "usage: print_client driver NAME PPD | print PRINTER FILE FIRST_JOB [PAUSE_MS] | text PRINTER TEXT\n");
  return 2;
}
