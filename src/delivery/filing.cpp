// All-or-nothing filing. A copy that fails half-way (disk full) or a run that
// is killed leaves its partial file behind, and a program watching the output
// folder may pick up a file while it is being written; so the copy goes into
// a temporary file in the destination's own folder, where a rename is atomic,
// and only a complete copy is renamed onto the print's name.
#include "delivery/filing.h"

#include "delivery/temp_files.h"

namespace {

struct ErrorReason {
  DWORD error;
  const char* words;
};

const ErrorReason kTempFileReasons[] = {
    {ERROR_PATH_NOT_FOUND, "output folder missing"},
    {ERROR_FILE_NOT_FOUND, "output folder missing"},
    {ERROR_DIRECTORY, "output folder missing"},
    {ERROR_INVALID_NAME, "output folder missing"},
    {ERROR_ACCESS_DENIED, "output folder not writable"},
    {ERROR_DISK_FULL, "disk full"},
    {ERROR_HANDLE_DISK_FULL, "disk full"},
    {ERROR_FILENAME_EXCED_RANGE, "folder path too long"},
    {0, nullptr},
};

// The source is known to exist when these are looked up: "not found" is
// about the destination.
const ErrorReason kCopyReasons[] = {
    {ERROR_FILE_NOT_FOUND, "output folder missing"},
    {ERROR_PATH_NOT_FOUND, "output folder missing"},
    {ERROR_SHARING_VIOLATION, "spool in use"},
    {ERROR_LOCK_VIOLATION, "spool in use"},
    {ERROR_DISK_FULL, "disk full"},
    {ERROR_HANDLE_DISK_FULL, "disk full"},
    {ERROR_ACCESS_DENIED, "access denied"},
    {0, nullptr},
};

const ErrorReason kRenameReasons[] = {
    {ERROR_ACCESS_DENIED, "existing file could not be replaced"},
    {ERROR_SHARING_VIOLATION, "existing file in use"},
    {ERROR_PATH_NOT_FOUND, "output folder missing"},
    {0, nullptr},
};

// Each table ends with an entry without words.
const char* ReasonFor(const ErrorReason* reasons, DWORD error, const char* otherwise) {
  for (; reasons->words != nullptr; ++reasons)
    if (reasons->error == error) return reasons->words;
  return otherwise;
}

// The folder part of `destination`, "." for a bare name.
void GetDestinationFolder(const char* destination, char* folder) {
  lstrcpynA(folder, destination, MAX_PATH);
  PathRemoveFileSpecA(folder);
  if (folder[0] == '\0') lstrcpynA(folder, ".", MAX_PATH);
}

bool CreateTempFile(const char* folder, char* tempPath, DeliveryOutcome* outcome) {
  if (CreateTempFileIn(folder, tempPath)) return true;
  DWORD error = GetLastError();
  SetOutcomeFailed(outcome, ReasonFor(kTempFileReasons, error, "temporary file not created"), error);
  return false;
}

bool SourceExists(const char* source) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExA(source, GetFileExInfoStandard, &data) != FALSE;
}

// One buffer of the process: a run copies one print at a time.
BYTE copyBuffer[64 * 1024];

// The handed file is read from its start, however often it is copied.
bool CopyFromHandle(HANDLE source, const char* tempPath, DWORD* error) {
  HANDLE target = CreateFileA(tempPath, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (target == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return false;
  }
  LARGE_INTEGER start = {};
  bool copied = SetFilePointerEx(source, start, nullptr, FILE_BEGIN) != FALSE;
  while (copied) {
    DWORD read = 0;
    DWORD written = 0;
    copied = ReadFile(source, copyBuffer, sizeof copyBuffer, &read, nullptr) != FALSE;
    if (!copied || read == 0) break;
    copied = WriteFile(target, copyBuffer, read, &written, nullptr) && written == read;
  }
  *error = copied ? 0 : GetLastError();
  if (!CloseHandle(target) && copied) {
    copied = false;
    *error = GetLastError();
  }
  if (!copied && *error == 0) *error = ERROR_WRITE_FAULT;
  return copied;
}

bool CopyInto(const PrintSource* source, const char* tempPath, DeliveryOutcome* outcome) {
  DWORD error = 0;
  if (source->file != INVALID_HANDLE_VALUE) {
    if (CopyFromHandle(source->file, tempPath, &error)) return true;
    SetOutcomeFailed(outcome, ReasonFor(kCopyReasons, error, "copy failed"), error);
    DeleteFileA(tempPath);
    return false;
  }
  if (CopyFileA(source->path, tempPath, FALSE) == TRUE) return true;
  error = GetLastError();
  if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) && !SourceExists(source->path))
    SetOutcomeFailed(outcome, source->path == kSpoolFilePath ? "spool missing" : "taken print missing", error);
  else
    SetOutcomeFailed(outcome, ReasonFor(kCopyReasons, error, "copy failed"), error);
  DeleteFileA(tempPath);
  return false;
}

// Windows drops trailing dots and spaces from a file name: the log names
// the file as it was made.
void RecordFiled(const char* destination, DeliveryOutcome* outcome) {
  outcome->result = kFiled;
  lstrcpynA(outcome->filedPath, destination, MAX_PATH);
  char* path = outcome->filedPath;
  int length = lstrlenA(path);
  int nameStart = length;
  while (nameStart > 0 && path[nameStart - 1] != '\\' && path[nameStart - 1] != '/') --nameStart;
  while (length - 1 > nameStart && (path[length - 1] == '.' || path[length - 1] == ' ')) path[--length] = '\0';
}

}  // namespace

void SetOutcomeFailed(DeliveryOutcome* outcome, const char* reason, DWORD error) {
  outcome->result = kNotFiled;
  outcome->reason = reason;
  outcome->error = error;
  outcome->filedPath[0] = '\0';
}

PrintSource PrintAtPath(const char* path) { return PrintSource{INVALID_HANDLE_VALUE, path}; }

bool TakePrint(const char* folder, char* takenPath, DeliveryOutcome* outcome) {
  PrintSource spool = PrintAtPath(kSpoolFilePath);
  return TakeCopyOf(&spool, folder, takenPath, outcome);
}

bool TakeCopyOf(const PrintSource* source, const char* folder, char* takenPath, DeliveryOutcome* outcome) {
  if (CreateTempFile(folder, takenPath, outcome) && CopyInto(source, takenPath, outcome)) return true;
  takenPath[0] = '\0';
  return false;
}

FilingResult PlaceTakenPrint(const char* takenPath, const char* destination, bool replaceExisting,
                             DeliveryOutcome* outcome) {
  BOOL renamed = replaceExisting ? MoveFileExA(takenPath, destination, MOVEFILE_REPLACE_EXISTING)
                                 : MoveFileA(takenPath, destination);
  if (renamed) {
    RecordFiled(destination, outcome);
    return kFilingDone;
  }
  DWORD error = GetLastError();
  if (!replaceExisting && error == ERROR_ALREADY_EXISTS) return kFilingNameTaken;
  DeleteFileA(takenPath);
  SetOutcomeFailed(outcome, ReasonFor(kRenameReasons, error, "rename failed"), error);
  return kFilingFailed;
}

FilingResult FileCopyAs(const PrintSource* source, const char* destination, bool replaceExisting,
                        DeliveryOutcome* outcome) {
  char folder[MAX_PATH];
  GetDestinationFolder(destination, folder);
  RemoveAbandonedTempFiles(folder);
  char tempPath[MAX_PATH];
  if (!CreateTempFile(folder, tempPath, outcome) || !CopyInto(source, tempPath, outcome)) return kFilingFailed;
  FilingResult placed = PlaceTakenPrint(tempPath, destination, replaceExisting, outcome);
  if (placed == kFilingNameTaken) DeleteFileA(tempPath);
  return placed;
}

FilingResult FileSpoolAs(const char* destination, bool replaceExisting, DeliveryOutcome* outcome) {
  PrintSource spool = PrintAtPath(kSpoolFilePath);
  return FileCopyAs(&spool, destination, replaceExisting, outcome);
}
