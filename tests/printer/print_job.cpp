// The print client's and the printer tests' way of printing.
#include "print_job.h"

#include <winspool.h>

namespace {

const size_t kPieceSize = 64 * 1024;

bool SkipJobNumbers(HANDLE printer, long count) {
  for (long i = 0; i < count; ++i) {
    BYTE buffer[1024];
    DWORD needed = 0;
    if (!AddJobW(printer, 1, buffer, sizeof buffer, &needed)) return false;
  }
  return true;
}

void WriteAll(HANDLE printer, const std::string& bytes, DWORD pauseMs, PrintOutcome* outcome) {
  outcome->written = true;
  for (size_t at = 0; at < bytes.size() && outcome->written; at += kPieceSize) {
    DWORD piece = static_cast<DWORD>(bytes.size() - at < kPieceSize ? bytes.size() - at : kPieceSize);
    DWORD count = 0;
    outcome->written = WritePrinter(printer, const_cast<char*>(bytes.data() + at), piece, &count) && count == piece;
    if (!outcome->written) outcome->error = GetLastError();
    if (pauseMs > 0) Sleep(pauseMs);
  }
}

}  // namespace

PrintOutcome PrintBytes(const std::wstring& printerName, const std::string& bytes, long firstJob, DWORD pauseMs) {
  PrintOutcome outcome;
  std::wstring name = printerName;
  HANDLE printer = nullptr;
  if (!OpenPrinterW(&name[0], &printer, nullptr)) {
    outcome.error = GetLastError();
    return outcome;
  }
  DOC_INFO_1W document = {const_cast<LPWSTR>(L"test print"), nullptr, const_cast<LPWSTR>(L"RAW")};
  if (!SkipJobNumbers(printer, firstJob - 1) ||
      StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&document)) == 0) {
    outcome.error = GetLastError();
    ClosePrinter(printer);
    return outcome;
  }
  outcome.started = true;
  WriteAll(printer, bytes, pauseMs, &outcome);
  outcome.ended = EndDocPrinter(printer) != FALSE;
  if (!outcome.ended && outcome.error == 0) outcome.error = GetLastError();
  ClosePrinter(printer);
  return outcome;
}

bool InstallTestDriver(const std::wstring& driverName, const std::wstring& ppdPath, DWORD* error) {
  std::wstring name = driverName;
  std::wstring dataFile = ppdPath;
  DRIVER_INFO_3W info = {};
  info.cVersion = 3;
  info.pName = &name[0];
  info.pDriverPath = const_cast<LPWSTR>(L"wineps.drv");
  info.pDataFile = &dataFile[0];
  info.pConfigFile = const_cast<LPWSTR>(L"wineps.drv");
  if (AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_NEW_FILES)) return true;
  *error = GetLastError();
  return false;
}
