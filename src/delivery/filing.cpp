// All-or-nothing filing. A copy that fails half-way (disk full) or a run that
// is killed leaves its partial file behind, and a program watching the output
// folder may pick up a file while it is being written; so the copy goes into
// a temporary file in the destination's own folder, where a rename is atomic,
// and only a complete copy is renamed onto the print's name.
#include "delivery/filing.h"

namespace {

const char kTempPrefix[] = "tlv";
// GetTempFileNameA adds a backslash, the prefix, four hex digits and ".tmp".
const int kTempNameRoom = 14;

struct ErrorReason {
  DWORD error;
  const char* words;
};

const ErrorReason kTempFileReasons[] = {
    {ERROR_PATH_NOT_FOUND, "output folder missing"},
    {ERROR_FILE_NOT_FOUND, "output folder missing"},
    {ERROR_DIRECTORY, "output folder missing"},
    {ERROR_ACCESS_DENIED, "output folder not writable"},
    {ERROR_DISK_FULL, "disk full"},
    {ERROR_HANDLE_DISK_FULL, "disk full"},
    {0, nullptr},
};

const ErrorReason kCopyReasons[] = {
    {ERROR_FILE_NOT_FOUND, "spool missing"},
    {ERROR_PATH_NOT_FOUND, "spool missing"},
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
    {0, nullptr},
};

// Each table ends with an entry without words.
const char* ReasonFor(const ErrorReason* reasons, DWORD error, const char* otherwise) {
  for (; reasons->words != nullptr; ++reasons)
    if (reasons->error == error) return reasons->words;
  return otherwise;
}

// The folder part of `destination`, "." for a bare name.
bool GetDestinationFolder(const char* destination, char* folder) {
  lstrcpynA(folder, destination, MAX_PATH);
  PathRemoveFileSpecA(folder);
  if (folder[0] == '\0') lstrcpynA(folder, ".", MAX_PATH);
  return lstrlenA(folder) <= MAX_PATH - kTempNameRoom;
}

bool CreateTempFileBeside(const char* destination, char* tempPath, DeliveryOutcome* outcome) {
  char folder[MAX_PATH];
  if (!GetDestinationFolder(destination, folder)) {
    SetOutcomeFailed(outcome, "folder path too long", 0);
    return false;
  }
  if (GetTempFileNameA(folder, kTempPrefix, 0, tempPath) != 0) return true;
  DWORD error = GetLastError();
  SetOutcomeFailed(outcome, ReasonFor(kTempFileReasons, error, "temporary file not created"), error);
  return false;
}

bool CopySpoolTo(const char* tempPath, DeliveryOutcome* outcome) {
  if (CopyFileA(kSpoolFilePath, tempPath, FALSE) == TRUE) return true;
  DWORD error = GetLastError();
  SetOutcomeFailed(outcome, ReasonFor(kCopyReasons, error, "copy failed"), error);
  return false;
}

}  // namespace

void SetOutcomeFailed(DeliveryOutcome* outcome, const char* reason, DWORD error) {
  outcome->result = kNotFiled;
  outcome->reason = reason;
  outcome->error = error;
  outcome->filedPath[0] = '\0';
}

FilingResult FileSpoolAs(const char* destination, bool replaceExisting, DeliveryOutcome* outcome) {
  char tempPath[MAX_PATH];
  if (!CreateTempFileBeside(destination, tempPath, outcome)) return kFilingFailed;
  if (!CopySpoolTo(tempPath, outcome)) {
    DeleteFileA(tempPath);
    return kFilingFailed;
  }
  BOOL renamed = replaceExisting ? MoveFileExA(tempPath, destination, MOVEFILE_REPLACE_EXISTING)
                                 : MoveFileA(tempPath, destination);
  if (renamed) {
    outcome->result = kFiled;
    lstrcpynA(outcome->filedPath, destination, MAX_PATH);
    return kFilingDone;
  }
  DWORD error = GetLastError();
  DeleteFileA(tempPath);
  if (!replaceExisting && error == ERROR_ALREADY_EXISTS) return kFilingNameTaken;
  SetOutcomeFailed(outcome, ReasonFor(kRenameReasons, error, "rename failed"), error);
  return kFilingFailed;
}
