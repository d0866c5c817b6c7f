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

PrintOutcome PrintBytes(const std::wstring& printerName, const std::string& bytes, long firstJob, DWORD pauseMs,
                        const std::wstring& documentName) {
  PrintOutcome outcome;
  std::wstring name = printerName;
  HANDLE printer = nullptr;
  if (!OpenPrinterW(&name[0], &printer, nullptr)) {
    outcome.error = GetLastError();
    return outcome;
  }
  std::wstring title = documentName;
  DOC_INFO_1W document = {&title[0], nullptr, const_cast<LPWSTR>(L"RAW")};
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

namespace {

std::string Narrow(const wchar_t* text) {
  std::string narrow;
  for (; text != nullptr && *text != L'\0'; ++text) narrow += static_cast<char>(*text < 128 ? *text : '?');
  return narrow;
}

std::string Failed(const char* step, DWORD error) { return std::string(step) + ": error " + std::to_string(error); }

// Every file the installed driver names must be where the spooler looks.
bool CheckDriverFiles(const std::wstring& name, std::string* failure) {
  DWORD needed = 0;
  DWORD count = 0;
  EnumPrinterDriversW(nullptr, nullptr, 3, nullptr, 0, &needed, &count);
  std::string buffer(needed + 1, '\0');
  if (!EnumPrinterDriversW(nullptr, nullptr, 3, reinterpret_cast<BYTE*>(&buffer[0]), needed, &needed, &count)) {
    *failure = Failed("listing the drivers", GetLastError());
    return false;
  }
  const DRIVER_INFO_3W* drivers = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    if (name != drivers[i].pName) continue;
    for (const wchar_t* file : {drivers[i].pDriverPath, drivers[i].pDataFile, drivers[i].pConfigFile})
      if (file == nullptr || GetFileAttributesW(file) == INVALID_FILE_ATTRIBUTES) {
        *failure = "the driver's file " + Narrow(file) + " is missing after its install";
        return false;
      }
    return true;
  }
  *failure = "the driver " + Narrow(name.c_str()) + " is not listed after its install";
  return false;
}

}  // namespace

bool InstallTestDriver(const std::wstring& driverName, const std::wstring& ppdPath, std::string* failure) {
  wchar_t folder[MAX_PATH];
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(folder), sizeof folder, &needed)) {
    *failure = Failed("finding the driver folder", GetLastError());
    return false;
  }
  size_t slash = ppdPath.find_last_of(L"\\/");
  std::wstring dataFile = slash == std::wstring::npos ? ppdPath : ppdPath.substr(slash + 1);
  std::wstring staged = std::wstring(folder) + L"\\" + dataFile;
  if (!CopyFileW(ppdPath.c_str(), staged.c_str(), FALSE)) {
    *failure = Failed(("copying " + Narrow(ppdPath.c_str()) + " into the driver folder").c_str(), GetLastError());
    return false;
  }
  std::wstring name = driverName;
  DRIVER_INFO_3W info = {};
  info.cVersion = 3;
  info.pName = &name[0];
  info.pDriverPath = const_cast<LPWSTR>(L"wineps.drv");
  info.pDataFile = &dataFile[0];
  info.pConfigFile = const_cast<LPWSTR>(L"wineps.drv");
  if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_NEW_FILES)) {
    *failure = Failed("adding the driver", GetLastError());
    return false;
  }
  return CheckDriverFiles(driverName, failure);
}

bool PrintTextPage(const std::wstring& printer, const std::string& text, std::string* failure) {
  HDC dc = CreateDCW(L"WINSPOOL", printer.c_str(), nullptr, nullptr);
  if (dc == nullptr) {
    *failure = Failed("CreateDC", GetLastError());
    return false;
  }
  DOCINFOW document = {};
  document.cbSize = sizeof document;
  document.lpszDocName = L"test page";
  const char* step = nullptr;
  if (StartDocW(dc, &document) <= 0)
    step = "StartDoc";
  else if (StartPage(dc) <= 0)
    step = "StartPage";
  else if (!TextOutA(dc, 300, 300, text.c_str(), static_cast<int>(text.size())))
    step = "TextOut";
  else if (EndPage(dc) <= 0)
    step = "EndPage";
  else if (EndDoc(dc) <= 0)
    step = "EndDoc";
  if (step != nullptr) *failure = Failed(step, GetLastError());
  DeleteDC(dc);
  return step == nullptr;
}
