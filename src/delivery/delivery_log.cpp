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

// A log in a folder of its own that is not there yet (%LOCALAPPDATA%\Tollivane
// for each user) gets that one folder; nothing above it is made.
void MakeLogFolder(const char* logPath) {
  char folder[MAX_PATH];
  lstrcpynA(folder, logPath, MAX_PATH);
  if (PathRemoveFileSpecA(folder) && folder[0] != '\0') CreateDirectoryA(folder, nullptr);
}

// With delete access where the log allows it, so that the log held can be
// renamed; a log its writers may only append to is never rotated.
HANDLE OpenLog(const char* logPath, bool* mayRotate) {
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE log =
      CreateFileA(logPath, FILE_APPEND_DATA | DELETE, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  // Opening always, "not found" can only be the folder's.
  DWORD error = GetLastError();
  if (log == INVALID_HANDLE_VALUE && (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND)) {
    MakeLogFolder(logPath);
    log = CreateFileA(logPath, FILE_APPEND_DATA | DELETE, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  *mayRotate = log != INVALID_HANDLE_VALUE;
  if (log == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
    log = CreateFileA(logPath, FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return log;
}

bool IsPastRotationSize(HANDLE log) {
  LARGE_INTEGER size;
  return GetFileSizeEx(log, &size) && size.QuadPart > static_cast<long long>(kLogRotateBytes);
}

bool MakeOldLogPath(const char* logPath, char* oldPath) {
  lstrcpynA(oldPath, logPath, MAX_PATH);
  int used = lstrlenA(oldPath);
  if (used + lstrlenA(kOldLogSuffix) >= MAX_PATH) return false;
  lstrcpynA(oldPath + used, kOldLogSuffix, MAX_PATH - used);
  return true;
}

// Several runs, on several machines, may find the same full log at once:
// each renames the file it holds, so a second rename moves that same file
// again, never a new log another run started meanwhile.
HANDLE RotateIfFull(const char* logPath, HANDLE log, bool mayRotate) {
  char oldPath[MAX_PATH];
  if (!mayRotate || !IsPastRotationSize(log) || !MakeOldLogPath(logPath, oldPath) || !RenameOpenFile(log, oldPath))
    return log;
  CloseHandle(log);
  return OpenLog(logPath, &mayRotate);
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
  bool mayRotate = false;
  HANDLE log = OpenLog(logPath, &mayRotate);
  if (log == INVALID_HANDLE_VALUE) return;
  log = RotateIfFull(logPath, log, mayRotate);
  if (log == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(log, line, static_cast<DWORD>(lstrlenA(line)), &written, nullptr);
  CloseHandle(log);
}
