// The tests' print client: sends a file to a printer as one RAW job through
// the print API, as an application's print would, or installs Wine's
// PostScript driver under a name of the tests' own.
//   print_client driver NAME PPD
//   print_client print PRINTER FILE FIRST_JOB [PAUSE_MS]
// Under Wine the job number names the spool file that the spooler keeps per
// job and counts from 1 in every process, so processes printing at once each
// skip to a range of their own (FIRST_JOB). PAUSE_MS waits after each piece
// written, so that a test can kill the client in the middle of a job.
#include <windows.h>
#include <winspool.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

const DWORD kPieceSize = 64 * 1024;

std::wstring Wide(const char* text) {
  std::wstring wide(strlen(text) + 1, L'\0');
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], static_cast<int>(wide.size()));
  wide.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
  return wide;
}

int InstallDriver(const char* name, const char* ppd) {
  std::wstring driverName = Wide(name);
  std::wstring dataFile = Wide(ppd);
  DRIVER_INFO_3W info = {};
  info.cVersion = 3;
  info.pName = &driverName[0];
  info.pDriverPath = const_cast<LPWSTR>(L"wineps.drv");
  info.pDataFile = &dataFile[0];
  info.pConfigFile = const_cast<LPWSTR>(L"wineps.drv");
  if (AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_NEW_FILES)) {
    printf("driver installed\n");
    return 0;
  }
  printf("driver not installed: error %lu\n", GetLastError());
  return 1;
}

bool SkipJobNumbers(HANDLE printer, long count) {
  for (long i = 0; i < count; ++i) {
    BYTE buffer[1024];
    DWORD needed = 0;
    if (!AddJobW(printer, 1, buffer, sizeof buffer, &needed)) return false;
  }
  return true;
}

int Print(const char* printerName, const char* path, long firstJob, DWORD pauseMs) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) {
    printf("cannot read %s\n", path);
    return 1;
  }
  std::wstring name = Wide(printerName);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(&name[0], &printer, nullptr)) {
    printf("open printer failed: error %lu\n", GetLastError());
    fclose(file);
    return 1;
  }
  int result = 1;
  DOC_INFO_1W document = {const_cast<LPWSTR>(L"test print"), nullptr, const_cast<LPWSTR>(L"RAW")};
  if (!SkipJobNumbers(printer, firstJob - 1)) {
    printf("add job failed: error %lu\n", GetLastError());
  } else if (StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&document)) == 0) {
    printf("start doc failed: error %lu\n", GetLastError());
  } else {
    std::vector<char> piece(kPieceSize);
    bool written = true;
    size_t read = 0;
    while (written && (read = fread(piece.data(), 1, piece.size(), file)) > 0) {
      DWORD count = 0;
      written = WritePrinter(printer, piece.data(), static_cast<DWORD>(read), &count) && count == read;
      if (pauseMs > 0) {
        printf("wrote a piece\n");
        fflush(stdout);
        Sleep(pauseMs);
      }
    }
    if (!written) printf("write failed: error %lu\n", GetLastError());
    if (EndDocPrinter(printer)) {
      if (written) result = 0;
      printf("printed\n");
    } else {
      printf("end doc failed: error %lu\n", GetLastError());
    }
  }
  ClosePrinter(printer);
  fclose(file);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "driver") == 0) return InstallDriver(argv[2], argv[3]);
  if ((argc == 5 || argc == 6) && strcmp(argv[1], "print") == 0)
    return Print(argv[2], argv[3], atol(argv[4]), argc == 6 ? static_cast<DWORD>(atol(argv[5])) : 0);
  fprintf(stderr, "usage: print_client driver NAME PPD | print PRINTER FILE FIRST_JOB [PAUSE_MS]\n");
  return 2;
}
