// The optional log. Nothing is written unless the settings name a log file;
// a log that cannot be written is skipped, never a reason to file differently.
#include "delivery/delivery_log.h"

#include "delivery/number_text.h"

namespace {

const DWORD kLogRotateBytes = 1024 * 1024;
const char kOldLogSuffix[] = ".old";

// Appends as much of `text` as fits; the line is always terminated.
void AppendText(char* line, const char* text) {
  int used = lstrlenA(line);
  lstrcpynA(line + used, text, kLogLineSize - used);
}

void AppendNumber(char* line, int number, int minDigits) {
  char digits[16];
  FormatNumberText(number, minDigits, digits, sizeof digits);
  AppendText(line, digits);
}

void AppendTimestamp(char* line, const SYSTEMTIME* time) {
  AppendNumber(line, time->wYear, 4);
  AppendText(line, "-");
  AppendNumber(line, time->wMonth, 2);
  AppendText(line, "-");
  AppendNumber(line, time->wDay, 2);
  AppendText(line, " ");
  AppendNumber(line, time->wHour, 2);
  AppendText(line, ":");
  AppendNumber(line, time->wMinute, 2);
  AppendText(line, ":");
  AppendNumber(line, time->wSecond, 2);
}

void AppendOutcome(char* line, const DeliveryOutcome* outcome) {
  switch (outcome->result) {
    case kFiled:
      AppendText(line, "filed ");
      AppendText(line, outcome->filedPath);
      return;
    case kCancelled:
      AppendText(line, "cancelled");
      return;
    case kNotFiled:
      AppendText(line, "not filed: ");
      AppendText(line, outcome->reason);
      if (outcome->error == 0) return;
      AppendText(line, " (error ");
      AppendNumber(line, static_cast<int>(outcome->error), 1);
      AppendText(line, ")");
      return;
  }
}

bool IsPastRotationSize(const char* logPath) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(logPath, GetFileExInfoStandard, &data)) return false;
  return data.nFileSizeHigh != 0 || data.nFileSizeLow > kLogRotateBytes;
}

void RotateLog(const char* logPath) {
  char oldPath[MAX_PATH];
  lstrcpynA(oldPath, logPath, MAX_PATH);
  int used = lstrlenA(oldPath);
  if (used + lstrlenA(kOldLogSuffix) >= MAX_PATH) return;
  lstrcpynA(oldPath + used, kOldLogSuffix, MAX_PATH - used);
  MoveFileExA(logPath, oldPath, MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

void FormatLogLine(const SYSTEMTIME* time, bool automatic, const DeliveryOutcome* outcome, bool lockHeld, char* line) {
  line[0] = '\0';
  AppendTimestamp(line, time);
  AppendText(line, automatic ? " automatic " : " prompt ");
  AppendOutcome(line, outcome);
  if (!lockHeld) AppendText(line, "; went on without the job lock");
  // The line break survives a cut, so one line never runs into the next.
  int used = lstrlenA(line);
  if (used > kLogLineSize - 3) used = kLogLineSize - 3;
  lstrcpynA(line + used, "\r\n", 3);
}

void WriteDeliveryLog(const char* logPath, bool automatic, const DeliveryOutcome* outcome, bool lockHeld) {
  if (logPath[0] == '\0') return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  char line[kLogLineSize];
  FormatLogLine(&now, automatic, outcome, lockHeld, line);
  if (IsPastRotationSize(logPath)) RotateLog(logPath);
  HANDLE log = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(log, line, static_cast<DWORD>(lstrlenA(line)), &written, nullptr);
  CloseHandle(log);
}
