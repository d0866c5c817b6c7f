// The setup's lines, written in the console's code page.
#include "setup/setup_output.h"

#include <winspool.h>

namespace {

const wchar_t* ErrorWords(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
      return L"access denied";
    case ERROR_PRINT_MONITOR_IN_USE:
      return L"a job is still printing on it: let it finish or cancel it in the print queue, then run uninstall again";
    case ERROR_FILE_NOT_FOUND:
      return L"file not found";
    case ERROR_SHARING_VIOLATION:
      return L"file in use";
    case ERROR_UNKNOWN_PRINTER_DRIVER:
      return L"this printer driver is not installed";
    case ERROR_INVALID_PRINTER_NAME:
      return L"no such printer";
    default:
      return L"refused";
  }
}

}  // namespace

void Append(Line* line, const wchar_t* text) {
  int used = lstrlenW(line->text);
  lstrcpynW(line->text + used, text, kLineSize - used);
}

void AppendBytes(Line* line, const char* text) {
  int used = lstrlenW(line->text);
  if (used >= kLineSize - 1) return;
  int made = MultiByteToWideChar(CP_ACP, 0, text, -1, line->text + used, kLineSize - used);
  if (made == 0) line->text[used] = L'\0';
  line->text[kLineSize - 1] = L'\0';
}

void AppendNumber(Line* line, DWORD number) {
  wchar_t digits[12];
  int at = 11;
  digits[at] = L'\0';
  do {
    digits[--at] = static_cast<wchar_t>(L'0' + number % 10);
    number /= 10;
  } while (number != 0);
  Append(line, digits + at);
}

void Say(const wchar_t* first, const wchar_t* second, const wchar_t* third) {
  Line line = {};
  Append(&line, first);
  Append(&line, second);
  Append(&line, third);
  char bytes[kLineSize * 2];
  int length = WideCharToMultiByte(CP_ACP, 0, line.text, -1, bytes, sizeof bytes - 2, nullptr, nullptr);
  if (length <= 0) return;
  lstrcpynA(bytes + length - 1, "\r\n", 3);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, static_cast<DWORD>(length + 1), &written, nullptr);
}

bool Fail(const wchar_t* step, DWORD error) {
  Line line = {};
  Append(&line, L"Failed: ");
  Append(&line, step);
  Append(&line, L": ");
  Append(&line, ErrorWords(error));
  Append(&line, L" (error ");
  AppendNumber(&line, error);
  Append(&line, L")");
  Say(line.text);
  return false;
}
