// Stands in for Ghostscript's console program in the print-job script's
// tests. It notes which program ran and its arguments in the file that
// TOLLIVANE_GS_RECORD names, reads the job from standard input and writes a
// small PDF that quotes it to the -sOutputFile given; with TOLLIVANE_GS_FAIL
// set it writes half a file and exits 1, as Ghostscript does with a bad job.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <iostream>
#include <iterator>
#include <string>

namespace {

const char kOutputOption[] = "-sOutputFile=";

void Record(int argc, char** argv) {
  const char* record = getenv("TOLLIVANE_GS_RECORD");
  if (record == nullptr) return;
  FILE* file = fopen(record, "ab");
  if (file == nullptr) return;
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  fprintf(file, "program %s\n", self);
  for (int i = 1; i < argc; ++i) fprintf(file, "argument %s\n", argv[i]);
  fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
  Record(argc, argv);
  std::string output;
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]).rfind(kOutputOption, 0) == 0) output = argv[i] + sizeof kOutputOption - 1;
  _setmode(_fileno(stdin), _O_BINARY);
  std::string job((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  if (output.empty()) return 2;
  FILE* pdf = fopen(output.c_str(), "wb");
  if (pdf == nullptr) return 2;
  if (getenv("TOLLIVANE_GS_FAIL") != nullptr) {
    fputs("%PDF-1.4\n% half written", pdf);
    fclose(pdf);
    fputs("Error: /syntaxerror in --nostringval--\n", stderr);
    return 1;
  }
  fprintf(pdf, "%%PDF-1.4\n%% rendered from a job of %u bytes\n%s\n%%%%EOF\n", static_cast<unsigned>(job.size()),
          job.c_str());
  return fclose(pdf) == 0 ? 0 : 2;
}
